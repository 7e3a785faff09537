#include "cli/index_status_job.h"

#include "cli/command_line.h"
#include "cli/google_connection.h"
#include "cli/job_input.h"
#include "cli/stop_signals.h"
#include "google/core/google_api.h"
#include "google/core/index_check.h"
#include "google/core/search_console_client.h"
#include "history/core/history_store.h"
#include "net/core/network_fetcher.h"
#include "platform/clock.h"
#include "platform/ini_file.h"
#include "platform/text_codec.h"
#include "profile/core/profile_file.h"
#include "submit/core/run_report.h"

#include <QEventLoop>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

// The profile's fields (no catalogue is needed); why it cannot be read in error.
ProfileFields readProfile(const QString& path, QString& error) {
    const QFileInfo info(path);
    if (!info.exists()) {
        error = u"The profile %1 does not exist."_s.arg(info.absoluteFilePath());
        return {};
    }
    const IniFile file = IniFile::load(path);
    if (!file.loadError().isEmpty()) {
        error = file.loadError();
        return {};
    }
    Engine_Type noEngines;
    return ReadDataFile(file, noEngines);
}

// The pages as web addresses; empty with why in error when one is not.
QList<QUrl> pageAddresses(const QStringList& arguments, QString& error) {
    QList<QUrl> pages;
    for (const QString& argument : arguments) {
        const QUrl page(argument, QUrl::StrictMode);
        if (!page.isValid() || page.host().isEmpty() || (page.scheme() != "http"_L1 && page.scheme() != "https"_L1)) {
            error =
                u"\"%1\" is not a page address: give each page as http://… or https://…."_s.arg(displayText(argument));
            return {};
        }
        pages.append(page);
    }
    return pages;
}

} // namespace

int runIndexStatusJob(const CommandLine& command) {
    QString error;
    const ProfileFields fields = readProfile(command.profile, error);
    if (!error.isEmpty()) {
        printError(error);
        return ExitBadInput;
    }
    const QUrl siteUrl(fields.Site_URL.trimmed(), QUrl::StrictMode);
    if (!siteUrl.isValid() || siteUrl.host().isEmpty()) {
        printError(u"The profile's Site URL \"%1\" is not a web address: fill it in on the Site Info page."_s.arg(
            displayText(fields.Site_URL)));
        return ExitBadInput;
    }

    const QList<QUrl> pages = pageAddresses(command.sources, error);
    if (!error.isEmpty()) {
        printError(error);
        return ExitBadInput;
    }

    NetworkFetcher fetcher;
    SystemClock clock;
    GoogleConnection google(fetcher, clock);
    if (google.connect(command, fields, &error) != GoogleConnection::Outcome::Connected) {
        printError(error);
        return ExitBadInput;
    }
    SearchConsoleClient& client = google.client();
    const QString& property = google.property();
    for (const QUrl& page : pages) {
        if (!propertyCovers(property, page)) {
            printError(u"%1 is not in the property %2 that matches the Site URL: Google inspects only its pages."_s.arg(
                displayText(page.toString(QUrl::FullyEncoded)), property));
            return ExitBadInput;
        }
    }

    QEventLoop loop;
    // Lines in the order of the pages, each as soon as it and those before it are answered.
    IndexCheck check(client);
    int printed = 0;
    check.setPageDone([&](int, const UrlInspection&) {
        const QList<UrlInspection>& inspections = check.inspections();
        while (printed < inspections.size() && IndexCheck::answered(inspections[printed])) {
            printLine(inspections[printed].line());
            ++printed;
        }
    });
    check.setFinished([&loop] { loop.quit(); });
    // The history that exists keeps each page's answer (none is made for it).
    HistoryStore history(historyLocation());
    if (history.open())
        check.setHistory(&history);
    else if (!history.message().isEmpty())
        printError(history.message());
    StopSignals stops;
    QObject::connect(&stops, &StopSignals::stopRequested, &loop, [&check, &loop] {
        check.cancel();
        loop.quit();
    });
    check.start(property, pages);
    loop.exec();
    printError(check.summary());

    int status = check.allIndexed() ? ExitAllOk : ExitSomeFailed;
    if (stops.received()) {
        printError(u"Interrupted: the pages not answered are SKIPPED."_s);
        status = ExitInterrupted;
    }
    if (!command.report.isEmpty()) {
        RunResults results = check.results();
        results.profilePath = QFileInfo(command.profile).absoluteFilePath();
        if (const QString reportError = saveRunReport(command.report, results); !reportError.isEmpty()) {
            printError(reportError);
            if (status != ExitInterrupted)
                status = ExitBadInput;
        }
    }
    return status;
}
