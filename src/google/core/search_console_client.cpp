#include "google/core/search_console_client.h"

#include "google/core/google_access_token.h"
#include "google/core/google_api.h"
#include "platform/clock.h"
#include "platform/text_codec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

struct SearchConsoleClient::Call {
    FetchRequest request;
    Answered done;
    bool renewed = false;
    quint64 generation = 0;
};

namespace {

FetchRequest apiRequest(const QUrl& url, const QByteArray& method) {
    FetchRequest request;
    request.url = url;
    request.method = method;
    request.timeoutMs = SearchConsoleClient::kTimeoutMs;
    request.maxRedirects = 0; // a credential never follows a redirect
    request.maxBodyBytes = SearchConsoleClient::kMaxAnswerBytes;
    return request;
}

QString subjectOf(const QUrl& sitemap) {
    return u"the sitemap "_s + sitemap.toString(QUrl::FullyEncoded);
}

} // namespace

SearchConsoleClient::SearchConsoleClient(Fetcher& fetcher, GoogleAccessToken& token, const Clock& clock,
                                         QObject* parent)
    : QObject(parent), m_fetcher(fetcher), m_token(token), m_clock(clock), m_quota(clock) {
    m_paceTimer.setInterval(20);
    connect(&m_paceTimer, &QTimer::timeout, this, &SearchConsoleClient::tick);
}

SearchConsoleClient::~SearchConsoleClient() {
    cancel();
}

QString SearchConsoleClient::engineTitle() {
    return u"Google Search Console"_s;
}

QString SearchConsoleClient::account() const {
    return m_token.account();
}

void SearchConsoleClient::cancel() {
    ++m_generation;
    for (const Fetcher::RequestId id : std::as_const(m_inFlight))
        m_fetcher.cancel(id);
    m_inFlight.clear();
    m_inspections.clear();
    m_inspecting = false;
    m_paceTimer.stop();
}

void SearchConsoleClient::cancelInspections() {
    ++m_inspectionGeneration;
    m_inspections.clear();
    m_inspecting = false;
    m_paceTimer.stop();
}

void SearchConsoleClient::send(const FetchRequest& request, Answered done) {
    auto call = std::make_shared<Call>();
    call->request = request;
    call->done = std::move(done);
    call->generation = m_generation;
    sendCall(call);
}

void SearchConsoleClient::sendCall(const std::shared_ptr<Call>& call) {
    m_token.get(this, [this, call](const GoogleAccessToken::Result& token) {
        if (call->generation != m_generation)
            return;
        if (token.token.isEmpty()) {
            call->done({}, token.problem);
            return;
        }
        if (!isAllowedGoogleAddress(call->request.url)) {
            FetchReply refused;
            refused.failure = NetworkFailure::Other;
            refused.errorText = u"%1 is not an https address; no credential is sent there."_s.arg(
                displayText(call->request.url.toDisplayString()));
            call->done(refused, {});
            return;
        }
        FetchRequest request = call->request;
        request.headers.append({QByteArrayLiteral("Authorization"), "Bearer " + token.token});
        auto id = std::make_shared<Fetcher::RequestId>(0);
        *id = m_fetcher.fetch(request, this, [this, call, id](const FetchReply& reply) {
            m_inFlight.remove(*id);
            if (call->generation != m_generation)
                return;
            if (reply.httpStatus == 401 && !call->renewed) {
                if (m_token.renew()) {
                    call->renewed = true;
                    sendCall(call);
                    return;
                }
                if (m_token.usesEnvironment()) {
                    call->done(reply, u"Google refused the access token in %1 (HTTP 401): it may have expired. Get "
                                      u"a new one, or unset the variable to sign in with the key file."_s.arg(
                                          QString::fromLatin1(GoogleAccessToken::kEnvironmentVariable)));
                    return;
                }
            }
            call->done(reply, {});
        });
        m_inFlight.insert(*id);
    });
}

void SearchConsoleClient::listProperties(std::function<void(const PropertyList&)> done) {
    send(apiRequest(sitesAddress(), "GET"), [this, done](const FetchReply& reply, const QString& tokenProblem) {
        PropertyList list;
        list.httpStatus = reply.httpStatus;
        list.problem = tokenProblem.isEmpty()
                           ? searchConsoleProblem(SearchConsoleCall::ListProperties, reply, account(), {}, {})
                           : tokenProblem;
        if (list.problem.isEmpty()) {
            const QJsonArray entries = QJsonDocument::fromJson(reply.body).object().value("siteEntry"_L1).toArray();
            for (const QJsonValue& entry : entries) {
                const QJsonObject object = entry.toObject();
                list.properties.append(
                    {object.value("siteUrl"_L1).toString(), object.value("permissionLevel"_L1).toString()});
            }
        }
        done(list);
    });
}

void SearchConsoleClient::submitSitemap(const QString& property, const QUrl& sitemap,
                                        std::function<void(const ResultRecord&)> done) {
    const QUrl address = sitemapAddress(property, sitemap.toString(QUrl::FullyEncoded));
    const quint32 started = m_clock.tickCount();
    send(apiRequest(address, "PUT"), [this, property, sitemap, address, started, done](const FetchReply& reply,
                                                                                       const QString& tokenProblem) {
        ResultRecord record;
        record.title = engineTitle();
        record.url = address.toString(QUrl::FullyEncoded);
        record.httpStatus = reply.httpStatus;
        record.failure = reply.httpStatus > 0 || tokenProblem.isEmpty() ? reply.failure : NetworkFailure::Other;
        record.error = tokenProblem.isEmpty() && reply.httpStatus <= 0 ? displayText(reply.errorText) : tokenProblem;
        record.milliseconds = static_cast<quint32>(m_clock.tickCount() - started);
        const QString problem = tokenProblem.isEmpty() ? searchConsoleProblem(SearchConsoleCall::SubmitSitemap, reply,
                                                                              account(), property, subjectOf(sitemap))
                                                       : tokenProblem;
        record.verdict = problem.isEmpty() ? ResultRecord::Verdict::Ok : ResultRecord::Verdict::Error;
        record.meaning = problem.isEmpty() ? u"Google took the sitemap %1 for %2."_s.arg(
                                                 displayText(sitemap.toString(QUrl::FullyEncoded)), property)
                                           : problem;
        record.reason = googleErrorMessage(reply.body);
        done(record);
    });
}

void SearchConsoleClient::submitAndReadBack(const QString& property, const QUrl& sitemap,
                                            std::function<void(const ResultRecord&)> done, int delayMs) {
    submitSitemap(property, sitemap, [this, property, sitemap, done, delayMs](const ResultRecord& submitted) {
        if (submitted.verdict != ResultRecord::Verdict::Ok) {
            done(submitted);
            return;
        }
        QTimer::singleShot(delayMs, this, [this, property, sitemap, done, submitted, generation = m_generation] {
            if (generation != m_generation)
                return;
            readSitemap(property, sitemap, [done, submitted](const SitemapReadBack& readBack) {
                ResultRecord record = submitted;
                record.reason = readBack.problem.isEmpty() ? readBack.state.sentence()
                                                           : u"Its state could not be read back: "_s + readBack.problem;
                done(record);
            });
        });
    });
}

void SearchConsoleClient::readSitemap(const QString& property, const QUrl& sitemap,
                                      std::function<void(const SitemapReadBack&)> done) {
    const QUrl address = sitemapAddress(property, sitemap.toString(QUrl::FullyEncoded));
    send(apiRequest(address, "GET"),
         [this, property, sitemap, done](const FetchReply& reply, const QString& tokenProblem) {
             SitemapReadBack readBack;
             readBack.httpStatus = reply.httpStatus;
             readBack.problem = tokenProblem.isEmpty() ? searchConsoleProblem(SearchConsoleCall::ReadSitemap, reply,
                                                                              account(), property, subjectOf(sitemap))
                                                       : tokenProblem;
             if (readBack.problem.isEmpty())
                 readBack.state = SitemapState::fromJson(QJsonDocument::fromJson(reply.body).object());
             done(readBack);
         });
}

void SearchConsoleClient::listSitemaps(const QString& property, std::function<void(const SitemapList&)> done) {
    send(apiRequest(sitemapsAddress(property), "GET"),
         [this, property, done](const FetchReply& reply, const QString& tokenProblem) {
             SitemapList list;
             list.httpStatus = reply.httpStatus;
             list.problem = tokenProblem.isEmpty()
                                ? searchConsoleProblem(SearchConsoleCall::ListSitemaps, reply, account(), property, {})
                                : tokenProblem;
             if (list.problem.isEmpty()) {
                 const QJsonArray entries = QJsonDocument::fromJson(reply.body).object().value("sitemap"_L1).toArray();
                 for (const QJsonValue& entry : entries)
                     list.sitemaps.append(SitemapState::fromJson(entry.toObject()));
             }
             done(list);
         });
}

void SearchConsoleClient::inspect(const QString& property, const QUrl& page,
                                  std::function<void(const UrlInspection&)> done) {
    m_inspections.append({property, page, std::move(done)});
    nextInspection();
}

void SearchConsoleClient::tick() {
    nextInspection();
}

void SearchConsoleClient::nextInspection() {
    while (!m_inspecting && !m_inspections.isEmpty()) {
        const Inspection& next = m_inspections.first();
        if (m_quota.dayUsedUp(next.property)) {
            const Inspection refused = m_inspections.takeFirst();
            UrlInspection result;
            result.page = refused.page.toString(QUrl::FullyEncoded);
            result.property = refused.property;
            result.problem = m_quota.usedUpSentence(refused.property);
            // Answered from the event loop, as the inspections sent are.
            QTimer::singleShot(
                0, this,
                [this, result, done = refused.done, generation = m_generation, inspections = m_inspectionGeneration] {
                    if (generation == m_generation && inspections == m_inspectionGeneration)
                        done(result);
                });
            continue;
        }
        if (m_quota.waitMs(next.property) > 0) {
            m_paceTimer.start();
            return;
        }
        m_paceTimer.stop();
        const Inspection current = m_inspections.takeFirst();
        m_quota.record(current.property);
        m_inspecting = true;

        FetchRequest request = apiRequest(inspectionAddress(), "POST");
        request.contentType = QByteArrayLiteral("application/json");
        const QString page = current.page.toString(QUrl::FullyEncoded);
        request.body = QJsonDocument(QJsonObject{{u"inspectionUrl"_s, page}, {u"siteUrl"_s, current.property}})
                           .toJson(QJsonDocument::Compact);
        send(request, [this, current, page, inspections = m_inspectionGeneration](const FetchReply& reply,
                                                                                  const QString& tokenProblem) {
            if (inspections != m_inspectionGeneration)
                return; // dropped by cancelInspections()
            UrlInspection result;
            result.page = page;
            result.property = current.property;
            result.httpStatus = reply.httpStatus;
            result.problem = tokenProblem.isEmpty() ? searchConsoleProblem(SearchConsoleCall::Inspect, reply, account(),
                                                                           current.property, page)
                                                    : tokenProblem;
            if (result.problem.isEmpty())
                result.readJson(QJsonDocument::fromJson(reply.body).object());
            m_inspecting = false;
            const quint64 generation = m_generation;
            current.done(result);
            if (generation == m_generation && inspections == m_inspectionGeneration)
                nextInspection();
        });
    }
}
