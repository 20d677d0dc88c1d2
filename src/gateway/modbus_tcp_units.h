// The Modbus TCP server's side without sockets: what each unit id holds (the
// configured modules at that address and the latest poll of each), the framing of
// the bytes a client sends, and the answer to one request. Reads are answered from
// the latest poll at once; a write becomes write requests for the bus workers, and
// its answer is built once they answered. Everything here is pure: tests and the
// fuzz harness feed it bytes and events.
//
// Exceptions: 01 an unknown function, or a write to a table that holds nothing
// writable; 02 a number or count past the map, a point that is not writable, half a
// float (function 6 always, as every holding register is half a float); 03 a count
// outside the protocol's limits, a byte count that disagrees, a coil value other than
// FF00 or 0000, a float that is not a number or lies outside the point's limits; 04
// the module refused the write or did not answer; 06 the bus has too many writes
// waiting; 0A a unit id no configured module has; 0B a module not identified yet, or
// a point never read or not read by the last `stale_after` polls.
#pragma once

#include "bus_events.h"
#include "gateway_config.h"
#include "modbus_tcp_map.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tavo::gateway {

using Bytes = std::vector<std::uint8_t>;

namespace modbus_exception {
constexpr std::uint8_t kIllegalFunction = 0x01;
constexpr std::uint8_t kIllegalAddress = 0x02;
constexpr std::uint8_t kIllegalValue = 0x03;
constexpr std::uint8_t kDeviceFailure = 0x04;
constexpr std::uint8_t kBusy = 0x06;
constexpr std::uint8_t kPathUnavailable = 0x0A;
constexpr std::uint8_t kTargetFailed = 0x0B;
} // namespace modbus_exception

// The MBAP header (7 bytes) and at most 253 bytes of PDU.
constexpr std::size_t kMbapHeader = 7;
constexpr std::size_t kMaxAdu = kMbapHeader - 1 + 254;

enum class FrameCheck {
    Incomplete, // more bytes are needed; `length` is how many when the header is whole
    Whole,      // the first `length` bytes are one request
    Bad,        // no request can start here: the connection is to be closed (`why`)
};
// Looks at the start of what a client sent.
FrameCheck CheckFrame(const std::uint8_t* data, std::size_t size, std::size_t& length, std::string& why);

// The answer to one request: bytes to send now, or writes to make first.
struct ModbusOutcome {
    Bytes reply;                        // empty while writes wait
    std::vector<WriteRequest> writes;   // replyTo and tag are the server's to fill in
    Bytes done;                         // what to send when every write succeeded
    Bytes header;                       // transaction id, protocol id, unit id: for an exception later
    std::uint8_t function = 0;
};
// An exception answer to the request whose header and function are in `outcome`.
Bytes ModbusExceptionReply(const ModbusOutcome& outcome, std::uint8_t code);

class ModbusTcpUnits {
public:
    explicit ModbusTcpUnits(int staleAfter = 3) : staleAfter_(staleAfter) {}

    // The modules that exist from now on. What is known of a module that stays
    // configured as it was stays known.
    void Configure(const GatewayConfig& config);

    // Descriptions and poll results; other events are not the units' business.
    void Take(const BusEvent& event);

    // The answer to one whole request (CheckFrame said Whole).
    ModbusOutcome Handle(const std::uint8_t* adu, std::size_t length) const;

private:
    struct Module {
        ModuleConfig config;
        ModuleKey key;
        std::optional<ModuleDescription> description;
        ModbusLayout layout;
        std::vector<PointQuality> quality;  // of the latest poll; Failed before any
        std::vector<PointQuality> kept;     // of the last reading that was not Failed
        std::vector<double> value;          // of that reading
        std::vector<int> missed;            // polls since it; -1 never read
        bool polled = false;
    };
    struct Unit {
        std::map<int, Module> blocks; // by slot, -1 the module itself
    };

    Module* Find(const ModuleKey& key);
    bool Stale(const Module& m, int point) const;
    Bytes Read(const Module& m, ModbusTable table, int offset, int count, std::uint8_t& code) const;
    void PlanWrite(const Module& m, std::uint8_t function, ModbusTable table, int offset, int count,
                   const std::uint8_t* values, ModbusOutcome& out, std::uint8_t& code) const;

    int staleAfter_;
    std::map<int, Unit> units_; // by address
};

} // namespace tavo::gateway
