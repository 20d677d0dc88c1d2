// One module's points on a simulated bus over a pseudo-terminal, for the tests of
// the point families: the port, the points, what crossed the wire (as the port's
// watcher heard it) and what the module received.
#pragma once

#include "sim_bus.h"

#include "sim/module.h"

#include "points/module_points.h"
#include "transport/modbus.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavo::test {

class PointsRun {
public:
    PointsRun(const std::string& bus, const std::string& model, ModuleLocation where,
              int timeoutMs = 60)
        : sim_(bus), turnaround_(TavoModbusCOM::GetDefaultTurnaroundDelay()) {
        // The simulator answers at once: no Modbus pauses.
        TavoModbusCOM::SetDefaultTurnaroundDelay(0);
        port_ = sim_.Open(timeoutMs);
        port_->SetExchangeObserver([this](const PortExchange& e) { heard_.push_back(e); });
        std::string error;
        points_ = MakeModulePoints(model, where, error);
        if (!points_) throw std::runtime_error(model + ": " + error);
        address_ = static_cast<unsigned>(where.address);
    }
    ~PointsRun() { TavoModbusCOM::SetDefaultTurnaroundDelay(turnaround_); }

    ModulePoints& points() { return *points_; }
    TavoComPort& port() { return *port_; }
    SimBus& sim() { return sim_; }

    // What the module received since the last call (ASCII lines without checksum,
    // Modbus frames as hexadecimal without CRC), oldest first.
    std::vector<std::string> Sent() {
        std::lock_guard lock(sim_.bus().mutex());
        auto& m = sim_.module(address_);
        std::vector<std::string> out(m.received.begin(), m.received.end());
        m.received.clear();
        return out;
    }
    template <class F> auto WithModule(F f) {
        std::lock_guard lock(sim_.bus().mutex());
        return f(sim_.module(address_));
    }
    // The module's next `count` replies get the fault (the simulator's names:
    // "garbage", "cut", "corrupt", "noreply"), after `after` replies without it.
    void Fault(const std::string& fault, int count, int after = 0) {
        WithModule([&](sim::SimModule& m) {
            sim::FaultPlan& f = m.faults();
            sim::Fault* which = fault == "garbage"   ? &f.garbage
                                : fault == "cut"     ? &f.cut
                                : fault == "corrupt" ? &f.corrupt
                                : fault == "noreply" ? &f.noReply
                                                     : nullptr;
            if (!which) throw std::invalid_argument("no fault " + fault);
            which->count = count;
            f.startAfter = after;
            return 0;
        });
    }

    // The reply the port last heard to `request` (an ASCII command without CR, or the
    // Modbus request's bytes), as it came; throws when there was none.
    std::string ReplyTo(const std::string& request) const {
        for (auto it = heard_.rbegin(); it != heard_.rend(); ++it)
            if (it->request == request || it->request == request + "\r") return it->reply;
        throw std::runtime_error("no exchange of " + request);
    }
    void Forget() { heard_.clear(); }

    const PointReading& Reading(const std::string& name) const {
        return points_->Readings().at(Index(name));
    }
    const PointInfo& Info(const std::string& name) const {
        return points_->Points().at(Index(name));
    }
    PointQuality Quality(const std::string& name) const { return Reading(name).quality; }
    double Value(const std::string& name) const {
        EXPECT_EQ(Quality(name), PointQuality::Good) << name;
        return Reading(name).value;
    }

private:
    std::size_t Index(const std::string& name) const {
        const int i = points_->IndexOf(name);
        if (i < 0) throw std::runtime_error("no point " + name);
        return static_cast<std::size_t>(i);
    }

    SimBus sim_;
    int turnaround_;
    unsigned address_ = 0;
    std::unique_ptr<TavoComPort> port_;
    std::unique_ptr<ModulePoints> points_;
    std::vector<PortExchange> heard_;
};

// Module 01 on its own, as the tests address it.
inline constexpr ModuleLocation kAscii01{1, -1, PointProtocol::Ascii};
inline constexpr ModuleLocation kModbus01{1, -1, PointProtocol::Modbus};
using Strings = std::vector<std::string>;

// A Modbus request's bytes: slave, function, then 16-bit numbers big-endian.
inline std::string ModbusRequest(int slave, int function, std::initializer_list<int> words) {
    std::string bytes{static_cast<char>(slave), static_cast<char>(function)};
    for (const int w : words) {
        bytes += static_cast<char>((w >> 8) & 0xFF);
        bytes += static_cast<char>(w & 0xFF);
    }
    return bytes;
}

} // namespace tavo::test
