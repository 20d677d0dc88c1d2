#include "panels/panels.h"

#include "k100_panel.h"
#include "k100m_panel.h"
#include "k_analog_slot.h"

#include "workspace/module_panel.h"

namespace tavo {
namespace {

template <class Panel> void Add(const char* className) {
    PanelFactory::Instance().Register(className, [](QWidget* parent) { return new Panel(parent); });
}

} // namespace

void RegisterSystemPanels() {
    Add<TfrmMK100>("TfrmMK100");
    Add<TfrmMK100M>("TfrmMK100M");
    RegisterKAnalogSlotPanels();
}

} // namespace tavo
