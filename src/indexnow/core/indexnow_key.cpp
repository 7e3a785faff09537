#include "indexnow/core/indexnow_key.h"

#include "catalogue/core/engine_selection.h"

#include <QRandomGenerator>
#include <array>

using namespace Qt::StringLiterals;

namespace {

bool isKeyCharacter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'-';
}

// A character as the user can recognise it in a message.
QString describeCharacter(char32_t c) {
    if (c == U' ')
        return u"a space"_s;
    if (QChar::isPrint(c))
        return u'"' + QString::fromUcs4(&c, 1) + u'"';
    return u"the invisible character U+"_s + u"%1"_s.arg(quint32(c), 4, 16, QChar(u'0')).toUpper();
}

} // namespace

QString indexNowKeyProblem(const QString& key) {
    const QString allowed = u"letters a-z and A-Z, digits and \"-\""_s;
    if (key.isEmpty())
        return u"The key is empty: type 8 to 128 characters (%1), or generate one."_s.arg(allowed);
    for (qsizetype i = 0; i < key.size(); ++i) {
        if (!isKeyCharacter(key[i])) {
            const char32_t c = key[i].isHighSurrogate() && i + 1 < key.size() && key[i + 1].isLowSurrogate()
                                   ? QChar::surrogateToUcs4(key[i], key[i + 1])
                                   : key[i].unicode();
            return u"The key holds %1, at position %2: a key may hold only %3."_s.arg(describeCharacter(c),
                                                                                      QString::number(i + 1), allowed);
        }
    }
    if (key.size() < kIndexNowKeyMinLength)
        return u"The key is too short: it has %1 characters and needs at least %2."_s.arg(
            QString::number(key.size()), QString::number(kIndexNowKeyMinLength));
    if (key.size() > kIndexNowKeyMaxLength)
        return u"The key is too long: it has %1 characters and may have at most %2."_s.arg(
            QString::number(key.size()), QString::number(kIndexNowKeyMaxLength));
    return {};
}

QString generateIndexNowKey() {
    std::array<quint32, 4> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    QString key;
    key.reserve(32);
    for (const quint32 word : words)
        key += u"%1"_s.arg(word, 8, 16, QChar(u'0'));
    return key;
}

QString indexNowKeyFileName(const QString& key) {
    return key + u".txt"_s;
}

QByteArray indexNowKeyFileBytes(const QString& key) {
    return key.toUtf8();
}

KeyFileAddress indexNowKeyFileAddress(const QString& siteUrl, const QString& key) {
    const QUrl site(siteUrl.trimmed(), QUrl::TolerantMode);
    if (!site.isValid() || (site.scheme() != "http"_L1 && site.scheme() != "https"_L1) || site.host().isEmpty()) {
        return {{},
                u"The Site URL (\"%1\") is not a web address starting with http:// or https://, so the key "
                u"file's address is unknown."_s.arg(siteUrl.trimmed())};
    }
    QUrl address;
    address.setScheme(site.scheme());
    address.setHost(site.host());
    address.setPort(site.port());
    address.setPath(u'/' + indexNowKeyFileName(key));
    return {address, {}};
}

bool takesIndexNowKey(const Engine_Data& engine) {
    return engine.Option >= 1 && engine.Option_Title[0] == kIndexNowKeyOptionTitle;
}

QString indexNowKeyInUse(const Engine_Type& catalogue, const QStringList& currentList) {
    for (const QString& line : currentList) {
        const int index = catalogue.indexOfTitle(line);
        if (index >= 0 && takesIndexNowKey(catalogue.Items[index]))
            return catalogue.Items[index].Option1;
    }
    return {};
}

int applyIndexNowKey(Engine_Type& catalogue, const QString& key) {
    int changed = 0;
    for (Engine_Data& engine : catalogue.Items) {
        if (!takesIndexNowKey(engine))
            continue;
        const QString option = engine.Option1;
        const QString value = engine.OptVal1;
        chooseOption(engine, 1, key, -1);
        if (engine.Option1 != option || engine.OptVal1 != value)
            ++changed;
    }
    return changed;
}
