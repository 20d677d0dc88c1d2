// The terminal's log lines and command files.
#include "support/pty_peer.h"
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

} // namespace
} // namespace tavo
