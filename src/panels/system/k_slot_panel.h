// A panel attached to one slot of a rack: the controller's address (from the rack
// node) and the slot selector ("S2", from the slot node) the workspace hands it.
#pragma once

#include "panels/common/panel_base.h"

#include <string>

namespace tavo {

class KSlotPanel : public PanelBase {
    Q_OBJECT
public:
    explicit KSlotPanel(QWidget* parent = nullptr) : PanelBase(parent) {}

protected:
    // Bind plus the slot selector; the selector is kept as given, and a text that
    // is none of S0..S7 makes every slot command fail without sending.
    void BindSlot(const PanelContext& context);
    const std::string& SlotText() const { return slot_; }
    // 0..7, or -1 for a selector the rack cannot have.
    int SlotNumber() const;

private:
    std::string slot_;
};

} // namespace tavo
