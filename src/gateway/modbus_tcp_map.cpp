#include "modbus_tcp_map.h"

#include <algorithm>

namespace tavo::gateway {

std::string_view ModbusTableName(ModbusTable table) {
    switch (table) {
    case ModbusTable::Coils: return "coil";
    case ModbusTable::DiscreteInputs: return "discrete input";
    case ModbusTable::InputRegisters: return "input register";
    case ModbusTable::HoldingRegisters: return "holding register";
    case ModbusTable::QualityRegisters: return "input register (quality)";
    }
    return "";
}

ModbusLayout LayoutOf(const std::vector<PointInfo>& points) {
    ModbusLayout l;
    const int n = static_cast<int>(points.size());
    for (int i = 0; i < n; ++i) {
        const PointKind k = points[static_cast<std::size_t>(i)].kind;
        if (k == PointKind::AnalogInput || k == PointKind::AnalogOutput) l.inputFloats.push_back(i);
        if (k == PointKind::AnalogOutput) l.holdingFloats.push_back(i);
        if (k == PointKind::DigitalInput) l.discreteInputs.push_back(i);
        if (k == PointKind::DigitalOutput) l.coils.push_back(i);
    }
    for (int i = 0; i < n; ++i) {
        const PointKind k = points[static_cast<std::size_t>(i)].kind;
        if (k == PointKind::DigitalInput || k == PointKind::Counter || k == PointKind::Frequency)
            l.inputFloats.push_back(i);
    }
    l.qualities = n;
    return l;
}

int ModbusLayout::Size(ModbusTable table) const {
    switch (table) {
    case ModbusTable::Coils: return static_cast<int>(coils.size());
    case ModbusTable::DiscreteInputs: return static_cast<int>(discreteInputs.size());
    case ModbusTable::InputRegisters: return 2 * static_cast<int>(inputFloats.size());
    case ModbusTable::HoldingRegisters: return 2 * static_cast<int>(holdingFloats.size());
    case ModbusTable::QualityRegisters: return qualities;
    }
    return 0;
}

int ModbusLayout::PointAt(ModbusTable table, int offset) const {
    const auto at = [](const std::vector<int>& v, int i) { return v[static_cast<std::size_t>(i)]; };
    switch (table) {
    case ModbusTable::Coils: return at(coils, offset);
    case ModbusTable::DiscreteInputs: return at(discreteInputs, offset);
    case ModbusTable::InputRegisters: return at(inputFloats, offset / 2);
    case ModbusTable::HoldingRegisters: return at(holdingFloats, offset / 2);
    case ModbusTable::QualityRegisters: return offset;
    }
    return 0;
}

std::vector<ModbusMapRow> MapRows(int address, int slot, const std::vector<PointInfo>& points,
                                  const std::vector<std::string>& writable) {
    const ModbusLayout layout = LayoutOf(points);
    const int offset = ModbusOffset(slot);
    std::vector<ModbusMapRow> rows;
    const auto canWrite = [&](const PointInfo& p) {
        return p.writable && std::find(writable.begin(), writable.end(), p.name) != writable.end();
    };
    for (const ModbusTable table : {ModbusTable::InputRegisters, ModbusTable::DiscreteInputs, ModbusTable::Coils,
                                    ModbusTable::HoldingRegisters, ModbusTable::QualityRegisters}) {
        const int width = table == ModbusTable::InputRegisters || table == ModbusTable::HoldingRegisters ? 2 : 1;
        const int base = table == ModbusTable::QualityRegisters ? kModbusQualityBase : 0;
        for (int i = 0; i < layout.Size(table); i += width) {
            const PointInfo& p = points[static_cast<std::size_t>(layout.PointAt(table, i))];
            ModbusMapRow row;
            row.unit = address;
            row.table = table;
            row.first = base + offset + i + 1;
            row.last = row.first + width - 1;
            row.point = p.name;
            row.kind = p.kind;
            row.unitText = p.unit;
            // What a client may write: the coils and holding registers of writable points.
            row.writable = (table == ModbusTable::Coils || table == ModbusTable::HoldingRegisters) && canWrite(p);
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

} // namespace tavo::gateway
