// Number rules of the analog output modules: the value range of each data format
// and output range, the fields the output commands send, the reply fields the
// modules answer with and what they are worth in mA or V, the R330's channel
// ranges, and its Modbus output register. The panels and the module points use the
// same functions; the track bar and scroll bar rules of the panels are theirs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tavo {

// Format byte bits 1..0 of an output module.
enum class OutputFormat { Engineering, Percent, Hex };
// "00" engineering units, "01" % of FSR, anything else the hexadecimal format.
OutputFormat OutputFormatOf(const std::string& bits10);

// What a value can be in a data format, in whole steps: thousandths of mA or V in
// engineering units, hundredths of a percent in % FSR, counts 0 to 4095 of the
// range's span in hexadecimal (the R310 panel's track bar takes these as its
// positions).
inline constexpr int kHexFullScale = 4095;
struct TrackLimits {
    int min = 0;
    int max = 0;
};
// R310 range items: 0 "0~20mA", 1 "4~20mA", 2 "0~10V" (any other counts as 0).
TrackLimits R310TrackLimits(OutputFormat format, int rangeItem);
// The excitation output of the strain-gauge module: 0 to 10 V in thousandths.
inline constexpr TrackLimits kExcitationLimits{0, 10000};

// A value typed into the edit, checked against the limits in the edit's units (mA
// or V, percent, counts).
struct OutputValue {
    double value = 0.0;
    int position = 0; // the value in the format's steps
};
enum class OutputRefusal { None, Invalid, OutOfRange };
// Engineering and percent texts are plain decimals; hexadecimal texts one to three
// hex digits. `refusal` says why nothing came back.
std::optional<OutputValue> ParseOutputValue(const std::string& text, OutputFormat format,
                                            TrackLimits limits, OutputRefusal& refusal);
// The limits in the edit's units, for the range message.
double LimitValue(int position, OutputFormat format);
// The field of the output command: the integer part as "%2d", ".", the thousandths
// as "%3d" with blanks as zeros ("04.500"); in % FSR "+" and "%3d" "." "%2d"
// ("+050.00"); in hexadecimal "%03X" of the counts.
std::string OutputField(const OutputValue& value, OutputFormat format);

// A last-value or read-back reply field as a number of its format: a decimal with
// exactly three decimals in engineering units ("04.500", "+12.500") or two in % FSR
// ("+050.00"), three hexadecimal digits in the hexadecimal format. The modules send
// fixed-width fields, so anything shorter or longer (a cut reply) is no value.
std::optional<double> OutputReplyNumber(const std::string& reply, OutputFormat format);
// The reply as the R310 panel's edits show it: the number reformatted with "%6.3f"
// (engineering units) or "%6.2f" (% FSR) and trimmed, hexadecimal digits as they
// came. Nothing for a reply that is not a number of that format.
std::optional<std::string> PolledOutputText(const std::string& reply, OutputFormat format);
// Where the R310 panel's track bar stands for such a text, kept within the limits;
// nothing for a text that is no number of the format.
std::optional<int> PolledTrackPosition(const std::string& shown, OutputFormat format,
                                       TrackLimits limits);

// A plain decimal that fills the text (sign optional, blanks around it allowed):
// no exponent, no "inf", nothing after the number.
std::optional<double> PlainDecimalValue(const std::string& text);

// ---- Output ranges -------------------------------------------------------------

struct OutputChannelRange {
    int code;
    double min;
    double max;
    const char* unit; // "mA" or "V"
};
// The R310's and the loop controller's output ranges: 30 (0 - 20 mA), 31 (4 - 20
// mA), 32 (0 - 10 V); null for any other code.
const OutputChannelRange* R310Range(int code);
// The R330's: 30 (0 - 20 mA), 31 (4 - 20 mA), 32 (+/- 10 V); null for any other.
const OutputChannelRange* R330Range(int code);

// A value of `range` in the module's data format, as the R310's Output sends it (the
// steps of the format, rounded to the nearest): nullopt with `refusal` OutOfRange
// for a value the format cannot carry within the range.
std::optional<OutputValue> OutputValueFromEngineering(double value, OutputFormat format,
                                                      const OutputChannelRange& range,
                                                      OutputRefusal& refusal);
// And a number of the format (OutputReplyNumber) in mA or V: % FSR and counts are
// shares of the range's span above its low end.
double EngineeringFromFormat(double number, OutputFormat format, const OutputChannelRange& range);

// "%+07.3f": "+04.000", "-10.000".
std::string SignedValueField(double value);

// The slew-rate code of format bits 5..2 as the four bit characters, bit 5 first,
// and back ("0100" is 4).
std::string SlewBits(int code);
int SlewCode(const std::string& bits52);

// ---- R330 over Modbus ----------------------------------------------------------

// One-based numbers: outputs in holding registers 1 .. 4, ranges in 201 .. 204,
// digital inputs in coils 1 .. 4.
inline constexpr int kFirstR330OutputRegister = 1;
inline constexpr int kFirstR330RangeRegister = 201;
inline constexpr int kFirstR330InputCoil = 1;
inline constexpr int kR330OutputSteps = 4095; // an output register holds 0 .. 4095

// An R330 output value as the register takes it: (value - minimum) × 4095 /
// (maximum - minimum), truncated, within 0 .. 4095.
std::uint16_t R330RawFromValue(const OutputChannelRange& range, double value);
// And back; nullopt for a register content above 4095, which no value of the range
// gives.
std::optional<double> R330ValueFromRaw(const OutputChannelRange& range, std::uint16_t raw);

} // namespace tavo
