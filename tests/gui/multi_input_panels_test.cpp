// The multi-channel analog input panels against simulated modules: every member
// opens and polls, the channel setup and the general settings with their waits on
// the wire, the watchdog field, INIT mode, burn-out and replies that do not fit.
#include "panel_fixture.h"

#include "panels/analog/calib_dialogs.h"
#include "panels/analog/multi_input_data.h"
#include "panels/analog/multi_input_panels.h"

#include "sim/analog_sim.h"
#include "sim/module.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QValidator>
#include <gtest/gtest.h>

namespace tavo {
namespace {

using test::PanelFixture;
using Lines = std::vector<std::string>;

using test::Timeline;

Lines ChannelReads(const std::string& address, int channels) {
    Lines out{"$" + address + "6"};
    for (int n = 0; n < channels; ++n)
        out.push_back("$" + address + "8C" + std::to_string(n));
    return out;
}

Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

QTimer* PollTimer(QWidget* panel) {
    return panel->findChild<QTimer*>("tmrUpdateAIData");
}

// The simulated module's inputs: which channels are on, and their ranges.
const sim::analog::InputCommands* Inputs(sim::SimModule& m) {
    return m.Find<sim::analog::InputCommands>();
}

// ---- Plain rules ---------------------------------------------------------------------

TEST(MultiInputData, ChannelFieldsAreCutByFormatAndChecked) {
    struct Row {
        const char* data;
        int channels;
        bool hex;
        std::vector<const char*> fields; // empty: the poll failed
    };
    const Row rows[] = {
        {"+05.000-0100.0", 2, false, {"+05.000", "-0100.0"}},
        {"+05.000-0100.0+1.0", 2, false, {"+05.000", "-0100.0"}}, // text after the fields
        {"0A3DFFFF", 2, true, {"0A3D", "FFFF"}},
        {"+8888880A3D", 2, true, {"Burn-out", "0A3D"}}, // burn-out is seven wide
        {"+05.000+888888", 2, false, {"+05.000", "Burn-out"}},
        {"+05.000+05.00", 2, false, {}}, // one field short
        {"", 1, false, {}},
        {"0A3", 1, true, {}},
        {"+05.0X0", 1, false, {}}, // garbage in a field
        {"+05.0.0", 1, false, {}},
        {"05.0000", 1, false, {}}, // no sign
        {"+......", 1, false, {}},
        {"0A3G", 1, true, {}},
        {"+0A3D00", 1, true, {}}, // a sign is no hex digit
    };
    for (const auto& r : rows) {
        std::vector<ChannelReading> out{{"kept", false}};
        const bool ok = CutChannelFields(r.data, r.channels, r.hex, out);
        EXPECT_EQ(ok, !r.fields.empty()) << r.data;
        if (!ok) {
            ASSERT_EQ(out.size(), 1u);
            EXPECT_EQ(out[0].text, "kept") << r.data;
            continue;
        }
        ASSERT_EQ(out.size(), r.fields.size()) << r.data;
        for (std::size_t i = 0; i < out.size(); ++i)
            EXPECT_EQ(out[i].burnOut ? std::string("Burn-out") : out[i].text, r.fields[i])
                << r.data;
    }
}

TEST(MultiInputData, FirmwareNumbersAndWatchdogField) {
    EXPECT_TRUE(NewThermocoupleSpan("A2.02"));
    EXPECT_TRUE(NewThermocoupleSpan("a2.10"));
    EXPECT_FALSE(NewThermocoupleSpan("A2.01"));
    EXPECT_FALSE(NewThermocoupleSpan("A1.99.7"));
    EXPECT_FALSE(NewThermocoupleSpan("Ax.yz"));
    EXPECT_TRUE(NewThermocoupleSpan("B1.00")); // not an "A" firmware
    EXPECT_TRUE(NewThermocoupleSpan(""));
    EXPECT_EQ(FirmwareNumber("A2.03", 6), 2.03);
    EXPECT_EQ(FirmwareNumber("A1.5B", 6), 1.5);
    EXPECT_EQ(FirmwareNumber("B2.03", 6), std::nullopt);

    const std::pair<const char*, std::optional<int>> wdt[] = {
        {"999.9", 9999},
        {"0", 0},
        {"0.0", 0},
        {"12.34", 123},
        {".5", 5},
        {"1000", std::nullopt},
        {"1000.0", std::nullopt},
        {"abc", std::nullopt},
        {"", std::nullopt},
        {"1.2.3", std::nullopt},
        {"-1", std::nullopt},
        {"1e2", std::nullopt},
    };
    for (const auto& [text, tenths] : wdt)
        EXPECT_EQ(WatchdogTenths(text), tenths) << text;
    EXPECT_EQ(WatchdogFieldText(12.5), "12.5");
    EXPECT_EQ(WatchdogFieldText(999.9), "999.9");
    EXPECT_EQ(WatchdogFieldText(1000.0), std::nullopt);
    EXPECT_EQ(WatchdogFieldText(-1.0), std::nullopt);
    EXPECT_EQ(WatchdogFieldText(std::nan("")), std::nullopt);
}

// ---- Every member --------------------------------------------------------------------

TEST(MultiInputPanels, EachMemberOpensFromTheTreeAndPolls) {
    struct Case {
        const char* model; // what the module reports, and the tree shows
        const char* panel; // objectName: the registry's class
        const char* caption;
        int channels;
        bool perChannel; // range list per channel (else one for all)
        bool watchdog;   // watchdog and protocol rows
        Lines extra;       // reads of the member's own after the general ones
        const char* value; // channel 0's first poll with value=5
        const char* unit;
    };
    const Case cases[] = {
        {"R270P", "TfrmMR270P", " Tavo-R270+ ", 8, true, true, {}, "+0005.0", "'C"},
        {"R270", "TfrmMR270", " Tavo-R270 ", 8, false, false, {}, "+05.000", "mV"},
        {"R260", "TfrmMR260", " Tavo-R260 ", 8, false, false, {}, "+05.000", "V"},
        {"R260P", "TfrmMR260P", " Tavo-R260+ ", 8, true, true, {}, "+05.000", "mA"},
        {"R240", "TfrmMR240", " Tavo-R240 ", 6, true, true, {}, "+005.00", "'C"},
        {"R240T", "TfrmMR240T", " Tavo-R240T ", 6, true, true, {}, "+005.00", "'C"},
        {"R280", "TfrmMR280", " Tavo-R280 ", 8, true, true, {}, "+005.00", "mV"},
        {"R280P", "TfrmMR280B", " Tavo-R280+ ", 8, true, true, {}, "+005.00", "mV"},
        // The R810 family reads its burn-out choice and its thermocouple mode.
        {"R810", "TfrmMR810", " Tavo-R810 ", 8, true, true, {"$01D2", "$01OD"}, "+05.000", "mA"},
        {"R820", "TfrmMR820", " Tavo-R820 ", 8, true, true, {"$01D2", "$01OD"}, "+05.000", "mV"},
        {"R260AN", "TfrmMR260AN", " Tavo-R260AN ", 8, true, true, {"$01D2", "$01OD"}, "+05.000",
         "V"},
        {"R270AN", "TfrmMR270AN", " Tavo-R270AN ", 8, true, true, {"$01D2", "$01OD"}, "+0005.0",
         "'C"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        PanelFixture fx(std::string("01 ") + c.model + " value=5 firmware=A2.02\n");
        auto* panel = fx.Open<TfrmMR270P>(QString("(01)") + c.model);
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->objectName(), c.panel);
        EXPECT_EQ(panel->MainCaption(), c.caption);
        EXPECT_EQ(panel->Channels(), c.channels);
        // What the panel read to start: general settings, then the channel setup.
        Lines opening = Lines{"$012", "$01F"} + (c.watchdog ? Lines{"$01Y"} : Lines{}) + c.extra;
        if (c.perChannel)
            opening = opening + ChannelReads("01", c.channels);
        else
            opening = opening + Lines{"$016", "$012"};
        if (QString(c.panel).startsWith("TfrmMR240"))
            opening = opening + Lines{"$01F", "$01M"} + ChannelReads("01", c.channels);
        EXPECT_EQ(fx.Received(0x01), opening);
        for (int n = 0; n < TfrmMR270P::kMaxChannels; ++n) {
            const auto i = static_cast<std::size_t>(n);
            EXPECT_EQ(panel->channels->enable[i]->isVisibleTo(panel), n < c.channels) << n;
            EXPECT_EQ(panel->channels->range[i]->isVisibleTo(panel), c.perChannel && n < c.channels)
                << n;
        }
        EXPECT_EQ(panel->edtCommWDT->isVisibleTo(panel), c.watchdog);
        EXPECT_EQ(panel->cmbPotocolSelect->isVisibleTo(panel), c.watchdog);
        // No member drops the cold-junction calibration; the thermocouple mode is
        // on every member of the R810 family.
        EXPECT_TRUE(panel->btCJCCal->isVisibleTo(panel));
        auto* thermoMode = panel->findChild<QWidget*>("CB_ThmoMode");
        EXPECT_EQ(thermoMode != nullptr && !thermoMode->isHidden(), !c.extra.empty());
        EXPECT_EQ(panel->edtFirmwareVer->text(), "A2.02");
        EXPECT_EQ(panel->edtAddress_Hex->text(), "01");
        ASSERT_NE(PollTimer(panel), nullptr);
        EXPECT_TRUE(PollTimer(panel)->isActive());
        EXPECT_EQ(PollTimer(panel)->interval(), 500);

        panel->tmrUpdateAIDataTimer();
        EXPECT_EQ(fx.Received(0x01), Lines{"#01"});
        EXPECT_EQ(fx.StatusText(), "Polling AI data...");
        EXPECT_EQ(panel->channels->value[0]->text(), c.value);
        EXPECT_EQ(panel->channels->unit[0]->text(), c.unit);
        EXPECT_TRUE(fx.Indicator() == "0" || fx.Indicator() == "1");
        EXPECT_EQ(panel->HasSettingsFile(),
                  !QString(c.panel).startsWith("TfrmMR8") && !QString(c.panel).endsWith("AN"));
    }
}

TEST(MultiInputPanels, ChannelsMoveIndependentlyAndPaintOnlyWhatChanged) {
    PanelFixture fx("01 R260P pattern2=1,2,3 value=5\n");
    auto* panel = fx.Open<TfrmMR270P>("(01)R260P");
    ASSERT_NE(panel, nullptr);
    QStringList seen;
    for (int tick = 0; tick < 4; ++tick) {
        panel->tmrUpdateAIDataTimer();
        seen << panel->channels->value[2]->text();
        EXPECT_EQ(panel->channels->value[1]->text(), "+05.000");
    }
    EXPECT_EQ(seen, (QStringList{"+01.000", "+02.000", "+03.000", "+01.000"}));
    // A reading that did not change is not set again (setting a text would drop the
    // selection and repaint the field).
    panel->channels->value[1]->selectAll();
    panel->channels->value[2]->selectAll();
    panel->tmrUpdateAIDataTimer();
    EXPECT_TRUE(panel->channels->value[1]->hasSelectedText());
    EXPECT_FALSE(panel->channels->value[2]->hasSelectedText());
    EXPECT_EQ(panel->channels->value[2]->text(), "+02.000");
}

// ---- Channel setup -------------------------------------------------------------------

TEST(MultiInputPanels, ChannelUpdateWritesMaskThenEachRangeWithItsWait) {
    PanelFixture fx("01 R270P\n");
    auto* panel = fx.Open<TfrmMR270P>("(01)R270P");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->channels->range[2]->currentText(), "J Type ");
    EXPECT_EQ(panel->channels->unit[2]->text(), "'C");
    EXPECT_EQ(panel->channels->unit[4]->text(), "mA");
    panel->channels->range[2]->setCurrentIndex(3); // K type: 0F
    panel->channels->enable[5]->setChecked(false);
    Timeline wire(fx, 0x01);
    panel->btSingleChUpdateClick();
    const Lines ranges = {"$017C0R0F", "$017C1R0F", "$017C2R0F", "$017C3R0E",
                          "$017C4R07", "$017C5R07", "$017C6R06", "$017C7R06"};
    Lines expected = {"$015DF", "wait 1000"};
    for (const auto& r : ranges)
        expected = expected + Lines{r, "wait 100"};
    EXPECT_EQ(wire.Take(), expected + ChannelReads("01", 8));
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update channel setup succeeded!"});
    fx.WithModule(0x01, [](sim::SimModule& m) {
        const auto* in = Inputs(m);
        ASSERT_NE(in, nullptr);
        EXPECT_EQ(in->RangeOf(m, 2)->code, 0x0Fu);
        EXPECT_FALSE(in->Enabled(5));
        EXPECT_TRUE(in->Enabled(4));
    });
    EXPECT_FALSE(panel->channels->enable[5]->isChecked());
    EXPECT_TRUE(PollTimer(panel)->isActive());
}

TEST(MultiInputPanels, ChannelButtonsChangeOnlyTheFormAndMasksFollowTheChannelCount) {
    struct Row {
        const char* model;
        std::vector<int> checked;
        const char* mask;
    };
    const Row rows[] = {{"R270P", {1, 3, 4, 6}, "$0155A"},
                        {"R270P", {}, "$01500"},
                        {"R240", {0, 1, 2, 3, 4, 5, 6, 7}, "$0153F"},
                        {"R260", {7}, "$01580"}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.model);
        PanelFixture fx(std::string("01 ") + r.model + "\n");
        auto* panel = fx.Open<TfrmMR270P>(QString("(01)") + r.model);
        ASSERT_NE(panel, nullptr);
        fx.Received(0x01);
        panel->btUncheckAllClick();
        for (auto* box : panel->channels->enable)
            EXPECT_FALSE(box->isChecked());
        panel->btCheckAllClick();
        for (auto* box : panel->channels->enable)
            EXPECT_TRUE(box->isChecked());
        if (panel->btFollowCh0->isVisibleTo(panel)) {
            panel->channels->range[0]->setCurrentIndex(1);
            panel->btFollowCh0Click();
            for (int n = 0; n < panel->Channels(); ++n)
                EXPECT_EQ(panel->channels->range[static_cast<std::size_t>(n)]->currentIndex(), 1);
        }
        EXPECT_TRUE(fx.Received(0x01).empty()); // nothing reaches the module until Update
        for (std::size_t n = 0; n < 8; ++n)
            panel->channels->enable[n]->setChecked(
                std::find(r.checked.begin(), r.checked.end(), static_cast<int>(n)) !=
                r.checked.end());
        panel->btSingleChUpdateClick();
        EXPECT_EQ(test::Starting(fx.Received(0x01), "$015"), Lines{r.mask});
    }
}

TEST(MultiInputPanels, RangeReadFailuresShowNoRangeAndAreNotWrittenBack) {
    // A four-channel module behind an R820 node: channels 4 to 7 have no range to
    // read. Code 00 is a range of the R820 ("+/- 15mV"), so reading a failure as 00
    // would offer it to the next Update.
    PanelFixture fx("02 R320T\n");
    auto* panel = fx.Open<TfrmMR270P>("(02)R820");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->channels->range[2]->currentText(), "4~20mA");
    for (std::size_t n = 4; n < 8; ++n) {
        EXPECT_EQ(panel->channels->range[n]->currentIndex(), -1) << n;
        EXPECT_EQ(panel->channels->unit[n]->text(), "") << n;
    }
    fx.Received(0x02);
    panel->btSingleChUpdateClick();
    // Only the channels with a known range are written.
    EXPECT_EQ(test::Starting(fx.Received(0x02), "$027C"), Lines{"$027C2R07"});
}

// ---- General settings and watchdog ---------------------------------------------------

TEST(MultiInputPanels, GeneralUpdateWritesConfigurationWaitsThenWatchdog) {
    PanelFixture fx("01 R270P\n");
    auto* panel = fx.Open<TfrmMR270P>("(01)R270P");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->edtCommWDT->text(), "0.0");
    panel->edtCommWDT->setText("12.34");
    {
        Timeline wire(fx, 0x01);
        panel->btSystemUpdateClick();
        EXPECT_EQ(wire.Take(), Lines({"$012", "$01M", "wait 100", "%0101000600", "wait 3000",
                                      "wait 100", "$01X0123", "$012", "$01F", "$01Y", "wait 100"}) +
                                   ChannelReads("01", 8));
    }
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update general setting succeeded!"});
    EXPECT_EQ(panel->edtCommWDT->text(), "12.3"); // as the module has it now

    // The largest time, and the edges the field refuses before anything is sent.
    panel->edtCommWDT->setText("999.9");
    fx.ui().Clear();
    panel->btSystemUpdateClick();
    EXPECT_EQ(test::Starting(fx.Received(0x01), "$01X"), Lines{"$01X9999"});
    for (const char* bad : {"1000", "1000.0", "abc", "", "9.9.9"}) {
        SCOPED_TRACE(bad);
        fx.ui().Clear();
        panel->edtCommWDT->setText(bad);
        const long long before = fx.ui().clockMs;
        panel->btSystemUpdateClick();
        EXPECT_EQ(fx.ui().Texts(), QStringList{"The WDT must be between 0.0 and 999.9!"});
        EXPECT_TRUE(fx.Received(0x01).empty());
        EXPECT_EQ(fx.ui().clockMs, before);
    }
    // The field itself takes digits and one kind of point only, five at the most.
    const QValidator* keys = panel->edtCommWDT->validator();
    ASSERT_NE(keys, nullptr);
    for (QString typed : {QString("12a"), QString("-1"), QString("1 2"), QString("1e3")}) {
        int pos = 0;
        EXPECT_EQ(keys->validate(typed, pos), QValidator::Invalid) << typed.toStdString();
    }
    QString fine = "99.9";
    int pos = 0;
    EXPECT_EQ(keys->validate(fine, pos), QValidator::Acceptable);
    EXPECT_EQ(panel->edtCommWDT->maxLength(), 5);
    EXPECT_EQ(panel->edtCommWDT->toolTip(), "0.0~999.9");
}

TEST(MultiInputPanels, SuccessOnlyWhenConfigurationAndWatchdogWereWritten) {
    PanelFixture fx("01 R260P\n");
    auto* panel = fx.Open<TfrmMR270P>("(01)R260P");
    ASSERT_NE(panel, nullptr);
    panel->edtCommWDT->setText("5");
    // The watchdog write goes unanswered.
    fx.ui().onWait = [&](int ms) {
        if (ms == 3000)
            fx.WithModule(0x01, [](sim::SimModule& m) { m.faults().noReply.count = 2; });
    };
    panel->btSystemUpdateClick();
    fx.ui().onWait = nullptr;
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update WDT failed!"});
    // A refused configuration write: no watchdog write and no success.
    fx.ui().Clear();
    fx.Received(0x01);
    panel->edtAddress_Dec->setText("300");
    panel->btSystemUpdateClick();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Please input dicimal address between 1 and 255!"});
    EXPECT_TRUE(test::Starting(fx.Received(0x01), "$01X").empty());
}

TEST(MultiInputPanels, AddressChangeChecksTheNewAddressAndRenamesTheNode) {
    PanelFixture fx("01 R270P\n02 R260\n");
    auto* panel = fx.Open<TfrmMR270P>("(01)R270P");
    ASSERT_NE(panel, nullptr);
    panel->edtAddress_Dec->setText("2");
    fx.Received(0x01);
    panel->btSystemUpdateClick();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"The address 2 (Dec) is used by Module [R260] !"});
    EXPECT_TRUE(test::Starting(fx.Received(0x01), "%").empty());
    EXPECT_EQ(fx.Received(0x02), Lines{"$02M"});
    fx.ui().Clear();
    panel->edtAddress_Dec->setText("5");
    panel->btSystemUpdateClick();
    EXPECT_EQ(test::Starting(fx.Received(0x05), "%"), Lines{"%0105000600"});
    EXPECT_EQ(fx.node()->text(0), "(05)R270P");
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update general setting succeeded!"});
    // The panel talks to the new address from now on.
    panel->tmrUpdateAIDataTimer();
    EXPECT_EQ(fx.Received(0x05), Lines{"#05"});
}

TEST(MultiInputPanels, InitModeEnablesTheInitControlsAndWritesEveryField) {
    for (const bool init : {false, true}) {
        SCOPED_TRACE(init);
        PanelFixture fx(init ? "05 R270P init\n" : "05 R270P\n");
        auto* panel = fx.Open<TfrmMR270P>(init ? "(*)R270P" : "(05)R270P");
        ASSERT_NE(panel, nullptr);
        for (QWidget* w :
             {static_cast<QWidget*>(panel->cmbBaudRate), static_cast<QWidget*>(panel->chkCheckSum),
              static_cast<QWidget*>(panel->cmbDataFormat),
              static_cast<QWidget*>(panel->cmbIntegrationTime),
              static_cast<QWidget*>(panel->cmbPotocolSelect),
              static_cast<QWidget*>(panel->btZeroCal), static_cast<QWidget*>(panel->btSpanCal)})
            EXPECT_EQ(w->isEnabled(), init) << w->objectName().toStdString();
        EXPECT_TRUE(panel->btCJCCal->isEnabled());
        EXPECT_TRUE(panel->edtCommWDT->isEnabled());
        if (!init) continue;
        EXPECT_EQ(panel->edtAddress_Hex->text(), "*05");
        EXPECT_EQ(fx.Received(0x05).front(), "$002");
        // A poll in INIT reads the configuration again: the format may change.
        panel->tmrUpdateAIDataTimer();
        EXPECT_EQ(fx.Received(0x05), Lines({"#00", "$002"}));
        panel->edtAddress_Dec->setText("18");
        panel->cmbBaudRate->setCurrentIndex(4);        // 19.2 kbps: 07
        panel->chkCheckSum->setChecked(true);          // bit 6
        panel->cmbDataFormat->setCurrentIndex(2);      // hexadecimal: bits 10
        panel->cmbIntegrationTime->setCurrentIndex(1); // bit 7
        panel->cmbPotocolSelect->setCurrentIndex(0);   // ASCII: bit 2 clear
        panel->btSystemUpdateClick();
        EXPECT_EQ(test::Starting(fx.Received(0x12), "%"), Lines{"%00120007C2"});
        EXPECT_EQ(fx.ui().Texts(), QStringList{"Update general setting succeeded!"});
        EXPECT_EQ(fx.node()->text(0), "(*)R270P");
        EXPECT_EQ(panel->cmbDataFormat->currentIndex(), 2);
        // Four hexadecimal digits a channel now; the panel still talks to 00.
        panel->tmrUpdateAIDataTimer();
        EXPECT_EQ(fx.StatusText(), "Polling AI data...");
        EXPECT_EQ(panel->channels->value[7]->text().size(), 4);
    }
}

TEST(MultiInputPanels, ProtocolChoiceDecidesTheChecksumBoxOnTheR260P) {
    PanelFixture fx("05 R260P init format=04\n");
    auto* panel = fx.Open<TfrmMR260P>("(*)R260P");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->cmbPotocolSelect->currentText(), "MODBUS");
    EXPECT_FALSE(panel->chkCheckSum->isEnabled());
    panel->cmbPotocolSelect->setCurrentIndex(0);
    EXPECT_TRUE(panel->chkCheckSum->isEnabled());
    panel->cmbPotocolSelect->setCurrentIndex(1);
    EXPECT_FALSE(panel->chkCheckSum->isEnabled());
    panel->btSystemUpdateClick();
    EXPECT_EQ(test::Starting(fx.Received(0x05), "%"), Lines{"%0005000604"});
}

// ---- Readings ------------------------------------------------------------------------

TEST(MultiInputPanels, BurntOutThermocouplesShowBurnOutInEveryFormat) {
    // Channels 0 and 1 are K thermocouples, 4 a current input (which cannot tell).
    for (const char* format : {"00", "01", "02"}) {
        SCOPED_TRACE(format);
        PanelFixture fx(std::string("01 R270P value=100 burnout=13 format=") + format + "\n");
        auto* panel = fx.Open<TfrmMR270P>("(01)R270P");
        ASSERT_NE(panel, nullptr);
        panel->tmrUpdateAIDataTimer();
        EXPECT_EQ(fx.StatusText(), "Polling AI data...");
        EXPECT_EQ(panel->channels->value[0]->text(), "Burn-out");
        EXPECT_EQ(panel->channels->value[1]->text(), "Burn-out");
        EXPECT_NE(panel->channels->value[2]->text(), "Burn-out");
        EXPECT_NE(panel->channels->value[4]->text(), "Burn-out");
        EXPECT_EQ(panel->channels->value[7]->text().size(), QString(format) == "02" ? 4 : 7);
    }
}

TEST(MultiInputPanels, RepliesThatDoNotFitFailThePollAndShowNoMadeUpValue) {
    PanelFixture fx("01 R270P value=5\n02 R240 value=5\n");
    auto* panel = fx.Open<TfrmMR270P>("(01)R270P");
    ASSERT_NE(panel, nullptr);
    panel->tmrUpdateAIDataTimer();
    const QString good = panel->channels->value[3]->text();
    EXPECT_EQ(good, "+0005.0");
    // The module's data format changed behind the panel's back: the fields are four
    // hexadecimal digits, which are no engineering readings.
    fx.WithModule(0x01, [](sim::SimModule& m) { m.config().formatCode = 0x02; });
    panel->tmrUpdateAIDataTimer();
    EXPECT_EQ(fx.StatusText(), "Fail to fresh AI data!");
    EXPECT_TRUE(fx.Indicator() == "2" || fx.Indicator() == "3");
    EXPECT_EQ(panel->channels->value[3]->text(), good);

    // A module with six channels answering an eight-channel panel: fewer fields.
    auto* wrong = fx.Open<TfrmMR270P>("(02)R270P");
    ASSERT_NE(wrong, nullptr);
    EXPECT_EQ(fx.StatusText(), "Fail to fresh AI channel-7");
    wrong->tmrUpdateAIDataTimer();
    EXPECT_EQ(fx.StatusText(), "Fail to fresh AI data!");
    for (auto* value : wrong->channels->value)
        EXPECT_TRUE(value->text().isEmpty());
    // Channels whose range the module did not give show none.
    EXPECT_EQ(wrong->channels->range[7]->currentIndex(), -1);
    EXPECT_EQ(wrong->channels->unit[7]->text(), "");
}

// ---- Calibration ---------------------------------------------------------------------

TEST(MultiInputPanels, CalibrationOpensTheDialogOfTheMembersKind) {
    struct Row {
        const char* model;
        int range;         // channel 0's list position (of the all-channel list for R270)
        const char* title; // zero dialog
        const char* zero;
        const char* span;
        const char* zeroCommand;
        const char* spanCommand;
    };
    const Row rows[] = {
        {"R270P", 3, "Tavo-R270+ Zero calibration", "0 mV", "78mV", "$011", "$010"},
        {"R270P", 0, "Tavo-R270+ Zero calibration", "0 mA", "20mA", "$011", "$010"},
        {"R270", 4, "Tavo-R270 Zero calibration", "0 V", "1V", "$011", "$010"},
        {"R260", 5, "Tavo-R260 Zero calibration", "0 mA", "20mA", "$011", "$010"},
        {"R260P", 2, "Tavo-R260+ Zero calibration", "0 mV", "+5V", "$011", "$010"},
        {"R240", 10, "Tavo-R240 Zero calibration", "850 ohm", "1600 ohm", "$011C0", "$010C0"},
        {"R240T", 1, "Tavo-R240T Zero calibration", "800.0 ohm", "30K ohms", "$011C0", "$010C0"},
        {"R280", 6, "Tavo-R280 Zero calibration", "0 mA", "20mA", "$011C0", "$010C0"},
        {"R280P", 4, "Tavo-R280+ Zero calibration", "0 mA", "20mA", "$011", "$010"},
        {"R810", 1, "Tavo-R810 Zero calibration", "0 mV", "10V", "$011", "$010"},
        {"R260AN", -1, "Tavo-R260AN Zero calibration", "0 mV", "error", "$011", "$010"},
        {"R270AN", 1, "Tavo-R270AN Zero calibration", "0 mV", "500mV", "$011", "$010"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.model) + " " + std::to_string(r.range));
        PanelFixture fx(std::string("05 ") + r.model + " init firmware=A2.05\n");
        auto* panel = fx.Open<TfrmMR270P>(QString("(*)") + r.model);
        ASSERT_NE(panel, nullptr);
        if (auto* all = panel->findChild<QComboBox*>("cmbTypeChangeAllCh"))
            all->setCurrentIndex(r.range);
        else
            panel->channels->range[0]->setCurrentIndex(r.range);
        QStringList titles, inputs;
        fx.ui().onDialog = [&](QDialog& d) {
            auto* calib = qobject_cast<TfrmCalib*>(&d);
            if (!calib) return -1;
            titles << calib->windowTitle();
            inputs << calib->Edit1->text();
            calib->Button1->click();
            return calib->result();
        };
        fx.Received(0x05);
        panel->btZeroCalClick();
        panel->btSpanCalClick();
        EXPECT_EQ(titles.value(0), r.title);
        EXPECT_EQ(titles.value(1), QString(r.title).replace("Zero", "Span"));
        EXPECT_EQ(inputs, (QStringList{r.zero, r.span}));
        auto zero = std::string(r.zeroCommand), span = std::string(r.spanCommand);
        zero.replace(1, 2, "00");
        span.replace(1, 2, "00");
        EXPECT_EQ(fx.Received(0x05), Lines({zero, span}));
    }
}

TEST(MultiInputPanels, R270PSpanOfTheKTypeFollowsTheFirmware) {
    for (const auto& [firmware, span] :
         {std::pair{"A2.01", "50mV"}, std::pair{"A2.02", "78mV"}, std::pair{"B1.00", "78mV"}}) {
        PanelFixture fx(std::string("01 R270P firmware=") + firmware + "\n");
        auto* panel = fx.Open<TfrmMR270P>("(01)R270P");
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->channels->range[0]->currentIndex(), 3); // K type
        QString input;
        fx.ui().onDialog = [&](QDialog& d) {
            if (auto* calib = qobject_cast<TfrmCalib*>(&d)) input = calib->Edit1->text();
            return int(QDialog::Rejected);
        };
        panel->btSpanCalClick();
        EXPECT_EQ(input, span) << firmware;
        EXPECT_EQ(panel->NewThermocoupleSpan(), QString(span) == "78mV");
    }
}

TEST(MultiInputPanels, ColdJunctionDialogOfTheFamily) {
    PanelFixture fx("01 R270P cjc=25\n");
    auto* panel = fx.Open<TfrmMR270P>("(01)R270P");
    ASSERT_NE(panel, nullptr);
    QString title, reading;
    fx.ui().onDialog = [&](QDialog& d) {
        auto* cjc = qobject_cast<TfrmCJC*>(&d);
        if (!cjc) return -1;
        title = cjc->windowTitle();
        reading = cjc->edtCurrentCJCVal->text();
        cjc->edtCJCVal->setText("1");
        cjc->btExecute->click();
        return int(QDialog::Rejected);
    };
    fx.Received(0x01);
    const long long before = fx.ui().clockMs;
    panel->btCJCCalClick();
    EXPECT_EQ(title, " Tavo-R270+  Cold Junction Compesation");
    EXPECT_EQ(reading, "+025.00");
    EXPECT_EQ(fx.Received(0x01), Lines({"$013", "$019+006F", "$013"}));
    EXPECT_EQ(fx.ui().clockMs - before, 4500);
}

} // namespace
} // namespace tavo
