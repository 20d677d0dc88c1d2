#include "output_track.h"

#include <algorithm>
#include <cstdio>

namespace tavo {
namespace {

std::string Trimmed(const char* text) {
    std::string s(text);
    const auto first = s.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : s.substr(first);
}

} // namespace

std::string TrackPositionText(int position, OutputFormat format) {
    char text[32];
    switch (format) {
    case OutputFormat::Engineering:
        std::snprintf(text, sizeof text, "%6.3f", position * 0.001);
        break;
    case OutputFormat::Percent:
        std::snprintf(text, sizeof text, "%6.2f", position * 0.01);
        break;
    case OutputFormat::Hex:
        std::snprintf(text, sizeof text, "%03X", static_cast<unsigned>(std::max(position, 0)));
        break;
    }
    return Trimmed(text);
}

int SteppedPosition(int position, TrackLimits limits, int tag) {
    const int span = limits.max - limits.min;
    int step = 0;
    switch (tag) {
    case 1:
        step = -(span / 10);
        break;
    case 2:
        step = -(span / 100);
        break;
    case 3:
        step = span / 100;
        break;
    case 4:
        step = span / 10;
        break;
    default:
        break;
    }
    return std::clamp(position + step, limits.min, limits.max);
}

int R330ScrollPosition(const OutputChannelRange& range, double value) {
    // A hair above the exact product, so that 0.6 mA lands on 3, not 2.9999...
    const double p = (value - range.min) * 100.0 / (range.max - range.min) + 1e-9;
    return std::clamp(static_cast<int>(p), 0, 100);
}

double R330ScrollValue(const OutputChannelRange& range, int position) {
    return range.min + position * (range.max - range.min) / 100.0;
}

} // namespace tavo
