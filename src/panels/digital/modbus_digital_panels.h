// Modbus variants of the digital I/O panels: the ASCII forms with the Modbus
// protocol object behind them. They add the " Modbus Mapping " list of the coils,
// poll by Modbus (2 × the port's time-out + 500 ms), toggle outputs with
// single-coil writes and only show the general settings.
#pragma once

#include "digital_io_panels.h"

namespace tavo {

class TfrmMR550Mod : public TfrmMR550 {
    Q_OBJECT
public:
    explicit TfrmMR550Mod(QWidget* parent = nullptr);
};

// Sixteen inputs in one read of 16 coils, and the "DI Invert" page on register 231.
class TfrmMR520Mod : public TfrmMR520 {
    Q_OBJECT
public:
    explicit TfrmMR520Mod(QWidget* parent = nullptr);
};

// Outputs only: every tick reads them.
class TfrmMR620Mod : public TfrmMR620 {
    Q_OBJECT
public:
    explicit TfrmMR620Mod(QWidget* parent = nullptr);
};

class TfrmMR630Mod : public TfrmMR630 {
    Q_OBJECT
public:
    explicit TfrmMR630Mod(QWidget* parent = nullptr);
};

// Twelve outputs in one read of 12 coils.
class TfrmMR560SMod : public TfrmMR560S {
    Q_OBJECT
public:
    explicit TfrmMR560SMod(QWidget* parent = nullptr);
};

// The over-current errors in coils 00029..00031, read with the twelve outputs before
// them in one request.
class TfrmMR560SOMod : public TfrmMR560SO {
    Q_OBJECT
public:
    explicit TfrmMR560SOMod(QWidget* parent = nullptr);
};

} // namespace tavo
