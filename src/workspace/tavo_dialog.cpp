#include "tavo_dialog.h"

#include <QKeyEvent>
#include <QPushButton>

namespace tavo {

TavoDialog::TavoDialog(QWidget* parent) : QDialog(parent) {}

void TavoDialog::SetDefaultButton(QPushButton* button) {
    if (defaultButton_ && defaultButton_ != button) defaultButton_->setDefault(false);
    defaultButton_ = button;
    if (button) button->setDefault(true);
}

void TavoDialog::DropAutoDefaults() {
    for (QPushButton* b : findChildren<QPushButton*>()) {
        if (b == defaultButton_) continue;
        b->setAutoDefault(false);
        b->setDefault(false);
    }
}

void TavoDialog::setVisible(bool visible) {
    if (visible) DropAutoDefaults();
    QDialog::setVisible(visible);
}

void TavoDialog::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter || (event->modifiers() & ~Qt::KeypadModifier)) {
        QDialog::keyPressEvent(event);
        return;
    }
    // A button made after the dialog was shown may still carry the auto-default
    // role: the rule holds for it too.
    DropAutoDefaults();
    // Key events come from the focus widget: a focused button is pressed, as Space
    // would; from anywhere else only the named default is.
    QPushButton* target = qobject_cast<QPushButton*>(focusWidget());
    if (!target) target = defaultButton_;
    if (target && target->isVisible() && target->isEnabled()) target->click();
    event->accept();
}

} // namespace tavo
