// The gateway's publishing logic without a broker: which topics get what and when,
// how commands are checked before a bus hears of them, and how the discovery
// configurations of modules no longer configured are removed.
#include "gateway/command_payload.h"
#include "gateway/mqtt_front_end.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace tavo::gateway {
namespace {

using Json = nlohmann::json;
using namespace std::chrono_literals;

struct Sent {
    std::string topic;
    std::string payload;
    bool retain;
};

class RecordingClient : public MqttClient {
public:
    bool Publish(const std::string& topic, std::string_view payload, bool retain) override {
        sent.push_back({topic, std::string(payload), retain});
        return true;
    }
    bool Subscribe(const std::string& pattern) override {
        subscribed.push_back(pattern);
        return true;
    }
    bool Unsubscribe(const std::string& pattern) override {
        unsubscribed.push_back(pattern);
        return true;
    }
    // The publications to `topic` so far, oldest first.
    std::vector<Sent> To(const std::string& topic) const {
        std::vector<Sent> out;
        for (const Sent& s : sent)
            if (s.topic == topic) out.push_back(s);
        return out;
    }
    std::vector<Sent> sent;
    std::vector<std::string> subscribed, unsubscribed;
};

class RecordingBus : public WriteTarget {
public:
    bool Submit(WriteRequest request, std::string& error) override {
        if (full) {
            error = "bus line1 has 64 commands waiting already; send it again later";
            return false;
        }
        requests.push_back(std::move(request));
        return true;
    }
    bool full = false;
    std::vector<WriteRequest> requests;
};

PointInfo Point(std::string name, PointKind kind, std::string unit, double min, double max,
                bool writable, int decimals = 1) {
    PointInfo p;
    p.name = std::move(name);
    p.kind = kind;
    p.unit = std::move(unit);
    p.min = min;
    p.max = max;
    p.writable = writable;
    p.decimals = decimals;
    return p;
}

GatewayConfig TwoModules() {
    GatewayConfig c;
    c.mqtt.clientId = "gw1";
    c.mqtt.refreshS = 60;
    BusConfig bus;
    bus.name = "line1";
    bus.port = "/dev/ttyUSB0";
    ModuleConfig a;
    a.where = {0x09, -1, PointProtocol::Ascii};
    a.writable = {"do0", "ao0"};
    ModuleConfig b;
    b.where = {0x40, 2, PointProtocol::Modbus};
    bus.modules = {a, b};
    c.buses = {bus};
    return c;
}

const ModuleKey kMixed{"line1", {0x09, -1, PointProtocol::Ascii}};
const ModuleKey kSlot{"line1", {0x40, 2, PointProtocol::Modbus}};

// A module with one point of every kind: ai0 (°C), di0, do0 and ao0 writable, do1 not,
// cnt0, freq0.
ModuleDescription Mixed() {
    ModuleDescription d;
    d.key = kMixed;
    d.model = "X9";
    d.firmware = "A2.02";
    d.name = "boiler";
    d.points = {Point("ai0", PointKind::AnalogInput, "°C", -50, 150, false),
                Point("di0", PointKind::DigitalInput, "", kNoLimit, kNoLimit, false),
                Point("do0", PointKind::DigitalOutput, "", 0, 1, true),
                Point("do1", PointKind::DigitalOutput, "", 0, 1, true),
                Point("ao0", PointKind::AnalogOutput, "mA", 0, 20, true, 2),
                Point("cnt0", PointKind::Counter, "", kNoLimit, kNoLimit, false, 0),
                Point("freq0", PointKind::Frequency, "Hz", kNoLimit, kNoLimit, false, 0)};
    d.writable = {"do0", "ao0"};
    return d;
}

ModuleState State(const ModuleKey& key, std::vector<PointReading> readings, int second) {
    ModuleState s;
    s.key = key;
    s.time = std::chrono::system_clock::time_point(std::chrono::seconds(1796838900 + second));
    s.readings = std::move(readings);
    s.answered = true;
    return s;
}

std::vector<PointReading> Readings(double ai0, PointQuality q = PointQuality::Good) {
    return {{q, ai0, 1}, {PointQuality::Good, 1, 1}, {PointQuality::Good, 0, 1},
            {PointQuality::Good, 1, 1}, {PointQuality::Good, 12.346, 1}, {PointQuality::Good, 1234, 1},
            {PointQuality::Disabled, 0, 1}};
}

struct GatewayFrontEnd : ::testing::Test {
    RecordingClient client;
    RecordingBus bus;
    std::vector<std::string> log;
    std::shared_ptr<EventQueue> replies = std::make_shared<EventQueue>();
    Clock::time_point t0 = Clock::time_point(100s);
    MqttFrontEnd front{TwoModules(), client, [this](const std::string& name) -> WriteTarget* {
                           return name == "line1" ? &bus : nullptr;
                       },
                       replies, [this](const std::string& line) { log.push_back(line); }};

    void ConnectAndDescribe() {
        front.Connected(t0);
        front.Take(Mixed(), t0);
        client.sent.clear();
    }
    Json LastJson(const std::string& topic) {
        const auto sent = client.To(topic);
        if (sent.empty()) return nullptr;
        return Json::parse(sent.back().payload);
    }
};

TEST_F(GatewayFrontEnd, StateIsPublishedWhenItChangesAndAtTheRefresh) {
    ConnectAndDescribe();
    const std::string topic = "tavo/line1/09/state";
    front.Take(State(kMixed, Readings(21.44), 0), t0);
    ASSERT_EQ(client.To(topic).size(), 1u);
    EXPECT_TRUE(client.To(topic)[0].retain);
    EXPECT_EQ(client.To(topic)[0].payload, R"({"time":"2026-12-09T17:55:00.000Z","ai0":21.4,"di0":true,"do0":false,)"
                           R"("do1":true,"ao0":12.35,"cnt0":1234,"freq0":null,"quality":{"freq0":"disabled"}})");

    // Below the point's decimals nothing changed; a new value and a burn-out did.
    front.Take(State(kMixed, Readings(21.41), 1), t0 + 1s);
    EXPECT_EQ(client.To(topic).size(), 1u);
    front.Take(State(kMixed, Readings(21.6), 2), t0 + 2s);
    EXPECT_EQ(client.To(topic).size(), 2u);
    front.Take(State(kMixed, Readings(888888, PointQuality::BurnOut), 3), t0 + 3s);
    ASSERT_EQ(client.To(topic).size(), 3u);
    EXPECT_EQ(LastJson(topic)["ai0"], nullptr);
    EXPECT_EQ(LastJson(topic)["quality"], Json::parse(R"({"ai0":"burn-out","freq0":"disabled"})"));

    // Unchanged: only the refresh publishes it again, with the last poll's time.
    front.Take(State(kMixed, Readings(888888, PointQuality::BurnOut), 50), t0 + 50s);
    EXPECT_EQ(front.Refresh(t0 + 50s), t0 + 63s);
    EXPECT_EQ(client.To(topic).size(), 3u);
    front.Refresh(t0 + 63s);
    ASSERT_EQ(client.To(topic).size(), 4u);
    EXPECT_EQ(LastJson(topic)["time"], "2026-12-09T17:55:50.000Z");

    // A good write is followed by its state whatever it says.
    ModuleState after = State(kMixed, Readings(888888, PointQuality::BurnOut), 64);
    after.afterWrite = true;
    front.Take(after, t0 + 64s);
    EXPECT_EQ(client.To(topic).size(), 5u);
}

TEST_F(GatewayFrontEnd, NothingIsPublishedBeforeTheConnectionAndEverythingOnIt) {
    front.Take(Mixed(), t0);
    front.Take(State(kMixed, Readings(20), 0), t0);
    front.Take(ModuleAvailability{kMixed, true}, t0);
    front.Take(ModuleAvailability{kSlot, false}, t0);
    EXPECT_TRUE(client.sent.empty());
    for (int round = 0; round < 2; ++round) { // the first connection, and a reconnection
        client.sent.clear();
        client.subscribed.clear();
        front.Connected(t0);
        EXPECT_EQ(client.subscribed, (std::vector<std::string>{"tavo/line1/+/set/+", "homeassistant/+/gw1/+/config"}));
        ASSERT_FALSE(client.sent.empty());
        EXPECT_EQ(client.sent[0].topic, "tavo/gateway/gw1/status");
        EXPECT_EQ(client.sent[0].payload, "online");
        EXPECT_EQ(client.To("tavo/line1/09/availability").back().payload, "online");
        EXPECT_EQ(client.To("tavo/line1/40S2/availability").back().payload, "offline");
        EXPECT_EQ(client.To("tavo/line1/09/state").size(), 1u);
        EXPECT_EQ(client.To("homeassistant/sensor/gw1/line1_09_ai0/config").size(), 1u);
        front.Disconnected();
        front.Take(State(kMixed, Readings(25), 1), t0);
        EXPECT_EQ(client.To("tavo/line1/09/state").size(), 1u);
    }
}

TEST_F(GatewayFrontEnd, DiscoveryNamesEveryPointWithItsComponent) {
    front.Connected(t0);
    front.Take(Mixed(), t0);
    struct Row {
        std::string point, component;
        std::vector<std::string> keys, absent;
    };
    const std::vector<Row> rows = {
        {"ai0", "sensor", {"unit_of_measurement", "device_class", "state_class"}, {"command_topic"}},
        {"di0", "binary_sensor", {"payload_on", "payload_off"}, {"command_topic", "unit_of_measurement"}},
        {"do0", "switch", {"command_topic", "payload_on", "state_on"}, {"state_class"}},
        {"do1", "binary_sensor", {}, {"command_topic"}}, // an output the configuration keeps read-only
        {"ao0", "number", {"command_topic", "min", "max", "step", "unit_of_measurement"}, {"state_class"}},
        {"cnt0", "sensor", {"state_class"}, {"unit_of_measurement", "device_class"}},
        {"freq0", "sensor", {"unit_of_measurement", "device_class"}, {}},
    };
    for (const Row& row : rows) {
        const std::string topic = "homeassistant/" + row.component + "/gw1/line1_09_" + row.point + "/config";
        const auto sent = client.To(topic);
        ASSERT_EQ(sent.size(), 1u) << topic;
        EXPECT_TRUE(sent[0].retain);
        const Json c = Json::parse(sent[0].payload);
        EXPECT_EQ(c["state_topic"], "tavo/line1/09/state") << row.point;
        EXPECT_EQ(c["value_template"], "{{ value_json." + row.point + " }}");
        EXPECT_EQ(c["availability_topic"], "tavo/line1/09/availability");
        EXPECT_EQ(c["unique_id"], "tavo_gw1_line1_09_" + row.point);
        EXPECT_EQ(c["device"]["identifiers"], Json::array({"tavo_gw1_line1_09"}));
        EXPECT_EQ(c["device"]["sw_version"], "A2.02");
        EXPECT_EQ(c["device"]["model"], "X9");
        EXPECT_EQ(c["device"]["name"], "boiler (X9) at line1/09");
        for (const auto& key : row.keys) EXPECT_TRUE(c.contains(key)) << row.point << " lacks " << key;
        for (const auto& key : row.absent) EXPECT_FALSE(c.contains(key)) << row.point << " has " << key;
        if (c.contains("command_topic")) {
            EXPECT_EQ(c["command_topic"], "tavo/line1/09/set/" + row.point);
        }
    }
    const Json ai0 = Json::parse(client.To("homeassistant/sensor/gw1/line1_09_ai0/config")[0].payload);
    EXPECT_EQ(ai0["unit_of_measurement"], "°C");
    EXPECT_EQ(ai0["device_class"], "temperature");
    EXPECT_EQ(ai0["state_class"], "measurement");
    const Json ao0 = Json::parse(client.To("homeassistant/number/gw1/line1_09_ao0/config")[0].payload);
    EXPECT_EQ(ao0["min"], 0);
    EXPECT_EQ(ao0["max"], 20);
    EXPECT_EQ(ao0["step"], 0.01);
    EXPECT_EQ(ao0["device_class"], "current");
    EXPECT_EQ(Json::parse(client.To("homeassistant/sensor/gw1/line1_09_cnt0/config")[0].payload)["state_class"],
              "total_increasing");

    // The same description again publishes nothing; ranges read later publish anew.
    const std::size_t before = client.sent.size();
    front.Take(Mixed(), t0);
    EXPECT_EQ(client.sent.size(), before);
    ModuleDescription ranged = Mixed();
    ranged.points[4].max = 10;
    front.Take(ranged, t0);
    ASSERT_EQ(client.sent.size(), before + 1);
    EXPECT_EQ(Json::parse(client.sent.back().payload)["max"], 10);
}

TEST_F(GatewayFrontEnd, CommandsAreCheckedBeforeAnyReachesTheBus) {
    ConnectAndDescribe();
    struct Row {
        std::string topic, payload;
        std::string error; // empty: goes to the bus with `value`
        double value = 0;
    };
    const std::vector<Row> rows = {
        {"tavo/line1/09/set/do0", "ON", "", 1},
        {"tavo/line1/09/set/do0", "false", "", 0},
        {"tavo/line1/09/set/ao0", " 12.5\r\n", "", 12.5},
        {"tavo/line1/09/set/ao0", "21", "21 is outside the range of ao0 (0 to 20 mA)"},
        {"tavo/line1/09/set/ao0", "ON", "'ON' is not a number (ao0 takes a decimal value in mA)"},
        {"tavo/line1/09/set/do0", "2", "'2' is no value for the digital point do0 (give 0, 1, ON, OFF, true or false)"},
        {"tavo/line1/09/set/do0", std::string(257, '1'), "the command is 257 bytes long; at most 256 are taken"},
        {"tavo/line1/09/set/do0", "O\xC3\x96N", "the command holds bytes that are no printable ASCII characters"},
        {"tavo/line1/09/set/do0", "", "the command is empty: send ON or OFF"},
        {"tavo/line1/09/set/do1", "1", "do1 of line1/09 is not writable here: list it under 'writable' in the configuration"},
        {"tavo/line1/09/set/ai0", "1", "ai0 is an input and cannot be written"},
        {"tavo/line1/09/set/do7", "1", "the X9 has no point do7 (it has ai0, di0, do0, do1, ao0, cnt0, freq0)"},
        {"tavo/line1/40S2/set/do0", "1", "line1/40S2 has not answered yet, so its model is not known"},
        {"tavo/line1/0A/set/do0", "1", "there is no module 0A on bus line1 in this gateway"},
        {"tavo/line9/09/set/do0", "1", "there is no module 09 on bus line9 in this gateway"},
    };
    for (const Row& row : rows) {
        client.sent.clear();
        log.clear();
        bus.requests.clear();
        front.Message(row.topic, row.payload, t0);
        const std::string resultTopic = row.topic.substr(0, row.topic.find("/set/")) + "/result";
        ASSERT_EQ(client.sent.size(), row.error.empty() ? 0u : 1u) << row.topic << " " << row.payload;
        if (row.error.empty()) {
            ASSERT_EQ(bus.requests.size(), 1u) << row.payload;
            EXPECT_EQ(bus.requests[0].value, row.value) << row.payload;
            EXPECT_EQ(bus.requests[0].key, kMixed);
            EXPECT_EQ(bus.requests[0].replyTo.lock(), replies);
            EXPECT_TRUE(log.empty());
            continue;
        }
        EXPECT_TRUE(bus.requests.empty()) << row.topic << " " << row.payload;
        EXPECT_EQ(client.sent[0].topic, resultTopic);
        EXPECT_FALSE(client.sent[0].retain);
        const Json result = Json::parse(client.sent[0].payload);
        EXPECT_EQ(result["ok"], false);
        EXPECT_EQ(result["point"], row.topic.substr(row.topic.rfind('/') + 1));
        EXPECT_EQ(result["error"], row.error) << row.topic;
        ASSERT_EQ(log.size(), 1u);
        EXPECT_NE(log[0].find(" refused: " + row.error), std::string::npos) << log[0];
    }
    // A bus that cannot take more is a refusal too.
    client.sent.clear();
    bus.full = true;
    front.Message("tavo/line1/09/set/do0", "1", t0);
    ASSERT_EQ(client.sent.size(), 1u);
    EXPECT_EQ(Json::parse(client.sent[0].payload)["ok"], false);
    // Topics that are no commands are not answered.
    client.sent.clear();
    for (const char* topic : {"tavo/line1/09/set", "tavo/line1/09/set/do0/x", "tavo/line1/09/get/do0", "other/line1/09/set/do0"})
        front.Message(topic, "1", t0);
    EXPECT_TRUE(client.sent.empty());
}

TEST_F(GatewayFrontEnd, TheBusWorkersAnswerIsPublishedAsTheResult) {
    ConnectAndDescribe();
    front.Take(WriteDone{kMixed, "do0", 1.0, true, "", 7}, t0);
    front.Take(WriteDone{kMixed, "ao0", 12.5, true, "", 8}, t0);
    front.Take(WriteDone{kMixed, "ao0", 12.5, false, "the module did not answer", 9}, t0);
    const auto sent = client.To("tavo/line1/09/result");
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].payload, R"({"point":"do0","value":true,"ok":true})");
    EXPECT_EQ(sent[1].payload, R"({"point":"ao0","value":12.5,"ok":true})");
    EXPECT_EQ(sent[2].payload, R"({"point":"ao0","ok":false,"error":"the module did not answer"})");
    EXPECT_EQ(log.size(), 1u);
}

TEST_F(GatewayFrontEnd, StaleDiscoveryConfigurationsAreRemoved) {
    front.Connected(t0);
    front.Take(Mixed(), t0);
    client.sent.clear();
    const auto retained = [&](const std::string& topic, const std::string& stateTopic) {
        Json c;
        c["state_topic"] = stateTopic;
        c["availability_topic"] = stateTopic.substr(0, stateTopic.rfind('/')) + "/availability";
        front.Message(topic, c.dump(), t0);
    };
    // Its own configurations come back from the broker and stay.
    retained("homeassistant/sensor/gw1/line1_09_ai0/config", "tavo/line1/09/state");
    EXPECT_TRUE(client.sent.empty());
    // A point this model does not have (the module was another model before).
    retained("homeassistant/sensor/gw1/line1_09_ai7/config", "tavo/line1/09/state");
    ASSERT_EQ(client.sent.size(), 1u);
    EXPECT_EQ(client.sent[0].topic, "homeassistant/sensor/gw1/line1_09_ai7/config");
    EXPECT_EQ(client.sent[0].payload, "");
    EXPECT_TRUE(client.sent[0].retain);
    // A module no longer configured: its configuration, state and availability go.
    client.sent.clear();
    retained("homeassistant/sensor/gw1/line2_05_ai0/config", "tavo/line2/05/state");
    ASSERT_EQ(client.sent.size(), 3u);
    for (const Sent& s : client.sent) EXPECT_EQ(s.payload, "");
    EXPECT_EQ(client.sent[1].topic, "tavo/line2/05/state");
    EXPECT_EQ(client.sent[2].topic, "tavo/line2/05/availability");
    // A configured module that has not answered yet keeps its entities until it is
    // described, and then loses those it no longer has.
    client.sent.clear();
    retained("homeassistant/switch/gw1/line1_40S2_do0/config", "tavo/line1/40S2/state");
    retained("homeassistant/switch/gw1/line1_40S2_do5/config", "tavo/line1/40S2/state");
    EXPECT_TRUE(client.sent.empty());
    ModuleDescription slot;
    slot.key = kSlot;
    slot.model = "K520";
    slot.points = {Point("do0", PointKind::DigitalOutput, "", 0, 1, true)};
    slot.writable = {"do0"};
    front.Take(slot, t0);
    const auto removed = client.To("homeassistant/switch/gw1/line1_40S2_do5/config");
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0].payload, "");
    EXPECT_EQ(client.To("homeassistant/switch/gw1/line1_40S2_do0/config").size(), 1u);
    EXPECT_EQ(client.To("homeassistant/switch/gw1/line1_40S2_do0/config")[0].payload.empty(), false);
}

TEST_F(GatewayFrontEnd, AReloadRemovesTheModulesItDropsAndFollowsTheBuses) {
    ConnectAndDescribe();
    front.Take(State(kMixed, Readings(20), 0), t0);
    GatewayConfig next = TwoModules();
    next.buses[0].modules.erase(next.buses[0].modules.begin()); // 09 goes
    BusConfig second;
    second.name = "line2";
    second.port = "/dev/ttyUSB1";
    next.buses.push_back(second);
    client.sent.clear();
    front.Reconfigure(next, false);
    std::size_t emptied = 0;
    for (const Sent& s : client.sent) {
        EXPECT_EQ(s.payload, "") << s.topic;
        EXPECT_TRUE(s.retain);
        emptied += s.topic.find("line1_09_") != std::string::npos || s.topic.rfind("tavo/line1/09/", 0) == 0;
    }
    EXPECT_EQ(emptied, 7u + 2u); // seven entities, the state and the availability
    EXPECT_EQ(client.subscribed.back(), "tavo/line2/+/set/+");
    // Events of the removed module are no longer published.
    client.sent.clear();
    front.Take(State(kMixed, Readings(30), 1), t0);
    EXPECT_TRUE(client.sent.empty());
}

TEST_F(GatewayFrontEnd, OfflineForEveryModuleAndTheGatewayAtTheEnd) {
    ConnectAndDescribe();
    front.PublishOffline();
    std::vector<std::string> topics;
    for (const Sent& s : client.sent) {
        EXPECT_EQ(s.payload, "offline");
        EXPECT_TRUE(s.retain);
        topics.push_back(s.topic);
    }
    EXPECT_EQ(topics, (std::vector<std::string>{"tavo/line1/09/availability", "tavo/line1/40S2/availability",
                                                "tavo/gateway/gw1/status"}));
}

TEST(CommandPayload, ValuesByKindAndNothingElse) {
    const PointInfo digital = Point("do0", PointKind::DigitalOutput, "", 0, 1, true);
    const PointInfo analog = Point("ao0", PointKind::AnalogOutput, "V", -10, 10, true);
    struct Row {
        const PointInfo& info;
        std::string payload;
        std::optional<double> value;
    };
    const std::vector<Row> rows = {
        {digital, "ON", 1}, {digital, "off", 0}, {digital, "1", 1}, {digital, "0", 0},
        {digital, "True", 1}, {digital, "FALSE\n", 0}, {digital, "\tON ", 1},
        {digital, "yes", std::nullopt}, {digital, "1.0", std::nullopt}, {digital, "\"ON\"", std::nullopt},
        {digital, std::string("O\0N", 3), std::nullopt}, {digital, " ", std::nullopt},
        {analog, "-2.5", -2.5}, {analog, "1e1", 10}, {analog, "+3", 3}, {analog, "99", 99},
        {analog, "nan", std::nullopt}, {analog, "1,5", std::nullopt}, {analog, "{\"value\":1}", std::nullopt},
        {analog, std::string(256, '1'), std::stod(std::string(256, '1'))},
        {analog, std::string(257, '1'), std::nullopt},
        {analog, std::string(255, ' ') + "1", 1},
    };
    for (const Row& row : rows) {
        std::string error;
        EXPECT_EQ(ParseCommandPayload(row.payload, row.info, error), row.value) << row.payload;
        EXPECT_EQ(error.empty(), row.value.has_value()) << row.payload;
        for (const char c : error) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << error;
    }
}

} // namespace
} // namespace tavo::gateway
