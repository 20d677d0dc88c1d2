#include "terminal_log.h"

#include "devices/reply_layouts.h"
#include "transport/com_port.h"

#include <chrono>
#include <cstdio>
#include <sstream>

namespace tavo {
namespace {

std::tm LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

std::string Padded(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string TimeOfDay(const std::tm& at) {
    char t[16];
    std::snprintf(t, sizeof t, "%02d:%02d:%02d", at.tm_hour, at.tm_min, at.tm_sec);
    return t;
}

} // namespace

TerminalExchange TerminalSend(TavoComPort& port, const std::string& command, bool checksum) {
    TerminalExchange x;
    x.command = command;
    port.SetCheckSum(checksum);
    std::string line = command + "\r";
    x.sentAt = LocalNow();
    const auto start = std::chrono::steady_clock::now();
    std::string reply;
    // The command classes' reply layouts: "$AA6" answered "!05E000" is outputs 05,
    // not a reply from address 05.
    const ReplyLayout layout = CommandLineLayout(line);
    x.ok = port.SendCommand(line, kTerminalReplyLimit, &reply, layout);
    x.elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
    x.repliedAt = LocalNow();
    const PortError::Kind why = port.LastError().kind;
    if (reply.empty() && !x.ok && why != PortError::Kind::Timeout &&
        why != PortError::Kind::None) {
        // Nothing came because the port failed, not because the module was silent.
        x.reply = "Error: " + port.LastError().text;
    } else if (reply.empty()) {
        x.reply = "Timeout!";
    } else {
        if (reply.back() == '\r') reply.pop_back();
        x.reply = reply;
    }
    return x;
}

std::string TerminalCommandLine(const std::string& command, const std::tm& at) {
    return Padded(command, 300) + TimeOfDay(at);
}

std::string TerminalReplyLine(const std::string& reply, const std::tm& at, long long ms) {
    return Padded(Padded(reply, 60) + TimeOfDay(at), 75) + std::to_string(ms) + "(ms)";
}

std::vector<std::string> CommandFileWords(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    std::string word;
    while (in >> word) words.push_back(word);
    return words;
}

} // namespace tavo
