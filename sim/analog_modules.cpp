#include "models.h"

namespace tavo::sim {

bool AddAnalogModel(SimModule&) { return false; }
bool IsAnalogOption(const std::string&) { return false; }

} // namespace tavo::sim
