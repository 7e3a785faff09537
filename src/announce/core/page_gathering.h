#pragma once

#include "announce/core/sitemap_reader.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// Why an address cannot be announced (empty when it can): it must be an absolute http or https
// URL whose host is a host name (labels of 1 to 63 letters, digits, "-" or "_", none beginning
// or ending with "-") or an IP address, with a port from 1 to 65535 if any, no user name or
// password, no control characters, and at most kMaxAddressLength characters. *host receives the
// host as sent when accepted: in lower case, an international name in its ASCII (IDNA) form.
QString addressRefusal(QStringView address, QString* host);

// The address as engines expect it, as a browser sends it: scheme and host in lower case, the
// host in ASCII (IDNA) form, no default port, "/" for an empty path, a backslash in the path
// read as "/" and its "." and ".." segments resolved, the path and query percent-encoded
// (blanks, non-ASCII characters as UTF-8, and the few ASCII characters browsers encode; existing
// %XX sequences are kept), no fragment. Empty when refused (see addressRefusal); *refusal and
// *host as there.
QString announcedAddress(QStringView address, QString* refusal = nullptr, QString* host = nullptr);

// One address gathered, and what became of it.
struct GatheredPage {
    enum class Status { Accepted, Duplicate, Refused };

    QString address;   // as announced (see announcedAddress); as read when refused
    QDateTime lastmod; // UTC; invalid when unknown
    Status status = Status::Accepted;
    QString reason; // Refused: why
    int host = -1;  // index into PageGathering::hosts(); -1 when refused
};

// The addresses of one host.
struct HostCount {
    QString host; // in lower case, in ASCII (IDNA) form
    qsizetype accepted = 0;
    qsizetype duplicates = 0;
    bool foreign = false; // not the Site URL's host: engines refuse it unless it serves the key too
};

// The pages of one host to announce (IndexNow takes one host per request).
struct HostGroup {
    QString host;
    QStringList addresses;
    bool foreign = false;
};

// The addresses gathered from any number of sources (typed, text files, sitemaps), in the order
// added. Each is accepted, marked as a duplicate of one accepted before (the same address once
// both are in the form announced: letter case of scheme and host, default port, fragment and
// encoding do not count), or refused with its reason.
// At most maxAddresses are taken in all; past that add() refuses and the limit is reported.
class PageGathering {
public:
    explicit PageGathering(const QString& siteUrl = {}, qsizetype maxAddresses = SitemapLimits{}.maxAddresses);

    // False when the address limit was reached (the address was not taken).
    bool add(const QString& address, const QDateTime& lastmod = {});
    // Adds every page of a file; false when the address limit stopped it.
    bool add(const QList<SitemapEntry>& entries);

    const QList<GatheredPage>& pages() const { return m_pages; }
    const QList<HostCount>& hosts() const { return m_hosts; }
    qsizetype acceptedCount() const { return m_accepted; }
    qsizetype duplicateCount() const { return m_duplicates; }
    qsizetype refusedCount() const { return m_refused; }
    // How many more addresses may be added.
    qsizetype remaining() const { return m_maxAddresses - m_pages.size(); }
    // Empty until the address limit is reached; then says so.
    QString limitMessage() const { return m_limitMessage; }

    // The accepted pages by host, hosts in order of first appearance. With a valid changedSince,
    // pages whose lastmod is earlier are left out (pages without a lastmod stay: they may have
    // changed); *leftOut receives how many.
    QList<HostGroup> groups(const QDateTime& changedSince = {}, qsizetype* leftOut = nullptr) const;

private:
    bool add(const QString& address, const QDateTime& lastmod, const QString& refusal);

    QString m_siteHost;
    qsizetype m_maxAddresses;
    QList<GatheredPage> m_pages;
    QList<HostCount> m_hosts;
    QHash<QString, int> m_hostIndex;
    int m_lastHost = -1; // the host of the last address accepted
    QSet<QString> m_seen;
    qsizetype m_accepted = 0;
    qsizetype m_duplicates = 0;
    qsizetype m_refused = 0;
    QString m_limitMessage;
};
