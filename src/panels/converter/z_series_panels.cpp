#include "z_series_panels.h"

#include "panels/analog/calib_dialogs.h"
#include "panels/common/edit_controls.h"
#include "panels/common/form_controls.h"
#include "panels/common/key_refusal.h"
#include "panels/common/value_slider.h"

#include "devices/hex_codes.h"
#include "devices/z_series.h"
#include "transport/com_port.h"
#include "workspace/small_windows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <optional>

namespace tavo {
namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

std::size_t At(int i) {
    return static_cast<std::size_t>(i);
}

// The module's setting commands need this long before the next one (ms).
constexpr int kBusySteps = 500;
constexpr int kSlotTimeOutMs = ZelMZ320::kTimeOutMs;
constexpr int kPollMs = 500;

const QStringList kOutputRanges = {"0 ~ 20 mA", "4 ~ 20 mA", "0 ~ 10 V"};

bool IsCurrentInput(int code) {
    return code == 0x07 || code == 0x0D;
}

// Buttons side by side from the left.
QHBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons) {
    auto* row = new QHBoxLayout;
    for (QPushButton* b : buttons)
        row->addWidget(b);
    row->addStretch();
    return row;
}

} // namespace

// ====================================================================== Z320 / Z310

TfrmMZ320::TfrmMZ320(QWidget* parent) : PanelBase(parent) {
    connect(MakePollTimer("tmrUpdateData", kPollMs), &QTimer::timeout, this,
            [this] { tmrUpdateDataTimer(); });
}

TfrmMZ320::~TfrmMZ320() {
    StopPolling();
    // The port goes back to the time-out it had before the panel opened.
    if (Port() && savedTimeOut_ >= 0) Port()->SetTimeOut(savedTimeOut_);
}

void TfrmMZ320::BuildForm() {
    built_ = true;
    auto* top = new QVBoxLayout(this);
    grpModule = NamedGroup(Title(), "grpModule", this);
    top->addWidget(grpModule);
    auto* main = new QVBoxLayout(grpModule);
    PageControl1 = Named(new QTabWidget(grpModule), "PageControl1");
    main->addWidget(PageControl1);
    BuildAIPage();
    BuildAOPage();
    BuildDIOPage();
}

void TfrmMZ320::BuildAIPage() {
    TSAnalogInput = AddPage(PageControl1, "TSAnalogInput", "Analog Input");
    auto* page = new QVBoxLayout(TSAnalogInput);
    auto* format = new QHBoxLayout;
    edtAIDataFormat = NamedEdit("edtAIDataFormat", TSAnalogInput, 32767, true);
    format->addWidget(CaptionLabel("Data Format :", TSAnalogInput));
    format->addWidget(edtAIDataFormat);
    page->addLayout(format);
    auto* area = NamedGroup(" Data Area ", "grpAIDataArea", TSAnalogInput);
    page->addWidget(area);
    auto* grid = new QGridLayout(area);
    QStringList items;
    for (const auto& r : ZInputRanges())
        items << r.text;
    for (int c = 0; c < AICount(); ++c) {
        chkAICh.push_back(
            Named(new QCheckBox(QString("CH%1").arg(c), area), QString("chkAICh%1").arg(c)));
        chkAICh.back()->setChecked(true);
        cmbAIRange.push_back(NamedCombo(QString("cmbAIRange%1").arg(c), items, area));
        edtAIValue.push_back(NamedEdit(QString("edtAIValue%1").arg(c), area, 32767, true));
        labAIUnit.push_back(
            NamedLabel(ZInputRanges()[0].unit, QString("labAIUnit%1").arg(c), area));
        grid->addWidget(chkAICh.back(), c, 0);
        grid->addWidget(cmbAIRange.back(), c, 1);
        grid->addWidget(edtAIValue.back(), c, 2);
        grid->addWidget(labAIUnit.back(), c, 3);
    }
    btAIUpdate = NamedButton("&Update", "btAIUpdate", area);
    btRangeFollow = NamedButton("&Range follow CH0", "btRangeFollow", area);
    btAIEnable = NamedButton("&Enable", "btAIEnable", area);
    btAIDisable = NamedButton("&Disable", "btAIDisable", area);
    btAIZeroCal = NamedButton("&Zero Cal.", "btAIZeroCal", area);
    btAISpanCal = NamedButton("&Span Cal.", "btAISpanCal", area);
    // The channel buttons and the calibration on rows of their own: six buttons in
    // one row would not fit beside the tree in the window's first size.
    grid->addLayout(ButtonRow({btAIUpdate, btRangeFollow, btAIEnable, btAIDisable}), AICount(), 0,
                    1, 4);
    grid->addLayout(ButtonRow({btAIZeroCal, btAISpanCal}), AICount() + 1, 0, 1, 4);
    connect(btAIUpdate, &QPushButton::clicked, this, [this] { btAIUpdateClick(); });
    connect(btRangeFollow, &QPushButton::clicked, this, [this] { btRangeFollowClick(); });
    connect(btAIEnable, &QPushButton::clicked, this, [this] { btAIEnableClick(true); });
    connect(btAIDisable, &QPushButton::clicked, this, [this] { btAIEnableClick(false); });
    connect(btAIZeroCal, &QPushButton::clicked, this, [this] { btAICalClick(false); });
    connect(btAISpanCal, &QPushButton::clicked, this, [this] { btAICalClick(true); });
    page->addStretch();
}

void TfrmMZ320::BuildAOPage() {
    TSAnalogOutput = AddPage(PageControl1, "TSAnalogOutput", "Analog Output");
    auto* page = new QVBoxLayout(TSAnalogOutput);
    auto* format = new QHBoxLayout;
    edtAODataFormat = NamedEdit("edtAODataFormat", TSAnalogOutput, 32767, true);
    format->addWidget(CaptionLabel("Data Format :", TSAnalogOutput));
    format->addWidget(edtAODataFormat);
    page->addLayout(format);
    auto* area = NamedGroup(" Output ", "grpAOOutput", TSAnalogOutput);
    page->addWidget(area);
    auto* grid = new QGridLayout(area);
    for (int c = 0; c < AOCount(); ++c) {
        grid->addWidget(new QLabel(QString("CH%1").arg(c), area), c, 0);
        cmbAORange.push_back(NamedCombo(QString("cmbAORange%1").arg(c), kOutputRanges, area));
        cmbAORange.back()->setCurrentIndex(-1);
        grid->addWidget(cmbAORange.back(), c, 1);
        auto* output = new ValueSlider(area, grid, c, 2, QString("edtAOValue%1").arg(c),
                                       QString("trkAO%1").arg(c), QString("btAOSend%1").arg(c));
        aoOutput.push_back(output);
        RefuseKeys(output->edit, kUnsignedDecimalKeys, [this] { Error("Input Value Invalid!"); });
        connect(cmbAORange.back(), &QComboBox::activated, this, [this, c] { AORangeChange(c); });
        connect(output, &ValueSlider::SendRequested, this, [this, c] { AOSendClick(c); });
    }
    btAOZeroCal = NamedButton("Zero Cal.", "btAOZeroCal", area);
    btAOSpanCal = NamedButton("Span Cal.", "btAOSpanCal", area);
    grid->addLayout(ButtonRow({btAOZeroCal, btAOSpanCal}), AOCount(), 0, 1, 5);
    connect(btAOZeroCal, &QPushButton::clicked, this, [this] { btAOCalClick(false); });
    connect(btAOSpanCal, &QPushButton::clicked, this, [this] { btAOCalClick(true); });
    page->addStretch();
}

void TfrmMZ320::BuildDIOPage() {
    TSDigital = AddPage(PageControl1, "TSDigital", "Digital I/O");
    auto* page = new QVBoxLayout(TSDigital);
    auto* grid = new QGridLayout;
    page->addLayout(grid);
    // Four buttons a row, so eight inputs fit beside the tree as the other pages do.
    constexpr int kPerRow = 4;
    int row = 0;
    const auto addButtons = [&](const QString& caption, int count, bool output,
                                std::vector<QPushButton*>& buttons) {
        grid->addWidget(CaptionLabel(caption + " :", TSDigital), row, 0);
        for (int n = 0; n < count; ++n) {
            buttons.push_back(NamedButton(QString("%1%2").arg(caption).arg(n),
                                          QString("bt%1%2").arg(caption).arg(n), TSDigital));
            grid->addWidget(buttons.back(), row + n / kPerRow, 1 + n % kPerRow);
            connect(buttons.back(), &QPushButton::clicked, this,
                    [this, n, output] { DIOButtonClick(n, output); });
        }
        row += (count + kPerRow - 1) / kPerRow;
    };
    addButtons("DI", DICount(), false, btDI);
    addButtons("DO", DOCount(), true, btDO);
    grid->setColumnStretch(kPerRow + 1, 1);
    auto* values = new QHBoxLayout;
    edtDIValue = NamedEdit("edtDIValue", TSDigital, 32767, true);
    edtDOValue = NamedEdit("edtDOValue", TSDigital, 32767, true);
    values->addWidget(CaptionLabel("DI Value :", TSDigital));
    values->addWidget(edtDIValue);
    values->addWidget(CaptionLabel("DO Value :", TSDigital));
    values->addWidget(edtDOValue);
    page->addLayout(values);
    page->addStretch();
    doState_.assign(At(DOCount()), false);
}

void TfrmMZ320::InitModule(const PanelContext& context) {
    StopPolling();
    if (!built_) BuildForm();
    PageControl1->setCurrentIndex(0);
    Bind(context);
    edtAIDataFormat->setText("Engineering Units");
    edtAODataFormat->setText("Engineering Units");
    if (Port()) {
        savedTimeOut_ = Port()->GetTimeOut();
        Port()->SetTimeOut(kSlotTimeOutMs);
    }
    module_ = std::make_unique<ZelMZ320>(Port(), WireAddress(), context.slot.toStdString());
    aiCodes_.assign(At(AICount()), -1);
    if (!RefreshAIStatus()) Error("Refresh General Setting Error!");
    if (!RefreshAO()) Error("Refresh Output Value Error!");
    StartPolling();
}

// ---------------------------------------------------------------- polling

void TfrmMZ320::PollMark(bool ok, const QString& okText, const QString& failText) {
    PollStatus(ok, okText, failText);
    blink_ = !blink_;
}

void TfrmMZ320::tmrUpdateDataTimer() {
    if (!module_) return;
    QWidget* page = PageControl1->currentWidget();
    if (page == TSAnalogInput)
        PollMark(PollAI(), "Polling AI data...", "Fail to fresh AI data!");
    else if (page == TSAnalogOutput)
        PollMark(PollAO(), "Polling AO data...", "Fail to fresh AO data!");
    else
        PollMark(PollDIO(), "Polling DIO data...", "Fail to fresh DIO data!");
}

bool TfrmMZ320::PollAI() {
    std::string data;
    if (!module_->ReadAll(data)) return false;
    const auto fields = SplitZInputFields(data, AICount());
    for (std::size_t c = 0; c < fields.size(); ++c)
        ShowText(edtAIValue[c], Q(fields[c]));
    return static_cast<int>(fields.size()) == AICount();
}

void TfrmMZ320::ShowAOType(int c, int position) {
    QComboBox* combo = cmbAORange[At(c)];
    if (combo->currentIndex() != position) combo->setCurrentIndex(position);
    double low = 0, high = 0;
    if (ZOutputLimits(position, low, high)) aoOutput[At(c)]->SetLimits(low, high);
}

bool TfrmMZ320::PollAO() {
    for (int c = 0; c < AOCount(); ++c) {
        std::string type;
        if (!module_->ReadAOType(c) || !module_->GetChannelType(type)) return false;
        const int position = static_cast<int>(HexOrZero(type));
        ShowAOType(c, position <= 2 ? position : -1);
    }
    return true;
}

void TfrmMZ320::ShowDIO(unsigned outputs, unsigned inputs) {
    for (int n = 0; n < DOCount(); ++n) {
        const bool on = outputs >> n & 1;
        doState_[At(n)] = on;
        SetLamp(btDO[At(n)], on);
    }
    for (int n = 0; n < DICount(); ++n)
        SetLamp(btDI[At(n)], inputs >> n & 1);
    ShowText(edtDOValue, "0x" + Hex2(static_cast<int>(outputs)));
    ShowText(edtDIValue, "0x" + Hex2(static_cast<int>(inputs)));
}

bool TfrmMZ320::PollDIO() {
    std::string outputs, inputs;
    if (!module_->ReadDIO(outputs, inputs) || !IsHexCode(outputs) || !IsHexCode(inputs))
        return false;
    ShowDIO(HexOrZero(outputs), HexOrZero(inputs));
    return true;
}

// ---------------------------------------------------------------- analog inputs

bool TfrmMZ320::RefreshAIStatus() {
    std::string data;
    if (!module_->ReadAll(data)) {
        Status("Fail to fresh AI Status!");
        return false;
    }
    bool ok = true;
    for (int c = 0; c < AICount(); ++c) {
        std::string type;
        if (!module_->ReadAIType(c) || !module_->GetChannelType(type)) {
            ok = false;
            continue;
        }
        const int code = static_cast<int>(HexOrZero(type));
        aiCodes_[At(c)] = code;
        cmbAIRange[At(c)]->setCurrentIndex(ZInputRangeIndex(code));
        const ZInputRange* range = FindZInputRange(code);
        labAIUnit[At(c)]->setText(range ? range->unit : "?");
    }
    return ok;
}

void TfrmMZ320::btAIUpdateClick() {
    if (!module_) return;
    bool ok = true, any = false;
    {
        Operation op(*this, btAIUpdate);
        for (int c = 0; c < AICount(); ++c) {
            // The ticked channels are the ones the update sets.
            if (!chkAICh[At(c)]->isChecked()) continue;
            any = true;
            const int position = std::max(0, cmbAIRange[At(c)]->currentIndex());
            module_->SetChannelType(Hex2(ZInputRanges()[At(position)].code).toStdString());
            if (!module_->SetAIType(c)) ok = false;
            WaitWithIndicator(this, kBusySteps);
        }
        if (!any)
            Error("Error occurred during setup!\nNo channel is ticked.");
        else if (ok)
            Information("Update Channel Setup succeeded!");
        else
            Error("Error occurred during setup!");
        RefreshAIStatus();
    }
}

void TfrmMZ320::btRangeFollowClick() {
    for (int c = 1; c < AICount(); ++c)
        cmbAIRange[At(c)]->setCurrentIndex(cmbAIRange[0]->currentIndex());
}

void TfrmMZ320::btAIEnableClick(bool on) {
    for (QCheckBox* box : chkAICh)
        box->setChecked(on);
}

void TfrmMZ320::btAICalClick(bool span) {
    if (!module_) return;
    Operation op(*this, span ? btAISpanCal : btAIZeroCal);
    TfrmCalib dialog(this);
    dialog.SetZSeries(module_.get());
    dialog.SetMode(span ? TfrmCalib::kSpan : TfrmCalib::kZero);
    dialog.setWindowTitle(grpModule->title() +
                          (span ? " AI Span calibration" : " AI Zero calibration"));
    bool anyCurrent = false;
    for (int c = 0; c < AICount(); ++c) {
        const int code = aiCodes_[At(c)];
        // What the user may have chosen in the lists is not what the module holds.
        cmbAIRange[At(c)]->setCurrentIndex(ZInputRangeIndex(code));
        const ZInputRange* range = FindZInputRange(code);
        const QString prompt = range ? (span ? range->spanPrompt : range->zeroPrompt) : "#####";
        dialog.SetChannelInput(c, prompt, IsCurrentInput(code));
        anyCurrent = anyCurrent || IsCurrentInput(code);
    }
    const ZInputRange* first = FindZInputRange(aiCodes_[0]);
    dialog.SetInputText(first ? (span ? first->spanPrompt : first->zeroPrompt) : "#####");
    dialog.SetChannel(0);
    dialog.ShowChannelSelector(anyCurrent);
    dialog.Run();
}

// ---------------------------------------------------------------- analog outputs

bool TfrmMZ320::RefreshAO() {
    bool ok = true;
    for (int c = 0; c < AOCount(); ++c) {
        std::string type, value;
        if (!module_->ReadAOType(c) || !module_->GetChannelType(type)) {
            ok = false;
            continue;
        }
        const int position = static_cast<int>(HexOrZero(type));
        ShowAOType(c, position <= 2 ? position : -1);
        double v = 0;
        if (module_->ReadLastOutput(c, value) && ParsePlainDecimal(Q(value), v))
            aoOutput[At(c)]->ShowValue(v);
        else
            ok = false;
    }
    return ok;
}

void TfrmMZ320::AORangeChange(int c) {
    if (!module_) return;
    Operation op(*this, cmbAORange[At(c)]);
    const int position = cmbAORange[At(c)]->currentIndex();
    module_->SetChannelType(Hex2(position).toStdString());
    const bool ok = position >= 0 && module_->SetAOType(c);
    WaitWithIndicator(this, kBusySteps);
    if (!ok) Error("Update Output Range Error!");
    RefreshAO();
}

void TfrmMZ320::AOSendClick(int c) {
    if (!module_) return;
    Operation op(*this, aoOutput[At(c)]->button);
    ValueSlider* output = aoOutput[At(c)];
    double low = 0, high = 0, v = 0;
    if (!ZOutputLimits(cmbAORange[At(c)]->currentIndex(), low, high) ||
        !ParsePlainDecimal(output->edit->text(), v) || v < low || v > high) {
        Error("Please Input Valid Value!");
        return;
    }
    if (module_->WriteChannel(c, OutputValueText(v).toStdString()))
        Information("Update Output Value succeeded!");
    else
        Error("Write AO Failed!");
    RefreshAO();
}

std::vector<std::optional<double>> TfrmMZ320::ReadOutputs() {
    std::vector<std::optional<double>> values;
    for (int c = 0; c < AOCount(); ++c) {
        std::string text;
        double v = 0;
        const bool ok = module_->ReadLastOutput(c, text) && ParsePlainDecimal(Q(text), v);
        values.push_back(ok ? std::optional<double>(v) : std::nullopt);
    }
    return values;
}

bool TfrmMZ320::RestoreOutputs(const std::vector<std::optional<double>>& before) {
    const auto now = ReadOutputs();
    bool ok = true;
    for (int c = 0; c < AOCount(); ++c) {
        const auto& was = before[At(c)];
        const auto& is = now[At(c)];
        // Outputs are set in thousandths; an unreadable one is written all the same.
        if (!was || (is && std::fabs(*is - *was) < 0.0005)) continue;
        if (!module_->WriteChannel(c, OutputValueText(*was).toStdString())) ok = false;
    }
    return ok;
}

void TfrmMZ320::btAOCalClick(bool span) {
    if (!module_) return;
    Operation op(*this, span ? btAOSpanCal : btAOZeroCal);
    // The dialog drives an output to its calibration point: once it closes, every
    // output goes back to what it was driving before, for the plant behind it.
    const auto before = ReadOutputs();
    TfrmMAOCalib dialog(this);
    dialog.SetZSeries(module_.get());
    const bool voltage = cmbAORange[0]->currentIndex() == 2;
    dialog.SetMode(voltage ? (span ? TfrmMAOCalib::k10V : TfrmMAOCalib::k0V)
                           : (span ? TfrmMAOCalib::k20mA : TfrmMAOCalib::k4mA));
    dialog.SetChannel(0);
    dialog.setWindowTitle(span ? "AO Span Calibration" : "AO zero Calibration");
    const bool calibrated = dialog.Run() == QDialog::Accepted;
    if (!RestoreOutputs(before)) {
        if (!calibrated)
            Error("Write AO Failed!");
        else if (span)
            Error("Write AO Value Error!\nSpan Calibration is Success!");
        else
            Error("Write AO Value Error!\nZero Calibration is Success!");
    }
    RefreshAO();
}

// ---------------------------------------------------------------- digital I/O

void TfrmMZ320::DIOButtonClick(int n, bool output) {
    if (!module_) return;
    QPushButton* button = output ? btDO[At(n)] : btDI[At(n)];
    if (!button->text().startsWith("DO")) {
        Information("DI is not controllable!");
        return;
    }
    Operation op(*this, button);
    if (!module_->WriteDO(n, !doState_[At(n)])) Error("Fail to set DO!");
    PollMark(PollDIO(), "Polling DIO data...", "Fail to fresh DIO data!");
}

// ====================================================================== Z350

TfrmMZ350::TfrmMZ350(QWidget* parent) : PanelBase(parent) {
    auto* top = new QVBoxLayout(this);
    grpModule = NamedGroup("ZEL-Z350", "grpModule", this);
    top->addWidget(grpModule);
    auto* main = new QVBoxLayout(grpModule);
    auto* general = NamedGroup(" General Setting ", "grpGeneral", grpModule);
    main->addWidget(general);
    auto* grid = new QGridLayout(general);
    int row = 0;
    edtAddress_Dec = NamedEdit("edtAddress_Dec", general, 3, true);
    edtAddress_Hex = NamedEdit("edtAddress_Hex", general, 3, true);
    auto* address = new QHBoxLayout;
    address->addWidget(edtAddress_Dec);
    address->addWidget(CaptionLabel("HEX", general));
    address->addWidget(edtAddress_Hex);
    grid->addWidget(CaptionLabel("Station Address :", general), row, 0);
    grid->addLayout(address, row++, 1);
    // Baud rate and checksum are shown as the controller reports them; this panel
    // does not write them.
    cmbBaudRate = NamedCombo("cmbBaudRate", BaudRateItems(), general);
    cmbBaudRate->setCurrentIndex(3);
    cmbBaudRate->setEnabled(false);
    grid->addWidget(CaptionLabel("Baud Rate :", general), row, 0);
    grid->addWidget(cmbBaudRate, row++, 1);
    chkCheckSum = Named(new QCheckBox("Enable", general), "chkCheckSum");
    chkCheckSum->setEnabled(false);
    grid->addWidget(CaptionLabel("Check Sum :", general), row, 0);
    grid->addWidget(chkCheckSum, row++, 1);
    edtFirmwareVer = NamedEdit("edtFirmwareVer", general, 32767, true);
    grid->addWidget(CaptionLabel("Firmware Ver :", general), row, 0);
    grid->addWidget(edtFirmwareVer, row++, 1);
    cmbProtocol = NamedCombo("cmbProtocol", {"BACNet", "Modbus"}, general);
    grid->addWidget(CaptionLabel("Protocol :", general, cmbProtocol), row, 0);
    grid->addWidget(cmbProtocol, row++, 1);
    edtDeviceInstance = NamedEdit("edtDeviceInstance", general, 7);
    edtDeviceInstance->setToolTip("0~4194303");
    FilterKeys(edtDeviceInstance, kDigitKeys, [this] { btUpdateClick(); });
    grid->addWidget(CaptionLabel("Device Instance :", general, edtDeviceInstance), row, 0);
    grid->addWidget(edtDeviceInstance, row++, 1);
    auto* buttons = new QHBoxLayout;
    btUpdate = NamedButton("Update", "btUpdate", general);
    btRefresh = NamedButton("&Refresh", "btRefresh", general);
    buttons->addWidget(btUpdate);
    buttons->addWidget(btRefresh);
    grid->addLayout(buttons, row++, 1);
    connect(btUpdate, &QPushButton::clicked, this, [this] { btUpdateClick(); });
    connect(btRefresh, &QPushButton::clicked, this, [this] { btRefreshClick(); });

    lvModules = Named(new QTreeWidget(grpModule), "lvModules");
    lvModules->setHeaderLabels({"Slot", "Module", "Description"});
    lvModules->setRootIsDecorated(false);
    lvModules->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    main->addWidget(lvModules);
    connect(MakePollTimer("tmrPolling", kPollMs), &QTimer::timeout, this,
            [this] { tmrPollingTimer(); });
}

TfrmMZ350::~TfrmMZ350() = default;

QString TfrmMZ350::SlotDescription(const std::string& designation, const std::string& code) {
    if (designation == "Z320") return "ZEL-Z320 4-AI, 4-AO, 8-DI, 4-DO module";
    if (designation == "Z310") return "ZEL-Z310 3-AI, 3-AO, 6-DI, 2-DO module";
    return "Unknown module (" + Q(code) + ")";
}

void TfrmMZ350::InitModule(const PanelContext& context) {
    StopPolling();
    Bind(context);
    module_ = std::make_unique<ZelMZ350>(Port(), WireAddress());
    ListSlots(kSlotsZ351);
    RefreshAll();
    StartPolling();
}

void TfrmMZ350::ListSlots(int count) {
    lvModules->clear();
    for (int i = 0; i < count; ++i)
        new QTreeWidgetItem(lvModules, {QString::number(i)});
}

bool TfrmMZ350::RefreshGeneral() {
    std::string address, firmware, name, instance;
    if (!module_->ReadSystemConfigAddress(address) || !module_->ReadFirmwareVersion(firmware) ||
        !module_->ReadModuleName(name) || !module_->ReadDeviceInstance(instance) ||
        !IsHexCode(address)) {
        Status("Fail to fresh general setting data!");
        return false;
    }
    const int station = static_cast<int>(HexOrZero(address));
    edtAddress_Dec->setText(QString::number(station));
    edtAddress_Hex->setText((InitMode() ? "*" : "") + Q(address));
    const int baud = static_cast<int>(HexOrZero(module_->BaudCode())) - 3;
    if (baud >= 0 && baud < cmbBaudRate->count()) cmbBaudRate->setCurrentIndex(baud);
    std::string bit;
    chkCheckSum->setChecked(module_->GetFormatBit(6, bit) && bit == "1");
    edtFirmwareVer->setText(Q(firmware));
    bool hex = false;
    const qlonglong value = Q(instance).toLongLong(&hex, 16);
    edtDeviceInstance->setText(hex ? QString::number(value) : QString());
    grpModule->setTitle(QString::asprintf("ZEL-%s", name.c_str()));
    name_ = name;
    return hex;
}

bool TfrmMZ350::RefreshProtocol() {
    std::string protocol;
    if (!module_->ReadProtocol(protocol) ||
        (protocol.rfind("BAC", 0) != 0 && protocol.rfind("MOD", 0) != 0)) {
        Status("Fail to fresh protocol setting!");
        return false;
    }
    cmbProtocol->setCurrentIndex(protocol.rfind("BAC", 0) == 0 ? 0 : 1);
    return true;
}

bool TfrmMZ350::RefreshModules() {
    module_->ClearSlotTable();
    std::string table;
    const bool read = module_->ReadSlotTable(table);
    // One row per slot of the controller, empty ones too: four, or eight on the
    // Z352 (and on any controller whose table tells of eight).
    const int tableSlots = read ? std::min(static_cast<int>(table.size() / 2), kSlotsZ352) : 0;
    ListSlots(std::max(name_ == "Z352" ? kSlotsZ352 : kSlotsZ351, tableSlots));
    if (!read) return false;
    for (int i = 0; i < tableSlots; ++i) {
        std::string code, designation;
        if (!module_->GetSlotCode(i, code) || code == "FF") continue;
        module_->GetSlotDesignation(i, designation);
        QTreeWidgetItem* row = lvModules->topLevelItem(i);
        row->setText(1, Q(designation));
        row->setText(2, SlotDescription(designation, code));
    }
    return true;
}

bool TfrmMZ350::RefreshAll() {
    const bool general = RefreshGeneral();
    const bool protocol = RefreshProtocol();
    const bool modules = RefreshModules();
    return general && protocol && modules;
}

void TfrmMZ350::tmrPollingTimer() {
    if (!module_) return;
    std::string name;
    PollStatus(module_->ReadModuleName(name), "Polling ZEL Module ...", "Polling ZEL Module Fail!");
}

void TfrmMZ350::btUpdateClick() {
    if (!module_) return;
    Operation op(*this, btUpdate);
    const auto instance = ParseDigits(edtDeviceInstance->text().trimmed(),
                                      static_cast<std::uint64_t>(ZelMZ350::kMaxDeviceInstance));
    if (!instance || *instance > static_cast<std::uint64_t>(ZelMZ350::kMaxDeviceInstance)) {
        Error("Please input valid Device Instance!");
        return;
    }
    bool ok = module_->SetDeviceInstance(static_cast<std::int64_t>(*instance));
    if (ok) {
        Pause(40);
        ok = module_->SetProtocol(cmbProtocol->currentIndex() == 1 ? "MOD" : "BAC");
    }
    if (ok)
        Information("Update succeeded!");
    else
        Error("Update Failed!!");
    RefreshAll();
}

void TfrmMZ350::btRefreshClick() {
    if (!module_) return;
    Operation op(*this, btRefresh);
    if (RefreshAll())
        Information("Refresh succeeded!");
    else
        Error("Some problems occurred during refresh!!");
}

} // namespace tavo
