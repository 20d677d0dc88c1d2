// The start address dialog, the busy indicator, the About box and the
// introduction panel.
#pragma once

#include "tavo_dialog.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace tavo {

inline constexpr const char* kProductName = "Tavo-R000-K100 Utility";
inline constexpr const char* kVersionText = "Ver 4.00.06";
inline constexpr const char* kBuildCode = "B001";

// Asks for the first address a search probes.
class TfrmDlgAskAddr : public TavoDialog {
    Q_OBJECT
public:
    explicit TfrmDlgAskAddr(QWidget* parent = nullptr);
    int Address() const { return address_; }

    QLineEdit* EditAddr;
    QPushButton* BitBtnOK;
    QPushButton* BitBtnCancel;

    void BitBtnOKClick();
    void BitBtnCancelClick() { reject(); }

private:
    int address_ = 0;
};

// Makes the user wait while a module works: a fixed time, or until Signal().
class TfrmMWaitFor : public TavoDialog {
    Q_OBJECT
public:
    static constexpr int kTickMs = 50;
    explicit TfrmMWaitFor(QWidget* parent = nullptr);

    void SetWaitMs(int ms);            // the progress bar's maximum
    void SetChannel(int channel);      // "Updating Channel n ..."
    void SetMessage(const QString& text);
    void SetCloseOnSignal(bool on) { closeOnSignal_ = on; }
    void Signal() { signalGiven_ = true; }

    // One timer tick; public so a test clock can drive it.
    void Tick();
    // Ticks until the dialog would close; returns the milliseconds that took.
    int RunToEnd();
    int WaitMs() const;
    QString MessageText() const;

protected:
    void showEvent(QShowEvent* event) override;

public:
    QLabel* LbUpdateMsg;
    QProgressBar* ProgressBar;
    QTimer* tmrStatusUpdate;

private:
    bool closeOnSignal_ = false;
    bool signalGiven_ = false;
    bool finished_ = false;
};

// Runs the busy indicator for `ms` through the UI services.
void WaitWithIndicator(QWidget* parent, int ms, const QString& text = {});

class TfrmDlgAbout : public TavoDialog {
    Q_OBJECT
public:
    explicit TfrmDlgAbout(QWidget* parent = nullptr);
};

class TfrmIntro : public QWidget {
    Q_OBJECT
public:
    explicit TfrmIntro(QWidget* parent = nullptr);
    // Rebuilds the text (each time the panel is shown).
    void Fill();
    QPlainTextEdit* Memo1;
};

// The introduction text, line by line.
QStringList IntroLines();

} // namespace tavo
