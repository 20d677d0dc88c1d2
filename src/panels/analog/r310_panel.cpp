#include "r310_panel.h"

#include "calib_dialogs.h"
#include "output_value_group.h"

#include "panels/common/form_controls.h"
#include "panels/common/settings_file.h"

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
#include <QTimer>
#include <QVBoxLayout>

namespace tavo {
namespace {

const QStringList kDataFormats = {"Engineering Units", "% FSR", "Two Completed of Hex"};
const char* const kFormatBits[] = {"00", "01", "10"};

QComboBox* Unselected(const char* name, const QStringList& items, QWidget* parent) {
    auto* combo = NamedCombo(name, items, parent);
    // Nothing is selected until the module has been read, so an Update can never
    // send a choice nobody made.
    combo->setCurrentIndex(-1);
    return combo;
}

int FormatItem(const std::string& bits) {
    return bits == "00" ? 0 : bits == "01" ? 1 : 2;
}

} // namespace

const QStringList& R310SlewRateItems(bool volts) {
    static const QStringList kVolts = {
        "immediately", "0.0625  V/sec", "0.0125  V/sec", "0.025  V/sec", "0.5  V/sec",
        "1.0  V/sec",  "2.0  V/sec",    "4.0  V/sec",    "8.0  V/sec",   "16.0  V/sec",
        "32.0  V/sec", "64.0  V/sec"};
    static const QStringList kCurrent = {
        "immediately", "0.125  mA/sec", "0.25  mA/sec", "0.5  mA/sec",  "1.0  mA/sec",
        "2.0  mA/sec", "4.0  mA/sec",   "8.0  mA/sec",  "16.0  mA/sec", "32.0  mA/sec",
        "64.0  mA/sec", "128.0  mA/sec"};
    return volts ? kVolts : kCurrent;
}

const QStringList& R330SlewRateItems() {
    static const QStringList kItems = {
        "immediately",  "0.0625V/0.125mA", "0.0125V/0.25mA", "0.025V/0.5mA",
        "0.5V/1.0mA",   "1.0V/2.0mA",      "2.0V/4.0mA",     "4.0V/8.0mA",
        "8.0V/16.0mA",  "16.0V/32.0mA",    "32.0V/64.0mA",   "64.0V/128.0mA"};
    return kItems;
}

TfrmMR310::TfrmMR310(QWidget* parent) : GeneralSettingsPanel(parent) {
    setObjectName("TfrmMR310");
    BuildForm();
    connect(MakePollTimer("tmrUpdateAOData", 500), &QTimer::timeout, this,
            [this] { tmrUpdateAODataTimer(); });
}

TfrmMR310::~TfrmMR310() {
    StopPolling();
}

void TfrmMR310::BuildForm() {
    QVBoxLayout* main = AddMainGroup("R310");
    layout()->setContentsMargins(0, 0, 0, 0);
    static_cast<QVBoxLayout*>(layout())->addStretch();
    auto* columns = new QHBoxLayout;
    main->addLayout(columns);

    grpGeneralSetting = NamedGroup(" General Setting ", "grpGeneralSetting", grpModule);
    auto* general = new QGridLayout(grpGeneralSetting);
    int row = 0;
    GeneralRows rows;
    rows.onAddressEnter = [this] { btSystemUpdateClick(); };
    AddGeneralControls(general, row, rows);
    const auto addRow = [&](const QString& caption, QComboBox* combo) {
        general->addWidget(CaptionLabel(caption, grpGeneralSetting, combo), row, 0);
        general->addWidget(combo, row++, 1);
    };
    cmbDataFormat = Unselected("cmbDataFormat", kDataFormats, grpGeneralSetting);
    addRow("Data Format :", cmbDataFormat);
    QStringList ranges;
    for (const RangeItem& item : RangeItems(RangeList::R310Output))
        ranges << item.text;
    cmbTypeChangeAllCh = Unselected("cmbTypeChangeAllCh", ranges, grpGeneralSetting);
    addRow("Output Range :", cmbTypeChangeAllCh);
    cmbSlewRate = Unselected("cmbSlewRate", R310SlewRateItems(false), grpGeneralSetting);
    addRow("Slew Rate :  ", cmbSlewRate);
    btSystemUpdate = NamedButton("&Update", "btSystemUpdate", grpGeneralSetting);
    general->addWidget(btSystemUpdate, row++, 1, Qt::AlignRight);
    connect(btSystemUpdate, &QPushButton::clicked, this, [this] { btSystemUpdateClick(); });
    // The unit labels and the read-back follow the range the user picks.
    connect(cmbTypeChangeAllCh, &QComboBox::currentIndexChanged, this,
            [this](int item) { ShowRange(item); });
    columns->addWidget(grpGeneralSetting);

    auto* right = new QVBoxLayout;
    columns->addLayout(right);
    grpCalibration = NamedGroup(" Calibration : ", "grpCalibration", grpModule);
    auto* calibration = new QHBoxLayout(grpCalibration);
    bitbtn4mA0 = NamedButton("Trim for &4mA", "bitbtn4mA0", grpCalibration);
    bitbtn20mA0 = NamedButton("Trim for &20mA", "bitbtn20mA0", grpCalibration);
    calibration->addWidget(bitbtn4mA0);
    calibration->addWidget(bitbtn20mA0);
    connect(bitbtn4mA0, &QPushButton::clicked, this, [this] { bitbtn4mA0Click(); });
    connect(bitbtn20mA0, &QPushButton::clicked, this, [this] { bitbtn20mA0Click(); });
    right->addWidget(grpCalibration);

    grpDataArea = new OutputValueGroup(" Data Area ", "grpDataArea", grpModule,
                                       [this] { btnValueOutputClick(); });
    connect(grpDataArea->btnStartup, &QPushButton::clicked, this, [this] { btnStartupClick(); });
    right->addWidget(grpDataArea);
    right->addStretch();
}

QString TfrmMR310::MainCaption() const {
    return grpModule->title();
}

// ---- Start and refresh ---------------------------------------------------------------

void TfrmMR310::InitModule(const PanelContext& context) {
    Bind(context);
    EnableInitControls();
    // Data format and slew rate are written only with the INIT jumper set.
    cmbDataFormat->setEnabled(InitMode());
    cmbSlewRate->setEnabled(InitMode());
    module_ = std::make_unique<TavoMR310>(Port(), WireAddress());
    RefreshGeneral();
    StartPolling();
}

void TfrmMR310::RefreshGeneral() {
    General general;
    std::string type, bits10, bits52;
    const bool ok = ReadGeneral(*module_, general) && module_->GetTypeCode(type) &&
                    module_->GetFormatBits10(bits10) && module_->GetFormatBits52(bits52);
    const int baud = static_cast<int>(HexOrZero(general.baudCode)) - 3;
    if (!ok || baud < 0 || baud >= cmbBaudRate->count()) {
        Status("Fail to fresh general setting data!");
        return;
    }
    ShowGeneral(general, QString::fromStdString(general.firmware));
    // A code outside the list shows the first range.
    const int code = static_cast<int>(HexOrZero(type));
    const int range = code >= 0x30 && code <= 0x32 ? code - 0x30 : 0;
    cmbTypeChangeAllCh->setCurrentIndex(range);
    ShowRange(range);
    cmbDataFormat->setCurrentIndex(FormatItem(bits10));
    ShowScale();
    const int slew = SlewCode(bits52);
    cmbSlewRate->setCurrentIndex(slew < cmbSlewRate->count() ? slew : -1);
}

void TfrmMR310::ShowRange(int rangeItem) {
    const bool volts = rangeItem == 2;
    grpDataArea->SetUnit(volts ? "V" : "mA");
    grpDataArea->ShowReadBack(!volts);
    const QStringList& items = R310SlewRateItems(volts);
    if (cmbSlewRate->itemText(1) == items[1]) return;
    const int selected = cmbSlewRate->currentIndex();
    cmbSlewRate->clear();
    cmbSlewRate->addItems(items);
    cmbSlewRate->setCurrentIndex(selected);
}

void TfrmMR310::ShowScale() {
    // The scale is the module's: its data format and range as last read.
    std::string bits10;
    module_->GetFormatBits10(bits10);
    const OutputFormat format = OutputFormatOf(bits10);
    const int code = static_cast<int>(HexOrZero(module_->TypeCode()));
    grpDataArea->SetScale(format, R310TrackLimits(format, code - 0x30));
}

// ---- Poll ----------------------------------------------------------------------------

void TfrmMR310::tmrUpdateAODataTimer() {
    if (!module_) return;
    std::string last, back, bits10;
    bool ok = module_->ReadLastOutput(last) && module_->ReadReadback(back) &&
              module_->GetFormatBits10(bits10);
    const OutputFormat format = OutputFormatOf(bits10);
    // A reply that is no number of the module's format is a failed poll: nothing
    // is shown for it.
    const auto lastText = ok ? PolledOutputText(last, format) : std::nullopt;
    const auto backText = ok ? PolledOutputText(back, format) : std::nullopt;
    ok = ok && lastText && backText;
    if (!PollStatus(ok, "Polling AO Data....  ", "Fail to fresh AO data!")) return;
    grpDataArea->edtLast_Val->setText(QString::fromStdString(*lastText));
    grpDataArea->edtAO_CurrentReadBak->setText(QString::fromStdString(*backText));
    grpDataArea->ShowPolledValue(*lastText);
}

// ---- User operations -----------------------------------------------------------------

void TfrmMR310::btnValueOutputClick() {
    if (!module_) return;
    Operation op(*this);
    const OutputFormat format = grpDataArea->Format();
    const TrackLimits limits = grpDataArea->Limits();
    OutputRefusal refusal = OutputRefusal::None;
    const auto value = ParseOutputValue(grpDataArea->edtAO_Val->text().trimmed().toStdString(),
                                        format, limits, refusal);
    if (!value) {
        if (refusal == OutputRefusal::OutOfRange)
            Error(QString::asprintf("The data should be in the range between %.1f~%.1f!",
                                    LimitValue(limits.min, format), LimitValue(limits.max, format)));
        else
            Error("The input data is invalid!");
        return;
    }
    grpDataArea->trabAOVal->setValue(value->position);
    if (!module_->WriteOutput(OutputField(*value, format))) Error("Write AO Failed!");
}

void TfrmMR310::btnStartupClick() {
    if (!module_) return;
    bool ok = false;
    {
        Operation op(*this, grpDataArea->btnStartup);
        ok = module_->SetStartupToCurrent();
        if (!ok) Error("Write Start Output Config Failed!");
    }
    if (ok) Information("Update succeeded!");
}

void TfrmMR310::Calibrate(bool fourMilliamperes) {
    if (!module_) return;
    Operation op(*this);
    TfrmMAOCalib dialog(this);
    dialog.setWindowTitle(MainCaption() +
                          (fourMilliamperes ? " 4mA Calibration" : " 20mA Calibration"));
    dialog.SetMode(fourMilliamperes ? TfrmMAOCalib::k4mA : TfrmMAOCalib::k20mA);
    dialog.SetR310(module_.get());
    dialog.Run();
}

void TfrmMR310::btSystemUpdateClick() {
    if (!module_) return;
    bool written = false;
    {
        Operation op(*this);
        int address = 0;
        if (ReadNewAddress(edtAddress_Dec->text(), address)) {
            ConfigSteps steps;
            // Outside INIT the address and the range change; in INIT every field
            // is the user's and each must have been chosen.
            steps.ready = [this](bool initMode) {
                return cmbTypeChangeAllCh->currentIndex() >= 0 &&
                       (!initMode || (!SelectedBaudCode().empty() &&
                                      cmbDataFormat->currentIndex() >= 0 &&
                                      cmbSlewRate->currentIndex() >= 0));
            };
            steps.prepare = [this](bool initMode) {
                module_->SetTypeCode(Hex2(0x30 + cmbTypeChangeAllCh->currentIndex()).toStdString());
                if (!initMode) return;
                module_->SetBaudCode(SelectedBaudCode());
                module_->SetFormatBit6(chkCheckSum->isChecked() ? '1' : '0');
                module_->SetFormatBits52(SlewBits(cmbSlewRate->currentIndex()));
                module_->SetFormatBits10(kFormatBits[cmbDataFormat->currentIndex()]);
            };
            steps.pauseAfterReadsMs = 100;
            written = WriteGeneralSettings(address, {module_.get()}, steps) == ConfigWrite::Written;
        }
        Pause(1000);
        RefreshGeneral();
    }
    if (written) Information("Update succeeded!");
}

// ---- Settings file -------------------------------------------------------------------

void TfrmMR310::SaveSettings() {
    SaveSettingsFile(this, MainCaption(), [this](SettingsWriter& w) {
        w.Line("checkSum: ", TickedFlag(chkCheckSum->isChecked()));
        w.Line("Input Range: ", cmbTypeChangeAllCh->currentIndex());
        w.Line("Data Format: ", cmbDataFormat->currentIndex());
        w.Line("Slew Rate: ", cmbSlewRate->currentIndex());
    });
}

void TfrmMR310::LoadSettings() {
    if (!module_) return;
    Operation op(*this);
    LoadSettingsFile(this, MainCaption(), [this](SettingsReader& r) { ReadSettings(r); });
}

bool TfrmMR310::ReadSettings(SettingsReader& r) {
    // All four lines or nothing: a broken file never sends a value it did not hold.
    const auto checksum = ReadTickedFlag(r, "checkSum: ");
    const auto range = ReadListIndex(r, "Input Range: ", cmbTypeChangeAllCh);
    const auto format = ReadListIndex(r, "Data Format: ", cmbDataFormat);
    // The slew list of the file's range, which is the one the Update writes with.
    std::optional<int> slew;
    if (range) {
        cmbTypeChangeAllCh->setCurrentIndex(*range);
        slew = ReadListIndex(r, "Slew Rate: ", cmbSlewRate);
    }
    if (!r.Matching()) {
        RefreshGeneral();
        return false;
    }
    chkCheckSum->setChecked(*checksum);
    cmbDataFormat->setCurrentIndex(*format);
    cmbSlewRate->setCurrentIndex(*slew);
    btSystemUpdateClick();
    return true;
}

} // namespace tavo
