// The K100 rack controller panel against the simulated racks: what it reads when it
// opens, the general settings in INIT state, the watchdog, the Modbus address map
// (reading, Auto Scan, the checks of Apply, activation, the map file) and the
// firmware update from the panel.
#include "file_helpers.h"
#include "panel_fixture.h"

#include "panels/system/k100_panel.h"
#include "sim/boot_loader.h"
#include "sim/rack_access.h"
#include "support/firmware_files.h"
#include "support/pty_peer.h"
#include "transport/modbus.h"
#include "workspace/rack_download.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <filesystem>

namespace tavo {
namespace {

using test::PanelFixture;
using Strings = std::vector<std::string>;

const char* const kRack = "01 K100E firmware=A3.10 slots=K220,K230P,K310,K510,K620,K710,-,K990\n";

QStringList Row(const QTreeWidget* list, int i) {
    const QTreeWidgetItem* item = list->topLevelItem(i);
    return item ? QStringList{item->text(0), item->text(1), item->text(2)} : QStringList{};
}

// The map row of slot k as the panel shows it: type index, head, start, length text.
std::string MapRow(TfrmMK100* p, int k) {
    const auto i = static_cast<std::size_t>(k);
    return std::to_string(p->CB_RefType[i]->currentIndex()) + " " +
           p->Edt_AddrHead[i]->text().toStdString() + " " +
           p->Edt_StartAd[i]->text().toStdString() + " " +
           p->CB_Len[i]->currentText().toStdString();
}

// Sets slot k's row as a user would: type, then length, then start.
void SetRow(TfrmMK100* p, int k, int type, const QString& start, int length) {
    const auto i = static_cast<std::size_t>(k);
    p->CB_RefType[i]->setCurrentIndex(type);
    p->CB_RefType_0Change(k);
    p->CB_Len[i]->setCurrentIndex(length);
    p->Edt_StartAd[i]->setText(start);
}

sim::RackAccess& RackOf(sim::SimModule& m) {
    auto* rack = m.Find<sim::RackAccess>();
    if (!rack) throw std::logic_error("not a simulated rack");
    return *rack;
}

// ---- opening ----

TEST(K100Panel, OpeningReadsGeneralSettingsSlotListAndWatchdogInOrder) {
    PanelFixture fx(kRack);
    auto* p = fx.Open<TfrmMK100>("(01)K100E");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(fx.Received(1), (Strings{"$012", "$01F", "$01M", "$01OU", "$01T", "$01S1N", "$01S1N0",
                                       "$01XR", "$01XER"}));
    EXPECT_EQ(fx.ui().clockMs, 100); // between the two watchdog reads
    EXPECT_EQ(p->grpModule->title(), "Tavo-K100E");
    EXPECT_EQ(p->EditAddrHex->text(), "01");
    EXPECT_EQ(p->EditAddrDec->text(), "1");
    EXPECT_EQ(p->ComboBoxBaudRate->currentText(), "9600 bps");
    EXPECT_EQ(p->EditFirmwareVer->text(), "A3.10");
    EXPECT_EQ(p->cmbPotocolSelect->currentText(), "CORVANETH");
    EXPECT_EQ(p->CB_COMSetting->currentIndex(), 0);
    // Outside INIT the general settings only show.
    for (QWidget* w :
         std::initializer_list<QWidget*>{p->ComboBoxBaudRate, p->CheckBoxCheckSum, p->ButtonUpdate,
                                         p->ButtonDownload, p->cmbPotocolSelect, p->CB_COMSetting})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();

    EXPECT_EQ(p->SlotCount(), 8);
    ASSERT_EQ(p->ListView5KModule->topLevelItemCount(), 7); // slot 6 is empty
    EXPECT_EQ(Row(p->ListView5KModule, 0),
              (QStringList{"0", "K220", "Tavo-K220 8-channel analog input module"}));
    // A slot that names itself reads as the others: designation, then "Tavo-" and it
    // before the description.
    EXPECT_EQ(Row(p->ListView5KModule, 1),
              (QStringList{"1", "K230P", "Tavo-K230P analog input module"}));
    EXPECT_EQ(Row(p->ListView5KModule, 4),
              (QStringList{"4", "K620", "Tavo-K620 8-channel relay output module"}));
    EXPECT_EQ(Row(p->ListView5KModule, 6),
              (QStringList{"7", "K990", "Tavo-K990 Unknown module (K990)"}));
    EXPECT_EQ(p->Edt_S[1]->text(), "K230P");
    EXPECT_EQ(p->Edt_S[5]->text(), "K710");
    EXPECT_TRUE(p->Edt_S[6]->text().isEmpty());
    EXPECT_EQ(p->SlotKind(4), K100SlotKind::Digital);
    EXPECT_EQ(p->SlotKind(5), K100SlotKind::Counter);
    EXPECT_EQ(p->SlotKind(3), K100SlotKind::None); // the K510 gets no references

    EXPECT_EQ(p->edtTimeout->text(), "0");
    EXPECT_TRUE(p->btnUpdatWDT->isEnabled());
    for (QCheckBox* box : p->chkWDT) {
        EXPECT_FALSE(box->isHidden());
        EXPECT_FALSE(box->isChecked());
    }
    EXPECT_TRUE(p->ModbusCapable());
    EXPECT_EQ(p->LB_ShowModStatus->text(), "Fixed Address");
}

TEST(K100Panel, FourSlotControllerWithOldFirmwareHasNoAddressMap) {
    PanelFixture fx("02 K100 firmware=A1.20 slots=K230,-,K520\n");
    auto* p = fx.Open<TfrmMK100>("(02)K100");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->SlotCount(), 4);
    EXPECT_FALSE(p->ModbusCapable());
    EXPECT_EQ(p->LB_ShowModStatus->text(),
              "Not support\nin this version!\nPlease update\nfirmware!");
    for (QWidget* w :
         std::initializer_list<QWidget*>{p->Bt_Load, p->Bt_Save, p->Bt_Auto, p->Bt_Refresh,
                                         p->Bt_Confirm, p->CB_COMSetting, p->cmbPotocolSelect})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_FALSE(p->lblProtocol->isEnabled());
    EXPECT_FALSE(p->LabelModbusOnly->isEnabled());
    for (int n = 4; n < 8; ++n) {
        const auto i = static_cast<std::size_t>(n);
        EXPECT_FALSE(p->LB_Slot[i]->isEnabled());
        EXPECT_EQ(p->CB_RefType[i]->count(), 0);
        EXPECT_EQ(p->CB_Len[i]->count(), 0);
        EXPECT_TRUE(p->chkWDT[i]->isHidden());
    }
    EXPECT_FALSE(p->chkWDT[3]->isHidden());
    fx.Received(2);
    p->PageControl1->setCurrentIndex(TfrmMK100::kModbusPage);
    EXPECT_TRUE(fx.Received(2).empty()); // no map to read
}

TEST(K100Panel, InitModeWritesSerialFormatThenConfiguration) {
    PanelFixture fx("05 K100 init firmware=A3.10 slots=K520\n");
    auto* p = fx.Open<TfrmMK100>("(*)K100");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->EditAddrHex->text(), "*05");
    EXPECT_TRUE(p->ComboBoxBaudRate->isEnabled());
    EXPECT_TRUE(p->CheckBoxCheckSum->isEnabled());
    EXPECT_TRUE(p->ButtonDownload->isEnabled());
    EXPECT_FALSE(p->CB_COMSetting->isEnabled()); // only for MODBUS
    // Choosing MODBUS takes the checksum away and offers the serial format.
    p->cmbPotocolSelect->setCurrentIndex(1);
    emit p->cmbPotocolSelect->activated(1);
    EXPECT_FALSE(p->CheckBoxCheckSum->isEnabled());
    EXPECT_FALSE(p->LabelCheckSum->isEnabled());
    EXPECT_TRUE(p->CB_COMSetting->isEnabled());
    p->CB_COMSetting->setCurrentIndex(1);
    p->ComboBoxBaudRate->setCurrentIndex(4); // 19.2 kbps
    fx.Received(5);
    p->ButtonUpdateClick();
    const Strings sent = fx.Received(5);
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ((Strings{sent[0], sent[1], sent[2]}), (Strings{"#00OU02C", "$002", "%00000704"}));
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update General Setting succeeded!"});
    EXPECT_EQ(p->cmbPotocolSelect->currentText(), "MODBUS");
    EXPECT_EQ(p->CB_COMSetting->currentIndex(), 1);
    EXPECT_EQ(p->ComboBoxBaudRate->currentIndex(), 4);
}

// ---- watchdog ----

TEST(K100Panel, WatchdogWriteTriplesTheTimeOutsAndPutsThemBack) {
    PanelFixture fx(kRack);
    auto* p = fx.Open<TfrmMK100>("(01)K100E");
    ASSERT_NE(p, nullptr);
    fx.Received(1);
    // The two writes are answered after 200 ms: later than the 2 x 80 ms a plain
    // command waits, within the 2 x 240 ms of the tripled time-out.
    fx.WithModule(1, [](sim::SimModule& m) {
        m.faults().late.count = 2;
        m.faults().lateMs = 200;
    });
    p->edtTimeout->setText("15");
    p->chkWDT[0]->setChecked(true);
    p->chkWDT[5]->setChecked(true);
    fx.ui().clockMs = 0;
    p->btnUpdatWDTClick();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update WDT Setting succeeded!"});
    EXPECT_EQ(fx.window().Port()->GetTimeOut(), 80);
    EXPECT_EQ(fx.Received(1), (Strings{"$01X0015", "$01XEW21", "$01XR", "$01XER"}));
    EXPECT_EQ(fx.ui().clockMs, 200); // before the mask write and between the reads
    EXPECT_EQ(p->edtTimeout->text(), "15");
    EXPECT_TRUE(p->chkWDT[5]->isChecked());
    EXPECT_FALSE(p->chkWDT[4]->isChecked());
    fx.WithModule(1, [](sim::SimModule& m) {
        EXPECT_EQ(RackOf(m).WatchdogSeconds(), 15);
        EXPECT_EQ(RackOf(m).WatchdogMask(), 0x21u);
    });

    // An empty field is written as 0000; a refused write says so and sends no mask.
    fx.ui().Clear();
    p->edtTimeout->clear();
    p->btnUpdatWDTClick();
    EXPECT_EQ(fx.Received(1), (Strings{"$01X0000", "$01XEW21", "$01XR", "$01XER"}));
    EXPECT_EQ(p->edtTimeout->text(), "0");
    fx.ui().Clear();
    fx.WithModule(1, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    p->edtTimeout->setText("7");
    p->btnUpdatWDTClick();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update WDT Setting failed!"});
    EXPECT_EQ(fx.Received(1), (Strings{"$01X0007", "$01XR", "$01XER"}));
    EXPECT_EQ(fx.window().Port()->GetTimeOut(), 80);
}

// ---- address map ----

TEST(K100Panel, ReadsAFixedAndAUserDefinedMap) {
    struct Case {
        const char* bus;
        bool user;
    };
    for (const Case c : {Case{"03 K100 firmware=A3.10 map=fixed slots=K520,K710,K620\n", false},
                         Case{"03 K100 firmware=A3.10 slots=K520,K710,K620\n", true}}) {
        SCOPED_TRACE(c.bus);
        PanelFixture fx(c.bus);
        auto* p = fx.Open<TfrmMK100>("(03)K100");
        ASSERT_NE(p, nullptr);
        fx.Received(3);
        p->PageControl1->setCurrentIndex(TfrmMK100::kModbusPage);
        EXPECT_EQ(fx.Received(3),
                  (Strings{"$03PD", "$03PN00FF", "$03PN01FF", "$03PN02FF", "$03PN03FF"}));
        EXPECT_EQ(MapRow(p, 0), "0 0X 00001 16");
        EXPECT_EQ(MapRow(p, 1), "1 4X 00001 16");
        EXPECT_EQ(MapRow(p, 2), "0 0X 00017 8");
        EXPECT_EQ(p->CB_RefType[0]->isEnabled(), c.user);
        EXPECT_EQ(p->Edt_StartAd[1]->isEnabled(), c.user);
        EXPECT_EQ(p->Bt_Confirm->isEnabled(), c.user);
        EXPECT_EQ(p->Bt_Auto->isEnabled(), c.user);
        EXPECT_EQ(p->Bt_Load->isEnabled(), c.user);
        EXPECT_TRUE(p->Bt_Save->isEnabled());
        EXPECT_EQ(p->LB_ShowModStatus->isHidden(), c.user);
        EXPECT_TRUE(fx.ui().boxes.empty());
    }
}

TEST(K100Panel, AutoScanGivesDigitalSlotsCoilsAndCountersRegisters) {
    PanelFixture fx("01 K100E firmware=A3.10 slots=K220,K230P,K620,K710,K550,K990,K710\n");
    auto* p = fx.Open<TfrmMK100>("(01)K100E");
    ASSERT_NE(p, nullptr);
    p->PageControl1->setCurrentIndex(TfrmMK100::kModbusPage);
    fx.Received(1);
    p->Bt_AutoClick();
    EXPECT_TRUE(fx.Received(1).empty());
    const Strings expected = {"0   0 0",       "0   0 0", "0 0X 00001 8",  "1 4X 00001 16",
                              "0 0X 00009 16", "0   0 0", "1 4X 00017 16", "0   0 0"};
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(MapRow(p, k), expected[static_cast<std::size_t>(k)]) << k;
}

TEST(K100Panel, GrowingALengthPushesTheFollowingSlotsOfItsType) {
    PanelFixture fx("01 K100E firmware=A3.10 slots=K550,K710,K520,K620\n");
    auto* p = fx.Open<TfrmMK100>("(01)K100E");
    ASSERT_NE(p, nullptr);
    p->PageControl1->setCurrentIndex(TfrmMK100::kModbusPage);
    // K550 1-16, K520 17-32, K620 33-40 on coils; the K710 on registers.
    p->CB_Len[0]->setCurrentIndex(3); // 32 coils: 1-32
    p->CB_Len_0Change(0);
    EXPECT_EQ(MapRow(p, 2), "0 0X 00033 16");
    EXPECT_EQ(MapRow(p, 3), "0 0X 00049 8");
    EXPECT_EQ(MapRow(p, 1), "1 4X 00001 16"); // another type: untouched
    fx.Received(1);
    EXPECT_TRUE(fx.Received(1).empty());
}

TEST(K100Panel, ApplyRefusesAMapThatCannotWorkAndSendsNothing) {
    struct Case {
        const char* what;
        std::function<void(TfrmMK100*)> set;
        QString message;
    };
    const Case cases[] = {
        {"overlap", [](TfrmMK100* p) { SetRow(p, 0, 0, "1", 2), SetRow(p, 2, 0, "16", 1); },
         "Slot2: Overlap of modbus address range Error!\n"},
        {"not 8n + 1", [](TfrmMK100* p) { SetRow(p, 0, 0, "10", 1), SetRow(p, 2, 0, "33", 1); },
         "Slot0: The (start address - 1) of 0X references\nmust be a multiple of 8! Ex.000009\n"},
        {"coils past 19999", [](TfrmMK100* p) { SetRow(p, 2, 0, "20001", 1); },
         "Start Address out of range!"},
        {"registers past 19999", [](TfrmMK100* p) { SetRow(p, 1, 1, "65535", 5); },
         "Start Address out of range!"},
        {"counter on coils", [](TfrmMK100* p) { SetRow(p, 1, 0, "33", 1); },
         "Analog device can not use 0X references!"},
        {"start not a number", [](TfrmMK100* p) { SetRow(p, 2, 0, "1x", 1); },
         "Slot2: The start address must be a number from 0 to 65535!\n"},
        {"start past 65535", [](TfrmMK100* p) { SetRow(p, 2, 0, "70001", 1); },
         "Slot2: The start address must be a number from 0 to 65535!\n"},
    };
    PanelFixture fx("01 K100 firmware=A3.10 slots=K550,K710,K620\n");
    auto* p = fx.Open<TfrmMK100>("(01)K100");
    ASSERT_NE(p, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        p->Bt_RefreshClick();
        fx.Received(1);
        fx.ui().Clear();
        c.set(p);
        p->Bt_ConfirmClick();
        EXPECT_EQ(fx.ui().Texts(), QStringList{c.message});
        EXPECT_EQ(fx.ui().boxes[0].icon, UiServices::Icon::Error);
        EXPECT_TRUE(fx.Received(1).empty());
        EXPECT_TRUE(p->Bt_Confirm->isEnabled()); // the panel stays usable
    }
    // A 0X slot from 9 passes the multiple-of-8 test; a slot without a length
    // loses its start.
    p->Bt_RefreshClick();
    SetRow(p, 0, 0, "9", 1);
    SetRow(p, 2, 0, "123", 0);
    fx.Received(1);
    fx.ui().Clear();
    p->Bt_ConfirmClick();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update Modbus Setting succeeded!"});
    const Strings sent = fx.Received(1);
    ASSERT_GE(sent.size(), 5u);
    EXPECT_EQ(
        (Strings(sent.begin(), sent.begin() + 5)),
        (Strings{"#01PN00FF00094", "#01PN01FF9C415", "#01PN02FF00000", "#01PN03FF00000", "#01PD"}));
    EXPECT_EQ(MapRow(p, 2), "0 0X 00000 0");
}

TEST(K100Panel, AnActivatedMapAnswersAtItsNewModbusReferences) {
    PanelFixture fx("01 K100 firmware=A3.10 slots=K550,K710\n");
    auto* p = fx.Open<TfrmMK100>("(01)K100");
    ASSERT_NE(p, nullptr);
    p->PageControl1->setCurrentIndex(TfrmMK100::kModbusPage);
    SetRow(p, 0, 0, "33", 2);  // K550 on coils 33-48
    SetRow(p, 1, 1, "101", 5); // K710 on registers 40101-40116
    fx.Received(1);
    p->Bt_ConfirmClick();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Update Modbus Setting succeeded!"});
    EXPECT_EQ(fx.Received(1),
              (Strings{"#01PN00FF00215", "#01PN01FF9CA55", "#01PN02FF00000", "#01PN03FF00000",
                       "#01PD", "$01PD", "$01PN00FF", "$01PN01FF", "$01PN02FF", "$01PN03FF"}));
    EXPECT_EQ(MapRow(p, 0), "0 0X 00033 16");
    EXPECT_EQ(MapRow(p, 1), "1 4X 00101 16");

    // The same rack on its Modbus side.
    fx.WithModule(1, [](sim::SimModule& m) { m.config().protocol = sim::Protocol::Modbus; });
    TavoModbusCOM mb(fx.window().Port());
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(mb.WriteSingleCoil(1, 35, true)); // the K550's output 2
    ASSERT_TRUE(mb.WriteResponse());
    ASSERT_TRUE(mb.ReadCoils(1, 33, 16));
    ASSERT_TRUE(mb.ReadResponse(data));
    EXPECT_EQ(test::Hex(data), "04 00");
    ASSERT_TRUE(mb.ReadCoils(1, 1, 16));
    EXPECT_FALSE(mb.ReadResponse(data));            // nothing is left at the old references
    ASSERT_TRUE(mb.WriteSingleRegister(1, 113, 0)); // the K710's control 0: stop
    ASSERT_TRUE(mb.WriteResponse());
    ASSERT_TRUE(mb.ReadHoldingRegisters(1, 109, 1)); // its status 0
    ASSERT_TRUE(mb.ReadResponse(data));
    EXPECT_EQ(test::Hex(data), "00 00");
}

TEST(K100Panel, MapFileSavesAndLoadsBackAndRefusesAMalformedFile) {
    PanelFixture fx("01 K100 firmware=A3.10 slots=K550,K710,K620\n");
    auto* p = fx.Open<TfrmMK100>("(01)K100");
    ASSERT_NE(p, nullptr);
    p->PageControl1->setCurrentIndex(TfrmMK100::kModbusPage);
    QTemporaryDir dir;
    const QString file = dir.filePath("map.cfg");
    fx.ui().saveNames.push_back(file);
    p->Bt_SaveClick();
    EXPECT_EQ(fx.ui().defaultNames, std::vector<QString>{"K100_Modbus.cfg"});
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Save Config File succeeded!"});
    const QByteArray saved = test::ReadAll(file);
    EXPECT_EQ(saved, "Slot: 0, Ref. Type: 0, S. Addr: 1, Length: 2\r\n"
                     "Slot: 1, Ref. Type: 1, S. Addr: 1, Length: 5\r\n"
                     "Slot: 2, Ref. Type: 0, S. Addr: 17, Length: 1\r\n"
                     "Slot: 3, Ref. Type: 0, S. Addr: 0, Length: 0\r\n"
                     "Slot: 4, Ref. Type: 0, S. Addr: 0, Length: 0\r\n"
                     "Slot: 5, Ref. Type: 0, S. Addr: 0, Length: 0\r\n"
                     "Slot: 6, Ref. Type: 0, S. Addr: 0, Length: 0\r\n"
                     "Slot: 7, Ref. Type: 0, S. Addr: 0, Length: 0\r\n"
                     "\r\n\r\n\r\n"
                     "Slot0   Start Addr: 000001    End Addr: 000016\r\n"
                     "Slot1   Start Addr: 400001    End Addr: 400016\r\n"
                     "Slot2   Start Addr: 000017    End Addr: 000024\r\n"
                     "Slot3   Start Addr: 000000    End Addr: 000000\r\n"
                     "Slot4   Start Addr: 000000    End Addr: 000000\r\n"
                     "Slot5   Start Addr: 000000    End Addr: 000000\r\n"
                     "Slot6   Start Addr: 000000    End Addr: 000000\r\n"
                     "Slot7   Start Addr: 000000    End Addr: 000000\r\n");

    SetRow(p, 0, 0, "65", 4);
    SetRow(p, 1, 0, "3", 0);
    fx.ui().Clear();
    fx.Received(1);
    fx.ui().openNames.push_back(file);
    p->Bt_LoadClick();
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Load Config File succeeded!"});
    EXPECT_EQ(MapRow(p, 0), "0 0X 00001 16");
    EXPECT_EQ(MapRow(p, 1), "1 4X 00001 16");
    EXPECT_EQ(MapRow(p, 2), "0 0X 00017 8");
    EXPECT_TRUE(fx.Received(1).empty()); // nothing goes out before Apply

    struct Bad {
        QByteArray bytes;
        const char* why;
    };
    const Bad bad[] = {
        {"Slot: 0, Ref. Type: 0, S. Addr: 1, Length: 2\n", "Line 2: the file ends"},
        {saved.left(40) + "garbage\n" + saved.mid(46), "Line 1: expected"},
        {QByteArray(saved).replace("S. Addr: 17", "S. Addr: 70000"), "Line 3: the start address"},
        {QByteArray(saved).replace("Slot: 1,", "Slot: 2,"), "Line 2: expected the line of slot 1"},
        {QByteArray(saved).replace("Length: 5", "Length: 6"), "Line 2: the length must be 0 to 5"},
        {QByteArray(saved).replace("Type: 1", "Type: 2"), "Line 2: the reference type"},
        {QByteArray(3000000, 'x'), "far larger"},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.why);
        ASSERT_TRUE(test::WriteAll(file, b.bytes));
        SetRow(p, 0, 1, "7", 3);
        fx.ui().Clear();
        fx.ui().openNames.push_back(file);
        p->Bt_LoadClick();
        ASSERT_EQ(fx.ui().boxes.size(), 1u);
        EXPECT_TRUE(fx.ui().boxes[0].text.startsWith("Load Config File failed!"));
        EXPECT_TRUE(fx.ui().boxes[0].text.contains(b.why)) << fx.ui().boxes[0].text.toStdString();
        EXPECT_EQ(MapRow(p, 0), "1 4X 7 4"); // unchanged
    }
    fx.ui().Clear();
    fx.ui().openNames.push_back(dir.filePath("missing.cfg"));
    p->Bt_LoadClick();
    ASSERT_EQ(fx.ui().boxes.size(), 1u);
    EXPECT_EQ(fx.ui().boxes[0].title, "Message");
    EXPECT_EQ(fx.ui().boxes[0].text, "Error when opening file");
}

TEST(K100Panel, MapFileNameTypedWithoutSuffixGetsCfg) {
    PanelFixture fx("01 K100 firmware=A3.10 slots=K550\n");
    auto* p = fx.Open<TfrmMK100>("(01)K100");
    ASSERT_NE(p, nullptr);
    QTemporaryDir dir;
    fx.ui().saveNames.push_back(dir.filePath("rack map"));
    p->Bt_SaveClick();
    EXPECT_EQ(fx.ui().defaultSuffixes, std::vector<QString>{"cfg"});
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Save Config File succeeded!"});
    EXPECT_TRUE(test::ReadAll(dir.filePath("rack map.cfg")).startsWith("Slot: 0, Ref. Type: 0"));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("rack map")));
}

TEST(K100Panel, FourSlotControllerStillSavesEightSlotLines) {
    PanelFixture fx("01 K100 firmware=A3.10 slots=K710\n");
    auto* p = fx.Open<TfrmMK100>("(01)K100");
    ASSERT_NE(p, nullptr);
    p->PageControl1->setCurrentIndex(TfrmMK100::kModbusPage);
    QTemporaryDir dir;
    fx.ui().saveNames.push_back(dir.filePath("K100_Modbus.cfg"));
    p->Bt_SaveClick();
    const QByteArray saved = test::ReadAll(dir.filePath("K100_Modbus.cfg"));
    EXPECT_EQ(saved.count("Slot: "), 8);
    EXPECT_TRUE(saved.contains("Slot0   Start Addr: 400001    End Addr: 400016\r\n"));
}

// Replies no sound controller gives: the panel says so, writes nothing and stays usable.
TEST(K100Panel, MalformedRepliesAreRefused) {
    test::ScriptedPeer peer;
    for (const char* reply : {"!010600\r", "!01A3.10\r", "!01K100\r", "!0100C\r",
                              "!0152%%53\r", // a slot table with codes that are none
                              "!010\r", "!0100\r",
                              // map: user-defined; a short entry
                              "!0101\r", "!010001\r",
                              // map again: an entry that is not hexadecimal
                              "!0101\r", "!01000G5\r",
                              // map mode that is not hexadecimal
                              "!01ZZ\r"})
        peer.Then(reply);
    test::ScopedTestUi ui;
    TfrmMain window(QStringList{QString::fromStdString(peer.path())});
    FoundNode node;
    node.text = "(01)K100";
    QTreeWidgetItem* item =
        window.Tree()->AddFound(window.Tree()->FindPort(QString::fromStdString(peer.path())), node);
    window.ClickNode(item);
    auto* p = qobject_cast<TfrmMK100*>(window.CurrentPanel());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->ListView5KModule->topLevelItemCount(), 0);
    EXPECT_EQ(window.StatusBar()->StatusMessage().left(25), "Fail to fresh the slot li");
    EXPECT_EQ(p->edtTimeout->text(), "0");
    p->PageControl1->setCurrentIndex(TfrmMK100::kModbusPage);
    EXPECT_EQ(ui.ui().Texts(), QStringList{"Read Modbus setting fail!"});
    const QString before = QString::fromStdString(MapRow(p, 0));
    p->Bt_RefreshClick();
    EXPECT_EQ(ui.ui().Texts(),
              (QStringList{"Read Modbus setting fail!", "Read Modbus setting fail!"}));
    EXPECT_EQ(QString::fromStdString(MapRow(p, 0)), before);
    p->Bt_RefreshClick();
    EXPECT_EQ(ui.ui().boxes.size(), 3u);
    const auto requests = peer.Requests();
    ASSERT_EQ(requests.size(), 12u);
    EXPECT_EQ(test::Hex(requests[8]), test::Hex(test::ToBytes("$01PN00FF\r")));
}

// ---- firmware update ----

class K100FirmwareTest : public ::testing::Test {
protected:
    K100FirmwareTest() : fx("05 K100 init firmware=B1.00 slots=K520,-,K710\n") {
        oldData_ = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.path()));
        std::filesystem::create_directories(dir.File("tavo-utility/loader"));
        // The loader image and the firmware are made up here; they only go to the
        // simulated controller.
        test::WriteFile(dir.File("tavo-utility/loader/DnW900h.img"),
                        test::Pattern(31 * 128 + 5, 9));
        test::WriteFile(dir.File("rack.img"), firmware);
    }
    ~K100FirmwareTest() override { qputenv("XDG_DATA_HOME", oldData_); }

    static sim::RackDownload& Loader(sim::SimModule& m) {
        auto* loader = m.Find<sim::RackDownload>();
        if (!loader) throw std::logic_error("the simulated K100 has no download mode");
        return *loader;
    }

    test::TempDir dir;
    PanelFixture fx;
    const std::vector<std::uint8_t> firmware = test::Pattern(1024 * 128, 4);

private:
    QByteArray oldData_;
};

TEST_F(K100FirmwareTest, UpdateFromThePanelRestoresThePortAndRefreshes) {
    auto* p = fx.Open<TfrmMK100>("(*)K100");
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(p->ButtonDownload->isEnabled());
    // The controller refuses one block of the firmware once: the loader sends it again.
    fx.WithModule(5,
                  [](sim::SimModule& m) { Loader(m).InjectFault(40, sim::PacketFault::Nak); });
    fx.Received(5);
    // The file's name typed without its suffix: the dialog adds ".img".
    fx.ui().openNames.push_back(QString::fromStdString(dir.File("rack")));
    p->ButtonDownloadClick();
    EXPECT_EQ(fx.ui().defaultNames, std::vector<QString>{"*.img"});
    EXPECT_EQ(fx.ui().defaultSuffixes, std::vector<QString>{"img"});
    EXPECT_EQ(fx.ui().dialogsRun, std::vector<QString>{"TfrmMDownload"});
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Download firmware done!"});
    EXPECT_EQ(fx.window().Port()->GetTimeOut(), 80);
    EXPECT_EQ(fx.window().Port()->GetLineSettings().baud, 9600u);
    fx.WithModule(5, [this](sim::SimModule& m) {
        EXPECT_EQ(Loader(m).Firmware(), firmware);
        EXPECT_EQ(Loader(m).FirmwareUpdates(), 1);
    });
    // Afterwards the tree and the panel read the controller again.
    ASSERT_EQ(fx.node()->childCount(), 2);
    EXPECT_EQ(fx.node()->child(0)->text(0), "(S0)K520");
    EXPECT_EQ(fx.node()->child(1)->text(0), "(S2)K710");
    const Strings after = fx.Received(5);
    ASSERT_GE(after.size(), 9u);
    EXPECT_EQ(
        (Strings(after.end() - 9, after.end())),
        (Strings{"&00E", "$00T", "$002", "$00F", "$00M", "$00OU", "$00T", "$00XR", "$00XER"}));
}

TEST_F(K100FirmwareTest, ARefusedLoaderImageEndsWithItsMessageAndThePortRestored) {
    auto* p = fx.Open<TfrmMK100>("(*)K100");
    ASSERT_NE(p, nullptr);
    // Block 3 of the loader image is refused on every one of its ten attempts.
    fx.WithModule(5, [](sim::SimModule& m) {
        for (std::size_t i = 3; i < 13; ++i)
            Loader(m).InjectFault(i, sim::PacketFault::Nak);
    });
    fx.ui().openNames.push_back(QString::fromStdString(dir.File("rack.img")));
    p->ButtonDownloadClick();
    ASSERT_EQ(fx.ui().boxes.size(), 1u);
    EXPECT_TRUE(fx.ui().boxes[0].text.startsWith("Send mini-program failed!"))
        << fx.ui().boxes[0].text.toStdString();
    EXPECT_EQ(fx.window().Port()->GetTimeOut(), 80);
    EXPECT_EQ(fx.window().Port()->GetLineSettings().baud, 9600u);
    // The controller stays in its download mode (where it answers at 00), and a
    // cancelled file dialog sends it nothing.
    fx.ui().Clear();
    fx.Received(0);
    p->ButtonDownloadClick();
    EXPECT_TRUE(fx.ui().boxes.empty());
    EXPECT_TRUE(fx.Received(0).empty());
}

} // namespace
} // namespace tavo
