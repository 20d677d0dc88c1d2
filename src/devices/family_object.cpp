#include "family_object.h"

#include "r_base.h"
#include "reply.h"

#include <cstdio>

namespace tavo {

TavoRFamilyObject::TavoRFamilyObject(TavoComPort* port, const std::string& address)
    : port_(port), address_(AddressPrefix(address)) {}

void TavoRFamilyObject::SetAddress(const std::string& address) {
    address_ = AddressPrefix(address);
}

bool TavoRFamilyObject::Command(char lead, const std::string& body, std::string& reply,
                                std::size_t maxLen) {
    return address_.size() == 2 && IsCommandText(body) &&
           SendFramed(port_, lead, address_, body, reply, maxLen);
}

bool TavoRFamilyObject::Command(char lead, const std::string& body) {
    std::string reply;
    return Command(lead, body, reply);
}

bool TavoRFamilyObject::Tail(char lead, const std::string& body, std::size_t from,
                             std::string& out) {
    std::string reply;
    return Command(lead, body, reply) && (out = ReplyTail(reply, from), true);
}

bool TavoRFamilyObject::Data(char lead, const std::string& body, std::string& out) {
    std::string reply;
    return Command(lead, body, reply) && (out = ReplyData(reply), true);
}

std::string DecimalText(int value) {
    return std::to_string(value);
}

std::string HexText(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

bool IsCommandText(const std::string& body) {
    // Lead, address, body, checksum, CR and the terminating NUL in 64 characters.
    constexpr std::size_t kMaxBody = 64 - 1 - 2 - 2 - 1 - 1;
    if (body.size() > kMaxBody) return false;
    for (const char c : body)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

bool IsHexField(const std::string& text, std::size_t digits) {
    return text.size() == digits && IsHexText(text);
}

} // namespace tavo
