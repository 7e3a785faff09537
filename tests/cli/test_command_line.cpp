// The command line's options: which job each asks for, and a clear message for each mistake.

#include "cli/command_line.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

using Job = CommandLine::Job;

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void jobsAndErrors_data();
    void jobsAndErrors();
    void announceValues();
    void helpUsageMatchesManual();
};

namespace {

// The usage lines of the manual page's SYNOPSIS (they end at .br) without blanks, roff's font
// requests, quotes and escapes.
QStringList manualSynopsis(const QString& page) {
    const QString synopsis = page.section(u"\n.SH SYNOPSIS\n"_s, 1).section(u"\n.SH"_s, 0, 0);
    QStringList lines;
    for (QString line : synopsis.split(u"\n.br\n"_s)) {
        line.remove(QRegularExpression(u"(^|\n)\\.[A-Z]+"_s)).remove(u'"').replace(u"\\-"_s, u"-"_s);
        lines.append(line.remove(QRegularExpression(u"\\s"_s)));
    }
    return lines;
}

} // namespace

void TestCommandLine::jobsAndErrors_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Job>("job");
    QTest::addColumn<QString>("error");

    QTest::newRow("no options: the window") << QStringList{} << Job::Window << QString();
    QTest::newRow("Qt, web engine and unknown options: the window")
        << QStringList{u"-platform"_s, u"xcb"_s, u"--remote-debugging-port=9222"_s, u"--webEngineArgs"_s,
                       u"profile.tvp"_s}
        << Job::Window << QString();
    QTest::newRow("help") << QStringList{u"--submit"_s, u"p.tvp"_s, u"--help"_s} << Job::Help << QString();
    QTest::newRow("-help") << QStringList{u"-help"_s} << Job::Help << QString();
    QTest::newRow("-h") << QStringList{u"-h"_s} << Job::Help << QString();
    QTest::newRow("a profile to open: the window")
        << QStringList{u"/home/ann/My Site.tvp"_s} << Job::Window << QString();
    QTest::newRow("version") << QStringList{u"-v"_s} << Job::Version << QString();
    QTest::newRow("submit") << QStringList{u"--submit=p.tvp"_s, u"--report"_s, u"r.json"_s, u"--quiet"_s} << Job::Submit
                            << QString();
    QTest::newRow("check-key") << QStringList{u"--check-key"_s, u"--profile"_s, u"p.tvp"_s} << Job::CheckKey
                               << QString();
    QTest::newRow("every page") << QStringList{u"--announce"_s, u"s.xml"_s, u"--profile"_s, u"p.tvp"_s,
                                               u"--every-page"_s}
                                << Job::Announce << QString();
    QTest::newRow("every page and a date")
        << QStringList{u"--announce"_s,   u"s.xml"_s,   u"--profile"_s, u"p.tvp"_s,
                       u"--every-page"_s, u"--since"_s, u"2026"_s}
        << Job::Announce << u"--every-page and --since choose the pages two ways: give one of them."_s;
    QTest::newRow("every page without --announce") << QStringList{u"--submit"_s, u"p.tvp"_s, u"--every-page"_s}
                                                   << Job::Submit << u"--every-page goes only with --announce."_s;

    QTest::newRow("inspect") << QStringList{u"--inspect"_s, u"https://www.example.com/a"_s, u"--profile"_s,
                                            u"p.tvp"_s,     u"--google-key=k.json"_s,       u"--report"_s,
                                            u"r.csv"_s}
                             << Job::Inspect << QString();
    QTest::newRow("inspect without a page") << QStringList{u"--inspect"_s, u"--profile"_s, u"p.tvp"_s} << Job::Inspect
                                            << u"--inspect needs at least one page address: --inspect URL... --profile "
                                               u"PROFILE.tvp."_s;
    QTest::newRow("inspect without profile") << QStringList{u"--inspect"_s, u"https://www.example.com/a"_s}
                                             << Job::Inspect << u"--inspect needs --profile PROFILE.tvp."_s;
    QTest::newRow("catalogue beside inspect")
        << QStringList{u"--inspect"_s, u"https://www.example.com/a"_s, u"--profile"_s, u"p.tvp"_s, u"--catalogue"_s,
                       u"E.dat"_s}
        << Job::Inspect << u"--catalogue goes only with --submit, --announce and --check-key."_s;
    QTest::newRow("google key beside check-key")
        << QStringList{u"--check-key"_s, u"--profile"_s, u"p.tvp"_s, u"--google-key"_s, u"k.json"_s} << Job::CheckKey
        << u"--google-key goes only with --announce and --inspect."_s;
    QTest::newRow("misspelt job, without a job")
        << QStringList{u"--sumbit"_s, u"x"_s} << Job::Window << u"Unknown option --sumbit; did you mean --submit?"_s;
    QTest::newRow("misspelt job with a value")
        << QStringList{u"--anounce=s.xml"_s} << Job::Window << u"Unknown option --anounce; did you mean --announce?"_s;
    QTest::newRow("misspelt option beside a job")
        << QStringList{u"--submit"_s, u"p.tvp"_s, u"--reprot"_s, u"r.csv"_s} << Job::Window
        << u"Unknown option --reprot; did you mean --report?"_s;
    QTest::newRow("source that looks like an option")
        << QStringList{u"--announce"_s, u"-weird"_s, u"--profile"_s, u"p.tvp"_s} << Job::Window
        << u"Unknown option '-weird'; a SOURCE that begins with - goes after --."_s;
    QTest::newRow("missing value") << QStringList{u"--submit"_s} << Job::Window << u"Missing value after '--submit'."_s;
    QTest::newRow("unknown option beside a job")
        << QStringList{u"--submit"_s, u"p.tvp"_s, u"--bogus"_s} << Job::Window << u"Unknown option 'bogus'."_s;
    QTest::newRow("two jobs") << QStringList{u"--submit"_s, u"p.tvp"_s, u"--check-key"_s} << Job::CheckKey
                              << u"Give only one of --submit, --announce, --check-key and --inspect."_s;
    QTest::newRow("option of another job") << QStringList{u"--submit"_s, u"p.tvp"_s, u"--since"_s, u"2026-01-01"_s}
                                           << Job::Submit << u"--since goes only with --announce."_s;
    QTest::newRow("profile beside submit")
        << QStringList{u"--submit"_s, u"p.tvp"_s, u"--profile"_s, u"q.tvp"_s} << Job::Submit
        << u"--profile goes only with --announce, --check-key and --inspect."_s;
    QTest::newRow("empty profile") << QStringList{u"--submit="_s} << Job::Submit
                                   << u"--submit needs a profile file: --submit PROFILE.tvp."_s;
    QTest::newRow("announce without profile")
        << QStringList{u"--announce"_s, u"s.xml"_s} << Job::Announce << u"--announce needs --profile PROFILE.tvp."_s;
    QTest::newRow("announce without source")
        << QStringList{u"--announce"_s, u"--profile"_s, u"p.tvp"_s} << Job::Announce
        << u"--announce needs at least one SOURCE: a file of addresses, a sitemap file or a sitemap URL."_s;
    QTest::newRow("unreadable date")
        << QStringList{u"--announce"_s, u"s.xml"_s, u"--profile"_s, u"p.tvp"_s, u"--since"_s, u"yesterday"_s}
        << Job::Announce << u"--since: 'yesterday' is not a date; write it as 2026-12-31 or 2026-12-31T08:00:00Z."_s;
    QTest::newRow("argument the job does not take")
        << QStringList{u"--check-key"_s, u"--profile"_s, u"p.tvp"_s, u"extra"_s} << Job::CheckKey
        << u"Unexpected argument 'extra'."_s;
    QTest::newRow("option given twice") << QStringList{u"--submit"_s, u"p.tvp"_s,    u"--report"_s,
                                                       u"a.csv"_s,    u"--report"_s, u"b.csv"_s}
                                        << Job::Submit << u"--report is given more than once."_s;
}

void TestCommandLine::jobsAndErrors() {
    QFETCH(QStringList, arguments);
    QFETCH(Job, job);
    QFETCH(QString, error);

    arguments.prepend(u"torvane"_s);
    const CommandLine command = parseCommandLine(arguments);
    QCOMPARE(command.error, error);
    QCOMPARE(command.job, job);
}

void TestCommandLine::announceValues() {
    const CommandLine command =
        parseCommandLine({u"torvane"_s, u"--announce"_s, u"pages.txt"_s, u"https://www.example.com/sitemap.xml"_s,
                          u"--profile"_s, u"site.tvp"_s, u"--since"_s, u"2026-12-01"_s, u"--all-shared"_s, u"--"_s,
                          u"--odd-name.txt"_s, u"-weird"_s, u"--sumbit"_s});
    QCOMPARE(command.error, QString());
    QCOMPARE(command.sources, (QStringList{u"pages.txt"_s, u"https://www.example.com/sitemap.xml"_s,
                                           u"--odd-name.txt"_s, u"-weird"_s, u"--sumbit"_s}));
    QCOMPARE(command.profile, u"site.tvp"_s);
    QCOMPARE(command.since, QDateTime(QDate(2026, 12, 1), QTime(0, 0), QTimeZone::utc()));
    QVERIFY(command.allShared);
    QVERIFY(!command.quiet);
    QCOMPARE(parseCommandLine({u"torvane"_s, u"--announce"_s, u"s.xml"_s, u"--profile"_s, u"p.tvp"_s, u"--google-key"_s,
                               u"key.json"_s})
                 .googleKey,
             u"key.json"_s);
}

// --help and the manual page give the same usage lines, whatever options they list.
void TestCommandLine::helpUsageMatchesManual() {
    QFile manual(QStringLiteral(TORVANE_SOURCE_DIR "/packaging/torvane.1"));
    QVERIFY(manual.open(QIODevice::ReadOnly));
    QStringList help;
    for (const QString& line : commandLineHelp().split(u'\n')) {
        if (line.trimmed().startsWith("torvane"_L1))
            help.append(line.simplified().remove(u' '));
    }
    QCOMPARE(help, manualSynopsis(QString::fromUtf8(manual.readAll())));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_command_line.moc"
