#include "rack_loader.h"

#include "data_dirs.h"
#include "network_address.h"
#include "port_timing.h"
#include "transport/com_port.h"
#include "transport/pause.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>

namespace tavo {
namespace {

constexpr int kHandshakeAttempts = 6;
constexpr int kBlockAttempts = 10;
constexpr std::size_t kReplyLimit = 64;
constexpr std::size_t kLongestCommand = 6; // "&00S3\r"

// The driver changes the speed at once, even under bytes still queued: the last
// command must be on the wire first, whatever the pauses were (with a margin for
// adapters that buffer).
bool ChangeSpeed(TavoComPort& port, std::uint32_t baud, const std::function<void(int)>& pause) {
    const std::uint32_t now = port.GetLineSettings().baud;
    if (now != baud && port.IsOpen()) {
        // The command's own bytes take line time that passes whatever clock the
        // caller keeps; the margin for buffering adapters is a fixed wait.
        LineWait(WireMs(kLongestCommand, now));
        pause(20);
    }
    return port.SetPortState(baud, 8, kParityNone, kOneStopBit);
}

// The port's state when the download began, put back whatever happens: 9600
// baud, 8N1 and the old time-out.
class PortRestorer {
public:
    PortRestorer(TavoComPort& port, std::function<void(int)> pause)
        : port_(port), timeOut_(port.GetTimeOut()), pause_(std::move(pause)) {}
    ~PortRestorer() {
        port_.SetTimeOut(timeOut_);
        ChangeSpeed(port_, 9600, pause_);
    }
    PortRestorer(const PortRestorer&) = delete;
    PortRestorer& operator=(const PortRestorer&) = delete;

private:
    TavoComPort& port_;
    int timeOut_;
    std::function<void(int)> pause_;
};

// Reads a whole file of at most `limit` bytes; false when it cannot be opened or
// is larger (then `bytes` holds limit + 1 bytes).
bool ReadFile(const std::string& path, std::size_t limit, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(limit + 1, 0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return !in.bad();
}

// A file goes out as `blocks` reads of 128 bytes; a short read ends it, and a
// read that found nothing still counts. So it reaches its last block only when
// it holds at least blocks - 1 full blocks, and with more than `blocks` blocks
// the rest would be cut off silently.
bool CheckSize(const std::string& path, const std::vector<std::uint8_t>& bytes, std::size_t limit,
               unsigned blocks, const char* what, std::string& detail) {
    const std::size_t least = (blocks - 1) * kRackBlockData;
    if (bytes.size() > limit) {
        detail = path + " is larger than the " + std::to_string(limit) + " bytes (" +
                 std::to_string(blocks) + " blocks) of " + what;
        return false;
    }
    if (bytes.size() < least || bytes.empty()) {
        detail = path + " holds " + std::to_string(bytes.size()) + " bytes; " + what + " of " +
                 std::to_string(blocks) + " blocks needs at least " + std::to_string(least);
        return false;
    }
    return true;
}

std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string RackResultMessage(int result) {
    switch (result) {
    case kRackDone:
        return "Download firmware done!";
    case kRackSetBaudFailed:
        return "Set baudrate failed!";
    case kRackLoaderFailed:
        return "Send mini-program failed!";
    case kRackStartFailed:
        return "Send START failed!";
    case kRackAckFailed:
        return "Send ACK failed!";
    default:
        return "Download firmware failed!";
    }
}

std::string RackSpeedChangeRefusal(const TavoComPort& port) {
    if (!port.IsOpen() || port.CanSetLineSettings()) return {};
    const std::string name = port.GetPortName();
    return "The rack download switches the line to 38400 baud and back, and " + name +
           " cannot change the line speed (" + FixedLineReason(port.LineFixed()) +
           "): use an rfc2217:// port or a serial adapter.";
}

RackLoaderImage LoaderImageFor(const std::string& designation, const std::string& version) {
    if (designation != "K100") return {"DnW900e.img", 32};
    if (version <= std::string("A2.00")) return {"Download.img", 166};
    return {"DnW900h.img", 32};
}

std::array<std::uint8_t, kRackBlockSize> RackBlock(unsigned number, const std::uint8_t* data,
                                                   std::size_t n) {
    std::array<std::uint8_t, kRackBlockSize> block{};
    block[0] = static_cast<std::uint8_t>(number / 256 % 256);
    block[1] = static_cast<std::uint8_t>(number % 256);
    unsigned sum = block[0] + block[1];
    for (std::size_t i = 0; i < n && i < kRackBlockData; ++i) {
        block[2 + i] = data[i];
        sum += data[i];
    }
    block[130] = static_cast<std::uint8_t>(sum % 256);
    block[131] = '\r';
    return block;
}

RackLoader::RackLoader(TavoComPort& port, Hooks hooks) : port_(port), hooks_(std::move(hooks)) {}

void RackLoader::Pause(int ms) {
    if (hooks_.pause)
        hooks_.pause(ms);
    else
        tavo::Pause(ms);
}

void RackLoader::SetTimeOut(int ms) {
    port_.SetTimeOut(std::max(ms, minTimeOutMs_));
}

int RackLoader::Download(const std::string& designation, const std::string& version,
                         const std::string& firmwarePath,
                         const std::vector<std::string>& dataDirs) {
    detail_ = RackSpeedChangeRefusal(port_);
    if (!detail_.empty()) return kRackSetBaudFailed;
    PortRestorer restore(port_, [this](int ms) { Pause(ms); });
    const RackLoaderImage image = LoaderImageFor(designation, version);
    const std::string relative = std::string(kLoaderFolder) + "/" + image.fileName;
    const std::string path = FindFileIn(dataDirs, relative);
    if (path.empty()) {
        std::string folders;
        for (const auto& dir : dataDirs)
            folders += (folders.empty() ? "" : ", ") + dir + "/" + kLoaderFolder;
        detail_ = "The loader image \"" + image.fileName +
                  "\" was not found. It comes from the "
                  "module maker; copy it into one of these folders: " +
                  (folders.empty() ? std::string("(none known)") : folders) + ".";
        return kRackLoaderFailed;
    }
    return Run(path, image.blocks, firmwarePath);
}

int RackLoader::Run(const std::string& loaderPath, unsigned loaderBlocks,
                    const std::string& firmwarePath) {
    detail_ = RackSpeedChangeRefusal(port_);
    if (!detail_.empty()) return kRackSetBaudFailed;
    PortRestorer restore(port_, [this](int ms) { Pause(ms); });
    blocksWritten_ = 0;
    std::vector<std::uint8_t> loader, firmware;
    const std::size_t loaderLimit = loaderBlocks * kRackBlockData;
    const std::size_t firmwareLimit = kRackFirmwareBlocks * kRackBlockData;
    if (loaderBlocks == 0 || !ReadFile(loaderPath, loaderLimit, loader)) {
        detail_ = "cannot read the loader image " + loaderPath;
        return kRackLoaderFailed;
    }
    if (!CheckSize(loaderPath, loader, loaderLimit, loaderBlocks, "a loader image", detail_))
        return kRackLoaderFailed;
    if (!ReadFile(firmwarePath, firmwareLimit, firmware)) {
        detail_ = "cannot read the firmware file " + firmwarePath;
        return kRackFirmwareFailed;
    }
    if (!CheckSize(firmwarePath, firmware, firmwareLimit, kRackFirmwareBlocks, "rack firmware",
                   detail_))
        return kRackFirmwareFailed;

    return Steps(loader, BaseName(loaderPath), loaderBlocks, firmware, BaseName(firmwarePath));
}

int RackLoader::Steps(const std::vector<std::uint8_t>& loader, const std::string& loaderName,
                      unsigned loaderBlocks, const std::vector<std::uint8_t>& firmware,
                      const std::string& firmwareName) {
    SetTimeOut(10);
    if (!Handshake("$00D\r")) {
        detail_ = "the controller did not answer the download request ($00D)";
        return kRackStartFailed;
    }
    Pause(20);
    if (!SwitchTo38400()) return kRackSetBaudFailed;
    Pause(20);
    if (!Handshake("&00A\r")) {
        detail_ = "the controller did not answer at 38400 baud";
        return kRackAckFailed;
    }
    if (!Transfer(loaderName, loader, loaderBlocks)) return kRackLoaderFailed;
    // The controller starts the loader, which talks at 9600 baud.
    Pause(3000);
    ChangeSpeed(port_, 9600, [this](int ms) { Pause(ms); });
    SetTimeOut(80);
    if (!Handshake("&00A\r")) {
        detail_ = "the loader did not answer after it was started";
        return kRackAckFailed;
    }
    Pause(20);
    if (!SwitchTo38400()) return kRackSetBaudFailed;
    if (!Transfer(firmwareName, firmware, kRackFirmwareBlocks)) return kRackFirmwareFailed;
    return kRackDone;
}

// Reads a reply byte by byte until CR, or until a read brings nothing. The first
// byte may also have to wait for what was just written to leave the port.
bool RackLoader::ReadReply(std::size_t bytesJustWritten, std::string& reply) {
    reply.clear();
    const int base = port_.GetTimeOut() > 0 ? port_.GetTimeOut() : 0;
    const int wire = WireMs(bytesJustWritten, port_.GetLineSettings().baud);
    std::uint8_t byte = 0;
    {
        ScopedTimeOut first(port_, base + (wire + 1) / 2); // a one-byte read waits two time-outs
        if (!port_.ReadBytes(1, &byte)) return false;
    }
    reply.push_back(static_cast<char>(byte));
    while (byte != '\r' && reply.size() < kReplyLimit) {
        if (!port_.ReadBytes(1, &byte)) break;
        reply.push_back(static_cast<char>(byte));
    }
    return true;
}

bool RackLoader::Handshake(const char* command) {
    const std::string text(command);
    for (int attempt = 0; attempt < kHandshakeAttempts; ++attempt) {
        if (attempt > 0) Pause(20);
        std::string reply;
        if (port_.WriteText(text) && ReadReply(text.size(), reply) && reply[0] == '!') return true;
    }
    return false;
}

bool RackLoader::SwitchTo38400() {
    if (!port_.WriteText("&00S3\r")) {
        detail_ = "cannot ask the controller for 38400 baud: " + port_.LastError().text;
        return false;
    }
    Pause(1000);
    port_.PurgeInput();
    if (!ChangeSpeed(port_, 38400, [this](int ms) { Pause(ms); })) {
        detail_ = "cannot set the port to 38400 baud: " + port_.LastError().text;
        return false;
    }
    return true;
}

bool RackLoader::SendBlock(unsigned number, const std::uint8_t* data, std::size_t n) {
    const auto block = RackBlock(number, data, n);
    for (int attempt = 0; attempt < kBlockAttempts; ++attempt) {
        if (hooks_.keepAlive) hooks_.keepAlive();
        Pause(1);
        if (!Handshake("&00D\r")) continue;
        if (!port_.WriteBytes(block.size(), block.data())) continue;
        ++blocksWritten_;
        Pause(15);
        std::string reply;
        if (ReadReply(block.size(), reply) && reply[0] == '!') return true;
    }
    return false;
}

bool RackLoader::Transfer(const std::string& name, const std::vector<std::uint8_t>& bytes,
                          unsigned blocks) {
    if (hooks_.transferStarted) hooks_.transferStarted(name, blocks);
    std::size_t at = 0;
    bool ended = false;
    unsigned i = 0;
    for (; !ended && i < blocks; ++i) {
        const std::size_t n = std::min(kRackBlockData, bytes.size() - at);
        if (n > 0 && !SendBlock(i, bytes.data() + at, n)) {
            detail_ = name + ": block " + std::to_string(i) + " of " + std::to_string(blocks) +
                      " was not accepted after " + std::to_string(kBlockAttempts) + " attempts";
            return false;
        }
        at += n;
        ended = n < kRackBlockData;
        if (hooks_.progress) hooks_.progress(i + 1, blocks);
    }
    if (i < blocks) {
        detail_ = name + " ended after " + std::to_string(i) + " of " + std::to_string(blocks) +
                  " blocks";
        return false;
    }
    if (!port_.WriteText("&00E\r")) { // the end: no reply expected
        detail_ = "cannot end the transfer of " + name + ": " + port_.LastError().text;
        return false;
    }
    return true;
}

} // namespace tavo
