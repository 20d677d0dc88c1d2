// The base of every dialog window of the program, and the one rule for its Enter
// key.
//
// A plain QDialog gives its push buttons the auto-default role and, when it is
// shown, makes the first of them the default button: Enter typed in any field then
// presses it. In a calibration dialog that is "Save", so one Enter after typing a
// value (or before the signal is applied) would write to the module. Here no
// button is pressed by Enter unless the dialog names it with SetDefaultButton (only
// a dialog whose form has a default button does), or the user has moved the focus
// onto that button, where Enter presses it as Space does. A field's own Enter
// action (FilterKeys with onEnter) still runs.
//
// Every dialog derives from TavoDialog instead of QDialog, so dialogs added later
// follow the rule without doing anything.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QPushButton>

namespace tavo {

class TavoDialog : public QDialog {
    Q_OBJECT
public:
    explicit TavoDialog(QWidget* parent = nullptr);

    // The one button Enter presses wherever the focus is; null for none.
    void SetDefaultButton(QPushButton* button);
    QPushButton* DefaultButton() const { return defaultButton_; }

    // Takes the auto-default role from every push button but the named default
    // before the dialog shows, so Qt chooses none itself.
    void setVisible(bool visible) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void DropAutoDefaults();
    QPointer<QPushButton> defaultButton_;
};

} // namespace tavo
