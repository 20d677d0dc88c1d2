#include "k310_panel.h"
#include "k_analog_alarm.h"
#include "k_analog_slot.h"

#include "workspace/module_panel.h"

#include <string>

namespace tavo {

void RegisterKAnalogSlotPanels() {
    auto& factory = PanelFactory::Instance();
    for (const char* d : {"K210", "K220", "K220H", "K220UH", "K230", "K230P"}) {
        const KAnalogSlotMember* member = FindKAnalogMember(d);
        const std::string name = std::string("TfrmM") + d;
        factory.Register(name, [member](QWidget* parent) -> ModulePanel* {
            if (member->perChannel) return new TfrmMK220H(*member, parent);
            return new TfrmMK230(*member, parent);
        });
        factory.Register(name + "AlarmSetting", [member](QWidget* parent) {
            return new TfrmMK230AlarmSetting(*member, parent);
        });
    }
    factory.Register("TfrmMK310", [](QWidget* parent) { return new TfrmMK310(parent); });
    factory.Register("TfrmMK310SingleChannelSetting",
                     [](QWidget* parent) { return new TfrmMK310SingleChannelSetting(parent); });
}

} // namespace tavo
