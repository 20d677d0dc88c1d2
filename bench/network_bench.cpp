// An ASCII transaction through ser2net (raw and RFC 2217) against ser2net's own
// round trip: the same command bytes written on a bare TCP socket through the same
// ser2net to the same simulated bus, answered by the same module. ours_over_bare
// should stay at or below 1.1. Both are timed in many short alternating rounds on
// fresh connections, so a busy machine slows both alike: the ratio is the median of
// the ratios of neighbouring rounds; ours_us and bare_us are the medians of the
// rounds, *_best_us the best round of each (the machine at its quietest).
#include "sim/bus_file.h"
#include "sim/pty_server.h"
#include "support/ser2net.h"
#include "transport/com_port.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Mode = tavo::test::Ser2net::Mode;
using BenchClock = std::chrono::steady_clock;

constexpr int kRounds = 30;
constexpr int kPerRound = 60;
const std::string kCommand = "$012\r"; // 5 bytes out, 10 back

// A client that knows nothing of the bus: writes the command, reads to the CR. In
// Telnet mode it makes the same offer our port does (the COM-PORT-OPTION, binary
// both ways), so the server treats both alike, and skips the negotiation.
class BareClient {
public:
    BareClient(std::uint16_t port, bool telnet) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            throw std::runtime_error("bare client cannot connect");
        const int one = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (telnet) {
            const std::uint8_t offer[] = {255, 251, 44, 255, 251, 0, 255, 253, 0,
                                          255, 251, 3,  255, 253, 3};
            ::send(fd_, offer, sizeof offer, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            Drain();
        }
    }
    ~BareClient() { ::close(fd_); }
    bool Transaction() {
        if (::send(fd_, kCommand.data(), kCommand.size(), 0) != static_cast<ssize_t>(kCommand.size()))
            return false;
        for (;;) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 200) <= 0) return false;
            std::uint8_t buf[256];
            const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) return false;
            if (std::find(buf, buf + n, '\r') != buf + n) return true;
        }
    }

private:
    void Drain() {
        std::uint8_t buf[256];
        while (::recv(fd_, buf, sizeof buf, MSG_DONTWAIT) > 0) {
        }
    }
    int fd_ = -1;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <class F> double MicrosecondsPer(F&& transaction) {
    const auto start = BenchClock::now();
    for (int i = 0; i < kPerRound; ++i)
        if (!transaction()) throw std::runtime_error("transaction failed");
    return std::chrono::duration<double, std::micro>(BenchClock::now() - start).count() / kPerRound;
}

void BM_AsciiThroughSer2net(benchmark::State& state) {
    const Mode mode = state.range(0) ? Mode::Rfc2217 : Mode::Raw;
    if (tavo::test::Ser2net::Program().empty()) {
        state.SkipWithError("ser2net is not installed");
        return;
    }
    tavo::sim::Bus bus;
    std::string error;
    if (!tavo::sim::LoadBusText("01 R210D\n", bus, error)) throw std::runtime_error(error);
    tavo::sim::PtyServer sim(bus);
    if (!sim.Start(error)) throw std::runtime_error(error);
    tavo::test::Ser2net server(sim.DevicePath(), mode);
    if (!server.Start(error)) throw std::runtime_error(error);
    std::vector<double> ours, bare, ratios;
    for (auto _ : state) {
        for (int round = 0; round < kRounds; ++round) {
            {
                BareClient client(server.port(), mode == Mode::Rfc2217);
                bare.push_back(MicrosecondsPer([&] { return client.Transaction(); }));
            }
            tavo::TavoComPort port(server.Url());
            if (!port.OpenPort() || !port.SetPortState(9600, 8, tavo::kParityNone, tavo::kOneStopBit))
                throw std::runtime_error(port.LastError().text);
            port.SetTimeOut(200);
            std::string reply;
            ours.push_back(MicrosecondsPer([&] {
                std::string command = kCommand;
                return port.SendCommand(command, 64, &reply);
            }));
            port.ClosePort();
            ratios.push_back(ours.back() / bare.back());
        }
        state.SetIterationTime(Median(ours) * kPerRound * kRounds / 1e6);
    }
    state.counters["ours_us"] = Median(ours);
    state.counters["bare_us"] = Median(bare);
    state.counters["ours_over_bare"] = Median(ratios);
    state.counters["ours_best_us"] = *std::min_element(ours.begin(), ours.end());
    state.counters["bare_best_us"] = *std::min_element(bare.begin(), bare.end());
    server.Stop();
    sim.Stop();
}
BENCHMARK(BM_AsciiThroughSer2net)->ArgName("rfc2217")->Arg(0)->Arg(1)->UseManualTime()
    ->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
