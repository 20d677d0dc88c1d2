// The points of the digital I/O, universal and counter modules against the
// simulator over its pseudo-terminal: what ReadAll sends and what the readings are
// (every value the one the module sent), the qualities of garbled replies and of
// channels in another function, writes byte for byte as the panels send them, and
// the writes refused before anything is sent.
#include "devices/hex_codes.h"
#include "devices/modbus_slave.h"
#include "devices/models_digital.h"
#include "points/module_points.h"
#include "points/point_text.h"
#include "sim/digital_modules.h"
#include "support/point_values.h"
#include "support/sim_bus.h"
#include "transport/modbus.h"

#include <gtest/gtest.h>

namespace tavo {
namespace {

using test::SimBus;
using Strings = std::vector<std::string>;

// Modbus requests without the 20 ms pauses a real bus wants.
class DigitalPoints : public ::testing::Test {
protected:
    void SetUp() override {
        turnaround_ = TavoModbusCOM::GetDefaultTurnaroundDelay();
        TavoModbusCOM::SetDefaultTurnaroundDelay(0);
    }
    void TearDown() override { TavoModbusCOM::SetDefaultTurnaroundDelay(turnaround_); }

    static std::unique_ptr<ModulePoints> Make(const std::string& model, int address,
                                              PointProtocol protocol = PointProtocol::Ascii) {
        std::string error;
        auto points = MakeModulePoints(model, {address, -1, protocol}, error);
        EXPECT_TRUE(points) << error;
        return points;
    }

private:
    int turnaround_ = 0;
};
// The simulator answers at once; a module made silent costs this much per read,
// and a loaded machine's late answer still comes in time.
constexpr int kReplyWaitMs = 250;
using UniversalPoints = DigitalPoints;
using CounterPoints = DigitalPoints;

std::string Values(const ModulePoints& p, const std::string& prefix = "") {
    return test::PointValues(p, prefix);
}

Strings Received(SimBus& sim, unsigned address) {
    std::lock_guard lock(sim.bus().mutex());
    auto& m = sim.module(address);
    Strings out(m.received.begin(), m.received.end());
    m.received.clear();
    return out;
}

// ---- every model ----

TEST_F(DigitalPoints, EveryModelListsItsChannelsInAFixedOrder) {
    struct Row {
        const char* model;
        const char* names;
    };
    for (const Row& row : {
             Row{"R510", "di0..di6, do0..do7"},
             Row{"R520", "di0..di15"},
             Row{"R530", "di0..di7"},
             Row{"R540", "di0..di15"},
             Row{"R550", "di0..di7, do0..do7"},
             Row{"R560S", "do0..do11"},
             Row{"R560SO", "do0..do11"},
             Row{"R610", "do0..do3"},
             Row{"R620", "do0..do7"},
             Row{"R630", "do0..do7"},
             Row{"R850", "di0..di6, do0..do7, cnt0..cnt6, freq0..freq6"},
             Row{"R860", "do0..do7"},
             Row{"R710", "cnt0, cnt1, freq0, freq1, do0, do1"},
             Row{"R710D", "cnt0, cnt1, freq0, freq1, do0, do1"},
         }) {
        const auto p = Make(row.model, 1);
        ASSERT_TRUE(p) << row.model;
        EXPECT_EQ(PointNameList(p->Points()), row.names) << row.model;
        for (const PointInfo& info : p->Points()) {
            EXPECT_EQ(info.writable, info.kind == PointKind::DigitalOutput) << info.name;
            EXPECT_EQ(info.unit, info.kind == PointKind::Frequency ? "Hz" : "") << info.name;
        }
    }
    // Modbus where the registry has a Modbus variant, no slots.
    std::string error;
    for (const char* model : {"R520", "R550", "R560S", "R560SO", "R620", "R630", "R850", "R860"})
        EXPECT_TRUE(MakeModulePoints(model, {1, -1, PointProtocol::Modbus}, error)) << model;
    for (const char* model : {"R510", "R530", "R540", "R610", "R710", "R710D"}) {
        EXPECT_FALSE(MakeModulePoints(model, {1, -1, PointProtocol::Modbus}, error)) << model;
        EXPECT_EQ(error, std::string(model) + " does not speak Modbus RTU");
    }
    EXPECT_FALSE(MakeModulePoints("R550", {0x40, 2, PointProtocol::Ascii}, error));
    EXPECT_EQ(error, "R550 is a module of its own: it has no slot 2");
}

// ---- the state read ----

TEST_F(DigitalPoints, OneStateReadGivesEveryChannelInTheModelsLayout) {
    struct Row {
        const char* line;
        const char* values;
    };
    const Row rows[] = {
        {"0A R510 inputs=41 outputs=81", "di0=1 di1=0 di2=0 di3=0 di4=0 di5=0 di6=1 do0=1 do1=0 "
                                         "do2=0 do3=0 do4=0 do5=0 do6=0 do7=1"},
        {"0A R520 inputs=F00F invert=00FF",
         "di0=0 di1=0 di2=0 di3=0 di4=1 di5=1 di6=1 di7=1 di8=0 di9=0 di10=0 di11=0 di12=1 "
         "di13=1 di14=1 di15=1"},
        {"0A R530 inputs=A5", "di0=1 di1=0 di2=1 di3=0 di4=0 di5=1 di6=0 di7=1"},
        {"0A R550 checksum inputs=A5 outputs=5A",
         "di0=1 di1=0 di2=1 di3=0 di4=0 di5=1 di6=0 di7=1 do0=0 do1=1 do2=0 do3=1 do4=1 do5=0 "
         "do6=1 do7=0"},
        // A group tripped on over-current reads what the module reports: off.
        {"0A R560SO outputs=FFF overcurrent=2",
         "do0=1 do1=1 do2=1 do3=1 do4=0 do5=0 do6=0 do7=0 do8=1 do9=1 do10=1 do11=1"},
        {"0A R610 outputs=9", "do0=1 do1=0 do2=0 do3=1"},
        {"0A R860 outputs=80", "do0=0 do1=0 do2=0 do3=0 do4=0 do5=0 do6=0 do7=1"},
    };
    for (const Row& row : rows) {
        SimBus sim(std::string(row.line) + "\n");
        auto port = sim.Open(kReplyWaitMs);
        const std::string line = row.line;
        const auto p =
            Make(line.substr(3, line.find(' ', 3) - 3), 0x0A,
                 line.find("checksum") != std::string::npos ? PointProtocol::AsciiChecksum
                                                            : PointProtocol::Ascii);
        ASSERT_TRUE(p->ReadAll(*port)) << row.line;
        EXPECT_EQ(Values(*p), row.values) << row.line;
        // The one request of the panel's poll, and nothing else.
        EXPECT_EQ(Received(sim, 0x0A), Strings{"$0A6"}) << row.line;
    }
}

TEST_F(DigitalPoints, AGarbledCutOrMissingStateIsFailedNeverANumber) {
    // The R530's inputs are the first two of four digits: a reply cut or garbled
    // after them must not pass for a state.
    for (const char* fault : {"garbage=#1", "cut=#1", "noreply=#1"}) {
        for (const char* model : {"R530", "R550"}) {
            SimBus sim("0A " + std::string(model) + " inputs=A5 " + fault + "\n");
            auto port = sim.Open(kReplyWaitMs);
            const auto p = Make(model, 0x0A);
            EXPECT_EQ(p->ReadAll(*port), std::string(fault) != "noreply=#1") << model << fault;
            for (const PointReading& r : p->Readings())
                EXPECT_EQ(r.quality, PointQuality::Failed) << model << fault;
            ASSERT_TRUE(p->ReadAll(*port)); // the fault was for one reply
            EXPECT_EQ(Values(*p, "di0"), "di0=1") << model << fault;
        }
    }
}

TEST_F(DigitalPoints, ModbusReadsEachBlockOnceAndTakesCoilsByNumber) {
    SimBus sim("0A R550 protocol=modbus inputs=5A outputs=81\n"
               "0B R560SO protocol=modbus outputs=F0F\n");
    auto port = sim.Open(kReplyWaitMs);
    const auto r550 = Make("R550", 0x0A, PointProtocol::Modbus);
    ASSERT_TRUE(r550->ReadAll(*port));
    EXPECT_EQ(Values(*r550), "di0=0 di1=1 di2=0 di3=1 di4=1 di5=0 di6=1 di7=0 do0=1 do1=0 do2=0 "
                             "do3=0 do4=0 do5=0 do6=0 do7=1");
    EXPECT_EQ(Received(sim, 0x0A), (Strings{"0A0100100008", "0A0100000008"}));

    // Another master's read of outputs and over-current coils in one block (coils 17
    // to 31) gives the outputs all the same.
    const auto r560 = Make("R560SO", 0x0B, PointProtocol::Modbus);
    {
        PointTap tap(*port, *r560);
        TavoModbusCOM modbus(port.get());
        ModbusSlave slave(&modbus, 0x0B);
        std::uint32_t bits = 0;
        ASSERT_TRUE(slave.ReadCoils(17, 15, bits));
        // A read of another slave and a failed read of coils that are not outputs
        // leave them alone.
        ModbusSlave(&modbus, 0x0A).ReadCoils(17, 8, bits);
        EXPECT_FALSE(slave.ReadCoils(40, 2, bits));
    }
    EXPECT_EQ(Values(*r560),
              "do0=1 do1=1 do2=1 do3=1 do4=0 do5=0 do6=0 do7=0 do8=1 do9=1 do10=1 do11=1");
    ASSERT_TRUE(r560->ReadAll(*port));
    EXPECT_EQ(Received(sim, 0x0B).back(), "0B010010000C"); // twelve outputs in one read
}

// ---- writes ----

TEST_F(DigitalPoints, AWriteSendsWhatThePanelsOutputButtonSends) {
    SimBus sim("0A R550\n0B R560S\n0C R550 protocol=modbus\n0D R850\n");
    auto port = sim.Open(kReplyWaitMs);
    struct Row {
        const char* model;
        int address;
        PointProtocol protocol;
        const char* point;
        double value;
        std::function<bool()> panel; // the panel's command class doing the same
    };
    TavoMR550 r550(port.get(), "0A");
    TavoMR560 r560(port.get(), "0B");
    TavoModbusCOM modbus(port.get());
    ModbusSlave slave(&modbus, 0x0C);
    TavoMR550 r850(port.get(), "0D");
    const Row rows[] = {
        {"R550", 0x0A, PointProtocol::Ascii, "do3", 1, [&] { return r550.WriteDO(3, 1); }},
        {"R560S", 0x0B, PointProtocol::Ascii, "do11", 1, [&] { return r560.WriteDO(11, 1); }},
        {"R560S", 0x0B, PointProtocol::Ascii, "do2", 0, [&] { return r560.WriteDO(2, 0); }},
        {"R550", 0x0C, PointProtocol::Modbus, "do2", 1, [&] { return slave.WriteCoil(19, true); }},
        {"R850", 0x0D, PointProtocol::Ascii, "do7", 1, [&] { return r850.WriteDO(7, 1); }},
    };
    const Strings sent[] = {
        {"#0A1301"}, {"#0B1B0001"}, {"#0B120000"}, {"0C050012FF00"}, {"#0D1701"}};
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        auto p = Make(row.model, row.address, row.protocol);
        std::string error;
        ASSERT_TRUE(p->Write(*port, row.point, row.value, error)) << error;
        EXPECT_EQ(Received(sim, row.address), sent[i]) << row.point;
        ASSERT_TRUE(row.panel());
        EXPECT_EQ(Received(sim, row.address), sent[i]) << row.point;
        ASSERT_TRUE(p->ReadAll(*port));
        const PointReading& read = p->Readings()[static_cast<std::size_t>(p->IndexOf(row.point))];
        EXPECT_EQ(read.quality, PointQuality::Good) << row.point;
        EXPECT_EQ(read.value, row.value) << row.point;
        Received(sim, row.address);
    }
}

TEST_F(DigitalPoints, WritesThatCannotBeRightAreRefusedBeforeAnythingIsSent) {
    SimBus sim("0A R550\n");
    auto port = sim.Open(kReplyWaitMs);
    const auto p = Make("R550", 0x0A);
    struct Row {
        const char* point;
        const char* text;
        const char* error;
    };
    for (const Row& row : {
             Row{"di0", "1", "di0 is an input and cannot be written"},
             Row{"do8", "1", "R550 has no point do8 (it has di0..di7, do0..do7)"},
             Row{"do0", "2",
                 "'2' is no value for the digital point do0 (give 0, 1, ON, OFF, true or false)"},
             Row{"do0", "",
                 "'' is no value for the digital point do0 (give 0, 1, ON, OFF, true or false)"},
         }) {
        std::string error;
        EXPECT_FALSE(p->CheckWrite(row.point, row.text, error)) << row.point << row.text;
        EXPECT_EQ(error, row.error);
    }
    std::string error;
    EXPECT_FALSE(p->Write(*port, "di3", 1, error));
    EXPECT_FALSE(p->Write(*port, "do0", 0.5, error));
    EXPECT_TRUE(Received(sim, 0x0A).empty());
    EXPECT_EQ(p->CheckWrite("do0", "ON", error), 1.0);
}

TEST_F(DigitalPoints, AWriteTheModuleRefusesSaysWhy) {
    SimBus sim("0A R560SO overcurrent=2\n0B R560SO protocol=modbus overcurrent=1\n0C R850\n"
               "0D R550\n");
    auto port = sim.Open(kReplyWaitMs);
    std::string error;
    const auto ascii = Make("R560SO", 0x0A);
    EXPECT_FALSE(ascii->Write(*port, "do5", 1, error));
    EXPECT_EQ(error, "R560SO at 0A did not take do5 = 1: the module refused it; outputs 4 to 7 "
                     "are switched off after an over-current: clear the error status first");
    EXPECT_EQ(Received(sim, 0x0A), (Strings{"#0A150001", "$0AE0"}));
    EXPECT_TRUE(ascii->Write(*port, "do8", 1, error)) << error; // another group

    const auto modbus = Make("R560SO", 0x0B, PointProtocol::Modbus);
    EXPECT_FALSE(modbus->Write(*port, "do1", 1, error));
    EXPECT_EQ(error, "R560SO at 0B did not take do1 = 1: the module refused it (Modbus exception "
                     "4); outputs 0 to 3 are switched off after an over-current: clear the error "
                     "status first");

    std::string reply;
    std::string command = "$0CCOC301\r"; // do3 puts out pulses
    ASSERT_TRUE(port->SendCommand(command, 64, &reply));
    const auto r850 = Make("R850", 0x0C);
    EXPECT_FALSE(r850->Write(*port, "do3", 0, error));
    EXPECT_EQ(error, "R850 at 0C did not take do3 = 0: the module refused it; do3 is in pulse "
                     "output mode, which takes no level (set it to D/O first)");

    // A module that is not there: nothing more is asked.
    const auto absent = Make("R550", 0x0E);
    EXPECT_FALSE(absent->Write(*port, "do0", 1, error));
    EXPECT_EQ(error, "R550 at 0E did not take do0 = 1: the module did not answer");
}

// ---- the universal modules ----

TEST_F(UniversalPoints, EachInputsModeDecidesWhatItsPointsRead) {
    SimBus sim("0A R850 inputs=01 outputs=02 freq3=25\n");
    auto port = sim.Open(kReplyWaitMs);
    // DI2 counts, DI3 measures frequency, DI4 latches rising edges.
    for (const char* set : {"$0ACIC201", "$0ACIC304", "$0ACIC402"}) {
        std::string line = std::string(set) + "\r", reply;
        ASSERT_TRUE(port->SendCommand(line, 64, &reply)) << set;
    }
    {
        std::lock_guard lock(sim.bus().mutex());
        auto& u = *sim.module(0x0A).Find<sim::UniversalDio>();
        // Three rising edges on DI2 and DI4.
        for (const unsigned mask : {0x15u, 0x01u, 0x15u, 0x01u, 0x15u})
            u.SetInputs(mask);
    }
    Received(sim, 0x0A);

    const auto p = Make("R850", 0x0A);
    std::vector<PortExchange> heard;
    port->SetExchangeObserver([&](const PortExchange& e) { heard.push_back(e); });
    ASSERT_TRUE(p->ReadAll(*port));
    // The modes once, then the state and the two values.
    EXPECT_EQ(Received(sim, 0x0A), (Strings{"$0ACIC0", "$0ACIC1", "$0ACIC2", "$0ACIC3", "$0ACIC4",
                                            "$0ACIC5", "$0ACIC6", "$0A6", "#0A2", "#0A3"}));
    ASSERT_EQ(heard.size(), 10u);
    EXPECT_EQ(heard[8].reply, ">00000003\r"); // three rising edges
    EXPECT_EQ(Values(*p, "cnt"),
              "cnt0=disabled cnt1=disabled cnt2=3 cnt3=disabled cnt4=disabled cnt5=disabled "
              "cnt6=disabled");
    EXPECT_EQ(heard[9].reply, ">000000FA\r");
    EXPECT_EQ(Values(*p, "freq"),
              "freq0=disabled freq1=disabled freq2=disabled freq3=25 freq4=disabled "
              "freq5=disabled freq6=disabled");
    EXPECT_EQ(heard[7].reply, "!0215\r");
    // di2 is the level, di4 the latch the rising edges set.
    EXPECT_EQ(Values(*p, "di"), "di0=1 di1=0 di2=1 di3=0 di4=1 di5=0 di6=0");
    EXPECT_EQ(Values(*p, "do1"), "do1=1");

    // A mode written by anybody on the port is learnt: DI3 now counts, without a
    // count yet, and the next read asks for it without reading the modes again.
    {
        PointTap tap(*port, *p);
        std::string line = "$0ACIC301\r", reply;
        ASSERT_TRUE(port->SendCommand(line, 64, &reply));
    }
    EXPECT_EQ(Values(*p, "cnt3") + " " + Values(*p, "freq3"), "cnt3=failed freq3=disabled");
    Received(sim, 0x0A);
    heard.clear();
    ASSERT_TRUE(p->ReadAll(*port));
    EXPECT_EQ(Received(sim, 0x0A), (Strings{"$0A6", "#0A2", "#0A3"}));
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_EQ(Values(*p, "cnt3"), "cnt3=" + std::to_string(*HexValue(heard[2].reply.substr(1, 8))));
}

TEST_F(UniversalPoints, AModeThatCannotBeReadLeavesItsValuesFailed) {
    // The first reply (the mode of DI0) comes garbled.
    SimBus sim("0A R850 garbage=#1\n");
    auto port = sim.Open(kReplyWaitMs);
    const auto p = Make("R850", 0x0A);
    ASSERT_TRUE(p->ReadAll(*port));
    EXPECT_EQ(Values(*p, "cnt0") + " " + Values(*p, "freq0"), "cnt0=failed freq0=failed");
    EXPECT_EQ(Values(*p, "cnt1") + " " + Values(*p, "freq1"), "cnt1=disabled freq1=disabled");
    Received(sim, 0x0A);
    ASSERT_TRUE(p->ReadAll(*port)); // the modes are asked for again
    EXPECT_EQ(Received(sim, 0x0A).size(), 8u);
    EXPECT_EQ(Values(*p, "cnt0"), "cnt0=disabled");
}

TEST_F(UniversalPoints, ModbusVariantReadsModesAndValuesByRegisterNumber) {
    SimBus sim("0A R850 protocol=modbus inputs=01 freq5=12.5\n");
    auto port = sim.Open(kReplyWaitMs);
    {
        TavoModbusCOM modbus(port.get());
        ModbusSlave slave(&modbus, 0x0A);
        ASSERT_TRUE(slave.WriteRegister(301 + 5, 0x04)); // DI5 measures frequency
        ASSERT_TRUE(slave.WriteRegister(301 + 0, 0x01)); // DI0 counts
    }
    Received(sim, 0x0A);
    const auto p = Make("R850", 0x0A, PointProtocol::Modbus);
    ASSERT_TRUE(p->ReadAll(*port));
    // Modes, outputs, inputs, and the values of DI0 to DI5 in one block.
    EXPECT_EQ(Received(sim, 0x0A),
              (Strings{"0A03012C0007", "0A0100100008", "0A0100000008", "0A030140000C"}));
    EXPECT_EQ(Values(*p, "cnt0"), "cnt0=0");
    EXPECT_EQ(Values(*p, "freq5"), "freq5=12.5");
    EXPECT_EQ(Values(*p, "freq0") + " " + Values(*p, "cnt5"), "freq0=disabled cnt5=disabled");
    EXPECT_EQ(Values(*p, "di0"), "di0=1");

    // A mode written with function 6 is learnt.
    {
        PointTap tap(*port, *p);
        TavoModbusCOM modbus(port.get());
        ASSERT_TRUE(ModbusSlave(&modbus, 0x0A).WriteRegister(301 + 5, 0x00));
    }
    EXPECT_EQ(Values(*p, "freq5"), "freq5=disabled");
}

// ---- the counters ----

TEST_F(CounterPoints, CountsOrFrequenciesByModeAndTheOutputsInCounterMode) {
    SimBus sim("0A R710 freq0=1000\n0B R710 type=51 freq1=250\n");
    auto port = sim.Open(kReplyWaitMs);
    std::vector<PortExchange> heard;
    port->SetExchangeObserver([&](const PortExchange& e) { heard.push_back(e); });

    const auto counting = Make("R710", 0x0A);
    ASSERT_TRUE(counting->ReadAll(*port));
    EXPECT_EQ(Received(sim, 0x0A), (Strings{"$0A2", "#0A0", "#0A1", "@0ADI"}));
    ASSERT_EQ(heard.size(), 4u);
    const auto sent = HexValue(heard[1].reply.substr(1, 8));
    ASSERT_TRUE(sent);
    EXPECT_EQ(Values(*counting), "cnt0=" + std::to_string(*sent) +
                                     " cnt1=0 freq0=disabled freq1=disabled do0=0 do1=0");
    ASSERT_TRUE(counting->ReadAll(*port)); // the mode is known now
    EXPECT_EQ(Received(sim, 0x0A), (Strings{"#0A0", "#0A1", "@0ADI"}));

    const auto measuring = Make("R710", 0x0B);
    ASSERT_TRUE(measuring->ReadAll(*port));
    EXPECT_EQ(Received(sim, 0x0B), (Strings{"$0B2", "#0B0", "#0B1"}));
    EXPECT_EQ(Values(*measuring), "cnt0=disabled cnt1=disabled freq0=0 freq1=250 do0=disabled "
                                  "do1=disabled");
}

TEST_F(CounterPoints, GarbledRepliesAreFailed) {
    for (const bool garbage : {true, false}) {
        // The configuration read passes; the first count is spoilt.
        SimBus sim("0A R710\n");
        {
            std::lock_guard lock(sim.bus().mutex());
            sim::FaultPlan& faults = sim.module(0x0A).faults();
            faults.startAfter = 1;
            (garbage ? faults.garbage : faults.cut).count = 1;
        }
        auto port = sim.Open(kReplyWaitMs);
        const auto p = Make("R710", 0x0A);
        ASSERT_TRUE(p->ReadAll(*port));
        EXPECT_EQ(Values(*p), "cnt0=failed cnt1=0 freq0=disabled freq1=disabled do0=0 do1=0")
            << garbage;
    }
    // Without the mode nobody can tell a count from a frequency.
    SimBus sim("0A R710 garbage=#1\n");
    auto port = sim.Open(kReplyWaitMs);
    const auto p = Make("R710", 0x0A);
    ASSERT_TRUE(p->ReadAll(*port));
    for (const PointReading& r : p->Readings())
        EXPECT_EQ(r.quality, PointQuality::Failed);
}

TEST_F(CounterPoints, AnOutputWriteKeepsTheOtherOutputAsTheModuleReportsIt) {
    SimBus sim("0A R710\n0B R710D\n0C R710 type=51\n");
    auto port = sim.Open(kReplyWaitMs);
    std::string error, reply;
    std::string line = "@0ADO01\r";
    ASSERT_TRUE(port->SendCommand(line, 64, &reply));
    Received(sim, 0x0A);
    const auto r710 = Make("R710", 0x0A);
    ASSERT_TRUE(r710->Write(*port, "do1", 1, error)) << error;
    // The panel's DO1 button after a poll that saw DO0 on: "@AADO" with both.
    EXPECT_EQ(Received(sim, 0x0A), (Strings{"$0A2", "@0ADI", "@0ADO03"}));
    ASSERT_TRUE(r710->ReadAll(*port));
    EXPECT_EQ(Values(*r710, "do"), "do0=1 do1=1");

    // An output that follows an alarm, and outputs not in use, are not written.
    line = "@0AEA1\r"; // counter 1 in preset mode drives DO1
    ASSERT_TRUE(port->SendCommand(line, 64, &reply));
    Received(sim, 0x0A);
    EXPECT_FALSE(r710->Write(*port, "do1", 0, error));
    EXPECT_EQ(error, "do1 of the R710 follows its preset alarm while counter 1 is in preset mode "
                     "(switch preset mode off to drive it)");
    EXPECT_EQ(Received(sim, 0x0A), Strings{"@0ADI"});
    EXPECT_TRUE(r710->Write(*port, "do0", 0, error)) << error;

    line = "@0BEAM\r";
    ASSERT_TRUE(port->SendCommand(line, 64, &reply));
    const auto r710d = Make("R710D", 0x0B);
    EXPECT_FALSE(r710d->Write(*port, "do0", 1, error));
    EXPECT_EQ(error, "do0 of the R710D follows its alarm while the alarm is on (disable the alarm "
                     "to drive it)");

    const auto measuring = Make("R710", 0x0C);
    EXPECT_FALSE(measuring->Write(*port, "do0", 1, error));
    EXPECT_EQ(error, "do0 of the R710 is not in use while the module measures frequency (set it "
                     "to counting first)");
    EXPECT_EQ(Received(sim, 0x0C), Strings{"$0C2"});
}

} // namespace
} // namespace tavo
