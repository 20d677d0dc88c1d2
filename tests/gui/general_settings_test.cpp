// The general-settings Update that the analog, digital and counter panels share:
// a choice the panel never read from the module is never written.
#include "panel_fixture.h"

#include "sim/module.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include <algorithm>

namespace tavo {
namespace {

using test::PanelFixture;
using test::Starting;
using Strings = std::vector<std::string>;

TEST(GeneralSettings, ChoicesNotReadFromTheModuleAreNotWrittenUntilChosen) {
    struct Row {
        const char* bus;
        const char* node;
        unsigned module;
        int silentAtOpen; // replies the module drops while the panel opens
        const char* address;
        int refusedWaitMs; // pauses and waits of the refused Update
        std::vector<const char*> toChoose;
        const char* addressAfter; // the address of the Update after choosing
        const char* written;
    };
    const Row rows[] = {
        // INIT: baud, range, data format and integration are all the user's.
        {"05 R210D init type=01\n",
         "(*)R210D",
         5,
         2,
         "5",
         10000,
         {"cmbBaudRate", "cmbTypeChangeAllCh", "cmbDataFormat", "cmbIntegrationTime"},
         "5",
         "%0005000600"},
        // Normal: the range is refused before the pause and the "$07M" probe.
        {"01 R210D type=01\n07 R220\n",
         "(01)R210D",
         1,
         2,
         "7",
         10000,
         {"cmbTypeChangeAllCh"},
         "1",
         "%0101000600"},
        {"05 R550 init\n", "(*)R550", 5, 1, "5", 0, {"cmbBaudRate"}, "5", "%0005000600"},
        {"05 R710 init\n", "(*)R710", 5, 1, "5", 100, {"cmbBaudRate"}, "5", "%0005500600"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.bus);
        PanelFixture fx(r.bus);
        fx.WithModule(r.module,
                      [&r](sim::SimModule& m) { m.faults().noReply.count = r.silentAtOpen; });
        ASSERT_NE(fx.Open(r.node), nullptr);
        auto* update = fx.Find<QPushButton>("btSystemUpdate");
        auto* address = fx.Find<QLineEdit>("edtAddress_Dec");
        EXPECT_EQ(fx.Find<QComboBox>("cmbBaudRate")->currentIndex(), -1);
        fx.Received(r.module);
        fx.ui().Clear();
        address->setText(r.address);
        const long long before = fx.ui().clockMs;
        update->click();
        EXPECT_EQ(fx.ui().Texts(), QStringList{"Update failed!"});
        EXPECT_EQ(fx.ui().clockMs - before, r.refusedWaitMs);
        EXPECT_TRUE(Starting(fx.Received(r.module), "%").empty());
        if (r.module == 1) {
            EXPECT_TRUE(fx.Received(0x07).empty()); // no probe of the new address
        }

        for (const char* name : r.toChoose) {
            auto* combo = fx.Find<QComboBox>(name);
            combo->setCurrentIndex(std::string(name) == "cmbBaudRate" ? 3 : 0);
        }
        fx.ui().Clear();
        address->setText(r.addressAfter);
        update->click();
        EXPECT_EQ(Starting(fx.Received(r.module), "%"), Strings{r.written});
        EXPECT_EQ(fx.ui().Texts().size(), 1);
        EXPECT_NE(fx.ui().Texts().value(0), "Update failed!");
    }
}

} // namespace
} // namespace tavo
