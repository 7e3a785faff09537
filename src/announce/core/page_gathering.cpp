#include "announce/core/page_gathering.h"

#include <QHostAddress>
#include <QUrl>

#include <algorithm>
#include <utility>

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

// Whether a browser percent-encodes this ASCII character in a path, or in a query.
bool encodedInPath(char16_t c) {
    return c <= 0x20 || c == 0x7f || c == u'"' || c == u'<' || c == u'>' || c == u'`' || c == u'{' || c == u'}';
}
bool encodedInQuery(char16_t c) {
    return c <= 0x20 || c == 0x7f || c == u'"' || c == u'<' || c == u'>' || c == u'\'';
}

// Appends the host (as written, any letter case) to out as it is sent: in lower case, an
// international name in its ASCII (IDNA) form. Returns why it is not a host name; empty when it is.
QString appendHost(QString& out, QStringView written) {
    const qsizetype start = out.size();
    if (written.startsWith(u'[')) { // an IPv6 address
        const QHostAddress address(written.sliced(1, written.size() - 2).toString());
        if (address.protocol() != QAbstractSocket::IPv6Protocol)
            return u"The host is not a valid address."_s;
        out += written.toString().toLower();
        return {};
    }
    if (std::all_of(written.begin(), written.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        for (const QChar c : written)
            out += c.toLower();
    } else {
        out += QString::fromLatin1(QUrl::toAce(written.toString()));
    }
    const QStringView ace = QStringView(out).sliced(start);
    if (ace.isEmpty())
        return u"The host is not a valid international host name."_s;
    if (ace.size() > 253)
        return u"The host name is longer than 253 characters."_s;
    for (const QStringView label : ace.tokenize(u'.')) {
        if (label.isEmpty() || label.size() > 63 || label.startsWith(u'-') || label.endsWith(u'-'))
            return u"The host is not a host name: each part between dots must have 1 to 63 characters, "
                   "and none may begin or end with \"-\"."_s;
    }
    return {};
}

// Whether a path segment is `dots` dots ("%2e" in any case counting as one).
bool isDots(QStringView segment, int dots) {
    int count = 0;
    for (qsizetype i = 0; i < segment.size();) {
        if (segment[i] == u'.') {
            ++i;
        } else if (segment.sliced(i).startsWith("%2e"_L1, Qt::CaseInsensitive)) {
            i += 3;
        } else {
            return false;
        }
        ++count;
    }
    return count == dots;
}

// The path a browser asks for: "\" read as "/", "." and ".." segments resolved.
QString resolvedPath(QStringView path) {
    QString slashes = path.toString();
    slashes.replace(u'\\', u'/');
    QList<QStringView> kept;
    const QList<QStringView> segments = QStringView(slashes).split(u'/');
    for (qsizetype i = 1; i < segments.size(); ++i) { // segments[0] is before the first "/"
        const bool last = i + 1 == segments.size();
        if (isDots(segments[i], 2)) {
            if (!kept.isEmpty())
                kept.removeLast();
            if (last)
                kept.append(QStringView());
        } else if (isDots(segments[i], 1)) {
            if (last)
                kept.append(QStringView());
        } else {
            kept.append(segments[i]);
        }
    }
    QString resolved;
    resolved.reserve(slashes.size());
    for (const QStringView segment : kept)
        resolved += u'/' + segment;
    return resolved.isEmpty() ? u"/"_s : resolved;
}

void appendPercentEncoded(QString& out, QStringView text, bool query) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x80 || (query ? encodedInQuery(c) : encodedInPath(c))) {
            qsizetype length = 1;
            if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                length = 2;
            for (const char byte : text.sliced(i, length).toUtf8()) { // a lone surrogate as U+FFFD
                const auto b = static_cast<unsigned char>(byte);
                out += u'%';
                out += QLatin1Char(kHex[b >> 4]);
                out += QLatin1Char(kHex[b & 0xf]);
            }
            i += length - 1;
        } else {
            out += QChar(c);
        }
    }
}

// The address as engines expect it, or a refusal. *host receives where the host is in it.
QString normalize(QStringView address, QString* refusal, std::pair<qsizetype, qsizetype>* host) {
    if (address.size() > kMaxAddressLength) {
        *refusal = u"Longer than %1 characters."_s.arg(kMaxAddressLength);
        return {};
    }
    for (const QChar c : address) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            *refusal = u"Contains a control character."_s;
            return {};
        }
    }
    const qsizetype start = authorityStart(address);
    if (start == 0) {
        const qsizetype schemeEnd = address.indexOf("://"_L1);
        *refusal = schemeEnd > 0 ? u"Not an http or https address (%1)."_s.arg(address.first(schemeEnd))
                                 : u"Not an absolute address: it must begin with http:// or https://."_s;
        return {};
    }
    const bool https = start == 8;
    qsizetype end = start;
    while (end < address.size() && address[end] != u'/' && address[end] != u'?' && address[end] != u'#')
        ++end;
    QStringView authority = address.sliced(start, end - start);
    if (authority.contains(u'@')) {
        *refusal = u"Contains a user name or password."_s;
        return {};
    }
    QStringView name = authority;
    QStringView port;
    if (authority.startsWith(u'[')) {
        const qsizetype close = authority.indexOf(u']');
        if (close < 0) {
            *refusal = u"The host is not a valid address."_s;
            return {};
        }
        name = authority.first(close + 1);
        port = authority.sliced(close + 1);
    } else {
        const qsizetype colon = authority.indexOf(u':');
        name = colon < 0 ? authority : authority.first(colon);
        port = colon < 0 ? QStringView() : authority.sliced(colon);
        for (const QChar c : name) {
            if (!isHostCharacter(c)) {
                *refusal = u"The host contains a character a host name cannot have."_s;
                return {};
            }
        }
    }
    int portNumber = -1;
    if (!port.isEmpty()) { // ":port"; ":" alone is no port
        bool ok = port.startsWith(u':') && port.size() <= 6;
        if (ok && port.size() > 1)
            portNumber = port.sliced(1).toInt(&ok);
        if (!ok || !std::all_of(port.begin() + 1, port.end(), [](QChar c) { return c >= u'0' && c <= u'9'; })) {
            *refusal = u"The port is not a number."_s;
            return {};
        }
        if (port.size() > 1 && (portNumber < 1 || portNumber > 65535)) {
            *refusal = u"The port %1 is not between 1 and 65535."_s.arg(port.sliced(1));
            return {};
        }
    }
    if (name.isEmpty()) {
        *refusal = u"Has no host."_s;
        return {};
    }

    // Scheme and host in lower case, the host in ASCII form, no default port, the path and
    // query percent-encoded as a browser sends them, no fragment (it never leaves the browser).
    QStringView rest = address.sliced(end);
    if (const qsizetype hash = rest.indexOf(u'#'); hash >= 0)
        rest = rest.first(hash);
    const qsizetype question = rest.indexOf(u'?');
    const QStringView path = question < 0 ? rest : rest.first(question);
    const QStringView query = question < 0 ? QStringView() : rest.sliced(question);
    if (portNumber == (https ? 443 : 80))
        portNumber = -1;
    QString result;
    result.reserve(address.size() + 16);
    result += https ? "https://"_L1 : "http://"_L1;
    *refusal = appendHost(result, name);
    if (!refusal->isEmpty())
        return {};
    *host = {https ? 8 : 7, result.size() - (https ? 8 : 7)};
    if (portNumber > 0)
        result += u':' + QString::number(portNumber);
    if (path.isEmpty())
        result += u'/';
    if (path.contains(u'\\') || path.contains("/."_L1) || path.contains("/%2e"_L1, Qt::CaseInsensitive))
        appendPercentEncoded(result, resolvedPath(path), false);
    else
        appendPercentEncoded(result, path, false);
    appendPercentEncoded(result, query, true);
    if (result.size() > kMaxAddressLength) {
        *refusal = u"Longer than %1 characters once encoded."_s.arg(kMaxAddressLength);
        return {};
    }
    return result;
}

} // namespace

QString addressRefusal(QStringView address, QString* host) {
    QString refusal;
    std::pair<qsizetype, qsizetype> where;
    const QString normalized = normalize(address, &refusal, &where);
    if (refusal.isEmpty())
        *host = normalized.sliced(where.first, where.second);
    return refusal;
}

QString announcedAddress(QStringView address, QString* refusal, QString* host) {
    QString why;
    std::pair<qsizetype, qsizetype> where;
    QString result = normalize(address, &why, &where);
    if (refusal)
        *refusal = why;
    if (host)
        *host = why.isEmpty() ? result.sliced(where.first, where.second) : QString();
    return result;
}

PageGathering::PageGathering(const QString& siteUrl, qsizetype maxAddresses) : m_maxAddresses(maxAddresses) {
    const QUrl site = QUrl::fromUserInput(siteUrl.trimmed());
    m_siteHost = siteUrl.trimmed().isEmpty() ? QString() : site.host(QUrl::FullyEncoded).toLower();
}

bool PageGathering::add(const QString& address, const QDateTime& lastmod) {
    return add(address, lastmod, {});
}

bool PageGathering::add(const QString& address, const QDateTime& lastmod, const QString& refusal) {
    if (m_pages.size() >= m_maxAddresses) {
        m_limitMessage =
            u"The limit of %1 addresses was reached: later addresses were not taken."_s.arg(m_maxAddresses);
        return false;
    }
    GatheredPage page{address, lastmod, GatheredPage::Status::Accepted, refusal, -1};
    std::pair<qsizetype, qsizetype> where;
    QString normalized;
    if (page.reason.isEmpty())
        normalized = normalize(address, &page.reason, &where);
    if (!page.reason.isEmpty()) {
        page.status = GatheredPage::Status::Refused;
        ++m_refused;
        m_pages.append(std::move(page));
        return true;
    }
    // The same address when only what normalising changes differs (letter case of scheme and
    // host, default port, fragment, encoding).
    page.address = normalized == address ? address : normalized; // shared with the source when the same
    const QStringView host = QStringView(page.address).sliced(where.first, where.second);
    // Addresses come mostly host by host: the last host is tried before the table.
    int index = m_lastHost;
    if (index < 0 || host != m_hosts[index].host) {
        const QString name = host.toString();
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
    m_seen.insert(page.address);
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
        if (!add(entry.address, entry.lastmod, entry.refusal))
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
