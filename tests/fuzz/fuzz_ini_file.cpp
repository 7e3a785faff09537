// The INI key/value service on arbitrary bytes, checked against a plain reference reader that
// follows the rules in platform/ini_file.h line by line.
//
// Input: the file's bytes, then (after a "\" followed by any byte but "\"; "\\" stands for one
// "\") a script of writes. Properties:
//   - every look-up (section handle, readBytes, readText by bytes and by text, readInteger,
//     hasSection, hasKey) of every section and key of the file, in other letter cases and
//     with blanks added, gives what the reference reader gives;
//   - toBytes() gives the input back byte for byte;
//   - a write the service refuses breaks one of its documented rules and changes nothing; a
//     write it accepts reads back as the reading rules make of "key=value" (exactly the value
//     when it has no blanks at its ends, no enclosing quotes and at most kMaxValueBytes bytes);
//   - after the writes, every key not written still reads as before, and toBytes() read again
//     by the service and by the reference reader gives the same look-ups as the file in memory.

#include "fuzz_support.h"

#include "platform/ini_file.h"
#include "platform/text_codec.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Bytes = std::string;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

Bytes folded(std::string_view name) {
    Bytes out(name);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + ('a' - 'A'));
    }
    return out;
}

QByteArray toQt(std::string_view bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// The reference reader: what each reachable key of the file holds.
struct ReferenceFile {
    struct Section {
        Bytes name;
        std::map<Bytes, Bytes> values; // folded key → trimmed value, quotes still on
        std::vector<Bytes> keys;       // key names as the file spells them
    };
    std::vector<Section> sections;
    std::map<Bytes, size_t> sectionByName; // folded name → index

    explicit ReferenceFile(std::string_view text) {
        if (text.starts_with("\xEF\xBB\xBF"))
            text.remove_prefix(3);
        Section* current = nullptr;
        while (!text.empty()) {
            const size_t end = std::min(text.find('\n'), text.find('\r'));
            const std::string_view line = trimmed(text.substr(0, end));
            size_t next = text.size();
            if (end != std::string_view::npos)
                next = text.compare(end, 2, "\r\n") == 0 ? end + 2 : end + 1;
            text.remove_prefix(next);

            if (line.empty() || line.front() == ';')
                continue;
            if (line.front() == '[') {
                const std::string_view name = trimmed(line.substr(1, line.find(']', 1) - 1));
                current = nullptr;
                if (!name.empty() && !sectionByName.contains(folded(name))) {
                    sectionByName[folded(name)] = sections.size();
                    current = &sections.emplace_back(Section{Bytes(name), {}, {}});
                }
                continue;
            }
            const size_t equals = line.find('=');
            if (equals == std::string_view::npos || current == nullptr)
                continue;
            const std::string_view key = trimmed(line.substr(0, equals));
            if (!key.empty() && current->values.emplace(folded(key), trimmed(line.substr(equals + 1))).second)
                current->keys.emplace_back(key);
        }
    }

    const Section* section(std::string_view name) const {
        const auto found = sectionByName.find(folded(name));
        return name.empty() || found == sectionByName.end() ? nullptr : &sections[found->second];
    }

    std::optional<Bytes> rawValue(std::string_view sectionName, std::string_view key) const {
        const Section* s = section(sectionName);
        if (s == nullptr || key.empty())
            return std::nullopt;
        const auto found = s->values.find(folded(key));
        return found == s->values.end() ? std::nullopt : std::optional<Bytes>(found->second);
    }
};

// A raw value as the service hands it out: one pair of enclosing quotes off, cut to
// kMaxValueBytes on a character boundary.
QByteArray presented(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.front() == value.back())
        value = value.substr(1, value.size() - 2);
    return cutOnCharacterBoundary(toQt(value), IniFile::kMaxValueBytes).toByteArray();
}

std::optional<qint32> integerOf(const QByteArray& presentedValue) {
    std::string_view text =
        trimmed(std::string_view(presentedValue.constData(), static_cast<size_t>(presentedValue.size())));
    int base = 10;
    bool negative = false;
    if (text.starts_with("0x") || text.starts_with("0X") || text.starts_with('$')) {
        base = 16;
        text.remove_prefix(text.front() == '$' ? 1 : 2);
    } else if (text.starts_with('+') || text.starts_with('-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() == '-' || text.front() == '+')
        return std::nullopt;
    qint64 magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    const qint64 value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<qint32>(value);
}

// How many ways a look-up is made: every call that reads a value, or (for the variants of a name
// already looked up every way) the byte calls only.
enum class Ways { Every, Bytes };

// Compares one look-up of the service with the reference reader.
void checkLookUp(const IniFile& file, const ReferenceFile& reference, const QByteArray& section, const QByteArray& key,
                 Ways ways = Ways::Every) {
    const std::string_view s(section.constData(), static_cast<size_t>(section.size()));
    const std::string_view k(key.constData(), static_cast<size_t>(key.size()));
    const std::optional<Bytes> raw = reference.rawValue(s, k);
    const QByteArray expected = raw ? presented(*raw) : QByteArray();
    FUZZ_CHECK_EQ(file.hasKey(section, key), raw.has_value());
    FUZZ_CHECK_EQ(file.readBytes(section, key), expected);
    if (ways == Ways::Bytes)
        return;

    constexpr qint32 kDefault = -0x5EED;
    FUZZ_CHECK_EQ(file.hasSection(section), reference.section(s) != nullptr);
    FUZZ_CHECK_EQ(file.section(section).exists(), reference.section(s) != nullptr);
    FUZZ_CHECK_EQ(file.readBytes(file.section(section), key), expected);
    const QString text = decodeFileText(expected);
    FUZZ_CHECK_EQ(file.readText(section, key), text);
    FUZZ_CHECK_EQ(file.readText(file.section(section), key), text);
    const qint32 integer = integerOf(expected).value_or(kDefault);
    FUZZ_CHECK_EQ(file.readInteger(section, key, kDefault), integer);
    FUZZ_CHECK_EQ(file.readInteger(file.section(section), key, kDefault), integer);
    // Names given as text are looked up by their UTF-8 bytes.
    if (isValidUtf8(section) && isValidUtf8(key)) {
        const QString sectionText = decodeFileText(section);
        const QString keyText = decodeFileText(key);
        FUZZ_CHECK_EQ(file.readText(sectionText, keyText), text);
        FUZZ_CHECK_EQ(file.readInteger(sectionText, keyText, kDefault), integer);
    }
}

// Looks up the sections and keys the reference reader found, as spelled and in other forms.
void checkAllLookUps(const IniFile& file, const ReferenceFile& reference) {
    constexpr int kMaxNames = 128; // keeps a file of many short lines fast
    int checked = 0;
    for (const ReferenceFile::Section& section : reference.sections) {
        const QByteArray name = toQt(section.name);
        const QByteArray firstKey = toQt(section.keys.empty() ? Bytes("k") : section.keys.front());
        checkLookUp(file, reference, name, "Missing-Key");
        checkLookUp(file, reference, ' ' + name, firstKey, Ways::Bytes);
        checkLookUp(file, reference, name.chopped(1), firstKey, Ways::Bytes);
        for (const Bytes& keyName : section.keys) {
            if (++checked > kMaxNames)
                return;
            const QByteArray key = toQt(keyName);
            checkLookUp(file, reference, name, key);
            checkLookUp(file, reference, fuzz::withCaseChanged(name, 0x9E3779B97F4A7C15ull * key.size()),
                        fuzz::withCaseChanged(key, ~0ull), Ways::Bytes);
            checkLookUp(file, reference, name, key + '\t', Ways::Bytes);
        }
        if (++checked > kMaxNames)
            return;
    }
    checkLookUp(file, reference, {}, {});
    checkLookUp(file, reference, "Engine", "Amount");
}

// Whether a write breaks one of the rules by which the service refuses it.
bool writeBreaksRules(const QByteArray& section, const QByteArray& key, const QByteArray& value) {
    const auto hasLineBreak = [](const QByteArray& text) {
        return text.contains('\r') || text.contains('\n');
    };
    const auto hasOuterBlank = [](const QByteArray& text) {
        return isBlank(text.front()) || isBlank(text.back());
    };
    return section.isEmpty() || section.contains(']') || hasLineBreak(section) || hasOuterBlank(section) ||
           key.isEmpty() || key.startsWith(';') || key.startsWith('[') || key.contains('=') || hasLineBreak(key) ||
           hasOuterBlank(key) || hasLineBreak(value);
}

// A name for a write: one of the file's own (in another letter case) or new bytes.
QByteArray nameToWrite(FuzzedDataProvider& input, const std::vector<Bytes>& known) {
    const auto choice = input.ConsumeIntegral<quint8>();
    if (!known.empty() && choice < 192)
        return fuzz::withCaseChanged(toQt(known[choice % known.size()]), input.ConsumeIntegral<quint64>());
    return fuzz::takeBytes(input, 48);
}

// A partial read of every other section and key name answers for them exactly as the whole file
// does, finds nothing else, and still gives the file's bytes.
void checkSelection(const IniFile& file, const ReferenceFile& reference, const QByteArray& bytes) {
    IniFile::Selection only;
    std::vector<Bytes> sections;
    std::vector<Bytes> keys;
    for (size_t s = 0; s < reference.sections.size(); ++s) {
        const ReferenceFile::Section& section = reference.sections[s];
        if (s % 2 == 0) {
            only.sections.append(toQt(section.name));
            sections.push_back(folded(section.name));
        }
        for (size_t k = 0; k < section.keys.size(); k += 2) {
            only.keys.append(toQt(section.keys[k]));
            keys.push_back(folded(section.keys[k]));
        }
    }
    const IniFile part = file.select(only);
    FUZZ_CHECK_EQ(part.toBytes(), bytes);
    const auto selected = [](const std::vector<Bytes>& names, const Bytes& name) {
        return std::find(names.begin(), names.end(), folded(name)) != names.end();
    };
    for (const ReferenceFile::Section& section : reference.sections) {
        const bool sectionSelected = selected(sections, section.name);
        FUZZ_CHECK_EQ(part.hasSection(toQt(section.name)), sectionSelected && !section.name.empty());
        for (const Bytes& key : section.keys) {
            const bool keySelected = sectionSelected && selected(keys, key);
            FUZZ_CHECK_EQ(part.readBytes(toQt(section.name), toQt(key)),
                          keySelected ? file.readBytes(toQt(section.name), toQt(key)) : QByteArray());
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const QByteArray original = fuzz::takeBytes(input, size);
    const ReferenceFile before(std::string_view(original.constData(), static_cast<size_t>(original.size())));

    IniFile file = IniFile::fromBytes(original);
    FUZZ_CHECK(file.loadError().isEmpty());
    FUZZ_CHECK_EQ(file.toBytes(), original);
    checkAllLookUps(file, before);
    checkSelection(file, before, original);
    // A handle numbers a section of its own file only; another file reads it as missing.
    if (!before.sections.empty())
        FUZZ_CHECK(IniFile().readBytes(file.section(toQt(before.sections.back().name)), "k").isEmpty());

    std::vector<Bytes> sectionNames;
    std::vector<Bytes> keyNames;
    for (const ReferenceFile::Section& section : before.sections) {
        sectionNames.push_back(section.name);
        keyNames.insert(keyNames.end(), section.keys.begin(), section.keys.end());
    }
    std::map<std::pair<Bytes, Bytes>, QByteArray> written; // folded section and key → value read back
    for (int n = 0; n < 32 && input.remaining_bytes() > 0; ++n) {
        const QByteArray section = nameToWrite(input, sectionNames);
        const QByteArray key = nameToWrite(input, keyNames);
        const QByteArray value = fuzz::takeBytes(input, 3000);
        const QByteArray bytesBefore = file.toBytes();
        const bool refused = !file.writeBytes(section, key, value).isEmpty();
        FUZZ_CHECK_EQ(refused, writeBreaksRules(section, key, value));
        if (refused) {
            FUZZ_CHECK_EQ(file.toBytes(), bytesBefore);
            continue;
        }
        const QByteArray expected = presented(trimmed(std::string_view(value.constData(), value.size())));
        FUZZ_CHECK_EQ(file.readBytes(section, key), expected);
        written[{folded(section.toStdString()), folded(key.toStdString())}] = expected;
        sectionNames.push_back(section.toStdString());
        keyNames.push_back(key.toStdString());
    }
    if (written.empty())
        return 0;

    const QByteArray saved = file.toBytes();
    const ReferenceFile after(std::string_view(saved.constData(), static_cast<size_t>(saved.size())));
    for (const auto& [names, value] : written) {
        const std::optional<Bytes> raw = after.rawValue(names.first, names.second);
        FUZZ_CHECK(raw.has_value());
        FUZZ_CHECK_EQ(presented(*raw), value);
    }
    for (const ReferenceFile::Section& section : before.sections) {
        for (const Bytes& key : section.keys) {
            if (!written.contains({folded(section.name), folded(key)}))
                FUZZ_CHECK_EQ(toQt(after.rawValue(section.name, key).value_or("<missing>")),
                              toQt(*before.rawValue(section.name, key)));
        }
    }
    checkAllLookUps(file, after);
    const IniFile reread = IniFile::fromBytes(saved);
    checkAllLookUps(reread, after);
    FUZZ_CHECK_EQ(reread.toBytes(), saved);
    return 0;
}
