// The simulator as a client sees it over a pseudo-terminal: addressing, state,
// faults, framing and the bus file.
#include "sim/bus.h"
#include "sim/bus_file.h"
#include "sim/in_process.h"
#include "sim/models.h"
#include "support/pty_peer.h"
#include "support/sim_bus.h"
#include "transport/modbus.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <algorithm>

namespace tavo {
namespace {

using namespace std::chrono_literals;
using test::SimBus;

using test::Send;

TEST(SimAddressing, OnlyTheAddressedModuleAnswersAndUnknownCommandsAreRefused) {
    SimBus sim("01 R210D\n02 R550\n");
    auto port = sim.Open(40);
    EXPECT_EQ(Send(*port, "$01M").reply, "!01R210D\r");
    EXPECT_EQ(Send(*port, "$02M").reply, "!02R550\r");
    const auto silent = Send(*port, "$03M");
    EXPECT_FALSE(silent.ok);
    EXPECT_EQ(silent.reply, "");
    const auto refused = Send(*port, "$01ZZ");
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.reply, "?01\r");
    EXPECT_EQ(Send(*port, "%01023006").reply, "?01\r"); // too short
    EXPECT_EQ(Send(*port, "%01020006G0").reply, "?01\r"); // not hexadecimal
    std::lock_guard lock(sim.bus().mutex());
    ASSERT_GE(sim.module(1).received.size(), 2u);
    EXPECT_EQ(sim.module(1).received.front(), "$01M");
}

TEST(SimAddressing, WrongBaudRateGetsNoAnswer) {
    SimBus sim("01 R210D baud=19200\n");
    auto slow = sim.Open(40, 9600);
    EXPECT_FALSE(Send(*slow, "$01M").ok);
    slow->SetPortState(19200, 8, kParityNone, kOneStopBit);
    EXPECT_TRUE(Send(*slow, "$01M").ok);
}

// Both answer at once; the idle RS-485 line is high, so the host reads the bitwise
// AND of the two replies, the shorter one padded with idle bytes.
TEST(SimAddressing, TwoModulesAtOneAddressGarbleEachOther) {
    SimBus sim("01 R210D\n01 R550\n");
    auto port = sim.Open(200);
    EXPECT_FALSE(Send(*port, "$01M").ok);
    ASSERT_TRUE(port->WriteText("$01M\r"));
    std::uint8_t heard[9] = {};
    ASSERT_TRUE(port->ReadBytes(sizeof heard, heard)) << port->LastError().text;
    EXPECT_EQ(test::Hex(test::Bytes(heard, heard + sizeof heard)),
              test::Hex(test::ToBytes("!01R010\x04\r")));
}

TEST(SimConfiguration, AddressCodesAndChecksumChangeForReal) {
    SimBus sim("07 R210D init\n");
    auto port = sim.Open(40);
    EXPECT_EQ(Send(*port, "$002").reply, "!07000600\r");
    EXPECT_EQ(Send(*port, "%00080F0640").reply, "!08\r");
    {
        std::lock_guard lock(sim.bus().mutex());
        auto& m = sim.module(8);
        EXPECT_EQ(m.config().typeCode, 0x0Fu);
        EXPECT_TRUE(m.config().init); // still answers at 00 until powered up
        m.config().init = false;
    }
    EXPECT_FALSE(Send(*port, "$08M").ok); // checksum is on now
    port->SetCheckSum(true);
    EXPECT_EQ(Send(*port, "$08M").reply, "!08R210D\r");
    // Outside INIT the address and type change, the baud rate and checksum do not.
    EXPECT_EQ(Send(*port, "%0809100640").reply, "!09\r");
    for (const char* change : {"%0909100740", "%0909100600"}) {
        const auto r = Send(*port, change);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.reply.substr(0, 3), "?09") << change;
    }
    EXPECT_EQ(Send(*port, "$092").reply, "!09100640\r");
}

TEST(SimFaults, EachFaultMakesTheTransactionFailTheWayItShould) {
    using K = PortError::Kind;
    const std::pair<const char*, std::vector<K>> cases[] = {
        {"noreply=#1", {K::Timeout}},
        {"badsum=#1", {K::Checksum}},
        {"late=#1", {K::Timeout}},
        {"noise=#1", {K::BadReply, K::Checksum}},
        {"corrupt=#1", {K::Checksum, K::BadReply, K::Timeout}},
    };
    for (const auto& [fault, kinds] : cases) {
        SimBus sim(std::string("01 R210D checksum ") + fault + "\n");
        auto port = sim.Open(40);
        port->SetCheckSum(true);
        EXPECT_FALSE(Send(*port, "$01M").ok) << fault;
        const K kind = port->LastError().kind;
        EXPECT_NE(std::find(kinds.begin(), kinds.end(), kind), kinds.end())
            << fault << ": " << port->LastError().text;
        std::this_thread::sleep_for(fault == std::string("late=#1") ? 700ms : 0ms);
        EXPECT_EQ(Send(*port, "$01M").reply, "!01R210D\r") << fault; // only once
    }
}

// The bus at a moment of the test's choosing: what it sends back for `request`
// arriving at `at` (the line goes quiet after it).
std::vector<sim::Transmission> Answer(sim::Bus& bus, const std::string& request, sim::TimePoint at) {
    std::vector<sim::Transmission> out;
    const auto bytes = test::ToBytes(request);
    bus.Receive(bytes.data(), bytes.size(), at, out);
    bus.Idle(at, out);
    return out;
}

TEST(SimFaults, LateReplyIsScheduledLateOnceAndIsPurgedFromTheLine) {
    {
        sim::Bus bus;
        std::string error;
        ASSERT_TRUE(sim::LoadBusText("01 R210D late=#1 latems=150\n", bus, error)) << error;
        const sim::TimePoint t0{};
        auto out = Answer(bus, "$01M\r", t0);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].delay, 150ms);
        EXPECT_EQ(out[0].bytes, test::ToBytes("!01R210D\r"));
        out = Answer(bus, "$01M\r", t0 + 1s);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].delay, 0ms); // only once
    }
    // On the wire: the transaction gives up at its time-out, and the reply that
    // lands afterwards is never taken for the next command's answer.
    SimBus sim("01 R210D late=#1 latems=150\n");
    auto port = sim.Open(30);
    const auto r = Send(*port, "$01M");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.reply, "");
    EXPECT_EQ(port->LastError().kind, PortError::Kind::Timeout);
    std::this_thread::sleep_for(200ms); // at least until the late reply is due
    EXPECT_EQ(Send(*port, "$01F").reply, "!01A1.00\r");
}

TEST(SimFaults, ProbabilityIsRoughlyRespected) {
    SimBus sim("seed 7\n01 R210D noreply=0.5\n");
    auto port = sim.Open(10);
    int answered = 0;
    for (int i = 0; i < 60; ++i) answered += Send(*port, "$01M").ok;
    EXPECT_GT(answered, 15);
    EXPECT_LT(answered, 45);
}

TEST(SimWire, RepliesArePacedByTheBaudRate) {
    // 10 bits a character at 1200 baud: 8.333 ms. The reply starts when the 5
    // request bytes would have crossed the line and comes a character at a time.
    sim::Bus bus;
    std::string error;
    ASSERT_TRUE(sim::LoadBusText("wire on\n01 R210D baud=1200\n", bus, error)) << error;
    bus.SetLine({1200, 0, 1, true});
    const auto out = Answer(bus, "$01M\r", sim::TimePoint{});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].perByte, std::chrono::nanoseconds(8'333'333));
    EXPECT_EQ(out[0].delay, 5 * std::chrono::nanoseconds(8'333'333));
    EXPECT_EQ(out[0].bytes, test::ToBytes("!01R210D\r"));
    // Over the pseudo-terminal the exchange can only be slower than the line: 14
    // characters, 116 ms.
    SimBus sim("wire on\n01 R210D baud=1200\n");
    auto port = sim.Open(200, 1200);
    const auto start = Clock::now();
    ASSERT_TRUE(Send(*port, "$01M").ok);
    EXPECT_GE(Clock::now() - start, 116ms);
}

TEST(SimModbus, IdentityBroadcastAndUnknownFunction) {
    SimBus sim("0A R260P protocol=modbus\n");
    auto port = sim.Open(40);
    TavoModbusCOM modbus(port.get());
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(modbus.ReadHoldingRegisters(0x0A, 211, 2));
    ASSERT_TRUE(modbus.ReadResponse(data));
    EXPECT_EQ(test::Hex(data), "12 60 50 00");
    ASSERT_TRUE(modbus.ReadHoldingRegisters(0, 211, 2)); // broadcast: nobody answers
    EXPECT_FALSE(modbus.ReadResponse(data));
    EXPECT_EQ(modbus.LastException(), 0);
    // A function the slave does not know: framed by silence, answered with 01.
    std::uint8_t frame[] = {0x0A, 0x2B, 0x0E, 0x01, 0, 0};
    const auto crc = TavoModbusCOM::CalcCRC(frame, 4);
    frame[4] = crc[0];
    frame[5] = crc[1];
    ASSERT_TRUE(port->WriteBytes(6, frame));
    std::uint8_t answer[5];
    ASSERT_TRUE(port->ReadBytes(5, answer));
    EXPECT_EQ(answer[1], 0xAB);
    EXPECT_EQ(answer[2], 0x01);
}

TEST(SimInProcess, SameBehaviourWithoutAPseudoTerminal) {
    sim::Bus bus;
    std::string error;
    ASSERT_TRUE(sim::LoadBusText("01 R210D checksum\n0A R550 protocol=modbus\n", bus, error));
    TavoComPort port("sim", std::make_unique<sim::InProcessPort>(bus));
    ASSERT_TRUE(port.OpenPort());
    port.SetPortState(9600, 8, kParityNone, kOneStopBit);
    port.SetTimeOut(20);
    port.SetCheckSum(true);
    EXPECT_EQ(Send(port, "$01M").reply, "!01R210D\r");
    TavoModbusCOM modbus(&port);
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(modbus.ReadHoldingRegisters(0x0A, 211, 2));
    ASSERT_TRUE(modbus.ReadResponse(data));
    EXPECT_EQ(test::Hex(data), "15 50 00 00");
}

TEST(SimBusFile, ReportsTheLineOfAMistake) {
    const std::pair<const char*, const char*> bad[] = {
        {"01 R210D\n1 R550\n", "line 2: address '1'"},
        {"01\n", "line 1: model designation missing"},
        {"01 R210D baud=1234\n", "line 1: bad value in 'baud=1234'"},
        {"01 R210D cheksum\n", "line 1: unknown option 'cheksum'"},
        {"01 R210D noreply=2\n", "line 1: bad value"},
        {"wire maybe\n", "line 1: write 'wire on'"},
        // Models the simulator does not have, and options a model has no use for.
        {"01 R210D\n02 R999\n", "line 2: unknown model 'R999'"},
        {"01 R55O\n", "line 1: unknown model 'R55O'"},
        {"01 R210D inputs=FF\n", "line 1: option 'inputs' does not apply to R210D"},
        {"01 R210D value1=2\n", "line 1: option 'value1' does not apply to R210D"},
        {"01 R250 di=01\n", "line 1: option 'di' does not apply to R250"},
        {"01 R260 stdrecords=3\n", "line 1: option 'stdrecords' does not apply to R260"},
        {"01 R310 value=3\n", "line 1: option 'value' does not apply to R310"},
        {"01 R550 value=3\n", "line 1: option 'value' does not apply to R550"},
        {"01 R710 cjc=25\n", "line 1: option 'cjc' does not apply to R710"},
        {"01 R910 slots=K220\n", "line 1: option 'slots' does not apply to R910"},
        {"01 Z352 map=user\n", "line 1: option 'map' does not apply to Z352"},
        {"01 K100 inputs=01\n", "line 1: option 'inputs' does not apply to K100"},
        {"05 R8XX target=R850 value=1\n", "line 1: option 'value' does not apply to R850"},
        // Values a model cannot take.
        {"01 R210D value=abc\n", "line 1: bad value in 'value=abc'"},
        {"01 R270 value7=1e3\n", "line 1: bad value in 'value7=1e3'"},
        {"01 R210D burnout=3\n", "line 1: bad value in 'burnout=3'"},
        {"01 R210D di=2\n", "line 1: bad value in 'di=2'"},
        {"01 R270M stdrecords=-1\n", "line 1: bad value in 'stdrecords=-1'"},
        {"01 K100 map=sometimes\n", "line 1: bad value in 'map=sometimes'"},
        {"01 R550 comsetting=XYZ\n", "line 1: bad value in 'comsetting=XYZ'"},
    };
    for (const auto& [text, expected] : bad) {
        sim::Bus bus;
        std::string error;
        EXPECT_FALSE(sim::LoadBusText(text, bus, error)) << text;
        EXPECT_NE(error.find(expected), std::string::npos) << error;
        EXPECT_TRUE(bus.modules().empty());
    }
    sim::Bus bus;
    std::string error;
    ASSERT_TRUE(sim::LoadBusText("# a bus\n  \n01 R210D noreply=#2 # two silent replies\n", bus, error))
        << error;
    EXPECT_EQ(bus.modules().at(0)->faults().noReply.count, 2);
    // What each family takes.
    const char* good = "01 R210D value=5 cjc=25 burnout=1 di=1\n02 R270 value7=-1.5 burnout=FF\n"
                       "03 R270M stdrecords=3 eventrecords=0\n04 R330 di=0F\n05 R320T di=3\n"
                       "06 R550 inputs=0F comsetting=0C\n07 R710D freq0=5 gatein=0\n"
                       "08 K100 slots=K220 map=fixed\n09 Z351 slots=Z320\n0A R8XX target=R820 "
                       "image=none value=2\n";
    sim::Bus all;
    EXPECT_TRUE(sim::LoadBusText(good, all, error)) << error;
    EXPECT_EQ(all.modules().size(), 10u);
}

TEST(SimBusFile, TheDemoBusLoads) {
    std::ifstream in(TAVO_DEMO_BUS);
    ASSERT_TRUE(in) << TAVO_DEMO_BUS;
    std::stringstream text;
    text << in.rdbuf();
    sim::Bus bus;
    std::string error;
    EXPECT_TRUE(sim::LoadBusText(text.str(), bus, error)) << error;
    EXPECT_GT(bus.modules().size(), 40u);
}

TEST(SimModelCodes, SeriesDigitBcdAndSuffixLetters) {
    const auto code = [](const char* d) {
        const auto c = sim::ModelCodeFor(d);
        return c ? test::Hex({static_cast<std::uint8_t>(c->bcd >> 8),
                              static_cast<std::uint8_t>(c->bcd & 0xFF), c->suffix1, c->suffix2})
                 : std::string("none");
    };
    EXPECT_EQ(code("R550"), "15 50 00 00");
    EXPECT_EQ(code("K100"), "21 00 00 00");
    EXPECT_EQ(code("R560SO"), "15 60 53 4F");
    EXPECT_EQ(code("R260P"), "12 60 50 00");
    EXPECT_EQ(code("Z350"), "33 50 00 00");
    EXPECT_EQ(code("R8XX"), "none");
}

} // namespace
} // namespace tavo
