// Timing helpers for the firmware loaders, which send long binary blocks.
#pragma once

#include "transport/com_port.h"

#include <cstddef>
#include <cstdint>

namespace tavo {

// Milliseconds `bytes` characters of 8N1 (ten bits each) take on the wire,
// rounded up. A write returns once the bytes are queued, not sent, so a reply
// can only be expected that much later.
inline int WireMs(std::size_t bytes, std::uint32_t baud) {
    if (baud == 0) return 0;
    return static_cast<int>((bytes * 10 * 1000 + baud - 1) / baud);
}

// Holds another time-out on the port for its lifetime, then puts the old one back.
class ScopedTimeOut {
public:
    ScopedTimeOut(TavoComPort& port, int ms) : port_(port), old_(port.GetTimeOut()) {
        port_.SetTimeOut(ms);
    }
    ~ScopedTimeOut() { port_.SetTimeOut(old_); }
    ScopedTimeOut(const ScopedTimeOut&) = delete;
    ScopedTimeOut& operator=(const ScopedTimeOut&) = delete;

private:
    TavoComPort& port_;
    int old_;
};

} // namespace tavo
