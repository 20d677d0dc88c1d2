// What every module panel offers the main window, and how panels are made by
// class name from the model registry.
#pragma once

#include "core/model_registry.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <map>
#include <string>

namespace tavo {

class TavoComPort;
class MainStatusBar;
class ModuleTree;

// Everything InitModule receives; which fields mean something depends on `kind`.
struct PanelContext {
    PanelInitKind kind = PanelInitKind::Standard;
    TavoComPort* port = nullptr;
    QString address;           // two hex digits, or "*" for a module in INIT state
    MainStatusBar* status = nullptr;
    ModuleTree* tree = nullptr;
    QString slot;              // "S2"
    QString channel;           // "CH 3", "DO0"
    QString parentDesignation; // "R850"
    QString slotModuleName;    // name of a generic analog-input slot module
    LinkKind link = LinkKind::AsciiPlain;
};

// A borderless form shown in the main window's panel area. It owns its command
// objects and timers; the main window keeps the port.
class ModulePanel : public QWidget {
    Q_OBJECT
public:
    explicit ModulePanel(QWidget* parent = nullptr) : QWidget(parent) {}
    // Binds the panel to the module and starts it (first reads, poll timer).
    virtual void InitModule(const PanelContext& context) = 0;
    // Per-module settings files: whether this panel has them, and the commands.
    virtual bool HasSettingsFile() const { return false; }
    virtual void SaveSettings() {}
    virtual void LoadSettings() {}

signals:
    // The end of one poll, after its last transaction (queued after the tick that
    // polled): `ok` when the module answered. What the poll read is what a
    // recording or a chart of the module takes; a panel that does not poll never
    // emits it.
    void PollEnded(bool ok);
};

using PanelMaker = std::function<ModulePanel*(QWidget* parent)>;

// Panel classes by the names the model registry uses ("TfrmMR210D").
class PanelFactory {
public:
    static PanelFactory& Instance();
    void Register(const std::string& className, PanelMaker maker);
    bool Has(const std::string& className) const;
    // Null when no panel of that class is built. The panel's objectName is the
    // class name ("TfrmMR550").
    ModulePanel* Make(const std::string& className, QWidget* parent) const;
    // The whole registration, to put back after a test replaced some.
    std::map<std::string, PanelMaker> Save() const { return makers_; }
    void Restore(std::map<std::string, PanelMaker> makers) { makers_ = std::move(makers); }

private:
    std::map<std::string, PanelMaker> makers_;
};

} // namespace tavo
