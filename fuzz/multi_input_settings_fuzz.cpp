// Settings files of the multi-channel analog input panels. Whatever the bytes, the
// readers must not crash; a file they accept to its end must write back to lines
// that read the same values again.
#include "panels/analog/multi_input_data.h"
#include "panels/common/settings_file.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace {

using namespace tavo;

bool Same(const MultiInputGeneralLines& a, const MultiInputGeneralLines& b) {
    return a.baud == b.baud && a.checksumTicked == b.checksumTicked &&
           a.dataFormat == b.dataFormat && a.integration == b.integration &&
           a.watchdog == b.watchdog && a.protocol == b.protocol;
}

bool Same(const MultiInputChannelLines& a, const MultiInputChannelLines& b) {
    return a.enabled == b.enabled && a.range == b.range;
}

// The three shapes of file the family writes: per-channel ranges with watchdog and
// protocol (R270P and most members), six channels without the integration time
// (R240), and one range for all channels in the member's own line (R270, R260).
MultiInputFileLayout Layout(int shape) {
    MultiInputFileLayout layout;
    layout.dataFormatItems = shape == 1 ? 2 : 3;
    layout.integrationItems = shape == 1 ? -1 : 2;
    layout.watchdog = shape != 2;
    layout.protocolItems = shape == 2 ? -1 : 2;
    layout.channels = shape == 1 ? 6 : 8;
    for (int n = 0; n < layout.channels; ++n)
        layout.rangeItems[static_cast<std::size_t>(n)] = shape == 2 ? -1 : 9 + n;
    return layout;
}

struct Parsed {
    bool general = false, channels = false;
    MultiInputGeneralLines generalLines;
    MultiInputChannelLines channelLines;
    std::optional<int> own;
};

Parsed Read(const QByteArray& bytes, int shape) {
    Parsed p;
    SettingsReader reader(bytes);
    reader.ModuleName();
    const MultiInputFileLayout layout = Layout(shape);
    OwnLinesReader own;
    if (shape == 2)
        own = [&p](SettingsReader& r) {
            p.own = ReadListIndex(r, "Input Range: ", 14);
            return p.own.has_value();
        };
    p.general = ReadMultiInputGeneral(reader, layout, own, p.generalLines);
    if (p.general) p.channels = ReadMultiInputChannels(reader, layout, p.channelLines);
    return p;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    for (int shape = 0; shape < 3; ++shape) {
        const Parsed first = Read(bytes, shape);
        if (!first.channels) continue;
        const MultiInputFileLayout layout = Layout(shape);
        SettingsWriter writer(" Tavo-R270+ ");
        OwnLinesWriter own;
        if (first.own) own = [&first](SettingsWriter& w) { w.Line("Input Range: ", *first.own); };
        WriteMultiInputGeneral(writer, layout, first.generalLines, own);
        WriteMultiInputChannels(writer, layout, first.channelLines);
        const Parsed again = Read(writer.Bytes(), shape);
        if (!again.channels || !Same(first.generalLines, again.generalLines) ||
            !Same(first.channelLines, again.channelLines) || first.own != again.own)
            __builtin_trap();
    }
    return 0;
}
