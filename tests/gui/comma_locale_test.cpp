// The window on a desktop whose language writes numbers with a decimal comma: the
// window tests that check numbers on the wire (values, limits, calibrations sent;
// replies read back and shown) run again in a child of this program under such a
// locale, made for the test with localedef into a folder of its own (LOCPATH), so
// that neither root nor the machine's own locales are needed.
#include "support/process.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <climits>
#include <regex>
#include <string>
#include <unistd.h>

namespace tavo {
namespace {

// Each of these sends or reads numbers with a fractional part.
constexpr const char* kNumberTests =
    "R310Panel.OutputSendsTheFieldOfTheDataFormat"
    ":AnalogPanels.AlarmLimitsAreFormattedByRangeAndRefusedWhenTooWide"
    ":K310Panels.*"
    ":KAnalogAlarmDialog.UpdateWritesTheAlarmAndReadsItBack"
    ":Z320Panel.AnOutputIsWrittenByEachOfItsThreeControls"
    ":DialogKinds.OutputCalibrationAndTrim"
    ":CounterPanels.R710DDisplaySourceAndValue";
constexpr int kAtLeast = 7;

std::string ThisProgram() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

TEST(CommaDecimalDesktop, NumbersOnTheWireKeepTheirPoint) {
    test::TempDir dir;
    // -c: the output is written even where the locale's sources warn.
    const auto made = test::RunProgram(
        {"localedef", "-c", "-i", "de_DE", "-f", "UTF-8", dir.File("de_DE.UTF-8")});
    const test::EnvChanges german = {"LC_ALL=de_DE.UTF-8", "LANG=de_DE.UTF-8", "LOCPATH=" + dir.path()};
    // The locale must really write a comma, or the run below would prove nothing.
    const auto point = test::RunProgram({"locale", "-k", "decimal_point"}, german);
    ASSERT_EQ(point.out, "decimal_point=\",\"\n")
        << "no comma-decimal locale could be made (localedef and its sources come with the "
           "locales package, which scripts/setup.sh installs):\n"
        << made.out << point.out;

    const std::string self = ThisProgram();
    ASSERT_FALSE(self.empty());
    const auto run = test::RunProgram({self, std::string("--gtest_filter=") + kNumberTests}, german);
    EXPECT_EQ(run.status, 0) << run.out;
    std::smatch passed;
    ASSERT_TRUE(std::regex_search(run.out, passed, std::regex(R"(\[  PASSED  \] (\d+) test)")))
        << run.out;
    EXPECT_GE(std::stoi(passed[1]), kAtLeast) << run.out;
    EXPECT_EQ(run.out.find("[  SKIPPED ]"), std::string::npos) << run.out;
}

} // namespace
} // namespace tavo
