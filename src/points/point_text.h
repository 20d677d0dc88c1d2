// Points as text: the values a user types, the numbers we print, and the JSON, CSV
// and table lines of `tavo read`/`watch`, the recorder and the gateway. Nothing here
// depends on the process locale or time zone.
#pragma once

#include "module_points.h"
#include "point.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavo {

// A value typed for `info`: digital points take 0, 1, ON, OFF, true, false (any
// case); the others a plain decimal number (sign, digits, one point, an exponent;
// no inf, nan, hexadecimal or trailing text). nullopt with one line in `error`.
std::optional<double> ParsePointValue(const PointInfo& info, std::string_view text,
                                      std::string& error);
// A unit as the panels write it ("'C", "'F", "Ohms", "ohm", "?" for one they do not
// know) as people write it ("°C", "°F", "Ω", empty); others unchanged ("mV", "mA").
std::string PointUnit(std::string_view panelUnit);

// False with one line in `error` when `value` lies outside the point's limits.
bool WithinLimits(const PointInfo& info, double value, std::string& error);

// `value` rounded to `decimals` and written in the shortest form that reads back as
// that rounded number ("141.5", "4", "-0.25"); never an exponent below 1e15.
std::string FormatPointNumber(double value, int decimals);
// The value as a table or CSV shows it: the number (digital 1 or 0) when good,
// empty otherwise.
std::string PointValueText(const PointInfo& info, const PointReading& reading);
// "ai0..ai7, do0..do3": a model's point names with runs folded.
std::string PointNameList(const std::vector<PointInfo>& points);

// ISO 8601 in UTC with milliseconds: "2026-12-09T15:28:53.123Z".
std::string IsoTimeUtc(std::chrono::system_clock::time_point time);

// One object: {"address":"09","model":"R270P","protocol":"ascii","time":"…",
// "points":[{"name":"ai0","kind":"analog-input","value":141.5,"unit":"°C",
// "quality":"good"},…]}; value null unless good, digital values true/false.
std::string PointsJson(const ModulePoints& module, std::chrono::system_clock::time_point time);
// The same object with only the points at `indexes`, in that order (`tavo watch`
// lists the points a poll changed).
std::string PointsJson(const ModulePoints& module, std::chrono::system_clock::time_point time,
                       const std::vector<std::size_t>& indexes);

// The CSV header and the rows of the points whose reading is newer than
// `sinceSerial` (all with 0): time,address,point,value,unit,quality. Fields are
// quoted where they hold a comma, quote or line end.
inline constexpr std::string_view kPointsCsvHeader = "time,address,point,value,unit,quality\n";
std::string PointsCsvRows(const ModulePoints& module, std::chrono::system_clock::time_point time,
                          unsigned long sinceSerial = 0);
// One row of that layout: `stamp` as IsoTimeUtc writes it, `address` as LocationText.
std::string PointCsvRow(const std::string& stamp, const std::string& address, const PointInfo& info,
                        const PointReading& reading);

// One line per point: name, value (or "-"), unit and quality in aligned columns.
std::string PointsTable(const ModulePoints& module);

} // namespace tavo
