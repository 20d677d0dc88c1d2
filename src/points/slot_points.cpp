#include "families.h"

namespace tavo {

FamilyAnswer MakeSlotPoints(std::string_view, const ModuleLocation&) {
    return {};
}

} // namespace tavo
