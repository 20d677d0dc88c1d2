// The parts of an observed exchange that the point families decode: an ASCII command
// cut into its lead character, address and body with the data of its reply, and a
// Modbus request's slave, function and numbers with what its response or its own
// frame carried. Any bytes may come by here (a garbled reply, another program's
// request): every cut is checked against the bytes there are, a part that is not
// there is simply not found, and a view points into the exchange.
#pragma once

#include "transport/com_port.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tavo::decode {

struct AsciiCommand {
    char lead = 0;         // '$', '#', '@', '%'
    int address = -1;      // the two hexadecimal digits after the lead (either case), 0 to 255
    std::string_view body; // what follows the address, without the CR
};
// The command line of an ASCII exchange; nullopt for a Modbus exchange or a line that
// is not lead, two hexadecimal digits and a body ended by CR.
std::optional<AsciiCommand> SplitAsciiCommand(const PortExchange& exchange);
// The same, only when the command is to `address`.
std::optional<AsciiCommand> AsciiCommandTo(const PortExchange& exchange, int address);

// Characters `from` up to the CR of a successful ASCII reply that begins with `first`
// and ends with CR; nullopt for a failed exchange, a refusal or a cut line. The
// digital state reply has its data right after the '!' (from 1).
std::optional<std::string_view> ReplyDataAfter(const PortExchange& exchange, char first,
                                               std::size_t from);
// The data after "!AA" of a '!' reply, and after ">" of a '>' reply.
std::optional<std::string_view> AddressedData(const PortExchange& exchange);
std::optional<std::string_view> ValueData(const PortExchange& exchange);

// Exactly two hexadecimal digits; nullopt for anything else.
std::optional<unsigned> HexByte(std::string_view text);

struct ModbusRequest {
    int slave = -1;
    int function = -1;
    // One-based first coil or register (the frame's number + 1) and quantity: 1 for a
    // single write. Both 0 for a function without numbers and for a frame that is not
    // exactly as long as its function and quantity say.
    int first = 0;
    int count = 0;
    std::uint16_t value = 0; // a single write's value (5: 0xFF00 on, 6: the word)
    std::string_view data;   // a multiple write's values, after its byte count
};
// The request frame of a Modbus exchange; nullopt for an ASCII exchange or a frame
// shorter than slave and function.
std::optional<ModbusRequest> SplitModbusRequest(const PortExchange& exchange);
// The data bytes of a successful read (function 1 or 3) whose response comes from the
// request's slave with the request's function and exactly the byte count its quantity
// asks for; nullopt otherwise.
std::optional<std::string_view> ModbusReadData(const PortExchange& exchange,
                                               const ModbusRequest& request);
// Word `i` (big-endian) or bit `i` of read or write data; the caller keeps `i` within
// the request's quantity.
std::uint16_t DataWord(std::string_view data, int i);
bool DataBit(std::string_view data, int i);

// Whether the exchange is a Modbus request to `slave`, whatever it asked.
bool IsModbusTo(const PortExchange& exchange, int slave);

// A Modbus read (function 1 or 3) of one slave: one-based first number and count,
// and when the response came whole and fits the request, one value per coil (0 or 1)
// or register.
struct ModbusRead {
    bool coils = false;
    int first = 0;
    int count = 0;
    std::optional<std::vector<std::uint16_t>> values;
    bool Covers(int number) const { return number >= first && number < first + count; }
};
std::optional<ModbusRead> ModbusReadOf(const PortExchange& exchange, int slave);

// A Modbus write (functions 5, 6, 15, 16) of one slave: what the request asked to
// write, one-based, and whether the slave confirmed it (the exchange succeeded and
// the response repeats the request's number and value or quantity).
struct ModbusWrite {
    bool coils = false;
    int first = 0;
    std::vector<std::uint16_t> values; // a coil is 0 or 1
    bool ok = false;
};
std::optional<ModbusWrite> ModbusWriteOf(const PortExchange& exchange, int slave);

} // namespace tavo::decode
