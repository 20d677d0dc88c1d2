#include "counter.h"

#include "reply.h"

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
    return Data('$', "B", out);
}
bool TavoRCounter::SetGate(const std::string& x) {
    return SetCode("A", x);
}
bool TavoRCounter::ReadGate(std::string& out) {
    return Data('$', "A", out);
}

bool TavoRCounter::SetMaxCount(int n, std::uint32_t value) {
    return SetMaxCount(n, CountText(value));
}

bool TavoRCounter::SetMaxCount(int n, const std::string& text) {
    return IsChannelDigit(n) && SendCount('$', "3" + Decimal(n), text);
}

bool TavoRCounter::ReadMaxCount(int n, std::string& out) {
    return IsChannelDigit(n) && Data('$', "3" + Decimal(n), out);
}

bool TavoRCounter::SetCounting(int n, const std::string& x) {
    return IsChannelDigit(n) && SetCode("5" + Decimal(n), x);
}

bool TavoRCounter::ReadCounting(int n, std::string& out) {
    return IsChannelDigit(n) && Data('$', "5" + Decimal(n), out);
}

bool TavoRCounter::ClearCount(int n) {
    return IsChannelDigit(n) && Command('$', "6" + Decimal(n));
}

bool TavoRCounter::ReadCount(int n, std::string& out) {
    std::string reply;
    if (!IsChannelDigit(n) || !Command('#', Decimal(n), reply)) return false;
    out = ReplyTail(reply, 1);
    return true;
}

bool TavoRCounter::ReadOverflowFlag(int n, std::string& out) {
    return IsChannelDigit(n) && Data('$', "7" + Decimal(n), out);
}

bool TavoRCounter::SetFilter(const std::string& x) {
    return SetCode("4", x);
}
bool TavoRCounter::ReadFilter(std::string& out) {
    return Data('$', "4", out);
}

namespace {
std::string DecimalDigits(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*u", digits, value);
    return text;
}
} // namespace

bool TavoRCounter::SetHighWidth(unsigned us) {
    return us <= 65535 && Command('$', "0H" + DecimalDigits(us, 5));
}
bool TavoRCounter::SetLowWidth(unsigned us) {
    return us <= 65535 && Command('$', "0L" + DecimalDigits(us, 5));
}
bool TavoRCounter::ReadHighWidth(std::string& out) {
    return Data('$', "0H", out);
}
bool TavoRCounter::ReadLowWidth(std::string& out) {
    return Data('$', "0L", out);
}

bool TavoRCounter::SetHighTrigger(unsigned tenthsVolt) {
    return tenthsVolt <= 99 && Command('$', "1H" + DecimalDigits(tenthsVolt, 2));
}
bool TavoRCounter::SetLowTrigger(unsigned tenthsVolt) {
    return tenthsVolt <= 99 && Command('$', "1L" + DecimalDigits(tenthsVolt, 2));
}
bool TavoRCounter::ReadHighTrigger(std::string& out) {
    return Data('$', "1H", out);
}
bool TavoRCounter::ReadLowTrigger(std::string& out) {
    return Data('$', "1L", out);
}

bool TavoRCounter::SetAlarmOutput(unsigned outputs) {
    const std::string dd = HexDigits(outputs, 2);
    return !dd.empty() && Command('@', "DO" + dd);
}

bool TavoRCounter::SetPreset(int n, std::uint32_t value) {
    return SetPreset(n, CountText(value));
}

bool TavoRCounter::SetPreset(int n, const std::string& text) {
    return IsChannelDigit(n) && SendCount('@', "P" + Decimal(n), text);
}

bool TavoRCounter::EnableAlarmChannel(int n) {
    return IsChannelDigit(n) && Command('@', "EA" + Decimal(n));
}

bool TavoRCounter::DisableAlarmChannel(int n) {
    return IsChannelDigit(n) && Command('@', "DA" + Decimal(n));
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
    return Data('@', high ? "RA" : "RP", out);
}

bool TavoRCounter::ReadAlarmState(std::string& status, std::string& outputs) {
    std::vector<std::string> f;
    if (!Fields('@', "DI", 0, {{3, 3}, {4, 5}}, f)) return false;
    status = f[0];
    outputs = f[1];
    return true;
}

bool TavoRCounter::ReadG(int n, std::string& out) {
    return IsChannelDigit(n) && Data('@', "G" + Decimal(n), out);
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
    // Rounded to tenths first, so that 9999.96 becomes the largest value shown
    // rather than a seven-character "10000.0".
    const double tenths = std::min(std::round(value * 10.0), 99999.0);
    const auto t = static_cast<unsigned>(tenths);
    char text[16];
    std::snprintf(text, sizeof text, "%04u.%u", t / 10, t % 10);
    return text;
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
