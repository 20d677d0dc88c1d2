#include "mosquitto_client.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <sys/socket.h>

namespace tavo::gateway {
namespace {

MosquittoClient& Self(void* self) { return *static_cast<MosquittoClient*>(self); }

// Unacknowledged QoS 1 messages the library sends before it holds the rest back.
constexpr int kInflight = 100;

} // namespace

MosquittoClient::MosquittoClient(MqttConfig config, std::string willTopic)
    : config_(std::move(config)), willTopic_(std::move(willTopic)) {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

MosquittoClient::~MosquittoClient() { Destroy(); }

void MosquittoClient::Destroy() {
    if (mosq_) mosquitto_destroy(mosq_);
    mosq_ = nullptr;
    connected_ = false;
}

bool MosquittoClient::Create(std::string& why) {
    Destroy();
    mosq_ = mosquitto_new(config_.clientId.c_str(), true, this);
    if (!mosq_) {
        why = std::string("cannot make an MQTT client: ") + std::strerror(errno);
        return false;
    }
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_max_inflight_messages_set(mosq_, kInflight);
    mosquitto_connect_callback_set(mosq_, &MosquittoClient::OnConnect);
    mosquitto_disconnect_callback_set(mosq_, &MosquittoClient::OnDisconnect);
    mosquitto_message_callback_set(mosq_, &MosquittoClient::OnMessage);
    mosquitto_publish_callback_set(mosq_, &MosquittoClient::OnPublish);
    mosquitto_unsubscribe_callback_set(mosq_, &MosquittoClient::OnPublish); // both end a request
    mosquitto_log_callback_set(mosq_, &MosquittoClient::OnLog);
    int rc = mosquitto_will_set(mosq_, willTopic_.c_str(), 7, "offline", 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !config_.username.empty())
        rc = mosquitto_username_pw_set(mosq_, config_.username.c_str(),
                                       config_.passwordFile.empty() ? nullptr : config_.password.c_str());
    if (rc != MOSQ_ERR_SUCCESS) {
        why = std::string("the MQTT library refuses the login or the will: ") + mosquitto_strerror(rc);
        return false;
    }
    if (config_.tls) {
        const TlsConfig& t = *config_.tls;
        rc = mosquitto_tls_set(mosq_, t.caFile.c_str(), nullptr,
                               t.certFile.empty() ? nullptr : t.certFile.c_str(),
                               t.keyFile.empty() ? nullptr : t.keyFile.c_str(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            why = "the MQTT library refuses the TLS files (" + t.caFile +
                  (t.certFile.empty() ? "" : ", " + t.certFile + ", " + t.keyFile) +
                  "): " + mosquitto_strerror(rc);
            return false;
        }
    }
    return true;
}

bool MosquittoClient::Check(std::string& why) {
    const bool ok = Create(why);
    Destroy();
    return ok;
}

bool MosquittoClient::Connect(std::string& why) {
    if (!Create(why)) return false;
    ended_ = false;
    unacknowledged_.clear();
    lastError_.clear();
    errno = 0;
    const int rc = mosquitto_connect_async(mosq_, config_.host.c_str(), config_.port, config_.keepaliveS);
    if (rc != MOSQ_ERR_SUCCESS) {
        why = Why(rc, errno);
        ended_ = true;
        Destroy();
        return false;
    }
    return true;
}

int MosquittoClient::Socket() const { return mosq_ ? mosquitto_socket(mosq_) : -1; }

bool MosquittoClient::WantsWrite() const { return mosq_ && mosquitto_want_write(mosq_); }

void MosquittoClient::Service(const Events& events) {
    // A connection the system refused or gave up on after it was started shows as
    // the socket's pending error; the library would take it for a protocol error.
    if (mosq_ && !connected_ && !ended_ && mosquitto_socket(mosq_) >= 0) {
        int error = 0;
        socklen_t size = sizeof error;
        if (getsockopt(mosquitto_socket(mosq_), SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error != 0) {
            happenings_.push_back({Happening::Kind::Ended, std::strerror(error), {}});
            ended_ = true;
            Destroy();
        }
    }
    if (mosq_ && mosquitto_socket(mosq_) >= 0) {
        errno = 0;
        const int rc = mosquitto_loop(mosq_, 0, 1);
        const int saved = errno;
        if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN && !ended_) {
            happenings_.push_back({Happening::Kind::Ended, Why(rc, saved), {}});
            ended_ = true;
            connected_ = false;
        }
    }
    auto happenings = std::move(happenings_);
    happenings_.clear();
    for (auto& h : happenings) {
        switch (h.kind) {
        case Happening::Kind::Connected:
            if (events.connected) events.connected();
            break;
        case Happening::Kind::Ended:
            if (events.ended) events.ended(h.text);
            break;
        case Happening::Kind::Message:
            if (events.message) events.message(h.text, h.payload);
            break;
        }
    }
}

void MosquittoClient::Disconnect() {
    if (mosq_ && connected_) mosquitto_disconnect(mosq_);
    connected_ = false;
    ended_ = true;
}

bool MosquittoClient::Publish(const std::string& topic, std::string_view payload, bool retain) {
    if (!mosq_ || !connected_) return false;
    int mid = 0;
    const int rc = mosquitto_publish(mosq_, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                     payload.data(), 1, retain);
    if (rc != MOSQ_ERR_SUCCESS) return false;
    unacknowledged_.insert(mid);
    return true;
}

bool MosquittoClient::Subscribe(const std::string& pattern) {
    return mosq_ && connected_ && mosquitto_subscribe(mosq_, nullptr, pattern.c_str(), 1) == MOSQ_ERR_SUCCESS;
}

bool MosquittoClient::Unsubscribe(const std::string& pattern) {
    int mid = 0;
    if (!mosq_ || !connected_ || mosquitto_unsubscribe(mosq_, &mid, pattern.c_str()) != MOSQ_ERR_SUCCESS)
        return false;
    unacknowledged_.insert(mid);
    return true;
}

std::string MosquittoClient::Why(int rc, int savedErrno) const {
    switch (rc) {
    case MOSQ_ERR_ERRNO:
        return savedErrno ? std::strerror(savedErrno) : "the connection failed";
    case MOSQ_ERR_TLS:
        return "TLS: " + (lastError_.empty() ? std::string("the handshake failed") : lastError_);
    case MOSQ_ERR_EAI:
        return "cannot resolve the host name " + config_.host;
    case MOSQ_ERR_CONN_LOST:
        return "the connection was lost";
    case MOSQ_ERR_KEEPALIVE:
        return "the broker did not answer within the keep-alive time";
    default: {
        std::string text = mosquitto_strerror(rc);
        if (!text.empty() && text.back() == '.') text.pop_back();
        return text;
    }
    }
}

void MosquittoClient::OnConnect(mosquitto*, void* self, int rc) {
    MosquittoClient& c = Self(self);
    if (rc == 0) {
        c.connected_ = true;
        c.happenings_.push_back({Happening::Kind::Connected, {}, {}});
        return;
    }
    if (!c.ended_) c.happenings_.push_back({Happening::Kind::Ended, mosquitto_connack_string(rc), {}});
    c.ended_ = true;
}

void MosquittoClient::OnDisconnect(mosquitto*, void* self, int rc) {
    MosquittoClient& c = Self(self);
    const int saved = errno;
    c.connected_ = false;
    if (!c.ended_)
        c.happenings_.push_back({Happening::Kind::Ended,
                                 rc == 0 ? std::string("the broker closed the connection") : c.Why(rc, saved), {}});
    c.ended_ = true;
}

void MosquittoClient::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    if (!message || !message->topic) return;
    const char* data = static_cast<const char*>(message->payload);
    Self(self).happenings_.push_back(
        {Happening::Kind::Message, message->topic,
         std::string(data ? data : "", data ? static_cast<std::size_t>(message->payloadlen) : 0)});
}

void MosquittoClient::OnPublish(mosquitto*, void* self, int mid) { Self(self).unacknowledged_.erase(mid); }

void MosquittoClient::OnLog(mosquitto*, void* self, int level, const char* text) {
    if (!(level & MOSQ_LOG_ERR) || !text) return;
    // OpenSSL's lines end with the reason after the last ':'
    // ("error:0A000086:SSL routines::certificate verify failed").
    std::string line = text;
    if (const auto colon = line.rfind(':'); colon != std::string::npos && colon + 1 < line.size())
        line = line.substr(colon + 1);
    while (!line.empty() && line.front() == ' ') line.erase(line.begin());
    Self(self).lastError_ = line;
}

} // namespace tavo::gateway
