// What the loop controller panel and its dialogs share while they are open: the PID
// table as last read, the selected loop, the display scale of each loop, and the
// edits of SV, MV, the scale and the control mode with their rules. Plain C++; the
// forms only show what it computes and word what it returns.
#pragma once

#include "r320t_link.h"

#include "devices/loop_table.h"

#include <array>
#include <string>

namespace tavo {

struct LoopScale {
    double high = 0.0, low = 0.0;
    bool set = false; // taken from the PV range at the first full read that has one
};

// What the PID fields show for the selected loop.
struct LoopView {
    bool invalidScale = false;
    double sv = 0.0, pv = 0.0, mv = 0.0; // percent
    bool scaleChanged = false;           // the auto-scale moved a bound
};

class LoopSession {
public:
    explicit LoopSession(R320TLink* link = nullptr) : link_(link) {}
    void SetLink(R320TLink* link) { link_ = link; }
    R320TLink* Link() const { return link_; }

    int Loop() const { return loop_; }
    void SetLoop(int loop) { loop_ = loop == 1 ? 1 : 0; }

    loop::PidTable& Table() { return table_; }
    const loop::PidTable& Table() const { return table_; }
    // The selected loop's entry (PIDVal), and setting it in the copy (SetPIDVal).
    std::int32_t PIDVal(int index) const { return table_[static_cast<std::size_t>(ValID(index))]; }
    void SetPIDVal(int index, std::int32_t v) { table_[static_cast<std::size_t>(ValID(index))] = v; }
    int ValID(int index) const { return loop::EntryId(loop_, index); }
    // "%.3f" of the entry as a real number.
    std::string LongToFloatStr(int index) const { return loop::FixedText(PIDVal(index)); }
    double Real(int index) const { return PIDVal(index) / 1000.0; }

    LoopScale& Scale() { return scale_[static_cast<std::size_t>(loop_)]; }
    const LoopScale& Scale() const { return scale_[static_cast<std::size_t>(loop_)]; }

    // Sends entry `index` of the selected loop and keeps it on success.
    bool WritePIDValue(int index, std::int32_t value);

    // After a full read: the scale check, the auto-scale and the percentages.
    LoopView Compute();
    // Whether the selected loop's display scale and MV range have a width (the
    // scale check of Compute, without its changes).
    bool ScaleValid() const;

    // The edits; each returns the message to show ("" when there is none: written,
    // or nothing to send).
    std::string EditSV(const std::string& text);
    // On success `written` tells whether MV was sent.
    std::string EditMV(const std::string& text, bool& written);
    std::string EditHigh(const std::string& text);
    std::string EditLow(const std::string& text);
    std::string SetMode(int mode);
    // P, I or D (0.001 to 10.000); refused before anything is sent.
    std::string EditTuning(int index, const std::string& text);

private:
    R320TLink* link_;
    loop::PidTable table_{};
    int loop_ = 0;
    std::array<LoopScale, 2> scale_{};
};

} // namespace tavo
