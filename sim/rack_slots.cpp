#include "rack_slots.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace tavo::sim {

namespace {

// ---------------------------------------------------------------------------
// Small text helpers

// "%+0{width}.{decimals}f", or without the sign.
std::string Fixed(double value, int width, int decimals, bool sign = true) {
    char text[48];
    if (sign)
        std::snprintf(text, sizeof text, "%+0*.*f", width, decimals, value);
    else
        std::snprintf(text, sizeof text, "%0*.*f", width, decimals, value);
    return text;
}

std::string Decimal(unsigned long long value, int width) {
    char text[32];
    std::snprintf(text, sizeof text, "%0*llu", width, value);
    return text;
}

// A number as a panel writes it: optional sign, digits, at most one point.
std::optional<double> StrictNumber(std::string_view text) {
    if (text.empty() || text.size() > 16) return std::nullopt;
    bool digit = false, point = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if ((c == '+' || c == '-') && i == 0) continue;
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9') return std::nullopt;
        digit = true;
    }
    if (!digit) return std::nullopt;
    return std::strtod(std::string(text).c_str(), nullptr);
}

std::optional<unsigned long long> StrictDecimal(std::string_view text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) return std::nullopt;
    unsigned long long v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    return v;
}

// What an input terminal sees: nothing set (the slot's fixed default), one level,
// or a cycle of levels each held a number of milliseconds, from `start` on.
template <class T> class InputCycle {
public:
    // "LEVEL" or "LEVEL/MS,LEVEL/MS,...": `level` reads one level. False, the
    // cycle unchanged, for anything else.
    template <class Level> bool Set(std::string_view text, TimePoint start, Level level) {
        std::vector<std::pair<T, std::chrono::milliseconds>> steps;
        std::chrono::milliseconds period{0};
        while (!text.empty()) {
            const auto comma = text.find(',');
            const std::string_view item = text.substr(0, comma);
            text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
            const auto slash = item.find('/');
            const auto value = level(item.substr(0, slash));
            if (!value) return false;
            std::chrono::milliseconds hold{0};
            if (slash != std::string_view::npos) {
                const auto ms = StrictDecimal(item.substr(slash + 1), 7);
                if (!ms || *ms == 0) return false;
                hold = std::chrono::milliseconds(*ms);
            } else if (comma != std::string_view::npos || !steps.empty()) {
                return false; // a cycle needs a time for every level
            }
            steps.emplace_back(*value, hold);
            period += hold;
        }
        if (steps.empty()) return false;
        steps_ = std::move(steps);
        period_ = period;
        start_ = start;
        return true;
    }
    bool IsSet() const { return !steps_.empty(); }
    T At(TimePoint t, T otherwise) const {
        if (steps_.empty()) return otherwise;
        if (period_.count() == 0 || t <= start_) return steps_.front().first;
        auto into = std::chrono::duration_cast<std::chrono::milliseconds>(t - start_) % period_;
        for (const auto& [value, hold] : steps_) {
            if (into < hold) return value;
            into -= hold;
        }
        return steps_.back().first;
    }

private:
    std::vector<std::pair<T, std::chrono::milliseconds>> steps_;
    std::chrono::milliseconds period_{0};
    TimePoint start_{};
};

// "C{c}{tail}" with c one decimal digit below `count`.
bool SplitChannel(std::string_view rest, int count, int& c, std::string_view& tail) {
    if (rest.size() < 2 || rest[0] != 'C' || rest[1] < '0' || rest[1] > '9') return false;
    c = rest[1] - '0';
    tail = rest.substr(2);
    return c < count;
}

// Engineering units in `width` characters: sign, at least two integer digits and as
// many decimals (at most three) as fit.
std::string Engineering(double v, int width) {
    int digits = 2;
    for (double a = std::fabs(v); a >= 100 && digits < width - 1; a /= 10)
        ++digits;
    const int decimals = std::max(0, std::min(3, width - 2 - digits));
    return Fixed(v, width, decimals);
}

// ">" and one field per channel: the reply to #AAS{s}.
template <class Field> std::string AllFields(int count, Field field) {
    std::string all = ">";
    for (int i = 0; i < count; ++i)
        all += field(i);
    return all;
}

// ---------------------------------------------------------------------------
// Input ranges: code, low and high end in the range's unit

struct Range {
    unsigned code;
    double lo, hi;
};

constexpr Range kRanges[] = {
    {0x00, -15, 15},   {0x01, -50, 50},   {0x02, -100, 100}, {0x03, -500, 500}, {0x04, -1, 1},
    {0x05, -2.5, 2.5}, {0x06, -20, 20},   {0x07, 4, 20},     {0x08, 0, 10},     {0x0D, 0, 20},
    {0x0E, 0, 760},    {0x0F, 0, 1370},   {0x10, -100, 400}, {0x11, 0, 1000},   {0x12, 500, 1750},
    {0x13, 500, 1750}, {0x14, 500, 1800}, {0x20, -100, 100}, {0x21, 0, 100},    {0x22, 0, 200},
    {0x23, 0, 600},    {0x24, -100, 100}, {0x25, 0, 100},    {0x26, 0, 200},    {0x27, 0, 600},
    {0x2A, -200, 600}, {0x30, -50, 150},  {0x31, -50, 150},
};

const Range* FindRange(unsigned code) {
    for (const auto& r : kRanges)
        if (r.code == code) return &r;
    return nullptr;
}

// Which range codes a family of input modules takes.
enum class RangeSet { Thermocouple, Rtd, Voltage, Zel, Any };

bool Accepts(RangeSet set, unsigned code) {
    if (!FindRange(code)) return false;
    switch (set) {
    case RangeSet::Thermocouple:
        return code <= 0x06 || (code >= 0x0E && code <= 0x14);
    case RangeSet::Rtd:
        return (code >= 0x20 && code <= 0x27) || code == 0x2A;
    case RangeSet::Voltage:
        return code <= 0x08 || code == 0x0D;
    case RangeSet::Zel:
        return code == 0x07 || code == 0x08 || code == 0x0D || (code >= 0x20 && code <= 0x27) ||
               code == 0x2A || code == 0x30 || code == 0x31;
    case RangeSet::Any:
        return true;
    }
    return false;
}

// Channel c of an input sits at 10 % + c * 10 % of its range.
double InputValue(unsigned code, int c) {
    const Range* r = FindRange(code);
    if (!r) return 0;
    return r->lo + (0.1 + 0.1 * c) * (r->hi - r->lo);
}

double FullScale(unsigned code) {
    const Range* r = FindRange(code);
    return r ? std::max(std::fabs(r->lo), std::fabs(r->hi)) : 1;
}

// Two's complement of value / full scale * 7FFF, held within the 16 bits.
std::uint16_t InputRegister(unsigned code, double v) {
    const double scaled = std::clamp(v / FullScale(code), -1.0, 1.0) * 0x7FFF;
    return static_cast<std::uint16_t>(std::lround(scaled) & 0xFFFF);
}

// The reading `v` of an input in its data format (format bits 1-0).
std::string InputField(unsigned code, unsigned format, double v) {
    switch (format & 3) {
    case 1:
        return Fixed(v / FullScale(code) * 100, 7, 2);
    case 2:
    case 3: // the slot panels write "11" for two's complement
        return Hex4(InputRegister(code, v));
    default:
        return Engineering(v, 7);
    }
}

// ---------------------------------------------------------------------------
// Channel alarms (high and low) of the analog input and counter slots

struct Alarm {
    char mode = 'D'; // D disabled, M momentary, L latch
    std::string limit;
    int slot = -1, output = -1; // mapped digital output, -1 when none
    bool latched = false;
    bool active = false;
    bool Flag() const { return mode == 'L' ? latched : mode == 'M' && active; }
};

class ChannelAlarms {
public:
    explicit ChannelAlarms(std::string limit) {
        high_.limit = limit;
        low_.limit = std::move(limit);
    }

    // A{x}..., R{x}..., C{x} and S; nullopt when `tail` is none of these.
    std::optional<std::string> Handle(SimModule& m, Rack& rack, std::string_view tail) {
        if (tail == "S")
            return m.Ok(std::string(1, high_.Flag() ? '1' : '0') + (low_.Flag() ? '1' : '0'));
        if (tail.size() < 2 || (tail[1] != 'H' && tail[1] != 'L')) return std::nullopt;
        Alarm& a = tail[1] == 'H' ? high_ : low_;
        const std::string_view after = tail.substr(2);
        switch (tail[0]) {
        case 'C':
            if (!after.empty()) return m.Refuse();
            a.latched = false;
            return m.Ok();
        case 'R':
            if (after == "U") return m.Ok(a.limit);
            if (after == "C")
                return m.Ok(a.slot < 0 ? std::string("S*C*")
                                       : "S" + std::to_string(a.slot) + "C" + HexDigit(a.output));
            return m.Refuse();
        case 'A':
            return Write(m, rack, a, after);
        default:
            return std::nullopt;
        }
    }

    void Evaluate(double value) {
        for (Alarm* a : {&high_, &low_}) {
            const auto limit = StrictNumber(a->limit);
            a->active = a->mode != 'D' && limit && (a == &high_ ? value > *limit : value < *limit);
            if (a->mode == 'L' && a->active) a->latched = true;
        }
    }

    void Drive(Rack& rack) const {
        for (const Alarm* a : {&high_, &low_})
            if (a->slot >= 0)
                if (SimSlot* s = rack.At(a->slot)) s->DriveOutput(a->output, a->Flag());
    }

    void CollectMappings(int slot, std::uint16_t& mask) const {
        for (const Alarm* a : {&high_, &low_})
            if (a->slot == slot) mask = static_cast<std::uint16_t>(mask | 1u << a->output);
    }

private:
    static std::string HexDigit(int v) { return std::string(1, "0123456789ABCDEF"[v & 15]); }

    std::string Write(SimModule& m, Rack& rack, Alarm& a, std::string_view what) {
        if (what.empty()) return m.Ok(std::string(1, a.mode));
        if (what == "EE") {
            if (a.mode == 'D') a.mode = 'M';
            return m.Ok();
        }
        if (what == "ED") {
            a.mode = 'D';
            a.latched = false;
            return m.Ok();
        }
        if (what == "M" || what == "L") {
            a.mode = what[0];
            return m.Ok();
        }
        if (what[0] == 'U') {
            if (!StrictNumber(what.substr(1))) return m.Refuse();
            a.limit = std::string(what.substr(1));
            return m.Ok();
        }
        if (what.size() == 5 && what.substr(0, 2) == "CS" && what[3] == 'C') {
            if (what[2] == '*' && what[4] == '*') {
                a.slot = a.output = -1;
                return m.Ok();
            }
            const int slot = what[2] - '0';
            const int output = HexNibble(what[4]);
            SimSlot* target = rack.At(slot);
            if (slot < 0 || slot > 7 || output < 0 || !target || !target->IsOutput(output))
                return m.Refuse();
            a.slot = slot;
            a.output = output;
            return m.Ok();
        }
        return m.Refuse();
    }

    Alarm high_, low_;
};

// The slot configuration commands every slot answers: B and A{TT}{FF}.
struct SlotConfig {
    unsigned type = 0, format = 0;
};

// ---------------------------------------------------------------------------
// Analog input slots

struct InputModel {
    const char* name;
    const char* code;
    int channels;
    RangeSet ranges;
    unsigned defaultRange;
    std::uint8_t modbusType;
    bool coldJunction;
    bool atSetting;
    const char* description;
};

constexpr InputModel kInputModels[] = {
    {"K210", "21", 3, RangeSet::Rtd, 0x20, 0x01, false, false, "3-channel RTD input module"},
    {"K220", "22", 8, RangeSet::Voltage, 0x08, 0x02, false, false, "8-channel analog input module"},
    {"K220H", "2H", 8, RangeSet::Voltage, 0x08, 0x04, false, false,
     "8-channel high speed input module"},
    {"K220UH", "2U", 8, RangeSet::Voltage, 0x08, 0x05, false, true,
     "8-channel ultra-high speed input module"},
    {"K230", "23", 7, RangeSet::Thermocouple, 0x0E, 0x03, true, false,
     "7-channel thermocouple input module"},
};

class InputSlot : public SimSlot {
public:
    InputSlot(const InputModel& model, std::string name, int channels)
        : SimSlot(std::move(name), model.code), model_(model), channels_(channels) {
        config_.type = model.defaultRange;
        for (int c = 0; c < channels_; ++c)
            chans_.push_back({model.defaultRange, 0, ChannelAlarms("+000.000")});
        enabled_ = static_cast<unsigned>((1u << channels_) - 1);
    }

    std::string Description() const override { return model_.description; }
    int ChannelCount() const override { return channels_; }

    std::string Ascii(SimModule& m, Rack& rack, char lead, std::string_view rest) override {
        int c = 0;
        std::string_view tail;
        const bool channel = SplitChannel(rest, channels_, c, tail);
        if (lead == '#') {
            if (rest.empty()) return AllFields(channels_, [&](int i) { return Field(i); });
            if (channel && tail.empty()) return enabled_ >> c & 1 ? ">" + Field(c) : m.Refuse();
            if (model_.atSetting && rest.substr(0, 2) == "AT" && rest.size() > 2 &&
                rest.size() <= 6 && ParseHex(rest.substr(2))) {
                at_ = std::string(rest.substr(2));
                return m.Ok();
            }
            return m.Refuse();
        }
        if (lead != '$') return m.Refuse();
        if (channel) return ChannelCommand(m, rack, c, tail);
        if (rest == "B") return m.Ok(Hex2(config_.type) + Hex2(config_.format));
        if (rest.size() == 5 && rest[0] == 'A') {
            const auto tt = ParseHex(rest.substr(1, 2)), ff = ParseHex(rest.substr(3, 2));
            if (!tt || !ff || !Accepts(model_.ranges, *tt)) return m.Refuse();
            config_ = {*tt, *ff};
            for (auto& ch : chans_)
                ch.range = *tt, ch.format = *ff;
            return m.Ok();
        }
        if (rest.size() == 3 && rest[0] == '5') {
            const auto mask = ParseHex(rest.substr(1));
            if (!mask || *mask >> channels_) return m.Refuse();
            enabled_ = *mask;
            return m.Ok();
        }
        if (rest == "6") return m.Ok(Hex2(enabled_));
        if (rest == "0" || rest == "1" || rest == "ER") return m.Ok();
        if (model_.coldJunction && rest == "3") return ">" + Fixed(ColdJunction(), 7, 2);
        if (model_.coldJunction && rest.size() == 6 && rest[0] == '9' &&
            (rest[1] == '+' || rest[1] == '-')) {
            const auto counts = ParseHex(rest.substr(2));
            if (!counts) return m.Refuse();
            cjcOffset_ = (rest[1] == '-' ? -1.0 : 1.0) * *counts * 0.009;
            return m.Ok();
        }
        if (model_.atSetting && rest == "AT") return m.Ok(at_);
        return m.Refuse();
    }

    std::optional<std::string> ReadAV(SimModule& m) override {
        if (!model_.coldJunction) return std::nullopt;
        return m.Ok(" " + Fixed(ColdJunction(), 8, 3) + " " + Fixed(cjcOffset_, 8, 3));
    }

    void Advance(Rack& rack, TimePoint now) override {
        now_ = now;
        for (int c = 0; c < channels_; ++c) {
            auto& ch = chans_[static_cast<std::size_t>(c)];
            ch.alarms.Evaluate(Value(c));
            ch.alarms.Drive(rack);
        }
    }

    bool SetInputs(std::string_view text, TimePoint start, std::string& why) override {
        if (text.substr(0, 5) == "open=") {
            const auto mask = ParseHex(text.substr(5));
            if (!mask || text.size() > 7 || *mask >> channels_) {
                why = "open= and the channels whose sensor is open, \"%02X\"";
                return false;
            }
            open_ = *mask;
            return true;
        }
        const bool ok =
            source_.Set(text, start, [](std::string_view v) { return StrictNumber(v); });
        if (!ok) why = "a value, or values each with its time (\"1.5/500,9/500\")";
        return ok;
    }

    void CollectMappings(int slot, std::uint16_t& mask) const override {
        for (const auto& ch : chans_)
            ch.alarms.CollectMappings(slot, mask);
    }

    std::uint8_t ModbusType() const override { return model_.modbusType; }
    MapKind DefaultMapKind() const override { return MapKind::Registers; }
    int DefaultLengthCode() const override { return channels_ <= 4 ? 3 : 4; }
    std::optional<std::uint16_t> Register(int index) override {
        if (index >= channels_) return 0;
        return InputRegister(chans_[static_cast<std::size_t>(index)].range, Value(index));
    }

private:
    struct Channel {
        unsigned range, format;
        ChannelAlarms alarms;
    };

    std::string Field(int c) const {
        const auto& ch = chans_[static_cast<std::size_t>(c)];
        // An open sensor reads the burn-out mark in every data format.
        if (open_ >> c & 1) return "+888888";
        return InputField(ch.range, ch.format, Value(c));
    }

    // The fixed reading of channel c, or what the inputs were set to see now.
    double Value(int c) const {
        return source_.At(now_, InputValue(chans_[static_cast<std::size_t>(c)].range, c));
    }

    double ColdJunction() const { return 25.0 + cjcOffset_; }

    std::string ChannelCommand(SimModule& m, Rack& rack, int c, std::string_view tail) {
        auto& ch = chans_[static_cast<std::size_t>(c)];
        if (tail == "B") return m.Ok(Hex2(ch.range) + Hex2(ch.format));
        if (tail == "0" || tail == "7") return m.Ok();
        if (tail.size() == 5 && tail[0] == 'A' && tail[1] != 'H' && tail[1] != 'L') {
            const auto tt = ParseHex(tail.substr(1, 2)), ff = ParseHex(tail.substr(3, 2));
            if (!tt || !ff || !Accepts(model_.ranges, *tt)) return m.Refuse();
            ch.range = *tt;
            ch.format = *ff;
            return m.Ok();
        }
        ch.alarms.Evaluate(Value(c));
        if (auto reply = ch.alarms.Handle(m, rack, tail)) return *reply;
        return m.Refuse();
    }

    const InputModel& model_;
    int channels_;
    SlotConfig config_;
    std::vector<Channel> chans_;
    unsigned enabled_ = 0;
    unsigned open_ = 0; // bit c: channel c's sensor is open
    double cjcOffset_ = 0;
    std::string at_ = "00";
    InputCycle<double> source_;
    TimePoint now_{};
};

// A generic analog input ("AI" in the slot table): the thermocouple module's
// commands under a name of its own.
constexpr InputModel kGenericInput{"",   "AI", 8,     RangeSet::Any,        0x0E,
                                   0x07, true, false, "analog input module"};

// ---------------------------------------------------------------------------
// Analog output slot (K310): ranges 30 = 0-20 mA, 31 = 4-20 mA, 32 = 0-10 V

class OutputSlot : public SimSlot {
public:
    OutputSlot() : SimSlot("K310", "31") {
        config_.type = 0x31;
        for (auto& ch : chans_)
            ch = {0x31, 0, 4.0, 4.0, 0};
    }

    std::string Description() const override { return "4-channel analog output module"; }
    int ChannelCount() const override { return kChannels; }

    std::string Ascii(SimModule& m, Rack&, char lead, std::string_view rest) override {
        if (rest == "B" && lead == '$') return m.Ok(Hex2(config_.type) + Hex2(config_.format));
        if (rest.size() == 5 && rest[0] == 'A' && lead == '$') {
            const auto tt = ParseHex(rest.substr(1, 2)), ff = ParseHex(rest.substr(3, 2));
            if (!tt || !ff || !Limits(*tt)) return m.Refuse();
            config_ = {*tt, *ff};
            for (auto& ch : chans_)
                SetRange(ch, *tt, *ff);
            return m.Ok();
        }
        int c = 0;
        std::string_view tail;
        if (!SplitChannel(rest, kChannels, c, tail)) return m.Refuse();
        auto& ch = chans_[static_cast<std::size_t>(c)];
        if (lead == '#') {
            const auto v = StrictNumber(tail);
            if (!v || !InRange(ch.range, *v)) return m.Refuse();
            ch.value = *v;
            return m.Ok();
        }
        if (lead != '$') return m.Refuse();
        if (tail == "B") return m.Ok(Hex2(ch.range) + Hex2(ch.format));
        if (tail.size() == 5 && tail[0] == 'A') {
            const auto tt = ParseHex(tail.substr(1, 2)), ff = ParseHex(tail.substr(3, 2));
            if (!tt || !ff || !Limits(*tt)) return m.Refuse();
            SetRange(ch, *tt, *ff);
            return m.Ok();
        }
        if (tail == "4") {
            ch.startup = ch.value;
            return m.Ok();
        }
        if (tail == "0" || tail == "1") return m.Ok();
        if (tail.size() == 3 && tail[0] == '3') {
            const auto nn = ParseHex(tail.substr(1));
            if (!nn) return m.Refuse();
            ch.trim += static_cast<std::int8_t>(*nn);
            return m.Ok();
        }
        if (tail == "6") return m.Ok(Fixed(ch.value, 6, 3, false));
        return m.Refuse();
    }

    void WatchdogExpired() override {
        for (auto& ch : chans_)
            ch.value = ch.startup;
    }

    std::uint8_t ModbusType() const override { return 0x18; }
    MapKind DefaultMapKind() const override { return MapKind::Registers; }
    int DefaultLengthCode() const override { return 3; }
    // Output values in thousandths of the range's unit (uA or mV).
    std::optional<std::uint16_t> Register(int index) override {
        if (index >= kChannels) return 0;
        return static_cast<std::uint16_t>(
            std::lround(chans_[static_cast<std::size_t>(index)].value * 1000));
    }
    std::uint8_t WriteRegister(int index, std::uint16_t value) override {
        if (index >= kChannels) return 0x02;
        auto& ch = chans_[static_cast<std::size_t>(index)];
        if (!InRange(ch.range, value / 1000.0)) return 0x03;
        ch.value = value / 1000.0;
        return 0;
    }

private:
    static constexpr int kChannels = 4;
    struct Channel {
        unsigned range, format;
        double value, startup;
        int trim;
    };

    static const double* Limits(unsigned range) {
        static constexpr double k[3][2] = {{0, 20}, {4, 20}, {0, 10}};
        return range >= 0x30 && range <= 0x32 ? k[range - 0x30] : nullptr;
    }
    static bool InRange(unsigned range, double v) {
        const double* l = Limits(range);
        return l && v >= l[0] && v <= l[1];
    }
    static void SetRange(Channel& ch, unsigned range, unsigned format) {
        ch.range = range;
        ch.format = format;
        const double* l = Limits(range);
        ch.value = std::min(std::max(ch.value, l[0]), l[1]);
    }

    SlotConfig config_;
    std::array<Channel, kChannels> chans_{};
};

// ---------------------------------------------------------------------------
// Digital slots. Channels count in the numbering of the slot's own output
// command; the state word carries channel n at bit n + firstBit (the relay modules
// report their relays in the high byte).

struct DigitalModel {
    const char* name;
    const char* code;
    std::uint16_t inputs; // channel masks
    std::uint16_t outputs;
    int firstBit;
    std::uint8_t modbusType;
    int lengthCode;
    const char* description;
};

constexpr DigitalModel kDigitalModels[] = {
    {"K510", "51", 0xFF00, 0x00FF, 0, 0x69, 5, "16-channel universal digital I/O module"},
    {"K520", "52", 0xFFFF, 0x0000, 0, 0x0F, 5, "16-channel digital input module"},
    {"K530", "53", 0x00FF, 0x0000, 0, 0x10, 5, "8-channel isolated digital input module"},
    {"K540", "54", 0xFF00, 0x00FF, 0, 0x11, 5,
     "8-channel digital input and 8-channel output module"},
    {"K550", "55", 0x0000, 0xFFFF, 0, 0x12, 5, "16-channel digital output module"},
    {"K610", "61", 0x0000, 0x003F, 8, 0x13, 4, "6-channel relay output module"},
    {"K620", "62", 0x0000, 0x00FF, 8, 0x14, 4, "8-channel relay output module"},
    {"K630", "63", 0x0000, 0x00FF, 8, 0x15, 4, "8-channel relay output module"},
};

// The pattern the simulated input terminals see.
constexpr std::uint16_t kInputPattern = 0xA5A5;

class DigitalSlot : public SimSlot {
public:
    explicit DigitalSlot(const DigitalModel& model)
        : SimSlot(model.name, model.code), model_(model) {}

    std::string Description() const override { return model_.description; }
    int ChannelCount() const override { return model_.firstBit ? 8 : 16; }

    std::string Ascii(SimModule& m, Rack& rack, char lead, std::string_view rest) override {
        if (lead == '#') {
            // 1{channel hex}0{0|1}: one output.
            if (rest.size() != 4 || rest[0] != '1' || rest[2] != '0' ||
                (rest[3] != '0' && rest[3] != '1'))
                return m.Refuse();
            const int c = HexNibble(rest[1]);
            if (!IsOutput(c) || rack.AlarmMask(slotIndex(rack)) >> c & 1) return m.Refuse();
            DriveOutput(c, rest[3] == '1');
            return m.Ok();
        }
        if (lead != '$') return m.Refuse();
        if (rest == "6") return m.Ok(Hex4(State()));
        if (rest == "7")
            return m.Ok(Hex4(static_cast<unsigned>(model_.inputs) << model_.firstBit & 0xFFFF));
        if (rest == "M") return m.Ok(Hex4(rack.AlarmMask(slotIndex(rack))));
        if (rest == "B") return m.Ok(Hex2(config_.type) + Hex2(config_.format));
        if (rest.size() == 5 && rest[0] == 'A') {
            const auto tt = ParseHex(rest.substr(1, 2)), ff = ParseHex(rest.substr(3, 2));
            if (!tt || !ff) return m.Refuse();
            config_ = {*tt, *ff};
            return m.Ok();
        }
        return m.Refuse();
    }

    // $AAXS{s} and $AAXS{s}D{hhhh}, which the controller passes on.
    std::optional<std::string> Watchdog(SimModule& m, std::string_view rest) override {
        if (rest.empty()) return m.Ok(Hex4(watchdog_));
        const auto mask =
            rest.size() == 5 && rest[0] == 'D' ? ParseHex(rest.substr(1)) : std::nullopt;
        if (!mask || (*mask & ~static_cast<unsigned>(model_.outputs))) return m.Refuse();
        watchdog_ = static_cast<std::uint16_t>(*mask);
        return m.Ok();
    }

    bool IsOutput(int c) const override { return c >= 0 && c < 16 && (model_.outputs >> c & 1); }
    void DriveOutput(int c, bool on) override {
        if (!IsOutput(c)) return;
        if (on)
            outputs_ = static_cast<std::uint16_t>(outputs_ | 1u << c);
        else
            outputs_ = static_cast<std::uint16_t>(outputs_ & ~(1u << c));
    }
    void WatchdogExpired() override { outputs_ = watchdog_; }

    void Advance(Rack&, TimePoint now) override { now_ = now; }
    bool SetInputs(std::string_view text, TimePoint start, std::string& why) override {
        if (!model_.inputs) {
            why = name_ + " has no inputs";
            return false;
        }
        const unsigned limit = model_.inputs;
        const bool ok = source_.Set(text, start, [limit](std::string_view v) {
            const auto mask = v.size() <= 4 ? ParseHex(v) : std::nullopt;
            return mask && !(*mask & ~limit) ? mask : std::nullopt;
        });
        if (!ok)
            why = "an input mask within " + Hex4(limit) +
                  ", or masks each with its time "
                  "(\"0001/200,0002/200\")";
        return ok;
    }

    std::uint8_t ModbusType() const override { return model_.modbusType; }
    MapKind DefaultMapKind() const override { return MapKind::Coils; }
    int DefaultLengthCode() const override { return model_.lengthCode; }
    std::optional<bool> Coil(int index) override {
        if (index >= 16) return false;
        return (Points() >> index & 1) != 0;
    }
    bool WriteCoil(int index, bool on) override {
        if (!IsOutput(index)) return false;
        DriveOutput(index, on);
        return true;
    }
    // The first register holds the point mask; writing it sets the outputs (its
    // input bits are ignored), the other registers read 0 and take nothing.
    std::optional<std::uint16_t> Register(int index) override {
        return index == 0 ? Points() : std::uint16_t{0};
    }
    std::uint8_t WriteRegister(int index, std::uint16_t value) override {
        if (index != 0 || !model_.outputs) return 0x02;
        outputs_ = static_cast<std::uint16_t>(value & model_.outputs);
        return 0;
    }

private:
    std::uint16_t Points() const {
        const unsigned inputs = source_.At(now_, kInputPattern);
        return static_cast<std::uint16_t>((outputs_ & model_.outputs) | (inputs & model_.inputs));
    }
    unsigned State() const { return static_cast<unsigned>(Points()) << model_.firstBit & 0xFFFF; }
    int slotIndex(Rack& rack) const {
        for (std::size_t i = 0; i < rack.slots.size(); ++i)
            if (rack.slots[i].get() == this) return static_cast<int>(i);
        return -1;
    }

    const DigitalModel& model_;
    SlotConfig config_;
    std::uint16_t outputs_ = 0;
    std::uint16_t watchdog_ = 0;
    InputCycle<unsigned> source_;
    TimePoint now_{};
};

// ---------------------------------------------------------------------------
// Counter/frequency slot (K710): TT 00 bi-direction, 01 up/down, 02 frequency;
// FF 00 decimal, 02 hexadecimal.

class CounterSlot : public SimSlot {
public:
    CounterSlot() : SimSlot("K710", "71") {
        for (int c = 0; c < kChannels; ++c)
            chans_.push_back(Channel{});
    }

    std::string Description() const override { return "4-channel counter/frequency module"; }
    int ChannelCount() const override { return kChannels; }

    std::string Ascii(SimModule& m, Rack& rack, char lead, std::string_view rest) override {
        int c = 0;
        std::string_view tail;
        const bool channel = SplitChannel(rest, kChannels, c, tail);
        if (lead == '#') {
            if (rest.empty()) return AllFields(kChannels, [&](int i) { return Field(i); });
            return channel && tail.empty() ? ">" + Field(c) : m.Refuse();
        }
        if (lead == '@') {
            if (!channel) return m.Refuse();
            auto& ch = chans_[static_cast<std::size_t>(c)];
            if (tail == "G") return m.Ok(Decimal(ch.preset, 10));
            if (tail.empty() || tail[0] != 'P') return m.Refuse();
            const auto v = StrictDecimal(tail.substr(1), 10);
            if (!v || *v > 0xFFFFFFFFull) return m.Refuse();
            ch.preset = *v;
            ch.count = *v;
            return m.Ok();
        }
        if (lead != '$') return m.Refuse();
        if (channel) {
            auto& ch = chans_[static_cast<std::size_t>(c)];
            if (tail == "5") return m.Ok(ch.counting ? "1" : "0");
            if (tail == "51" || tail == "50") {
                ch.counting = tail[1] == '1';
                return m.Ok();
            }
            if (tail == "6") {
                ch.count = ch.preset;
                ch.overflow = false;
                return m.Ok();
            }
            ch.alarms.Evaluate(Value(c));
            if (auto reply = ch.alarms.Handle(m, rack, tail)) return *reply;
            return m.Refuse();
        }
        if (rest == "B") return m.Ok(Hex2(config_.type) + Hex2(config_.format));
        if (rest.size() == 5 && rest[0] == 'A') {
            const auto tt = ParseHex(rest.substr(1, 2)), ff = ParseHex(rest.substr(3, 2));
            if (!tt || !ff || *tt > 2 || (*ff != 0 && *ff != 2)) return m.Refuse();
            config_ = {*tt, *ff};
            return m.Ok();
        }
        if (rest == "0") return m.Ok(Decimal(scale_, 5));
        if (rest.size() == 6 && rest[0] == '0') {
            const auto v = StrictDecimal(rest.substr(1), 5);
            if (!v || *v < 8 || *v > 65000) return m.Refuse();
            scale_ = static_cast<unsigned>(*v);
            return m.Ok();
        }
        if (rest == "7") {
            unsigned mask = 0;
            for (int i = 0; i < kChannels; ++i)
                if (chans_[static_cast<std::size_t>(i)].overflow) mask |= 1u << i;
            return m.Ok(Hex2(mask));
        }
        return m.Refuse();
    }

    void Advance(Rack& rack, TimePoint now) override {
        if (last_ != TimePoint{} && now > last_ && config_.type != 2) {
            const double seconds = std::chrono::duration<double>(now - last_).count();
            for (int c = 0; c < kChannels; ++c) {
                auto& ch = chans_[static_cast<std::size_t>(c)];
                if (!ch.counting) continue;
                ch.fraction += seconds * (c + 1) * 10;
                const auto whole = static_cast<unsigned long long>(ch.fraction);
                ch.fraction -= static_cast<double>(whole);
                ch.count += whole;
                if (ch.count > 0xFFFFFFFFull) {
                    ch.count &= 0xFFFFFFFFull;
                    ch.overflow = true;
                }
            }
        }
        last_ = now;
        for (int c = 0; c < kChannels; ++c) {
            auto& ch = chans_[static_cast<std::size_t>(c)];
            ch.alarms.Evaluate(Value(c));
            ch.alarms.Drive(rack);
        }
    }

    void CollectMappings(int slot, std::uint16_t& mask) const override {
        for (const auto& ch : chans_)
            ch.alarms.CollectMappings(slot, mask);
    }

    // Registers: 0-7 counts (high word, low word per channel), 8-11 status (bit 0
    // counting, bit 2 overflow), 12-15 control (write 0 stop, 1 start, 2 clear, 3
    // clear the overflow).
    std::uint8_t ModbusType() const override { return 0x06; }
    MapKind DefaultMapKind() const override { return MapKind::Registers; }
    int DefaultLengthCode() const override { return 5; }
    std::optional<std::uint16_t> Register(int index) override {
        if (index < 0 || index >= 16) return 0;
        if (index < 8) {
            const auto v = static_cast<unsigned long long>(Value(index / 2));
            return static_cast<std::uint16_t>(index % 2 ? v & 0xFFFF : v >> 16 & 0xFFFF);
        }
        const auto& ch = chans_[static_cast<std::size_t>(index % 4)];
        if (index < 12)
            return static_cast<std::uint16_t>((ch.counting ? 1 : 0) | (ch.overflow ? 4 : 0));
        return static_cast<std::uint16_t>(ch.counting ? 1 : 0);
    }
    std::uint8_t WriteRegister(int index, std::uint16_t value) override {
        if (index < 12 || index >= 16) return 0x02;
        auto& ch = chans_[static_cast<std::size_t>(index - 12)];
        switch (value) {
        case 0:
            ch.counting = false;
            return 0;
        case 1:
            ch.counting = true;
            return 0;
        case 2:
            ch.count = ch.preset;
            ch.overflow = false;
            return 0;
        case 3:
            ch.overflow = false;
            return 0;
        default:
            return 0x03;
        }
    }

    // The status coils the rack shows for a counter when its counter flag is 1:
    // byte b holds channels 2b and 2b + 1 in its low and high nibble, each as bit 0
    // counting (writable), bit 1 clear (write 1 to clear the count; reads 0), bit 2
    // overflow (write 0 to clear it).
    std::optional<bool> Coil(int index) override {
        if (index < 0 || index >= 16) return std::nullopt;
        const auto& ch = chans_[static_cast<std::size_t>(index / 4)];
        switch (index % 4) {
        case 0:
            return ch.counting;
        case 2:
            return ch.overflow;
        default:
            return false;
        }
    }
    bool WriteCoil(int index, bool on) override {
        if (index < 0 || index >= 16) return false;
        auto& ch = chans_[static_cast<std::size_t>(index / 4)];
        switch (index % 4) {
        case 0:
            ch.counting = on;
            return true;
        case 1:
            if (on) ch.count = ch.preset, ch.overflow = false;
            return true;
        case 2:
            if (on) return false;
            ch.overflow = false;
            return true;
        default:
            return false;
        }
    }

private:
    static constexpr int kChannels = 4;
    struct Channel {
        unsigned long long count = 0, preset = 0;
        double fraction = 0;
        bool counting = true, overflow = false;
        ChannelAlarms alarms{"0000000000"};
    };

    // Counts, or in frequency mode hundredths of a hertz ((c + 1) kHz).
    double Value(int c) const {
        if (config_.type == 2) return (c + 1) * 100000.0;
        return static_cast<double>(chans_[static_cast<std::size_t>(c)].count);
    }
    std::string Field(int c) const {
        const auto v = static_cast<unsigned long long>(Value(c));
        if (config_.format == 2) {
            char t[16];
            std::snprintf(t, sizeof t, "%08llX", v);
            return t;
        }
        return Decimal(v, 10);
    }

    SlotConfig config_;
    std::vector<Channel> chans_;
    unsigned scale_ = 100;
    TimePoint last_{};
};

// ---------------------------------------------------------------------------
// Z-series I/O modules (Z310, Z320). Output types: 00 = 0-20 mA, 01 = 4-20 mA,
// 02 = 0-10 V.

class ZelSlot : public SimSlot {
public:
    ZelSlot(std::string name, std::string code, int ai, int ao, int di, int dout)
        : SimSlot(std::move(name), std::move(code)), ai_(ai), ao_(ao), di_(di), do_(dout) {
        inputs_.assign(static_cast<std::size_t>(ai), 0x07);
        outputs_.assign(static_cast<std::size_t>(ao), Output{1, 4.0});
    }

    std::string Description() const override {
        return std::to_string(ai_) + "-AI, " + std::to_string(ao_) + "-AO, " + std::to_string(di_) +
               "-DI, " + std::to_string(do_) + "-DO module";
    }
    int ChannelCount() const override { return ai_; }

    std::string Ascii(SimModule& m, Rack&, char lead, std::string_view rest) override {
        if (lead == '#') {
            if (rest.empty()) return AllFields(ai_, [&](int c) { return Input(c); });
            if (rest.size() == 4 && rest[0] == '1' && rest[2] == '0' &&
                (rest[3] == '0' || rest[3] == '1')) {
                const int c = HexNibble(rest[1]);
                if (c < 0 || c >= do_) return m.Refuse();
                if (rest[3] == '1')
                    dout_ = static_cast<unsigned>(dout_ | 1u << c);
                else
                    dout_ = static_cast<unsigned>(dout_ & ~(1u << c));
                return m.Ok();
            }
            int c = 0;
            std::string_view tail;
            if (!SplitChannel(rest, 10, c, tail)) return m.Refuse();
            if (tail.empty()) return c < ai_ ? ">" + Input(c) : m.Refuse();
            const auto v = StrictNumber(tail);
            if (c >= ao_ || !v || !InRange(outputs_[static_cast<std::size_t>(c)].type, *v))
                return m.Refuse();
            outputs_[static_cast<std::size_t>(c)].value = *v;
            return m.Ok();
        }
        if (lead != '$') return m.Refuse();
        if (rest == "6") return m.Ok(Hex2(dout_) + Hex2(DigitalInputs()));
        int c = 0;
        std::string_view tail;
        if (!SplitChannel(rest, 10, c, tail)) return m.Refuse();
        const bool input = c < ai_, output = c < ao_;
        if (tail.substr(0, 2) == "AI" && input)
            return Type(m, tail.substr(2), inputs_[static_cast<std::size_t>(c)], true);
        if (tail.substr(0, 2) == "AO" && output)
            return Type(m, tail.substr(2), outputs_[static_cast<std::size_t>(c)].type, false);
        if ((tail == "0" || tail == "7") && input) return m.Ok();
        if ((tail == "1" || tail == "4") && output) return m.Ok();
        if (tail.size() == 3 && tail[0] == '3' && output && ParseHex(tail.substr(1))) return m.Ok();
        if (tail == "6" && output)
            return m.Ok(Fixed(outputs_[static_cast<std::size_t>(c)].value, 6, 3, false));
        return m.Refuse();
    }

    void Advance(Rack&, TimePoint now) override { now_ = now; }

    // Analog inputs take a value or a cycle of values ("4/500,20/500"); "DI:" and a
    // mask or a cycle of masks ("DI:01/200,02/200") sets the digital inputs.
    bool SetInputs(std::string_view text, TimePoint start, std::string& why) override {
        if (text.substr(0, 3) == "DI:") {
            const unsigned limit = (1u << di_) - 1;
            const bool ok = digital_.Set(text.substr(3), start,
                                         [limit](std::string_view v) -> std::optional<unsigned> {
                                             const auto mask =
                                                 v.size() <= 2 ? ParseHex(v) : std::nullopt;
                                             if (!mask || *mask > limit) return std::nullopt;
                                             return *mask;
                                         });
            if (!ok) why = "\"DI:\" and a mask of the inputs, or masks each with its time";
            return ok;
        }
        const bool ok =
            analog_.Set(text, start, [](std::string_view v) { return StrictNumber(v); });
        if (!ok) why = "a value, or values each with its time (\"4/500,20/500\"), or \"DI:\" masks";
        return ok;
    }

private:
    struct Output {
        unsigned type;
        double value;
    };

    std::string Input(int c) const {
        const unsigned type = inputs_[static_cast<std::size_t>(c)];
        return Engineering(analog_.At(now_, InputValue(type, c)), 8);
    }

    unsigned DigitalInputs() const {
        return digital_.At(now_, kInputPattern & ((1u << di_) - 1));
    }

    static bool InRange(unsigned type, double v) {
        static constexpr double k[3][2] = {{0, 20}, {4, 20}, {0, 10}};
        return type <= 2 && v >= k[type][0] && v <= k[type][1];
    }

    std::string Type(SimModule& m, std::string_view what, unsigned& type, bool input) {
        if (what.empty()) return m.Ok(Hex2(type) + "00");
        if (what.size() != 4) return m.Refuse();
        const auto tt = ParseHex(what.substr(0, 2)), ff = ParseHex(what.substr(2, 2));
        if (!tt || !ff || (input ? !Accepts(RangeSet::Zel, *tt) : *tt > 2)) return m.Refuse();
        type = *tt;
        return m.Ok();
    }

    int ai_, ao_, di_, do_;
    std::vector<unsigned> inputs_;
    std::vector<Output> outputs_;
    unsigned dout_ = 0;
    InputCycle<double> analog_;
    InputCycle<unsigned> digital_;
    TimePoint now_{};
};

// A module whose code the controller reports but that this simulator does not
// model: it is listed, and refuses every command.
class UnknownSlot : public SimSlot {
public:
    using SimSlot::SimSlot;
    std::string Description() const override { return "unknown module"; }
    int ChannelCount() const override { return 0; }
    std::string Ascii(SimModule& m, Rack&, char, std::string_view) override { return m.Refuse(); }
};

bool IsCodeChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
}

} // namespace

std::uint16_t Rack::AlarmMask(int slot) {
    std::uint16_t mask = 0;
    for (const auto& s : slots)
        if (s) s->CollectMappings(slot, mask);
    return mask;
}

std::unique_ptr<SimSlot> MakeSlot(const std::string& entry, bool zseries) {
    if (entry.empty() || entry == "-") return nullptr;
    if (zseries) {
        if (entry == "Z320") return std::make_unique<ZelSlot>("Z320", "32", 4, 4, 8, 4);
        if (entry == "Z310") return std::make_unique<ZelSlot>("Z310", "31", 3, 3, 6, 2);
    } else {
        for (const auto& model : kInputModels)
            if (entry == model.name)
                return std::make_unique<InputSlot>(model, entry, model.channels);
        for (const auto& model : kDigitalModels)
            if (entry == model.name) return std::make_unique<DigitalSlot>(model);
        if (entry == "K310") return std::make_unique<OutputSlot>();
        if (entry == "K710") return std::make_unique<CounterSlot>();
    }
    // "K" or "Z", two code characters and "0": a module the rack reports by its code.
    const char series = zseries ? 'Z' : 'K';
    if (entry.size() == 4 && entry[0] == series && IsCodeChar(entry[1]) && IsCodeChar(entry[2]) &&
        entry[3] == '0')
        return std::make_unique<UnknownSlot>(entry, entry.substr(1, 2));
    if (zseries) return nullptr;
    // Anything else is a generic analog input, optionally with its channel count.
    std::string name = entry;
    int channels = name.rfind("K230P", 0) == 0 ? 7 : kGenericInput.channels;
    if (const auto colon = name.find(':'); colon != std::string::npos) {
        const std::string count = name.substr(colon + 1);
        name.erase(colon);
        channels =
            count.size() == 1 && count[0] >= '1' && count[0] <= '8' ? count[0] - '0' : channels;
    }
    return std::make_unique<InputSlot>(kGenericInput, name, channels);
}

} // namespace tavo::sim
