// Serial port back end over POSIX termios.
#pragma once

#include "serial_backend.h"

namespace tavo {

// Turns a port name into a device path: "ttyUSB0" -> "/dev/ttyUSB0"; a name that
// already contains '/' is used as given.
std::string DevicePathFor(const std::string& name);

// Describes the process that holds `devicePath` open, such as "minicom (pid 812)";
// empty when none is found or /proc cannot be read.
std::string FindPortHolder(const std::string& devicePath);

class PosixSerialBackend final : public SerialBackend {
public:
    PosixSerialBackend() = default;
    ~PosixSerialBackend() override;
    PosixSerialBackend(const PosixSerialBackend&) = delete;
    PosixSerialBackend& operator=(const PosixSerialBackend&) = delete;

    // Opens exclusively (TIOCEXCL and an advisory lock, which also holds against
    // root), non-blocking, raw. DTR and RTS are not touched and HUPCL is cleared so
    // closing does not drop them either: toggling them resets some adapters.
    bool Open(const std::string& name, PortError& error) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }
    LineSettings CurrentSettings() const override { return settings_; }
    bool Apply(const LineSettings& settings, PortError& error) override;
    IoResult Write(const std::uint8_t* data, std::size_t n, Deadline deadline) override;
    IoResult Read(std::uint8_t* data, std::size_t n, Deadline deadline) override;
    bool DiscardInput() override;

private:
    IoResult Fail(int err, const char* what);

    int fd_ = -1;
    bool justWrote_ = false;
    std::string path_;
    LineSettings settings_;
};

} // namespace tavo
