// The two-channel counter/frequency modules R710 and R710D: cnt0, cnt1, freq0,
// freq1, do0, do1. The configuration's type code is the mode of both channels
// ("50" counts, "51" measures frequency); in counter mode cnt<n> is the count and
// freq<n> disabled, in frequency mode freq<n> is the reading in Hz and cnt<n>
// disabled. The two outputs are read with "@AADI" in counter mode, as the panel
// does; in frequency mode the panel neither shows nor drives them, and they read
// disabled.
//
// Quality: a count the module reports is good, also after its overflow flag was set
// (the counter then starts again at its initial value by design: the maximum count
// is a setting, and the flag is a status the panel shows beside the count).
#include "digital_io_points.h"

#include "devices/hex_codes.h"
#include "devices/models_digital.h"

namespace tavo {
namespace {

enum Index { kCnt0 = 0, kFreq0 = 2, kDo0 = 4 };

std::vector<PointInfo> CounterPointList() {
    std::vector<PointInfo> points;
    for (int n = 0; n < 2; ++n)
        points.push_back(CountPoint("cnt" + std::to_string(n)));
    // Whole hertz in eight hexadecimal digits.
    for (int n = 0; n < 2; ++n)
        points.push_back(FrequencyPoint("freq" + std::to_string(n), 4294967295.0, 0));
    for (int n = 0; n < 2; ++n)
        points.push_back(DigitalPoint("do" + std::to_string(n), PointKind::DigitalOutput));
    return points;
}

class CounterPoints : public ModulePoints {
public:
    CounterPoints(std::string_view model, const ModuleLocation& where)
        : ModulePoints(std::string(model), where, CounterPointList()), display_(model == "R710D") {}

protected:
    bool Take(const PortExchange& exchange) override {
        const auto request = ParseAsciiRequest(exchange);
        if (!request || request->address != Location().address) return false;
        const std::string_view body = request->body;
        if (request->lead == '$' && body == "2") {
            std::string type;
            const bool read = exchange.ok && !exchange.reply.empty() && exchange.reply[0] == '!' &&
                              ReplyField(exchange.reply, 3, 4, type) && IsHexField(type, 2);
            LearnMode(read ? std::optional(CounterMeasuresFrequency(type)) : std::nullopt);
        } else if (request->lead == '%' && body.size() == 8 && IsHexText(body) &&
                   HexValue(body.substr(0, 2)) == static_cast<unsigned>(Location().address)) {
            // A configuration written at the same address: its type code is the mode.
            if (exchange.ok) LearnMode(CounterMeasuresFrequency(body.substr(2, 2)));
        } else if (request->lead == '#' && (body == "0" || body == "1")) {
            const auto data = exchange.ok ? ReplyDataAfter(exchange.reply, '>', 1) : std::nullopt;
            TakeReading(body[0] - '0', data ? CountFromDigits(*data) : std::nullopt);
        } else if (request->lead == '@' && body == "DI") {
            TakeAlarmState(exchange);
        }
        return true;
    }

    bool ConfigurationKnown() const override { return frequency_.has_value(); }

    void ReadConfiguration(TavoComPort& port) override {
        TavoMR710 device(&port, AddressText());
        device.ReadConfig();
    }

    void ReadValues(TavoComPort& port) override {
        TavoMR710 device(&port, AddressText());
        std::string value, status, outputs;
        device.ReadCount(0, value);
        device.ReadCount(1, value);
        if (frequency_ == false) device.ReadAlarmState(status, outputs);
    }

    bool WritePoint(TavoComPort& port, int index, double value, std::string& error) override {
        const int n = index - kDo0;
        const std::string& name = Points()[static_cast<std::size_t>(index)].name;
        if (n < 0 || n > 1) {
            error = name + " of the " + Model() + " cannot be written";
            return false;
        }
        if (!frequency_) ReadConfiguration(port);
        if (!frequency_) {
            error = Model() + " at " + LocationText(Location()) +
                    " did not answer the configuration read: nothing was written";
            return false;
        }
        if (*frequency_) {
            error = name + " of the " + Model() +
                    " is not in use while the module measures frequency (set it to counting first)";
            return false;
        }
        // The other output keeps the state the module reports now: one "@AADO" sets both.
        TavoMR710 device(&port, AddressText());
        std::string statusText, outputsText;
        const auto state = device.ReadAlarmState(statusText, outputsText)
                               ? ParseCounterAlarmState(statusText, outputsText)
                               : std::nullopt;
        if (!state) {
            error = Model() + " at " + LocationText(Location()) +
                    " did not answer the output state read: nothing was written";
            return false;
        }
        if (OutputFollowsAlarm(display_, state->status, n)) {
            error = name + " of the " + Model() + " follows its " +
                    (display_ ? "alarm while the alarm is on (disable the alarm to drive it)"
                              : "preset alarm while counter " + std::to_string(n) +
                                    " is in preset mode (switch preset mode off to drive it)");
            return false;
        }
        const unsigned bit = 1u << n;
        const unsigned outputs = value != 0.0 ? state->outputs | bit : state->outputs & ~bit;
        if (device.SetAlarmOutput(outputs)) return true;
        error = WriteFailure(*this, name, value, port.LastError(), 0, {});
        return false;
    }

private:
    void LearnMode(std::optional<bool> frequency) {
        const bool changed = frequency != frequency_;
        frequency_ = frequency;
        for (int n = 0; n < 2; ++n) {
            if (!frequency) {
                for (const int index : {kCnt0 + n, kFreq0 + n, kDo0 + n})
                    SetBad(index, PointQuality::Failed);
                continue;
            }
            // The points of the other mode are disabled; those of this one have no
            // reading yet after a change.
            SetBad(*frequency ? kCnt0 + n : kFreq0 + n, PointQuality::Disabled);
            if (*frequency) SetBad(kDo0 + n, PointQuality::Disabled);
            if (changed) {
                SetBad(*frequency ? kFreq0 + n : kCnt0 + n, PointQuality::Failed);
                if (!*frequency) SetBad(kDo0 + n, PointQuality::Failed);
            }
        }
    }

    void TakeReading(int n, std::optional<std::uint32_t> value) {
        if (!frequency_) {
            // Without the mode nobody can tell a count from a frequency.
            SetBad(kCnt0 + n, PointQuality::Failed);
            SetBad(kFreq0 + n, PointQuality::Failed);
            return;
        }
        const int index = *frequency_ ? kFreq0 + n : kCnt0 + n;
        if (value)
            SetGood(index, *value);
        else
            SetBad(index, PointQuality::Failed);
        SetBad(*frequency_ ? kCnt0 + n : kFreq0 + n, PointQuality::Disabled);
        if (*frequency_) SetBad(kDo0 + n, PointQuality::Disabled);
    }

    void TakeAlarmState(const PortExchange& exchange) {
        if (frequency_ != false) return;
        std::string status, outputs;
        const bool cut = exchange.ok && ReplyField(exchange.reply, 3, 3, status) &&
                         ReplyField(exchange.reply, 4, 5, outputs) && exchange.reply.size() == 7 &&
                         exchange.reply[0] == '!';
        const auto state = cut ? ParseCounterAlarmState(status, outputs) : std::nullopt;
        for (int n = 0; n < 2; ++n) {
            if (state)
                SetGood(kDo0 + n, (state->outputs >> n) & 1);
            else
                SetBad(kDo0 + n, PointQuality::Failed);
        }
    }

    bool display_;
    std::optional<bool> frequency_;
};

} // namespace

std::unique_ptr<ModulePoints> MakeCounterPoints(std::string_view model,
                                                const ModuleLocation& where) {
    return std::make_unique<CounterPoints>(model, where);
}

} // namespace tavo
