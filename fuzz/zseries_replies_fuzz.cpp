// The replies of the Z-series controllers, their I/O slot modules and the R910
// converter, as the command classes cut them: any bytes in answer to every read,
// without a crash, and what a read accepts has the shape its caller relies on.
// The input is a list of replies separated by CR; each command takes the next one.
#include "devices/r910.h"
#include "devices/z_series.h"
#include "transport/com_port.h"
#include "transport/serial_backend.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

bool Hex(const std::string& s) {
    for (const char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    return !s.empty();
}

// Answers each written command with the next CR-ended piece of the input.
class ReplyBackend : public tavo::SerialBackend {
public:
    explicit ReplyBackend(std::string replies) : replies_(std::move(replies)) {}
    bool Open(const std::string&, tavo::PortError&) override { return open_ = true; }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    tavo::LineSettings CurrentSettings() const override { return settings_; }
    bool Apply(const tavo::LineSettings& s, tavo::PortError&) override {
        settings_ = s;
        return true;
    }
    tavo::IoResult Write(const std::uint8_t*, std::size_t n, tavo::Deadline) override {
        const std::size_t cr = replies_.find('\r', at_);
        pending_ = replies_.substr(at_, cr == std::string::npos ? std::string::npos : cr - at_ + 1);
        at_ = cr == std::string::npos ? replies_.size() : cr + 1;
        return {n, {}};
    }
    tavo::IoResult Read(std::uint8_t* data, std::size_t n, tavo::Deadline) override {
        tavo::IoResult r;
        r.count = std::min(n, pending_.size());
        std::copy_n(pending_.begin(), r.count, data);
        pending_.erase(0, r.count);
        if (r.count < n) r.error.kind = tavo::PortError::Kind::Timeout;
        return r;
    }
    bool DiscardInput() override { return true; }

private:
    std::string replies_, pending_;
    std::size_t at_ = 0;
    bool open_ = false;
    tavo::LineSettings settings_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tavo::TavoComPort port("fuzz", std::make_unique<ReplyBackend>(
                                       std::string(reinterpret_cast<const char*>(data), size)));
    if (!port.OpenPort()) return 0;
    port.SetTimeOut(1);

    tavo::ZelMZ350 controller(&port, "01");
    std::string out;
    controller.ReadProtocol(out);
    controller.ReadDeviceInstance(out);
    for (int i = -1; i <= 8; ++i) {
        std::string designation;
        if (controller.GetSlotDesignation(i, designation) &&
            (designation.size() != 4 || designation[0] != 'Z' || designation[3] != '0'))
            std::abort();
    }

    tavo::ZelMZ320 slot(&port, "01", "S3");
    std::string outputs = "untouched", inputs = "untouched";
    if (slot.ReadDIO(outputs, inputs)) {
        if (outputs.size() != 2 || inputs.size() != 2) std::abort();
    } else if (outputs != "untouched" || inputs != "untouched") {
        std::abort();
    }
    for (int c = 0; c < 4; ++c) {
        std::string type;
        if (slot.ReadAIType(c) && (!slot.GetChannelType(type) || type.size() != 2)) std::abort();
        slot.ReadAOType(c);
        slot.ReadLastOutput(c, out);
    }
    slot.ReadAll(out);

    tavo::TavoMR910 converter(&port, "38");
    if (converter.ReadConverterConfig()) {
        std::string config;
        int b232 = 0, b485 = 0, format = 0;
        if (!converter.GetConfigString(config) || config.size() != 10 || !Hex(config) ||
            !converter.GetRS232Baud(b232) || !converter.GetRS485Baud(b485) ||
            !converter.GetFormatByte(format) || b232 < 1 || b232 > 10 || b485 < 1 || b485 > 10 ||
            format < 0 || format > 0xFF)
            std::abort();
        int bits = 0, parity = 0, stop = 0;
        tavo::TavoMR910::SplitFormatByte(format, bits, parity, stop);
        if (bits < 0 || bits > 3 || parity < 0 || parity > 2 || stop < 0 || stop > 1) std::abort();
    }
    converter.ReadIdentification(out);
    converter.ReadGateTime(out);
    converter.ReadDelimiter(out);
    return 0;
}
