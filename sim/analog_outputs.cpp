// Simulated analog output modules.
//
// R310 (range = type code 30 0~20 mA, 31 4~20 mA, 32 0~10 V; values in the data
// format of format bits 1..0):
//   #AA{value}   engineering units "04.500" (sign allowed), percent "+050.00", or
//                three hex digits 000..FFF over the range
//   $AA6         the last value written, in the same form
//   $AA8         the output as measured: it follows the last value at the slew rate
//                of format bits 5..2 (0 immediately, code k: 0.125 * 2^(k-1) mA/s
//                or half that in V/s), shifted by the trim steps
//   $AA3{nn}     trim: nn as a signed byte, each step 1.5 uA (0.75 mV) the other way
// R330 (four channels, ranges 30/31/32 as above but 32 = -10~+10 V, values always in
// engineering units, "%+07.3f"):
//   $AA6C{n}, $AADC{n}, $AAEC{n}   "!AA" + value
//   $AA8C{n}     "!AAC{n}{tt}";  $AABC{n}  "!AAC{n}{0|1}"
//   $AAX1        "!" + four hex digits (tenths of a second), no address
//   $AAI         two hex digits, the digital inputs
//   Each channel's output follows the value written at the slew rate of format bits
//   5..2, as the R310's does; $AA6C{n} reports the output as it stands.
// A channel whose emergency input is enabled goes to its emergency value while its
// digital input is on; when the comm-safety time (non-zero) passes without a command,
// every channel goes to its emergency value until it is written again. Outputs start
// at their start-up values, at power-up (SimModule::PowerCycle) too.
// Bus file: startup=X the start-up value of every output (R310, R330, and the R250's
// excitation), outrange=HH,HH,HH,HH the R330's channel ranges at power-up.
#include "analog_sim.h"
#include "digital_modules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace tavo::sim::analog {
namespace {

struct Limits {
    double lo, hi;
    bool volts;
};

std::optional<Limits> R310Limits(unsigned code) {
    switch (code) {
    case 0x30:
        return Limits{0.0, 20.0, false};
    case 0x31:
        return Limits{4.0, 20.0, false};
    case 0x32:
        return Limits{0.0, 10.0, true};
    default:
        return std::nullopt;
    }
}

std::optional<Limits> R330Limits(unsigned code) {
    if (code == 0x32) return Limits{-10.0, 10.0, true};
    return R310Limits(code);
}

bool Within(double v, const Limits& l) {
    return v >= l.lo - 1e-9 && v <= l.hi + 1e-9;
}

// Slew-rate code k of format bits 5..2: 0 immediately, else 0.125 * 2^(k-1) mA/s or
// half that in V/s.
double SlewPerSecond(unsigned formatCode, bool volts) {
    const unsigned code = (formatCode >> 2) & 0xF;
    return code == 0 ? 0.0 : (volts ? 0.0625 : 0.125) * std::pow(2.0, code - 1.0);
}

// Moves `output` toward `target` by at most `step` (a non-positive step jumps).
double Slewed(double output, double target, double step) {
    if (step <= 0.0) return target;
    return output < target ? std::min(target, output + step) : std::max(target, output - step);
}

std::invalid_argument BadOption(const SimModule& m, const std::string& key, const char* why) {
    return std::invalid_argument("bad value in '" + key + "=" + m.config().options.at(key) +
                                 "': " + why);
}

// The bus file's start-up value, when given; it must lie within `limits`.
std::optional<double> StartupOption(const SimModule& m, const Limits& limits) {
    if (!m.config().options.count("startup")) return std::nullopt;
    const auto v = NumberOption(m, "startup");
    if (!v || !Within(*v, limits)) throw BadOption(m, "startup", "a value within the output range");
    return *v;
}

} // namespace

// ---- R310 ------------------------------------------------------------------------------

void SingleOutputCommands::Init(SimModule& m) {
    if (!R310Limits(m.config().typeCode)) m.config().typeCode = 0x30;
    const Limits l = *R310Limits(m.config().typeCode);
    startup_ = StartupOption(m, l).value_or(l.lo);
    PowerUp(m);
}

void SingleOutputCommands::PowerUp(SimModule& m) {
    const Limits l = *R310Limits(m.config().typeCode);
    target_ = output_ = std::clamp(startup_, l.lo, l.hi);
    last_.reset();
}

std::optional<double> SingleOutputCommands::ParseValue(const SimModule& m,
                                                       std::string_view text) const {
    const Limits l = *R310Limits(m.config().typeCode);
    std::optional<double> v;
    switch (m.config().formatCode & 3) {
    case kEngineering:
        v = ParseDecimal(text);
        break;
    case kPercent:
        if (const auto pct = ParseDecimal(text); pct && *pct >= 0.0 && *pct <= 100.0)
            v = l.lo + *pct / 100.0 * (l.hi - l.lo);
        break;
    case kHex:
        if (const auto n = ParseHex(text); n && text.size() == 3)
            v = l.lo + *n / 4095.0 * (l.hi - l.lo);
        break;
    default:
        break;
    }
    if (!v || !Within(*v, l)) return std::nullopt;
    return std::clamp(*v, l.lo, l.hi);
}

std::string SingleOutputCommands::FormatValue(const SimModule& m, double value) const {
    const Limits l = *R310Limits(m.config().typeCode);
    value = std::clamp(value, l.lo, l.hi);
    char t[16];
    switch (m.config().formatCode & 3) {
    case kPercent:
        std::snprintf(t, sizeof t, "+%06.2f", (value - l.lo) / (l.hi - l.lo) * 100.0);
        break;
    case kHex:
        std::snprintf(t, sizeof t, "%03X",
                      static_cast<unsigned>(std::lround((value - l.lo) / (l.hi - l.lo) * 4095.0)));
        break;
    default:
        std::snprintf(t, sizeof t, "%06.3f", value);
        break;
    }
    return t;
}

void SingleOutputCommands::Advance(SimModule& m, TimePoint now) {
    const Limits l = *R310Limits(m.config().typeCode);
    // The range may have changed since the last command.
    target_ = std::clamp(target_, l.lo, l.hi);
    output_ = std::clamp(output_, l.lo, l.hi);
    const double dt = last_ ? std::chrono::duration<double>(now - *last_).count() : 0.0;
    last_ = now;
    output_ = Slewed(output_, target_, SlewPerSecond(m.config().formatCode, l.volts) * dt);
}

std::optional<std::string> SingleOutputCommands::Ascii(SimModule& m, char lead,
                                                       std::string_view body) {
    const bool volts = R310Limits(m.config().typeCode)->volts;
    if (lead == '#' && !body.empty()) {
        const auto v = ParseValue(m, body);
        if (!v) return m.Refuse();
        target_ = *v;
        return m.Ok();
    }
    if (lead != '$') return std::nullopt;
    if (body == "4") {
        startup_ = target_;
        return m.Ok();
    }
    if (body.size() == 3 && body[0] == '3') {
        const auto nn = ParseHex(body.substr(1));
        if (!nn) return m.Refuse();
        trimSteps_ += static_cast<std::int8_t>(*nn);
        return m.Ok();
    }
    if (body == "0" || body == "1") return m.Ok();
    if (body == "6") return m.Ok(FormatValue(m, target_));
    if (body == "8") return m.Ok(FormatValue(m, output_ - trimSteps_ * (volts ? 0.00075 : 0.0015)));
    return std::nullopt;
}

// ---- R330 ------------------------------------------------------------------------------

void MultiOutputCommands::Init(SimModule& m) {
    if (const auto it = m.config().options.find("outrange"); it != m.config().options.end()) {
        std::size_t n = 0, at = 0;
        const std::string& text = it->second;
        for (; n < channels_.size() && at <= text.size(); ++n, at += 3) {
            const auto code = ParseHex(text.substr(at, 2));
            if (!code || !R330Limits(*code) || (at + 2 < text.size() && text[at + 2] != ','))
                throw BadOption(m, "outrange", "four range codes 30, 31 or 32, comma separated");
            channels_[n].range = *code;
        }
        if (n != channels_.size() || at < text.size())
            throw BadOption(m, "outrange", "four range codes 30, 31 or 32, comma separated");
    }
    for (auto& c : channels_) {
        const Limits l = *R330Limits(c.range);
        c.startup = c.emergency = StartupOption(m, l).value_or(l.lo);
    }
    PowerUp(m);
}

void MultiOutputCommands::PowerUp(SimModule&) {
    for (auto& c : channels_) {
        c.value = c.output = c.startup;
        c.safe = false;
    }
    lastCommand_.reset();
    lastSlew_.reset();
}

unsigned MultiOutputCommands::Inputs(const SimModule& m) const {
    return HexOption(m, "di").value_or(0) & 0xF;
}

double MultiOutputCommands::Effective(const SimModule& m, int n) const {
    const Channel& c = channels_[static_cast<std::size_t>(n)];
    if (c.safe || (c.emergencyInput && ((Inputs(m) >> n) & 1))) return c.emergency;
    return c.output;
}

void MultiOutputCommands::Advance(SimModule& m, TimePoint now) {
    const double dt = lastSlew_ ? std::chrono::duration<double>(now - *lastSlew_).count() : 0.0;
    lastSlew_ = now;
    for (auto& c : channels_)
        c.output = Slewed(c.output, c.value,
                          SlewPerSecond(m.config().formatCode, R330Limits(c.range)->volts) * dt);
    if (safetyTenths_ > 0 && lastCommand_ &&
        now - *lastCommand_ > std::chrono::milliseconds(safetyTenths_ * 100))
        for (auto& c : channels_)
            c.safe = true;
    lastCommand_ = now;
}

std::optional<std::string> MultiOutputCommands::Ascii(SimModule& m, char lead,
                                                      std::string_view body) {
    // "{prefix}{n}" + rest, n a channel 0..3.
    const auto channel = [&](std::size_t prefix) -> Channel* {
        if (body.size() <= prefix) return nullptr;
        const auto n = ChannelDigit(body.substr(prefix, 1), 4);
        return n ? &channels_[static_cast<std::size_t>(*n)] : nullptr;
    };
    const auto value = [&](Channel& c, std::size_t at) -> std::optional<double> {
        const auto v = ParseDecimal(body.substr(at));
        if (!v || !Within(*v, *R330Limits(c.range))) return std::nullopt;
        return *v;
    };
    if (lead == '#') {
        const std::size_t prefix = body.substr(0, 1) == "C" ? 1 : 2;
        const std::string_view what = body.substr(0, prefix);
        if (what != "C" && what != "SC" && what != "EC") return std::nullopt;
        Channel* c = channel(prefix);
        const auto v = c ? value(*c, prefix + 1) : std::nullopt;
        if (!v) return m.Refuse();
        if (what == "C") {
            c->value = *v;
            c->safe = false;
        } else {
            (what == "SC" ? c->startup : c->emergency) = *v;
        }
        return m.Ok();
    }
    if (lead != '$') return std::nullopt;
    if (body == "I") return m.Ok(Hex2(Inputs(m)));
    if (body == "X1") return "!" + Hex4(safetyTenths_);
    if (body.size() == 6 && body.substr(0, 2) == "X0") {
        const auto t = ParseHex(body.substr(2));
        if (!t) return m.Refuse();
        safetyTenths_ = *t;
        return m.Ok();
    }
    if (body.size() < 3 || body[1] != 'C') return std::nullopt;
    const std::string_view what = body.substr(0, 1);
    Channel* c = channel(2);
    const std::string n(body.substr(2, 1));
    if (!c) return m.Refuse();
    const int index = static_cast<int>(c - channels_.data());
    if (body.size() == 3) {
        if (what == "0" || what == "1") return m.Ok();
        if (what == "6") return m.Ok(SignedField(Effective(m, index), 3));
        if (what == "8") return m.Ok("C" + n + Hex2(c->range));
        if (what == "B") return m.Ok("C" + n + (c->emergencyInput ? "1" : "0"));
        if (what == "D") return m.Ok(SignedField(c->startup, 3));
        if (what == "E") return m.Ok(SignedField(c->emergency, 3));
        return m.Refuse();
    }
    if (what == "7" && body.size() == 6 && body[3] == 'R') {
        const auto code = ParseHex(body.substr(4));
        const auto limits = code ? R330Limits(*code) : std::nullopt;
        if (!limits) return m.Refuse();
        c->range = *code;
        for (double* v : {&c->value, &c->output, &c->startup, &c->emergency})
            *v = std::clamp(*v, limits->lo, limits->hi);
        return m.Ok();
    }
    if (what == "A" && body.size() == 4 && (body[3] == '0' || body[3] == '1')) {
        c->emergencyInput = body[3] == '1';
        return m.Ok();
    }
    return m.Refuse();
}

// ---- R250 excitation ---------------------------------------------------------------

void ExcitationCommands::Init(SimModule& m) {
    if (const auto v = StartupOption(m, Limits{0.0, 10.0, true})) volts_ = startup_ = *v;
}

// ---- R330 ----------------------------------------------------------------------------

const ModbusMapRow<MultiOutputCommands> MultiOutputCommands::kModbusMap[4] = {
    {PointKind::Register, 1, Fixed<MultiOutputCommands, 4>,
     [](MultiOutputCommands& o, int n) -> std::uint32_t {
         const Limits l = *R330Limits(o.channels_[static_cast<std::size_t>(n)].range);
         return ModbusFraction(o.Effective(*o.modbusModule_, n), l.lo, l.hi, 4095.0);
     },
     [](MultiOutputCommands& o, int n, std::uint32_t v) -> ModbusPoints::Refusal {
         Channel& c = o.channels_[static_cast<std::size_t>(n)];
         const Limits l = *R330Limits(c.range);
         c.value = l.lo + (l.hi - l.lo) * v / 4095.0;
         c.safe = false;
         return std::nullopt;
     },
     [](MultiOutputCommands&, int, std::uint32_t v) -> ModbusPoints::Refusal {
         if (v > 4095) return std::uint8_t{0x03}; // illegal data value
         return std::nullopt;
     }},
    {PointKind::Register, 201, Fixed<MultiOutputCommands, 4>,
     [](MultiOutputCommands& o, int n) -> std::uint32_t {
         return o.channels_[static_cast<std::size_t>(n)].range;
     },
     [](MultiOutputCommands& o, int n, std::uint32_t v) -> ModbusPoints::Refusal {
         Channel& c = o.channels_[static_cast<std::size_t>(n)];
         const Limits l = *R330Limits(v);
         c.range = v;
         for (double* x : {&c.value, &c.output, &c.startup, &c.emergency})
             *x = std::clamp(*x, l.lo, l.hi);
         return std::nullopt;
     },
     [](MultiOutputCommands&, int, std::uint32_t v) -> ModbusPoints::Refusal {
         if (!R330Limits(v)) return std::uint8_t{0x03}; // illegal data value
         return std::nullopt;
     }},
    {PointKind::Register, 213, Fixed<MultiOutputCommands, 1>,
     [](MultiOutputCommands& o, int) -> std::uint32_t {
         return FirmwareWord(o.modbusModule_->config().firmware);
     }},
    {PointKind::Coil, 1, Fixed<MultiOutputCommands, 4>,
     [](MultiOutputCommands& o, int n) -> std::uint32_t {
         return (o.Inputs(*o.modbusModule_) >> n) & 1;
     }},
};

void MultiOutputCommands::AddModbusMap(SimModule& m) {
    modbusModule_ = &m;
    points_.SetFunctions({0x01, 0x03, 0x06, 0x10});
    AddMapRows(points_, *this, kModbusMap);
}

std::optional<Bytes> MultiOutputCommands::Modbus(SimModule& m, const Bytes& pdu) {
    if (!modbusModule_) return std::nullopt;
    return points_.Handle(m, pdu);
}

} // namespace tavo::sim::analog
