// The K-series rack, Z-series and R910 command classes: the bytes they send and how
// they cut replies (against a scripted peer), and round trips against the simulator.
#include "devices/k_series.h"
#include "devices/r910.h"
#include "devices/z_series.h"
#include "sim/models.h"
#include "support/pty_peer.h"
#include "support/sim_bus.h"
#include "transport/modbus.h"

#include <gtest/gtest.h>

#include <functional>

namespace tavo {
namespace {

using test::ScriptedPeer;
using test::SimBus;

// One object of every class, on one port: rack 01 with a K230P in S2, a K310 in S1,
// a K510 in S4 and a K710 in S5; a Z320 in S0 of rack 01; a Z350 at 03; an R910 at 04.
struct Rig {
    explicit Rig(TavoComPort* p)
        : ai(p, "01", "S2"), ao(p, "01", "S1"), dio(p, "01", "S4"), counter(p, "01", "S5"),
          rack(p, "01"), zio(p, "01", "S0"), zel(p, "03"), conv(p, "04") {}
    TavoMK230P ai;
    TavoMK310 ao;
    TavoMK510 dio;
    TavoMK710 counter;
    TavoMK100 rack;
    ZelMZ320 zio;
    ZelMZ350 zel;
    TavoMR910 conv;
};

// An operation, the replies the peer gives, the request lines it must see (all of
// them, CRs included; empty: nothing may be sent), the result and the output.
struct Row {
    const char* what;
    std::function<bool(Rig&, std::string&)> op;
    std::vector<std::string> replies;
    std::string request;
    bool ok;
    std::string out;
};

std::string Pair(const std::string& a, const std::string& b) { return a + "|" + b; }

void RunRows(const std::vector<Row>& rows) {
    ScriptedPeer peer;
    for (const auto& row : rows)
        for (const auto& reply : row.replies) peer.Then(reply);
    TavoComPort port(peer.path());
    ASSERT_TRUE(port.OpenPort());
    port.SetTimeOut(2000); // every request is answered: a long time-out costs nothing
    Rig rig(&port);
    for (const auto& row : rows) {
        const std::size_t before = peer.Requests().size();
        std::string out;
        const bool ok = row.op(rig, out);
        const auto requests = peer.Requests();
        std::string sent;
        for (std::size_t i = before; i < requests.size(); ++i)
            sent.append(requests[i].begin(), requests[i].end());
        EXPECT_EQ(sent, row.request) << row.what;
        EXPECT_EQ(ok, row.ok) << row.what;
        EXPECT_EQ(out, row.out) << row.what; // failures leave it alone
    }
}

// Tables keep one row to a line or two.
// clang-format off
TEST(KSlotWire, AnalogInputAndAlarmCommands) {
    RunRows({
        {"slot config", [](Rig& r, std::string& o) {
             if (!r.ai.ReadSlotConfig()) return false;
             o = r.ai.SlotType() + r.ai.SlotFormat();
             return true;
         }, {"!010E80\r"}, "$01S2B\r", true, "0E80"},
        {"format bit 7 from the held code",
         [](Rig& r, std::string& o) { return r.ai.GetFormatBit7(o); },
         {}, "", true, "1"},
        {"slot config write", [](Rig& r, std::string&) {
             r.ai.SetSlotType("0F");
             r.ai.SetFormatBits10("11");
             return r.ai.WriteSlotConfig();
         }, {"!01\r"}, "$01S2A0F83\r", true, ""},
        {"channel config write", [](Rig& r, std::string&) { return r.ai.WriteChannelConfig(3); },
         {"!01\r"}, "$01S2C3A0F83\r", true, ""},
        {"channel config reply too short",
         [](Rig& r, std::string&) { return r.ai.ReadChannelConfig(3); },
         {"!010F8\r"}, "$01S2C3B\r", false, ""},
        {"channel config reply not hex",
         [](Rig& r, std::string&) { return r.ai.ReadChannelConfig(3); },
         {"!010G80\r"}, "$01S2C3B\r", false, ""},
        {"all channels", [](Rig& r, std::string& o) { return r.ai.ReadAll(o); },
         {">+01.000+02.000\r"}, "#01S2\r", true, "+01.000+02.000"},
        {"a value must come with '>'",
         [](Rig& r, std::string& o) { return r.ai.ReadChannel(5, o); },
         {"!01+01.000\r"}, "#01S2C5\r", false, ""},
        {"empty value", [](Rig& r, std::string& o) { return r.ai.ReadChannel(5, o); },
         {">\r"}, "#01S2C5\r", true, ""},
        {"enable mask", [](Rig& r, std::string&) { return r.ai.SetChannelEnable(0x7F); },
         {"!01\r"}, "$01S257F\r", true, ""},
        {"enable mask out of range",
         [](Rig& r, std::string&) { return r.ai.SetChannelEnable(0x100); },
         {}, "", false, ""},
        {"enable mask read", [](Rig& r, std::string& o) { return r.ai.ReadChannelEnable(o); },
         {"!017F\r"}, "$01S26\r", true, "7F"},
        {"span", [](Rig& r, std::string&) { return r.ai.SpanCalibrate(); },
         {"!01\r"}, "$01S20\r", true, ""},
        {"zero", [](Rig& r, std::string&) { return r.ai.ZeroCalibrate(); },
         {"!01\r"}, "$01S21\r", true, ""},
        {"channel span", [](Rig& r, std::string&) { return r.ai.SpanCalibrateChannel(4); },
         {"!01\r"}, "$01S2C40\r", true, ""},
        {"channel zero", [](Rig& r, std::string&) { return r.ai.ZeroCalibrateChannel(4); },
         {"!01\r"}, "$01S2C47\r", true, ""},
        {"channel 16 is refused",
         [](Rig& r, std::string&) { return r.ai.ZeroCalibrateChannel(16); },
         {}, "", false, ""},
        {"CJC offset", [](Rig& r, std::string&) { return r.ai.SetCJCOffset('-', "006F"); },
         {"!01\r"}, "$01S29-006F\r", true, ""},
        {"CJC offset with a bad sign",
         [](Rig& r, std::string&) { return r.ai.SetCJCOffset(' ', "006F"); },
         {}, "", false, ""},
        {"CJC read", [](Rig& r, std::string& o) { return r.ai.ReadCJC(o); },
         {">+025.30\r"}, "$01S23\r", true, "+025.30"},
        {"AV read puts 0 for S, once", [](Rig& r, std::string& o) {
             std::string a, b;
             if (!r.ai.ReadAV(a, b)) return false;
             o = Pair(a, b) + "|" + r.ai.Slot();
             return true;
         }, {"!01 +025.000 +000.500\r"}, "$01AV02FF\r", true, "+025.000|+000.500|S2"},
        {"AV reply one value short", [](Rig& r, std::string& o) { return r.ai.ReadAV(o, o); },
         {"!01 +025.000 +000.5\r"}, "$01AV02FF\r", false, ""},
        {"AT write and read",
         [](Rig& r, std::string& o) { return r.ai.SetAT("3") && r.ai.ReadAT(o); },
         {"!01\r", "!013\r"}, "#01S2AT3\r$01S2AT\r", true, "3"},
        {"alarm mode", [](Rig& r, std::string&) { return r.ai.SetAlarmMode(3, 'H', 'L'); },
         {"!01\r"}, "$01S2C3AHL\r", true, ""},
        {"alarm enable", [](Rig& r, std::string&) { return r.ai.EnableAlarm(3, 'L'); },
         {"!01\r"}, "$01S2C3ALEE\r", true, ""},
        {"alarm disable", [](Rig& r, std::string&) { return r.ai.DisableAlarm(3, 'H'); },
         {"!01\r"}, "$01S2C3AHED\r", true, ""},
        {"clear latch", [](Rig& r, std::string&) { return r.ai.ClearAlarmLatch(3, 'L'); },
         {"!01\r"}, "$01S2C3CL\r", true, ""},
        {"map to slot 5 output 10",
         [](Rig& r, std::string&) { return r.ai.ConnectAlarm(3, 'H', 5, 10); },
         {"!01\r"}, "$01S2C3AHCS5CA\r", true, ""},
        {"unmap", [](Rig& r, std::string&) { return r.ai.DisconnectAlarm(3, 'L'); },
         {"!01\r"}, "$01S2C3ALCS*C*\r", true, ""},
        {"map to slot 8 is refused",
         [](Rig& r, std::string&) { return r.ai.ConnectAlarm(3, 'H', 8, 0); },
         {}, "", false, ""},
        {"alarm X is refused", [](Rig& r, std::string&) { return r.ai.SetAlarmMode(3, 'X', 'M'); },
         {}, "", false, ""},
        {"limit", [](Rig& r, std::string&) { return r.ai.SetAlarmLimit(3, 'H', "+015.000"); },
         {"!01\r"}, "$01S2C3AHU+015.000\r", true, ""},
        {"limit read", [](Rig& r, std::string& o) { return r.ai.ReadAlarmLimit(3, 'L', o); },
         {"!01-005.000\r"}, "$01S2C3RLU\r", true, "-005.000"},
        {"mode read", [](Rig& r, std::string& o) { return r.ai.ReadAlarmMode(3, 'H', o); },
         {"!01L\r"}, "$01S2C3AH\r", true, "L"},
        {"connection read", [](Rig& r, std::string& o) {
             std::string s, out;
             if (!r.ai.ReadAlarmConnection(3, 'H', s, out)) return false;
             o = Pair(s, out);
             return true;
         }, {"!01S5CA\r"}, "$01S2C3RHC\r", true, "5|A"},
        {"connection reply short",
         [](Rig& r, std::string& o) { return r.ai.ReadAlarmConnection(3, 'H', o, o); },
         {"!01S5C\r"}, "$01S2C3RHC\r", false, ""},
        {"status", [](Rig& r, std::string& o) {
             std::string h, l;
             if (!r.ai.ReadAlarmStatus(3, h, l)) return false;
             o = Pair(h, l);
             return true;
         }, {"!0110\r"}, "$01S2C3S\r", true, "1|0"},
        {"status reply short", [](Rig& r, std::string& o) { return r.ai.ReadAlarmStatus(3, o, o); },
         {"!011\r"}, "$01S2C3S\r", false, ""},
    });
}

TEST(KSlotWire, OutputCounterAndDigitalCommands) {
    RunRows({
        {"AO value", [](Rig& r, std::string&) { return r.ao.WriteChannel(2, "04.500"); },
         {"!01\r"}, "#01S1C204.500\r", true, ""},
        {"AO start-up", [](Rig& r, std::string&) { return r.ao.SetStartupToCurrent(0); },
         {"!01\r"}, "$01S1C04\r", true, ""},
        {"AO 4 mA", [](Rig& r, std::string&) { return r.ao.Calibrate4mAChannel(1); },
         {"!01\r"}, "$01S1C10\r", true, ""},
        {"AO 20 mA", [](Rig& r, std::string&) { return r.ao.Calibrate20mAChannel(1); },
         {"!01\r"}, "$01S1C11\r", true, ""},
        {"AO trim", [](Rig& r, std::string&) { return r.ao.Trim(1, "F6"); },
         {"!01\r"}, "$01S1C13F6\r", true, ""},
        {"AO trim not hex", [](Rig& r, std::string&) { return r.ao.Trim(1, "G6"); },
         {}, "", false, ""},
        {"AO read back", [](Rig& r, std::string& o) { return r.ao.ReadLastOutput(2, o); },
         {"!0104.500\r"}, "$01S1C26\r", true, "04.500"},
        {"a value with a CR is never sent",
         [](Rig& r, std::string&) { return r.ao.WriteChannel(2, "1\r#01"); },
         {}, "", false, ""},
        {"filter scale", [](Rig& r, std::string&) { return r.counter.SetFilterScale(100); },
         {"!01\r"}, "$01S5000100\r", true, ""},
        {"filter scale read", [](Rig& r, std::string& o) { return r.counter.ReadFilterScale(o); },
         {"!0100100\r"}, "$01S50\r", true, "00100"},
        {"start", [](Rig& r, std::string&) { return r.counter.SetCounting(2, true); },
         {"!01\r"}, "$01S5C251\r", true, ""},
        {"counting read", [](Rig& r, std::string& o) { return r.counter.ReadCounting(2, o); },
         {"!011\r"}, "$01S5C25\r", true, "1"},
        {"clear", [](Rig& r, std::string&) { return r.counter.ClearCounter(0); },
         {"!01\r"}, "$01S5C06\r", true, ""},
        {"preset", [](Rig& r, std::string&) { return r.counter.SetPreset(1, "0000001000"); },
         {"!01\r"}, "@01S5C1P0000001000\r", true, ""},
        {"preset read", [](Rig& r, std::string& o) { return r.counter.ReadPreset(1, o); },
         {"!010000001000\r"}, "@01S5C1G\r", true, "0000001000"},
        {"count", [](Rig& r, std::string& o) { return r.counter.ReadCount(3, o); },
         {">0000000042\r"}, "#01S5C3\r", true, "0000000042"},
        {"overflow", [](Rig& r, std::string& o) { return r.counter.ReadOverflowFlags(o); },
         {"!0101\r"}, "$01S57\r", true, "01"},
        {"counter alarm shares the family",
         [](Rig& r, std::string&) { return r.counter.EnableAlarm(0, 'H'); },
         {"!01\r"}, "$01S5C0AHEE\r", true, ""},
        {"DIO", [](Rig& r, std::string& o) { return r.dio.ReadDIO(o); },
         {"!01A500\r"}, "$01S46\r", true, "A500"},
        {"DO by parts", [](Rig& r, std::string&) { return r.dio.WriteDO("1A", "01"); },
         {"!01\r"}, "#01S41A01\r", true, ""},
        {"DO channel 10 on", [](Rig& r, std::string&) { return r.dio.WriteDOChannel(10, true); },
         {"!01\r"}, "#01S41A01\r", true, ""},
        {"DO channel 16", [](Rig& r, std::string&) { return r.dio.WriteDOChannel(16, true); },
         {}, "", false, ""},
        {"DIP switch", [](Rig& r, std::string& o) { return r.dio.ReadDIPSwitch(o); },
         {"!01FF00\r"}, "$01S47\r", true, "FF00"},
        {"alarm mask", [](Rig& r, std::string& o) { return r.dio.ReadAlarmMask(o); },
         {"!010004\r"}, "$01S4M\r", true, "0004"},
        {"watchdog outputs: selector after X", [](Rig& r, std::string& o) {
             return r.dio.ReadWatchdogOutputs(o);
         }, {"!0100FF\r"}, "$01XS4\r", true, "00FF"},
        {"watchdog outputs write",
         [](Rig& r, std::string&) { return r.dio.SetWatchdogOutputs(0xFF); },
         {"!01\r"}, "$01XS4D00FF\r", true, ""},
        {"selector S8", [](Rig& r, std::string& o) {
             r.dio.SetSlot("S8");
             return r.dio.ReadDIO(o);
         }, {}, "", false, ""},
        {"address not hex", [](Rig& r, std::string& o) {
             r.dio.SetSlot("S4");
             r.dio.SetAddress("G1");
             return r.dio.ReadDIO(o);
         }, {}, "", false, ""},
    });
}

TEST(KRackWire, ControllerCommands) {
    RunRows({
        {"system config", [](Rig& r, std::string& o) {
             if (!r.rack.ReadSystemConfig()) return false;
             o = r.rack.BaudCode() + r.rack.FormatCode();
             return true;
         }, {"!010640\r"}, "$012\r", true, "0640"},
        {"system config short", [](Rig& r, std::string&) { return r.rack.ReadSystemConfig(); },
         {"!01064\r"}, "$012\r", false, ""},
        {"update: read, set, write", [](Rig& r, std::string&) {
             return r.rack.UpdateSystemConfig("08", '1', '1');
         }, {"!010600\r", "!01\r"}, "$012\r%01000844\r", true, ""},
        {"update keeps what is not given", [](Rig& r, std::string&) {
             return r.rack.UpdateSystemConfig("", 0, '0');
         }, {"!010A44\r", "!01\r"}, "$012\r%01000A40\r", true, ""},
        {"slot table of four slots", [](Rig& r, std::string& o) { return r.rack.ReadSlotTable(o); },
         {"!01222H2UAI\r"}, "$01T\r", true, "222H2UAI"},
        {"designations without a transaction", [](Rig& r, std::string& o) {
             std::string d;
             for (int i = 0; i < 4; ++i) {
                 if (!r.rack.GetSlotDesignation(i, d)) return false;
                 o += d + " ";
             }
             return true;
         }, {}, "", true, "K220 K220H K220UH K0AI "},
        {"slot 5 of four: no transaction",
         [](Rig& r, std::string& o) { return r.rack.GetSlotCode(5, o); },
         {}, "", false, ""},
        {"slot table with garbage", [](Rig& r, std::string& o) { return r.rack.ReadSlotTable(o); },
         {"!0122 1\r"}, "$01T\r", false, ""},
        {"slot table of nine slots", [](Rig& r, std::string& o) { return r.rack.ReadSlotTable(o); },
         {"!01222222222222222222\r"}, "$01T\r", false, ""},
        {"eight slots, empty slot 1", [](Rig& r, std::string& o) {
             std::string t;
             if (!r.rack.ReadSlotTable(t) || r.rack.GetSlotDesignation(1, o)) return false;
             return r.rack.GetSlotDesignation(7, o);
         }, {"!0171FF313151526263\r"}, "$01T\r", true, "K630"},
        {"slot name: no address in the reply",
         [](Rig& r, std::string& o) { return r.rack.ReadSlotName(2, o); },
         {"!Tavo-K230P\r"}, "$01S2N\r", true, "Tavo-K230P"},
        {"slot info 0", [](Rig& r, std::string& o) { return r.rack.ReadSlotInfo0(2, o); },
         {"!thermocouple\r"}, "$01S2N0\r", true, "thermocouple"},
        {"channel count", [](Rig& r, std::string& o) { return r.rack.ReadSlotInfo1(2, o); },
         {"!07\r"}, "$01S2N1\r", true, "07"},
        {"slot info 2", [](Rig& r, std::string& o) { return r.rack.ReadSlotInfo2(7, o); },
         {"!A1.00\r"}, "$01S7N2\r", true, "A1.00"},
        {"slot name of slot 8", [](Rig& r, std::string& o) { return r.rack.ReadSlotName(8, o); },
         {}, "", false, ""},
        {"watchdog time", [](Rig& r, std::string& o) { return r.rack.ReadWatchdogTime(o); },
         {"!0110\r"}, "$01XR\r", true, "10"},
        {"watchdog mask", [](Rig& r, std::string& o) { return r.rack.ReadWatchdogMask(o); },
         {"!0103\r"}, "$01XER\r", true, "03"},
        {"watchdog time write", [](Rig& r, std::string&) { return r.rack.SetWatchdogTime(10); },
         {"!01\r"}, "$01X0010\r", true, ""},
        {"watchdog time 10000", [](Rig& r, std::string&) { return r.rack.SetWatchdogTime(10000); },
         {}, "", false, ""},
        {"watchdog mask write", [](Rig& r, std::string&) { return r.rack.SetWatchdogMask(0x81); },
         {"!01\r"}, "$01XEW81\r", true, ""},
        {"map entry", [](Rig& r, std::string& o) {
             int s = 0, l = 0;
             if (!r.rack.ReadMapEntry(2, s, l)) return false;
             o = std::to_string(s) + "," + std::to_string(l);
             return true;
         }, {"!019C414\r"}, "$01PN02FF\r", true, "40001,4"},
        {"map entry short",
         [](Rig& r, std::string&) { int s, l; return r.rack.ReadMapEntry(2, s, l); },
         {"!019C41\r"}, "$01PN02FF\r", false, ""},
        {"map entry long",
         [](Rig& r, std::string&) { int s, l; return r.rack.ReadMapEntry(2, s, l); },
         {"!019C4145\r"}, "$01PN02FF\r", false, ""},
        {"map entry not hex",
         [](Rig& r, std::string&) { int s, l; return r.rack.ReadMapEntry(2, s, l); },
         {"!019X414\r"}, "$01PN02FF\r", false, ""},
        {"map entry of slot 8 is not read",
         [](Rig& r, std::string&) { int s, l; return r.rack.ReadMapEntry(8, s, l); },
         {}, "", false, ""},
        {"map entry write", [](Rig& r, std::string&) { return r.rack.WriteMapEntry(7, 40001, 4); },
         {"!01\r"}, "#01PN07FF9C414\r", true, ""},
        {"map entry of slot 8 is not written",
         [](Rig& r, std::string&) { return r.rack.WriteMapEntry(8, 1, 4); },
         {}, "", false, ""},
        {"map mode", [](Rig& r, std::string& o) { return r.rack.ReadMapMode(o); },
         {"!0101\r"}, "$01PD\r", true, "01"},
        {"activate", [](Rig& r, std::string&) { return r.rack.ActivateMap(); },
         {"!01\r"}, "#01PD\r", true, ""},
    });
}

TEST(ZSeriesWire, ControllerAndIOModule) {
    RunRows({
        {"AI type", [](Rig& r, std::string&) {
             r.zio.SetChannelType("0D");
             return r.zio.SetAIType(2);
         }, {"!01\r"}, "$01S0C2AI0DFF\r", true, ""},
        {"AO type", [](Rig& r, std::string&) {
             r.zio.SetChannelType("01");
             return r.zio.SetAOType(1);
         }, {"!01\r"}, "$01S0C1AO01FF\r", true, ""},
        {"AI type read", [](Rig& r, std::string& o) {
             return r.zio.ReadAIType(2) && r.zio.GetChannelType(o);
         }, {"!010700\r"}, "$01S0C2AI\r", true, "07"},
        {"AI type read short", [](Rig& r, std::string&) { return r.zio.ReadAIType(2); },
         {"!0107\r"}, "$01S0C2AI\r", false, ""},
        {"DO", [](Rig& r, std::string&) { return r.zio.WriteDO(3, true); },
         {"!01\r"}, "#01S01301\r", true, ""},
        {"DIO halves", [](Rig& r, std::string& o) {
             std::string a, b;
             if (!r.zio.ReadDIO(a, b)) return false;
             o = Pair(a, b);
             return true;
         }, {"!0103A5\r"}, "$01S06\r", true, "03|A5"},
        {"DIO short", [](Rig& r, std::string& o) { return r.zio.ReadDIO(o, o); },
         {"!0103A\r"}, "$01S06\r", false, ""},
        {"AO zero", [](Rig& r, std::string&) { return r.zio.ZeroCalibrateOutput(2); },
         {"!01\r"}, "$01S0C24\r", true, ""},
        {"AO span", [](Rig& r, std::string&) { return r.zio.SpanCalibrateOutput(2); },
         {"!01\r"}, "$01S0C21\r", true, ""},
        {"Z slot table", [](Rig& r, std::string& o) {
             std::string t, d;
             if (!r.zel.ReadSlotTable(t)) return false;
             for (int i = 0; i < 4; ++i) o += (r.zel.GetSlotDesignation(i, d) ? d : "-") + " ";
             return true;
         }, {"!033231FF99\r"}, "$03T\r", true, "Z320 Z310 - Z990 "},
        {"protocol", [](Rig& r, std::string& o) { return r.zel.ReadProtocol(o); },
         {"!03BAC\r"}, "$03KW\r", true, "BAC"},
        {"protocol write", [](Rig& r, std::string&) { return r.zel.SetProtocol("MOD"); },
         {"!03\r"}, "$03KWMOD\r", true, ""},
        {"device instance", [](Rig& r, std::string& o) { return r.zel.ReadDeviceInstance(o); },
         {"!0300015E\r"}, "$03BAC\r", true, "00015E"},
        {"device instance highest",
         [](Rig& r, std::string&) { return r.zel.SetDeviceInstance(4194303); },
         {"!03\r"}, "$03BAC3FFFFF\r", true, ""},
        {"device instance 4194304",
         [](Rig& r, std::string&) { return r.zel.SetDeviceInstance(4194304); },
         {}, "", false, ""},
    });
}

TEST(R910Wire, ConfigurationStringAndSettings) {
    RunRows({
        {"configuration", [](Rig& r, std::string& o) {
             return r.conv.ReadConverterConfig() && r.conv.GetConfigString(o);
         }, {"!040066A103\r"}, "$042\r", true, "040066A103"},
        {"fields from the kept copy", [](Rig& r, std::string& o) {
             int b = 0, f = 0;
             bool non = false, rs485 = false, cr = false;
             if (!r.conv.GetRS232Baud(b) || !r.conv.GetFormatByte(f) ||
                 !r.conv.GetNonAddressable(non) || !r.conv.GetRS485(rs485) || !r.conv.GetAddCR(cr))
                 return false;
             o = std::to_string(b) + std::to_string(f) + (non ? " non-addressable" : "") +
                 (rs485 ? " RS-485" : "") + (cr ? " CR" : "");
             return true;
         }, {}, "", true, "63 non-addressable RS-485 CR"},
        {"address and fields written from the old address", [](Rig& r, std::string& o) {
             r.conv.SetAddress("05");
             if (!r.conv.SetNonAddressable(false) || !r.conv.SetRS232Baud(10) ||
                 !r.conv.WriteConverterConfig())
                 return false;
             o = r.conv.Address();
             return r.conv.GetConfigString(o);
         }, {"!04\r"}, "%040500A62103\r", true, "0500A62103"},
        {"baud code 11 is refused", [](Rig& r, std::string&) { return r.conv.SetRS485Baud(11); },
         {}, "", false, ""},
        {"unreadable baud code", [](Rig& r, std::string&) {
             r.conv.ClearConverterConfig();
             return r.conv.ReadConverterConfig();
         }, {"!0500060003\r"}, "$052\r", false, ""},
        {"configuration short", [](Rig& r, std::string&) { return r.conv.ReadConverterConfig(); },
         {"!050066A10\r"}, "$052\r", false, ""},
        {"no configuration held: nothing written", [](Rig& r, std::string&) {
             return r.conv.WriteConverterConfig();
         }, {}, "", false, ""},
        {"identification", [](Rig& r, std::string&) { return r.conv.SetIdentification("Line 3"); },
         {"!05\r"}, "$056Line 3\r", true, ""},
        {"identification of 25 characters", [](Rig& r, std::string&) {
             return r.conv.SetIdentification(std::string(25, 'x'));
         }, {}, "", false, ""},
        {"identification read", [](Rig& r, std::string& o) { return r.conv.ReadIdentification(o); },
         {"!05Line 3\r"}, "$057\r", true, "Line 3"},
        {"delimiter", [](Rig& r, std::string&) { return r.conv.SetDelimiter('['); },
         {"!05\r"}, "$05C[\r", true, ""},
        {"delimiter a", [](Rig& r, std::string&) { return r.conv.SetDelimiter('a'); },
         {}, "", false, ""},
        {"delimiter read", [](Rig& r, std::string& o) { return r.conv.ReadDelimiter(o); },
         {"!05[\r"}, "$05D\r", true, "["},
        {"gate time 65535", [](Rig& r, std::string&) { return r.conv.SetGateTime(65535); },
         {"!05\r"}, "$053FFFF\r", true, ""},
        {"gate time 65536", [](Rig& r, std::string&) { return r.conv.SetGateTime(65536); },
         {}, "", false, ""},
        {"gate time read", [](Rig& r, std::string& o) { return r.conv.ReadGateTime(o); },
         {"!050064\r"}, "$054\r", true, "0064"},
    });
}

// clang-format on

TEST(R910Update, WritesOnceMoreAfterAFailureAndThenGivesUp) {
    ScriptedPeer peer;
    peer.Then("!0400660003\r");
    peer.Then("");        // first write lost
    peer.Then("!04\r");   // the second one lands
    peer.Then("");        // next update: both lost
    peer.Then("");
    peer.Then("!0000660003\r");
    peer.Then("!00\r");
    TavoComPort port(peer.path());
    ASSERT_TRUE(port.OpenPort());
    port.SetTimeOut(300); // the lost writes cost their time-out; an answer under load still comes in time
    TavoMR910 conv(&port, "04");
    ASSERT_TRUE(conv.ReadConverterConfig());
    conv.SetAddress("07");
    EXPECT_TRUE(conv.Update(false));
    EXPECT_EQ(conv.Address(), "07");
    conv.SetAddress("09");
    EXPECT_FALSE(conv.Update(false));
    EXPECT_EQ(conv.Address(), "07"); // still where the converter is
    // INIT state: written at 00 and addressed as 00 afterwards.
    TavoMR910 init(&port, "00");
    ASSERT_TRUE(init.ReadConverterConfig());
    init.SetAddress("12");
    EXPECT_TRUE(init.Update(true));
    EXPECT_EQ(init.Address(), "00");
    std::vector<std::string> sent;
    for (const auto& r : peer.Requests()) sent.emplace_back(r.begin(), r.end());
    EXPECT_EQ(sent, (std::vector<std::string>{"$042\r", "%040700660003\r", "%040700660003\r",
                                              "%070900660003\r", "%070900660003\r", "$002\r",
                                              "%001200660003\r"}));
}

TEST(R910Format, ParityOddIsWrittenAsItIsRead) {
    struct {
        int data, parity, stop, byte;
    } rows[] = {{3, 0, 0, 0x03}, {3, 1, 0, 0x0B}, {3, 2, 1, 0x1F}, {0, 2, 0, 0x18}};
    for (const auto& r : rows) {
        EXPECT_EQ(TavoMR910::MakeFormatByte(r.data, r.parity, r.stop), r.byte);
        int d = -1, p = -1, s = -1;
        TavoMR910::SplitFormatByte(r.byte, d, p, s);
        EXPECT_EQ(d * 100 + p * 10 + s, r.data * 100 + r.parity * 10 + r.stop);
    }
    int d, p, s;
    TavoMR910::SplitFormatByte(0x10, d, p, s); // 10 reads as even too
    EXPECT_EQ(p, 2);
}

TEST(KRackDesignations, SlotCodesToDesignations) {
    const std::pair<const char*, const char*> rows[] = {
        {"21", "K210"}, {"22", "K220"}, {"2H", "K220H"}, {"2U", "K220UH"}, {"23", "K230"},
        {"31", "K310"}, {"55", "K550"}, {"63", "K630"},  {"71", "K710"},   {"AI", "K0AI"},
        {"FF", nullptr}, {"2", nullptr}, {"a1", nullptr}, {"2 ", nullptr},
    };
    for (const auto& [code, designation] : rows) {
        std::string out = "untouched";
        EXPECT_EQ(TavoMK100::DesignationForCode(code, out), designation != nullptr) << code;
        EXPECT_EQ(out, designation ? designation : "untouched") << code;
    }
}

TEST(KSlotObjects, WithoutAPortNothingIsSent) {
    TavoMK710 counter(nullptr, "01", "S5");
    TavoMK100 rack(nullptr, "01");
    std::string out;
    int s = 0, l = 0;
    EXPECT_FALSE(counter.ReadAll(out));
    EXPECT_FALSE(counter.ReadSlotConfig());
    EXPECT_FALSE(counter.GetSlotType(out));
    EXPECT_FALSE(rack.ReadMapEntry(0, s, l));
    EXPECT_FALSE(rack.GetSlotDesignation(0, out));
    // A model's parts share one address and selector.
    counter.SetAddress("0A");
    counter.SetSlot("S3");
    const TavoKCounter& part = counter;
    const TavoKAnalogAlarm& alarms = counter;
    EXPECT_EQ(part.Address() + part.Slot() + alarms.Address() + alarms.Slot(), "0AS30AS3");
}

// ---------------------------------------------------------------------------
// Round trips against the simulator

const char* const kRacks = "01 K100E firmware=A3.10 slots=K220,K230P,K310,K510,K620,K710,-,K990\n"
                           "02 K100 slots=K230,-,K520\n"
                           "05 K100 init\n";

TEST(KRackSim, WhatTheSearchReads) {
    SimBus sim(kRacks);
    auto port = sim.Open(30);
    TavoMK100 rack(port.get(), "01");
    std::string name, d, text;
    ASSERT_TRUE(rack.ReadModuleName(name));
    EXPECT_EQ(name, "K100E");
    std::vector<std::string> nodes;
    for (int i = 0; i < 8; ++i) {
        if (!rack.GetSlotDesignation(i, d)) continue;
        if (d.rfind("K0AI", 0) == 0) {
            ASSERT_TRUE(rack.ReadSlotName(i, text));
            std::string count;
            ASSERT_TRUE(rack.ReadSlotInfo1(i, count));
            d = text.substr(5) + "/" + std::to_string(std::stoi(count.substr(0, 2), nullptr, 16));
        }
        nodes.push_back(std::to_string(i) + d);
    }
    EXPECT_EQ(nodes, (std::vector<std::string>{"0K220", "1K230P/7", "2K310", "3K510", "4K620",
                                               "5K710", "7K990"}));
    ASSERT_TRUE(rack.ReadSlotInfo0(5, text));
    EXPECT_FALSE(text.empty());
    EXPECT_FALSE(rack.ReadSlotName(6, text)); // empty slot

    TavoMK100 small(port.get(), "02");
    ASSERT_TRUE(small.ReadSlotTable(text));
    EXPECT_EQ(text, "23FF52FF");
    std::size_t before = 0;
    {
        std::lock_guard lock(sim.bus().mutex());
        before = sim.module(2).received.size();
    }
    EXPECT_FALSE(small.GetSlotCode(4, text));
    std::lock_guard lock(sim.bus().mutex());
    EXPECT_EQ(sim.module(2).received.size(), before);
}

TEST(KRackSim, ConfigurationWatchdogAndAddressMap) {
    SimBus sim(kRacks);
    auto port = sim.Open(30);
    TavoMK100 rack(port.get(), "01");
    ASSERT_TRUE(rack.ReadSystemConfig());
    EXPECT_EQ(rack.BaudCode() + rack.FormatCode(), "0600");
    EXPECT_FALSE(rack.UpdateSystemConfig("07", 0, 0)); // baud rate needs INIT
    ASSERT_TRUE(rack.SetComSetting("2C"));
    std::string text;
    ASSERT_TRUE(rack.ReadComSetting(text));
    EXPECT_EQ(text, "2C");

    ASSERT_TRUE(rack.SetWatchdogTime(15));
    ASSERT_TRUE(rack.SetWatchdogMask(0x21));
    ASSERT_TRUE(rack.ReadWatchdogTime(text));
    EXPECT_EQ(text, "15");
    ASSERT_TRUE(rack.ReadWatchdogMask(text));
    EXPECT_EQ(text, "21");

    // The default map: digital slots on coils from 1, the others on registers.
    int start = 0, code = 0;
    ASSERT_TRUE(rack.ReadMapMode(text));
    EXPECT_EQ(text, "01");
    ASSERT_TRUE(rack.ReadMapEntry(3, start, code));
    EXPECT_EQ(start * 10 + code, 1 * 10 + 5);
    ASSERT_TRUE(rack.ReadMapEntry(4, start, code));
    EXPECT_EQ(start * 10 + code, 17 * 10 + 4);
    // Written entries read back at once (they are stored); the Modbus side
    // answers at them after activation only, and overlapping ones never activate.
    ASSERT_TRUE(rack.WriteMapEntry(3, 33, 5));
    ASSERT_TRUE(rack.ReadMapEntry(3, start, code));
    EXPECT_EQ(start * 10 + code, 33 * 10 + 5);
    ASSERT_TRUE(rack.WriteMapEntry(4, 49, 4));
    ASSERT_TRUE(rack.ActivateMap());
    ASSERT_TRUE(rack.ReadMapEntry(3, start, code));
    EXPECT_EQ(start * 10 + code, 33 * 10 + 5);
    ASSERT_TRUE(rack.WriteMapEntry(4, 33, 4));
    EXPECT_FALSE(rack.ActivateMap());
    EXPECT_FALSE(rack.WriteMapEntry(4, 34, 4));   // 0X start not 8n + 1
    EXPECT_FALSE(rack.WriteMapEntry(5, 33, 5));   // a counter has no coils
    EXPECT_FALSE(rack.WriteMapEntry(5, 40001, 6)); // 32 registers

    // The INIT rack takes a new baud rate and checksum.
    TavoMK100 init(port.get(), "00");
    ASSERT_TRUE(init.UpdateSystemConfig("08", '1', 0));
    ASSERT_TRUE(init.ReadSystemConfig());
    EXPECT_EQ(init.BaudCode() + init.FormatCode(), "0840");
}

TEST(KSlotSim, AnalogInputAlarmDrivesAMappedOutput) {
    SimBus sim(kRacks);
    auto port = sim.Open(30);
    TavoMK220H ai(port.get(), "01", "S0");
    TavoMK510 relays(port.get(), "01", "S4"); // the K620 in slot 4
    std::string text, high, low;
    ASSERT_TRUE(ai.ReadSlotConfig());
    EXPECT_EQ(ai.SlotType(), "08");
    ASSERT_TRUE(ai.ReadChannel(3, text));
    EXPECT_EQ(text, "+04.000"); // 40 % of 0-10 V
    ASSERT_TRUE(ai.ReadAll(text));
    EXPECT_EQ(text.size(), 8u * 7);
    ai.SetSlotType("0F"); // not a range of this module
    ai.SetSlotFormat("00");
    EXPECT_FALSE(ai.WriteSlotConfig());
    ai.SetSlotType("07");
    ASSERT_TRUE(ai.WriteSlotConfig());
    ASSERT_TRUE(ai.ReadChannel(0, text));
    EXPECT_EQ(text, "+05.600");
    ASSERT_TRUE(ai.SetChannelEnable(0x0F));
    ASSERT_TRUE(ai.ReadChannelEnable(text));
    EXPECT_EQ(text, "0F");
    EXPECT_FALSE(ai.ReadChannel(5, text)); // disabled

    ASSERT_TRUE(ai.SetAlarmLimit(3, 'H', "+010.000"));
    ASSERT_TRUE(ai.SetAlarmMode(3, 'H', 'L'));
    ASSERT_TRUE(ai.ConnectAlarm(3, 'H', 4, 2));
    EXPECT_FALSE(ai.ConnectAlarm(3, 'L', 2, 0)); // the K310 has no digital outputs
    ASSERT_TRUE(ai.ReadAlarmStatus(3, high, low));
    EXPECT_EQ(high + low, "10"); // 10.4 mA > 10
    ASSERT_TRUE(relays.ReadAlarmMask(text));
    EXPECT_EQ(text, "0004");
    EXPECT_FALSE(relays.WriteDOChannel(2, false)); // masked
    ASSERT_TRUE(relays.ReadDIO(text));
    EXPECT_EQ(text, "0400");
    ASSERT_TRUE(ai.ReadAlarmConnection(3, 'H', high, low));
    EXPECT_EQ(high + low, "42");
    // Latched: the alarm stays until cleared, even with the limit out of reach.
    ASSERT_TRUE(ai.SetAlarmLimit(3, 'H', "+019.000"));
    ASSERT_TRUE(ai.ReadAlarmStatus(3, high, low));
    EXPECT_EQ(high, "1");
    ASSERT_TRUE(ai.ClearAlarmLatch(3, 'H'));
    ASSERT_TRUE(ai.ReadAlarmStatus(3, high, low));
    EXPECT_EQ(high, "0");
    ASSERT_TRUE(ai.ReadAlarmLimit(3, 'H', text));
    EXPECT_EQ(text, "+019.000");
    ASSERT_TRUE(ai.ReadAlarmMode(3, 'H', text));
    EXPECT_EQ(text, "L");
    ASSERT_TRUE(ai.DisconnectAlarm(3, 'H'));
    ASSERT_TRUE(relays.WriteDOChannel(2, false));
    EXPECT_FALSE(ai.SetAlarmLimit(3, 'H', "+1x"));

    // The generic input: cold junction, its offset, and the AV read.
    TavoMK230P generic(port.get(), "01", "S1");
    ASSERT_TRUE(generic.SetCJCOffset('-', "006F")); // -0.999 degrees
    ASSERT_TRUE(generic.ReadCJC(text));
    EXPECT_EQ(text, "+024.00");
    ASSERT_TRUE(generic.ReadAV(high, low));
    EXPECT_EQ(high + " " + low, "+024.001 -000.999");
    ASSERT_TRUE(generic.ReadSlotConfig()); // the selector survived the AV read
}

TEST(KSlotSim, OutputDigitalAndCounterSlots) {
    SimBus sim(kRacks);
    auto port = sim.Open(30);
    std::string text;
    TavoMK310 ao(port.get(), "01", "S2");
    ASSERT_TRUE(ao.WriteChannel(1, "12.500"));
    ASSERT_TRUE(ao.ReadLastOutput(1, text));
    EXPECT_EQ(text, "12.500");
    EXPECT_FALSE(ao.WriteChannel(1, "02.000")); // below 4 mA
    ao.SetSlotType("32");
    ao.SetFormatBits52("0011");
    ASSERT_TRUE(ao.WriteChannelConfig(1));
    ASSERT_TRUE(ao.ReadChannelConfig(1));
    EXPECT_EQ(ao.SlotType() + ao.SlotFormat(), "320C");
    ASSERT_TRUE(ao.ReadLastOutput(1, text));
    EXPECT_EQ(text, "10.000"); // clamped into 0-10 V
    EXPECT_TRUE(ao.SetStartupToCurrent(1));
    EXPECT_TRUE(ao.Trim(1, "F6"));

    TavoMK510 dio(port.get(), "01", "S3");
    ASSERT_TRUE(dio.ReadDIPSwitch(text));
    EXPECT_EQ(text, "FF00");
    ASSERT_TRUE(dio.WriteDOChannel(1, true));
    EXPECT_FALSE(dio.WriteDOChannel(9, true)); // an input
    ASSERT_TRUE(dio.ReadDIO(text));
    EXPECT_EQ(text, "A502");
    ASSERT_TRUE(dio.SetWatchdogOutputs(0x81));
    EXPECT_FALSE(dio.SetWatchdogOutputs(0x100));
    ASSERT_TRUE(dio.ReadWatchdogOutputs(text));
    EXPECT_EQ(text, "0081");

    TavoMK710 counter(port.get(), "01", "S5");
    counter.SetSlotType("00");
    counter.SetSlotFormat("02");
    ASSERT_TRUE(counter.WriteSlotConfig());
    ASSERT_TRUE(counter.SetCounting(0, false));
    ASSERT_TRUE(counter.SetPreset(0, "0000000255"));
    ASSERT_TRUE(counter.ReadCount(0, text));
    EXPECT_EQ(text, "000000FF");
    ASSERT_TRUE(counter.ReadCounting(0, text));
    EXPECT_EQ(text, "0");
    EXPECT_FALSE(counter.SetFilterScale(7));
    ASSERT_TRUE(counter.SetFilterScale(65000));
    ASSERT_TRUE(counter.ReadFilterScale(text));
    EXPECT_EQ(text, "65000");
    ASSERT_TRUE(counter.ReadAll(text));
    EXPECT_EQ(text.size(), 4u * 8);
    counter.SetSlotType("02"); // frequency: hundredths of a hertz
    counter.SetSlotFormat("00");
    ASSERT_TRUE(counter.WriteSlotConfig());
    ASSERT_TRUE(counter.ReadCount(1, text));
    EXPECT_EQ(text, "0000200000");
}

// Time-dependent behaviour, driven with chosen instants instead of waiting.
TEST(KSlotSim, CountersCountAndTheWatchdogFires) {
    auto m = sim::MakeModule(
        {.address = 1, .designation = "K100", .options = {{"slots", "K550,K710"}}});
    const sim::TimePoint t0{};
    const auto at = [&](int ms) {
        return t0 + std::chrono::seconds(1) + std::chrono::milliseconds(ms);
    };
    EXPECT_EQ(m->OnAsciiLine("#01S1C1", at(0)), ">0000000000");
    EXPECT_EQ(m->OnAsciiLine("#01S1C1", at(1500)), ">0000000030"); // 20 per second
    EXPECT_EQ(m->OnAsciiLine("$01S1C16", at(1500)), "!01");
    EXPECT_EQ(m->OnAsciiLine("#01S1C1", at(1500)), ">0000000000");

    EXPECT_EQ(m->OnAsciiLine("#01S01305", at(0)), "?01"); // malformed
    EXPECT_EQ(m->OnAsciiLine("#01S01301", at(2000)), "!01");
    EXPECT_EQ(m->OnAsciiLine("$01XS0D00F0", at(2000)), "!01");
    EXPECT_EQ(m->OnAsciiLine("$01XEW01", at(2000)), "!01");
    EXPECT_EQ(m->OnAsciiLine("$01X0002", at(2000)), "!01");
    EXPECT_EQ(m->OnAsciiLine("$01S06", at(3000)), "!010008");
    EXPECT_EQ(m->OnAsciiLine("$01S06", at(5500)), "!0100F0"); // silence over 2 s
    EXPECT_EQ(m->OnAsciiLine("$01XEW10", at(5500)), "?01");   // slot 4 of four
}

TEST(KRackSim, ModbusIdentificationNamesAndSlotData) {
    SimBus sim("07 K100M firmware=A3.10 slots=K220,K550,K310,K710\n"
               "08 K100E protocol=modbus slots=K530\n");
    auto port = sim.Open(40);
    TavoModbusCOM mb(port.get());
    std::vector<std::uint8_t> data;
    const auto read = [&](int slave, int first, int count) {
        data.clear();
        return mb.ReadHoldingRegisters(slave, first, count) && mb.ReadResponse(data);
    };
    ASSERT_TRUE(read(8, 10001, 2));
    EXPECT_EQ(test::Hex(data), "21 90 00 00");
    ASSERT_TRUE(read(7, 10001, 38));
    ASSERT_EQ(data.size(), 76u);
    EXPECT_EQ(test::Hex({data.begin(), data.begin() + 16}),
              "21 91 00 00 A3 10 00 04 02 12 18 06 FF FF FF FF");
    EXPECT_EQ(data[25], 0);
    // Starts: K220 40001, K550 1, K310 40009, K710 40013; ends after them.
    EXPECT_EQ(test::Hex({data.begin() + 28, data.begin() + 36}), "9C 41 00 01 9C 49 9C 4D");
    EXPECT_EQ(test::Hex({data.begin() + 44, data.begin() + 52}), "9C 48 00 10 9C 4C 9C 5C");
    ASSERT_TRUE(read(7, 10201, 64));
    EXPECT_EQ(test::Hex({data.begin() + 16, data.begin() + 22}), "35 4B 30 35 00 00");
    // Digital points on coils, analog registers from 40001.
    ASSERT_TRUE(mb.WriteSingleCoil(7, 3, true));
    ASSERT_TRUE(mb.WriteResponse());
    ASSERT_TRUE(mb.ReadCoils(7, 1, 16));
    ASSERT_TRUE(mb.ReadResponse(data));
    EXPECT_EQ(test::Hex(data), "04 00");
    ASSERT_TRUE(read(7, 1, 2));
    EXPECT_EQ(test::Hex(data), "0C CD 19 99"); // 10 % and 20 % of 10 V
    ASSERT_TRUE(mb.WriteSingleRegister(7, 9, 12500)); // K310 channel 0: 12.5 mA
    ASSERT_TRUE(mb.WriteResponse());
    ASSERT_TRUE(mb.WriteSingleRegister(7, 9, 25000));
    EXPECT_FALSE(mb.WriteResponse());
    EXPECT_EQ(mb.LastException(), 3);
    ASSERT_TRUE(mb.WriteSingleRegister(7, 25, 0)); // stop counter 0
    ASSERT_TRUE(mb.WriteResponse());
    ASSERT_TRUE(mb.ReadFunction32(7, 9, 1));
    ASSERT_TRUE(mb.ReadResponse(data));
    EXPECT_EQ(test::Hex(data), "30 D4");
    ASSERT_TRUE(read(7, 21, 1));
    EXPECT_EQ(test::Hex(data), "00 00"); // counter 0 status: stopped
    EXPECT_FALSE(read(7, 200, 1));
    EXPECT_EQ(mb.LastException(), 2);
    // The Modbus rack does not talk ASCII.
    TavoMK100 rack(port.get(), "07");
    std::string text;
    EXPECT_FALSE(rack.ReadSlotTable(text));
}

TEST(ZSeriesSim, ControllerAndIOModules) {
    SimBus sim("03 Z351 slots=Z320,Z310,-,Z330\n");
    auto port = sim.Open(30);
    ZelMZ350 zel(port.get(), "03");
    std::string text;
    ASSERT_TRUE(zel.ReadModuleName(text));
    EXPECT_EQ(text, "Z351");
    std::string list;
    for (int i = 0; i < 4; ++i) list += (zel.GetSlotDesignation(i, text) ? text : "-") + " ";
    EXPECT_EQ(list, "Z320 Z310 - Z330 ");
    ASSERT_TRUE(zel.SetProtocol("MOD"));
    EXPECT_FALSE(zel.SetProtocol("XYZ"));
    ASSERT_TRUE(zel.ReadProtocol(text));
    EXPECT_EQ(text, "MOD");
    ASSERT_TRUE(zel.SetDeviceInstance(4194303));
    ASSERT_TRUE(zel.ReadDeviceInstance(text));
    EXPECT_EQ(text, "3FFFFF");
    ASSERT_TRUE(zel.ReadSystemConfig());
    std::string baud;
    ASSERT_TRUE(zel.GetBaudCode(baud));
    EXPECT_EQ(baud, "06");

    ZelMZ320 io(port.get(), "03", "S0");
    io.SetChannelType("21");
    ASSERT_TRUE(io.SetAIType(3));
    io.SetChannelType("0F"); // not an input type of this module
    EXPECT_FALSE(io.SetAIType(3));
    ASSERT_TRUE(io.ReadAIType(3));
    ASSERT_TRUE(io.GetChannelType(text));
    EXPECT_EQ(text, "21");
    ASSERT_TRUE(io.ReadAll(text));
    EXPECT_EQ(text, "+005.600+007.200+008.800+040.000");
    io.SetChannelType("02");
    ASSERT_TRUE(io.SetAOType(0));
    ASSERT_TRUE(io.WriteChannel(0, "07.250"));
    EXPECT_FALSE(io.WriteChannel(0, "12.000"));
    ASSERT_TRUE(io.ReadLastOutput(0, text));
    EXPECT_EQ(text, "07.250");
    ASSERT_TRUE(io.WriteDO(3, true));
    std::string outputs, inputs;
    ASSERT_TRUE(io.ReadDIO(outputs, inputs));
    EXPECT_EQ(outputs + inputs, "08A5");
    ZelMZ320 z310(port.get(), "03", "S1");
    EXPECT_FALSE(z310.WriteDO(2, true)); // two outputs only
    EXPECT_TRUE(z310.ZeroCalibrateChannel(2));
    EXPECT_FALSE(z310.ZeroCalibrateChannel(3));
}

TEST(R910Sim, ConfigurationIdentificationAndGateTime) {
    SimBus sim("04 R910\n06 R910 init\n");
    auto port = sim.Open(30);
    TavoMR910 conv(port.get(), "04");
    std::string text;
    ASSERT_TRUE(conv.GetConfigString(text));
    EXPECT_EQ(text, "0400660003");
    conv.SetAddress("14");
    ASSERT_TRUE(conv.SetAddCR(true));
    ASSERT_TRUE(conv.Update(false));
    conv.ClearConverterConfig();
    ASSERT_TRUE(conv.GetConfigString(text));
    EXPECT_EQ(text, "1400660103");
    ASSERT_TRUE(conv.SetRS232Baud(10)); // line settings need the INIT state
    EXPECT_FALSE(conv.Update(false));
    EXPECT_EQ(conv.Address(), "14");

    ASSERT_TRUE(conv.SetIdentification("Boiler house"));
    ASSERT_TRUE(conv.ReadIdentification(text));
    EXPECT_EQ(text, "Boiler house");
    ASSERT_TRUE(conv.SetDelimiter('~'));
    ASSERT_TRUE(conv.ReadDelimiter(text));
    EXPECT_EQ(text, "~");
    ASSERT_TRUE(conv.SetGateTime(65535));
    ASSERT_TRUE(conv.ReadGateTime(text));
    EXPECT_EQ(text, "FFFF");

    TavoMR910 init(port.get(), "00");
    ASSERT_TRUE(init.ReadConverterConfig());
    init.SetAddress("16");
    ASSERT_TRUE(init.SetRS232Baud(10));
    ASSERT_TRUE(init.SetRS485(true));
    ASSERT_TRUE(init.SetFormatByte(TavoMR910::MakeFormatByte(2, 1, 1)));
    ASSERT_TRUE(init.Update(true));
    init.ClearConverterConfig();
    ASSERT_TRUE(init.GetConfigString(text));
    EXPECT_EQ(text, "0000A6200E");
    // What the library would never send is refused by the converter too.
    for (const char* line : {"$14C a", "$143FFFFF", "%1414006601FF"}) {
        std::string command = std::string(line) + "\r", reply;
        EXPECT_FALSE(port->SendCommand(command, 64, &reply)) << line;
        EXPECT_EQ(reply.substr(0, 1), "?") << line;
    }
}

} // namespace
} // namespace tavo
