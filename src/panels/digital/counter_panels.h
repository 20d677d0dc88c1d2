// Panels of the two-channel counter/frequency modules: TfrmMR710 (preset and
// initial values per channel) and TfrmMR710D (alarm limits, alarm outputs and the
// LED display).
#pragma once

#include "panels/common/general_settings.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTimer;

namespace tavo {

class TavoMR710;
class TavoMR710D;
class SettingsReader;
class SettingsWriter;

class TfrmMR710 : public GeneralSettingsPanel {
    Q_OBJECT
public:
    explicit TfrmMR710(QWidget* parent = nullptr);
    ~TfrmMR710() override;

    void InitModule(const PanelContext& context) override;
    bool HasSettingsFile() const override { return true; }
    void SaveSettings() override;
    void LoadSettings() override;

    // Handlers of the form's events.
    void tmrUpdateCounterDataTimer();
    void btSystemUpdateClick();
    void btInputSignalUpdateClick();
    void btFilterUpdateClick();
    // The "&Update" of a channel's counter settings (and Enter in its fields).
    virtual void CounterSettingUpdate(int channel);
    void btDOClick(int output);
    void btCN0StartClick(int channel);
    void btCN0ResetClick(int channel);
    void PageControlChange(int index);

    // A count as typed (up to ten decimal digits; empty is 0) in the eight
    // hexadecimal digits the module takes; nullopt for anything else, and for
    // values above 4294967295, which do not fit the module's 32 bits.
    static std::optional<std::string> CountHex(const QString& text);

    QTabWidget* PageControl;
    QWidget* tabModuleSetting;
    QWidget* tabCounterSetting;
    QComboBox* cmbTypeChangeAllCh;
    QLabel* lblCntEnableGate;
    QComboBox* cmbCntEnableGate;
    QLabel* lblFrequencyGateTime;
    QComboBox* cmbFrequencyGateTime;
    QPushButton* btSystemUpdate;
    QCheckBox* chkFilterState;
    QLineEdit* edtHighLevelWidth;
    QLineEdit* edtLowLevelWidth;
    QLineEdit* edtHighLevelVolt;
    QLineEdit* edtLowLevelVolt;
    QPushButton* btFilterUpdate;
    QComboBox* cmbInputSignal;
    QPushButton* btInputSignalUpdate;
    std::array<QLineEdit*, 2> edtMaxCnt{};
    std::array<QPushButton*, 2> btCounterUpdate{};
    std::array<QLineEdit*, 2> edtCntVal{};
    std::array<QPushButton*, 2> btStart{};
    std::array<QPushButton*, 2> btReset{};
    std::array<QLabel*, 2> imgOverflow{};
    std::array<QLabel*, 2> labAlarmMode{};
    std::array<QLabel*, 2> labDO{};
    std::array<QPushButton*, 2> btDO{};
    QTimer* tmrUpdateCounterData;
    // R710 only.
    std::array<QLineEdit*, 2> edtPresetCnt{};
    std::array<QLineEdit*, 2> edtInitialCnt{};
    std::array<QCheckBox*, 2> chkPresetMode{};

protected:
    TfrmMR710(QWidget* parent, const QString& model);

    virtual std::unique_ptr<TavoMR710> MakeDevice(const std::string& address);
    virtual bool RefreshCounterSettings(int channel);
    virtual void RefreshExtra() {}
    // Poll step 2: the alarm or preset status character, and the outputs.
    virtual void ShowAlarmStatus(int status);
    // R710D: an output click clears latched alarms while they are shown.
    virtual bool OutputClickClearsLatch() const { return false; }
    virtual QString GeneralUpdateSucceeded() const { return "Update succeeded!"; }
    virtual void SaveChannelLines(SettingsWriter& writer);
    // False once the file stops matching.
    virtual bool LoadChannelLines(SettingsReader& reader);

    bool RefreshGeneral();
    bool RefreshFilter();
    bool PollCounters();
    bool PollAlarmStatus();
    void RefreshAll();
    // Builds the channel group of the counter page; its controls are switched
    // off together in frequency mode.
    QGroupBox* ChannelGroup(int channel, QGridLayout*& grid);
    QLineEdit* CountEdit(const QString& name, int channel);
    // One write of a sequence: sent only while `ok`, its error shown on failure,
    // followed by `pauseMs` in every case it was sent.
    void Step(bool& ok, const std::function<bool()>& send, const QString& error, int pauseMs);
    void ShowGateSelectors();
    static bool Enabled(const QWidget* control);

    std::unique_ptr<TavoMR710> device_;
    bool frequency_ = false; // the module measures frequency (type code 51)
    std::array<std::vector<QWidget*>, 2> channelControls_;

private:
    void BuildForm(const QString& model);
    void BuildPresetPage();
    bool ApplySettingsFile(SettingsReader& reader);
    std::vector<QWidget*> dataControls_; // what counting mode alone has
};

class TfrmMR710D : public TfrmMR710 {
    Q_OBJECT
public:
    explicit TfrmMR710D(QWidget* parent = nullptr);

    void CounterSettingUpdate(int channel) override;
    void btUpateLEDSettingClick();

    QLineEdit* edtCN0HighAlarm;
    QLineEdit* edtCN0LowAlarm;
    QComboBox* cmbAlarmType;
    QComboBox* cmbLEDDisplaySetting;
    QLineEdit* edtLEDValue;
    QPushButton* btUpateLEDSetting;

protected:
    std::unique_ptr<TavoMR710> MakeDevice(const std::string& address) override;
    bool RefreshCounterSettings(int channel) override;
    void RefreshExtra() override { RefreshLED(); }
    void ShowAlarmStatus(int status) override;
    bool OutputClickClearsLatch() const override;
    QString GeneralUpdateSucceeded() const override { return "Update general setting succeeded!"; }
    void SaveChannelLines(SettingsWriter& writer) override;
    bool LoadChannelLines(SettingsReader& reader) override;

private:
    bool RefreshLED();
    // Selects the display source and, when asked, sends the value to show.
    void UpdateLED(bool sendValue);
    TavoMR710D* display_ = nullptr; // the device, as the display model
};

} // namespace tavo
