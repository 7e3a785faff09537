#include "google/core/search_console_answers.h"

#include "platform/text_codec.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace {

QDateTime timeOf(const QJsonValue& value) {
    QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    return time.isValid() ? time.toUTC() : QDateTime();
}

QString timeText(const QDateTime& time) {
    return time.toUTC().toString(u"yyyy-MM-dd HH:mm 'UTC'"_s);
}

// Google sends counts as JSON strings ("12") in some answers and as numbers in others.
qint64 countOf(const QJsonValue& value) {
    return value.isString() ? value.toString().toLongLong() : value.toInteger();
}

QString plural(qint64 count, const QString& one, const QString& many) {
    return u"%1 %2"_s.arg(QString::number(count), count == 1 ? one : many);
}

// True when the error answer's reasons include one of these words.
bool hasReason(const QByteArray& body, std::initializer_list<const char*> reasons) {
    for (const char* reason : reasons) {
        if (body.contains(reason))
            return true;
    }
    return false;
}

QString failureSentence(const FetchReply& reply) {
    const QString error = displayText(reply.errorText.isEmpty() ? u"no answer arrived"_s : reply.errorText);
    if (reply.failure == NetworkFailure::Timeout)
        return u"Google did not answer in time (%1): try again later."_s.arg(error);
    return u"Google could not be reached: %1 Check the connection and try again."_s.arg(
        error.endsWith(u'.') ? error : error + u'.');
}

} // namespace

QStringList PropertyList::siteUrls() const {
    QStringList urls;
    for (const GoogleProperty& property : properties)
        urls.append(property.siteUrl);
    return urls;
}

SitemapState SitemapState::fromJson(const QJsonObject& json) {
    SitemapState state;
    state.path = json.value("path"_L1).toString();
    state.lastSubmitted = timeOf(json.value("lastSubmitted"_L1));
    state.lastDownloaded = timeOf(json.value("lastDownloaded"_L1));
    state.isPending = json.value("isPending"_L1).toBool();
    state.isSitemapsIndex = json.value("isSitemapsIndex"_L1).toBool();
    state.errors = countOf(json.value("errors"_L1));
    state.warnings = countOf(json.value("warnings"_L1));
    for (const QJsonValue& content : json.value("contents"_L1).toArray()) {
        const QJsonObject object = content.toObject();
        state.contents.append({object.value("type"_L1).toString(), countOf(object.value("submitted"_L1)),
                               countOf(object.value("indexed"_L1))});
    }
    return state;
}

QString SitemapState::sentence() const {
    QStringList parts;
    if (!lastSubmitted.isNull())
        parts.append(u"submitted "_s + timeText(lastSubmitted));
    parts.append(lastDownloaded.isNull() ? u"not downloaded yet"_s : u"downloaded "_s + timeText(lastDownloaded));
    if (isPending)
        parts.append(u"processing pending"_s);
    parts.append(plural(errors, u"error"_s, u"errors"_s));
    parts.append(plural(warnings, u"warning"_s, u"warnings"_s));
    QString text = u"Google's state of %1%2: %3"_s.arg(
        displayText(path), isSitemapsIndex ? u" (a sitemap index)"_s : QString(), parts.join(u", "_s));
    QStringList counts;
    for (const SitemapTypeCount& content : contents)
        counts.append(u"%1: %2 submitted"_s.arg(displayText(content.type), QString::number(content.submitted)));
    if (!counts.isEmpty())
        text += u"; "_s + counts.join(u", "_s);
    return text + u'.';
}

void UrlInspection::readJson(const QJsonObject& answer) {
    const QJsonObject result = answer.value("inspectionResult"_L1).toObject();
    const QJsonObject status = result.value("indexStatusResult"_L1).toObject();
    inspectionLink = result.value("inspectionResultLink"_L1).toString();
    verdict = status.value("verdict"_L1).toString(u"VERDICT_UNSPECIFIED"_s);
    coverageState = status.value("coverageState"_L1).toString();
    indexingState = status.value("indexingState"_L1).toString();
    pageFetchState = status.value("pageFetchState"_L1).toString();
    robotsTxtState = status.value("robotsTxtState"_L1).toString();
    lastCrawlTime = timeOf(status.value("lastCrawlTime"_L1));
    googleCanonical = status.value("googleCanonical"_L1).toString();
    userCanonical = status.value("userCanonical"_L1).toString();
}

QString UrlInspection::line() const {
    const QString shownPage = displayText(page);
    if (!inspected())
        return u"%1\tnot inspected\t%2"_s.arg(shownPage, problem);
    QStringList parts{shownPage, indexed() ? u"indexed"_s : u"not indexed"_s,
                      displayText(coverageState.isEmpty() ? verdict : coverageState)};
    parts.append(lastCrawlTime.isNull() ? u"never crawled"_s : u"last crawl "_s + timeText(lastCrawlTime));
    if (!googleCanonical.isEmpty())
        parts.append(u"Google's canonical "_s + displayText(googleCanonical));
    return parts.join(u'\t');
}

QString googleErrorMessage(const QByteArray& body) {
    const QJsonObject error = QJsonDocument::fromJson(body).object().value("error"_L1).toObject();
    const QString message = error.value("message"_L1).toString();
    return message.isEmpty() ? QString() : displayText(message);
}

QString searchConsoleProblem(SearchConsoleCall call, const FetchReply& reply, const QString& account,
                             const QString& property, const QString& subject) {
    const int status = reply.httpStatus;
    if (status <= 0)
        return failureSentence(reply);
    if (status >= 200 && status < 300)
        return {};
    const QString message = googleErrorMessage(reply.body);
    const QString said = message.isEmpty() ? QString() : u" (Google said: %1)"_s.arg(message);
    const QString shownSubject = displayText(subject);
    const QString who = account.isEmpty() ? u"the account of the access token"_s : u"the account "_s + account;
    if (status == 429 || hasReason(reply.body, {"rateLimitExceeded", "quotaExceeded", "RESOURCE_EXHAUSTED"})) {
        const QString limits = call == SearchConsoleCall::Inspect
                                   ? u" URL inspection allows 600 a minute and 2 000 a day per property."_s
                                   : QString();
        return u"Google's quota for %1 is used up for now (HTTP %2)%3: wait a minute and try again.%4"_s.arg(
            property.isEmpty() ? u"this account"_s : property, QString::number(status), said, limits);
    }
    if (status == 401) {
        return u"Google refused the access token for %1 (HTTP 401) even after a new sign-in: connect again; if it "
               u"keeps happening, make a new key for the service account."_s.arg(who);
    }
    if (status == 403) {
        if (hasReason(reply.body, {"accessNotConfigured", "SERVICE_DISABLED", "has not been used"})) {
            return u"The Search Console API is not turned on for the Google Cloud project of %1%2: turn it on in "
                   u"Google Cloud under APIs & Services > Library, wait a few minutes and try again."_s.arg(who, said);
        }
        if (property.isEmpty())
            return u"Google refused %1 access to Search Console (HTTP 403)%2."_s.arg(who, said);
        QString sentence = u"%1 is not a user of %2: add it in Search Console under Settings > Users and "
                           u"permissions."_s.arg(who, property);
        sentence[0] = sentence[0].toUpper();
        return sentence;
    }
    if (status == 404) {
        switch (call) {
        case SearchConsoleCall::ReadSitemap:
            return u"Google does not have %1 for %2 (HTTP 404): submit it first."_s.arg(shownSubject, property);
        case SearchConsoleCall::SubmitSitemap:
            return u"Google did not find %1 for %2 (HTTP 404)%3: check that the property is right and that the "
                   u"sitemap's address belongs to it."_s.arg(shownSubject, property, said);
        case SearchConsoleCall::ListProperties:
            break;
        case SearchConsoleCall::ListSitemaps:
        case SearchConsoleCall::Inspect:
            return u"Google does not know the property %1 for %2 (HTTP 404): choose one of its properties."_s.arg(
                property, who);
        }
    }
    if (status == 400) {
        if (call == SearchConsoleCall::Inspect || call == SearchConsoleCall::SubmitSitemap) {
            return u"Google refused %1 (HTTP 400)%2: check that the address belongs to the property %3."_s.arg(
                shownSubject, said, property);
        }
        return u"Google refused the request as invalid (HTTP 400)%1."_s.arg(said);
    }
    if (status >= 500)
        return u"Google had a fault of its own (HTTP %1)%2: try again later."_s.arg(QString::number(status), said);
    return u"Google refused the request (HTTP %1)%2."_s.arg(QString::number(status), said);
}
