// Where a module's points sit for a Modbus TCP client: fixed for a model, made from
// its points' kinds and order only. Numbers are one-based as SCADA lists write them
// (the frame carries the number minus one).
//
// - input registers from 1: each analog point (inputs and outputs) as an IEEE-754
//   float in two registers, high word first, in point order; then the digital inputs,
//   counters and frequencies likewise;
// - discrete inputs from 1: the digital inputs; coils from 1: the digital outputs;
// - holding registers from 1: the analog outputs as floats, two registers each;
// - input registers from 1001: one quality code per point, in point order.
//
// A module is the unit id of its address; a rack's slot shares the rack's unit id
// with 100 × (slot + 1) added to every number.
#pragma once

#include "points/point.h"

#include <string>
#include <string_view>
#include <vector>

namespace tavo::gateway {

enum class ModbusTable { Coils, DiscreteInputs, InputRegisters, HoldingRegisters, QualityRegisters };
std::string_view ModbusTableName(ModbusTable table); // "coil", "discrete input", ...

// The numbers of one module or slot, from 1 (before the slot's offset).
struct ModbusLayout {
    std::vector<int> inputFloats;   // point index of each float in the input registers
    std::vector<int> discreteInputs;
    std::vector<int> coils;
    std::vector<int> holdingFloats;
    int qualities = 0; // every point

    // How many coils or registers the table holds.
    int Size(ModbusTable table) const;
    // The point index at zero-based `offset` of `table` (a float's two registers give
    // the same point).
    int PointAt(ModbusTable table, int offset) const;
};
ModbusLayout LayoutOf(const std::vector<PointInfo>& points);

// Every table of a unit holds at most this many numbers per module or slot, which
// keeps a rack's slots apart.
constexpr int kModbusSlotSpan = 100;
// Quality registers start here (zero-based 1000).
constexpr int kModbusQualityBase = 1000;
// 0 for the module itself, 100 × (slot + 1) for a rack's slot.
inline int ModbusOffset(int slot) { return slot < 0 ? 0 : kModbusSlotSpan * (slot + 1); }

// One line of the printed map.
struct ModbusMapRow {
    int unit = 0;
    ModbusTable table = ModbusTable::InputRegisters;
    int first = 0; // one-based
    int last = 0;  // the same as first for a coil or quality register
    std::string point;
    PointKind kind = PointKind::AnalogInput;
    std::string unitText; // the engineering unit; empty while not known
    bool writable = false;
};
// The rows of one module or slot at `address` (`slot` -1 for none), ordered by table
// and number. `writable` names the points that may be written.
std::vector<ModbusMapRow> MapRows(int address, int slot, const std::vector<PointInfo>& points,
                                  const std::vector<std::string>& writable);

} // namespace tavo::gateway
