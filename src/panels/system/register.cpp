#include "panels/panels.h"

#include "k100_panel.h"
#include "k100m_panel.h"
#include "k710_panels.h"
#include "k_digital_panels.h"
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
    Add<TfrmMK510>("TfrmMK510");
    Add<TfrmMK520>("TfrmMK520");
    Add<TfrmMK530>("TfrmMK530");
    Add<TfrmMK540>("TfrmMK540");
    Add<TfrmMK550>("TfrmMK550");
    Add<TfrmMK610>("TfrmMK610");
    Add<TfrmMK620>("TfrmMK620");
    Add<TfrmMK630>("TfrmMK630");
    Add<TfrmMK710>("TfrmMK710");
    Add<TfrmMK710AlarmSetting>("TfrmMK710AlarmSetting");
    RegisterKAnalogSlotPanels();
}

} // namespace tavo
