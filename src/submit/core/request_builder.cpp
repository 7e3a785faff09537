#include "submit/core/request_builder.h"

#include <QByteArray>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr int kPlaceholderCount = 30;

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Upper-cases an ASCII letter; leaves every other character as it is.
char16_t asciiUpper(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') ? static_cast<char16_t>(u - (u'a' - u'A')) : u;
}

// The variables an engine really has: Count, held to the entries present.
int variableCount(const Engine_Data& engine) {
    const qsizetype present = std::min(engine.Variable.Names.size(), engine.Variable.Values.size());
    return static_cast<int>(std::clamp<qsizetype>(engine.Variable.Count, 0, present));
}

QString optionValue(const QString& value) {
    return value.toUpper() == u"N/A"_s ? QString() : value;
}

bool keptInForm(uchar byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
           byte == '-' || byte == '.' || byte == '_' || byte == '*';
}

void appendFormEncoded(QString& out, QStringView text) {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    const QByteArray bytes = text.toUtf8();
    for (const char c : bytes) {
        const auto byte = static_cast<uchar>(c);
        if (keptInForm(byte)) {
            out += QLatin1Char(c);
        } else if (byte == ' ') {
            out += u'+';
        } else {
            out += u'%';
            out += QChar(kHex[byte >> 4]);
            out += QChar(kHex[byte & 0xF]);
        }
    }
}

} // namespace

int placeholderNumber(QStringView valueText) {
    // No character outside ASCII upper-cases to one of "VAR0123456789", so comparing ASCII
    // letters without regard to case is the same as comparing the upper-cased text.
    if (valueText.size() != 4 && valueText.size() != 5)
        return 0;
    if (asciiUpper(valueText[0]) != u'V' || asciiUpper(valueText[1]) != u'A' || asciiUpper(valueText[2]) != u'R')
        return 0;
    int n = 0;
    for (const QChar c : valueText.sliced(3)) {
        if (!isAsciiDigit(c))
            return 0;
        n = n * 10 + (c.unicode() - u'0');
    }
    // A leading zero ("VAR01") spells none of the thirty names.
    if (valueText[3] == u'0' || n > kPlaceholderCount)
        return 0;
    return n;
}

QString percentEncodeFormValue(QStringView text) {
    QString out;
    out.reserve(text.size());
    appendFormEncoded(out, text);
    return out;
}

RequestBuilder::RequestBuilder(const Engine_Type& engines, const ProfileSnapshot& snapshot,
                               LocalAddressLookup localAddresses)
    : engines_(engines), snapshot_(snapshot), lookUpLocalAddresses_(std::move(localAddresses)) {}

QString RequestBuilder::localAddressText() {
    if (!localAddressText_) {
        QString text;
        if (lookUpLocalAddresses_) {
            for (const QString& address : lookUpLocalAddresses_())
                text += address + u"\r\n"_s;
        }
        localAddressText_ = text;
    }
    return *localAddressText_;
}

QString RequestBuilder::placeholderValue(const Engine_Data& engine, int n) {
    switch (n) {
    case 28:
        return optionValue(engine.OptVal1);
    case 29:
        return optionValue(engine.OptVal2);
    case 30:
        return localAddressText();
    default:
        return snapshot_.value(n);
    }
}

QString RequestBuilder::GetVarData(int engineIndex, int variableIndex) {
    if (engineIndex < 0 || engineIndex >= engines_.Items.size())
        return {};
    const Engine_Data& engine = engines_.Items[engineIndex];
    if (variableIndex < 0 || variableIndex >= variableCount(engine))
        return {};
    const QString& valueText = engine.Variable.Values[variableIndex];
    const int n = placeholderNumber(valueText);
    return n == 0 ? valueText : placeholderValue(engine, n);
}

QString RequestBuilder::requestUrl(int engineIndex) {
    if (engineIndex < 0 || engineIndex >= engines_.Items.size())
        return {};
    const Engine_Data& engine = engines_.Items[engineIndex];
    const int count = variableCount(engine);

    QString url = engine.Url + u'?';
    if (count == 0)
        return url + u'=';
    for (int j = 0; j < count; ++j) {
        if (j > 0)
            url += u'&';
        url += engine.Variable.Names[j] + u'=';
        const QString& valueText = engine.Variable.Values[j];
        const int n = placeholderNumber(valueText);
        if (n == 0)
            url += valueText;
        else
            appendFormEncoded(url, placeholderValue(engine, n));
    }
    return url;
}

QString RequestBuilder::requestUrlForLine(const std::optional<QString>& line) {
    return line ? requestUrl(engines_.indexOfTitle(*line)) : QString();
}

void RequestBuilder::buildSubmissionList(const QStringList& currentLines, Submit_Type& list) {
    for (qsizetype k = 0; k < currentLines.size(); ++k) {
        const int engineIndex = engines_.indexOfTitle(currentLines[k]);
        if (engineIndex < 0)
            continue;
        list.Count = static_cast<qint32>(currentLines.size());
        if (list.Items.size() < currentLines.size())
            list.Items.resize(currentLines.size());
        list.Items[k].Title = engines_.Items[engineIndex].Title;
        list.Items[k].Url = requestUrl(engineIndex);
    }
}
