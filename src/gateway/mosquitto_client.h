// The MQTT client on libmosquitto, driven by the gateway's own loop: the owner
// waits in poll() on Socket() beside its other descriptors and calls Service(), so
// every callback runs on the owner's thread and the publishing logic needs no locks;
// a bus event wakes the loop at once and its publication is written to the socket in
// the same turn. Reconnection and its back-off are the owner's (libmosquitto's own
// threaded loop ends for good on a TLS or name-resolution failure, which a service
// must keep retrying). Each attempt starts on a fresh library object.
#pragma once

#include "gateway_config.h"
#include "mqtt_client.h"

#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace tavo::gateway {

class MosquittoClient : public MqttClient {
public:
    struct Events {
        std::function<void()> connected;
        // An attempt failed, or the connection ended; one line saying why.
        std::function<void(const std::string& why)> ended;
        std::function<void(const std::string& topic, std::string_view payload)> message;
    };

    // `willTopic` gets a retained "offline" when the connection breaks off.
    MosquittoClient(MqttConfig config, std::string willTopic);
    ~MosquittoClient() override;
    MosquittoClient(const MosquittoClient&) = delete;
    MosquittoClient& operator=(const MosquittoClient&) = delete;

    // Sets up a library object (login, TLS files, the will) without connecting, to
    // find a configuration the library refuses before anything runs. False with one
    // line in `why`.
    bool Check(std::string& why);
    // Starts a connection attempt without waiting for it. False with why when it
    // failed at once (name resolution, a refused connection on this machine).
    bool Connect(std::string& why);
    // The socket to wait for (-1 while there is none), and whether to wait for it to
    // take more bytes too.
    int Socket() const;
    bool WantsWrite() const;
    // Reads, writes and keeps the connection alive without waiting, and reports what
    // happened through `events`.
    void Service(const Events& events);
    bool IsConnected() const { return connected_; }
    // QoS 1 messages and unsubscriptions the broker has not acknowledged yet.
    std::size_t Unacknowledged() const { return unacknowledged_.size(); }
    // A clean DISCONNECT (the broker drops the will).
    void Disconnect();

    bool Publish(const std::string& topic, std::string_view payload, bool retain) override;
    bool Subscribe(const std::string& pattern) override;
    bool Unsubscribe(const std::string& pattern) override;

private:
    struct Happening {
        enum class Kind { Connected, Ended, Message } kind;
        std::string text; // why, or the topic
        std::string payload;
    };
    bool Create(std::string& why);
    void Destroy();
    std::string Why(int rc, int savedErrno) const;
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void OnPublish(mosquitto*, void* self, int mid);
    static void OnLog(mosquitto*, void* self, int level, const char* text);

    MqttConfig config_;
    std::string willTopic_;
    mosquitto* mosq_ = nullptr;
    bool connected_ = false;
    bool ended_ = false; // the current attempt or connection has been reported ended
    std::set<int> unacknowledged_;
    std::string lastError_; // the library's last error line (TLS errors come only so)
    std::vector<Happening> happenings_;
};

} // namespace tavo::gateway
