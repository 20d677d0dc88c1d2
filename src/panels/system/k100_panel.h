// The panel of the K100 and K100E rack controllers: general settings (baud rate,
// checksum, protocol and the Modbus serial format), the firmware update, the slot
// list, the communication watchdog and the rack's Modbus address map with its
// file. It has no poll timer: it reads when it opens, when the address map's page
// is shown, and on its buttons.
#pragma once

#include "k100_map.h"

#include "panels/common/panel_base.h"

#include <array>
#include <memory>
#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTreeWidget;

namespace tavo {

class ModuleTree;
class TavoMK100;

class TfrmMK100 : public PanelBase {
    Q_OBJECT
public:
    explicit TfrmMK100(QWidget* parent = nullptr);
    ~TfrmMK100() override;

    void InitModule(const PanelContext& context) override;

    // Handlers of the form's events.
    void ButtonUpdateClick();
    void ButtonDownloadClick();
    void btnUpdatWDTClick();
    void PageControl1Change(int index);
    void Bt_RefreshClick();
    void Bt_ConfirmClick();
    void CB_RefType_0Change(int slot);
    void CB_Len_0Change(int slot);
    void Bt_AutoClick();
    void Bt_SaveClick();
    void Bt_LoadClick();

    static constexpr int kSlots = kK100MapSlots;
    // The page of the address map in PageControl1.
    static constexpr int kModbusPage = 2;

    // Serial format codes of CB_COMSetting's items.
    static constexpr std::array<int, 4> kComSettingCodes = {0x0C, 0x2C, 0x4C, 0x0E};

    QGroupBox* grpModule;
    QGroupBox* GroupBoxGeneral;
    QLineEdit* EditAddrDec;
    QLineEdit* EditAddrHex;
    QComboBox* ComboBoxBaudRate;
    QLabel* LabelCheckSum;
    QCheckBox* CheckBoxCheckSum;
    QLineEdit* EditFirmwareVer;
    QPushButton* ButtonUpdate;
    QPushButton* ButtonDownload;
    QLabel* lblProtocol;
    QComboBox* cmbPotocolSelect;
    QLabel* LabelModbusOnly;
    QComboBox* CB_COMSetting;

    QTabWidget* PageControl1;
    QWidget* TSDescription;
    QWidget* TSWatchdog;
    QWidget* TSModbus;
    QTreeWidget* ListView5KModule;
    QLineEdit* edtTimeout;
    std::array<QCheckBox*, kSlots> chkWDT{};
    QPushButton* btnUpdatWDT;

    QGroupBox* GroupBoxSettings;
    std::array<QLabel*, kSlots> LB_Slot{};
    std::array<QLineEdit*, kSlots> Edt_S{};
    std::array<QComboBox*, kSlots> CB_RefType{};
    std::array<QLineEdit*, kSlots> Edt_AddrHead{};
    std::array<QLineEdit*, kSlots> Edt_StartAd{};
    std::array<QComboBox*, kSlots> CB_Len{};
    QPushButton* Bt_Auto;
    QPushButton* Bt_Save;
    QPushButton* Bt_Confirm;
    QPushButton* Bt_Refresh;
    QPushButton* Bt_Load;
    QLabel* LB_ShowModStatus;

    // What the panel read (for tests and the firmware update).
    int SlotCount() const { return slotCount_; }
    bool ModbusCapable() const { return capable_; }
    K100SlotKind SlotKind(int slot) const { return kinds_[static_cast<std::size_t>(slot)]; }

    // The number after the first character of a firmware text ("A3.10" -> 3), as
    // "%d" reads it; a controller above 2 has the Modbus functions.
    static bool IsModbusCapable(const QString& firmware);

private:
    void BuildForm();
    void BuildWatchdogPage();
    void BuildModbusPage();
    void RefreshGeneral();
    void RefreshSlotList();
    void RefreshWatchdog();
    void ReadMap();
    void RefreshTree();
    // The protocol selector's consequences for the checksum box and CB_COMSetting.
    void ApplyProtocolRules();
    void ApplyMapEnabling();
    K100Map CurrentMap() const;
    void ShowRow(int slot, const K100MapRow& row);
    void ShowMap(const K100Map& map);

    std::unique_ptr<TavoMK100> k100_;
    ModuleTree* tree_ = nullptr;
    bool generalRead_ = false;
    bool capable_ = false;
    bool mapRead_ = false;
    bool userMap_ = false;
    int slotCount_ = 4;
    std::string moduleName_;
    std::array<K100SlotKind, kSlots> kinds_{};
    std::array<int, kSlots> defaultLengths_{};
};

} // namespace tavo
