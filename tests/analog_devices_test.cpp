// The analog command library: the bytes each operation puts on the wire and what
// it takes from the reply (against a scripted peer), and round trips against the
// simulated analog modules.
#include "devices/models_analog.h"
#include "devices/range_tables.h"
#include "sim/models.h"
#include "support/pty_peer.h"
#include "support/sim_bus.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <thread>

namespace tavo {
namespace {

using test::ScriptedPeer;
using test::Send;
using test::SimBus;

constexpr const char* kUntouched = "-";

// One operation: what it must send (empty: nothing at all), the scripted reply, and
// whether it succeeds with which output. Operations with several outputs join them
// with '|'; result-only operations leave the output untouched.
template <class Model> struct Row {
    std::string name;
    std::function<bool(Model&, std::string&)> op;
    std::string sent;
    std::string reply;
    bool ok;
    std::string out = kUntouched;
};

template <class Model> void RunRows(const std::vector<Row<Model>>& rows) {
    ScriptedPeer peer;
    std::vector<std::string> expected;
    for (const auto& r : rows)
        if (!r.sent.empty()) {
            peer.Then(r.reply + "\r");
            expected.push_back(r.sent + "\r");
        }
    TavoComPort port(peer.path());
    ASSERT_TRUE(port.OpenPort());
    port.SetTimeOut(1000); // every request is answered: only a slow peer would wait
    Model model(&port, "01");
    for (const auto& r : rows) {
        std::string out = kUntouched;
        EXPECT_EQ(r.op(model, out), r.ok) << r.name;
        EXPECT_EQ(out, r.ok ? r.out : kUntouched) << r.name;
    }
    std::vector<std::string> sent;
    for (const auto& b : peer.Requests())
        sent.emplace_back(b.begin(), b.end());
    EXPECT_EQ(sent, expected);
}

std::string Join(std::initializer_list<std::string> parts) {
    std::string out;
    for (const auto& p : parts)
        out += (out.empty() ? "" : "|") + p;
    return out;
}

// ---- Wire bytes and reply cutting, by family ----------------------------------------

TEST(AnalogInputWire, CommandsAndReplies) {
    using M = TavoMR240;
    RunRows<M>({
        {"span", [](M& m, auto&) { return m.SpanCalibrate(); }, "$010", "!01", true},
        {"zero", [](M& m, auto&) { return m.ZeroCalibrate(); }, "$011", "!01", true},
        {"span ch", [](M& m, auto&) { return m.SpanCalibrateChannel(3); }, "$010C3", "!01", true},
        {"zero ch", [](M& m, auto&) { return m.ZeroCalibrateChannel(0); }, "$011C0", "!01", true},
        {"neg ch", [](M& m, auto&) { return m.NegativeCalibrateChannel(7); }, "$01NC7", "!01",
         true},
        {"ch 10", [](M& m, auto&) { return m.SpanCalibrateChannel(10); }, "", "", false},
        {"refused", [](M& m, auto&) { return m.ZeroCalibrate(); }, "$011", "?01", false},
        {"read all", [](M& m, auto& o) { return m.ReadAll(o); }, "#01", ">+01.234-00.500", true,
         "+01.234-00.500"},
        {"read all empty", [](M& m, auto& o) { return m.ReadAll(o); }, "#01", ">", true, ""},
        {"read ch", [](M& m, auto& o) { return m.ReadChannel(2, o); }, "#012", ">+05.000", true,
         "+05.000"},
        {"ch -1", [](M& m, auto& o) { return m.ReadChannel(-1, o); }, "", "", false},
        {"enable all", [](M& m, auto&) { return m.SetChannelEnable(0xFF); }, "$015FF", "!01", true},
        {"enable 5", [](M& m, auto&) { return m.SetChannelEnable(5); }, "$01505", "!01", true},
        {"enable 256", [](M& m, auto&) { return m.SetChannelEnable(256); }, "", "", false},
        {"read enable", [](M& m, auto& o) { return m.ReadChannelEnable(o); }, "$016", "!013F", true,
         "3F"},
        {"bare !", [](M& m, auto& o) { return m.ReadChannelEnable(o); }, "$016", "!", false},
        {"range", [](M& m, auto&) { return m.SetChannelRange(3, 0x0E); }, "$017C3R0E", "!01", true},
        {"range -1", [](M& m, auto&) { return m.SetChannelRange(1, -1); }, "", "", false},
        {"read range", [](M& m, auto& o) { return m.ReadChannelRange(3, o); }, "$018C3", "!01C3R08",
         true, "08"},
        {"read range short", [](M& m, auto& o) { return m.ReadChannelRange(0, o); }, "$018C0",
         "!01C0", true, ""},
        {"status", [](M& m, auto& o) { return m.ReadChannelStatus(o); }, "$01B", "!01003", true,
         "003"},
        {"cjc", [](M& m, auto& o) { return m.ReadCJC(o); }, "$013", ">+025.30", true, "+025.30"},
        {"cjc refused", [](M& m, auto& o) { return m.ReadCJC(o); }, "$013", "?01", false},
        {"cjc offset", [](M& m, auto&) { return m.SetCJCOffset('-', "006F"); }, "$019-006F", "!01",
         true},
        {"cjc bad sign", [](M& m, auto&) { return m.SetCJCOffset('x', "006F"); }, "", "", false},
        {"cjc 3 digits", [](M& m, auto&) { return m.SetCJCOffset('+', "06F"); }, "", "", false},
        {"cjc non-hex", [](M& m, auto&) { return m.SetCJCOffset('+', "00G1"); }, "", "", false},
        {"wire", [](M& m, auto&) { return m.SetWireCompensation(0, '+', "007B"); }, "$01R0+007B",
         "!01", true},
        {"read wire", [](M& m, auto& o) { return m.ReadWireCompensation(1, o); }, "$01R1",
         "!01007B", true, "007B"},
        {"S0", [](M& m, auto&) { return m.SendS0(); }, "$01S0", "!01", true},
        {"S1", [](M& m, auto&) { return m.SendS1(); }, "$01S1", "!01", true},
        {"locate", [](M& m, auto&) { return m.Locate(); }, "#01MM", "!01", true},
        {"MP", [](M& m, auto& o) { return m.ReadMP(o); }, "$01MP", "!01050", true, "050"},
        {"MC as data reply", [](M& m, auto& o) { return m.ReadMC(o); }, "$01MC", ">0010", true,
         "0010"},
        {"filter", [](M& m, auto&) { return m.SetFilterRate(8); }, "#01MK008", "!01", true},
        {"filter too big", [](M& m, auto&) { return m.SetFilterRate(0x1000); }, "", "", false},
        {"read filter",
         [](M& m, auto& o) {
             int v = 0;
             if (!m.ReadFilterRate(v)) return false;
             o = std::to_string(v);
             return true;
         },
         "$01MD", "!010F8", true, "248"},
        {"read filter empty",
         [](M& m, auto&) {
             int v;
             return m.ReadFilterRate(v);
         },
         "$01MD", "!01", false},
        {"read filter junk",
         [](M& m, auto&) {
             int v;
             return m.ReadFilterRate(v);
         },
         "$01MD", "!01XYZ", false},
        {"burn-out", [](M& m, auto&) { return m.SetBurnOut(2); }, "$01D02", "!01", true},
        {"read burn-out", [](M& m, auto& o) { return m.ReadBurnOut(o); }, "$01D2", "!0102", true,
         "02"},
        {"AT", [](M& m, auto&) { return m.SetAT(1); }, "#01AT01", "!01", true},
        {"read AT", [](M& m, auto& o) { return m.ReadAT(o); }, "$01AT", "!0101", true, "01"},
        {"OD", [](M& m, auto& o) { return m.ReadOD(o); }, "$01OD", "!0100", true, "00"},
        {"thermo mode", [](M& m, auto&) { return m.SetThermoMode(1); }, "#01OD01", "!01", true},
    });
}

TEST(AnalogInputWire, ExcitationAndTheR250Slots) {
    using M = TavoMR250;
    RunRows<M>({
        {"set", [](M& m, auto&) { return m.SetExcitation("05.000"); }, "$01705.000", "!01", true},
        {"empty", [](M& m, auto&) { return m.SetExcitation(""); }, "", "", false},
        {"control char", [](M& m, auto&) { return m.SetExcitation("1\r$02"); }, "", "", false},
        {"startup", [](M& m, auto&) { return m.SetStartupExcitation(); }, "$01S", "!01", true},
        {"trim", [](M& m, auto&) { return m.TrimExcitation("0A"); }, "$01E0A", "!01", true},
        {"trim 1 digit", [](M& m, auto&) { return m.TrimExcitation("A"); }, "", "", false},
        {"0V", [](M& m, auto&) { return m.Calibrate0V(); }, "$01A", "!01", true},
        {"10V", [](M& m, auto&) { return m.Calibrate10V(); }, "$01B", "!01", true},
        {"read", [](M& m, auto& o) { return m.ReadExcitation(o); }, "$016", "!0110.000", true,
         "10.000"},
        // Slots 23 to 26 of the R250 exist but do nothing.
        {"slot 23", [](M& m, auto&) { return m.SetCJCOffset('+', "0001"); }, "", "", false},
        {"slot 24", [](M& m, auto& o) { return m.ReadCJC(o); }, "", "", false},
        {"slot 25", [](M& m, auto& o) { return m.ReadEventCounter(o); }, "", "", false},
        {"slot 26", [](M& m, auto&) { return m.ClearEventCounter(); }, "", "", false},
        {"family still there",
         [](M& m, auto& o) { return m.AlarmEventCounter().ReadEventCounter(o); }, "@01RE",
         "!0100007", true, "00007"},
    });
}

TEST(AlarmEventCounterWire, CommandsAndReplies) {
    using M = TavoMR210D;
    const auto status = [](M& m, std::string& o) {
        std::string a, b, c;
        if (!m.ReadAlarmStatus(a, b, c)) return false;
        o = Join({a, b, c});
        return true;
    };
    RunRows<M>({
        {"momentary", [](M& m, auto&) { return m.EnableAlarm('M'); }, "@01EAM", "!01", true},
        {"latch", [](M& m, auto&) { return m.EnableAlarm('L'); }, "@01EAL", "!01", true},
        {"bad mode", [](M& m, auto&) { return m.EnableAlarm('X'); }, "", "", false},
        {"disable", [](M& m, auto&) { return m.DisableAlarm(); }, "@01DA", "!01", true},
        {"clear latch", [](M& m, auto&) { return m.ClearAlarmLatch(); }, "@01CA", "!01", true},
        {"DO", [](M& m, auto&) { return m.SetDO(3); }, "@01DO03", "!01", true},
        {"high", [](M& m, auto&) { return m.SetHighLimit("+05.000"); }, "@01HI+05.000", "!01",
         true},
        {"low", [](M& m, auto&) { return m.SetLowLimit("-05.000"); }, "@01LO-05.000", "!01", true},
        {"clear events", [](M& m, auto&) { return m.ClearEventCounter(); }, "@01CE", "!01", true},
        {"status", status, "@01DI", "!0120300", true, "2|03|00"},
        {"status short", status, "@01DI", "!012030", false},
        {"status non-hex", status, "@01DI", "!012G300", false},
        {"status letter mode", status, "@01DI", "!01X0300", false},
        {"status bare", status, "@01DI", "!", false},
        {"read high", [](M& m, auto& o) { return m.ReadHighLimit(o); }, "@01RH", "!01+05.000", true,
         "+05.000"},
        {"read low", [](M& m, auto& o) { return m.ReadLowLimit(o); }, "@01RL", "!01-05.000", true,
         "-05.000"},
        {"events", [](M& m, auto& o) { return m.ReadEventCounter(o); }, "@01RE", "!0100012", true,
         "00012"},
        // The R210 family's own slots.
        {"slot 23", [](M& m, auto&) { return m.SetCJCOffset('+', "0037"); }, "$019+0037", "!01",
         true},
        {"slot 24", [](M& m, auto& o) { return m.ReadCJC(o); }, "$013", ">+025.30", true,
         "+025.30"},
    });
    // The R220 has no cold junction: slots 23 and 24 send nothing.
    using R220 = TavoMR220;
    RunRows<R220>({
        {"slot 23", [](R220& m, auto&) { return m.SetCJCOffset('+', "0037"); }, "", "", false},
        {"slot 24", [](R220& m, auto& o) { return m.ReadCJC(o); }, "", "", false},
        {"slot 25", [](R220& m, auto& o) { return m.ReadEventCounter(o); }, "@01RE", "!0100001",
         true, "00001"},
    });
}

TEST(AnalogOutputWire, SingleChannel) {
    using M = TavoMR310;
    RunRows<M>({
        {"write", [](M& m, auto&) { return m.WriteOutput("04.500"); }, "#0104.500", "!01", true},
        {"write empty", [](M& m, auto&) { return m.WriteOutput(""); }, "", "", false},
        {"startup", [](M& m, auto&) { return m.SetStartupToCurrent(); }, "$014", "!01", true},
        {"trim", [](M& m, auto&) { return m.Trim("FF"); }, "$013FF", "!01", true},
        {"trim 3 digits", [](M& m, auto&) { return m.Trim("FFF"); }, "", "", false},
        {"4 mA", [](M& m, auto&) { return m.Calibrate4mA(); }, "$010", "!01", true},
        {"20 mA", [](M& m, auto&) { return m.Calibrate20mA(); }, "$011", "!01", true},
        {"last", [](M& m, auto& o) { return m.ReadLastOutput(o); }, "$016", "!0104.500", true,
         "04.500"},
        {"readback", [](M& m, auto& o) { return m.ReadReadback(o); }, "$018", "!0104.512", true,
         "04.512"},
    });
}

TEST(AnalogOutputWire, FourChannels) {
    using M = TavoMR330;
    RunRows<M>({
        {"write", [](M& m, auto&) { return m.WriteChannel(2, "+12.500"); }, "#01C2+12.500", "!01",
         true},
        {"startup", [](M& m, auto&) { return m.SetStartupValue(0, "+04.000"); }, "#01SC0+04.000",
         "!01", true},
        {"emergency", [](M& m, auto&) { return m.SetEmergencyValue(3, "-10.000"); },
         "#01EC3-10.000", "!01", true},
        {"4 mA ch", [](M& m, auto&) { return m.Calibrate4mAChannel(1); }, "$010C1", "!01", true},
        {"20 mA ch", [](M& m, auto&) { return m.Calibrate20mAChannel(1); }, "$011C1", "!01", true},
        {"range", [](M& m, auto&) { return m.SetChannelRange(2, 0x32); }, "$017C2R32", "!01", true},
        {"emer on", [](M& m, auto&) { return m.SetEmergencyInput(0, true); }, "$01AC01", "!01",
         true},
        {"emer off", [](M& m, auto&) { return m.SetEmergencyInput(0, false); }, "$01AC00", "!01",
         true},
        {"safety", [](M& m, auto&) { return m.SetCommSafety(100); }, "$01X00064", "!01", true},
        {"safety too big", [](M& m, auto&) { return m.SetCommSafety(70000); }, "", "", false},
        {"read safety", [](M& m, auto& o) { return m.ReadCommSafety(o); }, "$01X1", "!0064", true,
         "0064"},
        {"safety short", [](M& m, auto& o) { return m.ReadCommSafety(o); }, "$01X1", "!006", false},
        {"safety non-hex", [](M& m, auto& o) { return m.ReadCommSafety(o); }, "$01X1", "!00G4",
         false},
        {"output", [](M& m, auto& o) { return m.ReadChannelOutput(1, o); }, "$016C1", "!01+12.500",
         true, "+12.500"},
        {"read range", [](M& m, auto& o) { return m.ReadChannelRange(2, o); }, "$018C2", "!01C232",
         true, "32"},
        {"read emer input", [](M& m, auto& o) { return m.ReadEmergencyInput(0, o); }, "$01BC0",
         "!01C01", true, "1"},
        {"read startup", [](M& m, auto& o) { return m.ReadStartupValue(3, o); }, "$01DC3",
         "!01+04.000", true, "+04.000"},
        {"read emergency", [](M& m, auto& o) { return m.ReadEmergencyValue(3, o); }, "$01EC3",
         "!01-10.000", true, "-10.000"},
        {"DI", [](M& m, auto& o) { return m.ReadDI(o); }, "$01I", "!010A", true, "0A"},
    });
}

TEST(ModelWire, R270PWatchdogAndSlots) {
    using M = TavoMR270P;
    RunRows<M>({
        {"wdt", [](M& m, auto&) { return m.SetWDT(9999); }, "$01X9999", "!01", true},
        {"wdt small", [](M& m, auto&) { return m.SetWDT(5); }, "$01X0005", "!01", true},
        {"wdt 10000", [](M& m, auto&) { return m.SetWDT(10000); }, "", "", false},
        {"read wdt", [](M& m, auto& o) { return m.ReadWDT(o); }, "$01Y", "!010050", true, "0050"},
        {"slot 23", [](M& m, auto& o) { return m.ReadChannelStatus(o); }, "$01B", "!010000", true,
         "0000"},
        {"slot 24 none", [](M& m, auto&) { return m.SendS0(); }, "", "", false},
        {"slot 25 none", [](M& m, auto&) { return m.SendS1(); }, "", "", false},
    });
    using R280 = TavoMR280;
    RunRows<R280>(
        {{"slot 23 none", [](R280& m, auto& o) { return m.ReadChannelStatus(o); }, "", "", false}});
}

TEST(ModelWire, R270MDataLogger) {
    using M = TavoMR270M;
    const auto record = [](int index) {
        return [index](M& m, std::string& o) {
            std::string k, v, s;
            if (!m.ReadRecord(index, k, v, s)) return false;
            o = Join({k, v, s});
            return true;
        };
    };
    const auto alarm = [](M& m, std::string& o) {
        std::string h, l;
        if (!m.ReadChannelAlarm(1, h, l)) return false;
        o = Join({h, l});
        return true;
    };
    RunRows<M>({
        {"memory", [](M& m, auto& o) { return m.ReadMemoryConfig(o); }, "@01D", "!01FF120000A",
         true, "FF120000A"},
        {"set memory", [](M& m, auto&) { return m.SetMemoryConfig("FF1200002"); }, "@01CFF1200002",
         "!01", true},
        {"operation", [](M& m, auto& o) { return m.ReadOperation(o); }, "@01T", "!011", true, "1"},
        {"start", [](M& m, auto&) { return m.SetOperation(true); }, "@01S1", "!01", true},
        {"stop", [](M& m, auto&) { return m.SetOperation(false); }, "@01S0", "!01", true},
        {"standard count", [](M& m, auto& o) { return m.ReadStandardCount(o); }, "@01N", "!010003",
         true, "0003"},
        {"event count", [](M& m, auto& o) { return m.ReadEventCount(o); }, "@01L", "!010002", true,
         "0002"},
        {"standard record", record(2), "@01R0002", "!01000010", true, "0|00010|"},
        {"event record", record(0x1388), "@01R1388", "!012304D20000012C", true, "2|304D2|0000012C"},
        {"record short", record(0), "@01R0000", "!0100", false},
        {"record index", record(0x10000), "", "", false},
        {"alarm", alarm, "@01B1", "!01+1007D-10005", true, "+1007D|-10005"},
        {"alarm short", alarm, "@01B1", "!01+1007D-1000", false},
        {"set alarm", [](M& m, auto&) { return m.SetChannelAlarm(1, "+1007D", "-10005"); },
         "@01A1+1007D-10005", "!01", true},
        {"set alarm short", [](M& m, auto&) { return m.SetChannelAlarm(1, "+100", "-10005"); }, "",
         "", false},
        {"slot 23", [](M& m, auto& o) { return m.ReadChannel(4, o); }, "#014", ">+0025.0", true,
         "+0025.0"},
        {"slot 24 none", [](M& m, auto& o) { return m.ReadAll(o); }, "", "", false},
    });
}

TEST(ModelWire, R320TLoopController) {
    using M = TavoMR320T;
    const auto pair = [](bool (M::*read)(std::string&, std::string&)) {
        return [read](M& m, std::string& o) {
            std::string a, b;
            if (!(m.*read)(a, b)) return false;
            o = Join({a, b});
            return true;
        };
    };
    RunRows<M>({
        {"status", [](M& m, auto& o) { return m.ReadStatusB(o); }, "$01B", "!010012", true, "0012"},
        {"out range", [](M& m, auto&) { return m.SetOutputRange(1, 0x32); }, "$019C1R32", "!01",
         true},
        {"read out range", [](M& m, auto& o) { return m.ReadOutputRange(0, o); }, "$019C0",
         "!01C0R31", true, "31"},
        {"outputs", [](M& m, auto& o) { return m.ReadOutputs(o); }, "#01O", ">+04.000+12.000", true,
         "+04.000+12.000"},
        {"trim", [](M& m, auto&) { return m.TrimOutput(0, 0x7FF); }, "#01RC07FF", "!01", true},
        {"zero", [](M& m, auto&) { return m.SetOutputZero(1, 0); }, "$012C1000", "!01", true},
        {"read zero", [](M& m, auto& o) { return m.ReadOutputZero(1, o); }, "$012C1", "!01C1000",
         true, "000"},
        {"span", [](M& m, auto&) { return m.SetOutputSpan(0, 0xFD2); }, "$013C0FD2", "!01", true},
        {"read span", [](M& m, auto& o) { return m.ReadOutputSpan(0, o); }, "$013C0", "!01C0FD2",
         true, "FD2"},
        {"write", [](M& m, auto&) { return m.WriteOutput(1, "12.000"); }, "#01C112.000", "!01",
         true},
        {"DO on", [](M& m, auto&) { return m.WriteDO(1, true); }, "#011101", "!01", true},
        {"DO off", [](M& m, auto&) { return m.WriteDO(0, false); }, "#011000", "!01", true},
        {"DIO", pair(&M::ReadDIO), "$017", "!010201", true, "02|01"},
        {"DIO short", pair(&M::ReadDIO), "$017", "!0102", false},
        {"params", [](M& m, auto& o) { return m.ReadParameters(0x10, 2, o); }, "#01PR1002",
         ">0000639CFFFFFFFF", true, "0000639CFFFFFFFF"},
        {"params 128", [](M& m, auto& o) { return m.ReadParameters(0, 128, o); }, "", "", false},
        {"params past 255", [](M& m, auto& o) { return m.ReadParameters(200, 60, o); }, "", "",
         false},
        {"SV 25.5", [](M& m, auto&) { return m.WriteParameter(10, 25500); }, "#01PW0A0000639C",
         "!01", true},
        {"negative", [](M& m, auto&) { return m.WriteParameter(0x8A, -1); }, "#01PW8AFFFFFFFF",
         "!01", true},
        {"BACnet", pair(&M::ReadBACnet), "$01S", "!0105004E21", true, "05|004E21"},
        {"BACnet non-hex", pair(&M::ReadBACnet), "$01S", "!0105004X21", false},
        {"set BACnet", [](M& m, auto&) { return m.SetBACnet(31, 4194303); }, "$01S1F3FFFFF", "!01",
         true},
        {"station 32", [](M& m, auto&) { return m.SetBACnet(32, 0); }, "", "", false},
        {"device too big", [](M& m, auto&) { return m.SetBACnet(0, 4194304); }, "", "", false},
    });
}

// ---- Helpers, addresses and tables ------------------------------------------------

TEST(AnalogEncodings, ColdJunctionAndLeadWire) {
    struct Case {
        double value;
        bool ok;
        char sign;
        const char* hex;
    };
    const Case cjc[] = {
        {-1.0, true, '-', "006F"}, {50.0, true, '+', "15B3"}, {-0.5, true, '-', "0037"},
        {0.0, true, '+', "0000"},  {99.9, true, '+', "2B5C"}, {-99.9, true, '-', "2B5C"},
        {100.0, false, 0, ""},     {-100.0, false, 0, ""},    {std::nan(""), false, 0, ""}};
    for (const auto& c : cjc) {
        char sign = '?';
        std::string hex = "?";
        EXPECT_EQ(EncodeCJCOffset(c.value, sign, hex), c.ok) << c.value;
        if (c.ok) {
            EXPECT_EQ(sign, c.sign) << c.value;
            EXPECT_EQ(hex, c.hex) << c.value;
        } else {
            EXPECT_EQ(hex, "?") << c.value;
        }
    }
    const Case wire[] = {{12.34, true, '+', "007B"},
                         {0.3, true, '+', "0003"},
                         {-6553.5, true, '-', "FFFF"},
                         {6553.6, false, 0, ""}};
    for (const auto& c : wire) {
        char sign = '?';
        std::string hex;
        EXPECT_EQ(EncodeWireCompensation(c.value, sign, hex), c.ok) << c.value;
        if (c.ok) {
            EXPECT_EQ(std::string(1, sign) + hex, std::string(1, c.sign) + c.hex) << c.value;
        }
    }
    double ohms = 0.0;
    ASSERT_TRUE(DecodeWireCompensation("007B", ohms));
    EXPECT_DOUBLE_EQ(ohms, 12.3);
    ASSERT_TRUE(DecodeWireCompensation("-0010", ohms));
    EXPECT_DOUBLE_EQ(ohms, -1.6);
    for (const char* bad : {"", "-", "XYZ", "12345"})
        EXPECT_FALSE(DecodeWireCompensation(bad, ohms));
}

TEST(AnalogEncodings, ParameterEntries) {
    std::vector<std::int32_t> v{7};
    ASSERT_TRUE(ParseParameterEntries("0000639CFFFFFFFF", 2, v));
    EXPECT_EQ(v, (std::vector<std::int32_t>{25500, -1}));
    EXPECT_FALSE(ParseParameterEntries("0000639CFFFFFFF", 2, v));
    EXPECT_FALSE(ParseParameterEntries("0000639CFFFFFFFG", 2, v));
    EXPECT_EQ(v.size(), 2u);
}

TEST(AnalogModels, EveryFamilyFollowsTheAddress) {
    ScriptedPeer peer;
    // Each '!' reply names the address the command went to; the configuration write
    // is answered from the new one.
    for (const char* r : {">+01.000\r", "!07\r", "!07\r", "!0A\r", ">+01.000\r"})
        peer.Then(r);
    TavoComPort port(peer.path());
    ASSERT_TRUE(port.OpenPort());
    port.SetTimeOut(1000); // every request is answered: only a slow peer would wait
    TavoMR250 m(&port);
    std::string out;
    EXPECT_FALSE(m.ReadAll(out)); // no address yet: nothing is sent
    m.SetAddress("07");
    EXPECT_TRUE(m.ReadAll(out));
    EXPECT_TRUE(m.ReadHighLimit(out));
    EXPECT_TRUE(m.ReadExcitation(out));
    ASSERT_TRUE(m.WriteConfigText("0A000600"));
    EXPECT_EQ(m.PreviousAddress(), ""); // a text write is no pending change
    EXPECT_TRUE(m.ReadAll(out));
    std::vector<std::string> sent;
    for (const auto& b : peer.Requests())
        sent.emplace_back(b.begin(), b.end());
    EXPECT_EQ(sent,
              (std::vector<std::string>{"#07\r", "@07RH\r", "$076\r", "%070A000600\r", "#0A\r"}));
}

// The loop controller carries a digital output family next to its analog input one:
// both follow every change of address, and the model's own DO commands keep their
// bytes beside the family's.
TEST(AnalogModels, R320TDigitalOutputFollowsTheAddress) {
    ScriptedPeer peer;
    for (const char* r : {"!05\r", "!05\r", "!05\r", ">+01.000\r", "!05\r", "!0B1\r", "!0B0201\r"})
        peer.Then(r);
    TavoComPort port(peer.path());
    ASSERT_TRUE(port.OpenPort());
    port.SetTimeOut(1000); // every request is answered: only a slow peer would wait
    TavoMR320T m(&port);
    std::string a, b;
    EXPECT_FALSE(m.ClearError()); // no address yet: nothing is sent
    m.SetAddress("05");
    EXPECT_TRUE(m.ClearError());
    EXPECT_TRUE(m.WriteDO("10", "01")); // the family's form
    EXPECT_TRUE(m.WriteDO(1, true));    // the model's own
    EXPECT_TRUE(m.ReadAll(a));
    ASSERT_TRUE(m.WriteConfigText("0B000600"));
    EXPECT_EQ(m.DigitalOutput().Address(), "0B");
    EXPECT_EQ(m.AnalogInput().Address(), "0B");
    ASSERT_TRUE(m.ReadError(a));
    EXPECT_EQ(a, "1");
    ASSERT_TRUE(m.ReadDIO(a, b));
    EXPECT_EQ(a + "|" + b, "02|01");
    std::vector<std::string> sent;
    for (const auto& r : peer.Requests())
        sent.emplace_back(r.begin(), r.end());
    EXPECT_EQ(sent, (std::vector<std::string>{"$05E1\r", "#051001\r", "#051101\r", "#05\r",
                                              "%050B000600\r", "$0BE0\r", "$0B7\r"}));
}

TEST(AnalogModels, R330KeepsItsProtocolInBit7) {
    TavoMR330 r330(nullptr, "01");
    TavoMR310 r310(nullptr, "01");
    std::string out;
    for (TavoRBase* base : {static_cast<TavoRBase*>(&r330), static_cast<TavoRBase*>(&r310)}) {
        base->SetFormatCode("00");
        base->SetProtocolBit('1');
        ASSERT_TRUE(base->GetProtocolBit(out));
        EXPECT_EQ(out, "1");
    }
    EXPECT_EQ(r330.FormatCode(), "80");
    EXPECT_EQ(r310.FormatCode(), "04");
}

TEST(AnalogRangeTables, CodesAndPositions) {
    for (int i = 0; i < 14; ++i) {
        EXPECT_EQ(RangeIndexToCode(RangeList::R210, i), i <= 6 ? i : i + 7) << i;
        EXPECT_EQ(RangeIndexToCode(RangeList::R270M, i), RangeIndexToCode(RangeList::R270, i));
    }
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(RangeIndexToCode(RangeList::R230, i), 0x20 + i);
    EXPECT_EQ(RangeIndexToCode(RangeList::R250, 4), 0x06);
    EXPECT_EQ(RangeCodeToIndex(RangeList::R250, 0x06), 4);
    EXPECT_EQ(RangeCodeToIndex(RangeList::R250, 0x04), -1);
    EXPECT_EQ(RangeIndexToCode(RangeList::R250, 5), -1);
    EXPECT_EQ(RangeIndexToCode(RangeList::R320TInput, 13), 0x31);
    EXPECT_EQ(RangeItems(RangeList::R240).size(), 16u);
    EXPECT_STREQ(RangeItems(RangeList::R310Output)[2].text, "0~10V   ");
    EXPECT_STREQ(RangeItems(RangeList::R280Channels)[6].text, "+/- 0~20mA");
}

// ---- Round trips against the simulator ----------------------------------------------

std::string Status(TavoMR210& m) {
    std::string mode, out, in;
    if (!m.ReadAlarmStatus(mode, out, in)) return "failed";
    return Join({mode, out, in});
}

TEST(AnalogSim, SingleChannelInputAlarmsAndColdJunction) {
    SimBus sim("01 R210D type=01 value=5 cjc=25 di=00\n02 R210D type=01 value=5 format=01\n"
               "03 R210D type=01 value=-5 format=02\n");
    auto port = sim.Open(30);
    TavoMR210D m(port.get(), "01");
    std::string out;
    ASSERT_TRUE(m.ReadAll(out));
    EXPECT_EQ(out, "+05.000");
    m.SetAddress("02");
    ASSERT_TRUE(m.ReadAll(out));
    EXPECT_EQ(out, "+010.00"); // percent of 50 mV
    m.SetAddress("03");
    ASSERT_TRUE(m.ReadAll(out));
    EXPECT_EQ(out, "F333"); // -5/50 of 7FFF, two's complement
    m.SetAddress("01");

    // Momentary alarm follows the limit; latch holds until cleared.
    ASSERT_TRUE(m.SetHighLimit("+04.000"));
    ASSERT_TRUE(m.EnableAlarm('M'));
    EXPECT_EQ(Status(m), "1|01|00");
    EXPECT_FALSE(m.SetDO(3)); // outputs belong to the alarm now
    EXPECT_FALSE(m.ClearAlarmLatch());
    ASSERT_TRUE(m.SetHighLimit("+06.000"));
    EXPECT_EQ(Status(m), "1|00|00");
    ASSERT_TRUE(m.SetLowLimit("+05.500"));
    EXPECT_EQ(Status(m), "1|02|00");
    ASSERT_TRUE(m.SetLowLimit("-05.000"));
    ASSERT_TRUE(m.SetHighLimit("+04.000"));
    ASSERT_TRUE(m.EnableAlarm('L'));
    ASSERT_TRUE(m.SetHighLimit("+06.000"));
    EXPECT_EQ(Status(m), "2|01|00");
    ASSERT_TRUE(m.ClearAlarmLatch());
    EXPECT_EQ(Status(m), "2|00|00");
    ASSERT_TRUE(m.ReadHighLimit(out));
    EXPECT_EQ(out, "+06.000");
    ASSERT_TRUE(m.ReadLowLimit(out));
    EXPECT_EQ(out, "-05.000");
    EXPECT_FALSE(m.SetHighLimit("+5"));
    ASSERT_TRUE(m.DisableAlarm());
    ASSERT_TRUE(m.SetDO(3));
    EXPECT_EQ(Status(m), "0|03|00");
    EXPECT_FALSE(m.SetDO(4)); // two outputs only
    ASSERT_TRUE(m.ClearEventCounter());
    ASSERT_TRUE(m.ReadEventCounter(out));
    EXPECT_EQ(out, "00000");

    ASSERT_TRUE(m.ReadCJC(out));
    EXPECT_EQ(out, "+025.00");
    char sign;
    std::string hex;
    ASSERT_TRUE(EncodeCJCOffset(-1.0, sign, hex));
    ASSERT_TRUE(m.SetCJCOffset(sign, hex));
    ASSERT_TRUE(m.ReadCJC(out));
    EXPECT_EQ(out, "+024.00");
    EXPECT_FALSE(m.SetCJCOffset('+', "2B5D")); // beyond 99.9 degC

    // A range the model lacks is refused; one it has reads back.
    ASSERT_TRUE(m.ReadConfig());
    m.SetAddress("01");
    m.SetTypeCode("08");
    EXPECT_FALSE(m.WriteConfig());
    m.SetAddress("01");
    m.SetTypeCode("0F");
    ASSERT_TRUE(m.WriteConfig());
    ASSERT_TRUE(m.ReadConfig());
    EXPECT_EQ(m.TypeCode(), "0F");
}

TEST(AnalogSim, MultiChannelRangesEnableAndWatchdog) {
    SimBus sim("01 R270P value=100 burnout=02\n02 R270P value=100 format=02\n"
               "03 R260 type=08 value=1\n04 R270M\n");
    auto port = sim.Open(30);
    TavoMR270P m(port.get(), "01");
    std::string out;
    ASSERT_TRUE(m.SetChannelEnable(0x0F));
    ASSERT_TRUE(m.ReadChannelEnable(out));
    EXPECT_EQ(out, "0F");
    ASSERT_TRUE(m.SetChannelRange(3, 0x0E));
    ASSERT_TRUE(m.ReadChannelRange(3, out));
    EXPECT_EQ(out, "0E");
    EXPECT_FALSE(m.SetChannelRange(3, 0x08)); // not an R270P range
    ASSERT_TRUE(m.ReadChannelRange(3, out));
    EXPECT_EQ(out, "0E");
    ASSERT_TRUE(m.ReadAll(out));
    ASSERT_EQ(out.size(), 56u);
    EXPECT_EQ(out.substr(7, 7), "+888888");  // burnt-out channel 1
    EXPECT_EQ(out.substr(21, 7), "+0100.0"); // channel 3, thermocouple
    EXPECT_EQ(out.substr(28, 7), "+00.000"); // channel 4 is disabled
    ASSERT_TRUE(m.ReadChannel(3, out));
    EXPECT_EQ(out, "+0100.0");
    ASSERT_TRUE(m.ReadChannelStatus(out));
    EXPECT_EQ(out, "03001111"); // 100 mA is above the current ranges of channels 4..7
    ASSERT_TRUE(m.SetWDT(9999));
    ASSERT_TRUE(m.ReadWDT(out));
    EXPECT_EQ(out, "9999");

    m.SetAddress("02");
    ASSERT_TRUE(m.ReadAll(out));
    EXPECT_EQ(out.size(), 32u); // four hex digits a channel

    TavoMR260 r260(port.get(), "03");
    ASSERT_TRUE(r260.ReadChannel(5, out));
    EXPECT_EQ(out, "+01.000");
    EXPECT_FALSE(r260.SetChannelRange(0, 0x09)); // one range for all: set by the configuration
    ASSERT_TRUE(r260.ReadChannelRange(5, out));
    EXPECT_EQ(out, "08");

    TavoMR270M r270m(port.get(), "04");
    EXPECT_FALSE(r270m.ReadAll(out));
    EXPECT_FALSE(Send(*port, "#04").ok);
    ASSERT_TRUE(r270m.ReadChannel(0, out));
    EXPECT_EQ(out.size(), 7u);
}

TEST(AnalogSim, RtdAndThermistorModules) {
    SimBus sim("01 R240T value=100 format=08\n02 R240T value=25 format=01\n03 R230 type=22 value=0 "
               "format=03\n");
    auto port = sim.Open(30);
    TavoMR240T m(port.get(), "01");
    std::string out;
    ASSERT_TRUE(m.ReadChannel(0, out));
    EXPECT_EQ(out, "+212.00"); // degF
    char sign;
    std::string hex;
    ASSERT_TRUE(EncodeWireCompensation(12.34, sign, hex));
    ASSERT_TRUE(m.SetWireCompensation(1, sign, hex));
    ASSERT_TRUE(m.ReadWireCompensation(1, out));
    EXPECT_EQ(out, "007B");
    ASSERT_TRUE(m.SetWireCompensation(2, '-', "0010"));
    ASSERT_TRUE(m.ReadWireCompensation(2, out));
    double ohms = 0;
    ASSERT_TRUE(DecodeWireCompensation(out, ohms));
    EXPECT_DOUBLE_EQ(ohms, -1.6);
    EXPECT_FALSE(m.SetWireCompensation(6, '+', "0001")); // six channels
    EXPECT_TRUE(m.ZeroCalibrateChannel(2));
    EXPECT_FALSE(m.ZeroCalibrate()); // calibrated channel by channel
    EXPECT_TRUE(m.SendS0());
    EXPECT_TRUE(m.SendS1());

    m.SetAddress("02");
    ASSERT_TRUE(m.ReadChannel(0, out));
    EXPECT_EQ(out, "+3000.0"); // ohms of the 3K thermistor at 25 degC

    TavoMR230 r230(port.get(), "03");
    ASSERT_TRUE(r230.ReadAll(out));
    EXPECT_EQ(out, "+100.00"); // Pt100 at 0 degC, in ohms
}

TEST(AnalogSim, R810FilterBurnOutAndScan) {
    SimBus sim("01 R810\n");
    auto port = sim.Open(30);
    TavoMR810 m(port.get(), "01");
    std::string out;
    int rate = -1;
    ASSERT_TRUE(m.SetFilterRate(0x0F8));
    ASSERT_TRUE(m.ReadFilterRate(rate));
    EXPECT_EQ(rate, 0x0F8);
    EXPECT_FALSE(m.SetFilterRate(0x009)); // positions 0 to 8 only
    ASSERT_TRUE(m.SetBurnOut(1));
    ASSERT_TRUE(m.ReadBurnOut(out));
    EXPECT_EQ(out, "01");
    EXPECT_FALSE(m.SetBurnOut(3));
    ASSERT_TRUE(m.SetAT(2));
    ASSERT_TRUE(m.ReadAT(out));
    EXPECT_EQ(out, "02");
    ASSERT_TRUE(m.SetThermoMode(1));
    ASSERT_TRUE(m.ReadOD(out));
    EXPECT_EQ(out, "01");
    ASSERT_TRUE(m.Locate());
    ASSERT_TRUE(m.ReadMP(out));
    EXPECT_EQ(out.size(), 3u);
    ASSERT_TRUE(m.ReadMC(out));
    EXPECT_EQ(out, "0010");
    EXPECT_TRUE(m.SetChannelRange(7, 0x55));
    EXPECT_FALSE(m.SetChannelRange(7, 0x0E));
}

TEST(AnalogSim, ExcitationOutput) {
    SimBus sim("01 R250\n");
    auto port = sim.Open(30);
    TavoMR250 m(port.get(), "01");
    std::string out;
    ASSERT_TRUE(m.SetExcitation("05.000"));
    ASSERT_TRUE(m.ReadExcitation(out));
    EXPECT_EQ(out, "05.000");
    ASSERT_TRUE(m.TrimExcitation("0A"));
    ASSERT_TRUE(m.ReadExcitation(out));
    EXPECT_EQ(out, "04.999");
    EXPECT_FALSE(m.SetExcitation("11.000"));
    EXPECT_TRUE(m.SetStartupExcitation());
    EXPECT_TRUE(m.Calibrate0V());
    ASSERT_TRUE(m.SetDO(0x0F)); // four alarm outputs
    EXPECT_EQ(Status(m), "0|0F|00");
}

TEST(AnalogSim, SingleOutput) {
    SimBus sim("01 R310 type=31\n02 R310 type=31 format=01\n03 R310 type=31 format=02\n"
               "04 R310 type=31 format=04\n");
    auto port = sim.Open(30);
    TavoMR310 m(port.get(), "01");
    std::string out;
    ASSERT_TRUE(m.WriteOutput("12.000"));
    ASSERT_TRUE(m.ReadLastOutput(out));
    EXPECT_EQ(out, "12.000");
    ASSERT_TRUE(m.ReadReadback(out));
    EXPECT_EQ(out, "12.000");
    EXPECT_FALSE(m.WriteOutput("21.000"));
    EXPECT_FALSE(m.WriteOutput("03.000")); // below 4 mA
    ASSERT_TRUE(m.Trim("0A"));
    ASSERT_TRUE(m.ReadReadback(out));
    EXPECT_EQ(out, "11.985");
    EXPECT_TRUE(m.SetStartupToCurrent());

    m.SetAddress("02");
    ASSERT_TRUE(m.WriteOutput("+050.00"));
    ASSERT_TRUE(m.ReadLastOutput(out));
    EXPECT_EQ(out, "+050.00");
    m.SetAddress("03");
    ASSERT_TRUE(m.WriteOutput("7FF"));
    ASSERT_TRUE(m.ReadLastOutput(out));
    EXPECT_EQ(out, "7FF");

    // Slew rate 0.125 mA/s: the output is still near 4 mA right after the write.
    m.SetAddress("04");
    ASSERT_TRUE(m.WriteOutput("20.000"));
    ASSERT_TRUE(m.ReadReadback(out));
    EXPECT_LT(std::stod(out), 5.0);
    ASSERT_TRUE(m.ReadLastOutput(out));
    EXPECT_EQ(out, "20.000");

    ASSERT_TRUE(m.ReadConfig());
    m.SetAddress("04");
    m.SetTypeCode("33");
    EXPECT_FALSE(m.WriteConfig());
}

TEST(AnalogSim, FourChannelOutputEmergencyAndSafety) {
    SimBus sim("01 R330 di=02\n");
    auto port = sim.Open(30);
    TavoMR330 m(port.get(), "01");
    std::string out;
    ASSERT_TRUE(m.SetChannelRange(0, 0x32));
    ASSERT_TRUE(m.ReadChannelRange(0, out));
    EXPECT_EQ(out, "32");
    EXPECT_FALSE(m.SetChannelRange(0, 0x33));
    ASSERT_TRUE(m.WriteChannel(0, "-10.000"));
    ASSERT_TRUE(m.ReadChannelOutput(0, out));
    EXPECT_EQ(out, "-10.000");
    EXPECT_FALSE(m.WriteChannel(1, "+21.000")); // 4 - 20 mA
    ASSERT_TRUE(m.SetStartupValue(1, "+05.000"));
    ASSERT_TRUE(m.ReadStartupValue(1, out));
    EXPECT_EQ(out, "+05.000");
    ASSERT_TRUE(m.SetEmergencyValue(1, "+06.000"));
    ASSERT_TRUE(m.ReadEmergencyValue(1, out));
    EXPECT_EQ(out, "+06.000");
    ASSERT_TRUE(m.WriteChannel(1, "+12.000"));
    ASSERT_TRUE(m.SetEmergencyInput(1, true));
    ASSERT_TRUE(m.ReadEmergencyInput(1, out));
    EXPECT_EQ(out, "1");
    ASSERT_TRUE(m.ReadChannelOutput(1, out));
    EXPECT_EQ(out, "+06.000"); // DI1 is on
    ASSERT_TRUE(m.ReadDI(out));
    EXPECT_EQ(out, "02");
    ASSERT_TRUE(m.SetCommSafety(100));
    ASSERT_TRUE(m.ReadCommSafety(out));
    EXPECT_EQ(out, "0064");

    // A silence longer than the safety time drives every channel to its emergency value.
    ASSERT_TRUE(m.SetCommSafety(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ASSERT_TRUE(m.ReadChannelOutput(0, out));
    EXPECT_EQ(out, "+04.000");
    ASSERT_TRUE(m.WriteChannel(0, "+01.000"));
    ASSERT_TRUE(m.ReadChannelOutput(0, out));
    EXPECT_EQ(out, "+01.000");
}

TEST(AnalogSim, DataLoggerMemoryAndRecords) {
    SimBus sim("01 R270M type=00 value=12.5 stdrecords=3 eventrecords=2\n");
    auto port = sim.Open(30);
    TavoMR270M m(port.get(), "01");
    std::string out, kind, value, stamp;
    ASSERT_TRUE(m.ReadMemoryConfig(out));
    EXPECT_EQ(out, "FF120000A"); // all channels, record on, mixed, normal, 10 s
    ASSERT_TRUE(m.ReadStandardCount(out));
    EXPECT_EQ(out, "0003");
    ASSERT_TRUE(m.ReadEventCount(out));
    EXPECT_EQ(out, "0002");
    ASSERT_TRUE(m.ReadRecord(0, kind, value, stamp));
    EXPECT_EQ(kind, "0");
    EXPECT_EQ(value, "630D4"); // 12.500 mV
    EXPECT_EQ(stamp, "");
    ASSERT_TRUE(m.ReadRecord(0x1389, kind, value, stamp));
    EXPECT_EQ(stamp.size(), 8u);
    EXPECT_FALSE(m.ReadRecord(0x138A, kind, value, stamp));
    EXPECT_FALSE(m.ReadRecord(3, kind, value, stamp));

    ASSERT_TRUE(m.SetMemoryConfig("0F1100002")); // event mode: events from 0000
    ASSERT_TRUE(m.ReadMemoryConfig(out));
    EXPECT_EQ(out, "0F1100002");
    ASSERT_TRUE(m.ReadRecord(1, kind, value, stamp));
    EXPECT_EQ(stamp.size(), 8u);
    EXPECT_FALSE(m.SetMemoryConfig("0F1100001")); // interval below 2 s
    EXPECT_FALSE(m.SetMemoryConfig("0F13000A0"));

    ASSERT_TRUE(m.SetChannelAlarm(2, "+1007D", "-10005"));
    std::string high, low;
    ASSERT_TRUE(m.ReadChannelAlarm(2, high, low));
    EXPECT_EQ(high + low, "+1007D-10005");
    EXPECT_FALSE(m.SetChannelAlarm(2, "+6007D", "-10005")); // decimals digit 0 to 5

    ASSERT_TRUE(m.SetOperation(true));
    ASSERT_TRUE(m.ReadOperation(out));
    EXPECT_EQ(out, "1");
    ASSERT_TRUE(m.SetOperation(false));
    ASSERT_TRUE(m.ReadOperation(out));
    EXPECT_EQ(out, "0");
}

TEST(AnalogSim, LoopControllerOutputsAndParameters) {
    SimBus sim("01 R320T di=01\n");
    auto port = sim.Open(30);
    TavoMR320T m(port.get(), "01");
    std::string out, a, b;
    std::vector<std::int32_t> entries;

    ASSERT_TRUE(m.ReadParameters(0, 16, out));
    ASSERT_TRUE(ParseParameterEntries(out, 16, entries));
    EXPECT_EQ(entries[0], 1);      // loop 0 in Auto
    EXPECT_EQ(entries[10], 80000); // SV 80.000
    // The whole first half-table in one reply, beyond the usual 64 characters.
    ASSERT_TRUE(m.ReadParameters(0, TavoMR320T::kMaxParameterCount, out));
    EXPECT_TRUE(ParseParameterEntries(out, TavoMR320T::kMaxParameterCount, entries));

    ASSERT_TRUE(m.ReadOutputRange(0, out));
    EXPECT_EQ(out, "31");
    EXPECT_FALSE(m.SetOutputRange(0, 0x32)); // loop 0 is in Auto
    EXPECT_FALSE(m.WriteOutput(0, "05.000"));
    ASSERT_TRUE(m.WriteParameter(0, 0)); // Free
    ASSERT_TRUE(m.SetOutputRange(0, 0x32));
    ASSERT_TRUE(m.WriteOutput(0, "05.000"));
    ASSERT_TRUE(m.ReadOutputs(out));
    EXPECT_EQ(out.substr(0, 7), "+05.000");
    EXPECT_FALSE(m.WriteOutput(0, "11.000"));

    // PV is measured: a write of it is taken (a whole imported table can be written)
    // and changes nothing.
    EXPECT_TRUE(m.WriteParameter(18, 1));
    ASSERT_TRUE(m.ReadParameters(18, 1, out));
    EXPECT_NE(out, "00000001");
    EXPECT_FALSE(m.WriteParameter(10, 250000)); // above the SV limit
    ASSERT_TRUE(m.WriteParameter(10, 25500));
    ASSERT_TRUE(m.ReadParameters(10, 1, out));
    EXPECT_EQ(out, "0000639C");

    ASSERT_TRUE(m.SetOutputZero(0, 0x100));
    ASSERT_TRUE(m.ReadOutputZero(0, out));
    EXPECT_EQ(out, "100");
    EXPECT_FALSE(m.SetOutputZero(0, 0x600));
    ASSERT_TRUE(m.SetOutputSpan(1, 0xF80));
    ASSERT_TRUE(m.ReadOutputSpan(1, out));
    EXPECT_EQ(out, "F80");
    EXPECT_TRUE(m.TrimOutput(1, 0xF81));

    ASSERT_TRUE(m.WriteDO(1, true));
    ASSERT_TRUE(m.ReadDIO(a, b));
    EXPECT_TRUE(std::stoi(a, nullptr, 16) & 2);
    EXPECT_EQ(b, "01");
    ASSERT_TRUE(m.SetBACnet(5, 20001));
    ASSERT_TRUE(m.ReadBACnet(a, b));
    EXPECT_EQ(a + "|" + b, "05|004E21");

    ASSERT_TRUE(m.ReadAll(out));
    EXPECT_EQ(out.size(), 28u);
    ASSERT_TRUE(m.ReadStatusB(out));
    EXPECT_EQ(out.size(), 4u);
    ASSERT_TRUE(m.SetChannelRange(2, 0x2A));
    EXPECT_FALSE(m.SetChannelRange(2, 0x0E)); // no thermocouples
}

TEST(AnalogSim, MalformedAndForeignCommandsAreRefused) {
    SimBus sim("01 R270P\n02 R330\n03 R210D\n04 R320T\n05 R310\n");
    auto port = sim.Open(30);
    const std::pair<const char*, const char*> refused[] = {
        {"$01ZZ", "?01"},        {"$018C9", "?01"},
        {"$017C0R", "?01"},      {"$015FFF", "?01"},
        {"$01X99", "?01"},       {"@01EAM", "?01"},
        {"#02C4+01.000", "?02"}, {"#02C0+1.0.0", "?02"},
        {"$02X0ZZZZ", "?02"},    {"$02AC02", "?02"},
        {"@03HI+5", "?03"},      {"@03DO0G", "?03"},
        {"$039+ZZZZ", "?03"},    {"$030C0", "?03"},
        {"#04PR0080", "?04"},    {"#04PWZZ00000000", "?04"},
        {"#04112", "?04"},       {"$04S20000000", "?04"},
        {"#05", "?05"},          {"#05ABC", "?05"},
        {"$053F", "?05"},
    };
    for (const auto& [command, reply] : refused) {
        const auto r = Send(*port, command);
        EXPECT_FALSE(r.ok) << command;
        EXPECT_EQ(r.reply, std::string(reply) + "\r") << command;
    }
}

// ---- Behaviour over time, on a module driven with chosen clock readings -------------

class TimedModule {
public:
    explicit TimedModule(const std::string& designation,
                         std::map<std::string, std::string> options = {}) {
        sim::ModuleConfig config;
        config.designation = designation;
        config.options = std::move(options);
        module_ = sim::MakeModule(config);
    }
    // The reply (without CR) to `line` arriving `seconds` after power-up.
    std::string At(double seconds, const std::string& line) {
        const auto at = t0_ + std::chrono::duration_cast<sim::SimClock::duration>(
                                  std::chrono::duration<double>(seconds));
        return module_->OnAsciiLine(line, at).value_or("(silent)");
    }

private:
    std::unique_ptr<sim::SimModule> module_;
    sim::TimePoint t0_ = sim::SimClock::now();
};

TEST(AnalogSimTime, EventCounterCountsRisingEdgesOfDI0) {
    TimedModule m("R210D", {{"value", "1"}});
    EXPECT_EQ(m.At(0, "@01CE"), "!01");
    EXPECT_EQ(m.At(1, "@01DI"), "!0100000");
    EXPECT_EQ(m.At(3, "@01DI"), "!0100001");  // DI0 high from 2 s to 4 s
    EXPECT_EQ(m.At(10, "@01RE"), "!0100003"); // edges at 2, 6 and 10 s
}

TEST(AnalogSimTime, OutputFollowsItsSlewRate) {
    TimedModule m("R310");
    EXPECT_EQ(m.At(0, "%0101310604"), "!01"); // 4~20 mA, slew 0.125 mA/s
    EXPECT_EQ(m.At(0, "#0120.000"), "!01");
    EXPECT_EQ(m.At(8, "$018"), "!0105.000");
    EXPECT_EQ(m.At(200, "$018"), "!0120.000");
}

TEST(AnalogSimTime, LoggerRecordsWhileRecording) {
    TimedModule m("R270M", {{"value", "1"}, {"stdrecords", "0"}, {"eventrecords", "0"}});
    EXPECT_EQ(m.At(0, "@01C031000002"), "!01"); // channels 0, 1; standard; 2 s
    EXPECT_EQ(m.At(0, "@01S1"), "!01");
    EXPECT_EQ(m.At(10, "@01N"), "!01000A");       // five samples of two channels
    EXPECT_EQ(m.At(10, "@01R0009"), "!01182710"); // channel 1, 1.0000 mV
    EXPECT_EQ(m.At(11, "@01S0"), "!01");
    EXPECT_EQ(m.At(60, "@01N"), "!01000A");
}

TEST(AnalogSimTime, LoopControllerBringsPVToTheSetPoint) {
    TimedModule m("R320T");
    const auto pv = [&](double at) {
        const std::string reply = m.At(at, "#01PR1201");
        return std::stoul(reply.substr(1), nullptr, 16) / 1000.0;
    };
    EXPECT_NEAR(pv(0), 25.0, 0.5);
    EXPECT_NEAR(pv(600), 80.0, 2.0); // SV of loop 0
    // Manual loop 1: its PV settles where its fixed MV (30 %) drives it.
    const std::string loop1 = m.At(600, "#01PR9201");
    EXPECT_NEAR(std::stoul(loop1.substr(1), nullptr, 16) / 1000.0, 68.0, 1.0);
}

} // namespace
} // namespace tavo

namespace tavo {
namespace {

TEST(AnalogSimTime, ChannelPatternsStepByReadingOrByTime) {
    TimedModule m("R270P", {{"pattern6", "1,2"}, {"pattern7", "4/500,20/500"}, {"value", "5"}});
    // Channel 6 steps one value a reading, channel 7 holds each value 500 ms; the
    // others stay at the value for all channels.
    EXPECT_EQ(m.At(0.0, "#016"), ">+01.000");
    EXPECT_EQ(m.At(0.1, "#016"), ">+02.000");
    EXPECT_EQ(m.At(0.2, "#017"), ">+04.000");
    EXPECT_EQ(m.At(0.7, "#017"), ">+20.000");
    EXPECT_EQ(m.At(1.2, "#01"), ">+0005.0+0005.0+0005.0+0005.0+05.000+05.000+01.000+04.000");
}

TEST(AnalogSimTime, BurnOutOnlyOnTemperatureChannelsInEveryFormat) {
    // Channels 0 (K thermocouple) and 6 (current) are open: only 0 can tell.
    TimedModule m("R270P", {{"burnout", "41"}, {"value", "5"}});
    EXPECT_EQ(m.At(0, "#01"), ">+888888+0005.0+0005.0+0005.0+05.000+05.000+05.000+05.000");
    EXPECT_EQ(m.At(0.1, "%0101000602"), "!01");
    EXPECT_EQ(m.At(0.2, "#01"), ">+888888007800D800D82000200020002000");
    EXPECT_EQ(m.At(0.3, "$01B"), "!0130000000");
}

TEST(AnalogSimTime, FilterScanTimeAndSamplingRateByIntegrationChoice) {
    TimedModule m("R810", {{"scanms", "1000"}});
    EXPECT_EQ(m.At(0, "#01MM"), "!01");
    EXPECT_EQ(m.At(0.5, "$01MP"), "!01050");
    EXPECT_EQ(m.At(1.5, "$01MP"), "!01100");
    EXPECT_EQ(m.At(1.6, "$01MC"), "!010010");
    EXPECT_EQ(m.At(1.7, "%0101000680"), "!01"); // "Auto Filter"
    EXPECT_EQ(m.At(1.8, "$01MC"), "!010012");
    EXPECT_EQ(m.At(1.9, "%0101000620"), "!01"); // "High Speed"
    EXPECT_EQ(m.At(2.0, "$01MC"), "!010060");
}

TEST(AnalogSim, BusFilePatternsAreChecked) {
    for (const char* text :
         {"01 R270P pattern3=1,x\n", "01 R270P pattern3=1/500,2\n", "01 R270P pattern3=\n",
          "01 R270P pattern3=1,\n", "01 R270P pattern9=1\n", "01 R270P pattern0=1/0\n"}) {
        sim::Bus bus;
        std::string error;
        EXPECT_FALSE(sim::LoadBusText(text, bus, error)) << text;
        EXPECT_EQ(error.rfind("line 1: ", 0), 0u) << error;
    }
    sim::Bus bus;
    std::string error;
    EXPECT_TRUE(
        sim::LoadBusText("01 R270P pattern=1,2 pattern7=3/100,4/100 scanms=0\n", bus, error))
        << error;
}

} // namespace
} // namespace tavo
