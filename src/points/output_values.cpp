#include "output_values.h"

#include "devices/hex_codes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <regex>

namespace tavo {
namespace {

// Steps of a data format per unit of the edit: thousandths, hundredths, counts.
double Scale(OutputFormat format) {
    switch (format) {
    case OutputFormat::Engineering:
        return 1000.0;
    case OutputFormat::Percent:
        return 100.0;
    case OutputFormat::Hex:
        break;
    }
    return 1.0;
}

std::string Trimmed(const char* text) {
    std::string s(text);
    const auto first = s.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : s.substr(first);
}

// Blanks of the "%2d"/"%3d" fields become zeros, as the module expects.
std::string ZeroFilled(std::string text) {
    for (char& c : text)
        if (!(c >= '0' && c <= '9') && c != '.') c = '0';
    return text;
}

// The range of an R310 range item (0 to 2; any other counts as 0).
const OutputChannelRange& R310RangeOfItem(int rangeItem) {
    const OutputChannelRange* range = R310Range(0x30 + rangeItem);
    return range ? *range : *R310Range(0x30);
}

OutputValue AtPosition(double position, OutputFormat format) {
    OutputValue out;
    out.position = static_cast<int>(position);
    out.value = out.position / Scale(format);
    return out;
}

bool Within(int position, TrackLimits limits) {
    return position >= limits.min && position <= limits.max;
}

} // namespace

std::optional<double> PlainDecimalValue(const std::string& text) {
    static const std::regex kNumber("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)\\s*$");
    if (text.size() > 32 || !std::regex_match(text, kNumber)) return std::nullopt;
    const double v = std::strtod(text.c_str(), nullptr);
    return std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

OutputFormat OutputFormatOf(const std::string& bits10) {
    if (bits10 == "00") return OutputFormat::Engineering;
    if (bits10 == "01") return OutputFormat::Percent;
    return OutputFormat::Hex;
}

TrackLimits R310TrackLimits(OutputFormat format, int rangeItem) {
    switch (format) {
    case OutputFormat::Engineering: {
        const OutputChannelRange& range = R310RangeOfItem(rangeItem);
        return {static_cast<int>(std::lround(range.min * 1000.0)),
                static_cast<int>(std::lround(range.max * 1000.0))};
    }
    case OutputFormat::Percent:
        return {0, 10000};
    case OutputFormat::Hex:
        break;
    }
    return {0, kHexFullScale};
}

double LimitValue(int position, OutputFormat format) {
    return position / Scale(format);
}

std::optional<OutputValue> ParseOutputValue(const std::string& text, OutputFormat format,
                                            TrackLimits limits, OutputRefusal& refusal) {
    refusal = OutputRefusal::Invalid;
    OutputValue out;
    if (format == OutputFormat::Hex) {
        const auto counts = text.size() <= 3 ? HexValue(text) : std::nullopt;
        if (!counts) return std::nullopt;
        out.value = *counts;
        out.position = static_cast<int>(*counts);
    } else {
        const auto v = PlainDecimalValue(text);
        if (!v) return std::nullopt;
        out.value = *v;
        // Positions are whole thousandths or hundredths: the value as sent.
        const double scaled = std::round(*v * Scale(format));
        if (std::fabs(scaled) > 1e9) {
            refusal = OutputRefusal::OutOfRange;
            return std::nullopt;
        }
        out.position = static_cast<int>(scaled);
    }
    if (!Within(out.position, limits)) {
        refusal = OutputRefusal::OutOfRange;
        return std::nullopt;
    }
    refusal = OutputRefusal::None;
    return out;
}

std::string OutputField(const OutputValue& value, OutputFormat format) {
    char text[32];
    const int p = std::max(value.position, 0);
    switch (format) {
    case OutputFormat::Engineering:
        std::snprintf(text, sizeof text, "%2d.%3d", p / 1000, p % 1000);
        return ZeroFilled(text);
    case OutputFormat::Percent:
        std::snprintf(text, sizeof text, "%3d.%2d", p / 100, p % 100);
        return "+" + ZeroFilled(text);
    case OutputFormat::Hex:
        break;
    }
    std::snprintf(text, sizeof text, "%03X", static_cast<unsigned>(p));
    return text;
}

std::optional<double> OutputReplyNumber(const std::string& reply, OutputFormat format) {
    if (format == OutputFormat::Hex) {
        if (!IsHexField(reply, 3)) return std::nullopt;
        return static_cast<double>(*HexValue(reply));
    }
    const std::size_t decimals = format == OutputFormat::Engineering ? 3 : 2;
    const std::size_t point = reply.find('.');
    if (point == std::string::npos || reply.size() - point - 1 != decimals ||
        reply.find_first_of(" \t") != std::string::npos)
        return std::nullopt;
    return PlainDecimalValue(reply);
}

std::optional<std::string> PolledOutputText(const std::string& reply, OutputFormat format) {
    const auto v = OutputReplyNumber(reply, format);
    if (!v) return std::nullopt;
    if (format == OutputFormat::Hex) return reply;
    char text[64];
    std::snprintf(text, sizeof text, format == OutputFormat::Engineering ? "%6.3f" : "%6.2f", *v);
    return Trimmed(text);
}

std::optional<int> PolledTrackPosition(const std::string& shown, OutputFormat format,
                                       TrackLimits limits) {
    double position = 0;
    if (format == OutputFormat::Hex) {
        const auto counts = shown.size() <= 4 ? HexValue(shown) : std::nullopt;
        if (!counts) return std::nullopt;
        position = static_cast<double>(*counts);
    } else {
        const auto v = PlainDecimalValue(shown);
        if (!v) return std::nullopt;
        position = std::round(*v * Scale(format));
    }
    return static_cast<int>(
        std::clamp(position, static_cast<double>(limits.min), static_cast<double>(limits.max)));
}

const OutputChannelRange* R310Range(int code) {
    static const OutputChannelRange kRanges[] = {
        {0x30, 0.0, 20.0, "mA"}, {0x31, 4.0, 20.0, "mA"}, {0x32, 0.0, 10.0, "V"}};
    for (const auto& r : kRanges)
        if (r.code == code) return &r;
    return nullptr;
}

const OutputChannelRange* R330Range(int code) {
    static const OutputChannelRange kRanges[] = {
        {0x30, 0.0, 20.0, "mA"}, {0x31, 4.0, 20.0, "mA"}, {0x32, -10.0, 10.0, "V"}};
    for (const auto& r : kRanges)
        if (r.code == code) return &r;
    return nullptr;
}

std::optional<OutputValue> OutputValueFromEngineering(double value, OutputFormat format,
                                                      const OutputChannelRange& range,
                                                      OutputRefusal& refusal) {
    refusal = OutputRefusal::OutOfRange;
    const double span = range.max - range.min;
    if (!std::isfinite(value) || !(span > 0)) return std::nullopt;
    double steps = 0.0;
    TrackLimits limits;
    switch (format) {
    case OutputFormat::Engineering:
        steps = value * 1000.0;
        limits = {static_cast<int>(std::lround(range.min * 1000.0)),
                  static_cast<int>(std::lround(range.max * 1000.0))};
        break;
    case OutputFormat::Percent:
        steps = (value - range.min) / span * 10000.0;
        limits = {0, 10000};
        break;
    case OutputFormat::Hex:
        steps = (value - range.min) / span * kHexFullScale;
        limits = {0, kHexFullScale};
        break;
    }
    steps = std::round(steps);
    if (!(steps >= limits.min && steps <= limits.max)) return std::nullopt;
    refusal = OutputRefusal::None;
    return AtPosition(steps, format);
}

double EngineeringFromFormat(double number, OutputFormat format, const OutputChannelRange& range) {
    const double span = range.max - range.min;
    switch (format) {
    case OutputFormat::Engineering:
        return number;
    case OutputFormat::Percent:
        return range.min + number / 100.0 * span;
    case OutputFormat::Hex:
        break;
    }
    return range.min + number / kHexFullScale * span;
}

std::string SignedValueField(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%+07.3f", value);
    return text;
}

std::string SlewBits(int code) {
    std::string bits;
    for (int bit = 3; bit >= 0; --bit)
        bits += ((code >> bit) & 1) ? '1' : '0';
    return bits;
}

int SlewCode(const std::string& bits52) {
    int code = 0;
    for (const char c : bits52)
        code = code * 2 + (c == '1' ? 1 : 0);
    return code;
}

std::uint16_t R330RawFromValue(const OutputChannelRange& range, double value) {
    const double span = range.max - range.min;
    if (!(span > 0) || !(value == value)) return 0;
    // A small allowance, so that the top of the range is not lost to rounding
    // ((10 - -10) × 4095 / 20 must give 4095, not 4094).
    const double steps = (value - range.min) * kR330OutputSteps / span + 1e-9;
    return static_cast<std::uint16_t>(std::clamp(std::floor(steps), 0.0, double{kR330OutputSteps}));
}

std::optional<double> R330ValueFromRaw(const OutputChannelRange& range, std::uint16_t raw) {
    if (raw > kR330OutputSteps) return std::nullopt;
    return range.min + (range.max - range.min) * raw / kR330OutputSteps;
}

} // namespace tavo
