#include "digital_io_panels.h"

#include "panels/common/edit_controls.h"
#include "panels/common/form_controls.h"
#include "panels/common/modbus_panel.h"
#include "panels/common/settings_file.h"

#include "devices/hex_codes.h"
#include "devices/models_digital.h"

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

QString DoCaption(int n) {
    return QString("DO %1").arg(n);
}

// Tenths of a second as the time-out field shows them ("6553.5").
QString TenthsText(std::uint32_t tenths) {
    return QString("%1.%2").arg(tenths / 10).arg(tenths % 10);
}

} // namespace

// ---------------------------------------------------------------- R550 (base)

TfrmMR550::TfrmMR550(QWidget* parent) : TfrmMR550(parent, "R550") {}

TfrmMR550::TfrmMR550(QWidget* parent, const QString& model, DigitalProtocol protocol)
    : GeneralSettingsPanel(parent), protocol_(protocol), model_(model.toStdString()) {
    BuildForm(Modbus() ? model + " Modbus" : model);
}

TfrmMR550::~TfrmMR550() {
    StopPolling();
}

void TfrmMR550::BuildForm(const QString& model) {
    auto* main = AddMainGroup(model);

    auto* upper = new QHBoxLayout;
    main->addLayout(upper);
    auto* general = new QWidget(grpModule);
    auto* grid = new QGridLayout(general);
    int row = 0;
    AddGeneralControls(grid, row);
    lblProtocol = NamedLabel("Protocol :", "lblProtocol", general);
    cmbPotocolSelect = new QComboBox(general);
    cmbPotocolSelect->setObjectName("cmbPotocolSelect");
    cmbPotocolSelect->addItems({"CORVANETH", "MODBUS"});
    grid->addWidget(lblProtocol, row, 0);
    grid->addWidget(cmbPotocolSelect, row++, 1);
    btSystemUpdate = NamedButton("&Update", "btSystemUpdate", general);
    grid->addWidget(btSystemUpdate, row++, 1);
    connect(btSystemUpdate, &QPushButton::clicked, this, [this] { btSystemUpdateClick(); });
    upper->addWidget(general);

    grpSafe = NamedGroup(" Comm. Fail Safe Value ", "grpSafe", grpModule);
    auto* safe = new QGridLayout(grpSafe);
    for (int n = 0; n < kMaxOutputs; ++n) {
        auto* b = NamedButton(DoCaption(n), QString("bitbtnSafeDO%1").arg(n), grpSafe);
        SetLamp(b, false);
        connect(b, &QPushButton::clicked, this, [this, n] { bitbtnSafeDO0Click(n); });
        safe->addWidget(b, n / 4, n % 4);
        b->setVisible(n < 8);
        bitbtnSafeDO[static_cast<std::size_t>(n)] = b;
    }
    edtTimeoutSetting = new QLineEdit("0.0", grpSafe);
    edtTimeoutSetting->setObjectName("edtTimeoutSetting");
    edtTimeoutSetting->setToolTip("0.0~6553.5");
    edtTimeoutSetting->setMaxLength(6);
    FilterKeys(edtTimeoutSetting, kUnsignedDecimalKeys, [this] { btSafeSettingUpdateClick(); });
    btSafeSettingUpdate = NamedButton("&Update", "btSafeSettingUpdate", grpSafe);
    connect(btSafeSettingUpdate, &QPushButton::clicked, this,
            [this] { btSafeSettingUpdateClick(); });
    auto* timeout = new QHBoxLayout;
    timeout->addWidget(new QLabel("Timeout :", grpSafe));
    timeout->addWidget(edtTimeoutSetting);
    timeout->addWidget(new QLabel("Sec", grpSafe));
    timeout->addWidget(btSafeSettingUpdate);
    safe->addLayout(timeout, 3, 0, 1, 4);
    upper->addWidget(grpSafe);

    PageControl1 = Named(new QTabWidget(grpModule), "PageControl1");
    auto* lower = new QHBoxLayout;
    main->addLayout(lower);
    lower->addWidget(PageControl1, 1);
    if (Modbus()) {
        grpModbusMapping = AddModbusMapGroup(grpModule, lstviewModbus);
        lower->addWidget(grpModbusMapping);
        // The module's settings are only shown: the Modbus side cannot change them.
        MakeGeneralReadOnly();
        cmbPotocolSelect->setCurrentIndex(1);
        cmbPotocolSelect->setEnabled(false);
        btSystemUpdate->setEnabled(false);
        grpSafe->hide();
    }
    TSData = AddPage(PageControl1, "TSData", "Data");
    auto* dataPage = new QVBoxLayout(TSData);
    auto* dataArea = new QGroupBox(" Data Area ", TSData);
    dataPage->addWidget(dataArea);
    auto* dataRows = new QVBoxLayout(dataArea);

    grpDI = new QGroupBox(dataArea);
    grpDI->setObjectName("grpDI");
    auto* di = new QGridLayout(grpDI);
    for (int n = 0; n < kMaxInputs; ++n) {
        auto* b = NamedButton(QString("DI %1").arg(n), QString("bitbtnDI%1").arg(n), grpDI);
        b->setFocusPolicy(Qt::NoFocus);
        SetLamp(b, false);
        di->addWidget(b, 0, n);
        bitbtnDI[static_cast<std::size_t>(n)] = b;
    }
    lblDIHex = NamedLabel("Digital Input(Hex)", "lblDIHex", grpDI);
    edtDI_Hex = NamedEdit("edtDI_Hex", grpDI);
    edtDI_Hex->setReadOnly(true);
    di->addWidget(lblDIHex, 1, 0, 1, 3);
    di->addWidget(edtDI_Hex, 1, 3, 1, 2);
    dataRows->addWidget(grpDI);

    grpDO = new QGroupBox(dataArea);
    grpDO->setObjectName("grpDO");
    auto* outputs = new QGridLayout(grpDO);
    for (int n = 0; n < kMaxOutputs; ++n) {
        auto* b = NamedButton(DoCaption(n), QString("bitbtnDO%1").arg(n), grpDO);
        SetLamp(b, false);
        connect(b, &QPushButton::clicked, this, [this, n] { bitbtnDO0Click(n); });
        outputs->addWidget(b, n / 8, n % 8);
        b->setVisible(n < 8);
        bitbtnDO[static_cast<std::size_t>(n)] = b;
    }
    lblDOHex = NamedLabel("Digital Output(Hex)", "lblDOHex", grpDO);
    edtDO_Hex = NamedEdit("edtDO_Hex", grpDO);
    edtDO_Hex->setReadOnly(true);
    lblDOHighHex = NamedLabel("High Byte(Hex)", "lblDOHighHex", grpDO);
    edtDOHigh_Hex = NamedEdit("edtDOHigh_Hex", grpDO);
    edtDOHigh_Hex->setReadOnly(true);
    lblDOHighHex->hide();
    edtDOHigh_Hex->hide();
    outputs->addWidget(lblDOHighHex, 2, 0, 1, 3);
    outputs->addWidget(edtDOHigh_Hex, 2, 3, 1, 2);
    outputs->addWidget(lblDOHex, 3, 0, 1, 3);
    outputs->addWidget(edtDO_Hex, 3, 3, 1, 2);
    dataRows->addWidget(grpDO);

    TSInvert = AddPage(PageControl1, "TSInvert", "DI Invert");
    auto* invert = new QGridLayout(TSInvert);
    for (int n = 0; n < 16; ++n) {
        auto* box = new QCheckBox(QString("Ch %1").arg(n), TSInvert);
        box->setObjectName(QString("chkCh%1").arg(n));
        invert->addWidget(box, n / 8, n % 8);
        chkCh[static_cast<std::size_t>(n)] = box;
    }
    btInvertUpdate = NamedButton("&Update", "btInvertUpdate", TSInvert);
    btInvertRefresh = NamedButton("&Refresh", "btInvertRefresh", TSInvert);
    invert->addWidget(btInvertUpdate, 2, 6);
    invert->addWidget(btInvertRefresh, 2, 7);
    PageControl1->setTabVisible(PageControl1->indexOf(TSInvert), false);

    tmrUpdateDIData = MakePollTimer("tmrUpdateDIData", 500);
    connect(tmrUpdateDIData, &QTimer::timeout, this, [this] { tmrUpdateDIDataTimer(); });
}

std::vector<TavoRBase*> TfrmMR550::Objects() const {
    std::vector<TavoRBase*> all = {mr550_.get(), mr560_.get()};
    all.insert(all.end(), extra_.begin(), extra_.end());
    return all;
}

TavoRDigitalInput& TfrmMR550::StateReader() {
    return *mr550_;
}

void TfrmMR550::InitModule(const PanelContext& context) {
    Bind(context);
    if (!Modbus()) {
        EnableInitControls();
        cmbPotocolSelect->setEnabled(InitMode());
    }
    const std::string address = WireAddress();
    mr550_ = std::make_unique<TavoMR550>(Port(), address);
    mr560_ = std::make_unique<TavoMR560>(Port(), address);
    CreateExtraObjects(address);
    link_ = Modbus() ? MakeModbusDigitalLink(model_, *mr550_, address)
                     : MakeAsciiDigitalLink(model_, StateReader(), *mr550_, *mr560_);
    tmrUpdateDIData->setInterval(link_->PollIntervalMs());
    if (lstviewModbus) {
        lstviewModbus->clear();
        lstviewModbus->AddCoils(kFirstInputCoil, DIChannelCount(), "DI CH:");
        lstviewModbus->AddCoils(kFirstOutputCoil, DOChannelCount(), "DO CH:");
    }
    RefreshGeneral();
    RefreshExtra();
    StartPolling();
}

QString TfrmMR550::FirmwareText(const std::string& firmware) const {
    return QString::fromStdString(firmware).left(6);
}

void TfrmMR550::RefreshGeneral() {
    if (!link_->Configurable()) {
        // Address and baud rate as the node and the port say; the firmware field
        // stays empty when its register cannot be read.
        std::string firmware;
        generalRead_ = link_->ReadFirmware(firmware);
        ShowReadOnlyGeneral(generalRead_ ? std::optional(FirmwareText(firmware)) : std::nullopt);
        cmbPotocolSelect->setCurrentIndex(1);
        return;
    }
    General general;
    generalRead_ = ReadGeneral(*mr550_, general);
    if (generalRead_)
        ShowGeneral(general, FirmwareText(general.firmware));
    else
        Status("Fail to fresh general setting data!");
    if (!ReadSafeValue() || !ReadProtocol()) Status("Fail to fresh Safety setting data!");
}

bool TfrmMR550::ReadSafeValue() {
    std::string timeout, value;
    if (!mr550_->ReadSafety(timeout, value)) return false;
    const auto tenths = HexValue(timeout);
    const auto mask = HexValue(value);
    if (!tenths || !mask) return false;
    edtTimeoutSetting->setText(TenthsText(*tenths));
    // Bits beyond the outputs could never be written back in the value's digits.
    safeValue_ = *mask & SafeValueMask();
    ShowSafeValue();
    return true;
}

void TfrmMR550::ShowSafeValue() {
    for (int n = 0; n < DOChannelCount(); ++n)
        SetLamp(bitbtnSafeDO[static_cast<std::size_t>(n)], (safeValue_ >> n) & 1);
}

bool TfrmMR550::ReadProtocol() {
    std::string bit;
    if (!mr550_->GetProtocolBit(bit)) return false;
    cmbPotocolSelect->setCurrentIndex(bit == "1" ? 1 : 0);
    return true;
}

void TfrmMR550::WriteProtocol() {
    mr550_->SetProtocolBit(cmbPotocolSelect->currentIndex() == 1 ? '1' : '0');
}

void TfrmMR550::ShowOutputs(unsigned outputs, int count) {
    for (int n = 0; n < count; ++n) {
        QPushButton* b = bitbtnDO[static_cast<std::size_t>(n)];
        // A group tripped by over-current keeps showing its fault.
        if (b->text() == "Fail") continue;
        const int on = (outputs >> n) & 1;
        SetLamp(b, on);
        outputState_[static_cast<std::size_t>(n)] = on;
    }
}

void TfrmMR550::ShowInputs(unsigned inputs, int count) {
    for (int n = 0; n < count && n < kMaxInputs; ++n)
        SetLamp(bitbtnDI[static_cast<std::size_t>(n)], (inputs >> n) & 1);
}

void TfrmMR550::RefreshData() {
    DioReading reading;
    const bool ok = link_->Poll(NextHeartbeat(), PollsFaults(), reading);
    if (reading.faults) ShowFaults(*reading.faults);
    ShowOnMap(reading, ok);
    if (!PollStatus(ok, link_->PollingText(), link_->PollFailedText())) return;
    ShowReading(reading);
}

void TfrmMR550::ShowReading(const DioReading& reading) {
    if (reading.outputs) {
        ShowOutputs(*reading.outputs, DOChannelCount());
        ShowText(edtDO_Hex, "0x" + QString::fromStdString(reading.outputDigits));
    }
    if (reading.inputs) {
        ShowInputs(*reading.inputs, DIChannelCount());
        ShowText(edtDI_Hex, "0x" + QString::fromStdString(reading.inputDigits));
    }
}

// The list says "*****" for a group whose read failed: its last values are no
// longer known to be true.
void TfrmMR550::ShowOnMap(const DioReading& reading, bool ok) {
    if (!lstviewModbus) return;
    const auto show = [this, ok](bool asked, const std::optional<unsigned>& bits, int first,
                                 int count) {
        if (!asked) return;
        if (ok && bits)
            lstviewModbus->ShowCoils(first, count, *bits);
        else
            lstviewModbus->FailCoils(first, count);
    };
    show(reading.asked & DioReading::kOutputs, reading.outputs, kFirstOutputCoil, DOChannelCount());
    show(reading.asked & DioReading::kInputs, reading.inputs, kFirstInputCoil, DIChannelCount());
}

void TfrmMR550::tmrUpdateDIDataTimer() {
    if (link_) RefreshData();
}

bool TfrmMR550::WriteSafeValue(unsigned timeoutTenths, unsigned value) {
    return mr550_->SetSafety(timeoutTenths, value, 2);
}

void TfrmMR550::bitbtnDO0Click(int channel) {
    if (!link_ || channel < 0 || channel >= DOChannelCount()) return;
    Operation op(*this);
    // Toggles what the last poll saw: a failed write changes nothing, so the
    // next click asks for the same value again.
    const bool on = outputState_[static_cast<std::size_t>(channel)] == 0;
    if (link_->WriteOutput(channel, on)) {
        // A poll in turns then reads the outputs.
        if (link_->ReadsInTurns()) SetHeartbeat(0);
        RefreshData();
    } else {
        Status("Fail to set DO!");
    }
}

void TfrmMR550::bitbtnSafeDO0Click(int channel) {
    if (channel < 0 || channel >= DOChannelCount()) return;
    safeValue_ ^= 1u << channel;
    SetLamp(bitbtnSafeDO[static_cast<std::size_t>(channel)], (safeValue_ >> channel) & 1);
}

void TfrmMR550::btSafeSettingUpdateClick() {
    if (!link_ || !link_->Configurable()) return;
    Operation op(*this);
    const auto tenths = ParseTenths(edtTimeoutSetting->text(), 65535);
    if (!tenths || *tenths > 65535) {
        Error("The timeout Value must be between 0.0 and 6553.5!");
        return;
    }
    if (WriteSafeValue(static_cast<unsigned>(*tenths), safeValue_ & SafeValueMask()))
        Information("Update succeeded!");
    else
        Error("Write Safety Value failed!");
    if (!ReadSafeValue()) Status("Fail to fresh Safety setting data!");
}

void TfrmMR550::btSystemUpdateClick() {
    if (!link_ || !link_->Configurable()) return;
    Operation op(*this);
    int address = 0;
    if (!ReadNewAddress(edtAddress_Dec->text(), address)) return;
    ConfigSteps steps;
    steps.ready = [this](bool initMode) {
        return !initMode || (!SelectedBaudCode().empty() && CanWriteConfiguration());
    };
    steps.prepare = [this](bool initMode) {
        if (!initMode) return; // only the address changes
        mr550_->SetBaudCode(SelectedBaudCode());
        mr550_->SetFormatBit6(chkCheckSum->isChecked() ? '1' : '0');
        WriteProtocol();
    };
    if (WriteGeneralSettings(address, Objects(), steps) == ConfigWrite::Written)
        Information("Update succeeded!");
    RefreshGeneral();
}

void TfrmMR550::SaveSettings() {
    if (!HasSettingsFile()) return;
    SaveSettingsFile(this, grpModule->title(), [this](SettingsWriter& w) {
        w.Line("BaudRate: ", cmbBaudRate->currentIndex());
        w.Line("checkSum: ", TickedFlag(chkCheckSum->isChecked()));
        if (!cmbPotocolSelect->isHidden()) w.Line("Potocol: ", cmbPotocolSelect->currentIndex());
    });
}

void TfrmMR550::LoadSettings() {
    if (!link_ || !HasSettingsFile()) return;
    Operation op(*this);
    LoadSettingsFile(this, grpModule->title(), [this](SettingsReader& r) { ApplySettingsFile(r); });
}

void TfrmMR550::ApplySettingsFile(SettingsReader& reader) {
    // Nothing is applied unless every line was read: a broken file never sends
    // a value the panel did not read from it.
    const auto baud = ReadListIndex(reader, "BaudRate: ", cmbBaudRate);
    if (!baud) return;
    const auto checksum = ReadTickedFlag(reader, "checkSum: ");
    if (!checksum) return;
    std::optional<int> protocol;
    if (!cmbPotocolSelect->isHidden()) {
        protocol = ReadListIndex(reader, "Potocol: ", cmbPotocolSelect);
        if (!protocol) return;
    }
    cmbBaudRate->setCurrentIndex(*baud);
    chkCheckSum->setChecked(*checksum);
    if (protocol) cmbPotocolSelect->setCurrentIndex(*protocol);
    btSystemUpdateClick();
}

// ---------------------------------------------------------------- R510

TfrmMR510::TfrmMR510(QWidget* parent) : TfrmMR510(parent, "R510") {}

TfrmMR510::TfrmMR510(QWidget* parent, const QString& model) : TfrmMR550(parent, model) {
    bitbtnDI[7]->hide();
    lblProtocol->hide();
    cmbPotocolSelect->hide();
}

bool TfrmMR510::ReadProtocol() {
    cmbPotocolSelect->setCurrentIndex(0);
    return true;
}

// ---------------------------------------------------------------- R530

TfrmMR530::TfrmMR530(QWidget* parent) : TfrmMR550(parent, "R530") {
    grpDO->hide();
    grpSafe->hide();
    lblProtocol->hide();
    cmbPotocolSelect->hide();
}

TfrmMR530::~TfrmMR530() = default;

void TfrmMR530::CreateExtraObjects(const std::string& address) {
    mr530_ = std::make_unique<TavoMR530>(Port(), address);
    extra_ = {mr530_.get()};
}

TavoRDigitalInput& TfrmMR530::StateReader() {
    return *mr530_;
}

// ---------------------------------------------------------------- R540

TfrmMR540::TfrmMR540(QWidget* parent) : TfrmMR540(parent, "R540") {}

TfrmMR540::TfrmMR540(QWidget* parent, const QString& model, DigitalProtocol protocol)
    : TfrmMR550(parent, model, protocol) {
    grpSafe->hide();
    lblProtocol->hide();
    cmbPotocolSelect->hide();
    // The upper row shows inputs 8 to 15: it only displays, it never sends an
    // output command to this input module.
    for (int n = 0; n < 8; ++n) {
        QPushButton* b = bitbtnDO[static_cast<std::size_t>(n)];
        b->setText(QString("DI %1").arg(n + 8));
        b->disconnect(this);
        b->setFocusPolicy(Qt::NoFocus);
        b->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    lblDOHex->setText("DI High Bye (Hex)");
    lblDIHex->setText("Dl Low Byte (Hex)");
}

TfrmMR540::~TfrmMR540() = default;

void TfrmMR540::CreateExtraObjects(const std::string& address) {
    mr540_ = std::make_unique<TavoMR540>(Port(), address);
    extra_ = {mr540_.get()};
}

bool TfrmMR540::ReadProtocol() {
    cmbPotocolSelect->setCurrentIndex(0);
    return true;
}

TavoRDigitalInput& TfrmMR540::StateReader() {
    return *mr540_;
}

void TfrmMR540::ShowReading(const DioReading& reading) {
    if (!reading.inputs || reading.inputDigits.size() != 4) return;
    const unsigned word = *reading.inputs;
    ShowInputs(word & 0xFF, 8);
    for (int n = 0; n < 8; ++n)
        SetLamp(bitbtnDO[static_cast<std::size_t>(n)], (word >> (8 + n)) & 1);
    ShowText(edtDI_Hex, "0x" + QString::fromStdString(reading.inputDigits.substr(2, 2)));
    ShowText(edtDO_Hex, "0x" + QString::fromStdString(reading.inputDigits.substr(0, 2)));
}

// ---------------------------------------------------------------- R520

TfrmMR520::TfrmMR520(QWidget* parent) : TfrmMR520(parent, DigitalProtocol::Ascii) {}

TfrmMR520::TfrmMR520(QWidget* parent, DigitalProtocol protocol)
    : TfrmMR540(parent, "R520", protocol) {
    lblProtocol->show();
    cmbPotocolSelect->show();
    connect(btInvertRefresh, &QPushButton::clicked, this, [this] { btInvertRefreshClick(); });
    connect(btInvertUpdate, &QPushButton::clicked, this, [this] { btInvertUpdateClick(); });
    connect(PageControl1, &QTabWidget::currentChanged, this,
            [this](int index) { PageControl1Change(index); });
}

bool TfrmMR520::HasInvert(const QString& firmware) {
    if (!firmware.startsWith('A', Qt::CaseInsensitive)) return true;
    bool ok = false;
    const double version = firmware.mid(1, 4).toDouble(&ok);
    return ok && version >= 2.02;
}

QString TfrmMR520::FirmwareText(const std::string& firmware) const {
    return QString::fromStdString(firmware);
}

void TfrmMR520::RefreshGeneral() {
    TfrmMR550::RefreshGeneral();
    if (!generalRead_) return;
    const bool invert = HasInvert(edtFirmwareVer->text());
    if (!invert && PageControl1->currentWidget() == TSInvert)
        PageControl1->setCurrentWidget(TSData);
    PageControl1->setTabVisible(PageControl1->indexOf(TSInvert), invert);
}

bool TfrmMR520::ReadInvert() {
    unsigned mask = 0;
    if (!link_->ReadInvert(mask)) return false;
    for (int n = 0; n < 16; ++n)
        chkCh[static_cast<std::size_t>(n)]->setChecked((mask >> n) & 1);
    return true;
}

bool TfrmMR520::WriteInvert() {
    unsigned mask = 0;
    for (int n = 0; n < 16; ++n)
        if (chkCh[static_cast<std::size_t>(n)]->isChecked()) mask |= 1u << n;
    return link_->WriteInvert(mask);
}

void TfrmMR520::btInvertRefreshClick() {
    if (!link_) return;
    Operation op(*this);
    if (ReadInvert())
        Information("Refresh succeeded!");
    else
        Error("Refresh failed!");
}

void TfrmMR520::btInvertUpdateClick() {
    if (!link_) return;
    Operation op(*this);
    // Over ASCII the boxes keep what was sent and Refresh shows what the module
    // holds; over Modbus the mask is read back after the box.
    if (WriteInvert()) {
        Information("Update succeeded!");
        if (link_->RereadsInvertAfterUpdate() && !ReadInvert()) Status("Refresh failed!");
    } else {
        Error("Update failed!");
    }
}

void TfrmMR520::PageControl1Change(int index) {
    if (!link_) return;
    if (PageControl1->widget(index) == TSInvert) {
        // The inversion is edited with the inputs standing still.
        StopPolling();
        if (!ReadInvert()) Status("Refresh failed!");
    } else {
        StartPolling();
    }
}

// ---------------------------------------------------------------- R620, R630, R610

TfrmMR620::TfrmMR620(QWidget* parent) : TfrmMR620(parent, "R620") {}

TfrmMR620::TfrmMR620(QWidget* parent, const QString& model, DigitalProtocol protocol)
    : TfrmMR550(parent, model, protocol) {
    grpDI->hide();
}

TfrmMR630::TfrmMR630(QWidget* parent) : TfrmMR620(parent, "R630") {}

TfrmMR630::TfrmMR630(QWidget* parent, DigitalProtocol protocol)
    : TfrmMR620(parent, "R630", protocol) {}

TfrmMR610::TfrmMR610(QWidget* parent) : TfrmMR620(parent, "R610") {
    for (int n = 4; n < 8; ++n) {
        bitbtnDO[static_cast<std::size_t>(n)]->hide();
        bitbtnSafeDO[static_cast<std::size_t>(n)]->hide();
    }
    lblProtocol->hide();
    cmbPotocolSelect->hide();
}

// ---------------------------------------------------------------- R560S, R560SO

TfrmMR560S::TfrmMR560S(QWidget* parent) : TfrmMR560S(parent, "R560S") {}

TfrmMR560S::TfrmMR560S(QWidget* parent, const QString& model, DigitalProtocol protocol)
    : TfrmMR550(parent, model, protocol) {
    grpDI->hide();
    for (int n = 8; n < kMaxOutputs; ++n) {
        bitbtnDO[static_cast<std::size_t>(n)]->show();
        bitbtnSafeDO[static_cast<std::size_t>(n)]->show();
    }
    lblDOHex->setText("Low Byte(Hex)");
    lblDOHighHex->show();
    edtDOHigh_Hex->show();
}

TavoRDigitalInput& TfrmMR560S::StateReader() {
    return *mr560_;
}

void TfrmMR560S::ShowReading(const DioReading& reading) {
    if (!reading.outputs || reading.outputDigits.size() != 4) return;
    ShowOutputs(*reading.outputs, DOChannelCount());
    ShowText(edtDOHigh_Hex, "0x" + QString::fromStdString(reading.outputDigits.substr(0, 2)));
    ShowText(edtDO_Hex, "0x" + QString::fromStdString(reading.outputDigits.substr(2, 2)));
}

bool TfrmMR560S::WriteSafeValue(unsigned timeoutTenths, unsigned value) {
    return mr560_->SetSafety(timeoutTenths, value);
}

TfrmMR560SO::TfrmMR560SO(QWidget* parent) : TfrmMR560SO(parent, DigitalProtocol::Ascii) {}

TfrmMR560SO::TfrmMR560SO(QWidget* parent, DigitalProtocol protocol)
    : TfrmMR560S(parent, "R560SO", protocol) {
    // Hidden and disabled: clearing a tripped group is not offered on this panel.
    btClrError = NamedButton("&Clear Error Status", "btClrError", grpDO);
    static_cast<QGridLayout*>(grpDO->layout())->addWidget(btClrError, 3, 6, 1, 2);
    btClrError->hide();
    btClrError->setEnabled(false);
    connect(btClrError, &QPushButton::clicked, this, [this] { btClrErrorClick(); });
}

void TfrmMR560SO::ShowFaults(unsigned groups) {
    for (int n = 0; n < kMaxOutputs; ++n) {
        QPushButton* b = bitbtnDO[static_cast<std::size_t>(n)];
        if ((groups >> (n / 4)) & 1) {
            b->setText("Fail");
            ShowTip(b, "Over Current Fail!");
            SetLamp(b, false);
        } else if (b->text() == "Fail") {
            b->setText(DoCaption(n));
            b->setToolTip(QString());
        }
    }
}

void TfrmMR560SO::btClrErrorClick() {
    if (!link_) return;
    Operation op(*this);
    if (!link_->ClearFaults()) {
        Error("Clear failed!");
        return;
    }
    for (int n = 0; n < kMaxOutputs; ++n) {
        bitbtnDO[static_cast<std::size_t>(n)]->setText(DoCaption(n));
        bitbtnDO[static_cast<std::size_t>(n)]->setToolTip(QString());
    }
    Information("Clear succeeded!");
}

} // namespace tavo
