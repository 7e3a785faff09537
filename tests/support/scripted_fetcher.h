#pragma once

#include "net/core/fetcher.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QTimer>

// A Fetcher that answers from a script: each address has a queue of replies, used in turn (the
// last one repeats); an address without one gets 404. Answers come from the event loop, as a
// real fetcher's would. Every request is recorded.
class ScriptedFetcher final : public Fetcher {
public:
    void script(const QString& url, QList<FetchReply> replies) { m_script.insert(url, std::move(replies)); }
    static FetchReply reply(int status, const QByteArray& body = {},
                            QList<QPair<QByteArray, QByteArray>> headers = {}) {
        FetchReply result;
        result.httpStatus = status;
        result.body = body;
        result.headers = std::move(headers);
        return result;
    }

    RequestId fetch(const FetchRequest& request, QObject* receiver, Done done) override {
        requests.append(request);
        const QString url = request.url.toString(QUrl::FullyEncoded);
        QList<FetchReply>& queue = m_script[url];
        FetchReply answer = queue.isEmpty() ? reply(404) : queue.size() > 1 ? queue.takeFirst() : queue.first();
        answer.finalUrl = request.url;
        const RequestId id = ++m_lastId;
        m_pending.insert(id, true);
        QTimer::singleShot(0, receiver, [this, id, answer, done] {
            if (m_pending.take(id))
                done(answer);
        });
        return id;
    }
    void cancel(RequestId id) override {
        m_pending.remove(id);
        ++cancelled;
    }

    QList<FetchRequest> requests;
    int cancelled = 0;

private:
    QHash<QString, QList<FetchReply>> m_script;
    QHash<RequestId, bool> m_pending;
    RequestId m_lastId = 0;
};
