// Plain rules of the Modbus analog panels, below the widgets: how a raw 16-bit
// register content becomes the value of its channel's range, how it is written
// out, and the register numbers of the analog Modbus maps.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tavo {

struct OutputChannelRange;

// One-based numbers of the analog input map.
inline constexpr int kFirstValueRegister = 1;   // raw channel values, 1 .. 8
inline constexpr int kFirstRangeRegister = 201; // range code of each channel (low byte)
inline constexpr int kEnableMaskRegister = 221; // bit n = channel n (low byte)
inline constexpr int kFirstBurnOutCoil = 201;   // burn-out flag of each channel
// The R330: digital inputs in coils 1 .. 4, outputs in registers 1 .. 4, ranges in
// registers 201 .. 204.
inline constexpr int kFirstR330InputCoil = 1;
inline constexpr int kR330OutputSteps = 4095; // an output register holds 0 .. 4095

// The scaling tables of the input members. None: the module's raw register is
// shown as it is ("0x%04X").
enum class RawScaling { R270P, R260P, R280B, R810, R820, None };

// One row of a scaling table: the range's ends and the decimals it is shown with.
struct RawScale {
    double min = 0.0;
    double max = 0.0;
    int decimals = 3;
};

// The row of `code` in `table`; nullopt for a code the table does not list (and
// for every code of RawScaling::None). `newThermocoupleSpan`: an R270P firmware
// before A2.02 scales its K type to 1000 'C instead of 1370 'C.
std::optional<RawScale> FindRawScale(RawScaling table, int code, bool newThermocoupleSpan = true);

// minimum + (maximum - minimum) × raw / 65535. The register is unsigned: 65535 is
// the top of the range, never -1.
double ScaledRaw(const RawScale& scale, std::uint16_t raw);
// The value as the panel shows it: "+%06.Nf" for values from 0 up, "%07.Nf" below 0
// ("+04.000", "-20.000", "+1370.0").
std::string ScaledRawText(const RawScale& scale, std::uint16_t raw);
// "0x%04X".
std::string RawRegisterText(std::uint16_t raw);
// A channel's value edit: the scaled value of its range, or the raw register for a
// member without scaling and for a range the table does not list (a made-up value
// would look like a reading).
std::string ModbusChannelText(RawScaling table, int code, std::uint16_t raw,
                              bool newThermocoupleSpan = true);

// An R330 output value as the register takes it: (value - minimum) × 4095 /
// (maximum - minimum), truncated, within 0 .. 4095.
std::uint16_t R330RawFromValue(const OutputChannelRange& range, double value);
// And back; nullopt for a register content above 4095, which no value of the range
// gives.
std::optional<double> R330ValueFromRaw(const OutputChannelRange& range, std::uint16_t raw);

} // namespace tavo
