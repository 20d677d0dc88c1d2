#include "gateway_command.h"

#include "gateway/gateway_service.h"
#include "gateway/search_config.h"

#include <csignal>
#include <iostream>

namespace tavo::cli {

int Gateway(const std::vector<std::string>& argv) {
    const Args args = Args::Parse(argv, {}, {"check"});
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
    if (args.Has("check")) {
        std::size_t modules = 0;
        for (const auto& bus : config.buses) modules += bus.modules.size();
        std::cout << args.words[0] << ": " << modules << " modules on " << config.buses.size()
                  << " buses, broker " << config.mqtt.host << ":" << config.mqtt.port << "\n";
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
