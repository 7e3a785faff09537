// ReadEngineFile on arbitrary bytes. Properties: every count lies within its capacity and every
// list holds exactly as many entries as its count says (so nothing is stored or indexed past a
// capacity); each count is the file's number clamped to its capacity; every text is at most
// kMaxValueBytes long; the title look-up finds the first engine of each title.

#include "fuzz_support.h"

#include "catalogue/core/engine_catalogue.h"
#include "platform/ini_file.h"

#include <algorithm>
#include <map>

namespace {

QByteArray numbered(const char* stem, int number) {
    return stem + QByteArray::number(number);
}

void checkText(const QString& text) {
    // One byte of the file gives at most one UTF-16 unit, whether read as UTF-8 or Windows-1252.
    FUZZ_CHECK(text.size() <= IniFile::kMaxValueBytes);
}

void checkEngine(const IniFile& file, const QByteArray& title, const Engine_Data& engine) {
    const IniFile::Section section = file.section(title);
    checkText(engine.Title);
    checkText(engine.Url);

    const Variable_Data& fields = engine.Variable;
    FUZZ_CHECK_EQ(fields.Count, std::clamp(file.readInteger(section, "var", 0), 0, kMaxVariables));
    FUZZ_CHECK_EQ(fields.Names.size(), fields.Count);
    FUZZ_CHECK_EQ(fields.Values.size(), fields.Count);
    for (int j = 0; j < fields.Count; ++j) {
        checkText(fields.Names[j]);
        checkText(fields.Values[j]);
    }

    FUZZ_CHECK_EQ(engine.Option, std::clamp(file.readInteger(section, "Option", 0), 0, kMaxOptionLists));
    for (int k = 0; k < kMaxOptionLists; ++k) {
        const Item_Data& items = engine.Item[static_cast<size_t>(k)];
        const Value_Data& values = engine.Value[static_cast<size_t>(k)];
        if (k >= engine.Option) {
            // A list past Option is not read at all.
            FUZZ_CHECK(items.Count == 0 && items.Items.isEmpty() && values.Count == 0 && values.Values.isEmpty());
            FUZZ_CHECK(engine.Error[static_cast<size_t>(k)].isEmpty() &&
                       engine.Option_Title[static_cast<size_t>(k)].isEmpty());
            continue;
        }
        FUZZ_CHECK_EQ(items.Count, std::clamp(file.readInteger(section, numbered("Item", k + 1), 0), 0, kMaxChoices));
        FUZZ_CHECK_EQ(values.Count, std::clamp(file.readInteger(section, numbered("Value", k + 1), 0), 0, kMaxChoices));
        FUZZ_CHECK_EQ(items.Items.size(), items.Count);
        FUZZ_CHECK_EQ(values.Values.size(), values.Count > 0 ? items.Count : 0);
        for (const QString& text : items.Items)
            checkText(text);
        for (const QString& text : values.Values)
            checkText(text);
        checkText(engine.Error[static_cast<size_t>(k)]);
        checkText(engine.Option_Title[static_cast<size_t>(k)]);
    }
    // The user's choices keep their start values.
    FUZZ_CHECK(engine.Selected == 0 && engine.Option1.isEmpty() && engine.Option2.isEmpty() &&
               engine.OptVal1.isEmpty() && engine.OptVal2.isEmpty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const IniFile file =
        IniFile::fromBytes(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    const Engine_Type catalogue = ReadEngineFile(file);

    FUZZ_CHECK_EQ(catalogue.Count, std::clamp(file.readInteger("Engine", "Amount", 0), 0, kMaxEngines));
    FUZZ_CHECK_EQ(catalogue.Items.size(), catalogue.Count);
    std::map<QString, int> firstOfTitle;
    for (int i = 0; i < catalogue.Count; ++i) {
        const QByteArray title = file.readBytes("Engine", numbered("Title", i + 1));
        checkEngine(file, title, catalogue.Items[i]);
        firstOfTitle.emplace(catalogue.Items[i].Title, i);
        FUZZ_CHECK_EQ(catalogue.indexOfTitle(catalogue.Items[i].Title), firstOfTitle.at(catalogue.Items[i].Title));
    }
    FUZZ_CHECK_EQ(catalogue.indexOfTitle(QStringLiteral("\n")), -1);
    return 0;
}
