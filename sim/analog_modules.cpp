// The analog models of the simulator: which command sets each designation gets, its
// input ranges, and the configuration values it accepts.
#include "analog_sim.h"
#include "models.h"

#include <algorithm>
#include <initializer_list>
#include <stdexcept>

namespace tavo::sim {
namespace {

using analog::InputModel;
using analog::InputRange;
using analog::Sensor;

InputRange Volts(unsigned code, double lo, double hi, int decimals) {
    return {code, lo, hi, decimals, Sensor::Voltage};
}
InputRange Amps(unsigned code, double lo, double hi) {
    return {code, lo, hi, 3, Sensor::Current};
}
InputRange Couple(unsigned code, double lo, double hi) {
    return {code, lo, hi, 1, Sensor::Thermocouple};
}
InputRange Rtd(unsigned code, double lo, double hi, double r0, double alpha) {
    return {code, lo, hi, 2, Sensor::Rtd, r0, alpha};
}
InputRange Thermistor(unsigned code, double r25) {
    return {code, 0.0, 100.0, 2, Sensor::Thermistor, r25, 3950.0};
}

// The voltage, current and thermocouple ranges whose codes mean the same on every
// model that has them (mV, V, mA, degC).
InputRange Common(unsigned code) {
    switch (code) {
    case 0x00:
        return Volts(code, -15, 15, 3);
    case 0x01:
        return Volts(code, -50, 50, 3);
    case 0x02:
        return Volts(code, -100, 100, 2);
    case 0x03:
        return Volts(code, -500, 500, 2);
    case 0x04:
        return Volts(code, -1, 1, 4);
    case 0x05:
        return Volts(code, -2.5, 2.5, 4);
    case 0x06:
        return Amps(code, -20, 20);
    case 0x07:
        return Amps(code, 4, 20);
    case 0x08:
        return Volts(code, -10, 10, 3);
    case 0x09:
        return Volts(code, -5, 5, 4);
    case 0x0A:
        return Volts(code, -1, 1, 4);
    case 0x0B:
        return Volts(code, -500, 500, 2);
    case 0x0C:
        return Volts(code, -150, 150, 2);
    case 0x0D:
        return Amps(code, -20, 20);
    case 0x0E:
        return Couple(code, 0, 760);
    case 0x0F:
        return Couple(code, 0, 1370);
    case 0x10:
        return Couple(code, -100, 400);
    case 0x11:
        return Couple(code, 0, 1000);
    case 0x12:
        return Couple(code, 500, 1750);
    case 0x13:
        return Couple(code, 500, 1750);
    case 0x14:
        return Couple(code, 500, 1800);
    case 0x15:
        return Volts(code, -15, 15, 3);
    case 0x48:
        return Volts(code, 0, 10, 3);
    case 0x49:
        return Volts(code, 0, 5, 4);
    case 0x4A:
        return Volts(code, 0, 1, 4);
    case 0x4B:
        return Volts(code, 0, 500, 2);
    case 0x4C:
        return Volts(code, 0, 150, 2);
    case 0x4D:
        return Amps(code, 0, 20);
    case 0x55:
        return Volts(code, 0, 15, 3);
    default:
        return {};
    }
}

std::vector<InputRange> CommonRanges(std::initializer_list<unsigned> codes) {
    std::vector<InputRange> out;
    for (const unsigned code : codes)
        out.push_back(Common(code));
    return out;
}

const std::initializer_list<unsigned> kThermocouples = {0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14};

std::vector<InputRange> WithThermocouples(std::initializer_list<unsigned> codes) {
    auto out = CommonRanges(codes);
    const auto tc = CommonRanges(kThermocouples);
    out.insert(out.end(), tc.begin(), tc.end());
    return out;
}

// Four platinum ranges of one coefficient, starting at `code`.
void Platinum(std::vector<InputRange>& out, unsigned code, double alpha,
              std::initializer_list<std::pair<double, double>> spans) {
    for (const auto& [lo, hi] : spans)
        out.push_back(Rtd(code++, lo, hi, 100.0, alpha));
}

std::vector<InputRange> R230Ranges() {
    std::vector<InputRange> out;
    Platinum(out, 0x20, 0.00385, {{-100, 100}, {0, 100}, {0, 200}, {0, 600}});
    Platinum(out, 0x24, 0.00391, {{-100, 100}, {0, 100}, {0, 200}, {0, 600}});
    out.push_back(Rtd(0x28, -80, 100, 120.0, 0.00672));
    out.push_back(Rtd(0x29, 0, 100, 120.0, 0.00672));
    return out;
}

std::vector<InputRange> R240Ranges() {
    std::vector<InputRange> out;
    Platinum(out, 0x20, 0.00385, {{-50, 150}, {0, 100}, {0, 200}, {0, 400}, {-200, 200}});
    Platinum(out, 0x25, 0.00392, {{-50, 150}, {0, 100}, {0, 200}, {0, 400}, {-200, 200}});
    out.push_back(Rtd(0x2A, -40, 160, 1000.0, 0.00385));
    out.push_back(Rtd(0x2B, -30, 120, 500.0, 0.0052));
    out.push_back(Rtd(0x2C, -80, 100, 518.0, 0.0062));
    out.push_back(Rtd(0x2D, 0, 100, 518.0, 0.0062));
    out.push_back(Rtd(0x32, 0, 100, 508.0, 0.0062));
    out.push_back(Rtd(0x33, -50, 200, 508.0, 0.0062));
    return out;
}

std::vector<InputRange> R320TRanges() {
    std::vector<InputRange> out = {Amps(0x07, 4, 20), Volts(0x08, 0, 10, 3), Amps(0x0D, 0, 20)};
    Platinum(out, 0x20, 0.00385, {{-100, 100}, {0, 100}, {0, 200}, {0, 600}});
    Platinum(out, 0x24, 0.00392, {{-100, 100}, {0, 100}, {0, 200}, {0, 600}});
    out.push_back(Rtd(0x2A, -40, 160, 1000.0, 0.00385));
    out.push_back(Thermistor(0x30, 3000.0));
    out.push_back(Thermistor(0x31, 10000.0));
    return out;
}

InputModel Single(std::vector<InputRange> ranges) {
    InputModel m;
    m.ranges = std::move(ranges);
    return m;
}

// Eight channels with per-channel ranges and the communication watchdog.
InputModel PerChannel(std::vector<InputRange> ranges, int channels = 8) {
    InputModel m;
    m.channels = channels;
    m.ranges = std::move(ranges);
    m.rangePerChannel = true;
    m.watchdog = true;
    m.status = true;
    return m;
}

// Eight channels sharing the range of the configuration's type code.
InputModel AllChannels(std::vector<InputRange> ranges) {
    InputModel m;
    m.channels = 8;
    m.ranges = std::move(ranges);
    return m;
}

std::optional<InputModel> InputModelFor(const std::string& d) {
    InputModel m;
    if (d == "R210" || d == "R210D") {
        m = Single(WithThermocouples({0, 1, 2, 3, 4, 5, 6}));
        m.cjc = true;
    } else if (d == "R220") {
        m = Single(CommonRanges({0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D}));
    } else if (d == "R230") {
        m = Single(R230Ranges());
        m.ohmsFormat = 3;
    } else if (d == "R250") {
        m = Single(CommonRanges({0, 1, 2, 3, 6}));
    } else if (d == "R260") {
        m = AllChannels(CommonRanges({0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D}));
    } else if (d == "R270" || d == "R270M") {
        m = AllChannels(WithThermocouples({0, 1, 2, 3, 4, 5, 6}));
        m.cjc = true;
        m.readAll = d == "R270";
    } else if (d == "R270P") {
        m = PerChannel(WithThermocouples({0x06, 0x07}));
        m.cjc = true;
        m.defaultRanges = {0x0F, 0x0F, 0x0E, 0x0E, 0x07, 0x07, 0x06, 0x06};
    } else if (d == "R260P") {
        m = PerChannel(CommonRanges({0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D}));
    } else if (d == "R240" || d == "R240T") {
        m = PerChannel(d == "R240" ? R240Ranges()
                                   : std::vector<InputRange>{Thermistor(0x30, 3000.0),
                                                             Thermistor(0x31, 10000.0)},
                       6);
        m.channelCalibration = true;
        m.modeCommands = true;
        m.wireCompensation = true;
        m.ohmsFormat = 1; // "Engineering Units", "Ohms"
        m.fahrenheitBit = d == "R240T";
    } else if (d == "R280" || d == "R280B" || d == "R280P") {
        // The R280B reports itself as R280P.
        m = PerChannel(WithThermocouples(
            d == "R280" ? std::initializer_list<unsigned>{2, 3, 4, 5, 8, 9, 0x0D}
                        : std::initializer_list<unsigned>{2, 3, 4, 5, 7, 8, 9, 0x0D}));
        m.cjc = true;
        m.channelCalibration = m.negativeCalibration = d == "R280";
        m.status = d != "R280";
    } else if (d == "R810" || d == "R260AN") {
        m = PerChannel(d == "R810" ? CommonRanges({0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x15,
                                                   0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x55})
                                   : CommonRanges({0x08, 0x09, 0x0D, 0x48, 0x49, 0x07, 0x4D}));
        m.filterSettings = true;
    } else if (d == "R820" || d == "R270AN") {
        m = PerChannel(d == "R820" ? WithThermocouples({0, 1, 2, 3, 4, 5, 6, 7})
                                   : CommonRanges({0x0F, 0x14}));
        m.cjc = true;
        m.filterSettings = true;
    } else if (d == "R320T") {
        m = PerChannel(R320TRanges(), 4);
        m.watchdog = false;
        m.fahrenheitBit = true;
        m.defaultRanges = {0x22, 0x22, 0x07, 0x08};
    } else {
        return std::nullopt;
    }
    return m;
}

// Refuses a configuration write (%AANNTTCCFF) whose type code, data format or slew
// rate the model does not have; the common configuration commands do the rest.
class ConfigGuard : public CommandSet {
public:
    ConfigGuard(std::vector<unsigned> types, unsigned formats, unsigned maxSlew)
        : types_(std::move(types)), formats_(formats), maxSlew_(maxSlew) {}
    std::optional<std::string> Ascii(SimModule& m, char lead, std::string_view body) override {
        if (lead != '%' || body.size() != 8) return std::nullopt;
        const auto tt = ParseHex(body.substr(2, 2)), ff = ParseHex(body.substr(6, 2));
        if (!tt || !ff) return std::nullopt;
        const bool typeOk =
            types_.empty() || std::find(types_.begin(), types_.end(), *tt) != types_.end();
        if (!typeOk || !((formats_ >> (*ff & 3)) & 1) || ((*ff >> 2) & 0xF) > maxSlew_)
            return m.Refuse();
        return std::nullopt;
    }

private:
    std::vector<unsigned> types_; // empty: any
    unsigned formats_;            // bit n: data format code n allowed
    unsigned maxSlew_;            // largest slew-rate code of bits 5..2 (15: no slew rate)
};

constexpr unsigned kThreeFormats = 0b0111, kAllFormats = 0b1111, kNoSlew = 15;

} // namespace

bool AddAnalogModel(SimModule& m) {
    const std::string& d = m.config().designation;
    if (d == "R310") {
        m.Add<ConfigGuard>(std::vector<unsigned>{0x30, 0x31, 0x32}, kThreeFormats, 11u);
        m.Add<analog::SingleOutputCommands>().Init(m);
        return true;
    }
    if (d == "R330") {
        m.Add<ConfigGuard>(std::vector<unsigned>{}, kThreeFormats, 11u);
        auto& outputs = m.Add<analog::MultiOutputCommands>();
        outputs.Init(m);
        if (m.config().protocol == Protocol::Modbus) outputs.AddModbusMap(m);
        return true;
    }
    const auto model = InputModelFor(d);
    if (!model) return false;
    std::vector<unsigned> types;
    if (!model->rangePerChannel)
        for (const auto& r : model->ranges)
            types.push_back(r.code);
    m.Add<ConfigGuard>(std::move(types), model->ohmsFormat == 3 ? kAllFormats : kThreeFormats,
                       kNoSlew);
    auto& inputs = m.Add<analog::InputCommands>(*model);
    inputs.Init(m);
    // The members with a Modbus variant; the loop controller has a map of its own.
    static const char* const kModbusInputs[] = {"R270P", "R260P", "R240",   "R240T",  "R280B",
                                                "R280P", "R810",  "R820",   "R260AN", "R270AN"};
    if (m.config().protocol == Protocol::Modbus &&
        std::any_of(std::begin(kModbusInputs), std::end(kModbusInputs),
                    [&](const char* k) { return d == k; }))
        inputs.AddModbusMap(m);
    if (d == "R210" || d == "R210D" || d == "R220") m.Add<analog::AlarmEventCommands>(2, 1);
    if (d == "R250") {
        m.Add<analog::AlarmEventCommands>(4, 0);
        m.Add<analog::ExcitationCommands>().Init(m);
    }
    if (d == "R270M") m.Add<analog::LoggerCommands>(inputs).Init(m);
    if (d == "R320T") m.Add<analog::LoopCommands>(m, inputs);
    return true;
}

bool AnalogModelTakes(const SimModule& m, const std::string& key, const std::string& value) {
    const std::string& d = m.config().designation;
    const auto bad = [&](const std::string& why) {
        return std::invalid_argument("bad value in '" + key + "=" + value + "': " + why);
    };
    const auto model = InputModelFor(d);
    const int channels = model ? model->channels : 0;
    const auto hexMask = [&](int bits) {
        const auto v = ParseHex(value);
        if (value.empty() || value.size() > 2 || !v || *v >= (1u << bits))
            throw bad("a hexadecimal mask of " + std::to_string(bits) + " bits");
    };
    if (key == "value" || (key.size() == 6 && key.compare(0, 5, "value") == 0)) {
        if (!model) return false;
        if (key.size() == 6 && key[5] - '0' >= channels) return false; // no such channel
        if (!analog::ParseDecimal(value)) throw bad("a decimal number");
        return true;
    }
    if (key == "burnout") {
        if (!model) return false;
        hexMask(channels);
        return true;
    }
    if (key == "cjc") {
        if (!model || !model->cjc) return false;
        if (!analog::ParseDecimal(value)) throw bad("a decimal number");
        return true;
    }
    if (key == "di") {
        // The models with digital inputs: the alarm modules' DI0, the emergency
        // inputs of the R330, the loop controller's DI0 and DI1.
        const int bits = d == "R210" || d == "R210D" || d == "R220" ? 1
                         : d == "R330"                              ? 4
                         : d == "R320T"                             ? 2
                                                                    : 0;
        if (bits == 0) return false;
        hexMask(bits);
        return true;
    }
    if (key.rfind("pattern", 0) == 0) {
        if (!model) return false;
        if (key.size() == 8 && key[7] - '0' >= channels) return false; // no such channel
        return true; // the pattern itself is checked when the module starts
    }
    if (key == "scanms") return model.has_value();
    if (key == "startup") return d == "R310" || d == "R330" || d == "R250";
    if (key == "outrange") return d == "R330";
    if (key == "tau") {
        if (d != "R320T") return false;
        const auto v = analog::ParseDecimal(value);
        if (!v || !(*v >= 0.1 && *v <= 3600.0)) throw bad("0.1 to 3600 seconds");
        return true;
    }
    if (key == "table") {
        if (d != "R320T") return false;
        if (value != "zero" && value != "default") throw bad("zero or default");
        return true;
    }
    if (key == "storage") {
        if (d != "R270M") return false;
        if (value != "standard" && value != "event" && value != "mixed")
            throw bad("standard, event or mixed");
        return true;
    }
    if (key == "stdrecords" || key == "eventrecords") {
        if (d != "R270M") return false;
        if (value.empty() || value.size() > 5 || value.find_first_not_of("0123456789") != value.npos)
            throw bad("a number of records");
        return true;
    }
    return false;
}

bool IsAnalogOption(const std::string& key) {
    static const char* const kKeys[] = {"value",  "value0", "value1",     "value2",       "value3",
                                        "value4", "value5", "value6",     "value7",       "burnout",
                                        "cjc",    "di",     "stdrecords", "eventrecords", "storage",
                                        "scanms", "startup", "outrange", "tau", "table"};
    if (key.rfind("pattern", 0) == 0)
        return key.size() == 7 || (key.size() == 8 && key[7] >= '0' && key[7] <= '7');
    return std::any_of(std::begin(kKeys), std::end(kKeys), [&](const char* k) { return key == k; });
}

} // namespace tavo::sim
