#include "announce/core/sitemap_gatherer.h"
#include "announce/core/sitemap_reader.h"
#include "support/scripted_fetcher.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>

#include <zlib.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray gzip(const QByteArray& data) {
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(data.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(static_cast<qsizetype>(stream.total_out));
    deflateEnd(&stream);
    return out;
}

QByteArray urlset(const QList<QByteArray>& locs) {
    QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<urlset xmlns="http://www.sitemaps.org/schemas/sitemap/0.9" xmlns:image="http://www.google.com/schemas/sitemap-image/1.1">)";
    for (const QByteArray& loc : locs)
        xml += "<url><loc>" + loc + "</loc><lastmod>2024-05-01</lastmod></url>\n";
    return xml + "</urlset>";
}

QByteArray sitemapIndex(const QList<QByteArray>& locs) {
    QByteArray xml = R"(<sitemapindex xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">)";
    for (const QByteArray& loc : locs)
        xml += "<sitemap><loc>" + loc + "</loc></sitemap>";
    return xml + "</sitemapindex>";
}

QStringList addresses(const SitemapContent& content) {
    QStringList result;
    for (const SitemapEntry& entry : content.pages)
        result.append(entry.address);
    return result;
}

} // namespace

Q_DECLARE_METATYPE(SitemapLimits)

class TestSitemapReader : public QObject {
    Q_OBJECT

private slots:
    void forms_data();
    void forms();
    void largeFileReadAcrossSlices();
    void lastmodForms_data();
    void lastmodForms();
    void robotsLines();
    void gathererFollowsIndexToItsDepth();
};

void TestSitemapReader::forms_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<SitemapLimits>("limits");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("pages");
    QTest::addColumn<QStringList>("children");
    QTest::addColumn<QString>("error"); // a part of the error text; empty: read whole
    QTest::addColumn<bool>("limitReached");

    const SitemapLimits defaults;
    const auto kind = [](SitemapContent::Kind k) {
        return static_cast<int>(k);
    };
    const QByteArray two = urlset({"https://a.example/1", "https://a.example/2?x=1&amp;y=2"});
    const QStringList twoPages{u"https://a.example/1"_s, u"https://a.example/2?x=1&y=2"_s};

    QTest::newRow("urlset, image locs ignored")
        << urlset({}).replace("</urlset>",
                              "<url><loc>https://a.example/p</loc><lastmod>2024-05-01</lastmod><image:image>"
                              "<image:loc>https://a.example/i.png</image:loc></image:image></url></urlset>")
        << defaults << kind(SitemapContent::Kind::UrlSet) << QStringList{u"https://a.example/p"_s} << QStringList()
        << QString() << false;
    QTest::newRow("urlset with entities of XML")
        << two << defaults << kind(SitemapContent::Kind::UrlSet) << twoPages << QStringList() << QString() << false;
    QTest::newRow("gzip urlset") << gzip(two) << defaults << kind(SitemapContent::Kind::UrlSet) << twoPages
                                 << QStringList() << QString() << false;
    QTest::newRow("index") << sitemapIndex({" https://a.example/s1.xml.gz ", "https://a.example/s2.xml"}) << defaults
                           << kind(SitemapContent::Kind::Index) << QStringList()
                           << QStringList{u"https://a.example/s1.xml.gz"_s, u"https://a.example/s2.xml"_s} << QString()
                           << false;
    QTest::newRow("broken: cut short keeps what came before")
        << two.left(two.indexOf("</url>\n<url>") + 6) << defaults << kind(SitemapContent::Kind::UrlSet)
        << QStringList{u"https://a.example/1"_s} << QStringList() << u"not well-formed"_s << false;
    QTest::newRow("over-long address cut one past the longest accepted")
        << urlset({"https://a.example/" + QByteArray(5000, 'x')}) << defaults << kind(SitemapContent::Kind::UrlSet)
        << QStringList{(u"https://a.example/"_s + QString(5000, u'x')).left(kMaxAddressLength + 1)} << QStringList()
        << QString() << false;
    QTest::newRow("not a sitemap") << QByteArray("<html><body>x</body></html>") << defaults
                                   << kind(SitemapContent::Kind::Unreadable) << QStringList() << QStringList()
                                   << u"Not a sitemap"_s << false;
    QTest::newRow("entity declarations refused")
        << QByteArray(R"(<?xml version="1.0"?><!DOCTYPE urlset [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;">]>)"
                      "<urlset><url><loc>https://a.example/&b;</loc></url></urlset>")
        << defaults << kind(SitemapContent::Kind::Unreadable) << QStringList() << QStringList()
        << u"declares XML entities"_s << false;
    QTest::newRow("external entity refused")
        << QByteArray(
               R"(<!DOCTYPE urlset [<!ENTITY x SYSTEM "file:///etc/passwd">]><urlset><url><loc>&x;</loc></url></urlset>)")
        << defaults << kind(SitemapContent::Kind::Unreadable) << QStringList() << QStringList()
        << u"declares XML entities"_s << false;
    QTest::newRow("undeclared entity") << QByteArray("<urlset><url><loc>https://a.example/&nbsp;</loc></url></urlset>")
                                       << defaults << kind(SitemapContent::Kind::UrlSet) << QStringList()
                                       << QStringList() << u"entity"_s << false;

    SitemapLimits fewAddresses;
    fewAddresses.maxAddresses = 1;
    QTest::newRow("address limit") << two << fewAddresses << kind(SitemapContent::Kind::UrlSet)
                                   << QStringList{u"https://a.example/1"_s} << QStringList()
                                   << u"stopped after 1 addresses"_s << true;
    SitemapLimits fewChildren;
    fewChildren.maxChildSitemaps = 1;
    QTest::newRow("child sitemap limit") << sitemapIndex({"https://a.example/s1.xml", "https://a.example/s2.xml"})
                                         << fewChildren << kind(SitemapContent::Kind::Index) << QStringList()
                                         << QStringList{u"https://a.example/s1.xml"_s}
                                         << u"more than 1 child sitemaps"_s << true;
    SitemapLimits small;
    small.maxBytes = 100;
    QTest::newRow("size limit") << two << small << kind(SitemapContent::Kind::Unreadable) << QStringList()
                                << QStringList() << u"larger than 100 bytes"_s << true;
    QTest::newRow("size limit, unpacked") << gzip(two) << small << kind(SitemapContent::Kind::Unreadable)
                                          << QStringList() << QStringList() << u"larger than 100 bytes"_s << true;
    QTest::newRow("compression ratio limit")
        << gzip(urlset({}) + QByteArray(4 * 1024 * 1024, ' ')) << defaults << kind(SitemapContent::Kind::Unreadable)
        << QStringList() << QStringList() << u"more than 200 times"_s << true;
    QTest::newRow("gzip cut short") << gzip(two).chopped(12) << defaults << kind(SitemapContent::Kind::Unreadable)
                                    << QStringList() << QStringList() << u"damaged or cut short"_s << false;
    QTest::newRow("empty") << QByteArray() << defaults << kind(SitemapContent::Kind::Unreadable) << QStringList()
                           << QStringList() << u"The file is empty"_s << false;
}

void TestSitemapReader::forms() {
    QFETCH(QByteArray, bytes);
    QFETCH(SitemapLimits, limits);
    QFETCH(int, kind);
    QFETCH(QStringList, pages);
    QFETCH(QStringList, children);
    QFETCH(QString, error);
    QFETCH(bool, limitReached);

    // A file of addresses is told from a sitemap by its content, so both readers agree here.
    for (const SitemapContent& content : {readSitemap(bytes, limits), readAddressFile(bytes, limits)}) {
        QCOMPARE(static_cast<int>(content.kind), kind);
        QCOMPARE(addresses(content), pages);
        QCOMPARE(content.childSitemaps, children);
        if (error.isEmpty())
            QCOMPARE(content.error, QString());
        else
            QVERIFY2(content.error.contains(error, Qt::CaseInsensitive), qPrintable(content.error));
        QCOMPARE(content.limitReached, limitReached);
    }
    if (kind == static_cast<int>(SitemapContent::Kind::UrlSet) && error.isEmpty())
        QCOMPARE(readSitemap(bytes).pages.value(0).lastmod,
                 QDateTime(QDate(2024, 5, 1), QTime(0, 0), QTimeZone::utc()));
}

void TestSitemapReader::largeFileReadAcrossSlices() {
    // Over a megabyte, so that characters, entities and elements fall across the reader's slices.
    QList<QByteArray> locs;
    QStringList expected;
    for (int i = 0; i < 12000; ++i) {
        locs.append("https://a.example/\xc3\xa9t\xc3\xa9/" + QByteArray::number(i) +
                    "?a=1&amp;b=" + QByteArray(i % 7, 'x'));
        expected.append(u"https://a.example/\u00e9t\u00e9/%1?a=1&b=%2"_s.arg(QString::number(i), QString(i % 7, u'x')));
    }
    const SitemapContent content = readSitemap(gzip(urlset(locs)));
    QCOMPARE(content.error, QString());
    QCOMPARE(addresses(content), expected);
}

void TestSitemapReader::lastmodForms_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected"); // invalid: refused

    const auto utc = [](int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), QTimeZone::utc());
    };
    QTest::newRow("year") << u"2024"_s << utc(2024, 1, 1);
    QTest::newRow("year and month") << u"2024-02"_s << utc(2024, 2, 1);
    QTest::newRow("date") << u" 2024-02-29 "_s << utc(2024, 2, 29);
    QTest::newRow("minutes, Z") << u"2024-02-29T10:30Z"_s << utc(2024, 2, 29, 10, 30);
    QTest::newRow("seconds, positive zone") << u"2024-03-01T01:00:05+02:00"_s << utc(2024, 2, 29, 23, 0, 5);
    QTest::newRow("fraction, negative zone") << u"2024-12-31T22:00:00.4567-05:30"_s << utc(2025, 1, 1, 3, 30, 0, 456);
    QTest::newRow("no zone read as UTC") << u"2024-01-02T03:04:05"_s << utc(2024, 1, 2, 3, 4, 5);
    QTest::newRow("no such day") << u"2023-02-29"_s << QDateTime();
    QTest::newRow("hour 24") << u"2024-01-01T24:00Z"_s << QDateTime();
    QTest::newRow("zone without colon") << u"2024-01-01T10:00+0200"_s << QDateTime();
    QTest::newRow("empty fraction") << u"2024-01-01T10:00:00.Z"_s << QDateTime();
    QTest::newRow("trailing text") << u"2024-01-01 yesterday"_s << QDateTime();
    QTest::newRow("two-digit year") << u"24-01-01"_s << QDateTime();
}

void TestSitemapReader::lastmodForms() {
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    QCOMPARE(parseW3cDate(text), expected);
}

void TestSitemapReader::robotsLines() {
    const QByteArray robots = "User-agent: *\r\nDisallow: /private\r\nSitemap: https://a.example/sitemap.xml\r\n"
                              "sitemap:/news.xml # relative\nSITEMAP : https://a.example/sitemap.xml\n"
                              "Sitemap: ftp://a.example/x.xml\nNoSitemap: https://a.example/no.xml\n";
    QCOMPARE(robotsSitemaps(robots, QUrl(u"https://a.example/robots.txt"_s)),
             (QStringList{u"https://a.example/sitemap.xml"_s, u"https://a.example/news.xml"_s}));
}

void TestSitemapReader::gathererFollowsIndexToItsDepth() {
    // root index → (gzip urlset, nested index, itself again) ; nested index → (urlset, deeper index)
    // deeper index → (never read: past the depth limit of 2)
    ScriptedFetcher fetcher;
    const QString base = u"https://a.example/"_s;
    fetcher.script(base + "index.xml"_L1,
                   {ScriptedFetcher::reply(200, sitemapIndex({"https://a.example/one.xml.gz", "/nested.xml",
                                                              "https://a.example/index.xml"}))});
    fetcher.script(base + "one.xml.gz"_L1, {ScriptedFetcher::reply(200, gzip(urlset({"https://a.example/1"})))});
    fetcher.script(base + "nested.xml"_L1,
                   {ScriptedFetcher::reply(200, sitemapIndex({"https://a.example/two.xml", "https://a.example/deep.xml",
                                                              "https://a.example/gone.xml"}))});
    fetcher.script(base + "two.xml"_L1, {ScriptedFetcher::reply(200, urlset({"https://a.example/2"}))});
    fetcher.script(base + "deep.xml"_L1, {ScriptedFetcher::reply(200, sitemapIndex({"https://a.example/3.xml"}))});

    SitemapGatherer gatherer(fetcher);
    QSignalSpy finished(&gatherer, &SitemapGatherer::finished);
    gatherer.start(QUrl(base + "index.xml"_L1));
    QVERIFY(finished.wait(5000));
    QStringList read;
    for (const SitemapEntry& entry : gatherer.pages())
        read.append(entry.address);
    QCOMPARE(read, (QStringList{u"https://a.example/1"_s, u"https://a.example/2"_s}));
    QCOMPARE(fetcher.requests.size(), 6); // index, one, nested, two, deep, gone; not index again
    QCOMPARE(gatherer.messages().size(), 2);
    QVERIFY2(gatherer.messages().at(0).contains(u"deep.xml: an index nested more than 2 levels deep"_s),
             qPrintable(gatherer.messages().join(u'\n')));
    QVERIFY(gatherer.messages().at(1).contains(u"gone.xml: the server answered HTTP 404"_s));

    // Past the total size, no further sitemap is fetched.
    SitemapLimits small;
    small.maxTotalBytes = 100;
    SitemapGatherer bounded(fetcher, small);
    QSignalSpy boundedFinished(&bounded, &SitemapGatherer::finished);
    bounded.start(QUrl(base + "index.xml"_L1));
    QVERIFY(boundedFinished.wait(5000));
    QCOMPARE(bounded.sitemapsRead(), 1);
    QVERIFY2(bounded.messages().value(0).contains(u"more than 100 bytes in all: 2 sitemaps were not read"_s),
             qPrintable(bounded.messages().join(u'\n')));
}

QTEST_GUILESS_MAIN(TestSitemapReader)
#include "test_sitemap_reader.moc"
