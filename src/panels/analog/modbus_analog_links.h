// The Modbus side of the analog panels: the channel protocol of the multi-channel
// inputs over holding registers and coils, and the R330's channel link. Both go to
// the slave through the TavoModbusCOM of the panel's command object and remember
// what they last read, so that the panels can show the raw registers beside the
// values.
#pragma once

#include "multi_input_protocol.h"
#include "r330_link.h"

#include "devices/modbus_slave.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace tavo {

class TavoRBase;

class ModbusMultiInput : public MultiInputProtocol {
public:
    static constexpr int kMaxChannels = 8;

    // `module` is the panel's command object (not owned); `slave` the module's id.
    ModbusMultiInput(TavoRBase& module, int slave);

    // Register 221 and registers 201 + n (their low bytes).
    bool ReadEnableMask(unsigned& mask) override;
    bool WriteEnableMask(unsigned mask) override;
    bool ReadRange(int channel, int& code) override;
    // Registers 201 .. 200 + channels in one request.
    bool ReadRanges(int channels, std::vector<int>& codes) override;
    bool WriteRange(int channel, int code) override;
    // The Modbus map has no watchdog register.
    bool ReadWatchdog(int&) override { return false; }
    bool WriteWatchdog(int) override { return false; }
    // Registers 1 .. channels and the burn-out coils: each reading is the raw
    // register in decimal ("32768"), or burnt out.
    bool ReadValues(int channels, bool refreshFormat, std::vector<ChannelReading>& out) override;

    // Holding registers 1 .. channels.
    bool ReadRaw(int channels, std::vector<std::uint16_t>& raw);
    // Coils 201 .. 200 + channels, bit n = channel n.
    bool ReadBurnOut(int channels, std::uint32_t& bits);
    bool ReadFirmware(std::string& out) { return slave_.ReadFirmware(out); }

    // What the last reads gave: the mask, and each channel's range code (-1 when
    // its last read failed or none was made).
    std::optional<unsigned> LastMask() const { return mask_; }
    int LastRange(int channel) const;

private:
    ModbusSlave slave_;
    std::optional<unsigned> mask_;
    std::array<int, kMaxChannels> codes_{-1, -1, -1, -1, -1, -1, -1, -1};
};

// The R330 in Modbus: outputs in holding registers 1 .. 4 (0 .. 4095 over the
// channel's range), ranges in registers 201 .. 204, inputs in coils 1 .. 4, each
// block in one request. The map has no start-up or emergency values, so only the
// range is set up. The ranges are read with the channel setup (at start and after
// a write), never by a poll.
class R330ModbusLink : public R330Link {
public:
    R330ModbusLink(TavoRBase& module, int slave);

    int PollIntervalMs() const override { return intervalMs_; }
    bool OutputsNeedRanges() const override { return true; }
    // Registers 1 .. 4, scaled by the ranges last read. A channel whose range is not
    // known, or whose register lies above the scale, gives no value.
    bool ReadOutputs(Outputs& values) override;
    bool WriteOutput(int n, double value, const OutputChannelRange& range) override;
    bool ReadInputs(unsigned& bits) override;
    bool HasChannelSettings() const override { return false; }
    // Registers 201 .. 204: every channel is set when they were read; a register
    // that holds no R330 range comes as range -1.
    bool ReadChannelSetups(Setups& out) override;
    bool WriteRange(int n, int code) override;
    bool WriteStartup(int, double) override { return false; }
    bool WriteEmergency(int, double) override { return false; }
    bool WriteEmergencyInput(int, bool) override { return false; }

    bool ReadFirmware(std::string& out) { return slave_.ReadFirmware(out); }
    // The output register as last read (nullopt: the last read failed).
    std::optional<std::uint16_t> LastRaw(int n) const;
    // The range code the outputs of channel n are scaled by (-1: not known).
    int RangeCode(int n) const;
    // The inputs as last read (nullopt: the last read failed).
    std::optional<unsigned> LastInputs() const { return inputs_; }

private:
    ModbusSlave slave_;
    int intervalMs_;
    std::array<int, kChannels> codes_{-1, -1, -1, -1};
    std::array<std::optional<std::uint16_t>, kChannels> raw_{};
    std::optional<unsigned> inputs_;
};

} // namespace tavo
