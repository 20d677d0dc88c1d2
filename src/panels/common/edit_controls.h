// Small edit-field machinery of the panels and dialogs: key filters of numeric
// fields (only the characters a field allows get in, typed or pasted; Enter runs
// the field's Update), strict parsing of the numbers they hold, and the up-down
// arrows that step a decimal edit field.
#pragma once

#include <QScrollBar>
#include <QString>
#include <QValidator>

#include <cstdint>
#include <functional>
#include <optional>

class QLineEdit;

namespace tavo {

// Accepts any text made only of `allowed` characters (backspace and the cursor
// keys always work). Programmatic setText is not filtered, so a value read from a
// module or a file shows as it is and is judged by the operation that uses it.
class CharSetValidator : public QValidator {
    Q_OBJECT
public:
    CharSetValidator(const QString& allowed, QObject* parent);
    State validate(QString& input, int& pos) const override;

private:
    QString allowed_;
};

inline constexpr const char* kDigitKeys = "0123456789";
inline constexpr const char* kUnsignedDecimalKeys = "0123456789.";
inline constexpr const char* kSignedDecimalKeys = "0123456789.+-";

// Installs the filter and, when `onEnter` is given, runs it on Enter.
void FilterKeys(QLineEdit* edit, const QString& allowed, std::function<void()> onEnter = {});

// A plain decimal number as the numeric fields take it: optional sign, digits
// with at most one point, nothing else ("1e3", "inf" and "0x10" are not numbers).
bool ParsePlainDecimal(const QString& text, double& value);

// A decimal text with at most one '.', in tenths, truncated toward zero ("6553.59"
// gives 65535). Values beyond `cap` tenths come back as `cap` + 1, so callers can
// refuse or clamp them without overflow. Empty or anything else: nullopt.
std::optional<std::uint64_t> ParseTenths(const QString& text, std::uint64_t cap);

// Unsigned decimal digits only (no sign, no blanks): the value, or `cap` + 1 when
// it is larger than `cap`. Empty or anything else: nullopt.
std::optional<std::uint64_t> ParseDigits(const QString& text, std::uint64_t cap);

// Up and down arrows beside a decimal edit field: a click steps the number in the
// field by one within [min, max]; typing in the field moves the arrows' position.
class UpDown : public QScrollBar {
    Q_OBJECT
public:
    UpDown(QLineEdit* associate, int min, int max, QWidget* parent);
    // Shows `number` without touching the field.
    void SetPosition(int number);
    // The number the arrows stand at.
    int Number() const;

private:
    QLineEdit* associate_;
    bool syncing_ = false;
};

} // namespace tavo
