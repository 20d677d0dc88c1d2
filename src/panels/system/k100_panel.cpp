#include "k100_panel.h"

#include "panels/common/edit_controls.h"
#include "panels/common/form_controls.h"

#include "devices/hex_codes.h"
#include "devices/k_series.h"
#include "workspace/core/port_timing.h"
#include "workspace/core/search_engine.h"
#include "workspace/data_paths.h"
#include "workspace/module_tree.h"
#include "workspace/rack_download.h"
#include "workspace/ui_services.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdio>

namespace tavo {
namespace {

const QString kNotSupported = "Not support\nin this version!\nPlease update\nfirmware!";
const QString kMapReadFailed = "Read Modbus setting fail!";
const QString kMapWriteFailed = "Update Modbus Setting fail!";
const QString kGeneralFailed = "Update General Setting failed!";
const QString kCfgFilter = "cfg (*.cfg)";
const QString kCfgSuffix = "cfg";
// A map file is a few hundred bytes; anything much larger is not one.
constexpr qint64 kMapFileLimit = 64 * 1024;

struct SlotModule {
    const char* designation;
    const char* text;
    K100SlotKind kind;
    int defaultLength;
};

// What the controller's slot codes name, and how the address map treats them.
constexpr SlotModule kSlotModules[] = {
    {"K210", "3-channel RTD input module", K100SlotKind::None, 0},
    {"K220", "8-channel analog input module", K100SlotKind::None, 0},
    {"K220H", "8-channel high speed input module", K100SlotKind::None, 0},
    {"K220UH", "8-channel ultra-high speed input module", K100SlotKind::None, 0},
    {"K230", "7-channel thermocouple input module", K100SlotKind::None, 0},
    {"K230+", "7-channel thermocouple input module", K100SlotKind::None, 0},
    {"K310", "4-channel analog output module", K100SlotKind::None, 0},
    {"K510", "16-ch universal digital I/O module", K100SlotKind::None, 0},
    {"K520", "16-channel Digital input module", K100SlotKind::Digital, 16},
    {"K530", "8-ch isolated digital input module", K100SlotKind::Digital, 16},
    {"K540", "8-ch digital input and 8-ch output module", K100SlotKind::Digital, 16},
    {"K550", "16-channel digital output module", K100SlotKind::Digital, 16},
    {"K610", "6-channel relay output module", K100SlotKind::Digital, 8},
    {"K620", "8-channel relay output module", K100SlotKind::Digital, 8},
    {"K630", "8-channel relay output module", K100SlotKind::Digital, 8},
    {"K710", "4-ch Counter/Frequency module", K100SlotKind::Counter, 16},
};

const SlotModule* FindSlotModule(const std::string& designation) {
    for (const auto& m : kSlotModules)
        if (designation == m.designation) return &m;
    return nullptr;
}

int ComSettingIndex(const std::string& code) {
    const auto value = IsHexCode(code) ? HexValue(code) : std::nullopt;
    for (std::size_t i = 0; value && i < TfrmMK100::kComSettingCodes.size(); ++i)
        if (static_cast<int>(*value) == TfrmMK100::kComSettingCodes[i]) return static_cast<int>(i);
    return 0;
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

bool TfrmMK100::IsModbusCapable(const QString& firmware) {
    const std::string text = firmware.toStdString();
    int number = 0;
    return text.size() > 1 && std::sscanf(text.c_str() + 1, "%d", &number) == 1 && number > 2;
}

TfrmMK100::TfrmMK100(QWidget* parent) : PanelBase(parent) {
    BuildForm();
}

TfrmMK100::~TfrmMK100() = default;

void TfrmMK100::BuildForm() {
    auto* top = new QVBoxLayout(this);
    grpModule = NamedGroup("Tavo-K100", "grpModule", this);
    top->addWidget(grpModule);
    auto* main = new QVBoxLayout(grpModule);

    GroupBoxGeneral = NamedGroup("General Setting", "GroupBoxGeneral", grpModule);
    main->addWidget(GroupBoxGeneral);
    auto* grid = new QGridLayout(GroupBoxGeneral);
    const auto caption = [this](const QString& text, QWidget* buddy = nullptr) {
        return CaptionLabel(text, GroupBoxGeneral, buddy);
    };
    EditAddrDec = NamedEdit("EditAddrDec", GroupBoxGeneral, 3, true);
    EditAddrHex = NamedEdit("EditAddrHex", GroupBoxGeneral, 3, true);
    auto* address = new QHBoxLayout;
    address->addWidget(caption("DEC"));
    address->addWidget(EditAddrDec);
    address->addSpacing(8);
    address->addWidget(caption("HEX"));
    address->addWidget(EditAddrHex);
    int row = 0;
    grid->addWidget(caption("Address :"), row, 0);
    grid->addLayout(address, row++, 1);
    ComboBoxBaudRate = NamedCombo("ComboBoxBaudRate", BaudRateItems(), GroupBoxGeneral);
    ComboBoxBaudRate->setCurrentIndex(-1);
    grid->addWidget(caption("Baud Rate :", ComboBoxBaudRate), row, 0);
    grid->addWidget(ComboBoxBaudRate, row++, 1);
    CheckBoxCheckSum = Named(new QCheckBox("Enable", GroupBoxGeneral), "CheckBoxCheckSum");
    LabelCheckSum = NamedLabel("Check Sum :", "LabelCheckSum", GroupBoxGeneral);
    grid->addWidget(LabelCheckSum, row, 0);
    grid->addWidget(CheckBoxCheckSum, row++, 1);
    EditFirmwareVer = NamedEdit("EditFirmwareVer", GroupBoxGeneral, 32767, true);
    grid->addWidget(caption("Firmware Ver :"), row, 0);
    grid->addWidget(EditFirmwareVer, row++, 1);
    lblProtocol = NamedLabel("Protocol : ", "lblProtocol", GroupBoxGeneral);
    cmbPotocolSelect = NamedCombo("cmbPotocolSelect", {"CORVANETH", "MODBUS"}, GroupBoxGeneral);
    grid->addWidget(lblProtocol, row, 0);
    grid->addWidget(cmbPotocolSelect, row++, 1);
    LabelModbusOnly = NamedLabel("Modbus Only:", "LabelModbusOnly", GroupBoxGeneral);
    CB_COMSetting = NamedCombo("CB_COMSetting",
                               {"None Parity, 8 Bits, 1 Stop", "Even Parity, 8 Bits, 1 Stop",
                                "Odd Parity, 8 Bits, 1 Stop", "None Parity, 8 Bits, 2 Stop"},
                               GroupBoxGeneral);
    grid->addWidget(LabelModbusOnly, row, 0);
    grid->addWidget(CB_COMSetting, row++, 1);
    ButtonUpdate = NamedButton("Update", "ButtonUpdate", GroupBoxGeneral);
    ButtonDownload = NamedButton("F/W Update", "ButtonDownload", GroupBoxGeneral);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ButtonUpdate);
    buttons->addWidget(ButtonDownload);
    grid->addLayout(buttons, row++, 1);
    connect(ButtonUpdate, &QPushButton::clicked, this, [this] { ButtonUpdateClick(); });
    connect(ButtonDownload, &QPushButton::clicked, this, [this] { ButtonDownloadClick(); });
    connect(cmbPotocolSelect, &QComboBox::activated, this, [this] { ApplyProtocolRules(); });

    PageControl1 = Named(new QTabWidget(grpModule), "PageControl1");
    main->addWidget(PageControl1);
    TSDescription = AddPage(PageControl1, "TSDescription", "Description");
    auto* description = new QVBoxLayout(TSDescription);
    ListView5KModule = Named(new QTreeWidget(TSDescription), "ListView5KModule");
    ListView5KModule->setHeaderLabels({"Slot", "Module", "Description"});
    ListView5KModule->setRootIsDecorated(false);
    ListView5KModule->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    description->addWidget(ListView5KModule);
    BuildWatchdogPage();
    BuildModbusPage();
    connect(PageControl1, &QTabWidget::currentChanged, this,
            [this](int index) { PageControl1Change(index); });

    // Until the module has been read nothing can be written.
    for (QWidget* w :
         std::initializer_list<QWidget*>{ComboBoxBaudRate, CheckBoxCheckSum, ButtonUpdate,
                                         ButtonDownload, cmbPotocolSelect, CB_COMSetting})
        w->setEnabled(false);
}

void TfrmMK100::BuildWatchdogPage() {
    TSWatchdog = AddPage(PageControl1, "TSWatchdog", "Communication WDT");
    auto* page = new QVBoxLayout(TSWatchdog);
    auto* timeout = new QHBoxLayout;
    edtTimeout = NamedEdit("edtTimeout", TSWatchdog, 4);
    edtTimeout->setToolTip("0~9999");
    edtTimeout->setPlaceholderText("0~9999");
    edtTimeout->setMaximumWidth(80);
    FilterKeys(edtTimeout, kDigitKeys, [this] { btnUpdatWDTClick(); });
    timeout->addWidget(CaptionLabel("Timeout value:", TSWatchdog, edtTimeout));
    timeout->addWidget(edtTimeout);
    timeout->addWidget(new QLabel("second(s)", TSWatchdog));
    timeout->addStretch();
    page->addLayout(timeout);
    auto* boxes = new QGridLayout;
    for (int n = 0; n < kSlots; ++n) {
        auto* box = Named(new QCheckBox(QString("Enable Slot-%1 WDT").arg(n), TSWatchdog),
                          QString("chkWDT%1").arg(n));
        box->hide(); // shown once the mask has been read
        boxes->addWidget(box, n % 4, n / 4);
        chkWDT[static_cast<std::size_t>(n)] = box;
    }
    page->addLayout(boxes);
    btnUpdatWDT = NamedButton("Update", "btnUpdatWDT", TSWatchdog);
    btnUpdatWDT->setEnabled(false);
    connect(btnUpdatWDT, &QPushButton::clicked, this, [this] { btnUpdatWDTClick(); });
    page->addWidget(btnUpdatWDT, 0, Qt::AlignLeft);
    page->addStretch();
}

void TfrmMK100::BuildModbusPage() {
    TSModbus = AddPage(PageControl1, "TSModbus", "Modbus Address");
    auto* page = new QHBoxLayout(TSModbus);
    GroupBoxSettings = NamedGroup(" Settings ", "GroupBoxSettings", TSModbus);
    page->addWidget(GroupBoxSettings);
    auto* grid = new QGridLayout(GroupBoxSettings);
    for (int n = 0; n < kSlots; ++n) {
        const auto i = static_cast<std::size_t>(n);
        QWidget* g = GroupBoxSettings;
        LB_Slot[i] = NamedLabel(QString("Slot %1").arg(n), QString("LB_Slot%1").arg(n), g);
        Edt_S[i] = NamedEdit(QString("Edt_S%1").arg(n), g, 32767, true);
        CB_RefType[i] = NamedCombo(QString("CB_RefType_%1").arg(n), {"0X", "4X"}, g);
        CB_RefType[i]->setProperty("Tag", n);
        Edt_AddrHead[i] = NamedEdit(QString("Edt_AddrHead%1").arg(n), g, 2, true);
        Edt_AddrHead[i]->setMaximumWidth(32);
        Edt_StartAd[i] = NamedEdit(QString("Edt_StartAd%1").arg(n), g, 5);
        Edt_StartAd[i]->setMaximumWidth(80);
        FilterKeys(Edt_StartAd[i], kDigitKeys);
        CB_Len[i] = NamedCombo(QString("CB_Len_%1").arg(n), {}, g);
        for (const auto& item : K100LengthItems(kRef0X))
            CB_Len[i]->addItem(Q(item));
        CB_Len[i]->setProperty("Tag", n);
        grid->addWidget(LB_Slot[i], n, 0);
        grid->addWidget(Edt_S[i], n, 1);
        grid->addWidget(CB_RefType[i], n, 2);
        grid->addWidget(Edt_AddrHead[i], n, 3);
        grid->addWidget(Edt_StartAd[i], n, 4);
        grid->addWidget(CB_Len[i], n, 5);
        connect(CB_RefType[i], &QComboBox::activated, this, [this, n] { CB_RefType_0Change(n); });
        // The last slot has nothing after it to move.
        if (n < kSlots - 1)
            connect(CB_Len[i], &QComboBox::activated, this, [this, n] { CB_Len_0Change(n); });
    }
    auto* side = new QVBoxLayout;
    page->addLayout(side);
    Bt_Auto = NamedButton("&Auto Scan", "Bt_Auto", TSModbus);
    Bt_Save = NamedButton("&Save Config", "Bt_Save", TSModbus);
    Bt_Confirm = NamedButton("A&pply", "Bt_Confirm", TSModbus);
    Bt_Refresh = NamedButton("&Refresh", "Bt_Refresh", TSModbus);
    Bt_Load = NamedButton("&Load Config", "Bt_Load", TSModbus);
    for (QPushButton* b : {Bt_Auto, Bt_Save, Bt_Confirm, Bt_Refresh, Bt_Load})
        side->addWidget(b);
    LB_ShowModStatus = NamedLabel("", "LB_ShowModStatus", TSModbus);
    side->addWidget(LB_ShowModStatus);
    side->addStretch();
    connect(Bt_Auto, &QPushButton::clicked, this, [this] { Bt_AutoClick(); });
    connect(Bt_Save, &QPushButton::clicked, this, [this] { Bt_SaveClick(); });
    connect(Bt_Confirm, &QPushButton::clicked, this, [this] { Bt_ConfirmClick(); });
    connect(Bt_Refresh, &QPushButton::clicked, this, [this] { Bt_RefreshClick(); });
    connect(Bt_Load, &QPushButton::clicked, this, [this] { Bt_LoadClick(); });
    ApplyMapEnabling();
}

void TfrmMK100::InitModule(const PanelContext& context) {
    Bind(context);
    tree_ = context.tree;
    k100_ = std::make_unique<TavoMK100>(Port(), WireAddress());
    RefreshGeneral();
    RefreshWatchdog();
}

// ---------------------------------------------------------------- general settings

void TfrmMK100::ApplyProtocolRules() {
    const bool modbus = capable_ && cmbPotocolSelect->currentIndex() == 1;
    const bool init = InitMode() && generalRead_;
    CheckBoxCheckSum->setEnabled(init && !modbus);
    LabelCheckSum->setEnabled(!modbus);
    CB_COMSetting->setEnabled(init && capable_ && modbus);
    LabelModbusOnly->setEnabled(capable_);
    cmbPotocolSelect->setEnabled(init && capable_);
    lblProtocol->setEnabled(capable_);
}

void TfrmMK100::RefreshGeneral() {
    std::string address, firmware, name;
    const bool read = k100_->ReadSystemConfigAddress(address) &&
                      k100_->ReadFirmwareVersion(firmware) && k100_->ReadModuleName(name);
    if (!read) {
        Status("Fail to fresh general setting data!");
        return;
    }
    generalRead_ = true;
    const QString hex = Q(address);
    EditAddrHex->setText(InitMode() ? "*" + hex : hex);
    EditAddrDec->setText(QString::number(hex.toInt(nullptr, 16)));
    moduleName_ = name;
    slotCount_ = name == "K100E" ? 8 : 4;
    grpModule->setTitle(QString("%1-%2").arg("Tavo", Q(name)));

    const int baud = static_cast<int>(HexOrZero(k100_->BaudCode())) - 3;
    ComboBoxBaudRate->setCurrentIndex(baud >= 0 && baud < ComboBoxBaudRate->count() ? baud : -1);
    std::string bit;
    CheckBoxCheckSum->setChecked(k100_->GetFormatBit6(bit) && bit == "1");
    cmbPotocolSelect->setCurrentIndex(k100_->GetProtocolBit(bit) && bit == "1" ? 1 : 0);

    const QString version = Q(firmware).left(6);
    EditFirmwareVer->setText(version);
    capable_ = IsModbusCapable(version);
    if (!capable_) cmbPotocolSelect->setCurrentIndex(0);
    LB_ShowModStatus->setText(capable_ ? "Fixed Address" : kNotSupported);
    ComboBoxBaudRate->setEnabled(InitMode());
    ButtonUpdate->setEnabled(InitMode());
    ButtonDownload->setEnabled(InitMode());
    ApplyProtocolRules();
    ApplyMapEnabling();

    std::string code;
    CB_COMSetting->setCurrentIndex(k100_->ReadComSetting(code) ? ComSettingIndex(code) : 0);
    RefreshSlotList();
}

void TfrmMK100::RefreshSlotList() {
    ListView5KModule->clear();
    for (int n = 0; n < kSlots; ++n) {
        const auto i = static_cast<std::size_t>(n);
        const bool present = n < slotCount_;
        Edt_S[i]->clear();
        for (QWidget* w : std::initializer_list<QWidget*>{LB_Slot[i], Edt_S[i], Edt_AddrHead[i]})
            w->setEnabled(present);
        if (!present) {
            CB_RefType[i]->clear();
            CB_Len[i]->clear();
            Edt_StartAd[i]->clear();
            Edt_AddrHead[i]->clear();
        } else if (CB_RefType[i]->count() == 0) {
            CB_RefType[i]->addItems({"0X", "4X"});
            ShowRow(n, K100MapRow{});
        }
    }
    ApplyMapEnabling();

    k100_->ClearSlotTable();
    std::string table;
    if (!k100_->ReadSlotTable(table)) {
        Status("Fail to fresh the slot list: the controller's slot table could not be read.");
        return;
    }
    for (int n = 0; n < slotCount_; ++n) {
        const auto i = static_cast<std::size_t>(n);
        std::string code;
        if (!k100_->GetSlotCode(n, code) || code == "FF") { // empty, or beyond the table
            kinds_[i] = K100SlotKind::None;
            defaultLengths_[i] = 0;
            continue;
        }
        auto* item = new QTreeWidgetItem(ListView5KModule, {QString::number(n)});
        if (code == "AI") {
            // A module the slot code does not name names itself ("Tavo-K230P") and
            // describes itself ("analog input module"); its row reads as the others.
            std::string slotName, info;
            if (k100_->ReadSlotName(n, slotName)) {
                const QString d = Q(TavoMK100::SlotNameDesignation(slotName));
                item->setText(1, d);
                Edt_S[i]->setText(d);
                if (k100_->ReadSlotInfo0(n, info))
                    item->setText(2, QString("Tavo-%1 %2").arg(d, Q(info)));
            }
            continue;
        }
        std::string designation;
        TavoMK100::DesignationForCode(code, designation);
        const SlotModule* module = FindSlotModule(designation);
        const QString d = Q(designation);
        item->setText(1, d);
        item->setText(2, module ? QString("Tavo-%1 %2").arg(d, module->text)
                                : QString("Tavo-%1 Unknown module (%1)").arg(d));
        Edt_S[i]->setText(d);
        if (!module) {
            kinds_[i] = K100SlotKind::None;
            defaultLengths_[i] = 0;
        } else if (module->kind != K100SlotKind::None) {
            kinds_[i] = module->kind;
            defaultLengths_[i] = module->defaultLength;
        }
    }
}

void TfrmMK100::ButtonUpdateClick() {
    if (!k100_ || !InitMode()) return;
    Operation op(*this, ButtonUpdate);
    const int baud = ComboBoxBaudRate->currentIndex();
    if (!generalRead_ || baud < 0) {
        Error(kGeneralFailed + "\nThe controller's settings have not been read yet.");
        return;
    }
    if (capable_) {
        const int format =
            kComSettingCodes[static_cast<std::size_t>(std::max(0, CB_COMSetting->currentIndex()))];
        if (!k100_->SetComSetting(Hex2(format).toStdString())) {
            Error(kGeneralFailed);
            return;
        }
    }
    const char checksum = CheckBoxCheckSum->isChecked() ? '1' : '0';
    const char protocol = capable_ && cmbPotocolSelect->currentIndex() == 1 ? '1' : '0';
    if (k100_->UpdateSystemConfig(Hex2(baud + 3).toStdString(), checksum, protocol))
        Information("Update General Setting succeeded!");
    else
        Error(kGeneralFailed);
    RefreshGeneral();
}

void TfrmMK100::ButtonDownloadClick() {
    if (!k100_ || !InitMode()) return;
    if (!generalRead_) {
        Error("Download firmware failed!\nThe controller's name and firmware version, which "
              "choose the loader image, could not be read.");
        return;
    }
    if (RefuseRackDownload(this, *Port())) return;
    const QString file = Ui().OpenFileName(this, "Open firmware to download", "*.img",
                                           "Firmware files (*.img);;All files (*.*)", "img");
    if (file.isEmpty()) return;
    {
        Operation op(*this, ButtonDownload);
        const LineSettings before = Port()->GetLineSettings();
        RunRackFirmwareUpdate(this, *Port(), Q(moduleName_), file, EditFirmwareVer->text());
        // The loader leaves the port at 9600 8N1; the panel hands it back as it was.
        if (Port()->GetLineSettings() != before)
            Port()->SetPortState(before.baud, before.dataBits, before.parity, before.stopBits);
    }
    RefreshTree();
    RefreshGeneral();
    RefreshWatchdog();
}

void TfrmMK100::RefreshTree() {
    QTreeWidgetItem* node = tree_ ? tree_->currentItem() : nullptr;
    if (!node || ModuleTree::Level(node) != 2 || moduleName_.empty()) return;
    const auto nodes = SearchEngine::RackSlotNodes(*Port(), moduleName_, WireAddress());
    qDeleteAll(node->takeChildren());
    for (const FoundNode& slot : nodes)
        tree_->AddFound(node, slot);
    node->setExpanded(true);
}

// ---------------------------------------------------------------- watchdog

void TfrmMK100::RefreshWatchdog() {
    std::string seconds, mask;
    if (!k100_->ReadWatchdogTime(seconds) ||
        seconds.find_first_not_of("0123456789") != std::string::npos || seconds.size() > 4) {
        Status("Fail to fresh WDT setting data!");
        return;
    }
    edtTimeout->setText(Q(seconds));
    Pause(100);
    if (!k100_->ReadWatchdogMask(mask) || !IsHexCode(mask)) {
        Status("Fail to fresh WDT setting data!");
        return;
    }
    btnUpdatWDT->setEnabled(true);
    const unsigned bits = HexOrZero(mask);
    for (int n = 0; n < kSlots; ++n) {
        QCheckBox* box = chkWDT[static_cast<std::size_t>(n)];
        box->setVisible(n < slotCount_);
        box->setChecked(n < slotCount_ && ((bits >> n) & 1));
    }
}

void TfrmMK100::btnUpdatWDTClick() {
    if (!k100_ || !btnUpdatWDT->isEnabled()) return;
    bool ok = false;
    {
        Operation op(*this, btnUpdatWDT);
        // Writing the watchdog takes the controller longer than a plain command.
        ScopedTimeOut longer(*Port(), Port()->GetTimeOut() * 3);
        const auto seconds = ParseDigits(edtTimeout->text(), 9999);
        ok = k100_->SetWatchdogTime(seconds && *seconds <= 9999 ? static_cast<int>(*seconds) : 0);
        if (ok) {
            int mask = 0;
            for (int n = 0; n < kSlots; ++n) {
                const QCheckBox* box = chkWDT[static_cast<std::size_t>(n)];
                if (!box->isHidden() && box->isChecked()) mask |= 1 << n;
            }
            Pause(100);
            ok = k100_->SetWatchdogMask(mask);
        }
    }
    if (ok)
        Information("Update WDT Setting succeeded!");
    else
        Error("Update WDT Setting failed!");
    RefreshWatchdog();
}

// ---------------------------------------------------------------- address map

void TfrmMK100::ApplyMapEnabling() {
    const bool editable = capable_ && mapRead_ && userMap_;
    for (int n = 0; n < kSlots; ++n) {
        const auto i = static_cast<std::size_t>(n);
        const bool row = editable && n < slotCount_;
        CB_RefType[i]->setEnabled(row);
        CB_Len[i]->setEnabled(row);
        Edt_StartAd[i]->setEnabled(row);
    }
    Bt_Auto->setEnabled(editable);
    Bt_Confirm->setEnabled(editable);
    Bt_Load->setEnabled(editable);
    Bt_Save->setEnabled(capable_);
    Bt_Refresh->setEnabled(capable_);
    LB_ShowModStatus->setVisible(!capable_ || !mapRead_ || !userMap_);
}

K100Map TfrmMK100::CurrentMap() const {
    K100Map map;
    for (int n = 0; n < kSlots; ++n) {
        const auto i = static_cast<std::size_t>(n);
        map[i].type = CB_RefType[i]->currentIndex();
        map[i].start = Edt_StartAd[i]->text().toStdString();
        map[i].length = CB_Len[i]->currentIndex();
        map[i].head = Edt_AddrHead[i]->text().toStdString();
    }
    return map;
}

void TfrmMK100::ShowRow(int slot, const K100MapRow& row) {
    const auto i = static_cast<std::size_t>(slot);
    if (CB_RefType[i]->count() == 0) return; // a slot the controller does not have
    const QSignalBlocker b1(CB_RefType[i]), b2(CB_Len[i]);
    CB_RefType[i]->setCurrentIndex(row.type);
    QStringList items;
    for (const auto& item : K100LengthItems(row.type))
        items << Q(item);
    QStringList shown;
    for (int k = 0; k < CB_Len[i]->count(); ++k)
        shown << CB_Len[i]->itemText(k);
    if (shown != items) {
        CB_Len[i]->clear();
        CB_Len[i]->addItems(items);
    }
    CB_Len[i]->setCurrentIndex(row.length < CB_Len[i]->count() ? row.length : -1);
    Edt_StartAd[i]->setText(Q(row.start));
    Edt_AddrHead[i]->setText(Q(row.head));
}

void TfrmMK100::ShowMap(const K100Map& map) {
    for (int n = 0; n < slotCount_; ++n)
        ShowRow(n, map[static_cast<std::size_t>(n)]);
}

void TfrmMK100::PageControl1Change(int index) {
    if (index == kModbusPage) ReadMap();
}

void TfrmMK100::Bt_RefreshClick() {
    ReadMap();
}

void TfrmMK100::ReadMap() {
    if (!k100_ || !capable_) return;
    Operation op(*this);
    std::string mode;
    const auto value = k100_->ReadMapMode(mode) && IsHexText(mode) && !mode.empty()
                           ? HexValue(mode.substr(0, 8))
                           : std::nullopt;
    if (!value) {
        Error(kMapReadFailed);
        return;
    }
    mapRead_ = true;
    userMap_ = *value != 0;
    ApplyMapEnabling();
    K100Map map = CurrentMap();
    for (int n = 0; n < slotCount_; ++n) {
        int start = 0, code = 0;
        if (!k100_->ReadMapEntry(n, start, code)) {
            ShowMap(map);
            Error(kMapReadFailed);
            return;
        }
        K100ShowStoredEntry(map[static_cast<std::size_t>(n)], start, code);
    }
    ShowMap(map);
}

void TfrmMK100::CB_RefType_0Change(int slot) {
    if (slot < 0 || slot >= slotCount_) return;
    K100MapRow row = CurrentMap()[static_cast<std::size_t>(slot)];
    row.length = 0;
    row.head = K100AddressHead(row.type);
    ShowRow(slot, row);
}

void TfrmMK100::CB_Len_0Change(int slot) {
    if (slot < 0 || slot >= kSlots - 1) return;
    K100Map map = CurrentMap();
    K100PushFollowingStarts(map, slot);
    ShowMap(map);
}

void TfrmMK100::Bt_AutoClick() {
    K100Map map = CurrentMap();
    K100AutoScan(map, kinds_, defaultLengths_, slotCount_);
    ShowMap(map);
}

void TfrmMK100::Bt_ConfirmClick() {
    if (!k100_ || !capable_) return;
    {
        Operation op(*this, Bt_Confirm);
        K100Map map = CurrentMap();
        const K100ApplyPlan plan = K100PlanApply(map, kinds_, slotCount_);
        ShowMap(map);
        if (!plan.error.empty()) {
            Error(Q(plan.error));
            return;
        }
        for (const K100MapWrite& w : plan.writes)
            if (!k100_->WriteMapEntry(w.slot, w.start, w.code)) {
                Error(kMapWriteFailed);
                return;
            }
        if (k100_->ActivateMap())
            Information("Update Modbus Setting succeeded!");
        else
            Error(kMapWriteFailed);
    }
    ReadMap();
}

void TfrmMK100::Bt_SaveClick() {
    const QString file =
        Ui().SaveFileName(this, "Save Config", "K100_Modbus.cfg", kCfgFilter, kCfgSuffix);
    if (file.isEmpty()) return;
    if (!WriteFileAtomically(file, QByteArray::fromStdString(K100MapFileText(CurrentMap())))) {
        Ui().Message(this, UiServices::Icon::Error, "Message", "Error when opening file");
        return;
    }
    Information("Save Config File succeeded!");
}

void TfrmMK100::Bt_LoadClick() {
    const QString file = Ui().OpenFileName(this, "Load Config", "*.cfg", kCfgFilter);
    if (file.isEmpty()) return;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        Ui().Message(this, UiServices::Icon::Error, "Message", "Error when opening file");
        return;
    }
    const QByteArray bytes = in.read(kMapFileLimit + 1);
    const K100MapFile parsed = bytes.size() > kMapFileLimit
                                   ? K100MapFile{{}, "the file is far larger than a map file."}
                                   : ParseK100MapFile(bytes.toStdString());
    if (!parsed.error.empty()) {
        Error("Load Config File failed!\n" + file +
              " is not a K100 Modbus configuration: " + Q(parsed.error) + "\nNothing was changed.");
        return;
    }
    // Only what the controller has; nothing is sent before Apply.
    for (int n = 0; n < slotCount_; ++n) {
        const K100MapFileSlot& s = parsed.rows[static_cast<std::size_t>(n)];
        K100MapRow row;
        row.type = s.type;
        row.length = s.length;
        row.head = K100AddressHead(s.type);
        row.start = K100StartText(s.start);
        ShowRow(n, row);
    }
    Information("Load Config File succeeded!");
}

} // namespace tavo
