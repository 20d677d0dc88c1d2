// The rack's analog slot panels and their channel dialogs against the simulated
// racks: the slot commands at attach and per poll, the range change with its
// wait, burn-out, the calibration commands per kind, the channel alarm dialog, the
// settings file onto a second rack, a pulled slot module, and the output slot.
#include "file_helpers.h"
#include "panel_fixture.h"

#include "panels/analog/calib_dialogs.h"
#include "panels/system/k310_panel.h"
#include "panels/system/k_analog_alarm.h"
#include "panels/system/k_analog_slot.h"
#include "sim/rack_access.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "panels/common/edit_controls.h"
#include "panels/common/form_controls.h"

namespace tavo {
namespace {

using test::PanelFixture;
using test::Starting;
using Strings = std::vector<std::string>;

const char* const kRack = "01 K100 slots=K210,K230,K220H,K510\n";
const char* const kInitRack = "01 K100 init slots=K220,K230,K310,K510\n";

sim::RackAccess& RackOf(sim::SimModule& m) {
    auto* rack = m.Find<sim::RackAccess>();
    EXPECT_NE(rack, nullptr);
    return *rack;
}

// Opens the rack node and then a slot (or channel) node below it; forgets what the
// rack panel sent.
template <class Panel>
Panel* OpenSlotQuiet(PanelFixture& fx, const QString& rack, const QStringList& path,
                     unsigned address = 1);
template <class Panel>
Panel* OpenSlot(PanelFixture& fx, const QString& rack, const QStringList& path,
                unsigned address = 1) {
    fx.Open(rack);
    fx.Received(address);
    auto* panel = fx.OpenChild<Panel>(path);
    EXPECT_NE(panel, nullptr) << path.join('/').toStdString();
    return panel;
}

// The same, and forgets the attach commands too.
template <class Panel>
Panel* OpenSlotQuiet(PanelFixture& fx, const QString& rack, const QStringList& path,
                     unsigned address) {
    auto* panel = OpenSlot<Panel>(fx, rack, path, address);
    fx.Received(address);
    return panel;
}

Strings Seq(std::initializer_list<const char*> items) {
    return Strings(items.begin(), items.end());
}

TEST(KAnalogSlotPanels, AttachAndPollCommandsPerMember) {
    struct Row {
        const char* node;
        Strings attach;
        Strings valueTick; // the poll that reads the values
        Strings alarmTick; // the one that reads the alarm states
    };
    const Row rows[] = {
        {"(S0)K210", Seq({"$01S0B", "$01S06"}), Seq({"#01S0C0", "#01S0C1", "#01S0C2"}),
         Seq({"$01S0C0S", "$01S0C1S", "$01S0C2S"})},
        {"(S1)K230", Seq({"$01S1B", "$01S16"}),
         Seq({"#01S1C0", "#01S1C1", "#01S1C2", "#01S1C3", "#01S1C4", "#01S1C5", "#01S1C6"}),
         Seq({"$01S1C0S", "$01S1C1S", "$01S1C2S", "$01S1C3S", "$01S1C4S", "$01S1C5S", "$01S1C6S"})},
        {"(S2)K220H",
         Seq({"$01S2B", "$01S2C0B", "$01S2C1B", "$01S2C2B", "$01S2C3B", "$01S2C4B", "$01S2C5B",
              "$01S2C6B", "$01S2C7B", "$01S2B", "$01S26"}),
         Seq({"#01S2C0", "#01S2C1", "#01S2C2", "#01S2C3", "#01S2C4", "#01S2C5", "#01S2C6",
              "#01S2C7"}),
         Seq({"$01S2C0S", "$01S2C1S", "$01S2C2S", "$01S2C3S", "$01S2C4S", "$01S2C5S", "$01S2C6S",
              "$01S2C7S"})},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.node);
        PanelFixture fx(kRack);
        auto* p = OpenSlot<TfrmMK230>(fx, "(01)K100", {row.node});
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(fx.Received(1), row.attach);
        p->tmrUpdateAIDataTimer();
        EXPECT_EQ(fx.Received(1), row.valueTick);
        EXPECT_EQ(fx.StatusText(), "Polling AI data...");
        p->tmrUpdateAIDataTimer();
        EXPECT_EQ(fx.Received(1), row.alarmTick);
        // Outside INIT the slot's own settings are not offered.
        EXPECT_FALSE(p->btUpdate->isEnabled());
        EXPECT_FALSE(p->btZeroCal->isEnabled());
        EXPECT_TRUE(p->btUpdateChannel->isEnabled());
    }
}

TEST(KAnalogSlotPanels, ShowsReadingsUnitsAndBurnOut) {
    PanelFixture fx(kRack);
    auto* p = OpenSlot<TfrmMK230>(fx, "(01)K100", {"(S1)K230"});
    ASSERT_NE(p, nullptr);
    // The default range is type J (0 to 760 'C); channel c sits at 10 % + c * 10 %.
    EXPECT_EQ(p->cmbInputRanges->currentText(), "Type J  0'C~760'C");
    EXPECT_EQ(p->labAIUnitCh[0]->text(), "'C");
    std::string why;
    fx.WithModule(1, [&](sim::SimModule& m) {
        EXPECT_TRUE(RackOf(m).SetSlotInputs(1, "open=04", sim::TimePoint{}, why)) << why;
    });
    p->tmrUpdateAIDataTimer();
    EXPECT_EQ(p->edtAIValCh[0]->text(), "+76.000");
    EXPECT_EQ(p->edtAIValCh[2]->text(), "Burn-out");
    EXPECT_EQ(p->edtAIValCh[3]->text(), "+304.00");
}

TEST(KAnalogSlotPanels, ChannelEnableWritesTheMaskAndHidesTheRow) {
    PanelFixture fx(kRack);
    auto* p = OpenSlotQuiet<TfrmMK230>(fx, "(01)K100", {"(S1)K230"});
    ASSERT_NE(p, nullptr);
    p->chkEnableCh[3]->setChecked(false);
    p->btUpdateChannelClick();
    EXPECT_EQ(fx.Received(1), Seq({"$01S1577", "$01S16"}));
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update Channel Setup succeeded!"});
    EXPECT_TRUE(p->edtAIValCh[3]->isHidden());
    p->tmrUpdateAIDataTimer();
    EXPECT_TRUE(Starting(fx.Received(1), "#01S1C3").empty());
}

TEST(KAnalogSlotPanels, RangeChangeInInitWritesTheSlotAndWaits) {
    PanelFixture fx(kInitRack);
    auto* p = OpenSlotQuiet<TfrmMK230>(fx, "(*)K100", {"(S1)K230"}, 1);
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(p->btUpdate->isEnabled());
    p->cmbInputRanges->setCurrentIndex(8); // type K, code 0F
    p->cmbDataFormat->setCurrentIndex(1);
    p->cmbIntegrationTime->setCurrentIndex(1);
    const long long before = fx.ui().clockMs;
    std::vector<std::pair<int, std::size_t>> waits; // (ms, commands seen before it)
    fx.ui().onWait = [&](int ms) { waits.push_back({ms, fx.Received(1).size()}); };
    p->btUpdateClick();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update Setting succeeded!"});
    // The wait window and the pause after the message, 500 ms each.
    EXPECT_EQ(fx.ui().clockMs - before, 1000);
    ASSERT_EQ(waits.size(), 2u);
    EXPECT_EQ(waits[0].first, 500);
    EXPECT_EQ(waits[0].second, 2u); // "$00S1B" and the write came before the wait
    fx.ui().onWait = nullptr;
    EXPECT_EQ(p->cmbInputRanges->currentText(), "Type K  0'C~1370'C");
    EXPECT_EQ(p->cmbDataFormat->currentIndex(), 1);
    EXPECT_EQ(p->cmbIntegrationTime->currentIndex(), 1);
    EXPECT_EQ(fx.WithModule(1,
                            [](sim::SimModule& m) {
                                return m.OnAsciiLine("$00S1B", sim::SimClock::now()).value_or("");
                            }),
              "!010F83"); // in its INIT state the rack answers 00 from its own address
    // Two's complement readings are four hexadecimal digits.
    p->tmrUpdateAIDataTimer();
    EXPECT_EQ(p->edtAIValCh[0]->text().size(), 4);
}

TEST(KAnalogSlotPanels, UnwrittenFormatChoiceDoesNotChangeTheReadings) {
    PanelFixture fx(kInitRack);
    auto* p = OpenSlotQuiet<TfrmMK230>(fx, "(*)K100", {"(S1)K230"});
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(p->cmbDataFormat->isEnabled());
    p->cmbDataFormat->setCurrentIndex(1); // Two's Complement, not yet updated
    p->tmrUpdateAIDataTimer();
    EXPECT_EQ(fx.StatusText(), "Polling AI data...");
    EXPECT_EQ(p->edtAIValCh[0]->text(), "+76.000");
}

TEST(KAnalogSlotPanels, CalibrationCommandsPerKind) {
    struct Row {
        const char* node;
        int mode;
        const char* command;
        const char* signal;
        int waitMs; // after the command
    };
    const Row rows[] = {
        {"(S1)K230", TfrmCalib::kZero, "$00S11", "0 mV", 2000},
        {"(S1)K230", TfrmCalib::kSpan, "$00S10", "50 mV", 0},
        {"(S0)K220", TfrmCalib::kZero, "$00S01", "0 mV", 0},
        {"(S0)K220", TfrmCalib::kSpan, "$00S00", "10 V", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.node) + " " + row.command);
        PanelFixture fx(kInitRack);
        auto* p = OpenSlotQuiet<TfrmMK230>(fx, "(*)K100", {row.node});
        ASSERT_NE(p, nullptr);
        QString signal, title;
        fx.ui().onDialog = [&](QDialog& d) {
            auto* calib = qobject_cast<TfrmCalib*>(&d);
            if (!calib) return -1;
            signal = calib->Edit1->text();
            title = calib->windowTitle();
            calib->Button1Click();
            return calib->result();
        };
        const long long before = fx.ui().clockMs;
        row.mode == TfrmCalib::kZero ? p->btZeroCalClick() : p->btSpanCalClick();
        EXPECT_EQ(fx.Received(1), Strings{row.command});
        EXPECT_EQ(signal, row.signal);
        EXPECT_TRUE(title.endsWith(row.mode == TfrmCalib::kZero ? " Zero calibration"
                                                                : " Span calibration"));
        EXPECT_EQ(fx.ui().clockMs - before, row.waitMs);
        EXPECT_TRUE(p->findChild<QTimer*>("tmrUpdateAIData")->isActive());
    }
}

TEST(KAnalogSlotPanels, ColdJunctionThroughTheSlot) {
    PanelFixture fx(kInitRack);
    auto* p = OpenSlotQuiet<TfrmMK230>(fx, "(*)K100", {"(S1)K230"});
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(p->btCJCCal->isVisible() || !p->btCJCCal->isHidden());
    fx.ui().onDialog = [&](QDialog& d) {
        auto* cjc = qobject_cast<TfrmCJC*>(&d);
        if (!cjc) return -1;
        cjc->edtCJCVal->setText("1.0");
        cjc->btExecuteClick();
        return int(QDialog::Rejected);
    };
    p->btCJCCalClick();
    EXPECT_EQ(fx.Received(1), Seq({"$00S13", "$00S19+006F", "$00S13"}));
}

// An alarm dialog of channel 2 of the thermocouple slot in slot 1; slot 3 holds the
// digital module whose outputs the alarm may drive.
struct AlarmRig {
    PanelFixture fx{kRack};
    TfrmMK230AlarmSetting* d = nullptr;
    // `quiet`: forget what the dialog sent while it opened.
    explicit AlarmRig(bool quiet = true) {
        d = OpenSlot<TfrmMK230AlarmSetting>(fx, "(01)K100", {"(S1)K230", "(CH 2)"});
        if (quiet) fx.Received(1);
    }
};

TEST(KAnalogAlarmDialog, OpensFromTheChannelNode) {
    AlarmRig r(false);
    ASSERT_NE(r.d, nullptr);
    EXPECT_EQ(r.d->grpMain->title(), " Tavo-K230 Channel 2 ");
    EXPECT_EQ(r.fx.Received(1),
              Seq({"$01S16", "$01S1C2AH", "$01S1C2AL", "$01S1B", "$01S1C2AH", "$01S1C2RHU",
                   "$01S1C2RHC", "$01S1C2AL", "$01S1C2RLU", "$01S1C2RLC"}));
    // A four-slot rack: the mapping choosers stop at slot 3.
    EXPECT_EQ(r.d->alarm[0].slotChoose->maximum(), 3);
    EXPECT_EQ(r.d->alarm[0].slot->text(), "N/A");
    EXPECT_EQ(r.d->alarm[0].type->currentText(), "Disable");
    EXPECT_FALSE(r.d->alarm[0].limit->isEnabled());
}

TEST(KAnalogAlarmDialog, UpdateWritesTheAlarmAndReadsItBack) {
    AlarmRig r;
    ASSERT_NE(r.d, nullptr);
    auto& high = r.d->alarm[0];
    high.type->setCurrentIndex(2); // Latch
    high.limit->setText("100");
    high.doMap->setChecked(true);
    high.slot->setText("3");
    high.output->setText("1");
    {
        // The low alarm stays disabled: nothing is written for its type or limit.
        test::Timeline wire(r.fx, 1, true);
        r.d->btUpdateDataAreaClick();
        const Strings events = wire.Take();
        const Strings writes = Seq({"$01S16",
                                    "wait 200",
                                    "$01S157F",
                                    "busy Please wait...",
                                    "wait 500",
                                    "busy Preparing to update channel...",
                                    "wait 500",
                                    "$01S1C2AHEE",
                                    "wait 500",
                                    "$01S1C2AHL",
                                    "busy Writing High Alarm Type...",
                                    "wait 600",
                                    "wait 100",
                                    "$01S1C2AHU+100.000",
                                    "wait 100",
                                    "busy Updating High alarm limit...",
                                    "wait 500",
                                    "$01S1C2AHCS3C1",
                                    "busy Updating High DO Mapping...",
                                    "wait 500",
                                    "$01S1C2ALCS*C*",
                                    "busy Updating Low DO Mapping...",
                                    "wait 500",
                                    "busy Please wait...",
                                    "wait 500",
                                    "$01S16"}); // the data area is read again
        ASSERT_GE(events.size(), writes.size());
        EXPECT_EQ(Strings(events.begin(), events.begin() + static_cast<long>(writes.size())),
                  writes);
    }
    EXPECT_EQ(r.fx.ui().Texts(), QStringList{"Update Channel Setup succeeded!"});
    // Read back from the slot.
    EXPECT_EQ(high.type->currentText(), "Latch");
    EXPECT_EQ(high.limit->text(), "+100.000");
    EXPECT_TRUE(high.doMap->isChecked());
    EXPECT_EQ(high.slot->text(), "3");
    EXPECT_EQ(high.output->text(), "1");
    // Channel 2 reads 228 'C, above the limit: the latched alarm lights.
    r.d->tmrUpdateAIDataTimer();
    EXPECT_TRUE(LampOn(r.d->imgHiAlarm));
    EXPECT_FALSE(LampOn(r.d->imgLoAlarm));
    r.d->btClearHLatchClick();
    EXPECT_EQ(Starting(r.fx.Received(1), "$01S1C2CH"), Strings{"$01S1C2CH"});
}

TEST(KAnalogAlarmDialog, FormatListsOpenInInitOnlyAndNeverChangeTheReading) {
    struct Row {
        const char* rack;
        const char* node;
        bool init;
    };
    for (const Row& row : {Row{kRack, "(01)K100", false}, Row{kInitRack, "(*)K100", true}}) {
        SCOPED_TRACE(row.node);
        PanelFixture fx(row.rack);
        auto* d = OpenSlotQuiet<TfrmMK230AlarmSetting>(fx, row.node, {"(S1)K230", "(CH 2)"});
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->cmbDataFormat->isEnabled(), row.init);
        EXPECT_EQ(d->cmbIntegrationTime->isEnabled(), row.init);
        EXPECT_FALSE(d->cmbInputRanges->isEnabled()); // the slot panel's to change
        // A format chosen here is not written: readings stay the slot's own.
        d->cmbDataFormat->setCurrentIndex(1);
        d->tmrUpdateAIDataTimer();
        EXPECT_EQ(fx.StatusText(), "Polling AIO data...");
        EXPECT_EQ(d->edtAIVal->text(), "+228.00");
    }
}

TEST(KAnalogAlarmDialog, BadLimitsAreRefusedBeforeAnythingIsSent) {
    for (const char* limit : {"", "abc", "1e3", "761", "-5", "12.3.4", "+"}) {
        SCOPED_TRACE(limit);
        AlarmRig r;
        ASSERT_NE(r.d, nullptr);
        r.fx.ui().Clear();
        r.d->alarm[1].type->setCurrentIndex(1); // Momentary
        r.d->alarm[1].limit->setText(limit);
        r.d->btUpdateDataAreaClick();
        EXPECT_EQ(r.fx.ui().Texts(), QStringList{"Please input valid Low alarm limit value!"});
        EXPECT_TRUE(r.fx.Received(1).empty());
        EXPECT_TRUE(r.d->findChild<QTimer*>("tmrUpdateAIData")->isActive());
    }
}

TEST(KAnalogAlarmDialog, MappingBeyondTheRackIsRefused) {
    AlarmRig r;
    ASSERT_NE(r.d, nullptr);
    r.fx.ui().Clear();
    r.d->alarm[0].type->setCurrentIndex(1);
    r.d->alarm[0].limit->setText("50");
    r.d->alarm[0].doMap->setChecked(true);
    r.d->alarm[0].slot->setText("5");
    r.d->alarm[0].output->setText("1");
    r.d->btUpdateDataAreaClick();
    EXPECT_EQ(r.fx.ui().Texts(), QStringList{"Please check if the target module is DO module!!"});
    EXPECT_TRUE(r.fx.Received(1).empty());
}

TEST(KAnalogSlotPanels, SettingsFileOntoASecondRack) {
    QTemporaryDir dir;
    const QString file = dir.filePath("K230.txt");
    PanelFixture fx(std::string("01 K100 slots=K230\n02 K100 init slots=-,K230\n"));
    // Rack 1's slot at type K, two's complement, 60 ms; channel 3 off.
    fx.WithModule(1, [](sim::SimModule& m) {
        m.OnAsciiLine("$01S0A0F83", sim::SimClock::now());
        m.OnAsciiLine("$01S0577", sim::SimClock::now());
    });
    auto* a = OpenSlot<TfrmMK230>(fx, "(01)K100", {"(S0)K230"});
    ASSERT_NE(a, nullptr);
    fx.ui().saveNames.push_back(file);
    a->SaveSettings();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Save File succeeded!"});
    const QByteArray saved = test::ReadAll(file);
    EXPECT_TRUE(saved.startsWith("Module Name:  Tavo-K230 \r\nInput Range: 8\r\n"
                                 "Integration Time: 1\r\nData Format: 1\r\n"
                                 "Channel 0 Checked: 1\r\n"))
        << saved.toStdString();
    EXPECT_TRUE(saved.contains("Channel 3 Checked: 0\r\n"));

    fx.ui().Clear();
    auto* b = OpenSlot<TfrmMK230>(fx, "(*)K100", {"(S1)K230"}, 2);
    ASSERT_NE(b, nullptr);
    fx.ui().openNames.push_back(file);
    b->LoadSettings();
    EXPECT_EQ(fx.ui().Texts(),
              QStringList({"Update Setting succeeded!", "Update Channel Setup succeeded!"}));
    fx.WithModule(2, [](sim::SimModule& m) {
        // In its INIT state the rack answers 00 from its own address.
        EXPECT_EQ(m.OnAsciiLine("$00S1B", sim::SimClock::now()).value_or(""), "!020F83");
        EXPECT_EQ(m.OnAsciiLine("$00S16", sim::SimClock::now()).value_or(""), "!0277");
    });
}

TEST(KAnalogSlotPanels, PulledSlotFailsAndRecovers) {
    PanelFixture fx(kRack);
    auto* p = OpenSlot<TfrmMK230>(fx, "(01)K100", {"(S1)K230"});
    ASSERT_NE(p, nullptr);
    p->tmrUpdateAIDataTimer();
    const QString before = p->edtAIValCh[1]->text();
    fx.WithModule(1, [](sim::SimModule& m) { RackOf(m).PullSlot(1, true); });
    p->tmrUpdateAIDataTimer();
    p->tmrUpdateAIDataTimer();
    EXPECT_EQ(fx.StatusText(), "Fail to fresh AI data!");
    EXPECT_EQ(p->edtAIValCh[1]->text(), before); // nothing new is shown as a value
    p->btUpdateChannelClick();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Error occurred during setup!"});
    EXPECT_TRUE(p->findChild<QTimer*>("tmrUpdateAIData")->isActive());
    fx.ui().Clear();
    fx.WithModule(1, [](sim::SimModule& m) { RackOf(m).PullSlot(1, false); });
    p->tmrUpdateAIDataTimer();
    p->tmrUpdateAIDataTimer();
    EXPECT_EQ(fx.StatusText(), "Polling AI data...");
    p->btUpdateChannelClick();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update Channel Setup succeeded!"});
}

TEST(KAnalogSlotPanels, SlotTheRackDoesNotHaveShowsFailure) {
    PanelFixture fx(kRack);
    auto* p = OpenSlot<TfrmMK230>(fx, "(01)K100", {"(S9)K230"});
    ASSERT_NE(p, nullptr);
    // No such selector: nothing goes out, and no reading is shown.
    EXPECT_TRUE(fx.Received(1).empty());
    p->tmrUpdateAIDataTimer();
    p->tmrUpdateAIDataTimer();
    EXPECT_EQ(fx.StatusText(), "Fail to fresh AI data!");
}

TEST(KAnalogSlotPanels, GarbledRepliesAreNotShown) {
    PanelFixture fx(kRack);
    auto* p = OpenSlot<TfrmMK230>(fx, "(01)K100", {"(S1)K230"});
    ASSERT_NE(p, nullptr);
    p->tmrUpdateAIDataTimer();
    const QString before = p->edtAIValCh[0]->text();
    fx.WithModule(1, [](sim::SimModule& m) { m.faults().garbage.count = 3; });
    p->tmrUpdateAIDataTimer();
    p->tmrUpdateAIDataTimer();
    EXPECT_EQ(fx.StatusText(), "Fail to fresh AI data!");
    EXPECT_EQ(p->edtAIValCh[0]->text(), before);
}

TEST(K310Panels, OutputsAreCheckedSentAndReadBack) {
    PanelFixture fx(kInitRack);
    auto* p = OpenSlot<TfrmMK310>(fx, "(*)K100", {"(S2)K310"});
    ASSERT_NE(p, nullptr);
    // The ranges, then the outputs at once: the Output column starts from them.
    EXPECT_EQ(fx.Received(1), Seq({"$00S2C0B", "$00S2C1B", "$00S2C2B", "$00S2C3B", "$00S2C06",
                                   "$00S2C16", "$00S2C26", "$00S2C36"}));
    EXPECT_EQ(p->labRangeCh[1]->text(), "4 ~ 20 mA");
    EXPECT_EQ(p->edtAOReadCh[1]->text(), "4.000");
    EXPECT_EQ(p->edtAOValCh[1]->text(), "4.000");
    p->btAOOutputClick(1); // what the column shows is a value the channel takes
    EXPECT_EQ(Starting(fx.Received(1), "#"), Strings{"#00S2C104.000"});
    EXPECT_TRUE(fx.ui().boxes.empty());
    for (const char* bad : {"25", "3.9", "abc", ""}) {
        p->edtAOValCh[1]->setText(bad);
        p->btAOOutputClick(1);
        EXPECT_TRUE(Starting(fx.Received(1), "#").empty()) << bad;
    }
    EXPECT_EQ(fx.ui().Texts().count("Input Value Invalid!"), 4);
    p->edtAOValCh[1]->setText("4.5");
    p->btAOOutputClick(1);
    EXPECT_EQ(Starting(fx.Received(1), "#"), Strings{"#00S2C104.500"});
    EXPECT_EQ(p->edtAOReadCh[1]->text(), "4.500");
    EXPECT_EQ(p->edtAOValCh[1]->text(), "4.500");

    // What the user types stays until it is sent; the other channels follow their
    // outputs meanwhile.
    p->edtAOValCh[1]->clear();
    QTest::keyClicks(p->edtAOValCh[1], "12");
    p->edtAOValCh[0]->setText("6");
    p->btAOOutputClick(0);
    p->tmrUpdateAODataTimer();
    EXPECT_EQ(p->edtAOValCh[0]->text(), "6.000");
    EXPECT_EQ(p->edtAOValCh[1]->text(), "12");
    EXPECT_EQ(p->edtAOReadCh[1]->text(), "4.500");
    p->btAOOutputClick(1);
    EXPECT_EQ(Starting(fx.Received(1), "#"), (Strings{"#00S2C006.000", "#00S2C112.000"}));
    EXPECT_EQ(p->edtAOValCh[1]->text(), "12.000");
}

TEST(K310Panels, SingleChannelDialogFromTheChannelNode) {
    PanelFixture fx(kInitRack);
    auto* d = OpenSlot<TfrmMK310SingleChannelSetting>(fx, "(*)K100", {"(S2)K310", "(CH 3)"});
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->grpMain->title(), " Tavo-K310 Channel 3 ");
    EXPECT_EQ(fx.Received(1), Seq({"$00S2C3B", "$00S2C36"}));
    EXPECT_EQ(d->cmbOutputRange->currentText(), "4 ~ 20 mA");
    EXPECT_EQ(d->cmbSlewRate->count(), 12);
    EXPECT_TRUE(d->btTrim4mA->isEnabled());
    // 0 ~ 10 V at 1.0 V/sec (slew bits 0101).
    d->cmbOutputRange->setCurrentIndex(2);
    d->cmbSlewRate->setCurrentIndex(5);
    d->btUpdateClick();
    EXPECT_EQ(Starting(fx.Received(1), "$00S2C3A"), Strings{"$00S2C3A3214"});
    EXPECT_EQ(d->cmbSlewRate->currentText(), "1.0  V/sec");
    EXPECT_FALSE(d->btTrim4mA->isEnabled());
    fx.ui().Clear();
    d->edtAOValue->setText("11");
    d->btAOOutputClick();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Please Input Valid Value!"});
    EXPECT_TRUE(Starting(fx.Received(1), "#").empty());
    d->edtAOValue->setText("7.25");
    d->btAOOutputClick();
    EXPECT_EQ(Starting(fx.Received(1), "#"), Strings{"#00S2C307.250"});
    EXPECT_EQ(d->edtAORead->text(), "7.250");
    d->btSetInitialClick();
    EXPECT_EQ(fx.Received(1), Strings{"$00S2C34"});
}

TEST(K310Panels, SingleChannelDialogReportsEveryRefreshThatFails) {
    PanelFixture fx(kInitRack);
    fx.Open("(*)K100");
    fx.WithModule(1, [](sim::SimModule& m) { RackOf(m).PullSlot(2, true); });
    auto* d = fx.OpenChild<TfrmMK310SingleChannelSetting>({"(S2)K310", "(CH 1)"});
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(fx.ui().Texts(),
              (QStringList{"Refresh General Setting Error!!", "Refresh Data Area Error!!",
                           "Refresh Output Value Error!!"}));
    // Nothing was read to write back: Update says so and sends nothing.
    fx.ui().Clear();
    fx.Received(1);
    d->btUpdateClick();
    EXPECT_TRUE(fx.Received(1).empty());
    EXPECT_EQ(fx.ui().Texts(),
              QStringList{"Update General Setting Error!\nThe channel's settings have not been "
                          "read yet."});
    EXPECT_TRUE(d->findChild<QTimer*>("tmrUpdateAOData")->isActive());
}

TEST(K310Panels, SlewCodesBeyondTheListShowNoSelection) {
    struct Row {
        int code;  // format bits 5..2
        int index; // selected entry, -1 none
        const char* text;
    };
    const Row rows[] = {{0, 0, "immediately"},
                        {5, 5, "2.0  mA/sec"},
                        {11, 11, "128.0  mA/sec"},
                        {12, -1, ""},
                        {15, -1, ""}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        PanelFixture fx(kInitRack);
        fx.WithModule(1, [&](sim::SimModule& m) {
            const std::string ff = QString::asprintf("%02X", row.code << 2).toStdString();
            EXPECT_EQ(m.OnAsciiLine("$00S2C3A31" + ff, sim::SimClock::now()).value_or(""), "!01");
        });
        auto* d =
            OpenSlotQuiet<TfrmMK310SingleChannelSetting>(fx, "(*)K100", {"(S2)K310", "(CH 3)"});
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->cmbSlewRate->count(), 12);
        EXPECT_EQ(d->cmbSlewRate->currentIndex(), row.index);
        EXPECT_EQ(d->cmbSlewRate->currentText(), row.text);
        if (row.index >= 0) continue;
        // With no rate chosen, Update writes nothing rather than a rate not asked for.
        fx.ui().Clear();
        d->btUpdateClick();
        EXPECT_TRUE(fx.Received(1).empty());
        EXPECT_EQ(fx.ui().Texts(),
                  QStringList{"Update General Setting Error!\nChoose a slew rate first."});
    }
}

TEST(K310Panels, ChoosingAnOtherRangeRelabelsTheSlewRates) {
    PanelFixture fx(kInitRack);
    auto* d = OpenSlotQuiet<TfrmMK310SingleChannelSetting>(fx, "(*)K100", {"(S2)K310", "(CH 0)"});
    ASSERT_NE(d, nullptr);
    d->cmbSlewRate->setCurrentIndex(5);
    ASSERT_EQ(d->cmbSlewRate->currentText(), "2.0  mA/sec");
    d->cmbOutputRange->setCurrentIndex(2);
    emit d->cmbOutputRange->activated(2);
    EXPECT_EQ(d->cmbSlewRate->currentIndex(), 5); // the same code, in volts
    EXPECT_EQ(d->cmbSlewRate->currentText(), "1.0  V/sec");
    EXPECT_TRUE(fx.Received(1).empty()); // nothing goes out before Update
}

} // namespace
} // namespace tavo

namespace tavo {
namespace {

TEST(KAnalogRanges, AlarmLimitsArePaddedToTheRangeAndChecked) {
    const auto& mv15 = KRanges(KRangeSet::Thermocouple)[0];  // +/- 15 mV
    const auto& typeK = KRanges(KRangeSet::Thermocouple)[8]; // 0 to 1370 'C
    const auto& v25 = KRanges(KRangeSet::Thermocouple)[5];   // +/- 2.5 V
    const auto& rtd = KRanges(KRangeSet::Rtd)[0];            // -100 to 100
    struct Row {
        const KAnalogRange* range;
        const char* typed;
        const char* sent; // empty: refused
    };
    const Row rows[] = {
        {&mv15, "12.5", "+12.500"},
        {&mv15, "-3", "-03.000"},
        {&mv15, "0", "-00.000"},
        {&mv15, "15", "+15.000"},
        {&mv15, "15.001", ""},
        {&mv15, "-15.5", ""},
        {&typeK, "1370", "+1370.000"},
        {&typeK, "5", "+0005.000"},
        {&typeK, "-1", ""},
        {&v25, "2.5", "+2.500"},
        {&v25, "-0.25", "-0.250"},
        {&rtd, "-100", "-100.000"},
        {&rtd, "99.9999", "+100.000"},
        {&typeK, "", ""},
        {&typeK, "1e3", ""},
        {&typeK, " 5", ""},
        {&typeK, "5.", "+0005.000"},
        {&typeK, "+.5", "+0000.500"},
        {&typeK, "0x10", ""},
        {&typeK, "--5", ""},
    };
    for (const Row& r : rows) {
        const auto out = KAlarmLimitText(r.typed, *r.range);
        EXPECT_EQ(out.value_or(""), r.sent) << r.range->text << " " << r.typed;
    }
    EXPECT_EQ(KIntegerWidth(typeK), 4);
    EXPECT_EQ(KIntegerWidth(v25), 1);
    EXPECT_EQ(KIntegerWidth(rtd), 3);
}

TEST(KAnalogRanges, ThermocoupleTableAsTheSlotKnowsIt) {
    const auto list = KRanges(KRangeSet::Thermocouple);
    ASSERT_EQ(list.size(), 14u);
    EXPECT_EQ(KRangeIndex(KRangeSet::Thermocouple, 0x06), 6);
    EXPECT_EQ(KRangeIndex(KRangeSet::Thermocouple, 0x0E), 7);
    EXPECT_EQ(KRangeIndex(KRangeSet::Thermocouple, 0x14), 13);
    EXPECT_EQ(KRangeIndex(KRangeSet::Thermocouple, 0x07), -1);
    EXPECT_STREQ(list[13].span, "152 mV");
    EXPECT_STREQ(list[4].zero, "0 V");
    EXPECT_STREQ(list[6].zero, "0 mA");
    EXPECT_EQ(KReadingText("+888888", true).value_or(""), "Burn-out");
    EXPECT_FALSE(KReadingText("+12.3X", false));
    EXPECT_FALSE(KReadingText("12G4", true));
    EXPECT_FALSE(KReadingText("", false));
}

TEST(KAnalogSlotPanels, UnknownRangeCodeShowsNoUnitAndNoCalibrationSignal) {
    PanelFixture fx(kInitRack);
    fx.WithModule(1, [](sim::SimModule& m) {
        // The voltage slot also takes 4 to 20 mA, which the thermocouple list lacks;
        // here it is put on the K220 and read back by a K230 panel opened on it.
        m.OnAsciiLine("$00S0A0700", sim::SimClock::now());
    });
    auto* p = OpenSlot<TfrmMK230>(fx, "(*)K100", {"(S0)K230"});
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->cmbInputRanges->currentIndex(), -1);
    EXPECT_EQ(p->labAIUnitCh[0]->text(), "?");
    EXPECT_EQ(p->ZeroText(), "#####");
    EXPECT_EQ(p->SpanText(), "#####");
}

} // namespace
} // namespace tavo
