#include "output_exchange.h"

#include "devices/hex_codes.h"
#include "devices/reply.h"

namespace tavo {
namespace {

std::uint8_t Byte(const std::string& bytes, std::size_t i) {
    return static_cast<std::uint8_t>(bytes[i]);
}

int Word(const std::string& bytes, std::size_t i) {
    return Byte(bytes, i) << 8 | Byte(bytes, i + 1);
}

} // namespace

std::optional<AsciiCommand> AsciiCommandTo(const PortExchange& exchange, int address) {
    const std::string& request = exchange.request;
    if (exchange.modbus || request.size() < 3) return std::nullopt;
    const auto wire = HexValue(std::string_view(request).substr(1, 2));
    if (!wire || static_cast<int>(*wire) != (address & 0xFF)) return std::nullopt;
    std::string_view body = std::string_view(request).substr(3);
    if (!body.empty() && body.back() == TavoComPort::kTerminator) body.remove_suffix(1);
    return AsciiCommand{request[0], body};
}

std::optional<std::string> ReplyDataOf(const PortExchange& exchange, char first) {
    const std::string& reply = exchange.reply;
    if (!exchange.ok || exchange.modbus || reply.empty() || reply[0] != first ||
        reply.back() != TavoComPort::kTerminator)
        return std::nullopt;
    const std::size_t from = first == '>' ? 1 : 3;
    if (reply.size() < from + 1) return std::nullopt;
    return ReplyTail(reply, from);
}

std::optional<ModbusRead> ModbusReadOf(const PortExchange& exchange, int slave) {
    const std::string& request = exchange.request;
    if (!exchange.modbus || request.size() != 6 || Byte(request, 0) != (slave & 0xFF))
        return std::nullopt;
    const int function = Byte(request, 1);
    if (function != 1 && function != 3) return std::nullopt;
    ModbusRead read;
    read.coils = function == 1;
    read.first = Word(request, 2) + 1;
    read.count = Word(request, 4);
    const std::string& reply = exchange.reply;
    if (!exchange.ok || reply.size() < 3 || reply[0] != request[0] || reply[1] != request[1])
        return read;
    const std::size_t bytes = Byte(reply, 2);
    const std::size_t wanted = read.coils ? (static_cast<std::size_t>(read.count) + 7) / 8
                                          : 2 * static_cast<std::size_t>(read.count);
    if (read.count < 1 || bytes != wanted || reply.size() != 3 + bytes) return read;
    std::vector<std::uint16_t> values(static_cast<std::size_t>(read.count));
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = read.coils ? (Byte(reply, 3 + i / 8) >> (i % 8)) & 1
                               : static_cast<std::uint16_t>(Word(reply, 3 + 2 * i));
    read.values = std::move(values);
    return read;
}

std::optional<ModbusWrite> ModbusWriteOf(const PortExchange& exchange, int slave) {
    const std::string& request = exchange.request;
    if (!exchange.modbus || request.size() < 6 || Byte(request, 0) != (slave & 0xFF))
        return std::nullopt;
    ModbusWrite write;
    const int function = Byte(request, 1);
    write.first = Word(request, 2) + 1;
    switch (function) {
    case 5:
    case 6:
        if (request.size() != 6) return std::nullopt;
        write.coils = function == 5;
        write.values = {static_cast<std::uint16_t>(write.coils ? Word(request, 4) == 0xFF00
                                                               : Word(request, 4))};
        break;
    case 15:
    case 16: {
        const int count = Word(request, 4);
        const std::size_t bytes = request.size() > 6 ? Byte(request, 6) : 0;
        write.coils = function == 15;
        const std::size_t wanted = write.coils ? (static_cast<std::size_t>(count) + 7) / 8
                                               : 2 * static_cast<std::size_t>(count);
        if (count < 1 || bytes != wanted || request.size() != 7 + bytes) return std::nullopt;
        for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i)
            write.values.push_back(
                static_cast<std::uint16_t>(write.coils ? (Byte(request, 7 + i / 8) >> (i % 8)) & 1
                                                       : Word(request, 7 + 2 * i)));
        break;
    }
    default:
        return std::nullopt;
    }
    // The echo repeats the request's address and value or quantity.
    write.ok = exchange.ok && exchange.reply.size() >= 6 &&
               exchange.reply.compare(0, 6, request, 0, 6) == 0;
    return write;
}

std::string WriteFailure(const TavoComPort& port, const std::string& model, int modbusException) {
    if (modbusException != 0)
        return "the " + model + " refused the write (Modbus exception " +
               HexText(static_cast<unsigned>(modbusException), 2) + ")";
    const PortError& error = port.LastError();
    if (error.kind == PortError::Kind::Refused) return "the " + model + " refused the write";
    return "the " + model + " did not confirm the write" +
           (error.text.empty() ? std::string() : ": " + error.text);
}

} // namespace tavo
