// The single-channel analog input panels against simulated modules.
#include "panel_fixture.h"

#include "panels/analog/calib_dialogs.h"
#include "panels/analog/single_input_panels.h"
#include "panels/common/edit_controls.h"

#include "sim/module.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace tavo {
namespace {

using test::PanelFixture;
using test::Starting;

QTimer* PollTimer(QWidget* panel) {
    return panel->findChild<QTimer*>("tmrUpdateAIData");
}

TEST(AnalogFormats, AlarmLimitFieldsAndValues) {
    struct Row {
        double value;
        LimitFormat format;
        const char* expected; // nullptr: refused
    };
    const Row rows[] = {
        {5, {3, 2}, "+05.000"},          {0, {3, 2}, "-00.000"},      {-2.5, {3, 2}, "-02.500"},
        {150, {3, 2}, nullptr},          {99.9999, {3, 2}, nullptr},  {12.3456, {3, 2}, "+12.346"},
        {5, {2, 3}, "+005.00"},          {499.99, {2, 3}, "+499.99"}, {1000, {2, 3}, nullptr},
        {0.5, {4, 1}, "+0.5000"},        {12, {4, 1}, nullptr},       {5, {1, 4}, "+0005.0"},
        {1370, {1, 4}, "+1370.0"},       {-100, {1, 4}, "-0100.0"},   {1e20, {3, 2}, nullptr},
        {std::nan(""), {3, 2}, nullptr},
    };
    for (const auto& r : rows) {
        std::string out = "untouched";
        EXPECT_EQ(FormatAlarmLimit(r.value, r.format, out), r.expected != nullptr) << r.value;
        EXPECT_EQ(out, r.expected ? r.expected : "untouched") << r.value;
    }
    // The two tables: by list position.
    EXPECT_EQ(DefaultLimitFormat(0).digits, 2);
    EXPECT_EQ(DefaultLimitFormat(3).digits, 3);
    EXPECT_EQ(DefaultLimitFormat(5).digits, 1);
    EXPECT_EQ(DefaultLimitFormat(8).digits, 4);
    EXPECT_EQ(DefaultLimitFormat(9).digits, 3);
    EXPECT_EQ(DefaultLimitFormat(13).digits, 4);
    EXPECT_EQ(DefaultLimitFormat(40).digits, 2);
    EXPECT_EQ(R220LimitFormat(0).digits, 2);
    EXPECT_EQ(R220LimitFormat(2).digits, 1);
    EXPECT_EQ(R220LimitFormat(4).digits, 3);
    EXPECT_EQ(R220LimitFormat(5).digits, 2);

    EXPECT_EQ(ValueText("+01.234"), "1.234");
    EXPECT_EQ(ValueText("-0.500"), "-0.5");
    EXPECT_EQ(ValueText("+1370.0"), "1370");
    EXPECT_EQ(ValueText("F333"), "F333"); // hexadecimal format: shown as it came
    double v = 0;
    for (const char* bad : {"", "abc", "1e3", "inf", "nan", "0x10", "1.2.3", "+", "."})
        EXPECT_FALSE(ParsePlainDecimal(bad, v)) << bad;
    EXPECT_TRUE(ParsePlainDecimal("5.", v));
    EXPECT_TRUE(ParsePlainDecimal("-.5", v));
    EXPECT_EQ(v, -0.5);
}

TEST(AnalogPanels, EachModelOpensFromTheTreeAndPolls) {
    struct Case {
        const char* bus;
        const char* node;
        const char* caption;
        int ranges;
        int range; // list position of the module's type code
        bool cjc, alarms, events;
        int outputs;
        const char* value; // what the first poll shows
    };
    const Case cases[] = {
        {"01 R210D type=0F value=250.5 firmware=B2.10\n", "(01)R210D", " Tavo-R210D ", 14, 8, true,
         true, true, 2, "250.5"},
        {"01 R210 type=01 value=-5\n", "(01)R210", " Tavo-R210 ", 14, 1, true, true, true, 2, "-5"},
        {"01 R220 type=0A value=0.25\n", "(01)R220", " Tavo-R220 ", 6, 2, false, true, true, 2,
         "0.25"},
        {"01 R230 type=22 value=100\n", "(01)R230", " Tavo-R230 ", 10, 2, false, false, false, 0,
         "+100.00"},
        {"01 R250 type=06 value=12\n", "(01)R250", " Tavo-R250 ", 5, 4, false, true, false, 4,
         "12"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.node);
        PanelFixture fx(c.bus);
        auto* panel = fx.Open<TfrmMR210D>(c.node);
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->MainCaption(), c.caption);
        EXPECT_EQ(panel->ModuleName(), QString(c.node).mid(4));
        EXPECT_EQ(panel->cmbTypeChangeAllCh->count(), c.ranges);
        EXPECT_EQ(panel->cmbTypeChangeAllCh->currentIndex(), c.range);
        EXPECT_EQ(panel->edtAddress_Hex->text(), "01");
        EXPECT_EQ(panel->edtAddress_Dec->text(), "1");
        EXPECT_EQ(panel->cmbBaudRate->currentText(), "9600 bps");
        EXPECT_FALSE(panel->cmbBaudRate->isEnabled());
        EXPECT_FALSE(panel->btZeroCal->isEnabled());
        EXPECT_EQ(panel->btCJCCal->isVisibleTo(panel), c.cjc);
        EXPECT_EQ(panel->grpAlarmType->isVisibleTo(panel), c.alarms);
        EXPECT_EQ(panel->grpEventCounter->isVisibleTo(panel), c.events);
        for (int n = 0; n < 4; ++n)
            EXPECT_EQ(panel->btDO[static_cast<std::size_t>(n)]->isVisibleTo(panel),
                      n < c.outputs && c.alarms);
        ASSERT_NE(PollTimer(panel), nullptr);
        EXPECT_TRUE(PollTimer(panel)->isActive());
        EXPECT_EQ(PollTimer(panel)->interval(), 500);
        fx.Received(0x01);
        panel->tmrUpdateAIDataTimer();
        EXPECT_EQ(panel->edtAI_Val->text(), c.value);
        EXPECT_EQ(fx.StatusText(), "Read AI succeeded!!  ");
        const auto polled = fx.Received(0x01);
        ASSERT_FALSE(polled.empty());
        EXPECT_EQ(polled[0], "#01");
        // R230 reads its value only; R250 its outputs but no event counter.
        EXPECT_EQ(Starting(polled, "@01RE").size(), c.events ? 1u : 0u);
        EXPECT_EQ(Starting(polled, "@01DI").size(), c.alarms ? 1u : 0u);
    }
}

TEST(AnalogPanels, PollShowsCounterLampsAndFailures) {
    PanelFixture fx("01 R210D type=01 value=5 di=01\n");
    auto* panel = fx.Open<TfrmMR210D>("(01)R210D");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->edtHighLimt->text(), "30"); // the module's own limits, as numbers
    EXPECT_EQ(panel->edtLowLimt->text(), "-30");
    EXPECT_EQ(panel->cmbAlarmType->currentText(), "disable");
    EXPECT_FALSE(panel->edtHighLimt->isEnabled());
    EXPECT_FALSE(panel->btClearAlarmLatch->isEnabled());
    panel->tmrUpdateAIDataTimer();
    const QString first = fx.Indicator();
    EXPECT_TRUE(panel->btDI->property("on").toBool());
    EXPECT_EQ(panel->edtEventCounter->text(), "0");
    panel->tmrUpdateAIDataTimer();
    EXPECT_NE(fx.Indicator(), first); // the heartbeat alternates "0" / "1"
    EXPECT_TRUE(fx.Indicator() == "0" || fx.Indicator() == "1");
    fx.WithModule(0x01, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    panel->tmrUpdateAIDataTimer();
    EXPECT_EQ(fx.StatusText(), "Read AI error!!    ");
    EXPECT_TRUE(fx.Indicator() == "2" || fx.Indicator() == "3");
    EXPECT_EQ(panel->edtAI_Val->text(), "5"); // the last good value stays
}

TEST(AnalogPanels, InitModeTalksToAddress00AndWritesEveryField) {
    PanelFixture fx("05 R210D init type=01 format=00\n");
    const QString node = "(*)R210D";
    auto* panel = fx.Open<TfrmMR210D>(node);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->edtAddress_Hex->text(), "*05");
    EXPECT_EQ(panel->edtAddress_Dec->text(), "5");
    for (QWidget* w :
         {static_cast<QWidget*>(panel->cmbBaudRate), static_cast<QWidget*>(panel->chkCheckSum),
          static_cast<QWidget*>(panel->cmbDataFormat),
          static_cast<QWidget*>(panel->cmbIntegrationTime), static_cast<QWidget*>(panel->btZeroCal),
          static_cast<QWidget*>(panel->btSpanCal)})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    const auto opened = fx.Received(0x05);
    EXPECT_EQ(opened[0], "$00M");
    panel->edtAddress_Dec->setText("18");
    panel->cmbBaudRate->setCurrentIndex(4);        // 19.2 kbps: code 07
    panel->chkCheckSum->setChecked(true);          // bit 6
    panel->cmbTypeChangeAllCh->setCurrentIndex(9); // T thermocouple: code 10
    panel->cmbDataFormat->setCurrentIndex(1);      // % FSR: bits 01
    panel->cmbIntegrationTime->setCurrentIndex(1); // bit 7
    const long long before = fx.ui().clockMs;
    panel->btSystemUpdateClick();
    EXPECT_EQ(Starting(fx.Received(0x12), "%"), std::vector<std::string>{"%00121007C1"});
    EXPECT_EQ(fx.ui().clockMs - before, 10000);
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update general setting succeeded!"});
    EXPECT_EQ(fx.node()->text(0), node); // the tree is left alone in INIT
    EXPECT_EQ(panel->edtAddress_Hex->text(), "*12");
    // Still at 00: the next poll reaches the module.
    panel->tmrUpdateAIDataTimer();
    EXPECT_EQ(fx.StatusText(), "Read AI succeeded!!  ");
}

TEST(AnalogPanels, R230ShowsOhmsAndWritesThemAsFormat11) {
    PanelFixture fx("02 R230 init type=21 format=03 value=50\n");
    auto* panel = fx.Open<TfrmMR230>("(*)R230");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->cmbDataFormat->currentText(), "Ohms");
    panel->tmrUpdateAIDataTimer();
    EXPECT_EQ(panel->edtAI_Val->text(), "+119.25"); // the reply as it came
    panel->cmbDataFormat->setCurrentIndex(1);
    fx.Received(0x02);
    panel->btSystemUpdateClick();
    EXPECT_EQ(Starting(fx.Received(0x02), "%"), std::vector<std::string>{"%0002210601"});
    panel->cmbDataFormat->setCurrentIndex(2);
    panel->btSystemUpdateClick();
    EXPECT_EQ(Starting(fx.Received(0x02), "%"), std::vector<std::string>{"%0002210603"});
}

TEST(AnalogPanels, GeneralUpdateMovesTheModuleAndRenamesTheNode) {
    PanelFixture fx("01 R220 type=08\n");
    auto* panel = fx.Open<TfrmMR220>("(01)R220");
    ASSERT_NE(panel, nullptr);
    fx.Received(0x01);
    panel->edtAddress_Dec->setText("10");
    panel->cmbTypeChangeAllCh->setCurrentIndex(3); // +/- 500mV: code 0B
    panel->cmbDataFormat->setCurrentIndex(2);      // not INIT: stays as read
    const long long before = fx.ui().clockMs;
    panel->btSystemUpdateClick();
    const auto sent = fx.Received(0x0A);
    EXPECT_EQ(Starting(sent, "%"), std::vector<std::string>{"%010A0B0600"});
    EXPECT_EQ(fx.ui().clockMs - before, 5100); // 100 ms, then the R220's 5 s wait
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update general setting succeeded!"});
    EXPECT_EQ(fx.node()->text(0), "(0A)R220");
    EXPECT_EQ(panel->edtAddress_Hex->text(), "0A");
    EXPECT_EQ(panel->cmbDataFormat->currentIndex(), 0);
    EXPECT_EQ(panel->TypeChangeDelayMs(), 5000);
    panel->tmrUpdateAIDataTimer();
    EXPECT_EQ(fx.StatusText(), "Read AI succeeded!!  ");
}

TEST(AnalogPanels, AddressRefusalsSendNoConfiguration) {
    PanelFixture fx("01 R210D\n07 R220\n");
    auto* panel = fx.Open<TfrmMR210D>("(01)R210D");
    ASSERT_NE(panel, nullptr);
    for (const char* bad : {"0", "256", "", "abc", "-1"}) {
        fx.ui().Clear();
        fx.Received(0x01);
        const long long before = fx.ui().clockMs;
        panel->edtAddress_Dec->setText(bad);
        panel->btSystemUpdateClick();
        EXPECT_EQ(fx.ui().Texts(), QStringList{"Please input dicimal address between 1 and 255!"})
            << bad;
        EXPECT_TRUE(Starting(fx.Received(0x01), "%").empty()) << bad;
        EXPECT_EQ(fx.ui().clockMs - before, 10000) << bad; // the wait and the re-read still run
        EXPECT_EQ(panel->edtAddress_Dec->text(), "1");
    }
    fx.ui().Clear();
    panel->edtAddress_Dec->setText("7");
    panel->btSystemUpdateClick();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"The address 7 (Dec) is used by Module [R220] !"});
    EXPECT_TRUE(Starting(fx.Received(0x01), "%").empty());
    EXPECT_TRUE(Starting(fx.Received(0x07), "%").empty());
    EXPECT_EQ(fx.node()->text(0), "(01)R210D");
    panel->tmrUpdateAIDataTimer(); // the command object kept its address
    EXPECT_EQ(fx.StatusText(), "Read AI succeeded!!  ");
    // A refused write reports the failure and keeps the old address too.
    fx.ui().Clear();
    fx.WithModule(0x01, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    panel->edtAddress_Dec->setText("9");
    panel->btSystemUpdateClick();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Query module configuration failed!"});
}

TEST(AnalogPanels, AlarmLimitsAreFormattedByRangeAndRefusedWhenTooWide) {
    struct Row {
        const char* bus;
        bool high;
        const char* text;
        const char* sent; // nullptr: refused before sending
    };
    const Row rows[] = {
        {"01 R210D type=00\n", true, "150", nullptr},
        {"01 R210D type=00\n", true, "5", "@01HI+05.000"},
        {"01 R210D type=00\n", true, "0", "@01HI-00.000"},
        {"01 R210D type=00\n", false, "-2.5", "@01LO-02.500"},
        {"01 R210D type=03\n", true, "250", "@01HI+250.00"},
        {"01 R210D type=05\n", false, "-1.25", "@01LO-1.2500"},
        {"01 R210D type=05\n", true, "12", nullptr},
        {"01 R210D type=0F\n", true, "1000", "@01HI+1000.0"},
        {"01 R210D type=0F\n", true, "5", "@01HI+0005.0"},
        {"01 R220 type=09\n", true, "2", "@01HI+2.0000"},
        {"01 R220 type=09\n", true, "12", nullptr},
        {"01 R220 type=0C\n", false, "100", "@01LO+100.00"},
        {"01 R250 type=06\n", true, "12", "@01HI+12.000"}, // the current range: two digits
        {"01 R210D type=00\n", true, "abc", nullptr},
        {"01 R210D type=00\n", true, "", nullptr},
        {"01 R210D type=00\n", true, "1.2.3", nullptr},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.bus) + r.text);
        PanelFixture fx(r.bus);
        const QString designation = QString(r.bus).section(' ', 1, 1);
        auto* panel = fx.Open<TfrmMR210D>("(01)" + designation);
        ASSERT_NE(panel, nullptr);
        panel->cmbAlarmType->setCurrentIndex(1);
        panel->btAlarmTypeSettingUpdateClick();
        fx.ui().Clear();
        fx.Received(0x01);
        QLineEdit* edit = r.high ? panel->edtHighLimt : panel->edtLowLimt;
        edit->setText(r.text);
        if (r.high)
            panel->btHighAlarmLimitUpdateClick();
        else
            panel->btLowAlarmLimitUpdateClick();
        const auto sent = Starting(fx.Received(0x01), r.high ? "@01HI" : "@01LO");
        if (r.sent) {
            EXPECT_EQ(sent, std::vector<std::string>{r.sent});
            EXPECT_EQ(fx.ui().Texts(),
                      QStringList{r.high ? "Update hihg alarm limit value succeeded!"
                                         : "Update low alarm limit value succeeded!"});
            double expected = 0;
            ASSERT_TRUE(ParsePlainDecimal(QString(r.sent).mid(5), expected));
            EXPECT_EQ(edit->text(), QString::number(expected, 'g', 15)); // read back
        } else {
            EXPECT_TRUE(sent.empty());
            EXPECT_EQ(fx.ui().Texts(), QStringList{r.high ? "Write High Alarm Value Failed!!"
                                                          : "Write Low Alarm Value Failed!!"});
        }
        EXPECT_TRUE(edit->isEnabled()); // momentary: the limits stay usable
        EXPECT_TRUE(PollTimer(panel)->isActive());
    }
}

TEST(AnalogPanels, KeyFiltersAndEnter) {
    PanelFixture fx("01 R210D type=01\n");
    auto* panel = fx.Open<TfrmMR210D>("(01)R210D");
    ASSERT_NE(panel, nullptr);
    int pos = 0;
    const struct {
        QLineEdit* edit;
        const char* ok;
        const char* bad;
    } fields[] = {{panel->edtHighLimt, "-12.5", "1e3"},
                  {panel->edtLowLimt, "+0.5", "abc"},
                  {panel->edtAddress_Dec, "255", "-1"}};
    for (const auto& f : fields) {
        QString good = f.ok, bad = f.bad;
        EXPECT_EQ(f.edit->validator()->validate(good, pos), QValidator::Acceptable);
        EXPECT_EQ(f.edit->validator()->validate(bad, pos), QValidator::Invalid);
    }
    EXPECT_EQ(panel->edtHighLimt->maxLength(), 7);
    // The upper arrow beside the address counts up, the lower one down.
    panel->UpDownTAVO_ID->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(panel->edtAddress_Dec->text(), "2");
    panel->UpDownTAVO_ID->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    panel->UpDownTAVO_ID->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(panel->edtAddress_Dec->text(), "0");
    panel->edtAddress_Dec->setText("200");
    EXPECT_EQ(panel->UpDownTAVO_ID->Number(), 200);
    panel->cmbAlarmType->setCurrentIndex(2);
    panel->btAlarmTypeSettingUpdateClick();
    fx.Received(0x01);
    panel->edtHighLimt->setText("7");
    emit panel->edtHighLimt->returnPressed();
    panel->edtLowLimt->setText("-7");
    emit panel->edtLowLimt->returnPressed();
    const auto sent = fx.Received(0x01);
    EXPECT_EQ(Starting(sent, "@01HI"), std::vector<std::string>{"@01HI+07.000"});
    EXPECT_EQ(Starting(sent, "@01LO"), std::vector<std::string>{"@01LO-07.000"});
}

TEST(AnalogPanels, AlarmModesOutputsLatchAndEventCounter) {
    PanelFixture fx("01 R210D type=01 value=5 di=00\n");
    auto* panel = fx.Open<TfrmMR210D>("(01)R210D");
    ASSERT_NE(panel, nullptr);
    // Alarm disabled: the outputs are the user's.
    panel->btDO[1]->click();
    EXPECT_EQ(Starting(fx.Received(0x01), "@01DO"), std::vector<std::string>{"@01DO02"});
    EXPECT_EQ(panel->btDO[1]->property("Tag").toInt(), 1);
    EXPECT_TRUE(panel->btDO[1]->property("on").toBool());
    panel->btDO0Click();
    EXPECT_EQ(Starting(fx.Received(0x01), "@01DO"), std::vector<std::string>{"@01DO03"});
    EXPECT_TRUE(fx.ui().boxes.empty()); // no success message for outputs

    // Momentary: the high limit trips DO0 while the value is above it; clicks do nothing.
    panel->cmbAlarmType->setCurrentIndex(1);
    panel->btAlarmTypeSettingUpdateClick();
    EXPECT_EQ(Starting(fx.Received(0x01), "@01EA"), std::vector<std::string>{"@01EAM"});
    panel->edtHighLimt->setText("4");
    panel->btHighAlarmLimitUpdateClick();
    panel->tmrUpdateAIDataTimer();
    EXPECT_TRUE(panel->btDO[0]->property("on").toBool());
    fx.Received(0x01);
    panel->btDO0Click();
    panel->btDO[1]->click();
    EXPECT_TRUE(Starting(fx.Received(0x01), "@01DO").empty());
    EXPECT_FALSE(panel->btClearAlarmLatch->isEnabled());
    fx.WithModule(0x01, [](sim::SimModule& m) { m.config().options["value"] = "3"; });
    panel->tmrUpdateAIDataTimer();
    EXPECT_FALSE(panel->btDO[0]->property("on").toBool()); // momentary: follows the value

    // Latch: holds after the value falls back, until Clear Latch.
    fx.WithModule(0x01, [](sim::SimModule& m) { m.config().options["value"] = "5"; });
    panel->cmbAlarmType->setCurrentIndex(2);
    panel->btAlarmTypeSettingUpdateClick();
    EXPECT_TRUE(panel->btClearAlarmLatch->isEnabled());
    fx.WithModule(0x01, [](sim::SimModule& m) { m.config().options["value"] = "3"; });
    panel->tmrUpdateAIDataTimer();
    EXPECT_TRUE(panel->btDO[0]->property("on").toBool());
    fx.ui().Clear();
    panel->btClearAlarmLatchClick();
    EXPECT_EQ(Starting(fx.Received(0x01), "@01CA"), std::vector<std::string>{"@01CA"});
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update succeeded!"});
    EXPECT_FALSE(panel->btDO[0]->property("on").toBool());
    EXPECT_TRUE(panel->btClearAlarmLatch->isEnabled());

    // Disable: limits and latch go grey.
    panel->cmbAlarmType->setCurrentIndex(0);
    panel->btAlarmTypeSettingUpdateClick();
    EXPECT_EQ(Starting(fx.Received(0x01), "@01DA"), std::vector<std::string>{"@01DA"});
    EXPECT_FALSE(panel->btHighAlarmLimitUpdate->isEnabled());
    EXPECT_FALSE(panel->edtLowLimt->isEnabled());

    fx.ui().Clear();
    panel->btClearEventCounterClick();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update succeeded!"});
    panel->tmrUpdateAIDataTimer();
    EXPECT_EQ(panel->edtEventCounter->text(), "0");

    // Failures are worded.
    fx.ui().Clear();
    fx.WithModule(0x01, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    panel->btClearEventCounterClick();
    fx.WithModule(0x01, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    panel->btAlarmTypeSettingUpdateClick();
    fx.WithModule(0x01, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    panel->btDO0Click();
    EXPECT_EQ(fx.ui().Texts(),
              (QStringList{"Clear Event Counter Error!!", "Setting Alarm Type error!!",
                           "Write Digital Output Failed!!"}));
    EXPECT_TRUE(PollTimer(panel)->isActive());
}

TEST(AnalogPanels, R250DrivesFourOutputs) {
    PanelFixture fx("01 R250 type=02\n");
    auto* panel = fx.Open<TfrmMR250>("(01)R250");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(fx.window().Port()->GetTimeOut(), 300);
    panel->btDO[3]->click();
    panel->btDO[2]->click();
    EXPECT_EQ(Starting(fx.Received(0x01), "@01DO"),
              (std::vector<std::string>{"@01DO08", "@01DO0C"}));
    EXPECT_TRUE(panel->btDO[2]->property("on").toBool());
    // Leaving the panel puts the port's time-out back.
    fx.window().ClickNode(fx.window().Tree()->FindPort(QString::fromStdString(fx.sim().path())));
    EXPECT_EQ(fx.window().Port()->GetTimeOut(), 80);
}

} // namespace
} // namespace tavo
