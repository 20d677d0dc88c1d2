#include "edit_controls.h"
#include "general_settings.h"

#include "form_controls.h"

#include "devices/r_base.h"

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
    grpModule = new QGroupBox(" Tavo-" + model + " ", this);
    grpModule->setObjectName("grpModule");
    top->addWidget(grpModule);
    return new QVBoxLayout(grpModule);
}

void GeneralSettingsPanel::AddGeneralControls(QGridLayout* grid, int& row) {
    auto* parent = grid->parentWidget();
    edtAddress_Dec = new QLineEdit("0", parent);
    edtAddress_Dec->setObjectName("edtAddress_Dec");
    edtAddress_Dec->setMaxLength(3);
    FilterKeys(edtAddress_Dec, "0123456789");
    UpDownTAVO_ID = new UpDown(edtAddress_Dec, 0, 255, parent);
    UpDownTAVO_ID->setObjectName("UpDownTAVO_ID");
    edtAddress_Hex = new QLineEdit(parent);
    edtAddress_Hex->setObjectName("edtAddress_Hex");
    edtAddress_Hex->setReadOnly(true);
    auto* address = new QHBoxLayout;
    address->addWidget(new QLabel("DEC", parent));
    address->addWidget(edtAddress_Dec);
    address->addWidget(UpDownTAVO_ID);
    address->addWidget(new QLabel("HEX", parent));
    address->addWidget(edtAddress_Hex);
    grid->addWidget(new QLabel("Address :", parent), row, 0);
    grid->addLayout(address, row++, 1);

    cmbBaudRate = new QComboBox(parent);
    cmbBaudRate->setObjectName("cmbBaudRate");
    cmbBaudRate->addItems(BaudRateItems());
    grid->addWidget(new QLabel("Baud Rate :", parent), row, 0);
    grid->addWidget(cmbBaudRate, row++, 1);

    chkCheckSum = new QCheckBox("Enable", parent);
    chkCheckSum->setObjectName("chkCheckSum");
    grid->addWidget(new QLabel("Check Sum :", parent), row, 0);
    grid->addWidget(chkCheckSum, row++, 1);

    edtFirmwareVer = new QLineEdit(parent);
    edtFirmwareVer->setObjectName("edtFirmwareVer");
    edtFirmwareVer->setReadOnly(true);
    grid->addWidget(new QLabel("Firmware Ver :", parent), row, 0);
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

std::string GeneralSettingsPanel::SelectedBaudCode() const {
    const int index = cmbBaudRate->currentIndex();
    return index < 0 ? std::string() : Hex2(index + 3).toStdString();
}

GeneralSettingsPanel::ConfigWrite
GeneralSettingsPanel::WriteGeneralSettings(int newAddress, const std::vector<TavoRBase*>& objects,
                                           const std::function<bool(bool)>& prepare,
                                           int pauseAfterReadsMs) {
    TavoRBase& device = *objects.front();
    const std::string target = Hex2(newAddress).toStdString();
    if (InitMode()) {
        if (!device.ReadConfig()) {
            Error("Query module configuration failed!");
            return ConfigWrite::NotSent;
        }
        // The module answers at "00" until its INIT jumper is removed: the write
        // goes to 00 and the panel keeps talking to 00 afterwards.
        SetAddressOfAll(objects, target);
        ConfigWrite result = ConfigWrite::NotSent;
        if (!prepare(true)) {
            Error("Update failed!");
        } else if (device.WriteConfig()) {
            result = ConfigWrite::Written;
        } else {
            Error("Update failed!");
            result = ConfigWrite::Failed;
        }
        SetAddressOfAll(objects, "00");
        return result;
    }

    std::string name;
    if (!device.ReadConfig() || !device.ReadModuleName(name)) {
        Error("Query module configuration failed!");
        return ConfigWrite::NotSent;
    }
    if (pauseAfterReadsMs > 0) Pause(pauseAfterReadsMs);
    const std::string old = device.Address();
    SetAddressOfAll(objects, target);
    ConfigWrite result = ConfigWrite::NotSent;
    QString owner;
    if (QString::fromStdString(old).compare(QString::fromStdString(target), Qt::CaseInsensitive) &&
        AddressInUse(newAddress, owner)) {
        Error("The address " + edtAddress_Dec->text().trimmed() + " (Dec) is used by Module [" +
              owner + "] !");
    } else if (!prepare(false)) {
        Error("Update failed!");
    } else if (device.WriteConfig()) {
        RenameModuleNode(newAddress, QString::fromStdString(name));
        result = ConfigWrite::Written;
    } else {
        Error("Update failed!");
        result = ConfigWrite::Failed;
    }
    if (result != ConfigWrite::Written) SetAddressOfAll(objects, old);
    return result;
}

} // namespace tavo
