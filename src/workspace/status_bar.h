// The main window's status bar: message, communication indicator, port settings.
#pragma once

#include <QColor>
#include <QStatusBar>

class QLabel;

namespace tavo {

class IndicatorPanel;

class MainStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit MainStatusBar(QWidget* parent = nullptr);

    // Panel 0: the status message, in black or (after a good reading) red.
    void ShowStatusMessage(const QString& text);
    QString StatusMessage() const;
    void SetMessageColor(const QColor& color);
    // Panel 1: "0"/"1" while polling succeeds, "2"/"3" while it fails.
    void SetIndicator(const QString& digit);
    QString Indicator() const;
    // Panel 2: the port settings, "9600, N, 8, 1".
    void SetPortText(const QString& text);
    QString PortText() const;
    // Beside the message: what is being recorded ("Recording 00:01:05 to
    // values.csv", the whole path as its tooltip); hidden when `text` is empty.
    void SetRecordingText(const QString& text, const QString& toolTip = {});
    QString RecordingText() const;
    // The highest slot index of the rack whose channel is open (3 or 7).
    int Tag() const { return tag_; }
    void SetTag(int tag) { tag_ = tag; }

private:
    static constexpr int kMessageWidth = 500;
    static constexpr int kRecordingWidth = 230;
    QLabel* message_;
    QLabel* recording_;
    IndicatorPanel* indicator_;
    QLabel* port_;
    QString recordingText_;
    int tag_ = 0;
};

} // namespace tavo
