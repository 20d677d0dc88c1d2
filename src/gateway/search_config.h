// The gateway configuration of what a search found: every module and slot with its
// protocol and model, nothing writable, the port's line settings, and a broker on
// this machine. `tavo search --gateway-config FILE` writes it.
#pragma once

#include "gateway_config.h"

#include "workspace/core/search_engine.h"

#include <string>
#include <vector>

namespace tavo::gateway {

struct SearchedPort {
    std::string port;
    LineSettings line;
    int timeoutMs = 80;
    int turnaroundMs = 20;
};

// `notes` gets one line for each module that is left out and why (no values of its
// own, another line setting than the bus's, a Modbus rack whose slots the search
// does not list); they go into the file as comments.
GatewayConfig ConfigFromSearch(const SearchedPort& searched, const std::vector<FoundNode>& found,
                               std::vector<std::string>& notes);

// Writes the configuration with its notes to `path` (through a temporary file beside
// it, so a failure leaves no half file). False with one line in `error`.
bool WriteConfigFile(const std::string& path, const GatewayConfig& config,
                     const std::vector<std::string>& notes, std::string& error);

} // namespace tavo::gateway
