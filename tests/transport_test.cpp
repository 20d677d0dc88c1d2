// The serial port and the ASCII transaction, byte-exact over pseudo-terminals.
#include "support/pty_peer.h"
#include "support/sim_bus.h"
#include "transport/com_port.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tavo {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::ScriptedPeer;
using test::ToBytes;

std::unique_ptr<TavoComPort> OpenOn(const std::string& path, int timeoutMs = 80) {
    auto port = std::make_unique<TavoComPort>(path);
    EXPECT_TRUE(port->OpenPort()) << port->LastError().text;
    EXPECT_TRUE(port->SetPortState(9600, 8, kParityNone, kOneStopBit));
    EXPECT_TRUE(port->SetTimeOut(timeoutMs));
    return port;
}

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(Checksum, CommandsCarryTheSumOfTheirCharacters) {
    std::string c = "$012\r";
    TavoComPort::AppendCheckSum(c);
    EXPECT_EQ(c, "$012B7\r");
    c = "$01M\r";
    TavoComPort::AppendCheckSum(c);
    EXPECT_EQ(c, "$01MD2\r");
    EXPECT_EQ(TavoComPort::CalcCheckSum(std::string(300, '\xFF')), (300 * 255) % 256);
}

TEST(Checksum, VerifyStripsOrCutsTheReply) {
    std::string good = "!01R210D" + std::string("E0") + "\r";
    good.replace(8, 2, [] {
        char h[3];
        std::snprintf(h, sizeof h, "%02X", TavoComPort::CalcCheckSum("!01R210D"));
        return std::string(h);
    }());
    EXPECT_TRUE(TavoComPort::VerifyCheckSum(good));
    EXPECT_EQ(good, "!01R210D\r");

    std::string bad = "!01R210D00\r";
    EXPECT_FALSE(TavoComPort::VerifyCheckSum(bad));
    EXPECT_EQ(bad, "!01R210D"); // cut: no checksum, no CR

    std::string tiny = "!1\r";
    EXPECT_FALSE(TavoComPort::VerifyCheckSum(tiny));
    EXPECT_EQ(tiny, "!1\r");
}

TEST(ComPort, ChecksumOnSendsDigitsAndHandsBackTheCleanReply) {
    ScriptedPeer peer;
    peer.Then("!01R210DAB\r"); // 33+48+49+82+50+49+48+68 = 427 = 0x1AB
    auto port = OpenOn(peer.path());
    port->SetCheckSum(true);
    std::string cmd = "$01M\r", reply;
    ASSERT_TRUE(port->SendCommand(cmd, 64, &reply)) << port->LastError().text;
    EXPECT_EQ(reply, "!01R210D\r");
    ASSERT_EQ(peer.Requests().size(), 1u);
    EXPECT_EQ(peer.Requests()[0], ToBytes("$01MD2\r"));
}

TEST(ComPort, ReplyClassesAndChecksumMismatch) {
    ScriptedPeer peer;
    peer.Then(">+01.234\r");       // '>' reply to a '$' command still counts
    peer.Then("?01\r");            // refusal
    peer.Then("!01300600\r");      // checksum off, module's digits kept as data
    peer.Then("!0130060099\r");    // checksum on, wrong digits
    auto port = OpenOn(peer.path());
    std::string cmd = "$012\r", reply;
    EXPECT_TRUE(port->SendCommand(cmd, 64, &reply));
    EXPECT_EQ(reply, ">+01.234\r");
    cmd = "$01Q\r";
    EXPECT_FALSE(port->SendCommand(cmd, 64, &reply));
    EXPECT_EQ(reply, "?01\r");
    EXPECT_EQ(port->LastError().kind, PortError::Kind::Refused);
    cmd = "$012\r";
    EXPECT_TRUE(port->SendCommand(cmd, 64, &reply));
    EXPECT_EQ(reply, "!01300600\r");
    port->SetCheckSum(true);
    cmd = "$012\r";
    EXPECT_FALSE(port->SendCommand(cmd, 64, &reply));
    EXPECT_EQ(reply, "!01300600"); // left cut
    EXPECT_EQ(port->LastError().kind, PortError::Kind::Checksum);
}

TEST(ComPort, SilentPeerFailsAfterTwiceTheTimeOut) {
    ScriptedPeer peer; // never answers
    auto port = OpenOn(peer.path(), 80);
    std::string cmd = "$01M\r", reply = "stale";
    const auto start = Clock::now();
    EXPECT_FALSE(port->SendCommand(cmd, 64, &reply));
    const auto ms = MsSince(start);
    EXPECT_GE(ms, 155);
    EXPECT_LE(ms, 260);
    EXPECT_EQ(reply, "");
    EXPECT_EQ(port->LastError().kind, PortError::Kind::Timeout);
}

TEST(ComPort, OverlongReplyFailsKeepingTheFirstCharacters) {
    ScriptedPeer peer;
    const std::string longReply = "!01" + std::string(70, 'A') + "\r";
    peer.Then(longReply);
    auto port = OpenOn(peer.path());
    std::string cmd = "$01M\r", reply;
    EXPECT_FALSE(port->SendCommand(cmd, 64, &reply));
    EXPECT_EQ(reply, longReply.substr(0, 63));
    EXPECT_EQ(port->LastError().kind, PortError::Kind::Overlong);
}

TEST(ComPort, BytesAfterTheCrStayUntilTheNextWritePurgesThem) {
    ScriptedPeer peer;
    peer.Then("!01AAA\r!01STALE\r");
    peer.Then("!01BBB\r");
    auto port = OpenOn(peer.path());
    std::string cmd = "$01M\r", reply;
    ASSERT_TRUE(port->SendCommand(cmd, 64, &reply));
    EXPECT_EQ(reply, "!01AAA\r");
    // The stale line waits in the driver; the next transaction must not see it.
    std::this_thread::sleep_for(20ms);
    cmd = "$01M\r";
    ASSERT_TRUE(port->SendCommand(cmd, 64, &reply));
    EXPECT_EQ(reply, "!01BBB\r");
}

TEST(ComPort, ReadLineStopsAtTheFirstCr) {
    ScriptedPeer peer;
    peer.Then("!01AAA\rREST");
    auto port = OpenOn(peer.path());
    ASSERT_TRUE(port->WriteText("x"));
    std::string line;
    ASSERT_TRUE(port->ReadLine(64, line));
    EXPECT_EQ(line, "!01AAA\r");
    std::uint8_t rest[4];
    ASSERT_TRUE(port->ReadBytes(4, rest));
    EXPECT_EQ(std::string(rest, rest + 4), "REST");
}

// Whatever comes from the wire, a transaction ends cleanly within its time-out.
TEST(ComPort, GarbageFailsWithinTheTimeOut) {
    const std::vector<Bytes> garbage = {
        {0x00, 0x00, 0x00},
        {0xFF, 0xFF, 0xFF, '\r'},
        ToBytes("!01 no carriage return"),
        Bytes(10000, 'A'),
        ToBytes("\x13\x80noise!01R210D\r"),
    };
    for (const auto& g : garbage) {
        ScriptedPeer peer;
        peer.ThenBytes(g);
        auto port = OpenOn(peer.path(), 40);
        std::string cmd = "$01M\r", reply;
        const auto start = Clock::now();
        EXPECT_FALSE(port->SendCommand(cmd, 64, &reply)) << test::Hex(g);
        EXPECT_LE(reply.size(), 63u);
        EXPECT_LE(MsSince(start), 400);
    }
}

TEST(ComPort, OpeningIsExclusiveAndSaysWhoHoldsThePort) {
    ScriptedPeer peer;
    const pid_t child = fork();
    if (child == 0) {
        TavoComPort holder(peer.path());
        if (!holder.OpenPort()) _exit(1);
        pause();
        _exit(0);
    }
    TavoComPort probe(peer.path());
    bool refused = false;
    for (int i = 0; i < 100 && !refused; ++i) {
        std::this_thread::sleep_for(10ms);
        refused = !probe.OpenPort();
        if (!refused) probe.ClosePort();
    }
    EXPECT_TRUE(refused);
    EXPECT_EQ(probe.LastError().kind, PortError::Kind::Busy);
    EXPECT_NE(probe.LastError().text.find("(pid " + std::to_string(child) + ")"), std::string::npos)
        << probe.LastError().text;
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(probe.OpenPort()) << probe.LastError().text;
}

TEST(ComPort, StateWithoutADevice) {
    TavoComPort port("/dev/does-not-exist-tavo");
    EXPECT_TRUE(port.ClosePort()); // never opened counts as closed
    EXPECT_FALSE(port.OpenPort());
    EXPECT_EQ(port.LastError().kind, PortError::Kind::NotFound);
    EXPECT_FALSE(port.SetTimeOut(300));
    EXPECT_EQ(port.GetTimeOut(), 300);
    std::string cmd = "$01M\r", reply;
    EXPECT_FALSE(port.SendCommand(cmd, 64, &reply));
    EXPECT_EQ(port.GetPortName(), "/dev/does-not-exist-tavo");
}

TEST(ComPort, PermissionErrorNamesTheDialoutGroup) {
    // A device node only its owner may open, tried by another user (root opens
    // anything, so the check runs in a child that gives up root first).
    const std::string path = "/tmp/tavo-noperm-" + std::to_string(getpid());
    ::close(::open(path.c_str(), O_CREAT | O_WRONLY, 0600));
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && setuid(65534) != 0) _exit(3);
        TavoComPort port(path);
        if (port.OpenPort()) _exit(4);
        const auto& e = port.LastError();
        _exit(e.kind == PortError::Kind::Permission && e.text.find("dialout") != std::string::npos ? 0 : 5);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ::unlink(path.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(ComPort, UnpluggedDeviceFailsAndWorksAgainWhenBack) {
    const std::string link = "/tmp/tavo-unplug-" + std::to_string(getpid());
    auto first = std::make_unique<test::SimBus>("01 R210D\n");
    ::unlink(link.c_str());
    ASSERT_EQ(::symlink(first->path().c_str(), link.c_str()), 0);
    auto port = OpenOn(link);
    std::string cmd = "$01M\r", reply;
    ASSERT_TRUE(port->SendCommand(cmd, 64, &reply));
    first.reset(); // the adapter goes away
    for (int i = 0; i < 3; ++i) {
        cmd = "$01M\r";
        EXPECT_FALSE(port->SendCommand(cmd, 64, &reply));
    }
    auto second = std::make_unique<test::SimBus>("01 R210D\n");
    ::unlink(link.c_str());
    ASSERT_EQ(::symlink(second->path().c_str(), link.c_str()), 0);
    port->ClosePort();
    ASSERT_TRUE(port->OpenPort()) << port->LastError().text;
    port->SetPortState(9600, 8, kParityNone, kOneStopBit);
    cmd = "$01M\r";
    EXPECT_TRUE(port->SendCommand(cmd, 64, &reply)) << port->LastError().text;
    EXPECT_EQ(reply, "!01R210D\r");
    ::unlink(link.c_str());
}

TEST(ComPort, TwoThreadsOnOnePortIsALoudError) {
    ScriptedPeer peer;
    peer.Then("!01X\r", 300ms);
    auto port = OpenOn(peer.path(), 200);
    std::thread slow([&] {
        std::string cmd = "$01M\r", reply;
        port->SendCommand(cmd, 64, &reply);
    });
    std::this_thread::sleep_for(50ms);
    std::string cmd = "$02M\r", reply;
    EXPECT_THROW(port->SendCommand(cmd, 64, &reply), std::logic_error);
    slow.join();
}

TEST(ComPort, TimeOutArithmeticForMultiByteReads) {
    ScriptedPeer peer;
    auto port = OpenOn(peer.path(), 10);
    std::uint8_t buf[8];
    std::size_t got = 99;
    const auto start = Clock::now();
    EXPECT_FALSE(port->ReadBytes(8, buf, &got)); // limit 10 * 8 + 10 ms
    const auto ms = MsSince(start);
    EXPECT_EQ(got, 0u);
    EXPECT_GE(ms, 88);
    EXPECT_LE(ms, 160);
}

} // namespace
} // namespace tavo
