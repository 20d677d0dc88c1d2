// tavo: the utility's command-line tool.
#include "gateway_command.h"
#include "options.h"
#include "point_commands.h"

#include "sim/bus_file.h"
#include "sim/pty_server.h"
#include "sim/tcp_server.h"
#include "transport/com_port.h"
#include "transport/modbus.h"
#include "transport/port_list.h"
#include "devices/models_digital.h"
#include "workspace/core/data_dirs.h"
#include "workspace/core/r8xx_download.h"
#include "workspace/core/rack_loader.h"
#include "workspace/core/search_engine.h"
#include "workspace/core/terminal_log.h"
#include "workspace/core/version.h"

#include <algorithm>
#include <atomic>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <functional>
#include <cstdio>
#include <iostream>
#include <memory>

namespace tavo::cli {
namespace {

const char* kUsageText =
    "usage:\n"
    "  tavo --version\n"
    "  tavo ports\n"
    "  tavo send --port P [--baud B] [--parity N|E|O] [--stop 1|2] [--timeout MS]\n"
    "            [--checksum] [--repeat MS [--count N]] (CMD... | --file CMDFILE)\n"
    "  tavo modbus --port P --slave N [port options] [--turnaround MS] OPERATION ARGS...\n"
    "      read-holding FIRST COUNT   read-coils FIRST COUNT   read-fn32 FIRST COUNT\n"
    "      write-coil N 0|1   write-register N VALUE\n"
    "      write-registers FIRST V...   write-coils FIRST B...\n"
    "  tavo search --port P [--start N] [--end N] [--baud B] [--parity N|E|O] [--stop 1|2]\n"
    "              [--timeout MS] [--turnaround MS] [--kinds]\n"
    "              [--probes ascii,checksum,modbus] [--bauds B,B,...] [--parities N,E,O]\n"
    "              [--gateway-config FILE]\n"
    "  tavo read --port P --address AA [--slot N] [--model M] [--modbus | --checksum]\n"
    "            [port options] [--turnaround MS] [--json]\n"
    "  tavo watch --port P --address AA [--address AA ...] [the options of tavo read]\n"
    "             [--interval MS] [--csv FILE]\n"
    "  tavo write --port P --address AA [the options of tavo read] POINT VALUE\n"
    "  tavo sim [--link PATH] [--tcp PORT] BUSFILE\n"
    "  tavo gateway [--check | --print-map [--csv]] CONFIG.yaml\n"
    "  tavo firmware r8xx --port P [--baud B] [--timeout MS] [--force] FILE.hex\n"
    "  tavo firmware rack --port P --designation D --version V FILE\n"
    "Port options: --baud B, --parity N|E|O, --stop 1|2, --timeout MS. AA is the module's\n"
    "address as two hexadecimal digits, as the tree shows it; --slot, --model, --modbus\n"
    "and --checksum after an --address belong to that module, before the first to all.\n"
    "Register and coil numbers are one-based. --turnaround MS (0 to 100, default 20) is\n"
    "the Modbus pause before a request and before its response. Exit status: 0 done,\n"
    "1 a module did not answer or refused, 2 wrong arguments or the port could not be\n"
    "used.\n";

// Shows a reply as text, control characters as \r, \xNN.
std::string Printable(const std::string& text) {
    std::string out;
    for (const unsigned char c : text) {
        if (c == '\r') out += "\\r";
        else if (c >= 0x20 && c < 0x7F) out.push_back(static_cast<char>(c));
        else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

int Ports() {
    const auto ports = ListSerialPorts("/sys", "/dev", true);
    if (ports.empty()) {
        std::cout << "No serial ports found. Plug in an RS-485 adapter, or run 'tavo sim' for a "
                     "simulated bus.\n";
        return kOk;
    }
    for (const auto& p : ports) {
        std::cout << p.name << "\t" << p.devicePath;
        if (!p.byIdPath.empty()) std::cout << "\t" << p.byIdPath;
        std::string about;
        const auto add = [&about](const std::string& s) {
            if (!s.empty()) about += (about.empty() ? "" : ", ") + s;
        };
        add(p.manufacturer);
        add(p.product);
        if (!p.usbVendorId.empty()) add("USB " + p.usbVendorId + ":" + p.usbProductId);
        if (!p.serialNumber.empty()) add("serial " + p.serialNumber);
        add(p.driver);
        if (!about.empty()) std::cout << "\t" << about;
        if (!p.accessible) std::cout << "\t(no permission: add yourself to the 'dialout' group)";
        if (!p.holder.empty()) std::cout << "\t(in use by " << p.holder << ")";
        std::cout << "\n";
    }
    return kOk;
}

// Prints both log lines of a terminal exchange.
void PrintExchange(const TerminalExchange& x) {
    std::cout << TerminalCommandLine(x.command, x.sentAt) << "\n"
              << TerminalReplyLine(x.reply, x.repliedAt, x.elapsedMs) << "\n"
              << std::flush;
}

volatile std::sig_atomic_t g_interrupted = 0;

int Send(const std::vector<std::string>& argv) {
    const Args args = Args::Parse(
        argv, {"port", "baud", "parity", "stop", "timeout", "file", "repeat", "count"}, {"checksum"});
    const bool fileMode = args.Has("file");
    if (fileMode && !args.words.empty()) throw UsageError{"give commands or --file, not both"};
    if (!fileMode && args.words.empty()) throw UsageError{"give at least one command, such as '$01M'"};
    if (args.Has("count") && !args.Has("repeat")) throw UsageError{"--count goes with --repeat"};
    const long repeatMs = args.GetInt("repeat", 0, 1, 3600000);
    const long count = args.GetInt("count", 0, 1, 100000000);
    std::vector<std::string> commands = args.words;
    if (fileMode) {
        // Read before touching the port, so a wrong name costs nothing.
        std::ifstream file(args.Get("file"));
        if (!file) throw PortFailure{"Error when opening file " + args.Get("file")};
        std::stringstream text;
        text << file.rdbuf();
        commands = CommandFileWords(text.str());
    }
    const PortOptions o = ReadPortOptions(args);
    auto port = OpenPort(o);
    const bool checksum = args.Has("checksum");
    const bool logLines = fileMode || args.Has("repeat");
    std::signal(SIGINT, [](int) { g_interrupted = 1; });
    // Repeating, an unplugged adapter is waited for: the port reopens itself with a
    // later command once the device is back.
    if (repeatMs)
        port->SetLinkListener([&o](bool lost, const std::string& why) {
            if (lost)
                std::cout << "Port " << o.port << " lost (" << why << "); trying to reopen it every "
                          << TavoComPort::kReopenSpacingMs << " ms\n";
            else
                std::cout << "Port " << o.port << " is back\n";
            std::cout << std::flush;
        });
    int status = kOk;
    auto next = Clock::now();
    for (long round = 0; !g_interrupted && (round == 0 || (repeatMs && (!count || round < count)));
         ++round) {
        std::this_thread::sleep_until(next);
        next = Clock::now() + std::chrono::milliseconds(repeatMs);
        for (const auto& command : commands) {
            if (g_interrupted) break;
            const TerminalExchange x = TerminalSend(*port, command, checksum);
            if (!x.ok) status = kNoAnswer;
            if (logLines) {
                PrintExchange(x);
            } else {
                std::cout << command << "\t" << Printable(x.reply) << "\t" << x.elapsedMs << " ms";
                if (!x.ok && x.reply != "Timeout!" && x.reply.rfind("Error: ", 0) != 0)
                    std::cout << "\t(" << port->LastError().text << ")";
                std::cout << "\n";
            }
            if (!x.ok && !repeatMs && port->LastError().kind == PortError::Kind::Io)
                throw PortFailure{port->LastError().text};
        }
    }
    port->ClosePort();
    return status;
}

std::vector<std::uint8_t> ByteList(const std::vector<std::string>& words, std::size_t from,
                                   long lo, long hi, bool word16) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = from; i < words.size(); ++i) {
        const long v = ParseInt(words[i], lo, hi, "value '" + words[i] + "'");
        if (word16) out.push_back(static_cast<std::uint8_t>(v >> 8));
        out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    }
    return out;
}

int Modbus(const std::vector<std::string>& argv) {
    const Args args =
        Args::Parse(argv, {"port", "baud", "parity", "stop", "timeout", "turnaround", "slave"}, {});
    if (!args.Has("slave")) throw UsageError{"--slave is required"};
    const int slave = static_cast<int>(args.GetInt("slave", 1, 0, 247));
    if (args.words.empty()) throw UsageError{"name an operation, such as read-holding"};
    const auto& w = args.words;
    const std::string op = w[0];
    const auto need = [&](std::size_t n) {
        if (w.size() < n + 1) throw UsageError{op + " needs " + std::to_string(n) + " argument(s)"};
    };
    const auto number = [&](std::size_t i, long lo, long hi, const char* what) {
        return static_cast<int>(ParseInt(w[i], lo, hi, what));
    };
    // Check all arguments before the port is touched.
    bool read = false, ok = false;
    std::function<bool(TavoModbusCOM&)> request;
    if (op == "read-holding" || op == "read-coils" || op == "read-fn32") {
        need(2);
        if (w.size() != 3) throw UsageError{op + " takes FIRST COUNT"};
        const int first = number(1, 1, 65536, "FIRST");
        const int count = number(2, 1, op == "read-coils" ? 2000 : 125, "COUNT");
        read = true;
        request = [=](TavoModbusCOM& m) {
            return op == "read-holding" ? m.ReadHoldingRegisters(slave, first, count)
                   : op == "read-coils" ? m.ReadCoils(slave, first, count)
                                        : m.ReadFunction32(slave, first, count);
        };
    } else if (op == "write-coil") {
        need(2);
        const int coil = number(1, 1, 65536, "N");
        const int on = number(2, 0, 1, "the coil state");
        request = [=](TavoModbusCOM& m) { return m.WriteSingleCoil(slave, coil, on == 1); };
    } else if (op == "write-register") {
        need(2);
        const int reg = number(1, 1, 65536, "N");
        const int value = number(2, 0, 65535, "VALUE");
        request = [=](TavoModbusCOM& m) { return m.WriteSingleRegister(slave, reg, value); };
    } else if (op == "write-registers") {
        need(2);
        const int first = number(1, 1, 65536, "FIRST");
        const auto data = ByteList(w, 2, 0, 65535, true);
        if (data.size() > 246) throw UsageError{"at most 123 registers at once"};
        const int count = static_cast<int>(data.size() / 2);
        request = [=](TavoModbusCOM& m) {
            return m.WriteMultipleRegisters(slave, first, count, static_cast<int>(data.size()), data.data());
        };
    } else if (op == "write-coils") {
        need(2);
        const int first = number(1, 1, 65536, "FIRST");
        const auto bits = ByteList(w, 2, 0, 1, false);
        if (bits.size() > 1968) throw UsageError{"at most 1968 coils at once"};
        std::vector<std::uint8_t> packed((bits.size() + 7) / 8, 0);
        for (std::size_t i = 0; i < bits.size(); ++i)
            if (bits[i]) packed[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
        const int count = static_cast<int>(bits.size());
        request = [=](TavoModbusCOM& m) {
            return m.WriteMultipleCoils(slave, first, count, static_cast<int>(packed.size()), packed.data());
        };
    } else {
        throw UsageError{"unknown Modbus operation '" + op + "'"};
    }
    const PortOptions o = ReadPortOptions(args);
    auto port = OpenPort(o);
    TavoModbusCOM modbus(port.get());
    modbus.SetTurnaroundDelay(o.turnaroundMs);
    std::vector<std::uint8_t> data;
    if (!request(modbus)) throw PortFailure{"cannot write to " + o.port + ": " + port->LastError().text};
    ok = read ? modbus.ReadResponse(data) : modbus.WriteResponse();
    if (!ok) {
        if (modbus.LastException())
            std::cerr << "tavo: slave " << slave << " answered with exception "
                      << modbus.LastException() << "\n";
        else
            std::cerr << "tavo: no valid response from slave " << slave
                      << " (check the address, baud rate and wiring)\n";
        return kNoAnswer;
    }
    if (!read) {
        // The echo: address and quantity (or value), after the function code.
        const std::string& text = modbus.ResponseText();
        std::vector<std::uint8_t> echo(text.size() / 2);
        TavoModbusCOM::HexToBytes(text, echo.data());
        data.assign(echo.begin() + 2, echo.end());
    }
    for (std::size_t i = 0; i < data.size(); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", data[i]);
        std::cout << (i ? " " : "") << hex;
    }
    std::cout << "\n";
    return kOk;
}

void PrintNode(const FoundNode& node, int depth, bool kinds) {
    std::cout << std::string(static_cast<std::size_t>(depth), '\t') << node.text;
    if (kinds && node.link) std::cout << '\t' << static_cast<int>(*node.link);
    if (node.line) std::cout << '\t' << LineSettingsText(*node.line);
    std::cout << "\r\n";
    for (const auto& child : node.children) PrintNode(child, depth + 1, kinds);
}

std::atomic<bool> g_stopSearch{false};

// One progress line on standard error, written over itself; Clear() blanks it.
class ProgressLine {
public:
    ProgressLine() : shown_(isatty(STDERR_FILENO) != 0) {}
    void Show(const std::string& text) {
        if (!shown_) return;
        std::fprintf(stderr, "\r%-*s", static_cast<int>(width_), text.c_str());
        std::fflush(stderr);
        width_ = std::max(width_, text.size());
    }
    void Clear() {
        if (shown_ && width_) std::fprintf(stderr, "\r%*s\r", static_cast<int>(width_), "");
        width_ = 0;
    }

private:
    bool shown_;
    std::size_t width_ = 0;
};

// The same search as the search dialog, paced the same way: one probe per tick of
// time-out + 30 ms, or longer when the probe itself takes longer.
int Search(const std::vector<std::string>& argv) {
    const Args args = Args::Parse(argv,
                                  {"port", "baud", "parity", "stop", "timeout", "turnaround",
                                   "start", "end", "probes", "bauds", "parities",
                                   "gateway-config"},
                                  {"kinds"});
    if (!args.words.empty()) throw UsageError{"tavo search takes no commands"};
    const int start = static_cast<int>(args.GetInt("start", 0, 0, 255));
    const int end = static_cast<int>(args.GetInt("end", 255, 0, 255));
    if (end < start) throw UsageError{"--end must not be below --start"};
    const PortOptions o = ReadPortOptions(args);
    SearchOptions options = ReadSearchOptions(args, o);
    options.modbusRackSlots = args.Has("gateway-config");
    const bool sweep = !options.sweep.empty();
    // A file that cannot be written is said before the search, not after it.
    if (args.Has("gateway-config")) {
        const std::string file = args.Get("gateway-config");
        const auto slash = file.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : file.substr(0, slash + 1);
        if (access(folder.c_str(), W_OK) != 0)
            throw PortFailure{"cannot write the gateway configuration into " + folder + ": " +
                              std::strerror(errno)};
    }
    auto port = OpenPort(o);
    TavoModbusCOM::SetDefaultTurnaroundDelay(o.turnaroundMs);
    ClearLineBeforeSearch(*port);
    const bool kinds = args.Has("kinds");
    SearchEngine engine(*port, start, end, std::move(options));
    std::cout << o.port << "\r\n" << std::flush;
    std::signal(SIGINT, [](int) { g_stopSearch = true; });
    ProgressLine progress;
    std::size_t noticed = 0;
    const auto started = Clock::now();
    const auto tellNotices = [&] {
        for (; noticed < engine.Notices().size(); ++noticed) {
            progress.Clear();
            std::cerr << "tavo: " << engine.Notices()[noticed] << "\n";
        }
    };
    PacedSearchHooks hooks;
    hooks.beforeStep = [&](const SearchEngine& e) {
        tellNotices();
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
        char text[160];
        std::snprintf(text, sizeof text, "Scanning address %3d (%02X) at %s, elapsed %s, about %s left",
                      e.Address(), e.Address(), LineSettingsText(e.CurrentLine()).c_str(),
                      DurationText(elapsed).c_str(), DurationText(e.EstimatedRemainingMs()).c_str());
        progress.Show(text);
    };
    std::vector<FoundNode> found;
    hooks.found = [&](const FoundNode& node, const SearchEngine&) {
        found.push_back(node);
        progress.Clear();
        PrintNode(node, 1, kinds);
        std::cout << std::flush;
    };
    RunPacedSearch(engine, hooks, &g_stopSearch);
    tellNotices();
    progress.Clear();
    if (g_stopSearch)
        std::cerr << "tavo: search stopped at address " << engine.Address() << "; the modules above "
                  << "were found before\n";
    if (sweep && engine.Notices().size() == static_cast<std::size_t>(engine.SettingCount()))
        throw PortFailure{"the port refused every line setting of the sweep"};
    if (args.Has("gateway-config")) {
        std::string error;
        if (!WriteSearchGatewayConfig(args.Get("gateway-config"), o, found, error))
            throw PortFailure{error};
        std::cerr << "tavo: the gateway configuration of the " << found.size()
                  << " modules found is in " << args.Get("gateway-config") << "\n";
    }
    return kOk;
}

int Sim(const std::vector<std::string>& argv) {
    const Args args = Args::Parse(argv, {"link", "tcp"}, {});
    if (args.words.size() != 1) throw UsageError{"tavo sim takes one bus file"};
    const bool tcp = args.Has("tcp");
    const auto tcpPort = static_cast<std::uint16_t>(args.GetInt("tcp", 0, 0, 65535));
    sim::Bus bus;
    std::string error;
    if (!sim::LoadBusFile(args.words[0], bus, error)) throw UsageError{error};
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr); // the server thread inherits the mask
    sim::PtyServer server(bus);
    if (!server.Start(error, args.Get("link"))) throw PortFailure{error};
    // The same bus on a loopback port, raw; its name (with the port chosen for 0)
    // on the second line.
    sim::TcpServer network(bus);
    if (tcp && !network.Start(error, tcpPort)) throw PortFailure{error};
    std::cout << server.DevicePath() << "\n";
    if (tcp) std::cout << "tcp://127.0.0.1:" << network.Port() << "\n";
    std::cout << std::flush;
    int signal = 0;
    sigwait(&signals, &signal);
    network.Stop();
    server.Stop();
    return kOk;
}

// ---- firmware ----

std::atomic<bool> g_cancel{false};

// "\r<label> [#####     ]  45%" on standard error, only when that is a terminal.
class ProgressBar {
public:
    ProgressBar() : shown_(isatty(STDERR_FILENO) != 0) {}
    ~ProgressBar() { Finish(); }
    void Show(const std::string& label, unsigned done, unsigned total) {
        if (!shown_ || total == 0) return;
        constexpr unsigned kWidth = 40;
        const unsigned filled = std::min(done, total) * kWidth / total;
        const std::string bar = std::string(filled, '#') + std::string(kWidth - filled, ' ');
        std::fprintf(stderr, "\r%-16.16s [%s] %3u%%", label.c_str(), bar.c_str(),
                     std::min(done, total) * 100 / total);
        std::fflush(stderr);
        open_ = true;
    }
    void Finish() {
        if (open_) std::fprintf(stderr, "\n");
        open_ = false;
    }

private:
    bool shown_;
    bool open_ = false;
};

int Fail(const std::string& message) {
    std::cerr << message << "\n";
    return kNoAnswer;
}

int FirmwareR8xx(const Args& args) {
    if (args.Has("designation") || args.Has("version"))
        throw UsageError{"--designation and --version belong to 'tavo firmware rack'"};
    if (args.words.size() != 2) throw UsageError{"tavo firmware r8xx takes one HEX file"};
    const std::string path = args.words[1];
    const PortOptions o = ReadPortOptions(args);
    // The whole file is checked before the module hears of it.
    std::ifstream in(path, std::ios::binary);
    if (!in) return Fail("Open file failed!\n" + path + ": cannot open it");
    std::stringstream text;
    text << in.rdbuf();
    R8xxImage image;
    std::string why;
    const auto fault = ParseR8xxFile(text.str(), image, why);
    if (fault != R8xxFileFault::None)
        return Fail(std::string(fault == R8xxFileFault::Header ? "Open file failed!"
                                                               : "Read data from image fail!") +
                    "\n" + path + ": " + why);
    auto port = OpenPort(o);
    TavoMR8XX loader(port.get(), "00");
    if (!loader.ReadConfig()) return Fail("Send request failed!");
    const std::string moduleId = "R8" + loader.TypeCode();
    if (image.targetModel != moduleId && !args.Has("force"))
        return Fail("Target module is Tavo-" + moduleId + ", continue anyway? (the file is for " +
                    image.targetModel + "; give --force to send it all the same)");
    if (!loader.StartDownload()) return Fail("Send request failed!");
    std::signal(SIGINT, [](int) { g_cancel = true; });
    ProgressBar bar;
    const auto blocks = static_cast<unsigned>(image.bytes.size() / kR8xxBlockData + 1);
    R8xxDownloader::Hooks hooks;
    hooks.progress = [&](unsigned block) { bar.Show("Downloading", block, blocks); };
    R8xxDownloader downloader(*port, std::move(image.bytes), R8xxIsR810OrR820(loader.TypeCode()),
                              hooks);
    const auto result = downloader.Run(&g_cancel);
    bar.Finish();
    if (result == R8xxDownloader::Result::Done) {
        std::cout << "Update Success, please search again!\n";
        return kOk;
    }
    if (result == R8xxDownloader::Result::Failed) std::cerr << "Ack fail!\n";
    return Fail(downloader.Detail() +
                "\nThere is no valid firmware in the module currently,\nplease DO NOT switch back "
                "to Normal mode and try again.");
}

int FirmwareRack(const Args& args) {
    if (args.Has("force")) throw UsageError{"--force belongs to 'tavo firmware r8xx'"};
    if (!args.Has("designation") || !args.Has("version"))
        throw UsageError{"tavo firmware rack needs --designation and --version (as the K100 "
                         "panel shows them)"};
    if (args.words.size() != 2) throw UsageError{"tavo firmware rack takes one firmware file"};
    const PortOptions o = ReadPortOptions(args);
    auto port = OpenPort(o);
    // A port that cannot change speed cannot be used for this at all.
    if (const std::string why = RackSpeedChangeRefusal(*port); !why.empty()) throw PortFailure{why};
    ProgressBar bar;
    std::string label;
    RackLoader::Hooks hooks;
    hooks.transferStarted = [&](const std::string& file, unsigned) {
        bar.Finish();
        label = file;
    };
    hooks.progress = [&](unsigned done, unsigned total) { bar.Show(label, done, total); };
    RackLoader loader(*port, hooks);
    const int result = loader.Download(args.Get("designation"), args.Get("version"), args.words[1],
                                       DataDirectoryList(ExecutableDirectory()));
    bar.Finish();
    if (result == kRackDone) {
        std::cout << RackResultMessage(result) << "\n";
        return kOk;
    }
    const std::string detail = loader.Detail().empty() ? "" : "\n" + loader.Detail();
    return Fail(RackResultMessage(result) + detail);
}

int Firmware(const std::vector<std::string>& argv) {
    const Args args = Args::Parse(
        argv, {"port", "baud", "parity", "stop", "timeout", "designation", "version"}, {"force"});
    const std::string kind = args.words.empty() ? "" : args.words[0];
    if (kind == "r8xx") return FirmwareR8xx(args);
    if (kind == "rack") return FirmwareRack(args);
    throw UsageError{"tavo firmware needs r8xx or rack"};
}

} // namespace
} // namespace tavo::cli

int main(int argc, char** argv) {
    using namespace tavo::cli;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::cout << kUsageText;
        return args.empty() ? kUsage : kOk;
    }
    if (args[0] == "--version") {
        std::cout << "tavo " << tavo::kProgramVersion << "\n";
        return kOk;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    try {
        if (command == "ports") {
            if (!args.empty()) throw UsageError{"tavo ports takes no arguments"};
            return Ports();
        }
        if (command == "send") return Send(args);
        if (command == "modbus") return Modbus(args);
        if (command == "sim") return Sim(args);
        if (command == "search") return Search(args);
        if (command == "firmware") return Firmware(args);
        if (command == "gateway") return Gateway(args);
        if (command == "read" || command == "watch" || command == "write")
            return RunPointCommand(command, args);
        throw UsageError{"unknown command '" + command + "'"};
    } catch (const UsageError& e) {
        std::cerr << "tavo: " << e.message << "\n" << kUsageText;
        return kUsage;
    } catch (const PortFailure& e) {
        std::cerr << "tavo: " << e.message << "\n";
        return kUsage;
    }
}
