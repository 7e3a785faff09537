#include "announce/core/announce_sender.h"

#include "catalogue/core/shared_groups.h"
#include "platform/browser.h"
#include "platform/clock.h"
#include "platform/text_codec.h"
#include "submit/core/answer_meaning.h"

#include <QHash>
#include <QLocale>
#include <QSet>
#include <QTimeZone>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

// An HTTP date: the IMF-fixdate form servers send ("Sun, 06 Nov 1994 08:49:37 GMT"), else
// any RFC 2822 date.
QDateTime parseHttpDate(const QByteArray& value) {
    const QString text = QString::fromLatin1(value).trimmed();
    QDateTime date = QLocale::c().toDateTime(text, u"ddd, dd MMM yyyy hh:mm:ss 'GMT'"_s);
    if (date.isValid())
        return QDateTime(date.date(), date.time(), QTimeZone::utc());
    return QDateTime::fromString(text, Qt::RFC2822Date);
}

// The reason a record gives: the answer body's first characters, blanks folded.
QString reasonText(const QByteArray& body) {
    const QString reason = QString::fromUtf8(body.left(PageAnswer::kTextLimit * 4)).simplified();
    return cutOnCharacter(reason, PageAnswer::kTextLimit).toString();
}

} // namespace

QList<AnnounceTarget> chooseTargets(const QList<AnnounceTarget>& targets, SharedEngines mode) {
    if (mode == SharedEngines::All)
        return targets;
    QList<AnnounceTarget> chosen;
    QSet<QString> groups;
    for (const AnnounceTarget& target : targets) {
        const QString group = sharesGroupKey(target.shares);
        if (!group.isEmpty()) {
            if (groups.contains(group))
                continue;
            groups.insert(group);
        }
        chosen.append(target);
    }
    return chosen;
}

QList<AnnounceRequest> planAnnouncement(const QList<AnnounceBatch>& batches, const QList<AnnounceTarget>& targets) {
    QList<AnnounceRequest> requests;
    requests.reserve(batches.size() * targets.size());
    for (const AnnounceBatch& batch : batches) {
        QHash<QPair<QString, QString>, QByteArray> bodies; // by key and key file
        for (const AnnounceTarget& target : targets) {
            // A key file proves only its own host: another host's batch relies on that host's
            // own key file at its root.
            const bool sameHost = QUrl(target.keyLocation).host().compare(batch.host, Qt::CaseInsensitive) == 0;
            const QString keyLocation = sameHost ? target.keyLocation : QString();
            QByteArray& body = bodies[{target.key, keyLocation}];
            if (body.isEmpty())
                body = indexNowBody(batch.host, target.key, keyLocation, batch.addresses);
            requests.append({target.title, target.url, body, static_cast<int>(batch.addresses.size()),
                             batch.addresses.value(0), batch.addresses.isEmpty() ? QString() : batch.addresses.back()});
        }
    }
    return requests;
}

QList<AnnounceRequest> requestsToResend(const QList<ResultRecord>& records) {
    QList<AnnounceRequest> requests;
    for (const ResultRecord& record : records) {
        if (record.batchSize > 0 && record.verdict != ResultRecord::Verdict::Ok && !record.batchBody.isEmpty())
            requests.append(
                {record.title, record.url, record.batchBody, record.batchSize, record.batchFirst, record.batchLast});
    }
    return requests;
}

qint64 retryAfterMilliseconds(const QByteArray& value, const QDateTime& now) {
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return -1;
    if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        bool ok = false;
        const qint64 seconds = text.size() <= 12 ? text.toLongLong(&ok) : 0;
        return ok ? seconds * 1000 : std::numeric_limits<qint64>::max(); // too many digits: too long
    }
    const QDateTime date = parseHttpDate(text);
    if (!date.isValid() || !now.isValid())
        return -1;
    return std::max<qint64>(0, now.msecsTo(date));
}

AnnounceSender::AnnounceSender(Fetcher& fetcher, const Clock& clock, QObject* parent)
    : QObject(parent), m_fetcher(fetcher), m_clock(clock), m_wallClock([] { return QDateTime::currentDateTimeUtc(); }) {
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &AnnounceSender::tick);
}

void AnnounceSender::start(const QList<AnnounceRequest>& requests) {
    if (m_state != State::Idle)
        return;
    m_requests = requests;
    m_current = 0;
    m_cancelled = false;
    m_results = {};
    m_results.started = m_wallClock();
    m_results.records.reserve(requests.size());
    emit progress(0, static_cast<int>(m_requests.size()));
    sendCurrent();
}

void AnnounceSender::sendCurrent() {
    if (m_current >= m_requests.size()) {
        finish();
        return;
    }
    const AnnounceRequest& request = m_requests[m_current];
    FetchRequest fetch;
    fetch.url = QUrl(request.url);
    fetch.method = QByteArrayLiteral("POST");
    fetch.contentType = QByteArray(kIndexNowContentType);
    fetch.body = request.body;
    fetch.timeoutMs = kRequestTimeoutMs;
    fetch.maxBodyBytes = 1024 * 1024; // only the first characters are kept
    if (m_rateLimitWaits == 0 && !m_serverErrorRetried)
        m_firstSentAt = m_clock.tickCount();
    m_state = State::Sending;
    const quint64 generation = ++m_generation;
    m_fetchId = m_fetcher.fetch(fetch, this, [this, generation](const FetchReply& reply) {
        if (generation == m_generation && m_state == State::Sending)
            answered(reply);
    });
}

void AnnounceSender::answered(const FetchReply& reply) {
    if (reply.httpStatus == 429 && m_rateLimitWaits < kMaxRateLimitWaits) {
        QDateTime now = parseHttpDate(reply.header("Date"));
        if (!now.isValid())
            now = m_wallClock();
        const QByteArray retryAfter = reply.header("Retry-After");
        qint64 delay = retryAfterMilliseconds(retryAfter, now);
        if (delay < 0)
            delay = kDefaultRateLimitWaitMs;
        if (delay <= kMaxWaitMs) {
            ++m_rateLimitWaits;
            wait(std::max<qint64>(delay, 1000), u"The engine asked to wait before sending again (429)."_s);
            return;
        }
        ResultRecord result = baseRecord();
        result.httpStatus = 429;
        result.reason =
            reasonText(u"The engine asked to wait %1 seconds, longer than the %2 minutes waited at most: "
                       u"not sent again. "_s.arg(QString::number(delay / 1000), QString::number(kMaxWaitMs / 60000))
                           .toUtf8() +
                       reply.body);
        result.meaning = answerMeaning(429, NetworkFailure::None, true);
        result.verdict = ResultRecord::Verdict::Error;
        record(std::move(result));
        return;
    }
    if (reply.httpStatus >= 500 && reply.httpStatus < 600 && !m_serverErrorRetried) {
        m_serverErrorRetried = true;
        wait(kServerErrorWaitMs, u"The engine had a server error (%1): sending again once."_s.arg(reply.httpStatus));
        return;
    }
    ResultRecord result = baseRecord();
    result.httpStatus = reply.httpStatus;
    result.failure = reply.httpStatus > 0 ? NetworkFailure::None : reply.failure;
    result.error = reply.httpStatus > 0 ? QString() : reply.errorText;
    result.reason = reasonText(reply.body);
    result.meaning = answerMeaning(reply.httpStatus, result.failure, true);
    result.verdict =
        reply.httpStatus >= 200 && reply.httpStatus < 300 ? ResultRecord::Verdict::Ok : ResultRecord::Verdict::Error;
    record(std::move(result));
}

ResultRecord AnnounceSender::baseRecord() const {
    const AnnounceRequest& request = m_requests[m_current];
    ResultRecord result;
    result.title = request.title;
    result.url = request.url;
    result.batchSize = request.batchSize;
    result.batchFirst = request.first;
    result.batchLast = request.last;
    result.batchBody = request.body;
    return result;
}

void AnnounceSender::record(ResultRecord result) {
    result.milliseconds = static_cast<quint32>(m_clock.tickCount() - m_firstSentAt);
    m_results.records.append(result);
    emit recorded(result);
    ++m_current;
    m_rateLimitWaits = 0;
    m_serverErrorRetried = false;
    emit progress(static_cast<int>(m_current), static_cast<int>(m_requests.size()));
    sendCurrent();
}

void AnnounceSender::wait(qint64 milliseconds, const QString& why) {
    m_state = State::Waiting;
    m_waitStart = m_clock.tickCount();
    m_waitMs = milliseconds;
    m_waitReason = why;
    m_timer.start();
    emit waiting(static_cast<int>((milliseconds + 999) / 1000), why);
}

void AnnounceSender::tick() {
    if (m_state != State::Waiting)
        return;
    const qint64 elapsed = static_cast<quint32>(m_clock.tickCount() - m_waitStart);
    if (elapsed >= m_waitMs) {
        m_timer.stop();
        sendCurrent();
        return;
    }
    emit waiting(static_cast<int>((m_waitMs - elapsed + 999) / 1000), m_waitReason);
}

void AnnounceSender::cancel() {
    if (m_state == State::Idle)
        return;
    if (m_state == State::Sending)
        m_fetcher.cancel(m_fetchId);
    ++m_generation;
    m_timer.stop();
    m_cancelled = true;
    for (; m_current < m_requests.size(); ++m_current) {
        ResultRecord result = baseRecord();
        result.reason = u"Not sent: the announcement was cancelled."_s;
        m_results.records.append(result);
        emit recorded(result);
    }
    emit progress(static_cast<int>(m_current), static_cast<int>(m_requests.size()));
    finish();
}

void AnnounceSender::finish() {
    m_state = State::Idle;
    m_timer.stop();
    m_results.finished = m_wallClock();
    m_requests.clear();
    emit finished();
}
