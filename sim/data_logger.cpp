// The record memory of the simulated data logger (R270M).
//
//   @AAD / @AAC{x}  memory configuration, nine characters: channel storage mask "%02X",
//                   record-data flag ("1" on: periodic samples are stored), storage
//                   mode ("0" standard, "1" event, "2" mixed), record mode ("0" normal:
//                   stop when full, "1" cyclic: drop the oldest), sampling interval in
//                   seconds "%04X" (2 or more)
//   @AAT / @AAS{x}  recording state "1"/"0"; start and stop
//   @AAN, @AAL      standard and event record counts, "%04X"
//   @AAR{hhhh}      a record: channel digit, five-character value (digit k: odd =
//                   negative, k / 2 decimals; four hex digits of the magnitude), and
//                   for event records eight hex digits of the seconds since recording
//                   started. Standard records are 0000 up; event records 0000 up in
//                   event mode and 1388 up in mixed mode.
//   @AAB{n} / @AAA{n}{high}{low}  per-channel alarm limits, six characters each: sign,
//                   decimals digit 0-5, four hex digits of |limit| * 10^decimals.
// An event record is stored when a stored channel passes outside its limits. In
// mixed storage the memory holds 5000 standard records (numbered below 1388) and
// 1000 event records; in standard or event storage alone, 16384 records of that
// kind. A full memory takes no more records in normal mode and drops its oldest in
// cyclic mode; a change to mixed storage drops the oldest records that no longer
// fit. At power-up it holds records of an earlier run (bus file options
// stdrecords=, eventrecords= and storage=).
#include "analog_sim.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tavo::sim::analog {
namespace {

constexpr std::size_t kMixedStandardCapacity = 0x1388;
constexpr std::size_t kMixedEventCapacity = 1000;
constexpr std::size_t kSingleKindCapacity = 0x4000;
constexpr unsigned kMixedEventBase = 0x1388;

// As many decimals (up to `most`) as four hex digits of |v| * 10^decimals allow, and
// that magnitude.
int Decimals(double v, int most, unsigned& magnitude) {
    int decimals = most;
    while (decimals > 0 && std::fabs(v) * std::pow(10.0, decimals) > 0xFFFF)
        --decimals;
    magnitude = static_cast<unsigned>(
        std::min<long>(std::lround(std::fabs(v) * std::pow(10.0, decimals)), 0xFFFF));
    return decimals;
}

// Value in the record format: digit k (odd: negative; k / 2 decimals) and four hex
// digits.
std::string RecordValue(double v) {
    unsigned magnitude = 0;
    const int decimals = Decimals(v, 4, magnitude);
    const int k = decimals * 2 + (v < 0.0 && magnitude != 0 ? 1 : 0);
    return std::string(1, static_cast<char>('0' + k)) + Hex4(magnitude);
}

// Alarm limit text: sign, decimals digit, four hex digits.
std::string LimitText(double v) {
    unsigned magnitude = 0;
    const int decimals = Decimals(v, 5, magnitude);
    return std::string(v < 0.0 ? "-" : "+") + static_cast<char>('0' + decimals) + Hex4(magnitude);
}

std::optional<double> LimitValue(std::string_view text) {
    if (text.size() != 6 || (text[0] != '+' && text[0] != '-') || text[1] < '0' || text[1] > '5')
        return std::nullopt;
    const auto magnitude = ParseHex(text.substr(2));
    if (!magnitude) return std::nullopt;
    const double v = *magnitude / std::pow(10.0, text[1] - '0');
    return text[0] == '-' ? -v : v;
}

unsigned Count(const SimModule& m, const std::string& key, unsigned fallback) {
    const auto v = NumberOption(m, key);
    return v && *v >= 0.0 ? static_cast<unsigned>(*v) : fallback;
}

} // namespace

std::size_t LoggerCommands::StandardCapacity() const {
    return storageMode_ == '2' ? kMixedStandardCapacity : kSingleKindCapacity;
}

std::size_t LoggerCommands::EventCapacity() const {
    return storageMode_ == '2' ? kMixedEventCapacity : kSingleKindCapacity;
}

void LoggerCommands::Init(SimModule& m) {
    const auto& options = m.config().options;
    if (const auto it = options.find("storage"); it != options.end())
        storageMode_ = it->second == "standard" ? '0' : it->second == "event" ? '1' : '2';
    for (int ch = 0; ch < 8; ++ch) {
        const InputRange& r = *inputs_.RangeOf(m, ch);
        high_[static_cast<std::size_t>(ch)] = LimitText(r.lo + 0.9 * (r.hi - r.lo));
        low_[static_cast<std::size_t>(ch)] = LimitText(r.lo + 0.1 * (r.hi - r.lo));
    }
    // Records of an earlier run: samples every interval, round the stored channels,
    // ending now; a few excursions past the high limit as events.
    const unsigned standard =
        std::min<unsigned>(Count(m, "stdrecords", 20), static_cast<unsigned>(StandardCapacity()));
    const unsigned events =
        std::min<unsigned>(Count(m, "eventrecords", 4), static_cast<unsigned>(EventCapacity()));
    for (unsigned i = 0; i < standard; ++i) {
        const int ch = static_cast<int>(i % 8);
        const double at = -static_cast<double>((standard - i + 7) / 8 * interval_);
        standard_.push_back({ch, RecordValue(inputs_.ValueAt(m, ch, at)), 0});
    }
    for (unsigned i = 0; i < events; ++i) {
        const int ch = static_cast<int>((i * 3) % 8);
        const double limit = *LimitValue(high_[static_cast<std::size_t>(ch)]);
        events_.push_back({ch, RecordValue(limit * 1.02 + 0.1 * i), 45 + 137 * i});
    }
}

std::string LoggerCommands::Config() const {
    return Hex2(storeMask_) + recordData_ + storageMode_ + recordMode_ + Hex4(interval_);
}

void LoggerCommands::Trim(std::vector<Record>& records, std::size_t capacity) {
    if (records.size() > capacity)
        records.erase(records.begin(), records.end() - static_cast<std::ptrdiff_t>(capacity));
}

void LoggerCommands::Store(std::vector<Record>& records, Record r, std::size_t capacity) {
    if (records.size() >= capacity) {
        if (recordMode_ != '1') return; // normal mode: the memory is full
        records.erase(records.begin());
    }
    records.push_back(std::move(r));
}

void LoggerCommands::Advance(SimModule& m, TimePoint) {
    if (!recording_) return;
    const double now = inputs_.Elapsed(m);
    if (recordData_ == '1' && storageMode_ != '1') {
        // After a long silence only the last memory-full of samples can matter.
        const double span = static_cast<double>(interval_) * static_cast<double>(StandardCapacity());
        if (now - lastSample_ > span) lastSample_ = now - span;
        while (now - lastSample_ >= interval_) {
            lastSample_ += interval_;
            for (int ch = 0; ch < 8; ++ch)
                if ((storeMask_ >> ch) & 1)
                    Store(standard_, {ch, RecordValue(inputs_.ValueAt(m, ch, lastSample_)), 0},
                          StandardCapacity());
        }
    }
    if (storageMode_ == '0') return;
    for (int ch = 0; ch < 8; ++ch) {
        const auto i = static_cast<std::size_t>(ch);
        if (!((storeMask_ >> ch) & 1)) continue;
        const double v = inputs_.Value(m, ch);
        const bool alarm =
            v > LimitValue(high_[i]).value_or(v) || v < LimitValue(low_[i]).value_or(v);
        if (alarm && !inAlarm_[i])
            Store(events_, {ch, RecordValue(v), static_cast<unsigned>(now - recordingSince_)},
                  EventCapacity());
        inAlarm_[i] = alarm;
    }
}

std::optional<std::string> LoggerCommands::Ascii(SimModule& m, char lead, std::string_view body) {
    if (lead != '@' || body.empty()) return std::nullopt;
    const char what = body[0];
    const std::string_view rest = body.substr(1);
    if (body == "D") return m.Ok(Config());
    if (body == "T") return m.Ok(recording_ ? "1" : "0");
    if (body == "N") return m.Ok(Hex4(static_cast<unsigned>(standard_.size())));
    if (body == "L") return m.Ok(Hex4(static_cast<unsigned>(events_.size())));
    if (what == 'C' && rest.size() == 9) {
        const auto mask = ParseHex(rest.substr(0, 2));
        const auto interval = ParseHex(rest.substr(5, 4));
        if (!mask || !interval || *interval < 2 || (rest[2] != '0' && rest[2] != '1') ||
            rest[3] < '0' || rest[3] > '2' || (rest[4] != '0' && rest[4] != '1'))
            return m.Refuse();
        storeMask_ = *mask;
        recordData_ = rest[2];
        storageMode_ = rest[3];
        recordMode_ = rest[4];
        interval_ = *interval;
        Trim(standard_, StandardCapacity());
        Trim(events_, EventCapacity());
        return m.Ok();
    }
    if (body == "S1" || body == "S0") {
        if (body == "S1" && !recording_) {
            recordingSince_ = lastSample_ = inputs_.Elapsed(m);
            inAlarm_.fill(false);
        }
        recording_ = body == "S1";
        return m.Ok();
    }
    if (what == 'R' && rest.size() == 4) {
        const auto index = ParseHex(rest);
        if (!index) return m.Refuse();
        const Record* r = nullptr;
        bool event = false;
        if (storageMode_ == '1') {
            event = true;
            if (*index < events_.size()) r = &events_[*index];
        } else if (storageMode_ == '2' && *index >= kMixedEventBase) {
            event = true;
            if (*index - kMixedEventBase < events_.size()) r = &events_[*index - kMixedEventBase];
        } else if (*index < standard_.size()) {
            r = &standard_[*index];
        }
        if (!r) return m.Refuse();
        std::string data = std::to_string(r->channel) + r->value;
        if (event) {
            char stamp[16];
            std::snprintf(stamp, sizeof stamp, "%08X", r->stamp);
            data += stamp;
        }
        return m.Ok(data);
    }
    if (what == 'B' && rest.size() == 1) {
        const auto ch = ChannelDigit(rest, 8);
        if (!ch) return m.Refuse();
        return m.Ok(high_[static_cast<std::size_t>(*ch)] + low_[static_cast<std::size_t>(*ch)]);
    }
    if (what == 'A' && rest.size() == 13) {
        const auto ch = ChannelDigit(rest.substr(0, 1), 8);
        if (!ch || !LimitValue(rest.substr(1, 6)) || !LimitValue(rest.substr(7, 6)))
            return m.Refuse();
        high_[static_cast<std::size_t>(*ch)] = std::string(rest.substr(1, 6));
        low_[static_cast<std::size_t>(*ch)] = std::string(rest.substr(7, 6));
        return m.Ok();
    }
    return std::nullopt;
}

} // namespace tavo::sim::analog
