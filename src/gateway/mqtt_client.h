// The little the gateway's publishing logic needs of an MQTT client. The real one is
// libmosquitto's (mosquitto_client.h); tests put a recorder in its place.
#pragma once

#include <string>
#include <string_view>

namespace tavo::gateway {

class MqttClient {
public:
    virtual ~MqttClient() = default;
    // Sends `payload` to `topic` at QoS 1, retained or not. False when the client is
    // not connected or cannot take it.
    virtual bool Publish(const std::string& topic, std::string_view payload, bool retain) = 0;
    // QoS 1 subscriptions; messages arrive through the owner's loop.
    virtual bool Subscribe(const std::string& pattern) = 0;
    virtual bool Unsubscribe(const std::string& pattern) = 0;
};

} // namespace tavo::gateway
