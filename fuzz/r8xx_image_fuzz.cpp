// The R8XX firmware file reader. A refused file yields nothing (the image keeps
// what it held) and says why; an accepted image written back as a file of the same
// header reads again to the same image, and its packets carry exactly the image
// from the first block sent on, each with its checksum.
#include "workspace/core/r8xx_image.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace {

using namespace tavo;

std::string Record(unsigned address, unsigned type, const std::uint8_t* data, std::size_t n) {
    unsigned sum = static_cast<unsigned>(n) + (address >> 8) + (address & 0xFF) + type;
    char buf[16];
    std::snprintf(buf, sizeof buf, ":%02X%04X%02X", static_cast<unsigned>(n), address, type);
    std::string line = buf;
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", data[i]);
        line += buf;
        sum += data[i];
    }
    std::snprintf(buf, sizeof buf, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + buf;
}

std::string FileOf(std::string_view header, const std::vector<std::uint8_t>& bytes) {
    std::string file(header);
    for (std::size_t at = 0; at < bytes.size(); at += 16)
        file += Record(static_cast<unsigned>(at), 0, bytes.data() + at,
                       std::min<std::size_t>(16, bytes.size() - at));
    return file + ":00000001FF\r\n";
}

void CheckPackets(const std::vector<std::uint8_t>& image, bool r810) {
    const auto packets = R8xxPackets(image, r810);
    // The kept blocks are left out; what follows the last full block always goes.
    const std::size_t full = image.size() / kR8xxBlockData * kR8xxBlockData;
    const std::size_t skipped = std::min(full, (R8xxFirstBlockSent(r810) - 1) * kR8xxBlockData);
    std::vector<std::uint8_t> carried;
    for (std::size_t k = 0; k < packets.size(); ++k) {
        const auto& p = packets[k];
        if (p.size() == kR8xxEndPacket.size() && p[0] == kR8xxEndPacket[0]) {
            if (k + 1 != packets.size()) __builtin_trap();
            continue;
        }
        if (p.size() < 3) __builtin_trap();
        unsigned sum = 0;
        for (const auto b : p)
            sum += b;
        if ((sum & 0xFF) != 0) __builtin_trap();
        const std::size_t n = p.size() - 2;
        if (k + 1 < packets.size() && (p[0] != kR8xxBlockLead || n != kR8xxBlockData))
            __builtin_trap();
        for (std::size_t i = 0; i + 1 < n; i += 2) {
            carried.push_back(p[1 + i + 1]);
            carried.push_back(p[1 + i]);
        }
        if (n % 2) carried.push_back(p[n]);
    }
    const std::size_t expected = image.size() > skipped ? image.size() - skipped : 0;
    if (carried.size() != expected) __builtin_trap();
    if (!std::equal(carried.begin(), carried.end(), image.begin() + static_cast<long>(skipped)))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    R8xxImage image;
    image.targetModel = "keep";
    image.bytes = {1, 2, 3};
    std::string why;
    const R8xxFileFault fault = ParseR8xxFile(file, image, why);
    if (fault != R8xxFileFault::None) {
        if (why.empty() || image.targetModel != "keep" || image.bytes.size() != 3) __builtin_trap();
        return 0;
    }
    if (!why.empty() || image.bytes.empty() || image.bytes.size() > kR8xxMaxImage ||
        image.targetModel != file.substr(1, 4))
        __builtin_trap();

    R8xxImage again;
    if (ParseR8xxFile(FileOf(file.substr(0, kR8xxHeaderSize), image.bytes), again, why) !=
            R8xxFileFault::None ||
        again.bytes != image.bytes || again.targetModel != image.targetModel ||
        again.declaredLength != image.declaredLength)
        __builtin_trap();

    CheckPackets(image.bytes, true);
    CheckPackets(image.bytes, false);
    return 0;
}
