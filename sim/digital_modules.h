// Simulated digital I/O, universal digital I/O (R850/R860 and their boot loader) and
// counter/frequency modules. Tests reach a module's state through
// SimModule::Find<DigitalIo>() and friends, under the bus mutex.
#pragma once

#include "modbus_points.h"
#include "module.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavo::sim {

class R8xxBootLoader;

using Micros = std::chrono::microseconds;

// The signal on the input terminals: a fixed pattern of bits, or a cycle of
// patterns each held for a while (from the module's power-up).
class InputSource {
public:
    using Step = std::pair<unsigned, Micros>;
    void SetStatic(unsigned mask);
    // An empty cycle or one of zero length is refused (false).
    bool SetCycle(std::vector<Step> steps, TimePoint start);
    unsigned At(TimePoint t) const;
    // Rising and falling edges of `bit` in (from, to], counted in the cycle.
    void Edges(TimePoint from, TimePoint to, int bit, std::uint64_t& rising,
               std::uint64_t& falling) const;

private:
    unsigned static_ = 0;
    std::vector<Step> steps_;
    Micros period_{0};
    TimePoint start_{};
};

// "A2.01" -> 0xA201, what the Modbus firmware register holds; 0 for other texts.
std::uint16_t FirmwareWord(std::string_view firmware);

// Eight upper-case hexadecimal digits.
std::string Hex8Digits(std::uint32_t value);

// A bus file mask option: hexadecimal within `limit`; throws std::invalid_argument.
unsigned MaskOption(const std::string& key, const std::string& value, unsigned limit);

// The value of a freqN= option: 0 to 1000000 Hz; throws std::invalid_argument.
double FrequencyOption(const std::string& key, const std::string& value);

// Pulses of a square wave of `hz` over `dt`, carrying the fraction in `carry`.
std::uint64_t Pulses(double hz, Micros dt, double& carry);

enum class DioLayout {
    OutputsInputs, // !OOII: output byte, input byte
    InputsOnly,    // !II00
    Inputs16,      // !HHLL: inputs 15..8, inputs 7..0
    Outputs8,      // !OO00
    Outputs12,     // !HHLL: outputs 11..8, outputs 7..0
};

struct DioProfile {
    std::string_view designation;
    int inputs = 0;
    int outputs = 0;
    DioLayout layout = DioLayout::OutputsInputs;
    bool safety = false;      // $AAX0 / $AAX1
    bool longWrite = false;   // #AA1c000d instead of #AA1c0d; four-digit safe value
    bool invert = false;      // $AAV input inversion (R520)
    bool overCurrent = false; // $AAE0 / $AAE1 (R560SO)
    bool modbus = false;      // has a Modbus variant
    bool universal = false;   // R850/R860 channel functions
};

// The profile of a designation, or null.
const DioProfile* FindDioProfile(std::string_view designation);

class DigitalIo : public CommandSet {
public:
    DigitalIo(SimModule& m, const DioProfile& profile);

    std::optional<std::string> Ascii(SimModule& m, char lead, std::string_view body) override;
    std::optional<Bytes> Modbus(SimModule& m, const Bytes& pdu) override;
    // Every command addressed to the module counts as the host's sign of life.
    void Advance(SimModule& m, TimePoint now) override;

    // ---- direct access for tests (brings the time-dependent state up to now) ----
    const DioProfile& profile() const { return profile_; }
    void SetInputs(unsigned mask);
    bool SetInputCycle(std::vector<InputSource::Step> steps);
    unsigned Inputs();  // as the module reports them (inversion applied)
    unsigned Outputs(); // what the output terminals carry
    bool SafeValueApplied();
    // Trips the over-current protection of the groups in `groups` (bit g = outputs
    // 4g..4g+3): their outputs go off until the host clears the error.
    void InjectOverCurrent(unsigned groups);
    unsigned OverCurrent() const { return faults_; }
    // Outputs whose load draws too much: switching one on trips its group.
    void SetOverload(unsigned channels) { overload_ = channels; }

    // Bus file options of this family's modules; throws std::invalid_argument for a
    // bad value or an option the model has no use for.
    void ApplyOptions(const ModuleConfig& config);

protected:
    SimModule& module() { return m_; }
    ModbusPoints& points() { return points_; }
    // One bus file option; false when the key is not one of this model's.
    virtual bool TakeOption(const std::string& key, const std::string& value);
    unsigned InputMask() const { return (1u << profile_.inputs) - 1; }
    unsigned OutputMask() const { return (1u << profile_.outputs) - 1; }
    unsigned RawInputs(TimePoint t) const { return source_.At(t) & InputMask(); }
    const InputSource& source() const { return source_; }
    unsigned commanded() const { return commanded_; }

    // Time-dependent state up to `now`, without counting as contact.
    virtual void CatchUp(TimePoint now);
    // What the input and output terminals show at `now`.
    virtual unsigned InputState(TimePoint now);
    virtual unsigned OutputState(TimePoint now);
    // A host command for one output; false refuses it.
    virtual bool CommandOutput(int channel, bool on, TimePoint now);
    // The safe value after a silence of the host.
    virtual void ApplySafeValue(TimePoint at);
    // The static inputs changed (a test or the bus file).
    virtual void InputsChanged(unsigned before, unsigned after, TimePoint now);
    // Sets the commanded state of the outputs in `mask`, tripping overloaded ones.
    void Drive(unsigned mask, unsigned value);
    virtual void ResetOutputs();
    void ResetContact(TimePoint now) { lastContact_ = now; }
    unsigned SafeValue() const { return safeValue_; }

private:
    std::optional<std::string> Safety(std::string_view body);
    std::string StateText(TimePoint now);
    void AddModbusPoints();
    unsigned GroupMask(unsigned groups) const;

    static const ModbusMapRow<DigitalIo> kModbusMap[5];

    SimModule& m_;
    const DioProfile& profile_;
    InputSource source_;
    unsigned invert_ = 0;
    unsigned commanded_ = 0;
    unsigned timeoutTenths_ = 0;
    unsigned safeValue_ = 0;
    TimePoint lastContact_;
    bool safeApplied_ = false;
    unsigned faults_ = 0;
    unsigned overload_ = 0;
    ModbusPoints points_;
};

// R850 (8 outputs, 7 inputs) and R860 (8 outputs): per-channel input modes with
// counters, latches, frequency and input filter; output modes with pulse trains and
// switching delays; and the boot loader ("R8XX") that #AAOS switches to.
class UniversalDio : public DigitalIo {
public:
    UniversalDio(SimModule& m, const DioProfile& profile);

    std::optional<std::string> Ascii(SimModule& m, char lead, std::string_view body) override;

    // ---- direct access for tests ----
    void SetFrequency(int input, double hz);
    std::uint32_t InputValue(int input); // what #AA{c} reports
    bool InBootLoader() const;

protected:
    bool TakeOption(const std::string& key, const std::string& value) override;
    void CatchUp(TimePoint now) override;
    unsigned InputState(TimePoint now) override;
    unsigned OutputState(TimePoint now) override;
    bool CommandOutput(int channel, bool on, TimePoint now) override;
    void ApplySafeValue(TimePoint at) override;
    void InputsChanged(unsigned before, unsigned after, TimePoint now) override;
    void ResetOutputs() override;

private:
    struct Input {
        unsigned mode = 0; // bits 3..0 mode, 5 keep count, 6 filter, 7 invert
        std::uint32_t lowWidth = 0, highWidth = 0; // 0.1 ms
        std::uint32_t count = 0;
        bool counting = true;
        bool latch = false;
        double hz = 0.0;
        double carry = 0.0;
    };
    struct Output {
        unsigned mode = 0; // 0 D/O, 1 pulse, 2 low-to-high delay, 3 high-to-low delay
        std::array<std::uint32_t, 4> widths{5000, 5000, 0, 0}; // 0.1 ms
        bool commanded = false;
        bool before = false; // commanded state before the last change
        TimePoint changedAt{};
        bool pulsing = false;
        TimePoint pulseStart{};
        std::uint32_t pulses = 0; // 0: without end
    };

    std::optional<std::string> Channel(SimModule& m, char lead, std::string_view body);
    void Restart();
    void Edges(Input& in, std::uint64_t rising, std::uint64_t falling, std::uint64_t pulses);
    bool OutputOn(const Output& out, TimePoint now) const;
    void SetOutputMode(Output& out, unsigned mode, TimePoint now);
    std::uint32_t Value(int input, TimePoint now);
    std::uint32_t Remaining(const Output& out, TimePoint now) const;
    // A pulse train is under way (a counted one not yet through).
    bool Pulsing(const Output& out, TimePoint now) const;
    static double EffectiveHz(const Input& in);
    void AddChannelPoints();

    static const ModbusMapRow<UniversalDio> kChannelMap[9];

    std::array<Input, 8> inputs_{};
    std::array<Output, 8> outputs_{};
    TimePoint lastUpdate_;
    R8xxBootLoader* loader_; // null when the model has none
};

// R710 and R710D: two counter/frequency channels, gate, input filter, maximum count
// with overflow, the R710's preset values and initial values, the R710D's alarm
// limits and LED display, and the two alarm outputs.
class CounterModule : public CommandSet {
public:
    CounterModule(SimModule& m, bool display);

    std::optional<std::string> Ascii(SimModule& m, char lead, std::string_view body) override;
    void Advance(SimModule& m, TimePoint now) override;

    // ---- direct access for tests ----
    void SetFrequency(int n, double hz);
    void SetGateInput(bool high);
    std::uint32_t Count(int n);
    bool Overflow(int n);
    unsigned Outputs();
    double LedValue();

    void ApplyOptions(const ModuleConfig& config);

private:
    struct Channel {
        std::uint32_t count = 0;
        std::uint32_t max = 0xFFFFFFFF;
        std::uint32_t initial = 0;
        bool counting = true;
        bool overflow = false;
        bool presetMode = false; // R710
        double hz = 0.0;
        double carry = 0.0;
    };
    std::optional<std::string> Dollar(SimModule& m, std::string_view body);
    std::optional<std::string> At(SimModule& m, std::string_view body);
    void CatchUp(TimePoint now);
    void Count(Channel& c, std::uint64_t pulses);
    bool FrequencyMode() const;
    double EffectiveHz(const Channel& c) const;
    std::uint32_t Reading(int n) const;
    std::uint32_t Preset(int n) const;
    unsigned AlarmNow() const;

    SimModule& m_;
    bool display_;
    std::array<Channel, 2> ch_{};
    unsigned gateMode_ = 2; // 0 count while the gate is low, 1 while high, 2 always
    bool gateInput_ = true;
    unsigned signal_ = 0; // 0 TTL, 1 photo
    unsigned filter_ = 0;
    unsigned highWidth_ = 0, lowWidth_ = 0;      // microseconds
    unsigned highTrigger_ = 24, lowTrigger_ = 8; // 0.1 V
    std::uint32_t limitA_ = 0; // @AASA: R710D high limit, R710 preset of counter 1
    std::uint32_t limitP_ = 0; // @AAPA: R710D low limit, R710 preset of counter 0
    unsigned manual_ = 0;      // outputs set with @AADO
    unsigned alarmMode_ = 0;   // R710D: 0 off, 1 momentary, 2 latch
    unsigned latched_ = 0;
    unsigned ledSource_ = 0;
    double ledValue_ = 0.0;
    TimePoint last_;
};

} // namespace tavo::sim
