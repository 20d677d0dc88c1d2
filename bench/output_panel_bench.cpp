// Opening the R330 panel from the module tree against the simulator, measured
// against its design bound: the panel's fixed waits (none when it opens) plus the
// transactions it makes, each at the speed the simulator answers that very command
// (measured by sending the same commands again on the same port). The ratio should
// stay at or below 1.05.
#include "workspace/application.h"
#include "panels/panels.h"
#include "sim/bus_file.h"
#include "sim/pty_server.h"
#include "transport/com_port.h"
#include "workspace/main_window.h"
#include "workspace/module_tree.h"

#include <QApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>

#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<std::string> TakeReceived(tavo::sim::Bus& bus, unsigned address) {
    std::lock_guard lock(bus.mutex());
    auto& m = *bus.Find(address);
    std::vector<std::string> out(m.received.begin(), m.received.end());
    m.received.clear();
    return out;
}

void OpenPanel(benchmark::State& state, const char* busText, const char* nodeText) {
    tavo::RegisterAllPanels();
    tavo::sim::Bus bus;
    std::string error;
    if (!tavo::sim::LoadBusText(busText, bus, error)) throw std::runtime_error(error);
    tavo::sim::PtyServer server(bus);
    if (!server.Start(error)) throw std::runtime_error(error);
    const QString path = QString::fromStdString(server.DevicePath());
    double openMs = 0, boundMs = 0;
    int transactions = 0, runs = 0;
    // One window for all runs, as a user's session has: its first panel pays for
    // the toolkit's one-time set-up of fonts and styles, which is no part of a panel.
    tavo::TfrmMain window(QStringList{path});
    window.show();
    QTreeWidgetItem* port = window.Tree()->FindPort(path);
    tavo::FoundNode node;
    node.text = nodeText;
    QTreeWidgetItem* item = window.Tree()->AddFound(port, node);
    window.ClickNode(item);
    window.ClickNode(port);
    for (auto _ : state) {
        QApplication::processEvents(); // the previous panel is gone for good
        TakeReceived(bus, 0x01);
        QElapsedTimer clock;
        clock.start();
        window.ClickNode(item);
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        const auto sent = TakeReceived(bus, 0x01);
        // The same transactions once more, without the panel: their time at the
        // simulator's speed.
        tavo::TavoComPort* p = window.Port();
        window.ClickNode(port); // the panel and its poll timer go
        clock.restart();
        for (const auto& command : sent) {
            std::string line = command + "\r";
            std::string reply;
            p->SendCommand(line, tavo::TavoComPort::kReplyLimit, &reply);
        }
        const double bound = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        state.SetIterationTime(ms / 1000);
        openMs += ms;
        boundMs += bound;
        transactions = static_cast<int>(sent.size());
        ++runs;
    }
    state.counters["open_ms"] = openMs / runs;
    state.counters["bound_ms"] = boundMs / runs;
    state.counters["transactions"] = transactions;
    state.counters["fixed_waits_ms"] = 0;
    state.counters["measured_over_bound"] = openMs / boundMs;
    server.Stop();
}

// Argument 1: the simulator paces its bytes as a 9600 baud line would (the speed of
// a real bus); 0: it answers at once, so that the panel's own work shows.
void BM_OpenR330Panel(benchmark::State& state) {
    OpenPanel(state, state.range(0) ? "wire on\n01 R330\n" : "01 R330\n", "(01)R330");
}
BENCHMARK(BM_OpenR330Panel)->Arg(1)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_OpenR310Panel(benchmark::State& state) {
    OpenPanel(state, state.range(0) ? "wire on\n01 R310 type=31\n" : "01 R310 type=31\n",
              "(01)R310");
}
BENCHMARK(BM_OpenR310Panel)->Arg(1)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    tavo::Application app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
