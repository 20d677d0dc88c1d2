// The rack's digital slots (K510 to K630) and its counter/frequency slot (K710) over
// ASCII: the commands their panels poll with, and what the replies mean.
#include "slot_points.h"
#include "exchange_parts.h"

#include "k_slot_data.h"

#include "devices/k_series.h"

#include <optional>

namespace tavo {
namespace {

// Digital slots. The state word ($AASi6) carries channel n at bit n + firstBit (the
// relay slots report their relays in the high byte). A K510 channel is an input
// when its DIP switch bit ($AASi7) is set; the other members' channels are what
// their panel's captions say. Outputs that an analog slot's alarm drives ($AASiM)
// read as any other, but cannot be switched.
class KDigitalPoints final : public AsciiSlotPoints {
public:
    KDigitalPoints(const KDigitalMember& member, const ModuleLocation& where)
        : AsciiSlotPoints(member.model, where, false), member_(member) {}

private:
    void TakeSlot(char lead, std::string_view rest, const PortExchange& exchange) override {
        if (lead != '$') return; // output writes: the next state read shows them
        const auto data = decode::AddressedData(exchange);
        const auto word = data ? SlotWord(*data) : std::nullopt;
        if (rest == "6") {
            TakeState(word);
        } else if (rest == "7" && member_.readsDIPSwitch) {
            if (word) dip_ = *word;
        } else if (rest == "M" && member_.readsAlarmMask) {
            if (word) alarmMask_ = *word;
        }
    }

    void TakeState(std::optional<unsigned> word) {
        for (int i = 0; i < PointCount(); ++i) {
            const PointInfo& info = Points()[static_cast<std::size_t>(i)];
            if (!word || (member_.readsDIPSwitch && !dip_)) {
                SetBad(i, PointQuality::Failed);
                continue;
            }
            const int channel = PointChannel(info);
            if (member_.readsDIPSwitch && IsInput(channel) != (info.kind == PointKind::DigitalInput)) {
                SetBad(i, PointQuality::Disabled);
                continue;
            }
            SetGood(i, (*word >> (channel + member_.firstBit)) & 1);
        }
    }

    bool IsInput(int channel) const { return dip_ && ((*dip_ >> channel) & 1); }

    bool FamilyConfigurationKnown() const override {
        return !member_.readsDIPSwitch || dip_.has_value();
    }

    void ReadFamilyConfiguration(TavoComPort& port) override {
        // As the panel at its start: the channels' directions and the outputs an
        // alarm has taken.
        TavoMK510 slot(&port, AddressText(), Selector());
        std::string reply;
        if (member_.readsDIPSwitch) slot.ReadDIPSwitch(reply);
        if (member_.readsAlarmMask) slot.ReadAlarmMask(reply);
    }

    void ReadSlotValues(TavoComPort& port) override {
        TavoMK510 slot(&port, AddressText(), Selector());
        std::string reply;
        slot.ReadDIO(reply);
    }

    bool WritePoint(TavoComPort& port, int index, double value, std::string& error) override {
        const PointInfo& info = Points()[static_cast<std::size_t>(index)];
        const int channel = PointChannel(info);
        if (!ReadyToWrite(port, error)) return false;
        // What the panel refuses without sending.
        if (member_.readsDIPSwitch && IsInput(channel)) {
            error = info.name + " of the " + Model() + " at " + LocationText(Location()) +
                    " is an input: its DIP switch makes channel " + std::to_string(channel) +
                    " one";
            return false;
        }
        if (alarmMask_ && ((*alarmMask_ >> channel) & 1)) {
            error = info.name + " of the " + Model() + " at " + LocationText(Location()) +
                    " is driven by an analog slot's alarm and cannot be switched";
            return false;
        }
        TavoMK510 slot(&port, AddressText(), Selector());
        if (slot.WriteDOChannel(channel, value != 0.0)) return true;
        error = WriteFailure(port, info.name);
        return false;
    }

    const KDigitalMember& member_;
    std::optional<unsigned> dip_;
    std::optional<unsigned> alarmMask_;
};

// The counter/frequency slot. Its mode and data format come with every poll
// ($AASiB, as the panel reads them before the channels): in frequency mode (TT 2)
// the channels are freq0..freq3 in hertz and cnt0..cnt3 read disabled, in the two
// counter modes the other way round. Counts are exact whole numbers; nothing here
// says a count is out of range (the slot's overflow flags are not polled).
class KCounterPoints final : public AsciiSlotPoints {
public:
    explicit KCounterPoints(const ModuleLocation& where) : AsciiSlotPoints("K710", where, false) {}

private:
    static constexpr int kChannels = 4;

    void TakeSlot(char lead, std::string_view rest, const PortExchange& exchange) override {
        if (lead == '$' && rest == "B") {
            TakeSetup(decode::AddressedData(exchange));
            return;
        }
        if (lead != '#' || rest.size() != 2 || rest[0] != 'C' || rest[1] < '0' ||
            rest[1] >= '0' + kChannels)
            return;
        const int channel = rest[1] - '0';
        if (!setup_) { // a count means nothing without the mode and format
            SetBad(channel, PointQuality::Failed);
            SetBad(kChannels + channel, PointQuality::Failed);
            return;
        }
        const bool frequency = setup_->type == kCounterFrequencyMode;
        const int index = frequency ? kChannels + channel : channel;
        // The slot writes ten decimal or eight hexadecimal digits: fewer were cut.
        const std::size_t width = setup_->format == 2 ? 8 : 10;
        const auto data = decode::ValueData(exchange);
        const auto value = data && data->size() == width
                               ? CounterValue(*data, setup_->type, setup_->format)
                               : std::nullopt;
        if (value)
            SetGood(index, *value);
        else
            SetBad(index, PointQuality::Failed);
        SetBad(frequency ? channel : kChannels + channel, PointQuality::Disabled);
    }

    void TakeSetup(std::optional<std::string_view> data) {
        setup_ = data && data->size() == 4 ? CounterConfig(data->substr(0, 2), data->substr(2, 2))
                                           : std::nullopt;
        if (!setup_) {
            FailAll();
            return;
        }
        // The points of the other mode are switched off for as long as this one holds.
        const bool frequency = setup_->type == kCounterFrequencyMode;
        for (int c = 0; c < kChannels; ++c)
            SetBad(frequency ? c : kChannels + c, PointQuality::Disabled);
    }

    bool FamilyConfigurationKnown() const override { return setup_.has_value(); }

    void ReadFamilyConfiguration(TavoComPort& port) override {
        TavoMK710 slot(&port, AddressText(), Selector());
        slot.ReadSlotConfig();
    }

    void ReadSlotValues(TavoComPort& port) override {
        TavoMK710 slot(&port, AddressText(), Selector());
        if (!slot.ReadSlotConfig() || !setup_) return;
        std::string count;
        for (int c = 0; c < kChannels; ++c)
            slot.ReadCount(c, count);
    }

    bool WritePoint(TavoComPort&, int, double, std::string& error) override {
        error = "the K710's points cannot be written"; // none is writable: CheckWrite stops first
        return false;
    }

    std::optional<CounterSetup> setup_;
};

} // namespace

std::unique_ptr<ModulePoints> MakeKDigitalPoints(const KDigitalMember& member,
                                                 const ModuleLocation& where) {
    return std::make_unique<KDigitalPoints>(member, where);
}

std::unique_ptr<ModulePoints> MakeKCounterPoints(const ModuleLocation& where) {
    return std::make_unique<KCounterPoints>(where);
}

} // namespace tavo
