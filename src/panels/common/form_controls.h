// Small controls the module panels and dialogs share: named widgets as the forms
// build them, the on/off lamps of indicators and bitmap buttons, and the baud
// rate list. Key filters, number parsing and the up-down are in edit_controls.h.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

class QAbstractButton;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QObject;
class QPushButton;
class QTabWidget;
class QWidget;

namespace tavo {

// Widgets with their control name (objectName) set.
template <class W> W* Named(W* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}
QGroupBox* NamedGroup(const QString& caption, const QString& name, QWidget* parent);
QPushButton* NamedButton(const QString& caption, const QString& name, QWidget* parent);
QLabel* NamedLabel(const QString& text, const QString& name, QWidget* parent);
QLineEdit* NamedEdit(const QString& name, QWidget* parent, int maxLength = 32767,
                     bool readOnly = false);
// The list shows its first item, as a combo box does after its items are added.
QComboBox* NamedCombo(const QString& name, const QStringList& items, QWidget* parent);
// A new page of `tabs`, named and captioned.
QWidget* AddPage(QTabWidget* tabs, const QString& name, const QString& caption);
// A caption; with a buddy its "&" key moves the focus there.
QLabel* CaptionLabel(const QString& text, QWidget* parent, QWidget* buddy = nullptr);

// "1200 bps" ... "115.2 kbps": item index + 3 is the module's baud code.
const QStringList& BaudRateItems();
// Bits per second of item `index` of that list; 0 outside it.
std::uint32_t BaudForIndex(int index);

// The "on" and "off" pictures. The state is kept in the property "on" so that it
// can be read back (tests, accessibility) without comparing pixmaps. A lamp that
// already shows the state is left alone.
void SetLamp(QAbstractButton* button, bool on);
void SetLamp(QLabel* picture, bool on);
bool LampOn(const QObject* control);

// What a poll writes into a control, set only when it differs from what the
// control shows, so that a reading that did not change costs no repaint.
void ShowText(QLineEdit* edit, const QString& text);
void ShowTip(QWidget* widget, const QString& tip);
// The integer property "Tag" the forms keep on buttons (an output's last state).
void SetTag(QObject* control, int tag);

} // namespace tavo
