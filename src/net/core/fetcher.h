#pragma once

#include "platform/network_failure.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>
#include <functional>

// One HTTP request made outside the embedded browser (key-file checks, sitemaps, batch POSTs).
// Every such request goes through a Fetcher, so that time limits, redirects, the user agent and
// certificate checks follow one policy.
struct FetchRequest {
    QUrl url;
    QByteArray method = QByteArrayLiteral("GET"); // GET, POST, PUT …
    QByteArray contentType;                       // with a body
    QByteArray body;
    // Further header lines (such as Authorization). They are dropped when a redirect leads to
    // another host, so that credentials never travel to a host they were not meant for.
    QList<QPair<QByteArray, QByteArray>> headers;
    int timeoutMs = 15000;                  // for the whole exchange, redirects included
    int idleTimeoutMs = 0;                  // no byte for that long is a failure; 0: no such limit
    int maxRedirects = 5;                   // redirects followed; one more is a failure
    bool sameHostRedirectsOnly = true;      // a redirect to another host is a failure, not followed
    qint64 maxBodyBytes = 50 * 1024 * 1024; // a longer body is aborted there (bodyTooLarge), unpacked
    qint64 maxCompressionRatio = 200;       // a body sent gzip-compressed may unpack to at most this
                                            // many times its size (past its first MiB)
};

struct FetchReply {
    int httpStatus = 0;                            // 0 when no HTTP answer arrived
    NetworkFailure failure = NetworkFailure::None; // why no HTTP answer arrived
    QString errorText;                             // what went wrong, for the user; empty on a whole answer
    bool bodyTooLarge = false;                     // passed maxBodyBytes: reading stopped, body cut there
    QUrl finalUrl;                                 // after the redirects followed
    QList<QPair<QByteArray, QByteArray>> headers;  // as received
    QByteArray body;                               // unpacked when sent with "Content-Encoding: gzip"

    // The first header of that name, in any letter case; empty when absent.
    QByteArray header(QByteArrayView name) const {
        for (const auto& [key, value] : headers) {
            if (name.compare(key, Qt::CaseInsensitive) == 0)
                return value;
        }
        return {};
    }
};

// Makes requests one by one or side by side; every call returns at once and the answer comes
// to the callback on the caller's thread. A request whose receiver object is destroyed, or
// that is cancelled, calls nothing.
class Fetcher {
public:
    using Done = std::function<void(const FetchReply&)>;
    using RequestId = quint64;

    virtual ~Fetcher() = default;
    virtual RequestId fetch(const FetchRequest& request, QObject* receiver, Done done) = 0;
    virtual void cancel(RequestId id) = 0;
};
