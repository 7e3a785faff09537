#pragma once

#include "net/core/fetcher.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// What the Search Console API answers, as plain values, and its failures said in words.

// A property the account can use: "https://www.example.com/" (URL prefix) or "sc-domain:example.com".
struct GoogleProperty {
    QString siteUrl;
    QString permissionLevel; // siteOwner, siteFullUser, siteRestrictedUser, siteUnverifiedUser
};

struct PropertyList {
    QList<GoogleProperty> properties;
    int httpStatus = 0;
    QString problem; // empty when the list was read
    QStringList siteUrls() const;
};

struct SitemapTypeCount {
    QString type; // web, image, video …
    qint64 submitted = 0;
    qint64 indexed = 0;
};

// How Google processed one sitemap.
struct SitemapState {
    QString path;
    QDateTime lastSubmitted;  // null when Google does not say
    QDateTime lastDownloaded; // null before Google first read it
    bool isPending = false;
    bool isSitemapsIndex = false;
    qint64 errors = 0;
    qint64 warnings = 0;
    QList<SitemapTypeCount> contents;

    static SitemapState fromJson(const QJsonObject& json);
    // "Google's state of <path>: submitted …, downloaded …, pending, 0 errors, 0 warnings; web: 12 submitted."
    QString sentence() const;
};

struct SitemapReadBack {
    SitemapState state;
    int httpStatus = 0;
    QString problem; // empty when the state was read
};

struct SitemapList {
    QList<SitemapState> sitemaps;
    int httpStatus = 0;
    QString problem;
};

// Google's index status of one page (URL inspection).
struct UrlInspection {
    QString page;
    QString property;
    QString verdict;       // PASS, PARTIAL, FAIL, NEUTRAL, VERDICT_UNSPECIFIED; empty when not inspected
    QString coverageState; // "Submitted and indexed", "Crawled - currently not indexed", "URL is unknown to Google" …
    QString indexingState;
    QString pageFetchState;
    QString robotsTxtState;
    QDateTime lastCrawlTime; // null when never crawled
    QString googleCanonical;
    QString userCanonical;
    QString inspectionLink; // the page in Search Console
    int httpStatus = 0;
    QString problem; // empty when inspected

    bool inspected() const { return problem.isEmpty(); }
    bool indexed() const { return verdict == QLatin1StringView("PASS"); }
    // Reads inspectionResult from the API's answer.
    void readJson(const QJsonObject& answer);
    // One line for a terminal or a report: page, indexed or not, coverage, last crawl, Google's canonical;
    // or the page and why it was not inspected.
    QString line() const;
};

// What a failed API call means and what to do, in one or two sentences. reply is the API's
// answer (httpStatus 0: no answer); account is the service account's email (empty: unknown); property the
// Search Console property; subject what the call was about ("the sitemap https://…/sitemap.xml").
// Empty for a 2xx answer.
enum class SearchConsoleCall { ListProperties, SubmitSitemap, ReadSitemap, ListSitemaps, Inspect };
QString searchConsoleProblem(SearchConsoleCall call, const FetchReply& reply, const QString& account,
                             const QString& property, const QString& subject);

// Google's own message in an error answer ({"error":{"message":…}}), shown safely; empty when none.
QString googleErrorMessage(const QByteArray& body);
