#include "output_values.h"

#include "devices/hex_codes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <regex>

namespace tavo {
namespace {

// Position units per unit of the edit: thousandths, hundredths, counts.
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

} // namespace

std::optional<double> PlainDecimalValue(const std::string& text) {
    static const std::regex kNumber("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)\\s*$");
    if (text.size() > 32 || !std::regex_match(text, kNumber)) return std::nullopt;
    const double v = std::strtod(text.c_str(), nullptr);
    return std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

namespace {

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

} // namespace

OutputFormat OutputFormatOf(const std::string& bits10) {
    if (bits10 == "00") return OutputFormat::Engineering;
    if (bits10 == "01") return OutputFormat::Percent;
    return OutputFormat::Hex;
}

TrackLimits R310TrackLimits(OutputFormat format, int rangeItem) {
    switch (format) {
    case OutputFormat::Engineering:
        if (rangeItem == 1) return {4000, 20000};
        if (rangeItem == 2) return {0, 10000};
        return {0, 20000};
    case OutputFormat::Percent:
        return {0, 10000};
    case OutputFormat::Hex:
        break;
    }
    return {0, 4095};
}

std::string TrackPositionText(int position, OutputFormat format) {
    char text[32];
    switch (format) {
    case OutputFormat::Engineering:
        std::snprintf(text, sizeof text, "%6.3f", position * 0.001);
        break;
    case OutputFormat::Percent:
        std::snprintf(text, sizeof text, "%6.2f", position * 0.01);
        break;
    case OutputFormat::Hex:
        std::snprintf(text, sizeof text, "%03X", static_cast<unsigned>(std::max(position, 0)));
        break;
    }
    return Trimmed(text);
}

int SteppedPosition(int position, TrackLimits limits, int tag) {
    const int span = limits.max - limits.min;
    int step = 0;
    switch (tag) {
    case 1:
        step = -(span / 10);
        break;
    case 2:
        step = -(span / 100);
        break;
    case 3:
        step = span / 100;
        break;
    case 4:
        step = span / 10;
        break;
    default:
        break;
    }
    return std::clamp(position + step, limits.min, limits.max);
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
    if (out.position < limits.min || out.position > limits.max) {
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

std::optional<std::string> PolledOutputText(const std::string& reply, OutputFormat format) {
    if (format == OutputFormat::Hex) {
        if (reply.empty() || reply.size() > 4 || !IsHexText(reply)) return std::nullopt;
        return reply;
    }
    const auto v = PlainDecimalValue(reply);
    if (!v) return std::nullopt;
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
    return static_cast<int>(std::clamp(position, static_cast<double>(limits.min),
                                       static_cast<double>(limits.max)));
}

const OutputChannelRange* R330Range(int code) {
    static const OutputChannelRange kRanges[] = {
        {0x30, 0.0, 20.0, "mA"}, {0x31, 4.0, 20.0, "mA"}, {0x32, -10.0, 10.0, "V"}};
    for (const auto& r : kRanges)
        if (r.code == code) return &r;
    return nullptr;
}

std::string SignedValueField(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%+07.3f", value);
    return text;
}

int R330ScrollPosition(const OutputChannelRange& range, double value) {
    // A hair above the exact product, so that 0.6 mA lands on 3, not 2.9999...
    const double p = (value - range.min) * 100.0 / (range.max - range.min) + 1e-9;
    return std::clamp(static_cast<int>(p), 0, 100);
}

double R330ScrollValue(const OutputChannelRange& range, int position) {
    return range.min + position * (range.max - range.min) / 100.0;
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

} // namespace tavo
