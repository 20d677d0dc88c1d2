#include "main_window.h"

#include "com_set.h"
#include "data_paths.h"
#include "module_tree.h"
#include "search_dialog.h"
#include "small_windows.h"
#include "status_bar.h"
#include "terminal.h"
#include "tree_images.h"
#include "ui_services.h"
#include "value_commands.h"

#include "core/network_address.h"
#include "core/search_engine.h"

#include "gateway/search_config.h"

#include "transport/com_port.h"
#include "transport/modbus.h"
#include "transport/port_list.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QToolBar>
#include <QUrl>

#include <algorithm>
#include <cstdlib>

namespace tavo {
namespace {

QString Caption() { return QString("Tavo-R000-K100 Utility (%1)").arg(kVersionText); }

} // namespace

TfrmMain::TfrmMain(const QStringList& extraPorts, QWidget* parent) : QMainWindow(parent) {
    setObjectName("TfrmMain");
    QApplication::setApplicationDisplayName(AppTitle());
    resize(800, 600);
    if (const QScreen* screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    Splitter1 = new QSplitter(this);
    Splitter1->setObjectName("Splitter1");
    Splitter1->setHandleWidth(4);
    treeviewModule = new ModuleTree(Splitter1);
    ScrollBox1 = new QScrollArea(Splitter1);
    ScrollBox1->setObjectName("ScrollBox1");
    ScrollBox1->setWidgetResizable(true);
    Splitter1->addWidget(treeviewModule);
    Splitter1->addWidget(ScrollBox1);
    Splitter1->setStretchFactor(1, 1);
    // A panel area dragged or sized down to nothing would hide every panel, with
    // nothing on the screen to say where they went.
    Splitter1->setCollapsible(1, false);
    Splitter1->setSizes({kMinTreeWidth, width() - kMinTreeWidth});
    setCentralWidget(Splitter1);
    statbarMain = new MainStatusBar(this);
    setStatusBar(statbarMain);
    BuildActions();

    connect(treeviewModule, &QTreeWidget::itemPressed, this, [this](QTreeWidgetItem* item) {
        if (QApplication::mouseButtons() & Qt::LeftButton) ClickNode(item);
    });
    connect(treeviewModule, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { ClickNode(item); });
    // The expand button of the root acts as a click on the root.
    const auto rootToggled = [this](QTreeWidgetItem* item) {
        if (item == treeviewModule->Root() && (QApplication::mouseButtons() & Qt::LeftButton))
            ClickNode(item);
    };
    connect(treeviewModule, &QTreeWidget::itemExpanded, this, rootToggled);
    connect(treeviewModule, &QTreeWidget::itemCollapsed, this, rootToggled);

    // The tree grows with its node texts: with the fonts of this desktop a fixed
    // width would cut "(02)R210D" and "(02)R220" to the same "(02)R2...".
    connect(treeviewModule->model(), &QAbstractItemModel::rowsInserted, this, [this] { FitTree(); });
    connect(treeviewModule->model(), &QAbstractItemModel::dataChanged, this, [this] { FitTree(); });
    connect(treeviewModule, &QTreeWidget::itemExpanded, this, [this] { FitTree(); });

    RefreshButton(true, false, true, false, false, false, false);
    ShowIntro();
    ScanComPort(extraPorts);
    treeviewModule->Root()->setExpanded(true);
    setWindowTitle(Caption());
}

TfrmMain::~TfrmMain() { ReleaseResource(); }

void TfrmMain::BuildActions() {
    const auto make = [this](const char* name, const QString& text, const QString& hint,
                             void (TfrmMain::*handler)()) {
        auto* a = new QAction(text, this);
        a->setObjectName(name);
        a->setToolTip(hint);
        a->setStatusTip(hint);
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    tlbtnSave = make("tlbtnSave", "&Save", "Save", &TfrmMain::tlbtnSaveClick);
    tlbtnSearch = make("tlbtnSearch", "&Search", "Search", &TfrmMain::tlbtnSearchClick);
    tlbtnTerminal = make("tlbtnTerminal", "&Terminal", "Terminal", &TfrmMain::tlbtnTerminalClick);
    tlbtnDataScope = new QAction("&Data Scope", this);
    tlbtnDataScope->setObjectName("tlbtnDataScope");
    tlbtnDataScope->setToolTip("Data Scope");
    tlbtnDataScope->setVisible(false);
    tlbtnSaveConf = make("tlbtnSaveConf", "S&ave Configuration File", "Save Configuration",
                         &TfrmMain::tlbtnSaveConfClick);
    tlbtnLoadConf = make("tlbtnLoadConf", "D&ownload Configuration File To Set Environment",
                         "Load Configuration", &TfrmMain::tlbtnLoadConfClick);
    tlbtnHelp = make("tlbtnHelp", "&Help", "Help", &TfrmMain::tlbtnHelpClick);
    tlbtnHelp->setShortcut(QKeySequence::HelpContents);
    menuExit = make("menuExit", "&Exit", "Exit", &TfrmMain::menuExitClick);
    menuAboutTavo = make("menuAboutTavo", "&About Utility...", "About", &TfrmMain::menuAboutTavoClick);
    menuAddNetworkPort = make("menuAddNetworkPort", "Add &Network Port...",
                              "List a device server's port (tcp:// or rfc2217://) for this run",
                              &TfrmMain::menuAddNetworkPortClick);
    menuExportGatewayConfig =
        make("menuExportGatewayConfig", "Export &Gateway Configuration...",
             "Write the configuration of tavo gateway for the modules the searches found",
             &TfrmMain::menuExportGatewayConfigClick);
    RefreshExportAction();
    tlbtnSave->setIcon(ToolbarIcon(ToolIcon::Save));
    tlbtnSearch->setIcon(ToolbarIcon(ToolIcon::Search));
    tlbtnTerminal->setIcon(ToolbarIcon(ToolIcon::Terminal));
    tlbtnDataScope->setIcon(ToolbarIcon(ToolIcon::DataScope));
    tlbtnSaveConf->setIcon(ToolbarIcon(ToolIcon::SaveConf));
    tlbtnLoadConf->setIcon(ToolbarIcon(ToolIcon::LoadConf));
    tlbtnHelp->setIcon(ToolbarIcon(ToolIcon::Help));
    // Help opens our own page; without one the command is not offered.
    tlbtnHelp->setVisible(!HelpPagePath().isEmpty());

    auto* file = menuBar()->addMenu("&File");
    file->setObjectName("menuFile");
    file->addAction(tlbtnSave);
    file->addAction(menuExportGatewayConfig);
    file->addSeparator();
    file->addAction(menuExit);
    auto* tools = menuBar()->addMenu("&Tools");
    tools->setObjectName("menuTools");
    tools->addAction(menuAddNetworkPort);
    tools->addSeparator();
    tools->addAction(tlbtnSearch);
    tools->addAction(tlbtnTerminal);
    tools->addAction(tlbtnDataScope);
    tools->addSeparator();
    tools->addAction(tlbtnSaveConf);
    tools->addAction(tlbtnLoadConf);
    values_ = new ValueCommands(*this, *statbarMain);
    tools->addSeparator();
    tools->addAction(values_->RecordAction());
    tools->addAction(values_->ChartAction());
    auto* help = menuBar()->addMenu("&Help");
    help->setObjectName("menuHelp");
    help->addAction(tlbtnHelp);
    help->addAction(menuAboutTavo);

    auto* bar = addToolBar("Tools");
    bar->setObjectName("ToolBar1");
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (QAction* a : {tlbtnSave, tlbtnSearch, tlbtnTerminal, tlbtnDataScope, tlbtnSaveConf,
                       tlbtnLoadConf, values_->RecordAction(), values_->ChartAction(), tlbtnHelp})
        bar->addAction(a);
    // The tree's own menu, where the ports are.
    treeviewModule->setContextMenuPolicy(Qt::ActionsContextMenu);
    treeviewModule->addAction(menuAddNetworkPort);
}

void TfrmMain::FitTree() {
    const QList<int> sizes = Splitter1->sizes();
    if (sizes.size() != 2) return;
    // Until the window is first shown the splitter has a placeholder geometry (a
    // hundred pixels or so) and its sizes mean nothing: the window's width is the
    // one it will get.
    const bool laidOut = Splitter1->isVisible() && sizes[1] > 0;
    const int total = laidOut ? sizes[0] + sizes[1] : width() - Splitter1->handleWidth();
    const int want =
        std::clamp(treeviewModule->ContentWidth(), kMinTreeWidth, std::max(kMinTreeWidth, total / 2));
    if (laidOut && sizes[0] >= want) return;
    Splitter1->setSizes({want, std::max(total - want, 1)});
}

void TfrmMain::RefreshButton(bool save, bool search, bool help, bool loadConf, bool saveConf,
                             bool dataScope, bool terminal) {
    tlbtnSave->setEnabled(save);
    tlbtnSearch->setEnabled(search);
    tlbtnHelp->setEnabled(help);
    tlbtnLoadConf->setEnabled(loadConf);
    tlbtnSaveConf->setEnabled(saveConf);
    tlbtnDataScope->setEnabled(dataScope);
    tlbtnTerminal->setEnabled(terminal);
}

void TfrmMain::ShowStatusMessage(const QString& text) { statbarMain->ShowStatusMessage(text); }

void TfrmMain::ScanComPort(const QStringList& extraPorts) {
    for (const auto& p : ListSerialPorts()) treeviewModule->AddPort(QString::fromStdString(p.name));
    for (const auto& path : extraPorts)
        if (!treeviewModule->FindPort(path)) treeviewModule->AddPort(path);
}

void TfrmMain::Place(QWidget* widget) {
    widget->setContentsMargins(2, 2, 0, 0);
    ScrollBox1->setWidget(widget); // the scroll area owns and shows it
    current_ = widget;
}

void TfrmMain::ReleaseAllForm() {
    values_->PanelClosing();
    if (!current_) return;
    QWidget* old = ScrollBox1->takeWidget();
    current_ = nullptr;
    comSet_ = nullptr;
    delete old; // a panel's destructor stops its timers and frees its command objects
}

void TfrmMain::ShowIntro() {
    auto* intro = new TfrmIntro;
    intro->Fill();
    Place(intro);
}

void TfrmMain::RefreshComPort(const QString& nodeText) {
    if (port_ && (nodeText == "PC" || nodeText != QString::fromStdString(port_->GetPortName()) ||
                  !port_->IsOpen())) {
        port_->ClosePort();
        port_.reset();
        statbarMain->SetPortText({});
    }
    if (port_ || nodeText == "PC") return;
    auto port = std::make_unique<TavoComPort>(nodeText.toStdString());
    if (port->OpenPort() && port->SetPortState(9600, 8, kParityNone, kOneStopBit) &&
        port->SetTimeOut(80)) {
        port_ = std::move(port);
        statbarMain->SetPortText(PortLineText(*port_));
        // Heard on the thread of the request that noticed; shown on ours.
        port_->SetLinkListener([this, nodeText](bool lost, const std::string& why) {
            QMetaObject::invokeMethod(
                this,
                [this, nodeText, lost, why = QString::fromStdString(why)] {
                    PortLinkChanged(nodeText, lost, why);
                },
                Qt::QueuedConnection);
        });
        return;
    }
    const QString reason = QString::fromStdString(port->LastError().text);
    port->ClosePort();
    ShowError(this, "Open " + nodeText + " failed!" + (reason.isEmpty() ? QString() : "\n" + reason));
}

void TfrmMain::PortLinkChanged(const QString& name, bool lost, const QString& why) {
    if (!port_ || QString::fromStdString(port_->GetPortName()) != name) return;
    if (lost) {
        portTextBeforeLoss_ = statbarMain->PortText();
        ShowStatusMessage("Port " + name + " was lost (" + why + "); waiting for it to come back");
        statbarMain->SetPortText("Port lost");
    } else {
        ShowStatusMessage("Port " + name + " is back");
        statbarMain->SetPortText(portTextBeforeLoss_);
    }
}

void TfrmMain::ShowCOMForm(const QString& portName) {
    RefreshComPort(portName);
    if (!port_) return;
    auto* panel = new TfrmComSet;
    Place(panel);
    comSet_ = panel;
    panel->FillFromPort(portName, *port_);
}

void TfrmMain::ClickNode(QTreeWidgetItem* item) {
    if (!item) return;
    treeviewModule->setCurrentItem(item);
    switch (ModuleTree::Level(item)) {
    case 0:
        ShowStatusMessage("Welcome to use Tavo Utility");
        ReleaseAllForm();
        RefreshButton(true, false, true, false, false, false, false);
        ShowIntro();
        RefreshComPort(item->text(0));
        break;
    case 1:
        ShowStatusMessage("COM Port status");
        ReleaseAllForm();
        ShowCOMForm(item->text(0));
        if (port_) RefreshButton(true, true, true, false, false, true, true);
        else RefreshButton(true, false, true, false, false, false, false);
        break;
    default: {
        ReleaseAllForm();
        RefreshComPort(ModuleTree::PortOf(item)->text(0));
        if (port_) {
            const bool conf = ModuleTree::Level(item) < 4;
            RefreshButton(true, false, true, conf, conf, false, false);
            ShowModuleForm(ModuleTree::Level(item));
        } else {
            RefreshButton(true, false, false, false, false, false, false);
        }
        break;
    }
    }
    statbarMain->SetIndicator("0");
}

void TfrmMain::ShowModuleForm(int level) {
    QTreeWidgetItem* node = treeviewModule->currentItem();
    std::string address, designation, slot, channel, parent, rack;
    QTreeWidgetItem* module = node;
    bool parsed = true;
    std::string ignored;
    if (level == 2) {
        parsed = ParseItemText(node->text(0).toStdString(), address, designation);
    } else if (level == 3) {
        module = node->parent();
        const QString parentText = module->text(0);
        const QString tail = parentText.right(4);
        if (tail == "R850" || tail == "R860") {
            parsed = ParseItemText(node->text(0).toStdString(), channel, designation) &&
                     ParseItemText(parentText.toStdString(), address, parent);
        } else {
            parsed = ParseItemText(node->text(0).toStdString(), slot, designation) &&
                     ParseItemText(parentText.toStdString(), address, parent);
        }
    } else if (level == 4) {
        QTreeWidgetItem* slotNode = node->parent();
        module = slotNode->parent();
        parsed = ParseItemText(node->text(0).toStdString(), channel, designation) &&
                 ParseItemText(slotNode->text(0).toStdString(), slot, parent) &&
                 ParseItemText(module->text(0).toStdString(), address, rack);
        if (parsed) statbarMain->SetTag(rack == "K100" ? 3 : 7);
    }
    if (!parsed) {
        ShowError(this, "Parsing module name failed!");
        return;
    }
    // A module found by a sweep is talked to at the line settings it answered at.
    if (const auto line = ModuleTree::NodeLineSettings(module)) {
        if (port_->GetLineSettings() != *line &&
            !port_->SetPortState(line->baud, line->dataBits, line->parity, line->stopBits)) {
            ShowError(this, QString("Cannot set %1 to %2.\n%3")
                                .arg(QString::fromStdString(port_->GetPortName()),
                                     QString::fromStdString(LineSettingsText(*line)),
                                     QString::fromStdString(port_->LastError().text)));
            return;
        }
        statbarMain->SetPortText(QString::fromStdString(LineSettingsText(*line)));
    }
    const LinkKind link = ModuleTree::NodeLinkKind(module).value_or(LinkKind::AsciiPlain);
    port_->SetCheckSum(link != LinkKind::AsciiPlain);

    PanelContext context;
    context.port = port_.get();
    context.address = QString::fromStdString(address);
    context.status = statbarMain;
    context.tree = treeviewModule;
    context.slot = QString::fromStdString(slot);
    context.channel = QString::fromStdString(channel);
    context.parentDesignation = QString::fromStdString(parent);
    context.link = link;

    const ModelRegistry& registry = ModelRegistry::Instance();
    if (const RegistryRow* row = registry.FindByDesignation(designation)) {
        ShowPanel(*row, designation, context);
        return;
    }
    if (const RegistryRow* row = registry.FindByParent(parent)) {
        ShowPanel(*row, parent, context);
        return;
    }
    if (level == 2) {
        // A model the registry does not know: say so rather than guess.
        ShowWarning(this, QString("The module model \"%1\" is not supported by this version of the "
                                  "utility.").arg(QString::fromStdString(designation)));
        return;
    }
    GenericSlotFallback(address, slot, level, context);
}

void TfrmMain::ShowPanel(const RegistryRow& row, const std::string& designation,
                         PanelContext context) {
    if (row.noConf) RefreshButton(true, false, true, false, false, false, false);
    const bool modbus = context.link == LinkKind::ModbusRtu && !row.modbusPanel.empty();
    const std::string& className = modbus ? row.modbusPanel : row.panel;
    ModulePanel* panel = PanelFactory::Instance().Make(className, nullptr);
    if (!panel) {
        ShowStatusMessage(QString("The %1 panel is not available in this version of the utility.")
                              .arg(QString::fromStdString(designation)));
        RefreshButton(true, false, true, false, false, false, false);
        return;
    }
    context.kind = row.init;
    // A panel without settings files leaves no Save/Load Configuration that does nothing.
    if (!panel->HasSettingsFile()) RefreshButton(true, false, true, false, false, false, false);
    Place(panel);
    if (row.timeout200 && !modbus) port_->SetTimeOut(200);
    values_->PanelOpened(*panel, *port_, designation, context);
    panel->InitModule(context);
}

bool TfrmMain::ConfirmExit() {
    Ui().Beep();
    return Ui().Ask(this, "Confirm", "Are you sure to exit?");
}

void TfrmMain::ReleaseResource() {
    // Panels first: a firmware download's worker must have let go of the port, and
    // a panel may put back a port setting it changed while open.
    ReleaseAllForm();
    if (port_) {
        port_->ClosePort();
        port_.reset();
    }
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    if (!exitConfirmed_ && !ConfirmExit()) {
        event->ignore();
        return;
    }
    ReleaseResource();
    event->accept();
}

void TfrmMain::menuExitClick() {
    if (!ConfirmExit()) return;
    exitConfirmed_ = true;
    ReleaseResource();
    close();
    QApplication::quit();
}

void TfrmMain::menuAddNetworkPortClick() {
    const QString label = "Address of the device server's port:\n"
                          "tcp://HOST:PORT (raw TCP) or rfc2217://HOST:PORT";
    QString text = "tcp://";
    for (;;) {
        text = Ui().AskText(this, "Add Network Port", label, text);
        if (text.isEmpty()) return;
        const NetworkAddress address = CheckNetworkAddress(text.toStdString());
        if (!address.problem.empty()) {
            ShowError(this, QString::fromStdString(address.problem));
            continue; // asked again with what was typed, to correct it
        }
        const QString name = QString::fromStdString(address.name);
        QTreeWidgetItem* node = treeviewModule->FindPort(name);
        if (!node) node = treeviewModule->AddPort(name);
        treeviewModule->Root()->setExpanded(true);
        treeviewModule->scrollToItem(node);
        ClickNode(node);
        return;
    }
}

void TfrmMain::tlbtnSaveClick() {
    const QString file = Ui().SaveFileName(this, "Save", "Utility.txt", "Utility.txt (*.txt)");
    if (file.isEmpty()) return;
    if (!WriteFileAtomically(file, treeviewModule->ExportText().toUtf8()))
        Ui().Message(this, UiServices::Icon::Error, "Message", "Error when opening file");
}

// Applies the settings panel's choices to the port, as the search and the
// terminal do before they start.
bool TfrmMain::ApplyComSettings() {
    if (!comSet_) return true;
    const ComChoice c = comSet_->Choice();
    // A raw TCP port's line is the device server's; the panel offers no choice.
    if (port_->CanSetLineSettings()) {
        if (!port_->SetPortState(c.baud, 8, c.parity, c.stopBits)) {
            ShowError(this, QString("Cannot set %1 to %2.\n%3")
                                .arg(QString::fromStdString(port_->GetPortName()),
                                     PortSettingsText(c),
                                     QString::fromStdString(port_->LastError().text)));
            return false;
        }
        statbarMain->SetPortText(PortSettingsText(c));
    }
    bool ok = false;
    const int timeout = comSet_->TimeOutText().trimmed().toInt(&ok);
    if (ok && timeout > 0 && timeout <= 60000) {
        port_->SetTimeOut(timeout);
    } else {
        Ui().Message(this, UiServices::Icon::Warning, AppTitle(),
                     "Invalid timeout value!\nThe default value '80 ms' will be used!");
        comSet_->SetTimeOutText("80");
        port_->SetTimeOut(80);
    }
    if (const auto turnaround = TurnaroundFromText(comSet_->TurnaroundText())) {
        TavoModbusCOM::SetDefaultTurnaroundDelay(*turnaround);
    } else {
        Ui().Message(this, UiServices::Icon::Warning, AppTitle(),
                     "Invalid turnaround value (0 to 100 ms)!\nThe default value '20 ms' will "
                     "be used!");
        comSet_->SetTurnaroundText(QString::number(TavoModbusCOM::kDefaultTurnaroundMs));
        TavoModbusCOM::SetDefaultTurnaroundDelay(TavoModbusCOM::kDefaultTurnaroundMs);
    }
    return true;
}

void TfrmMain::tlbtnSearchClick() {
    if (!port_ || !ApplyComSettings()) return;
    SearchOptions options;
    if (comSet_) {
        QString problem;
        const auto chosen = comSet_->SearchChoice(problem);
        if (!chosen) {
            ShowError(this, problem);
            return;
        }
        options = *chosen;
    }
    TfrmDlgAskAddr ask(this);
    if (Ui().Exec(ask) != QDialog::Accepted) return;
    ClearLineBeforeSearch(*port_);
    ShowStatusMessage("Searching modules, please wait a moment...");
    QStringList notices;
    {
        TfrmDlgSearch search(this);
        search.SetStartAddr(port_.get(), ask.Address(), treeviewModule, std::move(options));
        Ui().Exec(search);
        notices = search.Notices();
    }
    ShowStatusMessage({});
    RefreshExportAction();
    if (!notices.isEmpty())
        Ui().Message(this, UiServices::Icon::Warning, AppTitle(),
                     "The search went on without these line settings:\n" + notices.join('\n'));
}

void TfrmMain::RefreshExportAction() {
    bool searched = false;
    for (int i = 0; i < treeviewModule->Root()->childCount(); ++i)
        searched = searched || ModuleTree::PortSearchedWith(treeviewModule->Root()->child(i));
    menuExportGatewayConfig->setEnabled(searched);
    const QString hint = searched ? "Write the configuration of tavo gateway for the modules the searches found"
                                  : "Search a port first: the configuration lists what the search found";
    menuExportGatewayConfig->setToolTip(hint);
    menuExportGatewayConfig->setStatusTip(hint);
}

// The window's search asks a module no more than the search does, so what the slots
// of a rack speaking Modbus hold is read here, where the configuration needs it:
// through the open port, when it is the searched one and still at the line settings
// the rack answered at. A rack left unread is named in the file's notes.
void TfrmMain::ReadModbusRackSlots(gateway::PortSearch& search) {
    if (!port_ || !port_->IsOpen() || port_->GetPortName() != search.searched.port) return;
    for (FoundNode& node : search.found) {
        std::string inner, designation;
        if (node.modbusSlots || node.link != LinkKind::ModbusRtu ||
            !ParseItemText(node.text, inner, designation) || !SearchEngine::IsModbusRack(designation))
            continue;
        if (!(node.line.value_or(search.searched.line) == port_->GetLineSettings())) continue;
        node.modbusSlots =
            SearchEngine::ModbusRackSlotNodes(*port_, static_cast<int>(std::strtol(inner.c_str(), nullptr, 16)));
    }
}

void TfrmMain::menuExportGatewayConfigClick() {
    std::vector<gateway::PortSearch> ports;
    for (int i = 0; i < treeviewModule->Root()->childCount(); ++i) {
        const QTreeWidgetItem* port = treeviewModule->Root()->child(i);
        const auto with = ModuleTree::PortSearchedWith(port);
        if (!with) continue;
        gateway::PortSearch search;
        search.searched = {port->text(0).toStdString(), with->line, with->timeoutMs, with->turnaroundMs};
        search.found = ModuleTree::FoundUnder(port);
        ReadModbusRackSlots(search);
        ports.push_back(std::move(search));
    }
    if (ports.empty()) {
        ShowWarning(this, "No port has been searched yet.\nSearch a port first: the gateway "
                          "configuration lists the modules the search found.");
        return;
    }
    std::vector<std::string> notes;
    const gateway::GatewayConfig config = gateway::ConfigFromSearch(ports, notes);
    // The service of a configuration /etc/tavo/NAME.yaml is tavo-gateway@NAME.
    const QString file =
        Ui().SaveFileName(this, "Export Gateway Configuration",
                          QString::fromStdString(config.buses.front().name) + ".yaml",
                          "Gateway configuration (*.yaml *.yml)", "yaml");
    if (file.isEmpty()) return;
    std::string error;
    if (!gateway::WriteConfigFile(QFile::encodeName(file).toStdString(), config, notes, error)) {
        ShowError(this, "The gateway configuration was not written.\n" + QString::fromStdString(error));
        return;
    }
    std::size_t modules = 0;
    for (const gateway::BusConfig& bus : config.buses) modules += bus.modules.size();
    QString text = QString("The gateway configuration of %1 modules on %2 buses is in %3")
                       .arg(modules)
                       .arg(config.buses.size())
                       .arg(QDir::toNativeSeparators(file));
    if (!notes.empty())
        text += QString(" (%1 left out or asked at start: see the comments in the file)").arg(notes.size());
    ShowStatusMessage(text);
}

void TfrmMain::tlbtnTerminalClick() {
    if (!port_ || !ApplyComSettings()) return;
    TfrmMTerminal terminal(*port_, this);
    Ui().Exec(terminal);
}

void TfrmMain::tlbtnSaveConfClick() {
    auto* panel = qobject_cast<ModulePanel*>(current_);
    if (panel && panel->HasSettingsFile()) panel->SaveSettings();
    else ShowStatusMessage("This panel has no settings file.");
}

void TfrmMain::tlbtnLoadConfClick() {
    auto* panel = qobject_cast<ModulePanel*>(current_);
    if (panel && panel->HasSettingsFile()) panel->LoadSettings();
    else ShowStatusMessage("This panel has no settings file.");
}

QString TfrmMain::HelpPagePath() const { return FindDataFile("help/index.html"); }

void TfrmMain::tlbtnHelpClick() {
    const QString page = HelpPagePath();
    if (page.isEmpty()) {
        ShowError(this, "The help page is not installed with this copy of the utility.");
        return;
    }
    if (!Ui().OpenUrl(QUrl::fromLocalFile(page)))
        ShowError(this, "No web browser could be started to show the help page.\n"
                        "Open this file in a browser: " + QDir::toNativeSeparators(page));
}

void TfrmMain::menuAboutTavoClick() {
    TfrmDlgAbout about(this);
    about.move(pos() + QPoint(2, 2));
    Ui().Exec(about);
}

} // namespace tavo
