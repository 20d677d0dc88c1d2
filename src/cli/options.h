// Command-line parsing shared by the tavo subcommands.
#pragma once

#include "workspace/core/search_engine.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tavo::cli {

// Thrown for wrong arguments; main prints it with the usage and exits 2.
struct UsageError {
    std::string message;
};

// Splits "--name value" options (and "--flag" switches listed in `flags`) from
// positional words.
struct Args {
    std::map<std::string, std::string> options;
    std::vector<std::string> words;

    static Args Parse(const std::vector<std::string>& argv, const std::vector<std::string>& valued,
                      const std::vector<std::string>& flags);
    bool Has(const std::string& name) const { return options.count(name) != 0; }
    std::string Get(const std::string& name, const std::string& fallback = {}) const;
    long GetInt(const std::string& name, long fallback, long lo, long hi) const;
};

long ParseInt(const std::string& text, long lo, long hi, const std::string& what);

struct PortOptions {
    std::string port;
    std::uint32_t baud = 9600;
    int parity = 0;   // codes of the transport
    int stopBits = 0; // 0 one, 2 two
    int timeoutMs = 80;
    int turnaroundMs = 20; // Modbus pause before a request and before its response
};
PortOptions ReadPortOptions(const Args& args);

// --probes ascii,checksum,modbus (any subset), --bauds B,B,... and --parities N,E,O:
// the sweep is every rate with every parity, at the port's stop bits. Without
// --bauds and --parities the search stays at the port's own settings.
SearchOptions ReadSearchOptions(const Args& args, const PortOptions& port);

} // namespace tavo::cli
