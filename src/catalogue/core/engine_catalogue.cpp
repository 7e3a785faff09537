#include "catalogue/core/engine_catalogue.h"

#include "platform/ini_file.h"
#include "platform/text_codec.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

namespace {

// A numbered key name such as "Title7" or "Item2-15", built without allocating.
class KeyName {
public:
    KeyName(std::string_view stem, int number) { append(stem).appendNumber(number); }
    KeyName(std::string_view stem, int number, int choice) {
        append(stem).appendNumber(number).append("-").appendNumber(choice);
    }

    operator QByteArrayView() const { return QByteArrayView(buffer.data(), length); }

private:
    KeyName& append(std::string_view part) {
        std::copy(part.begin(), part.end(), buffer.begin() + length);
        length += static_cast<qsizetype>(part.size());
        return *this;
    }
    KeyName& appendNumber(int number) {
        const auto result = std::to_chars(buffer.data() + length, buffer.data() + buffer.size(), number);
        length = result.ptr - buffer.data();
        return *this;
    }

    std::array<char, 48> buffer{};
    qsizetype length = 0;
};

// Reads the engine's own section.
void readEngineSection(const IniFile& file, IniFile::Section section, Engine_Data& engine) {
    engine.Url = file.readText(section, "Url");

    Variable_Data& fields = engine.Variable;
    fields.Count = std::clamp(file.readInteger(section, "var", 0), 0, kMaxVariables);
    fields.Names.reserve(fields.Count);
    fields.Values.reserve(fields.Count);
    for (int j = 1; j <= fields.Count; ++j) {
        fields.Names.append(file.readText(section, KeyName("var", j)));
        fields.Values.append(file.readText(section, KeyName("var_value", j)));
    }

    engine.Option = std::clamp(file.readInteger(section, "Option", 0), 0, kMaxOptionLists);
    for (int k = 1; k <= engine.Option; ++k) {
        engine.Error[k - 1] = file.readText(section, KeyName("Error", k));
        engine.Option_Title[k - 1] = file.readText(section, KeyName("Option_Title", k));
        Item_Data& items = engine.Item[k - 1];
        Value_Data& values = engine.Value[k - 1];
        items.Count = std::clamp(file.readInteger(section, KeyName("Item", k), 0), 0, kMaxChoices);
        values.Count = std::clamp(file.readInteger(section, KeyName("Value", k), 0), 0, kMaxChoices);
        const bool hasValues = values.Count > 0;
        items.Items.reserve(items.Count);
        if (hasValues)
            values.Values.reserve(items.Count);
        for (int m = 1; m <= items.Count; ++m) {
            items.Items.append(file.readText(section, KeyName("Item", k, m)));
            if (hasValues)
                values.Values.append(file.readText(section, KeyName("Value", k, m)));
        }
    }
}

} // namespace

int Engine_Type::indexOfTitle(const QString& title) const {
    if (m_indexedCount != Items.size()) {
        m_titleIndex.clear();
        m_titleIndex.reserve(Items.size());
        // Walking backwards leaves the first of two equal titles in the index.
        for (int i = static_cast<int>(Items.size()) - 1; i >= 0; --i)
            m_titleIndex.insert(Items[i].Title, i);
        m_indexedCount = Items.size();
    }
    return m_titleIndex.value(title, -1);
}

Engine_Type ReadEngineFile(const IniFile& file) {
    Engine_Type catalogue;
    const IniFile::Section engines = file.section("Engine");
    catalogue.Count = std::clamp(file.readInteger(engines, "Amount", 0), 0, kMaxEngines);
    catalogue.Items.resize(catalogue.Count);
    for (int i = 1; i <= catalogue.Count; ++i) {
        Engine_Data& engine = catalogue.Items[i - 1];
        // The section is looked up by the title's own bytes, so a title in an older 8-bit file
        // still finds its section.
        const QByteArray title = file.readBytes(engines, KeyName("Title", i));
        engine.Title = decodeFileText(title);
        readEngineSection(file, file.section(title), engine);
    }
    return catalogue;
}

Engine_Type ReadEngineFile(const QString& startDirectory) {
    return ReadEngineFile(IniFile::load(startDirectory + QStringLiteral("/Engine.dat")));
}

QString locateCatalogueFolder(const QString& startDirectory, const QString& installedFolder) {
    const QString fileName = QStringLiteral("Engine.dat");
    const auto holdsCatalogue = [&](const QString& folder) {
        return !folder.isEmpty() && QFileInfo::exists(folder + u'/' + fileName);
    };
    if (holdsCatalogue(startDirectory))
        return startDirectory;
    const QString found =
        QStandardPaths::locate(QStandardPaths::GenericDataLocation, QStringLiteral("torvane/") + fileName);
    if (!found.isEmpty())
        return QFileInfo(found).absolutePath();
    if (holdsCatalogue(installedFolder))
        return installedFolder;
    return startDirectory;
}
