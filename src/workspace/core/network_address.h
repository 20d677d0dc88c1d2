// Network port addresses as a person types them, checked before they become port
// names: "tcp://HOST:PORT" (raw TCP) or "rfc2217://HOST:PORT" (Telnet COM-PORT-OPTION).
#pragma once

#include "transport/serial_backend.h"

#include <string>

namespace tavo {

struct NetworkAddress {
    std::string name;    // the port name to list and open; empty when `problem` is set
    std::string problem; // what is wrong with the text, for people; empty when it is good
};

// Trims the text, lower-cases the scheme and drops trailing slashes, then checks
// the form: a known scheme, a host (an IPv6 address in brackets) and a port number
// 1 to 65535. Nothing is resolved or connected here.
NetworkAddress CheckNetworkAddress(const std::string& text);

// True when the text means to be a network address (it has a "scheme://" part or
// starts with "tcp:" or "rfc2217:"), so that a wrong one is reported rather than
// taken for a device path.
bool LooksLikeNetworkAddress(const std::string& text);

// Why a port's line is fixed, in a few words for a message; empty when it is not.
std::string FixedLineReason(FixedLine fixed);

} // namespace tavo
