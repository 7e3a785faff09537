#pragma once

#include "net/core/fetcher.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class Clock;
class ServiceAccountKey;

// The access token for Google's APIs, kept in memory only. With a service-account key it signs
// an assertion and trades it at the key's token_uri (through the one Fetcher); the token is kept
// until a minute before it expires, then a new one is fetched when next asked for. An access token
// in the environment variable GOOGLE_OAUTH_ACCESS_TOKEN (for example from "gcloud auth
// print-access-token") is used instead of the key when set; it cannot be renewed here.
class GoogleAccessToken final : public QObject {
public:
    struct Result {
        QByteArray token; // empty when there is none
        QString problem;  // why there is none, with what to do; empty with a token
    };
    using Done = std::function<void(const Result&)>;

    static constexpr const char* kEnvironmentVariable = "GOOGLE_OAUTH_ACCESS_TOKEN";
    // A token is renewed this long before Google says it expires.
    static constexpr qint64 kRenewEarlyMs = 60 * 1000;
    static constexpr int kTimeoutMs = 30000;

    GoogleAccessToken(Fetcher& fetcher, const Clock& clock, QObject* parent = nullptr);
    ~GoogleAccessToken() override;

    // The key to sign in with; forgets the token held. Null: only the environment's token.
    void setKey(std::shared_ptr<const ServiceAccountKey> key);
    const std::shared_ptr<const ServiceAccountKey>& key() const { return m_key; }
    // Seconds since 1970 (UTC) for the assertion's iat; the system's by default.
    void setWallClock(std::function<qint64()> secondsSinceEpoch) { m_wallClock = std::move(secondsSinceEpoch); }

    bool usesEnvironment() const;
    // Who the token speaks for: the key's client_email; empty for the environment's token, whose
    // account is not known here.
    QString account() const;

    // A valid token, fetched when none is held or the held one is about to expire. done gets it
    // on the caller's thread; nothing is called when receiver is destroyed first.
    void get(QObject* receiver, Done done);
    // Forgets the held token (an API answered 401), so that the next get() fetches a new one.
    // False when the token cannot be renewed (it comes from the environment).
    bool renew();

private:
    struct Waiter {
        bool hasReceiver = false;
        QPointer<QObject> receiver;
        Done done;
    };

    void serve();
    void fetchToken();
    void tokenAnswered(const FetchReply& reply);
    void finish(const Result& result);
    void forget();
    QString refusedSentence(const FetchReply& reply) const;

    Fetcher& m_fetcher;
    const Clock& m_clock;
    std::function<qint64()> m_wallClock;
    std::shared_ptr<const ServiceAccountKey> m_key;
    QByteArray m_token;
    quint32 m_obtainedAt = 0;
    qint64 m_usableMs = 0;
    QList<Waiter> m_waiters;
    Fetcher::RequestId m_request = 0;
    bool m_servePosted = false;
};
