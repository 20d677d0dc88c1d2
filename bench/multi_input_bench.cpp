// The multi-channel analog input panels against the simulator on a pseudo-terminal:
// how long the R260 panel takes to open compared with the transactions it needs,
// what polling an eight-channel panel costs, and which fields a poll repaints.
#include "workspace/application.h"
#include "bench_support.h"
#include "panels/analog/multi_input_panels.h"
#include "panels/panels.h"
#include "sim/bus_file.h"
#include "sim/module.h"
#include "sim/pty_server.h"
#include "transport/com_port.h"
#include "workspace/main_window.h"
#include "workspace/module_tree.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>
#include <QTreeWidgetItem>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <sys/resource.h>

namespace {

using tavo::bench::ProcessCpuSeconds;
using tavo::bench::RunEventLoop;
using tavo::bench::ThreadCpuSeconds;

// A simulated bus on its own pseudo-terminal, and the main window on it.
struct Rig {
    explicit Rig(const std::string& busText) {
        std::string error;
        if (!tavo::sim::LoadBusText(busText, bus, error)) throw std::runtime_error(error);
        server = std::make_unique<tavo::sim::PtyServer>(bus);
        if (!server->Start(error)) throw std::runtime_error(error);
        window = std::make_unique<tavo::TfrmMain>(
            QStringList{QString::fromStdString(server->DevicePath())});
        window->show();
        QApplication::processEvents();
    }
    ~Rig() {
        window.reset();
        server->Stop();
    }
    QTreeWidgetItem* AddModule(const std::string& text) {
        QTreeWidgetItem* port =
            window->Tree()->FindPort(QString::fromStdString(server->DevicePath()));
        tavo::FoundNode node;
        node.text = text;
        node.link = tavo::LinkKind::AsciiPlain;
        return window->Tree()->AddFound(port, node);
    }
    std::vector<std::string> Received(unsigned address) {
        return tavo::bench::TakeReceived(bus, address);
    }

    tavo::sim::Bus bus;
    std::unique_ptr<tavo::sim::PtyServer> server;
    std::unique_ptr<tavo::TfrmMain> window;
};

// Resident and peak resident size in MB.
double StatusMb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0)
            return std::stod(line.substr(std::string(key).size())) / 1024.0;
    return 0.0;
}

// Opening the R260 panel from the tree (the port already open, as after the first
// click). Its start has no fixed waits, so the bound is the time of its four
// transactions: the same commands sent straight through the port right after. With
// argument 1 the simulator paces bytes as a 9600-baud line does (the time a real
// bus takes); with 0 it answers at once, and the ratio then measures the panel's
// own work (building and showing its form) against next to nothing.
void BM_OpenR260Panel(benchmark::State& state) {
    const bool wire = state.range(0) != 0;
    Rig rig(std::string(wire ? "wire on\n" : "") + "01 R260 type=08\n");
    QTreeWidgetItem* node = rig.AddModule("(01)R260");
    rig.window->ClickNode(node); // opens the port
    RunEventLoop(50);
    rig.Received(0x01);
    double openMs = 0, bareMs = 0;
    int transactions = 0, runs = 0;
    std::vector<double> ratios;
    double openCpuMs = 0, bareCpuMs = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        double cpu = ThreadCpuSeconds();
        clock.start();
        rig.window->ClickNode(node);
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        openCpuMs += (ThreadCpuSeconds() - cpu) * 1000;
        const auto sent = rig.Received(0x01);
        // The same commands again, straight through the port.
        tavo::TavoComPort* port = rig.window->Port();
        cpu = ThreadCpuSeconds();
        clock.restart();
        for (const auto& command : sent) {
            std::string line = command + "\r", reply;
            port->SendCommand(line, tavo::TavoComPort::kReplyLimit, &reply);
        }
        const double bare = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        bareCpuMs += (ThreadCpuSeconds() - cpu) * 1000;
        bareMs += bare;
        ratios.push_back(ms / bare);
        rig.Received(0x01);
        openMs += ms;
        transactions = static_cast<int>(sent.size());
        ++runs;
        state.SetIterationTime(ms / 1000);
    }
    const double fixedWaitsMs = 0; // the R260 panel pauses nowhere on its way up
    state.counters["transactions"] = transactions;
    state.counters["open_ms"] = openMs / runs;
    state.counters["bound_ms"] = (fixedWaitsMs + bareMs) / runs;
    state.counters["panel_work_ms"] = (openMs - bareMs) / runs;
    // What the opening costs the user-interface thread beyond sending the commands.
    state.counters["panel_cpu_ms"] = (openCpuMs - bareCpuMs) / runs;
    state.counters["measured_over_bound"] = openMs / (fixedWaitsMs + bareMs);
    // The machine is shared: the median of the runs says more than their sum.
    std::sort(ratios.begin(), ratios.end());
    state.counters["median_ratio"] = ratios[ratios.size() / 2];
}
BENCHMARK(BM_OpenR260Panel)
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40);

// An R270P panel polling its eight moving channels in the event loop for ten
// seconds (twenty polls): CPU of the user-interface thread per second of wall time,
// the whole process's (the simulator's thread included), and resident memory.
void BM_PollEightChannels(benchmark::State& state) {
    Rig rig("01 R270P\n");
    rig.window->ClickNode(rig.AddModule("(01)R270P"));
    for (auto _ : state) {
        rig.Received(0x01);
        const double thread0 = ThreadCpuSeconds(), process0 = ProcessCpuSeconds();
        QElapsedTimer clock;
        clock.start();
        RunEventLoop(10000);
        const double wall = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        state.SetIterationTime(wall);
        state.counters["polls"] = static_cast<double>(rig.Received(0x01).size());
        state.counters["gui_cpu_percent"] = (ThreadCpuSeconds() - thread0) / wall * 100.0;
        state.counters["process_cpu_percent"] = (ProcessCpuSeconds() - process0) / wall * 100.0;
        state.counters["rss_mb"] = StatusMb("VmRSS:");
        state.counters["peak_rss_mb"] = StatusMb("VmHWM:");
    }
}
BENCHMARK(BM_PollEightChannels)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

// Counts the paint events of the value fields.
class PaintCounter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++counts[watched];
        return false;
    }
    std::map<QObject*, int> counts;
};

// A poll where one of the eight readings changes: only that field may repaint.
void BM_PollRepaintsOnlyChangedFields(benchmark::State& state) {
    Rig rig("01 R260P value=5 pattern3=1,2\n");
    rig.window->ClickNode(rig.AddModule("(01)R260P"));
    auto* panel = qobject_cast<tavo::TfrmMR270P*>(rig.window->CurrentPanel());
    if (!panel) throw std::runtime_error("no R260P panel");
    panel->tmrUpdateAIDataTimer();
    RunEventLoop(200); // the form's first paint
    panel->findChild<QTimer*>("tmrUpdateAIData")->stop();
    PaintCounter counter;
    for (QLineEdit* edit : panel->channels->value)
        edit->installEventFilter(&counter);
    int polls = 0;
    for (auto _ : state) {
        panel->tmrUpdateAIDataTimer();
        RunEventLoop(20);
        ++polls;
    }
    int changed = 0, unchanged = 0;
    for (std::size_t n = 0; n < panel->channels->value.size(); ++n)
        (n == 3 ? changed : unchanged) += counter.counts[panel->channels->value[n]];
    state.counters["polls"] = polls;
    state.counters["paints_changed_field"] = changed;
    state.counters["paints_unchanged_fields"] = unchanged;
}
BENCHMARK(BM_PollRepaintsOnlyChangedFields)->Iterations(20);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    tavo::Application app(argc, argv);
    tavo::RegisterAllPanels();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
