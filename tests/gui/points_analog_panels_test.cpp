// An analog input panel's own poll, heard through a PointTap on the port, gives the
// module points the same readings as ReadAll on the same module, and the tap adds
// no transaction: one panel of each kind (single-channel, strain gauge, multi-channel,
// data logger, Modbus).
#include "panel_fixture.h"

#include "panels/analog/data_logger_panel.h"
#include "panels/analog/modbus_analog_panels.h"
#include "panels/analog/single_input_panels.h"
#include "points/module_points.h"
#include "points/point_text.h"
#include "support/sim_bus.h"

#include <QLineEdit>
#include <gtest/gtest.h>

#include <functional>

namespace tavo {
namespace {

using test::PanelFixture;

struct Case {
    const char* bus;
    const char* node;
    const char* model;
    int address;
    LinkKind link;
    int polls; // ticks that read every value once
    std::function<void(QWidget*)> poll;
    // A channel value edit and what the panel shows there for a point's reading.
    const char* edit = nullptr;
    const char* point = nullptr;
    // The one point that is no number (an open sensor); every other one reads good.
    const char* burnOut = nullptr;
};

void Tick(QWidget* panel) {
    if (auto* p = qobject_cast<TfrmMR210D*>(panel)) return p->tmrUpdateAIDataTimer();
    if (auto* p = qobject_cast<TfrmMR270P*>(panel)) return p->tmrUpdateAIDataTimer();
    FAIL() << "no poll for " << panel->objectName().toStdString();
}

TEST(AnalogPointsPanels, APanelsPollFeedsThePointsAsReadAllWould) {
    const Case cases[] = {
        {"01 R210D type=01 value=5 di=01\n", "(01)R210D", "R210D", 1, LinkKind::AsciiPlain, 1, Tick,
         "edtAI_Val", "ai0"},
        {"02 R250 type=02 value=-40\n", "(02)R250", "R250", 2, LinkKind::AsciiPlain, 1, Tick},
        {"09 R270P value=12.5 value0=141.5 burnout=04\n", "(09)R270P", "R270P", 9,
         LinkKind::AsciiPlain, 1, Tick, "edtAIValCh0", "ai0", "ai2"},
        {"0C R270M type=0F value=100\n", "(0C)R270M", "R270M", 12, LinkKind::AsciiPlain, 2, Tick,
         "edtAIValCh5", "ai5"},
        {"11 R270P protocol=modbus firmware=A2.02 value=12.5 value0=685 burnout=04\n", "(11)R270P",
         "R270P", 0x11, LinkKind::ModbusRtu, 2, Tick, "edtAIValCh4", "ai4", "ai2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.node);
        PanelFixture fx(c.bus);
        // The port first, so that the tap hears the panel's start-up reads too.
        fx.window().ClickNode(fx.window().Tree()->FindPort(fx.portName()));
        TavoComPort* port = fx.window().Port();
        ASSERT_NE(port, nullptr);
        int exchanges = 0;
        port->SetExchangeObserver([&exchanges](const PortExchange&) { ++exchanges; });
        const PointProtocol protocol =
            c.link == LinkKind::ModbusRtu ? PointProtocol::Modbus : PointProtocol::Ascii;
        std::string error;
        auto heard = MakeModulePoints(c.model, {c.address, -1, protocol}, error);
        ASSERT_TRUE(heard) << error;
        {
            PointTap tap(*port, *heard);
            QWidget* panel = fx.Open(c.node, c.link);
            ASSERT_NE(panel, nullptr);
            fx.Received(static_cast<unsigned>(c.address));
            exchanges = 0;
            for (int i = 0; i < c.polls; ++i)
                c.poll(panel);
            // Every exchange the points heard is one the module got: none of theirs.
            EXPECT_EQ(static_cast<std::size_t>(exchanges),
                      fx.Received(static_cast<unsigned>(c.address)).size());
            EXPECT_GT(exchanges, 0);
            if (c.edit) {
                const int i = heard->IndexOf(c.point);
                ASSERT_GE(i, 0);
                const auto& reading = heard->Readings()[static_cast<std::size_t>(i)];
                ASSERT_EQ(reading.quality, PointQuality::Good);
                EXPECT_DOUBLE_EQ(fx.Find<QLineEdit>(c.edit)->text().toDouble(),
                                 std::stod(PointValueText(
                                     heard->Points()[static_cast<std::size_t>(i)], reading)));
            }
        }
        auto read = MakeModulePoints(c.model, {c.address, -1, protocol}, error);
        ASSERT_TRUE(read->ReadAll(*port));
        ASSERT_EQ(heard->Points().size(), read->Points().size());
        for (std::size_t i = 0; i < read->Points().size(); ++i) {
            const PointInfo& info = read->Points()[i];
            SCOPED_TRACE(info.name);
            EXPECT_EQ(PointQualityName(heard->Readings()[i].quality),
                      std::string_view(c.burnOut && info.name == c.burnOut ? "burn-out" : "good"));
            EXPECT_EQ(heard->Points()[i].unit, info.unit);
            EXPECT_EQ(PointQualityName(heard->Readings()[i].quality),
                      PointQualityName(read->Readings()[i].quality));
            EXPECT_EQ(PointValueText(heard->Points()[i], heard->Readings()[i]),
                      PointValueText(info, read->Readings()[i]));
        }
    }
}

} // namespace
} // namespace tavo
