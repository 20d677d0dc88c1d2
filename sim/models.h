// Builds simulated modules by model designation.
#pragma once

#include "module.h"

#include <memory>

namespace tavo::sim {

// The configuration commands every module answers ($AA2, %AANNTTCCFF, $AAF, $AAM
// and the serial-format commands).
class ConfigCommands : public CommandSet {
public:
    std::optional<std::string> Ascii(SimModule& m, char lead, std::string_view body) override;
};

// A module of the given model with the command sets that model answers and, for
// Modbus variants, its identification registers. Throws std::invalid_argument for
// a designation no family simulates and for an option the model has no use for.
std::unique_ptr<SimModule> MakeModule(ModuleConfig config);

// Where the Modbus search finds the model code: racks at register 10001, modules at
// register 211 (one-based), two registers each.
void AddModelRegisters(SimModule& m);

// Bus file keys that model command sets read from ModuleConfig::options.
bool IsModelOption(const std::string& key);

// Per family: add the command sets (and Modbus registers) of the module's model and
// return true, or return false when the designation is not one of the family's.
// Each lives in the family's own file.
bool AddAnalogModel(SimModule& m);  // analog input and output, data logger, loop controller
bool AddDigitalModel(SimModule& m); // digital I/O, counters, R8XX
bool AddSystemModel(SimModule& m);  // K-series racks, Z-series controllers, R910 converter
bool IsAnalogOption(const std::string& key);
bool IsDigitalOption(const std::string& key);
bool IsSystemOption(const std::string& key);
// Whether the module's model has a use for a bus file option of its family;
// throws std::invalid_argument for a value it cannot take. (The digital family
// checks its options as it builds the module.)
bool AnalogModelTakes(const SimModule& m, const std::string& key, const std::string& value);
bool SystemModelTakes(const SimModule& m, const std::string& key);

} // namespace tavo::sim
