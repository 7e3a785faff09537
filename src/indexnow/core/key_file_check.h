#pragma once

#include "net/core/fetcher.h"

#include <QString>
#include <QUrl>
#include <functional>

// The key-file check: one GET of the key file's address, with redirects followed as a search
// engine follows them (at most 5, same host) and a 15-second limit; nothing else is requested.

inline constexpr int kKeyFileCheckTimeoutMs = 15000;
inline constexpr int kKeyFileCheckMaxRedirects = 5;
// A key file is at most 128 characters; a longer answer is certainly something else.
inline constexpr qint64 kKeyFileCheckMaxBodyBytes = 64 * 1024;
// How much of an unexpected answer is shown.
inline constexpr int kKeyFileShownCharacters = 100;

struct KeyFileCheck {
    enum class Outcome {
        Found,       // the file is there and holds the key
        OtherText,   // an answer arrived (2xx) but holds something else
        NotFound,    // the site answered with another status
        Unreachable, // no answer: the network error, a refused redirect, the time limit
    };
    Outcome outcome = Outcome::Unreachable;
    QUrl url;           // the address checked
    int httpStatus = 0; // the answer's status; 0 when Unreachable
    // OtherText: the first 100 characters received (control characters as spaces);
    // Unreachable: the error. Empty otherwise.
    QString detail;

    // What the check found, in one sentence for the user.
    QString sentence() const;
};

// What a check of the key file at url says while it runs.
QString keyFileCheckingSentence(const QUrl& url);

// The key an IndexNow request URL sends and the key file an engine checks for it: the
// "keyLocation" parameter when the request has one, else the key file's address for the site of
// its "url" parameter (see indexNowKeyFileAddress). When there is no key or no such address,
// keyFile is empty and problem says why, in one sentence for the user.
struct IndexNowRequestKey {
    QString key;
    QUrl keyFile;
    QString problem;
};
IndexNowRequestKey keyFileOfRequest(const QString& requestUrl);

// The request the check sends for url.
FetchRequest keyFileRequest(const QUrl& url, int timeoutMs = kKeyFileCheckTimeoutMs);

// Judges the fetcher's reply for the key file at url. The file holds the key when its text,
// without a UTF-8 byte order mark and blanks or line breaks at either end (which text editors
// add), equals key exactly.
KeyFileCheck judgeKeyFile(const QUrl& url, const QString& key, const FetchReply& reply);

// Checks the key file at url through fetcher; done gets the result on the caller's thread, unless
// receiver is destroyed or the request cancelled first (as Fetcher::fetch).
Fetcher::RequestId checkKeyFile(Fetcher& fetcher, const QUrl& url, const QString& key, QObject* receiver,
                                std::function<void(const KeyFileCheck&)> done, int timeoutMs = kKeyFileCheckTimeoutMs);
