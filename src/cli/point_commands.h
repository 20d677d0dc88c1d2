// `tavo read`, `tavo watch` and `tavo write`: a module's points on the command line.
#pragma once

#include <string>
#include <vector>

namespace tavo::cli {

// Runs `command` ("read", "watch" or "write") with the arguments after it. Wrong
// arguments, a port or file that cannot be used, and a module that names a model
// without points are told in one line on standard error, with status 2.
int RunPointCommand(const std::string& command, const std::vector<std::string>& argv);

} // namespace tavo::cli
