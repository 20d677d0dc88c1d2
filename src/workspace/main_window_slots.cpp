// The fallback for K-series slots that no registry row names.
#include "main_window.h"

#include "ui_services.h"

namespace tavo {

void TfrmMain::GenericSlotFallback(const std::string&, const std::string&, const std::string&, int,
                                   PanelContext) {
    ShowWarning(this, "Sorry, not support yet!");
}

} // namespace tavo
