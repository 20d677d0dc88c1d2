#include "process.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tavo::test {
namespace {

std::vector<std::string> ChangedEnvironment(const EnvChanges& changes) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    for (const std::string& change : changes) {
        const std::string name = change.substr(0, change.find('='));
        std::erase_if(env, [&](const std::string& e) { return e.rfind(name + "=", 0) == 0; });
        if (change.find('=') != std::string::npos) env.push_back(change);
    }
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

} // namespace

Child::Child(const std::vector<std::string>& argv, const EnvChanges& env, Streams streams) {
    if (argv.empty()) throw std::invalid_argument("no program to run");
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe: " + std::string(std::strerror(errno)));
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (streams == Streams::Both) {
        posix_spawn_file_actions_adddup2(&files, pipe[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&files, pipe[1], STDERR_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&files, pipe[1], STDERR_FILENO);
    }
    std::vector<std::string> args = argv, envStrings = ChangedEnvironment(env);
    const auto argp = Pointers(args), envp = Pointers(envStrings);
    const int rc = posix_spawnp(&pid_, args[0].c_str(), &files, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&files);
    ::close(pipe[1]);
    if (rc != 0) {
        ::close(pipe[0]);
        pid_ = -1;
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
    }
    out_ = pipe[0];
}

Child::~Child() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        Reap();
    }
    if (out_ >= 0) ::close(out_);
}

bool Child::ReadLine(std::string& line) {
    for (;;) {
        const auto end = buffer_.find('\n');
        if (end != std::string::npos) {
            line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            return true;
        }
        char buf[512];
        const ssize_t n = out_ < 0 ? 0 : ::read(out_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        buffer_.append(buf, static_cast<std::size_t>(n));
    }
}

Run Child::Wait() {
    std::string out = std::move(buffer_);
    buffer_.clear();
    char buf[4096];
    for (;;) {
        const ssize_t n = out_ < 0 ? 0 : ::read(out_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    const int status = Reap();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

int Child::Stop(int signal) {
    if (pid_ > 0) ::kill(pid_, signal);
    return Reap();
}

int Child::Reap() {
    int status = 0;
    if (pid_ <= 0) return status;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status;
}

Run RunProgram(const std::vector<std::string>& argv, const EnvChanges& env, Streams streams) {
    return Child(argv, env, streams).Wait();
}

} // namespace tavo::test
