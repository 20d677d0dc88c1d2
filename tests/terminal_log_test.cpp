// The terminal's log lines and command files.
#include "support/pty_peer.h"
#include "support/sim_bus.h"
#include "transport/com_port.h"
#include "workspace/core/terminal_log.h"

#include <gtest/gtest.h>

namespace tavo {
namespace {

std::tm At(int h, int m, int s) {
    std::tm t{};
    t.tm_hour = h;
    t.tm_min = m;
    t.tm_sec = s;
    return t;
}

TEST(TerminalLog, FixedWidthLines) {
    const std::string command = TerminalCommandLine("$01M", At(9, 5, 7));
    EXPECT_EQ(command.size(), 308u);
    EXPECT_EQ(command.substr(0, 4), "$01M");
    EXPECT_EQ(command.substr(4, 296), std::string(296, ' '));
    EXPECT_EQ(command.substr(300), "09:05:07");
    EXPECT_EQ(TerminalCommandLine("", At(0, 0, 0)), std::string(300, ' ') + "00:00:00");

    const std::string reply = TerminalReplyLine("!01R210D", At(23, 59, 1), 12);
    EXPECT_EQ(reply, "!01R210D" + std::string(52, ' ') + "23:59:01" + std::string(7, ' ') + "12(ms)");
    // A long reply pushes the fields along instead of being cut by the layout.
    const std::string wide = TerminalReplyLine(std::string(70, 'x'), At(1, 2, 3), 5);
    EXPECT_EQ(wide, std::string(70, 'x') + "01:02:035(ms)");
}

TEST(TerminalLog, CommandFilesAreWords) {
    EXPECT_EQ(CommandFileWords("$01M\n$012  \r\n\t#01\n\n"),
              (std::vector<std::string>{"$01M", "$012", "#01"}));
    EXPECT_TRUE(CommandFileWords(" \n\r\n").empty());
}

TEST(TerminalLog, ExchangeCutsAtFiftyNineAndNamesTimeouts) {
    test::ScriptedPeer peer;
    peer.Then("!01" + std::string(70, 'A') + "\r");
    peer.Then("!01ABC\r");
    TavoComPort port(peer.path());
    ASSERT_TRUE(port.OpenPort());
    port.SetTimeOut(20);
    auto x = TerminalSend(port, "$01M", false);
    EXPECT_FALSE(x.ok);
    EXPECT_EQ(x.reply, "!01" + std::string(56, 'A'));
    x = TerminalSend(port, "", true); // a lone CR, with checksum digits before it
    EXPECT_EQ(peer.Requests().back(), test::ToBytes("00\r"));
    EXPECT_FALSE(x.ok); // the reply carries no checksum
    x = TerminalSend(port, "$01M", false);
    EXPECT_EQ(x.reply, "Timeout!");
    EXPECT_GE(x.elapsedMs, 35);
}

// Replies whose first characters are data, not an address, are taken at once as
// they come: not flagged as late replies, not waited past, and no quiet wait
// before the next command.
TEST(TerminalLog, RepliesWithoutAddressAreTakenAsTheyCome) {
    test::SimBus sim("02 R550 inputs=E0 outputs=05\n03 R560S\n"
                     "40 K100E slots=K220,K520,-,K710\n01 R210D value=5\n");
    auto port = sim.Open(20);
    struct Case {
        const char* command;
        unsigned module;
        const char* reply;
    };
    const Case cases[] = {
        {"$026", 0x02, "!05E0"},      // outputs 05, inputs E0
        {"$02X1", 0x02, "!00000000"}, // safety time-out and value
        {"$03X1", 0x03, "!00000000"},
        {"$40S1N", 0x40, "!Tavo-K520"}, // the rack's slot name
        {"$40S3N0", 0x40, "!4-channel counter/frequency module"},
        {"#01", 0x01, ">+05.000"},  // a data read
        {"$01M", 0x01, "!01R210D"}, // an ordinary addressed reply
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        {
            std::lock_guard lock(sim.bus().mutex());
            sim.module(c.module).received.clear();
        }
        const TerminalExchange x = TerminalSend(*port, c.command, false);
        EXPECT_TRUE(x.ok);
        EXPECT_EQ(x.reply, c.reply);
        EXPECT_FALSE(port->QuietWaitArmed());
        EXPECT_EQ(port->LastError().kind, PortError::Kind::None) << port->LastError().text;
        std::lock_guard lock(sim.bus().mutex());
        EXPECT_EQ(std::vector<std::string>(sim.module(c.module).received.begin(),
                                           sim.module(c.module).received.end()),
                  std::vector<std::string>{c.command});
    }
}

} // namespace
} // namespace tavo
