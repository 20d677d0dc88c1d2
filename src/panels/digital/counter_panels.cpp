#include "counter_panels.h"

#include "panels/common/edit_controls.h"
#include "panels/common/form_controls.h"
#include "panels/common/settings_file.h"

#include "devices/hex_codes.h"
#include "devices/models_digital.h"

#include "points/digital_rules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace tavo {
namespace {

const QString kCountRange = "Please input a count between 0 and 4294967295!";
const QString kNotANumber = "Please input a decimal number!";
const QString kGeneralFail = "Fail to fresh general setting data!";
const QString kPollError = "Poilling Counter Error!";

// Limits of the filter fields: widths in microseconds, trigger levels in 0.1 V.
constexpr std::uint64_t kMaxWidth = 65535;
constexpr std::uint64_t kMaxVoltTenths = 50;

// A width field as sent: empty is 0, above 65535 is 65535, five digits.
std::optional<std::string> WidthDigits(const QString& text) {
    const QString t = text.trimmed();
    const auto value = t.isEmpty() ? std::optional<std::uint64_t>(0) : ParseDigits(t, kMaxWidth);
    if (!value) return std::nullopt;
    return QString("%1").arg(std::min(*value, kMaxWidth), 5, 10, QChar('0')).toStdString();
}

// A trigger level field in tenths of a volt: empty is 0, above 5 V is 5 V.
std::optional<unsigned> VoltTenths(const QString& text) {
    const QString t = text.trimmed();
    const auto value =
        t.isEmpty() ? std::optional<std::uint64_t>(0) : ParseTenths(t, kMaxVoltTenths);
    if (!value) return std::nullopt;
    return static_cast<unsigned>(std::min(*value, kMaxVoltTenths));
}

// The value for the R710D display: digits with at most one '.'.
std::optional<double> LedValue(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t == "." || t.count('.') > 1) return std::nullopt;
    for (const QChar c : t)
        if (c != '.' && (c < '0' || c > '9')) return std::nullopt;
    return std::min(t.toDouble(), 9999.9);
}

// A reading or setting the module reports in hexadecimal, shown as "%lu".
bool ShowHex(QLineEdit* edit, const std::string& text) {
    const auto value = HexValue(text);
    if (!value) return false;
    ShowText(edit, QString::number(*value));
    return true;
}

// A stored decimal reading ("01000") shown without its leading zeros.
QString PlainNumber(const std::string& text) {
    const auto value = ParseDigits(QString::fromStdString(text), 0xFFFFFFFFull);
    return value ? QString::number(*value) : QString::fromStdString(text);
}

QLabel* AddRow(QGridLayout* grid, int row, const QString& caption, QWidget* control,
               const QString& unit = {}) {
    auto* label = new QLabel(caption, grid->parentWidget());
    grid->addWidget(label, row, 0);
    grid->addWidget(control, row, 1);
    if (!unit.isEmpty()) grid->addWidget(new QLabel(unit, grid->parentWidget()), row, 2);
    return label;
}

} // namespace

// ---------------------------------------------------------------- R710

TfrmMR710::TfrmMR710(QWidget* parent) : TfrmMR710(parent, "R710") {
    BuildPresetPage();
}

TfrmMR710::TfrmMR710(QWidget* parent, const QString& model) : GeneralSettingsPanel(parent) {
    BuildForm(model);
}

TfrmMR710::~TfrmMR710() {
    StopPolling();
}

std::optional<std::string> TfrmMR710::CountHex(const QString& text) {
    const QString t = text.trimmed();
    if (t.size() > 10) return std::nullopt;
    const auto value =
        t.isEmpty() ? std::optional<std::uint64_t>(0) : ParseDigits(t, 0xFFFFFFFFull);
    if (!value || *value > 0xFFFFFFFFull) return std::nullopt;
    return QString("%1").arg(*value, 8, 16, QChar('0')).toUpper().toStdString();
}

bool TfrmMR710::Enabled(const QWidget* control) {
    return control->isEnabled();
}

void TfrmMR710::BuildForm(const QString& model) {
    auto* main = AddMainGroup(model);

    PageControl = Named(new QTabWidget(grpModule), "PageControl");
    main->addWidget(PageControl);
    tabModuleSetting = AddPage(PageControl, "tabModuleSetting", "Module Setting");
    tabCounterSetting = AddPage(PageControl, "tabCounterSetting", "Counter Setting");
    new QHBoxLayout(tabCounterSetting);
    auto* settings = new QHBoxLayout(tabModuleSetting);

    auto* general = new QGroupBox(" General Setting ", tabModuleSetting);
    auto* grid = new QGridLayout(general);
    int row = 0;
    AddGeneralControls(grid, row);
    cmbTypeChangeAllCh = NamedCombo("cmbTypeChangeAllCh", {"Counter", "Frequency"}, general);
    AddRow(grid, row++, "Input Range :", cmbTypeChangeAllCh);
    cmbCntEnableGate = NamedCombo("cmbCntEnableGate", {"Low", "High", "Disabled"}, general);
    lblCntEnableGate = AddRow(grid, row++, "Enable Gate :", cmbCntEnableGate);
    cmbFrequencyGateTime = NamedCombo("cmbFrequencyGateTime", {"0.1 Sec", "1.0 Sec"}, general);
    lblFrequencyGateTime = AddRow(grid, row++, "Frequency GateTime :", cmbFrequencyGateTime);
    btSystemUpdate = NamedButton("&Update", "btSystemUpdate", general);
    grid->addWidget(btSystemUpdate, row++, 1);
    settings->addWidget(general);
    // The gate that matters follows the chosen mode, so a user switching to
    // frequency picks the gate time before the one Update that sends both.
    connect(cmbTypeChangeAllCh, &QComboBox::currentIndexChanged, this,
            [this] { ShowGateSelectors(); });
    connect(btSystemUpdate, &QPushButton::clicked, this, [this] { btSystemUpdateClick(); });

    auto* right = new QVBoxLayout;
    settings->addLayout(right);
    auto* filter = new QGroupBox(" Filter Setting ", tabModuleSetting);
    auto* filterGrid = new QGridLayout(filter);
    chkFilterState = new QCheckBox("Enable", filter);
    chkFilterState->setObjectName("chkFilterState");
    AddRow(filterGrid, 0, "Filter State : ", chkFilterState);
    const auto filterUpdate = [this] { btFilterUpdateClick(); };
    edtHighLevelWidth = NamedEdit("edtHighLevelWidth", filter);
    edtLowLevelWidth = NamedEdit("edtLowLevelWidth", filter);
    edtHighLevelVolt = NamedEdit("edtHighLevelVolt", filter);
    edtLowLevelVolt = NamedEdit("edtLowLevelVolt", filter);
    for (QLineEdit* width : {edtHighLevelWidth, edtLowLevelWidth}) {
        width->setMaxLength(10);
        FilterKeys(width, kDigitKeys, filterUpdate);
    }
    for (QLineEdit* volt : {edtHighLevelVolt, edtLowLevelVolt}) {
        volt->setMaxLength(10);
        FilterKeys(volt, kUnsignedDecimalKeys, filterUpdate);
    }
    AddRow(filterGrid, 1, "High Level Width :", edtHighLevelWidth, " (u sec)");
    AddRow(filterGrid, 2, "Low Level Width :", edtLowLevelWidth, " (u sec)");
    AddRow(filterGrid, 3, "High Level Volt :", edtHighLevelVolt, "(V)");
    AddRow(filterGrid, 4, "Low Level Volt :", edtLowLevelVolt, "(V)");
    btFilterUpdate = NamedButton("&Update", "btFilterUpdate", filter);
    filterGrid->addWidget(btFilterUpdate, 5, 1);
    connect(btFilterUpdate, &QPushButton::clicked, this, filterUpdate);
    right->addWidget(filter);

    auto* signal = new QGroupBox(" Input Signal Setting ", tabModuleSetting);
    auto* signalRow = new QHBoxLayout(signal);
    cmbInputSignal = NamedCombo("cmbInputSignal", {"TTL Input", "Photo Input"}, signal);
    btInputSignalUpdate = NamedButton("&Update", "btInputSignalUpdate", signal);
    signalRow->addWidget(cmbInputSignal);
    signalRow->addWidget(btInputSignalUpdate);
    connect(btInputSignalUpdate, &QPushButton::clicked, this,
            [this] { btInputSignalUpdateClick(); });
    right->addWidget(signal);

    auto* dataBox = new QGroupBox(" Data Area ", grpModule);
    main->addWidget(dataBox);
    auto* dataGrid = new QGridLayout(dataBox);
    for (int n = 0; n < 2; ++n) {
        const auto i = static_cast<std::size_t>(n);
        const QString cn = QString("CN%1").arg(n);
        edtCntVal[i] = NamedEdit(QString("edtCnt%1Val").arg(n), dataBox, 32767, true);
        btStart[i] = NamedButton("Start ", "bt" + cn + "Start", dataBox);
        btStart[i]->setToolTip(QString("Start/Stop Counter%1").arg(n));
        btReset[i] = NamedButton("Reset", "bt" + cn + "Reset", dataBox);
        imgOverflow[i] = new QLabel(dataBox);
        imgOverflow[i]->setObjectName("img" + cn + "Overflow");
        imgOverflow[i]->setToolTip("Overflow");
        SetLamp(imgOverflow[i], false);
        labAlarmMode[i] = NamedLabel("Normal Mode", "lab" + cn + "AlarmMode", dataBox);
        dataGrid->addWidget(new QLabel(QString("Reading CN%1 :").arg(n), dataBox), n, 0);
        dataGrid->addWidget(edtCntVal[i], n, 1);
        dataGrid->addWidget(btStart[i], n, 2);
        dataGrid->addWidget(btReset[i], n, 3);
        dataGrid->addWidget(imgOverflow[i], n, 4);
        dataGrid->addWidget(labAlarmMode[i], n, 5);
        connect(btStart[i], &QPushButton::clicked, this, [this, n] { btCN0StartClick(n); });
        connect(btReset[i], &QPushButton::clicked, this, [this, n] { btCN0ResetClick(n); });

        labDO[i] = NamedLabel(n == 0 ? "DO0 :" : "DO1:", QString("labDO%1").arg(n), dataBox);
        btDO[i] = new QPushButton(dataBox);
        btDO[i]->setObjectName(QString("btDO%1").arg(n));
        btDO[i]->setProperty("Tag", 0);
        SetLamp(btDO[i], false);
        dataGrid->addWidget(labDO[i], 2, 2 * n);
        dataGrid->addWidget(btDO[i], 2, 2 * n + 1);
        connect(btDO[i], &QPushButton::clicked, this, [this, n] { btDOClick(n); });
        dataControls_.insert(dataControls_.end(), {btStart[i], btReset[i], imgOverflow[i],
                                                   labAlarmMode[i], labDO[i], btDO[i]});
    }

    connect(PageControl, &QTabWidget::currentChanged, this,
            [this](int i) { PageControlChange(i); });
    tmrUpdateCounterData = MakePollTimer("tmrUpdateCounterData", 500);
    connect(tmrUpdateCounterData, &QTimer::timeout, this, [this] { tmrUpdateCounterDataTimer(); });
    ShowGateSelectors();
}

QGroupBox* TfrmMR710::ChannelGroup(int channel, QGridLayout*& grid) {
    auto* group = new QGroupBox(QString(" Counter %1 Status ").arg(channel), tabCounterSetting);
    tabCounterSetting->layout()->addWidget(group);
    grid = new QGridLayout(group);
    return group;
}

QLineEdit* TfrmMR710::CountEdit(const QString& name, int channel) {
    auto* edit = NamedEdit(name, nullptr);
    edit->setMaxLength(10);
    FilterKeys(edit, kDigitKeys, [this, channel] { CounterSettingUpdate(channel); });
    channelControls_[static_cast<std::size_t>(channel)].push_back(edit);
    return edit;
}

void TfrmMR710::BuildPresetPage() {
    for (int n = 0; n < 2; ++n) {
        const auto i = static_cast<std::size_t>(n);
        QGridLayout* grid = nullptr;
        QGroupBox* group = ChannelGroup(n, grid);
        const QString cn = QString("CN%1").arg(n);
        edtMaxCnt[i] = CountEdit("edt" + cn + "MaxCnt", n);
        edtPresetCnt[i] = CountEdit("edt" + cn + "PresetCnt", n);
        edtInitialCnt[i] = CountEdit("edt" + cn + "InitialCnt", n);
        chkPresetMode[i] = new QCheckBox(group);
        chkPresetMode[i]->setObjectName("chk" + cn + "PresetMode");
        btCounterUpdate[i] = NamedButton(
            "&Update", n == 0 ? "btCN0UpdateCounterSetting" : "btCN1StatusUpdate", group);
        AddRow(grid, 0, "Max. Count :", edtMaxCnt[i]);
        AddRow(grid, 1, "Preset Value :", edtPresetCnt[i]);
        AddRow(grid, 2, "Initial Value :", edtInitialCnt[i]);
        AddRow(grid, 3, "Preset Mode :", chkPresetMode[i]);
        grid->addWidget(btCounterUpdate[i], 4, 1);
        channelControls_[i].insert(channelControls_[i].end(),
                                   {chkPresetMode[i], btCounterUpdate[i]});
        connect(btCounterUpdate[i], &QPushButton::clicked, this,
                [this, n] { CounterSettingUpdate(n); });
    }
}

std::unique_ptr<TavoMR710> TfrmMR710::MakeDevice(const std::string& address) {
    return std::make_unique<TavoMR710>(Port(), address);
}

void TfrmMR710::InitModule(const PanelContext& context) {
    Bind(context);
    EnableInitControls();
    device_ = MakeDevice(WireAddress());
    RefreshGeneral();
    RefreshFilter();
    RefreshCounterSettings(0);
    RefreshCounterSettings(1);
    RefreshExtra();
    StartPolling();
}

void TfrmMR710::ShowGateSelectors() {
    const bool counter = cmbTypeChangeAllCh->currentIndex() != 1;
    lblCntEnableGate->setVisible(counter);
    cmbCntEnableGate->setVisible(counter);
    lblFrequencyGateTime->setVisible(!counter);
    cmbFrequencyGateTime->setVisible(!counter);
}

bool TfrmMR710::RefreshGeneral() {
    General general;
    std::string type, gateTime;
    if (!ReadGeneral(*device_, general) || !device_->GetTypeCode(type) ||
        !device_->GetFormatBit2(gateTime)) {
        Status(kGeneralFail);
        return false;
    }
    ShowGeneral(general, QString::fromStdString(general.firmware));
    frequency_ = CounterMeasuresFrequency(type);
    for (QWidget* control : dataControls_)
        control->setEnabled(!frequency_);
    cmbFrequencyGateTime->setCurrentIndex(gateTime == "1" ? 1 : 0);
    cmbTypeChangeAllCh->setCurrentIndex(frequency_ ? 1 : 0);
    ShowGateSelectors();
    if (frequency_) return true;
    std::string gate;
    if (!device_->ReadGate(gate)) {
        Status(kGeneralFail);
        return false;
    }
    cmbCntEnableGate->setCurrentIndex(gate == "0" ? 0 : gate == "1" ? 1 : 2);
    return true;
}

bool TfrmMR710::RefreshFilter() {
    std::string signal;
    if (!device_->ReadInputSignal(signal)) {
        Status(kGeneralFail);
        return false;
    }
    const bool ttl = signal != "1";
    cmbInputSignal->setCurrentIndex(ttl ? 0 : 1);
    btFilterUpdate->setEnabled(!(frequency_ && !ttl));
    for (QWidget* w :
         std::initializer_list<QWidget*>{chkFilterState, edtHighLevelWidth, edtLowLevelWidth})
        w->setEnabled(!frequency_);
    edtHighLevelVolt->setEnabled(ttl);
    edtLowLevelVolt->setEnabled(ttl);
    if (!frequency_) {
        std::string state, high, low;
        if (!device_->ReadFilter(state) || !device_->ReadHighWidth(high) ||
            !device_->ReadLowWidth(low)) {
            Status(kGeneralFail);
            return false;
        }
        chkFilterState->setChecked(state != "0");
        edtHighLevelWidth->setText(PlainNumber(high));
        edtLowLevelWidth->setText(PlainNumber(low));
    }
    if (ttl) {
        std::string high, low;
        if (!device_->ReadHighTrigger(high) || !device_->ReadLowTrigger(low)) {
            Status(kGeneralFail);
            return false;
        }
        const auto volts = [](const std::string& tenths) {
            const auto v = ParseDigits(QString::fromStdString(tenths), 9999);
            return v ? QString::number(static_cast<double>(*v) / 10.0)
                     : QString::fromStdString(tenths);
        };
        edtHighLevelVolt->setText(volts(high));
        edtLowLevelVolt->setText(volts(low));
    }
    return true;
}

bool TfrmMR710::RefreshCounterSettings(int channel) {
    const auto i = static_cast<std::size_t>(channel);
    for (QWidget* control : channelControls_[i])
        control->setEnabled(!frequency_);
    if (frequency_) return true;
    std::string max, initial, status, outputs, preset;
    if (!device_->ReadMaxCount(channel, max) || !device_->ReadG(channel, initial) ||
        !device_->ReadAlarmState(status, outputs) ||
        !device_->ReadAlarmLimit(channel == 1, preset) || !ShowHex(edtMaxCnt[i], max) ||
        !ShowHex(edtPresetCnt[i], preset) || !ShowHex(edtInitialCnt[i], initial)) {
        Status(kGeneralFail);
        return false;
    }
    chkPresetMode[i]->setChecked((HexOrZero(status) >> channel) & 1);
    return true;
}

void TfrmMR710::RefreshAll() {
    RefreshGeneral();
    RefreshFilter();
    RefreshCounterSettings(0);
    RefreshCounterSettings(1);
}

void TfrmMR710::Step(bool& ok, const std::function<bool()>& send, const QString& error,
                     int pauseMs) {
    if (!ok) return;
    if (!send()) {
        Error(error);
        ok = false;
    }
    Pause(pauseMs);
}

// ---- poll ----

bool TfrmMR710::PollCounters() {
    bool ok = true;
    for (int n = 0; n < 2 && ok; ++n) {
        const auto i = static_cast<std::size_t>(n);
        std::string value;
        const auto count = device_->ReadCount(n, value) ? CountFromDigits(value) : std::nullopt;
        ok = count.has_value();
        if (!ok) break;
        ShowText(edtCntVal[i], QString::number(*count));
        Status("Polling Counter Data....  ", Qt::red);
        if (frequency_) continue;
        std::string overflow, state;
        if (device_->ReadOverflowFlag(n, overflow) && device_->ReadCounting(n, state)) {
            btStart[i]->setText(state == "1" ? "Start" : "Stop");
            SetLamp(imgOverflow[i], overflow == "1");
        } else {
            Status(kPollError);
        }
    }
    Heartbeat(ok);
    if (!ok) Status(kPollError);
    return ok;
}

bool TfrmMR710::PollAlarmStatus() {
    std::string status, outputs;
    if (!device_->ReadAlarmState(status, outputs)) {
        Status(kPollError);
        return false;
    }
    const auto state = ParseCounterAlarmState(status, outputs);
    if (!state) {
        Status(kPollError);
        return false;
    }
    for (int n = 0; n < 2; ++n) {
        const int on = (state->outputs >> n) & 1;
        SetTag(btDO[static_cast<std::size_t>(n)], on);
        SetLamp(btDO[static_cast<std::size_t>(n)], on);
    }
    ShowAlarmStatus(static_cast<int>(state->status));
    return true;
}

void TfrmMR710::ShowAlarmStatus(int status) {
    for (int n = 0; n < 2; ++n)
        labAlarmMode[static_cast<std::size_t>(n)]->setText(
            OutputFollowsAlarm(false, static_cast<unsigned>(status), n) ? "Alarm Mode"
                                                                         : "Normal Mode");
}

void TfrmMR710::tmrUpdateCounterDataTimer() {
    if (!device_) return;
    // Step 2 is skipped after a failed step 1: a module that does not answer
    // would only cost another time-out.
    // The data area shows the new readings without a repaint of its own: each
    // control that changed repaints itself, and a repaint of the whole panel twice
    // a second would cost more than the rest of the poll together.
    if (PollCounters() && !frequency_) PollAlarmStatus();
}

// ---- user actions ----

void TfrmMR710::btSystemUpdateClick() {
    if (!device_) return;
    Operation op(*this);
    int address = 0;
    if (!ReadNewAddress(edtAddress_Dec->text(), address)) return;
    const bool counter = cmbTypeChangeAllCh->currentIndex() != 1;
    ConfigSteps steps;
    steps.ready = [this](bool initMode) { return !initMode || !SelectedBaudCode().empty(); };
    steps.prepare = [this, counter](bool initMode) {
        device_->SetTypeCode(Hex2(0x50 + (counter ? 0 : 1)).toStdString());
        if (!counter) device_->SetFormatBit2(cmbFrequencyGateTime->currentIndex() == 1 ? '1' : '0');
        if (initMode) {
            device_->SetBaudCode(SelectedBaudCode());
            device_->SetFormatBit6(chkCheckSum->isChecked() ? '1' : '0');
        }
    };
    steps.pauseAfterReadsMs = 100;
    const ConfigWrite result = WriteGeneralSettings(address, {device_.get()}, steps);
    bool ok = result == ConfigWrite::Written;
    if (result != ConfigWrite::NotSent) Pause(1000); // the module restarts its counting
    const int gate = cmbCntEnableGate->currentIndex();
    if (ok && counter && gate >= 0)
        Step(
            ok, [&] { return device_->SetGate(std::to_string(gate)); }, "Update failed!", 0);
    Pause(100);
    RefreshAll();
    if (ok) Information(GeneralUpdateSucceeded());
}

void TfrmMR710::btInputSignalUpdateClick() {
    if (!device_) return;
    Operation op(*this);
    if (device_->SetInputSignal(cmbInputSignal->currentIndex() == 1 ? "1" : "0"))
        Information("Write input mode succeeded!");
    else
        Error("Write Input Mode error!");
    RefreshFilter();
}

void TfrmMR710::btFilterUpdateClick() {
    if (!device_ || !btFilterUpdate->isEnabled()) return;
    Operation op(*this);
    // Every field is checked before anything goes out.
    std::optional<std::string> high = "00000", low = "00000";
    if (Enabled(edtHighLevelWidth)) {
        high = WidthDigits(edtHighLevelWidth->text());
        low = WidthDigits(edtLowLevelWidth->text());
    }
    std::optional<unsigned> highVolt = 0, lowVolt = 0;
    if (Enabled(edtHighLevelVolt)) {
        highVolt = VoltTenths(edtHighLevelVolt->text());
        lowVolt = VoltTenths(edtLowLevelVolt->text());
    }
    if (!high || !low || !highVolt || !lowVolt) {
        Error(kNotANumber);
        return;
    }
    bool ok = true;
    std::string signal;
    if (!device_->ReadInputSignal(signal)) {
        Status("Fail to fresh filter setting data!");
        ok = false;
    } else {
        cmbInputSignal->setCurrentIndex(signal == "1" ? 1 : 0);
    }
    if (ok && !frequency_) {
        const std::string state = chkFilterState->isChecked() ? "1" : "0";
        Step(
            ok, [&] { return device_->SetFilter(state); }, "Write Filter Enable Error!", 200);
        Step(
            ok, [&] { return device_->SetHighWidth(static_cast<unsigned>(std::stoul(*high))); },
            "Write Mininum Input Signal Width at High Level Error!", 200);
        Step(
            ok, [&] { return device_->SetLowWidth(static_cast<unsigned>(std::stoul(*low))); },
            "Write Mininum Input Signal Width at Low Level Error!", 200);
    }
    if (ok && signal != "1") {
        Step(
            ok, [&] { return device_->SetHighTrigger(*highVolt); },
            "Write Non-isolated High Trigger Level Error!", 200);
        Step(
            ok, [&] { return device_->SetLowTrigger(*lowVolt); },
            "Write Non-isolated Low Trigger Level Error!", 200);
    }
    RefreshFilter();
    if (ok) Information("Update succeeded!");
}

void TfrmMR710::CounterSettingUpdate(int channel) {
    if (!device_ || frequency_ || channel < 0 || channel > 1) return;
    const auto i = static_cast<std::size_t>(channel);
    Operation op(*this);
    const auto max = CountHex(edtMaxCnt[i]->text());
    const auto preset = CountHex(edtPresetCnt[i]->text());
    const auto initial = CountHex(edtInitialCnt[i]->text());
    if (!max || !preset || !initial) {
        Error(kCountRange);
        return;
    }
    TavoRCounter& counter = device_->Family<TavoRCounter>();
    bool ok = true;
    if (chkPresetMode[i]->isChecked())
        Step(
            ok, [&] { return device_->EnableAlarmChannel(channel); }, "Enable Alarm Error!", 100);
    else
        Step(
            ok, [&] { return device_->DisableAlarmChannel(channel); }, "Disable Alarm Error!", 100);
    Step(
        ok, [&] { return counter.SetMaxCount(channel, *max); }, "Write Max Value Error!", 100);
    Step(
        ok, [&] { return counter.SetPreset(channel, *initial); }, "Write Initial Value Error!",
        100);
    Step(
        ok, [&] { return counter.SetAlarmLimit(channel == 1, *preset); },
        "Write Alarm Limit Value Error!", 100);
    RefreshCounterSettings(channel);
    if (ok) Information("Update succeeded!");
}

void TfrmMR710::btDOClick(int output) {
    if (!device_ || frequency_ || output < 0 || output > 1) return;
    Operation op(*this);
    if (OutputClickClearsLatch()) {
        for (QPushButton* b : btDO)
            b->setProperty("Tag", 0);
        if (!device_->ClearAlarm()) Error("Clear Latch Alarm Failed!!");
    } else {
        int tags[2] = {btDO[0]->property("Tag").toInt() & 1, btDO[1]->property("Tag").toInt() & 1};
        tags[output] ^= 1;
        // The Tags keep mirroring the module: they change only when it took the write.
        if (device_->SetAlarmOutput(static_cast<unsigned>(tags[0] + 2 * tags[1])))
            btDO[static_cast<std::size_t>(output)]->setProperty("Tag", tags[output]);
        else
            Error("Write Digital Output Failed!!");
    }
    Pause(300);
    PollAlarmStatus();
}

void TfrmMR710::btCN0StartClick(int channel) {
    if (!device_ || frequency_ || channel < 0 || channel > 1) return;
    Operation op(*this);
    // The caption shows the state: "Start" while the counter runs.
    const bool running = btStart[static_cast<std::size_t>(channel)]->text() == "Start";
    if (!device_->SetCounting(channel, running ? "0" : "1")) Error("Change Counter State Error!!");
    Pause(200);
    PollCounters();
}

void TfrmMR710::btCN0ResetClick(int channel) {
    if (!device_ || frequency_ || channel < 0 || channel > 1) return;
    Operation op(*this);
    if (!device_->ClearCount(channel)) Error("Clear Counter Error!!");
    Pause(200);
    PollCounters();
}

void TfrmMR710::PageControlChange(int) {
    if (!device_) return;
    Operation op(*this);
    RefreshAll();
    RefreshExtra();
}

// ---- settings files ----

void TfrmMR710::SaveSettings() {
    SaveSettingsFile(this, grpModule->title(), [this](SettingsWriter& w) {
        // Baud rate and checksum can be set only in INIT state; elsewhere their
        // controls are disabled and, like every disabled control, not written.
        if (Enabled(cmbBaudRate)) w.Line("BaudRate: ", cmbBaudRate->currentIndex());
        if (Enabled(chkCheckSum)) w.Line("checkSum: ", TickedFlag(chkCheckSum->isChecked()));
        if (Enabled(cmbTypeChangeAllCh))
            w.Line("Input Range: ", cmbTypeChangeAllCh->currentIndex());
        if (!cmbFrequencyGateTime->isHidden())
            w.Line("Frequency Gate Time: ", cmbFrequencyGateTime->currentIndex());
        if (!cmbCntEnableGate->isHidden())
            w.Line("Counter Enable Gate: ", cmbCntEnableGate->currentIndex());
        if (Enabled(cmbInputSignal)) w.Line("Input Signal: ", cmbInputSignal->currentIndex());
        if (Enabled(chkFilterState))
            w.Line("Filter State: ", TickedFlag(chkFilterState->isChecked()));
        if (Enabled(edtHighLevelWidth)) w.Line("High Level Width: ", edtHighLevelWidth->text());
        if (Enabled(edtLowLevelWidth)) w.Line("Low Level Width: ", edtLowLevelWidth->text());
        if (Enabled(edtHighLevelVolt)) w.Line("High Level Volt: ", edtHighLevelVolt->text());
        if (Enabled(edtLowLevelVolt)) w.Line("Low Level Volt: ", edtLowLevelVolt->text());
        SaveChannelLines(w);
    });
}

void TfrmMR710::SaveChannelLines(SettingsWriter& w) {
    for (int n = 0; n < 2; ++n) {
        const auto i = static_cast<std::size_t>(n);
        const QString cn = QString("CN%1 ").arg(n);
        if (Enabled(edtMaxCnt[i])) w.Line(cn + "Max Cnt: ", edtMaxCnt[i]->text());
        if (Enabled(chkPresetMode[i]))
            w.Line(cn + "Preset Mode Enable: ", TickedFlag(chkPresetMode[i]->isChecked()));
        if (Enabled(edtPresetCnt[i])) w.Line(cn + "Preset Cnt: ", edtPresetCnt[i]->text());
        if (Enabled(edtInitialCnt[i])) w.Line(cn + "Initial Cnt: ", edtInitialCnt[i]->text());
    }
}

void TfrmMR710::LoadSettings() {
    if (!device_) return;
    Operation op(*this);
    LoadSettingsFile(this, grpModule->title(), [this](SettingsReader& r) { ApplySettingsFile(r); });
}

namespace {

// A text line whose value must pass `valid` (what its Update would accept).
std::optional<QString> ReadValue(SettingsReader& reader, const QString& key,
                                 const std::function<bool(const QString&)>& valid) {
    const auto text = reader.Text(key);
    if (!text || !valid(text->trimmed())) return std::nullopt;
    return text->trimmed();
}

bool IsCount(const QString& t) {
    return TfrmMR710::CountHex(t).has_value();
}
bool IsWidth(const QString& t) {
    return WidthDigits(t).has_value();
}
bool IsVolt(const QString& t) {
    return VoltTenths(t).has_value();
}

} // namespace

// The file is applied group by group, each group's Update running as soon as its
// lines were read; a group whose lines do not all read goes nowhere, and nothing
// after it is read. The Updates bring the panel to the file's mode and input
// signal, so the lines that follow are read under the conditions they were
// written under.
bool TfrmMR710::ApplySettingsFile(SettingsReader& r) {
    // The baud rate and checksum lines are there when the file was written in
    // INIT state (and in every file of earlier versions): read whichever it has,
    // and apply them only where the panel can write them.
    std::optional<int> baud;
    std::optional<bool> checksum;
    if (r.NextIs("BaudRate: ") && !(baud = ReadListIndex(r, "BaudRate: ", cmbBaudRate)))
        return false;
    if (r.NextIs("checkSum: ") && !(checksum = ReadTickedFlag(r, "checkSum: "))) return false;
    std::optional<int> mode;
    if (Enabled(cmbTypeChangeAllCh) &&
        !(mode = ReadListIndex(r, "Input Range: ", cmbTypeChangeAllCh)))
        return false;
    const int previousMode = cmbTypeChangeAllCh->currentIndex();
    if (mode) cmbTypeChangeAllCh->setCurrentIndex(*mode);
    std::optional<int> gateTime, gate;
    bool complete = true;
    if (!cmbFrequencyGateTime->isHidden())
        complete = (gateTime = ReadListIndex(r, "Frequency Gate Time: ", cmbFrequencyGateTime))
                       .has_value();
    if (complete && !cmbCntEnableGate->isHidden())
        complete = (gate = ReadListIndex(r, "Counter Enable Gate: ", cmbCntEnableGate)).has_value();
    if (!complete) {
        cmbTypeChangeAllCh->setCurrentIndex(previousMode);
        return false;
    }
    if (baud && Enabled(cmbBaudRate)) cmbBaudRate->setCurrentIndex(*baud);
    if (checksum && Enabled(chkCheckSum)) chkCheckSum->setChecked(*checksum);
    if (gateTime) cmbFrequencyGateTime->setCurrentIndex(*gateTime);
    if (gate) cmbCntEnableGate->setCurrentIndex(*gate);
    btSystemUpdateClick();

    if (Enabled(cmbInputSignal)) {
        const auto signal = ReadListIndex(r, "Input Signal: ", cmbInputSignal);
        if (!signal) return false;
        cmbInputSignal->setCurrentIndex(*signal);
        btInputSignalUpdateClick();
    }

    std::optional<bool> filter;
    std::optional<QString> highWidth, lowWidth, highVolt, lowVolt;
    if (Enabled(chkFilterState) && !(filter = ReadTickedFlag(r, "Filter State: "))) return false;
    if (Enabled(edtHighLevelWidth) && !(highWidth = ReadValue(r, "High Level Width: ", IsWidth)))
        return false;
    if (Enabled(edtLowLevelWidth) && !(lowWidth = ReadValue(r, "Low Level Width: ", IsWidth)))
        return false;
    if (Enabled(edtHighLevelVolt) && !(highVolt = ReadValue(r, "High Level Volt: ", IsVolt)))
        return false;
    if (Enabled(edtLowLevelVolt) && !(lowVolt = ReadValue(r, "Low Level Volt: ", IsVolt)))
        return false;
    if (filter) chkFilterState->setChecked(*filter);
    if (highWidth) edtHighLevelWidth->setText(*highWidth);
    if (lowWidth) edtLowLevelWidth->setText(*lowWidth);
    if (highVolt) edtHighLevelVolt->setText(*highVolt);
    if (lowVolt) edtLowLevelVolt->setText(*lowVolt);
    if ((filter || highVolt) && btFilterUpdate->isEnabled()) btFilterUpdateClick();

    return LoadChannelLines(r);
}

bool TfrmMR710::LoadChannelLines(SettingsReader& r) {
    for (int n = 0; n < 2; ++n) {
        const auto i = static_cast<std::size_t>(n);
        if (!Enabled(edtMaxCnt[i])) continue;
        const QString cn = QString("CN%1 ").arg(n);
        const auto max = ReadValue(r, cn + "Max Cnt: ", IsCount);
        const auto presetMode = max ? ReadTickedFlag(r, cn + "Preset Mode Enable: ") : std::nullopt;
        const auto preset = presetMode ? ReadValue(r, cn + "Preset Cnt: ", IsCount) : std::nullopt;
        const auto initial = preset ? ReadValue(r, cn + "Initial Cnt: ", IsCount) : std::nullopt;
        if (!initial) return false;
        edtMaxCnt[i]->setText(*max);
        chkPresetMode[i]->setChecked(*presetMode);
        edtPresetCnt[i]->setText(*preset);
        edtInitialCnt[i]->setText(*initial);
        CounterSettingUpdate(n);
    }
    return true;
}

// ---------------------------------------------------------------- R710D

TfrmMR710D::TfrmMR710D(QWidget* parent) : TfrmMR710(parent, "R710D") {
    QGridLayout* grid = nullptr;
    QGroupBox* group0 = ChannelGroup(0, grid);
    edtMaxCnt[0] = CountEdit("edtCN0MaxCnt", 0);
    edtCN0HighAlarm = CountEdit("edtCN0HighAlarm", 0);
    edtCN0LowAlarm = CountEdit("edtCN0LowAlarm", 0);
    cmbAlarmType = NamedCombo("cmbAlarmType", {"disable", "MOMENTARY", "LATCH"}, group0);
    btCounterUpdate[0] = NamedButton("&Update", "btCN0StatusUpdate", group0);
    AddRow(grid, 0, "Max. Count :", edtMaxCnt[0]);
    AddRow(grid, 1, "High Alarm Value :", edtCN0HighAlarm);
    AddRow(grid, 2, "Low Alarm Value :", edtCN0LowAlarm);
    AddRow(grid, 3, "Alarm Mode :", cmbAlarmType);
    grid->addWidget(btCounterUpdate[0], 4, 1);
    channelControls_[0].insert(channelControls_[0].end(), {cmbAlarmType, btCounterUpdate[0]});

    QGroupBox* group1 = ChannelGroup(1, grid);
    edtMaxCnt[1] = CountEdit("edtCN1MaxCnt", 1);
    btCounterUpdate[1] = NamedButton("&Update", "btCN1StatusUpdate", group1);
    AddRow(grid, 0, "Max. Count :", edtMaxCnt[1]);
    grid->addWidget(btCounterUpdate[1], 1, 1);
    channelControls_[1].push_back(btCounterUpdate[1]);
    for (int n = 0; n < 2; ++n)
        connect(btCounterUpdate[static_cast<std::size_t>(n)], &QPushButton::clicked, this,
                [this, n] { CounterSettingUpdate(n); });

    auto* led = new QGroupBox(" LED Setting ", tabCounterSetting);
    tabCounterSetting->layout()->addWidget(led);
    auto* ledGrid = new QGridLayout(led);
    cmbLEDDisplaySetting =
        NamedCombo("cmbLEDDisplaySetting", {"CH0", "CH1", "External Input"}, led);
    edtLEDValue = NamedEdit("edtLEDValue", led);
    edtLEDValue->setText("0.0");
    edtLEDValue->setMaxLength(10);
    edtLEDValue->setEnabled(false);
    FilterKeys(edtLEDValue, kUnsignedDecimalKeys, [this] { btUpateLEDSettingClick(); });
    btUpateLEDSetting = NamedButton("&Update", "btUpateLEDSetting", led);
    AddRow(ledGrid, 0, "Display Channel :", cmbLEDDisplaySetting);
    AddRow(ledGrid, 1, "LED Value :", edtLEDValue);
    ledGrid->addWidget(btUpateLEDSetting, 2, 1);
    // The value can be typed as soon as the external source is chosen.
    connect(cmbLEDDisplaySetting, &QComboBox::currentIndexChanged, this,
            [this](int index) { edtLEDValue->setEnabled(index == 2); });
    connect(btUpateLEDSetting, &QPushButton::clicked, this, [this] { btUpateLEDSettingClick(); });
}

std::unique_ptr<TavoMR710> TfrmMR710D::MakeDevice(const std::string& address) {
    auto device = std::make_unique<TavoMR710D>(Port(), address);
    display_ = device.get();
    return device;
}

bool TfrmMR710D::RefreshCounterSettings(int channel) {
    const auto i = static_cast<std::size_t>(channel);
    for (QWidget* control : channelControls_[i])
        control->setEnabled(!frequency_);
    if (frequency_) return true;
    std::string max;
    bool ok = device_->ReadMaxCount(channel, max) && ShowHex(edtMaxCnt[i], max);
    if (ok && channel == 0) {
        std::string status, outputs, high, low;
        ok = device_->ReadAlarmState(status, outputs) && device_->ReadAlarmLimit(true, high) &&
             device_->ReadAlarmLimit(false, low) && ShowHex(edtCN0HighAlarm, high) &&
             ShowHex(edtCN0LowAlarm, low);
        const int type = static_cast<int>(HexOrZero(status));
        if (ok) cmbAlarmType->setCurrentIndex(type > 2 ? 0 : type);
    }
    if (!ok) Status(kGeneralFail);
    return ok;
}

void TfrmMR710D::CounterSettingUpdate(int channel) {
    if (!device_ || frequency_ || channel < 0 || channel > 1) return;
    const auto i = static_cast<std::size_t>(channel);
    Operation op(*this);
    const auto max = CountHex(edtMaxCnt[i]->text());
    std::optional<std::string> high = "", low = "";
    if (channel == 0) {
        high = CountHex(edtCN0HighAlarm->text());
        low = CountHex(edtCN0LowAlarm->text());
    }
    if (!max || !high || !low) {
        Error(kCountRange);
        return;
    }
    TavoRCounter& counter = device_->Family<TavoRCounter>();
    bool ok = true;
    if (channel == 0) {
        Step(
            ok, [&] { return counter.SetAlarmLimit(true, *high); },
            "Write High Alarm Limit Value Error!", 300);
        Step(
            ok, [&] { return counter.SetAlarmLimit(false, *low); },
            "Write Low Alarm Limit Value Error!", 300);
        const int type = cmbAlarmType->currentIndex();
        if (type == 1 || type == 2)
            Step(
                ok, [&] { return counter.EnableAlarm(type == 1 ? "M" : "L"); },
                "Enable Alarm Error!", 300);
        else
            Step(
                ok, [&] { return counter.DisableAlarm(); }, "Disable Alarm Error!", 300);
    }
    Step(
        ok, [&] { return counter.SetMaxCount(channel, *max); }, "Write Max Value Error!", 300);
    RefreshCounterSettings(channel);
    if (ok) Information("Update Counter Status succeeded!");
}

void TfrmMR710D::ShowAlarmStatus(int status) {
    const bool alarm = OutputFollowsAlarm(true, static_cast<unsigned>(status), 0);
    labAlarmMode[0]->setText(alarm ? "High Alarm" : "Normal Mode");
    labAlarmMode[1]->setText(alarm ? "Low Alarm" : "Normal Mode");
    ShowTip(btDO[0], alarm ? "Clear Latch" : "Director DO0 output");
    ShowTip(btDO[1], alarm ? "Clear Latch" : "Director DO1 output");
}

bool TfrmMR710D::OutputClickClearsLatch() const {
    return labAlarmMode[0]->text() == "High Alarm" && labAlarmMode[1]->text() == "Low Alarm";
}

bool TfrmMR710D::RefreshLED() {
    std::string source;
    if (!display_->ReadLEDSource(source)) {
        Status("Read LED Data Origin Error!!");
        return false;
    }
    Pause(100);
    const int index = source == "1" ? 1 : source == "2" ? 2 : 0;
    cmbLEDDisplaySetting->setCurrentIndex(index);
    edtLEDValue->setEnabled(index == 2);
    return true;
}

void TfrmMR710D::btUpateLEDSettingClick() {
    UpdateLED(true);
}

void TfrmMR710D::UpdateLED(bool sendValue) {
    if (!device_) return;
    Operation op(*this);
    const int source = cmbLEDDisplaySetting->currentIndex();
    std::optional<double> value = 0.0;
    if (sendValue && source == 2) value = LedValue(edtLEDValue->text());
    if (!value) {
        Error(kNotANumber);
        return;
    }
    bool ok = true;
    Step(
        ok, [&] { return display_->SetLEDSource(std::to_string(std::max(source, 0))); },
        "Select LED Data Origin Error!!", 200);
    if (!ok) return;
    RefreshLED();
    Pause(200);
    if (sendValue && cmbLEDDisplaySetting->currentIndex() == 2) {
        Step(
            ok, [&] { return display_->WriteLEDData(*value); }, "Write LED Data Error!!", 200);
        if (ok) RefreshLED();
    }
    if (ok) Information("Update LED Setting succeeded!");
}

void TfrmMR710D::SaveChannelLines(SettingsWriter& w) {
    if (Enabled(edtMaxCnt[0])) w.Line("CN0 Max Cnt: ", edtMaxCnt[0]->text());
    if (Enabled(cmbAlarmType)) w.Line("Alarm Type: ", cmbAlarmType->currentIndex());
    if (Enabled(edtCN0HighAlarm)) w.Line("CN0 High Alarm Value: ", edtCN0HighAlarm->text());
    if (Enabled(edtCN0LowAlarm)) w.Line("CN0 Low Alarm Value: ", edtCN0LowAlarm->text());
    if (Enabled(edtMaxCnt[1])) w.Line("CN1 Max Cnt: ", edtMaxCnt[1]->text());
    if (Enabled(cmbLEDDisplaySetting))
        w.Line("LED Display Setting: ", cmbLEDDisplaySetting->currentIndex());
}

bool TfrmMR710D::LoadChannelLines(SettingsReader& r) {
    if (Enabled(edtMaxCnt[0])) {
        const auto max = ReadValue(r, "CN0 Max Cnt: ", IsCount);
        const auto type = max ? ReadListIndex(r, "Alarm Type: ", cmbAlarmType) : std::nullopt;
        const auto high = type ? ReadValue(r, "CN0 High Alarm Value: ", IsCount) : std::nullopt;
        const auto low = high ? ReadValue(r, "CN0 Low Alarm Value: ", IsCount) : std::nullopt;
        if (!low) return false;
        edtMaxCnt[0]->setText(*max);
        cmbAlarmType->setCurrentIndex(*type);
        edtCN0HighAlarm->setText(*high);
        edtCN0LowAlarm->setText(*low);
        CounterSettingUpdate(0);
    }
    if (Enabled(edtMaxCnt[1])) {
        const auto max = ReadValue(r, "CN1 Max Cnt: ", IsCount);
        if (!max) return false;
        edtMaxCnt[1]->setText(*max);
        CounterSettingUpdate(1);
    }
    if (Enabled(cmbLEDDisplaySetting)) {
        const auto source = ReadListIndex(r, "LED Display Setting: ", cmbLEDDisplaySetting);
        if (!source) return false;
        cmbLEDDisplaySetting->setCurrentIndex(*source);
        // The file holds the source only: the value shown from an external
        // source is not stored, so a load does not send one.
        UpdateLED(false);
    }
    return true;
}

} // namespace tavo
