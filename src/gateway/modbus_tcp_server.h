// The gateway's Modbus TCP server: a listening socket and its clients, served from
// the owner's poll() loop on the owner's thread (the service's), so reads are
// answered from the units' cached polls without a lock and without waiting for any
// bus. Its own framing on non-blocking sockets rather than libmodbus's
// modbus_receive, which reads one client's frame to its end: here a client that
// sends half a frame holds up nobody, and is closed when the rest has not come
// within kFrameTimeout.
//
// A write goes to its bus worker's queue (Submit) with the server's queue for the
// answer; the client waits for it (its further requests stay unread meanwhile), the
// others are served on.
#pragma once

#include "bus_events.h"
#include "log.h"
#include "modbus_tcp_units.h"

#include "transport/serial_backend.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <poll.h>
#include <string>
#include <vector>

namespace tavo::gateway {

class ModbusTcpServer {
public:
    // A request begun must be whole within this; else the client is closed.
    static constexpr std::chrono::seconds kFrameTimeout{3};
    // A write the bus has not answered by then answers 0B.
    static constexpr std::chrono::seconds kWriteTimeout{30};
    static constexpr std::size_t kMaxClients = 64;

    using Targets = std::function<WriteTarget*(const std::string& bus)>;
    // `units` outlives the server; `replies` is the queue whose WriteDone the owner
    // passes to Done.
    ModbusTcpServer(const ModbusTcpUnits& units, Targets targets, std::shared_ptr<EventQueue> replies,
                    LogSink log);
    ~ModbusTcpServer();
    ModbusTcpServer(const ModbusTcpServer&) = delete;
    ModbusTcpServer& operator=(const ModbusTcpServer&) = delete;

    // Binds and listens. False with one line in `error`.
    bool Listen(const ModbusTcpConfig& config, std::string& error);
    // The port listened on (the one the system picked for port 0).
    int Port() const { return port_; }
    const ModbusTcpConfig& Config() const { return config_; }

    // Appends the descriptors to wait for; `Service` takes the same entries back
    // from `first` on after poll().
    void AddPollFds(std::vector<pollfd>& fds) const;
    void Service(const std::vector<pollfd>& fds, std::size_t first, Clock::time_point now);
    // When the next client time-out falls due (time_point::max() for none).
    Clock::time_point NextDeadline() const;
    // A bus worker's answer to one of the server's writes.
    void Done(const WriteDone& done, Clock::time_point now);
    // Stops accepting and closes every client.
    void Close();

private:
    struct Client {
        int fd = -1;
        std::string peer;
        Bytes in, out;
        Clock::time_point partialSince{}; // when the unfinished request's first byte came
        // The request waiting for writes.
        bool waiting = false;
        ModbusOutcome pending;
        std::size_t outstanding = 0;
        std::uint8_t failure = 0;
        Clock::time_point writeDeadline{};
    };
    void Accept(Clock::time_point now);
    bool ReadFrom(Client& c, Clock::time_point now); // false: close it
    bool Flush(Client& c);                            // false: close it
    bool Process(std::uint64_t id, Client& c, Clock::time_point now);
    void Finish(std::uint64_t id, Client& c);
    void Drop(std::uint64_t id, const std::string& why);

    const ModbusTcpUnits& units_;
    Targets targets_;
    std::shared_ptr<EventQueue> replies_;
    LogSink log_;
    ModbusTcpConfig config_;
    int listen_ = -1;
    int port_ = 0;
    std::map<std::uint64_t, Client> clients_;
    std::uint64_t nextClient_ = 1;
    std::map<std::uint64_t, std::uint64_t> tags_; // write tag -> client
    std::uint64_t nextTag_ = 1;
    bool fullSaid_ = false;
};

} // namespace tavo::gateway
