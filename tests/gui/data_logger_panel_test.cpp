// The data logger panel against a simulated R270M: its pages, the memory setup
// and the alarm limits written and read back, recording, the upload of each
// storage mode with its commands and messages, the saved table, and an upload that
// is cancelled or meets replies that are no records.
#include "file_helpers.h"
#include "panel_fixture.h"

#include "panels/analog/calib_dialogs.h"
#include "panels/analog/data_logger_panel.h"

#include "sim/module.h"
#include "workspace/small_windows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace tavo {
namespace {

using test::PanelFixture;
using Lines = std::vector<std::string>;

Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

QTimer* PollTimer(QWidget* panel) {
    return panel->findChild<QTimer*>("tmrUpdateAIData");
}

using test::Timeline;

// Runs the event loop until the upload has ended (or the progress shows `rows` records read).
bool RunUpload(TfrmMR270M* panel, int rows = -1) {
    QElapsedTimer clock;
    clock.start();
    while (panel->Uploading() && (rows < 0 || panel->pbUpload->value() < rows)) {
        if (clock.elapsed() > 60000) return false;
        QCoreApplication::processEvents();
    }
    return true;
}

std::vector<std::string> Column(TfrmMR270M* panel, int column) {
    std::vector<std::string> out;
    for (int i = 0; i < panel->ListView1->topLevelItemCount(); ++i)
        out.push_back(panel->ListView1->topLevelItem(i)->text(column).toStdString());
    return out;
}

TEST(DataLoggerPanel, OpensFromTheTreeWithItsPagesAndReadsTheModule) {
    PanelFixture fx("01 R270M stdrecords=3 eventrecords=2\n");
    auto* panel = fx.Open<TfrmMR270M>("(01)R270M");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->objectName(), "TfrmMR270M");
    auto* pages = fx.Find<QTabWidget>("PageControl");
    ASSERT_NE(pages, nullptr);
    ASSERT_EQ(pages->count(), 3);
    EXPECT_EQ(pages->tabText(0), "M&odule Setting");
    EXPECT_EQ(pages->tabText(1), "Ala&rm Setting");
    EXPECT_EQ(pages->tabText(2), "M&emory Operation");
    for (const char* name : {"btChRefresh",        "btChUpdate",       "btCheckAll",
                             "btUncheckAll",       "chkEnableCh7",     "btZeroCal",
                             "btSpanCal",          "btCJCCal",         "cmbTypeChangeAllCh",
                             "cmbIntegrationTime", "edtHiAlarmCh7",    "edtLoAlarmCh0",
                             "btAlarmUpdate",      "ListView1",        "btOpMode",
                             "btUpload",           "Bt_Save",          "Lab_MemState",
                             "Lbl_StdCnt",         "Lbl_EventCnt",     "chkStoreCh7",
                             "edtSampleInterval",  "chkboxRecordData", "cbxStoreMode",
                             "radiobtnNormal",     "radiobtnCycle",    "btMemUpdate"})
        EXPECT_NE(fx.Find<QWidget>(name), nullptr) << name;
    auto* baud = fx.Find<QComboBox>("cmbBaudRate");
    ASSERT_EQ(baud->count(), 6);
    EXPECT_EQ(baud->itemText(5), "38.4 kbps");
    EXPECT_TRUE(panel->cmbDataFormat->isHidden());
    // The memory as the simulator keeps it at power-up: all channels, record on,
    // mixed, normal, 10 s; the alarm limits at 90 % and 10 % of the range.
    EXPECT_EQ(panel->cbxStoreMode->currentText(), "Mixed");
    EXPECT_TRUE(panel->radiobtnNormal->isChecked());
    EXPECT_EQ(panel->edtSampleInterval->text(), "10");
    EXPECT_TRUE(panel->chkboxRecordData->isChecked());
    EXPECT_TRUE(panel->chkStoreCh[7]->isChecked());
    EXPECT_FALSE(panel->edtHiAlarmCh[0]->text().isEmpty());
    EXPECT_EQ(panel->btOpMode->text(), "Start recording");
    EXPECT_TRUE(panel->btOpMode->isEnabled());
    for (QLineEdit* e : {panel->edtHiAlarmCh[3], panel->edtLoAlarmCh[5]})
        EXPECT_EQ(e->maxLength(), 7);

    // The memory page's poll: state and both counts.
    pages->setCurrentWidget(panel->TS_MemoryOperation);
    fx.Received(0x01);
    panel->tmrUpdateAIDataTimer();
    EXPECT_EQ(fx.Received(0x01), (Lines{"@01T", "@01N", "@01L"}));
    EXPECT_EQ(panel->Lbl_StdCnt->text(), "0003");
    EXPECT_EQ(panel->Lbl_EventCnt->text(), "0002");
    EXPECT_EQ(panel->Lab_MemState->text(), "Record stop");
    // The setting page reads up to four enabled channels a tick, going round.
    pages->setCurrentWidget(panel->TS_ModuleSetting);
    panel->channels->enable[1]->setChecked(false);
    panel->tmrUpdateAIDataTimer();
    panel->tmrUpdateAIDataTimer();
    EXPECT_EQ(fx.Received(0x01),
              (Lines{"#010", "#012", "#013", "#014", "#015", "#016", "#017", "#010"}));
    EXPECT_FALSE(panel->channels->value[5]->text().isEmpty());
}

TEST(DataLoggerPanel, MemorySetupIsWrittenWithItsWaitsAndReadBack) {
    PanelFixture fx("01 R270M\n");
    auto* panel = fx.Open<TfrmMR270M>("(01)R270M");
    ASSERT_NE(panel, nullptr);
    for (int n = 0; n < 8; ++n)
        panel->chkStoreCh[static_cast<std::size_t>(n)]->setChecked(n == 0 || n == 5);
    panel->chkboxRecordData->setChecked(false);
    panel->cbxStoreMode->setCurrentIndex(1); // event
    panel->radiobtnCycle->setChecked(true);
    panel->edtSampleInterval->setText("300");
    Timeline wire(fx, 0x01);
    panel->btMemUpdateClick();
    EXPECT_EQ(wire.Take(), (Lines{"@01C21011012C", "wait 2000", "@01D", "wait 1000", "@01T"}));
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update memory configuration succeeded!"});
    EXPECT_EQ(test::Send(*fx.window().Port(), "@01D").reply, "!0121011012C\r");
    EXPECT_EQ(panel->cbxStoreMode->currentText(), "Event");
    EXPECT_TRUE(panel->radiobtnCycle->isChecked());
    EXPECT_EQ(panel->edtSampleInterval->text(), "300");
    EXPECT_FALSE(panel->chkStoreCh[1]->isChecked());
    EXPECT_TRUE(PollTimer(panel)->isActive());

    // Intervals outside 2 to 65535 are refused before anything is sent.
    wire.Take();
    for (const char* interval : {"1", "65536", ""}) {
        fx.ui().Clear();
        panel->edtSampleInterval->setText(interval);
        panel->btMemUpdateClick();
        EXPECT_EQ(wire.Take(), Lines{}) << interval;
        EXPECT_EQ(fx.ui().Texts(),
                  QStringList{"The sampling interval must be between 2 and 65535!"});
    }
}

TEST(DataLoggerPanel, AlarmLimitsAreCheckedThenWrittenChannelByChannel) {
    PanelFixture fx("01 R270M\n");
    auto* panel = fx.Open<TfrmMR270M>("(01)R270M");
    ASSERT_NE(panel, nullptr);
    // The key filter lets digits, "-" and "." through.
    panel->edtHiAlarmCh[0]->clear();
    panel->edtHiAlarmCh[0]->setFocus();
    for (const char* key : {"1", "a", "2", "+", ".", "5", "e"})
        QTest::keyClicks(panel->edtHiAlarmCh[0], key);
    EXPECT_EQ(panel->edtHiAlarmCh[0]->text(), "12.5");

    panel->edtLoAlarmCh[3]->setText("70000");
    Timeline wire(fx, 0x01);
    panel->btAlarmUpdateClick();
    EXPECT_EQ(wire.Take(), Lines{});
    EXPECT_EQ(fx.ui().Texts(), QStringList{"The data format of channel 3 low alarm is invalid!"});

    for (int n = 0; n < 8; ++n) {
        panel->edtHiAlarmCh[static_cast<std::size_t>(n)]->setText(n == 0 ? "12.5" : "100");
        panel->edtLoAlarmCh[static_cast<std::size_t>(n)]->setText(n == 0 ? "-0.5" : "-1.25");
    }
    fx.ui().Clear();
    std::vector<QString> waits;
    fx.ui().onDialog = [&](QDialog& d) {
        if (auto* w = qobject_cast<TfrmMWaitFor*>(&d)) waits.push_back(w->MessageText());
        return int(QDialog::Accepted);
    };
    panel->btAlarmUpdateClick();
    Lines expected{"@01A0+1007D-10005"};
    for (int n = 1; n < 8; ++n)
        expected.push_back("@01A" + std::to_string(n) + "+00064-2007D");
    Lines sent = wire.Take();
    sent.erase(std::remove_if(sent.begin(), sent.end(),
                              [](const std::string& s) { return s.rfind("@01A", 0) != 0; }),
               sent.end());
    EXPECT_EQ(sent, expected);
    ASSERT_EQ(waits.size(), 8u);
    EXPECT_EQ(waits[3], "Updating Channel 3 ...");
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update alarm configuration succeeded!"});
    EXPECT_EQ(test::Send(*fx.window().Port(), "@01B0").reply, "!01+1007D-10005\r");
    EXPECT_EQ(panel->edtLoAlarmCh[7]->text(), "-1.25"); // read back
}

TEST(DataLoggerPanel, RecordingStartsAndStops) {
    PanelFixture fx("01 R270M\n");
    auto* panel = fx.Open<TfrmMR270M>("(01)R270M");
    ASSERT_NE(panel, nullptr);
    Timeline wire(fx, 0x01);
    panel->btOpModeClick();
    EXPECT_EQ(wire.Take(), (Lines{"@01S1", "wait 1000"}));
    EXPECT_EQ(panel->btOpMode->text(), "Stop recording");
    panel->PageControl->setCurrentWidget(panel->TS_MemoryOperation);
    panel->tmrUpdateAIDataTimer();
    const QString first = panel->Lab_MemState->text();
    panel->tmrUpdateAIDataTimer();
    EXPECT_EQ(first, "Recording...");
    EXPECT_EQ(panel->Lab_MemState->text(), "Recording......");
    wire.Take();
    panel->btOpModeClick();
    EXPECT_EQ(wire.Take(), (Lines{"@01S0", "wait 1000"}));
    EXPECT_EQ(panel->btOpMode->text(), "Start recording");
}

// ---- Upload ----------------------------------------------------------------------------

struct UploadCase {
    const char* bus;
    const char* message;
    Lines records;
    std::vector<std::string> numbers, intervals;
};

TEST(DataLoggerPanel, UploadReadsTheSeriesOfTheStorageMode) {
    const UploadCase cases[] = {
        {"01 R270M storage=standard stdrecords=0 eventrecords=2\n",
         "No standard record on the module!",
         {},
         {},
         {}},
        {"01 R270M storage=standard stdrecords=3 eventrecords=2\n",
         "3 standard record(s) on the module, upload now!",
         {"@01R0000", "@01R0001", "@01R0002"},
         {"0000", "0001", "0002"},
         {"-----", "-----", "-----"}},
        {"01 R270M storage=event stdrecords=3 eventrecords=0\n",
         "No event record on the module!",
         {},
         {},
         {}},
        {"01 R270M storage=event stdrecords=3 eventrecords=2\n",
         "2 event record(s) on the module, upload now!",
         {"@01R0000", "@01R0001"},
         {"0000", "0001"},
         {"45", "182"}},
        {"01 R270M stdrecords=0 eventrecords=0\n",
         "No standard/event record on the module!",
         {},
         {},
         {}},
        {"01 R270M stdrecords=3 eventrecords=2\n",
         "3 standard record(s) and 2 event record(s) on the module, upload now!",
         {"@01R0000", "@01R0001", "@01R0002", "@01R1388", "@01R1389"},
         {"0000", "0001", "0002", "0000", "0001"},
         {"-----", "-----", "-----", "45", "182"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bus);
        PanelFixture fx(c.bus);
        auto* panel = fx.Open<TfrmMR270M>("(01)R270M");
        ASSERT_NE(panel, nullptr);
        panel->ListView1->addTopLevelItem(new QTreeWidgetItem(QStringList{"old"}));
        fx.Received(0x01);
        panel->btUploadClick();
        ASSERT_TRUE(RunUpload(panel));
        EXPECT_EQ(fx.Received(0x01), (Lines{"@01N", "@01L"} + c.records));
        EXPECT_EQ(fx.ui().Texts(), QStringList{c.message});
        EXPECT_EQ(Column(panel, 0), c.numbers);
        EXPECT_EQ(Column(panel, 3), c.intervals);
        // The save dialog follows, proposing the file name.
        ASSERT_FALSE(fx.ui().defaultNames.empty());
        EXPECT_EQ(fx.ui().defaultNames.back(), "R270M_Data.csv");
        EXPECT_TRUE(PollTimer(panel)->isActive());
        EXPECT_TRUE(panel->btUpload->isEnabled());
    }
}

TEST(DataLoggerPanel, SavedTableHoldsTheHeaderAndTheRowsExactly) {
    PanelFixture fx("01 R270M type=00 value=12.5 stdrecords=2 eventrecords=1\n");
    auto* panel = fx.Open<TfrmMR270M>("(01)R270M");
    ASSERT_NE(panel, nullptr);
    QTemporaryDir dir;
    const QString path = dir.filePath("R270M_Data.csv");
    ASSERT_TRUE(test::WriteAll(path, "an older table\n"));
    fx.ui().saveNames.push_back(path);
    panel->btUploadClick();
    ASSERT_TRUE(RunUpload(panel));
    // The event record of the simulator: channel 0, 2 % above its high limit.
    const QByteArray event = test::ReadAll(path).split('\n').value(3);
    EXPECT_EQ(test::ReadAll(path), QByteArray("Record,Channel,Data,Interval\n"
                                              "0000,0,12.500,-----\n"
                                              "0001,1,12.500,-----\n") +
                                       event + "\n");
    EXPECT_TRUE(event.startsWith("0000,0,")) << event.toStdString();
    EXPECT_TRUE(event.endsWith(",45")) << event.toStdString();
    EXPECT_EQ(fx.ui().Texts().back(), "Save File succeeded!");

    // An empty list saves the header alone; a folder that cannot be written says so.
    panel->ListView1->clear();
    fx.ui().saveNames.push_back(path);
    panel->Bt_SaveClick();
    EXPECT_EQ(test::ReadAll(path), QByteArray("Record,Channel,Data,Interval\n"));
    fx.ui().Clear();
    fx.ui().saveNames.push_back(dir.filePath("no-such-folder/R270M_Data.csv"));
    panel->Bt_SaveClick();
    ASSERT_EQ(fx.ui().boxes.size(), 1u);
    EXPECT_EQ(fx.ui().boxes[0].title, "Message");
    EXPECT_EQ(fx.ui().boxes[0].text, "Error when opening file");
}

TEST(DataLoggerPanel, CancelledUploadKeepsWhatWasReadAndCanSaveIt) {
    PanelFixture fx("01 R270M storage=standard stdrecords=4000 eventrecords=0\n");
    auto* panel = fx.Open<TfrmMR270M>("(01)R270M");
    ASSERT_NE(panel, nullptr);
    fx.Received(0x01);
    panel->btUploadClick();
    ASSERT_TRUE(RunUpload(panel, 20));
    ASSERT_TRUE(panel->Uploading());
    // Responsive while it runs: progress shows, only Cancel is open.
    EXPECT_EQ(panel->pbUpload->maximum(), 4000);
    EXPECT_GE(panel->pbUpload->value(), 20);
    EXPECT_FALSE(panel->btUpload->isEnabled());
    EXPECT_FALSE(panel->TS_ModuleSetting->isEnabled());
    EXPECT_TRUE(panel->btCancelUpload->isEnabled());
    EXPECT_FALSE(PollTimer(panel)->isActive());
    QTest::mouseClick(panel->btCancelUpload, Qt::LeftButton);
    EXPECT_FALSE(panel->Uploading());
    const int rows = panel->ListView1->topLevelItemCount();
    EXPECT_GE(rows, 20);
    EXPECT_LT(rows, 4000);
    EXPECT_EQ(panel->pbUpload->value(), rows);
    // The module keeps its latest 2000 lines: the two counts and one read a row, the
    // last one for the last row, and none after it.
    const Lines sent = fx.Received(0x01);
    ASSERT_EQ(sent.size(), std::min<std::size_t>(2000, 2u + static_cast<std::size_t>(rows)));
    EXPECT_EQ(sent.back(), "@01R" + QString::asprintf("%04X", rows - 1).toStdString());
    EXPECT_TRUE(fx.ui().defaultNames.empty()); // no save dialog after a cancel
    EXPECT_TRUE(PollTimer(panel)->isActive());
    EXPECT_TRUE(panel->btUpload->isEnabled());

    QTemporaryDir dir;
    fx.ui().saveNames.push_back(dir.filePath("part.csv"));
    panel->Bt_SaveClick();
    EXPECT_EQ(test::ReadAll(dir.filePath("part.csv")).count('\n'), rows + 1);
}

TEST(DataLoggerPanel, RepliesThatAreNoRecordsStopTheUploadAndKeepTheGoodRows) {
    struct Row {
        const char* what;
        std::function<void(sim::FaultPlan&)> fault;
    };
    // Each fault hits both tries of record 4 (replies 0 and 1 are the counts).
    const Row rows[] = {
        {"short", [](sim::FaultPlan& f) { f.cut.count = 2; }},
        {"garbled", [](sim::FaultPlan& f) { f.garbage.count = 2; }},
        // Late replies belong to a try that has given up; neither becomes a row.
        {"late",
         [](sim::FaultPlan& f) {
             f.late.count = 2;
             f.lateMs = 1000;
         }},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        PanelFixture fx("01 R270M storage=standard stdrecords=8 eventrecords=0\n");
        auto* panel = fx.Open<TfrmMR270M>("(01)R270M");
        ASSERT_NE(panel, nullptr);
        const std::vector<std::string> good = [&] {
            std::vector<std::string> out;
            for (int i = 0; i < 4; ++i)
                out.push_back(test::Send(*fx.window().Port(), "@01R000" + std::to_string(i))
                                  .reply.substr(4, 5));
            return out;
        }();
        fx.Received(0x01);
        fx.WithModule(0x01, [&](sim::SimModule& m) {
            r.fault(m.faults());
            m.faults().startAfter = 2 + 4;
        });
        Timeline wire(fx, 0x01);
        panel->btUploadClick();
        ASSERT_TRUE(RunUpload(panel));
        const Lines sent = wire.Take();
        const Lines head(sent.begin(), sent.begin() + std::min<std::size_t>(sent.size(), 8));
        EXPECT_EQ(head, (Lines{"@01N", "@01L", "@01R0000", "@01R0001", "@01R0002", "@01R0003",
                               "@01R0004", "wait 500"}));
        EXPECT_GE(std::count(sent.begin(), sent.end(), "@01R0004"),
                  1); // a busy line may drop the retry
        EXPECT_EQ(std::count(sent.begin(), sent.end(), "@01R0005"), 0);
        EXPECT_EQ(fx.ui().Texts(), (QStringList{"8 standard record(s) on the module, upload now!",
                                                "Fail to read record data!"}));
        EXPECT_EQ(Column(panel, 0), (std::vector<std::string>{"0000", "0001", "0002", "0003"}));
        ASSERT_EQ(panel->ListView1->topLevelItemCount(), 4);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(panel->ListView1->topLevelItem(i)->text(2).toStdString(),
                      *DecodeRecordValue(good[static_cast<std::size_t>(i)]));
        // The save dialog is offered for what was read.
        EXPECT_FALSE(fx.ui().defaultNames.empty());
    }
}

TEST(DataLoggerPanel, MixedUploadReadsTheEventsAfterAFailedStandardSeries) {
    PanelFixture fx("01 R270M stdrecords=3 eventrecords=2\n");
    auto* panel = fx.Open<TfrmMR270M>("(01)R270M");
    ASSERT_NE(panel, nullptr);
    // Both tries of standard record 1 garbled (replies 0 and 1 are the counts).
    fx.WithModule(0x01, [](sim::SimModule& m) {
        m.faults().garbage.count = 2;
        m.faults().startAfter = 3;
    });
    Timeline wire(fx, 0x01);
    panel->btUploadClick();
    ASSERT_TRUE(RunUpload(panel));
    EXPECT_EQ(wire.Take(), (Lines{"@01N", "@01L", "@01R0000", "@01R0001", "wait 500", "@01R0001",
                                  "@01R1388", "@01R1389"}));
    EXPECT_EQ(fx.ui().Texts(),
              (QStringList{"3 standard record(s) and 2 event record(s) on the module, upload now!",
                           "Fail to read record data!"}));
    EXPECT_EQ(Column(panel, 0), (std::vector<std::string>{"0000", "0000", "0001"}));
    EXPECT_EQ(Column(panel, 3), (std::vector<std::string>{"-----", "45", "182"}));
    EXPECT_EQ(panel->pbUpload->value(), panel->pbUpload->maximum());
    EXPECT_FALSE(fx.ui().defaultNames.empty()); // the save dialog follows
}

// Message boxes run the event loop: the poll must not talk between the counts and
// the records.
TEST(DataLoggerPanel, PollStaysStoppedWhileTheUploadMessagesAreOpen) {
    struct Row {
        const char* bus;
        int garbled; // replies garbled from the first count on
        QString box;
    };
    const Row rows[] = {
        {"01 R270M storage=standard stdrecords=2\n", 0,
         "2 standard record(s) on the module, upload now!"},
        {"01 R270M storage=standard stdrecords=0\n", 0, "No standard record on the module!"},
        {"01 R270M\n", 1, "Fail to read record counts!"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.bus);
        PanelFixture fx(r.bus);
        auto* panel = fx.Open<TfrmMR270M>("(01)R270M");
        ASSERT_NE(panel, nullptr);
        ASSERT_TRUE(PollTimer(panel)->isActive());
        fx.WithModule(0x01, [&](sim::SimModule& m) { m.faults().garbage.count = r.garbled; });
        std::vector<std::pair<QString, bool>> shown;
        fx.ui().onMessage = [&](const test::TestUi::Box& box) {
            shown.emplace_back(box.text, PollTimer(panel)->isActive());
        };
        panel->btUploadClick();
        ASSERT_TRUE(RunUpload(panel));
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.front(), (std::pair{r.box, false}));
        EXPECT_TRUE(PollTimer(panel)->isActive());
    }
}

TEST(DataLoggerPanel, AlarmLimitsAreReadForEveryChannelPastAFailedOne) {
    const std::string bus = "01 R270M\n";
    // Where "@01B2" stands in the start-up, from a start without faults.
    std::size_t at = 0;
    {
        PanelFixture fx(bus);
        ASSERT_NE(fx.Open<TfrmMR270M>("(01)R270M"), nullptr);
        const Lines sent = fx.Received(0x01);
        at = static_cast<std::size_t>(std::find(sent.begin(), sent.end(), "@01B2") - sent.begin());
        ASSERT_LT(at, sent.size());
    }
    PanelFixture fx(bus);
    fx.WithModule(0x01, [&](sim::SimModule& m) {
        m.faults().garbage.count = 1;
        m.faults().startAfter = static_cast<int>(at);
    });
    auto* panel = fx.Open<TfrmMR270M>("(01)R270M");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(test::Starting(fx.Received(0x01), "@01B"),
              (Lines{"@01B0", "@01B1", "@01B2", "@01B3", "@01B4", "@01B5", "@01B6", "@01B7"}));
    EXPECT_TRUE(panel->edtHiAlarmCh[2]->text().isEmpty());
    for (int n : {0, 1, 3, 7}) {
        EXPECT_FALSE(panel->edtHiAlarmCh[static_cast<std::size_t>(n)]->text().isEmpty()) << n;
        EXPECT_FALSE(panel->edtLoAlarmCh[static_cast<std::size_t>(n)]->text().isEmpty()) << n;
    }
}

TEST(DataLoggerPanel, UnknownRecordingStateDisablesStartStopUntilReadAgain) {
    PanelFixture fx("01 R270M\n");
    auto* panel = fx.Open<TfrmMR270M>("(01)R270M");
    ASSERT_NE(panel, nullptr);
    panel->PageControl->setCurrentWidget(panel->TS_MemoryOperation);
    ASSERT_TRUE(panel->btOpMode->isEnabled());
    fx.WithModule(0x01, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    fx.Received(0x01);
    panel->tmrUpdateAIDataTimer();
    EXPECT_EQ(fx.Received(0x01), Lines{"@01T"});
    EXPECT_FALSE(panel->btOpMode->isEnabled());
    EXPECT_EQ(fx.StatusText(), "Fail to fresh operation setting!");
    panel->tmrUpdateAIDataTimer();
    EXPECT_TRUE(panel->btOpMode->isEnabled());
    EXPECT_EQ(panel->btOpMode->text(), "Start recording");
}

TEST(DataLoggerPanel, CountFailureStopsBeforeAnyRecord) {
    PanelFixture fx("01 R270M\n");
    auto* panel = fx.Open<TfrmMR270M>("(01)R270M");
    ASSERT_NE(panel, nullptr);
    fx.WithModule(0x01, [](sim::SimModule& m) { m.faults().garbage.count = 2; });
    fx.Received(0x01);
    panel->btUploadClick();
    EXPECT_FALSE(panel->Uploading());
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Fail to read record counts!"});
    for (const auto& c : fx.Received(0x01))
        EXPECT_NE(c.rfind("@01R", 0), 0u) << c;
}

TEST(DataLoggerPanel, CalibrationDialogsCarryTheLoggerCaptionsAndSignals) {
    PanelFixture fx("01 R270M type=0F\n");
    auto* panel = fx.Open<TfrmMR270M>("(01)R270M");
    ASSERT_NE(panel, nullptr);
    QString title, input;
    fx.ui().onDialog = [&](QDialog& d) {
        title = d.windowTitle();
        if (auto* calib = qobject_cast<TfrmCalib*>(&d)) input = calib->Edit1->text();
        return int(QDialog::Rejected);
    };
    panel->btSpanCalClick();
    EXPECT_EQ(title, "Tavo-R270M Span calibration");
    EXPECT_EQ(input, "50 mV"); // K type
    panel->cmbTypeChangeAllCh->setCurrentIndex(5);
    panel->btZeroCalClick();
    EXPECT_EQ(title, "Tavo-R270M Zero calibration");
    EXPECT_EQ(input, "0 V");
    panel->btCJCCalClick();
    EXPECT_EQ(title, "Tavo-R270M Cold Junction Compesation");
    EXPECT_TRUE(PollTimer(panel)->isActive());
}

} // namespace
} // namespace tavo
