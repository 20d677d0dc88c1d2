#include "loop_values.h"

#include "devices/range_tables.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tavo::loop {
namespace {

struct SpanRow {
    int code;
    double min, max; // 'C for the temperature ranges
    bool temperature;
};
// The input ranges of the list, in the order of the list.
constexpr SpanRow kInputSpans[] = {
    {0x07, 4, 20, false}, {0x08, 0, 10, false}, {0x0D, 0, 20, false}, {0x20, -100, 100, true},
    {0x21, 0, 100, true}, {0x22, 0, 200, true}, {0x23, 0, 600, true}, {0x24, -100, 100, true},
    {0x25, 0, 100, true}, {0x26, 0, 200, true}, {0x27, 0, 600, true}, {0x2A, -40, 160, true},
    {0x30, 0, 100, true}, {0x31, 0, 100, true},
};

double Fahrenheit(double celsius) {
    return celsius * 9.0 / 5.0 + 32.0;
}

} // namespace

std::int32_t EntryFromWords(std::uint16_t high, std::uint16_t low) {
    return static_cast<std::int32_t>(std::uint32_t{high} << 16 | low);
}

bool CutFields(std::string_view data, int count, std::vector<std::string>& out) {
    if (count < 0 || data.size() != kFieldWidth * static_cast<std::size_t>(count)) return false;
    std::vector<std::string> fields;
    for (int i = 0; i < count; ++i)
        fields.emplace_back(data.substr(kFieldWidth * static_cast<std::size_t>(i), kFieldWidth));
    out = std::move(fields);
    return true;
}

InputStatus InputStatusOf(char status) {
    switch (status) {
    case '0':
        return InputStatus::Normal;
    case '1':
        return InputStatus::OverHigh;
    case '2':
        return InputStatus::OverLow;
    default:
        return InputStatus::Invalid;
    }
}

const char* InputUnit(int code, bool fahrenheit) {
    const int index = RangeCodeToIndex(RangeList::R320TInput, code);
    if (index < 0) return fahrenheit ? "'F" : "'C";
    return RangeItems(fahrenheit ? RangeList::R320TInputFahrenheit
                                 : RangeList::R320TInput)[static_cast<std::size_t>(index)]
        .unit;
}

std::optional<InputSpan> InputSpanOf(int code, bool fahrenheit) {
    for (const SpanRow& row : kInputSpans)
        if (row.code == code) {
            if (row.temperature && fahrenheit)
                return InputSpan{Fahrenheit(row.min), Fahrenheit(row.max)};
            return InputSpan{row.min, row.max};
        }
    return std::nullopt;
}

double OutputAtStep(const OutputChannelRange& range, int step) {
    return range.min + step * (range.max - range.min) / kOutputSteps;
}

std::string OutputValueField(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%06.3f", value);
    return text;
}

} // namespace tavo::loop
