// A listening TCP socket on the loopback address, at a port the kernel picks, for
// tests that play a device server themselves.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace tavo::test {

class LoopbackListener {
public:
    LoopbackListener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 1);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~LoopbackListener() { ::close(fd_); }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    int fd() const { return fd_; }
    // "SCHEME://127.0.0.1:PORT".
    std::string Url(const char* scheme) const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_);
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

} // namespace tavo::test
