// Views of Modbus points that the Modbus panels share: a group of lamp buttons for
// coils (or the bits of a point-mask register) and a group of value rows for
// registers. Both label their points by channel number or by reference number and
// carry a header naming their reference space ("100000", "400000").
#pragma once

#include <QGroupBox>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tavo {

class PointLampGroup : public QGroupBox {
    Q_OBJECT
public:
    // `count` lamp buttons named `buttonName` + n ("bitbtnDIO0"), `perRow` to a
    // row, below the header label (named `headerName`).
    PointLampGroup(const QString& caption, const QString& objectName, const QString& buttonName,
                   const QString& headerName, const QString& header, int count, int perRow,
                   QWidget* parent);

    int Count() const { return static_cast<int>(buttons_.size()); }
    QPushButton* Button(int n) const;
    QLabel* HeaderLabel() const { return header_; }

    // Shows the first `n` buttons and hides the rest.
    void SetShown(int n);
    int Shown() const { return shown_; }
    // Lamp states, bit n = point n. A lamp is redrawn only when its state changed.
    void SetStates(std::uint64_t states);
    std::uint64_t States() const { return states_; }
    // The points a click acts on; the others only show their state.
    void SetClickable(std::uint64_t mask);
    // Captions `prefix` + n, or reference numbers `header` + `first` + n ("%06d").
    void ShowChannels(const QString& prefix);
    void ShowReferences(int first);

signals:
    void PointClicked(int n);

private:
    std::vector<QPushButton*> buttons_;
    QLabel* header_;
    int headerValue_;
    int shown_ = 0;
    std::uint64_t states_ = 0;
    bool drawn_ = false;
};

class RegisterValueGroup : public QGroupBox {
    Q_OBJECT
public:
    // `count` rows of a label (`labelName` + n) and a value field (`editName` + n),
    // below the header label (named `headerName`).
    RegisterValueGroup(const QString& caption, const QString& objectName, const QString& labelName,
                       const QString& editName, const QString& headerName, const QString& header,
                       int count, QWidget* parent);

    int Count() const { return static_cast<int>(edits_.size()); }
    QLabel* Label(int n) const;
    QLineEdit* Edit(int n) const;
    QLabel* HeaderLabel() const { return header_; }

    void SetShown(int n);
    int Shown() const { return shown_; }
    void SetLabels(const std::function<QString(int)>& text);
    // The value of row n; a row the user is typing into keeps what was typed.
    void SetValue(int n, const QString& text);
    // Rows that take a value (Enter sends ValueEntered); the others are read-only.
    void SetEditable(std::uint64_t mask);

signals:
    void ValueEntered(int n, const QString& text);

private:
    std::vector<QLabel*> labels_;
    std::vector<QLineEdit*> edits_;
    QLabel* header_;
    int shown_ = 0;
};

} // namespace tavo
