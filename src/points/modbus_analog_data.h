// Plain rules of the Modbus analog input panels, below the widgets: how a raw 16-bit
// register content becomes the value of its channel's range, and the register
// numbers of the analog input Modbus map (the R330's are with the output rules of
// the points).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tavo {

// One-based numbers of the analog input map.
inline constexpr int kFirstValueRegister = 1;   // raw channel values, 1 .. 8
inline constexpr int kFirstRangeRegister = 201; // range code of each channel (low byte)
inline constexpr int kEnableMaskRegister = 221; // bit n = channel n (low byte)
inline constexpr int kFirstBurnOutCoil = 201;   // burn-out flag of each channel

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

} // namespace tavo
