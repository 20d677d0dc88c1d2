#include "ui_services.h"

#include "transport/pause.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QThread>
#include <QUrl>

namespace tavo {
namespace {

class QtUi final : public UiServices {
public:
    void Message(QWidget* parent, Icon icon, const QString& title, const QString& text) override {
        QMessageBox box(parent);
        box.setWindowTitle(title);
        box.setText(text);
        box.setIcon(icon == Icon::Error      ? QMessageBox::Critical
                    : icon == Icon::Warning  ? QMessageBox::Warning
                    : icon == Icon::Question ? QMessageBox::Question
                                             : QMessageBox::Information);
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
    }
    bool Ask(QWidget* parent, const QString& title, const QString& text) override {
        return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    }
    QString SaveFileName(QWidget* parent, const QString& title, const QString& defaultName,
                         const QString& filter, const QString& defaultSuffix) override {
        if (defaultSuffix.isEmpty())
            return QFileDialog::getSaveFileName(parent, title, defaultName, filter);
        return FileName(parent, title, defaultName, filter, defaultSuffix, QFileDialog::AcceptSave);
    }
    QString AppendFileName(QWidget* parent, const QString& title, const QString& defaultName,
                           const QString& filter, const QString& defaultSuffix) override {
        return FileName(parent, title, defaultName, filter, defaultSuffix, QFileDialog::AcceptSave,
                        QFileDialog::DontConfirmOverwrite);
    }
    QString OpenFileName(QWidget* parent, const QString& title, const QString& defaultName,
                         const QString& filter, const QString& defaultSuffix) override {
        if (defaultSuffix.isEmpty())
            return QFileDialog::getOpenFileName(parent, title, defaultName, filter);
        return FileName(parent, title, defaultName, filter, defaultSuffix, QFileDialog::AcceptOpen);
    }
    QString AskText(QWidget* parent, const QString& title, const QString& label,
                    const QString& initial) override {
        bool ok = false;
        const QString text =
            QInputDialog::getText(parent, title, label, QLineEdit::Normal, initial, &ok);
        return ok ? text : QString();
    }
    int Exec(QDialog& dialog) override { return dialog.exec(); }
    void Sleep(int ms) override {
        if (ms > 0) QThread::msleep(static_cast<unsigned long>(ms));
    }
    void Beep() override { QApplication::beep(); }
    bool OpenUrl(const QUrl& url) override { return QDesktopServices::openUrl(url); }

private:
    // The static dialogs take no default suffix; this one is the same dialog with it.
    static QString FileName(QWidget* parent, const QString& title, const QString& defaultName,
                            const QString& filter, const QString& defaultSuffix,
                            QFileDialog::AcceptMode mode, QFileDialog::Options options = {}) {
        QFileDialog dialog(parent, title, defaultName, filter);
        dialog.setAcceptMode(mode);
        dialog.setOptions(dialog.options() | options);
        dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                           : QFileDialog::ExistingFile);
        dialog.setDefaultSuffix(defaultSuffix);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        return dialog.selectedFiles().front();
    }
};

std::unique_ptr<UiServices>& Installed() {
    static std::unique_ptr<UiServices> services = [] {
        // The fixed waits of the layers below go through the same sleep as ours.
        SetPauseHook([](int ms) { Ui().Sleep(ms); });
        return std::make_unique<QtUi>();
    }();
    return services;
}

} // namespace

UiServices& Ui() {
    return *Installed();
}

std::unique_ptr<UiServices> InstallUi(std::unique_ptr<UiServices> services) {
    std::swap(Installed(), services);
    return services;
}

QString AppTitle() {
    return QStringLiteral("TAVO-R000-K100 Utility");
}

void ShowError(QWidget* parent, const QString& text) {
    Ui().Message(parent, UiServices::Icon::Error, AppTitle(), text);
}
void ShowInformation(QWidget* parent, const QString& text) {
    Ui().Message(parent, UiServices::Icon::Information, AppTitle(), text);
}
void ShowWarning(QWidget* parent, const QString& text) {
    Ui().Message(parent, UiServices::Icon::Warning, AppTitle(), text);
}

} // namespace tavo
