#pragma once

#include "google/core/search_console_answers.h"
#include "submit/core/result_record.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>

class HistoryStore;
class SearchConsoleClient;

// Google's index status of a list of pages in one property: the one job behind the window's
// "Check Google's index" and the command line's --inspect. Each page is inspected in turn through
// the SearchConsoleClient, within its quota (paced to 600 a minute, at most 2 000 a day); a page
// that is not a web address or lies outside the property is answered at once, without asking
// Google. One result per page, in the order given.
class IndexCheck final : public QObject {
public:
    using PageDone = std::function<void(int index, const UrlInspection& inspection)>;

    explicit IndexCheck(SearchConsoleClient& client, QObject* parent = nullptr);

    // Called as each page is answered, and once when every page is.
    void setPageDone(PageDone done) { m_pageDone = std::move(done); }
    void setFinished(std::function<void()> finished) { m_finished = std::move(finished); }

    // Where each page's answer is kept (null: nowhere); the history must outlive the check.
    void setHistory(HistoryStore* history) { m_history = history; }

    // Inspects pages within property; a check still going is cancelled first.
    void start(const QString& property, const QList<QUrl>& pages);
    // Stops the check: the pages not yet answered (and the client's inspections with them) are
    // dropped without answers, and are SKIPPED in results().
    void cancel();

    bool running() const { return m_answered < m_inspections.size(); }
    qsizetype answeredCount() const { return m_answered; }
    // True when inspection (one of inspections()) has been answered: a verdict, or why there is none.
    static bool answered(const UrlInspection& inspection) {
        return !inspection.inspected() || !inspection.verdict.isEmpty();
    }
    const QString& property() const { return m_property; }
    // One per page, in order; a page not answered yet has neither verdict nor problem.
    const QList<UrlInspection>& inspections() const { return m_inspections; }
    bool allIndexed() const;
    // "3 pages checked: 1 indexed, 2 not indexed. 3 of 2 000 URL inspections for … used in the last 24 hours."
    QString summary() const;
    // The records for a report (Save Report As…, --report), one per page, once the check ended.
    const RunResults& results() const { return m_results; }

    // Why page cannot be inspected within property, in words; empty when it can.
    static QString pageProblem(const QString& property, const QUrl& page);
    // A page's inspection as a report record: OK when Google has it in its index, ERROR when not
    // (or when it could not be inspected); the meaning says which, the reason gives the details.
    static ResultRecord record(const UrlInspection& inspection);

private:
    void answer(int index, const UrlInspection& inspection);

    SearchConsoleClient& m_client;
    HistoryStore* m_history = nullptr;
    PageDone m_pageDone;
    std::function<void()> m_finished;
    QString m_property;
    QList<UrlInspection> m_inspections;
    qsizetype m_answered = 0;
    quint64 m_generation = 0;
    RunResults m_results;
};
