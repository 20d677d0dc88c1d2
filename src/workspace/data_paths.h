// Where the program finds its data files (help page, loader images), and how it
// writes a file so that a failure never leaves half of it behind.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tavo {

// Searched in this order:
//   <directory of the executable>/../share/tavo-utility   (installed or build tree)
//   $XDG_DATA_HOME/tavo-utility (~/.local/share/tavo-utility)
QStringList DataDirectories();
// The first existing file `relative` below a data directory, or empty.
QString FindDataFile(const QString& relative);

// Writes `bytes` to a temporary file beside `path` and renames it over `path`.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes);

} // namespace tavo
