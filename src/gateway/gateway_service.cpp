#include "gateway_service.h"

#include "mqtt_payloads.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace tavo::gateway {
namespace {

sigset_t HandledSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

int MsUntil(Clock::time_point deadline, Clock::time_point now) {
    if (deadline <= now) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    return static_cast<int>(std::min<long long>(ms, 1000));
}

std::string Summary(const GatewayConfig& config) {
    std::size_t modules = 0;
    for (const BusConfig& b : config.buses) modules += b.modules.size();
    return std::to_string(modules) + (modules == 1 ? " module" : " modules") + " on " +
           std::to_string(config.buses.size()) + (config.buses.size() == 1 ? " bus" : " buses");
}

std::string Broker(const MqttConfig& mqtt) {
    return mqtt.host + ":" + std::to_string(mqtt.port);
}

} // namespace

GatewayService::GatewayService(GatewayConfig config, LogSink log)
    : config_(std::move(config)), log_(std::move(log)), events_(std::make_shared<EventQueue>()),
      modbusEvents_(std::make_shared<EventQueue>()) {
    clientEvents_.connected = [this] {
        const auto now = Clock::now();
        attempting_ = false;
        backoff_ = std::chrono::seconds(1);
        lastFailure_.clear();
        log_("connected to the broker " + Broker(config_.mqtt) + " as " + config_.mqtt.clientId);
        front_->Connected(now);
    };
    clientEvents_.ended = [this](const std::string& why) { Ended(why, Clock::now()); };
    clientEvents_.message = [this](const std::string& topic, std::string_view payload) {
        front_->Message(topic, payload, Clock::now());
    };
}

GatewayService::~GatewayService() {
    workers_.clear();
    modbus_.reset();
    if (signalFd_ >= 0) ::close(signalFd_);
}

void GatewayService::BlockSignals() {
    const sigset_t set = HandledSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool GatewayService::StartBuses(const GatewayConfig& config,
                                std::vector<std::unique_ptr<BusWorker>>& workers, std::string& error) {
    for (const BusConfig& bus : config.buses) {
        if (std::any_of(workers.begin(), workers.end(),
                        [&](const auto& w) { return w->Config() == bus; }))
            continue;
        auto worker = std::make_unique<BusWorker>(bus, log_);
        worker->AddListener(events_);
        worker->AddListener(modbusEvents_);
        if (!worker->Open(error)) return false;
        workers.push_back(std::move(worker));
    }
    return true;
}

bool GatewayService::Open(std::string& error) {
    if (config_.useMqtt) {
        client_ = std::make_unique<MosquittoClient>(config_.mqtt, StatusTopic(config_.mqtt));
        if (!client_->Check(error)) {
            error = "broker " + Broker(config_.mqtt) + ": " + error;
            return false;
        }
    }
    bool replace = false;
    if (!ServerFor(config_, modbus_, replace, error)) return false;
    if (!StartBuses(config_, workers_, error)) {
        workers_.clear();
        modbus_.reset();
        return false;
    }
    units_.Configure(config_);
    if (client_)
        front_ = std::make_unique<MqttFrontEnd>(
            config_, *client_, [this](const std::string& bus) { return Worker(bus); }, events_, log_);
    return true;
}

bool GatewayService::ServerFor(const GatewayConfig& next, std::unique_ptr<ModbusTcpServer>& server,
                               bool& replace, std::string& error) {
    const auto& want = next.modbusTcp;
    replace = !want || !modbus_ || want->bind != modbus_->Config().bind || want->port != modbus_->Config().port;
    if (!want || !replace) return true;
    server = std::make_unique<ModbusTcpServer>(
        units_, [this](const std::string& bus) { return Worker(bus); }, modbusEvents_, log_);
    if (server->Listen(*want, error)) return true;
    server.reset();
    return false;
}

void GatewayService::TakeEvents(Clock::time_point now) {
    TakeMqttEvents(now);
    TakeModbusEvents(now);
}

void GatewayService::TakeMqttEvents(Clock::time_point now) {
    for (auto& event : events_->TakeAll())
        if (front_) front_->Take(std::move(event), now);
}

void GatewayService::TakeModbusEvents(Clock::time_point now) {
    for (auto& event : modbusEvents_->TakeAll()) {
        if (const auto* done = std::get_if<WriteDone>(&event)) {
            if (modbus_) modbus_->Done(*done, now);
        } else {
            units_.Take(event);
        }
    }
}

WriteTarget* GatewayService::Worker(const std::string& bus) {
    for (auto& w : workers_)
        if (w->Config().name == bus) return w.get();
    return nullptr;
}

void GatewayService::Ended(const std::string& why, Clock::time_point now) {
    attempting_ = false;
    if (front_->IsConnected()) {
        front_->Disconnected();
        log_("lost the broker " + Broker(config_.mqtt) + ": " + why + "; connecting again");
        backoff_ = std::chrono::seconds(1);
        lastFailure_ = why;
    } else if (why != lastFailure_) {
        log_("cannot connect to the broker " + Broker(config_.mqtt) + ": " + why +
             "; trying again, at most every " + std::to_string(kMaxBackoffS) + " s");
        lastFailure_ = why;
    }
    nextAttempt_ = now + backoff_;
    backoff_ = std::min<Clock::duration>(backoff_ * 2, std::chrono::seconds(kMaxBackoffS));
}

void GatewayService::ConnectIfDue(Clock::time_point now) {
    if (attempting_ && now >= attemptDeadline_) {
        client_->Disconnect();
        Ended("no answer within " + std::to_string(kAttemptTimeoutS) + " s", now);
    }
    if (client_->IsConnected() || attempting_ || now < nextAttempt_) return;
    std::string why;
    if (client_->Connect(why)) {
        attempting_ = true;
        attemptDeadline_ = now + std::chrono::seconds(kAttemptTimeoutS);
    } else {
        Ended(why, now);
    }
}

int GatewayService::Run() {
    const sigset_t set = HandledSignals();
    signalFd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    for (auto& w : workers_) w->Start();
    std::string serving;
    if (client_)
        serving += "; broker " + Broker(config_.mqtt) + ", client id " + config_.mqtt.clientId +
                   ", topics under " + config_.mqtt.prefix + "/";
    if (modbus_)
        serving += "; Modbus TCP on " + config_.modbusTcp->bind + ":" + std::to_string(modbus_->Port());
    log_("polling " + Summary(config_) + serving);
    nextAttempt_ = Clock::now();
    auto refreshDue = Clock::now() + std::chrono::seconds(config_.mqtt.refreshS);
    std::vector<pollfd> fds;
    while (true) {
        auto now = Clock::now();
        if (client_) ConnectIfDue(now);
        auto deadline = now + std::chrono::seconds(1); // the client's keep-alive work
        if (client_) {
            if (!client_->IsConnected() && !attempting_) deadline = std::min(deadline, nextAttempt_);
            if (attempting_) deadline = std::min(deadline, attemptDeadline_);
            if (front_->IsConnected()) deadline = std::min(deadline, refreshDue);
        }
        if (modbus_) deadline = std::min(deadline, modbus_->NextDeadline());
        fds.assign({{signalFd_, POLLIN, 0}, {events_->Descriptor(), POLLIN, 0},
                    {modbusEvents_->Descriptor(), POLLIN, 0}, {-1, 0, 0}});
        const int socket = client_ ? client_->Socket() : -1;
        if (socket >= 0) fds[3] = {socket, static_cast<short>(POLLIN | (client_->WantsWrite() ? POLLOUT : 0)), 0};
        const std::size_t server = fds.size();
        if (modbus_) modbus_->AddPollFds(fds);
        if (::poll(fds.data(), fds.size(), MsUntil(deadline, now)) < 0 && errno != EINTR) {
            log_(std::string("poll failed: ") + std::strerror(errno));
            return Shutdown();
        }
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            while (::read(signalFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
                if (info.ssi_signo == SIGHUP) {
                    Reload();
                    continue;
                }
                log_(std::string("stopping on ") + (info.ssi_signo == SIGINT ? "SIGINT" : "SIGTERM"));
                return Shutdown();
            }
        }
        now = Clock::now();
        // The cached polls first, so that a request answered next reads the latest. A
        // queue is read only when it has something: a request's round trip is a few
        // system calls, and each one counts.
        if (fds[2].revents & POLLIN) TakeModbusEvents(now);
        if (modbus_) modbus_->Service(fds, server, now);
        if (client_) client_->Service(clientEvents_);
        if (fds[1].revents & POLLIN) TakeMqttEvents(now);
        if (client_ && front_->IsConnected()) refreshDue = front_->Refresh(Clock::now());
    }
}

void GatewayService::Flush(Clock::duration limit) {
    const auto deadline = Clock::now() + limit;
    const MosquittoClient::Events quiet;
    while (Clock::now() < deadline && client_->Socket() >= 0 &&
           (client_->Unacknowledged() > 0 || client_->WantsWrite() || !client_->IsConnected())) {
        pollfd fd{client_->Socket(), static_cast<short>(POLLIN | (client_->WantsWrite() ? POLLOUT : 0)), 0};
        ::poll(&fd, 1, std::max(1, MsUntil(deadline, Clock::now())));
        client_->Service(quiet);
    }
}

void GatewayService::Disconnect(const GatewayConfig* next) {
    if (!client_->IsConnected()) {
        if (next) front_->Reconfigure(*next, true);
        return;
    }
    front_->Unsubscribe();
    Flush(std::chrono::seconds(2));
    if (next) front_->Reconfigure(*next, true);
    else front_->PublishOffline();
    Flush(std::chrono::seconds(5));
    client_->Disconnect();
    Flush(std::chrono::seconds(2));
}

int GatewayService::Shutdown() {
    if (modbus_) modbus_->Close();
    for (auto& w : workers_) w->Stop();
    TakeEvents(Clock::now());
    if (client_) Disconnect();
    workers_.clear();
    log_("stopped");
    return 0;
}

void GatewayService::Reload() {
    GatewayConfig next;
    std::string error;
    const auto refuse = [&] { log_("reload refused: " + error + "; the running configuration stays"); };
    if (!ReadGatewayConfig(config_.path, next, error)) return refuse();
    if (next == config_) {
        log_("reload: " + config_.path + " is unchanged");
        return;
    }
    if (next.useMqtt != config_.useMqtt) {
        error = std::string("MQTT is switched ") + (next.useMqtt ? "on" : "off") +
                " in the new file, which takes a restart (systemctl restart)";
        return refuse();
    }
    std::unique_ptr<ModbusTcpServer> server;
    bool replaceServer = false;
    if (!ServerFor(next, server, replaceServer, error)) return refuse();
    const bool newBroker = next.useMqtt && !(next.mqtt == config_.mqtt);
    std::unique_ptr<MosquittoClient> client;
    if (newBroker) {
        client = std::make_unique<MosquittoClient>(next.mqtt, StatusTopic(next.mqtt));
        if (!client->Check(error)) {
            error = "broker " + Broker(next.mqtt) + ": " + error;
            return refuse();
        }
    }
    // Buses whose settings and modules are the same go on polling; the others stop
    // and close their ports before the new ones open theirs (a port opens once).
    std::vector<std::unique_ptr<BusWorker>> kept;
    std::vector<BusConfig> replaced;
    for (auto& w : workers_) {
        if (std::any_of(next.buses.begin(), next.buses.end(), [&](const BusConfig& b) { return b == w->Config(); }))
            kept.push_back(std::move(w));
        else
            replaced.push_back(w->Config());
    }
    workers_.clear();
    std::vector<std::unique_ptr<BusWorker>> running = std::move(kept);
    const std::size_t keptCount = running.size();
    if (!StartBuses(next, running, error)) {
        running.resize(keptCount);
        for (const BusConfig& bus : replaced) {
            auto worker = std::make_unique<BusWorker>(bus, log_);
            worker->AddListener(events_);
            worker->AddListener(modbusEvents_);
            std::string again;
            worker->Open(again); // else it keeps trying, and says so
            worker->Start();
            running.push_back(std::move(worker));
        }
        workers_ = std::move(running);
        return refuse();
    }
    workers_ = std::move(running);
    units_.Configure(next);
    if (replaceServer) {
        if (modbus_) modbus_->Close();
        modbus_ = std::move(server);
        if (modbus_) log_("Modbus TCP on " + next.modbusTcp->bind + ":" + std::to_string(modbus_->Port()));
    }
    if (newBroker) {
        Disconnect(&next);
        client_ = std::move(client);
        front_->SetClient(*client_);
        attempting_ = false;
        backoff_ = std::chrono::seconds(1);
        lastFailure_.clear();
        nextAttempt_ = Clock::now();
    } else if (front_) {
        front_->Reconfigure(next, false);
    }
    config_ = std::move(next);
    for (std::size_t i = keptCount; i < workers_.size(); ++i) workers_[i]->Start();
    log_("reloaded " + config_.path + ": " + Summary(config_));
}

} // namespace tavo::gateway
