// Which panel opens for which model: one table of every designation the program
// knows, with its panels, start-up argument list and the model number code the
// Modbus variants report.
#pragma once

#include "devices/k_series.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavo {

// How a module found by the search is talked to; stored in its tree node.
enum class LinkKind : int { AsciiPlain = 0, AsciiChecksum = 1, ModbusRtu = 2 };

// The argument list a panel's InitModule takes.
enum class PanelInitKind {
    Standard,     // port, address, status bar, tree
    Rack,         // port, address, status bar
    Slot,         // + slot text ("S2")
    Alarm,        // + channel text ("CH 3") and slot text
    Channel,      // port, parent designation, status bar, tree, channel text ("DO0"), address
    GenericSlot,  // port, address, slot module name, status bar, tree, slot text
    GenericAlarm, // + channel text
};

struct RegistryRow {
    int number;                            // 1..66, the order rows are tried in
    std::vector<std::string> designations; // matched whole and case-sensitively
    std::string panel;                     // panel class name
    std::string modbusPanel;               // used when the node's LinkKind is Modbus; may be empty
    PanelInitKind init;
    bool timeout200 = false; // port time-out 200 ms before InitModule (ASCII panel only)
    bool noConf = false;     // Save/Load Configuration disabled for this panel
    bool byParent = false;   // matched against the parent designation (second list)
};

// Series digit (R 1, K 2, Z 3) and the three digits in BCD, letters after the
// digits in the two suffix bytes, as the model registers report them.
struct ModelNumberCode {
    std::uint16_t bcd = 0;
    char suffix1 = 0;
    char suffix2 = 0;
    friend bool operator==(const ModelNumberCode&, const ModelNumberCode&) = default;
};

class ModelRegistry {
public:
    static const ModelRegistry& Instance();

    const std::vector<RegistryRow>& rows() const { return rows_; }

    // The first row of the designation list (rows 1 to 57) naming `designation`.
    const RegistryRow* FindByDesignation(std::string_view designation) const;
    // The first row of the parent list (rows 58 to 66) naming `parent`.
    const RegistryRow* FindByParent(std::string_view parent) const;
    // Every designation in table order (each once).
    std::vector<std::string> Designations() const;

    // The number code of a designation; empty for designations without digits
    // (R8XX, a boot-loader state that never answers Modbus).
    static std::optional<ModelNumberCode> NumberCode(std::string_view designation);
    // The designation a reported four-digit code stands for, without suffix letters
    // ("R560" for 1560); empty when no row has that code.
    std::optional<std::string> DesignationForCode(std::uint16_t bcd) const;

    static constexpr std::uint16_t kK100EModbusCode = tavo::kK100EModbusCode;
    static constexpr std::uint16_t kK100ModbusCode = tavo::kK100ModbusCode;

private:
    ModelRegistry();
    std::vector<RegistryRow> rows_;
};

// Splits a node text at its first ')': "(01)R260" gives "01" and "R260". False,
// outputs unchanged, when there is no ')' or nothing stands between the first
// character and it.
bool ParseItemText(std::string_view text, std::string& inner, std::string& rest);

} // namespace tavo
