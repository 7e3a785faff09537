#include "profile/core/profile_file.h"

#include "platform/ini_file.h"
#include "platform/text_codec.h"

#include <QList>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

const QString kContactInfo = u"Contact Info"_s;
const QString kSiteInfo = u"Site Info"_s;

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
QString quotedLine(const QString& line) {
    const bool blankAtEnd = !line.isEmpty() && (isBlank(line.front()) || isBlank(line.back()));
    const bool enclosed = line.size() >= 2 && isQuote(line.front()) && line.front() == line.back();
    return blankAtEnd || enclosed ? u'"' + line + u'"' : line;
}

QString lineCountKey(const QString& key) {
    return key + u"_Lines"_s;
}

QString lineKey(const QString& key, qsizetype number) {
    return key + u"_Line"_s + QString::number(number);
}

bool hasKey(const IniFile& file, const QString& section, const QString& key) {
    return file.hasKey(encodeFileText(section), encodeFileText(key));
}

// Writes a text value so that it reads back exactly: quoted where needed, and split into one
// key per line when it holds line breaks.
QString writeValue(IniFile& file, const QString& section, const QString& key, const QString& value) {
    // The same breaks that end a line of the file: CR LF, a lone LF or a lone CR.
    static const QRegularExpression lineBreak(u"\r\n|\r|\n"_s);
    const QStringList lines = value.split(lineBreak);

    QString error = file.writeText(section, key, quotedLine(lines.front()));
    // A one-line value over a value that had lines must say so, or its old lines come back.
    if (error.isEmpty() && (lines.size() > 1 || hasKey(file, section, lineCountKey(key))))
        error = file.writeText(section, lineCountKey(key), QString::number(lines.size()));
    for (qsizetype n = 2; error.isEmpty() && n <= lines.size(); ++n)
        error = file.writeText(section, lineKey(key, n), quotedLine(lines[n - 1]));
    return error;
}

QString readValue(const IniFile& file, const QString& section, const QString& key) {
    QString value = file.readText(section, key);
    const qint32 lineCount = file.readInteger(section, lineCountKey(key), 1);
    // Every line key up to the count is written; a missing one means a damaged file, and
    // stopping there keeps a huge count from running away.
    for (qint32 n = 2; n <= lineCount && hasKey(file, section, lineKey(key, n)); ++n)
        value += u"\r\n"_s + file.readText(section, lineKey(key, n));
    return value;
}

bool hasValues(const Engine_Data& engine, int list) {
    return engine.Value[static_cast<size_t>(list)].Count > 0;
}

void readEngine(const IniFile& file, Engine_Data& engine) {
    const QString& section = engine.Title;
    engine.Selected = file.readInteger(section, u"Selected"_s, 0) == 1 ? 1 : 0;
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
    const QString& section = engine.Title;
    // "Selected" is always writable, so a refusal means the title cannot name a section: the
    // engine's choices are not stored, and the rest of the file is.
    if (!file.writeText(section, u"Selected"_s, QString::number(engine.Selected)).isEmpty())
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
    for (const KeyedField& field : contactFields(fields))
        *field.text = readValue(file, kContactInfo, field.key);
    for (const KeyedField& field : siteFields(fields))
        *field.text = readValue(file, kSiteInfo, field.key);
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
    const auto write = [&](const QString& section, const QString& key, const QString& value) {
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
