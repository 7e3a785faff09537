// Google's inspections in the history, on both back ends: kept only in a history that exists,
// the latest answer of each page winning; a history of the version before them brought up to
// date with what it held.

#include "history/core/history_store.h"
#include "history/history_backends.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {

PageInspection inspection(const QString& page, qint64 at, const QString& coverage) {
    return {page,
            u"sc-domain:site.test"_s,
            QDateTime::fromSecsSinceEpoch(at, QTimeZone::utc()),
            coverage == "Submitted and indexed"_L1 ? u"PASS"_s : u"NEUTRAL"_s,
            coverage,
            at > 2000 ? QDateTime::fromSecsSinceEpoch(at - 100, QTimeZone::utc()) : QDateTime(),
            page};
}

} // namespace

class TestHistoryInspections : public QObject {
    Q_OBJECT

    HistoryBackends m_backends;

private slots:
    void initTestCase() { QVERIFY2(m_backends.start(), qPrintable(m_backends.problem())); }

    void keptAndUpgraded_data() { HistoryBackends::addRows(); }
    void keptAndUpgraded() {
        QFETCH(bool, postgres);
        if (postgres && !m_backends.postgres())
            QSKIP(qPrintable(m_backends.problem()));
        const QString where = m_backends.fresh(postgres);
        QVERIFY(!where.isEmpty());
        const HistoryLocation location = historyLocation(where);
        const QString page = u"https://site.test/a"_s;
        {
            HistoryStore store(location);
            QVERIFY(store.open());
            if (!postgres) { // no history file is made for an inspection
                QVERIFY(!store.keepInspection(inspection(page, 1000, u"URL is unknown to Google"_s)));
                QVERIFY(!QFile::exists(where));
            }
            HistoryJob job;
            job.siteHost = u"site.test"_s;
            QVERIFY(store.beginJob(job) >= 0);
        }
        // Back to the version before inspections, as an older program left it.
        {
            QSqlDatabase db = HistoryBackends::openDirectly(where, u"old"_s);
            QVERIFY(db.isOpen());
            QSqlQuery query(db);
            for (const QString& statement :
                 {u"DROP TABLE inspections"_s, u"ALTER TABLE jobs DROP COLUMN machine"_s,
                  u"ALTER TABLE jobs DROP COLUMN pid"_s, u"ALTER TABLE jobs DROP COLUMN process_started"_s,
                  postgres ? u"UPDATE torvane_history SET version = 2"_s : u"PRAGMA user_version = 2"_s})
                QVERIFY2(query.exec(statement), qPrintable(statement));
        }
        QSqlDatabase::removeDatabase(u"old"_s);

        HistoryStore store(location);
        QVERIFY2(store.open(), qPrintable(store.message()));
        QCOMPARE(store.jobs().size(), 1);
        QVERIFY(store.keepInspection(inspection(page, 3000, u"Crawled - currently not indexed"_s)));
        QVERIFY(store.keepInspection(inspection(page, 2000, u"URL is unknown to Google"_s))); // older: kept out
        QVERIFY(store.keepInspection(inspection(u"https://site.test/b"_s, 4000, u"Submitted and indexed"_s)));
        QVERIFY(store.keepInspection(inspection(u"https://other.test/c"_s, 4000, u"Submitted and indexed"_s)));
        const QList<PageInspection> kept = store.inspections(u"site.test"_s);
        QCOMPARE(kept.size(), 2);
        QCOMPARE(kept[0].page, page);
        QCOMPARE(kept[0].coverageState, u"Crawled - currently not indexed"_s);
        QCOMPARE(kept[0].verdict, u"NEUTRAL"_s);
        QCOMPARE(kept[0].inspected.toSecsSinceEpoch(), 3000);
        QCOMPARE(kept[0].lastCrawl, QDateTime::fromSecsSinceEpoch(2900, QTimeZone::utc()));
        QCOMPARE(kept[0].googleCanonical, page);
        QCOMPARE(kept[1].verdict, u"PASS"_s);
        QVERIFY(store.forgetSite(u"site.test"_s));
        QVERIFY(store.inspections(u"site.test"_s).isEmpty());
        QCOMPARE(store.inspections(u"other.test"_s).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestHistoryInspections)
#include "test_history_index_status.moc"
