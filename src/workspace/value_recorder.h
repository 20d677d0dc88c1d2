// Recording an open panel's values: at the end of each of its polls, the rows of
// what that poll renewed are appended to a CSV file (time,address,point,value,
// unit,quality) and handed to the system at once, so a crash or a pulled plug
// keeps every poll written before it.
#pragma once

#include <QFile>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>

namespace tavo {

class ModulePoints;

class ValueRecorder : public QObject {
    Q_OBJECT
public:
    using WallClock = std::function<std::chrono::system_clock::time_point()>;
    using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;

    // `points` must outlive the recorder. The clocks are the system's unless a
    // test gives its own: the wall clock stamps the rows (UTC), the steady one
    // measures how long the recording runs.
    explicit ValueRecorder(const ModulePoints& points, WallClock wall = {}, SteadyClock steady = {},
                           QObject* parent = nullptr);
    ~ValueRecorder() override;

    // Opens `path` to add to it (made when missing; the header written when it is
    // empty). False with one line in `error` when it cannot be opened or written;
    // nothing is recorded then. Rows start with the next poll's end.
    bool Start(const QString& path, QString& error);
    // Closes the file; what was written stays.
    void Stop();
    bool Recording() const { return file_.isOpen(); }
    const QString& Path() const { return path_; }
    // Whole seconds since Start.
    long long ElapsedSeconds() const;
    // "Recording 01:02:03 to values.csv"; empty when not recording.
    QString StatusText() const;

    // The end of a poll: the rows of every point the poll renewed. A write that
    // fails stops the recording (the rows before it stay whole in the file) and
    // emits Failed once.
    void PollEnded();

signals:
    // The file could not be written; `message` says which file and why.
    void Failed(const QString& message);

private:
    bool Append(const QByteArray& bytes, QString& why);

    const ModulePoints& points_;
    WallClock wall_;
    SteadyClock steady_;
    QFile file_;
    qint64 size_ = 0; // what the file holds, so a short write can be taken back
    QString path_;
    std::chrono::steady_clock::time_point started_{};
    unsigned long lastSerial_ = 0;
};

} // namespace tavo
