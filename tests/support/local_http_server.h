#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>

// A small HTTP server on 127.0.0.1 (an ephemeral port) for tests and benchmarks. It records
// the request line of every request in arrival order and answers each by its path (the part
// before "?") with a scripted response, or with the default response. A response marked hang
// is never sent: the request stays open until the client gives up. A response marked drop
// closes the connection at once, without a byte of answer.
class LocalHttpServer {
public:
    struct Response {
        int status = 200;
        QByteArray body;
        bool hang = false;
        QByteArray extraHeaders; // whole header lines, each ending in "\r\n"
        bool drop = false;
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
    // A redirect (302 Found) to location.
    static Response redirect(const QByteArray& location) { return {302, {}, false, "Location: " + location + "\r\n"}; }

    LocalHttpServer() {
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { acceptConnections(); });
    }

    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }

    void setResponse(const QByteArray& path, const Response& response) { m_responses.insert(path, response); }
    void setDefaultResponse(const Response& response) { m_defaultResponse = response; }
    const QList<QByteArray>& requestLines() const { return m_requestLines; }
    // The whole head (request line and header lines) of every request, in arrival order.
    const QList<QByteArray>& requestHeads() const { return m_requestHeads; }

private:
    void acceptConnections() {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) { // a child of the server
            auto received = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received] {
                received->append(socket->readAll());
                if (!received->contains("\r\n\r\n"))
                    return;
                socket->disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
                m_requestHeads.append(received->left(received->indexOf("\r\n\r\n")));
                answer(socket, received->left(received->indexOf("\r\n")));
            });
        }
    }

    void answer(QTcpSocket* socket, const QByteArray& requestLine) {
        m_requestLines.append(requestLine);
        const QByteArray target = requestLine.split(' ').value(1);
        const QByteArray path = target.split('?').first();
        const Response response = m_responses.value(path, m_defaultResponse);
        if (response.hang)
            return;
        if (response.drop) {
            socket->abort(); // disconnected() then deletes the socket
            return;
        }
        socket->write("HTTP/1.1 " + QByteArray::number(response.status) + " Scripted\r\n" +
                      "Content-Type: text/html; charset=utf-8\r\n" +
                      "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n" + response.extraHeaders +
                      "Connection: close\r\n\r\n" + response.body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QByteArray, Response> m_responses;
    Response m_defaultResponse = page("OK");
    QList<QByteArray> m_requestLines;
    QList<QByteArray> m_requestHeads;
};
