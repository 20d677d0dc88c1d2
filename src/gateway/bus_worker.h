// One bus of the gateway: a thread that owns the bus's port and its poll schedule.
// It identifies the modules that have no model in the configuration, polls every
// module in turn (a cycle starts every poll_ms, or at once when the last one took
// longer), and does the writes it is asked for between two module polls, so a write
// waits for at most one module's read, never for the cycle. Nothing else touches
// the port: what was read goes out as events to every listener queue, and writes
// come in through Submit.
#pragma once

#include "bus_events.h"
#include "gateway_config.h"
#include "log.h"

#include "transport/com_port.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace tavo::gateway {

class BusWorker : public WriteTarget {
public:
    static constexpr std::size_t kMaxQueuedWrites = 64;

    BusWorker(BusConfig config, LogSink log);
    ~BusWorker() override;
    BusWorker(const BusWorker&) = delete;
    BusWorker& operator=(const BusWorker&) = delete;

    const BusConfig& Config() const { return config_; }

    // Before Start only: one more queue that hears every event.
    void AddListener(std::shared_ptr<EventQueue> queue);

    // Opens the port with the bus's line settings and time-out (on the caller's
    // thread, before Start). False with one line naming the port in `error`. A worker
    // started without a successful Open keeps trying to open its port, once a cycle.
    bool Open(std::string& error);
    void Start();
    // Ends the thread after the transaction under way; the port closes with the worker.
    void Stop();

    // Any thread. The answer reaches request.replyTo as a WriteDone.
    bool Submit(WriteRequest request, std::string& error) override;

private:
    struct Module;
    void Run();
    void Cycle();
    void Poll(Module& m, bool afterWrite);
    bool Identify(Module& m);
    void Adopt(Module& m, std::unique_ptr<ModulePoints> points);
    void ReadFirmware(Module& m);
    void Describe(Module& m);
    void SetOnline(Module& m, bool online);
    void PortLost(bool lost, const std::string& why);
    void DoWrites();
    void DoWrite(const WriteRequest& request);
    bool EnsureOpen();
    void Send(const BusEvent& event);
    bool WaitForWrites(Clock::time_point until);

    BusConfig config_;
    LogSink log_;
    std::unique_ptr<TavoComPort> port_;
    bool opened_ = false;
    bool openFailureSaid_ = false;
    std::vector<std::shared_ptr<EventQueue>> listeners_;
    std::vector<std::unique_ptr<Module>> modules_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<WriteRequest> writes_;
    bool stop_ = false;
    std::thread thread_;
};

} // namespace tavo::gateway
