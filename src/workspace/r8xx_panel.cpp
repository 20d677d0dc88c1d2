#include "r8xx_panel.h"

#include "core/network_address.h"
#include "core/r8xx_download.h"
#include "status_bar.h"
#include "ui_services.h"

#include "devices/models_digital.h"
#include "transport/com_port.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

namespace tavo {
namespace {

constexpr std::uint32_t kBauds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600};
constexpr int kBaudCount = 7;
constexpr int k9600Index = 3;
// Far above any firmware file; keeps a wrong choice from filling memory.
constexpr qint64 kMaxFileBytes = 4 << 20;

// Over a port whose line the device server sets (raw TCP) the module's speed must
// stay the server's: a module told to change it would no longer be heard.
QString FixedSpeedText(const TavoComPort& port) {
    const std::string name = port.GetPortName();
    return QString::fromStdString("The line speed of " + name +
                                  " is the device server's and cannot be changed from here (" +
                                  FixedLineReason(port.LineFixed()) + ")");
}

QPushButton* Button(const char* text, const char* name, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

QLineEdit* Field(const char* name, QWidget* parent, bool readOnly) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setReadOnly(readOnly);
    return e;
}

} // namespace

// ---- worker ----

TavoR8XXDL::TavoR8XXDL(TavoComPort& port, std::vector<std::uint8_t> image, bool r810OrR820,
                       QObject* parent)
    : QThread(parent), port_(port), image_(std::move(image)), r810OrR820_(r810OrR820) {}

TavoR8XXDL::~TavoR8XXDL() {
    Cancel();
    wait();
}

int TavoR8XXDL::BlockCount() const {
    return static_cast<int>(image_.size() / kR8xxBlockData) + 1;
}

void TavoR8XXDL::Post(Report report) {
    bool first;
    {
        std::lock_guard lock(reportsMutex_);
        reports_.push_back(std::move(report));
        first = reports_.size() == 1;
    }
    // One announcement per batch: the panel takes the whole queue each time.
    if (first) emit Reported();
}

std::vector<TavoR8XXDL::Report> TavoR8XXDL::TakeReports() {
    std::lock_guard lock(reportsMutex_);
    return std::exchange(reports_, {});
}

void TavoR8XXDL::Execute() {
    using Kind = Report::Kind;
    R8xxDownloader::Hooks hooks;
    hooks.progress = [this](unsigned block) {
        Post({Kind::Progress, static_cast<int>(block), {}});
    };
    hooks.status = [this](const std::string& text) {
        Post({Kind::Status, 0, QString::fromStdString(text)});
    };
    R8xxDownloader downloader(port_, image_, r810OrR820_, hooks);
    const auto outcome = downloader.Run(&cancel_);
    if (outcome == R8xxDownloader::Result::Done) {
        result_ = kSuccess;
    } else {
        result_ = 0;
        Post({Kind::Progress, 0, {}});
        if (outcome == R8xxDownloader::Result::Failed)
            Post({Kind::Failure, 0, "Ack fail!\n" + QString::fromStdString(downloader.Detail())});
    }
    done_ = true;
}

// ---- panel ----

TfrmMR8XX::TfrmMR8XX(QWidget* parent) : ModulePanel(parent) {
    setObjectName("TfrmMR8XX");
    auto* outer = new QVBoxLayout(this);
    auto* group = new QGroupBox(" Tavo-R8XX Series Download ", this);
    group->setObjectName("GroupBox1");
    outer->addWidget(group);
    outer->addStretch(1);
    auto* grid = new QGridLayout(group);

    Edt_Module = Field("Edt_Module", group, true);
    cb_baudrate = new QComboBox(group);
    cb_baudrate->setObjectName("cb_baudrate");
    for (const auto baud : kBauds)
        cb_baudrate->addItem(QString::number(baud) + " bps");
    Bt_BaudUpdate = Button("&Update", "Bt_BaudUpdate", group);
    Bt_Refresh = Button("&Refresh", "Bt_Refresh", group);
    Edt_FirmVer = Field("Edt_FirmVer", group, true);
    Edt_HexFile = Field("Edt_HexFile", group, false);
    Bt_FindHexFile = Button("&Search File", "Bt_FindHexFile", group);
    Bt_download = Button("&Download", "Bt_download", group);
    DL_PgBar = new QProgressBar(group);
    DL_PgBar->setObjectName("DL_PgBar");
    DL_PgBar->setRange(0, 100);
    DL_PgBar->setValue(0);
    Bt_Switch = Button("Switch to Normal", "Bt_Switch", group);
    ErrMsg = new QLabel(group);
    ErrMsg->setObjectName("ErrMsg");

    grid->addWidget(new QLabel("Module:", group), 0, 0);
    grid->addWidget(Edt_Module, 0, 1);
    grid->addWidget(Bt_Refresh, 0, 2);
    grid->addWidget(new QLabel("BaudRate:", group), 1, 0);
    grid->addWidget(cb_baudrate, 1, 1);
    grid->addWidget(Bt_BaudUpdate, 1, 2);
    grid->addWidget(new QLabel("Firmware Ver.:", group), 2, 0);
    grid->addWidget(Edt_FirmVer, 2, 1);
    grid->addWidget(new QLabel("Download File: ", group), 3, 0);
    grid->addWidget(Edt_HexFile, 3, 1);
    grid->addWidget(Bt_FindHexFile, 3, 2);
    grid->addWidget(DL_PgBar, 4, 0, 1, 2);
    grid->addWidget(Bt_download, 4, 2);
    grid->addWidget(ErrMsg, 5, 0, 1, 2);
    grid->addWidget(Bt_Switch, 5, 2);

    DL_Timer = new QTimer(this);
    DL_Timer->setObjectName("DL_Timer");
    DL_Timer->setInterval(500);

    connect(Bt_Refresh, &QPushButton::clicked, this, &TfrmMR8XX::Bt_RefreshClick);
    connect(Bt_BaudUpdate, &QPushButton::clicked, this, &TfrmMR8XX::Bt_BaudUpdateClick);
    connect(Bt_FindHexFile, &QPushButton::clicked, this, &TfrmMR8XX::Bt_FindHexFileClick);
    connect(Bt_download, &QPushButton::clicked, this, &TfrmMR8XX::Bt_downloadClick);
    connect(Bt_Switch, &QPushButton::clicked, this, &TfrmMR8XX::Bt_SwitchClick);
    connect(DL_Timer, &QTimer::timeout, this, &TfrmMR8XX::DL_TimerTimer);
}

// Leaving the panel mid-download (another node, closing the program) stops the
// worker between two blocks and waits for it, so the port is free before the
// main window touches it again.
TfrmMR8XX::~TfrmMR8XX() {
    if (worker_) {
        worker_->Cancel();
        worker_->wait();
    }
}

void TfrmMR8XX::MakeLoader() {
    loader_ = std::make_unique<TavoMR8XX>(context_.port, "00");
}

void TfrmMR8XX::InitModule(const PanelContext& context) {
    context_ = context;
    Edt_HexFile->setText(QDir::homePath() + "/TavoR850.hex");
    MakeLoader();
    Bt_RefreshClick();
}

void TfrmMR8XX::Status(const QString& text) {
    if (context_.status) context_.status->ShowStatusMessage(text);
}

void TfrmMR8XX::EnablePortControls(bool on) {
    for (QWidget* w : std::initializer_list<QWidget*>{cb_baudrate, Bt_Refresh, Bt_BaudUpdate,
                                                      Bt_FindHexFile, Bt_download})
        w->setEnabled(on);
}

void TfrmMR8XX::SetPortBaud(std::uint32_t baud) {
    if (!context_.port || !context_.port->CanSetLineSettings()) return;
    context_.port->SetPortState(baud, 8, kParityNone, kOneStopBit);
    if (context_.status) context_.status->SetPortText(QString("%1, N, 8, 1").arg(baud));
}

QString TfrmMR8XX::RestartNote() const {
    bool ok = false;
    const int code = loader_ ? QString::fromStdString(loader_->BaudCode()).toInt(&ok, 16) : 0;
    if (!context_.port || context_.port->CanSetLineSettings() || !ok || code == k9600Index + 3)
        return {};
    return "\n" + FixedSpeedText(*context_.port) +
           ": the module starts at 9600 baud, so set the device server to 9600 first.";
}

void TfrmMR8XX::Bt_RefreshClick() {
    if (!loader_ || !loader_->ReadConfig()) {
        ShowError(this, "Refresh failed!");
        return;
    }
    Edt_Module->setText("Tavo-R8" + QString::fromStdString(loader_->TypeCode()));
    bool ok = false;
    const int index = QString::fromStdString(loader_->BaudCode()).toInt(&ok, 16) - 3;
    cb_baudrate->setCurrentIndex(ok && index >= 0 && index < kBaudCount ? index : -1);
    std::string version;
    if (!loader_->ReadFirmwareVersion(version)) {
        ShowError(this, "Refresh failed!");
        return;
    }
    Edt_FirmVer->setText(QString::fromStdString(version));
}

void TfrmMR8XX::Bt_BaudUpdateClick() {
    if (!loader_) return;
    int index = cb_baudrate->currentIndex();
    if (index < 0 || index >= kBaudCount) index = k9600Index;
    if (context_.port && !context_.port->CanSetLineSettings()) {
        ShowError(this, "Update failed!\n" + FixedSpeedText(*context_.port) +
                            ", so the module would be left at a speed the server does not use. "
                            "Set the speed on the device server, or use an rfc2217:// port or a "
                            "local adapter.");
        return;
    }
    // The baud code is index + 3, 03 to 09: its second digit after a 0.
    const QString code = QString("0%1").arg(index + 3);
    if (!loader_->WriteConfigText(("0000" + code + "00").toStdString())) {
        ShowError(this, "Update failed!");
        return;
    }
    SetPortBaud(kBauds[index]);
    MakeLoader();
    ShowInformation(this, "Update success!");
}

void TfrmMR8XX::Bt_FindHexFileClick() {
    const QString file =
        Ui().OpenFileName(this, "Open", "*.hex", "Hex files (*.hex *.HEX);;All File (*)");
    if (!file.isEmpty()) Edt_HexFile->setText(file);
}

void TfrmMR8XX::Bt_downloadClick() {
    if (!loader_ || !context_.port || downloading_) return;
    if (!loader_->ReadConfig()) {
        ShowError(this, "Send request failed!");
        return;
    }
    const std::string typeCode = loader_->TypeCode();
    const QString moduleId = "R8" + QString::fromStdString(typeCode);
    const bool r810OrR820 = R8xxIsR810OrR820(typeCode);

    // The whole file is read and checked before the module hears of it: a damaged
    // file must never replace the firmware it has.
    const QString path = Edt_HexFile->text();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowError(this, "Open file failed!\n" + path + ": " + file.errorString());
        return;
    }
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (bytes.size() > kMaxFileBytes) {
        ShowError(this, "Open file failed!\n" + path + " is far larger than any firmware file.");
        return;
    }
    R8xxImage image;
    std::string why;
    const auto fault = ParseR8xxFile(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), image, why);
    if (fault != R8xxFileFault::None) {
        ShowError(this, QString(fault == R8xxFileFault::Header ? "Open file failed!"
                                                               : "Read data from image fail!") +
                            "\n" + path + ": " + QString::fromStdString(why));
        return;
    }

    auto worker = std::make_unique<TavoR8XXDL>(*context_.port, std::move(image.bytes), r810OrR820);
    DL_PgBar->setRange(0, worker->BlockCount());
    DL_PgBar->setValue(0);
    if (QString::fromStdString(image.targetModel) != moduleId &&
        !Ui().Ask(this, AppTitle(), "Target module is Tavo-" + moduleId + ", continue anyway?"))
        return;
    if (!loader_->StartDownload()) {
        ShowError(this, "Send request failed!");
        return;
    }

    EnablePortControls(false);
    Bt_Switch->setEnabled(false);
    Status("Prepare to download!");
    worker_ = std::move(worker);
    workerFinished_ = false;
    TavoR8XXDL* w = worker_.get();
    connect(w, &TavoR8XXDL::Reported, this, &TfrmMR8XX::TakeWorkerReports,
            Qt::QueuedConnection);
    // Queued after every announcement the worker made; whatever it reported is
    // taken first, so the outcome is handled last.
    connect(
        w, &QThread::finished, this,
        [this] {
            TakeWorkerReports();
            workerFinished_ = true;
            DL_TimerTimer();
        },
        Qt::QueuedConnection);
    downloading_ = true;
    worker_->start();
    DL_Timer->start();
}

void TfrmMR8XX::OnProgress(int block) {
    if (!worker_) return;
    if (block == 0 || block >= worker_->BlockCount())
        DL_PgBar->setValue(block == 0 ? 0 : DL_PgBar->maximum());
    else if (block < DL_PgBar->maximum() - 1)
        DL_PgBar->setValue(block);
}

void TfrmMR8XX::TakeWorkerReports() {
    if (!worker_) return;
    using Kind = TavoR8XXDL::Report::Kind;
    for (const auto& report : worker_->TakeReports()) {
        switch (report.kind) {
        case Kind::Progress: OnProgress(report.block); break;
        case Kind::Status: Status(report.text); break;
        case Kind::Failure: ShowError(this, report.text); break;
        }
    }
}

void TfrmMR8XX::DL_TimerTimer() {
    if (!downloading_ || !worker_ || !worker_->Done() || !workerFinished_) return;
    worker_->wait();
    downloading_ = false;
    DL_Timer->stop();
    EnablePortControls(true);
    if (worker_->Result() == TavoR8XXDL::kSuccess) {
        SetPortBaud(9600);
        EnablePortControls(false);
        Bt_Switch->setEnabled(false);
        ShowInformation(this, "Update Success, please search again!" + RestartNote());
        ErrMsg->setStyleSheet("color: blue;");
        ErrMsg->setText("Download success! Please search again!");
        DL_PgBar->setValue(0);
    } else {
        ErrMsg->setStyleSheet("color: red;");
        ErrMsg->setText("Firmware download fail! Please retry!");
        ShowError(this, "There is no valid firmware in the module currently,\nplease DO NOT switch "
                        "back to Normal mode and try again.");
    }
}

void TfrmMR8XX::Bt_SwitchClick() {
    if (!loader_ || downloading_) return;
    if (!Ui().Ask(
            this, AppTitle(),
            "This action will swith the module to the normal mode.\nAre you sure to continue?"))
        return;
    if (!loader_->SendOS()) {
        ShowError(this, "No valid firmware in the module,\nPlease download again!");
        return;
    }
    SetPortBaud(9600);
    EnablePortControls(false);
    Bt_Switch->setEnabled(false);
    ShowInformation(this, "Please search again!" + RestartNote());
}

void RegisterR8xxPanel() {
    PanelFactory::Instance().Register("TfrmMR8XX", [](QWidget* p) { return new TfrmMR8XX(p); });
}

} // namespace tavo
