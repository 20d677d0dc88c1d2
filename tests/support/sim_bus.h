// A simulated bus served on its own pseudo-terminal for one test.
#pragma once

#include "sim/bus.h"
#include "sim/bus_file.h"
#include "sim/pty_server.h"
#include "sim/tcp_server.h"
#include "support/reserved_port.h"
#include "transport/com_port.h"

#include <memory>
#include <string>

namespace tavo::test {

// One command line (the CR is added) with the usual 64-character reply limit: whether
// the transaction succeeded and the reply as received.
struct Exchange {
    bool ok;
    std::string reply;
};
Exchange Send(TavoComPort& port, const std::string& command);

class SimBus {
public:
    // Loads the bus file text; fails the test (throws) when it does not parse.
    explicit SimBus(const std::string& busText);
    ~SimBus();
    const std::string& path() const { return server_->DevicePath(); }
    sim::Bus& bus() { return bus_; }
    // A module by its configured address; access under bus().mutex() while a
    // client may be talking.
    sim::SimModule& module(unsigned address);

    // Serves the bus on a loopback TCP port as well, raw as a device server passes
    // the line; returns "tcp://127.0.0.1:PORT". The port is reserved for this bus
    // at the first call, so after StopTcp() (which drops the connection and the
    // listener) a later call serves the same one again. Throws when it cannot listen.
    std::string ServeTcp();
    void StopTcp() { tcp_.reset(); }

    // A port opened on the bus at `baud`, 8N1, with the given time-out.
    std::unique_ptr<TavoComPort> Open(int timeoutMs = 80, std::uint32_t baud = 9600);

private:
    sim::Bus bus_;
    std::unique_ptr<sim::PtyServer> server_;
    std::unique_ptr<ReservedPort> tcpPort_;
    std::unique_ptr<sim::TcpServer> tcp_;
};

} // namespace tavo::test
