// `tavo gateway` and the gateway configuration `tavo search --gateway-config` writes.
#pragma once

#include "options.h"

#include <string>
#include <vector>

namespace tavo::cli {

// Runs the gateway on a configuration file until SIGTERM or SIGINT; returns the exit
// status. A configuration or a port that cannot be used: one line on standard error
// and status 2, before anything is published.
int Gateway(const std::vector<std::string>& argv);

// Writes the configuration of what a search of `port` found to `path`. False with
// one line in `error`.
bool WriteSearchGatewayConfig(const std::string& path, const PortOptions& port,
                              const std::vector<FoundNode>& found, std::string& error);

} // namespace tavo::cli
