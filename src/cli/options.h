// Command-line parsing shared by the tavo subcommands.
#pragma once

#include "workspace/core/search_engine.h"
#include "transport/com_port.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavo::cli {

inline constexpr int kOk = 0;
inline constexpr int kNoAnswer = 1; // a module did not answer or refused
inline constexpr int kUsage = 2;    // wrong arguments, or the port (or a file) cannot be used

// Thrown for wrong arguments; main prints it with the usage and exits 2.
struct UsageError {
    std::string message;
};

// Thrown when the port (or a file the command needs) cannot be used; exit 2.
struct PortFailure {
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
// What a user typed, quoted for a message of one line: control characters as '?',
// at most 40 characters and "..." ("'ai0'", "'4?5'").
std::string ShownArgument(const std::string& text);

struct PortOptions {
    std::string port;
    std::uint32_t baud = 9600;
    int parity = 0;   // codes of the transport
    int stopBits = 0; // 0 one, 2 two
    int timeoutMs = 80;
    int turnaroundMs = 20; // Modbus pause before a request and before its response
};
PortOptions ReadPortOptions(const Args& args);
// Opens the port at the options' line settings and time-out; throws PortFailure.
std::unique_ptr<TavoComPort> OpenPort(const PortOptions& o);

// --probes ascii,checksum,modbus (any subset), --bauds B,B,... and --parities N,E,O:
// the sweep is every rate with every parity, at the port's stop bits. Without
// --bauds and --parities the search stays at the port's own settings.
SearchOptions ReadSearchOptions(const Args& args, const PortOptions& port);

} // namespace tavo::cli
