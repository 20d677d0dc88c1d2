// Sends an R8XX image to a module waiting in its boot loader (after "$00D"):
// block after block, each answered by a three-byte acknowledgement. Plain C++ so
// that the panel's worker thread and `tavo firmware r8xx` run the same code.
#pragma once

#include "r8xx_image.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace tavo {

class TavoComPort;

class R8xxDownloader {
public:
    enum class Result { Done, Failed, Cancelled };
    struct Hooks {
        // The number of the full block just handled (sent, or skipped by the model's
        // skip count); at the end, after the final packet, BlockCount().
        std::function<void(unsigned block)> progress;
        // "Please wait..." after every block that went out.
        std::function<void(const std::string& text)> status;
    };

    // `image` as ParseR8xxFile made it; the port is used from the calling thread
    // only and is left at the line settings and time-out it had.
    R8xxDownloader(TavoComPort& port, std::vector<std::uint8_t> image, bool r810OrR820,
                   Hooks hooks = {});

    // Sends every packet; stops at the first one not acknowledged, or between
    // packets when `cancel` turns true.
    Result Run(const std::atomic<bool>* cancel = nullptr);

    // Full blocks of the image plus the final packet: what progress counts up to.
    unsigned BlockCount() const;
    // Bytes written to the port and acknowledgement bytes expected back, so far.
    std::size_t BytesSent() const { return bytesSent_; }
    std::size_t AckBytes() const { return ackBytes_; }
    // Why the run failed, for people ("block 7: no acknowledgement").
    const std::string& Detail() const { return detail_; }

private:
    bool Exchange(const std::uint8_t* packet, std::size_t n, const std::string& what);

    TavoComPort& port_;
    std::vector<std::uint8_t> image_;
    bool r810OrR820_;
    Hooks hooks_;
    std::size_t bytesSent_ = 0;
    std::size_t ackBytes_ = 0;
    std::string detail_;
};

} // namespace tavo
