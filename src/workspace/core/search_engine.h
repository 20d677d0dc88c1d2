// The module search: walks the addresses of one port, three probes per address
// (ASCII without checksum, ASCII with checksum, Modbus RTU), one probe per Step().
// No timer here: the search dialog and `tavo search` pace the steps.
#pragma once

#include "model_registry.h"

#include "devices/r_base.h"

#include <optional>
#include <string>
#include <vector>

namespace tavo {

class TavoComPort;

// Images of the module tree's image list, as the nodes use them.
enum TreeImage : int {
    kImagePc = 0,
    kImagePort = 1,
    kImagePortSelected = 3,
    kImageModule = 4,
    kImageModuleSelected = 5,
    kImageRack = 6,
    kImageRackSelected = 7,
    kImageSlot = 8,
    kImageSlotSelected = 9,
    kImageChannel = 10,
    kImageChannelSelected = 11,
    kImageIndicator0 = 14, // indicator images for the texts "0" to "3"
    kImageModbusModule = 18,
    kImageModbusModuleSelected = 19,
    kImageDigitalIn = 20,
    kImageDigitalOut = 21,
};

struct FoundNode {
    std::string text;
    int image = kImageModule;
    int selectedImage = kImageModuleSelected;
    std::optional<LinkKind> link; // set on module nodes only
    std::vector<FoundNode> children;
};

class SearchEngine {
public:
    static constexpr int kProbesPerAddress = 3;
    static constexpr int kLastStep = 256 * kProbesPerAddress; // 768

    // Scans `first` to `last` (0 to 255) on `port`, which must be open with its
    // line settings and time-out set. The port keeps the checksum switch of the
    // last probe afterwards.
    SearchEngine(TavoComPort& port, int first, int last = 255);

    // One probe. Returns the module node (with its slot and channel nodes) when the
    // probe found one. Does nothing once Done().
    std::optional<FoundNode> Step();
    bool Done() const { return step_ >= endStep_; }

    // The address the next Step() probes (the last one once done).
    int Address() const { return std::min(step_, endStep_ - 1) / kProbesPerAddress; }
    // Progress advances once per address, whichever probe ends it.
    int Progress() const { return progress_; }
    int ProgressMax() const { return progressMax_; }
    // Spacing of the steps: the port time-out + 30 ms.
    int TimerIntervalMs() const;

    // Child nodes of the module kinds that carry them (exposed for tests).
    static std::vector<FoundNode> KChannelNodes(const std::string& slotDesignation);
    static std::vector<FoundNode> R800ChannelNodes(const std::string& designation);
    // The slot nodes (with their channels) of the K100-type rack `designation` at
    // `address` ("00" for one in INIT state), read from the rack as the search
    // reads them.
    static std::vector<FoundNode> RackSlotNodes(TavoComPort& port, const std::string& designation,
                                                const std::string& address);

private:
    std::optional<FoundNode> AsciiProbe(int address, int probe);
    std::optional<FoundNode> ModbusProbe(int address);
    std::optional<std::string> ReadModelRegisters(int address, int reg, std::uint16_t* code);
    FoundNode ModuleNode(const std::string& text, const std::string& designation, LinkKind link);
    void AddRackSlots(FoundNode& rack, const std::string& designation, const std::string& address);
    void AddZ350Slots(FoundNode& controller, const std::string& address);

    TavoComPort& port_;
    TavoRBase probe_;
    int step_;
    int endStep_;
    int progress_ = 0;
    int progressMax_;
};

// Text of a module node: "(" + two hex digits + ")" + designation, "(*)" for 0.
std::string ModuleNodeText(int address, const std::string& designation);

} // namespace tavo
