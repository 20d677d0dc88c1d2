#include "r8xx_download.h"

#include "port_timing.h"

#include <algorithm>
#include <cstdio>

namespace tavo {
namespace {

std::string Shown(const std::uint8_t* bytes, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
        out += (i ? " " : "") + std::string(buf);
    }
    return out;
}

} // namespace

R8xxDownloader::R8xxDownloader(TavoComPort& port, std::vector<std::uint8_t> image, bool r810OrR820,
                               Hooks hooks)
    : port_(port), image_(std::move(image)), r810OrR820_(r810OrR820), hooks_(std::move(hooks)) {}

unsigned R8xxDownloader::BlockCount() const {
    return static_cast<unsigned>(image_.size() / kR8xxBlockData) + 1;
}

// Writes one packet and takes its acknowledgement; the input is cleared after it
// so a stray byte cannot be mistaken for the next acknowledgement.
bool R8xxDownloader::Exchange(const std::uint8_t* packet, std::size_t n, const std::string& what) {
    if (!port_.WriteBytes(n, packet)) {
        detail_ = what + ": cannot write to the port (" + port_.LastError().text + ")";
        return false;
    }
    bytesSent_ += n;
    ackBytes_ += kR8xxAck.size();
    std::uint8_t ack[kR8xxAck.size()] = {};
    std::size_t got = 0;
    port_.ReadBytes(kR8xxAck.size(), ack, &got);
    port_.PurgeInput();
    if (got == kR8xxAck.size() && std::equal(kR8xxAck.begin(), kR8xxAck.end(), ack)) return true;
    detail_ =
        what + (got == 0 ? ": no acknowledgement"
                         : ": the module answered " + Shown(ack, got) + " instead of 00 00 0D");
    return false;
}

R8xxDownloader::Result R8xxDownloader::Run(const std::atomic<bool>* cancel) {
    detail_.clear();
    bytesSent_ = ackBytes_ = 0;
    // An acknowledgement can only come once the packet and itself have crossed the
    // wire, plus the module's own time: ReadBytes of 3 bytes waits four time-outs,
    // which must cover the wire time and two ordinary time-outs.
    const int base = port_.GetTimeOut() > 0 ? port_.GetTimeOut() : 0;
    const int wire = WireMs(kR8xxBlockSize + kR8xxAck.size(), port_.GetLineSettings().baud);
    ScopedTimeOut timeOut(port_, std::max(base, (wire + 2 * base + 3) / 4));

    const auto packets = R8xxPackets(image_, r810OrR820_);
    const unsigned full = BlockCount() - 1;
    const unsigned first = R8xxFirstBlockSent(r810OrR820_);
    for (unsigned b = 1; b < first && b <= full; ++b) // kept by the module: counted, not sent
        if (hooks_.progress) hooks_.progress(b);
    for (std::size_t i = 0; i < packets.size(); ++i) {
        const bool last = i + 1 == packets.size();
        const std::string what = last ? "final packet" : "block " + std::to_string(first + i);
        if (cancel && cancel->load()) {
            detail_ = "cancelled before the " + what;
            return Result::Cancelled;
        }
        if (!Exchange(packets[i].data(), packets[i].size(), what)) return Result::Failed;
        if (last) break;
        if (hooks_.status) hooks_.status("Please wait...");
        if (hooks_.progress) hooks_.progress(first + static_cast<unsigned>(i));
    }
    if (hooks_.progress) hooks_.progress(BlockCount());
    return Result::Done;
}

} // namespace tavo
