#include "google/core/google_access_token.h"

#include "google/core/google_api.h"
#include "google/core/google_jwt.h"
#include "google/core/service_account_key.h"
#include "platform/clock.h"
#include "platform/text_codec.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstring>

using namespace Qt::StringLiterals;

GoogleAccessToken::GoogleAccessToken(Fetcher& fetcher, const Clock& clock, QObject* parent)
    : QObject(parent), m_fetcher(fetcher), m_clock(clock),
      m_wallClock([] { return QDateTime::currentSecsSinceEpoch(); }) {}

GoogleAccessToken::~GoogleAccessToken() {
    if (m_request)
        m_fetcher.cancel(m_request);
    forget();
}

void GoogleAccessToken::setKey(std::shared_ptr<const ServiceAccountKey> key) {
    if (m_request)
        m_fetcher.cancel(std::exchange(m_request, 0));
    forget();
    m_key = std::move(key);
    serve();
}

bool GoogleAccessToken::usesEnvironment() const {
    return !qEnvironmentVariable(kEnvironmentVariable).trimmed().isEmpty();
}

QString GoogleAccessToken::account() const {
    return !usesEnvironment() && m_key ? m_key->clientEmail() : QString();
}

void GoogleAccessToken::get(QObject* receiver, Done done) {
    m_waiters.append({receiver != nullptr, receiver, std::move(done)});
    // Answered from the event loop, as a fetch is, even when the token is at hand.
    if (!m_request && !m_servePosted) {
        m_servePosted = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_servePosted = false;
                serve();
            },
            Qt::QueuedConnection);
    }
}

void GoogleAccessToken::serve() {
    if (m_waiters.isEmpty() || m_request)
        return;
    if (usesEnvironment())
        finish({qEnvironmentVariable(kEnvironmentVariable).trimmed().toUtf8(), {}});
    else if (!m_token.isEmpty() && static_cast<quint32>(m_clock.tickCount() - m_obtainedAt) < m_usableMs)
        finish({m_token, {}});
    else
        fetchToken();
}

bool GoogleAccessToken::renew() {
    if (usesEnvironment())
        return false;
    forget();
    return m_key != nullptr;
}

void GoogleAccessToken::forget() {
    if (!m_token.isEmpty())
        explicit_bzero(m_token.data(), static_cast<size_t>(m_token.size()));
    m_token.clear();
    m_usableMs = 0;
}

void GoogleAccessToken::fetchToken() {
    forget();
    if (!m_key) {
        finish({{},
                u"Google is not connected: choose the service account's key file, or set %1."_s.arg(
                    QString::fromLatin1(kEnvironmentVariable))});
        return;
    }
    const QByteArray assertion = signedAssertion(*m_key, m_wallClock());
    if (assertion.isEmpty()) {
        finish({{},
                u"The sign-in for %1 could not be signed with the key: make a new key for the service account "
                u"in Google Cloud and choose it."_s.arg(m_key->clientEmail())});
        return;
    }
    FetchRequest request;
    request.url = m_key->tokenUri();
    request.method = QByteArrayLiteral("POST");
    request.contentType = QByteArrayLiteral("application/x-www-form-urlencoded");
    request.body = tokenRequestBody(assertion);
    request.timeoutMs = kTimeoutMs;
    request.maxRedirects = 0; // a credential never follows a redirect
    request.maxBodyBytes = 64 * 1024;
    m_request = m_fetcher.fetch(request, this, [this](const FetchReply& reply) {
        m_request = 0;
        tokenAnswered(reply);
    });
}

void GoogleAccessToken::tokenAnswered(const FetchReply& reply) {
    const QJsonObject answer = QJsonDocument::fromJson(reply.body).object();
    const QString token = answer.value("access_token"_L1).toString();
    if (reply.httpStatus == 200 && !token.isEmpty()) {
        // Google gives about an hour; renewed a minute early, or at half time for a short life.
        const qint64 lifeMs = qMax<qint64>(answer.value("expires_in"_L1).toInteger(3600), 1) * 1000;
        m_token = token.toUtf8();
        m_obtainedAt = m_clock.tickCount();
        m_usableMs = lifeMs > 2 * kRenewEarlyMs ? lifeMs - kRenewEarlyMs : lifeMs / 2;
        finish({m_token, {}});
        return;
    }
    finish({{}, refusedSentence(reply)});
}

QString GoogleAccessToken::refusedSentence(const FetchReply& reply) const {
    const QString email = m_key->clientEmail();
    const QString address = displayText(m_key->tokenUri().toDisplayString());
    if (reply.httpStatus <= 0) {
        QString error = displayText(reply.errorText.isEmpty() ? u"no answer arrived"_s : reply.errorText);
        if (!error.endsWith(u'.'))
            error += u'.';
        return u"Google's sign-in address %1 could not be reached: %2 Check the connection and try again."_s.arg(
            address, error);
    }
    const QJsonObject answer = QJsonDocument::fromJson(reply.body).object();
    const QString error = answer.value("error"_L1).toString();
    const QString description = answer.value("error_description"_L1).toString();
    const QString said = description.isEmpty() ? error : description;
    const QString saidSentence = said.isEmpty() ? QString() : u" (Google said: %1)"_s.arg(displayText(said));
    if (reply.httpStatus == 200) {
        return u"Google's sign-in answer held no access token: try again later."_s;
    }
    if (reply.httpStatus >= 500) {
        return u"Google's sign-in service had a fault (HTTP %1)%2: try again later."_s.arg(
            QString::number(reply.httpStatus), saidSentence);
    }
    const QString lower = description.toLower();
    if (lower.contains("timeframe"_L1) || lower.contains(" iat"_L1) || lower.contains("clock"_L1)) {
        return u"Google refused the sign-in for %1 because of the time%2: this computer's clock is probably wrong. "
               u"Set the clock right (turn on automatic time) and connect again."_s.arg(email, saidSentence);
    }
    if (error == "invalid_client"_L1 || lower.contains("signature"_L1) || lower.contains("not found"_L1) ||
        lower.contains("disabled"_L1)) {
        return u"Google refused the sign-in for %1%2: the key was deleted or revoked, or the service account is "
               u"disabled. Make a new key for the service account in Google Cloud and choose it."_s.arg(email,
                                                                                                        saidSentence);
    }
    return u"Google refused the sign-in for %1 (HTTP %2)%3: check that the key file is the one Google Cloud gave for "
           u"this account and that this computer's clock is right, then connect again."_s.arg(
               email, QString::number(reply.httpStatus), saidSentence);
}

void GoogleAccessToken::finish(const Result& result) {
    // Taken first: a callback may ask again.
    const QList<Waiter> waiters = std::exchange(m_waiters, {});
    for (const Waiter& waiter : waiters) {
        if (!waiter.hasReceiver || waiter.receiver)
            waiter.done(result);
    }
}
