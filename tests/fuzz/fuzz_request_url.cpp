// The request URL builder: for any user data, the query of a built URL, split and decoded as a
// server reads a GET form, gives back exactly the catalogue's field names and, for each field,
// exactly the user's value (placeholders) or the catalogue's literal.
//
// Input: the profile's fields, the local addresses, then up to four engines (Url, field count,
// field names, value texts: placeholders in any letter case or literals, OptVal1, OptVal2).
// Field names and literals are sent as the catalogue writes them (its authors may have encoded
// them already), so the property is only defined when they hold no "&", "=" or "#": the
// generator leaves those three characters out of them, and they are compared as written, not
// decoded. User data holds any character. The Url holds any character too; the query is what
// follows the Url and the "?" the builder adds.
//
// Also: GetVarData gives each field's value before encoding and nothing out of range; the
// local addresses are looked up at most once per builder, and not at all unless a field asks
// for them; the Test listing's URL is the first engine of that title's.

#include "fuzz_support.h"

#include "catalogue/core/engine_catalogue.h"
#include "profile/core/profile_snapshot.h"
#include "submit/core/request_builder.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <optional>

namespace {

QString withoutFieldSeparators(QString text) {
    return text.remove(u'&').remove(u'=').remove(u'#');
}

// The placeholder number a value text stands for (its upper-cased text is "VAR1" … "VAR30"),
// or 0.
int placeholderOf(const QString& valueText) {
    // Anchored to the whole text: "$" would also match before a final line break ("VAR30\n").
    static const QRegularExpression placeholder(
        QRegularExpression::anchoredPattern(QStringLiteral("VAR([1-9]|[12][0-9]|30)")));
    const QRegularExpressionMatch match = placeholder.match(valueText.toUpper());
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

QString valueTextFor(FuzzedDataProvider& input) {
    if (input.ConsumeBool()) {
        // A placeholder in any letter case, sometimes misspelt: a leading zero, a blank, a number
        // past 30.
        QByteArray text = "VAR" + QByteArray::number(input.ConsumeIntegralInRange(0, 32));
        text = fuzz::withCaseChanged(text, input.ConsumeIntegral<quint8>());
        switch (input.ConsumeIntegralInRange(0, 7)) {
        case 0:
            text.insert(3, '0');
            break;
        case 1:
            text.prepend(' ');
            break;
        default:
            break;
        }
        return QString::fromLatin1(text);
    }
    return withoutFieldSeparators(fuzz::takeText(input, 64));
}

QString optionValueFor(FuzzedDataProvider& input) {
    if (input.ConsumeIntegralInRange(0, 3) == 0)
        return QString::fromLatin1(fuzz::withCaseChanged("N/A", input.ConsumeIntegral<quint8>()));
    return fuzz::takeText(input, 64);
}

Engine_Data engineFor(FuzzedDataProvider& input) {
    Engine_Data engine;
    engine.Title = fuzz::takeText(input, 16);
    engine.Url = fuzz::takeText(input, 64);
    engine.Variable.Count = input.ConsumeIntegralInRange(-2, kMaxVariables + 2);
    const int names = input.ConsumeIntegralInRange(0, kMaxVariables + 2);
    const int values = input.ConsumeIntegralInRange(0, kMaxVariables + 2);
    for (int j = 0; j < names; ++j)
        engine.Variable.Names.append(withoutFieldSeparators(fuzz::takeText(input, 32)));
    for (int j = 0; j < values; ++j)
        engine.Variable.Values.append(valueTextFor(input));
    engine.OptVal1 = optionValueFor(input);
    engine.OptVal2 = optionValueFor(input);
    return engine;
}

// A value as a server reads it from a form: "+" is a blank, %XX a byte, the bytes UTF-8.
// Nothing else may appear: any other character would be read differently by some server.
std::optional<QString> decodedFormValue(QStringView encoded) {
    QByteArray bytes;
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        const char16_t c = encoded[i].unicode();
        const auto isUpperHex = [](char16_t h) {
            return (h >= u'0' && h <= u'9') || (h >= u'A' && h <= u'F');
        };
        if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-' ||
            c == u'.' || c == u'_' || c == u'*') {
            bytes += static_cast<char>(c);
        } else if (c == u'+') {
            bytes += ' ';
        } else if (c == u'%' && i + 2 < encoded.size() && isUpperHex(encoded[i + 1].unicode()) &&
                   isUpperHex(encoded[i + 2].unicode())) {
            bytes += static_cast<char>(encoded.sliced(i + 1, 2).toString().toInt(nullptr, 16));
            i += 2;
        } else {
            return std::nullopt;
        }
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return std::nullopt;
    return text;
}

// The user's value a placeholder stands for.
QString userValue(const ProfileSnapshot& snapshot, const Engine_Data& engine, const QStringList& addresses, int n) {
    const auto option = [](const QString& value) {
        return value.toUpper() == QStringLiteral("N/A") ? QString() : value;
    };
    if (n == 28)
        return option(engine.OptVal1);
    if (n == 29)
        return option(engine.OptVal2);
    if (n == 30)
        return addresses.isEmpty() ? QString() : addresses.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    return snapshot.value(n);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    ProfileFields fields;
    for (QString* value : fuzz::profileValues(fields))
        *value = fuzz::takeText(input, 96);
    const ProfileSnapshot snapshot = ReadData(fields);
    QStringList addresses;
    for (int n = input.ConsumeIntegralInRange(0, 3); n > 0; --n)
        addresses.append(fuzz::takeText(input, 24));

    Engine_Type catalogue;
    for (int n = input.ConsumeIntegralInRange(1, 4); n > 0; --n)
        catalogue.Items.append(engineFor(input));
    catalogue.Count = static_cast<qint32>(catalogue.Items.size());

    int lookUps = 0;
    RequestBuilder builder(catalogue, snapshot, [&] {
        ++lookUps;
        return addresses;
    });
    bool addressesUsed = false;
    for (int i = 0; i < catalogue.Count; ++i) {
        const Engine_Data& engine = catalogue.Items[i];
        const QString url = builder.requestUrl(i);
        FUZZ_CHECK(url.startsWith(engine.Url + u'?'));
        const QString query = url.sliced(engine.Url.size() + 1);
        const qsizetype present = std::min(engine.Variable.Names.size(), engine.Variable.Values.size());
        const int count = static_cast<int>(std::clamp<qsizetype>(engine.Variable.Count, 0, present));
        if (count == 0)
            FUZZ_CHECK_EQ(query, QStringLiteral("="));

        const QStringList pairs = count == 0 ? QStringList() : query.split(u'&');
        FUZZ_CHECK_EQ(pairs.size(), count);
        for (int j = 0; j < count; ++j) {
            const qsizetype equals = pairs[j].indexOf(u'=');
            FUZZ_CHECK(equals >= 0);
            FUZZ_CHECK_EQ(pairs[j].first(equals), engine.Variable.Names[j]);
            const QString sent = pairs[j].sliced(equals + 1);
            const QString& valueText = engine.Variable.Values[j];
            const int n = placeholderOf(valueText);
            addressesUsed = addressesUsed || n == 30;
            const QString expected = n == 0 ? valueText : userValue(snapshot, engine, addresses, n);
            if (n == 0) {
                FUZZ_CHECK_EQ(sent, valueText);
            } else {
                const std::optional<QString> decoded = decodedFormValue(sent);
                FUZZ_CHECK(decoded.has_value());
                FUZZ_CHECK_EQ(*decoded, expected);
            }
            FUZZ_CHECK_EQ(builder.GetVarData(i, j), expected);
        }
        FUZZ_CHECK(builder.GetVarData(i, count).isEmpty() && builder.GetVarData(i, -1).isEmpty());

        const int first = catalogue.indexOfTitle(engine.Title);
        FUZZ_CHECK_EQ(builder.requestUrlForLine(engine.Title), builder.requestUrl(first));
    }
    FUZZ_CHECK(builder.requestUrl(-1).isEmpty() && builder.requestUrl(catalogue.Count).isEmpty());
    FUZZ_CHECK(builder.GetVarData(catalogue.Count, 0).isEmpty());
    FUZZ_CHECK(builder.requestUrlForLine(std::nullopt).isEmpty());
    FUZZ_CHECK_EQ(lookUps, addressesUsed ? 1 : 0);
    return 0;
}
