// The members of the multi-channel analog input family with behaviour of their
// own (R270/R260, R240, R240T, R280, the R810 family), and the settings files.
#include "file_helpers.h"
#include "panel_fixture.h"

#include "panels/analog/calib_dialogs.h"
#include "panels/analog/multi_input_panels.h"

#include "sim/analog_sim.h"
#include "sim/module.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace tavo {
namespace {

using test::PanelFixture;
using test::ReadAll;
using test::Starting;
using Lines = std::vector<std::string>;

// The simulated module's inputs: which channels are on, and their ranges.
const sim::analog::InputCommands* Inputs(sim::SimModule& m) {
    return m.Find<sim::analog::InputCommands>();
}

// ---- R270, R260 ----------------------------------------------------------------------

TEST(MultiInputMembers, OneRangeForAllChannelsIsTheConfigurationsType) {
    PanelFixture fx("01 R270 type=05\n");
    auto* panel = fx.Open<TfrmMR270>("(01)R270");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->cmbTypeChangeAllCh->currentText(), "+/- 2.5V");
    for (auto* unit : panel->channels->unit)
        EXPECT_EQ(unit->text(), "V");
    EXPECT_FALSE(panel->btFollowCh0->isVisibleTo(panel));
    panel->cmbTypeChangeAllCh->setCurrentIndex(7); // J type: 0E
    fx.Received(0x01);
    panel->btSystemUpdateClick();
    const auto sent = fx.Received(0x01);
    EXPECT_EQ(Starting(sent, "%"), Lines{"%01010E0600"});
    EXPECT_TRUE(Starting(sent, "$01X").empty()); // no watchdog on this model
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update general setting succeeded!"});
    for (auto* unit : panel->channels->unit)
        EXPECT_EQ(unit->text(), "'C");
    // Its channel update writes the mask and nothing else.
    fx.ui().Clear();
    panel->channels->enable[0]->setChecked(false);
    panel->btSingleChUpdateClick();
    EXPECT_EQ(fx.Received(0x01), Lines({"$015FE", "$016", "$012"}));
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update succeeded!"});
}

TEST(MultiInputMembers, AllChannelRefreshRetriesTheMaskAndNamesItsFailures) {
    PanelFixture fx("01 R260 type=0A\n");
    auto* panel = fx.Open<TfrmMR270>("(01)R260");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->cmbTypeChangeAllCh->currentText(), "+/- 1V");
    fx.Received(0x01);
    fx.WithModule(0x01, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    panel->btRefreshAIStatusClick();
    EXPECT_EQ(fx.Received(0x01), Lines({"$016", "$016", "$012"})); // asked once more
    EXPECT_NE(fx.StatusText(), "Try to read status!");
    fx.WithModule(0x01, [](sim::SimModule& m) { m.faults().noReply.count = 2; });
    panel->btRefreshAIStatusClick();
    EXPECT_EQ(fx.StatusText(), "Try to read status!");
    fx.WithModule(0x01, [](sim::SimModule& m) { m.faults().noReply.count = 0; });
}

// ---- R240, R240T ---------------------------------------------------------------------

TEST(MultiInputMembers, R240FirmwareDecidesItsRangesAndIntegrationTime) {
    struct Row {
        const char* firmware;
        int ranges;
        bool integration;
    };
    for (const Row& r : {Row{"A1.50", 14, false}, Row{"A2.02", 16, false}, Row{"A2.03", 16, true},
                         Row{"B1.00", 16, false}}) {
        SCOPED_TRACE(r.firmware);
        PanelFixture fx(std::string("01 R240 firmware=") + r.firmware + "\n");
        auto* panel = fx.Open<TfrmMR240>("(01)R240");
        ASSERT_NE(panel, nullptr);
        for (int n = 0; n < 6; ++n)
            EXPECT_EQ(panel->channels->range[static_cast<std::size_t>(n)]->count(), r.ranges);
        EXPECT_EQ(panel->cmbIntegrationTime->isVisibleTo(panel), r.integration);
        EXPECT_EQ(panel->channels->range[0]->currentText(), "PT100(385)-50~150");
        EXPECT_EQ(panel->cmbDataFormat->count(), 2);
    }
    // The thermistor model keeps its list whatever its firmware.
    PanelFixture fx("01 R240T firmware=A1.00\n");
    auto* panel = fx.Open<TfrmMR240T>("(01)R240T");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->channels->range[0]->count(), 2);
}

TEST(MultiInputMembers, R240OhmsFormatAndChannelUnits) {
    PanelFixture fx("01 R240 format=01 value=0\n");
    auto* panel = fx.Open<TfrmMR240>("(01)R240");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->cmbDataFormat->currentText(), "Ohms");
    EXPECT_EQ(panel->channels->unit[0]->text(), "ohm");
    panel->tmrUpdateAIDataTimer();
    EXPECT_EQ(panel->channels->value[0]->text(), "+100.00"); // PT100 at 0 'C
}

TEST(MultiInputMembers, R240TTemperatureUnitAndLeadWireCompensation) {
    PanelFixture fx("01 R240T format=08 value=25\n");
    auto* panel = fx.Open<TfrmMR240T>("(01)R240T");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->cmbTempUnit->currentText(), "Fahrenheit ('F)");
    EXPECT_EQ(panel->channels->range[0]->currentText(), "Thermi. 3K 32~212'F");
    EXPECT_EQ(panel->channels->unit[0]->text(), "'F");
    panel->tmrUpdateAIDataTimer();
    EXPECT_EQ(panel->channels->value[0]->text(), "+077.00");
    panel->cmbTempUnit->setCurrentIndex(0);
    fx.Received(0x01);
    panel->btSystemUpdateClick();
    EXPECT_EQ(Starting(fx.Received(0x01), "%"), Lines{"%0101000600"}); // bit 3 cleared
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update General Setting succeeded!"});
    EXPECT_EQ(panel->channels->range[1]->itemText(1), "Thermi. 10K 0~100'C");
    EXPECT_EQ(panel->channels->unit[0]->text(), "'C");

    QString shown;
    fx.ui().onDialog = [&](QDialog& d) {
        auto* wire = qobject_cast<TfrmMWirePayment*>(&d);
        if (!wire) return -1;
        shown = wire->edtCurrentWirePaymentVal->text();
        wire->edtCurrentWirePaymentVal->setText("12.34");
        wire->btExecute->click();
        return int(QDialog::Rejected);
    };
    fx.Received(0x01);
    panel->btWirePaymentClick();
    EXPECT_EQ(shown, "0.0");
    EXPECT_EQ(fx.Received(0x01), Lines({"$012", "$01R0", "$01R0+007B", "$01R0"}));
}

// ---- R280 ----------------------------------------------------------------------------

TEST(MultiInputMembers, R280CalibratesChannelZeroWithNegativeSpanAndWaitsFiveSeconds) {
    PanelFixture fx("05 R280 init\n");
    auto* panel = fx.Open<TfrmMR280>("(*)R280");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->channels->range[0]->itemText(6), "+/- 20mA");
    EXPECT_EQ(panel->channels->range[1]->itemText(6), "+/- 0~20mA");
    EXPECT_TRUE(panel->btNegCal->isEnabled());
    panel->channels->range[0]->setCurrentIndex(1);
    QStringList seen;
    fx.ui().onDialog = [&](QDialog& d) {
        auto* calib = qobject_cast<TfrmCalib*>(&d);
        if (!calib) return -1;
        seen << calib->windowTitle() << calib->Edit1->text() << calib->Label3->text();
        calib->Button1->click();
        return calib->result();
    };
    fx.Received(0x05);
    panel->btNegCalClick();
    EXPECT_EQ(seen, (QStringList{"Tavo-R280 Neg-Span calibration", "-500mV", "CH 0"}));
    EXPECT_EQ(fx.Received(0x05), Lines{"$00NC0"});
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Negative Calibration succeeded"});
    const long long before = fx.ui().clockMs;
    panel->btSystemUpdateClick();
    EXPECT_EQ(fx.ui().clockMs - before,
              5000 + 100 + 100); // the wait, the watchdog's, the re-read's
}

// ---- R810 family ---------------------------------------------------------------------

TEST(MultiInputMembers, R810AdvancedPageScanFilterBurnOutAndLocate) {
    PanelFixture fx("01 R810 scanms=0\n");
    auto* panel = fx.Open<TfrmMR810>("(01)R810");
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->PageControl1->isTabVisible(panel->PageControl1->indexOf(panel->TS_Filter)));
    EXPECT_EQ(panel->PageControl1->tabText(panel->PageControl1->indexOf(panel->TS_Filter)),
              "Advanced Setup");
    EXPECT_FALSE(panel->CB_ThmoMode->isHidden());
    EXPECT_EQ(panel->CB_BOScale->currentText(), "Disable");
    EXPECT_EQ(panel->cmbIntegrationTime->count(), 3);
    auto* poll = panel->findChild<QTimer*>("tmrUpdateAIData");
    fx.Received(0x01);

    panel->PageControl1->setCurrentWidget(panel->TS_Filter);
    EXPECT_EQ(fx.Received(0x01), Lines{"$01MC"});
    EXPECT_EQ(panel->Edt_SampleRate->text(), "10");

    panel->Bt_ScanClick();
    EXPECT_EQ(fx.StatusText(), "Polling Stopped");
    EXPECT_FALSE(poll->isActive());
    EXPECT_TRUE(panel->Scanning());
    panel->tmrScanTimer();
    EXPECT_FALSE(panel->Scanning());
    EXPECT_EQ(panel->PB_Scan->value(), 100);
    EXPECT_TRUE(poll->isActive());
    EXPECT_EQ(fx.Received(0x01), Lines({"#01MM", "$01MP", "$01MC"}));

    // Software filter on channels 1 and 6 at 30 %: channels in bits 11..4.
    panel->Chk_Ch[1]->setChecked(true);
    panel->Chk_Ch[6]->setChecked(true);
    panel->CB_FSR->setCurrentIndex(2);
    panel->Bt_FilterUpdateClick();
    panel->Chk_Ch[1]->setChecked(false);
    panel->CB_FSR->setCurrentIndex(0);
    panel->Bt_SoftRefreshClick();
    EXPECT_TRUE(panel->Chk_Ch[1]->isChecked());
    EXPECT_FALSE(panel->Chk_Ch[2]->isChecked());
    EXPECT_EQ(panel->CB_FSR->currentText(), "30 %");
    panel->CB_BOScale->setCurrentIndex(2);
    panel->Bt_BurnOutUpdateClick();
    panel->Bt_LocateClick();
    panel->Bt_UnLocateClick();
    EXPECT_EQ(fx.Received(0x01),
              Lines({"#01MK422", "$01MD", "$01D02", "#01AT02", "#01FQ1", "#01FQ0"}));
    EXPECT_EQ(fx.ui().Texts(), (QStringList{"Update Success!", "Update Success!"}));

    // The boot loader switch asks first; No sends nothing.
    fx.ui().Clear();
    panel->Bt_SwitchClick();
    ASSERT_EQ(fx.ui().questions.size(), 1u);
    EXPECT_EQ(fx.ui().questions[0],
              "This action will switch the module \nto the download mode, continue?");
    EXPECT_TRUE(fx.Received(0x01).empty());
    fx.ui().answers.push_back(true);
    panel->Bt_SwitchClick();
    EXPECT_EQ(fx.Received(0x00), Lines{"#01OS"}); // it answers at 00 in its boot loader
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Please search again!"});
    EXPECT_FALSE(poll->isActive());
}

TEST(MultiInputMembers, R810IntegrationChoicesAndThermocoupleMode) {
    PanelFixture fx("05 R820 init\n");
    auto* panel = fx.Open<TfrmMR810>("(*)R820");
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(panel->CB_ThmoMode->isHidden());
    EXPECT_EQ(panel->CB_ThmoMode->currentText(), "Normal Mode");
    panel->CB_ThmoMode->setCurrentIndex(1);
    fx.Received(0x05);
    panel->Bt_ThmoModeUpdateClick();
    EXPECT_EQ(fx.Received(0x05), Lines{"#00OD01"});
    for (const auto& [item, ff] :
         {std::pair{2, "%0005000620"}, std::pair{1, "%0005000680"}, std::pair{0, "%0005000600"}}) {
        panel->cmbIntegrationTime->setCurrentIndex(item);
        const long long before = fx.ui().clockMs;
        panel->btSystemUpdateClick();
        EXPECT_EQ(Starting(fx.Received(0x05), "%"), Lines{ff});
        EXPECT_EQ(panel->cmbIntegrationTime->currentIndex(), item);
        EXPECT_EQ(fx.ui().clockMs - before, 500 + 100 + 100);
    }
}

// ---- Settings files ------------------------------------------------------------------

TEST(MultiInputSettingsFiles, SaveThenLoadOntoASecondModuleOfTheModel) {
    PanelFixture fx("01 R260P format=80\n02 R260P\n");
    QTemporaryDir dir;
    const QString file = dir.filePath("R260+.txt");
    auto* first = fx.Open<TfrmMR270P>("(01)R260P");
    ASSERT_NE(first, nullptr);
    first->channels->range[2]->setCurrentIndex(5); // +/- 150mV: 0C
    first->channels->range[7]->setCurrentIndex(1); // +/- 10V: 08
    first->channels->enable[3]->setChecked(false);
    first->btSingleChUpdateClick();
    first->edtCommWDT->setText("25.5");
    first->btSystemUpdateClick();
    first->channels->enable[4]->setChecked(false); // not written: the file has the module's
    fx.ui().saveNames.push_back(file);
    fx.window().tlbtnSaveConfClick();
    EXPECT_EQ(fx.ui().defaultNames.back(), "R260+.txt");
    QByteArray expected = "Module Name:  Tavo-R260+ \r\nBaudRate: 3\r\ncheckSum: 1\r\n"
                          "Data Format: 0\r\nIntegration Time: 1\r\nComm. WDT: 25.500000\r\n"
                          "Potocol: 0\r\n";
    const int ranges[8] = {0, 0, 5, 0, 0, 0, 0, 1};
    for (int n = 0; n < 8; ++n)
        expected += QString("CH%1 State: %2\r\nCH%1 Input Range: %3\r\n")
                        .arg(n)
                        .arg(n == 3 ? 0 : 1)
                        .arg(ranges[n])
                        .toUtf8();
    EXPECT_EQ(ReadAll(file), expected);

    auto* second = fx.Open<TfrmMR270P>("(02)R260P");
    ASSERT_NE(second, nullptr);
    fx.Received(0x02);
    fx.ui().Clear();
    fx.ui().openNames.push_back(file);
    fx.window().tlbtnLoadConfClick();
    const auto sent = fx.Received(0x02);
    EXPECT_EQ(Starting(sent, "%"), Lines{"%0202000600"}); // not INIT: the format stays
    EXPECT_EQ(Starting(sent, "$02X"), Lines{"$02X0255"});
    EXPECT_EQ(Starting(sent, "$025"), Lines{"$025F7"});
    EXPECT_EQ(Starting(sent, "$027C"), Lines({"$027C0R07", "$027C1R07", "$027C2R0C", "$027C3R07",
                                              "$027C4R07", "$027C5R07", "$027C6R07", "$027C7R08"}));
    EXPECT_EQ(fx.ui().Texts(), (QStringList{"Update general setting succeeded!",
                                            "Update channel setup succeeded!"}));
    fx.WithModule(0x02, [](sim::SimModule& m) {
        const auto* in = Inputs(m);
        ASSERT_NE(in, nullptr);
        EXPECT_EQ(in->RangeOf(m, 2)->code, 0x0Cu);
        EXPECT_FALSE(in->Enabled(3));
    });
    EXPECT_EQ(second->edtCommWDT->text(), "25.5");
    EXPECT_TRUE(second->findChild<QTimer*>("tmrUpdateAIData")->isActive());
}

TEST(MultiInputSettingsFiles, AllChannelMemberWritesItsOwnRangeLine) {
    PanelFixture fx("01 R270 type=03\n02 R270 type=00\n");
    QTemporaryDir dir;
    const QString file = dir.filePath("R270.txt");
    ASSERT_NE(fx.Open<TfrmMR270>("(01)R270"), nullptr);
    fx.ui().saveNames.push_back(file);
    fx.window().tlbtnSaveConfClick();
    QByteArray expected =
        "Module Name:  Tavo-R270 \r\nBaudRate: 3\r\ncheckSum: 1\r\nInput Range: 3\r\n"
        "Data Format: 0\r\nIntegration Time: 0\r\n";
    for (int n = 0; n < 8; ++n)
        expected += QString("CH%1 State: 1\r\n").arg(n).toUtf8();
    EXPECT_EQ(ReadAll(file), expected);
    auto* second = fx.Open<TfrmMR270>("(02)R270");
    ASSERT_NE(second, nullptr);
    fx.Received(0x02);
    fx.ui().openNames.push_back(file);
    fx.window().tlbtnLoadConfClick();
    EXPECT_EQ(Starting(fx.Received(0x02), "%"), Lines{"%0202030600"});
    EXPECT_EQ(second->cmbTypeChangeAllCh->currentIndex(), 3);
}

TEST(MultiInputSettingsFiles, FilesOfAnotherMemberOrThatDoNotFitAreRefused) {
    PanelFixture fx("01 R260\n02 R270\n03 R260P\n");
    QTemporaryDir dir;
    const QString r260 = dir.filePath("R260.txt");
    ASSERT_NE(fx.Open<TfrmMR270>("(01)R260"), nullptr);
    fx.ui().saveNames.push_back(r260);
    fx.window().tlbtnSaveConfClick();
    for (const char* node : {"(02)R270", "(03)R260P"}) {
        SCOPED_TRACE(node);
        ASSERT_NE(fx.Open<TfrmMR270P>(node), nullptr);
        const unsigned address = node[2] - '0';
        fx.Received(address);
        fx.ui().Clear();
        fx.ui().openNames.push_back(r260);
        fx.window().tlbtnLoadConfClick();
        EXPECT_EQ(fx.ui().Texts(), QStringList{"Load Configuration File Error!"});
        EXPECT_TRUE(fx.Received(address).empty());
    }
    // A watchdog time the field cannot take stops the load at its line, before
    // anything is written; a bad channel line stops after the general settings.
    auto* panel = fx.Open<TfrmMR270P>("(03)R260P");
    const QString bad = dir.filePath("bad.txt");
    const QByteArray head = "Module Name:  Tavo-R260+ \r\nBaudRate: 3\r\ncheckSum: 1\r\n"
                            "Data Format: 0\r\nIntegration Time: 0\r\n";
    ASSERT_TRUE(test::WriteAll(bad, head + "Comm. WDT: 1000.000000\r\nPotocol: 0\r\n"));
    fx.Received(0x03);
    fx.ui().Clear();
    fx.ui().openNames.push_back(bad);
    fx.window().tlbtnLoadConfClick();
    ASSERT_EQ(fx.ui().boxes.size(), 1u);
    EXPECT_TRUE(fx.ui().boxes[0].text.contains("Line 6")) << fx.ui().boxes[0].text.toStdString();
    EXPECT_TRUE(fx.Received(0x03).empty());
    ASSERT_TRUE(test::WriteAll(
        bad, head + "Comm. WDT: 1.000000\r\nPotocol: 0\r\nCH0 State: 1\r\nCH0 Input Range: 9\r\n"));
    fx.ui().Clear();
    fx.ui().openNames.push_back(bad);
    fx.window().tlbtnLoadConfClick();
    const auto sent = fx.Received(0x03);
    EXPECT_EQ(Starting(sent, "$03X"), Lines{"$03X0010"});
    EXPECT_TRUE(Starting(sent, "$035").empty());
    EXPECT_TRUE(fx.ui().Texts().last().contains("Line 9"));
    EXPECT_TRUE(panel->findChild<QTimer*>("tmrUpdateAIData")->isActive());
    // The R810 family keeps no settings files.
    auto* r810 = fx.Open<TfrmMR270P>("(03)R810");
    ASSERT_NE(r810, nullptr);
    EXPECT_FALSE(r810->HasSettingsFile());
}

} // namespace
} // namespace tavo
