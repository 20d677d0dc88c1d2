// What the Modbus variants of the module panels share: the slave address taken
// from the tree node, the poll interval that follows the port's time-out, and the
// " Modbus Mapping " list of the coils and registers the panel reads.
//
// The read-only general settings of these panels are GeneralSettingsPanel's
// MakeGeneralReadOnly and ShowReadOnlyGeneral; the requests themselves go through
// ModbusSlave (devices/modbus_slave.h).
#pragma once

#include <QString>
#include <QTreeWidget>

#include <cstdint>
#include <string>

class QGroupBox;

namespace tavo {

class TavoComPort;

// The slave id of a module: its node address text read as hexadecimal ("0A" is
// 10). A text that is not hexadecimal (the INIT marker "*") gives 0, which no
// module answers.
int ModbusSlaveId(const std::string& address);

// A Modbus panel polls every 2 × the port's time-out + 500 ms, so that a silent
// slave's time-out always fits into one tick. Without a port: 500 ms.
int ModbusPollIntervalMs(const TavoComPort* port);

// Reference numbers as the list shows them: coils as they are ("00017"), holding
// registers after the digit 4 ("40213" for register 213).
QString CoilLocation(int coil);
QString RegisterLocation(int reg);

// The register and coil list of a Modbus panel (objectName "lstviewModbus"), with
// the columns "Location", "Type", "Value", "Description"; one row per point.
class ModbusMapList : public QTreeWidget {
    Q_OBJECT
public:
    enum Column { kLocation = 0, kType, kValue, kDescription };
    // What a point shows when its read failed.
    static constexpr const char* kFailed = "*****";

    explicit ModbusMapList(QWidget* parent = nullptr);

    // Rows of `count` coils from `first`, Type "Bit", Value "*" until read, and the
    // description `prefix` + channel firstChannel + i as "%02d" ("DI CH:03").
    void AddCoils(int first, int count, const QString& prefix, int firstChannel = 0);
    // Rows of `count` holding registers from `first`, Type "Word", Value "*****".
    void AddRegisters(int first, int count, const QString& prefix, int firstChannel = 0);

    // Row by location text ("00017"); -1 when the list has none.
    int RowOf(const QString& location) const;
    QString Value(const QString& location) const;
    void SetValue(const QString& location, const QString& value);
    // Coils first .. first + count - 1 show "1"/"0" from bit i of `bits`.
    void ShowCoils(int first, int count, std::uint32_t bits);
    // Their read failed: "*****".
    void FailCoils(int first, int count);

private:
    void AddRow(const QString& location, const QString& type, const QString& value,
                const QString& description);
};

// The group " Modbus Mapping " holding a new list; `list` receives it.
QGroupBox* AddModbusMapGroup(QWidget* parent, ModbusMapList*& list);

} // namespace tavo
