// What the replies of the digital I/O, universal and counter modules mean: the
// channels of each model, where the state read puts them, the Modbus numbers, and
// how counts, counter modes and alarm states are cut out. The panels and the module
// points use these rules alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavo {

// Where "$AA6" puts the groups (two hexadecimal digits a byte).
enum class DioStateLayout {
    OutputsInputs, // OOII: output byte, input byte (an output-only module sends II = 00)
    InputsOnly,    // II00
    Inputs16,      // HHLL: inputs 15..8, 7..0
    Outputs12,     // HHLL: outputs 11..8, 7..0
};

struct DigitalIoModel {
    std::string_view model;
    int inputs;  // channels DI0 up
    int outputs; // channels DO0 up
    DioStateLayout layout;
    bool longWrite; // one output is "#AA1c000d" instead of "#AA1c0d"
    bool modbus;    // the model has a Modbus variant
    // What the Modbus variant's reads take: coils from kFirstInputCoil and from
    // kFirstOutputCoil (the input read of an eight-input module takes 8 coils
    // whatever its inputs).
    int modbusInputCoils;
    int modbusOutputCoils;
    bool overCurrent; // R560SO: groups of four outputs switch off on over-current
    bool universal;   // R850/R860: inputs that count and measure frequency
};

// The row of a digital I/O or universal model (R510 ... R630, R850, R860); null for
// any other designation.
const DigitalIoModel* FindDigitalIoModel(std::string_view model);

// What one state read carried. A group is set only when the read carried it; its
// digits are the group's bytes in hexadecimal as the module gave them, high byte
// first ("5A"; "0A05" for twelve outputs).
struct DioReading {
    enum Group : unsigned { kOutputs = 1, kInputs = 2 };
    unsigned asked = 0;              // the groups the read asked for, read or not
    std::optional<unsigned> outputs; // bit n = output n
    std::optional<unsigned> inputs;  // bit n = input n
    // The over-current groups of the R560SO (bit g = outputs 4g..4g+3 tripped), when
    // a panel's poll asked for them and read them.
    std::optional<unsigned> faults;
    std::string outputDigits;
    std::string inputDigits;
};

// The groups a state read of `layout` carries (DioReading::Group bits).
unsigned DioGroups(DioStateLayout layout);

// The data of a "$AA6" reply (the characters after '!', without the CR): exactly
// four hexadecimal digits on every model; a shorter, longer or garbled reply is no
// state, even where the first two digits alone would make one. Fills `out` (asked,
// and the groups of the layout) only on success.
bool DecodeDioState(DioStateLayout layout, std::string_view data, DioReading& out);

// Coil and register numbers (one-based) of the Modbus digital modules.
inline constexpr int kFirstInputCoil = 1;
inline constexpr int kFirstOutputCoil = 17;
inline constexpr int kFirstFaultCoil = 29;
inline constexpr int kInvertRegister = 231;

// The channel map of the universal modules' Modbus variants (one-based numbers):
// input modes in holding registers 301 + c, output modes 311 + c, channel values
// 321 + 2c (two registers, high word first; what "#AAc" reports), filter widths
// 341 + 4c (low, then high width, two registers each), output timings 401 + 8c (four
// values of two registers), pulse counts 471 + 2c; coils 33 + c counting, 49 + c
// latch (writing 0 clears count and latch), 65 + c pulsing.
namespace universal {
inline constexpr int kInputModes = 301;
inline constexpr int kOutputModes = 311;
inline constexpr int kValues = 321;
inline constexpr int kFilterWidths = 341;
inline constexpr int kTimings = 401;
inline constexpr int kPulseCounts = 471;
inline constexpr int kCountingCoils = 33;
inline constexpr int kLatchCoils = 49;
inline constexpr int kPulsingCoils = 65;
} // namespace universal

// The function of a universal module's input, from its mode byte (bits 3..0; the
// upper bits are the keep, filter and invert switches).
enum class InputFunction { Di = 0, Counter = 1, LatchLowHigh = 2, LatchHighLow = 3, Frequency = 4 };
// Nullopt for a mode number the modules do not have (5 to 15).
std::optional<InputFunction> InputFunctionOf(unsigned modeByte);

// A count or frequency reading ("#AAn" on the counters, "#AAc" on the universal
// modules; the data after '>'): exactly eight hexadecimal digits.
std::optional<std::uint32_t> CountFromDigits(std::string_view digits);

// The counters' mode from the configuration's type code: "51" measures frequency,
// any other code counts.
bool CounterMeasuresFrequency(std::string_view typeCode);

// "@AADI" of the counters: the status character (R710: bit n = counter n in preset
// mode; R710D: the alarm mode, 0 off, 1 momentary, 2 latch) and the two output digits
// (bit 0 = DO0, bit 1 = DO1, written as a decimal number 00 to 03).
struct CounterAlarmState {
    unsigned status = 0;
    unsigned outputs = 0;
};
std::optional<CounterAlarmState> ParseCounterAlarmState(std::string_view status,
                                                        std::string_view outputs);
// Whether output `n` follows an alarm instead of the host's commands: on the R710
// while counter n is in preset mode, on the R710D (`display`) while its alarm is on.
bool OutputFollowsAlarm(bool display, unsigned status, int n);

} // namespace tavo
