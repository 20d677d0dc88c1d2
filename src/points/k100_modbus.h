// What the Modbus side of a K100 rack controller tells about itself and its
// slots, and how its slot data reads. Plain C++ without Qt, so the decoding of
// what the controller sends can be fuzzed.
//
// Identification block (holding registers from 10001, 38 registers = 76 bytes):
//   bytes 0-1    the rack: 2191 four slots, 2190 eight slots
//   bytes 4-5    firmware as four nibbles: A3 10 is "A3.10"
//   bytes 8-15   module type code per slot (FF: empty)
//   byte 25      counter flag: 0 a counter's status is in its registers, 1 in
//                16 coils from slot * 16 + 1
//   bytes 28-43  start value per slot, bytes 44-59 end value per slot (high byte
//                first): coil references as they are, register references with
//                40000 added
// Name block (holding registers from 10201, 64 registers): 16 characters per slot,
// two per register with the two bytes swapped (the first character in the low
// byte).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavo {

inline constexpr int kK100IdentFirst = 10001;
inline constexpr int kK100IdentRegisters = 38;
inline constexpr int kK100NamesFirst = 10201;
inline constexpr int kK100NamesRegisters = 64;
inline constexpr int kK100ModbusSlots = 8;
// The most points one slot page shows.
inline constexpr int kK100SlotPoints = 16;

enum class K100ModuleKind { Digital, Counter, AnalogInput, AnalogOutput, Unknown };

// What the panel knows of a module type code: a name to show when the name block
// gives none, what kind of data it has, and which of its points are outputs.
struct K100ModuleType {
    std::uint8_t code;
    const char* name;
    K100ModuleKind kind;
    std::uint16_t outputs; // bit n: point n is an output
    int channels;          // register channels (analog and counter modules)
};
// The entry for `code`; codes nobody knows come back as kind Unknown.
K100ModuleType K100ModuleTypeFor(std::uint8_t code);

struct K100ModbusSlot {
    std::uint8_t type = 0xFF;
    int start = 0; // shown start address (see K100ShownAddress)
    int end = 0;
    std::string name;
};

struct K100ModbusRack {
    int slotCount = 0;
    std::string firmware;
    int counterFlag = 0;
    std::array<K100ModbusSlot, kK100ModbusSlots> modules{};
};

// A 16-bit start or end value as shown: above 30000 it is a register reference
// ((value mod 10000) + 400000), otherwise a coil reference as it is.
int K100ShownAddress(unsigned value);
// "%06d".
std::string K100AddressText(int address);

// Reads the identification block; false (rack unchanged) when it is shorter than
// 60 bytes or its first two bytes name neither rack.
bool DecodeK100Identification(const std::vector<std::uint8_t>& block, K100ModbusRack& rack);
// Reads the name block into the slots; false when it is shorter than 128 bytes.
// Names end at the first NUL; characters that cannot be shown become '?'.
bool DecodeK100Names(const std::vector<std::uint8_t>& block, K100ModbusRack& rack);

// What one poll of a slot reads.
struct K100SlotPoll {
    enum class Read { Nothing, Coils, Registers };
    Read read = Read::Nothing;
    int reference = 0; // one-based, as TavoModbusCOM takes it
    int count = 0;
};
// 0 < start < 400000: coils at start mod 100000; above 400000: registers at
// start mod 100000; the count is end - start + 1. A count the request cannot
// carry (coils 1..2000, registers 1..125) reads nothing.
K100SlotPoll K100PollFor(const K100ModbusSlot& slot);

// Register data as 16-bit words (high byte first in `bytes`).
std::vector<std::uint16_t> K100Words(const std::vector<std::uint8_t>& bytes);

// The text of value row `row` of a register slot: analog inputs in percent of
// their range's full scale ("+10.00 %"), analog outputs (type 18) in mA or V
// ("12.500"), counters as 32-bit counts (rows 0-3), everything else as a number;
// in hex view "%04X" per register ("%08X" for counts). Empty when the words do
// not reach that row.
std::string K100ValueText(std::uint8_t type, int row, const std::vector<std::uint16_t>& words,
                          bool hex);
// The numbers behind those texts: an analog input register as percent of its
// range's full scale (two's complement over 7FFF), an analog output register in mA
// or V (thousandths), and a counter channel's count from its high and low word.
double K100InputPercent(std::uint16_t word);
double K100OutputValue(std::uint16_t word);
unsigned long K100Count(std::uint16_t high, std::uint16_t low);
// How many value rows a register slot of `type` shows for `count` registers.
int K100ValueRows(std::uint8_t type, int count);
// The register behind value row `row` (counters: the high word of the count).
int K100ValueRegister(std::uint8_t type, int row);

// An output value typed into a value row: a number in mA or V ("%f", written in
// thousandths) or, in hex view, up to four hex digits. nullopt when the text is
// not one or does not fit 16 bits.
std::optional<std::uint16_t> K100OutputWord(std::string_view text, bool hex);

// A counter channel's state.
struct K100CounterState {
    bool counting = false;
    bool overflow = false;
};
// From the status words (registers 8-11 of the slot) when the counter flag is 0.
std::optional<K100CounterState> K100CounterFromRegisters(const std::vector<std::uint16_t>& words,
                                                         int channel);
// From the 16 status coils (two bytes) when the counter flag is 1: channel k uses
// bits 4 (k mod 2) (counting) and 4 (k mod 2) + 2 (overflow) of byte k div 2.
std::optional<K100CounterState> K100CounterFromCoils(const std::vector<std::uint8_t>& bytes,
                                                     int channel);

// Where a counter control goes. Counter flag 0: register start + 12 + channel
// takes 0 stop, 1 start, 2 clear, 3 clear overflow. Counter flag 1: coil
// slot * 16 + 1 + 4 channel is counting, + 1 clears the count (write on), + 2 is
// the overflow (write off to clear it).
enum class K100CounterAction { Stop, Start, Clear, ClearOverflow };
struct K100CounterWrite {
    bool coil = false;
    int reference = 0;
    int value = 0; // register value, or 1/0 for a coil
};
K100CounterWrite K100CounterControl(int counterFlag, int slot, int slotReference, int channel,
                                    K100CounterAction action);

} // namespace tavo
