#include "r_base.h"

#include "reply.h"

#include <cstdio>
#include <cstdlib>

namespace tavo {

std::string AddressPrefix(const std::string& address) { return address.substr(0, 2); }

TavoRBase::TavoRBase(TavoComPort* port)
    : port_(port), modbus_(std::make_unique<TavoModbusCOM>(port)) {}

TavoRBase::TavoRBase(TavoComPort* port, const std::string& address) : TavoRBase(port) {
    address_ = AddressPrefix(address);
}

TavoRBase::~TavoRBase() = default;

bool SendFramed(TavoComPort* port, char lead, const std::string& address,
                const std::string& body, std::string& reply, std::size_t maxLen,
                ReplyLayout layout) {
    if (!port) return false;
    std::string line;
    line.reserve(body.size() + 6);
    line.push_back(lead);
    line += address;
    line += body;
    line.push_back(TavoComPort::kTerminator);
    std::string received;
    if (!port->SendCommand(line, maxLen, &received, layout)) return false;
    reply = std::move(received);
    return true;
}

bool TavoRBase::Command(char lead, const std::string& body, std::string& reply,
                        std::size_t maxLen, ReplyLayout layout) {
    return SendFramed(port_, lead, address_, body, reply, maxLen, layout);
}

bool TavoRBase::Command(char lead, const std::string& body) {
    std::string reply;
    return Command(lead, body, reply);
}

bool TavoRBase::Query(char lead, const std::string& body, std::string& data) {
    return Tail(lead, body, 3, data);
}

bool TavoRBase::Tail(char lead, const std::string& body, std::size_t from, std::string& out,
                     std::size_t maxLen) {
    std::string reply;
    return Command(lead, body, reply, maxLen) && (out = ReplyTail(reply, from), true);
}

bool TavoRBase::Data(char lead, const std::string& body, std::string& out) {
    std::string reply;
    return Command(lead, body, reply) && (out = ReplyData(reply), true);
}

void TavoRBase::SetAddress(const std::string& address) {
    if (!address_.empty()) previousAddress_ = address_;
    address_ = AddressPrefix(address);
}

void TavoRBase::SetTypeCode(const std::string& tt) { typeCode_ = tt; }
void TavoRBase::SetBaudCode(const std::string& cc) { baudCode_ = cc; }
void TavoRBase::SetFormatCode(const std::string& ff) { formatCode_ = ff; }

int TavoRBase::FormatValue() const {
    return formatCode_.empty() ? 0 : static_cast<int>(std::strtol(formatCode_.c_str(), nullptr, 16));
}

void TavoRBase::SetFormatValue(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    formatCode_ = text;
}

void TavoRBase::SetFormatBit(int n, char bit) {
    if (n < 0 || n > 7) return;
    int value = FormatValue();
    if (bit == '1')
        value |= 1 << n;
    else
        value &= ~(1 << n);
    SetFormatValue(value);
}

void TavoRBase::SetFormatBits10(const std::string& bits) {
    SetFormatBit(1, bits.size() > 0 ? bits[0] : '0');
    SetFormatBit(0, bits.size() > 1 ? bits[1] : '0');
}

void TavoRBase::SetFormatBit2(char bit) { SetFormatBit(2, bit); }

void TavoRBase::SetFormatBits52(const std::string& bits) {
    for (int i = 0; i < 4; ++i)
        SetFormatBit(5 - i, static_cast<std::size_t>(i) < bits.size() ? bits[static_cast<std::size_t>(i)] : '0');
}

void TavoRBase::SetFormatBit6(char bit) { SetFormatBit(6, bit); }
void TavoRBase::SetFormatBit7(char bit) { SetFormatBit(7, bit); }
void TavoRBase::SetProtocolBit(char bit) { SetFormatBit(2, bit); }

bool TavoRBase::SendOS() { return Command('#', "OS"); }

bool TavoRBase::SetComSetting(const std::string& value) { return Command('#', "OU0" + value); }

bool TavoRBase::GetTypeCode(std::string& out) {
    if (typeCode_.empty()) ReadConfig();
    out = typeCode_;
    return true;
}

bool TavoRBase::GetBaudCode(std::string& out) {
    if (baudCode_.empty()) ReadConfig();
    out = baudCode_;
    return true;
}

bool TavoRBase::GetFormatBit(int n, std::string& out) {
    if (formatCode_.empty()) ReadConfig();
    if (formatCode_.empty() || n < 0 || n > 7) return false;
    out = (FormatValue() >> n) & 1 ? "1" : "0";
    return true;
}

bool TavoRBase::GetFormatBits10(std::string& out) {
    std::string b1, b0;
    if (!GetFormatBit(1, b1) || !GetFormatBit(0, b0)) return false;
    out = b1 + b0;
    return true;
}

bool TavoRBase::GetFormatBit2(std::string& out) { return GetFormatBit(2, out); }

bool TavoRBase::GetFormatBits52(std::string& out) {
    std::string bits, bit;
    for (int n = 5; n >= 2; --n) {
        if (!GetFormatBit(n, bit)) return false;
        bits += bit;
    }
    out = bits;
    return true;
}

bool TavoRBase::GetFormatBit6(std::string& out) { return GetFormatBit(6, out); }
bool TavoRBase::GetFormatBit7(std::string& out) { return GetFormatBit(7, out); }
bool TavoRBase::GetProtocolBit(std::string& out) { return GetFormatBit(2, out); }

bool TavoRBase::ReadComSetting(std::string& out) {
    std::string reply;
    if (!Command('$', "OU", reply)) return false;
    out = ReplyTail(reply, 4);
    return true;
}

bool TavoRBase::ReadConfigAddress(std::string& address) {
    std::string reply;
    if (!Command('$', "2", reply)) return false;
    std::string addr, tt, cc, ff;
    if (!ReplyField(reply, 1, 2, addr) || !ReplyField(reply, 3, 4, tt) ||
        !ReplyField(reply, 5, 6, cc) || !ReplyField(reply, 7, 8, ff) ||
        !IsHexText(addr + tt + cc + ff))
        return false;
    typeCode_ = tt;
    baudCode_ = cc;
    formatCode_ = ff;
    address = addr;
    return true;
}

bool TavoRBase::ReadConfig() {
    std::string ignored;
    return ReadConfigAddress(ignored);
}

bool TavoRBase::ReadConfigText(std::string& out) {
    if (!ReadConfig()) return false;
    out = address_ + typeCode_ + baudCode_ + formatCode_;
    return true;
}

bool TavoRBase::WriteConfig() {
    if (address_.empty() || previousAddress_.empty()) return false;
    const std::string current = address_;
    address_ = previousAddress_; // the module still listens at the old address
    const bool ok = Command('%', current + typeCode_ + baudCode_ + formatCode_);
    address_ = current;
    if (ok) previousAddress_.clear();
    return ok;
}

bool TavoRBase::WriteConfigText(const std::string& nnttccff) {
    if (nnttccff.size() < 8) return false;
    if (!Command('%', nnttccff.substr(0, 8))) return false;
    // Through the (virtual) setter, so that a model's family objects follow; the
    // pending address change, if any, is not this write's business.
    const std::string previous = previousAddress_;
    SetAddress(nnttccff.substr(0, 2));
    previousAddress_ = previous;
    typeCode_ = nnttccff.substr(2, 2);
    baudCode_ = nnttccff.substr(4, 2);
    formatCode_ = nnttccff.substr(6, 2);
    return true;
}

bool TavoRBase::ReadFirmwareVersion(std::string& out) { return Query('$', "F", out); }

bool TavoRBase::ReadModuleName(std::string& out) { return Query('$', "M", out); }

bool TavoRBase::WriteFQ(const std::string& value) { return Command('#', "FQ" + value); }

bool TavoRBase::Transact(const std::string& command, std::size_t maxLen, std::string& reply) {
    if (!port_) return false;
    std::string line = command;
    return port_->SendCommand(line, maxLen, &reply);
}

} // namespace tavo
