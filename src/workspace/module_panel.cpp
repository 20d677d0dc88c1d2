#include "module_panel.h"

namespace tavo {

PanelFactory& PanelFactory::Instance() {
    static PanelFactory factory;
    return factory;
}

void PanelFactory::Register(const std::string& className, PanelMaker maker) {
    makers_[className] = std::move(maker);
}

bool PanelFactory::Has(const std::string& className) const { return makers_.count(className) != 0; }

ModulePanel* PanelFactory::Make(const std::string& className, QWidget* parent) const {
    const auto it = makers_.find(className);
    if (it == makers_.end()) return nullptr;
    ModulePanel* panel = it->second(parent);
    // Every panel is found by its class name, whoever built it.
    if (panel) panel->setObjectName(QString::fromStdString(className));
    return panel;
}

} // namespace tavo
