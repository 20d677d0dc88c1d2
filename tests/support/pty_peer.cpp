#include "pty_peer.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace tavo::test {

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string Hex(const Bytes& bytes) {
    std::string out;
    char h[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(h, sizeof h, "%02X", bytes[i]);
        if (i) out += ' ';
        out += h;
    }
    return out;
}

Pty::Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) || unlockpt(master_))
        throw std::runtime_error("no pseudo-terminal");
    char name[128];
    ptsname_r(master_, name, sizeof name);
    path_ = name;
    hold_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    tcgetattr(hold_, &tio);
    cfmakeraw(&tio);
    tcsetattr(hold_, TCSANOW, &tio);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

Pty::~Pty() { Close(); }

void Pty::Close() {
    if (hold_ >= 0) ::close(hold_);
    if (master_ >= 0) ::close(master_);
    hold_ = master_ = -1;
}

bool Pty::Exclusive() const {
    int exclusive = 0;
    return ::ioctl(hold_, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

void Pty::DropExclusive() { ::ioctl(hold_, TIOCNXCL); }

Bytes Pty::ReadSome(std::chrono::milliseconds first, std::chrono::milliseconds quiet) {
    Bytes out;
    auto wait = first;
    for (;;) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0 || !(p.revents & POLLIN)) break;
        std::uint8_t buf[4096];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) break;
        out.insert(out.end(), buf, buf + n);
        wait = quiet;
    }
    return out;
}

void Pty::Write(const Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (w > 0) done += static_cast<std::size_t>(w);
        else {
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 100);
        }
    }
}

ScriptedPeer::ScriptedPeer() : thread_([this] { Run(); }) {}

ScriptedPeer::~ScriptedPeer() {
    stop_ = true;
    thread_.join();
}

void ScriptedPeer::Then(const std::string& reply, std::chrono::milliseconds delay) {
    ThenBytes(ToBytes(reply), delay);
}

void ScriptedPeer::ThenBytes(const Bytes& reply, std::chrono::milliseconds delay) {
    std::lock_guard lock(mutex_);
    steps_.push_back({reply, delay});
}

std::vector<Bytes> ScriptedPeer::Requests() {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t ScriptedPeer::RepliesWritten() {
    std::lock_guard lock(mutex_);
    return written_;
}

void ScriptedPeer::Run() {
    while (!stop_) {
        Bytes request = pty_.ReadSome(std::chrono::milliseconds(20), std::chrono::milliseconds(3));
        if (request.empty()) continue;
        Step step;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
            if (next_ < steps_.size()) step = steps_[next_++];
        }
        if (step.delay.count()) std::this_thread::sleep_for(step.delay);
        if (step.reply.empty()) continue;
        pty_.Write(step.reply);
        std::lock_guard lock(mutex_);
        ++written_;
    }
}

NullModem::NullModem() : thread_([this] { Run(); }) {}

NullModem::~NullModem() {
    stop_ = true;
    thread_.join();
}

void NullModem::Run() {
    std::uint8_t buf[4096];
    while (!stop_) {
        pollfd p[2] = {{a_.master(), POLLIN, 0}, {b_.master(), POLLIN, 0}};
        if (::poll(p, 2, 20) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (!(p[i].revents & POLLIN)) continue;
            const ssize_t n = ::read(p[i].fd, buf, sizeof buf);
            if (n <= 0) continue;
            Pty& to = i == 0 ? b_ : a_;
            to.Write(Bytes(buf, buf + n));
        }
    }
}

} // namespace tavo::test
