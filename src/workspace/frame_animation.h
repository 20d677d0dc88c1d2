// A small looping animation, drawn frame by frame by its subclass, for the windows
// that show a long-running job.
#pragma once

#include <QTimer>
#include <QWidget>

namespace tavo {

class FrameAnimation : public QWidget {
public:
    FrameAnimation(QWidget* parent, QSize size, int frames, int intervalMs)
        : QWidget(parent), frames_(frames) {
        setObjectName("Animate1");
        setFixedSize(size);
        timer_.setInterval(intervalMs);
        connect(&timer_, &QTimer::timeout, this, [this] {
            frame_ = (frame_ + 1) % frames_;
            update();
        });
    }
    void Play() { timer_.start(); }
    void StopPlaying() { timer_.stop(); }
    bool Playing() const { return timer_.isActive(); }

protected:
    int Frame() const { return frame_; }

private:
    QTimer timer_;
    int frame_ = 0;
    int frames_;
};

} // namespace tavo
