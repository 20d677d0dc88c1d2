// Recording an open panel's values for an hour: what it adds to the program's CPU
// and whether its memory stays flat. An eight-channel R270P panel polls the
// simulator (pseudo-terminal, in process) in the main window; one of its polls is
// captured as the port reports it, then an hour of polls (7200, one every half
// second on the recording's clocks) is replayed through the port's watcher (the
// points' tap) and the panel's end-of-poll signal, so the recording does all of
// its work (decoding every exchange, the CSV rows, one write per poll) without
// waiting an hour of wall time. Reports the CPU per poll, the share of one core at
// the panel's own poll rate (measured on the real polls first), the resident
// memory after the first ten minutes and at the end, and the file's size.
#include "workspace/application.h"
#include "bench_support.h"
#include "panels/panels.h"
#include "sim/bus_file.h"
#include "sim/pty_server.h"
#include "transport/com_port.h"
#include "workspace/main_window.h"
#include "workspace/module_panel.h"
#include "workspace/module_tree.h"
#include "workspace/ui_services.h"
#include "workspace/value_commands.h"
#include "workspace/value_recorder.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using tavo::bench::RunEventLoop;
using tavo::bench::ThreadCpuSeconds;

constexpr int kPollsPerHour = 7200; // at the panels' 500 ms
constexpr int kPollsPerTenMinutes = kPollsPerHour / 6;

// Boxes are counted; the file dialog answers with the file to record into.
class BenchUi : public tavo::UiServices {
public:
    void Message(QWidget*, Icon, const QString&, const QString&) override { ++messages; }
    bool Ask(QWidget*, const QString&, const QString&) override { return false; }
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&,
                         const QString&) override {
        return file;
    }
    QString OpenFileName(QWidget*, const QString&, const QString&, const QString&,
                         const QString&) override {
        return {};
    }
    int Exec(QDialog&) override { return 0; }
    void Sleep(int ms) override { QThread::msleep(static_cast<unsigned long>(ms)); }
    void Beep() override {}
    bool OpenUrl(const QUrl&) override { return false; }
    QString file;
    int messages = 0;
};

// Resident memory of the process, in kB.
long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

void BM_RecordAnHour(benchmark::State& state) {
    auto ownUi = std::make_unique<BenchUi>();
    BenchUi* ui = ownUi.get();
    auto previous = tavo::InstallUi(std::move(ownUi));
    QTemporaryDir dir;
    tavo::sim::Bus bus;
    std::string error;
    if (!tavo::sim::LoadBusText("wire on\n01 R270P\n", bus, error)) throw std::runtime_error(error);
    tavo::sim::PtyServer server(bus);
    if (!server.Start(error)) throw std::runtime_error(error);
    const QString portName = QString::fromStdString(server.DevicePath());

    tavo::TfrmMain window(QStringList{portName});
    window.show();
    tavo::FoundNode found;
    found.text = "(01)R270P";
    window.ClickNode(window.Tree()->AddFound(window.Tree()->FindPort(portName), found));
    auto* panel = qobject_cast<tavo::ModulePanel*>(window.CurrentPanel());
    tavo::ValueCommands* values = window.Values();
    if (!panel || !values->Points()) throw std::runtime_error("no R270P panel with points");

    // The panel's own polls for a while: how often it polls, and one poll's
    // exchanges as the port reports them.
    tavo::TavoComPort& port = *window.Port();
    const tavo::ExchangeObserver tap = port.GetExchangeObserver(); // the points' tap
    std::vector<tavo::PortExchange> seen, poll;
    int polls = 0;
    port.SetExchangeObserver([&seen, &tap](const tavo::PortExchange& e) {
        seen.push_back(e);
        tap(e);
    });
    const auto connection = QObject::connect(panel, &tavo::ModulePanel::PollEnded, panel, [&] {
        if (++polls == 3) poll = seen; // after the start-up reads
        seen.clear();
    });
    RunEventLoop(1000);
    const int before = polls;
    QElapsedTimer clock;
    clock.start();
    RunEventLoop(10000);
    const double pollsPerSecond = (polls - before) / (static_cast<double>(clock.nsecsElapsed()) / 1e9);
    QObject::disconnect(connection);
    port.SetExchangeObserver(tap);
    if (poll.empty()) throw std::runtime_error("the panel did not poll");

    int hour = 0;
    for (auto _ : state) {
        std::chrono::system_clock::time_point wall{std::chrono::seconds(1767323045)};
        std::chrono::steady_clock::time_point steady{};
        values->SetClocks([&] { return wall; }, [&] { return steady; });
        ui->file = dir.filePath(QString("hour%1.csv").arg(++hour)); // a new file each hour
        window.findChild<QAction*>("actRecordValues")->trigger();
        if (!values->Recorder() || !values->Recorder()->Recording())
            state.SkipWithError("the recording did not start");

        long firstTenMinutesKb = 0;
        const long startKb = ResidentKb();
        const double start = ThreadCpuSeconds();
        for (int i = 0; i < kPollsPerHour; ++i) {
            for (const auto& e : poll) tap(e);
            emit panel->PollEnded(true);
            wall += std::chrono::milliseconds(500);
            steady += std::chrono::milliseconds(500);
            if (i + 1 == kPollsPerTenMinutes) firstTenMinutesKb = ResidentKb();
        }
        const double cpu = ThreadCpuSeconds() - start;
        const long endKb = ResidentKb();
        window.findChild<QAction*>("actRecordValues")->trigger(); // Stop Recording
        // The rows the file holds, its header line aside.
        QFile written(ui->file);
        long long rows = -1;
        if (written.open(QIODevice::ReadOnly)) rows += written.readAll().count('\n');
        state.SetIterationTime(cpu);

        const double perPoll = cpu / kPollsPerHour;
        state.counters["cpu_us_per_poll"] = perPoll * 1e6;
        state.counters["polls_per_s"] = pollsPerSecond;
        state.counters["core_percent_added"] = 100.0 * perPoll * pollsPerSecond;
        state.counters["exchanges_per_poll"] = static_cast<double>(poll.size());
        state.counters["rows"] = static_cast<double>(rows);
        state.counters["file_kb"] = static_cast<double>(QFile(ui->file).size()) / 1024;
        state.counters["rss_kb_start"] = static_cast<double>(startKb);
        state.counters["rss_kb_10min"] = static_cast<double>(firstTenMinutesKb);
        state.counters["rss_kb_60min"] = static_cast<double>(endKb);
    }
    if (ui->messages) state.SkipWithError("a message was shown");
    window.close();
    server.Stop();
}
BENCHMARK(BM_RecordAnHour)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    tavo::Application app(argc, argv);
    tavo::RegisterAllPanels();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
