#include "panels/panels.h"

#include "r910_panel.h"
#include "z_series_panels.h"

#include "workspace/module_panel.h"

namespace tavo {
namespace {

template <class Panel> void Add(const char* className) {
    PanelFactory::Instance().Register(className, [](QWidget* parent) { return new Panel(parent); });
}

} // namespace

void RegisterConverterPanels() {
    Add<TfrmMR910>("TfrmMR910");
    Add<TfrmMZ350>("TfrmMZ350");
    Add<TfrmMZ320>("TfrmMZ320");
    Add<TfrmMZ310>("TfrmMZ310");
}

} // namespace tavo
