#include "alarm_event_counter.h"

#include "reply.h"

namespace tavo {

bool TavoRAlarmEventCounter::EnableAlarm(char x) {
    return (x == 'M' || x == 'L') && Command('@', std::string("EA") + x);
}

bool TavoRAlarmEventCounter::DisableAlarm() {
    return Command('@', "DA");
}
bool TavoRAlarmEventCounter::ClearAlarmLatch() {
    return Command('@', "CA");
}

bool TavoRAlarmEventCounter::SetDO(int dd) {
    return dd >= 0 && dd <= 0xFF && Command('@', "DO" + HexText(static_cast<unsigned>(dd), 2));
}

bool TavoRAlarmEventCounter::SetHighLimit(const std::string& v) {
    return !v.empty() && Command('@', "HI" + v);
}

bool TavoRAlarmEventCounter::SetLowLimit(const std::string& v) {
    return !v.empty() && Command('@', "LO" + v);
}

bool TavoRAlarmEventCounter::ClearEventCounter() {
    return Command('@', "CE");
}

bool TavoRAlarmEventCounter::ReadAlarmStatus(std::string& mode, std::string& dout,
                                             std::string& din) {
    std::vector<std::string> f;
    if (!Fields('@', "DI", 0, {{3, 3}, {4, 5}, {6, 7}}, f)) return false;
    if (f[0][0] < '0' || f[0][0] > '9' || !IsHexText(f[1]) || !IsHexText(f[2])) return false;
    mode = f[0];
    dout = f[1];
    din = f[2];
    return true;
}

bool TavoRAlarmEventCounter::ReadHighLimit(std::string& out) {
    return Tail('@', "RH", 3, out);
}
bool TavoRAlarmEventCounter::ReadLowLimit(std::string& out) {
    return Tail('@', "RL", 3, out);
}
bool TavoRAlarmEventCounter::ReadEventCounter(std::string& out) {
    return Tail('@', "RE", 3, out);
}

} // namespace tavo
