// The arguments of `tavo read`, `tavo watch` and `tavo write`: which modules, how
// they are talked to, and what to print. Everything is checked here, before the
// port is opened, so a wrong argument costs the bus nothing.
#pragma once

#include "options.h"

#include "points/module_points.h"

#include <string>
#include <vector>

namespace tavo::cli {

enum class PointCommandKind { Read, Watch, Write };

// One module as the options name it.
struct ModuleChoice {
    ModuleLocation where; // address, slot (-1: none), protocol
    std::string model;    // upper case; empty: ask the module
};

struct PointCommand {
    PortOptions port;
    std::vector<ModuleChoice> modules; // exactly one for read and write
    bool json = false;
    int intervalMs = 1000;  // watch: start-to-start spacing of the poll cycles
    std::string csvPath;    // watch: rows appended here; empty for none
    std::string point;      // write
    std::string value;      // write, as typed
};

inline constexpr int kMaxIntervalMs = 86'400'000; // one day

// Two hexadecimal digits, as the tree shows a module's address ("09", "4A"; "00"
// for a module in its INIT state); either case. Throws UsageError.
int ParseModuleAddress(const std::string& text);
// A slot of a rack or Z-series controller: one digit, 0 to 7. Throws UsageError.
int ParseSlotNumber(const std::string& text);
// A designation as typed, in upper case ("r270p" gives "R270P"): letters, digits and
// '+'. Throws UsageError. Whether a family knows it is for MakeModulePoints to say.
std::string ParseModelName(const std::string& text);

// Module options (--address, --slot, --model, --modbus, --checksum) are taken in
// order: --slot, --model, --modbus and --checksum written after an --address belong
// to that module; written before the first --address, to every module. Read and
// write take one --address; watch takes several, each address and slot once.
// Throws UsageError, with one line, for anything wrong.
PointCommand ParsePointCommand(PointCommandKind kind, const std::vector<std::string>& argv);

} // namespace tavo::cli
