#include "loop_table.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tavo::loop {

std::string FixedText(std::int32_t value) {
    const std::int64_t v = value;
    const std::uint64_t magnitude = static_cast<std::uint64_t>(v < 0 ? -v : v);
    char text[32];
    std::snprintf(text, sizeof text, "%s%llu.%03llu", v < 0 ? "-" : "",
                  static_cast<unsigned long long>(magnitude / 1000),
                  static_cast<unsigned long long>(magnitude % 1000));
    return text;
}

std::optional<std::int32_t> ParseFixed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::int64_t whole = 0;
    std::int64_t thousandths = 0;
    int decimals = 0;
    bool point = false, digits = false, roundUp = false;
    for (char c : text) {
        if (c == '.') {
            if (point) return std::nullopt;
            point = true;
            continue;
        }
        if (c < '0' || c > '9') return std::nullopt;
        digits = true;
        const int d = c - '0';
        if (!point) {
            whole = whole * 10 + d;
            if (whole > 10'000'000'000LL) return std::nullopt; // far beyond 32 bits
        } else if (decimals < 3) {
            thousandths = thousandths * 10 + d;
            ++decimals;
        } else if (decimals++ == 3) {
            roundUp = d >= 5; // only the fourth decimal decides
        }
    }
    if (!digits) return std::nullopt;
    for (int i = decimals; i < 3; ++i) thousandths *= 10;
    std::int64_t value = whole * 1000 + thousandths + (roundUp ? 1 : 0);
    if (negative) value = -value;
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

double Percent(double value, double low, double high) {
    return high == low ? 0.0 : (value - low) * 100.0 / (high - low);
}

std::int32_t MVFromPercent(std::int32_t percent, std::int32_t low, std::int32_t high) {
    const double lo = low, hi = high;
    return static_cast<std::int32_t>(std::lround(lo + percent / 1000.0 * (hi - lo) / 100.0));
}

namespace {

std::string Between(const char* what, std::int32_t value, std::int32_t lo, std::int32_t hi) {
    if (value >= lo && value <= hi) return {};
    return std::string(what) + " must lie in " + FixedText(lo) + " to " + FixedText(hi);
}

std::string Choice(const char* what, std::int32_t value, int last) {
    if (value >= 0 && value <= last) return {};
    return std::string(what) + " must be 0 to " + std::to_string(last);
}

// L-Low <= Low <= High <= H-High, and with `range` all within the PV range.
std::string AlarmOrder(const char* what, const std::int32_t* t, int hh, int h, int ll, int l,
                       int index, std::int32_t value, bool range) {
    std::int64_t v[4] = {t[ll], t[l], t[h], t[hh]};
    const int order[4] = {ll, l, h, hh};
    for (int i = 0; i < 4; ++i)
        if (order[i] == index) v[i] = value;
    for (int i = 0; i < 3; ++i)
        if (v[i] > v[i + 1]) return std::string(what) + " limits must keep L-Low <= Low <= High <= H-High";
    if (range && (v[0] < t[kPVRangeLow] || v[3] > t[kPVRangeHigh]))
        return std::string(what) + " limits must lie within the PV range";
    return {};
}

} // namespace

std::string CheckEntry(const std::int32_t* t, int index, std::int32_t value) {
    switch (index) {
    case kMode:
        return Choice("Control mode", value, 2);
    case kAlgorithm:
        return Choice("PID algorithm", value, 1);
    case kFeedbackMode:
        return Choice("Feedback mode", value, 1);
    case kAction:
        return Choice("PID action", value, 1);
    case kResume:
        return Choice("Power-up mode", value, 2);
    case kSV:
        return Between("SV", value, t[kSVLimitLow], t[kSVLimitHigh]);
    case kPVRangeHigh:
        return value > t[kPVRangeLow] ? "" : "PV range high must be above PV range low";
    case kPVRangeLow:
        return value < t[kPVRangeHigh] ? "" : "PV range low must be below PV range high";
    case kMVRangeHigh:
        return value > t[kMVRangeLow] ? "" : "MV range high must be above MV range low";
    case kMVRangeLow:
        return value < t[kMVRangeHigh] ? "" : "MV range low must be below MV range high";
    case kPVFilter:
    case kMVFilter:
        return Between("Low pass filter", value, 0, 1000);
    case kP:
        return Between("P", value, 1, 10000);
    case kI:
        return Between("I", value, 1, 10000);
    case kD:
        return Between("D", value, 1, 10000);
    case kInterval:
        return value >= 500 && value <= 60000 ? "" : "Interval must be 500 to 60000 ms";
    case kPVAlarmHH:
    case kPVAlarmH:
    case kPVAlarmLL:
    case kPVAlarmL:
        return AlarmOrder("PV alarm", t, kPVAlarmHH, kPVAlarmH, kPVAlarmLL, kPVAlarmL, index,
                          value, true);
    case kFBAlarmHH:
    case kFBAlarmH:
    case kFBAlarmLL:
    case kFBAlarmL:
        return AlarmOrder("FB alarm", t, kFBAlarmHH, kFBAlarmH, kFBAlarmLL, kFBAlarmL, index,
                          value, false);
    case kPVDeadBand:
    case kFBDeadBand:
        return Between("Dead band", value, 0, 10000);
    case kMVLimitHigh:
        return Between("MV high limit", value, t[kMVLimitLow], t[kMVRangeHigh]);
    case kMVLimitLow:
        return Between("MV low limit", value, t[kMVRangeLow], t[kMVLimitHigh]);
    case kSVLimitHigh:
        return Between("SV limit high", value, t[kSVLimitLow], t[kPVRangeHigh]);
    case kSVLimitLow:
        return Between("SV limit low", value, t[kPVRangeLow], t[kSVLimitHigh]);
    case kAlarmDO:
        return Choice("Alarm DO mask", value, 63);
    default:
        return {};
    }
}

std::vector<std::uint8_t> WritePidFile(const PidTable& table) {
    std::vector<std::uint8_t> out(kPidFileHeader.begin(), kPidFileHeader.end());
    out.reserve(kPidFileSize);
    for (std::int32_t v : table) {
        const auto u = static_cast<std::uint32_t>(v);
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<std::uint8_t>(u >> shift));
    }
    return out;
}

PidFileRead ReadPidFile(const std::vector<std::uint8_t>& bytes) {
    PidFileRead r;
    if (bytes.size() != kPidFileSize) {
        r.error = "the file has " + std::to_string(bytes.size()) + " bytes instead of " +
                  std::to_string(kPidFileSize);
        return r;
    }
    if (!std::equal(kPidFileHeader.begin(), kPidFileHeader.end(), bytes.begin())) {
        r.error = "the first " + std::to_string(kPidFileHeader.size()) +
                  " bytes are not the PID configuration header";
        return r;
    }
    for (int e = 0; e < kEntries; ++e) {
        const std::size_t at = kPidFileHeader.size() + 4 * static_cast<std::size_t>(e);
        const std::uint32_t u = std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
                                std::uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
        r.table[static_cast<std::size_t>(e)] = static_cast<std::int32_t>(u);
    }
    r.ok = true;
    return r;
}

} // namespace tavo::loop
