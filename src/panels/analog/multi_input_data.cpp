#include "multi_input_data.h"

#include "panels/common/edit_controls.h"
#include "panels/common/settings_file.h"

#include <cmath>

namespace tavo {
namespace {

QString ChannelKey(const char* format, int channel) {
    return QString(format).arg(channel);
}

} // namespace

std::optional<int> WatchdogTenths(const QString& text) {
    const auto tenths = ParseTenths(text, kMaxWatchdogTenths);
    if (!tenths || *tenths > static_cast<std::uint64_t>(kMaxWatchdogTenths)) return std::nullopt;
    return static_cast<int>(*tenths);
}

std::optional<QString> WatchdogFieldText(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0.0) return std::nullopt;
    const QString text = QString::number(seconds, 'g', 6);
    // The field holds five characters.
    if (text.size() > 5 || !WatchdogTenths(text)) return std::nullopt;
    return text;
}

// ---- Settings files ------------------------------------------------------------------

void WriteMultiInputGeneral(SettingsWriter& file, const MultiInputFileLayout& layout,
                            const MultiInputGeneralLines& lines, const OwnLinesWriter& own) {
    file.Line("BaudRate: ", lines.baud);
    file.Line("checkSum: ", TickedFlag(lines.checksumTicked));
    if (own) own(file);
    if (layout.dataFormatItems >= 0) file.Line("Data Format: ", lines.dataFormat);
    if (layout.integrationItems >= 0) file.Line("Integration Time: ", lines.integration);
    if (layout.watchdog) {
        double seconds = 0.0;
        if (!ParsePlainDecimal(lines.watchdog, seconds)) seconds = 0.0;
        file.Line("Comm. WDT: ", QString::asprintf("%f", seconds));
    }
    if (layout.protocolItems >= 0) file.Line("Potocol: ", lines.protocol);
}

void WriteMultiInputChannels(SettingsWriter& file, const MultiInputFileLayout& layout,
                             const MultiInputChannelLines& lines) {
    for (int n = 0; n < layout.channels && n < kMaxFileChannels; ++n) {
        const auto i = static_cast<std::size_t>(n);
        file.Line(ChannelKey("CH%1 State: ", n), lines.enabled[i] ? 1 : 0);
        if (layout.rangeItems[i] >= 0)
            file.Line(ChannelKey("CH%1 Input Range: ", n), lines.range[i]);
    }
}

bool ReadMultiInputGeneral(SettingsReader& file, const MultiInputFileLayout& layout,
                           const OwnLinesReader& own, MultiInputGeneralLines& out) {
    MultiInputGeneralLines lines = out;
    const auto baud = ReadListIndex(file, "BaudRate: ", layout.baudItems);
    const auto checksum = ReadTickedFlag(file, "checkSum: ");
    if (!baud || !checksum) return false;
    lines.baud = *baud;
    lines.checksumTicked = *checksum;
    if (own && !own(file)) return false;
    const auto index = [&file](const char* key, int items, int& into) {
        if (items < 0) return true;
        const auto value = ReadListIndex(file, key, items);
        if (value) into = *value;
        return value.has_value();
    };
    if (!index("Data Format: ", layout.dataFormatItems, lines.dataFormat) ||
        !index("Integration Time: ", layout.integrationItems, lines.integration))
        return false;
    if (layout.watchdog) {
        const auto seconds = file.Real("Comm. WDT: ");
        if (!seconds) return false;
        const auto text = WatchdogFieldText(*seconds);
        if (!text) {
            file.Stop();
            return false;
        }
        lines.watchdog = *text;
    }
    if (!index("Potocol: ", layout.protocolItems, lines.protocol)) return false;
    out = lines;
    return file.Matching();
}

bool ReadMultiInputChannels(SettingsReader& file, const MultiInputFileLayout& layout,
                            MultiInputChannelLines& out) {
    MultiInputChannelLines lines = out;
    for (int n = 0; n < layout.channels && n < kMaxFileChannels; ++n) {
        const auto i = static_cast<std::size_t>(n);
        const auto state = file.Int(ChannelKey("CH%1 State: ", n));
        if (!state) return false;
        if (*state != 0 && *state != 1) {
            file.Stop();
            return false;
        }
        lines.enabled[i] = *state == 1;
        if (layout.rangeItems[i] < 0) continue;
        // -1 stands for a list that showed no selection (a range the panel does not
        // list): loading it selects nothing, and nothing is written for it.
        const auto range = file.Int(ChannelKey("CH%1 Input Range: ", n));
        if (!range) return false;
        if (*range < -1 || *range >= layout.rangeItems[i]) {
            file.Stop();
            return false;
        }
        lines.range[i] = *range;
    }
    out = lines;
    return file.Matching();
}

} // namespace tavo
