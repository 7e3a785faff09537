#pragma once

#include "google/core/index_check_quota.h"
#include "google/core/search_console_answers.h"
#include "net/core/fetcher.h"
#include "submit/core/result_record.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>

class Clock;
class GoogleAccessToken;

// Google Search Console through the one Fetcher: the account's properties, sitemaps submitted
// and read back, and URL inspection. Every call carries "Authorization: Bearer <token>" from the
// GoogleAccessToken; an answer of 401 renews the token once and repeats the call once. Every
// failure comes back as words with what to do. URL inspections go one at a time, paced and
// counted by the IndexCheckQuota; tick() sends the next one when its time has come (a timer calls
// it while one waits; tests call it after moving their clock).
//
// Answers come to the callbacks on the caller's thread; none comes after cancel() or after the
// client is destroyed.
class SearchConsoleClient final : public QObject {
public:
    static constexpr int kTimeoutMs = 30000;
    static constexpr qint64 kMaxAnswerBytes = 4 * 1024 * 1024;

    SearchConsoleClient(Fetcher& fetcher, GoogleAccessToken& token, const Clock& clock, QObject* parent = nullptr);
    ~SearchConsoleClient() override;

    // The title of the records of sitemap submissions.
    static QString engineTitle();

    void listProperties(std::function<void(const PropertyList&)> done);
    // PUT of the sitemap for property: one record (verdict, status, meaning; reason: Google's message).
    void submitSitemap(const QString& property, const QUrl& sitemap, std::function<void(const ResultRecord&)> done);
    // The submission, then (delayMs later, when Google took it) its state read back into the record's reason:
    // the one record per sitemap that an announcement shows.
    static constexpr int kReadBackDelayMs = 5000;
    void submitAndReadBack(const QString& property, const QUrl& sitemap, std::function<void(const ResultRecord&)> done,
                           int delayMs = kReadBackDelayMs);
    void readSitemap(const QString& property, const QUrl& sitemap, std::function<void(const SitemapReadBack&)> done);
    void listSitemaps(const QString& property, std::function<void(const SitemapList&)> done);
    // Queues the inspection of page within property; answered in the order asked.
    void inspect(const QString& property, const QUrl& page, std::function<void(const UrlInspection&)> done);

    // The inspections counted; a caller may say quota().sentence(property).
    IndexCheckQuota& quota() { return m_quota; }
    int inspectionsWaiting() const { return static_cast<int>(m_inspections.size()); }

    void tick();
    // Drops every call in progress and every queued inspection, without answers.
    void cancel();
    // Drops the inspections only (queued, and the answer of the one in progress); the other
    // calls, such as an announcement's sitemap submissions, go on.
    void cancelInspections();

private:
    struct Call;
    struct Inspection {
        QString property;
        QUrl page;
        std::function<void(const UrlInspection&)> done;
    };
    // The answer to a call, and (when not empty) why it failed in words the answer does not give:
    // no token was had, or Google refused a token that cannot be renewed.
    using Answered = std::function<void(const FetchReply& reply, const QString& tokenProblem)>;

    void send(const FetchRequest& request, Answered done);
    void sendCall(const std::shared_ptr<Call>& call);
    void nextInspection();
    QString account() const;

    Fetcher& m_fetcher;
    GoogleAccessToken& m_token;
    const Clock& m_clock;
    IndexCheckQuota m_quota;
    QSet<Fetcher::RequestId> m_inFlight;
    quint64 m_generation = 0;
    QList<Inspection> m_inspections;
    quint64 m_inspectionGeneration = 0;
    bool m_inspecting = false;
    QTimer m_paceTimer;
};
