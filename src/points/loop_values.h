// Reply rules of the loop controller (R320T) below its panels: the seven-character
// fields of its input and output reads, what an input's status character says, the
// unit and span of an input range, the steps of its outputs, and its Modbus map.
// The PID table itself and its limits are the device layer's (devices/loop_table.h).
#pragma once

#include "output_values.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavo::loop {

constexpr int kInputs = 4;   // ai0 .. ai3
constexpr int kOutputs = 2;  // ao0, ao1, one per loop
constexpr int kDigitals = 2; // di0, di1 and do0, do1

// The Modbus map (one-based): DI coils 1-2, DO coils 17-18, the inputs as 0 .. 65535
// of their ranges in registers 1-4, the outputs as 0 .. 4095 of theirs in registers
// 11-12, and the PID table from register 1000, entry e in 1000 + 2e and 1001 + 2e.
constexpr int kDICoil = 1, kDOCoil = 17, kInputRegister = 1, kOutputRegister = 11;
constexpr int kTableRegister = 1000;
// The outputs' steps: their Modbus registers and the panel's track bars.
constexpr int kOutputSteps = 4095;
// A table entry from its two registers, high word first.
std::int32_t EntryFromWords(std::uint16_t high, std::uint16_t low);

// "#AA" answers four input fields and "#AAO" two output fields of seven characters
// each ("+025.30"). False, `out` untouched, for data of another length.
constexpr std::size_t kFieldWidth = 7;
bool CutFields(std::string_view data, int count, std::vector<std::string>& out);

// The status character of an input ("$AAB", one per channel).
enum class InputStatus {
    Normal,   // '0'
    OverHigh, // '1': above the range ("Over(H)")
    OverLow,  // '2': below it ("Over(L)")
    Invalid,  // anything else ("Invalid(R)")
};
InputStatus InputStatusOf(char status);

// The unit of an input range code as the range lists write it: "V", "mA", "'C" or
// "'F" by the temperature unit (format bit 3); a code the lists do not hold reads
// as a temperature.
const char* InputUnit(int code, bool fahrenheit);
// The span of an input range code in its unit; nullopt for a code the lists do not
// hold.
struct InputSpan {
    double min = 0.0;
    double max = 0.0;
};
std::optional<InputSpan> InputSpanOf(int code, bool fahrenheit);

// An output of `range` (R310Range) at step 0 .. 4095 of its span.
double OutputAtStep(const OutputChannelRange& range, int step);
// The field of the direct output command "#AAC{n}{value}": "%06.3f" ("12.500").
std::string OutputValueField(double value);

} // namespace tavo::loop
