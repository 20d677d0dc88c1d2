// The rack's analog output slot K310: the panel of its four output channels, and
// the single-channel dialog opened from a channel node below the slot node (range,
// slew rate, output value, start-up value and the 4 mA / 20 mA trims).
#pragma once

#include "panels/common/panel_base.h"
#include "points/k_analog_ranges.h"

#include <array>
#include <memory>
#include <optional>
#include <string>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace tavo {

class TavoMK310;

class TfrmMK310 : public PanelBase {
    Q_OBJECT
public:
    static constexpr int kChannels = 4;
    explicit TfrmMK310(QWidget* parent = nullptr);
    ~TfrmMK310() override;

    void InitModule(const PanelContext& context) override;
    void tmrUpdateAODataTimer();
    void btAOOutputClick(int channel);

    QGroupBox* grpMain;
    std::array<QLabel*, kChannels> labRangeCh{};
    std::array<QLineEdit*, kChannels> edtAOValCh{};
    std::array<QPushButton*, kChannels> btAOOutputCh{};
    std::array<QLineEdit*, kChannels> edtAOReadCh{};

private:
    bool RefreshRanges();
    std::unique_ptr<TavoMK310> module_;
    std::array<int, kChannels> range_{{-1, -1, -1, -1}};
};

class TfrmMK310SingleChannelSetting : public PanelBase {
    Q_OBJECT
public:
    explicit TfrmMK310SingleChannelSetting(QWidget* parent = nullptr);
    ~TfrmMK310SingleChannelSetting() override;

    void InitModule(const PanelContext& context) override;
    void tmrUpdateAODataTimer();
    void btUpdateClick();
    void btAOOutputClick();
    void btSetInitialClick();
    void btTrim4mAClick();
    void btTrim20mAClick();
    // Tag 1 to 4: from the large step down to the large step up.
    void StepClick(int tag);

    int Channel() const { return channel_; }

    QGroupBox* grpMain;
    QComboBox* cmbOutputRange;
    QComboBox* cmbSlewRate;
    QPushButton* btUpdate;
    QLineEdit* edtAOValue;
    QSlider* tbAOValue;
    std::array<QPushButton*, 4> btStep{};
    QLineEdit* edtAORead;
    QPushButton* btAOOutput;
    QPushButton* btSetInitial;
    QPushButton* btTrim4mA;
    QPushButton* btTrim20mA;

private:
    bool RefreshGeneral();
    bool RefreshData();
    bool RefreshOutputValue();
    void FillSlewRates(bool volts);
    void ApplyTrimEnabling();
    void Trim(int mode, const char* what);
    const K310Range* SelectedRange() const;

    std::unique_ptr<TavoMK310> module_;
    int channel_ = -1;
    QString readBack_;
};

} // namespace tavo
