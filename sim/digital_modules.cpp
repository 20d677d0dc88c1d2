// Digital I/O modules of the simulator: R510, R520, R530, R540, R550, R560S, R560SO,
// R610, R620, R630, and the family hook that also builds the universal modules
// (universal_dio.cpp) and the counters (counter_modules.cpp).
//
// Reply layouts (AA = address, data as upper-case hexadecimal):
//   $AA6            !{data}          no address: the state bytes follow the '!'
//                                    R510, R550, R850  !OOII  outputs, inputs
//                                    R530              !II00
//                                    R520, R540        !HHLL  inputs 15..8, 7..0
//                                    R610, R620, R630, R860   !OO00
//                                    R560S, R560SO     !HHLL  outputs 11..8, 7..0
//   #AA1c0d         !AA              one output (c one hex digit, d 0 or 1);
//                                    R560S/R560SO take #AA1c000d
//   $AAX0TTTTVV     !AA              safety time-out (0.1 s, 0 = off) and safe value;
//                                    R560S/R560SO four value digits
//   $AAX1           !TTTTVVVV        like the state read, no address; the value has
//                                    four digits on every model
//   $AAV / $AAVtttt !AAtttt / !AA    R520 input inversion mask
//   $AAE0 / $AAE1   !AAg / !AA       R560SO over-current groups (bit g = outputs
//                                    4g..4g+3) / clear them
// Anything malformed or out of range is refused with ?AA.
//
// The host's silence is measured per module: every command addressed to it (ASCII
// or Modbus) restarts the safety time. When it runs out the outputs take the safe
// value and keep it until the host writes them again.
//
// Modbus variants (R520, R550, R560S, R560SO, R620, R630, R850, R860), one-based
// reference numbers:
//   coils 00001..00008 (R520: ..00016)   inputs, read only
//   coils 00017 upward                   outputs (8; R560S/R560SO 12), read and write
//   coils 00029..00031                   R560SO over-current groups; writing 0 clears
//                                        a group, writing 1 changes nothing
//   holding 00211, 00212                 model code (the search reads them)
//   holding 00213                        firmware version, "A2.01" as A201
//   holding 00231                        R520 inversion mask, read and write
// and, on R850/R860, the channel map of universal_dio.cpp.
#include "digital_modules.h"

#include "models.h"

#include <cmath>
#include <stdexcept>

namespace tavo::sim {
namespace {

constexpr DioProfile kProfiles[] = {
    {"R510", 7, 8, DioLayout::OutputsInputs, true, false, false, false, false, false},
    {"R520", 16, 0, DioLayout::Inputs16, false, false, true, false, true, false},
    {"R530", 8, 0, DioLayout::InputsOnly, false, false, false, false, false, false},
    {"R540", 16, 0, DioLayout::Inputs16, false, false, false, false, false, false},
    {"R550", 8, 8, DioLayout::OutputsInputs, true, false, false, false, true, false},
    {"R560S", 0, 12, DioLayout::Outputs12, true, true, false, false, true, false},
    {"R560SO", 0, 12, DioLayout::Outputs12, true, true, false, true, true, false},
    {"R610", 0, 4, DioLayout::Outputs8, true, false, false, false, false, false},
    {"R620", 0, 8, DioLayout::Outputs8, true, false, false, false, true, false},
    {"R630", 0, 8, DioLayout::Outputs8, true, false, false, false, true, false},
    {"R850", 7, 8, DioLayout::OutputsInputs, true, false, false, false, true, true},
    {"R860", 0, 8, DioLayout::Outputs8, true, false, false, false, true, true},
};

constexpr std::uint16_t kInputCoils = 0;
constexpr std::uint16_t kOutputCoils = 16;
constexpr std::uint16_t kFaultCoils = 28;
constexpr std::uint16_t kFirmwareRegister = 212;
constexpr std::uint16_t kInvertRegister = 230;

std::invalid_argument BadOption(const std::string& key, const std::string& value,
                                const std::string& why) {
    return std::invalid_argument("bad value in '" + key + "=" + value + "': " + why);
}

std::vector<InputSource::Step> CycleOption(const std::string& key, const std::string& value,
                                           unsigned limit) {
    std::vector<InputSource::Step> steps;
    std::size_t at = 0;
    while (at <= value.size()) {
        const std::size_t comma = std::min(value.find(',', at), value.size());
        const std::string step = value.substr(at, comma - at);
        const std::size_t slash = step.find('/');
        if (slash == std::string::npos) throw BadOption(key, value, "write MASK/MS,MASK/MS,...");
        const unsigned mask = MaskOption(key, step.substr(0, slash), limit);
        int ms = 0;
        try {
            std::size_t used = 0;
            ms = std::stoi(step.substr(slash + 1), &used);
            if (used != step.size() - slash - 1) ms = 0;
        } catch (...) {
            ms = 0;
        }
        if (ms <= 0) throw BadOption(key, value, "each step needs a time in ms above 0");
        steps.emplace_back(mask, std::chrono::milliseconds(ms));
        at = comma + 1;
    }
    return steps;
}

unsigned Bit(unsigned mask, int n) {
    return (mask >> n) & 1u;
}

} // namespace

// ---- helpers shared by the family ----

void InputSource::SetStatic(unsigned mask) {
    static_ = mask;
    steps_.clear();
    period_ = Micros{0};
}

bool InputSource::SetCycle(std::vector<Step> steps, TimePoint start) {
    Micros period{0};
    for (const auto& s : steps) {
        if (s.second <= Micros{0}) return false;
        period += s.second;
    }
    if (steps.empty()) return false;
    steps_ = std::move(steps);
    period_ = period;
    start_ = start;
    return true;
}

unsigned InputSource::At(TimePoint t) const {
    if (steps_.empty()) return static_;
    if (t < start_) return steps_.front().first;
    Micros in = std::chrono::duration_cast<Micros>(t - start_) % period_;
    for (const auto& [mask, length] : steps_) {
        if (in < length) return mask;
        in -= length;
    }
    return steps_.back().first;
}

void InputSource::Edges(TimePoint from, TimePoint to, int bit, std::uint64_t& rising,
                        std::uint64_t& falling) const {
    rising = falling = 0;
    if (steps_.size() < 2 || to <= from) return;
    const auto t0 =
        std::max<long long>(0, std::chrono::duration_cast<Micros>(from - start_).count());
    const auto t1 = std::chrono::duration_cast<Micros>(to - start_).count();
    if (t1 <= t0) return;
    const long long period = period_.count();
    const auto floorDiv = [period](long long a) {
        return a >= 0 ? a / period : -((-a + period - 1) / period);
    };
    long long boundary = 0;
    for (std::size_t i = 0; i < steps_.size(); ++i) {
        // Step i begins at `boundary` in every period; before it comes the step
        // before (the last one for step 0).
        const unsigned before = Bit(steps_[(i + steps_.size() - 1) % steps_.size()].first, bit);
        const unsigned after = Bit(steps_[i].first, bit);
        if (before != after) {
            const auto n =
                static_cast<std::uint64_t>(floorDiv(t1 - boundary) - floorDiv(t0 - boundary));
            (after ? rising : falling) += n;
        }
        boundary += steps_[i].second.count();
    }
}

std::uint16_t FirmwareWord(std::string_view firmware) {
    if (firmware.size() < 5 || firmware[2] != '.') return 0;
    const auto major = ParseHex(firmware.substr(0, 2));
    const auto minor = ParseHex(firmware.substr(3, 2));
    return major && minor ? static_cast<std::uint16_t>(*major << 8 | *minor) : 0;
}

unsigned MaskOption(const std::string& key, const std::string& value, unsigned limit) {
    const auto v = ParseHex(value);
    if (!v || value.size() > 8) throw BadOption(key, value, "hexadecimal expected");
    if (*v > limit) throw BadOption(key, value, "more bits than the module has");
    return *v;
}

std::string Hex8Digits(std::uint32_t value) {
    return Hex4(value >> 16) + Hex4(value & 0xFFFF);
}

double FrequencyOption(const std::string& key, const std::string& value) {
    double hz = -1.0;
    try {
        std::size_t used = 0;
        hz = std::stod(value, &used);
        if (used != value.size()) hz = -1.0;
    } catch (...) {
        hz = -1.0;
    }
    if (!(hz >= 0.0 && hz <= 1e6)) throw BadOption(key, value, "0 to 1000000 Hz");
    return hz;
}

std::uint64_t Pulses(double hz, Micros dt, double& carry) {
    if (hz <= 0.0 || dt <= Micros{0}) return 0;
    const double total = hz * static_cast<double>(dt.count()) / 1e6 + carry;
    const double whole = std::floor(total);
    carry = total - whole;
    return static_cast<std::uint64_t>(whole);
}

const DioProfile* FindDioProfile(std::string_view designation) {
    for (const auto& p : kProfiles)
        if (p.designation == designation) return &p;
    return nullptr;
}

// ---- digital I/O ----

DigitalIo::DigitalIo(SimModule& m, const DioProfile& profile)
    : m_(m), profile_(profile), lastContact_(SimClock::now()) {
    if (profile_.modbus) AddModbusPoints();
}

// The map of every digital Modbus model; blocks a model does not have count 0.
const ModbusMapRow<DigitalIo> DigitalIo::kModbusMap[5] = {
    {PointKind::Coil, kInputCoils + 1,
     [](const DigitalIo& d) { return d.profile_.inputs == 0 ? 0 : d.profile_.inputs <= 8 ? 8 : 16; },
     [](DigitalIo& d, int c) { return Bit(d.InputState(d.m_.Now()), c); }},
    {PointKind::Coil, kOutputCoils + 1, [](const DigitalIo& d) { return d.profile_.outputs; },
     [](DigitalIo& d, int c) { return Bit(d.OutputState(d.m_.Now()), c); },
     [](DigitalIo& d, int c, std::uint32_t on) -> ModbusPoints::Refusal {
         // A tripped group takes no command until its error is cleared.
         if (!d.CommandOutput(c, on != 0, d.m_.Now())) return 0x04;
         d.safeApplied_ = false;
         return std::nullopt;
     }},
    {PointKind::Coil, kFaultCoils + 1,
     [](const DigitalIo& d) { return d.profile_.overCurrent ? 3 : 0; },
     [](DigitalIo& d, int g) { return Bit(d.faults_, g); },
     [](DigitalIo& d, int g, std::uint32_t on) -> ModbusPoints::Refusal {
         if (!on) d.faults_ &= ~(1u << g);
         return std::nullopt;
     }},
    {PointKind::Register, kFirmwareRegister + 1, Fixed<DigitalIo, 1>,
     [](DigitalIo& d, int) -> std::uint32_t { return FirmwareWord(d.m_.config().firmware); }},
    {PointKind::Register, kInvertRegister + 1,
     [](const DigitalIo& d) { return d.profile_.invert ? 1 : 0; },
     [](DigitalIo& d, int) -> std::uint32_t { return d.invert_; },
     [](DigitalIo& d, int, std::uint32_t v) -> ModbusPoints::Refusal {
         d.invert_ = v & d.InputMask();
         return std::nullopt;
     }},
};

void DigitalIo::AddModbusPoints() {
    points_.SetFunctions({0x01, 0x03, 0x05, 0x06, 0x0F, 0x10});
    AddMapRows(points_, *this, kModbusMap);
}

unsigned DigitalIo::GroupMask(unsigned groups) const {
    unsigned mask = 0;
    for (int g = 0; g < 3; ++g)
        if (Bit(groups, g)) mask |= 0xFu << (4 * g);
    return mask;
}

void DigitalIo::Drive(unsigned mask, unsigned value) {
    mask &= OutputMask();
    if (profile_.overCurrent) {
        const unsigned switchedOn = value & mask & ~commanded_;
        for (int c = 0; c < profile_.outputs; ++c)
            if (Bit(switchedOn & overload_, c)) faults_ |= 1u << (c / 4);
    }
    commanded_ = (commanded_ & ~mask) | (value & mask);
    commanded_ &= ~GroupMask(faults_); // tripped outputs are switched off
}

void DigitalIo::CatchUp(TimePoint now) {
    if (timeoutTenths_ == 0 || safeApplied_) return;
    const auto timeout = std::chrono::milliseconds(100LL * timeoutTenths_);
    if (now - lastContact_ >= timeout) {
        ApplySafeValue(lastContact_ + timeout);
        safeApplied_ = true;
    }
}

void DigitalIo::Advance(SimModule&, TimePoint now) {
    CatchUp(now);
    lastContact_ = now;
}

unsigned DigitalIo::InputState(TimePoint now) {
    return (RawInputs(now) ^ invert_) & InputMask();
}

unsigned DigitalIo::OutputState(TimePoint) {
    return commanded_ & OutputMask();
}

bool DigitalIo::CommandOutput(int channel, bool on, TimePoint) {
    if (channel < 0 || channel >= profile_.outputs) return false;
    if (profile_.overCurrent && Bit(faults_, channel / 4)) return false;
    Drive(1u << channel, on ? 1u << channel : 0u);
    return true;
}

void DigitalIo::ApplySafeValue(TimePoint) {
    Drive(OutputMask(), safeValue_);
}

void DigitalIo::InputsChanged(unsigned, unsigned, TimePoint) {}

void DigitalIo::ResetOutputs() {
    commanded_ = 0;
}

std::string DigitalIo::StateText(TimePoint now) {
    const unsigned in = InputState(now), out = OutputState(now);
    switch (profile_.layout) {
    case DioLayout::OutputsInputs:
        return Hex2(out) + Hex2(in);
    case DioLayout::InputsOnly:
        return Hex2(in) + "00";
    case DioLayout::Inputs16:
        return Hex2(in >> 8) + Hex2(in);
    case DioLayout::Outputs8:
        return Hex2(out) + "00";
    case DioLayout::Outputs12:
        return Hex2(out >> 8) + Hex2(out);
    }
    return {};
}

std::optional<std::string> DigitalIo::Safety(std::string_view body) {
    if (body == "X1") return "!" + Hex4(timeoutTenths_) + Hex4(safeValue_);
    const std::size_t valueDigits = profile_.longWrite ? 4 : 2;
    if (body.size() != 6 + valueDigits || body.substr(0, 2) != "X0") return m_.Refuse();
    const auto t = ParseHex(body.substr(2, 4));
    const auto v = ParseHex(body.substr(6));
    if (!t || !v || (*v & ~OutputMask())) return m_.Refuse();
    timeoutTenths_ = *t;
    safeValue_ = *v;
    safeApplied_ = false;
    return m_.Ok();
}

std::optional<std::string> DigitalIo::Ascii(SimModule& m, char lead, std::string_view body) {
    const TimePoint now = m.Now();
    if (lead == '$' && body == "6") return "!" + StateText(now);
    if (lead == '#' && body.size() >= 2 && body[0] == '1' && profile_.outputs > 0) {
        const std::size_t length = profile_.longWrite ? 6 : 4;
        if (body.size() != length) return m.Refuse();
        const int channel = HexNibble(body[1]);
        const std::string_view fill = body.substr(2, length - 3);
        const char value = body.back();
        if (channel < 0 || fill.find_first_not_of('0') != std::string_view::npos ||
            (value != '0' && value != '1') || !CommandOutput(channel, value == '1', now))
            return m.Refuse();
        safeApplied_ = false;
        return m.Ok();
    }
    if (lead != '$') return std::nullopt;
    if (profile_.safety && !body.empty() && body[0] == 'X') return Safety(body);
    if (profile_.invert && !body.empty() && body[0] == 'V') {
        if (body.size() == 1) return m.Ok(Hex4(invert_));
        const auto mask = ParseHex(body.substr(1));
        if (body.size() != 5 || !mask || (*mask & ~InputMask())) return m.Refuse();
        invert_ = *mask;
        return m.Ok();
    }
    if (profile_.overCurrent && body == "E0")
        return m.Ok(std::string(1, "0123456789ABCDEF"[faults_ & 7]));
    if (profile_.overCurrent && body == "E1") {
        faults_ = 0;
        return m.Ok();
    }
    return std::nullopt;
}

std::optional<Bytes> DigitalIo::Modbus(SimModule& m, const Bytes& pdu) {
    return points_.Handle(m, pdu);
}

void DigitalIo::SetInputs(unsigned mask) {
    const TimePoint now = SimClock::now();
    CatchUp(now);
    const unsigned before = RawInputs(now);
    source_.SetStatic(mask);
    InputsChanged(before, RawInputs(now), now);
}

bool DigitalIo::SetInputCycle(std::vector<InputSource::Step> steps) {
    const TimePoint now = SimClock::now();
    CatchUp(now);
    return source_.SetCycle(std::move(steps), now);
}

unsigned DigitalIo::Inputs() {
    const TimePoint now = SimClock::now();
    CatchUp(now);
    return InputState(now);
}

unsigned DigitalIo::Outputs() {
    const TimePoint now = SimClock::now();
    CatchUp(now);
    return OutputState(now);
}

bool DigitalIo::SafeValueApplied() {
    CatchUp(SimClock::now());
    return safeApplied_;
}

void DigitalIo::InjectOverCurrent(unsigned groups) {
    faults_ |= groups & 7;
    commanded_ &= ~GroupMask(faults_);
}

bool DigitalIo::TakeOption(const std::string& key, const std::string& value) {
    const unsigned allInputs = InputMask(), allOutputs = OutputMask();
    const auto need = [&](bool has, const char* what) {
        if (!has)
            throw BadOption(key, value, std::string(profile_.designation) + " has no " + what);
    };
    if (key == "inputs") {
        need(profile_.inputs > 0, "inputs");
        source_.SetStatic(MaskOption(key, value, allInputs));
    } else if (key == "pattern") {
        need(profile_.inputs > 0, "inputs");
        source_.SetCycle(CycleOption(key, value, allInputs), lastContact_);
    } else if (key == "outputs") {
        need(profile_.outputs > 0, "outputs");
        commanded_ = MaskOption(key, value, allOutputs);
    } else if (key == "safetime") {
        need(profile_.safety, "safety value");
        if (value.empty() || value.size() > 5 ||
            value.find_first_not_of("0123456789") != std::string::npos || std::stoul(value) > 65535)
            throw BadOption(key, value, "tenths of a second, 0 to 65535");
        timeoutTenths_ = static_cast<unsigned>(std::stoul(value));
    } else if (key == "safevalue") {
        need(profile_.safety, "safety value");
        safeValue_ = MaskOption(key, value, allOutputs);
    } else if (key == "invert") {
        need(profile_.invert, "input inversion");
        invert_ = MaskOption(key, value, allInputs);
    } else if (key == "overload") {
        need(profile_.overCurrent, "over-current protection");
        overload_ = MaskOption(key, value, allOutputs);
    } else if (key == "overcurrent") {
        need(profile_.overCurrent, "over-current protection");
        InjectOverCurrent(MaskOption(key, value, 7));
    } else {
        return false;
    }
    return true;
}

void DigitalIo::ApplyOptions(const ModuleConfig& config) {
    for (const auto& [key, value] : config.options)
        if (IsDigitalOption(key) && !TakeOption(key, value))
            throw std::invalid_argument("option '" + key + "' does not apply to " +
                                        config.designation);
}

// ---- family hook ----

bool IsDigitalOption(const std::string& key) {
    static const char* const kKeys[] = {"inputs",    "pattern", "outputs",  "safetime",
                                        "safevalue", "invert",  "overload", "overcurrent",
                                        "gatein",    "target",  "image"};
    for (const char* k : kKeys)
        if (key == k) return true;
    return key.size() == 5 && key.compare(0, 4, "freq") == 0 && key[4] >= '0' && key[4] <= '7';
}

bool AddDigitalModel(SimModule& m) {
    ModuleConfig& c = m.config();
    if (c.designation == "R710" || c.designation == "R710D") {
        m.Add<CounterModule>(m, c.designation == "R710D").ApplyOptions(c);
        return true;
    }
    const DioProfile* profile = FindDioProfile(c.designation);
    if (!profile) return false;
    if (profile->universal)
        m.Add<UniversalDio>(m, *profile).ApplyOptions(c);
    else
        m.Add<DigitalIo>(m, *profile).ApplyOptions(c);
    return true;
}

} // namespace tavo::sim
