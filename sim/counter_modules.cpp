// Counter/frequency modules R710 and R710D (n = channel 0 or 1).
//
// Type code 50 counts, 51 measures frequency (format bit 2: gate time 1.0 s, else
// 0.1 s; the reading is in Hz, resolved to 1 Hz or 10 Hz by the gate time).
// Count values are taken as eight characters, hexadecimal digits after optional
// leading blanks ("%8X" as well as "%08X"); they are reported as eight digits.
//   #AAn                  >vvvvvvvv     count, or frequency in frequency mode
//   $AA3n / $AA3n{v}      !AAvvvvvvvv   maximum count (1 and up); the pulse after it
//                                       restarts the counter at its initial value and
//                                       sets the overflow flag
//   $AA5n / $AA5n0|1      !AAs          counting state / stop, start
//   $AA6n                 !AA           clear: back to the initial value, overflow off
//   $AA7n                 !AAf          overflow flag
//   $AAA / $AAAx          !AAx          gate: 0 count while the gate input is low,
//                                       1 while high, 2 always
//   $AAB / $AABx          !AAx          input signal: 0 TTL, 1 photo
//   $AA4 / $AA4x          !AAx          filter off/on: a pulse whose half period is
//                                       shorter than a minimum width does not count
//   $AA0H / $AA0Hddddd    !AAddddd      minimum high width, microseconds (0..65535)
//   $AA0L / $AA0Lddddd    !AAddddd      minimum low width
//   $AA1H / $AA1Hdd       !AAdd         high trigger level, 0.1 V (0..50)
//   $AA1L / $AA1Ldd       !AAdd         low trigger level
//   @AADI                 !AAsoo        s: R710 preset modes (bit n), R710D alarm mode
//                                       (0 off, 1 momentary, 2 latch); oo the outputs
//   @AADOoo               !AA           outputs (00..03); an output an alarm drives
//                                       follows the alarm instead
//   @AASA{v} / @AARA      !AA / !AAv    R710: preset of counter 1; R710D: high limit
//   @AAPA{v} / @AARP      !AA / !AAv    R710: preset of counter 0; R710D: low limit
// R710 only:
//   @AAPn{v} / @AAGn      !AA / !AAv    initial value of counter n
//   @AAEAn / @AADAn       !AA           preset mode of counter n on/off: output DOn is
//                                       on while the count is at or above the preset
// R710D only:
//   @AAEAM / @AAEAL / @AADA  !AA        alarm momentary / latched / off. DO0 is the
//                                       high alarm (count 0 above the high limit),
//                                       DO1 the low alarm (count 0 below the low one)
//   @AACA                 !AA           clears latched alarms
//   $AA8 / $AA8x          !AAx          display: 0 counter 0, 1 counter 1, 2 $AA9 value
//   $AA9dddd.d            !AA           value for the display, 0 to 9999.9
#include "digital_modules.h"

#include "models.h"

#include <cmath>
#include <stdexcept>

namespace tavo::sim {
namespace {

// Eight characters: hexadecimal digits after optional leading blanks.
std::optional<std::uint32_t> CountValue(std::string_view text) {
    if (text.size() != 8) return std::nullopt;
    const std::size_t digits = text.find_first_not_of(' ');
    if (digits == std::string_view::npos) return std::nullopt;
    return ParseHex(text.substr(digits));
}

std::optional<unsigned> DecimalValue(std::string_view text, std::size_t digits, unsigned max) {
    if (text.size() != digits) return std::nullopt;
    unsigned v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    return v <= max ? std::optional<unsigned>(v) : std::nullopt;
}

std::string Decimal(unsigned value, int digits) {
    std::string text = std::to_string(value);
    return std::string(
               static_cast<std::size_t>(std::max(0, digits - static_cast<int>(text.size()))), '0') +
           text;
}

// A one-character code from `allowed`.
std::optional<unsigned> Code(std::string_view text, std::string_view allowed) {
    if (text.size() != 1 || allowed.find(text[0]) == std::string_view::npos) return std::nullopt;
    return static_cast<unsigned>(allowed.find(text[0]));
}

} // namespace

CounterModule::CounterModule(SimModule& m, bool display)
    : m_(m), display_(display), last_(SimClock::now()) {
    if (m.config().typeCode != 0x50 && m.config().typeCode != 0x51) m.config().typeCode = 0x50;
}

bool CounterModule::FrequencyMode() const {
    return m_.config().typeCode == 0x51;
}

double CounterModule::EffectiveHz(const Channel& c) const {
    if (c.hz <= 0.0) return 0.0;
    if (filter_) {
        const double halfPeriodUs = 1e6 / (2.0 * c.hz);
        if (highWidth_ > halfPeriodUs || lowWidth_ > halfPeriodUs) return 0.0;
    }
    return c.hz;
}

void CounterModule::Count(Channel& c, std::uint64_t pulses) {
    if (pulses == 0) return;
    const std::uint64_t value = c.count, max = c.max;
    if (value <= max && pulses <= max - value) {
        c.count = static_cast<std::uint32_t>(value + pulses);
        return;
    }
    // The pulse after the maximum restarts the counter at its initial value.
    const std::uint64_t restart = c.initial <= c.max ? c.initial : 0;
    const std::uint64_t toRestart = value <= max ? max - value + 1 : 1;
    const std::uint64_t cycle = max - restart + 1;
    c.count = static_cast<std::uint32_t>(restart + (pulses - toRestart) % cycle);
    c.overflow = true;
}

void CounterModule::CatchUp(TimePoint now) {
    if (now <= last_) return;
    const auto dt = std::chrono::duration_cast<Micros>(now - last_);
    const bool gateOpen = gateMode_ == 2 || (gateMode_ == 1) == gateInput_;
    for (Channel& c : ch_) {
        if (FrequencyMode() || !c.counting || !gateOpen) {
            c.carry = 0.0;
            continue;
        }
        Count(c, Pulses(EffectiveHz(c), dt, c.carry));
    }
    if (display_ && alarmMode_ == 2) latched_ |= AlarmNow();
    last_ = now;
}

void CounterModule::Advance(SimModule&, TimePoint now) {
    CatchUp(now);
}

std::uint32_t CounterModule::Reading(int n) const {
    const Channel& c = ch_[static_cast<std::size_t>(n)];
    if (!FrequencyMode()) return c.count;
    // Pulses seen in one gate time, scaled to Hz: 1 Hz steps with 1.0 s, 10 Hz with 0.1 s.
    if (m_.config().formatCode & 0x04)
        return static_cast<std::uint32_t>(std::floor(EffectiveHz(c)));
    return static_cast<std::uint32_t>(std::floor(EffectiveHz(c) * 0.1)) * 10u;
}

std::uint32_t CounterModule::Preset(int n) const {
    return n == 0 ? limitP_ : limitA_;
}

unsigned CounterModule::AlarmNow() const {
    if (display_) {
        if (alarmMode_ == 0 || FrequencyMode()) return 0;
        return (ch_[0].count > limitA_ ? 1u : 0u) | (ch_[0].count < limitP_ ? 2u : 0u);
    }
    unsigned alarms = 0;
    for (int n = 0; n < 2; ++n)
        if (ch_[n].presetMode && ch_[n].count >= Preset(n)) alarms |= 1u << n;
    return alarms;
}

unsigned CounterModule::Outputs() {
    CatchUp(SimClock::now());
    unsigned driven = 0;
    if (display_)
        driven = alarmMode_ != 0 ? 3u : 0u;
    else
        driven = (ch_[0].presetMode ? 1u : 0u) | (ch_[1].presetMode ? 2u : 0u);
    const unsigned alarms = AlarmNow() | (alarmMode_ == 2 ? latched_ : 0u);
    return (manual_ & ~driven) | (alarms & driven);
}

std::optional<std::string> CounterModule::Ascii(SimModule& m, char lead, std::string_view body) {
    if (lead == '#') {
        if (body.size() != 1 || (body[0] != '0' && body[0] != '1')) return std::nullopt;
        return ">" + Hex8Digits(Reading(body[0] - '0'));
    }
    if (lead == '$') return Dollar(m, body);
    if (lead == '@') return At(m, body);
    if (lead == '%') {
        // Only the two modes exist; the rest of the write is everyone's.
        const auto tt = body.size() == 8 ? ParseHex(body.substr(2, 2)) : std::nullopt;
        if (tt && *tt != 0x50 && *tt != 0x51) return m.Refuse();
    }
    return std::nullopt;
}

std::optional<std::string> CounterModule::Dollar(SimModule& m, std::string_view body) {
    if (body.empty()) return std::nullopt;
    const auto refuse = [&m] { return std::optional<std::string>(m.Refuse()); };
    const char cmd = body[0];
    const std::string_view rest = body.substr(1);
    // Per-channel commands: 3 maximum, 5 counting, 6 clear, 7 overflow.
    if (cmd == '3' || cmd == '5' || cmd == '6' || cmd == '7') {
        if (rest.empty() || (rest[0] != '0' && rest[0] != '1')) return refuse();
        Channel& c = ch_[static_cast<std::size_t>(rest[0] - '0')];
        const std::string_view value = rest.substr(1);
        switch (cmd) {
        case '3': {
            if (value.empty()) return m.Ok(Hex8Digits(c.max));
            const auto v = CountValue(value);
            if (!v || *v == 0) return refuse();
            c.max = *v;
            return m.Ok();
        }
        case '5':
            if (value.empty()) return m.Ok(c.counting ? "1" : "0");
            if (value != "0" && value != "1") return refuse();
            c.counting = value == "1";
            return m.Ok();
        case '6':
            if (!value.empty()) return refuse();
            c.count = display_ ? 0 : c.initial;
            c.overflow = false;
            c.carry = 0.0;
            return m.Ok();
        default:
            if (!value.empty()) return refuse();
            return m.Ok(c.overflow ? "1" : "0");
        }
    }
    const auto setting = [&](unsigned& field,
                             std::string_view allowed) -> std::optional<std::string> {
        if (rest.empty()) return m.Ok(std::string(1, allowed[field]));
        const auto v = Code(rest, allowed);
        if (!v) return refuse();
        field = *v;
        return m.Ok();
    };
    switch (cmd) {
    case 'A':
        return setting(gateMode_, "012");
    case 'B':
        return setting(signal_, "01");
    case '4':
        return setting(filter_, "01");
    case '8':
        if (!display_) return std::nullopt;
        return setting(ledSource_, "012");
    case '0':
    case '1': {
        if (rest.empty() || (rest[0] != 'H' && rest[0] != 'L')) return refuse();
        const bool width = cmd == '0';
        unsigned& field = width ? (rest[0] == 'H' ? highWidth_ : lowWidth_)
                                : (rest[0] == 'H' ? highTrigger_ : lowTrigger_);
        const std::size_t digits = width ? 5 : 2;
        if (rest.size() == 1) return m.Ok(Decimal(field, static_cast<int>(digits)));
        const auto v = DecimalValue(rest.substr(1), digits, width ? 65535 : 50);
        if (!v) return refuse();
        field = *v;
        return m.Ok();
    }
    case '9': {
        if (!display_) return std::nullopt;
        // Six characters of digits with at most one point: "0007.5", "9999.9".
        if (rest.size() != 6 || rest.find_first_not_of("0123456789.") != std::string_view::npos ||
            rest.find('.') != rest.rfind('.') || rest == "......")
            return refuse();
        const double v = std::stod(std::string(rest));
        if (v > 9999.9) return refuse();
        ledValue_ = v;
        return m.Ok();
    }
    default:
        return std::nullopt;
    }
}

std::optional<std::string> CounterModule::At(SimModule& m, std::string_view body) {
    const auto refuse = [&m] { return std::optional<std::string>(m.Refuse()); };
    const auto channel = [](std::string_view t) {
        return t.size() == 1 && (t[0] == '0' || t[0] == '1') ? t[0] - '0' : -1;
    };
    if (body == "DI") {
        const std::string status =
            display_ ? std::to_string(alarmMode_)
                     : std::to_string((ch_[0].presetMode ? 1 : 0) | (ch_[1].presetMode ? 2 : 0));
        return m.Ok(status + Hex2(Outputs()));
    }
    if (body.substr(0, 2) == "DO") {
        const auto v = body.size() == 4 ? ParseHex(body.substr(2)) : std::nullopt;
        if (!v || *v > 3) return refuse();
        manual_ = *v;
        return m.Ok();
    }
    if (body.substr(0, 2) == "SA" || body.substr(0, 2) == "PA") {
        const auto v = CountValue(body.substr(2));
        if (!v) return refuse();
        (body[0] == 'S' ? limitA_ : limitP_) = *v;
        return m.Ok();
    }
    if (body == "RA") return m.Ok(Hex8Digits(limitA_));
    if (body == "RP") return m.Ok(Hex8Digits(limitP_));
    if (display_) {
        if (body == "EAM" || body == "EAL") {
            alarmMode_ = body[2] == 'M' ? 1 : 2;
            latched_ = 0;
            return m.Ok();
        }
        if (body == "DA") {
            alarmMode_ = 0;
            latched_ = 0;
            return m.Ok();
        }
        if (body == "CA") {
            latched_ = 0;
            return m.Ok();
        }
        return std::nullopt;
    }
    if (body.substr(0, 2) == "EA" || body.substr(0, 2) == "DA") {
        const int n = channel(body.substr(2));
        if (n < 0) return refuse();
        ch_[static_cast<std::size_t>(n)].presetMode = body[0] == 'E';
        return m.Ok();
    }
    if (!body.empty() && (body[0] == 'P' || body[0] == 'G')) {
        const int n = body.size() >= 2 ? channel(body.substr(1, 1)) : -1;
        if (n < 0) return refuse();
        Channel& c = ch_[static_cast<std::size_t>(n)];
        if (body[0] == 'G') return body.size() == 2 ? m.Ok(Hex8Digits(c.initial)) : refuse();
        const auto v = CountValue(body.substr(2));
        if (!v) return refuse();
        c.initial = *v;
        return m.Ok();
    }
    return std::nullopt;
}

void CounterModule::SetFrequency(int n, double hz) {
    if (n < 0 || n > 1 || !(hz >= 0.0)) return;
    CatchUp(SimClock::now());
    ch_[static_cast<std::size_t>(n)].hz = hz;
}

void CounterModule::SetGateInput(bool high) {
    CatchUp(SimClock::now());
    gateInput_ = high;
}

std::uint32_t CounterModule::Count(int n) {
    CatchUp(SimClock::now());
    return n == 0 || n == 1 ? Reading(n) : 0;
}

bool CounterModule::Overflow(int n) {
    CatchUp(SimClock::now());
    return (n == 0 || n == 1) && ch_[static_cast<std::size_t>(n)].overflow;
}

double CounterModule::LedValue() {
    CatchUp(SimClock::now());
    if (ledSource_ == 2) return ledValue_;
    return static_cast<double>(Reading(static_cast<int>(ledSource_)));
}

void CounterModule::ApplyOptions(const ModuleConfig& config) {
    for (const auto& [key, value] : config.options) {
        if (!IsDigitalOption(key)) continue;
        if (key == "freq0" || key == "freq1") {
            ch_[key[4] == '0' ? 0 : 1].hz = FrequencyOption(key, value);
        } else if (key == "gatein") {
            if (value != "0" && value != "1")
                throw std::invalid_argument("bad value in 'gatein=" + value + "': 0 or 1");
            gateInput_ = value == "1";
        } else {
            throw std::invalid_argument("option '" + key + "' does not apply to " +
                                        config.designation);
        }
    }
}

} // namespace tavo::sim
