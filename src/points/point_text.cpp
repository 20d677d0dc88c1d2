#include "point_text.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace tavo {
namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::string CsvField(const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string quoted = "\"";
    for (const char c : field) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

// "ai" and 7 for "ai7"; an empty prefix for names without a trailing number.
std::pair<std::string, int> SplitName(const std::string& name) {
    std::size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
    if (digits == name.size() || name.size() - digits > 6) return {name, -1};
    return {name.substr(0, digits), std::stoi(name.substr(digits))};
}

} // namespace

std::string_view PointKindName(PointKind kind) {
    switch (kind) {
    case PointKind::AnalogInput: return "analog-input";
    case PointKind::AnalogOutput: return "analog-output";
    case PointKind::DigitalInput: return "digital-input";
    case PointKind::DigitalOutput: return "digital-output";
    case PointKind::Counter: return "counter";
    case PointKind::Frequency: return "frequency";
    }
    return "analog-input";
}

std::optional<PointKind> PointKindFromName(std::string_view name) {
    for (const auto kind : {PointKind::AnalogInput, PointKind::AnalogOutput, PointKind::DigitalInput,
                            PointKind::DigitalOutput, PointKind::Counter, PointKind::Frequency})
        if (PointKindName(kind) == name) return kind;
    return std::nullopt;
}

std::string_view PointQualityName(PointQuality quality) {
    switch (quality) {
    case PointQuality::Good: return "good";
    case PointQuality::BurnOut: return "burn-out";
    case PointQuality::OverRange: return "over-range";
    case PointQuality::UnderRange: return "under-range";
    case PointQuality::Disabled: return "disabled";
    case PointQuality::Failed: return "failed";
    }
    return "failed";
}

std::optional<double> ParsePointValue(const PointInfo& info, std::string_view text,
                                      std::string& error) {
    const std::string_view value = Trimmed(text);
    if (IsDigital(info.kind)) {
        for (const std::string_view on : {"1", "on", "true"})
            if (EqualNoCase(value, on)) return 1.0;
        for (const std::string_view off : {"0", "off", "false"})
            if (EqualNoCase(value, off)) return 0.0;
        error = "'" + std::string(text) + "' is no value for the digital point " + info.name +
                " (give 0, 1, ON, OFF, true or false)";
        return std::nullopt;
    }
    double number = 0.0;
    const char* first = value.data();
    const char* last = first + value.size();
    // from_chars takes no leading '+'; a typed "+4.5" is a plain number all the same.
    if (first != last && *first == '+' && last - first > 1 && first[1] != '-' && first[1] != '+')
        ++first;
    const auto [end, ec] = std::from_chars(first, last, number, std::chars_format::general);
    if (value.empty() || ec != std::errc() || end != last || !std::isfinite(number)) {
        error = "'" + std::string(text) + "' is not a number (" + info.name + " takes a decimal value" +
                (info.unit.empty() ? "" : " in " + info.unit) + ")";
        return std::nullopt;
    }
    return number;
}

std::string PointUnit(std::string_view panelUnit) {
    if (panelUnit == "'C") return "°C";
    if (panelUnit == "'F") return "°F";
    if (panelUnit == "Ohms" || panelUnit == "ohm" || panelUnit == "Ohm") return "Ω";
    if (panelUnit == "?") return {};
    return std::string(panelUnit);
}

bool WithinLimits(const PointInfo& info, double value, std::string& error) {
    const bool low = !std::isnan(info.min) && value < info.min;
    const bool high = !std::isnan(info.max) && value > info.max;
    if (!low && !high) return true;
    const std::string unit = info.unit.empty() ? "" : " " + info.unit;
    error = FormatPointNumber(value, 9) + " is outside the range of " + info.name + " (" +
            (std::isnan(info.min) ? std::string("-") : FormatPointNumber(info.min, 9)) + " to " +
            (std::isnan(info.max) ? std::string("-") : FormatPointNumber(info.max, 9)) + unit + ")";
    return false;
}

std::string FormatPointNumber(double value, int decimals) {
    decimals = std::clamp(decimals, 0, 12);
    const double scale = std::pow(10.0, decimals);
    // A value too large to scale has no digits after the point to round anyway.
    const double scaled = value * scale;
    double rounded = std::isfinite(scaled) ? std::round(scaled) / scale : value;
    if (rounded == 0.0) rounded = 0.0; // no "-0"
    // Room for the largest double in fixed notation (309 digits) and 12 decimals.
    std::array<char, 336> text{};
    auto result = std::to_chars(text.data(), text.data() + text.size(), rounded);
    if (result.ec != std::errc() || std::fabs(rounded) >= 1e15)
        result = std::to_chars(text.data(), text.data() + text.size(), rounded,
                               std::chars_format::fixed, decimals);
    return std::string(text.data(), result.ptr);
}

std::string PointValueText(const PointInfo& info, const PointReading& reading) {
    if (reading.quality != PointQuality::Good) return {};
    if (IsDigital(info.kind)) return reading.value != 0.0 ? "1" : "0";
    return FormatPointNumber(reading.value, info.decimals);
}

std::string PointNameList(const std::vector<PointInfo>& points) {
    std::string list;
    std::size_t i = 0;
    while (i < points.size()) {
        const auto [prefix, number] = SplitName(points[i].name);
        std::size_t j = i;
        while (number >= 0 && j + 1 < points.size()) {
            const auto [nextPrefix, nextNumber] = SplitName(points[j + 1].name);
            if (nextPrefix != prefix || nextNumber != number + static_cast<int>(j + 1 - i)) break;
            ++j;
        }
        if (!list.empty()) list += ", ";
        list += points[i].name;
        if (j > i) list += (j == i + 1 ? ", " : "..") + points[j].name;
        i = j + 1;
    }
    return list;
}

std::string IsoTimeUtc(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(time.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(ms - static_cast<long long>(seconds) * 1000));
    return text;
}

std::string PointsJson(const ModulePoints& module, std::chrono::system_clock::time_point time) {
    std::vector<std::size_t> all(module.Points().size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    return PointsJson(module, time, all);
}

std::string PointsJson(const ModulePoints& module, std::chrono::system_clock::time_point time,
                       const std::vector<std::size_t>& indexes) {
    nlohmann::ordered_json object;
    object["address"] = LocationText(module.Location());
    object["model"] = module.Model();
    object["protocol"] = PointProtocolName(module.Location().protocol);
    object["time"] = IsoTimeUtc(time);
    auto& list = object["points"] = nlohmann::ordered_json::array();
    const auto& points = module.Points();
    const auto& readings = module.Readings();
    for (const std::size_t i : indexes) {
        if (i >= points.size()) continue;
        nlohmann::ordered_json point;
        point["name"] = points[i].name;
        point["kind"] = PointKindName(points[i].kind);
        if (readings[i].quality != PointQuality::Good)
            point["value"] = nullptr;
        else if (IsDigital(points[i].kind))
            point["value"] = readings[i].value != 0.0;
        else
            point["value"] = nlohmann::ordered_json::parse(FormatPointNumber(readings[i].value, points[i].decimals));
        point["unit"] = points[i].unit;
        point["quality"] = PointQualityName(readings[i].quality);
        list.push_back(std::move(point));
    }
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string PointsCsvRows(const ModulePoints& module, std::chrono::system_clock::time_point time,
                          unsigned long sinceSerial) {
    const std::string stamp = IsoTimeUtc(time);
    const std::string address = LocationText(module.Location());
    std::string rows;
    const auto& points = module.Points();
    const auto& readings = module.Readings();
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (readings[i].serial <= sinceSerial && sinceSerial != 0) continue;
        rows += PointCsvRow(stamp, address, points[i], readings[i]);
    }
    return rows;
}

std::string PointCsvRow(const std::string& stamp, const std::string& address, const PointInfo& info,
                        const PointReading& reading) {
    return stamp + ',' + address + ',' + CsvField(info.name) + ',' + PointValueText(info, reading) +
           ',' + CsvField(info.unit) + ',' + std::string(PointQualityName(reading.quality)) + '\n';
}

// Characters on screen: "°C" is three bytes but two characters.
std::size_t ShownWidth(const std::string& text) {
    std::size_t shown = 0;
    for (const unsigned char c : text) shown += (c & 0xC0) != 0x80;
    return shown;
}

std::string PointsTable(const ModulePoints& module) {
    const auto& points = module.Points();
    const auto& readings = module.Readings();
    std::size_t nameWidth = 4, valueWidth = 5, unitWidth = 1;
    std::vector<std::string> values;
    for (std::size_t i = 0; i < points.size(); ++i) {
        std::string value = PointValueText(points[i], readings[i]);
        if (value.empty()) value = "-";
        nameWidth = std::max(nameWidth, points[i].name.size());
        valueWidth = std::max(valueWidth, value.size());
        unitWidth = std::max(unitWidth, ShownWidth(points[i].unit));
        values.push_back(std::move(value));
    }
    std::string table;
    for (std::size_t i = 0; i < points.size(); ++i) {
        std::string line = points[i].name;
        line.append(nameWidth + 2 - points[i].name.size(), ' ');
        line.append(valueWidth - values[i].size(), ' ');
        line += values[i] + "  " + points[i].unit;
        line.append(unitWidth + 2 - ShownWidth(points[i].unit), ' ');
        line += PointQualityName(readings[i].quality);
        table += line + '\n';
    }
    return table;
}

} // namespace tavo
