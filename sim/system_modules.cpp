// The system family of the simulator: K100 racks (K100 with four slots, K100E with
// eight, and their Modbus forms K100M and K100EM), the Z350 controllers (Z351 with
// four slots, Z352 with eight) and the R910 converter.
//
// Controller reply layouts (AA the controller's address):
//   $AA2                      !AA{CC}{FF} (no type code); %AA00{CC}{FF} writes them.
//                             Baud, checksum (FF bit 6) and protocol (FF bit 2, K100:
//                             1 = Modbus RTU) change only in the INIT state.
//   $AAT                      !AA{two characters per slot}, FF for an empty slot
//   $AAS{i}N / N0 / N1 / N2   !{text}, without the address: "Tavo-" + module name,
//                             its description, its channel count "%02X", its firmware
//   $AAXR / $AAXER            !AA{seconds "%d"} / !AA{slot mask "%02X"}
//   $AAX{tttt} / $AAXEW{mm}   write them. When the master says nothing to the
//                             controller for longer than the time-out (0 = off), the
//                             outputs of the enabled slots go to their safe state:
//                             digital slots their watchdog mask ($AAXS{s}D), K310
//                             slots their start-up values. They stay so until the
//                             master drives them again.
//   $AAPD                     !AA{"%02X"}: 00 fixed address map, 01 user-defined
//   $AAPN{kk}FF               !AA{start "%04X"}{length code "%X"} as stored (written)
//   #AAPN{kk}FF{ssss}{l}      stores an entry; #AAPD makes the stored map the active
//                             one, which the Modbus side answers at (refused while
//                             the map is fixed or the stored ranges overlap)
//   $AAKW, $AABAC (Z350)      !AA{BAC|MOD}, !AA{device instance "%06X"}
// R910 converter:
//   $AA2                      !AA{TT}{232 baud}{485 baud}{flags}{add CR}{format}
//   %AA{NN}{TT}{b}{b}{f}{c}{FF} writes them; outside INIT only the address and the
//                             add-CR flag may change
//   $AA7, $AAD, $AA4          identification, delimiter, gate time "%04X"
//
// The K100 racks' Modbus side (protocol=modbus, K100M, K100EM):
//   holding 10001..10038      identification block: bytes 0-1 2190 (eight slots) or
//                             2191 (four slots), 4-5 firmware nibbles ("A3.10" ->
//                             A3 10), 6-7 slot count, 8-15 slot type codes (FF
//                             empty), 25 counter flag (0: counter status in
//                             registers; 1 with counterstatus=coils), 28-43 slot
//                             start values, 44-59 end values (active map)
//   holding 10201..10264      slot names, 16 bytes per slot, two characters per
//                             register with the second one in the high byte
//   coils from 1              0X slots: point n of the slot at start + n
//   holding from 1            4X slots (start 4xxxx): register n at start - 40000 + n.
//                             Analog inputs: value / full scale * 7FFF; K310: output
//                             in thousandths of mA or V (writable); K710: counts
//                             (high, low) 0-7, status 8-11 (bit 0 counting, bit 2
//                             overflow), control 12-15 (write 0 stop, 1 start, 2
//                             clear, 3 clear overflow); digital slots: point mask
//                             in register 0 (writing it sets the outputs)
//   coils slot * 16 + 1 ..    with counterstatus=coils, a K710's status: channel k at
//                             coil 4k (counting, writable), 4k + 1 (write 1: clear),
//                             4k + 2 (overflow, write 0 to clear)
// Function 32 reads holding registers like function 3.
//
// Slot inputs (bus file in0= .. in7=, or RackAccess from a test) move the slot data
// on both sides: digital slots' input points, analog inputs' readings.
#include "boot_loader.h"
#include "models.h"
#include "rack_slots.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <sstream>
#include <stdexcept>

namespace tavo::sim {

namespace {

unsigned Word(const Bytes& pdu, std::size_t at) {
    return static_cast<unsigned>(pdu[at]) << 8 | pdu[at + 1];
}

void PutWord(Bytes& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8 & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        items.push_back(item);
    return items;
}

// ---------------------------------------------------------------------------
// What the K100 and the Z350 share: configuration, slot table, slot routing.

class ControllerCommands : public CommandSet {
public:
    ControllerCommands(const ModuleConfig& config, int slotCount, bool zseries)
        : slotCount_(slotCount) {
        std::vector<std::string> entries;
        if (auto it = config.options.find("slots"); it != config.options.end())
            entries = SplitList(it->second);
        for (int i = 0; i < slotCount; ++i)
            rack_.slots.push_back(i < static_cast<int>(entries.size())
                                      ? MakeSlot(entries[static_cast<std::size_t>(i)], zseries)
                                      : nullptr);
        for (int i = 0; i < 8; ++i) {
            const std::string key = "in" + std::to_string(i);
            const auto it = config.options.find(key);
            if (it == config.options.end()) continue;
            SimSlot* slot = rack_.At(i);
            std::string why = "slot " + std::to_string(i) + " is empty";
            if (!slot || !slot->SetInputs(it->second, TimePoint{}, why))
                throw std::invalid_argument("bad value in '" + key + "=" + it->second +
                                            "': " + why);
        }
    }

    std::optional<std::string> Ascii(SimModule& m, char lead, std::string_view body) override {
        if (auto reply = Own(m, lead, body)) return reply;
        auto& c = m.config();
        if (lead == '$' && body == "2") return m.Ok(Hex2(c.baudCode) + Hex2(c.formatCode));
        if (lead == '%') return WriteConfig(m, body);
        if (lead == '$' && body == "T") {
            std::string table;
            for (const auto& s : rack_.slots)
                table += s ? s->code() : "FF";
            return m.Ok(table);
        }
        if ((lead == '$' || lead == '#' || lead == '@') && body.size() >= 2 && body[0] == 'S' &&
            body[1] >= '0' && body[1] <= '9') {
            const int i = body[1] - '0';
            SimSlot* slot = rack_.At(i);
            // A module pulled out of its slot says nothing; the controller does not
            // answer for it either.
            if (slot && i < 8 && pulled_ >> i & 1) {
                m.Silence();
                return std::nullopt;
            }
            return slot ? slot->Ascii(m, rack_, lead, body.substr(2)) : m.Refuse();
        }
        return std::nullopt;
    }

    void Advance(SimModule&, TimePoint now) override {
        for (auto& s : rack_.slots)
            if (s) s->Advance(rack_, now);
    }

protected:
    // Commands of one controller kind, tried first.
    virtual std::optional<std::string> Own(SimModule&, char, std::string_view) {
        return std::nullopt;
    }
    // Whether the written format byte is acceptable besides the INIT rule.
    virtual bool FormatAllowed(unsigned /*ff*/) const { return true; }
    virtual void FormatWritten(SimModule&) {}

    std::string WriteConfig(SimModule& m, std::string_view body) {
        auto& c = m.config();
        if (body.size() != 6 || body.substr(0, 2) != "00") return m.Refuse();
        const auto cc = ParseHex(body.substr(2, 2)), ff = ParseHex(body.substr(4, 2));
        if (!cc || !ff || BaudForCode(*cc) == 0 || !FormatAllowed(*ff)) return m.Refuse();
        // Baud rate, checksum and protocol change only with the INIT jumper in place.
        if (!c.init && (*cc != c.baudCode || ((*ff ^ c.formatCode) & 0x44))) return m.Refuse();
        c.baudCode = *cc;
        c.formatCode = *ff;
        FormatWritten(m);
        return m.Ok();
    }

    Rack rack_;
    int slotCount_;
    unsigned pulled_ = 0; // bit i: slot i's module is pulled out
};

// ---------------------------------------------------------------------------
// K100 family

struct MapEntry {
    unsigned start = 0, code = 0;
    unsigned Units() const { return code ? 1u << (code - 1) : 0; }
    unsigned End() const { return code ? start + Units() - 1 : 0; }
    bool Coils() const { return code && start >= 1 && start < 20000; }
    bool Registers() const { return code && start > 40000 && start < 50000; }
};

class KRackCommands : public ControllerCommands, public RackAccess {
public:
    KRackCommands(const ModuleConfig& config, int slotCount, bool modbusOnly)
        : ControllerCommands(config, slotCount, false), modbusOnly_(modbusOnly) {
        const auto it = config.options.find("map");
        if (it != config.options.end() && it->second != "fixed" && it->second != "user")
            throw std::invalid_argument("bad value in 'map=" + it->second + "': user or fixed");
        userMap_ = it == config.options.end() || it->second != "fixed";
        if (const auto c = config.options.find("counterstatus"); c != config.options.end()) {
            if (c->second != "registers" && c->second != "coils")
                throw std::invalid_argument("bad value in 'counterstatus=" + c->second +
                                            "': registers or coils");
            counterCoils_ = c->second == "coils";
        }
        unsigned coil = 1, reg = 40001;
        for (int i = 0; i < slotCount_; ++i) {
            const SimSlot* s = rack_.At(i);
            MapEntry& e = active_[static_cast<std::size_t>(i)];
            if (!s || s->DefaultMapKind() == MapKind::None) continue;
            e.code = static_cast<unsigned>(s->DefaultLengthCode());
            unsigned& next = s->DefaultMapKind() == MapKind::Coils ? coil : reg;
            e.start = next;
            next += e.Units();
        }
        pending_ = active_;
    }

    std::optional<Bytes> Modbus(SimModule& m, const Bytes& pdu) override;

    // Every command addressed to the controller (ASCII or Modbus) is the master's
    // sign of life.
    void Advance(SimModule& m, TimePoint now) override {
        ControllerCommands::Advance(m, now);
        CatchUp(now);
        lastContact_ = now;
        expired_ = false;
    }

    Rack& rack() override { return rack_; }
    SimSlot* slot(int i) override { return rack_.At(i); }
    bool SetSlotInputs(int i, std::string_view text, TimePoint start, std::string& why) override {
        SimSlot* s = rack_.At(i);
        if (!s) {
            why = "slot " + std::to_string(i) + " is empty";
            return false;
        }
        return s->SetInputs(text, start, why);
    }
    int WatchdogSeconds() const override { return watchdogSeconds_; }
    unsigned WatchdogMask() const override { return watchdogMask_; }
    int WatchdogTrips() const override { return trips_; }
    void Idle(TimePoint now) override { CatchUp(now); }
    void SetSlotPulled(int i, bool pulled) override {
        if (i < 0 || i > 7) return;
        pulled_ = pulled ? pulled_ | 1u << i : pulled_ & ~(1u << i);
    }

protected:
    std::optional<std::string> Own(SimModule& m, char lead, std::string_view body) override {
        const std::string& d = m.config().designation;
        if (lead == '$' && body == "M" && d.size() > 4 && d.back() == 'M')
            return m.Ok(d.substr(0, d.size() - 1)); // the rack names its slot count only
        if (lead == '$' && body.size() >= 3 && body.size() <= 4 && body[0] == 'S' && body[2] == 'N')
            return SlotInfo(m, body);
        if (lead == '$' && !body.empty() && body[0] == 'X') return Watchdog(m, body.substr(1));
        if (lead == '$' && body.size() == 6 && body.substr(0, 3) == "AV0" &&
            body.substr(4) == "FF") {
            SimSlot* s = rack_.At(body[3] - '0');
            if (auto reply = s ? s->ReadAV(m) : std::nullopt) return reply;
            return m.Refuse();
        }
        if (body == "PD" && lead == '$') return m.Ok(Hex2(userMap_ ? 1 : 0));
        if (body == "PD" && lead == '#') return Activate(m);
        if (body.size() >= 6 && body.substr(0, 2) == "PN" && body.substr(4, 2) == "FF" &&
            (lead == '$' || lead == '#'))
            return MapEntryCommand(m, lead, body);
        return std::nullopt;
    }

    bool FormatAllowed(unsigned ff) const override { return !modbusOnly_ || (ff & 4); }
    void FormatWritten(SimModule& m) override {
        m.config().protocol = m.config().formatCode & 4 ? Protocol::Modbus : Protocol::Ascii;
    }

private:
    // The communication watchdog: silence longer than the time-out, counted from
    // the last command, puts the enabled slots' outputs into their safe state once.
    void CatchUp(TimePoint now) {
        if (watchdogSeconds_ <= 0 || expired_ || lastContact_ == TimePoint{} ||
            now - lastContact_ <= std::chrono::seconds(watchdogSeconds_))
            return;
        for (int i = 0; i < slotCount_; ++i)
            if (watchdogMask_ >> i & 1)
                if (SimSlot* s = rack_.At(i)) s->WatchdogExpired();
        expired_ = true;
        ++trips_;
    }

    std::string SlotInfo(SimModule& m, std::string_view body) {
        const int i = HexNibble(body[1]);
        SimSlot* s = rack_.At(i);
        const std::string_view which = body.substr(3);
        if (!s) return m.Refuse();
        if (which.empty()) return "!Tavo-" + s->name();
        if (which == "0") return "!" + s->Description();
        if (which == "1") return "!" + Hex2(static_cast<unsigned>(s->ChannelCount()));
        if (which == "2") return "!A1.00";
        return m.Refuse();
    }

    std::string Watchdog(SimModule& m, std::string_view what) {
        if (what == "R") return m.Ok(std::to_string(watchdogSeconds_));
        if (what == "ER") return m.Ok(Hex2(watchdogMask_));
        if (what.size() == 4 && what.substr(0, 2) == "EW") {
            const auto mask = ParseHex(what.substr(2));
            if (!mask || *mask >> slotCount_) return m.Refuse();
            watchdogMask_ = *mask;
            return m.Ok();
        }
        if (what.size() >= 2 && what[0] == 'S') {
            SimSlot* s = what[1] >= '0' && what[1] <= '9' ? rack_.At(what[1] - '0') : nullptr;
            if (auto reply = s ? s->Watchdog(m, what.substr(2)) : std::nullopt) return *reply;
            return m.Refuse();
        }
        if (what.size() == 4) {
            int seconds = 0;
            for (const char c : what) {
                if (c < '0' || c > '9') return m.Refuse();
                seconds = seconds * 10 + (c - '0');
            }
            watchdogSeconds_ = seconds;
            return m.Ok();
        }
        return m.Refuse();
    }

    std::string MapEntryCommand(SimModule& m, char lead, std::string_view body) {
        const auto k = ParseHex(body.substr(2, 2));
        if (!k || static_cast<int>(*k) >= slotCount_) return m.Refuse();
        if (lead == '$') {
            const MapEntry& e = pending_[*k];
            return m.Ok(Hex4(e.start) + std::string(1, "0123456789ABCDEF"[e.code & 15]));
        }
        if (!userMap_ || body.size() != 11) return m.Refuse();
        const auto start = ParseHex(body.substr(6, 4)), code = ParseHex(body.substr(10, 1));
        if (!start || !code) return m.Refuse();
        const MapEntry e{*start, *code};
        const SimSlot* s = rack_.At(static_cast<int>(*k));
        if (e.code) {
            // Coils take 8 to 64 points from a start of 8n + 1; registers 1 to 16.
            const bool coils = e.Coils() && e.code >= 4 && e.code <= 7 && (e.start - 1) % 8 == 0 &&
                               e.End() <= 19999 &&
                               (!s || s->DefaultMapKind() != MapKind::Registers);
            const bool regs = e.Registers() && e.code <= 5 && e.End() <= 49999;
            if (!coils && !regs) return m.Refuse();
        }
        pending_[*k] = e;
        return m.Ok();
    }

    std::string Activate(SimModule& m) {
        if (!userMap_) return m.Refuse();
        for (int a = 0; a < slotCount_; ++a)
            for (int b = a + 1; b < slotCount_; ++b) {
                const MapEntry &x = pending_[static_cast<std::size_t>(a)],
                               &y = pending_[static_cast<std::size_t>(b)];
                const bool sameSpace = (x.Coils() && y.Coils()) || (x.Registers() && y.Registers());
                if (sameSpace && x.start <= y.End() && y.start <= x.End()) return m.Refuse();
            }
        active_ = pending_;
        return m.Ok();
    }

    // Slot k and point n behind a Modbus address, in the active map; with the
    // counter flag set, the coils of a counter's status come first.
    bool Locate(bool coils, unsigned reference, SimSlot*& slot, int& point) {
        if (coils && counterCoils_ && reference >= 1) {
            const int k = static_cast<int>((reference - 1) / 16);
            SimSlot* s = k < slotCount_ ? rack_.At(k) : nullptr;
            if (s && s->ModbusType() == 0x06) {
                slot = s;
                point = static_cast<int>((reference - 1) % 16);
                return true;
            }
        }
        for (int k = 0; k < slotCount_; ++k) {
            const MapEntry& e = active_[static_cast<std::size_t>(k)];
            const unsigned stored = coils ? reference : reference + 40000;
            if ((coils ? e.Coils() : e.Registers()) && stored >= e.start && stored <= e.End()) {
                slot = rack_.At(k);
                point = static_cast<int>(stored - e.start);
                return slot != nullptr;
            }
        }
        return false;
    }

    std::optional<std::uint16_t> ReadRegister(SimModule& m, unsigned address);
    std::uint8_t WriteRegister(unsigned address, std::uint16_t value);
    std::optional<bool> ReadCoil(unsigned address);

    bool modbusOnly_;
    bool userMap_ = true;
    bool counterCoils_ = false;
    std::array<MapEntry, 8> active_{}, pending_{};
    int watchdogSeconds_ = 0;
    unsigned watchdogMask_ = 0;
    TimePoint lastContact_{};
    bool expired_ = false;
    int trips_ = 0;
};

std::optional<std::uint16_t> KRackCommands::ReadRegister(SimModule& m, unsigned address) {
    if (address >= 10000 && address < 10038) {
        std::array<std::uint8_t, 76> block{};
        const unsigned id = slotCount_ == 8 ? 0x2190 : 0x2191;
        block[0] = static_cast<std::uint8_t>(id >> 8);
        block[1] = static_cast<std::uint8_t>(id & 0xFF);
        const std::string& fw = m.config().firmware;
        const auto nibble = [&](std::size_t i) {
            const int n = i < fw.size() ? HexNibble(fw[i]) : -1;
            return static_cast<std::uint8_t>(n < 0 ? 0 : n);
        };
        block[4] = static_cast<std::uint8_t>(nibble(0) << 4 | nibble(1));
        block[5] = static_cast<std::uint8_t>(nibble(3) << 4 | nibble(4));
        block[7] = static_cast<std::uint8_t>(slotCount_);
        block[25] = counterCoils_ ? 1 : 0;
        for (int k = 0; k < 8; ++k) {
            const SimSlot* s = rack_.At(k);
            const auto at = static_cast<std::size_t>(k);
            block[8 + at] = s ? s->ModbusType() : 0xFF;
            const MapEntry e = k < slotCount_ ? active_[at] : MapEntry{};
            const unsigned start = e.code ? e.start : 0;
            block[28 + 2 * at] = static_cast<std::uint8_t>(start >> 8);
            block[29 + 2 * at] = static_cast<std::uint8_t>(start & 0xFF);
            block[44 + 2 * at] = static_cast<std::uint8_t>(e.End() >> 8);
            block[45 + 2 * at] = static_cast<std::uint8_t>(e.End() & 0xFF);
        }
        const std::size_t i = 2 * static_cast<std::size_t>(address - 10000);
        return static_cast<std::uint16_t>(block[i] << 8 | block[i + 1]);
    }
    if (address >= 10200 && address < 10264) {
        const unsigned k = (address - 10200) / 8, pair = (address - 10200) % 8;
        const SimSlot* s = rack_.At(static_cast<int>(k));
        const std::string name = s ? s->name() : "";
        const auto at = [&](std::size_t i) {
            return static_cast<std::uint8_t>(i < name.size() && i < 16 ? name[i] : 0);
        };
        return static_cast<std::uint16_t>(at(2 * pair + 1) << 8 | at(2 * pair));
    }
    SimSlot* slot = nullptr;
    int point = 0;
    if (!Locate(false, address + 1, slot, point)) return std::nullopt;
    return slot->Register(point);
}

std::uint8_t KRackCommands::WriteRegister(unsigned address, std::uint16_t value) {
    SimSlot* slot = nullptr;
    int point = 0;
    if (!Locate(false, address + 1, slot, point)) return 0x02;
    return slot->WriteRegister(point, value);
}

std::optional<bool> KRackCommands::ReadCoil(unsigned address) {
    SimSlot* slot = nullptr;
    int point = 0;
    if (!Locate(true, address + 1, slot, point)) return std::nullopt;
    return slot->Coil(point);
}

std::optional<Bytes> KRackCommands::Modbus(SimModule& m, const Bytes& pdu) {
    const std::uint8_t fn = pdu[0];
    const auto quantity = [&](unsigned most) {
        return pdu.size() >= 5 && Word(pdu, 3) >= 1 && Word(pdu, 3) <= most;
    };
    switch (fn) {
    case 0x01: {
        if (pdu.size() != 5 || !quantity(2000)) return ModbusException(fn, 0x03);
        const unsigned first = Word(pdu, 1), count = Word(pdu, 3);
        Bytes out{fn, static_cast<std::uint8_t>((count + 7) / 8)};
        out.resize(2 + (count + 7) / 8, 0);
        for (unsigned i = 0; i < count; ++i) {
            const auto on = ReadCoil(first + i);
            if (!on) return ModbusException(fn, 0x02);
            if (*on) out[2 + i / 8] = static_cast<std::uint8_t>(out[2 + i / 8] | 1u << (i % 8));
        }
        return out;
    }
    case 0x03:
    case 0x20: {
        if (pdu.size() != 5 || !quantity(125)) return ModbusException(fn, 0x03);
        const unsigned first = Word(pdu, 1), count = Word(pdu, 3);
        Bytes out{fn, static_cast<std::uint8_t>(count * 2)};
        for (unsigned i = 0; i < count; ++i) {
            const auto v = ReadRegister(m, first + i);
            if (!v) return ModbusException(fn, 0x02);
            PutWord(out, *v);
        }
        return out;
    }
    case 0x05: {
        if (pdu.size() != 5) return ModbusException(fn, 0x03);
        const unsigned value = Word(pdu, 3);
        if (value != 0xFF00 && value != 0x0000) return ModbusException(fn, 0x03);
        SimSlot* slot = nullptr;
        int point = 0;
        if (!Locate(true, Word(pdu, 1) + 1, slot, point) ||
            !slot->WriteCoil(point, value == 0xFF00))
            return ModbusException(fn, 0x02);
        return pdu;
    }
    case 0x06: {
        if (pdu.size() != 5) return ModbusException(fn, 0x03);
        if (const auto code = WriteRegister(Word(pdu, 1), static_cast<std::uint16_t>(Word(pdu, 3))))
            return ModbusException(fn, code);
        return pdu;
    }
    case 0x0F: {
        if (pdu.size() < 6 || !quantity(1968)) return ModbusException(fn, 0x03);
        const unsigned first = Word(pdu, 1), count = Word(pdu, 3), bytes = pdu[5];
        if (bytes != (count + 7) / 8 || pdu.size() != 6 + bytes) return ModbusException(fn, 0x03);
        for (unsigned i = 0; i < count; ++i) {
            SimSlot* slot = nullptr;
            int point = 0;
            if (!Locate(true, first + i + 1, slot, point) || !slot->IsOutput(point))
                return ModbusException(fn, 0x02);
        }
        for (unsigned i = 0; i < count; ++i) {
            SimSlot* slot = nullptr;
            int point = 0;
            if (Locate(true, first + i + 1, slot, point))
                slot->WriteCoil(point, (pdu[6 + i / 8] >> (i % 8)) & 1);
        }
        return Bytes(pdu.begin(), pdu.begin() + 5);
    }
    case 0x10: {
        if (pdu.size() < 6 || !quantity(123)) return ModbusException(fn, 0x03);
        const unsigned first = Word(pdu, 1), count = Word(pdu, 3), bytes = pdu[5];
        if (bytes != count * 2 || pdu.size() != 6 + bytes) return ModbusException(fn, 0x03);
        for (unsigned i = 0; i < count; ++i)
            if (const auto code =
                    WriteRegister(first + i, static_cast<std::uint16_t>(Word(pdu, 6 + 2 * i))))
                return ModbusException(fn, code);
        return Bytes(pdu.begin(), pdu.begin() + 5);
    }
    default:
        return std::nullopt;
    }
}

// ---------------------------------------------------------------------------
// Z350 family

class ZRackCommands : public ControllerCommands {
public:
    ZRackCommands(const ModuleConfig& config, int slotCount)
        : ControllerCommands(config, slotCount, true) {}

protected:
    std::optional<std::string> Own(SimModule& m, char lead, std::string_view body) override {
        if (lead != '$') return std::nullopt;
        if (body.substr(0, 2) == "KW") {
            const std::string_view x = body.substr(2);
            if (x.empty()) return m.Ok(protocol_);
            if (x != "BAC" && x != "MOD") return m.Refuse();
            protocol_ = std::string(x);
            return m.Ok();
        }
        if (body.substr(0, 3) == "BAC") {
            const std::string_view x = body.substr(3);
            char text[16];
            std::snprintf(text, sizeof text, "%06X", instance_);
            if (x.empty()) return m.Ok(text);
            const auto v = x.size() == 6 ? ParseHex(x) : std::nullopt;
            if (!v || *v > 4194303) return m.Refuse();
            instance_ = *v;
            return m.Ok();
        }
        return std::nullopt;
    }

private:
    std::string protocol_ = "BAC";
    unsigned instance_ = 350;
};

// ---------------------------------------------------------------------------
// R910 converter

class ConverterCommands : public CommandSet {
public:
    std::optional<std::string> Ascii(SimModule& m, char lead, std::string_view body) override {
        auto& c = m.config();
        if (lead == '$' && body == "2")
            return m.Ok(Hex2(c.typeCode) + Digit(baud232_) + Digit(baud485_) + Digit(flags_) +
                        Digit(addCR_) + Hex2(format_));
        if (lead == '%') return Write(m, body);
        if (lead != '$' || body.empty()) return std::nullopt;
        const std::string_view x = body.substr(1);
        switch (body[0]) {
        case '6':
            if (x.size() > 24) return m.Refuse();
            identification_ = std::string(x);
            return m.Ok();
        case '7':
            return x.empty() ? m.Ok(identification_) : m.Refuse();
        case 'C':
            if (x.size() != 1 || !std::strchr(":[]^{|}~", x[0])) return m.Refuse();
            delimiter_ = x[0];
            return m.Ok();
        case 'D':
            return x.empty() ? m.Ok(std::string(1, delimiter_)) : m.Refuse();
        case '3': {
            const auto v = x.size() == 4 ? ParseHex(x) : std::nullopt;
            if (!v) return m.Refuse();
            gate_ = *v;
            return m.Ok();
        }
        case '4':
            return x.empty() ? m.Ok(Hex4(gate_)) : m.Refuse();
        default:
            return std::nullopt;
        }
    }

private:
    static std::string Digit(unsigned v) { return std::string(1, "0123456789ABCDEF"[v & 15]); }

    std::string Write(SimModule& m, std::string_view body) {
        auto& c = m.config();
        if (body.size() != 10) return m.Refuse();
        const auto nn = ParseHex(body.substr(0, 2)), tt = ParseHex(body.substr(2, 2)),
                   b232 = ParseHex(body.substr(4, 1)), b485 = ParseHex(body.substr(5, 1)),
                   flags = ParseHex(body.substr(6, 1)), ff = ParseHex(body.substr(8, 2));
        const char cr = body[7];
        if (!nn || !tt || !b232 || !b485 || !flags || !ff || *tt != c.typeCode || *b232 < 1 ||
            *b232 > 10 || *b485 < 1 || *b485 > 10 || (cr != '0' && cr != '1') || *ff > 0x1F)
            return m.Refuse();
        // The line settings and the addressing mode change only in the INIT state.
        if (!c.init &&
            (*b232 != baud232_ || *b485 != baud485_ || *flags != flags_ || *ff != format_))
            return m.Refuse();
        c.address = *nn;
        baud232_ = *b232;
        baud485_ = *b485;
        flags_ = *flags;
        addCR_ = cr == '1' ? 1 : 0;
        format_ = *ff;
        return m.Ok();
    }

    unsigned baud232_ = 6, baud485_ = 6, flags_ = 0, addCR_ = 0, format_ = 0x03;
    std::string identification_ = "R910";
    char delimiter_ = ':';
    unsigned gate_ = 100;
};

int SlotCountFor(const std::string& designation) {
    return designation == "K100E" || designation == "K100EM" || designation == "Z352" ? 8 : 4;
}

} // namespace

bool AddSystemModel(SimModule& m) {
    auto& c = m.config();
    const std::string& d = c.designation;
    if (d == "K100" || d == "K100E" || d == "K100M" || d == "K100EM") {
        // Protocol and format bit 2 agree; the M forms speak Modbus RTU.
        if (d.back() == 'M') c.protocol = Protocol::Modbus;
        if (c.protocol == Protocol::Modbus)
            c.formatCode |= 0x04;
        else if (c.formatCode & 0x04)
            c.protocol = Protocol::Modbus;
        m.Add<RackDownload>(m); // first: it takes every command while a download runs
        m.Add<KRackCommands>(c, SlotCountFor(d), d == "K100M");
        return true;
    }
    if (d == "Z351" || d == "Z352") {
        m.Add<ZRackCommands>(c, SlotCountFor(d));
        return true;
    }
    if (d == "R910") {
        m.Add<ConverterCommands>();
        return true;
    }
    return false;
}

bool SystemModelTakes(const SimModule& m, const std::string& key) {
    const std::string& d = m.config().designation;
    const bool kRack = d == "K100" || d == "K100E" || d == "K100M" || d == "K100EM";
    if (key == "slots") return kRack || d == "Z351" || d == "Z352";
    if (key == "map") {
        if (!kRack) return false;
        const std::string& v = m.config().options.at(key);
        if (v != "user" && v != "fixed")
            throw std::invalid_argument("bad value in 'map=" + v + "': user or fixed");
        return true;
    }
    // Slot inputs and the counter-status layout belong to racks; their values are
    // checked when the rack starts.
    if (key == "counterstatus") return kRack;
    if (key.size() == 3 && key.compare(0, 2, "in") == 0) return kRack;
    return false;
}

bool IsSystemOption(const std::string& key) {
    if (key.size() == 3 && key[0] == 'i' && key[1] == 'n' && key[2] >= '0' && key[2] <= '7')
        return true;
    return key == "slots" || key == "map" || key == "counterstatus";
}

} // namespace tavo::sim
