// Universal digital I/O modules R850 (outputs DO0..DO7, inputs DI0..DI6) and R860
// (outputs DO0..DO7), and their boot loader.
//
// Channel commands (c one decimal digit; values upper-case hexadecimal):
//   $AACICc / $AACICcmm   !AAmm / !AA     input mode: bits 3..0 0 DI, 1 counter,
//                                         2 low-to-high latch, 3 high-to-low latch,
//                                         4 frequency; bit 5 keep the count over a
//                                         restart, bit 6 filter, bit 7 invert
//   $AA0Cc / $AA0Cc{lo}{hi}               filter minimum low and high widths, 0.1 ms,
//                                         eight digits each
//   #AAc                  >vvvvvvvv       DI: the input (0/1); counter: the count;
//                                         latch: the latch (0/1); frequency: 0.1 Hz
//   $AA5c / $AA5c0|1      !AAs / !AA      counting state / stop, start
//   $AA6c, @AACACc        !AA             both clear the channel's count and latch
//   $AACOCc / $AACOCcmm   !AAmm / !AA     output mode: 0 D/O, 1 pulse, 2 low-to-high
//                                         delay, 3 high-to-low delay
//   $AA9c / $AA9c{w1..w4} !AA{4 x 8} / !AA   low width, high width, low-to-high delay,
//                                         high-to-low delay, 0.1 ms; widths above 0
//   #AAERFFcc{n}          >               pulse mode only: n pulses (0 = without end),
//                                         high first; a new count restarts the train
//   $AAERFFcc             >AAs{n}         s 1 while pulsing, n pulses still to come
//                                         (0 when without end or stopped)
//   #AAOS                 !AA             restart into the boot loader
// A direct output write (#AA1c0d) is refused on a channel in pulse mode. With the
// filter on, a pulse input whose half period is shorter than either width does not
// count; slow changes of the inputs themselves always do. Both clear commands clear
// count and latch alike, so either wording of "clear counter" and "clear latch"
// does what the user meant.
//
// The boot loader (sim/boot_loader.h) comes before this set: #AAOS enters it,
// and while it runs outputs are off and the channels rest.
//
// Modbus channel map (one-based reference numbers):
//   holding 00301..00307  input mode of DI0..DI6, read and write
//   holding 00311..00318  output mode of DO0..DO7, read and write
//   holding 00321..00334  value of DIc as #AAc reports it, two registers per
//                         channel (00321 + 2c high word, then low word), read only
//   coils   00033..00039  counting state of DI0..DI6, read and write
//   coils   00049..00055  latch of DI0..DI6; writing 0 clears count and latch
//   holding 00341..00368  filter widths of DIc, 0.1 ms: 00341 + 4c low width,
//                         00343 + 4c high width, each two registers (high word
//                         first), read and write
//   holding 00401..00464  timing of DOc, 0.1 ms: from 00401 + 8c low width, high
//                         width, low-to-high delay, high-to-low delay, two registers
//                         each; widths above 0 (exception 03 otherwise)
//   holding 00471..00486  pulses of DOc (00471 + 2c, two registers): writing n
//                         starts n pulses (0 = without end), exception 04 unless
//                         the channel is in pulse mode; reading gives the pulses
//                         still to come (0 when without end or stopped)
//   coils   00065..00072  DOc is putting out pulses, read only
// Any other function than 01, 03, 05, 06, 0F and 10 gets exception 01.
#include "digital_modules.h"

#include "boot_loader.h"

#include <cmath>
#include <stdexcept>

namespace tavo::sim {
namespace {

constexpr std::uint16_t kInputModeRegisters = 300;
constexpr std::uint16_t kOutputModeRegisters = 310;
constexpr std::uint16_t kValueRegisters = 320;
constexpr std::uint16_t kCountingCoils = 32;
constexpr std::uint16_t kLatchCoils = 48;
constexpr std::uint16_t kPulsingCoils = 64;
constexpr std::uint16_t kFilterRegisters = 340;
constexpr std::uint16_t kTimingRegisters = 400;
constexpr std::uint16_t kPulseCountRegisters = 470;

// A channel digit below `limit`, or -1.
int ChannelDigit(char c, int limit) {
    const int n = c >= '0' && c <= '9' ? c - '0' : -1;
    return n < limit ? n : -1;
}

int InputCount(const UniversalDio& u) {
    return u.profile().inputs;
}
int OutputCount(const UniversalDio& u) {
    return u.profile().outputs;
}

bool ValidInputMode(unsigned mode) {
    return (mode & 0x0F) <= 4 && !(mode & 0x10);
}

// Two widths added stay exact: below 2^33 tenths of a millisecond.
Micros Tenths(std::uint64_t tenthsOfMs) {
    return Micros(static_cast<long long>(100 * tenthsOfMs));
}

} // namespace

UniversalDio::UniversalDio(SimModule& m, const DioProfile& profile)
    : DigitalIo(m, profile), lastUpdate_(SimClock::now()), loader_(m.Find<R8xxBootLoader>()) {
    AddChannelPoints();
    if (loader_) {
        loader_->onEnter = [this] { ResetOutputs(); };
        loader_->onLeave = [this] { Restart(); };
    }
}

bool UniversalDio::InBootLoader() const { return loader_ && loader_->Active(); }

// The channel map (see the top of this file); `i` counts the points of a block.
const ModbusMapRow<UniversalDio> UniversalDio::kChannelMap[9] = {
    {PointKind::Register, kInputModeRegisters + 1, InputCount,
     [](UniversalDio& u, int c) -> std::uint32_t { return u.inputs_[c].mode; },
     [](UniversalDio& u, int c, std::uint32_t v) -> ModbusPoints::Refusal {
         u.inputs_[c].mode = v;
         return std::nullopt;
     },
     [](UniversalDio&, int, std::uint32_t v) -> ModbusPoints::Refusal {
         if (v > 0xFF || !ValidInputMode(v)) return 0x03;
         return std::nullopt;
     }},
    {PointKind::Register, kOutputModeRegisters + 1, OutputCount,
     [](UniversalDio& u, int c) -> std::uint32_t { return u.outputs_[c].mode; },
     [](UniversalDio& u, int c, std::uint32_t v) -> ModbusPoints::Refusal {
         u.SetOutputMode(u.outputs_[c], v, u.module().Now());
         return std::nullopt;
     },
     [](UniversalDio&, int, std::uint32_t v) -> ModbusPoints::Refusal {
         if (v > 3) return 0x03;
         return std::nullopt;
     }},
    {PointKind::Long, kValueRegisters + 1, InputCount,
     [](UniversalDio& u, int c) { return u.Value(c, u.module().Now()); }},
    {PointKind::Coil, kCountingCoils + 1, InputCount,
     [](UniversalDio& u, int c) -> std::uint32_t { return u.inputs_[c].counting; },
     [](UniversalDio& u, int c, std::uint32_t on) -> ModbusPoints::Refusal {
         u.inputs_[c].counting = on != 0;
         return std::nullopt;
     }},
    {PointKind::Coil, kLatchCoils + 1, InputCount,
     [](UniversalDio& u, int c) -> std::uint32_t { return u.inputs_[c].latch; },
     [](UniversalDio& u, int c, std::uint32_t on) -> ModbusPoints::Refusal {
         if (!on) u.inputs_[c].count = 0, u.inputs_[c].latch = false;
         return std::nullopt;
     }},
    {PointKind::Long, kFilterRegisters + 1, [](const UniversalDio& u) { return 2 * InputCount(u); },
     [](UniversalDio& u, int i) {
         const Input& in = u.inputs_[i / 2];
         return i % 2 ? in.highWidth : in.lowWidth;
     },
     [](UniversalDio& u, int i, std::uint32_t v) -> ModbusPoints::Refusal {
         Input& in = u.inputs_[i / 2];
         (i % 2 ? in.highWidth : in.lowWidth) = v;
         return std::nullopt;
     }},
    {PointKind::Long, kTimingRegisters + 1, [](const UniversalDio& u) { return 4 * OutputCount(u); },
     [](UniversalDio& u, int i) { return u.outputs_[i / 4].widths[i % 4]; },
     [](UniversalDio& u, int i, std::uint32_t v) -> ModbusPoints::Refusal {
         u.outputs_[i / 4].widths[i % 4] = v;
         return std::nullopt;
     },
     [](UniversalDio&, int i, std::uint32_t v) -> ModbusPoints::Refusal {
         if (i % 4 < 2 && v == 0) return 0x03; // no pulse of zero length
         return std::nullopt;
     }},
    {PointKind::Long, kPulseCountRegisters + 1, OutputCount,
     [](UniversalDio& u, int c) { return u.Remaining(u.outputs_[c], u.module().Now()); },
     [](UniversalDio& u, int c, std::uint32_t n) -> ModbusPoints::Refusal {
         Output& out = u.outputs_[c];
         out.pulsing = true;
         out.pulseStart = u.module().Now();
         out.pulses = n;
         return std::nullopt;
     },
     [](UniversalDio& u, int c, std::uint32_t) -> ModbusPoints::Refusal {
         // Only a channel in pulse mode puts out pulses.
         if (u.outputs_[c].mode != 1) return 0x04;
         return std::nullopt;
     }},
    {PointKind::Coil, kPulsingCoils + 1, OutputCount,
     [](UniversalDio& u, int c) -> std::uint32_t { return u.Pulsing(u.outputs_[c], u.module().Now()); }},
};

void UniversalDio::AddChannelPoints() {
    AddMapRows(points(), *this, kChannelMap);
}

bool UniversalDio::Pulsing(const Output& out, TimePoint now) const {
    return out.pulsing && (out.pulses == 0 || Remaining(out, now) > 0);
}

// ---- time ----

double UniversalDio::EffectiveHz(const Input& in) {
    if (in.hz <= 0.0) return 0.0;
    if (in.mode & 0x40) {
        const double halfPeriodTenths = 1e4 / (2.0 * in.hz); // in 0.1 ms
        if (in.lowWidth > halfPeriodTenths || in.highWidth > halfPeriodTenths) return 0.0;
    }
    return in.hz;
}

void UniversalDio::Edges(Input& in, std::uint64_t rising, std::uint64_t falling,
                         std::uint64_t pulses) {
    if (in.mode & 0x80) std::swap(rising, falling);
    switch (in.mode & 0x0F) {
    case 1:
        if (in.counting) in.count = static_cast<std::uint32_t>(in.count + rising + pulses);
        break;
    case 2:
        if (rising + pulses > 0) in.latch = true;
        break;
    case 3:
        if (falling + pulses > 0) in.latch = true;
        break;
    default:
        break;
    }
}

void UniversalDio::CatchUp(TimePoint now) {
    if (InBootLoader()) {
        lastUpdate_ = now;
        return;
    }
    DigitalIo::CatchUp(now);
    if (now <= lastUpdate_) return;
    const Micros dt = std::chrono::duration_cast<Micros>(now - lastUpdate_);
    for (int c = 0; c < profile().inputs; ++c) {
        Input& in = inputs_[c];
        std::uint64_t rising = 0, falling = 0;
        source().Edges(lastUpdate_, now, c, rising, falling);
        const std::uint64_t pulses = Pulses(EffectiveHz(in), dt, in.carry);
        Edges(in, rising, falling, pulses);
    }
    for (int c = 0; c < profile().outputs; ++c) {
        Output& out = outputs_[c];
        if (out.pulsing && out.pulses != 0 && Remaining(out, now) == 0) out.pulsing = false;
    }
    lastUpdate_ = now;
}

void UniversalDio::InputsChanged(unsigned before, unsigned after, TimePoint) {
    for (int c = 0; c < profile().inputs; ++c) {
        const unsigned b = (before >> c) & 1, a = (after >> c) & 1;
        if (a != b) Edges(inputs_[c], a, b, 0);
    }
}

// ---- state ----

unsigned UniversalDio::InputState(TimePoint now) {
    const unsigned raw = RawInputs(now);
    unsigned state = 0;
    for (int c = 0; c < profile().inputs; ++c) {
        const Input& in = inputs_[c];
        const unsigned mode = in.mode & 0x0F;
        const bool on =
            mode == 2 || mode == 3 ? in.latch : (((raw >> c) & 1) != 0) != ((in.mode & 0x80) != 0);
        if (on) state |= 1u << c;
    }
    return state;
}

std::uint32_t UniversalDio::InputValue(int c) {
    if (c < 0 || c >= profile().inputs) return 0;
    const TimePoint now = SimClock::now();
    CatchUp(now);
    return Value(c, now);
}

std::uint32_t UniversalDio::Value(int c, TimePoint now) {
    const Input& in = inputs_[c];
    switch (in.mode & 0x0F) {
    case 1:
        return in.count;
    case 2:
    case 3:
        return in.latch ? 1 : 0;
    case 4:
        return static_cast<std::uint32_t>(std::floor(EffectiveHz(in) * 10.0));
    default:
        return (InputState(now) >> c) & 1;
    }
}

std::uint32_t UniversalDio::Remaining(const Output& out, TimePoint now) const {
    if (!out.pulsing || out.pulses == 0) return 0;
    const auto period = Tenths(std::uint64_t{out.widths[0]} + out.widths[1]).count();
    const auto elapsed = std::chrono::duration_cast<Micros>(now - out.pulseStart).count();
    const auto done = static_cast<std::uint64_t>(std::max<long long>(0, elapsed) / period);
    return done >= out.pulses ? 0 : static_cast<std::uint32_t>(out.pulses - done);
}

bool UniversalDio::OutputOn(const Output& out, TimePoint now) const {
    const auto since = [now](TimePoint t) { return std::chrono::duration_cast<Micros>(now - t); };
    switch (out.mode) {
    case 1: {
        if (!out.pulsing || (out.pulses != 0 && Remaining(out, now) == 0)) return false;
        const auto period = Tenths(std::uint64_t{out.widths[0]} + out.widths[1]).count();
        return since(out.pulseStart).count() % period < Tenths(out.widths[1]).count();
    }
    case 2:
        return out.commanded && since(out.changedAt) >= Tenths(out.widths[2]);
    case 3:
        return out.commanded || (out.before && since(out.changedAt) < Tenths(out.widths[3]));
    default:
        return out.commanded;
    }
}

void UniversalDio::SetOutputMode(Output& out, unsigned mode, TimePoint now) {
    // The terminal keeps its level at the moment of the change; a delay mode then
    // starts from there.
    out.before = OutputOn(out, now);
    out.changedAt = now;
    out.pulsing = false;
    out.mode = mode;
}

unsigned UniversalDio::OutputState(TimePoint now) {
    if (InBootLoader()) return 0;
    unsigned state = 0;
    for (int c = 0; c < profile().outputs; ++c)
        if (OutputOn(outputs_[c], now)) state |= 1u << c;
    return state;
}

bool UniversalDio::CommandOutput(int channel, bool on, TimePoint now) {
    if (channel < 0 || channel >= profile().outputs) return false;
    Output& out = outputs_[channel];
    if (out.mode == 1) return false;
    if (out.commanded != on) {
        out.before = OutputOn(out, now);
        out.changedAt = now;
        out.commanded = on;
    }
    return true;
}

void UniversalDio::ApplySafeValue(TimePoint at) {
    // Pulse channels have no level to fall back to; the others take the safe value.
    for (int c = 0; c < profile().outputs; ++c)
        if (outputs_[c].mode != 1) CommandOutput(c, (SafeValue() >> c) & 1, at);
}

void UniversalDio::ResetOutputs() {
    for (Output& out : outputs_) {
        out.commanded = out.before = out.pulsing = false;
        out.changedAt = TimePoint{};
    }
}

void UniversalDio::SetFrequency(int input, double hz) {
    if (input < 0 || input >= profile().inputs || !(hz >= 0.0)) return;
    CatchUp(SimClock::now());
    inputs_[input].hz = hz;
}

// ---- commands ----

std::optional<std::string> UniversalDio::Ascii(SimModule& m, char lead, std::string_view body) {
    if (InBootLoader()) return std::nullopt; // only the common commands get here
    if (auto reply = Channel(m, lead, body)) return reply;
    return DigitalIo::Ascii(m, lead, body);
}

std::optional<std::string> UniversalDio::Channel(SimModule& m, char lead, std::string_view body) {
    const TimePoint now = m.Now();
    const int nIn = profile().inputs, nOut = profile().outputs;
    const auto refuse = [&m] { return std::optional<std::string>(m.Refuse()); };
    if (lead == '#' && body.size() == 1) {
        const int c = ChannelDigit(body[0], nIn);
        if (c < 0) return refuse();
        return ">" + Hex8Digits(Value(c, now));
    }
    if (lead == '#' && body.substr(0, 4) == "ERFF") {
        const auto cc = body.size() == 14 ? ParseHex(body.substr(4, 2)) : std::nullopt;
        const auto n = body.size() == 14 ? ParseHex(body.substr(6, 8)) : std::nullopt;
        if (!cc || !n || *cc >= static_cast<unsigned>(nOut) || outputs_[*cc].mode != 1)
            return refuse();
        Output& out = outputs_[*cc];
        out.pulsing = true;
        out.pulseStart = now;
        out.pulses = *n;
        return std::string(">");
    }
    if (lead == '@' && body.substr(0, 3) == "CAC") {
        const int c = body.size() == 4 ? ChannelDigit(body[3], nIn) : -1;
        if (c < 0) return refuse();
        inputs_[c].count = 0;
        inputs_[c].latch = false;
        return m.Ok();
    }
    if (lead != '$' || body.empty()) return std::nullopt;

    if (body.substr(0, 3) == "CIC" || body.substr(0, 3) == "COC") {
        const bool input = body[1] == 'I';
        const int c = body.size() >= 4 ? ChannelDigit(body[3], input ? nIn : nOut) : -1;
        if (c < 0 || (body.size() != 4 && body.size() != 6)) return refuse();
        if (body.size() == 4) return m.Ok(Hex2(input ? inputs_[c].mode : outputs_[c].mode));
        const auto v = ParseHex(body.substr(4, 2));
        if (!v || (input ? !ValidInputMode(*v) : *v > 3)) return refuse();
        if (input)
            inputs_[c].mode = *v;
        else
            SetOutputMode(outputs_[c], *v, now);
        return m.Ok();
    }
    if (body.substr(0, 2) == "0C") {
        const int c = body.size() >= 3 ? ChannelDigit(body[2], nIn) : -1;
        if (c < 0 || (body.size() != 3 && body.size() != 19)) return refuse();
        Input& in = inputs_[c];
        if (body.size() == 3) return m.Ok(Hex8Digits(in.lowWidth) + Hex8Digits(in.highWidth));
        const auto lo = ParseHex(body.substr(3, 8)), hi = ParseHex(body.substr(11, 8));
        if (!lo || !hi) return refuse();
        in.lowWidth = *lo;
        in.highWidth = *hi;
        return m.Ok();
    }
    if (body[0] == '9') {
        const int c = body.size() >= 2 ? ChannelDigit(body[1], nOut) : -1;
        if (c < 0 || (body.size() != 2 && body.size() != 34)) return refuse();
        Output& out = outputs_[c];
        if (body.size() == 2)
            return m.Ok(Hex8Digits(out.widths[0]) + Hex8Digits(out.widths[1]) +
                        Hex8Digits(out.widths[2]) + Hex8Digits(out.widths[3]));
        std::array<std::uint32_t, 4> w{};
        for (std::size_t i = 0; i < 4; ++i) {
            const auto v = ParseHex(body.substr(2 + 8 * i, 8));
            if (!v) return refuse();
            w[i] = *v;
        }
        if (w[0] == 0 || w[1] == 0) return refuse(); // no pulse of zero length
        out.widths = w;
        return m.Ok();
    }
    if (body[0] == '5' && body.size() >= 2) {
        const int c = ChannelDigit(body[1], nIn);
        if (c < 0 || body.size() > 3) return refuse();
        if (body.size() == 2) return m.Ok(inputs_[c].counting ? "1" : "0");
        if (body[2] != '0' && body[2] != '1') return refuse();
        inputs_[c].counting = body[2] == '1';
        return m.Ok();
    }
    if (body[0] == '6' && body.size() == 2) {
        const int c = ChannelDigit(body[1], nIn);
        if (c < 0) return refuse();
        inputs_[c].count = 0;
        inputs_[c].latch = false;
        return m.Ok();
    }
    if (body.substr(0, 4) == "ERFF") {
        const auto cc = body.size() == 6 ? ParseHex(body.substr(4, 2)) : std::nullopt;
        if (!cc || *cc >= static_cast<unsigned>(nOut)) return refuse();
        const Output& out = outputs_[*cc];
        const bool running = Pulsing(out, now);
        return ">" + m.AddressText() + (running ? "1" : "0") + Hex8Digits(Remaining(out, now));
    }
    return std::nullopt;
}

// ---- restart ----

// After new firmware the module starts afresh: outputs off, counts kept only where
// the channel's mode says so.
void UniversalDio::Restart() {
    ResetOutputs();
    for (Input& in : inputs_) {
        if (!(in.mode & 0x20)) in.count = 0;
        in.latch = false;
        in.carry = 0.0;
    }
    const TimePoint now = module().Now();
    lastUpdate_ = now;
    ResetContact(now);
}

bool UniversalDio::TakeOption(const std::string& key, const std::string& value) {
    if (key.size() == 5 && key.compare(0, 4, "freq") == 0) {
        const int c = key[4] - '0';
        if (c >= profile().inputs)
            throw std::invalid_argument("option '" + key +
                                        "': " + std::string(profile().designation) +
                                        " has no input " + key.substr(4));
        inputs_[c].hz = FrequencyOption(key, value);
        return true;
    }
    if (key == "outputs") {
        const unsigned mask = MaskOption(key, value, (1u << profile().outputs) - 1);
        for (int c = 0; c < profile().outputs; ++c)
            outputs_[c].commanded = (mask >> c) & 1;
        return true;
    }
    return DigitalIo::TakeOption(key, value);
}

} // namespace tavo::sim
