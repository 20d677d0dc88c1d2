// tavo-utility and tavo run as programs: the options that must answer anywhere,
// the demo's link when the program is stopped by a signal, the window's layout on
// a real X server, and the screenshot mode's refusals.
#include "support/process.h"

#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using tavo::test::RunProgram;

// The environment of a user without a display.
const tavo::test::EnvChanges kNoDisplay = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};

// A program's path on PATH, or empty.
std::string OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t from = 0;
    while (from <= dirs.size()) {
        const std::size_t to = std::min(dirs.find(':', from), dirs.size());
        const std::string candidate = dirs.substr(from, to - from) + "/" + program;
        if (to > from && access(candidate.c_str(), X_OK) == 0) return candidate;
        from = to + 1;
    }
    return {};
}

// An X server of the test's own: Xvfb picks a free display number itself and tells
// it once it takes connections, so no number can collide and nothing waits for a
// fixed time.
class Xvfb {
public:
    Xvfb(const std::string& program, const std::string& log) {
        int fds[2];
        if (pipe(fds) != 0) {
            why_ = "pipe failed";
            return;
        }
        const std::string fd = std::to_string(fds[1]);
        const std::vector<std::string> argv = {program, "-displayfd", fd, "-screen", "0",
                                               "1600x1000x24", "-nolisten", "tcp"};
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        char c = 0;
        ssize_t n = 0;
        while ((n = read(fds[0], &c, 1)) > 0 || (n < 0 && errno == EINTR))
            if (n > 0 && c >= '0' && c <= '9') number_ += c;
            else if (n > 0) break;
        close(fds[0]);
        if (pid_ < 0 || number_.empty()) {
            std::ifstream in(log);
            why_ = "Xvfb did not start: " +
                   std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    ~Xvfb() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    bool Running() const { return why_.empty(); }
    const std::string& Why() const { return why_; }
    std::string Display() const { return ":" + number_; }

private:
    pid_t pid_ = -1;
    std::string number_;
    std::string why_;
};

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

TEST(Programs, HelpAndVersionAnswerWithoutADisplay) {
    auto r = RunProgram({TAVO_UTILITY, "--help"}, kNoDisplay);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("tavo-utility [options]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("--demo"), std::string::npos) << r.out;
    r = RunProgram({TAVO_UTILITY, "--version"}, kNoDisplay);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "tavo-utility 4.00.06\n");
    r = RunProgram({TAVO_CLI, "--version"}, kNoDisplay);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "tavo 4.00.06\n");
}

TEST(Programs, UtilityRefusesAMalformedNetworkPortAtOnce) {
    auto r = RunProgram({TAVO_UTILITY, "--port", "tcp://127.0.0.1:99999"}, kNoDisplay);
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_EQ(r.out, "tavo-utility: --port tcp://127.0.0.1:99999: The port number \"99999\" of "
                     "tcp://127.0.0.1:99999 is not a number from 1 to 65535.\n");
    r = RunProgram({TAVO_UTILITY, "--port", "rfc2217://127.0.0.1:4000", "--quit-after-start"},
                   {"QT_QPA_PLATFORM=offscreen"});
    EXPECT_EQ(r.status, 0) << r.out;
}

TEST(Programs, StoppedDemoLeavesNoLinkBehind) {
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        tavo::test::Child program({TAVO_UTILITY, "--demo"}, {"QT_QPA_PLATFORM=offscreen"});
        const pid_t pid = program.pid();
        const std::string link =
            QDir::temp().filePath(QString("tavo-demo-%1").arg(pid)).toStdString();
        // The link is there once the simulated bus is up.
        for (int i = 0; i < 2000 && !Exists(link); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_TRUE(Exists(link)) << link;
        const int status = program.Stop(signal);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_FALSE(Exists(link)) << link << " was left behind";
        if (Exists(link)) unlink(link.c_str());
    }
}

// What --report-layout printed: the window's width, then per report the widths of
// the tree and the panel area and the panel with the width of it that shows.
struct Layout {
    int window = 0;
    struct Report {
        int tree = 0, area = 0;
        std::string panel;
        int seen = 0;
    };
    std::vector<Report> reports;
};

Layout ParseLayout(const std::string& out) {
    Layout layout;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string what;
        words >> what;
        if (what == "window") {
            words >> layout.window;
        } else if (what == "splitter") {
            layout.reports.emplace_back();
            words >> layout.reports.back().tree >> layout.reports.back().area;
        } else if (what == "panel" && !layout.reports.empty()) {
            words >> layout.reports.back().panel >> layout.reports.back().seen;
        }
    }
    return layout;
}

// The panel area has its width from the first show on an X server as a user's
// desktop has one: the introduction shows, and so does the port's settings panel
// once the demo port is clicked.
TEST(Programs, PanelAreaHasItsWidthFromTheFirstShowOnAnXServer) {
    const std::string program = OnPath("Xvfb");
    if (program.empty()) GTEST_SKIP() << "Xvfb is not installed (scripts/setup.sh installs it)";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const Xvfb server(program, dir.filePath("xvfb.log").toStdString());
    ASSERT_TRUE(server.Running()) << server.Why();
    std::vector<std::string> env{"DISPLAY=" + server.Display(), "QT_QPA_PLATFORM=xcb",
                                 "WAYLAND_DISPLAY"};
    // The X keyboard library hands strndup a name without its NUL, which the address
    // sanitizer's strict string checks take for an overflow in a sanitizer build.
    if (const char* asan = std::getenv("ASAN_OPTIONS"))
        env.push_back(std::string("ASAN_OPTIONS=") + asan + ":strict_string_checks=0");
    const auto r = RunProgram({TAVO_UTILITY, "--demo", "--report-layout"}, env);
    ASSERT_EQ(r.status, 0) << r.out;
    const Layout layout = ParseLayout(r.out);
    EXPECT_EQ(layout.window, 800) << r.out;
    ASSERT_EQ(layout.reports.size(), 2u) << r.out;
    const char* const panels[] = {"TfrmIntro", "TfrmComSet"};
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(panels[i]);
        const Layout::Report& at = layout.reports[i];
        EXPECT_GE(at.tree, 137);
        // The tree never takes more than half; the panel area the rest.
        EXPECT_GE(at.area, at.tree);
        EXPECT_EQ(at.tree + 4 + at.area, layout.window);
        EXPECT_EQ(at.panel, panels[i]);
        EXPECT_GE(at.seen, at.area / 2);
    }
}

// A picture of some other panel would pass for the one asked for.
TEST(Programs, ScreenshotOfANodeThatIsNotInTheTreeIsRefused) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string file = dir.filePath("window.png").toStdString();
    const auto r = RunProgram({TAVO_UTILITY, "--demo", "--screenshot", file, "--select", "(7F)R999"},
                              {"QT_QPA_PLATFORM=offscreen"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("tavo-utility: no node \"(7F)R999\" below "), std::string::npos) << r.out;
    EXPECT_FALSE(Exists(file));
}

} // namespace
