// Modbus variants of the analog panels. The input variants are the multi-channel
// form with a channel protocol over registers and coils: raw values in holding
// registers 1 .. 8 that the panel scales by each channel's range, ranges in 201 ..,
// the enable mask in 221, the burn-out flags in coils 201 .., the firmware in 213.
// The general settings only show what the node and the port say; the list
// `lstviewModbus` shows the raw registers. TfrmMR270PMod is the base; a member
// differs from it in its channel count, its range list and its scaling table.
// TfrmMR330Mod is the R330 form with the Modbus channel link.
#pragma once

#include "multi_input_panels.h"
#include "r330_panel.h"

#include "points/modbus_analog_data.h"

#include <cstdint>
#include <vector>

class QGroupBox;

namespace tavo {

class ModbusMapList;
class ModbusMultiInput;
class R330ModbusLink;

// One row of the Modbus member table.
struct ModbusInputMember {
    const char* designation; // as the multi-channel member table names it ("R280B")
    const char* caption;     // the main group's caption
    RawScaling scaling;
};

class TfrmMR270PMod : public TfrmMR270P {
    Q_OBJECT
public:
    explicit TfrmMR270PMod(QWidget* parent = nullptr);
    ~TfrmMR270PMod() override;

    void InitModule(const PanelContext& context) override;
    bool HasSettingsFile() const override { return false; }
    // The configuration cannot be written over Modbus; the controls are disabled.
    void btSystemUpdateClick() override {}

    RawScaling Scaling() const { return row_.scaling; }

    QGroupBox* grpModbusMapping = nullptr;
    ModbusMapList* lstviewModbus = nullptr;

protected:
    TfrmMR270PMod(const ModbusInputMember& row, QWidget* parent);

    void RefreshGeneral() override;
    void RefreshData() override;
    std::unique_ptr<MultiInputProtocol> MakeProtocol() override;
    int MaskWritePauseMs() const override { return 0; }

private:
    // The value edits and the list from what the polls last read.
    void ShowReadings();

    const ModbusInputMember& row_;
    ModbusMultiInput* modbus_ = nullptr; // the protocol object, owned by the base
    std::vector<std::uint16_t> raw_;
    bool rawRead_ = false;
    std::uint32_t burnOut_ = 0;
    bool newThermocoupleSpan_ = true;
};

// The members, each with its row.
class TfrmMR260PMod : public TfrmMR270PMod {
    Q_OBJECT
public:
    explicit TfrmMR260PMod(QWidget* parent = nullptr);

protected:
    TfrmMR260PMod(const ModbusInputMember& row, QWidget* parent) : TfrmMR270PMod(row, parent) {}
};

class TfrmMR240Mod : public TfrmMR270PMod {
    Q_OBJECT
public:
    explicit TfrmMR240Mod(QWidget* parent = nullptr);

protected:
    TfrmMR240Mod(const ModbusInputMember& row, QWidget* parent) : TfrmMR270PMod(row, parent) {}
};

class TfrmMR240TMod : public TfrmMR270PMod {
    Q_OBJECT
public:
    explicit TfrmMR240TMod(QWidget* parent = nullptr);

protected:
    TfrmMR240TMod(const ModbusInputMember& row, QWidget* parent) : TfrmMR270PMod(row, parent) {}
};

class TfrmMR280BMod : public TfrmMR270PMod {
    Q_OBJECT
public:
    explicit TfrmMR280BMod(QWidget* parent = nullptr);

protected:
    TfrmMR280BMod(const ModbusInputMember& row, QWidget* parent) : TfrmMR270PMod(row, parent) {}
};

class TfrmMR810Mod : public TfrmMR270PMod {
    Q_OBJECT
public:
    explicit TfrmMR810Mod(QWidget* parent = nullptr);

protected:
    TfrmMR810Mod(const ModbusInputMember& row, QWidget* parent) : TfrmMR270PMod(row, parent) {}
};

class TfrmMR820Mod : public TfrmMR810Mod {
    Q_OBJECT
public:
    explicit TfrmMR820Mod(QWidget* parent = nullptr);

protected:
    TfrmMR820Mod(const ModbusInputMember& row, QWidget* parent) : TfrmMR810Mod(row, parent) {}
};

class TfrmMR260ANMod : public TfrmMR810Mod {
    Q_OBJECT
public:
    explicit TfrmMR260ANMod(QWidget* parent = nullptr);

protected:
    TfrmMR260ANMod(const ModbusInputMember& row, QWidget* parent) : TfrmMR810Mod(row, parent) {}
};

class TfrmMR270ANMod : public TfrmMR820Mod {
    Q_OBJECT
public:
    explicit TfrmMR270ANMod(QWidget* parent = nullptr);

protected:
    TfrmMR270ANMod(const ModbusInputMember& row, QWidget* parent) : TfrmMR820Mod(row, parent) {}
};

class TfrmMR330Mod : public TfrmMR330 {
    Q_OBJECT
public:
    explicit TfrmMR330Mod(QWidget* parent = nullptr);

    void InitModule(const PanelContext& context) override;

    QGroupBox* grpModbusMapping = nullptr;
    ModbusMapList* lstviewModbus = nullptr;

protected:
    std::unique_ptr<R330Link> MakeLink(TavoMR330& module) override;
    void RefreshGeneral() override;
    void AfterPoll(bool outputs, bool inputs) override;
    QString RangeWriteFailure(int n) const override;

private:
    R330ModbusLink* modbus_ = nullptr; // the link, owned by the base
};

} // namespace tavo
