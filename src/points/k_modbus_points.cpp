// The slots of a rack that speaks Modbus RTU (K100M, K100EM), read as its panel reads
// them: the identification block (holding registers 10001-10038) gives each slot's
// module type and its start and end in the active address map, and the slot's data
// is one read of its coils (0X references) or registers (4X).
#include "slot_points.h"

#include "k100_modbus.h"
#include "k_slot_data.h"
#include "point_text.h"

#include "transport/modbus.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

namespace tavo {
namespace {

// A slot's values on the rack's Modbus side, by the module type the identification
// block gives:
//   digital    coil n is point n (channel numbering of the ASCII side); a slot mapped
//              to registers carries all its points as the mask in its first register.
//              A K510's channels are inputs or outputs as its type says (0-7 out).
//   analog in  register n is channel n as a two's complement share of the range's
//              full scale, in % (the panel's rule); 7FFF and 8000 are the ends of
//              that format: over- and under-range.
//   K310       register n is output n in thousandths of its unit (mA or V: the rack
//              does not say which), written the same way.
//   K710       registers 2n, 2n + 1 are counter n's high and low word. The rack does
//              not say the counter's mode: the four values read as cnt0..cnt3, as the
//              panel shows them, and freq0..freq3 read disabled.
// Points the map does not carry (a length shorter than the module's points, or no
// references at all) read Failed, and Notice() says why.
class KModbusSlotPoints final : public ModulePoints {
public:
    KModbusSlotPoints(std::string model, const ModuleLocation& where)
        : ModulePoints(model, where, SlotModelPoints(model)) {
        for (int i = 0; i < Count(); ++i) {
            PointInfo& info = Info(i);
            if (info.kind == PointKind::AnalogInput) {
                info.unit = "%";
                info.min = -100;
                info.max = 100;
                info.decimals = 2;
            } else if (info.kind == PointKind::AnalogOutput) {
                info.min = 0;
                info.max = 20;
            }
        }
    }

private:
    static constexpr int kIdentBytes = 2 * kK100IdentRegisters;
    // The most coils a slot's points reach (64 for an eight-slot rack's longest 0X map).
    static constexpr int kCoils = 64;

    struct Layout {
        bool coils = false;
        int reference = 0; // one-based
        int count = 0;     // coils or registers the map gives the slot
    };

    int Count() const { return static_cast<int>(Points().size()); }
    int Slave() const { return Location().address; }
    int Slot() const { return Location().slot; }
    std::string Where() const { return "slot " + std::to_string(Slot()) + " of the rack at " + AddressText(); }

    // ---- what the exchanges say

    bool Take(const PortExchange& exchange) override {
        if (!exchange.modbus) return false;
        const std::string& request = exchange.request;
        if (request.size() < 2 || static_cast<std::uint8_t>(request[0]) != Slave()) return false;
        const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(request[i]); };
        const std::uint8_t function = byte(1);
        const bool coils = function == 0x01;
        const bool registers = function == 0x03 || function == 0x20;
        if ((!coils && !registers) || request.size() < 6) return true; // writes: read back later
        const int first = (byte(2) << 8 | byte(3)) + 1;
        const int count = byte(4) << 8 | byte(5);
        const std::string& reply = exchange.reply;
        const std::size_t bytes = coils ? (static_cast<std::size_t>(count) + 7) / 8
                                        : 2 * static_cast<std::size_t>(count);
        const bool whole = exchange.ok && count > 0 && reply.size() == 3 + bytes &&
                           static_cast<std::uint8_t>(reply[0]) == Slave() &&
                           static_cast<std::uint8_t>(reply[1]) == function &&
                           static_cast<std::uint8_t>(reply[2]) == bytes;
        const auto at = [&](std::size_t i) { return static_cast<std::uint8_t>(reply[3 + i]); };
        if (registers && whole) TakeIdentification(first, count, at);
        TakeSlotData(coils, first, count, whole, at);
        return true;
    }

    // Only a whole answer changes what is known of the rack.
    template <class At> void TakeIdentification(int first, int count, At at) {
        bool any = false;
        for (int r = std::max(first, kK100IdentFirst);
             r < std::min(first + count, kK100IdentFirst + kK100IdentRegisters); ++r) {
            const auto i = static_cast<std::size_t>(r - kK100IdentFirst);
            const auto from = static_cast<std::size_t>(r - first);
            ident_[2 * i] = at(2 * from);
            ident_[2 * i + 1] = at(2 * from + 1);
            identSeen_[i] = true;
            any = true;
        }
        if (any) DecodeIdentification();
    }

    void DecodeIdentification() {
        // DecodeK100Identification reads bytes 0 to 59 (registers 10001 to 10030).
        for (int i = 0; i < 30; ++i)
            if (!identSeen_[static_cast<std::size_t>(i)]) return;
        K100ModbusRack rack;
        known_ = true;
        problem_ = false;
        layout_.reset();
        if (!DecodeK100Identification(std::vector<std::uint8_t>(ident_.begin(), ident_.end()), rack)) {
            Problem("the module at " + AddressText() +
                    " is no K100M or K100EM rack: its identification block names neither");
            return;
        }
        const K100ModbusSlot& s = rack.modules[static_cast<std::size_t>(Slot())];
        const K100ModuleType type = K100ModuleTypeFor(s.type);
        if (Slot() >= rack.slotCount) {
            Problem("slot " + std::to_string(Slot()) + " is outside the " +
                    (rack.slotCount == 8 ? "K100EM" : "K100M") + " at " + AddressText() +
                    " (slots 0 to " + std::to_string(rack.slotCount - 1) + ")");
            return;
        }
        if (s.type == 0xFF) {
            Problem(Where() + " is empty");
            return;
        }
        const bool generic = Model() == "K0AI" || Model() == "K230P";
        const bool fits = std::string_view(type.name) == Model() ||
                          (generic && std::string_view(type.name) == "K0AI");
        if (!fits) {
            char code[8];
            std::snprintf(code, sizeof code, "%02X", s.type);
            Problem(Where() + " holds a " + (*type.name ? std::string(type.name) : "module of type " + std::string(code)) +
                    ", not a " + Model());
            return;
        }
        kind_ = type.kind;
        outputs_ = type.outputs;
        const K100SlotPoll poll = K100PollFor(s);
        if (poll.read == K100SlotPoll::Read::Nothing) {
            Problem("the rack's Modbus address map gives " + Where() + " no references");
            return;
        }
        const bool coils = poll.read == K100SlotPoll::Read::Coils;
        if (coils && kind_ != K100ModuleKind::Digital) {
            Problem("the rack's Modbus address map gives the " + Model() + " in " + Where() +
                    " coils, where its values are registers");
            return;
        }
        if (!layout_ || layout_->coils != coils || layout_->reference != poll.reference)
            seen_ = {}; // what was read of the slot belonged to another place
        layout_ = Layout{coils, poll.reference, poll.count};
        int carried = 0;
        for (int i = 0; i < Count(); ++i)
            carried += Carried(i) ? 1 : 0;
        SetNotice(carried == Count() ? std::string()
                                     : "the rack's Modbus address map carries " +
                                           std::to_string(carried) + " of the " +
                                           std::to_string(Count()) + " points of " + Where());
    }

    void Problem(std::string why) {
        problem_ = true;
        SetNotice(std::move(why));
        for (int i = 0; i < Count(); ++i)
            SetBad(i, PointQuality::Failed);
    }

    // Where point i's value sits in the slot's data: coil or register index, and for
    // a count the second register.
    int Source(int i) const {
        const PointInfo& info = Points()[static_cast<std::size_t>(i)];
        const int channel = PointChannel(info);
        if (IsDigital(info.kind)) return layout_->coils ? channel : 0;
        if (info.kind == PointKind::Counter || info.kind == PointKind::Frequency) return 2 * channel + 1;
        return channel;
    }

    bool Carried(int i) const {
        if (!layout_) return false;
        const int source = Source(i);
        return source < layout_->count && source < (layout_->coils ? kCoils : kK100SlotPoints);
    }

    template <class At>
    void TakeSlotData(bool coils, int first, int count, bool whole, At at) {
        if (!layout_ || problem_ || layout_->coils != coils) return;
        const int tracked = coils ? kCoils : kK100SlotPoints;
        const int from = std::max(first, layout_->reference);
        const int to = std::min({first + count, layout_->reference + layout_->count,
                                 layout_->reference + tracked});
        if (from >= to) return;
        std::uint64_t touched = 0;
        for (int r = from; r < to; ++r) {
            const int index = r - layout_->reference;
            touched |= 1ull << index;
            const int offset = r - first;
            if (!whole) continue;
            if (coils)
                values_[static_cast<std::size_t>(index)] =
                    (at(static_cast<std::size_t>(offset / 8)) >> (offset % 8)) & 1;
            else
                values_[static_cast<std::size_t>(index)] = static_cast<std::uint16_t>(
                    at(2 * static_cast<std::size_t>(offset)) << 8 |
                    at(2 * static_cast<std::size_t>(offset) + 1));
        }
        if (whole)
            seen_ |= touched;
        else
            seen_ &= ~touched;
        Evaluate(touched);
    }

    void Evaluate(std::uint64_t touched) {
        for (int i = 0; i < Count(); ++i) {
            const PointInfo& info = Points()[static_cast<std::size_t>(i)];
            const int source = Source(i);
            const bool pair = info.kind == PointKind::Counter || info.kind == PointKind::Frequency;
            const std::uint64_t needs = (1ull << source) | (pair ? 1ull << (source - 1) : 0);
            if (!Carried(i)) {
                SetBad(i, PointQuality::Failed);
                continue;
            }
            if (!(touched & needs)) continue;
            if ((seen_ & needs) != needs) {
                SetBad(i, PointQuality::Failed);
                continue;
            }
            const auto v = [&](int k) { return values_[static_cast<std::size_t>(k)]; };
            switch (info.kind) {
            case PointKind::DigitalInput:
            case PointKind::DigitalOutput: {
                const int channel = PointChannel(info);
                const bool output = (outputs_ >> channel) & 1;
                if (output != (info.kind == PointKind::DigitalOutput))
                    SetBad(i, PointQuality::Disabled);
                else
                    SetGood(i, layout_->coils ? v(source) : (v(0) >> channel) & 1);
                break;
            }
            case PointKind::AnalogInput: {
                const auto word = v(source);
                if (word == 0x7FFF)
                    SetBad(i, PointQuality::OverRange);
                else if (word == 0x8000)
                    SetBad(i, PointQuality::UnderRange);
                else
                    SetGood(i, K100InputPercent(word));
                break;
            }
            case PointKind::AnalogOutput:
                SetGood(i, K100OutputValue(v(source)));
                break;
            case PointKind::Counter:
                SetGood(i, static_cast<double>(K100Count(v(source - 1), v(source))));
                break;
            case PointKind::Frequency:
                SetBad(i, PointQuality::Disabled);
                break;
            }
        }
    }

    // ---- the requests

    bool ConfigurationKnown() const override { return known_ && !problem_ && layout_; }

    void ReadConfiguration(TavoComPort& port) override {
        TavoModbusCOM modbus(&port);
        std::vector<std::uint8_t> data;
        if (modbus.ReadHoldingRegisters(Slave(), kK100IdentFirst, kK100IdentRegisters))
            modbus.ReadResponse(data);
    }

    void ReadValues(TavoComPort& port) override {
        if (!layout_ || problem_) return;
        ReadSlot(port);
    }

    bool ReadSlot(TavoComPort& port) {
        TavoModbusCOM modbus(&port);
        std::vector<std::uint8_t> data;
        const bool sent = layout_->coils
                              ? modbus.ReadCoils(Slave(), layout_->reference, layout_->count)
                              : modbus.ReadHoldingRegisters(Slave(), layout_->reference, layout_->count);
        return sent && modbus.ReadResponse(data);
    }

    bool WritePoint(TavoComPort& port, int index, double value, std::string& error) override {
        if (!ConfigurationKnown()) ReadConfiguration(port);
        const PointInfo& info = Points()[static_cast<std::size_t>(index)];
        if (!ConfigurationKnown() || !layout_) {
            error = !Notice().empty() ? Notice()
                                      : "the rack at " + AddressText() +
                                            " did not answer the read of its identification block";
            return false;
        }
        if (!Carried(index)) {
            error = info.name + " is not in the rack's Modbus address map: " + Notice();
            return false;
        }
        const int channel = PointChannel(info);
        TavoModbusCOM modbus(&port);
        bool sent = false;
        if (info.kind == PointKind::DigitalOutput) {
            if (!((outputs_ >> channel) & 1)) {
                error = info.name + " of the " + Model() + " in " + Where() + " is an input";
                return false;
            }
            const bool on = value != 0.0;
            if (layout_->coils) {
                sent = modbus.WriteSingleCoil(Slave(), layout_->reference + channel, on) &&
                       modbus.WriteResponse();
            } else {
                // The points are one mask register: written whole with this point
                // changed, as the panel writes it from the last state it read.
                if (!(seen_ & 1) && !ReadSlot(port)) {
                    error = "the rack at " + AddressText() + " did not answer the read of " +
                            info.name + "'s register";
                    return false;
                }
                const unsigned mask = on ? values_[0] | 1u << channel : values_[0] & ~(1u << channel);
                sent = modbus.WriteSingleRegister(Slave(), layout_->reference, static_cast<int>(mask & 0xFFFF)) &&
                       modbus.WriteResponse();
            }
        } else {
            const auto word = K100OutputWord(FormatPointNumber(value, 3), false);
            if (!word) {
                error = FormatPointNumber(value, 9) + " is no value for " + info.name;
                return false;
            }
            sent = modbus.WriteSingleRegister(Slave(), layout_->reference + channel, *word) &&
                   modbus.WriteResponse();
        }
        if (sent) return true;
        error = modbus.LastException()
                    ? "the rack at " + AddressText() + " refused the write of " + info.name +
                          " (Modbus exception " + std::to_string(modbus.LastException()) + ")"
                    : "the rack at " + AddressText() + " did not answer the write of " + info.name;
        return false;
    }

    std::array<std::uint8_t, kIdentBytes> ident_{};
    std::array<bool, kK100IdentRegisters> identSeen_{};
    bool known_ = false;
    bool problem_ = false;
    K100ModuleKind kind_ = K100ModuleKind::Unknown;
    std::uint16_t outputs_ = 0;
    std::optional<Layout> layout_;
    std::array<std::uint16_t, kCoils> values_{};
    std::uint64_t seen_ = 0;
};

} // namespace

std::unique_ptr<ModulePoints> MakeKModbusSlotPoints(std::string model, const ModuleLocation& where) {
    return std::make_unique<KModbusSlotPoints>(std::move(model), where);
}

} // namespace tavo
