#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// The exit statuses of the command-line jobs.
enum ExitStatus {
    ExitAllOk = 0,       // every engine (every batch) answered OK; the key file holds the key; every page is indexed
    ExitSomeFailed = 1,  // some engine answered ERROR; the key file does not hold the key; a page is not indexed
    ExitBadInput = 2,    // the command line, a file, the profile or the catalogue cannot be used
    ExitInterrupted = 3, // SIGINT or SIGTERM stopped the job
};

// What the program was asked to do on its command line.
struct CommandLine {
    enum class Job { Window, Help, Version, Submit, Announce, CheckKey, Inspect, History, ReportOf, ResendFailed };

    Job job = Job::Window;
    QString profile;        // --submit's file, or --profile
    QString googleKey;      // --google-key: the Google service-account key file; empty: the profile's
    QString catalogue;      // --catalogue; empty: found as the window finds it
    QString report;         // --report; empty: none
    QStringList sources;    // --announce: files of addresses, sitemap files, sitemap URLs; --inspect: pages
    QDateTime since;        // --since; invalid when not given
    bool everyPage = false; // --every-page: every page, not only the new or changed ones
    // The history: --history's file or postgresql:// URL (empty: TORVANE_HISTORY or the default),
    // or none with --no-history (see historyLocation()).
    QString history;
    bool noHistory = false;
    bool allShared = false;
    bool noKeyCheck = false; // --no-key-check: send without checking the key files first
    bool quiet = false;
    bool json = false;    // --history: the list as JSON
    qint64 reportOf = -1; // --report-of: the job whose report is written
    // Why the job asked for cannot run (a message for standard error; job may then be any);
    // empty when it can.
    QString error;
};

// Reads the arguments (the first is the program's name). Without --submit, --announce,
// --check-key, --inspect, --history, --report-of, --resend-failed, --help or --version the job is
// the window, and every other argument (a Qt or web engine option among them) is ignored. With one of them, an unknown
// option, a missing value, a second job, an option the job does not take, a job without what it needs or an unreadable
// --since date is an error. --history alone (no other job) lists the past jobs; its value is optional: the argument
// after it is the history's file or URL unless it begins with '-'.
CommandLine parseCommandLine(const QStringList& arguments);

// The text of --help; the application object must exist.
QString commandLineHelp();
