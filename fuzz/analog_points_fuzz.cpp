// The analog input points against arbitrary exchanges: whatever a port reports (any
// request, any reply, ok or not), observing it must not crash or read past its
// bytes, the points keep their names and kinds, a good reading is a finite number
// (0 or 1 on a digital point), and nothing is written to the port (there is none).
//
// Input: one byte choosing the model and protocol, then exchanges, each as a flags
// byte (bit 0 ok; bit 1: the request starts with a lead character and the module's
// address "01", as the commands to it do), a length byte and the request, a length
// byte and the reply.
#include "points/families.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {

struct Choice {
    const char* model;
    tavo::PointProtocol protocol;
};

constexpr std::array<Choice, 27> kChoices{{
    {"R210", tavo::PointProtocol::Ascii},    {"R210D", tavo::PointProtocol::Ascii},
    {"R220", tavo::PointProtocol::Ascii},    {"R230", tavo::PointProtocol::Ascii},
    {"R250", tavo::PointProtocol::Ascii},    {"R240", tavo::PointProtocol::Ascii},
    {"R240T", tavo::PointProtocol::Ascii},   {"R260", tavo::PointProtocol::Ascii},
    {"R260P", tavo::PointProtocol::Ascii},   {"R270", tavo::PointProtocol::Ascii},
    {"R270P", tavo::PointProtocol::Ascii},   {"R270M", tavo::PointProtocol::Ascii},
    {"R280", tavo::PointProtocol::Ascii},    {"R280P", tavo::PointProtocol::Ascii},
    {"R810", tavo::PointProtocol::Ascii},    {"R820", tavo::PointProtocol::Ascii},
    {"R260AN", tavo::PointProtocol::Ascii},  {"R270AN", tavo::PointProtocol::Ascii},
    {"R240", tavo::PointProtocol::Modbus},   {"R240T", tavo::PointProtocol::Modbus},
    {"R260P", tavo::PointProtocol::Modbus},  {"R270P", tavo::PointProtocol::Modbus},
    {"R280P", tavo::PointProtocol::Modbus},  {"R810", tavo::PointProtocol::Modbus},
    {"R820", tavo::PointProtocol::Modbus},   {"R260AN", tavo::PointProtocol::Modbus},
    {"R270AN", tavo::PointProtocol::Modbus},
}};

// `n` bytes from the input, fewer at its end.
std::string Take(const std::uint8_t*& data, std::size_t& size, std::size_t n) {
    n = std::min(n, size);
    std::string out(reinterpret_cast<const char*>(data), n);
    data += n;
    size -= n;
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const Choice& choice = kChoices[data[0] % kChoices.size()];
    ++data;
    --size;
    std::string error;
    auto points = tavo::MakeModulePoints(choice.model, {1, -1, choice.protocol}, error);
    if (!points) __builtin_trap();
    const std::vector<tavo::PointInfo> before = points->Points();
    while (size >= 3) {
        const std::uint8_t flags = data[0];
        ++data;
        --size;
        tavo::PortExchange exchange;
        exchange.modbus = choice.protocol == tavo::PointProtocol::Modbus;
        exchange.ok = flags & 1;
        const std::size_t requestLength = data[0];
        ++data;
        --size;
        exchange.request = Take(data, size, requestLength);
        if ((flags & 2) && !exchange.modbus && !exchange.request.empty())
            exchange.request.insert(1, "01");
        if (size == 0) break;
        const std::size_t replyLength = data[0];
        ++data;
        --size;
        exchange.reply = Take(data, size, replyLength);
        points->Observe(exchange);

        const auto& now = points->Points();
        if (now.size() != before.size()) __builtin_trap();
        for (std::size_t i = 0; i < now.size(); ++i) {
            if (now[i].name != before[i].name || now[i].kind != before[i].kind) __builtin_trap();
            const tavo::PointReading& r = points->Readings()[i];
            if (r.quality != tavo::PointQuality::Good) continue;
            if (!std::isfinite(r.value)) __builtin_trap();
            if (tavo::IsDigital(now[i].kind) && r.value != 0.0 && r.value != 1.0) __builtin_trap();
        }
    }
    return 0;
}
