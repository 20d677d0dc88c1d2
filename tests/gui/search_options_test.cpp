// The search options of the port settings panel, driven headless against the
// simulator: probes, sweeps, the turnaround field, progress and Stop.
#include "support/sim_bus.h"
#include "test_ui.h"

#include "transport/modbus.h"
#include "workspace/com_set.h"
#include "workspace/main_window.h"
#include "workspace/module_tree.h"
#include "workspace/search_dialog.h"
#include "workspace/status_bar.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace tavo {
namespace {

// Remembers the port's line settings when a panel starts.
class LinePanel : public ModulePanel {
public:
    void InitModule(const PanelContext& c) override { Seen().push_back(c.port->GetLineSettings()); }
    static std::vector<LineSettings>& Seen() {
        static std::vector<LineSettings> seen;
        return seen;
    }
};

class SearchOptionsTest : public ::testing::Test {
protected:
    explicit SearchOptionsTest(const char* bus = "F9 R210D baud=19200\nFA R550 checksum\n")
        : sim(bus), window(QStringList{QString::fromStdString(sim.path())}) {}
    ~SearchOptionsTest() override {
        TavoModbusCOM::SetDefaultTurnaroundDelay(TavoModbusCOM::kDefaultTurnaroundMs);
    }

    QTreeWidgetItem* PortNode() {
        return window.Tree()->FindPort(QString::fromStdString(sim.path()));
    }
    TfrmComSet* Settings() {
        window.ClickNode(PortNode());
        TfrmComSet* set = window.ComSet();
        set->SetTimeOutText("10");
        set->SetTurnaroundText("0");
        return set;
    }
    QCheckBox* Check(const char* name) { return window.ComSet()->findChild<QCheckBox*>(name); }
    void Search(const QString& start = "249") {
        ui.ui().startAddresses.push_back(start);
        window.tlbtnSearchClick();
    }
    QTreeWidgetItem* Child(const QString& text) {
        for (int i = 0; i < PortNode()->childCount(); ++i)
            if (PortNode()->child(i)->text(0) == text) return PortNode()->child(i);
        return nullptr;
    }

    test::ScopedTestUi ui;
    test::SimBus sim;
    TfrmMain window;
};

TEST_F(SearchOptionsTest, DefaultsAreThePlainSearchAndBadChoicesAreRefused) {
    TfrmComSet* set = Settings();
    for (const char* name : {"chkProbeAscii", "chkProbeChecksum", "chkProbeModbus"})
        EXPECT_TRUE(Check(name)->isChecked()) << name;
    EXPECT_FALSE(Check("chkSweep")->isChecked());
    EXPECT_TRUE(Check("chkSweepBaud9600")->isChecked());
    EXPECT_FALSE(Check("chkSweepBaud9600")->isEnabled()); // until the sweep is on
    EXPECT_TRUE(Check("chkSweepParityN")->isChecked());
    QString problem;
    const auto choice = set->SearchChoice(problem);
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->probes, kAllProbes);
    EXPECT_TRUE(choice->sweep.empty());

    // Nothing to search with: said before the start address is asked.
    for (const char* name : {"chkProbeAscii", "chkProbeChecksum", "chkProbeModbus"})
        Check(name)->setChecked(false);
    Search();
    EXPECT_EQ(ui.ui().Texts(), QStringList{"Tick at least one probe (ASCII, ASCII with checksum or "
                                           "Modbus RTU) to search with."});
    EXPECT_TRUE(ui.ui().dialogsRun.empty());
    Check("chkProbeAscii")->setChecked(true);
    Check("chkSweep")->setChecked(true);
    EXPECT_TRUE(Check("chkSweepBaud9600")->isEnabled());
    Check("chkSweepParityN")->setChecked(false);
    Check("chkSweepParityE")->setChecked(true);
    EXPECT_FALSE(set->SearchChoice(problem));
    EXPECT_EQ(problem, "Parities E and O are swept with the Modbus probe only: tick Modbus RTU or "
                       "parity N.");
    Check("chkSweepParityE")->setChecked(false);
    EXPECT_FALSE(set->SearchChoice(problem));
    EXPECT_TRUE(problem.startsWith("Tick at least one baud rate and one parity"));
}

TEST_F(SearchOptionsTest, TurnaroundFieldSetsTheModbusPauseAndRefusesOutOfRange) {
    TfrmComSet* set = Settings();
    set->SetTurnaroundText("4");
    EXPECT_EQ(TavoModbusCOM(nullptr).GetTurnaroundDelay(), 4); // the next panel's Modbus object
    window.ClickNode(PortNode());
    EXPECT_EQ(window.ComSet()->EditTurnaround->text(), "4"); // shows what is in effect
    for (const char* bad : {"101", "-1", "fast"}) {
        ui.ui().Clear();
        window.ComSet()->SetTurnaroundText(bad);
        Search("255");
        EXPECT_EQ(ui.ui().Texts().value(0), "Invalid turnaround value (0 to 100 ms)!\nThe default "
                                            "value '20 ms' will be used!")
            << bad;
        EXPECT_EQ(window.ComSet()->EditTurnaround->text(), "20");
        EXPECT_EQ(TavoModbusCOM::GetDefaultTurnaroundDelay(), 20);
        window.ComSet()->SetTurnaroundText("0");
    }
}

TEST_F(SearchOptionsTest, SweepListsEachModuleAtItsSettingsAndItsNodeOpensThere) {
    Settings();
    Check("chkSweep")->setChecked(true);
    Check("chkSweepBaud19200")->setChecked(true);
    Check("chkSweepParityE")->setChecked(true); // a pseudo-terminal refuses parity
    Search();
    ASSERT_NE(Child("(F9)R210D"), nullptr);
    ASSERT_NE(Child("(FA)R550"), nullptr);
    EXPECT_EQ(PortNode()->childCount(), 2);
    EXPECT_EQ(Child("(F9)R210D")->text(1), "19200, N, 8, 1");
    EXPECT_EQ(Child("(FA)R550")->text(1), "9600, N, 8, 1");
    EXPECT_EQ(ModuleTree::NodeLinkKind(Child("(FA)R550")), LinkKind::AsciiChecksum);
    // One box at the end names each setting that was skipped.
    ASSERT_EQ(ui.ui().boxes.size(), 1u);
    const QStringList lines = ui.ui().boxes[0].text.split('\n');
    ASSERT_EQ(lines.size(), 3) << ui.ui().boxes[0].text.toStdString();
    EXPECT_EQ(lines[0], "The search went on without these line settings:");
    EXPECT_TRUE(lines[1].startsWith("Skipped 9600, E, 8, 1: the port refuses it"));
    EXPECT_TRUE(lines[2].startsWith("Skipped 19200, E, 8, 1: the port refuses it"));
    // The port is back at the panel's settings.
    EXPECT_EQ(window.Port()->GetLineSettings().baud, 9600u);

    auto saved = PanelFactory::Instance().Save();
    for (const char* name : {"TfrmMR210D", "TfrmMR550"})
        PanelFactory::Instance().Register(name, [](QWidget*) { return new LinePanel; });
    LinePanel::Seen().clear();
    window.ClickNode(Child("(F9)R210D"));
    window.ClickNode(Child("(FA)R550"));
    PanelFactory::Instance().Restore(std::move(saved));
    ASSERT_EQ(LinePanel::Seen().size(), 2u);
    EXPECT_EQ(LinePanel::Seen()[0].baud, 19200u);
    EXPECT_EQ(LinePanel::Seen()[1].baud, 9600u);
    EXPECT_EQ(window.StatusBar()->PortText(), "9600, N, 8, 1");
}

TEST_F(SearchOptionsTest, ProgressSaysWhereTheSearchIsAndStopKeepsWhatWasFound) {
    // Long enough that a loaded machine cannot make the module miss its probe.
    Settings()->SetTimeOutText("200");
    Check("chkProbeChecksum")->setChecked(false);
    Check("chkProbeModbus")->setChecked(false);
    Check("chkSweep")->setChecked(true);
    Check("chkSweepBaud19200")->setChecked(true);
    QStringList settingTexts;
    QString elapsed;
    ui.ui().onDialog = [&](QDialog& d) {
        auto* search = qobject_cast<TfrmDlgSearch*>(&d);
        if (!search) return -1;
        settingTexts << search->lblLineSetting->text();
        for (int i = 0; i < 7; ++i)
            search->Timer1Timer(); // 249..255 at 9600
        settingTexts << search->lblLineSetting->text();
        for (int i = 0; i < 7 && PortNode()->childCount() == 0; ++i)
            search->Timer1Timer(); // F9 at 19200
        elapsed = search->lblElapsed->text();
        search->btnStop->click();
        return static_cast<int>(search->result());
    };
    Search();
    EXPECT_EQ(settingTexts, (QStringList{"Line setting: 9600, N, 8, 1 (1 of 2)",
                                         "Line setting: 19200, N, 8, 1 (2 of 2)"}));
    EXPECT_TRUE(QRegularExpression("^Elapsed \\d+:\\d\\d, about \\d+:\\d\\d left$")
                    .match(elapsed)
                    .hasMatch())
        << elapsed.toStdString();
    ASSERT_EQ(PortNode()->childCount(), 1);
    EXPECT_EQ(PortNode()->child(0)->text(0), "(F9)R210D");
    EXPECT_EQ(window.Port()->GetLineSettings().baud, 9600u);

    // The plain search names the one setting it searches at.
    ui.ui().onDialog = [&](QDialog& d) {
        auto* search = qobject_cast<TfrmDlgSearch*>(&d);
        if (!search) return -1;
        settingTexts = {search->lblLineSetting->text()};
        search->btnStop->click();
        return static_cast<int>(search->result());
    };
    Check("chkSweep")->setChecked(false);
    Search("255");
    EXPECT_EQ(settingTexts, QStringList{"Line setting: 9600, N, 8, 1"});
}

} // namespace
} // namespace tavo
