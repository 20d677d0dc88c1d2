// The rack's counter/frequency slot (K710): its panel (mode, data format, the four
// channels' readings and alarm lamps, the settings file) and the dialog of one
// channel (counter switch, filter scale, initial value, the high and low alarm
// with their output mapping, clearing latches and the count).
#pragma once

#include "k_slot_panel.h"

#include <array>
#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace tavo {

class SettingsReader;
class TavoMK710;

class TfrmMK710 : public KSlotPanel {
    Q_OBJECT
public:
    explicit TfrmMK710(QWidget* parent = nullptr);
    ~TfrmMK710() override;

    void InitModule(const PanelContext& context) override;
    bool HasSettingsFile() const override { return true; }
    void SaveSettings() override;
    void LoadSettings() override;

    void tmrUpdateDataTimer();
    void btUpdateClick();

    static constexpr int kChannels = 4;

    QGroupBox* grpModule;
    QGroupBox* grpGeneral;
    QComboBox* cmbModeSelection;
    QComboBox* cmbDataFormat;
    QPushButton* btUpdate;
    QGroupBox* grpDataArea;
    std::array<QLineEdit*, kChannels> edtAIValCh{};
    std::array<QLineEdit*, kChannels> edtAIUnitCh{};
    std::array<QLabel*, kChannels> imgHiAlarmCh{};
    std::array<QLabel*, kChannels> imgLoAlarmCh{};
    std::array<QLabel*, kChannels> lblHiAlarmCh{};
    std::array<QLabel*, kChannels> lblLoAlarmCh{};
    QTimer* tmrUpdateData;

private:
    void BuildForm();
    bool RefreshGeneral();
    bool Poll();
    void ApplySettingsFile(SettingsReader& reader);

    std::unique_ptr<TavoMK710> mk710_;
};

class TfrmMK710AlarmSetting : public KSlotPanel {
    Q_OBJECT
public:
    explicit TfrmMK710AlarmSetting(QWidget* parent = nullptr);
    ~TfrmMK710AlarmSetting() override;

    void InitModule(const PanelContext& context) override;

    void tmrUpdateDataTimer();
    void btCounterSwitchClick();
    void btUpdateScaleClick();
    void btUpdateInitialValueClick();
    void btUpdateAlarmSettingClick();
    void btClearHighLatchClick();
    void btClearLowLatchClick();
    void btClearCounterClick();

    // The alarm type selectors' items.
    enum AlarmType { kDisable = 0, kLatch = 1 };

    QGroupBox* grpModule;
    QLineEdit* edtCounterMode;
    QLineEdit* edtDataFormat;
    QLineEdit* edtCurrentValue;
    QLabel* imgHiAlarm;
    QLabel* imgLoAlarm;
    QLabel* lblCounterStatus;
    QPushButton* btCounterSwitch;
    QLineEdit* edtFilterScale;
    QPushButton* btUpdateScale;
    QLineEdit* edtInitialValue;
    QPushButton* btUpdateInitialValue;
    QComboBox* cmbHighAlarmType;
    QLineEdit* edtHighLimit;
    QCheckBox* chkHighDOEnable;
    QComboBox* cmbHighDOSlot;
    QComboBox* cmbHighDOChannel;
    QComboBox* cmbLowAlarmType;
    QLineEdit* edtLowLimit;
    QCheckBox* chkLowDOEnable;
    QComboBox* cmbLowDOSlot;
    QComboBox* cmbLowDOChannel;
    QPushButton* btUpdateAlarmSetting;
    QPushButton* btClearHighLatch;
    QPushButton* btClearLowLatch;
    QPushButton* btClearCounter;
    QTimer* tmrUpdateData;

    int Channel() const { return channel_; }

private:
    struct AlarmControls {
        char which; // 'H' or 'L'
        QComboBox* type;
        QLineEdit* limit;
        QCheckBox* enable;
        QComboBox* slot;
        QComboBox* output;
    };
    void BuildForm();
    void BuildAlarmGroup(QWidget* parent, const QString& caption, char which, AlarmControls& c);
    bool RefreshGeneral();
    bool RefreshCounter();
    bool RefreshAlarm();
    bool RefreshStatus();
    bool RefreshValue();
    bool Poll();
    bool WriteAlarmType(const AlarmControls& c, char mode);
    AlarmControls High() const;
    AlarmControls Low() const;

    std::unique_ptr<TavoMK710> mk710_;
    int channel_ = -1;
    unsigned type_ = 0, format_ = 0;
    bool counting_ = false;
    char highMode_ = 'D', lowMode_ = 'D';
};

} // namespace tavo
