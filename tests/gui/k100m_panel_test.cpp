// The K100 Modbus panel against the simulated Modbus racks: the identification and
// name reads, the poll of the page shown, slot data following the slot inputs,
// outputs, analog output values and counter controls, byte for byte.
#include "panel_fixture.h"

#include "panels/common/form_controls.h"
#include "panels/common/modbus_point_views.h"
#include "panels/system/k100m_panel.h"
#include "sim/rack_access.h"
#include "support/pty_peer.h"
#include "transport/modbus.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

namespace tavo {
namespace {

using test::PanelFixture;
using Strings = std::vector<std::string>;

const char* const kRack = "07 K100EM firmware=A3.10 slots=K220,K550,K310,K710,K520,K620\n";

void SetInputs(PanelFixture& fx, unsigned address, int slot, const char* text) {
    fx.WithModule(address, [&](sim::SimModule& m) {
        auto* rack = m.Find<sim::RackAccess>();
        std::string why;
        ASSERT_NE(rack, nullptr);
        ASSERT_TRUE(rack->SetSlotInputs(slot, text, sim::TimePoint{}, why)) << why;
    });
}

// Shows slot `slot`'s page (which polls it once) and forgets what was sent so far.
void ShowSlot(PanelFixture& fx, TfrmMK100M* p, int slot, unsigned address = 7) {
    p->PageControl1->setCurrentIndex(slot + 1);
    fx.Received(address);
}

TEST(K100MPanel, OpeningReadsIdentificationAndNamesAndFillsTheMainPage) {
    PanelFixture fx(kRack);
    auto* p = fx.Open<TfrmMK100M>("(07)K100EM", LinkKind::ModbusRtu);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(fx.Received(7), (Strings{"070327100026", "070327D80040"}));
    EXPECT_TRUE(fx.ui().boxes.empty());
    EXPECT_EQ(p->grpModule->title(), "Tavo-K100EM");
    EXPECT_EQ(p->Edt_Firmware->text(), "A3.10");
    const char* const expected[][3] = {
        {"K220", "400001", "400008"}, {"K550", "000001", "000016"}, {"K310", "400009", "400012"},
        {"K710", "400013", "400028"}, {"K520", "000017", "000032"}, {"K620", "000033", "000040"},
        {"", "000000", "000000"},     {"", "000000", "000000"},
    };
    for (int n = 0; n < 8; ++n) {
        const auto i = static_cast<std::size_t>(n);
        EXPECT_EQ(p->Edt_MainModule[i]->text(), expected[i][0]) << n;
        EXPECT_EQ(p->Edt_MainStart[i]->text(), expected[i][1]) << n;
        EXPECT_EQ(p->Edt_MainEnd[i]->text(), expected[i][2]) << n;
        EXPECT_TRUE(p->PageControl1->isTabVisible(n + 1));
    }
    EXPECT_TRUE(p->tmrUpdateData->isActive());
    EXPECT_EQ(p->tmrUpdateData->interval(), 500);
    p->tmrUpdateDataTimer(); // the "Main" page polls nothing
    EXPECT_TRUE(fx.Received(7).empty());

    PanelFixture four("09 K100M firmware=A2.05 slots=K520\n");
    auto* q = four.Open<TfrmMK100M>("(09)K100M", LinkKind::ModbusRtu);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->grpModule->title(), "Tavo-K100M");
    EXPECT_EQ(q->Edt_Firmware->text(), "A2.05");
    for (int n = 0; n < 8; ++n)
        EXPECT_EQ(q->PageControl1->isTabVisible(n + 1), n < 4) << n;
}

TEST(K100MPanel, AnIdentificationOfNeitherRackHidesEverySlot) {
    // A reply no K100 gives: the right frame, another identification value.
    std::vector<std::uint8_t> frame = {0x07, 0x03, 76, 0x12, 0x34};
    frame.resize(3 + 76, 0);
    const auto crc = TavoModbusCOM::CalcCRC(frame.data(), frame.size());
    frame.insert(frame.end(), crc.begin(), crc.end());
    test::ScriptedPeer peer;
    peer.ThenBytes(frame);
    test::ScopedTestUi ui;
    TfrmMain window(QStringList{QString::fromStdString(peer.path())});
    FoundNode node;
    node.text = "(07)K100EM";
    node.link = LinkKind::ModbusRtu;
    window.ClickNode(window.Tree()->AddFound(
        window.Tree()->FindPort(QString::fromStdString(peer.path())), node));
    auto* p = qobject_cast<TfrmMK100M*>(window.CurrentPanel());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(ui.ui().Texts(), QStringList{"Initialize Error!"});
    EXPECT_FALSE(p->Initialized());
    for (int n = 1; n <= 8; ++n)
        EXPECT_FALSE(p->PageControl1->isTabVisible(n));
    EXPECT_TRUE(p->GP_SlotInfo->isHidden());
    EXPECT_EQ(peer.Requests().size(), 1u); // the names are not asked for

    // A rack that does not answer at all says the same.
    PanelFixture fx("01 R550 protocol=modbus\n");
    auto* q = fx.Open<TfrmMK100M>("(05)K100M", LinkKind::ModbusRtu);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Initialize Error!"});
    EXPECT_TRUE(q->GP_SlotInfo->isHidden());
}

TEST(K100MPanel, DigitalSlotsShowTheirPointsAsTheInputsMove) {
    PanelFixture fx(kRack);
    auto* p = fx.Open<TfrmMK100M>("(07)K100EM", LinkKind::ModbusRtu);
    ASSERT_NE(p, nullptr);
    fx.Received(7);
    SetInputs(fx, 7, 4, "00FF");
    p->PageControl1->setCurrentIndex(5); // the K520 on coils 17-32
    EXPECT_EQ(fx.Received(7), Strings{"070100100010"});
    EXPECT_EQ(p->Edt_SlotNum->text(), "4");
    EXPECT_EQ(p->Edt_Module->text(), "K520");
    EXPECT_EQ(p->Edt_StartAddr->text(), "000017");
    EXPECT_EQ(p->Edt_EndAddr->text(), "000032");
    EXPECT_FALSE(p->GP_DIO->isHidden());
    EXPECT_TRUE(p->GP_AIO->isHidden());
    EXPECT_EQ(p->GP_DIO->States(), 0x00FFu);
    EXPECT_TRUE(LampOn(p->GP_DIO->Button(7)));
    SetInputs(fx, 7, 4, "8001");
    p->tmrUpdateDataTimer();
    EXPECT_EQ(p->GP_DIO->States(), 0x8001u);
    EXPECT_EQ(fx.StatusText(), "Polling slot data...");
    // Inputs take no clicks.
    p->bitbtnDIO0Click(0);
    EXPECT_EQ(fx.Received(7), Strings{"070100100010"});

    // Address view numbers the points by their references.
    p->Bt_ChangeViewClick();
    EXPECT_EQ(p->Bt_ChangeView->text(), "Addr");
    EXPECT_EQ(p->GP_DIO->Button(0)->text(), "100017");
    EXPECT_EQ(p->GP_DIO->Button(15)->text(), "100032");
    p->Bt_ChangeViewClick();
    EXPECT_EQ(p->GP_DIO->Button(15)->text(), "Ch 15");

    // An output module: a click switches the point and reads the slot again.
    ShowSlot(fx, p, 1); // the K550 on coils 1-16
    p->bitbtnDIO0Click(3);
    EXPECT_EQ(fx.Received(7), (Strings{"07050003FF00", "070100000010"}));
    EXPECT_EQ(p->GP_DIO->States(), 0x0008u);
    p->bitbtnDIO0Click(3);
    EXPECT_EQ(fx.Received(7), (Strings{"070500030000", "070100000010"}));
    EXPECT_EQ(p->GP_DIO->States(), 0u);
    // The relay module shows its eight coils only.
    ShowSlot(fx, p, 5);
    EXPECT_EQ(p->GP_DIO->Shown(), 8);

    // A refused write says so.
    ShowSlot(fx, p, 1);
    fx.WithModule(7, [](sim::SimModule& m) { m.faults().noReply.count = 1; });
    fx.ui().Clear();
    p->bitbtnDIO0Click(0);
    EXPECT_EQ(fx.ui().Texts(), QStringList{"Set failed!"});
}

TEST(K100MPanel, AnalogSlotsShowValuesInBothFormatsAndTakeOutputValues) {
    PanelFixture fx(kRack);
    auto* p = fx.Open<TfrmMK100M>("(07)K100EM", LinkKind::ModbusRtu);
    ASSERT_NE(p, nullptr);
    fx.Received(7);
    SetInputs(fx, 7, 0, "5"); // 5 V of the K220's 0-10 V
    p->PageControl1->setCurrentIndex(1);
    EXPECT_EQ(fx.Received(7), Strings{"070300000008"});
    EXPECT_TRUE(p->GP_DIO->isHidden());
    EXPECT_EQ(p->GP_AIO->Shown(), 8);
    EXPECT_EQ(p->GP_AIO->Edit(0)->text(), "+50.00 %");
    EXPECT_EQ(p->GP_AIO->Edit(7)->text(), "+50.00 %");
    SetInputs(fx, 7, 0, "2.5");
    p->tmrUpdateDataTimer();
    EXPECT_EQ(p->GP_AIO->Edit(3)->text(), "+25.00 %");
    p->Bt_DataFormatClick();
    EXPECT_EQ(p->Bt_DataFormat->text(), "Hex");
    EXPECT_EQ(p->GP_AIO->Edit(3)->text(), "2000");
    EXPECT_TRUE(p->GP_AIO->Edit(0)->isReadOnly()); // inputs take no values
    p->Bt_AIChViewClick();
    EXPECT_EQ(p->GP_AIO->Label(0)->text(), "400001");
    EXPECT_EQ(p->GP_AIO->Label(7)->text(), "400008");
    p->Bt_AIChViewClick();
    p->Bt_DataFormatClick();

    ShowSlot(fx, p, 2); // the K310 on 40009-40012
    EXPECT_EQ(p->GP_AIO->Shown(), 4);
    EXPECT_EQ(p->GP_AIO->Edit(0)->text(), "4.000");
    EXPECT_FALSE(p->GP_AIO->Edit(0)->isReadOnly());
    p->AIOValueEntered(0, "12.5");
    EXPECT_EQ(fx.Received(7), (Strings{"0706000830D4", "070300080004"}));
    EXPECT_EQ(p->GP_AIO->Edit(0)->text(), "12.500");
    p->Bt_DataFormatClick();
    p->AIOValueEntered(1, "1f40");
    EXPECT_EQ(fx.Received(7), (Strings{"070600091F40", "070300080004"}));
    EXPECT_EQ(p->GP_AIO->Edit(1)->text(), "1F40");
    p->Bt_DataFormatClick();

    struct Bad {
        const char* text;
        bool sent;
    };
    for (const Bad b : {Bad{"70", false}, Bad{"-1", false}, Bad{"1e3", false}, Bad{"2", true}}) {
        SCOPED_TRACE(b.text);
        fx.ui().Clear();
        p->AIOValueEntered(0, b.text);
        ASSERT_EQ(fx.ui().boxes.size(), 1u);
        EXPECT_TRUE(fx.ui().boxes[0].text.startsWith("Set value failed!"));
        // 2 mA lies outside the channel's 4-20 mA: the module refuses it.
        EXPECT_EQ(fx.Received(7), b.sent ? Strings{"0706000807D0"} : Strings{});
    }
}

TEST(K100MPanel, CounterControlsGoToRegistersOrCoilsByTheCounterFlag) {
    PanelFixture fx(kRack);
    auto* p = fx.Open<TfrmMK100M>("(07)K100EM", LinkKind::ModbusRtu);
    ASSERT_NE(p, nullptr);
    fx.Received(7);
    p->PageControl1->setCurrentIndex(4); // the K710 on 40013-40028
    EXPECT_EQ(fx.Received(7), Strings{"0703000C0010"});
    EXPECT_FALSE(p->GP_Set->isHidden());
    EXPECT_EQ(p->GP_AIO->Shown(), 4);
    EXPECT_TRUE(LampOn(p->LB_CntStatus[0]));
    EXPECT_EQ(p->Bt_AIOSet[0]->text(), "&Stop");
    p->Bt_AIChViewClick();
    EXPECT_EQ(p->GP_AIO->Label(1)->text(), "400015");
    p->Bt_AIOSet0Click(0);
    EXPECT_EQ(fx.Received(7), (Strings{"070600180000", "0703000C0010"}));
    EXPECT_EQ(p->Bt_AIOSet[0]->text(), "&Start");
    EXPECT_FALSE(LampOn(p->LB_CntStatus[0]));
    p->Bt_AIOSet0Click(0);
    EXPECT_EQ(fx.Received(7), (Strings{"070600180001", "0703000C0010"}));
    p->Bt_AIOClear0Click(1);
    EXPECT_EQ(fx.Received(7), (Strings{"070600190002", "0703000C0010"}));
    p->bitbtnOF0Click(2);
    EXPECT_EQ(fx.Received(7), (Strings{"0706001A0003", "0703000C0010"}));

    PanelFixture coils("08 K100M firmware=A3.10 counterstatus=coils slots=-,K710\n");
    auto* q = coils.Open<TfrmMK100M>("(08)K100M", LinkKind::ModbusRtu);
    ASSERT_NE(q, nullptr);
    coils.Received(8);
    q->PageControl1->setCurrentIndex(2); // slot 1: its status coils from 17
    EXPECT_EQ(coils.Received(8), (Strings{"080300000010", "080100100010"}));
    EXPECT_TRUE(LampOn(q->LB_CntStatus[3]));
    q->Bt_AIOSet0Click(0);
    EXPECT_EQ(coils.Received(8), (Strings{"080500100000", "080300000010", "080100100010"}));
    EXPECT_FALSE(LampOn(q->LB_CntStatus[0]));
    EXPECT_TRUE(LampOn(q->LB_CntStatus[1]));
    q->Bt_AIOClear0Click(1);
    EXPECT_EQ(coils.Received(8), (Strings{"08050015FF00", "080300000010", "080100100010"}));
    q->bitbtnOF0Click(2);
    EXPECT_EQ(coils.Received(8), (Strings{"0805001A0000", "080300000010", "080100100010"}));
}

} // namespace
} // namespace tavo
