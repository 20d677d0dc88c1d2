// The points of the analog output modules against simulated modules over a
// pseudo-terminal: R310 in its three data formats, R330 in ASCII and Modbus. What
// ReadAll reads is what the module sent, in mA or V of the range; a write sends the
// panel's command for the same value, or nothing when the value is refused.
#include "support/points_run.h"

#include "points/output_values.h"
#include "points/point_text.h"
#include "sim/module.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tavo {
namespace {

using test::ModbusRequest;
using test::PointsRun;
using test::Strings;
constexpr ModuleLocation kAscii = test::kAscii01;
constexpr ModuleLocation kModbus = test::kModbus01;

TEST(OutputPoints, R310ReadsTheOutputInMilliamperesWhateverTheDataFormat) {
    // 4~20 mA, slewing at once; the start-up value 12.4 mA in each data format.
    struct Row {
        const char* format;
        const char* field; // what "$016" answers
        double value;      // the field in mA
        int decimals;
    };
    const Row rows[] = {
        {"00", "12.400", 12.4, 3},
        {"01", "+052.50", 4 + 52.5 * 16 / 100, 4},
        {"02", "866", 4 + 0x866 * 16.0 / 4095, 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.format);
        PointsRun run(std::string("01 R310 type=31 startup=12.4 format=") + row.format + "\n",
                      "R310", kAscii);
        ASSERT_TRUE(run.points().ReadAll(run.port()));
        EXPECT_EQ(run.Sent(), (Strings{"$012", "$016", "$018"}));
        EXPECT_EQ(run.ReplyTo("$016"), std::string("!01") + row.field + "\r");
        EXPECT_NEAR(run.Value("ao0"), row.value, 1e-9);
        EXPECT_NEAR(run.Value("ai0"), row.value, 1e-9); // read back at once, no trim
        for (const char* name : {"ao0", "ai0"}) {
            EXPECT_EQ(run.Info(name).unit, "mA");
            EXPECT_EQ(run.Info(name).min, 4.0);
            EXPECT_EQ(run.Info(name).max, 20.0);
            EXPECT_EQ(run.Info(name).decimals, row.decimals);
        }
        // The configuration is read once.
        ASSERT_TRUE(run.points().ReadAll(run.port()));
        EXPECT_EQ(run.Sent(), (Strings{"$016", "$018"}));
    }
}

TEST(OutputPoints, R310WritesAsTheOutputButtonDoesInTheModulesFormat) {
    struct Row {
        const char* bus;
        double value;
        const char* sent;
        double readBack;
    };
    const Row rows[] = {
        {"type=31 format=00", 4.5, "#0104.500", 4.5},
        {"type=31 format=01", 12.0, "#01+050.00", 12.0},
        {"type=31 format=02", 12.0, "#01800", 4 + 2048 * 16.0 / 4095}, // 2047.5 steps, rounded
        {"type=32 format=00", 10.0, "#0110.000", 10.0},
        {"type=30 format=01", 0.0, "#01+000.00", 0.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bus);
        PointsRun run(std::string("01 R310 ") + row.bus + "\n", "R310", kAscii);
        std::string error;
        ASSERT_TRUE(run.points().Write(run.port(), "ao0", row.value, error)) << error;
        // The range and format are read first, as nothing was known yet.
        EXPECT_EQ(run.Sent(), (Strings{"$012", row.sent}));
        ASSERT_TRUE(run.points().ReadAll(run.port()));
        EXPECT_NEAR(run.Value("ao0"), row.readBack, 1e-9);
    }
}

TEST(OutputPoints, R310RefusesBeforeSendingWhatItsRangeOrKindCannotTake) {
    PointsRun run("01 R310 type=31 format=02\n", "R310", kAscii);
    ASSERT_TRUE(run.points().ReadAll(run.port()));
    run.Sent();
    struct Row {
        const char* point;
        const char* text;
        const char* error;
    };
    for (const Row& row :
         {Row{"ao0", "20.5", "20.5 is outside the range of ao0 (4 to 20 mA)"},
          Row{"ao0", "3.99", "3.99 is outside the range of ao0 (4 to 20 mA)"},
          Row{"ao0", "12 mA", "'12 mA' is not a number (ao0 takes a decimal value in mA)"},
          Row{"ai0", "12", "ai0 is an input and cannot be written"},
          Row{"ao1", "12", "R310 has no point ao1 (it has ao0, ai0)"}}) {
        std::string error;
        EXPECT_FALSE(run.points().CheckWrite(row.point, row.text, error)) << row.text;
        EXPECT_EQ(error, row.error);
    }
    std::string error;
    EXPECT_FALSE(run.points().Write(run.port(), "ao0", 25.0, error));
    EXPECT_TRUE(run.Sent().empty());
}

TEST(OutputPoints, R310ReadBackIsDisabledOnTheVoltageRangeAndRepliesThatAreNoFieldFail) {
    PointsRun run("01 R310 type=32 startup=2.5\n", "R310", kAscii);
    ASSERT_TRUE(run.points().ReadAll(run.port()));
    EXPECT_EQ(run.Value("ao0"), 2.5);
    EXPECT_EQ(run.Info("ao0").unit, "V");
    EXPECT_EQ(run.Quality("ai0"), PointQuality::Disabled);

    // A reply garbled or cut to half its field is no value, in any format.
    for (const char* fault : {"garbage", "cut"}) {
        SCOPED_TRACE(fault);
        run.Fault(fault, 1);
        EXPECT_TRUE(run.points().ReadAll(run.port())); // the module did answer
        EXPECT_EQ(run.Quality("ao0"), PointQuality::Failed);
        EXPECT_EQ(PointValueText(run.Info("ao0"), run.Reading("ao0")), "");
    }
    // A module that does not answer: every point failed, and ReadAll says so.
    run.Fault("noreply", 2);
    EXPECT_FALSE(run.points().ReadAll(run.port()));
    EXPECT_EQ(run.Quality("ao0"), PointQuality::Failed);
    EXPECT_EQ(run.Quality("ai0"), PointQuality::Failed);
}

TEST(OutputPoints, R310ConfigurationWrittenByAnotherMakesTheValuesUnknownUntilReadAgain) {
    PointsRun run("01 R310 type=31 startup=12\n", "R310", kAscii);
    ASSERT_TRUE(run.points().ReadAll(run.port()));
    // The panel's Update: the range becomes 0~10V.
    ASSERT_TRUE(test::Send(run.port(), "%01013106"
                                       "00")
                    .ok);
    EXPECT_EQ(run.Quality("ao0"), PointQuality::Good); // nobody watched the port
    PointTap tap(run.port(), run.points());
    ASSERT_TRUE(test::Send(run.port(), "%01013206"
                                       "00")
                    .ok);
    EXPECT_EQ(run.Quality("ao0"), PointQuality::Failed);
    ASSERT_TRUE(test::Send(run.port(), "$012").ok);
    ASSERT_TRUE(test::Send(run.port(), "$016").ok);
    EXPECT_EQ(run.Info("ao0").unit, "V");
    EXPECT_EQ(run.Value("ao0"), 10.0); // 12 mA clamped to the new range's top
}

TEST(OutputPoints, R330ReadsEachChannelInItsRangeAndTheDigitalInputs) {
    PointsRun run("01 R330 outrange=30,31,32,32 startup=5 di=05\n", "R330", kAscii);
    ASSERT_TRUE(run.points().ReadAll(run.port()));
    EXPECT_EQ(run.Sent(), (Strings{"$018C0", "$018C1", "$018C2", "$018C3", "$016C0", "$016C1",
                                   "$016C2", "$016C3", "$01I"}));
    const char* units[] = {"mA", "mA", "V", "V"};
    const double mins[] = {0, 4, -10, -10}, maxs[] = {20, 20, 10, 10};
    for (int n = 0; n < 4; ++n) {
        const std::string name = "ao" + std::to_string(n);
        EXPECT_EQ(run.ReplyTo("$016C" + std::to_string(n)), "!01+05.000\r");
        EXPECT_EQ(run.Value(name), 5.0);
        EXPECT_EQ(run.Info(name).unit, units[n]);
        EXPECT_EQ(run.Info(name).min, mins[n]);
        EXPECT_EQ(run.Info(name).max, maxs[n]);
        EXPECT_EQ(run.Value("di" + std::to_string(n)), (0x05 >> n) & 1);
    }

    std::string error;
    ASSERT_TRUE(run.points().Write(run.port(), "ao3", -10.0, error)) << error;
    ASSERT_TRUE(run.points().Write(run.port(), "ao1", 12.5, error)) << error;
    EXPECT_EQ(run.Sent(), (Strings{"#01C3-10.000", "#01C1+12.500"}));
    EXPECT_FALSE(run.points().CheckWrite("ao0", "21", error));
    EXPECT_EQ(error, "21 is outside the range of ao0 (0 to 20 mA)");
    EXPECT_FALSE(run.points().CheckWrite("di0", "1", error));
    ASSERT_TRUE(run.points().ReadAll(run.port()));
    EXPECT_EQ(run.Value("ao3"), -10.0);
    EXPECT_EQ(run.Value("ao1"), 12.5);

    // A cut value reply ("+05" of "+05.000") is no value; the inputs' reply cut to
    // one digit neither.
    run.Fault("cut", 5);
    ASSERT_TRUE(run.points().ReadAll(run.port()));
    for (const char* name : {"ao0", "ao3", "di0", "di2"})
        EXPECT_EQ(run.Quality(name), PointQuality::Failed) << name;
}

TEST(OutputPoints, R330OverModbusScalesTheRegistersByTheRangeRegisters) {
    PointsRun run("01 R330 protocol=modbus outrange=30,31,32,32 startup=5 di=0A\n", "R330",
                  kModbus);
    ASSERT_TRUE(run.points().ReadAll(run.port()));
    // The ranges once, then the outputs and the inputs in one request each.
    EXPECT_EQ(run.Sent(), (Strings{"010300C80004", "010300000004", "010100000004"}));
    const std::string reply = run.ReplyTo(ModbusRequest(1, 3, {0, 4}));
    ASSERT_EQ(reply.size(), 11u);
    const double mins[] = {0, 4, -10, -10}, maxs[] = {20, 20, 10, 10};
    for (int n = 0; n < 4; ++n) {
        const int raw = static_cast<std::uint8_t>(reply[3 + 2 * n]) << 8 |
                        static_cast<std::uint8_t>(reply[4 + 2 * n]);
        const std::string name = "ao" + std::to_string(n);
        EXPECT_NEAR(run.Value(name), mins[n] + raw * (maxs[n] - mins[n]) / 4095, 1e-12);
        EXPECT_NEAR(run.Value(name), 5.0, 0.003);
        EXPECT_EQ(run.Value("di" + std::to_string(n)), (0x0A >> n) & 1);
    }

    std::string error;
    ASSERT_TRUE(run.points().Write(run.port(), "ao2", 10.0, error)) << error;
    ASSERT_TRUE(run.points().Write(run.port(), "ao1", 12.0, error)) << error;
    // The register the panel writes: 4095 for 10 V, 2047.5 truncated for 12 mA.
    EXPECT_EQ(run.Sent(), (Strings{"010600020FFF", "0106000107FF"}));
    ASSERT_TRUE(run.points().ReadAll(run.port()));
    EXPECT_EQ(run.Value("ao2"), 10.0);

    // An exception to the value read fails the outputs, not the inputs.
    run.Fault("corrupt", 1);
    ASSERT_TRUE(run.points().ReadAll(run.port()));
    EXPECT_EQ(run.Quality("ao0"), PointQuality::Failed);
    EXPECT_EQ(run.Value("di1"), 1);
}

TEST(OutputPoints, R330OverModbusTakesRegistersByNumberInWhateverBlockTheyCame) {
    PointsRun run("01 R330 protocol=modbus outrange=31,31,31,32 startup=8\n", "R330", kModbus);
    PointTap tap(run.port(), run.points());
    TavoModbusCOM modbus(&run.port());
    modbus.SetTurnaroundDelay(0);
    std::vector<std::uint8_t> data;
    const auto read = [&](int slave, int first, int count) {
        return modbus.ReadHoldingRegisters(slave, first, count) && modbus.ReadResponse(data);
    };
    // A value before its range is known is no value.
    ASSERT_TRUE(read(1, 4, 1));
    EXPECT_EQ(run.Quality("ao3"), PointQuality::Failed);
    // The ranges one by one, then one value alone, then all in one block.
    for (int n = 0; n < 4; ++n)
        ASSERT_TRUE(read(1, 201 + n, 1));
    EXPECT_EQ(run.Info("ao3").unit, "V");
    ASSERT_TRUE(read(1, 4, 1));
    EXPECT_NEAR(run.Value("ao3"), 8.0, 0.003);
    EXPECT_EQ(run.Quality("ao0"), PointQuality::Failed); // not read yet
    ASSERT_TRUE(read(1, 1, 4));
    EXPECT_NEAR(run.Value("ao0"), 8.0, 0.004);

    // Another slave's exchange is not this module's.
    const unsigned long serial = run.Reading("ao0").serial;
    EXPECT_FALSE(read(7, 1, 4));
    EXPECT_EQ(run.Reading("ao0").serial, serial);
    // A range register that holds no range code (its high byte counts) leaves its
    // channel without a range, and its value unknown.
    PortExchange odd{true, ModbusRequest(1, 3, {200, 1}), std::string("\x01\x03\x02\x01\x31", 5),
                     true};
    run.points().Observe(odd);
    EXPECT_EQ(run.Info("ao0").unit, "");
    EXPECT_EQ(run.Quality("ao0"), PointQuality::Failed);
    EXPECT_EQ(run.Quality("ao1"), PointQuality::Good); // the others stay
}

TEST(OutputPoints, TheFamilyRefusesSlotsAndProtocolsItsModelsDoNotHave) {
    struct Row {
        const char* model;
        ModuleLocation where;
        const char* error;
    };
    for (const Row& row :
         {Row{"R310", kModbus, "the R310 has no Modbus variant"},
          Row{"R330",
              {0x40, 2, PointProtocol::Ascii},
              "the R330 is a module of its own, not a rack slot: give no slot"},
          Row{"R320T",
              {1, 0, PointProtocol::Modbus},
              "the R320T is a module of its own, not a rack slot: give no slot"}}) {
        std::string error;
        EXPECT_EQ(MakeModulePoints(row.model, row.where, error), nullptr) << row.model;
        EXPECT_EQ(error, row.error);
    }
    std::string error;
    const auto r330 = MakeModulePoints("R330", kModbus, error);
    ASSERT_NE(r330, nullptr);
    EXPECT_EQ(PointNameList(r330->Points()), "ao0..ao3, di0..di3");
}

} // namespace
} // namespace tavo
