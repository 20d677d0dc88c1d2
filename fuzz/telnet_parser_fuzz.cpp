// The Telnet receive side of RFC 2217 ports: whatever a server sends, in whatever
// pieces it arrives. The first byte chooses where the stream is cut. Never more
// data out than in, every command at least three bytes of the stream, each
// subnegotiation bounded, the same result however the stream is cut, and what
// TelnetEscape makes of any bytes comes back as exactly those bytes.
#include "transport/network_serial.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using tavo::TelnetParser;

bool SameCommands(const std::vector<TelnetParser::Command>& a,
                  const std::vector<TelnetParser::Command>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].verb != b[i].verb || a[i].option != b[i].option || a[i].payload != b[i].payload)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::size_t step = data[0] % 7 + 1;
    const std::uint8_t* in = data + 1;
    const std::size_t n = size - 1;

    TelnetParser whole;
    std::vector<std::uint8_t> wholeData;
    std::vector<TelnetParser::Command> wholeCommands;
    whole.Feed(in, n, wholeData, wholeCommands);

    TelnetParser pieces;
    std::vector<std::uint8_t> piecesData;
    std::vector<TelnetParser::Command> piecesCommands;
    for (std::size_t at = 0; at < n; at += step) {
        const std::size_t len = at + step <= n ? step : n - at;
        pieces.Feed(in + at, len, piecesData, piecesCommands);
        if (piecesData.size() > at + len) std::abort(); // more data than came in
    }

    if (wholeData != piecesData || !SameCommands(wholeCommands, piecesCommands)) std::abort();
    if (wholeData.size() + 3 * wholeCommands.size() > n) std::abort();
    for (const auto& c : wholeCommands)
        if (c.payload.size() > TelnetParser::kMaxSub) std::abort();

    // Escaped line data goes through untouched and makes no commands.
    const std::vector<std::uint8_t> escaped = tavo::TelnetEscape(in, n);
    TelnetParser back;
    std::vector<std::uint8_t> backData;
    std::vector<TelnetParser::Command> backCommands;
    back.Feed(escaped.data(), escaped.size(), backData, backCommands);
    if (backData != std::vector<std::uint8_t>(in, in + n) || !backCommands.empty()) std::abort();
    return 0;
}
