// An output value a user sets three ways: typed into an edit (Enter sends it), by
// a track bar that follows the edit and sends when it is let go or stepped, and by
// an update button. The bar's position is the value in thousandths.
#pragma once

#include <QObject>
#include <QString>

class QGridLayout;
class QLineEdit;
class QPushButton;
class QSlider;
class QWidget;

namespace tavo {

class ValueSlider : public QObject {
    Q_OBJECT
public:
    // Builds the three controls into `grid` at `row`, from column `column` on, with
    // the given control names.
    ValueSlider(QWidget* parent, QGridLayout* grid, int row, int column, const QString& editName,
                const QString& barName, const QString& buttonName,
                const QString& buttonCaption = "&Send");

    // The values the bar spans (the edit's range checks are the caller's).
    void SetLimits(double low, double high);
    double Low() const { return low_; }
    double High() const { return high_; }
    // Shows a value in the edit and moves the bar, without sending.
    void ShowValue(double value);
    // The bar's position as a value.
    double BarValue() const;

    QLineEdit* edit;
    QSlider* bar;
    QPushButton* button;

signals:
    // The user asked for the value in the edit to be written.
    void SendRequested();

private:
    void BarMoved(int position);
    double low_ = 0, high_ = 0;
    bool showing_ = false;
};

// "%06.3f": a two-digit integer part, a point and three decimals.
QString OutputValueText(double value);

} // namespace tavo
