#include "analog_fields.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tavo {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Sign, then six characters of digits with at most one point ("+05.000", "-0100.0").
bool IsSignedField(std::string_view field) {
    if (field.size() != 7 || (field[0] != '+' && field[0] != '-')) return false;
    int points = 0, digits = 0;
    for (const char c : field.substr(1)) {
        if (c == '.')
            ++points;
        else if (IsDigit(c))
            ++digits;
        else
            return false;
    }
    return points <= 1 && digits > 0;
}

bool IsHexReading(std::string_view field) {
    if (field.size() != 4) return false;
    for (const char c : field)
        if (!IsHexDigit(c)) return false;
    return true;
}

int HexDigitValue(char c) {
    if (IsDigit(c)) return c - '0';
    return (c | 0x20) - 'a' + 10;
}

} // namespace

bool CutChannelFields(std::string_view data, int channels, bool hexFormat,
                      std::vector<ChannelReading>& out) {
    std::vector<ChannelReading> fields;
    for (int n = 0; n < channels; ++n) {
        ChannelReading reading;
        if (data.substr(0, kBurnOutField.size()) == kBurnOutField) {
            reading.burnOut = true;
            reading.text = std::string(kBurnOutField);
            data.remove_prefix(kBurnOutField.size());
        } else {
            const std::size_t width = hexFormat ? 4 : 7;
            if (data.size() < width) return false;
            const std::string_view field = data.substr(0, width);
            if (hexFormat ? !IsHexReading(field) : !IsSignedField(field)) return false;
            reading.text = std::string(field);
            data.remove_prefix(width);
        }
        fields.push_back(std::move(reading));
    }
    out = std::move(fields);
    return true;
}

std::optional<double> FirmwareNumber(std::string_view firmware, std::size_t last) {
    if (firmware.empty() || (firmware[0] != 'A' && firmware[0] != 'a') || last < 2)
        return std::nullopt;
    const std::string_view digits = firmware.substr(1, last - 1);
    // The leading plain decimal number: digits with at most one point.
    std::size_t end = 0, points = 0, count = 0;
    for (; end < digits.size(); ++end) {
        if (IsDigit(digits[end]))
            ++count;
        else if (digits[end] == '.' && points == 0)
            ++points;
        else
            break;
    }
    if (count == 0) return std::nullopt;
    return std::strtod(std::string(digits.substr(0, end)).c_str(), nullptr);
}

bool NewThermocoupleSpan(std::string_view firmware) {
    if (firmware.empty() || (firmware[0] != 'A' && firmware[0] != 'a')) return true;
    const auto number = FirmwareNumber(firmware, 5);
    return number && *number >= 2.02;
}

InputFormat InputFormatOf(unsigned formatByte, int ohmsCode) {
    const int code = static_cast<int>(formatByte & 3u);
    if (code == ohmsCode) return InputFormat::Ohms;
    switch (code) {
    case 0:
        return InputFormat::Engineering;
    case 1:
        return InputFormat::Percent;
    case 2:
        return InputFormat::Hex;
    default:
        return InputFormat::None;
    }
}

bool CutWholeReply(std::string_view data, int channels, InputFormat format,
                   std::vector<ChannelReading>& out) {
    if (format == InputFormat::None) return false;
    const bool hex = format == InputFormat::Hex;
    std::vector<ChannelReading> fields;
    if (!CutChannelFields(data, channels, hex, fields)) return false;
    std::size_t used = 0;
    for (const ChannelReading& f : fields)
        used += f.text.size();
    if (used != data.size()) return false;
    out = std::move(fields);
    return true;
}

FieldValue ReadInputField(const ChannelReading& field, InputFormat format) {
    FieldValue out;
    if (field.burnOut) {
        out.quality = PointQuality::BurnOut;
        return out;
    }
    const std::string_view text = field.text;
    if (format == InputFormat::Hex) {
        if (!IsHexReading(text)) return out;
        unsigned counts = 0;
        for (const char c : text)
            counts = counts * 16 + static_cast<unsigned>(HexDigitValue(c));
        out.value = counts >= 0x8000 ? static_cast<double>(counts) - 65536.0 : counts;
        out.quality = counts == 0x7FFF   ? PointQuality::OverRange
                      : counts == 0x8000 ? PointQuality::UnderRange
                                         : PointQuality::Good;
        return out;
    }
    if (format == InputFormat::None || !IsSignedField(text)) return out;
    // Sign, digits and at most one point: exact in decimal, so read digit by digit
    // (no locale, no exponent).
    double magnitude = 0.0;
    int decimals = -1;
    bool allNines = true;
    for (const char c : text.substr(1)) {
        if (c == '.') {
            decimals = 0;
            continue;
        }
        magnitude = magnitude * 10.0 + (c - '0');
        if (decimals >= 0) ++decimals;
        allNines = allNines && c == '9';
    }
    out.decimals = std::max(decimals, 0);
    out.value = (text[0] == '-' ? -magnitude : magnitude) / std::pow(10.0, out.decimals);
    if (out.value == 0.0) out.value = 0.0; // no "-0"
    out.quality = PointQuality::Good;
    if (allNines && format != InputFormat::Ohms)
        out.quality = text[0] == '-' ? PointQuality::UnderRange : PointQuality::OverRange;
    return out;
}

std::string UnitAsWritten(std::string_view unit) {
    if (unit == "'C") return "\u00B0C";
    if (unit == "'F") return "\u00B0F";
    if (unit == "ohm") return "\u03A9";
    return std::string(unit);
}

ChannelScale ScaleOf(const RangeItem* item, InputFormat format) {
    ChannelScale scale;
    switch (format) {
    case InputFormat::Engineering:
        if (!item) break;
        scale.unit = UnitAsWritten(item->unit);
        scale.min = item->min;
        scale.max = item->max;
        break;
    case InputFormat::Percent: {
        scale.unit = std::string(1, '%');
        if (!item) break;
        const double full = std::max(std::fabs(item->min), std::fabs(item->max));
        if (full > 0) {
            scale.min = item->min / full * 100.0;
            scale.max = item->max / full * 100.0;
        }
        break;
    }
    case InputFormat::Hex:
        scale.min = -32768;
        scale.max = 32767;
        break;
    case InputFormat::Ohms:
        scale.unit = UnitAsWritten("ohm");
        break;
    case InputFormat::None:
        break;
    }
    return scale;
}

ChannelScale WidestRange(RangeList list) {
    ChannelScale scale;
    const auto items = RangeItems(list);
    if (items.empty()) return scale;
    for (const RangeItem& item : items)
        if (std::string_view(item.unit) != items.front().unit || std::isnan(item.min) ||
            std::isnan(item.max))
            return scale;
    scale.unit = UnitAsWritten(items.front().unit);
    scale.min = items.front().min;
    scale.max = items.front().max;
    for (const RangeItem& item : items) {
        scale.min = std::min(scale.min, item.min);
        scale.max = std::max(scale.max, item.max);
    }
    return scale;
}

} // namespace tavo
