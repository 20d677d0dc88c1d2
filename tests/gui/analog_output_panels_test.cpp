// The analog output panels (R310, R330 and the R250's excitation output) against
// simulated modules: what each control sends, and what is refused before sending.
#include "panel_fixture.h"

#include "panels/analog/calib_dialogs.h"
#include "panels/analog/output_value_group.h"
#include "panels/analog/r310_panel.h"
#include "panels/analog/r330_panel.h"
#include "panels/analog/single_input_panels.h"

#include "sim/module.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace tavo {
namespace {

using test::PanelFixture;
using test::Starting;

using Commands = std::vector<std::string>;

// The writes of the R330 channel setup, in the order they went out.
Commands SetupWrites(const Commands& received) {
    Commands out;
    for (const auto& c : received)
        for (const char* prefix : {"$017C", "#01SC", "#01EC", "$01AC"})
            if (c.rfind(prefix, 0) == 0) out.push_back(c);
    return out;
}

bool HeartbeatFailed(PanelFixture& fx) {
    return fx.Indicator() == "2" || fx.Indicator() == "3";
}

TEST(AnalogOutputPanels, EachModelOpensFromTheTreeAndPolls) {
    struct Case {
        const char* bus;
        const char* node;
        const char* caption;
        const char* timer;
        std::function<void(QWidget*)> poll;
        Commands polled;
        const char* status;
        const char* field; // a value field and what the poll shows in it
        const char* shown;
    };
    const Case cases[] = {
        {"01 R310 type=31\n", "(01)R310", " Tavo-R310 ", "tmrUpdateAOData",
         [](QWidget* p) { static_cast<TfrmMR310*>(p)->tmrUpdateAODataTimer(); },
         {"$016", "$018"}, "Polling AO Data....  ", "edtAO_CurrentReadBak", "4.000"},
        {"01 R330 startup=5\n", "(01)R330", " Tavo-R330 ", "tmrUpdateData",
         [](QWidget* p) { static_cast<TfrmMR330*>(p)->tmrUpdateDataTimer(); },
         {"$016C0", "$016C1", "$016C2", "$016C3", "$01I"}, "Polling DI data...", "txbCurVal4",
         "+05.000"},
        {"01 R250 type=02 startup=7.5\n", "(01)R250", " Tavo-R250 ", "tmrUpdateAIData",
         [](QWidget* p) { static_cast<TfrmMR250*>(p)->tmrUpdateAIDataTimer(); },
         {"#01", "@01DI", "$016"}, "Read AI succeeded!!  ", "edtLast_Val", "7.500"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.node);
        PanelFixture fx(c.bus);
        QWidget* panel = fx.Open(c.node);
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->objectName(), "TfrmM" + QString(c.node).mid(4));
        EXPECT_EQ(fx.Find<QGroupBox>("grpModule")->title(), c.caption);
        auto* timer = panel->findChild<QTimer*>(c.timer);
        ASSERT_NE(timer, nullptr);
        EXPECT_TRUE(timer->isActive());
        EXPECT_EQ(timer->interval(), 500);
        EXPECT_EQ(fx.Find<QLineEdit>("edtAddress_Hex")->text(), "01");
        fx.Received(0x01);
        c.poll(panel);
        EXPECT_EQ(fx.Received(0x01), c.polled);
        EXPECT_EQ(fx.StatusText(), c.status);
        EXPECT_EQ(fx.Find<QLineEdit>(c.field)->text(), c.shown);
        EXPECT_TRUE(fx.ui().boxes.empty());
    }
}

// ---- R310 -----------------------------------------------------------------------------

TEST(R310Panel, TrackBarAndStepButtonsOnlyMoveTheEdit) {
    struct Case {
        const char* bus;
        int min, max;
        int start;           // track bar position set first
        const char* atStart; // what the edit shows then
        int outer, inner;    // step sizes
        const char* unit;
        bool readBack;
    };
    const Case cases[] = {
        {"01 R310 type=31\n", 4000, 20000, 12345, "12.345", 1600, 160, "mA", true},
        {"01 R310 type=30\n", 0, 20000, 500, "0.500", 2000, 200, "mA", true},
        {"01 R310 type=32\n", 0, 10000, 2500, "2.500", 1000, 100, "V", false},
        {"01 R310 type=31 format=01\n", 0, 10000, 5000, "50.00", 1000, 100, "mA", true},
        {"01 R310 type=31 format=02\n", 0, 4095, 2047, "7FF", 409, 40, "mA", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bus);
        PanelFixture fx(c.bus);
        auto* panel = fx.Open<TfrmMR310>("(01)R310");
        ASSERT_NE(panel, nullptr);
        OutputValueGroup* g = panel->grpDataArea;
        EXPECT_EQ(g->trabAOVal->minimum(), c.min);
        EXPECT_EQ(g->trabAOVal->maximum(), c.max);
        for (QLabel* unit : g->lblUnit)
            EXPECT_EQ(unit->text(), c.unit);
        EXPECT_EQ(g->edtAO_CurrentReadBak->isVisibleTo(panel), c.readBack);
        fx.Received(0x01);
        g->trabAOVal->setValue(c.start);
        EXPECT_EQ(g->edtAO_Val->text(), c.atStart);
        g->bitbtnRightRight->click();
        EXPECT_EQ(g->trabAOVal->value(), c.start + c.outer);
        g->bitbtnRight->click();
        EXPECT_EQ(g->trabAOVal->value(), c.start + c.outer + c.inner);
        g->bitbtnLeft->click();
        g->bitbtnLeftLeft->click();
        EXPECT_EQ(g->trabAOVal->value(), c.start);
        for (int i = 0; i < 12; ++i)
            g->bitbtnLeftLeft->click();
        EXPECT_EQ(g->trabAOVal->value(), c.min); // clamped
        for (int i = 0; i < 12; ++i)
            g->bitbtnRightRight->click();
        EXPECT_EQ(g->trabAOVal->value(), c.max);
        EXPECT_TRUE(fx.Received(0x01).empty()); // nothing is sent
    }
}

TEST(R310Panel, OutputSendsTheFieldOfTheDataFormat) {
    struct Row {
        const char* bus;
        const char* text;
        const char* sent;
        int position; // where the track bar goes
    };
    const Row rows[] = {
        {"01 R310 type=31\n", "4.5", "#0104.500", 4500},
        {"01 R310 type=31\n", "20", "#0120.000", 20000},
        {"01 R310 type=31\n", "12.3456", "#0112.346", 12346},
        {"01 R310 type=31\n", "+4.05", "#0104.050", 4050},
        {"01 R310 type=30\n", "0", "#0100.000", 0},
        {"01 R310 type=32\n", "9.999", "#0109.999", 9999},
        {"01 R310 type=31 format=01\n", "50", "#01+050.00", 5000},
        {"01 R310 type=31 format=01\n", "100", "#01+100.00", 10000},
        {"01 R310 type=31 format=01\n", "0.5", "#01+000.50", 50},
        {"01 R310 type=31 format=02\n", "7ff", "#017FF", 2047},
        {"01 R310 type=31 format=02\n", "A", "#0100A", 10},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.bus) + r.text);
        PanelFixture fx(r.bus);
        auto* panel = fx.Open<TfrmMR310>("(01)R310");
        ASSERT_NE(panel, nullptr);
        fx.Received(0x01);
        panel->grpDataArea->edtAO_Val->setText(r.text);
        panel->btnValueOutputClick();
        EXPECT_EQ(fx.Received(0x01), Commands{r.sent});
        EXPECT_TRUE(fx.ui().boxes.empty());
        EXPECT_EQ(panel->grpDataArea->trabAOVal->value(), r.position);
        EXPECT_TRUE(panel->findChild<QTimer*>("tmrUpdateAOData")->isActive());
    }
    // Enter in the edit outputs too; a refused write is worded.
    PanelFixture fx("01 R310 type=31\n");
    auto* panel = fx.Open<TfrmMR310>("(01)R310");
    ASSERT_NE(panel, nullptr);
    fx.Received(0x01);
    panel->grpDataArea->edtAO_Val->setText("6");
    emit panel->grpDataArea->edtAO_Val->returnPressed();
    EXPECT_EQ(Starting(fx.Received(0x01), "#01"), Commands{"#0106.000"});
    fx.WithModule(0x01, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    panel->grpDataArea->btnValueOutput->click();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Write AO Failed!"});
}

TEST(OutputPanels, ValuesOutsideTheRangeOrNoNumberAreRefusedBeforeSending) {
    struct Row {
        const char* bus;
        const char* node;
        const char* text;
        const char* message;
    };
    const char* const kInvalid = "The input data is invalid!";
    const Row rows[] = {
        {"01 R310 type=31\n", "(01)R310", "21", "The data should be in the range between 4.0~20.0!"},
        {"01 R310 type=31\n", "(01)R310", "3.9", "The data should be in the range between 4.0~20.0!"},
        {"01 R310 type=31\n", "(01)R310", "20.0006", "The data should be in the range between 4.0~20.0!"},
        {"01 R310 type=32\n", "(01)R310", "10.5", "The data should be in the range between 0.0~10.0!"},
        {"01 R310 type=31 format=01\n", "(01)R310", "100.01", "The data should be in the range between 0.0~100.0!"},
        {"01 R310 type=31\n", "(01)R310", "abc", kInvalid},
        {"01 R310 type=31\n", "(01)R310", "", kInvalid},
        {"01 R310 type=31\n", "(01)R310", "1.2.3", kInvalid},
        {"01 R310 type=31\n", "(01)R310", "1e1", kInvalid},
        {"01 R310 type=31\n", "(01)R310", "+", kInvalid},
        {"01 R310 type=31\n", "(01)R310", "99999999999999999999", "The data should be in the range between 4.0~20.0!"},
        {"01 R310 type=31 format=02\n", "(01)R310", "1000", kInvalid},
        {"01 R310 type=31 format=02\n", "(01)R310", "G1", kInvalid},
        {"01 R250 type=02\n", "(01)R250", "10.001", "The data should be in the range between 0.0~10.0!"},
        {"01 R250 type=02\n", "(01)R250", "-1", "The data should be in the range between 0.0~10.0!"},
        {"01 R250 type=02\n", "(01)R250", "x", kInvalid},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.bus) + r.text);
        PanelFixture fx(r.bus);
        QWidget* panel = fx.Open(r.node);
        ASSERT_NE(panel, nullptr);
        auto* group = panel->findChild<OutputValueGroup*>();
        ASSERT_NE(group, nullptr);
        const int position = group->trabAOVal->value();
        fx.Received(0x01);
        group->edtAO_Val->setText(r.text);
        group->btnValueOutput->click();
        EXPECT_TRUE(fx.Received(0x01).empty());
        EXPECT_EQ(fx.ui().Texts(), QStringList{r.message});
        EXPECT_EQ(group->trabAOVal->value(), position);
    }
    // The key filter lets only what a value can hold in.
    PanelFixture fx("01 R310 type=31\n");
    auto* panel = fx.Open<TfrmMR310>("(01)R310");
    ASSERT_NE(panel, nullptr);
    int pos = 0;
    for (const char* text : {"12.5", "+4"}) {
        QString t = text;
        EXPECT_EQ(panel->grpDataArea->edtAO_Val->validator()->validate(t, pos), QValidator::Acceptable);
    }
    for (const char* text : {"-4", "1e3", "A"}) {
        QString t = text;
        EXPECT_EQ(panel->grpDataArea->edtAO_Val->validator()->validate(t, pos), QValidator::Invalid);
    }
}

TEST(R310Panel, StartUpValueOutlivesAPowerCycle) {
    PanelFixture fx("01 R310 type=31\n");
    auto* panel = fx.Open<TfrmMR310>("(01)R310");
    ASSERT_NE(panel, nullptr);
    panel->grpDataArea->edtAO_Val->setText("12");
    panel->btnValueOutputClick();
    fx.Received(0x01);
    panel->btnStartupClick();
    EXPECT_EQ(fx.Received(0x01), Commands{"$014"});
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update succeeded!"});
    panel->grpDataArea->edtAO_Val->setText("5");
    panel->btnValueOutputClick();
    panel->tmrUpdateAODataTimer();
    EXPECT_EQ(panel->grpDataArea->edtLast_Val->text(), "5.000");
    fx.WithModule(0x01, [](sim::SimModule& m) { m.PowerCycle(); });
    panel->tmrUpdateAODataTimer();
    EXPECT_EQ(panel->grpDataArea->edtLast_Val->text(), "12.000");
    EXPECT_EQ(panel->grpDataArea->edtAO_CurrentReadBak->text(), "12.000");
    fx.ui().Clear();
    fx.WithModule(0x01, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    panel->grpDataArea->btnStartup->click();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Write Start Output Config Failed!"});
}

TEST(R310Panel, InitModeWritesRangeSlewRateAndFormat) {
    PanelFixture fx("05 R310 init type=31 format=00\n");
    auto* panel = fx.Open<TfrmMR310>("(*)R310");
    ASSERT_NE(panel, nullptr);
    for (QWidget* w : {static_cast<QWidget*>(panel->cmbBaudRate),
                       static_cast<QWidget*>(panel->chkCheckSum),
                       static_cast<QWidget*>(panel->cmbDataFormat),
                       static_cast<QWidget*>(panel->cmbSlewRate)})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_EQ(panel->cmbSlewRate->currentText(), "immediately");
    EXPECT_EQ(panel->cmbSlewRate->itemText(1), "0.125  mA/sec");
    panel->edtAddress_Dec->setText("18");
    panel->cmbBaudRate->setCurrentIndex(4); // 19.2 kbps: 07
    panel->chkCheckSum->setChecked(true);
    panel->cmbTypeChangeAllCh->setCurrentIndex(2); // 0~10V: 32
    // The units, the read-back and the slew list follow the range at once.
    EXPECT_EQ(panel->grpDataArea->lblUnit[0]->text(), "V");
    EXPECT_FALSE(panel->grpDataArea->edtAO_CurrentReadBak->isVisibleTo(panel));
    EXPECT_EQ(panel->cmbSlewRate->itemText(1), "0.0625  V/sec");
    EXPECT_EQ(panel->cmbSlewRate->count(), 12);
    panel->cmbSlewRate->setCurrentIndex(4);   // bits 5..2 = 0100
    panel->cmbDataFormat->setCurrentIndex(1); // % FSR
    fx.Received(0x05);
    const long long before = fx.ui().clockMs;
    panel->btSystemUpdateClick();
    EXPECT_EQ(Starting(fx.Received(0x12), "%"), Commands{"%0012320751"});
    EXPECT_EQ(fx.ui().clockMs - before, 1000);
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update succeeded!"});
    EXPECT_EQ(fx.WithModule(0x12, [](sim::SimModule& m) { return m.config().formatCode; }), 0x51u);
    EXPECT_EQ(panel->edtAddress_Hex->text(), "*12");
    EXPECT_EQ(panel->cmbSlewRate->currentText(), "0.5  V/sec");
    EXPECT_EQ(panel->grpDataArea->trabAOVal->maximum(), 10000); // % FSR in hundredths
    EXPECT_EQ(fx.node()->text(0), "(*)R310");
}

TEST(R310Panel, OutsideInitOnlyAddressAndRangeChange) {
    PanelFixture fx("01 R310 type=31 format=10\n07 R230\n");
    auto* panel = fx.Open<TfrmMR310>("(01)R310");
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(panel->cmbSlewRate->isEnabled());
    EXPECT_FALSE(panel->cmbDataFormat->isEnabled());
    EXPECT_FALSE(panel->cmbBaudRate->isEnabled());
    EXPECT_EQ(panel->cmbSlewRate->currentText(), "1.0  mA/sec");
    fx.Received(0x01);
    panel->edtAddress_Dec->setText("7");
    panel->btSystemUpdateClick();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"The address 7 (Dec) is used by Module [R230] !"});
    EXPECT_TRUE(Starting(fx.Received(0x01), "%").empty());
    fx.ui().Clear();
    panel->edtAddress_Dec->setText("10");
    panel->cmbTypeChangeAllCh->setCurrentIndex(0);
    const long long before = fx.ui().clockMs;
    panel->btSystemUpdateClick();
    EXPECT_EQ(Starting(fx.Received(0x0A), "%"), Commands{"%010A300610"});
    EXPECT_EQ(fx.ui().clockMs - before, 1100);
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update succeeded!"});
    EXPECT_EQ(fx.node()->text(0), "(0A)R310");
    EXPECT_EQ(panel->grpDataArea->trabAOVal->minimum(), 0); // 0~20mA now
    panel->tmrUpdateAODataTimer();
    EXPECT_EQ(fx.StatusText(), "Polling AO Data....  ");
}

TEST(R310Panel, PollShowsFailuresAndLeavesTheUsersEntryAlone) {
    PanelFixture fx("01 R310 type=31\n");
    auto* panel = fx.Open<TfrmMR310>("(01)R310");
    ASSERT_NE(panel, nullptr);
    OutputValueGroup* g = panel->grpDataArea;
    panel->tmrUpdateAODataTimer();
    EXPECT_EQ(g->edtAO_Val->text(), "4.000");
    // Garbage in the value field is a failed poll, never a value.
    fx.WithModule(0x01, [](sim::SimModule& m) { m.faults().garbage.count = 1; });
    g->edtAO_Val->setText("x");
    panel->tmrUpdateAODataTimer();
    EXPECT_EQ(fx.StatusText(), "Fail to fresh AO data!");
    EXPECT_TRUE(HeartbeatFailed(fx));
    EXPECT_EQ(g->edtLast_Val->text(), "4.000");
    EXPECT_EQ(g->edtAO_Val->text(), "x");
    fx.WithModule(0x01, [](sim::SimModule& m) {
        m.faults().startAfter = 1; // the read-back this time
        m.faults().garbage.count = 1;
    });
    panel->tmrUpdateAODataTimer();
    EXPECT_EQ(fx.StatusText(), "Fail to fresh AO data!");
    EXPECT_EQ(g->edtAO_CurrentReadBak->text(), "4.000");

    fx.window().show();
    g->edtAO_Val->setFocus();
    g->edtAO_Val->setText("7.5");
    panel->tmrUpdateAODataTimer();
    EXPECT_EQ(fx.StatusText(), "Polling AO Data....  ");
    EXPECT_EQ(g->edtAO_Val->text(), "7.5");
    g->trabAOVal->setFocus();
    panel->tmrUpdateAODataTimer();
    EXPECT_EQ(g->edtAO_Val->text(), "7.5");
    panel->edtAddress_Dec->setFocus();
    panel->tmrUpdateAODataTimer();
    EXPECT_EQ(g->edtAO_Val->text(), "4.000");
}

// The bar stands where the polled output is, so a step starts from the output as it
// is (not from 0 while the edit reads 10.000 V).
TEST(OutputPanels, TrackBarFollowsThePolledOutput) {
    struct Case {
        const char* bus;
        const char* node;
        std::function<OutputValueGroup*(QWidget*)> group;
        std::function<void(QWidget*)> poll;
        const char* shown;
        int position;
        const char* afterLargeStepDown;
    };
    const auto r310 = [](QWidget* p) { return static_cast<TfrmMR310*>(p)->grpDataArea; };
    const auto r310Poll = [](QWidget* p) { static_cast<TfrmMR310*>(p)->tmrUpdateAODataTimer(); };
    const auto r250 = [](QWidget* p) { return static_cast<TfrmMR250*>(p)->grpAOData; };
    const auto r250Poll = [](QWidget* p) { static_cast<TfrmMR250*>(p)->tmrUpdateAIDataTimer(); };
    const Case cases[] = {
        {"01 R250 type=02 startup=10\n", "(01)R250", r250, r250Poll, "10.000", 10000, "9.000"},
        {"01 R250 type=02 startup=0.25\n", "(01)R250", r250, r250Poll, "0.250", 250, "0.000"},
        {"01 R310 type=31 startup=12\n", "(01)R310", r310, r310Poll, "12.000", 12000, "10.400"},
        {"01 R310 type=32 startup=7.5\n", "(01)R310", r310, r310Poll, "7.500", 7500, "6.500"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bus);
        PanelFixture fx(c.bus);
        QWidget* panel = fx.Open(c.node);
        ASSERT_NE(panel, nullptr);
        OutputValueGroup* g = c.group(panel);
        c.poll(panel);
        EXPECT_EQ(g->edtAO_Val->text(), c.shown);
        EXPECT_EQ(g->trabAOVal->value(), c.position);
        fx.Received(0x01);
        g->bitbtnLeftLeft->click();
        EXPECT_EQ(g->edtAO_Val->text(), c.afterLargeStepDown);
        EXPECT_TRUE(fx.Received(0x01).empty()); // a step only moves the edit
    }
}

TEST(R250Panel, ExcitationOutputStartUpAndItsFailures) {
    PanelFixture fx("01 R250 type=02\n");
    auto* panel = fx.Open<TfrmMR250>("(01)R250");
    ASSERT_NE(panel, nullptr);
    OutputValueGroup* g = panel->grpAOData;
    EXPECT_EQ(g->trabAOVal->maximum(), 10000);
    EXPECT_EQ(g->lblUnit[0]->text(), "V");
    EXPECT_FALSE(g->edtAO_CurrentReadBak->isVisibleTo(panel));
    fx.Received(0x01);
    g->trabAOVal->setValue(4000);
    g->bitbtnRight->click(); // a hundredth of 10 V
    EXPECT_EQ(g->edtAO_Val->text(), "4.100");
    EXPECT_TRUE(fx.Received(0x01).empty());
    panel->btnValueOutputClick();
    EXPECT_EQ(fx.Received(0x01), Commands{"$01704.100"});
    panel->btnStartupClick();
    EXPECT_EQ(fx.Received(0x01), Commands{"$01S"});
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update succeeded!"});
    g->edtAO_Val->setText("9");
    panel->btnValueOutputClick();
    fx.WithModule(0x01, [](sim::SimModule& m) { m.PowerCycle(); });
    panel->tmrUpdateAIDataTimer();
    EXPECT_EQ(g->edtLast_Val->text(), "4.100");
    // The input value still shows when the excitation reply is garbage.
    fx.WithModule(0x01, [](sim::SimModule& m) {
        m.faults().startAfter = 2; // "#01", "@01DI"
        m.faults().garbage.count = 1;
    });
    panel->tmrUpdateAIDataTimer();
    EXPECT_EQ(fx.StatusText(), "Fail to fresh AO data!");
    EXPECT_EQ(g->edtLast_Val->text(), "4.100");
    fx.ui().Clear();
    fx.WithModule(0x01, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    panel->btnValueOutputClick();
    fx.WithModule(0x01, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    panel->btnStartupClick();
    EXPECT_EQ(fx.ui().Texts(),
              (QStringList{"Write AO Failed!", "Write Start Output Config Failed!"}));
}

TEST(OutputPanels, CalibrationButtonsOpenTheOutputDialogWithThePollStopped) {
    struct Case {
        const char* bus;
        const char* node;
        const char* button;
        const char* title;
        const char* point; // what the dialog shows as the output value
        Commands sent;     // the large step down, then Save
        const char* done;
    };
    const Case cases[] = {
        {"01 R310 type=31\n", "(01)R310", "bitbtn4mA0", " Tavo-R310  4mA Calibration", "4.0mA",
         {"$0130A", "$010"}, "4mA Calibration succeeded"},
        {"01 R310 type=31\n", "(01)R310", "bitbtn20mA0", " Tavo-R310  20mA Calibration", "20.0mA",
         {"$0130A", "$011"}, "20mA Calibration succeeded"},
        {"01 R250 type=02\n", "(01)R250", "bitbtn0V", " Tavo-R250  0V Calibration", "0.0V",
         {"$01E0A", "$01A"}, "0V Calibration succeeded"},
        {"01 R250 type=02\n", "(01)R250", "bitbtn10V", " Tavo-R250  10V Calibration", "10.0V",
         {"$01E0A", "$01B"}, "10V Calibration succeeded"},
        {"01 R330\n", "(01)R330", "bitbtn20mA", "Tavo-R330 Calibration:", "+20.0 mA",
         {"#01C0+20.000", "$011C0"}, "20mA Calibration succeeded"},
        {"01 R330\n", "(01)R330", "bitbtn4mA", "Tavo-R330 Calibration:", "+4.0 mA",
         {"#01C0+04.000", "$010C0"}, "4mA Calibration succeeded"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.node) + c.button);
        PanelFixture fx(c.bus);
        QWidget* panel = fx.Open(c.node);
        ASSERT_NE(panel, nullptr);
        const auto timers = panel->findChildren<QTimer*>(QRegularExpression("^tmrUpdate"));
        ASSERT_EQ(timers.size(), 1);
        QTimer* timer = timers.front();
        ASSERT_NE(timer, nullptr);
        fx.Received(0x01);
        QString title, point;
        bool polling = true;
        Commands sent;
        fx.ui().onDialog = [&](QDialog& d) {
            auto* dialog = qobject_cast<TfrmMAOCalib*>(&d);
            if (!dialog) return -1;
            sent = fx.Received(0x01); // what drove the output before the dialog
            title = dialog->windowTitle();
            point = dialog->labCalibVal->text();
            polling = timer->isActive();
            dialog->bitbtnLeftLeft20->click();
            dialog->bitbtn20Execute->click();
            for (const auto& command : fx.Received(0x01))
                sent.push_back(command);
            return dialog->result();
        };
        fx.Find<QPushButton>(c.button)->click();
        EXPECT_EQ(fx.ui().dialogsRun, std::vector<QString>{"TfrmMAOCalib"});
        EXPECT_EQ(title, c.title);
        EXPECT_EQ(point, c.point);
        EXPECT_FALSE(polling);
        EXPECT_EQ(sent, c.sent);
        EXPECT_EQ(fx.ui().Texts().back(), c.done);
        EXPECT_TRUE(timer->isActive());
    }
}

// ---- R330 -----------------------------------------------------------------------------

TEST(R330Panel, DirectOutputIsCheckedAgainstTheChannelsRange) {
    PanelFixture fx("01 R330 outrange=30,31,32,32 startup=5\n");
    auto* panel = fx.Open<TfrmMR330>("(01)R330");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->cmbAORange[0]->currentText(), "0 - 20 mA");
    EXPECT_EQ(panel->cmbAORange[2]->currentText(), "+/-  10 V");
    // The picker names the channels as the rows of the channel setup do.
    for (int n = 0; n < 4; ++n) {
        EXPECT_EQ(panel->cmbOutputCh->itemText(n), QString("Ch %1").arg(n));
        EXPECT_EQ(panel->findChild<QLabel*>(QString("lblCh%1").arg(n))->text(),
                  QString("Ch %1").arg(n));
    }
    EXPECT_EQ(panel->edtAOOutput->text(), "+05.000"); // Ch 0's output
    EXPECT_EQ(panel->scrbarAO->value(), 25);
    EXPECT_EQ(panel->lblOutputUnit->text(), "mA");
    struct Row {
        int channel;
        const char* text;
        const char* sent;    // nullptr: refused with `message`
        const char* message;
        int scroll;
    };
    const Row rows[] = {
        {0, "21", nullptr, "The data should be in the range between 0.0~20.0!", 0},
        {0, "-0.001", nullptr, "The data should be in the range between 0.0~20.0!", 0},
        {1, "3.5", nullptr, "The data should be in the range between 4.0~20.0!", 0},
        {2, "10.0001", nullptr, "The data should be in the range between -10.0~10.0!", 0},
        {0, "abc", nullptr, "The input data is invalid!", 0},
        {0, "", nullptr, "The input data is invalid!", 0},
        {0, "1e1", nullptr, "The input data is invalid!", 0},
        {2, "-10", "#01C2-10.000", nullptr, 0},
        {3, "10", "#01C3+10.000", nullptr, 100},
        {1, "12.5", "#01C1+12.500", nullptr, 53},
        {0, "0.6", "#01C0+00.600", nullptr, 3},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        panel->cmbOutputCh->setCurrentIndex(r.channel);
        panel->edtAOOutput->setText(r.text);
        fx.ui().Clear();
        fx.Received(0x01);
        const int scroll = panel->scrbarAO->value();
        panel->btAOOutputClick();
        const auto sent = Starting(fx.Received(0x01), "#");
        if (r.sent) {
            EXPECT_EQ(sent, Commands{r.sent});
            EXPECT_TRUE(fx.ui().boxes.empty());
            EXPECT_EQ(panel->scrbarAO->value(), r.scroll);
            EXPECT_EQ(panel->txbCurVal[static_cast<std::size_t>(r.channel)]->text(),
                      QString(r.sent).mid(5)); // read back at once
        } else {
            EXPECT_TRUE(sent.empty());
            EXPECT_EQ(fx.ui().Texts(), QStringList{r.message});
            EXPECT_EQ(panel->scrbarAO->value(), scroll);
        }
    }
    // The scroll bar only rewrites the edit; changing channel shows that channel.
    panel->cmbOutputCh->setCurrentIndex(2);
    EXPECT_EQ(panel->lblOutputUnit->text(), "V");
    EXPECT_EQ(panel->edtAOOutput->text(), "-10.000");
    fx.Received(0x01);
    panel->scrbarAO->setValue(75);
    EXPECT_EQ(panel->edtAOOutput->text(), "+05.000");
    panel->cmbOutputCh->setCurrentIndex(1);
    panel->scrbarAO->setValue(50);
    EXPECT_EQ(panel->edtAOOutput->text(), "+12.000");
    EXPECT_TRUE(fx.Received(0x01).empty());
    // Enter outputs; a refused write is worded.
    fx.WithModule(0x01, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    fx.ui().Clear();
    emit panel->edtAOOutput->returnPressed();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Failed to output data!"});
    EXPECT_TRUE(panel->findChild<QTimer*>("tmrUpdateData")->isActive());
}

TEST(R330Panel, ChannelSetupWritesEveryChannelInOrderWithItsWait) {
    PanelFixture fx("01 R330\n");
    auto* panel = fx.Open<TfrmMR330>("(01)R330");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->txbStartUpVal[0]->text(), "+04.000");
    panel->cmbAORange[0]->setCurrentIndex(0);
    panel->txbStartUpVal[0]->setText("5");
    panel->txbEmerVal[0]->setText("6.25");
    panel->ckbEmerInput[0]->setChecked(true);
    panel->cmbAORange[1]->setCurrentIndex(2);
    panel->txbStartUpVal[1]->setText("-5");
    panel->txbEmerVal[1]->setText("0");
    fx.Received(0x01);
    const long long before = fx.ui().clockMs;
    panel->btAOFunctionSetClick();
    EXPECT_EQ(SetupWrites(fx.Received(0x01)),
              (Commands{"$017C0R30", "#01SC0+05.000", "#01EC0+06.250", "$01AC01",
                        "$017C1R32", "#01SC1-05.000", "#01EC1+00.000", "$01AC10",
                        "$017C2R31", "#01SC2+04.000", "#01EC2+04.000", "$01AC20",
                        "$017C3R31", "#01SC3+04.000", "#01EC3+04.000", "$01AC30"}));
    EXPECT_EQ(fx.ui().clockMs - before, 1000);
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update channel setup succeeded!"});
    // Read back from the module.
    EXPECT_EQ(panel->txbStartUpVal[1]->text(), "-05.000");
    EXPECT_EQ(panel->txbEmerVal[0]->text(), "+06.250");
    EXPECT_TRUE(panel->ckbEmerInput[0]->isChecked());
    EXPECT_EQ(panel->cmbAORange[1]->currentIndex(), 2);

    // The start-up value comes back after a power cycle.
    fx.WithModule(0x01, [](sim::SimModule& m) { m.PowerCycle(); });
    panel->tmrUpdateDataTimer();
    EXPECT_EQ(panel->txbCurVal[0]->text(), "+05.000");
    EXPECT_EQ(panel->txbCurVal[1]->text(), "-05.000");
}

TEST(R330Panel, ChannelSetupRefusesBadValuesAndStopsAtTheFirstFailure) {
    struct Bad {
        int channel;
        bool startup;
        const char* text;
        const char* message;
    };
    const Bad bad[] = {
        {1, true, "25", "The Ch 2 startup value is invalid!"},
        {2, false, "abc", "The Ch 3 emergency value is invalid!"},
        {0, true, "", "The Ch 1 startup value is invalid!"},
        {3, false, "3.999", "The Ch 4 emergency value is invalid!"},
        {3, true, "1e1", "The Ch 4 startup value is invalid!"},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.message);
        PanelFixture fx("01 R330\n");
        auto* panel = fx.Open<TfrmMR330>("(01)R330");
        ASSERT_NE(panel, nullptr);
        const auto i = static_cast<std::size_t>(b.channel);
        (b.startup ? panel->txbStartUpVal[i] : panel->txbEmerVal[i])->setText(b.text);
        fx.Received(0x01);
        panel->btAOFunctionSetClick();
        EXPECT_TRUE(SetupWrites(fx.Received(0x01)).empty());
        EXPECT_EQ(fx.ui().Texts(), QStringList{b.message});
    }
    struct Fail {
        int after; // replies before the one that fails
        const char* message;
        std::size_t writes;
    };
    const Fail fails[] = {
        {4, "Change Ch 2 range failed!", 5},
        {5, "Change Ch 2 startup value failed!", 6},
        {6, "Change Ch 2 emergency value failed!", 7},
        {7, "Change Ch 2 range failed!", 8}, // the emergency input
        {12, "Change Ch 4 range failed!", 13},
    };
    for (const auto& f : fails) {
        SCOPED_TRACE(f.message);
        PanelFixture fx("01 R330\n");
        auto* panel = fx.Open<TfrmMR330>("(01)R330");
        ASSERT_NE(panel, nullptr);
        fx.Received(0x01);
        fx.WithModule(0x01, [&](sim::SimModule& m) {
            m.faults().startAfter = f.after;
            m.faults().noReply.count = 1;
        });
        const long long before = fx.ui().clockMs;
        panel->btAOFunctionSetClick();
        EXPECT_EQ(SetupWrites(fx.Received(0x01)).size(), f.writes);
        EXPECT_EQ(fx.ui().Texts(), QStringList{f.message});
        EXPECT_EQ(fx.ui().clockMs - before, 250 * (f.after / 4));
        EXPECT_TRUE(panel->findChild<QTimer*>("tmrUpdateData")->isActive());
    }
}

TEST(R330Panel, GeneralSettingsWithSlewRateProtocolAndSafetyTime) {
    PanelFixture fx("05 R330 init\n");
    auto* panel = fx.Open<TfrmMR330>("(*)R330");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->cmbPotocolSelect->itemText(0), "ASCII");
    EXPECT_EQ(panel->cmbPotocolSelect->itemText(1), "MODBUS");
    EXPECT_EQ(panel->edtCommSafety->text(), "0.0");
    for (QWidget* w : {static_cast<QWidget*>(panel->cmbBaudRate),
                       static_cast<QWidget*>(panel->cmbSlewRate),
                       static_cast<QWidget*>(panel->cmbPotocolSelect)})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    // A safety time that four hex digits of tenths cannot hold is refused first.
    for (const char* text : {"6553.6", "abc", "", "1.2.3", "99999"}) {
        SCOPED_TRACE(text);
        fx.ui().Clear();
        fx.Received(0x05);
        panel->edtCommSafety->setText(text);
        panel->btSystemUpdateClick();
        EXPECT_EQ(fx.ui().Texts(),
                  QStringList{"The comm safety time must be between 0.0 and 6553.5!"});
        const auto sent = fx.Received(0x05);
        EXPECT_TRUE(Starting(sent, "%").empty());
        EXPECT_TRUE(Starting(sent, "$00X0").empty());
    }
    fx.ui().Clear();
    panel->edtAddress_Dec->setText("18");
    panel->cmbBaudRate->setCurrentIndex(4);
    panel->chkCheckSum->setChecked(true);
    panel->cmbSlewRate->setCurrentIndex(3);      // bits 5..2 = 0011
    panel->cmbPotocolSelect->setCurrentIndex(1); // bit 7
    panel->edtCommSafety->setText("6553.5");
    panel->btSystemUpdateClick();
    const auto sent = fx.Received(0x12);
    EXPECT_EQ(Starting(sent, "%"), Commands{"%00120007CC"});
    EXPECT_EQ(Starting(sent, "$00X0"), Commands{"$00X0FFFF"});
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update general setting succeeded!"});
    EXPECT_EQ(panel->edtCommSafety->text(), "6553.5");
    EXPECT_EQ(panel->cmbSlewRate->currentText(), "0.025V/0.5mA");
    EXPECT_EQ(panel->cmbPotocolSelect->currentIndex(), 1);

    // Outside INIT only the address changes, then the safety time.
    PanelFixture normal("01 R330 format=0C\n");
    auto* p = normal.Open<TfrmMR330>("(01)R330");
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(p->cmbSlewRate->isEnabled());
    EXPECT_FALSE(p->cmbPotocolSelect->isEnabled());
    EXPECT_EQ(p->cmbSlewRate->currentIndex(), 3);
    EXPECT_EQ(p->cmbPotocolSelect->currentIndex(), 0);
    normal.Received(0x01);
    p->edtAddress_Dec->setText("10");
    p->edtCommSafety->setText("10");
    const long long before = normal.ui().clockMs;
    p->btSystemUpdateClick();
    const auto moved = normal.Received(0x0A);
    EXPECT_EQ(Starting(moved, "%"), Commands{"%010A00060C"});
    EXPECT_EQ(Starting(moved, "$0AX0"), Commands{"$0AX00064"});
    EXPECT_EQ(normal.ui().clockMs - before, 1100);
    EXPECT_EQ(normal.node()->text(0), "(0A)R330");
    EXPECT_EQ(normal.ui().Texts(), QStringList{"Update general setting succeeded!"});
    // A refused safety write withholds the success.
    normal.ui().Clear();
    normal.WithModule(0x0A, [](sim::SimModule& m) {
        m.faults().startAfter = 3; // $0A2, $0AM, the configuration write
        m.faults().noReply.count = 1;
    });
    p->btSystemUpdateClick();
    EXPECT_EQ(normal.ui().Texts(), QStringList{"Write Comm safety failed!"});
}

TEST(R330Panel, PollAndSetupShowFailuresNeverMadeUpValues) {
    PanelFixture fx("01 R330 di=05\n");
    auto* panel = fx.Open<TfrmMR330>("(01)R330");
    ASSERT_NE(panel, nullptr);
    panel->tmrUpdateDataTimer();
    EXPECT_EQ(panel->edtDIData->text(), "05");
    EXPECT_TRUE(panel->bitbtnDI[0]->property("on").toBool());
    EXPECT_FALSE(panel->bitbtnDI[1]->property("on").toBool());
    EXPECT_TRUE(panel->bitbtnDI[2]->property("on").toBool());
    EXPECT_EQ(panel->txbCurVal[2]->text(), "+04.000");
    struct Row {
        int after;
        const char* status;
    };
    for (const Row r : {Row{2, "Fail to fresh AO data!"}, Row{4, "Fail to fresh DI data!"}}) {
        fx.WithModule(0x01, [&](sim::SimModule& m) {
            if (r.after == 4) m.config().options["di"] = "0A";
            m.faults().startAfter = r.after;
            m.faults().garbage.count = 1;
        });
        panel->tmrUpdateDataTimer();
        EXPECT_EQ(fx.StatusText(), r.status);
        EXPECT_TRUE(HeartbeatFailed(fx));
        EXPECT_EQ(panel->txbCurVal[2]->text(), "+04.000");
    }
    EXPECT_EQ(panel->edtDIData->text(), "05"); // the garbled inputs were not shown
    fx.WithModule(0x01, [](sim::SimModule& m) { m.faults().garbage.count = 1; });
    panel->btAOReadClick();
    EXPECT_EQ(fx.StatusText(), "Fail to fresh AO status!");
    fx.WithModule(0x01, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    fx.ui().Clear();
    panel->bitbtn4mAClick();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Initial 4mA calibration error!"});
    EXPECT_TRUE(fx.ui().dialogsRun.empty());
}

} // namespace
} // namespace tavo
