#include "digital_io.h"

#include "reply.h"
#include "reply_layouts.h"

namespace tavo {

// ---- inputs ----

bool TavoRDigitalInput::ReadDIO(std::string& out) {
    return Tail('$', "6", 1, out, LayoutOf('$', "6")); // "!{data}": no address
}

bool TavoRDigitalInput::SetV(unsigned mask) {
    const std::string text = HexDigits(mask, 4);
    return !text.empty() && Command('$', "V" + text);
}

bool TavoRDigitalInput::ReadV(std::string& out) {
    return Query('$', "V", out);
}

bool TavoRDigitalInput::ReadInputMode(int c, std::string& out) {
    return IsChannelDigit(c) && Field('$', "CIC" + DecimalText(c), '!', {3, 4}, out);
}

bool TavoRDigitalInput::SetInputMode(int c, unsigned mode) {
    const std::string mm = HexDigits(mode, 2);
    return IsChannelDigit(c) && !mm.empty() &&
           CommandExpecting('$', "CIC" + DecimalText(c) + mm, '!');
}

bool TavoRDigitalInput::ReadInputWidths(int c, std::string& low, std::string& high) {
    std::vector<std::string> f;
    if (!IsChannelDigit(c) || !Fields('$', "0C" + DecimalText(c), '!', {{3, 10}, {11, 18}}, f))
        return false;
    low = f[0];
    high = f[1];
    return true;
}

bool TavoRDigitalInput::SetInputWidths(int c, std::uint32_t low, std::uint32_t high) {
    return IsChannelDigit(c) &&
           CommandExpecting('$', "0C" + DecimalText(c) + HexDigits(low, 8) + HexDigits(high, 8),
                            '!');
}

bool TavoRDigitalInput::ReadCounter(int c, std::string& out) {
    std::string reply;
    if (!IsChannelDigit(c) || !CommandExpecting('#', DecimalText(c), '>', reply)) return false;
    out = ReplyTail(reply, 1);
    return true;
}

bool TavoRDigitalInput::ReadCounting(int c, std::string& out) {
    return IsChannelDigit(c) && Field('$', "5" + DecimalText(c), '!', {3, 3}, out);
}

bool TavoRDigitalInput::StartCounting(int c) {
    return IsChannelDigit(c) && Command('$', "5" + DecimalText(c) + "1");
}

bool TavoRDigitalInput::StopCounting(int c) {
    return IsChannelDigit(c) && Command('$', "5" + DecimalText(c) + "0");
}

bool TavoRDigitalInput::ClearCounter(int c) {
    return IsChannelDigit(c) && Command('$', "6" + DecimalText(c));
}

bool TavoRDigitalInput::ClearLatch(int c) {
    return IsChannelDigit(c) && Command('@', "CAC" + DecimalText(c));
}

// ---- outputs ----

bool TavoRDigitalOutput::WriteDO(const std::string& bb, const std::string& dd) {
    if (bb.empty() || dd.empty() || !IsHexText(bb) || !IsHexText(dd)) return false;
    return Command('#', bb + dd);
}

bool TavoRDigitalOutput::SetSafety(unsigned timeoutTenths, unsigned value, int valueDigits) {
    if (valueDigits < 1 || valueDigits > 4) return false;
    const std::string tttt = HexDigits(timeoutTenths, 4);
    const std::string vv = HexDigits(value, valueDigits);
    return !tttt.empty() && !vv.empty() && Command('$', "X0" + tttt + vv);
}

bool TavoRDigitalOutput::ReadSafety(std::string& timeout, std::string& value) {
    std::vector<std::string> f;
    if (!Fields('$', "X1", 0, {{1, 4}, {5, 8}}, f, LayoutOf('$', "X1"))) return false;
    timeout = f[0];
    value = f[1];
    return true;
}

bool TavoRDigitalOutput::ClearError() {
    return Command('$', "E1");
}

bool TavoRDigitalOutput::ReadError(std::string& out) {
    return Field('$', "E0", 0, {3, 3}, out);
}

bool TavoRDigitalOutput::ReadOutputMode(int c, std::string& out) {
    return IsChannelDigit(c) && Field('$', "COC" + DecimalText(c), '!', {3, 4}, out);
}

bool TavoRDigitalOutput::SetOutputMode(int c, unsigned mode) {
    const std::string mm = HexDigits(mode, 2);
    return IsChannelDigit(c) && !mm.empty() &&
           CommandExpecting('$', "COC" + DecimalText(c) + mm, '!');
}

bool TavoRDigitalOutput::ReadPulseWidths(int c, std::string& w1, std::string& w2, std::string& w3,
                                         std::string& w4) {
    std::vector<std::string> f;
    if (!IsChannelDigit(c) ||
        !Fields('$', "9" + DecimalText(c), '!', {{3, 10}, {11, 18}, {19, 26}, {27, 34}}, f))
        return false;
    w1 = f[0];
    w2 = f[1];
    w3 = f[2];
    w4 = f[3];
    return true;
}

bool TavoRDigitalOutput::SetPulseWidths(int c, std::uint32_t w1, std::uint32_t w2, std::uint32_t w3,
                                        std::uint32_t w4) {
    return IsChannelDigit(c) &&
           CommandExpecting('$',
                            "9" + DecimalText(c) + HexDigits(w1, 8) + HexDigits(w2, 8) +
                                HexDigits(w3, 8) + HexDigits(w4, 8),
                            '!');
}

bool TavoRDigitalOutput::SetPulseCount(unsigned cc, std::uint32_t count) {
    const std::string channel = HexDigits(cc, 2);
    return !channel.empty() && CommandExpecting('#', "ERFF" + channel + HexDigits(count, 8), '>');
}

bool TavoRDigitalOutput::ReadPulseCount(unsigned cc, std::string& state, std::string& count) {
    std::vector<std::string> f;
    const std::string channel = HexDigits(cc, 2);
    if (channel.empty() || !Fields('$', "ERFF" + channel, '>', {{3, 3}, {4, 11}}, f)) return false;
    state = f[0];
    count = f[1];
    return true;
}

bool TavoRDigitalOutput::StartDownload() {
    return Command('$', "D");
}

} // namespace tavo
