#include "small_windows.h"

#include "core/model_registry.h"
#include "tree_images.h"
#include "ui_services.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tavo {

TfrmDlgAskAddr::TfrmDlgAskAddr(QWidget* parent) : TavoDialog(parent) {
    setObjectName("TfrmDlgAskAddr");
    setWindowTitle("Search Installed Modules");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Enter start address between 0 and 255 decimal", this));
    EditAddr = new QLineEdit("0", this);
    EditAddr->setObjectName("EditAddr");
    EditAddr->setMaxLength(3);
    layout->addWidget(EditAddr);
    auto* buttons = new QHBoxLayout;
    BitBtnOK = new QPushButton("OK", this);
    BitBtnOK->setObjectName("BitBtnOK");
    // Enter takes the typed address: the search that follows only reads.
    SetDefaultButton(BitBtnOK);
    BitBtnCancel = new QPushButton("Cancel", this);
    BitBtnCancel->setObjectName("BitBtnCancel");
    buttons->addWidget(BitBtnOK);
    buttons->addWidget(BitBtnCancel);
    layout->addLayout(buttons);
    connect(BitBtnOK, &QPushButton::clicked, this, &TfrmDlgAskAddr::BitBtnOKClick);
    connect(BitBtnCancel, &QPushButton::clicked, this, &TfrmDlgAskAddr::BitBtnCancelClick);
}

void TfrmDlgAskAddr::BitBtnOKClick() {
    const QString text = EditAddr->text();
    if (text.isEmpty()) return;
    bool ok = false;
    int value = text.toInt(&ok);
    if (!ok) value = -1;
    if (value < 0 || value > 255) {
        ShowError(this, "Please input a dicimal number between 0 and 255!");
        EditAddr->setText("0");
        return;
    }
    address_ = value;
    accept();
}

TfrmMWaitFor::TfrmMWaitFor(QWidget* parent) : TavoDialog(parent) {
    setObjectName("TfrmMWaitFor");
    setWindowTitle("Message");
    auto* layout = new QVBoxLayout(this);
    LbUpdateMsg = new QLabel("Please wait  a moment !!", this);
    LbUpdateMsg->setObjectName("LbUpdateMsg");
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->setTextVisible(false);
    ProgressBar->setRange(0, 1000);
    ProgressBar->setValue(0);
    layout->addWidget(LbUpdateMsg);
    layout->addWidget(ProgressBar);
    tmrStatusUpdate = new QTimer(this);
    tmrStatusUpdate->setObjectName("tmrStatusUpdate");
    tmrStatusUpdate->setInterval(kTickMs);
    connect(tmrStatusUpdate, &QTimer::timeout, this, &TfrmMWaitFor::Tick);
    setMinimumWidth(300);
}

void TfrmMWaitFor::SetWaitMs(int ms) {
    ProgressBar->setRange(0, std::max(ms, 0));
    ProgressBar->setValue(0);
}

int TfrmMWaitFor::WaitMs() const { return ProgressBar->maximum(); }

void TfrmMWaitFor::SetChannel(int channel) {
    LbUpdateMsg->setText("Updating Channel " + QString::number(channel) + " ...");
}

void TfrmMWaitFor::SetMessage(const QString& text) { LbUpdateMsg->setText(text); }
QString TfrmMWaitFor::MessageText() const { return LbUpdateMsg->text(); }

void TfrmMWaitFor::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    tmrStatusUpdate->start();
}

void TfrmMWaitFor::Tick() {
    if (finished_) return;
    repaint();
    bool done;
    if (!closeOnSignal_) {
        const int next = ProgressBar->value() + kTickMs;
        ProgressBar->setValue(std::min(next, ProgressBar->maximum()));
        done = next >= ProgressBar->maximum();
    } else {
        done = signalGiven_;
    }
    if (done) {
        finished_ = true;
        tmrStatusUpdate->stop();
        accept();
    }
}

int TfrmMWaitFor::RunToEnd() {
    int elapsed = 0;
    while (!finished_ && (!closeOnSignal_ || signalGiven_)) {
        Tick();
        elapsed += kTickMs;
    }
    return elapsed;
}

void WaitWithIndicator(QWidget* parent, int ms, const QString& text) {
    TfrmMWaitFor wait(parent);
    wait.SetWaitMs(ms);
    if (!text.isEmpty()) wait.SetMessage(text);
    Ui().Exec(wait);
}

TfrmDlgAbout::TfrmDlgAbout(QWidget* parent) : TavoDialog(parent) {
    setObjectName("TfrmDlgAbout");
    setWindowTitle("About");
    auto* layout = new QHBoxLayout(this);
    auto* picture = new QLabel(this);
    picture->setObjectName("ProgramIcon");
    picture->setPixmap(TreeImages().at(6).pixmap(64, 64));
    layout->addWidget(picture);
    auto* column = new QVBoxLayout;
    const char* lines[] = {kProductName, kVersionText, kBuildCode,
                           "Set-up, monitoring and calibration of TAVO remote I/O modules"};
    int n = 1;
    for (const char* line : lines) {
        auto* label = new QLabel(line, this);
        label->setObjectName(QString("Label%1").arg(n++));
        column->addWidget(label);
    }
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("OKButton");
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    SetDefaultButton(ok); // it only closes the box, as a message box's OK does
    column->addWidget(ok, 0, Qt::AlignRight);
    layout->addLayout(column);
}

namespace {

void AppendRows(QStringList& lines, const std::vector<std::string>& names) {
    QString row;
    int inRow = 0;
    for (const auto& d : names) {
        row += QString("Tavo-%1").arg(QString::fromStdString(d)).leftJustified(16);
        if (++inRow == 4) {
            lines << "    " + row.trimmed();
            row.clear();
            inRow = 0;
        }
    }
    if (inRow) lines << "    " + row.trimmed();
}

} // namespace

QStringList IntroLines() {
    QStringList lines;
    lines << QString("   %1 (%2)              Jan 2006").arg(kProductName, kVersionText);
    lines << "   Runs on Linux (X11 or Wayland desktops) with Qt 6";
    lines << "";
    lines << "Support Tavo Modules";
    std::vector<std::string> r, k, z;
    for (const auto& d : ModelRegistry::Instance().Designations()) {
        if (d[0] == 'R') r.push_back(d);
        else if (d[0] == 'K') k.push_back(d);
        else if (d[0] == 'Z') z.push_back(d);
    }
    lines << "Tavo-R000 Series";
    AppendRows(lines, r);
    lines << "";
    lines << "Tavo-K100 Series";
    AppendRows(lines, k);
    lines << "";
    lines << "Tavo-Z350 Series";
    AppendRows(lines, z);
    lines << "";
    lines << "TAVO and the TAVO module names are trademarks of their maker.";
    return lines;
}

TfrmIntro::TfrmIntro(QWidget* parent) : QWidget(parent) {
    setObjectName("TfrmIntro");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setFont(QFont("Monospace"));
    layout->addWidget(Memo1);
    Fill();
}

void TfrmIntro::Fill() {
    Memo1->clear();
    Memo1->setPlainText(IntroLines().join('\n'));
}

} // namespace tavo
