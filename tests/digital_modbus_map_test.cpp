// The Modbus maps of the simulated digital and universal modules, read and written
// by a master that is not ours (libmodbus) over the simulator's pseudo-terminal:
// the points the panels use, state that reads back, and the exceptions a slave
// gives for what it does not have.
#include "sim/digital_modules.h"
#include "support/modbus_master.h"
#include "support/sim_bus.h"

#include <gtest/gtest.h>
#include <cerrno>
#include <vector>

namespace tavo {
namespace {

using test::SimBus;

using test::Master;
using Words = std::vector<std::uint16_t>;

TEST(DigitalModbusMap, DigitalModelsInputsOutputsFirmwareInvertAndFaults) {
    SimBus sim("0A R550 protocol=modbus inputs=5A firmware=A2.01\n"
               "0B R560SO protocol=modbus overload=001\n"
               "0C R520 protocol=modbus inputs=00FF firmware=A2.02\n"
               "0E R620 protocol=modbus outputs=81\n");
    Master m(sim.path());

    m.Slave(0x0A);
    EXPECT_EQ(m.Bits(0, 8), "01011010"); // coil 00001 = input 0
    EXPECT_EQ(m.WriteBit(16 + 3, true), 0);
    EXPECT_EQ(m.Bits(16, 8), "00010000");
    EXPECT_EQ(m.WriteBits(16, {1, 0, 0, 0, 0, 0, 0, 1}), 0);
    EXPECT_EQ(m.Bits(16, 8), "10000001");
    {
        std::lock_guard lock(sim.bus().mutex());
        EXPECT_EQ(sim.module(0x0A).Find<sim::DigitalIo>()->Outputs(), 0x81u);
    }
    EXPECT_EQ(m.Registers(212, 1), Words{0xA201});
    EXPECT_EQ(m.Registers(210, 3), (Words{0x1550, 0x0000, 0xA201})); // with the model code
    EXPECT_EQ(m.WriteBit(0, true), EMBXILADD);   // an input
    EXPECT_EQ(m.Bits(0, 9), "");                 // coil 00009 does not exist
    EXPECT_EQ(m.WriteRegister(212, 1), EMBXILADD); // the firmware is read only

    m.Slave(0x0C);
    EXPECT_EQ(m.Bits(0, 16), "1111111100000000");
    EXPECT_EQ(m.WriteRegister(230, 0x0F0F), 0);
    EXPECT_EQ(m.Registers(230, 1), Words{0x0F0F});
    EXPECT_EQ(m.Bits(0, 16), "0000111111110000");
    EXPECT_EQ(m.Bits(16, 1), ""); // no outputs

    m.Slave(0x0E);
    EXPECT_EQ(m.Bits(16, 8), "10000001");
    EXPECT_EQ(m.Bits(0, 8), ""); // no inputs

    m.Slave(0x0B);
    EXPECT_EQ(m.WriteBit(16, true), 0); // output 0 draws too much: group 0 trips
    EXPECT_EQ(m.Bits(28, 3), "100");
    EXPECT_EQ(m.WriteBit(17, true), EMBXSFAIL); // a tripped group takes no command
    EXPECT_EQ(m.WriteBits(28, {0, 0, 0}), 0);
    EXPECT_EQ(m.Bits(28, 3), "000");
    EXPECT_EQ(m.WriteBit(16 + 9, true), 0);
    EXPECT_EQ(m.Bits(16, 12), "000000000100");
    EXPECT_EQ(m.Bits(16, 16), ""); // twelve outputs and three error coils
}

TEST(DigitalModbusMap, ExceptionsForFunctionsCountsAndByteCounts) {
    SimBus sim("0A R550 protocol=modbus\n0D R850 protocol=modbus\n");
    Master m(sim.path());
    m.Slave(0x0A);
    // Functions the digital modules do not offer.
    EXPECT_EQ(m.RawException(0x0A, {0x04, 0x00, 0x00, 0x00, 0x01}), 1);
    EXPECT_EQ(m.RawException(0x0A, {0x02, 0x00, 0x00, 0x00, 0x08}), 1);
    EXPECT_EQ(m.RawException(0x0A, {0x20, 0x00, 0xD2, 0x00, 0x01}), 1);
    // Quantities outside the standard's limits.
    EXPECT_EQ(m.RawException(0x0A, {0x01, 0x00, 0x00, 0x00, 0x00}), 3);
    EXPECT_EQ(m.RawException(0x0A, {0x01, 0x00, 0x00, 0x07, 0xD1}), 3);
    EXPECT_EQ(m.RawException(0x0A, {0x03, 0x00, 0xD2, 0x00, 0x7E}), 3);
    // A coil value other than FF00 / 0000.
    EXPECT_EQ(m.RawException(0x0A, {0x05, 0x00, 0x10, 0x12, 0x34}), 3);
    // Byte counts that disagree with the quantity.
    EXPECT_EQ(m.RawException(0x0A, {0x0F, 0x00, 0x10, 0x00, 0x08, 0x02, 0xFF, 0xFF}), 3);
    EXPECT_EQ(m.RawException(0x0D, {0x10, 0x01, 0x2C, 0x00, 0x01, 0x01, 0x01}), 3);
    // A well-formed request is answered.
    EXPECT_EQ(m.RawException(0x0A, {0x01, 0x00, 0x10, 0x00, 0x08}), 0);
}

TEST(DigitalModbusMap, UniversalChannelsModesWidthsTimingsAndPulses) {
    SimBus sim("0D R850 protocol=modbus inputs=01\n0F R860 protocol=modbus\n");
    Master m(sim.path());
    m.Slave(0x0D);

    // Input modes (301 + c) and the channel value (321 + 2c, two registers).
    EXPECT_EQ(m.Registers(300, 7), Words(7, 0));
    EXPECT_EQ(m.Registers(320, 2), (Words{0, 1})); // DI mode: the input itself
    EXPECT_EQ(m.WriteRegister(300 + 2, 0x44), 0);  // frequency, filter on
    EXPECT_EQ(m.Registers(302, 1), Words{0x44});
    EXPECT_EQ(m.WriteRegister(300, 0x05), EMBXILVAL); // no mode 5
    EXPECT_EQ(m.WriteRegister(300, 0x11), EMBXILVAL);
    EXPECT_EQ(m.Registers(300, 1), Words{0});
    EXPECT_EQ(m.WriteRegister(300 + 7, 1), EMBXILADD); // seven inputs
    {
        std::lock_guard lock(sim.bus().mutex());
        sim.module(0x0D).Find<sim::UniversalDio>()->SetFrequency(2, 123.4);
    }
    EXPECT_EQ(m.WriteRegisters(340 + 8, {0, 5, 0, 5}), 0); // filter of DI2 lets 123 Hz through
    EXPECT_EQ(m.Registers(320 + 4, 2), (Words{0, 1234}));  // 0.1 Hz

    // Filter widths (341 + 4c): low width, high width, two registers each; a write
    // of one half keeps the other.
    EXPECT_EQ(m.WriteRegisters(340, {0x0001, 0x0002, 0x0000, 0x0014}), 0);
    EXPECT_EQ(m.Registers(340, 4), (Words{1, 2, 0, 20}));
    EXPECT_EQ(m.WriteRegister(341, 7), 0);
    EXPECT_EQ(m.Registers(340, 2), (Words{1, 7}));

    // Counting (coil 33 + c) and clearing count and latch (coil 49 + c).
    EXPECT_EQ(m.WriteRegister(300 + 1, 0x01), 0);
    EXPECT_EQ(m.Bits(32, 7), "1111111");
    EXPECT_EQ(m.WriteBit(32 + 1, false), 0);
    EXPECT_EQ(m.Bits(32, 2), "10");
    EXPECT_EQ(m.WriteBit(48 + 1, false), 0);
    EXPECT_EQ(m.Registers(322, 2), (Words{0, 0}));

    // Output modes (311 + c), timings (401 + 8c) and pulses (471 + 2c, coil 65 + c).
    EXPECT_EQ(m.WriteRegisters(470, {0, 5}), EMBXSFAIL); // DO0 is not in pulse mode
    EXPECT_EQ(m.WriteRegister(310, 1), 0);
    EXPECT_EQ(m.WriteRegister(310 + 1, 4), EMBXILVAL);
    EXPECT_EQ(m.Registers(310, 2), (Words{1, 0}));
    const Words timing = {0, 100, 0, 200, 0, 30, 0, 40};
    EXPECT_EQ(m.WriteRegisters(400, timing), 0);
    EXPECT_EQ(m.Registers(400, 8), timing);
    // A zero width is refused whole: nothing of the write changes.
    EXPECT_EQ(m.WriteRegisters(400, {0, 9, 0, 0, 0, 9, 0, 9}), EMBXILVAL);
    EXPECT_EQ(m.Registers(400, 8), timing);
    EXPECT_EQ(m.Bits(64, 8), "00000000");
    EXPECT_EQ(m.WriteRegisters(470, {0, 1000}), 0);
    EXPECT_EQ(m.Bits(64, 1), "1");
    const Words left = m.Registers(470, 2);
    ASSERT_EQ(left.size(), 2u);
    EXPECT_GT(left[1], 0);
    EXPECT_LE(left[1], 1000);

    // The R860 has outputs only.
    m.Slave(0x0F);
    EXPECT_EQ(m.Registers(310, 8), Words(8, 0));
    EXPECT_EQ(m.Registers(300, 1), Words{});
    EXPECT_EQ(m.Bits(0, 1), "");
    EXPECT_EQ(m.Registers(400, 64).size(), 64u);
}

} // namespace
} // namespace tavo
