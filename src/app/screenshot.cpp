#include "screenshot.h"

#include "transport/com_port.h"
#include "workspace/core/search_engine.h"
#include "workspace/main_window.h"
#include "workspace/module_tree.h"

#include <QApplication>
#include <QEventLoop>
#include <QPixmap>
#include <QSplitter>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <algorithm>
#include <functional>

namespace tavo {

bool TakeScreenshot(TfrmMain& window, const ScreenshotRequest& r) {
    ModuleTree* tree = window.Tree();
    QTreeWidgetItem* port = tree->FindPort(r.port);
    if (!port) {
        std::fprintf(stderr, "tavo-utility: no port %s to search\n", qPrintable(r.port));
        return false;
    }
    // A wider tree than the default, so the picture shows whole node texts.
    if (auto* splitter = window.findChild<QSplitter*>("Splitter1")) splitter->setSizes({250, 550});
    window.ClickNode(port);
    if (!window.Port()) return false;
    // The same search the dialog runs, without the dialog and with a short
    // time-out, so the picture is made in seconds.
    window.Port()->SetTimeOut(20);
    SearchEngine engine(*window.Port(), 0, r.lastAddress);
    while (!engine.Done())
        if (auto node = engine.Step()) tree->AddFound(port, *node);
    port->setExpanded(true);
    if (!r.select.isEmpty()) {
        QTreeWidgetItem* found = nullptr;
        std::function<void(QTreeWidgetItem*)> walk = [&](QTreeWidgetItem* item) {
            if (!found && item->text(0) == r.select) found = item;
            for (int i = 0; i < item->childCount(); ++i) walk(item->child(i));
        };
        walk(port);
        if (!found) {
            // A picture of some other panel would pass for the one asked for.
            std::fprintf(stderr,
                         "tavo-utility: no node \"%s\" below %s after the search; no picture "
                         "saved\n",
                         qPrintable(r.select), qPrintable(r.port));
            return false;
        }
        for (auto* p = found->parent(); p; p = p->parent()) p->setExpanded(true);
        window.ClickNode(found);
        tree->scrollToItem(found);
        // For scripts that time the panel from here on (bench/panel_cpu.sh).
        std::fprintf(stderr, "tavo-utility: %s is open\n", qPrintable(r.select));
        std::fflush(stderr);
    }
    // Room for the whole panel beside the tree, so the picture shows all of it.
    if (QWidget* panel = window.CurrentPanel()) {
        const QSize want = panel->sizeHint();
        window.resize(std::max(800, 250 + want.width() + 40), std::max(600, want.height() + 150));
        if (auto* splitter = window.findChild<QSplitter*>("Splitter1"))
            splitter->setSizes({250, window.width() - 250});
    }
    // Let the panel run (its poll timer ticks) as it would in the program.
    QEventLoop loop;
    QTimer::singleShot(r.settleMs, &loop, &QEventLoop::quit);
    loop.exec();
    if (!window.grab().save(r.file, "PNG")) {
        std::fprintf(stderr, "tavo-utility: cannot write %s\n", qPrintable(r.file));
        return false;
    }
    return true;
}

namespace {

// Quits `loop` when the window it watches is exposed.
class ExposeWatch : public QObject {
public:
    ExposeWatch(QWindow& window, QEventLoop& loop) : window_(window), loop_(loop) {
        window_.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &window_ && event->type() == QEvent::Expose && window_.isExposed())
            loop_.quit();
        return false;
    }

private:
    QWindow& window_;
    QEventLoop& loop_;
};

void PrintLayout(TfrmMain& window) {
    // Layouts and resizes the show or the click asked for are done first.
    QApplication::processEvents();
    std::printf("window %d %d\n", window.width(), window.height());
    const auto* splitter = window.findChild<QSplitter*>("Splitter1");
    const QList<int> sizes = splitter ? splitter->sizes() : QList<int>{};
    std::printf("splitter %d %d\n", sizes.value(0), sizes.value(1));
    const QWidget* panel = window.CurrentPanel();
    const QRect seen = panel && panel->isVisible() ? panel->visibleRegion().boundingRect() : QRect();
    std::printf("panel %s %d %d\n", panel ? qPrintable(panel->objectName()) : "-", seen.width(),
                seen.height());
    std::fflush(stdout);
}

} // namespace

void ReportLayout(TfrmMain& window, const QString& port) {
    // The display maps the window in its own time; the layout is only final then.
    if (QWindow* handle = window.windowHandle(); handle && !handle->isExposed()) {
        QEventLoop loop;
        const ExposeWatch watch(*handle, loop);
        loop.exec();
    }
    PrintLayout(window);
    if (port.isEmpty()) return;
    if (QTreeWidgetItem* node = window.Tree()->FindPort(port)) window.ClickNode(node);
    PrintLayout(window);
}

} // namespace tavo
