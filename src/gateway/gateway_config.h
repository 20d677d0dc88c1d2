// The gateway's configuration: read once from YAML into these plain structs, and
// written back in the same form (what `tavo search --gateway-config` produces).
// Nothing else in the program parses YAML.
#pragma once

#include "points/module_points.h"
#include "transport/serial_backend.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tavo::gateway {

struct TlsConfig {
    std::string caFile;   // PEM file of the certificate authority that signed the broker's
    std::string certFile; // client certificate (PEM); empty without one
    std::string keyFile;  // its key (PEM, not encrypted); set exactly when certFile is
    friend bool operator==(const TlsConfig&, const TlsConfig&) = default;
};

struct MqttConfig {
    std::string host = "127.0.0.1";
    int port = 1883;
    std::string clientId = "tavo-gateway"; // letters, digits, '-' and '_': it is a topic level
    std::string prefix = "tavo";           // topic levels without wildcards or empty levels
    int refreshS = 60;                     // a state is published at least this often
    int keepaliveS = 30;
    bool discovery = true;
    std::string discoveryPrefix = "homeassistant";
    std::string username;     // empty: no login
    std::string passwordFile; // as configured (an absolute path once read)
    std::string password;     // the file's first line; never in the configuration itself
    std::optional<TlsConfig> tls;
    friend bool operator==(const MqttConfig&, const MqttConfig&) = default;
};

struct ModuleConfig {
    ModuleLocation where;
    std::string model; // empty: asked from the module at start
    std::string name;  // free text for people; may be empty
    std::vector<std::string> writable; // point names; nothing else may be written
    friend bool operator==(const ModuleConfig&, const ModuleConfig&) = default;
};

struct BusConfig {
    std::string name; // letters, digits, '-' and '_'
    std::string port; // device path, tcp://HOST:PORT or rfc2217://HOST:PORT
    LineSettings line;
    int timeoutMs = 80;
    int turnaroundMs = 20; // Modbus pause before a request and before its response
    int pollMs = 1000;     // start-to-start spacing of poll cycles
    int offlineAfter = 3;  // failed polls in a row before a module is offline
    std::vector<ModuleConfig> modules;
    friend bool operator==(const BusConfig&, const BusConfig&) = default;
};

// The Modbus TCP server: every module one unit id (its address), its points at fixed
// numbers for its model.
struct ModbusTcpConfig {
    std::string bind = "127.0.0.1"; // a numeric IPv4 or IPv6 address; 0.0.0.0 is every one
    int port = 1502;                // 0: the system picks one (the log names it)
    // Polls of its module in a row that failed to read a point before the point
    // answers exception 0B instead of its last value.
    int staleAfter = 3;
    friend bool operator==(const ModbusTcpConfig&, const ModbusTcpConfig&) = default;
};

struct GatewayConfig {
    std::string path; // the file it was read from
    bool useMqtt = true; // false when the file has no 'mqtt' (then it has 'modbus_tcp')
    MqttConfig mqtt;
    std::optional<ModbusTcpConfig> modbusTcp;
    std::vector<BusConfig> buses;
    friend bool operator==(const GatewayConfig&, const GatewayConfig&) = default;
};

// Reads a file the configuration names (password, TLS files): its text, or nullopt
// with the reason in `why`. The default reads the file system.
using FileReader = std::function<std::optional<std::string>(const std::string& path, std::string& why)>;
FileReader SystemFileReader();

// Reads `text` as the configuration file `path` (relative file names in it are taken
// from the file's folder). False with one line in `error`, "PATH:LINE:COLUMN: what",
// for a syntax error, an unknown key, a wrong type or value, a duplicate bus, port or
// module (bus, address and slot), two buses with a module at one address when the
// Modbus TCP server (which makes the address a unit id) is on, neither 'mqtt' nor
// 'modbus_tcp', a model or writable point the model does not have,
// or a password or TLS file that cannot be read.
bool ParseGatewayConfig(std::string_view text, const std::string& path, GatewayConfig& config,
                        std::string& error, const FileReader& files = SystemFileReader());
// The same for the file at `path`.
bool ReadGatewayConfig(const std::string& path, GatewayConfig& config, std::string& error);

// The configuration as YAML that ParseGatewayConfig reads back to the same structs
// (the password stays in its file). `comments` go above the buses, one per line.
std::string GatewayConfigYaml(const GatewayConfig& config,
                              const std::vector<std::string>& comments = {});

// "line1" for port "/dev/ttyUSB0"-like names: the port's last path part, or host and
// port of a network port, with every character a bus name may not hold made '-'.
std::string BusNameForPort(const std::string& port);

} // namespace tavo::gateway
