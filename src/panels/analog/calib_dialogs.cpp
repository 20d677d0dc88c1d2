#include "calib_dialogs.h"

#include "panels/common/edit_controls.h"
#include "panels/common/form_controls.h"
#include "workspace/small_windows.h"
#include "workspace/ui_services.h"

#include "devices/k_series.h"
#include "devices/models_analog.h"
#include "devices/z_series.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavo {
namespace {

// The channel selector both calibration dialogs keep hidden unless a kind needs
// it: "<caption>" [edit][up-down] "DEC".
void MakeChannelSelector(QDialog* dialog, const QString& caption, QLabel*& label, QLineEdit*& edit,
                         UpDown*& upDown, QLabel*& dec, QLayout* into) {
    auto* row = new QHBoxLayout;
    label = NamedLabel(caption, "LabCalCh", dialog);
    edit = NamedEdit("edtChannel_Dec", dialog, 1);
    edit->setText("0");
    edit->setFixedWidth(40);
    FilterKeys(edit, kDigitKeys);
    label->setBuddy(edit);
    upDown = new UpDown(edit, 0, 3, dialog);
    upDown->setObjectName("UpDownCh");
    dec = NamedLabel("DEC", "LabCalDec", dialog);
    row->addWidget(label);
    row->addWidget(edit);
    row->addWidget(upDown);
    row->addWidget(dec);
    row->addStretch();
    into->addItem(row);
    for (QWidget* w : {static_cast<QWidget*>(label), static_cast<QWidget*>(edit),
                       static_cast<QWidget*>(upDown), static_cast<QWidget*>(dec)})
        w->hide();
}

// The channel in a selector field: one digit 0 to 3.
bool ChannelFromField(const QLineEdit* edit, int& channel) {
    bool ok = false;
    const int value = edit->text().trimmed().toInt(&ok);
    if (!ok || value < 0 || value > 3) return false;
    channel = value;
    return true;
}

void InvalidData(QWidget* parent) {
    Ui().Message(parent, UiServices::Icon::Warning, "Warning", "Invalid data");
}

} // namespace

// ---- TfrmCalib -----------------------------------------------------------------------

TfrmCalib::TfrmCalib(QWidget* parent) : TavoDialog(parent) {
    setObjectName("TfrmCalib");
    auto* layout = new QVBoxLayout(this);
    auto* prompt = new QHBoxLayout;
    prompt->addWidget(NamedLabel("Apply ", "Label1", this));
    Edit1 = NamedEdit("Edit1", this, 32767, true);
    Edit1->setFixedWidth(90);
    prompt->addWidget(Edit1);
    prompt->addWidget(NamedLabel("to input terminal of the module on", "Label2", this));
    Label3 = NamedLabel("CH 0", "Label3", this);
    prompt->addWidget(Label3);
    prompt->addStretch();
    layout->addLayout(prompt);
    MakeChannelSelector(this, "Cal. &Channel:", LabCalCh, edtChannel_Dec, UpDownCh, LabCalDec,
                        layout);
    connect(edtChannel_Dec, &QLineEdit::textChanged, this, [this] {
        int channel = 0;
        if (kind_ == Kind::ZSeries && ChannelFromField(edtChannel_Dec, channel))
            Edit1->setText(channelTexts_[static_cast<std::size_t>(channel)]);
    });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    Button1 = NamedButton("&Save", "Button1", this);
    Button2 = NamedButton("E&xit", "Button2", this);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    layout->addLayout(buttons);
    connect(Button1, &QPushButton::clicked, this, &TfrmCalib::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TfrmCalib::Button2Click);
}

void TfrmCalib::SetSingleInput(TavoMR230* module) {
    kind_ = Kind::SingleInput;
    input_ = module;
}
void TfrmCalib::SetInput(TavoRAnalogInput* module) {
    kind_ = Kind::Input;
    input_ = module;
}
void TfrmCalib::SetR240(TavoMR240* module) {
    kind_ = Kind::R240;
    input_ = module;
}
void TfrmCalib::SetR280(TavoMR280* module) {
    kind_ = Kind::R280;
    input_ = module;
}
void TfrmCalib::SetK220H(TavoKAnalogInput* slot) {
    kind_ = Kind::K220H;
    slot_ = slot;
}
void TfrmCalib::SetK230(TavoMK230* slot) {
    kind_ = Kind::K230;
    slot_ = slot;
}
void TfrmCalib::SetZSeries(ZelMZ320* slot) {
    kind_ = Kind::ZSeries;
    slot_ = slot;
}

void TfrmCalib::SetChannel(int channel) {
    channel_ = channel;
    if (channel >= 0 && channel <= 3) edtChannel_Dec->setText(QString::number(channel));
}

void TfrmCalib::SetChannelInput(int channel, const QString& text, bool currentType) {
    if (channel < 0 || channel > 3) return;
    channelTexts_[static_cast<std::size_t>(channel)] = text;
    currentType_[static_cast<std::size_t>(channel)] = currentType;
}

void TfrmCalib::ShowChannelSelector(bool show) {
    for (QWidget* w : {static_cast<QWidget*>(LabCalCh), static_cast<QWidget*>(edtChannel_Dec),
                       static_cast<QWidget*>(UpDownCh), static_cast<QWidget*>(LabCalDec)})
        w->setVisible(show);
}

int TfrmCalib::Run() {
    FormShow();
    return Ui().Exec(*this);
}

void TfrmCalib::FormShow() {
    Edit1->setText(inputText_);
    if (kind_ == Kind::R280) Label3->setText(QString("CH %1").arg(channel_));
}

void TfrmCalib::Box(bool ok, const QString& text) {
    Ui().Message(this, ok ? UiServices::Icon::Information : UiServices::Icon::Error, QString(),
                 text);
}

bool TfrmCalib::Calibrate(int channel) {
    const bool zero = mode_ == kZero, span = mode_ == kSpan;
    switch (kind_) {
    case Kind::SingleInput:
    case Kind::Input:
        return zero ? input_->ZeroCalibrate() : span && input_->SpanCalibrate();
    case Kind::R240:
        return zero ? input_->ZeroCalibrateChannel(channel)
                    : span && input_->SpanCalibrateChannel(channel);
    case Kind::R280:
        return zero   ? input_->ZeroCalibrateChannel(channel)
               : span ? input_->SpanCalibrateChannel(channel)
                      : mode_ == kNegativeSpan && input_->NegativeCalibrateChannel(channel);
    case Kind::K220H:
    case Kind::K230:
        return zero ? slot_->ZeroCalibrate() : span && slot_->SpanCalibrate();
    case Kind::ZSeries:
        return zero ? slot_->ZeroCalibrateChannel(channel)
                    : span && slot_->SpanCalibrateChannel(channel);
    case Kind::None:
        break;
    }
    return false;
}

void TfrmCalib::Button1Click() {
    int channel = channel_;
    if (kind_ == Kind::ZSeries) {
        if (!ChannelFromField(edtChannel_Dec, channel)) {
            InvalidData(this);
            return;
        }
        // Voltage inputs share one calibration; only current inputs have their own.
        if (!currentType_[static_cast<std::size_t>(channel)] && channel != 0) {
            Box(true,
                "Only current type can be calibrated by channel,\ncalibration channel set to 0.");
            channel = 0;
        }
    }
    const QString what = mode_ == kZero   ? "Zero Calibration"
                         : mode_ == kSpan ? "Span Calibration"
                                          : "Negative Calibration";
    if (!Calibrate(channel)) {
        Box(false, what + " failed");
        return;
    }
    if (kind_ == Kind::K230 && mode_ == kZero) WaitWithIndicator(this, 2000, "Please wait...");
    Box(true, what + (kind_ == Kind::SingleInput && mode_ == kZero ? " succeeded!" : " succeeded"));
    accept();
}

// ---- TfrmCJC -------------------------------------------------------------------------

TfrmCJC::TfrmCJC(QWidget* parent) : TavoDialog(parent) {
    setObjectName("TfrmCJC");
    setWindowTitle("Cold Junction Compesation");
    auto* layout = new QGridLayout(this);
    layout->addWidget(NamedLabel("CJC Temperature =", "Label1", this), 0, 0);
    edtCurrentCJCVal = NamedEdit("edtCurrentCJCVal", this, 32767, true);
    layout->addWidget(edtCurrentCJCVal, 0, 1);
    layout->addWidget(NamedLabel("'C", "Label2", this), 0, 2);
    layout->addWidget(NamedLabel("Input CJC Offset( -99.9 to +99.9 ) = ", "Label3", this), 1, 0);
    edtCJCVal = NamedEdit("edtCJCVal", this, 5);
    FilterKeys(edtCJCVal, kSignedDecimalKeys);
    layout->addWidget(edtCJCVal, 1, 1);
    layout->addWidget(NamedLabel("'C", "Label4", this), 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btExecute = NamedButton("&Save", "btExecute", this);
    btExit = NamedButton("E&xit", "btExit", this);
    buttons->addWidget(btExecute);
    buttons->addWidget(btExit);
    layout->addLayout(buttons, 2, 0, 1, 3);
    connect(btExecute, &QPushButton::clicked, this, &TfrmCJC::btExecuteClick);
    connect(btExit, &QPushButton::clicked, this, &TfrmCJC::btExitClick);
}

void TfrmCJC::SetSingleInput(TavoMR210* module) {
    kind_ = Kind::SingleInput;
    single_ = module;
}
void TfrmCJC::SetR270P(TavoMR270P* module) {
    kind_ = Kind::R270P;
    r270p_ = module;
}
void TfrmCJC::SetK230(TavoMK230* slot) {
    kind_ = Kind::K230;
    k230_ = slot;
}
void TfrmCJC::SetR270M(TavoMR270M* module) {
    kind_ = Kind::R270M;
    r270m_ = module;
}

bool TfrmCJC::ReadCJC(std::string& out) {
    switch (kind_) {
    case Kind::SingleInput:
        return single_->ReadCJC(out);
    case Kind::R270P:
        return r270p_->ReadCJC(out);
    case Kind::K230:
        return k230_->ReadCJC(out);
    case Kind::R270M:
        return r270m_->ReadCJC(out);
    case Kind::None:
        break;
    }
    return false;
}

bool TfrmCJC::WriteOffset(char sign, const std::string& hhhh) {
    switch (kind_) {
    case Kind::SingleInput:
        return single_->SetCJCOffset(sign, hhhh);
    case Kind::R270P:
        return r270p_->SetCJCOffset(sign, hhhh);
    case Kind::K230:
        return k230_->SetCJCOffset(sign, hhhh);
    case Kind::R270M: // read only
    case Kind::None:
        break;
    }
    return false;
}

int TfrmCJC::Run() {
    FormShow();
    return Ui().Exec(*this);
}

void TfrmCJC::ShowCJC() {
    std::string value;
    edtCurrentCJCVal->setText(ReadCJC(value) ? QString::fromStdString(value)
                                             : QString("Read failed"));
}

void TfrmCJC::FormShow() {
    ShowCJC();
    edtCJCVal->setText("+00.0");
    // The data logger's offset cannot be written from here: no Save to press.
    btExecute->setEnabled(kind_ != Kind::R270M && kind_ != Kind::None);
}

void TfrmCJC::btExecuteClick() {
    double value = 0.0;
    char sign = '+';
    std::string counts;
    if (!ParsePlainDecimal(edtCJCVal->text(), value) || !EncodeCJCOffset(value, sign, counts)) {
        InvalidData(this);
        return;
    }
    const char* title = kind_ == Kind::K230 ? "K230" : kind_ == Kind::R270P ? "R270P" : "R210";
    if (!WriteOffset(sign, counts)) {
        Ui().Message(this, UiServices::Icon::Error, title, "CJC Offset Calibration failed");
        return;
    }
    // The module needs a moment before its reading includes the new offset.
    Ui().Sleep(kind_ == Kind::SingleInput ? 1000 : 4500);
    ShowCJC();
    if (kind_ == Kind::K230)
        Ui().Message(this, UiServices::Icon::Information, "K230",
                     "CJC Offset Calibration Compeletes succeeded");
    else
        ShowInformation(this, "Update succeeded!");
}

// ---- TfrmMAOCalib --------------------------------------------------------------------

TfrmMAOCalib::TfrmMAOCalib(QWidget* parent) : TavoDialog(parent) {
    setObjectName("TfrmMAOCalib");
    auto* layout = new QVBoxLayout(this);
    grpUnit = new QGroupBox("Trim for 20.0 mA: ", this);
    grpUnit->setObjectName("grpUnit");
    auto* unit = new QGridLayout(grpUnit);
    unit->addWidget(NamedLabel("Attach meter to output terminal of the module", "Label1", grpUnit),
                    0, 0, 1, 2);
    unit->addWidget(NamedLabel("Startup output value =", "Label2", grpUnit), 1, 0);
    labCalibVal = NamedLabel("20.0 mA", "labCalibVal", grpUnit);
    unit->addWidget(labCalibVal, 1, 1);
    auto* trim = new QGroupBox("Trim: ", grpUnit);
    trim->setObjectName("grpTrim");
    auto* steps = new QHBoxLayout(trim);
    bitbtnLeftLeft20 = NamedButton("<<", "bitbtnLeftLeft20", trim);
    bitbtnLeft20 = NamedButton("<", "bitbtnLeft20", trim);
    bitbtnRight20 = NamedButton(">", "bitbtnRight20", trim);
    bitbtnRightRight20 = NamedButton(">>", "bitbtnRightRight20", trim);
    int tag = 1;
    for (QPushButton* b : {bitbtnLeftLeft20, bitbtnLeft20, bitbtnRight20, bitbtnRightRight20}) {
        b->setProperty("Tag", tag);
        steps->addWidget(b);
        connect(b, &QPushButton::clicked, this, [this, tag] { bitbtnLeftLeft20Click(tag); });
        ++tag;
    }
    unit->addWidget(trim, 2, 0, 1, 2);
    layout->addWidget(grpUnit);
    MakeChannelSelector(this, "Calibration &Channel:", LabCalCh, edtChannel_Dec, UpDownCh,
                        LabCalDec, layout);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    bitbtn20Execute = NamedButton("&Save", "bitbtn20Execute", this);
    // The one dialog whose form gives Save the default role: the user trims with
    // the step buttons, reads the meter, and Enter stores the point.
    SetDefaultButton(bitbtn20Execute);
    bitbtn20Exit = NamedButton("E&xit", "bitbtn20Exit", this);
    buttons->addWidget(bitbtn20Execute);
    buttons->addWidget(bitbtn20Exit);
    layout->addLayout(buttons);
    connect(bitbtn20Execute, &QPushButton::clicked, this, &TfrmMAOCalib::bitbtn20ExecuteClick);
    connect(bitbtn20Exit, &QPushButton::clicked, this, &TfrmMAOCalib::bitbtn20ExitClick);
}

void TfrmMAOCalib::SetR310(TavoMR310* module) {
    kind_ = Kind::R310;
    r310_ = module;
}
void TfrmMAOCalib::SetR250Output(TavoMR250* module) {
    kind_ = Kind::R250;
    r250_ = module;
}
void TfrmMAOCalib::SetR330(TavoMR330* module) {
    kind_ = Kind::R330;
    r330_ = module;
}
void TfrmMAOCalib::SetK310(TavoMK310* slot) {
    kind_ = Kind::K310;
    k310_ = slot;
}
void TfrmMAOCalib::SetZSeries(ZelMZ320* slot) {
    kind_ = Kind::ZSeries;
    z_ = slot;
}

void TfrmMAOCalib::SetChannel(int channel) {
    channel_ = channel;
    if (channel >= 0 && channel <= 3) edtChannel_Dec->setText(QString::number(channel));
}

int TfrmMAOCalib::Run() {
    FormShow();
    return Ui().Exec(*this);
}

void TfrmMAOCalib::SetHints(const char* const hints[4]) {
    int i = 0;
    for (QPushButton* b : {bitbtnLeftLeft20, bitbtnLeft20, bitbtnRight20, bitbtnRightRight20})
        b->setToolTip(hints[i++]);
}

void TfrmMAOCalib::SetPoint(const QString& value, const QString& group) {
    labCalibVal->setText(value);
    grpUnit->setTitle(group);
}

void TfrmMAOCalib::Box(bool ok, const QString& text) {
    Ui().Message(this, ok ? UiServices::Icon::Information : UiServices::Icon::Error, QString(),
                 text);
}

bool TfrmMAOCalib::SelectedChannel(int& channel) {
    if (kind_ != Kind::ZSeries) {
        channel = channel_;
        return true;
    }
    if (ChannelFromField(edtChannel_Dec, channel)) return true;
    InvalidData(this);
    return false;
}

void TfrmMAOCalib::FormShow() {
    static const char* const kCurrentHints[4] = {"To trim -15.0uA", "To trim -1.50uA",
                                                 "To trim +1.50uA", "To trim +15.0uA"};
    static const char* const kVoltageHints[4] = {"To trim -1.0mV", "To trim -10.0mV",
                                                 "To trim +1.0mV", "To trim +10.0mV"};
    switch (kind_) {
    case Kind::R310:
        SetHints(kCurrentHints);
        if (mode_ == k4mA)
            SetPoint("4.0mA", " Trim for 4.0 mA ");
        else
            SetPoint("20.0mA", " Trim for 20.0 mA ");
        break;
    case Kind::R250:
        SetHints(kVoltageHints);
        if (mode_ == k0V)
            SetPoint("0.0V", " Trim for 0.0 V ");
        else
            SetPoint("10.0V", " Trim for 10.0 V ");
        break;
    case Kind::K310: {
        SetHints(kCurrentHints);
        const bool high = mode_ == k20mA;
        if (high)
            SetPoint("20.0mA", " Trim for 20.0 mA ");
        else
            SetPoint("4.0mA", " Trim for 4.0 mA ");
        if (!k310_->WriteChannel(channel_, high ? "20.000" : "04.000"))
            ShowError(this, "Write AO Failed!");
        break;
    }
    case Kind::ZSeries:
        StartZSeries();
        break;
    case Kind::R330:
        // No trim command on this module: the steps would do nothing.
        for (QPushButton* b : {bitbtnLeftLeft20, bitbtnLeft20, bitbtnRight20, bitbtnRightRight20})
            b->setEnabled(false);
        break;
    case Kind::None:
        break;
    }
}

void TfrmMAOCalib::StartZSeries() {
    for (QWidget* w : {static_cast<QWidget*>(LabCalCh), static_cast<QWidget*>(edtChannel_Dec),
                       static_cast<QWidget*>(UpDownCh), static_cast<QWidget*>(LabCalDec)})
        w->show();
    const char* output;
    const char* trim;
    switch (mode_) {
    case k4mA:
        trimCounter_ = 50;
        SetPoint("4.0mA", " Zero Calibration ");
        output = "04.000";
        trim = "33";
        break;
    case k0V:
        trimCounter_ = 0;
        SetPoint("0 V", " Zero Calibration ");
        output = "00.000";
        trim = "00";
        break;
    case k10V:
        trimCounter_ = 255;
        SetPoint("10 V", " Span Calibration ");
        output = "10.000";
        trim = "FF";
        break;
    default:
        trimCounter_ = 255;
        SetPoint("20.0mA", " Span Calibration ");
        output = "20.000";
        trim = "FF";
        break;
    }
    int channel = 0;
    if (!SelectedChannel(channel)) return;
    if (!z_->WriteChannel(channel, output)) {
        ShowError(this, "Write AO Failed!");
        return;
    }
    Ui().Sleep(20);
    if (!z_->Trim(channel, trim)) Box(false, "Write Trim Calibration failed");
}

bool TfrmMAOCalib::Trim(const std::string& nn) {
    switch (kind_) {
    case Kind::R310:
        return r310_->Trim(nn);
    case Kind::R250:
        return r250_->TrimExcitation(nn);
    case Kind::K310:
        return k310_->Trim(channel_, nn);
    case Kind::ZSeries: {
        int channel = 0;
        return SelectedChannel(channel) && z_->Trim(channel, nn);
    }
    case Kind::R330:
    case Kind::None:
        break;
    }
    return false;
}

void TfrmMAOCalib::bitbtnLeftLeft20Click(int tag) {
    if (tag < 1 || tag > 4 || kind_ == Kind::R330 || kind_ == Kind::None) return;
    std::string nn;
    if (kind_ == Kind::ZSeries) {
        static const int kSteps[4] = {-10, -1, 1, 10};
        trimCounter_ = std::clamp(trimCounter_ + kSteps[tag - 1], 0, 255);
        nn = QString("%1").arg(trimCounter_, 2, 16, QChar('0')).toUpper().toStdString();
    } else {
        static const char* const kTrims[4] = {"0A", "01", "FF", "F6"};
        nn = kTrims[tag - 1];
    }
    if (!Trim(nn)) Box(false, "Write Trim Calibration failed");
    if (kind_ != Kind::ZSeries) return;
    if (trimCounter_ == 255)
        Box(true, "It's already the highest trim value!");
    else if (trimCounter_ == 0)
        Box(true, "It's already the lowest trim value!");
}

void TfrmMAOCalib::bitbtn20ExecuteClick() {
    const bool zero = mode_ == k4mA || mode_ == k0V;
    bool ok = false;
    QString what;
    switch (kind_) {
    case Kind::R310:
        ok = zero ? r310_->Calibrate4mA() : r310_->Calibrate20mA();
        what = zero ? "4mA Calibration" : "20mA Calibration";
        break;
    case Kind::R250:
        ok = mode_ == k0V ? r250_->Calibrate0V() : r250_->Calibrate10V();
        what = mode_ == k0V ? "0V Calibration" : "10V Calibration";
        break;
    case Kind::R330:
        ok = zero ? r330_->Calibrate4mAChannel(channel_) : r330_->Calibrate20mAChannel(channel_);
        what = zero ? "4mA Calibration" : "20mA Calibration";
        break;
    case Kind::K310:
        ok = zero ? k310_->Calibrate4mAChannel(channel_) : k310_->Calibrate20mAChannel(channel_);
        what = zero ? "4mA Calibration" : "20mA Calibration";
        break;
    case Kind::ZSeries: {
        int channel = 0;
        if (!SelectedChannel(channel)) return;
        ok = zero ? z_->ZeroCalibrateOutput(channel) : z_->SpanCalibrateOutput(channel);
        what = zero ? "zero Calibration" : "span Calibration";
        break;
    }
    case Kind::None:
        return;
    }
    if (!ok) {
        Box(false, what + " failed");
        return;
    }
    Box(true, what + " succeeded");
    accept();
}

// ---- TfrmMWirePayment ----------------------------------------------------------------

TfrmMWirePayment::TfrmMWirePayment(QWidget* parent) : TavoDialog(parent) {
    setObjectName("TfrmMWirePayment");
    setWindowTitle("Lead Wire Effect Compensation");
    auto* layout = new QGridLayout(this);
    layout->addWidget(NamedLabel("Lead Wire Resistance(0~6553.5) = ", "Label1", this), 0, 0);
    edtCurrentWirePaymentVal = NamedEdit("edtCurrentWirePaymentVal", this, 8);
    FilterKeys(edtCurrentWirePaymentVal, kSignedDecimalKeys, [this] { btExecuteClick(); });
    layout->addWidget(edtCurrentWirePaymentVal, 0, 1);
    layout->addWidget(NamedLabel("Ohm", "Label2", this), 0, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btExecute = NamedButton("&Save", "btExecute", this);
    btExit = NamedButton("E&xit", "btExit", this);
    buttons->addWidget(btExecute);
    buttons->addWidget(btExit);
    layout->addLayout(buttons, 1, 0, 1, 3);
    connect(btExecute, &QPushButton::clicked, this, &TfrmMWirePayment::btExecuteClick);
    connect(btExit, &QPushButton::clicked, this, &TfrmMWirePayment::btExitClick);
}

void TfrmMWirePayment::SetR240T(TavoMR240T* module, char parameter) {
    module_ = module;
    parameter_ = parameter == '1' ? '1' : '0';
}

int TfrmMWirePayment::Run() {
    FormShow();
    return Ui().Exec(*this);
}

void TfrmMWirePayment::ShowCompensation() {
    std::string reply;
    double ohms = 0.0;
    if (module_ && module_->ReadWireCompensation(parameter_ - '0', reply) &&
        DecodeWireCompensation(reply, ohms))
        edtCurrentWirePaymentVal->setText(QString::asprintf("%.1f", ohms));
    else
        edtCurrentWirePaymentVal->setText("+0.0");
}

void TfrmMWirePayment::FormShow() {
    ShowCompensation();
}

void TfrmMWirePayment::btExecuteClick() {
    double value = 0.0;
    char sign = '+';
    std::string counts;
    if (!ParsePlainDecimal(edtCurrentWirePaymentVal->text(), value) ||
        !EncodeWireCompensation(value, sign, counts)) {
        InvalidData(this);
        return;
    }
    if (!module_ || !module_->SetWireCompensation(parameter_ - '0', sign, counts)) {
        // Said out loud: the user would otherwise take the old value for the new one.
        Ui().Message(this, UiServices::Icon::Error, QString(), "Lead Wire Compensation failed");
        return;
    }
    Ui().Sleep(500);
    ShowInformation(this, "Update succeeded!");
    ShowCompensation();
}

} // namespace tavo
