#include "r8xx_image.h"

#include <cstdio>
#include <stdexcept>

namespace tavo {
namespace {

int Nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Two hexadecimal digits at `at`; the caller has checked they are digits.
unsigned Byte(std::string_view text, std::size_t at) {
    return static_cast<unsigned>(Nibble(text[at]) * 16 + Nibble(text[at + 1]));
}

std::string Hex(unsigned value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, value);
    return buf;
}

// A character as people can read it in a message.
std::string Shown(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7F) return std::string("'") + c + "'";
    return "byte 0x" + Hex(u, 2);
}

std::uint8_t ChecksumOf(const std::uint8_t* bytes, std::size_t n) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += bytes[i];
    return static_cast<std::uint8_t>((0x100 - (sum & 0xFF)) & 0xFF);
}

// Copies `count` bytes with the two bytes of every pair exchanged; an odd last
// byte stays where it is.
void PutSwapped(const std::uint8_t* data, std::size_t count, std::uint8_t* out) {
    std::size_t i = 0;
    for (; i + 1 < count; i += 2) {
        out[i] = data[i + 1];
        out[i + 1] = data[i];
    }
    if (i < count) out[i] = data[i];
}

class RecordReader {
public:
    explicit RecordReader(std::string_view file) : file_(file), pos_(kR8xxHeaderSize) {
        for (std::size_t i = 0; i < kR8xxHeaderSize; ++i)
            if (file_[i] == '\n') ++line_;
    }

    // The next non-empty line without its line end; false at the end of the file.
    bool Next(std::string_view& record) {
        while (pos_ < file_.size() && (file_[pos_] == '\r' || file_[pos_] == '\n')) {
            if (file_[pos_] == '\n') ++line_;
            ++pos_;
        }
        if (pos_ >= file_.size()) return false;
        const std::size_t end = file_.find('\n', pos_);
        const std::size_t stop = end == std::string_view::npos ? file_.size() : end;
        record = file_.substr(pos_, stop - pos_);
        if (!record.empty() && record.back() == '\r') record.remove_suffix(1);
        pos_ = stop;
        return true;
    }
    std::string Where() const { return "line " + std::to_string(line_); }

private:
    std::string_view file_;
    std::size_t pos_;
    int line_ = 1;
};

} // namespace

R8xxFileFault ParseR8xxFile(std::string_view file, R8xxImage& image, std::string& why) {
    if (file.empty()) {
        why = "the file is empty";
        return R8xxFileFault::Header;
    }
    if (file[0] == ':') {
        why = "the file starts with an Intel HEX record: the 16-byte header of a module "
              "firmware file is missing";
        return R8xxFileFault::Header;
    }
    if (file.size() < kR8xxHeaderSize) {
        why = "the file holds " + std::to_string(file.size()) +
              " bytes, fewer than its 16-byte header";
        return R8xxFileFault::Header;
    }
    // The header is one line of 16 bytes, its line end included.
    if (const auto eol = file.find('\n'); eol < kR8xxHeaderSize - 1) {
        why = "the header line holds " + std::to_string(eol + 1) +
              " bytes, fewer than the 16 of a module firmware file";
        return R8xxFileFault::Header;
    }
    R8xxImage out;
    out.targetModel = std::string(file.substr(1, 4));
    unsigned length = 0;
    bool lengthOk = true;
    for (std::size_t i = 5; i <= 8; ++i) {
        const int n = Nibble(file[i]);
        if (n < 0) lengthOk = false;
        length = length * 16 + static_cast<unsigned>(n < 0 ? 0 : n);
    }
    if (lengthOk) out.declaredLength = length;

    RecordReader reader(file);
    std::string_view record;
    std::size_t expected = 0; // where the next data record continues the image
    bool anyData = false;
    bool ended = false;
    const auto fail = [&](const std::string& what) {
        why = reader.Where() + ": " + what;
        return R8xxFileFault::Records;
    };
    while (reader.Next(record)) {
        if (record[0] != ':') return fail("the record does not start with ':'");
        for (std::size_t i = 1; i < record.size(); ++i)
            if (Nibble(record[i]) < 0)
                return fail(Shown(record[i]) + " at column " + std::to_string(i + 1) +
                            " is not a hexadecimal digit");
        if (record.size() < 11) return fail("the record is truncated");
        if (record.size() % 2 == 0)
            return fail("the record has an odd number of hexadecimal digits");
        const unsigned count = Byte(record, 1);
        const std::size_t wanted = 11 + 2 * static_cast<std::size_t>(count);
        if (record.size() < wanted)
            return fail("the record announces " + std::to_string(count) +
                        " data bytes but its line holds only " +
                        std::to_string((record.size() - 11) / 2));
        if (record.size() > wanted)
            return fail("the line holds more than the " + std::to_string(count) +
                        " data bytes its record announces");
        std::vector<std::uint8_t> bytes;
        for (std::size_t i = 1; i + 1 < record.size(); i += 2)
            bytes.push_back(static_cast<std::uint8_t>(Byte(record, i)));
        const std::uint8_t sumWanted = ChecksumOf(bytes.data(), bytes.size() - 1);
        if (bytes.back() != sumWanted)
            return fail("record checksum " + Hex(bytes.back(), 2) +
                        " is wrong (the record's bytes need " + Hex(sumWanted, 2) + ")");
        const unsigned address = bytes[1] << 8 | bytes[2];
        const unsigned type = bytes[3];
        const std::uint8_t* data = bytes.data() + 4;
        if (type == 0x01) {
            ended = true;
            break;
        }
        if (type == 0x02 || type == 0x04) {
            // Segment and linear base addresses: only a base of 0 keeps the image
            // inside the 64 KiB the records' own addresses reach.
            if (count != 2) return fail("an extended address record must hold 2 bytes");
            if (data[0] != 0 || data[1] != 0)
                return fail("extended address " +
                            Hex(static_cast<unsigned>(data[0] << 8 | data[1]), 4) +
                            " lies beyond the 64 KiB a module image can hold");
            continue;
        }
        if (type == 0x03 || type == 0x05) continue; // start address: no image data
        if (type != 0x00) return fail("unknown record type " + Hex(type, 2));
        if (address < expected)
            return fail("data at " + Hex(address, 4) +
                        " overlaps the data before it, which ends at " +
                        Hex(static_cast<unsigned>(expected), 4));
        if (address + count > kR8xxMaxImage)
            return fail("data at " + Hex(address, 4) + " runs past the end of the 64 KiB image");
        out.bytes.resize(address, 0xFF);
        out.bytes.insert(out.bytes.end(), data, data + count);
        expected = address + count;
        anyData = anyData || count > 0;
    }
    // Intel HEX ends with an end record; without it the file was cut short, perhaps
    // right at the end of a line, and the image would be incomplete.
    if (!ended) {
        why = "the file ends without its end record (:00000001FF): it is truncated";
        return R8xxFileFault::Records;
    }
    if (!anyData) {
        why = "the file holds no data records";
        return R8xxFileFault::Records;
    }
    image = std::move(out);
    why.clear();
    return R8xxFileFault::None;
}

unsigned R8xxFirstBlockSent(bool r810OrR820) {
    return r810OrR820 ? 1 : 5;
}

bool R8xxIsR810OrR820(std::string_view typeCode) {
    return typeCode == "10" || typeCode == "20";
}

std::array<std::uint8_t, kR8xxBlockSize> R8xxBlock(const std::uint8_t* data) {
    std::array<std::uint8_t, kR8xxBlockSize> block{};
    block[0] = kR8xxBlockLead;
    PutSwapped(data, kR8xxBlockData, block.data() + 1);
    block[kR8xxBlockSize - 1] = ChecksumOf(block.data(), kR8xxBlockSize - 1);
    return block;
}

std::vector<std::uint8_t> R8xxFinalPacket(const std::uint8_t* data, std::size_t count) {
    if (count >= kR8xxBlockData)
        throw std::invalid_argument("a final packet carries fewer than 128 bytes");
    if (count == 0) return {kR8xxEndPacket.begin(), kR8xxEndPacket.end()};
    std::vector<std::uint8_t> packet(count + 2);
    packet[0] = static_cast<std::uint8_t>(count + 2);
    PutSwapped(data, count, packet.data() + 1);
    packet.back() = ChecksumOf(packet.data(), count + 1);
    return packet;
}

std::vector<std::vector<std::uint8_t>> R8xxPackets(const std::vector<std::uint8_t>& image,
                                                   bool r810OrR820) {
    std::vector<std::vector<std::uint8_t>> packets;
    const std::size_t full = image.size() / kR8xxBlockData;
    const unsigned first = R8xxFirstBlockSent(r810OrR820);
    for (std::size_t b = 1; b <= full; ++b) {
        if (b < first) continue;
        const auto block = R8xxBlock(image.data() + (b - 1) * kR8xxBlockData);
        packets.emplace_back(block.begin(), block.end());
    }
    packets.push_back(R8xxFinalPacket(image.data() + full * kR8xxBlockData,
                                      image.size() - full * kR8xxBlockData));
    return packets;
}

} // namespace tavo
