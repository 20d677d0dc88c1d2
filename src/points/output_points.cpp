// The points of the analog output modules and the loop controller.
//
// R310: ao0, the output as the module last took it ("$AA6"), and ai0, the output
// current as the module measures it ("$AA8", the panel's read-back), both in mA or V
// of the output range; % FSR and hexadecimal replies are shares of the range's span
// and are converted to it, so that a value written in mA reads back in mA. ai0 is
// disabled on the 0~10V range, where the panel hides the read-back.
// R330, ASCII and Modbus: ao0 .. ao3 in mA or V of each channel's range ("$AA6C{n}",
// or registers 1 .. 4 as 0 .. 4095 of the range), and di0 .. di3 ("$AAI", coils
// 1 .. 4).
//
// Quality: an output is what the module drives, so a value at either end of its
// range is a setting like any other: good, never over- or under-range. A reply that
// is not the fixed-width field of its format (cut, garbled), a register above 4095
// and a value whose range is not known (Modbus) are failed.
#include "families.h"
#include "output_family.h"
#include "output_values.h"
#include "point_text.h"

#include "devices/hex_codes.h"
#include "devices/modbus_slave.h"
#include "devices/models_analog.h"

#include <array>
#include <cstring>

namespace tavo {
namespace {

OutputFormat FormatOf(int formatCode) {
    const char bits[] = {static_cast<char>('0' + ((formatCode >> 1) & 1)),
                         static_cast<char>('0' + (formatCode & 1)), 0};
    return OutputFormatOf(bits);
}

const char* FormatName(OutputFormat format) {
    switch (format) {
    case OutputFormat::Engineering:
        return "engineering units";
    case OutputFormat::Percent:
        return "% FSR";
    case OutputFormat::Hex:
        break;
    }
    return "hexadecimal";
}

PointInfo Point(std::string name, PointKind kind, double min, double max, int decimals) {
    return FamilyPoint(std::move(name), kind, "", min, max, decimals);
}

bool IsModbusTo(const PortExchange& exchange, int slave) {
    return exchange.modbus && !exchange.request.empty() &&
           static_cast<std::uint8_t>(exchange.request[0]) == (slave & 0xFF);
}

// ---- R310 ----------------------------------------------------------------------------

class R310Points final : public ModulePoints {
public:
    explicit R310Points(const ModuleLocation& where)
        : ModulePoints("R310", where,
                       // Before the range is known: the widest, 0 to 20 (mA or V).
                       {Point("ao0", PointKind::AnalogOutput, 0, 20, 3),
                        Point("ai0", PointKind::AnalogInput, 0, 20, 3)}) {}

private:
    static constexpr int kOutput = 0, kReadBack = 1;

    bool Take(const PortExchange& exchange) override {
        const auto command = AsciiCommandTo(exchange, Location().address);
        if (!command) return false;
        if (command->lead == '%' && exchange.ok) {
            // A new configuration: what the module's replies mean is known again
            // once it has been read.
            config_.reset();
            Configure();
        } else if (command->lead == '$' && command->body == "2") {
            if (const auto data = ReplyDataOf(exchange, '!'))
                if (const auto config = ConfigurationOf(*data)) Configure(config);
        } else if (command->lead == '$' && command->body == "6") {
            TakeValue(kOutput, exchange);
        } else if (command->lead == '$' && command->body == "8") {
            TakeValue(kReadBack, exchange);
        }
        return true;
    }

    bool ConfigurationKnown() const override { return config_.has_value(); }

    void ReadConfiguration(TavoComPort& port) override {
        TavoMR310 module(&port, AddressText());
        module.ReadConfig();
    }

    void ReadValues(TavoComPort& port) override {
        TavoMR310 module(&port, AddressText());
        std::string text;
        module.ReadLastOutput(text);
        module.ReadReadback(text);
    }

    bool WritePoint(TavoComPort& port, int index, double value, std::string& error) override {
        TavoMR310 module(&port, AddressText());
        if (!config_) ReadConfiguration(port);
        const OutputChannelRange* range = Range();
        if (!config_ || !range) {
            error = config_ ? "the R310 reports the output range code " +
                                  HexText(static_cast<unsigned>(config_->typeCode), 2) +
                                  ", which it does not have: nothing was written"
                            : "the R310's output range and data format could not be read: "
                              "nothing was written";
            return false;
        }
        if (!WithinLimits(Info(index), value, error)) return false;
        const OutputFormat format = FormatOf(config_->formatCode);
        OutputRefusal refusal = OutputRefusal::None;
        const auto field = OutputValueFromEngineering(value, format, *range, refusal);
        if (!field) {
            error = FormatPointNumber(value, 9) + " " + range->unit + " is beyond what the " +
                    FormatName(format) + " format carries: nothing was written";
            return false;
        }
        if (!module.WriteOutput(OutputField(*field, format))) {
            error = WriteFailure(port, Model());
            return false;
        }
        return true;
    }

    const OutputChannelRange* Range() const {
        return config_ ? R310Range(config_->typeCode) : nullptr;
    }

    // Takes a configuration just read (or forgets it): a changed range or format
    // changes what a value read before it meant.
    void Configure(std::optional<ModuleConfiguration> config = std::nullopt) {
        const bool changed = !config || !config_ || config->typeCode != config_->typeCode ||
                             (config->formatCode & 3) != (config_->formatCode & 3);
        if (config) config_ = config;
        if (changed)
            for (const int i : {kOutput, kReadBack})
                SetBad(i, PointQuality::Failed);
        const OutputChannelRange* range = Range();
        const bool precise = config_ && FormatOf(config_->formatCode) == OutputFormat::Engineering;
        for (const int i : {kOutput, kReadBack}) {
            PointInfo& info = Info(i);
            info.unit = range ? range->unit : "";
            info.min = range ? range->min : 0.0;
            info.max = range ? range->max : 20.0;
            // % FSR and counts give finer steps than the thousandths of mA or V.
            info.decimals = precise ? 3 : 4;
        }
    }

    void TakeValue(int index, const PortExchange& exchange) {
        const OutputChannelRange* range = Range();
        if (index == kReadBack && range && std::strcmp(range->unit, "V") == 0) {
            SetBad(index, PointQuality::Disabled);
            return;
        }
        const auto data = ReplyDataOf(exchange, '!');
        const OutputFormat format =
            config_ ? FormatOf(config_->formatCode) : OutputFormat::Engineering;
        const auto number = data && range ? OutputReplyNumber(*data, format) : std::nullopt;
        if (number)
            SetGood(index, EngineeringFromFormat(*number, format, *range));
        else
            SetBad(index, PointQuality::Failed);
    }

    std::optional<ModuleConfiguration> config_;
};

// ---- R330 ----------------------------------------------------------------------------

class R330Points : public ModulePoints {
public:
    static constexpr int kChannels = 4;

protected:
    explicit R330Points(const ModuleLocation& where) : ModulePoints("R330", where, PointList()) {}

    static std::vector<PointInfo> PointList() {
        std::vector<PointInfo> points;
        // Before the ranges are known: the widest, -10 V to 20 mA.
        for (int n = 0; n < kChannels; ++n)
            points.push_back(Point("ao" + std::to_string(n), PointKind::AnalogOutput, -10, 20, 3));
        for (int n = 0; n < kChannels; ++n)
            points.push_back(
                Point("di" + std::to_string(n), PointKind::DigitalInput, kNoLimit, kNoLimit, 0));
        return points;
    }
    static int InputIndex(int n) { return kChannels + n; }

    bool ConfigurationKnown() const override {
        for (const auto& code : range_)
            if (!code) return false;
        return true;
    }

    const OutputChannelRange* Range(int n) const {
        const auto& code = range_[static_cast<std::size_t>(n)];
        return code ? R330Range(*code) : nullptr;
    }

    // A channel's range as read (nullopt: a code that is no range of the R330). A
    // value read before a change of range was a value of the other range.
    void SetRange(int n, std::optional<int> code) {
        auto& known = range_[static_cast<std::size_t>(n)];
        if (code && !R330Range(*code)) code.reset();
        if (known != code) SetBad(n, PointQuality::Failed);
        known = code;
        const OutputChannelRange* range = Range(n);
        PointInfo& info = Info(n);
        info.unit = range ? range->unit : "";
        info.min = range ? range->min : -10.0;
        info.max = range ? range->max : 20.0;
    }

    void SetInputs(std::optional<unsigned> bits) {
        for (int n = 0; n < kChannels; ++n) {
            if (bits)
                SetGood(InputIndex(n), (*bits >> n) & 1);
            else
                SetBad(InputIndex(n), PointQuality::Failed);
        }
    }

    // Reads the range of `n` when it is not known; false with the error line when it
    // still is not.
    bool RangeForWrite(TavoComPort& port, int n, std::string& error) {
        if (!Range(n)) ReadConfiguration(port);
        if (Range(n)) return true;
        error = "the range of ao" + std::to_string(n) + " could not be read: nothing was written";
        return false;
    }

    std::array<std::optional<int>, kChannels> range_{};
};

class R330AsciiPoints final : public R330Points {
public:
    explicit R330AsciiPoints(const ModuleLocation& where) : R330Points(where) {}

private:
    bool Take(const PortExchange& exchange) override {
        const auto command = AsciiCommandTo(exchange, Location().address);
        if (!command) return false;
        const std::string_view body = command->body;
        if (command->lead != '$') return true;
        if (body == "I") {
            const auto data = ReplyDataOf(exchange, '!');
            SetInputs(data && IsHexField(*data, 2) ? HexValue(*data) : std::nullopt);
            return true;
        }
        // "6C{n}", "8C{n}" and the range write "7C{n}R{tt}".
        if (body.size() < 3 || body[1] != 'C' || body[2] < '0' || body[2] >= '0' + kChannels)
            return true;
        const int n = body[2] - '0';
        if (body.size() == 3 && body[0] == '6') {
            const auto data = ReplyDataOf(exchange, '!');
            const auto value =
                data ? OutputReplyNumber(*data, OutputFormat::Engineering) : std::nullopt;
            if (value)
                SetGood(n, *value);
            else
                SetBad(n, PointQuality::Failed);
        } else if (body.size() == 3 && body[0] == '8') {
            // "C{n}{tt}"; a failed read leaves the range as it was known.
            const auto data = ReplyDataOf(exchange, '!');
            if (data && data->size() == 4 && (*data)[0] == 'C' && (*data)[1] == body[2] &&
                IsHexField(std::string_view(*data).substr(2), 2))
                SetRange(n, static_cast<int>(*HexValue(std::string_view(*data).substr(2))));
        } else if (body.size() == 6 && body[0] == '7' && body[3] == 'R' && exchange.ok &&
                   IsHexField(body.substr(4), 2)) {
            SetRange(n, static_cast<int>(*HexValue(body.substr(4))));
        }
        return true;
    }

    void ReadConfiguration(TavoComPort& port) override {
        TavoMR330 module(&port, AddressText());
        std::string text;
        for (int n = 0; n < kChannels; ++n)
            module.ReadChannelRange(n, text);
    }

    void ReadValues(TavoComPort& port) override {
        TavoMR330 module(&port, AddressText());
        std::string text;
        for (int n = 0; n < kChannels; ++n)
            module.ReadChannelOutput(n, text);
        module.ReadDI(text);
    }

    bool WritePoint(TavoComPort& port, int index, double value, std::string& error) override {
        if (!RangeForWrite(port, index, error) || !WithinLimits(Info(index), value, error))
            return false;
        TavoMR330 module(&port, AddressText());
        if (!module.WriteChannel(index, SignedValueField(value))) {
            error = WriteFailure(port, Model());
            return false;
        }
        return true;
    }
};

class R330ModbusPoints final : public R330Points {
public:
    explicit R330ModbusPoints(const ModuleLocation& where) : R330Points(where) {}

private:
    bool Take(const PortExchange& exchange) override {
        const int slave = Location().address;
        if (const auto read = ModbusReadOf(exchange, slave)) {
            const auto value = [&](int number) {
                return (*read->values)[static_cast<std::size_t>(number - read->first)];
            };
            for (int n = 0; n < kChannels; ++n) {
                const int number =
                    (read->coils ? kFirstR330InputCoil : kFirstR330RangeRegister) + n;
                if (!read->Covers(number)) continue;
                if (read->coils && read->values)
                    SetGood(InputIndex(n), value(number));
                else if (read->coils)
                    SetBad(InputIndex(n), PointQuality::Failed);
                else if (read->values) // a failed read leaves the range as it was known
                    SetRange(n, value(number));
            }
            for (int n = 0; n < kChannels && !read->coils; ++n) {
                const int number = kFirstR330OutputRegister + n;
                if (!read->Covers(number)) continue;
                const OutputChannelRange* range = Range(n);
                const auto v =
                    read->values && range ? R330ValueFromRaw(*range, value(number)) : std::nullopt;
                if (v)
                    SetGood(n, *v);
                else
                    SetBad(n, PointQuality::Failed);
            }
            return true;
        }
        if (const auto write = ModbusWriteOf(exchange, slave); write && write->ok && !write->coils)
            for (std::size_t i = 0; i < write->values.size(); ++i) {
                const int n = write->first + static_cast<int>(i) - kFirstR330RangeRegister;
                if (n >= 0 && n < kChannels) SetRange(n, write->values[i]);
            }
        return IsModbusTo(exchange, slave);
    }

    void ReadConfiguration(TavoComPort& port) override {
        TavoMR330 module(&port, AddressText());
        std::vector<std::uint16_t> words;
        ModbusSlave(module.GetModbus(), Location().address)
            .ReadRegisters(kFirstR330RangeRegister, kChannels, words);
    }

    void ReadValues(TavoComPort& port) override {
        TavoMR330 module(&port, AddressText());
        ModbusSlave slave(module.GetModbus(), Location().address);
        std::vector<std::uint16_t> words;
        std::uint32_t bits = 0;
        slave.ReadRegisters(kFirstR330OutputRegister, kChannels, words);
        slave.ReadCoils(kFirstR330InputCoil, kChannels, bits);
    }

    bool WritePoint(TavoComPort& port, int index, double value, std::string& error) override {
        if (!RangeForWrite(port, index, error) || !WithinLimits(Info(index), value, error))
            return false;
        TavoMR330 module(&port, AddressText());
        ModbusSlave slave(module.GetModbus(), Location().address);
        if (!slave.WriteRegister(kFirstR330OutputRegister + index,
                                 R330RawFromValue(*Range(index), value))) {
            error = WriteFailure(port, Model(), module.GetModbus()->LastException());
            return false;
        }
        return true;
    }
};

} // namespace

std::optional<ModuleConfiguration> ConfigurationOf(const std::string& data) {
    if (data.size() < 6 || !IsHexText(std::string_view(data).substr(0, 6))) return std::nullopt;
    return ModuleConfiguration{static_cast<int>(*HexValue(std::string_view(data).substr(0, 2))),
                               static_cast<int>(*HexValue(std::string_view(data).substr(4, 2)))};
}

PointInfo FamilyPoint(std::string name, PointKind kind, std::string unit, double min, double max,
                      int decimals) {
    PointInfo info;
    info.name = std::move(name);
    info.kind = kind;
    info.unit = std::move(unit);
    info.min = min;
    info.max = max;
    info.writable = kind == PointKind::AnalogOutput || kind == PointKind::DigitalOutput;
    info.decimals = decimals;
    return info;
}

FamilyAnswer MakeOutputPoints(std::string_view model, const ModuleLocation& where) {
    FamilyAnswer answer;
    if (model != "R310" && model != "R330" && model != "R320T") return answer;
    const std::string name(model);
    if (where.slot >= 0) {
        answer.refusal = "the " + name + " is a module of its own, not a rack slot: give no slot";
        return answer;
    }
    const bool modbus = where.protocol == PointProtocol::Modbus;
    if (model == "R310" && modbus)
        answer.refusal = "the R310 has no Modbus variant";
    else if (model == "R310")
        answer.points = std::make_unique<R310Points>(where);
    else if (model == "R330" && modbus)
        answer.points = std::make_unique<R330ModbusPoints>(where);
    else if (model == "R330")
        answer.points = std::make_unique<R330AsciiPoints>(where);
    else
        answer.points = MakeLoopControllerPoints(where);
    return answer;
}

} // namespace tavo
