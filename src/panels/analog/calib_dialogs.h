// The calibration dialogs of the analog modules: zero/span calibration of inputs,
// the cold-junction offset, analog output calibration with its trim steps, and the
// lead-wire compensation of the thermistor module.
//
// A panel creates one, gives it exactly one command object (the setter names the
// kind, which decides the commands and the message texts), sets the mode and the
// texts, and calls Run(), which prepares the dialog as it opens and runs it
// modally through the UI services. Enter presses no button of theirs unless the
// form names a default (TavoDialog); only the output calibration does.
#pragma once

#include "workspace/tavo_dialog.h"

#include <QString>

#include <array>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tavo {

class TavoRAnalogInput;
class TavoKAnalogInput;
class TavoMK230;
class TavoMK310;
class TavoMR210;
class TavoMR230;
class TavoMR240;
class TavoMR240T;
class TavoMR250;
class TavoMR270M;
class TavoMR270P;
class TavoMR280;
class TavoMR310;
class TavoMR330;
class UpDown;
class ZelMZ320;

// Zero, span and negative-span calibration of analog inputs: the user applies the
// named signal to the input and presses Save.
class TfrmCalib : public TavoDialog {
    Q_OBJECT
public:
    enum Mode { kZero = 0, kSpan = 1, kNegativeSpan = 2 };

    explicit TfrmCalib(QWidget* parent = nullptr);

    // The kinds. SetSingleInput is the single-channel input panels' own object
    // (R210, R210D, R220, R230); SetInput the other whole-module inputs (R250
    // input side, R270M, R270P family).
    void SetSingleInput(TavoMR230* module);
    void SetInput(TavoRAnalogInput* module);
    void SetR240(TavoMR240* module);
    void SetR280(TavoMR280* module);
    void SetK220H(TavoKAnalogInput* slot);
    void SetK230(TavoMK230* slot);
    void SetZSeries(ZelMZ320* slot);

    void SetMode(int mode) { mode_ = mode; }
    void SetInputText(const QString& text) { inputText_ = text; }
    void SetChannel(int channel);
    // Z-series: the signal of each channel and whether it is a current input (only
    // current inputs are calibrated channel by channel).
    void SetChannelInput(int channel, const QString& text, bool currentType);
    void ShowChannelSelector(bool show);

    // Prepares the fields and runs the dialog modally; returns its result.
    int Run();
    void FormShow();
    void Button1Click(); // Save
    void Button2Click() { reject(); }

    QLineEdit* Edit1;
    QLabel* Label3;
    QPushButton* Button1;
    QPushButton* Button2;
    QLabel* LabCalCh;
    QLineEdit* edtChannel_Dec;
    UpDown* UpDownCh;
    QLabel* LabCalDec;

private:
    enum class Kind { None, SingleInput, Input, R240, R280, K220H, K230, ZSeries };
    void Box(bool ok, const QString& text);
    bool Calibrate(int channel);

    Kind kind_ = Kind::None;
    TavoRAnalogInput* input_ = nullptr;
    TavoKAnalogInput* slot_ = nullptr;
    int mode_ = kZero;
    int channel_ = 0;
    QString inputText_;
    std::array<QString, 4> channelTexts_;
    std::array<bool, 4> currentType_{};
};

// Cold-junction compensation offset of thermocouple inputs.
class TfrmCJC : public TavoDialog {
    Q_OBJECT
public:
    explicit TfrmCJC(QWidget* parent = nullptr);

    void SetSingleInput(TavoMR210* module); // R210, R210D
    void SetR270P(TavoMR270P* module);      // R270P family
    void SetK230(TavoMK230* slot);
    // The data logger shows its cold-junction temperature only; Save is disabled.
    void SetR270M(TavoMR270M* module);

    int Run();
    void FormShow();
    void btExecuteClick();
    void btExitClick() { reject(); }

    QLineEdit* edtCurrentCJCVal;
    QLineEdit* edtCJCVal;
    QPushButton* btExecute;
    QPushButton* btExit;

private:
    enum class Kind { None, SingleInput, R270P, K230, R270M };
    bool ReadCJC(std::string& out);
    bool WriteOffset(char sign, const std::string& hhhh);
    void ShowCJC();

    Kind kind_ = Kind::None;
    TavoMR210* single_ = nullptr;
    TavoMR270P* r270p_ = nullptr;
    TavoMK230* k230_ = nullptr;
    TavoMR270M* r270m_ = nullptr;
};

// Calibration and trimming of analog outputs at their low and high points.
class TfrmMAOCalib : public TavoDialog {
    Q_OBJECT
public:
    enum Mode { k4mA = 0, k20mA = 1, k0V = 2, k10V = 3 };

    explicit TfrmMAOCalib(QWidget* parent = nullptr);

    void SetR310(TavoMR310* module);
    void SetR250Output(TavoMR250* module);
    void SetR330(TavoMR330* module);
    void SetK310(TavoMK310* slot);
    void SetZSeries(ZelMZ320* slot);

    void SetMode(int mode) { mode_ = mode; }
    void SetChannel(int channel);
    int TrimCounter() const { return trimCounter_; }

    int Run();
    void FormShow();
    // One handler for the four step buttons; `tag` 1 to 4 from the largest step
    // down to the largest step up.
    void bitbtnLeftLeft20Click(int tag);
    void bitbtn20ExecuteClick();
    void bitbtn20ExitClick() { reject(); }

    QGroupBox* grpUnit;
    QLabel* labCalibVal;
    QPushButton* bitbtnLeftLeft20;
    QPushButton* bitbtnLeft20;
    QPushButton* bitbtnRight20;
    QPushButton* bitbtnRightRight20;
    QPushButton* bitbtn20Execute;
    QPushButton* bitbtn20Exit;
    QLabel* LabCalCh;
    QLineEdit* edtChannel_Dec;
    UpDown* UpDownCh;
    QLabel* LabCalDec;

private:
    enum class Kind { None, R310, R250, R330, K310, ZSeries };
    void SetHints(const char* const hints[4]);
    void SetPoint(const QString& value, const QString& group);
    void Box(bool ok, const QString& text);
    bool SelectedChannel(int& channel);
    bool Trim(const std::string& nn);
    void StartZSeries();

    Kind kind_ = Kind::None;
    TavoMR310* r310_ = nullptr;
    TavoMR250* r250_ = nullptr;
    TavoMR330* r330_ = nullptr;
    TavoMK310* k310_ = nullptr;
    ZelMZ320* z_ = nullptr;
    int mode_ = k4mA;
    int channel_ = 0;
    int trimCounter_ = 0;
};

// Lead-wire resistance compensation of the thermistor module R240T.
class TfrmMWirePayment : public TavoDialog {
    Q_OBJECT
public:
    explicit TfrmMWirePayment(QWidget* parent = nullptr);

    // `parameter` is '0' when the module reports engineering units, else '1'.
    void SetR240T(TavoMR240T* module, char parameter);

    int Run();
    void FormShow();
    void btExecuteClick();
    void btExitClick() { reject(); }

    QLineEdit* edtCurrentWirePaymentVal;
    QPushButton* btExecute;
    QPushButton* btExit;

private:
    void ShowCompensation();

    TavoMR240T* module_ = nullptr;
    char parameter_ = '0';
};

} // namespace tavo
