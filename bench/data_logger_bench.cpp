// The data logger panel uploading 10,000 records from the simulator, which paces
// its bytes as a 115200-baud line does, against the bound of that upload: the wire
// time of every command and reply it needs plus its fixed waits (none, unless a
// record has to be tried again). Twice: over the simulator's pseudo-terminal, and
// over its loopback TCP port (a raw network port), whose hand-over costs no kernel
// worker's wake-up per write as the pty driver's does; the difference between the
// two is the test rig's, not the upload's.
#include "workspace/application.h"
#include "panels/analog/data_logger_panel.h"
#include "panels/panels.h"
#include "sim/bus_file.h"
#include "sim/module.h"
#include "sim/pty_server.h"
#include "sim/tcp_server.h"
#include "devices/models_analog.h"
#include "transport/com_port.h"
#include "workspace/main_window.h"
#include "workspace/module_tree.h"
#include "workspace/ui_services.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QThread>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <QUrl>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <stdexcept>
#include <string>

namespace {

constexpr int kRecords = 10000;
constexpr std::uint32_t kBaud = 115200;

// Boxes answered at once, the save dialog cancelled; waits are real.
class BenchUi : public tavo::UiServices {
public:
    void Message(QWidget*, Icon, const QString&, const QString&) override {}
    bool Ask(QWidget*, const QString&, const QString&) override { return false; }
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&,
                         const QString&) override {
        return {};
    }
    QString OpenFileName(QWidget*, const QString&, const QString&, const QString&,
                         const QString&) override {
        return {};
    }
    int Exec(QDialog&) override { return QDialog::Accepted; }
    void Sleep(int ms) override {
        waitedMs += ms;
        QThread::msleep(static_cast<unsigned long>(ms));
    }
    void Beep() override {}
    bool OpenUrl(const QUrl&) override { return false; }
    long long waitedMs = 0;
};

// Each benchmark runs over the pseudo-terminal (tcp:0) and the TCP port (tcp:1),
// three whole runs each, timed by the benchmark itself.
void OverBothLinks(benchmark::internal::Benchmark* b) {
    b->ArgName("tcp")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kSecond);
    b->Iterations(1)->Repetitions(3);
}

void BM_UploadTenThousandRecords(benchmark::State& state) {
    auto ownUi = std::make_unique<BenchUi>();
    BenchUi* ui = ownUi.get();
    auto previous = tavo::InstallUi(std::move(ownUi));

    tavo::sim::Bus bus;
    std::string error;
    const std::string busText =
        "wire on\n01 R270M baud=115200 storage=standard stdrecords=" + std::to_string(kRecords) +
        " eventrecords=0\n";
    if (!tavo::sim::LoadBusText(busText, bus, error)) throw std::runtime_error(error);
    const bool overTcp = state.range(0) != 0;
    tavo::sim::PtyServer server(bus);
    tavo::sim::TcpServer network(bus);
    if (!server.Start(error)) throw std::runtime_error(error);
    if (overTcp && !network.Start(error)) throw std::runtime_error(error);
    const QString portName =
        overTcp ? QString("tcp://127.0.0.1:%1").arg(network.Port())
                : QString::fromStdString(server.DevicePath());
    if (overTcp) {
        // A raw network port cannot set the line: the server's line is at the speed.
        std::lock_guard lock(bus.mutex());
        bus.SetLine(tavo::sim::Line{kBaud, 0, 1, false});
    }
    auto window = std::make_unique<tavo::TfrmMain>(QStringList{portName});
    window->show();
    QTreeWidgetItem* port = window->Tree()->FindPort(portName);
    tavo::FoundNode found;
    found.text = "(01)R270M";
    QTreeWidgetItem* node = window->Tree()->AddFound(port, found);
    window->ClickNode(node); // opens the port at its default speed ...
    if (!overTcp) window->Port()->SetPortState(kBaud, 8, tavo::kParityNone, tavo::kOneStopBit);
    window->ClickNode(node); // ... and the panel again at the module's
    auto* panel = qobject_cast<tavo::TfrmMR270M*>(window->CurrentPanel());
    if (!panel) throw std::runtime_error("no data logger panel");
    panel->PageControl->setCurrentWidget(panel->TS_MemoryOperation);

    const auto received = [&] {
        std::lock_guard lock(bus.mutex());
        auto& m = *bus.Find(1);
        std::vector<std::string> out(m.received.begin(), m.received.end());
        m.received.clear();
        return out;
    };
    for (auto _ : state) {
        received();
        ui->waitedMs = 0;
        QElapsedTimer clock;
        clock.start();
        panel->btUploadClick();
        // The module keeps only its latest commands: collect them as they come.
        std::vector<std::string> sent;
        while (panel->Uploading()) {
            QApplication::processEvents();
            for (auto& c : received())
                sent.push_back(std::move(c));
        }
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        state.SetIterationTime(ms / 1000);
        for (auto& c : received())
            sent.push_back(std::move(c));
        // Wire time: ten bits a byte, the CR of each command and reply included.
        // The replies are the module's own answers to the same lines.
        std::size_t bytes = 0;
        {
            std::lock_guard lock(bus.mutex());
            auto& m = *bus.Find(1);
            for (const auto& command : sent)
                bytes += command.size() + 1 +
                         m.OnAsciiLine(command, tavo::sim::SimClock::now()).value_or("").size() + 1;
            m.received.clear();
        }
        const double wireMs = static_cast<double>(bytes) * 10.0 * 1000.0 / kBaud;
        const double boundMs = wireMs + static_cast<double>(ui->waitedMs);
        state.counters["records"] = panel->ListView1->topLevelItemCount();
        state.counters["transactions"] = static_cast<double>(sent.size());
        state.counters["upload_ms"] = ms;
        state.counters["bound_ms"] = boundMs;
        state.counters["waits_ms"] = static_cast<double>(ui->waitedMs);
        state.counters["per_record_overhead_us"] =
            (ms - boundMs) * 1000.0 / std::max(1, panel->ListView1->topLevelItemCount());
        state.counters["measured_over_bound"] = ms / boundMs;
        if (panel->ListView1->topLevelItemCount() != kRecords)
            state.SkipWithError("the upload did not bring every record");
    }
    window.reset();
    network.Stop();
    server.Stop();
    tavo::InstallUi(std::move(previous));
}
BENCHMARK(BM_UploadTenThousandRecords)->Apply(OverBothLinks);

// The same record reads without the panel: the command class on a port of its own,
// over the pseudo-terminal or the simulator's TCP port, against the same bound. What
// the upload takes beyond this is the panel's.
void BM_RecordReadsAlone(benchmark::State& state) {
    constexpr int kReads = 3000;
    const bool overTcp = state.range(0) != 0;
    tavo::sim::Bus bus;
    std::string error;
    const std::string busText = "wire on\n01 R270M baud=115200 storage=standard stdrecords=" +
                                std::to_string(kReads) + " eventrecords=0\n";
    if (!tavo::sim::LoadBusText(busText, bus, error)) throw std::runtime_error(error);
    tavo::sim::PtyServer server(bus);
    tavo::sim::TcpServer network(bus);
    if (!server.Start(error)) throw std::runtime_error(error);
    if (overTcp && !network.Start(error)) throw std::runtime_error(error);
    if (overTcp) {
        std::lock_guard lock(bus.mutex());
        bus.SetLine(tavo::sim::Line{kBaud, 0, 1, false});
    }
    tavo::TavoComPort port(overTcp ? "tcp://127.0.0.1:" + std::to_string(network.Port())
                                   : server.DevicePath());
    if (!port.OpenPort()) throw std::runtime_error(port.LastError().text);
    if (!overTcp) port.SetPortState(kBaud, 8, tavo::kParityNone, tavo::kOneStopBit);
    port.SetTimeOut(80);
    tavo::TavoMR270M logger(&port, "01");
    for (auto _ : state) {
        std::size_t bytes = 0;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < kReads; ++i) {
            std::string data;
            if (!logger.ReadRecordData(i, data)) {
                state.SkipWithError("a record read failed");
                return;
            }
            bytes += 9 + 3 + data.size() + 1; // "@01Rnnnn" CR, "!01" data CR
        }
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        state.SetIterationTime(ms / 1000);
        const double boundMs = static_cast<double>(bytes) * 10.0 * 1000.0 / kBaud;
        state.counters["measured_over_bound"] = ms / boundMs;
        state.counters["per_read_overhead_us"] = (ms - boundMs) * 1000.0 / kReads;
    }
    port.ClosePort();
    network.Stop();
    server.Stop();
}
BENCHMARK(BM_RecordReadsAlone)->Apply(OverBothLinks);

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
