// Serves a simulated bus on a pseudo-terminal, so that the program (or any serial
// tool) talks to it as to a real port.
#pragma once

#include "bus.h"

#include <atomic>
#include <string>
#include <thread>

namespace tavo::sim {

class PtyServer {
public:
    explicit PtyServer(Bus& bus) : bus_(bus) {}
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Creates the pseudo-terminal (and a symbolic link to it at `linkPath` unless
    // empty) and starts serving. False with a reason in `error` on failure.
    bool Start(std::string& error, const std::string& linkPath = {});
    void Stop();

    // The path clients open: the link when one was asked for, else /dev/pts/N.
    const std::string& DevicePath() const { return devicePath_; }
    const std::string& PtsPath() const { return ptsPath_; }

private:
    void Run();
    void UpdateLine();
    void Send(const Transmission& tx, TimePoint arrived);
    void Write(const std::uint8_t* bytes, std::size_t n);

    Bus& bus_;
    int master_ = -1;
    int slaveHold_ = -1; // keeps the slave side alive between clients
    int wake_[2] = {-1, -1};
    std::string ptsPath_;
    std::string devicePath_;
    std::string linkPath_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

} // namespace tavo::sim
