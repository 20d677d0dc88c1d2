// Paced searches of a silent line, one per probe subset, against their bound:
// the sum over the probes made of max(T + 30, the probe's own time on a silent
// line). The counters give the bound and measured / bound (target <= 1.05).
//
// On a busy machine run it as `chrt -f 20 build/bin/...` (as root): otherwise the
// scheduler's wake-up latency (several ms per timed wait under load) is measured
// instead of the line.
#include "sim/bus.h"
#include "sim/pty_server.h"
#include "transport/com_port.h"
#include "transport/modbus.h"
#include "workspace/core/search_engine.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <stdexcept>

namespace {

constexpr int kTimeOutMs = 80; // the default time-out

void BM_SilentSearch(benchmark::State& state) {
    const auto probes = static_cast<unsigned>(state.range(0));
    const int addresses = static_cast<int>(state.range(1));
    tavo::sim::Bus bus; // nobody on the line
    tavo::sim::PtyServer server(bus);
    std::string error;
    if (!server.Start(error)) throw std::runtime_error(error);
    tavo::TavoComPort port(server.DevicePath());
    if (!port.OpenPort()) throw std::runtime_error(port.LastError().text);
    port.SetPortState(9600, 8, tavo::kParityNone, tavo::kOneStopBit);
    port.SetTimeOut(kTimeOutMs);
    const int turnaround = tavo::TavoModbusCOM::GetDefaultTurnaroundDelay();
    long long bound = 0;
    for (int p = 0; p < 3; ++p)
        if (probes & (1u << p))
            bound += std::max(kTimeOutMs + 30,
                              tavo::SearchEngine::SilentProbeMs(p, kTimeOutMs, turnaround));
    bound *= addresses;
    double total = 0;
    for (auto _ : state) {
        tavo::SearchEngine engine(port, 1, addresses, {probes, {}});
        const auto start = std::chrono::steady_clock::now();
        tavo::RunPacedSearch(engine, {});
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count() / 1000.0);
        total += took.count();
    }
    state.counters["bound_ms"] = static_cast<double>(bound);
    state.counters["ratio"] =
        total / static_cast<double>(state.iterations()) / static_cast<double>(bound);
    state.SetLabel((probes & tavo::kProbeAscii ? std::string("ascii ") : "") +
                   (probes & tavo::kProbeChecksum ? "checksum " : "") +
                   (probes & tavo::kProbeModbus ? "modbus " : "") + std::to_string(addresses) +
                   " addresses at T=80");
    server.Stop();
}

void Subsets(benchmark::internal::Benchmark* b) {
    for (unsigned probes = 1; probes <= 7; ++probes)
        b->Args({probes, 16});
    b->Args({tavo::kProbeAscii, 256}); // the whole range, ASCII only: about 41 s
}
BENCHMARK(BM_SilentSearch)
    ->Apply(Subsets)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
