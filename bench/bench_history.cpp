// Announcing "what changed" on a site of 1 000 000 pages: classifying the gathered pages against
// their history (reading the site's page states for one engine group from the SQLite file, and
// judging each page New, Changed, Unchanged or Gone) against gathering the same addresses
// without a history (PageGathering: checking, de-duplicating and grouping them by host), both
// measured in the same run. Targets: classifying at most 1.5 × gathering; the file at most 200
// bytes per page and engine group.

#include "announce/core/page_gathering.h"
#include "history/core/history_store.h"
#include "support/bench_util.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimeZone>

#include <cstdio>

namespace {

constexpr int kPages = 1000000;
constexpr int kBatch = 10000;
const QString kSite = QStringLiteral("www.example.com");
const QString kGroup = QStringLiteral("shares:indexnow");

volatile qsizetype sink = 0;

QList<SitemapEntry> sitemapPages(int changed) {
    QList<SitemapEntry> entries;
    entries.reserve(kPages);
    // In UTC as the sitemap reader gives them.
    const QDateTime before = QDateTime(QDate(2026, 11, 1), QTime(8, 0), QTimeZone::utc()).toUTC();
    const QDateTime after = QDateTime(QDate(2026, 12, 20), QTime(8, 0), QTimeZone::utc()).toUTC();
    for (int i = 0; i < kPages; ++i) {
        SitemapEntry entry;
        entry.address = QStringLiteral("https://www.example.com/section-%1/page-%2.html")
                            .arg(QString::number(i % 97), QString::number(i));
        entry.lastmod = i < changed ? after : before;
        entries.append(entry);
    }
    return entries;
}

PageGathering gather(const QList<SitemapEntry>& entries) {
    PageGathering gathering(QStringLiteral("https://www.example.com/"), kPages);
    gathering.add(entries);
    return gathering;
}

// The gathered pages as the history takes them, classified.
PageClassification classify(const HistoryStore& store, const PageGathering& gathering) {
    QList<HistoryPage> pages;
    pages.reserve(gathering.acceptedCount());
    for (const GatheredPage& page : gathering.pages()) {
        if (page.status == GatheredPage::Status::Accepted)
            pages.append({page.address, page.lastmod, false});
    }
    return store.classifyPages(kSite, kGroup, pages, true);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("history.sqlite"));
    const QList<SitemapEntry> announced = sitemapPages(0);

    // The history: every page announced OK once, in batches as an announcement sends them.
    QElapsedTimer timer;
    timer.start();
    {
        HistoryStore store(historyLocation(path));
        store.setClock([] { return QDateTime(QDate(2026, 12, 1), QTime(9, 0), QTimeZone::utc()); });
        HistoryJob started;
        started.kind = HistoryJob::Kind::Announcement;
        started.siteHost = kSite;
        const qint64 job = store.beginJob(started);
        QList<HistoryPage> batch;
        for (int i = 0; i < kPages; ++i) {
            batch.append({announced[i].address, announced[i].lastmod, false});
            if (batch.size() == kBatch || i + 1 == kPages) {
                ResultRecord record;
                record.title = QStringLiteral("IndexNow");
                record.verdict = ResultRecord::Verdict::Ok;
                record.batchSize = static_cast<int>(batch.size());
                if (!store.addAnnouncementRecord(job, record, kGroup, batch)) {
                    std::fprintf(stderr, "cannot write the history: %s\n", qPrintable(store.message()));
                    return 2;
                }
                batch.clear();
            }
        }
        store.finishJob(job, {});
    }
    const double writing = static_cast<double>(timer.elapsed());
    const double bytes = static_cast<double>(QFileInfo(path).size());
    std::printf("history: %d pages announced to one engine group, %.0f bytes\n", kPages, bytes);
    printFigure("    writing the history (100 batches)", writing, "ms");

    // Now 1 % of the pages changed since.
    const QList<SitemapEntry> now = sitemapPages(kPages / 100);
    HistoryStore store(historyLocation(path));
    if (!store.open()) {
        std::fprintf(stderr, "%s\n", qPrintable(store.message()));
        return 2;
    }
    const PageGathering gathering = gather(now);
    const PageClassification check = classify(store, gathering);
    std::printf("classified: %lld new, %lld changed, %lld unchanged, %lld gone\n",
                static_cast<long long>(check.count(PageState::New)),
                static_cast<long long>(check.count(PageState::Changed)),
                static_cast<long long>(check.count(PageState::Unchanged)),
                static_cast<long long>(check.count(PageState::Gone)));
    if (check.count(PageState::Changed) != kPages / 100 || check.count(PageState::Unchanged) != kPages - kPages / 100) {
        std::fprintf(stderr, "the classification is wrong\n");
        return 2;
    }

    const int repeats = 5;
    const double gatheringMs = medianMilliseconds(repeats, [&] { sink = sink + gather(now).acceptedCount(); });
    const double classifyingMs =
        medianMilliseconds(repeats, [&] { sink = sink + classify(store, gathering).count(PageState::Changed); });
    QList<HistoryPage> given;
    const double listing = medianMilliseconds(repeats, [&] {
        given.clear();
        for (const GatheredPage& page : gathering.pages())
            given.append({page.address, page.lastmod, false});
    });
    PageHistory history;
    const double reading = medianMilliseconds(repeats, [&] { history = store.pageHistory(kSite, kGroup); });
    const double judging = medianMilliseconds(
        repeats, [&] { sink = sink + classifyPages(history, given, true).count(PageState::Changed); });
    printFigure("    the gathered pages as the history takes them", listing, "ms");
    printFigure("    reading the page states", reading, "ms");
    printFigure("    judging the pages", judging, "ms");
    printFigure("(a) gathering 1 000 000 addresses (median)", gatheringMs, "ms");
    printFigure("(b) classifying them against the history (median)", classifyingMs, "ms");
    const bool timeMet = printRatio("(b) / (a)", classifyingMs / gatheringMs, 1.5);
    printFigure("(c) history file per page and engine group", bytes / kPages, "bytes");
    const bool sizeMet = printRatio("(c) / 200 bytes", bytes / kPages / 200.0, 1.0);
    return timeMet && sizeMet ? 0 : 1;
}
