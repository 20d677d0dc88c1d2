#include "z_series.h"

#include "hex_codes.h"
#include "reply.h"

namespace tavo {

// ---------------------------------------------------------------------------
// ZelZBase

ZelZBase::ZelZBase(TavoComPort* port, const std::string& address, const std::string& slot)
    : TavoKLink(port, address, slot) {}

bool ZelZBase::GetChannelType(std::string& out) const {
    if (type_.empty()) return false;
    out = type_;
    return true;
}

bool ZelZBase::GetChannelFormat(std::string& out) const {
    if (format_.empty()) return false;
    out = format_;
    return true;
}

bool ZelZBase::SetType(int c, const char* kind) {
    if (!IsHexCode(type_)) return false;
    return ChannelResult('$', c, std::string(kind) + type_ + "FF");
}

bool ZelZBase::SetAIType(int c) {
    return SetType(c, "AI");
}
bool ZelZBase::SetAOType(int c) {
    return SetType(c, "AO");
}

bool ZelZBase::ReadType(int c, const char* kind) {
    return ChannelCodes(c, kind, type_, format_);
}

bool ZelZBase::ReadAIType(int c) {
    return ReadType(c, "AI");
}
bool ZelZBase::ReadAOType(int c) {
    return ReadType(c, "AO");
}

bool ZelZBase::WriteDO(int channel, bool on) {
    return WriteOutputBit(channel, on);
}

bool ZelZBase::ReadDIO(std::string& out1, std::string& out2) {
    std::string data;
    if (!SlotData('$', "6", data) || data.size() < 4) return false;
    out1 = data.substr(0, 2);
    out2 = data.substr(2, 2);
    return true;
}

// ---------------------------------------------------------------------------
// ZelMZ320

ZelMZ320::ZelMZ320(TavoComPort* port, const std::string& address, const std::string& slot)
    : TavoKLink(port, address, slot), ZelZBase(port, address, slot),
      TavoKAnalogInput(port, address, slot), TavoKAnalogOutput(port, address, slot),
      TavoKDigitalInput(port, address, slot), TavoKDigitalOutput(port, address, slot) {}

bool ZelMZ320::ZeroCalibrateOutput(int c) {
    return SetStartupToCurrent(c);
}
bool ZelMZ320::SpanCalibrateOutput(int c) {
    return Calibrate20mAChannel(c);
}

// ---------------------------------------------------------------------------
// ZelMZ350

ZelMZ350::ZelMZ350(TavoComPort* port, const std::string& address)
    : TavoRackController(port, address) {}

bool ZelMZ350::GetSlotDesignation(int i, std::string& out) {
    std::string code;
    if (!GetSlotCode(i, code) || code == "FF") return false;
    out = "Z" + code + "0";
    return true;
}

// These go out as whole lines through Transact.
bool ZelMZ350::Line(const std::string& body, std::string& data) {
    if (!IsHexCode(Address()) || !IsCommandText(body)) return false;
    std::string reply;
    if (!Transact("$" + Address() + body + "\r", TavoComPort::kReplyLimit, reply) ||
        reply.front() != '!')
        return false;
    data = ReplyTail(reply, 3);
    return true;
}

bool ZelMZ350::ReadProtocol(std::string& out) {
    return Line("KW", out);
}

bool ZelMZ350::SetProtocol(const std::string& x) {
    std::string ignored;
    return !x.empty() && Line("KW" + x, ignored);
}

bool ZelMZ350::ReadDeviceInstance(std::string& out) {
    return Line("BAC", out);
}

bool ZelMZ350::SetDeviceInstance(std::int64_t instance) {
    if (instance < 0 || instance > kMaxDeviceInstance) return false;
    std::string ignored;
    return Line("BAC" + HexText(static_cast<unsigned>(instance), 6), ignored);
}

} // namespace tavo
