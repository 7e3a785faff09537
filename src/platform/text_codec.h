#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// Text in the program's files: read as UTF-8 when the bytes are valid UTF-8, else as
// Windows-1252 (files written on older systems); always written as UTF-8.
QString decodeFileText(QByteArrayView bytes);
QByteArray encodeFileText(const QString& text);

// text in Windows-1252 (the bytes files written on older systems hold), or nothing when one of
// its characters has no byte there.
std::optional<QByteArray> encodeWindows1252(const QString& text);

// Whether bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool isValidUtf8(QByteArrayView bytes);

// The longest prefix of bytes that is at most maxBytes long and does not end inside a UTF-8
// multi-byte sequence (for bytes that are not UTF-8 the cut is simply at maxBytes).
QByteArrayView cutOnCharacterBoundary(QByteArrayView bytes, qsizetype maxBytes);
