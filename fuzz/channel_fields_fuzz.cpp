// The "#AA" reply of the multi-channel analog inputs, cut into channel fields and
// read as numbers. Whatever the bytes, the cutter must not crash, what it accepts is
// one field per channel of the width the format gives, made only of what a reading
// may hold, and every field it gives reads as a finite number of that format or as
// no number at all.
#include "points/analog_fields.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // The first byte chooses the channel count (0 to 8), the format byte's low bits
    // and the model's resistance format code.
    const int channels = data[0] % 9;
    const bool hex = (data[0] & 0x80) != 0;
    const int ohmsCode = (data[0] & 0x40) ? 3 : 1;
    const auto format = tavo::InputFormatOf(hex ? 2u : (data[0] >> 4) & 3u, ohmsCode);
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
        const tavo::FieldValue v = tavo::ReadInputField(r, format);
        if (r.burnOut != (v.quality == tavo::PointQuality::BurnOut)) __builtin_trap();
        if (!std::isfinite(v.value) || v.decimals < 0 || v.decimals > 5) __builtin_trap();
        if (format == tavo::InputFormat::Hex && (v.value < -32768 || v.value > 32767))
            __builtin_trap();
        if (std::fabs(v.value) >= 1e6) __builtin_trap(); // six digits at the most
    }
    // The whole reply is taken exactly when the fields fill it.
    if (format != tavo::InputFormat::None && hex == (format == tavo::InputFormat::Hex)) {
        std::vector<tavo::ChannelReading> whole;
        if (tavo::CutWholeReply(text, channels, format, whole) != (used == text.size()))
            __builtin_trap();
    }
    return 0;
}
