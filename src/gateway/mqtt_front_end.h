// The gateway's MQTT side, without the network: takes the bus workers' events and
// the broker's messages and decides what to publish through an MqttClient. All of it
// runs on one thread (the service's loop); time comes in as arguments, so tests
// drive it with a clock of their own.
//
// - A module's state is published when its values or qualities changed, after every
//   good write, and at least every refresh_s seconds; availability whenever it
//   changes; everything again on each (re)connection, which also subscribes to the
//   buses' commands.
// - Commands are checked (module, point, writable in the configuration, payload,
//   limits) before they go to the bus worker; a refused one is answered and logged
//   here and never reaches a bus.
// - Discovery configurations are published per point when a module is described;
//   retained ones under this gateway's client id that belong to no configured point
//   (a module removed from the configuration, or discovery switched off) are removed.
#pragma once

#include "bus_events.h"
#include "gateway_config.h"
#include "log.h"
#include "mqtt_client.h"
#include "mqtt_payloads.h"

#include "transport/serial_backend.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace tavo::gateway {

class MqttFrontEnd {
public:
    // `targets` gives the worker of a bus (null for a bus it does not know); `replies`
    // is the queue the workers answer writes to (the one the owner drains into Take).
    using Targets = std::function<WriteTarget*(const std::string& bus)>;
    MqttFrontEnd(GatewayConfig config, MqttClient& client, Targets targets,
                 std::shared_ptr<EventQueue> replies, LogSink log);


    // The broker accepted the connection: subscribe, and publish the gateway's status
    // and everything known about every module.
    void Connected(Clock::time_point now);
    void Disconnected() { connected_ = false; }
    bool IsConnected() const { return connected_; }

    void Take(BusEvent event, Clock::time_point now);
    void Message(const std::string& topic, std::string_view payload, Clock::time_point now);

    // Publishes the states whose refresh is due; returns when the next one is.
    Clock::time_point Refresh(Clock::time_point now);

    // Every module and the gateway itself offline (retained), before a clean exit.
    void PublishOffline();
    // Ends the subscriptions before a clean disconnect: a socket closed with messages
    // unread is reset, and the broker may drop the DISCONNECT before it and send the
    // will. Nothing more is taken in.
    void Unsubscribe();

    // A new configuration. Modules that are not in it lose their retained topics and
    // discovery configurations, and the command subscriptions follow the buses. With
    // `newBroker` the remaining modules and the gateway are published offline under
    // the old settings first, and the front end waits for SetClient and Connected.
    void Reconfigure(GatewayConfig next, bool newBroker);
    void SetClient(MqttClient& client) { client_ = &client; }

private:
    struct Record {
        ModuleKey key;
        std::optional<ModuleDescription> description;
        std::optional<ModuleState> state;
        std::optional<bool> online;
        std::string signature; // of the state last published
        Clock::time_point publishedAt{};
        bool statePublished = false;
        std::map<std::string, std::string> discovery; // topic -> payload, as published
    };

    Record* Find(const std::string& bus, const std::string& where);
    Record* Find(const ModuleKey& key);
    // `signature`: the state's, when the caller made it already.
    void PublishState(Record& r, Clock::time_point now, std::optional<std::string> signature = {});
    void PublishAvailability(const Record& r);
    void PublishDiscovery(Record& r, bool all);
    void Clear(const Record& r);
    void Command(const std::string& bus, const std::string& where, const std::string& point,
                 std::string_view payload);
    void Answer(const std::string& bus, const std::string& where, const std::string& point,
                const PointInfo* info, double value, bool ok, const std::string& error);
    void Sweep(const std::string& topic, std::string_view payload);
    void SweepPending(const Record& r);
    void Publish(const std::string& topic, std::string_view payload, bool retain);
    void Subscribe(const std::string& pattern);

    GatewayConfig config_;
    MqttClient* client_;
    Targets targets_;
    std::shared_ptr<EventQueue> replies_;
    LogSink log_;
    bool connected_ = false;
    std::map<std::string, Record> records_; // by "bus/AA"
    // Discovery configurations of configured modules that are not described yet:
    // kept or removed once they are.
    std::map<std::string, std::string> pendingSweep_; // topic -> the module's key text
    std::uint64_t nextTag_ = 1;
};

} // namespace tavo::gateway
