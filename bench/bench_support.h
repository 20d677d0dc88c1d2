// Small pieces the panel benchmarks share: the event loop run for a while, CPU
// clocks, and the lines a simulated module has heard.
#pragma once

#include "sim/bus.h"
#include "sim/module.h"

#include <QEventLoop>
#include <QTimer>

#include <ctime>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavo::bench {

// Runs the event loop for `ms` milliseconds, as the program would between events.
inline void RunEventLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

inline double CpuSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}
inline double ThreadCpuSeconds() { return CpuSeconds(CLOCK_THREAD_CPUTIME_ID); }
inline double ProcessCpuSeconds() { return CpuSeconds(CLOCK_PROCESS_CPUTIME_ID); }

// The lines the module at `address` has heard since the last call, oldest first.
inline std::vector<std::string> TakeReceived(sim::Bus& bus, unsigned address) {
    std::lock_guard lock(bus.mutex());
    sim::SimModule* m = bus.Find(address);
    if (!m) throw std::runtime_error("no simulated module there");
    std::vector<std::string> out(m->received.begin(), m->received.end());
    m->received.clear();
    return out;
}

} // namespace tavo::bench
