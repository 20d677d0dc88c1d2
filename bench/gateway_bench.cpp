// The gateway's figures, each against its bound:
//   cycle_ratio   one poll cycle of a bus worker over 32 simulated modules at 115200
//                 baud, paced as the wire would, against `tavo watch`'s cycle (its
//                 own code) over the same modules: at most 1.05. Median of the
//                 ratios of alternating rounds.
//   latency_p99   from the last byte of a module's reply (as it leaves a relay between
//                 the gateway and the simulator) to a subscriber's receipt of the
//                 changed state through the loopback broker: at most 5 ms.
//   rss_mb        resident memory of `tavo gateway` with 256 modules on 8 buses, all
//                 online: at most 30 MB.
//   cpu_percent   `tavo gateway` polling 32 modules every 500 ms: at most 1 % of one
//                 core, over 30 s.
// The programs are the real ones: mosquitto, and tavo gateway as a child process.
#include "cli/point_watch.h"
#include "gateway/bus_worker.h"
#include "sim/bus.h"
#include "sim/bus_file.h"
#include "sim/pty_server.h"
#include "sim/tcp_server.h"
#include "support/gateway_program.h"
#include "support/mqtt_broker.h"
#include "support/reserved_port.h"
#include "support/temp_dir.h"
#include "transport/com_port.h"
#include "transport/modbus.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <set>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace tavo;
using BenchClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    if (v.empty()) return 0.0;
    const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

// 32 modules of two families, as a plant's bus might hold them: multi-channel analog
// inputs (one data read of eight values a poll) and digital I/O (one state read).
std::string ThirtyTwoModules(std::uint32_t baud, int first = 1) {
    std::string text;
    for (int i = 0; i < 32; ++i) {
        char line[96];
        std::snprintf(line, sizeof line, "%02X %s baud=%u\n", first + i, i % 2 ? "R550 inputs=A5" : "R270P",
                      baud);
        text += line;
    }
    return text;
}

std::string ModulesYaml(int first, int count) {
    std::string yaml;
    for (int i = 0; i < count; ++i) {
        char line[96];
        std::snprintf(line, sizeof line, "      - {address: \"%02X\", protocol: ascii, model: %s}\n", first + i,
                      i % 2 ? "R550" : "R270P");
        yaml += line;
    }
    return yaml;
}

struct Served {
    sim::Bus bus;
    std::unique_ptr<sim::PtyServer> pty;
    explicit Served(const std::string& text, const std::string& link = {}) {
        std::string error;
        if (!sim::LoadBusText(text, bus, error)) throw std::runtime_error(error);
        pty = std::make_unique<sim::PtyServer>(bus);
        if (!pty->Start(error, link)) throw std::runtime_error(error);
    }
};

// ---- the cycle -------------------------------------------------------------------

// The same 32 modules polled by `tavo watch`'s own cycle (its configurations read
// beforehand, as from its second cycle on), `cycles` times: the mean cycle in ms.
double WatchCycleMs(const std::string& path, int cycles) {
    TavoComPort port(path);
    port.OpenPort();
    port.SetPortState(115200, 8, kParityNone, kOneStopBit);
    port.SetTimeOut(50);
    std::vector<cli::ModuleChoice> choices;
    for (int i = 0; i < 32; ++i) {
        cli::ModuleChoice c;
        c.where = {1 + i, -1, PointProtocol::Ascii};
        c.model = i % 2 ? "R550" : "R270P";
        choices.push_back(c);
    }
    cli::PointWatch watch(port, choices, true, false);
    for (std::size_t i = 0; i < choices.size(); ++i) {
        std::string error;
        watch.SetPoints(i, MakeModulePoints(choices[i].model, choices[i].where, error));
        if (!watch.Points(i)) throw std::runtime_error(error);
    }
    cli::PointWatch::Output first;
    watch.Cycle(first);
    const auto start = BenchClock::now();
    for (int c = 0; c < cycles; ++c) {
        cli::PointWatch::Output out;
        watch.Cycle(out);
    }
    return std::chrono::duration<double, std::milli>(BenchClock::now() - start).count() / cycles;
}

// A bus worker on the same modules, polling back to back: the mean time between two
// states of the first module over `cycles` cycles, after two to settle.
double WorkerCycleMs(const std::string& path, int cycles) {
    gateway::BusConfig config;
    config.name = "bench";
    config.port = path;
    config.line.baud = 115200;
    config.timeoutMs = 50;
    config.pollMs = 10;
    for (int i = 0; i < 32; ++i) {
        gateway::ModuleConfig m;
        m.where = {1 + i, -1, PointProtocol::Ascii};
        m.model = i % 2 ? "R550" : "R270P";
        config.modules.push_back(m);
    }
    auto queue = std::make_shared<gateway::EventQueue>();
    gateway::BusWorker worker(config, [](const std::string&) {});
    worker.AddListener(queue);
    std::string error;
    if (!worker.Open(error)) throw std::runtime_error(error);
    worker.Start();
    std::vector<BenchClock::time_point> states;
    while (states.size() < static_cast<std::size_t>(cycles + 3)) {
        pollfd fd{queue->Descriptor(), POLLIN, 0};
        ::poll(&fd, 1, 1000);
        for (auto& event : queue->TakeAll())
            if (auto* s = std::get_if<gateway::ModuleState>(&event); s && s->key.where.address == 1)
                states.push_back(BenchClock::now());
    }
    worker.Stop();
    return std::chrono::duration<double, std::milli>(states.back() - states[2]).count() / cycles;
}

void BM_GatewayCycle(benchmark::State& state) {
    Served served("wire on\n" + ThirtyTwoModules(115200));
    std::vector<double> ratios, watch, worker;
    for (auto _ : state) {
        for (int round = 0; round < 5; ++round) {
            watch.push_back(WatchCycleMs(served.pty->DevicePath(), 4));
            worker.push_back(WorkerCycleMs(served.pty->DevicePath(), 4));
            ratios.push_back(worker.back() / watch.back());
        }
    }
    state.counters["watch_ms"] = Median(watch);
    state.counters["worker_ms"] = Median(worker);
    state.counters["cycle_ratio"] = Median(ratios);
}
BENCHMARK(BM_GatewayCycle)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- the gateway program ---------------------------------------------------------

// `tavo gateway` with its configuration in `dir`.
class GatewayProgram {
public:
    GatewayProgram(const test::TempDir& dir, const std::string& yaml) : gateway_(Configured(dir, yaml)) {}
    pid_t pid() const { return gateway_.pid(); }

private:
    static std::string Configured(const test::TempDir& dir, const std::string& yaml) {
        const std::string path = dir.File("gateway.yaml");
        test::WriteFile(path, yaml);
        return path;
    }
    test::Gateway gateway_;
};

std::string Yaml(std::uint16_t broker, const std::string& buses) {
    return "mqtt: {host: 127.0.0.1, port: " + std::to_string(broker) + ", client_id: bench, prefix: bench, discovery: true}\n"
           "buses:\n" + buses;
}

std::string BusYaml(const std::string& name, const std::string& port, int pollMs, const std::string& modules,
                    std::uint32_t baud = 9600) {
    return "  - name: " + name + "\n    port: \"" + port + "\"\n    baud: " + std::to_string(baud) +
           "\n    timeout_ms: 50\n    turnaround_ms: 0\n    poll_ms: " + std::to_string(pollMs) +
           "\n    modules:\n" + modules;
}

// Waits until `count` modules said "online".
bool AllOnline(test::MqttProbe& probe, std::size_t count) {
    return probe.WaitFor(
        [&](const test::MqttProbe::Messages& all) {
            std::set<std::string> online;
            for (const auto& m : all)
                if (m.payload == "online" && m.topic.find("/availability") != std::string::npos)
                    online.insert(m.topic);
            return online.size() >= count;
        },
        120s);
}

long ProcField(pid_t pid, const std::string& key) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key + ":", 0) == 0) return std::stol(line.substr(key.size() + 1));
    return -1;
}

double CpuSecondsOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i) fields >> skip; // state .. cmajflt
    long utime = 0, stime = 0;
    fields >> utime >> stime;
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void BM_GatewayMemory(benchmark::State& state) {
    test::TempDir dir;
    test::MqttBroker broker;
    std::string error;
    if (!broker.Start(error)) throw std::runtime_error(error);
    std::vector<std::unique_ptr<Served>> buses;
    std::string yaml;
    for (int b = 0; b < 8; ++b) {
        const std::string link = dir.File("bus" + std::to_string(b));
        buses.push_back(std::make_unique<Served>(ThirtyTwoModules(9600), link));
        yaml += BusYaml("line" + std::to_string(b), link, 500, ModulesYaml(1, 32));
    }
    test::MqttProbe probe(broker.port(), "bench/+/+/availability");
    GatewayProgram gateway(dir, Yaml(broker.port(), yaml));
    for (auto _ : state) {
        if (!AllOnline(probe, 256)) state.SkipWithError("not every module came online");
    }
    state.counters["rss_mb"] = static_cast<double>(ProcField(gateway.pid(), "VmRSS")) / 1024.0;
    state.counters["peak_rss_mb"] = static_cast<double>(ProcField(gateway.pid(), "VmHWM")) / 1024.0;
}
BENCHMARK(BM_GatewayMemory)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GatewayCpu(benchmark::State& state) {
    test::TempDir dir;
    test::MqttBroker broker;
    std::string error;
    if (!broker.Start(error)) throw std::runtime_error(error);
    const std::string link = dir.File("bus");
    Served served(ThirtyTwoModules(9600), link);
    test::MqttProbe probe(broker.port(), "bench/+/+/availability");
    GatewayProgram gateway(dir, Yaml(broker.port(), BusYaml("line0", link, 500, ModulesYaml(1, 32))));
    double percent = 0;
    for (auto _ : state) {
        if (!AllOnline(probe, 32)) state.SkipWithError("not every module came online");
        const double before = CpuSecondsOf(gateway.pid());
        const auto start = BenchClock::now();
        std::this_thread::sleep_for(30s);
        const double seconds = std::chrono::duration<double>(BenchClock::now() - start).count();
        percent = 100.0 * (CpuSecondsOf(gateway.pid()) - before) / seconds;
    }
    state.counters["cpu_percent"] = percent;
}
BENCHMARK(BM_GatewayCpu)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- latency ----------------------------------------------------------------------

// Passes the bytes between the gateway and the simulator's TCP server, and notes
// when the last byte (the CR) of each reply to "#09" went on to the gateway, with the
// first value it carried.
class Relay {
public:
    struct Reply {
        BenchClock::time_point at;
        double ai0;
    };
    Relay(std::uint16_t listenPort, std::uint16_t serverPort) : serverPort_(serverPort) {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(listenPort);
        if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listen_, 1) != 0)
            throw std::runtime_error("the relay cannot listen");
        thread_ = std::thread([this] { Run(); });
    }
    ~Relay() {
        stop_ = true;
        thread_.join();
        ::close(listen_);
    }
    std::vector<Reply> Replies() {
        std::lock_guard lock(mutex_);
        return replies_;
    }

private:
    void Run() {
        int client = -1, server = -1;
        std::string request, reply;
        while (!stop_) {
            pollfd fds[3] = {{listen_, POLLIN, 0}, {client, POLLIN, 0}, {server, POLLIN, 0}};
            if (::poll(fds, 3, 100) <= 0) continue;
            if (fds[0].revents & POLLIN) {
                if (client >= 0) ::close(client);
                if (server >= 0) ::close(server);
                client = ::accept(listen_, nullptr, nullptr);
                server = ::socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in a{};
                a.sin_family = AF_INET;
                a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                a.sin_port = htons(serverPort_);
                ::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a);
                const int one = 1;
                setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                continue;
            }
            char buf[512];
            if (fds[1].revents & POLLIN) {
                const ssize_t n = ::read(client, buf, sizeof buf);
                if (n > 0) {
                    ::write(server, buf, static_cast<std::size_t>(n));
                    request.append(buf, static_cast<std::size_t>(n));
                    if (request.size() > 256) request.erase(0, request.size() - 256);
                }
            }
            if (fds[2].revents & POLLIN) {
                const ssize_t n = ::read(server, buf, sizeof buf);
                if (n <= 0) continue;
                // Noted before the bytes go on: taken after, a preempted relay could
                // note a reply later than the gateway's state of it arrived, and the
                // state would be matched to the same value one pattern earlier.
                const auto at = BenchClock::now();
                ::write(client, buf, static_cast<std::size_t>(n));
                reply.append(buf, static_cast<std::size_t>(n));
                for (auto end = reply.find('\r'); end != std::string::npos; end = reply.find('\r')) {
                    const std::string line = reply.substr(0, end);
                    reply.erase(0, end + 1);
                    // ">+0012.5+..." answers "#09": its first field is ai0.
                    if (line.size() > 2 && line[0] == '>' && request.find("#09\r") != std::string::npos) {
                        std::lock_guard lock(mutex_);
                        replies_.push_back({at, std::strtod(line.c_str() + 1, nullptr)});
                    }
                }
                request.clear();
            }
        }
        if (client >= 0) ::close(client);
        if (server >= 0) ::close(server);
    }

    std::uint16_t serverPort_;
    int listen_ = -1;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<Reply> replies_;
};

void BM_GatewayLatency(benchmark::State& state) {
    test::TempDir dir;
    test::MqttBroker broker;
    std::string error;
    if (!broker.Start(error)) throw std::runtime_error(error);
    // Channel 0 steps through twenty values, one a reading: every poll changes it.
    std::string pattern = "09 R270P pattern0=";
    for (int i = 1; i <= 20; ++i) pattern += std::to_string(i * 5) + (i < 20 ? "," : "\n");
    sim::Bus bus;
    if (!sim::LoadBusText(pattern, bus, error)) throw std::runtime_error(error);
    test::ReservedPort simPort, relayPort;
    sim::TcpServer server(bus);
    if (!server.Start(error, simPort.number())) throw std::runtime_error(error);
    Relay relay(relayPort.number(), simPort.number());
    test::MqttProbe probe(broker.port(), "bench/line0/09/state");
    GatewayProgram gateway(dir, Yaml(broker.port(),
                                     BusYaml("line0", "tcp://127.0.0.1:" + std::to_string(relayPort.number()),
                                             20, "      - {address: \"09\", protocol: ascii, model: R270P}\n")));
    std::vector<double> ms;
    for (auto _ : state) {
        probe.WaitFor([](const test::MqttProbe::Messages& all) { return all.size() >= 400; }, 120s);
        const auto replies = relay.Replies();
        for (const auto& m : probe.All()) {
            const auto at = m.payload.find("\"ai0\":");
            if (at == std::string::npos) continue;
            const double ai0 = std::strtod(m.payload.c_str() + at + 6, nullptr);
            // The latest reply that carried this value before the state arrived.
            const Relay::Reply* from = nullptr;
            for (const auto& r : replies)
                if (r.at <= m.at && r.ai0 == ai0) from = &r;
            if (from) ms.push_back(std::chrono::duration<double, std::milli>(m.at - from->at).count());
        }
    }
    ms.erase(ms.begin(), ms.begin() + std::min<std::size_t>(ms.size(), 20)); // start-up
    state.counters["samples"] = static_cast<double>(ms.size());
    state.counters["latency_p50_ms"] = Percentile(ms, 0.5);
    state.counters["latency_p99_ms"] = Percentile(ms, 0.99);
}
BENCHMARK(BM_GatewayLatency)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
