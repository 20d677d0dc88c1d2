// What the output family's files share: the configuration read of an R-series
// module, a point's description, and the loop controller's maker.
#pragma once

#include "module_points.h"
#include "output_exchange.h"

#include <memory>
#include <optional>
#include <string>

namespace tavo {

// The type code TT and format byte FF of a "$AA2" reply's data ("TTCCFF").
struct ModuleConfiguration {
    int typeCode = 0;
    int formatCode = 0;
};
std::optional<ModuleConfiguration> ConfigurationOf(const std::string& data);

// A point: writable when it is an output.
PointInfo FamilyPoint(std::string name, PointKind kind, std::string unit, double min, double max,
                      int decimals);

// The R320T's points, ASCII or Modbus.
std::unique_ptr<ModulePoints> MakeLoopControllerPoints(const ModuleLocation& where);

} // namespace tavo
