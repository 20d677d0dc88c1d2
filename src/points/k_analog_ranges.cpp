#include "k_analog_ranges.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace tavo {
namespace {

constexpr KAnalogRange kThermocouple[] = {
    {0x00, "+/- 15mV", "mV", "0 mV", "15 mV", -15, 15},
    {0x01, "+/- 50mV", "mV", "0 mV", "50 mV", -50, 50},
    {0x02, "+/- 100mV", "mV", "0 mV", "100 mV", -100, 100},
    {0x03, "+/- 500mV", "mV", "0 mV", "500 mV", -500, 500},
    {0x04, "+/- 1V", "V", "0 V", "1 V", -1, 1},
    {0x05, "+/- 2.5V", "V", "0 V", "2.5 V", -2.5, 2.5},
    {0x06, "+/- 20mA", "mA", "0 mA", "20 mA", -20, 20},
    {0x0E, "Type J  0'C~760'C", "'C", "0 mV", "50 mV", 0, 760},
    {0x0F, "Type K  0'C~1370'C", "'C", "0 mV", "50 mV", 0, 1370},
    {0x10, "Type T  -100'C~400'C", "'C", "0 mV", "22 mV", -100, 400},
    {0x11, "Type E  0'C~1000'C", "'C", "0 mV", "80 mV", 0, 1000},
    {0x12, "Type R  500'C~1750'C", "'C", "0 mV", "22 mV", 500, 1750},
    {0x13, "Type S  500'C~1750'C", "'C", "0 mV", "22 mV", 500, 1750},
    {0x14, "Type B  500'C~1800'C", "'C", "0 mV", "152 mV", 500, 1800},
};

// The RTD slot reports its readings against the resistance it calibrates at.
constexpr KAnalogRange kRtd[] = {
    {0x20, "Pt.00385 -100' to 100'C", "Ohms", "60 Ohms", "140 Ohms", -100, 100},
    {0x21, "Pt.00385 0' to 100'C", "Ohms", "60 Ohms", "140 Ohms", 0, 100},
    {0x22, "Pt.00385 0' to 200'C", "Ohms", "60 Ohms", "140 Ohms", 0, 200},
    {0x23, "Pt.00385 0' to 600'C", "Ohms", "60 Ohms", "140 Ohms", 0, 600},
    {0x24, "Pt.00391 -100' to 100'C", "Ohms", "60 Ohms", "140 Ohms", -100, 100},
    {0x25, "Pt.00391 0' to 100'C", "Ohms", "60 Ohms", "140 Ohms", 0, 100},
    {0x26, "Pt.00391 0' to 200'C", "Ohms", "60 Ohms", "140 Ohms", 0, 200},
    {0x27, "Pt.00391 0' to 600'C", "Ohms", "60 Ohms", "140 Ohms", 0, 600},
};

constexpr KAnalogRange kVoltage[] = {
    {0x00, "+/- 15mV", "mV", "0 mV", "10 V", -15, 15},
    {0x01, "+/- 50mV", "mV", "0 mV", "10 V", -50, 50},
    {0x02, "+/- 100mV", "mV", "0 mV", "10 V", -100, 100},
    {0x03, "+/- 500mV", "mV", "0 mV", "10 V", -500, 500},
    {0x04, "+/- 1V", "V", "0 mV", "10 V", -1, 1},
    {0x05, "+/- 2.5V", "V", "0 mV", "10 V", -2.5, 2.5},
    {0x06, "+/- 20mA", "mA", "0 mV", "10 V", -20, 20},
    {0x07, "+ 4~20mA", "mA", "0 mV", "10 V", 4, 20},
    {0x08, "+/- 10V", "V", "0 mV", "10 V", -10, 10},
    {0x0D, "+ 0~20mA", "mA", "0 mV", "10 V", 0, 20},
};

constexpr KAnalogSlotMember kMembers[] = {
    {"K230", 7, KRangeSet::Thermocouple, true, KCalibKind::K230, false},
    {"K210", 3, KRangeSet::Rtd, false, KCalibKind::Plain, false},
    {"K220", 8, KRangeSet::Voltage, false, KCalibKind::Plain, false},
    {"K220H", 8, KRangeSet::Voltage, false, KCalibKind::Plain, true},
    {"K220UH", 8, KRangeSet::Voltage, false, KCalibKind::Plain, true},
    {"K230P", 7, KRangeSet::Thermocouple, true, KCalibKind::K230, false},
};

constexpr K310Range kOutputRanges[] = {
    {0x30, "0 ~ 20 mA", 0, 20, true},
    {0x31, "4 ~ 20 mA", 4, 20, true},
    {0x32, "0 ~ 10 V", 0, 10, false},
};

} // namespace

const KAnalogSlotMember* FindKAnalogMember(std::string_view designation) {
    for (const auto& m : kMembers)
        if (designation == m.designation) return &m;
    return nullptr;
}

std::span<const KAnalogRange> KRanges(KRangeSet set) {
    switch (set) {
    case KRangeSet::Thermocouple:
        return kThermocouple;
    case KRangeSet::Rtd:
        return kRtd;
    case KRangeSet::Voltage:
        return kVoltage;
    }
    return {};
}

int KRangeIndex(KRangeSet set, int code) {
    const auto list = KRanges(set);
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].code == code) return static_cast<int>(i);
    return -1;
}

const KAnalogRange* KRangeAt(KRangeSet set, int index) {
    const auto list = KRanges(set);
    if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return nullptr;
    return &list[static_cast<std::size_t>(index)];
}

int KIntegerWidth(const KAnalogRange& range) {
    const double top = std::max(std::fabs(range.lo), std::fabs(range.hi));
    int width = 1;
    for (double v = 10; v <= top; v *= 10)
        ++width;
    return width;
}

std::optional<double> KPlainNumber(std::string_view text) {
    // Long enough for any limit the slots take; anything longer is not one.
    if (text.empty() || text.size() > 16) return std::nullopt;
    bool digit = false, point = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if ((c == '+' || c == '-') && i == 0) continue;
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9') return std::nullopt;
        digit = true;
    }
    if (!digit) return std::nullopt;
    return std::strtod(std::string(text).c_str(), nullptr);
}

bool KHexDigits(std::string_view s) {
    if (s.empty() || s.size() > 4) return false;
    for (char c : s)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

std::optional<KReading> ParseKReading(std::string_view reading, bool twosComplement) {
    KReading taken;
    if (KBurnOut(reading)) {
        taken.burnOut = true;
        return taken;
    }
    if (twosComplement) {
        if (reading.size() != 4 || !KHexDigits(reading)) return std::nullopt;
        taken.value = static_cast<std::int16_t>(std::stoul(std::string(reading), nullptr, 16));
        return taken;
    }
    const auto v = KPlainNumber(reading);
    if (!v) return std::nullopt;
    taken.value = *v;
    const auto point = reading.find('.');
    taken.decimals = point == std::string_view::npos ? 0 : static_cast<int>(reading.size() - point - 1);
    return taken;
}

std::optional<std::string> KAlarmLimitText(std::string_view text, const KAnalogRange& range) {
    const auto value = KPlainNumber(text);
    if (!value || *value < range.lo || *value > range.hi) return std::nullopt;
    char digits[32];
    std::snprintf(digits, sizeof digits, "%4.3f", std::fabs(*value));
    std::string out(digits);
    const auto point = out.find('.');
    const int width = KIntegerWidth(range);
    if (point != std::string::npos && static_cast<int>(point) < width)
        out.insert(0, static_cast<std::size_t>(width) - point, '0');
    return std::string(*value > 0 ? "+" : "-") + out;
}

std::span<const K310Range> K310Ranges() {
    return kOutputRanges;
}

const K310Range* FindK310Range(int code) {
    for (const auto& r : kOutputRanges)
        if (r.code == code) return &r;
    return nullptr;
}

std::optional<std::string> K310ValueText(const std::string& text, const K310Range& range) {
    const auto v = KPlainNumber(text);
    if (!v || *v < range.lo || *v > range.hi) return std::nullopt;
    return SlotOutputText(*v);
}

std::string SlotOutputText(double value) {
    char out[32];
    std::snprintf(out, sizeof out, "%06.3f", value);
    return out;
}

} // namespace tavo
