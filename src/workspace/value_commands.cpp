#include "value_commands.h"

#include "chart_window.h"
#include "status_bar.h"
#include "tree_images.h"
#include "ui_services.h"
#include "value_recorder.h"

#include <QAction>
#include <QDir>
#include <QTimer>

namespace tavo {
namespace {

constexpr const char* kRecordText = "&Record Values\u2026";
constexpr const char* kStopText = "Stop &Recording";

PointProtocol ProtocolOf(LinkKind link) {
    switch (link) {
    case LinkKind::AsciiChecksum: return PointProtocol::AsciiChecksum;
    case LinkKind::ModbusRtu: return PointProtocol::Modbus;
    case LinkKind::AsciiPlain: break;
    }
    return PointProtocol::Ascii;
}

} // namespace

ValueCommands::ValueCommands(QWidget& window, MainStatusBar& status)
    : QObject(&window), window_(window), status_(status) {
    actRecordValues = new QAction(kRecordText, this);
    actRecordValues->setObjectName("actRecordValues");
    actRecordValues->setCheckable(true);
    actRecordValues->setIcon(ToolbarIcon(ToolIcon::Record));
    connect(actRecordValues, &QAction::triggered, this, [this](bool on) { actRecordValuesClick(on); });
    actChart = new QAction("&Chart", this);
    actChart->setObjectName("actChart");
    actChart->setIcon(ToolbarIcon(ToolIcon::Chart));
    connect(actChart, &QAction::triggered, this, [this] { actChartClick(); });
    elapsed_ = new QTimer(this);
    elapsed_->setObjectName("tmrRecordingElapsed");
    elapsed_->setInterval(1000);
    elapsed_->setTimerType(Qt::VeryCoarseTimer); // whole seconds are shown
    connect(elapsed_, &QTimer::timeout, this, [this] { ShowRecording(); });
    Offer("Open a module's panel to record or chart its values.");
}

// The window has closed the panel before its children go; what is left is let go
// without touching the status bar, which may be gone already.
ValueCommands::~ValueCommands() {
    if (recorder_) recorder_->Stop();
    tap_.reset();
    points_.reset();
}

void ValueCommands::Offer(const QString& unavailable) {
    const bool ok = unavailable.isEmpty();
    actRecordValues->setEnabled(ok);
    actChart->setEnabled(ok);
    if (!ok) {
        actRecordValues->setToolTip(unavailable);
        actChart->setToolTip(unavailable);
        return;
    }
    actRecordValues->setToolTip("Record the values of " + moduleText_ +
                                " at every poll of its panel into a CSV file");
    actChart->setToolTip("Chart the values of " + moduleText_ + " as its panel polls them");
}

void ValueCommands::PanelOpened(ModulePanel& panel, TavoComPort& port, const std::string& model,
                                const PanelContext& context) {
    PanelClosing();
    ModuleLocation where;
    bool ok = true;
    where.address = context.address == "*" ? 0 : context.address.toInt(&ok, 16);
    if (!ok) where.address = -1; // refused by the maker below, with its reason
    if (context.slot.size() >= 2) where.slot = context.slot.mid(1).toInt(&ok);
    if (!ok) where.slot = 99;
    where.protocol = ProtocolOf(context.link);
    moduleText_ = QString::fromStdString(LocationText(where) + " " + model);
    fileStem_ = model + "_" + LocationText(where);
    std::string error;
    points_ = maker_ ? maker_(model, where, error) : MakeModulePoints(model, where, error);
    if (!points_) {
        Offer("The values of " + moduleText_ + " cannot be recorded or charted: " +
              QString::fromStdString(error) + ".");
        return;
    }
    tap_ = std::make_unique<PointTap>(port, *points_);
    panel_ = &panel;
    connect(&panel, &ModulePanel::PollEnded, this, [this] { PollEnded(); });
    // Should the panel go some other way than through PanelClosing.
    connect(&panel, &QObject::destroyed, this, [this] { PanelClosing(); });
    Offer({});
}

void ValueCommands::PanelClosing() {
    StopRecording();
    if (chart_) chart_->Detach();
    chart_ = nullptr;
    if (panel_) disconnect(panel_, nullptr, this, nullptr);
    panel_ = nullptr;
    tap_.reset();
    points_.reset();
    Offer("Open a module's panel to record or chart its values.");
}

TfrmChart* ValueCommands::Chart() const { return chart_; }

void ValueCommands::PollEnded() {
    if (recorder_) recorder_->PollEnded();
    ShowRecording();
    if (chart_) chart_->PollEnded();
}

void ValueCommands::actRecordValuesClick(bool start) {
    if (!start) {
        StopRecording();
        return;
    }
    actRecordValues->setChecked(false); // until the recording really runs
    if (!points_) return;
    const QString path = Ui().AppendFileName(&window_, "Record Values",
                                             QString::fromStdString(fileStem_) + "_Values.csv",
                                             "CSV files (*.csv)", "csv");
    if (path.isEmpty() || !points_) return;
    auto recorder = std::make_unique<ValueRecorder>(*points_, wall_, steady_);
    QString error;
    if (!recorder->Start(path, error)) {
        ShowError(&window_, error);
        return;
    }
    recorder_ = std::move(recorder);
    connect(recorder_.get(), &ValueRecorder::Failed, this,
            [this](const QString& message) { RecordingFailed(message); });
    actRecordValues->setChecked(true);
    actRecordValues->setText(kStopText);
    actRecordValues->setToolTip("Stop recording into " + QDir::toNativeSeparators(path));
    elapsed_->start();
    ShowRecording();
}

void ValueCommands::StopRecording() {
    if (!recorder_) return;
    recorder_->Stop();
    // Not deleted here: the recorder may be the one telling of its failure.
    recorder_.release()->deleteLater();
    elapsed_->stop();
    status_.SetRecordingText({});
    actRecordValues->setChecked(false);
    actRecordValues->setText(kRecordText);
    Offer(points_ ? QString() : "Open a module's panel to record or chart its values.");
}

void ValueCommands::RecordingFailed(const QString& message) {
    StopRecording();
    // Told after the poll that found it has ended, not inside it.
    QTimer::singleShot(0, this, [this, message] { ShowError(&window_, message); });
}

void ValueCommands::ShowRecording() {
    if (!recorder_) return;
    status_.SetRecordingText(recorder_->StatusText(), QDir::toNativeSeparators(recorder_->Path()));
}

void ValueCommands::actChartClick() {
    if (!points_) return;
    if (!chart_) {
        chart_ = new TfrmChart(*points_, moduleText_, wall_, steady_, &window_);
        chart_->show();
    }
    chart_->raise();
    chart_->activateWindow();
}

} // namespace tavo
