// `tavo gateway` as a service runs it: the program itself against Debian's mosquitto
// and the simulator's bus (its pseudo-terminal and its tcp:// server). Every wait is
// for a message or a log line, with a generous limit; nothing sleeps to let a thing
// happen.
#include "support/gateway_run.h"
#include "support/mqtt_broker.h"
#include "support/process.h"
#include "support/reserved_port.h"
#include "support/temp_dir.h"

#include "sim/bus.h"
#include "sim/bus_file.h"
#include "sim/pty_server.h"
#include "sim/tcp_server.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <fstream>
#include <set>
#include <thread>

namespace tavo::test {
namespace {

using Json = nlohmann::json;
using Strings = std::vector<std::string>;
using namespace std::chrono_literals;


struct GatewayService : ::testing::Test {
    void SetUp() override {
        if (MqttBroker::Program().empty()) GTEST_SKIP() << "mosquitto is not installed (scripts/setup.sh installs it)";
    }
    std::unique_ptr<MqttBroker> StartBroker(const TestCertificates* tls = nullptr) {
        auto broker = std::make_unique<MqttBroker>(tls);
        std::string error;
        if (!broker->Start(error)) throw std::runtime_error(error);
        return broker;
    }
    // A configuration with one bus on `port` polled every 100 ms.
    std::string Config(std::uint16_t broker, const std::string& port, const std::string& modules,
                       const std::string& mqttExtra = "", const std::string& name = "gw1") {
        const std::string path = dir.File(name + ".yaml");
        EXPECT_TRUE(WriteFile(path, "mqtt: {host: 127.0.0.1, port: " + std::to_string(broker) + ", client_id: " + name +
                            ", refresh_s: 60" + mqttExtra + "}\nbuses:\n  - name: line1\n    port: \"" + port +
                            "\"\n    timeout_ms: 250\n    turnaround_ms: 0\n    poll_ms: 100\n    modules:\n" +
                            modules));
        return path;
    }
    static Json Parsed(const std::optional<std::string>& payload) {
        if (!payload) return nullptr;
        return Json::parse(*payload, nullptr, false);
    }
    TempDir dir;
};

const char* kBusText = "09 R270P value=12.5 value0=141.5 burnout=04\n"
                       "0A R550 checksum inputs=A5\n"
                       "0C R550 protocol=modbus inputs=5A\n";
const char* kModules = "      - {address: \"09\", protocol: ascii, name: boiler}\n"
                       "      - {address: \"0A\", protocol: checksum, model: R550, writable: [do3]}\n"
                       "      - {address: \"0C\", protocol: modbus, writable: [do2]}\n";

TEST_F(GatewayService, PublishesWhatTheModulesSentAndTakesCommandsAsThePanelsSendThem) {
    auto broker = StartBroker();
    LinkedBus sim(kBusText, dir.File("bus"));
    MqttProbe probe(broker->port());
    Gateway gateway(Config(broker->port(), sim.link(), kModules));

    // Values as the simulator sent them; burn-out is null with its quality.
    const Json r270p = Parsed(probe.Next("tavo/line1/09/state"));
    ASSERT_TRUE(r270p.is_object()) << gateway.Log();
    EXPECT_EQ(r270p["ai0"], 141.5);
    EXPECT_EQ(r270p["ai2"], nullptr);
    EXPECT_EQ(r270p["quality"], Json::parse(R"({"ai2":"burn-out"})"));
    for (const char* point : {"ai1", "ai3", "ai4", "ai5", "ai6", "ai7"}) EXPECT_EQ(r270p[point], 12.5) << point;
    EXPECT_EQ(r270p["time"].get<std::string>().size(), std::string("2026-12-09T15:28:53.123Z").size());
    const Json ascii = Parsed(probe.Next("tavo/line1/0A/state"));
    const Json modbus = Parsed(probe.Next("tavo/line1/0C/state"));
    for (int i = 0; i < 8; ++i) {
        const std::string di = "di" + std::to_string(i);
        EXPECT_EQ(ascii[di], ((0xA5 >> i) & 1) != 0) << di;
        EXPECT_EQ(modbus[di], ((0x5A >> i) & 1) != 0) << di;
        EXPECT_EQ(ascii["do" + std::to_string(i)], false);
    }
    EXPECT_EQ(probe.Next("tavo/line1/09/availability"), "online");
    EXPECT_EQ(probe.Next("tavo/gateway/gw1/status"), "online");

    // Discovery: every entity's configuration is JSON with the keys a home automation
    // needs; the writable ones have their command topic.
    ASSERT_TRUE(probe.WaitFor([](const MqttProbe::Messages& all) {
        return std::count_if(all.begin(), all.end(), [](const auto& m) {
                   return m.topic.rfind("homeassistant/", 0) == 0;
               }) >= 8 + 16 + 16;
    })) << gateway.Log();
    for (const auto& m : probe.All()) {
        if (m.topic.rfind("homeassistant/", 0) != 0) continue;
        const Json c = Json::parse(m.payload, nullptr, false);
        ASSERT_TRUE(c.is_object()) << m.topic;
        for (const char* key : {"name", "unique_id", "state_topic", "value_template", "availability_topic", "device"})
            EXPECT_TRUE(c.contains(key)) << m.topic << " lacks " << key;
    }
    // The units come with the module's ranges, read at its first poll.
    const std::string ai0Topic = "homeassistant/sensor/gw1/line1_09_ai0/config";
    ASSERT_TRUE(probe.WaitFor([&](const MqttProbe::Messages& all) {
        const auto configs = MqttProbe::On(all, ai0Topic);
        return !configs.empty() && Json::parse(configs.back().payload).contains("unit_of_measurement");
    })) << gateway.Log();
    const Json ai0 = Json::parse(probe.On(ai0Topic).back().payload);
    EXPECT_EQ(ai0["unit_of_measurement"], "°C");
    EXPECT_EQ(ai0["device"]["model"], "R270P");
    EXPECT_EQ(ai0["device"]["name"], "boiler (R270P) at line1/09");
    const Json sw = Parsed(probe.Next("homeassistant/switch/gw1/line1_0A_do3/config"));
    EXPECT_EQ(sw["command_topic"], "tavo/line1/0A/set/do3");
    EXPECT_EQ(Parsed(probe.Next("homeassistant/switch/gw1/line1_0C_do2/config"))["command_topic"],
              "tavo/line1/0C/set/do2");
    EXPECT_TRUE(probe.On("homeassistant/switch/gw1/line1_0A_do2/config").empty()); // not writable

    // A command reaches the module as the panel's output button sends it, once, and a
    // fresh state follows; a refused one sends nothing.
    const std::set<std::string> pollA = Polls(sim, 0x0A), pollC = Polls(sim, 0x0C);
    const std::size_t states = probe.On("tavo/line1/0A/state").size();
    probe.Publish("tavo/line1/0A/set/do3", "ON");
    EXPECT_EQ(probe.Next("tavo/line1/0A/result"), R"({"point":"do3","value":true,"ok":true})");
    ASSERT_TRUE(probe.WaitFor([&](const MqttProbe::Messages& all) {
        const auto seen = MqttProbe::On(all, "tavo/line1/0A/state");
        return seen.size() > states && Json::parse(seen.back().payload)["do3"] == true;
    }));
    probe.Publish("tavo/line1/0C/set/do2", "1");
    EXPECT_EQ(probe.Next("tavo/line1/0C/result"), R"({"point":"do2","value":true,"ok":true})");
    EXPECT_EQ(Besides(sim.Received(0x0A), pollA), Strings{"#0A1301"});
    EXPECT_EQ(Besides(sim.Received(0x0C), pollC), Strings{"0C050012FF00"});
    for (const auto& [topic, payload] : std::vector<std::pair<std::string, std::string>>{
             {"tavo/line1/0A/set/do3", "maybe"},
             {"tavo/line1/0A/set/do2", "ON"},
             {"tavo/line1/0A/set/di0", "ON"},
             {"tavo/line1/0A/set/do3", std::string(300, '1')},
             {"tavo/line1/0C/set/do9", "ON"}})
        probe.Publish(topic, payload);
    ASSERT_TRUE(probe.WaitFor([](const MqttProbe::Messages& all) {
        return std::count_if(all.begin(), all.end(), [](const auto& m) {
                   return m.topic.find("/result") != std::string::npos &&
                          m.payload.find("\"ok\":false") != std::string::npos;
               }) == 5;
    })) << gateway.Log();
    // The polls go on, and they are all the modules hear.
    EXPECT_EQ(Besides(Heard(sim, 0x0A, 3), pollA), Strings{});
    EXPECT_EQ(Besides(Heard(sim, 0x0C, 3), pollC), Strings{});
    EXPECT_EQ(gateway.Lines("refused"), 5u) << gateway.Log();
    // What a client that comes later is given: retained state and discovery.
    MqttProbe late(broker->port());
    for (const char* topic : {"tavo/line1/09/state", "tavo/line1/0C/availability", ai0Topic.c_str()}) {
        ASSERT_TRUE(late.Next(topic)) << topic;
        EXPECT_TRUE(late.On(topic)[0].retained) << topic;
    }
    EXPECT_EQ(gateway.Stop(), 0);
}

TEST_F(GatewayService, ARacksSlotsAreAskedOfTheRackAndAnEmptySlotIsSaidOnce) {
    auto broker = StartBroker();
    // Slot 3 holds a generic analog input of five channels, under a name of its own.
    LinkedBus sim("40 K100E slots=K520,-,K620,K299:5\n", dir.File("bus"));
    MqttProbe probe(broker->port());
    Gateway gateway(Config(broker->port(), sim.link(),
                           "      - {address: \"40\", slot: 0, protocol: ascii}\n"
                           "      - {address: \"40\", slot: 1, protocol: ascii}\n"
                           "      - {address: \"40\", slot: 2, protocol: ascii, writable: [do1]}\n"
                           "      - {address: \"40\", slot: 3, protocol: ascii}\n"));
    const Json k520 = Parsed(probe.Next("tavo/line1/40S0/state"));
    ASSERT_TRUE(k520.is_object()) << gateway.Log();
    EXPECT_TRUE(k520.contains("di15")) << k520.dump();
    const Json k620 = Parsed(probe.Next("tavo/line1/40S2/state"));
    ASSERT_TRUE(k620.is_object()) << gateway.Log();
    EXPECT_TRUE(k620.contains("do7")) << k620.dump();
    const Json generic = Parsed(probe.Next("tavo/line1/40S3/state"));
    ASSERT_TRUE(generic.is_object()) << gateway.Log();
    EXPECT_TRUE(generic["ai4"].is_number()) << generic.dump();
    EXPECT_EQ(generic["quality"]["ai5"], "disabled") << generic.dump();
    EXPECT_EQ(Parsed(probe.Next("homeassistant/switch/gw1/line1_40S2_do1/config"))["command_topic"],
              "tavo/line1/40S2/set/do1");
    EXPECT_EQ(probe.Next("tavo/line1/40S1/availability"), "offline") << gateway.Log();
    ASSERT_TRUE(gateway.WaitForLine("line1/40S1: "));
    // Several cycles later the empty slot has still been said only once.
    sim.Received(0x40);
    EXPECT_GE(Heard(sim, 0x40, 12).size(), 12u);
    EXPECT_EQ(gateway.Lines("line1/40S1: "), 1u) << gateway.Log();
    EXPECT_TRUE(probe.On("tavo/line1/40S1/state").empty());
    EXPECT_EQ(gateway.Stop(), 0);
}

TEST_F(GatewayService, ALostPortTakesItsModulesOfflineOnceAndBackOnce) {
    auto broker = StartBroker();
    LinkedBus sim("0A R550 inputs=A5\n0B R550 inputs=0F\n", dir.File("adapter"));
    MqttProbe probe(broker->port());
    Gateway gateway(Config(broker->port(), sim.link(),
                           "      - {address: \"0A\", protocol: ascii}\n"
                           "      - {address: \"0B\", protocol: ascii, model: R550}\n"));
    ASSERT_EQ(probe.Next("tavo/line1/0A/availability"), "online") << gateway.Log();
    ASSERT_EQ(probe.Next("tavo/line1/0B/availability"), "online");
    sim.Unplug();
    EXPECT_EQ(probe.Next("tavo/line1/0A/availability", 1), "offline") << gateway.Log();
    EXPECT_EQ(probe.Next("tavo/line1/0B/availability", 1), "offline");
    ASSERT_TRUE(gateway.WaitForLine(" lost ("));
    sim.Plug();
    EXPECT_EQ(probe.Next("tavo/line1/0A/availability", 2), "online") << gateway.Log();
    EXPECT_EQ(probe.Next("tavo/line1/0B/availability", 2), "online");
    ASSERT_TRUE(gateway.WaitForLine("adapter is back"));
    // Values again, and no more changes of availability once the polls are good.
    sim.Received(0x0A);
    EXPECT_GE(Heard(sim, 0x0A, 4).size(), 4u);
    probe.Settle();
    for (const char* topic : {"tavo/line1/0A/availability", "tavo/line1/0B/availability"}) {
        Strings seen;
        for (const auto& m : probe.On(topic)) seen.push_back(m.payload);
        EXPECT_EQ(seen, (Strings{"online", "offline", "online"})) << topic;
    }
    EXPECT_EQ(gateway.Lines(" lost ("), 1u) << gateway.Log();
    EXPECT_EQ(gateway.Lines("adapter is back"), 1u) << gateway.Log();
    EXPECT_EQ(gateway.Stop(), 0);
}

TEST_F(GatewayService, ABrokerThatRestartsGetsTheRetainedStateAgain) {
    auto broker = StartBroker();
    LinkedBus sim("0A R550 inputs=A5\n", dir.File("bus"));
    Gateway gateway(Config(broker->port(), sim.link(), "      - {address: \"0A\", protocol: ascii}\n"));
    {
        MqttProbe probe(broker->port());
        ASSERT_TRUE(probe.Next("tavo/line1/0A/state")) << gateway.Log();
    }
    broker->Stop(); // the broker keeps nothing
    ASSERT_TRUE(gateway.WaitForLine("lost the broker"));
    std::string error;
    ASSERT_TRUE(broker->Start(error)) << error;
    ASSERT_TRUE(gateway.WaitForLine("connected to the broker", 1)) << gateway.Log();
    {
        MqttProbe probe(broker->port());
        ASSERT_TRUE(probe.Next("tavo/line1/0A/availability")) << gateway.Log();
    }
    // A client that comes now is given the module's state and availability and the
    // gateway's status, retained.
    MqttProbe late(broker->port());
    for (const char* topic : {"tavo/line1/0A/state", "tavo/line1/0A/availability", "tavo/gateway/gw1/status",
                              "homeassistant/binary_sensor/gw1/line1_0A_di0/config"}) {
        ASSERT_TRUE(late.Next(topic)) << topic;
        EXPECT_TRUE(late.On(topic).front().retained) << topic;
    }
    EXPECT_EQ(Parsed(late.Next("tavo/line1/0A/state"))["di0"], true);
    EXPECT_EQ(late.Next("tavo/gateway/gw1/status"), "online");
    EXPECT_EQ(gateway.Stop(), 0);
}

TEST_F(GatewayService, ABrokerDownAtStartIsWaitedForWhileTheBusIsPolled) {
    auto broker = std::make_unique<MqttBroker>();
    LinkedBus sim("0A R550 inputs=A5\n", dir.File("bus"));
    Gateway gateway(Config(broker->port(), sim.link(), "      - {address: \"0A\", protocol: ascii}\n"));
    ASSERT_TRUE(gateway.WaitForLine("cannot connect to the broker"));
    EXPECT_GE(Heard(sim, 0x0A, 3).size(), 3u); // polled meanwhile
    std::string error;
    ASSERT_TRUE(broker->Start(error)) << error;
    MqttProbe probe(broker->port());
    EXPECT_EQ(Parsed(probe.Next("tavo/line1/0A/state"))["di0"], true) << gateway.Log();
    EXPECT_EQ(gateway.Lines("cannot connect to the broker"), 1u) << gateway.Log();
    EXPECT_EQ(gateway.Stop(), 0);
}

TEST_F(GatewayService, TlsWorksWithTheBrokersCaAndAWrongCaIsSaidOnce) {
    TestCertificates certificates;
    std::string error;
    ASSERT_TRUE(certificates.Make(dir.path(), error)) << error;
    auto broker = StartBroker(&certificates);
    LinkedBus sim("0A R550 inputs=A5\n", dir.File("bus"));
    MqttProbe probe(broker->port());
    {
        Gateway gateway(Config(broker->tlsPort(), sim.link(), "      - {address: \"0A\", protocol: ascii}\n",
                               ", tls: {ca_file: ca.pem}"));
        EXPECT_EQ(probe.Next("tavo/gateway/gw1/status"), "online") << gateway.Log();
        EXPECT_TRUE(probe.Next("tavo/line1/0A/state"));
        EXPECT_EQ(gateway.Stop(), 0);
        // Its last words (the modules, then itself offline) reach the probe before it
        // is cleared, however late the broker passes them on.
        EXPECT_EQ(probe.Next("tavo/gateway/gw1/status", 1), "offline");
    }
    probe.Clear();
    Gateway wrong(Config(broker->tlsPort(), sim.link(), "      - {address: \"0A\", protocol: ascii}\n",
                         ", tls: {ca_file: other-ca.pem}", "gw2"));
    ASSERT_TRUE(wrong.WaitForLine("cannot connect to the broker"));
    // It tries again (the broker sees the handshakes fail) and says so only once.
    const auto attempts = [&] {
        const std::string log = broker->Log();
        std::size_t n = 0;
        for (auto at = log.find("OpenSSL Error"); at != std::string::npos; at = log.find("OpenSSL Error", at + 1)) ++n;
        return n;
    };
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (attempts() < 3 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(50ms);
    EXPECT_GE(attempts(), 3u) << broker->Log();
    EXPECT_EQ(wrong.Lines("cannot connect to the broker"), 1u) << wrong.Log();
    EXPECT_NE(wrong.Log().find("TLS: certificate verify failed"), std::string::npos) << wrong.Log();
    EXPECT_EQ(wrong.Stop(), 0);
    probe.Settle();
    EXPECT_TRUE(probe.All().empty());
}

TEST_F(GatewayService, ABadConfigurationOrPortIsOneLineAndNothingIsPublished) {
    auto broker = StartBroker();
    LinkedBus sim("0A R550\n", dir.File("bus"));
    MqttProbe probe(broker->port());
    const std::string good = "      - {address: \"0A\", protocol: ascii}\n";
    struct Row {
        std::string what, modules, mqtt, port, message;
    };
    const std::vector<Row> rows = {
        {"unknown key", "      - {address: \"0A\", protocol: ascii, colour: red}\n", "", sim.link(),
         "gw1.yaml:9:42: unknown key 'colour' in a module"},
        {"wrong type", "      - {address: \"0A\", protocol: ascii, slot: two}\n", "", sim.link(),
         "gw1.yaml:9:48: 'slot' must be a whole number from 0 to 7 (got 'two')"},
        {"duplicate address", good + good, "", sim.link(), "gw1.yaml:10:19: module 0A is listed twice on bus 'line1'"},
        {"missing password file", good, ", username: plant, password_file: nowhere.pw", sim.link(),
         ": cannot read the password file " + dir.File("nowhere.pw") + ": No such file or directory"},
        {"port that cannot open", good, "", dir.File("no-such-port"),
         "cannot open " + dir.File("no-such-port") + " (bus line1): "},
    };
    for (const Row& row : rows) {
        const test::Run run = RunProgram({TAVO_CLI, "gateway", Config(broker->port(), row.port, row.modules, row.mqtt)});
        EXPECT_EQ(run.status, 2) << row.what << ": " << run.out;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << row.what << ": " << run.out;
        EXPECT_NE(run.out.find(row.message), std::string::npos) << row.what << ": " << run.out;
    }
    probe.Settle();
    EXPECT_TRUE(probe.All().empty());
    EXPECT_EQ(broker->Log().find("gw1"), std::string::npos); // it never connected
}

TEST_F(GatewayService, ReloadTakesAGoodConfigurationRefusesABadOneAndTermPublishesOffline) {
    auto broker = StartBroker();
    LinkedBus sim("0A R550 inputs=A5\n0B R550 inputs=0F\n", dir.File("bus"));
    MqttProbe probe(broker->port());
    const std::string one = "      - {address: \"0A\", protocol: ascii}\n";
    const std::string two = one + "      - {address: \"0B\", protocol: ascii}\n";
    const std::string path = Config(broker->port(), sim.link(), two);
    Gateway gateway(path);
    ASSERT_TRUE(probe.Next("homeassistant/binary_sensor/gw1/line1_0B_di0/config")) << gateway.Log();
    ASSERT_TRUE(probe.Next("tavo/line1/0B/state"));

    // A bad file is refused with its message; the running configuration goes on.
    WriteFile(path, "buses: [\n");
    gateway.Signal(SIGHUP);
    ASSERT_TRUE(gateway.WaitForLine("reload refused: " + path + ":2:1:")) << gateway.Log();
    sim.Received(0x0A);
    EXPECT_GE(Heard(sim, 0x0A, 3).size(), 3u);

    // 0B is taken out: its entities, state and availability go from the broker.
    Config(broker->port(), sim.link(), one);
    gateway.Signal(SIGHUP);
    ASSERT_TRUE(gateway.WaitForLine("reloaded " + path + ": 1 module on 1 bus")) << gateway.Log();
    for (const char* topic : {"homeassistant/binary_sensor/gw1/line1_0B_di0/config",
                              "homeassistant/binary_sensor/gw1/line1_0B_do7/config", "tavo/line1/0B/state",
                              "tavo/line1/0B/availability"})
        ASSERT_TRUE(probe.WaitFor([&](const MqttProbe::Messages& all) {
            const auto seen = MqttProbe::On(all, topic);
            return !seen.empty() && seen.back().payload.empty();
        })) << topic;

    // SIGTERM: every module and the gateway offline, retained, then a clean end.
    probe.Clear();
    EXPECT_EQ(gateway.Stop(SIGTERM), 0);
    probe.Settle();
    EXPECT_EQ(probe.On("tavo/line1/0A/availability").back().payload, "offline");
    EXPECT_EQ(probe.On("tavo/gateway/gw1/status").back().payload, "offline");
    EXPECT_TRUE(probe.On("tavo/line1/0B/availability").empty());
    MqttProbe late(broker->port());
    EXPECT_EQ(late.Next("tavo/gateway/gw1/status"), "offline");
    EXPECT_EQ(late.Next("tavo/line1/0A/availability"), "offline");
    // A clean end, not a lost connection that makes the broker send the will.
    EXPECT_NE(broker->Log().find("Client gw1 disconnected."), std::string::npos) << broker->Log();
}

TEST_F(GatewayService, TwoGatewaysShareABrokerAndASearchConfiguresOneOverTcp) {
    auto broker = StartBroker();
    LinkedBus first("0A R550 inputs=A5\n", dir.File("bus1"));
    LinkedBus second("01 R550 inputs=01\n05 R550 protocol=modbus inputs=02\n", dir.File("bus2"));
    ReservedPort tcpPort;
    const std::string tcp = second.ServeTcp(tcpPort.number());
    MqttProbe probe(broker->port());

    // The second bus is found by a search, over the simulator's TCP server, and runs
    // as the search wrote it (only the broker's port is this test's).
    const std::string found = dir.File("found.yaml");
    const test::Run search = RunProgram({TAVO_CLI, "search", "--port", tcp, "--timeout", "30", "--turnaround", "0",
                                   "--end", "6", "--gateway-config", found});
    ASSERT_EQ(search.status, 0) << search.out;
    std::ifstream in(found);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    const auto at = text.find("port: 1883");
    ASSERT_NE(at, std::string::npos) << text;
    text.replace(at, 10, "port: " + std::to_string(broker->port()));
    WriteFile(found, text);

    Gateway one(Config(broker->port(), first.link(), "      - {address: \"0A\", protocol: ascii}\n"));
    Gateway two(found);
    const std::string bus = "127-0-0-1-" + std::to_string(tcpPort.number());
    EXPECT_EQ(probe.Next("tavo/gateway/gw1/status"), "online") << one.Log();
    EXPECT_EQ(probe.Next("tavo/gateway/tavo-" + bus + "/status"), "online") << two.Log();
    EXPECT_EQ(Parsed(probe.Next("tavo/line1/0A/state"))["di0"], true);
    EXPECT_EQ(Parsed(probe.Next("tavo/" + bus + "/01/state"))["di0"], true) << two.Log();
    EXPECT_EQ(Parsed(probe.Next("tavo/" + bus + "/05/state"))["di1"], true) << two.Log();
    EXPECT_TRUE(probe.Next("homeassistant/binary_sensor/tavo-" + bus + "/" + bus + "_05_di1/config"));
    EXPECT_EQ(one.Stop(), 0);
    // One gateway going offline leaves the other's modules alone.
    probe.Settle();
    EXPECT_EQ(probe.On("tavo/" + bus + "/01/availability").back().payload, "online");
    EXPECT_EQ(two.Stop(), 0);
}

// A rack speaking Modbus lists no slots in the search, but the configuration the
// search writes lists each of them with its model, and the gateway polls them all.
TEST_F(GatewayService, ASearchedModbusRackIsServedSlotBySlot) {
    auto broker = StartBroker();
    LinkedBus sim("53 K100EM firmware=A3.10 slots=K220,K310,-,K520,K710 in0=2.5 in3=0005\n", dir.File("bus"));
    const std::string found = dir.File("rack.yaml");
    const test::Run search = RunProgram({TAVO_CLI, "search", "--port", sim.link(), "--timeout", "50",
                                         "--turnaround", "0", "--start", "83", "--end", "83",
                                         "--gateway-config", found});
    ASSERT_EQ(search.status, 0) << search.out;
    std::ifstream in(found);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    for (const char* line : {"{address: \"53\", slot: 0, protocol: modbus, model: \"K220\", writable: []}",
                             "{address: \"53\", slot: 1, protocol: modbus, model: \"K310\", writable: []}",
                             "{address: \"53\", slot: 3, protocol: modbus, model: \"K520\", writable: []}",
                             "{address: \"53\", slot: 4, protocol: modbus, model: \"K710\", writable: []}"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    EXPECT_EQ(text.find("slot: 2"), std::string::npos) << text;
    const auto at = text.find("port: 1883");
    ASSERT_NE(at, std::string::npos) << text;
    text.replace(at, 10, "port: " + std::to_string(broker->port()));
    WriteFile(found, text);

    MqttProbe probe(broker->port());
    Gateway gateway(found);
    const std::string bus = "tavo/" + sim.link().substr(sim.link().rfind('/') + 1);
    const Json k220 = Parsed(probe.Next(bus + "/53S0/state"));
    ASSERT_TRUE(k220.is_object()) << gateway.Log();
    // 2.5 V of the 0 to 10 V range: a quarter of full scale, in % as the panel shows it.
    EXPECT_NEAR(k220["ai0"].get<double>(), 25.0, 0.01) << k220.dump();
    const Json k310 = Parsed(probe.Next(bus + "/53S1/state"));
    ASSERT_TRUE(k310.is_object()) << gateway.Log();
    EXPECT_TRUE(k310["ao0"].is_number()) << k310.dump();
    const Json k520 = Parsed(probe.Next(bus + "/53S3/state"));
    ASSERT_TRUE(k520.is_object()) << gateway.Log();
    EXPECT_EQ(k520["di0"], true);
    EXPECT_EQ(k520["di1"], false);
    EXPECT_EQ(k520["di2"], true);
    const Json k710 = Parsed(probe.Next(bus + "/53S4/state"));
    ASSERT_TRUE(k710.is_object()) << gateway.Log();
    EXPECT_TRUE(k710["cnt0"].is_number()) << k710.dump();
    EXPECT_EQ(probe.Next(bus + "/53S0/availability"), "online");
    EXPECT_EQ(gateway.Stop(), 0);
}

} // namespace
} // namespace tavo::test
