// The fallback for K-series slots that no registry row names: generic analog-input
// slots carry the slot module's own name in their node text.
#include "main_window.h"

#include "ui_services.h"

#include "devices/k_series.h"

namespace tavo {

void TfrmMain::GenericSlotFallback(const std::string& address, const std::string& slot, int level,
                                   PanelContext context) {
    TavoMK100 k100(port_.get(), address == "*" ? "00" : address);
    const int number = slot.size() >= 2 && slot[1] >= '0' && slot[1] <= '9' ? slot[1] - '0' : -1;
    std::string designation;
    if (number < 0 || number > 7 || !k100.GetSlotDesignation(number, designation)) {
        ShowWarning(this, "Sorry, not support yet!");
        return;
    }
    if (designation.rfind("K0AI", 0) != 0) return;
    std::string name;
    if (!k100.ReadSlotName(number, name)) return;
    context.slotModuleName = QString::fromStdString(name);
    const char* panel = level == 3 ? "TfrmMK230P" : "TfrmMK230PAlarmSetting";
    RegistryRow row{0, {}, panel, {}, level == 3 ? PanelInitKind::GenericSlot : PanelInitKind::GenericAlarm};
    ShowPanel(row, name, context);
}

} // namespace tavo
