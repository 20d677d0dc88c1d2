#include "models.h"

namespace tavo::sim {

bool AddSystemModel(SimModule&) { return false; }
bool IsSystemOption(const std::string&) { return false; }

} // namespace tavo::sim
