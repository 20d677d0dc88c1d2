#include "models.h"

namespace tavo::sim {

bool AddDigitalModel(SimModule&) { return false; }
bool IsDigitalOption(const std::string&) { return false; }

} // namespace tavo::sim
