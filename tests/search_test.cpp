// The search engine against the simulator: probe order, node texts, link kinds,
// child nodes and progress.
#include "support/pty_peer.h"
#include "support/sim_bus.h"
#include "workspace/core/search_engine.h"

#include <gtest/gtest.h>

namespace tavo {
namespace {

struct Found {
    std::vector<FoundNode> nodes;
    int steps = 0;
};

// Time-outs are generous: a reply that comes late on a loaded machine would drop a
// node. The simulator answers at once, so they cost only the silent probes.
Found Scan(test::SimBus& sim, int first, int last, int timeoutMs = 200) {
    TavoModbusCOM::SetDefaultTurnaroundDelay(0);
    auto port = sim.Open(timeoutMs);
    SearchEngine engine(*port, first, last);
    Found f;
    while (!engine.Done()) {
        if (auto node = engine.Step()) f.nodes.push_back(*node);
        ++f.steps;
    }
    EXPECT_EQ(engine.Progress(), engine.ProgressMax());
    TavoModbusCOM::SetDefaultTurnaroundDelay(TavoModbusCOM::kDefaultTurnaroundMs);
    return f;
}

TEST(Search, FirstAnsweringProbeDecidesTheLinkKind) {
    test::SimBus sim("03 R310 init\n"     // answers at 00
                     "01 R210D\n"
                     "02 R550 checksum\n"
                     "04 R560SO protocol=modbus\n"
                     "05 R850 protocol=modbus\n"
                     "06 R860\n");
    const Found f = Scan(sim, 0, 6);
    ASSERT_EQ(f.nodes.size(), 6u);
    const auto kind = [&](int i) { return static_cast<int>(*f.nodes[static_cast<std::size_t>(i)].link); };
    EXPECT_EQ(f.nodes[0].text, "(*)R310");
    EXPECT_EQ(kind(0), 0);
    EXPECT_EQ(f.nodes[1].text, "(01)R210D");
    EXPECT_EQ(kind(1), 0);
    EXPECT_EQ(f.nodes[2].text, "(02)R550"); // after one failed probe
    EXPECT_EQ(kind(2), 1);
    EXPECT_EQ(f.nodes[3].text, "(04)R560SO");
    EXPECT_EQ(kind(3), 2);
    EXPECT_EQ(f.nodes[3].image, kImageModbusModule);
    // R850 over Modbus gets the same channel nodes as over ASCII.
    EXPECT_EQ(f.nodes[4].text, "(05)R850");
    ASSERT_EQ(f.nodes[4].children.size(), 15u);
    EXPECT_EQ(f.nodes[4].children[0].text, "(DO0)");
    EXPECT_EQ(f.nodes[4].children[14].text, "(DI6)");
    EXPECT_EQ(f.nodes[4].children[0].image, kImageDigitalOut);
    EXPECT_EQ(f.nodes[5].text, "(06)R860");
    EXPECT_EQ(f.nodes[5].children.size(), 8u);
    // Steps: 00, 01 one probe each; 02 two; 03 all three; 04..06 as found.
    EXPECT_EQ(f.steps, 1 + 1 + 2 + 3 + 3 + 3 + 1);
}

// A device that answers a Modbus broadcast (address 0, which no slave may answer)
// is not listed; the same answers at address 1 are, so the answers themselves are
// good ones.
TEST(Search, ModbusAnswerAtAddressZeroIsNeverListed) {
    for (const std::uint8_t address : {0, 1}) {
        SCOPED_TRACE(address);
        test::ScriptedPeer peer;
        peer.Then(""); // ASCII without checksum
        peer.Then(""); // ASCII with checksum
        peer.Then(""); // the rack's model registers
        test::Bytes frame{address, 0x03, 0x04, 0x15, 0x50, 0x00, 0x00};
        const auto crc = TavoModbusCOM::CalcCRC(frame.data(), frame.size());
        frame.insert(frame.end(), {crc[0], crc[1]});
        peer.ThenBytes(frame); // the module's: R550
        TavoModbusCOM::SetDefaultTurnaroundDelay(0);
        TavoComPort port(peer.path());
        ASSERT_TRUE(port.OpenPort()) << port.LastError().text;
        port.SetPortState(9600, 8, kParityNone, kOneStopBit);
        port.SetTimeOut(200);
        SearchEngine engine(port, address, address);
        std::vector<FoundNode> found;
        while (!engine.Done())
            if (auto node = engine.Step()) found.push_back(*node);
        TavoModbusCOM::SetDefaultTurnaroundDelay(TavoModbusCOM::kDefaultTurnaroundMs);
        ASSERT_EQ(peer.Requests().size(), 4u);
        if (address == 0) {
            EXPECT_TRUE(found.empty()) << found[0].text;
        } else {
            ASSERT_EQ(found.size(), 1u);
            EXPECT_EQ(found[0].text, "(01)R550");
        }
    }
}

TEST(Search, StartAt255ProbesOnlyThatAddress) {
    test::SimBus sim("FF R210D\nFE R210D\n");
    TavoModbusCOM::SetDefaultTurnaroundDelay(0);
    auto port = sim.Open(200);
    SearchEngine engine(*port, 255);
    EXPECT_EQ(engine.ProgressMax(), 1);
    EXPECT_EQ(engine.TimerIntervalMs(), 230); // T + 30
    auto node = engine.Step();
    ASSERT_TRUE(node);
    EXPECT_EQ(node->text, "(FF)R210D");
    EXPECT_TRUE(engine.Done());
    EXPECT_FALSE(engine.Step());
    TavoModbusCOM::SetDefaultTurnaroundDelay(TavoModbusCOM::kDefaultTurnaroundMs);
}

TEST(Search, RacksGetTheirSlotsAndChannels) {
    test::SimBus sim("01 K100E slots=K220,-,K230P:5,K710,K310,K510,-,K210,K220\n"
                     "02 K100 slots=K220,K310,K510,K710\n"
                     "03 Z352 slots=Z310,-,Z320,Z320\n"
                     "04 K100E protocol=modbus slots=K220\n");
    const Found f = Scan(sim, 1, 4);
    ASSERT_EQ(f.nodes.size(), 4u);
    const FoundNode& k100e = f.nodes[0];
    EXPECT_EQ(k100e.image, kImageRack);
    std::vector<std::string> slots;
    for (const auto& s : k100e.children) slots.push_back(s.text);
    // Eight slots at most, empty ones left out; the generic slot shows its own name.
    EXPECT_EQ(slots, (std::vector<std::string>{"(S0)K220", "(S2)K230P", "(S3)K710", "(S4)K310",
                                               "(S5)K510", "(S7)K210"}));
    EXPECT_EQ(k100e.children[0].children.size(), 8u);
    EXPECT_EQ(k100e.children[1].children.size(), 5u); // as many as the slot reports
    EXPECT_EQ(k100e.children[1].children[4].text, "(CH 4)");
    EXPECT_EQ(k100e.children[4].children.size(), 0u);
    EXPECT_EQ(k100e.children[0].image, kImageSlot);
    EXPECT_EQ(f.nodes[1].children.size(), 4u); // a K100 has four slots
    const FoundNode& z = f.nodes[2];
    EXPECT_EQ(z.text, "(03)Z352");
    EXPECT_EQ(z.image, kImageRack);
    ASSERT_EQ(z.children.size(), 3u);
    EXPECT_EQ(z.children[2].text, "(S3)Z320");
    // The Modbus rack is told by its number code and gets no slot nodes.
    EXPECT_EQ(f.nodes[3].text, "(04)K100EM");
    EXPECT_EQ(*f.nodes[3].link, LinkKind::ModbusRtu);
    EXPECT_TRUE(f.nodes[3].children.empty());
}

// The slots of a rack speaking Modbus are read only for a search asked to (what a
// gateway configuration lists), and even then they are no tree nodes.
TEST(Search, AModbusRacksSlotsAreReadOnlyWhenAsked) {
    test::SimBus sim("04 K100E protocol=modbus slots=K220,-,K520,K710,-,-,K310\n"
                     "05 K100M slots=K510\n");
    TavoModbusCOM::SetDefaultTurnaroundDelay(0);
    auto port = sim.Open(200);
    const auto scan = [&](bool slots) {
        SearchOptions options;
        options.modbusRackSlots = slots;
        SearchEngine engine(*port, 4, 5, options);
        std::vector<FoundNode> nodes;
        while (!engine.Done())
            if (auto node = engine.Step()) nodes.push_back(*node);
        return nodes;
    };
    const auto heard = [&](unsigned address) {
        std::lock_guard lock(sim.bus().mutex());
        const auto& r = sim.module(address).received;
        std::vector<std::string> lines(r.begin(), r.end());
        sim.module(address).received.clear();
        return lines;
    };
    std::vector<FoundNode> plain = scan(false);
    ASSERT_EQ(plain.size(), 2u);
    EXPECT_FALSE(plain[0].modbusSlots);
    const std::vector<std::string> probes = heard(4);
    heard(5);

    std::vector<FoundNode> asked = scan(true);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].text, "(04)K100EM");
    EXPECT_TRUE(asked[0].children.empty());
    ASSERT_TRUE(asked[0].modbusSlots);
    std::vector<std::string> slots;
    for (const auto& n : *asked[0].modbusSlots) slots.push_back(n.text);
    EXPECT_EQ(slots, (std::vector<std::string>{"(S0)K220", "(S2)K520", "(S3)K710", "(S6)K310"}));
    EXPECT_EQ(asked[1].text, "(05)K100M");
    ASSERT_TRUE(asked[1].modbusSlots);
    ASSERT_EQ(asked[1].modbusSlots->size(), 1u);
    EXPECT_EQ((*asked[1].modbusSlots)[0].text, "(S0)K510");
    // The probes as before, then the identification block and the name block.
    std::vector<std::string> expected = probes;
    expected.push_back("040327100026");
    expected.push_back("040327D80040");
    EXPECT_EQ(heard(4), expected);
    TavoModbusCOM::SetDefaultTurnaroundDelay(TavoModbusCOM::kDefaultTurnaroundMs);
}

TEST(Search, AnEightSlotControllerListsModulesInEverySlotItReports) {
    test::SimBus sim("05 Z352 slots=-,Z320,-,-,Z310,-,Z320,Z330\n"
                     "06 Z351 slots=Z320,-,Z310\n");
    const Found f = Scan(sim, 5, 6);
    ASSERT_EQ(f.nodes.size(), 2u);
    std::vector<std::string> slots;
    for (const auto& s : f.nodes[0].children) slots.push_back(s.text);
    EXPECT_EQ(slots,
              (std::vector<std::string>{"(S1)Z320", "(S4)Z310", "(S6)Z320", "(S7)Z330"}));
    slots.clear();
    for (const auto& s : f.nodes[1].children) slots.push_back(s.text);
    EXPECT_EQ(slots, (std::vector<std::string>{"(S0)Z320", "(S2)Z310"}));
}

TEST(Search, ChannelNodesBySlotDesignation) {
    EXPECT_EQ(SearchEngine::KChannelNodes("K210").size(), 3u);
    EXPECT_EQ(SearchEngine::KChannelNodes("K220UH").size(), 8u);
    EXPECT_EQ(SearchEngine::KChannelNodes("K230+").size(), 7u);
    EXPECT_EQ(SearchEngine::KChannelNodes("K710").size(), 4u);
    EXPECT_EQ(SearchEngine::KChannelNodes("K510").size(), 0u);
    EXPECT_EQ(SearchEngine::KChannelNodes("K310")[3].text, "(CH 3)");
}

} // namespace
} // namespace tavo
