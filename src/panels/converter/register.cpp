#include "panels/panels.h"

namespace tavo {

void RegisterConverterPanels() {}

} // namespace tavo
