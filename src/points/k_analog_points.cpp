// The rack's analog slots over ASCII: the input slots (K210, K220, K220H, K220UH,
// K230, K230P and the generic analog input) and the output slot K310.
#include "slot_points.h"
#include "exchange_parts.h"

#include "k_analog_ranges.h"
#include "point_text.h"

#include "devices/hex_codes.h"
#include "devices/k_series.h"

#include <array>
#include <optional>

namespace tavo {
namespace {

// The two's complement count is the reading's share of full scale times 7FFF:
// 7FFF and 8001 (or 8000) are the ends of what the format carries.
constexpr double kCountLow = -32767, kCountHigh = 32767;
// The slots write every reading in a field of its own width: engineering units and
// percent as a sign and six characters ("+76.000", "+1370.0", "-050.00"), an output
// value as "%06.3f". A reply of another width was cut or is another command's: its
// digits are no reading, however well they parse.
constexpr std::size_t kInputField = 7;
constexpr std::size_t kOutputField = 6;

std::optional<unsigned> TwoHex(std::string_view text) {
    return text.size() >= 2 ? HexValue(text.substr(0, 2)) : std::nullopt;
}

// Analog input slots. Configuration: the slot's range and format ($AASiB), each
// channel's range on the members with one range per channel ($AASiCcB), the enabled
// channels ($AASi6) and, for a generic slot, how many channels it has ($AASiN1).
// Readings ($AASiCc, enabled channels only, as the panel polls them) in the slot's
// data format (format bits 1-0):
//   00 engineering units as sent, unit and limits of the channel's range;
//   01 percent of full scale as sent, unit "%";
//   10, 11 two's complement: the 16-bit count, no unit (the panel shows the digits).
// "+888888" is an open sensor in every format. Only the two's complement format has
// ends (7FFF over, 8001 and 8000 under the range); a number in the other formats is
// what the slot measured and stays good, a little beyond the range or not.
class KAnalogInputPoints final : public AsciiSlotPoints {
public:
    KAnalogInputPoints(std::string model, const KAnalogSlotMember* member,
                       const ModuleLocation& where)
        : AsciiSlotPoints(std::move(model), where, false), member_(member),
          channels_(member ? member->channels : kGenericInputChannels),
          channelTypes_(static_cast<std::size_t>(channels_)) {}

private:
    enum class Format { Engineering, Percent, Counts };

    bool PerChannel() const { return member_ && member_->perChannel; }
    bool Generic() const { return !member_; }

    std::optional<Format> DataFormat() const {
        if (!slotFormat_) return std::nullopt;
        switch (*slotFormat_ & 3) {
        case 0: return Format::Engineering;
        case 1: return Format::Percent;
        default: return Format::Counts;
        }
    }

    // A generic slot may hold any of the rack's input ranges.
    const KAnalogRange* RangeOf(unsigned code) const {
        for (const KRangeSet set : {KRangeSet::Thermocouple, KRangeSet::Voltage, KRangeSet::Rtd}) {
            if (member_ && set != member_->ranges) continue;
            const int index = KRangeIndex(set, static_cast<int>(code));
            if (index >= 0) return KRangeAt(set, index);
        }
        return nullptr;
    }

    bool Enabled(int c) const {
        return enabled_ && ((*enabled_ >> c) & 1) && (!Generic() || (count_ && c < *count_));
    }

    void ShowRange(int c) {
        PointInfo& info = Info(c);
        info.unit.clear();
        info.min = info.max = kNoLimit;
        const auto format = DataFormat();
        const auto type = PerChannel() ? channelTypes_[static_cast<std::size_t>(c)] : slotType_;
        if (format == Format::Counts) {
            info.min = kCountLow;
            info.max = kCountHigh;
        } else if (format == Format::Percent) {
            info.unit = "%";
            info.min = -100;
            info.max = 100;
        } else if (format == Format::Engineering && type) {
            if (const KAnalogRange* range = RangeOf(*type)) {
                info.unit = PointUnit(range->unit);
                info.min = range->lo;
                info.max = range->hi;
            }
        }
    }

    void ShowRanges() {
        for (int c = 0; c < channels_; ++c)
            ShowRange(c);
    }

    void MarkDisabled() {
        for (int c = 0; c < channels_; ++c)
            if (enabled_ && !Enabled(c)) SetBad(c, PointQuality::Disabled);
    }

    void TakeSlot(char lead, std::string_view rest, const PortExchange& exchange) override {
        if (lead == '#') {
            const int c = ChannelCommand(rest, "", channels_);
            if (c >= 0) TakeReading(c, decode::ValueData(exchange));
            return;
        }
        if (lead != '$' || !exchange.ok) return; // a failed configuration read leaves what was known
        if (rest == "N1") {
            // "!{count}": the generic slot's channel count, right after the '!'.
            if (const auto data = decode::ReplyDataAfter(exchange, '!', 1); data && Generic())
                if (const auto n = TwoHex(*data)) count_ = static_cast<int>(*n);
            MarkDisabled();
            return;
        }
        const auto data = decode::AddressedData(exchange);
        if (!data) return;
        if (rest == "B") {
            const auto tt = TwoHex(*data), ff = data->size() == 4 ? TwoHex(data->substr(2)) : std::nullopt;
            if (!tt || !ff) return;
            slotType_ = *tt;
            slotFormat_ = *ff;
            ShowRanges();
        } else if (rest == "6") {
            if (data->size() != 2 || !KHexDigits(*data)) return; // "%02X"
            enabled_ = HexValue(*data);
            MarkDisabled();
        } else if (const int c = ChannelCommand(rest, "B", channels_); c >= 0 && PerChannel()) {
            const auto tt = TwoHex(*data);
            if (!tt || data->size() != 4) return;
            channelTypes_[static_cast<std::size_t>(c)] = *tt;
            ShowRange(c);
        }
    }

    void TakeReading(int c, std::optional<std::string_view> data) {
        const auto format = DataFormat();
        const bool whole = data && (format == Format::Counts || KBurnOut(*data) ||
                                    (data->size() == kInputField && ((*data)[0] == '+' || (*data)[0] == '-')));
        const auto reading =
            whole && format ? ParseKReading(*data, format == Format::Counts) : std::nullopt;
        if (!reading) {
            SetBad(c, PointQuality::Failed);
        } else if (reading->burnOut) {
            SetBad(c, PointQuality::BurnOut);
        } else if (format == Format::Counts && reading->value >= kCountHigh) {
            SetBad(c, PointQuality::OverRange);
        } else if (format == Format::Counts && reading->value <= kCountLow) {
            SetBad(c, PointQuality::UnderRange);
        } else {
            Info(c).decimals = reading->decimals;
            SetGood(c, reading->value);
        }
    }

    bool FamilyConfigurationKnown() const override {
        if (!slotType_ || !enabled_ || (Generic() && !count_)) return false;
        if (PerChannel())
            for (const auto& type : channelTypes_)
                if (!type) return false;
        return true;
    }

    void ReadFamilyConfiguration(TavoComPort& port) override {
        TavoMK230 slot(&port, AddressText(), Selector());
        std::string reply;
        slot.ReadSlotConfig();
        if (PerChannel())
            for (int c = 0; c < channels_; ++c)
                slot.ReadChannelConfig(c);
        slot.ReadChannelEnable(reply);
        if (Generic()) {
            TavoMK100 rack(&port, AddressText());
            rack.ReadSlotInfo1(Slot(), reply);
        }
    }

    void ReadSlotValues(TavoComPort& port) override {
        if (!FamilyConfigurationKnown()) return;
        TavoMK230 slot(&port, AddressText(), Selector());
        std::string reply;
        bool any = false;
        for (int c = 0; c < channels_; ++c)
            if (Enabled(c)) {
                slot.ReadChannel(c, reply);
                any = true;
            }
        // The switched-off channels are disabled in this read too; with none switched
        // on, the enable mask itself is what there is to read.
        if (any)
            MarkDisabled();
        else
            slot.ReadChannelEnable(reply);
    }

    bool WritePoint(TavoComPort&, int index, double, std::string& error) override {
        error = Points()[static_cast<std::size_t>(index)].name + " is an input and cannot be written";
        return false;
    }

    const KAnalogSlotMember* member_;
    int channels_;
    std::optional<unsigned> slotType_, slotFormat_;
    std::vector<std::optional<unsigned>> channelTypes_;
    std::optional<unsigned> enabled_;
    std::optional<int> count_;
};

// The analog output slot: each channel's range ($AASiCcB: 30 "0 ~ 20 mA", 31 "4 ~ 20
// mA", 32 "0 ~ 10 V") gives its unit and limits, its last output ($AASiCc6) its
// reading; a write is the panel's "#AASiCc" + "%06.3f" within the channel's range.
class KOutputPoints final : public AsciiSlotPoints {
public:
    explicit KOutputPoints(const ModuleLocation& where) : AsciiSlotPoints("K310", where, false) {
        // Until the ranges are read: the widest the slot has.
        for (int c = 0; c < kChannels; ++c) {
            Info(c).min = 0;
            Info(c).max = 20;
        }
    }

private:
    static constexpr int kChannels = 4;

    void TakeSlot(char lead, std::string_view rest, const PortExchange& exchange) override {
        if (lead != '$') return; // output writes: the next read shows them
        const auto data = decode::AddressedData(exchange);
        if (const int c = ChannelCommand(rest, "6", kChannels); c >= 0) {
            const auto value = data && data->size() == kOutputField ? KPlainNumber(*data) : std::nullopt;
            if (value)
                SetGood(c, *value);
            else
                SetBad(c, PointQuality::Failed);
        } else if (const int k = ChannelCommand(rest, "B", kChannels); k >= 0 && data) {
            const auto tt = TwoHex(*data);
            if (!tt || data->size() != 4) return;
            const K310Range* range = FindK310Range(static_cast<int>(*tt));
            ranges_[static_cast<std::size_t>(k)] = range;
            read_[static_cast<std::size_t>(k)] = true;
            PointInfo& info = Info(k);
            info.unit = range ? (range->current ? "mA" : "V") : "";
            info.min = range ? range->lo : 0;
            info.max = range ? range->hi : 20;
        }
    }

    bool FamilyConfigurationKnown() const override {
        for (const bool r : read_)
            if (!r) return false;
        return true;
    }

    void ReadFamilyConfiguration(TavoComPort& port) override {
        TavoMK310 slot(&port, AddressText(), Selector());
        for (int c = 0; c < kChannels; ++c)
            slot.ReadChannelConfig(c);
    }

    void ReadSlotValues(TavoComPort& port) override {
        TavoMK310 slot(&port, AddressText(), Selector());
        std::string reply;
        for (int c = 0; c < kChannels; ++c)
            slot.ReadLastOutput(c, reply);
    }

    bool WritePoint(TavoComPort& port, int index, double value, std::string& error) override {
        if (!ReadyToWrite(port, error)) return false;
        const PointInfo& info = Points()[static_cast<std::size_t>(index)];
        const K310Range* range = ranges_[static_cast<std::size_t>(index)];
        if (!range) {
            error = "the range of " + info.name + " is none the K310 has: it is not written";
            return false;
        }
        if (!WithinLimits(info, value, error)) return false;
        const auto text = K310ValueText(FormatPointNumber(value, 3), *range);
        if (!text) {
            error = FormatPointNumber(value, 9) + " is no value for " + info.name;
            return false;
        }
        TavoMK310 slot(&port, AddressText(), Selector());
        if (slot.WriteChannel(index, *text)) return true;
        error = WriteFailure(port, info.name);
        return false;
    }

    std::array<const K310Range*, kChannels> ranges_{};
    std::array<bool, kChannels> read_{};
};

} // namespace

std::unique_ptr<ModulePoints> MakeKAnalogInputPoints(std::string model,
                                                     const KAnalogSlotMember* member,
                                                     const ModuleLocation& where) {
    return std::make_unique<KAnalogInputPoints>(std::move(model), member, where);
}

std::unique_ptr<ModulePoints> MakeKOutputPoints(const ModuleLocation& where) {
    return std::make_unique<KOutputPoints>(where);
}

} // namespace tavo
