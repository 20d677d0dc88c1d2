// The calibration dialogs: opened from the single-channel panels, and each kind
// driven against the simulator through its command object.
#include "panel_fixture.h"

#include "panels/analog/calib_dialogs.h"
#include "panels/analog/single_input_panels.h"

#include "devices/k_series.h"
#include "devices/models_analog.h"
#include "devices/z_series.h"
#include "sim/module.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace tavo {
namespace {

using test::PanelFixture;
using test::ScopedTestUi;
using test::SimBus;

// ---- From the panels -----------------------------------------------------------------

TEST(CalibrationFromPanels, ZeroAndSpanOfTheR210D) {
    PanelFixture fx("01 R210D init type=06\n");
    auto* panel = fx.Open<TfrmMR210D>("(*)R210D");
    ASSERT_NE(panel, nullptr);
    QString title, input;
    int clicks = 1; // Save once, or Exit
    fx.ui().onDialog = [&](QDialog& d) {
        auto* calib = qobject_cast<TfrmCalib*>(&d);
        if (!calib) return -1;
        title = calib->windowTitle();
        input = calib->Edit1->text();
        if (clicks-- > 0)
            calib->Button1->click();
        else
            calib->Button2->click();
        return calib->result();
    };
    fx.Received(0x01);
    panel->btZeroCal->click();
    EXPECT_EQ(title, " Tavo-R210D  Zero calibration");
    EXPECT_EQ(input, "0 mA"); // the current range
    EXPECT_EQ(fx.Received(0x01), std::vector<std::string>{"$001"});
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Zero Calibration succeeded!"});
    EXPECT_EQ(fx.ui().boxes[0].title, "");
    clicks = 1;
    panel->cmbTypeChangeAllCh->setCurrentIndex(5);
    panel->btSpanCal->click();
    EXPECT_EQ(title, " Tavo-R210D  Span calibration");
    EXPECT_EQ(input, "2.5V");
    EXPECT_EQ(fx.Received(0x01), std::vector<std::string>{"$000"});
    EXPECT_EQ(fx.ui().Texts().last(), "Span Calibration succeeded");
    // A refusal keeps the dialog open; Exit then sends nothing.
    fx.ui().Clear();
    clicks = 1;
    fx.WithModule(0x01, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    panel->btSpanCal->click();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Span Calibration failed"});
    clicks = 0;
    fx.Received(0x01);
    panel->btZeroCal->click();
    EXPECT_TRUE(fx.Received(0x01).empty());
}

TEST(CalibrationFromPanels, InputTextsOfEachMember) {
    struct Row {
        const char* bus;
        const char* node;
        int range;
        const char* zero;
        const char* span;
    };
    const Row rows[] = {
        {"01 R210 init\n", "(*)R210", 13, "0 mV", "15mV"},
        {"01 R210D init\n", "(*)R210D", 9, "0 mV", "22mV"},
        {"01 R220 init type=08\n", "(*)R220", 5, "0 mA", "20mA"},
        {"01 R220 init type=08\n", "(*)R220", 0, "0 mV", "10V"},
        {"01 R230 init type=20\n", "(*)R230", 7, "60 ohms", "440 ohms"},
        {"01 R230 init type=20\n", "(*)R230", 3, "60 ohms", "200 ohms"},
        {"01 R250 init\n", "(*)R250", 4, "0 mA", "20mA"},
        {"01 R250 init\n", "(*)R250", 3, "0 mV", "500mV"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.node) + " " + std::to_string(r.range));
        PanelFixture fx(r.bus);
        auto* panel = fx.Open<TfrmMR210D>(r.node);
        ASSERT_NE(panel, nullptr);
        QStringList seen;
        fx.ui().onDialog = [&](QDialog& d) {
            if (auto* calib = qobject_cast<TfrmCalib*>(&d)) seen << calib->Edit1->text();
            return int(QDialog::Rejected);
        };
        panel->cmbTypeChangeAllCh->setCurrentIndex(r.range);
        panel->btZeroCalClick();
        panel->btSpanCalClick();
        EXPECT_EQ(seen, (QStringList{r.zero, r.span}));
    }
}

TEST(CalibrationFromPanels, ColdJunctionOffsets) {
    PanelFixture fx("01 R210D type=0E cjc=25\n");
    auto* panel = fx.Open<TfrmMR210D>("(01)R210D");
    ASSERT_NE(panel, nullptr);
    std::vector<QString> offsets;
    QString title, reading, shown;
    fx.ui().onDialog = [&](QDialog& d) {
        auto* cjc = qobject_cast<TfrmCJC*>(&d);
        if (!cjc) return -1;
        title = cjc->windowTitle();
        reading = cjc->edtCurrentCJCVal->text();
        EXPECT_EQ(cjc->edtCJCVal->text(), "+00.0");
        for (const QString& o : offsets) {
            cjc->edtCJCVal->setText(o);
            cjc->btExecute->click();
        }
        shown = cjc->edtCurrentCJCVal->text();
        return int(QDialog::Rejected);
    };
    struct Row {
        const char* offset;
        const char* sent; // nullptr: refused
    };
    const Row rows[] = {{"50", "$019+15B3"},   {"-0.5", "$019-0037"}, {"1.0", "$019+006F"},
                        {"100", nullptr},      {"-100", nullptr},     {"abc", nullptr},
                        {"99.9", "$019+2B5C"}, {"0", "$019+0000"}};
    bool first = true;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.offset);
        offsets = {r.offset};
        fx.ui().Clear();
        fx.Received(0x01);
        const long long before = fx.ui().clockMs;
        panel->btCJCCal->click();
        const auto sent = fx.Received(0x01);
        EXPECT_EQ(title, "Tavo- Tavo-R210D  Cold Junction Compesation");
        if (first) {
            EXPECT_EQ(reading, "+025.00");
        }
        first = false;
        if (r.sent) {
            EXPECT_EQ(sent, (std::vector<std::string>{"$013", r.sent, "$013"}));
            EXPECT_EQ(fx.ui().Texts(), QStringList{"Update succeeded!"});
            EXPECT_EQ(fx.ui().clockMs - before, 1000);
        } else {
            EXPECT_EQ(sent, std::vector<std::string>{"$013"});
            ASSERT_EQ(fx.ui().boxes.size(), 1u);
            EXPECT_EQ(fx.ui().boxes[0].title, "Warning");
            EXPECT_EQ(fx.ui().boxes[0].text, "Invalid data");
        }
    }
    // The reading after a write includes the new offset.
    offsets = {"-1.0"};
    panel->btCJCCal->click();
    EXPECT_EQ(shown, "+024.00");
    fx.ui().Clear();
    offsets = {"1"};
    fx.ui().onDialog = [&](QDialog& d) {
        auto* cjc = qobject_cast<TfrmCJC*>(&d);
        if (!cjc) return -1;
        fx.WithModule(0x01, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
        cjc->edtCJCVal->setText("1");
        cjc->btExecute->click();
        return int(QDialog::Rejected);
    };
    panel->btCJCCalClick();
    ASSERT_EQ(fx.ui().boxes.size(), 1u);
    EXPECT_EQ(fx.ui().boxes[0].title, "R210");
    EXPECT_EQ(fx.ui().boxes[0].text, "CJC Offset Calibration failed");
}

// ---- Each kind against its command object --------------------------------------------

class DialogKinds : public ::testing::Test {
protected:
    DialogKinds()
        : sim("01 R240\n02 R280\n03 R310\n04 R250\n05 R330\n06 R240T\n07 K100 "
              "slots=K230,K310,K220H\n"
              "08 Z351 slots=Z320\n09 R270P\n0A R270M\n0B R270P\n"),
          port(sim.Open(30)) {}

    std::vector<std::string> Received(unsigned address) {
        std::lock_guard lock(sim.bus().mutex());
        auto& r = sim.module(address).received;
        std::vector<std::string> out(r.begin(), r.end());
        r.clear();
        return out;
    }
    QStringList Texts() {
        QStringList t = ui.ui().Texts();
        ui.ui().Clear();
        return t;
    }

    ScopedTestUi ui;
    SimBus sim;
    std::unique_ptr<TavoComPort> port;
};

TEST_F(DialogKinds, InputCalibrationCommandsAndMessages) {
    TavoMR240 r240(port.get(), "01");
    TavoMR280 r280(port.get(), "02");
    TavoMR270P r270p(port.get(), "09");
    TavoMK230 k230(port.get(), "07", "S0");
    TavoMK220H k220h(port.get(), "07", "S2");
    struct Row {
        std::function<void(TfrmCalib&)> give;
        int mode;
        unsigned address;
        const char* sent;
        const char* message;
        long long waitMs;
    };
    const Row rows[] = {
        {[&](TfrmCalib& d) { d.SetR240(&r240); }, 0, 1, "$011C2", "Zero Calibration succeeded", 0},
        {[&](TfrmCalib& d) { d.SetR240(&r240); }, 1, 1, "$010C2", "Span Calibration succeeded", 0},
        {[&](TfrmCalib& d) { d.SetR280(&r280); }, 2, 2, "$02NC2", "Negative Calibration succeeded",
         0},
        {[&](TfrmCalib& d) { d.SetR280(&r280); }, 1, 2, "$020C2", "Span Calibration succeeded", 0},
        {[&](TfrmCalib& d) { d.SetInput(&r270p); }, 0, 9, "$091", "Zero Calibration succeeded", 0},
        {[&](TfrmCalib& d) { d.SetK230(&k230); }, 0, 7, "$07S01", "Zero Calibration succeeded",
         2000},
        {[&](TfrmCalib& d) { d.SetK230(&k230); }, 1, 7, "$07S00", "Span Calibration succeeded", 0},
        {[&](TfrmCalib& d) { d.SetK220H(&k220h); }, 0, 7, "$07S21", "Zero Calibration succeeded",
         0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.sent);
        TfrmCalib dialog;
        r.give(dialog);
        dialog.SetMode(r.mode);
        dialog.SetChannel(2);
        dialog.SetInputText("100 ohms");
        Received(r.address);
        const long long before = ui.ui().clockMs;
        dialog.Run();
        EXPECT_EQ(dialog.Edit1->text(), "100 ohms");
        dialog.Button1Click();
        EXPECT_EQ(Received(r.address), std::vector<std::string>{r.sent});
        EXPECT_EQ(Texts(), QStringList{r.message});
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(ui.ui().clockMs - before, r.waitMs);
    }
    TfrmCalib r280dialog;
    r280dialog.SetR280(&r280);
    r280dialog.SetChannel(5);
    r280dialog.FormShow();
    EXPECT_EQ(r280dialog.Label3->text(), "CH 5");
    // A negative span is the R280's only: nothing is sent for another kind.
    TfrmCalib other;
    other.SetR240(&r240);
    other.SetMode(TfrmCalib::kNegativeSpan);
    Received(1);
    other.Button1Click();
    EXPECT_TRUE(Received(1).empty());
    EXPECT_EQ(Texts(), QStringList{"Negative Calibration failed"});
}

TEST_F(DialogKinds, ZSeriesInputCalibratesCurrentChannelsByThemselves) {
    ZelMZ320 z(port.get(), "08", "S0");
    TfrmCalib dialog;
    dialog.SetZSeries(&z);
    dialog.SetMode(TfrmCalib::kZero);
    dialog.SetChannelInput(0, "0 V", false);
    dialog.SetChannelInput(1, "0 V", false);
    dialog.SetChannelInput(2, "4 mA", true);
    dialog.ShowChannelSelector(true);
    dialog.FormShow();
    dialog.edtChannel_Dec->setText("2");
    EXPECT_EQ(dialog.Edit1->text(), "4 mA");
    Received(8);
    dialog.Button1Click();
    EXPECT_EQ(Received(8), std::vector<std::string>{"$08S0C27"});
    EXPECT_EQ(Texts(), QStringList{"Zero Calibration succeeded"});
    dialog.edtChannel_Dec->setText("1");
    dialog.SetMode(TfrmCalib::kSpan);
    dialog.Button1Click();
    EXPECT_EQ(Received(8), std::vector<std::string>{"$08S0C00"});
    EXPECT_EQ(Texts(),
              (QStringList{
                  "Only current type can be calibrated by channel,\ncalibration channel set to 0.",
                  "Span Calibration succeeded"}));
    dialog.edtChannel_Dec->setText("7");
    dialog.Button1Click();
    EXPECT_TRUE(Received(8).empty());
    EXPECT_EQ(Texts(), QStringList{"Invalid data"});
}

TEST_F(DialogKinds, ColdJunctionOfOtherKinds) {
    TavoMR270P r270p(port.get(), "09");
    TavoMK230 k230(port.get(), "07", "S0");
    TavoMR270M r270m(port.get(), "0A");
    {
        TfrmCJC dialog;
        dialog.SetR270P(&r270p);
        const long long before = ui.ui().clockMs;
        dialog.Run();
        dialog.edtCJCVal->setText("-0.5");
        Received(9);
        dialog.btExecuteClick();
        EXPECT_EQ(Received(9), (std::vector<std::string>{"$099-0037", "$093"}));
        EXPECT_EQ(Texts(), QStringList{"Update succeeded!"});
        EXPECT_EQ(ui.ui().clockMs - before, 4500);
    }
    {
        TfrmCJC dialog;
        dialog.SetK230(&k230);
        dialog.Run();
        dialog.edtCJCVal->setText("50");
        Received(7);
        dialog.btExecuteClick();
        EXPECT_EQ(Received(7), (std::vector<std::string>{"$07S09+15B3", "$07S03"}));
        ASSERT_EQ(ui.ui().boxes.size(), 1u);
        EXPECT_EQ(ui.ui().boxes[0].title, "K230");
        EXPECT_EQ(Texts(), QStringList{"CJC Offset Calibration Compeletes succeeded"});
    }
    {
        TfrmCJC dialog;
        dialog.SetR270M(&r270m);
        Received(10);
        dialog.Run();
        EXPECT_EQ(Received(10), std::vector<std::string>{"$0A3"});
        EXPECT_FALSE(dialog.edtCurrentCJCVal->text().isEmpty());
        EXPECT_FALSE(dialog.btExecute->isEnabled()); // read only
    }
    {
        TavoMR270P silent(port.get(), "7F");
        TfrmCJC dialog;
        dialog.SetR270P(&silent);
        dialog.Run();
        EXPECT_EQ(dialog.edtCurrentCJCVal->text(), "Read failed");
        dialog.btExecuteClick();
        ASSERT_EQ(ui.ui().boxes.size(), 1u);
        EXPECT_EQ(ui.ui().boxes[0].title, "R270P");
        EXPECT_EQ(Texts(), QStringList{"CJC Offset Calibration failed"});
    }
}

TEST_F(DialogKinds, OutputCalibrationAndTrim) {
    TavoMR310 r310(port.get(), "03");
    TavoMR250 r250(port.get(), "04");
    TavoMR330 r330(port.get(), "05");
    TavoMK310 k310(port.get(), "07", "S1");
    struct Row {
        std::function<void(TfrmMAOCalib&)> give;
        int mode;
        unsigned address;
        std::vector<std::string> onShow;
        const char* value;
        const char* group;
        std::vector<std::string> trims; // after the four steps
        const char* save;
        const char* message;
    };
    const std::vector<std::string> none;
    const Row rows[] = {
        {[&](TfrmMAOCalib& d) { d.SetR310(&r310); },
         0,
         3,
         none,
         "4.0mA",
         " Trim for 4.0 mA ",
         {"$0330A", "$03301", "$033FF", "$033F6"},
         "$030",
         "4mA Calibration succeeded"},
        {[&](TfrmMAOCalib& d) { d.SetR310(&r310); },
         1,
         3,
         none,
         "20.0mA",
         " Trim for 20.0 mA ",
         {"$0330A", "$03301", "$033FF", "$033F6"},
         "$031",
         "20mA Calibration succeeded"},
        {[&](TfrmMAOCalib& d) { d.SetR250Output(&r250); },
         2,
         4,
         none,
         "0.0V",
         " Trim for 0.0 V ",
         {"$04E0A", "$04E01", "$04EFF", "$04EF6"},
         "$04A",
         "0V Calibration succeeded"},
        {[&](TfrmMAOCalib& d) { d.SetR250Output(&r250); },
         3,
         4,
         none,
         "10.0V",
         " Trim for 10.0 V ",
         {"$04E0A", "$04E01", "$04EFF", "$04EF6"},
         "$04B",
         "10V Calibration succeeded"},
        {[&](TfrmMAOCalib& d) { d.SetR330(&r330); }, 1, 5, none, "20.0 mA",
         "Trim for 20.0 mA: ", none, "$051C2", "20mA Calibration succeeded"},
        {[&](TfrmMAOCalib& d) { d.SetK310(&k310); },
         0,
         7,
         {"#07S1C204.000"},
         "4.0mA",
         " Trim for 4.0 mA ",
         {"$07S1C230A", "$07S1C2301", "$07S1C23FF", "$07S1C23F6"},
         "$07S1C20",
         "4mA Calibration succeeded"},
        {[&](TfrmMAOCalib& d) { d.SetK310(&k310); },
         1,
         7,
         {"#07S1C220.000"},
         "20.0mA",
         " Trim for 20.0 mA ",
         {"$07S1C230A", "$07S1C2301", "$07S1C23FF", "$07S1C23F6"},
         "$07S1C21",
         "20mA Calibration succeeded"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.save);
        TfrmMAOCalib dialog;
        r.give(dialog);
        dialog.SetMode(r.mode);
        dialog.SetChannel(2);
        Received(r.address);
        dialog.Run();
        EXPECT_EQ(Received(r.address), r.onShow);
        EXPECT_EQ(dialog.labCalibVal->text(), r.value);
        EXPECT_EQ(dialog.grpUnit->title(), r.group);
        for (int tag = 1; tag <= 4; ++tag)
            dialog.bitbtnLeftLeft20Click(tag);
        EXPECT_EQ(Received(r.address), r.trims);
        dialog.bitbtn20ExecuteClick();
        EXPECT_EQ(Received(r.address), std::vector<std::string>{r.save});
        EXPECT_EQ(Texts(), QStringList{r.message});
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    TfrmMAOCalib hints;
    hints.SetR310(&r310);
    hints.FormShow();
    EXPECT_EQ(hints.bitbtnLeftLeft20->toolTip(), "To trim -15.0uA");
    EXPECT_EQ(hints.bitbtnRightRight20->toolTip(), "To trim +15.0uA");
    // Failures keep the dialog open.
    TfrmMAOCalib failing;
    TavoMR310 absent(port.get(), "7E");
    failing.SetR310(&absent);
    failing.bitbtnLeftLeft20Click(2);
    failing.bitbtn20ExecuteClick();
    EXPECT_EQ(Texts(), (QStringList{"Write Trim Calibration failed", "4mA Calibration failed"}));
    EXPECT_NE(failing.result(), QDialog::Accepted);
}

TEST_F(DialogKinds, ZSeriesOutputTrimCounter) {
    ZelMZ320 z(port.get(), "08", "S0");
    TfrmMAOCalib dialog;
    dialog.SetZSeries(&z);
    dialog.SetMode(TfrmMAOCalib::k4mA);
    dialog.SetChannel(1);
    Received(8);
    dialog.Run();
    EXPECT_TRUE(dialog.edtChannel_Dec->isVisibleTo(&dialog));
    EXPECT_EQ(Received(8), (std::vector<std::string>{"#08S0C104.000", "$08S0C1333"}));
    EXPECT_EQ(dialog.TrimCounter(), 50);
    EXPECT_EQ(dialog.grpUnit->title(), " Zero Calibration ");
    for (int i = 0; i < 4; ++i)
        dialog.bitbtnLeftLeft20Click(1); // 50 -> 10
    dialog.bitbtnLeftLeft20Click(2);     // 9
    EXPECT_EQ(dialog.TrimCounter(), 9);
    EXPECT_TRUE(Texts().isEmpty());
    dialog.bitbtnLeftLeft20Click(1); // clamps at 0
    EXPECT_EQ(dialog.TrimCounter(), 0);
    EXPECT_EQ(Texts(), QStringList{"It's already the lowest trim value!"});
    auto sent = Received(8);
    EXPECT_EQ(sent.back(), "$08S0C1300");
    EXPECT_EQ(sent[4], "$08S0C1309");
    dialog.bitbtnLeftLeft20Click(4);
    EXPECT_EQ(Received(8), std::vector<std::string>{"$08S0C130A"});
    dialog.bitbtn20ExecuteClick();
    EXPECT_EQ(Received(8), std::vector<std::string>{"$08S0C14"});
    EXPECT_EQ(Texts(), QStringList{"zero Calibration succeeded"});

    TfrmMAOCalib span;
    span.SetZSeries(&z);
    span.SetMode(TfrmMAOCalib::k20mA);
    span.SetChannel(0);
    span.Run();
    EXPECT_EQ(Received(8), (std::vector<std::string>{"#08S0C020.000", "$08S0C03FF"}));
    span.bitbtnLeftLeft20Click(3);
    EXPECT_EQ(Texts(), QStringList{"It's already the highest trim value!"});
    span.bitbtnLeftLeft20Click(1);
    EXPECT_EQ(span.TrimCounter(), 245);
    Received(8);
    span.bitbtn20ExecuteClick();
    EXPECT_EQ(Received(8), std::vector<std::string>{"$08S0C01"});
    EXPECT_EQ(Texts(), QStringList{"span Calibration succeeded"});
    // Exit sends nothing.
    TfrmMAOCalib exit;
    exit.SetZSeries(&z);
    exit.bitbtn20Exit->click();
    EXPECT_TRUE(Received(8).empty());
}

TEST_F(DialogKinds, LeadWireCompensation) {
    TavoMR240T r240t(port.get(), "06");
    TfrmMWirePayment dialog;
    dialog.SetR240T(&r240t, '0');
    EXPECT_EQ(dialog.windowTitle(), "Lead Wire Effect Compensation");
    dialog.Run();
    EXPECT_EQ(dialog.edtCurrentWirePaymentVal->text(), "0.0");
    struct Row {
        const char* value;
        const char* sent;
    };
    const Row rows[] = {{"12.34", "$06R0+007B"}, {"-1.5", "$06R0-000F"}, {"6553.5", "$06R0+FFFF"},
                        {"6553.6", nullptr},     {"-7000", nullptr},     {"x", nullptr}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.value);
        Received(6);
        dialog.edtCurrentWirePaymentVal->setText(r.value);
        emit dialog.edtCurrentWirePaymentVal->returnPressed(); // Enter runs Save
        if (r.sent) {
            EXPECT_EQ(Received(6), (std::vector<std::string>{r.sent, "$06R0"}));
            EXPECT_EQ(Texts(), QStringList{"Update succeeded!"});
        } else {
            EXPECT_TRUE(Received(6).empty());
            EXPECT_EQ(Texts(), QStringList{"Invalid data"});
        }
    }
    dialog.edtCurrentWirePaymentVal->setText("12.34");
    dialog.btExecuteClick();
    EXPECT_EQ(dialog.edtCurrentWirePaymentVal->text(), "12.3"); // read back in tenths
    Texts();
    TfrmMWirePayment ohms;
    ohms.SetR240T(&r240t, '1');
    Received(6);
    ohms.Run();
    EXPECT_EQ(Received(6), std::vector<std::string>{"$06R1"});
    TavoMR240T absent(port.get(), "7D");
    TfrmMWirePayment failing;
    failing.SetR240T(&absent, '0');
    failing.Run();
    EXPECT_EQ(failing.edtCurrentWirePaymentVal->text(), "+0.0");
    failing.btExecuteClick();
    EXPECT_EQ(Texts(), QStringList{"Lead Wire Compensation failed"});
}

} // namespace
} // namespace tavo
