#include "cli/command_line.h"

#include "announce/core/changed_since.h"

#include <QCommandLineParser>
#include <QList>
#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// The options; which of the three jobs take each one is in kOptionJobs.
struct Options {
    QCommandLineOption help{{u"h"_s, u"help"_s}, u"Show this help and exit."_s};
    QCommandLineOption version{{u"v"_s, u"version"_s}, u"Show the program's version and exit."_s};
    QCommandLineOption submit{u"submit"_s,
                              u"Submit the profile's current engine list, as the Submit button does, in a browser "
                              u"without a window."_s,
                              u"PROFILE.tvp"_s};
    QCommandLineOption announce{
        u"announce"_s,
        u"Announce the pages of each SOURCE (a file of addresses, a sitemap file or a sitemap URL) to the "
        u"profile's IndexNow engines, as the Announce Pages window does."_s};
    QCommandLineOption checkKey{u"check-key"_s,
                                u"Check that the site serves the IndexNow key file of the profile's key."_s};
    QCommandLineOption inspect{u"inspect"_s,
                               u"Ask Google Search Console whether each URL is in Google's index, in the property "
                               u"matching the profile's Site URL."_s};
    QCommandLineOption profile{u"profile"_s, u"The profile for --announce, --check-key and --inspect."_s,
                               u"PROFILE.tvp"_s};
    QCommandLineOption googleKey{u"google-key"_s,
                                 u"The Google service-account key file to use instead of the profile's."_s, u"FILE"_s};
    QCommandLineOption catalogue{
        u"catalogue"_s, u"The engine catalogue to use instead of the Engine.dat the window would read."_s, u"FILE"_s};
    QCommandLineOption report{u"report"_s,
                              u"Write the results there when the job ends (also when interrupted): JSON or CSV, "
                              u"as the name ends in .json or .csv; never over the job's own files."_s,
                              u"FILE"_s};
    QCommandLineOption since{u"since"_s,
                             u"--announce: only pages changed on or after DATE: 2026-12-31 (midnight, local time) or "
                             u"2026-12-31T08:00:00Z (that instant); pages without a date are kept."_s,
                             u"DATE"_s};
    QCommandLineOption everyPage{u"every-page"_s,
                                 u"--announce: send every page gathered; without it (and without --since), only the "
                                 u"pages new or changed since their last announcement, and those gone from the "
                                 u"sitemap, when a history is kept."_s};
    QCommandLineOption allShared{u"all-shared"_s,
                                 u"--announce: send to every chosen engine, not one engine of each group that "
                                 u"shares what it receives."_s};
    QCommandLineOption noKeyCheck{u"no-key-check"_s,
                                  u"--announce: send without first checking that each host serves the key file."_s};
    QCommandLineOption quiet{u"quiet"_s, u"Print each engine's verdict line only, without status and meaning."_s};

    QList<const QCommandLineOption*> all() const {
        return {&help,      &version, &submit, &announce,  &checkKey,  &inspect,    &profile, &googleKey,
                &catalogue, &report,  &since,  &everyPage, &allShared, &noKeyCheck, &quiet};
    }
};

const Options& options() {
    static const Options instance;
    return instance;
}

void setUp(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        u"Announces a web site to many search engines and directories. Without options, the window opens (with "
        u"PROFILE.tvp when given); it needs a display, the other uses need none.\n\n"
        u"  torvane [PROFILE.tvp]\n"
        u"  torvane --submit PROFILE.tvp [--catalogue FILE] [--report FILE] [--quiet]\n"
        u"  torvane --announce SOURCE... --profile PROFILE.tvp [--since DATE] [--every-page] [--all-shared] "
        u"[--no-key-check] "
        u"[--catalogue FILE] [--report FILE] [--quiet]\n"
        u"  torvane --check-key --profile PROFILE.tvp [--catalogue FILE]\n"
        u"  torvane --inspect URL... --profile PROFILE.tvp [--google-key FILE] [--report FILE]\n"
        u"  torvane [--help | --version]\n\n"
        u"Exit status: 0 all OK, 1 some engine answered ERROR (--check-key: the key file does not hold the key; "
        u"--inspect: a page is not indexed), 2 bad input, 3 interrupted "
        u"(SIGINT, SIGTERM, SIGHUP; a second one ends the program at once)."_s);
    for (const QCommandLineOption* option : options().all())
        parser.addOption(*option);
    parser.addPositionalArgument(u"SOURCE"_s, u"--announce: where the pages are listed; --inspect: the pages."_s,
                                 u"[SOURCE...]"_s);
    // "-help" is --help, not -h -e -l -p.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
}

// The number of single-letter insertions, deletions, substitutions and swaps of two neighbours
// that turn a into b.
qsizetype editDistance(QStringView a, QStringView b) {
    QList<QList<qsizetype>> d(a.size() + 1, QList<qsizetype>(b.size() + 1));
    for (qsizetype i = 0; i <= a.size(); ++i) {
        for (qsizetype j = 0; j <= b.size(); ++j) {
            if (i == 0 || j == 0) {
                d[i][j] = i + j;
                continue;
            }
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

// For an argument "--name" (or "--name=value") whose name is no option of ours but within two
// letters of one: the message that names the option meant. Empty otherwise.
QString misspeltOption(const QString& argument) {
    if (!argument.startsWith("--"_L1) || argument.size() == 2)
        return {};
    const QString name = argument.mid(2).section(u'=', 0, 0);
    QString nearest;
    qsizetype nearestDistance = 3;
    for (const QCommandLineOption* option : options().all()) {
        const QString& longName = option->names().constLast();
        const qsizetype distance = editDistance(name, longName);
        if (distance == 0)
            return {};
        if (distance < nearestDistance) {
            nearest = longName;
            nearestDistance = distance;
        }
    }
    return nearest.isEmpty() ? QString() : u"Unknown option --%1; did you mean --%2?"_s.arg(name, nearest);
}

// Whether an argument names one of the options that ask for a job rather than the window.
bool asksForJob(const QString& argument) {
    static const QStringList names{u"submit"_s, u"announce"_s, u"check-key"_s, u"inspect"_s, u"help"_s, u"version"_s};
    if (argument == "-h"_L1 || argument == "-v"_L1 || argument == "-help"_L1 || argument == "-version"_L1)
        return true;
    if (!argument.startsWith("--"_L1))
        return false;
    const QString name = argument.mid(2).section(u'=', 0, 0);
    return names.contains(name);
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine command;
    const qsizetype end = arguments.indexOf(u"--"_s, 1);
    const QStringList optionPart = arguments.mid(1, end < 0 ? -1 : end - 1);
    const auto fail = [&](const QString& error) {
        command.error = error;
        return command;
    };
    // A mistyped option is answered, with or without a job: the window would hide the mistake.
    for (const QString& argument : optionPart) {
        if (const QString error = misspeltOption(argument); !error.isEmpty())
            return fail(error);
    }
    if (!std::any_of(optionPart.begin(), optionPart.end(), asksForJob))
        return command; // the window, whatever else was given

    QCommandLineParser parser;
    setUp(parser);
    const Options& o = options();
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        for (const QString& argument : optionPart) {
            if (!unknown.isEmpty() && argument.size() > 1 && argument[0] == u'-' && argument[1] != u'-' &&
                argument.mid(1).section(u'=', 0, 0) == unknown.constFirst())
                return fail(u"Unknown option '%1'; a SOURCE that begins with - goes after --."_s.arg(argument));
        }
        return fail(parser.errorText());
    }
    if (parser.isSet(o.help)) {
        command.job = CommandLine::Job::Help;
        return command;
    }
    if (parser.isSet(o.version)) {
        command.job = CommandLine::Job::Version;
        return command;
    }

    const std::pair<const QCommandLineOption*, CommandLine::Job> jobs[] = {{&o.submit, CommandLine::Job::Submit},
                                                                           {&o.announce, CommandLine::Job::Announce},
                                                                           {&o.checkKey, CommandLine::Job::CheckKey},
                                                                           {&o.inspect, CommandLine::Job::Inspect}};
    int jobCount = 0;
    for (const auto& [option, job] : jobs) {
        if (parser.isSet(*option)) {
            command.job = job;
            ++jobCount;
        }
    }
    if (jobCount > 1)
        return fail(u"Give only one of --submit, --announce, --check-key and --inspect."_s);
    for (const QCommandLineOption* option : o.all()) {
        if (parser.values(*option).size() > 1)
            return fail(u"--%1 is given more than once."_s.arg(option->names().constLast()));
    }

    // The options each job takes beside its own.
    using Job = CommandLine::Job;
    const struct {
        const QCommandLineOption* option;
        QList<Job> jobs;
        const char16_t* takers;
    } takenBy[] = {
        {&o.profile, {Job::Announce, Job::CheckKey, Job::Inspect}, u"--announce, --check-key and --inspect"},
        {&o.googleKey, {Job::Announce, Job::Inspect}, u"--announce and --inspect"},
        {&o.catalogue, {Job::Submit, Job::Announce, Job::CheckKey}, u"--submit, --announce and --check-key"},
        {&o.report, {Job::Submit, Job::Announce, Job::Inspect}, u"--submit, --announce and --inspect"},
        {&o.since, {Job::Announce}, u"--announce"},
        {&o.everyPage, {Job::Announce}, u"--announce"},
        {&o.allShared, {Job::Announce}, u"--announce"},
        {&o.noKeyCheck, {Job::Announce}, u"--announce"},
        {&o.quiet, {Job::Submit, Job::Announce}, u"--submit and --announce"},
    };
    for (const auto& entry : takenBy) {
        if (parser.isSet(*entry.option) && !entry.jobs.contains(command.job))
            return fail(
                u"--%1 goes only with %2."_s.arg(entry.option->names().constLast(), QString::fromUtf16(entry.takers)));
    }

    command.catalogue = parser.value(o.catalogue);
    command.googleKey = parser.value(o.googleKey);
    command.report = parser.value(o.report);
    command.everyPage = parser.isSet(o.everyPage);
    command.allShared = parser.isSet(o.allShared);
    command.noKeyCheck = parser.isSet(o.noKeyCheck);
    command.quiet = parser.isSet(o.quiet);
    command.sources = parser.positionalArguments();
    if (command.job != Job::Announce && command.job != Job::Inspect && !command.sources.isEmpty())
        return fail(u"Unexpected argument '%1'."_s.arg(command.sources.constFirst()));

    command.profile = command.job == Job::Submit ? parser.value(o.submit) : parser.value(o.profile);
    if (command.profile.isEmpty()) {
        const QString job = command.job == Job::Announce  ? u"announce"_s
                            : command.job == Job::Inspect ? u"inspect"_s
                                                          : u"check-key"_s;
        return fail(command.job == Job::Submit ? u"--submit needs a profile file: --submit PROFILE.tvp."_s
                                               : u"--%1 needs --profile PROFILE.tvp."_s.arg(job));
    }
    if (command.job == Job::Announce && command.sources.isEmpty())
        return fail(u"--announce needs at least one SOURCE: a file of addresses, a sitemap file or a sitemap URL."_s);
    if (command.job == Job::Inspect && command.sources.isEmpty())
        return fail(u"--inspect needs at least one page address: --inspect URL... --profile PROFILE.tvp."_s);
    for (const QCommandLineOption* option : {&o.catalogue, &o.report, &o.googleKey}) {
        if (parser.isSet(*option) && parser.value(*option).isEmpty())
            return fail(u"--%1 needs a file name."_s.arg(option->names().constLast()));
    }
    if (command.everyPage && parser.isSet(o.since))
        return fail(u"--every-page and --since choose the pages two ways: give one of them."_s);
    if (parser.isSet(o.since)) {
        command.since = parseChangedSince(parser.value(o.since));
        if (!command.since.isValid())
            return fail(u"--since: '%1' is not a date; write it as 2026-12-31 or 2026-12-31T08:00:00Z."_s.arg(
                parser.value(o.since)));
    }
    return command;
}

QString commandLineHelp() {
    QCommandLineParser parser;
    setUp(parser);
    return parser.helpText();
}
