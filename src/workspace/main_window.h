// The main window: the module tree, the panel area, the toolbar and menu, the
// status bar, and the one open serial port.
#pragma once

#include "core/model_registry.h"
#include "module_panel.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class QAction;
class QScrollArea;
class QSplitter;
class QTreeWidgetItem;

namespace tavo {

namespace gateway {
struct PortSearch;
}
class MainStatusBar;
class ModuleTree;
class TavoComPort;
class TfrmComSet;
class TfrmIntro;
class ValueCommands;

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    // `extraPorts` are device paths named on the command line (a simulator's pty).
    explicit TfrmMain(const QStringList& extraPorts = {}, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Acts as a left click on the node (what the tree's mouse handler calls).
    void ClickNode(QTreeWidgetItem* item);
    void RefreshButton(bool save, bool search, bool help, bool loadConf, bool saveConf,
                       bool dataScope, bool terminal);
    void ShowStatusMessage(const QString& text);
    // Closes the open port when `nodeText` is "PC" or another port; opens
    // `nodeText` when no port is open, or when the one held is closed (a port lost
    // to an unplugged adapter is opened afresh by the click).
    void RefreshComPort(const QString& nodeText);
    void ReleaseAllForm();

    // Widens the tree (never narrows it) to show its longest node whole, within
    // half the window; the tree is never narrower than 137 pixels.
    void FitTree();
    static constexpr int kMinTreeWidth = 137;

    TavoComPort* Port() const { return port_.get(); }
    ModuleTree* Tree() const { return treeviewModule; }
    MainStatusBar* StatusBar() const { return statbarMain; }
    QWidget* CurrentPanel() const { return current_; }
    TfrmComSet* ComSet() const { return comSet_; }
    // Record Values and Chart of the open module panel.
    ValueCommands* Values() const { return values_; }

    // Toolbar and menu handlers.
    void tlbtnSaveClick();
    void tlbtnSearchClick();
    void tlbtnTerminalClick();
    void tlbtnSaveConfClick();
    void tlbtnLoadConfClick();
    void tlbtnHelpClick();
    void menuAboutTavoClick();
    void menuExitClick();
    // Asks for a network port address (tcp:// or rfc2217://), checks its form, lists
    // the port for this run and opens it as a click on its node does.
    void menuAddNetworkPortClick();
    // Writes the gateway configuration of every port searched in this run (one bus
    // each, at the settings it was searched at), as `tavo search --gateway-config`
    // writes one port's; disabled until a search has run.
    void ReadModbusRackSlots(gateway::PortSearch& search);
    void menuExportGatewayConfigClick();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildActions();
    bool ApplyComSettings();
    void ScanComPort(const QStringList& extraPorts);
    void ShowIntro();
    void ShowCOMForm(const QString& portName);
    void ShowModuleForm(int level);
    void ShowPanel(const RegistryRow& row, const std::string& designation, PanelContext context);
    void GenericSlotFallback(const std::string& address, const std::string& slot, int level,
                             PanelContext context);
    void Place(QWidget* widget);
    void ReleaseResource();
    // The status bar says once that the port was lost and once that it is back.
    void PortLinkChanged(const QString& name, bool lost, const QString& why);
    bool ConfirmExit();
    void RefreshExportAction();
    QString HelpPagePath() const;

    QSplitter* Splitter1;
    ModuleTree* treeviewModule;
    QScrollArea* ScrollBox1;
    MainStatusBar* statbarMain;
    QAction* tlbtnSave;
    QAction* tlbtnSearch;
    QAction* tlbtnTerminal;
    QAction* tlbtnDataScope;
    QAction* tlbtnSaveConf;
    QAction* tlbtnLoadConf;
    QAction* tlbtnHelp;
    QAction* menuExit;
    QAction* menuAboutTavo;
    QAction* menuAddNetworkPort;
    QAction* menuExportGatewayConfig;
    ValueCommands* values_;

    std::unique_ptr<TavoComPort> port_;
    QWidget* current_ = nullptr;
    TfrmComSet* comSet_ = nullptr;
    bool exitConfirmed_ = false;
    QString portTextBeforeLoss_;
};

} // namespace tavo
