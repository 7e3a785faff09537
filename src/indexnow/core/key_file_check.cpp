#include "indexnow/core/key_file_check.h"

#include "indexnow/core/indexnow_key.h"

#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace {

// Up to kKeyFileShownCharacters of text, on one line.
QString shownText(const QByteArray& body) {
    QString text = QString::fromUtf8(body);
    if (text.size() > kKeyFileShownCharacters) {
        qsizetype cut = kKeyFileShownCharacters;
        if (text[cut - 1].isHighSurrogate())
            --cut;
        text.truncate(cut);
    }
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control)
            c = u' ';
    }
    return text;
}

} // namespace

QString KeyFileCheck::sentence() const {
    const QString address = url.toDisplayString();
    switch (outcome) {
    case Outcome::Found:
        return u"The key file %1 was found and holds the key."_s.arg(address);
    case Outcome::OtherText:
        return detail.isEmpty() ? u"The key file %1 was found but is empty."_s.arg(address)
                                : u"The key file %1 was found but holds something else: \"%2\""_s.arg(address, detail);
    case Outcome::NotFound:
        return u"The key file %1 was not found: the site answered with status %2."_s.arg(address,
                                                                                         QString::number(httpStatus));
    case Outcome::Unreachable:
        break;
    }
    const QString error = detail.endsWith(u'.') ? detail : detail + u'.';
    return u"The key file %1 could not be reached: %2"_s.arg(address, error);
}

QString keyFileCheckingSentence(const QUrl& url) {
    return u"The key file %1 is being checked."_s.arg(url.toDisplayString());
}

IndexNowRequestKey keyFileOfRequest(const QString& requestUrl) {
    // Request URLs are form-encoded: "+" stands for a blank, a "+" of the value is "%2B".
    QString query = QUrl::fromEncoded(requestUrl.toUtf8(), QUrl::TolerantMode).query(QUrl::FullyEncoded);
    query.replace(u'+', "%20"_L1);
    const QUrlQuery parameters(query);
    IndexNowRequestKey found;
    found.key = parameters.queryItemValue(u"key"_s, QUrl::FullyDecoded);
    if (found.key.isEmpty()) {
        found.problem = u"The key file could not be checked: the request sends no key."_s;
        return found;
    }
    if (parameters.hasQueryItem(u"keyLocation"_s)) {
        const QUrl location(parameters.queryItemValue(u"keyLocation"_s, QUrl::FullyDecoded), QUrl::StrictMode);
        if (location.isValid() && (location.scheme() == "http"_L1 || location.scheme() == "https"_L1) &&
            !location.host().isEmpty()) {
            found.keyFile = location;
        } else {
            found.problem = u"The key file could not be checked: the request's keyLocation is not a web address."_s;
        }
        return found;
    }
    const KeyFileAddress address =
        indexNowKeyFileAddress(parameters.queryItemValue(u"url"_s, QUrl::FullyDecoded), found.key);
    found.keyFile = address.url;
    if (!address.problem.isEmpty()) {
        found.problem =
            u"The key file could not be checked: the request's url parameter is not a web address starting with "
            u"http:// or https://."_s;
    }
    return found;
}

FetchRequest keyFileRequest(const QUrl& url, int timeoutMs) {
    FetchRequest request;
    request.url = url;
    request.timeoutMs = timeoutMs;
    request.maxRedirects = kKeyFileCheckMaxRedirects;
    request.sameHostRedirectsOnly = true;
    request.maxBodyBytes = kKeyFileCheckMaxBodyBytes;
    return request;
}

KeyFileCheck judgeKeyFile(const QUrl& url, const QString& key, const FetchReply& reply) {
    KeyFileCheck check;
    check.url = url;
    if (reply.failure != NetworkFailure::None || reply.httpStatus <= 0) {
        check.outcome = KeyFileCheck::Outcome::Unreachable;
        check.detail = reply.errorText.isEmpty() ? u"no answer arrived"_s : reply.errorText;
        return check;
    }
    check.httpStatus = reply.httpStatus;
    if (reply.httpStatus < 200 || reply.httpStatus > 299) {
        check.outcome = KeyFileCheck::Outcome::NotFound;
        return check;
    }
    QByteArray held = reply.body;
    if (held.startsWith("\xEF\xBB\xBF"))
        held.remove(0, 3);
    held = held.trimmed();
    if (!reply.bodyTooLarge && !key.isEmpty() && held == key.toUtf8()) {
        check.outcome = KeyFileCheck::Outcome::Found;
        return check;
    }
    check.outcome = KeyFileCheck::Outcome::OtherText;
    check.detail = shownText(reply.body);
    return check;
}

Fetcher::RequestId checkKeyFile(Fetcher& fetcher, const QUrl& url, const QString& key, QObject* receiver,
                                std::function<void(const KeyFileCheck&)> done, int timeoutMs) {
    return fetcher.fetch(
        keyFileRequest(url, timeoutMs), receiver,
        [url, key, done = std::move(done)](const FetchReply& reply) { done(judgeKeyFile(url, key, reply)); });
}
