// The gateway's configuration file: any bytes are either refused with one line that
// names the file (and, where the text has one, its line and column) or read into a
// configuration that the writer puts back into a file that reads to the same.
#include "gateway/gateway_config.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavo::gateway;
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Side files come from here, never from the disk: a few exist, the rest do not.
    const FileReader files = [](const std::string& path, std::string& why) -> std::optional<std::string> {
        if (path == "/etc/tavo/mqtt.pw" || path == "/etc/tavo/ca.pem") return std::string("secret\n");
        why = "No such file or directory";
        return std::nullopt;
    };
    GatewayConfig config;
    std::string error;
    if (!ParseGatewayConfig(text, "/etc/tavo/gw.yaml", config, error, files)) {
        if (error.rfind("/etc/tavo/gw.yaml:", 0) != 0 || error.find('\n') != std::string::npos) std::abort();
        return 0;
    }
    for (const BusConfig& bus : config.buses) {
        if (bus.name.empty() || bus.port.empty()) std::abort();
        for (const ModuleConfig& m : bus.modules)
            if (m.where.address < 0 || m.where.address > 255 || m.where.slot > 7) std::abort();
    }
    GatewayConfig again;
    if (!ParseGatewayConfig(GatewayConfigYaml(config), "/etc/tavo/gw.yaml", again, error, files)) std::abort();
    if (!(again == config)) std::abort();
    return 0;
}
