// One host's end of a simulated bus (a pseudo-terminal master, a TCP client): what
// the host writes goes onto the bus, and the answers to it go back to that host
// alone, so two hosts sharing one bus each get their own replies.
#pragma once

#include "bus.h"

#include <vector>

namespace tavo::sim {

// Asks the calling thread's scheduler for prompt wake-ups, as a module that answers
// on time whatever else the machine does.
void AskForPromptWakeUps();

class HostLink {
public:
    // `socket`: the descriptor is a socket, written without raising SIGPIPE.
    HostLink(Bus& bus, bool socket) : bus_(bus), socket_(socket) {}

    // How long to wait for the host's next bytes: the RTU end-of-frame silence while
    // a frame of this host is pending, else `idleMs`.
    int WaitMs(int idleMs);
    // Bytes read from the host at `fd`; `line` (if any) is the host's line setting
    // at that moment; `arrived` when the bytes reached this host. The replies are
    // written to `fd`.
    void Received(int fd, const std::uint8_t* data, std::size_t n, const Line* line,
                  TimePoint arrived = SimClock::now());
    // The host has been quiet for WaitMs(): a pending frame of its own is complete.
    void Quiet(int fd);
    // A new host on this end: nothing of the old one is pending any more.
    void Reset() { pending_ = false; }

private:
    void Send(int fd, const Transmission& tx, TimePoint arrived);
    bool Put(int fd, const std::uint8_t* data, std::size_t n);

    Bus& bus_;
    bool socket_;
    bool pending_ = false;
    std::vector<Transmission> out_;
};

} // namespace tavo::sim
