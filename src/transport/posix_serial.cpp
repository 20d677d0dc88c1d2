#include "posix_serial.h"

#include <linux/serial.h>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <fstream>

namespace tavo {
namespace {

struct BaudEntry {
    std::uint32_t baud;
    speed_t code;
};

constexpr std::array<BaudEntry, 12> kBauds{{{300, B300},
                                            {600, B600},
                                            {1200, B1200},
                                            {2400, B2400},
                                            {4800, B4800},
                                            {9600, B9600},
                                            {19200, B19200},
                                            {38400, B38400},
                                            {57600, B57600},
                                            {115200, B115200},
                                            {230400, B230400},
                                            {460800, B460800}}};

std::uint32_t BaudFromCode(speed_t code) {
    for (const auto& b : kBauds)
        if (b.code == code) return b.baud;
    return 0;
}

bool CodeFromBaud(std::uint32_t baud, speed_t& code) {
    for (const auto& b : kBauds)
        if (b.baud == baud) {
            code = b.code;
            return true;
        }
    return false;
}

// Milliseconds left before `deadline`, rounded up so a poll never returns early,
// clamped for poll(); 0 once it has passed.
int MillisecondsLeft(Deadline deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(left).count();
    const long long ms = (us + 999) / 1000;
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

PortError TimeoutError() {
    return {PortError::Kind::Timeout, 0, "no reply within the time-out"};
}

} // namespace

std::string DevicePathFor(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    return "/dev/" + name;
}

std::string FindPortHolder(const std::string& devicePath) {
    char real[PATH_MAX];
    if (!realpath(devicePath.c_str(), real)) return {};
    DIR* proc = opendir("/proc");
    if (!proc) return {};
    std::string found;
    const pid_t self = getpid();
    while (dirent* p = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(p->d_name, &end, 10);
        if (*end != '\0' || pid <= 0 || pid == self) continue;
        const std::string fdDir = std::string("/proc/") + p->d_name + "/fd";
        DIR* fds = opendir(fdDir.c_str());
        if (!fds) continue;
        while (dirent* f = readdir(fds)) {
            char target[PATH_MAX];
            const std::string link = fdDir + "/" + f->d_name;
            const ssize_t len = readlink(link.c_str(), target, sizeof target - 1);
            if (len <= 0) continue;
            target[len] = '\0';
            if (std::strcmp(target, real) == 0) {
                std::ifstream comm(std::string("/proc/") + p->d_name + "/comm");
                std::string name;
                std::getline(comm, name);
                found = (name.empty() ? std::string("a program") : name) + " (pid " +
                        std::to_string(pid) + ")";
                break;
            }
        }
        closedir(fds);
        if (!found.empty()) break;
    }
    closedir(proc);
    return found;
}

PosixSerialBackend::~PosixSerialBackend() { Close(); }

bool PosixSerialBackend::Open(const std::string& name, PortError& error) {
    Close();
    path_ = DevicePathFor(name);
    const int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        error.osErrno = err;
        if (err == EACCES || err == EPERM) {
            error.kind = PortError::Kind::Permission;
            error.text = "no permission to open " + path_ +
                         ": add your user to the 'dialout' group (sudo usermod -aG dialout "
                         "$USER) and log in again";
        } else if (err == EBUSY) {
            const std::string holder = FindPortHolder(path_);
            error.kind = PortError::Kind::Busy;
            error.text = path_ + " is in use by " + (holder.empty() ? "another program" : holder);
        } else if (err == ENOENT || err == ENODEV || err == ENXIO) {
            error.kind = PortError::Kind::NotFound;
            error.text = "no serial port " + path_ + " (is the adapter plugged in?)";
        } else {
            error.kind = PortError::Kind::Io;
            error.text = "cannot open " + path_ + ": " + std::strerror(err);
        }
        return false;
    }
    // A file or a device that is no terminal (/etc/passwd, /dev/null) opens like a
    // port; it must be told apart before the lock, whose failure means "in use".
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        const int err = errno;
        ::close(fd);
        error = {PortError::Kind::NotSerial, err, path_ + " is not a serial port"};
        return false;
    }
    // The advisory lock also holds against root, whom TIOCEXCL does not stop.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
        const int err = errno;
        ::close(fd);
        const std::string holder = FindPortHolder(path_);
        error = {PortError::Kind::Busy, err,
                 path_ + " is in use by " + (holder.empty() ? "another program" : holder)};
        return false;
    }
    // Raw 8-bit line, no flow control, keep the current speed; HUPCL off so that
    // close leaves DTR where it is.
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(HUPCL | CRTSCTS);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    // With O_NONBLOCK, VMIN 1 makes an empty read fail with EAGAIN, so a read of 0
    // bytes can only mean hang-up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        const int err = errno;
        ::close(fd);
        error = {PortError::Kind::Settings, err,
                 "cannot set up " + path_ + ": " + std::strerror(err)};
        return false;
    }
    // USB adapters hold received bytes for up to 16 ms unless asked not to.
    serial_struct ser{};
    if (ioctl(fd, TIOCGSERIAL, &ser) == 0 && !(ser.flags & ASYNC_LOW_LATENCY)) {
        ser.flags |= ASYNC_LOW_LATENCY;
        (void)ioctl(fd, TIOCSSERIAL, &ser);
    }
    fd_ = fd;
    settings_.baud = BaudFromCode(cfgetospeed(&tio));
    settings_.dataBits = (tio.c_cflag & CSIZE) == CS7 ? 7 : 8;
    settings_.parity =
        (tio.c_cflag & PARENB) ? ((tio.c_cflag & PARODD) ? kParityOdd : kParityEven) : kParityNone;
    settings_.stopBits = (tio.c_cflag & CSTOPB) ? kTwoStopBits : kOneStopBit;
    error = {};
    return true;
}

void PosixSerialBackend::Close() {
    if (fd_ < 0) return;
    // Exclusive mode belongs to the device, not to this descriptor: while anything
    // else keeps the device open (a simulator's pseudo-terminal does) it would
    // outlive the close and refuse the next open, ours included, to all but root.
    (void)ioctl(fd_, TIOCNXCL);
    ::close(fd_); // releases the lock
    fd_ = -1;
}

bool PosixSerialBackend::Apply(const LineSettings& s, PortError& error) {
    if (fd_ < 0) {
        error = {PortError::Kind::NotOpen, 0, "port not open"};
        return false;
    }
    speed_t code{};
    if (!CodeFromBaud(s.baud, code) || (s.dataBits != 7 && s.dataBits != 8) ||
        (s.parity < kParityNone || s.parity > kParityEven) ||
        (s.stopBits != kOneStopBit && s.stopBits != kTwoStopBits)) {
        error = {PortError::Kind::Settings, EINVAL, "unsupported line settings"};
        return false;
    }
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) {
        error = {PortError::Kind::Io, errno, std::string("tcgetattr: ") + std::strerror(errno)};
        return false;
    }
    const termios before = tio;
    cfsetispeed(&tio, code);
    cfsetospeed(&tio, code);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
    tio.c_cflag |= s.dataBits == 7 ? CS7 : CS8;
    if (s.parity != kParityNone) tio.c_cflag |= PARENB;
    if (s.parity == kParityOdd) tio.c_cflag |= PARODD;
    if (s.stopBits == kTwoStopBits) tio.c_cflag |= CSTOPB;
    if (tcsetattr(fd_, TCSANOW, &tio) != 0) {
        error = {PortError::Kind::Settings, errno,
                 std::string("the driver refused the line settings: ") + std::strerror(errno)};
        return false;
    }
    // tcsetattr succeeds when it could make any of the changes, and some drivers
    // (pseudo-terminals among them) quietly drop parity or data bits: read back.
    constexpr tcflag_t kLineBits = CSIZE | PARENB | PARODD | CSTOPB;
    termios got{};
    if (tcgetattr(fd_, &got) == 0 && ((got.c_cflag ^ tio.c_cflag) & kLineBits) != 0) {
        tcsetattr(fd_, TCSANOW, &before); // all or nothing: the old settings stay
        error = {PortError::Kind::Settings, EINVAL,
                 "the driver did not take the data bits, parity or stop bits"};
        return false;
    }
    settings_ = s;
    error = {};
    return true;
}

IoResult PosixSerialBackend::Fail(int err, const char* what) {
    IoResult r;
    r.error = {PortError::Kind::Io, err, std::string(what) + " " + path_ + ": " + std::strerror(err)};
    return r;
}

IoResult PosixSerialBackend::Write(const std::uint8_t* data, std::size_t n, Deadline deadline) {
    IoResult r;
    if (fd_ < 0) {
        r.error = {PortError::Kind::NotOpen, 0, "port not open"};
        return r;
    }
    while (r.count < n) {
        const ssize_t w = ::write(fd_, data + r.count, n - r.count);
        if (w > 0) {
            r.count += static_cast<std::size_t>(w);
            justWrote_ = true;
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno != EAGAIN) return Fail(errno, "write to");
        pollfd p{fd_, POLLOUT, 0};
        const int wait = MillisecondsLeft(deadline);
        if (wait == 0) {
            r.error = TimeoutError();
            return r;
        }
        const int rc = ::poll(&p, 1, wait);
        if (rc < 0 && errno != EINTR) return Fail(errno, "poll");
        if (rc > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) return Fail(EIO, "write to");
    }
    return r;
}

IoResult PosixSerialBackend::Read(std::uint8_t* data, std::size_t n, Deadline deadline) {
    IoResult r;
    if (fd_ < 0) {
        r.error = {PortError::Kind::NotOpen, 0, "port not open"};
        return r;
    }
    if (n == 0) return r;
    // Right after a write the reply cannot be there yet: wait before reading.
    bool tryFirst = !justWrote_;
    justWrote_ = false;
    for (;;) {
        const ssize_t got = tryFirst ? ::read(fd_, data, n) : (errno = EAGAIN, -1);
        tryFirst = true;
        if (got > 0) {
            r.count = static_cast<std::size_t>(got);
            return r;
        }
        if (got == 0) return Fail(EIO, "read from"); // hang-up: the device went away
        if (errno == EINTR) continue;
        if (errno != EAGAIN) return Fail(errno, "read from");
        const int wait = MillisecondsLeft(deadline);
        if (wait == 0) {
            r.error = TimeoutError();
            return r;
        }
        pollfd p{fd_, POLLIN, 0};
        const int rc = ::poll(&p, 1, wait);
        if (rc < 0 && errno != EINTR) return Fail(errno, "poll");
        if (rc > 0 && (p.revents & (POLLERR | POLLNVAL))) return Fail(EIO, "read from");
        if (rc > 0 && (p.revents & POLLHUP) && !(p.revents & POLLIN))
            return Fail(EIO, "read from");
    }
}

bool PosixSerialBackend::DiscardInput() { return fd_ >= 0 && tcflush(fd_, TCIFLUSH) == 0; }

} // namespace tavo
