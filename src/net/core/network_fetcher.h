#pragma once

#include "net/core/fetcher.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <map>
#include <memory>

class QNetworkReply;

// The Fetcher of the program, on QNetworkAccessManager. Its policy, the same for every request:
//   - the time limit (FetchRequest::timeoutMs) covers the whole exchange, redirects included;
//     when it runs out the request is aborted and fails as NetworkFailure::Timeout; so does a
//     request that receives nothing for idleTimeoutMs (when not 0), answer or body;
//   - redirects (301, 302, 303, 307, 308 with a Location) are followed here, not by Qt, so that
//     at most maxRedirects are followed; with sameHostRedirectsOnly a redirect to another host
//     is a failure. Only http and https are followed, and never from https to http (http to
//     https on the same host is an upgrade, not another host). 301, 302 and 303 turn a POST
//     into a GET without a body, as browsers do; 307 and 308 repeat the request as it was;
//   - every request says "User-Agent: Torvane/<version>";
//   - certificate and other TLS errors are never ignored: the request fails as
//     NetworkFailure::Tls;
//   - the body is counted while it arrives; past maxBodyBytes the request is aborted and the
//     reply has bodyTooLarge set (status and headers kept, the body cut to maxBodyBytes);
//   - gzip is the one compression asked for; a body sent with "Content-Encoding: gzip" is
//     unpacked while it arrives, maxBodyBytes counting the unpacked bytes, and one that unpacks
//     to more than maxCompressionRatio times its size fails (NetworkFailure::Other) with the
//     message a compressed file gets; any other compression fails;
//   - a body that does not arrive whole (the connection closed or reset early, fewer bytes than
//     Content-Length, broken chunks or compression) is a failure (NetworkFailure::Other, "The
//     download of <url> was cut short after N bytes."), whatever the status said;
//   - no cookies are sent or kept, nothing is cached, nothing is written to disk; only http and
//     https addresses are fetched (anything else fails at once, without a request).
// A reply with an HTTP answer has failure None and the answer's status, whatever it is; a reply
// without one has httpStatus 0, a failure kind and an errorText for the user.
class NetworkFetcher final : public QObject, public Fetcher {
public:
    explicit NetworkFetcher(QObject* parent = nullptr);
    ~NetworkFetcher() override;

    RequestId fetch(const FetchRequest& request, QObject* receiver, Done done) override;
    void cancel(RequestId id) override;

    // "Torvane/<version>", the version being the project's.
    static QByteArray userAgent();

private:
    struct Exchange;

    void send(RequestId id, Exchange& exchange);
    void readBody(RequestId id);
    void finishTooLarge(RequestId id, const QString& errorText);
    void replyFinished(RequestId id);
    void fail(RequestId id, NetworkFailure failure, const QString& errorText);
    void finish(RequestId id, const FetchReply& reply);
    // Forgets the request and stops its network work; returns its callback, or nothing when
    // the request is unknown or its receiver is gone.
    Done release(RequestId id);

    QNetworkAccessManager m_manager;
    std::map<RequestId, std::unique_ptr<Exchange>> m_exchanges;
    RequestId m_nextId = 1;
};
