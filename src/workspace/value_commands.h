// The main window's "Record Values…" and "Chart" commands. While a module's panel
// is open, the module's points watch the port (a PointTap), so the panel's own
// poll feeds them; at the end of each poll the recording and the chart take what
// it read. Neither sends anything.
#pragma once

#include "module_panel.h"

#include "points/module_points.h"

#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class QAction;
class QTimer;

namespace tavo {

class MainStatusBar;
class TfrmChart;
class ValueRecorder;

class ValueCommands : public QObject {
    Q_OBJECT
public:
    using PointsMaker = std::function<std::unique_ptr<ModulePoints>(
        std::string_view model, const ModuleLocation& where, std::string& error)>;
    using WallClock = std::function<std::chrono::system_clock::time_point()>;
    using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;

    ValueCommands(QWidget& window, MainStatusBar& status);
    ~ValueCommands() override;

    QAction* RecordAction() const { return actRecordValues; }
    QAction* ChartAction() const { return actChart; }

    // A module panel is placed and about to start: the points of `model` on the
    // node's address, slot ("S2") and link, watching `port` from now on so the
    // panel's first reads are seen too. A model without points leaves both
    // commands disabled, their tooltip saying why.
    void PanelOpened(ModulePanel& panel, TavoComPort& port, const std::string& model,
                     const PanelContext& context);
    // The panel is about to go: the recording stops, the chart keeps what it has
    // and takes nothing more, the points stop watching the port.
    void PanelClosing();

    // The open module's points (null when none); the recording and the chart.
    ModulePoints* Points() const { return points_.get(); }
    ValueRecorder* Recorder() const { return recorder_.get(); }
    TfrmChart* Chart() const;

    // For tests: how points are made (MakeModulePoints unless set) and the clocks
    // of the recordings and charts made from now on.
    void SetPointsMaker(PointsMaker maker) { maker_ = std::move(maker); }
    void SetClocks(WallClock wall, SteadyClock steady) {
        wall_ = std::move(wall);
        steady_ = std::move(steady);
    }

    // Handlers: the record command asks for the file and starts, or stops; the
    // chart command opens the chart of the open module (or shows it again).
    void actRecordValuesClick(bool start);
    void actChartClick();

private:
    void PollEnded();
    void StopRecording();
    void RecordingFailed(const QString& message);
    void ShowRecording();
    void Offer(const QString& unavailable);

    QWidget& window_;
    MainStatusBar& status_;
    QAction* actRecordValues;
    QAction* actChart;
    QTimer* elapsed_;
    PointsMaker maker_;
    WallClock wall_;
    SteadyClock steady_;

    QPointer<ModulePanel> panel_;
    QString moduleText_; // "09 R270P", "40S2 K510"
    std::string fileStem_; // "R270P_09"
    std::unique_ptr<ModulePoints> points_;
    std::unique_ptr<PointTap> tap_;
    std::unique_ptr<ValueRecorder> recorder_;
    QPointer<TfrmChart> chart_;
};

} // namespace tavo
