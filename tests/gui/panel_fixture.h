// A main window on a simulated bus with one module node per module, for panel
// tests: click a node, get its panel, look at what the module received.
#pragma once

#include "support/sim_bus.h"
#include "test_ui.h"

#include "workspace/main_window.h"
#include "workspace/module_tree.h"
#include "workspace/status_bar.h"

#include <QTreeWidgetItem>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace tavo::test {

// The commands in `received` that start with `prefix`, in order.
inline std::vector<std::string> Starting(const std::vector<std::string>& received,
                                         const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& c : received)
        if (c.rfind(prefix, 0) == 0) out.push_back(c);
    return out;
}

class PanelFixture {
public:
    enum class Link { Pty, RawTcp };
    // `bus` is bus file text; the port is opened on its pseudo-terminal, or on the
    // loopback TCP port that serves it raw.
    explicit PanelFixture(const std::string& bus, Link link = Link::Pty)
        : sim_(bus),
          portName_(QString::fromStdString(link == Link::Pty ? sim_.path() : sim_.ServeTcp())),
          window_(QStringList{portName_}) {}

    // Adds a module node as the search would ("(01)R210D", or "(*)R210D" for an
    // INIT module) and clicks it; returns the panel that opened (null if none).
    template <class Panel = QWidget>
    Panel* Open(const QString& nodeText, LinkKind link = LinkKind::AsciiPlain) {
        QTreeWidgetItem* port = window_.Tree()->FindPort(portName_);
        FoundNode node;
        node.text = nodeText.toStdString();
        node.link = link;
        node_ = window_.Tree()->AddFound(port, node);
        window_.ClickNode(node_);
        return qobject_cast<Panel*>(window_.CurrentPanel());
    }
    // Clicks a node below the last module node (a slot, a channel).
    template <class Panel = QWidget> Panel* OpenChild(const QStringList& path) {
        QTreeWidgetItem* item = node_;
        for (const QString& text : path) {
            QTreeWidgetItem* next = nullptr;
            for (int i = 0; item && i < item->childCount(); ++i)
                if (item->child(i)->text(0) == text) next = item->child(i);
            if (!next) {
                FoundNode n;
                n.text = text.toStdString();
                next = window_.Tree()->AddFound(item, n);
            }
            item = next;
        }
        window_.ClickNode(item);
        return qobject_cast<Panel*>(window_.CurrentPanel());
    }

    // A control of the open panel by its objectName.
    template <class W> W* Find(const char* name) {
        W* w = window_.CurrentPanel() ? window_.CurrentPanel()->findChild<W*>(name) : nullptr;
        EXPECT_NE(w, nullptr) << "no control " << name;
        return w;
    }

    // The commands a simulated module received since the last call (ASCII lines
    // without checksum), oldest first.
    std::vector<std::string> Received(unsigned address) {
        std::lock_guard lock(sim_.bus().mutex());
        auto& m = sim_.module(address);
        std::vector<std::string> out(m.received.begin(), m.received.end());
        m.received.clear();
        return out;
    }
    // Runs `f` on a simulated module under the bus lock.
    template <class F> auto WithModule(unsigned address, F f) {
        std::lock_guard lock(sim_.bus().mutex());
        return f(sim_.module(address));
    }

    TestUi& ui() { return ui_.ui(); }
    TfrmMain& window() { return window_; }
    SimBus& sim() { return sim_; }
    const QString& portName() const { return portName_; }
    QTreeWidgetItem* node() { return node_; }
    QString StatusText() { return window_.StatusBar()->StatusMessage(); }
    QString Indicator() { return window_.StatusBar()->Indicator(); }

private:
    ScopedTestUi ui_;
    SimBus sim_;
    QString portName_;
    TfrmMain window_;
    QTreeWidgetItem* node_ = nullptr;
};

// The commands a module received and the fixed waits between them, in order; with
// `busyTexts`, also "busy " + the text of each busy indicator before its wait.
class Timeline {
public:
    Timeline(PanelFixture& fx, unsigned address, bool busyTexts = false)
        : fx_(fx), address_(address) {
        fx_.Received(address_);
        fx_.ui().onWait = [this](int ms) {
            Flush();
            events_.push_back("wait " + std::to_string(ms));
        };
        if (busyTexts)
            fx_.ui().onBusy = [this](const QString& text) {
                Flush();
                events_.push_back("busy " + text.toStdString());
            };
    }
    ~Timeline() {
        fx_.ui().onWait = nullptr;
        fx_.ui().onBusy = nullptr;
    }
    std::vector<std::string> Take() {
        Flush();
        return std::exchange(events_, {});
    }

private:
    void Flush() {
        for (auto& c : fx_.Received(address_))
            events_.push_back(c);
    }
    PanelFixture& fx_;
    unsigned address_;
    std::vector<std::string> events_;
};

} // namespace tavo::test
