#include "point_watch.h"

#include "points/point_text.h"
#include "points/slot_identity.h"
#include "devices/r_base.h"
#include "workspace/core/model_registry.h"
#include "workspace/core/search_engine.h"

namespace tavo::cli {

std::unique_ptr<ModulePoints> MakePointsFor(const ModuleChoice& choice, const std::string& model,
                                            bool asked) {
    std::string error;
    if (auto points = MakeModulePoints(model, choice.where, error)) return points;
    const bool known = ModelRegistry::Instance().FindByDesignation(model) != nullptr;
    const std::string at = LocationText(choice.where);
    if (asked && !known)
        throw UsageError{"the module at " + at + " answers as '" + model +
                         "', a model this program does not know"};
    if (asked) throw UsageError{"the module at " + at + " answers as " + model + ": " + error};
    if (!known) {
        std::string models;
        for (const auto& d : ModelRegistry::Instance().Designations())
            models += (models.empty() ? "" : ", ") + d;
        throw UsageError{"unknown model '" + model + "' (the models are " + models + ")"};
    }
    throw UsageError{error};
}

std::string NoAnswerText(const ModuleChoice& choice, const std::string& what) {
    return "no answer from the module at " + LocationText(choice.where) + " to " + what + " (" +
           std::string(PointProtocolName(choice.where.protocol)) +
           "; check the address, the protocol options, the baud rate and the wiring)";
}

std::optional<std::string> AskModel(TavoComPort& port, const ModuleChoice& choice,
                                    std::string& silence) {
    if (choice.where.slot >= 0) {
        SlotLookup why = SlotLookup::Found;
        std::string error;
        const auto slot = IdentifySlot(port, choice.where, why, error);
        if (slot) return slot->model;
        if (why != SlotLookup::NoAnswer) throw UsageError{error};
        silence = error + " (" + std::string(PointProtocolName(choice.where.protocol)) +
                  "; check the address, the protocol options, the baud rate and the wiring)";
        return std::nullopt;
    }
    TavoRBase prober(&port);
    const int probe = choice.where.protocol == PointProtocol::Ascii           ? 0
                      : choice.where.protocol == PointProtocol::AsciiChecksum ? 1
                                                                              : 2;
    auto model = IdentifyModule(prober, choice.where.address, probe);
    if (!model) silence = NoAnswerText(choice, "the name request");
    return model;
}

std::string PointLine(const PointInfo& info, const PointReading& reading) {
    std::string value = PointValueText(info, reading);
    return info.name + "  " + (value.empty() ? "-" : value) + (info.unit.empty() ? "" : " " + info.unit) +
           "  " + std::string(PointQualityName(reading.quality));
}

struct PointWatch::Module {
    ModuleChoice choice;
    std::unique_ptr<ModulePoints> points; // null until the module has named itself
    std::vector<std::string> shown;       // what was last printed of each point
    bool silenceTold = false;
    std::string notice; // the points' notice last told
};

PointWatch::PointWatch(TavoComPort& port, std::vector<ModuleChoice> modules, bool json, bool csv)
    : port_(port), json_(json), csv_(csv) {
    for (auto& choice : modules) {
        auto m = std::make_unique<Module>();
        m->choice = std::move(choice);
        modules_.push_back(std::move(m));
    }
}

PointWatch::~PointWatch() = default;

void PointWatch::SetPoints(std::size_t module, std::unique_ptr<ModulePoints> points) {
    Module& m = *modules_.at(module);
    m.shown.assign(points ? points->Points().size() : 0, std::string());
    m.points = std::move(points);
}

const ModulePoints* PointWatch::Points(std::size_t module) const {
    return modules_.at(module)->points.get();
}

bool PointWatch::Cycle(Output& out, const std::function<bool()>& stopped) {
    for (auto& m : modules_) {
        if (stopped && stopped()) return false;
        if (!Poll(*m, out, stopped)) return false;
    }
    return true;
}

bool PointWatch::Poll(Module& m, Output& out, const std::function<bool()>& stopped) {
    const std::string at = LocationText(m.choice.where);
    if (!m.points) {
        std::string silence;
        try {
            const auto model = AskModel(port_, m.choice, silence);
            if (stopped && stopped()) return false;
            if (!model) {
                if (!m.silenceTold) out.notes += silence + "; asking again each cycle\n";
                m.silenceTold = true;
                return true;
            }
            auto points = MakePointsFor(m.choice, *model, true);
            m.shown.assign(points->Points().size(), std::string());
            m.points = std::move(points);
            if (m.silenceTold) out.notes += at + " answers now, as " + *model + "\n";
        } catch (const UsageError& e) {
            out.fatal = e.message;
            return false;
        }
    }
    ModulePoints& points = *m.points;
    const unsigned long before = points.Serial();
    points.ReadAll(port_);
    const auto time = std::chrono::system_clock::now();
    // A poll the stop cut short is not reported: part of it may not have been made.
    if (stopped && stopped()) return false;

    if (points.Notice() != m.notice) {
        m.notice = points.Notice();
        if (!m.notice.empty()) out.notes += m.notice + "\n";
    }
    const auto& infos = points.Points();
    const auto& readings = points.Readings();
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < infos.size(); ++i) {
        const std::string value = PointValueText(infos[i], readings[i]);
        std::string state = value + '\x1f' + infos[i].unit + '\x1f' +
                            std::string(PointQualityName(readings[i].quality));
        if (state == m.shown[i]) continue;
        m.shown[i] = std::move(state);
        changed.push_back(i);
    }
    if (!changed.empty()) {
        if (json_) {
            out.lines += PointsJson(points, time, changed) + "\n";
        } else {
            const std::string stamp = IsoTimeUtc(time);
            for (const std::size_t i : changed) {
                const std::string value = PointValueText(infos[i], readings[i]);
                out.lines += stamp + " " + at + " " + infos[i].name + " " +
                             (value.empty() ? "-" : value) +
                             (infos[i].unit.empty() ? "" : " " + infos[i].unit) + " " +
                             std::string(PointQualityName(readings[i].quality)) + "\n";
            }
        }
    }
    if (csv_) out.csvRows += PointsCsvRows(points, time, before);
    return true;
}

} // namespace tavo::cli
