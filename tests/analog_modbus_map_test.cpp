// The Modbus maps of the simulated analog modules, read and written by a master
// that is not ours (libmodbus) over the simulator's pseudo-terminal: raw values over
// each channel's range, range codes, the enable mask, burn-out flags, firmware, the
// R330's outputs and inputs, and the exceptions a slave gives.
#include "support/modbus_master.h"
#include "support/sim_bus.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

namespace tavo {
namespace {

using test::Master;
using test::SimBus;
using Words = std::vector<std::uint16_t>;

TEST(AnalogModbusMap, InputValuesRangesMaskBurnOutAndFirmware) {
    SimBus sim("0A R270P protocol=modbus firmware=A2.05 value0=1370 value4=4 value5=20 "
               "value6=0 value7=-20 burnout=02\n"
               "0B R270P protocol=modbus firmware=A2.01 value0=500\n"
               "0C R810 protocol=modbus value=0\n"
               "0D R240 protocol=modbus\n");
    Master m(sim.path());

    m.Slave(0x0A);
    // Raw values: 0 .. 65535 over the range, burnt out at the top.
    const Words raw = m.Registers(0, 8);
    ASSERT_EQ(raw.size(), 8u);
    EXPECT_EQ(raw[0], 65535); // K at 1370 'C
    EXPECT_EQ(raw[1], 65535); // open sensor
    EXPECT_EQ(raw[4], 0);     // 4 mA on 4-20 mA
    EXPECT_EQ(raw[5], 65535);
    EXPECT_EQ(raw[6], 32768); // 0 mA on +/-20 mA
    EXPECT_EQ(raw[7], 0);
    EXPECT_EQ(m.Bits(200, 8), "01000000");
    EXPECT_EQ(m.Registers(200, 8), (Words{0x0F, 0x0F, 0x0E, 0x0E, 0x07, 0x07, 0x06, 0x06}));
    EXPECT_EQ(m.Registers(212, 1), Words{0xA205});
    EXPECT_EQ(m.Registers(220, 1), Words{0xFF});

    // Ranges and mask read back; what the module does not have is refused whole.
    EXPECT_EQ(m.WriteRegister(200 + 4, 0x06), 0);
    EXPECT_EQ(m.Registers(204, 1), Words{0x06});
    EXPECT_EQ(m.Registers(4, 1), Words{32768 + 6553}); // 4 mA on +/-20 mA
    EXPECT_EQ(m.WriteRegister(200, 0x08), EMBXILVAL);  // no +/-10 V on this model
    EXPECT_EQ(m.WriteRegister(200, 0x010F), EMBXILVAL);
    EXPECT_EQ(m.WriteRegisters(200, {0x0E, 0x30}), EMBXILVAL);
    EXPECT_EQ(m.Registers(200, 2), (Words{0x0F, 0x0F}));
    EXPECT_EQ(m.WriteRegister(220, 0x7F), 0);
    EXPECT_EQ(m.Registers(220, 1), Words{0x7F});
    EXPECT_EQ(m.Registers(7, 1), Words{0}); // a disabled channel reads nothing
    EXPECT_EQ(m.WriteRegister(220, 0x1FF), EMBXILVAL);
    EXPECT_EQ(m.WriteRegisters(200, {0x0E, 0x0E}), 0);
    EXPECT_EQ(m.Registers(200, 2), (Words{0x0E, 0x0E}));
    // Read only: values, firmware, burn-out flags.
    EXPECT_EQ(m.WriteRegister(0, 1), EMBXILADD);
    EXPECT_EQ(m.WriteRegister(212, 1), EMBXILADD);
    EXPECT_EQ(m.Registers(8, 1), Words{}); // eight channels
    EXPECT_EQ(m.Bits(208, 1), "");

    // Firmware before A2.02 scales K to 1000 'C.
    m.Slave(0x0B);
    EXPECT_EQ(m.Registers(0, 1), Words{32768});

    m.Slave(0x0C);
    EXPECT_EQ(m.Registers(200, 1), Words{0x07});
    EXPECT_EQ(m.WriteRegister(200, 0x55), 0); // 0..15 V
    EXPECT_EQ(m.Registers(0, 1), Words{0});

    m.Slave(0x0D);
    EXPECT_EQ(m.Registers(0, 6).size(), 6u);
    EXPECT_EQ(m.Registers(0, 7), Words{}); // six channels
    EXPECT_EQ(m.WriteRegister(220, 0x40), EMBXILVAL);
}

TEST(AnalogModbusMap, R330OutputsRangesAndInputs) {
    SimBus sim("0C R330 protocol=modbus firmware=A1.10 outrange=30,32,31,32 di=9\n");
    Master m(sim.path());
    m.Slave(0x0C);
    EXPECT_EQ(m.Registers(200, 4), (Words{0x30, 0x32, 0x31, 0x32}));
    EXPECT_EQ(m.Registers(212, 1), Words{0xA110});
    EXPECT_EQ(m.Bits(0, 4), "1001");
    EXPECT_EQ(m.Registers(0, 4), (Words{0, 0, 0, 0})); // start-up at the bottom
    EXPECT_EQ(m.WriteRegister(1, 4095), 0);            // +10 V
    EXPECT_EQ(m.Registers(1, 1), Words{4095});
    EXPECT_EQ(m.WriteRegisters(2, {2048, 1}), 0);
    EXPECT_EQ(m.Registers(2, 2), (Words{2048, 1}));
    EXPECT_EQ(m.WriteRegister(0, 4096), EMBXILVAL); // above the scale
    EXPECT_EQ(m.WriteRegister(200, 0x31), 0);
    EXPECT_EQ(m.Registers(200, 1), Words{0x31});
    EXPECT_EQ(m.WriteRegister(200, 0x33), EMBXILVAL);
    EXPECT_EQ(m.WriteBit(0, true), EMBXILFUN); // inputs only, and no function 5
    EXPECT_EQ(m.Registers(4, 1), Words{});
    EXPECT_EQ(m.Bits(4, 1), "");
}

TEST(AnalogModbusMap, ExceptionsForFunctionsCountsAndByteCounts) {
    SimBus sim("0A R270P protocol=modbus\n0C R330 protocol=modbus\n");
    Master m(sim.path());
    for (const int slave : {0x0A, 0x0C}) {
        SCOPED_TRACE(slave);
        // Functions the analog modules do not offer.
        EXPECT_EQ(m.RawException(slave, {0x04, 0x00, 0x00, 0x00, 0x01}), 1);
        EXPECT_EQ(m.RawException(slave, {0x05, 0x00, 0x00, 0xFF, 0x00}), 1);
        EXPECT_EQ(m.RawException(slave, {0x0F, 0x00, 0x00, 0x00, 0x01, 0x01, 0x01}), 1);
        EXPECT_EQ(m.RawException(slave, {0x20, 0x00, 0x00, 0x00, 0x01}), 1);
        // Quantities outside the standard's limits.
        EXPECT_EQ(m.RawException(slave, {0x03, 0x00, 0x00, 0x00, 0x00}), 3);
        EXPECT_EQ(m.RawException(slave, {0x03, 0x00, 0x00, 0x00, 0x7E}), 3);
        // A byte count that disagrees with the quantity.
        EXPECT_EQ(m.RawException(slave, {0x10, 0x00, 0xC8, 0x00, 0x01, 0x01, 0x30}), 3);
        EXPECT_EQ(m.RawException(slave, {0x10, 0x00, 0xC8, 0x00, 0x02, 0x02, 0x00, 0x30}), 3);
        // Numbers outside the map.
        EXPECT_EQ(m.RawException(slave, {0x03, 0x01, 0xF4, 0x00, 0x01}), 2);
        // A well-formed request is answered.
        EXPECT_EQ(m.RawException(slave, {0x03, 0x00, 0xD4, 0x00, 0x01}), 0);
    }
}

} // namespace
} // namespace tavo
