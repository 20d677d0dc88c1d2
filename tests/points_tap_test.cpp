// Taps on one port going in any order: the window's tap of an open panel goes
// with the panel while a tap made after it stays.
#include "points/module_points.h"

#include <gtest/gtest.h>

#include <optional>
#include <typeinfo>

namespace tavo {
namespace {

// One point that counts the exchanges it is shown.
class CountingPoints : public ModulePoints {
public:
    CountingPoints() : ModulePoints("T1", {1, -1, PointProtocol::Ascii}, {PointInfo{"ai0"}}) {}
    int seen = 0;

protected:
    bool Take(const PortExchange&) override {
        ++seen;
        return true;
    }
    bool ConfigurationKnown() const override { return true; }
    void ReadConfiguration(TavoComPort&) override {}
    void ReadValues(TavoComPort&) override {}
    bool WritePoint(TavoComPort&, int, double, std::string&) override { return false; }
};

TEST(PointTap, TapsMayGoInAnyOrderAndTheWatcherBelowStays) {
    // Which taps go, in order (0 = the first made); each row makes three.
    const std::vector<std::vector<int>> orders = {{2, 1, 0}, {0, 1, 2}, {1, 0, 2}, {0, 2, 1}};
    for (const auto& order : orders) {
        SCOPED_TRACE(::testing::PrintToString(order));
        TavoComPort port("unopened");
        int below = 0;
        port.SetExchangeObserver([&below](const PortExchange&) { ++below; });
        const std::type_info& original = port.GetExchangeObserver().target_type();
        const auto exchange = [&] { port.GetExchangeObserver()(PortExchange{false, "#01\r", ">+1.0", true}); };
        CountingPoints points[3];
        std::optional<PointTap> taps[3];
        for (int i = 0; i < 3; ++i) taps[i].emplace(port, points[i]);
        exchange();
        int expected[3] = {1, 1, 1};
        int belowExpected = 1;
        for (const int gone : order) {
            taps[gone].reset();
            exchange();
            ++belowExpected;
            for (int i = 0; i < 3; ++i) {
                if (taps[i]) ++expected[i];
                EXPECT_EQ(points[i].seen, expected[i]) << "tap " << i;
            }
            EXPECT_EQ(below, belowExpected);
        }
        // Every tap gone: the watcher from before is the port's again, itself, not
        // behind links of taps that are gone.
        EXPECT_TRUE(port.GetExchangeObserver().target_type() == original);
    }
}

} // namespace
} // namespace tavo
