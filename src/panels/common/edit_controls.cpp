#include "edit_controls.h"

#include <QLineEdit>
#include <QRegularExpression>
#include <QSignalBlocker>

namespace tavo {

CharSetValidator::CharSetValidator(const QString& allowed, QObject* parent)
    : QValidator(parent), allowed_(allowed) {}

QValidator::State CharSetValidator::validate(QString& input, int&) const {
    for (const QChar c : input)
        if (!allowed_.contains(c)) return Invalid;
    return Acceptable;
}

void FilterKeys(QLineEdit* edit, const QString& allowed, std::function<void()> onEnter) {
    edit->setValidator(new CharSetValidator(allowed, edit));
    if (onEnter) QObject::connect(edit, &QLineEdit::returnPressed, edit, std::move(onEnter));
}

bool ParsePlainDecimal(const QString& text, double& value) {
    static const QRegularExpression kNumber("^[+-]?(\\d+\\.?\\d*|\\.\\d+)$");
    const QString t = text.trimmed();
    if (!kNumber.match(t).hasMatch()) return false;
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok) return false;
    value = v;
    return true;
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

UpDown::UpDown(QLineEdit* associate, int min, int max, QWidget* parent)
    : QScrollBar(Qt::Vertical, parent), associate_(associate) {
    setRange(min, max);
    setSingleStep(1);
    setPageStep(1);
    setFixedHeight(associate->sizeHint().height());
    setFixedWidth(16);
    // A vertical scroll bar counts down with its upper arrow; positions run the
    // other way so that the upper arrow counts up, as on a spin box.
    connect(this, &QScrollBar::valueChanged, this, [this] {
        if (!syncing_) associate_->setText(QString::number(Number()));
    });
    connect(associate_, &QLineEdit::textChanged, this, [this](const QString& text) {
        bool ok = false;
        const int v = text.trimmed().toInt(&ok);
        if (ok) SetPosition(v);
    });
    SetPosition(associate_->text().trimmed().toInt());
}

void UpDown::SetPosition(int number) {
    syncing_ = true;
    setValue(maximum() + minimum() - number);
    syncing_ = false;
}

int UpDown::Number() const {
    return maximum() + minimum() - value();
}

} // namespace tavo
