// An RS-485 bus of simulated modules: frames the host's bytes into ASCII lines or
// Modbus RTU frames, lets the addressed modules answer, and applies faults.
#pragma once

#include "module.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <random>
#include <vector>

namespace tavo::sim {

// The host's line settings as the simulator sees them. Over a pseudo-terminal only
// the speed is visible (the pty driver drops parity), so parity is checked only
// when `parityKnown`.
struct Line {
    std::uint32_t baud = 9600;
    int parity = 0;   // 0 none, 1 odd, 2 even
    int stopBits = 1; // 1 or 2
    bool parityKnown = false;
};

// Bytes to send back, `delay` after the request has arrived, one byte every
// `perByte` (zero: all at once). Nanoseconds, so that a reply of many bytes ends
// when the line's own would (86.8 us a character at 115200 baud, not 86).
struct Transmission {
    Bytes bytes;
    std::chrono::nanoseconds delay{0};
    std::chrono::nanoseconds perByte{0};
};

class Bus {
public:
    Bus() = default;
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;

    SimModule& Add(std::unique_ptr<SimModule> module);
    // The module configured at `address` (INIT modules included), or null.
    SimModule* Find(unsigned address);
    const std::vector<std::unique_ptr<SimModule>>& modules() const { return modules_; }

    // Everything that touches modules or line state from another thread locks this.
    std::mutex& mutex() { return mutex_; }

    void SetLine(const Line& line) { line_ = line; }
    const Line& line() const { return line_; }

    // Pace replies as the baud rate would, and count the request's own wire time.
    void SetWireTime(bool on) { wireTime_ = on; }
    bool wireTime() const { return wireTime_; }
    void Seed(unsigned seed) { rng_.seed(seed); }

    // Host bytes that arrived at `now`; appends what the modules send back.
    void Receive(const std::uint8_t* data, std::size_t n, TimePoint now,
                 std::vector<Transmission>& out);
    // The line has been quiet since the last byte: what is buffered is one RTU frame
    // (or noise, which is dropped).
    void Idle(TimePoint now, std::vector<Transmission>& out);
    bool HasPending() const { return !buffer_.empty(); }
    // Every byte the host has sent since the bus was made, whoever it was for (a
    // test that nothing at all was sent looks here).
    std::size_t BytesHeard() const { return heard_; }

    // Time one character takes on the wire at the current line settings.
    std::chrono::nanoseconds CharTime() const;

private:
    void Ascii(std::string_view line, std::size_t requestBytes, TimePoint now,
               std::vector<Transmission>& out);
    void Modbus(const Bytes& frame, std::size_t requestBytes, TimePoint now,
                std::vector<Transmission>& out);
    bool Hears(const SimModule& m) const;
    // Lines an R910 on the bus passes to the modules behind it; their replies join
    // `replies`.
    void Forward(std::string_view line, TimePoint now,
                 std::vector<std::pair<SimModule*, Bytes>>& replies);
    SimModule* BinaryListener(TimePoint now);
    void Emit(std::vector<std::pair<SimModule*, Bytes>>& replies, bool modbus,
              std::size_t requestBytes, std::vector<Transmission>& out);
    void Decode(TimePoint now, std::vector<Transmission>& out);

    std::vector<std::unique_ptr<SimModule>> modules_;
    std::mutex mutex_;
    Line line_;
    bool wireTime_ = false;
    bool converters_ = false; // an R910 is on the bus: its delimiters lead lines too
    std::mt19937 rng_{20261208};
    Bytes buffer_;
    TimePoint lastByte_{};
    std::size_t heard_ = 0;
};

} // namespace tavo::sim
