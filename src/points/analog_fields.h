// What the analog input modules' replies mean: the "#AA" reply cut into channel
// fields, burn-out, a field as a number with its quality, the data formats, the
// firmware numbers some scalings and lists depend on, and range units as people
// write them. The panels show the same fields; the module points read them here.
#pragma once

#include "point.h"

#include "devices/range_tables.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavo {

// What a burnt-out (open) sensor reads, in every data format.
inline constexpr std::string_view kBurnOutField = "+888888";

// One channel of a poll: the field as the module sent it, or the burn-out mark.
struct ChannelReading {
    std::string text;
    bool burnOut = false;
};

// Cuts the data of "#AA" (the text after ">") into the fields of the first
// `channels` channels: four hexadecimal digits each in the two's-complement data
// format, seven characters (sign, digits, at most one point) otherwise. A channel
// that reads "+888888" is burnt out and takes seven characters in every format (a
// hexadecimal field never starts with a sign). Text after the last field is not
// looked at. False, with `out` untouched, when the data holds fewer fields or a
// field that is no reading: the poll failed, and nothing of it may be shown.
bool CutChannelFields(std::string_view data, int channels, bool hexFormat,
                      std::vector<ChannelReading>& out);

// The number that characters 2 to `last` (counted from 1) of a firmware text begin
// with, for texts that begin with "A" or "a" ("A2.02" gives 2.02); nullopt for
// other texts and when no number stands there.
std::optional<double> FirmwareNumber(std::string_view firmware, std::size_t last);
// Thermocouple span texts of firmware A2.02 and later (and of every firmware that
// does not begin with "A").
bool NewThermocoupleSpan(std::string_view firmware);

// How an input module reports its values: format byte bits 1..0 as its model reads
// them. Ohms is the format code of the resistance sensors' modules that reports the
// sensor's resistance instead (3 on the R230, 1 on the R240 and R240T); None is a
// code the model does not have.
enum class InputFormat { Engineering, Percent, Hex, Ohms, None };
// `ohmsCode`: the model's resistance format code, or -1 when it has none.
InputFormat InputFormatOf(unsigned formatByte, int ohmsCode);

// Like CutChannelFields, but the data must hold exactly the fields of `channels`
// channels, nothing after them: a reply of another shape is no reading.
bool CutWholeReply(std::string_view data, int channels, InputFormat format,
                   std::vector<ChannelReading>& out);

// A channel field as a number, with the decimals the module gave it and its quality:
// - burn-out for "+888888" (in every format);
// - two's-complement hex: the signed count (decimals 0), over-range at 7FFF and
//   under-range at 8000, the ends of what the format carries;
// - engineering units and % FSR: the decimal number, over-range (plus) or
//   under-range (minus) when every digit is a 9, the end of the seven-character
//   field; a value a little beyond the range that the module still writes as a
//   number is a measurement and stays good;
// - ohms: the decimal number (its field moves its point with the resistance, so no
//   end of it is a limit);
// - failed for anything else (a field of another format, None).
struct FieldValue {
    PointQuality quality = PointQuality::Failed;
    double value = 0.0;
    int decimals = 0;
};
FieldValue ReadInputField(const ChannelReading& field, InputFormat format);

// A unit of the range tables as people write it: "'C" is "°C", "'F" "°F", "ohm" "Ω".
std::string UnitAsWritten(std::string_view unit);

// What a channel's values are in, for a range item (null: not known) and format:
// engineering units of the range and its ends; % FSR with the ends as a percentage of
// the range's full scale (the larger end); hex counts without a unit from -32768 to
// 32767; ohms without ends.
struct ChannelScale {
    std::string unit;
    double min = kNoLimit;
    double max = kNoLimit;
};
ChannelScale ScaleOf(const RangeItem* item, InputFormat format);
// The widest range of a list whose items share one unit, in that unit; empty unit and
// no ends when they do not (a list of millivolts, volts and degrees has none).
ChannelScale WidestRange(RangeList list);

} // namespace tavo
