// The rack controller's firmware download window: runs the rack loader when it
// is activated, shows the progress, and closes itself when done.
#pragma once

#include "tavo_dialog.h"

class QLabel;
class QProgressBar;
class QTimer;

namespace tavo {

class FileMoveAnimation;
class TavoComPort;

class TfrmMDownload : public TavoDialog {
    Q_OBJECT
public:
    explicit TfrmMDownload(QWidget* parent = nullptr);

    // The port (not owned), the rack designation and firmware version as read from
    // the controller, and the firmware file the user picked.
    void Setup(TavoComPort* port, const QString& designation, const QString& fileName,
               const QString& version);
    // 0 success, -1 to -5 as RackResult; read after the window closed.
    int ResultCode() const { return result_; }
    // What went wrong, for people (which file, which folders, which block).
    QString Detail() const { return detail_; }

    // Runs the download now unless it ran already (what activating the window
    // does) and returns the result.
    int RunToEnd();
    void Timer1Timer();

    QLabel* lblPercent;
    FileMoveAnimation* Animate1;
    QProgressBar* ProgressBar1;
    QTimer* Timer1;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void Run();

    TavoComPort* port_ = nullptr;
    QString designation_, fileName_, version_;
    int result_ = 0;
    QString detail_;
    bool started_ = false;
    bool running_ = false;
};

// True, after saying why, when `port` cannot follow the rack download's speed
// changes (raw TCP): the panel asks before its file dialog, so nobody picks a file
// for a download that cannot run.
bool RefuseRackDownload(QWidget* parent, const TavoComPort& port);

// The K100 panel's firmware update after its file dialog: runs the download window
// modally, then shows the outcome ("Download firmware done!" or the error for the
// result code, with the detail below it). Returns the result code. A port refused
// above is refused here too, before the window opens. The window processes events
// while it works, so the caller stops its poll timer first.
int RunRackFirmwareUpdate(QWidget* parent, TavoComPort& port, const QString& designation,
                          const QString& fileName, const QString& version);

} // namespace tavo
