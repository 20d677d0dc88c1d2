#include "panels/panels.h"

namespace tavo {

void RegisterAnalogPanels() {}

} // namespace tavo
