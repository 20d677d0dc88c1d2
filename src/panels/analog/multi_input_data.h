// Plain rules of the multi-channel analog input panels, below the widgets: cutting
// the "#AA" reply into channel fields, the firmware numbers that some features
// depend on, the communication watchdog field, and the lines of the settings files.
#pragma once

#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavo {

class SettingsReader;
class SettingsWriter;

// What a burnt-out (open) sensor reads, in every data format.
inline constexpr std::string_view kBurnOutField = "+888888";

// One channel of a poll: the field as the module sent it, or the burn-out mark.
struct ChannelReading {
    std::string text;
    bool burnOut = false;
};

// Cuts the data of "#AA" (the text after ">") into the fields of the first
// `channels` channels: four hexadecimal digits each in the two's-complement data
// format, seven characters (sign, digits, at most one point) otherwise. A channel
// that reads "+888888" is burnt out and takes seven characters in every format (a
// hexadecimal field never starts with a sign). Text after the last field is not
// looked at. False, with `out` untouched, when the data holds fewer fields or a
// field that is no reading: the poll failed, and nothing of it may be shown.
bool CutChannelFields(std::string_view data, int channels, bool hexFormat,
                      std::vector<ChannelReading>& out);

// The number that characters 2 to `last` (counted from 1) of a firmware text begin
// with, for texts that begin with "A" or "a" ("A2.02" gives 2.02); nullopt for
// other texts and when no number stands there.
std::optional<double> FirmwareNumber(std::string_view firmware, std::size_t last);
// Thermocouple span texts of firmware A2.02 and later (and of every firmware that
// does not begin with "A").
bool NewThermocoupleSpan(std::string_view firmware);

// The largest watchdog time in tenths of a second ("999.9").
inline constexpr int kMaxWatchdogTenths = 9999;
// The watchdog field ("0.0" to "999.9" seconds) in tenths, truncated ("12.34" is
// 123); nullopt for anything else, letters and blanks included.
std::optional<int> WatchdogTenths(const QString& text);
// A watchdog value from a settings file ("12.500000") as its field shows it, in the
// shortest general form ("12.5"); nullopt when the field could not take it.
std::optional<QString> WatchdogFieldText(double seconds);

// ---- Settings files ------------------------------------------------------------------

inline constexpr int kMaxFileChannels = 8;

// Which lines a panel's file has: a list's item count, or -1 for a line that is not
// written because its control is hidden.
struct MultiInputFileLayout {
    int baudItems = 8;
    int dataFormatItems = -1;
    int integrationItems = -1;
    bool watchdog = false;
    int protocolItems = -1;
    int channels = 8;
    // Per channel, the range list's item count; -1 while the list is hidden.
    std::array<int, kMaxFileChannels> rangeItems{-1, -1, -1, -1, -1, -1, -1, -1};
};

// The general lines, from "BaudRate" to "Potocol", without the member's own block.
struct MultiInputGeneralLines {
    int baud = 0;
    bool checksumTicked = false;
    int dataFormat = 0;
    int integration = 0;
    QString watchdog; // as the field shows it
    int protocol = 0;
};

// The channel lines; a range of -1 is a list without a selection.
struct MultiInputChannelLines {
    std::array<bool, kMaxFileChannels> enabled{};
    std::array<int, kMaxFileChannels> range{-1, -1, -1, -1, -1, -1, -1, -1};
};

// The member's own lines between "checkSum" and "Data Format" (the all-channel
// range "Input Range: %d" of the R260 and R270): a writer, and a reader that
// returns false when its lines do not fit.
using OwnLinesWriter = std::function<void(SettingsWriter&)>;
using OwnLinesReader = std::function<bool(SettingsReader&)>;

void WriteMultiInputGeneral(SettingsWriter& file, const MultiInputFileLayout& layout,
                            const MultiInputGeneralLines& lines, const OwnLinesWriter& own);
void WriteMultiInputChannels(SettingsWriter& file, const MultiInputFileLayout& layout,
                             const MultiInputChannelLines& lines);
// Read a whole group; false (the reader stopped at the line that did not fit) when
// any of its lines was missing or held a value the panel's control cannot take.
// Lines the layout leaves out keep the values `out` had.
bool ReadMultiInputGeneral(SettingsReader& file, const MultiInputFileLayout& layout,
                           const OwnLinesReader& own, MultiInputGeneralLines& out);
bool ReadMultiInputChannels(SettingsReader& file, const MultiInputFileLayout& layout,
                            MultiInputChannelLines& out);

} // namespace tavo
