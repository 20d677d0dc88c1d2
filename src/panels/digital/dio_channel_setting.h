// The channel-setting dialog of the universal digital I/O modules (R850, R860):
// one input channel's mode (DI, counter, latches, frequency) with its counter,
// latch, frequency and input filter, or one output channel's mode (D/O, pulse
// output, switching delays) with its pulse waveform, delays and pulse trains.
// Opened from the tree's (DIn)/(DOn) nodes in the panel area, or from a channel
// button of the module's panel as a dialog. The Modbus dialogs are the same form
// with the Modbus protocol object behind it.
#pragma once

#include "digital_links.h"

#include "panels/common/panel_base.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace tavo {

class DioChannelLink;
class TavoMR850;

class TfrmMDIOChannelSetting : public PanelBase {
    Q_OBJECT
public:
    explicit TfrmMDIOChannelSetting(QWidget* parent = nullptr);
    ~TfrmMDIOChannelSetting() override;

    // Context: port, parent designation ("R850"), status bar, tree, channel text
    // ("DO0", "DI3"), address ("*" talks to 00).
    void InitModule(const PanelContext& context) override;

    bool IsOutput() const { return output_; }
    int Channel() const { return channel_; }

    // Handlers of the form's events.
    void rbtnDIModeClick(int mode);
    void rbtnDOModeClick(int mode);
    void bitbtnDIUpdateClick();
    void bitbtnDOUpdateClick();
    void cmdCounterStartClick();
    void btCounterClearClick();
    void btClearLatchClick();
    void btnStartupClick();
    void rbtnFilterClick();
    // The pulse width fields were edited: the frequency and duty shown follow.
    void edtPulseWidthExit();
    void tmrRefreshDITimer();

    // The frequency ("%7.2f" Hz) and duty ("%5.2f" %) of a pulse of `high` and `low`
    // tenths of a millisecond; nothing when either is below 1.
    struct Waveform {
        QString frequency;
        QString duty;
    };
    static std::optional<Waveform> PulseWaveform(std::uint32_t high, std::uint32_t low);

    QGroupBox* grpChannel;
    // Input side.
    QGroupBox* grpDIConfig;
    QGroupBox* grpDIMode;
    std::array<QRadioButton*, 5> rbtnDIMode{}; // DI, Counter, Lo to Hi Latch, Hi to Lo Latch, Frequency
    QLabel* lblDIModeText;
    QGroupBox* grpCounter;
    QLineEdit* edtCounterValue;
    QPushButton* cmdCounterStart;
    QPushButton* btCounterClear;
    QGroupBox* grpFrequency;
    QLineEdit* edtFrequency;
    QGroupBox* grpClearLatch;
    QPushButton* btClearLatch;
    QGroupBox* grpFilter;
    QRadioButton* rbtnFilterDisable;
    QRadioButton* rbtnFilterEnable;
    QLineEdit* edtLoWidth;
    QLineEdit* edtHiWidth;
    QLabel* lblLoUnit;
    QLabel* lblHiUnit;
    QCheckBox* chkKeepCounter;
    QCheckBox* chkInvert;
    QPushButton* bitbtnDIUpdate;
    // Output side.
    QGroupBox* grpDOConfig;
    QGroupBox* grpDOMode;
    std::array<QRadioButton*, 4> rbtnDOMode{}; // D/O, Pulse Output, Lo to Hi Delay, Hi to Lo Delay
    QGroupBox* grpPulse;
    QLineEdit* edtPulseHiWidth;
    QLineEdit* edtPulseLoWidth;
    QLabel* lblFreq;
    QLabel* lblDuty;
    QGroupBox* grpPulseCount;
    QRadioButton* rbtnContinuous;
    QRadioButton* rbtnCount;
    QLineEdit* edtCount;
    QLineEdit* edtCurrentCount;
    QPushButton* btnStartup;
    QGroupBox* grpDelay;
    QLineEdit* edtDelay;
    QPushButton* bitbtnDOUpdate;
    QTimer* tmrRefreshDI;

protected:
    TfrmMDIOChannelSetting(QWidget* parent, DigitalProtocol protocol);

private:
    void BuildForm();
    QGroupBox* BuildInputSide();
    QGroupBox* BuildOutputSide();
    void StartInput();
    void StartOutput();
    // What a mode display may read beyond the mode itself: at start-up nothing.
    enum class Reads { ModeOnly, All };
    // Shows the groups of input mode `selected` against the module's mode byte.
    void ShowInputMode(int selected, unsigned moduleByte, Reads reads = Reads::All);
    // Shows the groups of output mode `selected` with the module's timings.
    void ShowOutputMode(int selected, Reads reads = Reads::All);
    void ApplyFilterState();
    void ShowWaveform(bool complain);
    int SelectedDIMode() const;
    int SelectedDOMode() const;

    DigitalProtocol protocol_;
    std::unique_ptr<TavoMR850> device_;
    std::unique_ptr<DioChannelLink> link_;
    QButtonGroup* diModes_ = nullptr;
    QButtonGroup* doModes_ = nullptr;
    bool output_ = false;
    int channel_ = -1;
    unsigned moduleByte_ = 0; // the input mode byte last read
};

class TfrmMR850MDIOChannelSettingMod : public TfrmMDIOChannelSetting {
    Q_OBJECT
public:
    explicit TfrmMR850MDIOChannelSettingMod(QWidget* parent = nullptr);
};

class TfrmMR860MDIOChannelSettingMod : public TfrmMDIOChannelSetting {
    Q_OBJECT
public:
    explicit TfrmMR860MDIOChannelSettingMod(QWidget* parent = nullptr);
};

} // namespace tavo
