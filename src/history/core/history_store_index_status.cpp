// HistoryStore: the latest Google inspection of each page.

#include "history/core/history_store.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>
#include <QUrl>
#include <QVariant>

using namespace Qt::StringLiterals;

bool HistoryStore::keepInspection(const PageInspection& inspection) {
    if (m_state == State::Closed)
        open();
    const QString host = QUrl(inspection.page).host(QUrl::FullyEncoded).toLower();
    if (m_state != State::Open || host.isEmpty())
        return false;
    return write([&](QString* error) {
        const qint64 site = internedId(u"sites"_s, u"host"_s, host, error);
        if (site < 0)
            return false;
        const qint64 hash = pageKey(inspection.page);
        QSqlQuery page(m_db);
        page.prepare(u"INSERT INTO pages (site_id, hash, address) VALUES (?, ?, ?) ON CONFLICT DO NOTHING"_s);
        page.addBindValue(site);
        page.addBindValue(hash);
        page.addBindValue(HistoryDialect::text(inspection.page));
        // An older answer (a slow check) does not replace a newer one.
        QSqlQuery kept(m_db);
        kept.prepare(u"INSERT INTO inspections (site_id, hash, property, inspected, verdict, coverage, last_crawl, "
                     "canonical) VALUES (?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (site_id, hash) DO UPDATE SET "
                     "property = excluded.property, inspected = excluded.inspected, verdict = excluded.verdict, "
                     "coverage = excluded.coverage, last_crawl = excluded.last_crawl, canonical = excluded.canonical "
                     "WHERE excluded.inspected >= inspections.inspected"_s);
        const QVariantList values{site,
                                  hash,
                                  HistoryDialect::text(inspection.property),
                                  (inspection.inspected.isValid() ? inspection.inspected : now()).toSecsSinceEpoch(),
                                  HistoryDialect::text(inspection.verdict),
                                  HistoryDialect::text(inspection.coverageState),
                                  inspection.lastCrawl.isValid() ? QVariant(inspection.lastCrawl.toSecsSinceEpoch())
                                                                 : QVariant(QMetaType::fromType<qlonglong>()),
                                  HistoryDialect::text(inspection.googleCanonical)};
        for (const QVariant& value : values)
            kept.addBindValue(value);
        if (page.exec() && kept.exec())
            return true;
        *error = (page.lastError().isValid() ? page : kept).lastError().text();
        return false;
    });
}

QList<PageInspection> HistoryStore::inspections(const QString& siteHost) const {
    QList<PageInspection> result;
    if (m_state != State::Open)
        return result;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(u"SELECT p.address, i.property, i.inspected, i.verdict, i.coverage, i.last_crawl, i.canonical "
                  "FROM inspections i JOIN sites s ON s.id = i.site_id JOIN pages p ON p.site_id = i.site_id AND "
                  "p.hash = i.hash WHERE s.host = ? ORDER BY p.address"_s);
    query.addBindValue(HistoryDialect::text(siteHost));
    if (!query.exec())
        return result;
    while (query.next()) {
        PageInspection inspection;
        inspection.page = query.value(0).toString();
        inspection.property = query.value(1).toString();
        inspection.inspected = QDateTime::fromSecsSinceEpoch(query.value(2).toLongLong()).toLocalTime();
        inspection.verdict = query.value(3).toString();
        inspection.coverageState = query.value(4).toString();
        if (!query.value(5).isNull())
            inspection.lastCrawl = QDateTime::fromSecsSinceEpoch(query.value(5).toLongLong(), QTimeZone::utc());
        inspection.googleCanonical = query.value(6).toString();
        result.append(inspection);
    }
    return result;
}
