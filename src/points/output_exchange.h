// The parts of one observed exchange that the point families decode: an ASCII
// command cut into its lead character, address and body with the data of its
// reply, and a Modbus read or write with the numbers it covered and, when it was
// answered whole, what it carried. Every cut is checked against the bytes there
// are: any text may come by here (a garbled reply, another program's request).
#pragma once

#include "transport/com_port.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavo {

struct AsciiCommand {
    char lead = 0;
    std::string_view body; // after the address, without the CR
};
// The command of `exchange` when it is an ASCII command to `address` (two hex
// digits after the lead character, either case); nullopt otherwise. The view points
// into `exchange`.
std::optional<AsciiCommand> AsciiCommandTo(const PortExchange& exchange, int address);
// The data of a successful reply that begins with `first`: after "!AA" for '!', after
// ">" for '>' (the CR left out). Nullopt for a failed exchange or another reply.
std::optional<std::string> ReplyDataOf(const PortExchange& exchange, char first);

// A Modbus read (function 1 or 3) of one slave: one-based first number and count,
// and when the response came whole and fits the request, one value per coil (0 or
// 1) or register.
struct ModbusRead {
    bool coils = false;
    int first = 0;
    int count = 0;
    std::optional<std::vector<std::uint16_t>> values;
    bool Covers(int number) const { return number >= first && number < first + count; }
};
std::optional<ModbusRead> ModbusReadOf(const PortExchange& exchange, int slave);

// A Modbus write (functions 5, 6, 15, 16) of one slave: what the request asked to
// write, one-based, and whether the slave confirmed it.
struct ModbusWrite {
    bool coils = false;
    int first = 0;
    std::vector<std::uint16_t> values; // a coil is 0 or 1
    bool ok = false;
};
std::optional<ModbusWrite> ModbusWriteOf(const PortExchange& exchange, int slave);

// The reason of a failed write for its error line: the module refused it ('?', or
// the Modbus exception `modbusException` when not 0), or did not answer (with the
// port's reason).
std::string WriteFailure(const TavoComPort& port, const std::string& model,
                         int modbusException = 0);

} // namespace tavo
