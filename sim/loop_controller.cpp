// The simulated two-loop PID controller (R320T).
//
// Inputs 0 and 1 measure the processes of loops 0 and 1 (a first-order process that
// the loop's MV drives, mapped from the PV range onto the channel's input range);
// inputs 2 and 3 move on their own. Outputs 0 and 1 follow their loop's MV in Auto
// and Manual mode; in Free mode they keep what #AAC wrote. Direct output writes and
// output range changes are refused while the loop is in Auto.
//
//   #AAO            ">" + output 0 and output 1, "%+07.3f" each
//   $AA9C{n}        "!AAC{n}R{tt}", output ranges 30 0-20 mA, 31 4-20 mA, 32 0-10 V
//   $AA2C{n}, $AA3C{n}   "!AAC{n}{xxx}": zero trim (0..500 hex) and span trim
//                   (F00..FFF hex) as three hex digits
//   $AA7            "!AA" + outputs "%02X" + inputs "%02X"
//   #AAPR{ff}{cc}   ">" + cc entries of eight hex digits (cc 1..127, ff + cc <= 256)
//   #AAPW{ii}{vvvvvvvv}  refused for the read-only entries (PV 18, alarm states 56
//                   and 71, PV invalid flag 73) and for values a setting cannot take
//   $AAS            "!AA" + station "%02X" + device "%06X"
//
// A fresh module may hold an all-zero table (bus-file option table=zero): both
// loops in Free mode, with PV and MV ranges of no width, so nothing is controlled
// until the ranges are set.
//
// Modbus (one-based numbers): coils 1-2 DI, 17-18 DO; registers 1-4 the inputs as
// 0..65535 of their ranges, 11-12 the outputs as 0..4095 of theirs (written only
// outside Auto), 213 the firmware; the table from register 1000, each entry two
// registers high word first (entry e at 1000 + 2e), written whole with function 16.
// Writes to the read-only entries are taken and change nothing, as the module does.
#include "analog_sim.h"

#include "digital_modules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tavo::sim::analog {
namespace {

struct Span {
    double lo, hi;
};

std::optional<Span> OutputSpan(unsigned code) {
    switch (code) {
    case 0x30:
        return Span{0.0, 20.0};
    case 0x31:
        return Span{4.0, 20.0};
    case 0x32:
        return Span{0.0, 10.0};
    default:
        return std::nullopt;
    }
}

enum Index {
    kMode = 0,
    kAlgorithm = 1,
    kFeedback = 3,
    kSV = 10,
    kPVHigh = 12,
    kPVLow = 13,
    kMVHigh = 16,
    kMVLow = 17,
    kPV = 18,
    kMV = 20,
    kPVFilter = 24,
    kMVFilter = 26,
    kP = 31,
    kI = 32,
    kD = 33,
    kInterval = 40,
    kResume = 47,
    kMVInit = 48,
    kAlarmHH = 51,
    kAlarmH = 52,
    kAlarmLL = 53,
    kAlarmL = 54,
    kDeadBand = 55,
    kPVAlarm = 56,
    kMVLimitHigh = 69,
    kMVLimitLow = 70,
    kMVAlarm = 71,
    kEStop = 72,
    kPVInvalid = 73,
    kAction = 75,
    kSVLimitHigh = 76,
    kSVLimitLow = 77,
    kAlarmDO = 80,
};
constexpr int kFree = 0, kAuto = 1, kManual = 2;

} // namespace

LoopCommands::LoopCommands(SimModule& m, InputCommands& inputs) : m_(m), inputs_(inputs) {
    if (const auto tau = NumberOption(m, "tau")) tau_ = *tau;
    const auto table = m.config().options.find("table");
    const bool zero = table != m.config().options.end() && table->second == "zero";
    for (int loop = 0; loop < 2 && !zero; ++loop) {
        const std::pair<int, std::int32_t> defaults[] = {
            {kMode, loop == 0 ? kAuto : kManual},
            {kSV, loop == 0 ? 80000 : 60000},
            {kPVHigh, 200000},
            {kPVLow, 0},
            {kMVHigh, 100000},
            {kMVLow, 0},
            {kPV, 25000},
            {kMV, loop == 0 ? 0 : 30000},
            {kP, 2000},
            {kI, 100},
            {kD, 50},
            {kInterval, 1000},
            {kAlarmHH, 180000},
            {kAlarmH, 150000},
            {kAlarmL, 20000},
            {kAlarmLL, 10000},
            {kDeadBand, 1000},
            {kMVLimitHigh, 95000},
            {kMVLimitLow, 5000},
            {kAction, 1},
            {kSVLimitHigh, 200000},
            {kSVLimitLow, 0},
            {kAlarmDO, 0x03},
        };
        for (const auto& [index, value] : defaults)
            Entry(loop, index) = value;
        pv_[static_cast<std::size_t>(loop)] = Entry(loop, kPV);
    }
    inputs.SetSource([this, &inputs](const SimModule& module, int ch) -> std::optional<double> {
        if (ch > 1) return std::nullopt;
        const double lo = Entry(ch, kPVLow), hi = Entry(ch, kPVHigh);
        if (hi <= lo) return std::nullopt;
        const InputRange& r = *inputs.RangeOf(module, ch);
        return r.lo + (pv_[static_cast<std::size_t>(ch)] - lo) / (hi - lo) * (r.hi - r.lo);
    });
}

double LoopCommands::OutputFromMV(int loop) const {
    const Span s = *OutputSpan(outputs_[static_cast<std::size_t>(loop)].range);
    const double lo = Entry(loop, kMVLow), hi = Entry(loop, kMVHigh);
    if (hi <= lo) return s.lo;
    return std::clamp(s.lo + (Entry(loop, kMV) - lo) / (hi - lo) * (s.hi - s.lo), s.lo, s.hi);
}

double LoopCommands::MVFromOutput(int loop, double value) const {
    const Span s = *OutputSpan(outputs_[static_cast<std::size_t>(loop)].range);
    const double lo = Entry(loop, kMVLow), hi = Entry(loop, kMVHigh);
    return lo + (value - s.lo) / (s.hi - s.lo) * (hi - lo);
}

void LoopCommands::FollowMV(int loop) {
    if (Entry(loop, kMode) != kFree)
        outputs_[static_cast<std::size_t>(loop)].value = OutputFromMV(loop);
}

void LoopCommands::Step(int loop, double dt) {
    const auto l = static_cast<std::size_t>(loop);
    const double pvLo = Entry(loop, kPVLow), pvHi = Entry(loop, kPVHigh);
    const double mvLo = Entry(loop, kMVLow), mvHi = Entry(loop, kMVHigh);
    if (pvHi <= pvLo || mvHi <= mvLo) return;
    // The process settles towards 10 % to 90 % of the PV range as MV goes from its
    // low to its high end, with the time constant tau_.
    const double drive = std::clamp((Entry(loop, kMV) - mvLo) / (mvHi - mvLo), 0.0, 1.0);
    const double settle = pvLo + (0.1 + 0.8 * drive) * (pvHi - pvLo);
    pv_[l] += (settle - pv_[l]) * (1.0 - std::exp(-dt / tau_));
    Entry(loop, kPV) = static_cast<std::int32_t>(std::lround(pv_[l]));
    if (Entry(loop, kMode) == kAuto) {
        const double sign = Entry(loop, kAction) == 1 ? 1.0 : -1.0; // reverse: heat up
        const double error = sign * (Entry(loop, kSV) - pv_[l]) / (pvHi - pvLo) * 100.0;
        const double p = Entry(loop, kP) / 1000.0, i = Entry(loop, kI) / 1000.0,
                     d = Entry(loop, kD) / 1000.0;
        integral_[l] += error * dt;
        const double percent = p * error + i * integral_[l] + d * (error - lastError_[l]) / dt;
        lastError_[l] = error;
        const double wanted = mvLo + percent / 100.0 * (mvHi - mvLo);
        const double low = Entry(loop, kMVLimitLow), high = Entry(loop, kMVLimitHigh);
        if (wanted > high || wanted < low) integral_[l] -= error * dt; // no wind-up
        Entry(loop, kMV) = static_cast<std::int32_t>(std::lround(std::clamp(wanted, low, high)));
    }
    const std::int32_t pv = Entry(loop, kPV), mv = Entry(loop, kMV);
    Entry(loop, kPVAlarm) = pv >= Entry(loop, kAlarmHH)   ? 1
                            : pv >= Entry(loop, kAlarmH)  ? 2
                            : pv <= Entry(loop, kAlarmLL) ? 4
                            : pv <= Entry(loop, kAlarmL)  ? 3
                                                          : 0;
    Entry(loop, kMVAlarm) = mv >= Entry(loop, kMVLimitHigh)  ? 1
                            : mv <= Entry(loop, kMVLimitLow) ? 2
                                                             : 0;
    FollowMV(loop);
}

unsigned LoopCommands::DigitalOutputs() const {
    unsigned out = doManual_;
    for (int loop = 0; loop < 2; ++loop) {
        unsigned active = 0;
        const std::int32_t pvAlarm = Entry(loop, kPVAlarm), mvAlarm = Entry(loop, kMVAlarm);
        if (pvAlarm >= 1 && pvAlarm <= 4) active |= 1u << (pvAlarm - 1);
        if (mvAlarm == 1) active |= 1u << 4;
        if (mvAlarm == 2) active |= 1u << 5;
        if (active & static_cast<unsigned>(Entry(loop, kAlarmDO))) out |= 1u << loop;
    }
    return out;
}

void LoopCommands::Advance(SimModule& m, TimePoint) {
    const auto* inputs = m.Find<InputCommands>();
    const double now = inputs ? inputs->Elapsed(m) : 0.0;
    const double elapsed = lastSeconds_ ? now - *lastSeconds_ : 0.0;
    // The outputs drive MV from power-on, not from the first control step on.
    if (!lastSeconds_)
        for (int loop = 0; loop < 2; ++loop) FollowMV(loop);
    lastSeconds_ = now;
    for (int loop = 0; loop < 2; ++loop) {
        const auto l = static_cast<std::size_t>(loop);
        const double interval = Entry(loop, kInterval) / 1000.0;
        if (interval <= 0.0) continue; // a fresh module's table: no control interval, no steps
        pending_[l] += elapsed;
        const double due = std::floor(pending_[l] / interval);
        if (due < 1.0) continue;
        pending_[l] -= due * interval;
        // Long silences are caught up in at most 200 steps.
        const int steps = static_cast<int>(std::min(due, 200.0));
        for (int s = 0; s < steps; ++s)
            Step(loop, due * interval / steps);
    }
}

bool LoopCommands::WriteEntry(int entry, std::int32_t value) {
    const int loop = entry / 128, index = entry % 128;
    const auto between = [&](std::int32_t lo, std::int32_t hi) {
        return value >= lo && value <= hi;
    };
    bool ok = true;
    switch (index) {
    case kPV:
    case kPVAlarm:
    case kMVAlarm:
    case kPVInvalid:
        return true; // measured and derived entries: taken, not changed
    case kMode:
        ok = between(0, 2);
        break;
    case kAlgorithm:
    case kFeedback:
    case kAction:
        ok = between(0, 1);
        break;
    case kResume:
        ok = between(0, 2);
        break;
    case kPVFilter:
    case kMVFilter:
        ok = between(0, 1000);
        break;
    case kP:
    case kI:
    case kD:
        ok = between(0, 10000);
        break;
    case kMVLimitHigh:
        ok = between(Entry(loop, kMVLimitLow), Entry(loop, kMVHigh));
        break;
    case kMVLimitLow:
        ok = between(Entry(loop, kMVLow), Entry(loop, kMVLimitHigh));
        break;
    case kInterval:
        ok = between(500, 60000);
        break;
    case kDeadBand:
        ok = between(0, 10000);
        break;
    case kAlarmDO:
        ok = between(0, 63);
        break;
    case kSV:
        ok = between(Entry(loop, kSVLimitLow), Entry(loop, kSVLimitHigh));
        break;
    case kPVHigh:
        ok = value > Entry(loop, kPVLow);
        break;
    case kPVLow:
        ok = value < Entry(loop, kPVHigh);
        break;
    case kMVHigh:
        ok = value > Entry(loop, kMVLow);
        break;
    case kMVLow:
        ok = value < Entry(loop, kMVHigh);
        break;
    case kMV:
        ok = between(Entry(loop, kMVLimitLow), Entry(loop, kMVLimitHigh));
        break;
    default:
        break;
    }
    if (!ok) return false;
    if (index == kMode && value == kAuto && Entry(loop, kMode) != kAuto) {
        // Bumpless change to Auto: the integral picks up the present MV.
        const auto l = static_cast<std::size_t>(loop);
        const double pvSpan = Entry(loop, kPVHigh) - Entry(loop, kPVLow);
        const double mvSpan = Entry(loop, kMVHigh) - Entry(loop, kMVLow);
        const double sign = Entry(loop, kAction) == 1 ? 1.0 : -1.0;
        const double error = sign * (Entry(loop, kSV) - pv_[l]) / pvSpan * 100.0;
        const double percent = (Entry(loop, kMV) - Entry(loop, kMVLow)) / mvSpan * 100.0;
        const double i = Entry(loop, kI) / 1000.0;
        integral_[l] = i > 0.0 ? (percent - Entry(loop, kP) / 1000.0 * error) / i : 0.0;
        lastError_[l] = error;
    }
    Entry(loop, index) = value;
    if (index == kMV || index == kMode) FollowMV(loop);
    return true;
}

std::optional<std::string> LoopCommands::Parameters(SimModule& m, std::string_view body) {
    if (body.size() == 6 && body.substr(0, 2) == "PR") {
        const auto first = ParseHex(body.substr(2, 2)), count = ParseHex(body.substr(4, 2));
        if (!first || !count || *count < 1 || *count > 127 || *first + *count > 256)
            return m.Refuse();
        std::string data = ">";
        for (unsigned i = 0; i < *count; ++i) {
            char t[16];
            std::snprintf(t, sizeof t, "%08X", static_cast<std::uint32_t>(table_[*first + i]));
            data += t;
        }
        return data;
    }
    if (body.size() == 12 && body.substr(0, 2) == "PW") {
        const auto entry = ParseHex(body.substr(2, 2)), value = ParseHex(body.substr(4, 8));
        if (!entry || !value ||
            !WriteEntry(static_cast<int>(*entry), static_cast<std::int32_t>(*value)))
            return m.Refuse();
        return m.Ok();
    }
    return std::nullopt;
}

std::optional<std::string> LoopCommands::Outputs(SimModule& m, char lead, std::string_view body) {
    if (body.size() < 3 || body[1] != 'C') return std::nullopt;
    const bool ours =
        lead == '#' ? body[0] == 'R' : body[0] == '2' || body[0] == '3' || body[0] == '9';
    if (!ours) return std::nullopt;
    const auto n = ChannelDigit(body.substr(2, 1), 2);
    if (!n) return m.Refuse();
    Output& out = outputs_[static_cast<std::size_t>(*n)];
    const std::string rest(body.substr(3));
    const bool automatic = Entry(*n, kMode) == kAuto;
    const auto trim = [&](unsigned& into, unsigned lo, unsigned hi) -> std::string {
        if (rest.empty()) {
            char t[8];
            std::snprintf(t, sizeof t, "%03X", into);
            return m.Ok("C" + std::to_string(*n) + t);
        }
        const auto v = ParseHex(rest);
        if (rest.size() != 3 || !v || *v < lo || *v > hi) return m.Refuse();
        into = *v;
        return m.Ok();
    };
    if (lead == '#' && body[0] == 'R') return trim(out.liveTrim, 0, 0xFFF);
    if (lead == '$' && body[0] == '2') return trim(out.zeroTrim, 0, 1280);
    if (lead == '$' && body[0] == '3') return trim(out.spanTrim, 3840, 4095);
    if (lead == '$' && body[0] == '9') {
        if (rest.empty()) return m.Ok("C" + std::to_string(*n) + "R" + Hex2(out.range));
        const auto code =
            rest.size() == 3 && rest[0] == 'R' ? ParseHex(rest.substr(1)) : std::nullopt;
        if (automatic || !code || !OutputSpan(*code)) return m.Refuse();
        out.range = *code;
        const Span s = *OutputSpan(*code);
        out.value = std::clamp(out.value, s.lo, s.hi);
        FollowMV(*n);
        return m.Ok();
    }
    return std::nullopt;
}

std::optional<std::string> LoopCommands::Ascii(SimModule& m, char lead, std::string_view body) {
    if (lead == '#') {
        if (body == "O") {
            return ">" + SignedField(outputs_[0].value, 3) + SignedField(outputs_[1].value, 3);
        }
        if (auto r = Parameters(m, body)) return r;
        if (body.size() == 4 && body[0] == '1' && body[2] == '0') {
            const auto n = ChannelDigit(body.substr(1, 1), 2);
            if (!n || (body[3] != '0' && body[3] != '1')) return m.Refuse();
            doManual_ = body[3] == '1' ? doManual_ | 1u << *n : doManual_ & ~(1u << *n);
            return m.Ok();
        }
        if (body.size() > 2 && body[0] == 'C') {
            const auto n = ChannelDigit(body.substr(1, 1), 2);
            if (!n || Entry(*n, kMode) == kAuto) return m.Refuse();
            Output& out = outputs_[static_cast<std::size_t>(*n)];
            const Span s = *OutputSpan(out.range);
            const auto v = ParseDecimal(body.substr(2));
            if (!v || *v < s.lo || *v > s.hi) return m.Refuse();
            out.value = *v;
            if (Entry(*n, kMode) == kManual)
                Entry(*n, kMV) = static_cast<std::int32_t>(std::lround(MVFromOutput(*n, *v)));
            return m.Ok();
        }
        return Outputs(m, lead, body);
    }
    if (lead != '$') return std::nullopt;
    if (body == "7") return m.Ok(Hex2(DigitalOutputs()) + Hex2(DigitalInputs()));
    if (body == "S") {
        char t[16];
        std::snprintf(t, sizeof t, "%06X", device_);
        return m.Ok(Hex2(station_) + t);
    }
    if (body.size() == 9 && body[0] == 'S') {
        const auto station = ParseHex(body.substr(1, 2)), device = ParseHex(body.substr(3, 6));
        if (!station || !device || *station > 31 || *device > 4194303) return m.Refuse();
        station_ = *station;
        device_ = *device;
        return m.Ok();
    }
    return Outputs(m, lead, body);
}

unsigned LoopCommands::DigitalInputs() const {
    return HexOption(m_, "di").value_or(0) & 3;
}

std::uint32_t LoopCommands::OutputCounts(int n) const {
    const Output& out = outputs_[static_cast<std::size_t>(n)];
    const Span s = *OutputSpan(out.range);
    return static_cast<std::uint32_t>(std::lround((out.value - s.lo) / (s.hi - s.lo) * 4095.0));
}

bool LoopCommands::WriteOutputCounts(int n, std::uint32_t counts) {
    if (counts > 4095 || Entry(n, kMode) == kAuto) return false;
    Output& out = outputs_[static_cast<std::size_t>(n)];
    const Span s = *OutputSpan(out.range);
    out.value = s.lo + counts / 4095.0 * (s.hi - s.lo);
    if (Entry(n, kMode) == kManual)
        Entry(n, kMV) = static_cast<std::int32_t>(std::lround(MVFromOutput(n, out.value)));
    return true;
}

std::uint32_t LoopCommands::InputCounts(int n) const {
    const InputRange* r = inputs_.RangeOf(m_, n);
    if (!r || r->hi <= r->lo || !inputs_.Enabled(n)) return 0;
    const double v = std::clamp((inputs_.Value(m_, n) - r->lo) / (r->hi - r->lo), 0.0, 1.0);
    return static_cast<std::uint32_t>(std::lround(v * 65535.0));
}

const ModbusMapRow<LoopCommands> LoopCommands::kModbusMap[6] = {
    {PointKind::Coil, 1, Fixed<LoopCommands, 2>,
     [](LoopCommands& l, int n) -> std::uint32_t { return (l.DigitalInputs() >> n) & 1; }},
    {PointKind::Coil, 17, Fixed<LoopCommands, 2>,
     [](LoopCommands& l, int n) -> std::uint32_t { return (l.DigitalOutputs() >> n) & 1; },
     [](LoopCommands& l, int n, std::uint32_t on) -> ModbusPoints::Refusal {
         l.doManual_ = on ? l.doManual_ | 1u << n : l.doManual_ & ~(1u << n);
         return std::nullopt;
     }},
    {PointKind::Register, 1, Fixed<LoopCommands, 4>,
     [](LoopCommands& l, int n) { return l.InputCounts(n); }},
    {PointKind::Register, 11, Fixed<LoopCommands, 2>,
     [](LoopCommands& l, int n) { return l.OutputCounts(n); },
     [](LoopCommands& l, int n, std::uint32_t v) -> ModbusPoints::Refusal {
         if (!l.WriteOutputCounts(n, v)) return 0x04;
         return std::nullopt;
     }},
    {PointKind::Register, 213, Fixed<LoopCommands, 1>,
     [](LoopCommands& l, int) -> std::uint32_t { return FirmwareWord(l.m_.config().firmware); }},
    {PointKind::Long, 1000, Fixed<LoopCommands, 256>,
     [](LoopCommands& l, int e) { return static_cast<std::uint32_t>(l.table_[static_cast<std::size_t>(e)]); },
     [](LoopCommands& l, int e, std::uint32_t v) -> ModbusPoints::Refusal {
         if (!l.WriteEntry(e, static_cast<std::int32_t>(v))) return 0x04;
         return std::nullopt;
     }},
};

std::optional<Bytes> LoopCommands::Modbus(SimModule& m, const Bytes& pdu) {
    if (points_.empty()) {
        points_.SetFunctions({0x01, 0x03, 0x05, 0x06, 0x0F, 0x10});
        AddMapRows(points_, *this, kModbusMap);
    }
    return points_.Handle(m, pdu);
}

} // namespace tavo::sim::analog
