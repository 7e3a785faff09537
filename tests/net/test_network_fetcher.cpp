#include "net/core/network_fetcher.h"
#include "support/gzip_data.h"
#include "support/local_http_server.h"

#include <QTcpServer>
#include <QtTest>
#include <optional>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(LocalHttpServer::Response)

// Waits for the one answer of request; fails the test when none comes within 10 s.
static std::optional<FetchReply> fetchAndWait(NetworkFetcher& fetcher, const FetchRequest& request) {
    std::optional<FetchReply> answer;
    QObject receiver;
    fetcher.fetch(request, &receiver, [&answer](const FetchReply& reply) { answer = reply; });
    (void)QTest::qWaitFor([&answer] { return answer.has_value(); }, 10000);
    return answer;
}

class TestNetworkFetcher : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_server = std::make_unique<LocalHttpServer>();
        m_otherHost = std::make_unique<LocalHttpServer>();
        QVERIFY(m_server->listen());
        QVERIFY(m_otherHost->listen());
        m_server->setResponse("/ok", LocalHttpServer::content("hello", "X-Answer: yes\r\n"));
        m_server->setResponse("/missing", LocalHttpServer::status(404));
        m_server->setResponse("/hop1", LocalHttpServer::redirect("/hop2"));
        m_server->setResponse("/hop2", LocalHttpServer::redirect(m_server->baseUrl().toUtf8() + "/ok"));
        m_server->setResponse("/loop", LocalHttpServer::redirect("/loop"));
        // The same machine under another host name.
        m_server->setResponse(
            "/away",
            LocalHttpServer::redirect("http://localhost:" + m_otherHost->baseUrl().section(u':', 2).toUtf8() + "/ok"));
        m_server->setResponse("/slow", LocalHttpServer::hanging());
        m_server->setResponse("/big", LocalHttpServer::content(QByteArray(300000, 'x')));
        // A port nothing listens on any more.
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        m_refusedUrl = u"http://127.0.0.1:%1/ok"_s.arg(closed.serverPort());
        // A server that answers a secure handshake with plain text.
        if (!m_plainText.isListening()) {
            QVERIFY(m_plainText.listen(QHostAddress::LocalHost, 0));
            connect(&m_plainText, &QTcpServer::newConnection, this, [this] {
                QTcpSocket* socket = m_plainText.nextPendingConnection();
                socket->write("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n");
                socket->disconnectFromHost();
            });
        }
    }

    void answers_data() {
        QTest::addColumn<QString>("path"); // on the server; "refused" and "file" name other addresses
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<int>("maxRedirects");
        QTest::addColumn<qint64>("maxBodyBytes");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("failure");
        QTest::addColumn<qsizetype>("bodySize");
        QTest::addColumn<bool>("tooLarge");
        QTest::addColumn<QList<QByteArray>>("requested"); // paths, in order

        const int none = int(NetworkFailure::None);
        const int other = int(NetworkFailure::Other);
        QTest::newRow("200 with a body") << "/ok" << 5000 << 5 << qint64(1000) << 200 << none << qsizetype(5) << false
                                         << QList<QByteArray>{"/ok"};
        QTest::newRow("404") << "/missing" << 5000 << 5 << qint64(1000) << 404 << none << qsizetype(0) << false
                             << QList<QByteArray>{"/missing"};
        QTest::newRow("two redirects followed") << "/hop1" << 5000 << 5 << qint64(1000) << 200 << none << qsizetype(5)
                                                << false << QList<QByteArray>{"/hop1", "/hop2", "/ok"};
        QTest::newRow("redirect to another host refused") << "/away" << 5000 << 5 << qint64(1000) << 0 << other
                                                          << qsizetype(0) << false << QList<QByteArray>{"/away"};
        QTest::newRow("more redirects than allowed")
            << "/loop" << 5000 << 3 << qint64(1000) << 0 << other << qsizetype(0) << false
            << QList<QByteArray>{"/loop", "/loop", "/loop", "/loop"};
        QTest::newRow("slow server past the limit")
            << "/slow" << 300 << 5 << qint64(1000) << 0 << int(NetworkFailure::Timeout) << qsizetype(0) << false
            << QList<QByteArray>{"/slow"};
        QTest::newRow("refused connection")
            << "refused" << 5000 << 5 << qint64(1000) << 0 << int(NetworkFailure::ConnectionRefused) << qsizetype(0)
            << false << QList<QByteArray>{};
        QTest::newRow("body past the limit") << "/big" << 5000 << 5 << qint64(1000) << 200 << none << qsizetype(1000)
                                             << true << QList<QByteArray>{"/big"};
        QTest::newRow("https to a server without TLS")
            << "tls" << 5000 << 5 << qint64(1000) << 0 << int(NetworkFailure::Tls) << qsizetype(0) << false
            << QList<QByteArray>{};
        QTest::newRow("not a web address")
            << "file" << 5000 << 5 << qint64(1000) << 0 << other << qsizetype(0) << false << QList<QByteArray>{};
    }

    void answers() {
        QFETCH(QString, path);
        QFETCH(int, timeoutMs);
        QFETCH(int, maxRedirects);
        QFETCH(qint64, maxBodyBytes);
        QFETCH(int, status);
        QFETCH(int, failure);
        QFETCH(qsizetype, bodySize);
        QFETCH(bool, tooLarge);
        QFETCH(QList<QByteArray>, requested);

        FetchRequest request;
        request.url = path == "refused"_L1 ? QUrl(m_refusedUrl)
                      : path == "file"_L1  ? QUrl(u"file:///etc/hostname"_s)
                      : path == "tls"_L1   ? QUrl(u"https://127.0.0.1:%1/ok"_s.arg(m_plainText.serverPort()))
                                           : QUrl(m_server->baseUrl() + path);
        request.timeoutMs = timeoutMs;
        request.maxRedirects = maxRedirects;
        request.maxBodyBytes = maxBodyBytes;
        NetworkFetcher fetcher;
        QElapsedTimer clock;
        clock.start();
        const std::optional<FetchReply> reply = fetchAndWait(fetcher, request);
        QVERIFY(reply);

        QCOMPARE(reply->httpStatus, status);
        QCOMPARE(int(reply->failure), failure);
        QCOMPARE(reply->errorText.isEmpty(), failure == int(NetworkFailure::None) && !tooLarge);
        QCOMPARE(reply->body.size(), bodySize);
        QCOMPARE(reply->bodyTooLarge, tooLarge);
        if (status == 200 && !tooLarge) {
            QCOMPARE(reply->body, QByteArray("hello"));
            QCOMPARE(reply->finalUrl, QUrl(m_server->baseUrl() + "/ok"_L1));
            QCOMPARE(reply->header("x-answer"), QByteArray("yes"));
        }
        if (failure == int(NetworkFailure::Timeout))
            QVERIFY(clock.elapsed() < 5000);

        QList<QByteArray> paths;
        for (const QByteArray& line : m_server->requestLines())
            paths << line.split(' ').value(1);
        QCOMPARE(paths, requested);
        for (const QByteArray& head : m_server->requestHeads()) {
            QVERIFY2(LocalHttpServer::headerValue(head, "user-agent") == NetworkFetcher::userAgent(), head.constData());
            QVERIFY(LocalHttpServer::headerValue(head, "cookie").isNull());
        }
        QVERIFY(m_otherHost->requestLines().isEmpty());
    }

    // Extra headers go with every step on the same host, never to another host.
    void extraHeaders() {
        NetworkFetcher fetcher;
        FetchRequest request;
        request.headers = {{"Authorization", "Bearer secret"}};
        request.url = QUrl(m_server->baseUrl() + "/hop1"_L1);
        QVERIFY(fetchAndWait(fetcher, request));
        request.url = QUrl(m_server->baseUrl() + "/away"_L1);
        request.sameHostRedirectsOnly = false;
        QCOMPARE(fetchAndWait(fetcher, request).value_or(FetchReply()).httpStatus, 200);
        QCOMPARE(m_server->requestHeads().size(), 4); // hop1, hop2, ok, away
        for (const QByteArray& head : m_server->requestHeads())
            QCOMPARE(LocalHttpServer::headerValue(head, "authorization"), QByteArray("Bearer secret"));
        QCOMPARE(m_otherHost->requestHeads().size(), 1);
        QVERIFY(LocalHttpServer::headerValue(m_otherHost->requestHeads().first(), "authorization").isNull());
    }

    // A body counts only when it arrived whole; compressed bodies are held to the body limits
    // once unpacked; a download is limited by time without progress as well as in all.
    void bodies_data() {
        QTest::addColumn<LocalHttpServer::Response>("response");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<int>("idleTimeoutMs");
        QTest::addColumn<qint64>("maxBodyBytes");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("failure");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("error"); // a part of errorText; empty: none

        const int none = int(NetworkFailure::None);
        const int other = int(NetworkFailure::Other);
        const int timeout = int(NetworkFailure::Timeout);
        const QByteArray hundred(100, 'x');
        const QByteArray hello = "hello";
        const QByteArray gzipHeader = "Content-Encoding: gzip\r\n";
        QByteArray steady;
        for (qint64 i = 0; i < 300000; ++i) // 64 bits: i * 7919 passes 2^31
            steady += char('a' + (i * 7919 + i / 13) % 26);
        const auto head = [](const QByteArray& fields) {
            return "HTTP/1.1 200 OK\r\n" + fields + "\r\n";
        };
        QTest::newRow("gzip answer unpacked") << LocalHttpServer::content(gzipped(hello), gzipHeader) << 5000 << 0
                                              << qint64(1000) << 200 << none << hello << QString();
        QTest::newRow("reset mid-body") << LocalHttpServer::raw(head("Content-Length: 1000\r\n") + hundred, true)
                                        << 5000 << 0 << qint64(1000) << 0 << other << QByteArray()
                                        << u"was cut short after"_s;
        QTest::newRow("fewer bytes than Content-Length")
            << LocalHttpServer::raw(head("Content-Length: 1000\r\n") + hundred) << 5000 << 0 << qint64(1000) << 0
            << other << QByteArray() << u"was cut short after 100 bytes."_s;
        QTest::newRow("no last chunk") << LocalHttpServer::raw(head("Transfer-Encoding: chunked\r\n") +
                                                               "5\r\nhello\r\n")
                                       << 5000 << 0 << qint64(1000) << 0 << other << QByteArray() << u"was cut short"_s;
        QTest::newRow("a chunk cut short")
            << LocalHttpServer::raw(head("Transfer-Encoding: chunked\r\n") + "a\r\nhello") << 5000 << 0 << qint64(1000)
            << 0 << other << QByteArray() << u"was cut short"_s;
        QTest::newRow("broken gzip body") << LocalHttpServer::content(gzipped(steady).chopped(20), gzipHeader) << 5000
                                          << 0 << qint64(1000000) << 0 << other << QByteArray() << u"was cut short"_s;
        QTest::newRow("gzip body past the size limit unpacked")
            << LocalHttpServer::content(gzipped(steady), gzipHeader) << 5000 << 0 << qint64(1000) << 200 << none
            << steady.first(1000) << u"larger than 1000 bytes uncompressed"_s;
        QTest::newRow("gzip bomb") << LocalHttpServer::content(gzipped(QByteArray(4 << 20, ' ')), gzipHeader) << 5000
                                   << 0 << qint64(50 << 20) << 0 << other << QByteArray()
                                   << u"unpacks to more than 200 times its size"_s;
        QTest::newRow("slow but steady") << LocalHttpServer::inPieces(steady, 6, 150) << 5000 << 600 << qint64(1000000)
                                         << 200 << none << steady << QString();
        QTest::newRow("stalled") << LocalHttpServer::inPieces(steady, 2, 1500) << 5000 << 600 << qint64(1000000) << 0
                                 << timeout << QByteArray() << u"Nothing arrived for 600 ms"_s;
    }

    void bodies() {
        QFETCH(LocalHttpServer::Response, response);
        QFETCH(int, timeoutMs);
        QFETCH(int, idleTimeoutMs);
        QFETCH(qint64, maxBodyBytes);
        QFETCH(int, status);
        QFETCH(int, failure);
        QFETCH(QByteArray, body);
        QFETCH(QString, error);
        m_server->setResponse("/answer", response);
        FetchRequest request;
        request.url = QUrl(m_server->baseUrl() + "/answer"_L1);
        request.timeoutMs = timeoutMs;
        request.idleTimeoutMs = idleTimeoutMs;
        request.maxBodyBytes = maxBodyBytes;
        NetworkFetcher fetcher;
        const std::optional<FetchReply> reply = fetchAndWait(fetcher, request);
        QVERIFY(reply);
        QCOMPARE(reply->httpStatus, status);
        QCOMPARE(int(reply->failure), failure);
        QVERIFY2(error.isEmpty() ? reply->errorText.isEmpty() : reply->errorText.contains(error),
                 qPrintable(reply->errorText));
        QCOMPARE(reply->body, body);
        QCOMPARE(LocalHttpServer::headerValue(m_server->requestHeads().value(0), "accept-encoding"),
                 QByteArray("gzip"));
    }

    // A cancelled request and one whose receiver is gone call nothing, even once their time is up.
    void silentWhenCancelledOrReceiverGone_data() {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("cancelled") << true;
        QTest::newRow("receiver destroyed") << false;
    }
    void silentWhenCancelledOrReceiverGone() {
        QFETCH(bool, cancel);
        NetworkFetcher fetcher;
        FetchRequest request;
        request.url = QUrl(m_server->baseUrl() + "/slow"_L1);
        request.timeoutMs = 100;
        bool called = false;
        auto receiver = std::make_unique<QObject>();
        const Fetcher::RequestId id =
            fetcher.fetch(request, receiver.get(), [&called](const FetchReply&) { called = true; });
        if (cancel)
            fetcher.cancel(id);
        else
            receiver.reset();
        QTest::qWait(300);
        QVERIFY(!called);
    }

private:
    // Fresh servers for every test row.
    std::unique_ptr<LocalHttpServer> m_server;
    std::unique_ptr<LocalHttpServer> m_otherHost;
    QString m_refusedUrl;
    QTcpServer m_plainText;
};

QTEST_GUILESS_MAIN(TestNetworkFetcher)
#include "test_network_fetcher.moc"
