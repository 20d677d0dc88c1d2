// Pieces shared by the simulated analog modules: input range descriptions, the
// plausible moving input values, the data formats, and the command sets of the
// analog input, alarm/event-counter, excitation, output, data logger and loop
// controller families.
#pragma once

#include "modbus_points.h"
#include "module.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavo::sim::analog {

enum class Sensor { Voltage, Current, Thermocouple, Rtd, Thermistor };

// One input range: its code, limits in engineering units (degC for temperature
// sensors), the decimals of its seven-character engineering field, and for
// resistance sensors the resistance law (RTD: r0 at 0 degC and a linear coefficient;
// thermistor: r0 at 25 degC and the beta constant in `coefficient`).
struct InputRange {
    unsigned code = 0;
    double lo = 0.0;
    double hi = 0.0;
    int decimals = 3;
    Sensor sensor = Sensor::Voltage;
    double r0 = 0.0;
    double coefficient = 0.0;
    bool Temperature() const { return sensor != Sensor::Voltage && sensor != Sensor::Current; }
    bool Resistive() const { return sensor == Sensor::Rtd || sensor == Sensor::Thermistor; }
};

// What an analog input model answers.
struct InputModel {
    int channels = 1;
    std::vector<InputRange> ranges;
    bool rangePerChannel = false;     // $AA7C{n}R{tt}; otherwise TT of the configuration
    bool channelCalibration = false;  // $AA0C{n}/$AA1C{n} instead of $AA0/$AA1
    bool negativeCalibration = false; // $AANC{n}
    bool readAll = true;              // #AA
    bool cjc = false;                 // $AA3, $AA9
    bool status = false;              // $AAB
    bool modeCommands = false;        // $AAS0, $AAS1
    bool wireCompensation = false;    // $AAR{ch}...
    bool watchdog = false;            // $AAX{dddd}, $AAY
    bool filterSettings = false;      // the R810 family's extra commands
    bool fahrenheitBit = false;       // format bit 3 selects degF
    int ohmsFormat = -1;              // data-format code that reports ohms, if any
    std::vector<int> defaultRanges;   // per channel; empty: the first range
    const InputRange* Find(unsigned code) const;
};

// The data-format codes of format byte bits 1..0.
constexpr int kEngineering = 0, kPercent = 1, kHex = 2;

// A value in a fixed-width field: sign and `width - 1` characters with `decimals`
// decimals ("%+0*.*f"), clamped so that it never grows wider.
std::string SignedField(double value, int decimals, int width = 7);
// Resistance of an RTD or thermistor range at `celsius`, and back.
double Resistance(const InputRange& r, double celsius);
double CelsiusFromResistance(const InputRange& r, double ohms);
// Parses a decimal number that fills the whole text (sign optional); nullopt else.
std::optional<double> ParseDecimal(std::string_view text);
// A channel number in `text` (one decimal digit) below `count`.
std::optional<int> ChannelDigit(std::string_view text, int count);
// A value pattern of the bus file: "1.5,2.5,3.5" steps one value a reading; with
// "/MS" after every value ("4/500,20/500") each value holds MS milliseconds of
// the module's time instead, over and over.
struct PatternStep {
    double value = 0.0;
    double ms = 0.0; // 0: one reading
};
std::optional<std::vector<PatternStep>> ParsePattern(std::string_view text);
// Option value as a number, when present and valid.
std::optional<double> NumberOption(const SimModule& m, const std::string& key);
std::optional<unsigned> HexOption(const SimModule& m, const std::string& key);

// A value within lo .. hi as a register of `steps` steps (65535, 4095), rounded and
// clamped to the ends.
std::uint16_t ModbusFraction(double v, double lo, double hi, double steps);

// Analog inputs: values, channel enable and ranges, calibration, cold junction,
// lead-wire compensation, status, watchdog, R810 settings.
class InputCommands : public CommandSet {
public:
    explicit InputCommands(InputModel model) : model_(std::move(model)) {}
    std::optional<std::string> Ascii(SimModule& m, char lead, std::string_view body) override;
    void Advance(SimModule& m, TimePoint now) override;

    const InputModel& model() const { return model_; }
    void Init(SimModule& m);
    // Seconds since the module first heard a command: the time base of every moving
    // value, so that all command sets of one module agree.
    double Elapsed(const SimModule& m) const;
    const InputRange* RangeOf(const SimModule& m, int ch) const;
    // True input value in engineering units (degC for temperatures), unclamped, now
    // or at another moment of the module's time base.
    double Value(const SimModule& m, int ch) const { return ValueAt(m, ch, Elapsed(m)); }
    double ValueAt(const SimModule& m, int ch, double seconds) const;
    // The value as the module reports it in its current data format and unit.
    std::string Field(const SimModule& m, int ch) const;
    bool Enabled(int ch) const { return (enableMask_ >> ch) & 1; }
    // The channel's sensor is open: set with burnout=HH, and only a temperature
    // sensor (thermocouple, RTD, thermistor) can be seen to be open.
    bool BurntOut(const SimModule& m, int ch) const;
    // Lets another command set (the loop controller) supply a channel's value.
    using Source = std::function<std::optional<double>(const SimModule&, int ch)>;
    void SetSource(Source source) { source_ = std::move(source); }
    double CjcCelsius(const SimModule& m) const;

    // The Modbus variant's map: raw values in holding registers 1 .. channels (0 to
    // 65535 over the channel's range), ranges in 201 .., the firmware in 213, the
    // enable mask in 221, burn-out flags in coils 201 ..; functions 1, 3, 6, 16.
    void AddModbusMap(SimModule& m);
    std::optional<Bytes> Modbus(SimModule& m, const Bytes& pdu) override;
    // A channel's value register now.
    std::uint16_t RawValue(SimModule& m, int ch);

private:
    static const ModbusMapRow<InputCommands> kModbusMap[5];
    std::optional<std::string> Calibration(SimModule& m, std::string_view body);
    std::optional<std::string> Channels(SimModule& m, char lead, std::string_view body);
    std::optional<std::string> ColdJunction(SimModule& m, char lead, std::string_view body);
    std::optional<std::string> Extras(SimModule& m, char lead, std::string_view body);
    std::optional<std::string> FilterSettings(SimModule& m, char lead, std::string_view body);
    double ScanMs(const SimModule& m) const;
    bool Fahrenheit(const SimModule& m) const;
    // A value from patternN= or pattern=, when the channel has one.
    std::optional<double> PatternValue(const SimModule& m, int ch, double seconds) const;

    InputModel model_;
    TimePoint start_{};
    bool started_ = false;
    unsigned enableMask_ = 0xFF;
    std::array<unsigned, 8> ranges_{};
    int cjcOffsetCounts_ = 0;         // 0.009 degC steps
    std::array<int, 8> wireTenths_{}; // lead-wire compensation, 0.1 ohm
    int watchdogTenths_ = 0;
    std::array<unsigned, 8> reads_{}; // readings of each channel, for the patterns
    int sensorMode_ = 0; // $AAS0 / $AAS1
    int calibrations_ = 0;
    unsigned filterRate_ = 0x0FF0; // R810: channel bits 11..4, rate position 3..0
    unsigned burnOut_ = 0, burnOutAt_ = 0, thermoMode_ = 0;
    std::optional<TimePoint> scanStart_;
    Source source_;
    ModbusPoints points_;
    SimModule* modbusModule_ = nullptr;
};

// Alarm outputs, limits and the event counter of the single-channel inputs.
class AlarmEventCommands : public CommandSet {
public:
    AlarmEventCommands(int outputs, int inputs) : outputs_(outputs), inputs_(inputs) {}
    std::optional<std::string> Ascii(SimModule& m, char lead, std::string_view body) override;
    void Advance(SimModule& m, TimePoint now) override;

private:
    unsigned DigitalInputs(const SimModule& m, double seconds) const;
    void Evaluate(SimModule& m);

    int outputs_, inputs_;
    int mode_ = 0; // 0 disable, 1 momentary, 2 latch
    unsigned dout_ = 0;
    std::string high_, low_;
    unsigned events_ = 0;
    std::optional<double> lastSeconds_;
};

// Excitation voltage output of the strain-gauge module.
class ExcitationCommands : public CommandSet {
public:
    std::optional<std::string> Ascii(SimModule& m, char lead, std::string_view body) override;
    void PowerUp(SimModule&) override { volts_ = startup_; }
    // Takes the start-up voltage of the bus file (startup=, 0 to 10).
    void Init(SimModule& m);

private:
    double volts_ = 10.0, startup_ = 10.0;
    int trimSteps_ = 0;
};

// Single-channel analog output (R310).
class SingleOutputCommands : public CommandSet {
public:
    std::optional<std::string> Ascii(SimModule& m, char lead, std::string_view body) override;
    void Advance(SimModule& m, TimePoint now) override;
    void PowerUp(SimModule& m) override;
    // The range, and the start-up value of the bus file (startup=, in mA or V).
    void Init(SimModule& m);

private:
    std::optional<double> ParseValue(const SimModule& m, std::string_view text) const;
    std::string FormatValue(const SimModule& m, double value) const;

    double target_ = 0.0, output_ = 0.0, startup_ = 0.0;
    int trimSteps_ = 0;
    std::optional<TimePoint> last_;
};

// Four-channel analog output with digital inputs (R330).
class MultiOutputCommands : public CommandSet {
public:
    std::optional<std::string> Ascii(SimModule& m, char lead, std::string_view body) override;
    void Advance(SimModule& m, TimePoint now) override;
    void PowerUp(SimModule& m) override;
    // Channel ranges (outrange=HH,HH,HH,HH) and the start-up value (startup=) of the
    // bus file.
    void Init(SimModule& m);
    // The Modbus variant's map: outputs in holding registers 1 .. 4 (0 to 4095 over
    // the channel's range), ranges in 201 .. 204, the firmware in 213, the digital
    // inputs in coils 1 .. 4; functions 1, 3, 6, 16.
    void AddModbusMap(SimModule& m);
    std::optional<Bytes> Modbus(SimModule& m, const Bytes& pdu) override;

private:
    static const ModbusMapRow<MultiOutputCommands> kModbusMap[4];
    struct Channel {
        unsigned range = 0x31;
        // `value` is the one last written; `output` follows it at the slew rate.
        double value = 4.0, output = 4.0, startup = 4.0, emergency = 4.0;
        bool emergencyInput = false;
        bool safe = false; // held at the emergency value by the comm-safety time-out
    };
    double Effective(const SimModule& m, int n) const;
    unsigned Inputs(const SimModule& m) const;

    std::array<Channel, 4> channels_{};
    unsigned safetyTenths_ = 0;
    std::optional<TimePoint> lastCommand_;
    std::optional<TimePoint> lastSlew_;
    ModbusPoints points_;
    SimModule* modbusModule_ = nullptr;
};

// Record memory of the data logger (R270M).
class LoggerCommands : public CommandSet {
public:
    explicit LoggerCommands(InputCommands& inputs) : inputs_(inputs) {}
    std::optional<std::string> Ascii(SimModule& m, char lead, std::string_view body) override;
    void Advance(SimModule& m, TimePoint now) override;
    void Init(SimModule& m);

private:
    struct Record {
        int channel = 0;
        std::string value;  // digit k and four hex digits
        unsigned stamp = 0; // event records: seconds since recording started
    };
    std::string Config() const;
    void Store(std::vector<Record>& records, Record r, std::size_t capacity);
    static void Trim(std::vector<Record>& records, std::size_t capacity);
    std::size_t StandardCapacity() const;
    std::size_t EventCapacity() const;

    InputCommands& inputs_;
    unsigned storeMask_ = 0xFF;
    char recordData_ = '1', storageMode_ = '2', recordMode_ = '0';
    unsigned interval_ = 10;
    bool recording_ = false;
    double recordingSince_ = 0.0, lastSample_ = 0.0;
    std::vector<Record> standard_, events_;
    std::array<std::string, 8> high_, low_;
    std::array<bool, 8> inAlarm_{};
};

// Two-loop PID controller (R320T): outputs, digital I/O, parameter table, BACnet,
// and its Modbus map.
class LoopCommands : public CommandSet {
public:
    LoopCommands(SimModule& m, InputCommands& inputs);
    std::optional<std::string> Ascii(SimModule& m, char lead, std::string_view body) override;
    std::optional<Bytes> Modbus(SimModule& m, const Bytes& pdu) override;
    void Advance(SimModule& m, TimePoint now) override;

    // The whole table, loop 0 first (tests look at it).
    const std::array<std::int32_t, 256>& Table() const { return table_; }

private:
    struct Output {
        unsigned range = 0x31;
        double value = 4.0;
        unsigned zeroTrim = 0x000, spanTrim = 0xFD2, liveTrim = 0;
    };
    std::int32_t& Entry(int loop, int index) {
        return table_[static_cast<std::size_t>(loop * 128 + index)];
    }
    std::int32_t Entry(int loop, int index) const {
        return table_[static_cast<std::size_t>(loop * 128 + index)];
    }
    bool WriteEntry(int entry, std::int32_t value);
    void Step(int loop, double dt);
    void FollowMV(int loop);
    unsigned DigitalOutputs() const;
    unsigned DigitalInputs() const;
    // Maps a loop's MV (table units) onto its output's range, and back.
    double OutputFromMV(int loop) const;
    double MVFromOutput(int loop, double value) const;
    // Output n as 0..4095 of its range, and a direct write of that (refused in Auto).
    std::uint32_t OutputCounts(int n) const;
    bool WriteOutputCounts(int n, std::uint32_t counts);
    // Input channel n as 0..65535 of its range.
    std::uint32_t InputCounts(int n) const;
    std::optional<std::string> Outputs(SimModule& m, char lead, std::string_view body);
    std::optional<std::string> Parameters(SimModule& m, std::string_view body);

    SimModule& m_;
    InputCommands& inputs_;
    double tau_ = 20.0; // seconds, the processes' time constant (tau=)
    std::array<std::int32_t, 256> table_{};
    std::array<Output, 2> outputs_{};
    std::array<double, 2> pv_{}, integral_{}, lastError_{}, pending_{};
    unsigned doManual_ = 0;
    unsigned station_ = 1, device_ = 320001;
    std::optional<double> lastSeconds_;
    ModbusPoints points_;
    static const ModbusMapRow<LoopCommands> kModbusMap[6];
};

} // namespace tavo::sim::analog
