#include "gateway_command.h"

#include "gateway/gateway_service.h"
#include "gateway/modbus_tcp_map.h"
#include "gateway/search_config.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <sstream>

namespace tavo::cli {
namespace {

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos) return text;
    std::string out = "\"";
    for (const char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

// `tavo gateway --print-map`: the numbers of every configured module with a model.
// A module without one gets one line on standard error and status 1: its map is its
// model's, which only the module itself would tell.
int PrintMap(const gateway::GatewayConfig& config, bool csv) {
    using gateway::ModbusMapRow;
    std::vector<std::pair<std::string, ModbusMapRow>> rows;
    int missing = 0;
    for (const auto& bus : config.buses)
        for (const auto& m : bus.modules) {
            const std::string key = bus.name + "/" + LocationText(m.where);
            if (m.model.empty()) {
                std::cerr << "tavo: " << key << " has no model in " << config.path << ": its map is its model's; "
                          << (m.where.slot >= 0
                                  ? "add 'model:' with the slot's module as the search tree shows it\n"
                                  : "add 'model:' to it, or let `tavo search --gateway-config` write the "
                                    "configuration (it writes every model it finds)\n");
                ++missing;
                continue;
            }
            std::string why;
            const auto points = MakeModulePoints(m.model, m.where, why);
            if (!points) continue; // the configuration reader refuses such a module already
            for (auto& row : gateway::MapRows(m.where.address, m.where.slot, points->Points(), m.writable))
                rows.emplace_back(key, std::move(row));
        }
    const auto numbers = [](const ModbusMapRow& r) {
        return r.first == r.last ? std::to_string(r.first) : std::to_string(r.first) + "-" + std::to_string(r.last);
    };
    if (csv) {
        std::cout << "module,unit_id,table,first,last,point,kind,unit,writable\n";
        for (const auto& [key, r] : rows)
            std::cout << key << "," << r.unit << "," << gateway::ModbusTableName(r.table) << "," << r.first
                      << "," << r.last << "," << r.point << "," << PointKindName(r.kind) << ","
                      << CsvField(r.unitText) << "," << (r.writable ? "yes" : "no") << "\n";
    } else {
        std::cout << std::left << std::setw(14) << "module" << std::setw(8) << "unit id" << std::setw(26) << "table"
                  << std::setw(11) << "number" << std::setw(7) << "point" << std::setw(16) << "kind"
                  << std::setw(6) << "unit" << "writable\n";
        for (const auto& [key, r] : rows) {
            // setw counts bytes; "°C" and "Ω" take one column more than they show.
            const std::size_t extra = r.unitText.size() -
                static_cast<std::size_t>(std::count_if(r.unitText.begin(), r.unitText.end(),
                                                       [](char c) { return (c & 0xC0) != 0x80; }));
            std::cout << std::setw(14) << key << std::setw(8) << r.unit << std::setw(26)
                      << gateway::ModbusTableName(r.table) << std::setw(11) << numbers(r) << std::setw(7)
                      << r.point << std::setw(16) << PointKindName(r.kind)
                      << std::setw(static_cast<int>(6 + extra)) << (r.unitText.empty() ? "-" : r.unitText)
                      << (r.writable ? "yes" : "no") << "\n";
        }
    }
    return missing ? 1 : 0;
}

} // namespace

int Gateway(const std::vector<std::string>& argv) {
    const Args args = Args::Parse(argv, {}, {"check", "print-map", "csv"});
    if (args.words.size() != 1) throw UsageError{"tavo gateway takes one configuration file"};
    // A broker or device server that drops the connection must not end the service.
    std::signal(SIGPIPE, SIG_IGN);
    gateway::GatewayService::BlockSignals();
    gateway::GatewayConfig config;
    std::string error;
    if (!gateway::ReadGatewayConfig(args.words[0], config, error)) {
        std::cerr << "tavo: " << error << "\n";
        return 2;
    }
    if (args.Has("csv") && !args.Has("print-map")) throw UsageError{"--csv goes with --print-map"};
    if (args.Has("print-map")) return PrintMap(config, args.Has("csv"));
    if (args.Has("check")) {
        std::size_t modules = 0;
        for (const auto& bus : config.buses) modules += bus.modules.size();
        std::cout << args.words[0] << ": " << modules << " modules on " << config.buses.size()
                  << " buses";
        if (config.useMqtt) std::cout << ", broker " << config.mqtt.host << ":" << config.mqtt.port;
        if (config.modbusTcp)
            std::cout << ", Modbus TCP on " << config.modbusTcp->bind << ":" << config.modbusTcp->port;
        std::cout << "\n";
        return 0;
    }
    gateway::GatewayService service(std::move(config), gateway::StandardErrorLog());
    if (!service.Open(error)) {
        std::cerr << "tavo: " << error << "\n";
        return 2;
    }
    return service.Run();
}

bool WriteSearchGatewayConfig(const std::string& path, const PortOptions& port,
                              const std::vector<FoundNode>& found, std::string& error) {
    gateway::SearchedPort searched;
    searched.port = port.port;
    searched.line = {port.baud, 8, port.parity, port.stopBits};
    searched.timeoutMs = port.timeoutMs;
    searched.turnaroundMs = port.turnaroundMs;
    std::vector<std::string> notes;
    const auto config = gateway::ConfigFromSearch(searched, found, notes);
    return gateway::WriteConfigFile(path, config, notes, error);
}

} // namespace tavo::cli
