// The gateway configuration of what a search found: every module and slot with its
// protocol and model, nothing writable, each port's line settings, and a broker on
// this machine. `tavo search --gateway-config FILE` and the window's File › Export
// Gateway Configuration write it.
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

// What the search of one port found, with the settings it searched at.
struct PortSearch {
    SearchedPort searched;
    std::vector<FoundNode> found;
};

// One bus per port, in the order given, named after its port (a name another port's
// bus already has gets "-2", "-3", ...). A rack's slots are its slot nodes, or for a
// rack speaking Modbus the node's modbusSlots. `notes` gets one line for each module
// that is left out and why (no values of its own, another line setting than the
// bus's, a Modbus rack whose slots the search did not read), led by the port when
// there are several; they go into the file as comments.
GatewayConfig ConfigFromSearch(const std::vector<PortSearch>& ports, std::vector<std::string>& notes);
// The same for the search of one port.
GatewayConfig ConfigFromSearch(const SearchedPort& searched, const std::vector<FoundNode>& found,
                               std::vector<std::string>& notes);

// Writes the configuration with its notes to `path` (through a temporary file beside
// it, so a failure leaves no half file). False with one line in `error`.
bool WriteConfigFile(const std::string& path, const GatewayConfig& config,
                     const std::vector<std::string>& notes, std::string& error);

} // namespace tavo::gateway
