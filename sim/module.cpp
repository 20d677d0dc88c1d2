#include "module.h"

#include <algorithm>

namespace tavo::sim {

bool Fault::Fire(std::mt19937& rng) {
    if (count > 0) {
        --count;
        return true;
    }
    if (probability <= 0.0) return false;
    return std::uniform_real_distribution<double>(0.0, 1.0)(rng) < probability;
}

std::uint32_t BaudForCode(unsigned code) {
    static constexpr std::uint32_t kBauds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    return code >= 3 && code <= 10 ? kBauds[code - 3] : 0;
}

Bytes ModbusException(std::uint8_t function, std::uint8_t code) {
    return {static_cast<std::uint8_t>(function | 0x80), code};
}

SimModule::SimModule(ModuleConfig config) : config_(std::move(config)) {}

std::uint32_t SimModule::BaudRate() const {
    return config_.init ? 9600 : BaudForCode(config_.baudCode);
}

std::string SimModule::Ok(std::string_view data) const {
    std::string r = "!" + AddressText();
    r += data;
    return r;
}

std::string SimModule::Refuse() const { return "?" + AddressText(); }

void SimModule::Remember(std::string entry) {
    if (received.size() >= 2000) received.pop_front();
    received.push_back(std::move(entry));
}

std::optional<std::string> SimModule::OnAsciiLine(std::string_view line, TimePoint now) {
    if (ChecksumOn()) {
        // A module with checksum on ignores lines without a valid one.
        if (line.size() < 5) return std::nullopt;
        const std::string_view text = line.substr(0, line.size() - 2);
        const std::string_view sum = line.substr(line.size() - 2);
        const auto want = AsciiChecksum(text);
        const auto got = ParseHex(sum);
        if (!got || Hex2(*got) != want) return std::nullopt;
        line = text;
    }
    if (line.size() < 3) return std::nullopt;
    const auto address = ParseHex(line.substr(1, 2));
    if (!address || *address != WireAddress()) return std::nullopt;
    now_ = now;
    for (auto& set : sets_) set->Advance(*this, now);
    Remember(std::string(line));
    const char lead = line[0];
    const std::string_view body = line.substr(3);
    std::optional<std::string> reply;
    silence_ = false;
    for (auto& set : sets_) {
        reply = set->Ascii(*this, lead, body);
        if (reply || silence_) break;
    }
    if (silence_) {
        silence_ = false;
        return std::nullopt;
    }
    std::string out = reply ? *reply : Refuse();
    if (faults_.startAfter == 0 && faults_.garbage.Fire(rng_) && !out.empty() && (out[0] == '!' || out[0] == '>')) {
        const std::size_t data = out[0] == '>' ? 1 : std::min<std::size_t>(3, out.size());
        static constexpr char kJunk[] = "X?#";
        out.resize(std::max(out.size(), data + 3));
        for (std::size_t i = data; i < out.size(); ++i) out[i] = kJunk[(i - data) % 3];
    }
    if (faults_.startAfter == 0 && faults_.cut.Fire(rng_) && !out.empty() &&
        (out[0] == '!' || out[0] == '>')) {
        const std::size_t data = out[0] == '>' ? 1 : std::min<std::size_t>(3, out.size());
        out.resize(data + (out.size() - data) / 2);
    }
    if (ChecksumOn()) out += AsciiChecksum(out);
    return out;
}

void SimModule::PowerCycle() {
    for (auto& set : sets_) set->PowerUp(*this);
}

bool SimModule::WantsBinary(TimePoint now) {
    for (auto& set : sets_)
        if (set->WantsBinary(now)) return true;
    return false;
}

std::size_t SimModule::OnBinary(const std::uint8_t* data, std::size_t n, TimePoint now,
                                std::optional<Bytes>& reply) {
    for (auto& set : sets_) {
        if (!set->WantsBinary(now)) continue;
        now_ = now;
        const std::size_t used = set->Binary(*this, data, n, reply);
        if (used > 0) Remember("[" + std::to_string(used) + " bytes]");
        return used;
    }
    return 0;
}

std::optional<Bytes> SimModule::OnModbusFrame(const Bytes& frame, TimePoint now) {
    if (protocol() != Protocol::Modbus || frame.size() < 2) return std::nullopt;
    const unsigned slave = frame[0];
    if (slave != 0 && slave != config_.address) return std::nullopt;
    now_ = now;
    for (auto& set : sets_) set->Advance(*this, now);
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (auto b : frame) {
        hex.push_back(kDigits[b >> 4]);
        hex.push_back(kDigits[b & 15]);
    }
    Remember(hex);
    const Bytes pdu(frame.begin() + 1, frame.end());
    std::optional<Bytes> response;
    for (auto& set : sets_) {
        response = set->Modbus(*this, pdu);
        if (response) break;
    }
    if (!response) response = GenericModbus(pdu);
    if (slave == 0) return std::nullopt; // broadcast: act, never answer
    Bytes out;
    out.reserve(response->size() + 1);
    out.push_back(static_cast<std::uint8_t>(config_.address));
    out.insert(out.end(), response->begin(), response->end());
    return out;
}

// Behaves as a plain slave does: illegal function (01) for what it does not know,
// illegal data value (03) for quantities outside the standard's limits, illegal data
// address (02) for registers or coils it does not have.
std::optional<Bytes> SimModule::GenericModbus(const Bytes& pdu) {
    const std::uint8_t fn = pdu[0];
    switch (fn) {
    case 0x01: {
        if (pdu.size() != 5) return ModbusException(fn, 0x03);
        const unsigned first = Word(pdu, 1), count = Word(pdu, 3);
        if (count < 1 || count > 2000) return ModbusException(fn, 0x03);
        for (unsigned i = 0; i < count; ++i)
            if (!coils.count(static_cast<std::uint16_t>(first + i))) return ModbusException(fn, 0x02);
        Bytes out{fn, static_cast<std::uint8_t>((count + 7) / 8)};
        out.resize(2 + (count + 7) / 8, 0);
        for (unsigned i = 0; i < count; ++i)
            if (coils[static_cast<std::uint16_t>(first + i)]) out[2 + i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
        return out;
    }
    case 0x03:
    case 0x20: {
        if (pdu.size() != 5) return ModbusException(fn, 0x03);
        const unsigned first = Word(pdu, 1), count = Word(pdu, 3);
        if (count < 1 || count > 125) return ModbusException(fn, 0x03);
        Bytes out{fn, static_cast<std::uint8_t>(count * 2)};
        for (unsigned i = 0; i < count; ++i) {
            const auto it = holding.find(static_cast<std::uint16_t>(first + i));
            if (it == holding.end()) return ModbusException(fn, 0x02);
            PutWord(out, it->second);
        }
        return out;
    }
    case 0x05: {
        if (pdu.size() != 5) return ModbusException(fn, 0x03);
        const unsigned coil = Word(pdu, 1), value = Word(pdu, 3);
        if (value != 0xFF00 && value != 0x0000) return ModbusException(fn, 0x03);
        if (!coils.count(static_cast<std::uint16_t>(coil))) return ModbusException(fn, 0x02);
        coils[static_cast<std::uint16_t>(coil)] = value == 0xFF00;
        return pdu;
    }
    case 0x06: {
        if (pdu.size() != 5) return ModbusException(fn, 0x03);
        const auto reg = static_cast<std::uint16_t>(Word(pdu, 1));
        if (!holding.count(reg) || !writable.count(reg)) return ModbusException(fn, 0x02);
        holding[reg] = static_cast<std::uint16_t>(Word(pdu, 3));
        return pdu;
    }
    case 0x0F: {
        if (pdu.size() < 6) return ModbusException(fn, 0x03);
        const unsigned first = Word(pdu, 1), count = Word(pdu, 3), bytes = pdu[5];
        if (count < 1 || count > 1968 || bytes != (count + 7) / 8 || pdu.size() != 6 + bytes)
            return ModbusException(fn, 0x03);
        for (unsigned i = 0; i < count; ++i)
            if (!coils.count(static_cast<std::uint16_t>(first + i))) return ModbusException(fn, 0x02);
        for (unsigned i = 0; i < count; ++i)
            coils[static_cast<std::uint16_t>(first + i)] = (pdu[6 + i / 8] >> (i % 8)) & 1;
        return Bytes(pdu.begin(), pdu.begin() + 5);
    }
    case 0x10: {
        if (pdu.size() < 6) return ModbusException(fn, 0x03);
        const unsigned first = Word(pdu, 1), count = Word(pdu, 3), bytes = pdu[5];
        if (count < 1 || count > 123 || bytes != count * 2 || pdu.size() != 6 + bytes)
            return ModbusException(fn, 0x03);
        for (unsigned i = 0; i < count; ++i) {
            const auto reg = static_cast<std::uint16_t>(first + i);
            if (!holding.count(reg) || !writable.count(reg)) return ModbusException(fn, 0x02);
        }
        for (unsigned i = 0; i < count; ++i)
            holding[static_cast<std::uint16_t>(first + i)] = static_cast<std::uint16_t>(Word(pdu, 6 + 2 * i));
        return Bytes(pdu.begin(), pdu.begin() + 5);
    }
    default:
        return ModbusException(fn, 0x01);
    }
}

} // namespace tavo::sim
