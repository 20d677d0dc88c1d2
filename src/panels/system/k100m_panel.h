// The panel of a K100 rack controller found speaking Modbus RTU (K100M, K100EM):
// the rack's identification and slot table on the "Main" page, one page per slot
// with the slot's data, polled twice a second, and its outputs and counter
// controls.
#pragma once

#include "points/k100_modbus.h"

#include "panels/common/panel_base.h"

#include <array>
#include <memory>
#include <vector>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTimer;

namespace tavo {

class PointLampGroup;
class RegisterValueGroup;
class TavoMK100;
class TavoModbusCOM;

class TfrmMK100M : public PanelBase {
    Q_OBJECT
public:
    explicit TfrmMK100M(QWidget* parent = nullptr);
    ~TfrmMK100M() override;

    void InitModule(const PanelContext& context) override;

    // Handlers of the form's events.
    void PageControl1Change(int index);
    void Bt_ChangeViewClick();
    void tmrUpdateDataTimer();
    void bitbtnDIO0Click(int point);
    void Bt_AIChViewClick();
    void Bt_DataFormatClick();
    void Bt_AIOSet0Click(int channel);
    void Bt_AIOClear0Click(int channel);
    void bitbtnOF0Click(int channel);
    // A value typed into an output's row and confirmed with Enter.
    void AIOValueEntered(int row, const QString& text);

    static constexpr int kSlots = kK100ModbusSlots;
    static constexpr int kCounterChannels = 4;

    QGroupBox* grpModule;
    QTabWidget* PageControl1;
    QWidget* TS_Main;
    std::array<QWidget*, kSlots> TS_Slot{};
    QLineEdit* Edt_Firmware;
    std::array<QLineEdit*, kSlots> Edt_MainModule{};
    std::array<QLineEdit*, kSlots> Edt_MainStart{};
    std::array<QLineEdit*, kSlots> Edt_MainEnd{};

    QWidget* DataArea;
    QGroupBox* GP_SlotInfo;
    QLineEdit* Edt_SlotNum;
    QLineEdit* Edt_Module;
    QLineEdit* Edt_StartAddr;
    QLineEdit* Edt_EndAddr;
    PointLampGroup* GP_DIO;
    QPushButton* Bt_ChangeView;
    RegisterValueGroup* GP_AIO;
    QPushButton* Bt_AIChView;
    QPushButton* Bt_DataFormat;
    QGroupBox* GP_Set;
    std::array<QPushButton*, kCounterChannels> Bt_AIOSet{};
    std::array<QPushButton*, kCounterChannels> Bt_AIOClear{};
    std::array<QPushButton*, kCounterChannels> bitbtnOF{};
    std::array<QLabel*, kCounterChannels> LB_CntStatus{};
    QTimer* tmrUpdateData;

    const K100ModbusRack& Rack() const { return rack_; }
    bool Initialized() const { return initialized_; }

private:
    void BuildForm();
    QWidget* BuildMainPage();
    void BuildDataArea();
    bool ReadRack();
    void InitFailed();
    // The slot of the page shown, or -1 on the "Main" page.
    int CurrentSlot() const;
    void ShowSlot(int slot);
    void ShowDioCaptions();
    void ShowAioLabels();
    bool PollSlot(int slot);
    bool ReadCounterStatus(int slot);
    void ShowCounter(int channel, const K100CounterState& state);
    bool WriteCounter(int channel, K100CounterAction action);
    // A counter button: the write, its message on failure, and a fresh poll.
    void RunCounterControl(int channel, K100CounterAction action);
    bool ReadData(bool coils, int reference, int count, std::vector<std::uint8_t>& bytes);
    bool WriteCoil(int reference, bool on);
    bool WriteRegister(int reference, int value);

    std::unique_ptr<TavoMK100> k100_;
    TavoModbusCOM* modbus_ = nullptr;
    int slave_ = 0;
    bool initialized_ = false;
    K100ModbusRack rack_;
    bool dioAddressView_ = false;
    bool aioAddressView_ = false;
    bool hexView_ = false;
    // What the last poll of the shown slot read.
    std::vector<std::uint16_t> words_;
    std::array<K100CounterState, kCounterChannels> counters_{};
};

} // namespace tavo
