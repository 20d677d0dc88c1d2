#include "multi_input_protocol.h"

#include "devices/hex_codes.h"
#include "devices/models_analog.h"

#include <algorithm>

namespace tavo {
namespace {

// Two hexadecimal digits, as the mask and range replies carry them.
bool HexByte(const std::string& text, unsigned& value) {
    if (!IsHexCode(text)) return false;
    value = *HexValue(text);
    return true;
}

} // namespace

bool AsciiMultiInput::ReadEnableMask(unsigned& mask) {
    std::string text;
    return module_.ReadChannelEnable(text) && HexByte(text, mask);
}

bool AsciiMultiInput::WriteEnableMask(unsigned mask) {
    return mask <= 0xFF && module_.SetChannelEnable(static_cast<int>(mask));
}

bool MultiInputProtocol::ReadRanges(int channels, std::vector<int>& codes) {
    codes.assign(static_cast<std::size_t>(std::max(channels, 0)), -1);
    for (int n = 0; n < channels; ++n) {
        int code = -1;
        if (ReadRange(n, code)) codes[static_cast<std::size_t>(n)] = code;
    }
    return true;
}

bool AsciiMultiInput::ReadRange(int channel, int& code) {
    std::string text;
    unsigned value = 0;
    if (!module_.ReadChannelRange(channel, text) || !HexByte(text, value)) return false;
    code = static_cast<int>(value);
    return true;
}

bool AsciiMultiInput::WriteRange(int channel, int code) {
    return code >= 0 && code <= 0xFF && module_.SetChannelRange(channel, code);
}

bool AsciiMultiInput::ReadWatchdog(int& tenths) {
    std::string text;
    if (!module_.ReadWDT(text) || text.empty() || text.size() > 5) return false;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    tenths = value;
    return true;
}

bool AsciiMultiInput::WriteWatchdog(int tenths) {
    return module_.SetWDT(tenths);
}

bool AsciiMultiInput::ReadValues(int channels, bool refreshFormat,
                                 std::vector<ChannelReading>& out) {
    std::string data;
    if (!module_.ReadAll(data)) return false;
    if (refreshFormat) module_.ReadConfig(); // on failure the last known format stands
    // Bits 1..0 of the format byte: "10" is the two's-complement hexadecimal format.
    // The cached code is used as it is: no hidden read on every tick.
    const auto format = HexValue(module_.FormatCode());
    const bool hex = format && (*format & 3u) == 2u;
    return CutChannelFields(data, channels, hex, out);
}

} // namespace tavo
