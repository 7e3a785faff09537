#include "announce/core/announce_batch.h"
#include "announce/core/page_gathering.h"

#include <QJsonDocument>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

class TestPageBatches : public QObject {
    Q_OBJECT

private slots:
    void addressChecks_data();
    void addressChecks();
    void announcedForms_data();
    void announcedForms();
    void gatheringMarksCountsAndFilters();
    void sameAddressOnceNormalised();
    void addressLimit();
    void batches_data();
    void batches();
    void jsonBody_data();
    void jsonBody();
};

void TestPageBatches::addressChecks_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("host");   // when accepted
    QTest::addColumn<QString>("reason"); // a part of the refusal; empty: accepted

    QTest::newRow("https") << u"https://Www.Example.com/a?b=c#d"_s << u"www.example.com"_s << QString();
    QTest::newRow("http with port") << u"HTTP://example.com:8080"_s << u"example.com"_s << QString();
    QTest::newRow("IPv6 host") << u"http://[::1]:80/x"_s << u"[::1]"_s << QString();
    QTest::newRow("ftp") << u"ftp://example.com/x"_s << QString() << u"Not an http or https address (ftp)"_s;
    QTest::newRow("relative") << u"/page.html"_s << QString() << u"Not an absolute address"_s;
    QTest::newRow("no host") << u"https:///page"_s << QString() << u"no host"_s;
    QTest::newRow("user and password") << u"https://me:pw@example.com/"_s << QString() << u"user name"_s;
    QTest::newRow("control character inside") << u"https://example.com/a\tb"_s << QString() << u"control character"_s;
    QTest::newRow("bad port") << u"https://example.com:80x/"_s << QString() << u"port"_s;
    QTest::newRow("bad host character") << u"https://exa$mple.com/"_s << QString() << u"host"_s;
    QTest::newRow("international host") << u"https://B\u00fccher.example/"_s << u"xn--bcher-kva.example"_s << QString();
    QTest::newRow("host of dots") << u"http://./"_s << QString() << u"not a host name"_s;
    QTest::newRow("host of a dash") << u"http://-/"_s << QString() << u"not a host name"_s;
    QTest::newRow("port past 65535") << u"http://example.com:99999/"_s << QString() << u"port 99999"_s;
    QTest::newRow("too long") << u"https://example.com/"_s + QString(2048, u'a') << QString() << u"Longer than 2048"_s;
}

void TestPageBatches::addressChecks() {
    QFETCH(QString, address);
    QFETCH(QString, host);
    QFETCH(QString, reason);
    QString found;
    const QString refusal = addressRefusal(address, &found);
    if (reason.isEmpty()) {
        QCOMPARE(refusal, QString());
        QCOMPARE(found, host);
    } else {
        QVERIFY2(refusal.contains(reason, Qt::CaseInsensitive), qPrintable(refusal));
    }
}

// Addresses go out as a browser sends them.
void TestPageBatches::announcedForms_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("announced");

    QTest::newRow("scheme and host case, default port") << u"HTTP://H.Example:80/P"_s << u"http://h.example/P"_s;
    QTest::newRow("https default port, empty path") << u"https://h.example:443"_s << u"https://h.example/"_s;
    QTest::newRow("other port kept") << u"https://h.example:8443/p"_s << u"https://h.example:8443/p"_s;
    QTest::newRow("fragment removed") << u"https://h.example/p?q=1#part"_s << u"https://h.example/p?q=1"_s;
    QTest::newRow("international host, non-ASCII path and query")
        << u"https://b\u00fccher.example/\u00e4/?q=\u00e9 \u00fc"_s
        << u"https://xn--bcher-kva.example/%C3%A4/?q=%C3%A9%20%C3%BC"_s;
    QTest::newRow("blanks and quotes") << u"https://h.example/a b/\"x\"?q='1'&r=\"2\""_s
                                       << u"https://h.example/a%20b/%22x%22?q=%271%27&r=%222%22"_s;
    QTest::newRow("dot segments resolved")
        << u"https://h.example/a/./b/../%2E%2e/c\\d/.."_s << u"https://h.example/c/"_s;
    QTest::newRow("dots inside names kept")
        << u"https://h.example/a/.b/c../d.e"_s << u"https://h.example/a/.b/c../d.e"_s;
    QTest::newRow("encoded sequences kept")
        << u"https://h.example/%7e%2F?x=%41"_s << u"https://h.example/%7e%2F?x=%41"_s;
}

void TestPageBatches::announcedForms() {
    QFETCH(QString, address);
    QFETCH(QString, announced);
    QCOMPARE(announcedAddress(address), announced);
    QCOMPARE(announcedAddress(announced), announced);
}

void TestPageBatches::gatheringMarksCountsAndFilters() {
    PageGathering gathering(u"https://www.example.com/"_s);
    const QDateTime old(QDate(2023, 1, 1), QTime(0, 0), QTimeZone::utc());
    const QDateTime recent(QDate(2024, 6, 1), QTime(0, 0), QTimeZone::utc());
    gathering.add(u"https://www.example.com/a"_s, recent);
    gathering.add(u"https://WWW.EXAMPLE.COM/a"_s, recent); // the same page
    gathering.add(u"https://www.example.com/A"_s, old);    // paths are case-sensitive
    gathering.add(u"https://blog.example.com/b"_s);        // no lastmod: kept by any filter
    gathering.add(u"mailto:x@example.com"_s);

    QCOMPARE(gathering.acceptedCount(), 3);
    QCOMPARE(gathering.duplicateCount(), 1);
    QCOMPARE(gathering.refusedCount(), 1);
    QCOMPARE(gathering.pages().at(1).status, GatheredPage::Status::Duplicate);
    QCOMPARE(gathering.pages().at(4).status, GatheredPage::Status::Refused);
    QCOMPARE(gathering.hosts().size(), 2);
    QCOMPARE(gathering.hosts().at(0).accepted, 2);
    QCOMPARE(gathering.hosts().at(0).duplicates, 1);
    QVERIFY(!gathering.hosts().at(0).foreign);
    QVERIFY(gathering.hosts().at(1).foreign);

    qsizetype leftOut = -1;
    const QList<HostGroup> groups =
        gathering.groups(QDateTime(QDate(2024, 1, 1), QTime(0, 0), QTimeZone::utc()), &leftOut);
    QCOMPARE(leftOut, 1);
    QCOMPARE(groups.size(), 2);
    QCOMPARE(groups.at(0).addresses, QStringList{u"https://www.example.com/a"_s});
    QCOMPARE(groups.at(1).host, u"blog.example.com"_s);
    QVERIFY(groups.at(1).foreign);
    QCOMPARE(gathering.groups().at(0).addresses.size(), 2);
}

// Duplicates are found in the announced form; hosts are counted and sent in ASCII form.
void TestPageBatches::sameAddressOnceNormalised() {
    PageGathering gathering(u"https://b\u00fccher.example/"_s);
    for (const QString& address : {u"HTTP://h.example:80/p"_s, u"http://h.example/p"_s, u"http://h.example/p#top"_s,
                                   u"https://b\u00fccher.example/\u00e4"_s, u"https://xn--bcher-kva.example/%C3%A4"_s})
        gathering.add(address);
    QCOMPARE(gathering.acceptedCount(), 2);
    QCOMPARE(gathering.duplicateCount(), 3);
    QCOMPARE(gathering.hosts().at(1).host, u"xn--bcher-kva.example"_s);
    QVERIFY(!gathering.hosts().at(1).foreign);
    const QList<AnnounceBatch> batches = makeBatches(gathering.groups());
    QCOMPARE(batches.size(), 2);
    const QByteArray plain = R"({"host":"h.example","key":"k","urlList":["http://h.example/p"]})";
    const QByteArray international =
        R"({"host":"xn--bcher-kva.example","key":"k","urlList":["https://xn--bcher-kva.example/%C3%A4"]})";
    const QString keyFile = u"https://b\u00fccher.example/k.txt"_s; // at the root: no keyLocation
    QCOMPARE(indexNowBody(batches.at(0).host, u"k"_s, QString(), batches.at(0).addresses), plain);
    QCOMPARE(indexNowBody(batches.at(1).host, u"k"_s, keyFile, batches.at(1).addresses), international);
}

void TestPageBatches::addressLimit() {
    PageGathering gathering({}, 2);
    QVERIFY(gathering.add(QList<SitemapEntry>{{u"https://a.example/1"_s, {}}, {u"https://a.example/1"_s, {}}}));
    QVERIFY(!gathering.add(u"https://a.example/3"_s));
    QCOMPARE(gathering.pages().size(), 2);
    QVERIFY(gathering.limitMessage().contains(u"2 addresses"_s));
}

void TestPageBatches::batches_data() {
    QTest::addColumn<QList<int>>("perHost");    // addresses of each host
    QTest::addColumn<QList<int>>("batchSizes"); // the batches made, in order

    QTest::newRow("10 000: one batch") << QList<int>{10000} << QList<int>{10000};
    QTest::newRow("10 001: two batches") << QList<int>{10001} << QList<int>{10000, 1};
    QTest::newRow("two hosts, never mixed") << QList<int>{3, 20001} << QList<int>{3, 10000, 10000, 1};
}

void TestPageBatches::batches() {
    QFETCH(QList<int>, perHost);
    QFETCH(QList<int>, batchSizes);
    PageGathering gathering;
    for (int h = 0; h < perHost.size(); ++h) {
        for (int i = 0; i < perHost[h]; ++i)
            gathering.add(u"https://host%1.example/page/%2"_s.arg(QString::number(h), QString::number(i)));
    }
    const QList<AnnounceBatch> batches = makeBatches(gathering.groups());
    QList<int> sizes;
    qsizetype next = 0; // every address once, in order
    QString host;
    for (const AnnounceBatch& batch : batches) {
        sizes.append(static_cast<int>(batch.addresses.size()));
        if (batch.host != host)
            next = 0;
        host = batch.host;
        for (const QString& address : batch.addresses) {
            QCOMPARE(address, u"https://%1/page/%2"_s.arg(batch.host, QString::number(next)));
            ++next;
        }
    }
    QCOMPARE(sizes, batchSizes);
}

void TestPageBatches::jsonBody_data() {
    QTest::addColumn<QString>("keyLocation");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QByteArray>("expected");

    const QStringList two{u"https://www.example.com/a"_s, u"https://www.example.com/\u00e9?q=\"x\"\\"_s};
    const QByteArray list = R"("urlList":["https://www.example.com/a","https://www.example.com/é?q=\"x\"\\"]})";
    QTest::newRow("key file at the root: no keyLocation")
        << u"https://www.example.com/0123456789abcdef.txt"_s << two
        << QByteArray(R"({"host":"www.example.com","key":"0123456789abcdef",)" + list);
    QTest::newRow("no key file given") << QString() << two
                                       << QByteArray(R"({"host":"www.example.com","key":"0123456789abcdef",)" + list);
    QTest::newRow("key file elsewhere") << u"https://www.example.com/keys/0123456789abcdef.txt"_s << two
                                        << QByteArray(
                                               R"({"host":"www.example.com","key":"0123456789abcdef",)"
                                               R"("keyLocation":"https://www.example.com/keys/0123456789abcdef.txt",)" +
                                               list);
    QTest::newRow("key file on another host")
        << u"https://cdn.example.com/0123456789abcdef.txt"_s << QStringList{u"https://www.example.com/"_s}
        << QByteArray(R"({"host":"www.example.com","key":"0123456789abcdef",)"
                      R"("keyLocation":"https://cdn.example.com/0123456789abcdef.txt",)"
                      R"("urlList":["https://www.example.com/"]})");
}

void TestPageBatches::jsonBody() {
    QFETCH(QString, keyLocation);
    QFETCH(QStringList, addresses);
    QFETCH(QByteArray, expected);
    const QByteArray body = indexNowBody(u"www.example.com"_s, u"0123456789abcdef"_s, keyLocation, addresses);
    QCOMPARE(body, expected);
    QJsonParseError error;
    QJsonDocument::fromJson(body, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
}

QTEST_GUILESS_MAIN(TestPageBatches)
#include "test_page_batches.moc"
