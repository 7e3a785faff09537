#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QSslConfiguration>
#include <QSslServer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

#include <sys/socket.h>

// A small HTTP server on 127.0.0.1 (an ephemeral port) for tests and benchmarks. It records
// the request line, head and body (read to its Content-Length) of every request in arrival order
// and answers each by its path (the part before "?") with the next response queued for the
// path, else its scripted response, else the default response. A response marked hang
// is never sent: the request stays open until the client gives up. A response marked drop
// closes the connection at once, without a byte of answer. A response marked unfinished sends
// its headers and body but never ends: no length, and the connection stays open. A raw response
// sends its bytes as they are, head included, then closes the connection, or resets it (RST)
// when marked reset. A response sent in pieces sends its head at once and its body in that many
// parts, one every pieceIntervalMs. Given a TLS configuration, the server speaks https.
class LocalHttpServer {
public:
    struct Response {
        int status = 200;
        QByteArray body;
        bool hang = false;
        QByteArray extraHeaders; // whole header lines, each ending in "\r\n"
        bool drop = false;
        bool unfinished = false;
        bool raw = false;
        bool reset = false;
        int pieces = 1;
        int pieceIntervalMs = 0;
    };

    // An HTML page with the given title.
    static Response page(const QByteArray& title, int status = 200) {
        return {status,
                "<html><head><title>" + title + "</title></head><body><p>" + title + "</p></body></html>",
                false,
                {}};
    }
    // A 200 answer with exactly this body.
    static Response content(const QByteArray& body, const QByteArray& extraHeaders = {}) {
        return {200, body, false, extraHeaders};
    }
    // An empty answer with this status.
    static Response status(int status) { return {status, {}, false, {}}; }
    static Response hanging() { return {200, {}, true, {}}; }
    static Response dropped() { return {200, {}, false, {}, true}; }
    static Response unfinished(const QByteArray& body) { return {200, body, false, {}, false, true}; }
    // Exactly these bytes, head included; then the connection is closed, or reset.
    static Response raw(const QByteArray& bytes, bool reset = false) {
        Response response = content(bytes);
        response.raw = true;
        response.reset = reset;
        return response;
    }
    // A 200 answer whose body comes in `pieces` parts, one every intervalMs.
    static Response inPieces(const QByteArray& body, int pieces, int intervalMs) {
        Response response = content(body);
        response.pieces = pieces;
        response.pieceIntervalMs = intervalMs;
        return response;
    }
    // A redirect (302 Found) to location.
    static Response redirect(const QByteArray& location) { return {302, {}, false, "Location: " + location + "\r\n"}; }

    explicit LocalHttpServer(const QSslConfiguration* tls = nullptr) {
        if (tls) {
            auto* server = new QSslServer;
            server->setSslConfiguration(*tls);
            m_server.reset(server);
            m_scheme = QStringLiteral("https");
        }
        QObject::connect(m_server.get(), &QTcpServer::newConnection, m_server.get(), [this] { acceptConnections(); });
    }

    bool listen() { return m_server->listen(QHostAddress::LocalHost, 0); }
    QString baseUrl() const {
        return QStringLiteral("%1://127.0.0.1:%2").arg(m_scheme, QString::number(m_server->serverPort()));
    }

    void setResponse(const QByteArray& path, const Response& response) { m_responses.insert(path, response); }
    // Answers the next request to path once with response, before any response queued after it.
    void queueResponse(const QByteArray& path, const Response& response) { m_queued[path].append(response); }
    void setDefaultResponse(const Response& response) { m_defaultResponse = response; }
    const QList<QByteArray>& requestLines() const { return m_requestLines; }
    // The whole head (request line and header lines) of every request, in arrival order.
    const QList<QByteArray>& requestHeads() const { return m_requestHeads; }
    // The body of every request (as its Content-Length says; empty without one), in arrival order.
    const QList<QByteArray>& requestBodies() const { return m_requestBodies; }

    // The value of the first header line of head with this name (names are case-insensitive:
    // clients differ in how they write them); null when there is none.
    static QByteArray headerValue(const QByteArray& head, const QByteArray& name) {
        const QList<QByteArray> lines = head.split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i) { // after the request line
            const QByteArray& line = lines.at(i);
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).compare(name, Qt::CaseInsensitive) == 0)
                return line.mid(colon + 1).trimmed();
        }
        return {};
    }

private:
    static qsizetype contentLength(const QByteArray& head) { return headerValue(head, "content-length").toLongLong(); }

    void acceptConnections() {
        while (QTcpSocket* socket = m_server->nextPendingConnection()) { // a child of the server
            auto received = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received] {
                received->append(socket->readAll());
                const qsizetype headEnd = received->indexOf("\r\n\r\n");
                if (headEnd < 0)
                    return;
                const QByteArray head = received->left(headEnd);
                const qsizetype bodyLength = contentLength(head);
                if (received->size() - headEnd - 4 < bodyLength)
                    return; // the body is still arriving
                socket->disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
                m_requestHeads.append(head);
                m_requestBodies.append(received->mid(headEnd + 4, bodyLength));
                answer(socket, received->left(received->indexOf("\r\n")));
            });
        }
    }

    void answer(QTcpSocket* socket, const QByteArray& requestLine) {
        m_requestLines.append(requestLine);
        const QByteArray target = requestLine.split(' ').value(1);
        const QByteArray path = target.split('?').first();
        QList<Response>& queued = m_queued[path];
        const Response response = !queued.isEmpty() ? queued.takeFirst() : m_responses.value(path, m_defaultResponse);
        if (response.hang)
            return;
        if (response.drop) {
            socket->abort(); // disconnected() then deletes the socket
            return;
        }
        if (response.raw) {
            socket->write(response.body);
            if (response.reset) {
                socket->flush();
                const linger now{1, 0}; // closing then sends RST instead of FIN
                ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &now, sizeof now);
                socket->abort();
            } else {
                socket->disconnectFromHost();
            }
            return;
        }
        if (response.unfinished) {
            socket->write("HTTP/1.1 200 Scripted\r\nContent-Type: text/html; charset=utf-8\r\n\r\n" + response.body);
            return;
        }
        socket->write("HTTP/1.1 " + QByteArray::number(response.status) + " Scripted\r\n" +
                      "Content-Type: text/html; charset=utf-8\r\n" +
                      "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n" + response.extraHeaders +
                      "Connection: close\r\n\r\n" + (response.pieces > 1 ? QByteArray() : response.body));
        if (response.pieces <= 1) {
            socket->disconnectFromHost();
            return;
        }
        auto* timer = new QTimer(socket);
        const qsizetype part = (response.body.size() + response.pieces - 1) / response.pieces;
        QObject::connect(timer, &QTimer::timeout, socket,
                         [socket, timer, part, body = response.body, sent = qsizetype(0)]() mutable {
                             socket->write(body.mid(sent, part));
                             sent += part;
                             if (sent >= body.size()) {
                                 timer->stop();
                                 socket->disconnectFromHost();
                             }
                         });
        timer->start(response.pieceIntervalMs);
    }

    std::unique_ptr<QTcpServer> m_server = std::make_unique<QTcpServer>();
    QString m_scheme = QStringLiteral("http");
    QHash<QByteArray, Response> m_responses;
    QHash<QByteArray, QList<Response>> m_queued;
    Response m_defaultResponse = page("OK");
    QList<QByteArray> m_requestLines;
    QList<QByteArray> m_requestHeads;
    QList<QByteArray> m_requestBodies;
};
