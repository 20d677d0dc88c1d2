// Serves a simulated bus on a loopback TCP port as well: the raw bytes of the line,
// as an Ethernet serial device server in raw mode passes them. One client at a time;
// a new connection replaces the old one, as a device server drops a client that went
// away without saying so.
#pragma once

#include "bus.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace tavo::sim {

class TcpServer {
public:
    explicit TcpServer(Bus& bus) : bus_(bus) {}
    ~TcpServer();
    TcpServer(const TcpServer&) = delete;
    TcpServer& operator=(const TcpServer&) = delete;

    // Listens on 127.0.0.1:`port` (0: a free port, see Port()) and starts serving.
    // False with a reason in `error` on failure.
    bool Start(std::string& error, std::uint16_t port = 0);
    void Stop();

    std::uint16_t Port() const { return port_; }

private:
    void Run();
    void Drop();

    Bus& bus_;
    int listen_ = -1;
    int client_ = -1;
    int wake_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

} // namespace tavo::sim
