#include "pty_server.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace tavo::sim {
namespace {

std::uint32_t BaudOf(speed_t s) {
    switch (s) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
    }
}

} // namespace

PtyServer::~PtyServer() { Stop(); }

bool PtyServer::Start(std::string& error, const std::string& linkPath) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        error = std::string("ptsname: ") + std::strerror(errno);
        return false;
    }
    ptsPath_ = name;
    slaveHold_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveHold_ < 0) {
        error = std::string("cannot open ") + name + ": " + std::strerror(errno);
        return false;
    }
    // Raw from the start, at 9600 baud, like a freshly plugged-in adapter.
    termios tio{};
    tcgetattr(slaveHold_, &tio);
    cfmakeraw(&tio);
    cfsetspeed(&tio, B9600);
    tcsetattr(slaveHold_, TCSANOW, &tio);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    devicePath_ = ptsPath_;
    if (!linkPath.empty()) {
        struct stat st {};
        if (lstat(linkPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(linkPath.c_str());
        if (::symlink(ptsPath_.c_str(), linkPath.c_str()) != 0) {
            error = "cannot create link " + linkPath + ": " + std::strerror(errno);
            return false;
        }
        linkPath_ = linkPath;
        devicePath_ = linkPath;
    }
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void PtyServer::Stop() {
    if (thread_.joinable()) {
        stop_ = true;
        const char c = 'x';
        (void)!::write(wake_[1], &c, 1);
        thread_.join();
    }
    for (int* fd : {&master_, &slaveHold_, &wake_[0], &wake_[1]})
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    if (!linkPath_.empty()) {
        ::unlink(linkPath_.c_str());
        linkPath_.clear();
    }
}

// The pty master reports the slave's termios, so the simulator sees the speed the
// client set (parity is dropped by the pty driver).
void PtyServer::UpdateLine() {
    termios tio{};
    if (tcgetattr(master_, &tio) != 0) return;
    Line line;
    line.baud = BaudOf(cfgetospeed(&tio));
    line.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    line.parityKnown = false;
    bus_.SetLine(line);
}

// Writes all `n` bytes, or gives up when nobody reads: the bytes are then lost, as
// on a wire.
void PtyServer::Write(const std::uint8_t* bytes, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t w = ::write(master_, bytes + done, n - done);
        if (w > 0) done += static_cast<std::size_t>(w);
        else if (w < 0 && errno == EINTR) continue;
        else break;
    }
}

// A paced reply: a byte is there once its stop bit is through, never earlier. The
// thread wakes once for every run of bytes that fills about a millisecond of line
// (as a USB adapter hands over what it has gathered) and at the stop bit of the
// last byte, which is the one a reader waits for; whatever is due by then goes
// out in one write. A wake-up per byte would cost the reader a wake-up per byte
// too, and on a busy machine each of those can come late.
void PtyServer::Send(const Transmission& tx, TimePoint arrived) {
    const TimePoint start = arrived + tx.delay;
    if (tx.perByte.count() == 0) {
        std::this_thread::sleep_until(start);
        Write(tx.bytes.data(), tx.bytes.size());
        return;
    }
    const std::size_t n = tx.bytes.size();
    const auto run = static_cast<std::size_t>(
        std::max<long long>(1, std::chrono::nanoseconds(std::chrono::milliseconds(1)) / tx.perByte));
    std::size_t sent = 0;
    while (sent < n) {
        const std::size_t last = std::min(n, sent + run); // one past the run's last byte
        std::this_thread::sleep_until(start + tx.perByte * static_cast<long long>(last));
        // A late wake-up sends what has become due meanwhile, not just the run.
        const auto due = std::max<long long>(0, (SimClock::now() - start) / tx.perByte);
        const std::size_t upTo = std::clamp<std::size_t>(static_cast<std::size_t>(due), last, n);
        Write(tx.bytes.data() + sent, upTo - sent);
        sent = upTo;
    }
}

namespace {

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

} // namespace

void PtyServer::Run() {
    AskForPromptWakeUps();
    std::uint8_t buf[4096];
    std::vector<Transmission> out;
    while (!stop_) {
        pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        int wait;
        {
            std::lock_guard lock(bus_.mutex());
            // Modbus RTU ends a frame by silence: 3.5 characters, at least 2 ms here.
            const auto gap = std::max<std::chrono::microseconds>(
                std::chrono::duration_cast<std::chrono::microseconds>(bus_.CharTime() * 4),
                std::chrono::milliseconds(2));
            wait = bus_.HasPending() ? static_cast<int>((gap.count() + 999) / 1000) : 200;
        }
        const int rc = ::poll(fds, 2, wait);
        const TimePoint arrived = SimClock::now();
        if (stop_) break;
        if (rc < 0) {
            if (errno == EINTR) continue;
            break;
        }
        out.clear();
        {
            std::lock_guard lock(bus_.mutex());
            if (rc > 0 && (fds[0].revents & POLLIN)) {
                const ssize_t n = ::read(master_, buf, sizeof buf);
                if (n > 0) {
                    UpdateLine();
                    bus_.Receive(buf, static_cast<std::size_t>(n), SimClock::now(), out);
                }
            } else if (rc == 0) {
                bus_.Idle(SimClock::now(), out);
            }
        }
        if (rc > 0 && !(fds[0].revents & POLLIN) && (fds[0].revents & (POLLHUP | POLLERR)))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        for (const auto& tx : out) Send(tx, arrived);
    }
}

} // namespace tavo::sim
