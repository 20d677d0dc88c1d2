// Runs the tavo command-line tool as a user would, for tests of what it prints.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace tavo::test {

struct Run {
    int status;
    std::string out; // standard output and standard error together
};

// `env` goes before the program ("XDG_DATA_HOME=/tmp/x").
inline Run Tavo(const std::string& args, const std::string& env = {}) {
    const std::string command = env + " " + std::string(TAVO_CLI) + " " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    std::array<char, 512> buf{};
    while (std::size_t n = fread(buf.data(), 1, buf.size(), pipe)) out.append(buf.data(), n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

} // namespace tavo::test
