// The input ranges of the rack's analog input slots (thermocouple/mV, RTD and
// voltage modules) with the texts the panels list them under, the signals the
// calibration asks for, and the bounds and integer widths the channel alarm limits
// are checked and written with. Plain data and text rules, no widgets.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tavo {

struct KAnalogRange {
    int code;         // type code TT, two hexadecimal digits on the wire
    const char* text; // list text
    const char* unit; // unit of the readings
    const char* zero; // signal of the zero calibration
    const char* span; // signal of the span calibration
    double lo, hi;    // what the range reads, in `unit`
};

enum class KRangeSet {
    Thermocouple, // K230, K230P and generic analog input slots
    Rtd,          // K210
    Voltage,      // K220, K220H, K220UH
};

std::span<const KAnalogRange> KRanges(KRangeSet set);
// List position of `code`, or -1.
int KRangeIndex(KRangeSet set, int code);
// The range at list position `index`, or null.
const KAnalogRange* KRangeAt(KRangeSet set, int index);
// Unit and calibration texts of a code the list does not have.
inline constexpr const char* kUnknownUnit = "?";
inline constexpr const char* kUnknownCalibration = "#####";

// Digits before the point of the largest reading of the range (15 mV: 2, 1370'C: 4).
int KIntegerWidth(const KAnalogRange& range);

// An alarm limit as the slot takes it: "+" for a value above 0, "-" otherwise, the
// absolute value with three decimals, zero-padded to the range's integer width
// ("+012.500" in a range up to 100 mV). Nullopt when `text` is not a plain decimal
// number or lies outside the range's readings: such a limit is never sent.
std::optional<std::string> KAlarmLimitText(std::string_view text, const KAnalogRange& range);

// A plain decimal number: optional sign, digits with at most one point.
std::optional<double> KPlainNumber(std::string_view text);

// A channel reading that says the sensor is open (the slot reports "+888888").
inline bool KBurnOut(std::string_view reading) {
    return reading.substr(0, 7) == "+888888";
}

} // namespace tavo
