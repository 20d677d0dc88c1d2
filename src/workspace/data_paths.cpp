#include "data_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace tavo {

QStringList DataDirectories() {
    QStringList dirs;
    const QString exeDir = QCoreApplication::applicationDirPath();
    if (!exeDir.isEmpty()) dirs << QDir::cleanPath(exeDir + "/../share/tavo-utility");
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty()) home = QDir::homePath() + "/.local/share";
    dirs << QDir::cleanPath(home + "/tavo-utility");
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
