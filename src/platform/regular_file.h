#pragma once

#include <QByteArray>
#include <QString>

#include <stop_token>

// The result of reading a file's bytes: the bytes, or why they could not be read.
struct FileBytes {
    QByteArray bytes;
    QString error; // empty when read (or missing)
    bool missing = false;
};

// Reads a regular file whole, never taking in more than maxBytes + 1 bytes. Anything else
// is refused from its status alone: a FIFO would block the open or the read until a writer
// comes, and a device may never end. The file is opened without blocking and checked again
// through its descriptor, so a name swapped for a FIFO in between is refused as well.
// More than maxBytes is refused with the reason; a stop request ends the reading with one.
FileBytes readRegularFile(const QString& path, qsizetype maxBytes, const std::stop_token& stop = {});
