// Typed Modbus requests to one slave, as the Modbus panels make them: coils as
// bits, holding registers as 16-bit words (a 32-bit value is two words, high word
// first). Every operation is one request and its response through the module's
// TavoModbusCOM, and checks the response beyond what the transaction does: it must
// come from the slave that was asked, a read must carry exactly the data the
// request asked for, and a write's echo must repeat the request. Anything else is a
// failure, never data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavo {

class TavoModbusCOM;

class ModbusSlave {
public:
    // Register 213 (one-based) of every module holds its firmware version.
    static constexpr int kFirmwareRegister = 213;
    static constexpr int kMaxCoils = 32;      // what one ReadCoils/WriteCoils call takes
    static constexpr int kMaxRegisters = 125; // the standard's limit of one read

    // `modbus` may be null (every operation then fails); not owned.
    ModbusSlave(TavoModbusCOM* modbus, int slave) : modbus_(modbus), slave_(slave & 0xFF) {}

    int Id() const { return slave_; }

    // Coils first .. first + count - 1 (one-based, count 1 to 32): bit i of `bits` is
    // coil first + i.
    bool ReadCoils(int first, int count, std::uint32_t& bits);
    // Holding registers first .. first + count - 1 (count 1 to 125).
    bool ReadRegisters(int first, int count, std::vector<std::uint16_t>& words);
    // Two registers from `first`, high word first.
    bool ReadLong(int first, std::uint32_t& value);

    bool WriteCoil(int coil, bool on);                          // function 5
    bool WriteRegister(int reg, std::uint16_t value);           // function 6
    bool WriteCoils(int first, int count, std::uint32_t bits);  // function 15, count 1 to 32
    bool WriteRegisters(int first, const std::vector<std::uint16_t>& words); // function 16

    // The firmware register's high and low byte as "%02X.%02X" ("A2.01").
    bool ReadFirmware(std::string& out);

private:
    bool FromThisSlave() const;
    bool EchoMatches(std::size_t hexChars) const;

    TavoModbusCOM* modbus_;
    int slave_;
};

// The firmware register's word as ReadFirmware gives it: high and low byte as
// "%02X.%02X" ("A2.01").
std::string FirmwareWordText(std::uint16_t word);

// The data bytes of a coil read of `count` coils: exactly (count + 7) / 8 bytes, bit
// i of `bits` = coil i (bits past `count` are dropped). False when the length differs.
bool CoilBitsFromData(const std::vector<std::uint8_t>& data, int count, std::uint32_t& bits);
// The data bytes of a register read of `count` registers: exactly 2 × count bytes,
// big-endian words.
bool WordsFromData(const std::vector<std::uint8_t>& data, int count,
                   std::vector<std::uint16_t>& words);

} // namespace tavo
