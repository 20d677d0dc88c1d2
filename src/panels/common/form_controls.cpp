#include "form_controls.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>
#include <QVBoxLayout>

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

QPixmap LampPixmap(bool on) {
    // Made on first use: pixmaps need the application object.
    static const QPixmap off = Lamp(QColor(40, 60, 40), Qt::darkGray);
    static const QPixmap lit = Lamp(QColor(40, 230, 40), Qt::darkGreen);
    return on ? lit : off;
}

} // namespace

const QStringList& BaudRateItems() {
    static const QStringList items = {"1200 bps",  "2400 bps",  "4800 bps",  "9600 bps",
                                      "19.2 kbps", "38.4 kbps", "57.6 kbps", "115.2 kbps"};
    return items;
}

void SetLamp(QAbstractButton* button, bool on) {
    button->setIcon(QIcon(LampPixmap(on)));
    button->setProperty("lamp", on);
}

void SetLamp(QLabel* picture, bool on) {
    picture->setPixmap(LampPixmap(on));
    picture->setProperty("lamp", on);
}

bool LampOn(const QObject* control) {
    return control && control->property("lamp").toBool();
}


std::optional<std::uint64_t> ParseTenths(const QString& text, std::uint64_t cap) {
    const QString t = text.trimmed();
    const qsizetype dot = t.indexOf('.');
    const QString whole = dot < 0 ? t : t.left(dot);
    const QString fraction = dot < 0 ? QString() : t.mid(dot + 1);
    if (whole.isEmpty() && fraction.isEmpty()) return std::nullopt;
    for (const QChar c : whole + fraction)
        if (c < '0' || c > '9') return std::nullopt;
    const auto units = whole.isEmpty() ? std::optional<std::uint64_t>(0) : ParseDigits(whole, cap);
    if (!units) return std::nullopt;
    if (*units > cap / 10) return cap + 1;
    const std::uint64_t tenths =
        *units * 10 + (fraction.isEmpty() ? 0 : fraction[0].unicode() - '0');
    return tenths > cap ? cap + 1 : tenths;
}

std::optional<std::uint64_t> ParseDigits(const QString& text, std::uint64_t cap) {
    if (text.isEmpty()) return std::nullopt;
    std::uint64_t value = 0;
    bool over = false;
    for (const QChar c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        if (!over) {
            value = value * 10 + static_cast<std::uint64_t>(c.unicode() - '0');
            over = value > cap;
        }
    }
    return over ? cap + 1 : value;
}

} // namespace tavo
