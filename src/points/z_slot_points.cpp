// The Z-series I/O slot modules (Z320, Z310) of the Z351/Z352 controllers.
#include "slot_points.h"
#include "exchange_parts.h"

#include "k_analog_ranges.h"
#include "point_text.h"
#include "z_series_data.h"

#include "devices/hex_codes.h"
#include "devices/z_series.h"

#include <optional>

namespace tavo {
namespace {

// Widths of the module's fields: an input reading is a sign and seven characters
// ("+012.500"), an output value "%06.3f". Another width is no reading.
constexpr std::size_t kInputField = 8;
constexpr std::size_t kOutputField = 6;

// Points in list order: analog inputs, analog outputs, digital inputs, digital
// outputs. Configuration: each analog channel's type ($AASiCcAI, $AASiCcAO), which
// gives units and limits. Readings: all analog inputs at once (#AASi, one
// eight-character field per channel in engineering units; "+888888" an open
// sensor), each output's last value ($AASiCc6) and the digital word ($AASi6: the
// outputs in its first two digits, the inputs in the next two). The inputs have no
// enable mask and no format of their own: a field that is a number is a good
// reading, its unit unknown while its type is.
class ZSlotPoints final : public AsciiSlotPoints {
public:
    ZSlotPoints(std::string model, const ZSlotShape& shape, const ModuleLocation& where)
        : AsciiSlotPoints(std::move(model), where, true), shape_(shape),
          inputTypes_(static_cast<std::size_t>(shape.ai)),
          outputTypes_(static_cast<std::size_t>(shape.ao)) {
        for (int c = 0; c < shape_.ao; ++c) {
            // Until the types are read: the widest an output has.
            Info(Output(c)).min = 0;
            Info(Output(c)).max = 20;
        }
    }

private:
    int Output(int c) const { return shape_.ai + c; }
    int DigitalInput(int n) const { return shape_.ai + shape_.ao + n; }
    int DigitalOutput(int n) const { return shape_.ai + shape_.ao + shape_.di + n; }
    int SlotTimeOutMs() const override { return ZelMZ320::kTimeOutMs; }

    void TakeSlot(char lead, std::string_view rest, const PortExchange& exchange) override {
        if (lead == '#') {
            const auto data = decode::ValueData(exchange);
            if (rest.empty()) {
                // One field per channel and nothing else: a shorter or longer reply
                // is no reading of these channels.
                const bool whole = data && data->size() == kInputField * static_cast<std::size_t>(shape_.ai);
                const auto fields = whole ? SplitZInputFields(std::string(*data), shape_.ai)
                                          : std::vector<std::string>();
                for (int c = 0; c < shape_.ai; ++c)
                    TakeInput(c, c < static_cast<int>(fields.size())
                                     ? std::optional<std::string_view>(fields[static_cast<std::size_t>(c)])
                                     : std::nullopt);
            } else if (const int c = ChannelCommand(rest, "", shape_.ai); c >= 0) {
                TakeInput(c, data);
            }
            return; // output writes: the next read shows them
        }
        if (lead != '$') return;
        const auto data = decode::AddressedData(exchange);
        if (rest == "6") {
            TakeDigital(data);
        } else if (const int c = ChannelCommand(rest, "AI", shape_.ai); c >= 0) {
            const auto type = data && data->size() == 4 ? HexValue(data->substr(0, 2)) : std::nullopt;
            if (!type) return; // a failed read leaves what was known
            inputTypes_[static_cast<std::size_t>(c)] = static_cast<int>(*type);
            const ZInputRange* range = FindZInputRange(static_cast<int>(*type));
            PointInfo& info = Info(c);
            info.unit = range ? PointUnit(range->unit) : "";
            info.min = range ? range->lo : kNoLimit;
            info.max = range ? range->hi : kNoLimit;
        } else if (const int o = ChannelCommand(rest, "AO", shape_.ao); o >= 0) {
            const auto type = data && data->size() == 4 ? HexValue(data->substr(0, 2)) : std::nullopt;
            if (!type) return;
            outputTypes_[static_cast<std::size_t>(o)] = static_cast<int>(*type);
            PointInfo& info = Info(Output(o));
            double low = 0, high = 20;
            const bool known = ZOutputLimits(static_cast<int>(*type), low, high);
            info.unit = ZOutputUnit(static_cast<int>(*type));
            info.min = known ? low : 0;
            info.max = known ? high : 20;
        } else if (const int v = ChannelCommand(rest, "6", shape_.ao); v >= 0) {
            const auto value = data && data->size() == kOutputField ? KPlainNumber(*data) : std::nullopt;
            if (value)
                SetGood(Output(v), *value);
            else
                SetBad(Output(v), PointQuality::Failed);
        }
    }

    void TakeInput(int c, std::optional<std::string_view> field) {
        const bool whole = field && field->size() == kInputField &&
                           ((*field)[0] == '+' || (*field)[0] == '-');
        const auto reading = whole ? ParseKReading(*field, false) : std::nullopt;
        if (!reading) {
            SetBad(c, PointQuality::Failed);
        } else if (reading->burnOut) {
            SetBad(c, PointQuality::BurnOut);
        } else {
            Info(c).decimals = reading->decimals;
            SetGood(c, reading->value);
        }
    }

    void TakeDigital(std::optional<std::string_view> data) {
        const bool whole = data && data->size() == 4 && IsHexText(*data);
        const unsigned outputs = whole ? HexValue(data->substr(0, 2)).value_or(0) : 0;
        const unsigned inputs = whole ? HexValue(data->substr(2, 2)).value_or(0) : 0;
        for (int n = 0; n < shape_.di; ++n)
            whole ? SetGood(DigitalInput(n), (inputs >> n) & 1) : SetBad(DigitalInput(n), PointQuality::Failed);
        for (int n = 0; n < shape_.dout; ++n)
            whole ? SetGood(DigitalOutput(n), (outputs >> n) & 1)
                  : SetBad(DigitalOutput(n), PointQuality::Failed);
    }

    bool FamilyConfigurationKnown() const override {
        for (const auto& t : inputTypes_)
            if (!t) return false;
        for (const auto& t : outputTypes_)
            if (!t) return false;
        return true;
    }

    void ReadFamilyConfiguration(TavoComPort& port) override {
        ZelMZ320 slot(&port, AddressText(), Selector());
        for (int c = 0; c < shape_.ai; ++c)
            slot.ReadAIType(c);
        for (int c = 0; c < shape_.ao; ++c)
            slot.ReadAOType(c);
    }

    void ReadSlotValues(TavoComPort& port) override {
        ZelMZ320 slot(&port, AddressText(), Selector());
        std::string reply, other;
        slot.TavoKAnalogInput::ReadAll(reply);
        for (int c = 0; c < shape_.ao; ++c)
            slot.ReadLastOutput(c, reply);
        slot.ReadDIO(reply, other);
    }

    bool WritePoint(TavoComPort& port, int index, double value, std::string& error) override {
        TimeOut slow(port, ZelMZ320::kTimeOutMs);
        if (!ReadyToWrite(port, error)) return false;
        const PointInfo& info = Points()[static_cast<std::size_t>(index)];
        ZelMZ320 slot(&port, AddressText(), Selector());
        bool sent = false;
        if (info.kind == PointKind::DigitalOutput) {
            sent = slot.WriteDO(index - DigitalOutput(0), value != 0.0);
        } else {
            const int c = index - Output(0);
            double low = 0, high = 0;
            if (!ZOutputLimits(*outputTypes_[static_cast<std::size_t>(c)], low, high)) {
                error = "the range of " + info.name + " is none the " + Model() +
                        " has: it is not written";
                return false;
            }
            if (!WithinLimits(info, value, error)) return false;
            sent = slot.WriteChannel(c, SlotOutputText(value));
        }
        if (sent) return true;
        error = WriteFailure(port, info.name);
        return false;
    }

    const ZSlotShape& shape_;
    std::vector<std::optional<int>> inputTypes_, outputTypes_;
};

} // namespace

std::unique_ptr<ModulePoints> MakeZSlotPoints(std::string model, const ModuleLocation& where) {
    const ZSlotShape* shape = FindZSlotShape(model);
    if (!shape) return nullptr;
    return std::make_unique<ZSlotPoints>(std::move(model), *shape, where);
}

} // namespace tavo
