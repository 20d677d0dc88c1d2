// The rack slots' family: which models it has, how a model and a slot become points,
// and what its ASCII classes share.
#include "slot_points.h"

#include "exchange_parts.h"

#include "families.h"
#include "k_analog_ranges.h"
#include "k_slot_data.h"

#include "devices/k_series.h"

#include <array>

namespace tavo {
namespace {

constexpr std::array<ZSlotShape, 2> kZShapes{{
    {"Z320", 4, 4, 8, 4},
    {"Z310", 3, 3, 6, 2},
}};

// The controllers themselves: they have no points of their own, also with a slot.
constexpr std::array<std::string_view, 6> kRacks{"K100", "K100E", "K100M", "K100EM", "Z351", "Z352"};

// Whatever a rack's slot table can name: the series letter, two code characters
// and "0" ("K990", "Z330").
bool LooksLikeSlotModel(std::string_view model) {
    const auto code = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'); };
    return model.size() == 4 && (model[0] == 'K' || model[0] == 'Z') && code(model[1]) &&
           code(model[2]) && model[3] == '0';
}

// The slot table's code of a model of this family.
std::string SlotCode(std::string_view model) {
    if (model == "K220H") return "2H";
    if (model == "K220UH") return "2U";
    if (model == "K0AI" || model == "K230P") return "AI";
    return std::string(model.substr(1, 2));
}

// What the slot table says instead of this model, for the notice.
std::string TableDesignation(const std::string& code, bool zseries) {
    if (zseries) return "Z" + code + "0";
    std::string designation;
    return TavoMK100::DesignationForCode(code, designation) ? designation : code;
}

void Append(std::vector<PointInfo>& points, PointKind kind, int from, int to) {
    for (int c = from; c < to; ++c)
        points.push_back(SlotPoint(kind, c));
}

} // namespace

PointInfo SlotPoint(PointKind kind, int channel) {
    PointInfo info;
    info.kind = kind;
    switch (kind) {
    case PointKind::AnalogInput: info.name = "ai"; break;
    case PointKind::AnalogOutput: info.name = "ao"; break;
    case PointKind::DigitalInput: info.name = "di"; break;
    case PointKind::DigitalOutput: info.name = "do"; break;
    case PointKind::Counter: info.name = "cnt"; break;
    case PointKind::Frequency: info.name = "freq"; break;
    }
    info.name += std::to_string(channel);
    info.writable = kind == PointKind::AnalogOutput || kind == PointKind::DigitalOutput;
    info.decimals = IsDigital(kind) || kind == PointKind::Counter ? 0 : 3;
    if (kind == PointKind::Frequency) {
        info.unit = "Hz";
        info.decimals = 2;
    }
    return info;
}

int PointChannel(const PointInfo& info) {
    std::size_t digits = info.name.size();
    while (digits > 0 && info.name[digits - 1] >= '0' && info.name[digits - 1] <= '9') --digits;
    return digits < info.name.size() ? std::stoi(info.name.substr(digits)) : -1;
}

int ChannelCommand(std::string_view rest, std::string_view tail, int channels) {
    if (rest.size() != 2 + tail.size() || rest[0] != 'C' || rest.substr(2) != tail) return -1;
    const int c = rest[1] - '0';
    return c >= 0 && c < channels ? c : -1;
}

std::vector<PointInfo> SlotModelPoints(std::string_view model) {
    std::vector<PointInfo> points;
    if (const KDigitalMember* member = FindKDigitalMember(model)) {
        // A K510 channel is an input or an output as its DIP switch says: both are
        // listed, and the one it is not reads disabled.
        if (member->readsDIPSwitch) {
            Append(points, PointKind::DigitalOutput, 0, member->buttons);
            Append(points, PointKind::DigitalInput, 0, member->buttons);
            return points;
        }
        for (int c = 0; c < member->buttons && member->captions[c]; ++c)
            points.push_back(SlotPoint(
                member->captions[c] == 'I' ? PointKind::DigitalInput : PointKind::DigitalOutput, c));
        return points;
    }
    if (model == "K710") {
        Append(points, PointKind::Counter, 0, 4);
        Append(points, PointKind::Frequency, 0, 4);
        return points;
    }
    if (model == "K310") {
        Append(points, PointKind::AnalogOutput, 0, 4);
        return points;
    }
    if (const KAnalogSlotMember* member = FindKAnalogMember(model)) {
        Append(points, PointKind::AnalogInput, 0, member->channels);
        return points;
    }
    if (model == "K0AI") {
        Append(points, PointKind::AnalogInput, 0, kGenericInputChannels);
        return points;
    }
    if (const ZSlotShape* z = FindZSlotShape(model)) {
        Append(points, PointKind::AnalogInput, 0, z->ai);
        Append(points, PointKind::AnalogOutput, 0, z->ao);
        Append(points, PointKind::DigitalInput, 0, z->di);
        Append(points, PointKind::DigitalOutput, 0, z->dout);
    }
    return points;
}

const ZSlotShape* FindZSlotShape(std::string_view model) {
    for (const auto& z : kZShapes)
        if (model == z.model) return &z;
    return nullptr;
}

// ---------------------------------------------------------------------------
// AsciiSlotPoints

AsciiSlotPoints::AsciiSlotPoints(std::string model, ModuleLocation where, bool zseries)
    : ModulePoints(model, where, SlotModelPoints(model)), code_(SlotCode(model)),
      zseries_(zseries) {}

std::string AsciiSlotPoints::Selector() const {
    return "S" + std::to_string(Slot());
}

void AsciiSlotPoints::FailAll() {
    for (int i = 0; i < PointCount(); ++i)
        SetBad(i, PointQuality::Failed);
}

bool AsciiSlotPoints::Take(const PortExchange& exchange) {
    const auto line = decode::AsciiCommandTo(exchange, Location().address);
    if (!line) return false;
    if (line->lead == '$' && line->body == "T") {
        TakeSlotTable(exchange);
        return true;
    }
    const std::string selector = Selector();
    if (line->body.substr(0, selector.size()) != selector) return false;
    // A slot that holds another module answers for that one: nothing it says is
    // this model's reading.
    if (table_ == Table::Other)
        FailAll();
    else
        TakeSlot(line->lead, line->body.substr(selector.size()), exchange);
    return true;
}

void AsciiSlotPoints::TakeSlotTable(const PortExchange& exchange) {
    const auto data = decode::AddressedData(exchange);
    if (!data) return; // the table stays as it was known
    const std::string rack = "the rack at " + AddressText();
    const auto at = static_cast<std::size_t>(2 * Slot());
    if (data->size() < at + 2) {
        SetNotice("slot " + std::to_string(Slot()) + " is outside " + rack + ", which has " +
                  std::to_string(data->size() / 2) + " slots");
    } else {
        const std::string code(data->substr(at, 2));
        if (code == code_) {
            if (table_ == Table::Other) SetNotice({});
            table_ = Table::Holds;
            return;
        }
        SetNotice(code == "FF" ? "slot " + std::to_string(Slot()) + " of " + rack + " is empty"
                               : "slot " + std::to_string(Slot()) + " of " + rack + " holds a " +
                                     TableDesignation(code, zseries_) + ", not a " + Model());
    }
    table_ = Table::Other;
    FailAll();
}

bool AsciiSlotPoints::ConfigurationKnown() const {
    return table_ == Table::Holds && FamilyConfigurationKnown();
}

void AsciiSlotPoints::ReadConfiguration(TavoComPort& port) {
    const int ms = SlotTimeOutMs();
    std::optional<TimeOut> slow;
    if (ms > 0) slow.emplace(port, ms);
    // The slot may have been given another module since it was last read.
    TavoRackController rack(&port, AddressText());
    std::string table;
    rack.ReadSlotTable(table); // the reply reaches TakeSlotTable
    if (table_ == Table::Holds) ReadFamilyConfiguration(port);
}

void AsciiSlotPoints::ReadValues(TavoComPort& port) {
    // Commands to a slot that holds something else would be answered by that.
    if (table_ != Table::Holds) return;
    const int ms = SlotTimeOutMs();
    std::optional<TimeOut> slow;
    if (ms > 0) slow.emplace(port, ms);
    ReadSlotValues(port);
}

bool AsciiSlotPoints::ReadyToWrite(TavoComPort& port, std::string& error) {
    if (!ConfigurationKnown()) ReadConfiguration(port);
    if (ConfigurationKnown()) return true;
    error = !Notice().empty() ? Notice()
                              : "the " + Model() + " at " + LocationText(Location()) +
                                    " did not answer the reads a write needs first";
    return false;
}

std::string AsciiSlotPoints::WriteFailure(const TavoComPort& port, const std::string& point) const {
    const std::string who = "the " + Model() + " at " + LocationText(Location());
    const PortError& e = port.LastError();
    switch (e.kind) {
    case PortError::Kind::Refused: return who + " refused the write of " + point;
    case PortError::Kind::Timeout: return who + " did not answer the write of " + point;
    default:
        return "the write of " + point + " to " + who + " failed" +
               (e.text.empty() ? std::string() : ": " + e.text);
    }
}

AsciiSlotPoints::TimeOut::TimeOut(TavoComPort& port, int ms)
    : port_(port), saved_(port.GetTimeOut()) {
    port_.SetTimeOut(ms);
}

AsciiSlotPoints::TimeOut::~TimeOut() {
    port_.SetTimeOut(saved_);
}

// ---------------------------------------------------------------------------

FamilyAnswer MakeSlotPoints(std::string_view model, const ModuleLocation& where) {
    FamilyAnswer answer;
    const std::string name(model);
    for (const auto rack : kRacks)
        if (model == rack) {
            if (where.slot >= 0)
                answer.refusal = name + " is the rack itself: give the designation of the module "
                                        "in its slot, or leave the model out to ask the rack";
            return answer;
        }
    const KDigitalMember* digital = FindKDigitalMember(model);
    const KAnalogSlotMember* analog = FindKAnalogMember(model);
    const ZSlotShape* z = FindZSlotShape(model);
    const bool ours = digital || analog || z || model == "K710" || model == "K310" || model == "K0AI";
    if (!ours) {
        // A module the rack names by its code but that no family here models.
        if (where.slot >= 0 && LooksLikeSlotModel(model))
            answer.refusal = name + " is a slot module whose values are not known here (slot code " +
                             name.substr(1, 2) + ")";
        return answer;
    }
    if (where.slot < 0) {
        answer.refusal = name + " sits in a rack slot: give the slot (0 to 7) with the rack's address";
        return answer;
    }
    if (where.slot > 7) {
        answer.refusal = "slot " + std::to_string(where.slot) +
                         " is outside every rack (a rack holds slots 0 to 7)";
        return answer;
    }
    if (where.protocol == PointProtocol::Modbus) {
        if (z) {
            answer.refusal = name + " slot modules are reached over ASCII only";
        } else if (where.address < 1 || where.address > 247) {
            answer.refusal = "a Modbus rack answers at addresses 1 to 247, not " +
                             std::to_string(where.address);
        } else {
            answer.points = MakeKModbusSlotPoints(name, where);
        }
        return answer;
    }
    if (digital)
        answer.points = MakeKDigitalPoints(*digital, where);
    else if (model == "K710")
        answer.points = MakeKCounterPoints(where);
    else if (model == "K310")
        answer.points = MakeKOutputPoints(where);
    else if (z)
        answer.points = MakeZSlotPoints(name, where);
    else
        answer.points = MakeKAnalogInputPoints(name, analog, where);
    return answer;
}

} // namespace tavo
