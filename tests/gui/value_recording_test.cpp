// Recording and charting an open panel's values from the window: what the panel's
// own poll read goes into the CSV file and the chart, and nothing more goes on
// the wire.
#include "file_helpers.h"
#include "panel_fixture.h"
#include "sim/pty_server.h"
#include "support/temp_dir.h"

#include "points/module_points.h"
#include "workspace/chart_window.h"
#include "workspace/value_commands.h"
#include "workspace/value_recorder.h"

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace tavo {
namespace {

using test::PanelFixture;
using test::ReadAll;
using test::TempDir;

// 2026-01-02T03:04:05Z.
const std::chrono::system_clock::time_point kWallStart{std::chrono::seconds(1767323045)};

// The rows of point `point` in a recording, without the header.
QStringList RowsOf(const QString& path, const QString& point) {
    QStringList rows;
    for (const QString& line : QString::fromUtf8(test::ReadAll(path)).split('\n', Qt::SkipEmptyParts))
        if (line.section(',', 2, 2) == point) rows << line;
    return rows;
}

// Counts the exchanges on the window's port (passing them on to the points) and the
// polls of the open panel, noting how many exchanges each poll's end had seen.
class WireWatch {
public:
    WireWatch(TfrmMain& window) {
        TavoComPort& port = *window.Port();
        port.SetExchangeObserver([this, next = port.GetExchangeObserver()](const PortExchange& e) {
            requests.push_back(e.request);
            if (next) next(e);
        });
        auto* panel = qobject_cast<ModulePanel*>(window.CurrentPanel());
        QObject::connect(panel, &ModulePanel::PollEnded, panel,
                         [this] { pollEnds.push_back(requests.size()); });
    }
    // Waits for `polls` more poll ends; the requests between the first and last.
    std::vector<std::string> Polls(int polls) {
        const std::size_t from = pollEnds.size();
        EXPECT_TRUE(QTest::qWaitFor([&] { return pollEnds.size() >= from + polls + 1; }, 20000));
        if (pollEnds.size() < from + polls + 1) return {};
        return {requests.begin() + static_cast<long>(pollEnds[from]),
                requests.begin() + static_cast<long>(pollEnds[from + polls])};
    }
    std::vector<std::string> requests;
    std::vector<std::size_t> pollEnds;
};

// The recording's row times and elapsed time run on clocks of the test's.
struct TestClocks {
    std::chrono::system_clock::time_point wall = kWallStart;
    std::chrono::steady_clock::time_point steady{};
    void Install(ValueCommands& values) {
        values.SetClocks([this] { return wall; }, [this] { return steady; });
    }
};

QAction* Action(TfrmMain& window, const char* name) {
    auto* action = window.findChild<QAction*>(name);
    EXPECT_NE(action, nullptr) << name;
    return action;
}

// Starts recording into `path` as a user does: the command, then the file dialog.
void StartRecording(PanelFixture& fx, const QString& path) {
    fx.ui().saveNames.push_back(path);
    Action(fx.window(), "actRecordValues")->trigger();
}

TEST(ValueCommands, AreOfferedForAModuleWithPointsAndSayWhyNotOtherwise) {
    PanelFixture fx("01 R210D value=25.5\n05 K100 slots=K520\n");
    QAction* record = Action(fx.window(), "actRecordValues");
    QAction* chart = Action(fx.window(), "actChart");
    const auto toolbar = fx.window().findChild<QToolBar*>("ToolBar1");
    const auto tools = fx.window().findChild<QMenu*>("menuTools");
    ASSERT_NE(toolbar, nullptr);
    ASSERT_NE(tools, nullptr);
    for (QAction* a : {record, chart}) {
        EXPECT_TRUE(toolbar->actions().contains(a)) << a->objectName().toStdString();
        EXPECT_TRUE(tools->actions().contains(a)) << a->objectName().toStdString();
    }
    EXPECT_EQ(record->text(), "&Record Values\u2026");
    EXPECT_TRUE(record->isCheckable());

    struct Row {
        const char* node; // empty: the port's settings panel
        bool offered;
        const char* tip;  // part of the tooltip of both commands
    } const rows[] = {
        {"", false, "Open a module's panel to record or chart its values."},
        {"(05)K100", false, "05 K100 cannot be recorded or charted: K100 is a rack controller"},
        {"(01)R210D", true, "01 R210D"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.node);
        if (*row.node) fx.Open(row.node);
        else fx.window().ClickNode(fx.window().Tree()->FindPort(fx.portName()));
        for (QAction* a : {record, chart}) {
            EXPECT_EQ(a->isEnabled(), row.offered);
            EXPECT_TRUE(a->toolTip().contains(row.tip)) << a->toolTip().toStdString();
        }
    }
    fx.window().ClickNode(fx.window().Tree()->Root());
    EXPECT_FALSE(record->isEnabled());
}

// The same polls with and without recording and charting make the same requests,
// and the file holds one row per poll with the value the module sent.
TEST(ValueRecording, RecordsWhatEachPollReadAndAddsNoTransaction) {
    TempDir dir;
    PanelFixture fx("01 R210D pattern=25.5,26,-3.25,12\n");
    TestClocks clocks;
    clocks.Install(*fx.window().Values());
    ASSERT_NE(fx.Open("(01)R210D"), nullptr);
    WireWatch wire(fx.window());
    const std::vector<std::string> plain = wire.Polls(4);
    ASSERT_FALSE(plain.empty());

    const QString path = QString::fromStdString(dir.File("values.csv"));
    StartRecording(fx, path);
    QAction* record = Action(fx.window(), "actRecordValues");
    EXPECT_TRUE(record->isChecked());
    EXPECT_EQ(record->text(), "Stop &Recording");
    Action(fx.window(), "actChart")->trigger();
    TfrmChart* chart = fx.window().Values()->Chart();
    ASSERT_NE(chart, nullptr);
    EXPECT_EQ(fx.ui().defaultNames.back(), "R210D_01_Values.csv");
    clocks.steady += std::chrono::seconds(3725);
    const std::vector<std::string> recorded = wire.Polls(4);
    EXPECT_EQ(recorded, plain) << "recording and charting changed what the poll sends";
    EXPECT_EQ(fx.window().StatusBar()->RecordingText(), "Recording 01:02:05 to values.csv");

    record->trigger(); // Stop Recording
    EXPECT_FALSE(record->isChecked());
    EXPECT_EQ(record->text(), "&Record Values\u2026");
    EXPECT_TRUE(fx.window().StatusBar()->RecordingText().isEmpty());
    EXPECT_TRUE(ReadAll(path).startsWith("time,address,point,value,unit,quality\n"));
    const QStringList lines = RowsOf(path, "ai0");
    ASSERT_GE(lines.size(), 4);
    // The pattern steps one value a reading, in the module's own format.
    const QStringList values{"25.5", "26", "-3.25", "12"};
    for (int i = 0; i < lines.size(); ++i) {
        const QStringList fields = lines[i].split(',');
        ASSERT_EQ(fields.size(), 6) << lines[i].toStdString();
        EXPECT_EQ(fields[0], "2026-01-02T03:04:05.000Z");
        EXPECT_EQ(fields[1] + fields[2] + fields[4] + fields[5], "01ai0mVgood");
        EXPECT_TRUE(values.contains(fields[3])) << lines[i].toStdString();
        if (i > 0)
            EXPECT_EQ(values.indexOf(fields[3]),
                      (values.indexOf(lines[i - 1].split(',')[3]) + 1) % values.size());
    }
    EXPECT_EQ(chart->Runs("ai0").size(), 1u);
    EXPECT_GE(chart->Runs("ai0").front().size(), 4u);
    EXPECT_TRUE(fx.ui().boxes.empty()) << fx.ui().Texts().join('\n').toStdString();
}

// Unplugged and plugged in again while recording: the polls that fail are rows of
// quality failed (no value), the recording goes on, and good rows follow.
TEST(ValueRecording, SurvivesALostAndReturnedPort) {
    test::ScopedTestUi ui;
    TempDir dir;
    const std::string link = dir.File("unplug");
    sim::Bus bus;
    std::string error;
    ASSERT_TRUE(sim::LoadBusText("01 R210D value=41.25\n", bus, error)) << error;
    auto server = std::make_unique<sim::PtyServer>(bus);
    ASSERT_TRUE(server->Start(error, link)) << error;
    const QString port = QString::fromStdString(link);
    TfrmMain window(QStringList{port});
    FoundNode n;
    n.text = "(01)R210D";
    n.link = LinkKind::AsciiPlain;
    window.ClickNode(window.Tree()->AddFound(window.Tree()->FindPort(port), n));
    auto* panel = qobject_cast<ModulePanel*>(window.CurrentPanel());
    ASSERT_NE(panel, nullptr);
    int polls = 0;
    QObject::connect(panel, &ModulePanel::PollEnded, panel, [&] { ++polls; });
    const auto waitPolls = [&](int count) {
        const int until = polls + count;
        return QTest::qWaitFor([&] { return polls >= until; }, 20000);
    };
    const QString path = QString::fromStdString(dir.File("lost.csv"));
    ui.ui().saveNames.push_back(path);
    window.findChild<QAction*>("actRecordValues")->trigger();
    ASSERT_TRUE(waitPolls(2));

    server->Stop();
    server.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.StatusBar()->StatusMessage().contains("was lost"); }, 5000));
    ASSERT_TRUE(waitPolls(3));
    server = std::make_unique<sim::PtyServer>(bus);
    ASSERT_TRUE(server->Start(error, link)) << error;
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.StatusBar()->StatusMessage().contains("is back"); }, 10000));
    ASSERT_TRUE(waitPolls(2));
    EXPECT_TRUE(window.findChild<QAction*>("actRecordValues")->isChecked());
    window.ClickNode(window.Tree()->FindPort(port)); // the panel closes: the recording ends
    EXPECT_FALSE(window.findChild<QAction*>("actRecordValues")->isChecked());
    server->Stop();

    QStringList states; // the runs of ai0's qualities, in order
    for (const QString& line : RowsOf(path, "ai0")) {
        const QStringList f = line.split(',');
        ASSERT_EQ(f.size(), 6) << line.toStdString();
        EXPECT_EQ(f[3], f[5] == "good" ? "41.25" : "") << line.toStdString();
        if (states.isEmpty() || states.back() != f[5]) states << f[5];
    }
    EXPECT_EQ(states, (QStringList{"good", "failed", "good"}));
    EXPECT_TRUE(ui.ui().boxes.empty()) << ui.ui().Texts().join('\n').toStdString();
}

// The file stops taking rows (a full disk, here a file size limit): one message,
// the recording stops, and the file holds every row written before, whole.
TEST(ValueRecording, AFileThatCannotBeWrittenStopsTheRecordingAndKeepsItsRows) {
    TempDir dir;
    PanelFixture fx("01 R210D value=7.5\n");
    ASSERT_NE(fx.Open("(01)R210D"), nullptr);
    WireWatch wire(fx.window());

    // One that cannot be opened at all: said at once, nothing recorded.
    StartRecording(fx, QString::fromStdString(dir.File("no-such-folder/values.csv")));
    QAction* record = Action(fx.window(), "actRecordValues");
    EXPECT_FALSE(record->isChecked());
    ASSERT_EQ(fx.ui().boxes.size(), 1u);
    EXPECT_TRUE(fx.ui().boxes[0].text.contains("cannot be opened for recording"))
        << fx.ui().boxes[0].text.toStdString();
    fx.ui().Clear();

    // A file that ends without a line end gets one before the rows.
    const QString path = QString::fromStdString(dir.File("values.csv"));
    ASSERT_TRUE(test::WriteAll(path, "time,address,point,value,unit,quality\nold"));
    StartRecording(fx, path);
    ASSERT_TRUE(record->isChecked());
    wire.Polls(2);
    const QByteArray before = ReadAll(path);
    ASSERT_TRUE(before.startsWith("time,address,point,value,unit,quality\nold\n")) << before.toStdString();
    ASSERT_TRUE(before.contains(",01,ai0,7.5,mV,good\n")) << before.toStdString();

    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit saved = limit;
    limit.rlim_cur = static_cast<rlim_t>(before.size() + 10); // less than a row
    setrlimit(RLIMIT_FSIZE, &limit);
    wire.Polls(1);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    QTest::qWait(0);

    EXPECT_FALSE(record->isChecked());
    EXPECT_TRUE(fx.window().StatusBar()->RecordingText().isEmpty());
    EXPECT_EQ(ReadAll(path), before) << "a row cut short stayed in the file";
    wire.Polls(2);
    EXPECT_EQ(ReadAll(path), before);
    ASSERT_EQ(fx.ui().boxes.size(), 1u) << fx.ui().Texts().join('\n').toStdString();
    EXPECT_EQ(fx.ui().boxes[0].icon, UiServices::Icon::Error);
    EXPECT_TRUE(fx.ui().boxes[0].text.startsWith("Recording stopped: " + path + " cannot be written ("))
        << fx.ui().boxes[0].text.toStdString();

    // Recording again into the same file adds to it, without a second header.
    StartRecording(fx, path);
    wire.Polls(1);
    record->trigger();
    const QByteArray after = ReadAll(path);
    EXPECT_TRUE(after.startsWith(before));
    EXPECT_GT(after.size(), before.size());
    EXPECT_EQ(after.count("time,"), 1);
}

TEST(ValueRecording, EndsWhenThePanelCloses) {
    TempDir dir;
    PanelFixture fx("01 R210D value=1.5\n");
    ASSERT_NE(fx.Open("(01)R210D"), nullptr);
    WireWatch wire(fx.window());
    const QString path = QString::fromStdString(dir.File("values.csv"));
    StartRecording(fx, path);
    wire.Polls(1);
    ASSERT_FALSE(fx.window().StatusBar()->RecordingText().isEmpty());
    fx.window().ClickNode(fx.window().Tree()->Root());
    EXPECT_FALSE(Action(fx.window(), "actRecordValues")->isChecked());
    EXPECT_FALSE(Action(fx.window(), "actRecordValues")->isEnabled());
    EXPECT_TRUE(fx.window().StatusBar()->RecordingText().isEmpty());
    const QByteArray rows = ReadAll(path);
    EXPECT_TRUE(rows.contains(",01,ai0,1.5,mV,good\n")) << rows.toStdString();
    QTest::qWait(1200); // no poll, no row
    EXPECT_EQ(ReadAll(path), rows);
}

} // namespace
} // namespace tavo
