// Debian's ser2net started by a test: a real device server bridging a reserved loopback
// TCP port to a serial device (here the simulator's pseudo-terminal), raw or as
// Telnet with the COM-PORT-OPTION. Its configuration lives in a temporary folder of
// its own; the system's is never read.
#pragma once

#include "support/reserved_port.h"

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace tavo::test {

class Ser2net {
public:
    enum class Mode { Raw, Rfc2217 };

    // The program's path, empty when it is not installed (the tests then skip).
    static std::string Program();

    // Holds a loopback port for it; nothing runs until Start().
    Ser2net(std::string device, Mode mode);
    ~Ser2net();
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    // Starts ser2net in the foreground and waits (at most 30 s, a bound for a stuck start) until it listens.
    // False with the reason (and its output) in `error`.
    bool Start(std::string& error);
    // Ends it (all its connections drop). Start() again serves the same port.
    void Stop();

    std::uint16_t port() const { return port_.number(); }
    // "tcp://127.0.0.1:PORT" or "rfc2217://127.0.0.1:PORT".
    std::string Url() const;

private:
    bool Listening() const;

    std::string device_;
    Mode mode_;
    std::string dir_;
    ReservedPort port_;
    pid_t pid_ = -1;
};

} // namespace tavo::test
