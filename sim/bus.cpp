#include "bus.h"

#include <algorithm>
#include <cstring>

namespace tavo::sim {
namespace {

// '&' leads the rack controllers' download commands.
bool IsLead(std::uint8_t c) { return c == '$' || c == '#' || c == '%' || c == '@' || c == '&'; }
bool Printable(std::uint8_t c) { return c >= 0x20 && c < 0x7F; }

// Length of a Modbus request frame (CRC included) by its function code, 0 when the
// function is not one a master sends us, -1 when more bytes are needed to tell.
int ModbusRequestLength(const Bytes& b) {
    if (b.size() < 2) return -1;
    switch (b[1]) {
    case 0x01: case 0x02: case 0x03: case 0x04: case 0x05: case 0x06: case 0x20:
        return 8;
    case 0x0F: case 0x10:
        return b.size() < 7 ? -1 : 9 + b[6];
    default:
        return 0;
    }
}

bool CrcOk(const Bytes& b, std::size_t n) {
    if (n < 4 || b.size() < n) return false;
    const std::uint16_t crc = ModbusCrc(b.data(), n - 2);
    return b[n - 2] == (crc & 0xFF) && b[n - 1] == (crc >> 8);
}

} // namespace

SimModule& Bus::Add(std::unique_ptr<SimModule> module) {
    if (module->config().designation == "R910") converters_ = true;
    modules_.push_back(std::move(module));
    return *modules_.back();
}

SimModule* Bus::Find(unsigned address) {
    for (auto& m : modules_)
        if (m->config().address == address) return m.get();
    return nullptr;
}

std::chrono::nanoseconds Bus::CharTime() const {
    const unsigned bits = 1 + 8 + (line_.parity ? 1 : 0) + (line_.stopBits == 2 ? 2 : 1);
    const std::uint32_t baud = line_.baud ? line_.baud : 9600;
    return std::chrono::nanoseconds(1'000'000'000ull * bits / baud);
}

bool Bus::Hears(const SimModule& m) const {
    if (m.config().options.count("via")) return false; // behind a converter
    if (m.BaudRate() != line_.baud) return false;     // garbage at the wrong speed
    const int parity = m.config().init ? 0 : m.config().parity; // INIT talks 8N1
    if (line_.parityKnown && line_.parity != parity) return false;
    return true;
}

SimModule* Bus::BinaryListener(TimePoint now) {
    for (auto& m : modules_)
        if (m->protocol() == Protocol::Ascii && Hears(*m) && m->WantsBinary(now)) return m.get();
    return nullptr;
}

void Bus::Receive(const std::uint8_t* data, std::size_t n, TimePoint now,
                  std::vector<Transmission>& out) {
    // After a long quiet spell whatever was half-received is stale.
    if (!buffer_.empty() && now - lastByte_ > std::chrono::milliseconds(200)) buffer_.clear();
    buffer_.insert(buffer_.end(), data, data + n);
    heard_ += n;
    lastByte_ = now;
    Decode(now, out);
}

// Cuts complete ASCII lines and Modbus frames off the front of the buffer. An ASCII
// line starts with a command character and holds only printable characters up to
// its CR; a Modbus frame is recognised by its function's length and a valid CRC.
// Bytes that can start neither are dropped one at a time.
void Bus::Decode(TimePoint now, std::vector<Transmission>& out) {
    while (!buffer_.empty()) {
        if (SimModule* m = BinaryListener(now)) {
            std::optional<Bytes> reply;
            const std::size_t used = m->OnBinary(buffer_.data(), buffer_.size(), now, reply);
            if (used == 0) break;
            buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(used));
            if (reply) {
                std::vector<std::pair<SimModule*, Bytes>> replies{{m, std::move(*reply)}};
                Emit(replies, false, used, out);
            }
            continue;
        }
        bool maybeAscii = false;
        if (IsLead(buffer_[0]) ||
            (converters_ && std::strchr(kConverterDelimiters, buffer_[0]) && buffer_[0])) {
            std::size_t i = 1;
            while (i < buffer_.size() && Printable(buffer_[i])) ++i;
            if (i < buffer_.size() && buffer_[i] == '\r') {
                const std::string line(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(i));
                buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
                Ascii(line, i + 1, now, out);
                continue;
            }
            maybeAscii = i == buffer_.size() && i < 2048;
        }
        const int length = ModbusRequestLength(buffer_);
        if (length > 0 && buffer_.size() >= static_cast<std::size_t>(length)) {
            const auto n = static_cast<std::size_t>(length);
            if (CrcOk(buffer_, n)) {
                const Bytes frame(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(n) - 2);
                buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(n));
                Modbus(frame, n, now, out);
                continue;
            }
        }
        const bool maybeModbus =
            length < 0 || (length > 0 && buffer_.size() < static_cast<std::size_t>(length));
        if (maybeAscii || maybeModbus) break;
        // A function we do not frame by length may still be a whole frame; silence
        // (Idle) decides. Unless a line end follows: then this was noise before a
        // command line.
        const bool lineFollows = std::find(buffer_.begin() + 1, buffer_.end(), '\r') != buffer_.end();
        if (length == 0 && !lineFollows && buffer_.size() <= 256) break;
        buffer_.erase(buffer_.begin());
    }
}

void Bus::Idle(TimePoint now, std::vector<Transmission>& out) {
    if (buffer_.empty()) return;
    if (BinaryListener(now)) return; // the rest of a binary packet is still to come
    if (CrcOk(buffer_, buffer_.size())) {
        const std::size_t n = buffer_.size();
        const Bytes frame(buffer_.begin(), buffer_.end() - 2);
        buffer_.clear();
        Modbus(frame, n, now, out);
        return;
    }
    buffer_.clear();
}

void Bus::Ascii(std::string_view line, std::size_t requestBytes, TimePoint now,
                std::vector<Transmission>& out) {
    std::vector<std::pair<SimModule*, Bytes>> replies;
    // A converter's delimiter leads a line meant for the modules behind it.
    const bool forMembers = !line.empty() && IsLead(static_cast<std::uint8_t>(line[0]));
    for (auto& m : modules_) {
        if (!forMembers || m->protocol() != Protocol::Ascii || !Hears(*m)) continue;
        if (auto reply = m->OnAsciiLine(line, now)) {
            Bytes bytes(reply->begin(), reply->end());
            bytes.push_back('\r');
            replies.emplace_back(m.get(), std::move(bytes));
        }
    }
    if (converters_) Forward(line, now, replies);
    Emit(replies, false, requestBytes, out);
}

void Bus::Forward(std::string_view line, TimePoint now,
                  std::vector<std::pair<SimModule*, Bytes>>& replies) {
    for (auto& c : modules_) {
        if (c->config().designation != "R910" || c->protocol() != Protocol::Ascii) continue;
        const auto f = ForwardedLine(*c, line);
        if (!f || f->baud232 != line_.baud) continue;
        const std::string via = Hex2(c->config().address);
        for (auto& m : modules_) {
            const auto it = m->config().options.find("via");
            if (it == m->config().options.end() || it->second != via ||
                m->protocol() != Protocol::Ascii || m->BaudRate() != f->baud485)
                continue;
            if (auto reply = m->OnAsciiLine(f->line, now)) {
                Bytes bytes(reply->begin(), reply->end());
                // The RS-232 side drops the bits its character size has no room for.
                const auto mask = static_cast<std::uint8_t>((1u << f->dataBits) - 1);
                for (auto& b : bytes)
                    b &= mask;
                bytes.push_back('\r');
                replies.emplace_back(m.get(), std::move(bytes));
            }
        }
    }
}

void Bus::Modbus(const Bytes& frame, std::size_t requestBytes, TimePoint now,
                 std::vector<Transmission>& out) {
    std::vector<std::pair<SimModule*, Bytes>> replies;
    for (auto& m : modules_) {
        if (m->protocol() != Protocol::Modbus || !Hears(*m)) continue;
        if (auto reply = m->OnModbusFrame(frame, now)) {
            AppendCrc(*reply);
            replies.emplace_back(m.get(), std::move(*reply));
        }
    }
    Emit(replies, true, requestBytes, out);
}

void Bus::Emit(std::vector<std::pair<SimModule*, Bytes>>& replies, bool modbus,
               std::size_t requestBytes, std::vector<Transmission>& out) {
    if (replies.empty()) return;
    Transmission tx;
    std::chrono::nanoseconds delay{0};
    // Two modules at one address talk over each other: on RS-485 the result is the
    // bitwise AND of both (the idle line is high).
    for (auto& [module, bytes] : replies) {
        FaultPlan& f = module->faults();
        const bool armed = f.startAfter == 0;
        if (!armed) --f.startAfter;
        if (armed && f.noReply.Fire(rng_)) continue;
        if (armed && f.badChecksum.Fire(rng_)) {
            if (modbus && bytes.size() >= 2) bytes[bytes.size() - 1] ^= 0x5A;
            else if (!modbus && module->ChecksumOn() && bytes.size() >= 3) {
                std::uint8_t& digit = bytes[bytes.size() - 2];
                digit = digit == '0' ? '1' : '0';
            }
        }
        if (armed && f.corrupt.Fire(rng_) && !bytes.empty()) {
            std::uniform_int_distribution<std::size_t> pos(0, bytes.size() - 1);
            std::uniform_int_distribution<int> bit(0, 7);
            bytes[pos(rng_)] ^= static_cast<std::uint8_t>(1u << bit(rng_));
        }
        if (armed && f.noise.Fire(rng_)) {
            std::uniform_int_distribution<int> len(1, 8), value(0, 255);
            Bytes noise;
            for (int i = len(rng_); i > 0; --i) {
                auto b = static_cast<std::uint8_t>(value(rng_));
                noise.push_back(b == '\r' ? 0x7F : b);
            }
            bytes.insert(bytes.begin(), noise.begin(), noise.end());
        }
        auto own = std::chrono::milliseconds(module->config().replyDelayMs);
        if (armed && f.late.Fire(rng_)) own += std::chrono::milliseconds(f.lateMs);
        delay = std::max<std::chrono::nanoseconds>(delay, own);
        if (tx.bytes.empty()) {
            tx.bytes = std::move(bytes);
        } else {
            if (tx.bytes.size() < bytes.size()) tx.bytes.resize(bytes.size(), 0xFF);
            for (std::size_t i = 0; i < bytes.size(); ++i) tx.bytes[i] &= bytes[i];
        }
    }
    if (tx.bytes.empty()) return;
    tx.delay = delay;
    if (wireTime_) {
        tx.perByte = CharTime();
        tx.delay += CharTime() * static_cast<long>(requestBytes);
    }
    out.push_back(std::move(tx));
}

} // namespace tavo::sim
