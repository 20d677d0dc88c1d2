// Debian's mosquitto broker started by a test, and an MQTT client of the test's own
// that records what it hears. The broker's configuration, log and certificates live
// in a temporary folder of its own; the system's configuration is never read.
#pragma once

#include "support/process.h"
#include "support/reserved_port.h"
#include "support/temp_dir.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace tavo::test {

// A certificate authority and a broker certificate for 127.0.0.1 signed by it, made
// with openssl in `dir`; and a second authority that signed nothing here.
struct TestCertificates {
    std::string caFile, serverCert, serverKey, otherCaFile;
    // False with openssl's output in `error`.
    bool Make(const std::string& dir, std::string& error);
};

class MqttBroker {
public:
    // The program's path, empty when it is not installed (the tests then skip).
    static std::string Program();

    // A plain listener on one loopback port; with `tls` a second one on another port
    // that takes only TLS with the broker certificate.
    explicit MqttBroker(const TestCertificates* tls = nullptr);
    ~MqttBroker();
    MqttBroker(const MqttBroker&) = delete;
    MqttBroker& operator=(const MqttBroker&) = delete;

    // Starts it and waits (at most 10 s) until it listens. False with its log.
    bool Start(std::string& error);
    // Ends it; Start() again serves the same ports. Retained messages are not kept.
    void Stop();

    std::uint16_t port() const { return plain_->number(); }
    std::uint16_t tlsPort() const { return tls_->number(); }
    // Its log so far (connections, refused handshakes).
    std::string Log() const;

private:
    TempDir dir_;
    std::unique_ptr<ReservedPort> plain_, tls_;
    const TestCertificates* certificates_;
    std::unique_ptr<Child> child_;
};

// A client on the broker's plain port that subscribes to everything (or `pattern`)
// and keeps what arrives, with its own network thread.
class MqttProbe {
public:
    struct Message {
        std::string topic;
        std::string payload;
        bool retained = false;
        std::chrono::steady_clock::time_point at;
    };
    using Messages = std::vector<Message>;

    MqttProbe(std::uint16_t port, const std::string& pattern = "#");
    ~MqttProbe();
    MqttProbe(const MqttProbe&) = delete;
    MqttProbe& operator=(const MqttProbe&) = delete;

    void Publish(const std::string& topic, const std::string& payload, bool retain = false);
    // Waits until `done` holds for what arrived so far, at most `limit`; true if it did.
    bool WaitFor(const std::function<bool(const Messages&)>& done,
                 std::chrono::seconds limit = std::chrono::seconds(30));
    // Waits for a message on `topic` (after the first `skip` of them) and returns its
    // payload; nullopt when none came within `limit`.
    std::optional<std::string> Next(const std::string& topic, std::size_t skip = 0,
                                    std::chrono::seconds limit = std::chrono::seconds(30));
    // Publishes a marker to itself and waits for it: everything the broker had for
    // this client before has arrived then.
    bool Settle();
    Messages All() const;
    Messages On(const std::string& topic) const;
    // The messages of `topic` among `all` (for the conditions given to WaitFor).
    static Messages On(const Messages& all, const std::string& topic);
    void Clear();

private:
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);
    mosquitto* mosq_ = nullptr;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    Messages messages_;
    int markers_ = 0;
};

} // namespace tavo::test
