#include "panels.h"

#include "workspace/r8xx_panel.h"

namespace tavo {

void RegisterAllPanels() {
    RegisterAnalogPanels();
    RegisterDigitalPanels();
    RegisterSystemPanels();
    RegisterConverterPanels();
    // The boot-loader panel belongs to the workspace (it is the firmware download).
    RegisterR8xxPanel();
}

} // namespace tavo
