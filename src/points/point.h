// What a module measures and drives, below the widgets: one point per channel value
// (an analog input, an output, a digital line, a counter), its reading, and the
// quality that says whether the reading may be shown as a number at all.
#pragma once

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace tavo {

enum class PointKind {
    AnalogInput,   // "analog-input": ai0 ..., a loop's process value pv0 ...
    AnalogOutput,  // "analog-output": ao0 ..., a loop's set value sv0 and output mv0 ...
    DigitalInput,  // "digital-input": di0 ...
    DigitalOutput, // "digital-output": do0 ...
    Counter,       // "counter": cnt0 ...
    Frequency,     // "frequency": freq0 ..., in Hz
};

// In this order the gateway's quality registers number them (0 good ... 5 failed).
enum class PointQuality {
    Good,       // the module's own answer, in range
    BurnOut,    // the sensor is open (the module says so)
    OverRange,  // above what the range can measure
    UnderRange, // below it
    Disabled,   // the channel is switched off, or not in this function
    Failed,     // no valid reply: the module did not answer, refused, or sent garbage
};

std::string_view PointKindName(PointKind kind);
std::string_view PointQualityName(PointQuality quality);
std::optional<PointKind> PointKindFromName(std::string_view name);
inline int PointQualityCode(PointQuality quality) { return static_cast<int>(quality); }
inline bool IsDigital(PointKind kind) {
    return kind == PointKind::DigitalInput || kind == PointKind::DigitalOutput;
}

inline constexpr double kNoLimit = std::numeric_limits<double>::quiet_NaN();

struct PointInfo {
    std::string name; // "ai0", "do3", "pv1": lower-case letters, then the channel number
    PointKind kind = PointKind::AnalogInput;
    // The engineering unit as people write it ("°C", "°F", "mV", "V", "mA", "%",
    // "Hz", "Ω"); empty for digital points, counts and while it is not known yet.
    std::string unit;
    // What the value can be: a written value must lie within, both ends included.
    // NaN where there is no known limit (a range not read yet, a counter's top).
    double min = kNoLimit;
    double max = kNoLimit;
    // Whether the model takes a write of this point at all (outputs, set values).
    bool writable = false;
    // Decimals the module gives the value with; values are printed with at most these.
    int decimals = 3;
};

struct PointReading {
    PointQuality quality = PointQuality::Failed;
    // Only meaningful when quality is Good; digital points hold 0 or 1.
    double value = 0.0;
    // Which observed exchange set it (ModulePoints::Serial()); 0 for never. A
    // consumer that remembers the serial of its last look sees what a poll renewed.
    unsigned long serial = 0;
};

// A good reading of `value`; digital kinds store it as 0 or 1.
inline PointReading GoodReading(double value, unsigned long serial) {
    return {PointQuality::Good, value, serial};
}
inline PointReading BadReading(PointQuality quality, unsigned long serial) {
    return {quality, 0.0, serial};
}

} // namespace tavo
