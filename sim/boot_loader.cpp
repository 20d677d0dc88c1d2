#include "boot_loader.h"

#include <stdexcept>

namespace tavo::sim {
namespace {

constexpr std::uint8_t kBlockLead = 0x82;
constexpr std::uint8_t kEndLead = 0x86;
constexpr std::size_t kBlockData = 128;
constexpr std::size_t kRackBlock = 132;
constexpr unsigned kBaud9600 = 0x06;
constexpr unsigned kBaud38400 = 0x08;

Bytes Line(const std::string& text) {
    Bytes b(text.begin(), text.end());
    b.push_back('\r');
    return b;
}

// Takes the bytes of a packet back into order: the two of every pair come
// exchanged, an odd last byte as it is.
void AppendUnswapped(const std::uint8_t* data, std::size_t n, Bytes& out) {
    std::size_t i = 0;
    for (; i + 1 < n; i += 2) {
        out.push_back(data[i + 1]);
        out.push_back(data[i]);
    }
    if (i < n) out.push_back(data[i]);
}

std::optional<PacketFault> TakeFault(std::map<std::size_t, PacketFault>& faults,
                                     std::size_t index) {
    const auto it = faults.find(index);
    if (it == faults.end()) return std::nullopt;
    const PacketFault f = it->second;
    faults.erase(it);
    return f;
}

bool IsR8xxModel(const std::string& d) {
    return d == "R810" || d == "R820" || d == "R850" || d == "R860";
}

} // namespace

// ---- R8XX boot loader ----

R8xxBootLoader::R8xxBootLoader(SimModule& m, std::string modelDigits)
    : m_(m), modelDigits_(std::move(modelDigits)) {}

void R8xxBootLoader::Enter() {
    if (active_) return;
    normal_ = m_.config();
    ModuleConfig& c = m_.config();
    c.address = 0;
    c.designation = "R8XX";
    c.typeCode = ParseHex(modelDigits_).value_or(0);
    c.formatCode = 0;
    c.baudCode = kBaud9600;
    c.init = false;
    c.protocol = Protocol::Ascii;
    active_ = true;
    downloadRequested_ = receiving_ = false;
    if (onEnter) onEnter();
}

void R8xxBootLoader::Leave() {
    if (!active_ || !normal_) return;
    m_.config() = *normal_;
    m_.config().baudCode = kBaud9600; // the firmware starts at 9600 baud
    active_ = receiving_ = false;
    if (onLeave) onLeave();
}

std::optional<std::string> R8xxBootLoader::Ascii(SimModule& m, char lead, std::string_view body) {
    if (!active_) {
        if (lead != '#' || body != "OS") return std::nullopt;
        std::string reply = m.Ok();
        Enter();
        return reply;
    }
    receiving_ = false; // a command line ends any transfer
    if (lead == '$' && body == "D") {
        downloadRequested_ = receiving_ = true;
        imageValid_ = false;
        image_.clear();
        packets_.clear();
        lastActivity_ = m.Now();
        return m.Ok();
    }
    if (lead == '#' && body == "OS") {
        if (!imageValid_) return m.Refuse();
        std::string reply = m.Ok();
        Leave();
        return reply;
    }
    if (lead == '%') {
        const auto nn = body.size() == 8 ? ParseHex(body.substr(0, 2)) : std::nullopt;
        const auto cc = body.size() == 8 ? ParseHex(body.substr(4, 2)) : std::nullopt;
        if (!nn || *nn != 0 || !cc || BaudForCode(*cc) == 0 || !ParseHex(body)) return m.Refuse();
        m.config().baudCode = *cc;
        return m.Ok();
    }
    const bool common =
        (lead == '$' && (body == "2" || body == "F" || body == "M" || body == "OU")) ||
        (lead == '#' && body.substr(0, 3) == "OU0");
    return common ? std::nullopt : std::optional<std::string>(m.Refuse());
}

bool R8xxBootLoader::WantsBinary(TimePoint now) {
    if (receiving_ && now - lastActivity_ > kTransferTimeout) receiving_ = false;
    return receiving_;
}

Bytes R8xxBootLoader::Nak() {
    receiving_ = false;
    return Bytes(std::begin(kNak), std::end(kNak));
}

std::size_t R8xxBootLoader::Binary(SimModule& m, const std::uint8_t* data, std::size_t n,
                                   std::optional<Bytes>& reply) {
    const std::uint8_t lead = data[0];
    std::size_t length = 0;
    if (lead == kBlockLead)
        length = kBlockData + 2;
    else if (lead == kEndLead)
        length = 5;
    else if (lead >= 3 && lead < kBlockLead)
        length = lead;
    if (length == 0) { // nothing a packet starts with: the transfer is broken
        packets_.emplace_back(data, data + n);
        reply = Nak();
        return n;
    }
    if (n < length) return 0;
    lastActivity_ = m.Now();
    packets_.emplace_back(data, data + length);
    const auto fault = TakeFault(faults_, packets_.size() - 1);
    unsigned sum = 0;
    for (std::size_t i = 0; i < length; ++i)
        sum += data[i];
    const bool sound = lead == kEndLead ? sum == kEndLead : (sum & 0xFF) == 0;
    const std::size_t payload = lead == kEndLead ? 0 : length - 2;
    if (fault == PacketFault::Nak || !sound || image_.size() + payload > kFlashSize) {
        reply = Nak();
        return length;
    }
    AppendUnswapped(data + 1, payload, image_);
    if (lead != kBlockLead) { // the last packet: the image is complete
        receiving_ = false;
        if (image_.empty()) {
            reply = Nak();
            return length;
        }
        imageValid_ = true;
    }
    if (fault != PacketFault::DropAck) reply = Bytes{0x00, 0x00, '\r'};
    return length;
}

R8xxBootLoader* AddR8xxBootLoader(SimModule& m, bool& startInLoader) {
    ModuleConfig& c = m.config();
    startInLoader = false;
    if (c.designation == "R8XX") {
        const auto it = c.options.find("target");
        const std::string target = it == c.options.end() ? "R850" : it->second;
        if (!IsR8xxModel(target))
            throw std::invalid_argument("bad value in 'target=" + target +
                                        "': R810, R820, R850 or R860");
        c.designation = target;
        c.options.erase("target");
        startInLoader = true;
    }
    if (!IsR8xxModel(c.designation)) return nullptr;
    auto& loader = m.Add<R8xxBootLoader>(m, c.designation.substr(2, 2));
    if (const auto it = c.options.find("image"); it != c.options.end()) {
        if (it->second != "valid" && it->second != "none")
            throw std::invalid_argument("bad value in 'image=" + it->second + "': valid or none");
        loader.SetImageValid(it->second == "valid");
        c.options.erase(it);
    }
    return &loader;
}

// ---- K100 download mode ----

void RackDownload::Enter() {
    normal_ = m_.config();
    ModuleConfig& c = m_.config();
    c.address = 0;
    c.init = false;
    c.baudCode = kBaud9600;
    c.formatCode = 0;
    c.protocol = Protocol::Ascii;
    stage_ = Stage::Loader;
    blockExpected_ = false;
    loader_.clear();
    firmware_.clear();
}

void RackDownload::Leave() {
    if (normal_) m_.config() = *normal_;
    stage_ = Stage::Off;
    blockExpected_ = false;
}

std::optional<std::string> RackDownload::Ascii(SimModule& m, char lead, std::string_view body) {
    if (stage_ == Stage::Off) {
        if (lead != '$' || body != "D") return std::nullopt;
        Enter();
        return m.Ok();
    }
    blockExpected_ = false;
    if (lead == '$' && body == "D") return m.Ok();
    if (lead != '&') return m.Refuse();
    if (body == "A") return m.Ok();
    if (body == "D") {
        blockExpected_ = true;
        armedAt_ = m.Now();
        return m.Ok();
    }
    if (body == "S3") {
        m.config().baudCode = kBaud38400;
        m.Silence();
        return std::nullopt;
    }
    if (body == "E") {
        m.Silence();
        if (stage_ == Stage::Loader && !loader_.empty()) {
            stage_ = Stage::Firmware; // the loader runs, at 9600 baud
            m.config().baudCode = kBaud9600;
        } else {
            if (stage_ == Stage::Firmware && !firmware_.empty()) ++updates_;
            Leave();
        }
        return std::nullopt;
    }
    return m.Refuse();
}

bool RackDownload::WantsBinary(TimePoint now) {
    if (blockExpected_ && now - armedAt_ > kTransferTimeout) blockExpected_ = false;
    return blockExpected_;
}

std::size_t RackDownload::Binary(SimModule& m, const std::uint8_t* data, std::size_t n,
                                 std::optional<Bytes>& reply) {
    if (n < kRackBlock) return 0;
    blockExpected_ = false;
    const auto fault = TakeFault(faults_, packetCount_++);
    unsigned sum = 0;
    for (std::size_t i = 0; i < 130; ++i)
        sum += data[i];
    const unsigned number = data[0] * 256u + data[1];
    const unsigned capacity = stage_ == Stage::Loader ? kLoaderCapacity : kFirmwareCapacity;
    if (fault == PacketFault::Nak || data[130] != (sum & 0xFF) || data[131] != '\r' ||
        number >= capacity) {
        reply = Line(m.Refuse());
        return kRackBlock;
    }
    Bytes& image = stage_ == Stage::Loader ? loader_ : firmware_;
    if (image.size() < (number + 1) * kBlockData) image.resize((number + 1) * kBlockData, 0);
    std::copy(data + 2, data + 130,
              image.begin() + static_cast<std::ptrdiff_t>(number * kBlockData));
    blocks_.emplace_back(stage_, number);
    if (fault != PacketFault::DropAck) reply = Line(m.Ok());
    return kRackBlock;
}

} // namespace tavo::sim
