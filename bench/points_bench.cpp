// `tavo read` and `tavo watch` against their bounds, on the simulator with the
// bytes paced as the baud rate would pace them (`wire on`).
//
// ReadProcess: the whole `tavo read` of an eight-channel module, from the start of
// the process to its end, against the same transactions (the lines the module heard)
// sent with `tavo send` and timed by it: bound = 1.05 x their sum + 30 ms of start-up.
// `tavo send` prints whole milliseconds, cut down, so the sum is a little short.
//
// WatchCycle: one poll cycle of 32 modules at 115200 baud (the configuration known,
// as from the second cycle on) against the sum of its transactions' wire times
// (request and reply bytes at 86.8 us each, checksums and CRCs included) and the
// modules' own answer times: bound = 1.05 x that sum. The Modbus turnaround, a pause
// the user chooses, is 0 here. bare_ms is the same transactions made by the port
// alone, one after the other.
//
// Counters: the measured and bound milliseconds and measured / bound (target <= 1).
// On a busy machine run it as `chrt -f 20 build/bin/tavo_points_bench` (as root):
// otherwise the scheduler's wake-up latency is measured with the program.
#include "cli/point_watch.h"
#include "sim/bus_file.h"
#include "sim/pty_server.h"
#include "transport/com_port.h"
#include "transport/modbus.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace tavo;
using Ms = std::chrono::duration<double, std::milli>;

struct Served {
    explicit Served(const std::string& busText) {
        std::string error;
        if (!sim::LoadBusText(busText, bus, error)) throw std::runtime_error(error);
        server = std::make_unique<sim::PtyServer>(bus);
        if (!server->Start(error)) throw std::runtime_error(error);
    }
    ~Served() { server->Stop(); }
    std::vector<std::string> Heard(unsigned address) {
        std::lock_guard lock(bus.mutex());
        auto& received = bus.Find(address)->received;
        std::vector<std::string> lines(received.begin(), received.end());
        received.clear();
        return lines;
    }
    sim::Bus bus;
    std::unique_ptr<sim::PtyServer> server;
};

struct ProgramRun {
    int status = -1;
    std::string out;
    double ms = 0;
};

// Runs a program to its end with its output in a pipe; the time is from before the
// spawn to after the wait.
ProgramRun Run(const std::vector<std::string>& argv) {
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_adddup2(&files, pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&files, pipe[1], STDERR_FILENO);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ProgramRun run;
    pid_t pid = -1;
    const auto start = std::chrono::steady_clock::now();
    const int rc = posix_spawn(&pid, args[0], &files, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    ::close(pipe[1]);
    if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
    char buf[4096];
    for (ssize_t n; (n = ::read(pipe[0], buf, sizeof buf)) > 0;) run.out.append(buf, static_cast<std::size_t>(n));
    ::close(pipe[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.ms = Ms(std::chrono::steady_clock::now() - start).count();
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The elapsed milliseconds `tavo send` prints for each command ("cmd\treply\tN ms").
double SendMilliseconds(const std::string& out, int& lines) {
    double sum = 0;
    std::istringstream in(out);
    lines = 0;
    for (std::string line; std::getline(in, line);) {
        const auto tab = line.rfind('\t');
        if (tab == std::string::npos) continue;
        sum += std::strtod(line.c_str() + tab + 1, nullptr);
        ++lines;
    }
    return sum;
}

void BM_ReadProcess(benchmark::State& state) {
    const bool modelGiven = state.range(0) != 0;
    Served sim("wire on\n09 R270P value=12.5 burnout=04\n");
    const std::string port = sim.server->DevicePath();
    std::vector<std::string> argv = {TAVO_CLI, "read", "--port", port, "--address", "09"};
    if (modelGiven) argv.insert(argv.end(), {"--model", "R270P"});
    double process = 0, send = 0;
    int transactions = 0;
    for (auto _ : state) {
        sim.Heard(0x09);
        const ProgramRun read = Run(argv);
        if (read.status != 0) throw std::runtime_error("tavo read failed: " + read.out);
        std::vector<std::string> again = {TAVO_CLI, "send", "--port", port};
        for (const auto& line : sim.Heard(0x09)) again.push_back(line);
        const ProgramRun sent = Run(again);
        int lines = 0;
        send += SendMilliseconds(sent.out, lines);
        transactions = lines;
        process += read.ms;
        state.SetIterationTime(read.ms / 1000.0);
    }
    const double n = static_cast<double>(state.iterations());
    const double bound = 1.05 * send / n + 30;
    state.counters["process_ms"] = process / n;
    state.counters["send_sum_ms"] = send / n;
    state.counters["bound_ms"] = bound;
    state.counters["ratio"] = process / n / bound;
    state.counters["transactions"] = transactions;
    state.SetLabel(modelGiven ? "R270P, --model given" : "R270P, model asked");
}
BENCHMARK(BM_ReadProcess)->Arg(1)->Arg(0)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

// One transaction again, as the port makes it without the points around it.
void Resend(TavoComPort& port, const PortExchange& e) {
    if (!e.modbus) {
        std::string line = e.request, reply;
        // The layout the first reply had: a reading, the address after '!', or data there.
        const bool value = !e.reply.empty() && e.reply[0] == '>';
        const bool addressed = e.reply.compare(1, 2, e.request, 1, 2) == 0;
        port.SendCommand(line, TavoComPort::kReplyLimit, &reply,
                         value       ? ReplyLayout::Value
                         : addressed ? ReplyLayout::Addressed
                                     : ReplyLayout::Unaddressed);
        return;
    }
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(e.request[i]); };
    if (e.request.size() < 6) return;
    TavoModbusCOM modbus(&port);
    std::vector<std::uint8_t> data;
    const int first = (byte(2) << 8 | byte(3)) + 1, count = byte(4) << 8 | byte(5);
    if (byte(1) == 1 && modbus.ReadCoils(byte(0), first, count)) modbus.ReadResponse(data);
    if (byte(1) == 3 && modbus.ReadHoldingRegisters(byte(0), first, count)) modbus.ReadResponse(data);
}

constexpr double kCharUs = 1e6 * 10 / 115200; // 8N1 at 115200 baud

void BM_WatchCycle(benchmark::State& state) {
    const bool mixed = state.range(0) != 0;
    // 32 modules: eight-channel analog inputs in ASCII, and with `mixed` also digital
    // I/O and Modbus analog inputs.
    std::string busText = "wire on\n";
    std::vector<cli::ModuleChoice> choices;
    for (int i = 0; i < 32; ++i) {
        const int address = 0x10 + i;
        std::string model = "R270P";
        auto protocol = PointProtocol::Ascii;
        if (mixed && i >= 16 && i < 24) model = "R550";
        if (mixed && i >= 24) protocol = PointProtocol::Modbus;
        char line[96];
        std::snprintf(line, sizeof line, "%02X %s baud=115200%s\n", address, model.c_str(),
                      protocol == PointProtocol::Modbus ? " protocol=modbus" : "");
        busText += line;
        cli::ModuleChoice c;
        c.where = {address, -1, protocol};
        c.model = model;
        choices.push_back(c);
    }
    Served sim(busText);
    TavoComPort port(sim.server->DevicePath());
    if (!port.OpenPort() || !port.SetPortState(115200, 8, kParityNone, kOneStopBit))
        throw std::runtime_error(port.LastError().text);
    port.SetTimeOut(80);
    TavoModbusCOM::SetDefaultTurnaroundDelay(0);
    cli::PointWatch watch(port, choices, false, true);
    for (std::size_t i = 0; i < choices.size(); ++i) {
        std::string error;
        watch.SetPoints(i, MakeModulePoints(choices[i].model, choices[i].where, error));
        if (!watch.Points(i)) throw std::runtime_error(error);
    }
    double wireUs = 0;
    int exchanges = 0, failed = 0;
    std::vector<PortExchange> cycle;
    bool replaying = false;
    port.SetExchangeObserver([&](const PortExchange& e) {
        if (replaying) {
            if (!e.ok) ++failed;
            return;
        }
        cycle.push_back(e);
        // Modbus frames are heard without their CRC; ASCII lines end with their CR.
        const std::size_t bytes = e.request.size() + e.reply.size() + (e.modbus ? 4 : 0);
        wireUs += static_cast<double>(bytes) * kCharUs;
        ++exchanges;
        if (!e.ok) ++failed;
    });
    cli::PointWatch::Output first;
    watch.Cycle(first); // the configurations
    double measured = 0, bare = 0, fastest = 1e9, fastestBare = 1e9;
    wireUs = 0;
    exchanges = failed = 0;
    for (auto _ : state) {
        cli::PointWatch::Output out;
        cycle.clear();
        auto start = std::chrono::steady_clock::now();
        watch.Cycle(out);
        const double ms = Ms(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(ms / 1000.0);
        measured += ms;
        fastest = std::min(fastest, ms);
        // The same transactions made bare, one after the other, for comparison.
        const auto made = cycle;
        replaying = true;
        start = std::chrono::steady_clock::now();
        for (const PortExchange& e : made) Resend(port, e);
        const double bareMs = Ms(std::chrono::steady_clock::now() - start).count();
        bare += bareMs;
        fastestBare = std::min(fastestBare, bareMs);
        replaying = false;
    }
    const double wire = wireUs / 1000.0;
    const double n = static_cast<double>(state.iterations());
    state.counters["cycle_ms"] = measured / n;
    state.counters["bound_ms"] = 1.05 * wire / n;
    state.counters["ratio"] = measured / (1.05 * wire);
    state.counters["bare_ms"] = bare / n;
    // The quickest cycle, and its ratio: what the program does when the machine
    // lets it run.
    state.counters["fastest_ms"] = fastest;
    state.counters["fastest_bare_ms"] = fastestBare;
    state.counters["fastest_ratio"] = fastest / (1.05 * wire / n);
    state.counters["transactions"] = exchanges / n;
    state.counters["failed"] = failed;
    state.SetLabel(mixed ? "16 R270P, 8 R550 ASCII, 8 R270P Modbus" : "32 R270P ASCII");
    port.ClosePort();
}
BENCHMARK(BM_WatchCycle)->Arg(0)->Arg(1)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
