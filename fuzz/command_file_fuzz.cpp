// The terminal's command files: the commands are the file's words in order. None
// is empty or holds white space, and together they are the file without its white
// space, so no byte of a command is lost, added or moved to another command.
#include "workspace/core/terminal_log.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string expected;
    for (const char c : text)
        if (!std::isspace(static_cast<unsigned char>(c))) expected += c;
    std::string joined;
    for (const auto& word : tavo::CommandFileWords(text)) {
        if (word.empty()) __builtin_trap();
        for (const char c : word)
            if (std::isspace(static_cast<unsigned char>(c))) __builtin_trap();
        joined += word;
    }
    if (joined != expected) __builtin_trap();
    return 0;
}
