// The simulated analog outputs on their own time base: slewing, start-up values
// across a power cycle, the bus-file options, and the garbage and delayed faults.
#include "sim/bus.h"
#include "sim/bus_file.h"
#include "sim/models.h"
#include "sim/module.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>

namespace tavo {
namespace {

// A module driven with explicit arrival times, `seconds` after power-up.
class Timed {
public:
    explicit Timed(const std::string& designation, std::map<std::string, std::string> options = {}) {
        sim::ModuleConfig config;
        config.designation = designation;
        config.options = std::move(options);
        module_ = sim::MakeModule(config);
    }
    std::string At(double seconds, const std::string& line) {
        const auto at = t0_ + std::chrono::duration_cast<sim::SimClock::duration>(
                                  std::chrono::duration<double>(seconds));
        return module_->OnAsciiLine(line, at).value_or("(silent)");
    }
    sim::SimModule& module() { return *module_; }

private:
    std::unique_ptr<sim::SimModule> module_;
    sim::TimePoint t0_ = sim::SimClock::now();
};

TEST(AnalogOutputSim, FourChannelOutputsSlewAtTheConfiguredRate) {
    struct Row {
        const char* config; // type, baud, format: slew code in bits 5..2
        const char* write;
        double at;
        const char* reads;
    };
    const Row rows[] = {
        {"%0101000604", "#01C0+20.000", 8, "!01+05.000"},   // 0.125 mA/s from 4 mA
        {"%0101000604", "#01C0+20.000", 200, "!01+20.000"}, // arrived
        {"%0101000614", "#01C0+20.000", 2, "!01+08.000"},   // code 5: 2 mA/s
        {"%0101000600", "#01C0+20.000", 0, "!01+20.000"},   // immediately
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.config) + " " + std::to_string(r.at));
        Timed m("R330");
        EXPECT_EQ(m.At(0, r.config), "!01");
        EXPECT_EQ(m.At(0, r.write), "!01");
        EXPECT_EQ(m.At(r.at, "$016C0"), r.reads);
    }
    // Volts slew at half the rate: code 4 is 0.5 V/s (from 4 V, where the range
    // change left the start-up value).
    Timed v("R330");
    EXPECT_EQ(v.At(0, "%0101000610"), "!01");
    EXPECT_EQ(v.At(0, "$017C3R32"), "!01");
    EXPECT_EQ(v.At(0, "#01C3+10.000"), "!01");
    EXPECT_EQ(v.At(4, "$016C3"), "!01+06.000");
}

TEST(AnalogOutputSim, StartUpValuesComeBackAfterAPowerCycle) {
    Timed r310("R310", {{"startup", "6"}});
    EXPECT_EQ(r310.At(0, "%0101310600"), "!01");
    EXPECT_EQ(r310.At(0, "$016"), "!0106.000");
    EXPECT_EQ(r310.At(0, "#0112.000"), "!01");
    EXPECT_EQ(r310.At(0, "$014"), "!01");
    EXPECT_EQ(r310.At(0, "#0105.000"), "!01");
    r310.module().PowerCycle();
    EXPECT_EQ(r310.At(1, "$016"), "!0112.000");
    EXPECT_EQ(r310.At(1, "$018"), "!0112.000");

    Timed r330("R330");
    EXPECT_EQ(r330.At(0, "#01SC1+07.000"), "!01");
    EXPECT_EQ(r330.At(0, "#01C1+12.000"), "!01");
    r330.module().PowerCycle();
    EXPECT_EQ(r330.At(1, "$016C1"), "!01+07.000");
    EXPECT_EQ(r330.At(1, "$016C0"), "!01+04.000");

    Timed r250("R250");
    EXPECT_EQ(r250.At(0, "$0175.000"), "!01");
    EXPECT_EQ(r250.At(0, "$01S"), "!01");
    EXPECT_EQ(r250.At(0, "$0173.000"), "!01");
    EXPECT_EQ(r250.At(0, "$016"), "!0103.000");
    r250.module().PowerCycle();
    EXPECT_EQ(r250.At(1, "$016"), "!0105.000");
}

TEST(AnalogOutputSim, BusFileOptionsAndTheirRefusals) {
    sim::Bus bus;
    std::string error;
    ASSERT_TRUE(sim::LoadBusText("01 R330 outrange=30,31,32,32 startup=5 garbage=#1\n"
                                 "02 R310 type=32 startup=7.5\n03 R250 startup=2\n",
                                 bus, error))
        << error;
    const auto now = sim::SimClock::now();
    sim::SimModule& r330 = *bus.Find(0x01);
    EXPECT_EQ(r330.OnAsciiLine("$018C2", now).value_or(""), "!01X?#X"); // the garbage fault
    EXPECT_EQ(r330.OnAsciiLine("$018C2", now).value_or(""), "!01C232");
    EXPECT_EQ(r330.OnAsciiLine("$016C3", now).value_or(""), "!01+05.000");
    EXPECT_EQ(bus.Find(0x02)->OnAsciiLine("$026", now).value_or(""), "!0207.500");
    EXPECT_EQ(bus.Find(0x03)->OnAsciiLine("$036", now).value_or(""), "!0302.000");

    for (const char* bad : {"01 R330 outrange=30,33,32,32\n", "01 R330 outrange=30,31,32\n",
                            "01 R330 outrange=30,31,32,32,30\n", "01 R330 outrange=30;31;32;32\n",
                            "01 R310 type=31 startup=3\n", "01 R330 outrange=32,32,32,32 startup=-11\n",
                            "01 R250 startup=10.5\n", "01 R310 startup=abc\n", "01 R310 garbage=2\n"}) {
        sim::Bus other;
        EXPECT_FALSE(sim::LoadBusText(bad, other, error)) << bad;
        EXPECT_EQ(error.rfind("line 1: ", 0), 0u) << error;
        EXPECT_TRUE(other.modules().empty());
    }
}

TEST(AnalogOutputSim, FaultsCanWaitForTheNthReply) {
    sim::Bus bus;
    std::string error;
    ASSERT_TRUE(sim::LoadBusText("01 R310 type=31\n", bus, error)) << error;
    sim::SimModule& m = *bus.Find(0x01);
    m.faults().startAfter = 2;
    m.faults().noReply.count = 1;
    std::vector<sim::Transmission> out;
    const auto send = [&](const std::string& line) {
        out.clear();
        const std::string bytes = line + "\r";
        bus.Receive(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                    sim::SimClock::now(), out);
        return !out.empty();
    };
    EXPECT_TRUE(send("$016"));
    EXPECT_TRUE(send("$018"));
    EXPECT_FALSE(send("$016")); // the third reply is the one that is lost
    EXPECT_TRUE(send("$016"));
}

} // namespace
} // namespace tavo
