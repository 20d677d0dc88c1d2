// Number rules of the analog output panels: the track bar's scale per data format
// and range, the texts the value edit shows and the fields the output commands
// send, the read-back texts, and the R330's channel ranges with their scroll
// scale. Plain functions, so that they are tested without a form.
#pragma once

#include <optional>
#include <string>

namespace tavo {

// Format byte bits 1..0 of an output module.
enum class OutputFormat { Engineering, Percent, Hex };
// "00" engineering units, "01" % of FSR, anything else the hexadecimal format.
OutputFormat OutputFormatOf(const std::string& bits10);

// The track bar's positions: thousandths of mA or V in engineering units,
// hundredths of a percent in % FSR, counts 0 to 4095 in hexadecimal.
struct TrackLimits {
    int min = 0;
    int max = 0;
};
// R310 range items: 0 "0~20mA", 1 "4~20mA", 2 "0~10V" (any other counts as 0).
TrackLimits R310TrackLimits(OutputFormat format, int rangeItem);
// The excitation output of the strain-gauge module: 0 to 10 V in thousandths.
inline constexpr TrackLimits kExcitationLimits{0, 10000};

// What the value edit shows for a track bar position: "%6.3f" of thousandths,
// "%6.2f" of hundredths, or three hexadecimal digits; blanks trimmed.
std::string TrackPositionText(int position, OutputFormat format);
// The position a step button moves to: a tenth of the span for the outer
// buttons (tags 1 and 4), a hundredth for the inner ones (2 and 3), down for 1
// and 2, up for 3 and 4; integer steps, kept within the limits.
int SteppedPosition(int position, TrackLimits limits, int tag);

// A value typed into the edit, checked against the track bar's limits in the
// edit's units (mA or V, percent, counts).
struct OutputValue {
    double value = 0.0;
    int position = 0; // where the track bar goes
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

// A read-back or last-value reply as the edits show it: a decimal reformatted with
// "%6.3f" (engineering units) or "%6.2f" (% FSR) and trimmed; hexadecimal digits
// as they came. Nothing for a reply that is not a number of that format.
std::optional<std::string> PolledOutputText(const std::string& reply, OutputFormat format);
// Where the track bar stands for such a text, kept within the limits; nothing for
// a text that is no number of the format.
std::optional<int> PolledTrackPosition(const std::string& shown, OutputFormat format,
                                       TrackLimits limits);

// A plain decimal that fills the text (sign optional, blanks around it allowed):
// no exponent, no "inf", nothing after the number.
std::optional<double> PlainDecimalValue(const std::string& text);

// ---- R330 channels -------------------------------------------------------------

struct OutputChannelRange {
    int code;
    double min;
    double max;
    const char* unit; // "mA" or "V"
};
// Codes 30 (0 - 20 mA), 31 (4 - 20 mA), 32 (+/- 10 V); null for any other.
const OutputChannelRange* R330Range(int code);
// "%+07.3f": "+04.000", "-10.000".
std::string SignedValueField(double value);
// The scroll bar (0 to 100) of the direct output: from a value (truncated) and back.
int R330ScrollPosition(const OutputChannelRange& range, double value);
double R330ScrollValue(const OutputChannelRange& range, int position);

// The slew-rate code of format bits 5..2 as the four bit characters, bit 5 first,
// and back ("0100" is 4).
std::string SlewBits(int code);
int SlewCode(const std::string& bits52);

} // namespace tavo
