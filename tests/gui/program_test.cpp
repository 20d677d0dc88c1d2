// tavo-utility and tavo run as programs: the options that must answer anywhere,
// and the demo's link when the program is stopped by a signal.
#include <QDir>
#include <QString>
#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

struct Run {
    int status;
    std::string out; // standard output and standard error together
};

Run Program(const std::string& command) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    std::string out;
    std::array<char, 512> buf{};
    while (std::size_t n = fread(buf.data(), 1, buf.size(), pipe)) out.append(buf.data(), n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

TEST(Programs, HelpAndVersionAnswerWithoutADisplay) {
    const std::string noDisplay = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ";
    auto r = Program(noDisplay + TAVO_UTILITY + " --help");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("tavo-utility [options]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("--demo"), std::string::npos) << r.out;
    r = Program(noDisplay + TAVO_UTILITY + " --version");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "tavo-utility 4.00.06\n");
    r = Program(noDisplay + TAVO_CLI + " --version");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "tavo 4.00.06\n");
}

TEST(Programs, UtilityRefusesAMalformedNetworkPortAtOnce) {
    const std::string noDisplay = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ";
    auto r = Program(noDisplay + TAVO_UTILITY + " --port tcp://127.0.0.1:99999");
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_EQ(r.out, "tavo-utility: --port tcp://127.0.0.1:99999: The port number \"99999\" of "
                     "tcp://127.0.0.1:99999 is not a number from 1 to 65535.\n");
    r = Program(std::string("QT_QPA_PLATFORM=offscreen ") + TAVO_UTILITY +
                " --port rfc2217://127.0.0.1:4000 --quit-after-start");
    EXPECT_EQ(r.status, 0) << r.out;
}

TEST(Programs, StoppedDemoLeavesNoLinkBehind) {
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        char program[] = TAVO_UTILITY;
        char demo[] = "--demo";
        char* argv[] = {program, demo, nullptr};
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, program, nullptr, nullptr, argv, environ), 0);
        const std::string link =
            QDir::temp().filePath(QString("tavo-demo-%1").arg(pid)).toStdString();
        // The link is there once the simulated bus is up.
        for (int i = 0; i < 2000 && !Exists(link); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_TRUE(Exists(link)) << link;
        kill(pid, signal);
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_FALSE(Exists(link)) << link << " was left behind";
        if (Exists(link)) unlink(link.c_str());
    }
}

} // namespace
