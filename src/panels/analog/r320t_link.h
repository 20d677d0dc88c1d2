// How the loop controller panels reach the R320T's PID table: the ASCII parameter
// commands, or Modbus registers for the module's Modbus variant. The forms and the
// dialogs are the same; only this object differs.
#pragma once

#include "points/loop_values.h"

#include "devices/loop_table.h"
#include "devices/modbus_slave.h"

#include <string>

namespace tavo {

class TavoMR320T;

class R320TLink {
public:
    virtual ~R320TLink() = default;
    // The blocks one pass of the poll reads, in turn, and how many entries each has.
    virtual int Blocks() const = 0;
    virtual int BlockEntries() const = 0;
    // Block `block` of loop `loop` into its places of `table`; false (table
    // untouched) on a failed transaction or a reply that is not that data.
    virtual bool ReadBlock(int loop, int block, loop::PidTable& table) = 0;
    // One entry (0 to 255).
    virtual bool ReadEntry(int entry, std::int32_t& value) = 0;
    // Every entry of both loops (an export), in reads as large as the link allows;
    // false (table untouched) at the first failure.
    virtual bool ReadTable(loop::PidTable& table) = 0;
    virtual bool WriteEntry(int entry, std::int32_t value) = 0;
};

// "#AAPR{ff}{cc}" (16 entries a block, eight blocks a loop) and "#AAPW{ii}{%08X}".
class R320TAsciiLink : public R320TLink {
public:
    explicit R320TAsciiLink(TavoMR320T& module) : module_(module) {}
    int Blocks() const override { return 8; }
    int BlockEntries() const override { return 16; }
    bool ReadBlock(int loop, int block, loop::PidTable& table) override;
    bool ReadEntry(int entry, std::int32_t& value) override;
    bool ReadTable(loop::PidTable& table) override;
    bool WriteEntry(int entry, std::int32_t value) override;

private:
    bool Read(int first, int count, loop::PidTable& table);
    TavoMR320T& module_;
};

// Function 3 of 100 registers from 1000 + loop x 256 + block x 100 (50 entries,
// two blocks: indices 0 to 99); function 16 of two registers at 1000 + 2 x entry.
class R320TModbusLink : public R320TLink {
public:
    static constexpr int kTableRegister = loop::kTableRegister;
    R320TModbusLink(TavoMR320T& module, const std::string& address);
    int Blocks() const override { return 2; }
    int BlockEntries() const override { return 50; }
    bool ReadBlock(int loop, int block, loop::PidTable& table) override;
    bool ReadEntry(int entry, std::int32_t& value) override;
    bool ReadTable(loop::PidTable& table) override;
    bool WriteEntry(int entry, std::int32_t value) override;
    ModbusSlave& Slave() { return slave_; }

private:
    // Entries first .. first + count - 1 (count up to 62, one read's worth).
    bool Read(int first, int count, loop::PidTable& table);
    ModbusSlave slave_;
};

} // namespace tavo
