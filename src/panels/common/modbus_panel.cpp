#include "modbus_panel.h"

#include "form_controls.h"

#include "transport/com_port.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QVBoxLayout>

namespace tavo {

int ModbusSlaveId(const std::string& address) {
    bool ok = false;
    const int id = QString::fromStdString(address).left(2).toInt(&ok, 16);
    return ok && id >= 0 && id <= 255 ? id : 0;
}

int ModbusPollIntervalMs(const TavoComPort* port) {
    return port ? 2 * port->GetTimeOut() + 500 : 500;
}

QString CoilLocation(int coil) {
    return QString::asprintf("%05d", coil);
}

QString RegisterLocation(int reg) {
    return QString::asprintf("%05d", 40000 + reg);
}

ModbusMapList::ModbusMapList(QWidget* parent) : QTreeWidget(parent) {
    setObjectName("lstviewModbus");
    setColumnCount(4);
    setHeaderLabels({"Location", "Type", "Value", "Description"});
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
}

void ModbusMapList::AddRow(const QString& location, const QString& type, const QString& value,
                           const QString& description) {
    addTopLevelItem(new QTreeWidgetItem(QStringList{location, type, value, description}));
}

namespace {
QString Channel(const QString& prefix, int n) {
    return prefix + QString::asprintf("%02d", n);
}
} // namespace

void ModbusMapList::AddCoils(int first, int count, const QString& prefix, int firstChannel) {
    for (int i = 0; i < count; ++i)
        AddRow(CoilLocation(first + i), "Bit", "*", Channel(prefix, firstChannel + i));
}

void ModbusMapList::AddRegisters(int first, int count, const QString& prefix, int firstChannel) {
    for (int i = 0; i < count; ++i)
        AddRow(RegisterLocation(first + i), "Word", kFailed, Channel(prefix, firstChannel + i));
}

int ModbusMapList::RowOf(const QString& location) const {
    for (int row = 0; row < topLevelItemCount(); ++row)
        if (topLevelItem(row)->text(kLocation) == location) return row;
    return -1;
}

QString ModbusMapList::Value(const QString& location) const {
    const int row = RowOf(location);
    return row < 0 ? QString() : topLevelItem(row)->text(kValue);
}

void ModbusMapList::SetValue(const QString& location, const QString& value) {
    const int row = RowOf(location);
    if (row >= 0) topLevelItem(row)->setText(kValue, value);
}

void ModbusMapList::ShowCoils(int first, int count, std::uint32_t bits) {
    for (int i = 0; i < count && i < 32; ++i)
        SetValue(CoilLocation(first + i), (bits >> i) & 1 ? "1" : "0");
}

void ModbusMapList::FailCoils(int first, int count) {
    for (int i = 0; i < count; ++i) SetValue(CoilLocation(first + i), kFailed);
}

QGroupBox* AddModbusMapGroup(QWidget* parent, ModbusMapList*& list) {
    auto* group = NamedGroup(" Modbus Mapping ", "grpModbusMapping", parent);
    auto* layout = new QVBoxLayout(group);
    list = new ModbusMapList(group);
    layout->addWidget(list);
    return group;
}

} // namespace tavo
