#include "pty_server.h"

#include "host_link.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
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
bool PtyServer::ReadLine(Line& line) const {
    termios tio{};
    if (tcgetattr(master_, &tio) != 0) return false;
    line.baud = BaudOf(cfgetospeed(&tio));
    line.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    line.parityKnown = false;
    return true;
}

void PtyServer::Run() {
    std::uint8_t buf[4096];
    AskForPromptWakeUps();
    HostLink link(bus_, false);
    while (!stop_) {
        pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        const int rc = ::poll(fds, 2, link.WaitMs(200));
        if (stop_) break;
        if (rc < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (rc == 0) {
            link.Quiet(master_);
        } else if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(master_, buf, sizeof buf);
            Line line;
            if (n > 0) link.Received(master_, buf, static_cast<std::size_t>(n), ReadLine(line) ? &line : nullptr);
        } else if (fds[0].revents & (POLLHUP | POLLERR)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

} // namespace tavo::sim
