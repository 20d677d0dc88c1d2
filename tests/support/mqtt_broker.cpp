#include "mqtt_broker.h"

#include <mosquitto.h>

#include <fstream>
#include <pwd.h>
#include <unistd.h>
#include <stdexcept>
#include <thread>

namespace tavo::test {
namespace {

using Clock = std::chrono::steady_clock;

void WriteOrThrow(const std::string& path, const std::string& text) {
    if (!WriteFile(path, text)) throw std::runtime_error("cannot write " + path);
}

std::string Found(const std::string& program) {
    for (const char* dir : {"/usr/sbin/", "/usr/bin/", "/sbin/", "/bin/", "/usr/local/sbin/"}) {
        const std::string path = dir + program;
        if (::access(path.c_str(), X_OK) == 0) return path;
    }
    return {};
}

// What openssl needs, so that the system's openssl.cnf plays no part.
const char* kOpensslConfig = R"([req]
distinguished_name = dn
prompt = no
[dn]
CN = tavo-test
[ca]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[server]
basicConstraints = CA:FALSE
subjectAltName = IP:127.0.0.1
keyUsage = digitalSignature,keyEncipherment
extendedKeyUsage = serverAuth
)";

} // namespace

bool TestCertificates::Make(const std::string& dir, std::string& error) {
    const std::string config = dir + "/openssl.cnf";
    WriteOrThrow(config, kOpensslConfig);
    caFile = dir + "/ca.pem";
    serverCert = dir + "/server.pem";
    serverKey = dir + "/server.key";
    otherCaFile = dir + "/other-ca.pem";
    const std::vector<std::string> key = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    const auto req = [&](std::vector<std::string> args) {
        std::vector<std::string> argv = {"openssl", "req", "-config", config};
        argv.insert(argv.end(), key.begin(), key.end());
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    };
    const std::vector<std::vector<std::string>> steps = {
        req({"-x509", "-extensions", "ca", "-days", "3", "-subj", "/CN=tavo-test-ca", "-keyout",
             dir + "/ca.key", "-out", caFile}),
        req({"-subj", "/CN=127.0.0.1", "-keyout", serverKey, "-out", dir + "/server.csr"}),
        {"openssl", "x509", "-req", "-in", dir + "/server.csr", "-CA", caFile, "-CAkey", dir + "/ca.key",
         "-CAcreateserial", "-days", "3", "-extfile", config, "-extensions", "server", "-out", serverCert},
        req({"-x509", "-extensions", "ca", "-days", "3", "-subj", "/CN=tavo-other-ca", "-keyout",
             dir + "/other-ca.key", "-out", otherCaFile}),
    };
    for (const auto& step : steps) {
        const Run run = RunProgram(step, {"OPENSSL_CONF=" + config});
        if (run.status != 0) {
            error = "openssl failed: " + run.out;
            return false;
        }
    }
    return true;
}

std::string MqttBroker::Program() { return Found("mosquitto"); }

MqttBroker::MqttBroker(const TestCertificates* tls)
    : plain_(std::make_unique<ReservedPort>()), certificates_(tls) {
    if (tls) tls_ = std::make_unique<ReservedPort>();
}

MqttBroker::~MqttBroker() { Stop(); }

bool MqttBroker::Start(std::string& error) {
    // The reserved ports cannot be handed to anybody else; should the broker still
    // find one taken, it is started again on fresh ones.
    for (int attempt = 0; attempt < 5; ++attempt) {
        // Run as root, mosquitto would become the user "mosquitto", who may not write
        // into the test's folder; as anybody else the line changes nothing.
        const passwd* user = getpwuid(geteuid());
        std::string config = "user " + std::string(user ? user->pw_name : "root") + "\n"
                             "per_listener_settings false\nallow_anonymous true\npersistence false\n"
                             "log_dest file " + dir_.File("broker.log") + "\nlog_type all\n"
                             "listener " + std::to_string(port()) + " 127.0.0.1\n";
        if (certificates_)
            config += "listener " + std::to_string(tlsPort()) + " 127.0.0.1\ncafile " + certificates_->caFile +
                      "\ncertfile " + certificates_->serverCert + "\nkeyfile " + certificates_->serverKey + "\n";
        WriteOrThrow(dir_.File("mosquitto.conf"), config);
        WriteOrThrow(dir_.File("broker.log"), "");
        child_ = std::make_unique<Child>(std::vector<std::string>{Program(), "-c", dir_.File("mosquitto.conf")});
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < deadline) {
            const std::string log = Log();
            if (log.find(" running") != std::string::npos) return true;
            if (log.find("Address already in use") != std::string::npos) break;
            if (log.find("Error") != std::string::npos) {
                error = "mosquitto did not start:\n" + log;
                Stop();
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const std::string log = Log();
        Stop();
        if (log.find("Address already in use") == std::string::npos) {
            error = "mosquitto did not start within 10 s:\n" + log;
            return false;
        }
        plain_ = std::make_unique<ReservedPort>();
        if (certificates_) tls_ = std::make_unique<ReservedPort>();
    }
    error = "mosquitto found every port it was given taken";
    return false;
}

void MqttBroker::Stop() {
    if (child_) child_->Stop(SIGTERM);
    child_.reset();
}

std::string MqttBroker::Log() const {
    std::ifstream in(dir_.File("broker.log"));
    return std::string(std::istreambuf_iterator<char>(in), {});
}

MqttProbe::MqttProbe(std::uint16_t port, const std::string& pattern) {
    static const int init = mosquitto_lib_init();
    (void)init;
    mosq_ = mosquitto_new(nullptr, true, this);
    if (!mosq_) throw std::runtime_error("mosquitto_new failed");
    mosquitto_message_callback_set(mosq_, &MqttProbe::OnMessage);
    if (mosquitto_connect(mosq_, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS)
        throw std::runtime_error("the probe cannot connect to the broker on port " + std::to_string(port));
    mosquitto_subscribe(mosq_, nullptr, pattern.c_str(), 1);
    mosquitto_subscribe(mosq_, nullptr, "tavo-probe/marker", 1);
    mosquitto_loop_start(mosq_);
    if (!Settle()) throw std::runtime_error("the probe hears nothing from the broker");
}

MqttProbe::~MqttProbe() {
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
    mosquitto_destroy(mosq_);
}

void MqttProbe::OnMessage(mosquitto*, void* self, const mosquitto_message* m) {
    auto& probe = *static_cast<MqttProbe*>(self);
    Message message;
    message.topic = m->topic;
    message.payload.assign(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen));
    message.retained = m->retain;
    message.at = Clock::now();
    {
        std::lock_guard lock(probe.mutex_);
        probe.messages_.push_back(std::move(message));
    }
    probe.arrived_.notify_all();
}

void MqttProbe::Publish(const std::string& topic, const std::string& payload, bool retain) {
    mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1,
                      retain);
}

bool MqttProbe::WaitFor(const std::function<bool(const Messages&)>& done, std::chrono::seconds limit) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, limit, [&] { return done(messages_); });
}

std::optional<std::string> MqttProbe::Next(const std::string& topic, std::size_t skip,
                                           std::chrono::seconds limit) {
    std::optional<std::string> payload;
    WaitFor(
        [&](const Messages& all) {
            std::size_t seen = 0;
            for (const Message& m : all)
                if (m.topic == topic && seen++ == skip) {
                    payload = m.payload;
                    return true;
                }
            return false;
        },
        limit);
    return payload;
}

bool MqttProbe::Settle() {
    const std::string marker = std::to_string(++markers_);
    Publish("tavo-probe/marker", marker);
    return WaitFor([&](const Messages& all) {
        for (const Message& m : all)
            if (m.topic == "tavo-probe/marker" && m.payload == marker) return true;
        return false;
    });
}

MqttProbe::Messages MqttProbe::All() const {
    std::lock_guard lock(mutex_);
    Messages out;
    for (const Message& m : messages_)
        if (m.topic != "tavo-probe/marker") out.push_back(m);
    return out;
}

MqttProbe::Messages MqttProbe::On(const Messages& all, const std::string& topic) {
    Messages out;
    for (const Message& m : all)
        if (m.topic == topic) out.push_back(m);
    return out;
}

MqttProbe::Messages MqttProbe::On(const std::string& topic) const { return On(All(), topic); }

void MqttProbe::Clear() {
    std::lock_guard lock(mutex_);
    messages_.clear();
}

} // namespace tavo::test
