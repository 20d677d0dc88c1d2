#include "host_link.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace tavo::sim {

int HostLink::WaitMs(int idleMs) {
    std::lock_guard lock(bus_.mutex());
    if (!pending_ || !bus_.HasPending()) return idleMs;
    // Modbus RTU ends a frame by silence: 3.5 characters, at least 2 ms here.
    const auto gap = std::max<std::chrono::microseconds>(
        std::chrono::duration_cast<std::chrono::microseconds>(bus_.CharTime() * 4),
        std::chrono::milliseconds(2));
    return static_cast<int>((gap.count() + 999) / 1000);
}

void HostLink::Received(int fd, const std::uint8_t* data, std::size_t n, const Line* line,
                        TimePoint arrived) {
    out_.clear();
    {
        std::lock_guard lock(bus_.mutex());
        if (line) bus_.SetLine(*line);
        bus_.Receive(data, n, arrived, out_);
        pending_ = bus_.HasPending();
    }
    for (const auto& tx : out_) Send(fd, tx, arrived);
}

void HostLink::Quiet(int fd) {
    if (!pending_) return; // another host's frame is that host's to finish
    pending_ = false;
    const TimePoint now = SimClock::now();
    out_.clear();
    {
        std::lock_guard lock(bus_.mutex());
        bus_.Idle(now, out_);
    }
    for (const auto& tx : out_) Send(fd, tx, now);
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

// A paced reply: a byte is there once its stop bit is through, never earlier. The
// thread wakes once for every run of bytes that fills about a millisecond of line
// (as a USB adapter hands over what it has gathered) and at the stop bit of the
// last byte, which is the one a reader waits for; whatever is due by then goes
// out in one write. A wake-up per byte would cost the reader a wake-up per byte
// too, and on a busy machine each of those can come late.
namespace {

// Sleeps until shortly before `at` and spins the rest: a timed wake-up on a busy or
// virtual machine comes tens of microseconds late, and a paced reply that ends late
// would make the client look slower than it is.
void WakeAt(TimePoint at) {
    constexpr auto kSpin = std::chrono::microseconds(150);
    if (SimClock::now() + kSpin < at) std::this_thread::sleep_until(at - kSpin);
    while (SimClock::now() < at) {
    }
}

} // namespace

void HostLink::Send(int fd, const Transmission& tx, TimePoint arrived) {
    const TimePoint start = arrived + tx.delay;
    if (tx.perByte.count() == 0) {
        std::this_thread::sleep_until(start);
        Put(fd, tx.bytes.data(), tx.bytes.size());
        return;
    }
    const std::size_t n = tx.bytes.size();
    const auto run = static_cast<std::size_t>(
        std::max<long long>(1, std::chrono::nanoseconds(std::chrono::milliseconds(1)) / tx.perByte));
    std::size_t sent = 0;
    while (sent < n) {
        const std::size_t last = std::min(n, sent + run); // one past the run's last byte
        WakeAt(start + tx.perByte * static_cast<long long>(last));
        // A late wake-up sends what has become due meanwhile, not just the run.
        const auto due = std::max<long long>(0, (SimClock::now() - start) / tx.perByte);
        const std::size_t upTo = std::clamp<std::size_t>(static_cast<std::size_t>(due), last, n);
        if (!Put(fd, tx.bytes.data() + sent, upTo - sent)) break;
        sent = upTo;
    }
}

// A module answers on time however busy the machine is; the thread that plays it
// asks for no timer slack (50 us by default: every paced run would end that much
// late) and for the shortest time slice, so that its wake-ups preempt the long
// slices of a compiler or the like (kernels without custom slices ignore it).
void AskForPromptWakeUps() {
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    struct {
        std::uint32_t size, policy;
        std::uint64_t flags;
        std::int32_t nice;
        std::uint32_t priority;
        std::uint64_t runtime, deadline, period;
        std::uint32_t utilMin, utilMax;
    } attr{};
    attr.size = sizeof attr;
    attr.policy = SCHED_OTHER;
    attr.nice = getpriority(PRIO_PROCESS, 0); // this thread's, kept (a raise would be refused)
    attr.runtime = 100'000;                   // ns: the kernel's shortest slice
    (void)syscall(SYS_sched_setattr, 0, &attr, 0U);
}

} // namespace tavo::sim
