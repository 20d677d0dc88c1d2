#include "modbus.h"

#include "com_port.h"
#include "pause.h"

#include <cstdio>

namespace tavo {
namespace {

// The high-byte and low-byte tables of the Modbus CRC-16 (reflected polynomial A001,
// initial value FFFF), built at compile time. "High" is the byte sent first.
struct CrcTables {
    std::array<std::uint8_t, 256> hi{};
    std::array<std::uint8_t, 256> lo{};
};

constexpr CrcTables MakeCrcTables() {
    CrcTables t;
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
        t.hi[i] = static_cast<std::uint8_t>(crc & 0xFF);
        t.lo[i] = static_cast<std::uint8_t>(crc >> 8);
    }
    return t;
}

constexpr CrcTables kCrc = MakeCrcTables();
static_assert(kCrc.hi[1] == 0xC1 && kCrc.lo[1] == 0xC0, "Modbus CRC table");

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

std::string Header(int slave, int function, int address, int quantity) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X%02X%04X%04X", slave & 0xFF, function & 0xFF,
                  address & 0xFFFF, quantity & 0xFFFF);
    return text;
}

std::string WithData(std::string head, int byteCount, const std::uint8_t* data) {
    char part[4];
    std::snprintf(part, sizeof part, "%02X", byteCount & 0xFF);
    head += part;
    for (int i = 0; i < byteCount; ++i) {
        std::snprintf(part, sizeof part, "%02X", data[i]);
        head += part;
    }
    return head;
}

} // namespace

std::size_t TavoModbusCOM::HexToBytes(std::string_view text, std::uint8_t* bytes) {
    const std::size_t n = text.size() / 2;
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(HexDigit(text[2 * i]) * 16 + HexDigit(text[2 * i + 1]));
    return n;
}

std::string TavoModbusCOM::BytesToHex(const std::uint8_t* bytes, std::size_t count) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        text.push_back(kDigits[bytes[i] >> 4]);
        text.push_back(kDigits[bytes[i] & 0x0F]);
    }
    return text;
}

std::array<std::uint8_t, 2> TavoModbusCOM::CalcCRC(const std::uint8_t* bytes, std::size_t count) {
    std::uint8_t hi = 0xFF;
    std::uint8_t lo = 0xFF;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t index = hi ^ bytes[i];
        hi = lo ^ kCrc.hi[index];
        lo = kCrc.lo[index];
    }
    return {hi, lo};
}

bool TavoModbusCOM::CheckCRC(const std::uint8_t* frame, std::size_t& length) {
    if (length <= 2) return false;
    const auto crc = CalcCRC(frame, length - 2);
    if (crc[0] != frame[length - 2] || crc[1] != frame[length - 1]) return false;
    length -= 2;
    return true;
}

void TavoModbusCOM::Turnaround() const {
    LineWait(turnaroundMs_);
}

bool TavoModbusCOM::Request(std::string text) {
    if (!port_ || text.size() / 2 + 2 > kFrameLimit) return false;
    requestText_ = std::move(text);
    std::uint8_t frame[kFrameLimit];
    const std::size_t n = HexToBytes(requestText_, frame);
    const auto crc = CalcCRC(frame, n);
    frame[n] = crc[0];
    frame[n + 1] = crc[1];
    // The port drops what is pending before it writes, and a failed answer armed its
    // quiet wait; a request whose answer was never collected arms it here, so its
    // answer, still on its way, is not read as this one's. Broadcasts get none.
    if (awaitingAnswer_) port_->ArmQuietWait();
    awaitingAnswer_ = frame[0] != 0;
    Turnaround();
    return port_->WriteBytes(n + 2, frame);
}

bool TavoModbusCOM::ReadCoils(int slave, int first, int count) {
    return Request(Header(slave, 0x01, first - 1, count));
}

bool TavoModbusCOM::ReadHoldingRegisters(int slave, int first, int count) {
    return Request(Header(slave, 0x03, first - 1, count));
}

bool TavoModbusCOM::ReadFunction32(int slave, int first, int count) {
    return Request(Header(slave, 0x20, first - 1, count));
}

bool TavoModbusCOM::WriteSingleCoil(int slave, int coil, bool on) {
    return Request(Header(slave, 0x05, coil - 1, on ? 0xFF00 : 0x0000));
}

bool TavoModbusCOM::WriteSingleRegister(int slave, int reg, int value) {
    return Request(Header(slave, 0x06, reg - 1, value));
}

bool TavoModbusCOM::WriteMultipleCoils(int slave, int first, int count, int byteCount,
                                       const std::uint8_t* data) {
    if (byteCount < 0 || byteCount > 255 || (byteCount > 0 && !data)) return false;
    return Request(WithData(Header(slave, 0x0F, first - 1, count), byteCount, data));
}

bool TavoModbusCOM::WriteMultipleRegisters(int slave, int first, int count, int byteCount,
                                           const std::uint8_t* data) {
    if (byteCount < 0 || byteCount > 255 || (byteCount > 0 && !data)) return false;
    return Request(WithData(Header(slave, 0x10, first - 1, count), byteCount, data));
}

// Reads single bytes until the frame is complete or a read times out. A frame is
// complete at `fixedLength` bytes when that is given, else at byte count + 5. An
// exception response is complete at 5 bytes, so it fails without waiting out the
// time-out.
bool TavoModbusCOM::Collect(std::size_t fixedLength, std::vector<std::uint8_t>& frame) {
    frame.clear();
    lastException_ = 0;
    awaitingAnswer_ = false;
    if (!port_) return false;
    Turnaround();
    std::uint8_t byte = 0;
    while (frame.size() < kFrameLimit) {
        if (frame.size() >= 5 && (frame[1] & 0x80)) break;
        if (fixedLength ? frame.size() >= fixedLength
                        : (frame.size() >= 3 && frame.size() >= std::size_t{frame[2]} + 5))
            break;
        if (!port_->ReadBytes(1, &byte)) break;
        frame.push_back(byte);
    }
    std::size_t length = frame.size();
    if (length <= 3 || !CheckCRC(frame.data(), length)) return false;
    frame.resize(length);
    // A frame from another slave (a late answer to an earlier request) is no answer
    // to this one, whatever it holds.
    if (requestText_.size() < 4 || frame[0] != RequestByte(0)) return false;
    responseText_ = BytesToHex(frame.data(), frame.size());
    if (responseText_.compare(2, 2, requestText_, 2, 2) != 0) {
        if (frame[1] & 0x80) lastException_ = frame[2];
        return false;
    }
    return true;
}

std::uint8_t TavoModbusCOM::RequestByte(std::size_t i) const {
    if (requestText_.size() < 2 * i + 2) return 0;
    return static_cast<std::uint8_t>(HexDigit(requestText_[2 * i]) * 16 +
                                     HexDigit(requestText_[2 * i + 1]));
}

// Failures arm the port's quiet wait, so that a frame still on its way is drained
// before the next request instead of being read as its response.
bool TavoModbusCOM::Failed() {
    if (port_) port_->ArmQuietWait();
    return false;
}

bool TavoModbusCOM::ReadResponse(std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> frame;
    const bool ok = CheckReadResponse(frame);
    if (ok) data.assign(frame.begin() + 3, frame.end());
    return Finished(frame, ok);
}

bool TavoModbusCOM::CheckReadResponse(std::vector<std::uint8_t>& frame) {
    if (!Collect(0, frame)) return false;
    const std::size_t count = frame[2];
    if (frame.size() != count + 3) return false;
    // The byte count must be what the request's quantity asks for.
    const unsigned quantity = RequestByte(4) << 8 | RequestByte(5);
    const std::uint8_t function = RequestByte(1);
    const std::size_t expected = function == 0x01 ? (quantity + 7) / 8 : 2 * std::size_t{quantity};
    return !((function == 0x01 || function == 0x03 || function == 0x20) && count != expected);
}

bool TavoModbusCOM::WriteResponse() {
    std::vector<std::uint8_t> frame;
    bool ok = Collect(8, frame) && frame.size() == 6;
    // The echo: address and value (5, 6) or address and quantity (15, 16), as sent.
    for (std::size_t i = 2; ok && i < 6; ++i)
        if (frame[i] != RequestByte(i)) ok = false;
    return Finished(frame, ok);
}

bool TavoModbusCOM::Finished(const std::vector<std::uint8_t>& frame, bool ok) {
    if (port_ && port_->GetExchangeObserver()) {
        PortExchange exchange;
        exchange.modbus = true;
        exchange.request.resize(requestText_.size() / 2);
        HexToBytes(requestText_, reinterpret_cast<std::uint8_t*>(exchange.request.data()));
        exchange.reply.assign(frame.begin(), frame.end());
        exchange.ok = ok;
        port_->NotifyExchange(exchange);
    }
    return ok ? true : Failed();
}

} // namespace tavo
