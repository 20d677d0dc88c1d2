// What the rack's digital and counter slot panels take from a slot's replies and
// from their edit fields: any bytes are judged without a crash, and what is taken
// keeps its meaning (a state word is the digits it came from, an accepted count
// writes back as the number it was, a reading is shown only in its own form).
#include "points/k_slot_data.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (const auto word = tavo::SlotWord(text)) {
        if (*word > 0xFFFF) std::abort();
        if (std::stoul(std::string(text), nullptr, 16) != *word) std::abort();
        if (tavo::HighByteText(text).size() != 4 || tavo::LowByteText(text).size() != 4)
            std::abort();
    }
    if (const auto n = tavo::CounterNumber(text)) {
        const std::string wire = tavo::CounterNumberText(*n);
        if (wire.size() != 10 || tavo::StoredCounterNumber(wire) != n ||
            tavo::CounterNumber(wire) != n)
            std::abort();
    }
    for (unsigned type = 0; type < 3; ++type)
        for (unsigned format : {0u, 2u})
            if (const auto shown = tavo::CounterValueText(text, type, format)) {
                if (format == 2 && shown->rfind("0x", 0) != 0) std::abort();
                if (format != 2 && type != 2 && *shown != text) std::abort();
            }
    for (unsigned type = 0; type < 3; ++type)
        for (unsigned format : {0u, 2u}) {
            // A number exactly where a text is shown, and never a negative one.
            const auto value = tavo::CounterValue(text, type, format);
            if (value.has_value() != tavo::CounterValueText(text, type, format).has_value())
                std::abort();
            if (value && !(*value >= 0.0)) std::abort();
        }
    if (size >= 4)
        if (const auto setup = tavo::CounterConfig(text.substr(0, 2), text.substr(2, 2)))
            if (setup->type >= tavo::kCounterModes || setup->format > 0xFF) std::abort();
    if (const auto scale = tavo::FilterScale(text))
        if (*scale > 99999999999LL || *scale < -99999999999LL) std::abort();
    if (size >= 2) {
        if (const auto map = tavo::ParseAlarmMapping(text.substr(0, 1), text.substr(1, 1)))
            if (map->mapped &&
                (map->slot < 0 || map->slot > 7 || map->output < 0 || map->output > 15))
                std::abort();
    }
    const int slot = tavo::SlotDigit(text);
    if (slot != -1 && (slot < 0 || slot > 7 || text.size() != 2)) std::abort();
    const int channel = tavo::ChannelOfNode(text, 4);
    if (channel != -1 && (channel < 0 || channel > 3)) std::abort();
    (void)tavo::AlarmFlag(text);
    (void)tavo::AlarmMode(text);
    return 0;
}
