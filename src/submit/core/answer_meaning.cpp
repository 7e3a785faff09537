#include "submit/core/answer_meaning.h"

#include <QUrl>
#include <array>

namespace {

struct StatusMeaning {
    int status;
    const char* meaning;
};

// What IndexNow endpoints document for their answers.
constexpr std::array kIndexNowMeanings{
    StatusMeaning{200, "The URL was received."},
    StatusMeaning{202, "The URL was received; the key is still being validated."},
    StatusMeaning{400, "The request was in an invalid format."},
    StatusMeaning{403, "The key is not valid: the key file is missing from the site or does not hold the key."},
    StatusMeaning{422, "The URL does not belong to the host, or the key does not match the key file."},
    StatusMeaning{429, "Too many requests: wait before sending again."},
};

// General HTTP meanings of single statuses; ranges are handled below.
constexpr std::array kHttpMeanings{
    StatusMeaning{301, "The address has moved permanently; the request was redirected and followed."},
    StatusMeaning{302, "The address has moved for now; the request was redirected and followed."},
    StatusMeaning{400, "The engine says the request was malformed."},
    StatusMeaning{401, "The engine refused the request: it asks for a login."},
    StatusMeaning{403, "The engine refused the request."},
    StatusMeaning{404, "No such address: the catalogue entry may be out of date."},
    StatusMeaning{410, "The service was retired: the engine no longer takes submissions here."},
    StatusMeaning{429, "Too many requests: wait before sending again."},
};

const char* find(const auto& table, int status) {
    for (const StatusMeaning& row : table) {
        if (row.status == status)
            return row.meaning;
    }
    return nullptr;
}

QString failureMeaning(NetworkFailure failure) {
    switch (failure) {
    case NetworkFailure::Timeout:
        return QStringLiteral("No answer in time: the engine may be down or slow; try later.");
    case NetworkFailure::HostNotFound:
        return QStringLiteral("The engine's host name was not found (DNS): check the address and the connection.");
    case NetworkFailure::ConnectionRefused:
        return QStringLiteral("The connection was refused: nothing answers at that address now.");
    case NetworkFailure::Tls:
        return QStringLiteral("The secure connection failed (TLS): the engine's certificate could not be trusted.");
    case NetworkFailure::None:
        // Loaded without an HTTP exchange (not a web address, or the status was not reported).
        return QStringLiteral("The page loaded, but no HTTP status was reported.");
    case NetworkFailure::Other:
        break;
    }
    return QStringLiteral("The request failed before any answer arrived.");
}

} // namespace

bool isIndexNowUrl(const QString& url) {
    const QUrl parsed = QUrl::fromEncoded(url.toUtf8(), QUrl::TolerantMode);
    QString path = parsed.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path.endsWith(QLatin1StringView("/indexnow"), Qt::CaseInsensitive);
}

QString answerMeaning(int httpStatus, NetworkFailure failure, bool indexNow) {
    if (httpStatus <= 0)
        return failureMeaning(failure);
    if (indexNow) {
        if (const char* meaning = find(kIndexNowMeanings, httpStatus))
            return QString::fromLatin1(meaning);
    }
    if (const char* meaning = find(kHttpMeanings, httpStatus))
        return QString::fromLatin1(meaning);
    if (httpStatus >= 200 && httpStatus < 300)
        return QStringLiteral("The engine accepted the request.");
    if (httpStatus >= 300 && httpStatus < 400)
        return QStringLiteral("The engine redirected the request.");
    if (httpStatus >= 500 && httpStatus < 600)
        return QStringLiteral("The engine had a fault of its own: try later.");
    return QStringLiteral("The engine refused the request (HTTP %1).").arg(httpStatus);
}

QString keyFileInPlaceMeaning() {
    return QStringLiteral("The key file is in place; the engine may not have read it yet. Try again in a few hours; "
                          "if it keeps refusing, the key may belong to another site.");
}

QString titleErrorMeaning() {
    return QStringLiteral("The engine's answer page reports an error in its title.");
}

QString skippedMeaning(bool sent) {
    return sent ? QStringLiteral("Not judged: the run moved on (Next) or was stopped while the page was loading.")
                : QStringLiteral("Not sent: the run was stopped first.");
}

QString pendingMeaning() {
    return QStringLiteral("Waiting for the answer.");
}
