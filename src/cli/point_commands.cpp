#include "point_commands.h"

#include "csv_log.h"
#include "point_watch.h"

#include "points/point_text.h"
#include "transport/modbus.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <poll.h>
#include <unistd.h>

namespace tavo::cli {
namespace {

// Writes everything to standard output at once; false when nobody reads it any more.
bool Print(const std::string& text) {
    if (text.empty()) return true;
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}

std::unique_ptr<TavoComPort> OpenFor(const PointCommand& command) {
    // The device classes take the Modbus pause from here when they are made.
    TavoModbusCOM::SetDefaultTurnaroundDelay(command.port.turnaroundMs);
    return OpenPort(command.port);
}

// The points of the command's one module: the model given, or the module's answer.
// Null, with the reason on standard error, when the module did not answer.
std::unique_ptr<ModulePoints> PointsOf(TavoComPort& port, const ModuleChoice& choice,
                                       std::unique_ptr<ModulePoints> given) {
    if (given) return given;
    std::string silence;
    const auto model = AskModel(port, choice, silence);
    if (!model) {
        std::cerr << "tavo: " << silence << "\n";
        return nullptr;
    }
    return MakePointsFor(choice, *model, true);
}

int Read(const std::vector<std::string>& argv) {
    const PointCommand command = ParsePointCommand(PointCommandKind::Read, argv);
    const ModuleChoice& choice = command.modules.front();
    auto given = choice.model.empty() ? nullptr : MakePointsFor(choice, choice.model, false);
    auto port = OpenFor(command);
    auto points = PointsOf(*port, choice, std::move(given));
    if (!points) return kNoAnswer;
    const bool answered = points->ReadAll(*port);
    const auto time = std::chrono::system_clock::now();
    port->ClosePort();
    Print(command.json ? PointsJson(*points, time) + "\n" : PointsTable(*points));
    if (!points->Notice().empty()) std::cerr << "tavo: " << points->Notice() << "\n";
    if (answered) return kOk;
    std::cerr << "tavo: " << NoAnswerText(choice, "any request") << "\n";
    return kNoAnswer;
}

int Write(const std::vector<std::string>& argv) {
    const PointCommand command = ParsePointCommand(PointCommandKind::Write, argv);
    const ModuleChoice& choice = command.modules.front();
    std::string error;
    // Point, kind, value and the model's widest range are checked before the module
    // hears anything.
    auto given = choice.model.empty() ? nullptr : MakePointsFor(choice, choice.model, false);
    if (given && !given->CheckWrite(command.point, command.value, error)) throw UsageError{error};
    auto port = OpenFor(command);
    auto points = PointsOf(*port, choice, std::move(given));
    if (!points) return kNoAnswer;
    if (!points->CheckWrite(command.point, command.value, error)) throw UsageError{error};
    // Then against the range the module is configured for.
    if (!points->LearnConfiguration(*port)) {
        std::cerr << "tavo: " << NoAnswerText(choice, "the configuration read")
                  << "; nothing was written\n";
        return kNoAnswer;
    }
    const auto value = points->CheckWrite(command.point, command.value, error);
    if (!value) throw UsageError{error};
    if (!points->Write(*port, command.point, *value, error)) {
        std::cerr << "tavo: " << error << "\n";
        return kNoAnswer;
    }
    points->ReadAll(*port);
    const auto time = std::chrono::system_clock::now();
    port->ClosePort();
    const auto index = static_cast<std::size_t>(points->IndexOf(command.point));
    Print(command.json ? PointsJson(*points, time, {index}) + "\n"
                       : PointLine(points->Points()[index], points->Readings()[index]) + "\n");
    return kOk;
}

// ---- watch ----

volatile std::sig_atomic_t g_stop = 0;
int g_wake = -1; // write end of the pipe a stop signal wakes the interval wait through

void OnStop(int) {
    const int saved = errno;
    g_stop = 1;
    if (g_wake >= 0) {
        const char byte = 1;
        [[maybe_unused]] const auto n = ::write(g_wake, &byte, 1);
    }
    errno = saved;
}

// Ctrl-C and SIGTERM end the watch after the transaction under way. Without
// SA_RESTART a blocking read returns EINTR, which the transport retries, so the
// transaction finishes as it would have.
class StopSignals {
public:
    StopSignals() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
            read_ = fds[0];
            g_wake = fds[1];
        }
        struct sigaction action {};
        action.sa_handler = OnStop;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
        // A reader that goes away (`tavo watch | head`) ends the watch like Ctrl-C, and
        // a CSV file at the size limit fails its write instead of ending the program.
        std::signal(SIGPIPE, SIG_IGN);
        std::signal(SIGXFSZ, SIG_IGN);
    }
    ~StopSignals() {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        const int wake = g_wake;
        g_wake = -1;
        if (wake >= 0) ::close(wake);
        if (read_ >= 0) ::close(read_);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Waits until `when` or a stop signal.
    void WaitUntil(Clock::time_point when) const {
        while (!g_stop) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now());
            if (left.count() <= 0) return;
            pollfd fd{read_, POLLIN, 0};
            ::poll(&fd, read_ >= 0 ? 1 : 0,
                   static_cast<int>(std::min<long long>(left.count(), 1'000'000)));
        }
    }

private:
    int read_ = -1;
};

int Watch(const std::vector<std::string>& argv) {
    const PointCommand command = ParsePointCommand(PointCommandKind::Watch, argv);
    std::vector<std::unique_ptr<ModulePoints>> given;
    for (const auto& choice : command.modules)
        given.push_back(choice.model.empty() ? nullptr : MakePointsFor(choice, choice.model, false));
    auto port = OpenFor(command);
    CsvLog csv;
    std::string error;
    if (!command.csvPath.empty() && !csv.Open(command.csvPath, std::string(kPointsCsvHeader), error))
        throw PortFailure{error};
    PointWatch watch(*port, command.modules, command.json, csv.IsOpen());
    for (std::size_t i = 0; i < given.size(); ++i)
        if (given[i]) watch.SetPoints(i, std::move(given[i]));

    g_stop = 0;
    StopSignals signals;
    const std::string name = command.port.port;
    port->SetLinkListener([&name](bool lost, const std::string& why) {
        if (lost)
            std::cerr << "tavo: port " << name << " lost (" << why << "); trying to reopen it every "
                      << TavoComPort::kReopenSpacingMs << " ms\n";
        else
            std::cerr << "tavo: port " << name << " is back\n";
    });
    // Once stopped, nothing more goes out: the port closes after the transaction under
    // way, and the requests left in that poll fail at once.
    TavoComPort& line = *port;
    port->SetExchangeObserver([&line](const PortExchange&) {
        if (g_stop) line.ClosePort();
    });

    int status = kOk;
    const auto interval = std::chrono::milliseconds(command.intervalMs);
    while (!g_stop) {
        const auto start = Clock::now();
        PointWatch::Output out;
        const bool going = watch.Cycle(out, [] { return g_stop != 0; });
        for (std::size_t from = 0; from < out.notes.size();) {
            const std::size_t end = out.notes.find('\n', from);
            std::cerr << "tavo: " << out.notes.substr(from, end - from) << "\n";
            from = end == std::string::npos ? out.notes.size() : end + 1;
        }
        if (!Print(out.lines)) g_stop = 1;
        if (!out.csvRows.empty() && !csv.Append(out.csvRows, error)) {
            std::cerr << "tavo: " << error << "\n";
            status = kUsage;
            break;
        }
        if (!out.fatal.empty()) {
            std::cerr << "tavo: " << out.fatal << "\n";
            status = kUsage;
            break;
        }
        if (!going) break;
        // Start to start; a cycle that took longer than the interval starts the next at once.
        signals.WaitUntil(std::max(start + interval, Clock::now()));
    }
    port->SetExchangeObserver({});
    port->ClosePort();
    if (!csv.Close(error)) {
        std::cerr << "tavo: " << error << "\n";
        status = kUsage;
    }
    return status;
}

// A message of one line, whatever text of the user's it quotes.
std::string OneLine(std::string message) {
    for (char& c : message)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return message;
}

} // namespace

int RunPointCommand(const std::string& command, const std::vector<std::string>& argv) {
    try {
        if (command == "read") return Read(argv);
        if (command == "write") return Write(argv);
        return Watch(argv);
    } catch (const UsageError& e) {
        std::cerr << "tavo: " << OneLine(e.message) << "\n";
    } catch (const PortFailure& e) {
        std::cerr << "tavo: " << OneLine(e.message) << "\n";
    }
    return kUsage;
}

} // namespace tavo::cli
