// When a panel's Update shows its closing box: the forms restart the poll after
// the box for the general settings of every panel and for the digital and counter
// settings; the analog alarm Updates restart it first.
#include "panel_fixture.h"

#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace tavo {
namespace {

using test::PanelFixture;

TEST(UpdateOrder, BoxAndPollRestartComeInTheFormsOrder) {
    struct Row {
        const char* bus;
        const char* node;
        const char* timer;
        const char* button;
        const char* box;
        bool pollingAtBox;
    };
    const Row rows[] = {
        {"01 R210D\n", "(01)R210D", "tmrUpdateAIData", "btSystemUpdate",
         "Update general setting succeeded!", false},
        {"01 R220\n", "(01)R220", "tmrUpdateAIData", "btSystemUpdate",
         "Update general setting succeeded!", false},
        {"01 R210D\n", "(01)R210D", "tmrUpdateAIData", "btAlarmTypeSettingUpdate",
         "Update alarm type setting succeeded!", true},
        {"01 R550\n", "(01)R550", "tmrUpdateDIData", "btSystemUpdate", "Update succeeded!", false},
        {"01 R550\n", "(01)R550", "tmrUpdateDIData", "btSafeSettingUpdate", "Update succeeded!",
         false},
        {"01 R710\n", "(01)R710", "tmrUpdateCounterData", "btSystemUpdate", "Update succeeded!",
         false},
        {"01 R710\n", "(01)R710", "tmrUpdateCounterData", "btFilterUpdate", "Update succeeded!",
         false},
        {"01 R710\n", "(01)R710", "tmrUpdateCounterData", "btInputSignalUpdate",
         "Write input mode succeeded!", false},
        {"01 R710\n", "(01)R710", "tmrUpdateCounterData", "btCN0UpdateCounterSetting",
         "Update succeeded!", false},
        {"01 R710D\n", "(01)R710D", "tmrUpdateCounterData", "btSystemUpdate",
         "Update general setting succeeded!", false},
        {"01 R710D\n", "(01)R710D", "tmrUpdateCounterData", "btCN0StatusUpdate",
         "Update Counter Status succeeded!", false},
        {"01 R710D\n", "(01)R710D", "tmrUpdateCounterData", "btUpateLEDSetting",
         "Update LED Setting succeeded!", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.node) + " " + r.button);
        PanelFixture fx(r.bus);
        QWidget* panel = fx.Open(r.node);
        ASSERT_NE(panel, nullptr);
        auto* timer = panel->findChild<QTimer*>(r.timer);
        ASSERT_NE(timer, nullptr);
        ASSERT_TRUE(timer->isActive());
        std::optional<bool> polling;
        fx.ui().onMessage = [&](const test::TestUi::Box& box) {
            if (box.text == r.box) polling = timer->isActive();
        };
        fx.Find<QPushButton>(r.button)->click();
        fx.ui().onMessage = nullptr;
        ASSERT_TRUE(polling.has_value()) << fx.ui().Texts().join("|").toStdString();
        EXPECT_EQ(*polling, r.pollingAtBox);
        EXPECT_TRUE(timer->isActive()); // and it runs again afterwards
    }
}

} // namespace
} // namespace tavo
