// A master that is not ours, libmodbus, for the tests that read and write the
// simulator's Modbus maps over its pseudo-terminal.
#pragma once

#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

namespace tavo::test {

// A libmodbus RTU master on the simulator's device.
class Master {
public:
    explicit Master(const std::string& path) : ctx_(modbus_new_rtu(path.c_str(), 9600, 'N', 8, 1)) {
        EXPECT_NE(ctx_, nullptr);
        EXPECT_EQ(modbus_connect(ctx_), 0) << modbus_strerror(errno);
        modbus_set_response_timeout(ctx_, 0, 300000);
    }
    ~Master() {
        modbus_close(ctx_);
        modbus_free(ctx_);
    }
    Master(const Master&) = delete;
    Master& operator=(const Master&) = delete;

    void Slave(int id) { modbus_set_slave(ctx_, id); }

    // Coils from wire address `first`, as a string of 0s and 1s ("" on failure).
    std::string Bits(int first, int count) {
        std::vector<std::uint8_t> bits(static_cast<std::size_t>(count));
        if (modbus_read_bits(ctx_, first, count, bits.data()) != count) return "";
        std::string out;
        for (auto b : bits)
            out += b ? '1' : '0';
        return out;
    }
    std::vector<std::uint16_t> Registers(int first, int count) {
        std::vector<std::uint16_t> regs(static_cast<std::size_t>(count));
        if (modbus_read_registers(ctx_, first, count, regs.data()) != count) return {};
        return regs;
    }
    // 0 when the write was taken, else the errno of its failure (EMBX...).
    int WriteBit(int coil, bool on) { return Result(modbus_write_bit(ctx_, coil, on) == 1); }
    int WriteBits(int first, const std::vector<std::uint8_t>& bits) {
        const int n = static_cast<int>(bits.size());
        return Result(modbus_write_bits(ctx_, first, n, bits.data()) == n);
    }
    int WriteRegister(int reg, std::uint16_t value) {
        return Result(modbus_write_register(ctx_, reg, value) == 1);
    }
    int WriteRegisters(int first, const std::vector<std::uint16_t>& values) {
        const int n = static_cast<int>(values.size());
        return Result(modbus_write_registers(ctx_, first, n, values.data()) == n);
    }
    // A request libmodbus would not build itself (PDU after the slave address): the
    // exception code of the answer, 0 for a normal answer, -1 for none.
    int RawException(int slave, std::vector<std::uint8_t> pdu) {
        Slave(slave); // libmodbus drops answers from any other slave
        pdu.insert(pdu.begin(), static_cast<std::uint8_t>(slave));
        if (modbus_send_raw_request(ctx_, pdu.data(), static_cast<int>(pdu.size())) < 0) return -1;
        std::uint8_t rsp[MODBUS_RTU_MAX_ADU_LENGTH];
        const int n = modbus_receive_confirmation(ctx_, rsp);
        if (n < 0) return -1;
        return n >= 5 && (rsp[1] & 0x80) ? rsp[2] : 0;
    }

private:
    static int Result(bool ok) { return ok ? 0 : errno; }
    modbus_t* ctx_;
};

} // namespace tavo::test
