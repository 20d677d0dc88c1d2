// The payload of a command ("<prefix>/<bus>/<AA>/set/<point>"): the value asked for,
// checked for the point's kind before any of it reaches a bus.
#pragma once

#include "points/point.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavo::gateway {

// A longer payload is refused unread.
inline constexpr std::size_t kMaxCommandBytes = 256;

// Digital points take ON, OFF, 1, 0, true or false (any case); the others a decimal
// number. Blanks and line ends around the value are dropped; any other byte that is
// no printable ASCII character refuses the payload. nullopt with one line in `error`
// (printable text only, so it can go back in a reply as it is). The point's limits
// are not checked here.
std::optional<double> ParseCommandPayload(std::string_view payload, const PointInfo& info,
                                          std::string& error);

} // namespace tavo::gateway
