// Test peers on pseudo-terminals: a scripted peer that answers with exactly the
// bytes a test gives it, and a null-modem pair joining two device paths.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tavo::test {

using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(const std::string& text);
std::string Hex(const Bytes& bytes); // "01 03 00 0A"

// A raw pseudo-terminal whose master side the test holds.
class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    const std::string& path() const { return path_; }
    int master() const { return master_; }
    // Everything that arrives within `quiet` of the previous byte (first byte within
    // `first`).
    Bytes ReadSome(std::chrono::milliseconds first, std::chrono::milliseconds quiet);
    void Write(const Bytes& bytes);
    void Close(); // the device goes away, as an unplugged adapter does
    // Whether the device is in exclusive mode (TIOCEXCL), which refuses every open
    // but root's.
    bool Exclusive() const;
    // Ends exclusive mode, as the last close of a real adapter does: this side
    // keeps the device open, so a holder that was killed leaves it behind.
    void DropExclusive();

private:
    int master_ = -1;
    int hold_ = -1;
    std::string path_;
};

// Answers each request (bytes up to a quiet gap) with the next scripted reply. A
// reply may be delayed; an empty reply means silence. Records every request.
class ScriptedPeer {
public:
    struct Step {
        Bytes reply;
        std::chrono::milliseconds delay{0};
    };
    ScriptedPeer();
    ~ScriptedPeer();
    const std::string& path() const { return pty_.path(); }
    void Then(const std::string& reply, std::chrono::milliseconds delay = {});
    void ThenBytes(const Bytes& reply, std::chrono::milliseconds delay = {});
    std::vector<Bytes> Requests();
    // How many scripted replies have been written so far.
    std::size_t RepliesWritten();
    // Sends bytes unasked, at once.
    void Inject(const Bytes& bytes) { pty_.Write(bytes); }
    Pty& pty() { return pty_; }

private:
    void Run();
    Pty pty_;
    std::mutex mutex_;
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    std::vector<Bytes> requests_;
    std::size_t written_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Two pseudo-terminals whose master sides are joined, so that a program on a() and
// a program on b() talk as over a null-modem cable.
class NullModem {
public:
    NullModem();
    ~NullModem();
    const std::string& a() const { return a_.path(); }
    const std::string& b() const { return b_.path(); }

private:
    void Run();
    Pty a_, b_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace tavo::test
