#pragma once

#include <QDateTime>
#include <QString>

// The latest answer of Google Search Console's URL inspection about one page, as the history
// keeps it.
struct PageInspection {
    QString page;            // the page's address
    QString property;        // the Search Console property it was inspected in
    QDateTime inspected;     // when; now when invalid on writing; read back in local time
    QString verdict;         // PASS, PARTIAL, FAIL, NEUTRAL …
    QString coverageState;   // "Submitted and indexed", "URL is unknown to Google" …
    QDateTime lastCrawl;     // null when never crawled; read back in UTC
    QString googleCanonical; // empty when Google named none
};
