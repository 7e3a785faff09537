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

QString waitedTooLongText() {
    return u"The engine asked to wait too long; try again later."_s;
}

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
    const int batchCount = static_cast<int>(batches.size());
    int batchNumber = 0;
    for (const AnnounceBatch& batch : batches) {
        ++batchNumber;
        QHash<QPair<QString, QString>, QByteArray> bodies; // by key and key file
        for (const AnnounceTarget& target : targets) {
            // A key file proves only its own host: another host's batch relies on that host's
            // own key file at its root.
            const bool sameHost =
                QUrl(target.keyLocation).host(QUrl::FullyEncoded).compare(batch.host, Qt::CaseInsensitive) == 0;
            const QString keyLocation = sameHost ? target.keyLocation : QString();
            QByteArray& body = bodies[{target.key, keyLocation}];
            if (body.isEmpty())
                body = indexNowBody(batch.host, target.key, keyLocation, batch.addresses);
            AnnounceRequest request{target.title,
                                    target.url,
                                    body,
                                    static_cast<int>(batch.addresses.size()),
                                    batch.addresses.value(0),
                                    batch.addresses.isEmpty() ? QString() : batch.addresses.back(),
                                    batchNumber,
                                    batchCount,
                                    {},
                                    {}};
            requests.append(std::move(request));
        }
    }
    return requests;
}

QList<AnnounceRequest> requestsToResend(const QList<ResultRecord>& records) {
    QList<AnnounceRequest> requests;
    for (const ResultRecord& record : records) {
        if (record.batchSize > 0 && record.verdict != ResultRecord::Verdict::Ok && !record.batchBody.isEmpty())
            requests.append({record.title,
                             record.url,
                             record.batchBody,
                             record.batchSize,
                             record.batchFirst,
                             record.batchLast,
                             0,
                             0,
                             {},
                             {}});
    }
    // Numbered again among each engine's batches sent this time.
    QHash<QString, int> counts;
    for (const AnnounceRequest& request : std::as_const(requests))
        ++counts[request.url];
    QHash<QString, int> numbers;
    for (AnnounceRequest& request : requests) {
        request.batchNumber = ++numbers[request.url];
        request.batchCount = counts.value(request.url);
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
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (m_state == State::Waiting)
            emitCountdown(m_waitMs - static_cast<quint32>(m_clock.tickCount() - m_waitStart));
    });
    m_resendTimer.setSingleShot(true);
    m_resendTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_resendTimer, &QTimer::timeout, this, &AnnounceSender::tick);
}

void AnnounceSender::start(const QList<AnnounceRequest>& requests) {
    if (m_state != State::Idle)
        return;
    m_requests = requests;
    m_current = 0;
    m_cancelled = false;
    m_results = {};
    m_results.started = m_wallClock().toLocalTime();
    m_budgets.clear();
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
    if (!request.notSent.isEmpty()) {
        m_firstSentAt = m_clock.tickCount();
        ResultRecord result = baseRecord();
        result.verdict = ResultRecord::Verdict::Skipped;
        result.meaning = request.notSent;
        result.keyFile = request.keyFile;
        record(std::move(result));
        return;
    }
    if (m_budgets.value(request.url).spent) {
        m_firstSentAt = m_clock.tickCount();
        ResultRecord result = baseRecord();
        result.verdict = ResultRecord::Verdict::Error;
        result.meaning = waitedTooLongText();
        result.reason = u"Not sent."_s;
        record(std::move(result));
        return;
    }
    FetchRequest fetch;
    fetch.url = QUrl(request.url);
    fetch.method = QByteArrayLiteral("POST");
    fetch.contentType = QByteArray(kIndexNowContentType);
    fetch.body = request.body;
    fetch.timeoutMs = kRequestTimeoutMs;
    fetch.maxBodyBytes = 1024 * 1024; // only the first characters are kept
    if (!m_waitedBefore)
        m_firstSentAt = m_clock.tickCount();
    m_state = State::Sending;
    const quint64 generation = ++m_generation;
    m_fetchId = m_fetcher.fetch(fetch, this, [this, generation](const FetchReply& reply) {
        if (generation == m_generation && m_state == State::Sending)
            answered(reply);
    });
}

void AnnounceSender::answered(const FetchReply& reply) {
    const QString engine = m_requests[m_current].url;
    if (reply.httpStatus == 429) {
        QDateTime now = parseHttpDate(reply.header("Date"));
        if (!now.isValid())
            now = m_wallClock();
        qint64 delay = retryAfterMilliseconds(reply.header("Retry-After"), now);
        if (delay < 0)
            delay = kDefaultRateLimitWaitMs;
        WaitBudget& budget = m_budgets[engine];
        if (budget.waits < kMaxRateLimitWaits && delay <= kMaxWaitMs - budget.waitedMs) {
            ++budget.waits;
            budget.waitedMs += delay;
            wait(delay, u"asked to wait (429)"_s);
            return;
        }
        budget.spent = true;
        recordWaitedTooLong(429, reply.body);
        return;
    }
    if (reply.httpStatus >= 500 && reply.httpStatus < 600 && !m_serverErrorRetried) {
        m_serverErrorRetried = true;
        wait(kServerErrorWaitMs, u"server error (%1)"_s.arg(reply.httpStatus));
        return;
    }
    ResultRecord result = baseRecord();
    result.httpStatus = reply.httpStatus;
    result.failure = reply.httpStatus > 0 ? NetworkFailure::None : reply.failure;
    // The error is a sentence of its own; the meaning follows it after a colon.
    result.error = reply.httpStatus > 0 ? QString() : reply.errorText;
    while (result.error.endsWith(u'.'))
        result.error.chop(1);
    result.reason = reasonText(reply.body);
    result.meaning = answerMeaning(reply.httpStatus, result.failure, true);
    result.verdict =
        reply.httpStatus >= 200 && reply.httpStatus < 300 ? ResultRecord::Verdict::Ok : ResultRecord::Verdict::Error;
    record(std::move(result));
}

void AnnounceSender::recordWaitedTooLong(int httpStatus, const QByteArray& body) {
    ResultRecord result = baseRecord();
    result.httpStatus = httpStatus;
    result.reason = reasonText(body);
    result.meaning = waitedTooLongText();
    result.verdict = ResultRecord::Verdict::Error;
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
    m_waitedBefore = false;
    m_serverErrorRetried = false;
    emit progress(static_cast<int>(m_current), static_cast<int>(m_requests.size()));
    sendCurrent();
}

void AnnounceSender::wait(qint64 milliseconds, const QString& why) {
    m_state = State::Waiting;
    m_waitedBefore = true;
    m_waitStart = m_clock.tickCount();
    m_waitMs = milliseconds;
    m_waitReason = why;
    m_timer.start();
    m_resendTimer.start(static_cast<int>(std::min<qint64>(milliseconds, kMaxWaitMs)));
    emitCountdown(milliseconds);
}

void AnnounceSender::emitCountdown(qint64 leftMs) {
    const AnnounceRequest& request = m_requests[m_current];
    const int seconds = static_cast<int>((std::max<qint64>(leftMs, 0) + 999) / 1000);
    QString engine = request.title;
    if (request.batchCount > 0)
        engine += u", batch %1 of %2"_s.arg(QString::number(request.batchNumber), QString::number(request.batchCount));
    emit waiting(seconds, u"%1: %2; sending again in %3 s"_s.arg(engine, m_waitReason, QString::number(seconds)));
}

void AnnounceSender::tick() {
    if (m_state != State::Waiting)
        return;
    const qint64 elapsed = static_cast<quint32>(m_clock.tickCount() - m_waitStart);
    if (elapsed >= m_waitMs) {
        m_timer.stop();
        m_resendTimer.stop();
        sendCurrent();
        return;
    }
    if (!m_resendTimer.isActive())
        m_resendTimer.start(static_cast<int>(m_waitMs - elapsed));
    emitCountdown(m_waitMs - elapsed);
}

void AnnounceSender::cancel() {
    if (m_state == State::Idle)
        return;
    if (m_state == State::Sending)
        m_fetcher.cancel(m_fetchId);
    ++m_generation;
    const bool waitingToResend = m_state == State::Waiting;
    const bool inFlight = m_state == State::Sending;
    m_timer.stop();
    m_resendTimer.stop();
    m_cancelled = true;
    for (bool current = true; m_current < m_requests.size(); ++m_current, current = false) {
        ResultRecord result = baseRecord();
        result.verdict = ResultRecord::Verdict::Skipped;
        if (current && waitingToResend)
            result.meaning = u"Sent once; cancelled while waiting to send again."_s;
        else if (current && inFlight)
            result.meaning = u"Sent; cancelled before the answer came."_s;
        else
            result.meaning = u"Not sent: the announcement was cancelled."_s;
        m_results.records.append(result);
        emit recorded(result);
    }
    emit progress(static_cast<int>(m_current), static_cast<int>(m_requests.size()));
    finish();
}

void AnnounceSender::finish() {
    m_state = State::Idle;
    m_timer.stop();
    m_resendTimer.stop();
    m_results.finished = m_wallClock().toLocalTime();
    m_requests.clear();
    emit finished();
}
