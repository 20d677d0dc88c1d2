// A record reply of the data logger (the data after "!AA") made into a list row.
// Whatever the bytes, a row comes only from a well-formed record: a channel digit
// 0 to 7, a value field of a digit and four hex digits, and for an event record
// eight hex digits of interval; the row shows exactly what those fields say.
#include "devices/data_logger.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

bool Hex(std::string_view s) {
    for (const char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')))
            return false;
    return !s.empty();
}

// The value the decoded text stands for, in units of its last decimal.
bool SameValue(const std::string& text, std::string_view field) {
    const int k = field[0] - '0';
    const int decimals = k / 2;
    const bool negative = k % 2 == 1;
    std::string_view t = text;
    if (negative != (!t.empty() && t[0] == '-')) return false;
    if (negative) t.remove_prefix(1);
    const auto point = t.find('.');
    if (decimals == 0
            ? point != std::string_view::npos
            : point == std::string_view::npos || t.size() - point - 1 != std::size_t(decimals))
        return false;
    std::string digits(t.substr(0, point));
    if (point != std::string_view::npos) digits += t.substr(point + 1);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return false;
    return std::strtoul(digits.c_str(), nullptr, 10) ==
           std::strtoul(std::string(field.substr(1)).c_str(), nullptr, 16);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // The first byte chooses the series and the record's number.
    const bool event = (data[0] & 0x80) != 0;
    const unsigned number = data[0] & 0x7F;
    const std::string_view reply(reinterpret_cast<const char*>(data + 1), size - 1);
    const auto row = tavo::ParseRecordData(reply, event, number);
    if (!row) return 0;
    if (reply.size() != 6 && reply.size() != 14) __builtin_trap();
    if (event && reply.size() != 14) __builtin_trap();
    if (reply[0] < '0' || reply[0] > '7' || row->channel != std::string(1, reply[0]))
        __builtin_trap();
    const std::string_view field = reply.substr(1, 5);
    if (field[0] < '0' || field[0] > '9' || !Hex(field.substr(1))) __builtin_trap();
    if (!SameValue(row->data, field)) __builtin_trap();
    char expected[8];
    std::snprintf(expected, sizeof expected, "%04u", number);
    if (row->record != expected) __builtin_trap();
    if (reply.size() == 14 && !Hex(reply.substr(6))) __builtin_trap();
    if (event) {
        if (row->interval !=
            std::to_string(std::strtoul(std::string(reply.substr(6)).c_str(), nullptr, 16)))
            __builtin_trap();
    } else if (row->interval != "-----") {
        __builtin_trap();
    }
    return 0;
}
