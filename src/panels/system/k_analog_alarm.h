// The channel alarm dialogs of the rack's analog input slots, opened from a
// channel node "(CH n)" below the slot node: the channel's enable state, reading
// and alarm lamps, and its high and low alarm (type, limit, and the digital output
// of another slot it drives). One design for every analog input member; the
// member row gives the range list the limits are checked and padded against.
#pragma once

#include "k_analog_slot.h"

#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tavo {

class UpDown;

class TfrmMK230AlarmSetting : public PanelBase {
    Q_OBJECT
public:
    explicit TfrmMK230AlarmSetting(const KAnalogSlotMember& member, QWidget* parent = nullptr);
    ~TfrmMK230AlarmSetting() override;

    void InitModule(const PanelContext& context) override;

    void tmrUpdateAIDataTimer();
    void btUpdateDataAreaClick();
    void btClearHLatchClick();
    void btClearLLatchClick();

    int Channel() const { return channel_; }

    // One alarm's controls: [0] high, [1] low.
    struct AlarmControls {
        QGroupBox* group;
        QComboBox* type; // "Disable", "Momentary", "Latch"
        QLineEdit* limit;
        QCheckBox* doMap;
        QLineEdit* slot;
        UpDown* slotChoose;
        QLineEdit* output;
        UpDown* outputChoose;
    };

    QGroupBox* grpMain;
    QCheckBox* chkChannelEnable;
    QComboBox* cmbInputRanges;
    QComboBox* cmbDataFormat;
    QComboBox* cmbIntegrationTime;
    QLineEdit* edtAIVal;
    QLabel* labAIUnit;
    QLabel* imgHiAlarm;
    QLabel* imgLoAlarm;
    std::array<AlarmControls, 2> alarm{};
    QPushButton* btUpdateDataArea;
    QPushButton* btClearHLatch;
    QPushButton* btClearLLatch;

private:
    void BuildForm();
    AlarmControls BuildAlarm(const QString& caption, const QString& x);
    void ApplyTypeEnabling(int which);
    bool InitDataArea();
    bool RefreshAlarms();
    bool ReadChannelData();
    // The alarm settings of the controls as the slot takes them; false, with the
    // message shown, for a limit or a mapping the controls do not hold validly.
    struct Planned {
        int type = 0;
        std::string limit;
        bool mapped = false;
        int slot = -1, output = -1;
    };
    bool Plan(int which, Planned& out);
    bool WriteAlarm(int which, const Planned& plan);
    const KAnalogRange* Range() const;

    const KAnalogSlotMember& member_;
    KAnalogSlotObject module_;
    int channel_ = 0;
    bool enabled_ = false;
    bool twosComplement_ = false; // the slot's data format as last read
    int rangeCode_ = -1;
    std::array<char, 2> mode_{{'D', 'D'}};
    std::array<int, 2> lampShown_{{-1, -1}};
};

} // namespace tavo
