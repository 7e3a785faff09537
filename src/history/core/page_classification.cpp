#include "history/core/page_classification.h"

#include <QDateTime>
#include <QTimeZone>

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
    hash = (hash ^ (unit & 0xff)) * kFnvPrime;
    return (hash ^ (unit >> 8)) * kFnvPrime;
}

qint64 secondsOf(const QDateTime& time) {
    return time.isValid() ? time.toSecsSinceEpoch() : 0;
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
    m_index.reserve(size);
}

void PageHistory::add(const Entry& entry) {
    m_index.insert(entry.key, static_cast<qsizetype>(m_entries.size()));
    m_entries.push_back(entry);
}

qsizetype PageHistory::find(qint64 key) const {
    const auto found = m_index.constFind(key);
    return found == m_index.cend() ? -1 : found.value();
}

bool pageNeedsSending(const PageHistory::Entry* entry, const HistoryPage& page) {
    if (!entry || entry->okAnnounced == 0)
        return true;
    if (page.gone)
        return entry->verdict != PageVerdict::OkGone;
    if (entry->verdict == PageVerdict::OkGone)
        return true;
    return page.lastmod.isValid() && secondsOf(page.lastmod) > entry->okAnnounced;
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
            out.state = page.lastmod.isValid() && secondsOf(page.lastmod) > entry->okAnnounced ? PageState::Changed
                                                                                               : PageState::Unchanged;
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
