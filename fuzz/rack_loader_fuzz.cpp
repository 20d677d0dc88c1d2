// The rack loader's file checks. The first bytes choose the loader's block count
// and the sizes of the loader image and firmware file; the rest fills them. Files
// of the wrong size are refused before a single byte goes to the controller, with
// a detail that names the file; files that fit go on to the download request.
#include "scripted_port.h"
#include "workspace/core/rack_loader.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using namespace tavo;

std::string WriteFile(const char* name, std::size_t bytes, const std::uint8_t* fill,
                      std::size_t fillSize) {
    static const std::string dir = [] {
        std::string path =
            (std::filesystem::temp_directory_path() / "tavo-rack-fuzz-XXXXXX").string();
        if (!mkdtemp(path.data())) std::abort();
        return path;
    }();
    const std::string path = dir + "/" + name;
    std::string content(bytes, '\0');
    for (std::size_t i = 0; i < bytes && fillSize > 0; ++i)
        content[i] = static_cast<char>(fill[i % fillSize]);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(content.data(), 1, content.size(), f) != content.size()) std::abort();
    std::fclose(f);
    return path;
}

bool Fits(std::size_t size, unsigned blocks) {
    return size > 0 && size >= (blocks - 1) * kRackBlockData && size <= blocks * kRackBlockData;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return 0;
    // Block counts around the real loaders' (32 and 166), sizes around their bounds.
    const unsigned loaderBlocks = data[0] % 170;
    const std::size_t loaderSize = (std::size_t{data[1]} << 8 | data[2]) % (171 * kRackBlockData);
    const std::size_t firmwareSize =
        kRackFirmwareBlocks * kRackBlockData - 512 + (std::size_t{data[3]} << 8 | data[4]) % 1024;
    const std::string loader = WriteFile("loader.img", loaderSize, data + 5, size - 5);
    const std::string firmware = WriteFile("firmware.bin", firmwareSize, data + 5, size - 5);

    // The controller never answers: a download that starts fails at its request.
    fuzz::ScriptedPort sp({}, 1);
    RackLoader::Hooks hooks;
    hooks.pause = [](int) {};
    RackLoader rack(*sp.port, hooks);
    const int result = rack.Run(loader, loaderBlocks, firmware);

    const bool loaderFits = loaderBlocks > 0 && Fits(loaderSize, loaderBlocks);
    const bool firmwareFits = Fits(firmwareSize, kRackFirmwareBlocks);
    if (!loaderFits || !firmwareFits) {
        const int expected = !loaderFits ? kRackLoaderFailed : kRackFirmwareFailed;
        const std::string& named = !loaderFits ? loader : firmware;
        if (result != expected || !sp.backend->written.empty() ||
            rack.Detail().find(named) == std::string::npos)
            __builtin_trap();
        return 0;
    }
    if (result != kRackStartFailed || sp.backend->written.rfind("$00D\r", 0) != 0) __builtin_trap();
    return 0;
}
