#pragma once

#include "history/core/history_types.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

// The key of a page in the history: a 64-bit FNV-1a hash of its address taken over UTF-16
// code units (one step a unit where FNV-1a takes a byte), with the scheme and host in lower
// case (addresses that differ only there are one page). Stable across machines and versions.
// Two addresses of one site sharing a key would share one state; for a site of a million pages
// the odds are below one in ten million.
qint64 pageKey(QStringView address);

// How a page was last announced to one engine group (page_states.verdict).
enum class PageVerdict { Failed = 0, Ok = 1, OkGone = 2 };

// The announcements of one site's pages to one engine (or shared group), as the history holds them.
class PageHistory {
public:
    struct Entry {
        qint64 key = 0;
        qint64 okAnnounced = 0;                    // seconds since 1970 UTC of the last OK announcement; 0: never
        PageVerdict verdict = PageVerdict::Failed; // of the last announcement
        qint64 lastmod = 0; // the page's sitemap date at the last OK announcement (seconds); 0: none
    };

    void reserve(qsizetype size);
    void add(const Entry& entry);
    qsizetype size() const { return static_cast<qsizetype>(m_entries.size()); }
    const std::vector<Entry>& entries() const { return m_entries; }
    // The index of the entry of key, or -1.
    qsizetype find(qint64 key) const;

private:
    qsizetype slotOf(qint64 key) const;
    void rehash(size_t capacity);

    std::vector<Entry> m_entries;
    // Open addressing over the keys (already hashes): entry index + 1 per slot, 0 when free; a
    // power of two at least twice the entries.
    std::vector<qint32> m_slots;
    int m_shift = 64;
};

// What a page is for one engine group.
enum class PageState { New, Changed, Unchanged, Gone };

struct ClassifiedPage {
    PageState state = PageState::New;
    qint64 announced = 0; // Changed, Unchanged, Gone: the last OK announcement (seconds since 1970 UTC)
};

struct GonePage {
    QString address; // filled by HistoryStore::classifyPages
    qint64 key = 0;
    qint64 announced = 0;
};

struct PageClassification {
    QList<ClassifiedPage> pages; // one per page given, in its order
    QList<GonePage> gone;        // announced before and absent now; empty unless worked out
    bool goneWorkedOut = false;
    qsizetype counts[4] = {0, 0, 0, 0}; // by PageState

    qsizetype count(PageState state) const { return counts[static_cast<int>(state)]; }
    // What "new or changed" sends: the New and Changed pages in their order, then the gone ones.
    QStringList toAnnounce(const QList<HistoryPage>& pages) const;
};

// Each page's state: New when never announced to the group with an OK answer (or announced as
// gone and now back); Changed when its lastmod is later than the last OK announcement; otherwise
// Unchanged (a page without a date is announced once, then stays unchanged). With
// everySitemapRead (the sources held a sitemap of the site and every child sitemap was read),
// the pages announced OK before and absent from `pages` are gone, unless they were already
// announced as gone.
PageClassification classifyPages(const PageHistory& history, const QList<HistoryPage>& pages, bool everySitemapRead);

// Whether a page with that entry (nullptr: none) is still to be sent.
bool pageNeedsSending(const PageHistory::Entry* entry, const HistoryPage& page);

// "New", "Changed since 2026-12-01", "Unchanged (announced 2026-12-01)", "Gone from the sitemap"
// (dates in UTC).
QString pageStateText(const ClassifiedPage& page);
