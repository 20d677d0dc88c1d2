// What the rack's analog slot panels read from outside: their settings files, the
// channel readings the slots send, and the alarm limits a user types. Whatever the
// bytes: a settings file read to its end writes back to lines that read the same
// again and holds only list positions the panel has; a reading is shown only as
// "Burn-out", a plain number or four hexadecimal digits; an alarm limit goes out
// only as a sign and zero-padded digits within the range it was checked against.
#include "panels/common/settings_file.h"
#include "points/k_analog_ranges.h"
#include "panels/system/k_analog_slot.h"

#include <QByteArray>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using namespace tavo;

void Check(bool ok) {
    if (!ok) std::abort();
}

void Settings(const QByteArray& bytes, int rangeCount, int channels, bool perChannel) {
    SettingsReader reader(bytes);
    reader.ModuleName();
    KSlotFileLines lines;
    if (!ReadKSlotLines(reader, rangeCount, channels, perChannel, lines)) return;
    Check(lines.range >= 0 && lines.range < rangeCount);
    Check(lines.integration == 0 || lines.integration == 1);
    Check(lines.format == 0 || lines.format == 1);
    Check(static_cast<int>(lines.checked.size()) == channels);
    Check(static_cast<int>(lines.channelRanges.size()) == (perChannel ? channels : 0));
    for (int r : lines.channelRanges)
        Check(r >= 0 && r < rangeCount);
    SettingsWriter writer(" Tavo-K230 ");
    WriteKSlotLines(writer, lines, perChannel);
    SettingsReader again(writer.Bytes());
    again.ModuleName();
    KSlotFileLines back;
    Check(ReadKSlotLines(again, rangeCount, channels, perChannel, back));
    Check(back.range == lines.range && back.integration == lines.integration &&
          back.format == lines.format && back.checked == lines.checked &&
          back.channelRanges == lines.channelRanges);
}

void Reading(const std::string& text) {
    for (bool twos : {false, true}) {
        const auto shown = KReadingText(text, twos);
        if (!shown || *shown == "Burn-out") continue;
        const std::string s = shown->toStdString();
        Check(s == text);
        if (twos)
            Check(s.size() == 4);
        else
            Check(KPlainNumber(s).has_value());
    }
}

void Limit(const std::string& text) {
    for (KRangeSet set : {KRangeSet::Thermocouple, KRangeSet::Rtd, KRangeSet::Voltage})
        for (const KAnalogRange& range : KRanges(set)) {
            const auto out = KAlarmLimitText(text, range);
            if (!out) continue;
            const auto typed = KPlainNumber(text);
            Check(typed && *typed >= range.lo && *typed <= range.hi);
            Check((*out)[0] == '+' || (*out)[0] == '-');
            const auto point = out->find('.');
            Check(point != std::string::npos && out->size() == point + 4);
            Check(static_cast<int>(point) - 1 >= KIntegerWidth(range));
            const auto sent = KPlainNumber(*out);
            Check(sent && std::fabs(std::fabs(*sent) - std::fabs(*typed)) <= 0.0005 + 1e-9);
        }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    Settings(bytes, static_cast<int>(KRanges(KRangeSet::Thermocouple).size()), 7, false);
    Settings(bytes, static_cast<int>(KRanges(KRangeSet::Voltage).size()), 8, true);
    if (size <= 64) {
        const std::string text(reinterpret_cast<const char*>(data), size);
        Reading(text);
        Limit(text);
    }
    return 0;
}
