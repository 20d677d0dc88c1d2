#include "dio_channel_setting.h"

#include "dio_channel_links.h"

#include "panels/common/edit_controls.h"
#include "panels/common/form_controls.h"

#include "devices/models_digital.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tavo {
namespace {

constexpr int kCounterMode = 1;
constexpr int kFrequencyMode = 4;
constexpr int kPulseMode = 1;

const char* const kStartCounting = "To Start Counting";
const char* const kStopCounting = "To Stop Counting";
const char* const kStartPulses = "To start pulse output";
const char* const kStopPulses = "To stop pulse output";
const char* const kTimingFailed = "Failed to set Pulse/Delay minimum output signal width !";

// What the module does in each input mode, and the request to set another.
const char* const kDIModeNames[5] = {"'D/I' Mode", "'Counter' Mode", "'LO to HI Latch' Mode",
                                     "'HI to LO Latch' Mode", "'Frequency' Mode"};

constexpr std::uint32_t kMaxWidth = 0xFFFFFFFFu;

void SetTextColor(QLabel* label, const QColor& color) {
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color);
    label->setPalette(p);
}

// A decimal field ("%ld" in the dialog's terms): digits only, within 32 bits.
std::optional<std::uint32_t> FieldValue(const QLineEdit* edit) {
    const auto v = ParseDigits(edit->text().trimmed(), kMaxWidth);
    if (!v || *v > kMaxWidth) return std::nullopt;
    return static_cast<std::uint32_t>(*v);
}

QRadioButton* Radio(const QString& caption, const QString& name, QWidget* parent) {
    return Named(new QRadioButton(caption, parent), name);
}

QLineEdit* NumberField(const QString& name, QWidget* parent, int maxLength,
                       std::function<void()> onEnter = {}) {
    auto* edit = NamedEdit(name, parent, maxLength);
    FilterKeys(edit, kDigitKeys, std::move(onEnter));
    return edit;
}

// Unchecks every button of an exclusive group.
void ClearGroup(QButtonGroup* group) {
    group->setExclusive(false);
    for (QAbstractButton* b : group->buttons()) b->setChecked(false);
    group->setExclusive(true);
}

} // namespace

TfrmMDIOChannelSetting::TfrmMDIOChannelSetting(QWidget* parent)
    : TfrmMDIOChannelSetting(parent, DigitalProtocol::Ascii) {}

TfrmMDIOChannelSetting::TfrmMDIOChannelSetting(QWidget* parent, DigitalProtocol protocol)
    : PanelBase(parent), protocol_(protocol) {
    BuildForm();
}

TfrmMDIOChannelSetting::~TfrmMDIOChannelSetting() {
    StopPolling();
}

TfrmMR850MDIOChannelSettingMod::TfrmMR850MDIOChannelSettingMod(QWidget* parent)
    : TfrmMDIOChannelSetting(parent, DigitalProtocol::Modbus) {}

TfrmMR860MDIOChannelSettingMod::TfrmMR860MDIOChannelSettingMod(QWidget* parent)
    : TfrmMDIOChannelSetting(parent, DigitalProtocol::Modbus) {}

// ---------------------------------------------------------------- form

void TfrmMDIOChannelSetting::BuildForm() {
    auto* top = new QVBoxLayout(this);
    grpChannel = NamedGroup("", "grpChannel", this);
    top->addWidget(grpChannel);
    auto* sides = new QVBoxLayout(grpChannel);
    grpDIConfig = BuildInputSide();
    grpDOConfig = BuildOutputSide();
    sides->addWidget(grpDIConfig);
    sides->addWidget(grpDOConfig);
    grpDIConfig->hide();
    grpDOConfig->hide();
    tmrRefreshDI = MakePollTimer("tmrRefreshDI", 500);
    connect(tmrRefreshDI, &QTimer::timeout, this, [this] { tmrRefreshDITimer(); });
}

QGroupBox* TfrmMDIOChannelSetting::BuildInputSide() {
    auto* side = NamedGroup("Digital Input Config:", "grpDIConfig", grpChannel);
    auto* rows = new QVBoxLayout(side);

    grpDIMode = NamedGroup("Mode Selecting: ", "grpDIMode", side);
    auto* modes = new QHBoxLayout(grpDIMode);
    diModes_ = new QButtonGroup(this);
    const char* const captions[5] = {"DI", "Counter", "Lo to Hi Latch", "Hi to Lo Latch",
                                     "Frequency"};
    const char* const names[5] = {"rbtnDI", "rbtnCounter", "rbtnLoHiLatch", "rbtnHiLoLatch",
                                  "rbtnFrequency"};
    for (int m = 0; m < 5; ++m) {
        auto* b = Radio(captions[m], names[m], grpDIMode);
        diModes_->addButton(b, m);
        modes->addWidget(b);
        rbtnDIMode[static_cast<std::size_t>(m)] = b;
        connect(b, &QRadioButton::clicked, this, [this, m] { rbtnDIModeClick(m); });
    }
    rows->addWidget(grpDIMode);
    lblDIModeText = NamedLabel("", "lblDIModeText", side);
    lblDIModeText->hide();
    rows->addWidget(lblDIModeText);

    // The counter, latch and frequency groups share one place; one shows at a time.
    grpCounter = NamedGroup("Counter Setting: ", "grpCounter", side);
    auto* counter = new QGridLayout(grpCounter);
    edtCounterValue = NamedEdit("edtCounterValue", grpCounter, 32767, true);
    cmdCounterStart = NamedButton(kStartCounting, "cmdCounterStart", grpCounter);
    btCounterClear = NamedButton("&Counter Clear", "btCounterClear", grpCounter);
    counter->addWidget(new QLabel("Counter Value:", grpCounter), 0, 0);
    counter->addWidget(edtCounterValue, 0, 1);
    counter->addWidget(cmdCounterStart, 1, 0);
    counter->addWidget(btCounterClear, 1, 1);
    connect(cmdCounterStart, &QPushButton::clicked, this, [this] { cmdCounterStartClick(); });
    connect(btCounterClear, &QPushButton::clicked, this, [this] { btCounterClearClick(); });
    rows->addWidget(grpCounter);

    grpClearLatch = NamedGroup("", "grpClearLatch", side);
    auto* latch = new QHBoxLayout(grpClearLatch);
    btClearLatch = NamedButton("Clear Latch", "btClearLatch", grpClearLatch);
    latch->addWidget(btClearLatch);
    connect(btClearLatch, &QPushButton::clicked, this, [this] { btClearLatchClick(); });
    rows->addWidget(grpClearLatch);

    grpFrequency = NamedGroup("Frequency", "grpFrequency", side);
    auto* frequency = new QHBoxLayout(grpFrequency);
    edtFrequency = NamedEdit("edtFrequency", grpFrequency, 32767, true);
    frequency->addWidget(new QLabel("Frequency value:", grpFrequency));
    frequency->addWidget(edtFrequency);
    frequency->addWidget(new QLabel("Hz", grpFrequency));
    rows->addWidget(grpFrequency);

    grpFilter = NamedGroup("Digital Function: ", "grpFilter", side);
    auto* filter = new QGridLayout(grpFilter);
    rbtnFilterDisable = Radio("Disable", "rbtnFilterDisable", grpFilter);
    rbtnFilterEnable = Radio("Enable", "rbtnFilterEnable", grpFilter);
    rbtnFilterDisable->setChecked(true);
    connect(rbtnFilterDisable, &QRadioButton::clicked, this, [this] { rbtnFilterClick(); });
    connect(rbtnFilterEnable, &QRadioButton::clicked, this, [this] { rbtnFilterClick(); });
    const auto update = [this] { bitbtnDIUpdateClick(); };
    edtLoWidth = NumberField("edtLoWidth", grpFilter, 4, update);
    edtHiWidth = NumberField("edtHiWidth", grpFilter, 4, update);
    lblLoUnit = NamedLabel("0.1m Sec", "lblLoUnit", grpFilter);
    lblHiUnit = NamedLabel("0.1m Sec", "lblHiUnit", grpFilter);
    chkKeepCounter = Named(new QCheckBox("Keep last counter value when power off", grpFilter),
                           "chkKeepCounter");
    filter->addWidget(new QLabel("Filter: ", grpFilter), 0, 0);
    filter->addWidget(rbtnFilterDisable, 0, 1);
    filter->addWidget(rbtnFilterEnable, 0, 2);
    filter->addWidget(new QLabel("Enter minimum LO signal width: ", grpFilter), 1, 0);
    filter->addWidget(edtLoWidth, 1, 1);
    filter->addWidget(lblLoUnit, 1, 2);
    filter->addWidget(new QLabel("Enter minimum HI signal width: ", grpFilter), 2, 0);
    filter->addWidget(edtHiWidth, 2, 1);
    filter->addWidget(lblHiUnit, 2, 2);
    filter->addWidget(chkKeepCounter, 3, 0, 1, 3);
    rows->addWidget(grpFilter);

    chkInvert = Named(new QCheckBox("To invert signal", side), "chkInvert");
    bitbtnDIUpdate = NamedButton("&Update", "bitbtnDIUpdate", side);
    connect(bitbtnDIUpdate, &QPushButton::clicked, this, [this] { bitbtnDIUpdateClick(); });
    auto* last = new QHBoxLayout;
    last->addWidget(chkInvert);
    last->addStretch();
    last->addWidget(bitbtnDIUpdate);
    rows->addLayout(last);

    for (QWidget* g : {static_cast<QWidget*>(grpCounter), static_cast<QWidget*>(grpClearLatch),
                       static_cast<QWidget*>(grpFrequency), static_cast<QWidget*>(grpFilter)})
        g->hide();
    return side;
}

QGroupBox* TfrmMDIOChannelSetting::BuildOutputSide() {
    auto* side = NamedGroup("Digital Output Mode Setting: ", "grpDOConfig", grpChannel);
    auto* rows = new QVBoxLayout(side);

    grpDOMode = NamedGroup("", "grpDOMode", side);
    auto* modes = new QHBoxLayout(grpDOMode);
    doModes_ = new QButtonGroup(this);
    const char* const captions[4] = {"D/O", "Pulse Output", "Lo to Hi Delay", "Hi to Lo Delay"};
    const char* const names[4] = {"rbtnDO", "rbtnPulse", "rbtnLoHiDelay", "rbtnHiLoDelay"};
    for (int m = 0; m < 4; ++m) {
        auto* b = Radio(captions[m], names[m], grpDOMode);
        doModes_->addButton(b, m);
        modes->addWidget(b);
        rbtnDOMode[static_cast<std::size_t>(m)] = b;
        connect(b, &QRadioButton::clicked, this, [this, m] { rbtnDOModeClick(m); });
    }
    rows->addWidget(grpDOMode);

    grpPulse = NamedGroup("Pulse Waveform Setting: ", "grpPulse", side);
    auto* pulse = new QGridLayout(grpPulse);
    edtPulseHiWidth = NumberField("edtPulseHiWidth", grpPulse, 10);
    edtPulseLoWidth = NumberField("edtPulseLoWidth", grpPulse, 10);
    connect(edtPulseHiWidth, &QLineEdit::editingFinished, this, [this] { edtPulseWidthExit(); });
    connect(edtPulseLoWidth, &QLineEdit::editingFinished, this, [this] { edtPulseWidthExit(); });
    lblFreq = NamedLabel("The output Freq: ", "lblFreq", grpPulse);
    lblDuty = NamedLabel("", "lblDuty", grpPulse);
    pulse->addWidget(new QLabel("HI width: ", grpPulse), 0, 0);
    pulse->addWidget(edtPulseHiWidth, 0, 1);
    pulse->addWidget(new QLabel("0.1m Sec", grpPulse), 0, 2);
    pulse->addWidget(new QLabel("LO width: ", grpPulse), 1, 0);
    pulse->addWidget(edtPulseLoWidth, 1, 1);
    pulse->addWidget(new QLabel("0.1m Sec", grpPulse), 1, 2);
    pulse->addWidget(lblFreq, 2, 0, 1, 2);
    pulse->addWidget(lblDuty, 2, 2);
    rows->addWidget(grpPulse);

    grpPulseCount = NamedGroup("How many pulses count to output: ", "grpPulseCount", side);
    auto* count = new QGridLayout(grpPulseCount);
    rbtnContinuous = Radio("Continuous", "rbtnContinuous", grpPulseCount);
    rbtnCount = Radio("Count", "rbtnCount", grpPulseCount);
    rbtnCount->setChecked(true);
    edtCount = NumberField("edtCount", grpPulseCount, 10);
    edtCount->setText("100");
    edtCurrentCount = NamedEdit("edtCurrentCount", grpPulseCount, 32767, true);
    btnStartup = NamedButton(kStartPulses, "btnStartup", grpPulseCount);
    connect(btnStartup, &QPushButton::clicked, this, [this] { btnStartupClick(); });
    count->addWidget(rbtnContinuous, 0, 0);
    count->addWidget(rbtnCount, 0, 1);
    count->addWidget(edtCount, 0, 2);
    count->addWidget(new QLabel("Pulses to come:", grpPulseCount), 1, 0);
    count->addWidget(edtCurrentCount, 1, 1);
    count->addWidget(btnStartup, 1, 2);
    rows->addWidget(grpPulseCount);

    grpDelay = NamedGroup("Delay Time Setting: ", "grpDelay", side);
    auto* delay = new QHBoxLayout(grpDelay);
    edtDelay = NumberField("edtDelay", grpDelay, 10);
    delay->addWidget(new QLabel("Delay time: ", grpDelay));
    delay->addWidget(edtDelay);
    delay->addWidget(new QLabel("0.1m Sec", grpDelay));
    rows->addWidget(grpDelay);

    bitbtnDOUpdate = NamedButton("&Update", "bitbtnDOUpdate", side);
    connect(bitbtnDOUpdate, &QPushButton::clicked, this, [this] { bitbtnDOUpdateClick(); });
    rows->addWidget(bitbtnDOUpdate, 0, Qt::AlignRight);

    grpPulse->hide();
    grpPulseCount->hide();
    grpDelay->hide();
    return side;
}

// ---------------------------------------------------------------- start-up

void TfrmMDIOChannelSetting::InitModule(const PanelContext& context) {
    Bind(context);
    const QString channel = context.channel;
    output_ = channel.left(2) == "DO";
    bool ok = false;
    const int number = channel.mid(2).toInt(&ok);
    channel_ = ok && number >= 0 && number <= 9 ? number : -1;
    grpChannel->setTitle(QString("%1-%2  %3:%4")
                             .arg("Tavo", context.parentDesignation, output_ ? "DO" : "DI")
                             .arg(ok ? number : 0));
    const std::string address = WireAddress();
    device_ = std::make_unique<TavoMR850>(Port(), address);
    link_ = protocol_ == DigitalProtocol::Modbus ? MakeModbusChannelLink(*device_, address)
                                                 : MakeAsciiChannelLink(*device_);
    if (output_)
        StartOutput();
    else
        StartInput();
    StartPolling();
}

void TfrmMDIOChannelSetting::StartOutput() {
    grpDOConfig->show();
    ClearGroup(doModes_);
    unsigned mode = 0;
    if (link_->ReadOutputMode(channel_, mode)) {
        const int m = static_cast<int>(mode & 0x0F);
        if (m < 4) {
            rbtnDOMode[static_cast<std::size_t>(m)]->setChecked(true);
            ShowOutputMode(m, Reads::ModeOnly);
        }
        return;
    }
    grpDelay->hide();
    grpPulse->hide();
    grpPulseCount->hide();
    bitbtnDOUpdate->hide();
    Error("Failed to read DO mode !");
}

void TfrmMDIOChannelSetting::StartInput() {
    grpDIConfig->show();
    ClearGroup(diModes_);
    unsigned mode = 0;
    if (link_->ReadInputMode(channel_, mode)) {
        moduleByte_ = mode;
        const int m = static_cast<int>(mode & 0x0F);
        if (m < 5) rbtnDIMode[static_cast<std::size_t>(m)]->setChecked(true);
        ShowInputMode(m, mode, Reads::ModeOnly);
        return;
    }
    grpClearLatch->hide();
    grpFrequency->hide();
    Status("Failed to read DI mode !");
}

int TfrmMDIOChannelSetting::SelectedDIMode() const {
    return diModes_->checkedId();
}

int TfrmMDIOChannelSetting::SelectedDOMode() const {
    return doModes_->checkedId();
}

// ---------------------------------------------------------------- input side

void TfrmMDIOChannelSetting::ShowInputMode(int selected, unsigned moduleByte, Reads reads) {
    chkInvert->setChecked(moduleByte & 0x80);
    grpCounter->hide();
    grpFilter->hide();
    grpClearLatch->hide();
    grpFrequency->hide();
    if (selected < 0 || selected > 4) {
        lblDIModeText->hide();
        return;
    }
    const int present = static_cast<int>(moduleByte & 0x0F);
    if (selected != present) {
        lblDIModeText->setText(QString("Please clicking 'Update' button to set as %1")
                                   .arg(kDIModeNames[selected]));
        SetTextColor(lblDIModeText, Qt::red);
        lblDIModeText->show();
        return;
    }
    if (selected == kCounterMode) {
        lblDIModeText->hide();
        grpCounter->show();
        // The filter's widths are read when the mode is chosen; until then its group
        // stays away, and Update keeps the module's filter as it is.
        if (reads == Reads::ModeOnly) return;
        grpFilter->show();
        chkKeepCounter->setChecked(moduleByte & 0x20);
        (moduleByte & 0x40 ? rbtnFilterEnable : rbtnFilterDisable)->setChecked(true);
        ApplyFilterState();
        std::uint32_t low = 0, high = 0;
        if (link_->ReadInputWidths(channel_, low, high)) {
            edtLoWidth->setText(QString::number(low));
            edtHiWidth->setText(QString::number(high));
        } else {
            Error("Failed to read DI filter input width !");
        }
        return;
    }
    lblDIModeText->setText(kDIModeNames[selected]);
    SetTextColor(lblDIModeText, Qt::blue);
    lblDIModeText->show();
    if (selected == 2 || selected == 3) grpClearLatch->show();
    if (selected == kFrequencyMode) grpFrequency->show();
}

void TfrmMDIOChannelSetting::ApplyFilterState() {
    const bool on = rbtnFilterEnable->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(edtLoWidth), static_cast<QWidget*>(edtHiWidth),
                       static_cast<QWidget*>(lblLoUnit), static_cast<QWidget*>(lblHiUnit)})
        w->setEnabled(on);
}

void TfrmMDIOChannelSetting::rbtnFilterClick() {
    ApplyFilterState();
}

void TfrmMDIOChannelSetting::rbtnDIModeClick(int mode) {
    if (!link_) return;
    Operation op(*this);
    unsigned byte = 0;
    if (!link_->ReadInputMode(channel_, byte)) {
        Error("Failed to read DI mode !");
        return;
    }
    moduleByte_ = byte;
    ShowInputMode(mode, byte);
}

void TfrmMDIOChannelSetting::bitbtnDIUpdateClick() {
    if (!link_) return;
    const int mode = SelectedDIMode();
    if (mode < 0) {
        Error("Please select a mode first!");
        return;
    }
    Operation op(*this);
    unsigned byte = moduleByte_;
    if (mode == kCounterMode && !grpFilter->isHidden()) {
        const auto low = FieldValue(edtLoWidth), high = FieldValue(edtHiWidth);
        if (!low || !high || !link_->SetInputWidths(channel_, *low, *high)) {
            Error("Failed to set Min Signal Width !");
            return;
        }
        byte = chkKeepCounter->isChecked() ? byte | 0x20 : byte & ~0x20u;
        byte = rbtnFilterEnable->isChecked() ? byte | 0x40 : byte & ~0x40u;
    }
    byte = (byte & 0xF0) | static_cast<unsigned>(mode);
    byte = chkInvert->isChecked() ? byte | 0x80 : byte & ~0x80u;
    if (!link_->SetInputMode(channel_, byte & 0xFF)) {
        Error("Failed to set DI mode !");
        return;
    }
    Information("Success to set DI mode !");
    // What the module holds now.
    unsigned now = 0;
    if (link_->ReadInputMode(channel_, now)) {
        moduleByte_ = now;
        ShowInputMode(mode, now);
    } else {
        Error("Failed to read DI mode !");
    }
}

void TfrmMDIOChannelSetting::cmdCounterStartClick() {
    if (!link_) return;
    Operation op(*this);
    const bool counting = cmdCounterStart->text() == kStopCounting;
    if (!link_->SetCounting(channel_, !counting)) {
        Error(counting ? "Failed to stop counting !" : "Failed to start counting !");
        return;
    }
    cmdCounterStart->setText(counting ? kStartCounting : kStopCounting);
}

void TfrmMDIOChannelSetting::btCounterClearClick() {
    if (!link_) return;
    Operation op(*this);
    if (!link_->ClearCounter(channel_)) Error("Failed to clear counter value !");
}

void TfrmMDIOChannelSetting::btClearLatchClick() {
    if (!link_) return;
    Operation op(*this);
    if (!link_->ClearLatch(channel_)) Error("Failed to clear latch value !");
}

// ---------------------------------------------------------------- output side

std::optional<TfrmMDIOChannelSetting::Waveform>
TfrmMDIOChannelSetting::PulseWaveform(std::uint32_t high, std::uint32_t low) {
    if (high < 1 || low < 1) return std::nullopt;
    const double period = (static_cast<double>(high) + low) * 0.0001; // seconds
    return Waveform{QString::asprintf("%7.2f", 1.0 / period),
                    QString::asprintf("%5.2f", static_cast<double>(high) / (double(high) + low) * 100)};
}

void TfrmMDIOChannelSetting::ShowWaveform(bool complain) {
    const auto high = FieldValue(edtPulseHiWidth), low = FieldValue(edtPulseLoWidth);
    const auto wave = high && low ? PulseWaveform(*high, *low) : std::nullopt;
    if (!wave) {
        lblFreq->setText("The output Freq: ");
        lblDuty->clear();
        if (complain) Error("Input value have to >=1 !");
        return;
    }
    lblFreq->setText("The output Freq: " + wave->frequency + " Hz");
    lblDuty->setText("Duty: " + wave->duty + " %");
}

void TfrmMDIOChannelSetting::edtPulseWidthExit() {
    ShowWaveform(true);
}

void TfrmMDIOChannelSetting::ShowOutputMode(int selected, Reads reads) {
    // The waveform and the delay come with their timings, read when the mode is
    // chosen; Update keeps the module's timings while their groups are away.
    const bool timings = reads == Reads::All;
    grpPulse->setVisible(selected == kPulseMode && timings);
    grpPulseCount->setVisible(selected == kPulseMode);
    grpDelay->setVisible((selected == 2 || selected == 3) && timings);
    if (selected < 1 || selected > 3 || !timings) return;
    DioChannelLink::Timings t{};
    if (!link_->ReadTimings(channel_, t)) {
        Error("Failed to read DO low level width !");
        return;
    }
    edtPulseLoWidth->setText(QString::number(t[0]));
    edtPulseHiWidth->setText(QString::number(t[1]));
    edtDelay->setText(QString::number(selected == 2 ? t[2] : t[3]));
    ShowWaveform(false);
}

void TfrmMDIOChannelSetting::rbtnDOModeClick(int mode) {
    if (!link_) return;
    Operation op(*this);
    ShowOutputMode(mode);
}

void TfrmMDIOChannelSetting::bitbtnDOUpdateClick() {
    if (!link_) return;
    const int mode = SelectedDOMode();
    if (mode < 0) {
        Error("Please select a mode first!");
        return;
    }
    Operation op(*this);
    const bool pulseShown = !grpPulse->isHidden(), delayShown = !grpDelay->isHidden();
    const auto low = FieldValue(edtPulseLoWidth), high = FieldValue(edtPulseHiWidth);
    const auto delay = FieldValue(edtDelay);
    if (mode == kPulseMode && pulseShown && (!low || !high || *low <= 3 || *high <= 3)) {
        Error("The high/Low width must be greater than 3!");
        return;
    }
    // Nothing goes out before every value that will be written has been read.
    if (mode >= 2 && delayShown && !delay) {
        Error(kTimingFailed);
        return;
    }
    if (!link_->SetOutputMode(channel_, static_cast<unsigned>(mode))) {
        Error("Failed to set DO mode !");
        return;
    }
    if (mode >= 1) {
        DioChannelLink::Timings t{};
        if (!link_->ReadTimings(channel_, t)) {
            Error(kTimingFailed);
            return;
        }
        if (pulseShown && low && high) {
            t[0] = *low;
            t[1] = *high;
        } else if (delayShown && delay) {
            t[mode == 2 ? 2 : 3] = *delay;
        }
        if (!link_->SetTimings(channel_, t)) {
            Error(kTimingFailed);
            return;
        }
    }
    Information("Success to set DO mode !");
    rbtnDOMode[static_cast<std::size_t>(mode)]->setChecked(true);
    ShowOutputMode(mode);
}

void TfrmMDIOChannelSetting::btnStartupClick() {
    if (!link_) return;
    Operation op(*this);
    const bool start = btnStartup->text() == kStartPulses;
    std::uint32_t count = 1; // ends a train at once
    if (start) {
        if (rbtnContinuous->isChecked()) {
            count = 0;
        } else {
            // Below 1 (or nothing typed) is one pulse; beyond 32 bits, as many as fit.
            const auto n = ParseDigits(edtCount->text().trimmed(), kMaxWidth);
            count = !n || *n < 1 ? 1 : *n > kMaxWidth ? kMaxWidth : static_cast<std::uint32_t>(*n);
        }
    }
    if (!link_->SetPulseCount(channel_, count)) {
        Error("Failed to pulse output counts !");
        return;
    }
    btnStartup->setText(start ? kStopPulses : kStartPulses);
}

// ---------------------------------------------------------------- refresh

void TfrmMDIOChannelSetting::tmrRefreshDITimer() {
    if (!link_) return;
    if (!grpPulseCount->isHidden() && rbtnCount->isChecked()) {
        bool running = false;
        std::uint32_t remaining = 0;
        const bool ok = link_->ReadPulseCount(channel_, running, remaining);
        if (PollStatus(ok, "Polling DIO data...", "Failed to reading current pulse count !")) {
            edtCurrentCount->setText(QString::number(running ? remaining : 0));
            btnStartup->setText(running ? kStopPulses : kStartPulses);
        }
    }
    const bool counter = !grpCounter->isHidden(), frequency = !grpFrequency->isHidden();
    if (!counter && !frequency) return;
    std::uint32_t value = 0;
    if (!PollStatus(link_->ReadCounter(channel_, value), "Polling DIO data...",
                    "Failed to read counter value !"))
        return;
    if (frequency) edtFrequency->setText(QString::asprintf("%4.1f", value * 0.1));
    if (!counter) return;
    edtCounterValue->setText(QString::number(value));
    bool counting = false;
    if (link_->ReadCounting(channel_, counting))
        cmdCounterStart->setText(counting ? kStopCounting : kStartCounting);
    else
        Status("Failed to read counting status !");
}

} // namespace tavo
