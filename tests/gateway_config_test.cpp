// The gateway's configuration: every mistake a person makes in the file is one line
// naming the file, line and column; what is read comes back the same when written
// out again; and a search writes a configuration that reads back as it was found.
#include "gateway/gateway_config.h"
#include "gateway/search_config.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

namespace tavo::gateway {
namespace {

// Side files (passwords, certificates) from a table instead of the disk.
FileReader Files(std::map<std::string, std::string> files) {
    return [files](const std::string& path, std::string& why) -> std::optional<std::string> {
        const auto it = files.find(path);
        if (it == files.end()) {
            why = "No such file or directory";
            return std::nullopt;
        }
        return it->second;
    };
}

const char* kBus = "buses:\n  - name: line1\n    port: /dev/ttyUSB0\n    modules:\n";

TEST(GatewayConfig, EachMistakeIsOneLineWithItsPlace) {
    struct Row {
        const char* what;
        std::string text;
        std::string error; // what follows "etc/gw.yaml:"
    };
    const std::string bus = kBus;
    const std::vector<Row> rows = {
        {"unknown top-level key", bus + "      - {address: \"01\", protocol: ascii}\nbroker: x\n",
         "6:1: unknown key 'broker' in the configuration (it takes mqtt, modbus_tcp, buses)"},
        {"unknown module key",
         bus + "      - {address: \"01\", protocol: ascii, writeable: [do0]}\n",
         "5:42: unknown key 'writeable' in a module"},
        {"wrong type", "mqtt: {port: high}\n" + bus,
         "1:14: 'port' must be a whole number from 1 to 65535 (got 'high')"},
        {"a map where a word goes", "mqtt: {host: {a: 1}}\n" + bus,
         "1:14: 'host' must be a single value, not a list or map"},
        {"baud rate no module takes", "buses:\n  - {name: a, port: /dev/x, baud: 9601, modules: []}\n",
         "2:35: 'baud' must be one of 1200 2400 4800 9600 19200 38400 57600 115200"},
        {"duplicate module",
         bus + "      - {address: \"0A\", protocol: ascii}\n      - {address: \"0A\", protocol: modbus}\n",
         "6:19: module 0A is listed twice on bus 'line1'"},
        {"duplicate slot", bus + "      - {address: \"40\", slot: 2, protocol: ascii}\n"
                                 "      - {address: \"40\", slot: 2, protocol: ascii}\n",
         "6:19: module 40S2 is listed twice on bus 'line1'"},
        {"bus name with a dot", "buses:\n  - {name: line.1, port: /dev/x, modules: []}\n",
         "2:12: bus name 'line.1' may hold only letters, digits, '-' and '_'"},
        {"two buses of one name",
         "buses:\n  - {name: a, port: /dev/x, modules: []}\n  - {name: a, port: /dev/y, modules: []}\n",
         "3:12: there is already a bus named 'a'"},
        {"two buses on one port",
         "buses:\n  - {name: a, port: /dev/x, modules: []}\n  - {name: b, port: /dev/x, modules: []}\n",
         "3:21: port /dev/x is already bus 'a': one bus a port, its modules listed together"},
        {"missing password file",
         "mqtt: {username: plant, password_file: mqtt.pw}\n" + bus,
         "1:40: cannot read the password file etc/mqtt.pw: No such file or directory"},
        {"password file without a user", "mqtt: {password_file: /etc/pw}\n" + bus,
         "1:23: 'password_file' needs 'username' beside it"},
        {"address of one digit", bus + "      - {address: \"5\", protocol: ascii}\n",
         "5:19: 'address' must be two hexadecimal digits as the search shows them, such as \"0A\" "
         "(got '5')"},
        {"address in C notation", bus + "      - {address: 0x52, protocol: ascii}\n",
         "5:19: 'address' must be two hexadecimal digits"},
        {"no protocol", bus + "      - {address: \"52\"}\n", "5:9: a module needs 'protocol'"},
        {"unknown protocol", bus + "      - {address: \"52\", protocol: rtu}\n",
         "5:35: 'protocol' must be ascii, checksum or modbus"},
        {"slot past a rack", bus + "      - {address: \"40\", slot: 8, protocol: ascii}\n",
         "5:31: 'slot' must be a whole number from 0 to 7 (got '8')"},
        {"unknown model", bus + "      - {address: \"52\", protocol: ascii, model: R999}\n",
         "5:49: module 52: no points are known for model R999"},
        {"writable that is no list", bus + "      - {address: \"52\", protocol: ascii, writable: do0}\n",
         "5:52: 'writable' must be a list of point names"},
        {"certificate without key", "mqtt: {tls: {ca_file: /ca, cert_file: /c}}\n" + bus,
         "1:39: 'cert_file' needs 'key_file' beside it"},
        {"key given twice", "mqtt: {port: 1, port: 2}\n" + bus, "1:17: 'port' is given twice in 'mqtt'"},
        {"prefix with a wildcard", "mqtt: {prefix: plant/#}\n" + bus,
         "1:16: 'prefix' must be topic levels separated by '/'"},
        {"a line break in a value", "mqtt: {client_id: \"gw\\n1\"}\n" + bus,
         "1:19: 'client_id' must be 1 to 64 letters, digits, '-' or '_' (got 'gw\\x0A1')"},
        {"a control character in yaml-cpp's own message", std::string("mqtt: {host: \"a\\\x01") + "b\"}\n" + bus,
         "1:18: unknown escape character: \\x01"},
        {"client id with a slash", "mqtt: {client_id: gw/1}\n" + bus,
         "1:19: 'client_id' must be 1 to 64 letters, digits, '-' or '_' (got 'gw/1')"},
        {"network port without its number",
         "buses:\n  - {name: a, port: \"tcp://plc\", modules: []}\n", "2:21: The address tcp://plc has no port number"},
        {"no buses", "mqtt: {port: 1883}\n", "1:1: the configuration needs 'buses'"},
        {"empty file", "", " the configuration is empty: it needs 'buses' (and 'mqtt', 'modbus_tcp' or both)"},
        {"a host name to bind", "modbus_tcp: {bind: localhost}\nbuses: []\n",
         "1:20: 'bind' must be a numeric IPv4 or IPv6 address such as 127.0.0.1, 0.0.0.0 for every one "
         "(got 'localhost')"},
        {"server port out of range", "modbus_tcp: {port: 70000}\nbuses: []\n",
         "1:20: 'port' must be a whole number from 0 to 65535 (got '70000')"},
        {"stale_after 0", "modbus_tcp: {stale_after: 0}\nbuses: []\n",
         "1:27: 'stale_after' must be a whole number from 1 to 1000 (got '0')"},
        {"unknown server key", "modbus_tcp: {unit: 1}\nbuses: []\n",
         "1:14: unknown key 'unit' in 'modbus_tcp' (it takes bind, port, stale_after)"},
        {"one address on two buses",
         "modbus_tcp: {}\nbuses:\n  - {name: a, port: /dev/x, modules: [{address: \"40\", slot: 1, protocol: ascii}]}\n"
         "  - {name: b, port: /dev/y, modules: [{address: \"40\", protocol: modbus}]}\n",
         "4:49: address 40 is on bus 'a' and bus 'b': the Modbus TCP server makes an address one unit id"},
        {"key without a value", "mqtt:\n  host:\n" + bus, "2:3: 'host' in 'mqtt' has no value"},
        {"syntax error", "buses: [\n", "2:1: "},
        {"a comma where a document could start", "- a\n, b\n", "2:1: no value may start here: a ','"},
        {"a comma before everything", ",buses: []\n", "1:1: no value may start here: a ','"},
        {"two documents", bus + "      - {address: \"01\", protocol: ascii}\n---\nbuses: []\n",
         "6:1: the file holds more than one YAML document"},
    };
    for (const Row& row : rows) {
        GatewayConfig config;
        std::string error;
        EXPECT_FALSE(ParseGatewayConfig(row.text, "etc/gw.yaml", config, error, Files({}))) << row.what;
        EXPECT_EQ(error.rfind("etc/gw.yaml:" + row.error, 0), 0u)
            << row.what << "\n  got: " << error << "\n  want: etc/gw.yaml:" << row.error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << row.what;
    }
}

TEST(GatewayConfig, TheIssuesExampleReadsWithItsDefaultsAndSideFiles) {
    const std::string text = R"(
mqtt: {host: 127.0.0.1, port: 1883, client_id: tavo-gw1, prefix: tavo, refresh_s: 60,
       discovery: true, discovery_prefix: homeassistant,
       username: plant, password_file: /etc/tavo/mqtt.pw,
       tls: {ca_file: ca.pem, cert_file: gw.pem, key_file: gw.key}}
buses:
  - name: line1                  # letters, digits, '-' and '_'
    port: /dev/ttyUSB0           # or tcp://HOST:PORT, rfc2217://HOST:PORT
    baud: 9600                   # parity, stop_bits, timeout_ms, turnaround_ms, poll_ms too
    modules:
      - {address: "52", protocol: ascii, name: boiler, writable: []}
      - {address: "59", protocol: modbus, writable: [do1]}   # protocol: ascii | checksum | modbus
  - name: rack_2
    port: TCP://10.0.0.7:4001/
    parity: E
    stop_bits: 2
    timeout_ms: 200
    turnaround_ms: 5
    poll_ms: 500
    offline_after: 5
    modules:
      - {address: "40", slot: 3, protocol: checksum}
)";
    GatewayConfig c;
    std::string error;
    ASSERT_TRUE(ParseGatewayConfig(text, "/etc/tavo/gw1.yaml", c, error,
                                   Files({{"/etc/tavo/mqtt.pw", "s3cret\r\nignored line\n"},
                                          {"/etc/tavo/ca.pem", "CA"},
                                          {"/etc/tavo/gw.pem", "CERT"},
                                          {"/etc/tavo/gw.key", "KEY"}})))
        << error;
    EXPECT_EQ(c.mqtt.clientId, "tavo-gw1");
    EXPECT_EQ(c.mqtt.password, "s3cret");
    EXPECT_EQ(c.mqtt.keepaliveS, 30);
    ASSERT_TRUE(c.mqtt.tls);
    EXPECT_EQ(c.mqtt.tls->caFile, "/etc/tavo/ca.pem"); // beside the configuration
    EXPECT_EQ(c.mqtt.tls->keyFile, "/etc/tavo/gw.key");
    ASSERT_EQ(c.buses.size(), 2u);
    const BusConfig& a = c.buses[0];
    EXPECT_EQ(a.line, (LineSettings{9600, 8, kParityNone, kOneStopBit}));
    EXPECT_EQ(a.timeoutMs, 80);
    EXPECT_EQ(a.pollMs, 1000);
    EXPECT_EQ(a.offlineAfter, 3);
    ASSERT_EQ(a.modules.size(), 2u);
    EXPECT_EQ(a.modules[0].where, (ModuleLocation{0x52, -1, PointProtocol::Ascii}));
    EXPECT_EQ(a.modules[0].name, "boiler");
    EXPECT_EQ(a.modules[1].writable, std::vector<std::string>{"do1"});
    const BusConfig& b = c.buses[1];
    EXPECT_EQ(b.port, "tcp://10.0.0.7:4001");
    EXPECT_EQ(b.line, (LineSettings{9600, 8, kParityEven, kTwoStopBits}));
    EXPECT_EQ(b.timeoutMs, 200);
    EXPECT_EQ(b.turnaroundMs, 5);
    EXPECT_EQ(b.pollMs, 500);
    EXPECT_EQ(b.offlineAfter, 5);
    EXPECT_EQ(b.modules[0].where, (ModuleLocation{0x40, 3, PointProtocol::AsciiChecksum}));

    // Written out and read again: the same configuration, the password still only in
    // its file.
    const std::string yaml = GatewayConfigYaml(c, {"a note"});
    EXPECT_EQ(yaml.find("s3cret"), std::string::npos);
    EXPECT_NE(yaml.find("\n# a note\n"), std::string::npos);
    GatewayConfig again;
    ASSERT_TRUE(ParseGatewayConfig(yaml, "/etc/tavo/gw1.yaml", again, error,
                                   Files({{"/etc/tavo/mqtt.pw", "s3cret\n"},
                                          {"/etc/tavo/ca.pem", "CA"},
                                          {"/etc/tavo/gw.pem", "CERT"},
                                          {"/etc/tavo/gw.key", "KEY"}})))
        << error << "\n" << yaml;
    EXPECT_EQ(again, c) << yaml;
}

// A file past the limit is refused whole: cut at the limit it could read as a
// configuration with fewer modules.
TEST(GatewayConfig, AFileLargerThanTheLimitIsRefusedNotCut) {
    test::TempDir dir;
    const std::string path = dir.File("big.yaml");
    {
        std::ofstream out(path);
        out << "mqtt: {}\nbuses: []\n";
        for (int i = 0; i < (1 << 20) / 64 + 1; ++i) out << "# " << std::string(61, 'x') << "\n";
    }
    GatewayConfig config;
    std::string error;
    EXPECT_FALSE(ReadGatewayConfig(path, config, error));
    EXPECT_NE(error.find("larger than 1 MiB"), std::string::npos) << error;
}

TEST(GatewayConfig, AConfigurationWithoutBusesIsWrittenSoThatItReadsBack) {
    GatewayConfig empty, again;
    std::string error;
    // Neither server named: the broker on this machine, as before there was a choice.
    ASSERT_TRUE(ParseGatewayConfig("buses: []\n", "gw.yaml", empty, error, Files({}))) << error;
    EXPECT_TRUE(empty.useMqtt);
    EXPECT_FALSE(empty.modbusTcp);
    EXPECT_EQ(empty.mqtt, MqttConfig{});
    ASSERT_TRUE(ParseGatewayConfig("mqtt: {}\nbuses: []\n", "gw.yaml", empty, error, Files({}))) << error;
    ASSERT_TRUE(ParseGatewayConfig(GatewayConfigYaml(empty), "gw.yaml", again, error, Files({}))) << error;
    EXPECT_EQ(again, empty);
}

TEST(GatewayConfig, AModbusTcpServerAloneNeedsNoBrokerAndReadsBackSo) {
    const std::string text = "modbus_tcp: {port: 1502}\nbuses:\n"
                             "  - {name: a, port: /dev/x, modules: [{address: \"40\", slot: 1, protocol: ascii},"
                             " {address: \"40\", slot: 2, protocol: ascii}]}\n"
                             "  - {name: b, port: /dev/y, modules: [{address: \"41\", protocol: modbus}]}\n";
    GatewayConfig c, again;
    std::string error;
    ASSERT_TRUE(ParseGatewayConfig(text, "gw.yaml", c, error, Files({}))) << error;
    EXPECT_FALSE(c.useMqtt);
    ASSERT_TRUE(c.modbusTcp);
    EXPECT_EQ(*c.modbusTcp, (ModbusTcpConfig{"127.0.0.1", 1502, 3}));
    const std::string yaml = GatewayConfigYaml(c);
    EXPECT_NE(yaml.find("\n# mqtt:\n#   host: \"127.0.0.1\"\n"), std::string::npos) << yaml;
    ASSERT_TRUE(ParseGatewayConfig(yaml, "gw.yaml", again, error, Files({}))) << error << "\n" << yaml;
    EXPECT_EQ(again, c) << yaml;
    // Both servers, the server's defaults written out.
    ASSERT_TRUE(ParseGatewayConfig("mqtt: {port: 1884}\nmodbus_tcp: {bind: \"::1\", stale_after: 5}\nbuses: []\n",
                                   "gw.yaml", c, error, Files({})))
        << error;
    EXPECT_TRUE(c.useMqtt);
    EXPECT_EQ(*c.modbusTcp, (ModbusTcpConfig{"::1", 1502, 5}));
    ASSERT_TRUE(ParseGatewayConfig(GatewayConfigYaml(c), "gw.yaml", again, error, Files({}))) << error;
    EXPECT_EQ(again, c);
}

TEST(GatewayConfig, BusNamesFollowThePortName) {
    EXPECT_EQ(BusNameForPort("/dev/ttyUSB0"), "ttyUSB0");
    EXPECT_EQ(BusNameForPort("/dev/serial/by-id/usb-FTDI_FT232R-if00"), "usb-FTDI_FT232R-if00");
    EXPECT_EQ(BusNameForPort("tcp://10.0.0.7:4001"), "10-0-0-7-4001");
    EXPECT_EQ(BusNameForPort("/tmp/tavo demo.1"), "tavo-demo-1");
    EXPECT_EQ(BusNameForPort("/"), "bus");
}

FoundNode Node(std::string text, std::optional<LinkKind> link, std::vector<FoundNode> children = {}) {
    FoundNode n;
    n.text = std::move(text);
    n.link = link;
    n.children = std::move(children);
    return n;
}

// "40S2 K520 ascii": the modules of a bus.
std::vector<std::string> Listed(const BusConfig& bus) {
    std::vector<std::string> listed;
    for (const ModuleConfig& m : bus.modules)
        listed.push_back(LocationText(m.where) + " " + m.model + " " +
                         std::string(PointProtocolName(m.where.protocol)));
    return listed;
}

// The configuration written with its notes reads back to the same structs.
void ExpectReadsBack(const GatewayConfig& c, const std::vector<std::string>& notes) {
    GatewayConfig again;
    std::string error;
    ASSERT_TRUE(ParseGatewayConfig(GatewayConfigYaml(c, notes), "found.yaml", again, error, Files({})))
        << error;
    again.path.clear();
    EXPECT_EQ(again, c);
}

TEST(GatewayConfig, ASearchBecomesAConfigurationThatReadsBack) {
    std::vector<FoundNode> found;
    found.push_back(Node("(01)R210D", LinkKind::AsciiPlain));
    found.push_back(Node("(24)R550", LinkKind::AsciiChecksum));
    found.push_back(Node("(38)R910", LinkKind::AsciiPlain));
    found.push_back(Node("(40)K100E", LinkKind::AsciiPlain,
                         {Node("(S0)K220", std::nullopt, {Node("(CH 0)", std::nullopt)}),
                          Node("(S2)K520", std::nullopt), Node("(S3)K299", std::nullopt)}));
    found.push_back(Node("(50)R550", LinkKind::ModbusRtu));
    FoundNode elsewhere = Node("(51)R550", LinkKind::ModbusRtu);
    elsewhere.line = LineSettings{19200, 8, kParityEven, kOneStopBit};
    found.push_back(elsewhere);

    SearchedPort port{"/tmp/bus 1", {9600, 8, kParityNone, kOneStopBit}, 20, 0};
    std::vector<std::string> notes;
    const GatewayConfig c = ConfigFromSearch(port, found, notes);
    ASSERT_EQ(c.buses.size(), 1u);
    const BusConfig& bus = c.buses[0];
    EXPECT_EQ(bus.name, "bus-1");
    EXPECT_EQ(c.mqtt.clientId, "tavo-bus-1");
    EXPECT_EQ(c.mqtt.host, "127.0.0.1");
    EXPECT_EQ(bus.timeoutMs, 20);
    EXPECT_EQ(bus.turnaroundMs, 0);
    std::vector<std::string> listed;
    for (const ModuleConfig& m : bus.modules) {
        listed.push_back(LocationText(m.where) + " " + m.model + " " +
                         std::string(PointProtocolName(m.where.protocol)));
        EXPECT_TRUE(m.writable.empty());
    }
    EXPECT_EQ(listed, (std::vector<std::string>{"01 R210D ascii", "24 R550 checksum", "40S0 K220 ascii",
                                                "40S2 K520 ascii", "40S3  ascii", "50 R550 modbus"}));
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0], "(38)R910 is left out: R910 is a converter and has no values of its own");
    EXPECT_EQ(notes[1], "(40)K100E (S3)K299 has no model here: the rack is asked at start which points it has");
    EXPECT_EQ(notes[2], "(51)R550 is left out: it answered at 19200, E, 8, 1, and the bus runs at 9600, N, 8, 1");

    ExpectReadsBack(c, notes);
}

// A rack speaking Modbus shows no slot nodes; the slots the search read for the
// configuration are listed as any rack's, each with the model its points take.
TEST(GatewayConfig, AModbusRackListsTheSlotsTheSearchRead) {
    FoundNode rack = Node("(53)K100EM", LinkKind::ModbusRtu);
    rack.modbusSlots = {Node("(S0)K220", std::nullopt), Node("(S2)K520", std::nullopt),
                        Node("(S3)K710", std::nullopt), Node("(S5)K0AI", std::nullopt)};
    FoundNode unread = Node("(54)K100M", LinkKind::ModbusRtu);
    FoundNode empty = Node("(55)K100M", LinkKind::ModbusRtu);
    empty.modbusSlots.emplace();
    // The search finds it, but the slots' points are not reached above 247.
    FoundNode high = Node("(FB)K100M", LinkKind::ModbusRtu);
    high.modbusSlots = {Node("(S1)K520", std::nullopt)};
    // An ASCII rack's slot nodes stay what counts, whatever else the node carries.
    FoundNode ascii = Node("(40)K100", LinkKind::AsciiPlain, {Node("(S1)K310", std::nullopt)});

    SearchedPort port{"/dev/ttyUSB0", {9600, 8, kParityNone, kOneStopBit}, 80, 20};
    std::vector<std::string> notes;
    const GatewayConfig c = ConfigFromSearch(port, {rack, unread, empty, high, ascii}, notes);
    ASSERT_EQ(c.buses.size(), 1u);
    EXPECT_EQ(Listed(c.buses[0]), (std::vector<std::string>{"53S0 K220 modbus", "53S2 K520 modbus", "53S3 K710 modbus",
                                                "53S5 K0AI modbus", "40S1 K310 ascii"}));
    EXPECT_EQ(notes, (std::vector<std::string>{
                         "(54)K100M is left out: which modules its slots hold was not read (the rack did not tell, or its "
        "port was not the open one at the line settings it answered at: select the port and export again)",
                         "(55)K100M is left out: its slots are empty",
                         "(FB)K100M (S1)K520 is left out: a Modbus rack answers at addresses 1 to 247, not 251"}));
    ExpectReadsBack(c, notes);
}

// The window's searches of several ports: one bus each, in order, each at its own
// settings, with names the reader takes as distinct buses.
TEST(GatewayConfig, SeveralSearchedPortsBecomeOneBusEach) {
    std::vector<PortSearch> ports;
    ports.push_back({{"/dev/ttyUSB0", {9600, 8, kParityNone, kOneStopBit}, 80, 20},
                     {Node("(01)R210D", LinkKind::AsciiPlain), Node("(38)R910", LinkKind::AsciiPlain)}});
    ports.push_back({{"/dev/serial/by-path/ttyUSB0", {19200, 8, kParityEven, kOneStopBit}, 30, 5},
                     {Node("(05)R550", LinkKind::ModbusRtu)}});
    ports.push_back({{"tcp://10.0.0.7:4001", {9600, 8, kParityNone, kOneStopBit}, 120, 20}, {}});
    std::vector<std::string> notes;
    const GatewayConfig c = ConfigFromSearch(ports, notes);
    ASSERT_EQ(c.buses.size(), 3u);
    EXPECT_EQ(c.buses[0].name, "ttyUSB0");
    EXPECT_EQ(c.buses[1].name, "ttyUSB0-2");
    EXPECT_EQ(c.buses[2].name, "10-0-0-7-4001");
    EXPECT_EQ(c.mqtt.clientId, "tavo-ttyUSB0");
    EXPECT_EQ(c.buses[1].port, "/dev/serial/by-path/ttyUSB0");
    EXPECT_EQ(c.buses[1].line, (LineSettings{19200, 8, kParityEven, kOneStopBit}));
    EXPECT_EQ(c.buses[1].timeoutMs, 30);
    EXPECT_EQ(c.buses[1].turnaroundMs, 5);
    ASSERT_EQ(c.buses[1].modules.size(), 1u);
    EXPECT_EQ(c.buses[1].modules[0].where.protocol, PointProtocol::Modbus);
    EXPECT_TRUE(c.buses[2].modules.empty());
    // With several ports a note says which port it is about.
    EXPECT_EQ(notes, (std::vector<std::string>{
                         "/dev/ttyUSB0: (38)R910 is left out: R910 is a converter and has no values of its own"}));
    ExpectReadsBack(c, notes);
}

} // namespace
} // namespace tavo::gateway
