// The reply layout of a command line as typed in the terminal or a command file:
// the command library's layout of the same command, whatever the letters' case and
// whether the final CR is there yet; a line without two hexadecimal address digits
// is judged by its address as every other reply is.
#include "devices/reply_layouts.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

char Flip(char c) {
    if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
    return c;
}

bool Hex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using tavo::CommandLineLayout;
    using tavo::ReplyLayout;
    const std::string line(reinterpret_cast<const char*>(data), size);
    const ReplyLayout layout = CommandLineLayout(line);

    // The terminator the terminal adds changes nothing.
    if ((line.empty() || line.back() != '\r') && CommandLineLayout(line + "\r") != layout)
        __builtin_trap();

    std::string flipped = line;
    for (std::size_t i = 1; i < flipped.size(); ++i)
        flipped[i] = Flip(flipped[i]);
    if (CommandLineLayout(flipped) != layout) __builtin_trap();

    // What the command classes use for the same command, whatever its address.
    std::string bare = line;
    if (!bare.empty() && bare.back() == '\r') bare.pop_back();
    const bool addressed = bare.size() >= 3 && Hex(bare[1]) && Hex(bare[2]);
    const ReplyLayout expected = addressed
                                     ? tavo::LayoutOf(bare[0], std::string_view(bare).substr(3))
                                     : ReplyLayout::Addressed;
    if (layout != expected) __builtin_trap();
    return 0;
}
