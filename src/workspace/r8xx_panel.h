// The panel of an R8XX module (a module waiting in its boot loader) and the
// worker thread that sends it new firmware without blocking the window.
#pragma once

#include "module_panel.h"

#include <QThread>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace tavo {

class TavoMR8XX;

// Sends one image over the port; the port is the worker's alone while it runs.
// Progress, status texts and the failure message are queued under a mutex and
// announced by Reported(), which reaches the panel on the window's thread; the
// panel takes them in the order they were made. They travel beside the signal
// rather than inside it so that every hand-over between the threads is one a
// thread checker can see (Qt's own event queue lock is invisible to it).
// Not reused: one object per download.
class TavoR8XXDL : public QThread {
    Q_OBJECT
public:
    static constexpr int kSuccess = 6;

    TavoR8XXDL(TavoComPort& port, std::vector<std::uint8_t> image, bool r810OrR820,
               QObject* parent = nullptr);
    ~TavoR8XXDL() override;

    bool Done() const { return done_; }
    // 6 success, 0 failure (or cancelled).
    int Result() const { return result_; }
    // Stops between two blocks; the module is then left without valid firmware.
    void Cancel() { cancel_ = true; }
    // Full blocks plus the final packet: what the progress counts up to.
    int BlockCount() const;

    void Execute();

    struct Report {
        enum class Kind { Progress, Status, Failure } kind;
        int block = 0;
        QString text;
    };
    // Everything reported since the last call, oldest first.
    std::vector<Report> TakeReports();

signals:
    void Reported();

protected:
    void run() override { Execute(); }

private:
    void Post(Report report);

    TavoComPort& port_;
    std::vector<std::uint8_t> image_;
    bool r810OrR820_;
    std::atomic<bool> done_{false};
    std::atomic<bool> cancel_{false};
    std::atomic<int> result_{0};
    std::mutex reportsMutex_;
    std::vector<Report> reports_;
};

class TfrmMR8XX : public ModulePanel {
    Q_OBJECT
public:
    explicit TfrmMR8XX(QWidget* parent = nullptr);
    ~TfrmMR8XX() override;

    void InitModule(const PanelContext& context) override;

    void Bt_RefreshClick();
    void Bt_BaudUpdateClick();
    void Bt_FindHexFileClick();
    void Bt_downloadClick();
    void Bt_SwitchClick();
    void DL_TimerTimer();

    bool Downloading() const { return downloading_; }

    QLineEdit* Edt_Module;
    QComboBox* cb_baudrate;
    QPushButton* Bt_BaudUpdate;
    QPushButton* Bt_Refresh;
    QLineEdit* Edt_FirmVer;
    QLineEdit* Edt_HexFile;
    QPushButton* Bt_FindHexFile;
    QPushButton* Bt_download;
    QProgressBar* DL_PgBar;
    QPushButton* Bt_Switch;
    QLabel* ErrMsg;
    QTimer* DL_Timer;

private:
    void EnablePortControls(bool on);
    // Leaves a port whose line the device server sets (raw TCP) as it is.
    void SetPortBaud(std::uint32_t baud);
    // For such a port, after the module restarted at 9600 from a loader that last
    // reported another speed: what the user must set on the server; empty otherwise.
    QString RestartNote() const;
    void Status(const QString& text);
    void OnProgress(int block);
    void TakeWorkerReports();
    void MakeLoader();

    PanelContext context_;
    std::unique_ptr<TavoMR8XX> loader_;
    std::unique_ptr<TavoR8XXDL> worker_;
    bool downloading_ = false;
    bool workerFinished_ = false;
};

// Makes the boot-loader panel known to the panel factory.
void RegisterR8xxPanel();

} // namespace tavo
