// Panels of the universal digital I/O modules: R850 (eight outputs, seven inputs)
// and R860 (eight outputs), ASCII and Modbus. They are the digital I/O form whose
// channel buttons open the channel-setting dialog; the ASCII R850 panel adds the
// locate command and the switch to the boot loader.
#pragma once

#include "digital_io_panels.h"

namespace tavo {

class TfrmMR850 : public TfrmMR550 {
    Q_OBJECT
public:
    explicit TfrmMR850(QWidget* parent = nullptr);

    // Opens the channel-setting dialog of "DO3" or "DI0" and waits for it to close.
    void OpenChannel(const QString& channel);
    void btLocateClick();
    void btDownloadModeClick();

    QPushButton* btLocate;
    QPushButton* btDownloadMode;

protected:
    TfrmMR850(QWidget* parent, const QString& model, DigitalProtocol protocol);
    int DIChannelCount() const override { return 7; }
};

class TfrmMR860 : public TfrmMR850 {
    Q_OBJECT
public:
    explicit TfrmMR860(QWidget* parent = nullptr);

protected:
    TfrmMR860(QWidget* parent, DigitalProtocol protocol);
    int DIChannelCount() const override { return 0; }
};

class TfrmMR850Mod : public TfrmMR850 {
    Q_OBJECT
public:
    explicit TfrmMR850Mod(QWidget* parent = nullptr);
};

class TfrmMR860Mod : public TfrmMR860 {
    Q_OBJECT
public:
    explicit TfrmMR860Mod(QWidget* parent = nullptr);
};

} // namespace tavo
