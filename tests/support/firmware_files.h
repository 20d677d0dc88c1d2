// Firmware files made up for tests: R8XX HEX files and rack images. They only ever
// go to the simulator.
#pragma once

#include "support/temp_dir.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavo::test {

// One Intel HEX record line with its checksum, ended by `eol`.
inline std::string HexRecord(unsigned address, unsigned type, const std::vector<std::uint8_t>& data,
                             const std::string& eol = "\n") {
    std::vector<std::uint8_t> bytes{
        static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(address >> 8),
        static_cast<std::uint8_t>(address & 0xFF), static_cast<std::uint8_t>(type)};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (auto b : bytes)
        sum += b;
    bytes.push_back(static_cast<std::uint8_t>((0x100 - (sum & 0xFF)) & 0xFF));
    std::string line = ":";
    for (auto b : bytes) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
    }
    return line + eol;
}

// The 16-byte header: a mark, the target model, the image length in four digits.
inline std::string R8xxHeader(const std::string& model, unsigned length) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "[%-4.4s%04X      \n", model.c_str(), length & 0xFFFF);
    return buf;
}

// `n` bytes of a pattern that differs from block to block.
inline std::vector<std::uint8_t> Pattern(std::size_t n, unsigned seed = 7) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 31 + i / 128 * 17 + seed) & 0xFF);
    return bytes;
}

// A whole R8XX file holding `image` in records of 16 bytes from address 0.
inline std::string R8xxFile(const std::string& model, const std::vector<std::uint8_t>& image) {
    std::string file = R8xxHeader(model, static_cast<unsigned>(image.size()));
    for (std::size_t at = 0; at < image.size(); at += 16) {
        const std::size_t n = std::min<std::size_t>(16, image.size() - at);
        file += HexRecord(
            static_cast<unsigned>(at), 0,
            std::vector<std::uint8_t>(image.begin() + static_cast<std::ptrdiff_t>(at),
                                      image.begin() + static_cast<std::ptrdiff_t>(at + n)));
    }
    return file + HexRecord(0, 1, {});
}

} // namespace tavo::test
