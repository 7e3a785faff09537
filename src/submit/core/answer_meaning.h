#pragma once

#include "platform/network_failure.h"

#include <QString>

// True for an IndexNow endpoint: a request URL whose path ends in "/indexnow".
bool isIndexNowUrl(const QString& url);

// One plain sentence that says what an answer means and, for a failure, what to do now.
// httpStatus 0 means no HTTP answer arrived, and failure says why. IndexNow endpoints have
// documented meanings of their own for some statuses; the general HTTP meaning stands otherwise.
QString answerMeaning(int httpStatus, NetworkFailure failure, bool indexNow);

// An IndexNow key refused (403 or 422) although the key file is in place and holds the key:
// what to do next.
QString keyFileInPlaceMeaning();

// Sentences for the records that no HTTP answer explains.
// A page that loaded, but whose title reports an error of its own ("ERROR …", "SERVER …").
QString titleErrorMeaning();
// An engine left by Next or Stop while its page was loading (sent), or never sent at all.
QString skippedMeaning(bool sent);
// An engine of the run in progress that has not been judged yet.
QString pendingMeaning();
