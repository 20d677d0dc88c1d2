// The points of the digital I/O, universal and counter modules take whatever an
// exchange on the port holds: any request, any reply, ok or not. Nothing crashes or
// reads past a reply, and a reading that is good is a value its point can have: 0 or
// 1 for a digital point, a 32-bit count, a finite frequency of at least 0.
//
// Input: a byte choosing the model and its protocol, then exchanges, each a flag
// byte (bit 0 ok), the request's length and bytes, the reply's length and bytes. A
// request of one byte below 10 stands for a command the panels send ("$0A6", "#0A2",
// "$0ACIC3", ... or the Modbus reads of the coils and registers), so that the
// decoders are reached with arbitrary replies; any other request is taken as given.
// ASCII lines get their CR, Modbus frames the module's slave number first.
#include "points/module_points.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using namespace tavo;

constexpr const char* kModels[] = {"R510", "R520", "R530", "R540", "R550", "R560S", "R560SO",
                                   "R610", "R620", "R630", "R850", "R860", "R710",  "R710D"};
constexpr int kAddress = 0x0A;

constexpr const char* kAsciiRequests[] = {
    "$0A6\r", "#0A2\r",  "$0ACIC3\r",     "$0ACIC304\r", "$0A2\r",
    "#0A0\r", "@0ADI\r", "%0A0A510600\r", "#0A1\r",      "$0AE0\r",
};
// Slave, function, first (wire address), count / value.
constexpr std::uint8_t kModbusRequests[][6] = {
    {kAddress, 0x01, 0x00, 0x10, 0x00, 0x08}, {kAddress, 0x01, 0x00, 0x00, 0x00, 0x10},
    {kAddress, 0x03, 0x01, 0x2C, 0x00, 0x07}, {kAddress, 0x03, 0x01, 0x40, 0x00, 0x0E},
    {kAddress, 0x06, 0x01, 0x2E, 0x00, 0x01}, {kAddress, 0x01, 0x00, 0x10, 0x00, 0x0F},
    {kAddress, 0x03, 0x01, 0x41, 0x00, 0x01}, {kAddress, 0x05, 0x00, 0x11, 0xFF, 0x00},
};

// The next `length`-prefixed piece of `rest`.
std::string_view Piece(std::string_view& rest) {
    if (rest.empty()) return {};
    const std::size_t length =
        std::min<std::size_t>(static_cast<std::uint8_t>(rest[0]), rest.size() - 1);
    const std::string_view piece = rest.substr(1, length);
    rest.remove_prefix(1 + length);
    return piece;
}

void CheckReadings(const ModulePoints& points) {
    if (points.Readings().size() != points.Points().size()) std::abort();
    for (std::size_t i = 0; i < points.Points().size(); ++i) {
        const PointInfo& info = points.Points()[i];
        const PointReading& r = points.Readings()[i];
        if (r.quality != PointQuality::Good) continue;
        const bool inRange = r.value >= info.min && r.value <= info.max;
        if (!std::isfinite(r.value) || !inRange) std::abort();
        if (IsDigital(info.kind) && r.value != 0.0 && r.value != 1.0) std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const int choice = data[0] % (2 * static_cast<int>(std::size(kModels)));
    const ModuleLocation where{kAddress, -1,
                               choice % 2 ? PointProtocol::Modbus : PointProtocol::Ascii};
    std::string error;
    auto points = MakeModulePoints(kModels[choice / 2], where, error);
    if (!points) return 0; // an ASCII-only model asked for Modbus
    const bool modbus = where.protocol == PointProtocol::Modbus;

    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    while (!rest.empty()) {
        const char flags = rest[0];
        rest.remove_prefix(1);
        const std::string_view request = Piece(rest);
        const std::string_view reply = Piece(rest);
        PortExchange exchange;
        exchange.modbus = modbus;
        exchange.ok = flags & 1;
        const int pick =
            request.size() == 1 && static_cast<std::uint8_t>(request[0]) < 10 ? request[0] : -1;
        if (modbus && pick >= 0) {
            const auto& frame =
                kModbusRequests[static_cast<std::size_t>(pick) % std::size(kModbusRequests)];
            exchange.request.assign(reinterpret_cast<const char*>(frame), 6);
        } else if (pick >= 0) {
            exchange.request = kAsciiRequests[pick];
        } else if (modbus) {
            exchange.request = std::string(1, static_cast<char>(kAddress)) + std::string(request);
        } else {
            exchange.request = std::string(request) + "\r";
        }
        exchange.reply = modbus ? std::string(1, static_cast<char>(kAddress)) + std::string(reply)
                                : std::string(reply) + "\r";
        points->Observe(exchange);
        CheckReadings(*points);
    }
    return 0;
}
