// The points of one module (or one slot of a rack) and the two operations on them:
// read every point in the fewest transactions, and write one output after checking
// the value. A model's family class (analog inputs, outputs, digital I/O, counters,
// loop controllers, rack and Z-series slots) says which points it has and how the
// replies to its requests become readings.
//
// Readings are learned from exchanges: ReadAll makes the requests and the family
// takes the replies as the port reports them, and an open panel's own poll feeds the
// same object (Observe), so a panel can be recorded without one transaction more and
// with the same rules that `tavo read` and the gateway use.
#pragma once

#include "point.h"

#include "transport/com_port.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavo {

// How the module is talked to, as the search found it.
enum class PointProtocol { Ascii, AsciiChecksum, Modbus };
std::string_view PointProtocolName(PointProtocol protocol); // "ascii", "checksum", "modbus"
std::optional<PointProtocol> PointProtocolFromName(std::string_view name);

struct ModuleLocation {
    int address = 1; // 0 to 255, as the module answers
    int slot = -1;   // slot of a rack or Z-series controller; -1 for a module of its own
    PointProtocol protocol = PointProtocol::Ascii;
    friend bool operator==(const ModuleLocation&, const ModuleLocation&) = default;
};
// "09", or "40S2" for slot 2 of the rack at 40.
std::string LocationText(const ModuleLocation& where);

class ModulePoints {
public:
    virtual ~ModulePoints();
    ModulePoints(const ModulePoints&) = delete;
    ModulePoints& operator=(const ModulePoints&) = delete;

    const std::string& Model() const { return model_; }
    const ModuleLocation& Location() const { return where_; }
    // Names, kinds and order are fixed for a model; units and limits are filled in
    // once the module's configuration (its ranges) has been read.
    const std::vector<PointInfo>& Points() const { return points_; }
    const std::vector<PointReading>& Readings() const { return readings_; }
    // -1 for a name the model does not have.
    int IndexOf(std::string_view name) const;
    // How many exchanges have been observed so far (readings carry the serial of the
    // exchange that set them).
    unsigned long Serial() const { return serial_; }
    // One line on why points read Failed although the module answers (a rack slot
    // that holds another module, an address map that does not carry the points);
    // empty when there is nothing to say.
    const std::string& Notice() const { return notice_; }

    // One finished transaction of anybody's on the module's port. Exchanges meant for
    // other modules, and replies that are not what the request asks for, are taken
    // for what they are: the first are ignored, the second make the points the
    // request reads Failed. Never sends anything.
    void Observe(const PortExchange& exchange);

    // Reads every point once through `port`, which must be open with its line
    // settings and time-out set; the checksum switch is set here from the protocol.
    // The configuration the readings depend on (data format, ranges, enabled
    // channels) is read first when it is not known yet or `refreshConfiguration`.
    // False when the module answered none of the requests: every reading is then
    // Failed.
    bool ReadAll(TavoComPort& port, bool refreshConfiguration = false);
    // Reads only the configuration the readings and limits depend on (what ReadAll
    // reads first), when it is not known yet or `refresh`; the checksum switch is set
    // as in ReadAll. True when the configuration is known afterwards.
    bool LearnConfiguration(TavoComPort& port, bool refresh = false);

    // The value a write of `text` to point `name` would send, or nullopt with one
    // line in `error`: the point does not exist, is not writable, the text is not a
    // value of its kind (digital: 0, 1, ON, OFF, true, false; analog: a decimal
    // number), or lies outside its limits. Sends nothing.
    std::optional<double> CheckWrite(std::string_view name, std::string_view text,
                                     std::string& error) const;
    // Writes `value` to `name` (checked again first). False with one line in `error`
    // when it was refused before sending, or the module refused or did not answer.
    // The point is not read back here: ReadAll does that.
    bool Write(TavoComPort& port, std::string_view name, double value, std::string& error);

protected:
    ModulePoints(std::string model, ModuleLocation where, std::vector<PointInfo> points);

    // Family hooks. Take: an exchange with this module's address (and slot); set the
    // readings it carries, or make them Failed when it failed or is not the reply its
    // request wants. Return false for an exchange that is not this module's at all.
    virtual bool Take(const PortExchange& exchange) = 0;
    virtual bool ConfigurationKnown() const = 0;
    // The requests (through the device classes on `port`); their replies reach Take.
    virtual void ReadConfiguration(TavoComPort& port) = 0;
    virtual void ReadValues(TavoComPort& port) = 0;
    virtual bool WritePoint(TavoComPort& port, int index, double value, std::string& error) = 0;
    // A refusal of the family's own for a value that suits the point's kind and
    // limits, from what is known now (an output that a loop in Auto mode drives, say):
    // one line, or empty when there is none. CheckWrite asks it; nothing is sent.
    virtual std::string WriteRefusal(int /*index*/, double /*value*/) const { return {}; }

    // For the families.
    PointInfo& Info(int index) { return points_[static_cast<std::size_t>(index)]; }
    void SetGood(int index, double value);
    void SetBad(int index, PointQuality quality);
    void SetNotice(std::string text) { notice_ = std::move(text); }
    // The module's address as commands write it ("09").
    std::string AddressText() const;
    unsigned long CurrentSerial() const { return serial_; }

private:
    std::string model_;
    ModuleLocation where_;
    std::vector<PointInfo> points_;
    std::vector<PointReading> readings_;
    unsigned long serial_ = 0;
    std::string notice_;
    // While ReadAll runs: how many of this module's exchanges succeeded.
    int answered_ = 0;
};

// The points of `model` at `where`. Null, with one line in `error`, for a model that
// has no points of its own (a rack or Z-series controller without a slot, the
// converter, a module waiting in its boot loader), a designation no family knows, a
// slot the model cannot have, or a protocol the model does not speak.
std::unique_ptr<ModulePoints> MakeModulePoints(std::string_view model, const ModuleLocation& where,
                                               std::string& error);

// Watches a port for as long as it lives and passes every exchange to `points` and
// then to the watcher that was there before. Taps may go in any order.
class PointTap {
public:
    PointTap(TavoComPort& port, ModulePoints& points);
    ~PointTap();
    PointTap(const PointTap&) = delete;
    PointTap& operator=(const PointTap&) = delete;

    struct Link; // the tapped points (null once the tap is gone) and the watcher below

private:
    TavoComPort& port_;
    std::shared_ptr<Link> link_;
};

} // namespace tavo
