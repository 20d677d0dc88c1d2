// A loopback TCP port held for one test, so that no other program on the machine
// can be handed it: a socket bound to it with SO_REUSEADDR that never listens.
// Connections to it are refused until a server of the test's own (which binds with
// SO_REUSEADDR too: the simulator, ser2net) listens on it, and it stays held while
// that server is stopped and started again. Nothing is retried and nothing races:
// the system picks the number once, atomically, at the first bind.
#pragma once

#include <cstdint>

namespace tavo::test {

class ReservedPort {
public:
    ReservedPort(); // throws when no port can be had
    ~ReservedPort();
    ReservedPort(const ReservedPort&) = delete;
    ReservedPort& operator=(const ReservedPort&) = delete;
    std::uint16_t number() const { return number_; }

private:
    int fd_ = -1;
    std::uint16_t number_ = 0;
};

} // namespace tavo::test
