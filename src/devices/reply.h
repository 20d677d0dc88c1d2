// Cutting data out of a reply line (the line includes its final CR).
#pragma once

#include <string>
#include <string_view>

namespace tavo {

// Characters `from` up to n - 2 of a reply of length n (n counts the CR): the data
// after "!AA" is ReplyTail(reply, 3), after ">" ReplyTail(reply, 1). A reply too
// short to hold the prefix gives empty data, never a read past its end.
inline std::string ReplyTail(std::string_view reply, std::size_t from) {
    if (reply.size() < from + 1) return {};
    return std::string(reply.substr(from, reply.size() - 1 - from));
}

// The data field of a successful reply: after ">" for a data reply, else after "!AA".
inline std::string ReplyData(std::string_view reply) {
    return ReplyTail(reply, !reply.empty() && reply[0] == '>' ? 1 : 3);
}

// Characters `from` to `to` inclusive; false when the reply (without its CR) does
// not reach `to`.
inline bool ReplyField(std::string_view reply, std::size_t from, std::size_t to, std::string& out) {
    if (to < from || reply.size() < to + 2) return false;
    out.assign(reply.substr(from, to - from + 1));
    return true;
}

inline bool IsHexText(std::string_view text) {
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

} // namespace tavo
