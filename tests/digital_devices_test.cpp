// The digital I/O, counter and LED command classes on the wire: the bytes each
// operation sends, what it takes from the reply, which reply class it accepts, and
// what it refuses to send at all.
#include "devices/models_digital.h"
#include "support/pty_peer.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>

namespace tavo {
namespace {

using test::ScriptedPeer;

using Outs = std::array<std::string, 4>;

std::string Text(const test::Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

struct Case {
    const char* wire;  // the command line expected, without CR
    const char* reply; // what the module answers ("" = silence)
    bool ok;
    std::vector<std::string> want; // outputs on success
    std::function<bool(Outs&)> op;
};

// A scripted module and the command objects under test, all at address 01.
struct Wire {
    ScriptedPeer peer;
    TavoComPort port{peer.path()};
    TavoMR850 dio{&port, "01"};
    TavoMR560 r560{&port, "01"};
    TavoMR710 r710{&port, "01"};
    TavoMR710D r710d{&port, "01"};

    Wire() {
        if (!port.OpenPort()) throw std::runtime_error("cannot open the scripted peer");
        port.SetTimeOut(300); // one case waits this out; an answer under load still comes in time
    }

    void Run(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            const std::size_t before = peer.Requests().size();
            peer.Then(c.reply);
            Outs outs{"keep", "keep", "keep", "keep"};
            const bool ok = c.op(outs);
            const auto requests = peer.Requests();
            ASSERT_EQ(requests.size(), before + 1) << c.wire;
            EXPECT_EQ(Text(requests.back()), std::string(c.wire) + "\r");
            EXPECT_EQ(ok, c.ok) << c.wire << " <- " << c.reply;
            for (std::size_t i = 0; i < outs.size(); ++i) {
                const std::string want = ok && i < c.want.size() ? c.want[i] : "keep";
                EXPECT_EQ(outs[i], want) << c.wire << " <- " << c.reply << " output " << i;
            }
        }
    }
};

TEST(DigitalIoCommands, InputOperationsOnTheWire) {
    Wire w;
    auto& d = w.dio;
    w.Run({
        {"$016", "!0F01\r", true, {"0F01"}, [&](Outs& o) { return d.ReadDIO(o[0]); }},
        {"$016", "!A55A\r", true, {"A5", "5A"}, [&](Outs& o) { return d.ReadDIO(o[0], o[1]); }},
        {"$01V00FF", "!01\r", true, {}, [&](Outs&) { return d.SetV(0xFF); }},
        {"$01V", "!01FFFF\r", true, {"FFFF"}, [&](Outs& o) { return d.ReadV(o[0]); }},
        {"$01CIC3", "!0141\r", true, {"41"}, [&](Outs& o) { return d.ReadInputMode(3, o[0]); }},
        {"$01CIC241", "!01\r", true, {}, [&](Outs&) { return d.SetInputMode(2, 0x41); }},
        {"$010C1",
         "!010000000A00000014\r",
         true,
         {"0000000A", "00000014"},
         [&](Outs& o) { return d.ReadInputWidths(1, o[0], o[1]); }},
        {"$010C10000000A00000014",
         "!01\r",
         true,
         {},
         [&](Outs&) { return d.SetInputWidths(1, 10, 20); }},
        {"#014",
         ">0000FFFF\r",
         true,
         {"0000FFFF"},
         [&](Outs& o) { return d.ReadCounter(4, o[0]); }},
        {"$0150", "!011\r", true, {"1"}, [&](Outs& o) { return d.ReadCounting(0, o[0]); }},
        {"$01501", "!01\r", true, {}, [&](Outs&) { return d.StartCounting(0); }},
        {"$01500", "!01\r", true, {}, [&](Outs&) { return d.StopCounting(0); }},
        {"$0166", "!01\r", true, {}, [&](Outs&) { return d.ClearCounter(6); }},
        {"@01CAC5", "!01\r", true, {}, [&](Outs&) { return d.ClearLatch(5); }},
    });
}

TEST(DigitalIoCommands, OutputOperationsOnTheWire) {
    Wire w;
    auto& d = w.dio;
    w.Run({
        // Channel 10 of the R550 family goes out as one hex digit.
        {"#011A01", "!01\r", true, {}, [&](Outs&) { return d.WriteDO(10, 1); }},
        {"#011000", "!01\r", true, {}, [&](Outs&) { return d.WriteDO(0, 0); }},
        {"#011B0001", "!01\r", true, {}, [&](Outs&) { return w.r560.WriteDO(11, 1); }},
        {"#01120000", "!01\r", true, {}, [&](Outs&) { return w.r560.WriteDO(2, 0); }},
        {"$01X0FFFFA5", "!01\r", true, {}, [&](Outs&) { return d.SetSafety(65535, 0xA5); }},
        {"$01X000640FFF", "!01\r", true, {}, [&](Outs&) { return w.r560.SetSafety(100, 0xFFF); }},
        {"$01X1",
         "!0064000F\r",
         true,
         {"0064", "000F"},
         [&](Outs& o) { return d.ReadSafety(o[0], o[1]); }},
        {"$01E1", "!01\r", true, {}, [&](Outs&) { return d.ClearError(); }},
        {"$01E0", "!015\r", true, {"5"}, [&](Outs& o) { return d.ReadError(o[0]); }},
        {"$01COC7", "!0101\r", true, {"01"}, [&](Outs& o) { return d.ReadOutputMode(7, o[0]); }},
        {"$01COC703", "!01\r", true, {}, [&](Outs&) { return d.SetOutputMode(7, 3); }},
        {"$0192",
         "!0100000001000000020000000300000004\r",
         true,
         {"00000001", "00000002", "00000003", "00000004"},
         [&](Outs& o) { return d.ReadPulseWidths(2, o[0], o[1], o[2], o[3]); }},
        {"$019200000001000000020000000300000004",
         "!01\r",
         true,
         {},
         [&](Outs&) { return d.SetPulseWidths(2, 1, 2, 3, 4); }},
        {"#01ERFF0500000064", ">\r", true, {}, [&](Outs&) { return d.SetPulseCount(5, 100); }},
        {"$01ERFF05",
         ">0110000001F\r",
         true,
         {"1", "0000001F"},
         [&](Outs& o) { return d.ReadPulseCount(5, o[0], o[1]); }},
        {"$01D", "!01\r", true, {}, [&](Outs&) { return d.StartDownload(); }},
        {"#01FQ01", "!01\r", true, {}, [&](Outs&) { return d.WriteFQ("01"); }},
        {"#01OS", "!01\r", true, {}, [&](Outs&) { return d.SendOS(); }},
    });
}

TEST(DigitalIoCommands, ReplyClassAndShortReplies) {
    Wire w;
    auto& d = w.dio;
    w.Run({
        // Only the named reply class counts, although the transaction takes both.
        {"#013", "!0100000010\r", false, {}, [&](Outs& o) { return d.ReadCounter(3, o[0]); }},
        {"$01CIC3", ">0141\r", false, {}, [&](Outs& o) { return d.ReadInputMode(3, o[0]); }},
        {"$01CIC301", ">\r", false, {}, [&](Outs&) { return d.SetInputMode(3, 1); }},
        {"$01COC1", ">0101\r", false, {}, [&](Outs& o) { return d.ReadOutputMode(1, o[0]); }},
        {"$0151", ">011\r", false, {}, [&](Outs& o) { return d.ReadCounting(1, o[0]); }},
        {"#01ERFF0000000001", "!01\r", false, {}, [&](Outs&) { return d.SetPulseCount(0, 1); }},
        {"$01ERFF00",
         "!0110000001F\r",
         false,
         {},
         [&](Outs& o) { return d.ReadPulseCount(0, o[0], o[1]); }},
        // Fixed fields must be there in full.
        {"$01CIC3", "!014\r", false, {}, [&](Outs& o) { return d.ReadInputMode(3, o[0]); }},
        {"$010C1",
         "!010000000A0000001\r",
         false,
         {},
         [&](Outs& o) { return d.ReadInputWidths(1, o[0], o[1]); }},
        {"$0192",
         "!01000000010000000200000003000000\r",
         false,
         {},
         [&](Outs& o) { return d.ReadPulseWidths(2, o[0], o[1], o[2], o[3]); }},
        {"$01X1", "!0064000\r", false, {}, [&](Outs& o) { return d.ReadSafety(o[0], o[1]); }},
        {"$01E0", "!01\r", false, {}, [&](Outs& o) { return d.ReadError(o[0]); }},
        {"$01ERFF00",
         ">011000\r",
         false,
         {},
         [&](Outs& o) { return d.ReadPulseCount(0, o[0], o[1]); }},
        {"$0150", "!\r", false, {}, [&](Outs& o) { return d.ReadCounting(0, o[0]); }},
        {"$016", "!0G00\r", false, {}, [&](Outs& o) { return d.ReadDIO(o[0], o[1]); }},
        {"$016", "!010\r", false, {}, [&](Outs& o) { return d.ReadDIO(o[0], o[1]); }},
        // "Characters k to n - 2" of a reply too short for them: empty data.
        {"$016", "!\r", true, {""}, [&](Outs& o) { return d.ReadDIO(o[0]); }},
        {"#010", ">\r", true, {""}, [&](Outs& o) { return d.ReadCounter(0, o[0]); }},
        {"$01V", "!0\r", false, {}, [&](Outs& o) { return d.ReadV(o[0]); }},
        // Refusals and silence.
        {"$01COC1", "?01\r", false, {}, [&](Outs& o) { return d.ReadOutputMode(1, o[0]); }},
        {"$01X1", "", false, {}, [&](Outs& o) { return d.ReadSafety(o[0], o[1]); }},
    });
}

TEST(CounterCommands, OperationsOnTheWire) {
    Wire w;
    auto& c = w.r710;
    auto& d = w.r710d;
    w.Run({
        // Count values are blank-padded ("%8X"), as the module takes them.
        {"$0130      FF", "!01\r", true, {}, [&](Outs&) { return c.SetMaxCount(0, 255); }},
        {"$0131FFFFFFFF", "!01\r", true, {}, [&](Outs&) { return c.SetMaxCount(1, 0xFFFFFFFFu); }},
        {"$0131000000FF",
         "!01\r",
         true,
         {},
         [&](Outs&) { return c.SetMaxCount(1, std::string("000000FF")); }},
        {"$0131",
         "!01000000FF\r",
         true,
         {"000000FF"},
         [&](Outs& o) { return c.ReadMaxCount(1, o[0]); }},
        {"$01B1", "!01\r", true, {}, [&](Outs&) { return c.SetInputSignal("1"); }},
        {"$01B", "!011\r", true, {"1"}, [&](Outs& o) { return c.ReadInputSignal(o[0]); }},
        {"$01A2", "!01\r", true, {}, [&](Outs&) { return c.SetGate("2"); }},
        {"$01A", "!010\r", true, {"0"}, [&](Outs& o) { return c.ReadGate(o[0]); }},
        {"$01511", "!01\r", true, {}, [&](Outs&) { return c.SetCounting(1, "1"); }},
        {"$0151", "!011\r", true, {"1"}, [&](Outs& o) { return c.ReadCounting(1, o[0]); }},
        {"$0160", "!01\r", true, {}, [&](Outs&) { return c.ClearCount(0); }},
        {"#011", ">0000002A\r", true, {"0000002A"}, [&](Outs& o) { return c.ReadCount(1, o[0]); }},
        {"$0170", "!011\r", true, {"1"}, [&](Outs& o) { return c.ReadOverflowFlag(0, o[0]); }},
        {"$0141", "!01\r", true, {}, [&](Outs&) { return c.SetFilter("1"); }},
        {"$014", "!010\r", true, {"0"}, [&](Outs& o) { return c.ReadFilter(o[0]); }},
        {"$010H00070", "!01\r", true, {}, [&](Outs&) { return c.SetHighWidth(70); }},
        {"$010L65535", "!01\r", true, {}, [&](Outs&) { return c.SetLowWidth(65535); }},
        {"$010H", "!0100070\r", true, {"00070"}, [&](Outs& o) { return c.ReadHighWidth(o[0]); }},
        {"$010L", "!0100000\r", true, {"00000"}, [&](Outs& o) { return c.ReadLowWidth(o[0]); }},
        {"$011H50", "!01\r", true, {}, [&](Outs&) { return c.SetHighTrigger(50); }},
        {"$011L03", "!01\r", true, {}, [&](Outs&) { return c.SetLowTrigger(3); }},
        {"$011H", "!0124\r", true, {"24"}, [&](Outs& o) { return c.ReadHighTrigger(o[0]); }},
        {"$011L", "!0108\r", true, {"08"}, [&](Outs& o) { return c.ReadLowTrigger(o[0]); }},
        {"@01DO03", "!01\r", true, {}, [&](Outs&) { return c.SetAlarmOutput(3); }},
        // The R710's own slots.
        {"@01P1    1234", "!01\r", true, {}, [&](Outs&) { return c.SetPreset(1, 0x1234); }},
        {"@01EA0", "!01\r", true, {}, [&](Outs&) { return c.EnableAlarmChannel(0); }},
        {"@01DA1", "!01\r", true, {}, [&](Outs&) { return c.DisableAlarmChannel(1); }},
        {"@01SA      64", "!01\r", true, {}, [&](Outs&) { return c.SetAlarmLimit(true, 100); }},
        {"@01PA       0", "!01\r", true, {}, [&](Outs&) { return c.SetAlarmLimit(false, 0); }},
        {"@01G0", "!0100000010\r", true, {"00000010"}, [&](Outs& o) { return c.ReadG(0, o[0]); }},
        {"@01RA",
         "!0100000064\r",
         true,
         {"00000064"},
         [&](Outs& o) { return c.ReadAlarmLimit(true, o[0]); }},
        {"@01RP",
         "!0100000000\r",
         true,
         {"00000000"},
         [&](Outs& o) { return c.ReadAlarmLimit(false, o[0]); }},
        // Status and outputs of @AADI: character 3, characters 4-5.
        {"@01DI",
         "!0120300\r",
         true,
         {"2", "03"},
         [&](Outs& o) { return c.ReadAlarmState(o[0], o[1]); }},
        {"@01DI", "!012\r", false, {}, [&](Outs& o) { return c.ReadAlarmState(o[0], o[1]); }},
        // The R710D: alarm mode, limits (they do go out), LED display.
        {"@01EAM", "!01\r", true, {}, [&](Outs&) { return d.EnableAlarm("M"); }},
        {"@01EAL", "!01\r", true, {}, [&](Outs&) { return d.EnableAlarm("L"); }},
        {"@01DA", "!01\r", true, {}, [&](Outs&) { return d.DisableAlarm(); }},
        {"@01CA", "!01\r", true, {}, [&](Outs&) { return d.ClearAlarm(); }},
        {"@01SA     3E8", "!01\r", true, {}, [&](Outs&) { return d.SetAlarmLimit(true, 1000); }},
        {"@01RP",
         "!01000000C8\r",
         true,
         {"000000C8"},
         [&](Outs& o) { return d.ReadAlarmLimit(false, o[0]); }},
        {"$0182", "!01\r", true, {}, [&](Outs&) { return d.SetLEDSource("2"); }},
        {"$018", "!012\r", true, {"2"}, [&](Outs& o) { return d.ReadLEDSource(o[0]); }},
        {"$018", "!01\r", false, {}, [&](Outs& o) { return d.ReadLEDSource(o[0]); }},
        {"$0190007.5", "!01\r", true, {}, [&](Outs&) { return d.WriteLEDData(7.5); }},
        {"$0199999.9", "!01\r", true, {}, [&](Outs&) { return d.WriteLEDData(12345.0); }},
        {"$0199999.9", "!01\r", true, {}, [&](Outs&) { return d.WriteLEDData(9999.96); }},
        {"$0190000.0", "!01\r", true, {}, [&](Outs&) { return d.WriteLEDData(0.04); }},
        // "%6.1f" rounds the binary value, ties to even, as printf does.
        {"$0190000.3", "!01\r", true, {}, [&](Outs&) { return d.WriteLEDData(0.35); }},
        {"$0190001.2", "!01\r", true, {}, [&](Outs&) { return d.WriteLEDData(1.25); }},
        {"$0190002.8", "!01\r", true, {}, [&](Outs&) { return d.WriteLEDData(2.75); }},
        {"$0199999.9", "!01\r", true, {}, [&](Outs&) { return d.WriteLEDData(9999.94); }},
        {"$0191234.5",
         "!01\r",
         true,
         {},
         [&](Outs&) { return d.WriteLEDData(std::string("1234.5")); }},
        // Replies shorter than "!AA": empty data, no read past the end.
        {"$0170", "!0\r", false, {}, [&](Outs& o) { return c.ReadOverflowFlag(0, o[0]); }},
        {"#010", ">\r", true, {""}, [&](Outs& o) { return c.ReadCount(0, o[0]); }},
        // A count comes only in a '>' reading: "!01..." is another command's reply.
        {"#010", "!01000000FF\r", false, {}, [&](Outs& o) { return c.ReadCount(0, o[0]); }},
        {"$0131", "?01\r", false, {}, [&](Outs& o) { return c.ReadMaxCount(1, o[0]); }},
    });
}

// Arguments that cannot be put on the wire as they are fail before anything is sent.
TEST(DigitalCommandRefusals, NothingIsSentForAnUnsendableArgument) {
    Wire w;
    auto& d = w.dio;
    auto& c = w.r710;
    auto& led = w.r710d;
    std::string a, b, x, y;
    const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
        {"channel -1", [&] { return d.ReadInputMode(-1, a); }},
        {"channel 10", [&] { return d.StartCounting(10); }},
        {"mode 0x100", [&] { return d.SetInputMode(0, 0x100); }},
        {"output mode 0x100", [&] { return d.SetOutputMode(0, 0x100); }},
        {"inversion mask", [&] { return d.SetV(0x10000); }},
        {"safety time-out", [&] { return d.SetSafety(65536, 0); }},
        {"safe value too wide", [&] { return d.SetSafety(10, 0x100); }},
        {"safe value of the 560", [&] { return w.r560.SetSafety(10, 0x10000); }},
        {"bb not hex", [&] { return d.WriteDO("1G", "01"); }},
        {"dd empty", [&] { return d.WriteDO("10", ""); }},
        {"dd with a CR", [&] { return d.WriteDO("10", "0\r"); }},
        {"output 16", [&] { return d.WriteDO(16, 1); }},
        {"output value 2", [&] { return w.r560.WriteDO(1, 2); }},
        {"pulse channel 256", [&] { return d.SetPulseCount(256, 1); }},
        {"pulse count channel", [&] { return d.ReadPulseCount(0x100, a, b); }},
        {"pulse widths channel", [&] { return d.ReadPulseWidths(11, a, b, x, y); }},
        {"count text short", [&] { return c.SetMaxCount(0, std::string("FF")); }},
        {"count text with a gap", [&] { return c.SetMaxCount(0, std::string("  12 345")); }},
        {"count text not hex",
         [&] { return c.Family<TavoRCounter>().SetPreset(0, std::string("0000000G")); }},
        {"count text all blank",
         [&] { return c.Family<TavoRCounter>().SetAlarmLimit(true, std::string("        ")); }},
        {"width 65536", [&] { return c.SetHighWidth(65536); }},
        {"trigger 100", [&] { return c.SetLowTrigger(100); }},
        {"empty gate code", [&] { return c.SetGate(""); }},
        {"gate code with CR", [&] { return c.SetGate("1\r"); }},
        {"alarm mode with blank", [&] { return led.EnableAlarm("M "); }},
        {"alarm output 0x100", [&] { return c.SetAlarmOutput(0x100); }},
        {"counter channel 10", [&] { return c.ReadCount(10, a); }},
        {"LED negative", [&] { return led.WriteLEDData(-0.1); }},
        {"LED not a number", [&] { return led.WriteLEDData(std::nan("")); }},
        {"LED two points", [&] { return led.WriteLEDData(std::string("12.3.4")); }},
        {"LED five characters", [&] { return led.WriteLEDData(std::string("123.4")); }},
        {"LED letter", [&] { return led.WriteLEDData(std::string("12E4.0")); }},
        // The R710D has no preset values, preset modes or initial values.
        {"R710D SetPreset", [&] { return led.SetPreset(0, 5); }},
        {"R710D EnableAlarmChannel", [&] { return led.EnableAlarmChannel(0); }},
        {"R710D DisableAlarmChannel", [&] { return led.DisableAlarmChannel(1); }},
        {"R710D ReadG", [&] { return led.ReadG(0, a); }},
    };
    for (const auto& [what, call] : calls)
        EXPECT_FALSE(call()) << what;
    EXPECT_TRUE(w.peer.Requests().empty());

    TavoRDigitalOutput detached(nullptr, "01");
    EXPECT_FALSE(detached.ClearError());
}

// Reads that take "the data after !AA" cut at character 3 whatever the reply class,
// where the analog families cut a '>' reply after its first character.
TEST(DigitalIoCommands, DataAfterTheAddressEvenInADataReply) {
    Wire w;
    auto& d = w.dio;
    auto& c = w.r710;
    w.Run({
        {"$01V", ">01ABCD\r", true, {"ABCD"}, [&](Outs& o) { return d.ReadV(o[0]); }},
        {"$01A", ">012\r", true, {"2"}, [&](Outs& o) { return c.ReadGate(o[0]); }},
        {"@01RA",
         ">01      FF\r",
         true,
         {"      FF"},
         [&](Outs& o) { return c.ReadAlarmLimit(true, o[0]); }},
    });
}

// A command line must fit the 64-character buffer with its address, checksum and CR,
// and needs a two-character address: otherwise nothing is sent.
TEST(DigitalCommandRefusals, OverlongBodiesAndMissingAddresses) {
    Wire w;
    w.peer.Then("!01\r");
    EXPECT_TRUE(w.dio.WriteDO(std::string(28, '1'), std::string(29, '0'))); // 57 characters
    EXPECT_FALSE(w.dio.WriteDO(std::string(29, '1'), std::string(29, '0')));
    for (const char* address : {"", "7"}) {
        TavoMR850 m(&w.port, address);
        EXPECT_FALSE(m.ClearError()) << address;
        EXPECT_FALSE(m.StartCounting(1)) << address;
    }
    const auto requests = w.peer.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(Text(requests[0]), "#01" + std::string(28, '1') + std::string(29, '0') + "\r");
}

// Slot 0 and the configuration write keep every family's copy of the address.
TEST(DigitalModels, AddressCopiesMoveTogether) {
    Wire w;
    std::string out;
    TavoRBase& base = w.r710d;
    base.SetAddress("07"); // through the base: slot 0 is the model's
    EXPECT_EQ(w.r710d.PreviousAddress(), "01");
    for (const char* r : {">00000001\r", "!07\r", "!07\r", "!0C\r", "!0C\r", "!2A\r"})
        w.peer.Then(r);
    EXPECT_TRUE(w.r710d.ReadCount(0, out));
    EXPECT_TRUE(w.r710d.SetLEDSource("1"));
    TavoMR710& asR710 = w.r710d;
    EXPECT_FALSE(asR710.SetPreset(0, 1)); // nothing on an R710D
    EXPECT_TRUE(asR710.SetAlarmLimit(true, 2));
    w.dio.SetAddress("0C");
    EXPECT_TRUE(w.dio.WriteDO(1, 1));
    ASSERT_TRUE(w.dio.WriteConfigText("2A000600")); // sent to 0C, answered from there
    EXPECT_TRUE(w.dio.StartCounting(3));            // now at 2A
    const std::vector<std::string> sent = {"#070",    "$0781",       "@07SA       2",
                                           "#0C1101", "%0C2A000600", "$2A531"};
    const auto requests = w.peer.Requests();
    ASSERT_EQ(requests.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(Text(requests[i]), sent[i] + "\r");
    EXPECT_EQ(w.dio.Address(), "2A");
}

} // namespace
} // namespace tavo
