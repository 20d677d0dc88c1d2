#include "k710_panels.h"

#include "points/k_slot_data.h"

#include "devices/k_series.h"
#include "panels/common/form_controls.h"
#include "panels/common/settings_file.h"
#include "workspace/small_windows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tavo {
namespace {

const QStringList kModes = {"Bi-direction Counter", "Up/Down Counter", "Frequency"};
const QStringList kFormats = {"Dec", "Hex"};
constexpr unsigned kFrequencyMode = 2;
constexpr unsigned kHexFormat = 2;
// What the busy indicator gives the slot after each write of the channel dialog,
// in ms; between the high and the low alarm type the slot wants 600 ms.
constexpr int kStepWaitMs = 500;
constexpr int kAlarmTypeWaitMs = 600;

// The slot's mode and format from its configuration reply; a mode the selector
// does not have is refused.
bool ReadConfig(TavoMK710& k, unsigned& type, unsigned& format) {
    if (!k.ReadSlotConfig()) return false;
    const auto setup = CounterConfig(k.SlotType(), k.SlotFormat());
    if (!setup) return false;
    type = setup->type;
    format = setup->format;
    return true;
}

// One channel's reading and its two lamps.
bool ReadChannel(TavoMK710& k, int c, unsigned type, unsigned format, QString& value, bool& high,
                 bool& low) {
    std::string count, h, l;
    if (!k.ReadCount(c, count)) return false;
    const auto text = CounterValueText(count, type, format);
    if (!text || !k.ReadAlarmStatus(c, h, l)) return false;
    const auto hf = AlarmFlag(h), lf = AlarmFlag(l);
    if (!hf || !lf) return false;
    value = QString::fromStdString(*text);
    high = *hf;
    low = *lf;
    return true;
}

QString ModeCaption(unsigned type) {
    return type < static_cast<unsigned>(kModes.size()) ? kModes[static_cast<int>(type)] : QString();
}

} // namespace

// ---------------------------------------------------------------------------
// TfrmMK710

TfrmMK710::TfrmMK710(QWidget* parent) : KSlotPanel(parent) {
    BuildForm();
}
TfrmMK710::~TfrmMK710() = default;

void TfrmMK710::BuildForm() {
    auto* outer = new QVBoxLayout(this);
    grpModule = NamedGroup(" Tavo-K710 ", "grpModule", this);
    outer->addWidget(grpModule);
    outer->addStretch();
    auto* main = new QVBoxLayout(grpModule);

    grpGeneral = NamedGroup(" General Setting ", "grpGeneral", grpModule);
    main->addWidget(grpGeneral);
    auto* g = new QGridLayout(grpGeneral);
    cmbModeSelection = NamedCombo("cmbModeSelection", kModes, grpGeneral);
    cmbDataFormat = NamedCombo("cmbDataFormat", kFormats, grpGeneral);
    g->addWidget(CaptionLabel("&Mode Selection :", grpGeneral, cmbModeSelection), 0, 0);
    g->addWidget(cmbModeSelection, 0, 1);
    g->addWidget(CaptionLabel("Data &Format :", grpGeneral, cmbDataFormat), 1, 0);
    g->addWidget(cmbDataFormat, 1, 1);
    btUpdate = NamedButton("Update", "btUpdate", grpGeneral);
    g->addWidget(btUpdate, 2, 1);
    connect(btUpdate, &QPushButton::clicked, this, [this] { btUpdateClick(); });

    grpDataArea = NamedGroup(" Data Area ", "grpDataArea", grpModule);
    main->addWidget(grpDataArea);
    auto* d = new QGridLayout(grpDataArea);
    for (int c = 0; c < kChannels; ++c) {
        const auto i = static_cast<std::size_t>(c);
        d->addWidget(new QLabel(QString("CH%1").arg(c), grpDataArea), c, 0);
        edtAIValCh[i] = NamedEdit(QString("edtAIValCh%1").arg(c), grpDataArea, 32767, true);
        edtAIUnitCh[i] = NamedEdit(QString("edtAIUnitCh%1").arg(c), grpDataArea, 32767, true);
        imgHiAlarmCh[i] = NamedLabel({}, QString("imgHiAlarmCh%1").arg(c), grpDataArea);
        imgLoAlarmCh[i] = NamedLabel({}, QString("imgLoAlarmCh%1").arg(c), grpDataArea);
        lblHiAlarmCh[i] = NamedLabel("HI-Alram", QString("lblHiAlarmCh%1").arg(c), grpDataArea);
        lblLoAlarmCh[i] = NamedLabel("LO-Alram", QString("lblLoAlarmCh%1").arg(c), grpDataArea);
        SetLamp(imgHiAlarmCh[i], false);
        SetLamp(imgLoAlarmCh[i], false);
        d->addWidget(edtAIValCh[i], c, 1);
        d->addWidget(edtAIUnitCh[i], c, 2);
        d->addWidget(imgHiAlarmCh[i], c, 3);
        d->addWidget(lblHiAlarmCh[i], c, 4);
        d->addWidget(imgLoAlarmCh[i], c, 5);
        d->addWidget(lblLoAlarmCh[i], c, 6);
    }
    tmrUpdateData = MakePollTimer("tmrUpdateData", 500);
    connect(tmrUpdateData, &QTimer::timeout, this, [this] { tmrUpdateDataTimer(); });
}

void TfrmMK710::InitModule(const PanelContext& context) {
    BindSlot(context);
    mk710_ = std::make_unique<TavoMK710>(Port(), WireAddress(), SlotText());
    if (!RefreshGeneral()) Error("Refresh General Setting Error!");
    if (!Poll()) Error("Refresh Data Area Error!");
    StartPolling();
}

bool TfrmMK710::RefreshGeneral() {
    unsigned type = 0, format = 0;
    if (!ReadConfig(*mk710_, type, format)) return false;
    cmbModeSelection->setCurrentIndex(static_cast<int>(type));
    cmbDataFormat->setCurrentIndex(format ? 1 : 0);
    const bool frequency = type == kFrequencyMode;
    for (int c = 0; c < kChannels; ++c) {
        const auto i = static_cast<std::size_t>(c);
        for (QLabel* l : {imgHiAlarmCh[i], imgLoAlarmCh[i], lblHiAlarmCh[i], lblLoAlarmCh[i]})
            l->setHidden(frequency);
        edtAIValCh[i]->setEnabled(!frequency);
    }
    return true;
}

bool TfrmMK710::Poll() {
    unsigned type = 0, format = 0;
    bool ok = ReadConfig(*mk710_, type, format);
    for (int c = 0; ok && c < kChannels; ++c) {
        const auto i = static_cast<std::size_t>(c);
        QString value;
        bool high = false, low = false;
        ok = ReadChannel(*mk710_, c, type, format, value, high, low);
        if (!ok) break;
        ShowText(edtAIValCh[i], value);
        // A frequency is in hertz whichever way its digits are written.
        ShowText(edtAIUnitCh[i], type == kFrequencyMode ? "Hz" : "");
        SetLamp(imgHiAlarmCh[i], high);
        SetLamp(imgLoAlarmCh[i], low);
    }
    return PollStatus(ok, "Polling AIO data...", "Fail to fresh AIO data!");
}

void TfrmMK710::tmrUpdateDataTimer() {
    if (mk710_) Poll();
}

void TfrmMK710::btUpdateClick() {
    if (!mk710_) return;
    Operation op(*this, btUpdate);
    const int mode = cmbModeSelection->currentIndex();
    const bool hex = cmbDataFormat->currentText() == "Hex";
    bool ok = mk710_->ReadSlotConfig();
    if (ok) {
        mk710_->SetSlotType(Hex2(mode).toStdString());
        mk710_->SetSlotFormat(hex ? "02" : "00");
        ok = mk710_->WriteSlotConfig();
    }
    if (ok) {
        WaitWithIndicator(this, 1000, "Updating General Setting...");
        if (!RefreshGeneral()) {
            Error("Refresh General Setting Error!");
            ok = false;
        }
    }
    if (ok)
        Information("Update succeeded!");
    else
        Error("Error during updating process!");
}

void TfrmMK710::SaveSettings() {
    if (!SaveSettingsFile(this, grpModule->title(), [this](SettingsWriter& w) {
            w.Line("Mode Selection: ", cmbModeSelection->currentIndex());
            w.Line("Data Format: ", cmbDataFormat->currentIndex());
        }))
        return;
    Information("Save File succeeded!");
}

void TfrmMK710::LoadSettings() {
    LoadSettingsFile(this, grpModule->title(), [this](SettingsReader& r) { ApplySettingsFile(r); });
}

void TfrmMK710::ApplySettingsFile(SettingsReader& reader) {
    const auto mode = ReadListIndex(reader, "Mode Selection: ", cmbModeSelection);
    const auto format = ReadListIndex(reader, "Data Format: ", cmbDataFormat);
    if (!mode || !format || !reader.Matching()) return;
    cmbModeSelection->setCurrentIndex(*mode);
    cmbDataFormat->setCurrentIndex(*format);
    btUpdateClick();
}

// ---------------------------------------------------------------------------
// TfrmMK710AlarmSetting

TfrmMK710AlarmSetting::TfrmMK710AlarmSetting(QWidget* parent) : KSlotPanel(parent) {
    BuildForm();
}
TfrmMK710AlarmSetting::~TfrmMK710AlarmSetting() = default;

void TfrmMK710AlarmSetting::BuildAlarmGroup(QWidget* parent, const QString& caption, char which,
                                            AlarmControls& c) {
    const QString w = which == 'H' ? "High" : "Low";
    auto* group = NamedGroup(caption, "grp" + w + "Alarm", parent);
    auto* g = new QGridLayout(group);
    c.which = which;
    c.type = NamedCombo("cmb" + w + "AlarmType", {"Disable", "Latch"}, group);
    c.limit = NamedEdit("edt" + w + "Limit", group, 10);
    c.enable = Named(new QCheckBox("Enable", group), "chk" + w + "DOEnable");
    QStringList slotItems, outputs;
    for (int s = 0; s < 8; ++s)
        slotItems << QString("Slot %1").arg(s);
    for (int o = 0; o < 16; ++o)
        outputs << QString("DO%1").arg(o);
    c.slot = NamedCombo("cmb" + w + "DOSlot", slotItems, group);
    c.output = NamedCombo("cmb" + w + "DOChannel", outputs, group);
    g->addWidget(CaptionLabel("Type :", group, c.type), 0, 0);
    g->addWidget(c.type, 0, 1);
    g->addWidget(CaptionLabel("Limit :", group, c.limit), 1, 0);
    g->addWidget(c.limit, 1, 1);
    g->addWidget(CaptionLabel("DO Mapping :", group), 2, 0);
    g->addWidget(c.enable, 2, 1);
    g->addWidget(c.slot, 3, 0);
    g->addWidget(c.output, 3, 1);
    if (auto* box = qobject_cast<QGridLayout*>(parent->layout()))
        box->addWidget(group, 3, which == 'H' ? 0 : 1);
}

void TfrmMK710AlarmSetting::BuildForm() {
    auto* outer = new QVBoxLayout(this);
    grpModule = NamedGroup(" Tavo-K710 ", "grpModule", this);
    outer->addWidget(grpModule);
    outer->addStretch();
    auto* g = new QGridLayout(grpModule);

    auto* info = new QGridLayout;
    edtCounterMode = NamedEdit("edtCounterMode", grpModule, 32767, true);
    edtDataFormat = NamedEdit("edtDataFormat", grpModule, 32767, true);
    edtCurrentValue = NamedEdit("edtCurrentValue", grpModule, 32767, true);
    imgHiAlarm = NamedLabel({}, "imgHiAlarm", grpModule);
    imgLoAlarm = NamedLabel({}, "imgLoAlarm", grpModule);
    SetLamp(imgHiAlarm, false);
    SetLamp(imgLoAlarm, false);
    info->addWidget(CaptionLabel("Counter Mode :", grpModule), 0, 0);
    info->addWidget(edtCounterMode, 0, 1);
    info->addWidget(CaptionLabel("Data Format :", grpModule), 0, 2);
    info->addWidget(edtDataFormat, 0, 3);
    info->addWidget(CaptionLabel("Current Value :", grpModule), 1, 0);
    info->addWidget(edtCurrentValue, 1, 1);
    info->addWidget(imgHiAlarm, 1, 2);
    info->addWidget(new QLabel("HI-Alram", grpModule), 1, 3);
    info->addWidget(imgLoAlarm, 1, 4);
    info->addWidget(new QLabel("LO-Alram", grpModule), 1, 5);
    g->addLayout(info, 0, 0, 1, 2);

    auto* counter = new QGridLayout;
    lblCounterStatus = NamedLabel("Counter Start/Stop", "lblCounterStatus", grpModule);
    btCounterSwitch = NamedButton("S&tart Counter", "btCounterSwitch", grpModule);
    edtFilterScale = NamedEdit("edtFilterScale", grpModule, 5);
    btUpdateScale = NamedButton("Update", "btUpdateScale", grpModule);
    edtInitialValue = NamedEdit("edtInitialValue", grpModule, 10);
    btUpdateInitialValue = NamedButton("Update", "btUpdateInitialValue", grpModule);
    btClearCounter = NamedButton("Clear Counter", "btClearCounter", grpModule);
    counter->addWidget(lblCounterStatus, 0, 0, 1, 2);
    counter->addWidget(btCounterSwitch, 0, 2);
    counter->addWidget(btClearCounter, 0, 3);
    counter->addWidget(CaptionLabel("Digital Filter Scale :", grpModule, edtFilterScale), 1, 0);
    counter->addWidget(edtFilterScale, 1, 1);
    counter->addWidget(btUpdateScale, 1, 2);
    counter->addWidget(CaptionLabel("Initial Value :", grpModule, edtInitialValue), 2, 0);
    counter->addWidget(edtInitialValue, 2, 1);
    counter->addWidget(btUpdateInitialValue, 2, 2);
    g->addLayout(counter, 1, 0, 1, 2);

    AlarmControls high{}, low{};
    BuildAlarmGroup(grpModule, " High Alarm ", 'H', high);
    BuildAlarmGroup(grpModule, " Low Alarm ", 'L', low);
    cmbHighAlarmType = high.type;
    edtHighLimit = high.limit;
    chkHighDOEnable = high.enable;
    cmbHighDOSlot = high.slot;
    cmbHighDOChannel = high.output;
    cmbLowAlarmType = low.type;
    edtLowLimit = low.limit;
    chkLowDOEnable = low.enable;
    cmbLowDOSlot = low.slot;
    cmbLowDOChannel = low.output;

    btUpdateAlarmSetting = NamedButton("Update", "btUpdateAlarmSetting", grpModule);
    btClearHighLatch = NamedButton("Clear High Latch", "btClearHighLatch", grpModule);
    btClearLowLatch = NamedButton("Clear Low Latch", "btClearLowLatch", grpModule);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btUpdateAlarmSetting);
    buttons->addWidget(btClearHighLatch);
    buttons->addWidget(btClearLowLatch);
    g->addLayout(buttons, 4, 0, 1, 2);

    connect(btCounterSwitch, &QPushButton::clicked, this, [this] { btCounterSwitchClick(); });
    connect(btUpdateScale, &QPushButton::clicked, this, [this] { btUpdateScaleClick(); });
    connect(btUpdateInitialValue, &QPushButton::clicked, this,
            [this] { btUpdateInitialValueClick(); });
    connect(btUpdateAlarmSetting, &QPushButton::clicked, this,
            [this] { btUpdateAlarmSettingClick(); });
    connect(btClearHighLatch, &QPushButton::clicked, this, [this] { btClearHighLatchClick(); });
    connect(btClearLowLatch, &QPushButton::clicked, this, [this] { btClearLowLatchClick(); });
    connect(btClearCounter, &QPushButton::clicked, this, [this] { btClearCounterClick(); });
    tmrUpdateData = MakePollTimer("tmrUpdateData", 500);
    connect(tmrUpdateData, &QTimer::timeout, this, [this] { tmrUpdateDataTimer(); });
}

TfrmMK710AlarmSetting::AlarmControls TfrmMK710AlarmSetting::High() const {
    return {'H', cmbHighAlarmType, edtHighLimit, chkHighDOEnable, cmbHighDOSlot, cmbHighDOChannel};
}
TfrmMK710AlarmSetting::AlarmControls TfrmMK710AlarmSetting::Low() const {
    return {'L', cmbLowAlarmType, edtLowLimit, chkLowDOEnable, cmbLowDOSlot, cmbLowDOChannel};
}

void TfrmMK710AlarmSetting::InitModule(const PanelContext& context) {
    BindSlot(context);
    channel_ = ChannelOfNode(context.channel.toStdString(), TfrmMK710::kChannels);
    grpModule->setTitle(QString(" Tavo-K710 (%1) %2 ").arg(context.slot, context.channel));
    mk710_ = std::make_unique<TavoMK710>(Port(), WireAddress(), SlotText());
    if (channel_ < 0) {
        // A channel node the slot does not have: nothing to talk to.
        Error("Initial Data Area Error!");
        grpModule->setEnabled(false);
        return;
    }
    if (!RefreshGeneral()) Error("Refresh General Setting Error!");
    if (!RefreshCounter()) Error("Refresh Counter Setting Error!");
    if (!RefreshAlarm()) Error("Refresh Alarm Setting Error!");
    if (!RefreshStatus()) Error("Refresh Current Channel Status Error!");
    if (!RefreshValue()) Error("Initial Data Area Error!");
    StartPolling();
}

bool TfrmMK710AlarmSetting::RefreshGeneral() {
    if (!ReadConfig(*mk710_, type_, format_)) return false;
    edtCounterMode->setText(ModeCaption(type_));
    edtDataFormat->setText(format_ == kHexFormat ? "Hex" : "Dec");
    return true;
}

bool TfrmMK710AlarmSetting::RefreshCounter() {
    std::string scale, counting, preset;
    if (!mk710_->ReadFilterScale(scale) || !mk710_->ReadCounting(channel_, counting) ||
        !mk710_->ReadPreset(channel_, preset))
        return false;
    const auto s = FilterScale(scale);
    const auto on = AlarmFlag(counting);
    const auto p = StoredCounterNumber(preset);
    if (!s || scale.size() != 5 || !on || !p) return false;
    counting_ = *on;
    edtFilterScale->setText(QString::number(*s));
    edtInitialValue->setText(QString::number(*p));
    lblCounterStatus->setText(
        QString("Counter Start/Stop   Current Status: %1").arg(counting_ ? "Start" : "Stop"));
    btCounterSwitch->setText(counting_ ? "St&op Counter" : "S&tart Counter");
    return true;
}

bool TfrmMK710AlarmSetting::RefreshAlarm() {
    for (const AlarmControls& c : {High(), Low()}) {
        std::string mode, limit, slot, output;
        if (!mk710_->ReadAlarmMode(channel_, c.which, mode) ||
            !mk710_->ReadAlarmLimit(channel_, c.which, limit) ||
            !mk710_->ReadAlarmConnection(channel_, c.which, slot, output))
            return false;
        const auto m = AlarmMode(mode);
        const auto l = StoredCounterNumber(limit);
        const auto map = ParseAlarmMapping(slot, output);
        if (!m || !l || !map) return false;
        (c.which == 'H' ? highMode_ : lowMode_) = *m;
        c.type->setCurrentIndex(*m == 'D' ? kDisable : kLatch);
        c.limit->setText(QString::number(*l));
        c.enable->setChecked(map->mapped);
        if (map->mapped) {
            c.slot->setCurrentIndex(map->slot);
            c.output->setCurrentIndex(map->output);
        }
    }
    return true;
}

bool TfrmMK710AlarmSetting::RefreshStatus() {
    std::string h, l;
    if (!mk710_->ReadAlarmStatus(channel_, h, l)) return false;
    const auto hf = AlarmFlag(h), lf = AlarmFlag(l);
    if (!hf || !lf) return false;
    SetLamp(imgHiAlarm, *hf);
    SetLamp(imgLoAlarm, *lf);
    return true;
}

bool TfrmMK710AlarmSetting::RefreshValue() {
    std::string count;
    if (!mk710_->ReadCount(channel_, count)) return false;
    const auto text = CounterValueText(count, type_, format_);
    if (!text) return false;
    ShowText(edtCurrentValue, QString::fromStdString(*text));
    return true;
}

bool TfrmMK710AlarmSetting::Poll() {
    const bool ok = RefreshValue() && RefreshStatus();
    return PollStatus(ok, "Polling AIO data...", "Fail to fresh AI/O Data...");
}

void TfrmMK710AlarmSetting::tmrUpdateDataTimer() {
    if (mk710_ && channel_ >= 0) Poll();
}

void TfrmMK710AlarmSetting::btCounterSwitchClick() {
    if (channel_ < 0) return;
    Operation op(*this, btCounterSwitch);
    const bool start = !counting_;
    if (mk710_->SetCounting(channel_, start))
        Information(start ? "Counter Started..." : "Counter Stopped...");
    else
        Error("Write Counter Switch Failed!!");
    if (!RefreshCounter()) Error("Refresh Counter Setting Error!");
}

void TfrmMK710AlarmSetting::btUpdateScaleClick() {
    if (channel_ < 0) return;
    const auto scale = FilterScale(edtFilterScale->text().toStdString());
    if (!scale) {
        Error("Please input valid scale value!");
        return;
    }
    if (*scale < kMinFilterScale || *scale > kMaxFilterScale) {
        Error("Please input valid value!!");
        return;
    }
    Operation op(*this, btUpdateScale);
    const bool ok = mk710_->SetFilterScale(static_cast<int>(*scale));
    if (ok) WaitWithIndicator(this, kStepWaitMs, "Updating Digital Filter Scale...");
    if (ok)
        Information("Update Scale succeeded!");
    else
        Error("Update Scale Failed!!");
    if (!RefreshCounter()) Error("Refresh Counter Setting Error!");
}

void TfrmMK710AlarmSetting::btUpdateInitialValueClick() {
    if (channel_ < 0) return;
    const auto value = CounterNumber(edtInitialValue->text().toStdString());
    if (!value) {
        Error("Please input valid initial value!");
        return;
    }
    Operation op(*this, btUpdateInitialValue);
    const bool ok = mk710_->SetPreset(channel_, CounterNumberText(*value));
    if (ok) WaitWithIndicator(this, kStepWaitMs, "Updating Counter Initial Value...");
    if (ok)
        Information("Update Initial Value succeeded!");
    else
        Error("Update Initial Value Failed!!");
    if (!RefreshCounter()) Error("Refresh Counter Setting Error!");
}

bool TfrmMK710AlarmSetting::WriteAlarmType(const AlarmControls& c, char mode) {
    if (c.type->currentIndex() == kDisable)
        return mode == 'D' || mk710_->DisableAlarm(channel_, c.which);
    if (mode == 'L') return true;
    if (mode == 'D') {
        if (!mk710_->EnableAlarm(channel_, c.which)) return false;
        Pause(500);
    }
    // An alarm that is on but momentary is made to latch as well, so that the
    // module does what the selector shows.
    return mk710_->SetAlarmMode(channel_, c.which, 'L');
}

void TfrmMK710AlarmSetting::btUpdateAlarmSettingClick() {
    if (channel_ < 0) return;
    // Both limits are checked before anything is sent, so a bad one never leaves
    // the alarm half written.
    const auto high = CounterNumber(edtHighLimit->text().toStdString());
    if (!high) {
        Error("Please input valid high alarm value!");
        return;
    }
    const auto low = CounterNumber(edtLowLimit->text().toStdString());
    if (!low) {
        Error("Please input valid low alarm value!");
        return;
    }
    Operation op(*this, btUpdateAlarmSetting);
    // Each step's text stays in the busy indicator while the slot takes the write.
    WaitWithIndicator(this, kStepWaitMs, "Preparing to update channel...");
    bool ok = true;
    for (const AlarmControls& c : {High(), Low()}) {
        const bool h = c.which == 'H';
        ok = WriteAlarmType(c, h ? highMode_ : lowMode_);
        if (!ok) {
            Error(h ? "Write High Alarm Type Error!!\n Please try again!!"
                    : "Write Low Alarm Type Error!!\nPlease try again!!");
            break;
        }
        WaitWithIndicator(this, kAlarmTypeWaitMs,
                          h ? "Writing High Alarm Type..." : "Writing Low Alarm Type...");
    }
    for (const AlarmControls& c : {High(), Low()}) {
        if (!ok) break;
        const bool h = c.which == 'H';
        ok = mk710_->SetAlarmLimit(channel_, c.which, CounterNumberText(h ? *high : *low));
        if (!ok)
            Error(h ? "Update High Alarm Limit Failed!!" : "Update Low Alarm Limit Failed!!");
        else
            WaitWithIndicator(this, kStepWaitMs,
                              h ? "Updating High Alarm Limit..." : "Updating Low Alarm Limit...");
    }
    for (const AlarmControls& c : {High(), Low()}) {
        if (!ok) break;
        ok = c.enable->isChecked() ? mk710_->ConnectAlarm(channel_, c.which, c.slot->currentIndex(),
                                                          c.output->currentIndex())
                                   : mk710_->DisconnectAlarm(channel_, c.which);
        if (!ok)
            Error("Please check if the target module is DO module!!");
        else
            WaitWithIndicator(this, kStepWaitMs,
                              c.which == 'H' ? "Updating High DO Mapping..."
                                             : "Updating Low DO Mapping...");
    }
    if (ok)
        Information("Update Alarm Setting succeeded!");
    else
        Error("Error occurred during setup!");
    if (!RefreshAlarm()) Error("Refresh Alarm Setting Error!");
}

void TfrmMK710AlarmSetting::btClearHighLatchClick() {
    if (channel_ < 0) return;
    Operation op(*this, btClearHighLatch);
    if (mk710_->ClearAlarmLatch(channel_, 'H'))
        Information("Clear High Latch succeeded!");
    else
        Error("Clear High Latch Error!");
    RefreshStatus();
}

void TfrmMK710AlarmSetting::btClearLowLatchClick() {
    if (channel_ < 0) return;
    Operation op(*this, btClearLowLatch);
    if (mk710_->ClearAlarmLatch(channel_, 'L'))
        Information("Clear Low Latch succeeded!");
    else
        Error("Clear Low Latch Error!");
    RefreshStatus();
}

void TfrmMK710AlarmSetting::btClearCounterClick() {
    if (channel_ < 0) return;
    Operation op(*this, btClearCounter);
    if (mk710_->ClearCounter(channel_))
        Information("Update Clear Counter succeeded!");
    else
        Error("Update Clear Counter Failed!!");
    RefreshValue();
}

} // namespace tavo
