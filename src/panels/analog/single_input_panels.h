// Panels of the single-channel analog input modules: R210D (TfrmMR210D), the base
// of R210, R220 and R230, and the input side of the strain-gauge module R250.
//
// A panel shows and changes the module's general settings, polls the value, the
// event counter and the alarm/digital status twice a second, sets the alarm mode
// and limits, drives the alarm outputs by hand while the alarm is off, starts the
// calibration dialogs, and saves and loads a settings file.
#pragma once

#include "panels/common/general_settings.h"

#include "devices/range_tables.h"

#include <array>
#include <memory>
#include <string>

class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tavo {

class OutputValueGroup;
class SettingsReader;
class TavoMR210;
class TavoMR250;
class TfrmCalib;

// The number format of an alarm limit: decimals, and how many integer digits the
// module's six-character field has.
struct LimitFormat {
    int decimals;
    int digits;
};

// The limit field for "@AAHI" / "@AALO": sign ("+" above zero, "-" for zero and
// below) and |value| with the format's decimals and its integer part zero-padded
// to the format's digits ("+05.000"). False when the value needs more integer
// digits than the field has, or is not finite.
bool FormatAlarmLimit(double value, LimitFormat format, std::string& out);
// By range list position: R210, R210D and R230, and the R220.
LimitFormat DefaultLimitFormat(int index);
LimitFormat R220LimitFormat(int index);
// A decimal reply ("+01.234") in the shortest general form ("1.234"); a reply that
// is no decimal number (the hexadecimal data format) is shown as it came.
QString ValueText(const std::string& reply);

class TfrmMR210D : public GeneralSettingsPanel {
    Q_OBJECT
public:
    explicit TfrmMR210D(QWidget* parent = nullptr);
    ~TfrmMR210D() override;

    void InitModule(const PanelContext& context) override;
    bool HasSettingsFile() const override { return true; }
    void SaveSettings() override;
    void LoadSettings() override;

    // " Tavo-R210D ": the main group's caption, which names the model.
    QString MainCaption() const;
    const QString& ModuleName() const { return moduleName_; }
    int TypeChangeDelayMs() const { return typeChangeDelayMs_; }

    // Event handlers.
    void btSystemUpdateClick();
    virtual void tmrUpdateAIDataTimer();
    void btAlarmTypeSettingUpdateClick();
    void btHighAlarmLimitUpdateClick() { UpdateAlarmLimit(true); }
    void btLowAlarmLimitUpdateClick() { UpdateAlarmLimit(false); }
    void btDOClick(int n);
    void btDO0Click() { btDOClick(0); }
    void btDO1Click() { btDOClick(1); }
    void btClearAlarmLatchClick();
    void btClearEventCounterClick();
    void btZeroCalClick() { Calibrate(true); }
    void btSpanCalClick() { Calibrate(false); }
    void btCJCCalClick();

    // The form's controls (the address, baud rate, checksum and firmware ones
    // come with GeneralSettingsPanel).
    QGroupBox* grpGeneralSetting;
    QComboBox* cmbTypeChangeAllCh;
    QComboBox* cmbDataFormat;
    QComboBox* cmbIntegrationTime;
    QPushButton* btSystemUpdate;
    QPushButton* bitbtnOff;
    QPushButton* bitbtnOn;
    QComboBox* ComboBox5;
    QGroupBox* grpCalibration;
    QPushButton* btZeroCal;
    QPushButton* btSpanCal;
    QPushButton* btCJCCal;
    QGroupBox* grpDataArea;
    QLineEdit* edtAI_Val;
    QGroupBox* grpAlarmStatus;
    std::array<QPushButton*, 4> btDO{}; // btDO0 .. btDO3 (R250 has four outputs)
    QPushButton* btClearAlarmLatch;
    QGroupBox* grpHighAlarmLimit;
    QLineEdit* edtHighLimt;
    QPushButton* btHighAlarmLimitUpdate;
    QGroupBox* grpLowAlarmLimit;
    QLineEdit* edtLowLimt;
    QPushButton* btLowAlarmLimitUpdate;
    QGroupBox* grpAlarmType;
    QComboBox* cmbAlarmType;
    QPushButton* btAlarmTypeSettingUpdate;
    QGroupBox* grpEventCounter;
    QLineEdit* edtEventCounter;
    QPushButton* btDI;
    QPushButton* btClearEventCounter;

protected:
    // What a member of the family is: its designation, its range list and how
    // many alarm outputs it has.
    struct Model {
        const char* designation;
        RangeList ranges;
        int alarmOutputs;
    };
    TfrmMR210D(const Model& model, QWidget* parent);

    // Hooks the members override (in this order on the form).
    virtual int RangeIndexToCode(int index) const;
    virtual int RangeCodeToIndex(int code) const;
    virtual QString ZeroCalibrationInput(int index) const;
    virtual QString SpanCalibrationInput(int index) const;
    // Puts the data-format bits of the selected item into the command object.
    virtual void WriteDataFormat();
    virtual void ShowDataFormat(const std::string& bits);
    virtual void SetTypeChangeDelay();
    // The alarm-limit format for a range list position.
    virtual LimitFormat AlarmLimitFormat(int index) const;
    // The command object for this model on the port and wire address.
    virtual std::unique_ptr<TavoMR210> MakeCommandObject(TavoComPort* port,
                                                         const std::string& address) const;
    // What the poll reads after a good value: the event counter, the outputs and
    // the digital input.
    virtual void PollAfterValue();
    // Hands the command object to a zero or span calibration dialog.
    virtual void GiveCalibrationObject(TfrmCalib& dialog);

    void RefreshGeneralSetting();
    void DelayForChangeType();
    enum AlarmParts { kAlarmMode = 1, kOutputs = 2, kInput = 4, kAllAlarmParts = 255 };
    void RefreshAlarmStatus(int parts);
    void RefreshAlarmLimits();
    // Hides and disables a group the model does not have.
    static void Drop(QWidget* group);
    void SetTypeChangeDelayMs(int ms) { typeChangeDelayMs_ = ms; }
    TavoMR210* Module() const { return module_.get(); }
    QGridLayout* MainLayout() const { return mainLayout_; }
    // Reads the poll value; shows it and the status texts.
    bool PollValue(bool plainText);

private:
    void BuildForm();
    void UpdateAlarmLimit(bool high);
    void Calibrate(bool zero);
    // Enables the latch and limit controls as the alarm mode allows.
    void EnableAlarmControls();
    bool Shown(const QWidget* control) const;
    void ReadSettings(SettingsReader& reader);

    Model model_;
    QString moduleName_;
    int typeChangeDelayMs_ = 10000;
    std::unique_ptr<TavoMR210> module_;
    QGridLayout* mainLayout_ = nullptr;
};

class TfrmMR210 : public TfrmMR210D {
    Q_OBJECT
public:
    explicit TfrmMR210(QWidget* parent = nullptr);

protected:
    std::unique_ptr<TavoMR210> MakeCommandObject(TavoComPort* port,
                                                 const std::string& address) const override;
};

class TfrmMR220 : public TfrmMR210D {
    Q_OBJECT
public:
    explicit TfrmMR220(QWidget* parent = nullptr);

protected:
    TfrmMR220(const Model& model, QWidget* parent);
    QString ZeroCalibrationInput(int index) const override;
    QString SpanCalibrationInput(int index) const override;
    void SetTypeChangeDelay() override;
    LimitFormat AlarmLimitFormat(int index) const override;
    std::unique_ptr<TavoMR210> MakeCommandObject(TavoComPort* port,
                                                 const std::string& address) const override;
};

// RTD input: no alarm or event counter; the value is shown as the module sends it.
class TfrmMR230 : public TfrmMR220 {
    Q_OBJECT
public:
    explicit TfrmMR230(QWidget* parent = nullptr);
    void tmrUpdateAIDataTimer() override;

protected:
    QString ZeroCalibrationInput(int index) const override;
    QString SpanCalibrationInput(int index) const override;
    void WriteDataFormat() override;
};

// The strain-gauge module: the R250 range list, four alarm outputs, no event
// counter or cold junction, and its excitation output (0 to 10 V) with the value
// area of the output modules and its 0 V / 10 V calibration. The module answers
// slowly, so the port's reply time-out is 300 ms while the panel is open.
class TfrmMR250 : public TfrmMR210D {
    Q_OBJECT
public:
    explicit TfrmMR250(QWidget* parent = nullptr);
    ~TfrmMR250() override;
    void InitModule(const PanelContext& context) override;

    // Event handlers of the excitation output.
    void btnValueOutputClick();
    void btnStartupClick();
    void bitbtn0VClick() { CalibrateOutput(true); }
    void bitbtn10VClick() { CalibrateOutput(false); }

    OutputValueGroup* grpAOData;
    QGroupBox* grpAOCalibration;
    QPushButton* bitbtn0V;
    QPushButton* bitbtn10V;

protected:
    static constexpr int kReplyTimeOutMs = 300;
    // The ranges this list shares with the R210D's, by the R210D's list position.
    int R210Position(int index) const;
    QString ZeroCalibrationInput(int index) const override;
    QString SpanCalibrationInput(int index) const override;
    LimitFormat AlarmLimitFormat(int index) const override;
    std::unique_ptr<TavoMR210> MakeCommandObject(TavoComPort* port,
                                                 const std::string& address) const override;
    void PollAfterValue() override;
    void GiveCalibrationObject(TfrmCalib& dialog) override;

private:
    TavoMR250* Excitation() const;
    void CalibrateOutput(bool zero);

    int previousTimeOut_ = 0;
};

} // namespace tavo
