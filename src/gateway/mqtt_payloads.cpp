#include "mqtt_payloads.h"

#include "points/point_text.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tavo::gateway {
namespace {

using Json = nlohmann::ordered_json;

std::string Dump(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// The value as the module gave it: rounded to its decimals, printed without noise.
Json Number(double value, int decimals) {
    const std::string text = FormatPointNumber(value, decimals);
    double rounded = value;
    std::from_chars(text.data(), text.data() + text.size(), rounded);
    // Whole numbers as integers ("1234", not "1234.0"), as `tavo read --json` writes them.
    if (std::fabs(rounded) < 9007199254740992.0 && rounded == std::trunc(rounded))
        return static_cast<std::int64_t>(rounded);
    return rounded;
}

Json Value(const PointInfo& info, double value) {
    if (IsDigital(info.kind)) return value != 0.0;
    return Number(value, info.decimals);
}

// Home Assistant's device classes for the units the points carry.
const char* DeviceClass(const PointInfo& info) {
    if (info.kind == PointKind::Frequency || info.unit == "Hz") return "frequency";
    if (info.unit == "°C" || info.unit == "°F") return "temperature";
    if (info.unit == "V" || info.unit == "mV") return "voltage";
    if (info.unit == "mA") return "current";
    return nullptr;
}

std::string Component(const PointInfo& info, bool writable) {
    switch (info.kind) {
    case PointKind::DigitalInput: return "binary_sensor";
    case PointKind::DigitalOutput: return writable ? "switch" : "binary_sensor";
    case PointKind::AnalogOutput: return writable ? "number" : "sensor";
    case PointKind::AnalogInput:
    case PointKind::Counter:
    case PointKind::Frequency: return "sensor";
    }
    return "sensor";
}

} // namespace

std::string ModuleTopic(const MqttConfig& mqtt, const ModuleKey& key) {
    return mqtt.prefix + "/" + key.bus + "/" + LocationText(key.where);
}

std::string StatusTopic(const MqttConfig& mqtt) {
    return mqtt.prefix + "/gateway/" + mqtt.clientId + "/status";
}

std::string CommandPattern(const MqttConfig& mqtt, const std::string& bus) {
    return mqtt.prefix + "/" + bus + "/+/set/+";
}

std::string DiscoveryPattern(const MqttConfig& mqtt) {
    return mqtt.discoveryPrefix + "/+/" + mqtt.clientId + "/+/config";
}

std::string StateJson(const ModuleDescription& module, const ModuleState& state) {
    Json json;
    json["time"] = IsoTimeUtc(state.time);
    Json quality = Json::object();
    const std::size_t n = std::min(module.points.size(), state.readings.size());
    for (std::size_t i = 0; i < n; ++i) {
        const PointInfo& info = module.points[i];
        const PointReading& reading = state.readings[i];
        if (reading.quality == PointQuality::Good) {
            json[info.name] = Value(info, reading.value);
        } else {
            json[info.name] = nullptr;
            quality[info.name] = PointQualityName(reading.quality);
        }
    }
    json["quality"] = std::move(quality);
    return Dump(json);
}

std::string StateSignature(const ModuleDescription& module, const ModuleState& state) {
    std::string signature;
    const std::size_t n = std::min(module.points.size(), state.readings.size());
    for (std::size_t i = 0; i < n; ++i) {
        const PointReading& r = state.readings[i];
        signature += std::to_string(PointQualityCode(r.quality));
        if (r.quality == PointQuality::Good) signature += PointValueText(module.points[i], r);
        signature += ';';
    }
    return signature;
}

std::string ResultJson(const std::string& point, const PointInfo* info, double value, bool ok,
                       const std::string& error) {
    Json json;
    json["point"] = point;
    if (ok) {
        json["value"] = info ? Value(*info, value) : Json(value);
        json["ok"] = true;
    } else {
        json["ok"] = false;
        json["error"] = error;
    }
    return Dump(json);
}

std::vector<Publication> DiscoveryConfigs(const MqttConfig& mqtt, const ModuleDescription& module) {
    const std::string where = LocationText(module.key.where);
    const std::string base = ModuleTopic(mqtt, module.key);
    const std::string deviceId = "tavo_" + mqtt.clientId + "_" + module.key.bus + "_" + where;
    Json device;
    device["identifiers"] = Json::array({deviceId});
    device["name"] = (module.name.empty() ? module.model : module.name + " (" + module.model + ")") +
                     " at " + module.key.bus + "/" + where;
    device["manufacturer"] = "TAVO";
    device["model"] = module.model;
    if (!module.firmware.empty()) device["sw_version"] = module.firmware;

    std::vector<Publication> out;
    for (const PointInfo& info : module.points) {
        const bool writable = std::find(module.writable.begin(), module.writable.end(), info.name) !=
                              module.writable.end();
        const std::string component = Component(info, writable);
        const std::string objectId = module.key.bus + "_" + where + "_" + info.name;
        Json c;
        c["name"] = info.name;
        c["unique_id"] = "tavo_" + mqtt.clientId + "_" + objectId;
        c["object_id"] = "tavo_" + objectId;
        c["state_topic"] = base + "/state";
        c["value_template"] = "{{ value_json." + info.name + " }}";
        c["availability_topic"] = base + "/availability";
        c["payload_available"] = kOnline;
        c["payload_not_available"] = kOffline;
        if (component == "sensor" || component == "number") {
            if (!info.unit.empty()) c["unit_of_measurement"] = info.unit;
            if (const char* deviceClass = DeviceClass(info)) c["device_class"] = deviceClass;
        }
        if (component == "sensor")
            c["state_class"] = info.kind == PointKind::Counter ? "total_increasing" : "measurement";
        // Digital values reach the template as JSON true/false, which it renders so.
        if (component == "binary_sensor") {
            c["payload_on"] = "True";
            c["payload_off"] = "False";
        }
        if (component == "switch") {
            c["command_topic"] = base + "/set/" + info.name;
            c["payload_on"] = "ON";
            c["payload_off"] = "OFF";
            c["state_on"] = "True";
            c["state_off"] = "False";
        }
        if (component == "number") {
            c["command_topic"] = base + "/set/" + info.name;
            if (!std::isnan(info.min)) c["min"] = Number(info.min, 9);
            if (!std::isnan(info.max)) c["max"] = Number(info.max, 9);
            c["step"] = Number(std::pow(10.0, -std::clamp(info.decimals, 0, 9)), 9);
            c["mode"] = "box";
        }
        c["device"] = device;
        out.push_back({mqtt.discoveryPrefix + "/" + component + "/" + mqtt.clientId + "/" + objectId +
                           "/config",
                       Dump(c)});
    }
    return out;
}

} // namespace tavo::gateway
