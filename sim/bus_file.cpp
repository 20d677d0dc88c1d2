#include "bus_file.h"

#include "models.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tavo::sim {
namespace {

bool ParseFault(const std::string& value, Fault& fault) {
    try {
        std::size_t used = 0;
        if (!value.empty() && value[0] == '#') {
            const int count = std::stoi(value.substr(1), &used);
            if (used + 1 != value.size() || count < 0) return false;
            fault.count = count;
            return true;
        }
        const double p = std::stod(value, &used);
        if (used != value.size() || p < 0.0 || p > 1.0) return false;
        fault.probability = p;
        return true;
    } catch (...) {
        return false;
    }
}

bool ParseInt(const std::string& value, int lo, int hi, int& out) {
    try {
        std::size_t used = 0;
        const int v = std::stoi(value, &used);
        if (used != value.size() || v < lo || v > hi) return false;
        out = v;
        return true;
    } catch (...) {
        return false;
    }
}

unsigned BaudCodeFor(int baud) {
    for (unsigned code = 3; code <= 10; ++code)
        if (BaudForCode(code) == static_cast<std::uint32_t>(baud)) return code;
    return 0;
}

struct Parsed {
    ModuleConfig config;
    FaultPlan faults;
    int line = 0;
};

bool ParseModule(std::istringstream& words, const std::string& first, Parsed& p, std::string& why) {
    const auto address = ParseHex(first);
    if (first.size() != 2 || !address) {
        why = "address '" + first + "' is not two hexadecimal digits";
        return false;
    }
    p.config.address = *address;
    if (!(words >> p.config.designation)) {
        why = "model designation missing";
        return false;
    }
    bool checksumSet = false, checksum = false;
    std::string word;
    while (words >> word) {
        const auto eq = word.find('=');
        const std::string key = word.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : word.substr(eq + 1);
        const auto bad = [&] {
            why = "bad value in '" + word + "'";
            return false;
        };
        if (key == "init" && eq == std::string::npos) {
            p.config.init = true;
        } else if (key == "checksum") {
            if (eq == std::string::npos || value == "on") checksum = true;
            else if (value == "off") checksum = false;
            else return bad();
            checksumSet = true;
        } else if (key == "baud") {
            int baud = 0;
            if (!ParseInt(value, 1, 1000000, baud) || !BaudCodeFor(baud)) return bad();
            p.config.baudCode = BaudCodeFor(baud);
        } else if (key == "parity") {
            if (value == "N") p.config.parity = 0;
            else if (value == "O") p.config.parity = 1;
            else if (value == "E") p.config.parity = 2;
            else return bad();
        } else if (key == "firmware" && !value.empty()) {
            p.config.firmware = value;
        } else if (key == "type" || key == "format") {
            const auto v = ParseHex(value);
            if (value.size() != 2 || !v) return bad();
            (key == "type" ? p.config.typeCode : p.config.formatCode) = *v;
        } else if (key == "protocol") {
            if (value == "ascii") p.config.protocol = Protocol::Ascii;
            else if (value == "modbus") p.config.protocol = Protocol::Modbus;
            else return bad();
        } else if (key == "delay") {
            if (!ParseInt(value, 0, 60000, p.config.replyDelayMs)) return bad();
        } else if (key == "latems") {
            if (!ParseInt(value, 0, 60000, p.faults.lateMs)) return bad();
        } else if (key == "noreply" || key == "corrupt" || key == "badsum" || key == "late" ||
                   key == "noise" || key == "garbage" || key == "cut") {
            Fault& f = key == "noreply" ? p.faults.noReply
                       : key == "cut"     ? p.faults.cut
                       : key == "corrupt" ? p.faults.corrupt
                       : key == "badsum"  ? p.faults.badChecksum
                       : key == "late"    ? p.faults.late
                       : key == "garbage" ? p.faults.garbage
                                          : p.faults.noise;
            if (!ParseFault(value, f)) return bad();
        } else if (eq != std::string::npos && IsModelOption(key)) {
            p.config.options[key] = value;
        } else {
            why = "unknown option '" + word + "'";
            return false;
        }
    }
    if (checksumSet) p.config.formatCode = checksum ? (p.config.formatCode | 0x40) : (p.config.formatCode & ~0x40u);
    return true;
}

} // namespace

bool LoadBusText(const std::string& text, Bus& bus, std::string& error) {
    std::istringstream in(text);
    std::string line;
    int number = 0;
    std::vector<Parsed> modules;
    bool wire = bus.wireTime();
    std::optional<unsigned> seed;
    while (std::getline(in, line)) {
        ++number;
        if (const auto hash = line.find('#'); hash != std::string::npos) {
            // '#' starts a comment unless it introduces a fault count ("=#3").
            std::size_t at = hash;
            while (at != std::string::npos && at > 0 && line[at - 1] == '=') at = line.find('#', at + 1);
            if (at != std::string::npos) line.erase(at);
        }
        std::istringstream words(line);
        std::string first;
        if (!(words >> first)) continue;
        std::string why;
        if (first == "wire") {
            std::string v;
            words >> v;
            if (v != "on" && v != "off") why = "write 'wire on' or 'wire off'";
            wire = v == "on";
        } else if (first == "seed") {
            long long v = -1;
            if (!(words >> v) || v < 0) why = "seed needs a non-negative number";
            else seed = static_cast<unsigned>(v);
        } else {
            Parsed p;
            p.line = number;
            if (ParseModule(words, first, p, why)) modules.push_back(std::move(p));
        }
        if (!why.empty()) {
            error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
    }
    // Model options are checked as the modules are built; nothing is added to the
    // bus unless every module could be.
    std::vector<std::unique_ptr<SimModule>> built;
    for (auto& p : modules) {
        try {
            built.push_back(MakeModule(std::move(p.config)));
        } catch (const std::invalid_argument& e) {
            error = "line " + std::to_string(p.line) + ": " + e.what();
            return false;
        }
        built.back()->faults() = p.faults;
    }
    for (auto& module : built) bus.Add(std::move(module));
    bus.SetWireTime(wire);
    if (seed) bus.Seed(*seed);
    return true;
}

bool LoadBusFile(const std::string& path, Bus& bus, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read bus file " + path;
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    return LoadBusText(text.str(), bus, error);
}

} // namespace tavo::sim
