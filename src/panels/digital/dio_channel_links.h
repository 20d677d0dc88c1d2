// The protocol objects behind the channel-setting dialog of the universal digital
// I/O modules (R850, R860): one channel's input or output mode and the values that
// go with it, over ASCII commands or over the modules' Modbus channel map.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace tavo {

class TavoMR850;

// Channel numbers are the module's (DI0..DI6, DO0..DO7). Widths and delays are in
// 0.1 ms.
class DioChannelLink {
public:
    virtual ~DioChannelLink() = default;

    // The input mode byte: bits 3..0 the mode, 5 keep the count, 6 filter, 7 invert.
    virtual bool ReadInputMode(int c, unsigned& mode) = 0;
    virtual bool SetInputMode(int c, unsigned mode) = 0;
    // The filter's minimum low and high signal widths.
    virtual bool ReadInputWidths(int c, std::uint32_t& low, std::uint32_t& high) = 0;
    virtual bool SetInputWidths(int c, std::uint32_t low, std::uint32_t high) = 0;
    // The counter value, the latch (0/1) or the frequency in 0.1 Hz, by mode.
    virtual bool ReadCounter(int c, std::uint32_t& value) = 0;
    virtual bool ReadCounting(int c, bool& counting) = 0;
    virtual bool SetCounting(int c, bool counting) = 0;
    // What the "Counter Clear" and the "Clear Latch" buttons send.
    virtual bool ClearCounter(int c) = 0;
    virtual bool ClearLatch(int c) = 0;

    // The output mode: 0 D/O, 1 pulse, 2 low-to-high delay, 3 high-to-low delay.
    virtual bool ReadOutputMode(int c, unsigned& mode) = 0;
    virtual bool SetOutputMode(int c, unsigned mode) = 0;
    // Low width, high width, low-to-high delay, high-to-low delay.
    using Timings = std::array<std::uint32_t, 4>;
    virtual bool ReadTimings(int c, Timings& timings) = 0;
    virtual bool SetTimings(int c, const Timings& timings) = 0;
    // Starts `count` pulses (0: without end); a count of 1 ends a train early.
    virtual bool SetPulseCount(int c, std::uint32_t count) = 0;
    virtual bool ReadPulseCount(int c, bool& running, std::uint32_t& remaining) = 0;
};

// ASCII: "$AACIC", "$AA0C", "#AA{c}", "$AA5", "@AACAC", "$AA6", "$AACOC", "$AA9",
// "#AAERFF" and "$AAERFF" through the panel's TavoMR850 (which outlives the link).
std::unique_ptr<DioChannelLink> MakeAsciiChannelLink(TavoMR850& device);

// Modbus, one-based numbers: input modes in holding registers 301 + c, output modes
// 311 + c, channel values 321 + 2c (two registers, high word first), filter widths
// 341 + 4c (low, then high width, two registers each), output timings 401 + 8c
// (four values of two registers), pulse counts 471 + 2c; coils 33 + c counting,
// 49 + c latch (writing 0 clears count and latch), 65 + c pulsing. Requests go
// through the TavoModbusCOM of `device` to the slave of `address`.
std::unique_ptr<DioChannelLink> MakeModbusChannelLink(TavoMR850& device, const std::string& address);

} // namespace tavo
