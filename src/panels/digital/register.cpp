#include "panels/panels.h"

#include "counter_panels.h"
#include "digital_io_panels.h"
#include "dio_channel_setting.h"
#include "modbus_digital_panels.h"
#include "universal_panels.h"

#include "workspace/module_panel.h"

namespace tavo {
namespace {

template <class Panel> void Add(const char* className) {
    PanelFactory::Instance().Register(className, [](QWidget* parent) { return new Panel(parent); });
}

} // namespace

void RegisterDigitalPanels() {
    Add<TfrmMR510>("TfrmMR510");
    Add<TfrmMR520>("TfrmMR520");
    Add<TfrmMR530>("TfrmMR530");
    Add<TfrmMR540>("TfrmMR540");
    Add<TfrmMR550>("TfrmMR550");
    Add<TfrmMR560S>("TfrmMR560S");
    Add<TfrmMR560SO>("TfrmMR560SO");
    Add<TfrmMR610>("TfrmMR610");
    Add<TfrmMR620>("TfrmMR620");
    Add<TfrmMR630>("TfrmMR630");
    Add<TfrmMR520Mod>("TfrmMR520Mod");
    Add<TfrmMR550Mod>("TfrmMR550Mod");
    Add<TfrmMR560SMod>("TfrmMR560SMod");
    Add<TfrmMR560SOMod>("TfrmMR560SOMod");
    Add<TfrmMR620Mod>("TfrmMR620Mod");
    Add<TfrmMR630Mod>("TfrmMR630Mod");
    Add<TfrmMR850>("TfrmMR850");
    Add<TfrmMR850Mod>("TfrmMR850Mod");
    Add<TfrmMR860>("TfrmMR860");
    Add<TfrmMR860Mod>("TfrmMR860Mod");
    Add<TfrmMDIOChannelSetting>("TfrmMDIOChannelSetting");
    Add<TfrmMR850MDIOChannelSettingMod>("TfrmMR850MDIOChannelSettingMod");
    Add<TfrmMR860MDIOChannelSettingMod>("TfrmMR860MDIOChannelSettingMod");
    Add<TfrmMR710>("TfrmMR710");
    Add<TfrmMR710D>("TfrmMR710D");
}

} // namespace tavo
