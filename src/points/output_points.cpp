#include "families.h"

namespace tavo {

FamilyAnswer MakeOutputPoints(std::string_view, const ModuleLocation&) {
    return {};
}

} // namespace tavo
