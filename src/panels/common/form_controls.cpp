#include "form_controls.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>

namespace tavo {
namespace {

QPixmap Lamp(const QColor& fill, const QColor& rim) {
    QPixmap p(16, 16);
    p.fill(Qt::transparent);
    QPainter painter(&p);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(rim, 1));
    painter.setBrush(fill);
    painter.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    return p;
}

const QPixmap& LampPixmap(bool on) {
    // Made on first use: pixmaps need the application object.
    static const QPixmap off = Lamp(QColor(40, 60, 40), Qt::darkGray);
    static const QPixmap lit = Lamp(QColor(40, 230, 40), Qt::darkGreen);
    return on ? lit : off;
}

const QIcon& LampIcon(bool on) {
    static const QIcon off(LampPixmap(false));
    static const QIcon lit(LampPixmap(true));
    return on ? lit : off;
}

// Whether `control` already shows the lamp `on`: a poll sets every lamp twice a
// second, and a new picture costs a repaint and a new layout of the button.
bool Shows(const QObject* control, bool on) {
    const QVariant state = control->property("on");
    return state.isValid() && state.toBool() == on;
}

} // namespace

QGroupBox* NamedGroup(const QString& caption, const QString& name, QWidget* parent) {
    return Named(new QGroupBox(caption, parent), name);
}

QPushButton* NamedButton(const QString& caption, const QString& name, QWidget* parent) {
    return Named(new QPushButton(caption, parent), name);
}

QLabel* NamedLabel(const QString& text, const QString& name, QWidget* parent) {
    return Named(new QLabel(text, parent), name);
}

QLineEdit* NamedEdit(const QString& name, QWidget* parent, int maxLength, bool readOnly) {
    auto* edit = Named(new QLineEdit(parent), name);
    edit->setMaxLength(maxLength);
    edit->setReadOnly(readOnly);
    return edit;
}

QComboBox* NamedCombo(const QString& name, const QStringList& items, QWidget* parent) {
    auto* combo = Named(new QComboBox(parent), name);
    combo->addItems(items);
    return combo;
}

QWidget* AddPage(QTabWidget* tabs, const QString& name, const QString& caption) {
    auto* page = Named(new QWidget, name);
    tabs->addTab(page, caption);
    return page;
}

QLabel* CaptionLabel(const QString& text, QWidget* parent, QWidget* buddy) {
    auto* label = new QLabel(text, parent);
    if (buddy) label->setBuddy(buddy);
    return label;
}

const QStringList& BaudRateItems() {
    static const QStringList items = {"1200 bps",  "2400 bps",  "4800 bps",  "9600 bps",
                                      "19.2 kbps", "38.4 kbps", "57.6 kbps", "115.2 kbps"};
    return items;
}

std::uint32_t BaudForIndex(int index) {
    static constexpr std::uint32_t kBauds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    return index >= 0 && index < 8 ? kBauds[index] : 0;
}

void SetLamp(QAbstractButton* button, bool on) {
    if (Shows(button, on)) return;
    button->setIcon(LampIcon(on));
    button->setProperty("on", on);
}

void SetLamp(QLabel* picture, bool on) {
    if (Shows(picture, on)) return;
    picture->setPixmap(LampPixmap(on));
    picture->setProperty("on", on);
}

void ShowText(QLineEdit* edit, const QString& text) {
    if (edit->text() != text) edit->setText(text);
}

void ShowTip(QWidget* widget, const QString& tip) {
    if (widget->toolTip() != tip) widget->setToolTip(tip);
}

void SetTag(QObject* control, int tag) {
    if (control->property("Tag") != QVariant(tag)) control->setProperty("Tag", tag);
}

bool LampOn(const QObject* control) {
    return control && control->property("on").toBool();
}

} // namespace tavo
