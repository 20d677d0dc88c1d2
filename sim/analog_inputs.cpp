// Simulated analog inputs, their alarm/event counter and the excitation output.
//
// Reply layouts (after "!AA" unless the reply starts with ">"):
//   #AA            ">" + one field per channel (seven characters each; four in the
//                  two's-complement hex format)
//   #AA{n}         ">" + the field of channel n
//   fields         engineering units: sign and six characters with the range's
//                  decimals ("+05.000", "+0760.0"); percent of full scale "+055.00";
//                  hex: four digits, two's complement of value / full scale * 7FFF;
//                  ohms (resistance sensors, where the model offers it) "+138.50".
//                  Burn-out reads "+888888" in every format (seven characters, also
//                  among the four-digit hex fields); a disabled channel reads 0.
//   $AA6           two hex digits, the channel enable mask
//   $AA8C{n}       "C{n}R{tt}"
//   $AAB           one character per channel: 0 normal, 1 above range, 2 below,
//                  3 burn-out
//   $AA3           ">" + cold-junction temperature "+025.30" (degC, offset included)
//   $AAR{ch}       four hex digits of |compensation| in 0.1 ohm, "-" first when negative
//   $AAY           watchdog in tenths of a second, "%04d"
//   $AAMP          scan progress in percent, "%03d"; $AAMC sampling rate in Hz, "%04d"
//   $AAMD          three hex digits as written with #AAMK: channel bits 11..4, filter
//                  rate position 3..0 (0 = 10 % ... 8 = 90 %)
//   $AAD2, $AAAT, $AAOD   two hex digits of the burn-out choice (0 disable, 1 up
//                  scale, 2 down scale) and of the thermocouple mode (0 normal,
//                  1 enhanced), as written with $AAD{xx}, #AAAT{xx}, #AAOD{xx}
//   @AADI          mode digit, outputs "%02X", inputs "%02X"
//   @AARH, @AARL   the limit text as written (sign and six characters)
//   @AARE          event count, five decimal digits
//   $AA6 (R250)    excitation output "%06.3f" volts
#include "analog_sim.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace tavo::sim::analog {
namespace {

constexpr double kPi = 3.14159265358979323846;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string Decimal(int value, int width) {
    char t[16];
    std::snprintf(t, sizeof t, "%0*d", width, value);
    return t;
}

} // namespace

const InputRange* InputModel::Find(unsigned code) const {
    for (const auto& r : ranges)
        if (r.code == code) return &r;
    return nullptr;
}

std::string SignedField(double value, int decimals, int width) {
    const int integers = width - 1 - (decimals > 0 ? decimals + 1 : 0);
    const double limit = std::pow(10.0, integers) - std::pow(10.0, -decimals);
    value = std::clamp(value, -limit, limit);
    char t[32];
    std::snprintf(t, sizeof t, "%+0*.*f", width, decimals, value);
    return t;
}

double Resistance(const InputRange& r, double celsius) {
    if (r.sensor == Sensor::Thermistor)
        return r.r0 * std::exp(r.coefficient * (1.0 / (celsius + 273.15) - 1.0 / 298.15));
    return r.r0 * (1.0 + r.coefficient * celsius);
}

double CelsiusFromResistance(const InputRange& r, double ohms) {
    if (r.sensor == Sensor::Thermistor) {
        if (ohms <= 0.0) return r.hi;
        return 1.0 / (std::log(ohms / r.r0) / r.coefficient + 1.0 / 298.15) - 273.15;
    }
    return (ohms / r.r0 - 1.0) / r.coefficient;
}

std::optional<double> ParseDecimal(std::string_view text) {
    std::size_t i = 0, digits = 0, points = 0;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) ++i;
    for (; i < text.size(); ++i) {
        if (IsDigit(text[i]))
            ++digits;
        else if (text[i] == '.')
            ++points;
        else
            return std::nullopt;
    }
    if (digits == 0 || points > 1) return std::nullopt;
    return std::strtod(std::string(text).c_str(), nullptr);
}

std::optional<int> ChannelDigit(std::string_view text, int count) {
    if (text.size() != 1 || !IsDigit(text[0]) || text[0] - '0' >= count) return std::nullopt;
    return text[0] - '0';
}

std::optional<double> NumberOption(const SimModule& m, const std::string& key) {
    const auto it = m.config().options.find(key);
    if (it == m.config().options.end()) return std::nullopt;
    return ParseDecimal(it->second);
}

std::optional<unsigned> HexOption(const SimModule& m, const std::string& key) {
    const auto it = m.config().options.find(key);
    if (it == m.config().options.end()) return std::nullopt;
    return ParseHex(it->second);
}

std::optional<std::vector<PatternStep>> ParsePattern(std::string_view text) {
    std::vector<PatternStep> steps;
    std::size_t timed = 0;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        if (comma != std::string_view::npos && text.empty()) return std::nullopt;
        PatternStep step;
        if (const std::size_t slash = item.find('/'); slash != std::string_view::npos) {
            const auto ms = ParseDecimal(item.substr(slash + 1));
            if (!ms || *ms <= 0.0 || *ms > 3.6e6) return std::nullopt;
            step.ms = *ms;
            item = item.substr(0, slash);
            ++timed;
        }
        const auto value = ParseDecimal(item);
        if (!value) return std::nullopt;
        step.value = *value;
        steps.push_back(step);
    }
    // Either every step is timed or none is.
    if (steps.empty() || (timed != 0 && timed != steps.size())) return std::nullopt;
    return steps;
}

// ---- InputCommands -----------------------------------------------------------------

void InputCommands::Init(SimModule& m) {
    // Patterns are checked once, so a bad bus file line says so at once.
    for (const auto& [key, value] : m.config().options)
        if (key.rfind("pattern", 0) == 0 && !ParsePattern(value))
            throw std::invalid_argument("bad value in '" + key + "=" + value +
                                        "': values with ',' between them, each with /MS or none");
    for (int ch = 0; ch < model_.channels; ++ch) {
        const auto i = static_cast<std::size_t>(ch);
        ranges_[i] = i < model_.defaultRanges.size()
                         ? static_cast<unsigned>(model_.defaultRanges[i])
                         : model_.ranges.front().code;
    }
    enableMask_ = (1u << model_.channels) - 1u;
    if (!model_.rangePerChannel && !model_.Find(m.config().typeCode))
        m.config().typeCode = model_.ranges.front().code;
}

void InputCommands::Advance(SimModule&, TimePoint now) {
    if (!started_) {
        start_ = now;
        started_ = true;
    }
}

double InputCommands::Elapsed(const SimModule& m) const {
    if (!started_) return 0.0;
    return std::chrono::duration<double>(m.Now() - start_).count();
}

const InputRange* InputCommands::RangeOf(const SimModule& m, int ch) const {
    const unsigned code =
        model_.rangePerChannel ? ranges_[static_cast<std::size_t>(ch)] : m.config().typeCode;
    const InputRange* r = model_.Find(code);
    return r ? r : &model_.ranges.front();
}

bool InputCommands::Fahrenheit(const SimModule& m) const {
    return model_.fahrenheitBit && (m.config().formatCode & 0x08);
}

bool InputCommands::BurntOut(const SimModule& m, int ch) const {
    const auto mask = HexOption(m, "burnout");
    return mask && ((*mask >> ch) & 1) && RangeOf(m, ch)->Temperature();
}

std::optional<double> InputCommands::PatternValue(const SimModule& m, int ch,
                                                  double seconds) const {
    const auto& options = m.config().options;
    auto it = options.find("pattern" + std::to_string(ch));
    if (it == options.end()) it = options.find("pattern");
    if (it == options.end()) return std::nullopt;
    const auto steps = ParsePattern(it->second);
    if (!steps) return std::nullopt;
    if (steps->front().ms <= 0.0)
        return (*steps)[reads_[static_cast<std::size_t>(ch)] % steps->size()].value;
    double total = 0.0;
    for (const auto& step : *steps)
        total += step.ms;
    double at = std::fmod(seconds * 1000.0, total);
    for (const auto& step : *steps) {
        if (at < step.ms) return step.value;
        at -= step.ms;
    }
    return steps->back().value;
}

double InputCommands::CjcCelsius(const SimModule& m) const {
    const double base =
        NumberOption(m, "cjc").value_or(25.0 + 0.4 * std::sin(2.0 * kPi * Elapsed(m) / 300.0));
    return base + cjcOffsetCounts_ * 0.009;
}

double InputCommands::ValueAt(const SimModule& m, int ch, double seconds) const {
    if (source_)
        if (const auto v = source_(m, ch)) return *v;
    const auto& options = m.config().options;
    const std::string own = std::to_string(ch);
    // The channel's own setting first, then the one for all channels.
    if (options.count("pattern" + own))
        if (const auto v = PatternValue(m, ch, seconds)) return *v;
    if (const auto v = NumberOption(m, "value" + own)) return *v;
    if (const auto v = PatternValue(m, ch, seconds)) return *v;
    if (const auto v = NumberOption(m, "value")) return *v;
    const InputRange& r = *RangeOf(m, ch);
    const double span = r.hi - r.lo;
    const double mid = r.Temperature()
                           ? std::clamp(25.0 + 40.0 * ch, r.lo + 0.1 * span, r.hi - 0.1 * span)
                           : r.lo + span * (0.55 + 0.05 * ch);
    double v = mid + span * 0.02 * std::sin(2.0 * kPi * seconds / (30.0 + 7.0 * ch) + ch);
    if (r.sensor == Sensor::Thermocouple) v += cjcOffsetCounts_ * 0.009;
    const int wire = wireTenths_[static_cast<std::size_t>(ch)];
    if (r.Resistive() && wire != 0) v = CelsiusFromResistance(r, Resistance(r, v) - wire * 0.1);
    return v;
}

std::string InputCommands::Field(const SimModule& m, int ch) const {
    const int format = static_cast<int>(m.config().formatCode & 3);
    if (BurntOut(m, ch)) return "+888888";
    const InputRange& r = *RangeOf(m, ch);
    const double v = model_.channels > 1 && !Enabled(ch) ? 0.0 : Value(m, ch);
    if (format == model_.ohmsFormat && r.Resistive()) {
        const double ohms = Resistance(r, v);
        return SignedField(ohms, ohms < 1000.0 ? 2 : ohms < 10000.0 ? 1 : 0);
    }
    const double fullScale = std::max(std::fabs(r.lo), std::fabs(r.hi));
    if (format == kPercent) return SignedField(v / fullScale * 100.0, 2);
    if (format == kHex) {
        const long counts = std::clamp(std::lround(v / fullScale * 32767.0), -32768L, 32767L);
        return Hex4(static_cast<unsigned>(counts) & 0xFFFF);
    }
    if (r.Temperature() && Fahrenheit(m)) return SignedField(v * 9.0 / 5.0 + 32.0, r.decimals);
    return SignedField(v, r.decimals);
}

std::optional<std::string> InputCommands::Ascii(SimModule& m, char lead, std::string_view body) {
    if (lead == '$')
        if (auto r = Calibration(m, body)) return r;
    if (auto r = Channels(m, lead, body)) return r;
    if (model_.cjc)
        if (auto r = ColdJunction(m, lead, body)) return r;
    if (auto r = Extras(m, lead, body)) return r;
    if (model_.filterSettings)
        if (auto r = FilterSettings(m, lead, body)) return r;
    return std::nullopt;
}

std::optional<std::string> InputCommands::Calibration(SimModule& m, std::string_view body) {
    if (body == "0" || body == "1") {
        if (model_.channelCalibration) return std::nullopt;
        ++calibrations_;
        return m.Ok();
    }
    if (body.size() == 3 && body[1] == 'C' &&
        (body[0] == '0' || body[0] == '1' || body[0] == 'N')) {
        if (!model_.channelCalibration || (body[0] == 'N' && !model_.negativeCalibration))
            return std::nullopt;
        if (!ChannelDigit(body.substr(2), model_.channels)) return m.Refuse();
        ++calibrations_;
        return m.Ok();
    }
    return std::nullopt;
}

std::optional<std::string> InputCommands::Channels(SimModule& m, char lead, std::string_view body) {
    const int count = model_.channels;
    if (lead == '#' && body.empty() && model_.readAll) {
        std::string data;
        for (int ch = 0; ch < count; ++ch) {
            data += Field(m, ch);
            ++reads_[static_cast<std::size_t>(ch)];
        }
        return ">" + data;
    }
    if (lead == '#' && count > 1 && body.size() == 1 && IsDigit(body[0])) {
        const auto ch = ChannelDigit(body, count);
        if (!ch) return m.Refuse();
        const std::string field = Field(m, *ch);
        ++reads_[static_cast<std::size_t>(*ch)];
        return ">" + field;
    }
    if (lead == '$' && model_.status && body == "B") {
        std::string status;
        for (int ch = 0; ch < count; ++ch) {
            const InputRange& r = *RangeOf(m, ch);
            const double v = Value(m, ch);
            status += BurntOut(m, ch) ? '3' : v > r.hi ? '1' : v < r.lo ? '2' : '0';
        }
        return m.Ok(status);
    }
    if (lead != '$' || count == 1) return std::nullopt;
    if (body == "6") return m.Ok(Hex2(enableMask_));
    if (body.size() == 3 && body[0] == '5') {
        const auto mask = ParseHex(body.substr(1));
        if (!mask || (*mask >> count) != 0) return m.Refuse();
        enableMask_ = *mask;
        return m.Ok();
    }
    if (body.size() == 3 && body.substr(0, 2) == "8C") {
        const auto ch = ChannelDigit(body.substr(2), count);
        if (!ch) return m.Refuse();
        return m.Ok("C" + std::string(body.substr(2)) + "R" + Hex2(RangeOf(m, *ch)->code));
    }
    if (body.size() == 6 && body.substr(0, 2) == "7C" && body[3] == 'R') {
        const auto ch = ChannelDigit(body.substr(2, 1), count);
        const auto code = ParseHex(body.substr(4));
        // One range for all channels: it changes with the configuration only.
        if (!model_.rangePerChannel || !ch || !code || !model_.Find(*code)) return m.Refuse();
        ranges_[static_cast<std::size_t>(*ch)] = *code;
        return m.Ok();
    }
    return std::nullopt;
}

std::optional<std::string> InputCommands::ColdJunction(SimModule& m, char lead,
                                                       std::string_view body) {
    if (lead != '$') return std::nullopt;
    if (body == "3") return ">" + SignedField(CjcCelsius(m), 2);
    if (body.size() == 6 && body[0] == '9') {
        const auto counts = ParseHex(body.substr(2));
        // The offset may be -99.9 to +99.9 degC: 11100 steps of 0.009 degC.
        if ((body[1] != '+' && body[1] != '-') || !counts || *counts > 11100) return m.Refuse();
        cjcOffsetCounts_ = body[1] == '-' ? -static_cast<int>(*counts) : static_cast<int>(*counts);
        return m.Ok();
    }
    return std::nullopt;
}

std::optional<std::string> InputCommands::Extras(SimModule& m, char lead, std::string_view body) {
    if (lead != '$' || body.empty()) return std::nullopt;
    if (model_.wireCompensation && body[0] == 'R' && (body.size() == 2 || body.size() == 7)) {
        const auto ch = ChannelDigit(body.substr(1, 1), model_.channels);
        if (!ch) return m.Refuse();
        int& tenths = wireTenths_[static_cast<std::size_t>(*ch)];
        if (body.size() == 2)
            return m.Ok((tenths < 0 ? "-" : "") + Hex4(static_cast<unsigned>(std::abs(tenths))));
        const auto value = ParseHex(body.substr(3));
        if ((body[2] != '+' && body[2] != '-') || !value) return m.Refuse();
        tenths = body[2] == '-' ? -static_cast<int>(*value) : static_cast<int>(*value);
        return m.Ok();
    }
    if (model_.modeCommands && (body == "S0" || body == "S1")) {
        sensorMode_ = body[1] - '0';
        return m.Ok();
    }
    if (model_.watchdog && body == "Y") return m.Ok(Decimal(watchdogTenths_, 4));
    if (model_.watchdog && body.size() == 5 && body[0] == 'X') {
        const auto rest = body.substr(1);
        if (!std::all_of(rest.begin(), rest.end(), IsDigit)) return m.Refuse();
        watchdogTenths_ = std::atoi(std::string(rest).c_str());
        return m.Ok();
    }
    return std::nullopt;
}

double InputCommands::ScanMs(const SimModule& m) const {
    // A scan takes three seconds unless the bus file says otherwise (0: at once).
    const auto ms = NumberOption(m, "scanms");
    return ms && *ms >= 0.0 ? *ms : 3000.0;
}

std::optional<std::string> InputCommands::FilterSettings(SimModule& m, char lead,
                                                         std::string_view body) {
    // Two hex digits no larger than `max`, stored in `into`.
    const auto small = [&](std::string_view digits, unsigned max, unsigned& into) {
        const auto v = ParseHex(digits);
        if (digits.size() != 2 || !v || *v > max) return m.Refuse();
        into = *v;
        return m.Ok();
    };
    if (lead == '#') {
        if (body == "MM") {
            scanStart_ = m.Now();
            return m.Ok();
        }
        if (body.size() == 5 && body.substr(0, 2) == "MK") {
            const auto v = ParseHex(body.substr(2));
            if (!v || (*v & 0xF) > 8 || (*v >> (4 + model_.channels)) != 0) return m.Refuse();
            filterRate_ = *v;
            return m.Ok();
        }
        if (body.substr(0, 2) == "AT" && body.size() == 4)
            return small(body.substr(2), 2, burnOutAt_);
        if (body.substr(0, 2) == "OD" && body.size() == 4)
            return small(body.substr(2), 1, thermoMode_);
        return std::nullopt;
    }
    if (lead != '$') return std::nullopt;
    if (body == "MP") {
        int percent = 0;
        if (scanStart_) {
            const double ms = ScanMs(m);
            const double elapsed = std::chrono::duration<double>(m.Now() - *scanStart_).count();
            percent =
                ms <= 0.0 ? 100 : std::min(100, static_cast<int>(elapsed * 1000.0 / ms * 100.0));
        }
        return m.Ok(Decimal(percent, 3));
    }
    // Integration: "Auto Filter" (format bit 7) samples a little faster than 50/60 Hz
    // rejection, "High Speed" (bit 5) much faster.
    if (body == "MC")
        return m.Ok(Decimal(m.config().formatCode & 0x20   ? 60
                            : m.config().formatCode & 0x80 ? 12
                                                           : 10,
                            4));
    if (body == "MD") {
        char t[8];
        std::snprintf(t, sizeof t, "%03X", filterRate_ & 0xFFF);
        return m.Ok(t);
    }
    if (body == "D2") return m.Ok(Hex2(burnOut_));
    if (body.size() == 3 && body[0] == 'D') return small(body.substr(1), 2, burnOut_);
    if (body == "AT") return m.Ok(Hex2(burnOutAt_));
    if (body == "OD") return m.Ok(Hex2(thermoMode_));
    return std::nullopt;
}

// ---- AlarmEventCommands --------------------------------------------------------------

unsigned AlarmEventCommands::DigitalInputs(const SimModule& m, double seconds) const {
    if (inputs_ == 0) return 0;
    const unsigned mask = (1u << inputs_) - 1u;
    if (const auto fixed = HexOption(m, "di")) return *fixed & mask;
    // DI0 is high for the second half of every four seconds.
    return std::fmod(seconds, 4.0) >= 2.0 ? 1u : 0u;
}

void AlarmEventCommands::Advance(SimModule& m, TimePoint) {
    const auto* inputs = m.Find<InputCommands>();
    if (!inputs) return;
    if (high_.empty()) {
        const InputRange& r = *inputs->RangeOf(m, 0);
        high_ = SignedField(r.lo + 0.8 * (r.hi - r.lo), r.decimals);
        low_ = SignedField(r.lo + 0.2 * (r.hi - r.lo), r.decimals);
    }
    const double now = inputs->Elapsed(m);
    if (lastSeconds_ && inputs_ > 0 && !HexOption(m, "di")) {
        // Rising edges of DI0 (at 4k + 2 seconds) since the last look.
        const auto edges = std::floor((now + 2.0) / 4.0) - std::floor((*lastSeconds_ + 2.0) / 4.0);
        if (edges > 0) events_ = (events_ + static_cast<unsigned>(edges)) % 100000u;
    }
    lastSeconds_ = now;
    Evaluate(m);
}

void AlarmEventCommands::Evaluate(SimModule& m) {
    const auto* inputs = m.Find<InputCommands>();
    if (mode_ == 0 || !inputs) return;
    const double v = inputs->Value(m, 0);
    const auto high = ParseDecimal(high_), low = ParseDecimal(low_);
    unsigned trips = 0;
    if (high && v > *high) trips |= 1u; // DO0: high alarm
    if (low && v < *low) trips |= 2u;   // DO1: low alarm
    dout_ = mode_ == 1 ? (dout_ & ~3u) | trips : dout_ | trips;
}

std::optional<std::string> AlarmEventCommands::Ascii(SimModule& m, char lead,
                                                     std::string_view body) {
    if (lead != '@') return std::nullopt;
    if (body == "EAM" || body == "EAL") {
        mode_ = body[2] == 'M' ? 1 : 2;
        dout_ = 0;
        Evaluate(m);
        return m.Ok();
    }
    if (body == "DA") {
        mode_ = 0;
        dout_ = 0;
        return m.Ok();
    }
    if (body == "CA") {
        if (mode_ != 2) return m.Refuse();
        dout_ &= ~3u;
        Evaluate(m); // a limit still passed trips again at once
        return m.Ok();
    }
    if (body.size() == 4 && body.substr(0, 2) == "DO") {
        // Outputs are the user's only while the alarm is off.
        const auto v = ParseHex(body.substr(2));
        if (mode_ != 0 || !v || (*v >> outputs_) != 0) return m.Refuse();
        dout_ = *v;
        return m.Ok();
    }
    if (body.size() == 9 && (body.substr(0, 2) == "HI" || body.substr(0, 2) == "LO")) {
        const auto limit = body.substr(2);
        if ((limit[0] != '+' && limit[0] != '-') || !ParseDecimal(limit)) return m.Refuse();
        (body[0] == 'H' ? high_ : low_) = std::string(limit);
        Evaluate(m);
        return m.Ok();
    }
    if (body == "CE") {
        events_ = 0;
        return m.Ok();
    }
    if (body == "DI") {
        const auto* inputs = m.Find<InputCommands>();
        const double now = inputs ? inputs->Elapsed(m) : 0.0;
        return m.Ok(std::string(1, static_cast<char>('0' + mode_)) + Hex2(dout_) +
                    Hex2(DigitalInputs(m, now)));
    }
    if (body == "RH") return m.Ok(high_);
    if (body == "RL") return m.Ok(low_);
    if (body == "RE") return m.Ok(Decimal(static_cast<int>(events_), 5));
    return std::nullopt;
}

// ---- ExcitationCommands --------------------------------------------------------------

std::optional<std::string> ExcitationCommands::Ascii(SimModule& m, char lead,
                                                     std::string_view body) {
    if (lead != '$' || body.empty()) return std::nullopt;
    if (body == "6") {
        // Each trim step moves the output by 0.1 mV the other way.
        char t[16];
        std::snprintf(t, sizeof t, "%06.3f", std::clamp(volts_ - trimSteps_ * 0.0001, 0.0, 10.5));
        return m.Ok(t);
    }
    if (body[0] == '7' && body.size() > 1) {
        const auto v = ParseDecimal(body.substr(1));
        if (!v || *v < 0.0 || *v > 10.0) return m.Refuse();
        volts_ = *v;
        return m.Ok();
    }
    if (body == "S") {
        startup_ = volts_;
        return m.Ok();
    }
    if (body.size() == 3 && body[0] == 'E') {
        const auto nn = ParseHex(body.substr(1));
        if (!nn) return m.Refuse();
        trimSteps_ += static_cast<std::int8_t>(*nn);
        return m.Ok();
    }
    if (body == "A" || body == "B") return m.Ok(); // the trimmed point becomes the calibration
    return std::nullopt;
}

} // namespace tavo::sim::analog
