// The points of rack slots and Z-series slot modules, inside the family: what the
// ASCII slot classes share (a slot's command lines as the port's watcher hears
// them, the rack's slot table that says whether the slot holds the model at all)
// and the makers of the sub-families.
#pragma once

#include "module_points.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavo {

struct KAnalogSlotMember;
struct KDigitalMember;

// A point of a slot: `kind` with the channel number in its name ("ai3", "do12"),
// and the channel number back from a point's name.
PointInfo SlotPoint(PointKind kind, int channel);
int PointChannel(const PointInfo& info);

// The channel c of a channel command "C{c}" + `tail` ("C3B" with tail "B"), one
// decimal digit below `channels`; -1 for anything else.
int ChannelCommand(std::string_view rest, std::string_view tail, int channels);

// The points of every model this family has (the same list over ASCII and Modbus);
// empty for a model that is not the family's.
std::vector<PointInfo> SlotModelPoints(std::string_view model);

// What the ASCII slot families share. Every command to the slot is
// <lead><AA>S<n><rest>; the rack's slot table ($AAT, read once by ReadAll and heard
// from anybody's read) says whether the slot holds this model: while it holds
// another one, is empty or lies beyond the table, every point reads Failed and
// Notice() says why.
class AsciiSlotPoints : public ModulePoints {
protected:
    // The slot table gives the model's code ("22", "AI" for a generic analog input,
    // "32" for a Z320) in the slot's two characters.
    AsciiSlotPoints(std::string model, ModuleLocation where, bool zseries);

    // A command to this slot: `rest` follows the selector ("6", "C3B", "").
    virtual void TakeSlot(char lead, std::string_view rest, const PortExchange& exchange) = 0;
    virtual bool FamilyConfigurationKnown() const = 0;
    virtual void ReadFamilyConfiguration(TavoComPort& port) = 0;
    virtual void ReadSlotValues(TavoComPort& port) = 0;
    // The port time-out the slot's commands want (ms); 0 leaves the port's own.
    virtual int SlotTimeOutMs() const { return 0; }

    std::string Selector() const; // "S2"
    int Slot() const { return Location().slot; }
    // Whether the slot table was read and shows this model in the slot.
    bool SlotConfirmed() const { return table_ == Table::Holds; }
    void FailAll();
    // Readings the family sets here carry the serial of the exchange being taken;
    // outside Take, only after an exchange of the running read (see ReadAll).
    int PointCount() const { return static_cast<int>(Points().size()); }
    // Before a write: reads the slot table and the configuration when they are not
    // known yet; false with one line in `error` when the slot does not hold this
    // model or did not answer.
    bool ReadyToWrite(TavoComPort& port, std::string& error);
    // Why a write failed, from the port's last error.
    std::string WriteFailure(const TavoComPort& port, const std::string& point) const;

    // Holds the port at SlotTimeOutMs() for the life of the guard.
    class TimeOut {
    public:
        TimeOut(TavoComPort& port, int ms);
        ~TimeOut();
        TimeOut(const TimeOut&) = delete;
        TimeOut& operator=(const TimeOut&) = delete;

    private:
        TavoComPort& port_;
        int saved_;
    };

private:
    bool Take(const PortExchange& exchange) final;
    bool ConfigurationKnown() const final;
    void ReadConfiguration(TavoComPort& port) final;
    void ReadValues(TavoComPort& port) final;
    void TakeSlotTable(const PortExchange& exchange);

    enum class Table { Unknown, Holds, Other };
    std::string code_;
    bool zseries_;
    Table table_ = Table::Unknown;
};

// The sub-families. `model` is the designation the points carry.
std::unique_ptr<ModulePoints> MakeKDigitalPoints(const KDigitalMember& member,
                                                 const ModuleLocation& where);
std::unique_ptr<ModulePoints> MakeKCounterPoints(const ModuleLocation& where);
// `member` null: the generic analog input slot (K0AI) of up to eight channels.
std::unique_ptr<ModulePoints> MakeKAnalogInputPoints(std::string model,
                                                     const KAnalogSlotMember* member,
                                                     const ModuleLocation& where);
std::unique_ptr<ModulePoints> MakeKOutputPoints(const ModuleLocation& where);
// Any K-series slot model of a rack speaking Modbus (K100M, K100EM).
std::unique_ptr<ModulePoints> MakeKModbusSlotPoints(std::string model, const ModuleLocation& where);
std::unique_ptr<ModulePoints> MakeZSlotPoints(std::string model, const ModuleLocation& where);

// Channel counts of the Z-series I/O modules: analog inputs, analog outputs,
// digital inputs, digital outputs.
struct ZSlotShape {
    const char* model;
    int ai, ao, di, dout;
};
const ZSlotShape* FindZSlotShape(std::string_view model);

// The channels a generic analog input slot can have (its enable mask has 8 bits).
inline constexpr int kGenericInputChannels = 8;

} // namespace tavo
