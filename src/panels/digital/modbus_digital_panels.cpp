#include "modbus_digital_panels.h"

namespace tavo {

TfrmMR550Mod::TfrmMR550Mod(QWidget* parent) : TfrmMR550(parent, "R550", DigitalProtocol::Modbus) {}

TfrmMR520Mod::TfrmMR520Mod(QWidget* parent) : TfrmMR520(parent, DigitalProtocol::Modbus) {}

TfrmMR620Mod::TfrmMR620Mod(QWidget* parent) : TfrmMR620(parent, "R620", DigitalProtocol::Modbus) {}

TfrmMR630Mod::TfrmMR630Mod(QWidget* parent) : TfrmMR630(parent, DigitalProtocol::Modbus) {}

TfrmMR560SMod::TfrmMR560SMod(QWidget* parent)
    : TfrmMR560S(parent, "R560S", DigitalProtocol::Modbus) {}

TfrmMR560SOMod::TfrmMR560SOMod(QWidget* parent) : TfrmMR560SO(parent, DigitalProtocol::Modbus) {}

} // namespace tavo
