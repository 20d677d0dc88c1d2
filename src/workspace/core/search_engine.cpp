#include "search_engine.h"

#include "transport/com_port.h"

#include <algorithm>
#include <cstdio>

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

std::string ModuleNodeText(int address, const std::string& designation) {
    return (address == 0 ? std::string("(*)") : "(" + Hex2(address) + ")") + designation;
}

SearchEngine::SearchEngine(TavoComPort& port, int first, int last)
    : port_(port), probe_(&port), step_(std::clamp(first, 0, 255) * kProbesPerAddress),
      endStep_((std::clamp(last, 0, 255) + 1) * kProbesPerAddress),
      progressMax_(std::max(0, std::clamp(last, 0, 255) - std::clamp(first, 0, 255) + 1)) {}

int SearchEngine::TimerIntervalMs() const { return port_.GetTimeOut() + 30; }

std::optional<FoundNode> SearchEngine::Step() {
    if (Done()) return std::nullopt;
    const int address = step_ / kProbesPerAddress;
    const int probe = step_ % kProbesPerAddress;
    if (probe < 2) {
        auto node = AsciiProbe(address, probe);
        if (node) {
            step_ = address * kProbesPerAddress + kProbesPerAddress; // skip the other probes
            ++progress_;
        } else {
            ++step_;
        }
        return node;
    }
    auto node = ModbusProbe(address);
    ++step_;
    ++progress_;
    return node;
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
    if (probe == 0) {
        probe_.SetAddress(Hex2(address));
        port_.SetCheckSum(false);
    } else {
        port_.SetCheckSum(true);
    }
    std::string name;
    if (!probe_.ReadModuleName(name)) return std::nullopt;
    FoundNode node = ModuleNode(ModuleNodeText(address, name), name,
                                probe == 0 ? LinkKind::AsciiPlain : LinkKind::AsciiChecksum);
    const std::string head = name.substr(0, 4);
    if (head == "K100") AddRackSlots(node, name, Hex2(address));
    else if (head == "Z352" || head == "Z351") AddZ350Slots(node, Hex2(address));
    return node;
}

// Reads two model registers and turns them into a designation: the first holds
// the number code in BCD, the second up to two suffix letters.
std::optional<std::string> SearchEngine::ReadModelRegisters(int address, int reg,
                                                            std::uint16_t* code) {
    TavoModbusCOM& modbus = *probe_.GetModbus();
    std::vector<std::uint8_t> data;
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

std::optional<FoundNode> SearchEngine::ModbusProbe(int address) {
    std::uint16_t code = 0;
    if (auto d = ReadModelRegisters(address, 10001, &code); d && address > 0) {
        if (code == ModelRegistry::kK100EModbusCode)
            return ModuleNode(ModuleNodeText(address, "K100EM"), "K100EM", LinkKind::ModbusRtu);
        if (code == ModelRegistry::kK100ModbusCode)
            return ModuleNode(ModuleNodeText(address, "K100M"), "K100M", LinkKind::ModbusRtu);
    }
    auto d = ReadModelRegisters(address, 211, &code);
    if (!d || address == 0) return std::nullopt;
    return ModuleNode(ModuleNodeText(address, *d), *d, LinkKind::ModbusRtu);
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
