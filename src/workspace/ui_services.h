// The one door through which windows reach message boxes, questions, file dialogs,
// modal dialogs and fixed waits. The program installs the real one; tests install
// one that answers on cue and runs waits on a test clock, so the whole GUI can be
// driven headless without a modal box blocking.
#pragma once

#include <QString>

#include <memory>

class QDialog;
class QUrl;
class QWidget;

namespace tavo {

class UiServices {
public:
    enum class Icon { Information, Warning, Error, Question };

    virtual ~UiServices() = default;

    // A modal box with one OK button.
    virtual void Message(QWidget* parent, Icon icon, const QString& title, const QString& text) = 0;
    // A modal Yes/No question; true for Yes.
    virtual bool Ask(QWidget* parent, const QString& title, const QString& text) = 0;
    // File dialogs; an empty result means the user cancelled. `defaultSuffix`
    // ("cfg", without the point) is added to a typed name that has no suffix of
    // its own, before the dialog checks whether the file exists.
    virtual QString SaveFileName(QWidget* parent, const QString& title, const QString& defaultName,
                                 const QString& filter, const QString& defaultSuffix = {}) = 0;
    // A file to add to: as SaveFileName, but choosing one that exists is no question
    // of replacing it, since what is written goes after what it holds.
    virtual QString AppendFileName(QWidget* parent, const QString& title,
                                   const QString& defaultName, const QString& filter,
                                   const QString& defaultSuffix = {}) {
        return SaveFileName(parent, title, defaultName, filter, defaultSuffix);
    }
    virtual QString OpenFileName(QWidget* parent, const QString& title, const QString& defaultName,
                                 const QString& filter, const QString& defaultSuffix = {}) = 0;
    // A modal one-line text question, offering `initial`; an empty result means the
    // user cancelled. Services that never ask (benchmarks, fuzzers) cancel.
    virtual QString AskText(QWidget* parent, const QString& title, const QString& label,
                            const QString& initial) {
        (void)parent, (void)title, (void)label, (void)initial;
        return {};
    }
    // Runs a dialog modally; returns its result (QDialog::Accepted or Rejected).
    virtual int Exec(QDialog& dialog) = 0;
    // A fixed pause that blocks the caller (a module needs time after a write).
    virtual void Sleep(int ms) = 0;
    virtual void Beep() = 0;
    virtual bool OpenUrl(const QUrl& url) = 0;
};

// The installed services (the real ones unless a test installed its own).
UiServices& Ui();
// Installs `services`; returns the previous ones so a test can put them back.
std::unique_ptr<UiServices> InstallUi(std::unique_ptr<UiServices> services);

// The application title every plain message box carries.
QString AppTitle();

// Shorthands for the common boxes, captioned with the application title.
void ShowError(QWidget* parent, const QString& text);
void ShowInformation(QWidget* parent, const QString& text);
void ShowWarning(QWidget* parent, const QString& text);

} // namespace tavo
