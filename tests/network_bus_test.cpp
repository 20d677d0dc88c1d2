// The simulated bus over the network: the simulator's own TCP port.
#include "sim/tcp_server.h"
#include "support/sim_bus.h"
#include "transport/modbus.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>

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
    // The shell prints its process id and becomes the simulator.
    FILE* sim = popen(("echo $$; exec " + std::string(TAVO_CLI) + " sim --tcp 0 " TAVO_DEMO_BUS)
                          .c_str(),
                      "r");
    ASSERT_NE(sim, nullptr);
    char line[256];
    std::string lines[3];
    for (auto& l : lines)
        if (fgets(line, sizeof line, sim)) l = line;
    const int pid = std::stoi(lines[0]);
    EXPECT_EQ(lines[1].rfind("/dev/pts/", 0), 0u) << lines[1];
    ASSERT_EQ(lines[2].rfind("tcp://127.0.0.1:", 0), 0u) << lines[2];
    lines[2].pop_back(); // the newline
    {
        auto net = OpenNet(lines[2]);
        EXPECT_EQ(test::Send(*net, "$01M").reply, "!01R210D\r");
    }
    kill(pid, SIGTERM);
    EXPECT_EQ(pclose(sim), 0);
}

} // namespace
} // namespace tavo
