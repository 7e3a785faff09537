#include "cli/announce_job.h"

#include "announce/core/announce_batch.h"
#include "announce/core/announce_sender.h"
#include "announce/core/announce_targets.h"
#include "announce/core/page_gathering.h"
#include "announce/core/sitemap_gatherer.h"
#include "cli/command_line.h"
#include "cli/job_input.h"
#include "cli/stop_signals.h"
#include "indexnow/core/indexnow_key.h"
#include "indexnow/core/key_file_check.h"
#include "net/core/network_fetcher.h"
#include "platform/clock.h"
#include "submit/core/result_text.h"
#include "submit/core/run_report.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

// Refused addresses listed one by one before the rest are only counted.
constexpr int kRefusalsListed = 20;

bool isWebAddress(const QString& source) {
    return source.startsWith("http://"_L1, Qt::CaseInsensitive) ||
           source.startsWith("https://"_L1, Qt::CaseInsensitive);
}

// The addresses of every source, added to gathering. Returns false when a source could not be
// read at all, or when stopped; what it says goes to standard error.
class SourceReader {
public:
    SourceReader(Fetcher& fetcher, StopSignals& stops, PageGathering& gathering)
        : m_fetcher(fetcher), m_stops(stops), m_gathering(gathering) {}

    bool read(const QStringList& sources) {
        for (const QString& source : sources) {
            if (m_stops.received() || !(isWebAddress(source) ? readSitemapUrl(source) : readFile(source)))
                return false;
        }
        return true;
    }

private:
    bool readFile(const QString& path) {
        const QString name = QFileInfo(path).absoluteFilePath();
        if (!QFileInfo::exists(path)) {
            printError(u"The source %1 does not exist."_s.arg(name));
            return false;
        }
        QString error;
        const SitemapContent content = readAddressFileAt(name, m_gathering.remaining(), &error);
        if (!error.isEmpty() || content.kind == SitemapContent::Kind::Unreadable) {
            printError(error.isEmpty() ? u"%1: %2"_s.arg(name, content.error) : error);
            return false;
        }
        if (!content.error.isEmpty())
            printError(u"%1: %2"_s.arg(name, content.error));
        m_gathering.add(content.pages);
        // An index file on disk names sitemaps on the web.
        for (const QString& child : content.childSitemaps) {
            if (!readSitemapUrl(child))
                return false;
        }
        return true;
    }

    bool readSitemapUrl(const QString& address) {
        SitemapGatherer gatherer(m_fetcher);
        QEventLoop loop;
        QObject::connect(&gatherer, &SitemapGatherer::finished, &loop, &QEventLoop::quit);
        QObject::connect(&m_stops, &StopSignals::stopRequested, &gatherer, &SitemapGatherer::cancel);
        gatherer.start(QUrl(address), m_gathering.remaining());
        if (gatherer.busy())
            loop.exec();
        for (const QString& message : gatherer.messages())
            printError(message);
        m_gathering.add(gatherer.pages());
        if (m_stops.received())
            return false;
        // Messages without a single address: the sitemap could not be read at all.
        return !gatherer.pages().isEmpty() || gatherer.messages().isEmpty();
    }

    Fetcher& m_fetcher;
    StopSignals& m_stops;
    PageGathering& m_gathering;
};

// What the gathering found that the user should know about.
void reportGathering(const PageGathering& gathering, bool quiet) {
    int listed = 0;
    for (const GatheredPage& page : gathering.pages()) {
        if (page.status != GatheredPage::Status::Refused)
            continue;
        if (++listed > kRefusalsListed)
            break;
        printError(u"Refused %1: %2"_s.arg(page.address, page.reason));
    }
    if (gathering.refusedCount() > kRefusalsListed)
        printError(u"… and %1 more addresses refused."_s.arg(gathering.refusedCount() - kRefusalsListed));
    if (!gathering.limitMessage().isEmpty())
        printError(gathering.limitMessage());
    for (const HostCount& host : gathering.hosts()) {
        if (host.foreign)
            printError(
                u"%1 is not the Site URL's host: engines refuse its pages unless it serves the key file too."_s.arg(
                    host.host));
    }
    if (!quiet) {
        printLine(u"%1 addresses gathered (%2 duplicates, %3 refused)."_s.arg(
            QString::number(gathering.acceptedCount()), QString::number(gathering.duplicateCount()),
            QString::number(gathering.refusedCount())));
    }
}

QString recordLine(const ResultRecord& record) {
    return u"[Engine] %1 (%2 addresses)...%3"_s.arg(record.title, QString::number(record.batchSize),
                                                    verdictText(record.verdict));
}

// The engines to send to, after saying which engines of the list are left out and why.
QList<AnnounceTarget> chosenTargets(const JobInput& input, bool allShared, bool* leftOut) {
    const IndexNowTargets found = indexNowTargets(input.catalogue, input.currentList, input.fields.Site_URL);
    for (const QString& problem : found.problems)
        printError(problem);
    *leftOut = !found.problems.isEmpty();
    return chooseTargets(found.targets, allShared ? SharedEngines::All : SharedEngines::OneOnly);
}

} // namespace

int runAnnounceJob(const CommandLine& command) {
    JobInput input;
    if (const QString error = loadJobInput(command.profile, command.catalogue, input); !error.isEmpty()) {
        printError(error);
        return ExitBadInput;
    }
    bool leftOut = false;
    const QList<AnnounceTarget> targets = chosenTargets(input, command.allShared, &leftOut);
    if (targets.isEmpty())
        return ExitBadInput;

    StopSignals stops;
    NetworkFetcher fetcher;
    PageGathering gathering(input.fields.Site_URL);
    if (!SourceReader(fetcher, stops, gathering).read(command.sources))
        return stops.received() ? ExitInterrupted : ExitBadInput;
    reportGathering(gathering, command.quiet);
    if (gathering.acceptedCount() == 0) {
        printError(u"No address to announce."_s);
        return ExitBadInput;
    }
    qsizetype unchanged = 0;
    const QList<HostGroup> groups = gathering.groups(command.since, &unchanged);
    if (command.since.isValid() && !command.quiet)
        printLine(u"%1 addresses not changed since %2 left out."_s.arg(QString::number(unchanged),
                                                                       isoTimeWithOffset(command.since)));

    SystemClock clock;
    AnnounceSender sender(fetcher, clock);
    QEventLoop loop;
    int lastWait = -1;
    QObject::connect(&sender, &AnnounceSender::recorded, &loop, [&](const ResultRecord& record) {
        lastWait = -1;
        printLine(recordLine(record));
        if (!command.quiet)
            printLine(u"    "_s + resultSummary(record));
    });
    QObject::connect(&sender, &AnnounceSender::waiting, &loop, [&](int secondsLeft, const QString& why) {
        // Said once at the start of each wait, not every second of it.
        if (!command.quiet && (lastWait < 0 || secondsLeft > lastWait))
            printLine(u"    %1 Waiting %2 seconds."_s.arg(why, QString::number(secondsLeft)));
        lastWait = secondsLeft;
    });
    QObject::connect(&sender, &AnnounceSender::finished, &loop, &QEventLoop::quit);
    QObject::connect(&stops, &StopSignals::stopRequested, &sender, &AnnounceSender::cancel);
    sender.start(planAnnouncement(makeBatches(groups), targets));
    if (sender.state() != AnnounceSender::State::Idle)
        loop.exec();

    // An engine of the list left out got nothing: not everything went well.
    int status = leftOut ? ExitSomeFailed : ExitAllOk;
    for (const ResultRecord& record : sender.results().records) {
        if (record.failed())
            status = ExitSomeFailed;
    }
    if (sender.wasCancelled()) {
        printError(u"Interrupted: the batches not answered are SKIPPED."_s);
        status = ExitInterrupted;
    } else {
        printLine(u"Done"_s);
    }
    if (!command.report.isEmpty()) {
        RunResults results = sender.results();
        results.profilePath = input.profilePath;
        if (const QString error = saveRunReport(command.report, results); !error.isEmpty()) {
            printError(error);
            if (status != ExitInterrupted)
                status = ExitBadInput;
        }
    }
    return status;
}

int runCheckKeyJob(const CommandLine& command) {
    JobInput input;
    if (const QString error = loadJobInput(command.profile, command.catalogue, input); !error.isEmpty()) {
        printError(error);
        return ExitBadInput;
    }
    const QString key = indexNowKeyInUse(input.catalogue, input.currentList);
    if (key.isEmpty()) {
        printError(u"[Engine Data] No engine of the profile's current list has an IndexNow key."_s);
        return ExitBadInput;
    }
    if (const QString problem = indexNowKeyProblem(key); !problem.isEmpty()) {
        printError(problem);
        return ExitBadInput;
    }
    const KeyFileAddress address = indexNowKeyFileAddress(input.fields.Site_URL, key);
    if (!address.url.isValid()) {
        printError(address.problem);
        return ExitBadInput;
    }

    StopSignals stops;
    NetworkFetcher fetcher;
    QEventLoop loop;
    KeyFileCheck result;
    bool done = false;
    const Fetcher::RequestId id = checkKeyFile(fetcher, address.url, key, &loop, [&](const KeyFileCheck& check) {
        result = check;
        done = true;
        loop.quit();
    });
    QObject::connect(&stops, &StopSignals::stopRequested, &loop, [&] {
        fetcher.cancel(id);
        loop.quit();
    });
    if (!done)
        loop.exec();
    if (!done) {
        printError(u"Interrupted."_s);
        return ExitInterrupted;
    }
    printLine(result.sentence());
    return result.outcome == KeyFileCheck::Outcome::Found ? ExitAllOk : ExitSomeFailed;
}
