// The search dialog: drives the search engine with a timer, one probe per tick,
// and puts what it finds into the module tree.
#pragma once

#include "core/search_engine.h"
#include "tavo_dialog.h"

#include <QElapsedTimer>
#include <QStringList>

#include <memory>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeWidgetItem;

namespace tavo {

class ModuleTree;
class SearchAnimation;

class TfrmDlgSearch : public TavoDialog {
    Q_OBJECT
public:
    explicit TfrmDlgSearch(QWidget* parent = nullptr);
    ~TfrmDlgSearch() override;

    // Binds the dialog to the port and the tree's selected (port) node, discards
    // what that node listed before, keeps on it the settings the search runs at, and
    // starts the timer at time-out + 30 ms.
    void SetStartAddr(TavoComPort* port, int startAddress, ModuleTree* tree,
                      SearchOptions options = {});
    // The sweep settings that were skipped, one line each (kept after the end).
    const QStringList& Notices() const { return notices_; }

    void Timer1Timer();
    void btnStopClick();
    // Runs the remaining steps at once (a test clock's way of letting time pass).
    void RunToEnd();

    SearchAnimation* Animate1;
    QLineEdit* edtAddrHex;
    QLineEdit* edtAddrDec;
    QProgressBar* ProgressBar1;
    QLabel* lblLineSetting; // "Line setting: 19200, N, 8, 1 (2 of 3)"
    QLabel* lblElapsed;     // "Elapsed 0:12, about 2:54 left"
    QLabel* lblNotices;     // the skipped settings, shown once there is one
    QPushButton* btnStop;
    QTimer* Timer1;

private:
    void Finish();
    void ShowProgress();

    std::unique_ptr<SearchEngine> engine_;
    ModuleTree* tree_ = nullptr;
    QTreeWidgetItem* parentNode_ = nullptr;
    QElapsedTimer elapsed_;
    QStringList notices_;
};

} // namespace tavo
