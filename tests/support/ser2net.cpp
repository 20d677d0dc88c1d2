#include "ser2net.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tavo::test {
namespace {

} // namespace

std::string Ser2net::Program() {
    // sbin is often not on a user's PATH.
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    path += ":/usr/sbin:/usr/local/sbin:/sbin";
    std::stringstream dirs(path);
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/ser2net";
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

Ser2net::Ser2net(std::string device, Mode mode) : device_(std::move(device)), mode_(mode) {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavo-ser2net-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
}

Ser2net::~Ser2net() {
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::string Ser2net::Url() const {
    return std::string(mode_ == Mode::Raw ? "tcp" : "rfc2217") + "://127.0.0.1:" +
           std::to_string(port_.number());
}

// The kernel's socket table shows the listening socket without connecting to it (a
// connection would make ser2net open the device).
bool Ser2net::Listening() const {
    char local[32];
    std::snprintf(local, sizeof local, "0100007F:%04X", port_.number());
    std::ifstream table("/proc/net/tcp");
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string slot, address, remote, state;
        fields >> slot >> address >> remote >> state;
        if (address == local && state == "0A") return true;
    }
    return false;
}

bool Ser2net::Start(std::string& error) {
    const std::string program = Program();
    if (program.empty()) {
        error = "ser2net is not installed";
        return false;
    }
    const std::string config = dir_ + "/ser2net.yaml", log = dir_ + "/ser2net.log";
    {
        std::ofstream out(config);
        out << "connection: &tavo\n"
            << "  accepter: " << (mode_ == Mode::Raw ? "" : "telnet(rfc2217),") << "tcp,127.0.0.1,"
            << port_.number() << "\n"
            << "  connector: serialdev," << device_ << ",9600n81,local\n"
            << "  options:\n"
            << "    kickolduser: true\n"
            << "    mdns: false\n"
            // Bytes from the line go on at once, not after two characters' silence.
            << "    chardelay: false\n";
    }
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO);
    // -n: stay in the foreground; -u: no UUCP lock files in the system's lock folder.
    const char* argv[] = {program.c_str(), "-n", "-u", "-c", config.c_str(), nullptr};
    const int rc = posix_spawn(&pid_, program.c_str(), &files, nullptr,
                               const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&files);
    if (rc != 0) {
        pid_ = -1;
        error = "cannot start ser2net: " + std::string(std::strerror(rc));
        return false;
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!Listening()) {
        int status = 0;
        const bool ended = ::waitpid(pid_, &status, WNOHANG) == pid_;
        if (ended || std::chrono::steady_clock::now() > until) {
            if (ended) pid_ = -1;
            Stop();
            std::ifstream in(log);
            std::stringstream text;
            text << in.rdbuf();
            error = std::string("ser2net ") + (ended ? "ended" : "did not listen within 30 s") +
                    " on port " + std::to_string(port_.number()) + ": " + text.str();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void Ser2net::Stop() {
    if (pid_ < 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

} // namespace tavo::test
