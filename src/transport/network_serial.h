// Serial lines behind Ethernet device servers: "tcp://HOST:PORT" carries the line's
// bytes and nothing else; "rfc2217://HOST:PORT" is Telnet with the COM-PORT-OPTION,
// through which the line settings are set and the server's buffers purged.
#pragma once

#include "serial_backend.h"

#include <memory>
#include <vector>

namespace tavo {

// True for names the network back end serves.
bool IsNetworkPortName(const std::string& name);

// The back end for a port name: network for the URL schemes, termios otherwise.
std::unique_ptr<SerialBackend> MakeSerialBackend(const std::string& name);

// Telnet receive side: splits the stream into line data and commands. Kept apart
// from the socket so it can be driven byte by byte.
class TelnetParser {
public:
    struct Command {
        std::uint8_t verb = 0; // WILL, WONT, DO, DONT, or SB for a subnegotiation
        std::uint8_t option = 0;
        std::vector<std::uint8_t> payload; // subnegotiation bytes after the option
    };
    // A subnegotiation keeps at most this many bytes; the rest is dropped.
    static constexpr std::size_t kMaxSub = 64;

    // Appends the data bytes of `in` to `data` and the completed commands to `commands`.
    void Feed(const std::uint8_t* in, std::size_t n, std::vector<std::uint8_t>& data,
              std::vector<Command>& commands);

private:
    enum class State { Data, Iac, Verb, Sub, SubIac };
    State state_ = State::Data;
    Command current_;
};

// Doubles every 0xFF so the server passes it on as data.
std::vector<std::uint8_t> TelnetEscape(const std::uint8_t* data, std::size_t n);

class NetworkSerialBackend final : public SerialBackend {
public:
    NetworkSerialBackend() = default;
    ~NetworkSerialBackend() override;
    NetworkSerialBackend(const NetworkSerialBackend&) = delete;
    NetworkSerialBackend& operator=(const NetworkSerialBackend&) = delete;

    bool Open(const std::string& name, PortError& error) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }
    LineSettings CurrentSettings() const override { return settings_; }
    // Over raw TCP (or when the server refused the COM-PORT-OPTION) nothing can be
    // sent: the first settings after connecting are taken as the server's own, and
    // any other settings are refused with a Settings error.
    bool Apply(const LineSettings& settings, PortError& error) override;
    FixedLine LineFixed() const override {
        if (!telnet_) return FixedLine::RawTcp;
        return comPortAccepted_ ? FixedLine::No : FixedLine::ServerRefused;
    }
    IoResult Write(const std::uint8_t* data, std::size_t n, Deadline deadline) override;
    IoResult Read(std::uint8_t* data, std::size_t n, Deadline deadline) override;
    bool DiscardInput() override;
    // PURGE-DATA for the server's receive buffer (when it took the COM-PORT-OPTION).
    bool PurgeRemote() override;

private:
    IoResult Fail(int err, const std::string& what);
    bool SendAll(const std::vector<std::uint8_t>& bytes, Deadline deadline, PortError& error);
    // Reads what the socket has (waiting until `deadline` for the first bytes) and
    // runs it through the parser; false with `error` on a hard error or time-out.
    bool Pump(Deadline deadline, PortError& error);
    // False with a time-out in `error` once `deadline` has passed and not `done`.
    static bool InTime(Deadline deadline, bool done, PortError& error);
    void Handle(const TelnetParser::Command& c);
    bool SendComPort(std::uint8_t code, const std::vector<std::uint8_t>& value, Deadline deadline,
                     PortError& error);
    bool AwaitAnswer(std::uint8_t code, std::vector<std::uint8_t>& value, Deadline deadline,
                     PortError& error);

    int fd_ = -1;
    bool telnet_ = false;
    bool comPortAccepted_ = false;
    bool comPortAnswered_ = false;
    bool settingsDeclared_ = false;
    bool ackOwed_ = false; // data came since our last segment, which acknowledges it
    std::string url_;
    LineSettings settings_;
    TelnetParser parser_;
    std::vector<std::uint8_t> data_;
    std::size_t dataPos_ = 0;
    std::vector<TelnetParser::Command> answers_; // COM-PORT-OPTION answers not yet taken
};

} // namespace tavo
