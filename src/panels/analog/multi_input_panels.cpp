#include "multi_input_panels.h"

#include "calib_dialogs.h"

#include "panels/common/edit_controls.h"
#include "panels/common/form_controls.h"
#include "panels/common/settings_file.h"
#include "workspace/small_windows.h"

#include "devices/models_analog.h"

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

QComboBox* Combo(const char* name, const QStringList& items, QWidget* parent) {
    auto* combo = NamedCombo(name, items, parent);
    // Nothing is selected until the module has been read, so an Update can never
    // send a choice nobody made.
    combo->setCurrentIndex(-1);
    return combo;
}

const RangeItem* ItemAt(RangeList list, int index) {
    const auto items = RangeItems(list);
    return index < 0 || static_cast<std::size_t>(index) >= items.size()
               ? nullptr
               : &items[static_cast<std::size_t>(index)];
}

const char* TextAt(const std::vector<const char*>& texts, int index, const char* other) {
    return index >= 0 && static_cast<std::size_t>(index) < texts.size()
               ? texts[static_cast<std::size_t>(index)]
               : other;
}

} // namespace

// ---- Form ----------------------------------------------------------------------------

TfrmMR270P::TfrmMR270P(QWidget* parent) : TfrmMR270P(*FindMultiInputMember("R270P"), parent) {}

TfrmMR270P::TfrmMR270P(const MultiInputMember& member, QWidget* parent)
    : GeneralSettingsPanel(parent), member_(member), typeChangeDelayMs_(member.typeChangeDelayMs) {
    setObjectName(QString("TfrmM") + member.designation);
    BuildForm();
    connect(MakePollTimer("tmrUpdateAIData", 500), &QTimer::timeout, this,
            [this] { tmrUpdateAIDataTimer(); });
}

TfrmMR270P::~TfrmMR270P() {
    StopPolling();
}

void TfrmMR270P::BuildForm() {
    QVBoxLayout* main = AddMainGroup(member_.captionModel);
    layout()->setContentsMargins(0, 0, 0, 0);
    auto* grid = new QGridLayout;
    main->addLayout(grid);

    // General settings: the shared rows, then this family's.
    grpGeneralSetting = NamedGroup(" General Setting ", "grpGeneralSetting", grpModule);
    auto* generalBox = new QVBoxLayout(grpGeneralSetting);
    generalLayout_ = new QGridLayout;
    generalBox->addLayout(generalLayout_);
    GeneralRows rows;
    rows.checksumCaption = "CheckSum :";
    rows.onAddressEnter = [this] { btSystemUpdateClick(); };
    AddGeneralControls(generalLayout_, generalRow_, rows);
    QWidget* g = grpGeneralSetting;
    const auto addRow = [&](QLabel* caption, QWidget* control, QWidget* unit = nullptr) {
        const int row = NextGeneralRow();
        generalLayout_->addWidget(caption, row, 0);
        generalLayout_->addWidget(control, row, 1);
        if (unit) generalLayout_->addWidget(unit, row, 2);
    };
    cmbDataFormat =
        Combo("cmbDataFormat", {"Engineering Units", "% FSR", "2's Complement of Hex"}, g);
    addRow(CaptionLabel("&Data Format :", g, cmbDataFormat), cmbDataFormat);
    cmbIntegrationTime = Combo("cmbIntegrationTime", {"50 ms(60 Hz)", "60 ms(50 Hz)"}, g);
    lblIntegrationTime = CaptionLabel("Integration Time : ", g, cmbIntegrationTime);
    addRow(lblIntegrationTime, cmbIntegrationTime);
    edtCommWDT = NamedEdit("edtCommWDT", g, 5);
    edtCommWDT->setToolTip("0.0~999.9");
    FilterKeys(edtCommWDT, kUnsignedDecimalKeys, [this] { btSystemUpdateClick(); });
    lblCommWDT = CaptionLabel("Comm. WDT:", g, edtCommWDT);
    lblCommWDTUnit = CaptionLabel("Sec", g);
    addRow(lblCommWDT, edtCommWDT, lblCommWDTUnit);
    cmbPotocolSelect = Combo("cmbPotocolSelect", {"ASCII", "MODBUS"}, g);
    lblProtocol = CaptionLabel("&Protocol : ", g, cmbPotocolSelect);
    addRow(lblProtocol, cmbPotocolSelect);
    CB_COMSetting =
        NamedCombo("CB_COMSetting",
                   {"N. Parity, 8, 1", "E. Parity, 8, 1", "O. Parity, 8, 1", "N. Parity, 8, 2"}, g);
    lblCOMSetting = CaptionLabel("Modbus only:", g, CB_COMSetting);
    addRow(lblCOMSetting, CB_COMSetting);
    Drop(CB_COMSetting, lblCOMSetting);
    btSystemUpdate = NamedButton("&Update", "btSystemUpdate", g);
    generalBox->addWidget(btSystemUpdate, 0, Qt::AlignRight);
    grid->addWidget(grpGeneralSetting, 0, 0);

    // Calibration.
    grpCalibration = NamedGroup(" AI Calibration ", "grpCalibration", grpModule);
    auto* calibration = new QHBoxLayout(grpCalibration);
    btZeroCal = NamedButton("&Zero Cal.", "btZeroCal", grpCalibration);
    btSpanCal = NamedButton("S&pan Cal.", "btSpanCal", grpCalibration);
    btCJCCal = NamedButton("&CJC Cal.", "btCJCCal", grpCalibration);
    for (QPushButton* b : {btZeroCal, btSpanCal, btCJCCal})
        calibration->addWidget(b);
    grid->addWidget(grpCalibration, 1, 0);

    // Channel setup.
    PageControl1 = Named(new QTabWidget(grpModule), "PageControl1");
    TS_ChannelSetup = AddPage(PageControl1, "TS_ChannelSetup", "Channel Setup");
    auto* page = new QGridLayout(TS_ChannelSetup);
    channels = std::make_unique<ChannelArray>(kMaxChannels, member_.ranges, page, 0);
    if (member_.channel0Ranges) channels->SetRanges(0, *member_.channel0Ranges);
    channels->ShowRows(member_.channels);
    auto* all = new QHBoxLayout;
    all->addWidget(CaptionLabel("For all channels:", TS_ChannelSetup));
    btFollowCh0 = NamedButton("&Range follow CH0", "btFollowCh0", TS_ChannelSetup);
    btCheckAll = NamedButton("&Enable", "btCheckAll", TS_ChannelSetup);
    btUncheckAll = NamedButton("&Disable", "btUncheckAll", TS_ChannelSetup);
    for (QPushButton* b : {btFollowCh0, btCheckAll, btUncheckAll})
        all->addWidget(b);
    page->addLayout(all, kMaxChannels, 0, 1, 4);
    auto* actions = new QHBoxLayout;
    actions->addStretch();
    btRefreshAIStatus = NamedButton("&Refresh", "btRefreshAIStatus", TS_ChannelSetup);
    btSingleChUpdate = NamedButton("&Update", "btSingleChUpdate", TS_ChannelSetup);
    actions->addWidget(btRefreshAIStatus);
    actions->addWidget(btSingleChUpdate);
    page->addLayout(actions, kMaxChannels + 1, 0, 1, 4);
    TS_Filter = AddPage(PageControl1, "TS_Filter", "Advanced Setup");
    PageControl1->setTabVisible(PageControl1->indexOf(TS_Filter), false);
    grid->addWidget(PageControl1, 0, 1, 2, 1);
    static_cast<QVBoxLayout*>(layout())->addStretch();

    for (QWidget* w :
         {static_cast<QWidget*>(cmbDataFormat), static_cast<QWidget*>(cmbIntegrationTime),
          static_cast<QWidget*>(cmbPotocolSelect), static_cast<QWidget*>(btZeroCal),
          static_cast<QWidget*>(btSpanCal)})
        AddInitOnly(w);

    connect(btSystemUpdate, &QPushButton::clicked, this, [this] { btSystemUpdateClick(); });
    connect(btSingleChUpdate, &QPushButton::clicked, this, [this] { btSingleChUpdateClick(); });
    connect(btRefreshAIStatus, &QPushButton::clicked, this, [this] { btRefreshAIStatusClick(); });
    connect(btFollowCh0, &QPushButton::clicked, this, [this] { btFollowCh0Click(); });
    connect(btCheckAll, &QPushButton::clicked, this, [this] { btCheckAllClick(); });
    connect(btUncheckAll, &QPushButton::clicked, this, [this] { btUncheckAllClick(); });
    connect(btZeroCal, &QPushButton::clicked, this, [this] { btZeroCalClick(); });
    connect(btSpanCal, &QPushButton::clicked, this, [this] { btSpanCalClick(); });
    connect(btCJCCal, &QPushButton::clicked, this, [this] { btCJCCalClick(); });
}

QString TfrmMR270P::MainCaption() const {
    return grpModule->title();
}

bool TfrmMR270P::HasSettingsFile() const {
    return member_.settingsFile;
}

bool TfrmMR270P::Shown(const QWidget* control) const {
    // Hidden by the member, not merely on a page that is not in front.
    return !control->isHidden();
}

void TfrmMR270P::Drop(QWidget* control, QWidget* caption) {
    for (QWidget* w : {control, caption}) {
        if (!w) continue;
        w->hide();
        w->setEnabled(false);
    }
}

std::vector<TavoRBase*> TfrmMR270P::Objects() const {
    std::vector<TavoRBase*> objects{module_.get()};
    objects.insert(objects.end(), extraObjects_.begin(), extraObjects_.end());
    return objects;
}

// ---- Hooks ---------------------------------------------------------------------------

int TfrmMR270P::RangeIndexToCode(int index) const {
    return tavo::RangeIndexToCode(channels->Ranges(0), index);
}

void TfrmMR270P::WriteProtocol() {
    const int index = cmbPotocolSelect->currentIndex();
    if (index >= 0) module_->SetProtocolBit(index == 1 ? '1' : '0');
}

bool TfrmMR270P::ReadCommWDT() {
    int tenths = 0;
    if (!protocol_->ReadWatchdog(tenths)) return false;
    edtCommWDT->setText(QString::asprintf("%.1f", tenths * 0.1));
    return true;
}

bool TfrmMR270P::ReadProtocol() {
    std::string bit;
    if (!module_->GetProtocolBit(bit)) return false;
    const bool ascii = bit == "0";
    cmbPotocolSelect->setCurrentIndex(ascii ? 0 : 1);
    // A Modbus module has no checksum; an ASCII one lets it change in INIT only.
    chkCheckSum->setEnabled(InitMode() && ascii);
    return true;
}

bool TfrmMR270P::WriteCommWDT() {
    const auto tenths = WatchdogTenths(edtCommWDT->text());
    if (!tenths) {
        Error("The WDT must be between 0.0 and 999.9!");
        return false;
    }
    Pause(100);
    if (!protocol_->WriteWatchdog(*tenths)) {
        Error("Update WDT failed!");
        return false;
    }
    return true;
}

void TfrmMR270P::AfterChannelWrite() {
    // The module stores the range before it takes the next command.
    Pause(100);
}

QString TfrmMR270P::ZeroCalibrationInput(int index) const {
    if (!member_.zeroTexts.empty()) return TextAt(member_.zeroTexts, index, member_.zeroOther);
    const RangeItem* item = ItemAt(member_.ranges, index);
    const QString unit = item ? item->unit : "";
    switch (member_.zeroRule) {
    case ZeroText::Millivolt:
        return "0 mV";
    case ZeroText::ByUnit:
        return unit == "mA" ? "0 mA" : unit == "V" ? "0 V" : "0 mV";
    case ZeroText::CurrentOrMillivolt:
        break;
    }
    return unit == "mA" ? "0 mA" : "0 mV";
}

QString TfrmMR270P::SpanCalibrationInput(int index) const {
    if (member_.newSpanItem >= 0 && index == member_.newSpanItem && newThermocoupleSpan_)
        return member_.newSpanText;
    return TextAt(member_.spanTexts, index, member_.spanOther);
}

void TfrmMR270P::WriteDataFormat() {
    static const char* const kBits[] = {"00", "01", "10"};
    const int index = cmbDataFormat->currentIndex();
    if (index >= 0 && index < 3) module_->SetFormatBits10(kBits[index]);
}

void TfrmMR270P::ShowDataFormat(const std::string& bits) {
    cmbDataFormat->setCurrentIndex(bits == "00" ? 0 : bits == "01" ? 1 : 2);
}

void TfrmMR270P::SetTypeChangeDelay() {
    typeChangeDelayMs_ = member_.typeChangeDelayMs;
}

void TfrmMR270P::WriteIntegrationTime() {
    const int index = cmbIntegrationTime->currentIndex();
    if (index >= 0) module_->SetFormatBit7(index == 0 ? '0' : '1');
}

void TfrmMR270P::ShowIntegrationTime() {
    std::string bit;
    if (!module_->FormatCode().empty() && module_->GetFormatBit7(bit))
        cmbIntegrationTime->setCurrentIndex(bit == "0" ? 0 : 1);
}

std::unique_ptr<MultiInputProtocol> TfrmMR270P::MakeProtocol() {
    return std::make_unique<AsciiMultiInput>(*module_);
}

QString TfrmMR270P::UnitText(int, const RangeItem* item) const {
    return item ? item->unit : "";
}

int TfrmMR270P::CalibrationRangeIndex() const {
    return channels->range[0]->currentIndex();
}

void TfrmMR270P::GiveCalibrationObject(TfrmCalib& dialog) {
    dialog.SetInput(module_.get());
}

// ---- Start and refresh ---------------------------------------------------------------

void TfrmMR270P::InitModule(const PanelContext& context) {
    Bind(context);
    EnableInitControls();
    for (QWidget* w : initOnly_)
        w->setEnabled(InitMode());
    module_ = std::make_unique<TavoMR270P>(Port(), WireAddress());
    CreateExtraObjects(WireAddress());
    protocol_ = MakeProtocol();
    PageControl1->setCurrentWidget(TS_ChannelSetup);
    RefreshGeneral();
    RefreshChannelSetup();
    StartPolling();
}

void TfrmMR270P::RefreshGeneral() {
    General general;
    std::string bits;
    const bool ok = ReadGeneral(*module_, general) && module_->GetFormatBits10(bits);
    // A baud code outside the list shows nothing rather than a wrong choice.
    const int baud = static_cast<int>(HexOrZero(general.baudCode)) - 3;
    if (!ok || baud < 0 || baud >= cmbBaudRate->count()) {
        Status("Fail to fresh general setting data!");
        return;
    }
    firmware_ = general.firmware;
    newThermocoupleSpan_ = tavo::NewThermocoupleSpan(firmware_);
    ShowGeneral(general, QString::fromStdString(firmware_.substr(0, 6)));
    ShowDataFormat(bits);
    ShowIntegrationTime();
    const bool watchdog = ReadCommWDT();
    const bool protocol = ReadProtocol();
    if (!watchdog || !protocol) Status("Fail to fresh general setting data!");
    RefreshExtra();
}

void TfrmMR270P::ShowChannelRange(int channel, int code) {
    const RangeItem* item = channels->ShowRangeCode(channel, code);
    channels->SetUnit(channel, UnitText(channel, item));
}

void TfrmMR270P::RefreshChannelSetup() {
    unsigned mask = 0;
    if (!protocol_->ReadEnableMask(mask)) {
        Status(member_.channelFailure);
        return;
    }
    channels->ShowEnableMask(mask, ChannelCount());
    // An unread range shows as none: guessing one would offer it to the next Update
    // as if the module had it.
    std::vector<int> codes;
    const bool read = protocol_->ReadRanges(ChannelCount(), codes);
    codes.resize(static_cast<std::size_t>(ChannelCount()), -1);
    for (int n = 0; n < ChannelCount(); ++n) {
        const int code = codes[static_cast<std::size_t>(n)];
        if (read && code < 0) Status(QString("Fail to fresh AI channel-%1").arg(n));
        ShowChannelRange(n, code);
    }
    if (!read) Status(member_.channelFailure);
}

void TfrmMR270P::RefreshData() {
    if (!module_) return;
    std::vector<ChannelReading> readings;
    const bool ok = protocol_->ReadValues(ChannelCount(), InitMode(), readings);
    if (!PollStatus(ok, "Polling AI data...", "Fail to fresh AI data!")) return;
    for (int n = 0; n < ChannelCount(); ++n) {
        const ChannelReading& r = readings[static_cast<std::size_t>(n)];
        channels->SetValue(n, r.burnOut ? QString("Burn-out") : QString::fromStdString(r.text));
    }
}

// ---- User operations -----------------------------------------------------------------

void TfrmMR270P::btSystemUpdateClick() {
    UpdateGeneralSettings("Update general setting succeeded!");
}

void TfrmMR270P::UpdateGeneralSettings(const QString& successText) {
    if (!module_) return;
    // A watchdog time the module cannot take is refused before anything is sent.
    if (Shown(edtCommWDT) && !WatchdogTenths(edtCommWDT->text())) {
        Error("The WDT must be between 0.0 and 999.9!");
        return;
    }
    bool done = false;
    {
        Operation op(*this);
        int address = 0;
        bool written = false;
        if (ReadNewAddress(edtAddress_Dec->text(), address)) {
            const auto chosen = [this](const QComboBox* c) {
                return !Shown(c) || c->currentIndex() >= 0;
            };
            ConfigSteps steps;
            // Outside INIT only the address changes (and what the member adds); in
            // INIT every field is the user's and each must have been chosen.
            steps.ready = [this, chosen](bool initMode) {
                return CanWriteConfiguration() &&
                       (!initMode || (!SelectedBaudCode().empty() && chosen(cmbDataFormat) &&
                                      chosen(cmbIntegrationTime) && chosen(cmbPotocolSelect)));
            };
            steps.prepare = [this](bool initMode) {
                if (initMode) {
                    module_->SetBaudCode(SelectedBaudCode());
                    module_->SetFormatBit6(chkCheckSum->isChecked() ? '1' : '0');
                    WriteDataFormat();
                    WriteIntegrationTime();
                    WriteProtocol();
                }
                BeforeConfigurationWrite();
            };
            steps.pauseAfterReadsMs = 100;
            written = WriteGeneralSettings(address, Objects(), steps) == ConfigWrite::Written;
        }
        // A refused address still waits and reads back.
        SetTypeChangeDelay();
        WaitWithIndicator(this, typeChangeDelayMs_);
        done = written && WriteCommWDT();
        RefreshGeneral();
        Pause(member_.channelRereadPauseMs);
        RefreshChannelSetup();
    }
    if (done) Information(successText);
}

void TfrmMR270P::UpdateChannelSetup() {
    if (!module_) return;
    bool ok = true;
    {
        Operation op(*this);
        if (!protocol_->WriteEnableMask(channels->EnableMask(ChannelCount()))) {
            Status("Fail to change AI status!");
            ok = false;
        }
        Pause(MaskWritePauseMs());
        for (int n = 0; n < ChannelCount(); ++n) {
            // A list without a selection (a range the panel does not know) keeps
            // the module's range.
            const int code =
                RangeIndexToCode(channels->range[static_cast<std::size_t>(n)]->currentIndex());
            if (code < 0) continue;
            if (!protocol_->WriteRange(n, code)) {
                Status("Change AI range failed");
                ok = false;
            }
            AfterChannelWrite();
        }
        // The verdict on the writes comes before the read-back, which has its own
        // failures to tell in the status bar.
        if (ok)
            Information("Update channel setup succeeded!");
        else
            Error("Error occurred during setup!");
        RefreshChannelSetup();
    }
}

void TfrmMR270P::btRefreshAIStatusClick() {
    if (!module_) return;
    Operation op(*this);
    RefreshChannelSetup();
}

void TfrmMR270P::btFollowCh0Click() {
    channels->FollowFirst(ChannelCount());
}

void TfrmMR270P::btCheckAllClick() {
    channels->CheckAll(true);
}

void TfrmMR270P::btUncheckAllClick() {
    channels->CheckAll(false);
}

void TfrmMR270P::Calibrate(CalibrationMode mode) {
    if (!module_) return;
    const int index = CalibrationRangeIndex();
    const QString model = MainCaption().trimmed();
    TfrmCalib dialog(this);
    switch (mode) {
    case CalibrationMode::Zero:
        dialog.setWindowTitle(model + " Zero calibration");
        dialog.SetMode(TfrmCalib::kZero);
        dialog.SetInputText(ZeroCalibrationInput(index));
        break;
    case CalibrationMode::Span:
        dialog.setWindowTitle(model + " Span calibration");
        dialog.SetMode(TfrmCalib::kSpan);
        dialog.SetInputText(SpanCalibrationInput(index));
        break;
    case CalibrationMode::NegativeSpan:
        // The negative end of the same range.
        dialog.setWindowTitle(model + " Neg-Span calibration");
        dialog.SetMode(TfrmCalib::kNegativeSpan);
        dialog.SetInputText("-" + SpanCalibrationInput(index));
        break;
    }
    GiveCalibrationObject(dialog);
    dialog.Run();
}

void TfrmMR270P::btCJCCalClick() {
    if (!module_) return;
    TfrmCJC dialog(this);
    dialog.setWindowTitle(MainCaption() + " Cold Junction Compesation");
    dialog.SetR270P(module_.get());
    dialog.Run();
}

// ---- Settings file -------------------------------------------------------------------

MultiInputFileLayout TfrmMR270P::FileLayout() const {
    MultiInputFileLayout layout;
    const auto items = [this](const QComboBox* c) { return Shown(c) ? c->count() : -1; };
    layout.baudItems = cmbBaudRate->count();
    layout.dataFormatItems = items(cmbDataFormat);
    layout.integrationItems = items(cmbIntegrationTime);
    layout.watchdog = Shown(edtCommWDT);
    layout.protocolItems = items(cmbPotocolSelect);
    layout.channels = std::min(ChannelCount(), kMaxFileChannels);
    for (int n = 0; n < layout.channels; ++n)
        layout.rangeItems[static_cast<std::size_t>(n)] =
            channels->RangeListsShown() ? channels->range[static_cast<std::size_t>(n)]->count()
                                        : -1;
    return layout;
}

void TfrmMR270P::SaveSettings() {
    if (!module_ || !HasSettingsFile()) return;
    {
        // The stored channel states are the module's, not what the boxes were
        // left showing.
        Operation op(*this);
        RefreshChannelSetup();
    }
    const MultiInputFileLayout layout = FileLayout();
    MultiInputGeneralLines general;
    general.baud = cmbBaudRate->currentIndex();
    general.checksumTicked = chkCheckSum->isChecked();
    general.dataFormat = cmbDataFormat->currentIndex();
    general.integration = cmbIntegrationTime->currentIndex();
    general.watchdog = edtCommWDT->text();
    general.protocol = cmbPotocolSelect->currentIndex();
    MultiInputChannelLines lines;
    for (int n = 0; n < layout.channels; ++n) {
        const auto i = static_cast<std::size_t>(n);
        lines.enabled[i] = channels->enable[i]->isChecked();
        lines.range[i] = channels->range[i]->currentIndex();
    }
    SaveSettingsFile(this, MainCaption(), [&](SettingsWriter& file) {
        WriteMultiInputGeneral(file, layout, general,
                               [this](SettingsWriter& own) { SaveExtraSettings(own); });
        WriteMultiInputChannels(file, layout, lines);
    });
}

void TfrmMR270P::LoadSettings() {
    if (!module_ || !HasSettingsFile()) return;
    Operation op(*this);
    LoadSettingsFile(this, MainCaption(), [this](SettingsReader& r) { ReadSettings(r); });
}

void TfrmMR270P::ReadSettings(SettingsReader& file) {
    // Each group goes to the controls and the module only when all of its lines
    // were read; the first line that does not fit ends the load there.
    const MultiInputFileLayout layout = FileLayout();
    MultiInputGeneralLines general;
    std::function<void()> applyOwn;
    const auto own = [this, &applyOwn](SettingsReader& r) {
        applyOwn = LoadExtraSettings(r);
        return static_cast<bool>(applyOwn) && r.Matching();
    };
    if (!ReadMultiInputGeneral(file, layout, own, general)) return;
    cmbBaudRate->setCurrentIndex(general.baud);
    chkCheckSum->setChecked(general.checksumTicked);
    applyOwn();
    if (layout.dataFormatItems >= 0) cmbDataFormat->setCurrentIndex(general.dataFormat);
    if (layout.integrationItems >= 0) cmbIntegrationTime->setCurrentIndex(general.integration);
    if (layout.watchdog) edtCommWDT->setText(general.watchdog);
    if (layout.protocolItems >= 0) cmbPotocolSelect->setCurrentIndex(general.protocol);
    btSystemUpdateClick();

    MultiInputChannelLines lines;
    if (!ReadMultiInputChannels(file, layout, lines)) return;
    for (int n = 0; n < layout.channels; ++n) {
        const auto i = static_cast<std::size_t>(n);
        channels->enable[i]->setChecked(lines.enabled[i]);
        if (layout.rangeItems[i] >= 0) channels->range[i]->setCurrentIndex(lines.range[i]);
    }
    UpdateChannelSetup();
}

} // namespace tavo
