#include "com_port.h"

#include "network_serial.h"
#include "posix_serial.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace tavo {

// Marks the port as in use by the calling thread for the duration of one operation.
// Nested use from the same thread (SendCommand calling ReadLine) is fine; use from a
// second thread while the first is inside is a programming error.
class TavoComPort::Use {
public:
    explicit Use(TavoComPort& port) : port_(port) {
        const auto me = std::this_thread::get_id();
        std::thread::id expected{};
        if (!port_.user_.compare_exchange_strong(expected, me)) {
            if (expected != me)
                throw std::logic_error("two threads used serial port " + port_.name_ +
                                       " at once; transactions must never overlap");
            nested_ = true;
        }
    }
    ~Use() {
        if (!nested_) port_.user_.store(std::thread::id{});
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

private:
    TavoComPort& port_;
    bool nested_ = false;
};

TavoComPort::TavoComPort(std::string name)
    : TavoComPort(name, MakeSerialBackend(name)) {}

TavoComPort::TavoComPort(std::string name, std::unique_ptr<SerialBackend> backend)
    : name_(std::move(name)), backend_(std::move(backend)) {}

TavoComPort::~TavoComPort() {
    if (backend_) backend_->Close();
}

bool TavoComPort::Fail(PortError error) {
    lastError_ = std::move(error);
    return false;
}

bool TavoComPort::OpenPort() {
    Use use(*this);
    DropPending();
    PortError error;
    if (!backend_->Open(name_, error)) {
        open_ = false;
        return Fail(std::move(error));
    }
    open_ = true;
    lost_ = false;
    settings_ = backend_->CurrentSettings();
    lastError_ = {};
    return true;
}

bool TavoComPort::ClosePort() {
    Use use(*this);
    DropPending();
    backend_->Close();
    open_ = false;
    lost_ = false; // the owner closed it: nothing to reopen
    quietArmed_ = false;
    return true;
}

bool TavoComPort::IsOpen() const {
    return open_ && backend_->IsOpen();
}

bool TavoComPort::SetPortState(std::uint32_t baud, int dataBits, int parity, int stopBits) {
    Use use(*this);
    if (!IsOpen()) return Fail({PortError::Kind::NotOpen, 0, "port " + name_ + " is not open"});
    LineSettings wanted{baud, dataBits, parity, stopBits};
    PortError error;
    if (!backend_->Apply(wanted, error)) return Fail(std::move(error));
    settings_ = wanted;
    lastError_ = {};
    return true;
}

void TavoComPort::GetPortState(std::uint32_t& baud, int& dataBits, int& parity,
                               int& stopBits) const {
    baud = settings_.baud;
    dataBits = settings_.dataBits;
    parity = settings_.parity;
    stopBits = settings_.stopBits;
}

bool TavoComPort::SetTimeOut(int ms) {
    Use use(*this);
    timeoutMs_ = ms;
    if (!IsOpen()) return Fail({PortError::Kind::NotOpen, 0, "port " + name_ + " is not open"});
    return true;
}

Deadline TavoComPort::RequestDeadline(std::size_t bytes) const {
    // Negative time-outs are held as given but wait like 0.
    const long long ms = timeoutMs_ > 0 ? timeoutMs_ : 0;
    return Clock::now() + std::chrono::milliseconds(ms * static_cast<long long>(bytes) + ms);
}

bool TavoComPort::PurgeInput() {
    Use use(*this);
    if (!Usable()) return false;
    DropPending();
    return backend_->DiscardInput() && backend_->PurgeRemote();
}

// A driver error other than a time-out means the device is in trouble (often an
// unplugged adapter): close and reopen, so that the next request works once the
// device is back. The held line settings are applied again because a re-enumerated
// adapter starts from the driver's defaults.
void TavoComPort::RecoverFromHardError() {
    PortError cause = lastError_;
    DropPending();
    backend_->Close();
    open_ = false;
    PortError error;
    if (backend_->Open(name_, error)) {
        open_ = true;
        PortError ignored;
        backend_->Apply(settings_, ignored);
    } else {
        cause.text += "; port closed, trying again with the next request";
        const bool wasLost = lost_;
        lost_ = true;
        lastReopen_ = Clock::now();
        if (!wasLost && linkListener_) linkListener_(true, cause.text);
    }
    lastError_ = std::move(cause);
}

bool TavoComPort::Usable() {
    if (IsOpen()) return true;
    if (lost_ && ReopenLost()) return true;
    if (lost_)
        return Fail({PortError::Kind::NotOpen, 0,
                     "port " + name_ + " was lost; trying to reopen it every " +
                         std::to_string(kReopenSpacingMs) + " ms"});
    return Fail({PortError::Kind::NotOpen, 0, "port " + name_ + " is not open"});
}

// One reopen attempt, unless the last one was less than kReopenSpacingMs ago: a
// poll timer or a repeating sender asks often, and the device takes its time.
bool TavoComPort::ReopenLost() {
    const auto now = Clock::now();
    if (now - lastReopen_ < std::chrono::milliseconds(kReopenSpacingMs)) return false;
    lastReopen_ = now;
    DropPending();
    PortError error;
    if (!backend_->Open(name_, error)) return false;
    if (!backend_->Apply(settings_, error)) {
        backend_->Close();
        return false;
    }
    open_ = true;
    lost_ = false;
    quietArmed_ = false;
    if (linkListener_) linkListener_(false, {});
    return true;
}

// Bytes that arrived since the failure are in the driver; read them out and wait
// until nothing more has come for the time-out, counted from the failure (so a
// poll that comes later than that pays nothing) or from the last byte.
void TavoComPort::QuietWait() {
    quietArmed_ = false;
    if (timeoutMs_ <= 0) return;
    const auto quiet = std::chrono::milliseconds(timeoutMs_);
    const auto start = Clock::now();
    const auto limit = start + std::chrono::milliseconds(kQuietWaitLimitMs);
    DropPending();
    Deadline until = std::max(failedAt_ + quiet, start);
    std::uint8_t sink[256];
    for (;;) {
        const IoResult r = backend_->Read(sink, sizeof sink, std::min(until, limit));
        if (!r.ok()) {
            if (r.error.kind == PortError::Kind::Io) {
                lastError_ = r.error;
                RecoverFromHardError();
            }
            break;
        }
        const auto now = Clock::now();
        if (now >= limit) break;
        until = now + quiet;
    }
    ++quietWaits_;
    quietWaitMs_ +=
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool TavoComPort::WriteText(std::string_view text) {
    return WriteBytes(text.size(), reinterpret_cast<const std::uint8_t*>(text.data()));
}

bool TavoComPort::WriteBytes(std::size_t count, const std::uint8_t* data) {
    Use use(*this);
    if (!Usable()) return false;
    if (quietArmed_) QuietWait();
    if (!IsOpen()) return Fail(lastError_);
    DropPending();
    backend_->DiscardInput();
    const IoResult r = backend_->Write(data, count, RequestDeadline(count));
    if (r.ok() && r.count == count) {
        lastError_ = {};
        return true;
    }
    lastError_ = r.error;
    if (r.error.kind == PortError::Kind::Io) RecoverFromHardError();
    return false;
}

bool TavoComPort::ReadBytesUntil(std::size_t count, std::uint8_t* data, std::size_t* got,
                                 Deadline deadline) {
    static constexpr std::size_t kChunk = 256;
    std::size_t have = 0;
    while (have < count) {
        if (pendingPos_ < pending_.size()) {
            const std::size_t take = std::min(count - have, pending_.size() - pendingPos_);
            std::memcpy(data + have, pending_.data() + pendingPos_, take);
            pendingPos_ += take;
            have += take;
            continue;
        }
        pending_.resize(kChunk);
        pendingPos_ = 0;
        const IoResult r = backend_->Read(pending_.data(), kChunk, deadline);
        pending_.resize(r.count);
        if (!r.ok()) {
            if (got) *got = have;
            lastError_ = r.error;
            if (r.error.kind == PortError::Kind::Io) RecoverFromHardError();
            return false;
        }
    }
    if (got) *got = have;
    lastError_ = {};
    return true;
}

void TavoComPort::DropPending() {
    pending_.clear();
    pendingPos_ = 0;
}

bool TavoComPort::ReadBytes(std::size_t count, std::uint8_t* data, std::size_t* got) {
    Use use(*this);
    if (got) *got = 0;
    if (!Usable()) return false;
    return ReadBytesUntil(count, data, got, RequestDeadline(count));
}

bool TavoComPort::ReadLine(std::size_t maxLen, std::string& line) {
    Use use(*this);
    line.clear();
    if (!Usable()) return false;
    std::size_t received = 0;
    for (;;) {
        std::uint8_t byte = 0;
        if (!ReadBytesUntil(1, &byte, nullptr, RequestDeadline(1))) return false;
        ++received;
        if (received >= maxLen)
            return Fail(
                {PortError::Kind::Overlong, 0,
                 "reply longer than " + std::to_string(maxLen ? maxLen - 1 : 0) + " characters"});
        line.push_back(static_cast<char>(byte));
        if (byte == static_cast<std::uint8_t>(kTerminator)) return true;
    }
}

std::uint8_t TavoComPort::CalcCheckSum(std::string_view text) {
    unsigned sum = 0;
    for (const char c : text)
        sum += static_cast<unsigned char>(c);
    return static_cast<std::uint8_t>(sum & 0xFF);
}

void TavoComPort::AppendCheckSum(std::string& command) {
    if (!command.empty()) command.pop_back();
    char digits[4];
    std::snprintf(digits, sizeof digits, "%02X\r", CalcCheckSum(command));
    command += digits;
}

namespace {
int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}
} // namespace

bool TavoComPort::VerifyCheckSum(std::string& reply) {
    const std::size_t n = reply.size();
    if (n < 4) return false;
    const int hi = HexValue(reply[n - 3]);
    const int lo = HexValue(reply[n - 2]);
    reply.resize(n - 3);
    if (hi < 0 || lo < 0 || hi * 16 + lo != CalcCheckSum(reply)) return false;
    reply.push_back(kTerminator);
    return true;
}

namespace {

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameAddress(const std::string& command, std::size_t at, char a, char b) {
    return command.size() > at + 1 && Upper(command[at]) == Upper(a) &&
           Upper(command[at + 1]) == Upper(b);
}

// Whether a reply naming address `a b` may answer `command`. A command without a
// hexadecimal address after its lead character (typed in the terminal) is not
// judged; a command to 00 is answered by a module in its INIT state under its
// configured address; "%AANN..." is answered from the old or the new address.
bool AddressAccepted(const std::string& command, char a, char b) {
    if (command.size() < 3 || HexValue(command[1]) < 0 || HexValue(command[2]) < 0) return true;
    if (command[1] == '0' && command[2] == '0') return true;
    if (SameAddress(command, 1, a, b)) return true;
    return command[0] == '%' && HexValue(command.size() > 3 ? command[3] : 'x') >= 0 &&
           SameAddress(command, 3, a, b);
}

// No module sends control characters or bytes above 0x7E; only the final CR.
bool Printable(const std::string& reply) {
    for (std::size_t i = 0; i + 1 < reply.size(); ++i) {
        const auto c = static_cast<unsigned char>(reply[i]);
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

std::string Hex2Text(char a, char b) {
    return std::string{a, b};
}

} // namespace

bool TavoComPort::CheckReply(const std::string& command, const std::string& reply) {
    if (reply.empty() || reply.back() != kTerminator)
        return Fail({PortError::Kind::BadReply, 0, "reply does not end with CR"});
    if (!Printable(reply))
        return Fail({PortError::Kind::BadReply, 0,
                     "no valid reply: it holds bytes no module sends (noise or wrong baud rate?)"});
    const char first = reply.front();
    if (first == '?') {
        // "?AA" (and its checksum) is a refusal; other text after a '?' is noise.
        const std::size_t rest = reply.size() - 4;
        if (reply.size() >= 4 && HexValue(reply[1]) >= 0 && HexValue(reply[2]) >= 0 &&
            AddressAccepted(command, reply[1], reply[2]) && (rest == 0 || (checksum_ && rest == 2)))
            return Fail({PortError::Kind::Refused, 0, "the module refused the command"});
        return Fail({PortError::Kind::BadReply, 0, "no valid reply (noise or wrong baud rate?)"});
    }
    if (first != '!' && first != '>')
        return Fail({PortError::Kind::BadReply, 0, "no valid reply (noise or wrong baud rate?)"});
    return true;
}

bool TavoComPort::SendCommand(std::string& command, std::size_t maxLen, std::string* reply,
                              ReplyLayout layout) {
    Use use(*this);
    if (command.empty() || command.back() != kTerminator)
        throw std::logic_error("command for " + name_ + " does not end with CR");
    std::string plain;
    if (observer_) plain = command;
    if (checksum_) AppendCheckSum(command);
    const bool ok = Transaction(command, maxLen, reply, layout);
    // Whatever is still on its way belongs to this command, not to the next.
    if (!ok) ArmQuietWait();
    if (observer_) observer_(PortExchange{false, std::move(plain), reply ? *reply : std::string(), ok});
    return ok;
}

bool TavoComPort::Transaction(const std::string& command, std::size_t maxLen, std::string* reply,
                              ReplyLayout layout) {
    if (!WriteText(command)) return false;
    if (!reply) return Fail({PortError::Kind::BadReply, 0, "no reply buffer given"});
    // A line from another address is a late answer to an earlier command: it is
    // dropped and this command's own reply is still waited for (a few such lines
    // at most, each within the time-out).
    PortError stray;
    std::string strayLine;
    for (int line = 0; line < 4; ++line) {
        if (!ReadLine(maxLen, *reply)) {
            if (stray && reply->empty()) {
                *reply = strayLine;
                return Fail(stray);
            }
            if (lastError_.kind == PortError::Kind::Timeout)
                lastError_.text = reply->empty() ? "no reply within the time-out"
                                                 : "reply ended without CR (time-out)";
            return false;
        }
        if (!CheckReply(command, *reply)) return false;
        if (checksum_ && !VerifyCheckSum(*reply))
            return Fail({PortError::Kind::Checksum, 0, "reply checksum does not match"});
        // "!AA" and the CR at least; a shorter reply names no address.
        if (layout == ReplyLayout::Addressed && reply->front() == '!' &&
            (reply->size() < 4 || !AddressAccepted(command, (*reply)[1], (*reply)[2]))) {
            stray = {PortError::Kind::BadReply, 0,
                     "reply " +
                         (reply->size() < 4
                              ? std::string("without an address")
                              : "from address " + Hex2Text((*reply)[1], (*reply)[2])) +
                         " to a command for " + command.substr(1, 2) +
                         " (a late reply to an earlier command?)"};
            strayLine = *reply;
            continue;
        }
        if (layout == ReplyLayout::Value && reply->front() == '!') {
            stray = {PortError::Kind::BadReply, 0,
                     "'!' reply to the data read " + command.substr(0, command.size() - 1) +
                         " (a late reply to an earlier command?)"};
            strayLine = *reply;
            continue;
        }
        lastError_ = {};
        return true;
    }
    *reply = strayLine;
    return Fail(stray);
}

} // namespace tavo
