#include "module_points.h"

#include "families.h"
#include "point_text.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace tavo {
namespace {

struct ProtocolName {
    PointProtocol protocol;
    std::string_view name;
};
constexpr std::array<ProtocolName, 3> kProtocolNames{{
    {PointProtocol::Ascii, "ascii"},
    {PointProtocol::AsciiChecksum, "checksum"},
    {PointProtocol::Modbus, "modbus"},
}};

// Models that answer the search but carry no values of their own.
struct NoPoints {
    std::string_view model;
    std::string_view why;
};
constexpr std::array<NoPoints, 8> kWithoutPoints{{
    {"K100", "is a rack controller: its values are its slots' (give the slot)"},
    {"K100E", "is a rack controller: its values are its slots' (give the slot)"},
    {"K100M", "is a rack controller: its values are its slots' (give the slot)"},
    {"K100EM", "is a rack controller: its values are its slots' (give the slot)"},
    {"Z351", "is a controller: its values are its slot modules' (give the slot)"},
    {"Z352", "is a controller: its values are its slot modules' (give the slot)"},
    {"R910", "is a converter and has no values of its own"},
    {"R8XX", "is a module waiting in its boot loader: it has no values until firmware is loaded"},
}};

} // namespace

std::string_view PointProtocolName(PointProtocol protocol) {
    for (const auto& p : kProtocolNames)
        if (p.protocol == protocol) return p.name;
    return "ascii";
}

std::optional<PointProtocol> PointProtocolFromName(std::string_view name) {
    for (const auto& p : kProtocolNames)
        if (p.name == name) return p.protocol;
    return std::nullopt;
}

std::string LocationText(const ModuleLocation& where) {
    char text[16];
    if (where.slot >= 0)
        std::snprintf(text, sizeof text, "%02XS%d", where.address & 0xFF, where.slot);
    else
        std::snprintf(text, sizeof text, "%02X", where.address & 0xFF);
    return text;
}

ModulePoints::ModulePoints(std::string model, ModuleLocation where, std::vector<PointInfo> points)
    : model_(std::move(model)), where_(where), points_(std::move(points)),
      readings_(points_.size()) {}

ModulePoints::~ModulePoints() = default;

int ModulePoints::IndexOf(std::string_view name) const {
    for (std::size_t i = 0; i < points_.size(); ++i)
        if (points_[i].name == name) return static_cast<int>(i);
    return -1;
}

void ModulePoints::Observe(const PortExchange& exchange) {
    ++serial_;
    if (Take(exchange) && exchange.ok) ++answered_;
}

bool ModulePoints::ReadAll(TavoComPort& port, bool refreshConfiguration) {
    if (where_.protocol != PointProtocol::Modbus)
        port.SetCheckSum(where_.protocol == PointProtocol::AsciiChecksum);
    const unsigned long before = serial_;
    answered_ = 0;
    {
        PointTap tap(port, *this);
        if (refreshConfiguration || !ConfigurationKnown()) ReadConfiguration(port);
        ReadValues(port);
    }
    // A point no reply of this read renewed (its request was left out because the
    // configuration could not be read, say) must not keep an older value as good.
    for (std::size_t i = 0; i < readings_.size(); ++i)
        if (answered_ == 0 || readings_[i].serial <= before)
            readings_[i] = BadReading(PointQuality::Failed, serial_);
    return answered_ > 0;
}

bool ModulePoints::LearnConfiguration(TavoComPort& port, bool refresh) {
    if (!refresh && ConfigurationKnown()) return true;
    if (where_.protocol != PointProtocol::Modbus)
        port.SetCheckSum(where_.protocol == PointProtocol::AsciiChecksum);
    PointTap tap(port, *this);
    ReadConfiguration(port);
    return ConfigurationKnown();
}

std::optional<double> ModulePoints::CheckWrite(std::string_view name, std::string_view text,
                                               std::string& error) const {
    const int index = IndexOf(name);
    if (index < 0) {
        error = model_ + " has no point " + std::string(name) + " (it has " + PointNameList(points_) + ")";
        return std::nullopt;
    }
    const PointInfo& info = points_[static_cast<std::size_t>(index)];
    if (!info.writable) {
        error = info.kind == PointKind::AnalogInput || info.kind == PointKind::DigitalInput ||
                        info.kind == PointKind::Counter || info.kind == PointKind::Frequency
                    ? info.name + " is an input and cannot be written"
                    : info.name + " of the " + model_ + " cannot be written";
        return std::nullopt;
    }
    const auto value = ParsePointValue(info, text, error);
    if (!value) return std::nullopt;
    if (!WithinLimits(info, *value, error)) return std::nullopt;
    if (std::string refusal = WriteRefusal(index, *value); !refusal.empty()) {
        error = std::move(refusal);
        return std::nullopt;
    }
    return value;
}

bool ModulePoints::Write(TavoComPort& port, std::string_view name, double value, std::string& error) {
    const auto checked = CheckWrite(name, FormatPointNumber(value, 9), error);
    if (!checked) return false;
    if (where_.protocol != PointProtocol::Modbus)
        port.SetCheckSum(where_.protocol == PointProtocol::AsciiChecksum);
    PointTap tap(port, *this);
    return WritePoint(port, IndexOf(name), *checked, error);
}

void ModulePoints::SetGood(int index, double value) {
    auto& info = points_[static_cast<std::size_t>(index)];
    readings_[static_cast<std::size_t>(index)] =
        GoodReading(IsDigital(info.kind) ? (value != 0.0 ? 1.0 : 0.0) : value, serial_);
}

void ModulePoints::SetBad(int index, PointQuality quality) {
    readings_[static_cast<std::size_t>(index)] = BadReading(quality, serial_);
}

std::string ModulePoints::AddressText() const {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", where_.address & 0xFF);
    return text;
}

std::unique_ptr<ModulePoints> MakeModulePoints(std::string_view model, const ModuleLocation& where,
                                               std::string& error) {
    if (where.address < 0 || where.address > 255) {
        error = "address " + std::to_string(where.address) + " is outside 0 to 255";
        return nullptr;
    }
    for (const auto& none : kWithoutPoints)
        if (none.model == model && where.slot < 0) {
            error = std::string(model) + " " + std::string(none.why);
            return nullptr;
        }
    for (auto* maker : {&MakeAnalogInputPoints, &MakeOutputPoints, &MakeDigitalPoints, &MakeSlotPoints}) {
        FamilyAnswer answer = maker(model, where);
        if (answer.points) return std::move(answer.points);
        if (!answer.refusal.empty()) {
            error = answer.refusal;
            return nullptr;
        }
    }
    error = "no points are known for model " + std::string(model);
    return nullptr;
}

// Taps need not go in the reverse order they came (the window's tap of an open
// panel goes with the panel while a later one stays): a tap that goes while another
// sits above it only stops passing exchanges to its points, and the one on top,
// when it goes, puts back the first watcher below it that still has points.
struct PointTap::Link {
    ModulePoints* points;
    ExchangeObserver previous;
};

namespace {

struct Forward {
    std::shared_ptr<PointTap::Link> link;
    void operator()(const PortExchange& exchange) const {
        if (link->points) link->points->Observe(exchange);
        if (link->previous) link->previous(exchange);
    }
};

} // namespace

PointTap::PointTap(TavoComPort& port, ModulePoints& points)
    : port_(port), link_(std::make_shared<Link>(Link{&points, port.GetExchangeObserver()})) {
    port_.SetExchangeObserver(Forward{link_});
}

PointTap::~PointTap() {
    link_->points = nullptr;
    const auto* top = port_.GetExchangeObserver().target<Forward>();
    if (!top || top->link != link_) return;
    ExchangeObserver below = link_->previous;
    while (const auto* gone = below.target<Forward>()) {
        if (gone->link->points) break;
        below = ExchangeObserver(gone->link->previous);
    }
    port_.SetExchangeObserver(std::move(below));
}

} // namespace tavo
