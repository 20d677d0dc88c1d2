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

#include <QComboBox>
#include <QGroupBox>
#include <QTimer>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>

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
    // The start reads the whole shown loop once.
    EXPECT_EQ(Starting(fx.Received(0x01), "#01PR"),
              (Strings{"#01PR0010", "#01PR1010", "#01PR2010", "#01PR3010", "#01PR4010",
                       "#01PR5010", "#01PR6010", "#01PR7010"}));
    EXPECT_EQ(p->trend->SVSeries()->count(), 1);
    EXPECT_EQ(p->edtSV->text(), "80.000");
    EXPECT_EQ(p->cboxControl->currentText(), "Auto");
    EXPECT_EQ(p->edtHigh->text(), "200.00");
    EXPECT_EQ(p->edtLow->text(), "0.00");
    EXPECT_DOUBLE_EQ(p->gaugePV->Percent(), 12.5); // PV 25 of 0..200

    p->pgCtrlMain->setCurrentIndex(kPidPage);
    for (int pass = 1; pass <= 2; ++pass) {
        for (int tick = 0; tick < 8; ++tick) {
            p->Timer1Timer();
            EXPECT_EQ(fx.Received(0x01), Strings{QString::asprintf("#01PR%d010", tick).toStdString()});
        }
        for (auto* s : {p->trend->SVSeries(), p->trend->PVSeries(), p->trend->MVSeries()})
            EXPECT_EQ(s->count(), 1 + pass);
    }
    EXPECT_EQ(fx.StatusText(), "Polling PID data...");
    EXPECT_DOUBLE_EQ(p->trend->SVSeries()->at(2).y(), 40.0);
    // A paused trend keeps what it has.
    p->btnPause->click();
    for (int tick = 0; tick < 8; ++tick) p->Timer1Timer();
    EXPECT_EQ(p->trend->SVSeries()->count(), 3);
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

TEST(R320TPanel, BadPidFilesAreRefusedNamingThePlaceAndNothingIsWritten) {
    QTemporaryDir dir;
    loop::PidTable table{};
    for (int l = 0; l < 2; ++l) {
        std::int32_t* t = table.data() + l * 128;
        t[loop::kPVRangeHigh] = 200000;
        t[loop::kMVRangeHigh] = 100000;
        t[loop::kSVLimitHigh] = 200000;
        t[loop::kMVLimitHigh] = 100000;
        t[loop::kP] = t[loop::kI] = t[loop::kD] = 1000;
        t[loop::kInterval] = 1000;
    }
    const auto good = loop::WritePidFile(table);
    QByteArray bytes(reinterpret_cast<const char*>(good.data()), static_cast<qsizetype>(good.size()));
    struct Case {
        const char* name;
        QByteArray data;
        const char* detail;
    };
    QByteArray zeroP = bytes, highP = bytes, header = bytes;
    zeroP.replace(33 + 4 * 31, 4, QByteArray(4, '\0'));
    highP.replace(33 + 4 * (128 + 31), 4, QByteArray::fromHex("00002711"));
    header[0] = 'X';
    const Case cases[] = {
        {"truncated", bytes.left(1056), "the file has 1056 bytes instead of 1057"},
        {"empty", QByteArray(), "the file has 0 bytes instead of 1057"},
        {"header", header, "the first 33 bytes are not the PID configuration header"},
        {"zeroP", zeroP, "entry 31 of loop 0 (byte 157): P must lie in 0.001 to 10.000"},
        {"highP", highP, "entry 31 of loop 1 (byte 669): P must lie in 0.001 to 10.000"},
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
        EXPECT_EQ(fx.ui().Texts().last(),
                  QString("Invalid PID configuration file!\n") + c.detail);
        EXPECT_TRUE(Starting(fx.Received(0x02), "#02PW").empty());
    }
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
                       "0A0100100002", "0A0303E70064", "0A03044B0064"}));
    EXPECT_EQ(p->edtSV->text(), "80.000");
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
    EXPECT_EQ(p->trend->PVSeries()->count(), 2);
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
