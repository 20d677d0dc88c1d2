// The value area of a single analog output (R310, and the excitation output of the
// R250): the value edit, the track bar with its four step buttons, Output and
// "Set as Initial", the last value and the read-back. Moving the bar or stepping
// only rewrites the edit; what is sent, and when, is the panel's.
#pragma once

#include "output_track.h"

#include <QGroupBox>

#include <array>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace tavo {

class OutputValueGroup : public QGroupBox {
    Q_OBJECT
public:
    // `onOutput` runs for the Output button and for Enter in the value edit.
    OutputValueGroup(const QString& caption, const QString& name, QWidget* parent,
                     std::function<void()> onOutput);

    // The track bar's scale and the keys the edit takes (hex digits only in the
    // hexadecimal format). The bar keeps its position within the new limits.
    void SetScale(OutputFormat format, TrackLimits limits);
    OutputFormat Format() const { return format_; }
    TrackLimits Limits() const { return limits_; }
    // "mA" or "V" on the three unit labels.
    void SetUnit(const QString& unit);
    // The read-back field and its labels.
    void ShowReadBack(bool shown);
    // True while the user works in the value edit, on the bar, its buttons or Output:
    // then a poll leaves the edit alone.
    bool UserIsEntering() const;
    // A polled last value (as PolledOutputText gives it): the edit shows it and the
    // bar stands at it, so the step buttons start from the output as it is; left
    // alone while the user is entering a value.
    void ShowPolledValue(const std::string& text);

    void trabAOValChange();
    // One handler for the four step buttons, tags 1 to 4 from the largest step down.
    void bitbtnLeftLeftClick(int tag);

    QLineEdit* edtAO_Val;
    QSlider* trabAOVal;
    QPushButton* bitbtnLeftLeft;
    QPushButton* bitbtnLeft;
    QPushButton* bitbtnRight;
    QPushButton* bitbtnRightRight;
    QPushButton* btnValueOutput;
    QPushButton* btnStartup;
    QLineEdit* edtLast_Val;
    QLineEdit* edtAO_CurrentReadBak;
    QLabel* lblReadBack;
    std::array<QLabel*, 3> lblUnit{}; // lblUnit0 (value), lblUnit1 (last), lblUnit2 (read-back)

private:
    OutputFormat format_ = OutputFormat::Engineering;
    TrackLimits limits_{0, 20000};
};

} // namespace tavo
