// Replies that must never pass for good ones (a late answer to an earlier command,
// noise, another module's reply), the quiet wait after a failure, and a port that
// comes back after its device went away.
#include "sim/bus.h"
#include "sim/bus_file.h"
#include "sim/in_process.h"
#include "sim/pty_server.h"
#include "support/pty_peer.h"
#include "support/sim_bus.h"
#include "support/firmware_files.h"
#include "transport/com_port.h"
#include "transport/modbus.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace tavo {
namespace {

using namespace std::chrono_literals;
using test::ScriptedPeer;
using test::Send;

std::unique_ptr<TavoComPort> OpenOn(const std::string& path, int timeoutMs = 80) {
    auto port = std::make_unique<TavoComPort>(path);
    EXPECT_TRUE(port->OpenPort()) << port->LastError().text;
    EXPECT_TRUE(port->SetPortState(9600, 8, kParityNone, kOneStopBit));
    port->SetTimeOut(timeoutMs);
    return port;
}

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// How many values a '>' reply holds (each begins with its sign).
int ValueCount(const std::string& reply) {
    int n = 0;
    for (const char c : reply) n += c == '+' || c == '-';
    return n;
}

// The reproductions: one module in ten answers after the time-out.
TEST(LateReplies, AlternatingDataReadsNeverTakeTheOtherModulesReply) {
    test::SimBus sim("seed 11\n01 R210D checksum late=0.1 latems=200\n"
                     "04 R260 checksum late=0.1 latems=200\n");
    auto port = sim.Open(80);
    port->SetCheckSum(true);
    int good = 0, wrong = 0;
    for (int i = 0; i < 300; ++i) {
        const bool one = i % 2 == 0;
        const auto x = Send(*port, one ? "#01" : "#04");
        if (!x.ok) continue;
        ++good;
        // R210D answers one value, the R260 eight.
        if (x.reply.front() != '>' || ValueCount(x.reply) != (one ? 1 : 8)) {
            ++wrong;
            ADD_FAILURE() << (one ? "#01" : "#04") << " -> " << x.reply;
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(good, 200); // most reads still succeed
}

TEST(LateReplies, AlternatingNameAndVersionReadsNeverMixUp) {
    test::SimBus sim("seed 5\n01 R210D checksum late=0.1 latems=200\n"
                     "04 R260 checksum late=0.1 latems=200\n");
    auto port = sim.Open(80);
    port->SetCheckSum(true);
    int good = 0;
    for (int i = 0; i < 300; ++i) {
        const bool one = i % 2 == 0;
        const auto x = Send(*port, one ? "$01M" : "$04F");
        if (!x.ok) continue;
        ++good;
        EXPECT_EQ(x.reply, one ? "!01R210D\r" : "!04A1.00\r");
    }
    EXPECT_GT(good, 200);
}

TEST(ReplyAddress, AnotherModulesReplyFailsUnlessTheLayoutExemptsIt) {
    ScriptedPeer peer;
    peer.Then("!07R260\r");   // $03M: from 07
    peer.Then("!0F00\r");     // $036 as unaddressed data
    peer.Then("!07R260\r");   // $00M: an INIT module answers with its own address
    peer.Then("!07\r");       // %0307...: the new address answers
    peer.Then("!03\r");       // %0307...: or the old one
    peer.Then("!05\r");       // %0307...: but not a third
    peer.Then("!\r");         // $03M: no address at all
    peer.Then(">+01.000\r");  // '>' replies carry none
    auto port = OpenOn(peer.path());
    std::string reply;
    const auto send = [&](std::string cmd, ReplyLayout layout = ReplyLayout::Addressed) {
        cmd += "\r";
        return port->SendCommand(cmd, 64, &reply, layout);
    };
    EXPECT_FALSE(send("$03M"));
    EXPECT_EQ(port->LastError().kind, PortError::Kind::BadReply);
    EXPECT_NE(port->LastError().text.find("from address 07"), std::string::npos);
    EXPECT_TRUE(send("$036", ReplyLayout::Unaddressed)) << port->LastError().text;
    EXPECT_TRUE(send("$00M")) << port->LastError().text;
    EXPECT_TRUE(send("%0307000600")) << port->LastError().text;
    EXPECT_TRUE(send("%0307000600")) << port->LastError().text;
    EXPECT_FALSE(send("%0307000600"));
    EXPECT_FALSE(send("$03M"));
    EXPECT_TRUE(send("#03")) << port->LastError().text;
}

TEST(ReplyBytes, BytesNoModuleSendsFailWithAndWithoutChecksum) {
    ScriptedPeer peer;
    peer.Then("!02R5\x12" "50\r");
    peer.Then("!02R\xB5" "50\r");
    peer.Then(">+1\x7F.5\r");
    auto port = OpenOn(peer.path());
    for (const char* cmd : {"$02M", "$02M", "#02"}) {
        const auto x = Send(*port, cmd);
        EXPECT_FALSE(x.ok) << cmd << " -> " << x.reply;
        EXPECT_EQ(port->LastError().kind, PortError::Kind::BadReply);
    }
    // With the checksum on, even a sum that happens to match does not help.
    ScriptedPeer summed;
    std::string line = "!02R5\x12" "50";
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", TavoComPort::CalcCheckSum(line));
    summed.Then(line + digits + "\r");
    auto port2 = OpenOn(summed.path());
    port2->SetCheckSum(true);
    EXPECT_FALSE(Send(*port2, "$02M").ok);
}

TEST(ReplyBytes, OnlyQuestionMarkAndTheAddressIsARefusal) {
    ScriptedPeer peer;
    peer.Then("?01\r");
    peer.Then("?x3F\r");
    peer.Then("?07\r");
    peer.Then("?07\r");
    auto port = OpenOn(peer.path());
    EXPECT_FALSE(Send(*port, "$01Q").ok);
    EXPECT_EQ(port->LastError().kind, PortError::Kind::Refused);
    EXPECT_FALSE(Send(*port, "$01Q").ok);
    EXPECT_EQ(port->LastError().kind, PortError::Kind::BadReply); // noise
    EXPECT_FALSE(Send(*port, "$01Q").ok);
    EXPECT_EQ(port->LastError().kind, PortError::Kind::BadReply); // another module
    EXPECT_FALSE(Send(*port, "$00Q").ok);
    EXPECT_EQ(port->LastError().kind, PortError::Kind::Refused); // an INIT module
}

TEST(QuietWait, ALateReplyIsDrainedBeforeTheNextCommandAndOnlyFailuresPay) {
    ScriptedPeer peer;
    peer.Then("!01R210D\r");
    peer.Then("!01R210D\r");
    peer.Then(">+99.999\r", 200ms); // after the 160 ms the transaction waits
    peer.Then(">+01.000\r");
    auto port = OpenOn(peer.path());
    EXPECT_TRUE(Send(*port, "$01M").ok);
    EXPECT_TRUE(Send(*port, "$01M").ok);
    EXPECT_EQ(port->QuietWaits(), 0u); // successes pay nothing
    EXPECT_FALSE(Send(*port, "#01").ok);
    EXPECT_TRUE(port->QuietWaitArmed());
    const auto start = Clock::now();
    const auto x = Send(*port, "#01");
    EXPECT_TRUE(x.ok) << port->LastError().text;
    EXPECT_EQ(x.reply, ">+01.000\r"); // not the late one
    EXPECT_EQ(port->QuietWaits(), 1u);
    // About 40 ms until the late reply and 80 ms of quiet after it.
    EXPECT_GE(port->QuietWaitMs(), 90);
    EXPECT_LE(MsSince(start), 1500);
}

TEST(QuietWait, APollLaterThanTheTimeOutPaysNothing) {
    ScriptedPeer peer;
    peer.Then(""); // silence
    peer.Then("!01R210D\r");
    auto port = OpenOn(peer.path(), 30);
    EXPECT_FALSE(Send(*port, "$01M").ok);
    std::this_thread::sleep_for(100ms); // the next poll tick
    EXPECT_TRUE(Send(*port, "$01M").ok);
    EXPECT_EQ(port->QuietWaits(), 1u);
    EXPECT_LE(port->QuietWaitMs(), 25);
}

// Modbus frames with their CRC.
test::Bytes Framed(test::Bytes frame) {
    const auto crc = TavoModbusCOM::CalcCRC(frame.data(), frame.size());
    frame.push_back(crc[0]);
    frame.push_back(crc[1]);
    return frame;
}

TEST(ModbusChecks, SlaveByteCountAndEchoMustBeTheRequests) {
    ScriptedPeer peer;
    peer.ThenBytes(Framed({0x02, 0x03, 0x04, 0x12, 0x34, 0x56, 0x78})); // another slave
    peer.ThenBytes(Framed({0x01, 0x03, 0x02, 0x12, 0x34}));             // 1 register of 2
    peer.ThenBytes(Framed({0x01, 0x03, 0x04, 0x12, 0x34, 0x56, 0x78})); // right
    peer.ThenBytes(Framed({0x01, 0x06, 0x00, 0x05, 0x00, 0x08}));       // echo of another value
    peer.ThenBytes(Framed({0x01, 0x06, 0x00, 0x04, 0x00, 0x07}));       // right
    peer.ThenBytes(Framed({0x01, 0x01, 0x01, 0x05}));                   // 9 coils take 2 bytes
    auto port = OpenOn(peer.path(), 50);
    TavoModbusCOM m(port.get());
    m.SetTurnaroundDelay(0);
    std::vector<std::uint8_t> data{9};
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(m.ReadHoldingRegisters(1, 1, 2));
        EXPECT_FALSE(m.ReadResponse(data));
        EXPECT_EQ(data, std::vector<std::uint8_t>{9}); // untouched
    }
    ASSERT_TRUE(m.ReadHoldingRegisters(1, 1, 2));
    EXPECT_TRUE(m.ReadResponse(data));
    EXPECT_EQ(data, (std::vector<std::uint8_t>{0x12, 0x34, 0x56, 0x78}));
    ASSERT_TRUE(m.WriteSingleRegister(1, 5, 7));
    EXPECT_FALSE(m.WriteResponse());
    ASSERT_TRUE(m.WriteSingleRegister(1, 5, 7));
    EXPECT_TRUE(m.WriteResponse());
    ASSERT_TRUE(m.ReadCoils(1, 1, 9));
    EXPECT_FALSE(m.ReadResponse(data));
}

TEST(ModbusChecks, ALateFrameIsDrainedBeforeTheNextRequest) {
    ScriptedPeer peer;
    peer.ThenBytes(Framed({0x01, 0x03, 0x04, 0x00, 0x00, 0x00, 0x01}), 120ms);
    peer.ThenBytes(Framed({0x01, 0x03, 0x04, 0x00, 0x00, 0x00, 0x02}));
    auto port = OpenOn(peer.path(), 50);
    TavoModbusCOM m(port.get());
    m.SetTurnaroundDelay(0);
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(m.ReadHoldingRegisters(1, 1, 2));
    EXPECT_FALSE(m.ReadResponse(data));
    // However late a loaded machine makes it, the stale frame is on the line
    // before the next request goes out.
    for (int i = 0; i < 3000 && peer.RepliesWritten() < 1; ++i) std::this_thread::sleep_for(10ms);
    ASSERT_EQ(peer.RepliesWritten(), 1u);
    ASSERT_TRUE(m.ReadHoldingRegisters(1, 1, 2));
    ASSERT_TRUE(m.ReadResponse(data));
    EXPECT_EQ(data.back(), 0x02);
}

// ---- soaks on the in-process bus: the bus schedules every reply, so late ones
// come at their time whatever the machine's load ----

struct InProcessBus {
    sim::Bus bus;
    std::unique_ptr<TavoComPort> port;
    InProcessBus(const std::string& text, int timeoutMs) {
        std::string error;
        if (!sim::LoadBusText(text, bus, error)) throw std::runtime_error(error);
        port = std::make_unique<TavoComPort>("sim", std::make_unique<sim::InProcessPort>(bus));
        EXPECT_TRUE(port->OpenPort());
        EXPECT_TRUE(port->SetPortState(9600, 8, kParityNone, kOneStopBit));
        port->SetTimeOut(timeoutMs);
    }
};

struct SoakResult {
    int good = 0, failed = 0, wrong = 0;
    long long longestMs = 0;
};

// Rounds of commands to three modules whose replies all differ; a good reply
// must be exactly the command's (or, for the data read, of its shape).
SoakResult AsciiSoak(TavoComPort& port, int transactions) {
    struct Step {
        const char* command;
        const char* reply; // nullptr: one '>' value
    };
    static const Step kSteps[] = {{"$01M", "!01R210D\r"}, {"#01", nullptr},
                                  {"$02F", "!02A1.00\r"}, {"$03M", "!03R260\r"},
                                  {"$012", nullptr},      {"$02M", "!02R220\r"}};
    SoakResult r;
    for (int i = 0; i < transactions; ++i) {
        const Step& s = kSteps[i % std::size(kSteps)];
        const auto start = Clock::now();
        const auto x = Send(port, s.command);
        r.longestMs = std::max(r.longestMs, MsSince(start));
        if (!x.ok) {
            ++r.failed;
            continue;
        }
        ++r.good;
        const bool right = s.reply ? x.reply == s.reply
                         : s.command[0] == '#'
                             ? x.reply.size() == 9 && x.reply[0] == '>' && ValueCount(x.reply) == 1
                             : x.reply.rfind("!01", 0) == 0 && x.reply.size() == 10;
        if (!right) {
            ++r.wrong;
            ADD_FAILURE() << s.command << " -> " << x.reply;
        }
    }
    return r;
}

TEST(Soak, TenThousandFaultyTransactionsWithChecksumShowNoWrongValue) {
    // Time-out 2 ms: a silent module fails after 4 ms; late replies come at 5 ms
    // (inside the quiet wait) and at 9 ms (during the next transaction, whose
    // module 03 takes 3 ms to answer).
    const std::string faults = " corrupt=0.1 noise=0.1 noreply=0.05 late=0.1";
    InProcessBus sim("wire off\nseed 3\n01 R210D checksum latems=5" + faults +
                         "\n02 R220 checksum latems=9" + faults +
                         "\n03 R260 checksum delay=3 latems=9" + faults + "\n",
                     2);
    sim.port->SetCheckSum(true);
    const SoakResult r = AsciiSoak(*sim.port, 10000);
    EXPECT_EQ(r.wrong, 0);
    EXPECT_GT(r.good, 5000);
    EXPECT_GT(r.failed, 1500);
    // Longest: a reply of 10 characters, each allowed 4 ms, and the quiet wait's limit.
    EXPECT_LE(r.longestMs, 11 * 4 + TavoComPort::kQuietWaitLimitMs + 200);
}

TEST(Soak, TwoThousandFaultyTransactionsWithoutChecksumShowNoWrongValue) {
    // Without a checksum a bit flipped into another digit cannot be told, so the
    // faults here are the ones the reply's bytes and addresses can show.
    const std::string faults = " noise=0.15 noreply=0.05 late=0.1";
    InProcessBus sim("wire off\nseed 4\n01 R210D latems=5" + faults + "\n02 R220 latems=9" + faults +
                         "\n03 R260 delay=3 latems=9" + faults + "\n",
                     2);
    const SoakResult r = AsciiSoak(*sim.port, 2000);
    EXPECT_EQ(r.wrong, 0);
    EXPECT_GT(r.good, 1000);
    EXPECT_GT(r.failed, 300);
    EXPECT_LE(r.longestMs, 11 * 4 + TavoComPort::kQuietWaitLimitMs + 200);
}

TEST(Soak, FaultyModbusExchangesShowNoWrongValue) {
    const std::string faults = " corrupt=0.1 noise=0.1 noreply=0.05 late=0.1 badsum=0.05";
    InProcessBus sim("wire off\nseed 9\n0A R560SO protocol=modbus latems=5" + faults +
                         "\n0B R550 protocol=modbus delay=3 latems=9" + faults + "\n",
                     2);
    TavoModbusCOM m(sim.port.get());
    m.SetTurnaroundDelay(0);
    // The model registers: BCD number code and suffix letters.
    std::vector<std::uint8_t> expected[2];
    for (int s = 0; s < 2; ++s) {
        InProcessBus clean(s == 0 ? "wire off\n0A R560SO protocol=modbus\n"
                                  : "wire off\n0B R550 protocol=modbus\n",
                           20);
        TavoModbusCOM c(clean.port.get());
        c.SetTurnaroundDelay(0);
        ASSERT_TRUE(c.ReadHoldingRegisters(0x0A + s, 211, 2));
        ASSERT_TRUE(c.ReadResponse(expected[s]));
    }
    ASSERT_NE(expected[0], expected[1]);
    int good = 0, wrong = 0;
    long long longest = 0;
    for (int i = 0; i < 3000; ++i) {
        const int s = i % 2;
        std::vector<std::uint8_t> data;
        const auto start = Clock::now();
        const bool ok = m.ReadHoldingRegisters(0x0A + s, 211, 2) && m.ReadResponse(data);
        longest = std::max(longest, MsSince(start));
        if (!ok) continue;
        ++good;
        if (data != expected[s]) ++wrong;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(good, 1500);
    EXPECT_LE(longest, 20 * 4 + TavoComPort::kQuietWaitLimitMs + 200);
}

// ---- a device that goes away and comes back ----

TEST(LostPort, ReopensWithALaterRequestAndSaysSoOnceEachWay) {
    test::TempDir dir;
    const std::string link = dir.File("lost");
    auto bus = std::make_unique<sim::Bus>();
    std::string error;
    ASSERT_TRUE(sim::LoadBusText("01 R210D\n", *bus, error)) << error;
    auto server = std::make_unique<sim::PtyServer>(*bus);
    ASSERT_TRUE(server->Start(error, link)) << error;
    auto port = OpenOn(link);
    std::vector<bool> events;
    port->SetLinkListener([&](bool lost, const std::string&) { events.push_back(lost); });
    ASSERT_TRUE(Send(*port, "$01M").ok);

    server->Stop(); // the adapter is pulled: its device node goes away
    server.reset();
    EXPECT_FALSE(Send(*port, "$01M").ok);
    EXPECT_TRUE(port->Lost());
    // Requests while it is gone fail at once: no time-out to wait out, no busy loop.
    const auto start = Clock::now();
    for (int i = 0; i < 20; ++i) EXPECT_FALSE(Send(*port, "$01M").ok);
    EXPECT_LE(MsSince(start), 1000);
    EXPECT_EQ(port->LastError().kind, PortError::Kind::NotOpen);

    server = std::make_unique<sim::PtyServer>(*bus); // plugged in again
    ASSERT_TRUE(server->Start(error, link)) << error;
    bool back = false;
    for (int i = 0; i < 40 && !back; ++i) {
        std::this_thread::sleep_for(50ms);
        back = Send(*port, "$01M").ok;
    }
    EXPECT_TRUE(back) << port->LastError().text;
    EXPECT_FALSE(port->Lost());
    EXPECT_EQ(events, (std::vector<bool>{true, false}));
    EXPECT_EQ(port->GetLineSettings().baud, 9600u);
    server->Stop();
}

TEST(PortErrors, APathThatIsNoSerialPortSaysSo) {
    test::TempDir dir;
    const std::string file = dir.File("plain.txt");
    test::WriteFile(file, "not a port\n");
    for (const std::string& path : {file, std::string("/dev/null")}) {
        TavoComPort port(path);
        EXPECT_FALSE(port.OpenPort()) << path;
        EXPECT_EQ(port.LastError().kind, PortError::Kind::NotSerial) << path;
        EXPECT_NE(port.LastError().text.find("is not a serial port"), std::string::npos);
        EXPECT_EQ(port.LastError().text.find("in use"), std::string::npos);
    }
}

} // namespace
} // namespace tavo
