// The rack controller's firmware loader: a small loader image from the module
// maker goes first, then the user's firmware file, each as numbered 132-byte
// blocks with a handshake per block. Plain C++ so that the download window and
// `tavo firmware rack` run the same code; pauses and progress go through hooks.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tavo {

class TavoComPort;

inline constexpr std::size_t kRackBlockData = 128;
inline constexpr std::size_t kRackBlockSize = 132;
inline constexpr unsigned kRackFirmwareBlocks = 1024; // 128 KiB
// Where the loader images lie below each data folder.
inline constexpr const char* kLoaderFolder = "loader";

// Result codes of a rack download.
enum RackResult : int {
    kRackDone = 0,
    kRackSetBaudFailed = -1,
    kRackLoaderFailed = -2, // the loader image could not be found, read or sent
    kRackStartFailed = -3,
    kRackAckFailed = -4,
    kRackFirmwareFailed = -5, // the firmware file could not be read or sent
};

// The message box text for a result code.
std::string RackResultMessage(int result);

// Why a rack download cannot run on `port`, empty when it can: the loader switches
// the line to 38400 baud and back, which an open port that cannot send line
// settings (raw TCP, or a server that refused the COM-PORT-OPTION) cannot do.
// Download() and Run() refuse such a port with kRackSetBaudFailed and this as Detail().
std::string RackSpeedChangeRefusal(const TavoComPort& port);

struct RackLoaderImage {
    std::string fileName;
    unsigned blocks = 0;
};
// By rack designation and firmware version as the controller reports them:
// K100 up to version "A2.00" (compared character by character) takes
// "Download.img" (166 blocks), later K100 firmware "DnW900h.img", every other
// designation "DnW900e.img" (32 blocks each).
RackLoaderImage LoaderImageFor(const std::string& designation, const std::string& version);

// Block `number` (from 0) holding `n` <= 128 bytes, zero-filled to 128: number
// high and low byte, the data, their sum modulo 256, CR.
std::array<std::uint8_t, kRackBlockSize> RackBlock(unsigned number, const std::uint8_t* data,
                                                   std::size_t n);

class RackLoader {
public:
    struct Hooks {
        // Fixed waits of the protocol (20 ms, 1 s, 3 s, ...); sleeps when not set.
        std::function<void(int ms)> pause;
        // Called before every block attempt, so a window can stay responsive.
        std::function<void()> keepAlive;
        // A transfer of `file` in `blocks` blocks begins.
        std::function<void(const std::string& file, unsigned blocks)> transferStarted;
        // `done` of `blocks` blocks of the current transfer are through.
        std::function<void(unsigned done, unsigned blocks)> progress;
    };

    RackLoader(TavoComPort& port, Hooks hooks = {});

    // The port time-outs of the steps are at least `ms`: tests on a loaded machine
    // give the simulated controller more time than a real one needs.
    void SetMinTimeOut(int ms) { minTimeOutMs_ = ms; }

    // Finds the loader image for the rack in `dataDirs` (below kLoaderFolder) and
    // runs the download. A missing image fails with kRackLoaderFailed before
    // anything is sent, and Detail() names the file and the folders searched.
    int Download(const std::string& designation, const std::string& version,
                 const std::string& firmwarePath, const std::vector<std::string>& dataDirs);

    // The whole download with a given loader image. Both files are read and checked
    // first, so a file that cannot work never leaves the controller half-loaded.
    // The port ends at 9600 baud, 8N1, with its old time-out, whatever happened.
    int Run(const std::string& loaderPath, unsigned loaderBlocks, const std::string& firmwarePath);

    // What went wrong, for people; empty after a success.
    const std::string& Detail() const { return detail_; }
    // Block packets written (attempts included), for tests and statistics.
    unsigned BlocksWritten() const { return blocksWritten_; }

private:
    int Steps(const std::vector<std::uint8_t>& loader, const std::string& loaderName,
              unsigned loaderBlocks, const std::vector<std::uint8_t>& firmware,
              const std::string& firmwareName);
    bool Handshake(const char* command);
    bool SwitchTo38400();
    // The blocks of one file, then "&00E".
    bool Transfer(const std::string& name, const std::vector<std::uint8_t>& bytes, unsigned blocks);
    bool SendBlock(unsigned number, const std::uint8_t* data, std::size_t n);
    bool ReadReply(std::size_t bytesJustWritten, std::string& reply);
    void Pause(int ms);
    void SetTimeOut(int ms);

    TavoComPort& port_;
    Hooks hooks_;
    std::string detail_;
    unsigned blocksWritten_ = 0;
    int minTimeOutMs_ = 0;
};

} // namespace tavo
