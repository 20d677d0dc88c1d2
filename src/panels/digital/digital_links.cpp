#include "digital_links.h"

#include "panels/common/modbus_panel.h"

#include "devices/hex_codes.h"
#include "devices/modbus_slave.h"
#include "devices/models_digital.h"

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

// Where "$AA6" puts the groups (two hexadecimal digits a byte).
enum class Layout {
    OutputsInputs, // OOII
    InputsOnly,    // II..
    Inputs16,      // HHLL: inputs 15..8, 7..0
    Outputs12,     // HHLL: outputs 11..8, 7..0
};

struct AsciiRow {
    std::string_view model;
    Layout layout;
    Texts texts;
    bool longWrite; // #AA1c000d
};

constexpr AsciiRow kAsciiRows[] = {
    {"R530", Layout::InputsOnly, Texts::Dio, false},
    {"R540", Layout::Inputs16, Texts::Di, false},
    {"R520", Layout::Inputs16, Texts::Di, false},
    {"R560S", Layout::Outputs12, Texts::Dio, true},
    {"R560SO", Layout::Outputs12, Texts::Dio, true},
};
// R510, R550, R610, R620, R630, R850, R860.
constexpr AsciiRow kAsciiDefault = {"", Layout::OutputsInputs, Texts::Dio, false};

class AsciiDigitalLink : public DigitalIoLink {
public:
    AsciiDigitalLink(const AsciiRow& row, TavoRDigitalInput& reader, TavoMR550& mr550,
                     TavoMR560& mr560)
        : row_(row), reader_(reader), mr550_(mr550), mr560_(mr560) {}

    bool Configurable() const override { return true; }
    int PollIntervalMs() const override { return 500; }
    const QString& PollingText() const override { return tavo::PollingText(row_.texts); }
    const QString& PollFailedText() const override { return FailedText(row_.texts); }

    bool Poll(int, bool withFaults, DioReading& out) override {
        if (unsigned groups = 0; withFaults && ReadFaults(groups)) out.faults = groups;
        out.asked = row_.layout == Layout::OutputsInputs ? DioReading::kOutputs | DioReading::kInputs
                    : row_.layout == Layout::Outputs12   ? DioReading::kOutputs
                                                         : DioReading::kInputs;
        std::string data;
        const std::size_t digits = row_.layout == Layout::InputsOnly ? 2 : 4;
        if (!reader_.ReadDIO(data) || data.size() < digits || !IsHexText(data.substr(0, digits)))
            return false;
        switch (row_.layout) {
        case Layout::OutputsInputs:
            out.outputDigits = data.substr(0, 2);
            out.inputDigits = data.substr(2, 2);
            out.outputs = HexValue(out.outputDigits);
            out.inputs = HexValue(out.inputDigits);
            break;
        case Layout::InputsOnly:
        case Layout::Inputs16:
            out.inputDigits = data.substr(0, digits);
            out.inputs = HexValue(out.inputDigits);
            break;
        case Layout::Outputs12:
            out.outputDigits = data.substr(0, 4);
            out.outputs = *HexValue(data.substr(2, 2)) | (*HexValue(data.substr(0, 2)) & 0x0F) << 8;
            break;
        }
        return true;
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

    const AsciiRow& row_;
    TavoRDigitalInput& reader_;
    TavoMR550& mr550_;
    TavoMR560& mr560_;
};

// ---------------------------------------------------------------- Modbus

struct ModbusRow {
    std::string_view model;
    int inputCoils;
    int outputCoils;
    int faultCoils; // the over-current groups from coil 00029
    Texts texts;
};

constexpr ModbusRow kModbusRows[] = {
    {"R520", 16, 0, 0, Texts::Di},
    {"R620", 0, 8, 0, Texts::Do},
    {"R630", 0, 8, 0, Texts::Do},
    // Outputs only: every tick reads them, as on the R620.
    {"R860", 0, 8, 0, Texts::Dio},
    {"R560S", 0, 12, 0, Texts::Dio},
    // The error coils follow the twelve outputs (00017..00028): one read for both.
    {"R560SO", 0, 12, 3, Texts::Dio},
};
// R550, R850.
constexpr ModbusRow kModbusDefault = {"", 8, 8, 0, Texts::Dio};

// The bytes of a group, high byte first, as "%02X" each.
std::string GroupDigits(std::uint32_t bits, int count) {
    std::string digits;
    for (int byte = (count + 7) / 8 - 1; byte >= 0; --byte)
        digits += HexDigits((bits >> (8 * byte)) & 0xFF, 2);
    return digits;
}

class ModbusDigitalLink : public DigitalIoLink {
public:
    ModbusDigitalLink(const ModbusRow& row, TavoMR550& mr550, const std::string& address)
        : row_(row), slave_(mr550.GetModbus(), ModbusSlaveId(address)),
          intervalMs_(ModbusPollIntervalMs(mr550.GetPort())) {}

    bool Configurable() const override { return false; }
    int PollIntervalMs() const override { return intervalMs_; }
    const QString& PollingText() const override { return tavo::PollingText(row_.texts); }
    const QString& PollFailedText() const override { return FailedText(row_.texts); }
    bool ReadsInTurns() const override { return row_.inputCoils > 0 && row_.outputCoils > 0; }
    bool RereadsInvertAfterUpdate() const override { return true; }

    bool Poll(int tick, bool withFaults, DioReading& out) override {
        const bool outputs = row_.outputCoils > 0 && (row_.inputCoils == 0 || tick == 1);
        out.asked = outputs ? DioReading::kOutputs : DioReading::kInputs;
        const int first = outputs ? kFirstOutputCoil : kFirstInputCoil;
        const int count = outputs ? row_.outputCoils : row_.inputCoils;
        withFaults = withFaults && row_.faultCoils > 0;
        // The error coils and the outputs in one request when nothing lies between.
        const bool together = withFaults && outputs && first + count == kFirstFaultCoil;
        if (withFaults && !together) {
            std::uint32_t groups = 0;
            if (slave_.ReadCoils(kFirstFaultCoil, row_.faultCoils, groups)) out.faults = groups;
        }
        std::uint32_t bits = 0;
        if (count == 0 ||
            !slave_.ReadCoils(first, together ? count + row_.faultCoils : count, bits))
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
        return channel >= 0 && channel < row_.outputCoils &&
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
    bool ClearFaults() override { return slave_.WriteCoils(kFirstFaultCoil, 3, 0); }

private:
    const ModbusRow& row_;
    ModbusSlave slave_;
    int intervalMs_;
};

template <class Row, std::size_t N>
const Row& FindRow(const Row (&rows)[N], const Row& fallback, std::string_view model) {
    for (const Row& row : rows)
        if (row.model == model) return row;
    return fallback;
}

} // namespace

std::unique_ptr<DigitalIoLink> MakeAsciiDigitalLink(std::string_view model,
                                                    TavoRDigitalInput& reader, TavoMR550& mr550,
                                                    TavoMR560& mr560) {
    return std::make_unique<AsciiDigitalLink>(FindRow(kAsciiRows, kAsciiDefault, model), reader,
                                              mr550, mr560);
}

std::unique_ptr<DigitalIoLink> MakeModbusDigitalLink(std::string_view model, TavoMR550& mr550,
                                                     const std::string& address) {
    return std::make_unique<ModbusDigitalLink>(FindRow(kModbusRows, kModbusDefault, model), mr550,
                                               address);
}

} // namespace tavo
