// Module points as a line of text for tests: "di0=1 do3=0 cnt2=disabled ...".
#pragma once

#include "points/module_points.h"
#include "points/point_text.h"

#include <string>

namespace tavo::test {

// Every point whose name starts with `prefix` (all with ""), as a table would show
// it: the value when good, else the quality.
inline std::string PointValues(const ModulePoints& p, const std::string& prefix = "") {
    std::string out;
    for (std::size_t i = 0; i < p.Points().size(); ++i) {
        const PointInfo& info = p.Points()[i];
        const PointReading& r = p.Readings()[i];
        if (info.name.rfind(prefix, 0) != 0) continue;
        out += (out.empty() ? "" : " ") + info.name + "=" +
               (r.quality == PointQuality::Good ? PointValueText(info, r)
                                                : std::string(PointQualityName(r.quality)));
    }
    return out;
}

} // namespace tavo::test
