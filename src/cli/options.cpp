#include "options.h"

#include "transport/serial_backend.h"

#include <algorithm>

namespace tavo::cli {

Args Args::Parse(const std::vector<std::string>& argv, const std::vector<std::string>& valued,
                 const std::vector<std::string>& flags) {
    Args a;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        const std::string& w = argv[i];
        if (w.size() > 2 && w.rfind("--", 0) == 0) {
            const std::string name = w.substr(2);
            if (std::find(flags.begin(), flags.end(), name) != flags.end()) {
                a.options[name] = "1";
            } else if (std::find(valued.begin(), valued.end(), name) != valued.end()) {
                if (i + 1 >= argv.size()) throw UsageError{"option " + w + " needs a value"};
                a.options[name] = argv[++i];
            } else {
                throw UsageError{"unknown option " + w};
            }
        } else {
            a.words.push_back(w);
        }
    }
    return a;
}

std::string Args::Get(const std::string& name, const std::string& fallback) const {
    const auto it = options.find(name);
    return it == options.end() ? fallback : it->second;
}

long ParseInt(const std::string& text, long lo, long hi, const std::string& what) {
    long value = 0;
    std::size_t used = 0;
    try {
        value = std::stol(text, &used, 0);
    } catch (...) {
        used = 0;
    }
    if (used == 0 || used != text.size() || value < lo || value > hi)
        throw UsageError{what + " must be a number from " + std::to_string(lo) + " to " +
                         std::to_string(hi) + " (got '" + text + "')"};
    return value;
}

long Args::GetInt(const std::string& name, long fallback, long lo, long hi) const {
    return Has(name) ? ParseInt(Get(name), lo, hi, "--" + name) : fallback;
}

PortOptions ReadPortOptions(const Args& args) {
    PortOptions p;
    if (!args.Has("port")) throw UsageError{"--port is required (see 'tavo ports')"};
    p.port = args.Get("port");
    p.baud = static_cast<std::uint32_t>(args.GetInt("baud", 9600, 1, 1000000));
    static const std::uint32_t kBauds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    if (std::find(std::begin(kBauds), std::end(kBauds), p.baud) == std::end(kBauds))
        throw UsageError{"--baud must be one of 1200 2400 4800 9600 19200 38400 57600 115200"};
    const std::string parity = args.Get("parity", "N");
    if (parity == "N" || parity == "n") p.parity = kParityNone;
    else if (parity == "E" || parity == "e") p.parity = kParityEven;
    else if (parity == "O" || parity == "o") p.parity = kParityOdd;
    else throw UsageError{"--parity must be N, E or O"};
    const std::string stop = args.Get("stop", "1");
    if (stop == "1") p.stopBits = kOneStopBit;
    else if (stop == "2") p.stopBits = kTwoStopBits;
    else throw UsageError{"--stop must be 1 or 2"};
    p.timeoutMs = static_cast<int>(args.GetInt("timeout", 80, 1, 60000));
    return p;
}

} // namespace tavo::cli
