// The R-series base commands against the simulator and a scripted peer.
#include "devices/r_base.h"
#include "support/pty_peer.h"
#include "support/sim_bus.h"

#include <gtest/gtest.h>

namespace tavo {
namespace {

using test::ScriptedPeer;
using test::SimBus;
using test::ToBytes;

TEST(RBaseBits, SettersAndGettersWorkOnTheHeldFormatByte) {
    TavoRBase base(nullptr, "01");
    std::string out;
    EXPECT_FALSE(base.GetFormatBit(0, out)); // no FF and no port to read it
    base.SetFormatBit(0, '1');
    EXPECT_EQ(base.FormatCode(), "01");
    base.SetFormatCode("C0");
    for (int n = 0; n < 8; ++n) {
        ASSERT_TRUE(base.GetFormatBit(n, out));
        EXPECT_EQ(out, n >= 6 ? "1" : "0") << n;
    }
    EXPECT_FALSE(base.GetFormatBit(8, out));
    EXPECT_FALSE(base.GetFormatBit(-1, out));
    base.SetFormatBits10("10");
    base.SetFormatBits52("1010");
    EXPECT_EQ(base.FormatCode(), "EA");
    ASSERT_TRUE(base.GetFormatBits52(out));
    EXPECT_EQ(out, "1010");
    ASSERT_TRUE(base.GetFormatBits10(out));
    EXPECT_EQ(out, "10");
    base.SetFormatBit6('0');
    base.SetFormatBit7('0');
    base.SetProtocolBit('0');
    EXPECT_EQ(base.FormatCode(), "2A");
    ASSERT_TRUE(base.GetProtocolBit(out));
    EXPECT_EQ(out, "0");
}

TEST(RBaseAddress, SecondSetAddressKeepsTheOneBeforeAsPrevious) {
    ScriptedPeer peer;
    peer.Then("!07\r");
    TavoComPort port(peer.path());
    ASSERT_TRUE(port.OpenPort());
    port.SetTimeOut(2000); // every request is answered: a long time-out costs nothing
    TavoRBase base(&port, "01");
    EXPECT_FALSE(base.WriteConfig()); // nothing pending: refused without sending
    base.SetAddress("05");
    base.SetAddress("07");
    EXPECT_EQ(base.PreviousAddress(), "05");
    base.SetTypeCode("30");
    base.SetBaudCode("06");
    base.SetFormatCode("00");
    ASSERT_TRUE(base.WriteConfig());
    EXPECT_EQ(base.PreviousAddress(), "");
    EXPECT_EQ(base.Address(), "07");
    ASSERT_EQ(peer.Requests().size(), 1u);
    EXPECT_EQ(peer.Requests()[0], ToBytes("%0507300600\r"));
}

TEST(RBaseCommands, AgainstTheSimulator) {
    SimBus sim("01 R210D firmware=A1.02 type=0F\n02 R550 checksum\n");
    auto port = sim.Open();
    TavoRBase base(port.get(), "01");
    std::string out;
    ASSERT_TRUE(base.ReadModuleName(out));
    EXPECT_EQ(out, "R210D");
    ASSERT_TRUE(base.ReadFirmwareVersion(out));
    EXPECT_EQ(out, "A1.02");
    ASSERT_TRUE(base.ReadConfigText(out));
    EXPECT_EQ(out, "010F0600");
    ASSERT_TRUE(base.GetTypeCode(out));
    EXPECT_EQ(out, "0F");

    // Change of address: written from the old address, read back at the new one.
    base.SetAddress("11");
    ASSERT_TRUE(base.WriteConfig());
    ASSERT_TRUE(base.ReadConfigAddress(out));
    EXPECT_EQ(out, "11");
    EXPECT_EQ(sim.module(0x11).config().designation, "R210D");

    // A failed write leaves the cache and lets the caller go back.
    base.SetAddress("12");
    base.SetBaudCode("07"); // not without the INIT jumper
    EXPECT_FALSE(base.WriteConfig());
    base.SetAddress("11");
    base.SetBaudCode("06");
    ASSERT_TRUE(base.ReadConfig());

    // A module with checksum on ignores us until we use it too.
    TavoRBase two(port.get(), "02");
    EXPECT_FALSE(two.ReadModuleName(out));
    port->SetCheckSum(true);
    ASSERT_TRUE(two.ReadModuleName(out));
    EXPECT_EQ(out, "R550");
    ASSERT_TRUE(two.SetComSetting("2C"));
    ASSERT_TRUE(two.ReadComSetting(out));
    EXPECT_EQ(out, "2C");
    EXPECT_TRUE(two.SendOS());
    EXPECT_TRUE(two.WriteFQ("01"));
    std::string reply;
    EXPECT_TRUE(two.Transact("$02M\r", 64, reply));
    EXPECT_EQ(reply, "!02R550\r");
}

TEST(RBaseCommands, InitStateAndConfigurationText) {
    SimBus sim("05 R310 init type=30\n");
    auto port = sim.Open();
    TavoRBase base(port.get(), "00");
    std::string out;
    ASSERT_TRUE(base.ReadConfigAddress(out));
    EXPECT_EQ(out, "05"); // the INIT module tells its configured address
    // In INIT the baud rate and checksum may change.
    ASSERT_TRUE(base.WriteConfigText("09300740"));
    EXPECT_EQ(base.Address(), "09");
    EXPECT_EQ(base.BaudCode(), "07");
    base.SetAddress("00");
    ASSERT_TRUE(base.ReadConfigText(out));
    EXPECT_EQ(out, "00300740");
    {
        std::lock_guard lock(sim.bus().mutex());
        sim.module(0x09).config().init = false; // power up without the jumper
    }
    base.SetAddress("09");
    EXPECT_FALSE(base.ReadModuleName(out)); // now at 19200 with checksum
    port->SetPortState(19200, 8, kParityNone, kOneStopBit);
    port->SetCheckSum(true);
    ASSERT_TRUE(base.ReadModuleName(out));
    EXPECT_EQ(out, "R310");
}

TEST(RBaseCommands, ShortAndMalformedRepliesFail) {
    ScriptedPeer peer;
    peer.Then("!\r");
    peer.Then("!0130060\r");   // one digit short
    peer.Then("!01300G00\r");  // not hexadecimal
    peer.Then("!\r");
    peer.Then(">\r");
    TavoComPort port(peer.path());
    ASSERT_TRUE(port.OpenPort());
    port.SetTimeOut(300); // short replies are waited out; an answer under load still comes in time
    TavoRBase base(&port, "01");
    std::string out = "unchanged";
    EXPECT_FALSE(base.ReadConfigAddress(out));
    EXPECT_FALSE(base.ReadConfig());
    EXPECT_FALSE(base.ReadConfig());
    EXPECT_EQ(base.TypeCode(), "");
    EXPECT_EQ(out, "unchanged");
    EXPECT_FALSE(base.ReadModuleName(out)); // "!" alone names no module
    EXPECT_EQ(out, "unchanged");
    ASSERT_TRUE(base.ReadFirmwareVersion(out));
    EXPECT_EQ(out, "");
}

} // namespace
} // namespace tavo
