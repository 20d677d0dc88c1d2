// The module search: walks the addresses of one port, three probes per address
// (ASCII without checksum, ASCII with checksum, Modbus RTU), one probe per Step().
// No timer here: the search dialog and `tavo search` pace the steps.
//
// Options narrow the probes to a subset (the order stays) and sweep a list of line
// settings, the whole address range at each in turn. Without options the search is
// exactly the three-probe search at the port's own settings.
#pragma once

#include "model_registry.h"

#include "devices/r_base.h"
#include "transport/serial_backend.h"

#include <array>
#include <atomic>
#include <functional>
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
    // The line settings the module answered at; set on module nodes of a sweep only
    // (a plain search finds every module at the port's own settings).
    std::optional<LineSettings> line;
    std::vector<FoundNode> children;
    // The modules in the slots of a rack speaking Modbus (K100M, K100EM), as
    // "(S0)K220" nodes named by the model their points take; read by the search only
    // when asked to (SearchOptions::modbusRackSlots), by the window when it exports the
    // gateway configuration, and never shown in the tree, which lists no slots for
    // such a rack. nullopt when they were not read or the rack did not tell them.
    std::optional<std::vector<FoundNode>> modbusSlots;
};

// The probes, numbered as the link kinds they find (0 ASCII, 1 with checksum, 2 Modbus).
enum SearchProbe : unsigned {
    kProbeAscii = 1u << 0,
    kProbeChecksum = 1u << 1,
    kProbeModbus = 1u << 2,
    kAllProbes = kProbeAscii | kProbeChecksum | kProbeModbus,
};

struct SearchOptions {
    unsigned probes = kAllProbes; // a set of SearchProbe bits
    // Line settings searched one after the other; empty: the port's own settings,
    // left untouched. ASCII modules talk without parity, so a setting with parity
    // gets only the Modbus probe.
    std::vector<LineSettings> sweep;
    // Reads the slots of each rack speaking Modbus that answers, in two more requests
    // (identification and name block), into the node's modbusSlots: what a gateway
    // configuration of the search lists.
    bool modbusRackSlots = false;
};

// "9600, N, 8, 1", as the status bar shows line settings.
std::string LineSettingsText(const LineSettings& line);
// "0:41", "3:06", "1:02:05" (rounded down to whole seconds; negative counts as 0).
std::string DurationText(long long ms);

class SearchEngine {
public:
    static constexpr int kProbesPerAddress = 3;
    static constexpr int kLastStep = 256 * kProbesPerAddress; // 768

    // Scans `first` to `last` (0 to 255) on `port`, which must be open with its
    // line settings and time-out set. The port keeps the checksum switch of the
    // last probe afterwards; a sweep puts the port's line settings back when the
    // engine goes.
    SearchEngine(TavoComPort& port, int first, int last = 255, SearchOptions options = {});
    ~SearchEngine();
    SearchEngine(const SearchEngine&) = delete;
    SearchEngine& operator=(const SearchEngine&) = delete;

    // One probe. Returns the module node (with its slot and channel nodes) when the
    // probe found one. Does nothing once Done(). A sweep setting the port refuses is
    // skipped with a notice, and the step goes on to the next setting.
    std::optional<FoundNode> Step();
    bool Done() const { return entry_ >= plan_.size(); }

    // The address the next Step() probes (the last one once done).
    int Address() const { return address_; }
    // The line settings of the address the next Step() probes.
    LineSettings CurrentLine() const;
    // Which sweep setting that is (0-based) and how many the search makes (1 without
    // a sweep). Settings left without a probe are not counted.
    int SettingIndex() const { return static_cast<int>(std::min(entry_, plan_.size() - 1)); }
    int SettingCount() const { return static_cast<int>(plan_.size()); }
    // Progress advances once per address and setting, whichever probe ends it.
    int Progress() const { return progress_; }
    int ProgressMax() const { return progressMax_; }
    // Spacing of the steps: the port time-out + 30 ms.
    int TimerIntervalMs() const;
    // One line per sweep setting that was skipped, saying why.
    const std::vector<std::string>& Notices() const { return notices_; }

    // Time one probe takes on a silent bus at time-out T and Modbus turnaround t:
    // an ASCII probe waits 2T for the first reply byte; the Modbus probe makes two
    // reads, each t before the request, t before the reply, then 2T.
    static int SilentProbeMs(int probe, int timeoutMs, int turnaroundMs);
    // What the rest of the search should take when paced at TimerIntervalMs(): each
    // remaining probe costs max(interval, its time), taken from the probes of its
    // kind that found nothing so far, else from SilentProbeMs.
    long long EstimatedRemainingMs() const;

    // Child nodes of the module kinds that carry them (exposed for tests).
    static std::vector<FoundNode> KChannelNodes(const std::string& slotDesignation);
    static std::vector<FoundNode> R800ChannelNodes(const std::string& designation);
    // The slot nodes (with their channels) of the K100-type rack `designation` at
    // `address` ("00" for one in INIT state), read from the rack as the search
    // reads them.
    static std::vector<FoundNode> RackSlotNodes(TavoComPort& port, const std::string& designation,
                                                const std::string& address);
    // Whether a module of this designation is a rack speaking Modbus (its slots are
    // not tree nodes), and the "(S0)K220" nodes of what its slots hold, read from the
    // rack at `address` through `port` at the port's line settings; nullopt when the
    // rack did not tell.
    static bool IsModbusRack(const std::string& designation);
    static std::optional<std::vector<FoundNode>> ModbusRackSlotNodes(TavoComPort& port, int address);

private:
    struct PlanEntry {
        std::optional<LineSettings> line; // none: the port's own settings
        std::vector<int> probes;          // probe numbers in order
    };
    bool EnterSetting();
    void NextAddress();
    int ProbeEstimateMs(int probe) const;
    std::optional<FoundNode> AsciiProbe(int address, int probe);
    std::optional<FoundNode> ModbusProbe(int address);
    FoundNode ModuleNode(const std::string& text, const std::string& designation, LinkKind link);
    void AddRackSlots(FoundNode& rack, const std::string& designation, const std::string& address);
    void AddZ350Slots(FoundNode& controller, const std::string& address);

    TavoComPort& port_;
    TavoRBase probe_;
    int first_;
    int last_;
    std::vector<PlanEntry> plan_;
    std::size_t entry_ = 0;
    bool entered_ = false;
    int address_;
    bool modbusRackSlots_;
    std::size_t probeIndex_ = 0;
    int progress_ = 0;
    int progressMax_;
    std::optional<LineSettings> original_; // set once a sweep has changed the line
    std::vector<std::string> notices_;
    std::array<long long, 3> silentMs_{};
    std::array<int, 3> silentCount_{};
};

// Runs `engine` to its end as the search dialog's timer paces it: one probe per
// tick of TimerIntervalMs(), or longer when the probe itself takes longer. Calls
// `beforeStep` before each probe and `found` for each module found; stops early
// when `stop` (may be null) becomes true, keeping what was found.
struct PacedSearchHooks {
    std::function<void(const SearchEngine&)> beforeStep;
    std::function<void(const FoundNode&, const SearchEngine&)> found;
};
void RunPacedSearch(SearchEngine& engine, const PacedSearchHooks& hooks,
                    const std::atomic<bool>* stop = nullptr);

// Readies the line for a search: reads away what it still carries from earlier
// traffic (single bytes until one does not come within the time-out, at most 1025),
// then purges the port's input, a network server's buffer included, so that the
// first probe's reply is the first thing heard.
void ClearLineBeforeSearch(TavoComPort& port);

// Text of a module node: "(" + two hex digits + ")" + designation, "(*)" for 0.
std::string ModuleNodeText(int address, const std::string& designation);

// Asks the module at `address` for its designation exactly as the search's probe
// `probe` does (0 ASCII, 1 ASCII with checksum, 2 Modbus RTU) through `prober`'s
// port: the name command with the port's checksum switch set for the probe, or the
// Modbus model registers (a rack's at 10001 first, then a module's at 211; address
// 0 is a broadcast no slave answers). Nullopt when no valid answer came.
std::optional<std::string> IdentifyModule(TavoRBase& prober, int address, int probe);

} // namespace tavo
