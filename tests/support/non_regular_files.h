#pragma once

#include <QFile>
#include <QString>
#include <sys/stat.h>

// Files that are not regular files, for readers that must refuse them without reading:
// "fifo" is a named pipe with no writer (opening or reading it blocks), "device" a link to
// /dev/zero (it never ends).
inline bool makeNonRegularFile(const QString& kind, const QString& path) {
    if (kind == QLatin1String("fifo"))
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    if (kind == QLatin1String("device"))
        return QFile::link(QStringLiteral("/dev/zero"), path);
    return false;
}
