// The simulator's bus file. A refused file names a line the file has and leaves
// the bus as it was; an accepted one puts one module on the bus for every module
// line (none is skipped without a word).
#include "sim/bus.h"
#include "sim/bus_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>

namespace {

// Lines that describe a module: not blank, not a comment, not "wire" or "seed".
int ModuleLines(const std::string& text, int& lines) {
    std::istringstream in(text);
    std::string line;
    int modules = 0;
    lines = 0;
    while (std::getline(in, line)) {
        ++lines;
        std::size_t at = line.find('#');
        while (at != std::string::npos && at > 0 && line[at - 1] == '=')
            at = line.find('#', at + 1);
        if (at != std::string::npos) line.erase(at);
        std::istringstream words(line);
        std::string first;
        if (words >> first && first != "wire" && first != "seed") ++modules;
    }
    return modules;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    tavo::sim::Bus bus;
    std::string error;
    int lines = 0;
    const int modules = ModuleLines(text, lines);
    if (!tavo::sim::LoadBusText(text, bus, error)) {
        if (!bus.modules().empty() || bus.wireTime()) __builtin_trap();
        int n = 0;
        if (std::sscanf(error.c_str(), "line %d: ", &n) != 1 || n < 1 || n > lines ||
            error.find(": ") == std::string::npos)
            __builtin_trap();
        return 0;
    }
    if (!error.empty() && error.rfind("line ", 0) == 0) __builtin_trap();
    if (static_cast<int>(bus.modules().size()) != modules) __builtin_trap();
    return 0;
}
