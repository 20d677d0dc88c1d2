// Network ports against a scripted peer on a loopback socket: the Telnet bytes
// exactly as RFC 2217 gives them, 0xFF doubling, raw TCP and the bad-input cases.
#include "loopback_listener.h"
#include "transport/com_port.h"
#include "transport/network_serial.h"
#include "support/process.h"
#include "support/reserved_port.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <functional>
#include <thread>
#include <vector>

namespace tavo {
namespace {

using Bytes = std::vector<std::uint8_t>;

// One-connection loopback server running `script` on the accepted socket.
class ScriptedPeer {
public:
    explicit ScriptedPeer(std::function<void(int)> script) {
        thread_ = std::thread([this, script] {
            const int fd = ::accept(listener_.fd(), nullptr, nullptr);
            if (fd >= 0) {
                script(fd);
                ::close(fd);
            }
        });
    }
    ~ScriptedPeer() { thread_.join(); }
    std::string Url(const char* scheme) const { return listener_.Url(scheme); }

private:
    test::LoopbackListener listener_;
    std::thread thread_;
};

// Reads exactly n bytes (or what came within 5 s).
Bytes ReadN(int fd, std::size_t n) {
    Bytes out;
    while (out.size() < n) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) break;
        std::uint8_t b[256];
        const ssize_t got = ::recv(fd, b, std::min(sizeof b, n - out.size()), 0);
        if (got <= 0) break;
        out.insert(out.end(), b, b + got);
    }
    return out;
}

void SendBytes(int fd, const Bytes& b) {
    ::send(fd, b.data(), b.size(), MSG_NOSIGNAL);
}

// Sends IAC NOP pairs until the client hangs up (at most 5 s).
void FloodIac(int fd) {
    Bytes nops(512);
    for (std::size_t i = 0; i < nops.size(); ++i) nops[i] = i % 2 ? 241 : 255;
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < until && ::send(fd, nops.data(), nops.size(), MSG_NOSIGNAL) > 0) {
    }
}

const Bytes kOffer{255, 251, 44, 255, 251, 0, 255, 253, 0, 255, 251, 3, 255, 253, 3};

TEST(NetworkPort, Rfc2217NegotiationSettingsPurgeAndEscaping) {
    Bytes seenSettings, seenData;
    ScriptedPeer peer([&](int fd) {
        EXPECT_EQ(ReadN(fd, kOffer.size()), kOffer);
        // Accept the COM-PORT-OPTION, refuse binary (must be tolerated), and ask for
        // an option we do not know (must be refused).
        SendBytes(fd, {255, 253, 44, 255, 254, 0, 255, 253, 24});
        EXPECT_EQ(ReadN(fd, 3), (Bytes{255, 252, 24}));
        // SET-BAUDRATE 19200 (0x00004B00), answered with code 101.
        const Bytes baud = ReadN(fd, 10);
        seenSettings.insert(seenSettings.end(), baud.begin(), baud.end());
        SendBytes(fd, {255, 250, 44, 101, 0, 0, 0x4B, 0, 255, 240});
        for (const std::uint8_t code : {2, 3, 4}) {
            const Bytes sb = ReadN(fd, 7);
            seenSettings.insert(seenSettings.end(), sb.begin(), sb.end());
            ASSERT_EQ(sb.size(), 7u);
            SendBytes(fd, {255, 250, 44, static_cast<std::uint8_t>(code + 100), sb[4], 255, 240});
        }
        // A purge: PURGE-DATA (receive buffer); then the data, 0xFF doubled.
        seenData = ReadN(fd, 7 + 6);
        // The reply carries a doubled 0xFF and a command in the middle.
        SendBytes(fd, {'!', 255, 255, 255, 241, '0', '\r'});
        ReadN(fd, 1); // wait for the client to hang up
    });
    TavoComPort port(peer.Url("rfc2217"));
    ASSERT_TRUE(port.OpenPort()) << port.LastError().text;
    EXPECT_TRUE(port.CanSetLineSettings());
    ASSERT_TRUE(port.SetPortState(19200, 8, kParityEven, kTwoStopBits)) << port.LastError().text;
    EXPECT_EQ(seenSettings, (Bytes{255, 250, 44, 1, 0, 0,   0x4B, 0, 255, 240, //
                                   255, 250, 44, 2, 8, 255, 240,               //
                                   255, 250, 44, 3, 3, 255, 240,               //
                                   255, 250, 44, 4, 2, 255, 240}));
    port.SetTimeOut(500);
    const std::uint8_t frame[] = {0x01, 0xFF, 0x02, 0xFF};
    ASSERT_TRUE(port.PurgeInput());
    ASSERT_TRUE(port.WriteBytes(sizeof frame, frame));
    std::uint8_t reply[4] = {};
    ASSERT_TRUE(port.ReadBytes(4, reply)) << port.LastError().text;
    EXPECT_EQ(seenData, (Bytes{255, 250, 44, 12, 1, 255, 240, 0x01, 255, 255, 0x02, 255, 255}));
    EXPECT_EQ(Bytes(reply, reply + 4), (Bytes{'!', 255, '0', '\r'}));
    port.ClosePort();
}

TEST(NetworkPort, RawTcpCarriesBytesAndRefusesLineChanges) {
    ScriptedPeer peer([](int fd) {
        const Bytes got = ReadN(fd, 3);
        SendBytes(fd, got); // echo
        // Then silence: a short reply is a time-out, then the drop is an I/O error.
        SendBytes(fd, {'!'});
        ReadN(fd, 1);
    });
    TavoComPort port(peer.Url("tcp"));
    ASSERT_TRUE(port.OpenPort()) << port.LastError().text;
    EXPECT_FALSE(port.CanSetLineSettings());
    EXPECT_TRUE(port.SetPortState(9600, 8, kParityNone, kOneStopBit));
    EXPECT_FALSE(port.SetPortState(19200, 8, kParityNone, kOneStopBit));
    EXPECT_EQ(port.LastError().kind, PortError::Kind::Settings);
    EXPECT_NE(port.LastError().text.find("raw TCP"), std::string::npos);
    port.SetTimeOut(100);
    ASSERT_TRUE(port.WriteText("$01"));
    std::uint8_t b[4] = {};
    ASSERT_TRUE(port.ReadBytes(3, b));
    EXPECT_EQ(Bytes(b, b + 3), (Bytes{'$', '0', '1'}));
    std::size_t got = 0;
    EXPECT_FALSE(port.ReadBytes(2, b, &got));
    EXPECT_EQ(port.LastError().kind, PortError::Kind::Timeout);
    EXPECT_EQ(got, 1u);
    port.ClosePort();
}

TEST(NetworkPort, BadInputGivesOneLineErrorsWithoutHanging) {
    {
        TavoComPort port("tcp://no-such-host.invalid:7000");
        EXPECT_FALSE(port.OpenPort());
        EXPECT_NE(port.LastError().text.find("cannot resolve"), std::string::npos);
    }
    {
        TavoComPort port("tcp://127.0.0.1:notaport");
        EXPECT_FALSE(port.OpenPort());
        EXPECT_NE(port.LastError().text.find("bad network port"), std::string::npos);
    }
    {
        const test::ReservedPort nobodyListens;
        TavoComPort port("tcp://127.0.0.1:" + std::to_string(nobodyListens.number()));
        EXPECT_FALSE(port.OpenPort());
        EXPECT_NE(port.LastError().text.find("refused"), std::string::npos);
    }
    {
        ScriptedPeer peer([](int) {}); // closes at once
        TavoComPort port(peer.Url("rfc2217"));
        EXPECT_FALSE(port.OpenPort());
        const std::string& text = port.LastError().text;
        EXPECT_TRUE(text.find("closed") != std::string::npos ||
                    text.find("reset") != std::string::npos)
            << text;
        EXPECT_EQ(text.find('\n'), std::string::npos);
    }
    {
        // Garbage, then an endless stream of IAC bytes instead of an answer: the
        // negotiation bound ends it all the same.
        ScriptedPeer peer([](int fd) {
            SendBytes(fd, {255, 'x', 'y'});
            FloodIac(fd);
        });
        TavoComPort port(peer.Url("rfc2217"));
        const auto start = Clock::now();
        EXPECT_FALSE(port.OpenPort());
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(4));
        EXPECT_NE(port.LastError().text.find("did not answer"), std::string::npos);
    }
    {
        // Once connected, commands alone are no reply: the time-out holds.
        ScriptedPeer peer([](int fd) {
            ReadN(fd, kOffer.size());
            SendBytes(fd, {255, 253, 44});
            FloodIac(fd);
        });
        TavoComPort port(peer.Url("rfc2217"));
        ASSERT_TRUE(port.OpenPort()) << port.LastError().text;
        port.SetTimeOut(100);
        const auto start = Clock::now();
        EXPECT_TRUE(port.WriteText("$01M\r"));
        std::uint8_t b = 0;
        EXPECT_FALSE(port.ReadBytes(1, &b));
        EXPECT_EQ(port.LastError().kind, PortError::Kind::Timeout);
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    }
}

// The CLI on ports that cannot be used: exit status 2 and one line that says why,
// all cases at once so that none waits for another.
TEST(NetworkPort, CliExitsWithTwoAndOneLine) {
    ScriptedPeer rawCloses([](int) {});
    ScriptedPeer telnetCloses([](int) {});
    ScriptedPeer garbage([](int fd) {
        ReadN(fd, kOffer.size());
        SendBytes(fd, {255, 253, 44});
        ReadN(fd, 10);                                       // SET-BAUDRATE 9600
        SendBytes(fd, {255, 250, 44, 101, 1, 2, 3, 4, 255, 240}); // another speed
        ReadN(fd, 1);
    });
    const test::ReservedPort nobodyListens;
    struct Case {
        std::string url, says;
    };
    const Case cases[] = {
        {"tcp://no-such-host.invalid:7000", "cannot resolve host no-such-host.invalid"},
        {"tcp://127.0.0.1:" + std::to_string(nobodyListens.number()), "Connection refused"},
        {rawCloses.Url("tcp"), rawCloses.Url("tcp")}, // closed or reset: either says so
        {telnetCloses.Url("rfc2217"), "rfc2217://"},
        {garbage.Url("rfc2217"), "did not take the line settings"},
    };
    std::vector<std::unique_ptr<test::Child>> runs;
    for (const auto& c : cases)
        runs.push_back(std::make_unique<test::Child>(
            std::vector<std::string>{TAVO_CLI, "send", "--port", c.url, "--timeout", "100", "$01M"},
            test::EnvChanges{}, test::Streams::ErrorOnly));
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const auto [status, out] = runs[i]->Wait();
        EXPECT_EQ(status, 2) << cases[i].url << ": " << out;
        EXPECT_EQ(out.rfind("tavo: ", 0), 0u) << out;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
        EXPECT_NE(out.find(cases[i].says), std::string::npos) << out;
    }
}

TEST(NetworkPort, DroppedConnectionIsAnIoErrorAndThePortReopens) {
    ScriptedPeer peer([](int fd) { ReadN(fd, 1); });
    TavoComPort port(peer.Url("tcp"));
    ASSERT_TRUE(port.OpenPort());
    port.SetTimeOut(200);
    ASSERT_TRUE(port.WriteText("x"));
    std::uint8_t b = 0;
    EXPECT_FALSE(port.ReadBytes(1, &b));
    EXPECT_EQ(port.LastError().kind, PortError::Kind::Io);
}

TEST(NetworkPort, TelnetParserUnescapesAcrossChunkBoundaries) {
    const Bytes stream{'a', 255, 255, 255, 251, 1,   'b', 255, 250,
                       44,  101, 255, 255, 255, 240, 'c', 255};
    for (std::size_t split = 0; split <= stream.size(); ++split) {
        TelnetParser p;
        Bytes data;
        std::vector<TelnetParser::Command> commands;
        p.Feed(stream.data(), split, data, commands);
        p.Feed(stream.data() + split, stream.size() - split, data, commands);
        EXPECT_EQ(data, (Bytes{'a', 255, 'b', 'c'})) << split;
        ASSERT_EQ(commands.size(), 2u);
        EXPECT_EQ(commands[1].payload, (Bytes{101, 255}));
    }
}

} // namespace
} // namespace tavo
