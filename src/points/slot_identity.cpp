#include "slot_identity.h"

#include "families.h"
#include "k100_modbus.h"

#include "devices/k_series.h"
#include "devices/z_series.h"
#include "transport/modbus.h"

#include <cstdio>
#include <memory>

namespace tavo {
namespace {

std::optional<SlotIdentity> Fail(SlotLookup kind, std::string text, SlotLookup& why,
                                 std::string& error) {
    why = kind;
    error = std::move(text);
    return std::nullopt;
}

std::string OutsideText(const ModuleLocation& where, const std::string& rack, int slots) {
    return "slot " + std::to_string(where.slot) + " is outside the " + rack + " at " +
           LocationText({where.address, -1, where.protocol}) + " (slots 0 to " +
           std::to_string(slots - 1) + ")";
}

// The model the points take for a slot the rack names `designation`.
std::string PointsModel(const std::string& designation, bool generic, const ModuleLocation& where) {
    if (!generic || MakeSlotPoints(designation, where).points) return designation;
    return "K0AI";
}

std::optional<SlotIdentity> AsciiSlot(TavoComPort& port, const ModuleLocation& where,
                                      SlotLookup& why, std::string& error) {
    port.SetCheckSum(where.protocol == PointProtocol::AsciiChecksum);
    const std::string address = LocationText({where.address, -1, where.protocol});
    TavoRBase probe(&port, address);
    std::string name;
    if (!probe.ReadModuleName(name))
        return Fail(SlotLookup::NoAnswer, "the module at " + address + " did not answer", why, error);
    SlotIdentity id;
    id.rack = name;
    const bool k = name.rfind("K100", 0) == 0;
    const bool z = name == "Z351" || name == "Z352";
    if (!k && !z)
        return Fail(SlotLookup::NotARack,
                    "the module at " + address + " (" + name + ") is no rack: it has no slots", why,
                    error);
    id.slots = k ? TavoMK100::SlotCountFor(name) : ZelMZ350::SlotCountFor(name);
    if (where.slot < 0 || where.slot >= id.slots)
        return Fail(SlotLookup::OutsideRack, OutsideText(where, name, id.slots), why, error);

    std::unique_ptr<TavoRackController> rack;
    TavoMK100* k100 = nullptr;
    if (k) {
        auto owned = std::make_unique<TavoMK100>(&port, address);
        k100 = owned.get();
        rack = std::move(owned);
    } else {
        rack = std::make_unique<ZelMZ350>(&port, address);
    }
    std::string table;
    if (!rack->ReadSlotTable(table))
        return Fail(SlotLookup::NoAnswer,
                    "the " + name + " at " + address + " did not answer the read of its slot table",
                    why, error);
    std::string code;
    if (!rack->GetSlotCode(where.slot, code))
        return Fail(SlotLookup::OutsideRack, OutsideText(where, name, static_cast<int>(table.size() / 2)),
                    why, error);
    if (code == "FF")
        return Fail(SlotLookup::Empty,
                    "slot " + std::to_string(where.slot) + " of the " + name + " at " + address +
                        " is empty",
                    why, error);
    bool generic = false;
    if (k100 ? !k100->ReadSlotNodeDesignation(where.slot, id.designation, &generic)
             : !static_cast<ZelMZ350&>(*rack).GetSlotDesignation(where.slot, id.designation))
        return Fail(SlotLookup::NoAnswer,
                    "slot " + std::to_string(where.slot) + " of the " + name + " at " + address +
                        " did not tell its module",
                    why, error);
    id.model = PointsModel(id.designation, generic, where);
    return id;
}

// Reads the identification block of the rack speaking Modbus at `where.address`.
bool ReadModbusRack(TavoModbusCOM& modbus, const ModuleLocation& where, K100ModbusRack& rack,
                    SlotLookup& why, std::string& error) {
    const std::string address = LocationText({where.address, -1, where.protocol});
    std::vector<std::uint8_t> block;
    if (!modbus.ReadHoldingRegisters(where.address, kK100IdentFirst, kK100IdentRegisters) ||
        !modbus.ReadResponse(block)) {
        if (modbus.LastException()) {
            Fail(SlotLookup::NotARack,
                 "the module at " + address + " has no rack identification block (Modbus exception " +
                     std::to_string(modbus.LastException()) + ")",
                 why, error);
            return false;
        }
        Fail(SlotLookup::NoAnswer, "the module at " + address + " did not answer", why, error);
        return false;
    }
    if (!DecodeK100Identification(block, rack)) {
        Fail(SlotLookup::NotARack, "the module at " + address + " is no K100M or K100EM rack", why, error);
        return false;
    }
    return true;
}

// The name block names the modules as the panel lists them; the type table stands in
// for a name the rack leaves empty.
void ReadModbusNames(TavoModbusCOM& modbus, int address, K100ModbusRack& rack) {
    std::vector<std::uint8_t> block;
    if (modbus.ReadHoldingRegisters(address, kK100NamesFirst, kK100NamesRegisters) &&
        modbus.ReadResponse(block))
        DecodeK100Names(block, rack);
}

std::string ModbusRackName(const K100ModbusRack& rack) { return rack.slotCount == 8 ? "K100EM" : "K100M"; }

// The module of a slot that is not empty, once the name block has been read.
SlotIdentity ModbusSlotIdentity(const K100ModbusRack& rack, const ModuleLocation& where) {
    const K100ModbusSlot& slot = rack.modules[static_cast<std::size_t>(where.slot)];
    SlotIdentity id;
    id.rack = ModbusRackName(rack);
    id.slots = rack.slotCount;
    const K100ModuleType type = K100ModuleTypeFor(slot.type);
    id.designation = !slot.name.empty() ? slot.name : type.name;
    if (id.designation.empty()) {
        char code[8];
        std::snprintf(code, sizeof code, "%02X", slot.type);
        id.designation = "type " + std::string(code);
    }
    // The type code decides the points; a generic input's name may name a model of
    // its own.
    if (std::string_view(type.name) == "K0AI")
        id.model = PointsModel(id.designation, true, where);
    else
        id.model = *type.name ? type.name : id.designation;
    return id;
}

std::optional<SlotIdentity> ModbusSlot(TavoComPort& port, const ModuleLocation& where,
                                       SlotLookup& why, std::string& error) {
    const std::string address = LocationText({where.address, -1, where.protocol});
    TavoModbusCOM modbus(&port);
    K100ModbusRack rack;
    if (!ReadModbusRack(modbus, where, rack, why, error)) return std::nullopt;
    const std::string name = ModbusRackName(rack);
    if (where.slot < 0 || where.slot >= rack.slotCount)
        return Fail(SlotLookup::OutsideRack, OutsideText(where, name, rack.slotCount), why, error);
    if (rack.modules[static_cast<std::size_t>(where.slot)].type == 0xFF)
        return Fail(SlotLookup::Empty,
                    "slot " + std::to_string(where.slot) + " of the " + name + " at " + address +
                        " is empty",
                    why, error);
    ReadModbusNames(modbus, where.address, rack);
    return ModbusSlotIdentity(rack, where);
}

} // namespace

std::optional<SlotIdentity> IdentifySlot(TavoComPort& port, const ModuleLocation& where,
                                         SlotLookup& why, std::string& error) {
    why = SlotLookup::Found;
    if (where.protocol == PointProtocol::Modbus) return ModbusSlot(port, where, why, error);
    return AsciiSlot(port, where, why, error);
}

std::optional<std::vector<RackSlot>> IdentifyModbusRackSlots(TavoComPort& port, int address,
                                                             std::string& error) {
    const ModuleLocation rackAt{address, -1, PointProtocol::Modbus};
    TavoModbusCOM modbus(&port);
    K100ModbusRack rack;
    SlotLookup why = SlotLookup::Found;
    if (!ReadModbusRack(modbus, rackAt, rack, why, error)) return std::nullopt;
    ReadModbusNames(modbus, address, rack);
    std::vector<RackSlot> slots;
    for (int i = 0; i < rack.slotCount; ++i) {
        if (rack.modules[static_cast<std::size_t>(i)].type == 0xFF) continue;
        slots.push_back({i, ModbusSlotIdentity(rack, {address, i, PointProtocol::Modbus})});
    }
    return slots;
}

} // namespace tavo
