#include "log.h"

#include <cerrno>
#include <unistd.h>

namespace tavo::gateway {

LogSink StandardErrorLog() {
    return [](const std::string& line) {
        const std::string text = "tavo gateway: " + line + "\n";
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            done += static_cast<std::size_t>(n);
        }
    };
}

} // namespace tavo::gateway
