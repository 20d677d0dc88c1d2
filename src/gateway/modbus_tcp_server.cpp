#include "modbus_tcp_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavo::gateway {
namespace {

// What one read takes at most; a client's unread input is bounded by the kernel's
// buffer, since a client's requests are taken one at a time.
constexpr std::size_t kReadChunk = 4096;
// Answers a client does not read pile up no further than this.
constexpr std::size_t kMaxOutput = 64 * 1024;

std::string PeerText(const sockaddr_storage& a) {
    char host[INET6_ADDRSTRLEN] = "?";
    int port = 0;
    if (a.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&a);
        inet_ntop(AF_INET, &v4->sin_addr, host, sizeof host);
        port = ntohs(v4->sin_port);
        return std::string(host) + ":" + std::to_string(port);
    }
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&a);
    inet_ntop(AF_INET6, &v6->sin6_addr, host, sizeof host);
    port = ntohs(v6->sin6_port);
    return "[" + std::string(host) + "]:" + std::to_string(port);
}

} // namespace

ModbusTcpServer::ModbusTcpServer(const ModbusTcpUnits& units, Targets targets,
                                 std::shared_ptr<EventQueue> replies, LogSink log)
    : units_(units), targets_(std::move(targets)), replies_(std::move(replies)), log_(std::move(log)) {}

ModbusTcpServer::~ModbusTcpServer() { Close(); }

bool ModbusTcpServer::Listen(const ModbusTcpConfig& config, std::string& error) {
    config_ = config;
    const std::string where = config.bind + ":" + std::to_string(config.port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(config.port);
    if (const int rc = getaddrinfo(config.bind.c_str(), service.c_str(), &hints, &found); rc != 0) {
        error = "Modbus TCP server " + where + ": " + gai_strerror(rc);
        return false;
    }
    const int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    // SO_REUSEADDR: a restarted gateway binds again while the last one's connections
    // linger in TIME_WAIT.
    const bool ok = fd >= 0 && ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) == 0 &&
                    ::bind(fd, found->ai_addr, found->ai_addrlen) == 0 && ::listen(fd, 64) == 0;
    freeaddrinfo(found);
    if (!ok) {
        error = "Modbus TCP server cannot listen on " + where + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return false;
    }
    sockaddr_storage bound{};
    socklen_t size = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size);
    port_ = bound.ss_family == AF_INET ? ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port)
                                       : ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
    listen_ = fd;
    return true;
}

void ModbusTcpServer::Close() {
    for (auto& [id, c] : clients_) ::close(c.fd);
    clients_.clear();
    tags_.clear();
    if (listen_ >= 0) ::close(listen_);
    listen_ = -1;
}

void ModbusTcpServer::AddPollFds(std::vector<pollfd>& fds) const {
    fds.push_back({listen_, POLLIN, 0});
    for (const auto& [id, c] : clients_) {
        short events = 0;
        // A client waiting for its write, or for its answers to be taken, is not read.
        if (!c.waiting && c.out.empty()) events |= POLLIN;
        if (!c.out.empty()) events |= POLLOUT;
        fds.push_back({c.fd, events, 0});
    }
}

void ModbusTcpServer::Service(const std::vector<pollfd>& fds, std::size_t first, Clock::time_point now) {
    std::vector<std::uint64_t> ids;
    for (const auto& [id, c] : clients_) ids.push_back(id);
    for (std::size_t i = 0; i < ids.size() && first + 1 + i < fds.size(); ++i) {
        const auto it = clients_.find(ids[i]);
        if (it == clients_.end() || it->second.fd != fds[first + 1 + i].fd) continue;
        Client& c = it->second;
        const short re = fds[first + 1 + i].revents;
        // A client gone while its write is under way: nobody is left to answer.
        bool keep = !(c.waiting && (re & (POLLHUP | POLLERR)));
        if (keep && (re & POLLOUT)) keep = Flush(c);
        if (keep && (re & (POLLIN | POLLHUP | POLLERR)) && !c.waiting) keep = ReadFrom(c, now);
        if (keep) keep = Process(ids[i], c, now);
        if (!keep) Drop(ids[i], "");
    }
    // Time-outs: a request begun and not finished, a write the bus has not answered.
    for (auto it = clients_.begin(); it != clients_.end();) {
        Client& c = it->second;
        const auto id = it++->first;
        if (!c.waiting && !c.in.empty() && now - c.partialSince >= kFrameTimeout) {
            Drop(id, "half a request and nothing more for " + std::to_string(kFrameTimeout.count()) + " s");
        } else if (c.waiting && now >= c.writeDeadline) {
            c.failure = modbus_exception::kTargetFailed;
            c.outstanding = 0;
            Finish(id, c);
            if (!Process(id, c, now)) Drop(id, "");
        }
    }
    if (first < fds.size() && (fds[first].revents & POLLIN)) Accept(now);
}

Clock::time_point ModbusTcpServer::NextDeadline() const {
    auto next = Clock::time_point::max();
    for (const auto& [id, c] : clients_) {
        if (c.waiting) next = std::min(next, c.writeDeadline);
        else if (!c.in.empty()) next = std::min(next, c.partialSince + kFrameTimeout);
    }
    return next;
}

void ModbusTcpServer::Accept(Clock::time_point now) {
    while (true) {
        sockaddr_storage peer{};
        socklen_t size = sizeof peer;
        const int fd = ::accept4(listen_, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return; // EAGAIN: all taken; anything else: the client is gone already
        if (clients_.size() >= kMaxClients) {
            if (!fullSaid_)
                log_("Modbus TCP: " + std::to_string(kMaxClients) + " clients are connected; " +
                     PeerText(peer) + " and any more are closed until one leaves");
            fullSaid_ = true;
            ::close(fd);
            continue;
        }
        fullSaid_ = false;
        const int one = 1;
        // Answers are single small segments: send each at once.
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        Client c;
        c.fd = fd;
        c.peer = PeerText(peer);
        c.partialSince = now;
        clients_.emplace(nextClient_++, std::move(c));
    }
}

bool ModbusTcpServer::ReadFrom(Client& c, Clock::time_point now) {
    std::uint8_t buffer[kReadChunk];
    const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
    if (n == 0) return false;
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    if (c.in.empty()) c.partialSince = now;
    c.in.insert(c.in.end(), buffer, buffer + n);
    return true;
}

bool ModbusTcpServer::Flush(Client& c) {
    while (!c.out.empty()) {
        const ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
        if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        c.out.erase(c.out.begin(), c.out.begin() + n);
    }
    return true;
}

// Answers the whole requests at the front of the client's input, until one waits for
// writes. False when the connection is to be closed.
bool ModbusTcpServer::Process(std::uint64_t id, Client& c, Clock::time_point now) {
    while (!c.waiting && c.out.size() < kMaxOutput) {
        std::size_t length = 0;
        std::string why;
        const FrameCheck check = CheckFrame(c.in.data(), c.in.size(), length, why);
        if (check == FrameCheck::Bad) {
            log_("Modbus TCP: closed " + c.peer + ": " + why);
            Flush(c); // the answers to the requests before it, as far as the socket takes them
            return false;
        }
        if (check == FrameCheck::Incomplete) break;
        ModbusOutcome outcome = units_.Handle(c.in.data(), length);
        c.in.erase(c.in.begin(), c.in.begin() + static_cast<std::ptrdiff_t>(length));
        c.partialSince = now;
        if (outcome.writes.empty()) {
            c.out.insert(c.out.end(), outcome.reply.begin(), outcome.reply.end());
            continue;
        }
        c.waiting = true;
        c.failure = 0;
        c.outstanding = 0;
        c.writeDeadline = now + kWriteTimeout;
        for (WriteRequest& w : outcome.writes) {
            WriteTarget* target = targets_(w.key.bus);
            std::string error;
            w.tag = nextTag_++;
            w.replyTo = replies_;
            if (!target) {
                c.failure = modbus_exception::kTargetFailed;
                break;
            }
            const std::string what = KeyText(w.key) + " " + w.point;
            if (!target->Submit(std::move(w), error)) {
                log_("Modbus TCP: a write of " + what + " from " + c.peer + " is refused: " + error);
                c.failure = modbus_exception::kBusy;
                break;
            }
            tags_[nextTag_ - 1] = id;
            ++c.outstanding;
        }
        c.pending = std::move(outcome);
        if (c.outstanding == 0) Finish(id, c);
    }
    return Flush(c);
}

void ModbusTcpServer::Done(const WriteDone& done, Clock::time_point now) {
    const auto tag = tags_.find(done.tag);
    if (tag == tags_.end()) return; // its client left, or it timed out
    const std::uint64_t id = tag->second;
    tags_.erase(tag);
    const auto it = clients_.find(id);
    if (it == clients_.end() || !it->second.waiting) return;
    Client& c = it->second;
    if (!done.ok) {
        if (!c.failure) c.failure = modbus_exception::kDeviceFailure;
        log_("Modbus TCP: a write of " + KeyText(done.key) + " " + done.point + " from " + c.peer +
             " failed: " + done.error);
    }
    if (c.outstanding > 0) --c.outstanding;
    if (c.outstanding > 0) return;
    Finish(id, c);
    if (!Process(id, c, now)) Drop(id, "");
}

void ModbusTcpServer::Finish(std::uint64_t id, Client& c) {
    const Bytes answer = c.failure ? ModbusExceptionReply(c.pending, c.failure) : c.pending.done;
    c.out.insert(c.out.end(), answer.begin(), answer.end());
    c.waiting = false;
    c.pending = {};
    // Writes of this request still under way are answered to nobody.
    for (auto t = tags_.begin(); t != tags_.end();) t = t->second == id ? tags_.erase(t) : std::next(t);
}

void ModbusTcpServer::Drop(std::uint64_t id, const std::string& why) {
    const auto it = clients_.find(id);
    if (it == clients_.end()) return;
    if (!why.empty()) log_("Modbus TCP: closed " + it->second.peer + ": " + why);
    ::close(it->second.fd);
    clients_.erase(it);
    for (auto t = tags_.begin(); t != tags_.end();) t = t->second == id ? tags_.erase(t) : std::next(t);
}

} // namespace tavo::gateway
