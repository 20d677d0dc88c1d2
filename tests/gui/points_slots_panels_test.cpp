// The points of rack slots and Z-series slot modules heard from their panels: a
// watcher on the port, put there before the panel opens, learns from the panel's
// own start and poll the same readings ReadAll gets from the module, and the panel
// sends nothing more for it.
#include "panel_fixture.h"

#include "panels/converter/z_series_panels.h"
#include "panels/system/k100m_panel.h"
#include "panels/system/k310_panel.h"
#include "panels/system/k710_panels.h"
#include "panels/system/k_analog_slot.h"
#include "panels/system/k_digital_panels.h"
#include "points/families.h"
#include "points/module_points.h"
#include "transport/com_port.h"
#include "transport/modbus.h"

#include <QTabWidget>

#include <functional>
#include <memory>

namespace tavo {
namespace {

using test::PanelFixture;
using Strings = std::vector<std::string>;

// One sub-family: the rack, the slot's node and the panel's poll.
struct Case {
    const char* bus;
    unsigned address;
    const char* rackNode;
    LinkKind link;
    const char* slotNode; // null: the rack's own panel shows the slot
    const char* model;
    int slot;
    PointProtocol protocol;
    // Runs the opened panel's poll (every page or tick its points are read in).
    std::function<void(QWidget*)> poll;
    // Lines the module takes before anything else (to hold moving values still).
    Strings prepare = {};
};

void ExpectSameReadings(const ModulePoints& heard, const ModulePoints& read) {
    ASSERT_EQ(heard.Points().size(), read.Points().size());
    for (std::size_t i = 0; i < heard.Points().size(); ++i) {
        const std::string& name = heard.Points()[i].name;
        const PointReading& a = heard.Readings()[i];
        const PointReading& b = read.Readings()[i];
        EXPECT_EQ(a.quality, b.quality) << name;
        if (a.quality == PointQuality::Good && b.quality == PointQuality::Good) {
            EXPECT_DOUBLE_EQ(a.value, b.value) << name;
        }
        EXPECT_EQ(heard.Points()[i].unit, read.Points()[i].unit) << name;
    }
}

void HearAndRead(const Case& c) {
    SCOPED_TRACE(c.model);
    TavoModbusCOM::SetDefaultTurnaroundDelay(0);
    PanelFixture fx(c.bus);
    fx.WithModule(c.address, [&](sim::SimModule& m) {
        for (const auto& line : c.prepare)
            ASSERT_TRUE(m.OnAsciiLine(line, m.Now()).value_or("?").front() == '!') << line;
    });
    // The port node opens the port; the watcher goes on before any panel talks.
    fx.window().ClickNode(fx.window().Tree()->FindPort(fx.portName()));
    TavoComPort* port = fx.window().Port();
    ASSERT_NE(port, nullptr);
    std::string error;
    auto heard = MakeModulePoints(c.model, {static_cast<int>(c.address), c.slot, c.protocol}, error);
    ASSERT_NE(heard, nullptr) << error;
    QWidget* panel = nullptr;
    {
        PointTap tap(*port, *heard);
        panel = fx.Open(c.rackNode, c.link);
        if (c.slotNode) panel = fx.OpenChild({c.slotNode});
        ASSERT_NE(panel, nullptr);
        ASSERT_EQ(fx.window().Port(), port);
        fx.Received(c.address);
        const unsigned long before = heard->Serial();
        c.poll(panel);
        // Every command of the poll was heard, and the watcher sent none of its own.
        EXPECT_EQ(heard->Serial() - before, fx.Received(c.address).size());
    }
    for (const auto& r : heard->Readings())
        EXPECT_NE(r.serial, 0u) << "a point the panel's start and poll did not reach";

    auto read = MakeModulePoints(c.model, {static_cast<int>(c.address), c.slot, c.protocol}, error);
    ASSERT_NE(read, nullptr) << error;
    ASSERT_TRUE(read->ReadAll(*port));
    ExpectSameReadings(*heard, *read);
    TavoModbusCOM::SetDefaultTurnaroundDelay(TavoModbusCOM::kDefaultTurnaroundMs);
}

TEST(SlotPointsFromPanels, DigitalSlot) {
    HearAndRead({"01 K100E firmware=A3.10 slots=K220,K510 in1=A500\n", 1, "(01)K100E", LinkKind::AsciiPlain,
         "(S1)K510", "K510", 1, PointProtocol::Ascii,
         [](QWidget* p) { static_cast<TfrmMK510*>(p)->tmrUpdateDIDataTimer(); }});
}

TEST(SlotPointsFromPanels, CounterSlot) {
    // Counting stopped, so that the panel and ReadAll see the same counts; the
    // channels of the other mode read disabled in both.
    HearAndRead({"02 K100 firmware=A3.10 slots=K710\n", 2, "(02)K100", LinkKind::AsciiPlain, "(S0)K710",
         "K710", 0, PointProtocol::Ascii,
         [](QWidget* p) { static_cast<TfrmMK710*>(p)->tmrUpdateDataTimer(); },
         {"$02S0C050", "$02S0C150", "$02S0C250", "$02S0C350"}});
}

TEST(SlotPointsFromPanels, AnalogInputSlot) {
    HearAndRead({"01 K100 firmware=A3.10 slots=K210,K230 in1=open=04\n", 1, "(01)K100",
         LinkKind::AsciiPlain, "(S1)K230", "K230", 1, PointProtocol::Ascii, [](QWidget* p) {
             auto* panel = static_cast<TfrmMK230*>(p);
             panel->tmrUpdateAIDataTimer(); // readings
             panel->tmrUpdateAIDataTimer(); // alarm lamps
         }});
}

TEST(SlotPointsFromPanels, AnalogOutputSlot) {
    HearAndRead({"01 K100 firmware=A3.10 slots=K310\n", 1, "(01)K100", LinkKind::AsciiPlain, "(S0)K310",
         "K310", 0, PointProtocol::Ascii,
         [](QWidget* p) { static_cast<TfrmMK310*>(p)->tmrUpdateAODataTimer(); }});
}

TEST(SlotPointsFromPanels, ModbusRackSlot) {
    HearAndRead({"07 K100EM firmware=A3.10 slots=K220,K540\n", 7, "(07)K100EM", LinkKind::ModbusRtu, nullptr,
         "K540", 1, PointProtocol::Modbus, [](QWidget* p) {
             auto* panel = static_cast<TfrmMK100M*>(p);
             panel->PageControl1->setCurrentIndex(2); // slot 1's page polls it
             panel->tmrUpdateDataTimer();
         }});
}

TEST(SlotPointsFromPanels, ZSeriesIoModule) {
    HearAndRead({"01 Z352 slots=Z310,Z320 in1=7.5\n", 1, "(01)Z352", LinkKind::AsciiPlain, "(S1)Z320", "Z320",
         1, PointProtocol::Ascii, [](QWidget* p) {
             auto* panel = static_cast<TfrmMZ320*>(p);
             // The page in front is the one polled: all three, and the outputs'
             // values as the panel reads them after a range change.
             for (QWidget* page : {panel->TSAnalogInput, panel->TSAnalogOutput, panel->TSDigital}) {
                 panel->PageControl1->setCurrentWidget(page);
                 panel->tmrUpdateDataTimer();
             }
         }});
}

} // namespace
} // namespace tavo
