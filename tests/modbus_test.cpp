// The Modbus RTU master: request bytes, response checks, and interoperability with
// an independent implementation in both directions.
#include "support/pty_peer.h"
#include "support/sim_bus.h"
#include "transport/com_port.h"
#include "transport/modbus.h"

#include <gtest/gtest.h>
#include <modbus/modbus.h>

namespace tavo {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::Hex;
using test::ScriptedPeer;

Bytes WithCrc(Bytes frame) {
    const auto crc = TavoModbusCOM::CalcCRC(frame.data(), frame.size());
    frame.push_back(crc[0]);
    frame.push_back(crc[1]);
    return frame;
}

struct Master {
    explicit Master(const std::string& path, int timeoutMs = 50) : port(path), modbus(&port) {
        EXPECT_TRUE(port.OpenPort()) << port.LastError().text;
        port.SetPortState(9600, 8, kParityNone, kOneStopBit);
        port.SetTimeOut(timeoutMs);
    }
    TavoComPort port;
    TavoModbusCOM modbus;
};

TEST(ModbusFrame, CrcAndHexHelpers) {
    const Bytes frame{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A};
    const auto crc = TavoModbusCOM::CalcCRC(frame.data(), frame.size());
    EXPECT_EQ(crc[0], 0xC5);
    EXPECT_EQ(crc[1], 0xCD);
    Bytes full = WithCrc(frame);
    std::size_t n = full.size();
    EXPECT_TRUE(TavoModbusCOM::CheckCRC(full.data(), n));
    EXPECT_EQ(n, 6u);
    full[3] ^= 1;
    n = full.size();
    EXPECT_FALSE(TavoModbusCOM::CheckCRC(full.data(), n));
    n = 2;
    EXPECT_FALSE(TavoModbusCOM::CheckCRC(full.data(), n));
    std::uint8_t bytes[4];
    EXPECT_EQ(TavoModbusCOM::HexToBytes("0A1b2C", bytes), 3u);
    EXPECT_EQ(TavoModbusCOM::BytesToHex(bytes, 3), "0A1B2C");
}

// Each request operation, the bytes it puts on the wire.
TEST(ModbusFrame, RequestBytes) {
    ScriptedPeer peer;
    Master m(peer.path());
    const std::uint8_t regs[] = {0x12, 0x34, 0xAB, 0xCD};
    const std::uint8_t coils[] = {0x0D, 0x01};
    ASSERT_TRUE(m.modbus.ReadHoldingRegisters(1, 1, 10));
    ASSERT_TRUE(m.modbus.WriteSingleCoil(2, 17, true));
    ASSERT_TRUE(m.modbus.WriteSingleCoil(2, 17, false));
    ASSERT_TRUE(m.modbus.ReadCoils(3, 100, 16));
    ASSERT_TRUE(m.modbus.ReadFunction32(4, 10001, 2));
    ASSERT_TRUE(m.modbus.WriteSingleRegister(5, 40, 0xBEEF));
    ASSERT_TRUE(m.modbus.WriteMultipleRegisters(6, 1, 2, 4, regs));
    ASSERT_TRUE(m.modbus.WriteMultipleCoils(7, 20, 10, 2, coils));
    const std::vector<Bytes> expected = {
        {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD},
        WithCrc({0x02, 0x05, 0x00, 0x10, 0xFF, 0x00}),
        WithCrc({0x02, 0x05, 0x00, 0x10, 0x00, 0x00}),
        WithCrc({0x03, 0x01, 0x00, 0x63, 0x00, 0x10}),
        WithCrc({0x04, 0x20, 0x27, 0x10, 0x00, 0x02}),
        WithCrc({0x05, 0x06, 0x00, 0x27, 0xBE, 0xEF}),
        WithCrc({0x06, 0x10, 0x00, 0x00, 0x00, 0x02, 0x04, 0x12, 0x34, 0xAB, 0xCD}),
        WithCrc({0x07, 0x0F, 0x00, 0x13, 0x00, 0x0A, 0x02, 0x0D, 0x01}),
    };
    Bytes wanted;
    for (const auto& frame : expected) wanted.insert(wanted.end(), frame.begin(), frame.end());
    // The peer cuts requests at pauses in the line, which a loaded machine can move:
    // compare the whole byte stream, once all of it is there.
    Bytes got;
    for (int i = 0; i < 500 && got.size() < wanted.size(); ++i) {
        if (i) std::this_thread::sleep_for(10ms);
        got.clear();
        for (const auto& r : peer.Requests()) got.insert(got.end(), r.begin(), r.end());
    }
    EXPECT_EQ(Hex(got), Hex(wanted));
    EXPECT_EQ(m.modbus.RequestText(), "070F0013000A020D01");
}

TEST(ModbusResponse, GoodExceptionShortAndWrongFunction) {
    ScriptedPeer peer;
    peer.ThenBytes(WithCrc({0x01, 0x03, 0x04, 0x15, 0x50, 0x00, 0x00}));
    peer.ThenBytes(WithCrc({0x01, 0x83, 0x02}));
    Bytes shortFrame = WithCrc({0x01, 0x03, 0x04, 0x15, 0x50, 0x00, 0x00});
    shortFrame.resize(6);
    peer.ThenBytes(shortFrame);
    peer.ThenBytes(WithCrc({0x01, 0x04, 0x02, 0x00, 0x01}));
    Bytes badCrc = WithCrc({0x01, 0x03, 0x02, 0x00, 0x01});
    badCrc.back() ^= 0xFF;
    peer.ThenBytes(badCrc);
    peer.ThenBytes(WithCrc({0x01, 0x06, 0x00, 0x27, 0x00, 0x05}));
    Master m(peer.path(), 30);
    std::vector<std::uint8_t> data;

    ASSERT_TRUE(m.modbus.ReadHoldingRegisters(1, 211, 2));
    ASSERT_TRUE(m.modbus.ReadResponse(data));
    EXPECT_EQ(Hex(data), "15 50 00 00");
    EXPECT_EQ(m.modbus.ResponseText(), "010304155000" "00");

    ASSERT_TRUE(m.modbus.ReadHoldingRegisters(1, 10001, 2));
    const auto start = Clock::now();
    EXPECT_FALSE(m.modbus.ReadResponse(data));
    EXPECT_EQ(m.modbus.LastException(), 2);
    EXPECT_LT(Clock::now() - start, 150ms); // no need to wait out the time-out

    ASSERT_TRUE(m.modbus.ReadHoldingRegisters(1, 211, 2));
    EXPECT_FALSE(m.modbus.ReadResponse(data)); // count says 4, 6 bytes came

    ASSERT_TRUE(m.modbus.ReadHoldingRegisters(1, 211, 1));
    EXPECT_FALSE(m.modbus.ReadResponse(data)); // function 4 answers function 3

    ASSERT_TRUE(m.modbus.ReadHoldingRegisters(1, 211, 1));
    EXPECT_FALSE(m.modbus.ReadResponse(data)); // CRC

    ASSERT_TRUE(m.modbus.WriteSingleRegister(1, 40, 5));
    EXPECT_TRUE(m.modbus.WriteResponse());
    EXPECT_EQ(Hex(data), "15 50 00 00"); // failures left the data alone
}

TEST(ModbusResponse, SilentSlaveAndDrain) {
    ScriptedPeer peer;
    Master m(peer.path(), 20);
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(m.modbus.ReadHoldingRegisters(9, 1, 1));
    EXPECT_FALSE(m.modbus.ReadResponse(data));
    EXPECT_FALSE(m.modbus.WriteResponse());
}

// A request whose answer nobody read: the answer, late on the line, is dropped
// before the next request instead of being taken as that one's.
TEST(ModbusResponse, AnAnswerNeverCollectedIsNotTheNextOnes) {
    ScriptedPeer peer;
    peer.ThenBytes(WithCrc({0x09, 0x03, 0x02, 0x00, 0x01}), 50ms);
    peer.ThenBytes(WithCrc({0x09, 0x03, 0x02, 0x00, 0x02}));
    Master m(peer.path(), 500);
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(m.modbus.ReadHoldingRegisters(9, 1, 1));
    ASSERT_TRUE(m.modbus.ReadHoldingRegisters(9, 1, 1));
    ASSERT_TRUE(m.modbus.ReadResponse(data));
    EXPECT_EQ(Hex(data), "00 02");
}

// Our master against a libmodbus RTU slave, over a null-modem pair of ptys.
TEST(ModbusInterop, OurMasterAgainstIndependentSlave) {
    test::NullModem cable;
    modbus_t* ctx = modbus_new_rtu(cable.a().c_str(), 9600, 'N', 8, 1);
    ASSERT_NE(ctx, nullptr);
    modbus_set_slave(ctx, 17);
    ASSERT_EQ(modbus_connect(ctx), 0) << modbus_strerror(errno);
    modbus_mapping_t* map = modbus_mapping_new(64, 0, 300, 0);
    map->tab_registers[210] = 0x1550;
    map->tab_registers[211] = 0x534F;
    std::atomic<bool> stop{false};
    std::thread slave([&] {
        modbus_set_indication_timeout(ctx, 0, 100000);
        std::uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!stop) {
            const int rc = modbus_receive(ctx, query);
            if (rc > 0) modbus_reply(ctx, query, rc, map);
        }
    });
    {
        Master m(cable.b(), 100);
        std::vector<std::uint8_t> data;
        ASSERT_TRUE(m.modbus.ReadHoldingRegisters(17, 211, 2));
        ASSERT_TRUE(m.modbus.ReadResponse(data));
        EXPECT_EQ(Hex(data), "15 50 53 4F");
        ASSERT_TRUE(m.modbus.WriteSingleRegister(17, 5, 1234));
        EXPECT_TRUE(m.modbus.WriteResponse());
        const std::uint8_t regs[] = {0x00, 0x07, 0x00, 0x08};
        ASSERT_TRUE(m.modbus.WriteMultipleRegisters(17, 6, 2, 4, regs));
        EXPECT_TRUE(m.modbus.WriteResponse());
        ASSERT_TRUE(m.modbus.WriteSingleCoil(17, 3, true));
        EXPECT_TRUE(m.modbus.WriteResponse());
        const std::uint8_t coils[] = {0x05};
        ASSERT_TRUE(m.modbus.WriteMultipleCoils(17, 10, 3, 1, coils));
        EXPECT_TRUE(m.modbus.WriteResponse());
        ASSERT_TRUE(m.modbus.ReadCoils(17, 1, 12));
        ASSERT_TRUE(m.modbus.ReadResponse(data));
        EXPECT_EQ(Hex(data), "04 0A"); // coil 3, then coils 10 and 12
        ASSERT_TRUE(m.modbus.ReadHoldingRegisters(17, 5, 3));
        ASSERT_TRUE(m.modbus.ReadResponse(data));
        EXPECT_EQ(Hex(data), "04 D2 00 07 00 08");
        ASSERT_TRUE(m.modbus.ReadHoldingRegisters(17, 1000, 1));
        EXPECT_FALSE(m.modbus.ReadResponse(data));
        EXPECT_EQ(m.modbus.LastException(), 2);
    }
    stop = true;
    slave.join();
    modbus_mapping_free(map);
    modbus_close(ctx);
    modbus_free(ctx);
}

// An independent master against the simulator's Modbus side.
TEST(ModbusInterop, IndependentMasterAgainstSimulator) {
    test::SimBus sim("0A R560SO protocol=modbus\n21 K100E protocol=modbus\n05 R210D\n");
    {
        std::lock_guard lock(sim.bus().mutex());
        auto& m = sim.module(0x0A);
        m.holding[100] = 7;
        m.writable.insert(100);
        m.coils[0] = false;
        m.coils[1] = false;
    }
    modbus_t* ctx = modbus_new_rtu(sim.path().c_str(), 9600, 'N', 8, 1);
    ASSERT_NE(ctx, nullptr);
    ASSERT_EQ(modbus_connect(ctx), 0) << modbus_strerror(errno);
    modbus_set_response_timeout(ctx, 0, 300000);
    std::uint16_t regs[2] = {};
    modbus_set_slave(ctx, 0x0A);
    ASSERT_EQ(modbus_read_registers(ctx, 210, 2, regs), 2) << modbus_strerror(errno);
    EXPECT_EQ(regs[0], 0x1560);
    EXPECT_EQ(regs[1], ('S' << 8) | 'O');
    EXPECT_EQ(modbus_read_registers(ctx, 10000, 2, regs), -1);
    EXPECT_EQ(errno, EMBXILADD);
    EXPECT_EQ(modbus_write_register(ctx, 100, 99), 1);
    ASSERT_EQ(modbus_read_registers(ctx, 100, 1, regs), 1);
    EXPECT_EQ(regs[0], 99);
    EXPECT_EQ(modbus_write_register(ctx, 210, 1), -1); // identity is read-only
    EXPECT_EQ(modbus_write_bit(ctx, 1, 1), 1);
    std::uint8_t bits[2] = {};
    ASSERT_EQ(modbus_read_bits(ctx, 0, 2, bits), 2);
    EXPECT_EQ(bits[0], 0);
    EXPECT_EQ(bits[1], 1);
    EXPECT_EQ(modbus_read_input_registers(ctx, 0, 1, regs), -1); // not offered
    EXPECT_EQ(errno, EMBXILFUN);
    modbus_set_slave(ctx, 0x21);
    ASSERT_EQ(modbus_read_registers(ctx, 10000, 2, regs), 2) << modbus_strerror(errno);
    EXPECT_EQ(regs[0], 0x2190);
    modbus_set_slave(ctx, 0x05); // an ASCII module keeps quiet
    EXPECT_EQ(modbus_read_registers(ctx, 210, 2, regs), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    modbus_close(ctx);
    modbus_free(ctx);
}

} // namespace
} // namespace tavo
