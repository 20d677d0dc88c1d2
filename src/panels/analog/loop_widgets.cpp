#include "loop_widgets.h"

#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QPainter>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace tavo {

PercentGauge::PercentGauge(const QColor& color, QWidget* parent) : QWidget(parent), color_(color) {
    setMinimumSize(24, 80);
}

void PercentGauge::SetPercent(double percent) {
    if (std::isnan(percent) || percent == percent_) return;
    percent_ = percent;
    update();
}

void PercentGauge::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    p.fillRect(frame, Qt::white);
    const double shown = std::clamp(percent_, 0.0, 100.0);
    const int h = static_cast<int>(std::lround(frame.height() * shown / 100.0));
    p.fillRect(QRect(frame.left(), frame.bottom() - h, frame.width(), h), color_);
    p.setPen(Qt::black);
    p.drawRect(frame);
    p.drawText(frame, Qt::AlignCenter, QString::asprintf("%.0f%%", shown));
}

TrendGraph::TrendGraph(QWidget* parent) : QWidget(parent) {
    chart_ = new QChart;
    chart_->legend()->hide();
    chart_->setMargins(QMargins(2, 2, 2, 2));
    chart_->setBackgroundRoundness(0);
    x_ = new QValueAxis;
    x_->setRange(0, kHistory - 1);
    x_->setLabelsVisible(false);
    auto* y = new QValueAxis;
    y->setRange(0, 100);
    y->setTickCount(6);
    y->setLabelFormat("%d");
    chart_->addAxis(x_, Qt::AlignBottom);
    chart_->addAxis(y, Qt::AlignLeft);
    const auto series = [&](const char* name, const QColor& color) {
        auto* s = new QLineSeries;
        s->setObjectName(name);
        s->setPen(QPen(color, 2));
        chart_->addSeries(s);
        s->attachAxis(x_);
        s->attachAxis(y);
        return s;
    };
    sv_ = series("seriesSV", Qt::blue);
    pv_ = series("seriesPV", Qt::yellow);
    mv_ = series("seriesMV", Qt::red);
    auto* view = new QChartView(chart_, this);
    view->setObjectName("chartTrend");
    view->setRenderHint(QPainter::Antialiasing, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    setMinimumSize(240, 140);
}

void TrendGraph::AddPoint(double sv, double pv, double mv) {
    const long long n = samples_++;
    if (paused_) return;
    for (auto [series, value] : {std::pair{sv_, sv}, {pv_, pv}, {mv_, mv}}) {
        // Drop the oldest point first so a series never holds more than kHistory.
        if (series->count() >= kHistory) series->removePoints(0, series->count() - kHistory + 1);
        series->append(static_cast<double>(n), value);
    }
    const double first = sv_->at(0).x();
    x_->setRange(first, first + kHistory - 1);
}

void TrendGraph::Clear() {
    samples_ = 0;
    for (QLineSeries* s : {sv_, pv_, mv_}) s->clear();
    x_->setRange(0, kHistory - 1);
}

} // namespace tavo
