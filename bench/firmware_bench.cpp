// An R8XX firmware download is wire-bound: a 64 KiB image at 57600 baud against
// the simulator with wire-time emulation should take no more than 5 % over the
// wire time of its packets and their acknowledgements.
#include "devices/models_digital.h"
#include "sim/bus_file.h"
#include "sim/pty_server.h"
#include "transport/com_port.h"
#include "workspace/core/r8xx_download.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <stdexcept>

namespace {

void BM_R8xxDownload64KiB(benchmark::State& state) {
    tavo::sim::Bus bus;
    std::string error;
    // R810: every block goes out (other models keep their first four).
    if (!tavo::sim::LoadBusText("wire on\n05 R8XX target=R810\n", bus, error))
        throw std::runtime_error(error);
    tavo::sim::PtyServer server(bus);
    if (!server.Start(error)) throw std::runtime_error(error);
    tavo::TavoComPort port(server.DevicePath());
    if (!port.OpenPort()) throw std::runtime_error(port.LastError().text);
    port.SetPortState(9600, 8, tavo::kParityNone, tavo::kOneStopBit);
    port.SetTimeOut(80);
    tavo::TavoMR8XX loader(&port, "00");
    if (!loader.WriteConfigText("00000900")) throw std::runtime_error("baud change refused");
    port.SetPortState(57600, 8, tavo::kParityNone, tavo::kOneStopBit);

    std::vector<std::uint8_t> image(0x10000);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 13 + i / 256);
    double ratio = 0.0, seconds = 0.0, wire = 0.0;
    for (auto _ : state) {
        if (!loader.StartDownload()) {
            state.SkipWithError("download request refused");
            break;
        }
        tavo::R8xxDownloader downloader(port, image, true);
        const auto start = std::chrono::steady_clock::now();
        const auto result = downloader.Run();
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (result != tavo::R8xxDownloader::Result::Done) {
            state.SkipWithError(("download failed: " + downloader.Detail()).c_str());
            break;
        }
        // Ten bits a character (8N1) at 57600 baud, both directions.
        wire = static_cast<double>(downloader.BytesSent() + downloader.AckBytes()) * 10.0 / 57600.0;
        ratio = seconds / wire;
        state.SetIterationTime(seconds);
    }
    state.counters["wire_s"] = wire;
    state.counters["took_s"] = seconds;
    state.counters["ratio"] = ratio;
    server.Stop();
}
BENCHMARK(BM_R8xxDownload64KiB)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();

} // namespace
