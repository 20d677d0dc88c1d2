#include "k_slot_panel.h"

#include "points/k_slot_data.h"

namespace tavo {

void KSlotPanel::BindSlot(const PanelContext& context) {
    Bind(context);
    slot_ = context.slot.toStdString();
}

int KSlotPanel::SlotNumber() const {
    return SlotDigit(slot_);
}

} // namespace tavo
