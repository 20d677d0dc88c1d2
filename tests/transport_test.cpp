// The serial port and the ASCII transaction, byte-exact over pseudo-terminals.
#include "support/pty_peer.h"
#include "support/sim_bus.h"
#include "support/temp_dir.h"
#include "transport/com_port.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
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

// Whatever comes from the wire, a transaction ends cleanly: at the line end, at
// the reply limit, or at the first silence as long as the time-out. Where the
// bytes decide, the time-out is long, so that a slow peer cannot turn the verdict
// into a time-out.
TEST(ComPort, GarbageFailsForWhatItIs) {
    using K = PortError::Kind;
    const std::pair<Bytes, K> garbage[] = {
        {{0x00, 0x00, 0x00}, K::Timeout},
        {{0xFF, 0xFF, 0xFF, '\r'}, K::BadReply},
        {ToBytes("!01 no carriage return"), K::Timeout},
        {Bytes(10000, 'A'), K::Overlong},
        {ToBytes("\x13\x80noise!01R210D\r"), K::BadReply},
    };
    for (const auto& [g, kind] : garbage) {
        ScriptedPeer peer;
        peer.ThenBytes(g);
        auto port = OpenOn(peer.path(), kind == K::Timeout ? 40 : 2000);
        std::string cmd = "$01M\r", reply;
        EXPECT_FALSE(port->SendCommand(cmd, 64, &reply)) << test::Hex(g);
        EXPECT_EQ(port->LastError().kind, kind) << test::Hex(g) << ": " << port->LastError().text;
        EXPECT_LE(reply.size(), 63u);
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
    for (int i = 0; i < 3000 && !refused; ++i) { // until the child holds it (30 s at most)
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
    peer.pty().DropExclusive(); // what the killed holder's last close would do on an adapter
    EXPECT_TRUE(probe.OpenPort()) << probe.LastError().text;
}

// The next open of a device that stays open elsewhere (a simulator's
// pseudo-terminal) must not find it exclusive, or every user but root would be
// told that it is in use.
TEST(ComPort, ClosingLeavesTheDeviceOpenToTheNextProgram) {
    ScriptedPeer peer;
    TavoComPort port(peer.path());
    ASSERT_TRUE(port.OpenPort()) << port.LastError().text;
    EXPECT_TRUE(peer.pty().Exclusive());
    port.ClosePort();
    EXPECT_FALSE(peer.pty().Exclusive());
    ASSERT_TRUE(port.OpenPort()) << port.LastError().text;
    EXPECT_TRUE(peer.pty().Exclusive());
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
    // A node nobody may open but root, which opens anything: as root the check runs
    // in a child that gives up root first.
    test::TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    const std::string path = dir.File("noperm");
    ::close(::open(path.c_str(), O_CREAT | O_WRONLY, 0600));
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
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
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(ComPort, UnpluggedDeviceFailsAndWorksAgainWhenBack) {
    test::TempDir dir;
    const std::string link = dir.File("unplug");
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
}

TEST(ComPort, TwoThreadsOnOnePortIsALoudError) {
    test::Pty line;
    auto port = OpenOn(line.path(), 5000);
    bool slowOk = false;
    std::string slowReply;
    std::thread slow([&] {
        std::string cmd = "$01M\r";
        slowOk = port->SendCommand(cmd, 64, &slowReply);
    });
    // Once its command is on the line, the first thread waits for the reply inside
    // the transaction, however long the machine took to get there.
    EXPECT_EQ(line.ReadSome(30s, 20ms), ToBytes("$01M\r"));
    std::string cmd = "$02M\r", reply;
    EXPECT_THROW(port->SendCommand(cmd, 64, &reply), std::logic_error);
    line.Write(ToBytes("!01X\r"));
    slow.join();
    EXPECT_TRUE(slowOk);
    EXPECT_EQ(slowReply, "!01X\r");
}

// A back end that records the deadline of each read and reports a time-out at once.
class DeadlineRecorder final : public SerialBackend {
public:
    explicit DeadlineRecorder(std::vector<Deadline>& deadlines) : deadlines_(deadlines) {}
    bool Open(const std::string&, PortError& error) override {
        error = {};
        return true;
    }
    void Close() override {}
    bool IsOpen() const override { return true; }
    LineSettings CurrentSettings() const override { return {}; }
    bool Apply(const LineSettings&, PortError& error) override {
        error = {};
        return true;
    }
    IoResult Write(const std::uint8_t*, std::size_t n, Deadline) override { return {n, {}}; }
    IoResult Read(std::uint8_t*, std::size_t, Deadline deadline) override {
        deadlines_.push_back(deadline);
        return {0, {PortError::Kind::Timeout, 0, "time-out"}};
    }
    bool DiscardInput() override { return true; }

private:
    std::vector<Deadline>& deadlines_;
};

// A read of n bytes may take n + 1 time-outs: the driver counts an interval per
// character and a total.
TEST(ComPort, TimeOutArithmeticForMultiByteReads) {
    std::vector<Deadline> deadlines;
    TavoComPort port("recorded", std::make_unique<DeadlineRecorder>(deadlines));
    ASSERT_TRUE(port.OpenPort());
    port.SetTimeOut(10);
    std::uint8_t buf[8];
    std::size_t got = 99;
    const auto before = Clock::now();
    EXPECT_FALSE(port.ReadBytes(8, buf, &got));
    const auto after = Clock::now();
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(port.LastError().kind, PortError::Kind::Timeout);
    ASSERT_EQ(deadlines.size(), 1u);
    EXPECT_GE(deadlines[0], before + 90ms);
    EXPECT_LE(deadlines[0], after + 90ms);
    // On a pseudo-terminal that stays silent the read gives up no earlier.
    ScriptedPeer peer;
    auto real = OpenOn(peer.path(), 10);
    const auto start = Clock::now();
    EXPECT_FALSE(real->ReadBytes(8, buf, &got));
    EXPECT_GE(MsSince(start), 88);
}

} // namespace
} // namespace tavo
