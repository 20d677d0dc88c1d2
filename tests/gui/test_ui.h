// UI services for headless GUI tests: boxes are recorded, questions and file
// dialogs answered from queues, modal dialogs run to their end at once, and fixed
// waits only advance a test clock.
#pragma once

#include "workspace/ui_services.h"

#include <QDialog>
#include <QString>
#include <QUrl>

#include <chrono>
#include <deque>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

namespace tavo::test {

class TestUi : public UiServices {
public:
    struct Box {
        Icon icon;
        QString title;
        QString text;
    };

    void Message(QWidget*, Icon icon, const QString& title, const QString& text) override;
    bool Ask(QWidget*, const QString& title, const QString& text) override;
    // Each answers with the next name of its queue, with the default suffix added
    // to a name without one, as the real dialogs do.
    QString SaveFileName(QWidget*, const QString&, const QString& defaultName, const QString&,
                         const QString& defaultSuffix) override;
    QString OpenFileName(QWidget*, const QString&, const QString& defaultName, const QString&,
                         const QString& defaultSuffix) override;
    QString AskText(QWidget*, const QString&, const QString& label,
                    const QString& initial) override;
    int Exec(QDialog& dialog) override;
    // The wait passes on the test clock, with a fiftieth of it in real time: the
    // simulated module runs on the real clock, and on a loaded machine it may not
    // yet have read what was sent before the wait (a rack loader's speed change
    // after a 3 s pause would then overtake the bytes it was meant to follow).
    void Sleep(int ms) override {
        clockMs += ms;
        if (ms > 0) std::this_thread::sleep_for(std::chrono::microseconds(ms * 20));
        if (onWait) onWait(ms);
    }
    void Beep() override { ++beeps; }
    bool OpenUrl(const QUrl& url) override {
        opened.push_back(url);
        return browserStarts;
    }

    // The texts of the boxes shown so far, and forgetting them.
    QStringList Texts() const;
    void Clear() { boxes.clear(); }

    std::vector<Box> boxes;
    std::vector<QString> questions;
    std::deque<bool> answers;             // for Ask; No when empty
    std::deque<QString> saveNames;        // for SaveFileName; cancel when empty
    std::deque<QString> openNames;        // for OpenFileName; cancel when empty
    std::vector<QString> defaultNames;    // the names the dialogs proposed
    std::vector<QString> defaultSuffixes; // and the suffixes they would add
    std::deque<QString> textAnswers;      // typed into text questions; cancel when empty
    std::vector<std::pair<QString, QString>> textQuestions; // label and the text offered
    std::deque<QString> startAddresses; // typed into the search's start address dialog
    // Handles a dialog the defaults do not know; returns its result.
    std::function<int(QDialog&)> onDialog;
    long long clockMs = 0;
    // Told of every fixed wait (a pause or a busy indicator) once it has passed, so
    // a test can put the waits between the commands it sees on the wire.
    std::function<void(int ms)> onWait;
    int beeps = 0;
    std::vector<QUrl> opened;
    bool browserStarts = true; // what OpenUrl answers
    // Told of the text of every busy indicator as it is run, before its wait.
    std::function<void(const QString& text)> onBusy;
    // Called as each box is shown (to look at the panel at that moment).
    std::function<void(const Box&)> onMessage;
    std::vector<QString> dialogsRun; // objectNames of the dialogs run
};

// Installs a TestUi for the lifetime of the object.
class ScopedTestUi {
public:
    ScopedTestUi();
    ~ScopedTestUi();
    TestUi& ui() { return *ui_; }

private:
    TestUi* ui_;
    std::unique_ptr<UiServices> previous_;
};

} // namespace tavo::test
