#include "modbus_slave.h"

#include "transport/modbus.h"

#include <cstdio>

namespace tavo {

bool CoilBitsFromData(const std::vector<std::uint8_t>& data, int count, std::uint32_t& bits) {
    if (count < 1 || count > ModbusSlave::kMaxCoils ||
        data.size() != static_cast<std::size_t>((count + 7) / 8))
        return false;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < data.size(); ++i) value |= std::uint32_t{data[i]} << (8 * i);
    bits = count == 32 ? value : value & ((1u << count) - 1);
    return true;
}

bool WordsFromData(const std::vector<std::uint8_t>& data, int count,
                   std::vector<std::uint16_t>& words) {
    if (count < 1 || count > ModbusSlave::kMaxRegisters ||
        data.size() != 2 * static_cast<std::size_t>(count))
        return false;
    words.resize(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < words.size(); ++i)
        words[i] = static_cast<std::uint16_t>(data[2 * i] << 8 | data[2 * i + 1]);
    return true;
}

// The transaction compares function codes; the slave address is checked here, so a
// late answer of another module is never taken for this one's.
bool ModbusSlave::FromThisSlave() const {
    const std::string& request = modbus_->RequestText();
    const std::string& response = modbus_->ResponseText();
    return request.size() >= 2 && response.size() >= 2 && response.compare(0, 2, request, 0, 2) == 0;
}

// Functions 5 and 6 echo the whole request (12 hexadecimal characters), 15 and 16
// its slave, function, address and quantity.
bool ModbusSlave::EchoMatches(std::size_t hexChars) const {
    const std::string& request = modbus_->RequestText();
    const std::string& response = modbus_->ResponseText();
    return request.size() >= hexChars && response.size() == 12 &&
           response.compare(0, hexChars, request, 0, hexChars) == 0;
}

bool ModbusSlave::ReadCoils(int first, int count, std::uint32_t& bits) {
    std::vector<std::uint8_t> data;
    if (!modbus_ || count < 1 || count > kMaxCoils || !modbus_->ReadCoils(slave_, first, count) ||
        !modbus_->ReadResponse(data) || !FromThisSlave())
        return false;
    return CoilBitsFromData(data, count, bits);
}

bool ModbusSlave::ReadRegisters(int first, int count, std::vector<std::uint16_t>& words) {
    std::vector<std::uint8_t> data;
    if (!modbus_ || count < 1 || count > kMaxRegisters ||
        !modbus_->ReadHoldingRegisters(slave_, first, count) || !modbus_->ReadResponse(data) ||
        !FromThisSlave())
        return false;
    std::vector<std::uint16_t> read;
    if (!WordsFromData(data, count, read)) return false;
    words = std::move(read);
    return true;
}

bool ModbusSlave::ReadLong(int first, std::uint32_t& value) {
    std::vector<std::uint16_t> words;
    if (!ReadRegisters(first, 2, words)) return false;
    value = std::uint32_t{words[0]} << 16 | words[1];
    return true;
}

bool ModbusSlave::WriteCoil(int coil, bool on) {
    return modbus_ && modbus_->WriteSingleCoil(slave_, coil, on) && modbus_->WriteResponse() &&
           EchoMatches(12);
}

bool ModbusSlave::WriteRegister(int reg, std::uint16_t value) {
    return modbus_ && modbus_->WriteSingleRegister(slave_, reg, value) &&
           modbus_->WriteResponse() && EchoMatches(12);
}

bool ModbusSlave::WriteCoils(int first, int count, std::uint32_t bits) {
    if (!modbus_ || count < 1 || count > kMaxCoils) return false;
    std::uint8_t data[4];
    const int bytes = (count + 7) / 8;
    for (int i = 0; i < bytes; ++i) data[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    if (count % 8) data[bytes - 1] &= static_cast<std::uint8_t>((1u << (count % 8)) - 1);
    return modbus_->WriteMultipleCoils(slave_, first, count, bytes, data) &&
           modbus_->WriteResponse() && EchoMatches(12);
}

bool ModbusSlave::WriteRegisters(int first, const std::vector<std::uint16_t>& words) {
    // The standard's limit of one write of registers.
    if (!modbus_ || words.empty() || words.size() > 123) return false;
    std::vector<std::uint8_t> data;
    data.reserve(2 * words.size());
    for (const std::uint16_t w : words) {
        data.push_back(static_cast<std::uint8_t>(w >> 8));
        data.push_back(static_cast<std::uint8_t>(w & 0xFF));
    }
    return modbus_->WriteMultipleRegisters(slave_, first, static_cast<int>(words.size()),
                                           static_cast<int>(data.size()), data.data()) &&
           modbus_->WriteResponse() && EchoMatches(12);
}

bool ModbusSlave::ReadFirmware(std::string& out) {
    std::vector<std::uint16_t> words;
    if (!ReadRegisters(kFirmwareRegister, 1, words)) return false;
    out = FirmwareWordText(words[0]);
    return true;
}

std::string FirmwareWordText(std::uint16_t word) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X.%02X", word >> 8, word & 0xFF);
    return text;
}

} // namespace tavo
