// Slot modules of the simulated rack controllers (K100 family, Z350 family): what
// each answers behind the controller's address and its slot selector, and what it
// shows on the rack's Modbus side.
//
// Reply layouts (AA is the controller's address; c a channel, one decimal digit):
//   $AAS{s}B, $AAS{s}C{c}B          !AA{TT}{FF}
//   #AAS{s}                         >{one field per channel}
//   #AAS{s}C{c}                     >{field}
//     analog input field: engineering units, sign and 7 characters ("+012.345",
//     "+1370.00"), percent of range "%+08.3f", two's complement "%04X" of
//     value / full scale * 7FFF
//     counter field: "%010u", or "%08X" with format 02; frequency mode gives
//     hundredths of a hertz
//   $AAS{s}6 (analog input)         !AA{enable mask "%02X"}
//   $AAS{s}6 (digital)              !AA{state "%04X"}: bit n = point n
//   $AAS{s}6 (Z-series I/O)         !AA{outputs "%02X"}{inputs "%02X"}
//   $AAS{s}3                        >{cold-junction temperature "%+07.2f"}
//   $AAAV0{s}FF                     !AA {cold junction "%+08.3f"} {CJC offset "%+08.3f"}
//   $AAS{s}C{c}A{x}                 !AA{M|L|D}
//   $AAS{s}C{c}R{x}U                !AA{limit as written}
//   $AAS{s}C{c}R{x}C                !AAS{slot}C{output}, "!AAS*C*" when not mapped
//   $AAS{s}C{c}S                    !AA{high 0|1}{low 0|1}
//   $AAS{s}C{c}6 (analog output)    !AA{"%06.3f"}
//   $AAS{s}7 (digital), M, $AAXS{s} !AA{mask "%04X"}
//   $AAS{s}7 (counter)              !AA{overflow mask "%02X"}
//   $AAS{s}0 (counter)              !AA{filter scale "%05d"}
//   $AAS{s}C{c}5, @AAS{s}C{c}G      !AA{0|1}, !AA{preset "%010u"}
//   $AAS{s}C{c}AI, AO (Z-series)    !AA{TT}00
// Values are fixed per channel (channel c sits at 10 % + c * 10 % of its range), so
// that a test knows what it reads, unless the slot's inputs are set (SetInputs: a
// level, or a cycle of levels each held a while; "open=HH" on an analog input slot
// marks the channels whose sensor is open, which read "+888888"); counters count
// (c + 1) * 10 per second.
#pragma once

#include "module.h"
#include "rack_access.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavo::sim {

class Rack;

// How a slot's data appears on the rack's Modbus side.
enum class MapKind { None, Coils, Registers };

class SimSlot {
public:
    SimSlot(std::string name, std::string code) : name_(std::move(name)), code_(std::move(code)) {}
    virtual ~SimSlot() = default;
    SimSlot(const SimSlot&) = delete;
    SimSlot& operator=(const SimSlot&) = delete;

    // The module name ("K220", "K230P") and its code in the slot table ("22", "AI").
    const std::string& name() const { return name_; }
    const std::string& code() const { return code_; }
    virtual std::string Description() const = 0;
    virtual int ChannelCount() const = 0;

    // A command addressed to this slot: `rest` is what follows the selector. Returns
    // the reply (m.Ok(...), ">...", m.Refuse()).
    virtual std::string Ascii(SimModule& m, Rack& rack, char lead, std::string_view rest) = 0;
    // $AAAV0{s}FF; only slots with a cold junction answer it.
    virtual std::optional<std::string> ReadAV(SimModule&) { return std::nullopt; }
    virtual void Advance(Rack&, TimePoint) {}

    // What the input terminals see from `start` on: digital slots take a mask
    // ("00FF") or a cycle of masks each held a number of milliseconds
    // ("0001/200,0002/200"), analog input slots a value in engineering units for
    // every channel ("2.5") or a cycle of values ("1/500,9/500"). False, with the
    // reason in `why`, for a text the slot cannot take.
    virtual bool SetInputs(std::string_view text, TimePoint start, std::string& why) {
        (void)text, (void)start;
        why = name_ + " has no inputs to set";
        return false;
    }

    // Digital outputs, for alarm mappings and the watchdog (channel numbering as the
    // slot's own output commands use it).
    virtual bool IsOutput(int /*channel*/) const { return false; }
    virtual void DriveOutput(int /*channel*/, bool /*on*/) {}
    // The controller's communication watchdog ran out: outputs go to their safe
    // state (digital slots: the watchdog output mask; analog outputs: their
    // start-up values).
    virtual void WatchdogExpired() {}
    // $AAXS{s} and $AAXS{s}D{hhhh} (watchdog output mask); digital slots only.
    virtual std::optional<std::string> Watchdog(SimModule&, std::string_view) {
        return std::nullopt;
    }
    // Alarm mappings this slot owns: adds the outputs of `slot` it drives to `mask`.
    virtual void CollectMappings(int /*slot*/, std::uint16_t& /*mask*/) const {}

    // Modbus view: type code in the identification block, default map entry
    // (kind and length code), and the data points.
    virtual std::uint8_t ModbusType() const { return 0x00; }
    virtual MapKind DefaultMapKind() const { return MapKind::None; }
    virtual int DefaultLengthCode() const { return 0; }
    virtual std::optional<bool> Coil(int /*index*/) { return std::nullopt; }
    virtual bool WriteCoil(int /*index*/, bool /*on*/) { return false; }
    virtual std::optional<std::uint16_t> Register(int /*index*/) { return std::nullopt; }
    // 0 on success, else the Modbus exception code.
    virtual std::uint8_t WriteRegister(int /*index*/, std::uint16_t /*value*/) { return 0x02; }

protected:
    std::string name_;
    std::string code_;
};

// The slots of one controller, in slot order (null for an empty slot).
class Rack {
public:
    std::vector<std::unique_ptr<SimSlot>> slots;
    SimSlot* At(int i) {
        return i >= 0 && i < static_cast<int>(slots.size())
                   ? slots[static_cast<std::size_t>(i)].get()
                   : nullptr;
    }
    // Outputs of `slot` that analog alarms drive (bit n = output channel n): the
    // host may not switch those.
    std::uint16_t AlarmMask(int slot);
    // Slots pulled out of the rack (bit n = slot n): they answer nothing.
    unsigned pulled = 0;
    bool Pulled(int i) const { return i >= 0 && i < 32 && (pulled >> i & 1); }
};

// Builds the slot module for one entry of the `slots=` option: a designation, a
// generic analog input name with an optional channel count ("K230P:7"), or "-" for
// an empty slot (null). `zseries` selects the Z310/Z320 family.
std::unique_ptr<SimSlot> MakeSlot(const std::string& entry, bool zseries);

} // namespace tavo::sim
