#include "multi_input_data.h"

#include "panels/common/edit_controls.h"
#include "panels/common/settings_file.h"

#include <cmath>
#include <cstdlib>

namespace tavo {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Sign, then six characters of digits with at most one point ("+05.000", "-0100.0").
bool IsSignedField(std::string_view field) {
    if (field.size() != 7 || (field[0] != '+' && field[0] != '-')) return false;
    int points = 0, digits = 0;
    for (const char c : field.substr(1)) {
        if (c == '.')
            ++points;
        else if (IsDigit(c))
            ++digits;
        else
            return false;
    }
    return points <= 1 && digits > 0;
}

bool IsHexReading(std::string_view field) {
    if (field.size() != 4) return false;
    for (const char c : field)
        if (!IsHexDigit(c)) return false;
    return true;
}

QString ChannelKey(const char* format, int channel) {
    return QString(format).arg(channel);
}

} // namespace

bool CutChannelFields(std::string_view data, int channels, bool hexFormat,
                      std::vector<ChannelReading>& out) {
    std::vector<ChannelReading> fields;
    for (int n = 0; n < channels; ++n) {
        ChannelReading reading;
        if (data.substr(0, kBurnOutField.size()) == kBurnOutField) {
            reading.burnOut = true;
            reading.text = std::string(kBurnOutField);
            data.remove_prefix(kBurnOutField.size());
        } else {
            const std::size_t width = hexFormat ? 4 : 7;
            if (data.size() < width) return false;
            const std::string_view field = data.substr(0, width);
            if (hexFormat ? !IsHexReading(field) : !IsSignedField(field)) return false;
            reading.text = std::string(field);
            data.remove_prefix(width);
        }
        fields.push_back(std::move(reading));
    }
    out = std::move(fields);
    return true;
}

std::optional<double> FirmwareNumber(std::string_view firmware, std::size_t last) {
    if (firmware.empty() || (firmware[0] != 'A' && firmware[0] != 'a') || last < 2)
        return std::nullopt;
    const std::string_view digits = firmware.substr(1, last - 1);
    // The leading plain decimal number: digits with at most one point.
    std::size_t end = 0, points = 0, count = 0;
    for (; end < digits.size(); ++end) {
        if (IsDigit(digits[end]))
            ++count;
        else if (digits[end] == '.' && points == 0)
            ++points;
        else
            break;
    }
    if (count == 0) return std::nullopt;
    return std::strtod(std::string(digits.substr(0, end)).c_str(), nullptr);
}

bool NewThermocoupleSpan(std::string_view firmware) {
    if (firmware.empty() || (firmware[0] != 'A' && firmware[0] != 'a')) return true;
    const auto number = FirmwareNumber(firmware, 5);
    return number && *number >= 2.02;
}

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
