// The universal modules R850 (inputs DI0..DI6, outputs DO0..DO7) and R860 (outputs
// DO0..DO7). Their inputs and outputs are separate channels, so each input is listed
// once as di<c>, cnt<c> and freq<c> and each output once as do<c>, in that fixed
// order; the input's mode (its configuration, "$AACICc" / holding register 301 + c)
// says which of the three it is:
//   di<c>    the state the module reports for the input in every mode: its level,
//            or the latch in the two latch modes (what the panel's lamp shows)
//   cnt<c>   the count in counter mode, disabled in the other modes
//   freq<c>  the frequency in Hz in frequency mode (the module gives 0.1 Hz),
//            disabled in the other modes
//   do<c>    the level the output terminal carries, in every output mode
// A count or frequency is read only while the mode is known; until then, and when
// the mode read fails, it is failed.
#include "digital_io_points.h"

#include "devices/hex_codes.h"
#include "devices/modbus_slave.h"
#include "devices/models_digital.h"
#include "transport/modbus.h"

#include <array>

namespace tavo {
namespace {

std::vector<PointInfo> ValuePoints(const DigitalIoModel& row) {
    std::vector<PointInfo> points;
    for (int c = 0; c < row.inputs; ++c)
        points.push_back(CountPoint("cnt" + std::to_string(c)));
    // Eight hexadecimal digits of 0.1 Hz.
    for (int c = 0; c < row.inputs; ++c)
        points.push_back(FrequencyPoint("freq" + std::to_string(c), 429496729.5, 1));
    return points;
}

bool NeedsValue(const std::optional<InputFunction>& f) {
    return f == InputFunction::Counter || f == InputFunction::Frequency;
}

class UniversalPoints : public DigitalIoPoints {
public:
    UniversalPoints(const DigitalIoModel& row, const ModuleLocation& where)
        : DigitalIoPoints(row, where, ValuePoints(row)) {}

protected:
    bool ConfigurationKnown() const override {
        for (int c = 0; c < Row().inputs; ++c)
            if (!function_[static_cast<std::size_t>(c)]) return false;
        return true;
    }

    void ReadConfiguration(TavoComPort& port) override {
        if (Row().inputs == 0) return;
        if (Modbus()) {
            TavoModbusCOM modbus(&port);
            std::vector<std::uint16_t> words;
            ModbusSlave(&modbus, Location().address)
                .ReadRegisters(universal::kInputModes, Row().inputs, words);
            return;
        }
        TavoMR850 device(&port, AddressText());
        for (int c = 0; c < Row().inputs; ++c) {
            std::string mode;
            device.ReadInputMode(c, mode);
        }
    }

    void ReadValues(TavoComPort& port) override {
        DigitalIoPoints::ReadValues(port);
        int first = -1, last = -1;
        for (int c = 0; c < Row().inputs; ++c) {
            if (!NeedsValue(function_[static_cast<std::size_t>(c)])) continue;
            if (first < 0) first = c;
            last = c;
        }
        if (first < 0) return;
        if (Modbus()) {
            // One read from the first to the last channel that counts or measures.
            TavoModbusCOM modbus(&port);
            std::vector<std::uint16_t> words;
            ModbusSlave(&modbus, Location().address)
                .ReadRegisters(universal::kValues + 2 * first, 2 * (last - first + 1), words);
            return;
        }
        TavoMR850 device(&port, AddressText());
        for (int c = first; c <= last; ++c) {
            std::string value;
            if (NeedsValue(function_[static_cast<std::size_t>(c)])) device.ReadCounter(c, value);
        }
    }

    void TakeAscii(const AsciiRequest& request, const PortExchange& exchange) override {
        const std::string_view body = request.body;
        if (request.lead == '$' && body.substr(0, 3) == "CIC" &&
            (body.size() == 4 || body.size() == 6)) {
            const int c = InputChannel(body[3]);
            if (c < 0) return;
            if (body.size() == 6) {
                // A mode written: the module has it once it said '!'.
                if (exchange.ok && !exchange.reply.empty() && exchange.reply[0] == '!')
                    Learn(c, HexValue(body.substr(4, 2)));
                return;
            }
            const auto data = exchange.ok ? ReplyDataAfter(exchange.reply, '!', 3) : std::nullopt;
            Learn(c, data && data->size() == 2 ? HexValue(*data) : std::nullopt);
        } else if (request.lead == '#' && body.size() == 1) {
            const int c = InputChannel(body[0]);
            if (c < 0) return;
            const auto data = exchange.ok ? ReplyDataAfter(exchange.reply, '>', 1) : std::nullopt;
            TakeValue(c, data ? CountFromDigits(*data) : std::nullopt);
        }
    }

    // Registers are decoded by number, whatever block they came in; a channel value
    // only from a reply that holds both its words.
    void TakeModbus(const ModbusRequest& request, const PortExchange& exchange) override {
        const int end = request.first + request.count; // one past the last number
        if (request.function == 0x03) {
            const auto data = ModbusReadData(exchange, request);
            const auto word = [&](int reg) {
                const auto i = static_cast<std::size_t>(2 * (reg - request.first));
                return static_cast<unsigned>((*data)[i] << 8 | (*data)[i + 1]);
            };
            for (int c = 0; c < Row().inputs; ++c) {
                const int mode = universal::kInputModes + c;
                if (mode >= request.first && mode < end)
                    Learn(c, data ? std::optional<unsigned>(word(mode) & 0xFF) : std::nullopt);
                const int high = universal::kValues + 2 * c;
                if (high >= request.first && high + 1 < end)
                    TakeValue(c,
                              data ? std::optional<std::uint32_t>(word(high) << 16 | word(high + 1))
                                   : std::nullopt);
            }
        } else if (exchange.ok && (request.function == 0x06 || request.function == 0x10)) {
            const auto written = request.function == 0x06
                                     ? std::optional(std::vector<std::uint16_t>{request.value})
                                     : ModbusWrittenWords(exchange, request);
            if (!written) return;
            for (int c = 0; c < Row().inputs; ++c) {
                const int i = universal::kInputModes + c - request.first;
                if (i >= 0 && i < static_cast<int>(written->size()))
                    Learn(c, (*written)[static_cast<std::size_t>(i)] & 0xFFu);
            }
        }
    }

    void StateTaken() override {
        for (int c = 0; c < Row().inputs; ++c)
            ShowFunction(c, false);
    }

    std::string RefusalReason(TavoComPort& port, int channel) override {
        unsigned mode = 0;
        if (Modbus()) {
            TavoModbusCOM modbus(&port);
            std::vector<std::uint16_t> words;
            if (!ModbusSlave(&modbus, Location().address)
                     .ReadRegisters(universal::kOutputModes + channel, 1, words))
                return {};
            mode = words[0] & 0xFF;
        } else {
            std::string text;
            const auto value = TavoMR850(&port, AddressText()).ReadOutputMode(channel, text)
                                   ? HexValue(text)
                                   : std::nullopt;
            if (!value) return {};
            mode = *value;
        }
        if ((mode & 0x0F) != 1) return {};
        return "do" + std::to_string(channel) +
               " is in pulse output mode, which takes no level (set it to D/O first)";
    }

private:
    int InputChannel(char digit) const {
        const int c = digit >= '0' && digit <= '9' ? digit - '0' : -1;
        return c < Row().inputs ? c : -1;
    }
    int CountIndex(int c) const { return Row().inputs + Row().outputs + c; }
    int FrequencyIndex(int c) const { return Row().inputs + Row().outputs + Row().inputs + c; }

    // A mode byte read or written; nullopt for a read that failed or a mode the
    // modules do not have.
    void Learn(int c, std::optional<unsigned> modeByte) {
        auto& known = function_[static_cast<std::size_t>(c)];
        const std::optional<InputFunction> function =
            modeByte ? InputFunctionOf(*modeByte) : std::nullopt;
        const bool changed = function != known;
        known = function;
        ShowFunction(c, changed);
    }

    // Sets the point the mode does not use to disabled; the one it uses loses a
    // reading of another mode.
    void ShowFunction(int c, bool changed) {
        const auto function = function_[static_cast<std::size_t>(c)];
        if (!function) {
            SetBad(CountIndex(c), PointQuality::Failed);
            SetBad(FrequencyIndex(c), PointQuality::Failed);
            return;
        }
        for (const auto& [index, own] : {std::pair{CountIndex(c), InputFunction::Counter},
                                         std::pair{FrequencyIndex(c), InputFunction::Frequency}}) {
            if (*function != own)
                SetBad(index, PointQuality::Disabled);
            else if (changed)
                SetBad(index, PointQuality::Failed);
        }
    }

    // A channel value ("#AAc", registers 321 + 2c): a count, a frequency in 0.1 Hz,
    // or in the other modes the level or latch that di<c> already has.
    void TakeValue(int c, std::optional<std::uint32_t> value) {
        const auto function = function_[static_cast<std::size_t>(c)];
        int index = -1;
        if (function == InputFunction::Counter) index = CountIndex(c);
        if (function == InputFunction::Frequency) index = FrequencyIndex(c);
        if (index < 0) return;
        if (!value)
            SetBad(index, PointQuality::Failed);
        else
            SetGood(index, function == InputFunction::Counter ? *value : *value / 10.0);
    }

    std::array<std::optional<InputFunction>, 8> function_{};
};

} // namespace

std::unique_ptr<ModulePoints> MakeUniversalPoints(const DigitalIoModel& row,
                                                  const ModuleLocation& where) {
    return std::make_unique<UniversalPoints>(row, where);
}

} // namespace tavo
