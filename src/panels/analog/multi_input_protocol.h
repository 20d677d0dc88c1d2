// How a multi-channel analog input panel reads and writes its module's channels:
// the enable mask, the per-channel ranges, the communication watchdog and the poll
// of all readings. The ASCII panels use AsciiMultiInput; the Modbus variants share
// the panel and give it an implementation over registers and coils instead.
#pragma once

#include "multi_input_data.h"

#include <vector>

namespace tavo {

class TavoMR270P;

class MultiInputProtocol {
public:
    virtual ~MultiInputProtocol() = default;

    // Bit n = channel n.
    virtual bool ReadEnableMask(unsigned& mask) = 0;
    virtual bool WriteEnableMask(unsigned mask) = 0;
    // The channel's range (type) code.
    virtual bool ReadRange(int channel, int& code) = 0;
    // The ranges of the first `channels` channels in as few requests as the protocol
    // allows; `codes[n]` is -1 for a channel whose range could not be read. False
    // when none could: the one request for all of them failed.
    virtual bool ReadRanges(int channels, std::vector<int>& codes);
    virtual bool WriteRange(int channel, int code) = 0;
    // Tenths of a second, 0 to kMaxWatchdogTenths.
    virtual bool ReadWatchdog(int& tenths) = 0;
    virtual bool WriteWatchdog(int tenths) = 0;
    // One poll of the first `channels` channels. `refreshFormat`: the data format
    // may have changed behind the panel's back (a module in INIT state), so it is
    // read again before the readings are cut. False when the poll failed; `out`
    // then keeps what it had.
    virtual bool ReadValues(int channels, bool refreshFormat, std::vector<ChannelReading>& out) = 0;
};

// The ASCII commands: "$AA6" / "$AA5", "$AA8C" / "$AA7C", "$AAY" / "$AAX", "#AA".
class AsciiMultiInput : public MultiInputProtocol {
public:
    // `module` is the panel's command object; not owned.
    explicit AsciiMultiInput(TavoMR270P& module) : module_(module) {}

    bool ReadEnableMask(unsigned& mask) override;
    bool WriteEnableMask(unsigned mask) override;
    bool ReadRange(int channel, int& code) override;
    bool WriteRange(int channel, int code) override;
    bool ReadWatchdog(int& tenths) override;
    bool WriteWatchdog(int tenths) override;
    bool ReadValues(int channels, bool refreshFormat, std::vector<ChannelReading>& out) override;

private:
    TavoMR270P& module_;
};

} // namespace tavo
