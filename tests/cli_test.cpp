// The tavo command-line tool, run as a program against the simulator.
#include "sim/boot_loader.h"
#include "support/firmware_files.h"
#include "support/run_tavo.h"
#include "support/sim_bus.h"

#include <gtest/gtest.h>

namespace tavo {
namespace {

using test::Tavo;

std::vector<std::string> With(std::vector<std::string> base, const std::vector<std::string>& more) {
    base.insert(base.end(), more.begin(), more.end());
    return base;
}

TEST(Cli, SendPrintsRepliesAndExitsByResult) {
    test::SimBus sim("01 R210D firmware=A1.02\n02 R550 checksum\n");
    auto r = Tavo({"send", "--port", sim.path(), "$01M", "$01F"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("$01M\t!01R210D\t"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("$01F\t!01A1.02\t"), std::string::npos) << r.out;
    r = Tavo({"send", "--port", sim.path(), "--timeout", "20", "$02M"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("$02M\tTimeout!\t"), std::string::npos) << r.out;
    r = Tavo({"send", "--port", sim.path(), "--checksum", "$02M"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("!02R550\t"), std::string::npos) << r.out; // checksum removed
    r = Tavo({"send", "--port", sim.path(), "$01Q"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("?01"), std::string::npos);
}

TEST(Cli, ModbusPrintsDataBytes) {
    test::SimBus sim("0A R560SO protocol=modbus\n");
    const std::vector<std::string> base = {"modbus", "--port", sim.path(), "--slave", "10"};
    auto r = Tavo(With(base, {"read-holding", "211", "2"}));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "15 60 53 4F\n");
    r = Tavo(With(base, {"read-holding", "10001", "2"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("exception 2"), std::string::npos) << r.out;
}

// The simulator answers at once: a long time-out costs only the silent probes, and
// a loaded machine cannot make a module miss its probe.
TEST(Cli, SearchPrintsThePortBranchAsTheTreeExportDoes) {
    test::SimBus sim("01 R210D\n02 R550 checksum\n03 R560SO protocol=modbus\n04 R860\n");
    const std::vector<std::string> base = {"search", "--port", sim.path(), "--timeout", "100",
                                           "--start", "1", "--end", "4"};
    auto r = Tavo(base);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.rfind(sim.path() + "\r\n\t(01)R210D\r\n\t(02)R550\r\n\t(03)R560SO\r\n"
                                       "\t(04)R860\r\n\t\t(DO0)\r\n", 0),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("\t\t(DO7)\r\n"), std::string::npos);
    r = Tavo(With(base, {"--kinds"}));
    EXPECT_NE(r.out.find("\t(02)R550\t1\r\n\t(03)R560SO\t2\r\n"), std::string::npos) << r.out;
}

TEST(Cli, SearchOptionsNarrowTheProbesAndSweepLineSettings) {
    test::SimBus sim("01 R210D baud=19200\n02 R550 checksum\n03 R560SO protocol=modbus baud=19200\n");
    const std::vector<std::string> base = {"search", "--port", sim.path(), "--timeout", "100",
                                           "--turnaround", "0", "--start", "1", "--end", "3"};
    auto r = Tavo(With(base, {"--probes", "checksum,modbus"}));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, sim.path() + "\r\n\t(02)R550\r\n") << r.out;
    // Each module is listed with the settings it answered at; a rate the port
    // refuses is skipped with one message; a pty refuses parity.
    r = Tavo(With(base, {"--kinds", "--bauds", "9600,250000,19200", "--parities", "N,E"}));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\t(02)R550\t1\t9600, N, 8, 1\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\t(01)R210D\t0\t19200, N, 8, 1\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\t(03)R560SO\t2\t19200, N, 8, 1\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("tavo: Skipped 250000, N, 8, 1: the port refuses it (unsupported line "
                         "settings)\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("tavo: Skipped 9600, E, 8, 1: the port refuses it"), std::string::npos);
    EXPECT_EQ(r.out.find("(04)"), std::string::npos);
    r = Tavo({"search", "--port", sim.path(), "--timeout", "10", "--start", "1", "--end", "1",
              "--bauds", "250000"});
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find("refused every line setting"), std::string::npos) << r.out;
}

TEST(Cli, VersionAndTurnaround) {
    auto r = Tavo({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("tavo ", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1);
    test::SimBus sim("0A R560SO protocol=modbus\n");
    const std::vector<std::string> base = {"modbus", "--port", sim.path(), "--slave", "10"};
    r = Tavo(With(base, {"--turnaround", "4", "read-holding", "211", "2"}));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "15 60 53 4F\n");
}

// Each row is wrong in one way only, on a port that works: exit status 2 must come
// from that mistake, said in its own words before the usage text, and nothing may
// reach the bus.
TEST(Cli, WrongArgumentsExitWithTwoAndSayWhatIsWrong) {
    test::SimBus sim("01 R210D\n0A R560SO protocol=modbus\n05 R8XX target=R850\n");
    const std::string P = sim.path();
    struct Row {
        std::vector<std::string> args;
        std::string says;
    };
    const Row rows[] = {
        {{"bogus"}, "unknown command 'bogus'"},
        {{"send", "$01M"}, "--port is required"},
        {{"send", "--port"}, "option --port needs a value"},
        {{"send", "--port", P}, "give at least one command"},
        {{"send", "--port", P, "--baud", "1234", "$01M"}, "--baud must be one of"},
        {{"send", "--port", P, "--parity", "Q", "$01M"}, "--parity must be N, E or O"},
        {{"send", "--port", P, "--count", "3", "$01M"}, "--count goes with --repeat"},
        {{"send", "--port", P, "--frob", "$01M"}, "unknown option --frob"},
        {{"modbus", "--port", P, "read-holding", "1", "1"}, "--slave is required"},
        {{"modbus", "--port", P, "--slave", "10", "frob"}, "unknown Modbus operation 'frob'"},
        {{"modbus", "--port", P, "--slave", "10", "read-holding", "1", "200"},
         "COUNT must be a number from 1 to 125"},
        {{"modbus", "--port", P, "--slave", "10", "--turnaround", "101", "read-holding", "211", "2"},
         "--turnaround must be a number from 0 to 100"},
        {{"modbus", "--port", P, "--slave", "10", "--turnaround", "-1", "read-holding", "211", "2"},
         "--turnaround must be a number from 0 to 100"},
        {{"modbus", "--port", P, "--slave", "10", "--turnaround", "x", "read-holding", "211", "2"},
         "--turnaround must be a number from 0 to 100"},
        {{"sim"}, "tavo sim takes one bus file"},
        {{"sim", "/nonexistent/bus.txt"}, "cannot read bus file /nonexistent/bus.txt"},
        {{"ports", "extra"}, "tavo ports takes no arguments"},
        {{"firmware"}, "tavo firmware needs r8xx or rack"},
        {{"firmware", "flash", "--port", P, "f"}, "tavo firmware needs r8xx or rack"},
        {{"firmware", "r8xx", "--port", P}, "tavo firmware r8xx takes one HEX file"},
        {{"firmware", "rack", "--port", P, "f.img"}, "tavo firmware rack needs --designation"},
        {{"firmware", "r8xx", "--port", P, "--version", "A", "f.hex"},
         "--designation and --version belong to 'tavo firmware rack'"},
        {{"search", "--port", P, "--start", "9", "--end", "3"}, "--end must not be below --start"},
        {{"search", "--port", P, "--start", "300"}, "--start must be a number from 0 to 255"},
        {{"search", "--port", P, "--probes", "ascii,serial"}, "--probes takes ascii, checksum and modbus"},
        {{"search", "--port", P, "--probes", ""}, "--probes has an empty item in ''"},
        {{"search", "--port", P, "--bauds", "9600,,19200"}, "--bauds has an empty item"},
        {{"search", "--port", P, "--bauds", "fast"}, "a rate in --bauds must be a number"},
        {{"search", "--port", P, "--parities", "N,X"}, "--parities takes N, E and O"},
        {{"search", "--port", P, "--parity", "E", "--bauds", "9600"},
         "--parity sets the one line setting of a plain search"},
        {{"search", "--port", P, "--probes", "ascii", "--parities", "E"},
         "parities E and O are searched with the Modbus probe only"},
        {{"search", "--port", P, "--turnaround", "150"}, "--turnaround must be a number from 0 to 100"},
    };
    for (const Row& row : rows) {
        const auto r = Tavo(row.args);
        EXPECT_EQ(r.status, 2) << row.says << "\n" << r.out;
        EXPECT_EQ(r.out.rfind("tavo: ", 0), 0u) << row.says << "\n" << r.out;
        EXPECT_NE(r.out.find(row.says), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("\nusage:\n"), std::string::npos) << row.says << "\n" << r.out;
    }
    const auto bare = Tavo({});
    EXPECT_EQ(bare.status, 2);
    EXPECT_EQ(bare.out.rfind("usage:\n", 0), 0u) << bare.out;
    std::lock_guard lock(sim.bus().mutex());
    for (const unsigned address : {0x01u, 0x0Au, 0x00u})
        EXPECT_TRUE(sim.module(address).received.empty()) << address;
}

TEST(Cli, PortThatCannotBeUsedExitsWithTwoAndSaysWhy) {
    auto r = Tavo({"send", "--port", "/dev/ttyNOSUCH9", "$01M"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("is the adapter plugged in"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("usage:"), std::string::npos) << r.out;
    r = Tavo({"send", "--port", "/dev/null", "$01M"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("is not a serial port"), std::string::npos) << r.out;
}

TEST(Cli, FirmwareR8xxSendsTheImageOrSaysWhyNot) {
    test::TempDir dir;
    const auto image = test::Pattern(700);
    test::WriteFile(dir.File("r850.hex"), test::R8xxFile("R850", image));
    test::WriteFile(dir.File("r860.hex"), test::R8xxFile("R860", image));
    std::string bad = test::R8xxFile("R850", image);
    bad[30] = 'x';
    test::WriteFile(dir.File("bad.hex"), bad);
    test::SimBus sim("05 R8XX target=R850\n");
    const std::vector<std::string> base = {"firmware", "r8xx", "--port", sim.path()};

    auto r = Tavo(With(base, {dir.File("bad.hex")}));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Read data from image fail!\n" + dir.File("bad.hex") + ": line 2: 'x'"),
              std::string::npos)
        << r.out;
    r = Tavo(With(base, {dir.File("none.hex")}));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Open file failed!"), std::string::npos) << r.out;
    r = Tavo(With(base, {dir.File("r860.hex")}));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Target module is Tavo-R850, continue anyway?"), std::string::npos)
        << r.out;
    {
        std::lock_guard lock(sim.bus().mutex());
        auto* loader = sim.module(0).Find<sim::R8xxBootLoader>();
        ASSERT_NE(loader, nullptr);
        EXPECT_FALSE(loader->DownloadRequested()); // nothing was sent
    }
    r = Tavo(With(base, {dir.File("r850.hex")}));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "Update Success, please search again!\n"); // no progress bar into a pipe
    std::lock_guard lock(sim.bus().mutex());
    auto* loader = sim.module(0).Find<sim::R8xxBootLoader>();
    ASSERT_NE(loader, nullptr);
    EXPECT_EQ(loader->Image(), std::vector<std::uint8_t>(image.begin() + 512, image.end()));
    EXPECT_TRUE(loader->ImageValid());
}

TEST(Cli, FirmwareRackNamesAMissingLoaderImage) {
    test::TempDir dir;
    test::WriteFile(dir.File("rack.img"), test::Pattern(1024 * 128));
    test::SimBus sim("01 K100 init\n");
    const auto r = Tavo({"firmware", "rack", "--port", sim.path(), "--designation", "K100E",
                         "--version", "A1.00", dir.File("rack.img")},
                        {"XDG_DATA_HOME=" + dir.path()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(
        r.out.find("Send mini-program failed!\nThe loader image \"DnW900e.img\" was not found"),
        std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(dir.File("tavo-utility/loader")), std::string::npos) << r.out;
    std::lock_guard lock(sim.bus().mutex());
    EXPECT_TRUE(sim.module(1).received.empty());
}

} // namespace
} // namespace tavo
