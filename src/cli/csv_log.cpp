#include "csv_log.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavo::cli {

CsvLog::~CsvLog() {
    std::string ignored;
    Close(ignored);
}

bool CsvLog::Open(const std::string& path, const std::string& header, std::string& error) {
    path_ = path;
    // Read access only to look at the last byte; a file we may only write is taken
    // as it is.
    fd_ = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    const bool readable = fd_ >= 0;
    if (fd_ < 0 && (errno == EACCES || errno == EPERM))
        fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        error = "cannot open the CSV file " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        error = "cannot open the CSV file " + path + ": " + std::strerror(errno);
        Close(error);
        return false;
    }
    std::string start;
    if (!S_ISREG(st.st_mode) || st.st_size == 0) {
        start = header;
    } else if (readable) {
        char last = '\n';
        if (::pread(fd_, &last, 1, st.st_size - 1) == 1 && last != '\n') start = "\n";
    }
    if (!start.empty() && !WriteAll(start, error)) {
        std::string ignored;
        Close(ignored);
        return false;
    }
    return true;
}

bool CsvLog::WriteAll(const std::string& text, std::string& error) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = "cannot write the CSV file " + path_ + ": " +
                    (n < 0 ? std::strerror(errno) : "the file takes no more");
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool CsvLog::Append(const std::string& rows, std::string& error) {
    if (fd_ < 0) {
        error = "the CSV file " + path_ + " is not open";
        return false;
    }
    if (rows.empty()) return true;
    struct stat st {};
    const bool regular = ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
    if (WriteAll(rows, error)) return true;
    // Rows whole or not at all: cut off what part of this cycle went in.
    if (regular && ::ftruncate(fd_, st.st_size) != 0) {
        error += " (and its last row may be cut: " + std::string(std::strerror(errno)) + ")";
        return false;
    }
    error += "; it keeps the rows written before";
    return false;
}

bool CsvLog::Close(std::string& error) {
    if (fd_ < 0) return true;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) {
        error = "cannot write the CSV file " + path_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace tavo::cli
