#include "k310_panel.h"

#include "points/k_analog_ranges.h"

#include "panels/analog/calib_dialogs.h"
#include "panels/common/edit_controls.h"
#include "panels/common/form_controls.h"

#include "devices/k_series.h"
#include "workspace/small_windows.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tavo {
namespace {

constexpr int kWaitMs = 500;

// The last output as the slot reports it, shown with three decimals.
std::optional<QString> OutputText(const std::string& dataText, const K310Range* range) {
    const auto v = KPlainNumber(dataText);
    if (!v) return std::nullopt;
    return QString::asprintf(range && !range->current ? "%1.3f" : "%2.3f", *v);
}

} // namespace

// ---- TfrmMK310 ------------------------------------------------------------------------

TfrmMK310::TfrmMK310(QWidget* parent) : PanelBase(parent) {
    auto* outer = new QVBoxLayout(this);
    grpMain = NamedGroup(" Tavo-K310 ", "grpMain", this);
    outer->addWidget(grpMain);
    auto* g = new QGridLayout(grpMain);
    g->addWidget(NamedLabel("Range", "labRange", grpMain), 0, 1);
    g->addWidget(NamedLabel("Output", "labOutput", grpMain), 0, 2);
    g->addWidget(NamedLabel("Read Back", "labReadBack", grpMain), 0, 4);
    for (int n = 0; n < kChannels; ++n) {
        const auto i = static_cast<std::size_t>(n);
        const QString k = QString::number(n);
        g->addWidget(NamedLabel(QString("CH%1").arg(n), "labCh" + k, grpMain), n + 1, 0);
        labRangeCh[i] = NamedLabel("", "labRangeCh" + k, grpMain);
        edtAOValCh[i] = NamedEdit("edtAOValCh" + k, grpMain, 6);
        edtAOValCh[i]->setText("00.000");
        btAOOutputCh[i] = NamedButton("&Send", "btAOOutputCh" + k, grpMain);
        edtAOReadCh[i] = NamedEdit("edtAOReadCh" + k, grpMain, 32767, true);
        FilterKeys(edtAOValCh[i], kUnsignedDecimalKeys, [this, n] { btAOOutputClick(n); });
        g->addWidget(labRangeCh[i], n + 1, 1);
        g->addWidget(edtAOValCh[i], n + 1, 2);
        g->addWidget(btAOOutputCh[i], n + 1, 3);
        g->addWidget(edtAOReadCh[i], n + 1, 4);
        connect(btAOOutputCh[i], &QPushButton::clicked, this, [this, n] { btAOOutputClick(n); });
    }
    outer->addStretch();
    MakePollTimer("tmrUpdateAOData", 500);
    connect(PollTimer(), &QTimer::timeout, this, &TfrmMK310::tmrUpdateAODataTimer);
}

TfrmMK310::~TfrmMK310() {
    StopPolling();
}

void TfrmMK310::InitModule(const PanelContext& context) {
    Bind(context);
    module_ = std::make_unique<TavoMK310>(Port(), WireAddress(), context.slot.toStdString());
    if (RefreshRanges())
        // The outputs at once, so the Output column starts from them rather than
        // from a value the channel's range may not even hold.
        tmrUpdateAODataTimer();
    else
        Status("Fail to fresh general setting data!");
    StartPolling();
}

bool TfrmMK310::RefreshRanges() {
    bool ok = true;
    for (int n = 0; n < kChannels && ok; ++n) {
        const auto i = static_cast<std::size_t>(n);
        ok = module_->ReadChannelConfig(n);
        const K310Range* r =
            ok ? FindK310Range(static_cast<int>(HexOrZero(module_->SlotType()))) : nullptr;
        range_[i] = r ? r->code : -1;
        labRangeCh[i]->setText(r ? r->text : kUnknownCalibration);
    }
    return ok;
}

void TfrmMK310::tmrUpdateAODataTimer() {
    // Ranges the slot did not tell yet (it was not answering) are asked again.
    bool ok = std::find(range_.begin(), range_.end(), -1) == range_.end() || RefreshRanges();
    for (int n = 0; n < kChannels && ok; ++n) {
        std::string dataText;
        const auto i = static_cast<std::size_t>(n);
        const auto text = module_->ReadLastOutput(n, dataText)
                              ? OutputText(dataText, FindK310Range(range_[i]))
                              : std::nullopt;
        ok = text.has_value();
        if (!ok) break;
        ShowText(edtAOReadCh[i], *text);
        // The Output column follows the output until the user types a value of
        // his own, and again once it is sent.
        if (!edtAOValCh[i]->isModified()) ShowText(edtAOValCh[i], *text);
    }
    PollStatus(ok, "Polling AO data...", "Fail to fresh AO data!");
}

void TfrmMK310::btAOOutputClick(int channel) {
    if (channel < 0 || channel >= kChannels) return;
    const auto i = static_cast<std::size_t>(channel);
    Operation op(*this, btAOOutputCh[i]);
    const K310Range* r = FindK310Range(range_[i]);
    const auto value =
        r ? K310ValueText(edtAOValCh[i]->text().trimmed().toStdString(), *r) : std::nullopt;
    if (!value) {
        Error("Input Value Invalid!");
        return;
    }
    if (!module_->WriteChannel(channel, *value)) {
        Error("Write AO Failed!");
        return;
    }
    edtAOValCh[i]->setText(QString::fromStdString(*value));
    tmrUpdateAODataTimer();
}

// ---- TfrmMK310SingleChannelSetting ----------------------------------------------------

TfrmMK310SingleChannelSetting::TfrmMK310SingleChannelSetting(QWidget* parent) : PanelBase(parent) {
    auto* outer = new QVBoxLayout(this);
    grpMain = NamedGroup(" Tavo-K310 Channel ", "grpMain", this);
    outer->addWidget(grpMain);
    auto* g = new QGridLayout(grpMain);
    QStringList ranges;
    for (const auto& r : K310Ranges())
        ranges << r.text;
    cmbOutputRange = NamedCombo("cmbOutputRange", ranges, grpMain);
    cmbSlewRate = NamedCombo("cmbSlewRate", {}, grpMain);
    btUpdate = NamedButton("&Update", "btUpdate", grpMain);
    g->addWidget(CaptionLabel("Output &Range :", grpMain, cmbOutputRange), 0, 0);
    g->addWidget(cmbOutputRange, 0, 1, 1, 4);
    g->addWidget(CaptionLabel("Slew R&ate :", grpMain, cmbSlewRate), 1, 0);
    g->addWidget(cmbSlewRate, 1, 1, 1, 4);
    g->addWidget(btUpdate, 1, 5);

    edtAOValue = NamedEdit("edtAOValue", grpMain, 6);
    edtAOValue->setText("00.000");
    FilterKeys(edtAOValue, kUnsignedDecimalKeys, [this] { btAOOutputClick(); });
    btAOOutput = NamedButton("&Send", "btAOOutput", grpMain);
    g->addWidget(CaptionLabel("Output &Value :", grpMain, edtAOValue), 2, 0);
    g->addWidget(edtAOValue, 2, 1, 1, 4);
    g->addWidget(btAOOutput, 2, 5);
    tbAOValue = Named(new QSlider(Qt::Horizontal, grpMain), "tbAOValue");
    tbAOValue->setRange(0, 10000);
    g->addWidget(tbAOValue, 3, 1, 1, 4);
    const char* names[4] = {"bitbtnLeftLeft", "bitbtnLeft", "bitbtnRight", "bitbtnRightRight"};
    const char* captions[4] = {"<<", "<", ">", ">>"};
    for (int t = 0; t < 4; ++t) {
        btStep[static_cast<std::size_t>(t)] = NamedButton(captions[t], names[t], grpMain);
        g->addWidget(btStep[static_cast<std::size_t>(t)], 4, t + 1);
        connect(btStep[static_cast<std::size_t>(t)], &QPushButton::clicked, this,
                [this, t] { StepClick(t + 1); });
    }
    edtAORead = NamedEdit("edtAORead", grpMain, 32767, true);
    g->addWidget(CaptionLabel("Present Output :", grpMain, edtAORead), 5, 0);
    g->addWidget(edtAORead, 5, 1, 1, 4);
    btSetInitial = NamedButton("Set as &Initial", "btSetInitial", grpMain);
    btTrim4mA = NamedButton("Trim for &4mA", "btTrim4mA", grpMain);
    btTrim20mA = NamedButton("Trim for &20mA", "btTrim20mA", grpMain);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btSetInitial);
    buttons->addWidget(btTrim4mA);
    buttons->addWidget(btTrim20mA);
    buttons->addStretch();
    g->addLayout(buttons, 6, 0, 1, 6);
    outer->addStretch();

    connect(btUpdate, &QPushButton::clicked, this, &TfrmMK310SingleChannelSetting::btUpdateClick);
    connect(btAOOutput, &QPushButton::clicked, this,
            &TfrmMK310SingleChannelSetting::btAOOutputClick);
    connect(btSetInitial, &QPushButton::clicked, this,
            &TfrmMK310SingleChannelSetting::btSetInitialClick);
    connect(btTrim4mA, &QPushButton::clicked, this, &TfrmMK310SingleChannelSetting::btTrim4mAClick);
    connect(btTrim20mA, &QPushButton::clicked, this,
            &TfrmMK310SingleChannelSetting::btTrim20mAClick);
    // The same slew codes are rates in V/sec or mA/sec: the list speaks the unit of
    // the range it would be written with.
    connect(cmbOutputRange, &QComboBox::activated, this, [this] {
        const K310Range* r = SelectedRange();
        if (r && cmbSlewRate->count() > 0) FillSlewRates(!r->current);
    });
    connect(tbAOValue, &QSlider::valueChanged, this,
            [this](int v) { edtAOValue->setText(QString::asprintf("%2.3f", v / 1000.0)); });
    MakePollTimer("tmrUpdateAOData", 500);
    connect(PollTimer(), &QTimer::timeout, this,
            &TfrmMK310SingleChannelSetting::tmrUpdateAODataTimer);
}

TfrmMK310SingleChannelSetting::~TfrmMK310SingleChannelSetting() {
    StopPolling();
}

void TfrmMK310SingleChannelSetting::InitModule(const PanelContext& context) {
    Bind(context);
    const QString channelText = context.channel;
    channel_ =
        channelText.size() >= 4 && channelText[3].isDigit() && channelText[3].digitValue() < 4
            ? channelText[3].digitValue()
            : -1;
    grpMain->setTitle(QString(" Tavo-K310 Channel %1 ").arg(channel_));
    module_ = std::make_unique<TavoMK310>(Port(), WireAddress(), context.slot.toStdString());
    if (!RefreshGeneral()) Error("Refresh General Setting Error!!");
    if (!RefreshData()) Error("Refresh Data Area Error!!");
    if (!RefreshOutputValue()) Error("Refresh Output Value Error!!");
    StartPolling();
}

const K310Range* TfrmMK310SingleChannelSetting::SelectedRange() const {
    const int i = cmbOutputRange->currentIndex();
    return i >= 0 && i < 3 ? &K310Ranges()[static_cast<std::size_t>(i)] : nullptr;
}

void TfrmMK310SingleChannelSetting::FillSlewRates(bool volts) {
    static const QStringList v = {"immediately", "0.0625  V/sec", "0.0125  V/sec", "0.025  V/sec",
                                  "0.5  V/sec",  "1.0  V/sec",    "2.0  V/sec",    "4.0  V/sec",
                                  "8.0  V/sec",  "16.0  V/sec",   "32.0  V/sec",   "64.0  V/sec"};
    static const QStringList mA = {"immediately",  "0.125  mA/sec", "0.25  mA/sec",
                                   "0.5  mA/sec",  "1.0  mA/sec",   "2.0  mA/sec",
                                   "4.0  mA/sec",  "8.0  mA/sec",   "16.0  mA/sec",
                                   "32.0  mA/sec", "64.0  mA/sec",  "128.0  mA/sec"};
    const int selected = cmbSlewRate->currentIndex();
    cmbSlewRate->clear();
    cmbSlewRate->addItems(volts ? v : mA);
    cmbSlewRate->setCurrentIndex(selected);
}

void TfrmMK310SingleChannelSetting::ApplyTrimEnabling() {
    // Only the 4 ~ 20 mA range is trimmed, and only in the rack's INIT state.
    const K310Range* r = SelectedRange();
    const bool trim = InitMode() && r && r->code == 0x31;
    btTrim4mA->setEnabled(trim);
    btTrim20mA->setEnabled(trim);
}

bool TfrmMK310SingleChannelSetting::RefreshGeneral() {
    if (channel_ < 0 || !module_->ReadChannelConfig(channel_)) return false;
    const int code = static_cast<int>(HexOrZero(module_->SlotType()));
    const K310Range* r = FindK310Range(code);
    if (!r) return false;
    cmbOutputRange->setCurrentIndex(code - 0x30);
    SetTag(cmbOutputRange, code);
    FillSlewRates(!r->current);
    // Codes 12 to 15 name no rate of the list: nothing is selected rather than a
    // rate the channel does not run at.
    const int slew = static_cast<int>(HexOrZero(module_->SlotFormat()) >> 2 & 15);
    cmbSlewRate->setCurrentIndex(slew < cmbSlewRate->count() ? slew : -1);
    tbAOValue->setRange(0, static_cast<int>(r->hi * 1000));
    ApplyTrimEnabling();
    return true;
}

bool TfrmMK310SingleChannelSetting::RefreshData() {
    std::string dataText;
    if (channel_ < 0 || !module_->ReadLastOutput(channel_, dataText)) return false;
    const auto text = OutputText(dataText, SelectedRange());
    if (!text) return false;
    readBack_ = *text;
    ShowText(edtAORead, readBack_);
    return true;
}

bool TfrmMK310SingleChannelSetting::RefreshOutputValue() {
    // The value to send starts from the output the channel reported.
    if (readBack_.isEmpty()) return false;
    edtAOValue->setText(readBack_);
    QSignalBlocker block(tbAOValue);
    tbAOValue->setValue(static_cast<int>(std::lround(readBack_.toDouble() * 1000)));
    return true;
}

void TfrmMK310SingleChannelSetting::tmrUpdateAODataTimer() {
    PollStatus(RefreshData(), "Polling AIO data...", "Fail to fresh AIO data!");
}

void TfrmMK310SingleChannelSetting::btUpdateClick() {
    if (channel_ < 0) return;
    Operation op(*this, btUpdate);
    const K310Range* r = SelectedRange();
    const int slew = cmbSlewRate->currentIndex();
    if (!r || slew < 0) {
        Error(QString("Update General Setting Error!\n") +
              (r && cmbSlewRate->count() > 0 ? "Choose a slew rate first."
                                             : "The channel's settings have not been read yet."));
        return;
    }
    bool ok = module_->ReadChannelConfig(channel_);
    if (ok) {
        module_->SetSlotType(Hex2(r->code).toStdString());
        std::string bits;
        for (int b = 3; b >= 0; --b)
            bits += (slew >> b & 1) ? '1' : '0';
        module_->SetFormatBits52(bits);
        ok = module_->WriteChannelConfig(channel_);
    }
    if (ok) {
        WaitWithIndicator(this, kWaitMs, "Updating General Setting...");
        ApplyTrimEnabling();
        Information("Update Setting succeeded!");
    } else {
        Error("Update General Setting Error!");
    }
    if (!RefreshGeneral() || !RefreshData()) Error("Refresh Data Error!");
}

void TfrmMK310SingleChannelSetting::btAOOutputClick() {
    if (channel_ < 0) return;
    Operation op(*this, btAOOutput);
    const QString text = edtAOValue->text().trimmed();
    if (text.isEmpty()) {
        Error("Value can not be null !");
        return;
    }
    const K310Range* r = SelectedRange();
    const auto value = r ? K310ValueText(text.toStdString(), *r) : std::nullopt;
    if (!value) {
        Error("Please Input Valid Value!");
        edtAOValue->setText(readBack_);
        return;
    }
    {
        QSignalBlocker block(tbAOValue);
        tbAOValue->setValue(static_cast<int>(std::lround(std::stod(*value) * 1000)));
    }
    if (module_->WriteChannel(channel_, *value))
        Information("Update Output Value succeeded!");
    else
        Error("Write AO Failed!");
    if (!RefreshGeneral() || !RefreshData()) Error("Refresh General Setting Error!");
}

void TfrmMK310SingleChannelSetting::btSetInitialClick() {
    if (channel_ < 0) return;
    Operation op(*this, btSetInitial);
    if (module_->SetStartupToCurrent(channel_))
        Information("Start Up Calibration succeeded!");
    else
        Error("Start Up Calibration Error!");
}

void TfrmMK310SingleChannelSetting::StepClick(int tag) {
    static constexpr double kSteps[5] = {0, -1.0, -0.1, 0.1, 1.0};
    if (tag < 1 || tag > 4) return;
    const K310Range* r = SelectedRange();
    double v = 0;
    if (!ParsePlainDecimal(edtAOValue->text(), v)) v = r ? r->lo : 0;
    v += kSteps[tag];
    if (r) v = std::clamp(v, r->lo, r->hi);
    edtAOValue->setText(QString::asprintf("%2.3f", v));
    QSignalBlocker block(tbAOValue);
    tbAOValue->setValue(static_cast<int>(std::lround(v * 1000)));
}

void TfrmMK310SingleChannelSetting::Trim(int mode, const char* what) {
    if (channel_ < 0) return;
    Operation op(*this);
    TfrmMAOCalib dialog(this);
    dialog.setWindowTitle(grpMain->title() + what);
    dialog.SetK310(module_.get());
    dialog.SetChannel(channel_);
    dialog.SetMode(mode);
    dialog.Run();
}

void TfrmMK310SingleChannelSetting::btTrim4mAClick() {
    Trim(TfrmMAOCalib::k4mA, " 4mA Calibration");
}
void TfrmMK310SingleChannelSetting::btTrim20mAClick() {
    Trim(TfrmMAOCalib::k20mA, " 20mA Calibration");
}

} // namespace tavo
