// Small helpers for the hexadecimal codes and texts that go into command lines.
#pragma once

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

// `value` as upper-case hexadecimal with at least `width` digits ("%0*X").
inline std::string HexText(unsigned value, int width) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", width, value);
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

// True for exactly two hexadecimal digits.
inline bool IsHexCode(std::string_view code) {
    return code.size() == 2 && HexValue(code);
}

// Text a caller may put into a command line: printable ASCII only, so that nothing
// it holds can end the line early or smuggle a second command onto the bus.
inline bool IsCommandText(std::string_view text) {
    for (const char c : text)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

} // namespace tavo
