// Reading settings-file values into locals first, so that a group of lines goes
// to the controls (and the module) only when all of it was read.
#pragma once

#include "panels/common/settings_file.h"

#include <QComboBox>

#include <optional>

namespace tavo {

// A list index, only if the list has that item.
inline std::optional<int> ReadListIndex(SettingsReader& reader, const QString& key,
                                        const QComboBox* combo) {
    const auto index = reader.Int(key);
    if (!index || *index < 0 || *index >= combo->count()) return std::nullopt;
    return index;
}

// A flag line that stores "0" for a ticked box and "1" for a clear one.
inline std::optional<bool> ReadTickedFlag(SettingsReader& reader, const QString& key) {
    const auto word = reader.Word(key);
    if (!word || (*word != "0" && *word != "1")) return std::nullopt;
    return *word == "0";
}

inline QString TickedFlag(bool ticked) {
    return ticked ? "0" : "1";
}

} // namespace tavo
