// The file `tavo watch --csv` appends its rows to. Each cycle goes out in one write
// and is on the disk's way before the next cycle starts, so a killed program loses
// at most the cycle under way; a write that fails leaves the file as it was before
// that cycle, rows whole.
#pragma once

#include <string>
#include <sys/types.h>

namespace tavo::cli {

class CsvLog {
public:
    CsvLog() = default;
    ~CsvLog();
    CsvLog(const CsvLog&) = delete;
    CsvLog& operator=(const CsvLog&) = delete;

    // Opens `path` for appending, creating it when missing; writes `header` when the
    // file is new or empty, and ends a last row a killed writer left without its line
    // end. False with one line in `error`.
    bool Open(const std::string& path, const std::string& header, std::string& error);
    // Appends `rows` (whole lines). False with one line in `error` when the file
    // cannot take them; what it held before stays, nothing of `rows` is left half.
    bool Append(const std::string& rows, std::string& error);
    // Closes the file; false with one line in `error` when the system reports that
    // what was written could not be kept.
    bool Close(std::string& error);
    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }

private:
    bool WriteAll(const std::string& text, std::string& error);

    int fd_ = -1;
    std::string path_;
};

} // namespace tavo::cli
