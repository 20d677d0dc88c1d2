// The simulated K100 racks on their own, driven with chosen instants instead of
// waiting: the communication watchdog switching the slots' outputs, slot inputs
// moving both the ASCII and the Modbus side, the stored and the active address map,
// the counter status coils, and the bus file options of these.
#include "sim/bus.h"
#include "sim/bus_file.h"
#include "sim/models.h"
#include "sim/rack_slots.h"

#include <gtest/gtest.h>

#include <chrono>

namespace tavo {
namespace {

using sim::Bytes;

const sim::TimePoint kT0 = sim::TimePoint{} + std::chrono::seconds(10);

sim::TimePoint At(int ms) {
    return kT0 + std::chrono::milliseconds(ms);
}

std::unique_ptr<sim::SimModule> Rack(const std::string& designation,
                                     std::map<std::string, std::string> options) {
    return sim::MakeModule(
        {.address = 1, .designation = designation, .options = std::move(options)});
}

sim::RackAccess& Access(sim::SimModule& m) {
    auto* rack = m.Find<sim::RackAccess>();
    if (!rack) throw std::logic_error("not a simulated rack");
    return *rack;
}

std::string Hex(const std::optional<Bytes>& bytes) {
    if (!bytes) return "(silence)";
    std::string out;
    char text[4];
    for (const auto b : *bytes) {
        std::snprintf(text, sizeof text, "%02X", b);
        out += text;
    }
    return out;
}

std::string Ascii(sim::SimModule& m, const char* line, sim::TimePoint at) {
    return m.OnAsciiLine(line, at).value_or("(silence)");
}

TEST(KRackWatchdog, SilenceLongerThanTheTimeOutPutsTheEnabledSlotsSafe) {
    auto m = Rack("K100", {{"slots", "K550,K620,K310"}});
    // Outputs, their safe states and the watchdog, then the master stays quiet.
    EXPECT_EQ(Ascii(*m, "#01S01101", At(0)), "!01");     // K550 output 1 on
    EXPECT_EQ(Ascii(*m, "$01XS0D00F0", At(0)), "!01");   // its safe state
    EXPECT_EQ(Ascii(*m, "#01S11001", At(0)), "!01");     // K620 relay 0 on
    EXPECT_EQ(Ascii(*m, "#01S2C012.000", At(0)), "!01"); // K310 channel 0 at 12 mA
    EXPECT_EQ(Ascii(*m, "$01S2C04", At(0)), "!01");      // ... as its start-up value
    EXPECT_EQ(Ascii(*m, "#01S2C07.500", At(0)), "!01");  // then 7.5 mA
    EXPECT_EQ(Ascii(*m, "$01XEW05", At(0)), "!01");      // slots 0 and 2 watched
    EXPECT_EQ(Ascii(*m, "$01X0002", At(0)), "!01");      // 2 s
    EXPECT_EQ(Ascii(*m, "$01XR", At(0)), "!012");
    EXPECT_EQ(Ascii(*m, "$01XER", At(0)), "!0105");
    auto& rack = Access(*m);
    EXPECT_EQ(rack.WatchdogSeconds(), 2);
    EXPECT_EQ(rack.WatchdogMask(), 5u);

    rack.Idle(At(1900));
    EXPECT_EQ(rack.WatchdogTrips(), 0);
    rack.Idle(At(2100)); // the outputs switch now, not at the next command
    EXPECT_EQ(rack.WatchdogTrips(), 1);
    rack.Idle(At(9000)); // once per silence
    EXPECT_EQ(rack.WatchdogTrips(), 1);
    EXPECT_EQ(Ascii(*m, "$01S06", At(9000)), "!0100F0");
    EXPECT_EQ(Ascii(*m, "$01S16", At(9000)), "!010100"); // not watched: as it was
    EXPECT_EQ(Ascii(*m, "$01S2C06", At(9000)), "!0112.000");
    // The master is back: it drives the outputs again, and the next silence trips
    // the watchdog again.
    EXPECT_EQ(Ascii(*m, "#01S01100", At(9100)), "!01");
    EXPECT_EQ(Ascii(*m, "$01S06", At(10000)), "!0100F0"); // output 1 was off already
    EXPECT_EQ(Ascii(*m, "#01S01141", At(10000)), "?01");  // malformed: no change
    EXPECT_EQ(Ascii(*m, "#01S01001", At(10000)), "!01");
    EXPECT_EQ(Ascii(*m, "$01S06", At(11000)), "!0100F1");
    EXPECT_EQ(Ascii(*m, "$01S06", At(13500)), "!0100F0");
    EXPECT_EQ(rack.WatchdogTrips(), 2);
    // A time-out of 0 switches the watchdog off.
    EXPECT_EQ(Ascii(*m, "$01X0000", At(13500)), "!01");
    rack.Idle(At(60000));
    EXPECT_EQ(rack.WatchdogTrips(), 2);
}

TEST(KRackWatchdog, ModbusRequestsCountAsTheMastersSignOfLife) {
    auto m = Rack("K100", {{"slots", "K550"}});
    EXPECT_EQ(Ascii(*m, "$01XS0D0003", At(0)), "!01");
    EXPECT_EQ(Ascii(*m, "$01XEW01", At(0)), "!01");
    EXPECT_EQ(Ascii(*m, "$01X0001", At(0)), "!01");
    m->config().protocol = sim::Protocol::Modbus;
    for (int t = 500; t <= 3000; t += 500) // coil reads every half second
        EXPECT_EQ(Hex(m->OnModbusFrame({1, 0x01, 0, 0, 0, 16}, At(t))), "0101020000");
    EXPECT_EQ(Access(*m).WatchdogTrips(), 0);
    EXPECT_EQ(Hex(m->OnModbusFrame({1, 0x01, 0, 0, 0, 16}, At(4500))), "0101020300");
    EXPECT_EQ(Access(*m).WatchdogTrips(), 1);
}

TEST(KRackInputs, SlotInputsMoveBothSidesOfTheRack) {
    auto m = Rack("K100E", {{"slots", "K220,K520,K540"},
                            {"in0", "1/500,9/500"},
                            {"in1", "0001/200,0002/200"},
                            {"in2", "5A00"}});
    EXPECT_EQ(Ascii(*m, "$01S16", At(100)), "!010001");
    EXPECT_EQ(Ascii(*m, "$01S16", At(300)), "!010002");
    EXPECT_EQ(Ascii(*m, "$01S26", At(300)), "!015A00");
    EXPECT_EQ(Ascii(*m, "#01S0C1", At(100)), ">+01.000");
    EXPECT_EQ(Ascii(*m, "#01S0C1", At(600)), ">+09.000");

    m->config().protocol = sim::Protocol::Modbus;
    // The K520 on coils 1-16, the K540 on 17-32, the K220 on registers 40001-40008.
    EXPECT_EQ(Hex(m->OnModbusFrame({1, 0x01, 0, 0, 0, 16}, At(100))), "0101020100");
    EXPECT_EQ(Hex(m->OnModbusFrame({1, 0x01, 0, 0, 0, 16}, At(300))), "0101020200");
    EXPECT_EQ(Hex(m->OnModbusFrame({1, 0x01, 0, 16, 0, 16}, At(300))), "010102005A");
    EXPECT_EQ(Hex(m->OnModbusFrame({1, 0x03, 0, 0, 0, 1}, At(100))), "0103020CCD"); // 1 V
    EXPECT_EQ(Hex(m->OnModbusFrame({1, 0x03, 0, 0, 0, 1}, At(600))), "0103027332"); // 9 V

    // A test moves them the same way.
    std::string why;
    auto& rack = Access(*m);
    ASSERT_TRUE(rack.SetSlotInputs(1, "FFFF", kT0, why)) << why;
    EXPECT_EQ(Hex(m->OnModbusFrame({1, 0x01, 0, 0, 0, 16}, At(700))), "010102FFFF");
    EXPECT_FALSE(rack.SetSlotInputs(2, "00FF", kT0, why)); // the K540's outputs
    EXPECT_NE(why.find("FF00"), std::string::npos) << why;
    EXPECT_FALSE(rack.SetSlotInputs(5, "1", kT0, why));
    EXPECT_EQ(why, "slot 5 is empty");
}

TEST(KRackMap, StoredEntriesReadBackAndTheModbusSideFollowsOnActivation) {
    auto m = Rack("K100", {{"slots", "K520,K710"}});
    EXPECT_EQ(Ascii(*m, "#01PN00FF00415", At(0)), "!01"); // K520 to coils 65-80
    EXPECT_EQ(Ascii(*m, "$01PN00FF", At(0)), "!0100415");
    m->config().protocol = sim::Protocol::Modbus;
    EXPECT_EQ(Hex(m->OnModbusFrame({1, 0x01, 0, 0, 0, 16}, At(0))), "010102A5A5");
    EXPECT_EQ(Hex(m->OnModbusFrame({1, 0x01, 0, 64, 0, 16}, At(0))), "018102");
    m->config().protocol = sim::Protocol::Ascii;
    EXPECT_EQ(Ascii(*m, "#01PD", At(0)), "!01");
    m->config().protocol = sim::Protocol::Modbus;
    EXPECT_EQ(Hex(m->OnModbusFrame({1, 0x01, 0, 64, 0, 16}, At(0))), "010102A5A5");
    EXPECT_EQ(Hex(m->OnModbusFrame({1, 0x01, 0, 0, 0, 16}, At(0))), "018102");
    // The identification block names the active map.
    const auto block = m->OnModbusFrame({1, 0x03, 0x27, 0x10, 0, 38}, At(0));
    ASSERT_TRUE(block);
    EXPECT_EQ((*block)[3 + 28] << 8 | (*block)[3 + 29], 65);
    EXPECT_EQ((*block)[3 + 44] << 8 | (*block)[3 + 45], 80);
    EXPECT_EQ((*block)[3 + 25], 0); // counter status in registers
}

TEST(KRackMap, CounterStatusCoilsWhenTheCounterFlagIsSet) {
    auto m = Rack("K100M", {{"slots", "K520,K710"}, {"counterstatus", "coils"}});
    const auto block = m->OnModbusFrame({1, 0x03, 0x27, 0x10, 0, 38}, At(0));
    ASSERT_TRUE(block);
    EXPECT_EQ((*block)[3 + 25], 1);
    // Slot 1's status from coil 17: every channel counting, none overflowed.
    EXPECT_EQ(Hex(m->OnModbusFrame({1, 0x01, 0, 16, 0, 16}, At(0))), "0101021111");
    EXPECT_EQ(Hex(m->OnModbusFrame({1, 0x05, 0, 20, 0, 0}, At(0))), "010500140000"); // ch 1 stop
    EXPECT_EQ(Hex(m->OnModbusFrame({1, 0x01, 0, 16, 0, 16}, At(0))), "0101020111");
    // The overflow can be cleared, not set.
    EXPECT_EQ(Hex(m->OnModbusFrame({1, 0x05, 0, 18, 0xFF, 0}, At(0))), "018502");
    // Slot 0's coils are the K520's (its own map entry starts at 1).
    EXPECT_EQ(Hex(m->OnModbusFrame({1, 0x01, 0, 0, 0, 16}, At(0))), "010102A5A5");
}

TEST(KRackOptions, BadValuesNameTheLineAndWhatWouldDo) {
    struct Case {
        const char* bus;
        const char* says;
    };
    const Case cases[] = {
        {"01 K100 slots=K520 in0=XYZ\n", "bad value in 'in0=XYZ'"},
        {"01 K100 slots=K520 in0=1FFFF\n", "an input mask within FFFF"},
        {"01 K100 slots=K520 in3=1\n", "slot 3 is empty"},
        {"01 K100 slots=K620 in0=00FF\n", "K620 has no inputs"},
        {"01 K100 slots=K220 in0=1/0\n", "bad value in 'in0=1/0'"},
        {"01 K100 slots=K220 in0=1,2\n", "values each with its time"},
        {"01 K100 counterstatus=flags\n", "registers or coils"},
        {"01 K100 map=random\n", "user or fixed"},
    };
    for (const Case& c : cases) {
        sim::Bus bus;
        std::string error;
        EXPECT_FALSE(sim::LoadBusText(c.bus, bus, error)) << c.bus;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_EQ(error.rfind("line 1: ", 0), 0u) << error;
    }
}

} // namespace
} // namespace tavo
