#include "counter.h"

#include "reply.h"
#include "reply_layouts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tavo {

std::string TavoRCounter::CountText(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%8X", static_cast<unsigned>(value));
    return text;
}

bool TavoRCounter::IsCountText(const std::string& text) {
    if (text.size() != 8) return false;
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    return i < text.size() && IsHexText(std::string_view(text).substr(i));
}

bool TavoRCounter::SetCode(const std::string& body, const std::string& x) {
    return IsCodeText(x) && Command('$', body + x);
}

bool TavoRCounter::SendCount(char lead, const std::string& body, const std::string& text) {
    return IsCountText(text) && Command(lead, body + text);
}

bool TavoRCounter::SetInputSignal(const std::string& x) {
    return SetCode("B", x);
}
bool TavoRCounter::ReadInputSignal(std::string& out) {
    return Query('$', "B", out);
}
bool TavoRCounter::SetGate(const std::string& x) {
    return SetCode("A", x);
}
bool TavoRCounter::ReadGate(std::string& out) {
    return Query('$', "A", out);
}

bool TavoRCounter::SetMaxCount(int n, std::uint32_t value) {
    return SetMaxCount(n, CountText(value));
}

bool TavoRCounter::SetMaxCount(int n, const std::string& text) {
    return IsChannelDigit(n) && SendCount('$', "3" + DecimalText(n), text);
}

bool TavoRCounter::ReadMaxCount(int n, std::string& out) {
    return IsChannelDigit(n) && Query('$', "3" + DecimalText(n), out);
}

bool TavoRCounter::SetCounting(int n, const std::string& x) {
    return IsChannelDigit(n) && SetCode("5" + DecimalText(n), x);
}

bool TavoRCounter::ReadCounting(int n, std::string& out) {
    return IsChannelDigit(n) && Query('$', "5" + DecimalText(n), out);
}

bool TavoRCounter::ClearCount(int n) {
    return IsChannelDigit(n) && Command('$', "6" + DecimalText(n));
}

bool TavoRCounter::ReadCount(int n, std::string& out) {
    // A count is a '>' reading; a '!' line is another command's answer.
    std::string reply;
    const std::string body = DecimalText(n);
    if (!IsChannelDigit(n) ||
        !Command('#', body, reply, TavoComPort::kReplyLimit, LayoutOf('#', body)) ||
        reply.empty() || reply.front() != '>')
        return false;
    out = ReplyTail(reply, 1);
    return true;
}

bool TavoRCounter::ReadOverflowFlag(int n, std::string& out) {
    return IsChannelDigit(n) && Query('$', "7" + DecimalText(n), out);
}

bool TavoRCounter::SetFilter(const std::string& x) {
    return SetCode("4", x);
}
bool TavoRCounter::ReadFilter(std::string& out) {
    return Query('$', "4", out);
}

bool TavoRCounter::SetHighWidth(unsigned us) {
    return us <= 65535 && Command('$', "0H" + DecimalText(static_cast<int>(us), 5));
}
bool TavoRCounter::SetLowWidth(unsigned us) {
    return us <= 65535 && Command('$', "0L" + DecimalText(static_cast<int>(us), 5));
}
bool TavoRCounter::ReadHighWidth(std::string& out) {
    return Query('$', "0H", out);
}
bool TavoRCounter::ReadLowWidth(std::string& out) {
    return Query('$', "0L", out);
}

bool TavoRCounter::SetHighTrigger(unsigned tenthsVolt) {
    return tenthsVolt <= 99 && Command('$', "1H" + DecimalText(static_cast<int>(tenthsVolt), 2));
}
bool TavoRCounter::SetLowTrigger(unsigned tenthsVolt) {
    return tenthsVolt <= 99 && Command('$', "1L" + DecimalText(static_cast<int>(tenthsVolt), 2));
}
bool TavoRCounter::ReadHighTrigger(std::string& out) {
    return Query('$', "1H", out);
}
bool TavoRCounter::ReadLowTrigger(std::string& out) {
    return Query('$', "1L", out);
}

bool TavoRCounter::SetAlarmOutput(unsigned outputs) {
    const std::string dd = HexDigits(outputs, 2);
    return !dd.empty() && Command('@', "DO" + dd);
}

bool TavoRCounter::SetPreset(int n, std::uint32_t value) {
    return SetPreset(n, CountText(value));
}

bool TavoRCounter::SetPreset(int n, const std::string& text) {
    return IsChannelDigit(n) && SendCount('@', "P" + DecimalText(n), text);
}

bool TavoRCounter::EnableAlarmChannel(int n) {
    return IsChannelDigit(n) && Command('@', "EA" + DecimalText(n));
}

bool TavoRCounter::DisableAlarmChannel(int n) {
    return IsChannelDigit(n) && Command('@', "DA" + DecimalText(n));
}

bool TavoRCounter::EnableAlarm(const std::string& mode) {
    return IsCodeText(mode) && Command('@', "EA" + mode);
}

bool TavoRCounter::DisableAlarm() {
    return Command('@', "DA");
}
bool TavoRCounter::ClearAlarm() {
    return Command('@', "CA");
}

bool TavoRCounter::SetAlarmLimit(bool high, std::uint32_t value) {
    return SetAlarmLimit(high, CountText(value));
}

bool TavoRCounter::SetAlarmLimit(bool high, const std::string& text) {
    return SendCount('@', high ? "SA" : "PA", text);
}

bool TavoRCounter::ReadAlarmLimit(bool high, std::string& out) {
    return Query('@', high ? "RA" : "RP", out);
}

bool TavoRCounter::ReadAlarmState(std::string& status, std::string& outputs) {
    std::vector<std::string> f;
    if (!Fields('@', "DI", 0, {{3, 3}, {4, 5}}, f)) return false;
    status = f[0];
    outputs = f[1];
    return true;
}

bool TavoRCounter::ReadG(int n, std::string& out) {
    return IsChannelDigit(n) && Query('@', "G" + DecimalText(n), out);
}

// ---- LED display ----

bool TavoRMappingLED::SetLEDSource(const std::string& x) {
    return IsCodeText(x) && Command('$', "8" + x);
}

bool TavoRMappingLED::ReadLEDSource(std::string& out) {
    return Field('$', "8", 0, {3, 3}, out);
}

std::string TavoRMappingLED::LEDText(double value) {
    if (!(value >= 0.0)) return {}; // negative or not a number
    // Capped before formatting, so that 9999.96 shows as the largest value rather
    // than as a seven-character "10000.0". "%6.1f" rounds as printf does (the
    // binary value, ties to even): 0.35 gives "   0.3", 1.25 "   1.2".
    char text[16];
    std::snprintf(text, sizeof text, "%6.1f", std::min(value, 9999.9));
    std::string out(text);
    for (char& c : out)
        if (c != '.' && (c < '0' || c > '9')) c = '0';
    return out;
}

bool TavoRMappingLED::WriteLEDData(double value) {
    const std::string text = LEDText(value);
    return !text.empty() && WriteLEDData(text);
}

bool TavoRMappingLED::WriteLEDData(const std::string& text) {
    if (text.size() != 6) return false;
    int dots = 0;
    for (const char c : text) {
        if (c == '.')
            ++dots;
        else if (c < '0' || c > '9')
            return false;
    }
    return dots <= 1 && Command('$', "9" + text);
}

} // namespace tavo
