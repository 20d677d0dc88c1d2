#include "analog_output.h"

#include "reply.h"
#include "reply_layouts.h"

namespace tavo {

bool TavoRAnalogOutput::WriteOutput(const std::string& value) {
    return !value.empty() && Command('#', value);
}

bool TavoRAnalogOutput::SetStartupToCurrent() {
    return Command('$', "4");
}

bool TavoRAnalogOutput::Trim(const std::string& nn) {
    return IsHexField(nn, 2) && Command('$', "3" + nn);
}

bool TavoRAnalogOutput::Calibrate4mA() {
    return Command('$', "0");
}
bool TavoRAnalogOutput::Calibrate20mA() {
    return Command('$', "1");
}
bool TavoRAnalogOutput::ReadLastOutput(std::string& out) {
    return Tail('$', "6", 3, out);
}
bool TavoRAnalogOutput::ReadReadback(std::string& out) {
    return Tail('$', "8", 3, out);
}

bool TavoRAnalogOutput::WriteChannel(int n, const std::string& value) {
    return IsChannelDigit(n) && !value.empty() && Command('#', "C" + DecimalText(n) + value);
}

bool TavoRAnalogOutput::SetStartupValue(int n, const std::string& value) {
    return IsChannelDigit(n) && !value.empty() && Command('#', "SC" + DecimalText(n) + value);
}

bool TavoRAnalogOutput::SetEmergencyValue(int n, const std::string& value) {
    return IsChannelDigit(n) && !value.empty() && Command('#', "EC" + DecimalText(n) + value);
}

bool TavoRAnalogOutput::Calibrate4mAChannel(int n) {
    return IsChannelDigit(n) && Command('$', "0C" + DecimalText(n));
}

bool TavoRAnalogOutput::Calibrate20mAChannel(int n) {
    return IsChannelDigit(n) && Command('$', "1C" + DecimalText(n));
}

bool TavoRAnalogOutput::SetChannelRange(int n, int code) {
    return IsChannelDigit(n) && code >= 0 && code <= 0xFF &&
           Command('$', "7C" + DecimalText(n) + "R" + HexText(static_cast<unsigned>(code), 2));
}

bool TavoRAnalogOutput::SetEmergencyInput(int n, bool enabled) {
    return IsChannelDigit(n) && Command('$', "AC" + DecimalText(n) + (enabled ? "1" : "0"));
}

bool TavoRAnalogOutput::SetCommSafety(int tenths) {
    return tenths >= 0 && tenths <= 0xFFFF &&
           Command('$', "X0" + HexText(static_cast<unsigned>(tenths), 4));
}

bool TavoRAnalogOutput::ReadCommSafety(std::string& out) {
    std::string field;
    if (!Field('$', "X1", 0, {1, 4}, field, LayoutOf('$', "X1")) || !IsHexText(field))
        return false;
    out = field;
    return true;
}

bool TavoRAnalogOutput::ReadChannelOutput(int n, std::string& out) {
    return IsChannelDigit(n) && Tail('$', "6C" + DecimalText(n), 3, out);
}

bool TavoRAnalogOutput::ReadChannelRange(int n, std::string& out) {
    return IsChannelDigit(n) && Tail('$', "8C" + DecimalText(n), 5, out);
}

bool TavoRAnalogOutput::ReadEmergencyInput(int n, std::string& out) {
    return IsChannelDigit(n) && Tail('$', "BC" + DecimalText(n), 5, out);
}

bool TavoRAnalogOutput::ReadStartupValue(int n, std::string& out) {
    return IsChannelDigit(n) && Tail('$', "DC" + DecimalText(n), 3, out);
}

bool TavoRAnalogOutput::ReadEmergencyValue(int n, std::string& out) {
    return IsChannelDigit(n) && Tail('$', "EC" + DecimalText(n), 3, out);
}

bool TavoRAnalogOutput::ReadDI(std::string& out) {
    return Tail('$', "I", 3, out);
}

} // namespace tavo
