// The parts of an observed exchange that the families decode: the ASCII command's
// lead character, address and body with the reply's data, and the Modbus request's
// slave, function, first number and count with the response's data. Every function
// takes any bytes (the exchange may be garbage) and answers nothing rather than read
// past what is there. In a namespace of their own, beside the families' own helpers.
#pragma once

#include "transport/com_port.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace tavo::decode {

struct AsciiCommand {
    char lead = 0;
    std::string_view address; // the two characters after the lead, as sent
    std::string_view body;    // the rest, without the CR
};
// The command of an ASCII exchange; nullopt for a Modbus exchange and for a request
// too short to name an address.
std::optional<AsciiCommand> SplitAsciiCommand(const PortExchange& exchange);
// Whether two address texts name the same module ("0a" is "0A").
bool SameAddressText(std::string_view a, std::string_view b);

// The data of a successful reply: after "!AA" for a '!' reply, after ">" for a '>'
// reply, without the CR. Nullopt when the exchange failed or the reply is of the
// other kind.
std::optional<std::string_view> AddressedData(const PortExchange& exchange);
std::optional<std::string_view> ValueData(const PortExchange& exchange);

// Two hexadecimal digits; nullopt for anything else.
std::optional<unsigned> HexByte(std::string_view text);

struct ModbusRequest {
    int slave = 0;
    int function = 0;
    int first = 0;         // one-based: the frame's number + 1
    int count = 0;         // quantity of a read or multiple write; the value of a single write
    std::string_view data; // what follows a multiple write's byte count
};
// The request of a Modbus exchange (slave, function, number, quantity or value, and
// a multiple write's data when its byte count is whole); nullopt for an ASCII
// exchange and for a request too short for its function.
std::optional<ModbusRequest> SplitModbusRequest(const PortExchange& exchange);
// The data bytes of a successful read response (functions 1 and 3): exactly what the
// request's quantity asks for, from the slave that was asked. Nullopt otherwise.
std::optional<std::string_view> ModbusReadData(const PortExchange& exchange,
                                               const ModbusRequest& request);
// Word `i` (big-endian) or bit `i` of response data; the caller keeps `i` within it.
std::uint16_t DataWord(std::string_view data, int i);
bool DataBit(std::string_view data, int i);

} // namespace tavo::decode
