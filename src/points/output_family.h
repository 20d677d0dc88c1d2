// What the output family's files share: the configuration read of an R-series
// module, a point's description, the line of a failed write, and the loop
// controller's maker.
#pragma once

#include "exchange_parts.h"
#include "module_points.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tavo {

// The type code TT and format byte FF of a "$AA2" reply's data ("TTCCFF").
struct ModuleConfiguration {
    int typeCode = 0;
    int formatCode = 0;
};
std::optional<ModuleConfiguration> ConfigurationOf(std::string_view data);

// The reason of a failed write for its error line: the module refused it ('?', or
// the Modbus exception `modbusException` when not 0), or did not answer (with the
// port's reason).
std::string WriteFailure(const TavoComPort& port, const std::string& model,
                         int modbusException = 0);

// A point: writable when it is an output.
PointInfo FamilyPoint(std::string name, PointKind kind, std::string unit, double min, double max,
                      int decimals);

// The R320T's points, ASCII or Modbus.
std::unique_ptr<ModulePoints> MakeLoopControllerPoints(const ModuleLocation& where);

} // namespace tavo
