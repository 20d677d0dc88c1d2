// `tavo gateway` as a service runs it, for the tests of its front ends: a simulated
// bus behind a pseudo-terminal the test can pull out, and the program with its log
// lines collected as they come.
#pragma once

#include "support/gateway_program.h"
#include "support/process.h"
#include "support/temp_dir.h"

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
#include <set>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <utility>
#include <vector>

namespace tavo::test {

using Strings = std::vector<std::string>;
using namespace std::chrono_literals;

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

// The requests of the gateway's poll of `address`: what it hears in `count` lines
// while nobody writes.
inline std::set<std::string> Polls(LinkedBus& sim, unsigned address, std::size_t count = 6) {
    sim.Received(address);
    const Strings heard = Heard(sim, address, count);
    return {heard.begin(), heard.end()};
}

// The lines of `heard` that are not polls.
inline Strings Besides(const Strings& heard, const std::set<std::string>& polls) {
    Strings other;
    for (const auto& line : heard)
        if (!polls.count(line)) other.push_back(line);
    return other;
}

} // namespace tavo::test
