// The loop controller's plain logic (fixed point, entry rules, the PID file) and the
// simulated R320T: its process settles under PID control, its Modbus map.
#include "devices/loop_table.h"
#include "devices/models_analog.h"
#include "sim/analog_sim.h"
#include "sim/models.h"
#include "sim/module.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <map>
#include <memory>

namespace tavo {
namespace {

using namespace loop;

TEST(LoopTable, FixedPointTextAndParsingAtTheEdges) {
    const std::pair<std::int32_t, const char*> texts[] = {
        {0, "0.000"},          {25500, "25.500"},         {-1, "-0.001"},
        {-999, "-0.999"},      {-1000, "-1.000"},         {INT32_MAX, "2147483.647"},
        {INT32_MIN, "-2147483.648"}};
    for (const auto& [v, t] : texts) EXPECT_EQ(FixedText(v), t);
    const std::pair<const char*, std::optional<std::int32_t>> parsed[] = {
        {"25.5", 25500},       {"-25.5", -25500},      {"+1", 1000},
        {"0.0004", 0},         {"0.0005", 1},          {"-0.0005", -1},
        {"1.9995", 2000},      {"-1.00049", -1000},    {"-1.0005", -1001},
        {" 2.5 ", 2500},       {".5", 500},            {"2147483.647", INT32_MAX},
        {"-2147483.648", INT32_MIN}, {"2147483.648", std::nullopt},
        {"", std::nullopt},    {".", std::nullopt},    {"-", std::nullopt},
        {"1e3", std::nullopt}, {"1.2.3", std::nullopt}, {"--1", std::nullopt},
        {"99999999999999", std::nullopt}};
    for (const auto& [t, v] : parsed) EXPECT_EQ(ParseFixed(t), v) << t;
}

TEST(LoopTable, EntryRules) {
    std::int32_t t[kEntriesPerLoop] = {};
    t[kPVRangeHigh] = 200000;
    t[kPVRangeLow] = 0;
    t[kSVLimitHigh] = 150000;
    t[kSVLimitLow] = 10000;
    t[kPVAlarmLL] = 10000;
    t[kPVAlarmL] = 20000;
    t[kPVAlarmH] = 150000;
    t[kPVAlarmHH] = 180000;
    t[kMVRangeHigh] = 100000;
    t[kMVLimitHigh] = 90000;
    const struct {
        int index;
        std::int32_t value;
        bool ok;
    } rows[] = {
        {kP, 0, false},        {kP, 1, true},          {kP, 10000, true},
        {kP, 10001, false},    {kI, -1, false},        {kD, 10000, true},
        {kSV, 9999, false},    {kSV, 150000, true},    {kSV, 150001, false},
        {kInterval, 499, false}, {kInterval, 60000, true}, {kPVFilter, 1001, false},
        {kPVAlarmL, 9999, false}, {kPVAlarmL, 10000, true}, {kPVAlarmHH, 200001, false},
        {kPVAlarmH, 180001, false}, {kPVRangeLow, 200000, false}, {kMode, 3, false},
        {kMVLimitHigh, 100001, false}, {kAlarmDO, 64, false}, {99, -123456, true},
    };
    for (const auto& r : rows)
        EXPECT_EQ(CheckEntry(t, r.index, r.value).empty(), r.ok) << r.index << " " << r.value;
}

PidTable GoodTable() {
    PidTable t{};
    for (int loop = 0; loop < 2; ++loop) {
        std::int32_t* l = t.data() + loop * kEntriesPerLoop;
        l[kPVRangeHigh] = 200000;
        l[kMVRangeHigh] = 100000;
        l[kSVLimitHigh] = 200000;
        l[kSV] = -0; // within the limits
        l[kP] = 2000;
        l[kI] = 100;
        l[kD] = 1;
        l[kInterval] = 1000;
        l[kMVLimitHigh] = 100000;
        l[99] = -2; // an entry without a rule keeps its sign
    }
    return t;
}

TEST(LoopTable, PidFileRoundTripAndRefusals) {
    const PidTable table = GoodTable();
    const auto bytes = WritePidFile(table);
    ASSERT_EQ(bytes.size(), 1057u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 33), "Tavo-R320T PID Configuration File");
    // Entry 99 of loop 0 at byte 33 + 4 x 99, big-endian two's complement.
    EXPECT_EQ(bytes[33 + 4 * 99], 0xFF);
    EXPECT_EQ(bytes[33 + 4 * 99 + 3], 0xFE);
    // P of loop 0 (2000 = 0x7D0).
    EXPECT_EQ(bytes[33 + 4 * 31 + 2], 0x07);
    EXPECT_EQ(bytes[33 + 4 * 31 + 3], 0xD0);
    const PidFileRead back = ReadPidFile(bytes);
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_EQ(back.table, table);

    auto shorter = bytes;
    shorter.pop_back();
    EXPECT_EQ(ReadPidFile(shorter).error, "the file has 1056 bytes instead of 1057");
    auto longer = bytes;
    longer.push_back(0);
    EXPECT_FALSE(ReadPidFile(longer).ok);
    auto header = bytes;
    header[4] = '_';
    EXPECT_FALSE(ReadPidFile(header).ok);
    EXPECT_NE(ReadPidFile(header).error.find("header"), std::string::npos);
    // Entries are the module's to judge: P = 0 in loop 1 and a PV range turned
    // upside down are read as they stand.
    auto odd = bytes;
    for (int i = 0; i < 4; ++i) odd[33 + 4 * (128 + kP) + static_cast<std::size_t>(i)] = 0;
    odd[33 + 4 * kPVRangeLow] = 0x7F;
    const PidFileRead taken = ReadPidFile(odd);
    ASSERT_TRUE(taken.ok) << taken.error;
    EXPECT_EQ(taken.table[128 + kP], 0);
    EXPECT_EQ(taken.table[kPVRangeLow], 0x7F000000);
}

TEST(LoopTable, ParameterReadIsCutIntoSignedEntries) {
    std::vector<std::int32_t> v{7};
    EXPECT_TRUE(ParseParameterEntries("0000639CFFFFFFFF80000000", 3, v));
    EXPECT_EQ(v, (std::vector<std::int32_t>{25500, -1, INT32_MIN}));
    for (const char* bad : {"0000639", "0000639CX", "0000639G", "0000639C0"}) {
        std::vector<std::int32_t> kept{7};
        EXPECT_FALSE(ParseParameterEntries(bad, 1, kept)) << bad;
        EXPECT_EQ(kept, std::vector<std::int32_t>{7});
    }
}

// ---- the simulated controller ----

class Timed {
public:
    explicit Timed(std::map<std::string, std::string> options = {}, bool modbus = false) {
        sim::ModuleConfig config;
        config.designation = "R320T";
        config.options = std::move(options);
        if (modbus) config.protocol = sim::Protocol::Modbus;
        module_ = sim::MakeModule(config);
    }
    std::string At(double seconds, const std::string& line) {
        return module_->OnAsciiLine(line, Time(seconds)).value_or("(silent)");
    }
    sim::Bytes Modbus(double seconds, const sim::Bytes& frame) {
        return module_->OnModbusFrame(frame, Time(seconds)).value_or(sim::Bytes{});
    }
    sim::SimModule& module() { return *module_; }

private:
    sim::TimePoint Time(double seconds) {
        return t0_ + std::chrono::duration_cast<sim::SimClock::duration>(
                         std::chrono::duration<double>(seconds));
    }
    std::unique_ptr<sim::SimModule> module_;
    sim::TimePoint t0_ = sim::SimClock::now();
};

std::int32_t Entry(const std::string& reply) {
    return static_cast<std::int32_t>(std::stoul(reply.substr(1, 8), nullptr, 16));
}

TEST(LoopControllerSim, AutoLoopSettlesOnItsSetValueThroughTheFirstOrderProcess) {
    for (const char* tau : {"2", "20"}) {
        SCOPED_TRACE(tau);
        Timed r(std::map<std::string, std::string>{{"tau", tau}});
        // Loop 0 starts in Auto with SV 80.000 on a 0..200 range, PV at 25.
        EXPECT_EQ(Entry(r.At(0, "#01PR0A01")), 80000);
        EXPECT_EQ(Entry(r.At(0, "#01PR1201")), 25000);
        double t = 0;
        for (; t < 900; t += 1) r.At(t, "#01PR1201");
        const std::int32_t pv = Entry(r.At(t, "#01PR1201"));
        EXPECT_NEAR(pv, 80000, 500);
        // A new set value is followed as well.
        EXPECT_EQ(r.At(t, "#01PW0A0001ADB0"), "!01"); // 110.000
        for (double end = t + 900; t < end; t += 1) r.At(t, "#01PR1201");
        EXPECT_NEAR(Entry(r.At(t, "#01PR1201")), 110000, 500);
    }
    // A slower process is slower: after 30 s it is further from the set value.
    Timed fast(std::map<std::string, std::string>{{"tau", "2"}});
    Timed slow(std::map<std::string, std::string>{{"tau", "60"}});
    for (double t = 0; t <= 30; t += 1) {
        fast.At(t, "#01PR1201");
        slow.At(t, "#01PR1201");
    }
    EXPECT_LT(std::abs(Entry(fast.At(30, "#01PR1201")) - 80000),
              std::abs(Entry(slow.At(30, "#01PR1201")) - 80000));
}

TEST(LoopControllerSim, WritesReadBackAndReadOnlyEntriesAreTakenUnchanged) {
    Timed r;
    EXPECT_EQ(r.At(0, "#01PW1F00002710"), "!01"); // P = 10.000
    EXPECT_EQ(r.At(0, "#01PR1F01"), ">00002710");
    EXPECT_EQ(r.At(0, "#01PW1F00002711"), "?01"); // beyond the module's limit
    const std::string pv = r.At(0, "#01PR1201");
    EXPECT_EQ(r.At(0, "#01PW1200000001"), "!01"); // PV: taken, not changed
    EXPECT_EQ(r.At(0, "#01PR1201"), pv);
}

TEST(LoopControllerSim, ModbusMapReadsAndWritesTheTableAndTheIo) {
    Timed r(std::map<std::string, std::string>{{"di", "2"}}, true);
    // Function 3 at register 1000 (wire 999), SV of loop 0 is entry 10: words 20, 21.
    const sim::Bytes read = r.Modbus(0, {0x01, 0x03, 0x03, 0xE7, 0x00, 0x64});
    ASSERT_EQ(read.size(), 3u + 200u);
    EXPECT_EQ(read[2], 200);
    const auto word = [&](int i) { return read[3 + 2 * i] << 8 | read[4 + 2 * i]; };
    EXPECT_EQ(word(20) << 16 | word(21), 80000);
    // Function 16 of entry 10 (wire 1019): 90000 = 0x00015F90.
    const sim::Bytes write = {0x01, 0x10, 0x03, 0xFB, 0x00, 0x02, 0x04, 0x00, 0x01, 0x5F, 0x90};
    EXPECT_EQ(r.Modbus(0, write), (sim::Bytes{0x01, 0x10, 0x03, 0xFB, 0x00, 0x02}));
    EXPECT_EQ(r.module().Find<sim::analog::LoopCommands>()->Table()[10], 90000);
    // SV outside its limits: exception 04, nothing changes.
    const sim::Bytes tooHigh = {0x01, 0x10, 0x03, 0xFB, 0x00, 0x02, 0x04, 0x00, 0x0F, 0x42, 0x40};
    EXPECT_EQ(r.Modbus(0, tooHigh), (sim::Bytes{0x01, 0x90, 0x04}));
    EXPECT_EQ(r.module().Find<sim::analog::LoopCommands>()->Table()[10], 90000);
    // DI coils 1-2 (di=2: DI1 on), AI registers 1-4, AO registers 11-12.
    EXPECT_EQ(r.Modbus(0, {0x01, 0x01, 0x00, 0x00, 0x00, 0x02}), (sim::Bytes{0x01, 0x01, 0x01, 0x02}));
    EXPECT_EQ(r.Modbus(0, {0x01, 0x03, 0x00, 0x00, 0x00, 0x04}).size(), 3u + 8u);
    EXPECT_EQ(r.Modbus(0, {0x01, 0x03, 0x00, 0x0A, 0x00, 0x02}).size(), 3u + 4u);
    // Output 0 belongs to loop 0 in Auto: its register refuses a write.
    EXPECT_EQ(r.Modbus(0, {0x01, 0x06, 0x00, 0x0A, 0x00, 0x10}), (sim::Bytes{0x01, 0x86, 0x04}));
}

} // namespace
} // namespace tavo
