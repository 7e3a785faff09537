#include "google/core/google_api.h"

#include <QHostAddress>

using namespace Qt::StringLiterals;

namespace {

QString standIn() {
    QString base = qEnvironmentVariable(kGoogleApiEnvironment).trimmed();
    while (base.endsWith(u'/'))
        base.chop(1);
    return base;
}

bool isLoopback(const QString& host) {
    if (host.compare("localhost"_L1, Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

// A URL-prefix property's address in one form: scheme and host in lower case, a path of at least "/".
QString normalPrefix(const QUrl& url) {
    QUrl normal = url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment);
    if (normal.path().isEmpty())
        normal.setPath(u"/"_s);
    normal.setScheme(normal.scheme().toLower());
    normal.setHost(normal.host().toLower());
    return normal.toString(QUrl::FullyEncoded);
}

QUrl apiAddress(const QString& base, const QByteArray& path) {
    // One QByteArray: Qt 6.8 takes a QByteArrayView here, which a string builder does not convert to.
    return QUrl::fromEncoded(QByteArray(base.toUtf8() + path), QUrl::StrictMode);
}

} // namespace

QString webmastersApiBase() {
    const QString base = standIn();
    return base.isEmpty() ? u"https://www.googleapis.com"_s : base;
}

QString searchConsoleApiBase() {
    const QString base = standIn();
    return base.isEmpty() ? u"https://searchconsole.googleapis.com"_s : base;
}

bool isAllowedGoogleAddress(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (url.scheme() == "https"_L1)
        return true;
    return url.scheme() == "http"_L1 && !standIn().isEmpty() && isLoopback(url.host());
}

QByteArray encodedPathPart(const QString& text) {
    return text.toUtf8().toPercentEncoding();
}

QUrl sitesAddress() {
    return apiAddress(webmastersApiBase(), "/webmasters/v3/sites");
}

QUrl sitemapsAddress(const QString& property) {
    return apiAddress(webmastersApiBase(), "/webmasters/v3/sites/" + encodedPathPart(property) + "/sitemaps");
}

QUrl sitemapAddress(const QString& property, const QString& feed) {
    return apiAddress(webmastersApiBase(),
                      "/webmasters/v3/sites/" + encodedPathPart(property) + "/sitemaps/" + encodedPathPart(feed));
}

QUrl inspectionAddress() {
    return apiAddress(searchConsoleApiBase(), "/v1/urlInspection/index:inspect");
}

QString matchingProperty(const QStringList& properties, const QUrl& siteUrl) {
    if (!siteUrl.isValid() || siteUrl.host().isEmpty())
        return {};
    const QString prefix = normalPrefix(siteUrl);
    for (const QString& property : properties) {
        if (!property.startsWith("sc-domain:"_L1) && normalPrefix(QUrl(property)) == prefix)
            return property;
    }
    QString host = siteUrl.host().toLower();
    for (int attempt = 0; attempt < 2; ++attempt) {
        for (const QString& property : properties) {
            if (property.compare("sc-domain:"_L1 + host, Qt::CaseInsensitive) == 0)
                return property;
        }
        if (!host.startsWith("www."_L1))
            break;
        host = host.mid(4);
    }
    return {};
}

bool propertyCovers(const QString& property, const QUrl& page) {
    const QString host = page.host().toLower();
    if (property.startsWith("sc-domain:"_L1)) {
        const QString domain = property.mid(10).toLower();
        return host == domain || host.endsWith(u'.' + domain);
    }
    const QUrl prefix(property);
    if (prefix.scheme().compare(page.scheme(), Qt::CaseInsensitive) != 0 || prefix.host().toLower() != host ||
        prefix.port() != page.port())
        return false;
    const QString path = prefix.path().isEmpty() ? u"/"_s : prefix.path();
    const QString pagePath = page.path().isEmpty() ? u"/"_s : page.path();
    return pagePath.startsWith(path);
}
