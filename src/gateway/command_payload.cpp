#include "command_payload.h"

#include "points/point_text.h"

#include <algorithm>

namespace tavo::gateway {

std::optional<double> ParseCommandPayload(std::string_view payload, const PointInfo& info,
                                          std::string& error) {
    if (payload.size() > kMaxCommandBytes) {
        error = "the command is " + std::to_string(payload.size()) + " bytes long; at most " +
                std::to_string(kMaxCommandBytes) + " are taken";
        return std::nullopt;
    }
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!payload.empty() && blank(payload.front())) payload.remove_prefix(1);
    while (!payload.empty() && blank(payload.back())) payload.remove_suffix(1);
    if (payload.empty()) {
        error = "the command is empty: send " +
                std::string(IsDigital(info.kind) ? "ON or OFF" : "a number");
        return std::nullopt;
    }
    if (!std::all_of(payload.begin(), payload.end(), [](char c) {
            return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F;
        })) {
        error = "the command holds bytes that are no printable ASCII characters";
        return std::nullopt;
    }
    return ParsePointValue(info, payload, error);
}

} // namespace tavo::gateway
