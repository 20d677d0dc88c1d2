// Every panel's settings-file reader, driven as a user loads a file: the panel of
// one module on a simulated bus (a pseudo-terminal) loads the fuzzed file.
//   - A file for another model is refused: nothing goes to the module and no
//     control changes.
//   - A file of the panel's own model (the harness writes its first line) may load
//     in part; whatever it leaves, the panel saves a file that it loads again to
//     its end without a single control changing.
// Input: one byte choosing the module, one byte choosing whether the file names
// the panel's model, then the rest of the file.
#include "panels/common/settings_file.h"
#include "panels/panels.h"
#include "sim/bus.h"
#include "sim/bus_file.h"
#include "sim/pty_server.h"
#include "transport/modbus.h"
#include "workspace/main_window.h"
#include "workspace/module_panel.h"
#include "workspace/module_tree.h"
#include "workspace/ui_services.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTreeWidgetItem>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

using namespace tavo;

// One module of every family whose panel reads settings files.
constexpr const char* kBus = "01 R210D\n"
                             "02 R220\n"
                             "03 R250\n"
                             "04 R240\n"
                             "05 R270P\n"
                             "06 R270\n"
                             "07 R310\n"
                             "08 R330\n"
                             "09 R550\n"
                             "0A R520\n"
                             "0B R560SO\n"
                             "0C R850\n"
                             "0D R710\n"
                             "0E R710D\n"
                             "0F R530\n"
                             "10 R320T\n";

// Boxes are counted, file dialogs answer with the name set last, waits pass at once.
class FuzzUi : public UiServices {
public:
    void Message(QWidget*, Icon, const QString&, const QString& text) override {
        if (text.startsWith("Load Configuration File Error!")) ++loadErrors;
    }
    bool Ask(QWidget*, const QString&, const QString&) override { return false; }
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&,
                         const QString&) override {
        return file;
    }
    QString OpenFileName(QWidget*, const QString&, const QString&, const QString&,
                         const QString&) override {
        return file;
    }
    int Exec(QDialog&) override { return 0; }
    void Sleep(int) override {}
    void Beep() override {}
    bool OpenUrl(const QUrl&) override { return false; }
    QString file;
    int loadErrors = 0;
};

struct World {
    World() {
        static int argc = 1;
        static char name[] = "panel_settings_fuzz";
        static char* argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
        TavoModbusCOM::SetDefaultTurnaroundDelay(0);
        RegisterAllPanels();
        auto owned = std::make_unique<FuzzUi>();
        ui = owned.get();
        InstallUi(std::move(owned));
        std::string error;
        if (!sim::LoadBusText(kBus, bus, error)) std::abort();
        server = std::make_unique<sim::PtyServer>(bus);
        if (!server->Start(error)) std::abort();
        window =
            std::make_unique<TfrmMain>(QStringList{QString::fromStdString(server->DevicePath())});
        port = window->Tree()->FindPort(QString::fromStdString(server->DevicePath()));
        for (const auto& m : bus.modules()) {
            FoundNode node;
            char text[64];
            std::snprintf(text, sizeof text, "(%02X)%s", m->config().address,
                          m->config().designation.c_str());
            node.text = text;
            node.link = LinkKind::AsciiPlain;
            nodes.push_back({window->Tree()->AddFound(port, node), m->config().address});
        }
    }
    std::unique_ptr<QApplication> app;
    FuzzUi* ui = nullptr;
    sim::Bus bus;
    std::unique_ptr<sim::PtyServer> server;
    std::unique_ptr<TfrmMain> window;
    QTreeWidgetItem* port = nullptr;
    std::vector<std::pair<QTreeWidgetItem*, unsigned>> nodes;
    QTemporaryDir dir;
};

// What the panel's controls show.
QStringList Controls(const QWidget* panel) {
    QStringList out;
    for (const auto* c : panel->findChildren<QComboBox*>())
        out << c->objectName() + "=" + QString::number(c->currentIndex());
    for (const auto* e : panel->findChildren<QLineEdit*>())
        if (!e->parentWidget() || !qobject_cast<QComboBox*>(e->parentWidget()))
            out << e->objectName() + "=" + e->text();
    for (const auto* b : panel->findChildren<QAbstractButton*>())
        if (b->isCheckable()) out << b->objectName() + "=" + (b->isChecked() ? "1" : "0");
    return out;
}

std::size_t Received(World& w, unsigned address) {
    std::lock_guard lock(w.bus.mutex());
    auto* m = w.bus.Find(address);
    const std::size_t n = m ? m->received.size() : 0;
    if (m) m->received.clear();
    return n;
}

bool Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static World w;
    if (size < 2) return 0;
    const auto& [node, address] = w.nodes[data[0] % w.nodes.size()];
    const bool ownModel = data[1] & 1;
    const QByteArray body(reinterpret_cast<const char*>(data + 2), static_cast<int>(size - 2));

    // Opening a panel costs its first reads: keep it open while inputs stay with it.
    static QTreeWidgetItem* open = nullptr;
    if (node != open || !w.window->CurrentPanel()) w.window->ClickNode(node);
    open = node;
    auto* panel = qobject_cast<ModulePanel*>(w.window->CurrentPanel());
    if (!panel) return 0;
    const QString path = w.dir.filePath("settings.txt");
    w.ui->file = path;

    // The panel's own first line, from a file it saves.
    panel->SaveSettings();
    const QByteArray saved = Read(path);
    const QByteArray header = saved.left(saved.indexOf('\n') + 1);
    if (header.isEmpty()) return 0; // a panel without settings files

    Received(w, address);
    const QStringList before = Controls(panel);
    w.ui->loadErrors = 0;
    const QByteArray file = ownModel ? header + body : body;
    if (!Write(path, file)) std::abort();
    panel->LoadSettings();
    if (SettingsReader(file).ModuleName() != SettingsReader(header).ModuleName()) {
        // Another model's file: refused as a whole.
        if (Received(w, address) != 0 || Controls(panel) != before) __builtin_trap();
        return 0;
    }

    // What the panel shows now, it saves and loads back unchanged.
    panel->SaveSettings();
    const QStringList loaded = Controls(panel);
    Received(w, address);
    w.ui->loadErrors = 0;
    panel->LoadSettings();
    if (w.ui->loadErrors != 0 || Controls(panel) != loaded) {
        std::fprintf(stderr, "saved file:\n%s\n", Read(path).constData());
        __builtin_trap();
    }
    return 0;
}
