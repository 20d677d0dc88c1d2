// The analog slots of the simulated rack over a pseudo-terminal: open sensors, the
// two's complement format the slot panels write, and a module pulled out of its
// slot and put back.
#include "support/sim_bus.h"

#include "sim/rack_access.h"

#include <gtest/gtest.h>

namespace tavo {
namespace {

using test::Send;
using test::SimBus;

TEST(KAnalogSlotSim, OpenSensorReadsBurnOutInEveryFormat) {
    SimBus sim("01 K100 slots=K230 in0=open=05\n");
    auto port = sim.Open();
    EXPECT_EQ(Send(*port, "#01S0C0").reply, ">+888888\r");
    EXPECT_EQ(Send(*port, "#01S0C1").reply, ">+152.00\r");
    EXPECT_EQ(Send(*port, "$01S0A0E03").reply, "!01\r");
    EXPECT_EQ(Send(*port, "#01S0C2").reply, ">+888888\r");
    // Format bits "11" give four hexadecimal digits as "10" does.
    const std::string twos = Send(*port, "#01S0C1").reply;
    EXPECT_EQ(twos.size(), 6u) << twos;
    EXPECT_EQ(twos[0], '>');
    EXPECT_THROW(SimBus("01 K100 slots=K230 in0=open=FF\n"), std::exception); // 7 channels
}

TEST(KAnalogSlotSim, PulledModuleIsSilentAndKeepsItsState) {
    SimBus sim("01 K100 slots=K220,K230\n");
    auto port = sim.Open();
    ASSERT_EQ(Send(*port, "$01S1C2AHU+100.000").reply, "!01\r");
    auto pull = [&](bool pulled) {
        std::lock_guard lock(sim.bus().mutex());
        sim.module(1).Find<sim::RackAccess>()->PullSlot(1, pulled);
    };
    pull(true);
    EXPECT_FALSE(Send(*port, "$01S1B").ok);
    EXPECT_FALSE(Send(*port, "#01S1C0").ok);
    EXPECT_EQ(Send(*port, "$01S0B").reply, "!010800\r"); // its neighbour still answers
    pull(false);
    EXPECT_EQ(Send(*port, "$01S1C2RHU").reply, "!01+100.000\r");
}

} // namespace
} // namespace tavo
