#include "in_process.h"

#include <thread>

namespace tavo::sim {

bool InProcessPort::Open(const std::string&, tavo::PortError& error) {
    open_ = true;
    error = {};
    return true;
}

bool InProcessPort::Apply(const tavo::LineSettings& settings, tavo::PortError& error) {
    settings_ = settings;
    error = {};
    return true;
}

tavo::IoResult InProcessPort::Write(const std::uint8_t* data, std::size_t n, tavo::Deadline) {
    tavo::IoResult r;
    if (!open_) {
        r.error = {tavo::PortError::Kind::NotOpen, 0, "port not open"};
        return r;
    }
    std::vector<Transmission> out;
    const TimePoint now = SimClock::now();
    {
        std::lock_guard lock(bus_.mutex());
        Line line;
        line.baud = settings_.baud;
        line.parity = settings_.parity;
        line.stopBits = settings_.stopBits == tavo::kTwoStopBits ? 2 : 1;
        line.parityKnown = true;
        bus_.SetLine(line);
        bus_.Receive(data, n, now, out);
        bus_.Idle(now, out); // the write is complete: silence follows it
    }
    for (const auto& tx : out) {
        TimePoint at = now + tx.delay;
        for (const std::uint8_t b : tx.bytes) {
            at += tx.perByte;
            incoming_.push_back({at, b});
        }
    }
    r.count = n;
    return r;
}

tavo::IoResult InProcessPort::Read(std::uint8_t* data, std::size_t n, tavo::Deadline deadline) {
    tavo::IoResult r;
    if (!open_) {
        r.error = {tavo::PortError::Kind::NotOpen, 0, "port not open"};
        return r;
    }
    if (n == 0) return r;
    if (incoming_.empty() || incoming_.front().at > deadline) {
        std::this_thread::sleep_until(deadline);
        r.error = {tavo::PortError::Kind::Timeout, 0, "no reply within the time-out"};
        return r;
    }
    std::this_thread::sleep_until(incoming_.front().at);
    const TimePoint now = SimClock::now();
    while (r.count < n && !incoming_.empty() && incoming_.front().at <= now) {
        data[r.count++] = incoming_.front().byte;
        incoming_.pop_front();
    }
    return r;
}

bool InProcessPort::DiscardInput() {
    const TimePoint now = SimClock::now();
    while (!incoming_.empty() && incoming_.front().at <= now) incoming_.pop_front();
    return open_;
}

} // namespace tavo::sim
