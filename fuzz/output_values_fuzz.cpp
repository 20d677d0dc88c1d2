// Replies and typed values of the analog outputs: the reply fields and the read-back
// texts, the value edit's parser, the command fields built from what it accepts, and
// a value in mA or V sent in the module's data format. The first byte picks the data
// format and the range; the rest is the text.
#include "points/output_values.h"

#include <cmath>
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
    const tavo::OutputChannelRange& span = *tavo::R310Range(0x30 + range % 3);
    if (const auto number = tavo::OutputReplyNumber(text, format)) {
        // A reply field is a value of the range when its format says so.
        if (!std::isfinite(tavo::EngineeringFromFormat(*number, format, span))) std::abort();
        if (!tavo::PolledOutputText(text, format)) std::abort();
    }
    if (const auto v = tavo::PlainDecimalValue(text)) {
        // A value of the range goes out as a field of its format, which reads back
        // as that value to within one step of the format.
        if (const auto sent = tavo::OutputValueFromEngineering(*v, format, span, refusal)) {
            if (*v < span.min || *v > span.max) std::abort();
            const auto back = tavo::OutputReplyNumber(tavo::OutputField(*sent, format), format);
            if (!back) std::abort();
            const double step = (span.max - span.min) / tavo::kHexFullScale;
            if (std::fabs(tavo::EngineeringFromFormat(*back, format, span) - *v) > step)
                std::abort();
        } else if (*v >= span.min && *v <= span.max) {
            std::abort();
        }
    }
    return 0;
}
