// `tavo gateway` as a service runs it, for the tests of its front ends: a simulated
// bus behind a pseudo-terminal the test can pull out, and the program with its log
// lines collected as they come.
#pragma once

#include "support/process.h"

#include "sim/bus.h"
#include "sim/bus_file.h"
#include "sim/pty_server.h"
#include "sim/tcp_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <utility>
#include <vector>

namespace tavo::test {

using Strings = std::vector<std::string>;
using namespace std::chrono_literals;

inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path);
    out << text;
    ASSERT_TRUE(out.good()) << path;
}

// A simulated bus behind a pseudo-terminal reached through a link of the test's own,
// so the "adapter" can be pulled out and plugged in again under the same name.
class LinkedBus {
public:
    LinkedBus(const std::string& text, std::string link) : link_(std::move(link)) {
        std::string error;
        if (!sim::LoadBusText(text, bus_, error)) throw std::runtime_error(error);
        Plug();
    }
    ~LinkedBus() {
        tcp_.reset();
        Unplug();
    }
    const std::string& link() const { return link_; }
    void Plug() {
        pty_ = std::make_unique<sim::PtyServer>(bus_);
        std::string error;
        if (!pty_->Start(error, link_)) throw std::runtime_error(error);
    }
    void Unplug() {
        if (pty_) pty_->Stop();
        pty_.reset();
    }
    std::string ServeTcp(std::uint16_t port) {
        tcp_ = std::make_unique<sim::TcpServer>(bus_);
        std::string error;
        if (!tcp_->Start(error, port)) throw std::runtime_error(error);
        return "tcp://127.0.0.1:" + std::to_string(port);
    }
    // Every byte the host sent, and the bytes the requests that the modules at the
    // given addresses took account for (an ASCII line and its CR, a Modbus frame and
    // its CRC; `modbus` says which the module speaks). Equal when nothing else
    // reached the line.
    std::pair<std::size_t, std::size_t> Accounting(const std::vector<std::pair<unsigned, bool>>& modules) {
        std::lock_guard lock(bus_.mutex());
        std::size_t requests = 0;
        for (const auto& [address, modbus] : modules)
            for (const auto& entry : bus_.Find(address)->received)
                requests += modbus ? entry.size() / 2 + 2 : entry.size() + 1;
        return {bus_.BytesHeard(), requests};
    }
    // What the module at `address` heard since the last call (ASCII lines without
    // checksum, Modbus frames in hexadecimal).
    Strings Received(unsigned address) {
        std::lock_guard lock(bus_.mutex());
        sim::SimModule* m = bus_.Find(address);
        Strings out(m->received.begin(), m->received.end());
        m->received.clear();
        return out;
    }

private:
    sim::Bus bus_;
    std::string link_;
    std::unique_ptr<sim::PtyServer> pty_;
    std::unique_ptr<sim::TcpServer> tcp_;
};

// `tavo gateway CONFIG` with its log lines collected as they come.
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
    void Signal(int signal) { ::kill(child_.pid(), signal); }
    // Ends it with `signal` and returns its exit status (-1: a signal ended it).
    int Stop(int signal = SIGTERM) {
        running_ = false;
        const int status = child_.Stop(signal);
        reader_.join();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Waits for a log line holding `part`, the `nth` such line (from 0).
    bool WaitForLine(const std::string& part, std::size_t nth = 0, std::chrono::seconds limit = 30s) {
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
    Strings lines_;
    bool running_ = true;
};

// What `address` hears from now on, once it has heard at least `count` lines.
inline Strings Heard(LinkedBus& sim, unsigned address, std::size_t count) {
    Strings all;
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (all.size() < count && std::chrono::steady_clock::now() < deadline) {
        for (auto& line : sim.Received(address)) all.push_back(line);
        if (all.size() < count) std::this_thread::sleep_for(10ms);
    }
    return all;
}

} // namespace tavo::test
