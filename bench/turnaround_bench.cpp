// One 2-register Modbus read (function 3) against a third-party RTU slave, the
// libmodbus server, on one end of a socat pseudo-terminal pair: our master at the
// 20 ms turnaround and at 4 ms, and a libmodbus master, side by side.
//
// A pseudo-terminal moves bytes at once, so the slave holds each reply back for
// the time request and reply take on a 9600-baud wire (ten bits a byte) when
// range(1) is 1; with 0 the line is as fast as the pty.
//
// On a busy machine run it as `chrt -f 20 build/bin/...` (as root): otherwise the
// scheduler's wake-up latency (several ms per timed wait under load) is measured
// instead of the line.
#include "transport/com_port.h"
#include "transport/modbus.h"

#include <benchmark/benchmark.h>
#include <modbus/modbus.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int kSlave = 17;
constexpr int kBaud = 9600;

std::chrono::microseconds WireTime(int bytes) {
    return std::chrono::microseconds(bytes * 10 * 1'000'000LL / kBaud);
}

// socat joining two pseudo-terminals, and the libmodbus slave on the first.
class ThirdPartySlave {
public:
    explicit ThirdPartySlave(bool wire) : wire_(wire) {
        const std::string dir = std::filesystem::temp_directory_path().string();
        a_ = dir + "/tavo-bench-a-" + std::to_string(getpid());
        b_ = dir + "/tavo-bench-b-" + std::to_string(getpid());
        const std::string ptyA = "pty,raw,echo=0,link=" + a_;
        const std::string ptyB = "pty,raw,echo=0,link=" + b_;
        char* argv[] = {const_cast<char*>("socat"), const_cast<char*>(ptyA.c_str()),
                        const_cast<char*>(ptyB.c_str()), nullptr};
        if (posix_spawnp(&socat_, "socat", nullptr, nullptr, argv, environ) != 0)
            throw std::runtime_error("cannot start socat (scripts/setup.sh installs it)");
        for (int i = 0; i < 200 && !(std::filesystem::exists(a_) && std::filesystem::exists(b_));
             ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ctx_ = modbus_new_rtu(a_.c_str(), kBaud, 'N', 8, 1);
        if (!ctx_ || modbus_connect(ctx_) != 0)
            throw std::runtime_error("libmodbus slave: cannot open " + a_);
        modbus_set_slave(ctx_, kSlave);
        modbus_set_indication_timeout(ctx_, 0, 100000);
        map_ = modbus_mapping_new(0, 0, 300, 0);
        map_->tab_registers[210] = 0x1550;
        map_->tab_registers[211] = 0x0000;
        thread_ = std::thread([this] { Serve(); });
    }
    ~ThirdPartySlave() {
        stop_ = true;
        thread_.join();
        modbus_mapping_free(map_);
        modbus_close(ctx_);
        modbus_free(ctx_);
        kill(socat_, SIGTERM);
        waitpid(socat_, nullptr, 0);
    }
    const std::string& MasterSide() const { return b_; }

private:
    void Serve() {
        std::uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!stop_) {
            const int rc = modbus_receive(ctx_, query);
            if (rc <= 0) continue;
            // Request and reply (3 + 2 x 2 data + 2 CRC bytes) as long as on the wire.
            if (wire_) std::this_thread::sleep_for(WireTime(rc + 9));
            modbus_reply(ctx_, query, rc, map_);
        }
    }

    bool wire_;
    std::string a_, b_;
    pid_t socat_ = 0;
    modbus_t* ctx_ = nullptr;
    modbus_mapping_t* map_ = nullptr;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

void BM_OurMaster(benchmark::State& state) {
    ThirdPartySlave slave(state.range(1) != 0);
    tavo::TavoComPort port(slave.MasterSide());
    if (!port.OpenPort()) throw std::runtime_error(port.LastError().text);
    port.SetPortState(kBaud, 8, tavo::kParityNone, tavo::kOneStopBit);
    port.SetTimeOut(80);
    tavo::TavoModbusCOM modbus(&port);
    modbus.SetTurnaroundDelay(static_cast<int>(state.range(0)));
    std::vector<std::uint8_t> data;
    for (auto _ : state) {
        if (!modbus.ReadHoldingRegisters(kSlave, 211, 2) || !modbus.ReadResponse(data) ||
            data.size() != 4) {
            state.SkipWithError("read failed");
            break;
        }
    }
    state.SetLabel("turnaround " + std::to_string(state.range(0)) + " ms, " +
                   (state.range(1) ? "9600-baud wire time" : "no wire time"));
}
BENCHMARK(BM_OurMaster)
    ->ArgsProduct({{20, 4, 0}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

void BM_LibmodbusMaster(benchmark::State& state) {
    ThirdPartySlave slave(state.range(0) != 0);
    modbus_t* ctx = modbus_new_rtu(slave.MasterSide().c_str(), kBaud, 'N', 8, 1);
    if (!ctx || modbus_connect(ctx) != 0) throw std::runtime_error("libmodbus master: cannot open");
    modbus_set_slave(ctx, kSlave);
    std::uint16_t regs[2];
    for (auto _ : state) {
        if (modbus_read_registers(ctx, 210, 2, regs) != 2) {
            state.SkipWithError(modbus_strerror(errno));
            break;
        }
    }
    modbus_close(ctx);
    modbus_free(ctx);
    state.SetLabel(state.range(0) ? "9600-baud wire time" : "no wire time");
}
BENCHMARK(BM_LibmodbusMaster)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
