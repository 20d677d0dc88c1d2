#include "panels.h"

namespace tavo {

void RegisterAllPanels() {
    RegisterAnalogPanels();
    RegisterDigitalPanels();
    RegisterSystemPanels();
    RegisterConverterPanels();
}

} // namespace tavo
