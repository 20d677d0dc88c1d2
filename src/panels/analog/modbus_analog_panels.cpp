#include "modbus_analog_panels.h"

#include "modbus_analog_links.h"

#include "panels/common/channel_controls.h"
#include "panels/common/modbus_panel.h"

#include "points/output_values.h"

#include "devices/models_analog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <map>
#include <string>

namespace tavo {
namespace {

constexpr ModbusInputMember kR270PMod{"R270P", " Tavo-R270+ Modbus", RawScaling::R270P};
constexpr ModbusInputMember kR260PMod{"R260P", " Tavo-R260+ Modbus ", RawScaling::R260P};
constexpr ModbusInputMember kR240Mod{"R240", " Tavo-R240 Modbus ", RawScaling::None};
constexpr ModbusInputMember kR240TMod{"R240T", " Tavo-R240T Modbus ", RawScaling::None};
constexpr ModbusInputMember kR280BMod{"R280B", " Tavo-R280+ Modbus ", RawScaling::R280B};
constexpr ModbusInputMember kR810Mod{"R810", " Tavo-R810 Modbus ", RawScaling::R810};
constexpr ModbusInputMember kR820Mod{"R820", " Tavo-R820 Modbus ", RawScaling::R820};
constexpr ModbusInputMember kR260ANMod{"R260AN", " Tavo-R260AN Modbus ", RawScaling::R810};
constexpr ModbusInputMember kR270ANMod{"R270AN", " Tavo-R270AN Modbus ", RawScaling::R820};

// The multi-channel member row of a Modbus member: the ASCII member's channels and
// ranges, with what the Modbus side words and offers differently. Rows live for
// the program's life (user-interface thread only).
const MultiInputMember& ModbusRow(const char* designation) {
    static std::map<std::string, MultiInputMember> rows;
    auto [it, fresh] = rows.try_emplace(designation, *FindMultiInputMember(designation));
    if (fresh) {
        MultiInputMember& row = it->second;
        row.channelFailure = "Fail to fresh AI status!";
        row.settingsFile = false;
    }
    return it->second;
}

// Hides a general-settings control together with its caption.
void DropWithCaption(QWidget* control, QWidget* group) {
    control->hide();
    control->setEnabled(false);
    for (QLabel* label : group->findChildren<QLabel*>())
        if (label->buddy() == control) label->hide();
}

void AddToMainGroup(QGroupBox* main, QWidget* w) {
    if (auto* layout = qobject_cast<QVBoxLayout*>(main->layout())) layout->addWidget(w);
}

} // namespace

// ---- Multi-channel inputs ------------------------------------------------------------

TfrmMR270PMod::TfrmMR270PMod(QWidget* parent) : TfrmMR270PMod(kR270PMod, parent) {}

TfrmMR270PMod::TfrmMR270PMod(const ModbusInputMember& row, QWidget* parent)
    : TfrmMR270P(ModbusRow(row.designation), parent), row_(row) {
    setObjectName(QString("TfrmM%1Mod").arg(row.designation));
    grpModule->setTitle(row.caption);
    // Only the address, the baud rate, the firmware and the protocol are shown:
    // nothing of the configuration can be written over Modbus.
    for (QWidget* w :
         {static_cast<QWidget*>(cmbDataFormat), static_cast<QWidget*>(cmbIntegrationTime),
          static_cast<QWidget*>(edtCommWDT)})
        DropWithCaption(w, grpGeneralSetting);
    lblCommWDTUnit->hide();
    Drop(grpCalibration);
    btSystemUpdate->setEnabled(false);
    cmbPotocolSelect->setEnabled(false);
    cmbPotocolSelect->setCurrentIndex(1);
    MakeGeneralReadOnly("Not available");

    grpModbusMapping = AddModbusMapGroup(grpModule, lstviewModbus);
    AddToMainGroup(grpModule, grpModbusMapping);
    lstviewModbus->AddRegisters(kFirstValueRegister, ChannelCount(), "AI CH:", 0);
}

TfrmMR270PMod::~TfrmMR270PMod() {
    StopPolling();
}

std::unique_ptr<MultiInputProtocol> TfrmMR270PMod::MakeProtocol() {
    auto protocol = std::make_unique<ModbusMultiInput>(*Module(), ModbusSlaveId(WireAddress()));
    modbus_ = protocol.get();
    return protocol;
}

void TfrmMR270PMod::InitModule(const PanelContext& context) {
    // A silent slave's time-out always fits into one tick.
    PollTimer()->setInterval(ModbusPollIntervalMs(context.port));
    TfrmMR270P::InitModule(context);
    // The base enabled what an INIT module would let change; here nothing does.
    MakeGeneralReadOnly("Not available");
    cmbPotocolSelect->setEnabled(false);
}

void TfrmMR270PMod::RefreshGeneral() {
    std::string firmware;
    const bool read = modbus_ && modbus_->ReadFirmware(firmware);
    if (read) newThermocoupleSpan_ = tavo::NewThermocoupleSpan(firmware);
    ShowReadOnlyGeneral(read ? std::optional(QString::fromStdString(firmware)) : std::nullopt);
    cmbPotocolSelect->setCurrentIndex(1);
}

void TfrmMR270PMod::RefreshData() {
    if (!modbus_) return;
    const int count = ChannelCount();
    bool ok = false;
    // The values on the "1" ticks, the mask and the burn-out flags on the "0" ticks.
    if (NextHeartbeat() == 1) {
        std::vector<std::uint16_t> raw;
        ok = modbus_->ReadRaw(count, raw);
        rawRead_ = ok;
        if (ok) raw_ = std::move(raw);
    } else {
        unsigned mask = 0;
        std::uint32_t burnt = 0;
        ok = modbus_->ReadEnableMask(mask) && modbus_->ReadBurnOut(count, burnt);
        if (ok) burnOut_ = burnt;
    }
    PollStatus(ok, "Polling AI data...", "Fail to fresh AI data!");
    ShowReadings();
}

void TfrmMR270PMod::ShowReadings() {
    const int count = ChannelCount();
    // Until the mask has been read every channel counts as enabled.
    const unsigned mask = modbus_->LastMask().value_or(0xFF);
    for (int n = 0; n < count; ++n) {
        const QString location = RegisterLocation(kFirstValueRegister + n);
        if (!rawRead_ || static_cast<int>(raw_.size()) < count) {
            // The values are no longer known: the list says so, the edits keep the
            // last reading beside the failure in the status bar.
            lstviewModbus->SetValue(location, ModbusMapList::kFailed);
            continue;
        }
        const std::uint16_t raw = raw_[static_cast<std::size_t>(n)];
        if (!((mask >> n) & 1)) {
            lstviewModbus->SetValue(location, ModbusMapList::kFailed);
            channels->SetValue(n, QString());
            continue;
        }
        lstviewModbus->SetValue(location, QString::number(raw));
        if ((burnOut_ >> n) & 1)
            channels->SetValue(n, "Burn-out");
        else
            channels->SetValue(
                n, QString::fromStdString(ModbusChannelText(row_.scaling, modbus_->LastRange(n),
                                                            raw, newThermocoupleSpan_)));
    }
}

TfrmMR260PMod::TfrmMR260PMod(QWidget* parent) : TfrmMR270PMod(kR260PMod, parent) {}
TfrmMR240Mod::TfrmMR240Mod(QWidget* parent) : TfrmMR270PMod(kR240Mod, parent) {}
TfrmMR240TMod::TfrmMR240TMod(QWidget* parent) : TfrmMR270PMod(kR240TMod, parent) {}
TfrmMR280BMod::TfrmMR280BMod(QWidget* parent) : TfrmMR270PMod(kR280BMod, parent) {}
TfrmMR810Mod::TfrmMR810Mod(QWidget* parent) : TfrmMR270PMod(kR810Mod, parent) {}
TfrmMR820Mod::TfrmMR820Mod(QWidget* parent) : TfrmMR810Mod(kR820Mod, parent) {}
TfrmMR260ANMod::TfrmMR260ANMod(QWidget* parent) : TfrmMR810Mod(kR260ANMod, parent) {}
TfrmMR270ANMod::TfrmMR270ANMod(QWidget* parent) : TfrmMR820Mod(kR270ANMod, parent) {}

// ---- R330 ----------------------------------------------------------------------------

TfrmMR330Mod::TfrmMR330Mod(QWidget* parent) : TfrmMR330("R330 Modbus", parent) {
    setObjectName("TfrmMR330Mod");
    // Slew rate and safety time live in the configuration and the trims are ASCII
    // commands: the Modbus map has none of them, so they are not shown at all.
    MakeGeneralReadOnly("Not available");
    for (QWidget* w : {static_cast<QWidget*>(cmbSlewRate), static_cast<QWidget*>(edtCommSafety)})
        DropWithCaption(w, grpGeneralSetting);
    for (QWidget* w : {static_cast<QWidget*>(lblCommSafetyUnit), static_cast<QWidget*>(lblCalibration),
                       static_cast<QWidget*>(bitbtn4mA), static_cast<QWidget*>(bitbtn20mA)}) {
        w->hide();
        w->setEnabled(false);
    }
    for (QWidget* w :
         {static_cast<QWidget*>(cmbPotocolSelect), static_cast<QWidget*>(btSystemUpdate)})
        w->setEnabled(false);
    cmbPotocolSelect->setCurrentIndex(1);
    grpModbusMapping = AddModbusMapGroup(grpModule, lstviewModbus);
    AddToMainGroup(grpModule, grpModbusMapping);
    lstviewModbus->AddCoils(kFirstR330InputCoil, kChannels, "DI CH:", kFirstR330InputCoil);
    lstviewModbus->AddRegisters(kFirstR330OutputRegister, kChannels, "AO CH:",
                                kFirstR330OutputRegister);
}

void TfrmMR330Mod::InitModule(const PanelContext& context) {
    TfrmMR330::InitModule(context);
    MakeGeneralReadOnly("Not available");
    cmbPotocolSelect->setEnabled(false);
}

std::unique_ptr<R330Link> TfrmMR330Mod::MakeLink(TavoMR330& module) {
    auto link = std::make_unique<R330ModbusLink>(module, ModbusSlaveId(WireAddress()));
    modbus_ = link.get();
    return link;
}

void TfrmMR330Mod::RefreshGeneral() {
    std::string firmware;
    const bool read = modbus_ && modbus_->ReadFirmware(firmware);
    ShowReadOnlyGeneral(read ? std::optional(QString::fromStdString(firmware)) : std::nullopt);
    cmbPotocolSelect->setCurrentIndex(1);
}

void TfrmMR330Mod::AfterPoll(bool outputs, bool inputs) {
    if (!modbus_) return;
    int unscaled = -1; // the first channel read whose range is not known
    for (int n = 0; n < kChannels; ++n) {
        const auto raw = modbus_->LastRaw(n);
        lstviewModbus->SetValue(RegisterLocation(kFirstR330OutputRegister + n),
                                raw ? QString::number(*raw) : QString(ModbusMapList::kFailed));
        if (raw && unscaled < 0 && modbus_->RangeCode(n) < 0) unscaled = n;
    }
    if (const auto bits = modbus_->LastInputs(); inputs && bits)
        lstviewModbus->ShowCoils(kFirstR330InputCoil, kChannels, *bits);
    else
        lstviewModbus->FailCoils(kFirstR330InputCoil, kChannels);
    // The registers came, but a value needs its channel's range; the poll does not
    // read the ranges, so the user must.
    if (!outputs && inputs && unscaled >= 0)
        Status(QString("The range of Ch %1 could not be read: press Refresh to read it again.")
                   .arg(unscaled));
}

QString TfrmMR330Mod::RangeWriteFailure(int) const {
    return "Change AI range failed";
}

} // namespace tavo
