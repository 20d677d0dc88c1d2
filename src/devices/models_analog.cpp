#include "models_analog.h"

#include "reply.h"

namespace tavo {
namespace {

// Hex fields cut out of a reply at fixed positions; all or nothing.
bool HexFields(const std::string& reply, std::size_t a, std::size_t b, std::string& first,
               std::size_t c, std::size_t d, std::string& second) {
    std::string x, y;
    if (!ReplyField(reply, a, b, x) || !ReplyField(reply, c, d, y) || !IsHexText(x) ||
        !IsHexText(y))
        return false;
    first = x;
    second = y;
    return true;
}

} // namespace

// ---- Single-channel analog inputs ---------------------------------------------------

bool TavoMR210::SetCJCOffset(char sign, const std::string& hhhh) {
    return TavoRAnalogInput::SetCJCOffset(sign, hhhh);
}

bool TavoMR210::ReadCJC(std::string& out) {
    return TavoRAnalogInput::ReadCJC(out);
}
bool TavoMR210::ReadEventCounter(std::string& out) {
    return TavoRAlarmEventCounter::ReadEventCounter(out);
}
bool TavoMR210::ClearEventCounter() {
    return TavoRAlarmEventCounter::ClearEventCounter();
}

bool TavoMR220::SetCJCOffset(char, const std::string&) {
    return false;
}
bool TavoMR220::ReadCJC(std::string&) {
    return false;
}

bool TavoMR250::ReadEventCounter(std::string&) {
    return false;
}
bool TavoMR250::ClearEventCounter() {
    return false;
}

// ---- Multi-channel analog inputs with per-channel ranges ----------------------------

bool TavoMR240::ReadChannelStatus(std::string& out) {
    return TavoRAnalogInput::ReadChannelStatus(out);
}
bool TavoMR240::SendS0() {
    return TavoRAnalogInput::SendS0();
}
bool TavoMR240::SendS1() {
    return TavoRAnalogInput::SendS1();
}

bool TavoMR270P::SendS0() {
    return false;
}
bool TavoMR270P::SendS1() {
    return false;
}

bool TavoMR270P::SetWDT(int tenths) {
    return tenths >= 0 && tenths <= 9999 && Command('$', "X" + DecimalText(tenths, 4));
}

bool TavoMR270P::ReadWDT(std::string& out) {
    return Data('$', "Y", out);
}

bool TavoMR280::ReadChannelStatus(std::string&) {
    return false;
}
bool TavoMR280::SendS0() {
    return false;
}
bool TavoMR280::SendS1() {
    return false;
}

bool TavoMR810::SendS0() {
    return false;
}
bool TavoMR810::SendS1() {
    return false;
}

// ---- Multi-channel analog inputs with one range for all channels --------------------

bool TavoMR260::ReadChannel(int n, std::string& out) {
    return TavoRAnalogInput::ReadChannel(n, out);
}
bool TavoMR260::ReadAll(std::string& out) {
    return TavoRAnalogInput::ReadAll(out);
}

bool TavoMR270M::ReadAll(std::string&) {
    return false;
}

bool TavoMR270M::ReadMemoryConfig(std::string& out) {
    return Data('@', "D", out);
}

bool TavoMR270M::SetMemoryConfig(const std::string& x) {
    return !x.empty() && IsCommandBody("C" + x) && Command('@', "C" + x);
}

bool TavoMR270M::ReadOperation(std::string& out) {
    return Data('@', "T", out);
}
bool TavoMR270M::SetOperation(bool record) {
    return Command('@', record ? "S1" : "S0");
}
bool TavoMR270M::ReadStandardCount(std::string& out) {
    return Data('@', "N", out);
}
bool TavoMR270M::ReadEventCount(std::string& out) {
    return Data('@', "L", out);
}

bool TavoMR270M::ReadRecord(int index, std::string& kind, std::string& value, std::string& stamp) {
    if (index < 0 || index > 0xFFFF) return false;
    std::string reply, k, v, s;
    if (!Command('@', "R" + HexText(static_cast<unsigned>(index), 4), reply) ||
        !ReplyField(reply, 3, 3, k) || !ReplyField(reply, 4, 8, v))
        return false;
    ReplyField(reply, 9, 16, s); // only event records carry the interval
    kind = k;
    value = v;
    stamp = s;
    return true;
}

bool TavoMR270M::ReadRecordData(int index, std::string& data) {
    std::string reply;
    if (index < 0 || index > 0xFFFF ||
        !Command('@', "R" + HexText(static_cast<unsigned>(index), 4), reply))
        return false;
    // A record from another module's answer would go into this one's list.
    if (reply.rfind("!" + Address(), 0) != 0) return false;
    data = ReplyTail(reply, 3);
    return true;
}

bool TavoMR270M::ReadChannelAlarm(int n, std::string& high, std::string& low) {
    std::string reply, h, l;
    if (!IsChannelDigit(n) || !Command('@', "B" + DecimalText(n), reply) ||
        !ReplyField(reply, 3, 8, h) || !ReplyField(reply, 9, 14, l))
        return false;
    high = h;
    low = l;
    return true;
}

bool TavoMR270M::SetChannelAlarm(int n, const std::string& high, const std::string& low) {
    const std::string body = "A" + DecimalText(n) + high + low;
    return IsChannelDigit(n) && high.size() == 6 && low.size() == 6 && IsCommandBody(body) &&
           Command('@', body);
}

// ---- Analog outputs -----------------------------------------------------------------

void TavoMR330::SetProtocolBit(char bit) {
    SetFormatBit(7, bit);
}
bool TavoMR330::GetProtocolBit(std::string& out) {
    return GetFormatBit(7, out);
}

// ---- Loop controller ----------------------------------------------------------------

bool TavoMR320T::ReadStatusB(std::string& out) {
    return Data('$', "B", out);
}

bool TavoMR320T::SetOutputRange(int n, int code) {
    return IsChannelDigit(n) && code >= 0 && code <= 0xFF &&
           Command('$', "9C" + DecimalText(n) + "R" + HexText(static_cast<unsigned>(code), 2));
}

bool TavoMR320T::ReadOutputRange(int n, std::string& out) {
    return IsChannelDigit(n) && Tail('$', "9C" + DecimalText(n), 6, out);
}

bool TavoMR320T::ReadOutputs(std::string& out) {
    return Tail('#', "O", 1, out);
}

bool TavoMR320T::TrimOutput(int n, int x) {
    return IsChannelDigit(n) && x >= 0 && x <= 0xFFF &&
           Command('#', "RC" + DecimalText(n) + HexText(static_cast<unsigned>(x), 3));
}

bool TavoMR320T::SetOutputZero(int n, int x) {
    return IsChannelDigit(n) && x >= 0 && x <= 0xFFF &&
           Command('$', "2C" + DecimalText(n) + HexText(static_cast<unsigned>(x), 3));
}

bool TavoMR320T::ReadOutputZero(int n, std::string& out) {
    return IsChannelDigit(n) && Tail('$', "2C" + DecimalText(n), 5, out);
}

bool TavoMR320T::SetOutputSpan(int n, int x) {
    return IsChannelDigit(n) && x >= 0 && x <= 0xFFF &&
           Command('$', "3C" + DecimalText(n) + HexText(static_cast<unsigned>(x), 3));
}

bool TavoMR320T::ReadOutputSpan(int n, std::string& out) {
    return IsChannelDigit(n) && Tail('$', "3C" + DecimalText(n), 5, out);
}

bool TavoMR320T::WriteOutput(int n, const std::string& value) {
    const std::string body = "C" + DecimalText(n) + value;
    return IsChannelDigit(n) && !value.empty() && IsCommandBody(body) && Command('#', body);
}

bool TavoMR320T::WriteDO(int n, bool on) {
    return IsChannelDigit(n) && Command('#', "1" + DecimalText(n) + (on ? "01" : "00"));
}

bool TavoMR320T::ReadDIO(std::string& out1, std::string& out2) {
    std::string reply;
    return Command('$', "7", reply) && HexFields(reply, 3, 4, out1, 5, 6, out2);
}

bool TavoMR320T::ReadParameters(int first, int count, std::string& out) {
    if (first < 0 || count < 1 || count > kMaxParameterCount || first + count > 256) return false;
    return Tail('#',
                "PR" + HexText(static_cast<unsigned>(first), 2) +
                    HexText(static_cast<unsigned>(count), 2),
                1, out, kParameterReplyLimit);
}

bool TavoMR320T::WriteParameter(int index, std::int32_t value) {
    return index >= 0 && index <= 0xFF &&
           Command('#', "PW" + HexText(static_cast<unsigned>(index), 2) +
                            HexText(static_cast<std::uint32_t>(value), 8));
}

bool TavoMR320T::ReadBACnet(std::string& station, std::string& device) {
    std::string reply;
    return Command('$', "S", reply) && HexFields(reply, 3, 4, station, 5, 10, device);
}

bool TavoMR320T::SetBACnet(int station, int device) {
    return station >= 0 && station <= 31 && device >= 0 && device <= 4194303 &&
           Command('$', "S" + HexText(static_cast<unsigned>(station), 2) +
                            HexText(static_cast<unsigned>(device), 6));
}

bool ParseParameterEntries(const std::string& text, int count, std::vector<std::int32_t>& values) {
    if (count < 0 || text.size() != static_cast<std::size_t>(count) * 8 || !IsHexText(text))
        return false;
    std::vector<std::int32_t> parsed;
    parsed.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const auto word = std::stoul(text.substr(static_cast<std::size_t>(i) * 8, 8), nullptr, 16);
        parsed.push_back(static_cast<std::int32_t>(static_cast<std::uint32_t>(word)));
    }
    values = std::move(parsed);
    return true;
}

} // namespace tavo
