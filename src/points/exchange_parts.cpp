#include "exchange_parts.h"

#include "devices/hex_codes.h"

namespace tavo::decode {
namespace {

unsigned Byte(std::string_view bytes, std::size_t i) {
    return static_cast<unsigned char>(bytes[i]);
}

int Word(std::string_view bytes, std::size_t i) {
    return static_cast<int>(Byte(bytes, i) << 8 | Byte(bytes, i + 1));
}

// Data bytes of `count` coils (function 1, 5, 15) or registers (3, 6, 16).
std::size_t DataBytes(bool coils, int count) {
    const auto n = static_cast<std::size_t>(count);
    return coils ? (n + 7) / 8 : 2 * n;
}

} // namespace

std::optional<AsciiCommand> SplitAsciiCommand(const PortExchange& exchange) {
    const std::string_view line = exchange.request;
    if (exchange.modbus || line.size() < 4 || line.back() != TavoComPort::kTerminator)
        return std::nullopt;
    const auto address = HexByte(line.substr(1, 2));
    if (!address) return std::nullopt;
    return AsciiCommand{line[0], static_cast<int>(*address), line.substr(3, line.size() - 4)};
}

std::optional<AsciiCommand> AsciiCommandTo(const PortExchange& exchange, int address) {
    auto command = SplitAsciiCommand(exchange);
    if (!command || command->address != (address & 0xFF)) return std::nullopt;
    return command;
}

std::optional<std::string_view> ReplyDataAfter(const PortExchange& exchange, char first,
                                               std::size_t from) {
    const std::string_view reply = exchange.reply;
    if (!exchange.ok || exchange.modbus || reply.size() < from + 1 || reply[0] != first ||
        reply.back() != TavoComPort::kTerminator)
        return std::nullopt;
    return reply.substr(from, reply.size() - 1 - from);
}

std::optional<std::string_view> AddressedData(const PortExchange& exchange) {
    return ReplyDataAfter(exchange, '!', 3);
}

std::optional<std::string_view> ValueData(const PortExchange& exchange) {
    return ReplyDataAfter(exchange, '>', 1);
}

std::optional<unsigned> HexByte(std::string_view text) {
    if (text.size() != 2) return std::nullopt;
    return HexValue(text);
}

std::optional<ModbusRequest> SplitModbusRequest(const PortExchange& exchange) {
    const std::string_view frame = exchange.request;
    if (!exchange.modbus || frame.size() < 2) return std::nullopt;
    ModbusRequest request;
    request.slave = static_cast<int>(Byte(frame, 0));
    request.function = static_cast<int>(Byte(frame, 1));
    switch (request.function) {
    case 0x01:
    case 0x03:
        if (frame.size() == 6) {
            request.first = Word(frame, 2) + 1;
            request.count = Word(frame, 4);
        }
        break;
    case 0x05:
    case 0x06:
        if (frame.size() == 6) {
            request.first = Word(frame, 2) + 1;
            request.count = 1;
            request.value = static_cast<std::uint16_t>(Word(frame, 4));
        }
        break;
    case 0x0F:
    case 0x10: {
        if (frame.size() < 7) break;
        const int count = Word(frame, 4);
        const std::size_t bytes = DataBytes(request.function == 0x0F, count);
        if (count < 1 || Byte(frame, 6) != bytes || frame.size() != 7 + bytes) break;
        request.first = Word(frame, 2) + 1;
        request.count = count;
        request.data = frame.substr(7);
        break;
    }
    default:
        break;
    }
    return request;
}

std::optional<std::string_view> ModbusReadData(const PortExchange& exchange,
                                               const ModbusRequest& request) {
    const std::string_view frame = exchange.reply;
    if (!exchange.ok || (request.function != 0x01 && request.function != 0x03) ||
        request.count < 1 || frame.size() < 3 ||
        static_cast<int>(Byte(frame, 0)) != request.slave ||
        static_cast<int>(Byte(frame, 1)) != request.function)
        return std::nullopt;
    const std::size_t expected = DataBytes(request.function == 0x01, request.count);
    if (Byte(frame, 2) != expected || frame.size() != 3 + expected) return std::nullopt;
    return frame.substr(3);
}

std::uint16_t DataWord(std::string_view data, int i) {
    return static_cast<std::uint16_t>(Word(data, 2 * static_cast<std::size_t>(i)));
}

bool DataBit(std::string_view data, int i) {
    return (Byte(data, static_cast<std::size_t>(i / 8)) >> (i % 8)) & 1u;
}

bool IsModbusTo(const PortExchange& exchange, int slave) {
    return exchange.modbus && !exchange.request.empty() &&
           Byte(exchange.request, 0) == static_cast<unsigned>(slave & 0xFF);
}

std::optional<ModbusRead> ModbusReadOf(const PortExchange& exchange, int slave) {
    const auto request = SplitModbusRequest(exchange);
    if (!request || request->slave != (slave & 0xFF) ||
        (request->function != 0x01 && request->function != 0x03) || request->first == 0)
        return std::nullopt;
    ModbusRead read;
    read.coils = request->function == 0x01;
    read.first = request->first;
    read.count = request->count;
    if (const auto data = ModbusReadData(exchange, *request)) {
        std::vector<std::uint16_t> values(static_cast<std::size_t>(read.count));
        for (int i = 0; i < read.count; ++i)
            values[static_cast<std::size_t>(i)] =
                read.coils ? DataBit(*data, i) : DataWord(*data, i);
        read.values = std::move(values);
    }
    return read;
}

std::optional<ModbusWrite> ModbusWriteOf(const PortExchange& exchange, int slave) {
    const auto request = SplitModbusRequest(exchange);
    if (!request || request->slave != (slave & 0xFF) || request->first == 0) return std::nullopt;
    ModbusWrite write;
    write.first = request->first;
    switch (request->function) {
    case 0x05:
        write.coils = true;
        write.values = {request->value == 0xFF00};
        break;
    case 0x06:
        write.values = {request->value};
        break;
    case 0x0F:
    case 0x10:
        write.coils = request->function == 0x0F;
        for (int i = 0; i < request->count; ++i)
            write.values.push_back(write.coils ? DataBit(request->data, i)
                                               : DataWord(request->data, i));
        break;
    default:
        return std::nullopt;
    }
    // The response repeats the request's number and value or quantity.
    write.ok = exchange.ok && exchange.reply.size() >= 6 &&
               exchange.reply.compare(0, 6, exchange.request, 0, 6) == 0;
    return write;
}

} // namespace tavo::decode
