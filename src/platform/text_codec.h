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

// The longest prefix of text that is at most maxUnits UTF-16 units long and does not end
// between the two halves of a surrogate pair.
QStringView cutOnCharacter(QStringView text, qsizetype maxUnits);

// The most characters of outside text (a remote address, a page's text, a file name) shown in
// one message or terminal line.
inline constexpr qsizetype kMaxShownText = 200;

// Outside text made safe to show on a terminal or in a message: every control character (C0,
// DEL, C1) written as \xNN (an escape character as \x1b), so no escape sequence reaches the
// terminal; cut to maxChars characters with "…" at the end when longer.
QString displayText(QStringView text, qsizetype maxChars = kMaxShownText);

// A line the program writes to a terminal, whole: every control character but the line break
// and the tab (which lay out the program's own lines) written as displayText writes it, so that nothing the line holds
// can drive the terminal.
QString terminalText(QStringView text);
