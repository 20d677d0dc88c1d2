// One poll tick of a Modbus panel (digital and analog) against the simulator at
// 9600 baud with wire-time emulation, set against what the tick must take: per
// request the drain of stale input (one read at the 1 ms time-out, which ends after
// 2 ms), the two 20 ms turnaround pauses, and the request's and the response's time
// on the wire.
#include "panels/analog/modbus_analog_panels.h"
#include "panels/digital/modbus_digital_panels.h"
#include "sim/bus_file.h"
#include "sim/pty_server.h"
#include "transport/com_port.h"
#include "transport/modbus.h"
#include "workspace/status_bar.h"

#include <QElapsedTimer>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <stdexcept>

namespace {

// Bytes of a coil read's request and of its response for `coils` coils, and of a
// register read's response for `registers` registers.
constexpr int kRequestBytes = 8;
constexpr int ResponseBytes(int coils) { return 5 + (coils + 7) / 8; }
constexpr int RegisterResponseBytes(int registers) { return 5 + 2 * registers; }

// One iteration calls `tick` once; its requests have the responses of
// `responseBytes` (one entry per request).
template <class Panel, class Tick>
void ModbusPoll(benchmark::State& state, const char* bus, std::vector<int> responseBytes,
                Tick tick) {
    tavo::sim::Bus sim;
    std::string error;
    if (!tavo::sim::LoadBusText(bus, sim, error)) throw std::runtime_error(error);
    sim.SetWireTime(true);
    tavo::sim::PtyServer server(sim);
    if (!server.Start(error)) throw std::runtime_error(error);
    tavo::TavoComPort port(server.DevicePath());
    if (!port.OpenPort()) throw std::runtime_error(port.LastError().text);
    port.SetPortState(9600, 8, tavo::kParityNone, tavo::kOneStopBit);
    port.SetTimeOut(80);
    port.SetCheckSum(true);

    tavo::MainStatusBar status;
    Panel panel;
    tavo::PanelContext context;
    context.port = &port;
    context.address = "0A";
    context.status = &status;
    context.link = tavo::LinkKind::ModbusRtu;
    panel.InitModule(context);
    // Ticks are called here, one after the other.
    for (QTimer* timer : panel.template findChildren<QTimer*>()) timer->stop();

    const double charMs = 10.0 * 1000.0 / 9600; // start bit, 8 data bits, stop bit
    const double waitsMs = 2 + 2 * tavo::TavoModbusCOM::kDefaultTurnaroundMs;
    double boundMs = 0;
    for (int bytes : responseBytes) boundMs += waitsMs + charMs * (kRequestBytes + bytes);

    double totalMs = 0;
    int ticks = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        tick(panel);
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        state.SetIterationTime(ms / 1000);
        totalMs += ms;
        ++ticks;
        if (status.Indicator().toInt() >= 2) {
            state.SkipWithError("poll failed");
            break;
        }
    }
    state.counters["bound_ms"] = boundMs;
    // The wire time of a response falls within the turnaround pause before its read,
    // so a tick can come close to the waits alone but never below them.
    state.counters["waits_ms"] = waitsMs * static_cast<double>(responseBytes.size());
    state.counters["tick_ms"] = ticks ? totalMs / ticks : 0;
    state.counters["measured_over_bound"] = ticks ? totalMs / ticks / boundMs : 0;
    server.Stop();
}

// Outputs and inputs in turns: one read of 8 coils a tick.
void BM_ModbusPollR550(benchmark::State& state) {
    ModbusPoll<tavo::TfrmMR550Mod>(state, "0A R550 protocol=modbus inputs=5A\n", {ResponseBytes(8)},
                                   [](auto& p) { p.tmrUpdateDIDataTimer(); });
}
BENCHMARK(BM_ModbusPollR550)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

// The error coils first, then the twelve outputs: two reads a tick.
void BM_ModbusPollR560SO(benchmark::State& state) {
    ModbusPoll<tavo::TfrmMR560SOMod>(state, "0A R560SO protocol=modbus\n",
                                     {ResponseBytes(3), ResponseBytes(12)},
                                     [](auto& p) { p.tmrUpdateDIDataTimer(); });
}
BENCHMARK(BM_ModbusPollR560SO)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

// The analog inputs: the eight values on one tick, the mask and the burn-out flags
// on the next; one iteration is both.
void BM_ModbusPollR270P(benchmark::State& state) {
    ModbusPoll<tavo::TfrmMR270PMod>(
        state, "0A R270P protocol=modbus\n",
        {RegisterResponseBytes(8), RegisterResponseBytes(1), ResponseBytes(8)}, [](auto& p) {
            p.tmrUpdateAIDataTimer();
            p.tmrUpdateAIDataTimer();
        });
}
BENCHMARK(BM_ModbusPollR270P)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

// The R330: four outputs, one register each, and the four inputs.
void BM_ModbusPollR330(benchmark::State& state) {
    ModbusPoll<tavo::TfrmMR330Mod>(state, "0A R330 protocol=modbus\n",
                                   {RegisterResponseBytes(1), RegisterResponseBytes(1),
                                    RegisterResponseBytes(1), RegisterResponseBytes(1),
                                    ResponseBytes(4)},
                                   [](auto& p) { p.tmrUpdateDataTimer(); });
}
BENCHMARK(BM_ModbusPollR330)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

} // namespace
