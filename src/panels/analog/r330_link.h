// How the R330 panel reads and writes the module's channels. The form and its data
// area are the same whatever the protocol; only this object differs: the ASCII
// commands below, or Modbus registers for the module's Modbus variant.
#pragma once

#include "points/output_values.h"

#include <array>
#include <optional>
#include <string>

namespace tavo {

class TavoMR330;

// One channel's setup as the module reports it.
struct R330ChannelSetup {
    int rangeCode = -1;        // 0x30, 0x31 or 0x32
    std::string startup;       // start-up value text, as the module sent it
    std::string emergency;     // emergency value text
    bool emergencyInput = false;
};

class R330Link {
public:
    static constexpr int kChannels = 4;
    using Outputs = std::array<std::optional<double>, kChannels>;
    using Setups = std::array<std::optional<R330ChannelSetup>, kChannels>;

    virtual ~R330Link() = default;
    // How often the panel polls, in milliseconds.
    virtual int PollIntervalMs() const = 0;
    // Whether the outputs are scaled by the ranges the link last read, so that the
    // channel setup must be read before the first outputs.
    virtual bool OutputsNeedRanges() const { return false; }
    // Every channel's output in mA or V: `values[n]` is set for each channel that
    // gave one. False when any did not (a failed transaction, a reply that is no
    // number, a range not known); the channels after a failed transaction are not
    // read.
    virtual bool ReadOutputs(Outputs& values) = 0;
    // Drives channel n; `value` lies within `range`, the channel's range.
    virtual bool WriteOutput(int n, double value, const OutputChannelRange& range) = 0;
    // The four digital inputs, bit n = input n.
    virtual bool ReadInputs(unsigned& bits) = 0;
    // Whether the module has start-up values, emergency values and inputs that the
    // panel can read and write (else only the range is set up).
    virtual bool HasChannelSettings() const = 0;
    // Every channel's setup: `out[n]` is set for each channel read. False when any
    // channel was not read or not understood (a failed transaction, a reply that is
    // not a setting of its kind; a link may give such a channel with range -1); the
    // channels after a failed transaction are not read.
    virtual bool ReadChannelSetups(Setups& out) = 0;
    virtual bool WriteRange(int n, int code) = 0;
    virtual bool WriteStartup(int n, double value) = 0;
    virtual bool WriteEmergency(int n, double value) = 0;
    virtual bool WriteEmergencyInput(int n, bool enabled) = 0;
};

// The ASCII commands: "$AA6C" + n, "#AAC" + n + "%+07.3f", "$AAI", "$AA8C" + n,
// "$AADC" + n, "$AAEC" + n, "$AABC" + n and their writes.
class R330AsciiLink : public R330Link {
public:
    explicit R330AsciiLink(TavoMR330& module) : module_(module) {}

    int PollIntervalMs() const override { return 500; }
    // One command per channel, in order.
    bool ReadOutputs(Outputs& values) override;
    bool WriteOutput(int n, double value, const OutputChannelRange& range) override;
    bool ReadInputs(unsigned& bits) override;
    bool HasChannelSettings() const override { return true; }
    // Four commands per channel, in order.
    bool ReadChannelSetups(Setups& out) override;
    bool WriteRange(int n, int code) override;
    bool WriteStartup(int n, double value) override;
    bool WriteEmergency(int n, double value) override;
    bool WriteEmergencyInput(int n, bool enabled) override;

private:
    bool ReadOutput(int n, double& value);
    bool ReadChannelSetup(int n, R330ChannelSetup& out);

    TavoMR330& module_;
};

} // namespace tavo
