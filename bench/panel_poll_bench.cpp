// What a polling panel costs the program: its window with the panel open beside a
// searched tree, polling twice a second through its own timer in the event loop
// (the reads, the changes shown, the repaints and the threads Qt paints with),
// while the module is simulated by `tavo sim` in a process of its own. Reports the
// process's share of one core (core_percent) and its CPU time per poll tick.
#include "bench_support.h"
#include "panels/panels.h"
#include "workspace/main_window.h"
#include "workspace/module_tree.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QSplitter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <chrono>
#include <csignal>
#include <ctime>
#include <memory>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using tavo::bench::ProcessCpuSeconds;
using tavo::bench::RunEventLoop;
using tavo::bench::ThreadCpuSeconds;

// `tavo sim` serving a bus file on a link in a temporary folder.
class SimProcess {
public:
    explicit SimProcess(const char* busText) {
        const QString bus = dir_.filePath("bus.txt");
        link_ = dir_.filePath("port");
        QFile f(bus);
        if (!f.open(QIODevice::WriteOnly) || f.write(busText) < 0)
            throw std::runtime_error("cannot write the bus file");
        f.close();
        const std::string linkArg = link_.toStdString(), busArg = bus.toStdString();
        char program[] = TAVO_CLI;
        std::string sim = "sim", flag = "--link";
        char* argv[] = {program, sim.data(), flag.data(), const_cast<char*>(linkArg.c_str()),
                        const_cast<char*>(busArg.c_str()), nullptr};
        if (posix_spawn(&pid_, program, nullptr, nullptr, argv, environ) != 0)
            throw std::runtime_error("cannot start tavo sim");
        // The port is there once the link is.
        for (int i = 0; i < 500 && !QFile::exists(link_); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!QFile::exists(link_)) throw std::runtime_error("tavo sim did not start");
    }
    ~SimProcess() {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    const QString& Link() const { return link_; }

private:
    QTemporaryDir dir_;
    QString link_;
    pid_t pid_ = 0;
};

// The program's window with the simulator's port, shown, and a tree as a search
// of a bus of sixty modules leaves it (the tree takes part in every new layout).
class WindowOnBus {
public:
    explicit WindowOnBus(const char* busText) : sim_(busText) {
        tavo::RegisterAllPanels();
        window_ = std::make_unique<tavo::TfrmMain>(QStringList{sim_.Link()});
        window_->show();
    }
    ~WindowOnBus() { window_.reset(); } // panels and port before the simulator

    // Clicks a module node as the search would have listed it.
    QWidget* Open(const char* nodeText) {
        tavo::ModuleTree* tree = window_->Tree();
        QTreeWidgetItem* port = tree->FindPort(sim_.Link());
        const char* models[] = {"R210D", "R220", "R260P", "R270P", "R550", "R560SO"};
        for (int a = 0x80; a < 0x80 + 60; ++a) {
            tavo::FoundNode other;
            other.text = QString("(%1)").arg(a, 2, 16).toUpper().toStdString() + models[a % 6];
            other.link = tavo::LinkKind::AsciiPlain;
            tree->AddFound(port, other);
        }
        port->setExpanded(true);
        tavo::FoundNode node;
        node.text = nodeText;
        node.link = tavo::LinkKind::AsciiPlain;
        window_->ClickNode(tree->AddFound(port, node));
        QWidget* panel = window_->CurrentPanel();
        // The window as the program's --screenshot run lays it out (the tree 250
        // pixels wide, the window sized to the panel): the layout in which the
        // program's own measurement (bench/panel_cpu.sh) is made.
        if (panel) {
            const QSize want = panel->sizeHint();
            window_->resize(std::max(800, 250 + want.width() + 40),
                            std::max(600, want.height() + 150));
            if (auto* splitter = window_->findChild<QSplitter*>("Splitter1"))
                splitter->setSizes({250, window_->width() - 250});
        }
        return panel;
    }

private:
    SimProcess sim_;
    std::unique_ptr<tavo::TfrmMain> window_;
};

void Polling(benchmark::State& state, const char* bus, const char* node) {
    WindowOnBus fixture(bus);
    if (!fixture.Open(node)) throw std::runtime_error(std::string("no panel for ") + node);
    const int ms = static_cast<int>(state.range(0));
    // The panel's first reads and the first paint are not part of the poll.
    RunEventLoop(1000);
    for (auto _ : state) {
        const double start = ProcessCpuSeconds();
        RunEventLoop(ms);
        const double cpu = ProcessCpuSeconds() - start;
        state.SetIterationTime(ms / 1000.0);
        state.counters["core_percent"] = 100.0 * cpu / (ms / 1000.0);
        state.counters["cpu_us_per_tick"] = cpu * 1e6 / (ms / 500.0); // a tick every 500 ms
    }
}

void BM_PollR550(benchmark::State& state) {
    Polling(state, "24 R550 inputs=A5 outputs=3C\n", "(24)R550");
}
void BM_PollR710(benchmark::State& state) {
    Polling(state, "30 R710 freq0=120 freq1=7.5\n", "(30)R710");
}
void BM_PollR710D(benchmark::State& state) {
    Polling(state, "31 R710D freq0=60\n", "(31)R710D");
}
void BM_PollR210D(benchmark::State& state) {
    Polling(state, "01 R210D firmware=A1.02 type=0F\n", "(01)R210D");
}
// Resident memory of this process in MB (/proc/self/statm counts pages).
double ResidentMb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1e6;
}

// The loop controller on its PID page, its trend taking a point every pass of the
// table (eight ticks of 250 ms), for 60 s; TAVO_BENCH_FULL=1 runs the 10 minutes.
void BM_PollR320TTrend(benchmark::State& state) {
    WindowOnBus fixture("01 R320T tau=5\n");
    QWidget* panel = fixture.Open("(01)R320T");
    if (!panel) throw std::runtime_error("no panel for (01)R320T");
    panel->findChild<QTabWidget*>("pgCtrlMain")->setCurrentIndex(3);
    const char* full = std::getenv("TAVO_BENCH_FULL");
    const int ms = full && *full == '1' ? 600000 : 60000;
    RunEventLoop(1000);
    for (auto _ : state) {
        const double rssStart = ResidentMb();
        const double start = ProcessCpuSeconds();
        RunEventLoop(ms);
        const double cpu = ProcessCpuSeconds() - start;
        state.SetIterationTime(ms / 1000.0);
        state.counters["core_percent"] = 100.0 * cpu / (ms / 1000.0);
        state.counters["rss_start_mb"] = rssStart;
        state.counters["rss_end_mb"] = ResidentMb();
        state.counters["seconds"] = ms / 1000.0;
    }
}
BENCHMARK(BM_PollR320TTrend)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

BENCHMARK(BM_PollR550)->Arg(20000)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_PollR710)->Arg(20000)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_PollR710D)->Arg(20000)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_PollR210D)->Arg(20000)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

} // namespace
