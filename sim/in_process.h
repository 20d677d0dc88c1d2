// A serial back end wired straight to a simulated bus, for tests that need no
// pseudo-terminal. Replies arrive at the times the bus schedules them.
#pragma once

#include "bus.h"
#include "transport/serial_backend.h"

#include <deque>

namespace tavo::sim {

class InProcessPort final : public tavo::SerialBackend {
public:
    explicit InProcessPort(Bus& bus) : bus_(bus) {}

    bool Open(const std::string& name, tavo::PortError& error) override;
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    tavo::LineSettings CurrentSettings() const override { return settings_; }
    bool Apply(const tavo::LineSettings& settings, tavo::PortError& error) override;
    tavo::IoResult Write(const std::uint8_t* data, std::size_t n, tavo::Deadline deadline) override;
    tavo::IoResult Read(std::uint8_t* data, std::size_t n, tavo::Deadline deadline) override;
    bool DiscardInput() override;

private:
    struct Pending {
        TimePoint at;
        std::uint8_t byte;
    };
    Bus& bus_;
    bool open_ = false;
    tavo::LineSettings settings_;
    std::deque<Pending> incoming_;
};

} // namespace tavo::sim
