// The terminal: raw command lines to the open port, with a timed log.
#pragma once

#include "tavo_dialog.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace tavo {

class TavoComPort;

class TfrmMTerminal : public TavoDialog {
    Q_OBJECT
public:
    explicit TfrmMTerminal(TavoComPort& port, QWidget* parent = nullptr);

    void btSendClick();
    void btContinueSendClick();
    void btStopSendClick();
    void tmrUpdateTimer();
    void btSaveToFileClick();
    void btFileBrowseClick();
    void rdbIsSingleCommandClick();
    void btExitClick() { close(); }

    QRadioButton* rdbIsSingleCommand;
    QRadioButton* rdbIsNotSingleCommand;
    QLabel* lblCommand;
    QLineEdit* edtCommandLine;
    QLabel* lblResponse;
    QLineEdit* edtResponse;
    QLabel* lblFile;
    QLineEdit* edtFileName;
    QPushButton* btFileBrowse;
    QPushButton* btSend;
    QPushButton* btContinueSend;
    QPushButton* btStopSend;
    QPushButton* btSaveToFile;
    QPushButton* btExit;
    QCheckBox* chkCheckSum;
    QPlainTextEdit* edtCommandStatus;
    QTimer* tmrUpdate;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Sends once (the command line, or every word of the command file); false when
    // the command file could not be read.
    bool SendOnce();
    void SendCommandText(const QString& command);
    void SetContinuous(bool on);

    TavoComPort& port_;
};

} // namespace tavo
