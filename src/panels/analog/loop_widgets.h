// The loop controller's displays: a percentage gauge drawn with QPainter, and the
// scrolling trend of SV, PV and MV in percent of the display scale (Qt Charts),
// which keeps a bounded history and can be paused.
#pragma once

#include <QWidget>

class QChart;
class QLineSeries;
class QValueAxis;

namespace tavo {

// A vertical bar gauge, 0 to 100 %, the value clamped for drawing only.
class PercentGauge : public QWidget {
    Q_OBJECT
public:
    PercentGauge(const QColor& color, QWidget* parent = nullptr);
    // Repaints only when the shown value changes.
    void SetPercent(double percent);
    double Percent() const { return percent_; }
    QSize sizeHint() const override { return {40, 140}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor color_;
    double percent_ = 0.0;
};

class TrendGraph : public QWidget {
    Q_OBJECT
public:
    // The points of each series the graph holds; older ones scroll out.
    static constexpr int kHistory = 120;

    explicit TrendGraph(QWidget* parent = nullptr);

    // One point of each series (percent of the display scale). A paused graph
    // counts the samples but neither keeps nor draws them.
    void AddPoint(double sv, double pv, double mv);
    void Clear();
    void SetPaused(bool paused) { paused_ = paused; }
    bool Paused() const { return paused_; }

    QLineSeries* SVSeries() const { return sv_; }
    QLineSeries* PVSeries() const { return pv_; }
    QLineSeries* MVSeries() const { return mv_; }
    // Samples since the start or the last Clear, shown or not.
    long long Samples() const { return samples_; }

private:
    QChart* chart_;
    QValueAxis* x_;
    QLineSeries* sv_;
    QLineSeries* pv_;
    QLineSeries* mv_;
    long long samples_ = 0;
    bool paused_ = false;
};

} // namespace tavo
