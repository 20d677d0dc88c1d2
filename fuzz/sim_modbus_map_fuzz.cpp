// Modbus requests of any shape against the simulated digital and universal modules'
// maps: every request gets an answer or an exception, never a crash, and an answer
// to a write repeats the request.
#include "sim/models.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

std::unique_ptr<tavo::sim::SimModule> Make(const char* designation) {
    tavo::sim::ModuleConfig c;
    c.address = 0x0A;
    c.designation = designation;
    c.protocol = tavo::sim::Protocol::Modbus;
    return tavo::sim::MakeModule(c);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto modules = [] {
        std::array<std::unique_ptr<tavo::sim::SimModule>, 3> m = {Make("R850"), Make("R560SO"),
                                                                  Make("R520")};
        return m;
    }();
    if (size < 1) return 0;
    auto& m = *modules[data[0] % modules.size()];
    tavo::sim::Bytes frame{0x0A};
    frame.insert(frame.end(), data + 1, data + size);
    const auto reply = m.OnModbusFrame(frame, tavo::sim::SimClock::now());
    if (frame.size() >= 2 && (!reply || reply->size() < 3 || (*reply)[0] != 0x0A)) __builtin_trap();
    if (m.received.size() > 100) m.received.clear();
    return 0;
}
