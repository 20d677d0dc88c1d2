#include "rack_download.h"

#include "core/rack_loader.h"
#include "data_paths.h"
#include "frame_animation.h"
#include "ui_services.h"

#include "transport/com_port.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace tavo {

// A sheet flying from one folder to the other while the transfer runs.
class FileMoveAnimation : public FrameAnimation {
public:
    explicit FileMoveAnimation(QWidget* parent) : FrameAnimation(parent, {240, 50}, 20, 60) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::black);
        p.setBrush(QColor(230, 190, 80));
        p.drawRect(8, 18, 40, 28);
        p.drawRect(192, 18, 40, 28);
        if (!Playing()) return;
        const double t = Frame() / 19.0;
        const double x = 40 + t * 140;
        const double y = 22 - 16 * (1 - (2 * t - 1) * (2 * t - 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(x, y, 16, 20));
    }
};

TfrmMDownload::TfrmMDownload(QWidget* parent) : TavoDialog(parent) {
    setObjectName("TfrmMDownload");
    setWindowTitle("Firmware downloading...");
    auto* layout = new QVBoxLayout(this);
    Animate1 = new FileMoveAnimation(this);
    layout->addWidget(Animate1, 0, Qt::AlignCenter);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);
    layout->addWidget(ProgressBar1);
    lblPercent = new QLabel("0.0%", this);
    lblPercent->setObjectName("lblPercent");
    layout->addWidget(lblPercent, 0, Qt::AlignCenter);
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setSingleShot(true);
    Timer1->setInterval(300);
    connect(Timer1, &QTimer::timeout, this, &TfrmMDownload::Timer1Timer);
    setMinimumWidth(360);
}

void TfrmMDownload::Setup(TavoComPort* port, const QString& designation, const QString& fileName,
                          const QString& version) {
    port_ = port;
    designation_ = designation;
    fileName_ = fileName;
    version_ = version;
}

void TfrmMDownload::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The work starts once the window is up, from the event loop of its exec.
    if (!started_) QTimer::singleShot(0, this, &TfrmMDownload::Run);
}

// The controller is mid-transfer: closing the window now would leave it (and the
// port) half-way, so the window closes only when the loader is through.
void TfrmMDownload::closeEvent(QCloseEvent* event) {
    if (running_)
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void TfrmMDownload::reject() {
    if (!running_) QDialog::reject();
}

int TfrmMDownload::RunToEnd() {
    Run();
    return result_;
}

void TfrmMDownload::Run() {
    if (started_) return;
    started_ = true;
    if (!port_) {
        result_ = kRackStartFailed;
        detail_ = "No port is open.";
        Timer1->start();
        return;
    }
    running_ = true;
    Animate1->Play();
    RackLoader::Hooks hooks;
    // Long waits in slices, so the window keeps painting while the controller works.
    hooks.pause = [](int ms) {
        for (int left = ms; left > 0; left -= 50) {
            Ui().Sleep(std::min(left, 50));
            QApplication::processEvents();
        }
    };
    hooks.keepAlive = [] { QApplication::processEvents(); };
    hooks.transferStarted = [this](const std::string& file, unsigned blocks) {
        setWindowTitle("Downloading " + QString::fromStdString(file));
        ProgressBar1->setRange(0, static_cast<int>(blocks));
        ProgressBar1->setValue(0);
    };
    hooks.progress = [this](unsigned done, unsigned blocks) {
        ProgressBar1->setValue(static_cast<int>(done));
        lblPercent->setText(QString::number(done * 100 / std::max(blocks, 1u)) + "%");
    };
    RackLoader loader(*port_, hooks);
    std::vector<std::string> dirs;
    for (const QString& dir : DataDirectories())
        dirs.push_back(dir.toStdString());
    result_ = loader.Download(designation_.toStdString(), version_.toStdString(),
                              fileName_.toStdString(), dirs);
    detail_ = QString::fromStdString(loader.Detail());
    Animate1->StopPlaying();
    running_ = false;
    Timer1->start();
}

void TfrmMDownload::Timer1Timer() {
    Timer1->stop();
    if (isVisible()) accept();
}

bool RefuseRackDownload(QWidget* parent, const TavoComPort& port) {
    const std::string why = RackSpeedChangeRefusal(port);
    if (why.empty()) return false;
    ShowError(parent, QString::fromStdString(RackResultMessage(kRackSetBaudFailed) + "\n" + why));
    return true;
}

int RunRackFirmwareUpdate(QWidget* parent, TavoComPort& port, const QString& designation,
                          const QString& fileName, const QString& version) {
    // Refused before the window opens and before the controller hears anything.
    if (RefuseRackDownload(parent, port)) return kRackSetBaudFailed;
    TfrmMDownload dialog(parent);
    dialog.Setup(&port, designation, fileName, version);
    Ui().Exec(dialog);
    const int result = dialog.ResultCode();
    QString text = QString::fromStdString(RackResultMessage(result));
    if (result == kRackDone) {
        ShowInformation(parent, text);
    } else {
        if (!dialog.Detail().isEmpty()) text += "\n" + dialog.Detail();
        ShowError(parent, text);
    }
    return result;
}

} // namespace tavo
