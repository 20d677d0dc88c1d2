#include "general_settings.h"

#include "edit_controls.h"
#include "form_controls.h"
#include "modbus_panel.h"

#include "devices/r_base.h"
#include "transport/com_port.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace tavo {
namespace {

void SetAddressOfAll(const std::vector<TavoRBase*>& objects, const std::string& address) {
    for (TavoRBase* object : objects)
        object->SetAddress(address);
}

} // namespace

GeneralSettingsPanel::GeneralSettingsPanel(QWidget* parent) : PanelBase(parent) {}

QVBoxLayout* GeneralSettingsPanel::AddMainGroup(const QString& model) {
    auto* top = new QVBoxLayout(this);
    grpModule = NamedGroup(" Tavo-" + model + " ", "grpModule", this);
    top->addWidget(grpModule);
    return new QVBoxLayout(grpModule);
}

void GeneralSettingsPanel::AddGeneralControls(QGridLayout* grid, int& row,
                                              const GeneralRows& rows) {
    auto* parent = grid->parentWidget();
    const auto caption = [parent](const QString& text, QWidget* buddy = nullptr) {
        return CaptionLabel(text, parent, buddy);
    };
    edtAddress_Dec = NamedEdit("edtAddress_Dec", parent, 3);
    edtAddress_Dec->setText("0");
    FilterKeys(edtAddress_Dec, kDigitKeys, rows.onAddressEnter);
    UpDownTAVO_ID = Named(new UpDown(edtAddress_Dec, 0, 255, parent), "UpDownTAVO_ID");
    edtAddress_Hex = NamedEdit("edtAddress_Hex", parent, 32767, true);
    auto* address = new QHBoxLayout;
    address->addWidget(caption("DEC", edtAddress_Dec));
    address->addWidget(edtAddress_Dec);
    address->addWidget(UpDownTAVO_ID);
    address->addSpacing(8);
    address->addWidget(caption("HEX"));
    address->addWidget(edtAddress_Hex);
    grid->addWidget(caption("Address :"), row, 0);
    grid->addLayout(address, row++, 1);

    cmbBaudRate = NamedCombo("cmbBaudRate", BaudRateItems(), parent);
    cmbBaudRate->setCurrentIndex(-1);
    grid->addWidget(caption("Baud Rate :", cmbBaudRate), row, 0);
    grid->addWidget(cmbBaudRate, row++, 1);

    chkCheckSum = Named(new QCheckBox("Enable", parent), "chkCheckSum");
    chkCheckSum->setEnabled(false);
    grid->addWidget(caption(rows.checksumCaption), row, 0);
    grid->addWidget(chkCheckSum, row++, 1);

    edtFirmwareVer = NamedEdit("edtFirmwareVer", parent, 32767, true);
    grid->addWidget(caption("Firmware Ver :"), row, 0);
    grid->addWidget(edtFirmwareVer, row++, 1);
}

void GeneralSettingsPanel::EnableInitControls() {
    cmbBaudRate->setEnabled(InitMode());
    chkCheckSum->setEnabled(InitMode());
}

bool GeneralSettingsPanel::ReadGeneral(TavoRBase& device, General& out) {
    General g;
    std::string bit6;
    if (!device.ReadConfigAddress(g.address) || !device.GetFormatBit6(bit6) ||
        !device.GetBaudCode(g.baudCode) || !device.ReadFirmwareVersion(g.firmware))
        return false;
    g.checksum = bit6 == "1";
    out = std::move(g);
    return true;
}

void GeneralSettingsPanel::ShowGeneral(const General& general, const QString& firmware) {
    const QString address = QString::fromStdString(general.address);
    edtAddress_Hex->setText(InitMode() ? "*" + address : address);
    edtAddress_Dec->setText(QString::number(address.toInt(nullptr, 16)));
    // A baud code outside the list shows no selection rather than a wrong one.
    bool ok = false;
    const int index = QString::fromStdString(general.baudCode).toInt(&ok, 16) - 3;
    cmbBaudRate->setCurrentIndex(ok && index >= 0 && index < cmbBaudRate->count() ? index : -1);
    chkCheckSum->setChecked(general.checksum);
    edtFirmwareVer->setText(firmware);
}

void GeneralSettingsPanel::MakeGeneralReadOnly(const QString& checksumCaption) {
    edtAddress_Dec->setEnabled(false);
    UpDownTAVO_ID->setEnabled(false);
    cmbBaudRate->setEnabled(false);
    chkCheckSum->setEnabled(false);
    chkCheckSum->setChecked(false);
    if (!checksumCaption.isEmpty()) chkCheckSum->setText(checksumCaption);
}

void GeneralSettingsPanel::ShowReadOnlyGeneral(const std::optional<QString>& firmware) {
    const int slave = ModbusSlaveId(WireAddress());
    edtAddress_Hex->setText(Hex2(slave));
    edtAddress_Dec->setText(QString::number(slave));
    const std::uint32_t baud = Port() ? Port()->GetLineSettings().baud : 0;
    int index = -1;
    for (int i = 0; i < cmbBaudRate->count(); ++i)
        if (BaudForIndex(i) == baud) index = i;
    cmbBaudRate->setCurrentIndex(index);
    if (firmware) edtFirmwareVer->setText(*firmware);
}

std::string GeneralSettingsPanel::SelectedBaudCode() const {
    const int index = cmbBaudRate->currentIndex();
    return index < 0 ? std::string() : Hex2(index + 3).toStdString();
}

GeneralSettingsPanel::ConfigWrite
GeneralSettingsPanel::WriteGeneralSettings(int newAddress, const std::vector<TavoRBase*>& objects,
                                           const ConfigSteps& steps) {
    TavoRBase& device = *objects.front();
    const std::string target = Hex2(newAddress).toStdString();
    const auto ready = [&steps](bool initMode) { return !steps.ready || steps.ready(initMode); };
    if (InitMode()) {
        if (!device.ReadConfig()) {
            Error("Query module configuration failed!");
            return ConfigWrite::NotSent;
        }
        if (!ready(true)) {
            Error("Update failed!");
            return ConfigWrite::NotSent;
        }
        // The module answers at "00" until its INIT jumper is removed: the write
        // goes to 00 and the panel keeps talking to 00 afterwards.
        SetAddressOfAll(objects, target);
        if (steps.prepare) steps.prepare(true);
        const bool written = device.WriteConfig();
        if (!written) Error("Update failed!");
        SetAddressOfAll(objects, "00");
        return written ? ConfigWrite::Written : ConfigWrite::Failed;
    }

    std::string name;
    if (!device.ReadConfig() || !device.ReadModuleName(name)) {
        Error("Query module configuration failed!");
        return ConfigWrite::NotSent;
    }
    if (!ready(false)) {
        Error("Update failed!");
        return ConfigWrite::NotSent;
    }
    if (steps.pauseAfterReadsMs > 0) Pause(steps.pauseAfterReadsMs);
    const std::string old = device.Address();
    SetAddressOfAll(objects, target);
    ConfigWrite result = ConfigWrite::NotSent;
    QString owner;
    if (QString::fromStdString(old).compare(QString::fromStdString(target), Qt::CaseInsensitive) &&
        AddressInUse(newAddress, owner)) {
        Error("The address " + edtAddress_Dec->text().trimmed() + " (Dec) is used by Module [" +
              owner + "] !");
    } else {
        if (steps.prepare) steps.prepare(false);
        if (device.WriteConfig()) {
            RenameModuleNode(newAddress, QString::fromStdString(name));
            result = ConfigWrite::Written;
        } else {
            Error("Update failed!");
            result = ConfigWrite::Failed;
        }
    }
    if (result != ConfigWrite::Written) SetAddressOfAll(objects, old);
    return result;
}

} // namespace tavo
