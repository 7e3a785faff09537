#include "history/core/page_classification.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <bit>

using namespace Qt::StringLiterals;

namespace {

constexpr quint64 kFnvOffset = 14695981039346656037ULL;
constexpr quint64 kFnvPrime = 1099511628211ULL;

// Where the host ends: the first '/', '?' or '#' after "://"; 0 when there is no "://".
qsizetype hostEnd(QStringView address) {
    const qsizetype scheme = address.indexOf("://"_L1);
    if (scheme < 0)
        return 0;
    qsizetype end = scheme + 3;
    while (end < address.size()) {
        const char16_t c = address[end].unicode();
        if (c == u'/' || c == u'?' || c == u'#')
            break;
        ++end;
    }
    return end;
}

inline quint64 mix(quint64 hash, char16_t unit) {
    return (hash ^ unit) * kFnvPrime;
}

qint64 secondsOf(const QDateTime& time) {
    return time.isValid() ? time.toSecsSinceEpoch() : 0;
}

// A page announced OK before has changed when its sitemap date is later than that announcement,
// or later than the date it had then: a sitemap that gives only the day moves a page changed on
// the day of its announcement to that same day, which is earlier than the announcement itself.
// A page still carrying the very date it was announced with is unchanged, even when that date
// lies after the announcement (a date in the future, a clock set wrong): else it would be sent
// again on every run until the date passed.
bool changedSinceAnnounced(const PageHistory::Entry& entry, const HistoryPage& page) {
    if (!page.lastmod.isValid())
        return false;
    const qint64 lastmod = secondsOf(page.lastmod);
    if (entry.lastmod != 0)
        return lastmod > entry.lastmod || (lastmod != entry.lastmod && lastmod > entry.okAnnounced);
    return lastmod > entry.okAnnounced;
}

} // namespace

qint64 pageKey(QStringView address) {
    quint64 hash = kFnvOffset;
    const qsizetype end = hostEnd(address);
    const QChar* data = address.data();
    for (qsizetype i = 0; i < end; ++i) {
        char16_t c = data[i].unicode();
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c + (u'a' - u'A'));
        else if (c >= 0x80)
            c = data[i].toLower().unicode();
        hash = mix(hash, c);
    }
    for (qsizetype i = end; i < address.size(); ++i)
        hash = mix(hash, data[i].unicode());
    return static_cast<qint64>(hash);
}

void PageHistory::reserve(qsizetype size) {
    m_entries.reserve(static_cast<size_t>(size));
    size_t capacity = 16;
    while (capacity < static_cast<size_t>(size) * 2)
        capacity *= 2;
    if (capacity > m_slots.size())
        rehash(capacity);
}

void PageHistory::rehash(size_t capacity) {
    m_slots.assign(capacity, 0);
    m_shift = 64 - std::countr_zero(capacity);
    for (size_t i = 0; i < m_entries.size(); ++i)
        m_slots[static_cast<size_t>(slotOf(m_entries[i].key))] = static_cast<qint32>(i + 1);
}

// The slot of key: the one holding it, or the free one where it would go.
qsizetype PageHistory::slotOf(qint64 key) const {
    const size_t mask = m_slots.size() - 1;
    size_t slot = static_cast<size_t>((static_cast<quint64>(key) * 0x9E3779B97F4A7C15ULL) >> m_shift);
    while (m_slots[slot] != 0 && m_entries[static_cast<size_t>(m_slots[slot] - 1)].key != key)
        slot = (slot + 1) & mask;
    return static_cast<qsizetype>(slot);
}

void PageHistory::add(const Entry& entry) {
    if ((m_entries.size() + 1) * 2 > m_slots.size())
        rehash(std::max<size_t>(16, m_slots.size() * 2));
    qint32& slot = m_slots[static_cast<size_t>(slotOf(entry.key))];
    if (slot != 0) {
        m_entries[static_cast<size_t>(slot - 1)] = entry;
        return;
    }
    m_entries.push_back(entry);
    slot = static_cast<qint32>(m_entries.size());
}

qsizetype PageHistory::find(qint64 key) const {
    if (m_slots.empty())
        return -1;
    const qint32 slot = m_slots[static_cast<size_t>(slotOf(key))];
    return slot == 0 ? -1 : slot - 1;
}

bool pageNeedsSending(const PageHistory::Entry* entry, const HistoryPage& page) {
    if (!entry || entry->okAnnounced == 0)
        return true;
    if (page.gone)
        return entry->verdict != PageVerdict::OkGone;
    if (entry->verdict == PageVerdict::OkGone)
        return true;
    return changedSinceAnnounced(*entry, page);
}

PageClassification classifyPages(const PageHistory& history, const QList<HistoryPage>& pages, bool everySitemapRead) {
    PageClassification result;
    result.pages.resize(pages.size());
    std::vector<char> seen(everySitemapRead ? history.entries().size() : 0, 0);
    const std::vector<PageHistory::Entry>& entries = history.entries();
    for (qsizetype i = 0; i < pages.size(); ++i) {
        const HistoryPage& page = pages[i];
        ClassifiedPage& out = result.pages[i];
        const qsizetype index = history.find(pageKey(page.address));
        if (index >= 0 && everySitemapRead)
            seen[static_cast<size_t>(index)] = 1;
        const PageHistory::Entry* entry = index >= 0 ? &entries[static_cast<size_t>(index)] : nullptr;
        if (!entry || entry->okAnnounced == 0 || entry->verdict == PageVerdict::OkGone) {
            out.state = PageState::New;
        } else {
            out.announced = entry->okAnnounced;
            out.state = changedSinceAnnounced(*entry, page) ? PageState::Changed : PageState::Unchanged;
        }
        ++result.counts[static_cast<int>(out.state)];
    }
    result.goneWorkedOut = everySitemapRead;
    for (size_t i = 0; i < seen.size(); ++i) {
        const PageHistory::Entry& entry = entries[i];
        if (!seen[i] && entry.okAnnounced != 0 && entry.verdict != PageVerdict::OkGone)
            result.gone.append({QString(), entry.key, entry.okAnnounced});
    }
    result.counts[static_cast<int>(PageState::Gone)] = result.gone.size();
    return result;
}

QStringList PageClassification::toAnnounce(const QList<HistoryPage>& given) const {
    QStringList addresses;
    addresses.reserve(count(PageState::New) + count(PageState::Changed) + gone.size());
    for (qsizetype i = 0; i < given.size() && i < pages.size(); ++i) {
        if (pages[i].state == PageState::New || pages[i].state == PageState::Changed)
            addresses.append(given[i].address);
    }
    for (const GonePage& page : gone)
        addresses.append(page.address);
    return addresses;
}

QString pageStateText(const ClassifiedPage& page) {
    const QString date = QDateTime::fromSecsSinceEpoch(page.announced, QTimeZone::utc()).toString(u"yyyy-MM-dd"_s);
    switch (page.state) {
    case PageState::New:
        return u"New"_s;
    case PageState::Changed:
        return u"Changed since %1"_s.arg(date);
    case PageState::Unchanged:
        return u"Unchanged (announced %1)"_s.arg(date);
    case PageState::Gone:
        break;
    }
    return u"Gone from the sitemap"_s;
}
