// The gateway's log: one line per event (a module offline or back, the broker
// connected or lost, a command refused, a reload), never one per poll. Lines go to
// standard error, where the service manager's journal takes them.
#pragma once

#include <functional>
#include <string>

namespace tavo::gateway {

// Takes one line without its line end; may be called from any thread.
using LogSink = std::function<void(const std::string& line)>;

// Writes "tavo gateway: LINE\n" to standard error in one write, so lines of two
// threads never mix.
LogSink StandardErrorLog();

} // namespace tavo::gateway
