// `tavo read`, `tavo watch` and `tavo write`, run as programs against the simulator
// on a pseudo-terminal: what they print, what they send, and what they refuse.
#include "support/process.h"
#include "support/run_tavo.h"
#include "support/sim_bus.h"
#include "support/temp_dir.h"

#include "sim/pty_server.h"
#include "transport/modbus.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sys/resource.h>
#include <sys/wait.h>
#include <sstream>

namespace tavo {
namespace {

using test::Tavo;
using Strings = std::vector<std::string>;

Strings With(Strings base, const Strings& more) {
    base.insert(base.end(), more.begin(), more.end());
    return base;
}

// The lines the module at `address` has heard since the last call.
Strings Received(test::SimBus& sim, unsigned address) {
    std::lock_guard lock(sim.bus().mutex());
    auto& received = sim.module(address).received;
    Strings lines(received.begin(), received.end());
    received.clear();
    return lines;
}

std::size_t BytesHeard(test::SimBus& sim) {
    std::lock_guard lock(sim.bus().mutex());
    return sim.bus().BytesHeard();
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

Strings Lines(const std::string& text) {
    Strings lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The "points" array of a `tavo read --json` object, after checking the fields
// before it.
std::string JsonPoints(const std::string& out, const std::string& head) {
    static const std::regex object(R"(^(\{"address":"[0-9A-FS]+","model":"[A-Z0-9+]+","protocol":"[a-z]+"),)"
                                   R"("time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z","points":(\[.*\])\}\n$)");
    std::smatch m;
    if (!std::regex_match(out, m, object)) return "not one object: " + out;
    if (m[1].str() != head) return "head " + m[1].str();
    return m[2].str();
}

std::string Point(const std::string& name, const std::string& kind, const std::string& value,
                  const std::string& unit, const std::string& quality) {
    return R"({"name":")" + name + R"(","kind":")" + kind + R"(","value":)" + value +
           R"(,"unit":")" + unit + R"(","quality":")" + quality + "\"}";
}
std::string Analog(const std::string& name, const std::string& value, const std::string& unit,
                   const std::string& quality = "good") {
    return Point(name, "analog-input", value, unit, quality);
}
std::string Digital(const std::string& name, bool output, const std::string& value) {
    return Point(name, output ? "digital-output" : "digital-input", value, "", "good");
}

std::string Array(const Strings& points) {
    std::string out = "[";
    for (const auto& p : points) out += (out.size() > 1 ? "," : "") + p;
    return out + "]";
}

const std::string kDegC = "\u00B0C";

// ---- tavo read ----

// One model of every family, ASCII and Modbus: the values are what the simulator
// sent (the data request made again after the program ended gets the same bytes,
// the values being held), with their units and qualities; an open sensor and a
// channel switched off are no numbers.
TEST(PointsCli, ReadJsonHoldsWhatTheModuleSent) {
    test::SimBus sim("09 R270P value=12.5 value0=141.5 value1=1500 burnout=04\n"
                     "11 R270P protocol=modbus firmware=A2.02 value=12.5 value0=685 burnout=04\n"
                     "0A R550 inputs=A5 outputs=5A\n"
                     "0C R550 protocol=modbus inputs=5A outputs=81\n"
                     "0D R550 checksum inputs=A5 outputs=5A\n");
    {
        auto port = sim.Open();
        ASSERT_TRUE(test::Send(*port, "$095DF").ok); // channel 5 off
        TavoModbusCOM modbus(port.get());
        ASSERT_TRUE(modbus.WriteSingleRegister(0x11, 221, 0xDF) && modbus.WriteResponse());
    }
    Received(sim, 0x09);
    const std::string analogAscii = Array(
        {Analog("ai0", "141.5", kDegC), Analog("ai1", "1500", kDegC),
         Analog("ai2", "null", kDegC, "burn-out"), Analog("ai3", "12.5", kDegC),
         Analog("ai4", "12.5", "mA"), Analog("ai5", "null", "mA", "disabled"),
         Analog("ai6", "12.5", "mA"), Analog("ai7", "12.5", "mA")});
    // 685 'C is register 32768 of the K type's 0 to 1370 'C, shown with one decimal.
    const std::string analogModbus = Array(
        {Analog("ai0", "685", kDegC), Analog("ai1", "12.5", kDegC),
         Analog("ai2", "null", kDegC, "burn-out"), Analog("ai3", "12.5", kDegC),
         Analog("ai4", "12.5", "mA"), Analog("ai5", "null", "mA", "disabled"),
         Analog("ai6", "12.5", "mA"), Analog("ai7", "12.5", "mA")});
    Strings r550;
    for (int i = 0; i < 8; ++i) r550.push_back(Digital("di" + std::to_string(i), false, (0xA5 >> i) & 1 ? "true" : "false"));
    for (int i = 0; i < 8; ++i) r550.push_back(Digital("do" + std::to_string(i), true, (0x5A >> i) & 1 ? "true" : "false"));
    Strings r550m;
    for (int i = 0; i < 8; ++i) r550m.push_back(Digital("di" + std::to_string(i), false, (0x5A >> i) & 1 ? "true" : "false"));
    for (int i = 0; i < 8; ++i) r550m.push_back(Digital("do" + std::to_string(i), true, (0x81 >> i) & 1 ? "true" : "false"));

    struct Row {
        Strings args;
        std::string head, points;
    };
    const Row rows[] = {
        {{"--address", "09"}, R"({"address":"09","model":"R270P","protocol":"ascii")", analogAscii},
        {{"--address", "11", "--modbus", "--turnaround", "0"},
         R"({"address":"11","model":"R270P","protocol":"modbus")", analogModbus},
        {{"--address", "0a", "--model", "r550"}, R"({"address":"0A","model":"R550","protocol":"ascii")",
         Array(r550)},
        {{"--modbus", "--address", "0C", "--turnaround", "0"},
         R"({"address":"0C","model":"R550","protocol":"modbus")", Array(r550m)},
        {{"--address", "0D", "--checksum"}, R"({"address":"0D","model":"R550","protocol":"checksum")",
         Array(r550)},
    };
    for (const Row& row : rows) {
        const auto r = Tavo(With(With({"read", "--port", sim.path(), "--json"}, row.args), {}));
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(JsonPoints(r.out, row.head), row.points) << row.args[1];
    }
    // The wire behind the numbers: the data reads answer these bytes.
    auto port = sim.Open();
    EXPECT_EQ(test::Send(*port, "#09").reply,
              ">+0141.5+1500.0+888888+0012.5+12.500+00.000+12.500+12.500\r");
    EXPECT_EQ(test::Send(*port, "$0A6").reply, "!5AA5\r"); // outputs, then inputs
    TavoModbusCOM modbus(port.get());
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(modbus.ReadHoldingRegisters(0x11, 1, 1) && modbus.ReadResponse(data));
    EXPECT_EQ(data, (std::vector<std::uint8_t>{0x80, 0x00}));
}

// The table: one line a point; a module that sends garbage gives `failed`, never a
// number; a module that does not answer is status 1.
TEST(PointsCli, ReadTableGarbageAndSilence) {
    test::SimBus sim("0A R550 inputs=A5 garbage=#1\n");
    auto r = Tavo({"read", "--port", sim.path(), "--address", "0A", "--model", "R550"});
    EXPECT_EQ(r.status, 0) << r.out;
    const Strings lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 16u) << r.out;
    for (const auto& line : lines)
        EXPECT_TRUE(std::regex_match(line, std::regex(R"(d[io][0-7] +- +failed)"))) << line;
    r = Tavo({"read", "--port", sim.path(), "--address", "0A"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Lines(r.out).front(), "di0       1     good");
    EXPECT_EQ(Lines(r.out).back(), "do7       0     good");

    r = Tavo({"read", "--port", sim.path(), "--address", "0B", "--timeout", "20"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "tavo: no answer from the module at 0B to the name request (ascii; check the "
                     "address, the protocol options, the baud rate and the wiring)\n");
    r = Tavo({"read", "--port", sim.path(), "--address", "0B", "--model", "R550", "--timeout", "20"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Lines(r.out).size(), 17u) << r.out;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("\ndo7 +- +failed\ntavo: no answer from the module "
                                                    "at 0B to any request")))
        << r.out;
}

// A slot without --model: the rack is asked which module sits there, as the search
// reads its slot nodes, and the slot is read as that module. A slot that holds
// nothing to read is one line and status 2 after the rack's answer, nothing more.
TEST(PointsCli, ReadASlotAsksTheRackWhatSitsThere) {
    test::SimBus sim("01 K100 firmware=A3.10 slots=K520,- in0=A53C\n09 R270P\n");
    auto r = Tavo({"read", "--port", sim.path(), "--address", "01", "--slot", "0", "--json"});
    EXPECT_EQ(r.status, 0) << r.out;
    Strings inputs;
    for (int i = 0; i < 16; ++i)
        inputs.push_back(Digital("di" + std::to_string(i), false, (0xA53C >> i) & 1 ? "true" : "false"));
    EXPECT_EQ(JsonPoints(r.out, R"({"address":"01S0","model":"K520","protocol":"ascii")"), Array(inputs));
    const Strings heard = Received(sim, 0x01);
    ASSERT_GE(heard.size(), 3u);
    EXPECT_EQ(Strings(heard.begin(), heard.begin() + 2), (Strings{"$01M", "$01T"}));
    // The same slot of a rack speaking Modbus: the rack's blocks say what sits there.
    test::SimBus modbus("07 K100EM firmware=A3.10 slots=K520 in0=A53C\n");
    r = Tavo({"read", "--port", modbus.path(), "--address", "07", "--slot", "0", "--modbus",
              "--turnaround", "0", "--json"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(JsonPoints(r.out, R"({"address":"07S0","model":"K520","protocol":"modbus")"), Array(inputs));

    struct Row {
        Strings args;
        std::string says;
        Strings heard;
    };
    for (const Row& row : {
             Row{{"--address", "01", "--slot", "1"}, "tavo: slot 1 of the K100 at 01 is empty\n", {"$01M", "$01T"}},
             Row{{"--address", "01", "--slot", "5"},
                 "tavo: slot 5 is outside the K100 at 01 (slots 0 to 3)\n", {"$01M"}},
             Row{{"--address", "09", "--slot", "0"},
                 "tavo: the module at 09 (R270P) is no rack: it has no slots\n", {"$09M"}},
         }) {
        r = Tavo(With({"read", "--port", sim.path()}, row.args));
        EXPECT_EQ(r.status, 2) << row.args[3];
        EXPECT_EQ(r.out, row.says);
        EXPECT_EQ(Received(sim, static_cast<unsigned>(std::stoi(row.args[1], nullptr, 16))), row.heard);
    }
    // With the model given, a slot beyond the rack reads failed, with the reason.
    r = Tavo({"read", "--port", sim.path(), "--address", "01", "--slot", "5", "--model", "K520"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("\ndi15 +- +failed\ntavo: slot 5 is outside the "
                                                    "rack at 01, which has 4 slots\n$")))
        << r.out;
}

// ---- bad input ----

// Every argument that cannot be right: one line, status 2, and not one byte on the
// line.
TEST(PointsCli, BadInputIsOneLineStatusTwoAndNothingSent) {
    test::SimBus sim("09 R270P\n0A R550\n01 R250\n");
    test::TempDir dir;
    const std::vector<std::pair<Strings, std::string>> rows = {
        {{"read", "--address", "9"}, "--address takes two hexadecimal digits"},
        {{"read", "--address", "0x9"}, "--address takes two hexadecimal digits"},
        {{"read", "--address", "1G"}, "--address takes two hexadecimal digits"},
        {{"read", "--address", "009"}, "--address takes two hexadecimal digits"},
        {{"read", "--address", "09", "--slot", "8", "--model", "K220"}, "--slot takes the slot's number"},
        {{"read", "--address", "09", "--slot", "-1"}, "--slot takes the slot's number"},
        {{"read", "--address", "09", "--model", "R999"}, "unknown model 'R999'"},
        {{"read", "--address", "09", "--model", "K100"}, "K100 is a rack controller"},
        {{"read", "--address", "09", "--modbus", "--checksum"}, "give --modbus or --checksum"},
        {{"read", "--address", "09", "--address", "0A"}, "takes one --address"},
        {{"read", "--address", "00", "--modbus"}, "Modbus broadcast"},
        {{"read", "--address", "09", "--interval", "5"}, "unknown option '--interval'"},
        {{"read", "--address", "09", "--baud", "9601"}, "--baud must be one of"},
        {{"write", "--address", "09", "--model", "R270P", "ai0", "5"}, "ai0 is an input"},
        {{"write", "--address", "09", "--model", "R270P", "ai8", "5"}, "R270P has no point ai8"},
        {{"write", "--address", "0A", "--model", "R550", "do1", "2"}, "no value for the digital point do1"},
        {{"write", "--address", "0A", "--model", "R550", "do1"}, "takes the point and its value"},
        {{"write", "--address", "01", "--model", "R250", "ao0", "10.5"}, "outside the range of ao0"},
        {{"write", "--address", "01", "--model", "R250", "ao0", "4,5"}, "'4,5' is not a number"},
        {{"write", "--address", "01", "--model", "R250", "ao0", "nan"}, "'nan' is not a number"},
        {{"watch", "--address", "09", "--address", "09"}, "the module at 09 is given twice"},
        {{"watch", "--address", "09", "--interval", "-1"}, "--interval must be a number"},
        {{"watch", "--address", "09", "--csv", ""}, "--csv needs a file name"},
        {{"watch", "--address", "09", "--model", "R270P", "--csv", dir.File("no/such/folder.csv")},
         "cannot open the CSV file"},
        {{"watch", "--address", "09", "--model", "R270P", "--csv", "/dev/full"},
         "cannot write the CSV file /dev/full"},
        {{"write", "--address", "01", "--model", "R250", "ao0", "4\n5"}, "'4?5' is not a number"},
    };
    for (const auto& [args, says] : rows) {
        Strings argv = {args[0], "--port", sim.path()};
        argv.insert(argv.end(), args.begin() + 1, args.end());
        const auto r = Tavo(argv);
        std::string line = args[0];
        for (std::size_t i = 1; i < args.size(); ++i) line += " " + args[i];
        EXPECT_EQ(r.status, 2) << line << "\n" << r.out;
        EXPECT_EQ(r.out.rfind("tavo: ", 0), 0u) << line << "\n" << r.out;
        EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << line << "\n" << r.out;
        EXPECT_NE(r.out.find(says), std::string::npos) << line << "\n" << r.out;
        EXPECT_EQ(BytesHeard(sim), 0u) << line;
    }
    // A module that names a model without points of its own: one line, status 2,
    // after the name request alone.
    test::SimBus rack("40 K100\n");
    const auto r = Tavo({"read", "--port", rack.path(), "--address", "40"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "tavo: the module at 40 answers as K100: K100 is a rack controller: its values "
                     "are its slots' (give the slot)\n");
    EXPECT_EQ(Received(rack, 0x40), Strings{"$40M"});
}

// ---- tavo write ----

// The write is the panel's own command (the output button's, the Output button's),
// then the module is read back and the point printed.
TEST(PointsCli, WriteSendsThePanelsCommandAndPrintsTheReadBack) {
    test::SimBus sim("01 R250 type=02\n03 R550\n");
    auto r = Tavo({"write", "--port", sim.path(), "--address", "03", "--model", "R550", "do3", "1"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "do3  1  good\n");
    EXPECT_EQ(Received(sim, 0x03), (Strings{"#031301", "$036"})); // as the R550 panel
    r = Tavo({"write", "--port", sim.path(), "--address", "03", "do3", "off", "--json"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(JsonPoints(r.out, R"({"address":"03","model":"R550","protocol":"ascii")"),
              "[" + Point("do3", "digital-output", "false", "", "good") + "]");
    EXPECT_EQ(Received(sim, 0x03), (Strings{"$03M", "#031300", "$036"}));

    // Over Modbus: the output button's one coil, as the Modbus panel writes it.
    test::SimBus modbus("0A R550 protocol=modbus\n");
    r = Tavo({"write", "--port", modbus.path(), "--address", "0A", "--modbus", "--turnaround", "0",
              "--model", "R550", "do3", "on"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "do3  1  good\n");
    const Strings coils = Received(modbus, 0x0A);
    ASSERT_FALSE(coils.empty());
    EXPECT_EQ(coils.front(), "0A050013FF00");
    EXPECT_EQ(std::count_if(coils.begin(), coils.end(), [](const std::string& f) { return f.rfind("0A05", 0) == 0; }), 1);

    // An output whose group tripped on over-current: the module took the write that
    // tripped it (the read-back says what the output does), and refuses the next
    // one of that group: status 1, one line that says so.
    test::SimBus tripping("0C R560SO overload=010\n");
    r = Tavo({"write", "--port", tripping.path(), "--address", "0C", "do4", "1"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "do4  0  good\n");
    r = Tavo({"write", "--port", tripping.path(), "--address", "0C", "do5", "1"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(r.out.rfind("tavo: ", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << r.out;

    // The excitation output: the panel's Output command for 4.1 V, once.
    r = Tavo({"write", "--port", sim.path(), "--address", "01", "--model", "R250", "ao0", "4.1"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "ao0  4.1 V  good\n");
    const Strings sent = Received(sim, 0x01);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "$01704.100"), 1) << ::testing::PrintToString(sent);
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(), [](const std::string& c) { return c.rfind("$017", 0) == 0; }), 1);
}

// The outputs: what the module holds, in the unit of each channel's range, and the
// panel's Output command for one channel (the bytes the R330's points send, ASCII and
// Modbus), read back.
TEST(PointsCli, OutputsReadInTheirRangesAndWriteThePanelsCommand) {
    test::SimBus sim("01 R330 outrange=30,31,32,32 startup=5 di=05\n"
                     "02 R330 protocol=modbus outrange=30,31,32,32 startup=5 di=0A\n");
    auto r = Tavo({"read", "--port", sim.path(), "--address", "01", "--json"});
    EXPECT_EQ(r.status, 0) << r.out;
    Strings points;
    const char* units[] = {"mA", "mA", "V", "V"};
    for (int n = 0; n < 4; ++n) points.push_back(Point("ao" + std::to_string(n), "analog-output", "5", units[n], "good"));
    for (int n = 0; n < 4; ++n) points.push_back(Digital("di" + std::to_string(n), false, (0x05 >> n) & 1 ? "true" : "false"));
    EXPECT_EQ(JsonPoints(r.out, R"({"address":"01","model":"R330","protocol":"ascii")"), Array(points));
    Received(sim, 0x01);
    r = Tavo({"write", "--port", sim.path(), "--address", "01", "--model", "R330", "ao1", "12.5"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "ao1  12.5 mA  good\n");
    Strings sent = Received(sim, 0x01);
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(), [](const std::string& c) { return c[0] == '#'; }), 1)
        << ::testing::PrintToString(sent);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "#01C1+12.500"), 1) << ::testing::PrintToString(sent);
    // 21 is beyond every range the model has: refused before anything is sent. 2 mA
    // is within the model's ranges but not the 4 to 20 mA the channel is set to:
    // refused after the ranges are read, before the value goes out.
    r = Tavo({"write", "--port", sim.path(), "--address", "01", "--model", "R330", "ao1", "21"});
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_EQ(r.out, "tavo: 21 is outside the range of ao1 (-10 to 20)\n");
    EXPECT_TRUE(Received(sim, 0x01).empty());
    r = Tavo({"write", "--port", sim.path(), "--address", "01", "--model", "R330", "ao1", "2"});
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_EQ(r.out, "tavo: 2 is outside the range of ao1 (4 to 20 mA)\n");
    sent = Received(sim, 0x01);
    EXPECT_FALSE(sent.empty());
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(), [](const std::string& c) { return c[0] == '#'; }), 0)
        << ::testing::PrintToString(sent);

    // Modbus: ao2's register (3) takes 4095 for 10 V, as the panel writes it.
    r = Tavo({"write", "--port", sim.path(), "--address", "02", "--modbus", "--turnaround", "0", "ao2", "10"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "ao2  10 V  good\n");
    sent = Received(sim, 0x02);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "020600020FFF"), 1) << ::testing::PrintToString(sent);
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(), [](const std::string& f) { return f.rfind("0206", 0) == 0; }), 1);
}

// ---- tavo watch ----

const std::regex kChangeLine(R"((\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z) ([0-9A-F]{2}) ([a-z]+\d+) (\S+)( \S+)? ([a-z-]+))");

struct Change {
    std::string address, point, value, quality;
};
bool ParseChange(const std::string& line, Change& change) {
    std::smatch m;
    if (!std::regex_match(line, m, kChangeLine)) return false;
    change = {m[2], m[3], m[4], m[6]};
    return true;
}

// Reads change lines until `done` says so; other lines (notes) are kept in `notes`.
template <class Done>
std::vector<Change> ReadChanges(test::Child& child, Strings& notes, Done done) {
    std::vector<Change> changes;
    std::string line;
    while (!done(changes) && child.ReadLine(line)) {
        Change c;
        if (ParseChange(line, c)) changes.push_back(c);
        else notes.push_back(line);
    }
    return changes;
}

// Only what changed is printed; Ctrl-C ends the watch after the transaction under
// way, with status 0 and a CSV file of whole rows: every point of every poll.
TEST(PointsCli, WatchPrintsWhatChangedAndCtrlCLeavesTheCsvWhole) {
    test::SimBus sim("09 R270P value=12.5 pattern0=4,12,20\n");
    test::TempDir dir;
    const std::string csv = dir.File("log.csv");
    test::Child watch({TAVO_CLI, "watch", "--port", sim.path(), "--address", "09", "--model",
                       "R270P", "--interval", "20", "--csv", csv});
    Strings notes;
    const auto changes = ReadChanges(watch, notes, [](const auto& c) { return c.size() >= 14; });
    const int status = watch.Stop(SIGINT);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(notes.empty()) << notes.front();
    ASSERT_EQ(changes.size(), 14u);
    for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(changes[i].point, "ai" + std::to_string(i));
    EXPECT_EQ(changes[1].value, "12.5");
    for (std::size_t i = 8; i < changes.size(); ++i) {
        // The held channels do not change; the stepping one does, at every poll.
        EXPECT_EQ(changes[i].point, "ai0");
        EXPECT_NE(changes[i].value, (i == 8 ? changes[0] : changes[i - 1]).value);
        EXPECT_TRUE(changes[i].value == "4" || changes[i].value == "12" || changes[i].value == "20")
            << changes[i].value;
    }

    const std::string text = FileText(csv);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    const Strings rows = Lines(text);
    EXPECT_EQ(rows.front(), "time,address,point,value,unit,quality");
    // Whole polls only: eight rows each, at least as many polls as were printed.
    EXPECT_EQ((rows.size() - 1) % 8, 0u) << text;
    EXPECT_GE(rows.size() - 1, 7u * 8);
    const std::regex row(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z,09,ai[0-7],-?[0-9.]+,(°C|mA),good)");
    for (std::size_t i = 1; i < rows.size(); ++i)
        EXPECT_TRUE(std::regex_match(rows[i], row)) << rows[i];

    // Run again: the rows go after the ones there, without a second header.
    test::Child again({TAVO_CLI, "watch", "--port", sim.path(), "--address", "09", "--model",
                       "R270P", "--csv", csv});
    ReadChanges(again, notes, [](const auto& c) { return c.size() >= 8; });
    EXPECT_EQ(again.Stop(SIGTERM), 0);
    const Strings more = Lines(FileText(csv));
    EXPECT_EQ(std::count(more.begin(), more.end(), rows.front()), 1);
    EXPECT_EQ(more.size(), rows.size() + 8);
}

// JSON Lines: one object a poll that changed something, holding the points it changed.
TEST(PointsCli, WatchJsonLinesHoldThePointsThatChanged) {
    test::SimBus sim("09 R270P value=12.5 pattern0=4,12,20\n");
    test::Child watch({TAVO_CLI, "watch", "--port", sim.path(), "--address", "09", "--json",
                       "--interval", "20"});
    Strings objects;
    std::string line;
    while (objects.size() < 3 && watch.ReadLine(line)) objects.push_back(line);
    EXPECT_EQ(watch.Stop(SIGINT), 0);
    ASSERT_EQ(objects.size(), 3u);
    const std::string head = R"({"address":"09","model":"R270P","protocol":"ascii")";
    const std::string all = JsonPoints(objects[0] + "\n", head);
    EXPECT_EQ(std::count(all.begin(), all.end(), '{'), 8) << all;
    for (std::size_t i = 1; i < objects.size(); ++i) {
        const std::string points = JsonPoints(objects[i] + "\n", head);
        EXPECT_TRUE(std::regex_match(points, std::regex(R"(\[\{"name":"ai0","kind":"analog-input","value":(4|12|20),"unit":"°C","quality":"good"\}\])")))
            << points;
    }
}

// The CSV file reaches the size the system lets it have: one line, status 2, and the
// rows before it stay whole.
TEST(PointsCli, WatchStopsWithOneLineWhenTheCsvCannotBeWritten) {
    test::SimBus sim("0A R550 inputs=A5\n");
    test::TempDir dir;
    const std::string csv = dir.File("full.csv");
    // The limit is the program's: it holds for the spawn only.
    rlimit own{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &own), 0);
    rlimit small = own;
    small.rlim_cur = 3000; // the header and four polls of 16 rows
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    auto watch = std::make_unique<test::Child>(
        Strings{TAVO_CLI, "watch", "--port", sim.path(), "--address", "0A", "--model", "R550",
                "--interval", "0", "--csv", csv});
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &own), 0);
    const test::Run r = watch->Wait();
    EXPECT_EQ(r.status, 2) << r.out;
    const Strings out = Lines(r.out);
    EXPECT_EQ(std::count_if(out.begin(), out.end(), [](const std::string& l) { return l.rfind("tavo: ", 0) == 0; }), 1);
    EXPECT_EQ(out.back(), "tavo: cannot write the CSV file " + csv +
                              ": File too large; it keeps the rows written before");
    const std::string text = FileText(csv);
    EXPECT_LE(text.size(), 3000u);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    const Strings rows = Lines(text);
    EXPECT_EQ(rows.size(), 1u + 4 * 16) << text;
}

// A module that falls silent turns failed, told once; the others go on, and it comes
// back by itself.
TEST(PointsCli, WatchGoesOnWithTheOthersWhenAModuleFallsSilent) {
    test::SimBus sim("09 R270P value=12.5 pattern0=4,12,20\n0A R550 inputs=A5\n");
    test::Child watch({TAVO_CLI, "watch", "--port", sim.path(), "--address", "09", "--address",
                       "0A", "--interval", "20", "--timeout", "20"});
    Strings notes;
    const auto count = [](const std::vector<Change>& changes, const std::string& address,
                          const std::string& quality) {
        return std::count_if(changes.begin(), changes.end(), [&](const Change& c) {
            return c.address == address && c.quality == quality;
        });
    };
    auto changes = ReadChanges(watch, notes, [&](const auto& c) { return count(c, "0A", "good") == 16; });
    {
        std::lock_guard lock(sim.bus().mutex());
        sim.module(0x0A).faults().noReply.probability = 1;
    }
    // Failed once for each of its points, while the other module's values go on.
    changes = ReadChanges(watch, notes, [&](const auto& c) {
        return count(c, "0A", "failed") == 16 && count(c, "09", "good") >= 6;
    });
    changes = ReadChanges(watch, notes, [&](const auto& c) { return count(c, "09", "good") >= 6; });
    EXPECT_EQ(count(changes, "0A", "failed"), 0);
    {
        std::lock_guard lock(sim.bus().mutex());
        sim.module(0x0A).faults().noReply.probability = 0;
    }
    changes = ReadChanges(watch, notes, [&](const auto& c) { return count(c, "0A", "good") == 16; });
    EXPECT_EQ(watch.Stop(SIGINT), 0);
    EXPECT_TRUE(notes.empty()) << notes.front();
}

// The adapter goes away and comes back: the watch says so once each way on standard
// error, its points turn failed once, and it reads the module again by itself.
TEST(PointsCli, WatchSurvivesALostAndReturnedPort) {
    test::TempDir dir;
    const std::string link = dir.File("bus");
    sim::Bus bus;
    std::string error;
    ASSERT_TRUE(sim::LoadBusText("0A R550 inputs=A5\n", bus, error)) << error;
    auto server = std::make_unique<sim::PtyServer>(bus);
    ASSERT_TRUE(server->Start(error, link)) << error;
    test::Child watch({TAVO_CLI, "watch", "--port", link, "--address", "0A", "--interval", "20",
                       "--timeout", "20"});
    Strings notes;
    const auto good = [](const std::vector<Change>& c) {
        return std::count_if(c.begin(), c.end(), [](const Change& x) { return x.quality == "good"; }) == 16;
    };
    ReadChanges(watch, notes, good);
    server->Stop(); // unplugged
    server.reset();
    const auto failed = ReadChanges(watch, notes, [](const auto& c) { return c.size() == 16; });
    for (const Change& c : failed) EXPECT_EQ(c.quality, "failed") << c.point;
    server = std::make_unique<sim::PtyServer>(bus); // plugged in again
    ASSERT_TRUE(server->Start(error, link)) << error;
    ReadChanges(watch, notes, good);
    EXPECT_EQ(watch.Stop(SIGINT), 0);
    server->Stop();
    ASSERT_EQ(notes.size(), 2u) << ::testing::PrintToString(notes);
    EXPECT_EQ(notes[0].rfind("tavo: port " + link + " lost (", 0), 0u) << notes[0];
    EXPECT_EQ(notes[1], "tavo: port " + link + " is back");
}

} // namespace
} // namespace tavo
