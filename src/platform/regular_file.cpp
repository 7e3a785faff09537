#include "platform/regular_file.h"

#include <QFile>
#include <QScopeGuard>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

using namespace Qt::StringLiterals;

FileBytes readRegularFile(const QString& path, qsizetype maxBytes, const std::stop_token& stop) {
    FileBytes result;
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (::stat(name.constData(), &status) != 0) {
        result.missing = errno == ENOENT || errno == ENOTDIR;
        if (!result.missing)
            result.error = qt_error_string(errno);
        return result;
    }
    if (S_ISDIR(status.st_mode)) {
        result.error = u"it is a folder"_s;
        return result;
    }
    const QString notRegular = u"it is not a regular file"_s;
    if (!S_ISREG(status.st_mode)) {
        result.error = notRegular;
        return result;
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        result.error = qt_error_string(errno);
        return result;
    }
    const auto closeAtEnd = qScopeGuard([fd] { ::close(fd); });
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        result.error = notRegular;
        return result;
    }

    // The claimed size sizes the buffer, one byte more so that the end shows without growing
    // it; a file that turns out longer (or claims nothing, as some system files do) grows it.
    constexpr qsizetype kChunk = qsizetype(1) << 20;
    const qsizetype limit = maxBytes + 1;
    const qint64 claimed = std::clamp<qint64>(status.st_size, 0, maxBytes);
    QByteArray bytes;
    bytes.resize(static_cast<qsizetype>(std::max<qint64>(claimed + 1, 4096)));
    qsizetype length = 0;
    while (length < limit) {
        if (stop.stop_requested()) {
            result.error = u"the reading was stopped"_s;
            return result;
        }
        if (length == bytes.size())
            bytes.resize(std::min(length * 2, limit));
        const ssize_t count =
            ::read(fd, bytes.data() + length, static_cast<size_t>(std::min(kChunk, bytes.size() - length)));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            result.error = qt_error_string(errno);
            return result;
        }
        if (count == 0)
            break;
        length += count;
    }
    if (length > maxBytes) {
        result.error = u"it is larger than %1 bytes"_s.arg(maxBytes);
        return result;
    }
    bytes.truncate(length);
    result.bytes = std::move(bytes);
    return result;
}
