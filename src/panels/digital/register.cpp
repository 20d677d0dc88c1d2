#include "panels/panels.h"

namespace tavo {

void RegisterDigitalPanels() {}

} // namespace tavo
