#include "data_logger.h"

#include "hex_codes.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace tavo {
namespace {

bool IsHex(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return HexValue({&c, 1}).has_value();
    });
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// magnitude / 10^decimals with that many decimals, negative when asked.
std::string ScaledText(std::uint64_t magnitude, int decimals, bool negative) {
    std::uint64_t scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    std::string text = std::to_string(magnitude / scale);
    if (decimals > 0) {
        std::string fraction = std::to_string(magnitude % scale);
        text +=
            "." + std::string(static_cast<std::size_t>(decimals) - fraction.size(), '0') + fraction;
    }
    // A negative zero keeps its sign, as "%.*f" of -0.0 does.
    return negative ? "-" + text : text;
}

} // namespace

std::optional<MemoryConfig> ParseMemoryConfig(std::string_view data) {
    if (data.size() != 9 || !IsHex(data.substr(0, 2)) || !IsHex(data.substr(5, 4)))
        return std::nullopt;
    MemoryConfig config;
    config.storeMask = *HexValue(data.substr(0, 2));
    config.recordData = data[2] == '1';
    config.mode = data[3] == '0'   ? StorageMode::Standard
                  : data[3] == '1' ? StorageMode::Event
                                   : StorageMode::Mixed;
    config.cyclic = data[4] != '0';
    config.intervalSeconds = *HexValue(data.substr(5, 4));
    return config;
}

std::string MemoryConfigText(const MemoryConfig& config) {
    return HexText(config.storeMask & 0xFFu, 2) + (config.recordData ? '1' : '0') +
           static_cast<char>('0' + static_cast<int>(config.mode)) + (config.cyclic ? '1' : '0') +
           HexText(config.intervalSeconds & 0xFFFFu, 4);
}

std::optional<unsigned> ParseSampleInterval(std::string_view text) {
    if (text.empty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), IsDigit))
        return std::nullopt;
    unsigned value = 0;
    for (const char c : text)
        value = value * 10 + static_cast<unsigned>(c - '0');
    if (value < 2 || value > 65535) return std::nullopt;
    return value;
}

std::optional<std::string> DecodeRecordValue(std::string_view field) {
    if (field.size() != 5 || !IsDigit(field[0]) || !IsHex(field.substr(1))) return std::nullopt;
    const int k = field[0] - '0';
    return ScaledText(*HexValue(field.substr(1)), k / 2, k % 2 == 1);
}

std::optional<std::string> AlarmLimitField(std::string_view entry) {
    // A plain decimal number: optional minus, digits, at most one point.
    bool negative = false;
    if (!entry.empty() && entry[0] == '-') {
        negative = true;
        entry.remove_prefix(1);
    }
    const auto point = entry.find('.');
    const std::string_view whole = entry.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view{} : entry.substr(point + 1);
    const auto digits = [](std::string_view s) { return std::all_of(s.begin(), s.end(), IsDigit); };
    if (whole.size() + fraction.size() == 0 || !digits(whole) || !digits(fraction))
        return std::nullopt;
    // Six decimals would not fit the decimals digit: refused rather than cut to none.
    if (fraction.size() > 5) return std::nullopt;
    // The scaled value exactly, from the digits: no binary rounding before the cut.
    std::uint64_t magnitude = 0;
    for (const std::string_view part : {whole, fraction})
        for (const char c : part) {
            magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
            if (magnitude > 0xFFFF) return std::nullopt;
        }
    const char sign = negative && magnitude != 0 ? '-' : '+';
    return std::string(1, sign) + static_cast<char>('0' + fraction.size()) +
           HexText(static_cast<unsigned>(magnitude), 4);
}

std::optional<std::string> AlarmLimitText(std::string_view field) {
    if (field.size() != 6 || (field[0] != '+' && field[0] != '-') || !IsDigit(field[1]) ||
        !IsHex(field.substr(2)))
        return std::nullopt;
    const int decimals = field[1] >= '1' && field[1] <= '5' ? field[1] - '0' : 0;
    const unsigned magnitude = *HexValue(field.substr(2));
    return ScaledText(magnitude, decimals, field[0] == '-' && magnitude != 0);
}

std::optional<RecordRow> ParseRecordData(std::string_view data, bool event, unsigned number) {
    const bool stamped = data.size() == 14;
    if ((data.size() != 6 && !stamped) || (event && !stamped) || data[0] < '0' || data[0] > '7')
        return std::nullopt;
    const auto value = DecodeRecordValue(data.substr(1, 5));
    if (!value || (stamped && !IsHex(data.substr(6)))) return std::nullopt;
    RecordRow row;
    row.record = DecimalText(static_cast<int>(number), 4);
    row.channel = std::string(1, data[0]);
    row.data = *value;
    row.interval = event ? std::to_string(*HexValue(data.substr(6))) : "-----";
    return row;
}

std::string RecordsCsv(const std::vector<RecordRow>& rows) {
    std::string out = "Record,Channel,Data,Interval\n";
    for (const RecordRow& r : rows)
        out += r.record + "," + r.channel + "," + r.data + "," + r.interval + "\n";
    return out;
}

RecordUpload::RecordUpload(StorageMode mode, unsigned standardCount, unsigned eventCount)
    : mode_(mode) {
    switch (mode) {
    case StorageMode::Standard:
        standard_ = std::min(standardCount, 0x10000u);
        break;
    case StorageMode::Event:
        events_ = std::min(eventCount, 0x10000u);
        break;
    case StorageMode::Mixed:
        // The two series share the index range: standard below the event base.
        standard_ = std::min(standardCount, kMixedEventBase);
        events_ = std::min(eventCount, 0x10000u - kMixedEventBase);
        break;
    }
}

RecordUpload::Step RecordUpload::Current() const {
    Step step;
    step.event = position_ >= standard_;
    step.number = step.event ? position_ - standard_ : position_;
    step.index =
        step.event && mode_ == StorageMode::Mixed ? kMixedEventBase + step.number : step.number;
    return step;
}

RecordUpload::Outcome RecordUpload::Offer(const std::optional<std::string>& data, RecordRow& row) {
    const Step step = Current();
    std::optional<RecordRow> parsed;
    if (data) parsed = ParseRecordData(*data, step.event, step.number);
    if (!parsed) {
        if (!retried_) {
            retried_ = true;
            return Outcome::Retry;
        }
        failed_ = true;
        retried_ = false;
        position_ = step.event ? Total() : standard_;
        return Outcome::Failed;
    }
    row = std::move(*parsed);
    retried_ = false;
    ++done_;
    ++position_;
    return Outcome::Row;
}

} // namespace tavo
