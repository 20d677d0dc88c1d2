#include "chart_window.h"

#include "data_paths.h"
#include "ui_services.h"

#include "points/module_points.h"
#include "points/point_text.h"

#include <QBuffer>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSignalBlocker>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>

namespace tavo {
namespace {

// A digital point's lane: 0 and 1 of lane k sit at k * kLaneStep and one above.
constexpr double kLaneStep = 1.5;
constexpr double kLaneMargin = 0.25;
// The shortest time axis, in seconds, so the first samples do not fill the width.
constexpr double kMinSpan = 10.0;

QColor TraceColor(std::size_t index) {
    static const std::array<QColor, 10> colors{{
        {31, 119, 180}, {214, 39, 40}, {44, 160, 44}, {255, 127, 14}, {148, 103, 189},
        {140, 86, 75}, {227, 119, 194}, {127, 127, 127}, {188, 189, 34}, {23, 190, 207},
    }};
    return colors[index % colors.size()];
}

} // namespace

// The chart, its axes and a legend entry per point from Qt Charts; the lines are
// drawn here over the plot area, because a Qt Charts line joins every point it
// holds and a gap must stay a gap.
class ChartPlot : public QChartView {
public:
    explicit ChartPlot(TfrmChart& owner, QWidget* parent) : QChartView(parent), owner_(owner) {
        setObjectName("chartView");
        setRenderHint(QPainter::Antialiasing);
        auto* c = new QChart;
        c->legend()->setAlignment(Qt::AlignBottom);
        time = new QValueAxis;
        time->setTitleText("Seconds since the chart started");
        time->setLabelFormat("%.0f");
        values = new QValueAxis;
        lanes = new QCategoryAxis;
        lanes->setLabelsPosition(QCategoryAxis::AxisLabelsPositionCenter);
        c->addAxis(time, Qt::AlignBottom);
        c->addAxis(values, Qt::AlignLeft);
        c->addAxis(lanes, Qt::AlignRight);
        // The view lets go of the chart it made for itself: it is ours to delete.
        QChart* own = chart();
        setChart(c);
        delete own;
    }

    // A legend entry for each point, in the point's colour; it holds no data.
    void AddCarrier(const QString& name, std::size_t index, bool digital) {
        auto* series = new QLineSeries;
        series->setName(name);
        chart()->addSeries(series);
        series->attachAxis(time);
        series->attachAxis(digital ? static_cast<QAbstractAxis*>(lanes) : values);
        series->setColor(TraceColor(index));
        carriers.push_back(series);
    }
    void ShowCarrier(std::size_t index, bool shown) {
        QLineSeries* series = carriers[index];
        series->setVisible(shown);
        for (QLegendMarker* marker : chart()->legend()->markers(series)) marker->setVisible(shown);
    }

    QValueAxis* time;
    QValueAxis* values;
    QCategoryAxis* lanes;
    std::vector<QLineSeries*> carriers;

protected:
    void drawForeground(QPainter* painter, const QRectF& rect) override {
        QChartView::drawForeground(painter, rect);
        const QRectF plot = chart()->mapRectToScene(chart()->plotArea());
        if (plot.width() <= 0 || plot.height() <= 0) return;
        painter->save();
        painter->setClipRect(plot);
        painter->setRenderHint(QPainter::Antialiasing);
        const QPointF t = owner_.timeRange_;
        const auto x = [&](double s) { return plot.left() + (s - t.x()) / (t.y() - t.x()) * plot.width(); };
        for (std::size_t i = 0; i < owner_.traces_.size(); ++i) {
            const TfrmChart::Trace& trace = owner_.traces_[i];
            if (!trace.shown) continue;
            const bool digital = IsDigital(trace.info.kind);
            const QPointF v = digital ? QPointF(lanes->min(), lanes->max()) : owner_.valueRange_;
            const auto y = [&](double value) {
                return plot.bottom() - (value - v.x()) / (v.y() - v.x()) * plot.height();
            };
            QPainterPath path;
            int run = 0;
            QPointF last;
            const auto endRun = [&] {
                if (run == 1) path.addEllipse(last, 1.5, 1.5); // a lone good sample
                run = 0;
            };
            for (const auto& s : owner_.ShownSamples(trace)) {
                if (s.reading.quality != PointQuality::Good) {
                    endRun();
                    continue;
                }
                const double value = digital ? trace.lane * kLaneStep + s.reading.value : s.reading.value;
                const QPointF p(x(s.seconds), y(value));
                if (run == 0) path.moveTo(p);
                else if (digital) {
                    path.lineTo(p.x(), last.y());
                    path.lineTo(p);
                } else {
                    path.lineTo(p);
                }
                last = p;
                ++run;
            }
            endRun();
            painter->setPen(QPen(TraceColor(i), 1.5));
            painter->setBrush(Qt::NoBrush);
            painter->drawPath(path);
        }
        painter->restore();
    }

private:
    TfrmChart& owner_;
};

TfrmChart::TfrmChart(const ModulePoints& points, const QString& moduleText, WallClock wall,
                     SteadyClock steady, QWidget* parent)
    : QWidget(parent, Qt::Window), points_(&points), address_(LocationText(points.Location())),
      wall_(wall ? std::move(wall) : [] { return std::chrono::system_clock::now(); }),
      steady_(steady ? std::move(steady) : [] { return std::chrono::steady_clock::now(); }),
      started_(steady_()), lastSerial_(points.Serial()) {
    setObjectName("TfrmChart");
    setAttribute(Qt::WA_DeleteOnClose);
    for (const PointInfo& info : points.Points()) traces_.push_back(Trace{info, {}, {}, true, -1});
    BuildForm(moduleText);
    Relayout();
    Refresh();
}

TfrmChart::~TfrmChart() = default;

QString TfrmChart::ItemText(const PointInfo& info) {
    const QString name = QString::fromStdString(info.name);
    return info.unit.empty() ? name : name + " (" + QString::fromStdString(info.unit) + ")";
}

void TfrmChart::BuildForm(const QString& moduleText) {
    setWindowTitle("Chart - " + moduleText);
    resize(820, 520);
    lstChartPoints = new QListWidget(this);
    lstChartPoints->setObjectName("lstChartPoints");
    lstChartPoints->setFixedWidth(150);
    chartView = new ChartPlot(*this, this);
    for (std::size_t i = 0; i < traces_.size(); ++i) {
        auto* item = new QListWidgetItem(ItemText(traces_[i].info), lstChartPoints);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
        item->setData(Qt::UserRole, static_cast<int>(i));
        item->setToolTip(QString::fromUtf8(PointKindName(traces_[i].info.kind).data()));
        chartView->AddCarrier(item->text(), i, IsDigital(traces_[i].info.kind));
    }
    connect(lstChartPoints, &QListWidget::itemChanged, this,
            [this](QListWidgetItem* item) { PointTicked(item); });

    btnChartPause = new QPushButton("&Pause", this);
    btnChartPause->setObjectName("btnChartPause");
    btnChartPause->setToolTip("Stop the plot where it is; samples are still taken and shown on Resume");
    btnChartExportCsv = new QPushButton("Export &CSV...", this);
    btnChartExportCsv->setObjectName("btnChartExportCsv");
    btnChartExportCsv->setToolTip("Save the shown samples of the ticked points as a CSV file");
    btnChartExportPng = new QPushButton("Export P&NG...", this);
    btnChartExportPng->setObjectName("btnChartExportPng");
    btnChartExportPng->setToolTip("Save the chart as a PNG picture");
    lblChartState = new QLabel(this);
    lblChartState->setObjectName("lblChartState");
    connect(btnChartPause, &QPushButton::clicked, this, [this] { btnChartPauseClick(); });
    connect(btnChartExportCsv, &QPushButton::clicked, this, [this] { btnChartExportCsvClick(); });
    connect(btnChartExportPng, &QPushButton::clicked, this, [this] { btnChartExportPngClick(); });

    auto* list = new QVBoxLayout;
    auto* caption = new QLabel("Points to plot:", this);
    caption->setBuddy(lstChartPoints);
    list->addWidget(caption);
    list->addWidget(lstChartPoints);
    auto* top = new QHBoxLayout;
    top->addLayout(list);
    top->addWidget(chartView, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnChartPause);
    buttons->addWidget(btnChartExportCsv);
    buttons->addWidget(btnChartExportPng);
    buttons->addWidget(lblChartState, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
    ShowState();
}

void TfrmChart::PollEnded() {
    if (!points_) return;
    const unsigned long serial = points_->Serial();
    if (serial == lastSerial_) return; // a poll that read nothing of this module
    const double seconds = std::chrono::duration<double>(steady_() - started_).count();
    const auto time = wall_();
    const auto& infos = points_->Points();
    const auto& readings = points_->Readings();
    for (std::size_t i = 0; i < traces_.size() && i < readings.size(); ++i) {
        Trace& trace = traces_[i];
        if (trace.info.unit != infos[i].unit) {
            trace.info = infos[i];
            const QString text = ItemText(trace.info);
            const QSignalBlocker block(lstChartPoints);
            lstChartPoints->item(static_cast<int>(i))->setText(text);
            chartView->carriers[i]->setName(text);
        } else {
            trace.info.decimals = infos[i].decimals;
        }
        if (readings[i].serial <= lastSerial_) continue;
        trace.samples.push_back({seconds, time, readings[i]});
        if (trace.samples.size() > kMaxSamples) trace.samples.pop_front();
    }
    lastSerial_ = serial;
    if (!paused_) Refresh();
}

void TfrmChart::Detach() {
    points_ = nullptr;
    btnChartPause->setEnabled(false);
    ShowState();
}

void TfrmChart::SetPaused(bool paused) {
    if (paused == paused_) return;
    for (Trace& trace : traces_) {
        if (paused) trace.frozen = trace.samples;
        else std::deque<Sample>().swap(trace.frozen);
    }
    paused_ = paused;
    btnChartPause->setText(paused ? "&Resume" : "&Pause");
    ShowState();
    Refresh();
}

void TfrmChart::btnChartPauseClick() { SetPaused(!paused_); }

bool TfrmChart::ShowPoint(const QString& name, bool shown) {
    for (int i = 0; i < lstChartPoints->count(); ++i) {
        QListWidgetItem* item = lstChartPoints->item(i);
        if (QString::fromStdString(traces_[static_cast<std::size_t>(i)].info.name) != name) continue;
        item->setCheckState(shown ? Qt::Checked : Qt::Unchecked);
        return true;
    }
    return false;
}

void TfrmChart::PointTicked(QListWidgetItem* item) {
    const auto index = static_cast<std::size_t>(item->data(Qt::UserRole).toInt());
    if (index >= traces_.size()) return;
    const bool shown = item->checkState() == Qt::Checked;
    if (traces_[index].shown == shown) return;
    traces_[index].shown = shown;
    Relayout();
    Refresh();
}

// What depends on the ticked points only, not on the samples: which carriers show and
// the digital points' lanes.
void TfrmChart::Relayout() {
    lanes_ = 0;
    for (std::size_t i = 0; i < traces_.size(); ++i) {
        Trace& trace = traces_[i];
        chartView->ShowCarrier(i, trace.shown);
        trace.lane = trace.shown && IsDigital(trace.info.kind) ? lanes_++ : -1;
    }
    QCategoryAxis* lanes = chartView->lanes;
    for (const QString& label : lanes->categoriesLabels()) lanes->remove(label);
    lanes->setStartValue(-kLaneMargin);
    for (const Trace& trace : traces_)
        if (trace.lane >= 0)
            lanes->append(QString::fromStdString(trace.info.name),
                          trace.lane * kLaneStep + 1 + kLaneMargin);
    lanes->setRange(-kLaneMargin, std::max(lanes_, 1) * kLaneStep - kLaneMargin);
    lanes->setVisible(lanes_ > 0);
}

void TfrmChart::Refresh() {
    double first = 0, last = 0, low = 0, high = 0;
    bool anySample = false, anyValue = false;
    for (Trace& trace : traces_) {
        const bool digital = IsDigital(trace.info.kind);
        if (!trace.shown) continue;
        const auto& samples = ShownSamples(trace);
        if (!samples.empty()) {
            first = anySample ? std::min(first, samples.front().seconds) : samples.front().seconds;
            last = anySample ? std::max(last, samples.back().seconds) : samples.back().seconds;
            anySample = true;
        }
        if (digital) continue;
        for (const Sample& s : samples) {
            if (s.reading.quality != PointQuality::Good) continue;
            low = anyValue ? std::min(low, s.reading.value) : s.reading.value;
            high = anyValue ? std::max(high, s.reading.value) : s.reading.value;
            anyValue = true;
        }
    }
    timeRange_ = anySample ? QPointF(first, std::max(last, first + kMinSpan)) : QPointF(0, kMinSpan);
    if (!anyValue) valueRange_ = QPointF(0, 1);
    else if (high - low < 1e-9 * std::max(1.0, std::fabs(high))) valueRange_ = QPointF(low - 1, high + 1);
    else valueRange_ = QPointF(low - (high - low) * 0.05, high + (high - low) * 0.05);

    chartView->time->setRange(timeRange_.x(), timeRange_.y());
    chartView->values->setRange(valueRange_.x(), valueRange_.y());
    chartView->viewport()->update();
}

void TfrmChart::ShowState() {
    if (!points_)
        lblChartState->setText("The panel was closed: the chart takes no more values.");
    else if (paused_)
        lblChartState->setText("Paused: new samples are kept and shown on Resume.");
    else
        lblChartState->setText("Following the panel's polls.");
}

std::vector<std::vector<QPointF>> TfrmChart::Runs(const QString& name) const {
    std::vector<std::vector<QPointF>> runs;
    for (const Trace& trace : traces_) {
        if (QString::fromStdString(trace.info.name) != name || !trace.shown) continue;
        bool open = false;
        for (const Sample& s : ShownSamples(trace)) {
            if (s.reading.quality != PointQuality::Good) {
                open = false;
                continue;
            }
            if (!open) runs.emplace_back();
            runs.back().emplace_back(s.seconds, s.reading.value);
            open = true;
        }
    }
    return runs;
}

QPointF TfrmChart::TimeRange() const { return timeRange_; }
QPointF TfrmChart::ValueRange() const { return valueRange_; }

std::string TfrmChart::ShownCsv() const {
    struct Row {
        const Sample* sample;
        std::size_t trace;
    };
    std::vector<Row> rows;
    for (std::size_t i = 0; i < traces_.size(); ++i)
        if (traces_[i].shown)
            for (const Sample& s : ShownSamples(traces_[i])) rows.push_back({&s, i});
    // Each point's samples are in time order already; merged by time, a poll's
    // rows keep the order of the module's points.
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return a.sample->time < b.sample->time;
    });
    std::string csv(kPointsCsvHeader);
    for (const Row& row : rows)
        csv += PointCsvRow(IsoTimeUtc(row.sample->time), address_, traces_[row.trace].info,
                           row.sample->reading);
    return csv;
}

void TfrmChart::btnChartExportCsvClick() {
    if (std::none_of(traces_.begin(), traces_.end(), [](const Trace& t) { return t.shown; })) {
        ShowWarning(this, "No point is ticked: tick the points whose samples are to be saved.");
        return;
    }
    const QString path = Ui().SaveFileName(this, "Export CSV", "Chart.csv", "CSV files (*.csv)", "csv");
    if (path.isEmpty()) return;
    if (!WriteFileAtomically(path, QByteArray::fromStdString(ShownCsv())))
        ShowError(this, QDir::toNativeSeparators(path) + " cannot be written.");
}

void TfrmChart::btnChartExportPngClick() {
    const QString path = Ui().SaveFileName(this, "Export PNG", "Chart.png", "PNG images (*.png)", "png");
    if (path.isEmpty()) return;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!chartView->grab().save(&buffer, "PNG") || !WriteFileAtomically(path, png))
        ShowError(this, QDir::toNativeSeparators(path) + " cannot be written.");
}

} // namespace tavo
