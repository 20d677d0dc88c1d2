#include "search_config.h"

#include <algorithm>
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
        // as a rule, which only the rack's slot table tells for sure. A rack speaking
        // Modbus has told the model already.
        if (where.slot >= 0 && where.protocol != PointProtocol::Modbus) {
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

BusConfig BusFromSearch(const PortSearch& search, const std::string& name, const std::string& lead,
                        std::vector<std::string>& notes) {
    const SearchedPort& searched = search.searched;
    BusConfig bus;
    bus.name = name;
    bus.port = searched.port;
    bus.line = searched.line;
    bus.timeoutMs = searched.timeoutMs;
    bus.turnaroundMs = searched.turnaroundMs;
    for (const FoundNode& node : search.found) {
        std::string inner, designation;
        if (!ParseItemText(node.text, inner, designation)) continue;
        const std::string label = lead + node.text;
        ModuleLocation where;
        where.address = inner == "*" ? 0 : static_cast<int>(std::strtol(inner.c_str(), nullptr, 16));
        where.protocol = !node.link                          ? PointProtocol::Ascii
                         : *node.link == LinkKind::ModbusRtu     ? PointProtocol::Modbus
                         : *node.link == LinkKind::AsciiChecksum ? PointProtocol::AsciiChecksum
                                                                 : PointProtocol::Ascii;
        if (node.line && !(*node.line == searched.line)) {
            notes.push_back(label + " is left out: it answered at " + LineSettingsText(*node.line) +
                            ", and the bus runs at " + LineSettingsText(searched.line));
            continue;
        }
        const bool modbusRack =
            where.protocol == PointProtocol::Modbus && SearchEngine::IsModbusRack(designation);
        if (modbusRack && !node.modbusSlots) {
            notes.push_back(label + " is left out: which modules its slots hold was not read (the rack did "
                                    "not tell, or its port was not the open one at the line settings it "
                                    "answered at: select the port and export again)");
            continue;
        }
        if (modbusRack && node.modbusSlots->empty()) {
            notes.push_back(label + " is left out: its slots are empty");
            continue;
        }
        bool slots = false;
        for (const auto* list : {&node.children, modbusRack ? &*node.modbusSlots : nullptr}) {
            if (!list) continue;
            for (const FoundNode& child : *list) {
                std::string slot, slotDesignation;
                if (!ParseItemText(child.text, slot, slotDesignation) || slot.size() != 2 || slot[0] != 'S')
                    continue;
                slots = true;
                ModuleLocation at = where;
                at.slot = slot[1] - '0';
                if (auto m = Module(slotDesignation, at, label + " " + child.text, notes))
                    bus.modules.push_back(std::move(*m));
            }
        }
        if (!slots)
            if (auto m = Module(designation, where, label, notes)) bus.modules.push_back(std::move(*m));
    }
    return bus;
}

} // namespace

GatewayConfig ConfigFromSearch(const std::vector<PortSearch>& ports, std::vector<std::string>& notes) {
    GatewayConfig config;
    for (const PortSearch& search : ports) {
        const std::string base = BusNameForPort(search.searched.port);
        std::string name = base;
        for (int n = 2; std::any_of(config.buses.begin(), config.buses.end(),
                                    [&](const BusConfig& b) { return b.name == name; });
             ++n)
            name = base + "-" + std::to_string(n);
        const std::string lead = ports.size() > 1 ? search.searched.port + ": " : std::string();
        config.buses.push_back(BusFromSearch(search, name, lead, notes));
    }
    if (!config.buses.empty()) config.mqtt.clientId = ("tavo-" + config.buses[0].name).substr(0, 64);
    return config;
}

GatewayConfig ConfigFromSearch(const SearchedPort& searched, const std::vector<FoundNode>& found,
                               std::vector<std::string>& notes) {
    return ConfigFromSearch(std::vector<PortSearch>{{searched, found}}, notes);
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
