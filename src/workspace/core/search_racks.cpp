// Slot and channel nodes of the racks the search finds.
#include "search_engine.h"

#include "devices/k_series.h"
#include "devices/z_series.h"

namespace tavo {
namespace {

FoundNode SlotNode(int slot, const std::string& designation) {
    FoundNode n;
    n.text = "(S" + std::to_string(slot) + ")" + designation;
    n.image = kImageSlot;
    n.selectedImage = kImageSlotSelected;
    return n;
}

int HexPrefix(const std::string& text) {
    if (text.size() < 2) return -1;
    try {
        std::size_t used = 0;
        const int n = std::stoi(text.substr(0, 2), &used, 16);
        return used == 2 ? n : -1;
    } catch (...) {
        return -1;
    }
}

} // namespace

void SearchEngine::AddRackSlots(FoundNode& rack, const std::string& designation,
                                const std::string& address) {
    rack.children = RackSlotNodes(port_, designation, address);
}

std::vector<FoundNode> SearchEngine::RackSlotNodes(TavoComPort& port,
                                                   const std::string& designation,
                                                   const std::string& address) {
    std::vector<FoundNode> nodes;
    TavoMK100 k100(&port, address);
    const int slots = TavoMK100::SlotCountFor(designation);
    for (int i = 0; i < slots; ++i) {
        std::string slot;
        bool generic = false;
        // An empty slot, or a generic one that does not tell its name, gets no node.
        if (!k100.ReadSlotNodeDesignation(i, slot, &generic)) continue;
        FoundNode node = SlotNode(i, slot);
        if (!generic) {
            node.children = KChannelNodes(slot);
            nodes.push_back(std::move(node));
            continue;
        }
        // A generic analog-input slot has as many channels as it says.
        std::string info;
        const int channels = k100.ReadSlotInfo1(i, info) ? HexPrefix(info) : -1;
        for (int c = 0; c < channels; ++c) {
            FoundNode ch;
            ch.text = "(CH " + std::to_string(c) + ")";
            ch.image = kImageChannel;
            ch.selectedImage = kImageChannelSelected;
            node.children.push_back(std::move(ch));
        }
        nodes.push_back(std::move(node));
    }
    return nodes;
}

void SearchEngine::AddZ350Slots(FoundNode& controller, const std::string& address) {
    ZelMZ350 z350(&port_, address);
    // Every slot the controller's table reports: a Z352 has eight, and a module in
    // slots 4 to 7 would otherwise never show in the tree.
    std::string table;
    if (!z350.ReadSlotTable(table)) return;
    const int slots = static_cast<int>(table.size() / 2);
    for (int i = 0; i < slots; ++i) {
        std::string slot;
        if (z350.GetSlotDesignation(i, slot)) controller.children.push_back(SlotNode(i, slot));
    }
}

} // namespace tavo
