#include "reply_layouts.h"

namespace tavo {
namespace {

constexpr ReplyLayoutRow kRows[] = {
    // Digital state read: "!{outputs}{inputs}00". The analog inputs answer the same
    // command with "!AA{enable mask}", so a raw line of this shape is not judged by
    // its address; their own class reads the mask as an addressed reply.
    {'$', "6", ReplyLayout::Unaddressed},
    // Communication safety value of the digital and analog outputs: "!{tttt}{value}".
    {'$', "X1", ReplyLayout::Unaddressed},
    // The rack's slot name and slot information: "!{text}".
    {'$', "SnN", ReplyLayout::Unaddressed},
    {'$', "SnN0", ReplyLayout::Unaddressed},
    {'$', "SnN1", ReplyLayout::Unaddressed},
    {'$', "SnN2", ReplyLayout::Unaddressed},
    // Data reads: a '>' reading; a '!' line is some other command's reply.
    {'#', "", ReplyLayout::Value},
    {'#', "n", ReplyLayout::Value},
};

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool Matches(std::string_view pattern, std::string_view body) {
    if (pattern.size() != body.size()) return false;
    for (std::size_t i = 0; i < body.size(); ++i) {
        const bool digit = body[i] >= '0' && body[i] <= '9';
        if (pattern[i] == 'n' ? !digit : Upper(pattern[i]) != Upper(body[i])) return false;
    }
    return true;
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (Upper(c) >= 'A' && Upper(c) <= 'F');
}

} // namespace

ReplyLayout LayoutOf(char lead, std::string_view body) {
    for (const ReplyLayoutRow& row : kRows)
        if (row.lead == lead && Matches(row.body, body)) return row.layout;
    return ReplyLayout::Addressed;
}

ReplyLayout CommandLineLayout(std::string_view line) {
    if (!line.empty() && line.back() == TavoComPort::kTerminator) line.remove_suffix(1);
    if (line.size() < 3 || !IsHexDigit(line[1]) || !IsHexDigit(line[2]))
        return ReplyLayout::Addressed;
    return LayoutOf(line[0], line.substr(3));
}

} // namespace tavo
