#include "profile/core/profile_file.h"

#include "platform/ini_file.h"
#include "platform/text_codec.h"

#include <QCryptographicHash>
#include <QList>
#include <QRegularExpression>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr QByteArrayView kContactInfo = "Contact Info";
constexpr QByteArrayView kSiteInfo = "Site Info";
// The path of the Google key file, after the Site Info fields; written only when it is set (or
// was in the file), so that a profile without it keeps the layout older programs wrote.
constexpr QByteArrayView kGoogleKeyFile = "Google_Key_File";

// A profile field with its key.
struct KeyedField {
    QString key;
    QString* text;
};

// The fields of "Contact Info" that are read back, in file order ("Business" and "CEO", which
// are only written, follow them).
QList<KeyedField> contactFields(ProfileFields& f) {
    return {{u"Company"_s, &f.Company},       {u"Email"_s, &f.Email},   {u"First_Name"_s, &f.First_Name},
            {u"Last_Name"_s, &f.Last_Name},   {u"Street"_s, &f.Street}, {u"City"_s, &f.City},
            {u"State"_s, &f.State},           {u"Zip"_s, &f.Zip},       {u"Country"_s, &f.Country},
            {u"Country_ID"_s, &f.Country_ID}, {u"Phone"_s, &f.Phone},   {u"Fax"_s, &f.Fax},
            {u"Password"_s, &f.Password}};
}

// The fields of "Site Info", in file order.
QList<KeyedField> siteFields(ProfileFields& f) {
    QList<KeyedField> keys = {{u"Site_Title"_s, &f.Site_Title}, {u"Site_URL"_s, &f.Site_URL}};
    for (size_t k = 0; k < f.Keyword.size(); ++k)
        keys.append({u"Keyword"_s + QString::number(k + 1), &f.Keyword[k]});
    keys.append({u"Description"_s, &f.Description});
    return keys;
}

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

bool isQuote(QChar c) {
    return c == u'"' || c == u'\'';
}

// The reader drops blanks around a value and one pair of enclosing quotes; one more pair of
// quotes around such a value makes it read back unchanged.
QString quotedPiece(const QString& piece) {
    const bool blankAtEnd = !piece.isEmpty() && (isBlank(piece.front()) || isBlank(piece.back()));
    const bool enclosed = piece.size() >= 2 && isQuote(piece.front()) && piece.front() == piece.back();
    return blankAtEnd || enclosed ? u'"' + piece + u'"' : piece;
}

QByteArray keyBytes(const QString& key) {
    return encodeFileText(key);
}

QString lineCountKey(const QString& key) {
    return key + u"_Lines"_s;
}

// The key of line number (from 1) of a value: the value's own key for the first line.
QString lineKey(const QString& key, qsizetype number) {
    return number == 1 ? key : key + u"_Line"_s + QString::number(number);
}

// The key of part number (from 2) of a line too long for one key.
QString partKey(const QString& lineKey, qsizetype number) {
    return lineKey + u"_More"_s + QString::number(number);
}

// Ties a value's continuation keys to its first key: a check of the first key's value as read.
// A writer that knows only "<key>=" changes that value and so cuts the tie.
QByteArray checkOf(QByteArrayView firstValue) {
    return QCryptographicHash::hash(firstValue, QCryptographicHash::Sha1).toHex().left(16);
}

// A line cut into pieces of at most IniFile::kMaxValueBytes bytes in UTF-8, on character
// boundaries; an empty line is one empty piece.
QStringList piecesOf(const QString& line) {
    const QByteArray bytes = encodeFileText(line);
    QStringList pieces;
    QByteArrayView rest(bytes);
    do {
        QByteArrayView piece = cutOnCharacterBoundary(rest, IniFile::kMaxValueBytes);
        if (piece.isEmpty() && !rest.isEmpty())
            piece = rest.first(std::min(rest.size(), IniFile::kMaxValueBytes));
        pieces.append(decodeFileText(piece));
        rest = rest.sliced(piece.size());
    } while (!rest.isEmpty());
    return pieces;
}

// Writes a text value so that it reads back exactly: quoted where needed, and carried on in
// continuation keys when it holds line breaks or is too long for one key.
QString writeValue(IniFile& file, QByteArrayView section, const QString& key, const QString& value) {
    // The same breaks that end a line of the file: CR LF, a lone LF or a lone CR.
    static const QRegularExpression lineBreak(u"\r\n|\r|\n"_s);
    const QStringList lines = value.split(lineBreak);
    QList<QStringList> pieces;
    bool continued = lines.size() > 1;
    for (const QString& line : lines) {
        pieces.append(piecesOf(line));
        continued = continued || pieces.back().size() > 1;
    }

    QString error;
    const auto write = [&](const QString& name, const QString& text) {
        if (error.isEmpty())
            error = file.writeBytes(section, keyBytes(name), encodeFileText(text));
    };
    const auto writeLine = [&](qsizetype number) {
        const QString name = lineKey(key, number);
        const QStringList& parts = pieces[number - 1];
        write(name, quotedPiece(parts.front()));
        for (qsizetype m = 2; m <= parts.size(); ++m)
            write(partKey(name, m), quotedPiece(parts[m - 1]));
        // An empty part ends the line: a longer line written here before is not read on.
        if (file.hasKey(section, keyBytes(partKey(name, parts.size() + 1))))
            write(partKey(name, parts.size() + 1), QString());
    };

    writeLine(1);
    if (continued) {
        const QByteArray check = checkOf(file.readBytes(section, keyBytes(key)));
        write(lineCountKey(key), QString::number(lines.size()) + u',' + QString::fromLatin1(check));
    } else if (file.hasKey(section, keyBytes(lineCountKey(key)))) {
        // A one-line value over a value that had lines must say so, or its old lines come back.
        write(lineCountKey(key), u"1"_s);
    }
    for (qsizetype n = 2; n <= lines.size(); ++n)
        writeLine(n);
    return error;
}

// Line number of a value with its parts, which end at the first missing or empty part.
QString readLine(const IniFile& file, IniFile::Section section, const QString& key, qsizetype number) {
    const QString name = lineKey(key, number);
    QString line = file.readText(section, keyBytes(name));
    for (qsizetype m = 2;; ++m) {
        const QByteArray part = file.readBytes(section, keyBytes(partKey(name, m)));
        if (part.isEmpty())
            return line;
        line += decodeFileText(part);
    }
}

QString readValue(const IniFile& file, IniFile::Section section, const QString& key) {
    const QByteArray first = file.readBytes(section, keyBytes(key));
    const QByteArray count = file.readBytes(section, keyBytes(lineCountKey(key)));
    const qsizetype comma = count.indexOf(',');
    qint32 lineCount = 1;
    bool tied = false;
    if (comma < 0) {
        // A plain count, as files were written before continuation keys were tied: lines
        // without parts.
        lineCount = file.readInteger(section, keyBytes(lineCountKey(key)), 1);
    } else {
        bool ok = false;
        lineCount = count.first(comma).toInt(&ok);
        tied = ok && count.sliced(comma + 1).trimmed() == checkOf(first);
        if (!tied)
            return decodeFileText(first); // the first key was rewritten without its continuation
    }
    QString value = tied ? readLine(file, section, key, 1) : decodeFileText(first);
    // Every line key up to the count is written; a missing one means a damaged file, and
    // stopping there keeps a huge count from running away.
    for (qint32 n = 2; n <= lineCount && file.hasKey(section, keyBytes(lineKey(key, n))); ++n)
        value +=
            u"\r\n"_s + (tied ? readLine(file, section, key, n) : file.readText(section, keyBytes(lineKey(key, n))));
    return value;
}

// The section of an engine's choices: the one whose name reads as the engine's title, as a
// catalogue's own sections are named by its titles' bytes. The UTF-8 spelling, which this
// program writes, comes first; else the Windows-1252 spelling of files written by older
// programs. A new section is spelled in UTF-8.
QByteArray engineSection(const IniFile& file, const QString& title) {
    const QByteArray utf8 = encodeFileText(title);
    if (!file.hasSection(utf8)) {
        const std::optional<QByteArray> older = encodeWindows1252(title);
        if (older && decodeFileText(*older) == title && file.hasSection(*older))
            return *older;
    }
    return utf8;
}

bool hasValues(const Engine_Data& engine, int list) {
    return engine.Value[static_cast<size_t>(list)].Count > 0;
}

void readEngine(const IniFile& file, Engine_Data& engine) {
    const IniFile::Section section = file.section(engineSection(file, engine.Title));
    engine.Selected = file.readInteger(section, "Selected", 0) == 1 ? 1 : 0;
    if (engine.Option >= 1) {
        engine.Option1 = readValue(file, section, u"Option1"_s);
        engine.OptVal1 = hasValues(engine, 0) ? readValue(file, section, u"OptVal1"_s) : engine.Option1;
    }
    if (engine.Option == 2) {
        engine.Option2 = readValue(file, section, u"Option2"_s);
        engine.OptVal2 = hasValues(engine, 1) ? readValue(file, section, u"OptVal2"_s) : engine.Option2;
    }
}

QString writeEngine(IniFile& file, Engine_Data& engine) {
    if (engine.Selected != 1)
        engine.Selected = 0;
    const QByteArray section = engineSection(file, engine.Title);
    // "Selected" is always writable, so a refusal means the title cannot name a section: the
    // engine's choices are not stored, and the rest of the file is.
    if (!file.writeBytes(section, "Selected", QByteArray::number(engine.Selected)).isEmpty())
        return {};

    QString error;
    const auto write = [&](bool present, const QString& key, const QString& value) {
        if (present && error.isEmpty())
            error = writeValue(file, section, key, value);
    };
    const bool one = engine.Option >= 1;
    const bool two = engine.Option == 2;
    write(one && hasValues(engine, 0), u"OptVal1"_s, engine.OptVal1);
    write(two && hasValues(engine, 1), u"OptVal2"_s, engine.OptVal2);
    write(one, u"Option1"_s, engine.Option1);
    write(two, u"Option2"_s, engine.Option2);
    return error;
}

} // namespace

ProfileFields ReadDataFile(const IniFile& file, Engine_Type& catalogue) {
    ProfileFields fields;
    const IniFile::Section contactInfo = file.section(kContactInfo);
    for (const KeyedField& field : contactFields(fields))
        *field.text = readValue(file, contactInfo, field.key);
    const IniFile::Section siteInfo = file.section(kSiteInfo);
    for (const KeyedField& field : siteFields(fields))
        *field.text = readValue(file, siteInfo, field.key);
    fields.Google_Key_File = readValue(file, siteInfo, QString::fromLatin1(kGoogleKeyFile));
    for (Engine_Data& engine : catalogue.Items)
        readEngine(file, engine);
    return fields;
}

ProfileFields ReadDataFile(const QString& path, Engine_Type& catalogue) {
    // A file that cannot be read loads as an empty file: every key is missing.
    return ReadDataFile(IniFile::load(path), catalogue);
}

QString WriteDataFile(IniFile& file, const ProfileSnapshot& snapshot, Engine_Type& catalogue) {
    QString error;
    const auto write = [&](QByteArrayView section, const QString& key, const QString& value) {
        if (error.isEmpty())
            error = writeValue(file, section, key, value);
    };
    ProfileFields fields = snapshot.fields;
    for (const KeyedField& field : contactFields(fields))
        write(kContactInfo, field.key, *field.text);
    write(kContactInfo, u"Business"_s, snapshot.Business);
    write(kContactInfo, u"CEO"_s, snapshot.CEO);
    for (const KeyedField& field : siteFields(fields))
        write(kSiteInfo, field.key, *field.text);
    if (!fields.Google_Key_File.isEmpty() || file.hasKey(kSiteInfo, kGoogleKeyFile))
        write(kSiteInfo, QString::fromLatin1(kGoogleKeyFile), fields.Google_Key_File);

    for (Engine_Data& engine : catalogue.Items) {
        if (error.isEmpty())
            error = writeEngine(file, engine);
    }
    return error;
}

QString WriteDataFile(const QString& path, const ProfileSnapshot& snapshot, Engine_Type& catalogue) {
    IniFile file = IniFile::load(path);
    if (QString error = WriteDataFile(file, snapshot, catalogue); !error.isEmpty())
        return error;
    return file.save(path);
}
