#include "k_slot_data.h"

#include <cstdio>

namespace tavo {
namespace {

bool AllHex(std::string_view t) {
    for (const char c : t)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')))
            return false;
    return !t.empty();
}

bool AllDigits(std::string_view t) {
    for (const char c : t)
        if (c < '0' || c > '9') return false;
    return !t.empty();
}

unsigned long long DecimalValue(std::string_view t) {
    unsigned long long v = 0;
    for (const char c : t)
        v = v * 10 + static_cast<unsigned>(c - '0');
    return v;
}

std::string_view Trimmed(std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t'))
        t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t'))
        t.remove_suffix(1);
    return t;
}

constexpr unsigned long long kMaxCount = 0xFFFFFFFFull;

// model, DIP switch, alarm mask, watchdog group, watchdog outputs, first bit,
// buttons, captions, buttons enabled.
constexpr KDigitalMember kDigitalMembers[] = {
    {"K510", true, true, true, 8, 0, 16, "OOOOOOOOIIIIIIII", true},
    {"K520", false, false, false, 0, 0, 16, "IIIIIIIIIIIIIIII", true},
    {"K530", false, false, false, 0, 0, 16, "IIIIIIIIIIIIIIII", false},
    {"K540", false, true, true, 8, 0, 16, "OOOOOOOOIIIIIIII", true},
    {"K550", false, true, true, 16, 0, 16, "OOOOOOOOOOOOOOOO", true},
    // The relay slots report their relays in the state word's high byte. The K610
    // has six relays: its form has no buttons for relays it does not have.
    {"K610", false, true, true, 6, 8, 6, "OOOOOO", true},
    {"K620", false, true, true, 8, 8, 8, "OOOOOOOO", true},
    {"K630", false, true, true, 8, 8, 8, "OOOOOOOO", true},
};

} // namespace

std::optional<unsigned> SlotWord(std::string_view data) {
    if (data.size() != 4 || !AllHex(data)) return std::nullopt;
    return static_cast<unsigned>(std::stoul(std::string(data), nullptr, 16));
}

std::string HighByteText(std::string_view word) {
    return "0x" + std::string(word.substr(0, 2));
}
std::string LowByteText(std::string_view word) {
    return "0x" + std::string(word.substr(word.size() < 2 ? word.size() : 2, 2));
}

std::optional<std::string> CounterValueText(std::string_view reply, unsigned type,
                                            unsigned format) {
    if (format == 2) {
        if (reply.size() > 8 || !AllHex(reply)) return std::nullopt;
        return "0x" + std::string(reply);
    }
    if (reply.size() > 10 || !AllDigits(reply)) return std::nullopt;
    if (type != 2) return std::string(reply);
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(DecimalValue(reply)) * 0.01);
    return std::string(text);
}

std::optional<double> CounterValue(std::string_view reply, unsigned type, unsigned format) {
    if (!CounterValueText(reply, type, format)) return std::nullopt;
    const double v = format == 2 ? static_cast<double>(std::stoull(std::string(reply), nullptr, 16))
                                 : static_cast<double>(DecimalValue(reply));
    return type == kCounterFrequencyMode ? v * 0.01 : v;
}

std::optional<CounterSetup> CounterConfig(std::string_view tt, std::string_view ff) {
    if (tt.size() != 2 || ff.size() != 2 || !AllHex(tt) || !AllHex(ff)) return std::nullopt;
    CounterSetup setup;
    setup.type = static_cast<unsigned>(std::stoul(std::string(tt), nullptr, 16));
    setup.format = static_cast<unsigned>(std::stoul(std::string(ff), nullptr, 16));
    if (setup.type >= kCounterModes) return std::nullopt;
    return setup;
}

std::optional<bool> AlarmFlag(std::string_view flag) {
    if (flag == "1") return true;
    if (flag == "0") return false;
    return std::nullopt;
}

std::optional<char> AlarmMode(std::string_view data) {
    if (data == "M" || data == "L" || data == "D") return data[0];
    return std::nullopt;
}

std::optional<AlarmMapping> ParseAlarmMapping(std::string_view slot, std::string_view output) {
    if (slot == "*" && output == "*") return AlarmMapping{};
    if (slot.size() != 1 || output.size() != 1 || slot[0] < '0' || slot[0] > '7' || !AllHex(output))
        return std::nullopt;
    return AlarmMapping{true, slot[0] - '0',
                        static_cast<int>(std::stoul(std::string(output), nullptr, 16))};
}

std::optional<unsigned long long> CounterNumber(std::string_view text) {
    text = Trimmed(text);
    if (text.size() > 10 || !AllDigits(text)) return std::nullopt;
    const unsigned long long v = DecimalValue(text);
    if (v > kMaxCount) return std::nullopt;
    return v;
}

std::string CounterNumberText(unsigned long long value) {
    char text[32];
    std::snprintf(text, sizeof text, "%010.0f", static_cast<double>(value));
    return text;
}

std::optional<unsigned long long> StoredCounterNumber(std::string_view data) {
    if (data.size() > 10 || !AllDigits(data)) return std::nullopt;
    return DecimalValue(data);
}

std::optional<long long> FilterScale(std::string_view text) {
    text = Trimmed(text);
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    // Eleven digits would already be far outside the range; keep the value exact.
    if (text.size() > 11 || !AllDigits(text)) return std::nullopt;
    const auto v = static_cast<long long>(DecimalValue(text));
    return negative ? -v : v;
}

const KDigitalMember* FindKDigitalMember(std::string_view model) {
    for (const auto& m : kDigitalMembers)
        if (model == m.model) return &m;
    return nullptr;
}

const KDigitalMember& KDigitalMemberOf(const char* model) {
    const KDigitalMember* m = FindKDigitalMember(model);
    return m ? *m : kDigitalMembers[0];
}

int SlotDigit(std::string_view slot) {
    if (slot.size() != 2 || slot[0] != 'S' || slot[1] < '0' || slot[1] > '7') return -1;
    return slot[1] - '0';
}

int ChannelOfNode(std::string_view channel, int count) {
    if (channel.size() != 4 || channel.substr(0, 3) != "CH " || channel[3] < '0' ||
        channel[3] > '9')
        return -1;
    const int c = channel[3] - '0';
    return c < count ? c : -1;
}

} // namespace tavo
