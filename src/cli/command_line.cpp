#include "cli/command_line.h"

#include "announce/core/sitemap_reader.h"

#include <QCommandLineParser>
#include <QList>
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
    QCommandLineOption profile{u"profile"_s, u"The profile for --announce and --check-key."_s, u"PROFILE.tvp"_s};
    QCommandLineOption catalogue{
        u"catalogue"_s, u"The engine catalogue to use instead of the Engine.dat the window would read."_s, u"FILE"_s};
    QCommandLineOption report{u"report"_s,
                              u"Write the results there when the job ends (also when interrupted): JSON or CSV, "
                              u"as the name ends in .json or .csv; never over the job's own files."_s,
                              u"FILE"_s};
    QCommandLineOption since{u"since"_s,
                             u"--announce: only pages changed on or after DATE (2026-12-31 or "
                             u"2026-12-31T08:00:00Z); pages without a date are kept."_s,
                             u"DATE"_s};
    QCommandLineOption allShared{u"all-shared"_s,
                                 u"--announce: send to every chosen engine, not one engine of each group that "
                                 u"shares what it receives."_s};
    QCommandLineOption quiet{u"quiet"_s, u"Print each engine's verdict line only, without status and meaning."_s};

    QList<const QCommandLineOption*> all() const {
        return {&help,      &version, &submit, &announce,  &checkKey, &profile,
                &catalogue, &report,  &since,  &allShared, &quiet};
    }
};

const Options& options() {
    static const Options instance;
    return instance;
}

void setUp(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        u"Announces a web site to many search engines and directories. Without options, the window opens.\n\n"
        u"  torvane --submit PROFILE.tvp [--catalogue FILE] [--report FILE] [--quiet]\n"
        u"  torvane --announce SOURCE... --profile PROFILE.tvp [--since DATE] [--all-shared] [--report FILE]\n"
        u"  torvane --check-key --profile PROFILE.tvp\n\n"
        u"Exit status: 0 all OK, 1 some engine answered ERROR (--check-key: the key file does not hold the key), "
        u"2 bad input, 3 interrupted (SIGINT, SIGTERM, SIGHUP; a second one ends the program at once)."_s);
    for (const QCommandLineOption* option : options().all())
        parser.addOption(*option);
    parser.addPositionalArgument(u"SOURCE"_s, u"--announce: where the pages are listed."_s, u"[SOURCE...]"_s);
}

// Whether an argument names one of the options that ask for a job rather than the window.
bool asksForJob(const QString& argument) {
    static const QStringList names{u"submit"_s, u"announce"_s, u"check-key"_s, u"help"_s, u"version"_s};
    if (argument == "-h"_L1 || argument == "-v"_L1)
        return true;
    if (!argument.startsWith("--"_L1))
        return false;
    const QString name = argument.mid(2).section(u'=', 0, 0);
    return names.contains(name);
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine command;
    const qsizetype end = arguments.indexOf(u"--"_s);
    const QStringList optionPart = end < 0 ? arguments : arguments.mid(0, end);
    if (!std::any_of(optionPart.begin() + std::min<qsizetype>(1, optionPart.size()), optionPart.end(), asksForJob))
        return command; // the window, whatever else was given

    QCommandLineParser parser;
    setUp(parser);
    const Options& o = options();
    const auto fail = [&](const QString& error) {
        command.error = error;
        return command;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
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
                                                                           {&o.checkKey, CommandLine::Job::CheckKey}};
    int jobCount = 0;
    for (const auto& [option, job] : jobs) {
        if (parser.isSet(*option)) {
            command.job = job;
            ++jobCount;
        }
    }
    if (jobCount > 1)
        return fail(u"Give only one of --submit, --announce and --check-key."_s);
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
        {&o.profile, {Job::Announce, Job::CheckKey}, u"--announce and --check-key"},
        {&o.catalogue, {Job::Submit, Job::Announce, Job::CheckKey}, u""},
        {&o.report, {Job::Submit, Job::Announce}, u"--submit and --announce"},
        {&o.since, {Job::Announce}, u"--announce"},
        {&o.allShared, {Job::Announce}, u"--announce"},
        {&o.quiet, {Job::Submit, Job::Announce}, u"--submit and --announce"},
    };
    for (const auto& entry : takenBy) {
        if (parser.isSet(*entry.option) && !entry.jobs.contains(command.job))
            return fail(
                u"--%1 goes only with %2."_s.arg(entry.option->names().constLast(), QString::fromUtf16(entry.takers)));
    }

    command.catalogue = parser.value(o.catalogue);
    command.report = parser.value(o.report);
    command.allShared = parser.isSet(o.allShared);
    command.quiet = parser.isSet(o.quiet);
    command.sources = parser.positionalArguments();
    if (command.job != Job::Announce && !command.sources.isEmpty())
        return fail(u"Unexpected argument '%1'."_s.arg(command.sources.constFirst()));

    command.profile = command.job == Job::Submit ? parser.value(o.submit) : parser.value(o.profile);
    if (command.profile.isEmpty()) {
        return fail(command.job == Job::Submit ? u"--submit needs a profile file: --submit PROFILE.tvp."_s
                                               : u"--%1 needs --profile PROFILE.tvp."_s.arg(
                                                     command.job == Job::Announce ? u"announce"_s : u"check-key"_s));
    }
    if (command.job == Job::Announce && command.sources.isEmpty())
        return fail(u"--announce needs at least one SOURCE: a file of addresses, a sitemap file or a sitemap URL."_s);
    for (const QCommandLineOption* option : {&o.catalogue, &o.report}) {
        if (parser.isSet(*option) && parser.value(*option).isEmpty())
            return fail(u"--%1 needs a file name."_s.arg(option->names().constLast()));
    }
    if (parser.isSet(o.since)) {
        command.since = parseW3cDate(parser.value(o.since));
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
