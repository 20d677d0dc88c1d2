#include "k_analog_slot.h"

#include "panels/analog/calib_dialogs.h"
#include "panels/common/form_controls.h"
#include "panels/common/settings_file.h"
#include "panels/panels.h"

#include "devices/k_series.h"
#include "workspace/small_windows.h"
#include "workspace/ui_services.h"

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

#include <array>

namespace tavo {
namespace {

// Waits of the slot panels' busy indicator, in ms.
constexpr int kWaitMs = 500;

} // namespace

QStringList KRangeTexts(KRangeSet set) {
    QStringList items;
    for (const auto& r : KRanges(set))
        items << r.text;
    return items;
}

KAnalogSlotObject MakeKAnalogSlotObject(const KAnalogSlotMember& member, TavoComPort* port,
                                        const std::string& address, const std::string& slot) {
    KAnalogSlotObject o;
    const std::string d = member.designation;
    if (d == "K220H" || d == "K220UH") {
        auto m = std::make_unique<TavoMK220H>(port, address, slot);
        o.base = m.get();
        o.input = m.get();
        o.alarm = m.get();
        o.owner = std::move(m);
        return o;
    }
    std::unique_ptr<TavoMK230> m = d == "K230P" ? std::make_unique<TavoMK230P>(port, address, slot)
                                                : std::make_unique<TavoMK230>(port, address, slot);
    o.base = m.get();
    o.input = m.get();
    o.alarm = m.get();
    o.k230 = m.get();
    o.owner = std::move(m);
    return o;
}

void WriteKSlotLines(SettingsWriter& file, const KSlotFileLines& lines, bool perChannel) {
    file.Line("Input Range: ", lines.range);
    file.Line("Integration Time: ", lines.integration);
    file.Line("Data Format: ", lines.format);
    for (std::size_t n = 0; n < lines.checked.size(); ++n) {
        file.Line(QString("Channel %1 Checked: ").arg(n), lines.checked[n] ? 1 : 0);
        if (perChannel && n < lines.channelRanges.size())
            file.Line(QString("Channel %1 Range: ").arg(n), lines.channelRanges[n]);
    }
}

bool ReadKSlotLines(SettingsReader& file, int rangeCount, int channels, bool perChannel,
                    KSlotFileLines& out) {
    KSlotFileLines lines;
    const auto range = ReadListIndex(file, "Input Range: ", rangeCount);
    const auto integration = range ? ReadListIndex(file, "Integration Time: ", 2) : std::nullopt;
    const auto format = integration ? ReadListIndex(file, "Data Format: ", 2) : std::nullopt;
    if (!format) return false;
    lines.range = *range;
    lines.integration = *integration;
    lines.format = *format;
    for (int n = 0; n < channels; ++n) {
        const auto checked = ReadListIndex(file, QString("Channel %1 Checked: ").arg(n), 2);
        if (!checked) return false;
        lines.checked.push_back(*checked == 1);
        if (perChannel) {
            const auto r = ReadListIndex(file, QString("Channel %1 Range: ").arg(n), rangeCount);
            if (!r) return false;
            lines.channelRanges.push_back(*r);
        }
    }
    out = std::move(lines);
    return true;
}

std::optional<QString> KReadingText(const std::string& reading, bool twosComplement) {
    const auto taken = ParseKReading(reading, twosComplement);
    if (!taken) return std::nullopt;
    if (taken->burnOut) return QString("Burn-out");
    return QString::fromStdString(reading);
}

// ---- TfrmMK230 ------------------------------------------------------------------------

TfrmMK230::TfrmMK230(const KAnalogSlotMember& member, QWidget* parent)
    : PanelBase(parent), member_(member) {
    BuildForm();
    MakePollTimer("tmrUpdateAIData", 500);
    connect(PollTimer(), &QTimer::timeout, this, &TfrmMK230::tmrUpdateAIDataTimer);
}

TfrmMK230::~TfrmMK230() {
    StopPolling();
}

void TfrmMK230::BuildForm() {
    auto* outer = new QVBoxLayout(this);
    grpMain = NamedGroup(QString(" Tavo-%1 ").arg(member_.designation), "grpMain", this);
    outer->addWidget(grpMain);
    auto* main = new QVBoxLayout(grpMain);

    GroupBoxSetting = NamedGroup(" Setting && Calibration ", "GroupBoxSetting", grpMain);
    main->addWidget(GroupBoxSetting);
    auto* s = new QGridLayout(GroupBoxSetting);
    cmbInputRanges = NamedCombo("cmbInputRanges", KRangeTexts(member_.ranges), GroupBoxSetting);
    cmbDataFormat =
        NamedCombo("cmbDataFormat", {"Engineering Units", "Two's Complement"}, GroupBoxSetting);
    cmbIntegrationTime =
        NamedCombo("cmbIntegrationTime", {"50 ms ( 60 Hz )", "60 ms (50 Hz)"}, GroupBoxSetting);
    s->addWidget(CaptionLabel("Input &Ranges :", GroupBoxSetting, cmbInputRanges), 0, 0);
    s->addWidget(cmbInputRanges, 0, 1);
    s->addWidget(CaptionLabel("Data &Format :", GroupBoxSetting, cmbDataFormat), 1, 0);
    s->addWidget(cmbDataFormat, 1, 1);
    s->addWidget(CaptionLabel("Integration &Time :", GroupBoxSetting, cmbIntegrationTime), 2, 0);
    s->addWidget(cmbIntegrationTime, 2, 1);
    btUpdate = NamedButton("&Update", "btUpdate", GroupBoxSetting);
    btSpanCal = NamedButton("&Span Cal.", "btSpanCal", GroupBoxSetting);
    btZeroCal = NamedButton("&Zero Cal.", "btZeroCal", GroupBoxSetting);
    btCJCCal = NamedButton("&CJC Cal.", "btCJCCal", GroupBoxSetting);
    btCJCCal->setVisible(member_.coldJunction);
    s->addWidget(btUpdate, 0, 2);
    s->addWidget(btSpanCal, 1, 2);
    s->addWidget(btZeroCal, 2, 2);
    s->addWidget(btCJCCal, 3, 2);

    GroupBoxData = NamedGroup(" Data Area ", "GroupBoxData", grpMain);
    main->addWidget(GroupBoxData);
    auto* d = new QGridLayout(GroupBoxData);
    d->addWidget(NamedLabel("HI-Alram", "labHiAlarm", GroupBoxData), 0, 4);
    d->addWidget(NamedLabel("LO-Alram", "labLoAlarm", GroupBoxData), 0, 5);
    const bool perChannel = member_.perChannel;
    for (int n = 0; n < member_.channels; ++n) {
        const QString k = QString::number(n);
        auto* box = Named(new QCheckBox(QString("CH%1").arg(n), GroupBoxData), "chkEnableCh" + k);
        chkEnableCh.push_back(box);
        d->addWidget(box, n + 1, 0);
        if (perChannel) {
            auto* range =
                NamedCombo("cmbTypeChangeCh" + k, KRangeTexts(member_.ranges), GroupBoxData);
            cmbTypeChangeCh.push_back(range);
            d->addWidget(range, n + 1, 1);
        }
        edtAIValCh.push_back(NamedEdit("edtAIValCh" + k, GroupBoxData, 32767, true));
        labAIUnitCh.push_back(NamedLabel("", "labAIUnitCh" + k, GroupBoxData));
        imgHiAlarmCh.push_back(NamedLabel("", "imgHiAlarmCh" + k, GroupBoxData));
        imgLoAlarmCh.push_back(NamedLabel("", "imgLoAlarmCh" + k, GroupBoxData));
        SetLamp(imgHiAlarmCh.back(), false);
        SetLamp(imgLoAlarmCh.back(), false);
        d->addWidget(edtAIValCh.back(), n + 1, 2);
        d->addWidget(labAIUnitCh.back(), n + 1, 3);
        d->addWidget(imgHiAlarmCh.back(), n + 1, 4);
        d->addWidget(imgLoAlarmCh.back(), n + 1, 5);
    }
    hiShown_.assign(static_cast<std::size_t>(member_.channels), 0);
    loShown_.assign(static_cast<std::size_t>(member_.channels), 0);
    auto* buttons = new QHBoxLayout;
    btRefresh = NamedButton("&Refresh", "btRefresh", GroupBoxData);
    btUpdateChannel = NamedButton("&Update", "btUpdateChannel", GroupBoxData);
    buttons->addStretch();
    buttons->addWidget(btRefresh);
    buttons->addWidget(btUpdateChannel);
    d->addLayout(buttons, member_.channels + 1, 0, 1, 6);
    outer->addStretch();

    connect(btUpdate, &QPushButton::clicked, this, &TfrmMK230::btUpdateClick);
    connect(btSpanCal, &QPushButton::clicked, this, &TfrmMK230::btSpanCalClick);
    connect(btZeroCal, &QPushButton::clicked, this, &TfrmMK230::btZeroCalClick);
    connect(btCJCCal, &QPushButton::clicked, this, &TfrmMK230::btCJCCalClick);
    connect(btRefresh, &QPushButton::clicked, this, &TfrmMK230::btRefreshClick);
    connect(btUpdateChannel, &QPushButton::clicked, this, &TfrmMK230::btUpdateChannelClick);
    connect(cmbInputRanges, &QComboBox::currentIndexChanged, this, [this] { ShowUnits(); });
    for (auto* range : cmbTypeChangeCh)
        connect(range, &QComboBox::currentIndexChanged, this, [this] { ShowUnits(); });
}

QString TfrmMK230::MainCaption() const {
    return grpMain->title();
}

void TfrmMK230::InitModule(const PanelContext& context) {
    Bind(context);
    if (!context.slotModuleName.isEmpty()) {
        moduleName_ = context.slotModuleName.trimmed();
        if (!moduleName_.startsWith("Tavo-")) moduleName_ = "Tavo-" + moduleName_;
        grpMain->setTitle(" " + moduleName_ + " ");
    }
    module_ = MakeKAnalogSlotObject(member_, Port(), WireAddress(), context.slot.toStdString());
    // The slot takes its range, format, integration time and calibration only while
    // the rack is in its INIT state.
    for (QWidget* w :
         std::initializer_list<QWidget*>{cmbInputRanges, cmbDataFormat, cmbIntegrationTime,
                                         btUpdate, btSpanCal, btZeroCal, btCJCCal})
        w->setEnabled(InitMode());
    for (auto* range : cmbTypeChangeCh)
        range->setEnabled(InitMode());
    RefreshGeneral();
    RefreshChannels();
    StartPolling();
}

bool TfrmMK230::RefreshGeneral() {
    if (!module_.base->ReadSlotConfig()) {
        Status("Fail to fresh general setting data!");
        return false;
    }
    const unsigned tt = HexOrZero(module_.base->SlotType());
    const unsigned ff = HexOrZero(module_.base->SlotFormat());
    cmbInputRanges->setCurrentIndex(KRangeIndex(member_.ranges, static_cast<int>(tt)));
    twosComplement_ = (ff & 3) != 0;
    cmbDataFormat->setCurrentIndex(twosComplement_ ? 1 : 0);
    cmbIntegrationTime->setCurrentIndex(ff >> 7 & 1);
    ShowUnits();
    return true;
}

void TfrmMK230::ShowUnits() {
    for (int n = 0; n < member_.channels; ++n) {
        const int index = PerChannel()
                              ? cmbTypeChangeCh[static_cast<std::size_t>(n)]->currentIndex()
                              : cmbInputRanges->currentIndex();
        const KAnalogRange* r = KRangeAt(member_.ranges, index);
        labAIUnitCh[static_cast<std::size_t>(n)]->setText(r ? r->unit : kUnknownUnit);
    }
}

QString TfrmMK230::ZeroText() const {
    const KAnalogRange* r = KRangeAt(member_.ranges, cmbInputRanges->currentIndex());
    return r ? r->zero : kUnknownCalibration;
}

QString TfrmMK230::SpanText() const {
    const KAnalogRange* r = KRangeAt(member_.ranges, cmbInputRanges->currentIndex());
    return r ? r->span : kUnknownCalibration;
}

bool TfrmMK230::RefreshChannels() {
    std::string dataText;
    if (!module_.input->ReadChannelEnable(dataText) || !KHexDigits(dataText)) {
        Status("Fail to fresh AI Status!");
        return false;
    }
    enabledMask_ = HexOrZero(dataText);
    channelsRead_ = true;
    for (int n = 0; n < member_.channels; ++n) {
        const auto i = static_cast<std::size_t>(n);
        const bool on = enabledMask_ >> n & 1;
        chkEnableCh[i]->setChecked(on);
        edtAIValCh[i]->setVisible(on);
        imgHiAlarmCh[i]->setVisible(on);
        imgLoAlarmCh[i]->setVisible(on);
    }
    return true;
}

bool TfrmMK230::PollValues() {
    // Read as the slot writes them: the list may hold a choice not yet updated.
    const bool twos = twosComplement_;
    for (int n = 0; n < member_.channels; ++n) {
        if (!(enabledMask_ >> n & 1)) continue;
        std::string reading;
        if (!module_.input->ReadChannel(n, reading)) return false;
        const auto text = KReadingText(reading, twos);
        if (!text) return false;
        ShowText(edtAIValCh[static_cast<std::size_t>(n)], *text);
    }
    return true;
}

bool TfrmMK230::PollAlarms() {
    for (int n = 0; n < member_.channels; ++n) {
        if (!(enabledMask_ >> n & 1)) continue;
        std::string high, low;
        if (!module_.alarm->ReadAlarmStatus(n, high, low)) return false;
        if ((high != "0" && high != "1") || (low != "0" && low != "1")) return false;
        const auto i = static_cast<std::size_t>(n);
        const int h = high == "1", l = low == "1";
        if (h != hiShown_[i]) SetLamp(imgHiAlarmCh[i], h);
        if (l != loShown_[i]) SetLamp(imgLoAlarmCh[i], l);
        hiShown_[i] = h;
        loShown_[i] = l;
    }
    return true;
}

void TfrmMK230::tmrUpdateAIDataTimer() {
    // Readings and alarm states take turns, so one tick stays short. Until the
    // channel enables are known (the slot did not answer them), each tick asks again.
    const bool ok = (channelsRead_ || RefreshChannels()) &&
                    (NextHeartbeat() == 1 ? PollValues() : PollAlarms());
    PollStatus(ok, "Polling AI data...", "Fail to fresh AI data!");
}

bool TfrmMK230::WriteGeneral() {
    const KAnalogRange* r = KRangeAt(member_.ranges, cmbInputRanges->currentIndex());
    if (!r || !module_.base->ReadSlotConfig()) return false;
    module_.base->SetSlotType(Hex2(r->code).toStdString());
    module_.base->SetFormatBits10(
        cmbDataFormat->isEnabled() && cmbDataFormat->currentIndex() == 1 ? "11" : "00");
    module_.base->SetFormatBit7(cmbIntegrationTime->currentIndex() == 1 ? '1' : '0');
    return module_.base->WriteSlotConfig();
}

void TfrmMK230::btUpdateClick() {
    Operation op(*this, btUpdate);
    if (WriteGeneral()) {
        WaitWithIndicator(this, kWaitMs, "Updating General Setting...");
        Information("Update Setting succeeded!");
    } else {
        Error("Error occurred during setup!");
    }
    Pause(kWaitMs);
    RefreshGeneral();
    RefreshChannels();
}

void TfrmMK230::btUpdateChannelClick() {
    Operation op(*this, btUpdateChannel);
    unsigned mask = 0;
    for (int n = 0; n < member_.channels; ++n)
        if (chkEnableCh[static_cast<std::size_t>(n)]->isChecked()) mask |= 1u << n;
    if (module_.input->SetChannelEnable(static_cast<int>(mask))) {
        WaitWithIndicator(this, kWaitMs, "Updating Channels...");
        Information("Update Channel Setup succeeded!");
    } else {
        Status("Fail to change AI status!");
        Error("Error occurred during setup!");
    }
    RefreshChannels();
}

void TfrmMK230::btRefreshClick() {
    Operation op(*this, btRefresh);
    RefreshChannels();
}

void TfrmMK230::Calibrate(int mode) {
    Operation op(*this);
    TfrmCalib dialog(this);
    dialog.setWindowTitle(MainCaption() +
                          (mode == TfrmCalib::kZero ? " Zero calibration" : " Span calibration"));
    dialog.SetMode(mode);
    dialog.SetInputText(mode == TfrmCalib::kZero ? ZeroText() : SpanText());
    if (member_.calibration == KCalibKind::K230 && module_.k230)
        dialog.SetK230(module_.k230);
    else
        dialog.SetK220H(module_.input);
    dialog.Run();
}

void TfrmMK230::btZeroCalClick() {
    Calibrate(TfrmCalib::kZero);
}
void TfrmMK230::btSpanCalClick() {
    Calibrate(TfrmCalib::kSpan);
}

void TfrmMK230::btCJCCalClick() {
    if (!module_.k230) return;
    Operation op(*this);
    TfrmCJC dialog(this);
    dialog.setWindowTitle("Cold Junction Compesation");
    dialog.SetK230(module_.k230);
    dialog.Run();
}

KSlotFileLines TfrmMK230::CurrentLines() const {
    KSlotFileLines lines;
    lines.range = std::max(0, cmbInputRanges->currentIndex());
    lines.integration = cmbIntegrationTime->currentIndex();
    lines.format = cmbDataFormat->currentIndex();
    for (int n = 0; n < member_.channels; ++n) {
        lines.checked.push_back(chkEnableCh[static_cast<std::size_t>(n)]->isChecked());
        if (PerChannel())
            lines.channelRanges.push_back(
                std::max(0, cmbTypeChangeCh[static_cast<std::size_t>(n)]->currentIndex()));
    }
    return lines;
}

void TfrmMK230::ApplyLines(const KSlotFileLines& lines) {
    cmbInputRanges->setCurrentIndex(lines.range);
    cmbIntegrationTime->setCurrentIndex(lines.integration);
    cmbDataFormat->setCurrentIndex(lines.format);
    for (std::size_t n = 0; n < lines.checked.size() && n < chkEnableCh.size(); ++n)
        chkEnableCh[n]->setChecked(lines.checked[n]);
    for (std::size_t n = 0; n < lines.channelRanges.size() && n < cmbTypeChangeCh.size(); ++n)
        cmbTypeChangeCh[n]->setCurrentIndex(lines.channelRanges[n]);
}

void TfrmMK230::SaveSettings() {
    if (!module_.base) return;
    {
        // The file stores the slot's settings, not what the controls were left at.
        Operation op(*this);
        RefreshGeneral();
        RefreshChannels();
    }
    const KSlotFileLines lines = CurrentLines();
    if (SaveSettingsFile(this, MainCaption(),
                         [&](SettingsWriter& file) { WriteKSlotLines(file, lines, PerChannel()); }))
        Information("Save File succeeded!");
}

void TfrmMK230::LoadSettings() {
    if (!module_.base) return;
    KSlotFileLines lines;
    bool read = false;
    LoadSettingsFile(this, MainCaption(), [&](SettingsReader& file) {
        read = ReadKSlotLines(file, cmbInputRanges->count(), member_.channels, PerChannel(), lines);
    });
    if (!read) return;
    ApplyLines(lines);
    // The range, format and integration time are the slot's to take only in the
    // rack's INIT state, as the Update beside them.
    if (btUpdate->isEnabled()) {
        btUpdateClick();
        // The Update reads the channels back from the slot: the file's choices go
        // into the boxes again before they are written.
        for (std::size_t n = 0; n < lines.checked.size() && n < chkEnableCh.size(); ++n)
            chkEnableCh[n]->setChecked(lines.checked[n]);
    }
    btUpdateChannelClick();
}

// ---- TfrmMK220H -----------------------------------------------------------------------

TfrmMK220H::TfrmMK220H(const KAnalogSlotMember& member, QWidget* parent)
    : TfrmMK230(member, parent) {
    btCheckAll = NamedButton("&Enable", "btCheckAll", GroupBoxData);
    btUncheckAll = NamedButton("&Disable", "btUncheckAll", GroupBoxData);
    btFollowCh0 = NamedButton("&Range follow CH0", "btFollowCh0", GroupBoxData);
    auto* grid = static_cast<QGridLayout*>(GroupBoxData->layout());
    auto* row = new QHBoxLayout;
    row->addWidget(btCheckAll);
    row->addWidget(btUncheckAll);
    row->addWidget(btFollowCh0);
    row->addStretch();
    grid->addLayout(row, static_cast<int>(chkEnableCh.size()) + 2, 0, 1, 6);
    connect(btCheckAll, &QPushButton::clicked, this, &TfrmMK220H::btCheckAllClick);
    connect(btUncheckAll, &QPushButton::clicked, this, &TfrmMK220H::btUncheckAllClick);
    connect(btFollowCh0, &QPushButton::clicked, this, &TfrmMK220H::btFollowCh0Click);
    // One range per channel: the slot-wide list only names channel 0's.
    cmbInputRanges->setVisible(false);
}

void TfrmMK220H::btCheckAllClick() {
    for (auto* box : chkEnableCh)
        box->setChecked(true);
}

void TfrmMK220H::btUncheckAllClick() {
    for (auto* box : chkEnableCh)
        box->setChecked(false);
}

void TfrmMK220H::btFollowCh0Click() {
    for (auto* range : cmbTypeChangeCh)
        range->setCurrentIndex(cmbTypeChangeCh.front()->currentIndex());
}

bool TfrmMK220H::RefreshGeneral() {
    if (!TfrmMK230::RefreshGeneral()) return false;
    for (int n = 0; n < static_cast<int>(cmbTypeChangeCh.size()); ++n) {
        if (!module_.base->ReadChannelConfig(n)) {
            Status("Fail to fresh general setting data!");
            return false;
        }
        cmbTypeChangeCh[static_cast<std::size_t>(n)]->setCurrentIndex(
            KRangeIndex(Member().ranges, static_cast<int>(HexOrZero(module_.base->SlotType()))));
    }
    // The held codes are the slot's again for the next write.
    if (!module_.base->ReadSlotConfig()) return false;
    ShowUnits();
    return true;
}

bool TfrmMK220H::WriteGeneral() {
    // Channel 0's range goes to the whole slot, the others' to their channels.
    cmbInputRanges->setCurrentIndex(cmbTypeChangeCh.front()->currentIndex());
    if (!TfrmMK230::WriteGeneral()) return false;
    for (int n = 1; n < static_cast<int>(cmbTypeChangeCh.size()); ++n) {
        const KAnalogRange* r =
            KRangeAt(Member().ranges, cmbTypeChangeCh[static_cast<std::size_t>(n)]->currentIndex());
        if (!r) return false;
        module_.base->SetSlotType(Hex2(r->code).toStdString());
        if (!module_.base->WriteChannelConfig(n)) return false;
    }
    return true;
}

} // namespace tavo
