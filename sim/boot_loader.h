// Firmware loaders of the simulated modules: the R8XX boot loader of the R810,
// R820, R850 and R860, and the download mode of the K100 rack controllers. Both
// keep what they received, so tests can compare it byte for byte with the file
// that was sent, and both take injected faults per packet.
#pragma once

#include "module.h"

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tavo::sim {

// What a loader does with one packet instead of the right thing.
enum class PacketFault {
    Nak,     // refuses it although it is sound (and keeps nothing)
    DropAck, // keeps it but its acknowledgement is lost on the way
};

// A loader that heard nothing for this long mid-transfer gives up and listens for
// command lines again.
inline constexpr std::chrono::milliseconds kTransferTimeout{400};

// The R8XX boot loader. Outside it the module is its normal self and #AAOS enters
// it; inside it the module answers as "R8XX" at address 00, 9600 baud, without
// checksum, and $002 reports the model's digits as type ("50" for R850):
//   %0000TTCCFF     !00        a new baud code CC (TT and FF are kept)
//   $00D            !00        request for a firmware image: the old one is gone from
//                              then on, and binary packets follow
//   #00OS           !00 / ?00  back to normal operation at 9600 baud with the
//                              configured address, if a valid image is there
//   $00F, $00M, $00OU, #00OU0cc as every module; everything else is refused.
// Packets after $00D: 0x82 + 128 bytes + checksum (a block), n + 2 bytes for the
// last n < 128 bytes (n + 2, the bytes, checksum), or 0x86 0 0 0 0 (no bytes left);
// the bytes of every pair come exchanged and all bytes of a packet sum to 0 modulo
// 256. Each good packet is answered 00 00 CR. A packet with a wrong checksum or an
// unknown first byte, or an image that outgrows the 64 KiB flash, is answered
// 15 00 CR (NAK) and ends the transfer with no valid image. After the last packet
// the image is valid.
class R8xxBootLoader : public CommandSet {
public:
    static constexpr std::size_t kFlashSize = 0x10000;
    static constexpr std::uint8_t kNak[3] = {0x15, 0x00, '\r'};

    // `modelDigits`: "10", "20", "50" or "60".
    R8xxBootLoader(SimModule& m, std::string modelDigits);

    std::optional<std::string> Ascii(SimModule& m, char lead, std::string_view body) override;
    bool WantsBinary(TimePoint now) override;
    std::size_t Binary(SimModule& m, const std::uint8_t* data, std::size_t n,
                       std::optional<Bytes>& reply) override;

    void Enter();
    void Leave();
    bool Active() const { return active_; }
    bool DownloadRequested() const { return downloadRequested_; }
    bool Receiving() const { return receiving_; }
    bool ImageValid() const { return imageValid_; }
    void SetImageValid(bool valid) { imageValid_ = valid; }
    // The image as the module put it together (pairs back in order) since $00D.
    const Bytes& Image() const { return image_; }
    // The packets of the current transfer as they arrived.
    const std::vector<Bytes>& Packets() const { return packets_; }
    // Packet `index` (from 0) of the next transfers meets `fault` once.
    void InjectFault(std::size_t index, PacketFault fault) { faults_[index] = fault; }

    // The model's own reaction to entering and leaving (outputs off, counters).
    std::function<void()> onEnter;
    std::function<void()> onLeave;

private:
    Bytes Nak();

    SimModule& m_;
    std::string modelDigits_;
    bool active_ = false;
    bool downloadRequested_ = false;
    bool receiving_ = false;
    bool imageValid_ = true;
    TimePoint lastActivity_{};
    Bytes image_;
    std::vector<Bytes> packets_;
    std::map<std::size_t, PacketFault> faults_;
    std::optional<ModuleConfig> normal_;
};

// For the models with an R8XX boot loader: adds it (first, so that it takes every
// command while active) and takes its bus file options: "image=valid|none", and on
// the designation "R8XX" "target=R810|R820|R850|R860", which becomes the module's
// designation. `startInLoader` tells whether the module starts in the boot
// loader. Null for other models.
R8xxBootLoader* AddR8xxBootLoader(SimModule& m, bool& startInLoader);

// Download mode of the K100 rack controllers, entered with $00D at address 00:
//   $00D            !00        enter download mode (also again while in it)
//   &00S3           (silence)  talk at 38400 baud from now on
//   &00A            !00        are you there
//   &00D            !00        a 132-byte block follows: number high, number low,
//                              128 data bytes, their sum modulo 256, CR; answered
//                              !00 CR when sound and ?00 CR when not
//   &00E            (silence)  the transfer is complete: after the loader image the
//                              loader starts and talks at 9600 baud; after the
//                              firmware the controller restarts as it was
// Everything else is refused while in download mode.
class RackDownload : public CommandSet {
public:
    enum class Stage { Off, Loader, Firmware };
    static constexpr unsigned kLoaderCapacity = 256;    // blocks
    static constexpr unsigned kFirmwareCapacity = 1024; // blocks

    explicit RackDownload(SimModule& m) : m_(m) {}

    std::optional<std::string> Ascii(SimModule& m, char lead, std::string_view body) override;
    bool WantsBinary(TimePoint now) override;
    std::size_t Binary(SimModule& m, const std::uint8_t* data, std::size_t n,
                       std::optional<Bytes>& reply) override;

    Stage stage() const { return stage_; }
    // The loader image and the firmware as received (block n at n * 128; blocks
    // never received are zero), and how often a whole firmware arrived.
    const Bytes& LoaderImage() const { return loader_; }
    const Bytes& Firmware() const { return firmware_; }
    int FirmwareUpdates() const { return updates_; }
    // Every accepted block: stage and number, in order (repeats included).
    const std::vector<std::pair<Stage, unsigned>>& Blocks() const { return blocks_; }
    // Block packet `index` (from 0, counting every packet of the session) meets
    // `fault` once.
    void InjectFault(std::size_t index, PacketFault fault) { faults_[index] = fault; }

private:
    void Enter();
    void Leave();

    SimModule& m_;
    Stage stage_ = Stage::Off;
    bool blockExpected_ = false;
    TimePoint armedAt_{};
    Bytes loader_, firmware_;
    int updates_ = 0;
    std::size_t packetCount_ = 0;
    std::vector<std::pair<Stage, unsigned>> blocks_;
    std::map<std::size_t, PacketFault> faults_;
    std::optional<ModuleConfig> normal_;
};

} // namespace tavo::sim
