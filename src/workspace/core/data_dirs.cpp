#include "data_dirs.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace tavo {
namespace fs = std::filesystem;

std::vector<std::string> DataDirectoryList(const std::string& exeDir) {
    std::vector<std::string> dirs;
    if (!exeDir.empty())
        dirs.push_back(
            (fs::path(exeDir) / ".." / "share" / "tavo-utility").lexically_normal().string());
    std::string home;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
        home = xdg;
    } else if (const char* h = std::getenv("HOME"); h && *h) {
        home = std::string(h) + "/.local/share";
    }
    if (!home.empty())
        dirs.push_back((fs::path(home) / "tavo-utility").lexically_normal().string());
    return dirs;
}

std::string ExecutableDirectory() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

std::string FindFileIn(const std::vector<std::string>& dirs, const std::string& relative) {
    for (const auto& dir : dirs) {
        const fs::path path = fs::path(dir) / relative;
        std::error_code ec;
        if (fs::is_regular_file(path, ec)) return path.string();
    }
    return {};
}

} // namespace tavo
