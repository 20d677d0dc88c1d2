// The program's data folders without Qt, so that the command-line tool finds the
// same files (loader images) as the desktop program.
#pragma once

#include <string>
#include <vector>

namespace tavo {

// Searched in this order:
//   <exeDir>/../share/tavo-utility            (installed or build tree)
//   $XDG_DATA_HOME/tavo-utility               (default ~/.local/share/tavo-utility)
// An empty `exeDir` leaves out the first.
std::vector<std::string> DataDirectoryList(const std::string& exeDir);

// The folder of the running program (from /proc/self/exe); empty when unknown.
std::string ExecutableDirectory();

// The first existing regular file `relative` below one of `dirs`, or empty.
std::string FindFileIn(const std::vector<std::string>& dirs, const std::string& relative);

} // namespace tavo
