#include "single_input_panels.h"

#include "calib_dialogs.h"
#include "output_value_group.h"

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
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <cstdio>

namespace tavo {

// ---- Alarm limits and values ---------------------------------------------------------

bool FormatAlarmLimit(double value, LimitFormat format, std::string& out) {
    if (!std::isfinite(value)) return false;
    const char sign = value > 0.0 ? '+' : '-';
    char text[400];
    std::snprintf(text, sizeof text, "%.*f", format.decimals, std::fabs(value));
    // The module's field holds six characters.
    std::string field = std::string(text).substr(0, 6);
    const std::size_t point = field.find('.');
    const std::size_t integers = point == std::string::npos ? field.size() : point;
    if (integers > static_cast<std::size_t>(format.digits)) return false;
    field.insert(0, static_cast<std::size_t>(format.digits) - integers, '0');
    out = sign + field.substr(0, 6);
    return true;
}

LimitFormat DefaultLimitFormat(int index) {
    switch (index) {
    case 0:
    case 1:
    case 6:
        return {3, 2};
    case 2:
    case 3:
    case 7:
    case 9:
        return {2, 3};
    case 4:
    case 5:
        return {4, 1};
    case 8:
    case 10:
    case 11:
    case 12:
    case 13:
        return {1, 4};
    default:
        return {3, 2};
    }
}

LimitFormat R220LimitFormat(int index) {
    switch (index) {
    case 1:
    case 2:
        return {4, 1};
    case 3:
    case 4:
        return {2, 3};
    default:
        return {3, 2};
    }
}

QString ValueText(const std::string& reply) {
    const QString text = QString::fromStdString(reply);
    double value = 0.0;
    if (!ParsePlainDecimal(text, value)) return text.trimmed();
    return QString::number(value, 'g', 15);
}

// ---- Form ----------------------------------------------------------------------------

namespace {

QComboBox* Combo(const char* name, const QStringList& items, QWidget* parent) {
    auto* combo = NamedCombo(name, items, parent);
    // Nothing is selected until the module has been read, so an Update can never
    // send a choice nobody made.
    combo->setCurrentIndex(-1);
    return combo;
}

} // namespace

TfrmMR210D::TfrmMR210D(QWidget* parent) : TfrmMR210D(Model{"R210D", RangeList::R210, 2}, parent) {}

TfrmMR210D::TfrmMR210D(const Model& model, QWidget* parent)
    : GeneralSettingsPanel(parent), model_(model) {
    BuildForm();
    connect(MakePollTimer("tmrUpdateAIData", 500), &QTimer::timeout, this,
            [this] { tmrUpdateAIDataTimer(); });
}

TfrmMR210D::~TfrmMR210D() {
    StopPolling();
}

void TfrmMR210D::BuildForm() {
    QVBoxLayout* main = AddMainGroup(model_.designation);
    layout()->setContentsMargins(0, 0, 0, 0);
    static_cast<QVBoxLayout*>(layout())->addStretch();
    mainLayout_ = new QGridLayout;
    main->addLayout(mainLayout_);

    // General settings.
    grpGeneralSetting = NamedGroup(" General Setting ", "grpGeneralSetting", grpModule);
    auto* general = new QGridLayout(grpGeneralSetting);
    int row = 0;
    GeneralRows rows;
    rows.checksumCaption = "CheckSum :";
    rows.onAddressEnter = [this] { btSystemUpdateClick(); };
    AddGeneralControls(general, row, rows);
    QStringList ranges;
    for (const RangeItem& item : RangeItems(model_.ranges))
        ranges << item.text;
    const auto addRow = [&](const QString& caption, QComboBox* combo) {
        general->addWidget(CaptionLabel(caption, grpGeneralSetting, combo), row, 0);
        general->addWidget(combo, row++, 1);
    };
    cmbTypeChangeAllCh = Combo("cmbTypeChangeAllCh", ranges, grpGeneralSetting);
    addRow("Input Range :", cmbTypeChangeAllCh);
    cmbDataFormat = Combo("cmbDataFormat", {"Engineering Units", "% FSR", "Two Completed of Hex"},
                          grpGeneralSetting);
    addRow("&Data Format :", cmbDataFormat);
    cmbIntegrationTime =
        Combo("cmbIntegrationTime", {"50 ms(60 Hz)", "60 ms(50 Hz)"}, grpGeneralSetting);
    addRow("Integration Time : ", cmbIntegrationTime);
    btSystemUpdate = NamedButton("&Update", "btSystemUpdate", grpGeneralSetting);
    general->addWidget(btSystemUpdate, row++, 1, Qt::AlignRight);
    // Hidden holders of the "off" and "on" pictures, as the form has them.
    bitbtnOff = NamedButton("", "bitbtnOff", grpGeneralSetting);
    SetLamp(bitbtnOff, false);
    bitbtnOff->hide();
    bitbtnOn = NamedButton("", "bitbtnOn", grpGeneralSetting);
    SetLamp(bitbtnOn, true);
    bitbtnOn->hide();
    ComboBox5 = NamedCombo("ComboBox5", {}, grpGeneralSetting);
    ComboBox5->hide();
    mainLayout_->addWidget(grpGeneralSetting, 0, 0, 3, 1);

    // Calibration.
    grpCalibration = NamedGroup(" AI Calibration ", "grpCalibration", grpModule);
    auto* calibration = new QHBoxLayout(grpCalibration);
    btZeroCal = NamedButton("&Zero Cal.", "btZeroCal", grpCalibration);
    btSpanCal = NamedButton("S&pan Cal.", "btSpanCal", grpCalibration);
    btCJCCal = NamedButton("&CJC Cal.", "btCJCCal", grpCalibration);
    for (QPushButton* b : {btZeroCal, btSpanCal, btCJCCal})
        calibration->addWidget(b);
    mainLayout_->addWidget(grpCalibration, 3, 0);

    // Value.
    grpDataArea = NamedGroup(" Data Area ", "grpDataArea", grpModule);
    auto* value = new QHBoxLayout(grpDataArea);
    edtAI_Val = NamedEdit("edtAI_Val", grpDataArea, 32767, true);
    value->addWidget(CaptionLabel("Reading AI value :", grpDataArea));
    value->addWidget(edtAI_Val);
    mainLayout_->addWidget(grpDataArea, 0, 1, 1, 2);

    // Alarm outputs.
    grpAlarmStatus = NamedGroup(" Alarm Status ", "grpAlarmStatus", grpModule);
    auto* status = new QGridLayout(grpAlarmStatus);
    static const char* const kDoNames[4] = {"btDO0", "btDO1", "btDO2", "btDO3"};
    static const char* const kDoCaptions[4] = {"High Alarm :", "Low Alarm:", "", ""};
    for (int n = 0; n < 4; ++n) {
        QPushButton* b = NamedButton(QString("DO%1").arg(n), kDoNames[n], grpAlarmStatus);
        b->setProperty("Tag", 0);
        b->setToolTip("Set by hand while the alarm is disabled");
        btDO[static_cast<std::size_t>(n)] = b;
        SetLamp(b, false);
        connect(b, &QPushButton::clicked, this, [this, n] { btDOClick(n); });
        if (n < model_.alarmOutputs) {
            status->addWidget(CaptionLabel(kDoCaptions[n], grpAlarmStatus), n, 0);
            status->addWidget(b, n, 1);
        } else {
            b->hide();
        }
    }
    btClearAlarmLatch = NamedButton("Clear Latch", "btClearAlarmLatch", grpAlarmStatus);
    status->addWidget(btClearAlarmLatch, 0, 2);
    mainLayout_->addWidget(grpAlarmStatus, 1, 1, 1, 2);

    // Alarm limits.
    const auto limitGroup = [this](const QString& caption, const char* group, const char* edit,
                                   int tag, const char* button, QLineEdit*& e, QPushButton*& b) {
        QGroupBox* g = NamedGroup(caption, group, grpModule);
        auto* line = new QHBoxLayout(g);
        e = NamedEdit(edit, g, 7);
        e->setProperty("Tag", tag);
        FilterKeys(e, kSignedDecimalKeys, [this, tag] { UpdateAlarmLimit(tag == 100); });
        b = NamedButton("&Update", button, g);
        line->addWidget(e);
        line->addWidget(b);
        return g;
    };
    grpHighAlarmLimit = limitGroup(" Hihg Alarm Limit ", "grpHighAlarmLimit", "edtHighLimt", 100,
                                   "btHighAlarmLimitUpdate", edtHighLimt, btHighAlarmLimitUpdate);
    grpLowAlarmLimit = limitGroup(" Low Alarm Limit ", "grpLowAlarmLimit", "edtLowLimt", 101,
                                  "btLowAlarmLimitUpdate", edtLowLimt, btLowAlarmLimitUpdate);
    mainLayout_->addWidget(grpHighAlarmLimit, 2, 1);
    mainLayout_->addWidget(grpLowAlarmLimit, 2, 2);

    // Alarm mode.
    grpAlarmType = NamedGroup(" Alarm Type Setting ", "grpAlarmType", grpModule);
    auto* type = new QHBoxLayout(grpAlarmType);
    cmbAlarmType = Combo("cmbAlarmType", {"disable", "MOMENTARY", "LATCH"}, grpAlarmType);
    btAlarmTypeSettingUpdate = NamedButton("&Update", "btAlarmTypeSettingUpdate", grpAlarmType);
    type->addWidget(cmbAlarmType);
    type->addWidget(btAlarmTypeSettingUpdate);
    mainLayout_->addWidget(grpAlarmType, 3, 1);

    // Event counter.
    grpEventCounter = NamedGroup(" Event Counter ", "grpEventCounter", grpModule);
    auto* counter = new QGridLayout(grpEventCounter);
    edtEventCounter = NamedEdit("edtEventCounter", grpEventCounter, 7, true);
    counter->addWidget(CaptionLabel("Counter Value :", grpEventCounter), 0, 0);
    counter->addWidget(edtEventCounter, 0, 1);
    btDI = NamedButton("DI", "btDI", grpEventCounter);
    SetLamp(btDI, false);
    counter->addWidget(CaptionLabel("DI Status :", grpEventCounter), 1, 0);
    counter->addWidget(btDI, 1, 1);
    btClearEventCounter = NamedButton("Clear Event Cnt", "btClearEventCounter", grpEventCounter);
    counter->addWidget(btClearEventCounter, 2, 1);
    mainLayout_->addWidget(grpEventCounter, 3, 2);

    connect(btSystemUpdate, &QPushButton::clicked, this, &TfrmMR210D::btSystemUpdateClick);
    connect(btAlarmTypeSettingUpdate, &QPushButton::clicked, this,
            &TfrmMR210D::btAlarmTypeSettingUpdateClick);
    connect(btHighAlarmLimitUpdate, &QPushButton::clicked, this,
            &TfrmMR210D::btHighAlarmLimitUpdateClick);
    connect(btLowAlarmLimitUpdate, &QPushButton::clicked, this,
            &TfrmMR210D::btLowAlarmLimitUpdateClick);
    connect(btClearAlarmLatch, &QPushButton::clicked, this, &TfrmMR210D::btClearAlarmLatchClick);
    connect(btClearEventCounter, &QPushButton::clicked, this,
            &TfrmMR210D::btClearEventCounterClick);
    connect(btZeroCal, &QPushButton::clicked, this, &TfrmMR210D::btZeroCalClick);
    connect(btSpanCal, &QPushButton::clicked, this, &TfrmMR210D::btSpanCalClick);
    connect(btCJCCal, &QPushButton::clicked, this, &TfrmMR210D::btCJCCalClick);
    EnableAlarmControls();
}

QString TfrmMR210D::MainCaption() const {
    return grpModule->title();
}

void TfrmMR210D::Drop(QWidget* group) {
    group->hide();
    group->setEnabled(false);
}

bool TfrmMR210D::Shown(const QWidget* control) const {
    return control->isVisibleTo(this);
}

// ---- Hooks ---------------------------------------------------------------------------

int TfrmMR210D::RangeIndexToCode(int index) const {
    return tavo::RangeIndexToCode(model_.ranges, index);
}

int TfrmMR210D::RangeCodeToIndex(int code) const {
    // A range this panel does not list shows as the first item.
    return std::max(tavo::RangeCodeToIndex(model_.ranges, code), 0);
}

QString TfrmMR210D::ZeroCalibrationInput(int index) const {
    return index == 6 ? "0 mA" : "0 mV";
}

QString TfrmMR210D::SpanCalibrationInput(int index) const {
    static const char* const kSpans[] = {"15mV", "50mV", "100mV", "500mV", "1V",   "2.5V", "20mA",
                                         "50mV", "50mV", "22mV",  "80mV",  "22mV", "22mV", "15mV"};
    return index >= 0 && index < 14 ? kSpans[index] : "###.##";
}

void TfrmMR210D::WriteDataFormat() {
    static const char* const kBits[] = {"00", "01", "10"};
    const int i = cmbDataFormat->currentIndex();
    if (i >= 0 && i < 3) module_->SetFormatBits10(kBits[i]);
}

void TfrmMR210D::ShowDataFormat(const std::string& bits) {
    cmbDataFormat->setCurrentIndex(bits == "00" ? 0 : bits == "01" ? 1 : 2);
}

void TfrmMR210D::SetTypeChangeDelay() {
    typeChangeDelayMs_ = 10000;
}

LimitFormat TfrmMR210D::AlarmLimitFormat(int index) const {
    return DefaultLimitFormat(index);
}

std::unique_ptr<TavoMR210> TfrmMR210D::MakeCommandObject(TavoComPort* port,
                                                         const std::string& address) const {
    return std::make_unique<TavoMR210D>(port, address);
}

void TfrmMR210D::GiveCalibrationObject(TfrmCalib& dialog) {
    dialog.SetSingleInput(module_.get());
}

// ---- Start and refresh ---------------------------------------------------------------

void TfrmMR210D::InitModule(const PanelContext& context) {
    Bind(context);
    EnableInitControls();
    for (QWidget* w :
         {static_cast<QWidget*>(cmbDataFormat), static_cast<QWidget*>(cmbIntegrationTime),
          static_cast<QWidget*>(btZeroCal), static_cast<QWidget*>(btSpanCal)})
        w->setEnabled(InitMode());
    module_ = MakeCommandObject(Port(), WireAddress());
    std::string name;
    if (module_->ReadModuleName(name)) moduleName_ = QString::fromStdString(name.substr(0, 64));
    RefreshGeneralSetting();
    Pause(300);
    RefreshAlarmStatus(kAllAlarmParts);
    Pause(300);
    RefreshAlarmLimits();
    Pause(300);
    StartPolling();
}

void TfrmMR210D::RefreshGeneralSetting() {
    General general;
    std::string type, bits, integration;
    const bool ok = ReadGeneral(*module_, general) && module_->GetTypeCode(type) &&
                    module_->GetFormatBits10(bits) && module_->GetFormatBit7(integration);
    // A baud code outside the list shows nothing rather than a wrong choice.
    const int baud = static_cast<int>(HexOrZero(general.baudCode)) - 3;
    if (!ok || baud < 0 || baud >= cmbBaudRate->count()) {
        Status("Fail to fresh general setting data!");
        return;
    }
    ShowGeneral(general, QString::fromStdString(general.firmware));
    cmbTypeChangeAllCh->setCurrentIndex(RangeCodeToIndex(static_cast<int>(HexOrZero(type))));
    ShowDataFormat(bits);
    cmbIntegrationTime->setCurrentIndex(integration == "0" ? 0 : 1);
}

void TfrmMR210D::DelayForChangeType() {
    WaitWithIndicator(this, typeChangeDelayMs_);
}

void TfrmMR210D::EnableAlarmControls() {
    const int mode = cmbAlarmType->currentIndex();
    btClearAlarmLatch->setEnabled(mode == 2);
    for (QWidget* w : {static_cast<QWidget*>(btHighAlarmLimitUpdate),
                       static_cast<QWidget*>(btLowAlarmLimitUpdate),
                       static_cast<QWidget*>(edtHighLimt), static_cast<QWidget*>(edtLowLimt)})
        w->setEnabled(mode == 1 || mode == 2);
}

void TfrmMR210D::RefreshAlarmStatus(int parts) {
    std::string mode, dout, din;
    if (!module_->ReadAlarmStatus(mode, dout, din) || mode[0] > '2') {
        Status("Read Alarm Status error!!");
        return;
    }
    if (parts & kAlarmMode) {
        cmbAlarmType->setCurrentIndex(mode[0] - '0');
        EnableAlarmControls();
    }
    if (parts & kOutputs) {
        const unsigned outputs = HexOrZero(dout);
        for (int n = 0; n < model_.alarmOutputs; ++n) {
            const bool on = (outputs >> n) & 1;
            QPushButton* b = btDO[static_cast<std::size_t>(n)];
            SetLamp(b, on);
            SetTag(b, on ? 1 : 0);
        }
    }
    if (parts & kInput) SetLamp(btDI, HexOrZero(din) & 1);
}

void TfrmMR210D::RefreshAlarmLimits() {
    std::string low, high;
    if (!module_->ReadLowLimit(low) || !module_->ReadHighLimit(high)) {
        Status("Read Alarm Status error!!");
        return;
    }
    edtLowLimt->setText(ValueText(low));
    edtHighLimt->setText(ValueText(high));
}

// ---- Poll ----------------------------------------------------------------------------

bool TfrmMR210D::PollValue(bool plainText) {
    std::string value;
    if (!PollStatus(module_->ReadAll(value), "Read AI succeeded!!  ", "Read AI error!!    "))
        return false;
    ShowText(edtAI_Val, plainText ? QString::fromStdString(value) : ValueText(value));
    return true;
}

void TfrmMR210D::tmrUpdateAIDataTimer() {
    if (module_ && PollValue(false)) PollAfterValue();
}

void TfrmMR210D::PollAfterValue() {
    std::string count;
    bool ok = false;
    const qlonglong events =
        module_->ReadEventCounter(count) ? QString::fromStdString(count).toLongLong(&ok) : 0;
    if (!ok) {
        Status("Read Event Counter error!!");
        return;
    }
    ShowText(edtEventCounter, QString::number(events));
    RefreshAlarmStatus(kOutputs | kInput);
}

// ---- User operations -----------------------------------------------------------------

void TfrmMR210D::btSystemUpdateClick() {
    if (!module_) return;
    bool written = false;
    {
        Operation op(*this);
        int address = 0;
        if (ReadNewAddress(edtAddress_Dec->text(), address)) {
            const auto rangeCode = [this] {
                return RangeIndexToCode(cmbTypeChangeAllCh->currentIndex());
            };
            ConfigSteps steps;
            // Outside INIT the address and the range change; in INIT every field
            // is the user's and each must have been chosen.
            steps.ready = [this, rangeCode](bool initMode) {
                return rangeCode() >= 0 && (!initMode || (!SelectedBaudCode().empty() &&
                                                          cmbDataFormat->currentIndex() >= 0 &&
                                                          cmbIntegrationTime->currentIndex() >= 0));
            };
            steps.prepare = [this, rangeCode](bool initMode) {
                module_->SetTypeCode(Hex2(rangeCode()).toStdString());
                if (!initMode) return;
                module_->SetBaudCode(SelectedBaudCode());
                module_->SetFormatBit6(chkCheckSum->isChecked() ? '1' : '0');
                WriteDataFormat();
                module_->SetFormatBit7(cmbIntegrationTime->currentIndex() == 0 ? '0' : '1');
            };
            steps.pauseAfterReadsMs = 100;
            written = WriteGeneralSettings(address, {module_.get()}, steps) == ConfigWrite::Written;
        }
        // A refused address still waits and reads back.
        SetTypeChangeDelay();
        DelayForChangeType();
        RefreshGeneralSetting();
        // The box comes before the poll restarts, so no reading moves behind it.
        op.RestoreCursor();
        if (written) Information("Update general setting succeeded!");
    }
}

void TfrmMR210D::btAlarmTypeSettingUpdateClick() {
    if (!module_) return;
    bool ok = false;
    {
        Operation op(*this, btAlarmTypeSettingUpdate);
        switch (cmbAlarmType->currentIndex()) {
        case 0:
            ok = module_->DisableAlarm();
            break;
        case 1:
            ok = module_->EnableAlarm('M');
            break;
        case 2:
            ok = module_->EnableAlarm('L');
            break;
        default: // nothing chosen: nothing to send
            break;
        }
        if (!ok) Error("Setting Alarm Type error!!");
        Pause(300);
        RefreshAlarmStatus(kAllAlarmParts);
        Pause(300);
        RefreshAlarmLimits();
        Pause(300);
    }
    if (ok) Information("Update alarm type setting succeeded!");
}

void TfrmMR210D::UpdateAlarmLimit(bool high) {
    if (!module_) return;
    QPushButton* button = high ? btHighAlarmLimitUpdate : btLowAlarmLimitUpdate;
    const QString text = (high ? edtHighLimt : edtLowLimt)->text();
    const QString failure =
        high ? "Write High Alarm Value Failed!!" : "Write Low Alarm Value Failed!!";
    bool ok = false;
    {
        Operation op(*this, button);
        double value = 0.0;
        if (!ParsePlainDecimal(text, value)) {
            Error(failure);
        } else {
            RefreshGeneralSetting(); // the range decides the field's format
            Pause(100);
            std::string field;
            if (!FormatAlarmLimit(value, AlarmLimitFormat(cmbTypeChangeAllCh->currentIndex()),
                                  field)) {
                Error(failure);
            } else {
                ok = high ? module_->SetHighLimit(field) : module_->SetLowLimit(field);
                if (!ok) Error(failure);
            }
        }
        Pause(500);
        RefreshAlarmLimits();
        repaint();
    }
    EnableAlarmControls();
    if (ok)
        Information(high ? "Update hihg alarm limit value succeeded!"
                         : "Update low alarm limit value succeeded!");
}

void TfrmMR210D::btDOClick(int n) {
    // The outputs are the alarm's while it is enabled.
    if (!module_ || cmbAlarmType->currentIndex() != 0 || n < 0 || n >= model_.alarmOutputs) return;
    QPushButton* button = btDO[static_cast<std::size_t>(n)];
    Operation op(*this, button);
    button->setProperty("Tag", button->property("Tag").toInt() ^ 1);
    int value = 0;
    for (int i = 0; i < model_.alarmOutputs; ++i)
        value |= (btDO[static_cast<std::size_t>(i)]->property("Tag").toInt() & 1) << i;
    if (!module_->SetDO(value)) Error("Write Digital Output Failed!!");
    Pause(300);
    RefreshAlarmStatus(kOutputs);
}

void TfrmMR210D::btClearAlarmLatchClick() {
    if (!module_) return;
    bool ok = false;
    {
        Operation op(*this, btClearAlarmLatch);
        ok = module_->ClearAlarmLatch();
        if (!ok) Error("Clear Latch Alarm Error!!");
        Pause(300);
        RefreshAlarmStatus(kOutputs);
    }
    EnableAlarmControls();
    if (ok) Information("Update succeeded!");
}

void TfrmMR210D::btClearEventCounterClick() {
    if (!module_) return;
    bool ok = false;
    {
        Operation op(*this, btClearEventCounter);
        ok = module_->ClearEventCounter();
        if (!ok) Error("Clear Event Counter Error!!");
        Pause(300);
        RefreshAlarmStatus(kInput);
    }
    if (ok) Information("Update succeeded!");
}

void TfrmMR210D::Calibrate(bool zero) {
    if (!module_) return;
    const int range = cmbTypeChangeAllCh->currentIndex();
    TfrmCalib dialog(this);
    dialog.setWindowTitle(MainCaption() + (zero ? " Zero calibration" : " Span calibration"));
    dialog.SetMode(zero ? TfrmCalib::kZero : TfrmCalib::kSpan);
    dialog.SetInputText(zero ? ZeroCalibrationInput(range) : SpanCalibrationInput(range));
    GiveCalibrationObject(dialog);
    dialog.Run();
}

void TfrmMR210D::btCJCCalClick() {
    if (!module_) return;
    TfrmCJC dialog(this);
    dialog.setWindowTitle("Tavo-" + MainCaption() + " Cold Junction Compesation");
    dialog.SetSingleInput(module_.get());
    dialog.Run();
}

// ---- Settings file -------------------------------------------------------------------

void TfrmMR210D::SaveSettings() {
    SaveSettingsFile(this, MainCaption(), [this](SettingsWriter& w) {
        w.Line("BaudRate: ", cmbBaudRate->currentIndex());
        w.Line("checkSum: ", chkCheckSum->isChecked() ? "0" : "1");
        w.Line("Input Range: ", cmbTypeChangeAllCh->currentIndex());
        if (Shown(cmbDataFormat)) w.Line("Data Format: ", cmbDataFormat->currentIndex());
        if (Shown(cmbIntegrationTime))
            w.Line("Integration Time: ", cmbIntegrationTime->currentIndex());
        if (Shown(cmbAlarmType)) w.Line("Alarm Type: ", cmbAlarmType->currentIndex());
        if (Shown(edtHighLimt)) w.Line("High Alarm: ", edtHighLimt->text());
        if (Shown(edtLowLimt)) w.Line("Low Alarm: ", edtLowLimt->text());
    });
}

void TfrmMR210D::LoadSettings() {
    if (!module_) return;
    Operation op(*this);
    LoadSettingsFile(this, MainCaption(), [this](SettingsReader& r) { ReadSettings(r); });
}

void TfrmMR210D::ReadSettings(SettingsReader& r) {
    // Each group goes to the controls and the module only when all of its lines
    // were read; the first line that does not fit ends the load there.
    // The stored baud rate is read past, never applied: a module changes its baud
    // rate only in INIT, and then the user chooses it.
    r.Int("BaudRate: ");
    const auto checksum = ReadTickedFlag(r, "checkSum: ");
    const auto range = ReadListIndex(r, "Input Range: ", cmbTypeChangeAllCh);
    std::optional<int> format, integration;
    if (Shown(cmbDataFormat)) format = ReadListIndex(r, "Data Format: ", cmbDataFormat);
    if (Shown(cmbIntegrationTime))
        integration = ReadListIndex(r, "Integration Time: ", cmbIntegrationTime);
    if (!r.Matching()) return;
    chkCheckSum->setChecked(*checksum);
    cmbTypeChangeAllCh->setCurrentIndex(*range);
    if (format) cmbDataFormat->setCurrentIndex(*format);
    if (integration) cmbIntegrationTime->setCurrentIndex(*integration);
    btSystemUpdateClick();
    if (Shown(cmbAlarmType)) {
        const auto type = ReadListIndex(r, "Alarm Type: ", cmbAlarmType);
        if (!type) return;
        cmbAlarmType->setCurrentIndex(*type);
        btAlarmTypeSettingUpdateClick();
    }
    // A limit is taken only as the field itself would take it.
    const auto limit = [&r](const QString& key, QLineEdit* edit) {
        const auto value = r.Word(key);
        double number = 0.0;
        if (!value) return false;
        if (value->size() > edit->maxLength() || !ParsePlainDecimal(*value, number)) {
            r.Stop();
            return false;
        }
        edit->setText(*value);
        return true;
    };
    if (Shown(edtHighLimt)) {
        if (!limit("High Alarm: ", edtHighLimt)) return;
        btHighAlarmLimitUpdateClick();
    }
    if (Shown(edtLowLimt)) {
        if (!limit("Low Alarm: ", edtLowLimt)) return;
        btLowAlarmLimitUpdateClick();
    }
}

// ---- Members -------------------------------------------------------------------------

TfrmMR210::TfrmMR210(QWidget* parent) : TfrmMR210D(Model{"R210", RangeList::R210, 2}, parent) {}

std::unique_ptr<TavoMR210> TfrmMR210::MakeCommandObject(TavoComPort* port,
                                                        const std::string& address) const {
    return std::make_unique<TavoMR210>(port, address);
}

TfrmMR220::TfrmMR220(QWidget* parent) : TfrmMR220(Model{"R220", RangeList::R220, 2}, parent) {}

TfrmMR220::TfrmMR220(const Model& model, QWidget* parent) : TfrmMR210D(model, parent) {
    // No cold junction on these modules.
    btCJCCal->hide();
    SetTypeChangeDelayMs(5000);
}

QString TfrmMR220::ZeroCalibrationInput(int index) const {
    return index == 5 ? "0 mA" : "0 mV";
}

QString TfrmMR220::SpanCalibrationInput(int index) const {
    static const char* const kSpans[] = {"10V", "5V", "1V", "500mV", "150mV", "20mA"};
    return index >= 0 && index < 6 ? kSpans[index] : "##.###";
}

void TfrmMR220::SetTypeChangeDelay() {
    SetTypeChangeDelayMs(5000);
}

LimitFormat TfrmMR220::AlarmLimitFormat(int index) const {
    return R220LimitFormat(index);
}

std::unique_ptr<TavoMR210> TfrmMR220::MakeCommandObject(TavoComPort* port,
                                                        const std::string& address) const {
    return std::make_unique<TavoMR220>(port, address);
}

TfrmMR230::TfrmMR230(QWidget* parent) : TfrmMR220(Model{"R230", RangeList::R230, 2}, parent) {
    cmbDataFormat->setItemText(2, "Ohms");
    for (QWidget* group :
         {static_cast<QWidget*>(grpEventCounter), static_cast<QWidget*>(grpAlarmStatus),
          static_cast<QWidget*>(grpHighAlarmLimit), static_cast<QWidget*>(grpLowAlarmLimit),
          static_cast<QWidget*>(grpAlarmType)})
        Drop(group);
}

QString TfrmMR230::ZeroCalibrationInput(int index) const {
    return index <= 9 ? "60 ohms" : "0 ohms";
}

QString TfrmMR230::SpanCalibrationInput(int index) const {
    switch (index) {
    case 0:
    case 1:
    case 4:
    case 5:
        return "140 ohms";
    case 2:
    case 3:
    case 6:
    case 8:
    case 9:
        return "200 ohms";
    case 7:
        return "440 ohms";
    default:
        return "##.###";
    }
}

void TfrmMR230::WriteDataFormat() {
    // The third format of the RTD module reports ohms.
    static const char* const kBits[] = {"00", "01", "11"};
    const int i = cmbDataFormat->currentIndex();
    if (i >= 0 && i < 3) Module()->SetFormatBits10(kBits[i]);
}

void TfrmMR230::tmrUpdateAIDataTimer() {
    if (Module()) PollValue(true);
}

TfrmMR250::TfrmMR250(QWidget* parent) : TfrmMR210D(Model{"R250", RangeList::R250, 4}, parent) {
    btCJCCal->hide();
    Drop(grpEventCounter);

    grpAOData = new OutputValueGroup(" Excitation Output ", "grpAOData", grpModule,
                                     [this] { btnValueOutputClick(); });
    grpAOData->SetScale(OutputFormat::Engineering, kExcitationLimits);
    grpAOData->SetUnit("V");
    grpAOData->ShowReadBack(false);
    static const char* const kHints[4] = {"Down 1.000 V", "Down 0.100 V", "Up 0.100 V",
                                          "Up 1.000 V"};
    int tag = 0;
    for (QPushButton* b : {grpAOData->bitbtnLeftLeft, grpAOData->bitbtnLeft,
                           grpAOData->bitbtnRight, grpAOData->bitbtnRightRight})
        b->setToolTip(kHints[tag++]);
    connect(grpAOData->btnStartup, &QPushButton::clicked, this, [this] { btnStartupClick(); });
    MainLayout()->addWidget(grpAOData, 4, 0, 1, 2);

    grpAOCalibration = NamedGroup(" Calibration : ", "grpAOCalibration", grpModule);
    auto* calibration = new QVBoxLayout(grpAOCalibration);
    bitbtn0V = NamedButton("Trim for &0V", "bitbtn0V", grpAOCalibration);
    bitbtn10V = NamedButton("Trim for &10V", "bitbtn10V", grpAOCalibration);
    calibration->addWidget(bitbtn0V);
    calibration->addWidget(bitbtn10V);
    connect(bitbtn0V, &QPushButton::clicked, this, [this] { bitbtn0VClick(); });
    connect(bitbtn10V, &QPushButton::clicked, this, [this] { bitbtn10VClick(); });
    MainLayout()->addWidget(grpAOCalibration, 4, 2);
}

TfrmMR250::~TfrmMR250() {
    StopPolling();
    if (Port() && previousTimeOut_ > 0) Port()->SetTimeOut(previousTimeOut_);
}

void TfrmMR250::InitModule(const PanelContext& context) {
    if (context.port) {
        previousTimeOut_ = context.port->GetTimeOut();
        context.port->SetTimeOut(kReplyTimeOutMs);
    }
    TfrmMR210D::InitModule(context);
}

int TfrmMR250::R210Position(int index) const {
    return tavo::RangeCodeToIndex(RangeList::R210, RangeIndexToCode(index));
}

QString TfrmMR250::ZeroCalibrationInput(int index) const {
    return TfrmMR210D::ZeroCalibrationInput(R210Position(index));
}

QString TfrmMR250::SpanCalibrationInput(int index) const {
    return TfrmMR210D::SpanCalibrationInput(R210Position(index));
}

LimitFormat TfrmMR250::AlarmLimitFormat(int index) const {
    // Formats follow the range, not its place in this shorter list (the current
    // range is fifth here and seventh on the R210D).
    return DefaultLimitFormat(R210Position(index));
}

std::unique_ptr<TavoMR210> TfrmMR250::MakeCommandObject(TavoComPort* port,
                                                        const std::string& address) const {
    return std::make_unique<TavoMR250>(port, address);
}

TavoMR250* TfrmMR250::Excitation() const {
    // MakeCommandObject made it.
    return static_cast<TavoMR250*>(Module());
}

void TfrmMR250::PollAfterValue() {
    RefreshAlarmStatus(kOutputs);
    std::string reply;
    const auto text = Excitation()->ReadExcitation(reply)
                          ? PolledOutputText(reply, OutputFormat::Engineering)
                          : std::nullopt;
    if (!text) {
        Status("Fail to fresh AO data!");
        return;
    }
    grpAOData->edtLast_Val->setText(QString::fromStdString(*text));
    grpAOData->ShowPolledValue(*text);
}

void TfrmMR250::btnValueOutputClick() {
    if (!Module()) return;
    Operation op(*this);
    OutputRefusal refusal = OutputRefusal::None;
    const auto value =
        ParseOutputValue(grpAOData->edtAO_Val->text().trimmed().toStdString(),
                         OutputFormat::Engineering, kExcitationLimits, refusal);
    if (!value) {
        if (refusal == OutputRefusal::OutOfRange)
            Error("The data should be in the range between 0.0~10.0!");
        else
            Error("The input data is invalid!");
        return;
    }
    grpAOData->trabAOVal->setValue(value->position);
    if (!Excitation()->SetExcitation(OutputField(*value, OutputFormat::Engineering)))
        Error("Write AO Failed!");
}

void TfrmMR250::btnStartupClick() {
    if (!Module()) return;
    bool ok = false;
    {
        Operation op(*this, grpAOData->btnStartup);
        ok = Excitation()->SetStartupExcitation();
        if (!ok) Error("Write Start Output Config Failed!");
    }
    if (ok) Information("Update succeeded!");
}

void TfrmMR250::CalibrateOutput(bool zero) {
    if (!Module()) return;
    Operation op(*this);
    TfrmMAOCalib dialog(this);
    dialog.setWindowTitle(MainCaption() + (zero ? " 0V Calibration" : " 10V Calibration"));
    dialog.SetMode(zero ? TfrmMAOCalib::k0V : TfrmMAOCalib::k10V);
    dialog.SetR250Output(Excitation());
    dialog.Run();
}

void TfrmMR250::GiveCalibrationObject(TfrmCalib& dialog) {
    dialog.SetInput(Module());
}

} // namespace tavo
