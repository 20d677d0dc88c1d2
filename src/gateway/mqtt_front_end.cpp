#include "mqtt_front_end.h"

#include "command_payload.h"

#include "points/point_text.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace tavo::gateway {
namespace {

std::vector<std::string> Split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const auto end = text.find(separator, start);
        parts.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

const PointInfo* InfoOf(const ModuleDescription& d, const std::string& point) {
    for (const PointInfo& info : d.points)
        if (info.name == point) return &info;
    return nullptr;
}

} // namespace

MqttFrontEnd::MqttFrontEnd(GatewayConfig config, MqttClient& client, Targets targets,
                           std::shared_ptr<EventQueue> replies, LogSink log)
    : config_(std::move(config)), client_(&client), targets_(std::move(targets)),
      replies_(std::move(replies)), log_(std::move(log)) {
    for (const BusConfig& bus : config_.buses)
        for (const ModuleConfig& m : bus.modules) {
            Record r;
            r.key = {bus.name, m.where};
            records_.emplace(KeyText(r.key), std::move(r));
        }
}

MqttFrontEnd::Record* MqttFrontEnd::Find(const std::string& bus, const std::string& where) {
    const auto it = records_.find(bus + "/" + where);
    return it == records_.end() ? nullptr : &it->second;
}

MqttFrontEnd::Record* MqttFrontEnd::Find(const ModuleKey& key) {
    return Find(key.bus, LocationText(key.where));
}

void MqttFrontEnd::Publish(const std::string& topic, std::string_view payload, bool retain) {
    if (connected_) client_->Publish(topic, payload, retain);
}

void MqttFrontEnd::Subscribe(const std::string& pattern) {
    if (connected_) client_->Subscribe(pattern);
}

void MqttFrontEnd::Connected(Clock::time_point now) {
    connected_ = true;
    Publish(StatusTopic(config_.mqtt), kOnline, true);
    for (const BusConfig& bus : config_.buses) Subscribe(CommandPattern(config_.mqtt, bus.name));
    Subscribe(DiscoveryPattern(config_.mqtt));
    for (auto& [text, r] : records_) {
        PublishDiscovery(r, true);
        PublishAvailability(r);
        if (r.state) PublishState(r, now);
    }
}

void MqttFrontEnd::PublishState(Record& r, Clock::time_point now, std::optional<std::string> signature) {
    if (!connected_ || !r.description || !r.state) return;
    Publish(ModuleTopic(config_.mqtt, r.key) + "/state", StateJson(*r.description, *r.state), true);
    r.signature = signature ? std::move(*signature) : StateSignature(*r.description, *r.state);
    r.publishedAt = now;
    r.statePublished = true;
}

void MqttFrontEnd::PublishAvailability(const Record& r) {
    if (r.online) Publish(ModuleTopic(config_.mqtt, r.key) + "/availability", *r.online ? kOnline : kOffline, true);
}

void MqttFrontEnd::PublishDiscovery(Record& r, bool all) {
    if (!connected_) return;
    std::map<std::string, std::string> now;
    if (config_.mqtt.discovery && r.description)
        for (auto& p : DiscoveryConfigs(config_.mqtt, *r.description)) now.emplace(p.topic, p.payload);
    for (const auto& [topic, payload] : r.discovery)
        if (!now.count(topic)) Publish(topic, "", true); // the point changed its component
    for (const auto& [topic, payload] : now) {
        const auto it = r.discovery.find(topic);
        if (all || it == r.discovery.end() || it->second != payload) Publish(topic, payload, true);
    }
    r.discovery = std::move(now);
}

void MqttFrontEnd::Take(BusEvent event, Clock::time_point now) {
    if (auto* done = std::get_if<WriteDone>(&event)) {
        const Record* r = Find(done->key);
        const PointInfo* info = r && r->description ? InfoOf(*r->description, done->point) : nullptr;
        Answer(done->key.bus, LocationText(done->key.where), done->point, info, done->value, done->ok,
               done->error);
        return;
    }
    if (auto* d = std::get_if<ModuleDescription>(&event)) {
        Record* r = Find(d->key);
        if (!r) return;
        r->description = std::move(*d);
        PublishDiscovery(*r, false);
        SweepPending(*r);
        return;
    }
    if (auto* a = std::get_if<ModuleAvailability>(&event)) {
        Record* r = Find(a->key);
        if (!r || r->online == a->online) return;
        r->online = a->online;
        PublishAvailability(*r);
        return;
    }
    auto& s = std::get<ModuleState>(event);
    Record* r = Find(s.key);
    if (!r || !r->description) return;
    // Made once a poll: it decides whether to publish and is kept when published.
    std::string signature = StateSignature(*r->description, s);
    const bool publish = s.afterWrite || !r->statePublished || signature != r->signature;
    r->state = std::move(s);
    if (publish) PublishState(*r, now, std::move(signature));
}

Clock::time_point MqttFrontEnd::Refresh(Clock::time_point now) {
    const auto every = std::chrono::seconds(config_.mqtt.refreshS);
    auto next = now + every;
    for (auto& [text, r] : records_) {
        if (!r.statePublished) continue;
        if (now - r.publishedAt >= every) PublishState(r, now);
        next = std::min(next, r.publishedAt + every);
    }
    return next;
}

void MqttFrontEnd::PublishOffline() {
    for (auto& [text, r] : records_)
        Publish(ModuleTopic(config_.mqtt, r.key) + "/availability", kOffline, true);
    Publish(StatusTopic(config_.mqtt), kOffline, true);
}

void MqttFrontEnd::Unsubscribe() {
    if (!connected_) return;
    for (const BusConfig& bus : config_.buses) client_->Unsubscribe(CommandPattern(config_.mqtt, bus.name));
    client_->Unsubscribe(DiscoveryPattern(config_.mqtt));
}

void MqttFrontEnd::Clear(const Record& r) {
    for (const auto& [topic, payload] : r.discovery) Publish(topic, "", true);
    const std::string base = ModuleTopic(config_.mqtt, r.key);
    Publish(base + "/state", "", true);
    Publish(base + "/availability", "", true);
}

void MqttFrontEnd::Reconfigure(GatewayConfig next, bool newBroker) {
    std::set<std::string> keep;
    for (const BusConfig& bus : next.buses)
        for (const ModuleConfig& m : bus.modules) keep.insert(KeyText({bus.name, m.where}));
    for (auto it = records_.begin(); it != records_.end();) {
        if (keep.count(it->first)) {
            ++it;
            continue;
        }
        Clear(it->second);
        it = records_.erase(it);
    }
    std::erase_if(pendingSweep_, [&](const auto& p) { return !keep.count(p.second); });
    if (newBroker) {
        PublishOffline();
        connected_ = false;
    } else if (connected_) {
        for (const BusConfig& bus : config_.buses)
            if (std::none_of(next.buses.begin(), next.buses.end(),
                             [&](const BusConfig& b) { return b.name == bus.name; }))
                client_->Unsubscribe(CommandPattern(config_.mqtt, bus.name));
        for (const BusConfig& bus : next.buses)
            if (std::none_of(config_.buses.begin(), config_.buses.end(),
                             [&](const BusConfig& b) { return b.name == bus.name; }))
                client_->Subscribe(CommandPattern(next.mqtt, bus.name));
    }
    for (const BusConfig& bus : next.buses)
        for (const ModuleConfig& m : bus.modules) {
            Record r;
            r.key = {bus.name, m.where};
            records_.try_emplace(KeyText(r.key), std::move(r));
        }
    const bool discoveryOff = config_.mqtt.discovery && !next.mqtt.discovery;
    config_ = std::move(next);
    if (discoveryOff)
        for (auto& [text, r] : records_) PublishDiscovery(r, false);
}

void MqttFrontEnd::Message(const std::string& topic, std::string_view payload, Clock::time_point) {
    const std::string discoveryHead = config_.mqtt.discoveryPrefix + "/";
    if (topic.rfind(discoveryHead, 0) == 0 && topic.size() > 7 &&
        topic.compare(topic.size() - 7, 7, "/config") == 0) {
        Sweep(topic, payload);
        return;
    }
    const std::string head = config_.mqtt.prefix + "/";
    if (topic.rfind(head, 0) != 0) return;
    const auto parts = Split(std::string_view(topic).substr(head.size()), '/');
    if (parts.size() != 4 || parts[2] != "set") return;
    Command(parts[0], parts[1], parts[3], payload);
}

void MqttFrontEnd::Answer(const std::string& bus, const std::string& where, const std::string& point,
                          const PointInfo* info, double value, bool ok, const std::string& error) {
    Publish(config_.mqtt.prefix + "/" + bus + "/" + where + "/result",
            ResultJson(point, info, value, ok, error), false);
    if (!ok) log_("command " + bus + "/" + where + "/set/" + point + " refused: " + error);
}

void MqttFrontEnd::Command(const std::string& bus, const std::string& where, const std::string& point,
                           std::string_view payload) {
    const auto refuse = [&](const std::string& error) { Answer(bus, where, point, nullptr, 0.0, false, error); };
    Record* r = Find(bus, where);
    if (!r) return refuse("there is no module " + where + " on bus " + bus + " in this gateway");
    if (!r->description)
        return refuse(KeyText(r->key) + " has not answered yet, so its model is not known");
    const ModuleDescription& d = *r->description;
    const PointInfo* info = InfoOf(d, point);
    if (!info) return refuse("the " + d.model + " has no point " + point + " (it has " + PointNameList(d.points) + ")");
    if (std::find(d.writable.begin(), d.writable.end(), point) == d.writable.end()) {
        if (!info->writable)
            return refuse(info->kind == PointKind::AnalogInput || info->kind == PointKind::DigitalInput ||
                                  info->kind == PointKind::Counter || info->kind == PointKind::Frequency
                              ? point + " is an input and cannot be written"
                              : point + " of the " + d.model + " cannot be written");
        return refuse(point + " of " + KeyText(r->key) +
                      " is not writable here: list it under 'writable' in the configuration");
    }
    std::string error;
    const auto value = ParseCommandPayload(payload, *info, error);
    if (!value || !WithinLimits(*info, *value, error)) return refuse(error);
    WriteTarget* target = targets_ ? targets_(bus) : nullptr;
    if (!target) return refuse("bus " + bus + " is not running");
    if (!target->Submit({r->key, point, *value, nextTag_++, replies_}, error)) return refuse(error);
}

// A retained discovery configuration under this gateway's client id: kept when it is
// one of a configured module's, removed (empty retained message) when not.
void MqttFrontEnd::Sweep(const std::string& topic, std::string_view payload) {
    if (payload.empty()) return;
    for (const auto& [text, r] : records_)
        if (r.discovery.count(topic)) return;
    std::string stateTopic, availabilityTopic;
    const auto json = nlohmann::json::parse(payload, nullptr, false);
    if (json.is_object()) {
        if (auto it = json.find("state_topic"); it != json.end() && it->is_string()) stateTopic = *it;
        if (auto it = json.find("availability_topic"); it != json.end() && it->is_string())
            availabilityTopic = *it;
    }
    for (const auto& [text, r] : records_) {
        if (stateTopic != ModuleTopic(config_.mqtt, r.key) + "/state") continue;
        // A configured module not described yet decides once it is.
        if (!r.description && config_.mqtt.discovery) pendingSweep_[topic] = text;
        else Publish(topic, "", true);
        return;
    }
    Publish(topic, "", true);
    // The topics of a module no longer configured go with it.
    const std::string head = config_.mqtt.prefix + "/";
    for (const std::string& t : {stateTopic, availabilityTopic})
        if (t.rfind(head, 0) == 0 && t.find_first_of("+#") == std::string::npos) Publish(t, "", true);
}

void MqttFrontEnd::SweepPending(const Record& r) {
    const std::string text = KeyText(r.key);
    for (auto it = pendingSweep_.begin(); it != pendingSweep_.end();) {
        if (it->second != text) {
            ++it;
            continue;
        }
        if (!r.discovery.count(it->first)) Publish(it->first, "", true);
        it = pendingSweep_.erase(it);
    }
}

} // namespace tavo::gateway
