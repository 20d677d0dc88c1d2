// The digital, universal and counter modules of the simulator, driven through the
// command classes over a pseudo-terminal: state reads back, time-outs, counters,
// alarms, the boot loader and the Modbus maps.
#include "devices/models_digital.h"
#include "sim/bus_file.h"
#include "sim/boot_loader.h"
#include "sim/digital_modules.h"
#include "support/pty_peer.h"
#include "support/sim_bus.h"

#include <gtest/gtest.h>

#include <thread>

namespace tavo {
namespace {

using namespace std::chrono_literals;
using test::SimBus;

std::string Raw(TavoComPort& port, const std::string& command) {
    std::string line = command + "\r", reply;
    port.SendCommand(line, TavoComPort::kReplyLimit, &reply);
    return reply;
}

template <class Set> Set& SetOf(SimBus& sim, unsigned address) {
    Set* set = sim.module(address).Find<Set>();
    if (!set) throw std::runtime_error("module has no such command set");
    return *set;
}

// ---- plain digital I/O ----

TEST(DigitalSim, StateReadOfEveryModel) {
    const std::pair<const char*, const char*> cases[] = {
        {"01 R510 inputs=7F outputs=81", "817F"},
        {"01 R520 inputs=F00F invert=00FF", "F0F0"},
        {"01 R530 inputs=81", "8100"},
        {"01 R540 inputs=1234", "1234"},
        {"01 R550 inputs=A5 outputs=5A", "5AA5"},
        {"01 R560S outputs=A05", "0A05"},
        {"01 R560SO outputs=FFF overcurrent=2", "0F0F"}, // group 1 is off
        {"01 R610 outputs=9", "0900"},
        {"01 R620 outputs=C3", "C300"},
        {"01 R630", "0000"},
        {"01 R850 inputs=41 outputs=02", "0241"},
        {"01 R860 outputs=80", "8000"},
    };
    for (const auto& [line, state] : cases) {
        SimBus sim(std::string(line) + "\n");
        auto port = sim.Open(30);
        TavoMR550 m(port.get(), "01");
        std::string out;
        ASSERT_TRUE(m.ReadDIO(out)) << line;
        EXPECT_EQ(out, state) << line;
        ASSERT_TRUE(m.ReadModuleName(out));
        EXPECT_EQ(std::string(line).substr(3, out.size()), out);
    }
}

TEST(DigitalSim, OutputsFollowCommandsAndInputsFollowTheTest) {
    SimBus sim("01 R550 inputs=A5\n02 R560S\n");
    auto port = sim.Open(30);
    TavoMR550 r550(port.get(), "01");
    std::string o, i;
    ASSERT_TRUE(r550.WriteDO(3, 1));
    ASSERT_TRUE(r550.ReadDIO(o, i));
    EXPECT_EQ(o + i, "08A5");
    {
        std::lock_guard lock(sim.bus().mutex());
        SetOf<sim::DigitalIo>(sim, 1).SetInputs(0x0F);
    }
    ASSERT_TRUE(r550.ReadDIO(o, i));
    EXPECT_EQ(o + i, "080F");
    EXPECT_FALSE(r550.WriteDO(8, 1)); // no output 8
    for (const char* bad : {"#01130", "#0113011", "#011302", "#011G01", "#011311"})
        EXPECT_EQ(Raw(*port, bad), "?01\r") << bad;

    // Twelve outputs take the long form only.
    TavoMR550 asShort(port.get(), "02");
    TavoMR560 r560(port.get(), "02");
    EXPECT_FALSE(asShort.WriteDO(11, 1));
    ASSERT_TRUE(r560.WriteDO(11, 1));
    ASSERT_TRUE(r560.WriteDO(0, 1));
    ASSERT_TRUE(r560.ReadDIO(o, i));
    EXPECT_EQ(o + i, "0801");
    EXPECT_FALSE(r560.WriteDO(12, 1));
}

TEST(DigitalSim, SafeValueTakesOverAfterTheHostFallsSilent) {
    SimBus sim("01 R550 outputs=0F\n02 R560S\n03 R610\n04 R530\n");
    auto port = sim.Open(30);
    TavoMR550 m(port.get(), "01");
    std::string t, v, o, i;
    ASSERT_TRUE(m.SetSafety(2, 0x81)); // 0.2 s
    ASSERT_TRUE(m.ReadSafety(t, v));
    EXPECT_EQ(t + v, "00020081");
    for (int n = 0; n < 5; ++n) { // polls keep the outputs as they are
        std::this_thread::sleep_for(50ms);
        ASSERT_TRUE(m.ReadDIO(o, i));
        EXPECT_EQ(o, "0F");
    }
    std::this_thread::sleep_for(300ms);
    {
        std::lock_guard lock(sim.bus().mutex());
        EXPECT_TRUE(SetOf<sim::DigitalIo>(sim, 1).SafeValueApplied());
    }
    ASSERT_TRUE(m.ReadDIO(o, i));
    EXPECT_EQ(o, "81");
    ASSERT_TRUE(m.WriteDO(0, 0)); // the host takes over again
    ASSERT_TRUE(m.ReadDIO(o, i));
    EXPECT_EQ(o, "80");

    TavoMR560 r560(port.get(), "02");
    ASSERT_TRUE(r560.SetSafety(0, 0xFFF));
    ASSERT_TRUE(r560.ReadSafety(t, v));
    EXPECT_EQ(t + v, "00000FFF");
    TavoMR550 r560Short(port.get(), "02");
    EXPECT_FALSE(r560Short.SetSafety(1, 0xFF));
    TavoMR550 r610(port.get(), "03");
    EXPECT_FALSE(r610.SetSafety(1, 0x10)); // output 4 does not exist
    EXPECT_TRUE(r610.SetSafety(1, 0x0F));
    TavoMR550 r530(port.get(), "04");
    EXPECT_FALSE(r530.ReadSafety(t, v)); // an input module has no safe value
}

TEST(DigitalSim, OverCurrentTripsAGroupUntilCleared) {
    SimBus sim("01 R560SO overload=010\n");
    auto port = sim.Open(30);
    TavoMR560 m(port.get(), "01");
    std::string e, h, l;
    ASSERT_TRUE(m.WriteDO(6, 1));
    ASSERT_TRUE(m.WriteDO(4, 1)); // the overloaded one: outputs 4..7 go off
    ASSERT_TRUE(m.ReadError(e));
    EXPECT_EQ(e, "2");
    EXPECT_FALSE(m.WriteDO(5, 1));
    ASSERT_TRUE(m.WriteDO(0, 1));
    ASSERT_TRUE(m.ReadDIO(h, l));
    EXPECT_EQ(h + l, "0001");
    ASSERT_TRUE(m.ClearError());
    ASSERT_TRUE(m.ReadError(e));
    EXPECT_EQ(e, "0");
    ASSERT_TRUE(m.WriteDO(5, 1));
    {
        std::lock_guard lock(sim.bus().mutex());
        SetOf<sim::DigitalIo>(sim, 1).InjectOverCurrent(1);
    }
    ASSERT_TRUE(m.ReadError(e));
    EXPECT_EQ(e, "1");
    ASSERT_TRUE(m.ReadDIO(h, l));
    EXPECT_EQ(h + l, "0020");
}

TEST(DigitalSim, InputInversionOfTheR520) {
    SimBus sim("01 R520 inputs=0F0F\n");
    auto port = sim.Open(30);
    TavoMR540 m(port.get(), "01");
    std::string out;
    ASSERT_TRUE(m.SetV(0x00FF));
    ASSERT_TRUE(m.ReadV(out));
    EXPECT_EQ(out, "00FF");
    ASSERT_TRUE(m.ReadDIO(out));
    EXPECT_EQ(out, "0FF0");
    EXPECT_EQ(Raw(*port, "$01V123"), "?01\r");
}

TEST(DigitalSim, InputCycleAndItsEdges) {
    sim::InputSource source;
    const auto start = sim::SimClock::now();
    ASSERT_TRUE(source.SetCycle({{0x01, 20ms}, {0x02, 20ms}}, start));
    EXPECT_EQ(source.At(start + 5ms), 0x01u);
    EXPECT_EQ(source.At(start + 25ms), 0x02u);
    EXPECT_EQ(source.At(start + 45ms), 0x01u);
    std::uint64_t rising = 0, falling = 0;
    source.Edges(start, start + 100ms, 0, rising, falling);
    EXPECT_EQ(rising, 2u);  // at 40 and 80 ms
    EXPECT_EQ(falling, 3u); // at 20, 60 and 100 ms
    source.Edges(start + 100ms, start + 100ms, 0, rising, falling);
    EXPECT_EQ(rising + falling, 0u);
    EXPECT_FALSE(source.SetCycle({}, start));
    EXPECT_FALSE(source.SetCycle({{0x01, 0ms}}, start));
}

// ---- universal digital I/O ----

TEST(UniversalSim, InputModesCountersAndLatches) {
    SimBus sim("01 R850 freq2=2000 freq3=5\n");
    auto port = sim.Open(30);
    TavoMR850 m(port.get(), "01");
    std::string a, b;
    ASSERT_TRUE(m.ReadInputMode(2, a));
    EXPECT_EQ(a, "00");
    ASSERT_TRUE(m.SetInputMode(2, 0x01));
    ASSERT_TRUE(m.ReadInputMode(2, a));
    EXPECT_EQ(a, "01");
    EXPECT_FALSE(m.SetInputMode(2, 0x05)); // no mode 5
    EXPECT_FALSE(m.SetInputMode(7, 0x01)); // no input 7

    // Counting a 2 kHz input.
    ASSERT_TRUE(m.ClearCounter(2));
    std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(m.StopCounting(2));
    ASSERT_TRUE(m.ReadCounter(2, a));
    const unsigned counted = std::stoul(a, nullptr, 16);
    EXPECT_GE(counted, 80u);
    EXPECT_LE(counted, 2000u);
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(m.ReadCounter(2, b));
    EXPECT_EQ(a, b);
    ASSERT_TRUE(m.ReadCounting(2, a));
    EXPECT_EQ(a, "0");

    // The filter swallows pulses shorter than its widths (1 ms against 0.25 ms).
    ASSERT_TRUE(m.SetInputMode(2, 0x41));
    ASSERT_TRUE(m.SetInputWidths(2, 10, 10));
    ASSERT_TRUE(m.ReadInputWidths(2, a, b));
    EXPECT_EQ(a + b, "0000000A0000000A");
    ASSERT_TRUE(m.ClearCounter(2));
    ASSERT_TRUE(m.StartCounting(2));
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(m.ReadCounter(2, a));
    EXPECT_EQ(a, "00000000");

    // Frequency in 0.1 Hz.
    ASSERT_TRUE(m.SetInputMode(3, 0x04));
    ASSERT_TRUE(m.ReadCounter(3, a));
    EXPECT_EQ(a, "00000032");

    // Latches, and counts of the input's own edges.
    ASSERT_TRUE(m.SetInputMode(0, 0x02));
    ASSERT_TRUE(m.SetInputMode(1, 0x01));
    ASSERT_TRUE(m.SetInputMode(4, 0x83)); // high-to-low latch of the inverted input
    auto& io = SetOf<sim::UniversalDio>(sim, 1);
    for (unsigned level : {0x13u, 0x00u, 0x02u}) {
        std::lock_guard lock(sim.bus().mutex());
        io.SetInputs(level);
    }
    ASSERT_TRUE(m.ReadCounter(0, a));
    EXPECT_EQ(a, "00000001");
    ASSERT_TRUE(m.ReadCounter(1, a));
    EXPECT_EQ(a, "00000002");
    ASSERT_TRUE(m.ReadCounter(4, a));
    EXPECT_EQ(a, "00000001");
    ASSERT_TRUE(m.ReadDIO(a, b));
    EXPECT_EQ(b, "13"); // latched inputs show their latch, the counter its level
    ASSERT_TRUE(m.ClearLatch(0));
    ASSERT_TRUE(m.ClearCounter(4)); // either clear command clears the latch
    ASSERT_TRUE(m.ReadCounter(0, a));
    EXPECT_EQ(a, "00000000");
    ASSERT_TRUE(m.ReadCounter(4, a));
    EXPECT_EQ(a, "00000000");
}

TEST(UniversalSim, PulseTrainsAndSwitchingDelays) {
    SimBus sim("01 R860\n");
    auto port = sim.Open(30);
    TavoMR850 m(port.get(), "01");
    std::string s, n, a, b, c, d;
    // Pulses and delays last far longer than a loaded machine takes between two
    // commands, so a check made at once still finds the train or the delay running.
    ASSERT_TRUE(m.SetOutputMode(0, 1));
    ASSERT_TRUE(m.SetPulseWidths(0, 500, 500, 0, 0)); // 50 ms high, 50 ms low
    ASSERT_TRUE(m.ReadPulseWidths(0, a, b, c, d));
    EXPECT_EQ(a + b + c + d, "000001F4000001F40000000000000000");
    EXPECT_FALSE(m.WriteDO(0, 1)); // a pulse channel takes no level
    ASSERT_TRUE(m.SetPulseCount(0, 5));
    ASSERT_TRUE(m.ReadPulseCount(0, s, n));
    EXPECT_EQ(s, "1");
    std::this_thread::sleep_for(600ms); // five pulses: 500 ms
    ASSERT_TRUE(m.ReadPulseCount(0, s, n));
    EXPECT_EQ(s + n, "000000000");
    ASSERT_TRUE(m.SetPulseCount(0, 0)); // without end
    std::this_thread::sleep_for(25ms);
    ASSERT_TRUE(m.ReadPulseCount(0, s, n));
    EXPECT_EQ(s + n, "100000000");
    ASSERT_TRUE(m.SetPulseCount(0, 1)); // one more, then stop
    std::this_thread::sleep_for(150ms);
    ASSERT_TRUE(m.ReadPulseCount(0, s, n));
    EXPECT_EQ(s, "0");

    // Widths whose sum passes 32 bits: a very long period, nothing breaks.
    ASSERT_TRUE(m.SetPulseWidths(0, 0xFFFFFFFFu, 1, 0, 0));
    ASSERT_TRUE(m.SetPulseCount(0, 2));
    ASSERT_TRUE(m.ReadPulseCount(0, s, n));
    EXPECT_EQ(s + n, "100000002");
    std::this_thread::sleep_for(2ms);
    ASSERT_TRUE(m.ReadDIO(a, b));
    EXPECT_EQ(a, "00"); // 0.1 ms high, then low for days

    EXPECT_FALSE(m.SetPulseCount(1, 3));            // D/O channel
    EXPECT_FALSE(m.SetPulseWidths(0, 0, 20, 0, 0)); // no pulse of zero length
    EXPECT_FALSE(m.SetOutputMode(0, 4));
    EXPECT_FALSE(m.ReadInputMode(0, a)); // the R860 has no inputs

    // Low-to-high delay of 1 s; high-to-low delay of 1 s.
    ASSERT_TRUE(m.SetOutputMode(1, 2));
    ASSERT_TRUE(m.SetPulseWidths(1, 10, 10, 10000, 0));
    ASSERT_TRUE(m.SetOutputMode(2, 3));
    ASSERT_TRUE(m.SetPulseWidths(2, 10, 10, 0, 10000));
    ASSERT_TRUE(m.WriteDO(1, 1));
    ASSERT_TRUE(m.WriteDO(2, 1));
    ASSERT_TRUE(m.ReadDIO(a, b));
    EXPECT_EQ(a, "04");
    ASSERT_TRUE(m.WriteDO(2, 0));
    ASSERT_TRUE(m.ReadDIO(a, b));
    EXPECT_EQ(a, "04");
    std::this_thread::sleep_for(1100ms);
    ASSERT_TRUE(m.ReadDIO(a, b));
    EXPECT_EQ(a, "02");
}

TEST(UniversalSim, BootLoaderAndBack) {
    {
        SimBus sim("03 R850\n");
        auto port = sim.Open(30);
        TavoMR850 normal(port.get(), "03");
        TavoMR8XX loader(port.get(), "00");
        std::string out;
        ASSERT_TRUE(normal.SendOS()); // answered from 03, then the loader runs
        ASSERT_TRUE(loader.ReadModuleName(out));
        EXPECT_EQ(out, "R8XX");
        ASSERT_TRUE(loader.ReadConfig());
        EXPECT_EQ(loader.TypeCode(), "50");
        EXPECT_FALSE(normal.ReadModuleName(out));
        EXPECT_FALSE(loader.ReadDIO(out)); // nothing but the loader's commands
        ASSERT_TRUE(loader.WriteConfigText("00000700"));
        EXPECT_FALSE(loader.ReadFirmwareVersion(out)); // it talks at 19200 now
        port->SetPortState(19200, 8, kParityNone, kOneStopBit);
        ASSERT_TRUE(loader.ReadFirmwareVersion(out));
        EXPECT_EQ(Raw(*port, "%0001000700"), "?00\r"); // the loader stays at 00
        ASSERT_TRUE(loader.StartDownload());
        {
            std::lock_guard lock(sim.bus().mutex());
            EXPECT_TRUE(SetOf<sim::R8xxBootLoader>(sim, 0).DownloadRequested());
        }
        EXPECT_FALSE(loader.SendOS()); // the old firmware is gone
    }
    {
        SimBus sim("05 R8XX target=R860\n");
        auto port = sim.Open(30);
        TavoMR8XX loader(port.get(), "00");
        ASSERT_TRUE(loader.ReadConfig());
        EXPECT_EQ(loader.TypeCode(), "60");
        ASSERT_TRUE(loader.SendOS());
        TavoMR850 normal(port.get(), "05");
        std::string out;
        ASSERT_TRUE(normal.ReadModuleName(out));
        EXPECT_EQ(out, "R860");
        ASSERT_TRUE(normal.ReadDIO(out));
        EXPECT_EQ(out, "0000");
    }
    {
        SimBus sim("05 R8XX image=none\n");
        auto port = sim.Open(30);
        TavoMR8XX loader(port.get(), "00");
        EXPECT_FALSE(loader.SendOS());
        {
            std::lock_guard lock(sim.bus().mutex());
            SetOf<sim::R8xxBootLoader>(sim, 0).SetImageValid(true);
        }
        EXPECT_TRUE(loader.SendOS());
    }
}

// ---- counters ----

TEST(CounterSim, CountsOverflowsAndClears) {
    SimBus sim("01 R710 freq0=2000 freq1=1234.5\n");
    auto port = sim.Open(30);
    TavoMR710 m(port.get(), "01");
    std::string a, b;
    ASSERT_TRUE(m.SetMaxCount(0, 49)); // goes out blank-padded
    ASSERT_TRUE(m.ReadMaxCount(0, a));
    EXPECT_EQ(a, "00000031");
    ASSERT_TRUE(m.ClearCount(0));
    ASSERT_TRUE(m.ReadOverflowFlag(0, a));
    EXPECT_EQ(a, "0");
    std::this_thread::sleep_for(60ms); // about 120 pulses against a maximum of 49
    ASSERT_TRUE(m.ReadOverflowFlag(0, a));
    EXPECT_EQ(a, "1");
    ASSERT_TRUE(m.ReadCount(0, a));
    EXPECT_LE(std::stoul(a, nullptr, 16), 0x31u);
    ASSERT_TRUE(m.SetCounting(0, "0"));
    ASSERT_TRUE(m.ReadCount(0, a));
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(m.ReadCount(0, b));
    EXPECT_EQ(a, b);
    ASSERT_TRUE(m.ClearCount(0));
    ASSERT_TRUE(m.ReadOverflowFlag(0, a));
    EXPECT_EQ(a, "0");
    EXPECT_FALSE(m.SetMaxCount(0, 0u));

    // Initial value: where a clear and an overflow start from.
    ASSERT_TRUE(m.SetMaxCount(0, 0xFFFFFFFFu));
    ASSERT_TRUE(m.SetPreset(0, 0x10));
    ASSERT_TRUE(m.ReadG(0, a));
    EXPECT_EQ(a, "00000010");
    ASSERT_TRUE(m.ClearCount(0));
    ASSERT_TRUE(m.ReadCount(0, a));
    EXPECT_EQ(a, "00000010");

    // Preset mode: DO0 follows "count at or above the preset of counter 0".
    ASSERT_TRUE(m.SetAlarmLimit(false, 0x20));
    ASSERT_TRUE(m.EnableAlarmChannel(0));
    ASSERT_TRUE(m.ReadAlarmState(a, b));
    EXPECT_EQ(a + b, "100");
    ASSERT_TRUE(m.SetAlarmLimit(false, 0x08));
    ASSERT_TRUE(m.SetAlarmOutput(2));
    ASSERT_TRUE(m.ReadAlarmState(a, b));
    EXPECT_EQ(a + b, "103");
    ASSERT_TRUE(m.ReadAlarmLimit(false, a));
    EXPECT_EQ(a, "00000008");
    ASSERT_TRUE(m.DisableAlarmChannel(0));
    ASSERT_TRUE(m.ReadAlarmState(a, b));
    EXPECT_EQ(a + b, "002");

    // The gate: count only while the gate input is low.
    ASSERT_TRUE(m.SetGate("0"));
    ASSERT_TRUE(m.SetCounting(0, "1"));
    ASSERT_TRUE(m.ClearCount(0));
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(m.ReadCount(0, a));
    EXPECT_EQ(a, "00000010");
    {
        std::lock_guard lock(sim.bus().mutex());
        SetOf<sim::CounterModule>(sim, 1).SetGateInput(false);
    }
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(m.ReadCount(0, a));
    EXPECT_NE(a, "00000010");

    // Frequency mode; format bit 2 chooses the gate time.
    ASSERT_TRUE(m.WriteConfigText("01510600"));
    ASSERT_TRUE(m.ReadCount(1, a));
    EXPECT_EQ(a, "000004CE"); // 0.1 s: 1230 Hz
    ASSERT_TRUE(m.WriteConfigText("01510604"));
    ASSERT_TRUE(m.ReadCount(1, a));
    EXPECT_EQ(a, "000004D2"); // 1.0 s: 1234 Hz
    ASSERT_TRUE(m.SetFilter("1"));
    ASSERT_TRUE(m.SetHighWidth(1000)); // 2 kHz has 250 us halves
    ASSERT_TRUE(m.ReadCount(0, a));
    EXPECT_EQ(a, "00000000");
    EXPECT_FALSE(m.WriteConfigText("01520600")); // no such mode

    // Settings that read back, and values the module refuses.
    ASSERT_TRUE(m.SetLowTrigger(3));
    ASSERT_TRUE(m.ReadLowTrigger(a));
    EXPECT_EQ(a, "03");
    ASSERT_TRUE(m.ReadHighWidth(a));
    EXPECT_EQ(a, "01000");
    EXPECT_FALSE(m.SetHighTrigger(51));
    EXPECT_FALSE(m.SetGate("3"));
    EXPECT_FALSE(m.SetInputSignal("2"));
    EXPECT_FALSE(m.SetAlarmOutput(4));
    EXPECT_EQ(Raw(*port, "$010H70000"), "?01\r");
    EXPECT_EQ(Raw(*port, "@01CA"), "?01\r"); // no latched alarms on an R710
}

TEST(CounterSim, R710DAlarmsAndDisplay) {
    SimBus sim("01 R710D\n");
    auto port = sim.Open(30);
    TavoMR710D m(port.get(), "01");
    auto& counter = SetOf<sim::CounterModule>(sim, 1);
    std::string a, b;
    ASSERT_TRUE(m.SetAlarmLimit(true, 5));
    ASSERT_TRUE(m.SetAlarmLimit(false, 2));
    ASSERT_TRUE(m.EnableAlarm("M"));
    ASSERT_TRUE(m.ReadAlarmState(a, b));
    EXPECT_EQ(a + b, "102"); // count 0 is below the low limit
    {
        std::lock_guard lock(sim.bus().mutex());
        counter.SetFrequency(0, 1000);
    }
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(m.ReadAlarmState(a, b));
    EXPECT_EQ(a + b, "101");
    ASSERT_TRUE(m.EnableAlarm("L"));
    std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(m.SetCounting(0, "0"));
    ASSERT_TRUE(m.ClearCount(0)); // back under the low limit, the high alarm stays
    ASSERT_TRUE(m.ReadAlarmState(a, b));
    EXPECT_EQ(a + b, "203");
    ASSERT_TRUE(m.ClearAlarm());
    ASSERT_TRUE(m.ReadAlarmState(a, b));
    EXPECT_EQ(a + b, "202");
    ASSERT_TRUE(m.DisableAlarm());
    ASSERT_TRUE(m.SetAlarmOutput(1));
    ASSERT_TRUE(m.ReadAlarmState(a, b));
    EXPECT_EQ(a + b, "001");
    EXPECT_FALSE(m.Family<TavoRCounter>().EnableAlarmChannel(0)); // refused by the module

    ASSERT_TRUE(m.SetLEDSource("2"));
    ASSERT_TRUE(m.WriteLEDData(7.5));
    ASSERT_TRUE(m.ReadLEDSource(a));
    EXPECT_EQ(a, "2");
    {
        std::lock_guard lock(sim.bus().mutex());
        EXPECT_DOUBLE_EQ(counter.LedValue(), 7.5);
    }
    EXPECT_FALSE(m.SetLEDSource("3"));
    EXPECT_EQ(Raw(*port, "$019A000.0"), "?01\r");
    EXPECT_EQ(Raw(*port, "$01910000.0"), "?01\r");
}

// ---- Modbus ----

TEST(DigitalModbus, CoilsRegistersAndFaults) {
    SimBus sim("0A R550 protocol=modbus inputs=5A firmware=A2.01\n"
               "0B R560SO protocol=modbus overload=001\n"
               "0C R520 protocol=modbus inputs=00FF\n"
               "0D R850 protocol=modbus\n");
    auto port = sim.Open(40);
    TavoModbusCOM modbus(port.get());
    modbus.SetTurnaroundDelay(2);
    std::vector<std::uint8_t> data;
    const auto read = [&](bool ok) {
        return ok && modbus.ReadResponse(data) ? test::Hex(data) : "failed";
    };
    const auto write = [&](bool ok) { return ok && modbus.WriteResponse(); };

    EXPECT_EQ(read(modbus.ReadCoils(0x0A, 1, 8)), "5A");
    ASSERT_TRUE(write(modbus.WriteSingleCoil(0x0A, 17 + 3, true)));
    EXPECT_EQ(read(modbus.ReadCoils(0x0A, 17, 8)), "08");
    EXPECT_EQ(read(modbus.ReadHoldingRegisters(0x0A, 213, 1)), "A2 01");
    EXPECT_EQ(read(modbus.ReadHoldingRegisters(0x0A, 211, 3)), "15 50 00 00 A2 01");
    EXPECT_FALSE(write(modbus.WriteSingleCoil(0x0A, 1, true))); // an input
    EXPECT_EQ(modbus.LastException(), 2);

    ASSERT_TRUE(write(modbus.WriteSingleCoil(0x0B, 17, true))); // trips group 0
    EXPECT_EQ(read(modbus.ReadCoils(0x0B, 29, 3)), "01");
    EXPECT_FALSE(write(modbus.WriteSingleCoil(0x0B, 18, true)));
    EXPECT_EQ(modbus.LastException(), 4);
    const std::uint8_t clear = 0;
    ASSERT_TRUE(write(modbus.WriteMultipleCoils(0x0B, 29, 3, 1, &clear)));
    EXPECT_EQ(read(modbus.ReadCoils(0x0B, 29, 3)), "00");
    ASSERT_TRUE(write(modbus.WriteSingleCoil(0x0B, 17 + 9, true)));
    EXPECT_EQ(read(modbus.ReadCoils(0x0B, 17, 12)), "00 02");

    EXPECT_EQ(read(modbus.ReadCoils(0x0C, 1, 16)), "FF 00");
    ASSERT_TRUE(write(modbus.WriteSingleRegister(0x0C, 231, 0x0F0F)));
    EXPECT_EQ(read(modbus.ReadCoils(0x0C, 1, 16)), "F0 0F");

    ASSERT_TRUE(write(modbus.WriteSingleRegister(0x0D, 301, 0x01)));
    EXPECT_EQ(read(modbus.ReadHoldingRegisters(0x0D, 301, 1)), "00 01");
    EXPECT_FALSE(write(modbus.WriteSingleRegister(0x0D, 301, 0x05)));
    EXPECT_EQ(modbus.LastException(), 3);
    EXPECT_EQ(read(modbus.ReadHoldingRegisters(0x0D, 321, 2)), "00 00 00 00");
    EXPECT_EQ(read(modbus.ReadCoils(0x0D, 1, 8)), "00");
}

// ---- bus file ----

TEST(DigitalSimBusFile, OptionsAModelCannotTakeAreReported) {
    const std::pair<const char*, const char*> bad[] = {
        {"01 R620 inputs=01\n", "line 1: bad value in 'inputs=01': R620 has no inputs"},
        {"01 R610 outputs=10\n", "more bits than the module has"},
        {"01 R550 pattern=01\n", "MASK/MS"},
        {"01 R550 pattern=01/0\n", "time in ms"},
        {"01 R550 safetime=70000\n", "0 to 65535"},
        {"01 R550 freq0=5\n", "option 'freq0' does not apply to R550"},
        {"01 R710 freq1=abc\n", "0 to 1000000 Hz"},
        {"01 R710 inputs=1\n", "does not apply to R710"},
        {"01 R8XX target=R550\n", "R850 or R860"},
        {"01 R850 freq7=1\n", "no input 7"},
        {"01 R850 target=R860\n", "option 'target' does not apply"},
        {"01 R850 image=maybe\n", "valid or none"},
        {"01 R520 overload=1\n", "R520 has no over-current protection"},
        {"02 R550\n01 R710D gatein=2\n", "line 2: bad value in 'gatein=2'"},
    };
    for (const auto& [text, expected] : bad) {
        sim::Bus bus;
        std::string error;
        EXPECT_FALSE(sim::LoadBusText(text, bus, error)) << text;
        EXPECT_NE(error.find(expected), std::string::npos) << text << ": " << error;
        EXPECT_TRUE(bus.modules().empty()) << text;
    }
}

} // namespace
} // namespace tavo
