// The simulated bus over the network: the simulator's own TCP port, and (when
// ser2net is installed) a real device server between the client and the bus.
#include "sim/boot_loader.h"
#include "sim/tcp_server.h"
#include "support/firmware_files.h"
#include "support/run_tavo.h"
#include "support/ser2net.h"
#include "support/sim_bus.h"
#include "transport/modbus.h"
#include "workspace/core/rack_loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sys/wait.h>
#include <filesystem>
#include <string>
#include <thread>

namespace tavo {
namespace {

std::unique_ptr<TavoComPort> OpenNet(const std::string& url, int timeoutMs = 200) {
    auto port = std::make_unique<TavoComPort>(url);
    if (!port->OpenPort() || !port->SetPortState(9600, 8, kParityNone, kOneStopBit))
        throw std::runtime_error("cannot open " + url + ": " + port->LastError().text);
    port->SetTimeOut(timeoutMs);
    return port;
}

TEST(SimTcp, ServesTheBusBesideThePseudoTerminalAndANewClientReplacesTheOld) {
    test::SimBus sim("01 R210D\n0A R560SO protocol=modbus\n");
    sim::TcpServer tcp(sim.bus());
    std::string error;
    ASSERT_TRUE(tcp.Start(error)) << error;
    ASSERT_NE(tcp.Port(), 0);
    const std::string url = "tcp://127.0.0.1:" + std::to_string(tcp.Port());
    auto net = OpenNet(url);
    auto pty = sim.Open(200);
    EXPECT_EQ(test::Send(*net, "$01M").reply, "!01R210D\r");
    // A Modbus frame ends by silence: its answer goes to the host that sent it.
    TavoModbusCOM modbus(net.get());
    modbus.SetTurnaroundDelay(0);
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(modbus.ReadHoldingRegisters(10, 211, 2));
    ASSERT_TRUE(modbus.ReadResponse(data));
    EXPECT_EQ(data, (std::vector<std::uint8_t>{0x15, 0x60, 0x53, 0x4F}));
    EXPECT_EQ(test::Send(*pty, "$01M").reply, "!01R210D\r");
    auto second = OpenNet(url);
    EXPECT_EQ(test::Send(*second, "$01M").reply, "!01R210D\r");
    EXPECT_FALSE(test::Send(*net, "$01M").ok);
    EXPECT_EQ(net->LastError().kind, PortError::Kind::Io);
}

TEST(SimTcp, CliPrintsTheChosenPortAndServesIt) {
    test::Child sim({TAVO_CLI, "sim", "--tcp", "0", TAVO_DEMO_BUS});
    std::string pty, url;
    ASSERT_TRUE(sim.ReadLine(pty));
    ASSERT_TRUE(sim.ReadLine(url));
    EXPECT_EQ(pty.rfind("/dev/pts/", 0), 0u) << pty;
    ASSERT_EQ(url.rfind("tcp://127.0.0.1:", 0), 0u) << url;
    {
        auto net = OpenNet(url);
        EXPECT_EQ(test::Send(*net, "$01M").reply, "!01R210D\r");
    }
    // The rack loader's speed changes cannot go over raw TCP.
    const auto r = test::Tavo({"firmware", "rack", "--port", url, "--designation", "K100",
                               "--version", "A1.00", "/nonexistent.bin"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("cannot change the line speed (raw TCP"), std::string::npos) << r.out;
    const int status = sim.Stop(SIGTERM);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// ---- through ser2net, raw and as Telnet with the COM-PORT-OPTION ----

using Mode = test::Ser2net::Mode;

class OverSer2net : public ::testing::TestWithParam<Mode> {
protected:
    void SetUp() override {
        if (test::Ser2net::Program().empty()) GTEST_SKIP() << "ser2net is not installed";
    }
    // ser2net bridging a free port to the bus's pseudo-terminal, running.
    std::unique_ptr<test::Ser2net> Serve(test::SimBus& sim) {
        auto server = std::make_unique<test::Ser2net>(sim.path(), GetParam());
        std::string error;
        if (!server->Start(error)) throw std::runtime_error(error);
        return server;
    }
};

INSTANTIATE_TEST_SUITE_P(Modes, OverSer2net, ::testing::Values(Mode::Raw, Mode::Rfc2217),
                         [](const ::testing::TestParamInfo<Mode>& p) { return p.param == Mode::Raw ? "Raw" : "Rfc2217"; });

TEST_P(OverSer2net, SearchSendAndModbusAnswerExactly) {
    test::SimBus sim("01 R210D firmware=A1.02\n02 R550 checksum\n03 R560SO protocol=modbus\n");
    const auto server = Serve(sim);
    const std::string url = server->Url();
    auto r = test::Tavo({"search", "--port", url, "--timeout", "30", "--start", "1", "--end", "3"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, server->Url() + "\r\n\t(01)R210D\r\n\t(02)R550\r\n\t(03)R560SO\r\n");
    r = test::Tavo({"send", "--port", url, "$01M", "$01F"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("$01M\t!01R210D\t"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("$01F\t!01A1.02\t"), std::string::npos) << r.out;
    r = test::Tavo({"modbus", "--port", url, "--slave", "3", "read-holding", "211", "2"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "15 60 53 4F\n");
}

TEST_P(OverSer2net, R8xxImageWithFfBytesArrivesIntact) {
    test::TempDir dir;
    const auto image = test::Pattern(1000);
    // The bytes past the kept first blocks hold 0xFF, which Telnet must double.
    ASSERT_NE(std::count(image.begin() + 512, image.end(), 0xFF), 0);
    test::WriteFile(dir.File("r850.hex"), test::R8xxFile("R850", image));
    test::SimBus sim("05 R8XX target=R850\n");
    const auto server = Serve(sim);
    const auto r = test::Tavo({"firmware", "r8xx", "--port", server->Url(), dir.File("r850.hex")});
    EXPECT_EQ(r.status, 0) << r.out;
    std::lock_guard lock(sim.bus().mutex());
    auto* loader = sim.module(0).Find<sim::R8xxBootLoader>();
    ASSERT_NE(loader, nullptr);
    EXPECT_EQ(loader->Image(), std::vector<std::uint8_t>(image.begin() + 512, image.end()));
    EXPECT_TRUE(loader->ImageValid());
}

// The rack loader switches the line to 38400 baud and back: over RFC 2217 through
// SET-BAUDRATE (the simulated controller hears only the right speed), over raw TCP
// refused before anything is sent.
TEST_P(OverSer2net, RackDownloadSwitchesSpeedOnlyWhereTheServerCan) {
    test::TempDir dir;
    std::filesystem::create_directories(dir.File("loader"));
    const auto loaderImage = test::Pattern(31 * 128 + 9, 3), firmware = test::Pattern(1023 * 128, 5);
    test::WriteFile(dir.File("loader/DnW900e.img"), loaderImage);
    test::WriteFile(dir.File("firmware.bin"), firmware);
    test::SimBus sim("01 K100E init firmware=A1.50\n");
    const auto server = Serve(sim);
    auto port = OpenNet(server->Url(), 150);
    RackLoader::Hooks hooks;
    // The long fixed waits shortened; the short ones between blocks skipped.
    hooks.pause = [](int ms) {
        if (ms >= 20) std::this_thread::sleep_for(std::chrono::milliseconds(ms / 10));
    };
    RackLoader loader(*port, hooks);
    loader.SetMinTimeOut(150); // a late reply on a loaded machine would send a block twice
    const int result = loader.Download("K100E", "A1.50", dir.File("firmware.bin"), {dir.path()});
    if (GetParam() == Mode::Raw) {
        EXPECT_EQ(result, kRackSetBaudFailed);
        EXPECT_NE(loader.Detail().find("raw TCP"), std::string::npos) << loader.Detail();
        std::lock_guard lock(sim.bus().mutex());
        EXPECT_TRUE(sim.module(1).received.empty());
        return;
    }
    ASSERT_EQ(result, kRackDone) << loader.Detail();
    EXPECT_EQ(port->GetLineSettings().baud, 9600u);
    for (int i = 0; i < 500; ++i) { // the last command has no reply
        std::lock_guard lock(sim.bus().mutex());
        if (sim.bus().Find(1)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::lock_guard lock(sim.bus().mutex());
    auto* rack = sim.module(1).Find<sim::RackDownload>();
    ASSERT_NE(rack, nullptr);
    EXPECT_EQ(rack->Firmware(), firmware);
}

// ser2net goes away in the middle of polling and comes back on the same port: the
// port reconnects by itself with a later request, and says so once each way.
TEST_P(OverSer2net, DroppedConnectionRecoversByItself) {
    test::SimBus sim("01 R210D\n");
    const auto server = Serve(sim);
    auto port = OpenNet(server->Url(), 100);
    std::vector<bool> events;
    port->SetLinkListener([&](bool lost, const std::string&) { events.push_back(lost); });
    ASSERT_EQ(test::Send(*port, "$01M").reply, "!01R210D\r");
    server->Stop();
    EXPECT_FALSE(test::Send(*port, "$01M").ok);
    EXPECT_TRUE(port->Lost());
    std::string error;
    ASSERT_TRUE(server->Start(error)) << error;
    bool back = false;
    for (int i = 0; i < 40 && !back; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        back = test::Send(*port, "$01M").reply == "!01R210D\r";
    }
    EXPECT_TRUE(back) << port->LastError().text;
    EXPECT_EQ(events, (std::vector<bool>{true, false}));
}

} // namespace
} // namespace tavo
