// R8XX firmware files: the 16-byte header, the Intel HEX records turned into one
// contiguous image, and the packets the image goes out in.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavo {

inline constexpr std::size_t kR8xxHeaderSize = 16;
// Record addresses are 16 bits: no image is longer than this.
inline constexpr std::size_t kR8xxMaxImage = 0x10000;
inline constexpr std::size_t kR8xxBlockData = 128;
inline constexpr std::size_t kR8xxBlockSize = 130;
inline constexpr std::uint8_t kR8xxBlockLead = 0x82;
// Sent instead of a final packet when the image ends on a block boundary.
inline constexpr std::array<std::uint8_t, 5> kR8xxEndPacket{0x86, 0, 0, 0, 0};
// What the module answers to every packet it accepts.
inline constexpr std::array<std::uint8_t, 3> kR8xxAck{0x00, 0x00, '\r'};

struct R8xxImage {
    std::string targetModel;                // header characters 1 to 4, "R850"
    std::optional<unsigned> declaredLength; // header characters 5 to 8, when hexadecimal
    std::vector<std::uint8_t> bytes;        // gaps between records filled with 0xFF
};

enum class R8xxFileFault {
    None,
    Header,  // shorter than the header, or no header at all
    Records, // a record is malformed, or the records describe no usable image
};

// Turns the contents of an R8XX firmware file into its image. Every record is
// checked (its colon, hexadecimal digits, length against its line, checksum, type
// and address) before anything is accepted, so a damaged file is refused as a
// whole; a file without its end record counts as truncated. Line ends may be LF or
// CR LF; data after the end record is ignored. On a fault `why` says what and
// where, and `image` is left unchanged.
R8xxFileFault ParseR8xxFile(std::string_view file, R8xxImage& image, std::string& why);

// The first block that goes to the module: R810 and R820 take every block; the
// other models keep their first 512 bytes, so blocks 1 to 4 are not sent. Blocks
// are numbered from 1.
unsigned R8xxFirstBlockSent(bool r810OrR820);
bool R8xxIsR810OrR820(std::string_view typeCode);

// One full block: 0x82, the 128 bytes with the two bytes of every pair exchanged,
// and the byte that makes all 130 sum to 0 modulo 256.
std::array<std::uint8_t, kR8xxBlockSize> R8xxBlock(const std::uint8_t* data);
// What follows the last full block: for 1 to 127 remaining bytes, their count + 2,
// the bytes (pairs exchanged; an odd last byte as it is) and the checksum byte;
// for none, the five-byte end packet.
std::vector<std::uint8_t> R8xxFinalPacket(const std::uint8_t* data, std::size_t count);

// Every packet of `image` in sending order, skipped blocks left out; the last one
// is the final packet.
std::vector<std::vector<std::uint8_t>> R8xxPackets(const std::vector<std::uint8_t>& image,
                                                   bool r810OrR820);

} // namespace tavo
