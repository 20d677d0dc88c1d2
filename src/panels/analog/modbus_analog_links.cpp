#include "modbus_analog_links.h"

#include "points/modbus_analog_data.h"
#include "points/output_values.h"

#include "panels/common/modbus_panel.h"

#include "devices/r_base.h"

namespace tavo {
namespace {

bool Channel(int n, int count) {
    return n >= 0 && n < count;
}

} // namespace

// ---- Multi-channel inputs ------------------------------------------------------------

ModbusMultiInput::ModbusMultiInput(TavoRBase& module, int slave)
    : slave_(module.GetModbus(), slave) {}

bool ModbusMultiInput::ReadEnableMask(unsigned& mask) {
    std::vector<std::uint16_t> words;
    if (!slave_.ReadRegisters(kEnableMaskRegister, 1, words)) return false;
    mask = words[0] & 0xFFu;
    mask_ = mask;
    return true;
}

bool ModbusMultiInput::WriteEnableMask(unsigned mask) {
    return mask <= 0xFF &&
           slave_.WriteRegister(kEnableMaskRegister, static_cast<std::uint16_t>(mask));
}

bool ModbusMultiInput::ReadRange(int channel, int& code) {
    if (!Channel(channel, kMaxChannels)) return false;
    auto& last = codes_[static_cast<std::size_t>(channel)];
    last = -1;
    std::vector<std::uint16_t> words;
    if (!slave_.ReadRegisters(kFirstRangeRegister + channel, 1, words)) return false;
    code = last = words[0] & 0xFF;
    return true;
}

bool ModbusMultiInput::ReadRanges(int channels, std::vector<int>& codes) {
    if (!Channel(channels - 1, kMaxChannels)) return false;
    codes_.fill(-1);
    std::vector<std::uint16_t> words;
    if (!slave_.ReadRegisters(kFirstRangeRegister, channels, words)) return false;
    codes.assign(static_cast<std::size_t>(channels), -1);
    for (std::size_t n = 0; n < words.size(); ++n)
        codes[n] = codes_[n] = words[n] & 0xFF;
    return true;
}

bool ModbusMultiInput::WriteRange(int channel, int code) {
    return Channel(channel, kMaxChannels) && code >= 0 && code <= 0xFF &&
           slave_.WriteRegister(kFirstRangeRegister + channel, static_cast<std::uint16_t>(code));
}

bool ModbusMultiInput::ReadRaw(int channels, std::vector<std::uint16_t>& raw) {
    return Channel(channels - 1, kMaxChannels) &&
           slave_.ReadRegisters(kFirstValueRegister, channels, raw);
}

bool ModbusMultiInput::ReadBurnOut(int channels, std::uint32_t& bits) {
    return Channel(channels - 1, kMaxChannels) &&
           slave_.ReadCoils(kFirstBurnOutCoil, channels, bits);
}

bool ModbusMultiInput::ReadValues(int channels, bool, std::vector<ChannelReading>& out) {
    std::vector<std::uint16_t> raw;
    std::uint32_t burnt = 0;
    if (!ReadRaw(channels, raw) || !ReadBurnOut(channels, burnt)) return false;
    out.assign(static_cast<std::size_t>(channels), {});
    for (int n = 0; n < channels; ++n) {
        auto& r = out[static_cast<std::size_t>(n)];
        r.text = std::to_string(raw[static_cast<std::size_t>(n)]);
        r.burnOut = (burnt >> n) & 1;
    }
    return true;
}

int ModbusMultiInput::LastRange(int channel) const {
    return Channel(channel, kMaxChannels) ? codes_[static_cast<std::size_t>(channel)] : -1;
}

// ---- R330 ----------------------------------------------------------------------------

R330ModbusLink::R330ModbusLink(TavoRBase& module, int slave)
    : slave_(module.GetModbus(), slave), intervalMs_(ModbusPollIntervalMs(module.GetPort())) {}

bool R330ModbusLink::ReadOutputs(Outputs& values) {
    raw_.fill(std::nullopt);
    std::vector<std::uint16_t> words;
    if (!slave_.ReadRegisters(kFirstR330OutputRegister, kChannels, words)) return false;
    bool all = true;
    for (std::size_t i = 0; i < raw_.size(); ++i) {
        raw_[i] = words[i];
        const OutputChannelRange* range = R330Range(codes_[i]);
        const auto value = range ? R330ValueFromRaw(*range, words[i]) : std::nullopt;
        if (value)
            values[i] = *value;
        else
            all = false;
    }
    return all;
}

bool R330ModbusLink::WriteOutput(int n, double value, const OutputChannelRange& range) {
    return Channel(n, kChannels) &&
           slave_.WriteRegister(kFirstR330OutputRegister + n, R330RawFromValue(range, value));
}

bool R330ModbusLink::ReadInputs(unsigned& bits) {
    std::uint32_t coils = 0;
    inputs_.reset();
    if (!slave_.ReadCoils(kFirstR330InputCoil, kChannels, coils)) return false;
    bits = coils;
    inputs_ = bits;
    return true;
}

bool R330ModbusLink::ReadChannelSetups(Setups& out) {
    std::vector<std::uint16_t> words;
    if (!slave_.ReadRegisters(kFirstR330RangeRegister, kChannels, words)) return false;
    bool all = true;
    for (std::size_t i = 0; i < codes_.size(); ++i) {
        // A whole register that is no range code (its high byte included) is refused.
        codes_[i] = R330Range(words[i]) ? words[i] : -1;
        all = all && codes_[i] >= 0;
        out[i] = R330ChannelSetup{};
        out[i]->rangeCode = codes_[i];
    }
    return all;
}

bool R330ModbusLink::WriteRange(int n, int code) {
    if (!Channel(n, kChannels) || !R330Range(code) ||
        !slave_.WriteRegister(kFirstR330RangeRegister + n, static_cast<std::uint16_t>(code)))
        return false;
    codes_[static_cast<std::size_t>(n)] = code;
    return true;
}

std::optional<std::uint16_t> R330ModbusLink::LastRaw(int n) const {
    return Channel(n, kChannels) ? raw_[static_cast<std::size_t>(n)] : std::nullopt;
}

int R330ModbusLink::RangeCode(int n) const {
    return Channel(n, kChannels) ? codes_[static_cast<std::size_t>(n)] : -1;
}

} // namespace tavo
