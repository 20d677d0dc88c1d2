// The small interface a serial port back end offers to TavoComPort. The POSIX
// termios implementation is one back end; the simulator offers an in-process one.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tavo {

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;

// Line-setting codes as callers pass them (the same numbers the module tools have
// always used): parity 0 none, 1 odd, 2 even; stop bits 0 = one, 2 = two.
enum ParityCode : int { kParityNone = 0, kParityOdd = 1, kParityEven = 2 };
enum StopBitsCode : int { kOneStopBit = 0, kTwoStopBits = 2 };

struct LineSettings {
    std::uint32_t baud = 9600;
    int dataBits = 8;
    int parity = kParityNone;
    int stopBits = kOneStopBit;

    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// Why an operation failed. Callers that only need true/false ignore it; the CLI and
// logs use it to say what to do.
struct PortError {
    enum class Kind {
        None,
        NotOpen,      // operation on a closed port
        NotFound,     // no such device
        Permission,   // device exists, we may not open it
        Busy,         // another program holds the port
        NotSerial,    // the path is no serial device (a file, /dev/null)
        Settings,     // the driver refused the line settings
        Timeout,      // nothing (or not enough) arrived before the deadline
        Io,           // the driver reported an error; the port was reopened
        Refused,      // the module answered '?'
        BadReply,     // reply did not start with '!' or '>' or lacked its CR
        Overlong,     // reply longer than the caller's limit
        Checksum,     // reply checksum did not match
        Protocol,     // Modbus frame short, bad CRC or wrong function code
    };
    Kind kind = Kind::None;
    int osErrno = 0;
    std::string text; // one line, for people

    explicit operator bool() const { return kind != Kind::None; }
};

// Result of one read or write at the back end. A time-out is a short count with
// error kind Timeout; anything else is a hard error.
struct IoResult {
    std::size_t count = 0;
    PortError error;
    bool ok() const { return !error; }
};

// Whether a port's line settings can be set, and if not, why: a raw TCP device
// server carries the line's bytes only; an RFC 2217 one may refuse the option.
enum class FixedLine { No, RawTcp, ServerRefused };

class SerialBackend {
public:
    virtual ~SerialBackend() = default;

    // `name` is an operating-system port name (ttyUSB0) or a device path.
    // Returns false and fills `error` when the port cannot be opened.
    virtual bool Open(const std::string& name, PortError& error) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // The settings the driver holds right after Open.
    virtual LineSettings CurrentSettings() const = 0;
    virtual bool Apply(const LineSettings& settings, PortError& error) = 0;

    // Writes all `n` bytes unless the deadline passes or the driver fails.
    virtual IoResult Write(const std::uint8_t* data, std::size_t n, Deadline deadline) = 0;
    // Reads up to `n` bytes; returns as soon as at least one byte is there or the
    // deadline has passed (count 0, kind Timeout). Never reads more than `n`.
    virtual IoResult Read(std::uint8_t* data, std::size_t n, Deadline deadline) = 0;
    // Drops whatever the driver has received and not yet delivered.
    virtual bool DiscardInput() = 0;
    // Asks the far end of the line (a device server) to drop what it holds for
    // us too. Only on an explicit purge: before every write it would cost each
    // transaction a round of the server's own.
    virtual bool PurgeRemote() { return true; }
    // Why line settings cannot reach the line, where they cannot.
    virtual FixedLine LineFixed() const { return FixedLine::No; }
    bool CanSetLineSettings() const { return LineFixed() == FixedLine::No; }
};

} // namespace tavo
