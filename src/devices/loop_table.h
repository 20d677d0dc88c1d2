// The R320T's PID parameter table as the loop controller panels hold it: 128 signed
// 32-bit entries per loop, entry loop x 128 + index; real numbers are fixed point
// with three decimals (value x 1000). Here also the limits a setting must keep, and
// the PID configuration file (a 33-byte header, then the 256 entries as big-endian
// 32-bit integers).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavo::loop {

constexpr int kLoops = 2;
constexpr int kEntriesPerLoop = 128;
constexpr int kEntries = kLoops * kEntriesPerLoop;

using PidTable = std::array<std::int32_t, kEntries>;

// The indices the panels use.
enum Index : int {
    kMode = 0, // 0 Free, 1 Auto, 2 Manual
    kAlgorithm = 1,
    kFeedbackMode = 3,
    kSV = 10,
    kPVRangeHigh = 12,
    kPVRangeLow = 13,
    kMVRangeHigh = 16,
    kMVRangeLow = 17,
    kPV = 18,
    kMV = 20,
    kPVFilter = 24,
    kMVFilter = 26,
    kP = 31,
    kI = 32,
    kD = 33,
    kInterval = 40,
    kResume = 47,
    kMVInit = 48,
    kPVAlarmHH = 51,
    kPVAlarmH = 52,
    kPVAlarmLL = 53,
    kPVAlarmL = 54,
    kPVDeadBand = 55,
    kPVAlarmState = 56,
    kFBAlarmHH = 61,
    kFBAlarmH = 62,
    kFBAlarmLL = 63,
    kFBAlarmL = 64,
    kFBDeadBand = 65,
    kMVLimitHigh = 69,
    kMVLimitLow = 70,
    kMVAlarmState = 71,
    kMVEStop = 72,
    kPVInvalid = 73,
    kAction = 75,
    kSVLimitHigh = 76,
    kSVLimitLow = 77,
    kAlarmDO = 80,
};
constexpr int kFree = 0, kAuto = 1, kManual = 2;

// The entry number of a loop's index (ValID).
constexpr int EntryId(int loop, int index) { return loop * kEntriesPerLoop + index; }

// "%.3f" of value x 0.001, exact for every 32-bit value (no binary rounding).
std::string FixedText(std::int32_t value);
// A plain decimal text (optional sign, digits, at most one point; blanks around it
// are allowed) in thousandths, rounded half away from zero at the third decimal
// ("-1.0005" gives -1001). nullopt for anything else or a value beyond 32 bits.
std::optional<std::int32_t> ParseFixed(std::string_view text);

// Percentages of the panel: (value - low) x 100 / (high - low); 0 when high = low.
double Percent(double value, double low, double high);
// The MV entry for an output of `percent` thousandths of a percent of the MV range
// from `low` to `high` (entries 17 and 16): low + percent x (high - low) / 100, to
// the nearest integer.
std::int32_t MVFromPercent(std::int32_t percent, std::int32_t low, std::int32_t high);

// Why `value` cannot go into entry `index` of a loop whose other entries are
// `loop` (a table of that loop's 128 entries, index 0 first); empty when it can.
// Entries without a rule of their own take any value.
std::string CheckEntry(const std::int32_t* loop, int index, std::int32_t value);

// The PID configuration file.
constexpr std::string_view kPidFileHeader = "Tavo-R320T PID Configuration File";
constexpr std::size_t kPidFileSize = 33 + 4 * kEntries; // 1057

std::vector<std::uint8_t> WritePidFile(const PidTable& table);

// The result of reading a file: the table, or why it was refused.
struct PidFileRead {
    bool ok = false;
    PidTable table{};
    std::string error;
};
// Refuses a file of another size or another header; takes any entries. Which
// values a setting can take is the module's to say: it refuses them as they are
// written.
PidFileRead ReadPidFile(const std::vector<std::uint8_t>& bytes);

} // namespace tavo::loop
