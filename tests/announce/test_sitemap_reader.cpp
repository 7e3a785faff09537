#include "announce/core/page_gathering.h"
#include "announce/core/sitemap_reader.h"
#include "platform/local_file_name.h"
#include "support/gzip_data.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <fcntl.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray gzip(const QByteArray& data) {
    return gzipped(data);
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
    void gzipMembers_data();
    void gzipMembers();
    void textLists_data();
    void textLists();
    void fileNameNotUtf8();
    void lastmodForms_data();
    void lastmodForms();
    void robotsLines();
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

// Files made of several gzip members (as `cat a.gz b.gz` writes them) are one file: read whole,
// the compression ratio measured over all of it.
void TestSitemapReader::gzipMembers_data() {
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<qsizetype>("cut"); // where the second member begins, in plain
    QTest::addColumn<QString>("error"); // a part of the error text; empty: read whole

    QList<QByteArray> locs;
    quint32 seed = 1;
    for (int i = 0; i < 18000; ++i) { // about 1.5 MB, packing about 12:1
        seed = seed * 1664525u + 1013904223u;
        locs.append("https://a.example/p/" + QByteArray::number(seed));
    }
    const QByteArray large = urlset(locs);
    const QByteArray small = urlset({"https://a.example/1", "https://a.example/2"});
    QTest::newRow("two members") << small << small.indexOf("<url>") << QString();
    QTest::newRow("two members past 1.3 MB at 12:1") << large << large.size() - 200000 << QString();
    QTest::newRow("a bomb in the second member") << small.chopped(9) + QByteArray(4 * 1024 * 1024, ' ') + "</urlset>"
                                                 << small.size() - 9 << u"more than 200 times"_s;
}

void TestSitemapReader::gzipMembers() {
    QFETCH(QByteArray, plain);
    QFETCH(qsizetype, cut);
    QFETCH(QString, error);
    const QByteArray joined = gzip(plain.first(cut)) + gzip(plain.sliced(cut));
    const SitemapContent content = readSitemap(joined);
    if (error.isEmpty()) {
        QCOMPARE(content.error, QString());
        QCOMPARE(content.bytes, plain.size());
        QCOMPARE(content.pages.size(), plain.count("<loc>"));
        QCOMPARE(content.pages.constLast().address, readSitemap(plain).pages.constLast().address);
    } else {
        QVERIFY2(content.error.contains(error), qPrintable(content.error));
        QVERIFY(content.limitReached);
    }
}

// Lists in UTF-8 or UTF-16 (with its byte order mark); a line that is not UTF-8 is refused.
void TestSitemapReader::textLists_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("refusals"); // per address; empty: accepted

    const QString text = u"# pages\r\nhttps://a.example/\u00e9\r\n\r\nhttps://a.example/2\r\n"_s;
    const auto utf16 = [&text](QStringConverter::Encoding encoding) {
        QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
        return QByteArray(encoder(text));
    };
    QTest::newRow("UTF-8") << text.toUtf8() << QStringList{QString(), QString()};
    QTest::newRow("UTF-16 LE") << utf16(QStringConverter::Utf16LE) << QStringList{QString(), QString()};
    QTest::newRow("UTF-16 BE") << utf16(QStringConverter::Utf16BE) << QStringList{QString(), QString()};
    QTest::newRow("a line in Latin-1") << QByteArray("https://a.example/\xe9\nhttps://a.example/2\n")
                                       << QStringList{u"not UTF-8"_s, QString()};
}

void TestSitemapReader::textLists() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, refusals);
    const SitemapContent content = readAddressFile(bytes);
    QCOMPARE(content.error, QString());
    QCOMPARE(content.kind, SitemapContent::Kind::TextList);
    QCOMPARE(content.pages.size(), refusals.size());
    PageGathering gathering;
    gathering.add(content.pages);
    for (qsizetype i = 0; i < refusals.size(); ++i) {
        const GatheredPage& page = gathering.pages().at(i);
        QCOMPARE(page.status == GatheredPage::Status::Refused, !refusals[i].isEmpty());
        QVERIFY2(page.reason.contains(refusals[i]), qPrintable(page.reason));
    }
    if (refusals[0].isEmpty())
        QCOMPARE(gathering.pages().at(0).address, u"https://a.example/%C3%A9"_s);
}

// A name that is not UTF-8, given on the command line, names the file it named.
void TestSitemapReader::fileNameNotUtf8() {
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QByteArray name = QFile::encodeName(folder.path()) + "/list-\xe9\xff.txt";
    QFile file;
    const int descriptor = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    QVERIFY(descriptor >= 0);
    QVERIFY(file.open(descriptor, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle));
    file.write("https://a.example/1\n");
    file.close();

    const QString path = decodeLocalFileName(name);
    QCOMPARE(encodeLocalFileName(path), name);
    QVERIFY(localFileExists(path));
    QString error;
    const SitemapContent content = readAddressFileAt(path, -1, &error);
    QCOMPARE(error, QString());
    QCOMPARE(addresses(content), QStringList{u"https://a.example/1"_s});
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

QTEST_GUILESS_MAIN(TestSitemapReader)
#include "test_sitemap_reader.moc"
