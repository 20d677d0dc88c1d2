// The Modbus variants of the digital I/O panels: the requests of a poll and of each
// write, what a poll shows on the indicators, the hex fields and the mapping list,
// the poll interval, the read-only general settings, the R520 inversion, the R560SO
// errors, and every kind of bad answer failing cleanly.
#include "digital_checks.h"
#include "panel_fixture.h"

#include "panels/common/form_controls.h"
#include "panels/common/modbus_panel.h"
#include "panels/digital/modbus_digital_panels.h"
#include "sim/digital_modules.h"
#include "support/pty_peer.h"
#include "transport/com_port.h"
#include "transport/modbus.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

namespace tavo {
namespace {

using test::PanelFixture;
using Strings = std::vector<std::string>;

using test::Lamps;

// The Value column of `count` list rows from `first`, concatenated ("0101...").
std::string ListValues(const TfrmMR550* p, int first, int count) {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += p->lstviewModbus->Value(CoilLocation(first + i)).toStdString() + " ";
    return out.substr(0, out.size() - 1);
}

std::string Repeat(const std::string& text, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += (i ? " " : "") + text;
    return out;
}

sim::DigitalIo& Dio(sim::SimModule& m) {
    return *m.Find<sim::DigitalIo>();
}

// ---- each variant ----

TEST(ModbusDigitalPanels, EachVariantOpensWithItsMapReadOnlySettingsAndPollRequests) {
    struct Row {
        const char* model;
        int inputRows, outputRows;
        Strings ticks; // frames of two polls (slave 0A, without CRC)
        const char* status;
    };
    const std::string outputs8 = "0A0100100008", inputs8 = "0A0100000008";
    const Row rows[] = {
        {"R550", 8, 8, {outputs8, inputs8}, "Polling DIO data..."},
        {"R520", 16, 0, {"0A0100000010", "0A0100000010"}, "Polling DI data..."},
        {"R620", 0, 8, {outputs8, outputs8}, "Polling DO data..."},
        {"R630", 0, 8, {outputs8, outputs8}, "Polling DO data..."},
        {"R560S", 0, 12, {"0A010010000C", "0A010010000C"}, "Polling DIO data..."},
        // The three error coils follow the outputs: one read of coils 17..31.
        {"R560SO", 0, 12, {"0A010010000F", "0A010010000F"}, "Polling DIO data..."},
        {"R850", 7, 8, {outputs8, inputs8}, "Polling DIO data..."},
        {"R860", 0, 8, {outputs8, outputs8}, "Polling DIO data..."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.model);
        PanelFixture fx(std::string("0A ") + row.model + " protocol=modbus firmware=A2.05\n");
        auto* p = fx.Open<TfrmMR550>(QString("(0A)") + row.model, LinkKind::ModbusRtu);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(QString(p->metaObject()->className()),
                  QString("tavo::TfrmM%1Mod").arg(row.model));
        EXPECT_EQ(p->grpModule->title(), QString(" Tavo-%1 Modbus ").arg(row.model));
        // Only the firmware register is asked for at start.
        EXPECT_EQ(fx.Received(0x0A), Strings{"0A0300D40001"});
        EXPECT_EQ(p->edtFirmwareVer->text(), "A2.05");
        EXPECT_EQ(p->edtAddress_Hex->text(), "0A");
        EXPECT_EQ(p->edtAddress_Dec->text(), "10");
        EXPECT_EQ(p->cmbBaudRate->currentText(), "9600 bps"); // as the port is set
        EXPECT_EQ(p->cmbPotocolSelect->currentText(), "MODBUS");
        for (QWidget* w : {static_cast<QWidget*>(p->edtAddress_Dec),
                           static_cast<QWidget*>(p->cmbBaudRate),
                           static_cast<QWidget*>(p->chkCheckSum),
                           static_cast<QWidget*>(p->cmbPotocolSelect),
                           static_cast<QWidget*>(p->btSystemUpdate)})
            EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
        EXPECT_FALSE(p->grpSafe->isVisibleTo(p));
        EXPECT_FALSE(p->HasSettingsFile());
        EXPECT_FALSE(fx.window().findChild<QAction*>("tlbtnSaveConf")->isEnabled());
        EXPECT_FALSE(fx.window().findChild<QAction*>("tlbtnLoadConf")->isEnabled());
        // 2 × the port's 80 ms + 500 ms.
        EXPECT_EQ(p->tmrUpdateDIData->interval(), 660);
        EXPECT_TRUE(p->tmrUpdateDIData->isActive());

        // The list: inputs, then outputs; "*" until read.
        ModbusMapList* list = p->lstviewModbus;
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->objectName(), "lstviewModbus");
        EXPECT_EQ(list->topLevelItemCount(), row.inputRows + row.outputRows);
        EXPECT_EQ(list->headerItem()->text(0), "Location");
        EXPECT_EQ(list->headerItem()->text(3), "Description");
        if (row.inputRows) {
            const QTreeWidgetItem* last = list->topLevelItem(row.inputRows - 1);
            EXPECT_EQ(last->text(0), CoilLocation(row.inputRows));
            EXPECT_EQ(last->text(1), "Bit");
            EXPECT_EQ(last->text(2), "*");
            EXPECT_EQ(last->text(3), QString("DI CH:%1").arg(row.inputRows - 1, 2, 10, QChar('0')));
        }
        if (row.outputRows) {
            const QTreeWidgetItem* first = list->topLevelItem(row.inputRows);
            EXPECT_EQ(first->text(0), "00017");
            EXPECT_EQ(first->text(3), "DO CH:00");
        }

        Strings sent;
        for (std::size_t tick = 0; tick < row.ticks.size(); tick += row.ticks.size() / 2) {
            p->tmrUpdateDIDataTimer();
            for (const auto& f : fx.Received(0x0A)) sent.push_back(f);
        }
        EXPECT_EQ(sent, row.ticks);
        EXPECT_EQ(fx.StatusText(), row.status);
    }
}

TEST(ModbusDigitalPanels, PollInTurnsShowsCoilsOnIndicatorsHexFieldsAndList) {
    PanelFixture fx("0A R550 protocol=modbus inputs=A5 outputs=5A\n"
                    "0B R520 protocol=modbus inputs=F00F\n"
                    "0C R560S protocol=modbus outputs=A05\n");
    auto* p = fx.Open<TfrmMR550Mod>("(0A)R550", LinkKind::ModbusRtu);
    ASSERT_NE(p, nullptr);
    // The first poll after the start reads the outputs.
    p->tmrUpdateDIDataTimer();
    EXPECT_EQ(fx.Indicator(), "1");
    EXPECT_EQ(Lamps(p->bitbtnDO), 0x5Au);
    EXPECT_EQ(p->edtDO_Hex->text(), "0x5A");
    EXPECT_EQ(Lamps(p->bitbtnDI), 0u);
    EXPECT_EQ(ListValues(p, 17, 8), "0 1 0 1 1 0 1 0");
    EXPECT_EQ(ListValues(p, 1, 8), Repeat("*", 8));
    p->tmrUpdateDIDataTimer();
    EXPECT_EQ(fx.Indicator(), "0");
    EXPECT_EQ(Lamps(p->bitbtnDI), 0xA5u);
    EXPECT_EQ(p->edtDI_Hex->text(), "0xA5");
    EXPECT_EQ(ListValues(p, 1, 8), "1 0 1 0 0 1 0 1");

    // Sixteen inputs in one read: low byte on DI 0..7, high byte on the upper row.
    auto* r520 = fx.Open<TfrmMR520Mod>("(0B)R520", LinkKind::ModbusRtu);
    r520->tmrUpdateDIDataTimer();
    EXPECT_EQ(Lamps(r520->bitbtnDI), 0x0Fu);
    EXPECT_EQ(Lamps(r520->bitbtnDO), 0xF0u);
    EXPECT_EQ(r520->edtDI_Hex->text(), "0x0F");
    EXPECT_EQ(r520->edtDO_Hex->text(), "0xF0");
    EXPECT_EQ(ListValues(r520, 9, 8), Repeat("0", 4) + " " + Repeat("1", 4));
    EXPECT_EQ(fx.StatusText(), "Polling DI data...");

    // Twelve outputs: high and low byte.
    auto* r560 = fx.Open<TfrmMR560SMod>("(0C)R560S", LinkKind::ModbusRtu);
    r560->tmrUpdateDIDataTimer();
    EXPECT_EQ(Lamps(r560->bitbtnDO), 0xA05u);
    EXPECT_EQ(r560->edtDOHigh_Hex->text(), "0x0A");
    EXPECT_EQ(r560->edtDO_Hex->text(), "0x05");
    EXPECT_EQ(ListValues(r560, 17, 12), "1 0 1 0 0 0 0 0 0 1 0 1");
}

TEST(ModbusDigitalPanels, PollIntervalFollowsThePortTimeOut) {
    PanelFixture fx("0A R620 protocol=modbus\n");
    fx.Open("(0A)R620", LinkKind::ModbusRtu);
    for (const auto& [timeout, interval] : {std::pair{100, 700}, {20, 540}, {250, 1000}}) {
        fx.window().Port()->SetTimeOut(timeout);
        fx.window().ClickNode(fx.node()); // the open port keeps its time-out
        auto* p = qobject_cast<TfrmMR620Mod*>(fx.window().CurrentPanel());
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->tmrUpdateDIData->interval(), interval) << timeout;
    }
}

// ---- outputs ----

TEST(ModbusDigitalPanels, OutputButtonsWriteOneCoilAndReadTheOutputsBack) {
    PanelFixture fx("0A R550 protocol=modbus\n0C R560SO protocol=modbus overload=010\n");
    auto* p = fx.Open<TfrmMR550Mod>("(0A)R550", LinkKind::ModbusRtu);
    p->tmrUpdateDIDataTimer();
    p->tmrUpdateDIDataTimer(); // now an input tick was last
    fx.Received(0x0A);
    p->bitbtnDO[3]->click();
    EXPECT_EQ(fx.Received(0x0A), (Strings{"0A050013FF00", "0A0100100008"}));
    EXPECT_TRUE(LampOn(p->bitbtnDO[3]));
    EXPECT_EQ(ListValues(p, 20, 1), "1");
    EXPECT_EQ(fx.Indicator(), "1");
    p->bitbtnDO[3]->click();
    EXPECT_EQ(fx.Received(0x0A), (Strings{"0A0500130000", "0A0100100008"}));
    EXPECT_EQ(fx.WithModule(0x0A, [](sim::SimModule& m) { return Dio(m).Outputs(); }), 0u);
    EXPECT_TRUE(p->tmrUpdateDIData->isActive());

    // Output 4 of the R560SO trips its group: the exception leaves the state, so the
    // next click asks for the same value again.
    auto* r560 = fx.Open<TfrmMR560SOMod>("(0C)R560SO", LinkKind::ModbusRtu);
    r560->bitbtnDO[11]->click();
    EXPECT_EQ(fx.Received(0x0C)[1], "0C05001BFF00");
    EXPECT_TRUE(LampOn(r560->bitbtnDO[11]));
    r560->bitbtnDO[4]->click(); // trips group 1
    r560->bitbtnDO[5]->click();
    EXPECT_EQ(fx.StatusText(), "Fail to set DO!");
    r560->bitbtnDO[5]->click();
    const Strings sent = fx.Received(0x0C);
    EXPECT_EQ(test::Starting(sent, "0C0500").size(), 3u);
    EXPECT_EQ(sent.back(), "0C050015FF00");
}

// ---- R520 inversion, R560SO errors ----

TEST(ModbusDigitalPanels, R520InvertPageFollowsTheFirmwareRegisterAndWritesRegister231) {
    for (const auto& [firmware, shown] : {std::pair{"A2.01", false}, {"A2.02", true}}) {
        PanelFixture fx(std::string("0A R520 protocol=modbus invert=8001 firmware=") + firmware + "\n");
        auto* p = fx.Open<TfrmMR520Mod>("(0A)R520", LinkKind::ModbusRtu);
        EXPECT_EQ(p->edtFirmwareVer->text(), firmware);
        EXPECT_EQ(p->PageControl1->isTabVisible(p->PageControl1->indexOf(p->TSInvert)), shown);
        if (!shown) continue;
        fx.Received(0x0A);
        p->PageControl1->setCurrentWidget(p->TSInvert);
        EXPECT_FALSE(p->tmrUpdateDIData->isActive());
        EXPECT_EQ(fx.Received(0x0A), Strings{"0A0300E60001"});
        EXPECT_TRUE(p->chkCh[0]->isChecked());
        EXPECT_TRUE(p->chkCh[15]->isChecked());
        p->chkCh[3]->setChecked(true);
        p->btInvertUpdate->click();
        EXPECT_EQ(fx.Received(0x0A), (Strings{"0A0600E68009", "0A0300E60001"}));
        EXPECT_EQ(fx.ui().Texts().back(), "Update succeeded!");
        fx.WithModule(0x0A, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
        p->btInvertRefresh->click();
        EXPECT_EQ(fx.ui().Texts().back(), "Refresh failed!");
        p->btInvertRefresh->click();
        EXPECT_EQ(fx.ui().Texts().back(), "Refresh succeeded!");
        p->PageControl1->setCurrentWidget(p->TSData);
        EXPECT_TRUE(p->tmrUpdateDIData->isActive());
    }
}

TEST(ModbusDigitalPanels, R560SOShowsErrorCoilsAndClearsThemWithOneMultipleCoilWrite) {
    PanelFixture fx("0A R560SO protocol=modbus outputs=FFF overcurrent=2\n");
    auto* p = fx.Open<TfrmMR560SOMod>("(0A)R560SO", LinkKind::ModbusRtu);
    EXPECT_FALSE(p->btClrError->isVisibleTo(p));
    p->tmrUpdateDIDataTimer();
    test::ExpectTrippedGroups(*p, 2);
    EXPECT_EQ(test::Lamps(p->bitbtnDO), 0xF0Fu);
    fx.Received(0x0A);
    p->btClrErrorClick();
    EXPECT_EQ(fx.Received(0x0A), Strings{"0A0F001C00030100"});
    EXPECT_EQ(fx.ui().Texts().back(), "Clear succeeded!");
    EXPECT_EQ(p->bitbtnDO[5]->text(), "DO 5");
    EXPECT_EQ(fx.WithModule(0x0A, [](sim::SimModule& m) { return Dio(m).OverCurrent(); }), 0u);
    fx.WithModule(0x0A, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    p->btClrErrorClick();
    EXPECT_EQ(fx.ui().Texts().back(), "Clear failed!");
}

// ---- failures ----

TEST(ModbusDigitalPanels, TimeOutsAndExceptionsShowStarsAndKeepTheIndicators) {
    // The node says R550, the module at 0A is an R620: it has no input coils.
    PanelFixture fx("0A R620 protocol=modbus outputs=0F\n");
    auto* p = fx.Open<TfrmMR550Mod>("(0A)R550", LinkKind::ModbusRtu);
    p->tmrUpdateDIDataTimer();
    EXPECT_EQ(ListValues(p, 17, 4), "1 1 1 1");
    p->tmrUpdateDIDataTimer(); // inputs: exception 02
    EXPECT_EQ(fx.Indicator(), "2");
    EXPECT_EQ(fx.StatusText(), "Fail to fresh DIO data!");
    EXPECT_EQ(ListValues(p, 1, 8), Repeat(ModbusMapList::kFailed, 8));
    EXPECT_EQ(ListValues(p, 17, 4), "1 1 1 1"); // the outputs were not asked
    fx.WithModule(0x0A, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    p->tmrUpdateDIDataTimer(); // outputs: time-out
    EXPECT_EQ(fx.Indicator(), "3");
    EXPECT_EQ(ListValues(p, 17, 8), Repeat(ModbusMapList::kFailed, 8));
    EXPECT_EQ(Lamps(p->bitbtnDO), 0x0Fu);
    p->tmrUpdateDIDataTimer(); // inputs again
    p->tmrUpdateDIDataTimer();
    EXPECT_EQ(fx.Indicator(), "1");
    EXPECT_EQ(ListValues(p, 17, 4), "1 1 1 1");
}

// A Modbus panel on a pseudo-terminal whose peer answers with the bytes a test
// gives it.
class ScriptedModbusPanel {
public:
    ScriptedModbusPanel() : window_(QStringList{QString::fromStdString(peer_.path())}) {}
    TfrmMR550* Open(const QString& node) {
        QTreeWidgetItem* port = window_.Tree()->FindPort(QString::fromStdString(peer_.path()));
        FoundNode n;
        n.text = node.toStdString();
        n.link = LinkKind::ModbusRtu;
        window_.ClickNode(window_.Tree()->AddFound(port, n));
        window_.Port()->SetTimeOut(20);
        return qobject_cast<TfrmMR550*>(window_.CurrentPanel());
    }
    test::ScriptedPeer& peer() { return peer_; }
    TfrmMain& window() { return window_; }

private:
    test::ScopedTestUi ui_;
    test::ScriptedPeer peer_;
    TfrmMain window_;
};

test::Bytes WithCrc(test::Bytes frame) {
    const auto crc = TavoModbusCOM::CalcCRC(frame.data(), frame.size());
    frame.push_back(crc[0]);
    frame.push_back(crc[1]);
    return frame;
}

TEST(ModbusDigitalPanels, RequestBytesAndBadAnswersFailCleanlyNeverAsData) {
    ScriptedModbusPanel s;
    s.peer().ThenBytes(WithCrc({0x0A, 0x03, 0x02, 0xA2, 0x01})); // firmware
    s.peer().ThenBytes(WithCrc({0x0A, 0x01, 0x01, 0x3C}));       // outputs 2..5 on
    const test::Bytes good = WithCrc({0x0A, 0x01, 0x01, 0xFF});
    test::Bytes badCrc = good;
    badCrc.back() ^= 0x01;
    const test::Bytes bad[] = {
        test::Bytes(good.begin(), good.begin() + 3),  // a short frame
        badCrc,                                       // a bad CRC
        WithCrc({0x0A, 0x81, 0x02}),                  // an exception
        WithCrc({0x0B, 0x01, 0x01, 0xFF}),            // another slave's answer
        WithCrc({0x0A, 0x01, 0x02, 0xFF, 0xFF}),      // two data bytes for 8 coils
        WithCrc({0x0A, 0x03, 0x01, 0xFF}),            // another function
    };
    for (const auto& b : bad) {
        s.peer().ThenBytes({}); // an input tick: silence
        s.peer().ThenBytes(b);
    }
    auto* p = s.Open("(0A)R550");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->edtFirmwareVer->text(), "A2.01");
    p->tmrUpdateDIDataTimer();
    EXPECT_EQ(Lamps(p->bitbtnDO), 0x3Cu);
    for (std::size_t i = 0; i < std::size(bad); ++i) {
        SCOPED_TRACE(i);
        p->tmrUpdateDIDataTimer(); // inputs
        p->tmrUpdateDIDataTimer(); // outputs: the bad answer
        EXPECT_EQ(s.window().StatusBar()->StatusMessage(), "Fail to fresh DIO data!");
        EXPECT_EQ(s.window().StatusBar()->Indicator(), "3");
        EXPECT_EQ(Lamps(p->bitbtnDO), 0x3Cu);
        EXPECT_EQ(ListValues(p, 17, 1), ModbusMapList::kFailed);
        EXPECT_EQ(p->edtDO_Hex->text(), "0x3C");
    }
    // The output write and its echo: a wrong echo is a failure too.
    s.peer().ThenBytes(WithCrc({0x0A, 0x05, 0x00, 0x10, 0x00, 0x00}));
    p->bitbtnDO[0]->click();
    EXPECT_EQ(s.window().StatusBar()->StatusMessage(), "Fail to set DO!");

    const auto r = s.peer().Requests();
    ASSERT_GE(r.size(), 4u);
    EXPECT_EQ(test::Hex(r[0]), "0A 03 00 D4 00 01 C5 49"); // firmware, register 213
    EXPECT_EQ(test::Hex(r[1]), "0A 01 00 10 00 08 3D 72"); // outputs, coils 17..24
    EXPECT_EQ(test::Hex(r[2]), "0A 01 00 00 00 08 3C B7"); // inputs, coils 1..8
    EXPECT_EQ(test::Hex(r.back()), "0A 05 00 10 FF 00 8C 84"); // coil 17 on
}

} // namespace
} // namespace tavo
