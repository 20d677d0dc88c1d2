// The Modbus map of the multi-channel analog inputs (the R330's is with its other
// commands).
#include "analog_sim.h"
#include "digital_modules.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tavo::sim::analog {
namespace {

constexpr std::uint8_t kIllegalValue = 0x03;

// An R270P before firmware A2.02 scales its K type to 1000 'C.
bool OldKScale(const SimModule& m) {
    const auto& c = m.config();
    if (c.designation != "R270P" || c.firmware.size() < 5 || c.firmware[0] != 'A') return false;
    return std::atof(c.firmware.c_str() + 1) < 2.02 - 1e-9;
}

} // namespace

std::uint16_t ModbusFraction(double v, double lo, double hi, double steps) {
    const double f = hi > lo ? (v - lo) / (hi - lo) : 0.0;
    return static_cast<std::uint16_t>(std::lround(std::clamp(f, 0.0, 1.0) * steps));
}

// ---- Inputs --------------------------------------------------------------------------

const ModbusMapRow<InputCommands> InputCommands::kModbusMap[5] = {
    {PointKind::Register, 1, [](const InputCommands& c) { return c.model_.channels; },
     [](InputCommands& c, int ch) -> std::uint32_t { return c.RawValue(*c.modbusModule_, ch); }},
    {PointKind::Register, 201, [](const InputCommands& c) { return c.model_.channels; },
     [](InputCommands& c, int ch) -> std::uint32_t {
         return c.RangeOf(*c.modbusModule_, ch)->code;
     },
     [](InputCommands& c, int ch, std::uint32_t v) -> ModbusPoints::Refusal {
         c.ranges_[static_cast<std::size_t>(ch)] = v;
         return std::nullopt;
     },
     [](InputCommands& c, int, std::uint32_t v) -> ModbusPoints::Refusal {
         if (v > 0xFF || !c.model_.Find(v)) return kIllegalValue;
         return std::nullopt;
     }},
    {PointKind::Register, 213, Fixed<InputCommands, 1>,
     [](InputCommands& c, int) -> std::uint32_t {
         return FirmwareWord(c.modbusModule_->config().firmware);
     }},
    {PointKind::Register, 221, Fixed<InputCommands, 1>,
     [](InputCommands& c, int) -> std::uint32_t { return c.enableMask_; },
     [](InputCommands& c, int, std::uint32_t v) -> ModbusPoints::Refusal {
         c.enableMask_ = v;
         return std::nullopt;
     },
     [](InputCommands& c, int, std::uint32_t v) -> ModbusPoints::Refusal {
         if (v >> c.model_.channels) return kIllegalValue; // a channel it does not have
         return std::nullopt;
     }},
    {PointKind::Coil, 201, [](const InputCommands& c) { return c.model_.channels; },
     [](InputCommands& c, int ch) -> std::uint32_t { return c.BurntOut(*c.modbusModule_, ch); }},
};

void InputCommands::AddModbusMap(SimModule& m) {
    modbusModule_ = &m;
    points_.SetFunctions({0x01, 0x03, 0x06, 0x10});
    AddMapRows(points_, *this, kModbusMap);
}

std::optional<Bytes> InputCommands::Modbus(SimModule& m, const Bytes& pdu) {
    if (!modbusModule_) return std::nullopt;
    return points_.Handle(m, pdu);
}

std::uint16_t InputCommands::RawValue(SimModule& m, int ch) {
    if (!Enabled(ch)) return 0;
    if (BurntOut(m, ch)) return 0xFFFF; // an open sensor runs to the top
    const InputRange& r = *RangeOf(m, ch);
    const double v = Value(m, ch);
    ++reads_[static_cast<std::size_t>(ch)];
    const double hi = r.code == 0x0F && OldKScale(m) ? 1000.0 : r.hi;
    return ModbusFraction(v, r.lo, hi, 65535.0);
}

} // namespace tavo::sim::analog
