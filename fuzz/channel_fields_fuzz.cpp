// The "#AA" reply of the multi-channel analog inputs, cut into channel fields.
// Whatever the bytes, the cutter must not crash, and what it accepts is one field
// per channel of the width the format gives, made only of what a reading may hold.
#include "panels/analog/multi_input_data.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // The first byte chooses the channel count (0 to 8) and the format.
    const int channels = data[0] % 9;
    const bool hex = (data[0] & 0x80) != 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::vector<tavo::ChannelReading> out;
    if (!tavo::CutChannelFields(text, channels, hex, out)) {
        if (!out.empty()) __builtin_trap(); // untouched on failure
        return 0;
    }
    if (out.size() != static_cast<std::size_t>(channels)) __builtin_trap();
    std::size_t used = 0;
    for (const auto& r : out) {
        const std::size_t width = r.burnOut || !hex ? 7 : 4;
        if (r.text.size() != width || r.text != text.substr(used, width)) __builtin_trap();
        if (r.burnOut && r.text != tavo::kBurnOutField) __builtin_trap();
        used += width;
    }
    return 0;
}
