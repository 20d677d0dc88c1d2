// The analog output panels' track bar and scroll bar: what the value edit shows for
// a position, where the step buttons move it, and the R330's scroll scale. What a
// value is worth and what is sent are the output value rules of the points.
#pragma once

#include "points/output_values.h"

#include <string>

namespace tavo {

// What the value edit shows for a track bar position: "%6.3f" of thousandths,
// "%6.2f" of hundredths, or three hexadecimal digits; blanks trimmed.
std::string TrackPositionText(int position, OutputFormat format);
// The position a step button moves to: a tenth of the span for the outer
// buttons (tags 1 and 4), a hundredth for the inner ones (2 and 3), down for 1
// and 2, up for 3 and 4; integer steps, kept within the limits.
int SteppedPosition(int position, TrackLimits limits, int tag);

// The R330's scroll bar (0 to 100) of the direct output: from a value (truncated)
// and back.
int R330ScrollPosition(const OutputChannelRange& range, double value);
double R330ScrollValue(const OutputChannelRange& range, int position);

} // namespace tavo
