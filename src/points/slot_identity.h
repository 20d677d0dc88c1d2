// Which module sits in a rack's slot, asked of the rack: what `tavo read --slot N`
// needs before it knows the slot's points.
#pragma once

#include "module_points.h"

#include <optional>
#include <string>
#include <vector>

namespace tavo {

class TavoComPort;

struct SlotIdentity {
    std::string rack;        // the rack's designation ("K100E", "Z352", "K100EM")
    int slots = 0;           // how many slots it holds
    std::string designation; // as the search's slot node shows it ("K220", "K230P", "Z320")
    // What MakeModulePoints takes for the slot: the designation, or "K0AI" for a
    // generic analog input slot whose own name no family here knows.
    std::string model;
};

// Why IdentifySlot found no module.
enum class SlotLookup {
    Found,
    NoAnswer,    // the rack did not answer (or not whole)
    NotARack,    // the module at that address is no rack
    OutsideRack, // the rack has no such slot
    Empty,       // the slot is empty
};

// Reads over `port` (open, line settings and time-out set) which module sits in
// slot `where.slot` of the rack at `where.address`, the way the search reads its
// slot nodes: ASCII racks name themselves ($AAM: K100 and K100E, Z351 and Z352)
// and their slots in the slot table ($AAT), a generic analog input slot by its own
// name ($AASiN); a rack speaking Modbus (K100M, K100EM) in its identification and
// name blocks, as its panel reads them. The checksum switch is set from
// `where.protocol`. nullopt with the reason in `why` and one line in `error`.
std::optional<SlotIdentity> IdentifySlot(TavoComPort& port, const ModuleLocation& where,
                                         SlotLookup& why, std::string& error);

struct RackSlot {
    int slot = 0;
    SlotIdentity module;
};
// Every module in the slots of the rack speaking Modbus (K100M, K100EM) at `address`,
// read as IdentifySlot reads one, in two requests (identification and name block):
// the slots in order, empty ones left out. nullopt with one line in `error` when the
// rack did not answer or is none.
std::optional<std::vector<RackSlot>> IdentifyModbusRackSlots(TavoComPort& port, int address,
                                                             std::string& error);

} // namespace tavo
