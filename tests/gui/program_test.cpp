// tavo-utility and tavo run as programs: the options that must answer anywhere,
// and the demo's link when the program is stopped by a signal.
#include "support/process.h"

#include <QDir>
#include <QString>
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using tavo::test::RunProgram;

// The environment of a user without a display.
const tavo::test::EnvChanges kNoDisplay = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};

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

} // namespace
