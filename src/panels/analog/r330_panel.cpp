#include "r330_panel.h"

#include "calib_dialogs.h"
#include "output_track.h"
#include "r310_panel.h"

#include "panels/common/edit_controls.h"
#include "panels/common/form_controls.h"

#include "devices/models_analog.h"
#include "devices/range_tables.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

namespace tavo {
namespace {

// The comm-safety time goes out as four hexadecimal digits of tenths of a second.
constexpr std::uint64_t kMaxSafetyTenths = 0xFFFF;

// A text with the channel number in place of %1.
QString ChannelText(const QString& text, int n) {
    return text.arg(n);
}

} // namespace

TfrmMR330::TfrmMR330(QWidget* parent) : TfrmMR330("R330", parent) {}

TfrmMR330::TfrmMR330(const QString& model, QWidget* parent) : GeneralSettingsPanel(parent) {
    setObjectName("TfrmM" + QString(model).remove(' '));
    BuildForm(model);
    connect(MakePollTimer("tmrUpdateData", 500), &QTimer::timeout, this,
            [this] { tmrUpdateDataTimer(); });
}

TfrmMR330::~TfrmMR330() {
    StopPolling();
}

void TfrmMR330::BuildForm(const QString& model) {
    QVBoxLayout* main = AddMainGroup(model);
    layout()->setContentsMargins(0, 0, 0, 0);
    static_cast<QVBoxLayout*>(layout())->addStretch();
    auto* upper = new QHBoxLayout;
    main->addLayout(upper);

    // General settings.
    grpGeneralSetting = NamedGroup(" General Setting ", "grpGeneralSetting", grpModule);
    auto* general = new QGridLayout(grpGeneralSetting);
    int row = 0;
    GeneralRows rows;
    rows.onAddressEnter = [this] { btSystemUpdateClick(); };
    AddGeneralControls(general, row, rows);
    cmbSlewRate = NamedCombo("cmbSlewRate", R330SlewRateItems(), grpGeneralSetting);
    cmbSlewRate->setCurrentIndex(-1);
    general->addWidget(CaptionLabel("Slew Rate :", grpGeneralSetting, cmbSlewRate), row, 0);
    general->addWidget(cmbSlewRate, row++, 1);
    cmbPotocolSelect = NamedCombo("cmbPotocolSelect", {}, grpGeneralSetting);
    cmbPotocolSelect->addItems({"ASCII", "MODBUS"});
    cmbPotocolSelect->setCurrentIndex(-1);
    general->addWidget(CaptionLabel("Protocol :", grpGeneralSetting, cmbPotocolSelect), row, 0);
    general->addWidget(cmbPotocolSelect, row++, 1);
    // Room for "6553.5", the longest time the module takes.
    edtCommSafety = NamedEdit("edtCommSafety", grpGeneralSetting, 6);
    edtCommSafety->setToolTip("0.0~6553.5");
    FilterKeys(edtCommSafety, kUnsignedDecimalKeys, [this] { btSystemUpdateClick(); });
    auto* safety = new QHBoxLayout;
    safety->addWidget(edtCommSafety);
    lblCommSafetyUnit = NamedLabel("Sec", "lblCommSafetyUnit", grpGeneralSetting);
    safety->addWidget(lblCommSafetyUnit);
    general->addWidget(CaptionLabel("Comm safety:", grpGeneralSetting, edtCommSafety), row, 0);
    general->addLayout(safety, row++, 1);
    btSystemUpdate = NamedButton("&Update", "btSystemUpdate", grpGeneralSetting);
    general->addWidget(btSystemUpdate, row++, 1, Qt::AlignRight);
    connect(btSystemUpdate, &QPushButton::clicked, this, [this] { btSystemUpdateClick(); });
    upper->addWidget(grpGeneralSetting);

    // Direct output, calibration and digital inputs.
    auto* right = new QVBoxLayout;
    upper->addLayout(right);
    grpOutput = NamedGroup(" AO Output ", "grpOutput", grpModule);
    auto* output = new QGridLayout(grpOutput);
    // The channels as the rows of the channel setup name them.
    cmbOutputCh = NamedCombo("cmbOutputCh", {"Ch 0", "Ch 1", "Ch 2", "Ch 3"}, grpOutput);
    edtAOOutput = NamedEdit("edtAOOutput", grpOutput);
    edtAOOutput->setText("0.000");
    FilterKeys(edtAOOutput, kSignedDecimalKeys, [this] { btAOOutputClick(); });
    lblOutputUnit = NamedLabel("mA", "lblOutputUnit", grpOutput);
    btAOOutput = NamedButton("&Output", "btAOOutput", grpOutput);
    scrbarAO = Named(new QScrollBar(Qt::Horizontal, grpOutput), "scrbarAO");
    scrbarAO->setRange(0, 100);
    output->addWidget(cmbOutputCh, 0, 0);
    output->addWidget(edtAOOutput, 0, 1);
    output->addWidget(lblOutputUnit, 0, 2);
    output->addWidget(btAOOutput, 0, 3);
    output->addWidget(scrbarAO, 1, 0, 1, 4);
    bitbtn4mA = NamedButton("4 mA", "bitbtn4mA", grpOutput);
    bitbtn20mA = NamedButton("20 mA", "bitbtn20mA", grpOutput);
    lblCalibration = NamedLabel("Calibration :", "lblCalibration", grpOutput);
    output->addWidget(lblCalibration, 2, 0);
    output->addWidget(bitbtn4mA, 2, 1);
    output->addWidget(bitbtn20mA, 2, 2);
    connect(cmbOutputCh, &QComboBox::currentIndexChanged, this, [this] { cmbOutputChChange(); });
    connect(scrbarAO, &QScrollBar::valueChanged, this, [this] { scrbarAOChange(); });
    connect(btAOOutput, &QPushButton::clicked, this, [this] { btAOOutputClick(); });
    connect(bitbtn4mA, &QPushButton::clicked, this, [this] { bitbtn4mAClick(); });
    connect(bitbtn20mA, &QPushButton::clicked, this, [this] { bitbtn20mAClick(); });
    right->addWidget(grpOutput);

    grpDI = NamedGroup(" Digital Input ", "grpDI", grpModule);
    auto* di = new QHBoxLayout(grpDI);
    for (int n = 0; n < kChannels; ++n) {
        auto* b = NamedButton(ChannelText("DI%1", n), ChannelText("bitbtnDI%1", n + 1), grpDI);
        b->setFocusPolicy(Qt::NoFocus);
        SetLamp(b, false);
        di->addWidget(b);
        bitbtnDI[static_cast<std::size_t>(n)] = b;
    }
    edtDIData = NamedEdit("edtDIData", grpDI, 32767, true);
    di->addWidget(CaptionLabel("Hex :", grpDI));
    di->addWidget(edtDIData);
    right->addWidget(grpDI);
    right->addStretch();

    // Channel setup.
    grpChannelSetup = NamedGroup(" AO Channel Setup", "grpChannelSetup", grpModule);
    auto* setup = new QGridLayout(grpChannelSetup);
    const QStringList heads = {"Range", "Emer. Input", "Emer. Value", "Startup Value",
                               "Current Value"};
    const QStringList headNames = {"lblRangeHead", "lblEmerInputHead", "lblEmerValHead",
                                   "lblStartUpValHead", "lblCurValHead"};
    for (int c = 0; c < heads.size(); ++c) {
        QLabel* head = NamedLabel(heads[c], headNames[c], grpChannelSetup);
        setup->addWidget(head, 0, c + 1);
        if (c >= 1 && c <= 3) channelSettingHeads[static_cast<std::size_t>(c - 1)] = head;
    }
    QStringList ranges;
    for (const RangeItem& item : RangeItems(RangeList::R330Output))
        ranges << item.text;
    for (int n = 0; n < kChannels; ++n) {
        const auto i = static_cast<std::size_t>(n);
        setup->addWidget(
            NamedLabel(ChannelText("Ch %1", n), ChannelText("lblCh%1", n), grpChannelSetup), n + 1,
            0);
        cmbAORange[i] = NamedCombo(ChannelText("cmbAORange%1", n + 1), ranges, grpChannelSetup);
        cmbAORange[i]->setCurrentIndex(-1);
        ckbEmerInput[i] = Named(new QCheckBox("Enable", grpChannelSetup),
                                ChannelText("ckbEmerInput%1", n + 1));
        txbEmerVal[i] = NamedEdit(ChannelText("txbEmerVal%1", n + 1), grpChannelSetup);
        txbStartUpVal[i] = NamedEdit(ChannelText("txbStartUpVal%1", n + 1), grpChannelSetup);
        txbCurVal[i] = NamedEdit(ChannelText("txbCurVal%1", n + 1), grpChannelSetup, 32767, true);
        FilterKeys(txbEmerVal[i], kSignedDecimalKeys);
        FilterKeys(txbStartUpVal[i], kSignedDecimalKeys);
        int column = 1;
        for (QWidget* w : {static_cast<QWidget*>(cmbAORange[i]),
                           static_cast<QWidget*>(ckbEmerInput[i]),
                           static_cast<QWidget*>(txbEmerVal[i]),
                           static_cast<QWidget*>(txbStartUpVal[i]),
                           static_cast<QWidget*>(txbCurVal[i])})
            setup->addWidget(w, n + 1, column++);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btAORead = NamedButton("&Refresh", "btAORead", grpChannelSetup);
    btAOFunctionSet = NamedButton("&Update", "btAOFunctionSet", grpChannelSetup);
    buttons->addWidget(btAORead);
    buttons->addWidget(btAOFunctionSet);
    setup->addLayout(buttons, kChannels + 1, 0, 1, heads.size() + 1);
    connect(btAORead, &QPushButton::clicked, this, [this] { btAOReadClick(); });
    connect(btAOFunctionSet, &QPushButton::clicked, this, [this] { btAOFunctionSetClick(); });
    main->addWidget(grpChannelSetup);
}

QString TfrmMR330::MainCaption() const {
    return grpModule->title();
}

std::unique_ptr<R330Link> TfrmMR330::MakeLink(TavoMR330& module) {
    return std::make_unique<R330AsciiLink>(module);
}

// ---- Start and refresh ---------------------------------------------------------------

void TfrmMR330::InitModule(const PanelContext& context) {
    Bind(context);
    EnableInitControls();
    // Slew rate and protocol are written only with the INIT jumper set.
    cmbSlewRate->setEnabled(InitMode());
    cmbPotocolSelect->setEnabled(InitMode());
    module_ = std::make_unique<TavoMR330>(Port(), WireAddress());
    link_ = MakeLink(*module_);
    PollTimer()->setInterval(link_->PollIntervalMs());
    if (!link_->HasChannelSettings()) {
        // Fields the module cannot report over this link would stay empty: they go.
        for (QWidget* w : channelSettingHeads)
            w->hide();
        for (int n = 0; n < kChannels; ++n) {
            const auto i = static_cast<std::size_t>(n);
            for (QWidget* w : {static_cast<QWidget*>(ckbEmerInput[i]),
                               static_cast<QWidget*>(txbEmerVal[i]),
                               static_cast<QWidget*>(txbStartUpVal[i])}) {
                w->setEnabled(false);
                w->hide();
            }
        }
    }
    RefreshGeneral();
    if (link_->OutputsNeedRanges()) {
        RefreshChannelSetup();
        tmrUpdateDataTimer();
        cmbOutputChChange();
    } else {
        // The outputs first: the output view of the channel setup shows them.
        tmrUpdateDataTimer();
        RefreshChannelSetup();
    }
    StartPolling();
}

void TfrmMR330::RefreshGeneral() {
    General general;
    std::string bits52;
    const bool ok = ReadGeneral(*module_, general) && module_->GetFormatBits52(bits52);
    const int baud = static_cast<int>(HexOrZero(general.baudCode)) - 3;
    if (!ok || baud < 0 || baud >= cmbBaudRate->count()) {
        Status("Fail to fresh general setting data!");
        return;
    }
    ShowGeneral(general, QString::fromStdString(general.firmware));
    const int slew = SlewCode(bits52);
    cmbSlewRate->setCurrentIndex(slew < cmbSlewRate->count() ? slew : -1);
    std::string safety, protocol;
    if (!module_->ReadCommSafety(safety) || !module_->GetProtocolBit(protocol)) {
        Status("Fail to fresh Safety setting data!");
        return;
    }
    edtCommSafety->setText(QString::asprintf("%.1f", HexOrZero(safety) / 10.0));
    cmbPotocolSelect->setCurrentIndex(protocol == "0" ? 0 : 1);
}

bool TfrmMR330::RefreshChannelSetup() {
    R330Link::Setups setups{};
    const bool ok = link_->ReadChannelSetups(setups);
    for (int n = 0; n < kChannels; ++n) {
        const auto i = static_cast<std::size_t>(n);
        if (!setups[i]) continue;
        const R330ChannelSetup& setup = *setups[i];
        // A range the module reports that is none of the R330's shows as none.
        rangeCode_[i] = R330Range(setup.rangeCode) ? setup.rangeCode : -1;
        cmbAORange[i]->setCurrentIndex(rangeCode_[i] < 0 ? -1 : rangeCode_[i] - 0x30);
        if (!link_->HasChannelSettings()) continue;
        txbStartUpVal[i]->setText(QString::fromStdString(setup.startup));
        txbEmerVal[i]->setText(QString::fromStdString(setup.emergency));
        ckbEmerInput[i]->setChecked(setup.emergencyInput);
    }
    if (!ok) {
        Status("Fail to fresh AO status!");
        return false;
    }
    cmbOutputChChange();
    return true;
}

// ---- Poll ----------------------------------------------------------------------------

bool TfrmMR330::ReadOutputs() {
    R330Link::Outputs values{};
    const bool ok = link_->ReadOutputs(values);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!values[i]) continue;
        current_[i] = *values[i];
        txbCurVal[i]->setText(QString::fromStdString(SignedValueField(*values[i])));
    }
    return ok;
}

void TfrmMR330::tmrUpdateDataTimer() {
    if (!link_) return;
    const bool outputs = ReadOutputs();
    if (outputs)
        Status("Polling AO data...", Qt::red);
    else
        Status("Fail to fresh AO data!");
    unsigned bits = 0;
    const bool inputs = link_->ReadInputs(bits);
    if (inputs) {
        edtDIData->setText(Hex2(static_cast<int>(bits)));
        for (int n = 0; n < kChannels; ++n)
            SetLamp(bitbtnDI[static_cast<std::size_t>(n)], (bits >> n) & 1);
        // A failed output read stays on show.
        if (outputs) Status("Polling DI data...", Qt::red);
    } else {
        Status("Fail to fresh DI data!");
    }
    Heartbeat(outputs && inputs);
    AfterPoll(outputs, inputs);
}

// ---- Direct output -------------------------------------------------------------------

const OutputChannelRange* TfrmMR330::OutputRange() const {
    const int n = cmbOutputCh->currentIndex();
    return n >= 0 && n < kChannels ? R330Range(rangeCode_[static_cast<std::size_t>(n)]) : nullptr;
}

void TfrmMR330::SetScrollQuietly(int position) {
    // The edit keeps the exact value; the bar only shows where it lies.
    const QSignalBlocker quiet(scrbarAO);
    scrbarAO->setValue(position);
}

void TfrmMR330::cmbOutputChChange() {
    const int n = cmbOutputCh->currentIndex();
    const OutputChannelRange* range = OutputRange();
    if (n < 0 || !range) {
        lblOutputUnit->clear();
        return;
    }
    lblOutputUnit->setText(range->unit);
    const auto& value = current_[static_cast<std::size_t>(n)];
    if (!value) return;
    edtAOOutput->setText(QString::fromStdString(SignedValueField(*value)));
    SetScrollQuietly(R330ScrollPosition(*range, *value));
}

void TfrmMR330::scrbarAOChange() {
    if (const OutputChannelRange* range = OutputRange())
        edtAOOutput->setText(
            QString::fromStdString(SignedValueField(R330ScrollValue(*range, scrbarAO->value()))));
}

void TfrmMR330::btAOOutputClick() {
    if (!link_) return;
    Operation op(*this);
    const int n = cmbOutputCh->currentIndex();
    const OutputChannelRange* range = OutputRange();
    if (!range) {
        Error(ChannelText("The range of Ch %1 could not be read: press Refresh to read it again.",
                          n));
        return;
    }
    const auto value = PlainDecimalValue(edtAOOutput->text().toStdString());
    if (!value) {
        Error("The input data is invalid!");
        return;
    }
    if (*value < range->min || *value > range->max) {
        Error(QString::asprintf("The data should be in the range between %.1f~%.1f!", range->min,
                                range->max));
        return;
    }
    if (!link_->WriteOutput(n, *value, *range)) {
        Error("Failed to output data!");
        return;
    }
    if (!ReadOutputs()) Status("Fail to fresh AO data!");
    SetScrollQuietly(R330ScrollPosition(*range, *value));
}

// ---- Channel setup -------------------------------------------------------------------

void TfrmMR330::btAOReadClick() {
    if (!link_) return;
    Operation op(*this, btAORead);
    RefreshChannelSetup();
}

void TfrmMR330::btAOFunctionSetClick() {
    if (!link_) return;
    bool ok = false;
    {
        Operation op(*this, btAOFunctionSet);
        const bool settings = link_->HasChannelSettings();
        // Every value is judged against its channel's chosen range before anything
        // is sent.
        std::array<double, kChannels> startup{}, emergency{};
        for (int n = 0; n < kChannels; ++n) {
            const auto i = static_cast<std::size_t>(n);
            const OutputChannelRange* range = R330Range(0x30 + cmbAORange[i]->currentIndex());
            const auto within = [range](const QLineEdit* edit, double& out) {
                const auto v = PlainDecimalValue(edit->text().toStdString());
                if (!range || !v || *v < range->min || *v > range->max) return false;
                out = *v;
                return true;
            };
            if (!range) {
                Error(ChannelText("The range of Ch %1 could not be read: choose its range, or "
                                  "press Refresh to read it again.",
                                  n));
                return;
            }
            if (settings && !within(txbStartUpVal[i], startup[i])) {
                Error(ChannelText("The Ch %1 startup value is invalid!", n + 1));
                return;
            }
            if (settings && !within(txbEmerVal[i], emergency[i])) {
                Error(ChannelText("The Ch %1 emergency value is invalid!", n + 1));
                return;
            }
        }
        QString failure;
        for (int n = 0; n < kChannels && failure.isEmpty(); ++n) {
            const auto i = static_cast<std::size_t>(n);
            if (!link_->WriteRange(n, 0x30 + cmbAORange[i]->currentIndex()))
                failure = RangeWriteFailure(n);
            else if (settings && !link_->WriteStartup(n, startup[i]))
                failure = "Change Ch %1 startup value failed!";
            else if (settings && !link_->WriteEmergency(n, emergency[i]))
                failure = "Change Ch %1 emergency value failed!";
            else if (settings && !link_->WriteEmergencyInput(n, ckbEmerInput[i]->isChecked()))
                failure = "Change Ch %1 range failed!";
            else
                Pause(250);
            if (!failure.isEmpty()) Error(failure.contains("%1") ? ChannelText(failure, n + 1) : failure);
        }
        ok = failure.isEmpty();
        RefreshChannelSetup();
    }
    if (ok) Information("Update channel setup succeeded!");
}

QString TfrmMR330::RangeWriteFailure(int n) const {
    return ChannelText("Change Ch %1 range failed!", n + 1);
}

// ---- Calibration ---------------------------------------------------------------------

void TfrmMR330::Calibrate(bool fourMilliamperes) {
    if (!module_) return;
    // The poll stays off while the dialog is open.
    Operation op(*this);
    const int n = std::max(cmbOutputCh->currentIndex(), 0);
    if (!module_->WriteChannel(n, fourMilliamperes ? "+04.000" : "+20.000")) {
        Error(fourMilliamperes ? "Initial 4mA calibration error!"
                               : "Initial 20mA calibration error!");
    } else {
        TfrmMAOCalib dialog(this);
        dialog.setWindowTitle("Tavo-R330 Calibration:");
        dialog.SetR330(module_.get());
        dialog.SetMode(fourMilliamperes ? TfrmMAOCalib::k4mA : TfrmMAOCalib::k20mA);
        dialog.SetChannel(n);
        dialog.grpUnit->setTitle(fourMilliamperes ? "Trim For 4mA" : "Trim For 20mA");
        dialog.labCalibVal->setText(fourMilliamperes ? "+4.0 mA" : "+20.0 mA");
        dialog.Run();
    }
    RefreshChannelSetup();
}

// ---- General settings ----------------------------------------------------------------

void TfrmMR330::btSystemUpdateClick() {
    if (!module_) return;
    bool ok = false;
    {
        Operation op(*this);
        int address = 0;
        if (ReadNewAddress(edtAddress_Dec->text(), address)) {
            // The safety time is checked before anything is sent, so that a refused
            // time never follows a configuration already written.
            const auto tenths = ParseTenths(edtCommSafety->text(), kMaxSafetyTenths);
            if (!tenths || *tenths > kMaxSafetyTenths) {
                Error("The comm safety time must be between 0.0 and 6553.5!");
            } else {
                ConfigSteps steps;
                steps.ready = [this](bool initMode) {
                    return !initMode ||
                           (!SelectedBaudCode().empty() && cmbSlewRate->currentIndex() >= 0 &&
                            cmbPotocolSelect->currentIndex() >= 0);
                };
                steps.prepare = [this](bool initMode) {
                    if (!initMode) return; // only the address changes
                    module_->SetBaudCode(SelectedBaudCode());
                    module_->SetFormatBit6(chkCheckSum->isChecked() ? '1' : '0');
                    module_->SetFormatBits52(SlewBits(cmbSlewRate->currentIndex()));
                    module_->SetProtocolBit(cmbPotocolSelect->currentIndex() == 1 ? '1' : '0');
                };
                steps.pauseAfterReadsMs = 100;
                if (WriteGeneralSettings(address, {module_.get()}, steps) ==
                    ConfigWrite::Written) {
                    ok = module_->SetCommSafety(static_cast<int>(*tenths));
                    if (!ok) Error("Write Comm safety failed!");
                }
            }
        }
        Pause(1000);
        RefreshGeneral();
    }
    if (ok) Information("Update general setting succeeded!");
}

} // namespace tavo
