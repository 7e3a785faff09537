#include "net/core/network_fetcher.h"

#include "platform/gzip_inflater.h"
#include "platform/program_info.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSslError>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// Qt's own read buffer per reply: the network thread pauses when it is full, so a huge or
// endlessly inflating answer never piles up faster than the body limit is checked.
constexpr qint64 kReadBufferBytes = 1024 * 1024;

bool isWebScheme(const QString& scheme) {
    return scheme == "http"_L1 || scheme == "https"_L1;
}

bool isFollowedRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

QString durationText(int milliseconds) {
    return milliseconds % 1000 == 0 ? u"%1 s"_s.arg(milliseconds / 1000) : u"%1 ms"_s.arg(milliseconds);
}

NetworkFailure failureOf(QNetworkReply::NetworkError error) {
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        return NetworkFailure::ConnectionRefused;
    case QNetworkReply::HostNotFoundError:
        return NetworkFailure::HostNotFound;
    case QNetworkReply::TimeoutError:
        return NetworkFailure::Timeout;
    case QNetworkReply::SslHandshakeFailedError:
        return NetworkFailure::Tls;
    default:
        return NetworkFailure::Other;
    }
}

// Errors of the connection or of the transfer itself, as opposed to those Qt derives from the
// HTTP status: after a status arrived they mean the body did not arrive whole.
bool isTransferError(QNetworkReply::NetworkError error) {
    return (error > QNetworkReply::NoError && error < QNetworkReply::ProxyConnectionRefusedError) ||
           error == QNetworkReply::ProtocolFailure;
}

QString cutShortText(const QUrl& url, qint64 received) {
    return u"The download of %1 was cut short after %2 bytes."_s.arg(url.toDisplayString(), QString::number(received));
}

// Why a redirect from `from` to `to` is not followed; empty when it is.
QString redirectProblem(const QUrl& from, const QUrl& to, bool sameHostOnly) {
    const QString target = to.toDisplayString();
    if (!to.isValid() || !isWebScheme(to.scheme()) || to.host().isEmpty())
        return u"The address redirects to \"%1\", which is not a web address."_s.arg(target);
    if (from.scheme() == "https"_L1 && to.scheme() == "http"_L1)
        return u"The address redirects from https to plain http (%1), which is refused."_s.arg(target);
    if (sameHostOnly && QString::compare(from.host(), to.host(), Qt::CaseInsensitive) != 0)
        return u"The address redirects to another host (%1), which is not followed."_s.arg(target);
    return {};
}

} // namespace

struct NetworkFetcher::Exchange {
    FetchRequest request; // the current step: url, method and body change with redirects
    bool hasReceiver = false;
    QPointer<QObject> receiver;
    Done done;
    QMetaObject::Connection receiverGone;
    QTimer deadline;
    QTimer idle; // restarted by every byte that arrives
    QNetworkReply* reply = nullptr;
    int redirects = 0;
    qint64 received = 0;                    // body bytes of the current step, as they came over the network
    std::unique_ptr<GzipInflater> inflater; // a body sent with "Content-Encoding: gzip"
    QByteArray body;                        // as given to the caller: unpacked
    QStringList tlsErrors;
};

NetworkFetcher::NetworkFetcher(QObject* parent) : QObject(parent) {
    // Redirects are this class's to follow (see send()); HSTS would rewrite addresses from a
    // store kept between requests.
    m_manager.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    m_manager.setStrictTransportSecurityEnabled(false);
}

NetworkFetcher::~NetworkFetcher() {
    while (!m_exchanges.empty())
        release(m_exchanges.begin()->first);
}

QByteArray NetworkFetcher::userAgent() {
    return (programName() + QLatin1Char('/') + programVersion()).toUtf8();
}

Fetcher::RequestId NetworkFetcher::fetch(const FetchRequest& request, QObject* receiver, Done done) {
    const RequestId id = m_nextId++;
    auto exchange = std::make_unique<Exchange>();
    exchange->request = request;
    exchange->request.timeoutMs = std::max(request.timeoutMs, 1);
    exchange->request.maxRedirects = std::max(request.maxRedirects, 0);
    exchange->request.maxBodyBytes = std::max<qint64>(request.maxBodyBytes, 0);
    exchange->request.idleTimeoutMs = std::max(request.idleTimeoutMs, 0);
    exchange->hasReceiver = receiver != nullptr;
    exchange->receiver = receiver;
    exchange->done = std::move(done);
    if (receiver)
        exchange->receiverGone = connect(receiver, &QObject::destroyed, this, [this, id] { cancel(id); });

    Exchange& started = *exchange;
    m_exchanges.emplace(id, std::move(exchange));
    started.deadline.setSingleShot(true);
    connect(&started.deadline, &QTimer::timeout, this, [this, id, limit = started.request.timeoutMs] {
        fail(id, NetworkFailure::Timeout, u"No answer within %1."_s.arg(durationText(limit)));
    });
    started.deadline.start(started.request.timeoutMs);
    started.idle.setSingleShot(true);
    connect(&started.idle, &QTimer::timeout, this, [this, id, limit = started.request.idleTimeoutMs] {
        fail(id, NetworkFailure::Timeout,
             u"Nothing arrived for %1: the download was given up."_s.arg(durationText(limit)));
    });

    const QUrl& url = request.url;
    if (!url.isValid() || !isWebScheme(url.scheme()) || url.host().isEmpty()) {
        // The answer still comes later, as for every request.
        const QString text = u"\"%1\" is not a web address (http or https)."_s.arg(url.toDisplayString());
        QMetaObject::invokeMethod(
            this, [this, id, text] { fail(id, NetworkFailure::Other, text); }, Qt::QueuedConnection);
        return id;
    }
    send(id, started);
    return id;
}

void NetworkFetcher::cancel(RequestId id) {
    release(id);
}

void NetworkFetcher::send(RequestId id, Exchange& exchange) {
    const FetchRequest& request = exchange.request;
    QNetworkRequest networkRequest(request.url);
    networkRequest.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    // Named here, Qt leaves compressed answers as they are: readBody() unpacks them within the
    // body limits, where Qt would unpack without them.
    networkRequest.setRawHeader("Accept-Encoding", "gzip");
    if (!request.contentType.isEmpty())
        networkRequest.setHeader(QNetworkRequest::ContentTypeHeader, request.contentType);
    for (const auto& [name, value] : request.headers)
        networkRequest.setRawHeader(name, value);
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    networkRequest.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    networkRequest.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    networkRequest.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    networkRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    networkRequest.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);

    QNetworkReply* reply = nullptr;
    if (request.method == "GET")
        reply = m_manager.get(networkRequest);
    else if (request.method == "POST")
        reply = m_manager.post(networkRequest, request.body);
    else
        reply = m_manager.sendCustomRequest(networkRequest, request.method, request.body);
    reply->setReadBufferSize(kReadBufferBytes);
    exchange.reply = reply;
    exchange.received = 0;
    exchange.inflater.reset();
    exchange.body.clear();
    if (request.idleTimeoutMs > 0)
        exchange.idle.start(request.idleTimeoutMs);

    connect(reply, &QNetworkReply::readyRead, this, [this, id] { readBody(id); });
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, id] {
        if (const auto found = m_exchanges.find(id); found != m_exchanges.end() && found->second->idle.isActive())
            found->second->idle.start();
    });
    connect(reply, &QNetworkReply::finished, this, [this, id] { replyFinished(id); });
    // Recorded for the error text only: without ignoreSslErrors() the handshake fails.
    connect(reply, &QNetworkReply::sslErrors, this, [this, id](const QList<QSslError>& errors) {
        if (const auto found = m_exchanges.find(id); found != m_exchanges.end()) {
            for (const QSslError& error : errors)
                found->second->tlsErrors.append(error.errorString());
        }
    });
}

void NetworkFetcher::readBody(RequestId id) {
    const auto found = m_exchanges.find(id);
    if (found == m_exchanges.end() || !found->second->reply)
        return;
    Exchange& exchange = *found->second;
    QNetworkReply* reply = exchange.reply;
    const QByteArray chunk = reply->read(reply->bytesAvailable());
    if (chunk.isEmpty())
        return;
    exchange.received += chunk.size();
    if (exchange.idle.isActive())
        exchange.idle.start();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (isFollowedRedirect(status) && reply->hasRawHeader("Location"))
        return; // not given to anyone
    const qint64 limit = exchange.request.maxBodyBytes;
    if (exchange.received == chunk.size()) { // the first bytes: how they are encoded
        const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
        if (encoding == "gzip" || encoding == "x-gzip") {
            exchange.inflater = std::make_unique<GzipInflater>(limit, exchange.request.maxCompressionRatio);
        } else if (!encoding.isEmpty() && encoding != "identity") {
            fail(id, NetworkFailure::Other,
                 u"The answer is compressed as \"%1\", which cannot be read."_s.arg(QString::fromLatin1(encoding)));
            return;
        }
    }
    if (GzipInflater* inflater = exchange.inflater.get()) {
        if (inflater->feed(chunk, exchange.body)) {
            // Compressed data never unpacks to much less than its size, unless built to waste time.
            if (exchange.received > limit)
                finishTooLarge(id, GzipInflater::sizeLimitText(limit));
            return;
        }
        switch (inflater->problem()) {
        case GzipInflater::Problem::TooLarge:
            finishTooLarge(id, inflater->errorText());
            break;
        case GzipInflater::Problem::RatioTooHigh:
            fail(id, NetworkFailure::Other, inflater->errorText());
            break;
        case GzipInflater::Problem::Damaged:
        case GzipInflater::Problem::None:
            fail(id, NetworkFailure::Other, cutShortText(exchange.request.url, exchange.received));
            break;
        }
        return;
    }
    if (chunk.size() <= limit - exchange.body.size()) {
        exchange.body += chunk;
        return;
    }
    exchange.body += QByteArrayView(chunk).first(limit - exchange.body.size());
    finishTooLarge(id, u"The answer is larger than %1 bytes and was not read further."_s.arg(limit));
}

void NetworkFetcher::finishTooLarge(RequestId id, const QString& errorText) {
    const auto found = m_exchanges.find(id);
    if (found == m_exchanges.end() || !found->second->reply)
        return;
    Exchange& exchange = *found->second;
    FetchReply tooLarge;
    tooLarge.httpStatus = exchange.reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    tooLarge.bodyTooLarge = true;
    tooLarge.errorText = errorText;
    tooLarge.finalUrl = exchange.request.url;
    tooLarge.headers = exchange.reply->rawHeaderPairs();
    tooLarge.body = std::move(exchange.body);
    finish(id, tooLarge);
}

void NetworkFetcher::replyFinished(RequestId id) {
    const auto found = m_exchanges.find(id);
    if (found == m_exchanges.end() || !found->second->reply)
        return;
    readBody(id); // what arrived with the end; may finish the request as too large
    if (!m_exchanges.contains(id))
        return;
    Exchange& exchange = *found->second;
    QNetworkReply* reply = std::exchange(exchange.reply, nullptr);
    reply->disconnect(this);
    reply->deleteLater();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid() || status.toInt() <= 0) {
        const NetworkFailure failure = failureOf(reply->error());
        QString text = reply->errorString();
        if (failure == NetworkFailure::Tls && !exchange.tlsErrors.isEmpty())
            text = u"The secure connection failed: "_s + exchange.tlsErrors.join(u"; "_s);
        fail(id, failure, text);
        return;
    }

    const int httpStatus = status.toInt();
    const QByteArray location = reply->rawHeader("Location");
    if (isFollowedRedirect(httpStatus) && !location.isEmpty()) {
        FetchRequest& request = exchange.request;
        const QUrl target = request.url.resolved(QUrl::fromEncoded(location, QUrl::TolerantMode));
        if (exchange.redirects >= request.maxRedirects) {
            fail(id, NetworkFailure::Other,
                 u"The address redirects more than %1 times (last to %2)."_s.arg(QString::number(request.maxRedirects),
                                                                                 target.toDisplayString()));
            return;
        }
        if (const QString problem = redirectProblem(request.url, target, request.sameHostRedirectsOnly);
            !problem.isEmpty()) {
            fail(id, NetworkFailure::Other, problem);
            return;
        }
        ++exchange.redirects;
        if (QString::compare(request.url.host(), target.host(), Qt::CaseInsensitive) != 0)
            request.headers.clear();
        request.url = target;
        if (httpStatus <= 303 && request.method != "GET" && request.method != "HEAD") {
            request.method = QByteArrayLiteral("GET");
            request.body.clear();
            request.contentType.clear();
        }
        send(id, exchange);
        return;
    }

    // A status arrived, but the body did not arrive whole: a failure, never an answer.
    bool lengthKnown = false;
    const qint64 announced = reply->rawHeader("Content-Length").trimmed().toLongLong(&lengthKnown);
    if (isTransferError(reply->error()) ||
        (lengthKnown && exchange.received < announced && httpStatus != 204 && httpStatus != 304 &&
         exchange.request.method != "HEAD") ||
        (exchange.inflater && !exchange.inflater->finish())) {
        fail(id, NetworkFailure::Other, cutShortText(exchange.request.url, exchange.received));
        return;
    }

    FetchReply answer;
    answer.httpStatus = httpStatus;
    answer.finalUrl = exchange.request.url;
    answer.headers = reply->rawHeaderPairs();
    answer.body = std::move(exchange.body);
    finish(id, answer);
}

void NetworkFetcher::fail(RequestId id, NetworkFailure failure, const QString& errorText) {
    const auto found = m_exchanges.find(id);
    if (found == m_exchanges.end())
        return;
    FetchReply reply;
    reply.failure = failure;
    reply.errorText = errorText;
    reply.finalUrl = found->second->request.url;
    finish(id, reply);
}

void NetworkFetcher::finish(RequestId id, const FetchReply& reply) {
    // Released first: the callback may start new requests, cancel others or delete this.
    if (const Done done = release(id))
        done(reply);
}

Fetcher::Done NetworkFetcher::release(RequestId id) {
    auto node = m_exchanges.extract(id);
    if (node.empty())
        return {};
    Exchange& exchange = *node.mapped();
    disconnect(exchange.receiverGone);
    exchange.deadline.stop();
    exchange.idle.stop();
    if (QNetworkReply* reply = std::exchange(exchange.reply, nullptr)) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    if (exchange.hasReceiver && !exchange.receiver)
        return {};
    return std::move(exchange.done);
}
