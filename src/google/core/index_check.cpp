#include "google/core/index_check.h"

#include "google/core/google_api.h"
#include "google/core/search_console_client.h"
#include "history/core/history_store.h"
#include "platform/text_codec.h"

#include <QDateTime>
#include <QTimer>
#include <algorithm>

using namespace Qt::StringLiterals;

IndexCheck::IndexCheck(SearchConsoleClient& client, QObject* parent) : QObject(parent), m_client(client) {}

void IndexCheck::cancel() {
    ++m_generation;
    if (!running())
        return;
    m_client.cancelInspections();
    m_answered = m_inspections.size();
    m_results.finished = QDateTime::currentDateTime();
    m_results.records.clear();
    for (const UrlInspection& inspection : std::as_const(m_inspections)) {
        ResultRecord kept = record(inspection);
        if (!answered(inspection)) {
            kept.verdict = ResultRecord::Verdict::Skipped;
            kept.meaning = u"Not inspected: the check was stopped first."_s;
            kept.reason.clear();
        }
        m_results.records.append(kept);
    }
}

void IndexCheck::start(const QString& property, const QList<QUrl>& pages) {
    cancel();
    m_property = property;
    m_inspections.clear();
    m_answered = 0;
    m_results = {};
    m_results.started = QDateTime::currentDateTime();
    const quint64 generation = m_generation;
    for (int index = 0; index < pages.size(); ++index) {
        const QUrl& page = pages.at(index);
        UrlInspection waiting;
        waiting.page = page.toString(QUrl::FullyEncoded);
        waiting.property = property;
        m_inspections.append(waiting);
        if (QString problem = pageProblem(property, page); !problem.isEmpty()) {
            waiting.problem = std::move(problem);
            // Answered from the event loop, as the inspections sent are.
            QTimer::singleShot(0, this, [this, index, waiting, generation] {
                if (generation == m_generation)
                    answer(index, waiting);
            });
            continue;
        }
        m_client.inspect(property, page, [this, index, generation](const UrlInspection& inspection) {
            if (generation == m_generation)
                answer(index, inspection);
        });
    }
    if (pages.isEmpty()) {
        QTimer::singleShot(0, this, [this, generation] {
            if (generation == m_generation && m_finished)
                m_finished();
        });
    }
}

void IndexCheck::answer(int index, const UrlInspection& inspection) {
    m_inspections[index] = inspection;
    ++m_answered;
    if (m_history && inspection.inspected()) {
        m_history->keepInspection({inspection.page, inspection.property, QDateTime::currentDateTimeUtc(),
                                   inspection.verdict, inspection.coverageState, inspection.lastCrawlTime,
                                   inspection.googleCanonical});
    }
    if (m_pageDone)
        m_pageDone(index, inspection);
    if (m_answered < m_inspections.size())
        return;
    m_results.finished = QDateTime::currentDateTime();
    for (const UrlInspection& answered : std::as_const(m_inspections))
        m_results.records.append(record(answered));
    if (m_finished)
        m_finished();
}

bool IndexCheck::allIndexed() const {
    return std::all_of(m_inspections.cbegin(), m_inspections.cend(),
                       [](const UrlInspection& inspection) { return inspection.inspected() && inspection.indexed(); });
}

QString IndexCheck::summary() const {
    qsizetype indexed = 0;
    qsizetype notIndexed = 0;
    qsizetype notInspected = 0;
    for (const UrlInspection& inspection : m_inspections) {
        if (!inspection.inspected() || !answered(inspection))
            ++notInspected;
        else if (inspection.indexed())
            ++indexed;
        else
            ++notIndexed;
    }
    QString text = u"%1 %2 checked: %3 indexed, %4 not indexed"_s.arg(
        QString::number(m_inspections.size()), m_inspections.size() == 1 ? u"page"_s : u"pages"_s,
        QString::number(indexed), QString::number(notIndexed));
    if (notInspected > 0)
        text += u", %1 not inspected"_s.arg(QString::number(notInspected));
    text += u". "_s;
    return m_property.isEmpty() ? text.trimmed() : text + m_client.quota().sentence(m_property);
}

QString IndexCheck::pageProblem(const QString& property, const QUrl& page) {
    const QString shown = displayText(page.toString(QUrl::FullyEncoded));
    if (!page.isValid() || page.host().isEmpty() || (page.scheme() != "http"_L1 && page.scheme() != "https"_L1))
        return u"Not inspected: \"%1\" is not a web address (http:// or https://)."_s.arg(shown);
    if (!propertyCovers(property, page)) {
        return u"Not inspected: %1 is not in the property %2; Google inspects only the pages of the property it is "
               u"asked about."_s.arg(shown, property);
    }
    return {};
}

ResultRecord IndexCheck::record(const UrlInspection& inspection) {
    ResultRecord record;
    record.title = u"Google index"_s;
    record.url = inspection.page;
    record.httpStatus = inspection.httpStatus;
    record.verdict =
        inspection.inspected() && inspection.indexed() ? ResultRecord::Verdict::Ok : ResultRecord::Verdict::Error;
    if (!inspection.inspected()) {
        record.meaning = inspection.problem;
        return record;
    }
    const QString coverage =
        displayText(inspection.coverageState.isEmpty() ? inspection.verdict : inspection.coverageState);
    record.meaning = inspection.indexed() ? u"Google has the page in its index: %1."_s.arg(coverage)
                                          : u"Google does not have the page in its index: %1."_s.arg(coverage);
    QStringList details{u"verdict "_s + displayText(inspection.verdict)};
    details.append(inspection.lastCrawlTime.isNull()
                       ? u"never crawled"_s
                       : u"last crawl "_s + inspection.lastCrawlTime.toUTC().toString(Qt::ISODate));
    if (!inspection.googleCanonical.isEmpty())
        details.append(u"Google's canonical "_s + displayText(inspection.googleCanonical));
    if (!inspection.inspectionLink.isEmpty())
        details.append(u"in Search Console: "_s + displayText(inspection.inspectionLink));
    record.reason = details.join(u"; "_s);
    return record;
}
