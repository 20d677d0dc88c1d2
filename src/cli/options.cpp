#include "options.h"

#include "transport/serial_backend.h"

#include <algorithm>
#include <cctype>

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
    // Decimal, or hexadecimal after 0x; a leading zero is no octal prefix ("080" is 80).
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::size_t first = hex ? 2 : 0;
    const bool startsWell = text.size() > first &&
                            (std::isxdigit(static_cast<unsigned char>(text[first])) ||
                             (!hex && (text[0] == '-' || text[0] == '+')));
    try {
        if (startsWell)
            value = std::stol(hex ? text.substr(2) : text, &used, hex ? 16 : 10);
        if (hex && used) used += 2;
    } catch (...) {
        used = 0;
    }
    if (used == 0 || used != text.size() || value < lo || value > hi)
        throw UsageError{what + " must be a number from " + std::to_string(lo) + " to " +
                         std::to_string(hi) + " (got " + ShownArgument(text) + ")"};
    return value;
}

std::string ShownArgument(const std::string& text) {
    std::string shown;
    for (const char c : text.substr(0, 40))
        shown += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
    return "'" + shown + (text.size() > 40 ? "...'" : "'");
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
    p.turnaroundMs = static_cast<int>(args.GetInt("turnaround", 20, 0, 100));
    return p;
}

std::unique_ptr<TavoComPort> OpenPort(const PortOptions& o) {
    auto port = std::make_unique<TavoComPort>(o.port);
    if (!port->OpenPort())
        throw PortFailure{"cannot open " + o.port + ": " + port->LastError().text};
    if (!port->SetPortState(o.baud, 8, o.parity, o.stopBits))
        throw PortFailure{"cannot set " + o.port + " to " + std::to_string(o.baud) + " baud: " +
                          port->LastError().text};
    port->SetTimeOut(o.timeoutMs);
    return port;
}

namespace {

std::vector<std::string> CommaList(const Args& args, const std::string& name) {
    std::vector<std::string> items;
    const std::string text = args.Get(name);
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t comma = std::min(text.find(',', from), text.size());
        items.push_back(text.substr(from, comma - from));
        from = comma + 1;
    }
    for (const auto& item : items)
        if (item.empty()) throw UsageError{"--" + name + " has an empty item in '" + text + "'"};
    return items;
}

} // namespace

SearchOptions ReadSearchOptions(const Args& args, const PortOptions& port) {
    SearchOptions o;
    if (args.Has("probes")) {
        o.probes = 0;
        for (const auto& name : CommaList(args, "probes")) {
            if (name == "ascii") o.probes |= kProbeAscii;
            else if (name == "checksum") o.probes |= kProbeChecksum;
            else if (name == "modbus") o.probes |= kProbeModbus;
            else
                throw UsageError{"--probes takes ascii, checksum and modbus, separated by commas "
                                 "(got '" + name + "')"};
        }
    }
    if (!args.Has("bauds") && !args.Has("parities")) return o;
    if (args.Has("parity"))
        throw UsageError{"--parity sets the one line setting of a plain search; sweep parities "
                         "with --parities"};
    std::vector<std::uint32_t> bauds;
    if (args.Has("bauds")) {
        // Any rate is taken here; one the port refuses is skipped during the search.
        for (const auto& item : CommaList(args, "bauds")) {
            const auto baud = static_cast<std::uint32_t>(ParseInt(item, 1, 4000000, "a rate in --bauds"));
            if (std::find(bauds.begin(), bauds.end(), baud) == bauds.end()) bauds.push_back(baud);
        }
    } else {
        bauds.push_back(port.baud);
    }
    std::vector<int> parities;
    if (args.Has("parities")) {
        for (const auto& item : CommaList(args, "parities")) {
            int code = 0;
            if (item == "N" || item == "n") code = kParityNone;
            else if (item == "E" || item == "e") code = kParityEven;
            else if (item == "O" || item == "o") code = kParityOdd;
            else throw UsageError{"--parities takes N, E and O, separated by commas (got '" + item + "')"};
            if (std::find(parities.begin(), parities.end(), code) == parities.end())
                parities.push_back(code);
        }
    } else {
        parities.push_back(kParityNone);
    }
    const bool withoutParity =
        std::find(parities.begin(), parities.end(), kParityNone) != parities.end();
    if (!withoutParity && !(o.probes & kProbeModbus))
        throw UsageError{"parities E and O are searched with the Modbus probe only: add modbus to "
                         "--probes or N to --parities"};
    for (const std::uint32_t baud : bauds)
        for (const int parity : parities) o.sweep.push_back({baud, 8, parity, port.stopBits});
    return o;
}

} // namespace tavo::cli
