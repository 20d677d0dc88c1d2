// The loop controller's points against a simulated R320T over a pseudo-terminal,
// ASCII and Modbus: each value is the number the module sent (its fields, its PID
// table entries, its registers), the inputs' qualities follow the enable mask, the
// status characters and the burn-out field, and the writes are the panel's commands,
// refused before anything is sent when the loop's mode forbids them.
#include "support/points_run.h"

#include "devices/hex_codes.h"
#include "points/point_text.h"
#include "sim/module.h"

#include <gtest/gtest.h>

namespace tavo {
namespace {

using test::ModbusRequest;
using test::PointsRun;
using test::Strings;
constexpr ModuleLocation kAscii = test::kAscii01;
constexpr ModuleLocation kModbus = test::kModbus01;

// Entry `index` of a "#AAPR" reply (">" and eight hex digits an entry).
double Entry(const std::string& reply, int index) {
    const auto word = HexValue(reply.substr(1 + 8 * static_cast<std::size_t>(index), 8));
    if (!word) throw std::runtime_error("no entry in " + reply);
    return static_cast<std::int32_t>(*word) / 1000.0;
}

// Register `n` (from 0) of a read response.
int Register(const std::string& reply, int n) {
    return static_cast<std::uint8_t>(reply.at(3 + 2 * static_cast<std::size_t>(n))) << 8 |
           static_cast<std::uint8_t>(reply.at(4 + 2 * static_cast<std::size_t>(n)));
}

TEST(LoopPoints, AsciiReadAllGivesWhatTheModuleSentWithTheInputsQualities) {
    // Channel 0 open, channel 2 below its 4-20 mA, channel 3 above its 0-10 V.
    PointsRun run("01 R320T burnout=01 value2=3 value3=12 di=02 tau=3600\n", "R320T", kAscii);
    EXPECT_EQ(PointNameList(run.points().Points()),
              "pv0, sv0, mv0, pv1, sv1, mv1, ai0..ai3, ao0, ao1, di0, di1, do0, do1");
    ASSERT_TRUE(run.points().ReadAll(run.port()));
    EXPECT_EQ(run.Sent(),
              (Strings{"$018C0", "$018C1", "$018C2", "$018C3", "$019C0", "$019C1", "$012", "$016",
                       "#01", "$01B", "$017", "#01O", "#01PR004E", "#01PR804E"}));

    const std::string inputs = run.ReplyTo("#01");
    EXPECT_EQ(inputs.substr(1, 7), "+888888");
    EXPECT_EQ(run.Quality("ai0"), PointQuality::BurnOut);
    EXPECT_EQ(run.Value("ai1"), std::stod(inputs.substr(8, 7)));
    EXPECT_EQ(run.Info("ai1").unit, "°C");
    EXPECT_EQ(run.Info("ai1").min, 0.0);
    EXPECT_EQ(run.Info("ai1").max, 200.0);
    EXPECT_EQ(run.Quality("ai2"), PointQuality::UnderRange);
    EXPECT_EQ(run.Info("ai2").unit, "mA");
    EXPECT_EQ(run.Quality("ai3"), PointQuality::OverRange);
    EXPECT_EQ(run.Info("ai3").unit, "V");
    EXPECT_EQ(run.ReplyTo("$01B"), "!013021\r");

    for (int l = 0; l < 2; ++l) {
        SCOPED_TRACE(l);
        const std::string table = run.ReplyTo(l == 0 ? "#01PR004E" : "#01PR804E");
        const std::string n = std::to_string(l);
        EXPECT_EQ(run.Value("sv" + n), Entry(table, 10));
        EXPECT_EQ(run.Value("pv" + n), Entry(table, 18));
        EXPECT_EQ(Entry(table, 73), 0.0); // the PV is valid
        EXPECT_DOUBLE_EQ(run.Value("mv" + n), (Entry(table, 20) - Entry(table, 17)) * 100 /
                                                  (Entry(table, 16) - Entry(table, 17)));
        EXPECT_EQ(run.Info("sv" + n).min, 0.0); // SV limits within the PV range
        EXPECT_EQ(run.Info("sv" + n).max, 200.0);
        EXPECT_EQ(run.Info("mv" + n).min, 5.0); // the MV limits in percent
        EXPECT_EQ(run.Info("mv" + n).max, 95.0);
        const std::string outputs = run.ReplyTo("#01O");
        EXPECT_EQ(run.Value("ao" + n),
                  std::stod(outputs.substr(1 + 7 * static_cast<std::size_t>(l), 7)));
        EXPECT_EQ(run.Info("ao" + n).unit, "mA");
        EXPECT_EQ(run.Info("ao" + n).min, 4.0);
    }
    const std::string dio = run.ReplyTo("$017");
    EXPECT_EQ(dio.substr(5, 2), "02");
    EXPECT_EQ(run.Value("di0"), 0);
    EXPECT_EQ(run.Value("di1"), 1);
    EXPECT_EQ(run.Value("do0"), *HexValue(dio.substr(3, 2)) & 1);

    // A channel switched off is disabled, not a number.
    ASSERT_TRUE(test::Send(run.port(), "$0150B").ok);
    ASSERT_TRUE(run.points().ReadAll(run.port()));
    EXPECT_EQ(run.Quality("ai2"), PointQuality::Disabled);
    EXPECT_EQ(PointValueText(run.Info("ai2"), run.Reading("ai2")), "");
}

TEST(LoopPoints, GarbledOrCutRepliesFailTheirPointsOnly) {
    PointsRun run("01 R320T tau=3600\n", "R320T", kAscii);
    ASSERT_TRUE(run.points().ReadAll(run.port()));
    run.Sent();
    // The replies of a read with the configuration known: $012, $016, #01, $01B, $017,
    // #01O, #01PR004E, #01PR804E.
    struct Row {
        const char* fault;
        int after;
        Strings failed, good;
    };
    const Row rows[] = {
        {"garbage", 2, {"ai0", "ai1", "ai2", "ai3"}, {"ao0", "pv0", "di0"}},
        {"cut", 4, {"di0", "di1", "do0", "do1"}, {"ai1", "ao1"}},
        {"garbage", 5, {"ao0", "ao1"}, {"ai0", "mv1"}},
        {"cut", 6, {"pv0", "sv0", "mv0"}, {"pv1", "sv1", "mv1"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.fault) + " after " + std::to_string(row.after));
        run.Fault(row.fault, 1, row.after);
        ASSERT_TRUE(run.points().ReadAll(run.port()));
        for (const auto& name : row.failed)
            EXPECT_EQ(run.Quality(name), PointQuality::Failed) << name;
        for (const auto& name : row.good)
            EXPECT_EQ(run.Quality(name), PointQuality::Good) << name;
    }
    // A PV the module marks invalid is no number.
    run.points().Observe({false, "#01PR4901\r", ">00000001\r", true});
    EXPECT_EQ(run.Quality("pv0"), PointQuality::Failed);
    EXPECT_EQ(run.Quality("pv1"), PointQuality::Good);
}

TEST(LoopPoints, TemperaturesFollowTheModulesUnit) {
    PointsRun run("01 R320T format=08 tau=3600\n", "R320T", kAscii);
    ASSERT_TRUE(run.points().ReadAll(run.port()));
    EXPECT_EQ(run.Info("ai0").unit, "°F");
    EXPECT_EQ(run.Info("ai0").min, 32.0);
    EXPECT_EQ(run.Info("ai0").max, 392.0);
    EXPECT_EQ(run.Value("ai0"), std::stod(run.ReplyTo("#01").substr(1, 7)));
    EXPECT_EQ(run.Info("ai2").unit, "mA");
    // Switched to Celsius by another: what was read in Fahrenheit is not shown as
    // Celsius; the next read is.
    PointTap tap(run.port(), run.points());
    ASSERT_TRUE(test::Send(run.port(), "$012").ok);
    EXPECT_EQ(run.Quality("ai0"), PointQuality::Good);
    run.WithModule([](sim::SimModule& m) { return m.config().formatCode = 0; });
    ASSERT_TRUE(test::Send(run.port(), "$012").ok);
    EXPECT_EQ(run.Info("ai0").unit, "°C");
    EXPECT_EQ(run.Quality("ai0"), PointQuality::Failed);
    ASSERT_TRUE(test::Send(run.port(), "#01").ok);
    EXPECT_EQ(run.Value("ai0"), std::stod(run.ReplyTo("#01").substr(1, 7)));
}

TEST(LoopPoints, AsciiWritesAreThePanelsCommandsAndTheLoopModeIsKeptToBeforeSending) {
    // Loop 0 in Auto, loop 1 in Manual.
    PointsRun run("01 R320T tau=3600\n", "R320T", kAscii);
    std::string error;
    // Nothing known yet: the mode is read as the panel reads it, and Auto refuses.
    EXPECT_FALSE(run.points().Write(run.port(), "ao0", 12.0, error));
    EXPECT_EQ(error,
              "ao0 cannot be written while loop 0 is in Auto mode: change PID loop-0 control "
              "mode to 'Free' or 'Manual' first");
    EXPECT_EQ(run.Sent(), Strings{"#01PR0001"});

    ASSERT_TRUE(run.points().ReadAll(run.port()));
    run.Sent();
    struct Row {
        const char* point;
        double value;
        Strings sent;
    };
    const Row writes[] = {
        {"sv0", 25.5, {"#01PW0A0000639C"}},          {"mv1", 40.0, {"#01PW9400009C40"}},
        {"ao1", 12.5, {"#01PR8001", "#01C112.500"}}, {"do1", 1.0, {"#01PR8001", "#011101"}},
        {"do1", 0.0, {"#01PR8001", "#011100"}},
    };
    for (const Row& row : writes) {
        SCOPED_TRACE(row.point);
        ASSERT_TRUE(run.points().Write(run.port(), row.point, row.value, error)) << error;
        EXPECT_EQ(run.Sent(), row.sent);
    }
    ASSERT_TRUE(run.points().ReadAll(run.port()));
    EXPECT_EQ(run.Value("sv0"), 25.5);
    EXPECT_EQ(run.Value("mv1"), 53.125); // the output written in Manual mode moved MV along
    run.Sent();

    // Refused before anything is sent: the mode is known now.
    struct Refusal {
        const char* point;
        const char* text;
        const char* error;
    };
    for (const Refusal& r :
         {Refusal{"mv0", "50",
                  "mv0 can be written only while loop 0 is in Manual mode (it is in Auto mode): "
                  "change its control mode first"},
          Refusal{"do0", "1",
                  "do0 cannot be written while loop 0 is in Auto mode: change PID loop-0 "
                  "control mode to 'Free' or 'Manual' first"},
          Refusal{"mv1", "2", "2 is outside the range of mv1 (5 to 95 %)"},
          Refusal{"sv1", "200.5", "200.5 is outside the range of sv1 (0 to 200)"},
          Refusal{"ao1", "21", "21 is outside the range of ao1 (4 to 20 mA)"},
          Refusal{"pv0", "1", "pv0 is an input and cannot be written"}}) {
        EXPECT_FALSE(run.points().CheckWrite(r.point, r.text, error)) << r.point;
        EXPECT_EQ(error, r.error);
        EXPECT_FALSE(run.points().Write(run.port(), r.point, std::stod(r.text), error));
        EXPECT_EQ(run.Sent(), Strings{}) << r.point;
    }

    // In Free mode MV drives nothing: refused too, but the outputs may be written.
    ASSERT_TRUE(test::Send(run.port(), "#01PW8000000000").ok);
    ASSERT_TRUE(run.points().ReadAll(run.port()));
    EXPECT_FALSE(run.points().CheckWrite("mv1", "50", error));
    EXPECT_NE(error.find("(it is in Free mode)"), std::string::npos) << error;
    EXPECT_TRUE(run.points().CheckWrite("ao1", "5", error)) << error;
}

TEST(LoopPoints, ModbusReadAllTakesTheMapAndTheTableBlocks) {
    PointsRun run("01 R320T protocol=modbus di=01 value2=12 value3=12 tau=3600\n", "R320T",
                  kModbus);
    ASSERT_TRUE(run.points().ReadAll(run.port()));
    EXPECT_EQ(run.Sent(),
              (Strings{"010100000002", "010300000004", "010100100002", "0103000A0002",
                       "010303E70064", "0103044B0064", "010304E70064", "0103054B0064"}));
    const std::string inputs = run.ReplyTo(ModbusRequest(1, 3, {0, 4}));
    for (int n = 0; n < 3; ++n) {
        const std::string name = "ai" + std::to_string(n);
        EXPECT_EQ(run.Value(name), Register(inputs, n)) << name;
        EXPECT_EQ(run.Info(name).unit, "");
        EXPECT_EQ(run.Info(name).decimals, 0);
    }
    EXPECT_EQ(run.Value("ai2"), 32768.0); // 12 mA of 4-20 mA
    EXPECT_EQ(Register(inputs, 3), 65535);
    EXPECT_EQ(run.Quality("ai3"), PointQuality::BurnOut);
    const std::string outputs = run.ReplyTo(ModbusRequest(1, 3, {10, 2}));
    EXPECT_EQ(run.Value("ao0"), Register(outputs, 0));
    EXPECT_EQ(run.Value("ao1"), Register(outputs, 1));
    EXPECT_EQ(run.Info("ao1").max, 4095.0);
    EXPECT_EQ(run.Value("di0"), 1);
    EXPECT_EQ(run.Value("di1"), 0);

    // The table's entries from the blocks: entry 10 at registers 1020 and 1021.
    const std::string block = run.ReplyTo(ModbusRequest(1, 3, {999, 100}));
    const int sv = Register(block, 20) << 16 | Register(block, 21);
    EXPECT_EQ(run.Value("sv0"), sv / 1000.0);
    EXPECT_EQ(run.Value("sv1"), 60.0);

    std::string error;
    ASSERT_TRUE(run.points().Write(run.port(), "sv0", 25.5, error)) << error;
    ASSERT_TRUE(run.points().Write(run.port(), "ao1", 100, error)) << error;
    EXPECT_EQ(run.Sent(), (Strings{"011003FB0002040000639C", "010304E70002", "0106000B0064"}));
    EXPECT_FALSE(run.points().CheckWrite("ao1", "100.5", error));
    EXPECT_EQ(error, "ao1 takes whole steps 0 to 4095 of its range over Modbus");
    EXPECT_FALSE(run.points().Write(run.port(), "do0", 1, error));
    EXPECT_NE(error.find("loop 0 is in Auto mode"), std::string::npos) << error;
    EXPECT_TRUE(run.Sent().empty());
    ASSERT_TRUE(run.points().ReadAll(run.port()));
    EXPECT_EQ(run.Value("ao1"), 100.0);
    EXPECT_EQ(run.Value("sv0"), 25.5);

    // An exception to one block fails the points whose entries it held.
    run.Fault("corrupt", 1, 4);
    ASSERT_TRUE(run.points().ReadAll(run.port()));
    EXPECT_EQ(run.Quality("sv0"), PointQuality::Failed);
    EXPECT_EQ(run.Quality("mv0"), PointQuality::Failed);
    EXPECT_EQ(run.Quality("sv1"), PointQuality::Good);

    // Entries are taken whole, whichever registers a read began at: registers 1019 to
    // 1022 hold entry 10 and halves of entries 9 and 11.
    run.points().Observe({true, ModbusRequest(1, 3, {1018, 4}),
                          std::string("\x01\x03\x08\xFF\xFF\x00\x00\x4E\x20\xFF\xFF", 11), true});
    EXPECT_EQ(run.Value("sv0"), 20.0);
}

} // namespace
} // namespace tavo
