#include "request_parts.h"

#include "devices/hex_codes.h"

namespace tavo {
namespace {

std::uint8_t Byte(const std::string& frame, std::size_t i) {
    return static_cast<std::uint8_t>(frame[i]);
}

int Word(const std::string& frame, std::size_t i) {
    return Byte(frame, i) << 8 | Byte(frame, i + 1);
}

} // namespace

std::optional<AsciiRequest> ParseAsciiRequest(const PortExchange& exchange) {
    const std::string& line = exchange.request;
    if (exchange.modbus || line.size() < 4 || line.back() != TavoComPort::kTerminator)
        return std::nullopt;
    const auto address = HexValue(std::string_view(line).substr(1, 2));
    if (!address) return std::nullopt;
    return AsciiRequest{line[0], static_cast<int>(*address),
                        std::string_view(line).substr(3, line.size() - 4)};
}

std::optional<std::string_view> ReplyDataAfter(const std::string& reply, char first,
                                               std::size_t from) {
    if (reply.size() < from + 1 || reply.empty() || reply[0] != first ||
        reply.back() != TavoComPort::kTerminator)
        return std::nullopt;
    return std::string_view(reply).substr(from, reply.size() - 1 - from);
}

std::optional<ModbusRequest> ParseModbusRequest(const PortExchange& exchange) {
    const std::string& frame = exchange.request;
    if (!exchange.modbus || frame.size() < 2) return std::nullopt;
    ModbusRequest request;
    request.slave = Byte(frame, 0);
    request.function = Byte(frame, 1);
    if (frame.size() < 6) return request;
    request.first = Word(frame, 2) + 1;
    switch (request.function) {
    case 0x01:
    case 0x03:
    case 0x0F:
    case 0x10:
        request.count = Word(frame, 4);
        break;
    case 0x05:
    case 0x06:
        request.count = 1;
        request.value = static_cast<std::uint16_t>(Word(frame, 4));
        break;
    default:
        request.first = 0;
        break;
    }
    return request;
}

std::optional<std::vector<std::uint8_t>> ModbusReadData(const PortExchange& exchange,
                                                        const ModbusRequest& request) {
    const std::string& frame = exchange.reply;
    if (!exchange.ok || frame.size() < 3 || Byte(frame, 0) != request.slave ||
        Byte(frame, 1) != request.function || request.count < 1)
        return std::nullopt;
    const std::size_t expected = request.function == 0x01
                                     ? (static_cast<std::size_t>(request.count) + 7) / 8
                                     : 2 * static_cast<std::size_t>(request.count);
    if ((request.function != 0x01 && request.function != 0x03) || Byte(frame, 2) != expected ||
        frame.size() != 3 + expected)
        return std::nullopt;
    return std::vector<std::uint8_t>(frame.begin() + 3, frame.end());
}

std::optional<std::vector<std::uint16_t>> ModbusWrittenWords(const PortExchange& exchange,
                                                             const ModbusRequest& request) {
    const std::string& frame = exchange.request;
    const std::size_t words = static_cast<std::size_t>(request.count);
    if (request.function != 0x10 || words < 1 || frame.size() != 7 + 2 * words ||
        Byte(frame, 6) != 2 * words)
        return std::nullopt;
    std::vector<std::uint16_t> out(words);
    for (std::size_t i = 0; i < words; ++i)
        out[i] = static_cast<std::uint16_t>(Word(frame, 7 + 2 * i));
    return out;
}

} // namespace tavo
