// The points' common rules: what a user may type for a point, how numbers, times and
// CSV fields are written, and what a watcher of the port hears of ASCII and Modbus
// transactions.
#include "points/point_text.h"
#include "support/sim_bus.h"
#include "transport/modbus.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace tavo {
namespace {

PointInfo Analog(double min, double max) {
    PointInfo info;
    info.name = "ao0";
    info.kind = PointKind::AnalogOutput;
    info.unit = "mA";
    info.min = min;
    info.max = max;
    info.writable = true;
    return info;
}

TEST(PointText, TypedValuesAreCheckedByKind) {
    PointInfo digital;
    digital.name = "do3";
    digital.kind = PointKind::DigitalOutput;
    struct Row {
        std::string_view text;
        std::optional<double> value;
    };
    for (const Row& row : {Row{"1", 1.0}, Row{"ON", 1.0}, Row{"true", 1.0}, Row{" off ", 0.0},
                           Row{"0", 0.0}, Row{"FALSE", 0.0}, Row{"2", std::nullopt},
                           Row{"", std::nullopt}, Row{"0.5", std::nullopt}, Row{"yes", std::nullopt}}) {
        std::string error;
        EXPECT_EQ(ParsePointValue(digital, row.text, error), row.value) << row.text;
        EXPECT_EQ(error.empty(), row.value.has_value()) << row.text;
    }
    const PointInfo analog = Analog(4, 20);
    for (const Row& row : {Row{"12.5", 12.5}, Row{"+4", 4.0}, Row{"-1e1", -10.0}, Row{"20", 20.0},
                           Row{"12,5", std::nullopt}, Row{"nan", std::nullopt}, Row{"inf", std::nullopt},
                           Row{"0x10", std::nullopt}, Row{"1.5mA", std::nullopt}, Row{"", std::nullopt},
                           Row{"+-1", std::nullopt}, Row{"--1", std::nullopt}}) {
        std::string error;
        EXPECT_EQ(ParsePointValue(analog, row.text, error), row.value) << row.text;
    }
    std::string error;
    EXPECT_TRUE(WithinLimits(analog, 4.0, error));
    EXPECT_TRUE(WithinLimits(analog, 20.0, error));
    EXPECT_FALSE(WithinLimits(analog, 20.5, error));
    EXPECT_EQ(error, "20.5 is outside the range of ao0 (4 to 20 mA)");
    EXPECT_TRUE(WithinLimits(Analog(kNoLimit, kNoLimit), 1e9, error));
}

TEST(PointText, NumbersTimesAndNamesAreWrittenTheSameEverywhere) {
    EXPECT_EQ(FormatPointNumber(141.5, 2), "141.5");
    EXPECT_EQ(FormatPointNumber(4.0, 3), "4");
    EXPECT_EQ(FormatPointNumber(-0.0004, 3), "0");
    EXPECT_EQ(FormatPointNumber(1370.0 * 12345 / 65535, 1), "258.1");
    EXPECT_EQ(FormatPointNumber(0.1 + 0.2, 3), "0.3");
    // Far beyond what a buffer of a few dozen characters holds: every digit, no
    // exponent, and the number reads back as itself.
    const std::string huge = FormatPointNumber(-1e300, 9);
    EXPECT_EQ(huge.find_first_not_of("-0123456789."), std::string::npos) << huge;
    EXPECT_EQ(std::strtod(huge.c_str(), nullptr), -1e300);
    EXPECT_EQ(FormatPointNumber(2e15, 3), "2000000000000000.000");
    EXPECT_EQ(IsoTimeUtc(std::chrono::system_clock::time_point(std::chrono::milliseconds(1796830133123))),
              "2026-12-09T15:28:53.123Z");
    EXPECT_EQ(IsoTimeUtc(std::chrono::system_clock::time_point{}), "1970-01-01T00:00:00.000Z");

    std::vector<PointInfo> points;
    for (const char* name : {"ai0", "ai1", "ai2", "do0", "do1", "pv0", "sv0", "x"}) {
        PointInfo info;
        info.name = name;
        points.push_back(info);
    }
    EXPECT_EQ(PointNameList(points), "ai0..ai2, do0, do1, pv0, sv0, x");
    EXPECT_EQ(LocationText({0x40, 2, PointProtocol::Ascii}), "40S2");
    EXPECT_EQ(LocationText({9, -1, PointProtocol::Modbus}), "09");
}

TEST(PointText, ProtocolAndKindNamesRoundTrip) {
    for (const auto p : {PointProtocol::Ascii, PointProtocol::AsciiChecksum, PointProtocol::Modbus})
        EXPECT_EQ(PointProtocolFromName(PointProtocolName(p)), p);
    for (const auto k : {PointKind::AnalogInput, PointKind::AnalogOutput, PointKind::DigitalInput,
                         PointKind::DigitalOutput, PointKind::Counter, PointKind::Frequency})
        EXPECT_EQ(PointKindFromName(PointKindName(k)), k);
    EXPECT_FALSE(PointProtocolFromName("rtu"));
    EXPECT_EQ(PointQualityName(PointQuality::BurnOut), "burn-out");
    EXPECT_EQ(PointQualityCode(PointQuality::Failed), 5);
}

TEST(PortWatcher, HearsAsciiAndModbusTransactionsAsTheModuleSawThem) {
    test::SimBus sim("02 R550 checksum outputs=05 inputs=E0\n0A R560SO protocol=modbus\n");
    auto port = sim.Open(50);
    std::vector<PortExchange> heard;
    port->SetExchangeObserver([&](const PortExchange& e) { heard.push_back(e); });

    port->SetCheckSum(true);
    std::string command = "$026\r", reply;
    ASSERT_TRUE(port->SendCommand(command, 64, &reply, ReplyLayout::Unaddressed));
    command = "$036\r";
    EXPECT_FALSE(port->SendCommand(command, 64, &reply));
    port->SetCheckSum(false);

    TavoModbusCOM modbus(port.get());
    modbus.SetTurnaroundDelay(0);
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(modbus.ReadCoils(0x0A, 17, 4));
    ASSERT_TRUE(modbus.ReadResponse(data));
    ASSERT_TRUE(modbus.ReadHoldingRegisters(0x0A, 9999, 1));
    EXPECT_FALSE(modbus.ReadResponse(data));

    ASSERT_EQ(heard.size(), 4u);
    EXPECT_FALSE(heard[0].modbus);
    EXPECT_EQ(heard[0].request, "$026\r"); // without the checksum the port added
    EXPECT_EQ(heard[0].reply, "!05E0\r");
    EXPECT_TRUE(heard[0].ok);
    EXPECT_EQ(heard[1].request, "$036\r");
    EXPECT_FALSE(heard[1].ok);
    EXPECT_TRUE(heard[2].modbus);
    EXPECT_EQ(heard[2].request, std::string("\x0A\x01\x00\x10\x00\x04", 6));
    EXPECT_EQ(heard[2].reply.substr(0, 3), std::string("\x0A\x01\x01", 3));
    EXPECT_TRUE(heard[2].ok);
    EXPECT_FALSE(heard[3].ok);
    EXPECT_EQ(heard[3].reply.substr(0, 3), std::string("\x0A\x83\x02", 3)); // the exception
}

} // namespace
} // namespace tavo
