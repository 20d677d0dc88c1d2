#include "r320t_panel.h"

#include "loop_widgets.h"
#include "r320t_dialogs.h"

#include "panels/common/edit_controls.h"
#include "panels/common/form_controls.h"
#include "panels/common/modbus_panel.h"

#include "points/loop_values.h"

#include "devices/hex_codes.h"
#include "devices/models_analog.h"
#include "devices/range_tables.h"
#include "transport/com_port.h"
#include "workspace/ui_services.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace tavo {

using namespace loop;

namespace {

constexpr int kTimeoutMs = 800;
const char* const kNotOverModbus = "Not available over Modbus";
const char* const kPVAlarmTexts[] = {"Normal", "H-High alarm", "High alarm", "Low alarm",
                                     "L-Low alarm"};
const char* const kMVAlarmTexts[] = {"Normal", "High alarm", "Low alarm"};

// Output range list index 0 "0-20 mA", 1 "4-20 mA", 2 "0-10 V" and codes 30 to 32
// (their spans are R310Range's).
struct OutputScale {
    const char* labels[3];
    const char* start;
    const char* trimZero;
    const char* trimSpan;
};
constexpr OutputScale kOutputScales[3] = {
    {{"0", "10mA", "20"}, "0.000", "Trim for 4 mA", "Trim for 20 mA"},
    {{"4", "12mA", "20"}, "4.000", "Trim for 4 mA", "Trim for 20 mA"},
    {{"0", "  5V", "10"}, "0.000", "Trim for 0 V", "Trim for 10 V"},
};

QString Std(const std::string& s) {
    return QString::fromStdString(s);
}

void SetField(QLineEdit* edit, const QString& text, const QColor& back, const QColor& fore) {
    ShowText(edit, text);
    const QString style = QString("background-color: %1; color: %2;").arg(back.name(), fore.name());
    if (edit->styleSheet() != style) edit->setStyleSheet(style);
}

void ShowAlarm(QLineEdit* edit, QLabel* lamp, const char* const* texts, int count, int state) {
    ShowText(edit, state >= 0 && state < count ? texts[state] : QString::number(state));
    SetLamp(lamp, state != 0);
}

} // namespace

TfrmMR320T::TfrmMR320T(QWidget* parent) : TfrmMR320T(false, parent) {}

TfrmMR320T::TfrmMR320T(bool modbus, QWidget* parent)
    : GeneralSettingsPanel(parent), modbus_(modbus) {
    setObjectName(modbus ? "TfrmMR320TMod" : "TfrmMR320T");
    BuildForm();
    connect(MakePollTimer("Timer1", kTimerMs), &QTimer::timeout, this, [this] { Timer1Timer(); });
}

TfrmMR320T::~TfrmMR320T() {
    StopPolling();
    if (Port() && savedTimeout_ > 0) Port()->SetTimeOut(savedTimeout_);
}

QString TfrmMR320T::Text(const char* ascii, const char* modbus) const {
    return modbus_ ? modbus : ascii;
}

// ---- Form ----------------------------------------------------------------------------

void TfrmMR320T::BuildForm() {
    QVBoxLayout* main = AddMainGroup("R320T");
    grpModule->setTitle(modbus_ ? " Tavo-R320T Modbus " : " Tavo-R320T 2-Loops PID Controller module");
    layout()->setContentsMargins(0, 0, 0, 0);
    pgCtrlMain = Named(new QTabWidget(grpModule), "pgCtrlMain");
    main->addWidget(pgCtrlMain);
    pgCtrlMain->addTab(BuildGeneralPage(), "General");
    pgCtrlMain->addTab(BuildInputPage(), "Input");
    pgCtrlMain->addTab(BuildOutputPage(), "Output");
    pgCtrlMain->addTab(BuildPIDPage(), "PID");
    connect(pgCtrlMain, &QTabWidget::currentChanged, this, [this] { pgCtrlMainChange(); });
}

QWidget* TfrmMR320T::BuildGeneralPage() {
    auto* page = Named(new QWidget, "tbshtGeneral");
    auto* grid = new QGridLayout(page);
    int row = 0;
    GeneralRows rows;
    rows.checksumCaption = "CheckSum";
    rows.onAddressEnter = [this] { btSystemUpdateClick(); };
    AddGeneralControls(grid, row, rows);
    const auto add = [&](const QString& caption, QWidget* w) {
        grid->addWidget(CaptionLabel(caption, page, w), row, 0);
        grid->addWidget(w, row++, 1);
    };
    cmbProtocol = NamedCombo("cmbProtocol", {"CORVANETH", "MODBUS", "BACnet"}, page);
    cmbProtocol->setCurrentIndex(-1);
    add("Protocol", cmbProtocol);
    cmbTempUnit = NamedCombo("cmbTempUnit", {"Centigrade ('C)", "Fahrenheit ('F)"}, page);
    cmbTempUnit->setCurrentIndex(-1);
    add("Temp. Unit:", cmbTempUnit);
    edtStationID = NamedEdit("edtStationID", page, 2);
    edtStationID->setToolTip("0~31");
    FilterKeys(edtStationID, kDigitKeys, [this] { btSystemUpdateClick(); });
    add("BACnet Station Instance: ", edtStationID);
    edtDeviceID = NamedEdit("edtDeviceID", page, 7);
    edtDeviceID->setToolTip("0~4194303");
    FilterKeys(edtDeviceID, kDigitKeys, [this] { btSystemUpdateClick(); });
    add("BACnet Device Instance: ", edtDeviceID);
    cmbIntegration = NamedCombo("cmbIntegration", {"50 ms(60 Hz)", "60 ms(50 Hz)"}, page);
    cmbIntegration->setCurrentIndex(-1);
    add("Integration Time : ", cmbIntegration);
    btSystemUpdate = NamedButton("&Update", "btSystemUpdate", page);
    grid->addWidget(btSystemUpdate, row++, 1, Qt::AlignRight);
    grid->setRowStretch(row, 1);
    connect(btSystemUpdate, &QPushButton::clicked, this, [this] { btSystemUpdateClick(); });
    return page;
}

QWidget* TfrmMR320T::BuildInputPage() {
    auto* page = Named(new QWidget, "tbshtInput");
    auto* grid = new QGridLayout(page);
    if (modbus_) {
        lstviewInput = new ModbusMapList(page);
        lstviewInput->setObjectName("lstviewInput");
        lstviewInput->AddCoils(kDICoil, 2, "DI CH:", 1);
        lstviewInput->AddRegisters(kInputRegister, 4, "AI CH:", 0);
        grid->addWidget(lstviewInput, 0, 0);
    }
    for (int ch = 0; ch < 4; ++ch) {
        const auto i = static_cast<std::size_t>(ch);
        cmbRngCh[i] = NamedCombo(QString("cmbRngCh%1").arg(ch), {}, page);
        bitbtnRngCh[i] = NamedButton("&Update", QString("bitbtnRngCh%1").arg(ch), page);
        chkCh[i] = Named(new QCheckBox(QString("CH:%1").arg(ch), page), QString("chkCh%1").arg(ch));
        edtCh[i] = NamedEdit(QString("edtCh%1").arg(ch), page, 32767, true);
        grid->addWidget(cmbRngCh[i], ch + 1, 0);
        grid->addWidget(bitbtnRngCh[i], ch + 1, 1);
        grid->addWidget(chkCh[i], ch + 1, 2);
        grid->addWidget(edtCh[i], ch + 1, 3);
        connect(bitbtnRngCh[i], &QPushButton::clicked, this, [this, ch] { bitbtnRngCh0Click(ch); });
    }
    bitbtnChEn = NamedButton("&Update", "bitbtnChEn", page);
    grid->addWidget(bitbtnChEn, 5, 3);
    connect(bitbtnChEn, &QPushButton::clicked, this, [this] { bitbtnChEnClick(); });
    auto* di = new QHBoxLayout;
    for (int n = 0; n < 2; ++n) {
        auto* b = NamedButton(QString("DI:%1").arg(n), QString("bitbtnDI%1").arg(n), page);
        b->setFocusPolicy(Qt::NoFocus);
        SetLamp(b, false);
        bitbtnDI[static_cast<std::size_t>(n)] = b;
        di->addWidget(b);
    }
    grid->addLayout(di, 6, 0, 1, 2);
    bitbtnZero = NamedButton("&Zero Calib.", "bitbtnZero", page);
    bitbtnSpan = NamedButton("&Span Calib.", "bitbtnSpan", page);
    grid->addWidget(bitbtnZero, 6, 2);
    grid->addWidget(bitbtnSpan, 6, 3);
    connect(bitbtnZero, &QPushButton::clicked, this, [this] { bitbtnZeroClick(); });
    connect(bitbtnSpan, &QPushButton::clicked, this, [this] { bitbtnSpanClick(); });
    grid->setRowStretch(7, 1);
    if (modbus_) // the map replaces the ASCII controls
        for (int r = 1; r < 7; ++r)
            for (int c = 0; c < 4; ++c)
                if (auto* item = grid->itemAtPosition(r, c); item && item->widget())
                    item->widget()->hide();
    return page;
}

QWidget* TfrmMR320T::BuildOutputPage() {
    auto* page = Named(new QWidget, "tbshtOutput");
    auto* grid = new QGridLayout(page);
    if (modbus_) {
        lstviewOutput = new ModbusMapList(page);
        lstviewOutput->setObjectName("lstviewOutput");
        lstviewOutput->AddCoils(kDOCoil, 2, "DO CH:", 1);
        lstviewOutput->AddRegisters(kOutputRegister, 2, "AO CH:", 0);
        grid->addWidget(lstviewOutput, 0, 0, 1, 2);
    }
    QStringList ranges;
    for (const RangeItem& item : RangeItems(RangeList::R320TOutput)) ranges << item.text;
    for (int n = 0; n < 2; ++n) {
        const auto i = static_cast<std::size_t>(n);
        auto* group = NamedGroup(QString(" AO CH:%1 ").arg(n), QString("grpAO%1").arg(n), page);
        auto* g = new QGridLayout(group);
        cmbOutRng[i] = NamedCombo(QString("cmbOutRng%1").arg(n), ranges, group);
        bitbtnUpdate[i] = NamedButton("&Update", QString("bitbtnUpdate%1").arg(n), group);
        edtValue[i] = NamedEdit(QString("edtValue%1").arg(n), group, 32767, true);
        edtValue[i]->setText("4.000");
        TrackBar[i] = Named(new QSlider(Qt::Horizontal, group), QString("TrackBar%1").arg(n));
        TrackBar[i]->setRange(0, 4095);
        g->addWidget(cmbOutRng[i], 0, 0, 1, 2);
        g->addWidget(bitbtnUpdate[i], 0, 2);
        g->addWidget(edtValue[i], 0, 3);
        g->addWidget(TrackBar[i], 1, 0, 1, 4);
        for (int k = 0; k < 3; ++k) {
            lblScale[i][static_cast<std::size_t>(k)] =
                NamedLabel("", QString("lblScale%1_%2").arg(n).arg(k), group);
            g->addWidget(lblScale[i][static_cast<std::size_t>(k)], 2, k == 2 ? 3 : k,
                         k == 0 ? Qt::AlignLeft : k == 1 ? Qt::AlignCenter : Qt::AlignRight);
        }
        const char* names[4] = {"bitbtnLeftLeft", "bitbtnLeft", "bitbtnRight", "bitbtnRightRight"};
        const char* captions[4] = {"<<", "<", ">", ">>"};
        const char* hints[4] = {"To trim -15.0uA", "To trim -1.5uA", "To trim 1.5uA",
                                "To trim 15.0uA"};
        const int steps[4] = {-16, -1, 1, 16};
        for (int k = 0; k < 4; ++k) {
            auto* b = NamedButton(captions[k], QString("%1%2").arg(names[k]).arg(n), group);
            b->setToolTip(hints[k]);
            g->addWidget(b, 3, k);
            bitbtnTrim[i][static_cast<std::size_t>(k)] = b;
            connect(b, &QPushButton::clicked, this, [this, n, s = steps[k]] { TrimStep(n, s); });
        }
        btnValueOutput[i] = NamedButton("&Output", QString("btnValueOutput%1").arg(n), group);
        btnOutZero[i] = NamedButton("", QString("btnOutZero%1").arg(n), group);
        btnOutSpan[i] = NamedButton("", QString("btnOutSpan%1").arg(n), group);
        g->addWidget(btnValueOutput[i], 4, 0);
        g->addWidget(btnOutZero[i], 4, 1, 1, 2);
        g->addWidget(btnOutSpan[i], 4, 3);
        bitbtnDO[i] = NamedButton(QString("DO:%1").arg(n), QString("bitbtnDO%1").arg(n), group);
        SetLamp(bitbtnDO[i], false);
        edtAO[i] = NamedEdit(QString("edtAO%1").arg(n), group, 32767, true);
        g->addWidget(bitbtnDO[i], 5, 0);
        QLabel* reading = CaptionLabel(QString("CH:%1").arg(n), group);
        g->addWidget(reading, 5, 2);
        g->addWidget(edtAO[i], 5, 3);
        grid->addWidget(group, 1, n);
        connect(bitbtnUpdate[i], &QPushButton::clicked, this, [this, n] { bitbtnUpdate0Click(n); });
        connect(cmbOutRng[i], &QComboBox::currentIndexChanged, this, [this, n] { ShowOutputScale(n); });
        connect(TrackBar[i], &QSlider::valueChanged, this, [this, n] { TrackBar0Change(n); });
        connect(btnValueOutput[i], &QPushButton::clicked, this, [this, n] { btnValueOutput0Click(n); });
        connect(btnOutZero[i], &QPushButton::clicked, this, [this, n] { btnOutSpan0Click(n, false); });
        connect(btnOutSpan[i], &QPushButton::clicked, this, [this, n] { btnOutSpan0Click(n, true); });
        connect(bitbtnDO[i], &QPushButton::clicked, this, [this, n] { bitbtnDO0Click(n); });
        {
            const QSignalBlocker block(cmbOutRng[i]);
            cmbOutRng[i]->setCurrentIndex(1);
        }
        ShowOutputScale(n);
        // Over Modbus the output is driven through its register and the DO coil;
        // the map has no range register and the reading is the map's, and there is
        // no trim.
        if (modbus_)
            for (QWidget* w : std::initializer_list<QWidget*>{bitbtnUpdate[i], btnOutZero[i],
                                                              btnOutSpan[i], edtAO[i], reading})
                w->hide();
    }
    grid->setRowStretch(2, 1);
    return page;
}

QWidget* TfrmMR320T::BuildPIDPage() {
    auto* page = Named(new QWidget, "tbshtPID");
    auto* grid = new QGridLayout(page);
    cboxLoop = NamedCombo("cboxLoop", {"0", "1"}, page);
    cboxControl = NamedCombo("cboxControl", {"Free", "Auto", "Manual"}, page);
    cboxControl->setCurrentIndex(-1);
    grid->addWidget(CaptionLabel("Loop:", page, cboxLoop), 0, 0);
    grid->addWidget(cboxLoop, 0, 1);
    grid->addWidget(CaptionLabel("Control:", page, cboxControl), 0, 2);
    grid->addWidget(cboxControl, 0, 3);
    connect(cboxLoop, &QComboBox::activated, this, [this] { cboxLoopChange(); });
    connect(cboxControl, &QComboBox::activated, this, [this] { cboxControlChange(); });

    edtSV = NamedEdit("edtSV", page);
    edtPV = NamedEdit("edtPV", page, 32767, true);
    edtMV = NamedEdit("edtMV", page);
    FilterKeys(edtSV, kSignedDecimalKeys, [this] { edtSVKeyPress(); });
    FilterKeys(edtMV, kSignedDecimalKeys, [this] { edtMVKeyPress(); });
    grid->addWidget(CaptionLabel("SV:", page, edtSV), 1, 0);
    grid->addWidget(edtSV, 1, 1);
    grid->addWidget(CaptionLabel("PV:", page, edtPV), 2, 0);
    grid->addWidget(edtPV, 2, 1);
    grid->addWidget(CaptionLabel("MV(%):", page, edtMV), 3, 0);
    grid->addWidget(edtMV, 3, 1);

    TrackBarSV = Named(new QSlider(Qt::Vertical, page), "TrackBarSV");
    TrackBarSV->setRange(0, 20);
    TrackBarSV->setTickPosition(QSlider::TicksRight);
    connect(TrackBarSV, &QSlider::valueChanged, this, [this] {
        if (!drawingSV_) TrackBarSVChange();
    });
    gaugePV = Named(new PercentGauge(Qt::yellow, page), "gaugePV");
    gaugeMV = Named(new PercentGauge(Qt::red, page), "gaugeMV");
    auto* bars = new QHBoxLayout;
    bars->addWidget(TrackBarSV);
    bars->addWidget(gaugePV);
    bars->addWidget(gaugeMV);
    grid->addLayout(bars, 4, 0, 4, 2);

    trend = Named(new TrendGraph(page), "trend");
    grid->addWidget(trend, 1, 2, 6, 3);
    btnPause = NamedButton("Pause", "btnPause", page);
    btnPause->setCheckable(true);
    connect(btnPause, &QPushButton::toggled, this, [this](bool on) {
        trend->SetPaused(on);
        btnPause->setText(on ? "Resume" : "Pause");
    });
    grid->addWidget(btnPause, 7, 4);

    edtHigh = NamedEdit("edtHigh", page);
    edtLow = NamedEdit("edtLow", page);
    FilterKeys(edtHigh, kSignedDecimalKeys, [this] { edtHighKeyPress(); });
    FilterKeys(edtLow, kSignedDecimalKeys, [this] { edtLowKeyPress(); });
    grid->addWidget(CaptionLabel("High:", page, edtHigh), 7, 2);
    grid->addWidget(edtHigh, 7, 3);
    grid->addWidget(CaptionLabel("Low:", page, edtLow), 8, 2);
    grid->addWidget(edtLow, 8, 3);

    bitbtnSetting = NamedButton("Setting", "bitbtnSetting", page);
    bitbtnTuning = NamedButton("Tuning", "bitbtnTuning", page);
    grid->addWidget(bitbtnSetting, 8, 0);
    grid->addWidget(bitbtnTuning, 8, 1);
    connect(bitbtnSetting, &QPushButton::clicked, this, [this] { bitbtnSettingClick(); });
    connect(bitbtnTuning, &QPushButton::clicked, this, [this] { bitbtnTuningClick(); });

    edtPVAlarm = NamedEdit("edtPVAlarm", page, 32767, true);
    edtMVAlarm = NamedEdit("edtMVAlarm", page, 32767, true);
    lblPVAlarm = NamedLabel("", "lblPVAlarm", page);
    lblMVAlarm = NamedLabel("", "lblMVAlarm", page);
    SetLamp(lblPVAlarm, false);
    SetLamp(lblMVAlarm, false);
    grid->addWidget(CaptionLabel("PV:", page, edtPVAlarm), 9, 0);
    grid->addWidget(edtPVAlarm, 9, 1);
    grid->addWidget(lblPVAlarm, 9, 2);
    grid->addWidget(CaptionLabel("MV:", page, edtMVAlarm), 10, 0);
    grid->addWidget(edtMVAlarm, 10, 1);
    grid->addWidget(lblMVAlarm, 10, 2);
    return page;
}

// ---- Start ---------------------------------------------------------------------------

void TfrmMR320T::InitModule(const PanelContext& context) {
    Bind(context);
    const bool init = InitMode() && !modbus_;
    for (QWidget* w : {static_cast<QWidget*>(cmbProtocol), static_cast<QWidget*>(cmbTempUnit),
                       static_cast<QWidget*>(cmbIntegration), static_cast<QWidget*>(edtStationID),
                       static_cast<QWidget*>(edtDeviceID)})
        w->setEnabled(init);
    EnableInitControls();
    if (Port()) {
        savedTimeout_ = Port()->GetTimeOut();
        Port()->SetTimeOut(kTimeoutMs);
    }
    module_ = std::make_unique<TavoMR320T>(Port(), WireAddress());
    if (modbus_) {
        link_ = std::make_unique<R320TModbusLink>(*module_, WireAddress());
        MakeGeneralReadOnly("Not available");
        btSystemUpdate->setEnabled(false);
        {
            const QSignalBlocker block(cmbProtocol);
            cmbProtocol->setCurrentIndex(1);
        }
        PollTimer()->setInterval(ModbusPollIntervalMs(Port()));
        // The Modbus map holds none of these settings.
        for (QComboBox* c : {cmbTempUnit, cmbIntegration}) {
            c->clear();
            c->addItem(kNotOverModbus);
            c->setCurrentIndex(0);
        }
        for (QLineEdit* e : {edtStationID, edtDeviceID}) {
            e->setMaxLength(32767);
            e->setText(kNotOverModbus);
        }
        std::string firmware;
        ShowReadOnlyGeneral(Slave().ReadFirmware(firmware) ? std::optional(Std(firmware))
                                                          : std::nullopt);
        ModbusStartReads();
    } else {
        link_ = std::make_unique<R320TAsciiLink>(*module_);
        RefreshAll();
    }
    session_.SetLink(link_.get());
    // The PID table is read by the poll of the PID page, which also checks its scale.
    StartPolling();
}

ModbusSlave& TfrmMR320T::Slave() {
    return static_cast<R320TModbusLink*>(link_.get())->Slave();
}

bool TfrmMR320T::ModbusStartReads() {
    auto& slave = Slave();
    std::vector<std::uint16_t> words;
    std::uint32_t bits = 0;
    bool ok = true;
    // Each read shows what it got; the status names the first that failed.
    const auto step = [&](bool good, const char* message) {
        if (!good && ok) {
            Status(message);
            ok = false;
        }
        return good;
    };
    if (step(slave.ReadRegisters(kInputRegister, 4, words), "Fail to initial AI status!"))
        ShowWords(lstviewInput, kInputRegister, words);
    if (step(slave.ReadCoils(kDICoil, 2, bits), "Fail to initial DI data!"))
        lstviewInput->ShowCoils(kDICoil, 2, bits);
    if (step(slave.ReadRegisters(kOutputRegister, 2, words), "Fail to initial AO status!"))
        ShowWords(lstviewOutput, kOutputRegister, words);
    if (step(slave.ReadCoils(kDOCoil, 2, bits), "Fail to initial DO data!")) ShowDOCoils(bits);
    return ok;
}

void TfrmMR320T::RefreshAll() {
    RefreshGeneral();
    RefreshInputRanges();
    RefreshOutputRanges();
}

bool TfrmMR320T::RefreshGeneral() {
    General general;
    const bool generalOk = ReadGeneral(*module_, general);
    if (generalOk) ShowGeneral(general, Std(general.firmware));
    else Status("Fail to fresh general setting data!");
    // Protocol, unit and integration time are format bits of the "$AA2" just read
    // (none when that read failed: it is not sent again).
    std::string b3, b4, b5, b7, station, device;
    const bool formatOk = !module_->FormatCode().empty() && module_->GetFormatBit(3, b3) &&
                          module_->GetFormatBit(4, b4) && module_->GetFormatBit(5, b5) &&
                          module_->GetFormatBit(7, b7);
    if (formatOk) {
        fahrenheit_ = b3 == "1";
        cmbTempUnit->setCurrentIndex(fahrenheit_ ? 1 : 0);
        const int protocol = (b5 == "1" ? 2 : 0) + (b4 == "1" ? 1 : 0);
        cmbProtocol->setCurrentIndex(protocol < 3 ? protocol : -1);
        cmbIntegration->setCurrentIndex(b7 == "1" ? 1 : 0);
    } else if (generalOk) {
        Status("Fail to fresh protocol data!");
    }
    const bool bacnetOk = module_->ReadBACnet(station, device);
    if (bacnetOk) {
        edtStationID->setText(QString::number(HexOrZero(station)));
        edtDeviceID->setText(QString::number(HexOrZero(device)));
    }
    return generalOk && formatOk && bacnetOk;
}

void TfrmMR320T::FillInputRangeItems(bool fahrenheit) {
    QStringList items;
    for (const RangeItem& item :
         RangeItems(fahrenheit ? RangeList::R320TInputFahrenheit : RangeList::R320TInput))
        items << item.text;
    for (QComboBox* c : cmbRngCh) {
        const QSignalBlocker block(c);
        const int at = c->currentIndex();
        c->clear();
        c->addItems(items);
        c->setCurrentIndex(at);
    }
}

bool TfrmMR320T::RefreshInputRanges() {
    FillInputRangeItems(fahrenheit_);
    const auto items = RangeItems(RangeList::R320TInput);
    bool ok = true;
    for (int ch = 0; ch < 4; ++ch) {
        std::string text;
        int index = -1;
        if (module_->ReadChannelRange(ch, text) && text.size() >= 2) {
            const unsigned code = HexOrZero(text.substr(text.size() - 2));
            for (std::size_t k = 0; k < items.size(); ++k)
                if (static_cast<unsigned>(items[k].code) == code) index = static_cast<int>(k);
        } else {
            ok = false;
        }
        cmbRngCh[static_cast<std::size_t>(ch)]->setCurrentIndex(index);
    }
    std::string mask;
    if (module_->ReadChannelEnable(mask)) {
        const unsigned bits = HexOrZero(mask);
        for (int ch = 0; ch < 4; ++ch) chkCh[static_cast<std::size_t>(ch)]->setChecked((bits >> ch) & 1);
    } else {
        ok = false;
    }
    return ok;
}

bool TfrmMR320T::RefreshOutputRanges() {
    bool ok = true;
    for (int n = 0; n < 2; ++n) {
        const auto i = static_cast<std::size_t>(n);
        std::string text;
        // "C{n}R{tt}": codes 30 to 32 are the list's three ranges.
        const int index = module_->ReadOutputRange(n, text) && text.size() >= 2
                              ? static_cast<int>(HexOrZero(text.substr(text.size() - 2))) - 0x30
                              : -1;
        if (index < 0 || index > 2) {
            ok = false;
            continue;
        }
        outRange_[i] = index;
        {
            const QSignalBlocker block(cmbOutRng[i]);
            cmbOutRng[i]->setCurrentIndex(index);
        }
        ShowOutputScale(n);
    }
    return ok;
}

// ---- Poll ----------------------------------------------------------------------------

void TfrmMR320T::Timer1Timer() {
    if (!ready_ || !module_) return;
    ready_ = false;
    bool ok = false;
    const QWidget* page = pgCtrlMain->currentWidget();
    const QString name = page ? page->objectName() : QString();
    if (name == "tbshtInput") {
        ok = modbus_ ? PollModbusMap(true) : PollInput();
    } else if (name == "tbshtOutput") {
        ok = modbus_ ? PollModbusMap(false) : PollOutput();
    } else if (name == "tbshtPID") {
        ok = PollPID();
        if (scaleInvalid_) return; // the timer stays stopped, the flag clear
    } else {
        ok = true;
    }
    Heartbeat(ok);
    ready_ = true;
}

bool TfrmMR320T::PollInput() {
    std::string mask, all, status, out1, out2;
    std::vector<std::string> fields;
    int failed = 0;
    if (!module_->ReadChannelEnable(mask)) failed = 1;
    else if (!module_->ReadAll(all) || !CutFields(all, kInputs, fields)) failed = 2;
    else if (!module_->ReadChannelStatus(status) || status.size() < 4) failed = 3;
    else if (!module_->ReadDIO(out1, out2)) failed = 4;
    else if (!module_->ReadConfig()) failed = 5;
    if (failed) {
        Status(QString("Fail to fresh Input data! (%1)").arg(failed));
        return false;
    }
    std::string b3;
    module_->GetFormatBit(3, b3);
    // Also when the start-up could not read the unit: the first good read shows it.
    if ((b3 == "1") != fahrenheit_ || cmbTempUnit->currentIndex() < 0) {
        fahrenheit_ = b3 == "1";
        cmbTempUnit->setCurrentIndex(fahrenheit_ ? 1 : 0);
        FillInputRangeItems(fahrenheit_);
    }
    const unsigned enabled = HexOrZero(mask);
    const auto items = RangeItems(RangeList::R320TInput);
    for (int ch = 0; ch < 4; ++ch) {
        const auto i = static_cast<std::size_t>(ch);
        if (!((enabled >> ch) & 1)) {
            SetField(edtCh[i], "", Qt::white, Qt::black);
            continue;
        }
        const int index = cmbRngCh[i]->currentIndex();
        const unsigned code = index >= 0 ? items[static_cast<std::size_t>(index)].code : 0;
        const QString unit = QString(" ") + InputUnit(static_cast<int>(code), fahrenheit_);
        const InputStatus s = InputStatusOf(status[i]);
        if (s == InputStatus::Normal) SetField(edtCh[i], Std(fields[i]) + unit, Qt::green, Qt::black);
        else if (s == InputStatus::OverHigh) SetField(edtCh[i], "Over(H)", Qt::red, Qt::white);
        else if (s == InputStatus::OverLow) SetField(edtCh[i], "Over(L)", Qt::blue, Qt::white);
        else SetField(edtCh[i], "Invalid(R)", Qt::blue, Qt::white);
    }
    const unsigned di = HexOrZero(out2);
    if (di != diBits_) {
        diBits_ = di;
        for (int n = 0; n < 2; ++n) SetLamp(bitbtnDI[static_cast<std::size_t>(n)], (di >> n) & 1);
    }
    Status("Polling Input data...", Qt::red);
    return true;
}

bool TfrmMR320T::PollOutput() {
    std::string text, out1, out2;
    std::vector<std::string> fields;
    if (!module_->ReadOutputs(text) || !CutFields(text, kOutputs, fields) ||
        !module_->ReadDIO(out1, out2)) {
        Status("Fail to fresh output data!");
        return false;
    }
    for (int n = 0; n < 2; ++n)
        ShowText(edtAO[static_cast<std::size_t>(n)], Std(fields[static_cast<std::size_t>(n)]));
    const unsigned dos = HexOrZero(out1);
    for (int n = 0; n < 2; ++n) SetLamp(bitbtnDO[static_cast<std::size_t>(n)], (dos >> n) & 1);
    Status("Polling output data...", Qt::red);
    return true;
}

bool TfrmMR320T::PollModbusMap(bool inputs) {
    auto& slave = Slave();
    ModbusMapList* list = inputs ? lstviewInput : lstviewOutput;
    const int coil = inputs ? kDICoil : kDOCoil, reg = inputs ? kInputRegister : kOutputRegister;
    const int regs = inputs ? 4 : 2;
    std::uint32_t bits = 0;
    std::vector<std::uint16_t> words;
    const bool coilsOk = slave.ReadCoils(coil, 2, bits);
    const bool regsOk = coilsOk && slave.ReadRegisters(reg, regs, words);
    if (!coilsOk) list->FailCoils(coil, 2);
    else if (inputs) list->ShowCoils(coil, 2, bits);
    else ShowDOCoils(bits);
    if (regsOk) ShowWords(list, reg, words);
    else
        for (int i = 0; i < regs; ++i) list->SetValue(RegisterLocation(reg + i), ModbusMapList::kFailed);
    const bool ok = coilsOk && regsOk;
    if (ok) Status(inputs ? "Polling Input data..." : "Polling output data...", Qt::red);
    else Status(inputs ? "Fail to fresh Input data!" : "Fail to fresh Output data!");
    return ok;
}

void TfrmMR320T::ShowWords(ModbusMapList* list, int first, const std::vector<std::uint16_t>& words) {
    for (std::size_t i = 0; i < words.size(); ++i)
        list->SetValue(RegisterLocation(first + static_cast<int>(i)), QString::number(words[i]));
}

// The DO coils in the map and on the DO buttons' lamps.
void TfrmMR320T::ShowDOCoils(std::uint32_t bits) {
    lstviewOutput->ShowCoils(kDOCoil, 2, bits);
    for (int n = 0; n < 2; ++n) SetLamp(bitbtnDO[static_cast<std::size_t>(n)], (bits >> n) & 1);
}

bool TfrmMR320T::PollPID() {
    if (!link_->ReadBlock(session_.Loop(), block_, session_.Table())) {
        Status("Fail to fresh PID data!");
        return false;
    }
    Status("Polling PID data...", Qt::red);
    block_ = (block_ + 1) % link_->Blocks();
    if (block_ == 0 && !RedrawPID()) return false;
    return true;
}

void TfrmMR320T::ShowScale() {
    const LoopScale& s = session_.Scale();
    if (!edtHigh->hasFocus()) ShowText(edtHigh, QString::asprintf("%.2f", s.high));
    if (!edtLow->hasFocus()) ShowText(edtLow, QString::asprintf("%.2f", s.low));
}

bool TfrmMR320T::RedrawPID() {
    const LoopView v = session_.Compute();
    if (v.invalidScale) {
        // No page polls until the scale is corrected or another page is shown.
        StopPolling();
        ready_ = false;
        scaleInvalid_ = true;
        Error(Text("Hi-Lo range setting is invalid!", "Hi-Lo range Setting is invalid!"));
        return false;
    }
    ResumePolling();
    ShowScale();
    {
        const QSignalBlocker block(cboxControl);
        const int mode = session_.PIDVal(kMode);
        cboxControl->setCurrentIndex(mode >= 0 && mode <= 2 ? mode : -1);
    }
    if (!edtSV->hasFocus()) ShowText(edtSV, Std(session_.LongToFloatStr(kSV)));
    ShowText(edtPV, session_.PIDVal(kPVInvalid) ? "*****" : Std(session_.LongToFloatStr(kPV)));
    if (!edtMV->hasFocus()) ShowText(edtMV, QString::asprintf("%.1f", v.mv));
    drawingSV_ = true;
    TrackBarSV->setValue(static_cast<int>(std::lround(std::clamp(v.sv, 0.0, 100.0) / 5.0)));
    drawingSV_ = false;
    gaugePV->SetPercent(v.pv);
    gaugeMV->SetPercent(v.mv);
    trend->AddPoint(v.sv, v.pv, v.mv);
    ShowAlarm(edtPVAlarm, lblPVAlarm, kPVAlarmTexts, 5, session_.PIDVal(kPVAlarmState));
    ShowAlarm(edtMVAlarm, lblMVAlarm, kMVAlarmTexts, 3, session_.PIDVal(kMVAlarmState));
    return true;
}

void TfrmMR320T::ResumePolling() {
    if (!scaleInvalid_) return;
    scaleInvalid_ = false;
    ready_ = true;
    StartPolling();
}

bool TfrmMR320T::ReadShownLoop() {
    for (int b = 0; b < link_->Blocks(); ++b)
        if (!link_->ReadBlock(session_.Loop(), b, session_.Table())) {
            Status("Fail to fresh PID data!");
            return false;
        }
    return true;
}

void TfrmMR320T::RedrawIfScaleValid() {
    if (session_.ScaleValid()) RedrawPID();
}

// ---- PID page edits ------------------------------------------------------------------

void TfrmMR320T::cboxLoopChange() {
    bool read = false;
    {
        Operation op(*this);
        session_.SetLoop(cboxLoop->currentIndex());
        block_ = 0;
        trend->Clear();
        read = ReadShownLoop();
    }
    // A whole pass of the new loop, checked as the poll checks its passes.
    if (read) RedrawPID();
}

void TfrmMR320T::cboxControlChange() {
    Operation op(*this);
    const std::string error = session_.SetMode(cboxControl->currentIndex());
    if (!error.empty()) Error(Std(error));
}

void TfrmMR320T::edtSVKeyPress() {
    Operation op(*this);
    const std::string error = session_.EditSV(edtSV->text().toStdString());
    if (!error.empty()) Error(Std(error));
}

void TfrmMR320T::edtMVKeyPress() {
    Operation op(*this);
    bool written = false;
    const std::string error = session_.EditMV(edtMV->text().toStdString(), written);
    if (!error.empty()) Error(Std(error));
    if (written) edtSV->setFocus();
}

void TfrmMR320T::edtHighKeyPress() {
    ScaleEdited(session_.EditHigh(edtHigh->text().toStdString()), edtHigh);
}

void TfrmMR320T::edtLowKeyPress() {
    ScaleEdited(session_.EditLow(edtLow->text().toStdString()), edtLow);
}

void TfrmMR320T::ScaleEdited(const std::string& error, QLineEdit* edit) {
    if (!error.empty()) Error(Std(error));
    edit->clearFocus();
    if (error.empty() && scaleInvalid_) RedrawIfScaleValid();
    ShowScale();
}

void TfrmMR320T::TrackBarSVChange() {
    const LoopScale& s = session_.Scale();
    const double sv = s.low + TrackBarSV->value() * (s.high - s.low) / 20.0;
    edtSV->setText(QString::asprintf("%.3f", sv));
    edtSVKeyPress();
}

template <class Dialog> void TfrmMR320T::RunLoopDialog() {
    {
        Operation op(*this);
        // The dialog shows and checks against the loop as the module has it now.
        if (!ReadShownLoop()) {
            Error("Fail to fresh PID data!");
            return;
        }
        Dialog dialog(session_, this);
        dialog.Run();
    }
    // What the dialog wrote may have mended the scale; a scale still without a
    // width is left to the next pass of the PID page to report.
    RedrawIfScaleValid();
}

void TfrmMR320T::bitbtnSettingClick() {
    RunLoopDialog<TfrmMR320TSet>();
}

void TfrmMR320T::bitbtnTuningClick() {
    RunLoopDialog<TfrmMR320TTun>();
}

void TfrmMR320T::pgCtrlMainChange() {
    block_ = 0;
    // The Input and Output pages do not use the PID table; the PID page checks
    // its scale again at the end of its next pass.
    ResumePolling();
}

// ---- Input page ----------------------------------------------------------------------

void TfrmMR320T::bitbtnRngCh0Click(int ch) {
    if (modbus_) return; // no such control on the Modbus form
    const int index = cmbRngCh[static_cast<std::size_t>(ch)]->currentIndex();
    const auto items = RangeItems(RangeList::R320TInput);
    if (index < 0 || static_cast<std::size_t>(index) >= items.size()) return;
    bool ok = false;
    {
        Operation op(*this, bitbtnRngCh[static_cast<std::size_t>(ch)]);
        ok = module_->SetChannelRange(ch, static_cast<int>(items[static_cast<std::size_t>(index)].code));
        if (!ok) Error(Text("Failed to set data to R320T!", "Failure to set data to R320T!"));
        RefreshInputRanges();
    }
    if (ok) Information("Change input range done!");
}

void TfrmMR320T::bitbtnChEnClick() {
    if (modbus_) return; // no such control on the Modbus form
    int mask = 0;
    for (int ch = 0; ch < 4; ++ch)
        if (chkCh[static_cast<std::size_t>(ch)]->isChecked()) mask |= 1 << ch;
    bool ok = false;
    {
        Operation op(*this, bitbtnChEn);
        ok = module_->SetChannelEnable(mask);
        if (!ok) Error("Change channel failed!");
        RefreshInputRanges();
    }
    if (ok) Information("Change channel done!");
}

void TfrmMR320T::RunCalibration(int mode) {
    if (modbus_) return; // no such control on the Modbus form
    Operation op(*this);
    TfrmMR320TCal dialog(*module_, mode, this);
    if (mode <= 1) {
        std::string code;
        dialog.SetInputRange(module_->ReadChannelRange(0, code) ? static_cast<int>(HexOrZero(code)) : -1);
    } else {
        dialog.SetOutputRange(outRange_[static_cast<std::size_t>((mode - 2) / 2)]);
    }
    dialog.Run();
}

// ---- Output page ---------------------------------------------------------------------

bool TfrmMR320T::LoopAllowsOutput(int n, bool outputButton) {
    std::int32_t mode = 0;
    if (!link_->ReadEntry(EntryId(n, kMode), mode)) {
        Error("Read data failed!");
        return false;
    }
    if (mode != kAuto) return true;
    const char* tail = outputButton && !modbus_ ? " control mode to 'Free' or 'Maunal' first!"
                                                : " control mode to 'Free' or 'Manual' first!";
    Error(QString("Please change PID loop-%1%2").arg(n).arg(tail));
    return false;
}

void TfrmMR320T::ShowOutputScale(int n) {
    const auto i = static_cast<std::size_t>(n);
    const int r = std::clamp(cmbOutRng[i]->currentIndex(), 0, 2);
    const OutputScale& s = kOutputScales[r];
    for (int k = 0; k < 3; ++k) lblScale[i][static_cast<std::size_t>(k)]->setText(s.labels[k]);
    edtValue[i]->setText(s.start);
    btnOutZero[i]->setText(s.trimZero);
    btnOutSpan[i]->setText(s.trimSpan);
    const QSignalBlocker block(TrackBar[i]);
    TrackBar[i]->setValue(0);
}

double TfrmMR320T::OutputValue(int n) const {
    const auto i = static_cast<std::size_t>(n);
    return OutputAtStep(*R310Range(0x30 + std::clamp(cmbOutRng[i]->currentIndex(), 0, 2)),
                        TrackBar[i]->value());
}

void TfrmMR320T::TrackBar0Change(int n) {
    edtValue[static_cast<std::size_t>(n)]->setText(QString::asprintf("%6.3f", OutputValue(n)));
}

void TfrmMR320T::TrimStep(int n, int step) {
    QSlider* bar = TrackBar[static_cast<std::size_t>(n)];
    bar->setValue(std::clamp(bar->value() + step, 0, 4095));
}

void TfrmMR320T::bitbtnUpdate0Click(int n) {
    if (modbus_) return; // no such control on the Modbus form
    const auto i = static_cast<std::size_t>(n);
    bool ok = false;
    {
        Operation op(*this, bitbtnUpdate[i]);
        if (!LoopAllowsOutput(n, false)) {
            const QSignalBlocker block(cmbOutRng[i]);
            cmbOutRng[i]->setCurrentIndex(outRange_[i]);
            ShowOutputScale(n);
            return;
        }
        ok = module_->SetOutputRange(n, 0x30 + cmbOutRng[i]->currentIndex());
        if (!ok) Error(Text("Fail to set data to R320T!", "Fail to write data to R320T!"));
        RefreshOutputRanges();
    }
    if (ok) Information(QString::asprintf("Setting for AO CH:%d of R320T done!", n));
}

void TfrmMR320T::btnValueOutput0Click(int n) {
    bool ok = false;
    {
        const auto i = static_cast<std::size_t>(n);
        Operation op(*this, btnValueOutput[i]);
        if (!LoopAllowsOutput(n, true)) return;
        // The register takes the track bar's 0 to 4095 of the output's range.
        ok = modbus_ ? Slave().WriteRegister(kOutputRegister + n,
                                             static_cast<std::uint16_t>(TrackBar[i]->value()))
                     : module_->WriteOutput(
                           n, QString::asprintf("%06.3f", OutputValue(n)).toStdString());
        if (!ok) Error(Text("Failed to set data to R320T!", "Failure to set data to R320T!"));
    }
    if (ok) Information("Set data to R320T done!");
}

void TfrmMR320T::btnOutSpan0Click(int n, bool span) {
    {
        Operation op(*this);
        if (!LoopAllowsOutput(n, true)) return;
    }
    RunCalibration(2 + 2 * n + (span ? 1 : 0));
}

void TfrmMR320T::bitbtnDO0Click(int n) {
    Operation op(*this, bitbtnDO[static_cast<std::size_t>(n)]);
    if (!LoopAllowsOutput(n, false)) return;
    const bool on = !LampOn(bitbtnDO[static_cast<std::size_t>(n)]);
    const bool written = modbus_
                             ? Slave().WriteCoil(kDOCoil + n, on)
                             : module_->WriteDO(n, on);
    if (!written) {
        Error(Text("Failed to set data to R320T!", "Failure to set data to R320T!"));
        return;
    }
    SetLamp(bitbtnDO[static_cast<std::size_t>(n)], on);
}

// ---- General page --------------------------------------------------------------------

void TfrmMR320T::btSystemUpdateClick() {
    if (!module_ || modbus_) return;
    bool ok = false;
    {
        Operation op(*this, btSystemUpdate);
        int address = 0;
        if (!ReadNewAddress(edtAddress_Dec->text(), address)) return;
        const auto station = ParseDigits(edtStationID->text(), 31);
        const auto device = ParseDigits(edtDeviceID->text(), 4194303);
        if (InitMode()) {
            if (!station || *station > 31) {
                Error("Please input dicimal BACnet station instance between 0 and 31!");
                return;
            }
            if (!device || *device > 4194303) {
                Error("Please input dicimal BACnet device instance between 0 and 4194303!");
                return;
            }
        }
        ConfigSteps steps;
        steps.ready = [this](bool initMode) {
            return !initMode || (!SelectedBaudCode().empty() && cmbProtocol->currentIndex() >= 0 &&
                                 cmbTempUnit->currentIndex() >= 0 &&
                                 cmbIntegration->currentIndex() >= 0);
        };
        steps.prepare = [this](bool initMode) {
            if (!initMode) return;
            module_->SetBaudCode(SelectedBaudCode());
            module_->SetFormatBit6(chkCheckSum->isChecked() ? '1' : '0');
            const int protocol = cmbProtocol->currentIndex();
            module_->SetFormatBit(4, protocol == 1 ? '1' : '0');
            module_->SetFormatBit(5, protocol == 2 ? '1' : '0');
            module_->SetFormatBit(3, cmbTempUnit->currentIndex() == 1 ? '1' : '0');
            module_->SetFormatBit(7, cmbIntegration->currentIndex() == 1 ? '1' : '0');
        };
        if (WriteGeneralSettings(address, {module_.get()}, steps) == ConfigWrite::Written) {
            ok = true;
            if (InitMode() && cmbProtocol->currentIndex() == 2 &&
                !module_->SetBACnet(static_cast<int>(*station), static_cast<int>(*device))) {
                Error("Update BACnet instance failed!");
                ok = false;
            }
        }
        RefreshAll();
    }
    if (ok) Information("Update General Setting succeeded!");
}

} // namespace tavo
