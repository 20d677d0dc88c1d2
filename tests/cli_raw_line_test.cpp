// The tavo command-line tool on the line itself: `tavo send` takes each reply in
// the layout the command library gives its command, and `tavo search` over an
// RFC 2217 port purges the server's buffer before its first probe (seen by a
// Telnet server of this test that records every byte it receives).
#include "loopback_listener.h"
#include "support/run_tavo.h"
#include "support/sim_bus.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace tavo {
namespace {

using test::Tavo;
using Bytes = std::vector<std::uint8_t>;

TEST(CliRawLine, SendTakesRepliesWithoutAddressAsTheyCome) {
    test::SimBus sim("02 R550 inputs=E0 outputs=05\n40 K100E slots=K220,K520\n");
    const auto r = Tavo({"send", "--port", sim.path(), "--timeout", "40", "$026", "$02X1", "$40S1N"});
    EXPECT_EQ(r.status, 0) << r.out;
    for (const char* line : {"$026\t!05E0\t", "$02X1\t!00000000\t", "$40S1N\t!Tavo-K520\t"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    EXPECT_EQ(r.out.find("late reply"), std::string::npos) << r.out;
    std::lock_guard lock(sim.bus().mutex());
    EXPECT_EQ(
        std::vector<std::string>(sim.module(2).received.begin(), sim.module(2).received.end()),
        (std::vector<std::string>{"$026", "$02X1"}));
}

// A Telnet server with the COM-PORT-OPTION on a loopback port the kernel picks: it
// accepts the option, confirms each line setting as asked, never answers on the
// line, and keeps every byte the client sends until the client hangs up.
class RecordingComPortServer {
public:
    RecordingComPortServer() : thread_([this] { Serve(); }) {}
    ~RecordingComPortServer() {
        if (thread_.joinable()) thread_.join();
    }
    std::string Url() const { return listener_.Url("rfc2217"); }
    // Waits for the client to hang up; then everything it sent, in order.
    const Bytes& Received() {
        if (thread_.joinable()) thread_.join();
        return received_;
    }

private:
    void Serve() {
        pollfd p{listener_.fd(), POLLIN, 0};
        if (::poll(&p, 1, 20000) <= 0) return;
        const int fd = ::accept(listener_.fd(), nullptr, nullptr);
        if (fd < 0) return;
        const Bytes doComPort{255, 253, 44};
        ::send(fd, doComPort.data(), doComPort.size(), MSG_NOSIGNAL);
        std::size_t parsed = 0;
        for (;;) {
            pollfd q{fd, POLLIN, 0};
            if (::poll(&q, 1, 20000) <= 0) break;
            std::uint8_t buf[512];
            const ssize_t got = ::recv(fd, buf, sizeof buf, 0);
            if (got <= 0) break;
            received_.insert(received_.end(), buf, buf + got);
            parsed = AnswerSettings(fd, parsed);
        }
        ::close(fd);
    }
    // Answers each whole SET-BAUDRATE .. SET-STOPSIZE (codes 1 to 4) with its
    // value under code + 100; returns how far the stream has been looked at.
    std::size_t AnswerSettings(int fd, std::size_t from) {
        for (;;) {
            const auto sb = std::search(received_.begin() + static_cast<long>(from),
                                        received_.end(), kSbComPort.begin(), kSbComPort.end());
            if (sb == received_.end()) return from;
            const auto se = std::search(sb, received_.end(), kSe.begin(), kSe.end());
            if (se == received_.end()) return static_cast<std::size_t>(sb - received_.begin());
            Bytes body(sb + static_cast<long>(kSbComPort.size()), se);
            if (!body.empty() && body[0] >= 1 && body[0] <= 4) {
                Bytes answer = kSbComPort;
                body[0] = static_cast<std::uint8_t>(body[0] + 100);
                answer.insert(answer.end(), body.begin(), body.end());
                answer.insert(answer.end(), kSe.begin(), kSe.end());
                ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
            }
            from = static_cast<std::size_t>(se - received_.begin()) + kSe.size();
        }
    }

    const Bytes kSbComPort{255, 250, 44};
    const Bytes kSe{255, 240};
    test::LoopbackListener listener_;
    Bytes received_;
    std::thread thread_; // last: it starts once the members above are there
};

TEST(CliRawLine, SearchOverRfc2217PurgesTheServerBeforeItsFirstProbe) {
    RecordingComPortServer server;
    const auto r =
        Tavo({"search", "--port", server.Url(), "--timeout", "10", "--probes", "ascii", "--start", "1",
              "--end", "1"});
    EXPECT_EQ(r.status, 0) << r.out;
    const Bytes& sent = server.Received();
    // After the last line setting (SET-STOPSIZE 1): PURGE-DATA of the receive
    // buffer, then the one probe.
    const Bytes stopSize{255, 250, 44, 4, 1, 255, 240};
    const auto settled = std::search(sent.begin(), sent.end(), stopSize.begin(), stopSize.end());
    ASSERT_NE(settled, sent.end()) << r.out;
    const Bytes rest(settled + static_cast<long>(stopSize.size()), sent.end());
    const std::string probe = "$01M\r";
    Bytes expected{255, 250, 44, 12, 1, 255, 240};
    expected.insert(expected.end(), probe.begin(), probe.end());
    EXPECT_EQ(rest, expected);
}

} // namespace
} // namespace tavo
