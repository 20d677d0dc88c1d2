#include "panels/panels.h"

#include "r310_panel.h"
#include "r330_panel.h"
#include "single_input_panels.h"

#include "workspace/module_panel.h"

namespace tavo {

void RegisterAnalogPanels() {
    auto& factory = PanelFactory::Instance();
    factory.Register("TfrmMR210D", [](QWidget* p) { return new TfrmMR210D(p); });
    factory.Register("TfrmMR210", [](QWidget* p) { return new TfrmMR210(p); });
    factory.Register("TfrmMR220", [](QWidget* p) { return new TfrmMR220(p); });
    factory.Register("TfrmMR230", [](QWidget* p) { return new TfrmMR230(p); });
    factory.Register("TfrmMR250", [](QWidget* p) { return new TfrmMR250(p); });
    factory.Register("TfrmMR310", [](QWidget* p) { return new TfrmMR310(p); });
    factory.Register("TfrmMR330", [](QWidget* p) { return new TfrmMR330(p); });
}

} // namespace tavo
