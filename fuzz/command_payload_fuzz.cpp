// Command payloads as an MQTT client may send them: any bytes give a value of the
// point's kind or one printable line saying why not, and a value is what the same
// text typed for `tavo write` would be.
#include "gateway/command_payload.h"
#include "points/point_text.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavo;
    if (size == 0) return 0;
    // The first byte picks the point; the rest is the payload.
    PointInfo info;
    info.name = "p0";
    info.kind = data[0] % 2 ? PointKind::DigitalOutput : PointKind::AnalogOutput;
    info.unit = "mA";
    const std::string payload(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string error;
    const auto value = gateway::ParseCommandPayload(payload, info, error);
    if (!value) {
        if (error.empty()) std::abort();
        for (const char c : error)
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) std::abort();
        return 0;
    }
    if (!error.empty() || !std::isfinite(*value) || payload.size() > gateway::kMaxCommandBytes) std::abort();
    if (IsDigital(info.kind) && *value != 0.0 && *value != 1.0) std::abort();
    std::string_view typed = payload;
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!typed.empty() && blank(typed.front())) typed.remove_prefix(1);
    while (!typed.empty() && blank(typed.back())) typed.remove_suffix(1);
    std::string again;
    if (ParsePointValue(info, typed, again) != value) std::abort();
    return 0;
}
