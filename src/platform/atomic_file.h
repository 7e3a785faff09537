#pragma once

#include <QByteArray>
#include <QString>

// Writes bytes to path atomically: the whole content goes to a temporary file beside the
// target, which is then renamed over it, so a failed write leaves the old file byte for byte as
// it was. Returns an empty string on success, else "Unable to write to <absolute path>" with no
// full stop (the error report adds it). It fails as well when path names a folder or an
// existing file that is not writable (renaming over a read-only file would otherwise succeed).
QString saveFileAtomically(const QString& path, const QByteArray& bytes);

// The error text saveFileAtomically() gives for path.
QString unableToWriteText(const QString& path);
