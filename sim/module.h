// A simulated module: configuration, the command sets it understands, and the
// Modbus register store of its Modbus variant.
#pragma once

#include "wire.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tavo::sim {

using SimClock = std::chrono::steady_clock;
using TimePoint = SimClock::time_point;

enum class Protocol { Ascii, Modbus };

// A fault fires on the next `count` replies, then with `probability` on each one.
struct Fault {
    double probability = 0.0;
    int count = 0;
    bool Fire(std::mt19937& rng);
};

struct FaultPlan {
    Fault noReply;     // stay silent
    Fault corrupt;     // flip bits in one byte of the reply
    Fault badChecksum; // wrong checksum digits (ASCII with checksum) or CRC (Modbus)
    Fault late;        // answer after lateMs, later than any sensible time-out
    Fault noise;       // a few random bytes (never CR) before the reply
    Fault garbage;     // ASCII: the reply's data replaced by "X?#X?#..." (no number of any
                       // format), the frame and checksum intact
    Fault cut;         // ASCII: the reply's data cut to its first half, frame and
                       // checksum intact
    int lateMs = 600;
    // The faults wait for this many replies before they start (to hit one command
    // in the middle of a sequence).
    int startAfter = 0;
};

struct ModuleConfig {
    unsigned address = 1;      // configured address, 0..255
    std::string designation;   // what $AAM answers: "R210D"
    std::string firmware = "A1.00";
    unsigned typeCode = 0x00;  // TT
    unsigned baudCode = 0x06;  // CC: 03 = 1200 ... 0A = 115200
    unsigned formatCode = 0x00;// FF; bit 6 = checksum
    bool init = false;         // INIT state: answers at 00, 9600 baud, no checksum
    int parity = 0;            // line parity it listens at: 0 none, 1 odd, 2 even
    Protocol protocol = Protocol::Ascii;
    int replyDelayMs = 0;      // the module's own processing time
    // Model-specific bus file options (slots, channel values, ...).
    std::map<std::string, std::string> options;
};

class SimModule;

// One group of commands a module understands. Handlers get the command character
// and the body after the address, and return the reply without checksum and CR
// ("!01...", ">...", "?01"), or nullopt when the command is not theirs.
class CommandSet {
public:
    virtual ~CommandSet() = default;
    virtual std::optional<std::string> Ascii(SimModule&, char /*lead*/, std::string_view /*body*/) {
        return std::nullopt;
    }
    // Modbus request PDU (function code first, no address, no CRC); returns the
    // response PDU, an exception PDU, or nullopt when the request is not theirs.
    virtual std::optional<Bytes> Modbus(SimModule&, const Bytes& /*pdu*/) { return std::nullopt; }
    // Brings time-dependent state (counters, watchdogs, moving values) up to `now`.
    virtual void Advance(SimModule&, TimePoint /*now*/) {}
    // The module was switched off and on again: what it keeps in its memory stays,
    // what it holds only while powered (outputs, moving values) starts afresh.
    virtual void PowerUp(SimModule&) {}
    // Binary transfers (firmware blocks) bypass the line framing: while a set wants
    // binary input, the bus hands it the raw bytes before anything else sees them.
    virtual bool WantsBinary(TimePoint /*now*/) { return false; }
    // Takes one packet from the front of `data` (`n` bytes there): returns its
    // length once it is whole (0: more bytes are needed) and the answer in `reply`
    // (nullopt: silence).
    virtual std::size_t Binary(SimModule&, const std::uint8_t* /*data*/, std::size_t /*n*/,
                               std::optional<Bytes>& /*reply*/) {
        return 0;
    }
};

std::uint32_t BaudForCode(unsigned code); // 0 for an unknown code

class SimModule {
public:
    explicit SimModule(ModuleConfig config);
    virtual ~SimModule() = default;
    SimModule(const SimModule&) = delete;
    SimModule& operator=(const SimModule&) = delete;

    template <class T, class... Args> T& Add(Args&&... args) {
        auto set = std::make_unique<T>(std::forward<Args>(args)...);
        T& ref = *set;
        sets_.push_back(std::move(set));
        return ref;
    }
    template <class T> T* Find() {
        for (auto& s : sets_)
            if (auto* t = dynamic_cast<T*>(s.get())) return t;
        return nullptr;
    }

    // A whole ASCII line as received, without its CR. Returns the reply line (with
    // its checksum when the module uses one, without CR) or nullopt for silence.
    std::optional<std::string> OnAsciiLine(std::string_view line, TimePoint now);
    // A Modbus frame without CRC; returns the response frame without CRC, or
    // nullopt for silence (not addressed, broadcast).
    std::optional<Bytes> OnModbusFrame(const Bytes& frame, TimePoint now);
    // True while one of the module's sets waits for binary input.
    bool WantsBinary(TimePoint now);
    // Raw bytes for that set; returns how many it took (0: it needs more) and the
    // answer in `reply`.
    std::size_t OnBinary(const std::uint8_t* data, std::size_t n, TimePoint now,
                         std::optional<Bytes>& reply);
    // A set that takes a line but must not answer it (a command that expects no
    // reply) calls this while handling it.
    void Silence() { silence_ = true; }
    // Switches the module off and on: configuration and stored settings stay,
    // outputs come up at their start-up values.
    void PowerCycle();

    // Address the module listens to on the wire (00 in INIT state).
    unsigned WireAddress() const { return config_.init ? 0u : config_.address; }
    // Baud rate the module talks at (9600 in INIT state).
    std::uint32_t BaudRate() const;
    bool ChecksumOn() const { return !config_.init && (config_.formatCode & 0x40); }
    Protocol protocol() const { return config_.init ? Protocol::Ascii : config_.protocol; }

    ModuleConfig& config() { return config_; }
    const ModuleConfig& config() const { return config_; }
    FaultPlan& faults() { return faults_; }
    TimePoint Now() const { return now_; }

    // "!" + address + data, and the refusal "?" + address.
    std::string Ok(std::string_view data = {}) const;
    std::string Refuse() const;
    std::string AddressText() const { return Hex2(config_.address); }

    // Modbus register and coil store (zero-based addresses). Registers not present
    // give exception 02; registers not in `writable` refuse writes with 02.
    std::map<std::uint16_t, std::uint16_t> holding;
    std::set<std::uint16_t> writable;
    std::map<std::uint16_t, bool> coils;

    // The last commands the module answered or refused (ASCII lines without
    // checksum, Modbus frames as hex, binary packets as "[N bytes]"), oldest first,
    // at most 2000.
    std::deque<std::string> received;

private:
    std::optional<Bytes> GenericModbus(const Bytes& pdu);
    void Remember(std::string entry);

    ModuleConfig config_;
    FaultPlan faults_;
    TimePoint now_{};
    bool silence_ = false;
    std::vector<std::unique_ptr<CommandSet>> sets_;
    std::mt19937 rng_{20261209};
};

// What an R910 converter passes to its far side for one host line: the line, the
// speeds of both sides and the RS-232 character size.
struct Forwarding {
    std::string line;
    std::uint32_t baud232 = 0, baud485 = 0;
    int dataBits = 8;
};
inline constexpr char kConverterDelimiters[] = ":[]^{|}~";
// Nullopt when `converter` is no converter or does not forward `line`.
std::optional<Forwarding> ForwardedLine(SimModule& converter, std::string_view line);

// Modbus exception PDU for `function`.
Bytes ModbusException(std::uint8_t function, std::uint8_t code);

} // namespace tavo::sim
