// The R910 converter panel against a simulated converter: the reads of its
// opening and refresh in order, the once-a-second poll and a converter that stops
// answering, the single writes with their refusals, and the group writes with the
// write-then-retry rule, in normal and in INIT mode.
#include "panel_fixture.h"

#include "panels/common/edit_controls.h"
#include "panels/converter/r910_panel.h"

#include "devices/r910.h"

#include "sim/module.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>

namespace tavo {
namespace {

using test::PanelFixture;
using test::Starting;
using Commands = std::vector<std::string>;

const Commands kRefresh = {"$387", "$384", "$38D", "$38F", "$382", "$382"};

TEST(R910Panel, OpeningReadsEverythingInOrderAndShowsIt) {
    PanelFixture fx("38 R910 firmware=C2.05\n");
    auto* p = fx.Open<TfrmMR910>("(38)R910");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(fx.Received(0x38), kRefresh);
    EXPECT_EQ(fx.ui().clockMs, 80); // 20 ms between the steps
    EXPECT_TRUE(fx.ui().boxes.empty());
    EXPECT_EQ(p->edtIdentification->text(), "R910");
    EXPECT_EQ(p->edtGateTime->text(), "100");
    EXPECT_EQ(p->cmbCmdDel->currentText(), ":");
    EXPECT_EQ(p->lblFirmware->text(), "Firmware Ver : C2.05");
    EXPECT_EQ(p->edtAddress_Hex->text(), "38");
    EXPECT_EQ(p->edtAddress_Dec->text(), "56");
    EXPECT_EQ(p->cmbAddressable->currentText(), "Addressable");
    EXPECT_FALSE(p->chkAddcr->isChecked());
    EXPECT_EQ(p->cmb232Baud->currentText(), "9600");
    EXPECT_EQ(p->cmb232DataBits->currentText(), "8 bits");
    EXPECT_EQ(p->cmb232Parity->currentText(), "None");
    EXPECT_EQ(p->cmb232StopBits->currentText(), "1");
    EXPECT_EQ(p->cmb485Baud->currentText(), "9600");
    EXPECT_EQ(p->cmbProtocol->currentText(), "RS-422");
    // Line settings only change in the INIT state.
    EXPECT_FALSE(p->cmb232Baud->isEnabled());
    EXPECT_FALSE(p->cmbAddressable->isEnabled());
}

TEST(R910Panel, AConverterThatStopsAnsweringShowsOnceASecondWithoutBoxes) {
    PanelFixture fx("38 R910\n");
    auto* p = fx.Open<TfrmMR910>("(38)R910");
    ASSERT_NE(p, nullptr);
    fx.Received(0x38);
    EXPECT_EQ(p->tmrPollingModule->interval(), 1000);
    EXPECT_TRUE(p->tmrPollingModule->isActive());
    p->tmrPollingModuleTimer();
    EXPECT_EQ(fx.Received(0x38), Commands{"$38M"});
    EXPECT_EQ(fx.StatusText(), "Polling R910 ...");
    const QString good = fx.Indicator();
    EXPECT_TRUE(good == "0" || good == "1");
    fx.WithModule(0x38, [](sim::SimModule& m) { m.faults().noReply.probability = 1.0; });
    for (int tick = 0; tick < 3; ++tick) {
        p->tmrPollingModuleTimer();
        EXPECT_EQ(fx.StatusText(), "Polling R910 Fail!");
        EXPECT_TRUE(fx.Indicator() == "2" || fx.Indicator() == "3");
    }
    EXPECT_TRUE(fx.ui().boxes.empty());
    // A garbled reply is a failure too.
    fx.WithModule(0x38, [](sim::SimModule& m) {
        m.faults().noReply.probability = 0;
        m.faults().corrupt.probability = 1.0;
    });
    fx.ui().Clear();
    p->btRefreshClick();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Error occurred during Refresh!"});
    fx.WithModule(0x38, [](sim::SimModule& m) { m.faults().corrupt.probability = 0; });
    fx.ui().Clear();
    p->btRefreshClick();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Refersh succeeded!"});
}

TEST(R910Panel, IdentificationAndGateTimeAreWrittenAndReadBack) {
    PanelFixture fx("38 R910\n");
    auto* p = fx.Open<TfrmMR910>("(38)R910");
    ASSERT_NE(p, nullptr);
    fx.Received(0x38);
    p->edtIdentification->setText("LINE-A");
    p->btIdentificationUpdate->click();
    EXPECT_EQ(fx.Received(0x38), Commands{"$386LINE-A"});
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update succeeded!"});

    fx.ui().Clear();
    p->edtGateTime->setText("65536");
    p->btGateTimeUpdate->click();
    EXPECT_TRUE(Starting(fx.Received(0x38), "$383").empty());
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Please input valid Gate Time!(0~65535)"});
    EXPECT_EQ(p->edtGateTime->text(), "100"); // refreshed from the converter

    fx.ui().Clear();
    p->edtGateTime->setText("65535");
    p->btGateTimeUpdate->click();
    EXPECT_EQ(fx.Received(0x38), Commands{"$383FFFF"});
    p->btRefreshClick();
    EXPECT_EQ(p->edtGateTime->text(), "65535");
    EXPECT_EQ(p->edtIdentification->text(), "LINE-A");
    // Only digits get into the gate time and address fields.
    EXPECT_EQ(p->edtGateTime->validator()->objectName(), QString());
    QString text = "12a";
    int pos = 0;
    EXPECT_EQ(p->edtGateTime->validator()->validate(text, pos), QValidator::Invalid);
    EXPECT_EQ(p->edtAddress_Dec->validator()->validate(text, pos), QValidator::Invalid);
}

TEST(R910Panel, GeneralWriteIsTriedOnceMoreAfter60ms) {
    PanelFixture fx("38 R910\n");
    auto* p = fx.Open<TfrmMR910>("(38)R910");
    ASSERT_NE(p, nullptr);
    fx.Received(0x38);
    p->cmbCmdDel->setCurrentIndex(4); // "{"
    p->chkAddcr->setChecked(true);
    // The answer to the first configuration write is lost. Before it go the refresh
    // (five reads: the delimiter is not read while its group is written) and the
    // delimiter write.
    fx.WithModule(0x38, [](sim::SimModule& m) {
        m.faults().startAfter = 6;
        m.faults().noReply.count = 1;
    });
    const long long before = fx.ui().clockMs;
    p->btGeneralSetUpdate->click();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update succeeded!"});
    const Commands sent = fx.Received(0x38);
    EXPECT_EQ(Starting(sent, "$38C"), Commands{"$38C{"});
    EXPECT_EQ(Starting(sent, "%"), (Commands{"%383800660103", "%383800660103"}));
    // Refresh before (60 ms), the pause before the second try, refresh after (80 ms).
    EXPECT_EQ(fx.ui().clockMs - before, 60 + 60 + 80);
    EXPECT_EQ(p->cmbCmdDel->currentText(), "{");
    EXPECT_TRUE(p->chkAddcr->isChecked());
}

TEST(R910Panel, GeneralWriteMovesTheAddressAndRenamesTheNode) {
    PanelFixture fx("38 R910\n");
    auto* p = fx.Open<TfrmMR910>("(38)R910");
    ASSERT_NE(p, nullptr);
    fx.Received(0x38);
    p->edtAddress_Dec->setText("57");
    p->btGeneralSetUpdate->click();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update succeeded!"});
    const Commands sent = fx.Received(0x39);
    EXPECT_EQ(Starting(sent, "%"), Commands{"%383900660003"});
    EXPECT_EQ(sent.back(), "$392"); // read back at the new address
    EXPECT_EQ(p->edtAddress_Hex->text(), "39");
    EXPECT_EQ(p->edtAddress_Dec->text(), "57");
    EXPECT_EQ(fx.node()->text(0), "(39)R910");
    p->tmrPollingModuleTimer();
    EXPECT_EQ(fx.Received(0x39), Commands{"$39M"});
}

// The refresh before the write cannot read the configuration (its second read is
// lost twice), so the write has to read it again: at the converter's address, not
// at the one just typed, where nothing answers.
TEST(R910Panel, GeneralWriteReadsAMissingConfigurationFromTheConverter) {
    PanelFixture fx("38 R910\n");
    auto* p = fx.Open<TfrmMR910>("(38)R910");
    ASSERT_NE(p, nullptr);
    fx.Received(0x38);
    const auto loseSecondRead = [&](int skip) {
        fx.WithModule(0x38, [skip](sim::SimModule& m) {
            m.faults().startAfter = skip;
            m.faults().noReply.count = 1;
        });
    };
    // Identification, gate time, firmware and the first configuration read pass.
    loseSecondRead(4);
    fx.ui().onWait = [&](int ms) {
        if (ms == 10) loseSecondRead(1); // the configuration read's second try
    };
    p->edtAddress_Dec->setText("58");
    p->btGeneralSetUpdate->click();
    fx.ui().onWait = nullptr;
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update succeeded!"});
    const Commands sent = fx.Received(0x3A);
    EXPECT_EQ(Starting(sent, "%"), Commands{"%383A00660003"});
    const auto write = std::find(sent.begin(), sent.end(), "%383A00660003");
    EXPECT_EQ(std::find(sent.begin(), write, "$3A2"), write); // nothing went to 3A first
    EXPECT_EQ(fx.node()->text(0), "(3A)R910");
}

TEST(R910Panel, AFailedGeneralWriteKeepsTalkingToTheConverter) {
    // Another module sits at the address typed.
    PanelFixture fx("38 R910\n39 R550\n");
    auto* p = fx.Open<TfrmMR910>("(38)R910");
    ASSERT_NE(p, nullptr);
    fx.Received(0x38);
    // Out of its INIT state the converter refuses a new addressing mode: every
    // configuration write fails.
    p->cmbAddressable->setCurrentIndex(1);
    p->edtAddress_Dec->setText("57");
    p->btGeneralSetUpdate->click();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Error occurred during Update!"});
    EXPECT_TRUE(fx.Received(0x39).empty());
    EXPECT_EQ(Starting(fx.Received(0x38), "%"), Commands(6, "%383900668003"));
    EXPECT_EQ(fx.node()->text(0), "(38)R910");
    p->tmrPollingModuleTimer();
    EXPECT_EQ(fx.Received(0x38), Commands{"$38M"});
    EXPECT_TRUE(fx.Received(0x39).empty());
    EXPECT_EQ(fx.StatusText(), "Polling R910 ...");
    p->btRefreshClick();
    EXPECT_EQ(fx.Received(0x38), kRefresh);
}

TEST(R910Panel, AnAddressAbove255IsRefusedAndNothingIsWritten) {
    PanelFixture fx("38 R910\n");
    auto* p = fx.Open<TfrmMR910>("(38)R910");
    ASSERT_NE(p, nullptr);
    fx.Received(0x38);
    p->edtAddress_Dec->setText("256");
    p->btGeneralSetUpdate->click();
    EXPECT_TRUE(fx.Received(0x38).empty());
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Please input valid address (0~255)!"});
}

TEST(R910Panel, InitModeWritesLineSettingsAndKeepsAddress00) {
    PanelFixture fx("00 R910 init\n");
    auto* p = fx.Open<TfrmMR910>("(*)R910");
    ASSERT_NE(p, nullptr);
    fx.Received(0);
    EXPECT_EQ(p->edtAddress_Hex->text(), "*00");
    EXPECT_TRUE(p->cmb232Baud->isEnabled());
    p->cmb232Baud->setCurrentIndex(9);     // 115200
    p->cmb232DataBits->setCurrentIndex(2); // 7 bits
    p->cmb232Parity->setCurrentIndex(2);   // even
    p->cmb232StopBits->setCurrentIndex(1); // 1.5
    p->btUpdateRS232->click();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update succeeded!"});
    EXPECT_EQ(Starting(fx.Received(0), "%"), Commands{"%000000A6001E"});
    EXPECT_EQ(p->cmb232Baud->currentText(), "115200");
    EXPECT_EQ(p->cmb232DataBits->currentText(), "7 bits");
    EXPECT_EQ(p->cmb232Parity->currentText(), "Even");
    EXPECT_EQ(p->cmb232StopBits->currentText(), "1.5");

    // The general group keeps what the user typed: the address the converter takes.
    fx.ui().Clear();
    p->edtAddress_Dec->setText("18");
    p->btGeneralSetUpdate->click();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update succeeded!"});
    EXPECT_EQ(Starting(fx.Received(0x12), "%"), Commands{"%001200A6001E"});
    fx.ui().Clear();
    p->cmb485Baud->setCurrentIndex(7); // 38400
    p->cmbProtocol->setCurrentIndex(1);
    p->btUpdateRS485->click();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update succeeded!"});
    // The refresh before the write shows the address the converter has.
    EXPECT_EQ(Starting(fx.Received(0x12), "%"), Commands{"%001200A8201E"});
    EXPECT_EQ(p->cmb485Baud->currentText(), "38400");
    EXPECT_EQ(p->cmbProtocol->currentText(), "RS-485");
    // Still talked to at 00: the next poll goes there.
    p->tmrPollingModuleTimer();
    EXPECT_EQ(fx.Received(0x12), Commands{"$00M"});
    EXPECT_EQ(fx.StatusText(), "Polling R910 ...");
    // The field shows the address the converter will take out of its INIT state.
    EXPECT_EQ(p->edtAddress_Hex->text(), "*12");
    EXPECT_EQ(p->edtAddress_Dec->text(), "18");

    // Non-Addressable greys the address, delimiter and add-CR controls.
    p->cmbAddressable->setCurrentIndex(1);
    EXPECT_FALSE(p->cmbCmdDel->isEnabled());
    EXPECT_FALSE(p->edtAddress_Dec->isEnabled());
    EXPECT_FALSE(p->UpDownTAVO_ID->isEnabled());
    EXPECT_FALSE(p->chkAddcr->isEnabled());
    p->cmbAddressable->setCurrentIndex(0);
    EXPECT_TRUE(p->cmbCmdDel->isEnabled());
}

} // namespace
} // namespace tavo
