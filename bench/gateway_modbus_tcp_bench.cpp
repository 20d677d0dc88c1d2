// The gateway's Modbus TCP server against its bounds, `tavo gateway` as a child
// process and libmodbus as the client over loopback:
//   read_p99_ms     one request for the 16 cached input registers of one module
//                   (eight floats): at most 1 ms;
//   read_per_s      the same requests back to back from one client: at least 5000;
//   read_ratio      the gateway's median time for that request against a bare libmodbus
//                   TCP server's (modbus_mapping_new + modbus_reply, in a process of its own)
//                   for the same request, measured in alternating rounds: at most 1.1;
//   write_margin_ms a coil write through the gateway to an idle bus, median, less the
//                   bus transaction it needs (the same points code writing to the simulator directly,
//                   paced as the wire at 9600 baud would): at most 5 ms.
#include "points/module_points.h"
#include "sim/bus.h"
#include "sim/bus_file.h"
#include "sim/pty_server.h"
#include "support/gateway_program.h"
#include "support/process.h"
#include "support/reserved_port.h"
#include "support/temp_dir.h"
#include "transport/com_port.h"

#include <benchmark/benchmark.h>
#include <modbus/modbus.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <stdexcept>
#include <csignal>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace tavo;
using BenchClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    if (v.empty()) return 0.0;
    const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

double Ms(BenchClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Served {
    sim::Bus bus;
    std::unique_ptr<sim::PtyServer> pty;
    explicit Served(const std::string& text) {
        std::string error;
        if (!sim::LoadBusText(text, bus, error)) throw std::runtime_error(error);
        pty = std::make_unique<sim::PtyServer>(bus);
        if (!pty->Start(error)) throw std::runtime_error(error);
    }
};

// `tavo gateway` serving the bus at `port` on Modbus TCP `server`; running once its
// log says the server listens.
class GatewayProgram {
public:
    GatewayProgram(const test::TempDir& dir, const std::string& port, std::uint16_t server)
        : gateway_(Configured(dir, port, server)) {
        if (!gateway_.WaitForLine("Modbus TCP on")) throw std::runtime_error("the gateway did not start");
    }

private:
    static std::string Configured(const test::TempDir& dir, const std::string& port, std::uint16_t server) {
        const std::string path = dir.File("gateway.yaml");
        std::ofstream(path) << "modbus_tcp: {port: " << server << "}\nbuses:\n  - name: bench\n    port: \"" << port
                            << "\"\n    timeout_ms: 50\n    turnaround_ms: 0\n    poll_ms: 1000\n    modules:\n"
                               "      - {address: \"09\", protocol: ascii, model: R270P}\n"
                               "      - {address: \"0A\", protocol: ascii, model: R550, writable: [do3]}\n";
        return path;
    }
    test::Gateway gateway_;
};

// A bare libmodbus TCP server of 16 input registers, one client at a time, in a
// process of its own as the gateway is (forked before this process has any other
// thread), until it is killed.
class BareServer {
public:
    explicit BareServer(std::uint16_t port) {
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork failed");
        if (pid_ > 0) return;
        modbus_t* ctx = modbus_new_tcp("127.0.0.1", port);
        modbus_mapping_t* map = modbus_mapping_new(0, 0, 0, 16);
        int listen = modbus_tcp_listen(ctx, 1);
        if (listen < 0) _exit(1);
        while (modbus_tcp_accept(ctx, &listen) >= 0) {
            std::uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
            int n = 0;
            while ((n = modbus_receive(ctx, query)) >= 0)
                if (n > 0) modbus_reply(ctx, query, n, map);
            modbus_close(ctx);
        }
        _exit(0);
    }
    ~BareServer() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }

private:
    pid_t pid_ = -1;
};

// `count` reads of 16 input registers of `unit`: each one's time in ms.
std::vector<double> Reads(std::uint16_t port, int unit, int count) {
    modbus_t* ctx = modbus_new_tcp("127.0.0.1", port);
    if (modbus_connect(ctx) != 0) throw std::runtime_error(std::string("connect: ") + modbus_strerror(errno));
    modbus_set_slave(ctx, unit);
    std::vector<double> times;
    std::uint16_t regs[16];
    for (int i = 0; i < count; ++i) {
        const auto start = BenchClock::now();
        if (modbus_read_input_registers(ctx, 0, 16, regs) != 16)
            throw std::runtime_error(std::string("read: ") + modbus_strerror(errno));
        times.push_back(Ms(BenchClock::now() - start));
    }
    modbus_close(ctx);
    modbus_free(ctx);
    return times;
}

// Waits (at most 10 s) until a read of `unit` at `port` is answered.
void Answering(std::uint16_t port, int unit) {
    for (int tries = 0; tries < 500; ++tries) {
        try {
            Reads(port, unit, 1);
            return;
        } catch (const std::exception&) {
            std::this_thread::sleep_for(20ms);
        }
    }
}

void BM_ModbusTcpRead(benchmark::State& state) {
    test::ReservedPort barePort;
    BareServer bare(barePort.number());
    test::TempDir dir;
    Served served("09 R270P value=12.5\n0A R550\n");
    test::ReservedPort gatewayPort;
    GatewayProgram gateway(dir, served.pty->DevicePath(), gatewayPort.number());
    // The module's first poll has been answered once a read succeeds.
    Answering(gatewayPort.number(), 9);
    Answering(barePort.number(), 1);
    std::vector<double> ours, theirs, ratios;
    double perSecond = 0;
    for (auto _ : state) {
        for (int round = 0; round < 5; ++round) {
            const auto start = BenchClock::now();
            const auto g = Reads(gatewayPort.number(), 9, 4000);
            perSecond = std::max(perSecond, 4000 / std::chrono::duration<double>(BenchClock::now() - start).count());
            const auto b = Reads(barePort.number(), 1, 4000);
            ours.insert(ours.end(), g.begin(), g.end());
            theirs.insert(theirs.end(), b.begin(), b.end());
            ratios.push_back(Percentile(g, 0.5) / Percentile(b, 0.5));
        }
    }
    state.counters["read_p50_ms"] = Percentile(ours, 0.5);
    state.counters["read_p99_ms"] = Percentile(ours, 0.99);
    state.counters["read_per_s"] = perSecond;
    state.counters["bare_p50_ms"] = Percentile(theirs, 0.5);
    state.counters["bare_p99_ms"] = Percentile(theirs, 0.99);
    state.counters["read_ratio"] = Percentile(ratios, 0.5);
}
BENCHMARK(BM_ModbusTcpRead)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ModbusTcpCoilWrite(benchmark::State& state) {
    const std::string bus = "wire on\n09 R270P value=12.5\n0A R550\n";
    // The transaction alone: the points code writing do3 straight to the simulator.
    std::vector<double> direct;
    {
        Served served(bus);
        TavoComPort port(served.pty->DevicePath());
        port.OpenPort();
        port.SetPortState(9600, 8, kParityNone, kOneStopBit);
        port.SetTimeOut(50);
        std::string error;
        auto points = MakeModulePoints("R550", {0x0A, -1, PointProtocol::Ascii}, error);
        points->ReadAll(port);
        for (int i = 0; i < 20; ++i) {
            const auto start = BenchClock::now();
            if (!points->Write(port, "do3", i % 2 == 0 ? 1 : 0, error)) throw std::runtime_error(error);
            direct.push_back(Ms(BenchClock::now() - start));
        }
    }
    test::TempDir dir;
    Served served(bus);
    test::ReservedPort gatewayPort;
    GatewayProgram gateway(dir, served.pty->DevicePath(), gatewayPort.number());
    modbus_t* ctx = modbus_new_tcp("127.0.0.1", gatewayPort.number());
    modbus_connect(ctx);
    modbus_set_response_timeout(ctx, 10, 0);
    modbus_set_slave(ctx, 0x0A);
    std::vector<double> through;
    for (auto _ : state) {
        for (int i = 0; i < 20; ++i) {
            const auto start = BenchClock::now();
            if (modbus_write_bit(ctx, 3, i % 2 == 0) != 1) {
                // Not described yet: the first poll is still to come.
                std::this_thread::sleep_for(50ms);
                --i;
                continue;
            }
            through.push_back(Ms(BenchClock::now() - start));
            // A write is followed by a read of the module: the next write finds the
            // bus idle again, as one a person or a SCADA sends would.
            std::this_thread::sleep_for(100ms);
        }
    }
    modbus_close(ctx);
    modbus_free(ctx);
    state.counters["transaction_ms"] = Percentile(direct, 0.5);
    state.counters["write_ms"] = Percentile(through, 0.5);
    state.counters["write_p90_ms"] = Percentile(through, 0.9);
    state.counters["write_margin_ms"] = Percentile(through, 0.5) - Percentile(direct, 0.5);
}
BENCHMARK(BM_ModbusTcpCoilWrite)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
