#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class IniFilePrivate;

// An INI-style key/value file held in memory: the one way the program reads and writes
// Engine.dat and profile files.
//
// Reading: the file is read once, every line's bytes are kept, and look-ups go through a
// hash of case-folded section and key names built in a single pass.
//   - Lines end at CR LF, LF or a lone CR, in any mix; a UTF-8 byte order mark is skipped
//     (and kept when the file is written back); blanks (space, tab) around a line are ignored.
//   - "[" as the first non-blank opens a section named by the trimmed text up to the first
//     "]" (or to the line's end); ";" as the first non-blank makes a comment; any other line
//     holding "=" is a key line (key = trimmed text before the first "=", value = trimmed rest).
//     Lines before the first section cannot be reached.
//   - Names match regardless of ASCII letter case; only the first of two like-named sections
//     is searched, and within it the first like-named key counts.
//   - A value loses one pair of matching enclosing quotes ("…" or '…', at least two
//     characters); it comes back at most kMaxValueBytes long, cut on a UTF-8 character
//     boundary. A missing text reads as empty.
//   - Integers: trimmed decimal with an optional sign, or hexadecimal after "0x", "0X" or "$";
//     anything else, or a value outside 32 bits, reads as the caller's default.
//
// Writing: a write changes the in-memory lines (an existing key's line is replaced where it
// stands; a new key goes after the last key line of its section; a new section is appended at
// the end); save() then writes the whole file atomically. Nothing is ever removed and every
// line the program did not write survives byte for byte. New lines use the file's own line
// ending (LF for a new file). Values, keys and section names that could not be read back as
// written are refused with an error text.
class IniFile {
public:
    static constexpr qsizetype kMaxValueBytes = 2047;

    // An empty file with no path.
    IniFile();
    // Parses bytes as a file's contents.
    static IniFile fromBytes(const QByteArray& bytes);
    // Reads the file at path. A missing file gives an empty IniFile (no error); a file that
    // exists but cannot be read completely gives an empty IniFile whose loadError() is set
    // and which save() refuses to write over.
    static IniFile load(const QString& path);

    IniFile(const IniFile&);
    IniFile& operator=(const IniFile&);
    IniFile(IniFile&&) noexcept;
    IniFile& operator=(IniFile&&) noexcept;
    ~IniFile();

    // Empty when the file was read (or was missing); otherwise why it could not be read.
    QString loadError() const;

    // The value of key in section, as bytes, following the reading rules above.
    QByteArray readBytes(QByteArrayView section, QByteArrayView key) const;
    // The value as text: UTF-8 when the bytes are valid UTF-8, else Windows-1252.
    QString readText(QByteArrayView section, QByteArrayView key) const;
    QString readText(const QString& section, const QString& key) const;
    // The value as an integer, or defaultValue when missing or not wholly a 32-bit number.
    qint32 readInteger(QByteArrayView section, QByteArrayView key, qint32 defaultValue) const;
    qint32 readInteger(const QString& section, const QString& key, qint32 defaultValue) const;
    // Whether section exists (first like-named section) / holds key.
    bool hasSection(QByteArrayView section) const;
    bool hasKey(QByteArrayView section, QByteArrayView key) const;

    // Writes key=value into section in memory. Returns an empty string on success, else an
    // error text saying why the write was refused (the in-memory file is then unchanged).
    QString writeBytes(QByteArrayView section, QByteArrayView key, QByteArrayView value);
    // Writes text encoded as UTF-8.
    QString writeText(const QString& section, const QString& key, const QString& value);

    // The whole file as it would be saved.
    QByteArray toBytes() const;
    // Saves the whole file to path atomically (temporary file, then rename). Returns an empty
    // string on success, else "Unable to write to <path>" (the old file is left untouched).
    // Refuses to write over a file that exists but could not be read at load().
    QString save(const QString& path) const;

private:
    IniFilePrivate* d;
};
