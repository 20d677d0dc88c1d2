// Reading and writing whole files in settings-file tests.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace tavo::test {

inline QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// False when the file cannot be written.
inline bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace tavo::test
