// Replies and typed values of the analog output panels: the read-back texts and
// where they put the track bar, the value edit's parser and the command fields built from what it accepts. The first
// byte picks the data format and the range; the rest is the text.
#include "points/output_values.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const auto format = static_cast<tavo::OutputFormat>(data[0] % 3);
    const int range = (data[0] >> 2) % 4;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    if (const auto shown = tavo::PolledOutputText(text, format)) {
        if (shown->empty() || shown->size() > 40) std::abort();
    }
    if (const auto v = tavo::PlainDecimalValue(text))
        if (!(*v == *v)) std::abort(); // never NaN

    const tavo::TrackLimits limits = tavo::R310TrackLimits(format, range);
    // A polled value puts the bar within its limits, whatever the module sent.
    if (const auto shown = tavo::PolledOutputText(text, format)) {
        const auto at = tavo::PolledTrackPosition(*shown, format, limits);
        if (at && (*at < limits.min || *at > limits.max)) std::abort();
    }
    if (const auto at = tavo::PolledTrackPosition(text, format, limits))
        if (*at < limits.min || *at > limits.max) std::abort();
    tavo::OutputRefusal refusal = tavo::OutputRefusal::None;
    if (const auto value = tavo::ParseOutputValue(text, format, limits, refusal)) {
        // What is accepted lies within the bar and goes out as a fixed-width field.
        if (value->position < limits.min || value->position > limits.max) std::abort();
        const std::string field = tavo::OutputField(*value, format);
        const std::size_t width = format == tavo::OutputFormat::Hex       ? 3
                                  : format == tavo::OutputFormat::Percent ? 7
                                                                          : 6;
        if (field.size() != width) std::abort();
        for (const char c : field)
            if (c < 0x20 || c > 0x7E) std::abort();
    } else if (refusal == tavo::OutputRefusal::None) {
        std::abort();
    }
    for (const int code : {0x30, 0x31, 0x32})
        if (const auto* r = tavo::R330Range(code)) {
            const int p = tavo::R330ScrollPosition(*r, static_cast<double>(size % 41) - 10.0);
            if (p < 0 || p > 100) std::abort();
            (void)tavo::SignedValueField(tavo::R330ScrollValue(*r, p));
        }
    return 0;
}
