#include "z_series_data.h"

#include <limits>

namespace tavo {
namespace {

constexpr double kUnsaid = std::numeric_limits<double>::quiet_NaN();

} // namespace

const std::vector<ZInputRange>& ZInputRanges() {
    static const std::vector<ZInputRange> kRanges = {
        {0x07, "4 ~ 20mA", "mA", "0 mA", "20 mA", 4, 20},
        {0x08, "0 ~ 10V", "V", "0 V", "10 V", 0, 10},
        {0x0D, "0 ~ 20mA", "mA", "0 mA", "20 mA", 0, 20},
        {0x20, "RTD385 -100~100'C", "'C", "60 ohm", "140 ohm", -100, 100},
        {0x21, "RTD385 0~100'C", "'C", "60 ohm", "140 ohm", 0, 100},
        {0x22, "RTD385 0~200'C", "'C", "60 ohm", "180 ohm", 0, 200},
        {0x23, "RTD385 0~600'C", "'C", "60 ohm", "400 ohm", 0, 600},
        {0x24, "RTD392 -100~100'C", "'C", "60 ohm", "140 ohm", -100, 100},
        {0x25, "RTD392 0~100'C", "'C", "60 ohm", "140 ohm", 0, 100},
        {0x26, "RTD392 0~200'C", "'C", "60 ohm", "180 ohm", 0, 200},
        {0x27, "RTD392 0~600'C", "'C", "60 ohm", "400 ohm", 0, 600},
        {0x2A, "RTD_Pt_1000", "'C", "850 ohm", "1600 ohm", kUnsaid, kUnsaid},
        {0x30, "Thermister3K", "'C", "200 ohm", "10K ohm", kUnsaid, kUnsaid},
        {0x31, "Thermister10K", "'C", "800 ohm", "30K ohm", kUnsaid, kUnsaid},
    };
    return kRanges;
}

const ZInputRange* FindZInputRange(int code) {
    for (const auto& r : ZInputRanges())
        if (r.code == code) return &r;
    return nullptr;
}

int ZInputRangeIndex(int code) {
    const auto& ranges = ZInputRanges();
    for (std::size_t i = 0; i < ranges.size(); ++i)
        if (ranges[i].code == code) return static_cast<int>(i);
    return 0;
}

std::vector<std::string> SplitZInputFields(const std::string& data, int channels) {
    std::vector<std::string> fields;
    for (int c = 0; c < channels; ++c) {
        const std::size_t at = static_cast<std::size_t>(c) * 8;
        if (at + 8 > data.size()) break;
        fields.push_back(data.substr(at, 8));
    }
    return fields;
}

bool ZOutputLimits(int position, double& low, double& high) {
    static constexpr double kLimits[3][2] = {{0, 20}, {4, 20}, {0, 10}};
    if (position < 0 || position > 2) return false;
    low = kLimits[position][0];
    high = kLimits[position][1];
    return true;
}

const char* ZOutputUnit(int position) {
    if (position < 0 || position > 2) return "";
    return position == 2 ? "V" : "mA";
}

} // namespace tavo
