#include "announce/core/announce_batch.h"

#include "platform/json_text.h"

#include <QUrl>

using namespace Qt::StringLiterals;

QList<AnnounceBatch> makeBatches(const QList<HostGroup>& groups, qsizetype maxPerBatch) {
    QList<AnnounceBatch> batches;
    maxPerBatch = std::max<qsizetype>(maxPerBatch, 1);
    for (const HostGroup& group : groups) {
        const qsizetype count = group.addresses.size();
        if (count <= maxPerBatch) { // the common case shares the list, without a copy
            if (count > 0)
                batches.append({group.host, group.addresses});
            continue;
        }
        for (qsizetype start = 0; start < count; start += maxPerBatch)
            batches.append({group.host, group.addresses.mid(start, maxPerBatch)});
    }
    return batches;
}

bool keyFileAtRoot(const QString& keyLocation, const QString& host, const QString& key) {
    if (keyLocation.trimmed().isEmpty())
        return true;
    const QUrl url(keyLocation.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == "http"_L1 || scheme == "https"_L1) && url.port() == -1 &&
           url.host(QUrl::FullyEncoded).compare(host, Qt::CaseInsensitive) == 0 &&
           url.path() == u'/' + key + ".txt"_L1 && !url.hasQuery() && !url.hasFragment() && url.userInfo().isEmpty();
}

QByteArray indexNowBody(const QString& host, const QString& key, const QString& keyLocation,
                        const QStringList& addresses) {
    QByteArray body;
    qsizetype size = 64 + host.size() + key.size() + keyLocation.size();
    for (const QString& address : addresses)
        size += address.size() + 3;
    body.reserve(size);
    body.append("{\"host\":");
    appendJsonString(body, host);
    body.append(",\"key\":");
    appendJsonString(body, key);
    if (!keyFileAtRoot(keyLocation, host, key)) {
        body.append(",\"keyLocation\":");
        appendJsonString(body, keyLocation.trimmed());
    }
    body.append(",\"urlList\":[");
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        if (i > 0)
            body.append(',');
        appendJsonString(body, addresses[i]);
    }
    body.append("]}");
    return body;
}
