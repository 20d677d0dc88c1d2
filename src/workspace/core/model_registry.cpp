#include "model_registry.h"

#include <algorithm>
#include <cctype>

namespace tavo {
namespace {

using K = PanelInitKind;

RegistryRow Row(int n, std::vector<std::string> d, std::string panel, std::string modbus = {},
                K init = K::Standard) {
    return RegistryRow{n, std::move(d), std::move(panel), std::move(modbus), init};
}

std::vector<RegistryRow> MakeRows() {
    std::vector<RegistryRow> r = {
        Row(1, {"R210"}, "TfrmMR210"),
        Row(2, {"R210D"}, "TfrmMR210D"),
        Row(3, {"R220"}, "TfrmMR220"),
        Row(4, {"R230"}, "TfrmMR230"),
        Row(5, {"R240"}, "TfrmMR240", "TfrmMR240Mod"),
        Row(6, {"R240T"}, "TfrmMR240T", "TfrmMR240TMod"),
        Row(7, {"R250"}, "TfrmMR250"),
        Row(8, {"R260"}, "TfrmMR260"),
        Row(9, {"R260P"}, "TfrmMR260P", "TfrmMR260PMod"),
        Row(10, {"R270"}, "TfrmMR270"),
        Row(11, {"R270P"}, "TfrmMR270P", "TfrmMR270PMod"),
        Row(12, {"R270M"}, "TfrmMR270M"),
        Row(13, {"R280"}, "TfrmMR280"),
        // The module reports R280P; its panel is the B revision's.
        Row(14, {"R280P"}, "TfrmMR280B", "TfrmMR280BMod"),
        Row(15, {"R810"}, "TfrmMR810", "TfrmMR810Mod"),
        Row(16, {"R260AN"}, "TfrmMR260AN", "TfrmMR260ANMod"),
        Row(17, {"R820"}, "TfrmMR820", "TfrmMR820Mod"),
        Row(18, {"R270AN"}, "TfrmMR270AN", "TfrmMR270ANMod"),
        Row(19, {"R850"}, "TfrmMR850", "TfrmMR850Mod"),
        Row(20, {"R860"}, "TfrmMR860", "TfrmMR860Mod"),
        Row(21, {"R8XX"}, "TfrmMR8XX"),
        Row(22, {"R310"}, "TfrmMR310"),
        Row(23, {"R320T"}, "TfrmMR320T", "TfrmMR320TMod"),
        Row(24, {"R330"}, "TfrmMR330", "TfrmMR330Mod"),
        Row(25, {"R510"}, "TfrmMR510"),
        Row(26, {"R520"}, "TfrmMR520", "TfrmMR520Mod"),
        Row(27, {"R530"}, "TfrmMR530"),
        Row(28, {"R540"}, "TfrmMR540"),
        Row(29, {"R550"}, "TfrmMR550", "TfrmMR550Mod"),
        Row(30, {"R560S"}, "TfrmMR560S", "TfrmMR560SMod"),
        Row(31, {"R560SO"}, "TfrmMR560SO", "TfrmMR560SOMod"),
        Row(32, {"R610"}, "TfrmMR610"),
        Row(33, {"R620"}, "TfrmMR620", "TfrmMR620Mod"),
        Row(34, {"R630"}, "TfrmMR630", "TfrmMR630Mod"),
        Row(35, {"R710"}, "TfrmMR710"),
        Row(36, {"R710D"}, "TfrmMR710D"),
        Row(37, {"R910"}, "TfrmMR910"),
        Row(38, {"K100", "K100E"}, "TfrmMK100", {}, K::Rack),
        Row(39, {"K100M", "K100EM"}, "TfrmMK100M", {}, K::Rack),
        Row(40, {"K210"}, "TfrmMK210", {}, K::Slot),
        Row(41, {"K220"}, "TfrmMK220", {}, K::Slot),
        Row(42, {"K220H"}, "TfrmMK220H", {}, K::Slot),
        Row(43, {"K220UH"}, "TfrmMK220UH", {}, K::Slot),
        Row(44, {"K230"}, "TfrmMK230", {}, K::Slot),
        Row(45, {"K310"}, "TfrmMK310", {}, K::Slot),
        Row(46, {"K510"}, "TfrmMK510", {}, K::Slot),
        Row(47, {"K520"}, "TfrmMK520", {}, K::Slot),
        Row(48, {"K530"}, "TfrmMK530", {}, K::Slot),
        Row(49, {"K540"}, "TfrmMK540", {}, K::Slot),
        Row(50, {"K550"}, "TfrmMK550", {}, K::Slot),
        Row(51, {"K610"}, "TfrmMK610", {}, K::Slot),
        Row(52, {"K620"}, "TfrmMK620", {}, K::Slot),
        Row(53, {"K630"}, "TfrmMK630", {}, K::Slot),
        Row(54, {"K710"}, "TfrmMK710", {}, K::Slot),
        Row(55, {"Z352", "Z351"}, "TfrmMZ350", {}, K::Rack),
        Row(56, {"Z320"}, "TfrmMZ320", {}, K::Slot),
        Row(57, {"Z310"}, "TfrmMZ310", {}, K::Slot),
        Row(58, {"K210"}, "TfrmMK210AlarmSetting", {}, K::Alarm),
        Row(59, {"K220"}, "TfrmMK220AlarmSetting", {}, K::Alarm),
        Row(60, {"K220H"}, "TfrmMK220HAlarmSetting", {}, K::Alarm),
        Row(61, {"K220UH"}, "TfrmMK220UHAlarmSetting", {}, K::Alarm),
        Row(62, {"K230"}, "TfrmMK230AlarmSetting", {}, K::Alarm),
        Row(63, {"K310"}, "TfrmMK310SingleChannelSetting", {}, K::Alarm),
        Row(64, {"K710"}, "TfrmMK710AlarmSetting", {}, K::Alarm),
        Row(65, {"R850"}, "TfrmMDIOChannelSetting", "TfrmMR850MDIOChannelSettingMod", K::Channel),
        Row(66, {"R860"}, "TfrmMDIOChannelSetting", "TfrmMR860MDIOChannelSettingMod", K::Channel),
    };
    for (auto& row : r) {
        row.byParent = row.number >= 58;
        row.timeout200 = row.number >= 15 && row.number <= 18;
        row.noConf = row.number == 37 || (row.number >= 55 && row.number <= 57);
    }
    return r;
}

bool Names(const RegistryRow& row, std::string_view d) {
    return std::find(row.designations.begin(), row.designations.end(), d) != row.designations.end();
}

} // namespace

ModelRegistry::ModelRegistry() : rows_(MakeRows()) {}

const ModelRegistry& ModelRegistry::Instance() {
    static const ModelRegistry registry;
    return registry;
}

const RegistryRow* ModelRegistry::FindByDesignation(std::string_view designation) const {
    for (const auto& row : rows_)
        if (!row.byParent && Names(row, designation)) return &row;
    return nullptr;
}

const RegistryRow* ModelRegistry::FindByParent(std::string_view parent) const {
    for (const auto& row : rows_)
        if (row.byParent && Names(row, parent)) return &row;
    return nullptr;
}

std::vector<std::string> ModelRegistry::Designations() const {
    std::vector<std::string> all;
    for (const auto& row : rows_)
        for (const auto& d : row.designations)
            if (std::find(all.begin(), all.end(), d) == all.end()) all.push_back(d);
    return all;
}

std::optional<ModelNumberCode> ModelRegistry::NumberCode(std::string_view d) {
    if (d == "K100EM") return ModelNumberCode{kK100EModbusCode, 0, 0};
    if (d == "K100M") return ModelNumberCode{kK100ModbusCode, 0, 0};
    if (d.size() < 4) return std::nullopt;
    int series = d[0] == 'R' ? 1 : d[0] == 'K' ? 2 : d[0] == 'Z' ? 3 : 0;
    if (!series) return std::nullopt;
    for (std::size_t i = 1; i <= 3; ++i)
        if (!std::isdigit(static_cast<unsigned char>(d[i]))) return std::nullopt;
    if (d.size() > 6) return std::nullopt;
    ModelNumberCode code;
    code.bcd = static_cast<std::uint16_t>(series << 12 | (d[1] - '0') << 8 | (d[2] - '0') << 4 | (d[3] - '0'));
    if (d.size() > 4) code.suffix1 = d[4];
    if (d.size() > 5) code.suffix2 = d[5];
    return code;
}

std::optional<std::string> ModelRegistry::DesignationForCode(std::uint16_t bcd) const {
    for (const auto& row : rows_)
        for (const auto& d : row.designations) {
            const auto code = NumberCode(d);
            if (code && code->bcd == bcd && bcd != kK100EModbusCode && bcd != kK100ModbusCode)
                return d.substr(0, 4);
        }
    return std::nullopt;
}

bool ParseItemText(std::string_view text, std::string& inner, std::string& rest) {
    const auto close = text.find(')');
    // p counts from 1 as the text's position of ')'; nothing between the first
    // character and it is a malformed node text.
    if (close == std::string_view::npos || close + 1 <= 2) return false;
    inner.assign(text.substr(1, close - 1));
    rest.assign(text.substr(close + 1));
    return true;
}

} // namespace tavo
