// The digital I/O panels against the simulated modules: what each member shows,
// what it sends, outputs, safe values, the R520 inversion, the R560SO faults,
// the general settings and the settings files.
#include "file_helpers.h"
#include "digital_checks.h"
#include "panel_fixture.h"

#include "panels/common/form_controls.h"
#include "panels/digital/digital_io_panels.h"
#include "sim/digital_modules.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <thread>

namespace tavo {
namespace {

using test::PanelFixture;
using test::ReadAll;
using Strings = std::vector<std::string>;

int VisibleCount(QWidget* panel, const auto& controls) {
    int n = 0;
    for (QWidget* w : controls)
        n += w->isVisibleTo(panel) ? 1 : 0;
    return n;
}

using test::Lamps;

sim::DigitalIo& Dio(sim::SimModule& m) {
    return *m.Find<sim::DigitalIo>();
}

void Press(QWidget* w, Qt::Key key, const QString& text = {}) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &event);
}

// ---- what each member shows and sends ----

TEST(DigitalPanels, EachMemberShowsItsChannelsAndAsksOnlyWhatItCanUse) {
    struct Row {
        const char* model;
        int inputs, outputs, safe;
        bool protocol;
        Strings init; // commands of InitModule
        Strings poll; // commands of one poll
    };
    const Strings withSafe = {"$012", "$01F", "$01X1"}, withoutSafe = {"$012", "$01F"};
    const Row rows[] = {
        {"R550", 8, 8, 8, true, withSafe, {"$016"}},
        {"R510", 7, 8, 8, false, withSafe, {"$016"}},
        {"R530", 8, 0, 0, false, withoutSafe, {"$016"}},
        {"R540", 8, 8, 0, false, withoutSafe, {"$016"}}, // the upper row shows DI 8..15
        {"R520", 8, 8, 0, true, withoutSafe, {"$016"}},
        {"R560S", 0, 12, 12, true, withSafe, {"$016"}},
        {"R560SO", 0, 12, 12, true, withSafe, {"$01E0", "$016"}},
        {"R610", 0, 4, 4, false, withSafe, {"$016"}},
        {"R620", 0, 8, 8, true, withSafe, {"$016"}},
        {"R630", 0, 8, 8, true, withSafe, {"$016"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.model);
        PanelFixture fx(std::string("01 ") + row.model + "\n");
        auto* p = fx.Open<TfrmMR550>(QString("(01)") + row.model);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->grpModule->title(), QString(" Tavo-%1 ").arg(row.model));
        EXPECT_EQ(VisibleCount(p, p->bitbtnDI), row.inputs);
        EXPECT_EQ(VisibleCount(p, p->bitbtnDO), row.outputs);
        EXPECT_EQ(VisibleCount(p, p->bitbtnSafeDO), row.safe);
        EXPECT_EQ(p->cmbPotocolSelect->isVisibleTo(p), row.protocol);
        EXPECT_FALSE(p->cmbBaudRate->isEnabled()); // only in INIT mode
        EXPECT_EQ(fx.Received(1), row.init);
        EXPECT_TRUE(p->tmrUpdateDIData->isActive());
        p->tmrUpdateDIDataTimer();
        EXPECT_EQ(fx.Received(1), row.poll);
    }
}

TEST(DigitalPanels, PollShowsInputsAndOutputsInEachMembersLayout) {
    struct Row {
        const char* bus;
        unsigned di, upper; // lamps of the DI row and of the DO (or upper DI) row
        const char* diHex;
        const char* doHex;
        const char* status;
    };
    const Row rows[] = {
        {"01 R550 inputs=A5 outputs=5A\n", 0xA5, 0x5A, "0xA5", "0x5A", "Polling DIO data..."},
        {"01 R510 inputs=7F outputs=81\n", 0x7F, 0x81, "0x7F", "0x81", "Polling DIO data..."},
        {"01 R530 inputs=81\n", 0x81, 0, "0x81", "", "Polling DIO data..."},
        {"01 R540 inputs=1234\n", 0x34, 0x12, "0x34", "0x12", "Polling DI data..."},
        {"01 R520 inputs=F00F invert=00FF\n", 0xF0, 0xF0, "0xF0", "0xF0", "Polling DI data..."},
        {"01 R560S outputs=A05\n", 0, 0xA05, "", "0x05", "Polling DIO data..."},
        {"01 R620 outputs=C3\n", 0, 0xC3, "0x00", "0xC3", "Polling DIO data..."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bus);
        PanelFixture fx(row.bus);
        const std::string model =
            std::string(row.bus).substr(3, std::string(row.bus).find(' ', 3) - 3);
        auto* p = fx.Open<TfrmMR550>(QString::fromStdString("(01)" + model));
        ASSERT_NE(p, nullptr);
        p->tmrUpdateDIDataTimer();
        EXPECT_EQ(Lamps(p->bitbtnDI), row.di);
        EXPECT_EQ(Lamps(p->bitbtnDO), row.upper);
        EXPECT_EQ(p->edtDI_Hex->text(), row.diHex);
        EXPECT_EQ(p->edtDO_Hex->text(), row.doHex);
        EXPECT_EQ(fx.StatusText(), row.status);
    }
    PanelFixture fx("01 R560S outputs=A05\n");
    auto* p = fx.Open<TfrmMR560S>("(01)R560S");
    p->tmrUpdateDIDataTimer();
    EXPECT_EQ(p->edtDOHigh_Hex->text(), "0x0A");
}

// A poll that reads what the lamps already show leaves their pictures alone (a
// new picture costs a repaint and a new layout of its button); a change redraws
// just the lamp it concerns.
TEST(DigitalPanels, APollRedrawsOnlyTheLampsThatChanged) {
    PanelFixture fx("01 R550 inputs=05 outputs=03\n");
    auto* p = fx.Open<TfrmMR550>("(01)R550");
    ASSERT_NE(p, nullptr);
    p->tmrUpdateDIDataTimer();
    const auto pictures = [&] {
        std::vector<qint64> keys;
        for (int n = 0; n < 8; ++n) {
            keys.push_back(p->bitbtnDI[static_cast<std::size_t>(n)]->icon().cacheKey());
            keys.push_back(p->bitbtnDO[static_cast<std::size_t>(n)]->icon().cacheKey());
        }
        return keys;
    };
    const auto before = pictures();
    p->tmrUpdateDIDataTimer();
    EXPECT_EQ(pictures(), before);
    fx.WithModule(1, [](sim::SimModule& m) { Dio(m).SetInputs(0x07); });
    p->tmrUpdateDIDataTimer();
    const auto after = pictures();
    for (std::size_t i = 0; i < after.size(); ++i)
        EXPECT_EQ(after[i] != before[i], i == 2) << i; // DI 1 only
    EXPECT_TRUE(LampOn(p->bitbtnDI[1]));
    EXPECT_EQ(p->edtDI_Hex->text(), "0x07");
}

TEST(DigitalPanels, AFailedPollKeepsTheIndicatorsAndShowsTheHeartbeatPlusTwo) {
    PanelFixture fx("01 R550 inputs=0F\n");
    auto* p = fx.Open<TfrmMR550>("(01)R550");
    p->tmrUpdateDIDataTimer();
    EXPECT_EQ(Lamps(p->bitbtnDI), 0x0Fu);
    const QString good = fx.Indicator();
    EXPECT_TRUE(good == "0" || good == "1");
    fx.WithModule(1, [](sim::SimModule& m) {
        Dio(m).SetInputs(0);
        m.faults().noReply.count = 1;
    });
    p->tmrUpdateDIDataTimer();
    EXPECT_EQ(Lamps(p->bitbtnDI), 0x0Fu);
    EXPECT_EQ(fx.Indicator(), QString::number(3 - good.toInt())); // inverted, plus two
    EXPECT_EQ(fx.StatusText(), "Fail to fresh DIO data!");
}

// ---- outputs ----

TEST(DigitalPanels, OutputButtonsToggleThePolledStateInEachCommandForm) {
    PanelFixture fx("01 R550\n02 R560S\n03 R540 inputs=FF00\n");
    auto* p = fx.Open<TfrmMR550>("(01)R550");
    p->tmrUpdateDIDataTimer();
    fx.Received(1);
    p->bitbtnDO[3]->click();
    EXPECT_EQ(fx.Received(1), (Strings{"#011301", "$016"}));
    EXPECT_TRUE(LampOn(p->bitbtnDO[3]));
    p->bitbtnDO[3]->click();
    EXPECT_EQ(fx.Received(1), (Strings{"#011300", "$016"}));
    EXPECT_EQ(fx.WithModule(1, [](sim::SimModule& m) { return Dio(m).Outputs(); }), 0u);

    auto* r560 = fx.Open<TfrmMR560S>("(02)R560S");
    r560->tmrUpdateDIDataTimer();
    fx.Received(2);
    r560->bitbtnDO[11]->click();
    EXPECT_EQ(fx.Received(2), (Strings{"#021B0001", "$026"}));
    EXPECT_EQ(fx.WithModule(2, [](sim::SimModule& m) { return Dio(m).Outputs(); }), 0x800u);

    // The R540's upper row shows inputs 8 to 15: clicking it sends nothing.
    auto* r540 = fx.Open<TfrmMR540>("(03)R540");
    r540->tmrUpdateDIDataTimer();
    fx.Received(3);
    r540->bitbtnDO[0]->click();
    r540->bitbtnDO0Click(0);
    EXPECT_TRUE(fx.Received(3).empty());
    EXPECT_TRUE(r540->tmrUpdateDIData->isActive());
}

TEST(DigitalPanels, AFailedOutputWriteIsRetriedWithTheSameValue) {
    PanelFixture fx("01 R550\n");
    auto* p = fx.Open<TfrmMR550>("(01)R550");
    p->tmrUpdateDIDataTimer();
    fx.Received(1);
    fx.WithModule(1, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    p->bitbtnDO[2]->click();
    EXPECT_EQ(fx.StatusText(), "Fail to set DO!");
    EXPECT_EQ(fx.Received(1), Strings{"#011201"}); // no poll after a failure
    EXPECT_TRUE(p->tmrUpdateDIData->isActive());
    p->bitbtnDO[2]->click();
    EXPECT_EQ(fx.Received(1), (Strings{"#011201", "$016"}));
    EXPECT_TRUE(LampOn(p->bitbtnDO[2]));
}

// ---- safe values ----

TEST(DigitalPanels, SafeValueTimeoutLimitsAndValueWidths) {
    PanelFixture fx("01 R550\n02 R560S\n");
    auto* p = fx.Open<TfrmMR550>("(01)R550");
    EXPECT_EQ(p->edtTimeoutSetting->text(), "0.0");
    fx.Received(1);
    p->bitbtnSafeDO[0]->click();
    p->bitbtnSafeDO[7]->click();
    EXPECT_TRUE(fx.Received(1).empty()); // nothing goes out before the Update
    EXPECT_TRUE(LampOn(p->bitbtnSafeDO[7]));
    for (const char* text : {"6553.6", "70000", "", "1.2.3", ".", "-1"}) {
        p->edtTimeoutSetting->setText(text);
        p->btSafeSettingUpdate->click();
        EXPECT_EQ(fx.ui().Texts().back(), "The timeout Value must be between 0.0 and 6553.5!")
            << text;
        EXPECT_TRUE(fx.Received(1).empty()) << text;
    }
    p->edtTimeoutSetting->setText("6553.5");
    p->btSafeSettingUpdate->click();
    EXPECT_EQ(fx.Received(1), (Strings{"$01X0FFFF81", "$01X1"}));
    EXPECT_EQ(fx.ui().Texts().back(), "Update succeeded!");
    EXPECT_EQ(p->edtTimeoutSetting->text(), "6553.5");

    // The key filter drops letters; Enter runs the Update.
    p->edtTimeoutSetting->clear();
    for (const char* key : {"1", "x", ".", "-", "5"})
        Press(p->edtTimeoutSetting, Qt::Key_unknown, key);
    EXPECT_EQ(p->edtTimeoutSetting->text(), "1.5");
    Press(p->edtTimeoutSetting, Qt::Key_Return);
    EXPECT_EQ(fx.Received(1), (Strings{"$01X0000F81", "$01X1"}));

    // Twelve outputs: four value digits.
    auto* r560 = fx.Open<TfrmMR560S>("(02)R560S");
    r560->bitbtnSafeDO[11]->click();
    r560->bitbtnSafeDO[1]->click();
    r560->edtTimeoutSetting->setText("2.5");
    fx.Received(2);
    r560->btSafeSettingUpdate->click();
    EXPECT_EQ(fx.Received(2), (Strings{"$02X000190802", "$02X1"}));
}

TEST(DigitalPanels, TheModuleAppliesTheSafeValueWhenThePanelFallsSilent) {
    PanelFixture fx("01 R620 outputs=0F\n");
    auto* p = fx.Open<TfrmMR620>("(01)R620");
    p->bitbtnSafeDO[7]->click();
    p->edtTimeoutSetting->setText("0.1");
    p->btSafeSettingUpdate->click();
    ASSERT_EQ(fx.ui().Texts().back(), "Update succeeded!");
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_TRUE(fx.WithModule(1, [](sim::SimModule& m) { return Dio(m).SafeValueApplied(); }));
    p->tmrUpdateDIDataTimer();
    EXPECT_EQ(Lamps(p->bitbtnDO), 0x80u);
}

// ---- R520 inversion ----

TEST(DigitalPanels, R520InvertPageFollowsTheFirmware) {
    const std::pair<const char*, bool> rows[] = {
        {"A2.01", false}, {"A2.02", true}, {"B1.00", true}, {"a3.00", true}, {"A1.99", false}};
    for (const auto& [firmware, shown] : rows) {
        SCOPED_TRACE(firmware);
        PanelFixture fx(std::string("01 R520 firmware=") + firmware + "\n");
        auto* p = fx.Open<TfrmMR520>("(01)R520");
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->PageControl1->isTabVisible(p->PageControl1->indexOf(p->TSInvert)), shown);
        EXPECT_EQ(p->edtFirmwareVer->text(), firmware);
    }
    // Other members show the first six characters of the firmware and no page.
    PanelFixture fx("01 R550 firmware=A2.10-beta\n");
    auto* p = fx.Open<TfrmMR550>("(01)R550");
    EXPECT_EQ(p->edtFirmwareVer->text(), "A2.10-");
    EXPECT_FALSE(p->PageControl1->isTabVisible(p->PageControl1->indexOf(p->TSInvert)));
}

TEST(DigitalPanels, R520InvertPagePausesThePollAndWritesTheMask) {
    PanelFixture fx("01 R520 firmware=A2.02 invert=8001\n");
    auto* p = fx.Open<TfrmMR520>("(01)R520");
    fx.Received(1);
    p->PageControl1->setCurrentWidget(p->TSInvert);
    EXPECT_FALSE(p->tmrUpdateDIData->isActive());
    EXPECT_EQ(fx.Received(1), Strings{"$01V"});
    EXPECT_TRUE(p->chkCh[0]->isChecked());
    EXPECT_TRUE(p->chkCh[15]->isChecked());
    EXPECT_FALSE(p->chkCh[3]->isChecked());
    p->chkCh[3]->setChecked(true);
    p->btInvertUpdate->click();
    EXPECT_EQ(fx.Received(1), Strings{"$01V8009"}); // the write only: Refresh reads back
    EXPECT_EQ(fx.ui().Texts().back(), "Update succeeded!");
    fx.WithModule(1, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    p->btInvertUpdate->click();
    EXPECT_EQ(fx.Received(1), Strings{"$01V8009"});
    EXPECT_EQ(fx.ui().Texts().back(), "Update failed!");
    EXPECT_TRUE(p->chkCh[3]->isChecked()); // the choice stays for another try
    EXPECT_FALSE(p->tmrUpdateDIData->isActive()); // still on the page
    p->btInvertRefresh->click();
    EXPECT_EQ(fx.ui().Texts().back(), "Refresh succeeded!");
    fx.WithModule(1, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    p->btInvertRefresh->click();
    EXPECT_EQ(fx.ui().Texts().back(), "Refresh failed!");
    p->PageControl1->setCurrentWidget(p->TSData);
    EXPECT_TRUE(p->tmrUpdateDIData->isActive());
}

// ---- R560SO faults ----

TEST(DigitalPanels, R560SOShowsOverCurrentGroupsUntilCleared) {
    PanelFixture fx("01 R560SO outputs=FFF overcurrent=2\n");
    auto* p = fx.Open<TfrmMR560SO>("(01)R560SO");
    // The clear command is not offered: its button is hidden and disabled.
    EXPECT_FALSE(p->btClrError->isVisibleTo(p));
    EXPECT_FALSE(p->btClrError->isEnabled());
    EXPECT_EQ(p->btClrError->text(), "&Clear Error Status");
    p->tmrUpdateDIDataTimer();
    test::ExpectTrippedGroups(*p, 2);
    EXPECT_EQ(test::Lamps(p->bitbtnDO), 0xF0Fu);
    fx.Received(1);
    p->btClrErrorClick();
    EXPECT_EQ(fx.Received(1), Strings{"$01E1"});
    EXPECT_EQ(fx.ui().Texts().back(), "Clear succeeded!");
    EXPECT_EQ(p->bitbtnDO[5]->text(), "DO 5");

    // A fault injected later shows on the next poll; a failed clear says so.
    fx.WithModule(1, [](sim::SimModule& m) { Dio(m).InjectOverCurrent(1); });
    p->tmrUpdateDIDataTimer();
    EXPECT_EQ(p->bitbtnDO[0]->text(), "Fail");
    EXPECT_EQ(p->bitbtnDO[4]->text(), "DO 4");
    fx.WithModule(1, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    p->btClrErrorClick();
    EXPECT_EQ(fx.ui().Texts().back(), "Clear failed!");
    EXPECT_EQ(p->bitbtnDO[0]->text(), "Fail");
}

// ---- general settings ----

TEST(DigitalPanels, AddressChangeChecksTheAddressAndRenamesTheNode) {
    PanelFixture fx("01 R550\n02 R620\n");
    auto* p = fx.Open<TfrmMR550>("(01)R550");
    for (const char* bad : {"0", "256", "", "abc"}) {
        fx.Received(1);
        p->edtAddress_Dec->setText(bad);
        p->btSystemUpdate->click();
        EXPECT_EQ(fx.ui().Texts().back(), "Please input dicimal address between 1 and 255!") << bad;
        EXPECT_TRUE(fx.Received(1).empty()) << bad;
    }
    p->edtAddress_Dec->setText("2");
    p->btSystemUpdate->click();
    EXPECT_EQ(fx.ui().Texts().back(), "The address 2 (Dec) is used by Module [R620] !");
    Strings sent = fx.Received(1);
    EXPECT_TRUE(std::none_of(sent.begin(), sent.end(), [](auto& c) { return c[0] == '%'; }));
    EXPECT_EQ(p->edtAddress_Hex->text(), "01"); // still the old module

    p->edtAddress_Dec->setText("1"); // unchanged address: no probe, the write goes out
    p->btSystemUpdate->click();
    EXPECT_EQ(fx.Received(1), (Strings{"$012", "$01M", "%0101000600", "$012", "$01F", "$01X1"}));

    p->edtAddress_Dec->setText("10");
    p->btSystemUpdate->click();
    EXPECT_EQ(fx.ui().Texts().back(), "Update succeeded!");
    EXPECT_EQ(fx.node()->text(0), "(0A)R550");
    EXPECT_EQ(p->edtAddress_Hex->text(), "0A");
    p->tmrUpdateDIDataTimer();
    EXPECT_EQ(fx.StatusText(), "Polling DIO data...");
}

TEST(DigitalPanels, InitModeWritesBaudChecksumAndProtocolAndStaysAt00) {
    PanelFixture fx("05 R550 init\n");
    auto* p = fx.Open<TfrmMR550>("(*)R550");
    EXPECT_EQ(p->edtAddress_Hex->text(), "*05");
    EXPECT_EQ(p->edtAddress_Dec->text(), "5");
    EXPECT_TRUE(p->cmbBaudRate->isEnabled());
    EXPECT_TRUE(p->chkCheckSum->isEnabled());
    EXPECT_TRUE(p->cmbPotocolSelect->isEnabled());
    fx.Received(5);
    p->cmbBaudRate->setCurrentIndex(4);
    p->chkCheckSum->setChecked(true);
    p->cmbPotocolSelect->setCurrentIndex(1);
    p->btSystemUpdate->click();
    EXPECT_EQ(fx.Received(5), (Strings{"$002", "%0005000744", "$002", "$00F", "$00X1"}));
    EXPECT_EQ(fx.ui().Texts().back(), "Update succeeded!");
    EXPECT_EQ(fx.node()->text(0), "(*)R550"); // the tree is left alone
    p->tmrUpdateDIDataTimer();
    EXPECT_EQ(fx.Received(5), Strings{"$006"});
}

// ---- settings files ----

TEST(DigitalPanels, SettingsFileRoundTripOntoAModuleInInitState) {
    QTemporaryDir dir;
    const QString path = dir.filePath("R550.txt");
    PanelFixture fx("01 R550 format=04\n05 R550 init\n");
    auto* source = fx.Open<TfrmMR550>("(01)R550");
    fx.ui().saveNames.push_back(path);
    source->SaveSettings();
    EXPECT_EQ(fx.ui().defaultNames.back(), "R550.txt");
    EXPECT_EQ(ReadAll(path),
              "Module Name:  Tavo-R550 \r\nBaudRate: 3\r\ncheckSum: 1\r\nPotocol: 1\r\n");

    auto* target = fx.Open<TfrmMR550>("(*)R550");
    fx.Received(5);
    fx.ui().openNames.push_back(path);
    target->LoadSettings();
    EXPECT_EQ(fx.Received(5)[1], "%0005000604");
    EXPECT_EQ(target->cmbPotocolSelect->currentIndex(), 1);
    EXPECT_TRUE(target->tmrUpdateDIData->isActive());

    // A member without the protocol selector writes no protocol line, and a
    // file of another member is refused.
    auto* r510 = fx.Open<TfrmMR510>("(01)R510");
    fx.ui().saveNames.push_back(dir.filePath("R510.txt"));
    r510->SaveSettings();
    EXPECT_EQ(ReadAll(dir.filePath("R510.txt")),
              "Module Name:  Tavo-R510 \r\nBaudRate: 3\r\ncheckSum: 1\r\n");
    fx.ui().openNames.push_back(path);
    r510->LoadSettings();
    EXPECT_EQ(fx.ui().Texts().back(), "Load Configuration File Error!");
}

TEST(DigitalPanels, BrokenSettingsFilesSendNothingTheyDidNotHold) {
    const QByteArray head = "Module Name:  Tavo-R550 \r\n";
    const std::pair<QByteArray, bool> files[] = {
        {head + "BaudRate: 3\r\ncheckSum: 0\r\nPotocol: 0\r\n", true},
        {head + "BaudRate: 3\r\ncheckSum: 0\r\nPotocol: 0\r\nExtra: 1\r\n", true},
        {head + "BaudRate: 3\r\ncheckSum: 0\r\n", false},               // missing line
        {head + "checkSum: 0\r\nBaudRate: 3\r\nPotocol: 0\r\n", false}, // reordered
        {head + "BaudRate: 9\r\ncheckSum: 0\r\nPotocol: 0\r\n", false}, // no such baud
        {head + "BaudRate: 3\r\ncheckSum: yes\r\nPotocol: 0\r\n", false},
        {head + "BaudRate: 3\r\ncheckSum: 0\r\nPotocol: 7\r\n", false},
        {head + QByteArray(300, '\xFF'), false},
        {QByteArray("\x00\x01garbage", 9), false},
        {QByteArray(), false},
    };
    QTemporaryDir dir;
    PanelFixture fx("01 R550\n");
    auto* p = fx.Open<TfrmMR550>("(01)R550");
    int n = 0;
    for (const auto& [bytes, applied] : files) {
        SCOPED_TRACE(n);
        const QString path = dir.filePath(QString("f%1.txt").arg(n++));
        ASSERT_TRUE(test::WriteAll(path, bytes));
        fx.Received(1);
        fx.ui().openNames.push_back(path);
        p->LoadSettings();
        const Strings sent = fx.Received(1);
        const bool wrote =
            std::any_of(sent.begin(), sent.end(), [](auto& c) { return c[0] == '%'; });
        EXPECT_EQ(wrote, applied);
        EXPECT_TRUE(p->tmrUpdateDIData->isActive());
    }
}

} // namespace
} // namespace tavo
