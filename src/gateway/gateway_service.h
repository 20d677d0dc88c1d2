// `tavo gateway`: one worker thread per bus, and the MQTT side and the Modbus TCP
// server on the calling thread, which waits in poll() for the broker's socket, the
// server's sockets, the workers' events (a queue for each front end) and the signals: SIGHUP reloads the configuration file (a bad one is refused and the
// running one stays), SIGTERM and SIGINT publish every module and the gateway
// offline, disconnect cleanly, close the Modbus TCP clients and end. A broker that cannot be reached is tried
// again after 1 s, then after twice as long each time, at most every 30 s; the buses
// are polled meanwhile and everything is published once it connects.
#pragma once

#include "bus_worker.h"
#include "gateway_config.h"
#include "log.h"
#include "modbus_tcp_server.h"
#include "modbus_tcp_units.h"
#include "mosquitto_client.h"
#include "mqtt_front_end.h"

#include <memory>
#include <string>
#include <vector>

namespace tavo::gateway {

class GatewayService {
public:
    static constexpr int kMaxBackoffS = 30;
    // A connection attempt that has not been answered by then is given up.
    static constexpr int kAttemptTimeoutS = 15;

    GatewayService(GatewayConfig config, LogSink log);
    ~GatewayService();
    GatewayService(const GatewayService&) = delete;
    GatewayService& operator=(const GatewayService&) = delete;

    // Opens every bus's port, sets up the MQTT client and listens for Modbus TCP
    // clients; nothing is published or polled yet. False with one line in `error` (a
    // port that cannot be opened, TLS files the library refuses, an address the
    // server cannot listen on).
    bool Open(std::string& error);

    // Blocks SIGHUP, SIGTERM and SIGINT in the calling thread, which must be the only
    // one so far (the workers inherit the mask); the loop takes them from a signalfd.
    static void BlockSignals();

    // Starts the workers and runs until SIGTERM or SIGINT; returns the exit status.
    int Run();

private:
    bool StartBuses(const GatewayConfig& config, std::vector<std::unique_ptr<BusWorker>>& workers,
                    std::string& error);
    WriteTarget* Worker(const std::string& bus);
    void Reload();
    void ConnectIfDue(Clock::time_point now);
    void Ended(const std::string& why, Clock::time_point now);
    void Flush(Clock::duration limit);
    void TakeEvents(Clock::time_point now);
    void TakeMqttEvents(Clock::time_point now);
    void TakeModbusEvents(Clock::time_point now);
    // A server for `next` when its address differs from the running one's (which
    // then goes); false with `error` when it cannot listen.
    bool ServerFor(const GatewayConfig& next, std::unique_ptr<ModbusTcpServer>& server, bool& replace,
                   std::string& error);
    // A clean end of the broker connection: the subscriptions first, then every
    // module and the gateway offline (or, for a reload to another broker, what
    // Reconfigure publishes under the old settings), then DISCONNECT.
    void Disconnect(const GatewayConfig* next = nullptr);
    int Shutdown();

    GatewayConfig config_;
    LogSink log_;
    std::shared_ptr<EventQueue> events_;       // the MQTT side's
    std::shared_ptr<EventQueue> modbusEvents_; // the Modbus TCP server's
    // What the server answers from; kept without a server too, so that one started
    // by a reload knows the modules described before.
    ModbusTcpUnits units_;
    std::unique_ptr<ModbusTcpServer> modbus_;
    std::vector<std::unique_ptr<BusWorker>> workers_;
    std::unique_ptr<MosquittoClient> client_;
    std::unique_ptr<MqttFrontEnd> front_;
    MosquittoClient::Events clientEvents_;

    bool attempting_ = false;
    Clock::time_point attemptDeadline_{};
    Clock::time_point nextAttempt_{};
    Clock::duration backoff_ = std::chrono::seconds(1);
    std::string lastFailure_;
    int signalFd_ = -1;
};

} // namespace tavo::gateway
