#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// File names as the system stores them (bytes, usually UTF-8 but not always) and as the program
// holds them (QString). Qt turns bytes that are not UTF-8 into U+FFFD, so such a name could never
// be opened again; here each such byte becomes the lone surrogate U+DC80 + byte instead, and goes
// back to that byte, so every name given on the command line round-trips. A name that is UTF-8
// reads as QFile::decodeName() reads it.
QString decodeLocalFileName(QByteArrayView bytes);
QByteArray encodeLocalFileName(QStringView name);

// Whether something exists under that name (as decodeLocalFileName gives it).
bool localFileExists(const QString& name);
