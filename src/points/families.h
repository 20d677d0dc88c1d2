// The families of module points. Each maker returns null for a model that is not
// its family's; MakeModulePoints asks them in turn.
#pragma once

#include "module_points.h"

#include <memory>
#include <string>
#include <string_view>

namespace tavo {

// A family's answer: points, or a refusal with its reason (a slot or protocol the
// model cannot have), or nothing when the model is not the family's.
struct FamilyAnswer {
    std::unique_ptr<ModulePoints> points;
    std::string refusal;
    bool Claimed() const { return points || !refusal.empty(); }
};

// Single- and multi-channel analog inputs, ASCII and Modbus, the data logger, and the
// strain-gauge input with its excitation output.
FamilyAnswer MakeAnalogInputPoints(std::string_view model, const ModuleLocation& where);
// Analog outputs (R310, R330 in ASCII and Modbus) and the loop controller.
FamilyAnswer MakeOutputPoints(std::string_view model, const ModuleLocation& where);
// Digital I/O (R5xx, R6xx, the universal R850/R860) and the counters, ASCII and Modbus.
FamilyAnswer MakeDigitalPoints(std::string_view model, const ModuleLocation& where);
// Slots of the K-series racks (ASCII and Modbus) and of the Z-series controllers.
FamilyAnswer MakeSlotPoints(std::string_view model, const ModuleLocation& where);

} // namespace tavo
