// The profile file reader on arbitrary bytes. The catalogue is what ReadEngineFile makes of the
// same bytes, plus one engine for each "[...]" line of the input with varied option lists, so
// the profile's engine sections are found. Properties: every value read is made of lines joined
// by CR LF and is no longer than the file; Selected is 0 or 1; an option list without values
// takes its OptVal from its Option; and saving what was read (into the same file) and reading
// it again gives the same fields and choices, however long a value has grown in UTF-8.

#include "fuzz_support.h"

#include "catalogue/core/engine_catalogue.h"
#include "platform/ini_file.h"
#include "platform/text_codec.h"
#include "profile/core/profile_file.h"
#include "profile/core/profile_snapshot.h"

#include <QStringList>

namespace {

// A value read from a profile: lines joined by CR LF, with no other line break. Each of its
// keys is read once and one byte of the file is at most one UTF-16 unit, so it is no longer
// than the file.
void checkValue(const QString& value, qsizetype fileBytes) {
    FUZZ_CHECK(value.size() <= fileBytes);
    for (const QString& line : value.split(QStringLiteral("\r\n")))
        FUZZ_CHECK(!line.contains(u'\r') && !line.contains(u'\n'));
}

// The catalogue read from the file, plus engines titled by the input's "[...]" lines.
Engine_Type catalogueFor(const IniFile& file, const QByteArray& bytes) {
    Engine_Type catalogue = ReadEngineFile(file);
    int n = 0;
    for (const QByteArray& line : bytes.split('\n')) {
        const qsizetype close = line.indexOf(']');
        if (!line.startsWith('[') || close < 0 || catalogue.Items.size() >= kMaxEngines)
            continue;
        Engine_Data engine;
        engine.Title = decodeFileText(line.mid(1, close - 1));
        engine.Option = n % 3;
        engine.Value[0].Count = n % 2;
        engine.Value[1].Count = (n / 2) % 2;
        catalogue.Items.append(engine);
        ++n;
    }
    catalogue.Count = static_cast<qint32>(catalogue.Items.size());
    return catalogue;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    IniFile file = IniFile::fromBytes(bytes);
    Engine_Type catalogue = catalogueFor(file, bytes);

    ProfileFields fields = ReadDataFile(file, catalogue);
    for (QString* value : fuzz::profileValues(fields))
        checkValue(*value, bytes.size());
    for (const Engine_Data& engine : catalogue.Items) {
        FUZZ_CHECK(engine.Selected == 0 || engine.Selected == 1);
        for (const QString* value : {&engine.Option1, &engine.Option2, &engine.OptVal1, &engine.OptVal2})
            checkValue(*value, bytes.size());
        if (engine.Option >= 1 && engine.Value[0].Count == 0)
            FUZZ_CHECK_EQ(engine.OptVal1, engine.Option1);
        if (engine.Option == 2 && engine.Value[1].Count == 0)
            FUZZ_CHECK_EQ(engine.OptVal2, engine.Option2);
        if (engine.Option < 2)
            FUZZ_CHECK(engine.Option2.isEmpty() && engine.OptVal2.isEmpty());
    }

    // Save what was read over the file it came from, then read it again.
    ProfileSnapshot snapshot;
    snapshot.fields = fields;
    const Engine_Type read = catalogue;
    FUZZ_CHECK_EQ(WriteDataFile(file, snapshot, catalogue), QString());
    const IniFile saved = IniFile::fromBytes(file.toBytes());
    Engine_Type reread = read;
    for (Engine_Data& engine : reread.Items) {
        engine.Selected = 0;
        engine.Option1 = engine.Option2 = engine.OptVal1 = engine.OptVal2 = QString();
    }
    FUZZ_CHECK(ReadDataFile(saved, reread) == fields);
    FUZZ_CHECK_EQ(reread.Items.size(), read.Items.size());
    for (qsizetype i = 0; i < read.Items.size(); ++i) {
        const Engine_Data& before = read.Items[i];
        const Engine_Data& after = reread.Items[i];
        FUZZ_CHECK_EQ(after.Selected, before.Selected);
        FUZZ_CHECK_EQ(after.Option1, before.Option1);
        FUZZ_CHECK_EQ(after.Option2, before.Option2);
        FUZZ_CHECK_EQ(after.OptVal1, before.OptVal1);
        FUZZ_CHECK_EQ(after.OptVal2, before.OptVal2);
    }
    return 0;
}
