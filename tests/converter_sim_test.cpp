// The simulated R910 converter in front of the modules behind it: what it forwards
// with its addressing mode, delimiter and line settings as written, and the
// simulated Z-series slots' moving inputs.
#include "support/sim_bus.h"

#include <gtest/gtest.h>

namespace tavo {
namespace {

using test::Send;
using test::SimBus;

TEST(ConverterSim, ForwardsAddressedLinesAtItsFarSideSpeed) {
    SimBus sim("38 R910 init\n01 R210D via=38\n02 R550 via=38 baud=38400\n");
    auto port = sim.Open(60);
    // Behind the converter a module does not hear the host directly.
    EXPECT_FALSE(Send(*port, "$01M").ok);
    EXPECT_EQ(Send(*port, ":00$01M").reply, "!01R210D\r");
    EXPECT_FALSE(Send(*port, "[00$01M").ok); // not its delimiter
    EXPECT_FALSE(Send(*port, ":00$02M").ok); // 38400 behind, 9600 on the far side
    // The far side to 38400 (code 8): now the other module answers.
    EXPECT_EQ(Send(*port, "%003800680003").reply, "!38\r");
    EXPECT_FALSE(Send(*port, ":00$01M").ok);
    EXPECT_EQ(Send(*port, ":00$02M").reply, "!02R550\r");
    // Another delimiter, then non-addressable: everything goes through as it is.
    EXPECT_EQ(Send(*port, "$00C~").reply, "!38\r");
    EXPECT_EQ(Send(*port, "~00$02M").reply, "!02R550\r");
    EXPECT_EQ(Send(*port, "%003800688003").reply, "!38\r");
    EXPECT_EQ(Send(*port, "$02M").reply, "!02R550\r");
}

TEST(ConverterSim, RepliesComeBackCutToTheRs232CharacterSize) {
    SimBus sim("38 R910 init\n01 R210D via=38\n");
    auto port = sim.Open(60);
    EXPECT_EQ(Send(*port, "%003800660002").reply, "!38\r"); // 7 data bits: ASCII passes
    EXPECT_EQ(Send(*port, ":00$01M").reply, "!01R210D\r");
    EXPECT_EQ(Send(*port, "%003800660000").reply, "!38\r"); // 5 data bits
    const auto cut = Send(*port, ":00$01M");
    EXPECT_FALSE(cut.ok);
    EXPECT_NE(cut.reply, "!01R210D\r");
    // And a host at another speed than the RS-232 side reaches nothing behind it.
    EXPECT_EQ(Send(*port, "%003800760003").reply, "!38\r"); // RS-232 to 19200
    EXPECT_FALSE(Send(*port, ":00$01M").ok);
}

TEST(ConverterSim, OutsideInitOnlyAddressAndAddCrChange) {
    SimBus sim("38 R910\n");
    auto port = sim.Open(60);
    EXPECT_EQ(Send(*port, "$382").reply, "!3800660003\r");
    EXPECT_EQ(Send(*port, "%383800680003").reply, "?38\r");
    EXPECT_EQ(Send(*port, "%383900660103").reply, "!39\r");
    EXPECT_EQ(Send(*port, "$392").reply, "!3900660103\r");
}

TEST(ZSeriesSlotSim, InputsAreSetAndOutputsReadBack) {
    SimBus sim("01 Z351 slots=Z320,Z310 in0=4.5 in1=DI:3F\n");
    auto port = sim.Open(80);
    EXPECT_EQ(Send(*port, "#01S0").reply, ">+004.500+004.500+004.500+004.500\r");
    EXPECT_EQ(Send(*port, "$01S16").reply, "!01003F\r");
    EXPECT_EQ(Send(*port, "#01S0C215.250").reply, "!01\r");
    EXPECT_EQ(Send(*port, "$01S0C26").reply, "!0115.250\r");
    EXPECT_EQ(Send(*port, "#01S11201").reply, "?01\r"); // the Z310 has two outputs
    EXPECT_EQ(Send(*port, "#01S11101").reply, "!01\r");
    EXPECT_EQ(Send(*port, "$01S16").reply, "!01023F\r");
}

} // namespace
} // namespace tavo
