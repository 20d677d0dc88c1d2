// The rack's analog slot panels against the simulated rack on a pseudo-terminal:
// switching from one slot panel to the next (free the open one, attach the next,
// its first poll) compared with its fixed waits plus the same transactions sent
// straight through the port, and what a polling thermocouple slot panel costs the
// user-interface thread.
#include "workspace/application.h"
#include "bench_support.h"
#include "panels/panels.h"
#include "panels/system/k310_panel.h"
#include "panels/system/k_analog_slot.h"
#include "sim/bus_file.h"
#include "sim/module.h"
#include "sim/pty_server.h"
#include "transport/com_port.h"
#include "workspace/main_window.h"
#include "workspace/module_tree.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QTreeWidgetItem>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using tavo::bench::ProcessCpuSeconds;
using tavo::bench::RunEventLoop;
using tavo::bench::ThreadCpuSeconds;

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
    QTreeWidgetItem* Add(QTreeWidgetItem* parent, const std::string& text) {
        tavo::FoundNode node;
        node.text = text;
        node.link = tavo::LinkKind::AsciiPlain;
        return window->Tree()->AddFound(parent, node);
    }
    QTreeWidgetItem* Port() {
        return window->Tree()->FindPort(QString::fromStdString(server->DevicePath()));
    }
    std::vector<std::string> Received(unsigned address) {
        return tavo::bench::TakeReceived(bus, address);
    }

    tavo::sim::Bus bus;
    std::unique_ptr<tavo::sim::PtyServer> server;
    std::unique_ptr<tavo::TfrmMain> window;
};

// The first poll of whichever analog slot panel is open: both turns of the input
// panels (readings, then alarm states), the read-back of the output panel.
bool FirstPoll(QWidget* panel) {
    if (auto* input = qobject_cast<tavo::TfrmMK230*>(panel)) {
        input->tmrUpdateAIDataTimer();
        input->tmrUpdateAIDataTimer();
        return true;
    }
    if (auto* output = qobject_cast<tavo::TfrmMK310*>(panel)) {
        output->tmrUpdateAODataTimer();
        return true;
    }
    return false;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Eight slots, one panel after the other, over and over. With argument 1 the
// simulator paces bytes as a 9600-baud line does; with 0 it answers at once and
// the ratio shows the panels' own work against next to nothing.
void BM_SwitchAnalogSlotPanels(benchmark::State& state) {
    const bool wire = state.range(0) != 0;
    Rig rig(std::string(wire ? "wire on\n" : "") +
            "01 K100E slots=K210,K220,K220H,K220UH,K230,K230P:7,K310,K230\n");
    QTreeWidgetItem* rack = rig.Add(rig.Port(), "(01)K100E");
    const char* const slotNodes[] = {"(S0)K210", "(S1)K220",  "(S2)K220H", "(S3)K220UH",
                                     "(S4)K230", "(S5)K230P", "(S6)K310",  "(S7)K230"};
    std::vector<QTreeWidgetItem*> nodes;
    for (const char* s : slotNodes)
        nodes.push_back(rig.Add(rack, s));
    rig.window->ClickNode(nodes.back()); // opens the port
    RunEventLoop(50);
    rig.Received(0x01);
    std::vector<double> switchMs, bareMs, ratios;
    std::size_t next = 0;
    // The attach and the first poll of these panels pause nowhere.
    constexpr double kFixedWaitsMs = 0;
    for (auto _ : state) {
        QTreeWidgetItem* node = nodes[next++ % nodes.size()];
        QElapsedTimer clock;
        clock.start();
        rig.window->ClickNode(node);
        if (!FirstPoll(rig.window->CurrentPanel())) state.SkipWithError("no slot panel opened");
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        const auto sent = rig.Received(0x01);
        tavo::TavoComPort* port = rig.window->Port();
        clock.restart();
        for (const auto& command : sent) {
            std::string line = command + "\r", reply;
            port->SendCommand(line, tavo::TavoComPort::kReplyLimit, &reply);
        }
        const double bare = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        rig.Received(0x01);
        switchMs.push_back(ms);
        bareMs.push_back(bare);
        ratios.push_back(ms / (kFixedWaitsMs + bare));
        state.SetIterationTime(ms / 1000);
    }
    state.counters["switch_ms"] = Median(switchMs);
    state.counters["bound_ms"] = kFixedWaitsMs + Median(bareMs);
    state.counters["median_ratio"] = Median(ratios);
    // On a shared machine single runs stray upward; the least ratio is what the
    // panels themselves cost.
    state.counters["least_ratio"] = *std::min_element(ratios.begin(), ratios.end());
}
BENCHMARK(BM_SwitchAnalogSlotPanels)
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(48);

// A K230 slot panel polling its seven channels in the event loop for ten seconds:
// CPU of the user-interface thread per second of wall time.
void BM_PollThermocoupleSlot(benchmark::State& state) {
    Rig rig("wire on\n01 K100 slots=K230\n");
    QTreeWidgetItem* rack = rig.Add(rig.Port(), "(01)K100");
    rig.window->ClickNode(rig.Add(rack, "(S0)K230"));
    if (!qobject_cast<tavo::TfrmMK230*>(rig.window->CurrentPanel()))
        throw std::runtime_error("no K230 panel");
    for (auto _ : state) {
        rig.Received(0x01);
        const double cpu0 = ThreadCpuSeconds();
        QElapsedTimer clock;
        clock.start();
        RunEventLoop(10000);
        const double wall = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        state.SetIterationTime(wall);
        state.counters["transactions"] = static_cast<double>(rig.Received(0x01).size());
        state.counters["gui_cpu_percent"] = (ThreadCpuSeconds() - cpu0) / wall * 100.0;
    }
}
BENCHMARK(BM_PollThermocoupleSlot)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

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
