#include "value_recorder.h"

#include "points/module_points.h"
#include "points/point_text.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>

namespace tavo {
namespace {

// hh:mm:ss, the hours running on past 99.
QString Elapsed(long long seconds) {
    return QString("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QChar('0'))
        .arg(seconds / 60 % 60, 2, 10, QChar('0'))
        .arg(seconds % 60, 2, 10, QChar('0'));
}

} // namespace

ValueRecorder::ValueRecorder(const ModulePoints& points, WallClock wall, SteadyClock steady,
                             QObject* parent)
    : QObject(parent), points_(points),
      wall_(wall ? std::move(wall) : [] { return std::chrono::system_clock::now(); }),
      steady_(steady ? std::move(steady) : [] { return std::chrono::steady_clock::now(); }) {}

ValueRecorder::~ValueRecorder() { Stop(); }

bool ValueRecorder::Start(const QString& path, QString& error) {
    Stop();
    file_.setFileName(path);
    // Unbuffered: every poll's rows go to the system in one write, so nothing
    // waits in our memory for a later flush that a crash would never make.
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        error = QString("%1 cannot be opened for recording (%2).")
                    .arg(QDir::toNativeSeparators(path), file_.errorString());
        return false;
    }
    size_ = file_.size();
    QByteArray lead;
    if (size_ == 0) {
        lead = QByteArray(kPointsCsvHeader.data(), static_cast<qsizetype>(kPointsCsvHeader.size()));
    } else {
        // A file whose last line is unfinished gets its line end first, so the
        // first row does not run on from it.
        QFile tail(path);
        if (tail.open(QIODevice::ReadOnly) && tail.seek(size_ - 1) && tail.read(1) != "\n")
            lead = "\n";
    }
    QString why;
    if (!lead.isEmpty() && !Append(lead, why)) {
        file_.close();
        error = QString("%1 cannot be written (%2).").arg(QDir::toNativeSeparators(path), why);
        return false;
    }
    path_ = path;
    started_ = steady_();
    lastSerial_ = points_.Serial();
    return true;
}

void ValueRecorder::Stop() {
    if (file_.isOpen()) file_.close();
}

long long ValueRecorder::ElapsedSeconds() const {
    if (!Recording()) return 0;
    return std::max<long long>(
        0, std::chrono::duration_cast<std::chrono::seconds>(steady_() - started_).count());
}

QString ValueRecorder::StatusText() const {
    if (!Recording()) return {};
    return QString("Recording %1 to %2").arg(Elapsed(ElapsedSeconds()), QFileInfo(path_).fileName());
}

void ValueRecorder::PollEnded() {
    if (!Recording()) return;
    const unsigned long serial = points_.Serial();
    if (serial == lastSerial_) return; // a poll that read nothing of this module
    const std::string rows = PointsCsvRows(points_, wall_(), lastSerial_);
    lastSerial_ = serial;
    if (rows.empty()) return;
    QString why;
    if (Append(QByteArray::fromStdString(rows), why)) return;
    const QString message =
        QString("Recording stopped: %1 cannot be written (%2).\nThe values recorded before are "
                "kept in it.")
            .arg(QDir::toNativeSeparators(path_), why);
    Stop();
    emit Failed(message);
}

bool ValueRecorder::Append(const QByteArray& bytes, QString& why) {
    errno = 0;
    const qint64 written = file_.write(bytes);
    if (written == bytes.size()) {
        size_ += written;
        return true;
    }
    const int error = errno;
    why = error != 0 ? qt_error_string(error) : file_.errorString();
    // Rows cut short by a full disk are taken back: the file ends with whole rows.
    if (written > 0 || file_.size() != size_) file_.resize(size_);
    return false;
}

} // namespace tavo
