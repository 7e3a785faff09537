#include "catalogue/core/engine_catalogue.h"

#include "platform/ini_file.h"
#include "platform/text_codec.h"

#include <QDir>
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

// Reads the engine's own section. Every key read here must be named in
// engineSectionsSelection(), which decides what is kept of the file.
void readEngineSection(const IniFile& file, IniFile::Section section, Engine_Data& engine) {
    engine.Url = file.readText(section, "Url");
    engine.Shares = file.readText(section, "Shares");

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

IniFile::Section engineTable(const IniFile& file) {
    return file.section("Engine");
}

qint32 engineCount(const IniFile& table) {
    return std::clamp(table.readInteger(engineTable(table), "Amount", 0), 0, kMaxEngines);
}

QByteArray titleBytes(const IniFile& table, int number) {
    return table.readBytes(engineTable(table), KeyName("Title", number));
}

// The section "Engine" with "Amount" and every title the table can hold. (Built for each
// reading, which costs microseconds, so that a reading left to finish while the program exits
// uses nothing that exit destroys.)
IniFile::Selection engineTableSelection() {
    IniFile::Selection selection{{QByteArrayLiteral("Engine")}, {QByteArrayLiteral("Amount")}};
    selection.keys.reserve(kMaxEngines + 1);
    for (int i = 1; i <= kMaxEngines; ++i)
        selection.keys.append(QByteArrayView(KeyName("Title", i)).toByteArray());
    return selection;
}

// The sections of the titles the table lists, with every key an engine section can hold (all
// that readEngineSection() reads; a key missing here reads as missing).
IniFile::Selection engineSectionsSelection(const IniFile& table) {
    IniFile::Selection selection{
        {},
        {QByteArrayLiteral("Url"), QByteArrayLiteral("Shares"), QByteArrayLiteral("var"), QByteArrayLiteral("Option")}};
    const auto add = [&](const KeyName& name) {
        selection.keys.append(QByteArrayView(name).toByteArray());
    };
    for (int j = 1; j <= kMaxVariables; ++j) {
        add(KeyName("var", j));
        add(KeyName("var_value", j));
    }
    for (int list = 1; list <= kMaxOptionLists; ++list) {
        for (const char* stem : {"Error", "Option_Title", "Item", "Value"})
            add(KeyName(stem, list));
        for (int m = 1; m <= kMaxChoices; ++m) {
            add(KeyName("Item", list, m));
            add(KeyName("Value", list, m));
        }
    }
    const qint32 count = engineCount(table);
    selection.sections.reserve(count);
    for (int i = 1; i <= count; ++i)
        selection.sections.append(titleBytes(table, i));
    return selection;
}

// The catalogue from the table (section "Engine") and the engines' sections, which may be one
// and the same file.
Engine_Type readCatalogue(const IniFile& table, const IniFile& sections) {
    Engine_Type catalogue;
    catalogue.Count = engineCount(table);
    catalogue.Items.resize(catalogue.Count);
    for (int i = 1; i <= catalogue.Count; ++i) {
        Engine_Data& engine = catalogue.Items[i - 1];
        // The section is looked up by the title's own bytes, so a title in an older 8-bit file
        // still finds its section.
        const QByteArray title = titleBytes(table, i);
        engine.Title = decodeFileText(title);
        readEngineSection(sections, sections.section(title), engine);
    }
    return catalogue;
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
    const IniFile table = file.select(engineTableSelection());
    return readCatalogue(table, file.select(engineSectionsSelection(table)));
}

Engine_Type ReadEngineFile(const QString& startDirectory, std::stop_token stop) {
    return ReadEngineFileAt(startDirectory + QStringLiteral("/Engine.dat"), nullptr, std::move(stop));
}

Engine_Type ReadEngineFileAt(const QString& path, QString* error, std::stop_token stop) {
    // The table is read first, so that of the engines' sections only those it names are kept:
    // a file of millions of sections costs no more memory than its bytes.
    const IniFile table = IniFile::load(path, engineTableSelection(), stop);
    QString problem = table.loadError();
    if (problem.isEmpty() && !QFileInfo::exists(path))
        problem = QStringLiteral("The catalogue %1 does not exist")
                      .arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return {};
    }
    const IniFile sections = table.select(engineSectionsSelection(table), stop);
    if (!sections.loadError().isEmpty()) {
        if (error)
            *error = sections.loadError();
        return {};
    }
    return readCatalogue(table, sections);
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
