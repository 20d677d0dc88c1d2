// Checks the digital I/O panel tests of both protocols share.
#pragma once

#include "panels/common/form_controls.h"
#include "panels/digital/digital_io_panels.h"

#include <QPushButton>
#include <gtest/gtest.h>

namespace tavo::test {

// The lamps of a row of indicators or buttons as a bit mask.
inline unsigned Lamps(const auto& controls) {
    unsigned mask = 0;
    for (std::size_t n = 0; n < controls.size(); ++n)
        mask |= LampOn(controls[n]) ? 1u << n : 0u;
    return mask;
}

// The twelve outputs of an R560SO panel show the over-current groups in `groups`
// (bit g = outputs 4g..4g+3) as "Fail", and the others as they are.
inline void ExpectTrippedGroups(const TfrmMR550& p, unsigned groups) {
    for (int n = 0; n < 12; ++n) {
        const bool tripped = (groups >> (n / 4)) & 1;
        const QPushButton* b = p.bitbtnDO[static_cast<std::size_t>(n)];
        EXPECT_EQ(b->text(), tripped ? QString("Fail") : QString("DO %1").arg(n)) << n;
        EXPECT_EQ(b->toolTip(), tripped ? "Over Current Fail!" : "") << n;
        if (tripped) {
            EXPECT_FALSE(LampOn(b)) << n;
        }
    }
}

} // namespace tavo::test
