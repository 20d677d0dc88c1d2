#include "tcp_server.h"

#include "host_link.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <chrono>
#include <ctime>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavo::sim {

namespace {

// Reads what the client sent and when it reached this host: the kernel's receive
// stamp, not the moment this thread woke, so the module's answer is timed from the
// request's arrival as on a wire, however late the wake-up.
ssize_t ReadStamped(int fd, std::uint8_t* buf, std::size_t size, TimePoint& arrived) {
    iovec iov{buf, size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(fd, &msg, 0);
    arrived = SimClock::now();
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); n > 0 && c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS) continue;
        timespec stamp{}, now{};
        std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
        clock_gettime(CLOCK_REALTIME, &now);
        const auto age = std::chrono::seconds(now.tv_sec - stamp.tv_sec) +
                         std::chrono::nanoseconds(now.tv_nsec - stamp.tv_nsec);
        // A stamp from the future or from long ago means the wall clock was set.
        if (age > std::chrono::nanoseconds(0) && age < std::chrono::milliseconds(100))
            arrived -= std::chrono::duration_cast<SimClock::duration>(age);
    }
    return n;
}

} // namespace

TcpServer::~TcpServer() { Stop(); }

bool TcpServer::Start(std::string& error, std::uint16_t port) {
    const auto fail = [&](const std::string& what) {
        error = what + ": " + std::strerror(errno);
        Stop();
        return false;
    };
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_ < 0) return fail("socket");
    const int on = 1;
    setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return fail("cannot listen on 127.0.0.1:" + std::to_string(port));
    if (::listen(listen_, 4) != 0) return fail("listen");
    socklen_t len = sizeof addr;
    if (getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return fail("getsockname");
    port_ = ntohs(addr.sin_port);
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return fail("pipe");
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void TcpServer::Stop() {
    if (thread_.joinable()) {
        stop_ = true;
        const char c = 'x';
        (void)!::write(wake_[1], &c, 1);
        thread_.join();
    }
    Drop();
    for (int* fd : {&listen_, &wake_[0], &wake_[1]})
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
}

void TcpServer::Drop() {
    if (client_ >= 0) ::close(client_);
    client_ = -1;
}

void TcpServer::Run() {
    std::uint8_t buf[4096];
    AskForPromptWakeUps();
    HostLink link(bus_, true);
    while (!stop_) {
        pollfd fds[3] = {{listen_, POLLIN, 0}, {wake_[0], POLLIN, 0}, {client_, POLLIN, 0}};
        const int rc = ::poll(fds, client_ >= 0 ? 3 : 2, link.WaitMs(200));
        if (stop_) break;
        if (rc < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (rc == 0) {
            if (client_ >= 0) link.Quiet(client_);
            continue;
        }
        if (fds[0].revents & POLLIN) {
            const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd >= 0) {
                Drop();
                const int on = 1;
                setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
                client_ = fd;
                link.Reset();
                continue; // the old client's poll entry is stale
            }
        }
        if (client_ >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) {
            TimePoint arrived;
            const ssize_t n = ReadStamped(client_, buf, sizeof buf, arrived);
            if (n > 0) link.Received(client_, buf, static_cast<std::size_t>(n), nullptr, arrived);
            else if (n == 0 || (errno != EAGAIN && errno != EINTR)) Drop();
        }
    }
}

} // namespace tavo::sim
