// Runs the tavo command-line tool as a user would, for tests of what it prints.
#pragma once

#include "support/process.h"

namespace tavo::test {

// `args` after the program's name, each one argument as the shell would pass a
// quoted word; `env` changes the environment ("XDG_DATA_HOME=/some/dir").
inline Run Tavo(std::vector<std::string> args, const EnvChanges& env = {}) {
    args.insert(args.begin(), TAVO_CLI);
    return RunProgram(args, env);
}

} // namespace tavo::test
