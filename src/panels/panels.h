// Makes every built module panel known to the panel factory.
#pragma once

namespace tavo {

void RegisterAllPanels();

// One per panel family, each in its own folder.
void RegisterAnalogPanels();
void RegisterDigitalPanels();
void RegisterSystemPanels();
void RegisterConverterPanels();

} // namespace tavo
