// Small controls the module panels share: the on/off lamps of indicators and
// bitmap buttons, the baud rate list, and the parsing of counts and tenths users
// type in. Key filters and the address up-down are in edit_controls.h.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>

class QAbstractButton;
class QLabel;
class QLineEdit;
class QToolButton;

namespace tavo {

// "1200 bps" ... "115.2 kbps": item index + 3 is the module's baud code.
const QStringList& BaudRateItems();

// The "on" and "off" pictures. The state is kept in the property "lamp" so that
// it can be read back (tests, accessibility) without comparing pixmaps.
void SetLamp(QAbstractButton* button, bool on);
void SetLamp(QLabel* picture, bool on);
bool LampOn(const QObject* control);

// A decimal text with at most one '.', in tenths, truncated toward zero ("6553.59"
// gives 65535). Values beyond `cap` tenths come back as `cap` + 1, so callers can
// refuse or clamp them without overflow. Empty or anything else: nullopt.
std::optional<std::uint64_t> ParseTenths(const QString& text, std::uint64_t cap);

// Unsigned decimal digits only (no sign, no blanks): the value, or `cap` + 1 when
// it is larger than `cap`. Empty or anything else: nullopt.
std::optional<std::uint64_t> ParseDigits(const QString& text, std::uint64_t cap);

} // namespace tavo
