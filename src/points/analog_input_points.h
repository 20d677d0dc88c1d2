// The analog input family of module points: which models it has and what each one
// polls, and the three kinds of module behind them (single-channel ASCII modules,
// multi-channel ASCII modules with the data logger, the Modbus variants).
#pragma once

#include "modbus_analog_data.h"
#include "module_points.h"

#include "devices/range_tables.h"

#include <memory>
#include <optional>
#include <string_view>

namespace tavo::analog_points {

// R210, R210D, R220, R230, R250: one input (ai0), the strain-gauge module's
// excitation output (ao0), the alarm outputs (do0 ...), the digital input (di0) and
// the event counter (cnt0) where the panel polls them.
struct SingleInputModel {
    std::string_view designation;
    RangeList ranges;
    int ohmsCode = -1; // the format code that reports ohms, -1 for none
    int alarmOutputs = 0;
    bool digitalInput = false;
    bool eventCounter = false;
    bool excitation = false;
};

// The multi-channel ASCII modules: ai0 ... by channel.
struct MultiInputModel {
    std::string_view designation;
    int channels = 8;
    RangeList ranges = RangeList::R270P;
    // Each channel's own range ($AA8Cn); otherwise the configuration's type code is
    // every channel's.
    bool rangePerChannel = true;
    // The values are read channel by channel (#AAn, the data logger) instead of all
    // at once (#AA).
    bool channelReads = false;
    int ohmsCode = -1;
    // Format bit 3 set: the temperatures are in degrees Fahrenheit, this list's.
    std::optional<RangeList> fahrenheitRanges{};
};

// The Modbus variants: ai0 ... from holding registers 1 ...
struct ModbusInputModel {
    std::string_view designation;
    int channels = 8;
    RangeList ranges = RangeList::R270P;
    RawScaling scaling = RawScaling::R270P;
    // The firmware (register 213) decides the K type's span.
    bool firmwareScaling = false;
};

std::unique_ptr<ModulePoints> MakeSingleInputPoints(const SingleInputModel& model,
                                                    const ModuleLocation& where);
std::unique_ptr<ModulePoints> MakeMultiInputPoints(const MultiInputModel& model,
                                                   const ModuleLocation& where);
std::unique_ptr<ModulePoints> MakeModbusInputPoints(const ModbusInputModel& model,
                                                    const ModuleLocation& where);

// "ai0", "do3": a point name by prefix and channel.
std::string PointName(std::string_view prefix, int channel);
// A point of that name and kind, its other fields as PointInfo starts them.
PointInfo NamedPoint(std::string name, PointKind kind);

} // namespace tavo::analog_points
