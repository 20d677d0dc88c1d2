// The cost of one poll tick of a panel: the panel's timer handler and the repaint
// it causes, with the module simulated in another thread behind a pseudo-terminal.
// The main thread's CPU time per tick, at the panel's two ticks a second, is the
// panel's share of one core (core_percent).
#include "panels/panels.h"
#include "panels/analog/single_input_panels.h"
#include "panels/digital/counter_panels.h"
#include "panels/digital/digital_io_panels.h"
#include "sim/bus_file.h"
#include "sim/pty_server.h"
#include "workspace/main_window.h"
#include "workspace/module_tree.h"

#include <QApplication>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <ctime>
#include <functional>
#include <memory>
#include <stdexcept>

namespace {

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The program's window with one port on a simulated bus, shown.
class WindowOnBus {
public:
    explicit WindowOnBus(const char* busText) : server_(bus_) {
        tavo::RegisterAllPanels();
        std::string error;
        if (!tavo::sim::LoadBusText(busText, bus_, error) || !server_.Start(error))
            throw std::runtime_error(error);
        window_ = std::make_unique<tavo::TfrmMain>(
            QStringList{QString::fromStdString(server_.DevicePath())});
        window_->show();
    }
    ~WindowOnBus() {
        window_.reset(); // panels and port first
        server_.Stop();
    }
    // Clicks a module node as the search would have listed it.
    QWidget* Open(const char* nodeText) {
        tavo::ModuleTree* tree = window_->Tree();
        QTreeWidgetItem* port = tree->FindPort(QString::fromStdString(server_.DevicePath()));
        tavo::FoundNode node;
        node.text = nodeText;
        node.link = tavo::LinkKind::AsciiPlain;
        window_->ClickNode(tree->AddFound(port, node));
        QApplication::processEvents();
        return window_->CurrentPanel();
    }

private:
    tavo::sim::Bus bus_;
    tavo::sim::PtyServer server_;
    std::unique_ptr<tavo::TfrmMain> window_;
};

template <class Panel>
void PollTick(benchmark::State& state, const char* bus, const char* node,
              void (Panel::*tick)()) {
    WindowOnBus fixture(bus);
    auto* panel = qobject_cast<Panel*>(fixture.Open(node));
    if (!panel) throw std::runtime_error(std::string("no panel for ") + node);
    // The panel's own timer would add ticks of its own: the loop is the timer here.
    for (QTimer* t : panel->template findChildren<QTimer*>()) t->stop();
    (panel->*tick)();
    QApplication::processEvents();
    double cpu = 0;
    for (auto _ : state) {
        const double start = ThreadCpuSeconds();
        (panel->*tick)();
        QApplication::processEvents(); // the repaints, as the event loop would run them
        cpu += ThreadCpuSeconds() - start;
    }
    const double perTick = cpu / static_cast<double>(state.iterations());
    state.counters["cpu_us_per_tick"] = perTick * 1e6;
    state.counters["core_percent"] = perTick * 2 * 100; // two ticks a second
}

void BM_PollR550(benchmark::State& state) {
    PollTick<tavo::TfrmMR550>(state, "24 R550 inputs=A5 outputs=3C\n", "(24)R550",
                              &tavo::TfrmMR550::tmrUpdateDIDataTimer);
}
void BM_PollR710(benchmark::State& state) {
    PollTick<tavo::TfrmMR710>(state, "30 R710 freq0=120 freq1=7.5\n", "(30)R710",
                              &tavo::TfrmMR710::tmrUpdateCounterDataTimer);
}
void BM_PollR710D(benchmark::State& state) {
    PollTick<tavo::TfrmMR710D>(state, "31 R710D freq0=60\n", "(31)R710D",
                               &tavo::TfrmMR710::tmrUpdateCounterDataTimer);
}
void BM_PollR210D(benchmark::State& state) {
    PollTick<tavo::TfrmMR210D>(state, "01 R210D firmware=A1.02 type=0F\n", "(01)R210D",
                               &tavo::TfrmMR210D::tmrUpdateAIDataTimer);
}
BENCHMARK(BM_PollR550)->Unit(benchmark::kMicrosecond)->Iterations(400);
BENCHMARK(BM_PollR710)->Unit(benchmark::kMicrosecond)->Iterations(400);
BENCHMARK(BM_PollR710D)->Unit(benchmark::kMicrosecond)->Iterations(400);
BENCHMARK(BM_PollR210D)->Unit(benchmark::kMicrosecond)->Iterations(400);

} // namespace
