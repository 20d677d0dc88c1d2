// The Modbus variants of the analog inputs as points.
//
// The module's map is kept as an image by register and coil number, whatever
// block a request read it in (the panel reads register by register or in blocks;
// ReadAll reads each contiguous block once): raw values in holding registers 1 ...,
// range codes in 201 ..., the firmware in 213, the enable mask in 221, burn-out flags
// in coils 201 .... Every reply renews the readings of the channels whose numbers it
// carried; a failed request makes what it asked for unknown, so that no later reply
// can give an old value out as new. A channel reads failed until its value, the mask,
// its burn-out flag and (where they scale it) its range and the firmware are known.
//
// A channel reads: disabled when the mask switches it off; burn-out when its coil
// says so, or when its register stands at 65535 on a temperature range (an open
// sensor runs to the top); over-range at 65535 on the other ranges, the end of what
// the register carries; otherwise the register scaled by the channel's range as the
// panel scales it, or the raw register without unit where the panel shows it raw (the
// RTD and thermistor modules, and a range the scaling table does not list). The
// bottom of the register is the range's minimum, a value a healthy sensor gives (4 mA,
// 0 V), so it stays a reading.
#include "analog_fields.h"
#include "analog_input_points.h"
#include "exchange_parts.h"

#include "devices/modbus_slave.h"
#include "transport/modbus.h"

#include <array>
#include <cmath>

namespace tavo::analog_points {
using namespace decode;
namespace {

constexpr std::uint16_t kRegisterTop = 65535;

bool IsTemperature(const RangeItem* item) {
    if (!item) return false;
    const std::string_view unit = item->unit;
    return unit == "'C" || unit == "'F";
}

class ModbusInputPoints final : public ModulePoints {
public:
    ModbusInputPoints(const ModbusInputModel& model, const ModuleLocation& where)
        : ModulePoints(std::string(model.designation), where, Channels(model)), model_(model) {}

private:
    static std::vector<PointInfo> Channels(const ModbusInputModel& model) {
        std::vector<PointInfo> points;
        for (int n = 0; n < model.channels; ++n) {
            PointInfo info = NamedPoint(PointName("ai", n), PointKind::AnalogInput);
            if (model.scaling == RawScaling::None) {
                info.min = 0;
                info.max = kRegisterTop;
                info.decimals = 0;
            }
            points.push_back(info);
        }
        return points;
    }

    bool Take(const PortExchange& exchange) override {
        const auto request = SplitModbusRequest(exchange);
        if (!request || request->slave != Location().address) return false;
        unsigned renewed = 0; // bit n: channel n's reading is renewed
        switch (request->function) {
        case 0x03:
            renewed = TakeRegisters(*request, ModbusReadData(exchange, *request));
            break;
        case 0x01:
            renewed = TakeCoils(*request, ModbusReadData(exchange, *request));
            break;
        case 0x06:
            // The echo of a single write repeats the value written.
            if (exchange.ok)
                renewed = SetRegister(request->first, static_cast<std::uint16_t>(request->count));
            break;
        case 0x10:
            if (exchange.ok && request->data.size() == 2 * static_cast<std::size_t>(request->count))
                for (int i = 0; i < request->count; ++i)
                    renewed |= SetRegister(request->first + i, DataWord(request->data, i));
            break;
        default:
            break;
        }
        for (int n = 0; n < model_.channels; ++n)
            if ((renewed >> n) & 1u) Evaluate(n);
        return true;
    }

    // What a register means; -1 for none of the map's.
    int ValueChannel(int reg) const { return Within(reg - kFirstValueRegister); }
    int RangeChannel(int reg) const { return Within(reg - kFirstRangeRegister); }
    int Within(int n) const { return n >= 0 && n < model_.channels ? n : -1; }
    unsigned AllChannels() const { return (1u << model_.channels) - 1u; }

    // A register read or written: the channels whose reading it changes.
    unsigned SetRegister(int reg, std::optional<std::uint16_t> word) {
        if (const int n = ValueChannel(reg); n >= 0) {
            raw_[static_cast<std::size_t>(n)] = word;
            return 1u << n;
        }
        if (const int n = RangeChannel(reg); n >= 0) {
            range_[static_cast<std::size_t>(n)] = word;
            Rescale(n);
            return 1u << n;
        }
        if (reg == kEnableMaskRegister) {
            mask_ = word;
            return AllChannels();
        }
        if (reg == ModbusSlave::kFirmwareRegister && model_.firmwareScaling) {
            firmware_ = word;
            for (int n = 0; n < model_.channels; ++n)
                Rescale(n);
            return AllChannels();
        }
        return 0;
    }

    // Every register of the map the request asked for, in whatever block.
    unsigned TakeRegisters(const ModbusRequest& request, std::optional<std::string_view> data) {
        unsigned renewed = 0;
        const auto take = [&](int reg) {
            const int i = reg - request.first;
            if (i < 0 || i >= request.count) return;
            renewed |= SetRegister(reg, data ? std::optional(DataWord(*data, i)) : std::nullopt);
        };
        for (int n = 0; n < model_.channels; ++n) {
            take(kFirstValueRegister + n);
            take(kFirstRangeRegister + n);
        }
        take(ModbusSlave::kFirmwareRegister);
        take(kEnableMaskRegister);
        return renewed;
    }

    unsigned TakeCoils(const ModbusRequest& request, std::optional<std::string_view> data) {
        unsigned renewed = 0;
        for (int n = 0; n < model_.channels; ++n) {
            const int i = kFirstBurnOutCoil + n - request.first;
            if (i < 0 || i >= request.count) continue;
            burnt_[static_cast<std::size_t>(n)] =
                data ? std::optional(DataBit(*data, i)) : std::nullopt;
            renewed |= 1u << n;
        }
        return renewed;
    }

    // The scaling row of channel n; nullopt while its range (and where it matters, the
    // firmware) is unknown, and for a range the table does not scale.
    std::optional<RawScale> Scale(int n) const {
        const auto& code = range_[static_cast<std::size_t>(n)];
        if (!code || (model_.firmwareScaling && !firmware_)) return std::nullopt;
        const std::string firmware = firmware_ ? FirmwareWordText(*firmware_) : std::string();
        return FindRawScale(model_.scaling, *code & 0xFF, NewThermocoupleSpan(firmware));
    }

    const RangeItem* Item(int n) const {
        const auto& code = range_[static_cast<std::size_t>(n)];
        return code ? FindRangeItem(model_.ranges, *code & 0xFF) : nullptr;
    }

    // Unit and limits of channel n: the range's, or the raw register's.
    void Rescale(int n) {
        if (model_.scaling == RawScaling::None) return;
        PointInfo& info = Info(n);
        const RangeItem* item = Item(n);
        if (const auto scale = Scale(n)) {
            info.unit = item ? UnitAsWritten(item->unit) : "";
            info.min = scale->min;
            info.max = scale->max;
            info.decimals = scale->decimals;
        } else {
            info.unit.clear();
            info.min = 0;
            info.max = kRegisterTop;
            info.decimals = 0;
        }
    }

    bool ChannelKnown(int n) const {
        const auto i = static_cast<std::size_t>(n);
        return mask_ && raw_[i] && burnt_[i] &&
               (model_.scaling == RawScaling::None ||
                (range_[i] && (!model_.firmwareScaling || firmware_)));
    }

    void Evaluate(int n) {
        const auto i = static_cast<std::size_t>(n);
        if (!ChannelKnown(n)) {
            SetBad(n, PointQuality::Failed);
            return;
        }
        if (!((*mask_ >> n) & 1u)) {
            SetBad(n, PointQuality::Disabled);
            return;
        }
        const std::uint16_t raw = *raw_[i];
        // The modules with the raw display measure temperatures only.
        const bool temperature = model_.scaling == RawScaling::None || IsTemperature(Item(n));
        if (*burnt_[i] || (raw == kRegisterTop && temperature)) {
            SetBad(n, PointQuality::BurnOut);
            return;
        }
        if (raw == kRegisterTop) {
            SetBad(n, PointQuality::OverRange);
            return;
        }
        const auto scale = Scale(n);
        SetGood(n, scale ? ScaledRaw(*scale, raw) : raw);
    }

    bool ConfigurationKnown() const override {
        if (model_.scaling == RawScaling::None) return true;
        for (int n = 0; n < model_.channels; ++n)
            if (!range_[static_cast<std::size_t>(n)]) return false;
        return !model_.firmwareScaling || firmware_;
    }

    // The ranges in one request (and the firmware where it decides a span).
    void ReadConfiguration(TavoComPort& port) override {
        TavoModbusCOM modbus(&port);
        ModbusSlave slave(&modbus, Location().address);
        std::vector<std::uint16_t> words;
        if (!slave.ReadRegisters(kFirstRangeRegister, model_.channels, words)) return;
        if (model_.firmwareScaling) slave.ReadRegisters(ModbusSlave::kFirmwareRegister, 1, words);
    }

    // What the panel's poll reads over two ticks, each block once: the values, the
    // mask and the burn-out flags.
    void ReadValues(TavoComPort& port) override {
        TavoModbusCOM modbus(&port);
        ModbusSlave slave(&modbus, Location().address);
        std::vector<std::uint16_t> words;
        std::uint32_t bits = 0;
        if (!slave.ReadRegisters(kFirstValueRegister, model_.channels, words) ||
            !slave.ReadRegisters(kEnableMaskRegister, 1, words))
            return;
        slave.ReadCoils(kFirstBurnOutCoil, model_.channels, bits);
    }

    bool WritePoint(TavoComPort&, int index, double, std::string& error) override {
        error =
            Points()[static_cast<std::size_t>(index)].name + " is an input and cannot be written";
        return false;
    }

    const ModbusInputModel& model_;
    std::array<std::optional<std::uint16_t>, 8> raw_{}, range_{};
    std::array<std::optional<bool>, 8> burnt_{};
    std::optional<std::uint16_t> mask_, firmware_;
};

} // namespace

std::unique_ptr<ModulePoints> MakeModbusInputPoints(const ModbusInputModel& model,
                                                    const ModuleLocation& where) {
    return std::make_unique<ModbusInputPoints>(model, where);
}

} // namespace tavo::analog_points
