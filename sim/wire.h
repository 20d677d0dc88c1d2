// Wire-level helpers of the simulator, written apart from the client's transport
// so that a mistake in one is caught by the other.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavo::sim {

using Bytes = std::vector<std::uint8_t>;

// Sum of character codes modulo 256, as two upper-case hex digits.
std::string AsciiChecksum(std::string_view text);

// Modbus CRC-16 (polynomial A001 reflected, start FFFF), computed bit by bit.
std::uint16_t ModbusCrc(const std::uint8_t* data, std::size_t n);
// Appends the CRC, low byte first.
void AppendCrc(Bytes& frame);

// Model number code used on the Modbus side: series digit (R 1, K 2, Z 3) and the
// designation's three digits in BCD, letters after the digits in the suffix bytes.
// "R560SO" -> 0x1560, 'S', 'O'. Empty when the designation has no such form.
struct ModelCode {
    std::uint16_t bcd = 0;
    std::uint8_t suffix1 = 0;
    std::uint8_t suffix2 = 0;
};
std::optional<ModelCode> ModelCodeFor(std::string_view designation);

// The big-endian 16-bit word at `at` of a Modbus PDU, and appending one.
unsigned Word(const Bytes& bytes, std::size_t at);
void PutWord(Bytes& out, unsigned value);

int HexNibble(char c); // -1 for a non-hex character
// Parses exactly `text.size()` hex digits; nullopt on any other character or empty.
std::optional<unsigned> ParseHex(std::string_view text);
std::string Hex2(unsigned value); // "%02X"
std::string Hex4(unsigned value); // "%04X"

} // namespace tavo::sim
