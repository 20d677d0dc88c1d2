#include "search_config.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace tavo::gateway {
namespace {

std::optional<ModuleConfig> Module(const std::string& designation, const ModuleLocation& where,
                                   const std::string& label, std::vector<std::string>& notes) {
    std::string why;
    if (!MakeModulePoints(designation, where, why)) {
        // A slot the search names by a name no family knows is a generic analog input
        // as a rule, which only the rack's slot table tells for sure.
        if (where.slot >= 0) {
            notes.push_back(label + " has no model here: the rack is asked at start which points it has");
            ModuleConfig m;
            m.where = where;
            return m;
        }
        notes.push_back(label + " is left out: " + why);
        return std::nullopt;
    }
    ModuleConfig m;
    m.where = where;
    m.model = designation;
    return m;
}

} // namespace

GatewayConfig ConfigFromSearch(const SearchedPort& searched, const std::vector<FoundNode>& found,
                               std::vector<std::string>& notes) {
    GatewayConfig config;
    BusConfig bus;
    bus.name = BusNameForPort(searched.port);
    bus.port = searched.port;
    bus.line = searched.line;
    bus.timeoutMs = searched.timeoutMs;
    bus.turnaroundMs = searched.turnaroundMs;
    config.mqtt.clientId = ("tavo-" + bus.name).substr(0, 64);
    for (const FoundNode& node : found) {
        std::string inner, designation;
        if (!ParseItemText(node.text, inner, designation)) continue;
        ModuleLocation where;
        where.address = inner == "*" ? 0 : static_cast<int>(std::strtol(inner.c_str(), nullptr, 16));
        where.protocol = !node.link                          ? PointProtocol::Ascii
                         : *node.link == LinkKind::ModbusRtu     ? PointProtocol::Modbus
                         : *node.link == LinkKind::AsciiChecksum ? PointProtocol::AsciiChecksum
                                                                 : PointProtocol::Ascii;
        if (node.line && !(*node.line == searched.line)) {
            notes.push_back(node.text + " is left out: it answered at " + LineSettingsText(*node.line) +
                            ", and the bus runs at " + LineSettingsText(searched.line));
            continue;
        }
        bool slots = false;
        for (const FoundNode& child : node.children) {
            std::string slot, slotDesignation;
            if (!ParseItemText(child.text, slot, slotDesignation) || slot.size() != 2 || slot[0] != 'S')
                continue;
            slots = true;
            ModuleLocation at = where;
            at.slot = slot[1] - '0';
            if (auto m = Module(slotDesignation, at, node.text + " " + child.text, notes))
                bus.modules.push_back(std::move(*m));
        }
        if (!slots)
            if (auto m = Module(designation, where, node.text, notes)) bus.modules.push_back(std::move(*m));
    }
    config.buses.push_back(std::move(bus));
    return config;
}

bool WriteConfigFile(const std::string& path, const GatewayConfig& config,
                     const std::vector<std::string>& notes, std::string& error) {
    const std::string text = GatewayConfigYaml(config, notes);
    std::string temporary = path + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    bool ok = fchmod(fd, 0644) == 0;
    while (ok && done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<std::size_t>(n);
    }
    const int saved = errno;
    if (::close(fd) != 0 && ok) ok = false;
    if (ok && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    error = "cannot write " + path + ": " + std::strerror(ok ? errno : saved);
    ::unlink(temporary.c_str());
    return false;
}

} // namespace tavo::gateway
