// The K100 rack controller's Modbus address map as its panel edits it: per slot a
// reference type ("0X" coils or "4X" registers), a start address and a length;
// the length lists and the codes the controller stores; Auto Scan, the push of the
// following slots when a length grows, the checks of Apply, and the map file
// "K100_Modbus.cfg". Plain C++ without Qt, so the file reader can be fuzzed.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavo {

inline constexpr int kK100MapSlots = 8;
// Reference-type indices of the selectors.
inline constexpr int kRef0X = 0;
inline constexpr int kRef4X = 1;
// The largest start the start field and the map file take (the controller
// stores four hexadecimal digits).
inline constexpr int kK100MaxStart = 65535;

// What the slot table says a slot holds, as far as the map is concerned.
enum class K100SlotKind { None, Digital, Counter };

// The length list of a reference type: "0", "8", "16", "32", "64" for 0X and
// "0", "1", "2", "4", "8", "16" for 4X (empty for any other type).
const std::vector<std::string>& K100LengthItems(int type);
// Points or registers a length index stands for: 0X 1..4 -> 8, 16, 32, 64; 4X
// 1..5 -> 1, 2, 4, 8, 16; anything else 0.
int K100LengthUnits(int type, int index);
// The length code the controller stores: 0X index i > 0 -> i + 3, 4X index i -> i,
// index 0 -> 0 (code c stands for 2^(c-1) units).
int K100LengthCode(int type, int index);
// The index a stored code selects: 0X c > 3 -> c - 3, 0 -> 0; 4X c <= 5 -> c;
// nullopt for a code the list cannot show (the selector keeps its choice).
std::optional<int> K100LengthIndexForCode(int type, int code);
// "0X", "4X", or " " for no type.
std::string K100AddressHead(int type);

// One row of the map as the panel shows it.
struct K100MapRow {
    int type = kRef0X; // reference-type index, -1 when the selector is empty
    std::string start; // the start field's text
    int length = 0;    // length index, -1 when the selector is empty
    std::string head;  // the head field: "0X", "4X" or " "
};
using K100Map = std::array<K100MapRow, kK100MapSlots>;

// The start field's number: digits only, at most 65535; nullopt otherwise.
std::optional<int> K100StartValue(std::string_view text);
// "%05d".
std::string K100StartText(int start);

// What a map entry read from the controller ($AAPN) does to a row: a stored
// start below 20000 selects 0X, one between 30000 and 50000 4X, anything else
// keeps the type; the length index follows the code; the start field shows the
// stored start (below 20000) or its last four digits.
void K100ShowStoredEntry(K100MapRow& row, int storedStart, int lengthCode);

// Auto Scan: digital slots get coils and counters registers from 1 upward, each
// as long as its default length (8 or 16); other slots no references.
void K100AutoScan(K100Map& map, const std::array<K100SlotKind, kK100MapSlots>& kinds,
                  const std::array<int, kK100MapSlots>& defaultLengths, int slotCount);

// After slot k's length changed: the later slots of the same type whose start
// lies below the end of the one before them move up to the next start of the
// form 8n + 1. Nothing else changes.
void K100PushFollowingStarts(K100Map& map, int k);

// One entry Apply sends: "#AAPN" + slot + "FF" + "%04X" start + "%X" code.
struct K100MapWrite {
    int slot = 0;
    int start = 0; // as stored: 4X starts carry 40000
    int code = 0;
};
// Apply's checks, all of them before anything is sent, so that a map that cannot
// be written never leaves the controller half-changed. Rows with no length and a
// start other than zero get the start "00000" (in `map`, even when a later check
// fails). On success `writes` holds one entry per slot below `slotCount`; else
// `error` holds the message to show.
struct K100ApplyPlan {
    std::string error;
    std::vector<K100MapWrite> writes;
};
K100ApplyPlan K100PlanApply(K100Map& map, const std::array<K100SlotKind, kK100MapSlots>& kinds,
                            int slotCount);

// The map file: eight "Slot: %d, Ref. Type: %d, S. Addr: %d, Length: %d" lines
// (always eight, also for a four-slot controller), three empty lines, then eight
// lines naming each slot's first and last reference ("%06d", 4X with 400000
// added). Lines end in CR LF.
std::string K100MapFileText(const K100Map& map);

// What a map file's "Slot:" lines hold.
struct K100MapFileSlot {
    int type = 0;
    int start = 0;
    int length = 0;
};
struct K100MapFile {
    std::array<K100MapFileSlot, kK100MapSlots> rows{};
    std::string error; // empty when the file was read
};
// Reads the eight "Slot:" lines; everything after them is ignored. A missing or
// garbled line, a slot number out of order, a type or length the lists do not
// have, or a start that is not a number from 0 to 65535 is refused with the line
// named in `error`.
K100MapFile ParseK100MapFile(std::string_view text);

} // namespace tavo
