#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QUrl>

// The longest address accepted, as the sitemap protocol allows.
inline constexpr qsizetype kMaxAddressLength = 2048;

// What a sitemap (or a list of addresses) may cost before reading stops. Every limit reached is
// reported as a message; what was read up to it is kept.
struct SitemapLimits {
    qint64 maxBytes = 50 * 1024 * 1024;       // one file, uncompressed, as the sitemap protocol allows
    qint64 maxTotalBytes = 256 * 1024 * 1024; // all files of one gathering, uncompressed
    qint64 maxCompressionRatio = 200;         // uncompressed bytes per compressed byte, past the first MiB
    qsizetype maxAddresses = 1'000'000;       // addresses in all (across every file of one gathering)
    int maxDepth = 2;                         // index levels followed below the first file
    int maxChildSitemaps = 1000;              // child sitemaps followed in all
};

// One address as read, with its lastmod (invalid when the file gave none or an unreadable one).
struct SitemapEntry {
    SitemapEntry() = default;
    SitemapEntry(QString address, QDateTime lastmod, QString refusal = {})
        : address(std::move(address)), lastmod(std::move(lastmod)), refusal(std::move(refusal)) {}

    QString address;
    QDateTime lastmod; // UTC
    QString refusal;   // why the address cannot be used as read (a line that is not UTF-8); usually empty
};

// What one file held.
struct SitemapContent {
    enum class Kind { UrlSet, Index, TextList, Unreadable };

    Kind kind = Kind::Unreadable;
    QList<SitemapEntry> pages; // UrlSet and TextList
    QStringList childSitemaps; // Index: the child sitemaps' addresses, in file order
    QString error;             // why reading stopped early (broken file, a limit); empty when read whole
    bool limitReached = false; // error names a limit rather than a broken file
    qint64 bytes = 0;          // the file's size, uncompressed, as far as it was unpacked
};

// A date in any W3C date form: YYYY, YYYY-MM, YYYY-MM-DD, and YYYY-MM-DDThh:mm, hh:mm:ss or
// hh:mm:ss.s (any number of fraction digits) followed by a zone, Z or ±hh:mm. A form without
// a time is midnight UTC of its first day. Returns an invalid QDateTime for anything else.
QDateTime parseW3cDate(QStringView text);

// Unpacks gzip data, stopping with an error text when the data is damaged, or when the result
// would pass maxBytes or the compression ratio limit (a small bomb must not take the memory of
// a big file); *limitReached (when given) tells the last two from damage.
QByteArray gunzip(QByteArrayView compressed, const SitemapLimits& limits, QString* error, bool* limitReached = nullptr);

// True for gzip data (its magic bytes).
bool isGzip(QByteArrayView bytes);

// Reads one sitemap file (urlset or sitemapindex; gzip-compressed or not) from its bytes.
// addressBudget: how many more addresses may be read in all. The XML may not declare entities:
// a DOCTYPE with entity declarations is refused, and no entity beyond XML's five is expanded.
SitemapContent readSitemap(QByteArrayView bytes, const SitemapLimits& limits = {}, qsizetype addressBudget = -1);

// Reads a plain text file of addresses, one a line (blank lines and lines starting with "#"
// are skipped). The text is UTF-8 (a byte order mark is ignored), or UTF-16 when it starts with
// a UTF-16 byte order mark; a line that is not UTF-8 is kept with its refusal.
SitemapContent readAddressList(QByteArrayView bytes, const SitemapLimits& limits = {}, qsizetype addressBudget = -1);

// Either of the two, by the content: gzip data or a file whose first character is "<" is a
// sitemap, anything else a list of addresses.
SitemapContent readAddressFile(QByteArrayView bytes, const SitemapLimits& limits = {}, qsizetype addressBudget = -1);

// Reads the file at path as readAddressFile does. Only a regular file is read (a pipe or a
// device could block or never end), and only when it is at most limits.maxBytes long (a
// compressed file is never larger than what it unpacks to, so one limit serves both). When
// nothing could be read, error says why ("<path>: <reason>") and the content is empty.
SitemapContent readAddressFileAt(const QString& path, qsizetype addressBudget, QString* error,
                                 const SitemapLimits& limits = {});

// The addresses of robots.txt "Sitemap:" lines (the field name in any letter case), in file
// order and without repeats; relative ones are resolved against base (the robots.txt address).
QStringList robotsSitemaps(QByteArrayView robotsTxt, const QUrl& base = {});
