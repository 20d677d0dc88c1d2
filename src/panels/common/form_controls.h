// Small controls the module panels share: the on/off lamps of indicators and
// bitmap buttons, the up-down beside a decimal edit, key filters of numeric
// edits, and the parsing of what users type into them.
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

// The up-down arrows beside a decimal edit: each click steps the edit's number
// by one within [min, max] (an edit that holds no number starts from min).
class UpDown : public QWidget {
    Q_OBJECT
public:
    UpDown(QLineEdit* edit, int min, int max, QWidget* parent = nullptr);
    void StepBy(int delta);

private:
    QLineEdit* edit_;
    int min_, max_;
};

// Filters the key presses of a numeric edit: printable characters not in
// `allowed` are dropped, editing keys pass, and Enter runs `enter` (if given).
class KeyFilter : public QObject {
    Q_OBJECT
public:
    KeyFilter(QLineEdit* edit, const QString& allowed, std::function<void()> enter = {});

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString allowed_;
    std::function<void()> enter_;
};

// A decimal text with at most one '.', in tenths, truncated toward zero ("6553.59"
// gives 65535). Values beyond `cap` tenths come back as `cap` + 1, so callers can
// refuse or clamp them without overflow. Empty or anything else: nullopt.
std::optional<std::uint64_t> ParseTenths(const QString& text, std::uint64_t cap);

// Unsigned decimal digits only (no sign, no blanks): the value, or `cap` + 1 when
// it is larger than `cap`. Empty or anything else: nullopt.
std::optional<std::uint64_t> ParseDigits(const QString& text, std::uint64_t cap);

} // namespace tavo
