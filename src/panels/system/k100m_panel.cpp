#include "k100m_panel.h"

#include "panels/common/form_controls.h"
#include "panels/common/modbus_point_views.h"

#include "devices/k_series.h"
#include "transport/modbus.h"

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

const QString kPolling = "Polling slot data...";
const QString kPollFailed = "Fail to fresh slot data!";
const QString kSetFailed = "Set failed!";
const QString kSetValueFailed = "Set value failed!";

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QString AddressText(int address) {
    return Q(K100AddressText(address));
}

bool IsRegisterSlot(const K100ModbusSlot& s) {
    return K100PollFor(s).read == K100SlotPoll::Read::Registers;
}

} // namespace

TfrmMK100M::TfrmMK100M(QWidget* parent) : PanelBase(parent) {
    BuildForm();
}

TfrmMK100M::~TfrmMK100M() {
    StopPolling();
}

void TfrmMK100M::BuildForm() {
    auto* top = new QVBoxLayout(this);
    grpModule = NamedGroup("Tavo-K100M", "grpModule", this);
    top->addWidget(grpModule);
    auto* main = new QVBoxLayout(grpModule);
    PageControl1 = Named(new QTabWidget(grpModule), "PageControl1");
    main->addWidget(PageControl1);
    TS_Main = BuildMainPage();
    for (int n = 0; n < kSlots; ++n) {
        QWidget* page =
            AddPage(PageControl1, QString("TS_Slot%1").arg(n), QString("Slot %1").arg(n));
        new QVBoxLayout(page);
        TS_Slot[static_cast<std::size_t>(n)] = page;
    }
    BuildDataArea();
    connect(PageControl1, &QTabWidget::currentChanged, this,
            [this](int index) { PageControl1Change(index); });
    tmrUpdateData = MakePollTimer("tmrUpdateData", 500);
    connect(tmrUpdateData, &QTimer::timeout, this, [this] { tmrUpdateDataTimer(); });
}

QWidget* TfrmMK100M::BuildMainPage() {
    QWidget* page = AddPage(PageControl1, "TS_Main", "Main");
    auto* grid = new QGridLayout(page);
    Edt_Firmware = NamedEdit("Edt_Firmware", page, 32767, true);
    grid->addWidget(new QLabel("Firmware Ver.:", page), 0, 0);
    grid->addWidget(Edt_Firmware, 0, 1);
    grid->addWidget(new QLabel("Module", page), 1, 1);
    grid->addWidget(new QLabel("Start Address", page), 1, 2);
    grid->addWidget(new QLabel("End Address", page), 1, 3);
    for (int n = 0; n < kSlots; ++n) {
        const auto i = static_cast<std::size_t>(n);
        grid->addWidget(
            NamedLabel(QString("Slot %1").arg(n), QString("LB_MainSlot%1").arg(n), page), n + 2, 0);
        Edt_MainModule[i] = NamedEdit(QString("Edt_MainModule%1").arg(n), page, 32767, true);
        Edt_MainStart[i] = NamedEdit(QString("Edt_MainStart%1").arg(n), page, 32767, true);
        Edt_MainEnd[i] = NamedEdit(QString("Edt_MainEnd%1").arg(n), page, 32767, true);
        grid->addWidget(Edt_MainModule[i], n + 2, 1);
        grid->addWidget(Edt_MainStart[i], n + 2, 2);
        grid->addWidget(Edt_MainEnd[i], n + 2, 3);
    }
    grid->setRowStretch(kSlots + 2, 1);
    return page;
}

void TfrmMK100M::BuildDataArea() {
    DataArea = Named(new QWidget(TS_Slot[0]), "DataArea");
    TS_Slot[0]->layout()->addWidget(DataArea);
    auto* layout = new QVBoxLayout(DataArea);

    GP_SlotInfo = NamedGroup(" Slot Inoformation ", "GP_SlotInfo", DataArea);
    auto* info = new QGridLayout(GP_SlotInfo);
    Edt_SlotNum = NamedEdit("Edt_SlotNum", GP_SlotInfo, 32767, true);
    Edt_Module = NamedEdit("Edt_Module", GP_SlotInfo, 32767, true);
    Edt_StartAddr = NamedEdit("Edt_StartAddr", GP_SlotInfo, 32767, true);
    Edt_EndAddr = NamedEdit("Edt_EndAddr", GP_SlotInfo, 32767, true);
    info->addWidget(new QLabel("Slot Number:", GP_SlotInfo), 0, 0);
    info->addWidget(Edt_SlotNum, 0, 1);
    info->addWidget(new QLabel("Module:", GP_SlotInfo), 0, 2);
    info->addWidget(Edt_Module, 0, 3);
    info->addWidget(new QLabel("Start Address:", GP_SlotInfo), 1, 0);
    info->addWidget(Edt_StartAddr, 1, 1);
    info->addWidget(new QLabel("End Address:", GP_SlotInfo), 1, 2);
    info->addWidget(Edt_EndAddr, 1, 3);
    layout->addWidget(GP_SlotInfo);

    GP_DIO = new PointLampGroup(" Tavo-DI/O ", "GP_DIO", "bitbtnDIO", "LB_DIOHead", "100000",
                                kK100SlotPoints, 8, DataArea);
    Bt_ChangeView = NamedButton("Ch View", "Bt_ChangeView", GP_DIO);
    GP_DIO->layout()->addWidget(Bt_ChangeView);
    connect(GP_DIO, &PointLampGroup::PointClicked, this, [this](int n) { bitbtnDIO0Click(n); });
    connect(Bt_ChangeView, &QPushButton::clicked, this, [this] { Bt_ChangeViewClick(); });
    layout->addWidget(GP_DIO);

    GP_AIO = new RegisterValueGroup(" Tavo-AI/O ", "GP_AIO", "LB_AIO", "Edt_AIO", "LB_AIOHead",
                                    "400000", kK100SlotPoints, DataArea);
    auto* aioButtons = new QHBoxLayout;
    Bt_AIChView = NamedButton("Ch View", "Bt_AIChView", GP_AIO);
    Bt_DataFormat = NamedButton("Eng.", "Bt_DataFormat", GP_AIO);
    aioButtons->addWidget(Bt_AIChView);
    aioButtons->addWidget(Bt_DataFormat);
    aioButtons->addStretch();
    static_cast<QVBoxLayout*>(GP_AIO->layout())->addLayout(aioButtons);
    connect(Bt_AIChView, &QPushButton::clicked, this, [this] { Bt_AIChViewClick(); });
    connect(Bt_DataFormat, &QPushButton::clicked, this, [this] { Bt_DataFormatClick(); });
    connect(GP_AIO, &RegisterValueGroup::ValueEntered, this,
            [this](int row, const QString& text) { AIOValueEntered(row, text); });
    layout->addWidget(GP_AIO);

    GP_Set = NamedGroup(" Counter ", "GP_Set", DataArea);
    auto* set = new QGridLayout(GP_Set);
    set->addWidget(new QLabel("Counter Status", GP_Set), 0, 1);
    set->addWidget(new QLabel("OverFlow", GP_Set), 0, 2);
    for (int k = 0; k < kCounterChannels; ++k) {
        const auto i = static_cast<std::size_t>(k);
        set->addWidget(new QLabel(QString("Ch %1").arg(k), GP_Set), k + 1, 0);
        LB_CntStatus[i] = NamedLabel("", QString("LB_CntStatus%1").arg(k), GP_Set);
        SetLamp(LB_CntStatus[i], false);
        bitbtnOF[i] = NamedButton("", QString("bitbtnOF%1").arg(k), GP_Set);
        bitbtnOF[i]->setToolTip("Clear the overflow");
        SetLamp(bitbtnOF[i], false);
        Bt_AIOSet[i] = NamedButton("&Stop", QString("Bt_AIOSet%1").arg(k), GP_Set);
        Bt_AIOClear[i] = NamedButton("&Clear", QString("Bt_AIOClear%1").arg(k), GP_Set);
        set->addWidget(LB_CntStatus[i], k + 1, 1);
        set->addWidget(bitbtnOF[i], k + 1, 2);
        set->addWidget(Bt_AIOSet[i], k + 1, 3);
        set->addWidget(Bt_AIOClear[i], k + 1, 4);
        connect(Bt_AIOSet[i], &QPushButton::clicked, this, [this, k] { Bt_AIOSet0Click(k); });
        connect(Bt_AIOClear[i], &QPushButton::clicked, this, [this, k] { Bt_AIOClear0Click(k); });
        connect(bitbtnOF[i], &QPushButton::clicked, this, [this, k] { bitbtnOF0Click(k); });
    }
    layout->addWidget(GP_Set);
    layout->addStretch();
    GP_DIO->hide();
    GP_AIO->hide();
    GP_Set->hide();
}

void TfrmMK100M::InitModule(const PanelContext& context) {
    Bind(context);
    bool ok = false;
    slave_ = context.address.toInt(&ok, 16);
    if (!ok || slave_ < 1 || slave_ > 247) {
        InitFailed();
        return;
    }
    k100_ = std::make_unique<TavoMK100>(Port(), WireAddress());
    modbus_ = k100_->GetModbus();
    if (!ReadRack()) {
        InitFailed();
        return;
    }
    initialized_ = true;
    const bool eight = rack_.slotCount == 8;
    grpModule->setTitle(eight ? "Tavo-K100EM" : "Tavo-K100M");
    Edt_Firmware->setText(Q(rack_.firmware));
    for (int n = 0; n < kSlots; ++n) {
        const auto i = static_cast<std::size_t>(n);
        const bool present = n < rack_.slotCount;
        PageControl1->setTabVisible(n + 1, present);
        const K100ModbusSlot& s = rack_.modules[i];
        Edt_MainModule[i]->setText(present ? Q(s.name) : QString());
        Edt_MainStart[i]->setText(present ? AddressText(s.start) : QString());
        Edt_MainEnd[i]->setText(present ? AddressText(s.end) : QString());
        for (QWidget* w :
             std::initializer_list<QWidget*>{Edt_MainModule[i], Edt_MainStart[i], Edt_MainEnd[i]})
            w->setEnabled(present);
    }
    StartPolling();
}

bool TfrmMK100M::ReadRack() {
    std::vector<std::uint8_t> block;
    K100ModbusRack rack;
    if (!ReadData(false, kK100IdentFirst, kK100IdentRegisters, block) ||
        !DecodeK100Identification(block, rack))
        return false;
    if (!ReadData(false, kK100NamesFirst, kK100NamesRegisters, block) ||
        !DecodeK100Names(block, rack))
        return false;
    rack_ = std::move(rack);
    return true;
}

void TfrmMK100M::InitFailed() {
    initialized_ = false;
    Error("Initialize Error!");
    GP_SlotInfo->hide();
    GP_DIO->hide();
    GP_AIO->hide();
    GP_Set->hide();
    for (int n = 0; n < kSlots; ++n)
        PageControl1->setTabVisible(n + 1, false);
}

bool TfrmMK100M::ReadData(bool coils, int reference, int count, std::vector<std::uint8_t>& bytes) {
    if (!modbus_) return false;
    bytes.clear();
    const bool sent = coils ? modbus_->ReadCoils(slave_, reference, count)
                            : modbus_->ReadHoldingRegisters(slave_, reference, count);
    return sent && modbus_->ReadResponse(bytes) &&
           bytes.size() >= static_cast<std::size_t>(coils ? (count + 7) / 8 : 2 * count);
}

bool TfrmMK100M::WriteCoil(int reference, bool on) {
    return modbus_ && modbus_->WriteSingleCoil(slave_, reference, on) && modbus_->WriteResponse();
}

bool TfrmMK100M::WriteRegister(int reference, int value) {
    return modbus_ && modbus_->WriteSingleRegister(slave_, reference, value) &&
           modbus_->WriteResponse();
}

int TfrmMK100M::CurrentSlot() const {
    const int slot = PageControl1->currentIndex() - 1;
    return initialized_ && slot >= 0 && slot < rack_.slotCount ? slot : -1;
}

void TfrmMK100M::PageControl1Change(int index) {
    const int slot = index - 1;
    if (!initialized_ || slot < 0 || slot >= kSlots) return;
    ShowSlot(slot);
    tmrUpdateDataTimer();
}

void TfrmMK100M::ShowSlot(int slot) {
    const auto i = static_cast<std::size_t>(slot);
    TS_Slot[i]->layout()->addWidget(DataArea);
    DataArea->show();
    const K100ModbusSlot& s = rack_.modules[i];
    const K100ModuleType type = K100ModuleTypeFor(s.type);
    Edt_SlotNum->setText(QString::number(slot));
    Edt_Module->setText(s.name.empty() ? Q(type.name) : Q(s.name));
    Edt_StartAddr->setText(AddressText(s.start));
    Edt_EndAddr->setText(AddressText(s.end));
    const K100SlotPoll poll = K100PollFor(s);
    const bool coils = poll.read == K100SlotPoll::Read::Coils;
    const bool registers = poll.read == K100SlotPoll::Read::Registers;
    const bool digital = type.kind == K100ModuleKind::Digital;
    const bool points = coils || (registers && digital);
    const bool values = registers && !digital;
    GP_DIO->setVisible(points);
    GP_AIO->setVisible(values);
    GP_Set->setVisible(registers && type.kind == K100ModuleKind::Counter);
    if (points) {
        GP_DIO->SetShown(std::min(coils ? poll.count : kK100SlotPoints, kK100SlotPoints));
        GP_DIO->SetClickable(type.outputs);
    }
    if (values) {
        GP_AIO->SetShown(K100ValueRows(s.type, poll.count));
        GP_AIO->SetEditable(type.kind == K100ModuleKind::AnalogOutput ? 0x0F : 0);
        for (int r = 0; r < GP_AIO->Count(); ++r)
            GP_AIO->Edit(r)->clear();
    }
    words_.clear();
    ShowDioCaptions();
    ShowAioLabels();
    if (poll.read == K100SlotPoll::Read::Nothing)
        Status(QString("Slot %1 has no Modbus references.").arg(slot));
}

void TfrmMK100M::ShowDioCaptions() {
    const int slot = CurrentSlot();
    Bt_ChangeView->setText(dioAddressView_ ? "Addr" : "Ch View");
    const K100SlotPoll poll =
        slot >= 0 ? K100PollFor(rack_.modules[static_cast<std::size_t>(slot)]) : K100SlotPoll{};
    // The bits of a point-mask register have no references of their own.
    if (dioAddressView_ && poll.read == K100SlotPoll::Read::Coils)
        GP_DIO->ShowReferences(poll.reference);
    else
        GP_DIO->ShowChannels("Ch ");
}

void TfrmMK100M::ShowAioLabels() {
    const int slot = CurrentSlot();
    Bt_AIChView->setText(aioAddressView_ ? "Addr" : "Ch View");
    Bt_DataFormat->setText(hexView_ ? "Hex" : "Eng.");
    const std::uint8_t type = slot >= 0 ? rack_.modules[static_cast<std::size_t>(slot)].type : 0xFF;
    const int reference =
        slot >= 0 ? K100PollFor(rack_.modules[static_cast<std::size_t>(slot)]).reference : 0;
    GP_AIO->SetLabels([&](int row) {
        if (!aioAddressView_) return QString("Ch %1").arg(row);
        return AddressText(400000 + reference + K100ValueRegister(type, row));
    });
}

void TfrmMK100M::Bt_ChangeViewClick() {
    dioAddressView_ = !dioAddressView_;
    ShowDioCaptions();
}

void TfrmMK100M::Bt_AIChViewClick() {
    aioAddressView_ = !aioAddressView_;
    ShowAioLabels();
}

void TfrmMK100M::Bt_DataFormatClick() {
    hexView_ = !hexView_;
    ShowAioLabels();
    const int slot = CurrentSlot();
    if (slot < 0) return;
    const std::uint8_t type = rack_.modules[static_cast<std::size_t>(slot)].type;
    for (int r = 0; r < GP_AIO->Shown(); ++r)
        GP_AIO->Edit(r)->setText(Q(K100ValueText(type, r, words_, hexView_)));
}

void TfrmMK100M::tmrUpdateDataTimer() {
    const int slot = CurrentSlot();
    if (slot < 0) return; // the "Main" page polls nothing
    if (K100PollFor(rack_.modules[static_cast<std::size_t>(slot)]).read ==
        K100SlotPoll::Read::Nothing)
        return;
    PollStatus(PollSlot(slot), kPolling, kPollFailed);
}

bool TfrmMK100M::PollSlot(int slot) {
    const K100ModbusSlot& s = rack_.modules[static_cast<std::size_t>(slot)];
    const K100SlotPoll poll = K100PollFor(s);
    const K100ModuleType type = K100ModuleTypeFor(s.type);
    std::vector<std::uint8_t> bytes;
    if (poll.read == K100SlotPoll::Read::Coils) {
        if (!ReadData(true, poll.reference, poll.count, bytes)) return false;
        std::uint64_t states = 0;
        for (int n = 0; n < kK100SlotPoints && n < poll.count; ++n)
            if ((bytes[static_cast<std::size_t>(n / 8)] >> (n % 8)) & 1) states |= 1ull << n;
        GP_DIO->SetStates(states);
        return true;
    }
    if (!ReadData(false, poll.reference, poll.count, bytes)) return false;
    words_ = K100Words(bytes);
    if (type.kind == K100ModuleKind::Digital) {
        GP_DIO->SetStates(words_.empty() ? 0 : words_[0]);
        return true;
    }
    for (int r = 0; r < GP_AIO->Shown(); ++r)
        GP_AIO->SetValue(r, Q(K100ValueText(s.type, r, words_, hexView_)));
    if (type.kind == K100ModuleKind::Counter) return ReadCounterStatus(slot);
    return true;
}

bool TfrmMK100M::ReadCounterStatus(int slot) {
    std::vector<std::uint8_t> coils;
    if (rack_.counterFlag == 1 && !ReadData(true, slot * 16 + 1, 16, coils)) return false;
    for (int k = 0; k < kCounterChannels; ++k) {
        const auto state = rack_.counterFlag == 1 ? K100CounterFromCoils(coils, k)
                                                  : K100CounterFromRegisters(words_, k);
        if (state) ShowCounter(k, *state);
    }
    return true;
}

void TfrmMK100M::ShowCounter(int channel, const K100CounterState& state) {
    const auto i = static_cast<std::size_t>(channel);
    counters_[i] = state;
    Bt_AIOSet[i]->setText(state.counting ? "&Stop" : "&Start");
    SetLamp(LB_CntStatus[i], state.counting);
    SetLamp(bitbtnOF[i], state.overflow);
}

void TfrmMK100M::bitbtnDIO0Click(int point) {
    const int slot = CurrentSlot();
    if (slot < 0 || point < 0 || point >= kK100SlotPoints) return;
    const K100ModbusSlot& s = rack_.modules[static_cast<std::size_t>(slot)];
    if (!((K100ModuleTypeFor(s.type).outputs >> point) & 1)) return;
    Operation op(*this);
    const K100SlotPoll poll = K100PollFor(s);
    const std::uint64_t states = GP_DIO->States();
    const bool on = ((states >> point) & 1) == 0;
    bool ok = false;
    if (poll.read == K100SlotPoll::Read::Coils) {
        ok = point < poll.count && WriteCoil(poll.reference + point, on);
    } else if (poll.read == K100SlotPoll::Read::Registers) {
        // The slot's points are one mask register: write it with this point changed.
        ok = WriteRegister(poll.reference, static_cast<int>((states ^ (1ull << point)) & 0xFFFF));
    }
    if (!ok) {
        Error(kSetFailed);
        return;
    }
    PollStatus(PollSlot(slot), kPolling, kPollFailed);
}

bool TfrmMK100M::WriteCounter(int channel, K100CounterAction action) {
    const int slot = CurrentSlot();
    if (slot < 0 || channel < 0 || channel >= kCounterChannels) return false;
    const K100SlotPoll poll = K100PollFor(rack_.modules[static_cast<std::size_t>(slot)]);
    const K100CounterWrite w =
        K100CounterControl(rack_.counterFlag, slot, poll.reference, channel, action);
    return w.coil ? WriteCoil(w.reference, w.value != 0) : WriteRegister(w.reference, w.value);
}

void TfrmMK100M::RunCounterControl(int channel, K100CounterAction action) {
    if (CurrentSlot() < 0 || channel < 0 || channel >= kCounterChannels) return;
    Operation op(*this);
    if (!WriteCounter(channel, action)) {
        Error(kSetFailed);
        return;
    }
    PollStatus(PollSlot(CurrentSlot()), kPolling, kPollFailed);
}

void TfrmMK100M::Bt_AIOSet0Click(int channel) {
    const bool counting = channel >= 0 && channel < kCounterChannels &&
                          counters_[static_cast<std::size_t>(channel)].counting;
    RunCounterControl(channel, counting ? K100CounterAction::Stop : K100CounterAction::Start);
}

void TfrmMK100M::Bt_AIOClear0Click(int channel) {
    RunCounterControl(channel, K100CounterAction::Clear);
}

void TfrmMK100M::bitbtnOF0Click(int channel) {
    RunCounterControl(channel, K100CounterAction::ClearOverflow);
}

void TfrmMK100M::AIOValueEntered(int row, const QString& text) {
    const int slot = CurrentSlot();
    if (slot < 0) return;
    const K100ModbusSlot& s = rack_.modules[static_cast<std::size_t>(slot)];
    if (K100ModuleTypeFor(s.type).kind != K100ModuleKind::AnalogOutput || row < 0 || row > 3 ||
        !IsRegisterSlot(s))
        return;
    Operation op(*this);
    const auto word = K100OutputWord(text.toStdString(), hexView_);
    if (!word) {
        Error(kSetValueFailed + (hexView_ ? "\nEnter up to four hexadecimal digits."
                                          : "\nEnter a number from 0 to 65.535."));
        return;
    }
    const K100SlotPoll poll = K100PollFor(s);
    if (row >= poll.count || !WriteRegister(poll.reference + row, *word)) {
        Error(kSetValueFailed);
        return;
    }
    GP_AIO->Edit(row)->setModified(false);
    PollStatus(PollSlot(slot), kPolling, kPollFailed);
}

} // namespace tavo
