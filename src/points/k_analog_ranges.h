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

// Calibration kind a member hands the calibration dialog.
enum class KCalibKind { K230, Plain };

// One analog input slot model.
struct KAnalogSlotMember {
    const char* designation; // "K230": the panel class is "TfrmM" + designation
    int channels;
    KRangeSet ranges;
    bool coldJunction; // the "&CJC Cal." button
    KCalibKind calibration;
    bool perChannel; // one range per channel (K220H, K220UH)
};

// The member rows by designation (K210, K220, K220H, K220UH, K230, K230P); null for
// any other.
const KAnalogSlotMember* FindKAnalogMember(std::string_view designation);

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

// One to four hexadecimal digits, as the slots report masks.
bool KHexDigits(std::string_view s);

// A channel reading taken: the open sensor mark, or the reading in the slot's data
// format (two's complement: exactly four hexadecimal digits, `value` their 16-bit
// signed count; otherwise a plain decimal number with `decimals` digits after its
// point). nullopt for anything else, which is never shown.
struct KReading {
    bool burnOut = false;
    double value = 0.0;
    int decimals = 0;
};
std::optional<KReading> ParseKReading(std::string_view reading, bool twosComplement);

// Output range codes of the analog output slot: 30 "0 ~ 20 mA", 31 "4 ~ 20 mA",
// 32 "0 ~ 10 V".
struct K310Range {
    int code;
    const char* text;
    double lo, hi;
    bool current;
};
std::span<const K310Range> K310Ranges();
const K310Range* FindK310Range(int code);
// The value text the slot takes for `text` in `range`: two integer digits, a
// point and three decimals ("04.500"); nullopt for anything that is not a plain
// decimal number within the range.
std::optional<std::string> K310ValueText(const std::string& text, const K310Range& range);
// An output value as the analog output slots (K310, and the Z-series outputs) take
// it: "%06.3f", two integer digits, a point and three decimals.
std::string SlotOutputText(double value);

} // namespace tavo
