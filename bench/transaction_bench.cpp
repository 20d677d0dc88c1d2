// One ASCII transaction round trip over a pseudo-terminal against the simulator in
// the same process, and the CRC of a 256-byte frame.
#include "sim/bus_file.h"
#include "sim/pty_server.h"
#include "transport/com_port.h"
#include "transport/modbus.h"

#include <benchmark/benchmark.h>

#include <stdexcept>

namespace {

void BM_AsciiRoundTrip(benchmark::State& state) {
    tavo::sim::Bus bus;
    std::string error;
    if (!tavo::sim::LoadBusText("01 R210D\n", bus, error)) throw std::runtime_error(error);
    tavo::sim::PtyServer server(bus);
    if (!server.Start(error)) throw std::runtime_error(error);
    tavo::TavoComPort port(server.DevicePath());
    if (!port.OpenPort()) throw std::runtime_error(port.LastError().text);
    port.SetPortState(115200, 8, tavo::kParityNone, tavo::kOneStopBit);
    port.SetTimeOut(80);
    {
        std::lock_guard lock(bus.mutex());
        bus.Find(1)->config().baudCode = 0x0A; // the module talks at 115200 too
    }
    std::string reply;
    for (auto _ : state) {
        std::string command = "$012\r"; // 5 bytes out, 10 back
        if (!port.SendCommand(command, 64, &reply)) {
            state.SkipWithError("transaction failed");
            break;
        }
        benchmark::DoNotOptimize(reply);
    }
    server.Stop();
}
BENCHMARK(BM_AsciiRoundTrip)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();

void BM_Crc256(benchmark::State& state) {
    std::uint8_t frame[256];
    for (int i = 0; i < 256; ++i) frame[i] = static_cast<std::uint8_t>(i * 7 + 3);
    for (auto _ : state) {
        auto crc = tavo::TavoModbusCOM::CalcCRC(frame, sizeof frame);
        benchmark::DoNotOptimize(crc);
    }
}
BENCHMARK(BM_Crc256);

} // namespace

BENCHMARK_MAIN();
