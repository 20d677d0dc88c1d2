// The digital, universal and counter panels recorded through their own polls: a
// PointTap on the panel's port gives the module points the readings ReadAll gives
// on the same module, and the poll sends what it always sent, not one request more.
#include "digital_checks.h"
#include "panel_fixture.h"

#include "panels/digital/counter_panels.h"
#include "panels/digital/dio_channel_setting.h"
#include "panels/digital/universal_panels.h"
#include "points/module_points.h"
#include "sim/digital_modules.h"
#include "support/point_values.h"
#include "transport/modbus.h"

#include <QLineEdit>

namespace tavo {
namespace {

using test::Lamps;
using test::PanelFixture;
using test::PointValues;
using Strings = std::vector<std::string>;

std::unique_ptr<ModulePoints> Points(const std::string& model, int address,
                                     PointProtocol protocol = PointProtocol::Ascii) {
    std::string error;
    auto points = MakeModulePoints(model, {address, -1, protocol}, error);
    EXPECT_TRUE(points) << error;
    return points;
}

// The module read now with ReadAll.
std::unique_ptr<ModulePoints> ReadAllPoints(PanelFixture& fx, const std::string& model, int address,
                                            PointProtocol protocol = PointProtocol::Ascii) {
    auto points = Points(model, address, protocol);
    EXPECT_TRUE(points->ReadAll(*fx.window().Port()));
    fx.Received(static_cast<unsigned>(address));
    return points;
}

std::string ReadAllValues(PanelFixture& fx, const std::string& model, int address,
                          PointProtocol protocol = PointProtocol::Ascii) {
    return PointValues(*ReadAllPoints(fx, model, address, protocol));
}

TEST(DigitalPointsPanels, TheDigitalPanelsPollsGiveTheReadingsOfReadAll) {
    PanelFixture fx("0A R550 inputs=A5 outputs=5A\n0B R530 inputs=A5\n");
    auto* p = fx.Open<TfrmMR550>("(0A)R550");
    ASSERT_NE(p, nullptr);
    auto watched = Points("R550", 0x0A);
    fx.Received(0x0A);
    {
        PointTap tap(*fx.window().Port(), *watched);
        p->tmrUpdateDIDataTimer();
    }
    EXPECT_EQ(fx.Received(0x0A), Strings{"$0A6"});
    EXPECT_EQ(Lamps(p->bitbtnDI), 0xA5u);
    EXPECT_EQ(PointValues(*watched), ReadAllValues(fx, "R550", 0x0A));
    EXPECT_EQ(PointValues(*watched, "di"), "di0=1 di1=0 di2=1 di3=0 di4=0 di5=1 di6=0 di7=1");

    // The R530's inputs are the first two of four digits: a garbled reply after them
    // is no state, in the panel as in the points.
    auto* r530 = fx.Open<TfrmMR530>("(0B)R530");
    r530->tmrUpdateDIDataTimer();
    EXPECT_EQ(Lamps(r530->bitbtnDI), 0xA5u);
    auto inputs = Points("R530", 0x0B);
    fx.WithModule(0x0B, [](sim::SimModule& m) {
        m.Find<sim::DigitalIo>()->SetInputs(0x5A);
        m.faults().garbage.count = 1;
        return 0;
    });
    {
        PointTap tap(*fx.window().Port(), *inputs);
        r530->tmrUpdateDIDataTimer();
    }
    EXPECT_EQ(fx.StatusText(), "Fail to fresh DIO data!");
    EXPECT_EQ(Lamps(r530->bitbtnDI), 0xA5u);
    EXPECT_EQ(PointValues(*inputs, "di0"), "di0=failed");
}

TEST(DigitalPointsPanels, TheModbusPanelsPollsInTurnsGiveTheReadingsOfReadAll) {
    TavoModbusCOM::SetDefaultTurnaroundDelay(0);
    PanelFixture fx("0C R550 protocol=modbus inputs=0F outputs=81\n");
    auto* p = fx.Open<TfrmMR550>("(0C)R550", LinkKind::ModbusRtu);
    ASSERT_NE(p, nullptr);
    auto watched = Points("R550", 0x0C, PointProtocol::Modbus);
    fx.Received(0x0C);
    {
        PointTap tap(*fx.window().Port(), *watched);
        p->tmrUpdateDIDataTimer(); // outputs
        p->tmrUpdateDIDataTimer(); // inputs
    }
    EXPECT_EQ(fx.Received(0x0C), (Strings{"0C0100100008", "0C0100000008"}));
    EXPECT_EQ(Lamps(p->bitbtnDO), 0x81u);
    EXPECT_EQ(PointValues(*watched), ReadAllValues(fx, "R550", 0x0C, PointProtocol::Modbus));
    EXPECT_EQ(PointValues(*watched, "do7"), "do7=1");
    TavoModbusCOM::SetDefaultTurnaroundDelay(TavoModbusCOM::kDefaultTurnaroundMs);
}

TEST(DigitalPointsPanels, TheUniversalPanelAndItsChannelDialogGiveTheReadingsOfReadAll) {
    PanelFixture fx("03 R850 inputs=01 outputs=40\n");
    auto* p = fx.Open<TfrmMR850>("(03)R850");
    ASSERT_NE(p, nullptr);
    // DI2 counts: three rising edges.
    std::string line = "$03CIC201\r", reply;
    ASSERT_TRUE(fx.window().Port()->SendCommand(line, 64, &reply));
    fx.WithModule(3, [](sim::SimModule& m) {
        for (const unsigned mask : {0x05u, 0x01u, 0x05u, 0x01u, 0x05u})
            m.Find<sim::UniversalDio>()->SetInputs(mask);
        return 0;
    });
    fx.Received(3);

    auto watched = Points("R850", 3);
    PointTap tap(*fx.window().Port(), *watched);
    p->tmrUpdateDIDataTimer();
    EXPECT_EQ(fx.Received(3), Strings{"$036"});
    // The panel's poll reads the state; the count comes with the channel dialog,
    // which reads the channel's mode and then its value.
    auto* d = fx.OpenChild<TfrmMDIOChannelSetting>({"(DI2)"});
    ASSERT_NE(d, nullptr);
    d->tmrRefreshDITimer();
    EXPECT_EQ(d->edtCounterValue->text(), "3");
    EXPECT_EQ(fx.Received(3), (Strings{"$03CIC2", "#032", "$0352"}));
    EXPECT_EQ(PointValues(*watched, "di"), "di0=1 di1=0 di2=1 di3=0 di4=0 di5=0 di6=0");
    EXPECT_EQ(PointValues(*watched, "do"), "do0=0 do1=0 do2=0 do3=0 do4=0 do5=0 do6=1 do7=0");
    EXPECT_EQ(PointValues(*watched, "cnt2") + " " + PointValues(*watched, "freq2"),
              "cnt2=3 freq2=disabled");
    // Only DI2's mode was read: the values of the others stay unknown.
    EXPECT_EQ(PointValues(*watched, "cnt1"), "cnt1=failed");
    const auto direct = ReadAllPoints(fx, "R850", 3);
    for (const char* name : {"di", "do", "cnt2", "freq2"})
        EXPECT_EQ(PointValues(*watched, name), PointValues(*direct, name)) << name;
}

TEST(DigitalPointsPanels, TheCounterPanelsPollGivesTheReadingsOfReadAll) {
    PanelFixture fx("0A R710 freq0=1000\n0B R710 type=51 freq1=250\n");
    fx.Open("(0A)R710");
    // The panel reads the mode when it starts: the tap is on the port before.
    auto watched = Points("R710", 0x0A);
    PointTap tap(*fx.window().Port(), *watched);
    std::string reply;
    for (const char* command : {"$0A500", "@0ADO01"}) { // a stopped count, DO0 on
        std::string line = std::string(command) + "\r";
        ASSERT_TRUE(fx.window().Port()->SendCommand(line, 64, &reply)) << command;
    }
    auto* p = fx.Open<TfrmMR710>("(0A)R710");
    ASSERT_NE(p, nullptr);
    fx.Received(0x0A);
    p->tmrUpdateCounterDataTimer();
    EXPECT_EQ(fx.Received(0x0A),
              (Strings{"#0A0", "$0A70", "$0A50", "#0A1", "$0A71", "$0A51", "@0ADI"}));
    EXPECT_EQ(PointValues(*watched), ReadAllValues(fx, "R710", 0x0A));
    EXPECT_EQ(PointValues(*watched, "cnt0"), "cnt0=" + p->edtCntVal[0]->text().toStdString());
    EXPECT_EQ(PointValues(*watched, "do"), "do0=1 do1=0");

    auto measuring = Points("R710", 0x0B);
    PointTap second(*fx.window().Port(), *measuring);
    auto* f = fx.Open<TfrmMR710>("(0B)R710");
    f->tmrUpdateCounterDataTimer();
    EXPECT_EQ(PointValues(*measuring), "cnt0=disabled cnt1=disabled freq0=0 freq1=250 "
                                       "do0=disabled do1=disabled");
    EXPECT_EQ(PointValues(*measuring), ReadAllValues(fx, "R710", 0x0B));
}

} // namespace
} // namespace tavo
