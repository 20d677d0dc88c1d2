#include "digital_links.h"

#include "panels/common/modbus_panel.h"

#include "devices/hex_codes.h"
#include "devices/modbus_slave.h"
#include "devices/models_digital.h"

#include <stdexcept>

namespace tavo {
namespace {

enum class Texts { Dio, Di, Do };

const QString& PollingText(Texts t) {
    static const QString dio = "Polling DIO data...", di = "Polling DI data...",
                         dout = "Polling DO data...";
    return t == Texts::Di ? di : t == Texts::Do ? dout : dio;
}

const QString& FailedText(Texts t) {
    static const QString dio = "Fail to fresh DIO data!", di = "Fail to fresh DI data!",
                         dout = "Fail to fresh DO data!";
    return t == Texts::Di ? di : t == Texts::Do ? dout : dio;
}

// ---------------------------------------------------------------- ASCII

// The status texts of a model's panel; its channels and their layout come from
// the model's row of the digital I/O table.
struct TextRow {
    std::string_view model;
    Texts texts;
};

constexpr TextRow kAsciiTexts[] = {
    {"R540", Texts::Di},
    {"R520", Texts::Di},
};

class AsciiDigitalLink : public DigitalIoLink {
public:
    AsciiDigitalLink(const DigitalIoModel& row, Texts texts, TavoRDigitalInput& reader,
                     TavoMR550& mr550, TavoMR560& mr560)
        : row_(row), texts_(texts), reader_(reader), mr550_(mr550), mr560_(mr560) {}

    bool Configurable() const override { return true; }
    int PollIntervalMs() const override { return 500; }
    const QString& PollingText() const override { return tavo::PollingText(texts_); }
    const QString& PollFailedText() const override { return FailedText(texts_); }

    bool Poll(int, bool withFaults, DioReading& out) override {
        if (unsigned groups = 0; withFaults && ReadFaults(groups)) out.faults = groups;
        out.asked = DioGroups(row_.layout);
        std::string data;
        return reader_.ReadDIO(data) && DecodeDioState(row_.layout, data, out);
    }

    bool WriteOutput(int channel, bool on) override {
        return row_.longWrite ? mr560_.WriteDO(channel, on ? 1 : 0)
                              : mr550_.WriteDO(channel, on ? 1 : 0);
    }

    bool ReadFirmware(std::string& out) override { return mr550_.ReadFirmwareVersion(out); }

    bool ReadInvert(unsigned& mask) override {
        std::string text;
        if (!mr550_.ReadV(text) || text.size() != 4) return false;
        const auto value = HexValue(text);
        if (!value) return false;
        mask = *value;
        return true;
    }

    bool WriteInvert(unsigned mask) override { return mr550_.SetV(mask); }

    bool ClearFaults() override { return mr560_.ClearError(); }

private:
    bool ReadFaults(unsigned& groups) {
        std::string text;
        const auto value = mr560_.ReadError(text) ? HexValue(text) : std::nullopt;
        if (!value) return false;
        groups = *value;
        return true;
    }

    const DigitalIoModel& row_;
    Texts texts_;
    TavoRDigitalInput& reader_;
    TavoMR550& mr550_;
    TavoMR560& mr560_;
};

// ---------------------------------------------------------------- Modbus

constexpr TextRow kModbusTexts[] = {
    {"R520", Texts::Di},
    {"R620", Texts::Do},
    {"R630", Texts::Do},
};

// The R560SO's three over-current groups, one coil each from kFirstFaultCoil.
constexpr int kFaultCoils = 3;

// The bytes of a group, high byte first, as "%02X" each.
std::string GroupDigits(std::uint32_t bits, int count) {
    std::string digits;
    for (int byte = (count + 7) / 8 - 1; byte >= 0; --byte)
        digits += HexDigits((bits >> (8 * byte)) & 0xFF, 2);
    return digits;
}

class ModbusDigitalLink : public DigitalIoLink {
public:
    ModbusDigitalLink(const DigitalIoModel& row, Texts texts, TavoMR550& mr550,
                      const std::string& address)
        : row_(row), texts_(texts), slave_(mr550.GetModbus(), ModbusSlaveId(address)),
          intervalMs_(ModbusPollIntervalMs(mr550.GetPort())) {}

    bool Configurable() const override { return false; }
    int PollIntervalMs() const override { return intervalMs_; }
    const QString& PollingText() const override { return tavo::PollingText(texts_); }
    const QString& PollFailedText() const override { return FailedText(texts_); }
    bool ReadsInTurns() const override {
        return row_.modbusInputCoils > 0 && row_.modbusOutputCoils > 0;
    }
    bool RereadsInvertAfterUpdate() const override { return true; }

    bool Poll(int tick, bool withFaults, DioReading& out) override {
        const bool outputs =
            row_.modbusOutputCoils > 0 && (row_.modbusInputCoils == 0 || tick == 1);
        out.asked = outputs ? DioReading::kOutputs : DioReading::kInputs;
        const int first = outputs ? kFirstOutputCoil : kFirstInputCoil;
        const int count = outputs ? row_.modbusOutputCoils : row_.modbusInputCoils;
        withFaults = withFaults && row_.overCurrent;
        // The error coils and the outputs in one request when nothing lies between.
        const bool together = withFaults && outputs && first + count == kFirstFaultCoil;
        if (withFaults && !together) {
            std::uint32_t groups = 0;
            if (slave_.ReadCoils(kFirstFaultCoil, kFaultCoils, groups)) out.faults = groups;
        }
        std::uint32_t bits = 0;
        if (count == 0 ||
            !slave_.ReadCoils(first, together ? count + kFaultCoils : count, bits))
            return false;
        if (together) {
            out.faults = bits >> count;
            bits &= (1u << count) - 1;
        }
        (outputs ? out.outputs : out.inputs) = bits;
        (outputs ? out.outputDigits : out.inputDigits) = GroupDigits(bits, count);
        return true;
    }

    bool WriteOutput(int channel, bool on) override {
        return channel >= 0 && channel < row_.modbusOutputCoils &&
               slave_.WriteCoil(kFirstOutputCoil + channel, on);
    }

    bool ReadFirmware(std::string& out) override { return slave_.ReadFirmware(out); }

    bool ReadInvert(unsigned& mask) override {
        std::vector<std::uint16_t> words;
        if (!slave_.ReadRegisters(kInvertRegister, 1, words)) return false;
        mask = words[0];
        return true;
    }

    bool WriteInvert(unsigned mask) override {
        return slave_.WriteRegister(kInvertRegister, static_cast<std::uint16_t>(mask));
    }

    // Writing 0 to an error coil clears that group.
    bool ClearFaults() override { return slave_.WriteCoils(kFirstFaultCoil, kFaultCoils, 0); }

private:
    const DigitalIoModel& row_;
    Texts texts_;
    ModbusSlave slave_;
    int intervalMs_;
};

template <std::size_t N> Texts TextsOf(const TextRow (&rows)[N], std::string_view model) {
    for (const TextRow& row : rows)
        if (row.model == model) return row.texts;
    return Texts::Dio;
}

// The panels are made for the models of the table only.
const DigitalIoModel& ModelRow(std::string_view model) {
    const DigitalIoModel* row = FindDigitalIoModel(model);
    if (!row) throw std::logic_error("no digital I/O model " + std::string(model));
    return *row;
}

} // namespace

std::unique_ptr<DigitalIoLink> MakeAsciiDigitalLink(std::string_view model,
                                                    TavoRDigitalInput& reader, TavoMR550& mr550,
                                                    TavoMR560& mr560) {
    return std::make_unique<AsciiDigitalLink>(ModelRow(model), TextsOf(kAsciiTexts, model), reader,
                                              mr550, mr560);
}

std::unique_ptr<DigitalIoLink> MakeModbusDigitalLink(std::string_view model, TavoMR550& mr550,
                                                     const std::string& address) {
    return std::make_unique<ModbusDigitalLink>(ModelRow(model), TextsOf(kModbusTexts, model),
                                               mr550, address);
}

} // namespace tavo
