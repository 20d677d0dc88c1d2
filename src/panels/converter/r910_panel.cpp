#include "r910_panel.h"

#include "panels/common/edit_controls.h"
#include "panels/common/form_controls.h"

#include "devices/hex_codes.h"
#include "devices/r910.h"

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

#include <cstring>

namespace tavo {
namespace {

constexpr char kDelimiters[] = ":[]^{|}~";
constexpr int kStepPauseMs = 20;
constexpr int kRefreshTries = 3;
constexpr int kRefreshAllPauseMs = 40;
constexpr int kWriteTries = 3;
constexpr int kPollMs = 1000;

const QStringList kBaudItems = {"300",  "600",   "1200",  "2400",  "4800",
                                "9600", "19200", "38400", "57600", "115200"};

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

void SelectIfValid(QComboBox* combo, int index) {
    if (index >= 0 && index < combo->count()) combo->setCurrentIndex(index);
}

} // namespace

TfrmMR910::TfrmMR910(QWidget* parent) : PanelBase(parent) {
    auto* top = new QVBoxLayout(this);
    grpModule = NamedGroup(" Tavo-R910 ", "grpModule", this);
    top->addWidget(grpModule);
    auto* main = new QVBoxLayout(grpModule);

    auto* general = NamedGroup(" General Setting ", "grpGeneralSetting", grpModule);
    main->addWidget(general);
    auto* grid = new QGridLayout(general);
    int row = 0;
    edtAddress_Hex = NamedEdit("edtAddress_Hex", general, 3, true);
    edtAddress_Dec = NamedEdit("edtAddress_Dec", general, 3);
    FilterKeys(edtAddress_Dec, kDigitKeys);
    UpDownTAVO_ID = Named(new UpDown(edtAddress_Dec, 0, 255, general), "UpDownTAVO_ID");
    auto* address = new QHBoxLayout;
    address->addWidget(CaptionLabel("HEX", general));
    address->addWidget(edtAddress_Hex);
    address->addWidget(CaptionLabel("DEC", general, edtAddress_Dec));
    address->addWidget(edtAddress_Dec);
    address->addWidget(UpDownTAVO_ID);
    grid->addWidget(CaptionLabel("Address :", general), row, 0);
    grid->addLayout(address, row++, 1);
    QStringList delimiters;
    for (const char* d = kDelimiters; *d; ++d)
        delimiters << QString(QChar(*d));
    cmbCmdDel = NamedCombo("cmbCmdDel", delimiters, general);
    grid->addWidget(CaptionLabel("Command &Delimiter : ", general, cmbCmdDel), row, 0);
    grid->addWidget(cmbCmdDel, row++, 1);
    chkAddcr = Named(new QCheckBox("Add (cr)", general), "chkAddcr");
    grid->addWidget(chkAddcr, row++, 1);
    cmbAddressable = NamedCombo("cmbAddressable", {"Addressable", "Non-Addressable"}, general);
    grid->addWidget(cmbAddressable, row++, 1);
    btGeneralSetUpdate = NamedButton("Update", "btGeneralSetUpdate", general);
    grid->addWidget(btGeneralSetUpdate, row++, 1);
    connect(cmbAddressable, &QComboBox::currentIndexChanged, this,
            [this] { cmbAddressableChange(); });
    connect(btGeneralSetUpdate, &QPushButton::clicked, this, [this] { btGeneralSetUpdateClick(); });

    auto* identification = NamedGroup(" Identification ", "grpIdentification", grpModule);
    main->addWidget(identification);
    auto* idRow = new QHBoxLayout(identification);
    edtIdentification =
        NamedEdit("edtIdentification", identification, TavoMR910::kMaxIdentification);
    btIdentificationUpdate = NamedButton("Update", "btIdentificationUpdate", identification);
    idRow->addWidget(edtIdentification);
    idRow->addWidget(btIdentificationUpdate);
    connect(edtIdentification, &QLineEdit::returnPressed, this,
            [this] { btIdentificationUpdateClick(); });
    connect(btIdentificationUpdate, &QPushButton::clicked, this,
            [this] { btIdentificationUpdateClick(); });

    lblFirmware = NamedLabel("Firmware Ver :", "lblFirmware", grpModule);
    main->addWidget(lblFirmware);

    auto* gate = NamedGroup(" Gate Time ", "grpGateTime", grpModule);
    main->addWidget(gate);
    auto* gateRow = new QHBoxLayout(gate);
    edtGateTime = NamedEdit("edtGateTime", gate, 5);
    FilterKeys(edtGateTime, kDigitKeys, [this] { btGateTimeUpdateClick(); });
    btGateTimeUpdate = NamedButton("Update", "btGateTimeUpdate", gate);
    gateRow->addWidget(edtGateTime);
    gateRow->addWidget(new QLabel("10ms/Unit", gate));
    gateRow->addWidget(btGateTimeUpdate);
    connect(btGateTimeUpdate, &QPushButton::clicked, this, [this] { btGateTimeUpdateClick(); });

    auto* lines = new QHBoxLayout;
    main->addLayout(lines);
    auto* rs232 = NamedGroup(" RS-232 ", "grpRS232", grpModule);
    lines->addWidget(rs232);
    auto* g232 = new QGridLayout(rs232);
    cmb232Baud = NamedCombo("cmb232Baud", kBaudItems, rs232);
    cmb232DataBits = NamedCombo("cmb232DataBits", {"5 bits", "6 bits", "7 bits", "8 bits"}, rs232);
    cmb232Parity = NamedCombo("cmb232Parity", {"None", "Odd", "Even"}, rs232);
    cmb232StopBits = NamedCombo("cmb232StopBits", {"1", "1.5"}, rs232);
    btUpdateRS232 = NamedButton("Update", "btUpdateRS232", rs232);
    int r = 0;
    for (auto [caption, combo] :
         {std::pair{"Baud Rate :", cmb232Baud}, std::pair{"Data Bits :", cmb232DataBits},
          std::pair{"Parity :", cmb232Parity}, std::pair{"Stop Bits :", cmb232StopBits}}) {
        g232->addWidget(CaptionLabel(caption, rs232, combo), r, 0);
        g232->addWidget(combo, r++, 1);
    }
    g232->addWidget(btUpdateRS232, r, 1);
    connect(btUpdateRS232, &QPushButton::clicked, this, [this] { btUpdateRS232Click(); });

    auto* rs485 = NamedGroup(" RS-422/485 ", "grpRS485", grpModule);
    lines->addWidget(rs485);
    auto* g485 = new QGridLayout(rs485);
    cmb485Baud = NamedCombo("cmb485Baud", kBaudItems, rs485);
    cmbProtocol = NamedCombo("cmbProtocol", {"RS-422", "RS-485"}, rs485);
    btUpdateRS485 = NamedButton("Update", "btUpdateRS485", rs485);
    g485->addWidget(CaptionLabel("Baud Rate :", rs485, cmb485Baud), 0, 0);
    g485->addWidget(cmb485Baud, 0, 1);
    g485->addWidget(CaptionLabel("Protocol :", rs485, cmbProtocol), 1, 0);
    g485->addWidget(cmbProtocol, 1, 1);
    g485->addWidget(btUpdateRS485, 2, 1);
    connect(btUpdateRS485, &QPushButton::clicked, this, [this] { btUpdateRS485Click(); });

    btRefresh = NamedButton("&Refresh All", "btRefresh", grpModule);
    main->addWidget(btRefresh, 0, Qt::AlignLeft);
    connect(btRefresh, &QPushButton::clicked, this, [this] { btRefreshClick(); });

    tmrPollingModule = MakePollTimer("tmrPollingModule", kPollMs);
    connect(tmrPollingModule, &QTimer::timeout, this, [this] { tmrPollingModuleTimer(); });
}

TfrmMR910::~TfrmMR910() = default;

void TfrmMR910::InitModule(const PanelContext& context) {
    StopPolling();
    Bind(context);
    // The line settings and the addressing mode only change in the INIT state.
    for (QWidget* w :
         std::initializer_list<QWidget*>{cmb232Baud, cmb485Baud, cmb232DataBits, cmb232Parity,
                                         cmb232StopBits, cmbProtocol, cmbAddressable})
        w->setEnabled(InitMode());
    tags_[kGeneral] = tags_[kRS232] = tags_[kRS485] = 1;
    module_ = std::make_unique<TavoMR910>(Port(), WireAddress());
    if (!Refresh()) Refresh();
    StartPolling();
}

bool TfrmMR910::Twice(const std::function<bool()>& step, int pauseMs) {
    if (step()) return true;
    Pause(pauseMs);
    return step();
}

// ---------------------------------------------------------------- reading

bool TfrmMR910::ReadConfiguration() {
    std::string address;
    if (!module_->ReadConfigAddress(address) || !IsHexCode(address)) return false;
    // From a fresh read: the held copy may be older than what the converter has.
    module_->ClearConverterConfig();
    if (!module_->ReadConverterConfig()) return false;
    bool nonAddressable = false, rs485 = false, addCR = false;
    int baud232 = 0, baud485 = 0, format = 0;
    if (!module_->GetNonAddressable(nonAddressable) || !module_->GetRS485(rs485) ||
        !module_->GetAddCR(addCR) || !module_->GetRS232Baud(baud232) ||
        !module_->GetRS485Baud(baud485) || !module_->GetFormatByte(format))
        return false;
    if (tags_[kGeneral] == 1) {
        cmbAddressable->setCurrentIndex(nonAddressable ? 1 : 0);
        // In the INIT state the converter is talked to at 00; the field shows the
        // address it will take when the jumper is removed.
        edtAddress_Hex->setText(InitMode() ? "*" + Q(address) : Q(address));
        const int dec = static_cast<int>(HexOrZero(address));
        edtAddress_Dec->setText(QString::number(dec));
        UpDownTAVO_ID->SetPosition(dec);
        chkAddcr->setChecked(addCR);
        cmbAddressableChange();
    }
    if (tags_[kRS232] == 1) {
        SelectIfValid(cmb232Baud, baud232 - 1);
        int dataBits = 0, parity = 0, stopBits = 0;
        TavoMR910::SplitFormatByte(format, dataBits, parity, stopBits);
        SelectIfValid(cmb232DataBits, dataBits);
        SelectIfValid(cmb232Parity, parity);
        SelectIfValid(cmb232StopBits, stopBits);
    }
    if (tags_[kRS485] == 1) {
        SelectIfValid(cmb485Baud, baud485 - 1);
        cmbProtocol->setCurrentIndex(rs485 ? 1 : 0);
    }
    return true;
}

bool TfrmMR910::Refresh() {
    if (!module_) return false;
    bool all = true;
    const auto step = [&](bool ok, const char* failText) {
        if (!ok) {
            Status(failText);
            all = false;
        }
    };
    std::string text;
    step(Twice([&] { return module_->ReadIdentification(text); }) &&
             (edtIdentification->setText(Q(text)), true),
         "Fail to read Identification!");
    Pause(kStepPauseMs);
    step(Twice([&] {
             if (!module_->ReadGateTime(text) || !IsHexField(text, 4)) return false;
             edtGateTime->setText(QString::number(HexOrZero(text)));
             return true;
         }),
         "Fail to read GateTime!");
    Pause(kStepPauseMs);
    if (tags_[kGeneral] == 1) {
        step(Twice([&] {
                 if (!module_->ReadDelimiter(text) || text.empty()) return false;
                 const char* at = std::strchr(kDelimiters, text[0]);
                 if (!at || text[0] == 0) return false;
                 cmbCmdDel->setCurrentIndex(static_cast<int>(at - kDelimiters));
                 return true;
             }),
             "Fail to read Identification!");
        Pause(kStepPauseMs);
    }
    step(Twice([&] { return module_->ReadFirmwareVersion(text); }) &&
             (lblFirmware->setText("Firmware Ver : " + Q(text)), true),
         "Fail to read Firmware Version!");
    Pause(kStepPauseMs);
    step(Twice([&] { return ReadConfiguration(); }), "Fail to read Configuration Status!");
    return all;
}

void TfrmMR910::tmrPollingModuleTimer() {
    if (!module_) return;
    std::string name;
    PollStatus(module_->ReadModuleName(name), "Polling R910 ...", "Polling R910 Fail!");
}

void TfrmMR910::btRefreshClick() {
    if (!module_) return;
    Operation op(*this, btRefresh);
    module_->ClearConverterConfig();
    bool ok = false;
    for (int i = 0; i < kRefreshTries && !ok; ++i) {
        if (i > 0) Pause(kRefreshAllPauseMs);
        ok = Refresh();
    }
    if (ok)
        Information("Refersh succeeded!");
    else
        Error("Error occurred during Refresh!");
}

void TfrmMR910::cmbAddressableChange() {
    const bool addressable = cmbAddressable->currentIndex() == 0;
    for (QWidget* w :
         std::initializer_list<QWidget*>{cmbCmdDel, edtAddress_Dec, UpDownTAVO_ID, chkAddcr})
        w->setEnabled(addressable);
}

// ---------------------------------------------------------------- single writes

void TfrmMR910::btIdentificationUpdateClick() {
    if (!module_) return;
    Operation op(*this, btIdentificationUpdate);
    const std::string text = edtIdentification->text().toStdString();
    if (Twice([&] { return module_->SetIdentification(text); }, kStepPauseMs))
        Information("Update succeeded!");
    else
        Error("Error occurred during Update!");
}

void TfrmMR910::btGateTimeUpdateClick() {
    if (!module_) return;
    Operation op(*this, btGateTimeUpdate);
    const auto units = ParseDigits(edtGateTime->text().trimmed(), 0xFFFF);
    if (!units || *units > 0xFFFF) {
        Error("Please input valid Gate Time!(0~65535)");
        Refresh();
        return;
    }
    if (Twice([&] { return module_->SetGateTime(static_cast<long>(*units)); }, kStepPauseMs))
        Information("Update succeeded!");
    else
        Error("Error occurred during Update!");
}

// ---------------------------------------------------------------- group writes

bool TfrmMR910::ReadDecimalAddress(int& address) {
    const auto value = ParseDigits(edtAddress_Dec->text().trimmed(), 255);
    if (!value || *value > 255) return false;
    address = static_cast<int>(*value);
    return true;
}

bool TfrmMR910::WriteGeneral() {
    const char delimiter = kDelimiters[std::max(0, cmbCmdDel->currentIndex())];
    if (!Twice([&] { return module_->SetDelimiter(delimiter); }, kStepPauseMs)) return false;
    int address = 0;
    if (!ReadDecimalAddress(address)) return false;
    // The held fields first: when they have to be read again, the read must reach
    // the converter, not whatever answers at the typed address.
    if (!module_->SetNonAddressable(cmbAddressable->currentIndex() == 1) ||
        !module_->SetAddCR(chkAddcr->isChecked()))
        return false;
    module_->SetAddress(Hex2(address).toStdString());
    return module_->Update(InitMode());
}

bool TfrmMR910::WriteRS232() {
    int address = 0;
    if (!ReadDecimalAddress(address)) return false;
    const int format =
        TavoMR910::MakeFormatByte(cmb232DataBits->currentIndex(), cmb232Parity->currentIndex(),
                                  cmb232StopBits->currentIndex());
    if (!module_->SetRS232Baud(cmb232Baud->currentIndex() + 1) || !module_->SetFormatByte(format))
        return false;
    module_->SetAddress(Hex2(address).toStdString());
    return module_->Update(InitMode());
}

bool TfrmMR910::WriteRS485() {
    int address = 0;
    if (!ReadDecimalAddress(address)) return false;
    if (!module_->SetRS485(cmbProtocol->currentIndex() == 1) ||
        !module_->SetRS485Baud(cmb485Baud->currentIndex() + 1))
        return false;
    module_->SetAddress(Hex2(address).toStdString());
    return module_->Update(InitMode());
}

void TfrmMR910::UpdateGroup(Group group, const std::function<bool()>& write, QPushButton* button) {
    if (!module_) return;
    int address = 0;
    if (!ReadDecimalAddress(address)) {
        Error("Please input valid address (0~255)!");
        return;
    }
    Operation op(*this, button);
    const std::string before = module_->Address();
    bool ok = false;
    for (int i = 0; i < kWriteTries && !ok; ++i) {
        tags_[group] = 0;
        Refresh();
        ok = write();
        tags_[group] = 1;
        // Whatever step failed, the converter is still where it was: the next try,
        // the poll and the user's next action must not reach another module.
        if (!ok) module_->HoldAddress(before);
    }
    if (ok) {
        Refresh();
        if (!InitMode() && module_->Address() != before) RenameModuleNode(address, "R910");
        Information("Update succeeded!");
    } else {
        Error("Error occurred during Update!");
    }
}

void TfrmMR910::btGeneralSetUpdateClick() {
    UpdateGroup(
        kGeneral, [this] { return WriteGeneral(); }, btGeneralSetUpdate);
}

void TfrmMR910::btUpdateRS232Click() {
    UpdateGroup(
        kRS232, [this] { return WriteRS232(); }, btUpdateRS232);
}

void TfrmMR910::btUpdateRS485Click() {
    UpdateGroup(
        kRS485, [this] { return WriteRS485(); }, btUpdateRS485);
}

} // namespace tavo
