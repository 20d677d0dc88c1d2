// `tavo gateway CONFIG` as a child process, with its log lines collected as they
// come: for the gateway's tests and benchmarks.
#pragma once

#include "support/process.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace tavo::test {

class Gateway {
public:
    explicit Gateway(const std::string& config)
        : child_({TAVO_CLI, "gateway", config}, {}, Streams::ErrorOnly) {
        reader_ = std::thread([this] {
            std::string line;
            while (child_.ReadLine(line)) {
                std::lock_guard lock(mutex_);
                lines_.push_back(line);
                said_.notify_all();
            }
        });
    }
    ~Gateway() {
        if (running_) Stop(SIGKILL);
    }
    pid_t pid() const { return child_.pid(); }
    void Signal(int signal) { ::kill(child_.pid(), signal); }
    // Ends it with `signal` and returns its exit status (-1: a signal ended it).
    int Stop(int signal = SIGTERM) {
        running_ = false;
        const int status = child_.Stop(signal);
        reader_.join();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Waits for a log line holding `part`, the `nth` such line (from 0).
    bool WaitForLine(const std::string& part, std::size_t nth = 0,
                     std::chrono::seconds limit = std::chrono::seconds(30)) {
        std::unique_lock lock(mutex_);
        return said_.wait_for(lock, limit, [&] { return Count(part) > nth; });
    }
    std::size_t Lines(const std::string& part) {
        std::lock_guard lock(mutex_);
        return Count(part);
    }
    std::string Log() {
        std::lock_guard lock(mutex_);
        std::string all;
        for (const auto& l : lines_) all += l + "\n";
        return all;
    }

private:
    std::size_t Count(const std::string& part) const {
        return static_cast<std::size_t>(std::count_if(lines_.begin(), lines_.end(), [&](const std::string& l) {
            return l.find(part) != std::string::npos;
        }));
    }
    Child child_;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable said_;
    std::vector<std::string> lines_;
    bool running_ = true;
};

} // namespace tavo::test
