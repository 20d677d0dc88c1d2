// Arbitrary exchanges into the points of the analog outputs and the loop controller
// (R310, R330 and R320T, ASCII and Modbus), as a port's watcher hands them over.
// Byte 0 picks the model; then records of [kind][request length][request][reply
// length][reply]: kind bit 7 says whether the transaction succeeded, bit 6 makes the
// request one of the commands the families decode (the record's request bytes then
// fill in its numbers), otherwise the request is taken as it comes. Every reading
// must stay a finite number when good, 0 or 1 when digital, and a value CheckWrite
// accepts must lie within the point's limits.
#include "points/module_points.h"
#include "points/point_text.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

struct Model {
    const char* name;
    tavo::PointProtocol protocol;
};
constexpr Model kModels[] = {
    {"R310", tavo::PointProtocol::Ascii},   {"R330", tavo::PointProtocol::Ascii},
    {"R330", tavo::PointProtocol::Modbus},  {"R320T", tavo::PointProtocol::Ascii},
    {"R320T", tavo::PointProtocol::Modbus},
};

// The commands the families take apart, for module 01.
const char* const kAsciiCommands[] = {
    "$012", "$016", "$018",  "$016C", "$018C", "$019C", "$01I",  "#01",     "$01B",
    "$017", "#01O", "#01PR", "#01PW", "%01",   "$015",  "$017C", "$019C0R",
};

std::string Take(const uint8_t*& data, size_t& size, size_t count) {
    count = count < size ? count : size;
    std::string out(reinterpret_cast<const char*>(data), count);
    data += count;
    size -= count;
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const Model& model = kModels[data[0] % (sizeof kModels / sizeof kModels[0])];
    ++data;
    --size;
    std::string error;
    auto points = tavo::MakeModulePoints(model.name, {1, -1, model.protocol}, error);
    if (!points) std::abort();
    const bool modbus = model.protocol == tavo::PointProtocol::Modbus;
    while (size >= 2) {
        const uint8_t kind = data[0];
        const size_t requestLength = data[1];
        data += 2;
        size -= 2;
        tavo::PortExchange exchange;
        exchange.modbus = modbus;
        exchange.ok = (kind & 0x80) != 0;
        std::string request = Take(data, size, requestLength);
        if (kind & 0x40) {
            if (modbus)
                request = std::string("\x01", 1) + request; // to this module's slave
            else
                request = kAsciiCommands[(kind & 0x3F) %
                                         (sizeof kAsciiCommands / sizeof kAsciiCommands[0])] +
                          request + "\r";
        }
        exchange.request = request;
        const size_t replyLength = size > 0 ? data[0] : 0;
        if (size > 0) {
            ++data;
            --size;
        }
        exchange.reply = Take(data, size, replyLength);
        points->Observe(exchange);
    }
    const auto& infos = points->Points();
    const auto& readings = points->Readings();
    for (size_t i = 0; i < infos.size(); ++i) {
        const tavo::PointReading& r = readings[i];
        if (r.quality == tavo::PointQuality::Good) {
            if (!std::isfinite(r.value)) std::abort();
            if (tavo::IsDigital(infos[i].kind) && r.value != 0.0 && r.value != 1.0) std::abort();
        }
        (void)tavo::PointValueText(infos[i], r);
        for (const char* text : {"0", "1", "4.5", "-10", "4095", "100.5"})
            if (const auto value = points->CheckWrite(infos[i].name, text, error)) {
                if ((!std::isnan(infos[i].min) && *value < infos[i].min) ||
                    (!std::isnan(infos[i].max) && *value > infos[i].max))
                    std::abort();
            }
    }
    (void)tavo::PointsTable(*points);
    return 0;
}
