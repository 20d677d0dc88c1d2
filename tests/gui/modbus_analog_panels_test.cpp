// The Modbus variants of the analog panels: what each sends at start, on a poll and
// for each write (byte-exact on a scripted line), the scaling of raw registers for
// every kind of range, the register list with "*****" for what is not known, the
// poll interval, the read-only general settings, and bad answers failing cleanly.
#include "panel_fixture.h"

#include "panels/analog/modbus_analog_panels.h"
#include "panels/common/channel_controls.h"
#include "panels/common/modbus_panel.h"
#include "points/modbus_analog_data.h"
#include "points/output_values.h"
#include "support/pty_peer.h"
#include "transport/com_port.h"
#include "transport/modbus.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace tavo {
namespace {

using test::PanelFixture;
using Strings = std::vector<std::string>;

QTimer* PollTimerOf(QWidget* panel, const char* name) {
    return panel->findChild<QTimer*>(name);
}

std::string Value(const ModbusMapList* list, const QString& location) {
    return list->Value(location).toStdString();
}

// ---- Scaling, below the widgets ----

TEST(ModbusAnalogScaling, EveryRangeKindItsDecimalsAndTheEnds) {
    struct Case {
        RawScaling table;
        int code;
        std::uint16_t raw;
        const char* text;
    };
    const Case cases[] = {
        {RawScaling::R270P, 0x07, 0, "+04.000"},     // 4-20 mA bottom
        {RawScaling::R270P, 0x07, 65535, "+20.000"}, // and top
        {RawScaling::R270P, 0x06, 32768, "+00.000"}, // just above zero
        {RawScaling::R270P, 0x06, 0, "-20.000"},
        {RawScaling::R270P, 0x06, 65535, "+20.000"}, // unsigned: never -1
        {RawScaling::R270P, 0x0E, 32768, "+380.01"}, // J, two decimals
        {RawScaling::R270P, 0x0F, 65535, "+1370.0"}, // K, one decimal
        {RawScaling::R270P, 0x10, 0, "-100.00"},     // T
        {RawScaling::R270P, 0x14, 65535, "+1800.0"}, // B
        {RawScaling::R260P, 0x09, 65535, "+5.0000"}, // four decimals
        {RawScaling::R260P, 0x0B, 0, "-500.00"},
        {RawScaling::R280B, 0x04, 65535, "+1.0000"},
        {RawScaling::R280B, 0x05, 0, "-2.5000"},
        {RawScaling::R280B, 0x0D, 0, "-20.000"},
        {RawScaling::R810, 0x09, 65535, "+05.000"},
        {RawScaling::R810, 0x4B, 65535, "+500.00"},
        {RawScaling::R810, 0x55, 0, "+00.000"},
        {RawScaling::R820, 0x00, 0, "-15.000"},
        {RawScaling::R820, 0x04, 65535, "+01.000"},
        {RawScaling::R820, 0x11, 65535, "+1000.0"},
        // No scaling, and codes a table does not list: the register as it is.
        {RawScaling::None, 0x20, 0x1234, "0x1234"},
        {RawScaling::R820, 0x08, 0x8000, "0x8000"},
        {RawScaling::R270P, -1, 0xFFFF, "0xFFFF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ModbusChannelText(c.table, c.code, c.raw), c.text);
    }
    // Firmware before A2.02 scales the K type to 1000 'C; only on the R270P.
    EXPECT_EQ(ModbusChannelText(RawScaling::R270P, 0x0F, 65535, false), "+1000.0");
    EXPECT_EQ(ModbusChannelText(RawScaling::R820, 0x0F, 65535, false), "+1370.0");
}

TEST(ModbusAnalogScaling, R330OutputRegisterBothWays) {
    const OutputChannelRange& volts = *R330Range(0x32);
    const OutputChannelRange& ma = *R330Range(0x31);
    EXPECT_EQ(R330RawFromValue(volts, 10.0), 4095);
    EXPECT_EQ(R330RawFromValue(volts, -10.0), 0);
    EXPECT_EQ(R330RawFromValue(ma, 12.0), 2047); // 2047.5, truncated
    EXPECT_EQ(R330RawFromValue(ma, 25.0), 4095);
    EXPECT_EQ(R330ValueFromRaw(volts, 4095), 10.0);
    EXPECT_EQ(R330ValueFromRaw(ma, 0), 4.0);
    // Out of scale: no value, not a wrapped one.
    EXPECT_EQ(R330ValueFromRaw(volts, 4096), std::nullopt);
    EXPECT_EQ(R330ValueFromRaw(volts, 0xFFFF), std::nullopt);
}

// ---- Input variants on the simulator ----

TEST(ModbusAnalogPanels, EachInputVariantOpensWithItsMapReadOnlySettingsAndPollRequests) {
    struct Row {
        unsigned address;
        const char* model; // the node's designation
        const char* cls;
        const char* caption;
        int channels;
    };
    const Row rows[] = {
        {0x0A, "R270P", "TfrmMR270PMod", " Tavo-R270+ Modbus", 8},
        {0x0B, "R260P", "TfrmMR260PMod", " Tavo-R260+ Modbus ", 8},
        {0x0C, "R240", "TfrmMR240Mod", " Tavo-R240 Modbus ", 6},
        {0x0D, "R240T", "TfrmMR240TMod", " Tavo-R240T Modbus ", 6},
        {0x0E, "R280P", "TfrmMR280BMod", " Tavo-R280+ Modbus ", 8},
        {0x0F, "R810", "TfrmMR810Mod", " Tavo-R810 Modbus ", 8},
        {0x10, "R820", "TfrmMR820Mod", " Tavo-R820 Modbus ", 8},
        {0x11, "R260AN", "TfrmMR260ANMod", " Tavo-R260AN Modbus ", 8},
        {0x12, "R270AN", "TfrmMR270ANMod", " Tavo-R270AN Modbus ", 8},
    };
    std::string bus;
    for (const Row& r : rows)
        bus += QString::asprintf("%02X %s protocol=modbus firmware=A2.05\n", r.address, r.model)
                   .toStdString();
    PanelFixture fx(bus);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.model);
        const QString node = QString::asprintf("(%02X)%s", row.address, row.model);
        auto* p = fx.Open<TfrmMR270PMod>(node, LinkKind::ModbusRtu);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(QString(p->metaObject()->className()), QString("tavo::") + row.cls);
        EXPECT_EQ(p->objectName(), row.cls);
        EXPECT_EQ(p->grpModule->title(), row.caption);

        // Firmware, mask, then all the range registers in one request.
        const std::string id = QString::asprintf("%02X", row.address).toStdString();
        EXPECT_EQ(fx.Received(row.address),
                  (Strings{id + "0300D40001", id + "0300DC0001",
                           id + QString::asprintf("0300C800%02X", row.channels).toStdString()}));

        EXPECT_EQ(p->edtFirmwareVer->text(), "A2.05");
        EXPECT_EQ(p->edtAddress_Hex->text(), QString::asprintf("%02X", row.address));
        EXPECT_EQ(p->edtAddress_Dec->text(), QString::number(row.address));
        EXPECT_EQ(p->cmbBaudRate->currentText(), "9600 bps");
        EXPECT_EQ(p->cmbPotocolSelect->currentText(), "MODBUS");
        EXPECT_EQ(p->chkCheckSum->text(), "Not available");
        for (QWidget* w :
             {static_cast<QWidget*>(p->edtAddress_Dec), static_cast<QWidget*>(p->cmbBaudRate),
              static_cast<QWidget*>(p->chkCheckSum), static_cast<QWidget*>(p->cmbPotocolSelect),
              static_cast<QWidget*>(p->btSystemUpdate)})
            EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
        EXPECT_FALSE(p->grpCalibration->isVisibleTo(p));
        EXPECT_FALSE(p->cmbDataFormat->isVisibleTo(p));
        EXPECT_FALSE(p->edtCommWDT->isVisibleTo(p));
        EXPECT_FALSE(p->HasSettingsFile());
        QTimer* timer = PollTimerOf(p, "tmrUpdateAIData");
        ASSERT_NE(timer, nullptr);
        EXPECT_EQ(timer->interval(), 660); // 2 × 80 ms + 500 ms
        EXPECT_TRUE(timer->isActive());

        ModbusMapList* list = p->lstviewModbus;
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(list->topLevelItemCount(), row.channels);
        const QTreeWidgetItem* first = list->topLevelItem(0);
        EXPECT_EQ(first->text(0), "40001");
        EXPECT_EQ(first->text(1), "Word");
        EXPECT_EQ(first->text(2), "*****");
        EXPECT_EQ(first->text(3), "AI CH:00");
        EXPECT_EQ(list->topLevelItem(row.channels - 1)->text(0),
                  QString::asprintf("%05d", 40000 + row.channels));

        // The values on the first tick, mask and burn-out flags on the second.
        p->tmrUpdateAIDataTimer();
        p->tmrUpdateAIDataTimer();
        EXPECT_EQ(fx.Received(row.address),
                  (Strings{id + QString::asprintf("03000000%02X", row.channels).toStdString(),
                           id + "0300DC0001",
                           id + QString::asprintf("0100C800%02X", row.channels).toStdString()}));
        EXPECT_EQ(fx.StatusText(), "Polling AI data...");
        EXPECT_EQ(fx.Indicator(), "0");
        EXPECT_NE(Value(list, "40001"), "*****");
    }
}

TEST(ModbusAnalogPanels, PollScalesByRangeAndShowsBurnOutAndDisabledChannels) {
    PanelFixture fx("0A R270P protocol=modbus firmware=A2.05 value0=1370 burnout=02 value4=4 "
                    "value5=20 value6=0.000305 value7=-20\n"
                    "0B R270P protocol=modbus firmware=A2.01 value0=1000\n"
                    "0C R240 protocol=modbus\n");
    auto* p = fx.Open<TfrmMR270PMod>("(0A)R270P", LinkKind::ModbusRtu);
    ASSERT_NE(p, nullptr);
    // The module's ranges: K, K, J, J, 4-20 mA twice, +/-20 mA twice.
    EXPECT_EQ(p->channels->range[0]->currentText(), "K Type ");
    EXPECT_EQ(p->channels->unit[0]->text(), "'C");
    EXPECT_EQ(p->channels->range[6]->currentText(), "+/- 0~20mA");
    EXPECT_EQ(p->channels->unit[6]->text(), "mA");
    p->tmrUpdateAIDataTimer();
    p->tmrUpdateAIDataTimer();
    const auto edit = [&p](int n) {
        return p->channels->value[static_cast<std::size_t>(n)]->text();
    };
    EXPECT_EQ(edit(0), "+1370.0");
    EXPECT_EQ(Value(p->lstviewModbus, "40001"), "65535");
    EXPECT_EQ(edit(1), "Burn-out");
    EXPECT_EQ(Value(p->lstviewModbus, "40002"), "65535"); // the raw value still shows
    EXPECT_EQ(edit(4), "+04.000");
    EXPECT_EQ(Value(p->lstviewModbus, "40005"), "0");
    EXPECT_EQ(edit(5), "+20.000");
    EXPECT_EQ(edit(6), "+00.000");
    EXPECT_EQ(Value(p->lstviewModbus, "40007"), "32768");
    EXPECT_EQ(edit(7), "-20.000");

    // Channel 7 off and channel 0 to J: the mask to 221, then every range to 201 + n;
    // the verdict, then the mask and the ranges read back, one request each.
    fx.Received(0x0A);
    p->channels->enable[7]->setChecked(false);
    p->channels->range[0]->setCurrentIndex(2);
    Strings atVerdict;
    fx.ui().onMessage = [&](const test::TestUi::Box&) { atVerdict = fx.Received(0x0A); };
    p->btSingleChUpdate->click();
    fx.ui().onMessage = nullptr;
    ASSERT_EQ(atVerdict.size(), 9u);
    EXPECT_EQ(atVerdict[0], "0A0600DC007F");
    EXPECT_EQ(atVerdict[1], "0A0600C8000E");
    EXPECT_EQ(atVerdict[8], "0A0600CF0006");
    EXPECT_EQ(fx.Received(0x0A), (Strings{"0A0300DC0001", "0A0300C80008"}));
    EXPECT_EQ(fx.ui().Texts().back(), "Update channel setup succeeded!");
    EXPECT_FALSE(p->channels->enable[7]->isChecked()); // read back
    EXPECT_EQ(p->channels->range[0]->currentText(), "J Type ");
    p->tmrUpdateAIDataTimer();
    p->tmrUpdateAIDataTimer();
    EXPECT_EQ(Value(p->lstviewModbus, "40008"), "*****");
    EXPECT_EQ(edit(7), "");

    // Old firmware: K runs to 1000 'C.
    p = fx.Open<TfrmMR270PMod>("(0B)R270P", LinkKind::ModbusRtu);
    ASSERT_NE(p, nullptr);
    p->tmrUpdateAIDataTimer();
    EXPECT_EQ(edit(0), "+1000.0");

    // An eight-channel read of a six-channel module: the exception fails the poll.
    p = fx.Open<TfrmMR270PMod>("(0C)R270P", LinkKind::ModbusRtu);
    ASSERT_NE(p, nullptr);
    p->tmrUpdateAIDataTimer();
    EXPECT_EQ(fx.StatusText(), "Fail to fresh AI data!");
    EXPECT_EQ(fx.Indicator(), "3");
    for (int n = 0; n < 8; ++n)
        EXPECT_EQ(Value(p->lstviewModbus, RegisterLocation(1 + n)), "*****");

    // The R240 shows its raw registers.
    auto* r240 = fx.Open<TfrmMR240Mod>("(0C)R240", LinkKind::ModbusRtu);
    ASSERT_NE(r240, nullptr);
    r240->tmrUpdateAIDataTimer();
    EXPECT_TRUE(r240->channels->value[0]->text().startsWith("0x"));
    EXPECT_EQ(r240->channels->value[0]->text().size(), 6);
}

TEST(ModbusAnalogPanels, ChannelSetupReadsEveryRangeInOneRequestAndShowsNoneWhenItFails) {
    PanelFixture fx("0A R260P protocol=modbus\n");
    auto* p = fx.Open<TfrmMR260PMod>("(0A)R260P", LinkKind::ModbusRtu);
    ASSERT_NE(p, nullptr);
    EXPECT_GE(p->channels->range[7]->currentIndex(), 0);
    struct Row {
        int after; // requests answered before the one that goes unanswered
        Strings sent;
        bool rangesShown;
    };
    const Row rows[] = {
        {0, {"0A0300DC0001"}, true},                  // the mask: no range is asked for
        {1, {"0A0300DC0001", "0A0300C80008"}, false}, // the ranges: none shows
        {2, {"0A0300DC0001", "0A0300C80008"}, true},  // all answered
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.after);
        fx.Received(0x0A);
        fx.WithModule(0x0A, [&](sim::SimModule& m) {
            m.faults().startAfter = r.after;
            m.faults().noReply.count = 1;
        });
        p->btRefreshAIStatus->click();
        EXPECT_EQ(fx.Received(0x0A), r.sent);
        if (r.after < 2) EXPECT_EQ(fx.StatusText(), "Fail to fresh AI status!");
        for (int n = 0; n < 8; ++n)
            EXPECT_EQ(p->channels->range[static_cast<std::size_t>(n)]->currentIndex() >= 0,
                      r.rangesShown)
                << n;
        if (r.after != 1) continue;
        // Ranges not known are not written (the module keeps its own); then the
        // setup is read back.
        p->btSingleChUpdate->click();
        EXPECT_EQ(fx.Received(0x0A), (Strings{"0A0600DC00FF", "0A0300DC0001", "0A0300C80008"}));
    }
}

TEST(ModbusAnalogPanels, PollIntervalFollowsThePortTimeOut) {
    test::ScopedTestUi ui;
    test::SimBus sim("0A R260P protocol=modbus\n");
    for (const int timeout : {80, 150, 20}) {
        SCOPED_TRACE(timeout);
        auto port = sim.Open(timeout);
        MainStatusBar status;
        TfrmMR260PMod panel;
        PanelContext context;
        context.port = port.get();
        context.address = "0A";
        context.status = &status;
        context.link = LinkKind::ModbusRtu;
        panel.InitModule(context);
        EXPECT_EQ(PollTimerOf(&panel, "tmrUpdateAIData")->interval(), 2 * timeout + 500);
    }
}

// ---- On a scripted line ----

test::Bytes WithCrc(test::Bytes frame) {
    const auto crc = TavoModbusCOM::CalcCRC(frame.data(), frame.size());
    frame.push_back(crc[0]);
    frame.push_back(crc[1]);
    return frame;
}

class ScriptedPanel {
public:
    ScriptedPanel() : window_(QStringList{QString::fromStdString(peer_.path())}) {}
    template <class Panel> Panel* Open(const QString& node) {
        QTreeWidgetItem* port = window_.Tree()->FindPort(QString::fromStdString(peer_.path()));
        FoundNode n;
        n.text = node.toStdString();
        n.link = LinkKind::ModbusRtu;
        // Short waits for the answers that never come.
        window_.ClickNode(window_.Tree()->AddFound(port, n));
        window_.Port()->SetTimeOut(20);
        return qobject_cast<Panel*>(window_.CurrentPanel());
    }
    test::ScriptedPeer& peer() { return peer_; }
    TfrmMain& window() { return window_; }
    QString Status() { return window_.StatusBar()->StatusMessage(); }
    test::TestUi& ui() { return ui_.ui(); }

private:
    test::ScopedTestUi ui_;
    test::ScriptedPeer peer_;
    TfrmMain window_;
};

test::Bytes Words(std::uint8_t slave, const std::vector<std::uint16_t>& words) {
    test::Bytes b{slave, 0x03, static_cast<std::uint8_t>(2 * words.size())};
    for (auto w : words) {
        b.push_back(static_cast<std::uint8_t>(w >> 8));
        b.push_back(static_cast<std::uint8_t>(w & 0xFF));
    }
    return WithCrc(b);
}

TEST(ModbusAnalogPanels, RequestBytesAndBadAnswersFailCleanlyNeverAsData) {
    ScriptedPanel s;
    s.peer().ThenBytes(Words(0x0A, {0xA202})); // firmware
    s.peer().ThenBytes(Words(0x0A, {0x00FF})); // mask
    s.peer().ThenBytes(Words(0x0A, std::vector<std::uint16_t>(8, 0x0007))); // 4-20 mA
    const std::vector<std::uint16_t> raw = {0, 65535, 32768, 4096, 0, 0, 0, 0};
    s.peer().ThenBytes(Words(0x0A, raw));
    const test::Bytes good = Words(0x0A, raw);
    test::Bytes badCrc = good;
    badCrc.back() ^= 0x01;
    test::Bytes fourteen = {0x0A, 0x03, 14};
    fourteen.resize(3 + 14, 0);
    const test::Bytes bad[] = {
        test::Bytes(good.begin(), good.begin() + 3), // a short frame
        badCrc,                                      // a bad CRC
        WithCrc({0x0A, 0x83, 0x02}),                 // an exception
        Words(0x0B, raw),                            // another slave's answer
        WithCrc(fourteen),                           // seven registers for eight
        {},                                          // silence
    };
    for (const auto& b : bad) {
        s.peer().ThenBytes(Words(0x0A, {0x00FF}));             // tick 0: mask
        s.peer().ThenBytes(WithCrc({0x0A, 0x01, 0x01, 0x00})); // and burn-out coils
        s.peer().ThenBytes(b);                                 // tick 1: the bad answer
    }
    auto* p = s.Open<TfrmMR270PMod>("(0A)R270P");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->edtFirmwareVer->text(), "A2.02");
    p->tmrUpdateAIDataTimer();
    const auto edit = [p](int n) {
        return p->channels->value[static_cast<std::size_t>(n)]->text();
    };
    EXPECT_EQ(edit(0), "+04.000");
    EXPECT_EQ(edit(1), "+20.000");
    EXPECT_EQ(edit(2), "+12.000");
    EXPECT_EQ(Value(p->lstviewModbus, "40004"), "4096");
    for (std::size_t i = 0; i < std::size(bad); ++i) {
        SCOPED_TRACE(i);
        p->tmrUpdateAIDataTimer(); // mask and flags
        EXPECT_EQ(s.Status(), "Polling AI data...");
        p->tmrUpdateAIDataTimer(); // values: the bad answer
        EXPECT_EQ(s.Status(), "Fail to fresh AI data!");
        EXPECT_EQ(s.window().StatusBar()->Indicator(), "3");
        for (int n = 0; n < 8; ++n)
            EXPECT_EQ(Value(p->lstviewModbus, RegisterLocation(1 + n)), "*****");
        EXPECT_EQ(edit(1), "+20.000"); // the last reading stays beside the failure
    }
    const auto r = s.peer().Requests();
    ASSERT_GE(r.size(), 7u);
    EXPECT_EQ(test::Hex(r[0]), "0A 03 00 D4 00 01 C5 49"); // firmware, register 213
    EXPECT_EQ(test::Hex(r[1]), "0A 03 00 DC 00 01 44 8B"); // mask, register 221
    EXPECT_EQ(test::Hex(r[2]), "0A 03 00 C8 00 08 C4 89"); // ranges, registers 201..208
    EXPECT_EQ(test::Hex(r[3]), "0A 03 00 00 00 08 45 77"); // values, registers 1..8
    EXPECT_EQ(test::Hex(r[4]), "0A 03 00 DC 00 01 44 8B");
    EXPECT_EQ(test::Hex(r[5]), "0A 01 00 C8 00 08 BD 49"); // burn-out, coils 201..208

    // The channel writes: mask and range, each echoed.
    const std::size_t before = r.size();
    s.peer().ThenBytes(WithCrc({0x0A, 0x06, 0x00, 0xDC, 0x00, 0x7F}));
    s.peer().ThenBytes(WithCrc({0x0A, 0x06, 0x00, 0xC8, 0x00, 0x0F}));
    p->channels->enable[7]->setChecked(false);
    p->channels->range[0]->setCurrentIndex(3); // K
    p->btSingleChUpdate->click();
    const auto w = s.peer().Requests();
    ASSERT_GE(w.size(), before + 2);
    EXPECT_EQ(test::Hex(w[before]), "0A 06 00 DC 00 7F 08 AB");
    EXPECT_EQ(test::Hex(w[before + 1]), "0A 06 00 C8 00 0F 49 4B");
    // The other channels' ranges went unanswered.
    EXPECT_EQ(s.ui().Texts().back(), "Error occurred during setup!");
}

// ---- R330 ----

TEST(ModbusAnalogPanels, R330ReadsRangesOutputsAndInputsAndWritesRawOutputs) {
    PanelFixture fx("0C R330 protocol=modbus firmware=A1.10 outrange=30,32,31,32 di=5\n"
                    "0D R270P protocol=modbus\n");
    auto* p = fx.Open<TfrmMR330Mod>("(0C)R330", LinkKind::ModbusRtu);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->objectName(), "TfrmMR330Mod");
    EXPECT_EQ(p->grpModule->title(), " Tavo-R330 Modbus ");
    EXPECT_EQ(p->edtFirmwareVer->text(), "A1.10");
    EXPECT_EQ(p->cmbPotocolSelect->currentText(), "MODBUS");
    EXPECT_EQ(p->chkCheckSum->text(), "Not available");
    for (QWidget* w :
         {static_cast<QWidget*>(p->edtAddress_Dec), static_cast<QWidget*>(p->cmbBaudRate),
          static_cast<QWidget*>(p->chkCheckSum), static_cast<QWidget*>(p->btSystemUpdate)})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    // What the map has no register for is not shown at all, never left blank.
    std::vector<QWidget*> absent = {p->cmbSlewRate, p->edtCommSafety, p->lblCommSafetyUnit,
                                    p->lblCalibration, p->bitbtn4mA, p->bitbtn20mA};
    for (QLabel* head : p->channelSettingHeads) absent.push_back(head);
    for (int n = 0; n < 4; ++n) {
        const auto i = static_cast<std::size_t>(n);
        absent.insert(absent.end(), {p->txbStartUpVal[i], p->txbEmerVal[i], p->ckbEmerInput[i]});
    }
    for (QLabel* label : p->grpGeneralSetting->findChildren<QLabel*>())
        if (label->buddy() == p->cmbSlewRate || label->buddy() == p->edtCommSafety)
            absent.push_back(label);
    EXPECT_EQ(absent.size(), 23u);
    for (QWidget* w : absent) EXPECT_FALSE(w->isVisibleTo(p)) << w->objectName().toStdString();
    EXPECT_TRUE(p->txbCurVal[3]->isVisibleTo(p));
    EXPECT_EQ(PollTimerOf(p, "tmrUpdateData")->interval(), 660);

    // The firmware, the ranges (which the outputs are scaled by), the outputs and
    // the inputs: one request per block. A tick: the outputs and the inputs.
    EXPECT_EQ(fx.Received(0x0C),
              (Strings{"0C0300D40001", "0C0300C80004", "0C0300000004", "0C0100000004"}));
    p->tmrUpdateDataTimer();
    EXPECT_EQ(fx.Received(0x0C), (Strings{"0C0300000004", "0C0100000004"}));
    EXPECT_EQ(fx.StatusText(), "Polling DI data...");

    ModbusMapList* list = p->lstviewModbus;
    ASSERT_EQ(list->topLevelItemCount(), 8);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "00001");
    EXPECT_EQ(list->topLevelItem(0)->text(1), "Bit");
    EXPECT_EQ(list->topLevelItem(0)->text(3), "DI CH:01");
    EXPECT_EQ(list->topLevelItem(4)->text(0), "40001");
    EXPECT_EQ(list->topLevelItem(4)->text(1), "Word");
    EXPECT_EQ(list->topLevelItem(4)->text(3), "AO CH:01");
    EXPECT_EQ(p->cmbAORange[1]->currentIndex(), 2);
    EXPECT_EQ(p->txbCurVal[1]->text(), "-10.000");
    EXPECT_EQ(Value(list, "40002"), "0");
    EXPECT_EQ(p->edtDIData->text(), "05");
    EXPECT_EQ(Value(list, "00001"), "1");
    EXPECT_EQ(Value(list, "00002"), "0");
    EXPECT_EQ(Value(list, "00003"), "1");

    // 10 V on the +/-10 V channel is raw 4095, -10 V raw 0; the outputs are read
    // back in one request.
    EXPECT_EQ(p->cmbOutputCh->itemText(1), "Ch 1"); // as the row of channel 1
    p->cmbOutputCh->setCurrentIndex(1);
    p->edtAOOutput->setText("10");
    p->btAOOutput->click();
    Strings sent = fx.Received(0x0C);
    EXPECT_EQ(sent, (Strings{"0C0600010FFF", "0C0300000004"}));
    EXPECT_EQ(p->txbCurVal[1]->text(), "+10.000");
    p->tmrUpdateDataTimer();
    EXPECT_EQ(Value(list, "40002"), "4095");
    fx.Received(0x0C); // the poll's reads
    p->edtAOOutput->setText("-10");
    p->btAOOutput->click();
    EXPECT_EQ(fx.Received(0x0C).at(0), "0C0600010000");
    p->edtAOOutput->setText("11");
    p->btAOOutput->click();
    EXPECT_EQ(fx.ui().Texts().back(), "The data should be in the range between -10.0~10.0!");
    EXPECT_TRUE(fx.Received(0x0C).empty());

    // A range to register 201 + n, then all of them read back in one request.
    p->cmbAORange[0]->setCurrentIndex(1);
    p->btAOFunctionSet->click();
    EXPECT_EQ(fx.Received(0x0C), (Strings{"0C0600C80031", "0C0600C90032", "0C0600CA0031",
                                          "0C0600CB0032", "0C0300C80004"}));
    EXPECT_EQ(fx.ui().Texts().back(), "Update channel setup succeeded!");
    EXPECT_EQ(p->cmbAORange[0]->currentIndex(), 1);
    // Refresh reads them once more, the same way.
    p->btAORead->click();
    EXPECT_EQ(fx.Received(0x0C), Strings{"0C0300C80004"});

    // A slave that refuses the range: its own wording.
    auto* other = fx.Open<TfrmMR330Mod>("(0D)R330", LinkKind::ModbusRtu);
    ASSERT_NE(other, nullptr);
    for (auto* c : other->cmbAORange)
        c->setCurrentIndex(0);
    other->btAOFunctionSet->click();
    EXPECT_EQ(fx.ui().Texts().back(), "Change AI range failed");
}

TEST(ModbusAnalogPanels, R330ValueWithoutItsRangeOrOutOfScaleIsNeverShownNorWritten) {
    ScriptedPanel s;
    s.peer().ThenBytes(Words(0x0A, {0xA105}));                         // firmware
    s.peer().ThenBytes(Words(0x0A, {0x0032, 0x0099, 0x0030, 0x0031})); // channel 1: no range
    s.peer().ThenBytes(Words(0x0A, {0x1000, 0x0800, 0x0000, 0x0FFF})); // channel 0: 4096
    s.peer().ThenBytes(WithCrc({0x0A, 0x01, 0x01, 0x03}));
    auto* p = s.Open<TfrmMR330Mod>("(0A)R330");
    ASSERT_NE(p, nullptr);
    // The poll does not read ranges: it says which one the user must read again.
    EXPECT_EQ(s.Status(), "The range of Ch 1 could not be read: press Refresh to read it again.");
    EXPECT_EQ(p->cmbAORange[0]->currentText(), "+/-  10 V");
    EXPECT_EQ(p->cmbAORange[1]->currentIndex(), -1);
    EXPECT_EQ(p->txbCurVal[0]->text(), ""); // above the scale
    EXPECT_EQ(p->txbCurVal[1]->text(), ""); // no range to scale by
    EXPECT_EQ(p->txbCurVal[2]->text(), "+00.000");
    EXPECT_EQ(p->txbCurVal[3]->text(), "+20.000");
    EXPECT_EQ(Value(p->lstviewModbus, "40001"), "4096"); // what the registers hold
    EXPECT_EQ(Value(p->lstviewModbus, "40002"), "2048");
    EXPECT_EQ(Value(p->lstviewModbus, "00002"), "1");

    // Neither the Update nor the Output sends anything for that channel; each says
    // what is missing.
    s.ui().Clear();
    p->btAOFunctionSet->click();
    p->cmbOutputCh->setCurrentIndex(1);
    p->edtAOOutput->setText("1");
    p->btAOOutput->click();
    EXPECT_EQ(s.ui().Texts(),
              (QStringList{"The range of Ch 1 could not be read: choose its range, or press "
                           "Refresh to read it again.",
                           "The range of Ch 1 could not be read: press Refresh to read it again."}));
    const auto r = s.peer().Requests();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(test::Hex(r[0]), "0A 03 00 D4 00 01 C5 49"); // firmware, register 213
    EXPECT_EQ(test::Hex(r[1]), "0A 03 00 C8 00 04 C4 8C"); // ranges, registers 201..204
    EXPECT_EQ(test::Hex(r[2]), "0A 03 00 00 00 04 45 72"); // outputs, registers 1..4
    EXPECT_EQ(test::Hex(r[3]), "0A 01 00 00 00 04 3C B2"); // inputs, coils 1..4
}

} // namespace
} // namespace tavo
