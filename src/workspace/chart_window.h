// A live chart of an open panel's points: the user ticks the points to plot;
// analog points share a value axis, digital ones are steps in lanes of their own,
// time runs in seconds since the chart was opened. Only what the panel's own poll
// read is plotted (the chart sends nothing), and a reading that is not good is a
// gap in its line, never a value.
#pragma once

#include "points/point.h"

#include <QPointF>
#include <QString>
#include <QWidget>

#include <chrono>
#include <deque>
#include <functional>
#include <vector>

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace tavo {

class ChartPlot;
class ModulePoints;

class TfrmChart : public QWidget {
    Q_OBJECT
public:
    // Samples kept per point: an hour of polls twice a second. Older ones go.
    static constexpr std::size_t kMaxSamples = 7200;

    using WallClock = std::function<std::chrono::system_clock::time_point()>;
    using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;

    // `points` must stay until Detach; `moduleText` names the module in the title
    // ("09 R270P"). The clocks are the system's unless a test gives its own.
    TfrmChart(const ModulePoints& points, const QString& moduleText, WallClock wall = {},
              SteadyClock steady = {}, QWidget* parent = nullptr);
    ~TfrmChart() override;

    // The end of a poll of the panel: a sample of every point it renewed.
    void PollEnded();
    // The panel is closing: the chart keeps what it has (to look at and export)
    // and takes nothing more.
    void Detach();
    bool Detached() const { return points_ == nullptr; }

    // Paused, the plot stands still while samples are still taken (and the
    // oldest still go after an hour); Resume shows all of them again.
    bool Paused() const { return paused_; }
    void SetPaused(bool paused);
    // Ticks or unticks a point by name; false when there is none of that name.
    bool ShowPoint(const QString& name, bool shown);

    // What the chart shows of a point: its good samples as (seconds, value) in
    // runs, a new run after every gap; digital values 0 or 1. Empty for a point
    // not ticked.
    std::vector<std::vector<QPointF>> Runs(const QString& name) const;
    // The ranges the axes show: time (seconds) and the analog values.
    QPointF TimeRange() const;
    QPointF ValueRange() const;

    // The shown samples of the ticked points as the recorder writes them
    // (time,address,point,value,unit,quality), oldest first.
    std::string ShownCsv() const;

    // Handlers of the buttons.
    void btnChartPauseClick();
    void btnChartExportCsvClick();
    void btnChartExportPngClick();

private:
    friend class ChartPlot;
    struct Sample {
        double seconds;
        std::chrono::system_clock::time_point time;
        PointReading reading;
    };
    struct Trace {
        PointInfo info;
        std::deque<Sample> samples;
        // While paused: the samples as they were shown when the pause began.
        std::deque<Sample> frozen;
        bool shown = true;
        int lane = -1; // a digital trace's lane, from the bottom; -1 when not shown
    };

    void BuildForm(const QString& moduleText);
    void PointTicked(QListWidgetItem* item);
    void Relayout();
    void Refresh();
    void ShowState();
    const std::deque<Sample>& ShownSamples(const Trace& trace) const {
        return paused_ ? trace.frozen : trace.samples;
    }
    static QString ItemText(const PointInfo& info);

    const ModulePoints* points_;
    std::string address_;
    WallClock wall_;
    SteadyClock steady_;
    std::chrono::steady_clock::time_point started_;
    unsigned long lastSerial_ = 0;
    bool paused_ = false;
    std::vector<Trace> traces_;
    QPointF timeRange_{0, 10};
    QPointF valueRange_{0, 1};
    int lanes_ = 0;

    QListWidget* lstChartPoints;
    ChartPlot* chartView;
    QPushButton* btnChartPause;
    QPushButton* btnChartExportCsv;
    QPushButton* btnChartExportPng;
    QLabel* lblChartState;
};

} // namespace tavo
