#include "panels/panels.h"

namespace tavo {

void RegisterSystemPanels() {}

} // namespace tavo
