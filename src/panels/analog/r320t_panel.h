// Panels of the two-loop PID controller R320T: the general settings, the inputs
// (ranges, enable mask, readings, DI lamps, calibration), the outputs (ranges,
// track bars, trims, DO) and the PID page of the selected loop (control mode, SV,
// PV and MV with gauges, the trend, the display scale, alarms, the Setting and
// Tuning dialogs).
//
// TfrmMR320TMod is the same form over Modbus RTU: its Input and Output pages show
// the module's Modbus map, the outputs are driven through their registers and the
// DO coils, the general settings are read only, and the PID table goes through a
// Modbus link.
#pragma once

#include "r320t_link.h"
#include "r320t_session.h"

#include "panels/common/general_settings.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTabWidget;

namespace tavo {

class ModbusMapList;
class PercentGauge;
class TavoMR320T;
class TrendGraph;

class TfrmMR320T : public GeneralSettingsPanel {
    Q_OBJECT
public:
    static constexpr int kTimerMs = 250;

    explicit TfrmMR320T(QWidget* parent = nullptr);
    ~TfrmMR320T() override;

    void InitModule(const PanelContext& context) override;

    // Event handlers.
    void Timer1Timer();
    void btSystemUpdateClick();
    void bitbtnRngCh0Click(int ch);
    void bitbtnChEnClick();
    void bitbtnZeroClick() { RunCalibration(0); }
    void bitbtnSpanClick() { RunCalibration(1); }
    void bitbtnUpdate0Click(int n);
    void btnValueOutput0Click(int n);
    void TrackBar0Change(int n);
    void TrimStep(int n, int step); // the -15.0, -1.5, +1.5, +15.0 uA buttons
    void btnOutSpan0Click(int n, bool span);
    void bitbtnDO0Click(int n);
    void cboxLoopChange();
    void cboxControlChange();
    void edtSVKeyPress();
    void edtMVKeyPress();
    void edtHighKeyPress();
    void edtLowKeyPress();
    void TrackBarSVChange();
    void bitbtnSettingClick();
    void bitbtnTuningClick();
    void pgCtrlMainChange();

    LoopSession& Session() { return session_; }
    TavoMR320T* Module() const { return module_.get(); }
    bool Modbus() const { return modbus_; }
    // The ready flag that keeps a slow poll from being re-entered.
    bool Ready() const { return ready_; }
    // Redraws the PID fields of the selected loop from the table; false when the
    // scale is invalid (the timer is then stopped, with the ready flag clear, until
    // the scale is corrected or another page is shown).
    bool RedrawPID();
    // Whether the poll is stopped by an invalid scale.
    bool ScaleInvalid() const { return scaleInvalid_; }

    QTabWidget* pgCtrlMain;
    // General page.
    QComboBox* cmbProtocol;
    QComboBox* cmbTempUnit;
    QLineEdit* edtStationID;
    QLineEdit* edtDeviceID;
    QComboBox* cmbIntegration;
    QPushButton* btSystemUpdate;
    // Input page.
    std::array<QComboBox*, 4> cmbRngCh{};
    std::array<QPushButton*, 4> bitbtnRngCh{};
    std::array<QLineEdit*, 4> edtCh{};
    std::array<QCheckBox*, 4> chkCh{};
    QPushButton* bitbtnChEn;
    std::array<QPushButton*, 2> bitbtnDI{};
    QPushButton* bitbtnZero;
    QPushButton* bitbtnSpan;
    ModbusMapList* lstviewInput = nullptr; // Modbus panel
    // Output page.
    std::array<QComboBox*, 2> cmbOutRng{};
    std::array<QPushButton*, 2> bitbtnUpdate{};
    std::array<QLineEdit*, 2> edtValue{};
    std::array<QSlider*, 2> TrackBar{};
    std::array<std::array<QPushButton*, 4>, 2> bitbtnTrim{}; // --, -, +, ++
    std::array<QPushButton*, 2> btnValueOutput{};
    std::array<QPushButton*, 2> btnOutZero{};
    std::array<QPushButton*, 2> btnOutSpan{};
    std::array<std::array<QLabel*, 3>, 2> lblScale{};
    std::array<QPushButton*, 2> bitbtnDO{};
    std::array<QLineEdit*, 2> edtAO{};
    ModbusMapList* lstviewOutput = nullptr; // Modbus panel
    // PID page.
    QComboBox* cboxLoop;
    QComboBox* cboxControl;
    QLineEdit* edtSV;
    QLineEdit* edtPV;
    QLineEdit* edtMV;
    QSlider* TrackBarSV;
    PercentGauge* gaugePV;
    PercentGauge* gaugeMV;
    TrendGraph* trend;
    QPushButton* btnPause;
    QLineEdit* edtHigh;
    QLineEdit* edtLow;
    QPushButton* bitbtnSetting;
    QPushButton* bitbtnTuning;
    QLineEdit* edtPVAlarm;
    QLineEdit* edtMVAlarm;
    QLabel* lblPVAlarm;
    QLabel* lblMVAlarm;

protected:
    TfrmMR320T(bool modbus, QWidget* parent);

private:
    void BuildForm();
    QWidget* BuildGeneralPage();
    QWidget* BuildInputPage();
    QWidget* BuildOutputPage();
    QWidget* BuildPIDPage();
    void RefreshAll();
    // Polling again after an invalid scale stopped it (nothing otherwise).
    void ResumePolling();
    // Every block of the shown loop; false (with the status) at the first failure.
    bool ReadShownLoop();
    void RedrawIfScaleValid();
    void ScaleEdited(const std::string& error, QLineEdit* edit);
    template <class Dialog> void RunLoopDialog();
    bool RefreshGeneral();
    bool RefreshInputRanges();
    bool RefreshOutputRanges();
    void FillInputRangeItems(bool fahrenheit);
    bool PollInput();
    bool PollOutput();
    bool PollPID();
    bool PollModbusMap(bool inputs);
    // The Modbus form's slave (only while its link is the Modbus one).
    ModbusSlave& Slave();
    void ShowWords(ModbusMapList* list, int first, const std::vector<std::uint16_t>& words);
    void ShowDOCoils(std::uint32_t bits);
    void ShowScale();
    // The loop with `n`'s number must not be in Auto; shows the message otherwise.
    bool LoopAllowsOutput(int n, bool outputButton);
    void RunCalibration(int mode);
    void ShowOutputScale(int n);
    double OutputValue(int n) const;
    bool ModbusStartReads();
    QString Text(const char* ascii, const char* modbus) const;

    const bool modbus_;
    std::unique_ptr<TavoMR320T> module_;
    std::unique_ptr<R320TLink> link_;
    LoopSession session_;
    int block_ = 0;
    bool ready_ = true;
    bool scaleInvalid_ = false;
    bool fahrenheit_ = false;
    unsigned diBits_ = 0xFF; // none drawn yet
    std::array<int, 2> outRange_{1, 1};
    int savedTimeout_ = 0;
    bool drawingSV_ = false;
};

class TfrmMR320TMod : public TfrmMR320T {
    Q_OBJECT
public:
    explicit TfrmMR320TMod(QWidget* parent = nullptr) : TfrmMR320T(true, parent) {}
};

} // namespace tavo
