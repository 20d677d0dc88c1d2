#include "io_family.h"

#include "r_base.h"
#include "reply.h"

#include <cctype>

namespace tavo {

TavoRIoFamily::TavoRIoFamily(TavoComPort* port, const std::string& address)
    : port_(port), address_(AddressPrefix(address)) {}

void TavoRIoFamily::SetAddress(const std::string& address) {
    address_ = AddressPrefix(address);
}

bool TavoRIoFamily::Command(char lead, const std::string& body, std::string& reply) {
    for (const char c : body)
        if (c < 0x20 || c > 0x7E) return false;
    return SendFramed(port_, lead, address_, body, reply, TavoComPort::kReplyLimit);
}

bool TavoRIoFamily::Command(char lead, const std::string& body) {
    std::string reply;
    return Command(lead, body, reply);
}

bool TavoRIoFamily::CommandExpecting(char lead, const std::string& body, char first,
                                     std::string& reply) {
    std::string received;
    if (!Command(lead, body, received) || received.empty() || received[0] != first) return false;
    reply = std::move(received);
    return true;
}

bool TavoRIoFamily::CommandExpecting(char lead, const std::string& body, char first) {
    std::string reply;
    return CommandExpecting(lead, body, first, reply);
}

bool TavoRIoFamily::Data(char lead, const std::string& body, std::string& data) {
    std::string reply;
    if (!Command(lead, body, reply)) return false;
    data = ReplyTail(reply, 3);
    return true;
}

bool TavoRIoFamily::Fields(char lead, const std::string& body, char first,
                           std::initializer_list<Span> spans, std::vector<std::string>& out) {
    std::string reply;
    if (!Command(lead, body, reply) || (first && (reply.empty() || reply[0] != first)))
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

bool TavoRIoFamily::Field(char lead, const std::string& body, char first, Span span,
                          std::string& out) {
    std::vector<std::string> fields;
    if (!Fields(lead, body, first, {span}, fields)) return false;
    out = fields[0];
    return true;
}

bool TavoRIoFamily::IsChannelDigit(int channel) {
    return channel >= 0 && channel <= 9;
}

std::string TavoRIoFamily::Decimal(int value) {
    return std::to_string(value);
}

std::string TavoRIoFamily::HexDigits(std::uint64_t value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i) {
        text[static_cast<std::size_t>(i)] = kDigits[value & 15];
        value >>= 4;
    }
    return value == 0 ? text : std::string();
}

bool TavoRIoFamily::IsCodeText(const std::string& text) {
    if (text.empty() || text.size() > 4) return false;
    for (const char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}

} // namespace tavo
