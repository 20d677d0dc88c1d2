// A serial back end for harnesses: it records what the port writes and, after
// each write, offers the next reply of a script (the bytes up to and including the
// next CR) in reads of a chosen size. Nothing waits: a read past the offered bytes
// is a time-out at once.
#pragma once

#include "transport/com_port.h"
#include "transport/serial_backend.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavo::fuzz {

class ScriptedBackend : public SerialBackend {
public:
    ScriptedBackend(std::string_view script, std::size_t chunk)
        : script_(script), chunk_(chunk == 0 ? 1 : chunk) {}

    bool Open(const std::string&, PortError&) override { return open_ = true; }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    LineSettings CurrentSettings() const override { return settings_; }
    bool Apply(const LineSettings& settings, PortError&) override {
        settings_ = settings;
        return true;
    }
    IoResult Write(const std::uint8_t* data, std::size_t n, Deadline) override {
        written.append(reinterpret_cast<const char*>(data), n);
        ++writes;
        // The module answers with the next reply of the script.
        const std::size_t cr = script_.find('\r', used_);
        const std::size_t end = cr == std::string_view::npos ? script_.size() : cr + 1;
        offered_ = script_.substr(used_, end - used_);
        used_ = end;
        replies.emplace_back(offered_);
        return {n, {}};
    }
    IoResult Read(std::uint8_t* data, std::size_t n, Deadline) override {
        if (offered_.empty()) {
            IoResult r;
            r.error.kind = PortError::Kind::Timeout;
            return r;
        }
        const std::size_t k = std::min({n, chunk_, offered_.size()});
        std::copy_n(offered_.data(), k, data);
        offered_.remove_prefix(k);
        return {k, {}};
    }
    bool DiscardInput() override {
        offered_ = {};
        return true;
    }

    std::string written;              // every byte the port wrote
    std::size_t writes = 0;           // write calls
    std::vector<std::string> replies; // the reply offered after each write

private:
    std::string_view script_;
    std::size_t used_ = 0;
    std::string_view offered_;
    std::size_t chunk_;
    bool open_ = false;
    LineSettings settings_;
};

// An open port on a scripted back end; `backend` stays valid as long as the port.
struct ScriptedPort {
    ScriptedPort(std::string_view script, std::size_t chunk) {
        auto b = std::make_unique<ScriptedBackend>(script, chunk);
        backend = b.get();
        port = std::make_unique<TavoComPort>("fuzz", std::move(b));
        port->OpenPort();
        port->SetTimeOut(1);
    }
    ScriptedBackend* backend = nullptr;
    std::unique_ptr<TavoComPort> port;
};

} // namespace tavo::fuzz
