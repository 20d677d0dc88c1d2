#include "modbus_points.h"

#include <vector>

namespace tavo::sim {
namespace {

template <class Map> bool Touches(const Map& map, unsigned first, unsigned count) {
    const auto it = map.lower_bound(static_cast<std::uint16_t>(first));
    return it != map.end() && it->first < first + count;
}

constexpr std::uint8_t kIllegalFunction = 0x01;
constexpr std::uint8_t kIllegalAddress = 0x02;
constexpr std::uint8_t kIllegalValue = 0x03;

} // namespace

void ModbusPoints::AddRegister(std::uint16_t wire, Register reg) {
    registers_[wire] = RegisterEntry{std::move(reg), std::nullopt};
}

void ModbusPoints::AddLong(std::uint16_t wireHigh, Long value) {
    const auto high = wireHigh;
    const auto low = static_cast<std::uint16_t>(wireHigh + 1);
    Register h{[this, high] { return static_cast<std::uint16_t>(longs_.at(high).get() >> 16); }, {}, {}};
    Register l{[this, high] { return static_cast<std::uint16_t>(longs_.at(high).get() & 0xFFFF); }, {}, {}};
    longs_[high] = std::move(value);
    registers_[high] = RegisterEntry{std::move(h), high};
    registers_[low] = RegisterEntry{std::move(l), high};
}

std::optional<Bytes> ModbusPoints::Handle(SimModule& m, const Bytes& pdu) const {
    if (pdu.empty()) return std::nullopt;
    const std::uint8_t fn = pdu[0];
    if (!functions_.empty() && !functions_.count(fn)) return ModbusException(fn, kIllegalFunction);
    if (pdu.size() < 5) return std::nullopt;
    const unsigned first = Word(pdu, 1);
    switch (fn) {
    case 0x01: {
        const unsigned count = Word(pdu, 3);
        if (pdu.size() != 5 || !Touches(coils_, first, count)) return std::nullopt;
        if (count < 1 || count > 2000) return ModbusException(fn, kIllegalValue);
        Bytes out{fn, static_cast<std::uint8_t>((count + 7) / 8)};
        out.resize(2 + (count + 7) / 8, 0);
        for (unsigned i = 0; i < count; ++i) {
            const auto it = coils_.find(static_cast<std::uint16_t>(first + i));
            if (it == coils_.end()) return ModbusException(fn, kIllegalAddress);
            if (it->second.get()) out[2 + i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
        }
        return out;
    }
    case 0x03:
    case 0x20: {
        const unsigned count = Word(pdu, 3);
        if (pdu.size() != 5 || !Touches(registers_, first, count)) return std::nullopt;
        if (count < 1 || count > 125) return ModbusException(fn, kIllegalValue);
        Bytes out{fn, static_cast<std::uint8_t>(count * 2)};
        for (unsigned i = 0; i < count; ++i) {
            const auto address = static_cast<std::uint16_t>(first + i);
            if (const auto it = registers_.find(address); it != registers_.end()) {
                PutWord(out, it->second.reg.get());
            } else if (const auto st = m.holding.find(address); st != m.holding.end()) {
                PutWord(out, st->second);
            } else {
                return ModbusException(fn, kIllegalAddress);
            }
        }
        return out;
    }
    case 0x05: {
        if (pdu.size() != 5 || !coils_.count(static_cast<std::uint16_t>(first))) return std::nullopt;
        const unsigned value = Word(pdu, 3);
        if (value != 0xFF00 && value != 0x0000) return ModbusException(fn, kIllegalValue);
        return WriteCoils(fn, pdu);
    }
    case 0x06:
        if (pdu.size() != 5 || !registers_.count(static_cast<std::uint16_t>(first)))
            return std::nullopt;
        return WriteRegisters(fn, pdu);
    case 0x0F:
    case 0x10: {
        if (pdu.size() < 6) return std::nullopt;
        const unsigned count = Word(pdu, 3), bytes = pdu[5];
        const bool coilWrite = fn == 0x0F;
        if (coilWrite ? !Touches(coils_, first, count) : !Touches(registers_, first, count))
            return std::nullopt;
        const unsigned need = coilWrite ? (count + 7) / 8 : count * 2;
        if (count < 1 || count > (coilWrite ? 1968u : 123u) || bytes != need ||
            pdu.size() != 6 + bytes)
            return ModbusException(fn, kIllegalValue);
        return coilWrite ? WriteCoils(fn, pdu) : WriteRegisters(fn, pdu);
    }
    default:
        return std::nullopt;
    }
}

// Functions 5 and 15. Every coil must exist, take writes and accept its value
// before any of them changes.
std::optional<Bytes> ModbusPoints::WriteCoils(std::uint8_t fn, const Bytes& pdu) const {
    const unsigned first = Word(pdu, 1);
    std::vector<std::pair<const Coil*, bool>> writes;
    if (fn == 0x05) {
        writes.emplace_back(&coils_.at(static_cast<std::uint16_t>(first)), Word(pdu, 3) == 0xFF00);
    } else {
        const unsigned count = Word(pdu, 3);
        for (unsigned i = 0; i < count; ++i) {
            const auto it = coils_.find(static_cast<std::uint16_t>(first + i));
            if (it == coils_.end()) return ModbusException(fn, kIllegalAddress);
            writes.emplace_back(&it->second, (pdu[6 + i / 8] >> (i % 8)) & 1);
        }
    }
    for (const auto& [coil, on] : writes) {
        if (!coil->set) return ModbusException(fn, kIllegalAddress);
        if (coil->check)
            if (const Refusal r = coil->check(on)) return ModbusException(fn, *r);
    }
    for (const auto& [coil, on] : writes)
        if (const Refusal r = coil->set(on)) return ModbusException(fn, *r);
    return fn == 0x05 ? pdu : Bytes(pdu.begin(), pdu.begin() + 5);
}

// Functions 6 and 16. The halves of a 32-bit value are put together with what the
// request does not write, and the value is checked and set whole.
std::optional<Bytes> ModbusPoints::WriteRegisters(std::uint8_t fn, const Bytes& pdu) const {
    const unsigned first = Word(pdu, 1);
    const unsigned count = fn == 0x06 ? 1 : Word(pdu, 3);
    const auto value = [&](unsigned i) {
        return static_cast<std::uint16_t>(fn == 0x06 ? Word(pdu, 3) : Word(pdu, 6 + 2 * i));
    };
    std::vector<std::pair<const Register*, std::uint16_t>> plain;
    std::map<std::uint16_t, std::uint32_t> longs; // by the high word's address
    for (unsigned i = 0; i < count; ++i) {
        const auto address = static_cast<std::uint16_t>(first + i);
        const auto it = registers_.find(address);
        if (it == registers_.end()) return ModbusException(fn, kIllegalAddress);
        if (!it->second.longHigh) {
            if (!it->second.reg.set) return ModbusException(fn, kIllegalAddress);
            plain.emplace_back(&it->second.reg, value(i));
            continue;
        }
        const std::uint16_t high = *it->second.longHigh;
        const Long& l = longs_.at(high);
        if (!l.set) return ModbusException(fn, kIllegalAddress);
        auto [pos, fresh] = longs.try_emplace(high, l.get());
        const std::uint32_t v = pos->second;
        pos->second = address == high ? (v & 0xFFFF) | std::uint32_t{value(i)} << 16
                                      : (v & 0xFFFF0000u) | value(i);
    }
    for (const auto& [reg, v] : plain)
        if (reg->check)
            if (const Refusal r = reg->check(v)) return ModbusException(fn, *r);
    for (const auto& [high, v] : longs)
        if (const Long& l = longs_.at(high); l.check)
            if (const Refusal r = l.check(v)) return ModbusException(fn, *r);
    for (const auto& [reg, v] : plain)
        if (const Refusal r = reg->set(v)) return ModbusException(fn, *r);
    for (const auto& [high, v] : longs)
        if (const Refusal r = longs_.at(high).set(v)) return ModbusException(fn, *r);
    return fn == 0x06 ? pdu : Bytes(pdu.begin(), pdu.begin() + 5);
}

} // namespace tavo::sim
