// The parts of an observed exchange a family's Take looks at: an ASCII command's
// lead character, address and body, a Modbus request's slave, function and numbers,
// and the data of a read response that has exactly the shape its request asks for.
// Everything here takes any bytes: a part that is not there is simply not found.
#pragma once

#include "transport/com_port.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavo {

struct AsciiRequest {
    char lead = 0;         // '$', '#', '@', '%'
    int address = -1;      // the two hexadecimal digits after the lead, 0 to 255
    std::string_view body; // what follows the address, without the CR
};

// The command line of an ASCII exchange; nullopt for a Modbus exchange or a line
// that is not lead, two hexadecimal digits and a body ended by CR. The body views
// `exchange.request`.
std::optional<AsciiRequest> ParseAsciiRequest(const PortExchange& exchange);

// Characters `from` up to the CR of a reply that begins with `first` ('!' or '>')
// and ends with CR; nullopt for anything else (a refusal, a cut line).
std::optional<std::string_view> ReplyDataAfter(const std::string& reply, char first,
                                               std::size_t from);

struct ModbusRequest {
    int slave = -1;
    int function = -1;
    int first = 0;           // one-based coil or register number (the frame's address + 1)
    int count = 0;           // quantity of a read or a multiple write; 1 for a single write
    std::uint16_t value = 0; // the value of a single write (5: 0xFF00 on, 6: the word)
};

// The request frame of a Modbus exchange (functions 1, 3, 5, 6, 15 and 16 carry
// numbers; others give first and count 0); nullopt for an ASCII exchange or a frame
// shorter than slave and function.
std::optional<ModbusRequest> ParseModbusRequest(const PortExchange& exchange);

// The data bytes of a successful read (function 1 or 3) whose response comes from
// the request's slave with the request's function and exactly the byte count its
// quantity asks for; nullopt otherwise.
std::optional<std::vector<std::uint8_t>> ModbusReadData(const PortExchange& exchange,
                                                        const ModbusRequest& request);

// The words of a function-16 request frame (its values as written), when the frame
// holds as many as its quantity says.
std::optional<std::vector<std::uint16_t>> ModbusWrittenWords(const PortExchange& exchange,
                                                             const ModbusRequest& request);

} // namespace tavo
