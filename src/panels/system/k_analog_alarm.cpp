#include "k_analog_alarm.h"

#include "panels/common/edit_controls.h"
#include "panels/common/form_controls.h"

#include "devices/k_series.h"
#include "workspace/small_windows.h"
#include "workspace/status_bar.h"

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

constexpr int kWaitMs = 500;
constexpr const char* kNotMapped = "N/A";
const char kAlarmLetter[2] = {'H', 'L'};
const char* const kAlarmName[2] = {"High", "Low"};

// A decimal number of at most two digits, as the chooser fields hold them.
int SmallNumber(const QString& text) {
    bool ok = false;
    const int v = text.toInt(&ok);
    return ok && text.size() <= 2 && !text.startsWith('+') && !text.startsWith('-') ? v : -1;
}

} // namespace

TfrmMK230AlarmSetting::TfrmMK230AlarmSetting(const KAnalogSlotMember& member, QWidget* parent)
    : PanelBase(parent), member_(member) {
    BuildForm();
    MakePollTimer("tmrUpdateAIData", 500);
    connect(PollTimer(), &QTimer::timeout, this, &TfrmMK230AlarmSetting::tmrUpdateAIDataTimer);
}

TfrmMK230AlarmSetting::~TfrmMK230AlarmSetting() {
    StopPolling();
}

TfrmMK230AlarmSetting::AlarmControls TfrmMK230AlarmSetting::BuildAlarm(const QString& caption,
                                                                       const QString& x) {
    AlarmControls a{};
    a.group = NamedGroup(caption, "grp" + x + "Alarm", grpMain);
    auto* g = new QGridLayout(a.group);
    a.type = NamedCombo("cmb" + x + "AlarmType", {"Disable", "Momentary", "Latch"}, a.group);
    a.limit = NamedEdit(x == "H" ? "edtHighLimit" : "edtLowLimit", a.group, 10);
    FilterKeys(a.limit, kSignedDecimalKeys);
    a.doMap = Named(new QCheckBox("Enable", a.group), "chk" + x + "DOMap");
    a.slot = NamedEdit("edt" + x + "AlarmSlot", a.group, 3);
    a.slotChoose = Named(new UpDown(a.slot, 0, 7, a.group), "UpDown" + x + "AlarmSlotChoose");
    a.output = NamedEdit("edt" + x + "AlarmCh", a.group, 3);
    a.outputChoose = Named(new UpDown(a.output, 0, 15, a.group), "UpDown" + x + "AlarmChChoose");
    g->addWidget(CaptionLabel("Alarm Type :", a.group, a.type), 0, 0);
    g->addWidget(a.type, 0, 1, 1, 2);
    g->addWidget(CaptionLabel("Alarm Limit :", a.group, a.limit), 1, 0);
    g->addWidget(a.limit, 1, 1, 1, 2);
    g->addWidget(CaptionLabel("DO Mapping :", a.group, a.doMap), 2, 0);
    g->addWidget(a.doMap, 2, 1);
    g->addWidget(CaptionLabel("Slot :", a.group, a.slot), 3, 0);
    g->addWidget(a.slot, 3, 1);
    g->addWidget(a.slotChoose, 3, 2);
    g->addWidget(CaptionLabel("DO Channel :", a.group, a.output), 4, 0);
    g->addWidget(a.output, 4, 1);
    g->addWidget(a.outputChoose, 4, 2);
    return a;
}

void TfrmMK230AlarmSetting::BuildForm() {
    auto* outer = new QVBoxLayout(this);
    grpMain = NamedGroup(QString(" Tavo-%1 Channel ").arg(member_.designation), "grpMain", this);
    outer->addWidget(grpMain);
    auto* main = new QVBoxLayout(grpMain);

    auto* area = NamedGroup(" Data Area ", "GroupBoxData", grpMain);
    main->addWidget(area);
    auto* d = new QGridLayout(area);
    chkChannelEnable = Named(new QCheckBox("&Channel Enable", area), "chkChannelEnable");
    // What the slot is set to, for reading the limits; the slot panel changes them.
    // The format and integration lists open in the rack's INIT state (InitModule).
    cmbInputRanges = NamedCombo("cmbInputRanges", KRangeTexts(member_.ranges), area);
    cmbDataFormat = NamedCombo("cmbDataFormat", {"Engineering Units", "Two's Complement"}, area);
    cmbIntegrationTime =
        NamedCombo("cmbIntegrationTime", {"50 ms ( 60 Hz )", "60 ms (50 Hz)"}, area);
    for (QComboBox* c : {cmbInputRanges, cmbDataFormat, cmbIntegrationTime})
        c->setEnabled(false);
    edtAIVal = NamedEdit("edtAIVal", area, 32767, true);
    labAIUnit = NamedLabel("", "labAIUnit", area);
    imgHiAlarm = NamedLabel("", "imgHiAlarm", area);
    imgLoAlarm = NamedLabel("", "imgLoAlarm", area);
    SetLamp(imgHiAlarm, false);
    SetLamp(imgLoAlarm, false);
    d->addWidget(chkChannelEnable, 0, 0, 1, 2);
    d->addWidget(CaptionLabel("Input Ranges :", area, cmbInputRanges), 1, 0);
    d->addWidget(cmbInputRanges, 1, 1, 1, 3);
    d->addWidget(CaptionLabel("Data Format :", area, cmbDataFormat), 2, 0);
    d->addWidget(cmbDataFormat, 2, 1, 1, 3);
    d->addWidget(CaptionLabel("Integration Time :", area, cmbIntegrationTime), 3, 0);
    d->addWidget(cmbIntegrationTime, 3, 1, 1, 3);
    d->addWidget(CaptionLabel("Value :", area, edtAIVal), 4, 0);
    d->addWidget(edtAIVal, 4, 1);
    d->addWidget(labAIUnit, 4, 2);
    d->addWidget(NamedLabel("HI-Alram", "labHiAlarm", area), 5, 0);
    d->addWidget(imgHiAlarm, 5, 1);
    d->addWidget(NamedLabel("LO-Alram", "labLoAlarm", area), 6, 0);
    d->addWidget(imgLoAlarm, 6, 1);

    auto* alarms = new QHBoxLayout;
    alarm[0] = BuildAlarm(" High Alarm ", "H");
    alarm[1] = BuildAlarm(" Low Alarm ", "L");
    alarms->addWidget(alarm[0].group);
    alarms->addWidget(alarm[1].group);
    main->addLayout(alarms);

    auto* buttons = new QHBoxLayout;
    btUpdateDataArea = NamedButton("&Update", "btUpdateDataArea", grpMain);
    btClearHLatch = NamedButton("Clear &H Latch", "btClearHLatch", grpMain);
    btClearLLatch = NamedButton("Clear &L Latch", "btClearLLatch", grpMain);
    buttons->addStretch();
    buttons->addWidget(btUpdateDataArea);
    buttons->addWidget(btClearHLatch);
    buttons->addWidget(btClearLLatch);
    main->addLayout(buttons);
    outer->addStretch();

    connect(btUpdateDataArea, &QPushButton::clicked, this,
            &TfrmMK230AlarmSetting::btUpdateDataAreaClick);
    connect(btClearHLatch, &QPushButton::clicked, this, &TfrmMK230AlarmSetting::btClearHLatchClick);
    connect(btClearLLatch, &QPushButton::clicked, this, &TfrmMK230AlarmSetting::btClearLLatchClick);
    for (int i = 0; i < 2; ++i) {
        connect(alarm[static_cast<std::size_t>(i)].type, &QComboBox::currentIndexChanged, this,
                [this, i] { ApplyTypeEnabling(i); });
        connect(alarm[static_cast<std::size_t>(i)].doMap, &QCheckBox::toggled, this,
                [this, i] { ApplyTypeEnabling(i); });
    }
}

void TfrmMK230AlarmSetting::ApplyTypeEnabling(int which) {
    const auto& a = alarm[static_cast<std::size_t>(which)];
    const bool on = a.type->currentIndex() != 0;
    a.limit->setEnabled(on);
    a.doMap->setEnabled(on);
    const bool choose = on && a.doMap->isChecked();
    for (QWidget* w :
         std::initializer_list<QWidget*>{a.slot, a.slotChoose, a.output, a.outputChoose})
        w->setEnabled(choose);
}

void TfrmMK230AlarmSetting::InitModule(const PanelContext& context) {
    Bind(context);
    const int maxSlot = context.status ? context.status->Tag() : 7;
    for (auto& a : alarm) {
        a.slotChoose->setRange(0, maxSlot > 0 ? maxSlot : 7);
        a.slot->setText(kNotMapped);
        a.output->setText(kNotMapped);
    }
    const QString channelText = context.channel;
    channel_ =
        channelText.size() >= 4 && channelText[3].isDigit() ? channelText[3].digitValue() : -1;
    QString model = member_.designation;
    if (!context.slotModuleName.isEmpty()) {
        model = context.slotModuleName.trimmed();
        if (model.startsWith("Tavo-")) model = model.mid(5);
    }
    grpMain->setTitle(QString(" Tavo-%1 Channel %2 ").arg(model).arg(channel_));
    cmbDataFormat->setEnabled(InitMode());
    cmbIntegrationTime->setEnabled(InitMode());
    module_ = MakeKAnalogSlotObject(member_, Port(), WireAddress(), context.slot.toStdString());
    if (!InitDataArea()) Error("Initial Data Area Error!");
    if (!RefreshAlarms()) Error("Refresh Alarm Setting Error!!");
    StartPolling();
}

const KAnalogRange* TfrmMK230AlarmSetting::Range() const {
    return KRangeAt(member_.ranges, KRangeIndex(member_.ranges, rangeCode_));
}

bool TfrmMK230AlarmSetting::InitDataArea() {
    // The channel command fails without sending for a channel text without a number.
    if (channel_ < 0 || channel_ >= member_.channels) return false;
    std::string mask;
    if (!module_.input->ReadChannelEnable(mask) || !KHexDigits(mask)) return false;
    enabled_ = HexOrZero(mask) >> channel_ & 1;
    chkChannelEnable->setChecked(enabled_);
    for (int i = 0; i < 2; ++i) {
        std::string mode;
        if (!module_.alarm->ReadAlarmMode(channel_, kAlarmLetter[i], mode) || mode.size() != 1 ||
            (mode != "M" && mode != "L" && mode != "D"))
            return false;
        mode_[static_cast<std::size_t>(i)] = mode[0];
    }
    const bool perChannel = std::string(member_.designation).rfind("K220H", 0) == 0 ||
                            std::string(member_.designation) == "K220UH";
    if (!(perChannel ? module_.base->ReadChannelConfig(channel_) : module_.base->ReadSlotConfig()))
        return false;
    rangeCode_ = static_cast<int>(HexOrZero(module_.base->SlotType()));
    const unsigned ff = HexOrZero(module_.base->SlotFormat());
    cmbInputRanges->setCurrentIndex(KRangeIndex(member_.ranges, rangeCode_));
    twosComplement_ = (ff & 3) != 0;
    cmbDataFormat->setCurrentIndex(twosComplement_ ? 1 : 0);
    cmbIntegrationTime->setCurrentIndex(ff >> 7 & 1);
    const KAnalogRange* r = Range();
    labAIUnit->setText(r ? r->unit : kUnknownUnit);
    edtAIVal->setVisible(enabled_);
    return true;
}

bool TfrmMK230AlarmSetting::RefreshAlarms() {
    if (channel_ < 0) return false;
    bool ok = true;
    for (int i = 0; i < 2 && ok; ++i) {
        auto& a = alarm[static_cast<std::size_t>(i)];
        const char x = kAlarmLetter[i];
        std::string mode, limit, slot, output;
        ok = module_.alarm->ReadAlarmMode(channel_, x, mode) &&
             (mode == "M" || mode == "L" || mode == "D");
        if (!ok) break;
        mode_[static_cast<std::size_t>(i)] = mode[0];
        a.type->setCurrentIndex(mode == "M" ? 1 : mode == "L" ? 2 : 0);
        ok = module_.alarm->ReadAlarmLimit(channel_, x, limit) && KPlainNumber(limit);
        if (!ok) break;
        a.limit->setText(QString::fromStdString(limit));
        ok = module_.alarm->ReadAlarmConnection(channel_, x, slot, output);
        if (!ok) break;
        if (slot == "*") {
            a.doMap->setChecked(false);
            a.slot->setText(kNotMapped);
            a.output->setText(kNotMapped);
        } else {
            const int s = slot[0] >= '0' && slot[0] <= '7' ? slot[0] - '0' : -1;
            const int o = HexOrZero(output);
            ok = s >= 0 && std::isxdigit(static_cast<unsigned char>(output[0]));
            if (!ok) break;
            a.doMap->setChecked(true);
            a.slot->setText(QString::number(s));
            a.slotChoose->SetPosition(s);
            a.output->setText(QString::number(o));
            a.outputChoose->SetPosition(o);
        }
        ApplyTypeEnabling(i);
    }
    return ok;
}

bool TfrmMK230AlarmSetting::ReadChannelData() {
    if (channel_ < 0) return false;
    if (!enabled_) return true;
    std::string reading, high, low;
    if (!module_.input->ReadChannel(channel_, reading)) return false;
    // The slot's own format: the list may show a choice that was never written.
    const auto text = KReadingText(reading, twosComplement_);
    if (!text) return false;
    if (!module_.alarm->ReadAlarmStatus(channel_, high, low) || (high != "0" && high != "1") ||
        (low != "0" && low != "1"))
        return false;
    ShowText(edtAIVal, *text);
    const int h = high == "1", l = low == "1";
    if (h != lampShown_[0]) SetLamp(imgHiAlarm, h);
    if (l != lampShown_[1]) SetLamp(imgLoAlarm, l);
    lampShown_ = {h, l};
    return true;
}

void TfrmMK230AlarmSetting::tmrUpdateAIDataTimer() {
    PollStatus(ReadChannelData(), "Polling AIO data...", "Fail to fresh AI/O Data...");
}

bool TfrmMK230AlarmSetting::Plan(int which, Planned& out) {
    const auto& a = alarm[static_cast<std::size_t>(which)];
    Planned p;
    p.type = a.type->currentIndex();
    if (p.type != 0) {
        const KAnalogRange* r = Range();
        const auto text =
            r ? KAlarmLimitText(a.limit->text().trimmed().toStdString(), *r) : std::nullopt;
        if (!text) {
            Error(QString("Please input valid %1 alarm limit value!").arg(kAlarmName[which]));
            return false;
        }
        p.limit = *text;
        p.mapped = a.doMap->isChecked();
    }
    if (p.mapped) {
        p.slot = SmallNumber(a.slot->text());
        p.output = SmallNumber(a.output->text());
        if (p.slot < 0 || p.slot > a.slotChoose->maximum() || p.output < 0 || p.output > 15) {
            Error("Please check if the target module is DO module!!");
            return false;
        }
    }
    out = p;
    return true;
}

bool TfrmMK230AlarmSetting::WriteAlarm(int which, const Planned& p) {
    const char x = kAlarmLetter[which];
    const QString name = kAlarmName[which];
    if (p.type != 0) {
        Pause(100);
        const bool ok = module_.alarm->SetAlarmLimit(channel_, x, p.limit);
        Pause(100);
        if (!ok) {
            Error(QString("Write %1 Alarm Value Failed!!").arg(name));
            return false;
        }
        WaitWithIndicator(this, kWaitMs, QString("Updating %1 alarm limit...").arg(name));
    }
    const bool mapped = p.mapped && p.type != 0;
    if (!(mapped ? module_.alarm->ConnectAlarm(channel_, x, p.slot, p.output)
                 : module_.alarm->DisconnectAlarm(channel_, x))) {
        Error("Please check if the target module is DO module!!");
        return false;
    }
    WaitWithIndicator(this, kWaitMs, QString("Updating %1 DO Mapping...").arg(name));
    return true;
}

void TfrmMK230AlarmSetting::btUpdateDataAreaClick() {
    if (channel_ < 0) return;
    Operation op(*this, btUpdateDataArea);
    // Both alarms' entries are checked before anything goes out, so a wrong limit
    // leaves the slot as it was.
    std::array<Planned, 2> plan;
    if (chkChannelEnable->isChecked() && (!Plan(0, plan[0]) || !Plan(1, plan[1]))) return;

    bool ok = false, shown = false;
    std::string dataText;
    if (module_.input->ReadChannelEnable(dataText) && KHexDigits(dataText)) {
        unsigned mask = HexOrZero(dataText);
        const bool was = mask >> channel_ & 1;
        const bool want = chkChannelEnable->isChecked();
        mask = want ? mask | 1u << channel_ : mask & ~(1u << channel_);
        Pause(200);
        ok = module_.input->SetChannelEnable(static_cast<int>(mask & 0xFF));
        if (!ok) Status("Fail to refresh AIO data!");
        WaitWithIndicator(this, kWaitMs, "Please wait...");
        if (ok && was == want && want) {
            WaitWithIndicator(this, kWaitMs, "Preparing to update channel...");
            for (int i = 0; i < 2 && ok; ++i) {
                const char x = kAlarmLetter[i];
                const char current = mode_[static_cast<std::size_t>(i)];
                bool sent = false;
                if (plan[static_cast<std::size_t>(i)].type == 0) {
                    if (current != 'D') {
                        ok = module_.alarm->DisableAlarm(channel_, x);
                        sent = true;
                    }
                } else {
                    const char wanted = plan[static_cast<std::size_t>(i)].type == 1 ? 'M' : 'L';
                    if (current != wanted) {
                        ok = module_.alarm->EnableAlarm(channel_, x);
                        if (ok) {
                            Pause(500);
                            ok = module_.alarm->SetAlarmMode(channel_, x, wanted);
                        }
                        sent = true;
                    }
                }
                if (ok && sent)
                    WaitWithIndicator(this, 600,
                                      QString("Writing %1 Alarm Type...").arg(kAlarmName[i]));
            }
            for (int i = 0; i < 2 && ok; ++i) {
                ok = WriteAlarm(i, plan[static_cast<std::size_t>(i)]);
                shown = !ok;
            }
        }
    } else {
        Status("Fail to refresh AIO data!");
    }
    WaitWithIndicator(this, kWaitMs, "Please wait...");
    ok = InitDataArea() && ok;
    ok = ReadChannelData() && ok;
    if (ok)
        Information("Update Channel Setup succeeded!");
    else if (!shown)
        Error("Error occurred during setup!");
    if (!RefreshAlarms()) Status("Refresh Alarm Setting Error!!");
}

void TfrmMK230AlarmSetting::btClearHLatchClick() {
    Operation op(*this, btClearHLatch);
    if (channel_ >= 0 && module_.alarm->ClearAlarmLatch(channel_, 'H'))
        Information("Clear High Latch succeeded!");
    else
        Error("Clear High Latch Error!");
}

void TfrmMK230AlarmSetting::btClearLLatchClick() {
    Operation op(*this, btClearLLatch);
    if (channel_ >= 0 && module_.alarm->ClearAlarmLatch(channel_, 'L'))
        Information("Clear Low Latch succeeded!");
    else
        Error("Clear Low Latch Error!");
}

} // namespace tavo
