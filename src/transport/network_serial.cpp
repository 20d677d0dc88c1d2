#include "network_serial.h"

#include "posix_serial.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavo {
namespace {

// Telnet and COM-PORT-OPTION codes.
constexpr std::uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                       kSe = 240;
constexpr std::uint8_t kBinary = 0, kSuppressGoAhead = 3, kComPort = 44;
constexpr std::uint8_t kSetBaud = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4,
                       kPurgeData = 12, kServerOffset = 100;
constexpr std::uint8_t kPurgeReceive = 1;

// Connecting and each negotiation step are bounded: a silent server must not hold
// the program.
constexpr auto kConnectBound = std::chrono::seconds(5);
constexpr auto kNegotiationBound = std::chrono::seconds(3);

int MillisecondsLeft(Deadline deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    const long long ms =
        (std::chrono::duration_cast<std::chrono::microseconds>(left).count() + 999) / 1000;
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

PortError TimeoutError() {
    return {PortError::Kind::Timeout, 0, "no reply within the time-out"};
}

bool SplitUrl(const std::string& name, bool& telnet, std::string& host, std::string& port) {
    std::string rest;
    if (name.rfind("tcp://", 0) == 0) {
        telnet = false;
        rest = name.substr(6);
    } else if (name.rfind("rfc2217://", 0) == 0) {
        telnet = true;
        rest = name.substr(10);
    } else {
        return false;
    }
    while (!rest.empty() && rest.back() == '/')
        rest.pop_back();
    const auto colon = rest.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == rest.size()) return false;
    host = rest.substr(0, colon);
    port = rest.substr(colon + 1);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    for (char c : port)
        if (c < '0' || c > '9') return false;
    return port.size() <= 5 && std::stoi(port) > 0 && std::stoi(port) < 65536;
}

std::vector<std::uint8_t> Be32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

} // namespace

bool IsNetworkPortName(const std::string& name) {
    return name.rfind("tcp://", 0) == 0 || name.rfind("rfc2217://", 0) == 0;
}

std::unique_ptr<SerialBackend> MakeSerialBackend(const std::string& name) {
    if (IsNetworkPortName(name)) return std::make_unique<NetworkSerialBackend>();
    return std::make_unique<PosixSerialBackend>();
}

void TelnetParser::Feed(const std::uint8_t* in, std::size_t n, std::vector<std::uint8_t>& data,
                        std::vector<Command>& commands) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = in[i];
        switch (state_) {
        case State::Data:
            if (b == kIac)
                state_ = State::Iac;
            else
                data.push_back(b);
            break;
        case State::Iac:
            if (b == kIac) {
                data.push_back(b);
                state_ = State::Data;
            } else if (b == kWill || b == kWont || b == kDo || b == kDont || b == kSb) {
                current_ = {b, 0, {}};
                state_ = State::Verb;
            } else {
                state_ = State::Data; // NOP, GA and the other one-byte commands
            }
            break;
        case State::Verb:
            current_.option = b;
            if (current_.verb == kSb) {
                state_ = State::Sub;
            } else {
                commands.push_back(current_);
                state_ = State::Data;
            }
            break;
        case State::Sub:
            if (b == kIac)
                state_ = State::SubIac;
            else if (current_.payload.size() < kMaxSub)
                current_.payload.push_back(b);
            break;
        case State::SubIac:
            if (b == kIac) {
                if (current_.payload.size() < kMaxSub) current_.payload.push_back(b);
                state_ = State::Sub;
            } else {
                // SE ends it; anything else is a broken server: end it all the same.
                commands.push_back(current_);
                state_ = State::Data;
            }
            break;
        }
    }
}

std::vector<std::uint8_t> TelnetEscape(const std::uint8_t* data, std::size_t n) {
    std::vector<std::uint8_t> out;
    out.reserve(n + 8);
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(data[i]);
        if (data[i] == kIac) out.push_back(kIac);
    }
    return out;
}

NetworkSerialBackend::~NetworkSerialBackend() {
    Close();
}

bool NetworkSerialBackend::Open(const std::string& name, PortError& error) {
    Close();
    url_ = name;
    std::string host, port;
    if (!SplitUrl(name, telnet_, host, port)) {
        error = {PortError::Kind::NotFound, EINVAL,
                 "bad network port " + name + " (expected tcp://HOST:PORT or rfc2217://HOST:PORT)"};
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
    if (rc != 0) {
        error = {PortError::Kind::NotFound, 0,
                 "cannot resolve host " + host + ": " + gai_strerror(rc)};
        return false;
    }
    const Deadline connectBy = Clock::now() + kConnectBound;
    int lastErr = ETIMEDOUT;
    for (addrinfo* a = found; a && fd_ < 0; a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            lastErr = errno;
            continue;
        }
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0 && errno != EINPROGRESS) {
            lastErr = errno;
            ::close(fd);
            continue;
        }
        pollfd p{fd, POLLOUT, 0};
        int err = ETIMEDOUT;
        if (::poll(&p, 1, MillisecondsLeft(connectBy)) > 0) {
            socklen_t len = sizeof err;
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
        }
        if (err != 0) {
            lastErr = err;
            ::close(fd);
            continue;
        }
        // A five-byte command must leave at once, not wait for Nagle.
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        fd_ = fd;
    }
    freeaddrinfo(found);
    if (fd_ < 0) {
        error = {lastErr == ECONNREFUSED ? PortError::Kind::NotFound : PortError::Kind::Io, lastErr,
                 "cannot connect to " + host + ":" + port + ": " +
                     (lastErr == ETIMEDOUT ? std::string("no answer within 5 s")
                                           : std::string(std::strerror(lastErr)))};
        return false;
    }
    settings_ = {};
    settingsDeclared_ = false;
    comPortAccepted_ = comPortAnswered_ = false;
    parser_ = {};
    data_.clear();
    dataPos_ = 0;
    answers_.clear();
    if (!telnet_) {
        error = {};
        return true;
    }
    const std::vector<std::uint8_t> offer{
        kIac, kWill, kComPort,         kIac, kWill, kBinary,         kIac, kDo, kBinary,
        kIac, kWill, kSuppressGoAhead, kIac, kDo,   kSuppressGoAhead};
    const Deadline negotiateBy = Clock::now() + kNegotiationBound;
    if (!SendAll(offer, negotiateBy, error)) {
        Close();
        return false;
    }
    while (!comPortAnswered_) {
        if (!Pump(negotiateBy, error) || !InTime(negotiateBy, comPortAnswered_, error)) {
            Close();
            if (error.kind == PortError::Kind::Timeout)
                error = {PortError::Kind::Io, ETIMEDOUT,
                         url_ + " did not answer the Telnet COM-PORT-OPTION offer (a raw TCP "
                                "port? use tcp://)"};
            else
                error.text = url_ + ": " + error.text;
            return false;
        }
    }
    error = {};
    return true;
}

void NetworkSerialBackend::Close() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
    ackOwed_ = false;
}

IoResult NetworkSerialBackend::Fail(int err, const std::string& what) {
    IoResult r;
    r.error = {PortError::Kind::Io, err, what + " " + url_ + ": " + std::strerror(err)};
    return r;
}

bool NetworkSerialBackend::SendAll(const std::vector<std::uint8_t>& bytes, Deadline deadline,
                                   PortError& error) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
            ackOwed_ = false; // the segment carries the acknowledgement
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno != EAGAIN) {
            error = Fail(errno, "write to").error;
            return false;
        }
        const int wait = MillisecondsLeft(deadline);
        if (wait == 0) {
            error = TimeoutError();
            return false;
        }
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, wait) > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
            error = Fail(ECONNRESET, "write to").error;
            return false;
        }
    }
    return true;
}

void NetworkSerialBackend::Handle(const TelnetParser::Command& c) {
    auto reply = [this](std::uint8_t verb, std::uint8_t option) {
        PortError ignored;
        SendAll({kIac, verb, option}, Clock::now() + kNegotiationBound, ignored);
    };
    const bool wanted = c.option == kBinary || c.option == kSuppressGoAhead;
    if (c.verb == kDo && c.option == kComPort) {
        comPortAccepted_ = comPortAnswered_ = true;
    } else if (c.verb == kDont && c.option == kComPort) {
        comPortAccepted_ = false; // works, but as a raw line
        comPortAnswered_ = true;
    } else if (c.verb == kDo && !wanted && c.option != kComPort) {
        reply(kWont, c.option);
    } else if (c.verb == kWill && !wanted) {
        reply(kDont, c.option);
    } else if (c.verb == kSb && c.option == kComPort && !c.payload.empty() &&
               answers_.size() < 16) {
        answers_.push_back(c);
    }
    // Answers to our own offers (WILL/DO for BINARY and SGA, refusals included)
    // need no reply; refusing them is tolerated.
}

bool NetworkSerialBackend::Pump(Deadline deadline, PortError& error) {
    std::uint8_t buf[1024];
    for (;;) {
        // Waiting first: right after a request nothing is there yet, and a read
        // attempt would only cost a system call.
        const int waitMs = MillisecondsLeft(deadline);
        if (waitMs > 0 && ackOwed_) {
            // About to wait for more of what is coming: acknowledge what came now. A
            // server with Nagle's algorithm on holds the rest of a reply that came in
            // two segments (or a reply behind its answer to a purge) until the first
            // is acknowledged, 40 ms later when the acknowledgement is delayed. Only
            // then: an acknowledgement of its own for every reply would cost each
            // transaction a packet, where the next request carries it for free.
            const int one = 1;
            setsockopt(fd_, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
            ackOwed_ = false;
        }
        pollfd p{fd_, POLLIN, 0};
        const int rc = ::poll(&p, 1, waitMs);
        if (rc < 0) {
            if (errno == EINTR) continue;
            error = Fail(errno, "poll").error;
            return false;
        }
        if (rc == 0) {
            error = TimeoutError();
            return false;
        }
        const ssize_t got = ::recv(fd_, buf, sizeof buf, 0);
        if (got > 0) {
            ackOwed_ = true;
            if (!telnet_) {
                data_.insert(data_.end(), buf, buf + got);
                return true;
            }
            std::vector<TelnetParser::Command> commands;
            parser_.Feed(buf, static_cast<std::size_t>(got), data_, commands);
            for (const auto& c : commands)
                Handle(c);
            return true;
        }
        if (got == 0) {
            error = {PortError::Kind::Io, ECONNRESET, "connection closed by " + url_};
            return false;
        }
        if (errno != EINTR && errno != EAGAIN) {
            error = Fail(errno, "read from").error;
            return false;
        }
    }
}

// Telnet commands alone do not count as an answer: a server flooding us with them
// (or with IAC bytes) must not stretch a wait past its deadline.
bool NetworkSerialBackend::InTime(Deadline deadline, bool done, PortError& error) {
    if (done || Clock::now() < deadline) return true;
    error = TimeoutError();
    return false;
}

bool NetworkSerialBackend::SendComPort(std::uint8_t code, const std::vector<std::uint8_t>& value,
                                       Deadline deadline, PortError& error) {
    std::vector<std::uint8_t> sb{kIac, kSb, kComPort, code};
    const auto escaped = TelnetEscape(value.data(), value.size());
    sb.insert(sb.end(), escaped.begin(), escaped.end());
    sb.push_back(kIac);
    sb.push_back(kSe);
    return SendAll(sb, deadline, error);
}

bool NetworkSerialBackend::AwaitAnswer(std::uint8_t code, std::vector<std::uint8_t>& value,
                                       Deadline deadline, PortError& error) {
    for (;;) {
        for (auto it = answers_.begin(); it != answers_.end(); ++it)
            if (it->payload[0] == code + kServerOffset) {
                value.assign(it->payload.begin() + 1, it->payload.end());
                answers_.erase(it);
                return true;
            }
        answers_.clear();
        if (!Pump(deadline, error) || !InTime(deadline, false, error)) {
            if (error.kind == PortError::Kind::Timeout)
                error = {PortError::Kind::Settings, ETIMEDOUT,
                         url_ + " did not confirm the line settings"};
            return false;
        }
    }
}

bool NetworkSerialBackend::Apply(const LineSettings& s, PortError& error) {
    if (fd_ < 0) {
        error = {PortError::Kind::NotOpen, 0, "port not open"};
        return false;
    }
    if (!CanSetLineSettings()) {
        if (!settingsDeclared_ || s == settings_) {
            settings_ = s;
            settingsDeclared_ = true;
            error = {};
            return true;
        }
        error = {
            PortError::Kind::Settings, 0,
            "line settings cannot be set over " +
                std::string(telnet_ ? "this server (it refused the COM-PORT-OPTION)" : "raw TCP") +
                ": set them on the device server"};
        return false;
    }
    if ((s.dataBits != 7 && s.dataBits != 8) || s.parity < kParityNone || s.parity > kParityEven ||
        (s.stopBits != kOneStopBit && s.stopBits != kTwoStopBits) || s.baud == 0) {
        error = {PortError::Kind::Settings, EINVAL, "unsupported line settings"};
        return false;
    }
    const Deadline by = Clock::now() + kNegotiationBound;
    // RFC 2217 values: parity 1 none, 2 odd, 3 even; stop size 1 one, 2 two.
    const std::uint8_t parity = static_cast<std::uint8_t>(s.parity + 1);
    const std::uint8_t stop = s.stopBits == kTwoStopBits ? 2 : 1;
    const std::uint8_t size = static_cast<std::uint8_t>(s.dataBits);
    struct Step {
        std::uint8_t code;
        std::vector<std::uint8_t> value;
    };
    const Step steps[] = {{kSetBaud, Be32(s.baud)},
                          {kSetDataSize, {size}},
                          {kSetParity, {parity}},
                          {kSetStopSize, {stop}}};
    for (const auto& step : steps) {
        std::vector<std::uint8_t> answer;
        if (!SendComPort(step.code, step.value, by, error) ||
            !AwaitAnswer(step.code, answer, by, error))
            return false;
        if (answer != step.value) {
            error = {PortError::Kind::Settings, EINVAL,
                     url_ + " did not take the line settings (" + std::to_string(s.baud) + " " +
                         std::to_string(s.dataBits) + " data bits)"};
            return false;
        }
    }
    settings_ = s;
    error = {};
    return true;
}

IoResult NetworkSerialBackend::Write(const std::uint8_t* data, std::size_t n, Deadline deadline) {
    IoResult r;
    if (fd_ < 0) {
        r.error = {PortError::Kind::NotOpen, 0, "port not open"};
        return r;
    }
    const bool sent = telnet_
                          ? SendAll(TelnetEscape(data, n), deadline, r.error)
                          : SendAll(std::vector<std::uint8_t>(data, data + n), deadline, r.error);
    if (sent) r.count = n;
    return r;
}

IoResult NetworkSerialBackend::Read(std::uint8_t* data, std::size_t n, Deadline deadline) {
    IoResult r;
    if (fd_ < 0) {
        r.error = {PortError::Kind::NotOpen, 0, "port not open"};
        return r;
    }
    if (n == 0) return r;
    while (dataPos_ >= data_.size()) {
        data_.clear();
        dataPos_ = 0;
        if (!Pump(deadline, r.error) || !InTime(deadline, !data_.empty(), r.error)) return r;
    }
    r.count = std::min(n, data_.size() - dataPos_);
    std::memcpy(data, data_.data() + dataPos_, r.count);
    dataPos_ += r.count;
    return r;
}

bool NetworkSerialBackend::DiscardInput() {
    if (fd_ < 0) return false;
    // Drain what has arrived (commands in it still count), then drop the data.
    // Bounded: a server that keeps sending must not hold the request.
    PortError error;
    for (int chunk = 0; chunk < 64 && Pump(Clock::now(), error); ++chunk) {
    }
    data_.clear();
    dataPos_ = 0;
    return error.kind != PortError::Kind::Io;
}

bool NetworkSerialBackend::PurgeRemote() {
    if (fd_ < 0) return false;
    if (!telnet_ || !comPortAccepted_) return true;
    PortError error;
    return SendComPort(kPurgeData, {kPurgeReceive}, Clock::now() + kNegotiationBound, error);
}

} // namespace tavo
