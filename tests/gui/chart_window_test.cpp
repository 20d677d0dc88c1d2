// The chart window on points fed exchange by exchange, with clocks of the test's:
// gaps, pausing, the bound on samples, and the exports.
#include "file_helpers.h"
#include "support/temp_dir.h"
#include "test_ui.h"

#include "points/module_points.h"
#include "workspace/chart_window.h"

#include <QChart>
#include <QChartView>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <gtest/gtest.h>

#include <cmath>

namespace tavo {
namespace {

using test::ReadAll;

// 2026-01-02T03:04:05Z.
const std::chrono::system_clock::time_point kWallStart{std::chrono::seconds(1767323045)};

// An analog and a digital point whose readings come as exchanges "ai0\r" or
// "di0\r" with the value as the reply; a failed exchange makes the point failed.
class TwoPoints : public ModulePoints {
public:
    TwoPoints()
        : ModulePoints("T2", {9, -1, PointProtocol::Ascii},
                       {PointInfo{"ai0", PointKind::AnalogInput, "mA", 0, 20, false, 3},
                        PointInfo{"di0", PointKind::DigitalInput, "", kNoLimit, kNoLimit, false, 0}}) {}
    // One poll: the values to read, NaN for a failed read.
    void Poll(double analog, double digital) {
        Read("ai0", analog);
        Read("di0", digital);
    }

protected:
    bool Take(const PortExchange& e) override {
        const int index = IndexOf(e.request.substr(0, 3));
        if (index < 0) return false;
        if (e.ok) SetGood(index, std::stod(e.reply));
        else SetBad(index, PointQuality::Failed);
        return true;
    }
    bool ConfigurationKnown() const override { return true; }
    void ReadConfiguration(TavoComPort&) override {}
    void ReadValues(TavoComPort&) override {}
    bool WritePoint(TavoComPort&, int, double, std::string&) override { return false; }

private:
    void Read(const char* name, double value) {
        Observe(PortExchange{false, std::string(name) + "\r", std::isnan(value) ? "" : std::to_string(value),
                             !std::isnan(value)});
    }
};

struct ChartOnPoints {
    ChartOnPoints()
        : chart(points, "09 T2", [this] { return wall; }, [this] { return steady; }) {}
    // A poll half a second after the last one.
    void Poll(double analog, double digital) {
        points.Poll(analog, digital);
        chart.PollEnded();
        steady += std::chrono::milliseconds(500);
        wall += std::chrono::milliseconds(500);
    }
    template <class W> W* Find(const char* name) {
        W* w = chart.findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    test::ScopedTestUi ui;
    TwoPoints points;
    std::chrono::system_clock::time_point wall = kWallStart;
    std::chrono::steady_clock::time_point steady{};
    TfrmChart chart;
};

using Run = std::vector<QPointF>;
using Runs = std::vector<Run>;
// (seconds, value) pairs.
Run R(std::initializer_list<std::pair<double, double>> points) {
    Run run;
    for (const auto& [s, v] : points) run.emplace_back(s, v);
    return run;
}
const double kFail = std::nan("");

TEST(ChartWindow, AReadingThatIsNotGoodIsAGapNeverAValue) {
    ChartOnPoints c;
    for (const auto& [a, d] : std::vector<std::pair<double, double>>{
             {5, 0}, {5, 1}, {5, 1}, {kFail, kFail}, {kFail, 0}, {5, 1}, {5, 0}})
        c.Poll(a, d);
    EXPECT_EQ(c.chart.Runs("ai0"), (Runs{R({{0, 5}, {0.5, 5}, {1, 5}}), R({{2.5, 5}, {3, 5}})}));
    EXPECT_EQ(c.chart.Runs("di0"), (Runs{R({{0, 0}, {0.5, 1}, {1, 1}}), R({{2, 0}, {2.5, 1}, {3, 0}})}));
    EXPECT_EQ(c.chart.TimeRange(), QPointF(0, 10)); // ten seconds at least
    EXPECT_EQ(c.chart.ValueRange(), QPointF(4, 6)); // one value: one either side

    // On the picture: the line at 5 is drawn up to 1 s and again from 2.5 s, and
    // nothing lies between.
    c.chart.ShowPoint("di0", false);
    c.chart.resize(800, 500);
    auto* view = c.Find<QChartView>("chartView");
    const QImage image = view->grab().toImage();
    const QRectF plot = view->mapFromScene(view->chart()->mapRectToScene(view->chart()->plotArea()))
                            .boundingRect();
    const auto traced = [&](double seconds) {
        const int x = static_cast<int>(plot.left() + seconds / 10 * plot.width());
        for (int y = static_cast<int>(plot.center().y()) - 3; y <= plot.center().y() + 3; ++y) {
            const QColor p = image.pixelColor(x, y);
            if (p.blue() > 120 && p.red() < 120) return true; // the first trace colour
        }
        return false;
    };
    EXPECT_TRUE(traced(0.5));
    EXPECT_TRUE(traced(2.75));
    for (const double gap : {1.25, 1.75, 2.25}) EXPECT_FALSE(traced(gap)) << gap << " s";
}

TEST(ChartWindow, PausedItStandsStillButKeepsTakingSamples) {
    ChartOnPoints c;
    c.Poll(1, 0);
    c.Poll(2, 1);
    auto* pause = c.Find<QPushButton>("btnChartPause");
    pause->click();
    EXPECT_TRUE(c.chart.Paused());
    EXPECT_EQ(pause->text(), "&Resume");
    const std::string shown = c.chart.ShownCsv();
    for (int i = 0; i < 30; ++i) c.Poll(20 - i * 0.5, i % 2);
    EXPECT_EQ(c.chart.Runs("ai0"), (Runs{R({{0, 1}, {0.5, 2}})}));
    EXPECT_EQ(c.chart.TimeRange(), QPointF(0, 10));
    EXPECT_EQ(c.chart.ShownCsv(), shown); // the export is what is shown
    EXPECT_EQ(shown, "time,address,point,value,unit,quality\n"
                     "2026-01-02T03:04:05.000Z,09,ai0,1,mA,good\n"
                     "2026-01-02T03:04:05.000Z,09,di0,0,,good\n"
                     "2026-01-02T03:04:05.500Z,09,ai0,2,mA,good\n"
                     "2026-01-02T03:04:05.500Z,09,di0,1,,good\n");
    pause->click();
    EXPECT_FALSE(c.chart.Paused());
    ASSERT_EQ(c.chart.Runs("ai0").size(), 1u);
    EXPECT_EQ(c.chart.Runs("ai0")[0].size(), 32u);
    EXPECT_EQ(c.chart.TimeRange(), QPointF(0, 15.5));
}

TEST(ChartWindow, KeepsAnHourOfSamplesPerPointAndNoMore) {
    ChartOnPoints c;
    const int polls = static_cast<int>(TfrmChart::kMaxSamples) + 100;
    for (int i = 0; i < polls; ++i) c.Poll(i % 20, i % 2);
    for (const char* name : {"ai0", "di0"}) {
        const Runs runs = c.chart.Runs(name);
        ASSERT_EQ(runs.size(), 1u) << name;
        EXPECT_EQ(runs[0].size(), TfrmChart::kMaxSamples) << name;
        EXPECT_EQ(runs[0].front().x(), 50.0) << name; // the first 100 went
        EXPECT_EQ(runs[0].back().x(), (polls - 1) * 0.5) << name;
    }
    EXPECT_EQ(c.chart.TimeRange(), QPointF(50, (polls - 1) * 0.5));
}

TEST(ChartWindow, ExportsTheTickedPointsAsCsvAndThePictureAsPng) {
    test::TempDir dir;
    ChartOnPoints c;
    c.Poll(4.5, 1);
    c.Poll(kFail, 0);
    auto* list = c.Find<QListWidget>("lstChartPoints");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), "ai0 (mA)");
    list->item(1)->setCheckState(Qt::Unchecked); // di0
    EXPECT_TRUE(c.chart.Runs("di0").empty());

    const QString csv = QString::fromStdString(dir.File("chart.csv"));
    const QString png = QString::fromStdString(dir.File("chart")); // the suffix is added
    c.ui.ui().saveNames = {csv, png};
    c.Find<QPushButton>("btnChartExportCsv")->click();
    c.Find<QPushButton>("btnChartExportPng")->click();
    EXPECT_EQ(ReadAll(csv), "time,address,point,value,unit,quality\n"
                            "2026-01-02T03:04:05.000Z,09,ai0,4.5,mA,good\n"
                            "2026-01-02T03:04:05.500Z,09,ai0,,mA,failed\n");
    const QImage picture(png + ".png");
    EXPECT_FALSE(picture.isNull());
    EXPECT_EQ(c.ui.ui().defaultSuffixes, (std::vector<QString>{"csv", "png"}));

    // Nothing ticked: said, and no file asked for.
    list->item(0)->setCheckState(Qt::Unchecked);
    c.Find<QPushButton>("btnChartExportCsv")->click();
    EXPECT_EQ(c.ui.ui().defaultNames.size(), 2u);
    ASSERT_EQ(c.ui.ui().boxes.size(), 1u);
    EXPECT_TRUE(c.ui.ui().boxes[0].text.startsWith("No point is ticked"));

    // A file that cannot be written is said, once.
    list->item(0)->setCheckState(Qt::Checked);
    c.ui.ui().saveNames = {QString::fromStdString(dir.File("no-such-folder/chart.csv"))};
    c.Find<QPushButton>("btnChartExportCsv")->click();
    ASSERT_EQ(c.ui.ui().boxes.size(), 2u);
    EXPECT_TRUE(c.ui.ui().boxes[1].text.endsWith("chart.csv cannot be written."));
}

TEST(ChartWindow, DetachedKeepsWhatItHasAndTakesNoMore) {
    ChartOnPoints c;
    c.Poll(3, 1);
    const std::string shown = c.chart.ShownCsv();
    c.chart.Detach();
    c.points.Poll(4, 0); // the points may be gone by now: the chart must not look
    c.chart.PollEnded();
    EXPECT_EQ(c.chart.ShownCsv(), shown);
    EXPECT_FALSE(c.Find<QPushButton>("btnChartPause")->isEnabled());
    EXPECT_TRUE(c.Find<QLabel>("lblChartState")->text().contains("closed"));
}

} // namespace
} // namespace tavo
