// The model registry table and the node text grammar.
#include "workspace/core/model_registry.h"

#include <gtest/gtest.h>

#include <set>

namespace tavo {
namespace {

TEST(Registry, HoldsEveryRowInOrderWithItsNotes) {
    const auto& rows = ModelRegistry::Instance().rows();
    ASSERT_EQ(rows.size(), 66u);
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].number, static_cast<int>(i) + 1);
    const auto& reg = ModelRegistry::Instance();
    EXPECT_EQ(reg.FindByDesignation("R270")->panel, "TfrmMR270");
    EXPECT_EQ(reg.FindByDesignation("R270P")->modbusPanel, "TfrmMR270PMod");
    EXPECT_EQ(reg.FindByDesignation("R270M")->modbusPanel, "");
    EXPECT_EQ(reg.FindByDesignation("R280P")->panel, "TfrmMR280B");
    EXPECT_EQ(reg.FindByDesignation("R280B"), nullptr);
    EXPECT_EQ(reg.FindByDesignation("r270"), nullptr); // case matters
    EXPECT_EQ(reg.FindByDesignation("K100E")->panel, reg.FindByDesignation("K100")->panel);
    EXPECT_EQ(reg.FindByDesignation("K100EM")->panel, "TfrmMK100M");
    EXPECT_EQ(reg.FindByDesignation("Z351")->init, PanelInitKind::Rack);
    EXPECT_EQ(reg.FindByDesignation("K220")->init, PanelInitKind::Slot);
    // A slot designation names its slot panel in the first list, its alarm panel in
    // the second.
    EXPECT_EQ(reg.FindByParent("K220")->panel, "TfrmMK220AlarmSetting");
    EXPECT_EQ(reg.FindByParent("R850")->modbusPanel, "TfrmMR850MDIOChannelSettingMod");
    EXPECT_EQ(reg.FindByParent("R850")->init, PanelInitKind::Channel);
    EXPECT_EQ(reg.FindByParent("R210"), nullptr);

    std::set<int> timeout200, noConf;
    for (const auto& r : rows) {
        if (r.timeout200) timeout200.insert(r.number);
        if (r.noConf) noConf.insert(r.number);
    }
    EXPECT_EQ(timeout200, (std::set<int>{15, 16, 17, 18}));
    EXPECT_EQ(noConf, (std::set<int>{37, 55, 56, 57}));
}

TEST(Registry, NumberCodesFollowOneScheme) {
    const auto code = [](const char* d) { return ModelRegistry::NumberCode(d); };
    EXPECT_EQ(code("R550"), (ModelNumberCode{0x1550, 0, 0}));
    EXPECT_EQ(code("R560SO"), (ModelNumberCode{0x1560, 'S', 'O'}));
    EXPECT_EQ(code("R260P"), (ModelNumberCode{0x1260, 'P', 0}));
    EXPECT_EQ(code("K100"), (ModelNumberCode{0x2100, 0, 0}));
    EXPECT_EQ(code("K100EM"), (ModelNumberCode{0x2190, 0, 0}));
    EXPECT_EQ(code("K100M"), (ModelNumberCode{0x2191, 0, 0}));
    EXPECT_EQ(code("Z352"), (ModelNumberCode{0x3352, 0, 0}));
    EXPECT_FALSE(code("R8XX"));
    // Every other designation has a code, and no two share code and suffix.
    std::set<std::tuple<int, char, char>> seen;
    for (const auto& d : ModelRegistry::Instance().Designations()) {
        if (d == "R8XX") continue;
        const auto c = code(d.c_str());
        ASSERT_TRUE(c) << d;
        EXPECT_TRUE(seen.insert({c->bcd, c->suffix1, c->suffix2}).second) << d;
    }
    const auto& reg = ModelRegistry::Instance();
    EXPECT_EQ(reg.DesignationForCode(0x1560), "R560");
    EXPECT_EQ(reg.DesignationForCode(0x1280), "R280");
    EXPECT_EQ(reg.DesignationForCode(0x2190), std::nullopt); // the racks are told apart earlier
    EXPECT_EQ(reg.DesignationForCode(0x1999), std::nullopt);
}

TEST(Registry, ParseItemText) {
    struct Row {
        const char* text;
        bool ok;
        const char* inner;
        const char* rest;
    };
    const Row rows[] = {
        {"(01)R260", true, "01", "R260"}, {"(*)K100", true, "*", "K100"},
        {"(DO3)", true, "DO3", ""},       {"(CH 5)", true, "CH 5", ""},
        {"(S2)K220", true, "S2", "K220"}, {"x12)Y", true, "12", "Y"},
        {"()K100", false, "", ""},        {")K100", false, "", ""},
        {"K100", false, "", ""},          {"", false, "", ""},
        {"(0)(1)", true, "0", "(1)"},
    };
    for (const auto& r : rows) {
        std::string inner = "keep", rest = "keep";
        EXPECT_EQ(ParseItemText(r.text, inner, rest), r.ok) << r.text;
        EXPECT_EQ(inner, r.ok ? r.inner : "keep") << r.text;
        EXPECT_EQ(rest, r.ok ? r.rest : "keep") << r.text;
    }
}

} // namespace
} // namespace tavo
