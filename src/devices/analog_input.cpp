#include "analog_input.h"

#include "reply.h"
#include "reply_layouts.h"

#include <cmath>

namespace tavo {
namespace {

bool IsSign(char c) {
    return c == '+' || c == '-';
}

// Sign and "%04X" of |value| / step, truncated in single precision.
bool EncodeSteps(double value, double limit, double step, char& sign, std::string& hhhh) {
    if (!std::isfinite(value)) return false;
    const float v = static_cast<float>(value);
    if (v > static_cast<float>(limit) || v < -static_cast<float>(limit)) return false;
    const float counts = static_cast<float>(std::fabs(static_cast<double>(v)) / step);
    const auto whole = static_cast<unsigned>(std::trunc(counts));
    if (whole > 0xFFFF) return false;
    sign = v >= 0.0f ? '+' : '-';
    hhhh = HexText(whole, 4);
    return true;
}

} // namespace

bool TavoRAnalogInput::SpanCalibrate() {
    return Command('$', "0");
}
bool TavoRAnalogInput::ZeroCalibrate() {
    return Command('$', "1");
}

bool TavoRAnalogInput::SpanCalibrateChannel(int n) {
    return IsChannelDigit(n) && Command('$', "0C" + DecimalText(n));
}

bool TavoRAnalogInput::ZeroCalibrateChannel(int n) {
    return IsChannelDigit(n) && Command('$', "1C" + DecimalText(n));
}

bool TavoRAnalogInput::NegativeCalibrateChannel(int n) {
    return IsChannelDigit(n) && Command('$', "NC" + DecimalText(n));
}

bool TavoRAnalogInput::ReadAll(std::string& out) {
    return Tail('#', "", 1, out, LayoutOf('#', ""));
}

bool TavoRAnalogInput::ReadChannel(int n, std::string& out) {
    return IsChannelDigit(n) && Tail('#', DecimalText(n), 1, out, LayoutOf('#', DecimalText(n)));
}

bool TavoRAnalogInput::SetChannelEnable(int mask) {
    return mask >= 0 && mask <= 0xFF && Command('$', "5" + HexText(static_cast<unsigned>(mask), 2));
}

bool TavoRAnalogInput::ReadChannelEnable(std::string& out) {
    return Tail('$', "6", 3, out);
}

bool TavoRAnalogInput::SetChannelRange(int n, int code) {
    return IsChannelDigit(n) && code >= 0 && code <= 0xFF &&
           Command('$', "7C" + DecimalText(n) + "R" + HexText(static_cast<unsigned>(code), 2));
}

bool TavoRAnalogInput::ReadChannelRange(int n, std::string& out) {
    return IsChannelDigit(n) && Tail('$', "8C" + DecimalText(n), 6, out);
}

bool TavoRAnalogInput::ReadChannelStatus(std::string& out) {
    return Tail('$', "B", 3, out);
}

bool TavoRAnalogInput::ReadCJC(std::string& out) {
    return Tail('$', "3", 1, out);
}

bool TavoRAnalogInput::SetCJCOffset(char sign, const std::string& hhhh) {
    return IsSign(sign) && IsHexField(hhhh, 4) && Command('$', "9" + std::string(1, sign) + hhhh);
}

bool TavoRAnalogInput::SetWireCompensation(int ch, char sign, const std::string& hhhh) {
    return IsChannelDigit(ch) && IsSign(sign) && IsHexField(hhhh, 4) &&
           Command('$', "R" + DecimalText(ch) + std::string(1, sign) + hhhh);
}

bool TavoRAnalogInput::ReadWireCompensation(int ch, std::string& out) {
    return IsChannelDigit(ch) && Data('$', "R" + DecimalText(ch), out);
}

bool TavoRAnalogInput::SendS0() {
    return Command('$', "S0");
}
bool TavoRAnalogInput::SendS1() {
    return Command('$', "S1");
}

bool TavoRAnalogInput::Locate() {
    return Command('#', "MM");
}
bool TavoRAnalogInput::ReadMP(std::string& out) {
    return Data('$', "MP", out);
}
bool TavoRAnalogInput::ReadMC(std::string& out) {
    return Data('$', "MC", out);
}

bool TavoRAnalogInput::SetFilterRate(int ppp) {
    return ppp >= 0 && ppp <= 0xFFF && Command('#', "MK" + HexText(static_cast<unsigned>(ppp), 3));
}

bool TavoRAnalogInput::ReadFilterRate(int& out) {
    std::string data;
    if (!Data('$', "MD", data)) return false;
    std::size_t digits = 0;
    while (digits < data.size() && digits < 3 && IsHexText(data.substr(digits, 1)))
        ++digits;
    if (digits == 0) return false;
    const int value = static_cast<int>(std::stoul(data.substr(0, digits), nullptr, 16));
    out = value;
    return true;
}

bool TavoRAnalogInput::SetBurnOut(int x) {
    return x >= 0 && x <= 0xFF && Command('$', "D" + HexText(static_cast<unsigned>(x), 2));
}

bool TavoRAnalogInput::ReadBurnOut(std::string& out) {
    return Data('$', "D2", out);
}

bool TavoRAnalogInput::SetAT(int x) {
    return x >= 0 && x <= 0xFF && Command('#', "AT" + HexText(static_cast<unsigned>(x), 2));
}

bool TavoRAnalogInput::ReadAT(std::string& out) {
    return Data('$', "AT", out);
}
bool TavoRAnalogInput::ReadOD(std::string& out) {
    return Data('$', "OD", out);
}

bool TavoRAnalogInput::SetThermoMode(int x) {
    return x >= 0 && x <= 0xFF && Command('#', "OD" + HexText(static_cast<unsigned>(x), 2));
}

bool TavoRExcitationVoltage::SetExcitation(const std::string& value) {
    return !value.empty() && Command('$', "7" + value);
}

bool TavoRExcitationVoltage::SetStartupExcitation() {
    return Command('$', "S");
}

bool TavoRExcitationVoltage::TrimExcitation(const std::string& nn) {
    return IsHexField(nn, 2) && Command('$', "E" + nn);
}

bool TavoRExcitationVoltage::Calibrate0V() {
    return Command('$', "A");
}
bool TavoRExcitationVoltage::Calibrate10V() {
    return Command('$', "B");
}
bool TavoRExcitationVoltage::ReadExcitation(std::string& out) {
    return Data('$', "6", out);
}

bool EncodeCJCOffset(double celsius, char& sign, std::string& hhhh) {
    return EncodeSteps(celsius, 99.9, 0.009, sign, hhhh);
}

bool EncodeWireCompensation(double ohms, char& sign, std::string& hhhh) {
    return EncodeSteps(ohms, 6553.5, 0.1, sign, hhhh);
}

bool DecodeWireCompensation(const std::string& data, double& ohms) {
    std::string digits = data;
    bool negative = false;
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
        negative = digits[0] == '-';
        digits.erase(0, 1);
    }
    if (digits.empty() || digits.size() > 4 || !IsHexText(digits)) return false;
    const double value = static_cast<double>(std::stoul(digits, nullptr, 16)) * 0.1;
    ohms = negative ? -value : value;
    return true;
}

} // namespace tavo
