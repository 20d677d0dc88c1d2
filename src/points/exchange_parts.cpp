#include "exchange_parts.h"

#include "devices/hex_codes.h"

namespace tavo::decode {
namespace {

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string_view WithoutCR(std::string_view text) {
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    return text;
}

unsigned Byte(std::string_view s, std::size_t i) {
    return static_cast<unsigned char>(s[i]);
}

} // namespace

std::optional<AsciiCommand> SplitAsciiCommand(const PortExchange& exchange) {
    if (exchange.modbus) return std::nullopt;
    const std::string_view request = WithoutCR(exchange.request);
    if (request.size() < 3) return std::nullopt;
    return AsciiCommand{request[0], request.substr(1, 2), request.substr(3)};
}

bool SameAddressText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

std::optional<std::string_view> AddressedData(const PortExchange& exchange) {
    const std::string_view reply = WithoutCR(exchange.reply);
    if (!exchange.ok || reply.size() < 3 || reply[0] != '!') return std::nullopt;
    return reply.substr(3);
}

std::optional<std::string_view> ValueData(const PortExchange& exchange) {
    const std::string_view reply = WithoutCR(exchange.reply);
    if (!exchange.ok || reply.empty() || reply[0] != '>') return std::nullopt;
    return reply.substr(1);
}

std::optional<unsigned> HexByte(std::string_view text) {
    if (text.size() != 2) return std::nullopt;
    return HexValue(text);
}

std::optional<ModbusRequest> SplitModbusRequest(const PortExchange& exchange) {
    const std::string_view frame = exchange.request;
    if (!exchange.modbus || frame.size() < 6) return std::nullopt;
    ModbusRequest r;
    r.slave = static_cast<int>(Byte(frame, 0));
    r.function = static_cast<int>(Byte(frame, 1));
    r.first = static_cast<int>(Byte(frame, 2) << 8 | Byte(frame, 3)) + 1;
    r.count = static_cast<int>(Byte(frame, 4) << 8 | Byte(frame, 5));
    if (r.function == 0x0F || r.function == 0x10) {
        if (frame.size() < 7 || frame.size() - 7 != Byte(frame, 6)) return std::nullopt;
        r.data = frame.substr(7);
    }
    return r;
}

std::optional<std::string_view> ModbusReadData(const PortExchange& exchange,
                                               const ModbusRequest& request) {
    const std::string_view frame = exchange.reply;
    if (!exchange.ok || frame.size() < 3 || static_cast<int>(Byte(frame, 0)) != request.slave ||
        static_cast<int>(Byte(frame, 1)) != request.function)
        return std::nullopt;
    std::size_t expected = 0;
    if (request.function == 0x01)
        expected = (static_cast<std::size_t>(request.count) + 7) / 8;
    else if (request.function == 0x03)
        expected = 2 * static_cast<std::size_t>(request.count);
    else
        return std::nullopt;
    if (request.count < 1 || Byte(frame, 2) != expected || frame.size() != expected + 3)
        return std::nullopt;
    return frame.substr(3);
}

std::uint16_t DataWord(std::string_view data, int i) {
    const auto at = static_cast<std::size_t>(2 * i);
    return static_cast<std::uint16_t>(Byte(data, at) << 8 | Byte(data, at + 1));
}

bool DataBit(std::string_view data, int i) {
    return (Byte(data, static_cast<std::size_t>(i / 8)) >> (i % 8)) & 1u;
}

} // namespace tavo::decode
