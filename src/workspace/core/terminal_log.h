// The terminal's exchange and its log lines, shared by the terminal window and
// `tavo send --file`.
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace tavo {

class TavoComPort;

struct TerminalExchange {
    std::string command;  // as typed, without CR
    std::string reply;    // the reply without its final CR, "Timeout!", or "Error: " + why
                          // when the port failed (an unplugged adapter)
    long long elapsedMs = 0;
    bool ok = false;      // the transaction succeeded
    std::tm sentAt{};     // local time the command went out
    std::tm repliedAt{};  // local time the reply was taken
};

// The terminal's reply limit: at most 59 characters reach the log.
inline constexpr std::size_t kTerminalReplyLimit = 60;

// One transaction of `command` + CR with the checksum switch as given; the reply is
// taken in the layout the command library gives that command (CommandLineLayout).
TerminalExchange TerminalSend(TavoComPort& port, const std::string& command, bool checksum);

// "%-300s%02d:%02d:%02d": the command in 300 characters and the time.
std::string TerminalCommandLine(const std::string& command, const std::tm& at);
// The reply in 60 characters and the time, that in 75 characters, then the
// elapsed milliseconds and "(ms)".
std::string TerminalReplyLine(const std::string& reply, const std::tm& at, long long ms);

// The commands of a command file: its words (runs of characters without white
// space), in order.
std::vector<std::string> CommandFileWords(const std::string& text);

} // namespace tavo
