// The loop controller's dialogs: the loop settings with the export and import of
// the whole PID configuration (TfrmMR320TSet), the tuning of P, I, D, SV, MV, the
// scale and the control mode (TfrmMR320TTun), and the input calibration and output
// trims (TfrmMR320TCal). Set and Tun work on the panel's LoopSession, so they write
// through whatever link (ASCII or Modbus) the panel has.
#pragma once

#include "r320t_session.h"

#include "workspace/tavo_dialog.h"

#include <array>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTimer;

namespace tavo {

class TavoMR320T;

class TfrmMR320TSet : public TavoDialog {
    Q_OBJECT
public:
    TfrmMR320TSet(LoopSession& session, QWidget* parent = nullptr);
    int Run();

    // Fills every field from the session's table.
    void FormShow();
    // Enter in the field of entry `index`.
    void EditEnter(int index);
    void ComboChange(int index);
    void btnApplyClick();
    void btnExportClick();
    void btnImportClick();

    // The field of an entry (null if it has none).
    QLineEdit* Field(int index) const;
    QComboBox* Combo(int index) const;

    QLabel* lblLoop;
    QComboBox* cboxFormula;
    QComboBox* cboxFBMode;
    QComboBox* cboxMVMode;
    QComboBox* cboxMVResume;
    QTabWidget* pgSet;
    std::array<QCheckBox*, 6> chkAlarm{};
    QPushButton* btnApply;
    QPushButton* btnExport;
    QPushButton* btnImport;
    QPushButton* btnClose;

private:
    struct FieldRow {
        int index;
        QLineEdit* edit;
        bool integer;
    };
    void Write(int index, std::int32_t value);

    LoopSession& session_;
    std::vector<FieldRow> fields_;
    std::vector<std::pair<int, QComboBox*>> combos_;
};

class TfrmMR320TTun : public TavoDialog {
    Q_OBJECT
public:
    static constexpr int kTimerMs = 250;
    TfrmMR320TTun(LoopSession& session, QWidget* parent = nullptr);
    int Run();

    void FormShow();
    void Timer1Timer();
    void edtTuneEnter(int index); // P 31, I 32, D 33
    void edtSVKeyPress();
    void edtMVKeyPress();
    void edtHighKeyPress();
    void edtLowKeyPress();
    void cboxControlChange();

    QLineEdit* edtTuneP;
    QLineEdit* edtTuneI;
    QLineEdit* edtTuneD;
    QLineEdit* edtSV;
    QLineEdit* edtPV;
    QLineEdit* edtMV;
    QLineEdit* edtHigh;
    QLineEdit* edtLow;
    QComboBox* cboxControl;
    QPushButton* btnClose;
    QTimer* Timer1;

private:
    void Show();
    void Report(const std::string& error);

    LoopSession& session_;
    int block_ = 0;
};

class TfrmMR320TCal : public TavoDialog {
    Q_OBJECT
public:
    // Modes: 0 zero and 1 span of the inputs; 2, 3 zero and span trim of output 0;
    // 4, 5 of output 1.
    TfrmMR320TCal(TavoMR320T& module, int mode, QWidget* parent = nullptr);
    // Range code of input channel 0 (modes 0, 1), or -1 when unknown.
    void SetInputRange(int code) { inputRange_ = code; }
    // Output range index (0 0-20 mA, 1 4-20 mA, 2 0-10 V) of the trimmed output.
    void SetOutputRange(int index) { outputRange_ = index; }
    int Run();

    void FormShow();
    void bitbtnExecuteClick();
    void Step(int delta); // "- -", "-", "+", "++"
    int Trim() const { return trim_; }

    QLabel* lblMessage;
    QLabel* lblSignal;
    QLabel* lblTrim;
    QLineEdit* edtTrim;
    std::array<QPushButton*, 4> bitbtnStep{};
    QPushButton* bitbtnExecute;
    QPushButton* bitbtnClose;

private:
    bool Span() const { return mode_ % 2 == 1; }
    int Output() const { return (mode_ - 2) / 2; }

    TavoMR320T& module_;
    int mode_;
    int inputRange_ = -1;
    int outputRange_ = 1;
    int trim_ = 0;
};

// The signal to apply for an input calibration, by the range code of channel 0.
QString R320TCalibrationSignal(int code, bool span);

} // namespace tavo
