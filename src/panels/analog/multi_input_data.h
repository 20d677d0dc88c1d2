// Plain rules of the multi-channel analog input panels, below the widgets: the
// communication watchdog field and the lines of the settings files. The reply rules
// (channel fields, burn-out, firmware numbers) are the module points' own.
#pragma once

#include "points/analog_fields.h"

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
