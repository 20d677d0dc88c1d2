#include "search_dialog.h"

#include "frame_animation.h"
#include "module_tree.h"
#include "transport/com_port.h"
#include "transport/modbus.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace tavo {

// A magnifier circling over a module while the scan runs.
class SearchAnimation : public FrameAnimation {
public:
    explicit SearchAnimation(QWidget* parent) : FrameAnimation(parent, {120, 48}, 24, 80) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(QColor(40, 120, 60));
        p.setPen(Qt::black);
        for (int i = 0; i < 4; ++i) p.drawRect(10 + i * 26, 18, 20, 22);
        const int frame = Frame();
        const double x = 12 + (frame < 12 ? frame : 24 - frame) * 7.5;
        p.setBrush(QColor(200, 230, 255, 160));
        p.setPen(QPen(Qt::black, 2));
        p.drawEllipse(QPointF(x + 8, 20), 9, 9);
        p.drawLine(QPointF(x + 14, 27), QPointF(x + 20, 34));
    }
};

TfrmDlgSearch::TfrmDlgSearch(QWidget* parent) : TavoDialog(parent) {
    setObjectName("TfrmDlgSearch");
    setWindowTitle("Searching...");
    auto* grid = new QGridLayout(this);
    Animate1 = new SearchAnimation(this);
    grid->addWidget(Animate1, 0, 0, 1, 4, Qt::AlignCenter);
    grid->addWidget(new QLabel("Scanned address", this), 1, 0);
    edtAddrHex = new QLineEdit(this);
    edtAddrHex->setObjectName("edtAddrHex");
    edtAddrHex->setReadOnly(true);
    edtAddrDec = new QLineEdit(this);
    edtAddrDec->setObjectName("edtAddrDec");
    edtAddrDec->setReadOnly(true);
    grid->addWidget(edtAddrHex, 1, 1);
    grid->addWidget(new QLabel("(Hex)", this), 1, 2);
    grid->addWidget(edtAddrDec, 2, 1);
    grid->addWidget(new QLabel("(Dec)", this), 2, 2);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setTextVisible(false);
    grid->addWidget(ProgressBar1, 3, 0, 1, 4);
    const auto label = [&](const char* name, int row) {
        auto* l = new QLabel(this);
        l->setObjectName(name);
        grid->addWidget(l, row, 0, 1, 4);
        return l;
    };
    lblLineSetting = label("lblLineSetting", 4);
    lblElapsed = label("lblElapsed", 5);
    lblNotices = label("lblNotices", 6);
    lblNotices->setWordWrap(true);
    lblNotices->hide();
    btnStop = new QPushButton("Stop scan", this);
    btnStop->setObjectName("btnStop");
    grid->addWidget(btnStop, 7, 0, 1, 4, Qt::AlignCenter);
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    connect(Timer1, &QTimer::timeout, this, &TfrmDlgSearch::Timer1Timer);
    connect(btnStop, &QPushButton::clicked, this, &TfrmDlgSearch::btnStopClick);
}

TfrmDlgSearch::~TfrmDlgSearch() = default;

void TfrmDlgSearch::SetStartAddr(TavoComPort* port, int startAddress, ModuleTree* tree,
                                 SearchOptions options) {
    engine_ = std::make_unique<SearchEngine>(*port, startAddress, 255, std::move(options));
    notices_.clear();
    elapsed_.start();
    tree_ = tree;
    parentNode_ = tree->currentItem();
    if (parentNode_) {
        qDeleteAll(parentNode_->takeChildren()); // the previous result of this port goes
        // What the search runs at is what a gateway configuration of it runs at.
        ModuleTree::SetSearchedWith(parentNode_, {port->GetLineSettings(), port->GetTimeOut(),
                                                  TavoModbusCOM::GetDefaultTurnaroundDelay()});
    }
    ProgressBar1->setRange(0, engine_->ProgressMax());
    ProgressBar1->setValue(0);
    Animate1->Play();
    Timer1->setInterval(engine_->TimerIntervalMs());
    ShowProgress();
    Timer1->start();
}

void TfrmDlgSearch::ShowProgress() {
    const QString line = QString::fromStdString(LineSettingsText(engine_->CurrentLine()));
    lblLineSetting->setText(
        engine_->SettingCount() > 1
            ? QString("Line setting: %1 (%2 of %3)")
                  .arg(line)
                  .arg(engine_->SettingIndex() + 1)
                  .arg(engine_->SettingCount())
            : "Line setting: " + line);
    lblElapsed->setText(QString("Elapsed %1, about %2 left")
                            .arg(QString::fromStdString(DurationText(elapsed_.elapsed())),
                                 QString::fromStdString(DurationText(engine_->EstimatedRemainingMs()))));
    const auto& notices = engine_->Notices();
    while (notices_.size() < static_cast<qsizetype>(notices.size()))
        notices_.push_back(QString::fromStdString(notices[static_cast<std::size_t>(notices_.size())]));
    if (!notices_.isEmpty()) {
        lblNotices->setText(notices_.join('\n'));
        lblNotices->show();
    }
}

void TfrmDlgSearch::Timer1Timer() {
    if (!engine_) return;
    if (engine_->Done()) {
        Finish();
        return;
    }
    const int address = engine_->Address();
    edtAddrDec->setText(QString::number(address));
    edtAddrHex->setText(QString("%1").arg(address, 2, 16, QChar('0')).toUpper());
    if (auto node = engine_->Step(); node && parentNode_) {
        if (!parentNode_->isExpanded()) parentNode_->setExpanded(true);
        QTreeWidgetItem* item = tree_->AddFound(parentNode_, *node);
        item->setExpanded(false);
    }
    ProgressBar1->setValue(engine_->Progress());
    ShowProgress();
    repaint();
}

void TfrmDlgSearch::Finish() {
    Animate1->StopPlaying();
    Timer1->stop();
    if (engine_) ShowProgress(); // collects the last notices
    engine_.reset();
    accept();
}

void TfrmDlgSearch::btnStopClick() { Finish(); }

void TfrmDlgSearch::RunToEnd() {
    while (engine_) Timer1Timer();
}

} // namespace tavo
