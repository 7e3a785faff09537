#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <concepts>
#include <memory>
#include <stop_token>

class IniFilePrivate;

// A name given as text (a QString, or a string expression that makes one) rather than as bytes.
// It keeps calls such as readText("Engine", "Amount") unambiguous in code built without Qt's
// strict conversion macros, where a literal would also convert to QString.
template <typename T>
concept IniText = std::convertible_to<const T&, QString> && !std::convertible_to<const T&, QByteArrayView>;

// An INI-style key/value file held in memory: the one way the program reads and writes
// Engine.dat and profile files. It works on bytes; turning a value into text is readText()'s
// step (UTF-8 when the bytes are valid UTF-8, else Windows-1252).
//
// Reading: the file is read once, every line's bytes are kept, and look-ups go through a
// hash of case-folded section and key names built in a single pass.
//   - Lines end at CR LF, LF or a lone CR, in any mix; the last line may lack one. A UTF-8 byte
//     order mark is skipped (and kept when the file is written back). Blanks (space, tab)
//     around a line are ignored; blank lines are ignored.
//   - "[" as the first non-blank opens a section named by the trimmed text up to the first
//     "]" (or to the line's end); text after the "]" is ignored. ";" as the first non-blank
//     makes a comment, which never matches anything ("#" is no comment sign: "#k=v" is the key
//     "#k"). Any other line holding "=" is a key line: key = trimmed text before the first
//     "=", value = trimmed rest ("k=a=b" reads "a=b", "k=v ;x" reads "v ;x"). A line without
//     "=" is no key. Lines before the first section cannot be reached.
//   - Section and key names match regardless of ASCII letter case (bytes above 0x7F must match
//     exactly). Only the first of two like-named sections is searched; within it the first of
//     two like-named keys counts. Names are looked up as given, not trimmed; an empty name is
//     never found (so a line "=v" is a key line that no look-up reaches).
//   - A value loses one pair of matching enclosing quotes ("…" or '…', at least two
//     characters, first equals last); mismatched or lone quotes stay. It comes back at most
//     kMaxValueBytes long, cut on a UTF-8 character boundary. A missing text reads as empty.
//   - Integers: the value (as above) trimmed of blanks, then either decimal digits with an
//     optional "+" or "-", or hexadecimal digits after "0x", "0X" or "$" (no sign). Anything
//     else ("", "12abc", "--1", "0x"), or a number outside -2147483648 … 2147483647 (so also
//     "0xFFFFFFFF"), reads as the caller's default.
//
// Writing: a write changes the in-memory lines; save() then writes the whole file atomically.
//   - A key written is the line "key=value" with no blanks around "=", the key spelled as the
//     caller gives it. An existing key (the first match in the first like-named section) has
//     its line replaced where it stands, keeping that line's line ending. A new key goes right
//     after the last key line of the section (key lines include "=v" lines and repeated keys),
//     or right after the section's header when it has none; comments, blank lines and lines
//     without "=" that follow stay after it. A missing section is appended at the end of the
//     file as "[name]" followed by the key.
//   - New lines end with the file's own line ending: the ending of its first line that has
//     one, LF when no line has one. A line that gets a new line after it but has no ending
//     (the last line of a file without a final line break) is given that ending first.
//   - Nothing is ever removed, and every line the program did not write survives byte for byte
//     (invalid UTF-8 and NUL bytes included).
//   - What could not be read back as written is refused with an error text and changes
//     nothing: a value holding a line break (CR or LF); a key that is empty, starts with ";"
//     or "[", holds "=" or a line break, or has a blank at either end; a section name that is
//     empty, holds "]" or a line break, or has a blank at either end. Values are written as
//     given otherwise: blanks at their ends and enclosing quotes are the caller's to encode,
//     and a value longer than kMaxValueBytes is written whole but reads back cut.
class IniFile {
public:
    static constexpr qsizetype kMaxValueBytes = 2047;
    // No INI file of the program comes near this; larger input is refused as unreadable.
    static constexpr qsizetype kMaxFileBytes = qsizetype(1) << 30;

    // An empty file with no lines.
    IniFile();
    // Parses bytes as a file's contents (more than kMaxFileBytes give an unreadable IniFile,
    // as load() describes).
    static IniFile fromBytes(const QByteArray& bytes);
    // Reads the file at path. A missing file gives an empty IniFile (no error); a file that
    // exists but cannot be read completely (no permission, a folder, a read error, more than
    // kMaxFileBytes read) gives an empty IniFile whose loadError() is set and which save()
    // refuses to write anywhere. Anything that is not a regular file once links are followed
    // (a FIFO, a device, a socket) is unreadable without being opened for reading, so no such
    // file can block the reader or feed it without end. The size the file claims only sizes
    // the first buffer: the limit applies to what is actually read.
    static IniFile load(const QString& path);

    // A part of a file: the sections named and, in each of them, the keys named. Names match as
    // look-ups do (ASCII letter case ignored, only the first of like-named sections and keys).
    struct Selection {
        QList<QByteArray> sections;
        QList<QByteArray> keys;
    };
    // Reads the file at path as load() does, keeping only the selected part: memory for what
    // the file holds beyond it is never taken, and parsing ends once every selected section is
    // complete. The result reads like the whole file for the selected keys and finds nothing
    // else; it is read-only (writes are refused, save() fails, toBytes() gives the file's bytes).
    // A stop requested while reading gives an empty IniFile whose loadError() is set.
    static IniFile load(const QString& path, const Selection& only, std::stop_token stop = {});
    // This file's bytes (as toBytes() gives them) parsed again, keeping only the selected part,
    // as the load() above describes. The bytes are shared, not copied, while this file is
    // unchanged.
    IniFile select(const Selection& only, std::stop_token stop = {}) const;

    IniFile(const IniFile& other);
    IniFile& operator=(const IniFile& other);
    // A moved-from IniFile may only be assigned to or destroyed.
    IniFile(IniFile&& other) noexcept;
    IniFile& operator=(IniFile&& other) noexcept;
    ~IniFile();

    // Empty when the file was read (or was missing); otherwise why it could not be read.
    QString loadError() const;

    // A section looked up once, so that many of its keys can be read without looking it up
    // again. It stays valid for the life of the IniFile it came from (writes never remove or
    // renumber sections); the handle of a missing section reads every key as missing, even
    // after a write has made the section.
    class Section {
    public:
        Section() = default;
        bool exists() const { return index >= 0; }

    private:
        friend class IniFile;
        explicit Section(qint32 index) : index(index) {}
        qint32 index = -1;
    };
    Section section(QByteArrayView name) const;

    // The value of key in section, as bytes, following the reading rules above.
    QByteArray readBytes(QByteArrayView section, QByteArrayView key) const;
    QByteArray readBytes(Section section, QByteArrayView key) const;
    // The value as text: UTF-8 when the bytes are valid UTF-8, else Windows-1252.
    QString readText(QByteArrayView section, QByteArrayView key) const;
    QString readText(Section section, QByteArrayView key) const;
    // Names given as text are looked up by their UTF-8 bytes.
    template <IniText S, IniText K> QString readText(const S& section, const K& key) const {
        return readTextNamed(QString(section), QString(key));
    }
    // The value as an integer, or defaultValue when missing or not wholly a 32-bit number.
    qint32 readInteger(QByteArrayView section, QByteArrayView key, qint32 defaultValue) const;
    qint32 readInteger(Section section, QByteArrayView key, qint32 defaultValue) const;
    template <IniText S, IniText K> qint32 readInteger(const S& section, const K& key, qint32 defaultValue) const {
        return readIntegerNamed(QString(section), QString(key), defaultValue);
    }
    // Whether section exists / holds key (following the look-up rules above).
    bool hasSection(QByteArrayView section) const;
    bool hasKey(QByteArrayView section, QByteArrayView key) const;
    bool hasKey(Section section, QByteArrayView key) const;

    // Writes key=value into section in memory. Returns an empty string on success, else an
    // error text saying why the write was refused (the in-memory file is then unchanged). A file
    // read in part (a Selection) refuses every write.
    QString writeBytes(QByteArrayView section, QByteArrayView key, QByteArrayView value);
    // Writes names and value encoded as UTF-8.
    QString writeText(const QString& section, const QString& key, const QString& value);

    // The whole file as it would be saved.
    QByteArray toBytes() const;
    // Saves the whole file to path atomically (temporary file, then rename). Returns an empty
    // string on success, else "Unable to write to <absolute path>" with no full stop (the
    // error report adds it); the old file is then left untouched. It fails as well when path
    // names an existing file that is not writable (renaming over it would otherwise succeed)
    // and when this IniFile came from a load() that failed.
    QString save(const QString& path) const;

private:
    explicit IniFile(std::unique_ptr<IniFilePrivate> d);
    static IniFile parsed(const QByteArray& bytes, const Selection* only, const std::stop_token& stop);
    static IniFile read(const QString& path, const Selection* only, const std::stop_token& stop);
    QString readTextNamed(const QString& section, const QString& key) const;
    qint32 readIntegerNamed(const QString& section, const QString& key, qint32 defaultValue) const;

    std::unique_ptr<IniFilePrivate> d;
};
