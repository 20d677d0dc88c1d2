#include "wire.h"

#include <cctype>
#include <cstdio>

namespace tavo::sim {

std::string AsciiChecksum(std::string_view text) {
    unsigned sum = 0;
    for (unsigned char c : text) sum = (sum + c) % 256;
    return Hex2(sum);
}

std::uint16_t ModbusCrc(const std::uint8_t* data, std::size_t n) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int b = 0; b < 8; ++b) {
            const bool lsb = crc & 1;
            crc >>= 1;
            if (lsb) crc ^= 0xA001;
        }
    }
    return crc;
}

void AppendCrc(Bytes& frame) {
    const std::uint16_t crc = ModbusCrc(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

std::optional<ModelCode> ModelCodeFor(std::string_view d) {
    if (d.size() < 4) return std::nullopt;
    unsigned series = 0;
    switch (d[0]) {
    case 'R': series = 1; break;
    case 'K': series = 2; break;
    case 'Z': series = 3; break;
    default: return std::nullopt;
    }
    for (int i = 1; i <= 3; ++i)
        if (!std::isdigit(static_cast<unsigned char>(d[static_cast<std::size_t>(i)])))
            return std::nullopt;
    ModelCode code;
    code.bcd = static_cast<std::uint16_t>(series << 12 | (d[1] - '0') << 8 | (d[2] - '0') << 4 |
                                          (d[3] - '0'));
    if (d.size() > 4) code.suffix1 = static_cast<std::uint8_t>(d[4]);
    if (d.size() > 5) code.suffix2 = static_cast<std::uint8_t>(d[5]);
    return code;
}

unsigned Word(const Bytes& bytes, std::size_t at) {
    return static_cast<unsigned>(bytes[at]) << 8 | bytes[at + 1];
}

void PutWord(Bytes& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

int HexNibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<unsigned> ParseHex(std::string_view text) {
    if (text.empty() || text.size() > 8) return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        const int n = HexNibble(c);
        if (n < 0) return std::nullopt;
        value = value * 16 + static_cast<unsigned>(n);
    }
    return value;
}

std::string Hex2(unsigned value) {
    char t[8];
    std::snprintf(t, sizeof t, "%02X", value & 0xFF);
    return t;
}

std::string Hex4(unsigned value) {
    char t[8];
    std::snprintf(t, sizeof t, "%04X", value & 0xFFFF);
    return t;
}

} // namespace tavo::sim
