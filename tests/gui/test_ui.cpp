#include "test_ui.h"

#include "workspace/rack_download.h"
#include "workspace/search_dialog.h"
#include "workspace/small_windows.h"

#include <QFileInfo>
#include <QLineEdit>

namespace tavo::test {

void TestUi::Message(QWidget*, Icon icon, const QString& title, const QString& text) {
    boxes.push_back({icon, title, text});
    if (onMessage) onMessage(boxes.back());
}

bool TestUi::Ask(QWidget*, const QString&, const QString& text) {
    questions.push_back(text);
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}

namespace {
QString Next(std::deque<QString>& queue) {
    if (queue.empty()) return {}; // the user cancelled
    QString name = queue.front();
    queue.pop_front();
    return name;
}

QString WithSuffix(const QString& name, const QString& suffix) {
    if (name.isEmpty() || suffix.isEmpty() || !QFileInfo(name).suffix().isEmpty()) return name;
    return name + "." + suffix;
}
} // namespace

QString TestUi::SaveFileName(QWidget*, const QString&, const QString& defaultName, const QString&,
                             const QString& defaultSuffix) {
    defaultNames.push_back(defaultName);
    defaultSuffixes.push_back(defaultSuffix);
    return WithSuffix(Next(saveNames), defaultSuffix);
}

QString TestUi::OpenFileName(QWidget*, const QString&, const QString& defaultName, const QString&,
                             const QString& defaultSuffix) {
    defaultNames.push_back(defaultName);
    defaultSuffixes.push_back(defaultSuffix);
    return WithSuffix(Next(openNames), defaultSuffix);
}

QString TestUi::AskText(QWidget*, const QString&, const QString& label, const QString& initial) {
    textQuestions.emplace_back(label, initial);
    return Next(textAnswers);
}

int TestUi::Exec(QDialog& dialog) {
    dialogsRun.push_back(dialog.objectName());
    if (onDialog) {
        const int result = onDialog(dialog);
        if (result >= 0) return result;
    }
    if (auto* wait = qobject_cast<TfrmMWaitFor*>(&dialog)) {
        if (onBusy) onBusy(wait->MessageText());
        const int ms = wait->RunToEnd();
        clockMs += ms;
        if (onWait) onWait(ms);
        return QDialog::Accepted;
    }
    if (auto* download = qobject_cast<TfrmMDownload*>(&dialog)) {
        download->RunToEnd(); // its waits run on the test clock
        return QDialog::Accepted;
    }
    if (auto* search = qobject_cast<TfrmDlgSearch*>(&dialog)) {
        search->RunToEnd();
        return QDialog::Accepted;
    }
    if (auto* ask = qobject_cast<TfrmDlgAskAddr*>(&dialog)) {
        while (!startAddresses.empty() && ask->result() != QDialog::Accepted) {
            ask->EditAddr->setText(startAddresses.front());
            startAddresses.pop_front();
            ask->BitBtnOKClick();
        }
        return ask->result() == QDialog::Accepted ? QDialog::Accepted : QDialog::Rejected;
    }
    return QDialog::Rejected;
}

QStringList TestUi::Texts() const {
    QStringList texts;
    for (const auto& b : boxes)
        texts << b.text;
    return texts;
}

ScopedTestUi::ScopedTestUi() {
    auto ui = std::make_unique<TestUi>();
    ui_ = ui.get();
    previous_ = InstallUi(std::move(ui));
}

ScopedTestUi::~ScopedTestUi() {
    InstallUi(std::move(previous_));
}

} // namespace tavo::test
