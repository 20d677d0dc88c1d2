// The ASCII transaction on any bytes, in any chunk sizes, with time-outs and I/O
// errors between them: three commands in a row (so the quiet wait after a failure
// and the reopen after an I/O error run too). A success must be a reply a module
// could send to that command: '!' or '>', printable, ended by CR, and an addressed
// '!' reply from the command's address (hex digits in either case, as the port
// takes them: a terminal user may type the address in lower case).
#include "scripted_backend.h"
#include "transport/com_port.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

const char* const kCommands[] = {"$01M\r", "#03\r",  "$00M\r",  "%0107000600\r",
                                 "$1A6\r", "@0ADI\r", "$FFF\r", "#0A1\r"};

bool Hex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

void Check(const std::string& command, const std::string& reply, tavo::ReplyLayout layout) {
    if (reply.size() < 2 || (reply[0] != '!' && reply[0] != '>') || reply.back() != '\r')
        std::abort();
    for (std::size_t i = 0; i + 1 < reply.size(); ++i) {
        const auto c = static_cast<unsigned char>(reply[i]);
        if (c < 0x20 || c > 0x7E) std::abort();
    }
    if (reply[0] != '!' || layout != tavo::ReplyLayout::Addressed || command.substr(1, 2) == "00")
        return;
    if (reply.size() < 4 || !Hex(reply[1]) || !Hex(reply[2])) std::abort();
    const std::string from = Upper(reply.substr(1, 2));
    if (from != command.substr(1, 2) && !(command[0] == '%' && from == command.substr(3, 2)))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::uint8_t flags = data[0];
    auto owned = std::make_unique<tavo::fuzz::ScriptedBackend>(data + 3, size - 3);
    tavo::TavoComPort port("fuzz", std::move(owned));
    if (!port.OpenPort()) return 0;
    port.SetTimeOut(1);
    port.SetCheckSum(flags & 1);
    for (int i = 0; i < 3; ++i) {
        const std::uint8_t pick = data[i];
        const std::string command = kCommands[(pick >> 1) % std::size(kCommands)];
        const auto layout = pick & 0x10 ? tavo::ReplyLayout::Unaddressed
                                        : tavo::ReplyLayout::Addressed;
        std::string line = command, reply;
        const std::size_t limit = pick & 0x20 ? 16 : tavo::TavoComPort::kReplyLimit;
        if (port.SendCommand(line, limit, &reply, layout)) {
            if (reply.size() >= limit) std::abort();
            Check(command, reply, layout);
        } else if (port.LastError().kind == tavo::PortError::Kind::None) {
            std::abort(); // a failure always says why
        }
    }
    return 0;
}
