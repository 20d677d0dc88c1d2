// One serial port and the ASCII command transaction on it.
#pragma once

#include "serial_backend.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tavo {

// Where a '!' reply carries its data. Most replies repeat the module's address
// right after the '!' ("!AA{data}"); a few carry their data there instead (the
// digital state read "$AA6", the safety-value reads "$AAX1", the rack's slot name
// and information reads), and their first characters are no address. A Value
// reply is the '>' reading of a data read ("#AA"): a '!' line there belongs to
// another command, however right its address.
enum class ReplyLayout { Addressed, Unaddressed, Value };

// One finished transaction, as a watcher of the port sees it (the module points of
// an open panel learn the module's values from the panel's own poll this way).
struct PortExchange {
    bool modbus = false;
    // ASCII: the command line as given, ending with CR, without checksum. Modbus: the
    // request frame's bytes without the CRC.
    std::string request;
    // ASCII: the reply with its checksum removed, or what came before a failure.
    // Modbus: the response frame, without the CRC when it came whole.
    std::string reply;
    bool ok = false;
};
using ExchangeObserver = std::function<void(const PortExchange&)>;

// The one object through which the program touches a serial port. Every operation
// blocks until it is done; none may run on two threads at once (the port throws
// std::logic_error when that is attempted, so the mistake cannot go unnoticed).
//
// Time-out arithmetic: SetTimeOut(ms) makes a read or write request of n bytes end
// after at most ms * n + ms milliseconds; ReadLine asks for one byte at a time, so
// each character of a reply must come within 2 * ms of the previous one.
class TavoComPort {
public:
    static constexpr char kTerminator = '\r';
    // Buffer limit the command classes pass for replies (63 characters and the CR).
    static constexpr std::size_t kReplyLimit = 64;

    // `name` is the operating system's port name ("ttyUSB0"), a device path, or a
    // network port "tcp://HOST:PORT" / "rfc2217://HOST:PORT".
    // Nothing is opened here.
    explicit TavoComPort(std::string name);
    // Same, on a back end of the caller's (the simulator's in-process bus).
    TavoComPort(std::string name, std::unique_ptr<SerialBackend> backend);
    ~TavoComPort();
    TavoComPort(const TavoComPort&) = delete;
    TavoComPort& operator=(const TavoComPort&) = delete;

    bool OpenPort();
    // A port that is not open counts as closed (true).
    bool ClosePort();
    bool IsOpen() const;

    // baud in bits per second; parity and stop bits as the codes in serial_backend.h.
    bool SetPortState(std::uint32_t baud, int dataBits, int parity, int stopBits);
    void GetPortState(std::uint32_t& baud, int& dataBits, int& parity, int& stopBits) const;
    LineSettings GetLineSettings() const { return settings_; }

    // Holds `ms` for every later request; false only when the port is not open.
    bool SetTimeOut(int ms);
    // The value last given to SetTimeOut (0 before the first call).
    int GetTimeOut() const { return timeoutMs_; }

    std::string GetPortName() const { return name_; }
    // False when line settings cannot be sent to the line (raw TCP ports).
    bool CanSetLineSettings() const { return backend_->CanSetLineSettings(); }
    FixedLine LineFixed() const { return backend_->LineFixed(); }

    bool PurgeInput();
    bool WriteText(std::string_view text);
    // Discards pending input first, so a reply never mixes with stale bytes.
    bool WriteBytes(std::size_t count, const std::uint8_t* data);
    // Reads one line up to and including CR; at most maxLen - 1 characters are kept.
    // False on time-out (line holds what came) or when the limit is reached first.
    bool ReadLine(std::size_t maxLen, std::string& line);
    // Reads exactly `count` bytes within ms * count + ms; `got` (may be null) receives
    // how many arrived.
    bool ReadBytes(std::size_t count, std::uint8_t* data, std::size_t* got = nullptr);

    void SetCheckSum(bool on) { checksum_ = on; }
    bool GetCheckSum() const { return checksum_; }

    // Sum of the character codes modulo 256.
    static std::uint8_t CalcCheckSum(std::string_view text);
    // Replaces the final CR by two upper-case checksum digits and CR.
    static void AppendCheckSum(std::string& command);
    // Checks and strips the two digits before the final CR. On a mismatch the reply
    // is left cut (without checksum and CR); shorter than 4 characters: unchanged.
    static bool VerifyCheckSum(std::string& reply);

    // One transaction: `command` must end with CR (the checksum is inserted in place
    // when the flag is on). `reply` (may be null, which fails after writing) gets the
    // reply with its checksum removed, or whatever came before the failure. Succeeds
    // for replies starting with '!' or '>' that end with CR, hold nothing but
    // printable characters before it, with the checksum on carry the right one, and
    // (Addressed '!' replies) come from the command's address. Exempt from the
    // address check: commands to 00 (a module in its INIT state answers with its
    // configured address) and "%AANN..." writes, which may answer from AA or NN.
    // A failure arms the quiet wait.
    bool SendCommand(std::string& command, std::size_t maxLen, std::string* reply,
                     ReplyLayout layout = ReplyLayout::Addressed);

    // Quiet wait: a reply that comes after its transaction failed must not be taken
    // for the next command's. Once armed, the next write first waits until the line
    // has been quiet for the time-out and drops what came (a babbling line gives up
    // after kQuietWaitLimitMs). Failed transactions arm it; callers that can tell a
    // stray reply apart themselves (the module search) cancel it.
    static constexpr int kQuietWaitLimitMs = 1000;
    void ArmQuietWait() {
        quietArmed_ = true;
        failedAt_ = Clock::now();
    }
    void CancelQuietWait() { quietArmed_ = false; }
    bool QuietWaitArmed() const { return quietArmed_; }
    // Quiet waits made and their total time, for measurements.
    unsigned QuietWaits() const { return quietWaits_; }
    long long QuietWaitMs() const { return quietWaitMs_; }

    // A port that an I/O error closed (an unplugged adapter) is reopened by the next
    // request that needs it, at most once per kReopenSpacingMs, with the held line
    // settings. The listener hears once that the port was lost and once that it is
    // back (it runs on the thread of the request that noticed).
    static constexpr int kReopenSpacingMs = 250;
    bool Lost() const { return lost_; }
    using LinkListener = std::function<void(bool lost, const std::string& why)>;
    void SetLinkListener(LinkListener listener) { linkListener_ = std::move(listener); }

    // Hears every finished transaction on this port, on the thread that made it
    // (ASCII ones here, Modbus ones from TavoModbusCOM). One watcher at a time; a
    // watcher that takes over keeps the one before and passes exchanges on to it.
    void SetExchangeObserver(ExchangeObserver observer) { observer_ = std::move(observer); }
    const ExchangeObserver& GetExchangeObserver() const { return observer_; }
    void NotifyExchange(const PortExchange& exchange) const {
        if (observer_) observer_(exchange);
    }

    // Why the last failed operation failed; kind None after a success.
    const PortError& LastError() const { return lastError_; }

private:
    class Use;
    bool Fail(PortError error);
    bool ReadBytesUntil(std::size_t count, std::uint8_t* data, std::size_t* got, Deadline deadline);
    void RecoverFromHardError();
    bool Usable();
    bool ReopenLost();
    void QuietWait();
    bool Transaction(const std::string& command, std::size_t maxLen, std::string* reply,
                     ReplyLayout layout);
    bool CheckReply(const std::string& command, const std::string& reply);
    void DropPending();
    Deadline RequestDeadline(std::size_t bytes) const;

    std::string name_;
    std::unique_ptr<SerialBackend> backend_;
    LineSettings settings_;
    int timeoutMs_ = 0;
    bool checksum_ = false;
    bool open_ = false;
    bool quietArmed_ = false;
    Clock::time_point failedAt_{};
    unsigned quietWaits_ = 0;
    long long quietWaitMs_ = 0;
    bool lost_ = false;
    Clock::time_point lastReopen_{};
    LinkListener linkListener_;
    ExchangeObserver observer_;
    PortError lastError_;
    std::atomic<std::thread::id> user_{};
    // Bytes fetched from the driver but not yet delivered. They count as received
    // input exactly like the driver's own buffer: served first to the next read and
    // discarded by PurgeInput and before every write. Fetching in chunks keeps a
    // reply to one or two system calls instead of one per character.
    std::vector<std::uint8_t> pending_;
    std::size_t pendingPos_ = 0;
};

} // namespace tavo
