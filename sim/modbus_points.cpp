#include "modbus_points.h"

namespace tavo::sim {
namespace {

template <class Map> bool Touches(const Map& map, unsigned first, unsigned count) {
    const auto it = map.lower_bound(static_cast<std::uint16_t>(first));
    return it != map.end() && it->first < first + count;
}

} // namespace

std::optional<Bytes> ModbusPoints::Handle(SimModule& m, const Bytes& pdu) const {
    if (pdu.size() < 5) return std::nullopt;
    const std::uint8_t fn = pdu[0];
    const unsigned first = Word(pdu, 1);
    switch (fn) {
    case 0x01: {
        const unsigned count = Word(pdu, 3);
        if (pdu.size() != 5 || !Touches(coils_, first, count)) return std::nullopt;
        if (count < 1 || count > 2000) return ModbusException(fn, 0x03);
        Bytes out{fn, static_cast<std::uint8_t>((count + 7) / 8)};
        out.resize(2 + (count + 7) / 8, 0);
        for (unsigned i = 0; i < count; ++i) {
            const auto it = coils_.find(static_cast<std::uint16_t>(first + i));
            if (it == coils_.end()) return ModbusException(fn, 0x02);
            if (it->second.get()) out[2 + i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
        }
        return out;
    }
    case 0x03: {
        const unsigned count = Word(pdu, 3);
        if (pdu.size() != 5 || !Touches(registers_, first, count)) return std::nullopt;
        if (count < 1 || count > 125) return ModbusException(fn, 0x03);
        Bytes out{fn, static_cast<std::uint8_t>(count * 2)};
        for (unsigned i = 0; i < count; ++i) {
            const auto address = static_cast<std::uint16_t>(first + i);
            if (const auto it = registers_.find(address); it != registers_.end()) {
                PutWord(out, it->second.get());
            } else if (const auto st = m.holding.find(address); st != m.holding.end()) {
                PutWord(out, st->second);
            } else {
                return ModbusException(fn, 0x02);
            }
        }
        return out;
    }
    case 0x05: {
        const auto it = coils_.find(static_cast<std::uint16_t>(first));
        if (pdu.size() != 5 || it == coils_.end()) return std::nullopt;
        const unsigned value = Word(pdu, 3);
        if (value != 0xFF00 && value != 0x0000) return ModbusException(fn, 0x03);
        if (!it->second.set) return ModbusException(fn, 0x02);
        if (const Refusal r = it->second.set(value == 0xFF00)) return ModbusException(fn, *r);
        return pdu;
    }
    case 0x06: {
        const auto it = registers_.find(static_cast<std::uint16_t>(first));
        if (pdu.size() != 5 || it == registers_.end()) return std::nullopt;
        if (!it->second.set) return ModbusException(fn, 0x02);
        if (const Refusal r = it->second.set(static_cast<std::uint16_t>(Word(pdu, 3))))
            return ModbusException(fn, *r);
        return pdu;
    }
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
            return ModbusException(fn, 0x03);
        // Every point must exist and take writes before any of them changes.
        for (unsigned i = 0; i < count; ++i) {
            const auto address = static_cast<std::uint16_t>(first + i);
            if (coilWrite) {
                const auto it = coils_.find(address);
                if (it == coils_.end() || !it->second.set) return ModbusException(fn, 0x02);
            } else {
                const auto it = registers_.find(address);
                if (it == registers_.end() || !it->second.set) return ModbusException(fn, 0x02);
            }
        }
        for (unsigned i = 0; i < count; ++i) {
            const auto address = static_cast<std::uint16_t>(first + i);
            const Refusal r =
                coilWrite
                    ? coils_.at(address).set((pdu[6 + i / 8] >> (i % 8)) & 1)
                    : registers_.at(address).set(static_cast<std::uint16_t>(Word(pdu, 6 + 2 * i)));
            if (r) return ModbusException(fn, *r);
        }
        return Bytes(pdu.begin(), pdu.begin() + 5);
    }
    default:
        return std::nullopt;
    }
}

} // namespace tavo::sim
