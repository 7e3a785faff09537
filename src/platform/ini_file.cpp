#include "platform/ini_file.h"

#include "platform/atomic_file.h"
#include "platform/folded_name.h"
#include "platform/name_index.h"
#include "platform/regular_file.h"
#include "platform/text_codec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr QByteArrayView kByteOrderMark = "\xEF\xBB\xBF";

enum class LineEnding : quint8 { None, Lf, Cr, CrLf };

QByteArrayView endingBytes(LineEnding ending) {
    switch (ending) {
    case LineEnding::Lf:
        return "\n";
    case LineEnding::Cr:
        return "\r";
    case LineEnding::CrLf:
        return "\r\n";
    case LineEnding::None:
        break;
    }
    return {};
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isLineBreak(char c) {
    return c == '\r' || c == '\n';
}

bool isAscii(QByteArrayView bytes) {
    quint64 any = 0;
    for (qsizetype i = 0; i < bytes.size(); i += 8)
        any |= loadWord(bytes.data() + i, std::min<qsizetype>(8, bytes.size() - i));
    return (any & 0x8080808080808080ull) == 0;
}

QByteArrayView trimmed(QByteArrayView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

// What one line is, with its name and value as offsets into the line (both trimmed).
struct LineParts {
    enum Kind : quint8 { Other, Section, Key };
    Kind kind = Other;
    qsizetype nameStart = 0;
    qsizetype nameLength = 0;
    qsizetype valueStart = 0;
    qsizetype valueLength = 0;
};

qsizetype offsetOf(QByteArrayView part, QByteArrayView whole) {
    return part.data() - whole.data();
}

LineParts parseLine(QByteArrayView line) {
    const QByteArrayView content = trimmed(line);
    LineParts parts;
    if (content.isEmpty() || content.front() == ';')
        return parts;
    if (content.front() == '[') {
        QByteArrayView name = content.sliced(1);
        const qsizetype close = name.indexOf(']');
        if (close >= 0)
            name.truncate(close);
        name = trimmed(name);
        parts.kind = LineParts::Section;
        parts.nameStart = offsetOf(name, line);
        parts.nameLength = name.size();
        return parts;
    }
    const qsizetype equals = content.indexOf('=');
    if (equals < 0)
        return parts;
    const QByteArrayView name = trimmed(content.first(equals));
    const QByteArrayView value = trimmed(content.sliced(equals + 1));
    parts.kind = LineParts::Key;
    parts.nameStart = offsetOf(name, line);
    parts.nameLength = name.size();
    parts.valueStart = offsetOf(value, line);
    parts.valueLength = value.size();
    return parts;
}

// A value as the reader hands it out: one pair of matching enclosing quotes removed, then cut
// to the longest prefix of at most kMaxValueBytes that ends on a character boundary.
QByteArrayView presentedValue(QByteArrayView value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.front() == value.back())
        value = value.sliced(1, value.size() - 2);
    return cutOnCharacterBoundary(value, IniFile::kMaxValueBytes);
}

std::optional<qint32> parseInteger(QByteArrayView text) {
    text = trimmed(text);
    int base = 10;
    bool negative = false;
    if (text.startsWith("0x") || text.startsWith("0X")) {
        base = 16;
        text = text.sliced(2);
    } else if (text.startsWith('$')) {
        base = 16;
        text = text.sliced(1);
    } else if (text.startsWith('+') || text.startsWith('-')) {
        negative = text.front() == '-';
        text = text.sliced(1);
    }
    if (text.isEmpty())
        return std::nullopt;
    constexpr qint64 kLimit = qint64(1) << 31; // the magnitude of the smallest 32-bit integer
    qint64 magnitude = 0;
    for (const char c : text) {
        int digit = 0;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > kLimit)
            return std::nullopt;
    }
    const qint64 value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<qint32>::max() || value < std::numeric_limits<qint32>::min())
        return std::nullopt;
    return static_cast<qint32>(value);
}

// Why a write could not be read back as written, or an empty string when it can.
QString writeRefusal(QByteArrayView section, QByteArrayView key, QByteArrayView value) {
    const auto hasLineBreak = [](QByteArrayView text) {
        return std::any_of(text.begin(), text.end(), isLineBreak);
    };
    const auto hasOuterBlank = [](QByteArrayView text) {
        return isBlank(text.front()) || isBlank(text.back());
    };
    if (section.isEmpty())
        return u"the section name is empty"_s;
    if (section.contains(']'))
        return u"the section name holds \"]\""_s;
    if (hasLineBreak(section))
        return u"the section name holds a line break"_s;
    if (hasOuterBlank(section))
        return u"the section name begins or ends with a blank"_s;
    if (key.isEmpty())
        return u"the key is empty"_s;
    if (key.front() == ';' || key.front() == '[')
        return u"the key begins with \"%1\""_s.arg(QLatin1Char(key.front()));
    if (key.contains('='))
        return u"the key holds \"=\""_s;
    if (hasLineBreak(key))
        return u"the key holds a line break"_s;
    if (hasOuterBlank(key))
        return u"the key begins or ends with a blank"_s;
    if (hasLineBreak(value))
        return u"the value holds a line break"_s;
    return {};
}

// The names a partial read keeps, matched as the file's own names are looked up.
class NameSet {
public:
    explicit NameSet(const QList<QByteArray>& names) : names(names) {
        for (qint32 i = 0; i < static_cast<qint32>(names.size()); ++i) {
            if (!contains(names[i]) && !names[i].isEmpty()) {
                index.insert(foldedHash(names[i]), i);
                ++distinct;
            }
        }
    }

    bool contains(QByteArrayView name) const {
        return !name.isEmpty() &&
               index.find(foldedHash(name), [&](qint32 i) { return equalFolded(names[i], name); }) >= 0;
    }
    // How many different names (an empty name counts for none).
    qsizetype size() const { return distinct; }

private:
    QList<QByteArray> names;
    NameIndex index;
    qsizetype distinct = 0;
};

} // namespace

class IniFilePrivate {
public:
    // One line of the file: its bytes (without the line ending) are text[start, start+length).
    // Lines are kept in the order they were made; `next` links them in file order.
    struct Line {
        qsizetype start;
        qsizetype length;
        qint32 next;
        LineEnding ending;
    };
    // The first section of a name. lastLine is where its next new key goes after: its last
    // key line, or its header line. Each section has its own key index, small enough to stay
    // in the processor's cache while a reader works through the section.
    struct SectionData {
        qsizetype nameStart;
        qsizetype nameLength;
        qint32 lastLine;
        NameIndex keyIndex;
    };
    // The first key of a name in a section, with its trimmed value (quotes still on).
    struct Key {
        qint32 line;
        qsizetype nameStart;
        qsizetype nameLength;
        qsizetype valueStart;
        qsizetype valueLength;
    };

    // The file's bytes, followed by the bytes of every line written since.
    QByteArray text;
    bool hasByteOrderMark = false;
    LineEnding newLineEnding = LineEnding::Lf;
    std::vector<Line> lines;
    qint32 firstLine = -1;
    qint32 lastLine = -1;
    std::vector<SectionData> sections;
    std::vector<Key> keys;
    NameIndex sectionIndex;
    QString loadError;
    // Read in part (a Selection): no lines are kept, text is the file's bytes, and writes are
    // refused.
    bool partial = false;
    // Whether a write has changed the file since it was read.
    bool changed = false;

    QByteArrayView bytes(qsizetype start, qsizetype length) const { return QByteArrayView(text).sliced(start, length); }
    QByteArrayView sectionName(qint32 s) const { return bytes(sections[s].nameStart, sections[s].nameLength); }
    QByteArrayView keyName(qint32 k) const { return bytes(keys[k].nameStart, keys[k].nameLength); }

    qint32 findSection(QByteArrayView name) const {
        if (name.isEmpty())
            return -1;
        return sectionIndex.find(foldedHash(name), [&](qint32 s) { return equalFolded(sectionName(s), name); });
    }

    qint32 findKey(qint32 section, QByteArrayView name) const {
        // A handle from another IniFile may number past this file's sections.
        if (section < 0 || section >= static_cast<qint32>(sections.size()) || name.isEmpty())
            return -1;
        return sections[section].keyIndex.find(foldedHash(name),
                                               [&](qint32 k) { return equalFolded(keyName(k), name); });
    }

    // The value as the reader hands it out; valid until the next write.
    QByteArrayView value(qint32 section, QByteArrayView key) const {
        const qint32 k = findKey(section, key);
        if (k < 0)
            return {};
        return presentedValue(bytes(keys[k].valueStart, keys[k].valueLength));
    }

    qint32 addSection(qsizetype nameStart, qsizetype nameLength, qint32 headerLine) {
        const auto s = static_cast<qint32>(sections.size());
        sections.push_back(SectionData{nameStart, nameLength, headerLine, NameIndex()});
        sectionIndex.insert(foldedHash(sectionName(s)), s);
        return s;
    }

    void addKey(qint32 section, const Key& key) {
        const auto k = static_cast<qint32>(keys.size());
        keys.push_back(key);
        sections[section].keyIndex.insert(foldedHash(keyName(k)), k);
    }

    Key keyOnLine(qint32 line, const LineParts& parts) const { return keyAt(line, lines[line].start, parts); }

    static Key keyAt(qint32 line, qsizetype start, const LineParts& parts) {
        return Key{line, start + parts.nameStart, parts.nameLength, start + parts.valueStart, parts.valueLength};
    }

    // Builds the lines and the indexes from text, keeping only the selected part when only is
    // given. Returns false when stopped on request (the file is then not usable).
    bool parse(const IniFile::Selection* only = nullptr, const std::stop_token& stop = {});
    qint32 insertLineAfter(qint32 anchor, QByteArrayView content);
    void setLineContent(qint32 line, QByteArrayView content);
};

bool IniFilePrivate::parse(const IniFile::Selection* only, const std::stop_token& stop) {
    const char* data = text.constData();
    const qsizetype size = text.size();
    qsizetype pos = 0;
    if (QByteArrayView(text).startsWith(kByteOrderMark)) {
        hasByteOrderMark = true;
        pos = kByteOrderMark.size();
    }
    bool endingSeen = false;
    qint32 section = -1; // the section key lines belong to; -1 before the first and in repeats
    partial = only != nullptr;
    const std::optional<NameSet> wantedSections = partial ? std::optional(NameSet(only->sections)) : std::nullopt;
    const std::optional<NameSet> wantedKeys = partial ? std::optional(NameSet(only->keys)) : std::nullopt;
    qint64 lineCount = 0;

    // Positions of the next CR and LF at or after pos; each is searched for again only once
    // pos has passed it, so the whole file is scanned once whatever its mix of line endings.
    const auto findFrom = [&](char c, qsizetype from) {
        const void* hit = std::memchr(data + from, c, static_cast<size_t>(size - from));
        return hit ? static_cast<const char*>(hit) - data : size;
    };
    qsizetype nextLf = -1;
    qsizetype nextCr = -1;
    while (pos < size) {
        if ((++lineCount & 0xFFFF) == 0 && stop.stop_requested())
            return false;
        if (nextLf < pos)
            nextLf = findFrom('\n', pos);
        if (nextCr < pos)
            nextCr = findFrom('\r', pos);
        const qsizetype end = std::min(nextLf, nextCr);
        LineEnding ending = LineEnding::None;
        qsizetype next = end;
        if (end < size) {
            if (data[end] == '\n') {
                ending = LineEnding::Lf;
                next = end + 1;
            } else if (end + 1 < size && data[end + 1] == '\n') {
                ending = LineEnding::CrLf;
                next = end + 2;
            } else {
                ending = LineEnding::Cr;
                next = end + 1;
            }
            if (!endingSeen) {
                newLineEnding = ending;
                endingSeen = true;
            }
        }

        // A partial read keeps no lines: it is never written back.
        qint32 line = -1;
        if (!partial) {
            line = static_cast<qint32>(lines.size());
            lines.push_back(Line{pos, end - pos, -1, ending});
            if (line > 0)
                lines[line - 1].next = line;
        }

        const LineParts parts = parseLine(QByteArrayView(data + pos, end - pos));
        if (parts.kind == LineParts::Section) {
            // Once every selected section is complete, nothing further can be looked up.
            if (partial && static_cast<qsizetype>(sections.size()) == wantedSections->size())
                break;
            const QByteArrayView name(data + pos + parts.nameStart, parts.nameLength);
            const bool wanted = !name.isEmpty() && (!partial || wantedSections->contains(name));
            section = wanted && findSection(name) < 0 ? addSection(pos + parts.nameStart, parts.nameLength, line) : -1;
        } else if (parts.kind == LineParts::Key && section >= 0) {
            if (!partial)
                sections[section].lastLine = line;
            const QByteArrayView name(data + pos + parts.nameStart, parts.nameLength);
            if (!name.isEmpty() && (!partial || wantedKeys->contains(name)) && findKey(section, name) < 0)
                addKey(section, keyAt(line, pos, parts));
        }
        pos = next;
    }
    if (!lines.empty()) {
        firstLine = 0;
        lastLine = static_cast<qint32>(lines.size() - 1);
    }
    return true;
}

qint32 IniFilePrivate::insertLineAfter(qint32 anchor, QByteArrayView content) {
    const auto line = static_cast<qint32>(lines.size());
    const qsizetype start = text.size();
    text.append(content);
    lines.push_back(Line{start, content.size(), -1, newLineEnding});
    if (anchor < 0) {
        lines[line].next = firstLine;
        firstLine = line;
        if (lastLine < 0)
            lastLine = line;
    } else {
        if (lines[anchor].ending == LineEnding::None)
            lines[anchor].ending = newLineEnding;
        lines[line].next = lines[anchor].next;
        lines[anchor].next = line;
        if (lastLine == anchor)
            lastLine = line;
    }
    return line;
}

void IniFilePrivate::setLineContent(qint32 line, QByteArrayView content) {
    lines[line].start = text.size();
    lines[line].length = content.size();
    text.append(content);
}

IniFile::IniFile() : d(std::make_unique<IniFilePrivate>()) {}

IniFile::IniFile(std::unique_ptr<IniFilePrivate> d) : d(std::move(d)) {}

IniFile::IniFile(const IniFile& other) : d(std::make_unique<IniFilePrivate>(*other.d)) {}

IniFile& IniFile::operator=(const IniFile& other) {
    if (this != &other)
        d = std::make_unique<IniFilePrivate>(*other.d);
    return *this;
}

IniFile::IniFile(IniFile&& other) noexcept = default;
IniFile& IniFile::operator=(IniFile&& other) noexcept = default;
IniFile::~IniFile() = default;

IniFile IniFile::parsed(const QByteArray& bytes, const Selection* only, const std::stop_token& stop) {
    auto d = std::make_unique<IniFilePrivate>();
    if (bytes.size() > kMaxFileBytes) {
        d->loadError = u"The file is larger than %1 bytes"_s.arg(kMaxFileBytes);
        return IniFile(std::move(d));
    }
    d->text = bytes;
    if (!d->parse(only, stop)) {
        d = std::make_unique<IniFilePrivate>();
        d->loadError = u"The reading was stopped"_s;
    }
    return IniFile(std::move(d));
}

IniFile IniFile::fromBytes(const QByteArray& bytes) {
    return parsed(bytes, nullptr, {});
}

IniFile IniFile::read(const QString& path, const Selection* only, const std::stop_token& stop) {
    FileBytes file = readRegularFile(path, kMaxFileBytes, stop);
    if (file.missing)
        return IniFile();
    if (file.error.isEmpty())
        return parsed(file.bytes, only, stop);
    IniFile unreadable;
    unreadable.d->loadError =
        u"Unable to read %1: %2"_s.arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()), file.error);
    return unreadable;
}

IniFile IniFile::load(const QString& path) {
    return read(path, nullptr, {});
}

IniFile IniFile::load(const QString& path, const Selection& only, std::stop_token stop) {
    return read(path, &only, stop);
}

IniFile IniFile::select(const Selection& only, std::stop_token stop) const {
    if (!d->loadError.isEmpty())
        return *this;
    return parsed(d->changed ? toBytes() : d->text, &only, stop);
}

QString IniFile::loadError() const {
    return d->loadError;
}

IniFile::Section IniFile::section(QByteArrayView name) const {
    return Section(d->findSection(name));
}

QByteArray IniFile::readBytes(Section section, QByteArrayView key) const {
    return d->value(section.index, key).toByteArray();
}

QByteArray IniFile::readBytes(QByteArrayView section, QByteArrayView key) const {
    return readBytes(this->section(section), key);
}

QString IniFile::readText(Section section, QByteArrayView key) const {
    const QByteArrayView value = d->value(section.index, key);
    // Most values are plain ASCII, which needs neither validating nor decoding.
    return isAscii(value) ? QString::fromLatin1(value) : decodeFileText(value);
}

QString IniFile::readText(QByteArrayView section, QByteArrayView key) const {
    return readText(this->section(section), key);
}

QString IniFile::readTextNamed(const QString& section, const QString& key) const {
    return readText(QByteArrayView(encodeFileText(section)), QByteArrayView(encodeFileText(key)));
}

qint32 IniFile::readInteger(Section section, QByteArrayView key, qint32 defaultValue) const {
    return parseInteger(d->value(section.index, key)).value_or(defaultValue);
}

qint32 IniFile::readInteger(QByteArrayView section, QByteArrayView key, qint32 defaultValue) const {
    return readInteger(this->section(section), key, defaultValue);
}

qint32 IniFile::readIntegerNamed(const QString& section, const QString& key, qint32 defaultValue) const {
    return readInteger(QByteArrayView(encodeFileText(section)), QByteArrayView(encodeFileText(key)), defaultValue);
}

bool IniFile::hasSection(QByteArrayView section) const {
    return d->findSection(section) >= 0;
}

bool IniFile::hasKey(QByteArrayView section, QByteArrayView key) const {
    return d->findKey(d->findSection(section), key) >= 0;
}

bool IniFile::hasKey(Section section, QByteArrayView key) const {
    return d->findKey(section.index, key) >= 0;
}

QString IniFile::writeBytes(QByteArrayView section, QByteArrayView key, QByteArrayView value) {
    QString reason = writeRefusal(section, key, value);
    if (d->partial)
        reason = u"the file was read in part"_s;
    if (!reason.isEmpty())
        return u"Cannot write the key \"%1\" in section \"%2\": %3"_s.arg(decodeFileText(key), decodeFileText(section),
                                                                          reason);
    d->changed = true;
    const QByteArray content = key.toByteArray() + '=' + value.toByteArray();
    const LineParts parts = parseLine(content);

    qint32 s = d->findSection(section);
    if (s < 0) {
        const QByteArray header = '[' + section.toByteArray() + ']';
        const qint32 headerLine = d->insertLineAfter(d->lastLine, header);
        s = d->addSection(d->lines[headerLine].start + 1, section.size(), headerLine);
    }
    if (const qint32 k = d->findKey(s, key); k >= 0) {
        const qint32 line = d->keys[k].line;
        d->setLineContent(line, content);
        d->keys[k] = d->keyOnLine(line, parts);
    } else {
        const qint32 line = d->insertLineAfter(d->sections[s].lastLine, content);
        d->sections[s].lastLine = line;
        d->addKey(s, d->keyOnLine(line, parts));
    }
    return {};
}

QString IniFile::writeText(const QString& section, const QString& key, const QString& value) {
    return writeBytes(encodeFileText(section), encodeFileText(key), encodeFileText(value));
}

QByteArray IniFile::toBytes() const {
    if (d->partial)
        return d->text;
    QByteArray out;
    out.reserve(d->text.size() + 2 * static_cast<qsizetype>(d->lines.size()));
    if (d->hasByteOrderMark)
        out.append(kByteOrderMark);
    for (qint32 line = d->firstLine; line >= 0; line = d->lines[line].next) {
        const IniFilePrivate::Line& l = d->lines[line];
        out.append(d->bytes(l.start, l.length));
        out.append(endingBytes(l.ending));
    }
    return out;
}

QString IniFile::save(const QString& path) const {
    // A file that could not be read (or was read in part) is never replaced: what it held
    // would be lost.
    if (!d->loadError.isEmpty() || d->partial)
        return unableToWriteText(path);
    return saveFileAtomically(path, toBytes());
}
