#include "gateway_config.h"

#include "workspace/core/network_address.h"

#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/yaml.h>

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace tavo::gateway {
namespace {

// A configuration larger than this is no configuration (and would only cost memory).
constexpr std::size_t kMaxConfigBytes = 1 << 20;
// Password and certificate files are read only this far.
constexpr std::size_t kMaxSideFileBytes = 1 << 20;

constexpr std::array<std::uint32_t, 8> kBauds{1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

struct Failure {
    YAML::Mark mark;
    std::string message;
};

[[noreturn]] void Fail(const YAML::Node& node, std::string message) {
    throw Failure{node.Mark(), std::move(message)};
}

bool NameCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
}

bool NumericAddress(const std::string& text) {
    in_addr v4{};
    in6_addr v6{};
    return inet_pton(AF_INET, text.c_str(), &v4) == 1 || inet_pton(AF_INET6, text.c_str(), &v6) == 1;
}

bool IsName(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), NameCharacter);
}

// A map's keys, checked once: each known and given once. Get() hands out values.
class Fields {
public:
    Fields(const YAML::Node& map, std::string what, std::initializer_list<const char*> known)
        : what_(std::move(what)) {
        if (!map.IsMap()) Fail(map, what_ + " must be a map of keys and values");
        for (auto it = map.begin(); it != map.end(); ++it) {
            // Copies: the iterator's pair is a temporary.
            const YAML::Node key = it->first;
            const YAML::Node value = it->second;
            if (!key.IsScalar()) Fail(key, "a key of " + what_ + " must be a plain word");
            const std::string name = key.Scalar();
            if (std::find_if(known.begin(), known.end(), [&](const char* k) { return name == k; }) ==
                known.end()) {
                std::string list;
                for (const char* k : known) list += (list.empty() ? "" : ", ") + std::string(k);
                Fail(key, "unknown key '" + name + "' in " + what_ + " (it takes " + list + ")");
            }
            if (values_.count(name)) Fail(key, "'" + name + "' is given twice in " + what_);
            values_.emplace(name, value);
            keys_.emplace(name, key);
        }
    }

    std::optional<YAML::Node> Get(const std::string& key) const {
        const auto it = values_.find(key);
        if (it == values_.end()) return std::nullopt;
        if (it->second.IsNull()) Fail(keys_.at(key), "'" + key + "' in " + what_ + " has no value");
        return it->second;
    }
    YAML::Node Need(const YAML::Node& map, const std::string& key) const {
        auto node = Get(key);
        if (!node) Fail(map, what_ + " needs '" + key + "'");
        return *node;
    }

private:
    std::string what_;
    std::map<std::string, YAML::Node> values_;
    std::map<std::string, YAML::Node> keys_;
};

std::string Text(const YAML::Node& node, const std::string& key) {
    if (!node.IsScalar()) Fail(node, "'" + key + "' must be a single value, not a list or map");
    return node.Scalar();
}

long Integer(const YAML::Node& node, const std::string& key, long lo, long hi) {
    const std::string text = Text(node, key);
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < lo ||
        value > hi)
        Fail(node, "'" + key + "' must be a whole number from " + std::to_string(lo) + " to " +
                       std::to_string(hi) + " (got '" + text + "')");
    return value;
}

bool Boolean(const YAML::Node& node, const std::string& key) {
    const std::string text = Text(node, key);
    if (text == "true") return true;
    if (text == "false") return false;
    Fail(node, "'" + key + "' must be true or false (got '" + text + "')");
}

// "site1/tavo": topic levels without wildcards, empty levels or a leading '$'.
void CheckTopicPrefix(const YAML::Node& node, const std::string& key, const std::string& text) {
    const bool bad = text.empty() || text.front() == '/' || text.back() == '/' ||
                     text.find("//") != std::string::npos ||
                     text.find_first_of("+#\0", 0, 3) != std::string::npos || text.front() == '$' ||
                     std::any_of(text.begin(), text.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    if (bad)
        Fail(node, "'" + key + "' must be topic levels separated by '/', without '+', '#', a "
                   "leading '$' or empty levels (got '" + text + "')");
}

class Reader {
public:
    Reader(const std::string& path, const FileReader& files) : path_(path), files_(files) {
        const auto slash = path.rfind('/');
        folder_ = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    }

    GatewayConfig Read(const YAML::Node& root) {
        GatewayConfig config;
        config.path = path_;
        if (root.IsNull())
            Fail(root, "the configuration is empty: it needs 'buses' (and 'mqtt', 'modbus_tcp' or both)");
        const Fields top(root, "the configuration", {"mqtt", "modbus_tcp", "buses"});
        const auto mqtt = top.Get("mqtt");
        if (mqtt) config.mqtt = Mqtt(*mqtt);
        const auto modbusTcp = top.Get("modbus_tcp");
        if (modbusTcp) config.modbusTcp = ModbusTcp(*modbusTcp);
        // Without either server the gateway publishes to the broker on this machine,
        // as configurations written before the Modbus TCP server expect.
        config.useMqtt = mqtt.has_value() || !modbusTcp;
        const YAML::Node buses = top.Need(root, "buses");
        if (!buses.IsSequence()) Fail(buses, "'buses' must be a list of buses");
        for (const YAML::Node& bus : buses) config.buses.push_back(Bus(bus, config.buses));
        if (modbusTcp) CheckUnitIds(buses, config.buses);
        return config;
    }

private:
    MqttConfig Mqtt(const YAML::Node& map) {
        MqttConfig m;
        const Fields f(map, "'mqtt'",
                       {"host", "port", "client_id", "prefix", "refresh_s", "keepalive_s",
                        "discovery", "discovery_prefix", "username", "password_file", "tls"});
        if (auto n = f.Get("host")) {
            m.host = Text(*n, "host");
            if (m.host.empty() || m.host.find_first_of(" \t/") != std::string::npos)
                Fail(*n, "'host' must be a host name or address (got '" + m.host + "')");
        }
        if (auto n = f.Get("port")) m.port = static_cast<int>(Integer(*n, "port", 1, 65535));
        if (auto n = f.Get("client_id")) {
            m.clientId = Text(*n, "client_id");
            if (!IsName(m.clientId) || m.clientId.size() > 64)
                Fail(*n, "'client_id' must be 1 to 64 letters, digits, '-' or '_' (got '" +
                             m.clientId + "')");
        }
        if (auto n = f.Get("prefix")) {
            m.prefix = Text(*n, "prefix");
            CheckTopicPrefix(*n, "prefix", m.prefix);
        }
        if (auto n = f.Get("refresh_s")) m.refreshS = static_cast<int>(Integer(*n, "refresh_s", 1, 86400));
        if (auto n = f.Get("keepalive_s"))
            m.keepaliveS = static_cast<int>(Integer(*n, "keepalive_s", 5, 3600));
        if (auto n = f.Get("discovery")) m.discovery = Boolean(*n, "discovery");
        if (auto n = f.Get("discovery_prefix")) {
            m.discoveryPrefix = Text(*n, "discovery_prefix");
            CheckTopicPrefix(*n, "discovery_prefix", m.discoveryPrefix);
        }
        if (auto n = f.Get("username")) {
            m.username = Text(*n, "username");
            if (m.username.empty()) Fail(*n, "'username' is empty: leave it out for no login");
        }
        if (auto n = f.Get("password_file")) {
            if (m.username.empty()) Fail(*n, "'password_file' needs 'username' beside it");
            m.passwordFile = Absolute(Text(*n, "password_file"));
            std::string why;
            const auto text = files_(m.passwordFile, why);
            if (!text) Fail(*n, "cannot read the password file " + m.passwordFile + ": " + why);
            m.password = text->substr(0, text->find_first_of("\r\n"));
        }
        if (auto n = f.Get("tls")) m.tls = Tls(*n);
        return m;
    }

    static ModbusTcpConfig ModbusTcp(const YAML::Node& map) {
        ModbusTcpConfig m;
        const Fields f(map, "'modbus_tcp'", {"bind", "port", "stale_after"});
        if (auto n = f.Get("bind")) {
            m.bind = Text(*n, "bind");
            if (!NumericAddress(m.bind))
                Fail(*n, "'bind' must be a numeric IPv4 or IPv6 address such as 127.0.0.1, "
                         "0.0.0.0 for every one (got '" + m.bind + "')");
        }
        if (auto n = f.Get("port")) m.port = static_cast<int>(Integer(*n, "port", 0, 65535));
        if (auto n = f.Get("stale_after"))
            m.staleAfter = static_cast<int>(Integer(*n, "stale_after", 1, 1000));
        return m;
    }

    // A unit id is a module's address, so one address may live on one bus only.
    static void CheckUnitIds(const YAML::Node& buses, const std::vector<BusConfig>& read) {
        std::map<int, std::string> owner; // address -> bus
        for (std::size_t b = 0; b < read.size(); ++b) {
            const YAML::Node modules = buses[b]["modules"];
            for (std::size_t i = 0; i < read[b].modules.size(); ++i) {
                const int address = read[b].modules[i].where.address;
                const auto [it, added] = owner.emplace(address, read[b].name);
                if (!added && it->second != read[b].name) {
                    char aa[4];
                    std::snprintf(aa, sizeof aa, "%02X", address);
                    Fail(modules[i]["address"],
                         std::string("address ") + aa + " is on bus '" + it->second + "' and bus '" +
                             read[b].name + "': the Modbus TCP server makes an address one unit id, " +
                             "so give each bus's modules addresses of their own or run a gateway a bus");
                }
            }
        }
    }

    TlsConfig Tls(const YAML::Node& map) {
        TlsConfig t;
        const Fields f(map, "'tls'", {"ca_file", "cert_file", "key_file"});
        const YAML::Node ca = f.Need(map, "ca_file");
        const auto cert = f.Get("cert_file");
        const auto key = f.Get("key_file");
        if (cert && !key) Fail(*cert, "'cert_file' needs 'key_file' beside it");
        if (key && !cert) Fail(*key, "'key_file' needs 'cert_file' beside it");
        t.caFile = ReadableFile(ca, "ca_file");
        if (cert) {
            t.certFile = ReadableFile(*cert, "cert_file");
            t.keyFile = ReadableFile(*key, "key_file");
        }
        return t;
    }

    std::string ReadableFile(const YAML::Node& node, const std::string& key) {
        const std::string path = Absolute(Text(node, key));
        std::string why;
        if (!files_(path, why)) Fail(node, "cannot read the " + key + " " + path + ": " + why);
        return path;
    }

    std::string Absolute(const std::string& path) const {
        if (path.empty() || path.front() == '/') return path;
        return folder_ + path;
    }

    BusConfig Bus(const YAML::Node& map, const std::vector<BusConfig>& before) {
        BusConfig b;
        const Fields f(map, "a bus",
                       {"name", "port", "baud", "parity", "stop_bits", "timeout_ms", "turnaround_ms",
                        "poll_ms", "offline_after", "modules"});
        const YAML::Node name = f.Need(map, "name");
        b.name = Text(name, "name");
        if (!IsName(b.name))
            Fail(name, "bus name '" + b.name + "' may hold only letters, digits, '-' and '_'");
        for (const BusConfig& other : before)
            if (other.name == b.name) Fail(name, "there is already a bus named '" + b.name + "'");
        const YAML::Node port = f.Need(map, "port");
        b.port = Text(port, "port");
        if (LooksLikeNetworkAddress(b.port)) {
            const NetworkAddress address = CheckNetworkAddress(b.port);
            if (!address.problem.empty()) Fail(port, address.problem);
            b.port = address.name;
        } else if (b.port.empty()) {
            Fail(port, "'port' is empty: give a device such as /dev/ttyUSB0, or tcp://HOST:PORT");
        }
        for (const BusConfig& other : before)
            if (other.port == b.port)
                Fail(port, "port " + b.port + " is already bus '" + other.name +
                               "': one bus a port, its modules listed together");
        if (auto n = f.Get("baud")) {
            b.line.baud = static_cast<std::uint32_t>(Integer(*n, "baud", 1, 1000000));
            if (std::find(kBauds.begin(), kBauds.end(), b.line.baud) == kBauds.end())
                Fail(*n, "'baud' must be one of 1200 2400 4800 9600 19200 38400 57600 115200");
        }
        if (auto n = f.Get("parity")) {
            const std::string p = Text(*n, "parity");
            if (p == "N" || p == "n") b.line.parity = kParityNone;
            else if (p == "E" || p == "e") b.line.parity = kParityEven;
            else if (p == "O" || p == "o") b.line.parity = kParityOdd;
            else Fail(*n, "'parity' must be N, E or O (got '" + p + "')");
        }
        if (auto n = f.Get("stop_bits"))
            b.line.stopBits = Integer(*n, "stop_bits", 1, 2) == 2 ? kTwoStopBits : kOneStopBit;
        if (auto n = f.Get("timeout_ms")) b.timeoutMs = static_cast<int>(Integer(*n, "timeout_ms", 1, 60000));
        if (auto n = f.Get("turnaround_ms"))
            b.turnaroundMs = static_cast<int>(Integer(*n, "turnaround_ms", 0, 100));
        if (auto n = f.Get("poll_ms")) b.pollMs = static_cast<int>(Integer(*n, "poll_ms", 10, 3600000));
        if (auto n = f.Get("offline_after"))
            b.offlineAfter = static_cast<int>(Integer(*n, "offline_after", 1, 1000));
        const YAML::Node modules = f.Need(map, "modules");
        if (!modules.IsSequence()) Fail(modules, "'modules' must be a list of modules");
        for (const YAML::Node& module : modules) b.modules.push_back(Module(module, b));
        return b;
    }

    ModuleConfig Module(const YAML::Node& map, const BusConfig& bus) {
        ModuleConfig m;
        const Fields f(map, "a module", {"address", "slot", "protocol", "model", "name", "writable"});
        const YAML::Node address = f.Need(map, "address");
        const std::string aa = Text(address, "address");
        int value = -1;
        if (aa.size() == 2 && std::isxdigit(static_cast<unsigned char>(aa[0])) &&
            std::isxdigit(static_cast<unsigned char>(aa[1])))
            value = std::stoi(aa, nullptr, 16);
        if (value < 0)
            Fail(address, "'address' must be two hexadecimal digits as the search shows them, "
                          "such as \"0A\" (got '" + aa + "')");
        m.where.address = value;
        if (auto n = f.Get("slot")) m.where.slot = static_cast<int>(Integer(*n, "slot", 0, 7));
        const YAML::Node protocol = f.Need(map, "protocol");
        const auto p = PointProtocolFromName(Text(protocol, "protocol"));
        if (!p) Fail(protocol, "'protocol' must be ascii, checksum or modbus");
        m.where.protocol = *p;
        for (const ModuleConfig& other : bus.modules)
            if (other.where.address == m.where.address && other.where.slot == m.where.slot)
                Fail(address, "module " + LocationText(m.where) + " is listed twice on bus '" +
                                  bus.name + "'");
        if (auto n = f.Get("name")) m.name = Text(*n, "name");
        std::unique_ptr<ModulePoints> points;
        if (auto n = f.Get("model")) {
            m.model = Text(*n, "model");
            std::string why;
            points = MakeModulePoints(m.model, m.where, why);
            if (!points) Fail(*n, "module " + LocationText(m.where) + ": " + why);
        }
        if (auto n = f.Get("writable")) {
            if (!n->IsSequence()) Fail(*n, "'writable' must be a list of point names, such as [do0, ao1]");
            for (const YAML::Node& item : *n) {
                const std::string point = Text(item, "writable");
                if (std::find(m.writable.begin(), m.writable.end(), point) != m.writable.end())
                    Fail(item, "point " + point + " is listed twice in 'writable'");
                if (points) {
                    std::string why;
                    const int index = points->IndexOf(point);
                    if (index < 0)
                        Fail(item, m.model + " has no point " + point + " (it has " +
                                       [&] {
                                           std::string names;
                                           for (const auto& info : points->Points())
                                               names += (names.empty() ? "" : ", ") + info.name;
                                           return names;
                                       }() +
                                       ")");
                    if (!points->Points()[static_cast<std::size_t>(index)].writable)
                        Fail(item, point + " of the " + m.model + " cannot be written");
                }
                m.writable.push_back(point);
            }
        }
        return m;
    }

    std::string path_;
    std::string folder_;
    const FileReader& files_;
};

// Where each document of a text starts, as yaml-cpp's parser reports it.
struct DocumentStarts : YAML::EventHandler {
    std::vector<YAML::Mark> marks;
    void OnDocumentStart(const YAML::Mark& mark) override { marks.push_back(mark); }
    void OnDocumentEnd() override {}
    void OnNull(const YAML::Mark&, YAML::anchor_t) override {}
    void OnAlias(const YAML::Mark&, YAML::anchor_t) override {}
    void OnScalar(const YAML::Mark&, const std::string&, YAML::anchor_t, const std::string&) override {}
    void OnSequenceStart(const YAML::Mark&, const std::string&, YAML::anchor_t, YAML::EmitterStyle::value) override {}
    void OnSequenceEnd() override {}
    void OnMapStart(const YAML::Mark&, const std::string&, YAML::anchor_t, YAML::EmitterStyle::value) override {}
    void OnMapEnd() override {}
};

// Fails unless `text` holds at most one document. Counted by events, before any node
// is built, and never past a third start: yaml-cpp takes a ',' outside [ ] or { }
// where a document could start for an endless row of empty documents at that place
// (YAML::LoadAll then fills the memory).
void CheckOneDocument(const std::string& text) {
    std::istringstream in(text);
    YAML::Parser parser(in);
    DocumentStarts starts;
    while (parser && starts.marks.size() < 3 && parser.HandleNextDocument(starts)) {
    }
    const auto& m = starts.marks;
    if (m.size() == 3 && m[2].pos == m[1].pos)
        throw Failure{m[1], "no value may start here: a ',' outside [ ] or { } (quote the text it is part of)"};
    if (m.size() > 1) throw Failure{m[1], "the file holds more than one YAML document"};
}

// A control character as YAML's double-quoted escape ("\x0A"); other characters as they are.
std::string Escaped(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u != 0x7F) return std::string(1, c);
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", u);
    return hex;
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += Escaped(c);
    }
    return out + '"';
}

} // namespace

namespace {

// At most `limit` bytes of the file at `path`.
std::optional<std::string> ReadUpTo(const std::string& path, std::size_t limit, std::string& why) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = std::strerror(errno);
        return std::nullopt;
    }
    std::string text(limit, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) {
        why = "it cannot be read (a folder?)";
        return std::nullopt;
    }
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

} // namespace

FileReader SystemFileReader() {
    return [](const std::string& path, std::string& why) { return ReadUpTo(path, kMaxSideFileBytes, why); };
}

bool ParseGatewayConfig(std::string_view text, const std::string& path, GatewayConfig& config,
                        std::string& error, const FileReader& files) {
    const auto at = [&](const YAML::Mark& mark) {
        if (mark.is_null()) return path + ": ";
        return path + ":" + std::to_string(mark.line + 1) + ":" + std::to_string(mark.column + 1) + ": ";
    };
    if (text.size() > kMaxConfigBytes) {
        error = path + ": the file is larger than 1 MiB: no configuration is";
        return false;
    }
    try {
        const std::string all(text);
        CheckOneDocument(all);
        Reader reader(path, files);
        config = reader.Read(YAML::Load(all));
        return true;
    } catch (const Failure& f) {
        error = at(f.mark) + f.message;
    } catch (const YAML::Exception& e) {
        error = at(e.mark) + e.msg;
    } catch (const std::exception& e) {
        error = path + ": " + e.what();
    }
    // Values from the file (and yaml-cpp's messages, which quote them) may hold any
    // byte; the message stays one line whatever they hold.
    std::string line;
    for (const char c : error) line += Escaped(c);
    error = std::move(line);
    return false;
}

bool ReadGatewayConfig(const std::string& path, GatewayConfig& config, std::string& error) {
    std::string why;
    // One byte past the limit, so that a larger file is refused, never cut and read.
    const auto text = ReadUpTo(path, kMaxConfigBytes + 1, why);
    if (!text) {
        error = path + ": cannot read the configuration: " + why;
        return false;
    }
    return ParseGatewayConfig(*text, path, config, error);
}

std::string BusNameForPort(const std::string& port) {
    std::string base = port;
    if (const auto scheme = base.find("://"); scheme != std::string::npos) base = base.substr(scheme + 3);
    else if (const auto slash = base.rfind('/'); slash != std::string::npos) base = base.substr(slash + 1);
    std::string name;
    for (const char c : base) name += NameCharacter(c) ? c : '-';
    while (!name.empty() && name.back() == '-') name.pop_back();
    return name.empty() ? "bus" : name;
}

std::string GatewayConfigYaml(const GatewayConfig& config, const std::vector<std::string>& comments) {
    const MqttConfig& m = config.mqtt;
    std::string y;
    y += "# tavo gateway configuration: the keys are described in the README and in tavo(1).\n";
    if (const auto& t = config.modbusTcp)
        y += "modbus_tcp: {bind: " + Quoted(t->bind) + ", port: " + std::to_string(t->port) +
             ", stale_after: " + std::to_string(t->staleAfter) + "}\n";
    else
        y += "# modbus_tcp: {bind: 127.0.0.1, port: 1502, stale_after: 3}   # a Modbus TCP server too\n";
    std::string broker = "mqtt:\n";
    broker += "  host: " + Quoted(m.host) + "\n";
    broker += "  port: " + std::to_string(m.port) + "\n";
    broker += "  client_id: " + Quoted(m.clientId) + "\n";
    broker += "  prefix: " + Quoted(m.prefix) + "\n";
    broker += "  refresh_s: " + std::to_string(m.refreshS) + "\n";
    broker += "  keepalive_s: " + std::to_string(m.keepaliveS) + "\n";
    broker += std::string("  discovery: ") + (m.discovery ? "true" : "false") + "\n";
    broker += "  discovery_prefix: " + Quoted(m.discoveryPrefix) + "\n";
    if (!m.username.empty()) broker += "  username: " + Quoted(m.username) + "\n";
    else broker += "  # username: plant\n";
    if (!m.passwordFile.empty()) broker += "  password_file: " + Quoted(m.passwordFile) + "\n";
    else broker += "  # password_file: /etc/tavo/mqtt.pw   # the password's file, never the password\n";
    if (m.tls) {
        broker += "  tls:\n    ca_file: " + Quoted(m.tls->caFile) + "\n";
        if (!m.tls->certFile.empty())
            broker += "    cert_file: " + Quoted(m.tls->certFile) + "\n    key_file: " + Quoted(m.tls->keyFile) + "\n";
    } else {
        broker += "  # tls: {ca_file: ca.pem, cert_file: gw.pem, key_file: gw.key}\n";
    }
    // Without MQTT the broker's settings stay as comments, ready to be switched on.
    if (!config.useMqtt)
        for (std::size_t at = 0; at < broker.size(); at = broker.find('\n', at) + 1) broker.insert(at, "# ");
    y += broker;
    for (const std::string& c : comments) y += "# " + c + "\n";
    y += config.buses.empty() ? "buses: []\n" : "buses:\n";
    for (const BusConfig& b : config.buses) {
        const LineSettings& l = b.line;
        y += "  - name: " + Quoted(b.name) + "\n";
        y += "    port: " + Quoted(b.port) + "\n";
        y += "    baud: " + std::to_string(l.baud) + "\n";
        y += std::string("    parity: ") + (l.parity == kParityEven ? "E" : l.parity == kParityOdd ? "O" : "N") + "\n";
        y += std::string("    stop_bits: ") + (l.stopBits == kTwoStopBits ? "2" : "1") + "\n";
        y += "    timeout_ms: " + std::to_string(b.timeoutMs) + "\n";
        y += "    turnaround_ms: " + std::to_string(b.turnaroundMs) + "\n";
        y += "    poll_ms: " + std::to_string(b.pollMs) + "\n";
        y += "    offline_after: " + std::to_string(b.offlineAfter) + "\n";
        y += b.modules.empty() ? "    modules: []\n" : "    modules:\n";
        for (const ModuleConfig& mod : b.modules) {
            char address[4];
            std::snprintf(address, sizeof address, "%02X", mod.where.address & 0xFF);
            y += std::string("      - {address: \"") + address + "\"";
            if (mod.where.slot >= 0) y += ", slot: " + std::to_string(mod.where.slot);
            y += ", protocol: " + std::string(PointProtocolName(mod.where.protocol));
            if (!mod.model.empty()) y += ", model: " + Quoted(mod.model);
            if (!mod.name.empty()) y += ", name: " + Quoted(mod.name);
            y += ", writable: [";
            for (std::size_t i = 0; i < mod.writable.size(); ++i)
                y += (i ? ", " : "") + Quoted(mod.writable[i]);
            y += "]}\n";
        }
    }
    return y;
}

} // namespace tavo::gateway
