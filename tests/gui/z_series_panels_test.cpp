// The Z-series panels against a simulated Z352 controller: what the controller
// and slot panels send when they open and poll, the analog output written from
// each of its three controls, input and output ranges both ways, the digital
// outputs, the refusals before sending, and the port time-out put back.
#include "panel_fixture.h"

#include "panels/analog/calib_dialogs.h"
#include "panels/common/value_slider.h"
#include "panels/converter/z_series_panels.h"

#include "sim/module.h"
#include "transport/com_port.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <algorithm>

namespace tavo {
namespace {

using test::PanelFixture;
using Commands = std::vector<std::string>;

const char* const kBus = "01 Z352 firmware=B1.20 slots=Z320,-,Z310,-,-,Z320,-,Z330\n";

QStringList Row(const QTreeWidget* list, int i) {
    const QTreeWidgetItem* item = list->topLevelItem(i);
    return item ? QStringList{item->text(0), item->text(1), item->text(2)} : QStringList{};
}

TfrmMZ320* OpenSlot(PanelFixture& fx, const QString& slot) {
    fx.Open("(01)Z352");
    fx.Received(1);
    return fx.OpenChild<TfrmMZ320>({slot});
}

// ---- controller ----

TEST(Z350Panel, OpeningReadsSettingsAndListsEverySlotTheControllerReports) {
    PanelFixture fx(kBus);
    auto* p = fx.Open<TfrmMZ350>("(01)Z352");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(fx.Received(1), (Commands{"$012", "$01F", "$01M", "$01BAC", "$01KW", "$01T"}));
    EXPECT_EQ(p->grpModule->title(), "ZEL-Z352");
    EXPECT_EQ(p->edtAddress_Dec->text(), "1");
    EXPECT_EQ(p->edtFirmwareVer->text(), "B1.20");
    EXPECT_EQ(p->edtDeviceInstance->text(), "350");
    EXPECT_EQ(p->cmbProtocol->currentText(), "BACNet");
    EXPECT_EQ(p->cmbBaudRate->currentText(), "9600 bps");
    // Every slot of the eight-slot controller has its row, empty ones too.
    ASSERT_EQ(p->lvModules->topLevelItemCount(), 8);
    EXPECT_EQ(Row(p->lvModules, 0),
              (QStringList{"0", "Z320", "ZEL-Z320 4-AI, 4-AO, 8-DI, 4-DO module"}));
    EXPECT_EQ(Row(p->lvModules, 1), (QStringList{"1", "", ""}));
    EXPECT_EQ(Row(p->lvModules, 2),
              (QStringList{"2", "Z310", "ZEL-Z310 3-AI, 3-AO, 6-DI, 2-DO module"}));
    EXPECT_EQ(Row(p->lvModules, 5).at(1), "Z320");
    EXPECT_EQ(Row(p->lvModules, 6), (QStringList{"6", "", ""}));
    EXPECT_EQ(Row(p->lvModules, 7), (QStringList{"7", "Z330", "Unknown module (33)"}));

    EXPECT_EQ(fx.Find<QTimer>("tmrPolling")->interval(), 500);
    p->tmrPollingTimer();
    EXPECT_EQ(fx.Received(1), Commands{"$01M"});
    EXPECT_EQ(fx.StatusText(), "Polling ZEL Module ...");
    fx.WithModule(1, [](sim::SimModule& m) { m.faults().noReply.probability = 1.0; });
    p->tmrPollingTimer();
    EXPECT_EQ(fx.StatusText(), "Polling ZEL Module Fail!");
    EXPECT_TRUE(fx.Indicator() == "2" || fx.Indicator() == "3");
    EXPECT_TRUE(fx.ui().boxes.empty());
}

TEST(Z350Panel, ListsFourSlotsOrEightOnTheZ352WhateverItCanRead) {
    struct Case {
        const char* bus;
        const char* node;
        int fault; // replies lost from the opening on (-1 none, 0 all)
        int rows;
    };
    const Case cases[] = {
        {"01 Z351 slots=Z310\n", "(01)Z351", -1, 4},
        {"01 Z352 slots=Z310\n", "(01)Z352", -1, 8},
        // The controller not answering at all: its four slots all the same.
        {"01 Z352 slots=Z310\n", "(01)Z352", 0, 4},
        // Only the slot table answers (the settings and the protocol reads are
        // lost): it tells of eight.
        {"01 Z352 slots=Z310\n", "(01)Z352", 2, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.bus) + " fault " + std::to_string(c.fault));
        PanelFixture fx(c.bus);
        if (c.fault >= 0)
            fx.WithModule(1, [&](sim::SimModule& m) {
                m.faults().noReply.count = c.fault == 0 ? 1000 : c.fault;
            });
        auto* p = fx.Open<TfrmMZ350>(c.node);
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(p->lvModules->topLevelItemCount(), c.rows);
        for (int i = 0; i < c.rows; ++i)
            EXPECT_EQ(Row(p->lvModules, i).at(0), QString::number(i));
        EXPECT_EQ(Row(p->lvModules, 0).at(1), c.fault == 0 ? "" : "Z310");
    }
}

TEST(Z350Panel, UpdateWritesInstanceThenProtocolAndRefusesBadInstances) {
    PanelFixture fx(kBus);
    auto* p = fx.Open<TfrmMZ350>("(01)Z352");
    ASSERT_NE(p, nullptr);
    fx.Received(1);
    p->edtDeviceInstance->setText("4194303");
    p->cmbProtocol->setCurrentIndex(1);
    const long long before = fx.ui().clockMs;
    p->btUpdate->click();
    const Commands sent = fx.Received(1);
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[0], "$01BAC3FFFFF");
    EXPECT_EQ(sent[1], "$01KWMOD");
    EXPECT_EQ(fx.ui().clockMs - before, 40);
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update succeeded!"});
    // Read back.
    EXPECT_EQ(p->edtDeviceInstance->text(), "4194303");
    EXPECT_EQ(p->cmbProtocol->currentText(), "Modbus");

    for (const char* bad : {"4194304", "", "99999999999999999999"}) {
        fx.ui().Clear();
        p->edtDeviceInstance->setText(bad);
        p->btUpdate->click();
        EXPECT_TRUE(fx.Received(1).empty()) << bad;
        EXPECT_EQ(fx.ui().Texts(), QStringList{"Please input valid Device Instance!"}) << bad;
    }
    fx.ui().Clear();
    p->btRefresh->click();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Refresh succeeded!"});
    fx.WithModule(1, [](sim::SimModule& m) { m.faults().noReply.probability = 1.0; });
    fx.ui().Clear();
    p->btRefresh->click();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Some problems occurred during refresh!!"});
}

// ---- slot modules ----

TEST(Z320Panel, OpeningAndPollingSendTheCommandsOfThePageInFront) {
    PanelFixture fx(kBus);
    fx.Open("(01)Z352");
    fx.Received(1);
    const int before = fx.window().Port()->GetTimeOut();
    auto* p = fx.OpenChild<TfrmMZ320>({"(S0)Z320"});
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(fx.Received(1), (Commands{"#01S0", "$01S0C0AI", "$01S0C1AI", "$01S0C2AI", "$01S0C3AI",
                                        "$01S0C0AO", "$01S0C06", "$01S0C1AO", "$01S0C16",
                                        "$01S0C2AO", "$01S0C26", "$01S0C3AO", "$01S0C36"}));
    EXPECT_TRUE(fx.ui().boxes.empty());
    EXPECT_EQ(p->grpModule->title(), "ZEL-Z320");
    EXPECT_EQ(p->edtAIDataFormat->text(), "Engineering Units");
    EXPECT_EQ(p->cmbAIRange[0]->currentText(), "4 ~ 20mA");
    EXPECT_EQ(p->labAIUnit[0]->text(), "mA");
    EXPECT_EQ(p->cmbAORange[0]->currentText(), "4 ~ 20 mA");
    EXPECT_EQ(p->aoOutput[0]->edit->text(), "04.000");
    EXPECT_EQ(fx.window().Port()->GetTimeOut(), 1000);
    EXPECT_EQ(fx.Find<QTimer>("tmrUpdateData")->interval(), 500);

    p->tmrUpdateDataTimer();
    EXPECT_EQ(fx.Received(1), Commands{"#01S0"});
    EXPECT_EQ(fx.StatusText(), "Polling AI data...");
    EXPECT_EQ(p->edtAIValue[0]->text(), "+005.600"); // 10 % of 4 to 20 mA
    EXPECT_EQ(p->edtAIValue[3]->text(), "+010.400");
    p->PageControl1->setCurrentWidget(p->TSAnalogOutput);
    p->tmrUpdateDataTimer();
    EXPECT_EQ(fx.Received(1), (Commands{"$01S0C0AO", "$01S0C1AO", "$01S0C2AO", "$01S0C3AO"}));
    EXPECT_EQ(fx.StatusText(), "Polling AO data...");
    p->PageControl1->setCurrentWidget(p->TSDigital);
    p->tmrUpdateDataTimer();
    EXPECT_EQ(fx.Received(1), Commands{"$01S06"});
    EXPECT_EQ(fx.StatusText(), "Polling DIO data...");
    EXPECT_EQ(p->edtDIValue->text(), "0xA5");
    EXPECT_EQ(p->edtDOValue->text(), "0x00");

    fx.WithModule(1, [](sim::SimModule& m) { m.faults().noReply.probability = 1.0; });
    p->tmrUpdateDataTimer();
    EXPECT_EQ(fx.StatusText(), "Fail to fresh DIO data!");
    EXPECT_TRUE(fx.Indicator() == "2" || fx.Indicator() == "3");
    EXPECT_TRUE(fx.ui().boxes.empty());

    // The port gets its time-out back when another node is chosen.
    fx.window().ClickNode(fx.node());
    EXPECT_EQ(fx.window().Port()->GetTimeOut(), before);
}

TEST(Z320Panel, AnOutputIsWrittenByEachOfItsThreeControls) {
    PanelFixture fx(kBus);
    auto* p = OpenSlot(fx, "(S5)Z320");
    ASSERT_NE(p, nullptr);
    p->PageControl1->setCurrentWidget(p->TSAnalogOutput);
    ValueSlider* out = p->aoOutput[2];
    fx.Received(1);

    out->edit->setText("12.5");
    out->button->click();
    Commands sent = fx.Received(1);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent[0], "#01S5C212.500");
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update Output Value succeeded!"});
    EXPECT_EQ(out->bar->value(), 12500); // read back and shown on the bar
    EXPECT_EQ(out->edit->text(), "12.500");

    fx.ui().Clear();
    out->edit->setText("7.25");
    QTest::keyClick(out->edit, Qt::Key_Return);
    sent = fx.Received(1);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent[0], "#01S5C207.250");

    fx.ui().Clear();
    out->bar->triggerAction(QAbstractSlider::SliderPageStepAdd); // one mA up
    sent = fx.Received(1);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent[0], "#01S5C208.250");
    EXPECT_EQ(out->edit->text(), "08.250");
}

TEST(Z320Panel, OutOfRangeOrNonNumericOutputsAreRefusedBeforeSending) {
    PanelFixture fx(kBus);
    auto* p = OpenSlot(fx, "(S0)Z320");
    ASSERT_NE(p, nullptr);
    fx.Received(1);
    ValueSlider* out = p->aoOutput[0];
    for (const char* bad : {"3.999", "20.001", "", "1.2.3", "."}) {
        fx.ui().Clear();
        out->edit->setText(bad);
        out->button->click();
        EXPECT_TRUE(fx.Received(1).empty()) << bad;
        EXPECT_EQ(fx.ui().Texts(), QStringList{"Please Input Valid Value!"}) << bad;
    }
    // A letter typed into the field is refused by its key filter, with a word.
    fx.ui().Clear();
    out->edit->setText("");
    QTest::keyClicks(out->edit, "1x");
    EXPECT_EQ(out->edit->text(), "1");
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Input Value Invalid!"});
    EXPECT_TRUE(fx.Received(1).empty());
}

TEST(Z320Panel, RangesChangeBothWays) {
    PanelFixture fx(kBus);
    auto* p = OpenSlot(fx, "(S0)Z320");
    ASSERT_NE(p, nullptr);
    fx.Received(1);
    // Inputs: channel 1 to an RTD range, the others unticked so only it is written.
    p->btAIEnableClick(false);
    p->chkAICh[1]->setChecked(true);
    p->cmbAIRange[1]->setCurrentIndex(11); // RTD_Pt_1000, 2A
    p->btAIUpdateClick();
    Commands sent = fx.Received(1);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent[0], "$01S0C1AI2AFF");
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update Channel Setup succeeded!"});
    EXPECT_EQ(fx.ui().clockMs, 500); // one busy indicator per channel written
    EXPECT_EQ(p->cmbAIRange[1]->currentText(), "RTD_Pt_1000");
    EXPECT_EQ(p->labAIUnit[1]->text(), "'C");
    // And back, all channels following channel 0.
    fx.ui().Clear();
    p->btAIEnableClick(true);
    p->btRangeFollowClick();
    p->btAIUpdateClick();
    sent = fx.Received(1);
    EXPECT_EQ(test::Starting(sent, "$01S0C1AI07"), Commands{"$01S0C1AI07FF"});
    EXPECT_EQ(p->cmbAIRange[1]->currentText(), "4 ~ 20mA");
    EXPECT_EQ(p->labAIUnit[1]->text(), "mA");

    // Outputs: the range is sent as its list position.
    fx.ui().Clear();
    p->cmbAORange[3]->setCurrentIndex(2);
    p->AORangeChange(3);
    sent = fx.Received(1);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent[0], "$01S0C3AO02FF");
    EXPECT_TRUE(fx.ui().boxes.empty());
    EXPECT_EQ(p->cmbAORange[3]->currentText(), "0 ~ 10 V");
    EXPECT_EQ(p->aoOutput[3]->High(), 10.0);
    p->cmbAORange[3]->setCurrentIndex(0);
    p->AORangeChange(3);
    EXPECT_EQ(fx.Received(1).at(0), "$01S0C3AO00FF");
    EXPECT_EQ(p->cmbAORange[3]->currentText(), "0 ~ 20 mA");

    // A refused range write says so.
    fx.WithModule(1, [](sim::SimModule& m) { m.faults().noReply.probability = 1.0; });
    p->AORangeChange(3);
    EXPECT_TRUE(fx.ui().Texts().contains("Update Output Range Error!"));
}

TEST(Z320Panel, UnknownInputCodeShowsTheFirstEntryAndCalibrationPrompts) {
    EXPECT_EQ(ZInputRangeIndex(0x31), 13);
    EXPECT_EQ(ZInputRangeIndex(0x99), 0);
    EXPECT_EQ(FindZInputRange(0x99), nullptr);
    EXPECT_STREQ(FindZInputRange(0x22)->spanPrompt, "180 ohm");
    EXPECT_EQ(SplitZInputFields("+005.600+006.400+00", 4).size(), 2u);

    PanelFixture fx(kBus);
    auto* p = OpenSlot(fx, "(S0)Z320");
    ASSERT_NE(p, nullptr);
    QString title, prompt;
    bool selector = false;
    fx.ui().onDialog = [&](QDialog& d) {
        title = d.windowTitle();
        prompt = d.findChild<QLineEdit*>("Edit1")->text();
        selector = !d.findChild<QLineEdit*>("edtChannel_Dec")->isHidden();
        return static_cast<int>(QDialog::Rejected);
    };
    p->btAICalClick(true);
    EXPECT_EQ(title, "ZEL-Z320 AI Span calibration");
    EXPECT_EQ(prompt, "20 mA");
    EXPECT_TRUE(selector); // current inputs are calibrated channel by channel
}

// The calibration dialog drives an output to its calibration point; afterwards each
// output goes back to what it drove before, and a failure to do so is said, with
// whether the calibration itself was stored.
TEST(Z320Panel, OutputCalibrationPutsTheOutputsBack) {
    struct Case {
        bool span;
        bool save;         // Save in the dialog (else Exit)
        bool restoreFails; // the module stops answering once the dialog is closed
        const char* calibration;
        QStringList boxes;
    };
    const Case cases[] = {
        {false, true, false, "$01S0C04", {"zero Calibration succeeded"}},
        {true, true, false, "$01S0C01", {"span Calibration succeeded"}},
        {false, false, false, "", {}},
        {false, true, true, "$01S0C04",
         {"zero Calibration succeeded", "Write AO Value Error!\nZero Calibration is Success!"}},
        {true, true, true, "$01S0C01",
         {"span Calibration succeeded", "Write AO Value Error!\nSpan Calibration is Success!"}},
        {false, false, true, "", {"Write AO Failed!"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.span ? "span" : "zero") + (c.save ? " saved" : " left") +
                     (c.restoreFails ? ", no answer after" : ""));
        PanelFixture fx(kBus);
        auto* p = OpenSlot(fx, "(S0)Z320");
        ASSERT_NE(p, nullptr);
        p->PageControl1->setCurrentWidget(p->TSAnalogOutput);
        p->aoOutput[0]->edit->setText("12.5");
        p->aoOutput[0]->button->click();
        fx.Received(1);
        fx.ui().Clear();
        // The simulator answers at once: a short time-out keeps the lost reply cheap.
        fx.window().Port()->SetTimeOut(50);
        fx.ui().onDialog = [&](QDialog& d) {
            if (!qobject_cast<TfrmMAOCalib*>(&d)) return -1;
            d.findChild<QPushButton*>(c.save ? "bitbtn20Execute" : "bitbtn20Exit")->click();
            if (c.restoreFails)
                fx.WithModule(1, [](sim::SimModule& m) {
                    m.faults().startAfter = 4; // the outputs read again, then the write
                    m.faults().noReply.count = 1;
                });
            return d.result();
        };
        p->btAOCalClick(c.span);
        const Commands sent = fx.Received(1);
        const auto at = [&](const std::string& command) {
            return std::find(sent.begin(), sent.end(), command) - sent.begin();
        };
        // Driven to the point, calibrated, then put back to 12.5 mA.
        const std::string point = c.span ? "#01S0C020.000" : "#01S0C004.000";
        ASSERT_LT(at(point), static_cast<long>(sent.size()));
        if (*c.calibration) EXPECT_LT(at(point), at(c.calibration));
        EXPECT_EQ(at(c.calibration) < static_cast<long>(sent.size()), *c.calibration != 0);
        const auto back = at("#01S0C012.500");
        ASSERT_LT(back, static_cast<long>(sent.size()));
        EXPECT_GT(back, std::max(at(point), *c.calibration ? at(c.calibration) : 0));
        // Only the output the dialog moved is written.
        for (const char* other : {"#01S0C1", "#01S0C2", "#01S0C3"})
            EXPECT_TRUE(test::Starting(sent, other).empty()) << other;
        EXPECT_EQ(fx.ui().Texts(), c.boxes);
        if (!c.restoreFails) EXPECT_EQ(p->aoOutput[0]->edit->text(), "12.500");
    }
}

TEST(Z320Panel, DigitalOutputsSwitchAndInputsAreNotControllable) {
    PanelFixture fx(kBus);
    auto* p = OpenSlot(fx, "(S0)Z320");
    ASSERT_NE(p, nullptr);
    p->PageControl1->setCurrentWidget(p->TSDigital);
    p->tmrUpdateDataTimer();
    fx.Received(1);
    p->btDO[2]->click();
    EXPECT_EQ(fx.Received(1), (Commands{"#01S01201", "$01S06"}));
    EXPECT_EQ(p->edtDOValue->text(), "0x04");
    p->btDO[2]->click();
    EXPECT_EQ(fx.Received(1), (Commands{"#01S01200", "$01S06"}));
    EXPECT_EQ(p->edtDOValue->text(), "0x00");
    p->btDI[1]->click();
    EXPECT_TRUE(fx.Received(1).empty());
    EXPECT_EQ(fx.ui().Texts(), QStringList{"DI is not controllable!"});
}

// In the window's first size, beside a tree as wide as the demo bus's nodes want,
// every page of the slot panels fits: no field or button behind a scroll bar.
TEST(ZSeriesPanels, SlotPanelsFitBesideTheTreeInTheWindowsFirstSize) {
    for (const char* slot : {"(S0)Z320", "(S2)Z310"}) {
        SCOPED_TRACE(slot);
        PanelFixture fx(kBus);
        fx.window().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&fx.window()));
        EXPECT_EQ(fx.window().size(), QSize(800, 600));
        auto* p = OpenSlot(fx, slot);
        ASSERT_NE(p, nullptr);
        fx.window().findChild<QSplitter*>("Splitter1")->setSizes({250, 800 - 250});
        const QScrollBar* bar = fx.window().findChild<QScrollArea*>("ScrollBox1")->horizontalScrollBar();
        for (QWidget* page : {p->TSAnalogInput, p->TSAnalogOutput, p->TSDigital}) {
            p->PageControl1->setCurrentWidget(page);
            QApplication::processEvents();
            EXPECT_FALSE(bar->isVisible()) << page->objectName().toStdString();
        }
    }
}

TEST(Z310Panel, ShowsItsOwnChannelCountsAndTitle) {
    PanelFixture fx(kBus);
    auto* p = OpenSlot(fx, "(S2)Z310");
    ASSERT_NE(p, nullptr);
    EXPECT_NE(qobject_cast<TfrmMZ310*>(p), nullptr);
    EXPECT_EQ(p->grpModule->title(), "ZEL-Z310");
    EXPECT_EQ(p->edtAIValue.size(), 3u);
    EXPECT_EQ(p->aoOutput.size(), 3u);
    EXPECT_EQ(p->btDI.size(), 6u);
    EXPECT_EQ(p->btDO.size(), 2u);
    EXPECT_EQ(p->findChild<QLineEdit*>("edtAIValue3"), nullptr);
    EXPECT_EQ(p->findChild<QPushButton*>("btDO2"), nullptr);
    const Commands sent = fx.Received(1);
    EXPECT_EQ(test::Starting(sent, "$01S2C").size(), 9u); // 3 AI types, 3 AO types, 3 outputs
    p->tmrUpdateDataTimer();
    EXPECT_EQ(p->edtAIValue[2]->text(), "+008.800");
}

TEST(ZSeriesSim, SetInputsShowInThePanels) {
    PanelFixture fx("01 Z351 slots=Z320 in0=DI:01\n"
                    "02 Z351 slots=Z310 in0=15.5\n");
    auto* p = fx.Open("(01)Z351");
    ASSERT_NE(p, nullptr);
    auto* slot = fx.OpenChild<TfrmMZ320>({"(S0)Z320"});
    ASSERT_NE(slot, nullptr);
    slot->PageControl1->setCurrentWidget(slot->TSDigital);
    slot->tmrUpdateDataTimer();
    EXPECT_EQ(slot->edtDIValue->text(), "0x01");
    fx.Open("(02)Z351");
    auto* z310 = fx.OpenChild<TfrmMZ320>({"(S0)Z310"});
    ASSERT_NE(z310, nullptr);
    z310->tmrUpdateDataTimer();
    EXPECT_EQ(z310->edtAIValue[0]->text(), "+015.500");
    EXPECT_EQ(z310->edtAIValue[2]->text(), "+015.500");
}

} // namespace
} // namespace tavo
