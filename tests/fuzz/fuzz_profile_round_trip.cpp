// The profile file round trip: for any profile and engine choices, written into any existing
// file, WriteDataFile then ReadDataFile gives every value back.
//
// Input: the existing file's bytes, then every field's text, then up to eight engines (title,
// option lists, whether they have values, Selected and the four choices). Texts are the input's
// bytes read as UTF-8 (malformed sequences become U+FFFD), so they hold any character: line
// breaks, "=", "[", "]", ";", quotes, blanks at both ends, NUL, non-ASCII.
//
// What "back" means, by the profile file's documented rules:
//   - every value comes back exactly, except that each line break (CR LF, LF or a lone CR) comes
//     back as CR LF;
//   - values longer than one key holds (kMaxValueBytes bytes in UTF-8) come back whole too: they
//     are generated up to three times that long, so lines of one, two and three pieces occur;
//   - an engine's Selected comes back 1 when it was 1, else 0; an option list without values
//     reads its OptVal from its Option; lists past the engine's Option are neither written nor
//     read;
//   - an engine whose title cannot name a section (empty, holding "]" or a line break, or with a
//     blank at either end) is not stored: it reads back unselected with empty choices;
//   - engines whose titles differ only in ASCII letter case share one section, so only the first
//     of them is generated;
//   - whatever continuation keys the existing file already holds (tied to their first key or
//     not, stale parts, Windows-1252 section names) do not change what comes back.

#include "fuzz_support.h"

#include "catalogue/core/engine_catalogue.h"
#include "platform/ini_file.h"
#include "profile/core/profile_file.h"
#include "profile/core/profile_snapshot.h"

#include <QRegularExpression>

#include <set>

namespace {

QString withLineBreaksAsCrLf(const QString& value) {
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    return QString(value).replace(lineBreak, QStringLiteral("\r\n"));
}

bool canNameSection(const QString& title) {
    const auto isBlank = [](QChar c) {
        return c == u' ' || c == u'\t';
    };
    return !title.isEmpty() && !title.contains(u']') && !title.contains(u'\r') && !title.contains(u'\n') &&
           !isBlank(title.front()) && !isBlank(title.back());
}

QString titleFor(FuzzedDataProvider& input) {
    // Titles that name the file's own sections or the catalogue's, as well as any text.
    static const QString kSpecial[] = {QStringLiteral("Contact Info"), QStringLiteral("site info"),
                                       QStringLiteral("Engine"), QStringLiteral("Alpha")};
    const auto choice = input.ConsumeIntegral<quint8>();
    if (choice < std::size(kSpecial))
        return kSpecial[choice];
    return fuzz::takeText(input, 64);
}

QString valueFor(FuzzedDataProvider& input) {
    return fuzz::takeText(input, 3 * IniFile::kMaxValueBytes);
}

Engine_Data engineFor(FuzzedDataProvider& input) {
    Engine_Data engine;
    engine.Title = titleFor(input);
    engine.Option = input.ConsumeIntegralInRange(-1, 3);
    engine.Value[0].Count = input.ConsumeIntegralInRange(-1, 2);
    engine.Value[1].Count = input.ConsumeIntegralInRange(-1, 2);
    engine.Selected = input.ConsumeIntegral<qint16>();
    engine.Option1 = valueFor(input);
    engine.Option2 = valueFor(input);
    engine.OptVal1 = valueFor(input);
    engine.OptVal2 = valueFor(input);
    return engine;
}

// The engine as ReadDataFile gives it back after WriteDataFile.
Engine_Data readBack(const Engine_Data& written) {
    Engine_Data engine = written;
    const bool stored = canNameSection(written.Title);
    const auto back = [&](const QString& value) {
        return stored ? withLineBreaksAsCrLf(value) : QString();
    };
    engine.Selected = stored && written.Selected == 1 ? 1 : 0;
    engine.Option1 = engine.Option2 = engine.OptVal1 = engine.OptVal2 = QString();
    if (written.Option >= 1) {
        engine.Option1 = back(written.Option1);
        engine.OptVal1 = written.Value[0].Count > 0 ? back(written.OptVal1) : engine.Option1;
    }
    if (written.Option == 2) {
        engine.Option2 = back(written.Option2);
        engine.OptVal2 = written.Value[1].Count > 0 ? back(written.OptVal2) : engine.Option2;
    }
    return engine;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    IniFile file = IniFile::fromBytes(fuzz::takeBytes(input, 1024));

    ProfileSnapshot snapshot;
    for (QString* value : fuzz::profileValues(snapshot.fields))
        *value = valueFor(input);
    Engine_Type catalogue;
    std::set<QByteArray> sections; // the titles' UTF-8 bytes in small letters
    const int engineCount = input.ConsumeIntegralInRange(0, 8);
    for (int i = 0; i < engineCount; ++i) {
        const Engine_Data engine = engineFor(input);
        if (sections.insert(engine.Title.toUtf8().toLower()).second)
            catalogue.Items.append(engine);
    }
    catalogue.Count = static_cast<qint32>(catalogue.Items.size());
    const Engine_Type written = catalogue;

    FUZZ_CHECK_EQ(WriteDataFile(file, snapshot, catalogue), QString());

    // Read from the saved bytes into the catalogue as a new session loads it: no choices yet.
    const IniFile saved = IniFile::fromBytes(file.toBytes());
    Engine_Type reread = written;
    for (Engine_Data& engine : reread.Items) {
        engine.Selected = 0;
        engine.Option1 = engine.Option2 = engine.OptVal1 = engine.OptVal2 = QString();
    }
    ProfileFields fields = ReadDataFile(saved, reread);

    const QList<QString*> before = fuzz::profileValues(snapshot.fields);
    const QList<QString*> after = fuzz::profileValues(fields);
    for (qsizetype i = 0; i < before.size(); ++i)
        FUZZ_CHECK_EQ(*after[i], withLineBreaksAsCrLf(*before[i]));
    for (qsizetype i = 0; i < written.Items.size(); ++i) {
        const Engine_Data expected = readBack(written.Items[i]);
        const Engine_Data& actual = reread.Items[i];
        FUZZ_CHECK_EQ(actual.Selected, expected.Selected);
        FUZZ_CHECK_EQ(actual.Option1, expected.Option1);
        FUZZ_CHECK_EQ(actual.OptVal1, expected.OptVal1);
        FUZZ_CHECK_EQ(actual.Option2, expected.Option2);
        FUZZ_CHECK_EQ(actual.OptVal2, expected.OptVal2);
    }
    return 0;
}
