// The counter/frequency panels against the simulated R710 and R710D: modes, the
// count conversion, filter clamping, outputs and alarms, the display, and the
// settings files.
#include "file_helpers.h"
#include "panel_fixture.h"

#include "panels/common/form_controls.h"
#include "panels/digital/counter_panels.h"
#include "sim/digital_modules.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
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

sim::CounterModule& Counter(sim::SimModule& m) {
    return *m.Find<sim::CounterModule>();
}

bool AnyStartsWith(const Strings& sent, const std::string& prefix, std::size_t minLength = 0) {
    return std::any_of(sent.begin(), sent.end(), [&](const std::string& c) {
        return c.compare(0, prefix.size(), prefix) == 0 && c.size() >= minLength;
    });
}

const Strings kCounterInit = {"$012",  "$01F",  "$01A",  "$01B",  "$014",  "$010H",
                              "$010L", "$011H", "$011L", "$0130", "@01G0", "@01DI",
                              "@01RP", "$0131", "@01G1", "@01DI", "@01RA"};
const Strings kCounterPoll = {"#010", "$0170", "$0150", "#011", "$0171", "$0151", "@01DI"};

// ---- modes ----

TEST(CounterPanels, CounterModeAndFrequencyModeEnableWhatTheyUse) {
    PanelFixture fx("01 R710 type=50\n02 R710 type=51 format=04 freq1=1234.5\n");
    auto* p = fx.Open<TfrmMR710>("(01)R710");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(fx.Received(1), kCounterInit);
    EXPECT_EQ(p->cmbTypeChangeAllCh->currentIndex(), 0);
    EXPECT_TRUE(p->cmbCntEnableGate->isVisibleTo(p));
    EXPECT_FALSE(p->cmbFrequencyGateTime->isVisibleTo(p));
    EXPECT_EQ(p->cmbCntEnableGate->currentText(), "Disabled");
    for (QWidget* w : {(QWidget*)p->btStart[0], (QWidget*)p->btReset[1], (QWidget*)p->btDO[0],
                       (QWidget*)p->labAlarmMode[1], (QWidget*)p->imgOverflow[0],
                       (QWidget*)p->edtMaxCnt[1], (QWidget*)p->edtHighLevelWidth})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    p->tmrUpdateCounterDataTimer();
    EXPECT_EQ(fx.Received(1), kCounterPoll);
    EXPECT_EQ(fx.StatusText(), "Polling Counter Data....  ");

    auto* f = fx.Open<TfrmMR710>("(02)R710");
    EXPECT_EQ(fx.Received(2), (Strings{"$022", "$02F", "$02B", "$021H", "$021L"}));
    EXPECT_EQ(f->cmbTypeChangeAllCh->currentText(), "Frequency");
    EXPECT_FALSE(f->cmbCntEnableGate->isVisibleTo(f));
    EXPECT_TRUE(f->cmbFrequencyGateTime->isVisibleTo(f));
    EXPECT_EQ(f->cmbFrequencyGateTime->currentText(), "1.0 Sec");
    for (QWidget* w :
         {(QWidget*)f->btStart[0], (QWidget*)f->btReset[1], (QWidget*)f->btDO[0],
          (QWidget*)f->labDO[1], (QWidget*)f->labAlarmMode[1], (QWidget*)f->imgOverflow[0],
          (QWidget*)f->edtMaxCnt[1], (QWidget*)f->chkPresetMode[0], (QWidget*)f->edtHighLevelWidth,
          (QWidget*)f->chkFilterState})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_TRUE(f->edtHighLevelVolt->isEnabled()); // TTL input
    f->tmrUpdateCounterDataTimer();
    EXPECT_EQ(fx.Received(2), (Strings{"#020", "#021"}));
    EXPECT_EQ(f->edtCntVal[1]->text(), "1234");
    // Clicks on what frequency mode disables send nothing.
    f->btDOClick(0);
    f->btCN0StartClick(0);
    f->CounterSettingUpdate(0);
    EXPECT_TRUE(fx.Received(2).empty());
}

TEST(CounterPanels, ModeChangeSendsTypeGateTimeAndGate) {
    PanelFixture fx("01 R710\n");
    auto* p = fx.Open<TfrmMR710>("(01)R710");
    fx.Received(1);
    p->cmbTypeChangeAllCh->setCurrentIndex(1); // the gate time can be chosen at once
    EXPECT_TRUE(p->cmbFrequencyGateTime->isVisibleTo(p));
    p->cmbFrequencyGateTime->setCurrentIndex(1);
    const long long before = fx.ui().clockMs;
    p->btSystemUpdate->click();
    EXPECT_EQ(fx.Received(1),
              (Strings{"$012", "$01M", "%0101510604", "$012", "$01F", "$01B", "$011H", "$011L"}));
    EXPECT_EQ(fx.ui().clockMs - before, 1200);
    EXPECT_EQ(fx.ui().Texts().back(), "Update succeeded!");
    EXPECT_FALSE(p->btStart[0]->isEnabled());

    p->cmbTypeChangeAllCh->setCurrentIndex(0);
    p->cmbCntEnableGate->setCurrentIndex(1);
    p->btSystemUpdate->click();
    const Strings sent = fx.Received(1);
    ASSERT_GE(sent.size(), 4u);
    EXPECT_EQ(sent[2], "%0101500604");
    EXPECT_EQ(sent[3], "$01A1");
    EXPECT_TRUE(p->btStart[0]->isEnabled());
    EXPECT_EQ(p->cmbCntEnableGate->currentText(), "High");
}

TEST(CounterPanels, InitModeWritesBaudAndChecksumAndKeepsTalkingTo00) {
    PanelFixture fx("05 R710 init\n");
    auto* p = fx.Open<TfrmMR710>("(*)R710");
    EXPECT_EQ(p->edtAddress_Hex->text(), "*05");
    EXPECT_TRUE(p->cmbBaudRate->isEnabled());
    fx.Received(5);
    p->cmbBaudRate->setCurrentIndex(4);
    p->chkCheckSum->setChecked(true);
    p->btSystemUpdate->click();
    const Strings sent = fx.Received(5);
    ASSERT_GE(sent.size(), 4u);
    EXPECT_EQ(Strings(sent.begin(), sent.begin() + 4),
              (Strings{"$002", "%0005500740", "$00A2", "$002"}));
    EXPECT_EQ(fx.node()->text(0), "(*)R710");
    p->tmrUpdateCounterDataTimer();
    EXPECT_EQ(fx.Received(5)[0], "#000");
}

// ---- counts ----

TEST(CounterPanels, CountsGoOutAsEightHexDigitsAndLargerOnesAreRefused) {
    PanelFixture fx("01 R710\n");
    auto* p = fx.Open<TfrmMR710>("(01)R710");
    fx.Received(1);
    p->edtMaxCnt[0]->setText("255");
    p->edtPresetCnt[0]->setText("");
    p->edtInitialCnt[0]->setText("4294967295");
    p->chkPresetMode[0]->setChecked(true);
    p->findChild<QPushButton*>("btCN0UpdateCounterSetting")->click();
    EXPECT_EQ(fx.Received(1), (Strings{"@01EA0", "$0130000000FF", "@01P0FFFFFFFF", "@01PA00000000",
                                       "$0130", "@01G0", "@01DI", "@01RP"}));
    EXPECT_EQ(fx.ui().Texts().back(), "Update succeeded!");
    EXPECT_EQ(p->edtInitialCnt[0]->text(), "4294967295");
    EXPECT_EQ(p->edtPresetCnt[0]->text(), "0");
    EXPECT_TRUE(p->chkPresetMode[0]->isChecked());

    p->edtMaxCnt[1]->setText("1000");
    p->findChild<QPushButton*>("btCN1StatusUpdate")->click();
    const Strings ch1 = fx.Received(1);
    EXPECT_EQ(Strings(ch1.begin(), ch1.begin() + 4),
              (Strings{"@01DA1", "$0131000003E8", "@01P100000000", "@01SA00000000"}));

    for (const char* bad : {"4294967296", "9999999999", "12a", "-1"}) {
        p->edtPresetCnt[0]->setText(bad);
        p->findChild<QPushButton*>("btCN0UpdateCounterSetting")->click();
        EXPECT_EQ(fx.ui().Texts().back(), "Please input a count between 0 and 4294967295!") << bad;
        EXPECT_TRUE(fx.Received(1).empty()) << bad;
    }
    // Ten digits at most, digits only; Enter runs the channel's Update.
    p->edtMaxCnt[0]->clear();
    for (const char* key : {"1", "x", "2", "3", "4", "5", "6", "7", "8", "9", "0", "1"}) {
        QKeyEvent event(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, key);
        QApplication::sendEvent(p->edtMaxCnt[0], &event);
    }
    EXPECT_EQ(p->edtMaxCnt[0]->text(), "1234567890");
    p->edtPresetCnt[0]->setText("7");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(p->edtMaxCnt[0], &enter);
    EXPECT_TRUE(AnyStartsWith(fx.Received(1), "$0130499602D2"));
}

TEST(CounterPanels, StartStopResetAndOverflowOfACountingModule) {
    PanelFixture fx("01 R710 freq0=100000\n");
    auto* p = fx.Open<TfrmMR710>("(01)R710");
    fx.Received(1);
    // Before the first poll the caption is the form's "Start ": it starts.
    p->btStart[0]->click();
    EXPECT_EQ(fx.Received(1)[0], "$01501");
    EXPECT_EQ(p->btStart[0]->text(), "Start"); // the state it now reads: running
    p->btStart[0]->click();
    EXPECT_EQ(fx.Received(1)[0], "$01500");
    EXPECT_EQ(p->btStart[0]->text(), "Stop");
    p->btStart[0]->click();
    fx.Received(1);

    p->edtMaxCnt[0]->setText("10");
    p->findChild<QPushButton*>("btCN0UpdateCounterSetting")->click();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    p->tmrUpdateCounterDataTimer();
    EXPECT_TRUE(LampOn(p->imgOverflow[0]));
    EXPECT_FALSE(LampOn(p->imgOverflow[1]));
    EXPECT_LE(p->edtCntVal[0]->text().toUInt(), 10u);
    fx.Received(1);
    p->btReset[0]->click();
    EXPECT_EQ(fx.Received(1)[0], "$0160");
}

// ---- filter and input signal ----

TEST(CounterPanels, FilterWidthsAndTriggerLevelsAreClampedAndFormatted) {
    PanelFixture fx("01 R710\n");
    auto* p = fx.Open<TfrmMR710>("(01)R710");
    EXPECT_EQ(p->edtHighLevelVolt->text(), "2.4");
    fx.Received(1);
    p->chkFilterState->setChecked(true);
    p->edtHighLevelWidth->setText("70000");
    p->edtLowLevelWidth->setText("");
    p->edtHighLevelVolt->setText("5.7");
    p->edtLowLevelVolt->setText("0.35");
    const long long before = fx.ui().clockMs;
    p->btFilterUpdate->click();
    EXPECT_EQ(fx.Received(1),
              (Strings{"$01B", "$0141", "$010H65535", "$010L00000", "$011H50", "$011L03", "$01B",
                       "$014", "$010H", "$010L", "$011H", "$011L"}));
    EXPECT_EQ(fx.ui().clockMs - before, 1000);
    EXPECT_EQ(fx.ui().Texts().back(), "Update succeeded!");
    EXPECT_EQ(p->edtHighLevelWidth->text(), "65535");
    EXPECT_EQ(p->edtLowLevelWidth->text(), "0");
    EXPECT_EQ(p->edtHighLevelVolt->text(), "5");
    EXPECT_EQ(p->edtLowLevelVolt->text(), "0.3");

    p->edtHighLevelVolt->setText("1.2.3");
    p->btFilterUpdate->click();
    EXPECT_EQ(fx.ui().Texts().back(), "Please input a decimal number!");
    EXPECT_TRUE(fx.Received(1).empty());

    // Photo input: no trigger levels; in frequency mode nothing to filter at all.
    p->cmbInputSignal->setCurrentIndex(1);
    p->btInputSignalUpdate->click();
    EXPECT_EQ(fx.Received(1), (Strings{"$01B1", "$01B", "$014", "$010H", "$010L"}));
    EXPECT_EQ(fx.ui().Texts().back(), "Write input mode succeeded!");
    EXPECT_FALSE(p->edtHighLevelVolt->isEnabled());
    fx.WithModule(1, [](sim::SimModule& m) { m.config().typeCode = 0x51; });
    p->PageControlChange(1);
    EXPECT_FALSE(p->btFilterUpdate->isEnabled());
    EXPECT_FALSE(p->edtHighLevelWidth->isEnabled());
}

// ---- outputs and alarms ----

TEST(CounterPanels, R710OutputsAndPresetModeLabels) {
    PanelFixture fx("01 R710\n");
    auto* p = fx.Open<TfrmMR710>("(01)R710");
    p->tmrUpdateCounterDataTimer();
    fx.Received(1);
    p->btDO[1]->click();
    EXPECT_EQ(fx.Received(1), (Strings{"@01DO02", "@01DI"}));
    EXPECT_TRUE(LampOn(p->btDO[1]));
    p->btDO[0]->click();
    EXPECT_EQ(fx.Received(1), (Strings{"@01DO03", "@01DI"}));
    fx.WithModule(1, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    p->btDO[0]->click(); // the module took it but its reply is lost
    EXPECT_EQ(fx.ui().Texts().back(), "Write Digital Output Failed!!");
    EXPECT_EQ(fx.Received(1), (Strings{"@01DO02", "@01DI"}));
    EXPECT_EQ(p->btDO[0]->property("Tag").toInt(), 0); // as read back
    EXPECT_EQ(p->btDO[1]->property("Tag").toInt(), 1);

    p->chkPresetMode[1]->setChecked(true);
    p->findChild<QPushButton*>("btCN1StatusUpdate")->click();
    p->tmrUpdateCounterDataTimer();
    EXPECT_EQ(p->labAlarmMode[0]->text(), "Normal Mode");
    EXPECT_EQ(p->labAlarmMode[1]->text(), "Alarm Mode");
}

TEST(CounterPanels, R710DAlarmLimitsLabelsAndLatchClearing) {
    PanelFixture fx("01 R710D\n");
    auto* p = fx.Open<TfrmMR710D>("(01)R710D");
    ASSERT_NE(p, nullptr);
    const Strings init = fx.Received(1);
    EXPECT_EQ(Strings(init.end() - 6, init.end()),
              (Strings{"$0130", "@01DI", "@01RA", "@01RP", "$0131", "$018"}));
    EXPECT_EQ(p->findChild<QPushButton*>("btCN0UpdateCounterSetting"), nullptr);
    p->edtMaxCnt[0]->setText("1000");
    p->edtCN0HighAlarm->setText("100");
    p->edtCN0LowAlarm->setText("10");
    p->cmbAlarmType->setCurrentIndex(2);
    const long long before = fx.ui().clockMs;
    p->findChild<QPushButton*>("btCN0StatusUpdate")->click();
    EXPECT_EQ(fx.Received(1), (Strings{"@01SA00000064", "@01PA0000000A", "@01EAL", "$0130000003E8",
                                       "$0130", "@01DI", "@01RA", "@01RP"}));
    EXPECT_EQ(fx.ui().clockMs - before, 1200);
    EXPECT_EQ(fx.ui().Texts().back(), "Update Counter Status succeeded!");
    EXPECT_EQ(p->cmbAlarmType->currentText(), "LATCH");

    p->tmrUpdateCounterDataTimer();
    EXPECT_EQ(p->labAlarmMode[0]->text(), "High Alarm");
    EXPECT_EQ(p->labAlarmMode[1]->text(), "Low Alarm");
    EXPECT_EQ(p->btDO[1]->toolTip(), "Clear Latch");
    EXPECT_TRUE(LampOn(p->btDO[1])); // count 0 is below the low limit
    fx.Received(1);
    p->btDO[0]->click();
    EXPECT_EQ(fx.Received(1), (Strings{"@01CA", "@01DI"}));

    p->cmbAlarmType->setCurrentIndex(0);
    p->findChild<QPushButton*>("btCN0StatusUpdate")->click();
    p->tmrUpdateCounterDataTimer();
    EXPECT_EQ(p->labAlarmMode[1]->text(), "Normal Mode");
    EXPECT_EQ(p->btDO[0]->toolTip(), "Director DO0 output");
    fx.Received(1);
    p->btDO[0]->click();
    EXPECT_EQ(fx.Received(1)[0], "@01DO01");
    p->btSystemUpdate->click();
    EXPECT_EQ(fx.ui().Texts().back(), "Update general setting succeeded!");
}

TEST(CounterPanels, R710DDisplaySourceAndValue) {
    PanelFixture fx("01 R710D\n");
    auto* p = fx.Open<TfrmMR710D>("(01)R710D");
    EXPECT_FALSE(p->edtLEDValue->isEnabled());
    p->cmbLEDDisplaySetting->setCurrentIndex(2);
    EXPECT_TRUE(p->edtLEDValue->isEnabled());
    fx.Received(1);
    const std::pair<const char*, const char*> values[] = {{"12345", "$0199999.9"},
                                                          {"7.5", "$0190007.5"}};
    for (const auto& [text, command] : values) {
        p->edtLEDValue->setText(text);
        p->btUpateLEDSetting->click();
        EXPECT_EQ(fx.Received(1), (Strings{"$0182", "$018", command, "$018"}));
        EXPECT_EQ(fx.ui().Texts().back(), "Update LED Setting succeeded!");
    }
    EXPECT_DOUBLE_EQ(fx.WithModule(1, [](sim::SimModule& m) { return Counter(m).LedValue(); }),
                     7.5);
    p->edtLEDValue->setText("..");
    p->btUpateLEDSetting->click();
    EXPECT_EQ(fx.ui().Texts().back(), "Please input a decimal number!");
    EXPECT_TRUE(fx.Received(1).empty());
    p->cmbLEDDisplaySetting->setCurrentIndex(1);
    p->btUpateLEDSetting->click();
    EXPECT_EQ(fx.Received(1), (Strings{"$0181", "$018"}));
    EXPECT_FALSE(p->edtLEDValue->isEnabled());
}

// ---- settings files ----

TEST(CounterPanels, R710SettingsRoundTripOntoAModuleInTheOtherMode) {
    QTemporaryDir dir;
    PanelFixture fx("01 R710\n02 R710 type=51\n");
    auto* source = fx.Open<TfrmMR710>("(01)R710");
    source->edtMaxCnt[0]->setText("255");
    source->edtInitialCnt[0]->setText("4294967295");
    source->chkPresetMode[0]->setChecked(true);
    source->btCounterUpdate[0]->click();
    source->cmbCntEnableGate->setCurrentIndex(0);
    source->btSystemUpdate->click();
    const QString first = dir.filePath("first.txt"), second = dir.filePath("second.txt");
    fx.ui().saveNames.push_back(first);
    source->SaveSettings();
    EXPECT_EQ(fx.ui().defaultNames.back(), "R710.txt");
    // Outside INIT the baud rate and checksum are not settable: no lines for them.
    EXPECT_EQ(ReadAll(first), "Module Name:  Tavo-R710 \r\n"
                              "Input Range: 0\r\nCounter Enable Gate: 0\r\nInput Signal: 0\r\n"
                              "Filter State: 1\r\nHigh Level Width: 0\r\nLow Level Width: 0\r\n"
                              "High Level Volt: 2.4\r\nLow Level Volt: 0.8\r\nCN0 Max Cnt: 255\r\n"
                              "CN0 Preset Mode Enable: 0\r\nCN0 Preset Cnt: 0\r\n"
                              "CN0 Initial Cnt: 4294967295\r\nCN1 Max Cnt: 4294967295\r\n"
                              "CN1 Preset Mode Enable: 1\r\nCN1 Preset Cnt: 0\r\n"
                              "CN1 Initial Cnt: 0\r\n");

    auto* target = fx.Open<TfrmMR710>("(02)R710");
    fx.ui().openNames.push_back(first);
    target->LoadSettings();
    fx.ui().saveNames.push_back(second);
    target->SaveSettings();
    EXPECT_EQ(ReadAll(second), ReadAll(first));
    EXPECT_TRUE(target->tmrUpdateCounterData->isActive());
}

TEST(CounterPanels, R710DSettingsRoundTripSendsTheDisplaySourceOnly) {
    QTemporaryDir dir;
    PanelFixture fx("01 R710D\n02 R710D\n");
    auto* source = fx.Open<TfrmMR710D>("(01)R710D");
    source->edtMaxCnt[1]->setText("99");
    source->btCounterUpdate[1]->click();
    source->edtCN0HighAlarm->setText("500");
    source->cmbAlarmType->setCurrentIndex(1);
    source->btCounterUpdate[0]->click();
    source->cmbLEDDisplaySetting->setCurrentIndex(2);
    source->edtLEDValue->setText("12.5");
    source->btUpateLEDSetting->click();
    const QString first = dir.filePath("first.txt"), second = dir.filePath("second.txt");
    fx.ui().saveNames.push_back(first);
    source->SaveSettings();
    const QByteArray saved = ReadAll(first);
    EXPECT_EQ(saved, "Module Name:  Tavo-R710D \r\nInput Range: 0\r\nCounter Enable Gate: 2\r\n"
                     "Input Signal: 0\r\nFilter State: 1\r\nHigh Level Width: 0\r\n"
                     "Low Level Width: 0\r\nHigh Level Volt: 2.4\r\nLow Level Volt: 0.8\r\n"
                     "CN0 Max Cnt: 4294967295\r\nAlarm Type: 1\r\n"
                     "CN0 High Alarm Value: 500\r\nCN0 Low Alarm Value: 0\r\n"
                     "CN1 Max Cnt: 99\r\nLED Display Setting: 2\r\n");

    auto* target = fx.Open<TfrmMR710D>("(02)R710D");
    fx.Received(2);
    fx.ui().openNames.push_back(first);
    target->LoadSettings();
    const Strings sent = fx.Received(2);
    EXPECT_TRUE(AnyStartsWith(sent, "$0282"));
    EXPECT_FALSE(AnyStartsWith(sent, "$029")); // the display value is not in the file
    fx.ui().saveNames.push_back(second);
    target->SaveSettings();
    EXPECT_EQ(ReadAll(second), saved);
}

// In INIT state the baud rate and checksum lines are written; the reader takes
// files with and without them (those of earlier versions always had them), and
// applies them only where they can be written.
TEST(CounterPanels, BaudAndChecksumLinesOnlyFromInitAndReadEitherWay) {
    const QByteArray tail = "Input Range: 0\r\nCounter Enable Gate: 1\r\nInput Signal: 0\r\n"
                            "Filter State: 0\r\nHigh Level Width: 20\r\nLow Level Width: 30\r\n"
                            "High Level Volt: 2.4\r\nLow Level Volt: 0.8\r\n"
                            "CN0 Max Cnt: 4294967295\r\nCN0 Preset Mode Enable: 1\r\n"
                            "CN0 Preset Cnt: 0\r\nCN0 Initial Cnt: 0\r\n"
                            "CN1 Max Cnt: 4294967295\r\nCN1 Preset Mode Enable: 1\r\n"
                            "CN1 Preset Cnt: 0\r\nCN1 Initial Cnt: 0\r\n";
    const QByteArray head = "Module Name:  Tavo-R710 \r\n";
    const QByteArray withLines = head + "BaudRate: 5\r\ncheckSum: 0\r\n" + tail;
    const QByteArray without = head + tail;
    QTemporaryDir dir;
    PanelFixture fx("01 R710 init\n");
    auto* init = fx.Open<TfrmMR710>("(*)R710");
    init->cmbCntEnableGate->setCurrentIndex(1);
    init->chkFilterState->setChecked(true);
    init->edtHighLevelWidth->setText("20");
    init->edtLowLevelWidth->setText("30");
    init->cmbBaudRate->setCurrentIndex(5);
    init->chkCheckSum->setChecked(true);
    const QString saved = dir.filePath("init.txt");
    fx.ui().saveNames.push_back(saved);
    init->SaveSettings();
    EXPECT_EQ(ReadAll(saved), withLines);

    struct Row {
        const QByteArray& file;
        const char* bus;
        const char* node;
        unsigned address;
        std::string wire;   // the address the panel talks to
        const char* config; // the configuration write the load sends
    };
    // INIT panels write what the file holds, or (without the lines) what they show;
    // a normal panel writes only the address and mode.
    const Row rows[] = {{withLines, "01 R710 init\n", "(*)R710", 1, "00", "%0001500840"},
                        {without, "01 R710 init\n", "(*)R710", 1, "00", "%0001500600"},
                        {withLines, "02 R710\n", "(02)R710", 2, "02", "%0202500600"},
                        {without, "02 R710\n", "(02)R710", 2, "02", "%0202500600"}};
    int n = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(n);
        PanelFixture load(r.bus);
        auto* p = load.Open<TfrmMR710>(r.node);
        ASSERT_NE(p, nullptr);
        const QString path = dir.filePath(QString("f%1.txt").arg(n++));
        ASSERT_TRUE(test::WriteAll(path, r.file));
        load.Received(r.address);
        load.ui().openNames.push_back(path);
        p->LoadSettings();
        const Strings sent = load.Received(r.address);
        EXPECT_EQ(test::Starting(sent, "%"), Strings{r.config});
        EXPECT_TRUE(AnyStartsWith(sent, "$" + r.wire + "A1")); // the file's gate
        EXPECT_TRUE(AnyStartsWith(sent, "$" + r.wire + "0H00020")); // its filter widths
        EXPECT_TRUE(AnyStartsWith(sent, "$" + r.wire + "31", 6)); // the last group
        for (const QString& text : load.ui().Texts())
            EXPECT_FALSE(text.startsWith("Load Configuration File Error!")) << text.toStdString();
    }
}

TEST(CounterPanels, BrokenSettingsFilesStopWhereTheyStopMatching) {
    const QByteArray general = "Module Name:  Tavo-R710 \r\nBaudRate: 3\r\ncheckSum: 1\r\n"
                               "Input Range: 0\r\nCounter Enable Gate: 2\r\n";
    const QByteArray filter = "Input Signal: 0\r\nFilter State: 1\r\nHigh Level Width: 10\r\n"
                              "Low Level Width: 10\r\nHigh Level Volt: 2\r\nLow Level Volt: 1\r\n";
    const QByteArray ch0 = "CN0 Max Cnt: 50\r\nCN0 Preset Mode Enable: 1\r\nCN0 Preset Cnt: 1\r\n"
                           "CN0 Initial Cnt: 2\r\n";
    struct Row {
        QByteArray bytes;
        bool general, filter, channel0;
    };
    const Row rows[] = {
        {general + filter + ch0, true, true, true},
        {general + filter + "CN0 Max Cnt: 99999999999\r\n" + ch0.mid(17), true, true, false},
        {general + filter + "CN0 Max Cnt: 50\r\nCN0 Preset Cnt: 1\r\n", true, true, false},
        {general + QByteArray(filter).replace("Width: 10", "Width: ten"), true, false, false},
        {general + "Filter State: 1\r\nInput Signal: 0\r\n", true, false, false},
        {QByteArray(general).replace("Counter Enable", "Frequency Gate"), false, false, false},
        {QByteArray(general).replace("Input Range: 0", "Input Range: 5"), false, false, false},
        {QByteArray(2000, '\0'), false, false, false},
    };
    QTemporaryDir dir;
    PanelFixture fx("01 R710\n");
    auto* p = fx.Open<TfrmMR710>("(01)R710");
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(n);
        const QString path = dir.filePath(QString("f%1.txt").arg(n++));
        ASSERT_TRUE(test::WriteAll(path, row.bytes));
        fx.Received(1);
        fx.ui().openNames.push_back(path);
        p->LoadSettings();
        const Strings sent = fx.Received(1);
        EXPECT_EQ(AnyStartsWith(sent, "%"), row.general);
        EXPECT_EQ(AnyStartsWith(sent, "$010H", 6), row.filter);
        EXPECT_EQ(AnyStartsWith(sent, "$0130", 6), row.channel0);
        EXPECT_TRUE(p->tmrUpdateCounterData->isActive());
    }
}

} // namespace
} // namespace tavo
