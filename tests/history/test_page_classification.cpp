#include "history/core/page_classification.h"

#include <QTest>
#include <QTimeZone>

namespace {

qint64 day(int d) {
    return QDateTime(QDate(2026, 12, d), QTime(12, 0), QTimeZone::utc()).toSecsSinceEpoch();
}

QDateTime date(int d) {
    return d == 0 ? QDateTime() : QDateTime(QDate(2026, 12, d), QTime(12, 0), QTimeZone::utc());
}

} // namespace

class TestPageClassification : public QObject {
    Q_OBJECT

private slots:
    // One page against its history in one engine group.
    void state_data() {
        QTest::addColumn<int>("okAnnounced"); // day of the last OK announcement; 0: never, -1: no entry
        QTest::addColumn<int>("verdict");     // PageVerdict of the last announcement
        QTest::addColumn<int>("lastmod");     // day now in the sitemap; 0: no date
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("text");
        const int ok = int(PageVerdict::Ok);
        QTest::newRow("never announced") << -1 << ok << 3 << int(PageState::New) << "New";
        QTest::newRow("only failed") << 0 << int(PageVerdict::Failed) << 3 << int(PageState::New) << "New";
        QTest::newRow("changed after") << 5 << ok << 6 << int(PageState::Changed) << "Changed since 2026-12-05";
        QTest::newRow("changed before") << 5 << ok << 4 << int(PageState::Unchanged)
                                        << "Unchanged (announced 2026-12-05)";
        QTest::newRow("same second") << 5 << ok << 5 << int(PageState::Unchanged) << "Unchanged (announced 2026-12-05)";
        QTest::newRow("no date, announced once")
            << 5 << ok << 0 << int(PageState::Unchanged) << "Unchanged (announced 2026-12-05)";
        QTest::newRow("failed after an OK one")
            << 5 << int(PageVerdict::Failed) << 4 << int(PageState::Unchanged) << "Unchanged (announced 2026-12-05)";
        QTest::newRow("back after it was gone") << 5 << int(PageVerdict::OkGone) << 4 << int(PageState::New) << "New";
    }
    void state() {
        QFETCH(int, okAnnounced);
        QFETCH(int, verdict);
        QFETCH(int, lastmod);
        QFETCH(int, state);
        QFETCH(QString, text);
        const HistoryPage page{"https://Site.TEST/A?b=C", date(lastmod), false};
        PageHistory history;
        if (okAnnounced >= 0) // stored under the address as another gathering spelled it
            history.add(
                {pageKey(u"HTTPS://site.test/A?b=C"), okAnnounced ? day(okAnnounced) : 0, PageVerdict(verdict)});
        const PageClassification result = classifyPages(history, {page}, true);
        QCOMPARE(int(result.pages[0].state), state);
        QCOMPARE(pageStateText(result.pages[0]), text);
        QCOMPARE(result.count(PageState(state)), 1);
        QCOMPARE(pageNeedsSending(okAnnounced >= 0 ? &history.entries()[0] : nullptr, page),
                 state == int(PageState::New) || state == int(PageState::Changed));
    }

    // Pages announced OK and absent now are gone only when every sitemap was read, and once.
    // A page announced with a date still to come is not sent again while that date stays; a
    // later date still makes it changed.
    void futureDateAnnouncedOnce() {
        PageHistory history;
        history.add({pageKey(u"https://site.test/a"), day(5), PageVerdict::Ok, day(9)});
        const PageHistory::Entry& entry = history.entries()[0];
        QVERIFY(!pageNeedsSending(&entry, {QStringLiteral("https://site.test/a"), date(9), false}));
        QVERIFY(pageNeedsSending(&entry, {QStringLiteral("https://site.test/a"), date(10), false}));
    }

    void gone_data() {
        QTest::addColumn<bool>("everySitemapRead");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<int>("gone");
        QTest::newRow("absent, every sitemap read") << true << int(PageVerdict::Ok) << 1;
        QTest::newRow("absent, a sitemap failed") << false << int(PageVerdict::Ok) << 0;
        QTest::newRow("already announced as gone") << true << int(PageVerdict::OkGone) << 0;
        QTest::newRow("never announced OK") << true << int(PageVerdict::Failed) << 0;
    }
    void gone() {
        QFETCH(bool, everySitemapRead);
        QFETCH(int, verdict);
        QFETCH(int, gone);
        PageHistory history;
        history.add({pageKey(u"https://site.test/kept"), day(1), PageVerdict::Ok});
        history.add({pageKey(u"https://site.test/left"), verdict == 0 ? 0 : day(2), PageVerdict(verdict)});
        const QList<HistoryPage> pages{{"https://site.test/kept", {}, false}};
        const PageClassification result = classifyPages(history, pages, everySitemapRead);
        QCOMPARE(result.goneWorkedOut, everySitemapRead);
        QCOMPARE(result.count(PageState::Gone), gone);
        QCOMPARE(result.gone.size(), gone);
        if (gone)
            QCOMPARE(result.gone[0].key, pageKey(u"https://site.test/left"));
    }

    // The key is stored: it must not change between versions or machines (worked out
    // independently).
    void keyIsStable() {
        QCOMPARE(pageKey(u"https://site.test/"), Q_INT64_C(7053892479758568458));
        QCOMPARE(pageKey(u"HTTPS://ÉTÉ.test/x"), pageKey(u"https://été.test/x"));
        QVERIFY(pageKey(u"https://site.test/A") != pageKey(u"https://site.test/a")); // the path keeps its case
    }
};

QTEST_GUILESS_MAIN(TestPageClassification)
#include "test_page_classification.moc"
