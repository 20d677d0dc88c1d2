#include "r910.h"

#include "hex_codes.h"
#include "reply.h"
#include "transport/pause.h"

#include <cstring>

namespace tavo {

namespace {

// Positions in the held text (the configuration string without its address).
constexpr std::size_t kType = 0, kBaud232 = 2, kBaud485 = 3, kFlags = 4, kAddCR = 5, kFormat = 6;
constexpr std::size_t kHeldLength = 8;

bool ValidHeld(const std::string& held) {
    if (held.size() != kHeldLength || !HexValue(held)) return false;
    const auto baud = [&](std::size_t at) {
        const auto v = HexValue(held.substr(at, 1));
        return v && *v >= 1 && *v <= 10;
    };
    return baud(kBaud232) && baud(kBaud485) && (held[kAddCR] == '0' || held[kAddCR] == '1');
}

} // namespace

TavoMR910::TavoMR910(TavoComPort* port, const std::string& address) : TavoRBase(port, address) {}

bool TavoMR910::ReadConverterConfig() {
    if (!IsHexCode(Address())) return false;
    std::string reply, held;
    if (!Command('$', "2", reply) || reply.front() != '!') return false;
    if (!ReplyField(reply, 3, 10, held)) return false;
    for (char& c : held)
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    if (!ValidHeld(held)) return false;
    ExtraConfiguration() = held;
    return true;
}

void TavoMR910::ClearConverterConfig() {
    ExtraConfiguration().clear();
}

bool TavoMR910::Held() {
    return ValidHeld(ExtraConfiguration()) || ReadConverterConfig();
}

bool TavoMR910::GetConfigString(std::string& out) {
    if (!IsHexCode(Address()) || !Held()) return false;
    out = Address() + ExtraConfiguration();
    return true;
}

void TavoMR910::HoldAddress(const std::string& address) {
    // Held and previous address alike: no change of address is pending.
    SetAddress(address);
    SetAddress(address);
}

bool TavoMR910::WriteConverterConfig() {
    if (!IsHexCode(Address()) || !ValidHeld(ExtraConfiguration())) return false;
    const std::string target = IsHexCode(PreviousAddress()) ? PreviousAddress() : Address();
    std::string reply;
    if (!Transact("%" + target + Address() + ExtraConfiguration() + "\r", TavoComPort::kReplyLimit,
                  reply))
        return false;
    HoldAddress(Address());
    return true;
}

bool TavoMR910::Update(bool initState) {
    const std::string from = IsHexCode(PreviousAddress()) ? PreviousAddress() : Address();
    bool ok = WriteConverterConfig();
    if (!ok) {
        Pause(kRetryPauseMs);
        ok = WriteConverterConfig();
    }
    if (initState)
        HoldAddress("00");
    else if (!ok)
        HoldAddress(from);
    return ok;
}

bool TavoMR910::SetIdentification(const std::string& text) {
    if (text.size() > kMaxIdentification || !IsCommandText(text) || !IsHexCode(Address()))
        return false;
    return Command('$', "6" + text);
}

bool TavoMR910::ReadIdentification(std::string& out) {
    return IsHexCode(Address()) && Query('$', "7", out);
}

bool TavoMR910::SetDelimiter(char delimiter) {
    if (delimiter == 0 || !std::strchr(":[]^{|}~", delimiter) || !IsHexCode(Address()))
        return false;
    return Command('$', std::string("C") + delimiter);
}

bool TavoMR910::ReadDelimiter(std::string& out) {
    return IsHexCode(Address()) && Query('$', "D", out);
}

bool TavoMR910::SetGateTime(long units) {
    if (units < 0 || units > 0xFFFF || !IsHexCode(Address())) return false;
    return Command('$', "3" + HexText(static_cast<unsigned>(units), 4));
}

bool TavoMR910::ReadGateTime(std::string& out) {
    return IsHexCode(Address()) && Query('$', "4", out);
}

bool TavoMR910::SetDigit(std::size_t at, int value) {
    if (value < 0 || value > 0xF || !Held()) return false;
    std::string changed = ExtraConfiguration();
    changed[at] = HexText(static_cast<unsigned>(value), 1)[0];
    if (!ValidHeld(changed)) return false;
    ExtraConfiguration() = changed;
    return true;
}

bool TavoMR910::GetDigit(std::size_t at, int& value) {
    if (!Held()) return false;
    value = static_cast<int>(*HexValue(ExtraConfiguration().substr(at, 1)));
    return true;
}

bool TavoMR910::SetRS232Baud(int code) {
    return SetDigit(kBaud232, code);
}
bool TavoMR910::SetRS485Baud(int code) {
    return SetDigit(kBaud485, code);
}
bool TavoMR910::SetAddCR(bool on) {
    return SetDigit(kAddCR, on ? 1 : 0);
}

bool TavoMR910::SetFormatByte(int format) {
    if (format < 0 || format > 0x1F || !Held()) return false;
    ExtraConfiguration().replace(kFormat, 2, HexText(static_cast<unsigned>(format), 2));
    return true;
}

bool TavoMR910::SetNonAddressable(bool on) {
    int flags = 0;
    return GetFlags(flags) && SetDigit(kFlags, on ? (flags | 8) : (flags & ~8));
}

bool TavoMR910::SetRS485(bool on) {
    int flags = 0;
    return GetFlags(flags) && SetDigit(kFlags, on ? (flags | 2) : (flags & ~2));
}

bool TavoMR910::GetTypeField(std::string& out) {
    if (!Held()) return false;
    out = ExtraConfiguration().substr(kType, 2);
    return true;
}

bool TavoMR910::GetRS232Baud(int& code) {
    return GetDigit(kBaud232, code);
}
bool TavoMR910::GetRS485Baud(int& code) {
    return GetDigit(kBaud485, code);
}
bool TavoMR910::GetFlags(int& flags) {
    return GetDigit(kFlags, flags);
}

bool TavoMR910::GetNonAddressable(bool& on) {
    int flags = 0;
    if (!GetFlags(flags)) return false;
    on = flags & 8;
    return true;
}

bool TavoMR910::GetRS485(bool& on) {
    int flags = 0;
    if (!GetFlags(flags)) return false;
    on = flags & 2;
    return true;
}

bool TavoMR910::GetAddCR(bool& on) {
    int value = 0;
    if (!GetDigit(kAddCR, value)) return false;
    on = value == 1;
    return true;
}

bool TavoMR910::GetFormatByte(int& format) {
    if (!Held()) return false;
    format = static_cast<int>(*HexValue(ExtraConfiguration().substr(kFormat, 2)));
    return true;
}

int TavoMR910::MakeFormatByte(int dataBits, int parity, int stopBits) {
    static constexpr int kParityBits[] = {0, 1, 3}; // none, odd, even
    const int p = parity >= 0 && parity <= 2 ? kParityBits[parity] : 0;
    return (dataBits & 3) | (stopBits ? 4 : 0) | p << 3;
}

void TavoMR910::SplitFormatByte(int format, int& dataBits, int& parity, int& stopBits) {
    dataBits = format & 3;
    stopBits = (format >> 2) & 1;
    const int p = (format >> 3) & 3;
    parity = p == 0 ? 0 : p == 1 ? 1 : 2;
}

} // namespace tavo
