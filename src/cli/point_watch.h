// The modules of `tavo read`, `tavo write` and `tavo watch`: their points made from
// the model given or asked, and the poll cycle of `tavo watch` with what it prints.
#pragma once

#include "point_options.h"

#include "points/module_points.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavo::cli {

// The points of the module `choice` names, as model `model`. Throws UsageError with
// one line for a model no family knows or one without points of its own; `asked`
// says the model is the module's own answer, not an argument.
std::unique_ptr<ModulePoints> MakePointsFor(const ModuleChoice& choice, const std::string& model,
                                            bool asked);

// "no answer from the module at 09 to the name request (ascii; check ...)": one
// line on a module that did not answer `what`.
std::string NoAnswerText(const ModuleChoice& choice, const std::string& what);

// Asks the module for its designation as the search's probe for its protocol does;
// for a slot, asks the rack which module sits there as the search reads its slot
// nodes. Nullopt with one line in `silence` when no valid answer came; throws
// UsageError when the rack answers but the slot holds nothing to read (no rack at
// the address, a slot beyond the rack, an empty slot).
std::optional<std::string> AskModel(TavoComPort& port, const ModuleChoice& choice,
                                    std::string& silence);

// "do3  1  good", "ao0  12.5 mA  good", "ai2  -  burn-out": one point as `tavo write`
// prints it after the read-back.
std::string PointLine(const PointInfo& info, const PointReading& reading);

class PointWatch {
public:
    struct Output {
        std::string lines;   // what changed: text lines, or one JSON object a line
        std::string csvRows; // every point each poll read, when CSV rows are wanted
        std::string notes;   // lines for standard error, each ended by '\n'
        std::string fatal;   // set when watching cannot go on (a model without points)
    };

    // `port` open with its line settings and time-out; the modules' models may be
    // empty (asked at their first poll, again each cycle until one answers).
    PointWatch(TavoComPort& port, std::vector<ModuleChoice> modules, bool json, bool csv);
    ~PointWatch();
    PointWatch(const PointWatch&) = delete;
    PointWatch& operator=(const PointWatch&) = delete;

    // The points of a module made before the first cycle (a model given as argument).
    void SetPoints(std::size_t module, std::unique_ptr<ModulePoints> points);

    // Polls every module once, in turn, appending to `out`. `stopped` (may be empty)
    // is asked before each module; a poll during which it turned true is left out,
    // whatever of it was done. False once stopped or fatal.
    bool Cycle(Output& out, const std::function<bool()>& stopped = {});

    std::size_t ModuleCount() const { return modules_.size(); }
    const ModulePoints* Points(std::size_t module) const;

private:
    struct Module;
    bool Poll(Module& module, Output& out, const std::function<bool()>& stopped);

    TavoComPort& port_;
    std::vector<std::unique_ptr<Module>> modules_;
    bool json_;
    bool csv_;
};

} // namespace tavo::cli
