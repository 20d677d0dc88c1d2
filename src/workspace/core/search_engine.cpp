#include "search_engine.h"

#include "points/slot_identity.h"
#include "transport/com_port.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace tavo {
namespace {

std::string Hex2(int value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

FoundNode Leaf(std::string text, int image, int selected) {
    FoundNode n;
    n.text = std::move(text);
    n.image = image;
    n.selectedImage = selected;
    return n;
}

} // namespace

void ClearLineBeforeSearch(TavoComPort& port) {
    std::uint8_t byte = 0;
    for (int i = 0; i < 1025 && port.ReadBytes(1, &byte); ++i) {
    }
    port.PurgeInput();
}

std::string ModuleNodeText(int address, const std::string& designation) {
    return (address == 0 ? std::string("(*)") : "(" + Hex2(address) + ")") + designation;
}

std::string LineSettingsText(const LineSettings& line) {
    const char parity = line.parity == kParityEven ? 'E' : line.parity == kParityOdd ? 'O' : 'N';
    return std::to_string(line.baud) + ", " + parity + ", " + std::to_string(line.dataBits) +
           ", " + (line.stopBits == kTwoStopBits ? "2" : "1");
}

std::string DurationText(long long ms) {
    const long long s = std::max(0LL, ms) / 1000;
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}

SearchEngine::SearchEngine(TavoComPort& port, int first, int last, SearchOptions options)
    : port_(port), probe_(&port), first_(std::clamp(first, 0, 255)),
      last_(std::max(first_, std::clamp(last, 0, 255))), address_(first_),
      modbusRackSlots_(options.modbusRackSlots) {
    std::vector<int> probes;
    for (int p = 0; p < kProbesPerAddress; ++p)
        if (options.probes & (1u << p)) probes.push_back(p);
    if (options.sweep.empty()) {
        if (!probes.empty()) plan_.push_back({std::nullopt, probes});
    } else {
        for (const LineSettings& line : options.sweep) {
            PlanEntry entry{line, probes};
            if (line.parity != kParityNone)
                std::erase_if(entry.probes, [](int p) { return p != 2; });
            if (!entry.probes.empty()) plan_.push_back(std::move(entry));
        }
    }
    const int addresses = std::clamp(last, 0, 255) - first_ + 1;
    progressMax_ = std::max(0, addresses) * static_cast<int>(plan_.size());
    if (addresses <= 0) plan_.clear();
}

SearchEngine::~SearchEngine() {
    if (original_)
        port_.SetPortState(original_->baud, original_->dataBits, original_->parity,
                           original_->stopBits);
}

int SearchEngine::TimerIntervalMs() const { return port_.GetTimeOut() + 30; }

LineSettings SearchEngine::CurrentLine() const {
    if (!plan_.empty()) {
        const PlanEntry& e = plan_[SettingIndex()];
        if (e.line) return *e.line;
    }
    return original_ ? *original_ : port_.GetLineSettings();
}

// Puts the port on the current sweep setting before its first probe; a setting the
// port refuses is skipped, with its addresses counted as done.
bool SearchEngine::EnterSetting() {
    while (!Done() && !entered_) {
        const PlanEntry& e = plan_[entry_];
        if (!e.line) {
            entered_ = true;
            break;
        }
        if (!original_) original_ = port_.GetLineSettings();
        if (port_.SetPortState(e.line->baud, e.line->dataBits, e.line->parity, e.line->stopBits)) {
            entered_ = true;
            break;
        }
        notices_.push_back("Skipped " + LineSettingsText(*e.line) + ": the port refuses it (" +
                           port_.LastError().text + ")");
        progress_ += last_ - first_ + 1;
        ++entry_;
        address_ = first_;
    }
    return entered_;
}

void SearchEngine::NextAddress() {
    ++progress_;
    probeIndex_ = 0;
    if (address_ < last_) {
        ++address_;
        return;
    }
    ++entry_;
    entered_ = false;
    if (!Done()) address_ = first_;
}

std::optional<FoundNode> SearchEngine::Step() {
    if (Done() || !EnterSetting()) return std::nullopt;
    const PlanEntry& entry = plan_[entry_];
    const int probe = entry.probes[probeIndex_];
    const auto started = Clock::now();
    std::optional<FoundNode> node = probe < 2 ? AsciiProbe(address_, probe) : ModbusProbe(address_);
    // A probe's reply is judged by its address (and, for Modbus, by CRC and slave),
    // so a stray answer cannot pass for the next address's: an empty address must
    // not also pay the quiet wait that other failures buy.
    port_.CancelQuietWait();
    if (node) {
        node->line = entry.line;
    } else {
        silentMs_[probe] += std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() -
                                                                                  started).count();
        ++silentCount_[probe];
    }
    // A module is listed under the first probe that answers: the others are skipped.
    if (node || probeIndex_ + 1 == entry.probes.size()) NextAddress();
    else ++probeIndex_;
    return node;
}

int SearchEngine::SilentProbeMs(int probe, int timeoutMs, int turnaroundMs) {
    if (probe < 2) return 2 * timeoutMs;
    return 2 * (2 * turnaroundMs + 2 * timeoutMs);
}

int SearchEngine::ProbeEstimateMs(int probe) const {
    if (silentCount_[probe] > 0) return static_cast<int>(silentMs_[probe] / silentCount_[probe]);
    return SilentProbeMs(probe, port_.GetTimeOut(), probe_.GetModbus()->GetTurnaroundDelay());
}

long long SearchEngine::EstimatedRemainingMs() const {
    const int interval = TimerIntervalMs();
    const auto cost = [&](const std::vector<int>& probes, std::size_t from) {
        long long ms = 0;
        for (std::size_t i = from; i < probes.size(); ++i)
            ms += std::max(interval, ProbeEstimateMs(probes[i]));
        return ms;
    };
    long long total = 0;
    for (std::size_t e = entry_; e < plan_.size(); ++e) {
        const auto& probes = plan_[e].probes;
        if (e == entry_) {
            total += cost(probes, probeIndex_) + (last_ - address_) * cost(probes, 0);
        } else {
            total += (last_ - first_ + 1) * cost(probes, 0);
        }
    }
    return total;
}

void RunPacedSearch(SearchEngine& engine, const PacedSearchHooks& hooks,
                    const std::atomic<bool>* stop) {
    auto next = Clock::now();
    while (!engine.Done() && !(stop && *stop)) {
        std::this_thread::sleep_until(next);
        if (stop && *stop) break;
        next = Clock::now() + std::chrono::milliseconds(engine.TimerIntervalMs());
        if (hooks.beforeStep) hooks.beforeStep(engine);
        if (auto node = engine.Step(); node && hooks.found) hooks.found(*node, engine);
    }
}

FoundNode SearchEngine::ModuleNode(const std::string& text, const std::string& designation,
                                   LinkKind link) {
    FoundNode node;
    node.text = text;
    node.link = link;
    if (link == LinkKind::ModbusRtu) {
        node.image = kImageModbusModule;
        node.selectedImage = kImageModbusModuleSelected;
    }
    const std::string head = designation.substr(0, 4);
    if (link != LinkKind::ModbusRtu && (head == "K100" || head == "Z352" || head == "Z351")) {
        node.image = kImageRack;
        node.selectedImage = kImageRackSelected;
    }
    if (head == "R850" || head == "R860") node.children = R800ChannelNodes(head);
    return node;
}

std::optional<FoundNode> SearchEngine::AsciiProbe(int address, int probe) {
    const auto name = IdentifyModule(probe_, address, probe);
    if (!name) return std::nullopt;
    FoundNode node = ModuleNode(ModuleNodeText(address, *name), *name,
                                probe == 0 ? LinkKind::AsciiPlain : LinkKind::AsciiChecksum);
    const std::string head = name->substr(0, 4);
    if (head == "K100") AddRackSlots(node, *name, Hex2(address));
    else if (head == "Z352" || head == "Z351") AddZ350Slots(node, Hex2(address));
    return node;
}

std::optional<FoundNode> SearchEngine::ModbusProbe(int address) {
    const auto d = IdentifyModule(probe_, address, 2);
    if (!d) return std::nullopt;
    FoundNode node = ModuleNode(ModuleNodeText(address, *d), *d, LinkKind::ModbusRtu);
    if (modbusRackSlots_ && IsModbusRack(*d)) node.modbusSlots = ModbusRackSlotNodes(port_, address);
    return node;
}

bool SearchEngine::IsModbusRack(const std::string& designation) {
    return designation == "K100M" || designation == "K100EM";
}

std::optional<std::vector<FoundNode>> SearchEngine::ModbusRackSlotNodes(TavoComPort& port, int address) {
    std::string error;
    const auto slots = IdentifyModbusRackSlots(port, address, error);
    if (!slots) return std::nullopt;
    std::vector<FoundNode> nodes;
    for (const RackSlot& s : *slots)
        nodes.push_back(Leaf("(S" + std::to_string(s.slot) + ")" + s.module.model, kImageSlot, kImageSlotSelected));
    return nodes;
}

namespace {

// Reads two model registers and turns them into a designation: the first holds
// the number code in BCD, the second up to two suffix letters.
std::optional<std::string> ReadModelRegisters(TavoRBase& prober, int address, int reg,
                                              std::uint16_t* code) {
    TavoModbusCOM& modbus = *prober.GetModbus();
    std::vector<std::uint8_t> data;
    prober.GetPort()->CancelQuietWait(); // the first register pair of a probe may have failed
    if (!modbus.ReadHoldingRegisters(address, reg, 2) || !modbus.ReadResponse(data) ||
        data.size() < 4)
        return std::nullopt;
    *code = static_cast<std::uint16_t>(data[0] << 8 | data[1]);
    std::string designation = ModelRegistry::Instance().DesignationForCode(*code).value_or(
        Hex2(data[0]) + Hex2(data[1]));
    // Suffix letters only: a byte that is no printable character is not one.
    const auto printable = [](std::uint8_t c) { return c > 0x20 && c < 0x7F; };
    if (data[2] != 0 && printable(data[2])) {
        designation.push_back(static_cast<char>(data[2]));
        if (data[3] != 0 && printable(data[3])) designation.push_back(static_cast<char>(data[3]));
    }
    return designation;
}

} // namespace

std::optional<std::string> IdentifyModule(TavoRBase& prober, int address, int probe) {
    if (probe < 2) {
        // Setting the address again at probe 1 sends nothing; it matters when probe 0
        // is not among the probes made.
        prober.SetAddress(Hex2(address));
        prober.GetPort()->SetCheckSum(probe == 1);
        std::string name;
        if (!prober.ReadModuleName(name)) return std::nullopt;
        return name;
    }
    std::uint16_t code = 0;
    if (auto d = ReadModelRegisters(prober, address, 10001, &code); d && address > 0) {
        if (code == ModelRegistry::kK100EModbusCode) return "K100EM";
        if (code == ModelRegistry::kK100ModbusCode) return "K100M";
    }
    auto d = ReadModelRegisters(prober, address, 211, &code);
    if (!d || address == 0) return std::nullopt;
    return d;
}

std::vector<FoundNode> SearchEngine::KChannelNodes(const std::string& d) {
    int count = 0;
    if (d == "K210") count = 3;
    else if (StartsWith(d, "K220")) count = 8;
    else if (d == "K230" || d == "K230+") count = 7;
    else if (d == "K710" || d == "K310") count = 4;
    std::vector<FoundNode> nodes;
    for (int i = 0; i < count; ++i)
        nodes.push_back(Leaf("(CH " + std::to_string(i) + ")", kImageChannel, kImageChannelSelected));
    return nodes;
}

std::vector<FoundNode> SearchEngine::R800ChannelNodes(const std::string& d) {
    std::vector<FoundNode> nodes;
    for (int i = 0; i < 8; ++i)
        nodes.push_back(Leaf("(DO" + std::to_string(i) + ")", kImageDigitalOut, kImageDigitalIn));
    if (d == "R850")
        for (int i = 0; i < 7; ++i)
            nodes.push_back(Leaf("(DI" + std::to_string(i) + ")", kImageDigitalOut, kImageDigitalIn));
    return nodes;
}

} // namespace tavo
