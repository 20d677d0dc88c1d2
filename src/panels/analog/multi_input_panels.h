// Panels of the multi-channel analog input modules. TfrmMR270P (eight channels,
// per-channel ranges, channel enable mask, communication watchdog, protocol
// selection, burn-out display) is the base; members that differ from it only in
// their rows of the member table (channel count, range lists, calibration texts,
// waits) are rows handed to the class whose behaviour they share, and a member has
// a class of its own only for behaviour of its own:
//   TfrmMR270P   R270P, R280B (the module reports itself as R280P)
//   TfrmMR270    R270, R260: one range for all channels, no watchdog or protocol
//   TfrmMR260P   R260P: the protocol list enables and disables the checksum
//   TfrmMR240    R240: six RTD channels, per-channel calibration, firmware rules
//   TfrmMR240T   R240T: thermistors, temperature unit, lead-wire compensation
//   TfrmMR280    R280: per-channel calibration with negative span
//   TfrmMR810    R810, R820, R260AN, R270AN: the "Advanced Setup" page
// The panel reads and writes its channels through a MultiInputProtocol, so that the
// Modbus variants share the form, the data area and every hook.
#pragma once

#include "multi_input_protocol.h"

#include "panels/common/channel_controls.h"
#include "panels/common/general_settings.h"

#include "devices/range_tables.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTimer;

namespace tavo {

class SettingsReader;
class SettingsWriter;
class TavoMR240;
class TavoMR240T;
class TavoMR270P;
class TavoMR280;
class TavoMR810;
class TfrmCalib;

// How a member words the zero calibration signal when it has no table for it.
enum class ZeroText {
    CurrentOrMillivolt, // "0 mA" for a current range, else "0 mV"
    ByUnit,             // "0 mA", "0 V" or "0 mV" by the range's unit
    Millivolt,          // always "0 mV"
};

// One row of the member table.
struct MultiInputMember {
    const char* designation = "";  // "R280B": the panel class is "TfrmM" + designation
    const char* captionModel = ""; // "R280+": the main caption is " Tavo-" + this + " "
    int channels = 8;
    RangeList ranges = RangeList::R270P; // the range list of every channel ...
    // ... except channel 0's, where it lists a range under another text (R280).
    std::optional<RangeList> channel0Ranges{};
    int typeChangeDelayMs = 3000; // the wait after a general-settings write
    // After that wait and the general settings' read, the pause before the channel
    // setup is read.
    int channelRereadPauseMs = 100;
    // Status text when the enable mask cannot be read.
    const char* channelFailure = "Fail to fresh AI status!";
    bool settingsFile = true;
    // Calibration signals by the list position of channel 0's range (or of the
    // all-channel range); positions beyond the table get spanOther / zeroOther.
    std::vector<const char*> spanTexts{};
    const char* spanOther = "15mV";
    std::vector<const char*> zeroTexts{}; // empty: by zeroRule
    ZeroText zeroRule = ZeroText::CurrentOrMillivolt;
    const char* zeroOther = "0 mV";
    // The span text of one list position that changed with firmware A2.02.
    int newSpanItem = -1;
    const char* newSpanText = "";
};

// The member of a designation ("R270P", "R280B", ...); null for other models.
const MultiInputMember* FindMultiInputMember(std::string_view designation);
// Every member, in the order of the member table.
const std::vector<const MultiInputMember*>& MultiInputMembers();

class TfrmMR270P : public GeneralSettingsPanel {
    Q_OBJECT
public:
    static constexpr int kMaxChannels = 8;

    explicit TfrmMR270P(QWidget* parent = nullptr);
    // A member that differs from its class only in its table row.
    TfrmMR270P(const MultiInputMember& member, QWidget* parent);
    ~TfrmMR270P() override;

    void InitModule(const PanelContext& context) override;
    bool HasSettingsFile() const override;
    void SaveSettings() override;
    void LoadSettings() override;

    // " Tavo-R270+ ": the main group's caption, which names the model.
    QString MainCaption() const;
    const MultiInputMember& Member() const { return member_; }
    bool NewThermocoupleSpan() const { return newThermocoupleSpan_; }
    int TypeChangeDelayMs() const { return typeChangeDelayMs_; }
    // The hook ChannelCount for callers outside the family.
    int Channels() const { return ChannelCount(); }

    // Event handlers.
    virtual void btSystemUpdateClick();
    void btSingleChUpdateClick() { UpdateChannelSetup(); }
    void tmrUpdateAIDataTimer() { RefreshData(); }
    void btRefreshAIStatusClick();
    void btFollowCh0Click();
    void btCheckAllClick();
    void btUncheckAllClick();
    void btZeroCalClick() { Calibrate(CalibrationMode::Zero); }
    void btSpanCalClick() { Calibrate(CalibrationMode::Span); }
    virtual void btCJCCalClick();

    // The form's controls (address, baud rate, checksum and firmware come with
    // GeneralSettingsPanel).
    QGroupBox* grpGeneralSetting;
    QComboBox* cmbDataFormat;
    QLabel* lblIntegrationTime;
    QComboBox* cmbIntegrationTime;
    QLabel* lblCommWDT;
    QLineEdit* edtCommWDT;
    QLabel* lblCommWDTUnit;
    QLabel* lblProtocol;
    QComboBox* cmbPotocolSelect;
    QLabel* lblCOMSetting;
    QComboBox* CB_COMSetting;
    QPushButton* btSystemUpdate;
    QGroupBox* grpCalibration;
    QPushButton* btZeroCal;
    QPushButton* btSpanCal;
    QPushButton* btCJCCal;
    QTabWidget* PageControl1;
    QWidget* TS_ChannelSetup;
    QWidget* TS_Filter;
    std::unique_ptr<ChannelArray> channels;
    QPushButton* btSingleChUpdate;
    QPushButton* btRefreshAIStatus;
    QPushButton* btFollowCh0;
    QPushButton* btCheckAll;
    QPushButton* btUncheckAll;

protected:
    enum class CalibrationMode { Zero, Span, NegativeSpan };

    // Hooks, in the order of the form's virtual operations.
    virtual void RefreshGeneral();
    virtual void RefreshChannelSetup();
    virtual int RangeIndexToCode(int index) const;
    virtual void WriteProtocol();
    virtual void BeforeConfigurationWrite() {}
    virtual bool ReadCommWDT();
    virtual bool ReadProtocol();
    virtual bool WriteCommWDT();
    virtual int ChannelCount() const { return member_.channels; }
    virtual void AfterChannelWrite();
    virtual QString ZeroCalibrationInput(int index) const;
    virtual QString SpanCalibrationInput(int index) const;
    virtual void WriteDataFormat();
    virtual void ShowDataFormat(const std::string& bits);
    // The member's own lines between "checkSum" and "Data Format".
    virtual void SaveExtraSettings(SettingsWriter&) {}
    // Reads them; returns what puts them into the controls (run only when the
    // whole general group was read), or nothing when they did not fit.
    virtual std::function<void()> LoadExtraSettings(SettingsReader&) {
        return [] {};
    }
    virtual void UpdateChannelSetup();
    virtual void SetTypeChangeDelay();
    virtual void RefreshExtra() {}
    virtual void RefreshData();
    virtual bool CanWriteConfiguration() const { return true; }
    // The module's pause after the enable mask was written, before the ranges.
    virtual int MaskWritePauseMs() const { return 1000; }

    // Hooks of this implementation beyond the form's list.
    // How the integration choice is kept in the format byte (bit 7 here).
    virtual void WriteIntegrationTime();
    virtual void ShowIntegrationTime();
    // The reading protocol (the Modbus variants give theirs).
    virtual std::unique_ptr<MultiInputProtocol> MakeProtocol();
    // Command objects of a member's own (calibration, extra commands), made on the
    // panel's port at the wire address.
    virtual void CreateExtraObjects(const std::string&) {}
    // The unit label of a channel showing `item` (null: a range outside the list).
    virtual QString UnitText(int channel, const RangeItem* item) const;
    // The list position the calibration texts follow (channel 0's range).
    virtual int CalibrationRangeIndex() const;
    // Hands the command object to a zero, span or negative-span dialog.
    virtual void GiveCalibrationObject(TfrmCalib& dialog);

    // The general-settings Update, reporting `successText` when the configuration
    // and the watchdog were written.
    void UpdateGeneralSettings(const QString& successText);
    void Calibrate(CalibrationMode mode);
    // Shows a channel's range code (no selection and a blank unit outside the list).
    void ShowChannelRange(int channel, int code);
    // Whether a control is part of this member's form (not hidden by it).
    bool Shown(const QWidget* control) const;
    // Hides a control and its caption for good.
    static void Drop(QWidget* control, QWidget* caption = nullptr);
    // Controls that only an INIT-state module lets change (members add theirs).
    void AddInitOnly(QWidget* control) { initOnly_.push_back(control); }
    void AddObject(TavoRBase* object) { extraObjects_.push_back(object); }
    std::vector<TavoRBase*> Objects() const;
    TavoMR270P* Module() const { return module_.get(); }
    MultiInputProtocol* Protocol() const { return protocol_.get(); }
    const std::string& Firmware() const { return firmware_; }
    QGridLayout* GeneralLayout() const { return generalLayout_; }
    int NextGeneralRow() { return generalRow_++; }
    void SetTypeChangeDelayMs(int ms) { typeChangeDelayMs_ = ms; }

private:
    void BuildForm();
    MultiInputFileLayout FileLayout() const;
    void ReadSettings(SettingsReader& reader);

    const MultiInputMember& member_;
    std::unique_ptr<TavoMR270P> module_;
    std::unique_ptr<MultiInputProtocol> protocol_;
    std::vector<TavoRBase*> extraObjects_;
    std::vector<QWidget*> initOnly_;
    std::string firmware_;
    bool newThermocoupleSpan_ = true;
    int typeChangeDelayMs_ = 3000;
    QGridLayout* generalLayout_ = nullptr;
    int generalRow_ = 0;
};

// One range for all channels (R270, R260): cmbTypeChangeAllCh, written as the
// configuration's type code; neither watchdog nor protocol selection.
class TfrmMR270 : public TfrmMR270P {
    Q_OBJECT
public:
    explicit TfrmMR270(QWidget* parent = nullptr);
    TfrmMR270(const MultiInputMember& member, QWidget* parent);

    QComboBox* cmbTypeChangeAllCh;

protected:
    void RefreshChannelSetup() override;
    void BeforeConfigurationWrite() override;
    bool ReadCommWDT() override { return true; }
    bool ReadProtocol() override { return true; }
    bool WriteCommWDT() override { return true; }
    void WriteProtocol() override {}
    void SaveExtraSettings(SettingsWriter& file) override;
    std::function<void()> LoadExtraSettings(SettingsReader& file) override;
    void UpdateChannelSetup() override;
    bool CanWriteConfiguration() const override;
    int CalibrationRangeIndex() const override;
};

// R260P: choosing "MODBUS" disables the checksum box (a Modbus module has none).
class TfrmMR260P : public TfrmMR270P {
    Q_OBJECT
public:
    explicit TfrmMR260P(QWidget* parent = nullptr);
    void cmbPotocolSelectChange();

protected:
    TfrmMR260P(const MultiInputMember& member, QWidget* parent);
};

// R240: six RTD channels. Calibration goes channel by channel through a second
// command object; firmware before A2.02 lacks the Ni-508 ranges, firmware from
// A2.03 on has the integration time.
class TfrmMR240 : public TfrmMR260P {
    Q_OBJECT
public:
    explicit TfrmMR240(QWidget* parent = nullptr);
    ~TfrmMR240() override;
    void InitModule(const PanelContext& context) override;

protected:
    TfrmMR240(const MultiInputMember& member, QWidget* parent);
    void WriteDataFormat() override;
    void ShowDataFormat(const std::string& bits) override;
    void CreateExtraObjects(const std::string& address) override;
    QString UnitText(int channel, const RangeItem* item) const override;
    void GiveCalibrationObject(TfrmCalib& dialog) override;
    // Firmware rules, after the base's start.
    void ApplyFirmwareRules(const std::string& firmware, const std::string& name);
    // The calibration object of the member.
    virtual TavoMR240* CalibrationObject() const { return calibration_.get(); }

private:
    std::unique_ptr<TavoMR240> calibration_;
};

// R240T: thermistor channels with the temperature unit in format bit 3, and the
// lead-wire compensation dialog.
class TfrmMR240T : public TfrmMR240 {
    Q_OBJECT
public:
    explicit TfrmMR240T(QWidget* parent = nullptr);
    ~TfrmMR240T() override;

    void btSystemUpdateClick() override;
    void btWirePaymentClick();

    QLabel* lblTempUnit;
    QComboBox* cmbTempUnit;
    QPushButton* btWirePayment;

protected:
    void RefreshGeneral() override;
    void BeforeConfigurationWrite() override;
    void CreateExtraObjects(const std::string& address) override;
    TavoMR240* CalibrationObject() const override;

private:
    std::unique_ptr<TavoMR240T> r240t_;
};

// R280: per-channel calibration with a negative span; channel 0 lists its current
// range as "+/- 20mA", the other channels as "+/- 0~20mA".
class TfrmMR280 : public TfrmMR270P {
    Q_OBJECT
public:
    explicit TfrmMR280(QWidget* parent = nullptr);
    ~TfrmMR280() override;

    void btNegCalClick() { Calibrate(CalibrationMode::NegativeSpan); }

    QPushButton* btNegCal;

protected:
    void CreateExtraObjects(const std::string& address) override;
    void GiveCalibrationObject(TfrmCalib& dialog) override;

private:
    std::unique_ptr<TavoMR280> r280_;
};

// R810 and its members R820, R260AN and R270AN: the "Advanced Setup" page with the
// automatic filter scan, the software filter, the burn-out setting, the
// thermocouple mode, locating the module and switching it to its boot loader; the
// integration list has three choices.
class TfrmMR810 : public TfrmMR270P {
    Q_OBJECT
public:
    explicit TfrmMR810(QWidget* parent = nullptr);
    TfrmMR810(const MultiInputMember& member, QWidget* parent);
    ~TfrmMR810() override;

    // A scan longer than this is given up.
    static constexpr int kScanTickMs = 500;
    static constexpr int kScanTicksMax = 120;

    void Bt_ScanClick();
    void tmrScanTimer();
    void Bt_FilterUpdateClick();
    void Bt_SoftRefreshClick();
    void Bt_BurnOutUpdateClick();
    void Bt_ThmoModeUpdateClick();
    void Bt_LocateClick() { Locate(true); }
    void Bt_UnLocateClick() { Locate(false); }
    void Bt_SwitchClick();
    void PageControl1Change(int index);
    bool Scanning() const;

    QPushButton* Bt_Scan;
    QProgressBar* PB_Scan;
    QLineEdit* Edt_SampleRate;
    std::vector<QCheckBox*> Chk_Ch;
    QComboBox* CB_FSR;
    QPushButton* Bt_FilterUpdate;
    QPushButton* Bt_SoftRefresh;
    QComboBox* CB_BOScale;
    QPushButton* Bt_BurnOutUpdate;
    QLabel* lblThmoMode;
    QComboBox* CB_ThmoMode;
    QPushButton* Bt_ThmoModeUpdate;
    QPushButton* Bt_Locate;
    QPushButton* Bt_UnLocate;
    QPushButton* Bt_Switch;
    QTimer* tmrScan;

protected:
    void RefreshExtra() override;
    void WriteIntegrationTime() override;
    void ShowIntegrationTime() override;
    void CreateExtraObjects(const std::string& address) override;

private:
    void BuildAdvancedPage();
    // One write of the page's settings, worded "Update Success!" or "Update failed!".
    void WriteSetting(QPushButton* button, const std::function<bool()>& write);
    void Locate(bool on);
    void ReadSampleRate();
    void EndScan(const QString& failure);

    std::unique_ptr<TavoMR810> r810_;
    int scanTicks_ = 0;
    bool pollingBeforeScan_ = false;
    bool switched_ = false;
};

} // namespace tavo
