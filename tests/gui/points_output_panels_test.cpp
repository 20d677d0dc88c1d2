// The analog output and loop controller panels seen through a watcher of their port:
// the points their own polls feed agree with what a read of every point gives on the
// same module, and watching adds no transaction.
#include "panel_fixture.h"

#include "panels/analog/modbus_analog_panels.h"
#include "panels/analog/r310_panel.h"
#include "panels/analog/r320t_panel.h"
#include "points/module_points.h"

#include <QComboBox>
#include <QTabWidget>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <optional>

namespace tavo {
namespace {

using test::PanelFixture;
using Strings = std::vector<std::string>;

// A panel opened with a watcher of its points on the port from the start, so that
// the points learn the configuration from the panel's own start-up reads.
struct Watched {
    Watched(const std::string& bus, const char* model, PointProtocol protocol) : fx(bus) {
        fx.window().ClickNode(fx.window().Tree()->FindPort(fx.portName()));
        port = fx.window().Port();
        std::string error;
        points = MakeModulePoints(model, {1, -1, protocol}, error);
        if (!port || !points) throw std::runtime_error("no port or points: " + error);
        tap.emplace(*port, *points);
    }

    // What one poll (`tick`) made the module receive, with and without the watcher:
    // the same requests.
    void ExpectNoTransactionAdded(const std::function<void()>& tick) {
        fx.Received(0x01);
        tick();
        const Strings watched = fx.Received(0x01);
        tap.reset();
        tick();
        const Strings alone = fx.Received(0x01);
        tap.emplace(*port, *points);
        EXPECT_FALSE(watched.empty());
        EXPECT_EQ(watched, alone);
    }

    // The readings agree with a read of every point on the same port by another
    // points object; `tolerance` allows for values the module moves by itself.
    void ExpectSameAsReadAll(const std::map<std::string, double>& tolerance = {}) {
        tap.reset();
        std::string error;
        auto read = MakeModulePoints(points->Model(), points->Location(), error);
        ASSERT_TRUE(read->ReadAll(*port));
        for (std::size_t i = 0; i < points->Points().size(); ++i) {
            const PointInfo& info = points->Points()[i];
            const PointReading& panel = points->Readings()[i];
            const PointReading& all = read->Readings()[i];
            SCOPED_TRACE(info.name);
            EXPECT_EQ(PointQualityName(panel.quality), PointQualityName(all.quality));
            EXPECT_EQ(info.unit, read->Points()[i].unit);
            // Limits as text, so that two unknown limits (NaN) agree.
            EXPECT_EQ(std::to_string(info.min), std::to_string(read->Points()[i].min));
            EXPECT_EQ(std::to_string(info.max), std::to_string(read->Points()[i].max));
            const auto slack = tolerance.find(info.name);
            EXPECT_NEAR(panel.value, all.value, slack == tolerance.end() ? 0.0 : slack->second);
        }
    }

    PanelFixture fx;
    TavoComPort* port = nullptr;
    std::unique_ptr<ModulePoints> points;
    std::optional<PointTap> tap;
};

TEST(PointsOfPanels, R310PollFeedsThePointsAReadAllGives) {
    Watched w("01 R310 type=31 startup=12.4 format=01\n", "R310", PointProtocol::Ascii);
    auto* p = w.fx.Open<TfrmMR310>("(01)R310");
    ASSERT_NE(p, nullptr);
    w.ExpectNoTransactionAdded([p] { p->tmrUpdateAODataTimer(); });
    EXPECT_EQ(w.points->Readings()[0].quality, PointQuality::Good);
    w.ExpectSameAsReadAll();
}

TEST(PointsOfPanels, R330ModbusPollFeedsThePointsAReadAllGives) {
    Watched w("01 R330 protocol=modbus outrange=30,31,32,32 startup=5 di=09\n", "R330",
              PointProtocol::Modbus);
    auto* p = w.fx.Open<TfrmMR330Mod>("(01)R330", LinkKind::ModbusRtu);
    ASSERT_NE(p, nullptr);
    w.ExpectNoTransactionAdded([p] { p->tmrUpdateDataTimer(); });
    EXPECT_EQ(w.points->Points()[2].unit, "V");
    w.ExpectSameAsReadAll();
}

TEST(PointsOfPanels, R320TPagesFeedThePointsAReadAllGives) {
    struct Case {
        const char* bus;
        LinkKind link;
        PointProtocol protocol;
        std::map<std::string, double> tolerance;
    };
    // The processes move by themselves, about 0.012 a second: the tolerances allow
    // for twenty seconds of a loaded machine between the panel's reads and the point
    // read, far less than any fault of scaling.
    const Case cases[] = {
        {"01 R320T tau=3600 value2=12 value3=5 di=01\n",
         LinkKind::AsciiPlain,
         PointProtocol::Ascii,
         {{"pv0", 0.25}, {"pv1", 0.25}, {"ai0", 0.5}, {"ai1", 0.5}}},
        {"01 R320T protocol=modbus tau=3600 value2=12 value3=5 di=01\n",
         LinkKind::ModbusRtu,
         PointProtocol::Modbus,
         {{"pv0", 0.25}, {"pv1", 0.25}, {"ai0", 200}, {"ai1", 200}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bus);
        Watched w(c.bus, "R320T", c.protocol);
        auto* p = w.fx.Open<TfrmMR320T>("(01)R320T", c.link);
        ASSERT_NE(p, nullptr);
        // Both loops in Manual, so that MV stays where it is.
        if (c.protocol == PointProtocol::Ascii)
            ASSERT_TRUE(test::Send(*w.port, "#01PW0000000002").ok);
        else
            ASSERT_TRUE(p->Session().WritePIDValue(0, 2));
        p->pgCtrlMain->setCurrentIndex(1);
        w.ExpectNoTransactionAdded([p] { p->Timer1Timer(); });
        p->pgCtrlMain->setCurrentIndex(2);
        p->Timer1Timer();
        p->pgCtrlMain->setCurrentIndex(3);
        for (int tick = 0; tick < 8; ++tick)
            p->Timer1Timer();
        p->cboxLoop->setCurrentIndex(1);
        p->cboxLoopChange();
        w.ExpectSameAsReadAll(c.tolerance);
    }
}

} // namespace
} // namespace tavo
