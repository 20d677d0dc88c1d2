#include "models_digital.h"

#include "reply.h"

namespace tavo {

namespace {
std::string OutputChannel(int channel) {
    return "1" + HexDigits(static_cast<unsigned>(channel), 1);
}
} // namespace

bool TavoMR510::ReadDIO(std::string& first, std::string& second) {
    std::string data;
    if (!TavoRDigitalInput::ReadDIO(data) || data.size() < 4 || !IsHexText(data.substr(0, 4)))
        return false;
    first = data.substr(0, 2);
    second = data.substr(2, 2);
    return true;
}

bool TavoMR510::WriteDO(int channel, int value) {
    if (channel < 0 || channel > 15 || (value != 0 && value != 1)) return false;
    return TavoRDigitalOutput::WriteDO(OutputChannel(channel), value ? "01" : "00");
}

bool TavoMR560::WriteDO(int channel, int value) {
    if (channel < 0 || channel > 15 || (value != 0 && value != 1)) return false;
    return TavoRDigitalOutput::WriteDO(OutputChannel(channel), value ? "0001" : "0000");
}

bool TavoMR560::SetSafety(unsigned timeoutTenths, unsigned value) {
    return TavoRDigitalOutput::SetSafety(timeoutTenths, value, 4);
}

// ---- counters ----

bool TavoMR710::SetPreset(int n, std::uint32_t value) {
    return TavoRCounter::SetPreset(n, value);
}
bool TavoMR710::EnableAlarmChannel(int n) {
    return TavoRCounter::EnableAlarmChannel(n);
}
bool TavoMR710::DisableAlarmChannel(int n) {
    return TavoRCounter::DisableAlarmChannel(n);
}
bool TavoMR710::SetAlarmLimit(bool high, std::uint32_t value) {
    return TavoRCounter::SetAlarmLimit(high, value);
}
bool TavoMR710::ReadG(int n, std::string& out) {
    return TavoRCounter::ReadG(n, out);
}
bool TavoMR710::ReadAlarmLimit(bool high, std::string& out) {
    return TavoRCounter::ReadAlarmLimit(high, out);
}

bool TavoMR710D::SetPreset(int, std::uint32_t) {
    return false;
}
bool TavoMR710D::EnableAlarmChannel(int) {
    return false;
}
bool TavoMR710D::DisableAlarmChannel(int) {
    return false;
}
bool TavoMR710D::ReadG(int, std::string&) {
    return false;
}

} // namespace tavo
