// A serial back end that plays a fuzzer's script: reads get the script's bytes in
// the chunk sizes it gives, or a time-out, or an I/O error; opening may fail. It
// never waits, so a transaction's bound is the script's length, not the clock.
#pragma once

#include "transport/serial_backend.h"

#include <cstdint>
#include <vector>

namespace tavo::fuzz {

class ScriptedBackend final : public SerialBackend {
public:
    ScriptedBackend(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Open(const std::string&, PortError& error) override {
        // After an I/O error the port tries to reopen: the script says whether the
        // device is back.
        if (errors_ > 0 && Next() & 1) {
            error = {PortError::Kind::NotFound, 0, "gone"};
            return false;
        }
        open_ = true;
        error = {};
        return true;
    }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    LineSettings CurrentSettings() const override { return {}; }
    bool Apply(const LineSettings&, PortError& error) override {
        error = {};
        return open_;
    }
    IoResult Write(const std::uint8_t*, std::size_t n, Deadline) override {
        IoResult r;
        if (!open_) r.error = {PortError::Kind::NotOpen, 0, "closed"};
        else r.count = n;
        return r;
    }
    IoResult Read(std::uint8_t* out, std::size_t n, Deadline) override {
        IoResult r;
        if (!open_) {
            r.error = {PortError::Kind::NotOpen, 0, "closed"};
            return r;
        }
        if (at_ >= size_) {
            r.error = {PortError::Kind::Timeout, 0, "script ended"};
            return r;
        }
        const std::uint8_t op = Next();
        if (op >= 0xF8) { // one in 32: the adapter is pulled
            ++errors_;
            r.error = {PortError::Kind::Io, 5, "read: I/O error"};
            return r;
        }
        if (op >= 0xE0) {
            r.error = {PortError::Kind::Timeout, 0, "time-out"};
            return r;
        }
        std::size_t chunk = op % 16 + 1;
        while (r.count < n && chunk-- > 0 && at_ < size_) {
            out[r.count++] = data_[at_++];
            served.push_back(out[r.count - 1]);
        }
        if (r.count == 0) r.error = {PortError::Kind::Timeout, 0, "script ended"};
        return r;
    }
    bool DiscardInput() override { return open_; }

    // Every byte handed to the port, in order.
    std::vector<std::uint8_t> served;

private:
    std::uint8_t Next() { return at_ < size_ ? data_[at_++] : 0; }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    bool open_ = false;
    int errors_ = 0;
};

} // namespace tavo::fuzz
