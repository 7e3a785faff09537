#include "platform/atomic_file.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

QString unableToWriteText(const QString& path) {
    return QStringLiteral("Unable to write to ") + QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

QString saveFileAtomically(const QString& path, const QByteArray& bytes) {
    const QFileInfo info(path);
    // Only a regular file is replaced: a folder, a device or a pipe is not a file to save over.
    if (info.exists() && (!info.isFile() || !info.isWritable()))
        return unableToWriteText(path);
    QSaveFile file(info.absoluteFilePath());
    // Unbuffered, so that a short write (disk full, size limit) shows in write()'s count
    // instead of being lost in a final flush that commit() does not check.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return unableToWriteText(path);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return unableToWriteText(path);
    }
    if (!file.commit())
        return unableToWriteText(path);
    return {};
}
