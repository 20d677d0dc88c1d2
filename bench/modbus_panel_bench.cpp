// The poll tick and the start-up of every Modbus panel against the simulator at
// 9600 baud with wire-time emulation, set against the fewest requests the slave's
// map allows: each contiguous block of coils or of registers in one request. The
// bound of a request is the two turnaround pauses and its request's and response's
// time on the wire; a tick should stay at or below 1.05 × the sum over the minimal
// requests. The counters also give the requests the panel really made and whether
// they are exactly the minimal ones (same_as_minimal 1).
#include "bench_support.h"

#include "panels/analog/modbus_analog_panels.h"
#include "panels/analog/r320t_panel.h"
#include "panels/digital/modbus_digital_panels.h"
#include "panels/digital/universal_panels.h"
#include "panels/system/k100m_panel.h"
#include "sim/bus_file.h"
#include "sim/pty_server.h"
#include "transport/com_port.h"
#include "transport/modbus.h"
#include "workspace/status_bar.h"

#include <QElapsedTimer>
#include <QTabWidget>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Frames = std::vector<std::string>;

constexpr unsigned kSlave = 0x0A;
constexpr double kCharMs = 10.0 * 1000.0 / 9600; // start bit, 8 data bits, stop bit

unsigned HexWord(const std::string& frame, std::size_t at) {
    return static_cast<unsigned>(std::stoul(frame.substr(at, 4), nullptr, 16));
}

// The wire time of one request (a frame as the simulator records it: hexadecimal
// without its CRC) and of its response, in ms.
double WireMs(const std::string& frame) {
    const int function = static_cast<int>(std::stoul(frame.substr(2, 2), nullptr, 16));
    const unsigned quantity = HexWord(frame, 8);
    const int request = static_cast<int>(frame.size() / 2) + 2;
    int response = 8; // the echo of a write
    if (function == 0x01) response = 5 + static_cast<int>((quantity + 7) / 8);
    if (function == 0x03) response = 5 + 2 * static_cast<int>(quantity);
    return kCharMs * (request + response);
}

double BoundMs(const Frames& minimal) {
    double ms = 0;
    for (const std::string& frame : minimal)
        ms += 2.0 * tavo::TavoModbusCOM::kDefaultTurnaroundMs + WireMs(frame);
    return ms;
}

// A simulated bus on its pseudo-terminal and a port open on it at 9600 baud.
struct Line {
    tavo::sim::Bus bus;
    std::unique_ptr<tavo::sim::PtyServer> server;
    std::unique_ptr<tavo::TavoComPort> port;

    explicit Line(const char* busText) {
        std::string error;
        if (!tavo::sim::LoadBusText(busText, bus, error)) throw std::runtime_error(error);
        bus.SetWireTime(true);
        server = std::make_unique<tavo::sim::PtyServer>(bus);
        if (!server->Start(error)) throw std::runtime_error(error);
        port = std::make_unique<tavo::TavoComPort>(server->DevicePath());
        if (!port->OpenPort()) throw std::runtime_error(port->LastError().text);
        port->SetPortState(9600, 8, tavo::kParityNone, tavo::kOneStopBit);
        port->SetTimeOut(80);
    }
    ~Line() {
        port.reset();
        server->Stop();
    }
};

struct Case {
    const char* bus;       // bus file text, the module at 0A
    Frames start;          // the fewest requests of the start-up
    Frames tick;           // and of one iteration's ticks
    std::function<void(QWidget&)> show; // after the start-up: the page the ticks poll
    std::function<void(QWidget&)> poll; // one iteration: one tick, or two taking turns
};

template <class Panel> std::unique_ptr<Panel> Open(Line& line, tavo::MainStatusBar& status) {
    auto panel = std::make_unique<Panel>();
    tavo::PanelContext context;
    context.port = line.port.get();
    context.address = "0A";
    context.status = &status;
    context.link = tavo::LinkKind::ModbusRtu;
    panel->InitModule(context);
    // Ticks are called here, one after the other.
    for (QTimer* timer : panel->template findChildren<QTimer*>()) timer->stop();
    return panel;
}

void Report(benchmark::State& state, const Frames& minimal, const Frames& made, double totalMs,
            int runs) {
    const double bound = BoundMs(minimal);
    state.counters["minimal_requests"] = static_cast<double>(minimal.size());
    state.counters["requests"] = static_cast<double>(made.size());
    state.counters["same_as_minimal"] = made == minimal ? 1 : 0;
    state.counters["bound_ms"] = bound;
    state.counters["measured_ms"] = runs ? totalMs / runs : 0;
    state.counters["measured_over_bound"] = runs ? totalMs / runs / bound : 0;
}

template <class Panel> void Tick(benchmark::State& state, const Case& c) {
    Line line(c.bus);
    tavo::MainStatusBar status;
    auto panel = Open<Panel>(line, status);
    if (c.show) c.show(*panel);
    tavo::bench::TakeReceived(line.bus, kSlave);
    double totalMs = 0;
    int runs = 0;
    Frames made;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        c.poll(*panel);
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        state.SetIterationTime(ms / 1000);
        totalMs += ms;
        ++runs;
        made = tavo::bench::TakeReceived(line.bus, kSlave);
        if (status.Indicator().toInt() >= 2) {
            state.SkipWithError("poll failed");
            break;
        }
    }
    Report(state, c.tick, made, totalMs, runs);
}

template <class Panel> void Start(benchmark::State& state, const Case& c) {
    Line line(c.bus);
    tavo::MainStatusBar status;
    double totalMs = 0;
    int runs = 0;
    Frames made;
    for (auto _ : state) {
        tavo::bench::TakeReceived(line.bus, kSlave);
        QElapsedTimer clock;
        clock.start();
        auto panel = Open<Panel>(line, status);
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        state.SetIterationTime(ms / 1000);
        totalMs += ms;
        ++runs;
        made = tavo::bench::TakeReceived(line.bus, kSlave);
    }
    Report(state, c.start, made, totalMs, runs);
}

void SetTab(QWidget& panel, const char* tabs, int index) {
    panel.findChild<QTabWidget*>(tabs)->setCurrentIndex(index);
}

template <class Panel> void Register(const char* name, const Case& c, int iterations) {
    benchmark::RegisterBenchmark((std::string("BM_ModbusTick/") + name).c_str(),
                                 [c](benchmark::State& s) { Tick<Panel>(s, c); })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(iterations);
    benchmark::RegisterBenchmark((std::string("BM_ModbusStart/") + name).c_str(),
                                 [c](benchmark::State& s) { Start<Panel>(s, c); })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
}

const Frames kFirmware = {"0A0300D40001"};

// Digital modules: outputs and inputs in turns, one read a tick.
void DigitalTick(QWidget& p) {
    static_cast<tavo::TfrmMR550&>(p).tmrUpdateDIDataTimer();
}
void DigitalTwoTicks(QWidget& p) {
    DigitalTick(p);
    DigitalTick(p);
}

const bool kRegistered = [] {
    Register<tavo::TfrmMR550Mod>(
        "R550", {"0A R550 protocol=modbus inputs=5A\n", kFirmware,
                 {"0A0100100008", "0A0100000008"}, nullptr, DigitalTwoTicks},
        30);
    Register<tavo::TfrmMR520Mod>(
        "R520", {"0A R520 protocol=modbus\n", kFirmware, {"0A0100000010"}, nullptr,
                 DigitalTick},
        30);
    // The twelve outputs and the three error coils after them: one block.
    Register<tavo::TfrmMR560SOMod>(
        "R560SO", {"0A R560SO protocol=modbus\n", kFirmware, {"0A010010000F"},
                   nullptr, DigitalTick},
        30);
    Register<tavo::TfrmMR850Mod>(
        "R850", {"0A R850 protocol=modbus\n", kFirmware,
                 {"0A0100100008", "0A0100000008"}, nullptr, DigitalTwoTicks},
        30);

    // Analog inputs: the values on one tick, the mask and the burn-out flags on the
    // next; the firmware, the mask and all the ranges at start.
    Register<tavo::TfrmMR270PMod>(
        "R270P",
        {"0A R270P protocol=modbus\n", {"0A0300D40001", "0A0300DC0001", "0A0300C80008"},
         {"0A0300000008", "0A0300DC0001", "0A0100C80008"}, nullptr,
         [](QWidget& p) {
             auto& panel = static_cast<tavo::TfrmMR270PMod&>(p);
             panel.tmrUpdateAIDataTimer();
             panel.tmrUpdateAIDataTimer();
         }},
        30);

    // The R330: its four outputs and its four inputs; at start the firmware and the
    // ranges, which the outputs are scaled by, before the first tick.
    Register<tavo::TfrmMR330Mod>(
        "R330",
        {"0A R330 protocol=modbus\n",
         {"0A0300D40001", "0A0300C80004", "0A0300000004", "0A0100000004"},
         {"0A0300000004", "0A0100000004"}, nullptr,
         [](QWidget& p) { static_cast<tavo::TfrmMR330Mod&>(p).tmrUpdateDataTimer(); }},
        30);

    // The loop controller, one page at a time: coils and registers of the input or
    // the output page, or the two blocks of the PID table.
    const Frames r320tStart = {"0A0300D40001", "0A0300000004", "0A0100000002", "0A03000A0002",
                               "0A0100100002", "0A0303E70064", "0A03044B0064"};
    const auto r320tTick = [](QWidget& p) { static_cast<tavo::TfrmMR320T&>(p).Timer1Timer(); };
    Register<tavo::TfrmMR320TMod>("R320T_Input",
                                  {"0A R320T protocol=modbus\n", r320tStart,
                                   {"0A0100000002", "0A0300000004"},
                                   [](QWidget& p) { SetTab(p, "pgCtrlMain", 1); }, r320tTick},
                                  30);
    Register<tavo::TfrmMR320TMod>("R320T_Output",
                                  {"0A R320T protocol=modbus\n", r320tStart,
                                   {"0A0100100002", "0A03000A0002"},
                                   [](QWidget& p) { SetTab(p, "pgCtrlMain", 2); }, r320tTick},
                                  30);
    Register<tavo::TfrmMR320TMod>("R320T_PID",
                                  {"0A R320T protocol=modbus\n", r320tStart,
                                   {"0A0303E70064", "0A03044B0064"},
                                   [](QWidget& p) { SetTab(p, "pgCtrlMain", 3); },
                                   [r320tTick](QWidget& p) {
                                       r320tTick(p);
                                       r320tTick(p);
                                   }},
                                  10);

    // The Modbus rack: the identification and the names at start; a tick reads the
    // shown slot's block, and a counter's status coils beside its registers.
    const char* rack = "0A K100EM firmware=A3.10 counterstatus=coils slots=K220,K550,K710\n";
    const Frames rackStart = {"0A0327100026", "0A0327D80040"};
    const auto rackTick = [](QWidget& p) { static_cast<tavo::TfrmMK100M&>(p).tmrUpdateDataTimer(); };
    Register<tavo::TfrmMK100M>("K100M_Analog",
                               {rack, rackStart, {"0A0300000008"},
                                [](QWidget& p) { SetTab(p, "PageControl1", 1); }, rackTick},
                               30);
    Register<tavo::TfrmMK100M>("K100M_Digital",
                               {rack, rackStart, {"0A0100000010"},
                                [](QWidget& p) { SetTab(p, "PageControl1", 2); }, rackTick},
                               30);
    Register<tavo::TfrmMK100M>("K100M_Counter",
                               {rack, rackStart, {"0A0300080010", "0A0100200010"},
                                [](QWidget& p) { SetTab(p, "PageControl1", 3); }, rackTick},
                               30);
    return true;
}();

} // namespace
