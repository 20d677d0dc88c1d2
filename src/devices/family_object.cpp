#include "family_object.h"

#include "reply.h"
#include "reply_layouts.h"

#include <cctype>

namespace tavo {

TavoRFamilyObject::TavoRFamilyObject(TavoComPort* port, const std::string& address)
    : port_(port), address_(AddressPrefix(address)) {}

void TavoRFamilyObject::SetAddress(const std::string& address) {
    address_ = AddressPrefix(address);
}

bool TavoRFamilyObject::Command(char lead, const std::string& body, std::string& reply,
                                std::size_t maxLen, ReplyLayout layout) {
    return address_.size() == 2 && IsCommandBody(body) &&
           SendFramed(port_, lead, address_, body, reply, maxLen, layout);
}

bool TavoRFamilyObject::Command(char lead, const std::string& body) {
    std::string reply;
    return Command(lead, body, reply);
}

bool TavoRFamilyObject::CommandExpecting(char lead, const std::string& body, char first,
                                         std::string& reply) {
    std::string received;
    if (!Command(lead, body, received, TavoComPort::kReplyLimit, LayoutOf(lead, body)) ||
        received.empty() || received[0] != first)
        return false;
    reply = std::move(received);
    return true;
}

bool TavoRFamilyObject::CommandExpecting(char lead, const std::string& body, char first) {
    std::string reply;
    return CommandExpecting(lead, body, first, reply);
}

bool TavoRFamilyObject::Tail(char lead, const std::string& body, std::size_t from,
                             std::string& out, ReplyLayout layout) {
    std::string reply;
    return Command(lead, body, reply, TavoComPort::kReplyLimit, layout) &&
           (out = ReplyTail(reply, from), true);
}

bool TavoRFamilyObject::Query(char lead, const std::string& body, std::string& out) {
    return Tail(lead, body, 3, out);
}

bool TavoRFamilyObject::Data(char lead, const std::string& body, std::string& out) {
    std::string reply;
    return Command(lead, body, reply) && (out = ReplyData(reply), true);
}

bool TavoRFamilyObject::Fields(char lead, const std::string& body, char first,
                               std::initializer_list<Span> spans, std::vector<std::string>& out,
                               ReplyLayout layout) {
    std::string reply;
    if (!Command(lead, body, reply, TavoComPort::kReplyLimit, layout) || (first && (reply.empty() || reply[0] != first)))
        return false;
    std::vector<std::string> fields;
    for (const Span& s : spans) {
        std::string field;
        if (!ReplyField(reply, s.from, s.to, field)) return false;
        fields.push_back(std::move(field));
    }
    out = std::move(fields);
    return true;
}

bool TavoRFamilyObject::Field(char lead, const std::string& body, char first, Span span,
                              std::string& out, ReplyLayout layout) {
    std::vector<std::string> fields;
    if (!Fields(lead, body, first, {span}, fields, layout)) return false;
    out = fields[0];
    return true;
}

bool IsCodeText(const std::string& text) {
    if (text.empty() || text.size() > 4) return false;
    for (const char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}

bool IsCommandBody(const std::string& body) {
    // Lead, address, body, checksum, CR and the terminating NUL in 64 characters.
    constexpr std::size_t kMaxBody = 64 - 1 - 2 - 2 - 1 - 1;
    return body.size() <= kMaxBody && IsCommandText(body);
}

} // namespace tavo
