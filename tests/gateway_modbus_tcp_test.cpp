// `tavo gateway` as a Modbus TCP server, read and written by clients that are not
// ours (libmodbus and Debian's mbpoll) against the simulator's bus. Every wait is for
// an answer or a log line, with a generous limit.
#include "gateway/gateway_config.h"
#include "support/gateway_run.h"
#include "support/reserved_port.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

namespace tavo::test {
namespace {

using Registers = std::vector<std::uint16_t>;

// A libmodbus TCP client of the gateway.
class Client {
public:
    explicit Client(int port) : ctx_(modbus_new_tcp("127.0.0.1", port)) {
        if (!ctx_ || modbus_connect(ctx_) != 0) throw std::runtime_error(std::string("connect: ") + modbus_strerror(errno));
        modbus_set_response_timeout(ctx_, 30, 0);
    }
    ~Client() {
        modbus_close(ctx_);
        modbus_free(ctx_);
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // The exception code of a failed request (0 for an answer, -1 for none).
    static int Code() {
        if (errno >= EMBXILFUN && errno <= EMBXGTAR) return errno - MODBUS_ENOBASE;
        return -1;
    }
    // Input registers from one-based `number`; `code` the exception.
    Registers Inputs(int unit, int number, int count, int& code) {
        modbus_set_slave(ctx_, unit);
        Registers r(static_cast<std::size_t>(count));
        code = modbus_read_input_registers(ctx_, number - 1, count, r.data()) == count ? 0 : Code();
        return code ? Registers{} : r;
    }
    std::string Bits(int unit, int function, int number, int count, int& code) {
        modbus_set_slave(ctx_, unit);
        std::vector<std::uint8_t> bits(static_cast<std::size_t>(count));
        const int n = function == 1 ? modbus_read_bits(ctx_, number - 1, count, bits.data())
                                    : modbus_read_input_bits(ctx_, number - 1, count, bits.data());
        code = n == count ? 0 : Code();
        std::string out;
        for (auto b : bits) out += b ? '1' : '0';
        return code ? "" : out;
    }
    int WriteCoil(int unit, int number, bool on) {
        modbus_set_slave(ctx_, unit);
        return modbus_write_bit(ctx_, number - 1, on) == 1 ? 0 : Code();
    }
    int WriteRegisters(int unit, int number, const Registers& values) {
        modbus_set_slave(ctx_, unit);
        const int n = static_cast<int>(values.size());
        return modbus_write_registers(ctx_, number - 1, n, values.data()) == n ? 0 : Code();
    }
    int WriteRegister(int unit, int number, std::uint16_t value) {
        modbus_set_slave(ctx_, unit);
        return modbus_write_register(ctx_, number - 1, value) == 1 ? 0 : Code();
    }
    // High word first, as the map has it.
    int WriteFloat(int unit, int number, float value) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        return WriteRegisters(unit, number, {static_cast<std::uint16_t>(bits >> 16), static_cast<std::uint16_t>(bits)});
    }
    // A request libmodbus would not build itself (the PDU after the unit id).
    int Raw(int unit, std::vector<std::uint8_t> pdu) {
        modbus_set_slave(ctx_, unit);
        pdu.insert(pdu.begin(), static_cast<std::uint8_t>(unit));
        if (modbus_send_raw_request(ctx_, pdu.data(), static_cast<int>(pdu.size())) < 0) return -1;
        std::uint8_t rsp[MODBUS_TCP_MAX_ADU_LENGTH];
        const int n = modbus_receive_confirmation(ctx_, rsp);
        if (n < 0) return Code();
        return n >= 9 && (rsp[7] & 0x80) ? rsp[8] : 0;
    }

private:
    modbus_t* ctx_;
};

// The float at register `at`, high word first (libmodbus's own float helpers differ
// between its versions in the order they take).
float Float(const Registers& r, std::size_t at) {
    const std::uint32_t bits = (static_cast<std::uint32_t>(r[at]) << 16) | r[at + 1];
    float f = 0;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// A plain socket to the server, for bytes no client library sends.
class RawSocket {
public:
    explicit RawSocket(int port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) throw std::runtime_error("connect");
    }
    ~RawSocket() { ::close(fd_); }
    void Send(const std::vector<std::uint8_t>& bytes) {
        ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }
    // What comes within `limit`, until the server closes (`closed` then true).
    std::vector<std::uint8_t> Receive(std::size_t want, bool& closed, std::chrono::seconds limit = 30s) {
        std::vector<std::uint8_t> got;
        closed = false;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (got.size() < want) {
            pollfd p{fd_, POLLIN, 0};
            const bool last = std::chrono::steady_clock::now() >= deadline;
            if (::poll(&p, 1, last ? 0 : 100) <= 0) {
                if (last) break;
                continue;
            }
            std::uint8_t buffer[512];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) {
                closed = true;
                break;
            }
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }

private:
    int fd_;
};

struct GatewayModbusTcp : ::testing::Test {
    // A configuration of one bus on `port`, polled every 100 ms, and the Modbus TCP
    // server on the reserved port.
    std::string Config(const std::string& port, const std::string& modules, const std::string& extra = "") {
        const std::string path = dir.File("gw.yaml");
        EXPECT_TRUE(WriteFile(path, "modbus_tcp: {port: " + std::to_string(server.number()) + extra +
                            "}\nbuses:\n  - name: line1\n    port: \"" + port +
                            "\"\n    timeout_ms: 250\n    turnaround_ms: 0\n    poll_ms: 100\n    modules:\n" + modules));
        return path;
    }
    // Input registers once the module has been polled (0B until then).
    Registers Polled(Client& c, int unit, int number, int count) {
        int code = 0;
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        Registers r;
        do {
            r = c.Inputs(unit, number, count, code);
            if (code != 0x0B) break;
            std::this_thread::sleep_for(20ms);
        } while (std::chrono::steady_clock::now() < deadline);
        EXPECT_EQ(code, 0) << "unit " << unit << " number " << number;
        return r;
    }
    // Waits until `read` gives `want`.
    template <class F> bool Becomes(F read, int want) {
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (read() == want) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    TempDir dir;
    ReservedPort server;
};

const char* kBus = "09 R270P value=12.5 value0=141.5 burnout=04\n"
                   "0A R550 checksum inputs=A5\n"
                   "0C R550 protocol=modbus inputs=5A\n"
                   "01 R250\n"
                   "40 K100E slots=K520,-,K620 in0=A5C3\n";
const char* kModules = "      - {address: \"09\", protocol: ascii}\n"
                       "      - {address: \"0A\", protocol: checksum, model: R550, writable: [do3]}\n"
                       "      - {address: \"0C\", protocol: modbus, writable: [do2]}\n"
                       "      - {address: \"01\", protocol: ascii, model: R250, writable: [ao0]}\n"
                       "      - {address: \"40\", slot: 0, protocol: ascii}\n"
                       "      - {address: \"40\", slot: 2, protocol: ascii, writable: [do1]}\n";

TEST_F(GatewayModbusTcp, FloatsBitsAndQualitiesAreWhatTheSimulatorSentToLibmodbusAndMbpoll) {
    LinkedBus sim(kBus, dir.File("bus"));
    Gateway gateway(Config(sim.link(), kModules));
    ASSERT_TRUE(gateway.WaitForLine("Modbus TCP on 127.0.0.1:" + std::to_string(server.number())))
        << gateway.Log();
    Client c(server.number());

    // ASCII analog inputs: floats high word first, burn-out NaN with its quality.
    const Registers r270p = Polled(c, 0x09, 1, 16);
    ASSERT_EQ(r270p.size(), 16u) << gateway.Log();
    EXPECT_EQ(Float(r270p, 0), 141.5f);
    EXPECT_TRUE(std::isnan(Float(r270p, 4)));
    for (std::size_t i : {1u, 3u, 4u, 5u, 6u, 7u}) EXPECT_EQ(Float(r270p, 2 * i), 12.5f) << "ai" << i;
    int code = 0;
    EXPECT_EQ(c.Inputs(0x09, 1001, 8, code), (Registers{0, 0, 1, 0, 0, 0, 0, 0}));

    // Digital inputs of an ASCII and a Modbus module and of a rack's slot, as bits and
    // as floats.
    Polled(c, 0x0A, 1, 2);
    Polled(c, 0x0C, 1, 2);
    Polled(c, 0x40, 101, 2);
    EXPECT_EQ(c.Bits(0x0A, 2, 1, 8, code), "10100101");
    EXPECT_EQ(c.Bits(0x0C, 2, 1, 8, code), "01011010");
    EXPECT_EQ(c.Bits(0x0A, 1, 1, 8, code), "00000000");
    EXPECT_EQ(c.Bits(0x40, 2, 101, 16, code), "1100001110100101");
    const Registers modbusDi = c.Inputs(0x0C, 1, 16, code);
    ASSERT_EQ(modbusDi.size(), 16u);
    for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(Float(modbusDi, 2 * i), (0x5A >> i) & 1) << "di" << i;
    EXPECT_EQ(c.Inputs(0x40, 1101, 2, code), (Registers{0, 0}));

    // mbpoll reads the same.
    const auto mbpoll = [&](std::vector<std::string> args) {
        std::vector<std::string> argv{"mbpoll", "-m", "tcp", "-p", std::to_string(server.number()), "-1"};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.push_back("127.0.0.1");
        const test::Run run = RunProgram(argv);
        EXPECT_EQ(run.status, 0) << run.out;
        return run.out;
    };
    const std::string floats = mbpoll({"-a", "9", "-t", "3:float", "-B", "-r", "1", "-c", "4"});
    EXPECT_NE(floats.find("[1]: \t141.5\n"), std::string::npos) << floats;
    EXPECT_NE(floats.find("[3]: \t12.5\n"), std::string::npos) << floats;
    EXPECT_NE(floats.find("[5]: \tnan\n"), std::string::npos) << floats;
    const std::string quality = mbpoll({"-a", "9", "-t", "3", "-r", "1003", "-c", "1"});
    EXPECT_NE(quality.find("[1003]: \t1\n"), std::string::npos) << quality;
    const std::string slot = mbpoll({"-a", "64", "-t", "1", "-r", "101", "-c", "2"});
    EXPECT_NE(slot.find("[101]: \t1\n[102]: \t1\n"), std::string::npos) << slot;
    EXPECT_EQ(gateway.Stop(), 0);
}

TEST_F(GatewayModbusTcp, WritesReachTheModuleAsThePanelSendsThemAndEverythingElseIsRefusedUnsent) {
    LinkedBus sim(kBus, dir.File("bus"));
    Gateway gateway(Config(sim.link(), kModules + std::string("      - {address: \"0D\", protocol: ascii, "
                                                              "model: R550, writable: [do0]}\n")));
    ASSERT_TRUE(gateway.WaitForLine("Modbus TCP on")) << gateway.Log();
    Client c(server.number());
    for (int unit : {0x0A, 0x0C, 0x01}) Polled(c, unit, 1, 2);
    Polled(c, 0x40, 1301, 1);
    std::map<unsigned, std::set<std::string>> polls;
    for (unsigned a : {0x0Au, 0x0Cu, 0x01u, 0x40u}) polls[a] = Polls(sim, a, 8);

    struct Write {
        const char* what;
        std::function<int()> send;
        unsigned address;
        Strings heard;
    };
    const std::vector<Write> good = {
        {"ASCII coil", [&] { return c.WriteCoil(0x0A, 4, true); }, 0x0A, {"#0A1301"}},
        {"Modbus coil", [&] { return c.WriteCoil(0x0C, 3, true); }, 0x0C, {"0C050012FF00"}},
        {"holding float", [&] { return c.WriteFloat(0x01, 1, 4.1f); }, 0x01, {"$01704.100"}},
        {"a rack slot's coil", [&] { return c.WriteCoil(0x40, 302, true); }, 0x40, {"#40S21101"}},
    };
    for (const Write& w : good) {
        EXPECT_EQ(w.send(), 0) << w.what << "\n" << gateway.Log();
        EXPECT_EQ(Besides(sim.Received(w.address), polls[w.address]), w.heard) << w.what;
    }
    // The write is followed by a poll that reads it back.
    EXPECT_TRUE(Becomes([&] {
        int code = 0;
        return c.Bits(0x0A, 1, 4, 1, code) == "1" ? 1 : 0;
    }, 1));

    const std::vector<std::pair<const char*, std::function<int()>>> refused = {
        {"coil not writable", [&] { return c.WriteCoil(0x0A, 3, true) == 0x02; }},
        {"coil past the map", [&] { return c.WriteCoil(0x0A, 9, true) == 0x02; }},
        {"coil of a model without outputs written", [&] { return c.WriteCoil(0x09, 1, true) == 0x01; }},
        {"half a float", [&] { return c.WriteRegister(0x01, 1, 0x4083) == 0x02; }},
        {"a float's second half", [&] { return c.WriteRegisters(0x01, 2, {0x4083, 0x3333}) == 0x02; }},
        {"float beyond the range", [&] { return c.WriteFloat(0x01, 1, 1e6f) == 0x03; }},
        {"NaN", [&] { return c.WriteFloat(0x01, 1, std::nanf("")) == 0x03; }},
        {"coil value 0x1234", [&] { return c.Raw(0x0A, {5, 0, 3, 0x12, 0x34}) == 0x03; }},
        {"input registers by function 6", [&] { return c.WriteRegister(0x0A, 1, 1) == 0x01; }},
        {"unit of no module", [&] { return c.WriteCoil(0x33, 1, true) == 0x0A; }},
    };
    for (const auto& [what, send] : refused) EXPECT_TRUE(send()) << what;
    for (unsigned a : {0x0Au, 0x0Cu, 0x01u, 0x40u}) {
        EXPECT_EQ(Besides(Heard(sim, a, 3), polls[a]), Strings{}) << std::hex << a;
    }
    // A module that does not answer: 04 after the bus tried.
    EXPECT_EQ(c.WriteCoil(0x0D, 1, true), 0x04);
    EXPECT_TRUE(gateway.WaitForLine("a write of line1/0D do0 from 127.0.0.1:")) << gateway.Log();
    EXPECT_EQ(gateway.Stop(), 0);
}

TEST_F(GatewayModbusTcp, QualitiesFollowALostPortAndValuesAnswerTargetFailedOnceStale) {
    LinkedBus sim("09 R270P value=12.5 burnout=04\n", dir.File("adapter"));
    const std::string path = Config(sim.link(), "      - {address: \"09\", protocol: ascii, model: R270P}\n",
                                    ", stale_after: 2");
    Gateway gateway(path);
    ASSERT_TRUE(gateway.WaitForLine("Modbus TCP on")) << gateway.Log();
    Client c(server.number());
    EXPECT_EQ(Float(Polled(c, 0x09, 1, 2), 0), 12.5f);
    int code = 0;
    EXPECT_EQ(c.Inputs(0x09, 1003, 1, code), Registers{1});

    sim.Unplug();
    ASSERT_TRUE(gateway.WaitForLine(" lost (")) << gateway.Log();
    EXPECT_TRUE(Becomes([&] { return c.Inputs(0x09, 1001, 8, code).empty() ? -1 : c.Inputs(0x09, 1001, 1, code)[0]; }, 5))
        << gateway.Log();
    EXPECT_TRUE(Becomes([&] { c.Inputs(0x09, 1, 2, code); return code; }, 0x0B));
    EXPECT_EQ(c.Inputs(0x09, 1001, 8, code), (Registers{5, 5, 5, 5, 5, 5, 5, 5}));

    sim.Plug();
    EXPECT_TRUE(Becomes([&] { c.Inputs(0x09, 1, 2, code); return code; }, 0)) << gateway.Log();
    EXPECT_EQ(Float(c.Inputs(0x09, 1, 2, code), 0), 12.5f);
    EXPECT_EQ(c.Inputs(0x09, 1001, 3, code), (Registers{0, 0, 1}));

    // A reload that takes the module out makes its unit id one of no module; the
    // connection stays.
    Config(sim.link(), "      - {address: \"0A\", protocol: ascii, model: R550}\n", ", stale_after: 2");
    gateway.Signal(SIGHUP);
    ASSERT_TRUE(gateway.WaitForLine("reloaded ")) << gateway.Log();
    c.Inputs(0x09, 1, 2, code);
    EXPECT_EQ(code, 0x0A);
    // SIGTERM closes the connections and ends with status 0.
    RawSocket idle(server.number());
    EXPECT_EQ(gateway.Stop(), 0);
    bool closed = false;
    EXPECT_TRUE(idle.Receive(1, closed).empty());
    EXPECT_TRUE(closed);
}

TEST_F(GatewayModbusTcp, SixteenClientsAtOnceGetTheirAnswersAndTheBusHearsOneTransactionAtATime) {
    LinkedBus sim("0A R550 inputs=A5\n09 R270P value=12.5\n0C R550 protocol=modbus inputs=5A\n", dir.File("bus"));
    Gateway gateway(Config(sim.link(), "      - {address: \"0A\", protocol: ascii, model: R550, writable: [do0]}\n"
                                       "      - {address: \"09\", protocol: ascii, model: R270P}\n"
                                       "      - {address: \"0C\", protocol: modbus, model: R550, writable: [do1]}\n"));
    ASSERT_TRUE(gateway.WaitForLine("Modbus TCP on")) << gateway.Log();
    {
        Client first(server.number());
        for (int unit : {0x0A, 0x09, 0x0C}) Polled(first, unit, 1, 2);
    }
    std::atomic<int> wrong{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < 16; ++i)
        clients.emplace_back([&, i] {
            Client c(server.number());
            int code = 0;
            for (int n = 0; n < 40; ++n) {
                if (i % 8 == 0) {
                    // Two clients write meanwhile, each its own output.
                    const bool on = n % 2 == 0;
                    if ((i == 0 ? c.WriteCoil(0x0A, 1, on) : c.WriteCoil(0x0C, 2, on)) != 0) ++wrong;
                    continue;
                }
                const Registers r = c.Inputs(0x09, 1, 16, code);
                if (r.size() != 16 || Float(r, 2 * (n % 8)) != 12.5f) ++wrong;
                if (c.Bits(0x0A, 2, 1, 8, code) != "10100101" || c.Bits(0x0C, 2, 1, 8, code) != "01011010") ++wrong;
            }
        });
    for (auto& t : clients) t.join();
    EXPECT_EQ(wrong, 0) << gateway.Log();
    EXPECT_EQ(gateway.Stop(), 0);
    // Every byte the bus heard belongs to one whole request a module took: two at once
    // on the line would have mixed into lines and frames no module answers.
    const auto [heard, requests] = sim.Accounting({{0x0A, false}, {0x09, false}, {0x0C, true}});
    EXPECT_EQ(heard, requests);
}

TEST_F(GatewayModbusTcp, BadFramesAreClosedOrRefusedAndAStalledClientHoldsUpNobody) {
    LinkedBus sim("0A R550 inputs=A5\n", dir.File("bus"));
    Gateway gateway(Config(sim.link(), "      - {address: \"0A\", protocol: ascii, model: R550}\n"));
    ASSERT_TRUE(gateway.WaitForLine("Modbus TCP on")) << gateway.Log();
    Client good(server.number());
    Polled(good, 0x0A, 1, 2);

    // Headers no request can have: the connection is closed, nothing is answered.
    struct Row {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::vector<std::uint8_t> answer; // before the close, if any
        bool closed;
    };
    const std::vector<Row> rows = {
        {"protocol id 1", {0, 1, 0, 1, 0, 6, 0x0A, 4, 0, 0, 0, 2}, {}, true},
        {"length 1", {0, 1, 0, 0, 0, 1, 0x0A}, {}, true},
        {"length 300", {0, 1, 0, 0, 0x01, 0x2C, 0x0A, 4}, {}, true},
        {"length shorter than the request: its PDU is cut, the rest no header",
         {0, 1, 0, 0, 0, 3, 0x0A, 4, 0, 0, 0, 2, 0, 9, 9, 9},
         {0, 1, 0, 0, 0, 3, 0x0A, 0x84, 0x03},
         true},
        {"unknown function", {0, 2, 0, 0, 0, 2, 0x0A, 0x41}, {0, 2, 0, 0, 0, 3, 0x0A, 0xC1, 0x01}, false},
        {"count past the protocol's limit", {0, 3, 0, 0, 0, 6, 0x0A, 4, 0, 0, 0, 200},
         {0, 3, 0, 0, 0, 3, 0x0A, 0x84, 0x03}, false},
        {"count past the map", {0, 4, 0, 0, 0, 6, 0x0A, 2, 0, 0, 0, 9}, {0, 4, 0, 0, 0, 3, 0x0A, 0x82, 0x02}, false},
        {"unit id of no module", {0, 5, 0, 0, 0, 6, 0x7F, 4, 0, 0, 0, 2}, {0, 5, 0, 0, 0, 3, 0x7F, 0x84, 0x0A}, false},
    };
    for (const Row& row : rows) {
        RawSocket s(server.number());
        s.Send(row.bytes);
        bool closed = false;
        const auto got = s.Receive(row.closed ? 1000 : row.answer.size(), closed);
        EXPECT_EQ(got, row.answer) << row.what;
        EXPECT_EQ(closed, row.closed) << row.what;
        int code = 0;
        EXPECT_EQ(good.Bits(0x0A, 2, 1, 8, code), "10100101") << row.what;
    }

    // Half a request, then nothing: others are served meanwhile, and it is closed.
    RawSocket stalled(server.number());
    stalled.Send({0, 9, 0, 0, 0, 6, 0x0A, 4});
    const auto start = std::chrono::steady_clock::now();
    int served = 0, code = 0;
    bool closed = false;
    while (!closed) {
        ASSERT_LT(std::chrono::steady_clock::now() - start, 60s);
        if (good.Bits(0x0A, 2, 1, 8, code) == "10100101") ++served;
        stalled.Receive(1, closed, 0s);
    }
    EXPECT_GT(served, 0);
    EXPECT_TRUE(gateway.WaitForLine("half a request and nothing more")) << gateway.Log();
    // The bus went on: the module never went offline.
    EXPECT_EQ(gateway.Lines("offline"), 0u) << gateway.Log();
    EXPECT_EQ(gateway.Stop(), 0);
}

TEST_F(GatewayModbusTcp, PrintMapListsEveryNumberOfTheConfiguredModelsAndNamesThoseWithout) {
    const std::string path = Config("/dev/null", "      - {address: \"52\", protocol: ascii, model: R250, writable: [ao0]}\n"
                                                 "      - {address: \"40\", slot: 1, protocol: ascii, model: K620, writable: [do7]}\n"
                                                 "      - {address: \"0C\", protocol: modbus}\n");
    const test::Run table = RunProgram({TAVO_CLI, "gateway", "--print-map", path}, {}, Streams::Both);
    EXPECT_EQ(table.status, 1) << table.out;
    const test::Run csv = RunProgram({TAVO_CLI, "gateway", "--print-map", "--csv", path}, {}, Streams::Both);
    EXPECT_EQ(csv.status, 1) << csv.out;
    struct Row {
        const std::string& out;
        std::string line;
    };
    const std::vector<Row> rows = {
        {table.out, "module        unit id table                     number     point  kind            unit  writable\n"},
        {table.out, "line1/52      82      input register            1-2        ai0    analog-input    -     no\n"},
        {table.out, "line1/52      82      input register            3-4        ao0    analog-output   V     no\n"},
        {table.out, "line1/52      82      holding register          1-2        ao0    analog-output   V     yes\n"},
        {table.out, "line1/52      82      coil                      4          do3    digital-output  -     no\n"},
        {table.out, "line1/52      82      input register (quality)  1006       do3    digital-output  -     no\n"},
        {table.out, "line1/40S1    64      coil                      208        do7    digital-output  -     yes\n"},
        {table.out, "tavo: line1/0C has no model in " + path + ": its map is its model's; add 'model:' to it"},
        {csv.out, "module,unit_id,table,first,last,point,kind,unit,writable\n"},
        {csv.out, "\nline1/52,82,holding register,1,2,ao0,analog-output,V,yes\n"},
        {csv.out, "\nline1/40S1,64,input register (quality),1208,1208,do7,digital-output,,no\n"},
    };
    for (const Row& row : rows) EXPECT_NE(row.out.find(row.line), std::string::npos) << row.line << "\n" << row.out;
    EXPECT_EQ(RunProgram({TAVO_CLI, "gateway", "--csv", path}).status, 2);
}

TEST_F(GatewayModbusTcp, ASearchOfTheDemoBusConfiguresAGatewayThatServesEveryModule) {
    std::ifstream in(TAVO_DEMO_BUS);
    const std::string demo((std::istreambuf_iterator<char>(in)), {});
    LinkedBus sim(demo, dir.File("demo"));
    const std::string found = dir.File("found.yaml");
    const test::Run search = RunProgram({TAVO_CLI, "search", "--port", sim.link(), "--timeout", "20", "--turnaround",
                                         "0", "--end", "96", "--gateway-config", found});
    ASSERT_EQ(search.status, 0) << search.out;
    std::ifstream written(found);
    std::string text((std::istreambuf_iterator<char>(written)), {});
    // The server switched on at this test's port; the broker at a port nobody serves.
    ReservedPort noBroker;
    const auto server_ = text.find("# modbus_tcp: {bind: 127.0.0.1, port: 1502, stale_after: 3}");
    ASSERT_NE(server_, std::string::npos) << text;
    text.replace(server_, 60, "modbus_tcp: {bind: 127.0.0.1, port: " + std::to_string(server.number()) + ", stale_after: 3}");
    const auto broker = text.find("port: 1883");
    ASSERT_NE(broker, std::string::npos) << text;
    text.replace(broker, 10, "port: " + std::to_string(noBroker.number()));
    WriteFile(found, text);

    gateway::GatewayConfig config;
    std::string error;
    ASSERT_TRUE(gateway::ReadGatewayConfig(found, config, error)) << error;
    ASSERT_EQ(config.buses.size(), 1u);
    ASSERT_GT(config.buses[0].modules.size(), 30u) << text;
    Gateway gateway(found);
    ASSERT_TRUE(gateway.WaitForLine("Modbus TCP on")) << gateway.Log();
    Client c(server.number());
    for (const auto& m : config.buses[0].modules) {
        const int quality = 1001 + (m.where.slot < 0 ? 0 : 100 * (m.where.slot + 1));
        int code = 0;
        EXPECT_TRUE(Becomes([&] { c.Inputs(m.where.address, quality, 1, code); return code; }, 0))
            << LocationText(m.where) << " " << m.model << "\n" << gateway.Log();
    }
    EXPECT_EQ(gateway.Stop(), 0);
}

} // namespace
} // namespace tavo::test
