// Search options: probe subsets on the wire, sweeps over line settings, refused
// settings, the time estimate and stopping a paced search.
#include "sim/in_process.h"
#include "support/pty_peer.h"
#include "support/sim_bus.h"
#include "transport/modbus.h"
#include "workspace/core/search_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace tavo {
namespace {

// Modbus turnaround 0 for the test's duration, as the other search tests run.
struct NoTurnaround {
    NoTurnaround() { TavoModbusCOM::SetDefaultTurnaroundDelay(0); }
    ~NoTurnaround() {
        TavoModbusCOM::SetDefaultTurnaroundDelay(TavoModbusCOM::kDefaultTurnaroundMs);
    }
};

std::vector<FoundNode> RunAll(SearchEngine& engine) {
    std::vector<FoundNode> nodes;
    while (!engine.Done())
        if (auto node = engine.Step()) nodes.push_back(*node);
    EXPECT_EQ(engine.Progress(), engine.ProgressMax());
    return nodes;
}

std::string Frame(const std::string& hex) {
    test::Bytes b(hex.size() / 2);
    TavoModbusCOM::HexToBytes(hex, b.data());
    const auto crc = TavoModbusCOM::CalcCRC(b.data(), b.size());
    b.push_back(crc[0]);
    b.push_back(crc[1]);
    return test::Hex(b);
}

TEST(SearchOptions, EachProbeSubsetSendsItsProbesInTheFixedOrder) {
    NoTurnaround quick;
    const std::string ascii = test::Hex(test::ToBytes("$07M\r"));
    char sum[3];
    std::snprintf(sum, sizeof sum, "%02X", TavoComPort::CalcCheckSum("$07M"));
    const std::string checksum = test::Hex(test::ToBytes("$07M" + std::string(sum) + "\r"));
    const std::string modbus1 = Frame("070327100002"); // register 10001: the racks' model code
    const std::string modbus2 = Frame("070300D20002"); // register 211: the modules'
    struct Row {
        unsigned probes;
        std::vector<std::string> wire;
    };
    const Row rows[] = {
        {kAllProbes, {ascii, checksum, modbus1, modbus2}}, // the plain search, byte for byte
        {kProbeAscii, {ascii}},
        {kProbeChecksum, {checksum}},
        {kProbeModbus, {modbus1, modbus2}},
        {kProbeAscii | kProbeChecksum, {ascii, checksum}},
        {kProbeAscii | kProbeModbus, {ascii, modbus1, modbus2}},
        {kProbeChecksum | kProbeModbus, {checksum, modbus1, modbus2}},
    };
    for (const Row& row : rows) {
        test::ScriptedPeer peer; // silent: nobody answers
        TavoComPort port(peer.path());
        ASSERT_TRUE(port.OpenPort());
        port.SetTimeOut(10);
        SearchOptions options;
        options.probes = row.probes;
        SearchEngine engine(port, 7, 7, options);
        EXPECT_TRUE(RunAll(engine).empty());
        // The peer cuts requests at pauses in the line, which a loaded machine can
        // move: the whole byte stream is compared, once all of it is there.
        std::string wanted;
        for (const auto& w : row.wire) wanted += (wanted.empty() ? "" : " ") + w;
        std::string sent;
        for (int i = 0; i < 500 && sent.size() < wanted.size(); ++i) {
            if (i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            sent.clear();
            for (const auto& r : peer.Requests()) sent += (sent.empty() ? "" : " ") + test::Hex(r);
        }
        EXPECT_EQ(sent, wanted) << "probes " << row.probes;
    }
}

TEST(SearchOptions, SubsetsFindModulesUnderTheirFirstAnsweringProbe) {
    NoTurnaround quick;
    test::SimBus sim("01 R210D\n02 R550 checksum\n03 R560SO protocol=modbus\n");
    auto port = sim.Open(200); // the simulator answers at once: only silent probes wait it out
    const auto texts = [&](unsigned probes) {
        SearchOptions options;
        options.probes = probes;
        SearchEngine engine(*port, 1, 3, options);
        std::vector<std::string> out;
        for (const auto& n : RunAll(engine)) {
            out.push_back(n.text + "/" + std::to_string(static_cast<int>(*n.link)));
            EXPECT_FALSE(n.line); // no sweep, no line settings on the nodes
        }
        return out;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(texts(kProbeAscii), V{"(01)R210D/0"});
    EXPECT_EQ(texts(kProbeChecksum), V{"(02)R550/1"});
    EXPECT_EQ(texts(kProbeModbus), V{"(03)R560SO/2"});
    EXPECT_EQ(texts(kProbeChecksum | kProbeModbus), (V{"(02)R550/1", "(03)R560SO/2"}));
    EXPECT_EQ(texts(kAllProbes), (V{"(01)R210D/0", "(02)R550/1", "(03)R560SO/2"}));
}

TEST(SearchOptions, BaudSweepListsEachModuleAtItsRateAndSkipsWhatThePortRefuses) {
    NoTurnaround quick;
    test::SimBus sim("01 R210D baud=19200\n02 R550 checksum baud=115200\n"
                     "03 R560SO protocol=modbus baud=19200\n04 R210D\n");
    auto port = sim.Open(100, 9600); // long enough for a loaded machine
    SearchOptions options;
    for (const std::uint32_t baud : {9600u, 250000u, 19200u, 115200u})
        options.sweep.push_back({baud, 8, kParityNone, kOneStopBit});
    options.sweep.push_back({9600, 8, kParityEven, kOneStopBit}); // a pty carries no parity
    std::vector<std::string> found;
    {
        SearchEngine engine(*port, 1, 4, options);
        EXPECT_EQ(engine.SettingCount(), 5);
        EXPECT_EQ(engine.ProgressMax(), 20);
        for (const auto& n : RunAll(engine))
            found.push_back(n.text + " " + LineSettingsText(*n.line));
        EXPECT_EQ(engine.Notices(),
                  (std::vector<std::string>{
                      "Skipped 250000, N, 8, 1: the port refuses it (unsupported line settings)",
                      "Skipped 9600, E, 8, 1: the port refuses it (the driver did not take the "
                      "data bits, parity or stop bits)"}));
    }
    EXPECT_EQ(found,
              (std::vector<std::string>{"(04)R210D 9600, N, 8, 1", "(01)R210D 19200, N, 8, 1",
                                        "(03)R560SO 19200, N, 8, 1", "(02)R550 115200, N, 8, 1"}));
    // The engine put the port back where it found it.
    EXPECT_EQ(port->GetLineSettings().baud, 9600u);
}

TEST(SearchOptions, ParitySettingsCarryOnlyTheModbusProbe) {
    NoTurnaround quick;
    sim::Bus bus;
    std::string error;
    ASSERT_TRUE(sim::LoadBusText("05 R560SO protocol=modbus parity=E\n06 R550\n", bus, error))
        << error;
    TavoComPort port("sim", std::make_unique<sim::InProcessPort>(bus));
    ASSERT_TRUE(port.OpenPort());
    ASSERT_TRUE(port.SetPortState(9600, 8, kParityNone, kOneStopBit));
    port.SetTimeOut(10);
    SearchOptions options;
    options.sweep = {{9600, 8, kParityNone, kOneStopBit}, {9600, 8, kParityEven, kOneStopBit}};
    SearchEngine engine(port, 5, 6, options);
    const auto nodes = RunAll(engine);
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(nodes[0].text, "(06)R550");
    EXPECT_EQ(nodes[0].line->parity, kParityNone);
    EXPECT_EQ(nodes[1].text, "(05)R560SO");
    EXPECT_EQ(*nodes[1].link, LinkKind::ModbusRtu);
    EXPECT_EQ(nodes[1].line->parity, kParityEven);
    // At even parity the ASCII module heard no name command of its own.
    EXPECT_EQ(std::count(bus.Find(6)->received.begin(), bus.Find(6)->received.end(), "$06M"), 1);

    // Without the Modbus probe the parity settings drop out of the sweep.
    options.probes = kProbeAscii;
    SearchEngine asciiOnly(port, 5, 6, options);
    EXPECT_EQ(asciiOnly.SettingCount(), 1);
    options.sweep.erase(options.sweep.begin());
    SearchEngine nothing(port, 5, 6, options);
    EXPECT_TRUE(nothing.Done());
    EXPECT_FALSE(nothing.Step());
}

TEST(SearchOptions, EstimateAtTheStartIsTheSumOfThePacedProbeTimes) {
    test::ScriptedPeer peer;
    TavoComPort port(peer.path());
    ASSERT_TRUE(port.OpenPort());
    struct Row {
        unsigned probes;
        int timeout;
        int turnaround;
        int sweep;
        long long ms;
    };
    const Row rows[] = {
        {kAllProbes, 80, 20, 0, 256LL * (160 + 160 + 400)}, // about 3 minutes
        {kProbeAscii, 80, 20, 0, 256LL * 160},              // about 41 s
        {kProbeModbus, 10, 0, 0, 256LL * 40},               // 2 x 2 x 10
        {kProbeAscii, 10, 20, 0, 256LL * 40},               // the interval is longer than 2T
        {kProbeAscii | kProbeModbus, 80, 4, 3, 3 * 256LL * (160 + 336)},
    };
    for (const Row& r : rows) {
        TavoModbusCOM::SetDefaultTurnaroundDelay(r.turnaround);
        port.SetTimeOut(r.timeout);
        SearchOptions options;
        options.probes = r.probes;
        for (int i = 0; i < r.sweep; ++i)
            options.sweep.push_back({9600, 8, kParityNone, kOneStopBit});
        const SearchEngine engine(port, 0, 255, options);
        EXPECT_EQ(engine.EstimatedRemainingMs(), r.ms) << r.probes << " at " << r.timeout;
    }
    TavoModbusCOM::SetDefaultTurnaroundDelay(TavoModbusCOM::kDefaultTurnaroundMs);
    EXPECT_EQ(DurationText(40960), "0:40");
    EXPECT_EQ(DurationText(185344), "3:05");
    EXPECT_EQ(DurationText(3725000), "1:02:05");
    EXPECT_EQ(DurationText(-5), "0:00");
}

TEST(SearchOptions, StoppingAPacedSearchKeepsWhatWasFound) {
    NoTurnaround quick;
    test::SimBus sim("01 R210D\n02 R550\n");
    auto port = sim.Open(200);
    SearchEngine engine(*port, 1, 2, {kProbeAscii, {}});
    std::atomic<bool> stop{false};
    std::vector<std::string> found;
    int steps = 0;
    PacedSearchHooks hooks;
    hooks.beforeStep = [&](const SearchEngine& e) {
        ++steps;
        EXPECT_EQ(e.Address(), steps);
    };
    hooks.found = [&](const FoundNode& n, const SearchEngine&) {
        found.push_back(n.text);
        stop = true;
    };
    RunPacedSearch(engine, hooks, &stop);
    EXPECT_EQ(found, std::vector<std::string>{"(01)R210D"});
    EXPECT_EQ(steps, 1);
    EXPECT_FALSE(engine.Done());
    EXPECT_EQ(engine.Address(), 2);
}

} // namespace
} // namespace tavo
