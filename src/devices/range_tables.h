// The input and output range (type) codes of every analog model with the texts the
// panels list them under, in list order, and the conversions between list position
// and code. One table for all panels; the texts are shown exactly as they are here
// (some end in a blank).
#pragma once

#include <limits>
#include <span>

namespace tavo {

struct RangeItem {
    int code;         // the two-digit hexadecimal type code
    const char* text; // list text
    const char* unit; // unit of the engineering value: "mV", "V", "mA", "'C", "'F"
    // The range's ends in that unit; NaN where a list does not give them.
    double min = std::numeric_limits<double>::quiet_NaN();
    double max = std::numeric_limits<double>::quiet_NaN();
};

enum class RangeList {
    R210,         // R210, R210D
    R270,         // R270 (all channels)
    R270M,        // R270M (all channels)
    R220,         // R220 and R260 (all channels)
    R230,         // RTD
    R250,         // strain gauge
    R260P,        // and its Modbus variant
    R270P,        // and its Modbus variant
    R280,         // channel 0
    R280Channels, // channels 1 to 7 (the current item reads differently)
    R280B,
    R280BModbus,
    R240,  // and its Modbus variant
    R240T, // Centigrade
    R240TFahrenheit,
    R240TModbus,
    R810,   // and its Modbus variant
    R820,   // and its Modbus variant
    R260AN, // and its Modbus variant
    R270AN, // and its Modbus variant
    R310Output,
    R330Output,
    R320TInput, // Centigrade
    R320TInputFahrenheit,
    R320TOutput,
};

std::span<const RangeItem> RangeItems(RangeList list);
// List position of `code`, or -1 when the list does not hold it.
int RangeCodeToIndex(RangeList list, int code);
// Code at list position `index`, or -1 outside the list.
int RangeIndexToCode(RangeList list, int index);
// The item of `code`, or null when the list does not hold it.
const RangeItem* FindRangeItem(RangeList list, int code);

} // namespace tavo
