// The rack's digital and counter slot panels against the simulated racks: the
// slot commands each member sends when it opens and on every poll, driving
// outputs, the watchdog outputs (and the rack watchdog putting them out), the
// counter panel's general settings and settings file, the counter channel dialog
// with its alarms, a slot module pulled out and put back, and replies or typed
// values that must not be taken.
#include "file_helpers.h"
#include "panel_fixture.h"

#include "panels/common/form_controls.h"
#include "panels/system/k710_panels.h"
#include "panels/system/k_digital_panels.h"
#include "sim/rack_access.h"
#include "support/pty_peer.h"
#include "transport/com_port.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

namespace tavo {
namespace {

using test::PanelFixture;
using test::Starting;
using Strings = std::vector<std::string>;

// Rack 01 holds every digital member (slot n = row n of the table below); rack 02
// a counter beside a digital slot; rack 03 (four slots) takes settings files.
const char* const kRacks = "01 K100E firmware=A3.10 slots=K510,K520,K530,K540,K550,K610,K620,K630\n"
                           "02 K100E firmware=A3.10 slots=K710,K510,K220,K620\n"
                           "03 K100 firmware=A3.10 slots=K710,K510\n";

sim::RackAccess& RackOf(sim::SimModule& m) {
    auto* rack = m.Find<sim::RackAccess>();
    if (!rack) throw std::logic_error("not a simulated rack");
    return *rack;
}

// Opens rack `rack`'s node, then the slot node; forgets what the rack panel sent.
template <class Panel> Panel* OpenSlot(PanelFixture& fx, int rack, const QString& slotNode) {
    fx.Open(QString("(%1)K100%2").arg(rack, 2, 10, QChar('0')).arg(rack == 3 ? "" : "E"));
    fx.Received(static_cast<unsigned>(rack));
    fx.ui().Clear();
    return fx.OpenChild<Panel>({slotNode});
}

QStringList Captions(const TfrmMK510* p) {
    QStringList out;
    for (const auto* b : p->bitbtn)
        if (!b->isHidden()) out << b->text();
    return out;
}

int VisibleWatchdogBoxes(const TfrmMK510* p) {
    int n = 0;
    for (const auto* box : p->chkWDT)
        n += box->isHidden() ? 0 : 1;
    return n;
}

QStringList Range(const char* format, int from, int to) {
    QStringList out;
    for (int n = from; n <= to; ++n)
        out << QString(format).arg(n);
    return out;
}

// ---- the digital members ----

struct MemberCase {
    const char* node;
    Strings attach; // after the slot node is clicked
    QStringList captions;
    bool watchdogShown;
    int watchdogBoxes;
    bool buttonsEnabled;
    const char* lowField;  // edtDO_Hex after the first poll
    const char* highField; // edtDI_Hex (empty: hidden)
};

TEST(KDigitalPanels, EachMemberSendsItsSlotCommandsAndShowsItsForm) {
    const QStringList doLow = Range("DO %1", 0, 7), diHigh = Range("DI %1", 8, 15);
    const MemberCase cases[] = {
        {"(S0)K510", {"$01S07", "$01S0M", "$01XS0"}, doLow + diHigh, true, 8, true, "0x00", "0xA5"},
        {"(S1)K520", {}, Range("DI %1", 0, 15), false, 0, true, "0xA5", "0xA5"},
        {"(S2)K530", {}, Range("DI %1", 0, 15), false, 0, false, "0xA5", "0x00"},
        {"(S3)K540", {"$01S3M", "$01XS3"}, doLow + diHigh, true, 8, true, "0x00", "0xA5"},
        {"(S4)K550", {"$01S4M", "$01XS4"}, Range("DO %1", 0, 15), true, 16, true, "0x00", "0x00"},
        {"(S5)K610", {"$01S5M", "$01XS5"}, Range("DO %1", 0, 5), true, 6, true, "0x00", ""},
        {"(S6)K620", {"$01S6M", "$01XS6"}, doLow, true, 8, true, "0x00", ""},
        {"(S7)K630", {"$01S7M", "$01XS7"}, doLow, true, 8, true, "0x00", ""},
    };
    PanelFixture fx(kRacks);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.node);
        auto* p = OpenSlot<TfrmMK510>(fx, 1, c.node);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(fx.Received(1), c.attach);
        EXPECT_TRUE(fx.ui().boxes.empty()) << fx.ui().Texts().join(" / ").toStdString();
        EXPECT_EQ(Captions(p), c.captions);
        EXPECT_EQ(!p->grpWDT->isHidden(), c.watchdogShown);
        EXPECT_EQ(VisibleWatchdogBoxes(p), c.watchdogBoxes);
        EXPECT_EQ(p->btnUpdateWDT->isEnabled(), c.watchdogShown);
        EXPECT_EQ(p->bitbtn[0]->isEnabled(), c.buttonsEnabled);
        EXPECT_TRUE(p->tmrUpdateDIData->isActive());
        EXPECT_EQ(p->tmrUpdateDIData->interval(), 500);

        const QString slot = QString(c.node).mid(1, 2);
        p->tmrUpdateDIDataTimer();
        EXPECT_EQ(fx.Received(1), Strings{"$01" + slot.toStdString() + "6"});
        EXPECT_EQ(fx.StatusText(), "Polling DIO data...");
        EXPECT_EQ(p->edtDO_Hex->text(), c.lowField);
        if (*c.highField) {
            EXPECT_EQ(p->edtDI_Hex->text(), c.highField);
        }
        EXPECT_EQ(p->grpHighByte->isHidden(), !*c.highField);
    }
}

TEST(KDigitalPanels, OutputsToggleFromThePolledStateAndInputsAreRefused) {
    PanelFixture fx(kRacks);
    auto* p = OpenSlot<TfrmMK510>(fx, 1, "(S0)K510");
    ASSERT_NE(p, nullptr);
    fx.Received(1);
    p->bitbtn[3]->click();
    EXPECT_EQ(fx.Received(1), (Strings{"#01S01301", "$01S06"}));
    EXPECT_EQ(p->State(3), 1);
    EXPECT_TRUE(LampOn(p->bitbtn[3]));
    EXPECT_EQ(p->edtDO_Hex->text(), "0x08");
    EXPECT_TRUE(p->tmrUpdateDIData->isActive());
    p->bitbtn[3]->click();
    EXPECT_EQ(fx.Received(1), (Strings{"#01S01300", "$01S06"}));
    EXPECT_FALSE(LampOn(p->bitbtn[3]));

    // An input (from the DIP switch) sends nothing.
    p->bitbtn[9]->click();
    EXPECT_TRUE(fx.Received(1).empty());
    EXPECT_EQ(fx.StatusText(), "DI is not controllable!");
}

TEST(KDigitalPanels, RelaySlotsDriveButtonsFromTheHighByte) {
    PanelFixture fx(kRacks);
    auto* p = OpenSlot<TfrmMK510>(fx, 1, "(S6)K620");
    ASSERT_NE(p, nullptr);
    fx.Received(1);
    for (int b : {0, 2, 5, 7})
        p->bitbtn[static_cast<std::size_t>(b)]->click();
    EXPECT_EQ(Starting(fx.Received(1), "#"),
              (Strings{"#01S61001", "#01S61201", "#01S61501", "#01S61701"}));
    // The slot now answers A500: bits 8..15 are buttons 0..7.
    EXPECT_EQ(p->edtDO_Hex->text(), "0xA5");
    EXPECT_EQ(p->grpLowByte->title(), "Byte(Hex)");
    for (int b = 0; b < 8; ++b)
        EXPECT_EQ(p->State(b), (0xA5 >> b) & 1) << b;
}

TEST(KDigitalPanels, WatchdogOutputsAreWrittenReadBackAndPutOutByTheRack) {
    PanelFixture fx(kRacks);
    auto* p = OpenSlot<TfrmMK510>(fx, 1, "(S0)K510");
    ASSERT_NE(p, nullptr);
    fx.Received(1);
    p->chkWDT[1]->setChecked(true);
    p->chkWDT[3]->setChecked(true);
    p->btnUpdateWDT->click();
    EXPECT_EQ(fx.Received(1), (Strings{"$01XS0D000A", "$01XS0"}));
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update WDT Setting succeeded!"});
    EXPECT_TRUE(p->chkWDT[1]->isChecked());
    EXPECT_FALSE(p->chkWDT[0]->isChecked());

    // The controller's watchdog for slot 0 runs out: its outputs go to the mask.
    fx.WithModule(1, [](sim::SimModule& m) {
        const auto now = sim::SimClock::now();
        m.OnAsciiLine("$01X0001", now);
        m.OnAsciiLine("$01XEW01", now);
        RackOf(m).Idle(now + std::chrono::seconds(3));
        return 0;
    });
    fx.Received(1);
    p->tmrUpdateDIDataTimer();
    EXPECT_EQ(p->edtDO_Hex->text(), "0x0A");
    EXPECT_EQ(p->State(1), 1);
    EXPECT_EQ(p->State(3), 1);

    // An output the slot does not have is refused by the module.
    fx.ui().Clear();
    auto* k620 = OpenSlot<TfrmMK510>(fx, 1, "(S5)K610");
    ASSERT_NE(k620, nullptr);
    EXPECT_EQ(VisibleWatchdogBoxes(k620), 6);
}

// ---- the counter slot ----

TEST(K710Panel, OpensAndPollsEveryChannelThenChangesMode) {
    PanelFixture fx(kRacks);
    auto* p = OpenSlot<TfrmMK710>(fx, 2, "(S0)K710");
    ASSERT_NE(p, nullptr);
    Strings poll = {"$02S0B"};
    for (int c = 0; c < 4; ++c) {
        poll.push_back("#02S0C" + std::to_string(c));
        poll.push_back("$02S0C" + std::to_string(c) + "S");
    }
    Strings attach = {"$02S0B"};
    attach.insert(attach.end(), poll.begin(), poll.end());
    EXPECT_EQ(fx.Received(2), attach);
    EXPECT_TRUE(fx.ui().boxes.empty());
    EXPECT_EQ(p->cmbModeSelection->currentText(), "Bi-direction Counter");
    EXPECT_EQ(p->cmbDataFormat->currentText(), "Dec");
    EXPECT_EQ(p->edtAIValCh[0]->text().size(), 10);
    EXPECT_TRUE(p->tmrUpdateData->isActive());
    p->tmrUpdateDataTimer();
    EXPECT_EQ(fx.Received(2), poll);
    EXPECT_EQ(fx.StatusText(), "Polling AIO data...");

    p->cmbModeSelection->setCurrentIndex(2);
    const long long before = fx.ui().clockMs;
    p->btUpdate->click();
    EXPECT_EQ(fx.Received(2), (Strings{"$02S0B", "$02S0A0200", "$02S0B"}));
    EXPECT_EQ(fx.ui().clockMs - before, 1000);
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update succeeded!"});
    EXPECT_TRUE(p->imgHiAlarmCh[0]->isHidden());
    EXPECT_FALSE(p->edtAIValCh[0]->isEnabled());
    p->tmrUpdateDataTimer();
    EXPECT_EQ(p->edtAIValCh[0]->text(), "1000.00"); // hundredths of a hertz
    EXPECT_EQ(p->edtAIValCh[1]->text(), "2000.00");
    EXPECT_EQ(p->edtAIUnitCh[0]->text(), "Hz");

    p->cmbModeSelection->setCurrentIndex(0);
    p->cmbDataFormat->setCurrentIndex(1);
    p->btUpdate->click();
    EXPECT_EQ(Starting(fx.Received(2), "$02S0A"), Strings{"$02S0A0002"});
    p->tmrUpdateDataTimer();
    EXPECT_TRUE(p->edtAIValCh[2]->text().startsWith("0x"));
    EXPECT_EQ(p->edtAIValCh[2]->text().size(), 10);
    EXPECT_EQ(p->edtAIUnitCh[2]->text(), "");
}

TEST(K710Panel, FrequencyIsInHertzInEveryDataFormat) {
    PanelFixture fx(kRacks);
    auto* p = OpenSlot<TfrmMK710>(fx, 2, "(S0)K710");
    ASSERT_NE(p, nullptr);
    struct Row {
        int mode, format;
        const char* unit;
        const char* value; // how the reading of channel 0 starts
    };
    const Row rows[] = {
        {2, 1, "Hz", "0x"},   // frequency, hexadecimal
        {2, 0, "Hz", "1000"}, // frequency, decimal
        {0, 1, "", "0x"},     // counting
        {1, 0, "", "0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode * 10 + row.format);
        fx.ui().Clear();
        p->cmbModeSelection->setCurrentIndex(row.mode);
        p->cmbDataFormat->setCurrentIndex(row.format);
        p->btUpdate->click();
        ASSERT_EQ(fx.ui().Texts(), QStringList{"Update succeeded!"});
        p->tmrUpdateDataTimer();
        EXPECT_EQ(fx.StatusText(), "Polling AIO data...");
        EXPECT_TRUE(p->edtAIValCh[0]->text().startsWith(row.value))
            << p->edtAIValCh[0]->text().toStdString();
        for (const QLineEdit* unit : p->edtAIUnitCh)
            EXPECT_EQ(unit->text(), row.unit);
    }
}

TEST(K710Panel, SettingsFileRoundTripOntoASecondRack) {
    QTemporaryDir dir;
    const QString file = dir.filePath("K710.txt");
    PanelFixture fx(kRacks);
    auto* p = OpenSlot<TfrmMK710>(fx, 2, "(S0)K710");
    ASSERT_NE(p, nullptr);
    p->cmbModeSelection->setCurrentIndex(1);
    p->cmbDataFormat->setCurrentIndex(1);
    p->btUpdate->click();
    fx.ui().Clear();
    fx.ui().saveNames.push_back(file);
    p->SaveSettings();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Save File succeeded!"});
    EXPECT_EQ(QString::fromUtf8(test::ReadAll(file)),
              "Module Name:  Tavo-K710 \r\nMode Selection: 1\r\nData Format: 1\r\n");

    auto* q = OpenSlot<TfrmMK710>(fx, 3, "(S0)K710");
    ASSERT_NE(q, nullptr);
    fx.Received(3);
    fx.ui().openNames.push_back(file);
    q->LoadSettings();
    EXPECT_EQ(Starting(fx.Received(3), "$03S0A"), Strings{"$03S0A0102"});
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update succeeded!"});
    EXPECT_EQ(q->cmbModeSelection->currentIndex(), 1);
    EXPECT_EQ(q->cmbDataFormat->currentIndex(), 1);

    // A file of another model loads nothing.
    const QString other = dir.filePath("R710.txt");
    test::WriteAll(other, "Module Name: Tavo-R710\r\nMode Selection: 2\r\nData Format: 0\r\n");
    fx.ui().Clear();
    fx.ui().openNames.push_back(other);
    q->LoadSettings();
    EXPECT_TRUE(Starting(fx.Received(3), "$03S0A").empty());
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Load Configuration File Error!"});
}

TEST(K710AlarmSetting, OpensFromTheChannelNodeWritesTheAlarmAndReadsItBack) {
    PanelFixture fx(kRacks);
    fx.Open("(02)K100E");
    fx.Received(2);
    auto* d = fx.OpenChild<TfrmMK710AlarmSetting>({"(S0)K710", "(CH 1)"});
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(fx.Received(2), (Strings{"$02S0B", "$02S00", "$02S0C15", "@02S0C1G", "$02S0C1AH",
                                       "$02S0C1RHU", "$02S0C1RHC", "$02S0C1AL", "$02S0C1RLU",
                                       "$02S0C1RLC", "$02S0C1S", "#02S0C1"}));
    EXPECT_TRUE(fx.ui().boxes.empty()) << fx.ui().Texts().join(" / ").toStdString();
    EXPECT_EQ(d->edtCounterMode->text(), "Bi-direction Counter");
    EXPECT_EQ(d->cmbHighAlarmType->currentText(), "Disable");
    EXPECT_EQ(d->lblCounterStatus->text(), "Counter Start/Stop   Current Status: Start");
    EXPECT_TRUE(d->grpModule->title().contains("CH 1"));

    d->cmbHighAlarmType->setCurrentIndex(TfrmMK710AlarmSetting::kLatch);
    d->edtHighLimit->setText("50");
    d->chkHighDOEnable->setChecked(true);
    d->cmbHighDOSlot->setCurrentIndex(1);
    d->cmbHighDOChannel->setCurrentIndex(2);
    d->edtLowLimit->setText("0");
    d->chkLowDOEnable->setChecked(false);
    {
        // Each step's text stays in the busy indicator while the slot takes the write;
        // the low alarm stays disabled, so only its wait comes.
        test::Timeline wire(fx, 2, true);
        d->btUpdateAlarmSetting->click();
        const Strings events = wire.Take();
        const Strings writes = {"busy Preparing to update channel...",
                                "wait 500",
                                "$02S0C1AHEE",
                                "wait 500",
                                "$02S0C1AHL",
                                "busy Writing High Alarm Type...",
                                "wait 600",
                                "busy Writing Low Alarm Type...",
                                "wait 600",
                                "$02S0C1AHU0000000050",
                                "busy Updating High Alarm Limit...",
                                "wait 500",
                                "$02S0C1ALU0000000000",
                                "busy Updating Low Alarm Limit...",
                                "wait 500",
                                "$02S0C1AHCS1C2",
                                "busy Updating High DO Mapping...",
                                "wait 500",
                                "$02S0C1ALCS*C*",
                                "busy Updating Low DO Mapping...",
                                "wait 500",
                                "$02S0C1AH"}; // the read-back begins
        ASSERT_GE(events.size(), writes.size());
        EXPECT_EQ(Strings(events.begin(), events.begin() + static_cast<long>(writes.size())),
                  writes);
    }
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update Alarm Setting succeeded!"});
    EXPECT_EQ(d->cmbHighAlarmType->currentText(), "Latch");
    EXPECT_EQ(d->edtHighLimit->text(), "50");
    EXPECT_TRUE(d->chkHighDOEnable->isChecked());
    EXPECT_EQ(d->cmbHighDOSlot->currentIndex(), 1);
    EXPECT_EQ(d->cmbHighDOChannel->currentIndex(), 2);

    // An initial value above the limit trips the latched high alarm.
    fx.ui().Clear();
    d->edtInitialValue->setText("100");
    d->btUpdateInitialValue->click();
    EXPECT_EQ(Starting(fx.Received(2), "@02S0C1P"), Strings{"@02S0C1P0000000100"});
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update Initial Value succeeded!"});
    d->tmrUpdateDataTimer();
    EXPECT_TRUE(LampOn(d->imgHiAlarm));
    EXPECT_FALSE(LampOn(d->imgLoAlarm));

    // The digital slot's output 2 is now the alarm's: masked on its panel.
    fx.ui().Clear();
    auto* dio = fx.OpenChild<TfrmMK510>({"(S1)K510"});
    ASSERT_NE(dio, nullptr);
    EXPECT_EQ(dio->bitbtn[2]->text(), "Mask");
    EXPECT_EQ(dio->bitbtn[2]->toolTip(), "This channel was masked by AI module.");
    fx.Received(2);
    dio->bitbtn[2]->click();
    EXPECT_TRUE(fx.Received(2).empty());
    EXPECT_EQ(fx.ui().Texts(),
              QStringList{"This channel was masked by AI module and uncontrollable!"});
    dio->tmrUpdateDIDataTimer();
    EXPECT_EQ(dio->State(2), 1); // driven by the alarm
}

TEST(K710AlarmSetting, CounterSwitchScaleLatchesAndClearing) {
    PanelFixture fx(kRacks);
    fx.Open("(02)K100E");
    auto* d = fx.OpenChild<TfrmMK710AlarmSetting>({"(S0)K710", "(CH 2)"});
    ASSERT_NE(d, nullptr);
    fx.Received(2);
    fx.ui().Clear();
    d->btCounterSwitch->click();
    EXPECT_EQ(fx.Received(2), (Strings{"$02S0C250", "$02S00", "$02S0C25", "@02S0C2G"}));
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Counter Stopped..."});
    EXPECT_EQ(d->lblCounterStatus->text(), "Counter Start/Stop   Current Status: Stop");
    EXPECT_EQ(d->btCounterSwitch->text(), "S&tart Counter");

    fx.ui().Clear();
    d->edtFilterScale->setText("250");
    d->btUpdateScale->click();
    EXPECT_EQ(Starting(fx.Received(2), "$02S00"), (Strings{"$02S0000250", "$02S00"}));
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update Scale succeeded!"});
    EXPECT_EQ(d->edtFilterScale->text(), "250");

    fx.ui().Clear();
    d->btClearHighLatch->click();
    d->btClearLowLatch->click();
    d->btClearCounter->click();
    EXPECT_EQ(Starting(fx.Received(2), "$02S0C2C"), (Strings{"$02S0C2CH", "$02S0C2CL"}));
    EXPECT_EQ(fx.ui().Texts(),
              (QStringList{"Clear High Latch succeeded!", "Clear Low Latch succeeded!",
                           "Update Clear Counter succeeded!"}));
}

TEST(K710AlarmSetting, BadNumbersAreRefusedBeforeAnythingIsSent) {
    PanelFixture fx(kRacks);
    fx.Open("(02)K100E");
    auto* d = fx.OpenChild<TfrmMK710AlarmSetting>({"(S0)K710", "(CH 0)"});
    ASSERT_NE(d, nullptr);
    fx.Received(2);
    struct Case {
        QLineEdit* field;
        QPushButton* button;
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {d->edtFilterScale, d->btUpdateScale, "x1", "Please input valid scale value!"},
        {d->edtFilterScale, d->btUpdateScale, "7", "Please input valid value!!"},
        {d->edtFilterScale, d->btUpdateScale, "65001", "Please input valid value!!"},
        {d->edtInitialValue, d->btUpdateInitialValue, "-5", "Please input valid initial value!"},
        {d->edtInitialValue, d->btUpdateInitialValue, "4294967296",
         "Please input valid initial value!"},
        {d->edtHighLimit, d->btUpdateAlarmSetting, "1e5", "Please input valid high alarm value!"},
        {d->edtHighLimit, d->btUpdateAlarmSetting, "", "Please input valid high alarm value!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        fx.ui().Clear();
        d->edtHighLimit->setText("10");
        d->edtLowLimit->setText("0");
        c.field->setText(c.text);
        c.button->click();
        EXPECT_TRUE(fx.Received(2).empty());
        EXPECT_EQ(fx.ui().Texts(), QStringList{c.message});
    }
    fx.ui().Clear();
    d->edtHighLimit->setText("10");
    d->edtLowLimit->setText("4294967296");
    d->btUpdateAlarmSetting->click();
    EXPECT_TRUE(fx.Received(2).empty());
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Please input valid low alarm value!"});

    // A mapping onto a slot without outputs is refused by the rack.
    fx.ui().Clear();
    d->edtLowLimit->setText("0");
    d->chkHighDOEnable->setChecked(true);
    d->cmbHighDOSlot->setCurrentIndex(2); // the analog input slot
    d->btUpdateAlarmSetting->click();
    EXPECT_EQ(fx.ui().Texts(), (QStringList{"Please check if the target module is DO module!!",
                                            "Error occurred during setup!"}));
}

// ---- slots that are not there, and replies that are not right ----

TEST(KSlotPanels, APulledSlotFailsItsPollsAndWorksAgainWhenPutBack) {
    PanelFixture fx(kRacks);
    auto* p = OpenSlot<TfrmMK510>(fx, 1, "(S0)K510");
    ASSERT_NE(p, nullptr);
    p->tmrUpdateDIDataTimer();
    const QString before = p->edtDI_Hex->text();
    fx.WithModule(1, [](sim::SimModule& m) {
        RackOf(m).PullSlot(0, true);
        return 0;
    });
    p->tmrUpdateDIDataTimer();
    EXPECT_EQ(fx.StatusText(), "Fail to fresh DIO data!");
    EXPECT_TRUE(fx.Indicator() == "2" || fx.Indicator() == "3");
    EXPECT_EQ(p->edtDI_Hex->text(), before);
    p->bitbtn[1]->click();
    EXPECT_EQ(fx.StatusText(), "Fail to set DO!");
    EXPECT_TRUE(p->tmrUpdateDIData->isActive());

    fx.WithModule(1, [](sim::SimModule& m) {
        RackOf(m).PullSlot(0, false);
        return 0;
    });
    p->bitbtn[1]->click();
    EXPECT_EQ(p->State(1), 1);
    EXPECT_EQ(fx.StatusText(), "Polling DIO data...");
    EXPECT_TRUE(fx.Indicator() == "0" || fx.Indicator() == "1");
}

TEST(KSlotPanels, ASlotTheRackLacksShowsFailuresAndAMalformedOneSendsNothing) {
    PanelFixture fx(kRacks);
    auto* p = OpenSlot<TfrmMK510>(fx, 3, "(S5)K510");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(fx.Received(3), (Strings{"$03S57", "$03S5M", "$03XS5"}));
    EXPECT_EQ(fx.ui().Texts(), (QStringList{"Read DO Setting from DIP Swith Error!!",
                                            "Reading Alarm Mask Setting Error!!"}));
    EXPECT_FALSE(p->btnUpdateWDT->isEnabled());
    p->tmrUpdateDIDataTimer();
    EXPECT_EQ(fx.StatusText(), "Fail to fresh DIO data!");
    EXPECT_EQ(p->edtDO_Hex->text(), "");

    fx.ui().Clear();
    fx.Received(3);
    auto* q = fx.OpenChild<TfrmMK710>({"(S9)K710"});
    ASSERT_NE(q, nullptr);
    q->tmrUpdateDataTimer();
    EXPECT_TRUE(fx.Received(3).empty());
    EXPECT_EQ(fx.ui().Texts(),
              (QStringList{"Refresh General Setting Error!", "Refresh Data Area Error!"}));
    EXPECT_EQ(q->edtAIValCh[0]->text(), "");
}

// A panel on a scripted peer: every reply is exactly what the test gives.
struct OnPeer {
    test::ScriptedPeer peer;
    TavoComPort port;
    MainStatusBar status;
    OnPeer() : port(peer.path()) {
        port.OpenPort();
        port.SetPortState(9600, 8, kParityNone, kOneStopBit);
        port.SetTimeOut(80);
    }
    PanelContext Context(const char* slot, const char* channel = "") {
        PanelContext c;
        c.kind = PanelInitKind::Slot;
        c.port = &port;
        c.address = "01";
        c.status = &status;
        c.slot = slot;
        c.channel = channel;
        return c;
    }
};

TEST(KSlotPanels, ShortLongAndNonHexRepliesAreFailuresNotValues) {
    const char* const bad[] = {"!01A5\r", "!01A5G0\r", "!01A5000\r", "?01\r", "!01\r", ""};
    for (const char* reply : bad) {
        SCOPED_TRACE(reply);
        test::ScopedTestUi ui;
        OnPeer on;
        // K520: no reads when it opens; then one poll.
        TfrmMK520 p;
        p.InitModule(on.Context("S1"));
        on.peer.Then(reply);
        p.tmrUpdateDIDataTimer();
        EXPECT_EQ(on.status.StatusMessage(), "Fail to fresh DIO data!");
        EXPECT_EQ(p.edtDO_Hex->text(), "");
        EXPECT_EQ(p.edtDI_Hex->text(), "");
    }
    // The counter: a reading that is no count, a flag that is no flag.
    const std::pair<const char*, const char*> counter[] = {
        {">00000ABC12\r", "!0100\r"}, {">00000000012\r", "!0100\r"}, {">0000000012\r", "!012\r"}};
    for (const auto& [value, flags] : counter) {
        SCOPED_TRACE(value);
        test::ScopedTestUi ui;
        OnPeer on;
        on.peer.Then("!010000\r");
        on.peer.Then("!010000\r");
        on.peer.Then(value);
        on.peer.Then(flags);
        TfrmMK710 p;
        p.InitModule(on.Context("S0"));
        EXPECT_EQ(on.status.StatusMessage(), "Fail to fresh AIO data!");
        EXPECT_EQ(p.edtAIValCh[0]->text(), "");
        EXPECT_EQ(ui.ui().Texts(), QStringList{"Refresh Data Area Error!"});
    }
}

} // namespace
} // namespace tavo
