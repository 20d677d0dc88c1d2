#include "panels/panels.h"

#include "data_logger_panel.h"
#include "modbus_analog_panels.h"
#include "multi_input_panels.h"
#include "r310_panel.h"
#include "r320t_panel.h"
#include "r330_panel.h"
#include "single_input_panels.h"

#include "workspace/module_panel.h"

namespace tavo {

void RegisterAnalogPanels() {
    auto& factory = PanelFactory::Instance();
    factory.Register("TfrmMR210D", [](QWidget* p) { return new TfrmMR210D(p); });
    factory.Register("TfrmMR210", [](QWidget* p) { return new TfrmMR210(p); });
    factory.Register("TfrmMR220", [](QWidget* p) { return new TfrmMR220(p); });
    factory.Register("TfrmMR230", [](QWidget* p) { return new TfrmMR230(p); });
    factory.Register("TfrmMR250", [](QWidget* p) { return new TfrmMR250(p); });
    factory.Register("TfrmMR310", [](QWidget* p) { return new TfrmMR310(p); });
    factory.Register("TfrmMR330", [](QWidget* p) { return new TfrmMR330(p); });
    factory.Register("TfrmMR320T", [](QWidget* p) { return new TfrmMR320T(p); });
    factory.Register("TfrmMR320TMod", [](QWidget* p) { return new TfrmMR320TMod(p); });

    // The multi-channel inputs: a class per behaviour, its members by their rows.
    // Rows live in the member table for the program's life.
    const auto row = [](const char* designation) -> const MultiInputMember& {
        return *FindMultiInputMember(designation);
    };
    factory.Register("TfrmMR270P", [](QWidget* p) { return new TfrmMR270P(p); });
    factory.Register("TfrmMR280B", [row](QWidget* p) { return new TfrmMR270P(row("R280B"), p); });
    factory.Register("TfrmMR270", [](QWidget* p) { return new TfrmMR270(p); });
    factory.Register("TfrmMR260", [row](QWidget* p) { return new TfrmMR270(row("R260"), p); });
    factory.Register("TfrmMR260P", [](QWidget* p) { return new TfrmMR260P(p); });
    factory.Register("TfrmMR240", [](QWidget* p) { return new TfrmMR240(p); });
    factory.Register("TfrmMR240T", [](QWidget* p) { return new TfrmMR240T(p); });
    factory.Register("TfrmMR280", [](QWidget* p) { return new TfrmMR280(p); });
    factory.Register("TfrmMR810", [](QWidget* p) { return new TfrmMR810(p); });
    factory.Register("TfrmMR270M", [](QWidget* p) { return new TfrmMR270M(p); });
    for (const char* member : {"R820", "R260AN", "R270AN"})
        factory.Register(std::string("TfrmM") + member,
                         [row, member](QWidget* p) { return new TfrmMR810(row(member), p); });

    // Their Modbus variants, and the R330's.
    factory.Register("TfrmMR270PMod", [](QWidget* p) { return new TfrmMR270PMod(p); });
    factory.Register("TfrmMR260PMod", [](QWidget* p) { return new TfrmMR260PMod(p); });
    factory.Register("TfrmMR240Mod", [](QWidget* p) { return new TfrmMR240Mod(p); });
    factory.Register("TfrmMR240TMod", [](QWidget* p) { return new TfrmMR240TMod(p); });
    factory.Register("TfrmMR280BMod", [](QWidget* p) { return new TfrmMR280BMod(p); });
    factory.Register("TfrmMR810Mod", [](QWidget* p) { return new TfrmMR810Mod(p); });
    factory.Register("TfrmMR820Mod", [](QWidget* p) { return new TfrmMR820Mod(p); });
    factory.Register("TfrmMR260ANMod", [](QWidget* p) { return new TfrmMR260ANMod(p); });
    factory.Register("TfrmMR270ANMod", [](QWidget* p) { return new TfrmMR270ANMod(p); });
    factory.Register("TfrmMR330Mod", [](QWidget* p) { return new TfrmMR330Mod(p); });
}

} // namespace tavo
