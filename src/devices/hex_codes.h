// Small helpers for the numeric codes and texts that go into command lines.
#pragma once

#include "reply.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace tavo {

// The value of 1 to 8 hexadecimal digits; nullopt for anything else.
inline std::optional<unsigned> HexValue(std::string_view text) {
    if (text.empty() || text.size() > 8) return std::nullopt;
    unsigned value = 0;
    for (const char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        if (digit < 0) return std::nullopt;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return value;
}

// `value` as upper-case hexadecimal with at least `width` digits ("%0*X"); a value
// too large for `width` comes out longer. Callers range-check first.
inline std::string HexText(unsigned value, int width) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", width, value);
    return text;
}

// `value` as exactly `digits` upper-case hexadecimal digits (1 to 16), zero padded;
// empty when the value does not fit, so that the caller refuses to send it.
inline std::string HexDigits(std::uint64_t value, int digits) {
    if (digits < 1 || digits > 16) return {};
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i) {
        text[static_cast<std::size_t>(i)] = kDigits[value & 15];
        value >>= 4;
    }
    return value == 0 ? text : std::string();
}

// `value` in decimal with at least `width` digits, zero padded ("%0*d").
inline std::string DecimalText(int value, int width = 1) {
    char text[24];
    std::snprintf(text, sizeof text, "%0*d", width, value);
    return text;
}

// A two-digit code with bit n set or cleared; an empty or unreadable code counts as 0.
inline std::string WithBit(std::string_view code, int n, bool on) {
    unsigned value = HexValue(code).value_or(0);
    if (on)
        value |= 1u << n;
    else
        value &= ~(1u << n);
    return HexText(value & 0xFF, 2);
}

// True for exactly `digits` hexadecimal digits.
inline bool IsHexField(std::string_view text, std::size_t digits) {
    return text.size() == digits && IsHexText(text);
}

// True for exactly two hexadecimal digits.
inline bool IsHexCode(std::string_view code) {
    return IsHexField(code, 2);
}

// Text a caller may put into a command line: printable ASCII only, so that nothing
// it holds can end the line early or smuggle a second command onto the bus.
inline bool IsCommandText(std::string_view text) {
    for (const char c : text)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

} // namespace tavo
