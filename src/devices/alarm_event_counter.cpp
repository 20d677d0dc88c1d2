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
    std::string reply, m, o, i;
    if (!Command('@', "DI", reply) || !ReplyField(reply, 3, 3, m) || !ReplyField(reply, 4, 5, o) ||
        !ReplyField(reply, 6, 7, i))
        return false;
    if (m[0] < '0' || m[0] > '9' || !IsHexText(o) || !IsHexText(i)) return false;
    mode = m;
    dout = o;
    din = i;
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
