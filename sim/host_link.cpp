#include "host_link.h"

#include <algorithm>
#include <cerrno>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tavo::sim {

int HostLink::WaitMs(int idleMs) {
    std::lock_guard lock(bus_.mutex());
    if (!pending_ || !bus_.HasPending()) return idleMs;
    // Modbus RTU ends a frame by silence: 3.5 characters, at least 2 ms here.
    const auto gap =
        std::max<std::chrono::microseconds>(bus_.CharTime() * 4, std::chrono::milliseconds(2));
    return static_cast<int>((gap.count() + 999) / 1000);
}

void HostLink::Received(int fd, const std::uint8_t* data, std::size_t n, const Line* line) {
    out_.clear();
    {
        std::lock_guard lock(bus_.mutex());
        if (line) bus_.SetLine(*line);
        bus_.Receive(data, n, SimClock::now(), out_);
        pending_ = bus_.HasPending();
    }
    for (const auto& tx : out_) Send(fd, tx);
}

void HostLink::Quiet(int fd) {
    if (!pending_) return; // another host's frame is that host's to finish
    pending_ = false;
    out_.clear();
    {
        std::lock_guard lock(bus_.mutex());
        bus_.Idle(SimClock::now(), out_);
    }
    for (const auto& tx : out_) Send(fd, tx);
}

// False when the bytes cannot go out: nobody reading, so they are lost, as on a wire.
bool HostLink::Put(int fd, const std::uint8_t* data, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t w = socket_ ? ::send(fd, data + done, n - done, MSG_NOSIGNAL)
                                  : ::write(fd, data + done, n - done);
        if (w > 0) done += static_cast<std::size_t>(w);
        else if (w < 0 && errno == EINTR) continue;
        else return false;
    }
    return true;
}

void HostLink::Send(int fd, const Transmission& tx) {
    auto at = SimClock::now() + tx.delay;
    if (tx.perByte.count() == 0) {
        std::this_thread::sleep_until(at);
        Put(fd, tx.bytes.data(), tx.bytes.size());
        return;
    }
    for (const std::uint8_t b : tx.bytes) {
        at += tx.perByte; // a byte is there once its stop bit is through
        std::this_thread::sleep_until(at);
        if (!Put(fd, &b, 1)) break;
    }
}

} // namespace tavo::sim
