// The tavo command-line tool, run as a program against the simulator.
#include "sim/boot_loader.h"
#include "support/firmware_files.h"
#include "support/run_tavo.h"
#include "support/sim_bus.h"

#include <gtest/gtest.h>

namespace tavo {
namespace {

using test::Tavo;

TEST(Cli, SendPrintsRepliesAndExitsByResult) {
    test::SimBus sim("01 R210D firmware=A1.02\n02 R550 checksum\n");
    const std::string port = "--port " + sim.path();
    auto r = Tavo("send " + port + " '$01M' '$01F'");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("$01M\t!01R210D\t"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("$01F\t!01A1.02\t"), std::string::npos) << r.out;
    r = Tavo("send " + port + " --timeout 20 '$02M'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("$02M\tTimeout!\t"), std::string::npos) << r.out;
    r = Tavo("send " + port + " --checksum '$02M'");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("!02R550\t"), std::string::npos) << r.out; // checksum removed
    r = Tavo("send " + port + " '$01Q'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("?01"), std::string::npos);
}

TEST(Cli, ModbusPrintsDataBytes) {
    test::SimBus sim("0A R560SO protocol=modbus\n");
    const std::string base = "modbus --port " + sim.path() + " --slave 10 ";
    auto r = Tavo(base + "read-holding 211 2");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "15 60 53 4F\n");
    r = Tavo(base + "read-holding 10001 2");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("exception 2"), std::string::npos) << r.out;
}

TEST(Cli, SearchPrintsThePortBranchAsTheTreeExportDoes) {
    test::SimBus sim("01 R210D\n02 R550 checksum\n03 R560SO protocol=modbus\n04 R860\n");
    const std::string base = "search --port " + sim.path() + " --timeout 10 --start 1 --end 4";
    auto r = Tavo(base);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.rfind(sim.path() + "\r\n\t(01)R210D\r\n\t(02)R550\r\n\t(03)R560SO\r\n"
                                       "\t(04)R860\r\n\t\t(DO0)\r\n", 0),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("\t\t(DO7)\r\n"), std::string::npos);
    r = Tavo(base + " --kinds");
    EXPECT_NE(r.out.find("\t(02)R550\t1\r\n\t(03)R560SO\t2\r\n"), std::string::npos) << r.out;
    EXPECT_EQ(Tavo("search --port " + sim.path() + " --start 9 --end 3").status, 2);
    EXPECT_EQ(Tavo("search --port " + sim.path() + " --start 300").status, 2);
}

TEST(Cli, SearchOptionsNarrowTheProbesAndSweepLineSettings) {
    test::SimBus sim("01 R210D baud=19200\n02 R550 checksum\n03 R560SO protocol=modbus baud=19200\n");
    const std::string base = "search --port " + sim.path() + " --timeout 10 --turnaround 0 --start 1 --end 3";
    auto r = Tavo(base + " --probes checksum,modbus");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, sim.path() + "\r\n\t(02)R550\r\n") << r.out;
    // Each module is listed with the settings it answered at; a rate the port
    // refuses is skipped with one message; a pty refuses parity.
    r = Tavo(base + " --kinds --bauds 9600,250000,19200 --parities N,E");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\t(02)R550\t1\t9600, N, 8, 1\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\t(01)R210D\t0\t19200, N, 8, 1\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\t(03)R560SO\t2\t19200, N, 8, 1\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("tavo: Skipped 250000, N, 8, 1: the port refuses it (unsupported line "
                         "settings)\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("tavo: Skipped 9600, E, 8, 1: the port refuses it"), std::string::npos);
    EXPECT_EQ(r.out.find("(04)"), std::string::npos);
    r = Tavo("search --port " + sim.path() + " --timeout 10 --start 1 --end 1 --bauds 250000");
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find("refused every line setting"), std::string::npos) << r.out;
}

TEST(Cli, VersionAndTurnaround) {
    auto r = Tavo("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("tavo ", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1);
    test::SimBus sim("0A R560SO protocol=modbus\n");
    r = Tavo("modbus --port " + sim.path() + " --slave 10 --turnaround 4 read-holding 211 2");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "15 60 53 4F\n");
    for (const char* bad : {"--turnaround 101", "--turnaround -1", "--turnaround x"}) {
        r = Tavo("modbus --port " + sim.path() + " --slave 10 " + bad + " read-holding 211 2");
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.out.find("--turnaround must be a number from 0 to 100"), std::string::npos)
            << r.out;
    }
}

TEST(Cli, WrongArgumentsAndPortsExitWithTwo) {
    for (const char* args : {"", "bogus", "send", "send --port", "send --port /dev/null",
                             "send --port X --baud 1234 '$01M'", "send --port X --parity Q '$01M'",
                             "modbus --port X read-holding 1 1", "modbus --port X --slave 1 frob",
                             "modbus --port X --slave 1 read-holding 1 200", "sim",
                             "sim /nonexistent/bus.txt", "ports extra", "firmware",
                             "firmware flash --port X f", "firmware r8xx --port X",
                             "firmware rack --port X f.img",
                             "firmware r8xx --port X --version A f.hex",
                             "search --port X --probes ascii,serial", "search --port X --probes ''",
                             "search --port X --bauds 9600,,19200", "search --port X --bauds fast",
                             "search --port X --parities N,X", "search --port X --parity E --bauds 9600",
                             "search --port X --probes ascii --parities E",
                             "search --port X --turnaround 150"}) {
        const auto r = Tavo(args);
        EXPECT_EQ(r.status, 2) << args << "\n" << r.out;
        EXPECT_NE(r.out.find("tavo"), std::string::npos) << args;
    }
    const auto r = Tavo("send --port /dev/ttyNOSUCH9 '$01M'");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("is the adapter plugged in"), std::string::npos) << r.out;
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
    const std::string base = "firmware r8xx --port " + sim.path() + " ";

    auto r = Tavo(base + dir.File("bad.hex"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Read data from image fail!\n" + dir.File("bad.hex") + ": line 2: 'x'"),
              std::string::npos)
        << r.out;
    r = Tavo(base + dir.File("none.hex"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Open file failed!"), std::string::npos) << r.out;
    r = Tavo(base + dir.File("r860.hex"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Target module is Tavo-R850, continue anyway?"), std::string::npos)
        << r.out;
    {
        std::lock_guard lock(sim.bus().mutex());
        auto* loader = sim.module(0).Find<sim::R8xxBootLoader>();
        ASSERT_NE(loader, nullptr);
        EXPECT_FALSE(loader->DownloadRequested()); // nothing was sent
    }
    r = Tavo(base + dir.File("r850.hex"));
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
    const auto r = Tavo("firmware rack --port " + sim.path() +
                            " --designation K100E --version A1.00 " + dir.File("rack.img"),
                        "XDG_DATA_HOME=" + dir.path());
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
