#include "k_series.h"

#include "hex_codes.h"
#include "reply.h"
#include "reply_layouts.h"

namespace tavo {

namespace {

bool ValidChannel(int c) {
    return c >= 0 && c <= TavoKLink::kMaxChannel;
}
bool ValidAlarm(char x) {
    return x == 'H' || x == 'L';
}

std::string ChannelPart(int c) {
    return "C" + std::to_string(c);
}

} // namespace

// ---------------------------------------------------------------------------
// TavoKLink

TavoKLink::TavoKLink(TavoComPort* port, const std::string& address, const std::string& slot)
    : port_(port), address_(AddressPrefix(address)), slot_(slot) {}

TavoKLink::~TavoKLink() = default;

void TavoKLink::SetAddress(const std::string& address) {
    address_ = AddressPrefix(address);
}
void TavoKLink::SetSlot(const std::string& slot) {
    slot_ = slot;
}

int TavoKLink::SlotNumber() const {
    if (slot_.size() != 2 || slot_[0] != 'S' || slot_[1] < '0' || slot_[1] > '7') return -1;
    return slot_[1] - '0';
}

bool TavoKLink::Send(std::string line, std::string& reply) {
    if (!port_ || !IsHexCode(address_) || !IsCommandText(line)) return false;
    line.push_back(TavoComPort::kTerminator);
    std::string received;
    if (!port_->SendCommand(line, TavoComPort::kReplyLimit, &received)) return false;
    reply = std::move(received);
    return true;
}

bool TavoKLink::ControllerCommand(char lead, std::string_view body, std::string& reply) {
    std::string line(1, lead);
    line += address_;
    line += body;
    return Send(std::move(line), reply);
}

bool TavoKLink::SlotCommand(char lead, std::string_view rest, std::string& reply) {
    if (SlotNumber() < 0) return false;
    std::string body = slot_;
    body += rest;
    return ControllerCommand(lead, body, reply);
}

bool TavoKLink::SlotResult(char lead, std::string_view rest) {
    std::string reply;
    return SlotCommand(lead, rest, reply);
}

bool TavoKLink::SlotData(char lead, std::string_view rest, std::string& data) {
    std::string reply;
    if (!SlotCommand(lead, rest, reply) || reply.front() != '!') return false;
    data = ReplyTail(reply, 3);
    return true;
}

bool TavoKLink::SlotValue(char lead, std::string_view rest, std::string& data) {
    std::string reply;
    if (!SlotCommand(lead, rest, reply) || reply.front() != '>') return false;
    data = ReplyTail(reply, 1);
    return true;
}

bool TavoKLink::ChannelCommand(char lead, int c, std::string_view rest, std::string& reply) {
    if (!ValidChannel(c)) return false;
    return SlotCommand(lead, ChannelPart(c).append(rest), reply);
}

bool TavoKLink::ChannelResult(char lead, int c, std::string_view rest) {
    std::string reply;
    return ChannelCommand(lead, c, rest, reply);
}

bool TavoKLink::ChannelData(char lead, int c, std::string_view rest, std::string& data) {
    if (!ValidChannel(c)) return false;
    return SlotData(lead, ChannelPart(c).append(rest), data);
}

bool TavoKLink::ChannelValue(char lead, int c, std::string_view rest, std::string& data) {
    if (!ValidChannel(c)) return false;
    return SlotValue(lead, ChannelPart(c).append(rest), data);
}

bool TavoKLink::SlotCodes(std::string_view rest, std::string& tt, std::string& ff) {
    std::string reply, type, format;
    if (!SlotCommand('$', rest, reply) || reply.front() != '!') return false;
    if (!ReplyField(reply, 3, 4, type) || !ReplyField(reply, 5, 6, format) || !IsHexCode(type) ||
        !IsHexCode(format))
        return false;
    tt = type;
    ff = format;
    return true;
}

bool TavoKLink::ChannelCodes(int c, std::string_view rest, std::string& tt, std::string& ff) {
    if (!ValidChannel(c)) return false;
    return SlotCodes(ChannelPart(c).append(rest), tt, ff);
}

bool TavoKLink::WriteOutputBit(int channel, bool on) {
    if (!ValidChannel(channel)) return false;
    return SlotResult('#', "1" + HexText(static_cast<unsigned>(channel), 1) + (on ? "01" : "00"));
}

// ---------------------------------------------------------------------------
// TavoKBase

TavoKBase::TavoKBase(TavoComPort* port, const std::string& address, const std::string& slot)
    : TavoKLink(port, address, slot), modbus_(std::make_unique<TavoModbusCOM>(port)) {}

TavoKBase::~TavoKBase() = default;

bool TavoKBase::WriteSlotConfig() {
    if (!IsHexCode(type_) || !IsHexCode(format_)) return false;
    return SlotResult('$', "A" + type_ + format_);
}

bool TavoKBase::WriteChannelConfig(int c) {
    if (!IsHexCode(type_) || !IsHexCode(format_)) return false;
    return ChannelResult('$', c, "A" + type_ + format_);
}

bool TavoKBase::ReadSlotConfig() {
    return SlotCodes("B", type_, format_);
}
bool TavoKBase::ReadChannelConfig(int c) {
    return ChannelCodes(c, "B", type_, format_);
}

void TavoKBase::SetBits(int high, const std::string& bits) {
    for (std::size_t i = 0; i < bits.size() && high - static_cast<int>(i) >= 0; ++i)
        format_ = WithBit(format_, high - static_cast<int>(i), bits[i] == '1');
}

void TavoKBase::SetFormatBits10(const std::string& bits) {
    SetBits(1, bits.substr(0, 2));
}
void TavoKBase::SetFormatBits52(const std::string& bits) {
    SetBits(5, bits.substr(0, 4));
}
void TavoKBase::SetFormatBit7(char bit) {
    SetBits(7, std::string(1, bit));
}

bool TavoKBase::GetSlotType(std::string& out) {
    if (type_.empty() && !ReadSlotConfig()) return false;
    out = type_;
    return true;
}

bool TavoKBase::GetSlotFormat(std::string& out) {
    if (format_.empty() && !ReadSlotConfig()) return false;
    out = format_;
    return true;
}

bool TavoKBase::GetFormatBit(int n, std::string& out) {
    if (n < 0 || n > 7) return false;
    std::string ff;
    if (!GetSlotFormat(ff)) return false;
    const auto value = HexValue(ff);
    if (!value) return false;
    out = (*value >> n) & 1 ? "1" : "0";
    return true;
}

bool TavoKBase::GetBits(int high, int count, std::string& out) {
    std::string bits, bit;
    for (int n = high; n > high - count; --n) {
        if (!GetFormatBit(n, bit)) return false;
        bits += bit;
    }
    out = bits;
    return true;
}

bool TavoKBase::GetFormatBits10(std::string& out) {
    return GetBits(1, 2, out);
}
bool TavoKBase::GetFormatBits52(std::string& out) {
    return GetBits(5, 4, out);
}
bool TavoKBase::GetFormatBit7(std::string& out) {
    return GetFormatBit(7, out);
}

// ---------------------------------------------------------------------------
// TavoKAnalogInput

TavoKAnalogInput::TavoKAnalogInput(TavoComPort* port, const std::string& address,
                                   const std::string& slot)
    : TavoKLink(port, address, slot) {}

bool TavoKAnalogInput::ReadAll(std::string& out) {
    return SlotValue('#', "", out);
}
bool TavoKAnalogInput::ReadChannel(int c, std::string& out) {
    return ChannelValue('#', c, "", out);
}

bool TavoKAnalogInput::SetChannelEnable(int mask) {
    if (mask < 0 || mask > 0xFF) return false;
    return SlotResult('$', "5" + HexText(static_cast<unsigned>(mask), 2));
}

bool TavoKAnalogInput::ReadChannelEnable(std::string& out) {
    return SlotData('$', "6", out);
}
bool TavoKAnalogInput::SpanCalibrate() {
    return SlotResult('$', "0");
}
bool TavoKAnalogInput::ZeroCalibrate() {
    return SlotResult('$', "1");
}
bool TavoKAnalogInput::SpanCalibrateChannel(int c) {
    return ChannelResult('$', c, "0");
}
bool TavoKAnalogInput::ZeroCalibrateChannel(int c) {
    return ChannelResult('$', c, "7");
}

bool TavoKAnalogInput::SetCJCOffset(char sign, const std::string& hhhh) {
    if ((sign != '+' && sign != '-') || hhhh.size() != 4 || !HexValue(hhhh)) return false;
    return SlotResult('$', std::string("9") + sign + hhhh);
}

bool TavoKAnalogInput::ReadCJC(std::string& out) {
    return SlotValue('$', "3", out);
}
bool TavoKAnalogInput::SendER() {
    return SlotResult('$', "ER");
}

bool TavoKAnalogInput::ReadAV(std::string& first, std::string& second) {
    const int slot = SlotNumber();
    if (slot < 0) return false;
    // The selector's "S" gives way to "0" in this one command only.
    std::string reply, a, b;
    if (!ControllerCommand('$', "AV0" + std::to_string(slot) + "FF", reply) || reply.front() != '!')
        return false;
    if (!ReplyField(reply, 4, 11, a) || !ReplyField(reply, 13, 20, b)) return false;
    first = a;
    second = b;
    return true;
}

bool TavoKAnalogInput::SetAT(const std::string& x) {
    if (x.empty()) return false;
    return SlotResult('#', "AT" + x);
}

bool TavoKAnalogInput::ReadAT(std::string& out) {
    return SlotData('$', "AT", out);
}

// ---------------------------------------------------------------------------
// TavoKAnalogOutput

TavoKAnalogOutput::TavoKAnalogOutput(TavoComPort* port, const std::string& address,
                                     const std::string& slot)
    : TavoKLink(port, address, slot) {}

bool TavoKAnalogOutput::WriteChannel(int c, const std::string& value) {
    if (value.empty()) return false;
    return ChannelResult('#', c, value);
}

bool TavoKAnalogOutput::SetStartupToCurrent(int c) {
    return ChannelResult('$', c, "4");
}
bool TavoKAnalogOutput::Calibrate4mAChannel(int c) {
    return ChannelResult('$', c, "0");
}
bool TavoKAnalogOutput::Calibrate20mAChannel(int c) {
    return ChannelResult('$', c, "1");
}

bool TavoKAnalogOutput::Trim(int c, const std::string& nn) {
    if (!IsHexCode(nn)) return false;
    return ChannelResult('$', c, "3" + nn);
}

bool TavoKAnalogOutput::ReadLastOutput(int c, std::string& out) {
    return ChannelData('$', c, "6", out);
}

// ---------------------------------------------------------------------------
// TavoKAnalogAlarm

TavoKAnalogAlarm::TavoKAnalogAlarm(TavoComPort* port, const std::string& address,
                                   const std::string& slot)
    : TavoKLink(port, address, slot) {}

bool TavoKAnalogAlarm::SetAlarmMode(int c, char x, char mode) {
    if (!ValidAlarm(x) || (mode != 'M' && mode != 'L')) return false;
    return ChannelResult('$', c, std::string("A") + x + mode);
}

bool TavoKAnalogAlarm::EnableAlarm(int c, char x) {
    if (!ValidAlarm(x)) return false;
    return ChannelResult('$', c, std::string("A") + x + "EE");
}

bool TavoKAnalogAlarm::DisableAlarm(int c, char x) {
    if (!ValidAlarm(x)) return false;
    return ChannelResult('$', c, std::string("A") + x + "ED");
}

bool TavoKAnalogAlarm::ClearAlarmLatch(int c, char x) {
    if (!ValidAlarm(x)) return false;
    return ChannelResult('$', c, std::string("C") + x);
}

bool TavoKAnalogAlarm::ConnectAlarm(int c, char x, int slot, int output) {
    if (!ValidAlarm(x) || slot < 0 || slot > 7 || output < 0 || output > 15) return false;
    return ChannelResult('$', c,
                         std::string("A") + x + "CS" + std::to_string(slot) + "C" +
                             HexText(static_cast<unsigned>(output), 1));
}

bool TavoKAnalogAlarm::DisconnectAlarm(int c, char x) {
    if (!ValidAlarm(x)) return false;
    return ChannelResult('$', c, std::string("A") + x + "CS*C*");
}

bool TavoKAnalogAlarm::SetAlarmLimit(int c, char x, const std::string& value) {
    if (!ValidAlarm(x) || value.empty()) return false;
    return ChannelResult('$', c, std::string("A") + x + "U" + value);
}

bool TavoKAnalogAlarm::ReadAlarmLimit(int c, char x, std::string& out) {
    if (!ValidAlarm(x)) return false;
    return ChannelData('$', c, std::string("R") + x + "U", out);
}

bool TavoKAnalogAlarm::ReadAlarmMode(int c, char x, std::string& out) {
    if (!ValidAlarm(x)) return false;
    return ChannelData('$', c, std::string("A") + x, out);
}

bool TavoKAnalogAlarm::ReadAlarmConnection(int c, char x, std::string& slot, std::string& output) {
    if (!ValidAlarm(x)) return false;
    std::string reply, s, o;
    if (!ChannelCommand('$', c, std::string("R") + x + "C", reply) || reply.front() != '!')
        return false;
    if (!ReplyField(reply, 4, 4, s) || !ReplyField(reply, 6, 6, o)) return false;
    slot = s;
    output = o;
    return true;
}

bool TavoKAnalogAlarm::ReadAlarmStatus(int c, std::string& high, std::string& low) {
    std::string reply, h, l;
    if (!ChannelCommand('$', c, "S", reply) || reply.front() != '!') return false;
    if (!ReplyField(reply, 3, 3, h) || !ReplyField(reply, 4, 4, l)) return false;
    high = h;
    low = l;
    return true;
}

// ---------------------------------------------------------------------------
// TavoKCounter

TavoKCounter::TavoKCounter(TavoComPort* port, const std::string& address, const std::string& slot)
    : TavoKLink(port, address, slot) {}

bool TavoKCounter::SetFilterScale(int scale) {
    if (scale < 0 || scale > 99999) return false;
    return SlotResult('$', "0" + DecimalText(scale, 5));
}

bool TavoKCounter::ReadFilterScale(std::string& out) {
    return SlotData('$', "0", out);
}
bool TavoKCounter::SetCounting(int c, bool start) {
    return ChannelResult('$', c, start ? "51" : "50");
}
bool TavoKCounter::ReadCounting(int c, std::string& out) {
    return ChannelData('$', c, "5", out);
}
bool TavoKCounter::ClearCounter(int c) {
    return ChannelResult('$', c, "6");
}

bool TavoKCounter::SetPreset(int c, const std::string& value) {
    if (value.empty()) return false;
    return ChannelResult('@', c, "P" + value);
}

bool TavoKCounter::ReadPreset(int c, std::string& out) {
    return ChannelData('@', c, "G", out);
}
bool TavoKCounter::ReadAll(std::string& out) {
    return SlotValue('#', "", out);
}
bool TavoKCounter::ReadCount(int c, std::string& out) {
    return ChannelValue('#', c, "", out);
}
bool TavoKCounter::ReadOverflowFlags(std::string& out) {
    return SlotData('$', "7", out);
}

// ---------------------------------------------------------------------------
// Digital families

TavoKDigitalInput::TavoKDigitalInput(TavoComPort* port, const std::string& address,
                                     const std::string& slot)
    : TavoKLink(port, address, slot) {}

bool TavoKDigitalInput::ReadDIO(std::string& out) {
    return SlotData('$', "6", out);
}

TavoKDigitalOutput::TavoKDigitalOutput(TavoComPort* port, const std::string& address,
                                       const std::string& slot)
    : TavoKLink(port, address, slot) {}

bool TavoKDigitalOutput::WriteDO(const std::string& bb, const std::string& dd) {
    if (bb.empty() || dd.empty()) return false;
    return SlotResult('#', bb + dd);
}

bool TavoKDigitalOutput::WriteDOChannel(int channel, bool on) {
    return WriteOutputBit(channel, on);
}
bool TavoKDigitalOutput::ReadDIPSwitch(std::string& out) {
    return SlotData('$', "7", out);
}
bool TavoKDigitalOutput::ReadAlarmMask(std::string& out) {
    return SlotData('$', "M", out);
}

bool TavoKDigitalOutput::ReadWatchdogOutputs(std::string& out) {
    if (SlotNumber() < 0) return false;
    std::string reply;
    if (!ControllerCommand('$', "X" + Slot(), reply) || reply.front() != '!') return false;
    out = ReplyTail(reply, 3);
    return true;
}

bool TavoKDigitalOutput::SetWatchdogOutputs(int mask) {
    if (SlotNumber() < 0 || mask < 0 || mask > 0xFFFF) return false;
    std::string reply;
    return ControllerCommand('$', "X" + Slot() + "D" + HexText(static_cast<unsigned>(mask), 4),
                             reply);
}

// ---------------------------------------------------------------------------
// Slot model classes

TavoMK220H::TavoMK220H(TavoComPort* port, const std::string& address, const std::string& slot)
    : TavoKLink(port, address, slot), TavoKBase(port, address, slot),
      TavoKAnalogInput(port, address, slot), TavoKAnalogAlarm(port, address, slot) {}

TavoMK230::TavoMK230(TavoComPort* port, const std::string& address, const std::string& slot)
    : TavoKLink(port, address, slot), TavoKBase(port, address, slot),
      TavoKAnalogInput(port, address, slot), TavoKAnalogAlarm(port, address, slot) {}

TavoMK230P::TavoMK230P(TavoComPort* port, const std::string& address, const std::string& slot)
    : TavoKLink(port, address, slot), TavoMK230(port, address, slot) {}

TavoMK310::TavoMK310(TavoComPort* port, const std::string& address, const std::string& slot)
    : TavoKLink(port, address, slot), TavoKBase(port, address, slot),
      TavoKAnalogOutput(port, address, slot) {}

TavoMK510::TavoMK510(TavoComPort* port, const std::string& address, const std::string& slot)
    : TavoKLink(port, address, slot), TavoKBase(port, address, slot),
      TavoKDigitalInput(port, address, slot), TavoKDigitalOutput(port, address, slot) {}

TavoMK710::TavoMK710(TavoComPort* port, const std::string& address, const std::string& slot)
    : TavoKLink(port, address, slot), TavoKBase(port, address, slot),
      TavoKCounter(port, address, slot), TavoKAnalogAlarm(port, address, slot) {}

// ---------------------------------------------------------------------------
// TavoRackController

TavoRackController::TavoRackController(TavoComPort* port, const std::string& address)
    : TavoRBase(port, address) {}

bool TavoRackController::ReadSystemConfigAddress(std::string& address) {
    if (!IsHexCode(Address())) return false;
    std::string reply, aa, cc, ff;
    if (!Command('$', "2", reply) || reply.front() != '!') return false;
    if (!ReplyField(reply, 1, 2, aa) || !ReplyField(reply, 3, 4, cc) ||
        !ReplyField(reply, 5, 6, ff) || !IsHexCode(aa) || !IsHexCode(cc) || !IsHexCode(ff))
        return false;
    SetBaudCode(cc);
    SetFormatCode(ff);
    address = aa;
    return true;
}

bool TavoRackController::ReadSystemConfig() {
    std::string ignored;
    return ReadSystemConfigAddress(ignored);
}

bool TavoRackController::WriteSystemConfig() {
    if (!IsHexCode(Address()) || !IsHexCode(BaudCode()) || !IsHexCode(FormatCode())) return false;
    return Command('%', "00" + BaudCode() + FormatCode());
}

bool TavoRackController::ReadSlotTable(std::string& out) {
    if (!IsHexCode(Address())) return false;
    std::string data;
    if (!Query('$', "T", data)) return false;
    // Two characters per slot, at most eight slots; slot codes are letters and digits.
    if (data.size() > 2 * kMaxSlots) return false;
    for (const char c : data)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'))) return false;
    slotTable_ = data;
    out = data;
    return true;
}

bool TavoRackController::GetSlotCode(int i, std::string& out) {
    if (i < 0 || i >= kMaxSlots) return false;
    if (slotTable_.empty()) {
        std::string ignored;
        if (!ReadSlotTable(ignored)) return false;
    }
    const auto at = static_cast<std::size_t>(2 * i);
    if (slotTable_.size() < at + 2) return false;
    out = slotTable_.substr(at, 2);
    return true;
}

bool TavoRackController::GetBaudCode(std::string& out) {
    if (BaudCode().empty()) ReadSystemConfig();
    out = BaudCode();
    return true;
}

bool TavoRackController::GetFormatBit(int n, std::string& out) {
    if (FormatCode().empty() && !ReadSystemConfig()) return false;
    return TavoRBase::GetFormatBit(n, out);
}

// ---------------------------------------------------------------------------
// TavoMK100

TavoMK100::TavoMK100(TavoComPort* port, const std::string& address)
    : TavoRackController(port, address) {}

bool TavoMK100::UpdateSystemConfig(const std::string& cc, char checksum, char protocol) {
    const auto isBit = [](char c) { return c == 0 || c == '0' || c == '1'; };
    if ((!cc.empty() && !IsHexCode(cc)) || !isBit(checksum) || !isBit(protocol)) return false;
    if (!ReadSystemConfig()) return false;
    if (!cc.empty()) SetBaudCode(cc);
    if (checksum) SetFormatBit6(checksum);
    if (protocol) SetProtocolBit(protocol);
    return WriteSystemConfig();
}

bool TavoMK100::DesignationForCode(const std::string& code, std::string& out) {
    if (code.size() != 2 || code == "FF") return false;
    for (const char c : code)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'))) return false;
    if (code == "2H")
        out = "K220H";
    else if (code == "2U")
        out = "K220UH";
    else if (code == "AI")
        out = "K0AI";
    else
        out = "K" + code + "0";
    return true;
}

bool TavoMK100::GetSlotDesignation(int i, std::string& out) {
    std::string code;
    return GetSlotCode(i, code) && DesignationForCode(code, out);
}

bool TavoMK100::ReadSlotNodeDesignation(int i, std::string& out, bool* generic) {
    std::string designation;
    if (!GetSlotDesignation(i, designation)) return false;
    const bool isGeneric = designation.rfind("K0AI", 0) == 0;
    if (generic) *generic = isGeneric;
    if (!isGeneric) {
        out = designation;
        return true;
    }
    std::string name;
    if (!ReadSlotName(i, name)) return false;
    out = SlotNameDesignation(name);
    return true;
}

bool TavoMK100::SlotInfo(int i, const char* which, std::string& out) {
    if (i < 0 || i >= kMaxSlots || !IsHexCode(Address())) return false;
    std::string reply;
    // "!{text}": the slot's name or information right after the '!'.
    const std::string body = "S" + std::to_string(i) + which;
    if (!Command('$', body, reply, TavoComPort::kReplyLimit, LayoutOf('$', body))) return false;
    out = ReplyTail(reply, 1);
    return true;
}

bool TavoMK100::ReadSlotName(int i, std::string& out) {
    return SlotInfo(i, "N", out);
}
bool TavoMK100::ReadSlotInfo0(int i, std::string& out) {
    return SlotInfo(i, "N0", out);
}
bool TavoMK100::ReadSlotInfo1(int i, std::string& out) {
    return SlotInfo(i, "N1", out);
}
bool TavoMK100::ReadSlotInfo2(int i, std::string& out) {
    return SlotInfo(i, "N2", out);
}

std::string TavoMK100::SlotNameDesignation(const std::string& name) {
    constexpr std::string_view kPrefix = "Tavo-";
    return name.rfind(kPrefix, 0) == 0 ? name.substr(kPrefix.size()) : name;
}

bool TavoMK100::ReadWatchdogTime(std::string& out) {
    return IsHexCode(Address()) && Query('$', "XR", out);
}

bool TavoMK100::ReadWatchdogMask(std::string& out) {
    return IsHexCode(Address()) && Query('$', "XER", out);
}

bool TavoMK100::SetWatchdogTime(int seconds) {
    if (seconds < 0 || seconds > 9999 || !IsHexCode(Address())) return false;
    return Command('$', "X" + DecimalText(seconds, 4));
}

bool TavoMK100::SetWatchdogMask(int mask) {
    if (mask < 0 || mask > 0xFF || !IsHexCode(Address())) return false;
    return Command('$', "XEW" + HexText(static_cast<unsigned>(mask), 2));
}

bool TavoMK100::ReadMapEntry(int k, int& start, int& lengthCode) {
    if (k < 0 || k >= kMaxSlots || !IsHexCode(Address())) return false;
    std::string reply;
    if (!Command('$', "PN" + HexText(static_cast<unsigned>(k), 2) + "FF", reply) ||
        reply.front() != '!')
        return false;
    // !AA{ssss}{l} and the CR: nothing more, nothing less.
    if (reply.size() != 9) return false;
    const auto s = HexValue(std::string_view(reply).substr(3, 4));
    const auto l = HexValue(std::string_view(reply).substr(7, 1));
    if (!s || !l) return false;
    start = static_cast<int>(*s);
    lengthCode = static_cast<int>(*l);
    return true;
}

bool TavoMK100::ReadMapMode(std::string& out) {
    return IsHexCode(Address()) && Query('$', "PD", out);
}

bool TavoMK100::WriteMapEntry(int k, int start, int lengthCode) {
    if (k < 0 || k >= kMaxSlots || start < 0 || start > 0xFFFF || lengthCode < 0 ||
        lengthCode > 0xF || !IsHexCode(Address()))
        return false;
    return Command('#', "PN" + HexText(static_cast<unsigned>(k), 2) + "FF" +
                            HexText(static_cast<unsigned>(start), 4) +
                            HexText(static_cast<unsigned>(lengthCode), 1));
}

bool TavoMK100::ActivateMap() {
    return IsHexCode(Address()) && Command('#', "PD");
}

} // namespace tavo
