#include "r320t_session.h"

#include <cmath>
#include <optional>

namespace tavo {

using namespace loop;

bool LoopSession::WritePIDValue(int index, std::int32_t value) {
    if (!link_ || !link_->WriteEntry(ValID(index), value)) return false;
    SetPIDVal(index, value);
    return true;
}

LoopView LoopSession::Compute() {
    LoopView v;
    LoopScale& s = Scale();
    if (!s.set) {
        s.high = Real(kPVRangeHigh);
        s.low = Real(kPVRangeLow);
        // A PV range of no width (a table never set up) gives no scale; the next
        // look takes the range again, once it has been set.
        s.set = s.high != s.low;
    }
    if (!ScaleValid()) {
        v.invalidScale = true;
        return v;
    }
    const double pv = Real(kPV);
    if (pv > s.high) {
        s.high = std::min(pv + 1.0, Real(kPVRangeHigh));
        v.scaleChanged = true;
    } else if (pv < s.low) {
        s.low = std::max(pv - 1.0, Real(kPVRangeLow));
        v.scaleChanged = true;
    }
    v.sv = Percent(Real(kSV), s.low, s.high);
    v.pv = Percent(pv, s.low, s.high);
    v.mv = Percent(PIDVal(kMV), PIDVal(kMVRangeLow), PIDVal(kMVRangeHigh));
    return v;
}

bool LoopSession::ScaleValid() const {
    const LoopScale& s = Scale();
    const double high = s.set ? s.high : Real(kPVRangeHigh);
    const double low = s.set ? s.low : Real(kPVRangeLow);
    return high != low && PIDVal(kMVRangeHigh) != PIDVal(kMVRangeLow);
}

std::string LoopSession::EditSV(const std::string& text) {
    const auto sv = ParseFixed(text);
    if (sv && *sv == PIDVal(kSV)) return {};
    if (!sv || *sv < PIDVal(kSVLimitLow) || *sv > PIDVal(kSVLimitHigh))
        return "SV value is out of range!";
    return WritePIDValue(kSV, *sv) ? "" : "Failed to set data!";
}

std::string LoopSession::EditMV(const std::string& text, bool& written) {
    written = false;
    const auto percent = ParseFixed(text); // thousandths of a percent
    if (!percent || *percent < 0 || *percent > 100000) return "Value is out of range! (0.0~100.0)";
    const std::int32_t mv = MVFromPercent(*percent, PIDVal(kMVRangeLow), PIDVal(kMVRangeHigh));
    if (mv == PIDVal(kMV)) return {};
    if (mv < PIDVal(kMVLimitLow) || mv > PIDVal(kMVLimitHigh)) return "Value is out of bound!";
    if (!WritePIDValue(kMV, mv)) return "Failed to set data!";
    written = true;
    return {};
}

namespace {
std::optional<double> Number(const std::string& text) {
    const auto v = ParseFixed(text);
    if (!v) return std::nullopt;
    return *v / 1000.0;
}
} // namespace

std::string LoopSession::EditHigh(const std::string& text) {
    const auto high = Number(text);
    if (!high || *high < Real(kSV) || *high > Real(kPVRangeHigh) || *high < Real(kPV))
        return "Value is out of range!";
    Scale().high = *high;
    Scale().set = true;
    return {};
}

std::string LoopSession::EditLow(const std::string& text) {
    const auto low = Number(text);
    if (!low || *low < Real(kPVRangeLow) || *low > Real(kSV) || *low > Real(kPV))
        return "Value is out of range!";
    Scale().low = *low;
    Scale().set = true;
    return {};
}

std::string LoopSession::SetMode(int mode) {
    if (mode < 0 || mode > 2) return "Failed to change data!";
    return WritePIDValue(kMode, mode) ? "" : "Failed to change data!";
}

std::string LoopSession::EditTuning(int index, const std::string& text) {
    const auto v = ParseFixed(text);
    if (!v || *v < 1 || *v > 10000) return "Value is out of range!";
    if (*v == PIDVal(index)) return {};
    return WritePIDValue(index, *v) ? "" : "Failed to set data!";
}

} // namespace tavo
