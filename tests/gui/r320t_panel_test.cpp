// The loop controller panels over a pseudo-terminal: the PID table read in blocks,
// the trend fed once per full read, the SV write, the tuning limits, the PID file
// export and import between two controllers and the refusal of bad files, and the
// Modbus variant's requests and its outputs.
#include "file_helpers.h"
#include "panel_fixture.h"

#include "devices/loop_table.h"
#include "panels/analog/loop_widgets.h"
#include "panels/analog/r320t_dialogs.h"
#include "panels/analog/r320t_panel.h"
#include "panels/common/form_controls.h"
#include "panels/common/modbus_panel.h"
#include "sim/analog_sim.h"
#include "sim/module.h"

#include <QComboBox>
#include <QGroupBox>
#include <QTimer>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

namespace tavo {
namespace {

using test::PanelFixture;
using test::Starting;
using Strings = std::vector<std::string>;

constexpr int kPidPage = 3;

std::array<std::int32_t, 256> SimTable(PanelFixture& fx, unsigned address) {
    return fx.WithModule(address, [](sim::SimModule& m) {
        const auto* loop = m.Find<sim::analog::LoopCommands>();
        if (!loop) throw std::logic_error("no loop controller at that address");
        return loop->Table();
    });
}

TEST(R320TPanel, PidTableIsReadInBlocksAndFeedsGaugesAndTrendOncePerPass) {
    PanelFixture fx("01 R320T\n");
    auto* p = fx.Open<TfrmMR320T>("(01)R320T");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->grpModule->title(), " Tavo-R320T 2-Loops PID Controller module");
    EXPECT_EQ(p->findChild<QTimer*>("Timer1")->interval(), 250);
    fx.Received(0x01);

    p->pgCtrlMain->setCurrentIndex(kPidPage);
    for (int pass = 1; pass <= 2; ++pass) {
        for (int tick = 0; tick < 8; ++tick) {
            p->Timer1Timer();
            EXPECT_EQ(fx.Received(0x01), Strings{QString::asprintf("#01PR%d010", tick).toStdString()});
        }
        for (auto* s : {p->trend->SVSeries(), p->trend->PVSeries(), p->trend->MVSeries()})
            EXPECT_EQ(s->count(), pass);
    }
    EXPECT_EQ(fx.StatusText(), "Polling PID data...");
    EXPECT_EQ(p->edtSV->text(), "80.000");
    EXPECT_EQ(p->cboxControl->currentText(), "Auto");
    EXPECT_EQ(p->edtHigh->text(), "200.00");
    EXPECT_EQ(p->edtLow->text(), "0.00");
    EXPECT_DOUBLE_EQ(p->trend->SVSeries()->at(1).y(), 40.0); // SV 80 of 0..200
    // A paused trend keeps what it has.
    p->btnPause->click();
    for (int tick = 0; tick < 8; ++tick) p->Timer1Timer();
    EXPECT_EQ(p->trend->SVSeries()->count(), 2);
    p->btnPause->click();

    // SV 25.5: entry 10, 25500 as eight hex digits.
    p->edtSV->setText("25.5");
    p->edtSVKeyPress();
    EXPECT_EQ(Starting(fx.Received(0x01), "#01PW"), Strings{"#01PW0A0000639C"});
    EXPECT_EQ(SimTable(fx, 1)[10], 25500);
    p->edtSV->setText("250");
    p->edtSVKeyPress();
    EXPECT_EQ(fx.ui().Texts().last(), "SV value is out of range!");
    EXPECT_TRUE(Starting(fx.Received(0x01), "#01PW").empty());

    // Loop 1 reads entries 128 on.
    p->cboxLoop->setCurrentIndex(1);
    p->cboxLoopChange();
    EXPECT_EQ(Starting(fx.Received(0x01), "#01PR").front(), "#01PR8010");
    EXPECT_EQ(p->cboxControl->currentText(), "Manual");
}

TEST(R320TPanel, TrendHistoryIsBounded) {
    TrendGraph graph;
    for (int i = 0; i < 1000; ++i) graph.AddPoint(i % 100, 50, 25);
    EXPECT_EQ(graph.SVSeries()->count(), TrendGraph::kHistory);
    EXPECT_EQ(graph.MVSeries()->count(), TrendGraph::kHistory);
    EXPECT_EQ(graph.Samples(), 1000);
    EXPECT_DOUBLE_EQ(graph.SVSeries()->at(TrendGraph::kHistory - 1).x(), 999.0);
}

TEST(R320TPanel, TuningLimitsAreRefusedBeforeSending) {
    PanelFixture fx("01 R320T\n");
    auto* p = fx.Open<TfrmMR320T>("(01)R320T");
    ASSERT_NE(p, nullptr);
    Strings sent;
    QStringList boxes;
    fx.ui().onDialog = [&](QDialog& d) {
        auto* tun = qobject_cast<TfrmMR320TTun*>(&d);
        if (!tun) return -1;
        EXPECT_EQ(tun->windowTitle(), "R320T PID Tuning");
        EXPECT_EQ(tun->edtTuneP->text(), "2.000");
        fx.Received(0x01);
        for (const char* bad : {"0", "0.0", "0.0004", "10.001", "-1", "abc"}) {
            tun->edtTuneP->setText(bad);
            tun->edtTuneEnter(loop::kP);
            EXPECT_EQ(fx.ui().Texts().last(), "Value is out of range!") << bad;
            EXPECT_TRUE(Starting(fx.Received(0x01), "#01PW").empty()) << bad;
        }
        tun->edtTuneP->setText("10");
        tun->edtTuneEnter(loop::kP);
        tun->edtTuneD->setText("0.001");
        tun->edtTuneEnter(loop::kD);
        sent = Starting(fx.Received(0x01), "#01PW");
        return int(QDialog::Accepted);
    };
    p->bitbtnTuningClick();
    EXPECT_EQ(sent, (Strings{"#01PW1F00002710", "#01PW2100000001"}));
    EXPECT_EQ(SimTable(fx, 1)[31], 10000);
    EXPECT_EQ(SimTable(fx, 1)[33], 1);
}

TEST(R320TPanel, PidFileExportThenImportOntoASecondControllerReproducesTheTable) {
    QTemporaryDir dir;
    const QString path = dir.filePath("loops.pid");
    PanelFixture fx("01 R320T\n02 R320T\n");
    auto* p = fx.Open<TfrmMR320T>("(01)R320T");
    ASSERT_NE(p, nullptr);
    // Settings of both loops that differ from the second controller's.
    auto& s = p->Session();
    ASSERT_TRUE(s.Link()->ReadTable(s.Table()));
    ASSERT_EQ(s.EditTuning(loop::kP, "3.5"), "");
    ASSERT_EQ(s.EditSV("55.555"), "");
    ASSERT_TRUE(s.WritePIDValue(loop::kMV, 50000)); // within the MV limits the import checks
    s.SetLoop(1);
    ASSERT_TRUE(s.Link()->ReadTable(s.Table()));
    ASSERT_TRUE(s.WritePIDValue(loop::kPVAlarmH, 140000));
    ASSERT_TRUE(s.WritePIDValue(loop::kInterval, 2500));
    s.SetLoop(0);
    fx.ui().saveNames.push_back(path);
    fx.ui().onDialog = [&](QDialog& d) {
        auto* set = qobject_cast<TfrmMR320TSet*>(&d);
        if (!set) return -1;
        EXPECT_EQ(set->windowTitle(), "R320T PID Setting");
        set->btnExport->click();
        return int(QDialog::Accepted);
    };
    p->bitbtnSettingClick();
    EXPECT_EQ(fx.ui().Texts().last(), "Configuration exported!");
    const QByteArray file = test::ReadAll(path);
    ASSERT_EQ(file.size(), 1057);
    EXPECT_TRUE(file.startsWith("Tavo-R320T PID Configuration File"));

    auto* q = fx.Open<TfrmMR320T>("(02)R320T");
    ASSERT_NE(q, nullptr);
    q->cboxLoop->setCurrentIndex(1); // importing from loop 1 still writes every entry
    q->cboxLoopChange();
    fx.Received(0x02);
    fx.ui().openNames.push_back(path);
    fx.ui().onDialog = [&](QDialog& d) {
        auto* set = qobject_cast<TfrmMR320TSet*>(&d);
        if (!set) return -1;
        set->btnImport->click();
        EXPECT_EQ(set->Field(loop::kInterval)->text(), "2500");
        return int(QDialog::Accepted);
    };
    q->bitbtnSettingClick();
    EXPECT_EQ(fx.ui().Texts().last(), "Configuration imported!");
    const Strings writes = Starting(fx.Received(0x02), "#02PW");
    ASSERT_EQ(writes.size(), 256u);
    for (int e = 0; e < 256; ++e)
        EXPECT_EQ(writes[static_cast<std::size_t>(e)].substr(5, 2),
                  QString::asprintf("%02X", e).toStdString());
    const auto a = SimTable(fx, 1), b = SimTable(fx, 2);
    for (int e = 0; e < 256; ++e) {
        const int index = e % 128;
        if (index == loop::kPV || index == loop::kMV || index == loop::kPVAlarmState ||
            index == loop::kMVAlarmState || index == loop::kPVInvalid)
            continue; // measured and controlled, not settings
        EXPECT_EQ(a[static_cast<std::size_t>(e)], b[static_cast<std::size_t>(e)]) << e;
    }
    EXPECT_EQ(b[31], 3500);
    EXPECT_EQ(b[10], 55555);
    EXPECT_EQ(b[128 + 40], 2500);
}

TEST(R320TPanel, PidImportTakesWhatHasTheSizeAndHeaderAndReportsWhatTheModuleRefuses) {
    QTemporaryDir dir;
    loop::PidTable table{};
    for (int l = 0; l < 2; ++l) {
        std::int32_t* t = table.data() + l * 128;
        t[loop::kPVRangeHigh] = 200000;
        t[loop::kMVRangeHigh] = 100000;
        t[loop::kSVLimitHigh] = 200000;
        t[loop::kMVLimitHigh] = 100000;
        t[loop::kMV] = 50000; // within the MV limits the module has while it is written
        t[loop::kP] = t[loop::kI] = t[loop::kD] = 1000;
        t[loop::kInterval] = 1000;
    }
    const auto good = loop::WritePidFile(table);
    QByteArray bytes(reinterpret_cast<const char*>(good.data()), static_cast<qsizetype>(good.size()));
    QByteArray zeroP = bytes, highP = bytes, header = bytes;
    zeroP.replace(33 + 4 * 31, 4, QByteArray(4, '\0'));
    highP.replace(33 + 4 * (128 + 31), 4, QByteArray::fromHex("00002711"));
    header[0] = 'X';
    struct Case {
        const char* name;
        QByteArray data;
        QString box;
        std::size_t writes; // "#02PW" sent
    };
    const Case cases[] = {
        {"truncated", bytes.left(1056),
         "Invalid PID configuration file!\nthe file has 1056 bytes instead of 1057", 0},
        {"empty", QByteArray(), "Invalid PID configuration file!\nthe file has 0 bytes instead of 1057",
         0},
        {"header", header,
         "Invalid PID configuration file!\nthe first 33 bytes are not the PID configuration header", 0},
        // P = 0 is the module's to judge, and it takes it.
        {"zeroP", zeroP, "Configuration imported!", 256},
        // P = 10.001 it refuses: the import stops there and says where.
        {"highP", highP,
         "Import file failed!\nEntry 31 of loop 1 (value 10001) was not written; the entries "
         "after it were not sent.",
         128 + 31 + 1},
    };
    PanelFixture fx("02 R320T\n");
    auto* p = fx.Open<TfrmMR320T>("(02)R320T");
    ASSERT_NE(p, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString(c.name) + ".pid");
        ASSERT_TRUE(test::WriteAll(path, c.data));
        fx.ui().openNames.push_back(path);
        fx.ui().onDialog = [&](QDialog& d) {
            auto* set = qobject_cast<TfrmMR320TSet*>(&d);
            if (!set) return -1;
            set->btnImport->click();
            return int(QDialog::Accepted);
        };
        fx.Received(0x02);
        p->bitbtnSettingClick();
        EXPECT_EQ(fx.ui().Texts().last(), c.box);
        const Strings writes = Starting(fx.Received(0x02), "#02PW");
        ASSERT_EQ(writes.size(), c.writes);
        if (c.writes == 256) {
            EXPECT_EQ(SimTable(fx, 2)[31], 0);
        } else if (c.writes == 160) {
            EXPECT_EQ(writes.back(), "#02PW9F00002711");
        }
    }
}

// The start-up sends the general page's reads, the input ranges and enable mask,
// and both output ranges, and nothing of the PID table: a table without a scale
// (a fresh module) stops nothing.
TEST(R320TPanel, StartUpReadsTheSettingsAndNotThePidTable) {
    for (const char* bus : {"01 R320T\n", "01 R320T table=zero\n"}) {
        SCOPED_TRACE(bus);
        PanelFixture fx(bus);
        auto* p = fx.Open<TfrmMR320T>("(01)R320T");
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(fx.Received(0x01), (Strings{"$012", "$01F", "$01S", "$018C0", "$018C1", "$018C2",
                                              "$018C3", "$016", "$019C0", "$019C1"}));
        EXPECT_TRUE(fx.ui().Texts().isEmpty());
        EXPECT_TRUE(p->findChild<QTimer*>("Timer1")->isActive());
        EXPECT_EQ(p->trend->SVSeries()->count(), 0);
        EXPECT_EQ(p->edtSV->text(), "");
        EXPECT_EQ(p->cmbTempUnit->currentText(), "Centigrade ('C)");
        p->pgCtrlMain->setCurrentIndex(1);
        p->Timer1Timer();
        EXPECT_EQ(fx.Received(0x01), (Strings{"$016", "#01", "$01B", "$017", "$012"}));
        EXPECT_EQ(fx.StatusText(), "Polling Input data...");
    }
}

// An all-zero table has neither a display scale nor an MV range: the pass that
// finds it stops the poll; another page, or a scale mended in the Setting dialog,
// starts it again.
TEST(R320TPanel, InvalidScaleStopsThePollUntilAnotherPageOrTheScaleIsMended) {
    struct Row {
        const char* bus;
        LinkKind link;
        Strings pass;
        QString message;
        Strings inputPoll;
        std::string writePrefix;
        Strings writes; // PV range high 200, MV range high 100
    };
    const Row rows[] = {
        {"01 R320T table=zero\n", LinkKind::AsciiPlain,
         {"#01PR0010", "#01PR1010", "#01PR2010", "#01PR3010", "#01PR4010", "#01PR5010",
          "#01PR6010", "#01PR7010"},
         "Hi-Lo range setting is invalid!",
         {"$016", "#01", "$01B", "$017", "$012"},
         "#01PW",
         {"#01PW0C00030D40", "#01PW10000186A0"}},
        {"01 R320T protocol=modbus table=zero\n", LinkKind::ModbusRtu,
         {"010303E70064", "0103044B0064"},
         "Hi-Lo range Setting is invalid!",
         {"010100000002", "010300000004"},
         "0110",
         {"011003FF00020400030D40", "01100407000204000186A0"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.bus);
        PanelFixture fx(r.bus);
        auto* p = fx.Open<TfrmMR320T>("(01)R320T", r.link);
        ASSERT_NE(p, nullptr);
        auto* timer = p->findChild<QTimer*>("Timer1");
        const auto pass = [&] {
            fx.Received(0x01);
            for (std::size_t tick = 0; tick < r.pass.size(); ++tick) p->Timer1Timer();
            return fx.Received(0x01);
        };
        p->pgCtrlMain->setCurrentIndex(kPidPage);
        EXPECT_EQ(pass(), r.pass);
        EXPECT_EQ(fx.ui().Texts(), QStringList{r.message});
        EXPECT_FALSE(timer->isActive());
        EXPECT_FALSE(p->Ready());
        p->Timer1Timer(); // a tick already queued does nothing
        EXPECT_EQ(fx.Received(0x01), Strings{});

        // The Input page does not use the table: it polls again at once.
        p->pgCtrlMain->setCurrentIndex(1);
        EXPECT_TRUE(timer->isActive());
        p->Timer1Timer();
        EXPECT_EQ(fx.Received(0x01), r.inputPoll);

        // Back on the PID page the next pass finds it again; the Setting dialog
        // gives the PV and MV ranges a width, and the poll goes on with a scale.
        p->pgCtrlMain->setCurrentIndex(kPidPage);
        EXPECT_EQ(pass(), r.pass);
        EXPECT_FALSE(timer->isActive());
        fx.ui().onDialog = [&](QDialog& d) {
            auto* set = qobject_cast<TfrmMR320TSet*>(&d);
            if (!set) return -1;
            set->Field(loop::kPVRangeHigh)->setText("200");
            set->EditEnter(loop::kPVRangeHigh);
            set->Field(loop::kMVRangeHigh)->setText("100");
            set->EditEnter(loop::kMVRangeHigh);
            return int(QDialog::Accepted);
        };
        p->bitbtnSettingClick();
        EXPECT_EQ(Starting(fx.Received(0x01), r.writePrefix), r.writes);
        EXPECT_TRUE(timer->isActive());
        EXPECT_TRUE(p->Ready());
        EXPECT_EQ(p->edtHigh->text(), "200.00");
        EXPECT_EQ(p->edtLow->text(), "0.00");
        EXPECT_EQ(pass(), r.pass);
        EXPECT_TRUE(timer->isActive());
        EXPECT_EQ(fx.ui().Texts().size(), 2);
        EXPECT_EQ(fx.StatusText(), "Polling PID data...");
    }
}

// A start-up read that fails leaves the others' results on show, and the poll
// shows what the start could not.
TEST(R320TPanel, StartUpReadsThatFailLeaveTheOthersShown) {
    {
        SCOPED_TRACE("second output range after a garbled first");
        PanelFixture fx("01 R320T\n");
        // Output 1 (loop 1 in Manual) on 0-10 V; then the reply to "$019C0" garbled
        // in the next start.
        ASSERT_NE(fx.Open("(01)R320T"), nullptr);
        EXPECT_EQ(test::Send(*fx.window().Port(), "$019C1R32").reply, "!01\r");
        fx.Received(0x01);
        fx.WithModule(0x01, [](sim::SimModule& m) {
            m.faults().garbage.count = 1;
            m.faults().startAfter = 8;
        });
        auto* p = fx.Open<TfrmMR320T>("(01)R320T");
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(Starting(fx.Received(0x01), "$019C"), (Strings{"$019C0", "$019C1"}));
        EXPECT_EQ(p->cmbOutRng[1]->currentText(), "0-10 V");
        EXPECT_EQ(p->lblScale[1][1]->text(), "  5V");
    }
    {
        SCOPED_TRACE("temperature unit after a lost configuration read");
        PanelFixture fx("01 R320T format=08\n");
        fx.WithModule(0x01, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
        auto* p = fx.Open<TfrmMR320T>("(01)R320T");
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->cmbTempUnit->currentIndex(), -1);
        EXPECT_EQ(p->edtStationID->text(), "1"); // read after the failure
        p->pgCtrlMain->setCurrentIndex(1);
        p->Timer1Timer();
        EXPECT_EQ(p->cmbTempUnit->currentText(), "Fahrenheit ('F)");
        EXPECT_EQ(p->cmbRngCh[0]->itemText(3), "Pt100(385) -148~212'F");
    }
    {
        SCOPED_TRACE("Modbus map after a lost input register read");
        PanelFixture fx("01 R320T protocol=modbus di=2\n");
        fx.WithModule(0x01, [](sim::SimModule& m) {
            m.faults().noReply.count = 1;
            m.faults().startAfter = 1; // after the firmware
        });
        auto* p = fx.Open<TfrmMR320TMod>("(01)R320T", LinkKind::ModbusRtu);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(fx.StatusText(), "Fail to initial AI status!");
        EXPECT_EQ(p->lstviewInput->Value("00002"), "1");
        EXPECT_EQ(p->lstviewInput->Value("40001"), "*****");
        EXPECT_NE(p->lstviewOutput->Value("40011"), "*****");
        EXPECT_NE(p->lstviewOutput->Value("00017"), "*");
    }
}

TEST(R320TPanel, OutputRangeListRelabelsScaleValueAndTrimsAtOnce) {
    PanelFixture fx("01 R320T\n");
    auto* p = fx.Open<TfrmMR320T>("(01)R320T");
    ASSERT_NE(p, nullptr);
    struct Row {
        int index;
        QStringList scale;
        QString value, zero, span;
    };
    const Row rows[] = {
        {2, {"0", "  5V", "10"}, "0.000", "Trim for 0 V", "Trim for 10 V"},
        {0, {"0", "10mA", "20"}, "0.000", "Trim for 4 mA", "Trim for 20 mA"},
        {1, {"4", "12mA", "20"}, "4.000", "Trim for 4 mA", "Trim for 20 mA"},
    };
    p->pgCtrlMain->setCurrentIndex(2);
    fx.Received(0x01);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.index);
        p->TrackBar[0]->setValue(1000);
        p->cmbOutRng[0]->setCurrentIndex(r.index);
        EXPECT_EQ((QStringList{p->lblScale[0][0]->text(), p->lblScale[0][1]->text(),
                               p->lblScale[0][2]->text()}),
                  r.scale);
        EXPECT_EQ(p->edtValue[0]->text(), r.value);
        EXPECT_EQ(p->btnOutZero[0]->text(), r.zero);
        EXPECT_EQ(p->btnOutSpan[0]->text(), r.span);
    }
    EXPECT_TRUE(fx.Received(0x01).empty()); // choosing sends nothing
    // Loop 0 is in Auto: the Update is refused and the list, with its labels,
    // goes back to the module's range.
    p->cmbOutRng[0]->setCurrentIndex(2);
    p->bitbtnUpdate0Click(0);
    EXPECT_EQ(fx.ui().Texts().last(),
              "Please change PID loop-0 control mode to 'Free' or 'Manual' first!");
    EXPECT_EQ(p->cmbOutRng[0]->currentText(), "4-20 mA");
    EXPECT_EQ(p->lblScale[0][1]->text(), "12mA");
    EXPECT_EQ(p->btnOutSpan[0]->text(), "Trim for 20 mA");
}

TEST(R320TPanel, CoarseTrimStepDownNeedsMoreThanSixteenAboveTheLowEnd) {
    struct Row {
        int mode;
        const char* set;  // the trim the module holds
        Strings afterUp;  // "+", then "- -": taken
    };
    const Row rows[] = {
        {2, "$012C0010", {"#01RC0011", "#01RC0001"}}, // zero trim 16: 0 to 1280
        {3, "$013C0F10", {"#01RC0F11", "#01RC0F01"}}, // span trim 3856: 3840 to 4095
    };
    PanelFixture fx("01 R320T\n");
    auto* p = fx.Open<TfrmMR320T>("(01)R320T");
    ASSERT_NE(p, nullptr);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.set);
        EXPECT_EQ(test::Send(*fx.window().Port(), r.set).reply, "!01\r");
        TfrmMR320TCal dialog(*p->Module(), r.mode, p);
        dialog.FormShow();
        const int start = dialog.Trim();
        fx.Received(0x01);
        dialog.bitbtnStep[0]->click(); // "- -" at 16 above the low end: not taken
        EXPECT_EQ(dialog.Trim(), start);
        EXPECT_EQ(fx.Received(0x01), Strings{});
        dialog.bitbtnStep[2]->click();
        dialog.bitbtnStep[0]->click();
        EXPECT_EQ(dialog.Trim(), start - 15);
        EXPECT_EQ(fx.Received(0x01), r.afterUp);
    }
}

TEST(R320TPanel, SetDialogIntervalTakesTheSVKeysAndWholeMilliseconds) {
    PanelFixture fx("01 R320T\n");
    auto* p = fx.Open<TfrmMR320T>("(01)R320T");
    ASSERT_NE(p, nullptr);
    QString typed;
    std::vector<std::pair<QStringList, Strings>> results;
    fx.ui().onDialog = [&](QDialog& d) {
        auto* set = qobject_cast<TfrmMR320TSet*>(&d);
        if (!set) return -1;
        QLineEdit* interval = set->Field(loop::kInterval);
        interval->clear();
        QTest::keyClicks(interval, "-1.5x+");
        typed = interval->text();
        for (const char* text : {"-1.5", "2000.5", "499", "+2500", "3000.000"}) {
            fx.ui().Clear();
            fx.Received(0x01);
            interval->setText(text);
            set->EditEnter(loop::kInterval);
            results.push_back({fx.ui().Texts(), Starting(fx.Received(0x01), "#01PW")});
        }
        return int(QDialog::Accepted);
    };
    p->bitbtnSettingClick();
    EXPECT_EQ(typed, "-1.5+");
    const QStringList refused{"Value is out of range!"};
    ASSERT_EQ(results.size(), 5u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(results[i].first, refused) << i;
        EXPECT_EQ(results[i].second, Strings{}) << i;
    }
    EXPECT_EQ(results[3], (std::pair{QStringList{}, Strings{"#01PW28000009C4"}}));
    EXPECT_EQ(results[4], (std::pair{QStringList{}, Strings{"#01PW2800000BB8"}}));
}

TEST(R320TModbusPanel, RequestsOfStartPollWritesAndLoopModeCheck) {
    PanelFixture fx("0A R320T protocol=modbus firmware=A2.05\n");
    auto* p = fx.Open<TfrmMR320TMod>("(0A)R320T", LinkKind::ModbusRtu);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->grpModule->title(), " Tavo-R320T Modbus ");
    EXPECT_EQ(p->edtFirmwareVer->text(), "A2.05");
    EXPECT_EQ(p->findChild<QTimer*>("Timer1")->interval(), 2 * 800 + 500);
    EXPECT_EQ(fx.Received(0x0A),
              (Strings{"0A0300D40001", "0A0300000004", "0A0100000002", "0A03000A0002",
                       "0A0100100002"}));
    // What the Modbus map does not hold says so.
    for (QComboBox* c : {p->cmbTempUnit, p->cmbIntegration})
        EXPECT_EQ(c->currentText(), "Not available over Modbus") << c->objectName().toStdString();
    for (QLineEdit* e : {p->edtStationID, p->edtDeviceID})
        EXPECT_EQ(e->text(), "Not available over Modbus") << e->objectName().toStdString();
    EXPECT_EQ(p->cmbProtocol->currentText(), "MODBUS");
    ASSERT_NE(p->lstviewInput, nullptr);
    EXPECT_EQ(p->lstviewInput->topLevelItemCount(), 6);
    EXPECT_EQ(p->lstviewInput->topLevelItem(0)->text(3), "DI CH:01");
    EXPECT_EQ(p->lstviewInput->topLevelItem(2)->text(0), "40001");
    EXPECT_EQ(p->lstviewInput->topLevelItem(5)->text(3), "AI CH:03");
    EXPECT_EQ(p->lstviewOutput->topLevelItem(0)->text(0), "00017");
    EXPECT_EQ(p->lstviewOutput->topLevelItem(3)->text(0), "40012");
    EXPECT_EQ(p->lstviewOutput->topLevelItem(3)->text(3), "AO CH:01");

    p->pgCtrlMain->setCurrentIndex(kPidPage);
    p->Timer1Timer();
    p->Timer1Timer();
    EXPECT_EQ(fx.Received(0x0A), (Strings{"0A0303E70064", "0A03044B0064"}));
    EXPECT_EQ(p->trend->PVSeries()->count(), 1);
    EXPECT_EQ(p->edtSV->text(), "80.000");
    // SV 90.000 = 0x00015F90 into entry 10: registers 1020, 1021 (wire 03FB).
    p->edtSV->setText("90");
    p->edtSVKeyPress();
    EXPECT_EQ(fx.Received(0x0A), Strings{"0A1003FB00020400015F90"});
    // Loop 1 from register 1256.
    p->cboxLoop->setCurrentIndex(1);
    p->cboxLoopChange();
    EXPECT_EQ(fx.Received(0x0A), (Strings{"0A0304E70064", "0A03054B0064"}));
    // Poll of the input page: DI coils and AI registers.
    p->pgCtrlMain->setCurrentIndex(1);
    p->Timer1Timer();
    EXPECT_EQ(fx.Received(0x0A), (Strings{"0A0100000002", "0A0300000004"}));
    EXPECT_EQ(fx.StatusText(), "Polling Input data...");
    // The DO of loop 0 (Auto) is refused after one read of its mode entry.
    p->bitbtnDO0Click(0);
    EXPECT_EQ(fx.Received(0x0A), Strings{"0A0303E70002"});
    EXPECT_EQ(fx.ui().Texts().last(),
              "Please change PID loop-0 control mode to 'Free' or 'Manual' first!");
    // Loop 1 in Manual: output 1 takes the track bar's counts in its register and
    // the DO its coil; the output page's poll shows both in the map and the lamp.
    p->cboxControl->setCurrentIndex(loop::kManual);
    p->cboxControlChange();
    fx.Received(0x0A);
    p->pgCtrlMain->setCurrentIndex(2);
    p->TrackBar[1]->setValue(2048);
    p->btnValueOutput0Click(1);
    EXPECT_EQ(fx.Received(0x0A), (Strings{"0A0304E70002", "0A06000B0800"}));
    EXPECT_EQ(fx.ui().Texts().last(), "Set data to R320T done!");
    p->bitbtnDO0Click(1);
    EXPECT_EQ(fx.Received(0x0A), (Strings{"0A0304E70002", "0A050011FF00"}));
    p->Timer1Timer();
    EXPECT_EQ(fx.Received(0x0A), (Strings{"0A0100100002", "0A03000A0002"}));
    EXPECT_EQ(p->lstviewOutput->Value("40012"), "2048");
    EXPECT_EQ(p->lstviewOutput->Value("00018"), "1");
    EXPECT_TRUE(LampOn(p->bitbtnDO[1]));
    EXPECT_FALSE(p->bitbtnUpdate[1]->isVisibleTo(p));
    EXPECT_FALSE(p->btnOutSpan[1]->isVisibleTo(p));
}

} // namespace
} // namespace tavo
