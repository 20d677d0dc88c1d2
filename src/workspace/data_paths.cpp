#include "data_paths.h"

#include "core/data_dirs.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSaveFile>

namespace tavo {

QStringList DataDirectories() {
    QStringList dirs;
    for (const auto& dir : DataDirectoryList(QCoreApplication::applicationDirPath().toStdString()))
        dirs << QString::fromStdString(dir);
    return dirs;
}

QString FindDataFile(const QString& relative) {
    for (const QString& dir : DataDirectories()) {
        const QString path = dir + "/" + relative;
        if (QFileInfo::exists(path)) return path;
    }
    return {};
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace tavo
