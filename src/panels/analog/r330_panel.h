// Panel of the four-channel analog output module R330: general settings with slew
// rate, protocol and communication safety time, the channel setup (range, start-up
// value, emergency value and input per channel), direct output of one channel with
// its scroll bar, the digital inputs, and the 4 mA / 20 mA calibration.
//
// Everything the panel reads from or writes to the channels goes through an
// R330Link; the Modbus variant of the panel is this form with another link.
#pragma once

#include "r330_link.h"

#include "panels/common/general_settings.h"

#include <array>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace tavo {

class TavoMR330;

class TfrmMR330 : public GeneralSettingsPanel {
    Q_OBJECT
public:
    static constexpr int kChannels = R330Link::kChannels;

    explicit TfrmMR330(QWidget* parent = nullptr);
    ~TfrmMR330() override;

    void InitModule(const PanelContext& context) override;

    // Event handlers.
    void btSystemUpdateClick();
    void tmrUpdateDataTimer();
    void btAOReadClick();
    void btAOFunctionSetClick();
    void cmbOutputChChange();
    void scrbarAOChange();
    void btAOOutputClick();
    void bitbtn4mAClick() { Calibrate(true); }
    void bitbtn20mAClick() { Calibrate(false); }

    QString MainCaption() const;

    QGroupBox* grpGeneralSetting;
    QComboBox* cmbSlewRate;
    QComboBox* cmbPotocolSelect;
    QLineEdit* edtCommSafety;
    QLabel* lblCommSafetyUnit;
    QPushButton* btSystemUpdate;
    QGroupBox* grpChannelSetup;
    std::array<QComboBox*, kChannels> cmbAORange{};   // cmbAORange1 .. cmbAORange4
    std::array<QCheckBox*, kChannels> ckbEmerInput{}; // ckbEmerInput1 ..
    std::array<QLineEdit*, kChannels> txbEmerVal{};
    std::array<QLineEdit*, kChannels> txbStartUpVal{};
    std::array<QLineEdit*, kChannels> txbCurVal{};
    // The heads of the emergency input, emergency value and start-up value columns.
    std::array<QLabel*, 3> channelSettingHeads{};
    QPushButton* btAORead;
    QPushButton* btAOFunctionSet;
    QGroupBox* grpOutput;
    QComboBox* cmbOutputCh;
    QLineEdit* edtAOOutput;
    QLabel* lblOutputUnit;
    QScrollBar* scrbarAO;
    QPushButton* btAOOutput;
    QLabel* lblCalibration;
    QPushButton* bitbtn4mA;
    QPushButton* bitbtn20mA;
    QGroupBox* grpDI;
    std::array<QPushButton*, kChannels> bitbtnDI{}; // bitbtnDI1 .. bitbtnDI4
    QLineEdit* edtDIData;

protected:
    // `model` names the main group: " Tavo-" + model + " " (the form's objectName
    // is "TfrmM" + model without blanks; a variant sets its own after).
    TfrmMR330(const QString& model, QWidget* parent);
    // The link to the module's channels, made by InitModule once the command object
    // exists.
    virtual std::unique_ptr<R330Link> MakeLink(TavoMR330& module);
    virtual void RefreshGeneral();
    // After every poll tick, with what it read.
    virtual void AfterPoll(bool /*outputs*/, bool /*inputs*/) {}
    // The error of a failed range write of channel n (0 to 3).
    virtual QString RangeWriteFailure(int n) const;

    TavoMR330* Module() const { return module_.get(); }
    R330Link* Link() const { return link_.get(); }

private:
    void BuildForm(const QString& model);
    // Reads the outputs into the fields of the channels that gave a value; false when
    // any gave none.
    bool ReadOutputs();
    // Reads every channel's setup; false (and the status says so) when any failed.
    bool RefreshChannelSetup();
    void Calibrate(bool fourMilliamperes);
    // The selected output channel's range as last read, or null.
    const OutputChannelRange* OutputRange() const;
    void SetScrollQuietly(int position);

    std::unique_ptr<TavoMR330> module_;
    std::unique_ptr<R330Link> link_;
    // What the module last reported per channel.
    std::array<int, kChannels> rangeCode_{-1, -1, -1, -1};
    std::array<std::optional<double>, kChannels> current_{};
};

} // namespace tavo
