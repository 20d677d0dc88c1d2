#include "analog_input_points.h"

#include "families.h"

#include <array>

namespace tavo {
namespace analog_points {
namespace {

constexpr std::array<SingleInputModel, 5> kSingleInputs{{
    {"R210", RangeList::R210, -1, 2, true, true, false},
    {"R210D", RangeList::R210, -1, 2, true, true, false},
    {"R220", RangeList::R220, -1, 2, true, true, false},
    // The RTD module's third data format reports the sensor's resistance.
    {"R230", RangeList::R230, 3, 0, false, false, false},
    {"R250", RangeList::R250, -1, 4, false, false, true},
}};

const std::array<MultiInputModel, 13> kMultiInputs{{
    {.designation = "R240", .channels = 6, .ranges = RangeList::R240, .ohmsCode = 1},
    {.designation = "R240T",
     .channels = 6,
     .ranges = RangeList::R240T,
     .ohmsCode = 1,
     .fahrenheitRanges = RangeList::R240TFahrenheit},
    {.designation = "R260", .ranges = RangeList::R220, .rangePerChannel = false},
    {.designation = "R260P", .ranges = RangeList::R260P},
    {.designation = "R270", .ranges = RangeList::R270, .rangePerChannel = false},
    {.designation = "R270P", .ranges = RangeList::R270P},
    {.designation = "R270M",
     .ranges = RangeList::R270M,
     .rangePerChannel = false,
     .channelReads = true},
    // Channel 0 lists its current range under another text; the codes and units
    // are the other channels'.
    {.designation = "R280", .ranges = RangeList::R280},
    // The B revision reports itself as R280P.
    {.designation = "R280P", .ranges = RangeList::R280B},
    {.designation = "R810", .ranges = RangeList::R810},
    {.designation = "R820", .ranges = RangeList::R820},
    {.designation = "R260AN", .ranges = RangeList::R260AN},
    {.designation = "R270AN", .ranges = RangeList::R270AN},
}};

constexpr std::array<ModbusInputModel, 9> kModbusInputs{{
    {"R240", 6, RangeList::R240, RawScaling::None, false},
    {"R240T", 6, RangeList::R240TModbus, RawScaling::None, false},
    {"R260P", 8, RangeList::R260P, RawScaling::R260P, false},
    {"R270P", 8, RangeList::R270P, RawScaling::R270P, true},
    {"R280P", 8, RangeList::R280BModbus, RawScaling::R280B, false},
    {"R810", 8, RangeList::R810, RawScaling::R810, false},
    {"R820", 8, RangeList::R820, RawScaling::R820, false},
    {"R260AN", 8, RangeList::R260AN, RawScaling::R810, false},
    {"R270AN", 8, RangeList::R270AN, RawScaling::R820, false},
}};

template <class Table>
const typename Table::value_type* Find(const Table& table, std::string_view model) {
    for (const auto& row : table)
        if (row.designation == model) return &row;
    return nullptr;
}

} // namespace

std::string PointName(std::string_view prefix, int channel) {
    return std::string(prefix) + std::to_string(channel);
}

PointInfo NamedPoint(std::string name, PointKind kind) {
    PointInfo info;
    info.name = std::move(name);
    info.kind = kind;
    return info;
}

} // namespace analog_points

FamilyAnswer MakeAnalogInputPoints(std::string_view model, const ModuleLocation& where) {
    using namespace analog_points;
    const auto* single = Find(kSingleInputs, model);
    const auto* multi = Find(kMultiInputs, model);
    const auto* modbus = Find(kModbusInputs, model);
    if (!single && !multi) return {};
    FamilyAnswer answer;
    if (where.slot >= 0) {
        answer.refusal = std::string(model) + " is a module of its own: it has no slots";
    } else if (where.protocol == PointProtocol::Modbus) {
        if (modbus)
            answer.points = MakeModbusInputPoints(*modbus, where);
        else
            answer.refusal =
                std::string(model) + " does not speak Modbus (it has no Modbus variant)";
    } else if (single) {
        answer.points = MakeSingleInputPoints(*single, where);
    } else {
        answer.points = MakeMultiInputPoints(*multi, where);
    }
    return answer;
}

} // namespace tavo
