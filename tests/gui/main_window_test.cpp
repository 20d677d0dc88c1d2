// The main window driven headless against the simulator.
#include "sim/bus.h"
#include "sim/bus_file.h"
#include "sim/pty_server.h"
#include "support/sim_bus.h"
#include "support/temp_dir.h"
#include "test_ui.h"

#include "workspace/com_set.h"
#include "workspace/main_window.h"
#include "workspace/module_tree.h"
#include "workspace/small_windows.h"
#include "workspace/status_bar.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <unistd.h>

namespace tavo {
namespace {

using test::ScopedTestUi;
using test::SimBus;

// A panel that only remembers how it was started.
class RecordingPanel : public ModulePanel {
public:
    explicit RecordingPanel(std::string name) : name_(std::move(name)) {}
    bool HasSettingsFile() const override { return true; }
    void InitModule(const PanelContext& c) override {
        context = c;
        timeoutAtInit = c.port->GetTimeOut();
        checksumAtInit = c.port->GetCheckSum();
        Last() = this;
    }
    static RecordingPanel*& Last() {
        static RecordingPanel* last = nullptr;
        return last;
    }
    std::string name_;
    PanelContext context;
    int timeoutAtInit = 0;
    bool checksumAtInit = false;
};

class MainWindowTest : public ::testing::Test {
protected:
    explicit MainWindowTest(const char* bus =
                                "F9 R210D\nFA R550 checksum\nFB R560SO protocol=modbus\n"
                                "FC R850\nFD R710\n")
        : sim(bus), window(QStringList{QString::fromStdString(sim.path())}) {}

    QTreeWidgetItem* PortNode() {
        return window.Tree()->FindPort(QString::fromStdString(sim.path()));
    }
    QAction* Action(const char* name) { return window.findChild<QAction*>(name); }
    void Search(const QString& start = "249", const QString& timeout = "10") {
        window.ClickNode(PortNode());
        window.ComSet()->SetTimeOutText(timeout);
        ui.ui().startAddresses.push_back(start);
        window.tlbtnSearchClick();
    }
    QTreeWidgetItem* Child(QTreeWidgetItem* parent, const QString& text) {
        for (int i = 0; i < parent->childCount(); ++i)
            if (parent->child(i)->text(0) == text) return parent->child(i);
        return nullptr;
    }

    ScopedTestUi ui;
    SimBus sim;
    TfrmMain window;
};

TEST_F(MainWindowTest, StartsWithTheIntroductionAndThePortsListed) {
    EXPECT_EQ(window.windowTitle(), "Tavo-R000-K100 Utility (Ver 4.00.06)");
    EXPECT_EQ(window.Tree()->Root()->text(0), "PC");
    EXPECT_NE(PortNode(), nullptr);
    auto* intro = qobject_cast<TfrmIntro*>(window.CurrentPanel());
    ASSERT_NE(intro, nullptr);
    const QString text = intro->Memo1->toPlainText();
    EXPECT_TRUE(text.startsWith("   Tavo-R000-K100 Utility (Ver 4.00.06)              Jan 2006"));
    EXPECT_TRUE(text.contains("Tavo-R560SO"));
    EXPECT_TRUE(text.contains("Tavo-K100EM"));
    EXPECT_TRUE(Action("tlbtnSave")->isEnabled());
    EXPECT_FALSE(Action("tlbtnSearch")->isEnabled());
    EXPECT_FALSE(Action("tlbtnTerminal")->isEnabled());
    EXPECT_FALSE(Action("tlbtnSaveConf")->isEnabled());
    EXPECT_FALSE(Action("tlbtnDataScope")->isVisible());
    EXPECT_EQ(Action("tlbtnSearch")->toolTip(), "Search");
    EXPECT_EQ(Action("tlbtnLoadConf")->text(), "D&ownload Configuration File To Set Environment");
}

TEST_F(MainWindowTest, PortNodeOpensThePortAndShowsItsSettings) {
    window.ClickNode(PortNode());
    ASSERT_NE(window.Port(), nullptr);
    EXPECT_EQ(window.StatusBar()->StatusMessage(), "COM Port status");
    EXPECT_EQ(window.StatusBar()->PortText(), "9600, N, 8, 1");
    TfrmComSet* set = window.ComSet();
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->EditPort->text(), QString::fromStdString(sim.path()));
    EXPECT_EQ(set->ComboBoxBaudRate->currentIndex(), 3);
    EXPECT_EQ(set->EditTimeOut->text(), "80");
    EXPECT_TRUE(Action("tlbtnSearch")->isEnabled());
    EXPECT_TRUE(Action("tlbtnTerminal")->isEnabled());
    // Clicking the port again resets the time-out to 80 whatever it was.
    window.Port()->SetTimeOut(300);
    window.ClickNode(PortNode());
    EXPECT_EQ(window.Port()->GetTimeOut(), 80);
    // The root closes it and brings the introduction back.
    window.ClickNode(window.Tree()->Root());
    EXPECT_EQ(window.Port(), nullptr);
    EXPECT_NE(qobject_cast<TfrmIntro*>(window.CurrentPanel()), nullptr);
    EXPECT_EQ(window.StatusBar()->StatusMessage(), "Welcome to use Tavo Utility");
}

TEST_F(MainWindowTest, SettingsPanelChoices) {
    window.ClickNode(PortNode());
    TfrmComSet* set = window.ComSet();
    EXPECT_FALSE(set->CB_Parity->isEnabled());
    emit set->ComboBoxBaudRate->activated(1);
    EXPECT_EQ(set->EditTimeOut->text(), "320");
    emit set->ComboBoxBaudRate->activated(0);
    EXPECT_EQ(set->EditTimeOut->text(), "640");
    emit set->ComboBoxBaudRate->activated(5);
    EXPECT_EQ(set->EditTimeOut->text(), "80");
    set->Bt_Advanced->click();
    EXPECT_TRUE(set->CB_Parity->isEnabled());
    set->CB_Parity->setCurrentIndex(1);
    set->CB_StopBits->setCurrentIndex(1);
    set->Bt_Default->click();
    EXPECT_EQ(set->CB_Parity->currentIndex(), 0);
    EXPECT_EQ(set->CB_StopBits->currentIndex(), 0);
    EXPECT_TRUE(set->CB_Parity->isEnabled());
    // A port set to even parity shows it (a pseudo-terminal has no parity, so the
    // mapping is checked on its own).
    EXPECT_EQ(set->CB_Parity->itemText(ParityIndexFor(kParityEven)), "Even");
    EXPECT_EQ(set->CB_Parity->itemText(ParityIndexFor(kParityOdd)), "Odd");
    EXPECT_EQ(set->CB_StopBits->itemText(StopIndexFor(kTwoStopBits)), "2");
    // Settings the port cannot take stop the search with the reason.
    set->CB_Parity->setCurrentIndex(1);
    ui.ui().startAddresses.push_back("255");
    window.tlbtnSearchClick();
    ASSERT_EQ(ui.ui().boxes.size(), 1u);
    EXPECT_TRUE(ui.ui().boxes[0].text.startsWith(
        "Cannot set " + QString::fromStdString(sim.path()) + " to 9600, E, 8, 1."))
        << ui.ui().boxes[0].text.toStdString();
    EXPECT_EQ(PortSettingsText(ChoiceFromIndices(4, 2, 1)), "19200, O, 8, 2");
}

TEST_F(MainWindowTest, SearchListsModulesWithTheirLinkKinds) {
    Search("249");
    QTreeWidgetItem* port = PortNode();
    ASSERT_EQ(port->childCount(), 5);
    EXPECT_EQ(
        window.Tree()->ExportText(port).split("\r\n").mid(1, 5),
        (QStringList{"\t(F9)R210D", "\t(FA)R550", "\t(FB)R560SO", "\t(FC)R850", "\t\t(DO0)"}));
    EXPECT_NE(Child(port, "(FD)R710"), nullptr);
    EXPECT_EQ(ModuleTree::NodeLinkKind(Child(port, "(FA)R550")), LinkKind::AsciiChecksum);
    EXPECT_EQ(ModuleTree::NodeLinkKind(Child(port, "(FB)R560SO")), LinkKind::ModbusRtu);
    EXPECT_EQ(ModuleTree::Images(Child(port, "(FB)R560SO")), std::make_pair(18, 19));
    EXPECT_TRUE(port->isExpanded());
    EXPECT_EQ(window.StatusBar()->StatusMessage(), "");
    // Searching again first removes what was listed.
    Search("252");
    EXPECT_EQ(port->childCount(), 2); // FC and FD
}

TEST_F(MainWindowTest, SearchRefusesBadTimeOutAndStartAddress) {
    window.ClickNode(PortNode());
    window.ComSet()->SetTimeOutText("abc");
    ui.ui().startAddresses = {"256", "abc", "255"};
    window.tlbtnSearchClick();
    EXPECT_EQ(ui.ui().Texts(),
              (QStringList{"Invalid timeout value!\nThe default value '80 ms' will be used!",
                           "Please input a dicimal number between 0 and 255!",
                           "Please input a dicimal number between 0 and 255!"}));
    EXPECT_EQ(window.ComSet()->EditTimeOut->text(), "80");
    EXPECT_EQ(window.Port()->GetTimeOut(), 80);
    // Cancelling the start address dialog searches nothing.
    ui.ui().Clear();
    const int children = PortNode()->childCount();
    window.tlbtnSearchClick();
    EXPECT_EQ(PortNode()->childCount(), children);
}

TEST_F(MainWindowTest, TerminalGetsThePortWithTheSettingsApplied) {
    window.ClickNode(PortNode());
    window.ComSet()->SetTimeOutText("x");
    Action("tlbtnTerminal")->trigger();
    EXPECT_EQ(ui.ui().Texts(),
              QStringList{"Invalid timeout value!\nThe default value '80 ms' will be used!"});
    EXPECT_EQ(ui.ui().dialogsRun, std::vector<QString>{"TfrmMTerminal"});
    EXPECT_NE(window.Port(), nullptr); // the port stays open afterwards
}

TEST_F(MainWindowTest, DispatchChoosesPanelsByDesignationLevelAndLinkKind) {
    auto saved = PanelFactory::Instance().Save();
    for (const auto& row : ModelRegistry::Instance().rows())
        for (const auto& name : {row.panel, row.modbusPanel})
            if (!name.empty())
                PanelFactory::Instance().Register(
                    name, [name](QWidget*) { return new RecordingPanel(name); });
    QTreeWidgetItem* port = PortNode();
    const auto add = [&](QTreeWidgetItem* parent, const char* text,
                         std::optional<LinkKind> link = {}) {
        FoundNode n;
        n.text = text;
        n.link = link;
        return window.Tree()->AddFound(parent, n);
    };
    struct Case {
        QTreeWidgetItem* node;
        std::string panel;
    };
    auto* r270 = add(port, "(01)R270", LinkKind::AsciiPlain);
    auto* r270p = add(port, "(02)R270P", LinkKind::ModbusRtu);
    auto* r270m = add(port, "(03)R270M", LinkKind::ModbusRtu);
    auto* r280p = add(port, "(0A)R280P", LinkKind::AsciiChecksum);
    auto* k100 = add(port, "(*)K100", LinkKind::AsciiPlain);
    auto* r850 = add(port, "(03)R850", LinkKind::AsciiPlain);
    auto* do0 = add(r850, "(DO0)");
    auto* r850m = add(port, "(04)R850", LinkKind::ModbusRtu);
    auto* do1 = add(r850m, "(DO1)");
    auto* k100e = add(port, "(05)K100E", LinkKind::AsciiPlain);
    auto* s1 = add(k100e, "(S1)K220");
    auto* ch2 = add(s1, "(CH 2)");
    auto* r810 = add(port, "(07)R810", LinkKind::AsciiPlain);
    const Case cases[] = {{r270, "TfrmMR270"},
                          {r270p, "TfrmMR270PMod"},
                          {r270m, "TfrmMR270M"},
                          {r280p, "TfrmMR280B"},
                          {k100, "TfrmMK100"},
                          {do0, "TfrmMDIOChannelSetting"},
                          {do1, "TfrmMR850MDIOChannelSettingMod"},
                          {s1, "TfrmMK220"},
                          {ch2, "TfrmMK220AlarmSetting"},
                          {k100e, "TfrmMK100"},
                          {r810, "TfrmMR810"}};
    for (const auto& c : cases) {
        RecordingPanel::Last() = nullptr;
        window.ClickNode(c.node);
        ASSERT_NE(RecordingPanel::Last(), nullptr) << c.panel;
        EXPECT_EQ(RecordingPanel::Last()->name_, c.panel);
        EXPECT_EQ(window.CurrentPanel(), RecordingPanel::Last());
    }
    window.ClickNode(k100);
    EXPECT_EQ(RecordingPanel::Last()->context.address, "*");
    EXPECT_EQ(RecordingPanel::Last()->context.kind, PanelInitKind::Rack);
    window.ClickNode(do0);
    const PanelContext& c = RecordingPanel::Last()->context;
    EXPECT_EQ(c.parentDesignation, "R850");
    EXPECT_EQ(c.address, "03");
    EXPECT_EQ(c.channel, "DO0");
    window.ClickNode(ch2);
    EXPECT_EQ(RecordingPanel::Last()->context.channel, "CH 2");
    EXPECT_EQ(RecordingPanel::Last()->context.slot, "S1");
    EXPECT_EQ(window.StatusBar()->Tag(), 7);
    EXPECT_FALSE(Action("tlbtnSaveConf")->isEnabled()); // level 4
    window.ClickNode(r280p);
    EXPECT_TRUE(RecordingPanel::Last()->checksumAtInit);
    EXPECT_TRUE(Action("tlbtnSaveConf")->isEnabled());
    window.ClickNode(r810);
    EXPECT_EQ(RecordingPanel::Last()->timeoutAtInit, 200);
    EXPECT_FALSE(RecordingPanel::Last()->checksumAtInit);
    PanelFactory::Instance().Restore(std::move(saved));
}

TEST_F(MainWindowTest, UnparsableUnknownAndUnbuiltNodes) {
    auto saved = PanelFactory::Instance().Save();
    PanelFactory::Instance().Restore({});
    FoundNode bad;
    bad.text = "()K100";
    window.ClickNode(window.Tree()->AddFound(PortNode(), bad));
    EXPECT_EQ(ui.ui().Texts(), QStringList{"Parsing module name failed!"});
    ui.ui().Clear();
    FoundNode unknown;
    unknown.text = "(05)R999";
    unknown.link = LinkKind::AsciiPlain;
    window.ClickNode(window.Tree()->AddFound(PortNode(), unknown));
    ASSERT_EQ(ui.ui().boxes.size(), 1u);
    EXPECT_TRUE(ui.ui().boxes[0].text.contains("R999"));
    FoundNode r210;
    r210.text = "(01)R210";
    r210.link = LinkKind::AsciiPlain;
    window.ClickNode(window.Tree()->AddFound(PortNode(), r210));
    EXPECT_EQ(window.StatusBar()->StatusMessage(),
              "The R210 panel is not available in this version of the utility.");
    PanelFactory::Instance().Restore(std::move(saved));
}

TEST_F(MainWindowTest, ExportWritesTheTreeWithTabsAndCrLf) {
    Search("249");
    QTemporaryDir dir;
    const QString file = dir.filePath("Utility.txt");
    ui.ui().saveNames.push_back(file);
    window.tlbtnSaveClick();
    EXPECT_EQ(ui.ui().defaultNames.back(), "Utility.txt");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.startsWith("PC\r\n\t"));
    EXPECT_TRUE(
        text.contains("\r\n\t" + QByteArray::fromStdString(sim.path()) + "\r\n\t\t(F9)R210D\r\n"));
    EXPECT_TRUE(text.contains("\t\t\t(DO0)\r\n"));
    EXPECT_TRUE(text.endsWith("\r\n"));
}

TEST_F(MainWindowTest, ExitAsksFirst) {
    window.ClickNode(PortNode());
    ui.ui().answers = {false};
    window.close();
    EXPECT_EQ(ui.ui().questions, std::vector<QString>{"Are you sure to exit?"});
    EXPECT_EQ(ui.ui().beeps, 1);
    EXPECT_NE(window.Port(), nullptr); // No leaves everything as it was
    ui.ui().answers = {true};
    window.close();
    EXPECT_EQ(window.Port(), nullptr);
}

TEST_F(MainWindowTest, HelpSaysSoWhenNoBrowserStarts) {
    ui.ui().browserStarts = false;
    Action("tlbtnHelp")->trigger();
    ASSERT_EQ(ui.ui().boxes.size(), 1u);
    EXPECT_EQ(ui.ui().boxes[0].icon, UiServices::Icon::Error);
    EXPECT_TRUE(ui.ui().boxes[0].text.startsWith("No web browser could be started to show the "
                                                 "help page.\nOpen this file in a browser: "))
        << ui.ui().boxes[0].text.toStdString();
    EXPECT_TRUE(ui.ui().boxes[0].text.endsWith("index.html"));
}

// Every node shows whole: the tree is as wide as its longest node (never below
// 137 pixels), and a node cut by a narrower tree tells its text in a tooltip.
TEST_F(MainWindowTest, TreeFitsItsNodesAndCutNodesHaveTooltips) {
    window.show();
    QTreeWidgetItem* port = PortNode();
    const char* models[] = {"R210",   "R210D",  "R220", "R230",  "R250",  "R260",  "R260P", "R270",
                            "R270P",  "R270M",  "R240", "R240T", "R280",  "R280P", "R810",  "R820",
                            "R260AN", "R270AN", "R310", "R330",  "R320T", "R850",  "R860"};
    int address = 2;
    for (const char* model : models) {
        FoundNode n;
        n.text =
            QString("(%1)%2").arg(address++, 2, 16, QChar('0')).toUpper().toStdString() + model;
        n.link = LinkKind::AsciiPlain;
        window.Tree()->AddFound(port, n);
    }
    port->setExpanded(true);
    QApplication::processEvents();
    ModuleTree* tree = window.Tree();
    const QFontMetrics metrics(tree->font());
    const auto whole = [&](QTreeWidgetItem* item) {
        const QRect rect = tree->visualItemRect(item);
        return rect.left() + tree->iconSize().width() + metrics.horizontalAdvance(item->text(0)) <=
               tree->viewport()->width();
    };
    EXPECT_GE(tree->width(), TfrmMain::kMinTreeWidth);
    for (int i = 0; i < port->childCount(); ++i) {
        EXPECT_TRUE(whole(port->child(i))) << port->child(i)->text(0).toStdString();
        EXPECT_FALSE(tree->IsCut(port->child(i)));
    }
    EXPECT_TRUE(whole(port)) << port->text(0).toStdString();

    // Narrowed by hand: the cut nodes tell their whole text when the mouse rests.
    auto* splitter = window.findChild<QSplitter*>("Splitter1");
    splitter->setSizes({60, window.width() - 60});
    QApplication::processEvents();
    QTreeWidgetItem* node = port->child(1);
    ASSERT_TRUE(tree->IsCut(node));
    const QPoint at = tree->visualItemRect(node).center();
    QHelpEvent help(QEvent::ToolTip, at, tree->viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree->viewport(), &help);
    EXPECT_EQ(QToolTip::text(), node->text(0));
    QToolTip::hideText();
    // Narrowed trees are not widened back by a click.
    window.ClickNode(port);
    EXPECT_LT(tree->width(), TfrmMain::kMinTreeWidth);
}

// The panel area has its width from the first show: the introduction shows, then
// the port's settings panel, and nothing sizes the area away.
TEST_F(MainWindowTest, PanelAreaHasItsWidthFromTheFirstShow) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto* splitter = window.findChild<QSplitter*>("Splitter1");
    ASSERT_NE(splitter, nullptr);
    const auto shows = [&](const char* panel) {
        SCOPED_TRACE(panel);
        QApplication::processEvents();
        const QList<int> sizes = splitter->sizes();
        ASSERT_EQ(sizes.size(), 2);
        EXPECT_GE(sizes[0], TfrmMain::kMinTreeWidth);
        EXPECT_GE(sizes[1], sizes[0]); // the tree takes half at most
        ASSERT_NE(window.CurrentPanel(), nullptr);
        EXPECT_EQ(window.CurrentPanel()->objectName(), panel);
        EXPECT_GE(window.CurrentPanel()->visibleRegion().boundingRect().width(), sizes[1] / 2);
    };
    shows("TfrmIntro");
    window.ClickNode(PortNode());
    shows("TfrmComSet");
    splitter->setSizes({window.width(), 0});
    EXPECT_GT(splitter->sizes().value(1), 0);
}

TEST_F(MainWindowTest, EveryPanelIsNamedByItsClass) {
    for (const auto& [name, make] : PanelFactory::Instance().Save()) {
        std::unique_ptr<ModulePanel> panel(PanelFactory::Instance().Make(name, nullptr));
        ASSERT_NE(panel, nullptr) << name;
        EXPECT_EQ(panel->objectName().toStdString(), name);
    }
    EXPECT_GE(PanelFactory::Instance().Save().size(), 18u);
}

TEST_F(MainWindowTest, PortSettingsShowTheAmpersandOnce) {
    window.ClickNode(PortNode());
    auto* label = window.ComSet()->findChild<QLabel*>("lblParityStopBits");
    ASSERT_NE(label, nullptr);
    // Without a buddy a label shows its text as it is.
    EXPECT_EQ(label->text(), "Parity&StopBits:");
    EXPECT_EQ(label->buddy(), nullptr);
}

TEST_F(MainWindowTest, HelpOpensOurPageAndAboutShowsTheVersion) {
    ASSERT_TRUE(Action("tlbtnHelp")->isVisible()); // the page ships beside the program
    Action("tlbtnHelp")->trigger();
    ASSERT_EQ(ui.ui().opened.size(), 1u);
    EXPECT_TRUE(ui.ui().opened[0].toLocalFile().endsWith("share/tavo-utility/help/index.html"));
    QString labels;
    ui.ui().onDialog = [&](QDialog& d) {
        for (auto* l : d.findChildren<QLabel*>())
            labels += l->text() + "|";
        return QDialog::Accepted;
    };
    Action("menuAboutTavo")->trigger();
    EXPECT_EQ(ui.ui().dialogsRun.back(), "TfrmDlgAbout");
    EXPECT_TRUE(labels.contains("Tavo-R000-K100 Utility|Ver 4.00.06|B001|"))
        << labels.toStdString();
}

TEST(MainWindowPorts, PortThatCannotBeOpenedSaysWhy) {
    ScopedTestUi ui;
    TfrmMain window(QStringList{"/dev/tavo-no-such-port"});
    window.ClickNode(window.Tree()->FindPort("/dev/tavo-no-such-port"));
    EXPECT_EQ(window.Port(), nullptr);
    ASSERT_EQ(ui.ui().boxes.size(), 1u);
    EXPECT_TRUE(ui.ui().boxes[0].text.startsWith("Open /dev/tavo-no-such-port failed!\n"));
    EXPECT_FALSE(window.findChild<QAction*>("tlbtnSearch")->isEnabled());
}

TEST(MainWindowPorts, ClickingUnderAnotherPortSwitchesPorts) {
    ScopedTestUi ui;
    SimBus one("01 R210D\n"), two("01 R220\n");
    const QString a = QString::fromStdString(one.path()), b = QString::fromStdString(two.path());
    TfrmMain window(QStringList{a, b});
    window.ClickNode(window.Tree()->FindPort(a));
    window.Port()->SetPortState(19200, 8, kParityNone, kOneStopBit);
    FoundNode n;
    n.text = "(01)R220";
    n.link = LinkKind::AsciiPlain;
    window.ClickNode(window.Tree()->AddFound(window.Tree()->FindPort(b), n));
    ASSERT_NE(window.Port(), nullptr);
    EXPECT_EQ(window.Port()->GetPortName(), b.toStdString());
    EXPECT_EQ(window.Port()->GetLineSettings().baud, 9600u);
    EXPECT_EQ(window.Port()->GetTimeOut(), 80);
}

TEST(SmallWindows, BusyIndicatorAndAddressDialog) {
    ScopedTestUi ui;
    TfrmMWaitFor wait;
    wait.SetWaitMs(1000);
    EXPECT_EQ(wait.MessageText(), "Please wait  a moment !!");
    int ticks = 0;
    while (wait.result() != QDialog::Accepted && ticks < 100) {
        wait.Tick();
        ++ticks;
    }
    EXPECT_EQ(ticks, 20);
    TfrmMWaitFor channel;
    channel.SetChannel(3);
    EXPECT_EQ(channel.MessageText(), "Updating Channel 3 ...");
    channel.SetCloseOnSignal(true);
    channel.Tick();
    EXPECT_NE(channel.result(), QDialog::Accepted);
    channel.Signal();
    channel.Tick();
    EXPECT_EQ(channel.result(), QDialog::Accepted);

    TfrmDlgAskAddr ask;
    ask.EditAddr->setText("");
    ask.BitBtnOKClick(); // empty: nothing happens
    EXPECT_TRUE(ui.ui().boxes.empty());
    ask.EditAddr->setText("256");
    ask.BitBtnOKClick();
    EXPECT_EQ(ask.EditAddr->text(), "0");
    ask.EditAddr->setText("255");
    ask.BitBtnOKClick();
    EXPECT_EQ(ask.result(), QDialog::Accepted);
    EXPECT_EQ(ask.Address(), 255);
}

// The program's own file dialogs (no test services installed): a name typed without
// a suffix gets the default one, as it is before the dialog looks for the file.
TEST(UiServices, FileDialogsAddTheDefaultSuffixToABareName) {
    QTemporaryDir dir;
    // The dialog keeps its history in the user's settings: here, in the test's folder.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QFile existing(dir.filePath("map.cfg"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    struct Row {
        bool save;
        const char* typed;
        const char* chosen;
    };
    const Row rows[] = {
        {true, "new map", "new map.cfg"},
        {true, "new.txt", "new.txt"}, // a suffix of its own stays
        {false, "map", "map.cfg"},    // the file that exists under the suffixed name
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typed);
        bool answered = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            dialog->selectFile(dir.filePath(row.typed));
            QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection); // as OK does
            answered = dialog->result() == QDialog::Accepted;
            if (!answered) dialog->reject(); // refused: end the test's wait, not hang
        });
        const QString name =
            row.save ? Ui().SaveFileName(nullptr, "Save", dir.path(), "cfg (*.cfg)", "cfg")
                     : Ui().OpenFileName(nullptr, "Open", dir.path(), "cfg (*.cfg)", "cfg");
        EXPECT_TRUE(answered);
        EXPECT_EQ(name.toStdString(), dir.filePath(row.chosen).toStdString());
    }
}

} // namespace
} // namespace tavo

namespace tavo {
namespace {

// The adapter is pulled out under a polling panel and plugged in again: the window
// says once that the port was lost and once that it is back, and the panel's poll
// reaches the module again without a click.
TEST(MainWindowPorts, APollingPanelResumesWhenItsPortComesBack) {
    ScopedTestUi ui;
    test::TempDir dir;
    const std::string link = dir.File("unplug");
    sim::Bus bus;
    std::string error;
    ASSERT_TRUE(sim::LoadBusText("01 R210D\n", bus, error)) << error;
    auto server = std::make_unique<sim::PtyServer>(bus);
    ASSERT_TRUE(server->Start(error, link)) << error;
    const QString path = QString::fromStdString(link);
    TfrmMain window(QStringList{path});
    FoundNode n;
    n.text = "(01)R210D";
    n.link = LinkKind::AsciiPlain;
    window.ClickNode(window.Tree()->AddFound(window.Tree()->FindPort(path), n));
    ASSERT_NE(window.CurrentPanel(), nullptr);
    const auto polls = [&] {
        std::lock_guard lock(bus.mutex());
        auto& received = bus.Find(1)->received;
        const auto count = std::count(received.begin(), received.end(), std::string("#01"));
        received.clear();
        return count;
    };
    QTest::qWait(1500);
    EXPECT_GT(polls(), 0);

    server->Stop(); // the device node goes away
    server.reset();
    QStringList messages;
    for (int i = 0; i < 30 && !window.StatusBar()->StatusMessage().contains("was lost"); ++i)
        QTest::qWait(100);
    messages << window.StatusBar()->StatusMessage();
    EXPECT_TRUE(messages.back().startsWith("Port " + path + " was lost"))
        << messages.back().toStdString();
    QTest::qWait(1000); // polls keep failing quietly, without a box
    EXPECT_TRUE(ui.ui().boxes.empty());

    server = std::make_unique<sim::PtyServer>(bus); // plugged in again
    ASSERT_TRUE(server->Start(error, link)) << error;
    polls();
    long long resumed = 0;
    for (int i = 0; i < 60 && resumed == 0; ++i) {
        QTest::qWait(100);
        resumed = polls();
    }
    EXPECT_GT(resumed, 0) << "the panel did not poll the module again";
    for (int i = 0; i < 20 && !window.StatusBar()->StatusMessage().contains("is back"); ++i)
        QTest::qWait(100);
    EXPECT_EQ(window.StatusBar()->StatusMessage(), "Port " + path + " is back");
    EXPECT_TRUE(ui.ui().boxes.empty());
    window.ClickNode(window.Tree()->FindPort(path)); // closes the panel before the server goes
    server->Stop();
}

} // namespace
} // namespace tavo
