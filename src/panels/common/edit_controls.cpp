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
