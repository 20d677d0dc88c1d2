// The points of the analog input modules against the simulator over its
// pseudo-terminal: which points each model has, what ReadAll asks (byte-exact) and
// what the readings are (values as the module sent them, units from the ranges,
// burn-out, disabled channels and the ends of each data format never numbers, bad
// replies failed), what Write sends, and the Modbus variants' image of registers
// that takes any block.
#include "points/families.h"
#include "points/point_text.h"
#include "support/sim_bus.h"
#include "transport/modbus.h"

#include "devices/hex_codes.h"
#include "devices/modbus_slave.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tavo {
namespace {

using Lines = std::vector<std::string>;

// Modbus requests as the simulator logs them: the frame without CRC in hex.
std::string Hex(std::initializer_list<int> bytes) {
    std::string text;
    for (const int b : bytes)
        text += HexText(static_cast<unsigned>(b), 2);
    return text;
}

// A bus on a pseudo-terminal, a port on it, and the modules' points.
class Bench {
public:
    explicit Bench(const std::string& bus) : sim_(bus), port_(sim_.Open(50)) {
        TavoModbusCOM::SetDefaultTurnaroundDelay(0);
    }
    ~Bench() { TavoModbusCOM::SetDefaultTurnaroundDelay(TavoModbusCOM::kDefaultTurnaroundMs); }

    std::unique_ptr<ModulePoints> Points(const std::string& model, int address,
                                         PointProtocol protocol = PointProtocol::Ascii) {
        std::string error;
        auto points = MakeModulePoints(model, {address, -1, protocol}, error);
        EXPECT_TRUE(points) << error;
        return points;
    }
    // What a module received since the last look.
    Lines Received(unsigned address) {
        std::lock_guard lock(sim_.bus().mutex());
        auto& received = sim_.module(address).received;
        Lines out(received.begin(), received.end());
        received.clear();
        return out;
    }
    template <class F> void WithModule(unsigned address, F f) {
        std::lock_guard lock(sim_.bus().mutex());
        f(sim_.module(address));
    }
    TavoComPort& port() { return *port_; }
    void Send(const std::string& command) {
        EXPECT_TRUE(test::Send(*port_, command).ok) << command;
    }

private:
    test::SimBus sim_;
    std::unique_ptr<TavoComPort> port_;
};

const PointReading& Reading(const ModulePoints& points, const std::string& name) {
    const int i = points.IndexOf(name);
    EXPECT_GE(i, 0) << name;
    return points.Readings().at(static_cast<std::size_t>(std::max(i, 0)));
}
const PointInfo& Info(const ModulePoints& points, const std::string& name) {
    return points.Points().at(static_cast<std::size_t>(std::max(points.IndexOf(name), 0)));
}

// A good reading of `value` in `unit`, or the bad quality.
void ExpectReading(const ModulePoints& points, const std::string& name, PointQuality quality,
                   double value = 0.0, const std::string& unit = {}) {
    const PointReading& r = Reading(points, name);
    EXPECT_EQ(PointQualityName(r.quality), PointQualityName(quality)) << name;
    if (quality != PointQuality::Good) return;
    EXPECT_EQ(PointValueText(Info(points, name), r), FormatPointNumber(value, 6)) << name;
    EXPECT_EQ(Info(points, name).unit, unit) << name;
}

TEST(AnalogPoints, EveryModelHasItsFixedPointsAndOnlyItsProtocols) {
    struct Row {
        const char* model;
        PointProtocol protocol;
        const char* names; // empty: refused
    };
    const PointProtocol A = PointProtocol::Ascii, M = PointProtocol::Modbus;
    for (const Row& row :
         {Row{"R210D", A, "ai0, do0, do1, di0, cnt0"}, Row{"R210", A, "ai0, do0, do1, di0, cnt0"},
          Row{"R220", A, "ai0, do0, do1, di0, cnt0"}, Row{"R230", A, "ai0"},
          Row{"R250", A, "ai0, ao0, do0..do3"}, Row{"R240", A, "ai0..ai5"},
          Row{"R240T", A, "ai0..ai5"}, Row{"R260", A, "ai0..ai7"}, Row{"R270M", A, "ai0..ai7"},
          Row{"R280", A, "ai0..ai7"}, Row{"R280P", PointProtocol::AsciiChecksum, "ai0..ai7"},
          Row{"R270AN", A, "ai0..ai7"}, Row{"R240T", M, "ai0..ai5"}, Row{"R280P", M, "ai0..ai7"},
          Row{"R260AN", M, "ai0..ai7"}, Row{"R210D", M, ""}, Row{"R270M", M, ""},
          Row{"R260", M, ""}, Row{"R280", M, ""}}) {
        std::string error;
        const auto points = MakeModulePoints(row.model, {1, -1, row.protocol}, error);
        if (*row.names == '\0') {
            EXPECT_FALSE(points) << row.model;
            EXPECT_EQ(error,
                      std::string(row.model) + " does not speak Modbus (it has no Modbus variant)");
            continue;
        }
        ASSERT_TRUE(points) << row.model << ": " << error;
        EXPECT_EQ(PointNameList(points->Points()), row.names) << row.model;
        for (const PointInfo& info : points->Points())
            EXPECT_EQ(info.writable, info.name.rfind("do", 0) == 0 || info.name == "ao0")
                << row.model << " " << info.name;
    }
    std::string error;
    EXPECT_FALSE(MakeModulePoints("R270P", {1, 2, PointProtocol::Ascii}, error));
    EXPECT_EQ(error, "R270P is a module of its own: it has no slots");
    // The RTD module's widest range is known before its configuration is.
    const auto r240 = MakeModulePoints("R240", {1, -1, A}, error);
    EXPECT_EQ(Info(*r240, "ai0").unit, "\u00B0C");
    EXPECT_EQ(Info(*r240, "ai0").min, -200);
    EXPECT_EQ(Info(*r240, "ai0").max, 400);
}

TEST(AnalogPoints, MultiChannelReadAllAsksWhatThePanelAsksAndReadsWhatTheModuleSent) {
    Bench bench("09 R270P value=12.5 value0=141.5 value1=1500 burnout=04\n");
    bench.Send("$095DF"); // channel 5 off
    bench.Received(0x09);
    auto points = bench.Points("R270P", 0x09);
    std::vector<PortExchange> heard;
    bench.port().SetExchangeObserver([&](const PortExchange& e) { heard.push_back(e); });
    ASSERT_TRUE(points->ReadAll(bench.port()));
    EXPECT_EQ(bench.Received(0x09), (Lines{"$092", "$096", "$098C0", "$098C1", "$098C2", "$098C3",
                                           "$098C4", "$098C5", "$098C6", "$098C7", "#09"}));
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.back().reply, ">+0141.5+1500.0+888888+0012.5+12.500+00.000+12.500+12.500\r");
    const PointQuality G = PointQuality::Good;
    ExpectReading(*points, "ai0", G, 141.5, "\u00B0C");
    // Beyond the K type's 1370 'C, but the module measured it: a reading.
    ExpectReading(*points, "ai1", G, 1500, "\u00B0C");
    ExpectReading(*points, "ai2", PointQuality::BurnOut);
    ExpectReading(*points, "ai3", G, 12.5, "\u00B0C");
    ExpectReading(*points, "ai4", G, 12.5, "mA");
    ExpectReading(*points, "ai5", PointQuality::Disabled);
    ExpectReading(*points, "ai6", G, 12.5, "mA");
    EXPECT_EQ(Info(*points, "ai4").min, 4);
    EXPECT_EQ(Info(*points, "ai4").max, 20);
    EXPECT_EQ(Info(*points, "ai0").decimals, 1);
    const std::string json =
        PointsJson(*points, std::chrono::system_clock::time_point(std::chrono::seconds(0)));
    EXPECT_NE(
        json.find(
            R"({"name":"ai2","kind":"analog-input","value":null,"unit":"°C","quality":"burn-out"})"),
        std::string::npos)
        << json;
    EXPECT_NE(
        json.find(
            R"({"name":"ai0","kind":"analog-input","value":141.5,"unit":"°C","quality":"good"})"),
        std::string::npos);

    // The configuration is known now: the next read is the poll alone.
    ASSERT_TRUE(points->ReadAll(bench.port()));
    EXPECT_EQ(bench.Received(0x09), Lines{"#09"});
    // A range the panel writes (its channel Update) is taken as the module took it:
    // 141.5 on a 4~20 mA channel is beyond what the field carries.
    {
        PointTap tap(bench.port(), *points);
        bench.Send("$097C0R07");
    }
    EXPECT_EQ(Info(*points, "ai0").unit, "mA");
    ASSERT_TRUE(points->ReadAll(bench.port()));
    EXPECT_EQ(bench.Received(0x09), (Lines{"$097C0R07", "#09"}));
    ExpectReading(*points, "ai0", PointQuality::OverRange);
}

TEST(AnalogPoints, EachDataFormatKeepsItsValuesAndItsEnds) {
    // A +/-20 mA channel at 12.5, far above (250) and far below (-250) its range.
    struct Row {
        const char* format;
        const char* unit;
        double normal;
        PointQuality high, low;
    };
    for (const Row& row :
         {Row{"00", "mA", 12.5, PointQuality::OverRange, PointQuality::UnderRange},
          Row{"01", "%", 62.5, PointQuality::OverRange, PointQuality::UnderRange},
          Row{"02", "", 20479, PointQuality::OverRange, PointQuality::UnderRange}}) {
        Bench bench(std::string("09 R270P value=12.5 value0=250 value1=-250 format=") + row.format +
                    "\n");
        bench.Send("$097C0R06");
        bench.Send("$097C1R06");
        auto points = bench.Points("R270P", 0x09);
        ASSERT_TRUE(points->ReadAll(bench.port())) << row.format;
        ExpectReading(*points, "ai6", PointQuality::Good, row.normal, row.unit);
        ExpectReading(*points, "ai0", row.high);
        ExpectReading(*points, "ai1", row.low);
    }
}

TEST(AnalogPoints, UnitsFollowTheRangeTheFormatAndTheTemperatureUnit) {
    struct Row {
        const char* bus;
        const char* model;
        const char* point;
        double value;
        const char* unit;
        Lines polled; // the requests of a read once the configuration is known
    };
    for (const Row& row : {
             Row{"01 R210D type=0E value=250 di=01",
                 "R210D",
                 "ai0",
                 250,
                 "\u00B0C",
                 {"#01", "@01RE", "@01DI"}},
             Row{"01 R220 type=08 value=5", "R220", "ai0", 5, "V", {"#01", "@01RE", "@01DI"}},
             // Pt100 (385) at 50 'C is 119.25 ohms.
             Row{"01 R230 type=21 format=03 value=50", "R230", "ai0", 119.25, "\u03A9", {"#01"}},
             Row{"01 R240T format=08 value=50", "R240T", "ai3", 122, "\u00B0F", {"#01"}},
             Row{"01 R240 format=01 value=0", "R240", "ai5", 100, "\u03A9", {"#01"}},
             Row{"01 R260 type=0B value=250", "R260", "ai7", 250, "mV", {"#01"}},
             Row{"01 R270 type=04 value=-0.5", "R270", "ai0", -0.5, "V", {"#01"}},
             Row{"01 R280P value=5", "R280P", "ai1", 5, "mV", {"#01"}},
             Row{"01 R810 value=5", "R810", "ai0", 5, "mA", {"#01"}},
         }) {
        Bench bench(std::string(row.bus) + "\n");
        auto points = bench.Points(row.model, 1);
        ASSERT_TRUE(points->ReadAll(bench.port())) << row.bus;
        ExpectReading(*points, row.point, PointQuality::Good, row.value, row.unit);
        bench.Received(1);
        ASSERT_TRUE(points->ReadAll(bench.port()));
        EXPECT_EQ(bench.Received(1), row.polled) << row.bus;
    }
}

TEST(AnalogPoints, SingleChannelModulesReadTheirAlarmOutputsInputAndCounter) {
    Bench bench("01 R210D type=01 value=5 di=01\n02 R250 type=02 value=-40\n");
    auto r210d = bench.Points("R210D", 1);
    ASSERT_TRUE(r210d->ReadAll(bench.port()));
    EXPECT_EQ(bench.Received(1), (Lines{"$012", "#01", "@01RE", "@01DI"}));
    ExpectReading(*r210d, "ai0", PointQuality::Good, 5, "mV");
    ExpectReading(*r210d, "do0", PointQuality::Good, 0);
    ExpectReading(*r210d, "di0", PointQuality::Good, 1);
    ExpectReading(*r210d, "cnt0", PointQuality::Good, 0);

    auto r250 = bench.Points("R250", 2);
    ASSERT_TRUE(r250->ReadAll(bench.port()));
    EXPECT_EQ(bench.Received(2), (Lines{"$022", "#02", "@02DI", "$026"}));
    ExpectReading(*r250, "ai0", PointQuality::Good, -40, "mV");
    ExpectReading(*r250, "ao0", PointQuality::Good, 10, "V"); // the excitation starts at 10 V
    ExpectReading(*r250, "do3", PointQuality::Good, 0);
}

TEST(AnalogPoints, WritesSendThePanelsCommandsAndRefuseWhatTheyMayNot) {
    Bench bench("01 R250 type=02\n");
    auto points = bench.Points("R250", 1);
    struct Refusal {
        const char* name;
        const char* value;
        const char* error;
    };
    for (const Refusal& r :
         {Refusal{"ao0", "10.5", "10.5 is outside the range of ao0 (0 to 10 V)"},
          Refusal{"ao0", "five", "'five' is not a number (ao0 takes a decimal value in V)"},
          Refusal{"ai0", "1", "ai0 is an input and cannot be written"},
          Refusal{"do4", "1", "R250 has no point do4 (it has ai0, ao0, do0..do3)"},
          Refusal{
              "do0", "2",
              "'2' is no value for the digital point do0 (give 0, 1, ON, OFF, true or false)"}}) {
        std::string error;
        EXPECT_FALSE(points->CheckWrite(r.name, r.value, error));
        EXPECT_EQ(error, r.error);
    }
    EXPECT_TRUE(bench.Received(1).empty());

    std::string error;
    // The excitation as the panel's Output sends 4.1 V; a DO as its button, with the
    // other outputs kept.
    ASSERT_TRUE(points->Write(bench.port(), "ao0", 4.1, error)) << error;
    EXPECT_EQ(bench.Received(1), Lines{"$01704.100"});
    ASSERT_TRUE(points->Write(bench.port(), "do3", 1, error)) << error;
    ASSERT_TRUE(points->Write(bench.port(), "do2", 1, error)) << error;
    EXPECT_EQ(bench.Received(1), (Lines{"@01DI", "@01DO08", "@01DI", "@01DO0C"}));
    // While the alarm drives the outputs, a write is refused and nothing is written.
    bench.Send("@01EAM");
    bench.Received(1);
    EXPECT_FALSE(points->Write(bench.port(), "do0", 1, error));
    EXPECT_EQ(error, "do0 is the alarm's while the alarm type is MOMENTARY: set the alarm type to "
                     "disable first");
    EXPECT_EQ(bench.Received(1), Lines{"@01DI"});
    ASSERT_TRUE(points->ReadAll(bench.port()));
    ExpectReading(*points, "ao0", PointQuality::Good, 4.1, "V");
}

TEST(AnalogPoints, DataLoggerReadsItsEnabledChannelsOneByOne) {
    Bench bench("0C R270M type=0F value=100 value4=-20.5\n");
    bench.Send("$0C5F3"); // channels 2 and 3 off
    bench.Received(0x0C);
    auto points = bench.Points("R270M", 0x0C);
    ASSERT_TRUE(points->ReadAll(bench.port()));
    EXPECT_EQ(bench.Received(0x0C),
              (Lines{"$0C2", "$0C6", "#0C0", "#0C1", "#0C4", "#0C5", "#0C6", "#0C7"}));
    ExpectReading(*points, "ai0", PointQuality::Good, 100, "\u00B0C");
    ExpectReading(*points, "ai2", PointQuality::Disabled);
    ExpectReading(*points, "ai4", PointQuality::Good, -20.5, "\u00B0C");
    // Once the configuration is known, the channels that are on are read and the
    // others stay disabled.
    ASSERT_TRUE(points->ReadAll(bench.port()));
    EXPECT_EQ(bench.Received(0x0C), (Lines{"#0C0", "#0C1", "#0C4", "#0C5", "#0C6", "#0C7"}));
    ExpectReading(*points, "ai3", PointQuality::Disabled);
    ExpectReading(*points, "ai7", PointQuality::Good, 100, "\u00B0C");
    // Every channel off (the panel's Update, heard): the mask is asked again, and the
    // channels read disabled.
    {
        PointTap tap(bench.port(), *points);
        bench.Send("$0C500");
    }
    bench.Received(0x0C);
    ASSERT_TRUE(points->ReadAll(bench.port()));
    EXPECT_EQ(bench.Received(0x0C), Lines{"$0C6"});
    for (int n = 0; n < 8; ++n)
        ExpectReading(*points, "ai" + std::to_string(n), PointQuality::Disabled);
}

TEST(AnalogPoints, GarbledCutAndCorruptRepliesAreFailedNeverNumbers) {
    Bench bench("09 R270P value=12.5\n0A R210D type=01 value=5 checksum\n");
    auto multi = bench.Points("R270P", 0x09);
    auto single = bench.Points("R210D", 0x0A, PointProtocol::AsciiChecksum);
    ASSERT_TRUE(multi->ReadAll(bench.port()));
    ASSERT_TRUE(single->ReadAll(bench.port()));
    const auto fault = [&](unsigned address, auto member) {
        bench.WithModule(address, [member](sim::SimModule& m) { (m.faults().*member).count = 1; });
    };
    for (auto member : {&sim::FaultPlan::garbage, &sim::FaultPlan::cut}) {
        fault(0x09, member);
        EXPECT_TRUE(multi->ReadAll(bench.port())); // the module answered, with nothing usable
        for (const PointReading& r : multi->Readings())
            EXPECT_EQ(PointQualityName(r.quality), "failed");
        ASSERT_TRUE(multi->ReadAll(bench.port()));
        ExpectReading(*multi, "ai7", PointQuality::Good, 12.5, "mA");
    }
    // A byte changed on the line: the checksum catches it.
    fault(0x0A, &sim::FaultPlan::corrupt);
    single->ReadAll(bench.port());
    ExpectReading(*single, "ai0", PointQuality::Failed);
    ASSERT_TRUE(single->ReadAll(bench.port()));
    ExpectReading(*single, "ai0", PointQuality::Good, 5, "mV");
}

// ---- Modbus --------------------------------------------------------------------------

TEST(AnalogPoints, ModbusReadAllReadsEachBlockOnceAndScalesAsThePanel) {
    Bench bench("11 R270P protocol=modbus firmware=A2.02 value=12.5 value0=685 value1=1500 "
                "value7=25 burnout=04\n12 R240 protocol=modbus value=25\n"
                "13 R270P protocol=modbus firmware=A2.01 value0=500\n");
    {
        TavoModbusCOM modbus(&bench.port());
        ASSERT_TRUE(ModbusSlave(&modbus, 0x11).WriteRegister(221, 0xDF)); // channel 5 off
    }
    bench.Received(0x11);
    auto points = bench.Points("R270P", 0x11, PointProtocol::Modbus);
    ASSERT_TRUE(points->ReadAll(bench.port()));
    EXPECT_EQ(bench.Received(0x11),
              (Lines{Hex({0x11, 3, 0, 200, 0, 8}), Hex({0x11, 3, 0, 212, 0, 1}),
                     Hex({0x11, 3, 0, 0, 0, 8}), Hex({0x11, 3, 0, 220, 0, 1}),
                     Hex({0x11, 1, 0, 200, 0, 8})}));
    // K type 685 'C is register 32768, which the panel scales to 685.0104 and shows
    // with one decimal.
    ExpectReading(*points, "ai0", PointQuality::Good, 685, "\u00B0C");
    EXPECT_EQ(Info(*points, "ai0").decimals, 1);
    EXPECT_NEAR(Reading(*points, "ai0").value, 1370.0 * 32768 / 65535, 1e-9);
    // An open sensor runs to the top, a thermocouple beyond its span too.
    ExpectReading(*points, "ai1", PointQuality::BurnOut);
    ExpectReading(*points, "ai2", PointQuality::BurnOut); // its coil says so
    ExpectReading(*points, "ai4", PointQuality::Good, 12.5, "mA");
    ExpectReading(*points, "ai5", PointQuality::Disabled);
    ExpectReading(*points, "ai7", PointQuality::OverRange); // 25 mA on +/-20 mA
    ASSERT_TRUE(points->ReadAll(bench.port()));
    EXPECT_EQ(bench.Received(0x11), (Lines{Hex({0x11, 3, 0, 0, 0, 8}), Hex({0x11, 3, 0, 220, 0, 1}),
                                           Hex({0x11, 1, 0, 200, 0, 8})}));

    // Firmware before A2.02 scales the K type to 1000 'C.
    auto old = bench.Points("R270P", 0x13, PointProtocol::Modbus);
    ASSERT_TRUE(old->ReadAll(bench.port()));
    ExpectReading(*old, "ai0", PointQuality::Good, 500, "\u00B0C");

    // The RTD module shows its raw registers: counts without a unit, no ranges read.
    auto rtd = bench.Points("R240", 0x12, PointProtocol::Modbus);
    ASSERT_TRUE(rtd->ReadAll(bench.port()));
    EXPECT_EQ(bench.Received(0x12), (Lines{Hex({0x12, 3, 0, 0, 0, 6}), Hex({0x12, 3, 0, 220, 0, 1}),
                                           Hex({0x12, 1, 0, 200, 0, 6})}));
    ExpectReading(*rtd, "ai0", PointQuality::Good, 24576, ""); // 75 of 200 'C over 65535

    // A frame damaged on the line fails its CRC: no reading.
    bench.WithModule(0x11, [](sim::SimModule& m) { m.faults().corrupt.count = 1; });
    EXPECT_FALSE(points->ReadAll(bench.port()));
    ExpectReading(*points, "ai4", PointQuality::Failed);
}

// Synthetic Modbus exchanges: the request without CRC and the response.
PortExchange Frame(std::vector<int> request, std::vector<int> reply, bool ok = true) {
    PortExchange e;
    e.modbus = true;
    e.ok = ok;
    for (const int b : request)
        e.request += static_cast<char>(b);
    for (const int b : reply)
        e.reply += static_cast<char>(b);
    return e;
}

TEST(AnalogPoints, ModbusRegistersCountByNumberWhateverBlockBroughtThem) {
    std::string error;
    const auto perRegister = MakeModulePoints("R260P", {5, -1, PointProtocol::Modbus}, error);
    const auto blocks = MakeModulePoints("R260P", {5, -1, PointProtocol::Modbus}, error);
    // Ranges 07 (4~20 mA) and 08 (+/-10 V) on channels 0 and 1, the others 0D.
    std::vector<int> ranges = {5, 3, 16};
    for (int n = 0; n < 8; ++n) {
        const int code = n == 0 ? 7 : n == 1 ? 8 : 0x0D;
        perRegister->Observe(Frame({5, 3, 0, 200 + n, 0, 1}, {5, 3, 2, 0, code}));
        ranges.push_back(0);
        ranges.push_back(code);
    }
    blocks->Observe(Frame({5, 3, 0, 200, 0, 8}, ranges));
    std::vector<int> values = {5, 3, 16};
    for (int n = 0; n < 8; ++n) {
        values.push_back(0x80);
        values.push_back(0x00);
    }
    for (const auto& points : {perRegister.get(), blocks.get()}) {
        points->Observe(Frame({5, 3, 0, 220, 0, 1}, {5, 3, 2, 0, 0xFD})); // channel 1 off
        points->Observe(Frame({5, 3, 0, 0, 0, 8}, values));
        points->Observe(Frame({5, 1, 0, 200, 0, 8}, {5, 1, 1, 0x00}));
        ExpectReading(*points, "ai0", PointQuality::Good, 12.000, "mA");
        ExpectReading(*points, "ai1", PointQuality::Disabled);
        ExpectReading(*points, "ai2", PointQuality::Good, 0.000, "mA");
    }
    // Another slave's exchange is not this module's; a failed value read makes the
    // values unknown, and a later mask read does not bring the old ones back.
    const unsigned long serial = blocks->Serial();
    blocks->Observe(Frame({6, 3, 0, 0, 0, 8}, values));
    EXPECT_EQ(Reading(*blocks, "ai0").serial, serial);
    blocks->Observe(Frame({5, 3, 0, 0, 0, 8}, {5, 0x83, 2}, false));
    ExpectReading(*blocks, "ai0", PointQuality::Failed);
    blocks->Observe(Frame({5, 3, 0, 220, 0, 1}, {5, 3, 2, 0, 0xFF}));
    ExpectReading(*blocks, "ai0", PointQuality::Failed);
    // A range written over Modbus (the panel's Update) changes the unit at once.
    blocks->Observe(Frame({5, 6, 0, 200, 0, 8}, {5, 6, 0, 200, 0, 8}));
    EXPECT_EQ(Info(*blocks, "ai0").unit, "V");
    // A response of another length is no reading.
    blocks->Observe(Frame({5, 3, 0, 0, 0, 8}, {5, 3, 4, 0x80, 0, 0x80, 0}));
    ExpectReading(*blocks, "ai2", PointQuality::Failed);
}

} // namespace
} // namespace tavo
