// The K100 panel: its whole attach (general settings, slot list, watchdog) against
// the sum of its fixed waits and of the same transactions sent one by one; and a
// rack firmware update started from the panel against the wire time of what it
// sends and receives plus the loader's fixed waits, beside the same download run
// as the command-line tool runs it.
#include "panels/system/k100_panel.h"
#include "sim/bus_file.h"
#include "sim/pty_server.h"
#include "transport/com_port.h"
#include "workspace/core/data_dirs.h"
#include "workspace/core/rack_loader.h"
#include "workspace/module_tree.h"
#include "workspace/status_bar.h"
#include "workspace/ui_services.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QThread>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Real waits and real modal dialogs; boxes and file dialogs answered without a
// person. Counts the fixed waits.
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
        return openName;
    }
    int Exec(QDialog& dialog) override { return dialog.exec(); }
    void Sleep(int ms) override {
        sleptMs += ms;
        if (ms > 0) QThread::msleep(static_cast<unsigned long>(ms));
    }
    void Beep() override {}
    bool OpenUrl(const QUrl&) override { return false; }

    QStringList messages;
    QString openName;
    long long sleptMs = 0;
};

// Installs a BenchUi for its lifetime.
class ScopedBenchUi {
public:
    ScopedBenchUi() {
        auto ui = std::make_unique<BenchUi>();
        ui_ = ui.get();
        previous_ = tavo::InstallUi(std::move(ui));
    }
    ~ScopedBenchUi() { tavo::InstallUi(std::move(previous_)); }
    BenchUi& ui() { return *ui_; }

private:
    BenchUi* ui_;
    std::unique_ptr<tavo::UiServices> previous_;
};

struct Served {
    explicit Served(const std::string& busText) {
        std::string error;
        if (!tavo::sim::LoadBusText(busText, bus, error)) throw std::runtime_error(error);
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

// What the main window hands a rack panel when it opens it.
tavo::PanelContext RackContext(tavo::TavoComPort* port, const QString& address,
                               tavo::MainStatusBar* status, tavo::ModuleTree* tree = nullptr) {
    tavo::PanelContext context;
    context.kind = tavo::PanelInitKind::Rack;
    context.port = port;
    context.address = address;
    context.status = status;
    context.tree = tree;
    return context;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Least(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

// ---- attach ----

void BM_K100PanelAttach(benchmark::State& state) {
    Served s("01 K100E firmware=A3.10 slots=K220,K230P,K310,K510,K620,K710,-,K990\n");
    ScopedBenchUi ui;
    tavo::MainStatusBar status;
    // What the attach sends, in its order, and its one fixed wait.
    const char* const commands[] = {"$012\r",   "$01F\r",    "$01M\r",  "$01OU\r", "$01T\r",
                                    "$01S1N\r", "$01S1N0\r", "$01XR\r", "$01XER\r"};
    constexpr double kFixedWaitsMs = 100;
    std::vector<double> attach, transactions;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        for (const char* c : commands) {
            std::string line = c, reply;
            if (!s.port->SendCommand(line, tavo::TavoComPort::kReplyLimit, &reply))
                state.SkipWithError("a transaction failed");
        }
        transactions.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);

        tavo::TfrmMK100 panel;
        clock.restart();
        panel.InitModule(RackContext(s.port.get(), "01", &status));
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        attach.push_back(ms);
        state.SetIterationTime(ms / 1000);
        if (panel.ListView5KModule->topLevelItemCount() != 7) state.SkipWithError("slot list");
    }
    // On a shared machine single runs stray upward; the least of each is what the
    // work itself costs, the medians show the spread.
    state.counters["attach_ms"] = Least(attach);
    state.counters["transactions_ms"] = Least(transactions);
    state.counters["fixed_waits_ms"] = kFixedWaitsMs;
    state.counters["attach_over_bound"] = Least(attach) / (kFixedWaitsMs + Least(transactions));
    state.counters["median_over_bound"] = Median(attach) / (kFixedWaitsMs + Median(transactions));
}
BENCHMARK(BM_K100PanelAttach)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// ---- firmware update ----

// Bytes on the wire of a whole download at each speed, as the loader talks: the
// handshakes and speed changes at 9600 baud, the blocks (each "&00D", its "!00",
// the 132 bytes and their "!00") and the end marks at 38400.
double RackWireSeconds(unsigned loaderBlocks) {
    const double at9600 = (5 + 4 + 6) * 2;   // $00D and its reply, &00S3; twice
    const double at38400 = (5 + 4) + 5 + 5 + // &00A and reply; &00E twice
                           (loaderBlocks + tavo::kRackFirmwareBlocks) * (5 + 4 + 132 + 4.0);
    return at9600 * 10 / 9600 + at38400 * 10 / 38400;
}

struct RackFiles {
    RackFiles() {
        dir = std::filesystem::temp_directory_path() / ("tavo-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir / "tavo-utility" / "loader");
        Write(dir / "tavo-utility" / "loader" / "DnW900h.img", 32 * 128 - 77);
        Write(dir / "rack.img", 1024 * 128);
    }
    ~RackFiles() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    // Made up here: they only ever go to the simulated controller.
    static void Write(const std::filesystem::path& path, std::size_t n) {
        std::ofstream out(path, std::ios::binary);
        for (std::size_t i = 0; i < n; ++i)
            out.put(static_cast<char>((i * 31 + i / 128) & 0xFF));
    }
    std::filesystem::path dir;
};

void BM_K100FirmwareFromPanel(benchmark::State& state) {
    RackFiles files;
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(files.dir.string()));
    Served s("wire on\n05 K100 init firmware=B1.00 slots=K520\n");
    ScopedBenchUi ui;
    tavo::MainStatusBar status;
    tavo::ModuleTree tree;
    const double wire = RackWireSeconds(32);
    for (auto _ : state) {
        tavo::TfrmMK100 panel;
        panel.InitModule(RackContext(s.port.get(), "*", &status, &tree));
        ui.ui().openName = QString::fromStdString((files.dir / "rack.img").string());
        ui.ui().messages.clear();
        ui.ui().sleptMs = 0;
        const auto start = std::chrono::steady_clock::now();
        panel.ButtonDownloadClick();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        if (ui.ui().messages.value(0) != "Download firmware done!")
            state.SkipWithError(ui.ui().messages.join(" / ").toStdString().c_str());
        const double waits = static_cast<double>(ui.ui().sleptMs) / 1000;
        state.counters["took_s"] = seconds;
        state.counters["wire_s"] = wire;
        state.counters["fixed_waits_s"] = waits;
        state.counters["took_over_bound"] = seconds / (1.05 * wire + waits);
    }
    qputenv("XDG_DATA_HOME", oldData);
}
BENCHMARK(BM_K100FirmwareFromPanel)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

// The same download as `tavo firmware rack` runs it: the loader with plain sleeps.
void BM_K100FirmwareLikeTheCommandLine(benchmark::State& state) {
    RackFiles files;
    Served s("wire on\n05 K100 init firmware=B1.00 slots=K520\n");
    const double wire = RackWireSeconds(32);
    for (auto _ : state) {
        double waitedMs = 0;
        tavo::RackLoader::Hooks hooks;
        hooks.pause = [&waitedMs](int ms) {
            waitedMs += ms;
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        };
        tavo::RackLoader loader(*s.port, hooks);
        const auto start = std::chrono::steady_clock::now();
        const int result = loader.Download("K100", "B1.00", (files.dir / "rack.img").string(),
                                           {(files.dir / "tavo-utility").string()});
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        if (result != tavo::kRackDone) state.SkipWithError(loader.Detail().c_str());
        state.counters["took_s"] = seconds;
        state.counters["wire_s"] = wire;
        state.counters["fixed_waits_s"] = waitedMs / 1000;
        state.counters["took_over_bound"] = seconds / (1.05 * wire + waitedMs / 1000);
    }
}
BENCHMARK(BM_K100FirmwareLikeTheCommandLine)
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

} // namespace
