#include "terminal.h"

#include "core/terminal_log.h"
#include "data_paths.h"
#include "ui_services.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tavo {
namespace {

const QString kFilter = "*.txt (*.txt);;All Files (*)";

// The log shows what came; control characters as dots so a noisy line stays one
// readable line.
QString Visible(const std::string& text) {
    QString out = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    for (QChar& c : out)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) c = '.';
    return out;
}

QPushButton* Button(const char* text, const char* name, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

} // namespace

TfrmMTerminal::TfrmMTerminal(TavoComPort& port, QWidget* parent) : TavoDialog(parent), port_(port) {
    setObjectName("TfrmMTerminal");
    setWindowTitle("Terminal");
    resize(720, 480);
    auto* layout = new QVBoxLayout(this);

    rdbIsSingleCommand = new QRadioButton(this);
    rdbIsSingleCommand->setObjectName("rdbIsSingleCommand");
    rdbIsSingleCommand->setChecked(true);
    auto* single = new QGroupBox(" Single Command ", this);
    auto* sg = new QGridLayout(single);
    lblCommand = new QLabel("Command : ", single);
    edtCommandLine = new QLineEdit(single);
    edtCommandLine->setObjectName("edtCommandLine");
    edtCommandLine->setMaxLength(260);
    lblResponse = new QLabel("Response : ", single);
    edtResponse = new QLineEdit(single);
    edtResponse->setObjectName("edtResponse");
    edtResponse->setReadOnly(true);
    sg->addWidget(lblCommand, 0, 0);
    sg->addWidget(edtCommandLine, 0, 1);
    sg->addWidget(lblResponse, 1, 0);
    sg->addWidget(edtResponse, 1, 1);
    auto* singleRow = new QHBoxLayout;
    singleRow->addWidget(rdbIsSingleCommand);
    singleRow->addWidget(single, 1);
    layout->addLayout(singleRow);

    rdbIsNotSingleCommand = new QRadioButton(this);
    rdbIsNotSingleCommand->setObjectName("rdbIsNotSingleCommand");
    auto* file = new QGroupBox(" Command File ", this);
    auto* fg = new QHBoxLayout(file);
    lblFile = new QLabel("File : ", file);
    edtFileName = new QLineEdit(file);
    edtFileName->setObjectName("edtFileName");
    btFileBrowse = Button("Browse...", "btFileBrowse", file);
    fg->addWidget(lblFile);
    fg->addWidget(edtFileName, 1);
    fg->addWidget(btFileBrowse);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(rdbIsNotSingleCommand);
    fileRow->addWidget(file, 1);
    layout->addLayout(fileRow);

    auto* buttons = new QHBoxLayout;
    btSend = Button("Send", "btSend", this);
    btContinueSend = Button("Continue Send", "btContinueSend", this);
    btStopSend = Button("Stop", "btStopSend", this);
    btSaveToFile = Button("Save to File", "btSaveToFile", this);
    btExit = Button("Exit", "btExit", this);
    chkCheckSum = new QCheckBox("CheckSum", this);
    chkCheckSum->setObjectName("chkCheckSum");
    for (QWidget* w : std::initializer_list<QWidget*>{btSend, btContinueSend, btStopSend, chkCheckSum,
                                                      btSaveToFile, btExit})
        buttons->addWidget(w);
    layout->addLayout(buttons);

    edtCommandStatus = new QPlainTextEdit(this);
    edtCommandStatus->setObjectName("edtCommandStatus");
    edtCommandStatus->setReadOnly(true);
    edtCommandStatus->setLineWrapMode(QPlainTextEdit::NoWrap);
    edtCommandStatus->setFont(QFont("Monospace"));
    edtCommandStatus->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(edtCommandStatus, 1);

    tmrUpdate = new QTimer(this);
    tmrUpdate->setObjectName("tmrUpdate");
    tmrUpdate->setInterval(300);

    connect(btSend, &QPushButton::clicked, this, &TfrmMTerminal::btSendClick);
    connect(btContinueSend, &QPushButton::clicked, this, &TfrmMTerminal::btContinueSendClick);
    connect(btStopSend, &QPushButton::clicked, this, &TfrmMTerminal::btStopSendClick);
    connect(btSaveToFile, &QPushButton::clicked, this, &TfrmMTerminal::btSaveToFileClick);
    connect(btFileBrowse, &QPushButton::clicked, this, &TfrmMTerminal::btFileBrowseClick);
    connect(btExit, &QPushButton::clicked, this, &TfrmMTerminal::btExitClick);
    connect(rdbIsSingleCommand, &QRadioButton::clicked, this, &TfrmMTerminal::rdbIsSingleCommandClick);
    connect(rdbIsNotSingleCommand, &QRadioButton::clicked, this,
            &TfrmMTerminal::rdbIsSingleCommandClick);
    connect(tmrUpdate, &QTimer::timeout, this, &TfrmMTerminal::tmrUpdateTimer);
    // Enter in the command line sends it.
    connect(edtCommandLine, &QLineEdit::returnPressed, this,
            [this] { SendCommandText(edtCommandLine->text()); });
    rdbIsSingleCommandClick();
}

void TfrmMTerminal::rdbIsSingleCommandClick() {
    const bool single = rdbIsSingleCommand->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{lblCommand, edtCommandLine, lblResponse, edtResponse})
        w->setEnabled(single);
    for (QWidget* w : std::initializer_list<QWidget*>{lblFile, edtFileName, btFileBrowse})
        w->setEnabled(!single);
}

void TfrmMTerminal::SendCommandText(const QString& command) {
    edtCommandStatus->setFocus();
    const TerminalExchange x =
        TerminalSend(port_, command.toLatin1().toStdString(), chkCheckSum->isChecked());
    edtCommandStatus->appendPlainText(Visible(TerminalCommandLine(x.command, x.sentAt)));
    edtResponse->setText(Visible(x.reply));
    edtCommandStatus->appendPlainText(Visible(TerminalReplyLine(x.reply, x.repliedAt, x.elapsedMs)));
    if (rdbIsSingleCommand->isChecked()) edtCommandLine->setFocus();
    else edtFileName->setFocus();
}

bool TfrmMTerminal::SendOnce() {
    if (rdbIsSingleCommand->isChecked()) {
        SendCommandText(edtCommandLine->text());
        return true;
    }
    const QString name = edtFileName->text();
    if (name.isEmpty()) return true;
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        Ui().Message(this, UiServices::Icon::Error, "Message", "Error when opening file");
        return false;
    }
    for (const auto& word : CommandFileWords(file.readAll().toStdString()))
        SendCommandText(QString::fromStdString(word));
    return true;
}

void TfrmMTerminal::btSendClick() { SendOnce(); }

void TfrmMTerminal::SetContinuous(bool on) {
    edtCommandStatus->setFocus();
    for (QWidget* w : std::initializer_list<QWidget*>{btSend, btContinueSend, btSaveToFile, btExit})
        w->setEnabled(!on);
    if (on) tmrUpdate->start();
    else tmrUpdate->stop();
}

void TfrmMTerminal::btContinueSendClick() { SetContinuous(true); }
void TfrmMTerminal::btStopSendClick() { SetContinuous(false); }

// A command file that cannot be read stops continuous sending at the first
// failure rather than raising the same box every 300 ms.
void TfrmMTerminal::tmrUpdateTimer() {
    if (!SendOnce()) SetContinuous(false);
}

void TfrmMTerminal::btSaveToFileClick() {
    const QString name = Ui().SaveFileName(this, "Save to File", {}, kFilter);
    if (name.isEmpty()) return;
    if (!WriteFileAtomically(name, edtCommandStatus->toPlainText().toUtf8() + "\n"))
        Ui().Message(this, UiServices::Icon::Error, "Message", "Error when opening file");
}

void TfrmMTerminal::btFileBrowseClick() {
    const QString name = Ui().OpenFileName(this, "Command File", edtFileName->text(), kFilter);
    if (!name.isEmpty()) edtFileName->setText(name);
}

void TfrmMTerminal::closeEvent(QCloseEvent* event) {
    tmrUpdate->stop();
    QDialog::closeEvent(event);
}

} // namespace tavo
