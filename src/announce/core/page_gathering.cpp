#include "announce/core/page_gathering.h"

#include <QUrl>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Where the host begins: after "http://" or "https://" in any letter case; 0 when neither.
qsizetype authorityStart(QStringView address) {
    if (address.startsWith("http://"_L1, Qt::CaseInsensitive))
        return 7;
    if (address.startsWith("https://"_L1, Qt::CaseInsensitive))
        return 8;
    return 0;
}

bool isHostCharacter(QChar c) {
    const char16_t u = c.unicode();
    return u >= 0x80 || (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'-' ||
           u == u'.' || u == u'_';
}

// addressRefusal, giving the host as it is written in the address (any letter case).
QString checkAddress(QStringView address, QStringView* host) {
    if (address.size() > kMaxAddressLength)
        return u"Longer than %1 characters."_s.arg(kMaxAddressLength);
    for (const QChar c : address) {
        if (c.unicode() <= 0x20 || c.unicode() == 0x7f)
            return u"Contains a blank or a control character."_s;
    }
    const qsizetype start = authorityStart(address);
    if (start == 0) {
        const qsizetype schemeEnd = address.indexOf("://"_L1);
        if (schemeEnd > 0)
            return u"Not an http or https address (%1)."_s.arg(address.first(schemeEnd));
        return u"Not an absolute address: it must begin with http:// or https://."_s;
    }
    qsizetype end = start;
    while (end < address.size() && address[end] != u'/' && address[end] != u'?' && address[end] != u'#')
        ++end;
    QStringView authority = address.sliced(start, end - start);
    if (authority.contains(u'@'))
        return u"Contains a user name or password."_s;
    QStringView name = authority;
    if (authority.startsWith(u'[')) { // an IPv6 address
        const qsizetype close = authority.indexOf(u']');
        if (close < 0)
            return u"The host is not a valid address."_s;
        name = authority.first(close + 1);
        authority = authority.sliced(close + 1);
    } else {
        const qsizetype colon = authority.indexOf(u':');
        name = colon < 0 ? authority : authority.first(colon);
        authority = colon < 0 ? QStringView() : authority.sliced(colon);
        for (const QChar c : name) {
            if (!isHostCharacter(c))
                return u"The host contains a character a host name cannot have."_s;
        }
    }
    if (!authority.isEmpty()) { // ":port"
        if (!authority.startsWith(u':') || authority.size() > 6)
            return u"The port is not a number."_s;
        for (const QChar c : authority.sliced(1)) {
            if (!c.isDigit())
                return u"The port is not a number."_s;
        }
    }
    if (name.isEmpty())
        return u"Has no host."_s;
    *host = name;
    return {};
}

} // namespace

QString addressRefusal(QStringView address, QString* host) {
    QStringView written;
    QString refusal = checkAddress(address, &written);
    if (refusal.isEmpty())
        *host = written.toString().toLower();
    return refusal;
}

PageGathering::PageGathering(const QString& siteUrl, qsizetype maxAddresses) : m_maxAddresses(maxAddresses) {
    const QUrl site = QUrl::fromUserInput(siteUrl.trimmed());
    m_siteHost = siteUrl.trimmed().isEmpty() ? QString() : site.host().toLower();
}

bool PageGathering::add(const QString& address, const QDateTime& lastmod) {
    if (m_pages.size() >= m_maxAddresses) {
        m_limitMessage =
            u"The limit of %1 addresses was reached: later addresses were not taken."_s.arg(m_maxAddresses);
        return false;
    }
    GatheredPage page{address, lastmod, GatheredPage::Status::Accepted, {}, -1};
    QStringView host;
    page.reason = checkAddress(address, &host);
    if (!page.reason.isEmpty()) {
        page.status = GatheredPage::Status::Refused;
        ++m_refused;
        m_pages.append(std::move(page));
        return true;
    }
    // The same address when only the scheme's or the host's letter case differ.
    const qsizetype hostEnd = host.data() - address.data() + host.size();
    const QStringView prefix = QStringView(address).first(hostEnd);
    const bool plain = std::none_of(prefix.begin(), prefix.end(), [](QChar c) { return c.isUpper(); });
    const QString key = plain ? address : prefix.toString().toLower() + QStringView(address).sliced(hostEnd);
    // Addresses come mostly host by host: the last host is tried before the table.
    int index = m_lastHost;
    if (index < 0 || host.compare(m_hosts[index].host, Qt::CaseInsensitive) != 0) {
        const QString name = host.toString().toLower();
        index = m_hostIndex.value(name, -1);
        if (index < 0) {
            index = static_cast<int>(m_hosts.size());
            m_hosts.append({name, 0, 0, !m_siteHost.isEmpty() && name != m_siteHost});
            m_hostIndex.insert(name, index);
        }
        m_lastHost = index;
    }
    page.host = index;
    const qsizetype before = m_seen.size();
    m_seen.insert(key);
    if (m_seen.size() == before) {
        page.status = GatheredPage::Status::Duplicate;
        ++m_duplicates;
        ++m_hosts[index].duplicates;
    } else {
        ++m_accepted;
        ++m_hosts[index].accepted;
    }
    m_pages.append(std::move(page));
    return true;
}

bool PageGathering::add(const QList<SitemapEntry>& entries) {
    m_pages.reserve(m_pages.size() + std::min(entries.size(), remaining()));
    m_seen.reserve(m_seen.size() + std::min(entries.size(), remaining()));
    for (const SitemapEntry& entry : entries) {
        if (!add(entry.address, entry.lastmod))
            return false;
    }
    return true;
}

QList<HostGroup> PageGathering::groups(const QDateTime& changedSince, qsizetype* leftOut) const {
    QList<HostGroup> result;
    result.reserve(m_hosts.size());
    for (const HostCount& host : m_hosts) {
        result.append({host.host, {}, host.foreign});
        result.back().addresses.reserve(host.accepted);
    }
    qsizetype dropped = 0;
    const bool filter = changedSince.isValid();
    for (const GatheredPage& page : m_pages) {
        if (page.status != GatheredPage::Status::Accepted)
            continue;
        if (filter && page.lastmod.isValid() && page.lastmod < changedSince) {
            ++dropped;
            continue;
        }
        result[page.host].addresses.append(page.address);
    }
    result.removeIf([](const HostGroup& group) { return group.addresses.isEmpty(); });
    if (leftOut)
        *leftOut = dropped;
    return result;
}
