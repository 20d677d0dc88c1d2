// The rack's slot panels on an eight-slot rack: moving from one slot panel to the
// next (the old one freed, the new one attached and polled once) against the sum
// of the same transactions sent one by one (the panels have no fixed waits on the
// way); and the CPU a polling slot panel costs its thread.
#include "workspace/application.h"
#include "bench_support.h"
#include "panels/system/k710_panels.h"
#include "panels/system/k_digital_panels.h"
#include "sim/bus_file.h"
#include "sim/pty_server.h"
#include "transport/com_port.h"
#include "workspace/status_bar.h"
#include "workspace/ui_services.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <time.h>
#include <vector>

namespace {

using tavo::bench::ProcessCpuSeconds;
using tavo::bench::RunEventLoop;
using tavo::bench::ThreadCpuSeconds;

// Eight slots, one panel class each; bytes take the time they take at 9600 baud.
const char* const kRack = "wire on\n"
                          "01 K100E firmware=A3.10 slots=K510,K520,K540,K550,K610,K620,K630,K710\n";

// Boxes are counted instead of shown; waits are real.
class BenchUi : public tavo::UiServices {
public:
    void Message(QWidget*, Icon, const QString&, const QString&) override { ++messages; }
    bool Ask(QWidget*, const QString&, const QString&) override { return false; }
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&,
                         const QString&) override {
        return {};
    }
    QString OpenFileName(QWidget*, const QString&, const QString&, const QString&,
                         const QString&) override {
        return {};
    }
    int Exec(QDialog&) override { return 0; }
    void Sleep(int ms) override { QThread::msleep(static_cast<unsigned long>(ms)); }
    void Beep() override {}
    bool OpenUrl(const QUrl&) override { return false; }
    int messages = 0;
};

struct Served {
    Served() {
        std::string error;
        if (!tavo::sim::LoadBusText(kRack, bus, error)) throw std::runtime_error(error);
        server = std::make_unique<tavo::sim::PtyServer>(bus);
        if (!server->Start(error)) throw std::runtime_error(error);
        port = std::make_unique<tavo::TavoComPort>(server->DevicePath());
        if (!port->OpenPort() || !port->SetPortState(9600, 8, tavo::kParityNone, tavo::kOneStopBit))
            throw std::runtime_error(port->LastError().text);
        port->SetTimeOut(80);
    }
    ~Served() {
        port->ClosePort();
        server->Stop();
    }
    tavo::sim::Bus bus;
    std::unique_ptr<tavo::sim::PtyServer> server;
    std::unique_ptr<tavo::TavoComPort> port;
};

struct SlotCase {
    std::function<tavo::KSlotPanel*()> make;
    std::vector<std::string> commands; // what attach and the first poll send
};

std::vector<std::string> K710Commands() {
    std::vector<std::string> c = {"$01S7B", "$01S7B"};
    for (int j = 0; j < 4; ++j) {
        c.push_back("#01S7C" + std::to_string(j));
        c.push_back("$01S7C" + std::to_string(j) + "S");
    }
    return c;
}

std::vector<SlotCase> Cases() {
    using namespace tavo;
    return {
        {[] { return new TfrmMK510; }, {"$01S07", "$01S0M", "$01XS0", "$01S06"}},
        {[] { return new TfrmMK520; }, {"$01S16"}},
        {[] { return new TfrmMK540; }, {"$01S2M", "$01XS2", "$01S26"}},
        {[] { return new TfrmMK550; }, {"$01S3M", "$01XS3", "$01S36"}},
        {[] { return new TfrmMK610; }, {"$01S4M", "$01XS4", "$01S46"}},
        {[] { return new TfrmMK620; }, {"$01S5M", "$01XS5", "$01S56"}},
        {[] { return new TfrmMK630; }, {"$01S6M", "$01XS6", "$01S66"}},
        {[] { return new TfrmMK710; }, K710Commands()},
    };
}

tavo::PanelContext SlotContext(tavo::TavoComPort* port, int slot, tavo::MainStatusBar* status) {
    tavo::PanelContext c;
    c.kind = tavo::PanelInitKind::Slot;
    c.port = port;
    c.address = "01";
    c.status = status;
    c.slot = QString("S%1").arg(slot);
    return c;
}

double Least(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

void FirstPoll(tavo::KSlotPanel* panel) {
    if (auto* d = qobject_cast<tavo::TfrmMK510*>(panel)) d->tmrUpdateDIDataTimer();
    // The counter panel polls inside its attach.
}

void BM_KSlotPanelSwitch(benchmark::State& state) {
    Served s;
    tavo::MainStatusBar status;
    auto* ui = dynamic_cast<BenchUi*>(&tavo::Ui());
    if (!ui) throw std::logic_error("no bench UI");
    const auto cases = Cases();
    // Per slot: each switch and the same transactions alone.
    std::vector<std::vector<double>> switching(cases.size()), transactions(cases.size());
    std::unique_ptr<tavo::KSlotPanel> panel;
    for (auto _ : state) {
        for (std::size_t i = 0; i < cases.size(); ++i) {
            const auto& c = cases[i];
            QElapsedTimer clock;
            clock.start();
            for (const auto& command : c.commands) {
                std::string line = command + "\r", reply;
                if (!s.port->SendCommand(line, tavo::TavoComPort::kReplyLimit, &reply))
                    state.SkipWithError(("no answer to " + command).c_str());
            }
            transactions[i].push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);

            clock.restart();
            panel.reset();
            panel.reset(c.make());
            panel->InitModule(SlotContext(s.port.get(), static_cast<int>(i), &status));
            FirstPoll(panel.get());
            const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            switching[i].push_back(ms);
            if (ui->messages || (status.StatusMessage() != "Polling DIO data..." &&
                                 status.StatusMessage() != "Polling AIO data..."))
                state.SkipWithError("an attach or a poll failed");
        }
        state.SetIterationTime(0.001);
    }
    // The least of each is what the work itself costs on a shared box; the worst
    // slot's ratio is what the bound is about.
    double worst = 0, sumSwitch = 0, sumBound = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const double sw = Least(switching[i]), tr = Least(transactions[i]);
        worst = std::max(worst, sw / tr);
        state.counters["slot" + std::to_string(i) + "_over_bound"] = sw / tr;
        sumSwitch += sw;
        sumBound += tr;
    }
    state.counters["switch_ms_per_8"] = sumSwitch;
    state.counters["transactions_ms_per_8"] = sumBound;
    state.counters["fixed_waits_ms"] = 0;
    state.counters["worst_slot_over_bound"] = worst;
    state.counters["all_over_bound"] = sumSwitch / sumBound;
}
BENCHMARK(BM_KSlotPanelSwitch)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

// The user-interface thread's share of one core while a slot panel polls (the
// simulator serves from its own thread and is not counted).
template <class Panel> void Polling(benchmark::State& state, int slot) {
    Served s;
    tavo::MainStatusBar status;
    Panel panel;
    panel.resize(640, 480);
    panel.show();
    panel.InitModule(SlotContext(s.port.get(), slot, &status));
    RunEventLoop(1000);
    const int ms = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const double start = ThreadCpuSeconds();
        RunEventLoop(ms);
        const double cpu = ThreadCpuSeconds() - start;
        state.SetIterationTime(ms / 1000.0);
        state.counters["core_percent"] = 100.0 * cpu / (ms / 1000.0);
    }
}
void BM_PollK510Slot(benchmark::State& state) {
    Polling<tavo::TfrmMK510>(state, 0);
}
void BM_PollK710Slot(benchmark::State& state) {
    Polling<tavo::TfrmMK710>(state, 7);
}
BENCHMARK(BM_PollK510Slot)->Arg(10000)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_PollK710Slot)->Arg(10000)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    tavo::Application app(argc, argv);
    tavo::InstallUi(std::make_unique<BenchUi>());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
