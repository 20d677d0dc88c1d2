// The Enter key in every dialog, typed as a user types it (a key event to the
// focused field of the shown dialog): it writes to a module only where the form
// gives the dialog a default button or the field an Enter action of its own.
#include "panel_fixture.h"

#include "panels/analog/calib_dialogs.h"
#include "panels/analog/single_input_panels.h"
#include "workspace/search_dialog.h"
#include "workspace/small_windows.h"
#include "workspace/tavo_dialog.h"
#include "workspace/terminal.h"

#include "devices/models_analog.h"
#include "devices/z_series.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace tavo {
namespace {

using test::PanelFixture;
using test::ScopedTestUi;
using test::SimBus;
using Strings = std::vector<std::string>;

// Enter in `field` of its shown window, the field holding the focus.
void PressEnter(QWidget* field) {
    field->window()->show();
    field->setFocus();
    QTest::keyClick(field, Qt::Key_Return);
}

// Every field a user can type Enter into.
std::vector<QLineEdit*> Fields(QDialog& dialog) {
    std::vector<QLineEdit*> out;
    for (QLineEdit* e : dialog.findChildren<QLineEdit*>())
        if (e->isVisibleTo(&dialog) && e->isEnabled()) out.push_back(e);
    return out;
}

TEST(DialogEnterKey, ColdJunctionDialogWritesOnlyWhenSaveIsPressed) {
    PanelFixture fx("01 R210D type=0E cjc=25\n");
    auto* panel = fx.Open<TfrmMR210D>("(01)R210D");
    ASSERT_NE(panel, nullptr);
    Strings onEnter, onButton;
    QStringList boxesOnEnter;
    fx.ui().onDialog = [&](QDialog& d) {
        auto* cjc = qobject_cast<TfrmCJC*>(&d);
        if (!cjc) return -1;
        fx.Received(1);
        cjc->edtCJCVal->setText("+05.0");
        const auto fields = Fields(d);
        EXPECT_EQ(fields.size(), 2u);
        for (QLineEdit* field : fields) PressEnter(field);
        onEnter = fx.Received(1);
        boxesOnEnter = fx.ui().Texts();
        PressEnter(cjc->btExecute); // on the focused button Enter presses it
        onButton = fx.Received(1);
        return cjc->result();
    };
    panel->btCJCCalClick();
    EXPECT_EQ(onEnter, Strings{}) << "Enter wrote the offset";
    EXPECT_TRUE(boxesOnEnter.isEmpty());
    EXPECT_EQ(onButton, (Strings{"$019+022B", "$013"}));
}

TEST(DialogEnterKey, ZeroAndSpanCalibrationWaitForSave) {
    PanelFixture fx("01 R210D init type=06\n");
    auto* panel = fx.Open<TfrmMR210D>("(*)R210D");
    ASSERT_NE(panel, nullptr);
    Strings onEnter;
    int resultAfterEnter = -1;
    fx.ui().onDialog = [&](QDialog& d) {
        auto* calib = qobject_cast<TfrmCalib*>(&d);
        if (!calib) return -1;
        fx.Received(1);
        PressEnter(calib->Edit1);
        PressEnter(&d);
        onEnter = fx.Received(1);
        resultAfterEnter = calib->result();
        return int(QDialog::Rejected);
    };
    for (auto open : {&TfrmMR210D::btZeroCalClick, &TfrmMR210D::btSpanCalClick}) {
        onEnter = {"not run"};
        (panel->*open)();
        EXPECT_EQ(onEnter, Strings{}) << "Enter calibrated before a signal was applied";
        EXPECT_NE(resultAfterEnter, QDialog::Accepted);
    }
    EXPECT_TRUE(fx.ui().boxes.empty());
}

class DialogsOnABus : public ::testing::Test {
protected:
    DialogsOnABus() : sim("01 R210D\n06 R240T\n08 Z351 slots=Z320\n"), port(sim.Open(30)) {}
    Strings Received(unsigned address) {
        std::lock_guard lock(sim.bus().mutex());
        auto& r = sim.module(address).received;
        Strings out(r.begin(), r.end());
        r.clear();
        return out;
    }
    ScopedTestUi ui;
    SimBus sim;
    std::unique_ptr<TavoComPort> port;
};

// The output calibration is the one dialog with a default button: Enter stores
// the point, once.
TEST_F(DialogsOnABus, OutputCalibrationSavesOnEnter) {
    ZelMZ320 z(port.get(), "08", "S0");
    TfrmMAOCalib dialog;
    dialog.SetZSeries(&z);
    dialog.SetMode(TfrmMAOCalib::k4mA);
    dialog.SetChannel(1);
    dialog.Run();
    Received(8);
    PressEnter(dialog.edtChannel_Dec);
    EXPECT_EQ(Received(8), Strings{"$08S0C14"});
    EXPECT_EQ(ui.ui().Texts(), QStringList{"zero Calibration succeeded"});
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

// Enter in the lead-wire field is its own Save: it writes once, not once for the
// field and again for a button.
TEST_F(DialogsOnABus, LeadWireFieldSavesOnceOnEnter) {
    TavoMR240T r240t(port.get(), "06");
    TfrmMWirePayment dialog;
    dialog.SetR240T(&r240t, '0');
    dialog.Run();
    dialog.edtCurrentWirePaymentVal->setText("12.34");
    Received(6);
    PressEnter(dialog.edtCurrentWirePaymentVal);
    EXPECT_EQ(Received(6), (Strings{"$06R0+007B", "$06R0"}));
    EXPECT_EQ(ui.ui().Texts(), QStringList{"Update succeeded!"});
}

TEST_F(DialogsOnABus, TerminalSendsTheTypedLineOnce) {
    TfrmMTerminal terminal(*port);
    terminal.edtCommandLine->setText("$01M");
    Received(1);
    PressEnter(terminal.edtCommandLine);
    EXPECT_EQ(Received(1), Strings{"$01M"});
}

TEST_F(DialogsOnABus, EnterNeitherStopsASearchNorDoesMoreThanOkInSmallDialogs) {
    ModuleTree tree;
    tree.setCurrentItem(tree.AddPort("sim"));
    TfrmDlgSearch search;
    search.SetStartAddr(port.get(), 250, &tree);
    PressEnter(search.edtAddrHex);
    EXPECT_TRUE(search.Timer1->isActive()) << "Enter stopped the scan";
    EXPECT_NE(search.result(), QDialog::Accepted);
    search.btnStopClick();

    TfrmDlgAskAddr ask; // OK is its default: Enter takes the address
    ask.EditAddr->setText("12");
    PressEnter(ask.EditAddr);
    EXPECT_EQ(ask.result(), QDialog::Accepted);
    EXPECT_EQ(ask.Address(), 12);

    TfrmDlgAbout about;
    PressEnter(&about);
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

// The rule is the dialogs' base: a dialog built later follows it, buttons added
// after it was shown included.
TEST(DialogEnterKey, EveryDialogPressesOnlyItsNamedDefault) {
    TavoDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* field = new QLineEdit(&dialog);
    auto* save = new QPushButton("&Save", &dialog);
    layout->addWidget(field);
    layout->addWidget(save);
    int saves = 0, laters = 0;
    QObject::connect(save, &QPushButton::clicked, [&] { ++saves; });
    dialog.show();
    auto* later = new QPushButton("Later", &dialog);
    layout->addWidget(later);
    later->show();
    QObject::connect(later, &QPushButton::clicked, [&] { ++laters; });
    PressEnter(field);
    EXPECT_EQ(saves + laters, 0);
    PressEnter(later); // a focused button: Enter presses it
    EXPECT_EQ(laters, 1);
    dialog.SetDefaultButton(save);
    PressEnter(field);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(laters, 1);
}

} // namespace
} // namespace tavo
