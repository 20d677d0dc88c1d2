// Topics and payloads of the gateway on MQTT:
//   <prefix>/<bus>/<AA>/state         retained JSON of the last poll
//   <prefix>/<bus>/<AA>/availability  retained "online" / "offline"
//   <prefix>/<bus>/<AA>/set/<point>   commands
//   <prefix>/<bus>/<AA>/result        the answer to each command
//   <prefix>/gateway/<client id>/status  retained "online" / "offline", also the will
// and the Home Assistant discovery configurations under the discovery prefix:
//   <discovery prefix>/<component>/<client id>/<bus>_<AA>_<point>/config
#pragma once

#include "bus_events.h"
#include "gateway_config.h"

#include <string>
#include <vector>

namespace tavo::gateway {

inline constexpr const char* kOnline = "online";
inline constexpr const char* kOffline = "offline";

// "<prefix>/<bus>/<AA>"; AA is "40S2" for slot 2 of the rack at 40.
std::string ModuleTopic(const MqttConfig& mqtt, const ModuleKey& key);
std::string StatusTopic(const MqttConfig& mqtt);
// What the gateway subscribes to: the commands of one bus, and its own discovery
// configurations (to remove those of modules no longer configured).
std::string CommandPattern(const MqttConfig& mqtt, const std::string& bus);
std::string DiscoveryPattern(const MqttConfig& mqtt);

// {"time":"…","ai0":141.5,"di0":true,"ai1":null,…,"quality":{"ai1":"burn-out"}}:
// a value only where its quality is good, numbers with the point's decimals.
std::string StateJson(const ModuleDescription& module, const ModuleState& state);
// What a state says (values and qualities, not the time): equal when nothing changed.
std::string StateSignature(const ModuleDescription& module, const ModuleState& state);

// {"point":"do1","value":true,"ok":true} or {"point":"do1","ok":false,"error":"…"}.
std::string ResultJson(const std::string& point, const PointInfo* info, double value, bool ok,
                       const std::string& error);

struct Publication {
    std::string topic;
    std::string payload;
};
// One retained configuration per point: sensor (analog inputs, counters, frequencies,
// read-only analog outputs), binary_sensor (digital inputs, read-only digital outputs),
// switch (writable digital outputs), number (writable analog outputs).
std::vector<Publication> DiscoveryConfigs(const MqttConfig& mqtt, const ModuleDescription& module);

} // namespace tavo::gateway
