// The ASCII analog input modules as points.
//
// Readings come from the replies the panels' polls get: "#AA" (every channel, or
// the single-channel modules' one value), "#AAn" (the data logger, channel by
// channel), "@AADI" (alarm outputs and digital input), "@AARE" (event counter) and
// "$AA6" (the strain-gauge module's excitation output). What they mean depends on
// the configuration, learned from "$AA2" (type code and data format), "$AA6" (the
// multi-channel modules' enable mask) and "$AA8Cn" (a channel's range), and from the
// writes that change them. Until a channel's configuration is known its reading is
// failed: a field cannot be cut, scaled or given a unit without it.
//
// Values are what the module sent, as the panels show them (no conversion): in
// engineering units with the range's unit, in % FSR with "%", in the hexadecimal
// format as the signed count without unit, in the resistance format in ohms. Burn-out
// and the ends of each format are as ReadInputField says; a channel the enable mask
// switches off reads disabled, whatever the module sends for it.
#include "analog_fields.h"
#include "analog_input_points.h"
#include "exchange_parts.h"
#include "output_values.h"
#include "point_text.h"

#include "devices/hex_codes.h"
#include "devices/models_analog.h"

#include <array>
#include <cmath>

namespace tavo::analog_points {
using namespace decode;
namespace {

bool SameLimit(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

bool IsNumber(PointQuality q) {
    return q == PointQuality::Good || q == PointQuality::OverRange || q == PointQuality::UnderRange;
}

// A plain count of decimal digits ("00042"); nullopt for anything else.
std::optional<double> DecimalCount(std::string_view text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    double value = 0.0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10.0 + (c - '0');
    }
    return value;
}

std::string WhyFailed(const TavoComPort& port) {
    const std::string& why = port.LastError().text;
    return why.empty() ? "no valid answer" : why;
}

// The configuration every ASCII input module reports with "$AA2" and takes with
// "%AANNTTCCFF": its type code and format byte.
class AsciiInputPoints : public ModulePoints {
protected:
    using ModulePoints::ModulePoints;

    // The commands to this module: the configuration's here, the others the kind's.
    bool Take(const PortExchange& exchange) final {
        const auto command = SplitAsciiCommand(exchange);
        if (!command || !SameAddressText(command->address, AddressText())) return false;
        if (!TakeConfiguration(*command, exchange)) TakeCommand(*command, exchange);
        return true;
    }
    virtual void TakeCommand(const AsciiCommand& command, const PortExchange& exchange) = 0;

    // Takes "$AA2" and "%AANNTTCCFF"; false for any other command.
    bool TakeConfiguration(const AsciiCommand& command, const PortExchange& exchange) {
        if (command.lead == '$' && command.body == "2") {
            const auto data = AddressedData(exchange);
            const auto tt = data && data->size() >= 6 ? HexByte(data->substr(0, 2)) : std::nullopt;
            const auto cc = tt ? HexByte(data->substr(2, 2)) : std::nullopt;
            const auto ff = cc ? HexByte(data->substr(4, 2)) : std::nullopt;
            if (ff) SetConfiguration(*tt, *ff);
            return true;
        }
        if (command.lead == '%' && command.body.size() == 8) {
            if (!exchange.ok) return true;
            const auto tt = HexByte(command.body.substr(2, 2));
            const auto ff = HexByte(command.body.substr(6, 2));
            // A module that moved to another address is no longer this one.
            if (tt && ff && SameAddressText(command.body.substr(0, 2), command.address)) {
                SetConfiguration(*tt, *ff);
            } else {
                type_.reset();
                format_.reset();
                ConfigurationChanged();
            }
            return true;
        }
        return false;
    }

    // The units and limits follow a change of the configuration.
    virtual void ConfigurationChanged() = 0;

    InputFormat Format(int ohmsCode) const {
        return format_ ? InputFormatOf(*format_, ohmsCode) : InputFormat::None;
    }

    // A channel point's reading from its field.
    void SetField(int index, const FieldValue& field) {
        if (field.quality != PointQuality::Good) {
            SetBad(index, field.quality);
            return;
        }
        Info(index).decimals = field.decimals;
        SetGood(index, field.value);
    }

    // A channel's unit and limits; a number read under other ones is no longer a
    // reading of the channel as it is now.
    void SetScale(int index, const ChannelScale& scale) {
        PointInfo& info = Info(index);
        if (info.unit == scale.unit && SameLimit(info.min, scale.min) &&
            SameLimit(info.max, scale.max))
            return;
        info.unit = scale.unit;
        info.min = scale.min;
        info.max = scale.max;
        const PointReading& reading = Readings()[static_cast<std::size_t>(index)];
        if (reading.serial != 0 && IsNumber(reading.quality)) SetBad(index, PointQuality::Failed);
    }

    std::optional<unsigned> type_, format_;

private:
    void SetConfiguration(unsigned type, unsigned format) {
        type_ = type;
        format_ = format;
        ConfigurationChanged();
    }
};

// ---- Single-channel modules ----------------------------------------------------------

std::vector<PointInfo> SinglePoints(const SingleInputModel& model) {
    std::vector<PointInfo> points;
    PointInfo ai = NamedPoint("ai0", PointKind::AnalogInput);
    const ChannelScale widest = WidestRange(model.ranges);
    ai.unit = widest.unit;
    ai.min = widest.min;
    ai.max = widest.max;
    points.push_back(ai);
    if (model.excitation) {
        PointInfo ao = NamedPoint("ao0", PointKind::AnalogOutput);
        ao.unit = "V";
        ao.min = LimitValue(kExcitationLimits.min, OutputFormat::Engineering);
        ao.max = LimitValue(kExcitationLimits.max, OutputFormat::Engineering);
        ao.writable = true;
        points.push_back(ao);
    }
    // Digital points and counts have no decimals.
    const auto whole = [&points](std::string name, PointKind kind, bool writable) {
        PointInfo info = NamedPoint(std::move(name), kind);
        info.writable = writable;
        info.decimals = 0;
        if (kind == PointKind::Counter) info.min = 0;
        points.push_back(info);
    };
    for (int n = 0; n < model.alarmOutputs; ++n)
        whole(PointName("do", n), PointKind::DigitalOutput, true);
    if (model.digitalInput) whole("di0", PointKind::DigitalInput, false);
    if (model.eventCounter) whole("cnt0", PointKind::Counter, false);
    return points;
}

class SingleInputPoints final : public AsciiInputPoints {
public:
    SingleInputPoints(const SingleInputModel& model, const ModuleLocation& where)
        : AsciiInputPoints(std::string(model.designation), where, SinglePoints(model)),
          model_(model) {
        excitation_ = IndexOf("ao0");
        outputs_ = IndexOf("do0");
        input_ = IndexOf("di0");
        counter_ = IndexOf("cnt0");
    }

private:
    void TakeCommand(const AsciiCommand& command, const PortExchange& exchange) override {
        const std::string_view body = command.body;
        if (command.lead == '#' && body.empty()) {
            TakeValue(exchange);
        } else if (command.lead == '@') {
            if (body == "DI")
                TakeAlarmStatus(exchange);
            else if (body == "RE" && counter_ >= 0)
                TakeCount(exchange);
        } else if (command.lead == '$' && body == "6" && excitation_ >= 0) {
            const auto data = AddressedData(exchange);
            const auto volts = data ? PlainDecimalValue(std::string(*data)) : std::nullopt;
            if (volts)
                SetGood(excitation_, *volts);
            else
                SetBad(excitation_, PointQuality::Failed);
        }
    }

    void TakeValue(const PortExchange& exchange) {
        const auto data = ValueData(exchange);
        const InputFormat format = Format(model_.ohmsCode);
        std::vector<ChannelReading> fields;
        if (!data || !ConfigurationKnown() || !CutWholeReply(*data, 1, format, fields))
            SetBad(0, PointQuality::Failed);
        else
            SetField(0, ReadInputField(fields[0], format));
    }

    // "@AADI": the alarm mode digit, the outputs and the inputs as two hex digits each.
    void TakeAlarmStatus(const PortExchange& exchange) {
        const auto data = AddressedData(exchange);
        const auto dout = data && data->size() == 5 ? HexByte(data->substr(1, 2)) : std::nullopt;
        const auto din = dout ? HexByte(data->substr(3, 2)) : std::nullopt;
        const bool ok = din && (*data)[0] >= '0' && (*data)[0] <= '2';
        for (int n = 0; n < model_.alarmOutputs; ++n) {
            if (ok)
                SetGood(outputs_ + n, (*dout >> n) & 1u);
            else
                SetBad(outputs_ + n, PointQuality::Failed);
        }
        if (input_ < 0) return;
        if (ok)
            SetGood(input_, *din & 1u);
        else
            SetBad(input_, PointQuality::Failed);
    }

    void TakeCount(const PortExchange& exchange) {
        const auto data = AddressedData(exchange);
        const auto count = data ? DecimalCount(*data) : std::nullopt;
        if (count)
            SetGood(counter_, *count);
        else
            SetBad(counter_, PointQuality::Failed);
    }

    void ConfigurationChanged() override {
        const InputFormat format = Format(model_.ohmsCode);
        SetScale(0, format_ ? ScaleOf(type_ ? FindRangeItem(model_.ranges, static_cast<int>(*type_))
                                            : nullptr,
                                      format)
                            : WidestRange(model_.ranges));
    }

    bool ConfigurationKnown() const override { return type_ && format_; }

    void ReadConfiguration(TavoComPort& port) override {
        TavoMR230(&port, AddressText()).ReadConfig();
    }

    // The panel's poll: the value, then the event counter and the alarm outputs and
    // input (the R210 family stops at the first that fails); the strain-gauge module
    // reads its outputs and its excitation after the value.
    void ReadValues(TavoComPort& port) override {
        const auto module = Commands(port);
        std::string text, mode, dout, din;
        if (!module->ReadAll(text)) return;
        if (model_.excitation) {
            module->ReadAlarmStatus(mode, dout, din);
            static_cast<TavoMR250&>(*module).ReadExcitation(text);
            return;
        }
        if (model_.eventCounter && !module->ReadEventCounter(text)) return;
        if (model_.alarmOutputs > 0 || model_.digitalInput)
            module->ReadAlarmStatus(mode, dout, din);
    }

    bool WritePoint(TavoComPort& port, int index, double value, std::string& error) override {
        if (index == excitation_) return WriteExcitation(port, value, error);
        if (outputs_ >= 0 && index >= outputs_ && index < outputs_ + model_.alarmOutputs)
            return WriteOutput(port, index - outputs_, value != 0.0, error);
        error = Points()[static_cast<std::size_t>(index)].name + " of the " + Model() +
                " cannot be written";
        return false;
    }

    // The panel's Output: "$AA7" and the value as its field writes it ("05.000").
    bool WriteExcitation(TavoComPort& port, double value, std::string& error) {
        OutputRefusal refusal = OutputRefusal::None;
        const auto field = ParseOutputValue(FormatPointNumber(value, 3), OutputFormat::Engineering,
                                            kExcitationLimits, refusal);
        if (!field) {
            error = FormatPointNumber(value, 9) + " is no excitation value of the " + Model() +
                    " (0 to 10 V)";
            return false;
        }
        TavoMR250 module(&port, AddressText());
        if (module.SetExcitation(OutputField(*field, OutputFormat::Engineering))) return true;
        error = Model() + " did not take the excitation value: " + WhyFailed(port);
        return false;
    }

    // The panel's DO buttons: "@AADO" with every output's state, while the alarm is
    // disabled (the outputs are the alarm's otherwise). The other outputs' states are
    // read first, so that a write of one never changes another.
    bool WriteOutput(TavoComPort& port, int n, bool on, std::string& error) {
        const auto module = Commands(port);
        std::string mode, dout, din;
        const std::string name = PointName("do", n);
        if (!module->ReadAlarmStatus(mode, dout, din)) {
            error = "the alarm outputs of the " + Model() + " could not be read before " + name +
                    " was written: " + WhyFailed(port);
            return false;
        }
        if (mode != "0") {
            const std::string type = mode == "1" ? "MOMENTARY" : mode == "2" ? "LATCH" : mode;
            error = name + " is the alarm's while the alarm type is " + type +
                    ": set the alarm type to disable first";
            return false;
        }
        unsigned bits = HexValue(dout).value_or(0) & ((1u << model_.alarmOutputs) - 1u);
        bits = on ? bits | (1u << n) : bits & ~(1u << n);
        if (module->SetDO(static_cast<int>(bits))) return true;
        error = Model() + " did not take " + name + ": " + WhyFailed(port);
        return false;
    }

    std::unique_ptr<TavoMR210> Commands(TavoComPort& port) const {
        if (model_.excitation) return std::make_unique<TavoMR250>(&port, AddressText());
        return std::make_unique<TavoMR210>(&port, AddressText());
    }

    const SingleInputModel& model_;
    int excitation_ = -1, outputs_ = -1, input_ = -1, counter_ = -1;
};

// ---- Multi-channel modules -----------------------------------------------------------

std::vector<PointInfo> ChannelPoints(int channels, RangeList ranges) {
    const ChannelScale widest = WidestRange(ranges);
    std::vector<PointInfo> points;
    for (int n = 0; n < channels; ++n) {
        PointInfo info = NamedPoint(PointName("ai", n), PointKind::AnalogInput);
        info.unit = widest.unit;
        info.min = widest.min;
        info.max = widest.max;
        points.push_back(info);
    }
    return points;
}

class MultiInputPoints final : public AsciiInputPoints {
public:
    MultiInputPoints(const MultiInputModel& model, const ModuleLocation& where)
        : AsciiInputPoints(std::string(model.designation), where,
                           ChannelPoints(model.channels, model.ranges)),
          model_(model) {}

private:
    void TakeCommand(const AsciiCommand& command, const PortExchange& exchange) override {
        const std::string_view body = command.body;
        if (command.lead == '#') {
            // The data logger has no reading of all channels at once.
            if (body.empty() && !model_.channelReads)
                TakeValues(exchange, 0, model_.channels);
            else if (const int n = Channel(body); n >= 0)
                TakeValues(exchange, n, 1);
        } else if (command.lead == '$') {
            if (body == "6") {
                if (const auto data = AddressedData(exchange)) SetMask(HexByte(*data));
            } else if (body.size() == 3 && body[0] == '5' && exchange.ok) {
                SetMask(HexByte(body.substr(1)));
            } else if (body.size() == 3 && body.substr(0, 2) == "8C") {
                TakeRange(Channel(body.substr(2)), exchange);
            } else if (body.size() == 6 && body.substr(0, 2) == "7C" && body[3] == 'R' &&
                       exchange.ok) {
                SetRange(Channel(body.substr(2, 1)), HexByte(body.substr(4)));
            }
        }
    }

    // A channel digit of this module; -1 for anything else.
    int Channel(std::string_view digit) const {
        if (digit.size() != 1 || digit[0] < '0' || digit[0] - '0' >= model_.channels) return -1;
        return digit[0] - '0';
    }

    // "$AA8Cn" answers "!AAC{n}R{tt}".
    void TakeRange(int n, const PortExchange& exchange) {
        const auto data = AddressedData(exchange);
        if (n < 0 || !data || data->size() != 5 || (*data)[0] != 'C' ||
            Channel(data->substr(1, 1)) != n || (*data)[2] != 'R')
            return;
        SetRange(n, HexByte(data->substr(3)));
    }

    void SetRange(int n, std::optional<unsigned> code) {
        if (n < 0 || !code) return;
        ranges_[static_cast<std::size_t>(n)] = *code;
        ConfigurationChanged();
    }

    // A channel the mask switches off reads disabled from the moment that is known.
    void SetMask(std::optional<unsigned> mask) {
        if (!mask) return;
        mask_ = *mask & ((1u << model_.channels) - 1u);
        for (int n = 0; n < model_.channels; ++n)
            if (!Enabled(n)) SetBad(n, PointQuality::Disabled);
    }

    bool Enabled(int n) const { return mask_ && ((*mask_ >> n) & 1u); }

    bool ChannelKnown(int n) const {
        return format_ && mask_ &&
               (model_.rangePerChannel ? ranges_[static_cast<std::size_t>(n)].has_value()
                                       : type_.has_value());
    }

    void TakeValues(const PortExchange& exchange, int first, int count) {
        const auto data = ValueData(exchange);
        const InputFormat format = Format(model_.ohmsCode);
        std::vector<ChannelReading> fields;
        const bool cut = data && CutWholeReply(*data, count, format, fields);
        for (int i = 0; i < count; ++i) {
            const int n = first + i;
            if (!cut || !ChannelKnown(n))
                SetBad(n, PointQuality::Failed);
            else if (!Enabled(n))
                SetBad(n, PointQuality::Disabled);
            else
                SetField(n, ReadInputField(fields[static_cast<std::size_t>(i)], format));
        }
    }

    // The list the channels' codes are read in: the Fahrenheit texts and unit when
    // format bit 3 says so.
    RangeList Ranges() const {
        if (model_.fahrenheitRanges && format_ && (*format_ & 0x08u))
            return *model_.fahrenheitRanges;
        return model_.ranges;
    }

    void ConfigurationChanged() override {
        const RangeList list = Ranges();
        for (int n = 0; n < model_.channels; ++n) {
            const auto code = model_.rangePerChannel ? ranges_[static_cast<std::size_t>(n)] : type_;
            if (!format_ || !code)
                SetScale(n, WidestRange(list));
            else
                SetScale(n, ScaleOf(FindRangeItem(list, static_cast<int>(*code)),
                                    Format(model_.ohmsCode)));
        }
    }

    bool ConfigurationKnown() const override {
        for (int n = 0; n < model_.channels; ++n)
            if (!ChannelKnown(n)) return false;
        return true;
    }

    // What the panel reads at its start: the configuration, the enable mask and each
    // channel's range.
    void ReadConfiguration(TavoComPort& port) override {
        TavoMR270P module(&port, AddressText());
        std::string text;
        if (!module.ReadConfig() || !module.ReadChannelEnable(text)) return;
        for (int n = 0; model_.rangePerChannel && n < model_.channels; ++n)
            if (!module.ReadChannelRange(n, text)) return;
    }

    // The panel's poll: "#AA", or the data logger's enabled channels one by one (its
    // panel takes four a tick in turn; here every one once, up to the first that
    // fails). The channels that are off read disabled with this read; a logger with
    // every channel off is asked for its mask instead.
    void ReadValues(TavoComPort& port) override {
        std::string text;
        if (!model_.channelReads) {
            TavoMR270P(&port, AddressText()).ReadAll(text);
            return;
        }
        TavoMR270M logger(&port, AddressText());
        bool any = false;
        for (int n = 0; n < model_.channels; ++n) {
            if (!Enabled(n)) continue;
            any = true;
            if (!logger.ReadChannel(n, text)) break;
        }
        if (!any) logger.ReadChannelEnable(text);
        for (int n = 0; mask_ && n < model_.channels; ++n)
            if (!Enabled(n)) SetBad(n, PointQuality::Disabled);
    }

    bool WritePoint(TavoComPort&, int index, double, std::string& error) override {
        error =
            Points()[static_cast<std::size_t>(index)].name + " is an input and cannot be written";
        return false;
    }

    const MultiInputModel& model_;
    std::optional<unsigned> mask_;
    std::array<std::optional<unsigned>, 8> ranges_{};
};

} // namespace

std::unique_ptr<ModulePoints> MakeSingleInputPoints(const SingleInputModel& model,
                                                    const ModuleLocation& where) {
    return std::make_unique<SingleInputPoints>(model, where);
}

std::unique_ptr<ModulePoints> MakeMultiInputPoints(const MultiInputModel& model,
                                                   const ModuleLocation& where) {
    return std::make_unique<MultiInputPoints>(model, where);
}

} // namespace tavo::analog_points
