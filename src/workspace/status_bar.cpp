#include "status_bar.h"

#include "tree_images.h"

#include <QLabel>
#include <QPainter>

namespace tavo {

// Draws one indicator image for the digit it holds, so the polling heartbeat
// blinks green while it succeeds and red while it fails.
class IndicatorPanel : public QWidget {
public:
    explicit IndicatorPanel(QWidget* parent) : QWidget(parent) {
        setObjectName("statbarIndicator");
        setFixedWidth(40);
    }
    void SetText(const QString& text) {
        if (text_ == text) return;
        text_ = text;
        update();
    }
    QString Text() const { return text_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const int image = text_ == "0" ? 14 : text_ == "1" ? 15 : text_ == "2" ? 16 : 17;
        p.drawPixmap(8, 1, TreeImages().at(image).pixmap(16, 16));
    }

private:
    QString text_ = "0";
};

MainStatusBar::MainStatusBar(QWidget* parent) : QStatusBar(parent) {
    setObjectName("statbarMain");
    setSizeGripEnabled(false);
    message_ = new QLabel(this);
    message_->setObjectName("statbarMessage");
    message_->setMinimumWidth(kMessageWidth);
    recording_ = new QLabel(this);
    recording_->setObjectName("statbarRecording");
    recording_->setFixedWidth(kRecordingWidth);
    recording_->hide();
    indicator_ = new IndicatorPanel(this);
    port_ = new QLabel(this);
    port_->setObjectName("statbarPort");
    port_->setMinimumWidth(100);
    addPermanentWidget(message_, 1);
    addPermanentWidget(recording_);
    addPermanentWidget(indicator_);
    addPermanentWidget(port_);
}

// Panels write their status twice a second; unchanged texts and colours are not
// drawn again.
void MainStatusBar::ShowStatusMessage(const QString& text) {
    if (message_->text() != text) message_->setText(text);
}
QString MainStatusBar::StatusMessage() const { return message_->text(); }

void MainStatusBar::SetMessageColor(const QColor& color) {
    if (message_->palette().color(QPalette::WindowText) == color) return;
    QPalette pal = message_->palette();
    pal.setColor(QPalette::WindowText, color);
    message_->setPalette(pal);
}

// The recording text takes its room from the message, so the window keeps its
// width: a status bar wider than the window would widen it while recording.
void MainStatusBar::SetRecordingText(const QString& text, const QString& toolTip) {
    recordingText_ = text;
    const QString shown =
        recording_->fontMetrics().elidedText(text, Qt::ElideMiddle, kRecordingWidth - 8);
    if (recording_->text() != shown) recording_->setText(shown);
    if (recording_->toolTip() != toolTip) recording_->setToolTip(toolTip);
    if (recording_->isHidden() == text.isEmpty()) return;
    recording_->setVisible(!text.isEmpty());
    message_->setMinimumWidth(kMessageWidth - (text.isEmpty() ? 0 : kRecordingWidth));
}
QString MainStatusBar::RecordingText() const { return recordingText_; }

void MainStatusBar::SetIndicator(const QString& digit) { indicator_->SetText(digit); }
QString MainStatusBar::Indicator() const { return indicator_->Text(); }
void MainStatusBar::SetPortText(const QString& text) {
    if (port_->text() != text) port_->setText(text);
}
QString MainStatusBar::PortText() const { return port_->text(); }

} // namespace tavo
