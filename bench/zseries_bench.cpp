// The Z-series and R910 panels against the simulator. Attach: opening each panel
// from the module tree, against its bound: the fixed waits it makes (counted by the
// UI services, slept for real) plus the transactions it sends, each at the speed the
// simulator answers that very command (the same commands sent again on the same
// port). measured_over_bound should stay at or below 1.05. Poll: the open panel
// polling through its own timer in the event loop for a while; core_percent is the
// user-interface thread's CPU time over the time polled (the simulator runs in a
// thread of its own and is counted apart, in sim_core_percent).
#include "workspace/application.h"
#include "panels/panels.h"
#include "sim/bus_file.h"
#include "sim/pty_server.h"
#include "transport/com_port.h"
#include "workspace/main_window.h"
#include "workspace/module_tree.h"
#include "workspace/ui_services.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <ctime>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

class BenchUi : public tavo::UiServices {
public:
    void Message(QWidget*, Icon, const QString&, const QString& text) override { messages << text; }
    bool Ask(QWidget*, const QString&, const QString&) override { return false; }
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&,
                         const QString&) override {
        return {};
    }
    QString OpenFileName(QWidget*, const QString&, const QString&, const QString&,
                         const QString&) override {
        return {};
    }
    int Exec(QDialog&) override { return QDialog::Rejected; }
    void Sleep(int ms) override {
        sleptMs += ms;
        if (ms > 0) QThread::msleep(static_cast<unsigned long>(ms));
    }
    void Beep() override {}
    bool OpenUrl(const QUrl&) override { return false; }

    QStringList messages;
    long long sleptMs = 0;
};

double Seconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

std::vector<std::string> TakeReceived(tavo::sim::Bus& bus) {
    std::lock_guard lock(bus.mutex());
    std::vector<std::string> out;
    for (const auto& m : bus.modules()) {
        out.insert(out.end(), m->received.begin(), m->received.end());
        m->received.clear();
    }
    return out;
}

struct Session {
    explicit Session(const char* busText) {
        tavo::RegisterAllPanels();
        std::string error;
        if (!tavo::sim::LoadBusText(busText, bus, error)) throw std::runtime_error(error);
        server = std::make_unique<tavo::sim::PtyServer>(bus);
        if (!server->Start(error)) throw std::runtime_error(error);
        path = QString::fromStdString(server->DevicePath());
        window = std::make_unique<tavo::TfrmMain>(QStringList{path});
        window->show();
        port = window->Tree()->FindPort(path);
    }
    ~Session() {
        window.reset();
        server->Stop();
    }
    // The node at `texts` below the port, made as the search would.
    QTreeWidgetItem* Node(const std::vector<const char*>& texts) {
        QTreeWidgetItem* item = port;
        for (const char* text : texts) {
            tavo::FoundNode node;
            node.text = text;
            item = window->Tree()->AddFound(item, node);
        }
        return item;
    }

    tavo::sim::Bus bus;
    std::unique_ptr<tavo::sim::PtyServer> server;
    QString path;
    std::unique_ptr<tavo::TfrmMain> window;
    QTreeWidgetItem* port = nullptr;
};

const char* Bus(bool wire) {
    return wire ? "wire on\n01 Z352 slots=Z320,-,Z310,-,-,Z320\n38 R910\n"
                : "01 Z352 slots=Z320,-,Z310,-,-,Z320\n38 R910\n";
}

void Attach(benchmark::State& state, const std::vector<const char*>& path) {
    BenchUi* ui = new BenchUi;
    auto previous = tavo::InstallUi(std::unique_ptr<tavo::UiServices>(ui));
    Session s(Bus(state.range(0) != 0));
    QTreeWidgetItem* item = s.Node(path);
    // The first panel pays for the toolkit's one-time set-up; no part of a panel.
    s.window->ClickNode(item);
    s.window->ClickNode(s.port);
    double openMs = 0, boundMs = 0;
    long long waits = 0;
    int transactions = 0, runs = 0;
    for (auto _ : state) {
        QApplication::processEvents();
        TakeReceived(s.bus);
        ui->sleptMs = 0;
        QElapsedTimer clock;
        clock.start();
        s.window->ClickNode(item);
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        const long long slept = ui->sleptMs;
        const auto sent = TakeReceived(s.bus);
        tavo::TavoComPort* p = s.window->Port();
        const int timeout = p->GetTimeOut();
        s.window->ClickNode(s.port);
        // Replayed at the time-out the panel used, so a lost reply costs the same.
        p->SetTimeOut(std::max(timeout, 1000));
        clock.restart();
        for (const auto& command : sent) {
            std::string line = command + "\r", reply;
            p->SendCommand(line, tavo::TavoComPort::kReplyLimit, &reply);
        }
        const double bound = static_cast<double>(clock.nsecsElapsed()) / 1e6 + slept;
        p->SetTimeOut(timeout);
        state.SetIterationTime(ms / 1000);
        openMs += ms;
        boundMs += bound;
        waits = slept;
        transactions = static_cast<int>(sent.size());
        ++runs;
    }
    state.counters["open_ms"] = openMs / runs;
    state.counters["bound_ms"] = boundMs / runs;
    state.counters["fixed_waits_ms"] = static_cast<double>(waits);
    state.counters["transactions"] = transactions;
    state.counters["measured_over_bound"] = openMs / boundMs;
    tavo::InstallUi(std::move(previous));
}

void BM_AttachZ350(benchmark::State& state) {
    Attach(state, {"(01)Z352"});
}
void BM_AttachZ320(benchmark::State& state) {
    Attach(state, {"(01)Z352", "(S0)Z320"});
}
void BM_AttachZ310(benchmark::State& state) {
    Attach(state, {"(01)Z352", "(S2)Z310"});
}
void BM_AttachR910(benchmark::State& state) {
    Attach(state, {"(38)R910"});
}

// Argument: wire pacing on (a 9600 baud line) or off (the panel's own work shows).
BENCHMARK(BM_AttachZ350)
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK(BM_AttachZ320)
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK(BM_AttachZ310)
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_AttachR910)
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

void Poll(benchmark::State& state, const std::vector<const char*>& path, int pageIndex) {
    BenchUi* ui = new BenchUi;
    auto previous = tavo::InstallUi(std::unique_ptr<tavo::UiServices>(ui));
    Session s("wire on\n01 Z352 slots=Z320,-,Z310 in0=4/700,20/700\n38 R910\n");
    s.window->ClickNode(s.Node(path));
    if (pageIndex >= 0)
        if (auto* tabs = s.window->CurrentPanel()->findChild<QTabWidget*>("PageControl1"))
            tabs->setCurrentIndex(pageIndex);
    const int ms = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const double cpu = Seconds(CLOCK_THREAD_CPUTIME_ID);
        const double process = Seconds(CLOCK_PROCESS_CPUTIME_ID);
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
        const double used = Seconds(CLOCK_THREAD_CPUTIME_ID) - cpu;
        const double all = Seconds(CLOCK_PROCESS_CPUTIME_ID) - process;
        state.SetIterationTime(ms / 1000.0);
        state.counters["core_percent"] = 100.0 * used / (ms / 1000.0);
        state.counters["sim_core_percent"] = 100.0 * (all - used) / (ms / 1000.0);
    }
    tavo::InstallUi(std::move(previous));
}

void BM_PollZ350(benchmark::State& state) {
    Poll(state, {"(01)Z352"}, -1);
}
void BM_PollZ320Inputs(benchmark::State& state) {
    Poll(state, {"(01)Z352", "(S0)Z320"}, 0);
}
void BM_PollZ320Outputs(benchmark::State& state) {
    Poll(state, {"(01)Z352", "(S0)Z320"}, 1);
}
void BM_PollZ320Digital(benchmark::State& state) {
    Poll(state, {"(01)Z352", "(S0)Z320"}, 2);
}
void BM_PollR910(benchmark::State& state) {
    Poll(state, {"(38)R910"}, -1);
}
BENCHMARK(BM_PollZ350)->Arg(10000)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_PollZ320Inputs)->Arg(10000)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_PollZ320Outputs)->Arg(10000)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_PollZ320Digital)->Arg(10000)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_PollR910)->Arg(10000)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    tavo::Application app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
