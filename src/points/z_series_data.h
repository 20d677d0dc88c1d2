// The analog ranges of the Z-series I/O slot modules (Z310, Z320) and how their
// all-channel input reading is cut. Plain data and text rules, no widgets.
#pragma once

#include <string>
#include <vector>

namespace tavo {

// One analog input range of the Z-series I/O modules.
struct ZInputRange {
    int code;
    const char* text;
    const char* unit;
    const char* zeroPrompt;
    const char* spanPrompt;
    // What the range reads, in `unit`; NaN where the range's text does not say.
    double lo, hi;
};
// The range list, in list order.
const std::vector<ZInputRange>& ZInputRanges();
// List position of a type code; a code not in the list gives 0 (the first entry).
int ZInputRangeIndex(int code);
// The range of a code, or null when the list does not hold it (unit "?", prompt
// "#####").
const ZInputRange* FindZInputRange(int code);

// Splits the all-channel reading into its 8-character fields, one per channel;
// a missing or short field is left out, so fewer fields than channels can come back.
std::vector<std::string> SplitZInputFields(const std::string& data, int channels);

// Low and high end of an analog output range (list position 0..2); false for others.
bool ZOutputLimits(int position, double& low, double& high);
// Unit of an analog output range (list position 0..2): "mA" or "V"; empty for others.
const char* ZOutputUnit(int position);

} // namespace tavo
