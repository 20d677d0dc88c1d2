// Start-up of the main window (port listing included) and a whole search of an
// empty bus through the search dialog and its timer.
#include "workspace/application.h"
#include "panels/panels.h"
#include "sim/bus_file.h"
#include "sim/pty_server.h"
#include "transport/com_port.h"
#include "workspace/main_window.h"
#include "workspace/module_tree.h"
#include "workspace/search_dialog.h"
#include "workspace/terminal.h"

#include <QLineEdit>
#include <QPlainTextEdit>

#include <QApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>

#include <stdexcept>

namespace {

void BM_StartupToShownWindow(benchmark::State& state) {
    tavo::RegisterAllPanels();
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        tavo::TfrmMain window;
        window.show();
        QApplication::processEvents();
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        window.hide();
    }
}
BENCHMARK(BM_StartupToShownWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// Every one of the 768 probes finds nobody. The design bound is the sum over the
// probes of the longer of the timer interval (T + 30) and the probe's own time:
// an ASCII probe waits 2T; a Modbus probe sends two requests, each with its drain
// (2 ms at the 1 ms time-out), two 20 ms turnaround pauses and 2T.
void BM_EmptyBusScan(benchmark::State& state) {
    const int t = static_cast<int>(state.range(0));
    tavo::sim::Bus bus;
    std::string error;
    tavo::sim::LoadBusText("", bus, error);
    tavo::sim::PtyServer server(bus);
    if (!server.Start(error)) throw std::runtime_error(error);
    tavo::TavoComPort port(server.DevicePath());
    port.OpenPort();
    port.SetPortState(9600, 8, tavo::kParityNone, tavo::kOneStopBit);
    port.SetTimeOut(t);
    const double interval = t + 30;
    const double ascii = 2.0 * t;
    const double modbus = 2.0 * (2 + 20 + 20 + 2.0 * t);
    const double boundMs = 256 * (std::max(interval, ascii) * 2 + std::max(interval, modbus));
    for (auto _ : state) {
        tavo::ModuleTree tree;
        tree.setCurrentItem(tree.AddPort("sim"));
        tavo::TfrmDlgSearch dialog;
        dialog.SetStartAddr(&port, 0, &tree);
        QElapsedTimer clock;
        clock.start();
        dialog.exec(); // the dialog's own timer runs the scan
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        state.SetIterationTime(ms / 1000);
        state.counters["bound_s"] = boundMs / 1000;
        state.counters["measured_over_bound"] = ms / boundMs;
    }
    server.Stop();
}
BENCHMARK(BM_EmptyBusScan)->Arg(20)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

// A long terminal session: 10,000 exchanges with the simulator, each logging its
// two lines. Reports the time of the first and of the last thousand exchanges, so
// a log that slows down as it grows shows up as a rising ratio.
void BM_TerminalLongSession(benchmark::State& state) {
    tavo::sim::Bus bus;
    std::string error;
    tavo::sim::LoadBusText("01 R210D\n", bus, error);
    tavo::sim::PtyServer server(bus);
    if (!server.Start(error)) throw std::runtime_error(error);
    tavo::TavoComPort port(server.DevicePath());
    port.OpenPort();
    port.SetPortState(9600, 8, tavo::kParityNone, tavo::kOneStopBit);
    port.SetTimeOut(80);
    for (auto _ : state) {
        tavo::TfrmMTerminal terminal(port);
        terminal.show();
        terminal.edtCommandLine->setText("$012");
        QElapsedTimer clock;
        clock.start();
        double firstMs = 0, lastStart = 0;
        for (int i = 0; i < 10000; ++i) {
            if (i == 9000) lastStart = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            terminal.btSendClick();
            if (i % 50 == 0) QApplication::processEvents(); // repaints, as the event loop would
            if (i == 999) firstMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        }
        const double totalMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        state.SetIterationTime(totalMs / 1000);
        state.counters["first_1000_ms"] = firstMs;
        state.counters["last_1000_ms"] = totalMs - lastStart;
        state.counters["log_lines"] = terminal.edtCommandStatus->blockCount();
    }
    server.Stop();
}
BENCHMARK(BM_TerminalLongSession)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    tavo::Application app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
